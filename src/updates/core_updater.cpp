#include "updates/core_updater.h"

#include <algorithm>
#include <cctype>
#include <system_error>
#include <vector>

#include "common/archive.h"
#include "common/closing.h"
#include "common/date_time.h"
#include "common/ini_file.h"
#include "common/internet.h"
#include "common/locale_format.h"
#include "common/logger.h"
#include "common/md5.h"
#include "common/params.h"
#include "common/service_endpoints.h"
#include "common/text.h"
#include "engine/driver_utils.h"
#include "platform/platform.h"
#include "platform/sqlite_db.h"

namespace vx {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kInfoSuccess = "\"ok\":1,\"error\":0,\"url\":\"";
constexpr std::string_view kHashKey = "\"file_hash\":\"";
constexpr std::string_view kUrlKey = "\"url\":\"";
constexpr size_t kValueWindow = 1000;  // characters looked at after a key
constexpr std::string_view kIniSection = "general";
constexpr std::string_view kIniKey = "LastUpdate";
constexpr uint64_t kReplyLimit = 1 << 20;  // an info reply is a line of JSON

bool Exists(const fs::path& p) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(p, ec));
}

uint32_t Ticks() { return platform::IsAttached() ? platform::Sys().TickCount() : 0; }

fs::path WithSuffix(const fs::path& p, std::string_view suffix) {
  fs::path out = p;
  out += U8Path(suffix);
  return out;
}

// Deletes a file; one that cannot be deleted (opened by someone) is moved
// aside to its name + the tick count so the name is free again.
void RemoveOrMoveAside(const fs::path& file, std::string_view tag) {
  std::error_code ec;
  if (!Exists(file) || fs::remove(file, ec)) return;
  fs::rename(file, WithSuffix(file, std::to_string(Ticks())), ec);
  if (ec) LogError(tag, "DeleteFile fail", PathUtf8(file), static_cast<uint32_t>(ec.value()));
}

// The files SQLite may keep beside a database: they belong to that file
// and must never meet another one under the same name.
void RemoveSqliteCompanions(const fs::path& db) {
  std::error_code ec;
  for (std::string_view s : {"-journal", "-wal", "-shm"}) fs::remove(WithSuffix(db, s), ec);
}

std::string ValueAfter(std::string_view text, std::string_view key) {
  size_t at = text.find(key);
  if (at == std::string_view::npos) return {};
  std::string_view window = text.substr(at + key.size(), kValueWindow);
  size_t end = window.find('"');
  if (end == std::string_view::npos) return {};
  return std::string(window.substr(0, end));
}

// Writes the INI file with the two-step reporting the updater's callers
// expect: a message for the first failure, an error for the second.
bool SaveIni(IniFile& ini, std::chrono::milliseconds retry, std::string_view tag,
             std::string_view first, std::string_view second, bool second_with_code) {
  ini.SetRetryDelay(retry);
  return ini.UpdateFileWith([&](int attempt, const fs::path& path, uint32_t code) {
    if (attempt == 1) {
      LogMessage(std::string(first) + PathUtf8(path));
    } else {
      LogError(tag, second, PathUtf8(path), second_with_code ? code : 0);
    }
  });
}

}  // namespace

// ---- reply parsing -----------------------------------------------------------

DatabaseInfoReply ParseDatabaseInfoReply(std::string_view reply) {
  DatabaseInfoReply r;
  if (reply.find(kInfoSuccess) == std::string_view::npos) return r;
  r.md5 = ValueAfter(reply, kHashKey);
  std::string url = ReplaceAll(ValueAfter(reply, kUrlKey), "\\/", "/");
  // The scheme is always taken to be "http://"; only plain HTTP is used.
  std::string rest = url.size() > 7 ? url.substr(7) : std::string();
  size_t slash = rest.find('/');
  r.host = rest.substr(0, slash);
  r.path = slash == std::string::npos ? std::string("/") : rest.substr(slash);
  r.ok = !r.host.empty();
  return r;
}

std::optional<double> ParseLastUpdateReply(std::string_view first_line, bool* date_found) {
  size_t at = first_line.find("date");
  if (date_found) *date_found = at != std::string_view::npos;
  if (at == std::string_view::npos || at + 7 > first_line.size()) return std::nullopt;
  return TryParseDate(first_line.substr(at + 7, 10), /*iso=*/true);
}

std::optional<double> ParseShortDate(std::string_view text, std::string_view picture) {
  // The order of day, month and year in the picture.
  std::string order;
  bool quoted = false;
  for (char c : picture) {
    if (c == '\'') quoted = !quoted;
    if (quoted) continue;
    char k = c == 'd' ? 'd' : c == 'M' ? 'M' : c == 'y' ? 'y' : 0;
    if (k && order.find(k) == std::string::npos) order.push_back(k);
  }
  if (order.size() != 3) order = "Mdy";
  std::vector<int> numbers;
  std::vector<size_t> widths;
  for (size_t i = 0; i < text.size();) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
      ++i;
      continue;
    }
    size_t j = i;
    int value = 0;
    while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])) && j - i < 5)
      value = value * 10 + (text[j++] - '0');
    numbers.push_back(value);
    widths.push_back(j - i);
    i = j;
  }
  if (numbers.size() != 3) return std::nullopt;
  int year = 0, month = 0, day = 0;
  for (size_t i = 0; i < 3; ++i) {
    if (order[i] == 'd') day = numbers[i];
    if (order[i] == 'M') month = numbers[i];
    if (order[i] == 'y') {
      year = numbers[i];
      // Two-digit years fall into the 50-year window around 2000.
      if (widths[i] <= 2) year += year < 50 ? 2000 : 1900;
    }
  }
  return DateFromCivil(year, month, day);
}

bool CheckDatabaseMD5(std::string_view expected, const fs::path& archive) {
  if (expected.empty()) {
    LogError("TUpdateThread.CheckDatabaseMD5", "BaseMd5 empty");
    return true;
  }
  auto actual = Md5HexOfFile(archive);
  // Exact comparison: the service publishes lower-case digits, and anything
  // else is not what it published.
  return actual && *actual == expected;
}

// ---- recovery ----------------------------------------------------------------

bool RecoverDatabaseUpdate(const DatabaseEnv& env) {
  constexpr std::string_view kTag = "RecoverDatabaseUpdate";
  const fs::path db = DefaultDatabasePath(env);
  const fs::path prev = WithSuffix(db, kPrevSuffix);
  std::error_code ec;
  if (Exists(env.base_dir / kUnpackFolder)) {
    LogMessage(kTag, "Removing " + PathUtf8(env.base_dir / kUnpackFolder));
    fs::remove_all(env.base_dir / kUnpackFolder, ec);
  }
  fs::remove(env.base_dir / kArchiveName, ec);
  fs::remove(WithSuffix(env.base_dir / kArchiveName, ".tmp"), ec);
  if (Exists(prev)) {
    if (Exists(db) && QuickCheckDatabase(env)) {
      // Only a complete, indexed database is ever renamed to the database
      // name: the update got that far and only the clean-up is missing.
      LogMessage(kTag, "Update completed; removing " + PathUtf8(prev));
      RemoveOrMoveAside(prev, kTag);
    } else {
      LogMessage(kTag, "Update interrupted; restoring " + PathUtf8(prev));
      if (Exists(db) && !fs::remove(db, ec)) {
        LogError(kTag, "DeleteFile fail", PathUtf8(db), static_cast<uint32_t>(ec.value()));
        return false;
      }
      RemoveSqliteCompanions(db);
      fs::rename(prev, db, ec);
      if (ec) {
        LogError(kTag, "RenameFile fail", PathUtf8(prev), static_cast<uint32_t>(ec.value()));
        return false;
      }
    }
  }
  if (!Exists(db)) return false;
  return QuickCheckDatabase(env);
}

// ---- the updater -------------------------------------------------------------

UpdaterConfig ProgramUpdaterConfig(MainThreadPort& main) {
  UpdaterConfig c;
  c.db.base_dir = Params().base_dir;
  c.db.windows64 = platform::IsAttached() && platform::Sys().IsWindows64();
  c.db.windows_code = Params().windows_version;
  c.host = ServiceHost(HostRole::kService);
  c.main = &main;
  return c;
}

class DatabaseUpdater::Worker {
 public:
  Worker(DatabaseUpdater& owner, UpdateCallback callback)
      : u_(owner), c_(owner.config_), callback_(std::move(callback)) {}
  void Execute();

 private:
  bool Stopping() const { return u_.stopping_.load() || ProgramClosing(); }
  void Hook(std::string_view step) const {
    if (c_.step_hook) c_.step_hook(step);
  }
  void Sleep(std::chrono::milliseconds ms) const;
  void Notify(int code, int32_t position = 0, int32_t total = 0);
  bool Attempts();
  bool DownloadDataBase();
  bool InstallArchive(const fs::path& archive);

  DatabaseUpdater& u_;
  const UpdaterConfig& c_;
  UpdateCallback callback_;
  // Written by the owner during a notification, read here afterwards; the
  // hand-over orders the two.
  bool cancel_ = false;
  int32_t position_ = 0;
  int32_t total_ = 0;
};

void DatabaseUpdater::Worker::Sleep(std::chrono::milliseconds ms) const {
  const auto end = std::chrono::steady_clock::now() + ms;
  while (!Stopping() && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::min(ms, std::chrono::milliseconds(20)));
}

void DatabaseUpdater::Worker::Notify(int code, int32_t position, int32_t total) {
  if (!callback_) return;
  auto deliver = [&] {
    callback_(code, position, &cancel_, total);
    return 0;
  };
  if (c_.main) {
    c_.main->Call(deliver);
  } else {
    deliver();
  }
}

bool DatabaseUpdater::Worker::Attempts() {
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (Stopping() || cancel_) return false;
    if (DownloadDataBase()) return true;
    Sleep(c_.attempt_pause);
  }
  return false;
}

void DatabaseUpdater::Worker::Execute() {
  constexpr std::string_view kTag = "TUpdateThread.Execute";
  const fs::path db = u_.DatabasePath();
  const fs::path prev = u_.PrevPath();
  bool ok = false;
  try {
    ok = Attempts();
  } catch (const std::exception& e) {
    if (!Stopping()) LogError(kTag, "Common error", e.what());
    ok = false;
  }
  if (ok) {
    IniFile ini(c_.db.base_dir / kUpdateSettingsFile);
    ini.WriteString(kIniSection, kIniKey, FormatShortDate(u_.Now()));
    SaveIni(ini, c_.ini_retry, kTag, "Ini.UpdateFile fail: ", "Ini.UpdateFile fail", false);
    RemoveOrMoveAside(prev, kTag);
    RemoveOrMoveAside(c_.db.base_dir / kVendorsFile, kTag);
    Hook("done");
    u_.outcome_ = UpdateOutcome::kNewDatabase;
    u_.running_ = false;
    Notify(kUpdateFinished);
    return;
  }
  std::error_code ec;
  if (Exists(prev)) {
    // The worker never leaves a new database in place after a failure, so
    // what sits under the database name here is only an empty stray name.
    RemoveSqliteCompanions(db);
    fs::rename(prev, db, ec);
    u_.running_ = false;
    if (!ec) {
      u_.outcome_ = UpdateOutcome::kPreviousRestored;
      Notify(kUpdateFinished);
    } else {
      u_.outcome_ = UpdateOutcome::kFailed;
      Notify(kUpdateFailed);
      LogError(kTag, "RenameFile fail", PathUtf8(prev), static_cast<uint32_t>(ec.value()));
    }
    return;
  }
  u_.outcome_ = cancel_ ? UpdateOutcome::kCancelled : UpdateOutcome::kFailed;
  u_.running_ = false;
  Notify(cancel_ ? kUpdateCancelled : kUpdateFailed);
}

bool DatabaseUpdater::Worker::DownloadDataBase() {
  constexpr std::string_view kTag = "TUpdateThread.DownloadDataBase";
  const fs::path archive = c_.db.base_dir / kArchiveName;
  const std::string info_path = DatabaseInfoPath(c_.db.windows64, c_.db.windows_code);
  LogMessage(kTag, "Url=" + info_path);
  std::vector<std::string> lines;
  if (!LoadInternetPage(kEngineAgent, c_.host, info_path, c_.timeout_ms, {}, false, lines,
                        kReplyLimit)) {
    LogError(kTag, "Fail get info about update");
    return false;
  }
  std::string reply;
  for (size_t i = 0; i < lines.size(); ++i) reply += (i ? "\r\n" : "") + lines[i];
  reply = Trim(reply);
  DatabaseInfoReply info = ParseDatabaseInfoReply(reply);
  if (!info.ok) {
    LogError("DownloadDataBase", "Invalid result", reply);
    return false;
  }
  LogMessage("DownloadDataBase", "Result: " + reply);

  bool download_reported = false;
  // The transfer reports every 4 KiB piece; handing each one to the owner's
  // thread would cost more than the download itself (25,000 round trips for
  // 100 MB). The owner hears of the first piece, then of every
  // kProgressBytes or kProgressInterval, whichever comes first (so a cancel
  // still lands within a fraction of a second), and of the last piece.
  constexpr uint64_t kProgressBytes = 256 * 1024;
  constexpr auto kProgressInterval = std::chrono::milliseconds(100);
  uint64_t notified_bytes = 0;
  auto notified_at = std::chrono::steady_clock::now();
  auto progress = [&](uint64_t received, uint64_t length) {
    position_ = static_cast<int32_t>(std::min<uint64_t>(received, INT32_MAX));
    total_ = static_cast<int32_t>(std::min<uint64_t>(length, INT32_MAX));
    if (received > 0 && !download_reported) {
      download_reported = true;
      Hook("download");
    }
    const auto now = std::chrono::steady_clock::now();
    if (notified_bytes == 0 || received == length || received - notified_bytes >= kProgressBytes ||
        now - notified_at >= kProgressInterval) {
      notified_bytes = received;
      notified_at = now;
      Notify(kUpdateProgress, position_, total_);
    }
    return !cancel_ && !Stopping();
  };
  if (!XInternet::LoadInternetFile(kEngineAgent, info.host, info.path, c_.timeout_ms, progress,
                                   false, archive)) {
    LogError(kTag, "Cannot download Drivers", PathUtf8(archive));
    return false;
  }
  // Without a length the last piece is not known as such while it arrives.
  if (notified_bytes != static_cast<uint64_t>(position_)) Notify(kUpdateProgress, position_, total_);
  Hook("downloaded");
  if (cancel_) {
    std::error_code ec;
    fs::remove(archive, ec);
    Notify(kUpdateCancelled);
    return false;
  }
  if (!CheckDatabaseMD5(info.md5, archive)) {
    LogError(kTag, "CheckDatabaseMD5 fail", PathUtf8(archive));
    std::error_code ec;
    fs::remove(archive, ec);
    return false;
  }
  Hook("verified");
  Notify(kUpdateExtracting);
  Sleep(c_.attempt_pause);
  bool installed = InstallArchive(archive);
  std::error_code ec;
  fs::remove_all(c_.db.base_dir / kUnpackFolder, ec);
  if (!installed) {
    fs::remove(archive, ec);
    return false;
  }
  if (Exists(archive) && !fs::remove(archive, ec)) {
    fs::path aside = WithSuffix(archive, std::to_string(Ticks()));
    fs::rename(archive, aside, ec);
    if (ec) LogError(kTag, "DeleteFile fail", PathUtf8(archive), static_cast<uint32_t>(ec.value()));
  }
  return true;
}

// Unpacks into a folder of its own, so that an archive can neither leave
// anything beside the database nor overwrite a file of BaseDir, and builds
// the indexes there: the database name is taken only by a finished file.
bool DatabaseUpdater::Worker::InstallArchive(const fs::path& archive) {
  constexpr std::string_view kTag = "TUpdateThread.DownloadDataBase";
  const fs::path unpack = c_.db.base_dir / kUnpackFolder;
  std::error_code ec;
  fs::remove_all(unpack, ec);
  bool extract_reported = false;
  std::vector<std::string> skipped;
  bool unzipped = UnZipFile(
      archive, unpack,
      [&](uint64_t done, uint64_t) {
        if (done > 0 && !extract_reported) {
          extract_reported = true;
          Hook("extract");
        }
        return !Stopping();
      },
      &skipped);
  if (!unzipped) {
    LogError(kTag, "UnZipFile fail", PathUtf8(archive));
    return false;
  }
  std::vector<std::string> names;
  bool only_file = true;
  for (const auto& e : fs::directory_iterator(unpack, ec)) {
    names.push_back(PathUtf8(e.path().filename()));
    only_file = only_file && e.is_regular_file(ec) && !e.is_symlink(ec);
  }
  const fs::path extracted = unpack / kExtractedName;
  if (!skipped.empty() || names.size() != 1 || names[0] != kExtractedName || !only_file) {
    std::string listing;
    for (const auto& n : names) listing += (listing.empty() ? "" : ", ") + n;
    for (const auto& n : skipped) listing += (listing.empty() ? "skipped " : ", skipped ") + n;
    LogError(kTag, "Unexpected archive content", PathUtf8(archive) + ": " + listing);
    return false;
  }
  Sleep(c_.attempt_pause);
  // A database the program would reject at its next start must not take
  // the place of one it accepts.
  if (!QuickCheckDatabase(c_.db, extracted)) {
    LogError(kTag, "QuickCheckDatabase fail", PathUtf8(extracted));
    return false;
  }
  DatabaseEnv index_env = c_.db;
  index_env.closing = [this] {
    Hook("index");
    return Stopping();
  };
  if (!CreateBaseIndexes(index_env, extracted) || Stopping()) {
    LogError(kTag, "CreateBaseIndexes fail");
    return false;
  }
  const fs::path db = u_.DatabasePath();
  RemoveSqliteCompanions(db);
  fs::rename(extracted, db, ec);
  if (ec) {
    LogError(kTag, "Cannot rename Drivers", PathUtf8(extracted) + " -> " + PathUtf8(db),
             static_cast<uint32_t>(ec.value()));
    return false;
  }
  Hook("renamed");
  return true;
}

DatabaseUpdater::DatabaseUpdater(UpdaterConfig config) : config_(std::move(config)) {}

DatabaseUpdater::~DatabaseUpdater() {
  stopping_ = true;
  Join();
}

void DatabaseUpdater::Join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

fs::path DatabaseUpdater::DatabasePath() const { return DefaultDatabasePath(config_.db); }
fs::path DatabaseUpdater::PrevPath() const { return WithSuffix(DatabasePath(), kPrevSuffix); }

double DatabaseUpdater::Now() const { return config_.now ? config_.now() : NowDateTime(); }

bool DatabaseUpdater::IsThereBaseUpdate(double database_date) {
  constexpr std::string_view kTag = "IsThereBaseUpdate";
  const double now = Now();
  if (now - database_date < 10) return false;
  LogMessage(kTag, "Old database: checking");
  IniFile ini(config_.db.base_dir / kUpdateSettingsFile);
  // Whatever the outcome, the file is written back (created when absent).
  struct WriteBack {
    IniFile& ini;
    std::chrono::milliseconds retry;
    ~WriteBack() {
      SaveIni(ini, retry, "IsThereBaseUpdate", "Ini.UpdateFile: ", "Ini.UpdateFile 2", true);
    }
  } write_back{ini, config_.ini_retry};

  const std::string last_text = ini.ReadString(kIniSection, kIniKey);
  const double last = ParseShortDate(last_text, LocaleOrDefault().short_date).value_or(0.0);
  if (now - last < 5) {
    LogMessage(kTag, "Recently checked. Skip: " + last_text);
    return false;
  }
  XInternet::SetTimeOut(config_.timeout_ms);
  MemoryStream stream;
  if (!XInternet::LoadInternetData(kEngineAgent, config_.host, LastUpdatePath(), {}, false, stream,
                                   kReplyLimit)) {
    LogError(kTag, "Fail get info about update");
    return false;
  }
  std::vector<std::string> lines =
      SplitTextLines(DecodeInternetText(stream.data(), LocaleOrDefault().ansi_code_page));
  if (lines.empty()) {
    LogError(kTag, "Empty LoadInternetPage result");
    return false;
  }
  bool found = false;
  std::optional<double> service_date = ParseLastUpdateReply(lines[0], &found);
  if (!found) {
    LogError(kTag, "Date not found", stream.data());
    return false;
  }
  if (!service_date) {
    LogError(kTag, "LastUpdate broken", stream.data());
    return false;
  }
  ini.WriteString(kIniSection, kIniKey, FormatShortDate(now));
  if (*service_date - database_date >= 2) return true;
  LogMessage(kTag, "Up-to-date");
  return false;
}

bool DatabaseUpdater::UpdateDriverBases(bool& database_exists, const UpdateCallback& callback) {
  constexpr std::string_view kTag = "UpdateDriverBases";
  // An update that a crash or kill interrupted is settled before anything
  // looks at the database; while this process runs one, ".prev" is its own.
  if (Running()) {
    // One update at a time: while it runs, the database name is empty.
    LogMessage(kTag, "Update in progress");
    database_exists = Exists(PrevPath());
    return false;
  }
  if (!update_started_) RecoverDatabaseUpdate(config_.db);
  const fs::path db_path = DatabasePath();
  database_exists = Exists(db_path);
  bool required = false;
  if (!database_exists) {
    LogMessage(kTag, "No database: Update requires " + PathUtf8(db_path));
    required = true;
  } else if (config_.force) {
    LogMessage(kTag, "Update forced");
    required = true;
  } else {
    SqliteDb db;
    std::string wrong;
    std::optional<std::string> date_value;
    if (db.Open(db_path, /*read_only=*/true, /*create=*/false) != 0) {
      LogError(kTag, "TSQLiteDatabase.Create failed", PathUtf8(db_path));
      wrong = db.message();
    } else {
      db.SetBusyTimeout(5000);
      SqliteStatement q = db.Prepare("SELECT value FROM settings WHERE name = ?1");
      if (q.valid()) q.Bind(1, "date");
      if (q.valid() && q.Step()) {
        date_value = q.Text(0);
      } else if (!q.valid() || q.last_code() != 101 /* SQLITE_DONE */) {
        LogError(kTag, "sldb.GetTable fail");
        wrong = db.message();
      }
    }
    db.Close();
    if (!wrong.empty()) {
      LogError(kTag, "Wrong database", wrong);
      required = true;
    } else if (date_value) {
      const std::string value = Trim(*date_value);
      const double date = TryParseDate(value, /*iso=*/true).value_or(0.0);
      if (IsThereBaseUpdate(date)) {
        LogMessage(kTag, "There is new database: " + value + " - " + FormatShortDate(date));
        required = true;
      }
    } else {
      LogMessage(kTag, "sltb.Count = 0: Update requires");
      required = true;
    }
  }
  if (update_started_ && database_exists) return false;
  if (!required && QuickCheckDatabase(config_.db)) return false;

  LogMessage(kTag, "Update requires");
  bool cancel = false;
  if (callback) {
    callback(kUpdateProgress, 0, &cancel, 0);
    if (cancel) {
      callback(kUpdateCancelled, 0, &cancel, 0);
      return false;
    }
  }
  update_started_ = true;
  if (database_exists) {
    RemoveOrMoveAside(PrevPath(), kTag);
    std::error_code ec;
    fs::rename(db_path, PrevPath(), ec);
    if (ec) LogError(kTag, "RenameFile fail", PathUtf8(db_path), static_cast<uint32_t>(ec.value()));
    if (config_.step_hook) config_.step_hook("moved-aside");
  }
  Join();  // a previous thread has ended (it sent its last code)
  outcome_ = UpdateOutcome::kNone;
  running_ = true;
  thread_ = std::thread([this, callback] {
    Worker worker(*this, callback);
    worker.Execute();
  });
  return true;
}

DatabaseUpdater& ProgramDatabaseUpdater(MainThreadPort& main) {
  static DatabaseUpdater updater(ProgramUpdaterConfig(main));
  return updater;
}

bool UpdateDriverBases(bool& database_exists, const UpdateCallback& callback,
                       MainThreadPort& main) {
  return ProgramDatabaseUpdater(main).UpdateDriverBases(database_exists, callback);
}

}  // namespace vx
