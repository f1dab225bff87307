// Starting another program and not waiting for it, as the program does
// with the tray program. The full process interface (waiting, process
// trees, exit codes) lives elsewhere; this is the one call that needs none.
#pragma once

#include <filesystem>
#include <string_view>

#include "platform/result.h"

namespace vx::platform {

// Starts the program with a command-line argument text (Windows quoting
// rules: blanks separate, double quotes group), its window shown without
// taking the focus from the user. Returns once the process exists.
Status StartProgram(const std::filesystem::path& program, std::string_view args);

}  // namespace vx::platform
