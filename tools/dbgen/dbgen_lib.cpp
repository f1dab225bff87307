#include "dbgen/dbgen_lib.h"

#include <sqlite3.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <set>

#include "common/text.h"
#include "common/md5.h"
#include "engine/driver_utils.h"

namespace vx::dbgen {

const char kSchemaSql[] = R"sql(
-- The driver database as the service publishes it.
--
-- The program finds offers through one join: hardids -> drivers (on
-- hardid_full_index for a full identifier, hardid_index for its short
-- vendor/device form) -> files, vendors, versions, installers (left join)
-- and devices_descriptions. It reads columns of the joined row by name, so
-- every such name exists in exactly one table:
--   drivers               hardid_index_in_line  index of the id in its INF line
--                         os                    Windows version code of the offer
--   files                 filename              package file name, stored form
--                         filehash              MD5 of the package, lower-case hex
--                         file_description      what the package is
--   vendors               vendor                canonical vendor (INTEL, REALTEK, ...)
--   versions              version, date         the DriverVer pair; date "yyyy-mm-dd"
--   installers            installer             path inside the package, "/" separated
--   devices_descriptions  device_description    the INF's name for the device
-- An offer is per Windows version because packages are built per version;
-- a version and its date always travel together, as in an INF's DriverVer.
-- hardids.hardid keeps identifiers in stored form (StoredNameTransform).
-- ven_vendors / vid_vendors map PCI and USB vendor codes (four upper-case
-- hex digits) to canonical vendors. No lookup index ships: the program
-- builds its own after download.
CREATE TABLE hardids(id INTEGER PRIMARY KEY, hardid TEXT NOT NULL);
CREATE TABLE files(id INTEGER PRIMARY KEY, filename TEXT NOT NULL, filehash TEXT NOT NULL,
                   file_description TEXT NOT NULL);
CREATE TABLE vendors(id INTEGER PRIMARY KEY, vendor TEXT NOT NULL);
CREATE TABLE versions(id INTEGER PRIMARY KEY, version TEXT NOT NULL, date TEXT NOT NULL);
CREATE TABLE installers(id INTEGER PRIMARY KEY, installer TEXT NOT NULL);
CREATE TABLE devices_descriptions(id INTEGER PRIMARY KEY, device_description TEXT NOT NULL);
CREATE TABLE drivers(hardid_index INTEGER NOT NULL, hardid_full_index INTEGER NOT NULL,
                     hardid_index_in_line INTEGER NOT NULL, file_id INTEGER NOT NULL,
                     vendor_id INTEGER NOT NULL, version_id INTEGER NOT NULL,
                     installer_id INTEGER, device_id INTEGER NOT NULL, os INTEGER NOT NULL);
CREATE TABLE ven_vendors(ven TEXT PRIMARY KEY, vendor TEXT NOT NULL);
CREATE TABLE vid_vendors(vid TEXT PRIMARY KEY, vendor TEXT NOT NULL);
CREATE TABLE settings(name TEXT PRIMARY KEY, value TEXT NOT NULL);
)sql";

// --- Writer -------------------------------------------------------------------

bool DriverDbWriter::Create(const std::filesystem::path& file, std::string* error) {
  std::error_code ec;
  std::filesystem::remove(file, ec);
  if (db_.Open(file) != SQLITE_OK) {
    *error = "cannot create " + PathUtf8(file) + ": " + db_.message();
    return false;
  }
  // A generated file is rebuilt on failure, so durability buys nothing.
  db_.Exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
  if (db_.Exec(kSchemaSql) != SQLITE_OK || db_.Exec("BEGIN") != SQLITE_OK) {
    *error = "schema: " + db_.message();
    return false;
  }
  ins_hardid_ = db_.Prepare("INSERT INTO hardids(hardid) VALUES(?1)");
  ins_file_ =
      db_.Prepare("INSERT INTO files(filename, filehash, file_description) VALUES(?1, ?2, ?3)");
  ins_vendor_ = db_.Prepare("INSERT INTO vendors(vendor) VALUES(?1)");
  ins_version_ = db_.Prepare("INSERT INTO versions(version, date) VALUES(?1, ?2)");
  ins_installer_ = db_.Prepare("INSERT INTO installers(installer) VALUES(?1)");
  ins_device_ = db_.Prepare("INSERT INTO devices_descriptions(device_description) VALUES(?1)");
  ins_driver_ = db_.Prepare(
      "INSERT INTO drivers(hardid_index, hardid_full_index, hardid_index_in_line, file_id,"
      " vendor_id, version_id, installer_id, device_id, os) VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9)");
  ins_ven_ = db_.Prepare("INSERT OR REPLACE INTO ven_vendors(ven, vendor) VALUES(?1, ?2)");
  ins_vid_ = db_.Prepare("INSERT OR REPLACE INTO vid_vendors(vid, vendor) VALUES(?1, ?2)");
  ins_setting_ = db_.Prepare("INSERT OR REPLACE INTO settings(name, value) VALUES(?1, ?2)");
  return true;
}

int64_t DriverDbWriter::Intern(std::map<std::string, int64_t>& ids, SqliteStatement& insert,
                               const std::vector<std::string>& values, const std::string& key) {
  auto it = ids.find(key);
  if (it != ids.end()) return it->second;
  insert.Reset();
  for (size_t i = 0; i < values.size(); ++i) insert.Bind(static_cast<int>(i + 1), values[i]);
  insert.Run();
  int64_t id = db_.LastInsertId();
  ids.emplace(key, id);
  return id;
}

int64_t DriverDbWriter::HardId(const std::string& plain) {
  std::string stored = StoredNameTransform(plain, true);
  return Intern(hardids_, ins_hardid_, {stored}, stored);
}

void DriverDbWriter::AddOffer(const OfferRow& row) {
  const std::string full = UpperCase(row.hardware_id);
  // The short form as the program computes it, without the SQL quoting.
  const std::string short_id = ReplaceAll(ShortHardwareId(full), "\"\"", "\"");
  int64_t full_id = HardId(full);
  int64_t short_ref = HardId(short_id);
  const std::string stored_file = StoredNameTransform(row.file_name, false);
  int64_t file = Intern(files_, ins_file_, {stored_file, row.file_hash, row.file_description},
                        stored_file + '\x1f' + row.file_hash + '\x1f' + row.file_description);
  int64_t vendor = Intern(vendors_, ins_vendor_, {row.vendor}, row.vendor);
  int64_t version =
      Intern(versions_, ins_version_, {row.version, row.date}, row.version + '\x1f' + row.date);
  int64_t device = Intern(devices_, ins_device_, {row.device_description}, row.device_description);
  ins_driver_.Reset();
  ins_driver_.Bind(1, short_ref).Bind(2, full_id).Bind(3, int64_t{row.in_line}).Bind(4, file);
  ins_driver_.Bind(5, vendor).Bind(6, version);
  if (row.installer.empty())
    ins_driver_.BindNull(7);
  else
    ins_driver_.Bind(7, Intern(installers_, ins_installer_, {row.installer}, row.installer));
  ins_driver_.Bind(8, device).Bind(9, int64_t{row.os});
  ins_driver_.Run();
  ++driver_rows_;
}

void DriverDbWriter::AddPciVendor(std::string_view code, std::string_view vendor) {
  ins_ven_.Reset();
  ins_ven_.Bind(1, code).Bind(2, vendor).Run();
}

void DriverDbWriter::AddUsbVendor(std::string_view code, std::string_view vendor) {
  ins_vid_.Reset();
  ins_vid_.Bind(1, code).Bind(2, vendor).Run();
}

void DriverDbWriter::SetSetting(std::string_view name, std::string_view value) {
  ins_setting_.Reset();
  ins_setting_.Bind(1, name).Bind(2, value).Run();
}

bool DriverDbWriter::Finish(std::string* error) {
  for (SqliteStatement* s : {&ins_hardid_, &ins_file_, &ins_vendor_, &ins_version_,
                             &ins_installer_, &ins_device_, &ins_driver_, &ins_ven_, &ins_vid_,
                             &ins_setting_})
    *s = SqliteStatement();
  bool ok = db_.Exec("COMMIT") == SQLITE_OK;
  if (!ok) *error = "commit: " + db_.message();
  db_.Close();
  return ok;
}

// --- Id lists -----------------------------------------------------------------

namespace {

struct IdsDevice {
  bool usb = false;
  std::string vendor_code;  // upper-case hex
  std::string device_code;
  std::string vendor_name;
  std::string device_name;
  std::vector<std::pair<std::string, std::string>> subsystems;  // SUBSYS_ value, name
};

struct IdsVendor {
  std::string code;
  std::string name;
};

struct IdsData {
  std::vector<IdsDevice> devices;  // PCI first, then USB, in file order
  std::vector<IdsVendor> pci_vendors, usb_vendors;
};

bool IsHex4(std::string_view s) {
  return s.size() >= 4 && std::all_of(s.begin(), s.begin() + 4, [](char c) {
           return std::isxdigit(static_cast<unsigned char>(c));
         });
}

// pci.ids / usb.ids: "vvvv  vendor", "\tdddd  device", "\t\tsv sd  subsystem";
// the vendor list ends at the first class section ("C xx  ...").
void ParseIds(const std::filesystem::path& file, bool usb, IdsData& data) {
  std::ifstream in(file, std::ios::binary);
  std::string raw;
  IdsVendor* vendor = nullptr;
  IdsDevice* device = nullptr;
  auto& vendors = usb ? data.usb_vendors : data.pci_vendors;
  std::vector<IdsDevice> devices;
  while (std::getline(in, raw)) {
    std::string line = DecodeTextFile(raw);  // usb.ids is not pure ASCII
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (line[0] != '\t') {
      if (!IsHex4(line) || line.size() < 7) {
        if (line.rfind("C ", 0) == 0) break;
        vendor = nullptr;
        continue;
      }
      vendors.push_back({AsciiUpper(line.substr(0, 4)), Trim(line.substr(4))});
      vendor = &vendors.back();
      device = nullptr;
    } else if (line.size() > 1 && line[1] != '\t') {
      if (!vendor || !IsHex4(line.substr(1))) continue;
      devices.push_back({usb, vendor->code, AsciiUpper(line.substr(1, 4)), vendor->name,
                         Trim(line.substr(5)), {}});
      device = &devices.back();
    } else if (device && !usb && line.size() > 12 && IsHex4(line.substr(2)) &&
               IsHex4(line.substr(7))) {
      // Windows writes SUBSYS_ as subsystem device id then subsystem vendor.
      device->subsystems.emplace_back(AsciiUpper(line.substr(7, 4) + line.substr(2, 4)),
                                      Trim(line.substr(11)));
    }
  }
  for (auto& d : devices) data.devices.push_back(std::move(d));
}

// splitmix64: small, fast and the same everywhere.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
  int Range(int lo, int hi) { return lo + static_cast<int>(Next() % uint64_t(hi - lo + 1)); }
  bool Chance(int percent) { return Range(0, 99) < percent; }
  template <class T>
  const T& Pick(const std::vector<T>& v) {
    return v[Next() % v.size()];
  }

 private:
  uint64_t state_;
};

std::string Hex(uint64_t value, int digits) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string s(digits, '0');
  for (int i = digits - 1; i >= 0; --i, value >>= 4) s[i] = kHex[value & 15];
  return s;
}

// A lower-case word for package names: letters and digits of the first
// word of a device name.
std::string Slug(std::string_view text, size_t max) {
  std::string s;
  for (char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c)))
      s += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    else if (!s.empty())
      break;
    if (s.size() >= max) break;
  }
  return s.empty() ? "driver" : s;
}

const std::vector<std::string> kOemVendors = {"ASUS",   "DELL",     "LENOVO",  "HP",
                                              "ACER",   "MICROSTAR", "GIGABYTE", "TOSHIBA"};

struct Generator {
  const DbOptions& opt;
  DriverDbWriter& writer;
  Rng rng;
  int64_t target;
  int64_t package_serial = 0;

  bool Done() const { return writer.driver_rows() >= target; }

  std::vector<int> OsCodes() {
    if (opt.os != 0) return {opt.os};
    // Packages cover a run of consecutive Windows versions.
    constexpr int n = static_cast<int>(std::size(kWindowsCodes));
    int first = rng.Range(0, n - 1);
    int count = rng.Range(1, std::min(4, n - first));
    return {kWindowsCodes + first, kWindowsCodes + first + count};
  }

  std::vector<std::pair<std::string, std::string>> Identifiers(const IdsDevice& d,
                                                               std::string_view common_id) {
    std::vector<std::pair<std::string, std::string>> ids;  // id, description
    if (!common_id.empty() && common_id.rfind("HDAUDIO\\", 0) == 0) {
      ids.emplace_back(std::string(common_id), d.device_name);
      for (int i = rng.Range(1, 3); i > 0; --i)
        ids.emplace_back(std::string(common_id) + "&SUBSYS_" + Hex(rng.Next(), 8), d.device_name);
      return ids;
    }
    if (d.usb) {
      std::string base = "USB\\VID_" + d.vendor_code + "&PID_" + d.device_code;
      ids.emplace_back(base, d.device_name);
      if (rng.Chance(50)) ids.emplace_back(base + "&REV_" + Hex(rng.Range(0, 0x3000), 4), d.device_name);
      if (rng.Chance(30)) ids.emplace_back(base + "&MI_0" + std::to_string(rng.Range(0, 3)), d.device_name);
      return ids;
    }
    std::string base = "PCI\\VEN_" + d.vendor_code + "&DEV_" + d.device_code;
    ids.emplace_back(base, d.device_name);
    int subsys = rng.Range(0, 3);
    for (int i = 0; i < subsys; ++i) {
      if (!d.subsystems.empty() && rng.Chance(70)) {
        const auto& [value, name] = rng.Pick(d.subsystems);
        ids.emplace_back(base + "&SUBSYS_" + value, name);
      } else {
        ids.emplace_back(base + "&SUBSYS_" + Hex(rng.Next(), 8), d.device_name);
      }
    }
    if (rng.Chance(25)) ids.emplace_back(base + "&REV_" + Hex(rng.Range(0, 0xFF), 2), d.device_name);
    return ids;
  }

  void Package(const IdsDevice& d, std::string_view common_id) {
    std::string vendor = CanonicalVendor(d.vendor_name);
    if (vendor.empty() || rng.Chance(12)) vendor = rng.Pick(kOemVendors);
    double day = *DateFromCivil(2008, 1, 1) + rng.Range(0, 16 * 365);
    std::string date = FormatDate(day, true);
    std::string version = std::to_string(rng.Range(1, 30)) + "." + std::to_string(rng.Range(0, 99)) +
                          "." + std::to_string(rng.Range(0, 9999));
    if (rng.Chance(70)) version += "." + std::to_string(rng.Range(0, 9999));
    const char* arch = opt.arch == 64 ? "x64" : "x86";
    const char* ext = rng.Chance(50) ? ".zip" : rng.Chance(60) ? ".exe" : ".7z";
    std::string file_name = Hex(static_cast<uint64_t>(++package_serial) * 2654435761u, 8) + "_" +
                            AsciiLower(vendor) + "-" + Slug(d.device_name, 12) + "-" + version +
                            "-" + arch + ext;
    std::string hash = Md5Hex(file_name + "/" + std::to_string(opt.seed));
    std::string installer;
    if (std::string_view(ext) != ".exe") {
      int kind = rng.Range(0, 9);
      if (kind < 5)
        installer = "setup.exe";
      else if (kind < 7)
        installer = std::string("Drivers/") + arch + "/" + Slug(d.device_name, 8) + ".inf";
    }
    std::string description = d.vendor_name + " " + d.device_name + " driver";
    auto ids = Identifiers(d, common_id);
    for (int os : OsCodes()) {
      for (size_t i = 0; i < ids.size(); ++i) {
        OfferRow row{ids[i].first, static_cast<int>(i), os, vendor, version, date, file_name,
                     hash, description, installer, ids[i].second};
        if (Done()) return;
        writer.AddOffer(row);
        // INFs list a device again under another model name now and then.
        if (rng.Chance(3) && !Done()) {
          row.device_description += " (" + std::string(arch) + ")";
          writer.AddOffer(row);
        }
      }
    }
  }
};

// Names for common ids missing from the installed lists.
IdsDevice DeviceFor(const std::string& id, const std::map<std::string, const IdsDevice*>& index) {
  bool usb = id.rfind("USB\\", 0) == 0;
  std::string_view v = usb ? "VID_" : "VEN_";
  std::string_view p = usb ? "PID_" : "DEV_";
  std::string vc = id.substr(id.find(v) + 4, 4);
  std::string dc = id.substr(id.find(p) + 4, 4);
  auto it = index.find(std::string(usb ? "U" : "P") + vc + dc);
  if (it != index.end()) return *it->second;
  IdsDevice d;
  d.usb = usb;
  d.vendor_code = vc;
  d.device_code = dc;
  auto vit = index.find(std::string(usb ? "U" : "P") + vc);
  d.vendor_name = vit != index.end() ? vit->second->vendor_name : "Generic";
  d.device_name = id.rfind("HDAUDIO\\", 0) == 0 ? "High Definition Audio Codec " + dc
                                                 : "Device " + dc;
  return d;
}

// Offers written for the devices of the sample machines in data/machines,
// so that each of them scans to a realistic handful of updates and a few
// declined candidates (an older release, another vendor's part) rather
// than all or nothing. Appended after the generated rows, which therefore
// stay the same as before these existed.
struct SampleOffer {
  const char* hardware_id;
  int os;
  const char* vendor;
  const char* version;
  const char* date;
  const char* slug;
  const char* device_description;
  const char* installer;
};

constexpr SampleOffer kSampleOffers[] = {
    // desktop-win10-x64: the failed crypto coprocessor gets AMD's driver; an
    // older Realtek release and an ASMedia package for AMD's SATA part decline.
    {"PCI\\VEN_1022&DEV_1486", 10, "AMD", "5.17.0.0", "2021-09-01", "psp",
     "AMD PSP 11.0 Device", "setup.exe"},
    {"PCI\\VEN_10EC&DEV_8168", 10, "REALTEK", "10.35.510.2019", "2019-05-10", "pcie-gbe",
     "Realtek PCIe GbE Family Controller", ""},
    {"PCI\\VEN_1022&DEV_43C8", 10, "ASMEDIA", "3.2.3.0", "2020-02-14", "sata",
     "ASMedia 106x SATA Controller", "Drivers/x64/asahci.inf"},
    // laptop-win7-x86: graphics, wireless, audio and ME updates; an older
    // UltraNav and Bluetooth release and another maker's display audio decline.
    {"PCI\\VEN_8086&DEV_0046", 7, "INTEL", "8.15.10.2869", "2012-10-04", "hd-graphics",
     "Intel(R) HD Graphics", "setup.exe"},
    {"PCI\\VEN_8086&DEV_4239&SUBSYS_13168086", 7, "INTEL", "15.16.0.2", "2015-03-09", "centrino",
     "Intel(R) Centrino(R) Advanced-N 6200 AGN", "setup.exe"},
    {"HDAUDIO\\FUNC_01&VEN_14F1&DEV_5069&SUBSYS_17AA2156", 7, "CONEXANT", "4.119.0.64",
     "2011-03-04", "smartaudio", "Conexant 20585 SmartAudio HD", "setup.exe"},
    {"PCI\\VEN_8086&DEV_3B64", 7, "INTEL", "7.1.21.1134", "2012-01-16", "mei",
     "Intel(R) Management Engine Interface", ""},
    {"ACPI\\IBM3780", 7, "SYNAPTICS", "15.0.18.0", "2010-06-28", "ultranav",
     "ThinkPad UltraNav Pointing Device", "setup.exe"},
    {"USB\\VID_0A5C&PID_217F", 7, "BROADCOM", "6.2.0.9100", "2008-11-20", "bluetooth",
     "ThinkPad Bluetooth with Enhanced Data Rate II", "setup.exe"},
    {"HDAUDIO\\FUNC_01&VEN_8086&DEV_2804", 7, "DELL", "6.14.0.3090", "2012-06-11", "hdmi-audio",
     "Dell HDMI Audio", "setup.exe"},
    // desktop-winxp-x86: network, audio, graphics and the SMBus driver the
    // chipset package adds; an older printer driver, a mouse driver older
    // than Windows' own and a board maker's package for the memory
    // controller decline.
    {"PCI\\VEN_10EC&DEV_8139", 5, "REALTEK", "5.728.0618.2008", "2008-06-18", "rtl8139",
     "Realtek RTL8139 Family PCI Fast Ethernet NIC", "setup.exe"},
    {"HDAUDIO\\FUNC_01&VEN_10EC&DEV_0880", 5, "REALTEK", "5.10.0.6305", "2011-03-14", "hd-audio",
     "Realtek High Definition Audio", "setup.exe"},
    {"PCI\\VEN_8086&DEV_2772", 5, "INTEL", "6.14.10.5009", "2008-11-12", "gma950",
     "Intel(R) 82945G Express Chipset Family", "setup.exe"},
    {"PCI\\VEN_8086&DEV_27DA", 5, "INTEL", "9.1.1.1025", "2009-07-02", "chipset",
     "Intel(R) 82801G (ICH7 Family) SMBus Controller - 27DA", "setup.exe"},
    {"USBPRINT\\HEWLETT-PACKARDHP_LAA3B4", 5, "HP", "5.0.2195.0", "2003-04-11", "lj1020",
     "HP LaserJet 1020", "setup.exe"},
    {"PCI\\VEN_8086&DEV_2770", 5, "ASUS", "8.3.0.1011", "2007-03-02", "p5gc",
     "ASUS P5GC Chipset Driver", "setup.exe"},
    {"USB\\VID_046D&PID_C016", 5, "LOGITECH", "1.10.0.0", "2000-11-02", "mouseware",
     "Logitech USB Optical Wheel Mouse", "setup.exe"},
    // Released after the database new machines ship (dated 2024-03-15), so
    // only later databases, such as the service's, carry it: updating the
    // database brings desktop-win10-x64 a graphics driver, and the weak
    // match it declined for that card loses to it.
    {"PCI\\VEN_10DE&DEV_1C03&SUBSYS_37311462", 10, "NVIDIA", "31.0.15.5222", "2024-04-09",
     "geforce", "NVIDIA GeForce GTX 1060 6GB", "setup.exe"},
};

void AddSampleOffers(const DbOptions& opt, DriverDbWriter& writer) {
  const char* arch = opt.arch == 64 ? "x64" : "x86";
  uint64_t serial = 0xC0DE0000;
  for (const SampleOffer& o : kSampleOffers) {
    ++serial;
    if (opt.os != 0 && opt.os != o.os) continue;
    // A database carries only what was released by its date.
    if (std::string_view(o.date) > opt.date) continue;
    const std::string file_name = Hex(serial, 8) + "_" + AsciiLower(o.vendor) + "-" + o.slug + "-" +
                                  o.version + "-" + arch + ".zip";
    OfferRow row{o.hardware_id, 0, o.os, o.vendor, o.version, o.date, file_name,
                 Md5Hex(file_name + "/" + std::to_string(opt.seed)),
                 std::string(o.device_description) + " driver", o.installer, o.device_description};
    writer.AddOffer(row);
  }
}

}  // namespace

const std::vector<std::string>& CommonDesktopIds() {
  static const std::vector<std::string> ids = {
      // Intel chipsets (7, 100, 200, 300 series): USB xHCI, MEI, SMBus, SATA, audio
      "PCI\\VEN_8086&DEV_1E31", "PCI\\VEN_8086&DEV_1E3A", "PCI\\VEN_8086&DEV_1E22",
      "PCI\\VEN_8086&DEV_1E20", "PCI\\VEN_8086&DEV_1E02", "PCI\\VEN_8086&DEV_A12F",
      "PCI\\VEN_8086&DEV_A13A", "PCI\\VEN_8086&DEV_A170", "PCI\\VEN_8086&DEV_A102",
      "PCI\\VEN_8086&DEV_A123", "PCI\\VEN_8086&DEV_A2AF", "PCI\\VEN_8086&DEV_A2BA",
      "PCI\\VEN_8086&DEV_A2F0", "PCI\\VEN_8086&DEV_A282", "PCI\\VEN_8086&DEV_A36D",
      "PCI\\VEN_8086&DEV_A360", "PCI\\VEN_8086&DEV_A348", "PCI\\VEN_8086&DEV_A352",
      "PCI\\VEN_8086&DEV_A323", "PCI\\VEN_8086&DEV_2822",
      // Intel graphics, Ethernet, Wi-Fi
      "PCI\\VEN_8086&DEV_0162", "PCI\\VEN_8086&DEV_0412", "PCI\\VEN_8086&DEV_1912",
      "PCI\\VEN_8086&DEV_5912", "PCI\\VEN_8086&DEV_3E92", "PCI\\VEN_8086&DEV_9BC5",
      "PCI\\VEN_8086&DEV_153A", "PCI\\VEN_8086&DEV_153B", "PCI\\VEN_8086&DEV_15B8",
      "PCI\\VEN_8086&DEV_15BC", "PCI\\VEN_8086&DEV_1533", "PCI\\VEN_8086&DEV_10D3",
      "PCI\\VEN_8086&DEV_24FB", "PCI\\VEN_8086&DEV_24FD", "PCI\\VEN_8086&DEV_2723",
      "PCI\\VEN_8086&DEV_095A",
      // AMD chipsets and graphics
      "PCI\\VEN_1022&DEV_149C", "PCI\\VEN_1022&DEV_43D5", "PCI\\VEN_1022&DEV_7901",
      "PCI\\VEN_1022&DEV_790B", "PCI\\VEN_1022&DEV_1457", "PCI\\VEN_1022&DEV_1487",
      "PCI\\VEN_1022&DEV_15E3", "PCI\\VEN_1022&DEV_145F", "PCI\\VEN_1002&DEV_67DF",
      "PCI\\VEN_1002&DEV_731F", "PCI\\VEN_1002&DEV_73BF", "PCI\\VEN_1002&DEV_15D8",
      "PCI\\VEN_1002&DEV_699F", "PCI\\VEN_1002&DEV_687F", "PCI\\VEN_1002&DEV_AAF0",
      "PCI\\VEN_1002&DEV_AB38",
      // NVIDIA graphics and their HDMI audio
      "PCI\\VEN_10DE&DEV_13C2", "PCI\\VEN_10DE&DEV_1401", "PCI\\VEN_10DE&DEV_1B80",
      "PCI\\VEN_10DE&DEV_1B81", "PCI\\VEN_10DE&DEV_1C03", "PCI\\VEN_10DE&DEV_1C82",
      "PCI\\VEN_10DE&DEV_1F08", "PCI\\VEN_10DE&DEV_2184", "PCI\\VEN_10DE&DEV_2204",
      "PCI\\VEN_10DE&DEV_2484", "PCI\\VEN_10DE&DEV_2503", "PCI\\VEN_10DE&DEV_10F0",
      "PCI\\VEN_10DE&DEV_10F1",
      // Realtek network and card readers, other common controllers
      "PCI\\VEN_10EC&DEV_8168", "PCI\\VEN_10EC&DEV_8136", "PCI\\VEN_10EC&DEV_8125",
      "PCI\\VEN_10EC&DEV_5229", "PCI\\VEN_10EC&DEV_B822", "PCI\\VEN_10EC&DEV_C821",
      "PCI\\VEN_10EC&DEV_8179", "PCI\\VEN_1B21&DEV_1142", "PCI\\VEN_1B21&DEV_0612",
      "PCI\\VEN_1B21&DEV_1242", "PCI\\VEN_144D&DEV_A804", "PCI\\VEN_144D&DEV_A808",
      "PCI\\VEN_168C&DEV_0032", "PCI\\VEN_168C&DEV_0036", "PCI\\VEN_168C&DEV_003E",
      "PCI\\VEN_14E4&DEV_43A0", "PCI\\VEN_1106&DEV_3483",
      // HD audio codecs
      "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0887", "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0892",
      "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0897", "HDAUDIO\\FUNC_01&VEN_10EC&DEV_1220",
      "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0269", "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0662",
      "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0256", "HDAUDIO\\FUNC_01&VEN_8086&DEV_2807",
      "HDAUDIO\\FUNC_01&VEN_8086&DEV_280B", "HDAUDIO\\FUNC_01&VEN_10DE&DEV_0083",
      // USB: receivers, mice, keyboards, webcams, Bluetooth, network, storage, hubs
      "USB\\VID_046D&PID_C52B", "USB\\VID_046D&PID_C077", "USB\\VID_046D&PID_C31C",
      "USB\\VID_046D&PID_0825", "USB\\VID_8087&PID_0AAA", "USB\\VID_8087&PID_0029",
      "USB\\VID_8087&PID_0A2B", "USB\\VID_0BDA&PID_8153", "USB\\VID_0BDA&PID_0129",
      "USB\\VID_0BDA&PID_B812", "USB\\VID_0A12&PID_0001", "USB\\VID_05E3&PID_0608",
      "USB\\VID_05E3&PID_0610", "USB\\VID_045E&PID_0745", "USB\\VID_0781&PID_5567",
  };
  return ids;
}

int64_t DefaultRows(DbSize size) {
  switch (size) {
    case DbSize::kSmall:
      return 400;
    case DbSize::kSample:
      return 12000;
    case DbSize::kLarge:
      return 1000000;
  }
  return 400;
}

bool WriteDriverDatabase(const DbOptions& opt, const std::filesystem::path& out,
                         std::string* error, int64_t* rows_written) {
  IdsData data;
  ParseIds(opt.pci_ids, false, data);
  ParseIds(opt.usb_ids, true, data);
  if (data.devices.empty()) {
    *error = "no devices read from " + PathUtf8(opt.pci_ids) + " and " + PathUtf8(opt.usb_ids);
    return false;
  }
  std::map<std::string, const IdsDevice*> index;
  for (const auto& d : data.devices) {
    std::string kind = d.usb ? "U" : "P";
    index.emplace(kind + d.vendor_code + d.device_code, &d);
    index.emplace(kind + d.vendor_code, &d);
  }

  DriverDbWriter writer;
  if (!writer.Create(out, error)) return false;
  for (const auto& v : data.pci_vendors)
    if (auto c = CanonicalVendor(v.name); !c.empty()) writer.AddPciVendor(v.code, c);
  for (const auto& v : data.usb_vendors)
    if (auto c = CanonicalVendor(v.name); !c.empty()) writer.AddUsbVendor(v.code, c);
  writer.SetSetting("date", opt.date);
  writer.SetSetting("cut", opt.os != 0 ? "1" : "0");
  writer.SetSetting("os", std::to_string(opt.os));
  writer.SetSetting("plain", "0");
  writer.SetSetting("arch", std::to_string(opt.arch));

  Generator gen{opt, writer, Rng(opt.seed), opt.rows >= 0 ? opt.rows : DefaultRows(opt.size)};
  // The common desktop parts first, so every size covers them, then the
  // rest of the id lists in a seed-dependent order, round after round.
  std::vector<IdsDevice> common;
  for (const auto& id : CommonDesktopIds()) common.push_back(DeviceFor(id, index));
  for (int round = 0; round < 3 && !gen.Done(); ++round)
    for (size_t i = 0; i < common.size() && !gen.Done(); ++i)
      gen.Package(common[i], CommonDesktopIds()[i]);

  std::vector<const IdsDevice*> pool;
  for (const auto& d : data.devices) pool.push_back(&d);
  for (size_t i = pool.size(); i > 1; --i) std::swap(pool[i - 1], pool[gen.rng.Next() % i]);
  while (!gen.Done())
    for (size_t i = 0; i < pool.size() && !gen.Done(); ++i) gen.Package(*pool[i], {});
  if (opt.size == DbSize::kSample && opt.rows < 0) AddSampleOffers(opt, writer);

  if (rows_written) *rows_written = writer.driver_rows();
  return writer.Finish(error);
}

// --- Archive ------------------------------------------------------------------

// Packing needs the 7z command line tool, which only the Linux build calls;
// the Windows build writes databases (test fixtures) but no archives.
#ifndef _WIN32
namespace {

int RunProgram(const std::vector<std::string>& args) {
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // 7z is chatty; its output is not ours to show.
    if (FILE* null = std::fopen("/dev/null", "w")) dup2(fileno(null), 1);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

bool WriteDatabaseArchive(const std::filesystem::path& db, const std::filesystem::path& out,
                          std::string* md5, std::string* error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  // The updater extracts exactly "Drivers.db"; stage the file under that name.
  fs::path stage = fs::temp_directory_path(ec) / ("dbgen-" + std::to_string(getpid()));
  fs::remove_all(stage, ec);
  fs::create_directories(stage, ec);
  fs::path staged = stage / "Drivers.db";
  if (!fs::copy_file(db, staged, fs::copy_options::overwrite_existing, ec)) {
    *error = "cannot copy " + PathUtf8(db) + ": " + ec.message();
    fs::remove_all(stage, ec);
    return false;
  }
  fs::path target = fs::absolute(out, ec);
  fs::remove(target, ec);
  int rc = RunProgram({"7z", "a", "-t7z", "-mx=5", PathUtf8(target), PathUtf8(staged)});
  fs::remove_all(stage, ec);
  if (rc != 0) {
    *error = "7z failed (exit code " + std::to_string(rc) + ")";
    return false;
  }
  auto digest = Md5HexOfFile(target);
  if (!digest) {
    *error = "cannot read " + PathUtf8(target);
    return false;
  }
  std::ofstream(fs::path(target).concat(".md5"), std::ios::binary) << *digest << "\n";
  *md5 = *digest;
  return true;
}
#else
bool WriteDatabaseArchive(const std::filesystem::path&, const std::filesystem::path&,
                          std::string*, std::string* error) {
  *error = "packing a database archive needs the 7z command of the Linux build";
  return false;
}
#endif

}  // namespace vx::dbgen
