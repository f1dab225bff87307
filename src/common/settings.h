// The settings store: the per-user key HKEY_CURRENT_USER "SOFTWARE\Vantrix"
// and the small family of registry functions every part of the program
// reaches it through. Each call opens its own short-lived key, does one
// thing and closes it; none throws. Missing, mistyped or unreadable values
// read as 0, false, an empty text or time 0, and writes that cannot open or
// create the key are dropped (the bool results say whether it happened).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace vx {

using platform::RegRoot;

inline constexpr RegRoot kSettingsRoot = RegRoot::kCurrentUser;
inline constexpr std::string_view kSettingsKey = "SOFTWARE\\Vantrix";

// Sub-key / value names into list (emptied first); their number, 0 when the
// key cannot be opened.
int RegKeyNames(RegRoot root, std::string_view key, std::vector<std::string>& list);
int RegValueNames(RegRoot root, std::string_view key, std::vector<std::string>& list);

// REG_SZ or REG_EXPAND_SZ (not expanded), trimmed of blanks at both ends.
std::string RegReadString(RegRoot root, std::string_view key, std::string_view name);
// A REG_BINARY FILETIME as a local date in the user's short date format;
// empty when absent, zero, of another type or outside years 1 to 9999.
std::string RegReadFileTimeDate(RegRoot root, std::string_view key, std::string_view name);
// REG_DWORD as a signed 32-bit number.
int32_t RegReadInteger(RegRoot root, std::string_view key, std::string_view name);
// A REG_DWORD other than 0.
bool RegReadBool(RegRoot root, std::string_view key, std::string_view name);
// A REG_BINARY of 8 bytes holding a finite date-time (common/date_time.h).
double RegReadDateTime(RegRoot root, std::string_view key, std::string_view name);

bool RegWriteString(RegRoot root, std::string_view key, std::string_view name,
                    std::string_view value);
bool RegWriteInteger(RegRoot root, std::string_view key, std::string_view name, int32_t value);
bool RegWriteBool(RegRoot root, std::string_view key, std::string_view name, bool value);
bool RegWriteDateTime(RegRoot root, std::string_view key, std::string_view name, double value);

bool RegKeyExists(RegRoot root, std::string_view key);
bool RegHasSubKeys(RegRoot root, std::string_view key);
bool RegValueExists(RegRoot root, std::string_view key, std::string_view name);
// Deletes the value; true when it was there and is gone. (Not called
// RegDeleteValue: <windows.h> turns that name into a macro in the GUI.)
bool RegRemoveValue(RegRoot root, std::string_view key, std::string_view name);

// --- First start and start-up reading -------------------------------------

// The user's preferences as the main window reads them at start-up.
struct Preferences {
  int app_start = 0;         // this start's number, 1 at the first start
  bool first_start = false;  // the first-start values were (re)written
  double last_update = 0;
  std::filesystem::path backup_dir;    // default unless "BackupPath" is set
  std::filesystem::path download_dir;  // default unless "DownloadPath" is set
  int n_downloads = 3;                 // 1 to 5
  bool use_proxy = false;
  std::string proxy_address, proxy_port, proxy_login, proxy_password;
  bool show_alert_messages = true;
  bool show_reboot_message = true;
  bool tray_notification = true;
  bool start_with_windows = false;
  bool s_enable = false;
  double s_time = 0;
  int s_mode = 0;
  bool s_smart_scan = true;
  int s_smart_mode = 0;
};

inline constexpr int kDefaultDownloads = 3;
inline constexpr int kMaxDownloads = 5;

struct StartupSettingsInput {
  std::filesystem::path program_dir;  // where the tray program lies
  std::filesystem::path data_dir;     // BaseDir, for the database's date
  std::filesystem::path default_backup_dir;
  std::filesystem::path default_download_dir;
  // Installs the tray program's start-up entry; called when one of
  // "s_Enable", "s_SmartScan", "StartWithWindows" is on.
  std::function<void()> set_tray_startup;
};

// Runs once while the main window is created: counts the start, writes the
// first-start values when "AppStart" is missing or not above 0 ("Language"
// only when absent), reads the preferences, and then installs the tray
// program's start-up entry and starts the tray program as they ask.
Preferences LoadStartupSettings(const StartupSettingsInput& input);

}  // namespace vx
