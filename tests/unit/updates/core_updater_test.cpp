#include "updates/core_updater.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/date_time.h"
#include "common/ini_file.h"
#include "common/logger.h"
#include "common/md5.h"
#include "common/text.h"
#include "engine/driver_utils.h"
#include "support/child_process.h"
#include "support/test_files.h"
#include "support/test_machine.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "dbgen/dbgen_lib.h"
#include "platform/seven_zip.h"
extern char** environ;
#endif

namespace vx {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// ---- parsing (both platforms) ------------------------------------------------

TEST(UpdaterReplies, DatabaseInfoIsReadBySubstring) {
  struct Case {
    std::string reply;
    bool ok;
    std::string md5, host, path;
  } cases[] = {
      {R"({"ok":1,"error":0,"url":"http:\/\/h.invalid:81\/database\/D.7z","file_hash":"abc"})",
       true, "abc", "h.invalid:81", "/database/D.7z"},
      // A blank after a colon is not the success text.
      {R"({"ok": 1,"error":0,"url":"http:\/\/h\/d.7z","file_hash":"abc"})", false, "", "", ""},
      {R"({"ok":0,"error":1})", false, "", "", ""},
      // The first seven characters go whatever the scheme: "https://h/x"
      // leaves "/h/x", which names no host.
      {R"({"ok":1,"error":0,"url":"https://h/x"})", false, "", "", ""},
      {R"({"ok":1,"error":0,"url":"http:\/\/h"})", true, "", "h", "/"},
  };
  for (const auto& c : cases) {
    DatabaseInfoReply r = ParseDatabaseInfoReply(c.reply);
    EXPECT_EQ(r.ok, c.ok) << c.reply;
    if (!c.ok) continue;
    EXPECT_EQ(r.md5, c.md5) << c.reply;
    EXPECT_EQ(r.host, c.host) << c.reply;
    EXPECT_EQ(r.path, c.path) << c.reply;
  }
}

TEST(UpdaterReplies, LastUpdateDateAndShortDates) {
  bool found = false;
  EXPECT_EQ(ParseLastUpdateReply(R"({"ok":1,"date":"2024-05-06"})", &found), DateFromCivil(2024, 5, 6));
  EXPECT_TRUE(found);
  EXPECT_FALSE(ParseLastUpdateReply(R"({"ok":1,"date":"2024-5-6x"})", &found));
  EXPECT_TRUE(found);
  EXPECT_FALSE(ParseLastUpdateReply(R"({"ok":1})", &found));
  EXPECT_FALSE(found);

  struct Case {
    const char* text;
    const char* picture;
    std::optional<double> date;
  } cases[] = {
      {"5/6/2024", "M/d/yyyy", DateFromCivil(2024, 5, 6)},
      {"06.05.2024", "dd.MM.yyyy", DateFromCivil(2024, 5, 6)},
      {"2024-05-06", "yyyy-MM-dd", DateFromCivil(2024, 5, 6)},
      {"6/5/24", "d/M/yy", DateFromCivil(2024, 5, 6)},
      {"", "M/d/yyyy", std::nullopt},
      {"13/40/2024", "M/d/yyyy", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseShortDate(c.text, c.picture), c.date) << c.text;
}

#ifndef _WIN32

// ---- against the local service -----------------------------------------------

using test::ReadAll;
using test::WriteAll;

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extra_env = {}) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> env_text(extra_env);
  for (char** e = environ; *e; ++e) env_text.push_back(*e);
  std::vector<char*> envp;
  for (auto& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

struct DbFacts {
  std::string date;
  int64_t rows = 0;
};

DbFacts ReadFacts(const fs::path& db_file) {
  SqliteDb db;
  DbFacts f;
  if (db.Open(db_file, true, false) != 0) return f;
  f.date = ReadDatabaseSetting(db, "date");
  SqliteStatement s = db.Prepare("SELECT COUNT(*) FROM drivers");
  if (s.valid() && s.Step()) f.rows = s.Int(0);
  return f;
}

int IndexCount(const fs::path& db_file) {
  SqliteDb db;
  if (db.Open(db_file, true, false) != 0) return -1;
  SqliteStatement s = db.Prepare(
      "SELECT COUNT(*) FROM sqlite_master WHERE type='index' AND name IN "
      "('hardid_index','hardid_full_index','ind_col')");
  return s.valid() && s.Step() ? static_cast<int>(s.Int(0)) : -1;
}

// The service and the databases are made once for the suite.
class UpdaterTest : public test::MachineFixture {
 protected:
  static constexpr const char* kOldDate = "2020-01-01";
  static constexpr const char* kNewDate = "2020-02-01";
  static constexpr int64_t kOldRows = 10000;
  static constexpr int64_t kNewRows = 12000;

  static void SetUpTestSuite() {
    data_ = std::make_unique<test::TempDir>();
    root_ = data_->path() / "root";
    fs::create_directories(root_ / "database");
    std::string error, md5;
    dbgen::DbOptions opt;
    opt.rows = kOldRows;
    opt.date = kOldDate;
    old_db_ = data_->path() / "old.db";
    ASSERT_TRUE(dbgen::WriteDriverDatabase(opt, old_db_, &error)) << error;
    opt.rows = kNewRows;
    opt.date = kNewDate;
    opt.seed = 2;
    fs::path new_db = data_->path() / "new.db";
    ASSERT_TRUE(dbgen::WriteDriverDatabase(opt, new_db, &error)) << error;
    new_archive_ = data_->path() / "Drivers64-10.7z";
    ASSERT_TRUE(dbgen::WriteDatabaseArchive(new_db, new_archive_, &md5, &error)) << error;
    new_md5_ = md5;
    fs::path ports = data_->path() / "ports";
    service_ = std::make_unique<test::Child>();
    ASSERT_TRUE(service_->Start({VX_SERVICE_EXE, "--root", root_.string(), "--port-file",
                                 ports.string(), "--smtp-port", "-1"}));
    ASSERT_TRUE(test::WaitForFile(ports));
    host_ = "127.0.0.1:" + test::ServicePort(ports, "http");
  }
  static void TearDownTestSuite() {
    service_.reset();
    data_.reset();
  }

  void SetUp() override {
    test::MachineFixture::SetUp();
    base_ = machine_dir() / "base";
    fs::create_directories(base_);
    StartLog(base_);
    // Each test states what the service holds.
    std::error_code ec;
    fs::remove_all(root_ / "rpc", ec);
    fs::remove(root_ / "faults.txt", ec);
    ServeArchive(new_archive_);
    WriteAll(root_ / "database" / "lastupdate.txt", "2020-02-01\n");
  }
  void TearDown() override {
    StopLog();
    test::MachineFixture::TearDown();
  }

  static void ServeArchive(const fs::path& archive) {
    fs::copy_file(archive, root_ / "database" / "Drivers64-10.7z",
                  fs::copy_options::overwrite_existing);
  }

  UpdaterConfig Config(MainThreadPort* main) const {
    UpdaterConfig c;
    c.db.base_dir = base_;
    c.db.windows64 = true;
    c.db.windows_code = 10;
    c.db.index_pause = 1ms;
    c.host = host_;
    c.main = main;
    c.attempt_pause = 1ms;
    c.ini_retry = 1ms;
    c.now = [] { return *DateFromCivil(2020, 3, 1) + 0.5; };
    return c;
  }
  fs::path Db() const { return base_ / "Drivers64.db"; }
  void InstallOld() const { fs::copy_file(old_db_, Db(), fs::copy_options::overwrite_existing); }

  struct Run {
    bool started = false;
    bool exists = false;
    std::vector<int> codes;
    std::vector<std::pair<int32_t, int32_t>> progress;
  };
  // One UpdateDriverBases with a pump until the last code.
  Run Update(DatabaseUpdater& u, PumpedMainThread& main, bool cancel_first = false) {
    Run r;
    r.started = u.UpdateDriverBases(r.exists, [&](int code, int32_t pos, bool* cancel, int32_t total) {
      r.codes.push_back(code);
      if (code == 0) r.progress.emplace_back(pos, total);
      if (code == 0 && r.codes.size() == 1 && cancel_first) *cancel = true;
    });
    if (r.started) {
      EXPECT_TRUE(main.PumpUntil([&] { return !u.Running() && !r.codes.empty() && r.codes.back() >= 2; }, 60s));
      u.Join();
    }
    return r;
  }

  static inline std::unique_ptr<test::TempDir> data_;
  static inline fs::path root_, old_db_, new_archive_;
  static inline std::string new_md5_, host_;
  static inline std::unique_ptr<test::Child> service_;
  fs::path base_;
};

TEST_F(UpdaterTest, IsThereBaseUpdateFollowsTheTenAndFiveDayRules) {
  const double now = *DateFromCivil(2020, 3, 1) + 0.5;
  const std::string today = FormatShortDate(now);
  struct Case {
    const char* name;
    double age;           // days between the database date and now
    double checked_ago;   // days since "LastUpdate"; < 0: absent
    const char* service;  // the service's date
    bool result;
    bool asked;           // the check was recorded as done today
  } cases[] = {
      {"9 days: never asked", 9, -1, "2020-02-29", false, false},
      {"10 days: asked", 10, -1, "2020-02-23", true, true},
      {"checked 4 days ago", 10, 4, "2020-02-23", false, false},
      {"checked 5 days ago", 10, 5, "2020-02-23", true, true},
      {"only one day newer", 10, -1, "2020-02-21", false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(base_ / "settings.ini");
    if (c.checked_ago >= 0) {
      IniFile ini(base_ / "settings.ini");
      ini.WriteString("general", "LastUpdate", FormatShortDate(now - c.checked_ago));
      ASSERT_TRUE(ini.UpdateFile());
    }
    WriteAll(root_ / "database" / "lastupdate.txt", std::string(c.service) + "\n");
    DatabaseUpdater u(Config(nullptr));
    BeginLogCapture();
    EXPECT_EQ(u.IsThereBaseUpdate(DateOf(now) - c.age), c.result);
    auto lines = EndLogCapture();
    auto has = [&](std::string_view t) {
      for (const auto& l : lines) if (l.find(t) != std::string::npos) return true;
      return false;
    };
    EXPECT_EQ(has("Old database: checking"), c.age >= 10);
    EXPECT_EQ(fs::exists(base_ / "settings.ini"), c.age >= 10 || c.checked_ago >= 0);
    EXPECT_EQ(IniFile(base_ / "settings.ini").ReadString("general", "LastUpdate") == today, c.asked);
    if (std::string_view(c.name) == "only one day newer") {
      EXPECT_TRUE(has("Up-to-date"));
    }
  }
}

TEST_F(UpdaterTest, QuickCheckDecidesWhenTheDatabaseIsRecent) {
  struct Case {
    int64_t rows;
    int os;  // 0: whole database
    int machine_code;
    bool update;
  } cases[] = {{10000, 0, 10, false}, {9999, 0, 10, true}, {10000, 7, 7, false}, {10000, 7, 10, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.rows) + " rows, os " + std::to_string(c.os));
    dbgen::DbOptions opt;
    opt.rows = c.rows;
    opt.os = c.os;
    opt.date = "2020-02-25";  // 5 days before "now": the service is not asked
    std::string error;
    ASSERT_TRUE(dbgen::WriteDriverDatabase(opt, Db(), &error)) << error;
    PumpedMainThread main;
    UpdaterConfig cfg = Config(&main);
    cfg.db.windows_code = c.machine_code;
    fs::remove_all(root_ / "rpc");
    // Every machine code gets the suite's new database.
    WriteAll(root_ / "rpc" / ("getdatabasecxw-64-" + std::to_string(c.machine_code) + ".txt"),
             R"({"ok":1,"error":0,"url":"http:\/\/)" + host_ +
                 R"(\/database\/Drivers64-10.7z","file_hash":")" + new_md5_ + R"("})");
    DatabaseUpdater u(cfg);
    Run r = Update(u, main);
    EXPECT_EQ(r.started, c.update);
    if (c.update) {
      EXPECT_EQ(u.LastOutcome(), UpdateOutcome::kNewDatabase);
    }
  }
}

TEST_F(UpdaterTest, SuccessfulUpdateReplacesTheDatabaseAndCleansUp) {
  InstallOld();
  WriteAll(base_ / "Vendors.txt", "x");
  PumpedMainThread main;
  DatabaseUpdater u(Config(&main));
  Run r = Update(u, main);
  ASSERT_TRUE(r.started);
  EXPECT_TRUE(r.exists);
  ASSERT_GE(r.codes.size(), 3u);
  EXPECT_EQ(r.codes.front(), 0);
  EXPECT_EQ(r.progress.front(), std::make_pair(0, 0));
  EXPECT_EQ(r.progress.back().first, static_cast<int32_t>(fs::file_size(new_archive_)));
  EXPECT_EQ(r.progress.back().second, r.progress.back().first);
  EXPECT_EQ(std::count(r.codes.begin(), r.codes.end(), 1), 1);
  EXPECT_EQ(r.codes.back(), 4);
  EXPECT_EQ(u.LastOutcome(), UpdateOutcome::kNewDatabase);
  EXPECT_EQ(ReadFacts(Db()).rows, kNewRows);
  EXPECT_EQ(IndexCount(Db()), 3);
  for (const char* gone : {"Drivers64.db.prev", "Vendors.txt", "Drivers.7z", "Drivers.7z.tmp",
                           "Drivers.unpack", "Drivers.db"})
    EXPECT_FALSE(fs::exists(base_ / gone)) << gone;
  EXPECT_FALSE(IniFile(base_ / "settings.ini").ReadString("general", "LastUpdate").empty());

  // The second call of the process: the database exists, so no update,
  // even when the service says it is old.
  bool exists = false;
  EXPECT_FALSE(u.UpdateDriverBases(exists, {}));
  EXPECT_TRUE(exists);
}

TEST_F(UpdaterTest, CancelAtTheFirstNotificationTouchesNothing) {
  InstallOld();
  const std::string before = Md5HexOfFile(Db()).value();
  PumpedMainThread main;
  DatabaseUpdater u(Config(&main));
  Run r = Update(u, main, /*cancel_first=*/true);
  EXPECT_FALSE(r.started);
  EXPECT_EQ(r.codes, (std::vector<int>{0, 2}));
  EXPECT_EQ(Md5HexOfFile(Db()).value(), before);
  EXPECT_FALSE(fs::exists(base_ / "Drivers64.db.prev"));
  EXPECT_FALSE(u.UpdateStarted());
}

// Every failure keeps the previous database and ends with code 4.
TEST_F(UpdaterTest, FailedAttemptsPutThePreviousDatabaseBack) {
  const std::string good_info = R"({"ok":1,"error":0,"url":"http:\/\/)" + host_ +
                                R"(\/database\/Drivers64-10.7z","file_hash":")";
  std::string upper = new_md5_;
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  fs::path garbage = data_->path() / "garbage.7z";
  WriteAll(garbage, std::string(50000, 'x'));
  fs::path extra = data_->path() / "extra.7z";
  fs::path escape = data_->path() / "escape.7z";
  {
    std::string error;
    using platform::seven_zip::NewEntry;
    NewEntry db{"Drivers.db", data_->path() / "old.db", std::nullopt};
    ASSERT_TRUE(platform::seven_zip::Write(extra, platform::seven_zip::Format::kSevenZip,
                                           {db, NewEntry{"extra.txt", {}, "x"}}, 1, error)) << error;
    ASSERT_TRUE(platform::seven_zip::Write(escape, platform::seven_zip::Format::kSevenZip,
                                           {db, NewEntry{"../escape.txt", {}, "x"}}, 1, error)) << error;
  }
  struct Case {
    const char* name;
    std::string info;     // verbatim info reply; empty = generated
    std::string faults;   // faults.txt
    fs::path archive;     // served archive; empty = the new database
    const char* log;
  } cases[] = {
      {"blank in the reply", R"({"ok": 1,"error":0,"url":"http:\/\/)" + host_ + R"(\/database\/Drivers64-10.7z"})", "", {}, "Invalid result"},
      {"md5 in upper case", good_info + upper + "\"}", "", {}, "CheckDatabaseMD5 fail"},
      {"dropped connection", "", "/database/=drop:20000\n", {}, "Cannot download Drivers"},
      {"corrupt archive, right md5", "", "", garbage, "UnZipFile fail"},
      {"extra entry", "", "", extra, "Unexpected archive content"},
      {"entry leaving BaseDir", "", "", escape, "Unexpected archive content"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code ec;
    fs::remove_all(root_ / "rpc", ec);
    if (!c.info.empty()) WriteAll(root_ / "rpc" / "getdatabasecxw-64-10.txt", c.info);
    WriteAll(root_ / "faults.txt", c.faults);
    ServeArchive(c.archive.empty() ? new_archive_ : c.archive);
    fs::remove(base_ / "settings.ini", ec);
    InstallOld();
    const std::string before = Md5HexOfFile(Db()).value();
    PumpedMainThread main;
    DatabaseUpdater u(Config(&main));
    BeginLogCapture();
    Run r = Update(u, main);
    auto lines = EndLogCapture();
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.codes.back(), 4);
    EXPECT_EQ(u.LastOutcome(), UpdateOutcome::kPreviousRestored);
    EXPECT_EQ(Md5HexOfFile(Db()).value(), before);
    bool logged = false;
    for (const auto& l : lines) logged |= l.find(c.log) != std::string::npos;
    EXPECT_TRUE(logged) << c.log;
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(base_)) {
      std::string name = e.path().filename().string();
      if (name.rfind("program", 0) != 0) left.push_back(name);
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"Drivers64.db", "settings.ini"}));
    EXPECT_FALSE(fs::exists(machine_dir() / "escape.txt"));
    // Without a previous database the same failure is code 3.
    fs::remove(Db());
    DatabaseUpdater fresh(Config(&main));
    Run none = Update(fresh, main);
    ASSERT_TRUE(none.started);
    EXPECT_FALSE(none.exists);
    EXPECT_EQ(none.codes.back(), 3);
    EXPECT_FALSE(fs::exists(Db()));
  }
}

// A real process killed at each step of an update: the next start always
// finds a usable database, the old or the new one, never a mix.
TEST_F(UpdaterTest, KillAtAnyStepLeavesTheOldOrTheNewDatabase) {
  struct Case {
    const char* step;
    bool new_expected;
  } cases[] = {{"moved-aside", false}, {"download", false}, {"downloaded", false},
               {"verified", false},    {"extract", false},  {"index", false},
               {"renamed", true},      {"done", true}};
  const fs::path child = test::ProgramDir() / "vx_update_child";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.step);
    fs::remove_all(base_);
    fs::create_directories(base_);
    InstallOld();
    pid_t pid = Spawn({child.string(), base_.string(), host_},
                      {std::string("VX_TEST_KILL_AT=") + c.step});
    ASSERT_GT(pid, 0);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;

    // The next start.
    UpdaterConfig cfg = Config(nullptr);
    EXPECT_TRUE(RecoverDatabaseUpdate(cfg.db));
    EXPECT_TRUE(QuickCheckDatabase(cfg.db));
    DbFacts f = ReadFacts(Db());
    EXPECT_EQ(f.date, c.new_expected ? kNewDate : kOldDate);
    EXPECT_EQ(f.rows, c.new_expected ? kNewRows : kOldRows);
    if (c.new_expected) {
      EXPECT_EQ(IndexCount(Db()), 3);
    }
    EXPECT_FALSE(fs::exists(base_ / "Drivers64.db.prev"));
    EXPECT_FALSE(fs::exists(base_ / "Drivers.unpack"));

    // And an update run to its end from there gives the new database.
    fs::remove(base_ / "settings.ini");
    pid = Spawn({child.string(), base_.string(), host_});
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(ReadFacts(Db()).rows, kNewRows);
  }
}

#endif  // _WIN32

}  // namespace
}  // namespace vx
