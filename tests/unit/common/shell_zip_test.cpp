#include "common/shell_zip.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/archive.h"
#include "common/logger.h"
#include "support/test_machine.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using platform::ShellZipResult;
using platform::ShellZipStep;

std::string ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class ShellZipTest : public test::MachineFixture {
 protected:
  void SetUp() override {
    MachineFixture::SetUp();
    StartLog(logs_.path());
    fs::create_directories(source());
    std::ofstream(source() / "a.txt") << "alpha";
    std::ofstream(source() / "b.log") << "beta";
  }
  void TearDown() override {
    StopLog();
    MachineFixture::TearDown();
  }
  fs::path source() const { return work_.path() / "source"; }
  fs::path zip() const { return work_.path() / "out.zip"; }

  // A shell whose copy starts and whose threads end after `busy_polls`
  // polls (never, when negative), on a clock that moves only when polled.
  TShellZip::Services Fake(int busy_polls) {
    TShellZip::Services s;
    s.copy_into = [this](const fs::path& from, const fs::path& to, std::string_view mask) {
      calls.push_back("into " + from.filename().string() + " " + to.filename().string() + " " +
                      std::string(mask));
      copying = true;
      return ShellZipResult{};
    };
    s.copy_out = [this](const fs::path& from, const fs::path& to, std::string_view mask) {
      calls.push_back("out " + from.filename().string() + " " + to.filename().string() + " " +
                      std::string(mask));
      return ShellZipResult{};
    };
    s.thread_count = [this, busy_polls] {
      if (!copying) return 4u;
      if (busy_polls < 0 || pauses < busy_polls) return 7u;
      copying = false;
      return 4u;
    };
    s.now_ms = [this] { return 1000000u + static_cast<uint64_t>(pauses) * 100u; };
    s.pause = [this] { ++pauses; };
    return s;
  }

  test::TempDir logs_, work_;
  std::vector<std::string> calls;
  int pauses = 0;
  bool copying = false;
};

TEST_F(ShellZipTest, CopyIntoANewZipStartsFromAnEmptyArchiveAndWaitsForTheShell) {
  TShellZip shell(zip(), "*.txt");
  shell.SetServices(Fake(3));
  BeginLogCapture();
  EXPECT_TRUE(shell.CopyIntoZip(source()));
  EXPECT_EQ(EndLogCapture(), std::vector<std::string>{});
  EXPECT_EQ(calls, std::vector<std::string>{"into source out.zip *.txt"});
  EXPECT_EQ(pauses, 3);
  std::string empty(24, '\0');
  empty[0] = 'P', empty[1] = 'K', empty[2] = 5, empty[3] = 6;
  EXPECT_EQ(ReadBytes(zip()), empty);
  pauses = 0;
  // An existing archive is left as it is for the shell to add to.
  std::ofstream(zip(), std::ios::binary) << "PK-existing";
  EXPECT_TRUE(shell.CopyIntoZip(source()));
  EXPECT_EQ(ReadBytes(zip()), "PK-existing");
}

// The shell gives no end signal of its own; a copy whose threads never end
// is given up after the limit, measured on the injected clock.
TEST_F(ShellZipTest, ACopyThatNeverEndsFailsAfterTheTimeLimit) {
  TShellZip shell(zip());
  shell.SetServices(Fake(-1));
  shell.SetTimeLimit(std::chrono::milliseconds(2500));
  BeginLogCapture();
  EXPECT_FALSE(shell.CopyIntoZip(source()));
  auto lines = EndLogCapture();
  EXPECT_EQ(pauses, 25);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("ERROR"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("Copy into zip not finished in time"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("limit=2500 ms"), std::string::npos) << lines[0];
}

TEST_F(ShellZipTest, FailuresToStartAreLoggedAndLeaveNoEmptyArchive) {
  struct Case {
    ShellZipStep step;
    const char* logged;
  } cases[] = {
      {ShellZipStep::kUnavailable, "Shell ZIP folders not available"},
      {ShellZipStep::kInvalidSource, "source> invalid source"},
      {ShellZipStep::kInvalidZip, "out.zip> invalid zipfile"},
      {ShellZipStep::kCopy, "CopyHere fail"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.logged);
    TShellZip shell(zip());
    auto services = Fake(0);
    services.copy_into = [&](const fs::path&, const fs::path&, std::string_view) {
      return ShellZipResult{c.step, 0x80004005u};
    };
    shell.SetServices(services);
    BeginLogCapture();
    EXPECT_FALSE(shell.CopyIntoZip(source()));
    auto lines = EndLogCapture();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(c.logged), std::string::npos) << lines[0];
    EXPECT_FALSE(fs::exists(zip()));
  }
}

TEST_F(ShellZipTest, CopyOutPassesTheFilterAndDoesNotWait) {
  TShellZip shell(zip(), "*.log");
  shell.SetServices(Fake(-1));
  EXPECT_TRUE(shell.CopyOutOfZip(work_.path() / "target"));
  EXPECT_EQ(calls, std::vector<std::string>{"out out.zip target *.log"});
  EXPECT_EQ(pauses, 0);
  auto services = Fake(0);
  services.copy_out = [](const fs::path&, const fs::path&, std::string_view) {
    return ShellZipResult{ShellZipStep::kInvalidTarget, 0x80004005u};
  };
  shell.SetServices(services);
  BeginLogCapture();
  EXPECT_FALSE(shell.CopyOutOfZip(work_.path() / "target"));
  auto lines = EndLogCapture();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("target> invalid target folder"), std::string::npos) << lines[0];
}

// The real shell: the simulated machine has none; Wine's shell has no ZIP
// folders, so the ZIP does not open as a folder. Either way the call ends
// at once with a logged failure and leaves nothing behind.
TEST_F(ShellZipTest, TheSystemShellWithoutZipFoldersFailsPromptly) {
  TShellZip shell(zip());
  auto services = TShellZip::SystemServices();
  auto pause = services.pause;
  services.pause = [&, pause] {
    ++pauses;
    pause();
  };
  shell.SetServices(services);
  shell.SetTimeLimit(std::chrono::milliseconds(5000));
  BeginLogCapture();
  const bool copied = shell.CopyIntoZip(source());
  auto lines = EndLogCapture();
  const bool out = shell.CopyOutOfZip(work_.path() / "target");
  EXPECT_EQ(pauses, 0);  // failed before any wait
  EXPECT_FALSE(copied);
  EXPECT_FALSE(out);
  ASSERT_EQ(lines.size(), 1u);
#ifdef _WIN32
  EXPECT_NE(lines[0].find("out.zip> invalid zipfile"), std::string::npos) << lines[0];
#else
  EXPECT_NE(lines[0].find("Shell ZIP folders not available"), std::string::npos) << lines[0];
#endif
  EXPECT_FALSE(fs::exists(zip()));
}

}  // namespace
}  // namespace vx
