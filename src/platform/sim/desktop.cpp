#include "platform/sim/desktop.h"

#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>

#include "common/text.h"
#include "platform/sim/machine.h"
#include "platform/sqlite_db.h"

namespace vx::sim {

using platform::WindowId;

namespace {

constexpr const char* kDesktopFile = "desktop.db";
// Windows hands out registered message numbers from this range only.
constexpr int64_t kFirstRegistered = 0xC000;
constexpr int64_t kLastRegistered = 0xFFFF;

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS messages(id INTEGER PRIMARY KEY, name TEXT NOT NULL,
  folded TEXT NOT NULL UNIQUE);
CREATE TABLE IF NOT EXISTS windows(id INTEGER PRIMARY KEY AUTOINCREMENT, class TEXT NOT NULL,
  title TEXT NOT NULL, pid INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS posted(seq INTEGER PRIMARY KEY AUTOINCREMENT, window INTEGER NOT NULL,
  class TEXT NOT NULL, title TEXT NOT NULL, message INTEGER NOT NULL, wparam INTEGER NOT NULL,
  lparam INTEGER NOT NULL, sender INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS started(seq INTEGER PRIMARY KEY AUTOINCREMENT, program TEXT NOT NULL,
  args TEXT NOT NULL, pid INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS requests(seq INTEGER PRIMARY KEY AUTOINCREMENT, kind TEXT NOT NULL,
  detail TEXT NOT NULL, pid INTEGER NOT NULL);
)";

// Every call opens its own connection: several processes share the file and
// a call is rare enough that a lasting connection would buy nothing.
bool OpenDb(Machine& m, SqliteDb& db) {
  if (db.Open(m.dir() / kDesktopFile) != SQLITE_OK) return false;
  db.SetBusyTimeout(30000);
  return db.Exec(kSchema) == SQLITE_OK;
}

bool ProcessAlive(int64_t pid) {
  if (pid <= 0) return true;
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

struct WindowRow {
  WindowId id = 0;
  std::string window_class;
  std::string title;
};

// The live window with this id; windows of ended processes are removed on
// the way, as Windows destroys them with their process.
Result<WindowRow> LiveWindow(SqliteDb& db, WindowId id) {
  auto q = db.Prepare("SELECT class, title, pid FROM windows WHERE id = ?1");
  q.Bind(1, static_cast<int64_t>(id));
  if (!q.Step()) return Result<WindowRow>::Fail(kErrorInvalidHandle);
  WindowRow row{id, q.Text(0), q.Text(1)};
  if (!ProcessAlive(q.Int(2))) {
    auto del = db.Prepare("DELETE FROM windows WHERE id = ?1");
    del.Bind(1, static_cast<int64_t>(id)).Run();
    return Result<WindowRow>::Fail(kErrorInvalidHandle);
  }
  return row;
}

}  // namespace

uint32_t Desktop::RegisterMessage(std::string_view name) {
  SqliteDb db;
  if (name.empty() || !OpenDb(machine_, db)) return 0;
  std::string folded = UpperCase(name);
  auto add = db.Prepare(
      "INSERT OR IGNORE INTO messages(id, name, folded) "
      "SELECT COALESCE(MAX(id) + 1, ?3), ?1, ?2 FROM messages");
  add.Bind(1, name).Bind(2, folded).Bind(3, kFirstRegistered).Run();
  auto q = db.Prepare("SELECT id FROM messages WHERE folded = ?1");
  q.Bind(1, folded);
  if (!q.Step()) return 0;
  int64_t id = q.Int(0);
  return id >= kFirstRegistered && id <= kLastRegistered ? static_cast<uint32_t>(id) : 0;
}

Result<WindowId> Desktop::OpenWindow(std::string_view window_class, std::string_view title,
                                     int64_t pid) {
  SqliteDb db;
  if (!OpenDb(machine_, db)) return Result<WindowId>::Fail(kErrorGenFailure);
  auto add = db.Prepare("INSERT INTO windows(class, title, pid) VALUES(?1, ?2, ?3)");
  const std::string class_text(window_class), title_text(title);
  if (add.Bind(1, class_text).Bind(2, title_text).Bind(3, pid).Run() != SQLITE_DONE)
    return Result<WindowId>::Fail(kErrorGenFailure);
  return static_cast<WindowId>(db.LastInsertId());
}

Status Desktop::CloseWindow(WindowId window) {
  SqliteDb db;
  if (!OpenDb(machine_, db)) return kErrorGenFailure;
  auto del = db.Prepare("DELETE FROM windows WHERE id = ?1");
  del.Bind(1, static_cast<int64_t>(window)).Run();
  return db.Changes() > 0 ? kErrorSuccess : kErrorInvalidHandle;
}

Result<WindowId> Desktop::Find(std::string_view window_class, std::string_view title) {
  SqliteDb db;
  if (!OpenDb(machine_, db)) return Result<WindowId>::Fail(kErrorGenFailure);
  std::vector<WindowId> candidates;
  {
    auto q = db.Prepare("SELECT id, class, title FROM windows ORDER BY id");
    while (q.Step()) {
      if (!window_class.empty() && !SameText(q.Text(1), window_class)) continue;
      if (!title.empty() && !SameText(q.Text(2), title)) continue;
      candidates.push_back(static_cast<WindowId>(q.Int(0)));
    }
  }
  for (WindowId id : candidates)
    if (LiveWindow(db, id)) return id;
  return Result<WindowId>::Fail(kErrorFileNotFound);
}

bool Desktop::Exists(WindowId window) {
  SqliteDb db;
  return window != 0 && OpenDb(machine_, db) && LiveWindow(db, window).ok();
}

Status Desktop::Post(WindowId window, uint32_t message, uint64_t wparam, int64_t lparam) {
  SqliteDb db;
  if (!OpenDb(machine_, db)) return kErrorGenFailure;
  auto row = LiveWindow(db, window);
  if (!row) return row.error();
  auto add = db.Prepare(
      "INSERT INTO posted(window, class, title, message, wparam, lparam, sender) "
      "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
  add.Bind(1, static_cast<int64_t>(window))
      .Bind(2, row->window_class)
      .Bind(3, row->title)
      .Bind(4, static_cast<int64_t>(message))
      .Bind(5, static_cast<int64_t>(wparam))
      .Bind(6, lparam)
      .Bind(7, static_cast<int64_t>(getpid()));
  return add.Run() == SQLITE_DONE ? kErrorSuccess : kErrorGenFailure;
}

Status Desktop::RecordStart(std::string_view program, std::string_view args, int64_t pid) {
  SqliteDb db;
  if (!OpenDb(machine_, db)) return kErrorGenFailure;
  auto add = db.Prepare("INSERT INTO started(program, args, pid) VALUES(?1, ?2, ?3)");
  // An empty view may carry no pointer, which SQLite would store as NULL.
  const std::string program_text(program), args_text(args);
  add.Bind(1, program_text).Bind(2, args_text).Bind(3, pid);
  return add.Run() == SQLITE_DONE ? kErrorSuccess : kErrorGenFailure;
}

Status Desktop::RecordRequest(std::string_view kind, std::string_view detail) {
  SqliteDb db;
  if (!OpenDb(machine_, db)) return kErrorGenFailure;
  auto add = db.Prepare("INSERT INTO requests(kind, detail, pid) VALUES(?1, ?2, ?3)");
  const std::string kind_text(kind), detail_text(detail);
  add.Bind(1, kind_text).Bind(2, detail_text).Bind(3, static_cast<int64_t>(getpid()));
  return add.Run() == SQLITE_DONE ? kErrorSuccess : kErrorGenFailure;
}

bool Desktop::HasWindowOf(int64_t pid) {
  SqliteDb db;
  if (pid <= 0 || !ProcessAlive(pid) || !OpenDb(machine_, db)) return false;
  auto q = db.Prepare("SELECT 1 FROM windows WHERE pid = ?1 LIMIT 1");
  q.Bind(1, pid);
  return q.Step();
}

std::vector<SystemRequest> Desktop::Requests() {
  std::vector<SystemRequest> out;
  SqliteDb db;
  if (!OpenDb(machine_, db)) return out;
  auto q = db.Prepare("SELECT seq, kind, detail, pid FROM requests ORDER BY seq");
  while (q.Step()) out.push_back({q.Int(0), q.Text(1), q.Text(2), q.Int(3)});
  return out;
}

std::vector<PostedMessage> Desktop::Posted() {
  std::vector<PostedMessage> out;
  SqliteDb db;
  if (!OpenDb(machine_, db)) return out;
  auto q = db.Prepare(
      "SELECT p.seq, p.window, p.class, p.title, p.message, COALESCE(m.name, ''), p.wparam, "
      "p.lparam FROM posted p LEFT JOIN messages m ON m.id = p.message ORDER BY p.seq");
  while (q.Step()) {
    out.push_back({q.Int(0), static_cast<WindowId>(q.Int(1)), q.Text(2), q.Text(3),
                   static_cast<uint32_t>(q.Int(4)), q.Text(5), static_cast<uint64_t>(q.Int(6)),
                   q.Int(7)});
  }
  return out;
}

std::vector<StartedProgram> Desktop::Started() {
  std::vector<StartedProgram> out;
  SqliteDb db;
  if (!OpenDb(machine_, db)) return out;
  auto q = db.Prepare("SELECT seq, program, args, pid FROM started ORDER BY seq");
  while (q.Step()) out.push_back({q.Int(0), q.Text(1), q.Text(2), q.Int(3)});
  return out;
}

}  // namespace vx::sim

namespace vx::platform {

uint32_t RegisterWindowMessageName(std::string_view name) {
  auto* m = sim::CurrentMachine();
  return m ? sim::Desktop(*m).RegisterMessage(name) : 0;
}

Result<WindowId> FindTopWindow(std::string_view class_name, std::string_view title) {
  auto* m = sim::CurrentMachine();
  if (!m) return Result<WindowId>::Fail(kErrorInvalidParameter);
  return sim::Desktop(*m).Find(class_name, title);
}

bool WindowExists(WindowId window) {
  auto* m = sim::CurrentMachine();
  return m && sim::Desktop(*m).Exists(window);
}

Status PostWindowMessage(WindowId window, uint32_t message, uint64_t wparam, int64_t lparam) {
  auto* m = sim::CurrentMachine();
  if (!m) return kErrorInvalidParameter;
  return sim::Desktop(*m).Post(window, message, wparam, lparam);
}

}  // namespace vx::platform
