// Updates a driver database from a ~100 MB archive served on loopback by
// vantrix-service, once through the program's updater (UpdateDriverBases:
// database info, download, MD5, extraction, checks, the three indexes, the
// swap into place) and once with the bare tools in sequence (curl, md5sum,
// 7z x, sqlite3 creating the same indexes), and prints how the two compare
// (goal: the updater within 1.3x of the bare tools).
//
// The archive takes minutes to make, so it is kept in the temporary folder
// under a name that spells out what it holds; a second run reuses it.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/logger.h"
#include "common/md5.h"
#include "common/text.h"
#include "engine/driver_database.h"
#include "engine/main_thread.h"
#include "platform/sqlite_db.h"
#include "support/child_process.h"
#include "support/test_files.h"
#include "updates/core_updater.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// About 1.75M driver rows make a ~230 MB database whose archive at 7-Zip's
// fastest LZMA level is ~100 MB. The fast level only changes how long the
// archive takes to make; extraction runs at LZMA speed either way.
constexpr int64_t kRows = 1'750'000;
constexpr int kLevel = 1;
constexpr uint64_t kSeed = 7;
constexpr int64_t kOldRows = 10000;  // the database being replaced
constexpr int kIterations = 3;
// Bumped whenever the generator's output changes in a way that matters here.
constexpr int kCacheVersion = 1;

// Runs a program with stdout to `out` (or /dev/null) and stderr to
// /dev/null; its exit code, or -1.
int Run(const std::vector<std::string>& args, const fs::path& out = {}) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string out_text = out.empty() ? std::string("/dev/null") : out.string();
  posix_spawn_file_actions_addopen(&actions, 1, out_text.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

using vx::test::ReadAll;

fs::path CacheDir() {
  return fs::temp_directory_path() /
         ("vantrix-updater-bench-v" + std::to_string(kCacheVersion) + "-rows" +
          std::to_string(kRows) + "-mx" + std::to_string(kLevel) + "-seed" +
          std::to_string(kSeed));
}

// The service root (database/Drivers64-10.7z with its MD5, lastupdate.txt)
// and old.db, made in a scratch folder and renamed into the cache at the
// end, so an interrupted first run leaves nothing that looks complete.
bool PrepareCache(const fs::path& cache) {
  std::error_code ec;
  if (fs::exists(cache / "root" / "database" / "Drivers64-10.7z.md5", ec)) return true;
  std::fprintf(stderr, "updater_bench: making the archive in %s (takes minutes once)\n",
               cache.c_str());
  fs::path work = cache;
  work += ".part" + std::to_string(getpid());
  fs::remove_all(work, ec);
  fs::create_directories(work / "root" / "database", ec);
  fs::create_directories(work / "stage", ec);
  const fs::path db = work / "stage" / "Drivers.db";
  if (Run({VX_DBGEN_EXE, "db", "--rows", std::to_string(kOldRows), "--os", "10", "--date",
           "2020-01-01", (work / "old.db").string()}) != 0 ||
      Run({VX_DBGEN_EXE, "db", "--rows", std::to_string(kRows), "--os", "10", "--seed",
           std::to_string(kSeed), "--date", "2020-02-01", db.string()}) != 0) {
    std::fprintf(stderr, "updater_bench: %s db failed\n", VX_DBGEN_EXE);
    return false;
  }
  const fs::path archive = work / "root" / "database" / "Drivers64-10.7z";
  if (Run({"7z", "a", "-t7z", "-mx=" + std::to_string(kLevel), archive.string(), db.string()}) !=
      0) {
    std::fprintf(stderr, "updater_bench: 7z a failed\n");
    return false;
  }
  auto md5 = vx::Md5HexOfFile(archive);
  if (!md5) return false;
  std::ofstream(fs::path(archive).concat(".md5")) << *md5 << "\n";
  std::ofstream(work / "root" / "database" / "lastupdate.txt") << "2020-02-01\n";
  fs::remove_all(work / "stage", ec);
  fs::remove_all(cache, ec);
  fs::rename(work, cache, ec);
  return !ec;
}

struct Service {
  vx::test::Child child;
  std::string host;

  bool Start(const fs::path& root, const fs::path& scratch) {
    const fs::path ports = scratch / "ports";
    if (!child.Start({VX_SERVICE_EXE, "--root", root.string(), "--port-file", ports.string(),
                      "--smtp-port", "-1"}) ||
        !vx::test::WaitForFile(ports))
      return false;
    std::string port = vx::test::ServicePort(ports, "http");
    host = "127.0.0.1:" + port;
    return !port.empty();
  }
};

struct Setup {
  fs::path cache, scratch;
  std::string host, md5, url;
};
Setup* g = nullptr;

// Seconds from the start of a run to each named step (first time reached).
using Steps = std::vector<std::pair<std::string, double>>;

struct Best {
  double seconds = 0;
  Steps steps;
  void Offer(double s, Steps st) {
    if (seconds == 0 || s < seconds) {
      seconds = s;
      steps = std::move(st);
    }
  }
};
std::map<std::string, Best> g_best;

double Since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

void BareTools(benchmark::State& state) {
  const fs::path dir = g->scratch / "bare";
  const fs::path archive = dir / "Drivers.7z";
  const fs::path unpack = dir / "unpack";
  const std::string indexes =
      "CREATE INDEX IF NOT EXISTS hardid_index on drivers(hardid_index);"
      "CREATE INDEX IF NOT EXISTS hardid_full_index on drivers(hardid_full_index);"
      "CREATE INDEX IF NOT EXISTS ind_col on hardids(hardid);";
  for (auto _ : state) {
    state.PauseTiming();
    std::error_code ec;
    fs::remove_all(dir, ec);
    fs::create_directories(dir, ec);
    state.ResumeTiming();
    const auto t0 = Clock::now();
    Steps steps;
    bool ok = Run({"curl", "-s", "-f", "--noproxy", "*", "-o", archive.string(), g->url}) == 0;
    steps.emplace_back("curl", Since(t0));
    ok = ok && Run({"md5sum", archive.string()}, dir / "md5.txt") == 0 &&
         ReadAll(dir / "md5.txt").rfind(g->md5, 0) == 0;
    steps.emplace_back("md5sum", Since(t0));
    ok = ok && Run({"7z", "x", "-y", "-bd", "-o" + unpack.string(), archive.string()}) == 0;
    steps.emplace_back("7z x", Since(t0));
    ok = ok && Run({"sqlite3", (unpack / "Drivers.db").string(), indexes}) == 0;
    steps.emplace_back("sqlite3", Since(t0));
    const double s = Since(t0);
    if (!ok) {
      state.SkipWithError("a bare tool failed");
      break;
    }
    g_best["bare"].Offer(s, steps);
  }
}

// The program's path end to end; `shipped` keeps the pauses the program
// makes around extraction and between the indexes (2 s in all).
void Updater(benchmark::State& state, bool shipped) {
  const std::string name = shipped ? "updater" : "updater-no-pauses";
  const fs::path base = g->scratch / "base";
  for (auto _ : state) {
    state.PauseTiming();
    std::error_code ec;
    fs::remove_all(base, ec);
    fs::create_directories(base, ec);
    fs::copy_file(g->cache / "old.db", base / "Drivers64.db", ec);
    state.ResumeTiming();

    vx::PumpedMainThread main;
    std::mutex mu;
    Steps steps;
    const auto t0 = Clock::now();
    vx::UpdaterConfig c;
    c.db.base_dir = base;
    c.db.windows64 = true;
    c.db.windows_code = 10;
    c.host = g->host;
    c.main = &main;
    c.force = true;
    if (!shipped) {
      c.attempt_pause = std::chrono::milliseconds(0);
      c.db.index_pause = std::chrono::milliseconds(0);
    }
    c.step_hook = [&](std::string_view step) {
      std::lock_guard lock(mu);
      for (const auto& s : steps)
        if (s.first == step) return;
      steps.emplace_back(std::string(step), Since(t0));
    };
    vx::DatabaseUpdater updater(c);
    int last = -1;
    bool exists = false;
    bool started = updater.UpdateDriverBases(exists, [&](int code, int32_t, bool*, int32_t) {
      last = code;
    });
    bool ended = started && main.PumpUntil([&] { return !updater.Running() && last >= 2; },
                                           std::chrono::minutes(10));
    updater.Join();
    const double s = Since(t0);
    if (!ended || updater.LastOutcome() != vx::UpdateOutcome::kNewDatabase) {
      state.SkipWithError("the update failed");
      break;
    }
    std::lock_guard lock(mu);
    g_best[name].Offer(s, steps);
  }
}

BENCHMARK(BareTools)->Unit(benchmark::kMillisecond)->Iterations(kIterations)->UseRealTime();
BENCHMARK_CAPTURE(Updater, shipped, true)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kIterations)
    ->UseRealTime();
BENCHMARK_CAPTURE(Updater, without_pauses, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kIterations)
    ->UseRealTime();

void PrintSteps(const char* name, const Best& b) {
  std::printf("  %-18s %7.2f s  (", name, b.seconds);
  double before = 0;
  for (size_t i = 0; i < b.steps.size(); ++i) {
    std::printf("%s%s +%.2f", i ? ", " : "", b.steps[i].first.c_str(),
                b.steps[i].second - before);
    before = b.steps[i].second;
  }
  std::printf("%send +%.2f)\n", b.steps.empty() ? "" : ", ", b.seconds - before);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Setup setup;
  setup.cache = CacheDir();
  if (!PrepareCache(setup.cache)) return 1;
  setup.scratch = fs::temp_directory_path() / ("vx_updater_bench_" + std::to_string(getpid()));
  std::error_code ec;
  fs::create_directories(setup.scratch, ec);
  setup.md5 =
      vx::Trim(ReadAll(setup.cache / "root" / "database" / "Drivers64-10.7z.md5"));
  int status = 1;
  {
    Service service;
    if (!service.Start(setup.cache / "root", setup.scratch)) {
      std::fprintf(stderr, "updater_bench: cannot start %s\n", VX_SERVICE_EXE);
    } else {
      setup.host = service.host;
      setup.url = "http://" + service.host + "/database/Drivers64-10.7z";
      // The service digests an archive on the first info request; that
      // belongs to the service, not to either side of the comparison.
      Run({"curl", "-s", "--noproxy", "*",
           "http://" + service.host + "/rpc/getdatabasecxw?arch=64&os=10"});
      std::printf("archive: %.1f MB, %lld driver rows\n",
                  fs::file_size(setup.cache / "root" / "database" / "Drivers64-10.7z", ec) / 1e6,
                  static_cast<long long>(kRows));
      g = &setup;
      benchmark::RunSpecifiedBenchmarks();
      benchmark::Shutdown();
      status = 0;
    }
  }
  fs::remove_all(setup.scratch, ec);
  const Best& bare = g_best["bare"];
  if (bare.seconds > 0) {
    std::printf("best runs, seconds after the previous step:\n");
    PrintSteps("bare tools", bare);
    for (const char* name : {"updater", "updater-no-pauses"}) {
      auto it = g_best.find(name);
      if (it == g_best.end() || it->second.seconds == 0) continue;
      PrintSteps(name, it->second);
      std::printf("  %s / bare tools: %.2fx (goal <= 1.30x)\n", name,
                  it->second.seconds / bare.seconds);
    }
  }
  return status;
}
