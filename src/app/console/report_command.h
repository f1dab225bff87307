// vantrix report: sends a problem report to the maker's support address,
// the console twin of the About page's report form.
#pragma once

#include <string>
#include <vector>

#include "app/console/console_context.h"

namespace vx::console {

// vantrix [--machine DIR] report --name N --email E --driver D
//   --comment TEXT [--attach-diagnostics] [--json]
// kExitOk only when the mail host accepted the report; kExitUsage for
// missing or invalid fields; kExitFailure when sending failed.
int ReportCommand(ConsoleContext& context, const std::vector<std::string>& args);

}  // namespace vx::console
