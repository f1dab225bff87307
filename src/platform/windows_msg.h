// Top-level windows as this program meets them: found by class and title,
// sent posted messages identified by registered message names, placed,
// brought to the front and held from drawing. Nothing here creates a window
// of its own; that belongs to the GUI.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace vx::platform {

// The window handle's value; 0 is no window.
using WindowId = uint64_t;

// RegisterWindowMessage: the same name (compared without regard to case)
// gives the same number in every process of the session, 0xC000 to 0xFFFF.
// 0 when it cannot be registered.
uint32_t RegisterWindowMessageName(std::string_view name);

// FindWindow: the first top-level window whose class and title equal the
// given ones, compared without regard to case as Windows does; an empty
// class_name or title matches any.
// kErrorFileNotFound when there is none.
Result<WindowId> FindTopWindow(std::string_view class_name, std::string_view title);

// True while the window exists.
bool WindowExists(WindowId window);

// PostMessage: queues the message for the window's thread and returns at
// once; kErrorInvalidHandle when the window no longer exists.
Status PostWindowMessage(WindowId window, uint32_t message, uint64_t wparam, int64_t lparam);

// Window state, in screen coordinates.
struct WindowRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  bool operator==(const WindowRect&) const = default;
};

enum class WindowShow { kNormal, kMinimized, kMaximized };

struct WindowPlacement {
  WindowShow show = WindowShow::kNormal;
  WindowRect normal;  // where the window goes when restored
};

// GetWindowPlacement. kErrorInvalidWindowHandle once the window is gone.
Result<WindowPlacement> GetWindowPlacementOf(WindowId window);
// IsIconic.
bool IsWindowMinimized(WindowId window);
// ShowWindowAsync(SW_RESTORE): the window's own thread restores it later,
// so a window of a hung program cannot block the caller.
Status RestoreWindowAsync(WindowId window);
// SetWindowPos into (true) or out of (false) the top-most band without
// moving or sizing the window. Leaving the band puts it above every other
// window that is not top-most.
Status SetWindowTopMost(WindowId window, bool top_most);
bool IsWindowTopMost(WindowId window);
// SetForegroundWindow; Windows may refuse it to a process that is not in
// the foreground (kErrorAccessDenied then).
Status SetForegroundWindowTo(WindowId window);
// GetForegroundWindow; 0 when none.
WindowId ForegroundWindow();
// The visible and hidden top-level windows, top of the z-order first.
std::vector<WindowId> TopWindowsInZOrder();

// LockWindowUpdate: suspends drawing of one window. Only one window of the
// session can be locked at a time; locking while another (or the same) is
// locked fails with kErrorBusy.
Status LockWindowDrawing(WindowId window);
// LockWindowUpdate(nullptr): resumes drawing of the locked window.
Status UnlockWindowDrawing();

// Dispatches the messages already waiting in the calling thread's queue and
// returns without waiting for more. A quit request met on the way is put
// back, so the thread's own message loop still ends. On the simulated
// machine there is no queue to drain.
void ProcessPendingMessages();

}  // namespace vx::platform
