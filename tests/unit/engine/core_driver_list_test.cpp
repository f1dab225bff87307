// The package lists built from hand-written pre-install records and status
// files, the state table, the title rules and damaged input files.
#include "engine/core_driver_list.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "common/locale_format.h"
#include "common/logger.h"
#include "common/text.h"
#include "engine/driver_utils.h"
#include "engine/package_status.h"
#include "engine/package_title.h"
#include "platform/platform.h"
#include "support/test_machine.h"

#ifndef _WIN32
#include <climits>
#include <map>

#include "common/ini_file.h"
#include "common/params.h"
#include "dbgen/dbgen_lib.h"
#include "engine/core_devices.h"
#include "engine/core_result.h"
#include "engine/driver_database.h"
#include "engine/scan_snapshot.h"
#endif

namespace vx {
namespace {
namespace fs = std::filesystem;

constexpr const char* kMediaGuid = "{4d36e96c-e325-11ce-bfc1-08002be10318}";
constexpr const char* kNetGuid = "{4d36e972-e325-11ce-bfc1-08002be10318}";
constexpr const char* kDisplayGuid = "{4d36e968-e325-11ce-bfc1-08002be10318}";

// A fixed moment: day 45000 (2023-03-15) at noon, Windows started an hour ago.
constexpr double kNow = 45000.5;
constexpr DriverListClock kClock{kNow, kNow - 1.0 / 24};

void WriteFile(const fs::path& path, std::string_view text) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// One device block of a pre-install record, as the scan writes it.
struct Device {
  std::string section = "1";
  std::string file = "0a1b_pkg.exe";
  std::string name = "Realtek High Definition Audio";
  std::string class_name = "MEDIA";
  std::string class_guid = kMediaGuid;
  std::string vendor = "Realtek";
  std::string description = "Realtek HD Audio Driver";
  std::string group = "Audio";
  bool connected = true;
  bool pending = false;
  std::string winner_description = "Winner device";
};

std::string PreText(const std::vector<Device>& devices, double generated = kNow - 0.01) {
  std::string t =
      "[Settings]\r\nBase=03-01-2023\r\nGenerated=" + std::to_string(generated) + "\r\n\r\n";
  for (const Device& d : devices) {
    t += "[" + d.section + "-scan]\r\n";
    if (!d.name.empty()) t += "DeviceName=" + d.name + "\r\n";
    t += "FName=" + d.file + "\r\nPackageName=" + PackageNameOf(d.file) + "\r\n";
    t += "Date1=01-02-2019\r\nDate2=06-30-2022\r\nVendor=" + d.vendor + "\r\n";
    t += "Version1=1.0.0.1\r\nVersion2=6.0.9.1\r\nDescription=" + d.description + "\r\n";
    t += "Class=Sound\r\nClassName=" + d.class_name + "\r\nClassGUID=" + d.class_guid + "\r\n";
    t += "IsConnected=" + std::string(d.connected ? "1" : "0") + "\r\n";
    t += "Md5Hash=0123abcd\r\nGroup=" + d.group + "\r\n";
    t += "IsPending=" + std::string(d.pending ? "1" : "0") + "\r\nIsSystemDriver=0\r\n\r\n";
    t += "[" + d.section + "]\r\nDeviceDescRaw=" + d.name + "\r\nCount=1\r\nWinner=0\r\n\r\n";
    t += "[" + d.section + "-drv-0]\r\nWinner=1\r\nDeviceDescription=" + d.winner_description +
         "\r\n\r\n";
  }
  return t;
}

std::string StatusText(std::string_view status, bool present, bool check_after_restart = false) {
  std::string t = "[Settings]\r\n";
  if (!status.empty()) t += "Status=" + std::string(status) + "\r\n";
  t += "Present=" + std::string(present ? "1" : "0") + "\r\n";
  if (check_after_restart) t += "CheckAfterRestart=1\r\n";
  return t;
}

// --- The state table --------------------------------------------------------

TEST(PackageState, DerivedInTheDocumentedTestOrder) {
  struct Case {
    const char* status;
    bool check_after_restart;
    PackageState expected;
  };
  const Case cases[] = {
      // An empty status is tested first: the restart flag cannot lift it.
      {"", false, kPackageNew},
      {"", true, kPackageNew},
      {"  ", true, kPackageNew},
      // "Installed" beats the restart flag.
      {"Installed", false, kPackageInstalled},
      {"Installed", true, kPackageInstalled},
      // The restart flag beats every other word.
      {"Pending", true, kPackageCheckAfterRestart},
      {"Downloaded", true, kPackageCheckAfterRestart},
      {"None", true, kPackageCheckAfterRestart},
      {"New", true, kPackageCheckAfterRestart},
      {"Pending", false, kPackagePending},
      {"Downloaded", false, kPackageDownloaded},
      {"None", false, kPackageNew},
      {"New", false, kPackageNew},
      {"Gibberish", false, kPackageNew},
      {"downloaded", false, kPackageDownloaded},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StateFromStatus(c.status, c.check_after_restart), c.expected)
        << "'" << c.status << "' restart=" << c.check_after_restart;
  }
}

TEST(PackageState, StatusFileDamageGivesDefinedValues) {
  test::TempDir dir;
  struct Case {
    const char* name;
    bool exists;
    std::string text;
    bool found;
    PackageState state;
    bool present;
    double day;
  };
  const Case cases[] = {
      {"missing", false, "", false, kPackageNew, true, 45000},
      {"empty", true, "", true, kPackageNew, true, 45000},
      {"truncated", true, "[Settings]\r\nStat", true, kPackageNew, true, 45000},
      {"no section", true, "Status=Installed\r\n", true, kPackageNew, true, 45000},
      {"contradictory", true,
       "[Settings]\r\nStatus=Installed\r\nCheckAfterRestart=1\r\nPresent=0\r\n", true,
       kPackageInstalled, false, 45000},
      {"bad day", true, "[Settings]\r\nStatus=Downloaded\r\nDownloaded=soon\r\n", true,
       kPackageDownloaded, true, 45000},
      {"day out of range", true, "[Settings]\r\nStatus=Downloaded\r\nDownloaded=-7\r\n", true,
       kPackageDownloaded, true, 45000},
      {"downloaded day", true, "[Settings]\r\nStatus=Downloaded\r\nDownloaded=44990\r\n", true,
       kPackageDownloaded, true, 44990},
      {"binary", true, std::string("\x01\xff\xfe\x00[Settings", 13), true, kPackageNew, true,
       45000},
  };
  for (const Case& c : cases) {
    const fs::path file = dir.path() / (std::string(c.name) + ".status");
    if (c.exists) WriteFile(file, c.text);
    const PackageStatus s = ReadPackageStatus(file, 45000);
    EXPECT_EQ(s.file_found, c.found) << c.name;
    EXPECT_EQ(s.state, c.state) << c.name;
    EXPECT_EQ(s.present, c.present) << c.name;
    EXPECT_EQ(s.download_day, c.day) << c.name;
  }
}

// --- Titles -----------------------------------------------------------------

TEST(PackageTitle, CleanTitleRules) {
  struct Case {
    const char* text;
    const char* vendor;
    const char* expected;
  };
  const Case cases[] = {
      {"Intel(R) Management Engine Interface", "Intel", "Management Engine Interface"},
      {"Realtek(TM) PCIe GBE Family Controller", "Realtek", "PCIe GBE Family Controller"},
      {"NVIDIA GeForce GTX 1060 Driver", "NVIDIA", "GeForce GTX 1060"},
      {"Realtek Audio Driver Package", "Realtek", "Audio Package"},
      {"Realtek audio driver", "Realtek", "audio"},
      {"Chipset drivers", "Intel", "Chipset drivers"},  // a longer word is not clipped
      {"intel(r) Serial IO", "INTEL", "Serial IO"},
      {"Logitech  USB   Receiver ", "HP", "Logitech USB Receiver"},
      {"Realtek", "Realtek", "Realtek"},  // the vendor alone is kept
      {"", "Intel", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CleanTitle(c.text, c.vendor), c.expected) << c.text;
  }
}

TEST(PackageTitle, DisplayVendor) {
  EXPECT_EQ(DisplayVendor("Hewlett-Packard"), "HP");
  EXPECT_EQ(DisplayVendor("Advanced Micro Devices, Inc."), "AMD");
  EXPECT_EQ(DisplayVendor("NVIDIA Corporation"), "NVIDIA");
  EXPECT_EQ(DisplayVendor("INTEL"), "Intel");
  EXPECT_EQ(DisplayVendor("Realtek Semiconductor Corp."), "Realtek");
  EXPECT_EQ(DisplayVendor(""), "");
}

TEST(PackageTitle, CommonWordsForIntelLeaveTheVendorOut) {
  const std::vector<std::string> names = {
      "Intel(R) Management Engine Interface Alpha Bravo",
      "Intel(R) Management Engine Interface Charlie Delta",
  };
  const std::vector<TWordInfo> words = CountCommonWords(names, "Intel");
  ASSERT_GE(words.size(), 3u);
  EXPECT_EQ(words[0].word, "Management");
  EXPECT_EQ(words[0].position, 2);
  EXPECT_EQ(words[0].count, 2);
  for (const TWordInfo& w : words) EXPECT_NE(w.lower, "intel");
  EXPECT_EQ(CommonWordsTitle(names, "Intel"), "Management Engine Interface");
}

TEST(PackageTitle, FallbackOfSixtyCharactersIsCutTo47) {
  // Nothing shared: the names themselves, 30 + 2 + 28 = 60 characters.
  const std::vector<std::string> names = {"Alpha Bravo Charlie Delta Echo",
                                          "Foxtrot Golf Hotel India Jul"};
  const std::string full = "Alpha Bravo Charlie Delta Echo, Foxtrot Golf Hotel India Jul";
  ASSERT_EQ(full.size(), 60u);
  EXPECT_EQ(CommonWordsTitle(names, "Intel"), full.substr(0, 47) + "...");
}

TEST(PackageTitle, CutLongTitleBoundaries) {
  const std::string fifty(50, 'x');
  EXPECT_EQ(CutLongTitle(fifty), fifty);
  EXPECT_EQ(CutLongTitle(fifty + "y"), std::string(47, 'x') + "...");
  // Counted in UTF-16 units, never splitting a character.
  const std::string umlauts =
      std::string(46, 'a') + "\xC3\xBC\xC3\xBC\xC3\xBC" + std::string(10, 'b');
  EXPECT_EQ(CutLongTitle(umlauts), std::string(46, 'a') + "\xC3\xBC...");
  const std::string emoji = std::string(46, 'a') + "\xF0\x9F\x98\x80" + std::string(10, 'b');
  EXPECT_EQ(CutLongTitle(emoji), std::string(46, 'a') + "...");
}

// --- Lists over files -------------------------------------------------------

class DriverListTest : public test::MachineFixture {
 protected:
  void SetUp() override {
    test::MachineFixture::SetUp();
    StartLog(machine_dir() / "log");
    base_ = work_.path() / "base";
    downloads_ = work_.path() / "downloads";
    fs::create_directories(base_);
    fs::create_directories(downloads_);
  }
  void TearDown() override {
    StopLog();
    test::MachineFixture::TearDown();
  }

  void Package(std::string_view package, const std::vector<Device>& devices,
               std::string_view status_text) {
    WriteFile(PackagePrePath(base_, package), PreText(devices));
    WriteFile(PackageStatusPath(base_, package), status_text);
  }
  void Download(std::string_view package, std::string_view bytes = "PK") {
    WriteFile(downloads_ / std::string(package), bytes);
  }
  TDriversList& Build(TDriversList& list, DriverListKind kind) {
    list.SetDownloadFolder(downloads_);
    list.SetClock(kClock);
    list.ScanPreFiles(base_, kind);
    list.Sort();
    return list;
  }

  test::TempDir work_;
  fs::path base_, downloads_;
};

// Collects the log lines written while it lives.
class LogLines {
 public:
  LogLines() { BeginLogCapture(); }
  bool Has(std::string_view a, std::string_view b = {}) {
    if (!done_) {
      lines_ = EndLogCapture();
      done_ = true;
    }
    for (const std::string& l : lines_) {
      if (l.find(a) != std::string::npos && l.find(b) != std::string::npos) return true;
    }
    return false;
  }
  std::string Text() {
    Has("");
    std::string all;
    for (const std::string& l : lines_) all += l + "\n";
    return all;
  }
  ~LogLines() {
    if (!done_) EndLogCapture();
  }

 private:
  bool done_ = false;
  std::vector<std::string> lines_;
};

TEST_F(DriverListTest, InstalledPackageOnlyInHistoryWhileItsFileExists) {
  Package("pkg.exe", {Device{}}, StatusText("Installed", true));
  TDriversList result, history;
  EXPECT_TRUE(Build(result, DriverListKind::kResult).empty());
  EXPECT_TRUE(Build(history, DriverListKind::kHistory).empty());  // no file yet

  Download("pkg.exe");
  Build(history, DriverListKind::kHistory);
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].state, kPackageInstalled);
  EXPECT_EQ(history[0].package_name, "pkg.exe");
}

TEST_F(DriverListTest, PresenceAndStateDecideTheResultList) {
  struct Case {
    const char* status_text;
    size_t in_result;
  };
  const Case cases[] = {
      {"[Settings]\r\nStatus=None\r\nPresent=0\r\n", 0},
      {"[Settings]\r\nStatus=None\r\nPresent=1\r\n", 1},
      {"[Settings]\r\nStatus=Downloaded\r\nPresent=1\r\n", 1},
      {"[Settings]\r\nStatus=Pending\r\nPresent=1\r\n", 0},
      {"[Settings]\r\nStatus=New\r\nPresent=1\r\nCheckAfterRestart=1\r\n", 0},
      {"[Settings]\r\nStatus=None\r\n", 1},  // "Present" defaults to true
  };
  for (const Case& c : cases) {
    Package("pkg.exe", {Device{}}, c.status_text);
    TDriversList list;
    EXPECT_EQ(Build(list, DriverListKind::kResult).size(), c.in_result) << c.status_text;
  }
}

TEST_F(DriverListTest, PendingDeviceOfANewPackageLeavesTheResultList) {
  Device pending;
  pending.pending = true;
  Package("pkg.exe", {pending}, StatusText("None", true));
  TDriversList result;
  EXPECT_TRUE(Build(result, DriverListKind::kResult).empty());
  Download("pkg.exe");
  TDriversList history;
  Build(history, DriverListKind::kHistory);
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].state, kPackagePending);
}

TEST_F(DriverListTest, TwoDevicesOnePackageTakeTheDescriptionTitle) {
  Device a, b;
  a.name = "Realtek High Definition Audio";
  b.section = "7";
  b.name = "Realtek Digital Output";
  b.group = "Sound";
  Package("pkg.exe", {a, b}, StatusText("None", true));
  TDriversList list;
  Build(list, DriverListKind::kResult);
  ASSERT_EQ(list.size(), 1u);
  const TDriverPackageEntry& e = list[0];
  ASSERT_EQ(e.devices.size(), 2u);
  EXPECT_EQ(e.devices[0]->device_name, "Realtek High Definition Audio");
  EXPECT_EQ(e.devices[1]->device_name, "Realtek Digital Output");
  EXPECT_EQ(e.devices[0]->package, &e);
  EXPECT_EQ(e.Title(), "Realtek - HD Audio");
  EXPECT_EQ(e.groups_text, "Audio, Sound");
  // Every field of the entry and of a device.
  EXPECT_EQ(e.file_name, "0a1b_pkg.exe");
  EXPECT_EQ(e.package_name, "pkg.exe");
  EXPECT_EQ(e.description, "Realtek HD Audio Driver");
  EXPECT_EQ(e.md5_hash, "0123abcd");
  EXPECT_EQ(e.version, "6.0.9.1");
  EXPECT_EQ(e.vendor, "Realtek");
  const std::string picture = LocaleOrDefault().short_date;
  EXPECT_EQ(e.date,
            LocaliseDate("06-30-2022", picture.empty() ? kDefaultShortDateFormat : picture));
  EXPECT_EQ(e.devices[0]->date,
            LocaliseDate("01-02-2019", picture.empty() ? kDefaultShortDateFormat : picture));
  EXPECT_TRUE(e.present);
  EXPECT_TRUE(e.fresh);
  EXPECT_EQ(e.download_day, 45000);
  const TDeviceEntry& d = *e.devices[0];
  EXPECT_EQ(d.class_guid, kMediaGuid);
  EXPECT_EQ(d.class_name, "MEDIA");
  EXPECT_EQ(d.class_description, "Sound");
  EXPECT_EQ(d.version, "1.0.0.1");
  EXPECT_EQ(d.group, "Audio");
  EXPECT_TRUE(d.is_connected);
  EXPECT_FALSE(d.is_system_driver);
}

TEST_F(DriverListTest, IntelPackageWithoutDescriptionTakesCommonWords) {
  Device a, b;
  a.vendor = b.vendor = "INTEL";
  a.description = b.description = "";
  a.name = "Intel(R) Management Engine Interface Alpha Bravo";
  b.section = "2";
  b.name = "Intel(R) Management Engine Interface Charlie Delta";
  Package("pkg.exe", {a, b}, StatusText("None", true));
  TDriversList list;
  Build(list, DriverListKind::kResult);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].Title(), "Intel - Management Engine Interface");
}

TEST_F(DriverListTest, EmptyDeviceNameTakesTheWinnersDescription) {
  Device a;
  a.name = "";
  a.winner_description = "USB Composite Device";
  a.vendor = "";
  Package("pkg.exe", {a}, StatusText("None", true));
  TDriversList list;
  Build(list, DriverListKind::kResult);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].devices[0]->device_name, "USB Composite Device");
  EXPECT_EQ(list[0].Title(), "USB Composite Device");  // no vendor, no stray dash
}

TEST_F(DriverListTest, SortKeysAndPageOrder) {
  struct Case {
    const char* class_name;
    PackageState state;
    bool present;
    bool connected;
    int key;
  };
  const Case cases[] = {
      {"Display", kPackageNew, true, true, 5},
      {"video", kPackageNew, true, true, 1},
      {"MEDIA", kPackageDownloaded, true, false, 53},
      {"Net", kPackageNew, false, true, 4049},
      {"Net", kPackageNew, false, false, 4099},
      {"Display", kPackagePending, true, true, 405},
      {"Display", kPackageInstalled, false, true, 2305},
      {"Display", kPackageCheckAfterRestart, true, true, 205},
  };
  for (const Case& c : cases) {
    ScanSectionValues v;
    v.file_name = "x_pkg.exe";
    v.class_guid = kDisplayGuid;
    TExtraParams p;
    p.class_name = c.class_name;
    p.state = c.state;
    p.present = c.present;
    p.is_connected = c.connected;
    TDriverPackageEntry e(v, p, downloads_);
    e.AddDevice(v, p);
    EXPECT_EQ(e.SortKey(), c.key) << c.class_name << " state " << int(c.state);
  }

  Device audio, display, other;
  audio.file = "1_audio.exe";
  display.file = "2_display.exe";
  display.class_name = "Display";
  display.class_guid = kDisplayGuid;
  other.file = "3_net.exe";
  other.class_name = "Net";
  other.class_guid = kNetGuid;
  Package("audio.exe", {audio}, StatusText("None", true));
  Package("display.exe", {display}, StatusText("None", true));
  Package("net.exe", {other}, StatusText("None", true));
  TDriversList list;
  Build(list, DriverListKind::kResult);
  ASSERT_EQ(list.size(), 3u);
  // Descending keys; the pages show the list from its end.
  EXPECT_EQ(list[0].package_name, "net.exe");
  EXPECT_EQ(list[1].package_name, "display.exe");
  EXPECT_EQ(list[2].package_name, "audio.exe");
}

TEST_F(DriverListTest, PrincipalDeviceNeedsAMajorityClass) {
  if (!platform::IsSimulated()) GTEST_SKIP() << "class image indexes of the sample machine";
  auto make = [&](const std::vector<const char*>& guids) {
    auto e = std::make_unique<TDriverPackageEntry>(ScanSectionValues{}, TExtraParams{}, downloads_);
    for (const char* g : guids) {
      ScanSectionValues v;
      v.class_guid = g;
      v.device_name = g;
      e->AddDevice(v, TExtraParams{});
    }
    return e;
  };
  // One device, or two of different classes: the first device leads.
  EXPECT_EQ(make({kNetGuid})->PrincipalDevice()->class_guid, kNetGuid);
  EXPECT_EQ(make({kNetGuid, kMediaGuid})->PrincipalDevice()->class_guid, kNetGuid);
  // Three devices need all three in one class: two of three is no majority.
  auto split = make({kMediaGuid, kNetGuid, kMediaGuid});
  EXPECT_EQ(split->PrincipalDevice(), nullptr);
  EXPECT_EQ(split->IconIndex(), TDriverPackageEntry::kDefaultIconIndex);
  auto same = make({kMediaGuid, kMediaGuid, kMediaGuid});
  EXPECT_EQ(same->PrincipalDevice(), same->devices[0].get());
  EXPECT_EQ(same->IconIndex(), 0x13);  // the sample's image index of the MEDIA class
}

TEST_F(DriverListTest, UnknownClassIsLoggedAndTakesIconZero) {
  LogLines log;
  ScanSectionValues v;
  v.class_guid = "{00000000-0000-0000-0000-000000000001}";
  TDriverPackageEntry e(v, TExtraParams{}, downloads_);
  const TDeviceEntry& d = e.AddDevice(v, TExtraParams{});
  if (platform::IsSimulated()) {
    EXPECT_EQ(d.ClassImageIndex(), 0);
    EXPECT_TRUE(log.Has("TDeviceEntry.GetIcon", "SetupDiGetClassImageIndex fail"));
  } else {
    EXPECT_GE(d.ClassImageIndex(), 0);  // Wine may hand out a generic icon
  }
}

TEST_F(DriverListTest, FreshnessAndFileSize) {
  struct Case {
    double generated;
    bool fresh;
  };
  const Case cases[] = {
      {kNow - 0.01, true},  // after Windows started
      {kNow - 0.5, true},   // before it, but less than a day ago
      {kNow - 2, false},
      {0, false},
  };
  for (const Case& c : cases) {
    WriteFile(PackagePrePath(base_, "pkg.exe"), PreText({Device{}}, c.generated));
    WriteFile(PackageStatusPath(base_, "pkg.exe"), StatusText("Downloaded", true));
    TDriversList list;
    Build(list, DriverListKind::kResult);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].fresh, c.fresh) << c.generated;
    EXPECT_EQ(list[0].IsFreshAndNotInstalled(), c.fresh) << c.generated;
    EXPECT_EQ(list[0].FileSize(), 1u);  // not downloaded
  }
  Download("pkg.exe", "0123456789");
  TDriversList history;
  Build(history, DriverListKind::kHistory);
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].FileSize(), 10u);
}

TEST_F(DriverListTest, DamagedFilesAreLoggedAndGiveADefinedList) {
  struct Case {
    const char* name;
    const char* pre;     // null: no ".pre"
    const char* status;  // null: no ".status"
    size_t entries;
    uint8_t state;
    const char* log_tag;
    const char* log_message;
  };
  const std::string good = PreText({Device{}});
  const Case cases[] = {
      {"status missing", good.c_str(), nullptr, 0, 0, "TDriversList.ScanPreFiles",
       "Status file not found"},
      {"status empty", good.c_str(), "", 1, kPackageNew, "TDriversList.Scan",
       "Status file not found"},
      {"status truncated", good.c_str(), "[Settings]\r\nStatus=Downl", 1, kPackageNew, nullptr,
       nullptr},
      {"pre empty", "", "[Settings]\r\nStatus=None\r\n", 0, 0, "TDriversList.Scan",
       "No device sections"},
      {"pre garbage", "\x01\x02\xff garbage", "[Settings]\r\nStatus=None\r\n", 0, 0,
       "TDriversList.Scan", "No device sections"},
      {"pre cut before FName", "[Settings]\r\nGenerated=45000\r\n\r\n[1-scan]\r\nDeviceName=Foo",
       "[Settings]\r\nStatus=None\r\n", 1, kPackageNew, "TDriversList.Scan", "FName empty"},
      {"pre cut mid key", "[1-scan]\r\nFName=0a1b_pkg.exe\r\nDeviceName=Foo\r\nClassGU",
       "[Settings]\r\nStatus=Downloaded\r\n", 1, kPackageDownloaded, nullptr, nullptr},
  };
  int n = 0;
  for (const Case& c : cases) {
    // A folder per case: the log counts a repeated line instead of writing it.
    const fs::path folder = base_ / std::to_string(++n);
    fs::create_directories(folder);
    if (c.pre != nullptr) WriteFile(PackagePrePath(folder, "pkg.exe"), c.pre);
    if (c.status != nullptr) WriteFile(PackageStatusPath(folder, "pkg.exe"), c.status);
    LogLines log;
    TDriversList list;
    list.SetClock(kClock);
    list.ScanPreFiles(folder, DriverListKind::kResult);
    ASSERT_EQ(list.size(), c.entries) << c.name;
    if (c.entries > 0) {
      EXPECT_EQ(list[0].state, c.state) << c.name;
      EXPECT_EQ(list[0].package_name, "pkg.exe") << c.name;
      EXPECT_FALSE(list[0].Title().empty()) << c.name;
      (void)list[0].SortKey();
      (void)list[0].IconIndex();
    }
    if (c.log_tag != nullptr) {
      EXPECT_TRUE(log.Has(c.log_tag, c.log_message)) << c.name << "\n" << log.Text();
    }
  }
}

TEST_F(DriverListTest, ProcessWideListsRefreshOnRequest) {
  {
    LogLines log;
    GetDriverResultList(false, {});
    EXPECT_TRUE(log.Has("GetDriverResultList", "Empty IniPath"));
  }
  Package("pkg.exe", {Device{}}, StatusText("None", true));
  TDriversList& first = GetDriverResultList(true, base_);
  EXPECT_EQ(first.size(), 1u);
  Package("two.exe", {Device{.section = "2", .file = "9_two.exe"}}, StatusText("None", true));
  EXPECT_EQ(&GetDriverResultList(false, base_), &first);
  EXPECT_EQ(first.size(), 1u);  // kept until a refresh is asked for
  EXPECT_EQ(GetDriverResultList(true, base_).size(), 2u);
  GetDriverResultList(true, work_.path() / "nothing-here");
  EXPECT_TRUE(first.empty());
}

}  // namespace
}  // namespace vx

// --- A list from a real scan of the sample PC --------------------------------
// The database writer is a Linux tool, so this runs in the native build only.
#ifndef _WIN32
namespace vx {
namespace {

class SampleScanListTest : public test::MachineFixture {
 protected:
  void SetUp() override {
    test::MachineFixture::SetUp();
    InitParams("Vantrix", {}, {}, false);
    StartLog(Params().base_dir);
  }
  void TearDown() override {
    StopLog();
    SetSnapshotUpload({});
    test::MachineFixture::TearDown();
  }
};

TEST_F(SampleScanListTest, ListMatchesTheFilesTheScanLeaves) {
  const fs::path base = Params().base_dir;
  DatabaseEnv env;
  env.base_dir = base;
  dbgen::DbOptions options;
  options.size = dbgen::DbSize::kSample;
  std::string error;
  ASSERT_TRUE(dbgen::WriteDriverDatabase(options, DefaultDatabasePath(env), &error)) << error;
  ASSERT_TRUE(GenerateDevicesList());
  ScanRequest request;
  request.diagnostic_archive = false;
  ASSERT_EQ(GenerateDriverResult(request, [](int, const std::string&, bool&, int, int, int) {}),
            kScanFinished);

  // What the scan offered: package name -> its non-pending device sections.
  IniFile scan(DefaultScanResultPath());
  std::map<std::string, int> offered;
  for (const std::string& section : scan.ReadSections()) {
    if (section.empty() || section.find_first_not_of("0123456789") != std::string::npos) continue;
    if (scan.ReadBool(section, "IsPending", false)) continue;
    ++offered[scan.ReadString(section, "PackageName")];
  }
  ASSERT_FALSE(offered.empty()) << "the sample database offers nothing for the sample PC";

  const TDriversList& list = GetDriverResultList(true, base);
  ASSERT_EQ(list.size(), offered.size());
  int previous_key = INT32_MAX;
  for (const auto& entry : list) {
    ASSERT_TRUE(offered.count(entry->package_name)) << entry->package_name;
    EXPECT_EQ(static_cast<int>(entry->devices.size()), offered[entry->package_name])
        << entry->package_name;
    EXPECT_EQ(entry->state, kPackageNew) << entry->package_name;
    EXPECT_TRUE(entry->present);
    EXPECT_TRUE(entry->fresh);  // written moments ago
    EXPECT_FALSE(entry->Title().empty()) << entry->package_name;
    EXPECT_FALSE(entry->vendor.empty()) << entry->package_name;
    EXPECT_LE(entry->SortKey(), previous_key) << entry->package_name;
    previous_key = entry->SortKey();
    for (const auto& device : entry->devices) {
      EXPECT_FALSE(device->device_name.empty()) << entry->package_name;
      EXPECT_GT(device->ClassImageIndex(), 0)
          << device->device_name;  // the sample knows its classes
    }
  }
  // Nothing is downloaded yet.
  EXPECT_TRUE(GetDriverHistoryList(true, base).empty());
}

}  // namespace
}  // namespace vx
#endif
