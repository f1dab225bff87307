#include "app/console/scan_report.h"

#include "common/ini_file.h"

namespace vx::console {

namespace {

bool IsNumeric(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

std::string Find(const KeyValues& keys, const std::string& key) {
  for (const auto& [k, v] : keys)
    if (k == key) return v;
  return {};
}

KeyValues Section(const IniFile& ini, const std::string& name) {
  KeyValues out;
  for (const std::string& line : ini.ReadSectionValues(name)) out.push_back(SplitKeyValue(line));
  return out;
}

}  // namespace

std::pair<std::string, std::string> SplitKeyValue(const std::string& line) {
  const size_t eq = line.find('=');
  if (eq == std::string::npos) return {line, {}};
  return {line.substr(0, eq), line.substr(eq + 1)};
}

std::string ScanUpdate::Value(const std::string& key) const { return Find(keys, key); }
std::string DeviceDecision::Value(const std::string& key) const { return Find(header, key); }

std::vector<ScanUpdate> ReadScanUpdates(const std::filesystem::path& scan_ini) {
  IniFile ini(scan_ini);
  std::vector<ScanUpdate> out;
  for (const std::string& s : ini.ReadSections())
    if (IsNumeric(s)) out.push_back({s, Section(ini, s)});
  return out;
}

std::vector<DeviceDecision> ReadDecisions(const std::filesystem::path& devices_plus_ini) {
  IniFile ini(devices_plus_ini);
  std::vector<DeviceDecision> out;
  for (const std::string& s : ini.ReadSections()) {
    if (s.find("-drv-") != std::string::npos) continue;
    DeviceDecision d;
    d.section = s;
    d.header = Section(ini, s);
    int count = 0;
    try {
      count = std::stoi(d.Value("Count"));
    } catch (...) {
      count = 0;
    }
    for (int i = 0; i < count; ++i) {
      const std::string name = s + "-drv-" + std::to_string(i);
      if (!ini.SectionExists(name)) break;
      d.candidates.push_back(Section(ini, name));
    }
    out.push_back(std::move(d));
  }
  return out;
}

}  // namespace vx::console
