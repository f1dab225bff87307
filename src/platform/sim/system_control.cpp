// System requests on the simulated machine: recorded in the machine's
// desktop session (vxsim shows them), never carried out on the host.
#include "platform/system_control.h"

#include <atomic>

#include "common/text.h"
#include "platform/sim/desktop.h"
#include "platform/sim/machine.h"

namespace vx::platform {

namespace {

constexpr uint32_t kErrorNotAllAssigned = 1300;
constexpr uint32_t kErrorNoSuchPrivilege = 1313;

std::atomic<uint64_t> g_redirection_switches{0};

// The privileges a standard user's token holds; administrators hold all.
bool StandardUserHolds(std::string_view name) {
  return SameText(name, "SeShutdownPrivilege") || SameText(name, "SeChangeNotifyPrivilege") ||
         SameText(name, "SeUndockPrivilege") || SameText(name, "SeTimeZonePrivilege") ||
         SameText(name, "SeIncreaseWorkingSetPrivilege");
}

bool KnownPrivilege(std::string_view name) {
  static constexpr std::string_view kNames[] = {
      "SeShutdownPrivilege",      "SeChangeNotifyPrivilege", "SeUndockPrivilege",
      "SeTimeZonePrivilege",      "SeIncreaseWorkingSetPrivilege", "SeDebugPrivilege",
      "SeIncreaseQuotaPrivilege", "SeImpersonatePrivilege",  "SeBackupPrivilege",
      "SeRestorePrivilege",       "SeLoadDriverPrivilege",   "SeTakeOwnershipPrivilege",
      "SeSecurityPrivilege",      "SeSystemtimePrivilege"};
  for (auto n : kNames)
    if (SameText(n, name)) return true;
  return false;
}

}  // namespace

PrivilegeResult EnablePrivilege(std::string_view name) {
  auto* m = sim::CurrentMachine();
  if (!m) return {PrivilegeStep::kOpenToken, kErrorInvalidHandle};
  if (!KnownPrivilege(name)) return {PrivilegeStep::kLookup, kErrorNoSuchPrivilege};
  if (!m->facts().is_admin && !StandardUserHolds(name))
    return {PrivilegeStep::kNotAssigned, kErrorNotAllAssigned};
  if (Status s = sim::Desktop(*m).RecordRequest("privilege", name)) return {PrivilegeStep::kAdjust, s};
  return {};
}

Status RequestReboot() {
  auto* m = sim::CurrentMachine();
  if (!m) return kErrorInvalidHandle;
  return sim::Desktop(*m).RecordRequest("reboot", "");
}

bool UserIsAdmin() {
  auto* m = sim::CurrentMachine();
  return m && m->facts().is_admin;
}

// The simulated machine has no redirection; the switch is only counted.
Status DisableFsRedirection(FsRedirectionState& state) {
  ++g_redirection_switches;
  state.disabled = true;
  return kErrorSuccess;
}

Status RevertFsRedirection(FsRedirectionState& state) {
  state.disabled = false;
  return kErrorSuccess;
}

uint64_t FsRedirectionSwitchCount() { return g_redirection_switches; }

Result<std::string> LogicalDriveStrings() {
  auto* m = sim::CurrentMachine();
  if (!m) return Result<std::string>::Fail(kErrorInvalidHandle);
  std::string out;
  for (const auto& [drive, device] : m->facts().dos_devices) {
    out += drive + "\\";
    out += '\0';
  }
  if (out.empty()) return Result<std::string>::Fail(kErrorFileNotFound);
  return out;
}

}  // namespace vx::platform
