#include "platform/win32/win_handles.h"
#include "platform/windows_msg.h"

#include <vector>

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

namespace vx::platform {

namespace {

WindowId ToId(HWND h) { return static_cast<WindowId>(reinterpret_cast<uintptr_t>(h)); }

// The error of a failed user32 call; some calls fail without setting one.
Status LastErrorOr(uint32_t fallback) {
  DWORD code = GetLastError();
  return code == 0 ? fallback : code;
}

// The flags keep SetWindowPos to the z-order change alone.
Status Reorder(WindowId window, HWND after) {
  SetLastError(0);
  if (::SetWindowPos(ToHwnd(window), after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE)) return 0;
  return LastErrorOr(kErrorGenFailure);
}

BOOL CALLBACK CollectWindow(HWND h, LPARAM into) {
  reinterpret_cast<std::vector<WindowId>*>(into)->push_back(ToId(h));
  return TRUE;
}

}  // namespace

Result<WindowPlacement> GetWindowPlacementOf(WindowId window) {
  WINDOWPLACEMENT wp{};
  wp.length = sizeof(wp);
  SetLastError(0);
  if (!::GetWindowPlacement(ToHwnd(window), &wp))
    return Result<WindowPlacement>::Fail(LastErrorOr(kErrorInvalidWindowHandle));
  WindowPlacement out;
  out.show = wp.showCmd == SW_SHOWMINIMIZED || wp.showCmd == SW_MINIMIZE ||
                     wp.showCmd == SW_SHOWMINNOACTIVE
                 ? WindowShow::kMinimized
             : wp.showCmd == SW_SHOWMAXIMIZED ? WindowShow::kMaximized
                                              : WindowShow::kNormal;
  out.normal = {wp.rcNormalPosition.left, wp.rcNormalPosition.top, wp.rcNormalPosition.right,
                wp.rcNormalPosition.bottom};
  return out;
}

bool IsWindowMinimized(WindowId window) { return ::IsIconic(ToHwnd(window)) != FALSE; }

Status RestoreWindowAsync(WindowId window) {
  if (!::IsWindow(ToHwnd(window))) return kErrorInvalidWindowHandle;
  // The result is the previous visibility, not success.
  ::ShowWindowAsync(ToHwnd(window), SW_RESTORE);
  return 0;
}

Status SetWindowTopMost(WindowId window, bool top_most) {
  return Reorder(window, top_most ? HWND_TOPMOST : HWND_NOTOPMOST);
}

bool IsWindowTopMost(WindowId window) {
  return (::GetWindowLongPtrW(ToHwnd(window), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

Status SetForegroundWindowTo(WindowId window) {
  if (!::IsWindow(ToHwnd(window))) return kErrorInvalidWindowHandle;
  return ::SetForegroundWindow(ToHwnd(window)) ? Status{0} : Status{kErrorAccessDenied};
}

WindowId ForegroundWindow() { return ToId(::GetForegroundWindow()); }

std::vector<WindowId> TopWindowsInZOrder() {
  std::vector<WindowId> out;
  ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&out));
  return out;
}

Status LockWindowDrawing(WindowId window) {
  if (!::IsWindow(ToHwnd(window))) return kErrorInvalidWindowHandle;
  // LockWindowUpdate sets no error; the only refusal left is a lock held.
  return ::LockWindowUpdate(ToHwnd(window)) ? Status{0} : Status{kErrorBusy};
}

Status UnlockWindowDrawing() { return ::LockWindowUpdate(nullptr) ? Status{0} : Status{kErrorGenFailure};
}

void ProcessPendingMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

}  // namespace vx::platform
