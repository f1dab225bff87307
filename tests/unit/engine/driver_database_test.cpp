#include "engine/driver_database.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "common/text.h"
#include "engine/driver_utils.h"
#include "support/test_machine.h"

#ifndef _WIN32
#include "dbgen/dbgen_lib.h"
#endif

namespace vx {
namespace {

// A driver database written with plain SQL, so these tests run on every
// target; the generator (Linux only) is exercised at the end.
constexpr const char kSchema[] = R"(
CREATE TABLE hardids(id INTEGER PRIMARY KEY, hardid TEXT);
CREATE TABLE files(id INTEGER PRIMARY KEY, filename TEXT, filehash TEXT, file_description TEXT);
CREATE TABLE vendors(id INTEGER PRIMARY KEY, vendor TEXT);
CREATE TABLE versions(id INTEGER PRIMARY KEY, version TEXT, date TEXT);
CREATE TABLE installers(id INTEGER PRIMARY KEY, installer TEXT);
CREATE TABLE devices_descriptions(id INTEGER PRIMARY KEY, device_description TEXT);
CREATE TABLE drivers(hardid_index INTEGER, hardid_full_index INTEGER,
  hardid_index_in_line INTEGER, file_id INTEGER, vendor_id INTEGER, version_id INTEGER,
  installer_id INTEGER, device_id INTEGER, os INTEGER);
CREATE TABLE ven_vendors(ven TEXT, vendor TEXT);
CREATE TABLE vid_vendors(vid TEXT, vendor TEXT);
CREATE TABLE settings(name TEXT, value TEXT);
)";

struct Offer {
  std::string id;  // plain, full
  int os = 10;
  std::string vendor = "REALTEK";
  std::string version = "10.1.2";
  std::string date = "2021-05-06";
  std::string file = "abc_realtek-lan-10.1.2.zip";
  std::string hash = "0123456789abcdef0123456789abcdef";
  std::string installer = "Drivers/x64/setup.exe";  // empty = none (left join)
  std::string device = "Realtek PCIe GbE Family Controller";
  int in_line = 0;
};

class FixtureDb {
 public:
  explicit FixtureDb(std::filesystem::path file) : file_(std::move(file)) {
    EXPECT_EQ(db_.Open(file_), 0);
    db_.Exec("PRAGMA synchronous=OFF; PRAGMA journal_mode=MEMORY;");  // fixtures need no durability
    EXPECT_EQ(db_.Exec(kSchema), 0);
    Setting("plain", "0");
    Setting("cut", "0");
  }

  int64_t Insert(std::string_view sql, std::vector<std::string> values) {
    SqliteStatement s = db_.Prepare(sql);
    for (size_t i = 0; i < values.size(); ++i) s.Bind(static_cast<int>(i + 1), values[i]);
    EXPECT_EQ(s.Run(), 101) << db_.message();
    return db_.LastInsertId();
  }
  // Identifiers go in exactly as given (stored form), so a test can place
  // any text in the table.
  int64_t RawHardId(const std::string& stored) {
    return Insert("INSERT INTO hardids(hardid) VALUES(?1)", {stored});
  }
  int64_t HardId(const std::string& plain) { return RawHardId(StoredNameTransform(plain, true)); }

  void Add(const Offer& o) {
    int64_t full = HardId(o.id);
    int64_t brief = HardId(ReplaceAll(ShortHardwareId(o.id), "\"\"", "\""));
    int64_t file = Insert("INSERT INTO files(filename, filehash, file_description) VALUES(?1,?2,?3)",
                          {StoredNameTransform(o.file, false), o.hash, "LAN driver"});
    int64_t vendor = Insert("INSERT INTO vendors(vendor) VALUES(?1)", {o.vendor});
    int64_t version = Insert("INSERT INTO versions(version, date) VALUES(?1,?2)", {o.version, o.date});
    std::string installer = "NULL";
    if (!o.installer.empty())
      installer = std::to_string(Insert("INSERT INTO installers(installer) VALUES(?1)", {o.installer}));
    int64_t device =
        Insert("INSERT INTO devices_descriptions(device_description) VALUES(?1)", {o.device});
    EXPECT_EQ(db_.Exec("INSERT INTO drivers VALUES(" + std::to_string(brief) + "," +
                       std::to_string(full) + "," + std::to_string(o.in_line) + "," +
                       std::to_string(file) + "," + std::to_string(vendor) + "," +
                       std::to_string(version) + "," + installer + "," + std::to_string(device) +
                       "," + std::to_string(o.os) + ")"),
              0);
  }
  void Setting(const std::string& name, const std::string& value) {
    Insert("DELETE FROM settings WHERE name = ?1", {name});
    Insert("INSERT INTO settings VALUES(?1, ?2)", {name, value});
  }
  void Vendor(bool usb, const std::string& code, const std::string& vendor) {
    Insert(usb ? "INSERT INTO vid_vendors VALUES(?1,?2)" : "INSERT INTO ven_vendors VALUES(?1,?2)",
           {code, vendor});
  }
  // Driver rows that match no identifier, to reach a row count.
  void Filler(int rows) {
    EXPECT_EQ(db_.Exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                       std::to_string(rows) +
                       ") INSERT INTO drivers SELECT -1, -1, 0, -1, -1, -1, NULL, -1, 10 FROM n"),
              0);
  }
  void Close() { db_.Close(); }
  const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path file_;
  SqliteDb db_;
};

class DriverDatabaseTest : public ::testing::Test {
 protected:
  std::filesystem::path DbPath() const { return dir_.path() / "Drivers64.db"; }
  DatabaseEnv Env(int code = 10) const {
    DatabaseEnv env;
    env.base_dir = dir_.path();
    env.windows64 = true;
    env.windows_code = code;
    env.index_pause = std::chrono::milliseconds(0);
    return env;
  }
  // Opens the fixture for lookups (after the writer is closed).
  DriverDatabase& Open(FixtureDb& fixture, int windows_code = 10) {
    fixture.Close();
    EXPECT_EQ(db_.Open(fixture.file()), 0);
    db_.set_windows_code(windows_code);
    return db_;
  }
  TDriverItems Find(std::string_view ids, bool full_id, bool from_hardware = true,
                    std::string_view os = "", bool whole = false) {
    TDriverItems items;
    HidDoneList done;
    EXPECT_TRUE(FindDriversByHID(db_, items, ids, os, done, whole, full_id, from_hardware));
    return items;
  }

  test::TempDir dir_;
  DriverDatabase db_;
};

TEST_F(DriverDatabaseTest, FileNameFollowsWindowsBitness) {
  DatabaseEnv env = Env();
  EXPECT_EQ(DefaultDatabasePath(env).filename(), "Drivers64.db");
  env.windows64 = false;
  EXPECT_EQ(DefaultDatabasePath(env).filename(), "Drivers32.db");
  EXPECT_EQ(DatabasePathOrDefault(env, "x.db"), std::filesystem::path("x.db"));
}

TEST_F(DriverDatabaseTest, CandidateCarriesPlainFormsOfTheRow) {
  FixtureDb f(DbPath());
  Offer o;
  o.id = "PCI\\VEN_10EC&DEV_8168&SUBSYS_7B861462";
  o.version = " 10.1.2 ";
  o.in_line = 3;
  f.Add(o);
  Offer no_installer = o;
  no_installer.version = "10.1.3";
  no_installer.installer.clear();
  f.Add(no_installer);
  Open(f);

  auto items = Find("ROOT\\OTHER,pci\\ven_10ec&dev_8168&subsys_7b861462", true);
  ASSERT_EQ(items.size(), 2u);
  const TDriverItem& c = items[0];
  EXPECT_EQ(c.hardware_id, "PCI\\\\VEN_10EC&DEV_8168&SUBSYS_7B861462");
  EXPECT_EQ(c.raw_id, "PCI\\VEN_10EC&DEV_8168&SUBSYS_7B861462");
  EXPECT_EQ(c.id_position, 1);
  EXPECT_EQ(c.inf_line_index, 3);
  EXPECT_EQ(c.version, "10.1.2");
  EXPECT_EQ(FormatDate(c.date, true), "2021-05-06");
  EXPECT_EQ(c.file_name, "abc_realtek-lan-10.1.2.zip");
  EXPECT_EQ(c.installer, "Drivers\\x64\\setup.exe");
  EXPECT_EQ(c.file_hash, o.hash);
  EXPECT_EQ(c.file_description, "LAN driver");
  EXPECT_EQ(c.device_description, o.device);
  EXPECT_EQ(c.vendor, "REALTEK");
  EXPECT_TRUE(c.full_id);
  EXPECT_TRUE(c.from_hardware_ids);
  EXPECT_EQ(items[1].installer, "");  // no installer row: the left join keeps the offer

  auto brief = Find("PCI\\VEN_10EC&DEV_8168&SUBSYS_7B861462", false, false);
  ASSERT_EQ(brief.size(), 2u);
  EXPECT_EQ(brief[0].hardware_id, "PCI\\\\VEN_10EC&DEV_8168");
  EXPECT_FALSE(brief[0].full_id);
  EXPECT_FALSE(brief[0].from_hardware_ids);
}

TEST_F(DriverDatabaseTest, AlreadyShortIdIsQueriedOnlyInFullMode) {
  FixtureDb f(DbPath());
  f.Add({.id = "PCI\\VEN_8086&DEV_1E31"});
  Open(f);
  TDriverItems items;
  HidDoneList full_done, short_done;
  ASSERT_TRUE(FindDriversByHID(db_, items, "PCI\\VEN_8086&DEV_1E31", "", full_done, false, true, true));
  ASSERT_TRUE(FindDriversByHID(db_, items, "PCI\\VEN_8086&DEV_1E31", "", short_done, false, false, true));
  EXPECT_EQ(items.size(), 1u);
  EXPECT_EQ(full_done, HidDoneList{"PCI\\VEN_8086&DEV_1E31"});
  EXPECT_TRUE(short_done.empty());
}

TEST_F(DriverDatabaseTest, HardwarePassWinsOverCompatiblePass) {
  FixtureDb f(DbPath());
  f.Add({.id = "PCI\\VEN_8086&DEV_1E31&SUBSYS_00001234"});
  f.Add({.id = "PCI\\CC_0C0330"});
  Open(f);
  const std::string hardware = "PCI\\VEN_8086&DEV_1E31&SUBSYS_00001234";
  const std::string compatible = "PCI\\VEN_8086&DEV_1E31&SUBSYS_00001234,PCI\\CC_0C0330";
  TDriverItems items;
  HidDoneList full_done, short_done;
  // The scan's order: hardware full, hardware short, compatible full, compatible short.
  ASSERT_TRUE(FindDriversByHID(db_, items, hardware, "", full_done, false, true, true));
  ASSERT_TRUE(FindDriversByHID(db_, items, hardware, "", short_done, false, false, true));
  ASSERT_TRUE(FindDriversByHID(db_, items, compatible, "", full_done, false, true, false));
  ASSERT_TRUE(FindDriversByHID(db_, items, compatible, "", short_done, false, false, false));

  int from_hardware = 0, from_compatible = 0;
  for (const auto& c : items) {
    (c.from_hardware_ids ? from_hardware : from_compatible)++;
    if (!c.from_hardware_ids) {
      EXPECT_EQ(c.raw_id, "PCI\\CC_0C0330");
    }
  }
  // The full id and its short form once each from the hardware pass; the
  // compatible pass adds only the class id nobody queried before.
  EXPECT_EQ(from_hardware, 2);
  EXPECT_EQ(from_compatible, 1);
}

TEST_F(DriverDatabaseTest, RowsDifferingOnlyInDescriptionCollapse) {
  FixtureDb f(DbPath());
  Offer o{.id = "USB\\VID_046D&PID_C52B"};
  f.Add(o);
  o.device = "Logitech USB Receiver (second model)";
  f.Add(o);
  o.version = "10.1.3";  // a real second offer
  f.Add(o);
  Open(f);
  auto items = Find("USB\\VID_046D&PID_C52B", true);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].version, "10.1.2");
  EXPECT_EQ(items[1].version, "10.1.3");
}

TEST_F(DriverDatabaseTest, WindowsVersionFilterUnlessWholeDatabase) {
  FixtureDb f(DbPath());
  f.Add({.id = "PCI\\VEN_10DE&DEV_1C82", .os = 7, .version = "7.0"});
  f.Add({.id = "PCI\\VEN_10DE&DEV_1C82", .os = 10, .version = "10.0"});
  Open(f, 10);
  auto versions = [](const TDriverItems& items) {
    std::set<std::string> v;
    for (const auto& c : items) v.insert(c.version);
    return v;
  };
  EXPECT_EQ(versions(Find("PCI\\VEN_10DE&DEV_1C82", true)), std::set<std::string>{"10.0"});
  EXPECT_EQ(versions(Find("PCI\\VEN_10DE&DEV_1C82", true, true, "7")), std::set<std::string>{"7.0"});
  EXPECT_EQ(versions(Find("PCI\\VEN_10DE&DEV_1C82", true, true, "7", true)),
            (std::set<std::string>{"7.0", "10.0"}));
  // A version text that is no number matches nothing instead of reaching the SQL.
  EXPECT_TRUE(Find("PCI\\VEN_10DE&DEV_1C82", true, true, "10 OR 1=1").empty());
}

TEST_F(DriverDatabaseTest, IdentifierEqualToColumnNameFindsOnlyItsOwnRows) {
  FixtureDb f(DbPath());
  // Identifiers without "DEV_" are stored as they are, so these rows hold
  // the texts HARDID, ID, OS and VENDOR themselves.
  for (const char* id : {"HARDID", "ID", "OS", "VENDOR", "A\"B"})
    f.Add({.id = id, .version = std::string("v-") + id});
  f.Add({.id = "PCI\\VEN_8086&DEV_1E31"});
  Open(f);
  for (const std::string id : {"HARDID", "ID", "OS", "VENDOR", "A\"B"}) {
    SCOPED_TRACE(id);
    auto items = Find(id, true);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].version, "v-" + id);
  }
  EXPECT_TRUE(Find("HARDIDS", true).empty());
}

TEST_F(DriverDatabaseTest, VendorCodeRunsToAmpersandOrEnd) {
  FixtureDb f(DbPath());
  f.Vendor(false, "8086", "INTEL");
  f.Vendor(true, "046D", "LOGITECH");
  Open(f);
  VendorCodeCache cache;
  EXPECT_EQ(VendorByCode(db_, "USB\\VID_046D", cache), "LOGITECH");
  EXPECT_EQ(VendorByCode(db_, "PCI\\VEN_8086&DEV_1E31", cache), "INTEL");
  EXPECT_EQ(VendorByCode(db_, "ACPI\\PNP0303", cache), "");
  EXPECT_EQ(cache.Entry("VID_046D"), "LOGITECH");
}

TEST_F(DriverDatabaseTest, CodeWithoutVendorIsCachedAsEmptyAndVidStillFollows) {
  FixtureDb f(DbPath());
  f.Vendor(true, "046D", "LOGITECH");
  f.Vendor(false, "1234", "SOMEONE");
  Open(f);
  VendorCodeCache cache;
  EXPECT_EQ(VendorByCode(db_, "USB\\VEN_FFFF&VID_046D&PID_C52B", cache), "LOGITECH");
  EXPECT_EQ(cache.Entry("VEN_FFFF"), VendorCodeCache::kNoVendor);

  // Once known to have no vendor, the code is not queried again.
  FixtureDb writer_again(DbPath().parent_path() / "other.db");
  writer_again.Vendor(false, "FFFF", "LATE");
  writer_again.Close();
  DriverDatabase other;
  ASSERT_EQ(other.Open(DbPath().parent_path() / "other.db"), 0);
  EXPECT_EQ(VendorByCode(other, "PCI\\VEN_FFFF&DEV_0001", cache), "");
  VendorCodeCache fresh;
  EXPECT_EQ(VendorByCode(other, "PCI\\VEN_FFFF&DEV_0001", fresh), "LATE");
}

TEST_F(DriverDatabaseTest, VendorCodeIsBoundNotPasted) {
  FixtureDb f(DbPath());
  f.Vendor(false, "8086", "INTEL");
  Open(f);
  VendorCodeCache cache;
  // Pasted between double quotes, "VEN" and "VENDOR" would name columns.
  EXPECT_EQ(VendorByCode(db_, "PCI\\VEN_VEN&DEV_1", cache), "");
  EXPECT_EQ(VendorByCode(db_, "PCI\\VEN_VENDOR&DEV_1", cache), "");
}

TEST_F(DriverDatabaseTest, DeviceVendorNeedsAgreement) {
  FixtureDb f(DbPath());
  f.Vendor(false, "8086", "INTEL");
  f.Vendor(false, "10EC", "REALTEK");
  Open(f);
  struct Case {
    std::string ids;
    std::string vendor;
  } cases[] = {
      {"", ""},
      {"ACPI\\PNP0A08,PCI\\VEN_8086&DEV_1,PCI\\VEN_8086", "INTEL"},
      {"PCI\\VEN_8086&DEV_1,HDAUDIO\\FUNC_01&VEN_10EC&DEV_0887", ""},
      {"PCI\\VEN_FFFF&DEV_1,PCI\\VEN_10EC&DEV_8168", "REALTEK"},
  };
  VendorCodeCache cache;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ids);
    EXPECT_EQ(DeviceVendorByCodes(db_, c.ids, cache), c.vendor);
  }
}

TEST_F(DriverDatabaseTest, QuickCheckCountsPlainAndCut) {
  struct Case {
    int rows;
    std::string plain, cut, os;
    int windows;
    bool usable;
  } cases[] = {
      {10000, "0", "0", "", 10, true},   {9999, "0", "0", "", 10, false},
      {10000, "1", "0", "", 10, false},  {10000, "", "0", "", 10, false},
      {10000, "0", "1", "7", 10, false}, {10000, "0", "1", "7", 7, true},
      {10000, "0", "2", "7", 10, true},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(n);
    auto file = dir_.path() / ("check" + std::to_string(n++) + ".db");
    {
      FixtureDb f(file);
      f.Filler(c.rows);
      f.Setting("plain", c.plain);
      f.Setting("cut", c.cut);
      f.Setting("os", c.os);
    }
    EXPECT_EQ(QuickCheckDatabase(Env(c.windows), file), c.usable);
  }
  EXPECT_FALSE(QuickCheckDatabase(Env()));  // no default database
}

TEST_F(DriverDatabaseTest, SettingsAndIndexes) {
  {
    FixtureDb f(DbPath());
    f.Setting("date", "2024-03-15");
  }
  SqliteDb db;
  ASSERT_EQ(db.Open(DbPath(), true, false), 0);
  EXPECT_EQ(ReadDatabaseSetting(db, "date"), "2024-03-15");
  EXPECT_EQ(ReadDatabaseSetting(db, "os"), "");
  db.Close();

  EXPECT_FALSE(CreateBaseIndexes(Env(), dir_.path() / "missing.db"));
  EXPECT_TRUE(CreateBaseIndexes(Env()));
  EXPECT_TRUE(CreateBaseIndexes(Env()));  // already there
  ASSERT_EQ(db.Open(DbPath(), true, false), 0);
  auto s = db.Prepare("SELECT name FROM sqlite_master WHERE type = 'index' ORDER BY name");
  std::vector<std::string> names;
  while (s.Step()) names.push_back(s.Text(0));
  EXPECT_EQ(names, (std::vector<std::string>{"hardid_full_index", "hardid_index", "ind_col"}));
}

#ifndef _WIN32
// --- Databases written by the generator ------------------------------------

TEST_F(DriverDatabaseTest, GeneratedSampleIsUsableAndCoversDesktopParts) {
  dbgen::DbOptions opt;
  opt.size = dbgen::DbSize::kSample;
  opt.os = 10;
  std::string error;
  int64_t rows = 0;
  ASSERT_TRUE(dbgen::WriteDriverDatabase(opt, DbPath(), &error, &rows)) << error;
  EXPECT_GE(rows, 10000);
  ASSERT_TRUE(CreateBaseIndexes(Env()));
  EXPECT_TRUE(QuickCheckDatabase(Env(10)));
  EXPECT_FALSE(QuickCheckDatabase(Env(7)));  // cut for Windows 10

  ASSERT_EQ(db_.Open(DbPath()), 0);
  for (const auto& id : dbgen::CommonDesktopIds()) {
    SCOPED_TRACE(id);
    auto items = Find(id, true);
    EXPECT_FALSE(items.empty());
    for (const auto& c : items) {
      EXPECT_NE(c.date, 0);
      EXPECT_NE(PackageNameOf(c.file_name), c.file_name);
      EXPECT_EQ(c.file_hash.size(), 32u);
    }
  }
  VendorCodeCache cache;
  EXPECT_EQ(VendorByCode(db_, "PCI\\VEN_10DE&DEV_1C82", cache), "NVIDIA");
  EXPECT_EQ(VendorByCode(db_, "USB\\VID_046D&PID_C52B", cache), "LOGITECH");
}

// The service's databases are the sample dated later: the same offers plus
// the hand-picked ones released in between (the demo's newer graphics driver).
TEST_F(DriverDatabaseTest, GeneratedSampleCarriesOnlyOffersReleasedByItsDate) {
  const struct {
    const char* date;
    bool has_newer_driver;
  } cases[] = {{"2024-03-15", false}, {"2024-04-08", false}, {"2024-04-09", true}, {"2026-12-11", true}};
  int64_t shipped_rows = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.date);
    dbgen::DbOptions opt;
    opt.size = dbgen::DbSize::kSample;
    opt.seed = dbgen::kSampleSeed;
    opt.date = c.date;
    std::string error;
    int64_t rows = 0;
    db_.Close();
    ASSERT_TRUE(dbgen::WriteDriverDatabase(opt, DbPath(), &error, &rows)) << error;
    if (shipped_rows == 0) shipped_rows = rows;  // the first case is the shipped database
    EXPECT_EQ(rows, shipped_rows + (c.has_newer_driver ? 1 : 0));
    ASSERT_EQ(db_.Open(DbPath()), 0);
    bool newer = false;
    for (const auto& item : Find("PCI\\VEN_10DE&DEV_1C03&SUBSYS_37311462", true, true, "10"))
      newer |= item.version == "31.0.15.5222";
    EXPECT_EQ(newer, c.has_newer_driver);
  }
}

TEST_F(DriverDatabaseTest, GeneratedRowCountAndSeedAreExact) {
  dbgen::DbOptions opt;
  opt.rows = 9999;
  std::string error;
  ASSERT_TRUE(dbgen::WriteDriverDatabase(opt, DbPath(), &error)) << error;
  EXPECT_FALSE(QuickCheckDatabase(Env()));
  opt.rows = 10000;
  ASSERT_TRUE(dbgen::WriteDriverDatabase(opt, DbPath(), &error)) << error;
  EXPECT_TRUE(QuickCheckDatabase(Env()));

  auto copy = dir_.path() / "again.db";
  ASSERT_TRUE(dbgen::WriteDriverDatabase(opt, copy, &error)) << error;
  SqliteDb a, b;
  ASSERT_EQ(a.Open(DbPath(), true, false), 0);
  ASSERT_EQ(b.Open(copy, true, false), 0);
  auto dump = [](SqliteDb& db) {
    std::string text;
    auto s = db.Prepare(
        "SELECT hardid, filename, version, date, os FROM hardids JOIN drivers ON hardids.id ="
        " drivers.hardid_full_index JOIN files ON files.id = drivers.file_id JOIN versions ON"
        " versions.id = drivers.version_id ORDER BY drivers.rowid");
    while (s.Step()) text += s.Text(0) + s.Text(1) + s.Text(2) + s.Text(3) + s.Text(4) + "\n";
    return text;
  };
  EXPECT_EQ(dump(a), dump(b));
}
#endif

}  // namespace
}  // namespace vx
