// The scan against hand-written device lists and a database written offer
// by offer, on a fresh simulated machine, and under Windows (Wine) on the
// host with a fresh BaseDir per test.
#include "engine/core_result.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "common/ini_file.h"
#include "common/params.h"
#include "common/text.h"
#include "dbgen/dbgen_lib.h"
#include "engine/core_devices_helpers.h"
#include "engine/installed_driver.h"
#include "engine/scan_snapshot.h"
#include "platform/devices.h"
#include "platform/sqlite_db.h"
#include "support/test_machine.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

constexpr const char* kBaseDate = "2024-03-15";
constexpr const char* kLanId = "PCI\\VEN_10EC&DEV_8168&SUBSYS_816810EC&REV_15";
// Offers made for the short form are found once (by the short-form
// lookup); full-form offers are found by both lookups.
constexpr const char* kLanShortId = "PCI\\VEN_10EC&DEV_8168";
constexpr const char* kLanHash = "0123456789abcdef0123456789abcdef";

// One device section of a hand-written device list.
struct ListDevice {
  std::string section;
  std::map<std::string, std::string> keys;
};

ListDevice LanDevice(std::string section, std::string enum_key) {
  return {std::move(section),
          {{"IsConnected", "1"},
           {"IsFailed", "0"},
           {"DeviceDescRaw", "Realtek PCIe GbE Family Controller"},
           {"ClassName", "Net"},
           {"Class", "Network adapters"},
           {"EnumKey", std::move(enum_key)},
           {"ClassGUID", "{4D36E972-E325-11CE-BFC1-08002BE10318}"},
           {"ClassKey", "{4D36E972-E325-11CE-BFC1-08002BE10318}\\0001"},
           {"RegDriverDate", "43831"},  // 2020-01-01
           {"DevDriverDate", "0"},
           {"RegDriverVersion", "10.1.1.0"},
           {"DevDriverVersion", ""},
           {"HardwareIDregular", kLanId},
           {"HardwareIDcompat", "PCI\\VEN_10EC&DEV_8168&REV_15,PCI\\CC_020000"},
           {"DevProvider", "Realtek"},
           {"RegProvider", "Realtek"},
           {"DevManufacturer", "Realtek"},
           {"RegManufacturer", "Realtek"},
           {"InfPath", "oem3.inf"},
           {"InfSection", "RTL8168"},
           // Known installed-driver facts spare the driver-node query.
           {"DrvProvider", "Realtek"},
           {"DrvManufacturer", "Realtek"},
           {"DrvDriverVersion", "10.1.1.0"},
           {"DrvDriverDate", "43831"}}};
}

class ScanTest : public test::MachineFixture {
 protected:
  void SetUp() override {
    test::MachineFixture::SetUp();
#ifdef _WIN32
    // The host's AppData folder outlives a test; the scan's files of one
    // test must not be seen by the next.
    InitParams("Vantrix", base_dir_.path() / "Vantrix", {}, false);
#else
    InitParams("Vantrix", {}, {}, false);
#endif
    base_ = Params().base_dir;
    fs::create_directories(base_);
  }
  void TearDown() override {
    SetSnapshotUpload({});
    test::MachineFixture::TearDown();
  }

  dbgen::OfferRow Offer(std::string id, std::string version, std::string date) {
    dbgen::OfferRow o;
    o.hardware_id = std::move(id);
    o.version = std::move(version);
    o.date = std::move(date);
    o.os = Params().windows_version;  // Wine may present another Windows than 10
    o.vendor = "REALTEK";
    o.file_name = "AB12CD34_realtek-lan-" + o.version + "-x64.zip";
    o.file_hash = kLanHash;
    o.file_description = "Realtek LAN driver";
    o.installer = "setup.exe";
    o.device_description = "Realtek PCIe GbE Family Controller";
    return o;
  }

  void WriteDatabase(const std::vector<dbgen::OfferRow>& offers) {
    dbgen::DriverDbWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Create(base_ / "Drivers64.db", &error)) << error;
    for (const auto& o : offers) writer.AddOffer(o);
    writer.AddPciVendor("10EC", "REALTEK");
    writer.SetSetting("date", kBaseDate);
    writer.SetSetting("cut", "0");
    writer.SetSetting("plain", "0");
    ASSERT_TRUE(writer.Finish(&error)) << error;
  }

  // [Settings] and [Errors] as the inventory writes them, the devices,
  // then [ClassNames]; `extra` is appended verbatim.
  void WriteList(const std::vector<ListDevice>& devices, int unique = -1,
                 const std::string& extra = {}) {
    std::ofstream out(base_ / "Devices.ini", std::ios::binary);
    out << "[Settings]\r\nProgram=Vantrix\r\nWindows=10\r\nx64=1\r\nVersion=2\r\nUniqueDevices="
        << (unique < 0 ? static_cast<int>(devices.size()) : unique) << "\r\n\r\n";
    out << "[Errors]\r\nDump=0\r\n\r\n";
    for (const ListDevice& d : devices) {
      out << "[" << d.section << "]\r\n";
      for (const auto& [k, v] : d.keys) out << k << "=" << v << "\r\n";
      out << "\r\n";
    }
    out << "[ClassNames]\r\nNet=\r\n" << extra;
  }

  struct Run {
    int status = -1;
    std::vector<int> indexes;
    std::vector<std::string> texts;
    int final_found = -1;
    IniFile scan, plus;
  };

  Run Scan(int cancel_at = 0, int spread = 0) {
    Run run;
    ScanRequest request;
    request.spread_seconds = spread;
    request.sleep = [this](std::chrono::milliseconds ms) { sleeps_.push_back(ms); };
    request.diagnostic_archive = false;
    run.status = GenerateDriverResult(
        request, [&](int status, const std::string& text, bool& cancel, int, int found, int index) {
          if (status == kScanDevice) {
            run.indexes.push_back(index);
            run.texts.push_back(text);
            if (index == cancel_at) cancel = true;
          } else {
            run.final_found = found;
          }
        });
    run.scan.LoadFromFile(base_ / "Scan.ini");
    run.plus.LoadFromFile(base_ / "DevicesPlus.ini");
    return run;
  }

  static std::vector<std::string> Numeric(const IniFile& ini) {
    std::vector<std::string> out;
    for (const auto& s : ini.ReadSections())
      if (!s.empty() && s.find_first_not_of("0123456789") == std::string::npos) out.push_back(s);
    return out;
  }

#ifdef _WIN32
  test::TempDir base_dir_;
#endif
  fs::path base_;
  std::vector<std::chrono::milliseconds> sleeps_;
};

TEST_F(ScanTest, VisitsOnlyNumericSectionsAndOffersTheNewerDriver) {
  WriteDatabase({Offer(kLanId, "10.2.0.0", "2022-06-01")});
  auto lan0 = LanDevice("0", "PCI\\VEN_10EC&DEV_8168\\A");
  auto lan1 = LanDevice("1", "PCI\\VEN_10EC&DEV_8168\\B");
  lan1.keys["DeviceDescRaw"] = "Second LAN";
  WriteList({lan0, lan1}, -1, "\r\n[abc]\r\nDeviceDescRaw=not a device\r\n\r\n[1x]\r\nDeviceDescRaw=x\r\n");

  Run run = Scan();
  EXPECT_EQ(run.status, kScanFinished);
  EXPECT_EQ(run.indexes, (std::vector<int>{1, 2}));
  EXPECT_EQ(run.texts[1], "Second LAN");
  EXPECT_EQ(run.final_found, 2);
  ASSERT_EQ(Numeric(run.scan), (std::vector<std::string>{"1", "2"}));
  // Every key of a result section, in order.
  std::vector<std::string> keys;
  for (const auto& line : run.scan.ReadSectionValues("1")) keys.push_back(line.substr(0, line.find('=')));
  EXPECT_EQ(keys, (std::vector<std::string>{
                      "DeviceName", "FName", "PackageName", "AltFName", "Date1", "Date1Raw",
                      "Date2", "Vendor", "Version1", "Version2", "Installer", "Description",
                      "Class", "ClassName", "ClassGUID", "InfPath", "InfSection", "IsConnected",
                      "HardId", "HardIdRaw", "Md5Hash", "FullHID", "DeviceIniSection", "EnumKey",
                      "ClassKey", "BaseDate", "IsPending", "IsSystemDriver"}));
  EXPECT_EQ(run.scan.ReadString("1", "Version1"), "10.1.1.0");
  EXPECT_EQ(run.scan.ReadString("1", "Version2"), "10.2.0.0");
  EXPECT_EQ(run.scan.ReadString("1", "Date2"), "06-01-2022");
  EXPECT_EQ(run.scan.ReadString("2", "DeviceIniSection"), "1");
  EXPECT_EQ(run.scan.ReadString("Settings", "Base"), kBaseDate);
  EXPECT_TRUE(run.scan.ValueExists("Settings", "TimeToGenerate"));
  EXPECT_EQ(run.plus.ReadString("0", "Status"), "Success");
  EXPECT_EQ(run.plus.ReadString("0-drv-0", "Winner"), "1");
  EXPECT_FALSE(run.plus.SectionExists("abc"));
}

TEST_F(ScanTest, DecisionsWithoutAnOffer) {
  struct Case {
    const char* name;
    const char* offer_version;
    const char* store_version;  // "InstalledVersion" in the per-device store
    const char* store_status;
    const char* decision;
    bool result_section;
    bool pending;
  };
  const Case cases[] = {
      // The only candidate is not newer.
      {"older", "10.0.0.0", "", "", "VerDots", false, false},
      // Installed from this package and confirmed.
      {"confirmed", "10.2.0.0", kLanHash, "1", "Pending", false, false},
      // Installed from this package, not confirmed: offered, not counted.
      {"unconfirmed", "10.2.0.0", kLanHash, "0", "Success", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string enum_key = std::string("PCI\\VEN_10EC&DEV_8168\\") + c.name;
    WriteDatabase({Offer(kLanShortId, c.offer_version, "2019-01-01")});
    WriteList({LanDevice("0", enum_key)});
    if (*c.store_version) {
      WritePseudoEnumRegistryStringProperty(enum_key, "InstalledVersion", c.store_version);
      WritePseudoEnumRegistryStringProperty(enum_key, "InstalledStatus", c.store_status);
      WritePseudoEnumRegistryStringProperty(enum_key, "InstalledBaseDate", "2000-01-01");
    }
    // A dated offer of the same version is newer by date only when it is;
    // make the pending cases newer by version.
    Run run = Scan();
    EXPECT_EQ(run.status, kScanFinished);
    EXPECT_EQ(run.plus.ReadString("0", "Status"), c.decision);
    EXPECT_EQ(run.plus.ReadString("0", "Count"), "1");
    EXPECT_EQ(run.scan.SectionExists("1"), c.result_section);
    if (c.result_section) {
      EXPECT_EQ(run.scan.ReadString("1", "IsPending"), c.pending ? "1" : "0");
    }
    EXPECT_EQ(run.final_found, 0);
  }
}

TEST_F(ScanTest, DeviceInstalledFromThisDatabaseIsSkipped) {
  WriteDatabase({Offer(kLanShortId, "10.2.0.0", "2022-06-01")});
  const std::string enum_key = "PCI\\VEN_10EC&DEV_8168\\DONE";
  WriteList({LanDevice("0", enum_key)});
  WritePseudoEnumRegistryStringProperty(enum_key, "InstalledBaseDate", kBaseDate);
  WritePseudoEnumRegistryStringProperty(enum_key, "InstalledStatus", "1");
  Run run = Scan();
  EXPECT_EQ(run.indexes.size(), 1u);
  EXPECT_FALSE(run.scan.SectionExists("1"));
  EXPECT_FALSE(run.plus.SectionExists("0"));
}

TEST_F(ScanTest, CancelAtTheThirdDeviceKeepsTheFirstTwoResults) {
  WriteDatabase({Offer(kLanShortId, "10.2.0.0", "2022-06-01")});
  std::vector<ListDevice> list;
  for (int i = 0; i < 5; ++i) list.push_back(LanDevice(std::to_string(i), "PCI\\X\\" + std::to_string(i)));
  WriteList(list);
  Run run = Scan(/*cancel_at=*/3);
  EXPECT_EQ(run.status, kScanCancelled);
  EXPECT_EQ(run.indexes, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(Numeric(run.scan), (std::vector<std::string>{"1", "2"}));
  EXPECT_TRUE(run.scan.ValueExists("Settings", "TimeToGenerate"));
  EXPECT_EQ(run.final_found, 2);
  EXPECT_TRUE(fs::exists(base_ / "realtek-lan-10.2.0.0-x64.zip.pre"));
}

TEST_F(ScanTest, UnknownVersionsAndTheDriverNodeQuery) {
  WriteDatabase({Offer(kLanShortId, "10.2.0.0", "2022-06-01")});
  ListDevice d = LanDevice("0", "PCI\\VEN_10EC&DEV_8168\\NOT-ON-THIS-PC");
  d.keys["RegDriverVersion"] = "0.0.0.0";
  d.keys["DrvProvider"] = d.keys["DrvManufacturer"] = d.keys["DrvDriverVersion"] = "";
  d.keys["DrvDriverDate"] = "0";
  WriteList({d});
  Run run = Scan();
  EXPECT_EQ(run.scan.ReadString("1", "Version1"), "Unknown");
  // The device is not on this machine: the failed node query is recorded.
  EXPECT_GE(run.scan.ReadSection("Errors").size(), 2u);
}

TEST_F(ScanTest, OnePreFileForAPackageOfferedToTwoDevices) {
  WriteDatabase({Offer(kLanShortId, "10.2.0.0", "2022-06-01")});
  WriteList({LanDevice("0", "PCI\\A\\0"), LanDevice("1", "PCI\\A\\1")});
  // A leftover record of an earlier scan must not be extended.
  { std::ofstream(base_ / "realtek-lan-10.2.0.0-x64.zip.pre") << "[old]\r\nx=1\r\n"; }
  Scan();
  std::vector<std::string> pre_files;
  for (const auto& e : fs::directory_iterator(base_))
    if (e.path().extension() == ".pre") pre_files.push_back(e.path().filename().string());
  ASSERT_EQ(pre_files, (std::vector<std::string>{"realtek-lan-10.2.0.0-x64.zip.pre"}));
  IniFile pre(base_ / pre_files[0]);
  EXPECT_EQ(pre.ReadSections(),
            (std::vector<std::string>{"Settings", "0-scan", "0", "0-drv-0", "1-scan", "1", "1-drv-0"}));
  EXPECT_EQ(pre.ReadString("Settings", "Version"), "10.2.0.0");
  EXPECT_EQ(pre.ReadString("1-scan", "EnumKey"), "PCI\\A\\1");
  IniFile status(base_ / "realtek-lan-10.2.0.0-x64.zip.status");
  EXPECT_EQ(status.ReadString("Settings", "Status"), "None");
  EXPECT_EQ(status.ReadString("Settings", "Present"), "1");
}

TEST_F(ScanTest, StatusFilesMarkWhatThisScanOffers) {
  WriteDatabase({Offer(kLanShortId, "10.2.0.0", "2022-06-01")});
  WriteList({LanDevice("0", "PCI\\A\\0")});
  const fs::path offered = base_ / "realtek-lan-10.2.0.0-x64.zip.status";
  const fs::path other = base_ / "other-1.0-x64.zip.status";
  const fs::path waiting = base_ / "waiting-1.0-x64.zip.status";
  const fs::path absent = base_ / "absent-1.0-x64.zip.status";
  { std::ofstream(offered, std::ios::binary) << "[Settings]\r\nNote=kept\r\n"; }
  { std::ofstream(absent, std::ios::binary) << "[Settings]\r\nStatus=New\r\nPresent=0\r\n"; }
  { std::ofstream(other, std::ios::binary) << "[Settings]\r\nStatus=New\r\nPresent=1\r\n"; }
  {
    std::ofstream(waiting, std::ios::binary)
        << "[Settings]\r\nStatus=Installed\r\nCheckAfterRestart=1\r\nPresent=1\r\n";
  }
  Scan();
  auto text = [](const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  // Marked absent first, then present again with a status added: the keys
  // land in that order.
  EXPECT_EQ(text(offered), "[Settings]\r\nNote=kept\r\nPresent=1\r\nStatus=None\r\n\r\n");
  EXPECT_EQ(text(other), "[Settings]\r\nStatus=New\r\nPresent=0\r\n\r\n");
  EXPECT_EQ(text(waiting),
            "[Settings]\r\nStatus=Installed\r\nCheckAfterRestart=1\r\nPresent=1\r\n\r\n");
  // Files that already say what the scan would write are not written again
  // (a rewrite would add the blank line).
  EXPECT_EQ(text(absent), "[Settings]\r\nStatus=New\r\nPresent=0\r\n");
  { std::ofstream(offered, std::ios::binary) << "[Settings]\r\nStatus=New\r\nPresent=1\r\n"; }
  Scan();
  EXPECT_EQ(text(offered), "[Settings]\r\nStatus=New\r\nPresent=1\r\n");
  EXPECT_EQ(text(other), "[Settings]\r\nStatus=New\r\nPresent=0\r\n\r\n");
}

TEST_F(ScanTest, ProtectedPackageKeepsItsRecord) {
  WriteDatabase({Offer(kLanShortId, "10.2.0.0", "2022-06-01")});
  WriteList({LanDevice("0", "PCI\\A\\0")});
  { std::ofstream(base_ / "realtek-lan-10.2.0.0-x64.zip.pre") << "[kept]\r\nx=1\r\n"; }
  {
    std::ofstream(base_ / "realtek-lan-10.2.0.0-x64.zip.status")
        << "[Settings]\r\nStatus=Installed\r\nCheckAfterRestart=1\r\n";
  }
  Scan();
  IniFile pre(base_ / "realtek-lan-10.2.0.0-x64.zip.pre");
  EXPECT_EQ(pre.ReadSections(), (std::vector<std::string>{"kept"}));
}

TEST_F(ScanTest, MissingDatabaseReportsStatusFourAndChangesNothing) {
  WriteList({LanDevice("0", "PCI\\A\\0")});
  std::vector<int> statuses;
  ScanRequest request;
  EXPECT_EQ(GenerateDriverResult(request,
                                 [&](int s, const std::string&, bool&, int, int, int) {
                                   statuses.push_back(s);
                                 }),
            kScanNoDatabase);
  EXPECT_EQ(statuses, (std::vector<int>{kScanNoDatabase}));
  EXPECT_FALSE(fs::exists(base_ / "Scan.ini"));
}

TEST_F(ScanTest, DamagedDeviceListIsScannedAsFarAsItMakesSense) {
  WriteDatabase({Offer(kLanShortId, "10.2.0.0", "2022-06-01")});
  ListDevice absurd = LanDevice("1", "PCI\\A\\1");
  absurd.keys["RegDriverDate"] = "1e308";
  absurd.keys["DrvDriverDate"] = "-99999999";
  absurd.keys["IsFailed"] = "maybe";
  absurd.keys["RegDriverVersion"] = "99999999999999999999.1";
  absurd.keys["DrvDriverVersion"] = "x.y";
  ListDevice empty{"2", {}};
  ListDevice huge = LanDevice("99999999999", "PCI\\A\\HUGE");
  // UniqueDevices lower than the section numbers, spreading on.
  WriteList({LanDevice("0", "PCI\\A\\0"), absurd, empty, huge}, /*unique=*/1);
  {
    std::ofstream out(base_ / "Devices.ini", std::ios::binary | std::ios::app);
    out << "\r\n[3]\r\nDeviceDescRaw=cut short\r\nHardwareIDregular=PCI\\VEN_10EC&DEV_81";  // truncated
  }
  Run run = Scan(0, /*spread=*/1);
  EXPECT_EQ(run.status, kScanFinished);
  EXPECT_EQ(run.indexes, (std::vector<int>{1, 2, 3, 4}));  // 99999999999 is no device number
  ASSERT_TRUE(run.scan.SectionExists("Settings"));
  EXPECT_TRUE(run.scan.ValueExists("Settings", "TimeToGenerate"));
  for (const auto& s : Numeric(run.scan)) EXPECT_FALSE(run.scan.ReadString(s, "FName").empty());
  for (auto ms : sleeps_) EXPECT_LE(ms.count(), 1000);
}

// The scan's reads must not keep a database update waiting through the
// spreading pauses: a writer that does not wait at all gets through.
TEST_F(ScanTest, SpreadingPausesLeaveTheDatabaseToWriters) {
  WriteDatabase({Offer(kLanShortId, "10.2.0.0", "2022-06-01")});
  WriteList(
      {LanDevice("0", "PCI\\A\\0"), LanDevice("1", "PCI\\A\\1"), LanDevice("2", "PCI\\A\\2")});
  ScanRequest request;
  request.spread_seconds = 3;
  request.diagnostic_archive = false;
  std::vector<int> writes;
  request.sleep = [&](std::chrono::milliseconds) {
    SqliteDb writer;
    ASSERT_EQ(writer.Open(base_ / "Drivers64.db", false, false), 0);
    writer.SetBusyTimeout(0);
    writes.push_back(
        writer.Exec("CREATE TABLE IF NOT EXISTS t" + std::to_string(writes.size()) + "(x)"));
  };
  EXPECT_EQ(GenerateDriverResult(request, {}), kScanFinished);
  EXPECT_EQ(writes, (std::vector<int>{0, 0, 0}));
}

TEST_F(ScanTest, SnapshotRecordsReachTheUploadFunction) {
  WriteDatabase({Offer(kLanShortId, "10.1.1.0", "2021-01-01")});
  ListDevice uncovered = LanDevice("1", "USB\\VID_1234\\1");
  uncovered.keys["HardwareIDregular"] = "USB\\VID_1234&PID_0001";
  uncovered.keys["HardwareIDcompat"] = "";
  uncovered.keys["DevProvider"] = uncovered.keys["RegProvider"] = "Contoso";
  WriteList({LanDevice("0", "PCI\\A\\0"), uncovered});
  std::vector<std::string> types;
  SetSnapshotUpload([&](const UsageSnapshot& s) {
    EXPECT_EQ(s.base_date(), kBaseDate);
    for (const auto& r : s.records()) types.push_back(r.request_type);
  });
  Scan();
  // Same version and vendor, another day: "date"; the uncovered device: "unknown".
  EXPECT_EQ(types, (std::vector<std::string>{"date", "unknown"}));
}

TEST_F(ScanTest, InstalledDriverOfARealDevice) {
  auto set = platform::OpenDeviceInfoSet({});
  ASSERT_TRUE(set.ok());
  // The first device with a driver.
  std::string id;
  for (uint32_t i = 0;; ++i) {
    auto dev = (*set)->Enum(i);
    if (!dev) break;
    if ((*set)->InstalledDriver(*dev).ok()) {
      id = dev->instance_id;
      break;
    }
  }
#ifdef _WIN32
  if (id.empty()) GTEST_SKIP() << "this Windows (Wine) lists no device with an installed driver";
#endif
  ASSERT_FALSE(id.empty());
  IniFile scan;
  double date = 0;
  std::string version, manufacturer, provider;
  EXPECT_TRUE(GetDriverParameters(**set, LowerCase(id), scan, date, version, manufacturer, provider));
  EXPECT_FALSE(version.empty());
  EXPECT_FALSE(GetDriverParameters(**set, "ROOT\\NOTHING\\0", scan, date, version, manufacturer,
                                   provider));
  EXPECT_EQ(scan.ReadSection("Errors").size(), 1u);

  // The index a scan looks devices up with answers as the walk over the set.
  DeviceIndex index(**set);
  for (const std::string& wanted : {id, LowerCase(id), UpperCase(id), std::string("ROOT\\NOTHING\\0")}) {
    platform::DeviceInfo by_walk, by_index;
    uint32_t walk_at = 0, index_at = 0;
    const bool walked = FindDevice(**set, wanted, by_walk, walk_at);
    ASSERT_EQ(index.Find(wanted, by_index, index_at), walked) << wanted;
    if (!walked) continue;
    EXPECT_EQ(by_index.instance_id, by_walk.instance_id);
    EXPECT_EQ(by_index.class_guid, by_walk.class_guid);
    EXPECT_EQ(index_at, walk_at);
  }
  double indexed_date = 0;
  std::string indexed_version, indexed_manufacturer, indexed_provider;
  EXPECT_TRUE(GetDriverParameters(index, id, scan, indexed_date, indexed_version,
                                  indexed_manufacturer, indexed_provider));
  EXPECT_EQ(indexed_version, version);
  EXPECT_EQ(indexed_manufacturer, manufacturer);
  EXPECT_EQ(indexed_provider, provider);
  EXPECT_EQ(indexed_date, date);
}

}  // namespace
}  // namespace vx
