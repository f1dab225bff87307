// Facts about the running Windows and its user that the program reads once
// or often: version, WOW64, tick count, folders, devices, locale.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace vx::platform {

struct WindowsVersion {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
};

enum class KnownFolder {
  kAppData,    // CSIDL_APPDATA, the roaming profile folder
  kDocuments,  // CSIDL_PERSONAL
  kSystem,     // GetSystemDirectory
  kWindows,    // GetWindowsDirectory
  kProgram,    // the folder of the running program
  kTemp,       // the user's temporary folder
};

// The user's locale as the program formats with it.
struct LocaleInfo {
  std::string language_name;   // e.g. "English (United States)"
  std::string short_date;      // Windows picture, e.g. "M/d/yyyy"
  std::string long_time;       // Windows picture, e.g. "h:mm:ss tt"
  std::string decimal_separator;
  uint32_t ansi_code_page = 1252;
  int utc_offset_minutes = 0;  // local time = UTC + offset
  std::string am_designator = "AM";  // what "tt" shows before noon
  std::string pm_designator = "PM";
};

// A moment in the user's local time, as GetLocalTime reports it.
struct LocalTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  int day_of_week = 6;  // 0 = Sunday
};

class SystemInfo {
 public:
  virtual ~SystemInfo() = default;
  SystemInfo(const SystemInfo&) = delete;
  SystemInfo& operator=(const SystemInfo&) = delete;

  virtual WindowsVersion Version() = 0;
  // True on 64-bit Windows, whatever the bitness of this process.
  virtual bool IsWindows64() = 0;
  // Milliseconds since Windows started, wrapping like GetTickCount.
  virtual uint32_t TickCount() = 0;
  // Host path of a known folder (on Windows the Windows path itself).
  virtual std::filesystem::path Folder(KnownFolder folder) = 0;
  // "C:" -> "\Device\HarddiskVolume3"; kErrorFileNotFound for no device.
  virtual Result<std::string> DosDeviceName(std::string_view drive) = 0;
  virtual uint64_t TotalMemory() = 0;
  virtual std::string ComputerName() = 0;
  virtual std::string UserName() = 0;
  virtual LocaleInfo Locale() = 0;
  // The current time in the user's time zone.
  virtual LocalTime LocalNow() = 0;
  // The system's message text for an error code in the user's language,
  // as FormatMessage returns it (trailing full stop and line break
  // included); empty for a code the system has no text for.
  virtual std::string ErrorText(uint32_t code) = 0;

  // Windows paths in data ("C:\Windows\INF\oem3.inf") to host paths and
  // back. Identity on Windows; onto the machine's drive C when simulated.
  virtual std::filesystem::path HostPath(std::string_view windows_path) = 0;
  virtual std::string WindowsPath(const std::filesystem::path& host_path) = 0;

 protected:
  SystemInfo() = default;
};

}  // namespace vx::platform
