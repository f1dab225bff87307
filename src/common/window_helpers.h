// Window handling the forms and the tray interface share: the restored
// position of a window, bringing a window to the user, and holding a
// window's drawing while it is filled. Failures are logged; nothing throws.
#pragma once

#include "platform/windows_msg.h"

namespace vx {

// The window's restored (normal) position. False, and rect untouched, when
// the placement cannot be read; that is logged as an error while the window
// exists and as a message once it is gone.
bool GetWindowNormalRect(platform::WindowId window, platform::WindowRect& rect);

// Restores a minimised window (on its own thread, later), lifts it above
// every other window by passing it through the top-most band, and makes it
// the foreground window. False when the window is gone or a step failed.
bool BringWindowToFront(platform::WindowId window);

// Nested suspension of drawing: the first lock suspends drawing of its
// window, and drawing resumes when the last matching unlock runs. Main
// thread only, as the windows it serves.
void LockWindowUpdate(platform::WindowId window);
// Dispatches the messages already queued first, so what they draw is not
// lost to the lock being lifted under them.
void UnlockWindowUpdate();

// The nesting depth and the window whose drawing is suspended (0: none).
int WindowUpdateLockCount();
platform::WindowId WindowUpdateLockedWindow();

}  // namespace vx
