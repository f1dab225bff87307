// The scan of a generated 200-device PC (simulated machine) against the
// 1M-row driver database, in its two engine phases: the device list
// (GenerateDevicesListFile) and the matching (GenerateDriverResult, no
// spreading, no diagnostic archive). Goal: matching within 100 ms.
// Counter peak_rss_MB is the process's peak resident set after the phase.
//
// The database is generated once into a cache folder ($VX_BENCH_CACHE, else
// <temp>/vantrix-bench) under a name made of the generator's parameters and
// inputs, and reused by later runs. It is written by a child process, so the
// generator's memory stays out of the peak this process reports.
//
// The machine: the sample desktop's facts and folders, its devices replaced
// by 200 generated ones: 160 whose full hardware id the database offers
// drivers for (every 8th with an in-box Microsoft driver, every 10th failed
// without a driver) and 40 the database does not know.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/logger.h"
#include "common/params.h"
#include "common/text.h"
#include "dbgen/dbgen_lib.h"
#include "engine/core_devices.h"
#include "engine/core_devices_helpers.h"
#include "engine/core_result.h"
#include "engine/driver_database.h"
#include "engine/driver_utils.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "platform/sim/machine.h"
#include "platform/sqlite_db.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using platform::RegRoot;

constexpr int kKnownDevices = 160;
constexpr int kUnknownDevices = 40;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "scan_bench: %s\n", what.c_str());
  std::exit(1);
}

double PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

// --- The cached database ------------------------------------------------------

uint64_t Fnv1a(std::string_view text, uint64_t h = 1469598103934665603ull) {
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  return h;
}

// Whatever changes the generated rows changes the name: the options, the
// schema, and the id lists the names are drawn from.
fs::path CachedDatabasePath(const dbgen::DbOptions& opt) {
  fs::path dir;
  if (const char* env = std::getenv("VX_BENCH_CACHE"); env && *env)
    dir = env;
  else
    dir = fs::temp_directory_path() / "vantrix-bench";
  uint64_t h = Fnv1a(dbgen::kSchemaSql);
  for (const fs::path& ids : {opt.pci_ids, opt.usb_ids}) {
    std::error_code ec;
    const auto size = fs::file_size(ids, ec);
    const auto time = fs::last_write_time(ids, ec).time_since_epoch().count();
    h = Fnv1a(PathUtf8(ids) + "|" + std::to_string(size) + "|" + std::to_string(time), h);
  }
  h = Fnv1a(opt.date, h);
  char name[160];
  std::snprintf(name, sizeof name, "Drivers64-rows%lld-seed%llu-arch%d-os%d-%016llx.db",
                static_cast<long long>(opt.rows < 0 ? dbgen::DefaultRows(opt.size) : opt.rows),
                static_cast<unsigned long long>(opt.seed), opt.arch, opt.os,
                static_cast<unsigned long long>(h));
  return dir / name;
}

fs::path CachedDatabase() {
  dbgen::DbOptions opt;
  opt.size = dbgen::DbSize::kLarge;
  const fs::path db = CachedDatabasePath(opt);
  std::error_code ec;
  if (fs::exists(db, ec)) return db;
  fs::create_directories(db.parent_path(), ec);
  std::fprintf(stderr, "generating %s (1M driver rows, about a minute)...\n", PathUtf8(db).c_str());
  const fs::path part = fs::path(db).concat(".part-" + std::to_string(getpid()));
  const pid_t pid = fork();
  if (pid < 0) Fail("fork failed");
  if (pid == 0) {
    std::string error;
    DatabaseEnv env;
    env.index_pause = std::chrono::milliseconds(0);
    const bool ok = dbgen::WriteDriverDatabase(opt, part, &error) && CreateBaseIndexes(env, part);
    if (!ok) std::fprintf(stderr, "scan_bench: dbgen: %s\n", error.c_str());
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Fail("cannot generate the database");
  fs::rename(part, db, ec);  // atomic: a concurrent run sees a whole file or none
  if (ec) Fail("cannot rename " + PathUtf8(part) + ": " + ec.message());
  return db;
}

// --- The generated machine ----------------------------------------------------

struct Offered {
  std::string hardware_id;  // plain form
  std::string vendor;
  std::string description;
};

// Full identifiers with a subsystem (PCI) or revision (USB), spread evenly
// over the database, each with the vendor and description of one offer.
std::vector<Offered> OfferedIds(const fs::path& db_path) {
  SqliteDb db;
  if (db.Open(db_path, true, false) != SQLITE_OK) Fail("cannot open " + PathUtf8(db_path));
  auto stmt = db.Prepare(
      "SELECT hardids.hardid, vendors.vendor, devices_descriptions.device_description"
      " FROM hardids JOIN drivers ON drivers.hardid_full_index = hardids.id"
      " JOIN vendors ON vendors.id = drivers.vendor_id"
      " JOIN devices_descriptions ON devices_descriptions.id = drivers.device_id"
      " WHERE (hardids.hardid LIKE 'PCI%SUDSYS%' OR hardids.hardid LIKE 'USB%R4V%')"
      " AND hardids.id % 97 = 0 AND drivers.os = 10 GROUP BY hardids.id LIMIT ?1");
  stmt.Bind(1, int64_t{kKnownDevices});
  std::vector<Offered> out;
  while (stmt.Step())
    out.push_back({StoredNameTransform(stmt.Text(0), true), stmt.Text(1), stmt.Text(2)});
  if (out.size() < kKnownDevices) Fail("the database offers too few full identifiers");
  return out;
}

void Check(Status s, const std::string& what) {
  if (s != kErrorSuccess) Fail("cannot write " + what + " (error " + std::to_string(s) + ")");
}

// One device as Windows keeps it: its Enum key (present: with Control), and
// unless `failed` its driver's class key.
void WriteDevice(int n, const std::string& hardware_id, const std::string& vendor,
                 const std::string& description, bool inbox, bool failed) {
  auto& reg = platform::Reg();
  const auto hklm = RegRoot::kLocalMachine;
  const bool usb = hardware_id.rfind("USB", 0) == 0;
  const std::string guid =
      usb ? "{36fc9e60-c465-11cf-8056-444553540000}" : "{4d36e97d-e325-11ce-bfc1-08002be10318}";
  const std::string bus = hardware_id.substr(0, hardware_id.find('\\'));
  const std::string device = hardware_id.substr(hardware_id.find('\\') + 1);
  const std::string key = "SYSTEM\\CurrentControlSet\\Enum\\" + bus + "\\" + device + "\\" +
                          std::to_string(1000 + n);
  // Windows lists the most specific form first, then ever more general ones.
  std::vector<std::string> ids{hardware_id};
  for (const char* cut : {"&REV_", "&SUBSYS_", "&MI_"}) {
    const size_t at = ids.back().find(cut);
    if (at != std::string::npos) ids.push_back(ids.back().substr(0, at));
  }
  const std::vector<std::string> compatible =
      usb ? std::vector<std::string>{"USB\\Class_FF&SubClass_00&Prot_00", "USB\\Class_FF"}
          : std::vector<std::string>{ids.back() + "&CC_088000", "PCI\\CC_088000", "PCI\\CC_0880"};
  const std::string class_name = usb ? "USB" : "System";
  Check(platform::WriteRegString(reg, hklm, key, "DeviceDesc", description), key);
  Check(platform::WriteRegMultiString(reg, hklm, key, "HardwareID", ids), key);
  Check(platform::WriteRegMultiString(reg, hklm, key, "CompatibleIDs", compatible), key);
  Check(platform::WriteRegString(reg, hklm, key, "Mfg", inbox ? "Microsoft" : vendor), key);
  Check(platform::WriteRegString(reg, hklm, key, "Class", class_name), key);
  Check(platform::WriteRegString(reg, hklm, key, "ClassGUID", guid), key);
  Check(platform::WriteRegDword(reg, hklm, key, "ConfigFlags", 0), key);
  Check(platform::WriteRegDword(reg, hklm, key + "\\Control", "DevNodeStatus",
                                failed ? 0x01802400u : 0x0180200Au),
        key);
  Check(platform::WriteRegDword(reg, hklm, key + "\\Control", "ProblemCode", failed ? 28u : 0u),
        key);
  if (failed) return;

  char driver[16];
  std::snprintf(driver, sizeof driver, "%04d", 1000 + n);
  const std::string class_key =
      "SYSTEM\\CurrentControlSet\\Control\\Class\\" + guid + "\\" + driver;
  Check(platform::WriteRegString(reg, hklm, key, "Driver", guid + "\\" + driver), key);
  Check(platform::WriteRegString(reg, hklm, key, "Service", "vxbench"), key);
  Check(platform::WriteRegString(reg, hklm, class_key, "DriverDesc", description), class_key);
  Check(platform::WriteRegString(reg, hklm, class_key, "ProviderName",
                                 inbox ? "Microsoft" : vendor),
        class_key);
  Check(platform::WriteRegString(reg, hklm, class_key, "DriverVersion",
                                 inbox ? "10.0.19041.1" : "1.0.0." + std::to_string(n)),
        class_key);
  Check(platform::WriteRegString(reg, hklm, class_key, "DriverDate",
                                 inbox ? "6-21-2006" : "1-1-2015"),
        class_key);
  const uint64_t days = inbox ? 38889 : 42005;  // 2006-06-21, 2015-01-01
  const uint64_t filetime = (days + 109205ull) * 864000000000ull;
  std::string raw(8, '\0');
  for (int i = 0; i < 8; ++i) raw[i] = static_cast<char>(filetime >> (8 * i));
  Check(platform::WriteRegValue(reg, hklm, class_key, "DriverDateData",
                                {platform::kRegBinary, raw}),
        class_key);
  Check(platform::WriteRegString(reg, hklm, class_key, "InfPath",
                                 "oem" + std::to_string(n) + ".inf"),
        class_key);
  Check(platform::WriteRegString(reg, hklm, class_key, "InfSection", "VXBENCH.NT"), class_key);
  Check(platform::WriteRegString(reg, hklm, class_key, "MatchingDeviceId", ids.back()),
        class_key);
}

struct Bench {
  fs::path root;
  fs::path database;
  fs::path device_list;
  fs::path pristine_list;  // the list as generated, before a scan writes facts back
  int devices = 0;

  Bench() {
    database = CachedDatabase();
    DatabaseEnv env;
    env.index_pause = std::chrono::milliseconds(0);
    if (!CreateBaseIndexes(env, database)) Fail("cannot index " + PathUtf8(database));
    const std::vector<Offered> offered = OfferedIds(database);

    root = fs::temp_directory_path() / ("vx-scan-bench-" + std::to_string(getpid()));
    fs::remove_all(root);
    const fs::path machine = root / "machine";
    std::string error;
    if (!sim::Machine::Create(machine, fs::path(VX_DATA_DIR) / "machines" / "desktop-win10-x64",
                              error) ||
        !platform::Attach(machine, error))
      Fail(error);
    platform::Reg().DeleteTree(RegRoot::kLocalMachine, "SYSTEM\\CurrentControlSet\\Enum");
    int n = 0;
    for (const Offered& o : offered) {
      WriteDevice(n, o.hardware_id, o.vendor, o.description, n % 8 == 0, n % 10 == 5);
      ++n;
    }
    for (int i = 0; i < kUnknownDevices; ++i, ++n) {
      char id[80];
      std::snprintf(id, sizeof id, "PCI\\VEN_FFF0&DEV_%04X&SUBSYS_00000000&REV_01", i);
      WriteDevice(n, id, "Contoso", "Contoso Device " + std::to_string(i), false, false);
    }
    devices = n;

    InitParams("Vantrix", {}, {}, false);
    StartLog(Params().base_dir);
    // The database stays outside BaseDir: the list's own index check then
    // finds no file, as on a PC whose database is already indexed, instead
    // of pausing between index statements.
    device_list = Params().base_dir / "Devices.ini";
    pristine_list = root / "Devices.pristine.ini";
  }
  ~Bench() {
    StopLog();
    platform::Detach();
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

Bench& GetBench() {
  static Bench bench;
  return bench;
}

void BM_DeviceList200(benchmark::State& state) {
  Bench& b = GetBench();
  DeviceListCounters counters;
  for (auto _ : state) {
    // Each scan starts cold: class names are read again.
    ClearClassNameCache();
    if (!GenerateDevicesListFile(b.device_list, {}, &counters)) {
      state.SkipWithError("GenerateDevicesListFile failed");
      return;
    }
  }
  std::error_code ec;
  fs::copy_file(b.device_list, b.pristine_list, fs::copy_options::overwrite_existing, ec);
  state.counters["devices"] = counters.total;
  state.counters["listed"] = counters.unique;
  state.counters["peak_rss_MB"] = PeakRssMb();
}
BENCHMARK(BM_DeviceList200)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Matching200(benchmark::State& state) {
  Bench& b = GetBench();
  std::error_code ec;
  if (!fs::exists(b.pristine_list, ec)) {
    if (!GenerateDevicesListFile(b.device_list)) {
      state.SkipWithError("GenerateDevicesListFile failed");
      return;
    }
    fs::copy_file(b.device_list, b.pristine_list, fs::copy_options::overwrite_existing, ec);
  }
  ScanRequest request;
  request.database = b.database;
  request.diagnostic_archive = false;
  request.sleep = [](std::chrono::milliseconds) {};
  int found = 0;
  int status = -1;
  for (auto _ : state) {
    state.PauseTiming();
    // One scan per process in the product: the vendor codes are asked
    // afresh, and the list is the one the inventory wrote.
    ProcessVendorCodeCache().Clear();
    fs::copy_file(b.pristine_list, b.device_list, fs::copy_options::overwrite_existing, ec);
    state.ResumeTiming();
    status = GenerateDriverResult(
        request, [&](int, const std::string&, bool&, int, int f, int) { found = f; });
  }
  if (status != kScanFinished) state.SkipWithError("the scan did not finish");
  state.counters["offers"] = found;
  state.counters["peak_rss_MB"] = PeakRssMb();
}
BENCHMARK(BM_Matching200)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

}  // namespace
}  // namespace vx

BENCHMARK_MAIN();
