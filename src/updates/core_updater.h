// The database updater: decides whether the service has a driver database
// worth fetching and replaces the installed one on a worker thread, keeping
// the previous file until the new one is complete.
//
// Crash safety. The database name only ever names a complete database: the
// archive is unpacked into a private folder and indexed there, and the new
// file takes the database name by a single rename. While an update runs the
// previous database waits under the name + ".prev". Should the process die
// at any moment, the next UpdateDriverBases (or RecoverDatabaseUpdate at
// start-up) finds the ".prev" file and either finishes the update (the new
// database is already in place) or puts the previous one back.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "engine/driver_database.h"
#include "engine/main_thread.h"

namespace vx {

// Notification codes of the update callback.
enum UpdateCode : int {
  kUpdateProgress = 0,   // archive bytes (position, total); also once before the thread starts
  kUpdateExtracting = 1, // archive downloaded and verified
  kUpdateCancelled = 2,
  kUpdateFailed = 3,     // no usable database
  kUpdateFinished = 4,   // a new database is in place, or the previous one is back
};

// Runs on the owner's thread. Setting *cancel asks the updater to stop.
using UpdateCallback =
    std::function<void(int code, int32_t position, bool* cancel, int32_t total)>;

// How the last update of an updater ended; kUpdateFinished alone does not
// tell a new database from a restored one.
enum class UpdateOutcome { kNone, kNewDatabase, kPreviousRestored, kCancelled, kFailed };

inline constexpr std::string_view kPrevSuffix = ".prev";
inline constexpr std::string_view kArchiveName = "Drivers.7z";
inline constexpr std::string_view kExtractedName = "Drivers.db";
inline constexpr std::string_view kUpdateSettingsFile = "settings.ini";
inline constexpr std::string_view kVendorsFile = "Vendors.txt";
// The private folder the archive is unpacked into.
inline constexpr std::string_view kUnpackFolder = "Drivers.unpack";

struct UpdaterConfig {
  DatabaseEnv db;              // base_dir, windows64, windows_code
  std::string host;            // the service host, "name" or "name:port"
  MainThreadPort* main = nullptr;
  int32_t timeout_ms = 10000;
  std::chrono::milliseconds attempt_pause{500};  // after a failed attempt, around extraction
  std::chrono::milliseconds ini_retry{1000};
  std::function<double()> now;  // local date-time; NowDateTime when empty
  // Update whatever the database's age and the check intervals say (the
  // console's "update-db --force").
  bool force = false;
  // Called at the named steps ("moved-aside", "download", "downloaded",
  // "verified", "extract", "index", "renamed", "done"); tests stop the
  // process there to prove the crash safety.
  std::function<void(std::string_view step)> step_hook;
};

// The configuration of this program: Params(), the Windows bitness and the
// service host in effect.
UpdaterConfig ProgramUpdaterConfig(MainThreadPort& main);

class DatabaseUpdater {
 public:
  explicit DatabaseUpdater(UpdaterConfig config);
  // Asks a running thread to stop and waits for it.
  ~DatabaseUpdater();
  DatabaseUpdater(const DatabaseUpdater&) = delete;
  DatabaseUpdater& operator=(const DatabaseUpdater&) = delete;

  // Starts an update when one is due; true when the update thread started.
  // database_exists tells whether a database file existed.
  bool UpdateDriverBases(bool& database_exists, const UpdateCallback& callback);
  // True when the service has a database at least 2 days newer than
  // database_date, asking at most every 5 days and only for a database
  // at least 10 days old.
  bool IsThereBaseUpdate(double database_date);

  bool Running() const { return running_.load(); }
  bool UpdateStarted() const { return update_started_; }
  UpdateOutcome LastOutcome() const { return outcome_.load(); }
  // Waits for the thread to end (the owner must keep serving calls).
  void Join();

  const UpdaterConfig& config() const { return config_; }
  std::filesystem::path DatabasePath() const;
  std::filesystem::path PrevPath() const;

 private:
  class Worker;
  double Now() const;

  UpdaterConfig config_;
  bool update_started_ = false;  // owner's thread only
  std::atomic<bool> running_{false};
  std::atomic<UpdateOutcome> outcome_{UpdateOutcome::kNone};
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

// Puts BaseDir back into a consistent state after an update that did not
// end: the leftovers of the download and extraction go, and a ".prev" file
// either gives way to the complete new database or becomes the database
// again. True when a usable database exists afterwards.
bool RecoverDatabaseUpdate(const DatabaseEnv& env);

// One database-information reply, parsed as the service's clients always
// have (substrings, not structured data).
struct DatabaseInfoReply {
  bool ok = false;
  std::string md5;
  std::string host;
  std::string path;
};
DatabaseInfoReply ParseDatabaseInfoReply(std::string_view reply);
// The date of a last-update reply's first line; nullopt (with *date_found
// telling whether "date" occurred) when it has none.
std::optional<double> ParseLastUpdateReply(std::string_view first_line, bool* date_found);
// A date written in a Windows short-date picture ("M/d/yyyy", "dd.MM.yyyy",
// "yyyy-MM-dd"...): the numbers are read in the picture's day, month and
// year order whatever separates them. nullopt when it does not fit.
std::optional<double> ParseShortDate(std::string_view text, std::string_view picture);
// The archive's MD5 as 32 lower-case digits compared exactly with the
// expected text; an empty expected text is accepted (and logged).
bool CheckDatabaseMD5(std::string_view expected, const std::filesystem::path& archive);

// The process-wide updater of the program (created on first use from
// ProgramUpdaterConfig) and its entry point for the result page.
DatabaseUpdater& ProgramDatabaseUpdater(MainThreadPort& main);
bool UpdateDriverBases(bool& database_exists, const UpdateCallback& callback,
                       MainThreadPort& main);

}  // namespace vx
