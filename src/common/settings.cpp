#include "common/settings.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <exception>

#include "common/date_time.h"
#include "common/logger.h"
#include "common/params.h"
#include "common/text.h"
#include "common/tray.h"
#include "platform/platform.h"

namespace vx {

namespace fs = std::filesystem;
using platform::RegKey;
using platform::RegValue;

namespace {

// Every function of the family catches what the layers below may throw
// (allocation failures in practice) and answers with its "missing" value.
template <class T, class F>
T Guarded(std::string_view tag, T fallback, F&& body) {
  try {
    return body();
  } catch (const std::exception& e) {
    LogError(tag, "Common error", e.what());
  } catch (...) {
    LogError(tag, "Common error");
  }
  return fallback;
}

Result<RegValue> Query(RegRoot root, std::string_view key, std::string_view name) {
  auto k = platform::Reg().OpenKey(root, key, false);
  if (!k) return Result<RegValue>::Fail(k.error());
  return (*k)->QueryValue(name);
}

bool Write(RegRoot root, std::string_view key, std::string_view name, const RegValue& value) {
  auto k = platform::Reg().CreateKey(root, key);
  return k && (*k)->SetValue(name, value) == kErrorSuccess;
}

uint64_t LittleEndian64(std::string_view data) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(data[i]);
  return v;
}

std::string Bytes64(uint64_t v) {
  std::string out(8, '\0');
  for (int i = 0; i < 8; ++i) out[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return out;
}

int Names(RegRoot root, std::string_view key, std::vector<std::string>& list, bool sub_keys) {
  list.clear();
  auto k = platform::Reg().OpenKey(root, key, false);
  if (!k) return 0;
  auto names = sub_keys ? (*k)->SubKeyNames() : (*k)->ValueNames();
  if (!names) return 0;
  list = std::move(*names);
  return static_cast<int>(list.size());
}

}  // namespace

int RegKeyNames(RegRoot root, std::string_view key, std::vector<std::string>& list) {
  return Guarded("RegKeyNames", 0, [&] { return Names(root, key, list, true); });
}

int RegValueNames(RegRoot root, std::string_view key, std::vector<std::string>& list) {
  return Guarded("RegValueNames", 0, [&] { return Names(root, key, list, false); });
}

std::string RegReadString(RegRoot root, std::string_view key, std::string_view name) {
  return Guarded("RegReadString", std::string(), [&] {
    auto v = Query(root, key, name);
    if (!v || (v->type != platform::kRegSz && v->type != platform::kRegExpandSz))
      return std::string();
    return Trim(platform::DecodeRegString(v->data));
  });
}

std::string RegReadFileTimeDate(RegRoot root, std::string_view key, std::string_view name) {
  return Guarded("RegReadFileTimeDate", std::string(), [&] {
    auto v = Query(root, key, name);
    if (!v || v->type != platform::kRegBinary || v->data.size() != 8) return std::string();
    uint64_t file_time = LittleEndian64(v->data);
    if (file_time == 0) return std::string();
    return FormatShortDate(LocalDateTimeFromFileTime(file_time));
  });
}

int32_t RegReadInteger(RegRoot root, std::string_view key, std::string_view name) {
  return Guarded("RegReadInteger", int32_t{0}, [&] {
    auto v = Query(root, key, name);
    if (!v || v->type != platform::kRegDword || v->data.size() < 4) return int32_t{0};
    uint32_t d = 0;
    for (int i = 3; i >= 0; --i) d = (d << 8) | static_cast<unsigned char>(v->data[i]);
    return static_cast<int32_t>(d);
  });
}

bool RegReadBool(RegRoot root, std::string_view key, std::string_view name) {
  return RegReadInteger(root, key, name) != 0;
}

double RegReadDateTime(RegRoot root, std::string_view key, std::string_view name) {
  return Guarded("RegReadDateTime", 0.0, [&] {
    auto v = Query(root, key, name);
    if (!v || v->type != platform::kRegBinary || v->data.size() != 8) return 0.0;
    uint64_t bits = LittleEndian64(v->data);
    double d = 0;
    std::memcpy(&d, &bits, sizeof d);
    // A NaN or infinity would poison every comparison made with it.
    return std::isfinite(d) ? d : 0.0;
  });
}

bool RegWriteString(RegRoot root, std::string_view key, std::string_view name,
                    std::string_view value) {
  return Guarded("RegWriteString", false, [&] {
    return Write(root, key, name, {platform::kRegSz, platform::EncodeRegString(value)});
  });
}

bool RegWriteInteger(RegRoot root, std::string_view key, std::string_view name, int32_t value) {
  return Guarded("RegWriteInteger", false, [&] {
    return Write(root, key, name,
                 {platform::kRegDword, platform::EncodeRegDword(static_cast<uint32_t>(value))});
  });
}

bool RegWriteBool(RegRoot root, std::string_view key, std::string_view name, bool value) {
  return RegWriteInteger(root, key, name, value ? 1 : 0);
}

bool RegWriteDateTime(RegRoot root, std::string_view key, std::string_view name, double value) {
  return Guarded("RegWriteDateTime", false, [&] {
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return Write(root, key, name, {platform::kRegBinary, Bytes64(bits)});
  });
}

bool RegKeyExists(RegRoot root, std::string_view key) {
  return Guarded("RegKeyExists", false,
                 [&] { return platform::Reg().OpenKey(root, key, false).ok(); });
}

bool RegHasSubKeys(RegRoot root, std::string_view key) {
  std::vector<std::string> names;
  return RegKeyNames(root, key, names) > 0;
}

bool RegValueExists(RegRoot root, std::string_view key, std::string_view name) {
  return Guarded("RegValueExists", false, [&] { return Query(root, key, name).ok(); });
}

bool RegRemoveValue(RegRoot root, std::string_view key, std::string_view name) {
  return Guarded("RegRemoveValue", false, [&] {
    auto k = platform::Reg().OpenKey(root, key, true);
    return k && (*k)->DeleteValue(name) == kErrorSuccess;
  });
}

// --- First start and start-up reading -------------------------------------

namespace {

// The settings key's value names, in one place so a typo cannot split a
// setting into two.
namespace names {
constexpr std::string_view kAppStart = "AppStart", kLanguage = "Language",
                           kInstallationDate = "InstallationDate", kDatabaseDate = "DatabaseDate",
                           kLastDatabaseCheck = "LastDatabaseCheck", kLastUpdate = "LastUpdate",
                           kForceUpdate = "ForceUpdate", kShowUpdateWindow = "ShowUpdateWindow",
                           kUpdateWindowShown = "UpdateWindowShown", kBackupPath = "BackupPath",
                           kDownloadPath = "DownloadPath", kNDownloads = "nDownloads",
                           kInstallStat = "InstallStat", kStartWithWindows = "StartWithWindows",
                           kTrayNotification = "TrayNotification",
                           kShowRebootMessage = "ShowRebootMessage",
                           kShowSrpMessage = "ShowSRPMessage",
                           kShowAlertMessages = "ShowAlertMessages", kSEnable = "s_Enable",
                           kSMode = "s_Mode", kSTime = "s_Time", kSSmartScan = "s_SmartScan",
                           kSSmartMode = "s_SmartMode", kSSmartExec = "s_SmartExec",
                           kSSmartDate = "s_SmartDate", kUseProxy = "UseProxy",
                           kProxyAddress = "ProxyAddress", kProxyPort = "ProxyPort",
                           kProxyLogin = "ProxyLogin", kProxyPassword = "ProxyPassword";
}  // namespace names

std::string ReadS(std::string_view name) {
  return RegReadString(kSettingsRoot, kSettingsKey, name);
}
int32_t ReadI(std::string_view name) { return RegReadInteger(kSettingsRoot, kSettingsKey, name); }
bool ReadB(std::string_view name) { return RegReadBool(kSettingsRoot, kSettingsKey, name); }
double ReadT(std::string_view name) { return RegReadDateTime(kSettingsRoot, kSettingsKey, name); }
void WriteS(std::string_view name, std::string_view v) {
  RegWriteString(kSettingsRoot, kSettingsKey, name, v);
}
void WriteI(std::string_view name, int32_t v) {
  RegWriteInteger(kSettingsRoot, kSettingsKey, name, v);
}
void WriteB(std::string_view name, bool v) { RegWriteBool(kSettingsRoot, kSettingsKey, name, v); }
void WriteT(std::string_view name, double v) {
  RegWriteDateTime(kSettingsRoot, kSettingsKey, name, v);
}

// The driver database's age as the first start sees it: the 32-bit file,
// else the 64-bit one, else now.
double DatabaseDate(const fs::path& data_dir) {
  for (const char* file : {"Drivers32.db", "Drivers64.db"}) {
    std::error_code ec;
    fs::path p = data_dir / file;
    if (!data_dir.empty() && fs::is_regular_file(p, ec)) {
      double stamp = FileModifiedDateTime(p);
      if (stamp != 0) return DateOf(stamp);
    }
  }
  return NowDateTime();
}

void WriteFirstStartValues(const StartupSettingsInput& in) {
  using namespace names;
  const double now = NowDateTime();
  WriteS(kInstallationDate, FormatMmDdYyyy(now));
  WriteT(kDatabaseDate, DatabaseDate(in.data_dir));
  WriteT(kLastDatabaseCheck, now);
  WriteT(kLastUpdate, now);
  WriteB(kForceUpdate, false);
  WriteB(kShowUpdateWindow, false);
  WriteI(kUpdateWindowShown, 0);
  WriteS(kBackupPath, FolderText(in.default_backup_dir));
  WriteS(kDownloadPath, FolderText(in.default_download_dir));
  WriteI(kNDownloads, kDefaultDownloads);
  WriteB(kInstallStat, false);
  WriteB(kStartWithWindows, false);
  WriteB(kTrayNotification, true);
  WriteB(kShowRebootMessage, true);
  WriteB(kShowSrpMessage, true);
  WriteB(kShowAlertMessages, true);
  WriteB(kSEnable, false);
  WriteI(kSMode, 0);
  WriteT(kSTime, now);
  WriteB(kSSmartScan, true);
  WriteI(kSSmartMode, 0);
  WriteB(kSSmartExec, false);
  WriteT(kSSmartDate, now - 1.0);
  WriteB(kUseProxy, false);
  WriteS(kProxyAddress, "");
  WriteS(kProxyPort, "");
  WriteS(kProxyLogin, "");
  WriteS(kProxyPassword, "");
}

fs::path FolderOrDefault(std::string_view name, const fs::path& fallback) {
  std::string text = ReadS(name);
  if (text.empty()) return fallback;
  // The stored form ends with "\"; the folders the program passes around
  // do not, whichever backend maps the text.
  while (text.size() > 3 && (text.back() == '\\' || text.back() == '/')) text.pop_back();
  return platform::Sys().HostPath(text);
}

Preferences ReadPreferences(const StartupSettingsInput& in) {
  using namespace names;
  Preferences p;
  p.last_update = ReadT(kLastUpdate);
  p.backup_dir = FolderOrDefault(kBackupPath, in.default_backup_dir);
  p.download_dir = FolderOrDefault(kDownloadPath, in.default_download_dir);
  // 0 keeps the built-in value; anything outside what the settings page
  // offers would stall the queue (0 or less) or flood the server.
  if (int32_t n = ReadI(kNDownloads); n != 0) p.n_downloads = std::clamp(n, 1, kMaxDownloads);
  p.use_proxy = ReadB(kUseProxy);
  p.proxy_address = ReadS(kProxyAddress);
  p.proxy_port = ReadS(kProxyPort);
  p.proxy_login = ReadS(kProxyLogin);
  p.proxy_password = ReadS(kProxyPassword);
  p.show_alert_messages = ReadB(kShowAlertMessages);
  p.show_reboot_message = ReadB(kShowRebootMessage);
  p.tray_notification = ReadB(kTrayNotification);
  p.start_with_windows = ReadB(kStartWithWindows);
  p.s_enable = ReadB(kSEnable);
  p.s_time = ReadT(kSTime);
  p.s_mode = ReadI(kSMode);
  p.s_smart_scan = ReadB(kSSmartScan);
  p.s_smart_mode = ReadI(kSSmartMode);
  return p;
}

}  // namespace

Preferences LoadStartupSettings(const StartupSettingsInput& in) {
  using namespace names;
  try {
    int32_t stored = ReadI(kAppStart);
    bool first = stored <= 0;
    int32_t count = first ? 1 : (stored == INT32_MAX ? stored : stored + 1);
    if (first) {
      if (!RegValueExists(kSettingsRoot, kSettingsKey, kLanguage)) WriteI(kLanguage, 1);
      WriteFirstStartValues(in);
    }
    WriteI(kAppStart, count);

    Preferences p = ReadPreferences(in);
    p.app_start = count;
    p.first_start = first;

    if (TrayStartupWanted(p.s_enable, p.s_smart_scan, p.start_with_windows) && in.set_tray_startup)
      in.set_tray_startup();
    if (p.s_enable) StartTrayProgram(in.program_dir);
    return p;
  } catch (const std::exception& e) {
    LogError("LoadStartupSettings", "Common error", e.what());
  }
  Preferences fallback;
  fallback.backup_dir = in.default_backup_dir;
  fallback.download_dir = in.default_download_dir;
  return fallback;
}

}  // namespace vx
