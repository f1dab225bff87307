// Machine-wide requests and facts the program needs now and then: restart,
// privileges, administrator rights, bitness, file-system redirection, the
// system start time, multi-string registry values and text trimming by
// count. Failures are logged; nothing throws.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/system_control.h"

namespace vx {

// Enables the shutdown privilege and asks Windows to restart; the request
// is made even when the privilege could not be enabled. On the simulated
// machine it is recorded in the machine, never carried out.
void RebootSystem();
// Enables SeDebugPrivilege, SeIncreaseQuotaPrivilege and
// SeImpersonatePrivilege in turn, logging each failed step.
void GetDebugPrivilege();
// Cached for the process.
bool IsAdminUser();
bool IsWindows64();
// File-system redirection is switched with platform::DisableFsRedirection
// and platform::RevertFsRedirection (platform/system_control.h), bracketing
// one file test on one thread.
// Now minus the tick count, as a local date-time; computed once.
double GetSystemStartTime();

// The strings of a REG_MULTI_SZ value of at most 2048 bytes into list
// (emptied first); stays empty when the value is missing, of another type
// or larger.
void RegReadMultiString(platform::RegRoot root, std::string_view key, std::string_view name,
                        std::vector<std::string>& list);

// The text without its first / last n characters (code points); unchanged
// for n <= 0, empty when shorter than n.
std::string DeleteLeft(std::string_view text, int n);
std::string DeleteRight(std::string_view text, int n);

}  // namespace vx
