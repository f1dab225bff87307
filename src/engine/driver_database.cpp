#include "engine/driver_database.h"

#include <sqlite3.h>

#include <charconv>
#include <cstdio>
#include <thread>
#include <unordered_set>

#include "common/closing.h"
#include "common/logger.h"
#include "common/text.h"
#include "engine/driver_utils.h"

namespace vx {
namespace {

// The join the scan reads candidates from. Only the hardware-id index
// column differs between the full and the short form; the value and the
// Windows filter are parameters.
// Only the columns a candidate is made of: every further column is decoded
// for every row.
constexpr std::string_view kLookupHead =
    "SELECT hardid_index_in_line, date, version, vendor, filename, installer,"
    " file_description, device_description, filehash"
    " FROM hardids JOIN drivers ON hardids.id = drivers.";
constexpr std::string_view kLookupTail =
    " JOIN files ON files.id = drivers.file_id"
    " JOIN vendors ON vendors.id = drivers.vendor_id"
    " JOIN versions ON versions.id = drivers.version_id"
    " LEFT JOIN installers ON installers.id = drivers.installer_id"
    " JOIN devices_descriptions ON devices_descriptions.id = drivers.device_id"
    " WHERE hardids.hardid = ?1";
constexpr std::string_view kOsFilter = " AND os = ?2";

constexpr const char* kIndexStatements[3] = {
    "CREATE INDEX IF NOT EXISTS hardid_index on drivers(hardid_index);",
    "CREATE INDEX IF NOT EXISTS hardid_full_index on drivers(hardid_full_index);",
    "CREATE INDEX IF NOT EXISTS ind_col on hardids(hardid);",
};

// QuoteHardwareId doubles double quotes so the key could sit inside a
// quoted SQL literal; a bound value must carry the character itself.
std::string BoundValue(std::string_view quoted) { return ReplaceAll(quoted, "\"\"", "\""); }

std::optional<int64_t> DecimalInteger(std::string_view text) {
  int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

std::string DecimalDate(double date) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", date);
  return buf;
}

// The fields that make two offers the same package for the user; rows that
// differ elsewhere (a device description, say) are one candidate. Fields
// are separated so that "AB"+"C" and "A"+"BC" stay different.
std::string Signature(const TDriverItem& item) {
  std::string s;
  for (const std::string& part : {item.vendor, DecimalDate(item.date), item.version,
                                  item.file_name, item.installer, item.file_hash}) {
    s += part;
    s += '\x1f';
  }
  return s;
}

// Waits `pause` in short steps, ending early when the program closes.
void Pause(const DatabaseEnv& env) {
  using namespace std::chrono;
  const auto end = steady_clock::now() + env.index_pause;
  while (steady_clock::now() < end) {
    if (ProgramClosing() || (env.closing && env.closing())) return;
    auto left = duration_cast<milliseconds>(end - steady_clock::now());
    std::this_thread::sleep_for(std::min(left, milliseconds(50)));
  }
}

bool FileExists(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

// --- File choice --------------------------------------------------------------

std::string_view DatabaseFileName(bool windows64) {
  return windows64 ? kDatabaseName64 : kDatabaseName32;
}

std::filesystem::path DefaultDatabasePath(const DatabaseEnv& env) {
  return env.base_dir / U8Path(DatabaseFileName(env.windows64));
}

std::filesystem::path DatabasePathOrDefault(const DatabaseEnv& env,
                                            const std::filesystem::path& path) {
  return path.empty() ? DefaultDatabasePath(env) : path;
}

// --- Connection ---------------------------------------------------------------

int DriverDatabase::Open(const std::filesystem::path& file) {
  Close();
  int rc = db_.Open(file, /*read_only=*/true, /*create=*/false);
  // Index creation by another connection may briefly hold a write lock.
  if (rc == SQLITE_OK) db_.SetBusyTimeout(5000);
  return rc;
}

void DriverDatabase::Close() {
  for (auto& row : lookups_)
    for (auto& l : row) l.reset();
  ven_ = SqliteStatement();
  vid_ = SqliteStatement();
  db_.Close();
}

DriverDatabase::Lookup* DriverDatabase::LookupStatement(bool full_id, bool filter_os) {
  auto& slot = lookups_[full_id ? 1 : 0][filter_os ? 1 : 0];
  if (slot) return &*slot;
  std::string sql(kLookupHead);
  sql += full_id ? "hardid_full_index" : "hardid_index";
  sql += kLookupTail;
  if (filter_os) sql += kOsFilter;
  Lookup l;
  l.stmt = db_.Prepare(sql);
  if (!l.stmt.valid()) return nullptr;
  l.in_line = l.stmt.ColumnIndex("hardid_index_in_line");
  l.date = l.stmt.ColumnIndex("date");
  l.version = l.stmt.ColumnIndex("version");
  l.vendor = l.stmt.ColumnIndex("vendor");
  l.filename = l.stmt.ColumnIndex("filename");
  l.installer = l.stmt.ColumnIndex("installer");
  l.file_description = l.stmt.ColumnIndex("file_description");
  l.device_description = l.stmt.ColumnIndex("device_description");
  l.filehash = l.stmt.ColumnIndex("filehash");
  slot = std::move(l);
  return &*slot;
}

SqliteStatement* DriverDatabase::VendorStatement(bool usb) {
  SqliteStatement& s = usb ? vid_ : ven_;
  if (!s.valid()) {
    s = db_.Prepare(usb ? "SELECT vendor FROM vid_vendors WHERE vid = ?1"
                        : "SELECT vendor FROM ven_vendors WHERE ven = ?1");
  }
  return s.valid() ? &s : nullptr;
}

// --- Candidates ---------------------------------------------------------------

bool FindDriversByHID(DriverDatabase& db, TDriverItems& candidates, std::string_view id_list,
                      std::string_view windows_version, HidDoneList& done, bool whole_database,
                      bool full_id, bool from_hardware_ids) {
  const std::string version_text =
      windows_version.empty() ? std::to_string(db.windows_code()) : std::string(windows_version);
  DriverDatabase::Lookup* lookup = db.LookupStatement(full_id, !whole_database);
  if (!lookup) {
    LogError("FindDriversByHID", "Prepare fail", db.message());
    return false;
  }
  SqliteStatement& stmt = lookup->stmt;
  const auto ids = SplitHardwareIds(id_list);

  for (size_t i = 0; i < ids.size(); ++i) {
    const std::string& id = ids[i];
    std::string key;
    if (full_id) {
      key = QuoteHardwareId(id);
      if (key.empty()) {
        LogError("FindDriversByHID", "Empty HID 1");
        continue;
      }
    } else {
      key = ShortHardwareId(id);
      if (key.empty()) {
        LogError("FindDriversByHID", "Empty HID 2");
        continue;
      }
      if (key == QuoteHardwareId(id)) continue;
    }
    if (done.count(key)) continue;

    stmt.Reset();
    stmt.Bind(1, BoundValue(StoredNameTransform(key, true)));
    if (!whole_database) {
      // The os column holds numbers; a text that is not one matches nothing.
      if (auto code = DecimalInteger(version_text))
        stmt.Bind(2, *code);
      else
        stmt.Bind(2, version_text);
    }
    done.insert(key);

    const std::string hardware_id = ReplaceAll(key, "\\", "\\\\");
    std::unordered_set<std::string> signatures;
    while (stmt.Step()) {
      TDriverItem item;
      item.hardware_id = hardware_id;
      item.raw_id = id;
      item.id_position = static_cast<int32_t>(i);
      item.inf_line_index = static_cast<int32_t>(stmt.Int(lookup->in_line));
      item.version = Trim(stmt.Text(lookup->version));
      item.date = ParseDate(Trim(stmt.Text(lookup->date)), true);
      item.file_name = StoredNameTransform(stmt.Text(lookup->filename), false);
      item.installer = ReplaceAll(stmt.Text(lookup->installer), "/", "\\");
      item.file_hash = stmt.Text(lookup->filehash);
      item.file_description = stmt.Text(lookup->file_description);
      item.device_description = stmt.Text(lookup->device_description);
      item.vendor = Trim(stmt.Text(lookup->vendor));
      item.from_hardware_ids = from_hardware_ids;
      item.full_id = full_id;
      if (signatures.insert(Signature(item)).second) candidates.push_back(std::move(item));
    }
    if (stmt.last_code() != SQLITE_DONE) {
      LogError("FindDriversByHID", "Query fail", key + ": " + db.message(),
               static_cast<uint32_t>(stmt.last_code()));
      stmt.Reset();
      return false;
    }
  }
  stmt.Reset();
  return true;
}

// --- Vendor codes -------------------------------------------------------------

std::optional<std::string> VendorCodeCache::Find(const std::string& key) const {
  std::lock_guard lock(mutex_);
  auto it = entries_.find(key);
  if (it == entries_.end()) return std::nullopt;
  return it->second;
}

std::string VendorCodeCache::Entry(const std::string& key) const {
  auto known = Find(key);
  if (!known) return {};
  return known->empty() ? std::string(kNoVendor) : *known;
}

void VendorCodeCache::Store(const std::string& key, std::string vendor) {
  std::lock_guard lock(mutex_);
  entries_[key] = std::move(vendor);
}

void VendorCodeCache::Clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

VendorCodeCache& ProcessVendorCodeCache() {
  static VendorCodeCache cache;
  return cache;
}

namespace {

// Vendor of one kind of code ("VEN_" or "VID_"), through the cache. The
// code is upper-cased: device lists carry upper-case hexadecimal, and the
// database stores codes that way.
std::string VendorOfCode(DriverDatabase& db, std::string_view id, std::string_view prefix,
                         bool usb, VendorCodeCache& cache) {
  size_t pos = id.find(prefix);
  if (pos == std::string_view::npos) return {};
  std::string_view rest = id.substr(pos + prefix.size());
  std::string code = AsciiUpper(rest.substr(0, rest.find('&')));
  const std::string key = std::string(prefix) + code;

  // The lock is not held across the query; two threads asking at once both
  // query and store the same answer.
  if (auto known = cache.Find(key)) return *known;
  std::string vendor;
  SqliteStatement* stmt = db.VendorStatement(usb);
  if (!stmt) {
    LogError("VendorByCode", "Prepare fail", db.message());
    return {};
  }
  stmt->Reset();
  stmt->Bind(1, code);
  if (stmt->Step()) vendor = stmt->Text(0);
  bool failed = stmt->last_code() != SQLITE_ROW && stmt->last_code() != SQLITE_DONE;
  stmt->Reset();
  if (failed) {
    LogError("VendorByCode", "Query fail", key + ": " + db.message());
    return {};  // not cached: the next device asks again
  }
  cache.Store(key, vendor);
  return vendor;
}

}  // namespace

std::string VendorByCode(DriverDatabase& db, std::string_view id, VendorCodeCache& cache) {
  std::string vendor = VendorOfCode(db, id, "VEN_", false, cache);
  if (vendor.empty()) vendor = VendorOfCode(db, id, "VID_", true, cache);
  return vendor;
}

std::string DeviceVendorByCodes(DriverDatabase& db, std::string_view id_list,
                                VendorCodeCache& cache) {
  std::string result;
  for (const std::string& id : SplitHardwareIds(id_list)) {
    std::string vendor = VendorByCode(db, id, cache);
    if (vendor.empty()) continue;
    if (result.empty()) {
      result = std::move(vendor);
    } else if (vendor != result) {
      return {};
    }
  }
  return result;
}

// --- Settings, indexes, checks ------------------------------------------------

std::string ReadDatabaseSetting(SqliteDb& db, std::string_view name) {
  SqliteStatement stmt = db.Prepare("SELECT value FROM settings WHERE name = ?1");
  if (!stmt.valid()) return {};
  stmt.Bind(1, name);
  if (!stmt.Step()) return {};
  int col = stmt.ColumnIndex("value");
  return col < 0 ? std::string() : stmt.Text(col);
}

bool CreateBaseIndexes(const DatabaseEnv& env, const std::filesystem::path& path) {
  const std::filesystem::path file = DatabasePathOrDefault(env, path);
  if (!FileExists(file)) {
    if (env.install_mode) LogError("CreateBaseIndexes", "Not exists", PathUtf8(file));
    return false;
  }
  SqliteDb db;
  if (db.Open(file, /*read_only=*/false, /*create=*/false) != SQLITE_OK) {
    LogError("CreateBaseIndexes", "Create fail", PathUtf8(file) + ": " + db.message());
    return false;
  }
  db.SetBusyTimeout(5000);
  static constexpr const char* kFailures[3] = {"Creating filter 1 fail", "Creating filter 2 fail",
                                               "Creating filter 3 fail"};
  for (int i = 0; i < 3; ++i) {
    if (i > 0) Pause(env);
    int rc = db.Exec(kIndexStatements[i]);
    if (rc != SQLITE_OK) {
      LogError("CreateBaseIndexes", kFailures[i], db.message(), static_cast<uint32_t>(rc));
      return false;
    }
  }
  LogMessage("CreateBaseIndexes", "success");
  return true;
}

bool QuickCheckDatabase(const DatabaseEnv& env, const std::filesystem::path& path) {
  const std::filesystem::path file = DatabasePathOrDefault(env, path);
  if (!FileExists(file)) {
    LogError("QuickCheckDatabase", "Not exists", PathUtf8(file));
    return false;
  }
  SqliteDb db;
  if (db.Open(file, /*read_only=*/true, /*create=*/false) != SQLITE_OK) {
    LogError("QuickCheckDatabase", "Create fail", PathUtf8(file) + ": " + db.message());
    return false;
  }
  db.SetBusyTimeout(5000);
  SqliteStatement count = db.Prepare("SELECT COUNT(*) AS NumberOfOrders FROM drivers");
  if (!count.valid() || !count.Step()) {
    LogError("QuickCheckDatabase", "Get count fail", db.message());
    return false;
  }
  int64_t rows = count.Int(count.ColumnIndex("NumberOfOrders"));
  if (rows <= 9999) {
    LogError("QuickCheckDatabase", "Get count fail: " + std::to_string(rows));
    return false;
  }
  if (ReadDatabaseSetting(db, "plain") != "0") return false;
  if (ReadDatabaseSetting(db, "cut") == "1") {
    auto os = DecimalInteger(Trim(ReadDatabaseSetting(db, "os")));
    if (!os || *os != env.windows_code) return false;
  }
  return true;
}

}  // namespace vx
