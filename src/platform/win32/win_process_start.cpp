#include "platform/process_start.h"
#include "platform/win32/win_handles.h"

namespace vx::platform {

Status StartProgram(const std::filesystem::path& program, std::string_view args) {
  std::wstring line = L"\"" + program.wstring() + L"\"";
  if (!args.empty()) line += L" " + win32::Wide(args);
  std::wstring folder = program.parent_path().wstring();
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_SHOWNOACTIVATE;  // the user keeps the focus
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
    DWORD code = GetLastError();
    return code == 0 ? kErrorGenFailure : code;
  }
  win32::UniqueHandleW process(pi.hProcess), thread(pi.hThread);
  return kErrorSuccess;
}

}  // namespace vx::platform
