#include "platform/sim/hive.h"

#include <sqlite3.h>

#include "common/text.h"

namespace vx::sim {

using platform::RegRoot;
using platform::RegValue;

namespace {

constexpr int64_t kRootLocalMachine = 1;
constexpr int64_t kRootCurrentUser = 2;

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS hive_info(name TEXT PRIMARY KEY, value TEXT);
CREATE TABLE IF NOT EXISTS reg_keys(
  id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name TEXT NOT NULL, folded TEXT NOT NULL,
  UNIQUE(parent, folded));
CREATE TABLE IF NOT EXISTS reg_values(
  key INTEGER NOT NULL, name TEXT NOT NULL, folded TEXT NOT NULL, type INTEGER NOT NULL,
  data BLOB NOT NULL, seq INTEGER NOT NULL, PRIMARY KEY(key, folded));
INSERT OR IGNORE INTO reg_keys(id, parent, name, folded) VALUES
  (1, 0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'),
  (2, 0, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER');
INSERT OR IGNORE INTO hive_info VALUES('format', 'vantrix-hive-1');
)";

std::vector<std::string> PathParts(std::string_view path) {
  std::vector<std::string> parts;
  for (auto& p : Split(path, '\\'))
    if (!p.empty()) parts.push_back(p);
  return parts;
}

class SimKey : public platform::RegKey {
 public:
  SimKey(Hive& hive, int64_t id, bool writable) : hive_(hive), id_(id), writable_(writable) {}

  Result<RegValue> QueryValue(std::string_view name) override { return hive_.Query(id_, name); }
  Status SetValue(std::string_view name, const RegValue& value) override {
    if (!writable_) return kErrorAccessDenied;
    return hive_.Set(id_, name, value);
  }
  Status DeleteValue(std::string_view name) override {
    if (!writable_) return kErrorAccessDenied;
    return hive_.Unset(id_, name);
  }
  Result<std::vector<std::string>> SubKeyNames() override { return hive_.Children(id_); }
  Result<std::vector<std::string>> ValueNames() override { return hive_.Names(id_); }

 private:
  Hive& hive_;
  int64_t id_;
  bool writable_;
};

}  // namespace

std::string FoldRegName(std::string_view name) { return UpperCase(name); }

std::unique_ptr<Hive> Hive::Open(const std::filesystem::path& file, bool create,
                                 std::string& error) {
  std::error_code ec;
  if (!create && !std::filesystem::is_regular_file(file, ec)) {
    error = "registry hive " + file.string() + " is missing";
    return nullptr;
  }
  auto hive = std::make_unique<Hive>(Key{});
  if (int rc = hive->db_.Open(file, false, create); rc != SQLITE_OK) {
    error = "cannot open registry hive " + file.string() + ": " + hive->db_.message();
    return nullptr;
  }
  hive->db_.SetBusyTimeout(30000);
  hive->db_.Exec("PRAGMA journal_mode=WAL");
  hive->db_.Exec("PRAGMA synchronous=NORMAL");
  if (create) {
    if (hive->db_.Exec(kSchema) != SQLITE_OK) {
      error = "cannot initialise registry hive " + file.string() + ": " + hive->db_.message();
      return nullptr;
    }
  }
  auto check = hive->db_.Prepare("SELECT value FROM hive_info WHERE name='format'");
  if (!check.Step() || check.Text(0) != "vantrix-hive-1") {
    error = "registry hive " + file.string() + " is corrupt or not a hive (" +
            hive->db_.message() + ")";
    return nullptr;
  }
  return hive;
}

Status Hive::Busy(int rc) {
  if (rc == SQLITE_FULL) return kErrorDiskFull;
  if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) return kErrorTimeout;
  return kErrorGenFailure;
}

SqliteStatement& Hive::Cached(const char* sql) {
  SqliteStatement& stmt = cached_[sql];
  if (!stmt.valid()) stmt = db_.Prepare(sql);
  return stmt;
}

Hive::ReadBatch::ReadBatch(Hive& hive) : hive_(hive), lock_(hive.mu_) {
  if (sqlite3_get_autocommit(hive_.db_.raw()) == 0) return;  // an outer batch holds one
  SqliteStatement& begin = hive_.Cached("BEGIN");
  begin.Reset();
  own_transaction_ = begin.Run() == SQLITE_DONE;
  begin.Reset();
}

Hive::ReadBatch::~ReadBatch() {
  if (!own_transaction_) return;
  SqliteStatement& commit = hive_.Cached("COMMIT");
  commit.Reset();
  const bool committed = commit.Run() == SQLITE_DONE;
  commit.Reset();
  // A transaction left open would swallow the next writes.
  if (!committed) hive_.db_.Exec("ROLLBACK");
}

Result<int64_t> Hive::Find(RegRoot root, std::string_view path) {
  int64_t id = root == RegRoot::kLocalMachine ? kRootLocalMachine : kRootCurrentUser;
  // One read transaction for the whole walk (unless the caller holds one):
  // a path is seen as of one moment, and the WAL read lock is taken once
  // instead of once per path component.
  bool own_transaction = false;
  if (sqlite3_get_autocommit(db_.raw()) != 0) {
    SqliteStatement& begin = Cached("BEGIN");
    begin.Reset();
    own_transaction = begin.Run() == SQLITE_DONE;
    begin.Reset();
  }
  SqliteStatement& stmt = Cached("SELECT id FROM reg_keys WHERE parent=?1 AND folded=?2");
  Result<int64_t> result(id);
  for (const auto& part : PathParts(path)) {
    stmt.Reset();
    stmt.Bind(1, id).Bind(2, FoldRegName(part));
    if (!stmt.Step()) {
      result = Result<int64_t>::Fail(stmt.last_code() != SQLITE_DONE ? Busy(stmt.last_code())
                                                                    : kErrorFileNotFound);
      break;
    }
    id = stmt.Int(0);
    result = Result<int64_t>(id);
  }
  stmt.Reset();  // a kept statement must not hold the read transaction open
  if (own_transaction) {
    SqliteStatement& commit = Cached("COMMIT");
    commit.Reset();
    commit.Run();
    commit.Reset();
  }
  return result;
}

Result<std::unique_ptr<platform::RegKey>> Hive::OpenKey(RegRoot root, std::string_view path,
                                                        bool writable) {
  using R = Result<std::unique_ptr<platform::RegKey>>;
  std::lock_guard lock(mu_);
  auto id = Find(root, path);
  if (!id) return R::Fail(id.error());
  return R(std::make_unique<SimKey>(*this, *id, writable));
}

Result<std::unique_ptr<platform::RegKey>> Hive::CreateKey(RegRoot root, std::string_view path) {
  using R = Result<std::unique_ptr<platform::RegKey>>;
  std::lock_guard lock(mu_);
  if (auto existing = Find(root, path)) return R(std::make_unique<SimKey>(*this, *existing, true));
  if (write_fault_) return R::Fail(write_fault_);
  if (int rc = db_.Exec("BEGIN IMMEDIATE"); rc != SQLITE_OK) return R::Fail(Busy(rc));
  int64_t id = root == RegRoot::kLocalMachine ? kRootLocalMachine : kRootCurrentUser;
  auto find = db_.Prepare("SELECT id FROM reg_keys WHERE parent=?1 AND folded=?2");
  auto insert = db_.Prepare("INSERT INTO reg_keys(parent, name, folded) VALUES(?1, ?2, ?3)");
  for (const auto& part : PathParts(path)) {
    std::string folded = FoldRegName(part);
    find.Reset();
    find.Bind(1, id).Bind(2, folded);
    if (find.Step()) {
      id = find.Int(0);
      continue;
    }
    insert.Reset();
    insert.Bind(1, id).Bind(2, part).Bind(3, folded);
    if (int rc = insert.Run(); rc != SQLITE_DONE) {
      db_.Exec("ROLLBACK");
      return R::Fail(Busy(rc));
    }
    id = db_.LastInsertId();
  }
  if (int rc = db_.Exec("COMMIT"); rc != SQLITE_OK) {
    db_.Exec("ROLLBACK");
    return R::Fail(Busy(rc));
  }
  return R(std::make_unique<SimKey>(*this, id, true));
}

Status Hive::DeleteKey(RegRoot root, std::string_view path) {
  std::lock_guard lock(mu_);
  if (PathParts(path).empty()) return kErrorAccessDenied;
  auto id = Find(root, path);
  if (!id) return id.error();
  if (write_fault_) return write_fault_;
  auto kids = db_.Prepare("SELECT 1 FROM reg_keys WHERE parent=?1 LIMIT 1");
  kids.Bind(1, *id);
  if (kids.Step()) return kErrorAccessDenied;
  db_.Exec("BEGIN IMMEDIATE");
  auto del_values = db_.Prepare("DELETE FROM reg_values WHERE key=?1");
  del_values.Bind(1, *id).Run();
  auto del_key = db_.Prepare("DELETE FROM reg_keys WHERE id=?1");
  int rc = del_key.Bind(1, *id).Run();
  if (rc != SQLITE_DONE || db_.Exec("COMMIT") != SQLITE_OK) {
    db_.Exec("ROLLBACK");
    return Busy(rc);
  }
  return kErrorSuccess;
}

Status Hive::DeleteTree(RegRoot root, std::string_view path) {
  std::lock_guard lock(mu_);
  if (PathParts(path).empty()) return kErrorAccessDenied;
  auto id = Find(root, path);
  if (!id) return id.error();
  if (write_fault_) return write_fault_;
  db_.Exec("BEGIN IMMEDIATE");
  // Collect the subtree first; deleting while walking would cut it short.
  auto walk = db_.Prepare(
      "WITH RECURSIVE t(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM reg_keys k JOIN t ON "
      "k.parent=t.id) SELECT id FROM t");
  walk.Bind(1, *id);
  std::vector<int64_t> ids;
  while (walk.Step()) ids.push_back(walk.Int(0));
  auto del_values = db_.Prepare("DELETE FROM reg_values WHERE key=?1");
  auto del_key = db_.Prepare("DELETE FROM reg_keys WHERE id=?1");
  for (int64_t k : ids) {
    del_values.Reset();
    del_values.Bind(1, k).Run();
    del_key.Reset();
    del_key.Bind(1, k).Run();
  }
  if (int rc = db_.Exec("COMMIT"); rc != SQLITE_OK) {
    db_.Exec("ROLLBACK");
    return Busy(rc);
  }
  return kErrorSuccess;
}

bool Hive::KeyExists(int64_t id) {
  SqliteStatement& stmt = Cached("SELECT 1 FROM reg_keys WHERE id=?1");
  stmt.Reset();
  stmt.Bind(1, id);
  const bool exists = stmt.Step();
  stmt.Reset();
  return exists;
}

Result<RegValue> Hive::Query(int64_t key, std::string_view name) {
  std::lock_guard lock(mu_);
  SqliteStatement& stmt = Cached("SELECT type, data FROM reg_values WHERE key=?1 AND folded=?2");
  stmt.Reset();
  stmt.Bind(1, key).Bind(2, FoldRegName(name));
  if (stmt.Step()) {
    RegValue value{static_cast<uint32_t>(stmt.Int(0)), stmt.Blob(1)};
    stmt.Reset();
    return value;
  }
  const int code = stmt.last_code();
  stmt.Reset();
  if (code != SQLITE_DONE) return Result<RegValue>::Fail(Busy(code));
  return Result<RegValue>::Fail(KeyExists(key) ? kErrorFileNotFound : kErrorKeyDeleted);
}

Status Hive::Set(int64_t key, std::string_view name, const RegValue& value) {
  std::lock_guard lock(mu_);
  if (write_fault_) return write_fault_;
  if (!KeyExists(key)) return kErrorKeyDeleted;
  // A replaced value keeps its name's case and its place in the order, as
  // RegSetValueEx does.
  SqliteStatement& stmt = Cached(
      "INSERT INTO reg_values(key, name, folded, type, data, seq) VALUES(?1, ?2, ?3, ?4, ?5, "
      "(SELECT IFNULL(MAX(seq), 0) + 1 FROM reg_values WHERE key=?1)) "
      "ON CONFLICT(key, folded) DO UPDATE SET type=excluded.type, data=excluded.data");
  stmt.Reset();
  stmt.Bind(1, key).Bind(2, name).Bind(3, FoldRegName(name)).Bind(4, int64_t{value.type});
  stmt.BindBlob(5, value.data);
  int rc = stmt.Run();
  stmt.Reset();
  return rc == SQLITE_DONE ? kErrorSuccess : Busy(rc);
}

Status Hive::Unset(int64_t key, std::string_view name) {
  std::lock_guard lock(mu_);
  if (write_fault_) return write_fault_;
  auto stmt = db_.Prepare("DELETE FROM reg_values WHERE key=?1 AND folded=?2");
  stmt.Bind(1, key).Bind(2, FoldRegName(name));
  int rc = stmt.Run();
  if (rc != SQLITE_DONE) return Busy(rc);
  if (db_.Changes() == 0) return KeyExists(key) ? kErrorFileNotFound : kErrorKeyDeleted;
  return kErrorSuccess;
}

Result<std::vector<std::string>> Hive::Children(int64_t key) {
  std::lock_guard lock(mu_);
  if (!KeyExists(key)) return Result<std::vector<std::string>>::Fail(kErrorKeyDeleted);
  SqliteStatement& stmt = Cached("SELECT name FROM reg_keys WHERE parent=?1 ORDER BY folded");
  stmt.Reset();
  stmt.Bind(1, key);
  std::vector<std::string> out;
  while (stmt.Step()) out.push_back(stmt.Text(0));
  stmt.Reset();
  return out;
}

Result<std::vector<std::string>> Hive::Names(int64_t key) {
  std::lock_guard lock(mu_);
  if (!KeyExists(key)) return Result<std::vector<std::string>>::Fail(kErrorKeyDeleted);
  SqliteStatement& stmt = Cached("SELECT name FROM reg_values WHERE key=?1 ORDER BY seq");
  stmt.Reset();
  stmt.Bind(1, key);
  std::vector<std::string> out;
  while (stmt.Step()) out.push_back(stmt.Text(0));
  stmt.Reset();
  return out;
}

}  // namespace vx::sim
