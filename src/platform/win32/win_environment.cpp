#include <vector>

#include "platform/environment.h"
#include "platform/win32/win_handles.h"

namespace vx::platform {

Result<std::string> ExpandEnvironment(std::string_view text, size_t max_chars) {
  std::wstring wide = win32::Wide(text);
  std::vector<wchar_t> buf(max_chars ? max_chars : 1);
  DWORD n = ExpandEnvironmentStringsW(wide.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
  if (n == 0) return Result<std::string>::Fail(GetLastError());
  // n counts the terminator; more than the buffer means it was cut.
  if (n > buf.size()) return Result<std::string>::Fail(kErrorInsufficientBuffer);
  return win32::Narrow(std::wstring_view(buf.data(), n - 1));
}

}  // namespace vx::platform
