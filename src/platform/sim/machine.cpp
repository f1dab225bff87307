#include "platform/sim/machine.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "common/text.h"
#include "platform/sim/reg_file.h"
#include "platform/sim/reg_import.h"

namespace vx::sim {

namespace fs = std::filesystem;

namespace {

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

bool IsXp(const MachineFacts& f) { return f.version.major < 6; }

std::string ProfileDir(const MachineFacts& f) {
  return IsXp(f) ? "C:\\Documents and Settings\\" + f.user_name : "C:\\Users\\" + f.user_name;
}

std::string WindowsFolderPath(const MachineFacts& f, platform::KnownFolder folder) {
  using platform::KnownFolder;
  switch (folder) {
    case KnownFolder::kAppData:
      return ProfileDir(f) + (IsXp(f) ? "\\Application Data" : "\\AppData\\Roaming");
    case KnownFolder::kDocuments:
      return ProfileDir(f) + (IsXp(f) ? "\\My Documents" : "\\Documents");
    case KnownFolder::kSystem:
      return "C:\\Windows\\system32";
    case KnownFolder::kWindows:
      return "C:\\Windows";
    case KnownFolder::kProgram:
      return f.is64 ? "C:\\Program Files (x86)\\Vantrix" : "C:\\Program Files\\Vantrix";
    case KnownFolder::kTemp:
      return ProfileDir(f) + (IsXp(f) ? "\\Local Settings\\Temp" : "\\AppData\\Local\\Temp");
  }
  return "C:\\";
}

// Finds an existing entry of dir whose name equals name case-insensitively,
// as Windows file names compare; dir/name when there is none.
fs::path ResolveComponent(const fs::path& dir, const std::string& name, FolderNames& names) {
  std::error_code ec;
  fs::path exact = dir / name;
  if (fs::exists(exact, ec)) return exact;
  if (auto actual = names.Find(dir, name)) return dir / *actual;
  return exact;
}

class SimSystem : public platform::SystemInfo {
 public:
  explicit SimSystem(Machine& m) : m_(m) {}

  platform::WindowsVersion Version() override { return m_.facts().version; }
  bool IsWindows64() override { return m_.facts().is64; }
  uint32_t TickCount() override {
    return static_cast<uint32_t>(static_cast<uint64_t>(NowMs() - m_.facts().boot_time_ms));
  }
  fs::path Folder(platform::KnownFolder folder) override {
    return m_.HostPath(WindowsFolderPath(m_.facts(), folder));
  }
  Result<std::string> DosDeviceName(std::string_view drive) override {
    for (const auto& [name, device] : m_.facts().dos_devices)
      if (SameText(name, drive)) return device;
    return Result<std::string>::Fail(kErrorFileNotFound);
  }
  uint64_t TotalMemory() override { return m_.facts().total_memory; }
  std::string ComputerName() override { return m_.facts().computer_name; }
  std::string UserName() override { return m_.facts().user_name; }
  platform::LocaleInfo Locale() override { return m_.facts().locale; }
  platform::LocalTime LocalNow() override {
    return LocalTimeFromUnixMs(NowMs() + int64_t{m_.facts().locale.utc_offset_minutes} * 60000);
  }
  std::string ErrorText(uint32_t code) override { return SimErrorText(code); }
  fs::path HostPath(std::string_view windows_path) override { return m_.HostPath(windows_path); }
  std::string WindowsPath(const fs::path& host_path) override { return m_.WindowsPath(host_path); }

 private:
  Machine& m_;
};

// The facts file is a plain INI file. The platform layer reads it itself
// rather than through the engine's INI object, which sits above it.
class FactsText {
 public:
  explicit FactsText(std::string text) {
    std::string section;
    for (auto& raw : Split(DecodeTextFile(text), '\n')) {
      std::string line = Trim(raw);
      lines_.push_back(raw.size() && raw.back() == '\r' ? raw.substr(0, raw.size() - 1) : raw);
      if (line.empty() || line[0] == ';') continue;
      if (line.front() == '[' && line.back() == ']') {
        section = line.substr(1, line.size() - 2);
        sections_.push_back(section);
        continue;
      }
      auto eq = line.find('=');
      if (eq == std::string::npos) continue;
      entries_.push_back({section, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))});
    }
  }
  bool HasSection(std::string_view name) const {
    for (const auto& s : sections_)
      if (SameText(s, name)) return true;
    return false;
  }
  std::string Get(std::string_view section, std::string_view key, std::string_view def) const {
    for (const auto& e : entries_)
      if (SameText(e.section, section) && SameText(e.key, key)) return e.value;
    return std::string(def);
  }
  long long GetInt(std::string_view section, std::string_view key, long long def) const {
    std::string v = Get(section, key, "");
    if (v.empty()) return def;
    char* end = nullptr;
    long long n = std::strtoll(v.c_str(), &end, 10);
    return end && *end == '\0' ? n : def;
  }
  bool GetBool(std::string_view section, std::string_view key, bool def) const {
    return GetInt(section, key, def ? 1 : 0) != 0;
  }
  std::vector<std::pair<std::string, std::string>> Section(std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& e : entries_)
      if (SameText(e.section, section)) out.emplace_back(e.key, e.value);
    return out;
  }
  // The original lines without any [State] section, then a fresh one.
  std::string WithState(std::string_view key, std::string_view value) const {
    std::string out;
    bool in_state = false;
    for (const auto& l : lines_) {
      std::string t = Trim(l);
      if (!t.empty() && t.front() == '[') in_state = SameText(t, "[State]");
      if (!in_state) out += l + "\r\n";
    }
    while (out.size() >= 4 && out.substr(out.size() - 4) == "\r\n\r\n") out.resize(out.size() - 2);
    out += "\r\n[State]\r\n" + std::string(key) + "=" + std::string(value) + "\r\n";
    return out;
  }

 private:
  struct Entry {
    std::string section, key, value;
  };
  std::vector<std::string> lines_;
  std::vector<std::string> sections_;
  std::vector<Entry> entries_;
};

}  // namespace

bool ReadWholeFile(const fs::path& file, std::string& out) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  out = ss.str();
  return true;
}

bool LoadFacts(const fs::path& file, MachineFacts& f, std::string& error) {
  std::error_code ec;
  std::string bytes;
  if (!fs::is_regular_file(file, ec) || !ReadWholeFile(file, bytes)) {
    error = "machine facts file " + file.string() + " is missing";
    return false;
  }
  FactsText ini(bytes);
  if (!ini.HasSection("Windows")) {
    error = "machine facts file " + file.string() + " has no [Windows] section";
    return false;
  }
  f.version.major = static_cast<uint32_t>(ini.GetInt("Windows", "Major", 10));
  f.version.minor = static_cast<uint32_t>(ini.GetInt("Windows", "Minor", 0));
  f.version.build = static_cast<uint32_t>(ini.GetInt("Windows", "Build", 19045));
  f.is64 = ini.GetBool("Windows", "Is64Bit", true);
  f.total_memory = static_cast<uint64_t>(ini.GetInt("Hardware", "TotalMemoryMB", 8192)) << 20;
  f.manufacturer = ini.Get("Hardware", "Manufacturer", "");
  f.model = ini.Get("Hardware", "Model", "");
  f.computer_name = ini.Get("User", "ComputerName", f.computer_name);
  f.user_name = ini.Get("User", "UserName", f.user_name);
  f.is_admin = ini.GetBool("User", "IsAdmin", true);
  f.locale.language_name = ini.Get("Locale", "LanguageName", f.locale.language_name);
  f.locale.short_date = ini.Get("Locale", "ShortDate", f.locale.short_date);
  f.locale.long_time = ini.Get("Locale", "LongTime", f.locale.long_time);
  f.locale.decimal_separator = ini.Get("Locale", "DecimalSeparator", ".");
  f.locale.ansi_code_page = static_cast<uint32_t>(ini.GetInt("Locale", "AnsiCodePage", 1252));
  f.locale.utc_offset_minutes = static_cast<int>(ini.GetInt("Locale", "UtcOffsetMinutes", 0));
  f.locale.am_designator = ini.Get("Locale", "AmDesignator", "AM");
  f.locale.pm_designator = ini.Get("Locale", "PmDesignator", "PM");
  f.dos_devices = ini.Section("DosDevices");
  if (f.dos_devices.empty()) f.dos_devices.emplace_back("C:", "\\Device\\HarddiskVolume2");
  f.boot_time_ms = ini.GetInt("State", "BootTime", 0);
  if (f.version.major < 5 || f.version.major > 10 || f.user_name.empty()) {
    error = "machine facts file " + file.string() + " has an impossible Windows version or user";
    return false;
  }
  return true;
}

std::unique_ptr<Machine> Machine::Open(const fs::path& dir, std::string& error) {
  std::error_code ec;
  if (dir.empty()) {
    error = "no machine folder given";
    return nullptr;
  }
  if (!fs::is_directory(dir, ec)) {
    error = "machine folder " + dir.string() + " does not exist";
    return nullptr;
  }
  auto m = std::make_unique<Machine>(Key{});
  m->dir_ = fs::absolute(dir, ec);
  if (!LoadFacts(dir / kFactsFile, m->facts_, error)) return nullptr;
  if (!fs::is_directory(dir / "drive_c", ec)) {
    error = "machine folder " + dir.string() + " has no drive_c";
    return nullptr;
  }
  m->hive_ = Hive::Open(dir / kHiveFile, false, error);
  if (!m->hive_) return nullptr;
  m->system_ = std::make_unique<SimSystem>(*m);
  return m;
}

bool Machine::Create(const fs::path& dir, const fs::path& sample, std::string& error) {
  std::error_code ec;
  if (!fs::is_directory(sample, ec)) {
    error = "sample machine " + sample.string() + " does not exist";
    return false;
  }
  if (fs::exists(dir / kFactsFile, ec) || fs::exists(dir / kHiveFile, ec)) {
    error = "machine folder " + dir.string() + " already holds a machine";
    return false;
  }
  MachineFacts facts;
  if (!LoadFacts(sample / kFactsFile, facts, error)) return false;
  fs::create_directories(dir / "drive_c", ec);
  fs::create_directories(dir / "shm", ec);
  if (ec) {
    error = "cannot create machine folder " + dir.string() + ": " + ec.message();
    return false;
  }
  // A fresh machine has just started.
  std::string bytes;
  ReadWholeFile(sample / kFactsFile, bytes);
  {
    std::ofstream out(dir / kFactsFile, std::ios::binary | std::ios::trunc);
    out << FactsText(bytes).WithState("BootTime", std::to_string(NowMs()));
    if (!out.flush()) {
      error = "cannot write " + (dir / kFactsFile).string();
      return false;
    }
  }
  if (fs::is_directory(sample / "drive_c", ec))
    fs::copy(sample / "drive_c", dir / "drive_c", fs::copy_options::recursive, ec);
  auto hive = Hive::Open(dir / kHiveFile, true, error);
  if (!hive) return false;
  fs::path reg = sample / "registry.reg";
  if (fs::exists(reg, ec)) {
    std::vector<RegFileKey> keys;
    RegFileError err;
    if (!ReadWholeFile(reg, bytes) || !ParseRegFile(bytes, keys, err)) {
      error = reg.string() + ":" + std::to_string(err.line) + ": " + err.reason;
      return false;
    }
    if (Status s = ImportRegKeys(*hive, keys); s != kErrorSuccess) {
      error = "cannot import " + reg.string() + " (error " + std::to_string(s) + ")";
      return false;
    }
  }
  // Open once to prove the result is a usable machine, then make the
  // standard folders of its Windows.
  auto m = Open(dir, error);
  if (!m) return false;
  using platform::KnownFolder;
  for (auto f : {KnownFolder::kAppData, KnownFolder::kDocuments, KnownFolder::kSystem,
                 KnownFolder::kWindows, KnownFolder::kProgram, KnownFolder::kTemp})
    fs::create_directories(m->Sys().Folder(f), ec);
  for (const char* sub : {"C:\\Windows\\INF", "C:\\Windows\\system32\\drivers",
                          "C:\\Windows\\system32\\DriverStore\\FileRepository"})
    fs::create_directories(m->HostPath(sub), ec);
  return true;
}

fs::path Machine::HostPath(std::string_view windows_path) const {
  std::string p(windows_path);
  if (p.rfind("\\\\?\\", 0) == 0) p = p.substr(4);
  for (char& c : p)
    if (c == '/') c = '\\';
  if (p.size() < 2 || p[1] != ':' || !std::isalpha(static_cast<unsigned char>(p[0]))) {
    fs::path rel;
    for (auto& part : Split(p, '\\'))
      if (!part.empty()) rel /= part;
    return rel;
  }
  fs::path host = dir_ / ("drive_" + AsciiLower(p.substr(0, 1)));
  // The path as written usually exists: one look instead of one per part;
  // and a missing one usually lies in a folder that exists as written. Only
  // a path without "." and ".." parts can be taken as it stands.
  const std::vector<std::string> parts = Split(p.substr(2), '\\');
  if (std::none_of(parts.begin(), parts.end(),
                   [](const std::string& part) { return part == "." || part == ".."; })) {
    std::vector<const std::string*> names;
    for (const std::string& part : parts)
      if (!part.empty()) names.push_back(&part);
    fs::path exact = host;
    for (const std::string* name : names) exact /= *name;
    std::error_code ec;
    if (names.empty() || fs::exists(exact, ec)) return exact;
    const fs::path parent = exact.parent_path();
    if (names.size() == 1 || fs::is_directory(parent, ec)) {
      // Known: the last part is not there as written.
      if (auto actual = folder_names_.Find(parent, *names.back())) return parent / *actual;
      return exact;
    }
  }
  for (auto& part : parts) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (host.filename().string().rfind("drive_", 0) != 0) host = host.parent_path();
      continue;
    }
    host = ResolveComponent(host, part, folder_names_);
  }
  return host;
}

std::string Machine::WindowsPath(const fs::path& host_path) const {
  std::error_code ec;
  fs::path abs = fs::absolute(host_path, ec).lexically_normal();
  fs::path rel = abs.lexically_relative(dir_);
  auto it = rel.begin();
  if (rel.empty() || it == rel.end()) return host_path.string();
  std::string first = it->string();
  if (first.size() != 7 || first.rfind("drive_", 0) != 0) return host_path.string();
  std::string out = AsciiUpper(first.substr(6)) + ":";
  bool any = false;
  for (++it; it != rel.end(); ++it) {
    if (it->empty()) continue;
    out += "\\" + it->string();
    any = true;
  }
  if (!any) out += "\\";
  return out;
}

}  // namespace vx::sim
