// The commands of the console front end. Each gets the context and the
// arguments after its name, writes its result to context.Out() and returns
// an exit code of console_context.h. The dispatch table lives in
// vantrix_console_main.cpp.
#pragma once

#include <string>
#include <vector>

#include "app/console/console_context.h"

namespace vx::console {

int InfoCommand(ConsoleContext& context, const std::vector<std::string>& args);
int ScanCommand(ConsoleContext& context, const std::vector<std::string>& args);
int ExplainCommand(ConsoleContext& context, const std::vector<std::string>& args);

}  // namespace vx::console
