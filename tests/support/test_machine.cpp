#include "support/test_machine.h"

#include <atomic>
#include <chrono>
#include <cstdlib>

#include "platform/platform.h"
#ifndef _WIN32
#include "platform/sim/machine.h"
#endif

namespace vx::test {

namespace fs = std::filesystem;

std::filesystem::path g_program_dir;

fs::path ProgramDir() { return g_program_dir; }

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ = fs::temp_directory_path() /
          ("vx-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

void MachineFixture::SetUp() {
  std::string error;
#ifndef _WIN32
  fs::path machine = dir_.path() / "machine";
  ASSERT_TRUE(sim::Machine::Create(machine, fs::path(VX_DATA_DIR) / "machines" / Sample(), error))
      << error;
  ASSERT_TRUE(platform::Attach(machine, error)) << error;
#else
  ASSERT_TRUE(platform::Attach({}, error)) << error;
#endif
}

void MachineFixture::TearDown() { platform::Detach(); }

int RunChild(const std::string& args) {
#ifdef _WIN32
  // cmd.exe strips the outer quotes of the whole line.
  std::string cmd = "\"\"" + (ProgramDir() / "vx_test_child.exe").string() + "\" " + args + "\"";
#else
  std::string cmd = "'" + (ProgramDir() / "vx_test_child").string() + "' " + args;
#endif
  int rc = std::system(cmd.c_str());
#ifndef _WIN32
  if (rc != -1 && WIFEXITED(rc)) return WEXITSTATUS(rc);
#endif
  return rc;
}

}  // namespace vx::test
