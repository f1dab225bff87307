#include <unistd.h>

#include "platform/sim/desktop.h"
#include "platform/sim/machine.h"
#include "support/test_window.h"

namespace vx::test {

std::unique_ptr<TestWindow> TestWindow::Open(const std::string& title, platform::WindowRect rect,
                                             std::string& why) {
  auto* machine = sim::CurrentMachine();
  if (!machine) {
    why = "no simulated machine attached";
    return nullptr;
  }
  sim::Desktop desktop(*machine);
  auto id = desktop.OpenWindow("VxTestWindow", title, getpid());
  if (!id) {
    why = "the desktop refused a window";
    return nullptr;
  }
  desktop.SetPlacement(*id, {platform::WindowShow::kNormal, rect});
  return std::unique_ptr<TestWindow>(new TestWindow(*id));
}

TestWindow::~TestWindow() { Close(); }

void TestWindow::Minimize() {
  sim::Desktop desktop(*sim::CurrentMachine());
  auto state = desktop.State(id_);
  if (state) desktop.SetPlacement(id_, {platform::WindowShow::kMinimized, state->placement.normal});
}

void TestWindow::Close() {
  if (id_ && sim::CurrentMachine()) sim::Desktop(*sim::CurrentMachine()).CloseWindow(id_);
}

int TestWindow::Handled(uint32_t) const { return 0; }

bool WindowsRequired() { return true; }

}  // namespace vx::test
