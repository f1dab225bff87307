// Runs natively against the simulated hive and under Wine against the real
// registry functions.
#include "common/settings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>

#include "common/date_time.h"
#include "common/ini_file.h"
#include "common/locale_format.h"
#include "common/logger.h"
#include "common/params.h"
#include "common/tray.h"
#include "platform/platform.h"
#include "support/test_machine.h"
#ifndef _WIN32
#include "platform/sim/desktop.h"
#include "platform/sim/machine.h"
#endif

namespace vx {
namespace {

namespace fs = std::filesystem;
using platform::RegRoot;
using platform::RegValue;

constexpr RegRoot kCu = RegRoot::kCurrentUser;
constexpr std::string_view kTestKey = "SOFTWARE\\VantrixTest\\Settings";

std::string Raw8(double d) {
  std::string out(8, '\0');
  std::memcpy(out.data(), &d, 8);  // x86 and x86_64 are little-endian, as Windows is
  return out;
}

class SettingsTest : public test::MachineFixture {
 protected:
  void SetUp() override {
    MachineFixture::SetUp();
    Clean();
  }
  void TearDown() override {
    Clean();
    MachineFixture::TearDown();
  }
  static void Clean() {
    platform::Reg().DeleteTree(kCu, "SOFTWARE\\VantrixTest");
    platform::Reg().DeleteTree(kSettingsRoot, kSettingsKey);
  }
  static void Put(std::string_view name, uint32_t type, std::string data) {
    ASSERT_EQ(
        platform::WriteRegValue(platform::Reg(), kCu, kTestKey, name, {type, std::move(data)}), 0u);
  }
};

TEST_F(SettingsTest, ValuesRoundTripInTheirTypes) {
  EXPECT_TRUE(RegWriteString(kCu, kTestKey, "Text", "Grüße"));
  EXPECT_TRUE(RegWriteInteger(kCu, kTestKey, "Number", -5));
  EXPECT_TRUE(RegWriteBool(kCu, kTestKey, "Flag", true));
  EXPECT_TRUE(RegWriteDateTime(kCu, kTestKey, "When", 45356.75));

  EXPECT_EQ(RegReadString(kCu, kTestKey, "text"), "Grüße");
  EXPECT_EQ(RegReadInteger(kCu, kTestKey, "Number"), -5);
  EXPECT_TRUE(RegReadBool(kCu, kTestKey, "Flag"));
  EXPECT_EQ(RegReadDateTime(kCu, kTestKey, "When"), 45356.75);

  auto flag = platform::Reg().OpenKey(kCu, kTestKey, false);
  ASSERT_TRUE(flag);
  EXPECT_EQ((*flag)->QueryValue("Flag")->type, platform::kRegDword);
  auto when = (*flag)->QueryValue("When");
  EXPECT_EQ(when->type, platform::kRegBinary);
  EXPECT_EQ(when->data, Raw8(45356.75));
}

TEST_F(SettingsTest, StringsAreTrimmedAndNotExpanded) {
  Put("Padded", platform::kRegSz, platform::EncodeRegString("  C:\\Drivers\\ \t"));
  Put("Expand", platform::kRegExpandSz, platform::EncodeRegString(" %SystemRoot%\\inf "));
  EXPECT_EQ(RegReadString(kCu, kTestKey, "Padded"), "C:\\Drivers\\");
  EXPECT_EQ(RegReadString(kCu, kTestKey, "Expand"), "%SystemRoot%\\inf");
  Put("AnyDword", platform::kRegDword, platform::EncodeRegDword(7));
  EXPECT_TRUE(RegReadBool(kCu, kTestKey, "AnyDword"));  // not only 1 is true
}

TEST_F(SettingsTest, WrongTypesReadAsTheirMissingValue) {
  Put("BoolAsText", platform::kRegSz, platform::EncodeRegString("1"));
  Put("IntAsText", platform::kRegSz, platform::EncodeRegString("42"));
  Put("IntAsQword", platform::kRegQword, platform::EncodeRegQword(42));
  Put("TextAsDword", platform::kRegDword, platform::EncodeRegDword(42));
  Put("TextAsMulti", platform::kRegMultiSz, platform::EncodeRegMultiString({"a", "b"}));
  Put("TimeAsDword", platform::kRegDword, platform::EncodeRegDword(42));
  Put("TimeTooShort", platform::kRegBinary, std::string("\x01\x02\x03\x04", 4));
  Put("TimeNaN", platform::kRegBinary, Raw8(std::numeric_limits<double>::quiet_NaN()));
  Put("FileTimeAsDword", platform::kRegDword, platform::EncodeRegDword(42));
  Put("FileTimeZero", platform::kRegBinary, std::string(8, '\0'));

  struct Case {
    const char* what;
    bool missing;
  } cases[] = {
      {"bool as text", !RegReadBool(kCu, kTestKey, "BoolAsText")},
      {"integer as text", RegReadInteger(kCu, kTestKey, "IntAsText") == 0},
      {"integer as qword", RegReadInteger(kCu, kTestKey, "IntAsQword") == 0},
      {"text as dword", RegReadString(kCu, kTestKey, "TextAsDword").empty()},
      {"text as multi-string", RegReadString(kCu, kTestKey, "TextAsMulti").empty()},
      {"time as dword", RegReadDateTime(kCu, kTestKey, "TimeAsDword") == 0},
      {"time of 4 bytes", RegReadDateTime(kCu, kTestKey, "TimeTooShort") == 0},
      {"time not a number", RegReadDateTime(kCu, kTestKey, "TimeNaN") == 0},
      {"file time as dword", RegReadFileTimeDate(kCu, kTestKey, "FileTimeAsDword").empty()},
      {"file time zero", RegReadFileTimeDate(kCu, kTestKey, "FileTimeZero").empty()},
  };
  for (const auto& c : cases) EXPECT_TRUE(c.missing) << c.what;
}

TEST_F(SettingsTest, MissingKeysAndValuesNeverFail) {
  const std::string nokey = std::string(kTestKey) + "\\Nope";
  std::vector<std::string> list{"stale"};
  EXPECT_EQ(RegKeyNames(kCu, nokey, list), 0);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(RegValueNames(kCu, nokey, list), 0);
  EXPECT_EQ(RegReadString(kCu, nokey, "X"), "");
  EXPECT_EQ(RegReadInteger(kCu, nokey, "X"), 0);
  EXPECT_FALSE(RegReadBool(kCu, nokey, "X"));
  EXPECT_EQ(RegReadDateTime(kCu, nokey, "X"), 0.0);
  EXPECT_EQ(RegReadFileTimeDate(kCu, nokey, "X"), "");
  EXPECT_FALSE(RegKeyExists(kCu, nokey));
  EXPECT_FALSE(RegHasSubKeys(kCu, nokey));
  EXPECT_FALSE(RegValueExists(kCu, nokey, "X"));
  EXPECT_FALSE(RegRemoveValue(kCu, nokey, "X"));
  EXPECT_FALSE(RegKeyExists(kCu, nokey));  // reading never creates the key
}

TEST_F(SettingsTest, KeysNamesAndDeletion) {
  RegWriteInteger(kCu, std::string(kTestKey) + "\\Child", "A", 1);
  RegWriteInteger(kCu, kTestKey, "B", 2);
  RegWriteInteger(kCu, kTestKey, "C", 3);
  std::vector<std::string> list;
  EXPECT_EQ(RegKeyNames(kCu, kTestKey, list), 1);
  EXPECT_EQ(list, std::vector<std::string>{"Child"});
  EXPECT_EQ(RegValueNames(kCu, kTestKey, list), 2);
  EXPECT_TRUE(RegHasSubKeys(kCu, kTestKey));
  EXPECT_FALSE(RegHasSubKeys(kCu, std::string(kTestKey) + "\\Child"));
  EXPECT_TRUE(RegValueExists(kCu, kTestKey, "b"));
  EXPECT_TRUE(RegRemoveValue(kCu, kTestKey, "B"));
  EXPECT_FALSE(RegValueExists(kCu, kTestKey, "B"));
  EXPECT_FALSE(RegRemoveValue(kCu, kTestKey, "B"));
}

TEST_F(SettingsTest, FileTimeReadsAsTheUsersShortDate) {
  // 2024-03-05 12:00 UTC: noon keeps the day in every time zone but the
  // most extreme ones.
  uint64_t ft = (1709640000ull + 11644473600ull) * 10000000ull;
  std::string raw(8, '\0');
  for (int i = 0; i < 8; ++i) raw[i] = static_cast<char>((ft >> (8 * i)) & 0xFF);
  Put("Stamp", platform::kRegBinary, raw);
  platform::LocalTime day;
  day.year = 2024, day.month = 3, day.day = 5, day.day_of_week = 2;
  EXPECT_EQ(RegReadFileTimeDate(kCu, kTestKey, "Stamp"),
            FormatDatePicture(LocaleOrDefault().short_date, day));
  if (platform::IsSimulated()) {
    EXPECT_EQ(RegReadFileTimeDate(kCu, kTestKey, "Stamp"), "3/5/2024");
  }
}

#ifndef _WIN32
TEST_F(SettingsTest, FailedWritesAreDroppedQuietly) {
  RegWriteInteger(kCu, kTestKey, "Kept", 1);
  sim::CurrentMachine()->hive().set_write_fault(kErrorAccessDenied);
  EXPECT_FALSE(RegWriteInteger(kCu, kTestKey, "Kept", 2));
  EXPECT_FALSE(RegWriteString(kCu, std::string(kTestKey) + "\\New", "X", "y"));
  EXPECT_FALSE(RegRemoveValue(kCu, kTestKey, "Kept"));
  sim::CurrentMachine()->hive().set_write_fault(0);
  EXPECT_EQ(RegReadInteger(kCu, kTestKey, "Kept"), 1);
}
#endif

// --- First start and start-up reading -------------------------------------

class StartupSettingsTest : public SettingsTest {
 protected:
  void SetUp() override {
    SettingsTest::SetUp();
    auto f = ComputeStartupFolders();
    input_.program_dir = f.program_dir;
    input_.data_dir = scratch_.path();  // no database yet
    input_.default_backup_dir = f.default_backup_dir;
    input_.default_download_dir = f.default_download_dir;
    input_.set_tray_startup = [this] { ++tray_startup_calls_; };
  }
  Preferences Start() { return LoadStartupSettings(input_); }
  static int32_t I(std::string_view n) { return RegReadInteger(kSettingsRoot, kSettingsKey, n); }
  static bool B(std::string_view n) { return RegReadBool(kSettingsRoot, kSettingsKey, n); }
  static std::string S(std::string_view n) { return RegReadString(kSettingsRoot, kSettingsKey, n); }
  static double T(std::string_view n) { return RegReadDateTime(kSettingsRoot, kSettingsKey, n); }
  static bool Has(std::string_view n) { return RegValueExists(kSettingsRoot, kSettingsKey, n); }

  test::TempDir scratch_;
  StartupSettingsInput input_;
  int tray_startup_calls_ = 0;
};

TEST_F(StartupSettingsTest, FirstStartWritesEveryDefault) {
  const double before = NowDateTime();
  Preferences p = Start();
  const double after = NowDateTime();
  EXPECT_TRUE(p.first_start);
  EXPECT_EQ(p.app_start, 1);

  struct IntCase {
    const char* name;
    int32_t value;
  } ints[] = {{"AppStart", 1},         {"Language", 1},
              {"nDownloads", 3},       {"s_Mode", 0},
              {"s_SmartMode", 0},      {"UpdateWindowShown", 0},
              {"s_Enable", 0},         {"s_SmartScan", 1},
              {"s_SmartExec", 0},      {"UseProxy", 0},
              {"StartWithWindows", 0}, {"TrayNotification", 1},
              {"InstallStat", 0},      {"ShowRebootMessage", 1},
              {"ShowSRPMessage", 1},   {"ShowAlertMessages", 1},
              {"ForceUpdate", 0},      {"ShowUpdateWindow", 0}};
  for (const auto& c : ints) {
    EXPECT_TRUE(Has(c.name)) << c.name;
    EXPECT_EQ(I(c.name), c.value) << c.name;
  }
  for (const char* name : {"ProxyAddress", "ProxyPort", "ProxyLogin", "ProxyPassword"}) {
    EXPECT_TRUE(Has(name)) << name;
    EXPECT_EQ(S(name), "") << name;
  }
  EXPECT_EQ(S("BackupPath"), FolderText(input_.default_backup_dir));
  EXPECT_EQ(S("DownloadPath"), FolderText(input_.default_download_dir));
  EXPECT_EQ(S("BackupPath").back(), '\\');
  std::string date = S("InstallationDate");
  EXPECT_TRUE(date == FormatMmDdYyyy(before) || date == FormatMmDdYyyy(after)) << date;
  for (const char* name : {"LastUpdate", "LastDatabaseCheck", "s_Time", "DatabaseDate"}) {
    EXPECT_GE(T(name), before - 1e-6) << name;  // no database file: now
    EXPECT_LE(T(name), after + 1e-6) << name;
  }
  EXPECT_NEAR(T("s_SmartDate"), T("s_Time") - 1.0, 1e-6);
  for (const char* name :
       {"ShowFeedbackMessage", "s_Exec", "ScanExecuted", "LastScan", "TotalDrivers", "ExtraStat"})
    EXPECT_FALSE(Has(name)) << name;  // written by their owners only

  EXPECT_EQ(p.backup_dir, input_.default_backup_dir);
  EXPECT_EQ(p.download_dir, input_.default_download_dir);
  EXPECT_EQ(p.n_downloads, 3);
  EXPECT_TRUE(p.s_smart_scan);
  EXPECT_FALSE(p.s_enable);
  EXPECT_TRUE(p.tray_notification && p.show_alert_messages && p.show_reboot_message);
  EXPECT_EQ(tray_startup_calls_, 1);  // the smart scan is on by default
}

TEST_F(StartupSettingsTest, LaterStartsKeepPreferencesAndCount) {
  Start();
  RegWriteInteger(kSettingsRoot, kSettingsKey, "nDownloads", 5);
  RegWriteString(kSettingsRoot, kSettingsKey, "ProxyAddress", " proxy.lan ");
  RegWriteBool(kSettingsRoot, kSettingsKey, "s_SmartScan", false);
  RegWriteDateTime(kSettingsRoot, kSettingsKey, "LastUpdate", 40000.5);
  Preferences p = Start();
  EXPECT_FALSE(p.first_start);
  EXPECT_EQ(p.app_start, 2);
  EXPECT_EQ(I("AppStart"), 2);
  EXPECT_EQ(p.n_downloads, 5);
  EXPECT_EQ(p.proxy_address, "proxy.lan");
  EXPECT_FALSE(p.s_smart_scan);
  EXPECT_EQ(p.last_update, 40000.5);
  EXPECT_EQ(tray_startup_calls_, 1);  // all three options are off now
  EXPECT_EQ(Start().app_start, 3);
}

TEST_F(StartupSettingsTest, AppStartNotAboveZeroResetsEverythingButLanguage) {
  struct Case {
    const char* what;
    std::function<void()> spoil;
  } cases[] = {
      {"deleted", [] { RegRemoveValue(kSettingsRoot, kSettingsKey, "AppStart"); }},
      {"zero", [] { RegWriteInteger(kSettingsRoot, kSettingsKey, "AppStart", 0); }},
      {"negative", [] { RegWriteInteger(kSettingsRoot, kSettingsKey, "AppStart", -3); }},
      {"stored as text", [] { RegWriteString(kSettingsRoot, kSettingsKey, "AppStart", "7"); }},
  };
  for (const auto& c : cases) {
    Start();
    Start();
    RegWriteInteger(kSettingsRoot, kSettingsKey, "nDownloads", 1);
    RegWriteBool(kSettingsRoot, kSettingsKey, "UseProxy", true);
    RegWriteInteger(kSettingsRoot, kSettingsKey, "Language", 4);
    c.spoil();
    Preferences p = Start();
    EXPECT_TRUE(p.first_start) << c.what;
    EXPECT_EQ(I("AppStart"), 1) << c.what;
    EXPECT_EQ(p.n_downloads, 3) << c.what;
    EXPECT_FALSE(p.use_proxy) << c.what;
    EXPECT_EQ(I("Language"), 4) << c.what;
  }
}

TEST_F(StartupSettingsTest, LanguageIsNeverOverwritten) {
  RegWriteInteger(kSettingsRoot, kSettingsKey, "Language", 7);
  Start();
  EXPECT_EQ(I("Language"), 7);
  RegRemoveValue(kSettingsRoot, kSettingsKey, "AppStart");
  Start();
  EXPECT_EQ(I("Language"), 7);
}

TEST_F(StartupSettingsTest, EmptyOrZeroPreferencesKeepTheDefaults) {
  Start();
  RegWriteString(kSettingsRoot, kSettingsKey, "BackupPath", "   ");
  RegWriteString(kSettingsRoot, kSettingsKey, "DownloadPath", "");
  RegWriteInteger(kSettingsRoot, kSettingsKey, "nDownloads", 0);
  Preferences p = Start();
  EXPECT_EQ(p.backup_dir, input_.default_backup_dir);
  EXPECT_EQ(p.download_dir, input_.default_download_dir);
  EXPECT_EQ(p.n_downloads, kDefaultDownloads);

  // Values the settings page cannot produce stay within what it offers.
  RegWriteInteger(kSettingsRoot, kSettingsKey, "nDownloads", 99);
  EXPECT_EQ(Start().n_downloads, kMaxDownloads);
  RegWriteInteger(kSettingsRoot, kSettingsKey, "nDownloads", -2);
  EXPECT_EQ(Start().n_downloads, 1);

  std::string custom =
      FolderText(platform::Sys().Folder(platform::KnownFolder::kDocuments)) + "My Backups\\";
  RegWriteString(kSettingsRoot, kSettingsKey, "BackupPath", custom);
  EXPECT_EQ(FolderText(Start().backup_dir), custom);
}

TEST_F(StartupSettingsTest, DatabaseDateIsTheDayOfTheThirtyTwoBitDatabase) {
  using namespace std::chrono;
  auto stamp = [](fs::path p, sys_days day) {
    std::ofstream(p) << "db";
    fs::last_write_time(p, file_clock::from_sys(sys_seconds(day + hours(12))));
  };
  stamp(scratch_.path() / "Drivers64.db", sys_days(year{2021} / 6 / 1));
  stamp(scratch_.path() / "Drivers32.db", sys_days(year{2020} / 1 / 15));
  Start();
  EXPECT_EQ(FormatMmDdYyyy(T("DatabaseDate")), "01-15-2020");
  EXPECT_EQ(T("DatabaseDate"), std::floor(T("DatabaseDate")));  // the day, no time
  fs::remove(scratch_.path() / "Drivers32.db");
  RegRemoveValue(kSettingsRoot, kSettingsKey, "AppStart");
  Start();
  EXPECT_EQ(FormatMmDdYyyy(T("DatabaseDate")), "06-01-2021");
}

// The write-back rule every INI file of the program follows, with the
// numbered messages of operations that save several files.
TEST_F(StartupSettingsTest, FailedIniWriteIsRetriedOnceAfterASecond) {
  test::TempDir logs;
  StartLog(logs.path());
  std::ofstream(scratch_.path() / "blocker") << "a file, not a folder";
  IniFile ini;
  ini.SetFileName(scratch_.path() / "blocker" / "Scan.ini");
  ini.WriteString("Scan", "Devices", "3");
  std::vector<std::chrono::milliseconds> waits;
  ini.SetRetryWait([&](std::chrono::milliseconds d) { waits.push_back(d); });
  BeginLogCapture();
  EXPECT_FALSE(ini.UpdateFile(IniUpdateLog::Numbered("GenerateDriverResult", 2)));
  auto lines = EndLogCapture();
  StopLog();
  EXPECT_EQ(waits, std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(1000)});
  auto count = [&](std::string_view needle) {
    int n = 0;
    for (const auto& l : lines)
      if (l.find(needle) != std::string::npos &&
          l.find("GenerateDriverResult") != std::string::npos)
        ++n;
    return n;
  };
  EXPECT_EQ(count("Ini.UpdateFile fail 2.2"), 1);
  EXPECT_EQ(count("Ini.UpdateFile fail 2 "), 1);  // the first attempt's message
  EXPECT_FALSE(fs::exists(scratch_.path() / "blocker" / "Scan.ini"));
}

#ifndef _WIN32
TEST_F(StartupSettingsTest, ScheduledScanStartsTheTrayProgramUnlessItRuns) {
  Start();
  RegWriteBool(kSettingsRoot, kSettingsKey, "s_Enable", true);
  sim::Desktop desktop(*sim::CurrentMachine());

  Start();  // no tray program in the program folder
  EXPECT_TRUE(desktop.Started().empty());

  std::ofstream(TrayProgramPath(input_.program_dir)) << "stands for the tray program";
  Start();
  ASSERT_EQ(desktop.Started().size(), 1u);
  EXPECT_EQ(desktop.Started()[0].program, "C:\\Program Files (x86)\\Vantrix\\RUVodo.exe");

  ASSERT_TRUE(desktop.OpenWindow("TForm1", "RUVodo", 0));
  Start();
  EXPECT_EQ(desktop.Started().size(), 1u);  // already running
}
#endif

}  // namespace
}  // namespace vx
