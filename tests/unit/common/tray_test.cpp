#include "common/tray.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "common/closing.h"
#include "platform/platform.h"
#include "platform/windows_msg.h"
#include "support/test_machine.h"
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/sim/desktop.h"
#include "platform/sim/machine.h"
#endif

namespace vx {
namespace {

namespace fs = std::filesystem;

class TrayTest : public test::MachineFixture {};

TEST_F(TrayTest, StartupEntryIsWantedWhileAnyOptionIsOn) {
  struct Case {
    bool s_enable, smart, with_windows, wanted;
  } cases[] = {{false, false, false, false},
               {true, false, false, true},
               {false, true, false, true},
               {false, false, true, true},
               {true, true, true, true}};
  for (const auto& c : cases)
    EXPECT_EQ(TrayStartupWanted(c.s_enable, c.smart, c.with_windows), c.wanted)
        << c.s_enable << c.smart << c.with_windows;
}

TEST_F(TrayTest, RegisteredMessagesAreSharedAndIgnoreCase) {
  uint32_t reload = platform::RegisterWindowMessageName(kTrayReloadMessage);
  uint32_t close = platform::RegisterWindowMessageName(kTrayCloseMessage);
  EXPECT_GE(reload, 0xC000u);
  EXPECT_LE(reload, 0xFFFFu);
  EXPECT_NE(reload, close);
  EXPECT_EQ(platform::RegisterWindowMessageName("ruvodor"), reload);
  EXPECT_EQ(platform::RegisterWindowMessageName(""), 0u);
}

TEST_F(TrayTest, NothingIsPostedWhileTheTrayProgramIsNotRunning) {
  EXPECT_FALSE(FindTrayWindow());
  EXPECT_FALSE(NotifyTraySettingsChanged());
  EXPECT_FALSE(AskTrayToClose());
  EXPECT_TRUE(WaitTrayClosed());
  EXPECT_FALSE(StartTrayProgram({}));
}

#ifndef _WIN32
class SimTrayTest : public TrayTest {
 protected:
  sim::Desktop Desktop() { return sim::Desktop(*sim::CurrentMachine()); }
  fs::path ProgramDir() { return platform::Sys().Folder(platform::KnownFolder::kProgram); }
};

TEST_F(SimTrayTest, MessagesReachTheTrayWindow) {
  ASSERT_TRUE(Desktop().OpenWindow("TApplication", "RUVodo", getpid()));  // not the form
  auto form = Desktop().OpenWindow("TForm1", "RUVodo", getpid());
  ASSERT_TRUE(form);
  EXPECT_EQ(FindTrayWindow(true), *form);

  EXPECT_TRUE(NotifyTraySettingsChanged());
  EXPECT_TRUE(AskTrayToClose());
  auto posted = Desktop().Posted();
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_EQ(posted[0].message_name, "RUVodoR");
  EXPECT_EQ(posted[0].message, platform::RegisterWindowMessageName("RUVodoR"));
  EXPECT_EQ(posted[0].wparam, 1028u);
  EXPECT_EQ(posted[0].lparam, 0);
  EXPECT_EQ(posted[0].window_title, "RUVodo");
  EXPECT_EQ(posted[1].message_name, "RUVodoC");
  EXPECT_EQ(posted[1].wparam, 1029u);
}

TEST_F(SimTrayTest, WindowsOfEndedProcessesAreGone) {
  pid_t child = fork();
  if (child == 0) _exit(0);
  ASSERT_GT(child, 0);
  waitpid(child, nullptr, 0);
  auto w = Desktop().OpenWindow("TForm1", "RUVodo", child);
  ASSERT_TRUE(w);
  EXPECT_FALSE(platform::WindowExists(*w));
  EXPECT_FALSE(FindTrayWindow());
  EXPECT_EQ(platform::PostWindowMessage(*w, 0xC000, 0, 0), kErrorInvalidHandle);
  EXPECT_TRUE(WaitTrayClosed());
}

TEST_F(SimTrayTest, WaitingEndsWhenTheProgramCloses) {
  ASSERT_TRUE(Desktop().OpenWindow("TForm1", "RUVodo", 0));
  SetProgramClosing(true);
  EXPECT_FALSE(WaitTrayClosed());
  SetProgramClosing(false);
}

TEST_F(SimTrayTest, StartsOnlyAnExistingTrayProgramNotYetRunning) {
  EXPECT_FALSE(StartTrayProgram(ProgramDir()));  // no file
  fs::path exe = TrayProgramPath(ProgramDir());
  EXPECT_EQ(exe.filename(), "RUVodo.exe");
  // A script standing in for the tray program: it opens its window on the
  // machine it was started on.
  fs::path flag = machine_dir() / "machine" / "tray-ran";
  std::ofstream(exe) << "#!/bin/sh\necho \"$VANTRIX_MACHINE\" > '" << flag.string() << "'\n";
  fs::permissions(exe, fs::perms::owner_all);
  EXPECT_TRUE(StartTrayProgram(ProgramDir()));
  auto started = Desktop().Started();
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].program, "C:\\Program Files (x86)\\Vantrix\\RUVodo.exe");
  EXPECT_GT(started[0].pid, 0);
  for (int i = 0; i < 1000 && !fs::exists(flag); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::ifstream in(flag);
  std::string seen;
  std::getline(in, seen);
  EXPECT_TRUE(fs::equivalent(seen, machine_dir() / "machine")) << seen;

  ASSERT_TRUE(Desktop().OpenWindow("TForm1", "RUVodo", 0));
  EXPECT_FALSE(StartTrayProgram(ProgramDir()));  // already running
  EXPECT_EQ(Desktop().Started().size(), 1u);
}
#endif

}  // namespace
}  // namespace vx
