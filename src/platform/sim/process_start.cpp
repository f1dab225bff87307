// Starting a program on the simulated machine: programs in drive_c are
// host executables (scripts driving the machine through vxsim) run as real
// processes attached to the same machine. A file without execute permission
// stands for a program that starts and ends at once. Every start is
// recorded in the machine's desktop session so tests can see it.
#include "platform/process_start.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "common/text.h"
#include "platform/sim/desktop.h"
#include "platform/sim/machine.h"

extern char** environ;

namespace vx::platform {

namespace {

// Blanks separate arguments, double quotes group blanks into one; the
// quotes themselves are dropped.
std::vector<std::string> SplitArgs(std::string_view text) {
  std::vector<std::string> out;
  std::string cur;
  bool quoted = false, any = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) out.push_back(cur);
      cur.clear();
      any = false;
    } else {
      cur += c;
      any = true;
    }
  }
  if (any) out.push_back(cur);
  return out;
}

}  // namespace

Status StartProgram(const std::filesystem::path& program, std::string_view args) {
  auto* m = sim::CurrentMachine();
  if (!m) return kErrorInvalidParameter;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(program, ec)) return kErrorFileNotFound;
  std::string windows_path = m->WindowsPath(program);
  if (access(program.c_str(), X_OK) != 0)
    return sim::Desktop(*m).RecordStart(windows_path, args, 0);

  std::vector<std::string> argv_text{program.string()};
  for (auto& a : SplitArgs(args)) argv_text.push_back(a);
  std::vector<char*> argv;
  for (auto& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::string machine_var = "VANTRIX_MACHINE=" + m->dir().string();
  std::vector<char*> envp;
  for (char** e = environ; e && *e; ++e)
    if (std::string_view(*e).rfind("VANTRIX_MACHINE=", 0) != 0) envp.push_back(*e);
  envp.push_back(machine_var.data());
  envp.push_back(nullptr);

  pid_t pid = 0;
  int rc = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), envp.data());
  if (rc != 0) return rc == ENOENT ? kErrorFileNotFound : kErrorAccessDenied;
  // Nobody waits for the program; reap it so it leaves no zombie behind.
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return sim::Desktop(*m).RecordStart(windows_path, args, pid);
}

}  // namespace vx::platform
