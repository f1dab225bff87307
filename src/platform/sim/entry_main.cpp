#include "platform/program_entry.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  return vx::ProgramMain(args);
}
