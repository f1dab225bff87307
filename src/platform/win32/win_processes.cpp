// Process inspection on Windows: Toolhelp snapshot, the process
// environment block for command lines, psapi for image paths.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstddef>
#include <vector>

#include "platform/processes.h"
#include "platform/win32/win_handles.h"

namespace vx::platform {

namespace {

using win32::Narrow;
using win32::UniqueHandleW;

constexpr DWORD kAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;

// The layouts NtQueryInformationProcess and the process environment block
// have in a process of this program's own bitness.
struct BasicInformation {
  LONG_PTR exit_status;
  void* peb;
  ULONG_PTR affinity_mask;
  LONG_PTR base_priority;
  ULONG_PTR unique_pid;
  ULONG_PTR parent_pid;
};
struct CountedText {  // UNICODE_STRING
  USHORT length;
  USHORT maximum_length;
  wchar_t* buffer;
};
#ifdef _WIN64
constexpr size_t kPebParameters = 0x20;
constexpr size_t kParametersCommandLine = 0x70;
#else
constexpr size_t kPebParameters = 0x10;
constexpr size_t kParametersCommandLine = 0x40;
#endif

using QueryInformationFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
using IsWow64Fn = BOOL(WINAPI*)(HANDLE, BOOL*);

template <class Fn>
Fn Bind(const wchar_t* module, const char* name) {
  HMODULE h = GetModuleHandleW(module);
  return h ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(h, name))) : nullptr;
}

Result<UniqueHandleW> Open(ProcessId pid) {
  UniqueHandleW h(OpenProcess(kAccess, FALSE, pid));
  if (!h) return Result<UniqueHandleW>::Fail(GetLastError());
  return h;
}

bool ReadMemory(HANDLE process, const void* address, void* out, size_t size) {
  SIZE_T got = 0;
  return ReadProcessMemory(process, address, out, size, &got) && got == size;
}

}  // namespace

ProcessId CurrentProcessId() { return GetCurrentProcessId(); }

Result<std::vector<ProcessEntry>> ProcessSnapshot() {
  using R = Result<std::vector<ProcessEntry>>;
  UniqueHandleW snap(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snap) return R::Fail(GetLastError());
  std::vector<ProcessEntry> out;
  PROCESSENTRY32W e{};
  e.dwSize = sizeof(e);
  for (BOOL more = Process32FirstW(snap.get(), &e); more; more = Process32NextW(snap.get(), &e))
    out.push_back({e.th32ProcessID, e.th32ParentProcessID, Narrow(e.szExeFile)});
  return out;
}

Status OpenProcessStatus(ProcessId pid) {
  auto h = Open(pid);
  return h ? kErrorSuccess : h.error();
}

Result<std::string> ProcessCommandLine(ProcessId pid) {
  using R = Result<std::string>;
  auto query = Bind<QueryInformationFn>(L"ntdll.dll", "NtQueryInformationProcess");
  if (!query) return R::Fail(kErrorNotSupported);
  auto h = Open(pid);
  if (!h) return R::Fail(h.error());
  BasicInformation info{};
  if (query(h->get(), 0, &info, sizeof(info), nullptr) != 0 || !info.peb)
    return R::Fail(kErrorGenFailure);
  void* parameters = nullptr;
  CountedText text{};
  auto* peb = static_cast<const std::byte*>(info.peb);
  if (!ReadMemory(h->get(), peb + kPebParameters, &parameters, sizeof(parameters)) ||
      !parameters ||
      !ReadMemory(h->get(), static_cast<const std::byte*>(parameters) + kParametersCommandLine,
                  &text, sizeof(text)))
    return R::Fail(GetLastError());
  std::wstring line(text.length / sizeof(wchar_t), L'\0');
  if (!line.empty() && !ReadMemory(h->get(), text.buffer, line.data(), text.length))
    return R::Fail(GetLastError());
  return Narrow(line);
}

Result<bool> ProcessUnderWow64(ProcessId pid) {
  auto fn = Bind<IsWow64Fn>(L"kernel32.dll", "IsWow64Process");
  if (!fn) return Result<bool>::Fail(kErrorNotSupported);
  UniqueHandleW h(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
  if (!h) return Result<bool>::Fail(GetLastError());
  BOOL wow = FALSE;
  if (!fn(h.get(), &wow)) return Result<bool>::Fail(GetLastError());
  return wow != FALSE;
}

Result<std::string> ProcessImageFileName(ProcessId pid) {
  auto h = Open(pid);
  if (!h) return Result<std::string>::Fail(h.error());
  wchar_t buf[MAX_PATH * 2] = {};
  DWORD n = GetProcessImageFileNameW(h->get(), buf, MAX_PATH * 2);
  if (n == 0) return Result<std::string>::Fail(GetLastError());
  return Narrow(std::wstring_view(buf, n));
}

Result<std::string> ProcessModuleFileName(ProcessId pid) {
  auto h = Open(pid);
  if (!h) return Result<std::string>::Fail(h.error());
  wchar_t buf[MAX_PATH * 2] = {};
  DWORD n = GetModuleFileNameExW(h->get(), nullptr, buf, MAX_PATH * 2);
  if (n == 0) return Result<std::string>::Fail(GetLastError());
  return Narrow(std::wstring_view(buf, n));
}

Result<uint64_t> ProcessCreationTime(ProcessId pid) {
  UniqueHandleW h(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
  if (!h) return Result<uint64_t>::Fail(GetLastError());
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetProcessTimes(h.get(), &created, &exited, &kernel, &user))
    return Result<uint64_t>::Fail(GetLastError());
  return (uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
}

namespace {
struct VisibleSearch {
  DWORD pid;
  bool found;
};
BOOL CALLBACK FindVisible(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<VisibleSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == s->pid && IsWindowVisible(window)) {
    s->found = true;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

bool ProcessHasVisibleWindow(ProcessId pid) {
  VisibleSearch s{pid, false};
  EnumWindows(&FindVisible, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

}  // namespace vx::platform
