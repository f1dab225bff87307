// Restart, privileges and file-system redirection on Windows. Functions
// newer than the oldest supported Windows are bound by name.
#include <windows.h>

#include <atomic>

#include "platform/system_control.h"
#include "platform/win32/win_handles.h"

namespace vx::platform {

namespace {

using win32::UniqueHandleW;
using win32::Wide;

std::atomic<uint64_t> g_redirection_switches{0};

using DisableFn = BOOL(WINAPI*)(void**);
using RevertFn = BOOL(WINAPI*)(void*);
using IsWow64Fn = BOOL(WINAPI*)(HANDLE, BOOL*);

FARPROC Kernel32(const char* name) { return GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name); }

// Redirection exists only for a 32-bit process on 64-bit Windows.
bool UnderWow64() {
#ifdef _WIN64
  return false;
#else
  static const bool answer = [] {
    auto fn = reinterpret_cast<IsWow64Fn>(reinterpret_cast<void*>(Kernel32("IsWow64Process")));
    BOOL wow = FALSE;
    return fn && fn(GetCurrentProcess(), &wow) && wow;
  }();
  return answer;
#endif
}

}  // namespace

PrivilegeResult EnablePrivilege(std::string_view name) {
  UniqueHandleW token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()))
    return {PrivilegeStep::kOpenToken, GetLastError()};
  TOKEN_PRIVILEGES wanted{};
  wanted.PrivilegeCount = 1;
  wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!LookupPrivilegeValueW(nullptr, Wide(name).c_str(), &wanted.Privileges[0].Luid))
    return {PrivilegeStep::kLookup, GetLastError()};
  TOKEN_PRIVILEGES previous{};
  DWORD size = sizeof(previous);
  if (!AdjustTokenPrivileges(token.get(), FALSE, &wanted, sizeof(previous), &previous, &size))
    return {PrivilegeStep::kAdjust, GetLastError()};
  // Success with ERROR_NOT_ALL_ASSIGNED: the token lacks the privilege.
  if (DWORD e = GetLastError(); e == ERROR_NOT_ALL_ASSIGNED) return {PrivilegeStep::kNotAssigned, e};
  return {};
}

Status RequestReboot() {
  if (ExitWindowsEx(EWX_REBOOT, 1)) return kErrorSuccess;
  return GetLastError();
}

bool UserIsAdmin() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"software\\microsoft", 0, KEY_WRITE, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

Status DisableFsRedirection(FsRedirectionState& state) {
  state.disabled = false;
  if (!UnderWow64()) return kErrorSuccess;
  static const auto fn =
      reinterpret_cast<DisableFn>(reinterpret_cast<void*>(Kernel32("Wow64DisableWow64FsRedirection")));
  if (!fn) return kErrorNotSupported;
  if (!fn(&state.old_value)) return GetLastError();
  state.disabled = true;
  ++g_redirection_switches;
  return kErrorSuccess;
}

Status RevertFsRedirection(FsRedirectionState& state) {
  if (!state.disabled) return kErrorSuccess;
  static const auto fn =
      reinterpret_cast<RevertFn>(reinterpret_cast<void*>(Kernel32("Wow64RevertWow64FsRedirection")));
  state.disabled = false;
  if (!fn) return kErrorNotSupported;
  if (fn(state.old_value)) return kErrorSuccess;
  return GetLastError();
}

uint64_t FsRedirectionSwitchCount() { return g_redirection_switches; }

Result<std::string> LogicalDriveStrings() {
  wchar_t buf[MAX_PATH + 1] = {};
  DWORD n = GetLogicalDriveStringsW(MAX_PATH, buf);
  if (n == 0) return Result<std::string>::Fail(GetLastError());
  if (n > MAX_PATH) n = MAX_PATH;  // too long for the buffer; the caller rejects its length
  return win32::Narrow(std::wstring_view(buf, n));
}

}  // namespace vx::platform
