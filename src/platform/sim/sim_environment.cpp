// Environment strings of the simulated machine: the variables every Windows
// process inherits (derived from the machine's facts and folders) overlaid
// with the system variables kept under Session Manager\Environment, where a
// machine may define or override more.
#include <map>
#include <vector>

#include "common/text.h"
#include "platform/environment.h"
#include "platform/platform.h"
#include "platform/registry.h"

namespace vx::platform {

namespace {

constexpr const char* kSystemEnvKey =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

using Vars = std::map<std::string, std::string>;  // upper-case name -> value

std::string Lookup(const Vars& vars, std::string_view name, bool* found) {
  auto it = vars.find(UpperCase(name));
  *found = it != vars.end();
  return *found ? it->second : std::string();
}

// One left-to-right pass, as Windows expands: "%%" and unknown or unclosed
// names are copied unchanged.
std::string ExpandWith(const Vars& vars, std::string_view s) {
  std::string out;
  size_t i = 0;
  while (i < s.size()) {
    if (s[i] != '%') {
      out += s[i++];
      continue;
    }
    size_t end = s.find('%', i + 1);
    if (end == std::string_view::npos) {
      out.append(s.substr(i));
      break;
    }
    bool found = false;
    std::string value = Lookup(vars, s.substr(i + 1, end - i - 1), &found);
    if (found && end > i + 1) {
      out += value;
      i = end + 1;
    } else {
      // The closing "%" may open the next name ("100%%windir%").
      out.append(s.substr(i, end - i));
      i = end;
    }
  }
  return out;
}

Vars MachineVariables() {
  SystemInfo& sys = Sys();
  Vars v;
  auto folder = [&](KnownFolder f) { return sys.WindowsPath(sys.Folder(f)); };
  const std::string win = folder(KnownFolder::kWindows);
  const bool is64 = sys.IsWindows64();
  const std::string drive = win.size() >= 2 ? win.substr(0, 2) : "C:";
  v["SYSTEMROOT"] = win;
  v["WINDIR"] = win;
  v["SYSTEMDRIVE"] = drive;
  v["PROGRAMFILES"] = drive + "\\Program Files";
  v["COMMONPROGRAMFILES"] = drive + "\\Program Files\\Common Files";
  if (is64) {
    v["PROGRAMFILES(X86)"] = drive + "\\Program Files (x86)";
    v["COMMONPROGRAMFILES(X86)"] = drive + "\\Program Files (x86)\\Common Files";
    v["PROGRAMW6432"] = drive + "\\Program Files";
    v["COMMONPROGRAMW6432"] = drive + "\\Program Files\\Common Files";
  }
  if (sys.Version().major >= 6) v["PROGRAMDATA"] = drive + "\\ProgramData";
  v["APPDATA"] = folder(KnownFolder::kAppData);
  v["TEMP"] = v["TMP"] = folder(KnownFolder::kTemp);
  v["COMPUTERNAME"] = sys.ComputerName();
  v["USERNAME"] = sys.UserName();

  auto key = Reg().OpenKey(RegRoot::kLocalMachine, kSystemEnvKey, false);
  if (!key) return v;
  auto names = (*key)->ValueNames();
  if (!names) return v;
  for (const auto& name : *names) {
    auto value = ReadRegString(**key, name);
    if (!value || name.empty()) continue;
    v[UpperCase(name)] = *value;
  }
  // REG_EXPAND_SZ system variables refer to the ones above ("%SystemRoot%").
  Vars expanded = v;
  for (auto& [name, value] : expanded) value = ExpandWith(v, value);
  return expanded;
}

}  // namespace

Result<std::string> ExpandEnvironment(std::string_view text, size_t max_chars) {
  std::string out = ExpandWith(MachineVariables(), text);
  if (Utf8ToUtf16(out).size() + 1 > max_chars)
    return Result<std::string>::Fail(kErrorInsufficientBuffer);
  return out;
}

}  // namespace vx::platform
