#include "platform/sqlite_db.h"

#include <sqlite3.h>

#include <utility>

namespace vx {

SqliteStatement::SqliteStatement(SqliteStatement&& o) noexcept
    : db_(o.db_), stmt_(std::exchange(o.stmt_, nullptr)), last_code_(o.last_code_) {}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& o) noexcept {
  if (this != &o) {
    if (stmt_) sqlite3_finalize(stmt_);
    db_ = o.db_;
    stmt_ = std::exchange(o.stmt_, nullptr);
    last_code_ = o.last_code_;
  }
  return *this;
}

SqliteStatement::~SqliteStatement() {
  if (stmt_) sqlite3_finalize(stmt_);
}

SqliteStatement& SqliteStatement::Bind(int index, std::string_view text) {
  if (stmt_)
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
  return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, int64_t value) {
  if (stmt_) sqlite3_bind_int64(stmt_, index, value);
  return *this;
}

SqliteStatement& SqliteStatement::BindBlob(int index, std::string_view bytes) {
  if (stmt_)
    sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
  return *this;
}

SqliteStatement& SqliteStatement::BindNull(int index) {
  if (stmt_) sqlite3_bind_null(stmt_, index);
  return *this;
}

bool SqliteStatement::Step() {
  if (!stmt_) return false;
  last_code_ = sqlite3_step(stmt_);
  return last_code_ == SQLITE_ROW;
}

int SqliteStatement::Run() {
  if (!stmt_) return SQLITE_MISUSE;
  while (Step()) {
  }
  return last_code_;
}

void SqliteStatement::Reset() {
  if (!stmt_) return;
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

int SqliteStatement::ColumnCount() const { return stmt_ ? sqlite3_column_count(stmt_) : 0; }

std::string SqliteStatement::ColumnName(int col) const {
  const char* n = stmt_ ? sqlite3_column_name(stmt_, col) : nullptr;
  return n ? n : "";
}

int SqliteStatement::ColumnIndex(std::string_view name) const {
  for (int i = 0; i < ColumnCount(); ++i) {
    std::string n = ColumnName(i);
    if (n.size() != name.size()) continue;
    if (sqlite3_strnicmp(n.c_str(), name.data(), static_cast<int>(name.size())) == 0) return i;
  }
  return -1;
}

bool SqliteStatement::IsNull(int col) const {
  return !stmt_ || sqlite3_column_type(stmt_, col) == SQLITE_NULL;
}

std::string SqliteStatement::Text(int col) const {
  if (!stmt_) return {};
  auto p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
  return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(stmt_, col))) : std::string();
}

std::string SqliteStatement::Blob(int col) const {
  if (!stmt_) return {};
  auto p = static_cast<const char*>(sqlite3_column_blob(stmt_, col));
  return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(stmt_, col))) : std::string();
}

int64_t SqliteStatement::Int(int col) const { return stmt_ ? sqlite3_column_int64(stmt_, col) : 0; }

SqliteDb::SqliteDb(SqliteDb&& o) noexcept : db_(std::exchange(o.db_, nullptr)) {}

SqliteDb& SqliteDb::operator=(SqliteDb&& o) noexcept {
  if (this != &o) {
    Close();
    db_ = std::exchange(o.db_, nullptr);
  }
  return *this;
}

SqliteDb::~SqliteDb() { Close(); }

int SqliteDb::Open(const std::filesystem::path& file, bool read_only, bool create) {
  Close();
  int flags = read_only ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  if (!read_only && create) flags |= SQLITE_OPEN_CREATE;
  flags |= SQLITE_OPEN_FULLMUTEX;
  std::string name = reinterpret_cast<const char*>(file.u8string().c_str());
  int rc = sqlite3_open_v2(name.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    // The handle is allocated even on failure; keep it for message().
    return rc;
  }
  return rc;
}

void SqliteDb::Close() {
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

int SqliteDb::Exec(std::string_view sql) {
  if (!db_) return SQLITE_MISUSE;
  std::string text(sql);
  return sqlite3_exec(db_, text.c_str(), nullptr, nullptr, nullptr);
}

SqliteStatement SqliteDb::Prepare(std::string_view sql) {
  sqlite3_stmt* stmt = nullptr;
  if (db_) sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr);
  return SqliteStatement(db_, stmt);
}

void SqliteDb::SetBusyTimeout(int ms) {
  if (db_) sqlite3_busy_timeout(db_, ms);
}

std::string SqliteDb::message() const { return db_ ? sqlite3_errmsg(db_) : "no database"; }
int64_t SqliteDb::LastInsertId() const { return db_ ? sqlite3_last_insert_rowid(db_) : 0; }
int SqliteDb::Changes() const { return db_ ? sqlite3_changes(db_) : 0; }

}  // namespace vx
