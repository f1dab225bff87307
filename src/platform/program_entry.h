// Every program of the product defines ProgramMain; the backend's entry
// point calls it with the command line as UTF-8 (wmain on Windows, so no
// argument is lost to the ANSI code page).
#pragma once

#include <string>
#include <vector>

namespace vx {
int ProgramMain(const std::vector<std::string>& args);
}
