// vxsim: the command line for simulated machines.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/params.h"
#include "common/text.h"
#include "dbgen/dbgen_lib.h"
#include "engine/driver_database.h"
#include "engine/core_devices.h"
#include "engine/core_devices_helpers.h"
#include "platform/devices.h"
#include "platform/platform.h"
#include "platform/program_entry.h"
#include "platform/sim/desktop.h"
#include "platform/sim/machine.h"
#include "platform/sim/reg_file.h"
#include "platform/sim/reg_import.h"

namespace vx {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage = R"(usage: vxsim COMMAND ...
  create DIR SAMPLE [--no-database]
                           make a machine folder DIR from a sample machine
                           (a name under data/machines or a folder), with the
                           sample driver database in the program's BaseDir
  facts DIR                print the machine's facts and folders
  import DIR FILE.reg      apply a .reg file to the machine's registry
  export DIR KEY FILE.reg  write KEY and everything below it as a .reg file
  reg DIR KEY              print a key's values and sub-keys
  samples                  list the sample machines
  window DIR CLASS TITLE   open a top-level window (kept until closed); prints its id
  close-window DIR ID      close a window opened that way
  posted DIR               list the messages posted to windows, the programs started
                           and the system requests (restart, privileges)
  devices DIR              list the machine's devices: instance id, class, driver
                           version and state
  devlist DIR FILE         write the device list file the scan reads to FILE
)";

int Usage(const char* problem = nullptr) {
  if (problem) std::fprintf(stderr, "vxsim: %s\n", problem);
  std::fputs(kUsage, stderr);
  return 2;
}

fs::path SampleDir(const std::string& name) {
  std::error_code ec;
  if (fs::is_directory(name, ec)) return name;
  return fs::path(VX_DATA_DIR) / "machines" / name;
}

std::unique_ptr<sim::Machine> OpenOrSay(const std::string& dir) {
  std::string error;
  auto m = sim::Machine::Open(dir, error);
  if (!m) std::fprintf(stderr, "vxsim: %s\n", error.c_str());
  return m;
}

std::string Hex(std::string_view data) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : data) {
    if (!out.empty()) out += ',';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string Show(const platform::RegValue& v) {
  switch (v.type) {
    case platform::kRegSz:
      return "REG_SZ " + platform::DecodeRegString(v.data);
    case platform::kRegExpandSz:
      return "REG_EXPAND_SZ " + platform::DecodeRegString(v.data);
    case platform::kRegDword: {
      uint32_t d = 0;
      for (int i = 3; i >= 0 && v.data.size() >= 4; --i) d = (d << 8) | static_cast<unsigned char>(v.data[i]);
      return "REG_DWORD " + std::to_string(d);
    }
    case platform::kRegMultiSz: {
      std::string out = "REG_MULTI_SZ";
      for (const auto& s : platform::DecodeRegMultiString(v.data)) out += " \"" + s + "\"";
      return out;
    }
    default:
      return "type " + std::to_string(v.type) + " hex:" + Hex(v.data);
  }
}

int Facts(sim::Machine& m) {
  auto& sys = m.Sys();
  auto v = sys.Version();
  auto loc = sys.Locale();
  std::printf("Windows      %u.%u build %u, %s\n", v.major, v.minor, v.build,
              sys.IsWindows64() ? "64-bit" : "32-bit");
  std::printf("Computer     %s, user %s%s\n", sys.ComputerName().c_str(), sys.UserName().c_str(),
              m.facts().is_admin ? " (administrator)" : "");
  std::printf("Memory       %llu MB\n", static_cast<unsigned long long>(sys.TotalMemory() >> 20));
  if (!m.facts().model.empty())
    std::printf("Model        %s %s\n", m.facts().manufacturer.c_str(), m.facts().model.c_str());
  std::printf("Locale       %s, short date %s, long time %s, decimal '%s', code page %u\n",
              loc.language_name.c_str(), loc.short_date.c_str(), loc.long_time.c_str(),
              loc.decimal_separator.c_str(), loc.ansi_code_page);
  using platform::KnownFolder;
  const std::pair<const char*, KnownFolder> folders[] = {
      {"Windows", KnownFolder::kWindows},   {"System", KnownFolder::kSystem},
      {"AppData", KnownFolder::kAppData},   {"Documents", KnownFolder::kDocuments},
      {"Program", KnownFolder::kProgram},   {"Temp", KnownFolder::kTemp}};
  for (const auto& [label, f] : folders) {
    fs::path host = sys.Folder(f);
    std::printf("%-12s %s  (%s)\n", label, sys.WindowsPath(host).c_str(), host.c_str());
  }
  for (const auto& [drive, device] : m.facts().dos_devices)
    std::printf("DOS device   %s -> %s\n", drive.c_str(), device.c_str());
  return 0;
}

int PrintKey(sim::Machine& m, const std::string& full) {
  platform::RegRoot root;
  std::string path;
  if (!sim::SplitRegPath(full, root, path)) return Usage("unknown registry root");
  auto key = m.Reg().OpenKey(root, path, false);
  if (!key) {
    std::fprintf(stderr, "vxsim: key %s: error %u\n", full.c_str(), key.error());
    return 1;
  }
  std::printf("[%s]\n", full.c_str());
  if (auto names = (*key)->ValueNames())
    for (const auto& n : *names)
      if (auto v = (*key)->QueryValue(n))
        std::printf("  %s = %s\n", n.empty() ? "(Default)" : n.c_str(), Show(*v).c_str());
  if (auto kids = (*key)->SubKeyNames())
    for (const auto& k : *kids) std::printf("  [%s]\n", k.c_str());
  return 0;
}

int Import(sim::Machine& m, const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "vxsim: cannot read %s\n", file.c_str());
    return 1;
  }
  std::ostringstream ss;
  ss << in.rdbuf();
  std::vector<sim::RegFileKey> keys;
  sim::RegFileError err;
  if (!sim::ParseRegFile(ss.str(), keys, err)) {
    std::fprintf(stderr, "vxsim: %s:%d: %s\n", file.c_str(), err.line, err.reason.c_str());
    return 1;
  }
  if (Status s = sim::ImportRegKeys(m.Reg(), keys); s != kErrorSuccess) {
    std::fprintf(stderr, "vxsim: import of %s failed with error %u\n", file.c_str(), s);
    return 1;
  }
  return 0;
}

int Export(sim::Machine& m, const std::string& key, const std::string& file) {
  auto keys = sim::ExportRegKeys(m.Reg(), key);
  if (!keys) {
    std::fprintf(stderr, "vxsim: cannot export %s: error %u\n", key.c_str(), keys.error());
    return 1;
  }
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << sim::WriteRegFile(*keys);
  if (!out.flush()) {
    std::fprintf(stderr, "vxsim: cannot write %s\n", file.c_str());
    return 1;
  }
  return 0;
}

int Posted(sim::Machine& m) {
  sim::Desktop desktop(m);
  for (const auto& p : desktop.Posted())
    std::printf("posted  window %llu \"%s\" (%s): message %u %s wParam %llu lParam %lld\n",
                static_cast<unsigned long long>(p.window), p.window_title.c_str(),
                p.window_class.c_str(), p.message, p.message_name.c_str(),
                static_cast<unsigned long long>(p.wparam), static_cast<long long>(p.lparam));
  for (const auto& s : desktop.Started())
    std::printf("started %s %s (pid %lld)\n", s.program.c_str(), s.args.c_str(),
                static_cast<long long>(s.pid));
  // Restarts and privileges asked for, recorded instead of carried out.
  for (const auto& r : desktop.Requests())
    std::printf("request %s %s (pid %lld)\n", r.kind.c_str(), r.detail.c_str(),
                static_cast<long long>(r.pid));
  return 0;
}

// The devices as the device services report them, one line each.
int Devices() {
  auto set = platform::OpenDeviceInfoSet();
  if (!set) {
    std::fprintf(stderr, "vxsim: cannot open the device set (error %u)\n", set.error());
    return 1;
  }
  for (uint32_t i = 0;; ++i) {
    auto dev = (*set)->Enum(i);
    if (!dev) break;
    auto cls = platform::RegistryString(**set, *dev, platform::kSpdrpClass);
    auto driver = platform::RegistryString(**set, *dev, platform::kSpdrpDriver);
    std::string version = driver ? ReadClassKeyString(*driver, "DriverVersion") : std::string();
    platform::NodeState node = (*set)->NodeStatus(*dev);
    std::string state = node.cr != platform::kCrSuccess ? "not present"
                        : (node.status & platform::kDnHasProblem)
                            ? "problem " + std::to_string(node.problem)
                            : "ok";
    std::printf("%-70s %-16s %-18s %s\n", dev->instance_id.c_str(),
                cls ? cls->c_str() : "-", version.empty() ? "-" : version.c_str(), state.c_str());
  }
  return 0;
}

bool AttachOrSay(const std::string& dir) {
  std::string error;
  if (platform::Attach(dir, error)) return true;
  std::fprintf(stderr, "vxsim: %s\n", error.c_str());
  return false;
}

// The sample database in the new machine's BaseDir, as the product's
// installer would have shipped it. Generated deterministically (about a
// second), so every machine made from a sample scans the same.
bool InstallSampleDatabase(const std::string& dir) {
  if (!AttachOrSay(dir)) return false;
  InitParams(kProductFolderName, {}, {}, false);
  const bool x64 = platform::Sys().IsWindows64();
  dbgen::DbOptions options;
  options.size = dbgen::DbSize::kSample;
  options.seed = dbgen::kSampleSeed;
  options.arch = x64 ? 64 : 32;
  const fs::path target = Params().base_dir / DatabaseFileName(x64);
  std::string error;
  const bool ok = dbgen::WriteDriverDatabase(options, target, &error);
  platform::Detach();
  if (!ok) std::fprintf(stderr, "vxsim: cannot write the sample database: %s\n", error.c_str());
  return ok;
}

}  // namespace

int ProgramMain(const std::vector<std::string>& args) {
  if (args.size() < 2) return Usage();
  const std::string& cmd = args[1];
  auto need = [&](size_t n) { return args.size() == n + 2; };
  if (cmd == "samples") {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(fs::path(VX_DATA_DIR) / "machines", ec))
      if (e.is_directory()) std::printf("%s\n", e.path().filename().c_str());
    return 0;
  }
  if (cmd == "create") {
    const bool no_database = args.size() == 5 && args[4] == "--no-database";
    if (!need(2) && !no_database) return Usage("create needs DIR and SAMPLE");
    std::string error;
    if (!sim::Machine::Create(args[2], SampleDir(args[3]), error)) {
      std::fprintf(stderr, "vxsim: %s\n", error.c_str());
      return 1;
    }
    if (!no_database && !InstallSampleDatabase(args[2])) return 1;
    std::printf("created machine %s from %s\n", args[2].c_str(), args[3].c_str());
    return 0;
  }
  if (cmd == "facts" || cmd == "reg" || cmd == "import" || cmd == "export") {
    size_t want = cmd == "facts" ? 1 : cmd == "export" ? 3 : 2;
    if (!need(want)) return Usage(("wrong arguments for " + cmd).c_str());
    auto m = OpenOrSay(args[2]);
    if (!m) return 1;
    if (cmd == "facts") return Facts(*m);
    if (cmd == "reg") return PrintKey(*m, args[3]);
    if (cmd == "import") return Import(*m, args[3]);
    return Export(*m, args[3], args[4]);
  }
  if (cmd == "window" || cmd == "close-window" || cmd == "posted") {
    size_t want = cmd == "window" ? 3 : cmd == "close-window" ? 2 : 1;
    if (!need(want)) return Usage(("wrong arguments for " + cmd).c_str());
    auto m = OpenOrSay(args[2]);
    if (!m) return 1;
    sim::Desktop desktop(*m);
    if (cmd == "posted") return Posted(*m);
    if (cmd == "window") {
      auto w = desktop.OpenWindow(args[3], args[4], 0);
      if (!w) return 1;
      std::printf("%llu\n", static_cast<unsigned long long>(*w));
      return 0;
    }
    char* end = nullptr;
    unsigned long long id = std::strtoull(args[3].c_str(), &end, 10);
    if (!end || *end) return Usage("close-window needs a window id");
    return desktop.CloseWindow(id) == kErrorSuccess ? 0 : 1;
  }
  if (cmd == "devices" || cmd == "devlist") {
    if (!need(cmd == "devices" ? 1 : 2)) return Usage(("wrong arguments for " + cmd).c_str());
    if (!AttachOrSay(args[2])) return 1;
    if (cmd == "devices") return Devices();
    DeviceListCounters counters;
    if (!GenerateDevicesListFile(U8Path(args[3]), {}, &counters)) return 1;
    std::printf("%d devices, %d listed, %d duplicates, %d empty, %d ignored\n", counters.total,
                counters.unique, counters.duplicates, counters.empty, counters.ignored);
    return 0;
  }
  return Usage(("unknown command " + cmd).c_str());
}

}  // namespace vx
