#include <windows.h>

#include "platform/program_entry.h"
#include "platform/win32/win_handles.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(vx::win32::Narrow(argv[i]));
  return vx::ProgramMain(args);
}
