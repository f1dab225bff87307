#include "support/test_machine.h"

#include <atomic>
#include <chrono>
#include <cstdlib>

#include "common/text.h"
#include "platform/platform.h"
#ifdef _WIN32
#include <process.h>
#else
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

bool LocalService::Start() {
  fs::path dir;
#ifdef _WIN32
  const char* env = std::getenv("VX_TEST_SERVICE_DIR");
  if (!env || !*env) return true;
  dir = U8Path(env);
#else
  data_ = std::make_unique<TempDir>();
  dir = data_->path();
  fs::create_directories(dir / "root");
  if (!child_.Start({VX_LOCAL_SERVICE_EXE, "--root", (dir / "root").string(), "--record",
                     (dir / "record").string(), "--port-file", (dir / "ports").string(),
                     "--smtp-port", "0"}))
    return false;
#endif
  record_ = dir / "record";
  if (!WaitForFile(dir / "ports")) return false;
  if (std::string port = ServicePort(dir / "ports", "http"); !port.empty())
    http_ = "127.0.0.1:" + port;
  if (std::string port = ServicePort(dir / "ports", "smtp"); !port.empty())
    smtp_ = "127.0.0.1:" + port;
  return true;
}

int RunChild(const std::string& args) {
#ifdef _WIN32
  // Started directly rather than through cmd.exe, which a freshly booted
  // Wine prefix sometimes fails to start. The CRT joins the arguments with
  // blanks, so the child sees the quoted path followed by args.
  const std::string exe = (ProgramDir() / "vx_test_child.exe").string();
  const std::string quoted = "\"" + exe + "\"";
  return static_cast<int>(_spawnl(_P_WAIT, exe.c_str(), quoted.c_str(), args.c_str(), nullptr));
#else
  std::string cmd = "'" + (ProgramDir() / "vx_test_child").string() + "' " + args;
  int rc = std::system(cmd.c_str());
  if (rc != -1 && WIFEXITED(rc)) return WEXITSTATUS(rc);
  return rc;
#endif
}

}  // namespace vx::test
