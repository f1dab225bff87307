#include "platform/sim/desktop.h"

#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

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
CREATE TABLE IF NOT EXISTS placement(window INTEGER PRIMARY KEY, left INTEGER NOT NULL,
  top INTEGER NOT NULL, right INTEGER NOT NULL, bottom INTEGER NOT NULL, show INTEGER NOT NULL,
  topmost INTEGER NOT NULL, z INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS session(name TEXT PRIMARY KEY, value INTEGER NOT NULL,
  pid INTEGER NOT NULL);
)";
// Window state lives in its own table rather than in more columns of
// windows, so a desktop.db written before it existed still opens.

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

// The row every placement change starts from.
void EnsurePlacement(SqliteDb& db, WindowId id) {
  const auto& r = Desktop::kDefaultRect;
  auto add = db.Prepare(
      "INSERT OR IGNORE INTO placement(window, left, top, right, bottom, show, topmost, z) "
      "VALUES(?1, ?2, ?3, ?4, ?5, 0, 0, 0)");
  add.Bind(1, static_cast<int64_t>(id)).Bind(2, r.left).Bind(3, r.top).Bind(4, r.right)
      .Bind(5, r.bottom).Run();
}

int64_t NextZ(SqliteDb& db) {
  auto q = db.Prepare("SELECT COALESCE(MAX(z), 0) + 1 FROM placement");
  return q.Step() ? q.Int(0) : 1;
}

// Puts the window on top of its band (top-most or not), optionally moving
// it between bands.
Status Raise(SqliteDb& db, WindowId id, int top_most /* -1 keeps the band */) {
  EnsurePlacement(db, id);
  int64_t z = NextZ(db);
  auto up = db.Prepare(
      "UPDATE placement SET z = ?2, topmost = CASE WHEN ?3 < 0 THEN topmost ELSE ?3 END "
      "WHERE window = ?1");
  up.Bind(1, static_cast<int64_t>(id)).Bind(2, z).Bind(3, static_cast<int64_t>(top_most));
  return up.Run() == SQLITE_DONE ? kErrorSuccess : kErrorGenFailure;
}

struct SessionValue {
  int64_t value = 0;
  int64_t pid = 0;
};

std::optional<SessionValue> ReadSession(SqliteDb& db, const char* name) {
  auto q = db.Prepare("SELECT value, pid FROM session WHERE name = ?1");
  q.Bind(1, std::string(name));
  if (!q.Step()) return std::nullopt;
  return SessionValue{q.Int(0), q.Int(1)};
}

bool WriteSession(SqliteDb& db, const char* name, int64_t value) {
  auto put = db.Prepare("INSERT OR REPLACE INTO session(name, value, pid) VALUES(?1, ?2, ?3)");
  put.Bind(1, std::string(name)).Bind(2, value).Bind(3, static_cast<int64_t>(getpid()));
  return put.Run() == SQLITE_DONE;
}

void EraseSession(SqliteDb& db, const char* name) {
  auto del = db.Prepare("DELETE FROM session WHERE name = ?1");
  del.Bind(1, std::string(name)).Run();
}

constexpr const char* kForeground = "foreground";
constexpr const char* kLocked = "locked";

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
  auto id = static_cast<WindowId>(db.LastInsertId());
  Raise(db, id, 0);
  return id;
}

Status Desktop::CloseWindow(WindowId window) {
  SqliteDb db;
  if (!OpenDb(machine_, db)) return kErrorGenFailure;
  auto del = db.Prepare("DELETE FROM windows WHERE id = ?1");
  del.Bind(1, static_cast<int64_t>(window)).Run();
  bool closed = db.Changes() > 0;
  auto gone = db.Prepare("DELETE FROM placement WHERE window = ?1");
  gone.Bind(1, static_cast<int64_t>(window)).Run();
  return closed ? kErrorSuccess : kErrorInvalidHandle;
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

Result<WindowState> Desktop::State(WindowId window) {
  SqliteDb db;
  if (!OpenDb(machine_, db)) return Result<WindowState>::Fail(kErrorGenFailure);
  if (!LiveWindow(db, window)) return Result<WindowState>::Fail(kErrorInvalidWindowHandle);
  WindowState state;
  state.placement.normal = kDefaultRect;
  auto q = db.Prepare(
      "SELECT left, top, right, bottom, show, topmost FROM placement WHERE window = ?1");
  q.Bind(1, static_cast<int64_t>(window));
  if (q.Step()) {
    state.placement.normal = {static_cast<int32_t>(q.Int(0)), static_cast<int32_t>(q.Int(1)),
                              static_cast<int32_t>(q.Int(2)), static_cast<int32_t>(q.Int(3))};
    int64_t show = q.Int(4);
    state.placement.show = show == 1   ? platform::WindowShow::kMinimized
                           : show == 2 ? platform::WindowShow::kMaximized
                                       : platform::WindowShow::kNormal;
    state.top_most = q.Int(5) != 0;
  }
  return state;
}

Status Desktop::SetPlacement(WindowId window, const platform::WindowPlacement& placement) {
  SqliteDb db;
  if (!OpenDb(machine_, db)) return kErrorGenFailure;
  if (!LiveWindow(db, window)) return kErrorInvalidWindowHandle;
  EnsurePlacement(db, window);
  auto up = db.Prepare(
      "UPDATE placement SET left = ?2, top = ?3, right = ?4, bottom = ?5, show = ?6 "
      "WHERE window = ?1");
  const auto& r = placement.normal;
  up.Bind(1, static_cast<int64_t>(window)).Bind(2, r.left).Bind(3, r.top).Bind(4, r.right)
      .Bind(5, r.bottom).Bind(6, static_cast<int64_t>(placement.show));
  return up.Run() == SQLITE_DONE ? kErrorSuccess : kErrorGenFailure;
}

Status Desktop::Restore(WindowId window) {
  SqliteDb db;
  if (!OpenDb(machine_, db)) return kErrorGenFailure;
  if (!LiveWindow(db, window)) return kErrorInvalidWindowHandle;
  EnsurePlacement(db, window);
  auto up = db.Prepare("UPDATE placement SET show = 0 WHERE window = ?1");
  up.Bind(1, static_cast<int64_t>(window));
  return up.Run() == SQLITE_DONE ? kErrorSuccess : kErrorGenFailure;
}

Status Desktop::SetTopMost(WindowId window, bool top_most) {
  SqliteDb db;
  if (!OpenDb(machine_, db)) return kErrorGenFailure;
  if (!LiveWindow(db, window)) return kErrorInvalidWindowHandle;
  return Raise(db, window, top_most ? 1 : 0);
}

Status Desktop::SetForeground(WindowId window) {
  SqliteDb db;
  if (!OpenDb(machine_, db)) return kErrorGenFailure;
  if (!LiveWindow(db, window)) return kErrorInvalidWindowHandle;
  if (Status s = Raise(db, window, -1)) return s;
  return WriteSession(db, kForeground, static_cast<int64_t>(window)) ? kErrorSuccess
                                                                     : kErrorGenFailure;
}

WindowId Desktop::Foreground() {
  SqliteDb db;
  if (!OpenDb(machine_, db)) return 0;
  auto fg = ReadSession(db, kForeground);
  if (!fg || !LiveWindow(db, static_cast<WindowId>(fg->value))) return 0;
  return static_cast<WindowId>(fg->value);
}

std::vector<WindowId> Desktop::ZOrder() {
  std::vector<WindowId> all, live;
  SqliteDb db;
  if (!OpenDb(machine_, db)) return live;
  {
    auto q = db.Prepare(
        "SELECT w.id FROM windows w LEFT JOIN placement p ON p.window = w.id "
        "ORDER BY COALESCE(p.topmost, 0) DESC, COALESCE(p.z, 0) DESC, w.id DESC");
    while (q.Step()) all.push_back(static_cast<WindowId>(q.Int(0)));
  }
  for (WindowId id : all)
    if (LiveWindow(db, id)) live.push_back(id);
  return live;
}

Status Desktop::LockDrawing(WindowId window) {
  SqliteDb db;
  if (!OpenDb(machine_, db)) return kErrorGenFailure;
  // Test and set in one transaction: two processes may lock at once.
  if (db.Exec("BEGIN IMMEDIATE") != SQLITE_OK) return kErrorGenFailure;
  Status result = kErrorSuccess;
  if (!LiveWindow(db, window)) {
    result = kErrorInvalidWindowHandle;
  } else {
    auto held = ReadSession(db, kLocked);
    if (held && ProcessAlive(held->pid) && LiveWindow(db, static_cast<WindowId>(held->value)))
      result = kErrorBusy;
    else if (!WriteSession(db, kLocked, static_cast<int64_t>(window)))
      result = kErrorGenFailure;
  }
  db.Exec(result == kErrorSuccess ? "COMMIT" : "ROLLBACK");
  return result;
}

Status Desktop::UnlockDrawing() {
  SqliteDb db;
  if (!OpenDb(machine_, db)) return kErrorGenFailure;
  if (db.Exec("BEGIN IMMEDIATE") != SQLITE_OK) return kErrorGenFailure;
  Status result = kErrorSuccess;
  auto held = ReadSession(db, kLocked);
  // Only the locking process may unlock, unless it is gone.
  if (held && held->pid != getpid() && ProcessAlive(held->pid))
    result = kErrorAccessDenied;
  else if (held)
    EraseSession(db, kLocked);
  db.Exec(result == kErrorSuccess ? "COMMIT" : "ROLLBACK");
  return result;
}

WindowId Desktop::LockedWindow() {
  SqliteDb db;
  if (!OpenDb(machine_, db)) return 0;
  auto held = ReadSession(db, kLocked);
  if (!held || !ProcessAlive(held->pid) || !LiveWindow(db, static_cast<WindowId>(held->value)))
    return 0;
  return static_cast<WindowId>(held->value);
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

Result<WindowPlacement> GetWindowPlacementOf(WindowId window) {
  auto* m = sim::CurrentMachine();
  if (!m) return Result<WindowPlacement>::Fail(kErrorInvalidParameter);
  auto state = sim::Desktop(*m).State(window);
  if (!state) return Result<WindowPlacement>::Fail(state.error());
  return state->placement;
}

bool IsWindowMinimized(WindowId window) {
  auto placement = GetWindowPlacementOf(window);
  return placement && placement->show == WindowShow::kMinimized;
}

Status RestoreWindowAsync(WindowId window) {
  auto* m = sim::CurrentMachine();
  return m ? sim::Desktop(*m).Restore(window) : kErrorInvalidParameter;
}

Status SetWindowTopMost(WindowId window, bool top_most) {
  auto* m = sim::CurrentMachine();
  return m ? sim::Desktop(*m).SetTopMost(window, top_most) : kErrorInvalidParameter;
}

bool IsWindowTopMost(WindowId window) {
  auto* m = sim::CurrentMachine();
  if (!m) return false;
  auto state = sim::Desktop(*m).State(window);
  return state && state->top_most;
}

Status SetForegroundWindowTo(WindowId window) {
  auto* m = sim::CurrentMachine();
  return m ? sim::Desktop(*m).SetForeground(window) : kErrorInvalidParameter;
}

WindowId ForegroundWindow() {
  auto* m = sim::CurrentMachine();
  return m ? sim::Desktop(*m).Foreground() : 0;
}

std::vector<WindowId> TopWindowsInZOrder() {
  auto* m = sim::CurrentMachine();
  return m ? sim::Desktop(*m).ZOrder() : std::vector<WindowId>{};
}

Status LockWindowDrawing(WindowId window) {
  auto* m = sim::CurrentMachine();
  return m ? sim::Desktop(*m).LockDrawing(window) : kErrorInvalidParameter;
}

Status UnlockWindowDrawing() {
  auto* m = sim::CurrentMachine();
  return m ? sim::Desktop(*m).UnlockDrawing() : kErrorInvalidParameter;
}

void ProcessPendingMessages() {}

}  // namespace vx::platform
