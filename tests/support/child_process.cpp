#include "support/child_process.h"

#include <chrono>
#include <fstream>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace vx::test {

bool Child::Start(const std::vector<std::string>& args) {
#ifndef _WIN32
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  pid_ = rc == 0 ? pid : -1;
  return pid_ > 0;
#else
  (void)args;
  return false;
#endif
}

Child::~Child() {
#ifndef _WIN32
  if (pid_ > 0) {
    kill(static_cast<pid_t>(pid_), SIGTERM);
    int status = 0;
    waitpid(static_cast<pid_t>(pid_), &status, 0);
  }
#endif
}

bool WaitForFile(const std::filesystem::path& p) {
  for (int i = 0; i < 200; ++i) {
    std::error_code ec;
    if (std::filesystem::exists(p, ec)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

std::string ServicePort(const std::filesystem::path& ports_file, std::string_view key) {
  std::ifstream in(ports_file);
  const std::string prefix = std::string(key) + "=";
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
  }
  return {};
}

}  // namespace vx::test
