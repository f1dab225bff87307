// Process inspection against a real tree of child processes: the test
// starts tree-node level 0, which starts level 1, and so on.
#include "common/processes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "common/date_time.h"
#include "common/logger.h"
#include "common/text.h"
#include "platform/platform.h"
#include "platform/process_start.h"
#include "support/test_machine.h"
#ifndef _WIN32
#include "platform/sim/desktop.h"
#include "platform/sim/machine.h"
#endif

namespace vx {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kDepth = 3;  // four processes: levels 0 to 3

bool Contains(const std::vector<std::string>& lines, std::string_view needle) {
  for (const auto& l : lines)
    if (l.find(needle) != std::string::npos) return true;
  return false;
}

class ProcessTreeTest : public test::MachineFixture {
 protected:
  void SetUp() override {
    MachineFixture::SetUp();
    StartLog(logs_.path());
#ifdef _WIN32
    child_ = test::ProgramDir() / "vx_test_child.exe";
    machine_arg_ = "-";
    expected_path_ = PathUtf8(child_);
#else
    // Inside the machine's drive C the program has a Windows path.
    fs::path folder = sim::CurrentMachine()->drive_c() / "Program Files" / "VxTools";
    fs::create_directories(folder);
    child_ = folder / "vx_test_child";
    fs::copy_file(test::ProgramDir() / "vx_test_child", child_);
    machine_arg_ = PathUtf8(sim::CurrentMachine()->dir());
    expected_path_ = "C:\\Program Files\\VxTools\\vx_test_child";
#endif
    before_ = NowDateTime();
    ASSERT_EQ(platform::StartProgram(child_, "tree-node \"" + machine_arg_ + "\" \"" +
                                                 PathUtf8(tree_.path()) + "\" 0 " +
                                                 std::to_string(kDepth)),
              0u);
    for (int level = 0; level <= kDepth; ++level) {
      fs::path file = tree_.path() / ("node-" + std::to_string(level) + ".pid");
      for (int i = 0; i < 600 && !fs::exists(file); ++i) std::this_thread::sleep_for(50ms);
      std::ifstream in(file);
      ProcessId pid = 0;
      ASSERT_TRUE(in >> pid) << "level " << level << " did not start";
      pids_.push_back(pid);
    }
    after_ = NowDateTime();
  }

  void TearDown() override {
    std::ofstream(tree_.path() / "stop") << "";
    for (ProcessId pid : pids_)
      for (int i = 0; i < 200 && platform::OpenProcessStatus(pid) == 0; ++i)
        std::this_thread::sleep_for(25ms);
    StopLog();
    MachineFixture::TearDown();
  }

  test::TempDir logs_, tree_;
  fs::path child_;
  std::string machine_arg_, expected_path_;
  double before_ = 0, after_ = 0;
  std::vector<ProcessId> pids_;
};

TEST_F(ProcessTreeTest, CommandLinesImagePathsAndParentsOfEveryLevel) {
  auto snapshot = platform::ProcessSnapshot();
  ASSERT_TRUE(snapshot.ok());
  BeginLogCapture();
  for (int level = 0; level <= kDepth; ++level) {
    SCOPED_TRACE("level " + std::to_string(level));
    ProcessId pid = pids_[level];
    std::string line = GetProcessCommandLine(pid);
    EXPECT_NE(line.find("tree-node"), std::string::npos) << line;
    EXPECT_NE(line.find(" " + std::to_string(level) + " " + std::to_string(kDepth)),
              std::string::npos) << line;
    EXPECT_TRUE(SameText(GetPathFromPID(pid), expected_path_)) << GetPathFromPID(pid);
    EXPECT_TRUE(IsNativeProcess(pid));
    ProcessId parent = level == 0 ? platform::CurrentProcessId() : pids_[level - 1];
    bool found = false;
    for (const auto& e : *snapshot)
      if (e.pid == pid) {
        found = true;
        EXPECT_EQ(e.parent_pid, parent);
        EXPECT_TRUE(StartsWithText(e.exe_name, "vx_test_child")) << e.exe_name;
      }
    EXPECT_TRUE(found);
  }
  EXPECT_EQ(EndLogCapture(), std::vector<std::string>{});
}

TEST_F(ProcessTreeTest, StartTimesFallBetweenBeforeAndAfterInTreeOrder) {
  // Creation times are whole clock ticks after a boot time kept in whole
  // seconds; allow that much either side.
  constexpr double kSlack = 1.5 / 86400;
  double previous = 0;
  for (ProcessId pid : pids_) {
    double start = GetProcessStartTime(pid, true);
    EXPECT_GT(start, before_ - kSlack);
    EXPECT_LT(start, after_ + kSlack);
    EXPECT_GE(start, previous);
    previous = start;
  }
}

TEST_F(ProcessTreeTest, ProcessListMarksTheTreeAsStartedSince) {
  // Our own start time, measured the same way, separates the tree (later)
  // from us and everything older.
  double since = GetProcessStartTime(platform::CurrentProcessId(), true);
  ASSERT_GT(since, 0);
  std::vector<std::string> list;
  CreateProcessList(list, false, since);
  ASSERT_FALSE(list.empty());
  EXPECT_NE(list[0].find(" ---------------------------------------"), std::string::npos);
  for (int level = 0; level <= kDepth; ++level) {
    ProcessId parent = level == 0 ? platform::CurrentProcessId() : pids_[level - 1];
    std::string tail = "   " + std::to_string(pids_[level]) + "   Parent=" +
                       std::to_string(parent) + "   Visible=0   Start=";
    int seen = 0;
    for (const auto& l : list)
      if (l.find(tail) != std::string::npos) {
        ++seen;
        EXPECT_EQ(l.rfind("+ ", 0), 0u) << l;
        EXPECT_NE(l.find("tree-node"), std::string::npos) << l;
      }
    EXPECT_EQ(seen, 1) << tail;
  }
  std::string self = "   " + std::to_string(platform::CurrentProcessId()) + "   Parent=";
  for (const auto& l : list)
    if (l.find(self) != std::string::npos) {
      EXPECT_EQ(l.rfind("- ", 0), 0u) << l;
    }
  // A second report into the same list adds no line twice.
  size_t size = list.size();
  CreateProcessList(list, false, since);
  // Count only this tree: other programs may run trees of their own.
  int tree_lines = 0;
  for (const auto& l : list)
    for (int level = 0; level <= kDepth; ++level)
      if (l.find("   " + std::to_string(pids_[level]) + "   Parent=") != std::string::npos) ++tree_lines;
  EXPECT_EQ(tree_lines, kDepth + 1);
  EXPECT_GT(list.size(), size);  // the second heading
}

TEST_F(ProcessTreeTest, NoMarksWithoutSince) {
  std::vector<std::string> list;
  CreateProcessList(list, false, 0);
  for (const auto& l : list) {
    if (l.find("tree-node") == std::string::npos) continue;
    EXPECT_NE(l.rfind("+ ", 0), 0u);
    EXPECT_NE(l.rfind("- ", 0), 0u);
  }
  EXPECT_TRUE(Contains(list, "   " + std::to_string(pids_[2]) + "   Parent="));
}

#ifndef _WIN32
// The simulated desktop holds the windows; a window of level 2 makes it
// the only visible process of the tree.
TEST_F(ProcessTreeTest, VisibleWindowsComeFromTheDesktop) {
  auto* m = sim::CurrentMachine();
  ASSERT_TRUE(sim::Desktop(*m).OpenWindow("VxTestWindow", "Tree", pids_[2]).ok());
  for (int level = 0; level <= kDepth; ++level)
    EXPECT_EQ(ProcessHasVisibleWindow(pids_[level]), level == 2) << level;
  std::vector<std::string> list;
  CreateProcessList(list, true, 0);
  EXPECT_TRUE(Contains(list, "   " + std::to_string(pids_[2]) + "   Parent=" +
                                 std::to_string(pids_[1]) + "   Visible=1"));
  EXPECT_FALSE(Contains(list, "   " + std::to_string(pids_[1]) + "   Parent="));
}

TEST_F(ProcessTreeTest, ImagePathComesFromTheDevicePath) {
  EXPECT_EQ(*platform::ProcessImageFileName(pids_[0]),
            "\\Device\\HarddiskVolume3\\Program Files\\VxTools\\vx_test_child");
  EXPECT_EQ(GetProcessImagePath(pids_[0]), expected_path_);
}
#endif

class ProcessQueryTest : public test::MachineFixture {
 protected:
  void SetUp() override {
    MachineFixture::SetUp();
    StartLog(logs_.path());
  }
  void TearDown() override {
    StopLog();
    MachineFixture::TearDown();
  }
  test::TempDir logs_;
};

TEST_F(ProcessQueryTest, SystemProcessesHaveNoCommandLine) {
  BeginLogCapture();
  for (ProcessId pid : {4u, 8u}) EXPECT_EQ(GetProcessCommandLine(pid), "") << pid;
  EXPECT_EQ(EndLogCapture(), std::vector<std::string>{});
}

TEST_F(ProcessQueryTest, OwnProcessIsKnown) {
  ProcessId self = platform::CurrentProcessId();
  EXPECT_NE(GetProcessCommandLine(self).find("vx_unit_common"), std::string::npos);
  EXPECT_NE(GetPathFromPID(self).find("vx_unit_common"), std::string::npos);
  EXPECT_TRUE(IsNativeProcess(self));
  EXPECT_GT(GetProcessStartTime(self, true), 0);
}

// A process that does not exist: opening it fails with "invalid
// parameter", which is logged when asked for.
TEST_F(ProcessQueryTest, MissingProcessFailsAndLogs) {
  constexpr ProcessId kGone = 0x7FFFFFF0;
  struct Case {
    const char* what;
    std::function<bool()> call;
    const char* logged;  // nullptr: nothing logged
  };
  const Case cases[] = {
      {"path", [] { return GetPathFromPID(kGone).empty(); }, "GetPathFromPID MESS: OpenProcess fail"},
      {"start logged", [] { return GetProcessStartTime(kGone, true) == 0; },
       "GetProcessStartTime MESS: OpenProcess fail"},
      {"start quiet", [] { return GetProcessStartTime(kGone, false) == 0; }, nullptr},
      {"command line", [] { return GetProcessCommandLine(kGone).empty(); }, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    BeginLogCapture();
    EXPECT_TRUE(c.call());
    auto lines = EndLogCapture();
    if (c.logged) {
      ASSERT_EQ(lines.size(), 1u);
      EXPECT_NE(lines[0].find(c.logged), std::string::npos) << lines[0];
      EXPECT_NE(lines[0].find("pid=" + std::to_string(kGone)), std::string::npos) << lines[0];
    } else {
      EXPECT_EQ(lines, std::vector<std::string>{});
    }
  }
}

}  // namespace
}  // namespace vx
