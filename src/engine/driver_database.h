// The driver database: an SQLite file downloaded from the service and only
// read, apart from the indexes the program adds. Identifiers and package
// file names are kept in the stored (scrambled) form of StoredNameTransform;
// every lookup converts before querying and after reading.
//
// Every value taken from a device or a caller reaches SQLite as a bound
// parameter, never as part of the statement text: an identifier such as
// HARDID must find the rows stored for HARDID, not be read as a column name.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "engine/driver_item.h"
#include "platform/sqlite_db.h"

namespace vx {

inline constexpr std::string_view kDatabaseName64 = "Drivers64.db";
inline constexpr std::string_view kDatabaseName32 = "Drivers32.db";

// What the database operations need to know about the program and the PC;
// filled from the program parameters by the caller.
struct DatabaseEnv {
  std::filesystem::path base_dir;  // BaseDir
  bool windows64 = true;           // the database name follows the Windows bitness
  int windows_code = 10;           // 5, 6, 7, 8, 81 or 10
  bool install_mode = false;       // the program was started with "/INSTALL"
  // The pause between two index builds, and what ends it early (the
  // program closing); tests shorten it.
  std::chrono::milliseconds index_pause{500};
  std::function<bool()> closing;
};

// "Drivers64.db" on 64-bit Windows, else "Drivers32.db".
std::string_view DatabaseFileName(bool windows64);
// BaseDir + the database name.
std::filesystem::path DefaultDatabasePath(const DatabaseEnv& env);
// `path` itself, or the default when empty.
std::filesystem::path DatabasePathOrDefault(const DatabaseEnv& env,
                                            const std::filesystem::path& path);

// An open driver database with the lookup statements prepared once, so a
// scan pays for parsing SQL once and not per identifier.
class DriverDatabase {
 public:
  DriverDatabase() = default;
  DriverDatabase(const DriverDatabase&) = delete;
  DriverDatabase& operator=(const DriverDatabase&) = delete;

  // Opens an existing file read-only; returns the SQLite result code
  // (0 = success); message() tells why it failed.
  int Open(const std::filesystem::path& file);
  void Close();
  bool is_open() const { return db_.is_open(); }
  std::string message() const { return db_.message(); }
  SqliteDb& sqlite() { return db_; }

  // The Windows version a lookup filters by when the caller passes none.
  int windows_code() const { return windows_code_; }
  void set_windows_code(int code) { windows_code_ = code; }

  // The prepared statements of the lookup functions below, made on first use.
  struct Lookup {
    SqliteStatement stmt;
    // Column positions read by name, found once per prepared statement.
    int in_line = -1, date = -1, version = -1, vendor = -1, filename = -1, installer = -1,
        file_description = -1, device_description = -1, filehash = -1;
  };
  Lookup* LookupStatement(bool full_id, bool filter_os);
  SqliteStatement* VendorStatement(bool usb);

 private:
  SqliteDb db_;
  int windows_code_ = 10;
  std::optional<Lookup> lookups_[2][2];  // [full_id][filter_os]
  SqliteStatement ven_;
  SqliteStatement vid_;
};

// Keys already queried for one device in one mode.
using HidDoneList = std::unordered_set<std::string>;

// Appends the candidates of every identifier of the comma-separated list.
// windows_version is the decimal Windows version code the offers must be
// for (empty = db.windows_code()); whole_database drops that filter (a cut
// database holds one Windows version only). full_id picks the full-identifier
// index, otherwise the short form is queried, and identifiers that are
// already short are skipped (the full-id pass covers them). Every queried
// key is added to `done`, and keys found there are skipped. Returns false
// when a statement fails (logged); the scan then ends.
bool FindDriversByHID(DriverDatabase& db, TDriverItems& candidates, std::string_view id_list,
                      std::string_view windows_version, HidDoneList& done, bool whole_database,
                      bool full_id, bool from_hardware_ids);

// Vendor names of PCI ("VEN_" + code) and USB ("VID_" + code) vendor codes,
// remembered for the life of the process: every device repeats the same few
// codes. A code known to have no vendor is remembered as well.
class VendorCodeCache {
 public:
  static constexpr std::string_view kNoVendor = "EMPTY";
  // nullopt: not asked yet; otherwise the vendor, empty for a code that has
  // none (a vendor really called "EMPTY" stays a vendor).
  std::optional<std::string> Find(const std::string& key) const;
  // The entry as the log and diagnostics show it: the vendor, kNoVendor for
  // a code without vendor, empty when the code was never asked.
  std::string Entry(const std::string& key) const;
  void Store(const std::string& key, std::string vendor);  // empty = no vendor
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::string> entries_;  // empty value = no vendor
};
VendorCodeCache& ProcessVendorCodeCache();

// The vendor owning the identifier's VEN_ code, else its VID_ code; empty
// when neither code names one. The code runs from after "VEN_"/"VID_" to
// the next "&" or the end of the identifier.
std::string VendorByCode(DriverDatabase& db, std::string_view id,
                         VendorCodeCache& cache = ProcessVendorCodeCache());

// The single vendor the codes of all identifiers of the list agree on;
// empty when none names one or two name different vendors.
std::string DeviceVendorByCodes(DriverDatabase& db, std::string_view id_list,
                                VendorCodeCache& cache = ProcessVendorCodeCache());

// The value of a settings row ("date", "cut", "os", "plain"); empty when
// the row is missing.
std::string ReadDatabaseSetting(SqliteDb& db, std::string_view name);
inline std::string ReadDatabaseSetting(DriverDatabase& db, std::string_view name) {
  return ReadDatabaseSetting(db.sqlite(), name);
}

// Adds the three lookup indexes (the file is downloaded without them).
// `path` empty = the default database. True when all three exist afterwards.
bool CreateBaseIndexes(const DatabaseEnv& env, const std::filesystem::path& path = {});

// True when the default database (or `path`) is usable on this PC: it opens,
// holds at least 10000 driver rows, stores names scrambled, and is either
// for every Windows or cut for this one.
bool QuickCheckDatabase(const DatabaseEnv& env, const std::filesystem::path& path = {});

}  // namespace vx
