#include "common/window_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "common/logger.h"
#include "platform/windows_msg.h"
#include "support/test_machine.h"
#include "support/test_window.h"
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include "platform/sim/desktop.h"
#include "platform/sim/machine.h"
#endif

namespace vx {
namespace {

using platform::WindowId;
using platform::WindowRect;

// Runs on the simulated desktop natively and on real windows under Wine
// (there in the run with a display; without one the tests skip).
class WindowHelpersTest : public test::MachineFixture {
 protected:
  void SetUp() override {
    MachineFixture::SetUp();
    StartLog(logs_.path());
  }
  void TearDown() override {
    // A failed test must not leave the process-wide lock to the next one.
    while (WindowUpdateLockCount() > 0) UnlockWindowUpdate();
    platform::UnlockWindowDrawing();
    windows_.clear();
    StopLog();
    MachineFixture::TearDown();
  }
  test::TestWindow* Open(const std::string& title, WindowRect rect) {
    std::string why;
    auto w = test::TestWindow::Open(title, rect, why);
    if (!w) {
      if (test::WindowsRequired()) ADD_FAILURE() << why;
      return nullptr;
    }
    windows_.push_back(std::move(w));
    return windows_.back().get();
  }
  static bool Contains(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(text) != std::string::npos; });
  }
  static size_t Position(const std::vector<WindowId>& order, WindowId w) {
    return std::find(order.begin(), order.end(), w) - order.begin();
  }

  test::TempDir logs_;
  std::vector<std::unique_ptr<test::TestWindow>> windows_;
};

#define OPEN_OR_SKIP(var, title, rect)                       \
  test::TestWindow* var = Open(title, rect);                 \
  if (!var) GTEST_SKIP() << "this system cannot show windows"

TEST_F(WindowHelpersTest, NormalRectSurvivesMinimisingAndGoesWithTheWindow) {
  const WindowRect where{10, 20, 310, 220};
  OPEN_OR_SKIP(w, "Vx normal rect", where);
  WindowRect rect{};
  BeginLogCapture();
  EXPECT_TRUE(GetWindowNormalRect(w->id(), rect));
  EXPECT_EQ(rect, where);
  w->Minimize();
  EXPECT_TRUE(platform::IsWindowMinimized(w->id()));
  rect = {};
  EXPECT_TRUE(GetWindowNormalRect(w->id(), rect));
  EXPECT_EQ(rect, where);  // the restored position, not the icon's
  EXPECT_EQ(EndLogCapture(), std::vector<std::string>{});

  const WindowId gone = w->id();
  w->Close();
  rect = {1, 2, 3, 4};
  BeginLogCapture();
  EXPECT_FALSE(GetWindowNormalRect(gone, rect));
  auto lines = EndLogCapture();
  EXPECT_EQ(rect, (WindowRect{1, 2, 3, 4}));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("GetWindowPlacement fail (no window)"), std::string::npos) << lines[0];
  EXPECT_EQ(lines[0].find("ERROR"), std::string::npos) << lines[0];
}

TEST_F(WindowHelpersTest, BringToFrontRestoresRaisesAndActivates) {
  OPEN_OR_SKIP(back, "Vx back", (WindowRect{40, 40, 340, 240}));
  OPEN_OR_SKIP(front, "Vx front", (WindowRect{80, 80, 380, 280}));
  back->Minimize();
  auto order = platform::TopWindowsInZOrder();
  ASSERT_LT(Position(order, front->id()), Position(order, back->id()));

  BeginLogCapture();
  EXPECT_TRUE(BringWindowToFront(back->id()));
  EXPECT_EQ(EndLogCapture(), std::vector<std::string>{});
  platform::ProcessPendingMessages();  // the restore is carried out by the window's thread
  EXPECT_FALSE(platform::IsWindowMinimized(back->id()));
  EXPECT_FALSE(platform::IsWindowTopMost(back->id()));  // passed through the band, not kept in it
  order = platform::TopWindowsInZOrder();
  EXPECT_LT(Position(order, back->id()), Position(order, front->id()));
  EXPECT_EQ(platform::ForegroundWindow(), back->id());

  const WindowId gone = front->id();
  front->Close();
  BeginLogCapture();
  EXPECT_FALSE(BringWindowToFront(gone));
  auto lines = EndLogCapture();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("BringWindowToFront: no window"), std::string::npos) << lines[0];
}

TEST_F(WindowHelpersTest, NestedLocksHoldTheFirstWindowUntilTheLastUnlock) {
  OPEN_OR_SKIP(a, "Vx lock a", (WindowRect{0, 0, 200, 100}));
  OPEN_OR_SKIP(b, "Vx lock b", (WindowRect{0, 0, 200, 100}));
  BeginLogCapture();
  LockWindowUpdate(a->id());
  LockWindowUpdate(b->id());  // nested: a stays the locked one
  EXPECT_EQ(WindowUpdateLockCount(), 2);
  EXPECT_EQ(WindowUpdateLockedWindow(), a->id());
  EXPECT_EQ(platform::LockWindowDrawing(b->id()), kErrorBusy);  // the system holds a
  UnlockWindowUpdate();
  EXPECT_EQ(WindowUpdateLockCount(), 1);
  EXPECT_EQ(platform::LockWindowDrawing(b->id()), kErrorBusy);
  UnlockWindowUpdate();
  EXPECT_EQ(WindowUpdateLockCount(), 0);
  EXPECT_EQ(WindowUpdateLockedWindow(), 0u);
  EXPECT_EQ(EndLogCapture(), std::vector<std::string>{});
  // Drawing was resumed: another lock is possible again.
  EXPECT_EQ(platform::LockWindowDrawing(b->id()), 0u);
  EXPECT_EQ(platform::UnlockWindowDrawing(), 0u);
}

TEST_F(WindowHelpersTest, MisuseIsLoggedAndNeverLiftsAForeignLock) {
  OPEN_OR_SKIP(a, "Vx misuse a", (WindowRect{0, 0, 200, 100}));
  OPEN_OR_SKIP(b, "Vx misuse b", (WindowRect{0, 0, 200, 100}));
  struct Case {
    const char* name;
    void (*run)(WindowId a, WindowId b);
    std::vector<std::string> logged;
  };
  const Case cases[] = {
      {"unlock without lock", [](WindowId, WindowId) { UnlockWindowUpdate(); },
       {"FLockCount < 0", "FLockedWindow = 0"}},
      {"null window",
       [](WindowId, WindowId) {
         LockWindowUpdate(0);
         UnlockWindowUpdate();
       },
       {"Handle = 0", "FLockedWindow = 0"}},
      {"window held by someone else",
       [](WindowId, WindowId b) {
         LockWindowUpdate(b);
         UnlockWindowUpdate();
       },
       {"LockWindowUpdate fail", "FLockedWindow = 0"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // a is locked directly, as another part of the program would.
    ASSERT_EQ(platform::LockWindowDrawing(a->id()), 0u);
    // A line between the cases, so the log's repeat suppression keeps each
    // case's lines.
    LogMessage(c.name);
    BeginLogCapture();
    c.run(a->id(), b->id());
    auto lines = EndLogCapture();
    ASSERT_EQ(lines.size(), c.logged.size());
    for (size_t i = 0; i < lines.size(); ++i)
      EXPECT_NE(lines[i].find(c.logged[i]), std::string::npos) << lines[i];
    EXPECT_EQ(WindowUpdateLockCount(), 0);
    // a's lock is still in place.
    EXPECT_EQ(platform::LockWindowDrawing(b->id()), kErrorBusy);
    ASSERT_EQ(platform::UnlockWindowDrawing(), 0u);
  }
  // After an unbalanced unlock the counter starts over at 0: one pair
  // locks and unlocks again.
  LockWindowUpdate(b->id());
  EXPECT_EQ(WindowUpdateLockedWindow(), b->id());
  UnlockWindowUpdate();
  EXPECT_EQ(WindowUpdateLockedWindow(), 0u);
}

#ifdef _WIN32
TEST_F(WindowHelpersTest, UnlockDispatchesQueuedMessagesFirst) {
  OPEN_OR_SKIP(w, "Vx pump", (WindowRect{0, 0, 200, 100}));
  constexpr uint32_t kMessage = 0x8000 + 7;  // WM_APP + 7
  LockWindowUpdate(w->id());
  ASSERT_EQ(platform::PostWindowMessage(w->id(), kMessage, 1, 2), 0u);
  EXPECT_EQ(w->Handled(kMessage), 0);
  UnlockWindowUpdate();
  EXPECT_EQ(w->Handled(kMessage), 1);
}
#else
TEST_F(WindowHelpersTest, LockOfAnEndedProcessLapses) {
  OPEN_OR_SKIP(w, "Vx lapse", (WindowRect{0, 0, 200, 100}));
  pid_t child = fork();
  if (child == 0) {
    // The child attaches to the same machine through the inherited state.
    _exit(platform::LockWindowDrawing(w->id()) == 0 ? 0 : 1);
  }
  ASSERT_GT(child, 0);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(sim::Desktop(*sim::CurrentMachine()).LockedWindow(), 0u);
  EXPECT_EQ(platform::LockWindowDrawing(w->id()), 0u);
  EXPECT_EQ(platform::UnlockWindowDrawing(), 0u);
}

TEST_F(WindowHelpersTest, TopMostBandStaysAboveOrdinaryWindows) {
  OPEN_OR_SKIP(pinned, "Vx pinned", (WindowRect{0, 0, 200, 100}));
  OPEN_OR_SKIP(other, "Vx other", (WindowRect{0, 0, 200, 100}));
  ASSERT_EQ(platform::SetWindowTopMost(pinned->id(), true), 0u);
  OPEN_OR_SKIP(late, "Vx late", (WindowRect{0, 0, 200, 100}));
  EXPECT_EQ(platform::TopWindowsInZOrder(),
            (std::vector<WindowId>{pinned->id(), late->id(), other->id()}));
  EXPECT_TRUE(BringWindowToFront(other->id()));
  EXPECT_EQ(platform::TopWindowsInZOrder(),
            (std::vector<WindowId>{pinned->id(), other->id(), late->id()}));
  EXPECT_EQ(platform::GetWindowPlacementOf(0xFFFFFF).error(), kErrorInvalidWindowHandle);
}
#endif

}  // namespace
}  // namespace vx
