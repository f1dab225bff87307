// Writes driver databases the way the service publishes them: the schema
// the program reads, identifiers and package file names in stored form, the
// settings rows, vendor-code tables from the PCI and USB id lists, and
// offers generated deterministically from a seed. Also packs a database
// into the 7z archive the updater downloads.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sqlite_db.h"

namespace vx::dbgen {

// The tables, with the comment saying which table holds which column.
extern const char kSchemaSql[];

// One offer row as a service INF crawler would see it: one hardware id of
// one INF line of one package, for one Windows version. Plain forms; the
// writer stores the scrambled ones.
struct OfferRow {
  std::string hardware_id;  // upper case, e.g. PCI\VEN_8086&DEV_1E31&SUBSYS_...
  int in_line = 0;          // the id's index within its INF line
  int os = 10;              // Windows version code
  std::string vendor;       // canonical vendor
  std::string version;
  std::string date;          // "yyyy-mm-dd"
  std::string file_name;     // download file name, "prefix_rest" with the rest in lower case
  std::string file_hash;     // MD5 of the package, lower-case hex
  std::string file_description;
  std::string installer;  // "/"-separated path inside the package; empty = none
  std::string device_description;
};

// Writes one database in one transaction with prepared statements; the
// lookup tables (hardids, files, ...) are shared by offers that agree.
class DriverDbWriter {
 public:
  // Replaces `file` with an empty database holding the schema.
  bool Create(const std::filesystem::path& file, std::string* error);
  void AddOffer(const OfferRow& row);
  void AddPciVendor(std::string_view code, std::string_view vendor);
  void AddUsbVendor(std::string_view code, std::string_view vendor);
  void SetSetting(std::string_view name, std::string_view value);
  // Commits and closes.
  bool Finish(std::string* error);
  int64_t driver_rows() const { return driver_rows_; }

 private:
  int64_t Intern(std::map<std::string, int64_t>& ids, SqliteStatement& insert,
                 const std::vector<std::string>& values, const std::string& key);
  int64_t HardId(const std::string& plain);

  SqliteDb db_;
  SqliteStatement ins_hardid_, ins_file_, ins_vendor_, ins_version_, ins_installer_, ins_device_,
      ins_driver_, ins_ven_, ins_vid_, ins_setting_;
  std::map<std::string, int64_t> hardids_, files_, vendors_, versions_, installers_, devices_;
  int64_t driver_rows_ = 0;
};

// --- Generated databases ------------------------------------------------------

enum class DbSize { kSmall, kSample, kLarge };

struct DbOptions {
  DbSize size = DbSize::kSmall;
  uint64_t seed = 1;
  int arch = 64;              // 32 or 64
  int os = 0;                 // 0: every Windows version (not cut); else a cut database
  int64_t rows = -1;          // exact driver row count; -1 = the size's default
  // The settings row "date"; hand-picked sample offers released after it
  // are left out, as from any database made that day.
  std::string date = "2024-03-15";
  std::filesystem::path pci_ids = "/usr/share/misc/pci.ids";
  std::filesystem::path usb_ids = "/usr/share/misc/usb.ids";
};

int64_t DefaultRows(DbSize size);  // small 400, sample 12000, large 1000000

// The seed of the sample database new machines ship (vxsim create) and
// the service publishes (dbgen service), so that a sample PC updated from
// the service keeps its offers.
inline constexpr uint64_t kSampleSeed = 1;

// The Windows version codes offers are generated for.
inline constexpr int kWindowsCodes[] = {5, 6, 7, 8, 81, 10};

// Hardware ids every sample database offers drivers for: the chipset, USB,
// network, graphics, audio, storage and Bluetooth parts of typical Intel,
// AMD, NVIDIA and Realtek desktops (short forms, plus the HD audio codecs).
const std::vector<std::string>& CommonDesktopIds();

bool WriteDriverDatabase(const DbOptions& options, const std::filesystem::path& out,
                         std::string* error, int64_t* rows_written = nullptr);

// Packs `db` as "Drivers.db" into the 7z archive `out` (with the 7z
// command) and writes its MD5 beside it as `out` + ".md5". Returns the MD5.
bool WriteDatabaseArchive(const std::filesystem::path& db, const std::filesystem::path& out,
                          std::string* md5, std::string* error);

}  // namespace vx::dbgen
