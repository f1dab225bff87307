// Top-level windows of other programs as this program meets them: found by
// class and title, and sent posted messages identified by registered
// message names. Nothing here creates a window of its own; that belongs to
// the GUI.
#pragma once

#include <cstdint>
#include <string_view>

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

}  // namespace vx::platform
