// Top-level windows of the test process: on the simulated machine kept in
// its desktop, on Windows real windows of a class the tests register.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/windows_msg.h"

namespace vx::test {

class TestWindow {
 public:
  // Opens a shown window at rect; null (with why filled) when this system
  // cannot show windows, as Wine without a display.
  static std::unique_ptr<TestWindow> Open(const std::string& title, platform::WindowRect rect,
                                          std::string& why);
  ~TestWindow();
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  platform::WindowId id() const { return id_; }
  void Minimize();
  void Close();
  // How many messages of this number the window procedure has handled
  // (Windows only; the simulated desktop dispatches nothing).
  int Handled(uint32_t message) const;

 private:
  explicit TestWindow(platform::WindowId id) : id_(id) {}
  platform::WindowId id_ = 0;
};

// True when the test run demands real windows (the run under a display);
// otherwise window tests skip where windows cannot be made.
bool WindowsRequired();

}  // namespace vx::test
