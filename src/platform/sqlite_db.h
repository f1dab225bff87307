// A thin owner of SQLite connections and statements. Statements bind their
// parameters; no caller builds SQL by pasting values into the text.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace vx {

class SqliteStatement {
 public:
  SqliteStatement() = default;
  SqliteStatement(sqlite3* db, sqlite3_stmt* stmt) : db_(db), stmt_(stmt) {}
  SqliteStatement(SqliteStatement&& o) noexcept;
  SqliteStatement& operator=(SqliteStatement&& o) noexcept;
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;
  ~SqliteStatement();

  bool valid() const { return stmt_ != nullptr; }
  // Parameters are 1-based as in SQLite.
  SqliteStatement& Bind(int index, std::string_view text);
  SqliteStatement& Bind(int index, int64_t value);
  SqliteStatement& BindBlob(int index, std::string_view bytes);
  SqliteStatement& BindNull(int index);
  // true while a row is available; errors end the loop and are kept.
  bool Step();
  // Runs to completion; returns the SQLite result code (SQLITE_DONE = 101).
  int Run();
  void Reset();

  int ColumnCount() const;
  std::string ColumnName(int col) const;
  int ColumnIndex(std::string_view name) const;  // -1 when absent
  bool IsNull(int col) const;
  std::string Text(int col) const;
  std::string Blob(int col) const;
  int64_t Int(int col) const;
  int last_code() const { return last_code_; }

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
  int last_code_ = 0;
};

class SqliteDb {
 public:
  SqliteDb() = default;
  SqliteDb(SqliteDb&& o) noexcept;
  SqliteDb& operator=(SqliteDb&& o) noexcept;
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;
  ~SqliteDb();

  // Returns the SQLite result code (0 = SQLITE_OK); message() tells more.
  int Open(const std::filesystem::path& file, bool read_only = false, bool create = true);
  void Close();
  bool is_open() const { return db_ != nullptr; }
  int Exec(std::string_view sql);
  SqliteStatement Prepare(std::string_view sql);
  void SetBusyTimeout(int ms);
  std::string message() const;
  int64_t LastInsertId() const;
  int Changes() const;
  sqlite3* raw() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace vx
