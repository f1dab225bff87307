// vantrix list / vantrix history: the driver packages the result page and
// the download history page show, in the pages' order (top row first).
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/console/console_context.h"

namespace vx {
class TDriversList;
}

namespace vx::console {

int ListCommand(ConsoleContext& context, const std::vector<std::string>& args);
int HistoryCommand(ConsoleContext& context, const std::vector<std::string>& args);

// The packages of a list, top row first: plain text, or one JSON object
// {"packages": [...]} whose items carry every field of the entry by name.
void WritePackageList(std::ostream& out, const TDriversList& list, bool json,
                      const char* empty_text);

}  // namespace vx::console
