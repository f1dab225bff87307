// Test support compiled for the Windows build only, where the tests need
// real windows of their own.
#include <windows.h>

#include <cstdlib>
#include <map>
#include <string>
#include <utility>

#include "support/test_window.h"

namespace vx::test {

namespace {

constexpr wchar_t kClassName[] = L"VxTestWindow";

std::map<std::pair<HWND, UINT>, int>& HandledCounts() {
  static std::map<std::pair<HWND, UINT>, int> counts;
  return counts;
}

LRESULT CALLBACK TestWindowProc(HWND h, UINT message, WPARAM w, LPARAM l) {
  if (message >= WM_APP && message < 0xC000) ++HandledCounts()[{h, message}];
  return DefWindowProcW(h, message, w, l);
}

bool RegisterTestClass() {
  static const bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = TestWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    return RegisterClassW(&wc) != 0;
  }();
  return registered;
}

HWND ToHwnd(platform::WindowId id) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(id)); }

}  // namespace

std::unique_ptr<TestWindow> TestWindow::Open(const std::string& title, platform::WindowRect rect,
                                             std::string& why) {
  if (!RegisterTestClass()) {
    why = "RegisterClass failed";
    return nullptr;
  }
  std::wstring text(title.begin(), title.end());
  HWND h = CreateWindowExW(0, kClassName, text.c_str(), WS_OVERLAPPEDWINDOW, rect.left, rect.top,
                           rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  if (!h) {
    why = "CreateWindowEx failed (no display?), error " + std::to_string(GetLastError());
    return nullptr;
  }
  ShowWindow(h, SW_SHOWNORMAL);
  return std::unique_ptr<TestWindow>(
      new TestWindow(static_cast<platform::WindowId>(reinterpret_cast<uintptr_t>(h))));
}

TestWindow::~TestWindow() { Close(); }

void TestWindow::Minimize() { ShowWindow(ToHwnd(id_), SW_MINIMIZE); }

void TestWindow::Close() {
  if (id_ && IsWindow(ToHwnd(id_))) DestroyWindow(ToHwnd(id_));
}

int TestWindow::Handled(uint32_t message) const {
  auto it = HandledCounts().find({ToHwnd(id_), message});
  return it == HandledCounts().end() ? 0 : it->second;
}

bool WindowsRequired() {
  const char* v = std::getenv("VX_TEST_WINDOWS_REQUIRED");
  return v && *v == '1';
}

}  // namespace vx::test
