// Processes of the simulated machine are the host's own processes, read
// from /proc. Programs inside the machine's drive C appear under their
// Windows paths; others keep their host paths.
#include "platform/processes.h"

#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <system_error>

#include "common/text.h"
#include "platform/sim/desktop.h"
#include "platform/sim/machine.h"

namespace vx::platform {

namespace fs = std::filesystem;

namespace {

// 100 ns steps between 1601-01-01 and 1970-01-01.
constexpr uint64_t kUnixEpochFileTime = 116444736000000000ull;

fs::path ProcDir(ProcessId pid) { return fs::path("/proc") / std::to_string(pid); }

// The fields of /proc/PID/stat after the command name, which may itself
// hold blanks and parentheses.
bool StatFields(ProcessId pid, std::vector<std::string>& fields) {
  std::string text;
  if (!sim::ReadWholeFile(ProcDir(pid) / "stat", text)) return false;
  auto close = text.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream ss(text.substr(close + 1));
  fields.clear();
  for (std::string f; ss >> f;) fields.push_back(f);
  return fields.size() > 20;
}

Result<fs::path> ExePath(ProcessId pid) {
  std::error_code ec;
  if (!fs::exists(ProcDir(pid), ec)) return Result<fs::path>::Fail(kErrorInvalidParameter);
  fs::path exe = fs::read_symlink(ProcDir(pid) / "exe", ec);
  // Kernel threads have no image, like the system processes of Windows,
  // which refuse to be opened.
  if (ec) return Result<fs::path>::Fail(kErrorAccessDenied);
  return exe;
}

// Windows quoting: arguments with blanks (or empty ones) in double quotes.
std::string JoinArguments(const std::string& raw) {
  std::string out;
  size_t start = 0;
  while (start < raw.size()) {
    size_t end = raw.find('\0', start);
    if (end == std::string::npos) end = raw.size();
    std::string arg = raw.substr(start, end - start);
    if (!out.empty()) out += ' ';
    if (arg.empty() || arg.find_first_of(" \t") != std::string::npos)
      out += '"' + arg + '"';
    else
      out += arg;
    start = end + 1;
  }
  return out;
}

uint64_t BootTimeSeconds() {
  std::ifstream in("/proc/stat");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("btime ", 0) == 0) return std::stoull(line.substr(6));
  return 0;
}

}  // namespace

ProcessId CurrentProcessId() { return static_cast<ProcessId>(getpid()); }

Result<std::vector<ProcessEntry>> ProcessSnapshot() {
  std::vector<ProcessEntry> out;
  std::error_code ec;
  for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    ProcessEntry e;
    e.pid = static_cast<ProcessId>(std::stoul(name));
    std::vector<std::string> fields;
    if (!StatFields(e.pid, fields)) continue;  // ended meanwhile
    e.parent_pid = static_cast<ProcessId>(std::stoul(fields[1]));
    if (auto exe = ExePath(e.pid)) {
      e.exe_name = PathUtf8(exe->filename());
    } else {
      std::string comm;
      sim::ReadWholeFile(ProcDir(e.pid) / "comm", comm);
      e.exe_name = Trim(comm);
    }
    out.push_back(std::move(e));
  }
  if (ec) return Result<std::vector<ProcessEntry>>::Fail(kErrorAccessDenied);
  return out;
}

Status OpenProcessStatus(ProcessId pid) {
  auto exe = ExePath(pid);
  return exe ? kErrorSuccess : exe.error();
}

Result<std::string> ProcessCommandLine(ProcessId pid) {
  if (Status s = OpenProcessStatus(pid)) return Result<std::string>::Fail(s);
  std::string raw;
  if (!sim::ReadWholeFile(ProcDir(pid) / "cmdline", raw)) return Result<std::string>::Fail(kErrorAccessDenied);
  while (!raw.empty() && raw.back() == '\0') raw.pop_back();
  return JoinArguments(raw);
}

Result<bool> ProcessUnderWow64(ProcessId pid) {
  auto exe = ExePath(pid);
  if (!exe) return Result<bool>::Fail(exe.error());
  auto* m = sim::CurrentMachine();
  if (!m || !m->facts().is64) return false;  // no WOW64 on 32-bit Windows
  // A 32-bit ELF image stands for a 32-bit program.
  std::ifstream in(ProcDir(pid) / "exe", std::ios::binary);
  char head[5] = {};
  if (!in.read(head, 5)) return Result<bool>::Fail(kErrorAccessDenied);
  return head[4] == 1;
}

Result<std::string> ProcessImageFileName(ProcessId pid) {
  auto exe = ExePath(pid);
  if (!exe) return Result<std::string>::Fail(exe.error());
  auto* m = sim::CurrentMachine();
  if (!m) return Result<std::string>::Fail(kErrorInvalidParameter);
  std::string windows = m->WindowsPath(*exe);
  // Only files on the machine's drives have an NT device path.
  if (windows.size() < 3 || windows[1] != ':' || windows[2] != '\\')
    return Result<std::string>::Fail(kErrorNotSupported);
  auto device = m->Sys().DosDeviceName(windows.substr(0, 2));
  if (!device) return Result<std::string>::Fail(device.error());
  return *device + windows.substr(2);
}

Result<std::string> ProcessModuleFileName(ProcessId pid) {
  auto exe = ExePath(pid);
  if (!exe) return Result<std::string>::Fail(exe.error());
  auto* m = sim::CurrentMachine();
  return m ? m->WindowsPath(*exe) : PathUtf8(*exe);
}

Result<uint64_t> ProcessCreationTime(ProcessId pid) {
  if (Status s = OpenProcessStatus(pid)) return Result<uint64_t>::Fail(s);
  std::vector<std::string> fields;
  if (!StatFields(pid, fields)) return Result<uint64_t>::Fail(kErrorInvalidParameter);
  // Field 22 of stat (index 19 after the name): clock ticks since boot.
  uint64_t ticks = std::stoull(fields[19]);
  uint64_t hz = static_cast<uint64_t>(sysconf(_SC_CLK_TCK));
  uint64_t ms = BootTimeSeconds() * 1000 + ticks * 1000 / (hz ? hz : 100);
  return kUnixEpochFileTime + ms * 10000;
}

bool ProcessHasVisibleWindow(ProcessId pid) {
  auto* m = sim::CurrentMachine();
  return m && sim::Desktop(*m).HasWindowOf(pid);
}

}  // namespace vx::platform
