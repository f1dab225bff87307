#include "platform/shell_zip.h"

#include <filesystem>
#include <system_error>

#include "platform/result.h"

namespace vx::platform {

ShellZipResult ShellCopyIntoZip(const std::filesystem::path&, const std::filesystem::path&,
                                std::string_view) {
  return {ShellZipStep::kUnavailable, kErrorNotSupported};
}

ShellZipResult ShellCopyOutOfZip(const std::filesystem::path&, const std::filesystem::path&,
                                 std::string_view) {
  return {ShellZipStep::kUnavailable, kErrorNotSupported};
}

uint32_t CurrentProcessThreadCount() {
  std::error_code ec;
  uint32_t n = 0;
  for (std::filesystem::directory_iterator it("/proc/self/task", ec), end; !ec && it != end;
       it.increment(ec))
    ++n;
  return n;
}

}  // namespace vx::platform
