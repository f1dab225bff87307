// The shell's ZIP folders (Explorer's compressed folders), reached through
// its automation object "Shell.Application". Only Windows has them; the
// simulated machine answers kUnavailable to every call.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace vx::platform {

enum class ShellZipStep {
  kNone,           // the copy was started
  kUnavailable,    // no shell automation object or no ZIP folders
  kInvalidSource,  // the source is not a folder the shell can open
  kInvalidZip,     // the ZIP file does not open as a shell folder
  kInvalidTarget,  // the target is not a folder the shell can open
  kCopy,           // the items could not be read or the copy not started
};

struct ShellZipResult {
  ShellZipStep failed = ShellZipStep::kNone;
  uint32_t code = 0;  // HRESULT or Windows error code when known
  explicit operator bool() const { return failed == ShellZipStep::kNone; }
};

// Starts copying the items of source_folder (all of them, or those matching
// the file mask when not empty; folders, files and hidden items alike) into
// the existing ZIP file. The shell copies on threads of its own in this
// process and this returns before it has finished.
ShellZipResult ShellCopyIntoZip(const std::filesystem::path& source_folder,
                                const std::filesystem::path& zip_file, std::string_view mask);

// Copies the ZIP's items (filtered as above) into target_folder, silently
// and without confirmations.
ShellZipResult ShellCopyOutOfZip(const std::filesystem::path& zip_file,
                                 const std::filesystem::path& target_folder,
                                 std::string_view mask);

// The threads this process has now.
uint32_t CurrentProcessThreadCount();

}  // namespace vx::platform
