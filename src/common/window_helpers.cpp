#include "common/window_helpers.h"

#include <mutex>
#include <string>

#include "common/logger.h"

namespace vx {

namespace {

struct UpdateLock {
  std::mutex mutex;
  int count = 0;
  platform::WindowId window = 0;
};

UpdateLock& TheUpdateLock() {
  static UpdateLock lock;
  return lock;
}

std::string WindowParam(platform::WindowId window) { return "Window=" + std::to_string(window); }

}  // namespace

bool GetWindowNormalRect(platform::WindowId window, platform::WindowRect& rect) {
  auto placement = platform::GetWindowPlacementOf(window);
  if (placement) {
    rect = placement->normal;
    return true;
  }
  if (platform::WindowExists(window))
    LogError("GetWindowNormalRect", "GetWindowPlacement fail", WindowParam(window),
             placement.error());
  else
    LogMessage("GetWindowPlacement fail (no window)", WindowParam(window));
  return false;
}

bool BringWindowToFront(platform::WindowId window) {
  if (!platform::WindowExists(window)) {
    LogMessage("BringWindowToFront: no window", WindowParam(window));
    return false;
  }
  bool ok = true;
  if (platform::IsWindowMinimized(window)) {
    if (Status s = platform::RestoreWindowAsync(window)) {
      LogError("BringWindowToFront", "ShowWindowAsync fail", WindowParam(window), s);
      ok = false;
    }
  }
  // Through the top-most band and out again: the window ends above every
  // ordinary window without staying on top of them for good.
  if (Status s = platform::SetWindowTopMost(window, true)) {
    LogError("BringWindowToFront", "SetWindowPos fail", "HWND_TOPMOST", s);
    ok = false;
  }
  if (Status s = platform::SetWindowTopMost(window, false)) {
    LogError("BringWindowToFront", "SetWindowPos fail", "HWND_NOTOPMOST", s);
    ok = false;
  }
  // Windows refuses the foreground to a process the user is not working
  // with; that is its rule, not a fault, so it is only noted.
  if (platform::SetForegroundWindowTo(window) != 0) {
    LogMessage("BringWindowToFront: SetForegroundWindow refused", WindowParam(window));
    ok = false;
  }
  return ok;
}

void LockWindowUpdate(platform::WindowId window) {
  auto& lock = TheUpdateLock();
  std::lock_guard guard(lock.mutex);
  ++lock.count;
  // A null window would make the system call an unlock of whatever window
  // is locked, so it only counts.
  if (window == 0) {
    LogError("LockWindowUpdate", "Handle = 0");
    return;
  }
  if (lock.window != 0) return;
  // Remembered only when locked, so a failed lock never leads to lifting a
  // lock someone else holds.
  if (Status s = platform::LockWindowDrawing(window))
    LogError("LockWindowUpdate", "LockWindowUpdate fail", WindowParam(window), s);
  else
    lock.window = window;
}

void UnlockWindowUpdate() {
  platform::ProcessPendingMessages();
  auto& lock = TheUpdateLock();
  std::lock_guard guard(lock.mutex);
  --lock.count;
  if (lock.count < 0) {
    LogError("UnlockWindowUpdate", "FLockCount < 0");
    // Unbalanced unlocks would otherwise make the next nested pair end
    // the lock at its inner unlock.
    lock.count = 0;
  }
  if (lock.count > 0) return;
  if (lock.window != 0) {
    if (Status s = platform::UnlockWindowDrawing())
      LogError("UnlockWindowUpdate", "LockWindowUpdate(0) fail", WindowParam(lock.window), s);
  } else {
    LogMessage("UnlockWindowUpdate: FLockedWindow = 0");
  }
  lock.window = 0;
}

int WindowUpdateLockCount() {
  auto& lock = TheUpdateLock();
  std::lock_guard guard(lock.mutex);
  return lock.count;
}

platform::WindowId WindowUpdateLockedWindow() {
  auto& lock = TheUpdateLock();
  std::lock_guard guard(lock.mutex);
  return lock.window;
}

}  // namespace vx
