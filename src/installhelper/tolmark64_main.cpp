// Tolmark64: the windowless helper that performs the driver installations a
// 32-bit process cannot perform on 64-bit Windows. Its commands arrive with
// the install channel; until then it only identifies itself.
#include <cstdio>

#include "platform/program_entry.h"

namespace vx {

int ProgramMain(const std::vector<std::string>& args) {
  if (args.size() > 1 && args[1] == "--version") {
    std::printf("Tolmark64 4.0\n");
    return 0;
  }
  std::fprintf(stderr, "Tolmark64: no command given\n");
  return 2;
}

}  // namespace vx
