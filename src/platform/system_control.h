// Requests that act on the whole system or on this process's rights:
// restart, token privileges, administrator test, file-system redirection
// and the drive set. On the simulated machine requests are recorded in the
// machine folder and never act on the host.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace vx::platform {

// Which step of enabling a privilege failed.
enum class PrivilegeStep {
  kNone,
  kOpenToken,    // OpenProcessToken
  kLookup,       // LookupPrivilegeValue
  kAdjust,       // AdjustTokenPrivileges itself failed
  kNotAssigned,  // it ran, but the token does not hold the privilege
};

struct PrivilegeResult {
  PrivilegeStep failed = PrivilegeStep::kNone;
  uint32_t code = 0;
  bool ok() const { return failed == PrivilegeStep::kNone; }
};

// Enables a privilege ("SeDebugPrivilege", ...) in this process's token.
PrivilegeResult EnablePrivilege(std::string_view name);

// ExitWindowsEx with the reboot flag and reason code 1.
Status RequestReboot();

// The user may change machine-wide settings (HKLM\software\microsoft can be
// opened for writing).
bool UserIsAdmin();

// Switches WOW64 file-system redirection off for the calling thread and
// back. Does nothing where there is no redirection (64-bit processes, 32-bit
// Windows, the simulated machine); state is opaque.
struct FsRedirectionState {
  void* old_value = nullptr;
  bool disabled = false;
};
Status DisableFsRedirection(FsRedirectionState& state);
Status RevertFsRedirection(FsRedirectionState& state);
// How many times redirection was switched off in this process; lets tests
// see that a file test was bracketed.
uint64_t FsRedirectionSwitchCount();

// GetLogicalDriveStrings as returned: roots ("C:\") each ended by a NUL,
// the whole ended by one more; its length counts the characters before the
// final NUL.
Result<std::string> LogicalDriveStrings();

}  // namespace vx::platform
