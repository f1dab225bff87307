// Entry of the GUI program. The main window is built by the user-interface
// layer; until it exists the program attaches to the system and ends.
#include <windows.h>

#include <string>

#include "platform/platform.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  std::string error;
  return vx::platform::Attach({}, error) ? 0 : 1;
}
