#include <shlobj.h>

#include <vector>

#include "common/text.h"
#include "platform/win32/win_handles.h"
#include "platform/win32/win_services.h"

namespace vx::win32 {

namespace {

using GetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
using IsWow64Fn = BOOL(WINAPI*)(HANDLE, BOOL*);

std::wstring LocaleString(LCTYPE type, const wchar_t* fallback) {
  wchar_t buf[128];
  int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buf, 128);
  return n > 1 ? std::wstring(buf, n - 1) : std::wstring(fallback);
}

std::filesystem::path ShellFolder(int csidl) {
  wchar_t buf[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, csidl, nullptr, 0, buf) != S_OK) return {};
  return std::filesystem::path(buf);
}

class WinSystem : public platform::SystemInfo {
 public:
  platform::WindowsVersion Version() override {
    // GetVersionEx lies to programs without a manifest from 8.1 on; the
    // kernel's own call does not.
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    auto fn = reinterpret_cast<GetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    if (!fn || fn(&info) != 0) GetVersionExW(&info);
    return {info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
  }

  bool IsWindows64() override {
#ifdef _WIN64
    return true;
#else
    auto fn = reinterpret_cast<IsWow64Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
    BOOL wow = FALSE;
    return fn && fn(GetCurrentProcess(), &wow) && wow;
#endif
  }

  uint32_t TickCount() override { return GetTickCount(); }

  std::filesystem::path Folder(platform::KnownFolder folder) override {
    using platform::KnownFolder;
    wchar_t buf[MAX_PATH] = {};
    switch (folder) {
      case KnownFolder::kAppData:
        return ShellFolder(CSIDL_APPDATA);
      case KnownFolder::kDocuments:
        return ShellFolder(CSIDL_PERSONAL);
      case KnownFolder::kSystem:
        GetSystemDirectoryW(buf, MAX_PATH);
        return buf;
      case KnownFolder::kWindows:
        GetWindowsDirectoryW(buf, MAX_PATH);
        return buf;
      case KnownFolder::kProgram: {
        std::wstring exe(32768, L'\0');
        DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
        exe.resize(n);
        return std::filesystem::path(exe).parent_path();
      }
      case KnownFolder::kTemp:
        GetTempPathW(MAX_PATH, buf);
        return buf;
    }
    return {};
  }

  Result<std::string> DosDeviceName(std::string_view drive) override {
    std::wstring buf(1024, L'\0');
    DWORD n = ::QueryDosDeviceW(vx::win32::Wide(drive).c_str(), buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return Result<std::string>::Fail(GetLastError());
    return Narrow(buf.c_str());
  }

  uint64_t TotalMemory() override {
    MEMORYSTATUSEX ms{};
    ms.dwLength = sizeof(ms);
    return GlobalMemoryStatusEx(&ms) ? ms.ullTotalPhys : 0;
  }

  std::string ComputerName() override {
    wchar_t buf[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD n = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(buf, &n) ? Narrow(std::wstring_view(buf, n)) : std::string();
  }

  std::string UserName() override {
    wchar_t buf[257];
    DWORD n = 257;
    return GetUserNameW(buf, &n) && n > 0 ? Narrow(std::wstring_view(buf, n - 1)) : std::string();
  }

  platform::LocaleInfo Locale() override {
    platform::LocaleInfo li;
    li.language_name = Narrow(LocaleString(LOCALE_SLANGUAGE, L"English (United States)"));
    li.short_date = Narrow(LocaleString(LOCALE_SSHORTDATE, L"M/d/yyyy"));
    li.long_time = Narrow(LocaleString(LOCALE_STIMEFORMAT, L"h:mm:ss tt"));
    li.decimal_separator = Narrow(LocaleString(LOCALE_SDECIMAL, L"."));
    li.ansi_code_page = GetACP();
    TIME_ZONE_INFORMATION tz{};
    DWORD r = GetTimeZoneInformation(&tz);
    long bias = tz.Bias + (r == TIME_ZONE_ID_DAYLIGHT ? tz.DaylightBias : 0);
    li.utc_offset_minutes = static_cast<int>(-bias);
    li.am_designator = Narrow(LocaleString(LOCALE_S1159, L"AM"));
    li.pm_designator = Narrow(LocaleString(LOCALE_S2359, L"PM"));
    return li;
  }

  platform::LocalTime LocalNow() override {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds,
            st.wDayOfWeek};
  }

  std::string ErrorText(uint32_t code) override {
    // Language 0 lets the system pick the user's language first.
    wchar_t buf[1024];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, buf, 1024, nullptr);
    return n ? Narrow(std::wstring_view(buf, n)) : std::string();
  }

  std::filesystem::path HostPath(std::string_view windows_path) override {
    return U8Path(windows_path);
  }
  std::string WindowsPath(const std::filesystem::path& host_path) override {
    return PathUtf8(host_path);
  }
};

}  // namespace

std::unique_ptr<platform::SystemInfo> MakeWinSystem() { return std::make_unique<WinSystem>(); }

}  // namespace vx::win32
