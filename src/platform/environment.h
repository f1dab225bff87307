// Environment strings of the running Windows: "%SystemRoot%\inf" and the
// like, as INF files and registry values write paths.
#pragma once

#include <string>
#include <string_view>

#include "platform/result.h"

namespace vx::platform {

// ExpandEnvironmentStrings: every %NAME% of a defined variable replaced by
// its value; unknown names stay as written. Fails (kErrorInsufficientBuffer)
// when the result would exceed max_chars UTF-16 characters, terminator
// included, as a fixed buffer of that size would.
Result<std::string> ExpandEnvironment(std::string_view text, size_t max_chars = 32767);

}  // namespace vx::platform
