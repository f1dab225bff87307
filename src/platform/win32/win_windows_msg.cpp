#include "platform/win32/win_handles.h"
#include "platform/windows_msg.h"

namespace vx::platform {

namespace {

HWND ToHwnd(WindowId id) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(id)); }

}  // namespace

uint32_t RegisterWindowMessageName(std::string_view name) {
  if (name.empty()) return 0;
  return ::RegisterWindowMessageW(win32::Wide(name).c_str());
}

Result<WindowId> FindTopWindow(std::string_view class_name, std::string_view title) {
  std::wstring cls = win32::Wide(class_name), text = win32::Wide(title);
  HWND h = ::FindWindowW(class_name.empty() ? nullptr : cls.c_str(),
                         title.empty() ? nullptr : text.c_str());
  if (!h) {
    DWORD code = GetLastError();
    return Result<WindowId>::Fail(code == 0 ? kErrorFileNotFound : code);
  }
  return static_cast<WindowId>(reinterpret_cast<uintptr_t>(h));
}

bool WindowExists(WindowId window) { return window != 0 && ::IsWindow(ToHwnd(window)); }

Status PostWindowMessage(WindowId window, uint32_t message, uint64_t wparam, int64_t lparam) {
  if (::PostMessageW(ToHwnd(window), message, static_cast<WPARAM>(wparam),
                     static_cast<LPARAM>(lparam)))
    return kErrorSuccess;
  DWORD code = GetLastError();
  return code == 0 ? kErrorGenFailure : code;
}

}  // namespace vx::platform
