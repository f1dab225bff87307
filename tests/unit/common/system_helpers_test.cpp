#include "common/system_helpers.h"

#include <gtest/gtest.h>

#include <fstream>

#include "common/archive.h"
#include "common/date_time.h"
#include "common/logger.h"
#include "common/startup.h"
#include "platform/platform.h"
#include "support/test_machine.h"
#ifndef _WIN32
#include "platform/sim/desktop.h"
#include "platform/sim/machine.h"
#endif

namespace vx {
namespace {

namespace fs = std::filesystem;

TEST(TextCountTest, DeleteLeftAndRight) {
  struct Case {
    const char* text;
    int n;
    const char* left;
    const char* right;
  };
  const Case cases[] = {
      {"abcdef", 2, "cdef", "abcd"},   {"abcdef", 0, "abcdef", "abcdef"},
      {"abcdef", -3, "abcdef", "abcdef"}, {"abc", 3, "", ""},
      {"abc", 4, "", ""},              {"äöü€x", 2, "ü€x", "äöü"},
      {"", 1, "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DeleteLeft(c.text, c.n), c.left) << c.text << " " << c.n;
    EXPECT_EQ(DeleteRight(c.text, c.n), c.right) << c.text << " " << c.n;
  }
}

class SystemHelpersTest : public test::MachineFixture {
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

TEST_F(SystemHelpersTest, RegReadMultiStringTakesSmallMultiStringsOnly) {
  using platform::RegRoot;
  auto& reg = platform::Reg();
  const char* key = "Software\\VantrixTest\\Multi";
  ASSERT_EQ(platform::WriteRegMultiString(reg, RegRoot::kCurrentUser, key, "List", {"a", "bé", "c"}), 0u);
  ASSERT_EQ(platform::WriteRegMultiString(reg, RegRoot::kCurrentUser, key, "Big",
                                          {std::string(1100, 'x')}), 0u);  // > 2048 bytes
  ASSERT_EQ(platform::WriteRegString(reg, RegRoot::kCurrentUser, key, "Text", "a"), 0u);
  struct Case {
    const char* name;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {"List", {"a", "bé", "c"}}, {"Big", {}}, {"Text", {}}, {"Missing", {}}};
  for (const auto& c : cases) {
    std::vector<std::string> list{"stale"};
    RegReadMultiString(RegRoot::kCurrentUser, key, c.name, list);
    EXPECT_EQ(list, c.want) << c.name;
  }
}

TEST_F(SystemHelpersTest, CachedFacts) {
  EXPECT_EQ(IsWindows64(), platform::Sys().IsWindows64());
  double start = GetSystemStartTime();
  EXPECT_LT(start, NowDateTime());
  EXPECT_NEAR(start, NowDateTime() - platform::Sys().TickCount() / 86400000.0, 5.0 / 86400);
  EXPECT_EQ(GetSystemStartTime(), start);
  EXPECT_EQ(IsAdminUser(), IsAdminUser());
}

TEST_F(SystemHelpersTest, RedirectionSwitchKeepsItsState) {
  platform::FsRedirectionState state;
  EXPECT_EQ(platform::DisableFsRedirection(state), 0u);
  EXPECT_EQ(platform::RevertFsRedirection(state), 0u);
  EXPECT_FALSE(state.disabled);
}

#ifndef _WIN32
// On the simulated machine requests are kept in the machine.
TEST_F(SystemHelpersTest, RebootIsRecordedNotPerformed) {
  BeginLogCapture();
  RebootSystem();
  EXPECT_EQ(EndLogCapture(), std::vector<std::string>{});
  auto requests = sim::Desktop(*sim::CurrentMachine()).Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].kind, "privilege");
  EXPECT_EQ(requests[0].detail, "SeShutdownPrivilege");
  EXPECT_EQ(requests[1].kind, "reboot");
}

TEST_F(SystemHelpersTest, DebugPrivilegesOfAnAdministrator) {
  ASSERT_TRUE(platform::UserIsAdmin());
  BeginLogCapture();
  GetDebugPrivilege();
  EXPECT_EQ(EndLogCapture(), std::vector<std::string>{});
  std::vector<std::string> granted;
  for (const auto& r : sim::Desktop(*sim::CurrentMachine()).Requests()) granted.push_back(r.detail);
  EXPECT_EQ(granted, (std::vector<std::string>{"SeDebugPrivilege", "SeIncreaseQuotaPrivilege",
                                               "SeImpersonatePrivilege"}));
}

class StandardUserTest : public SystemHelpersTest {
 protected:
  void SetUp() override {
    SystemHelpersTest::SetUp();
    // Re-attach to the same machine as a standard user.
    const fs::path dir = sim::CurrentMachine()->dir();
    auto ini = dir / "machine.ini";
    std::ifstream in(ini);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    in.close();
    auto at = text.find("IsAdmin=1");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 9, "IsAdmin=0");
    std::ofstream(ini) << text;
    std::string error;
    platform::Detach();
    ASSERT_TRUE(platform::Attach(dir, error)) << error;
  }
};

TEST_F(StandardUserTest, DebugPrivilegesAreRefusedEachLogged) {
  EXPECT_FALSE(platform::UserIsAdmin());
  BeginLogCapture();
  GetDebugPrivilege();
  auto lines = EndLogCapture();
  ASSERT_EQ(lines.size(), 3u);
  const char* want[] = {"AdjustTokenPrivileges 1.2 fail PARAMS: SeDebugPrivilege",
                        "AdjustTokenPrivileges 2.2 fail PARAMS: SeIncreaseQuotaPrivilege",
                        "AdjustTokenPrivileges 3.2 fail PARAMS: SeImpersonatePrivilege"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_NE(lines[i].find("GetDebugPrivilege MESS: "), std::string::npos) << lines[i];
    EXPECT_NE(lines[i].find(want[i]), std::string::npos) << lines[i];
  }
  EXPECT_TRUE(sim::Desktop(*sim::CurrentMachine()).Requests().empty());
  // A standard user still holds the shutdown privilege.
  BeginLogCapture();
  RebootSystem();
  EXPECT_EQ(EndLogCapture(), std::vector<std::string>{});
}
#endif

// The program's start wires the archive writer into the log, so the
// diagnostic archive is a real ZIP.
TEST_F(SystemHelpersTest, CommonServicesMakeDiagnosticArchivesReal) {
  test::TempDir dir, out;
  std::ofstream(dir.path() / "program.log") << "log line\n";
  SetLogZipFunction(nullptr);
  EXPECT_TRUE(ZipDiagnosticFiles(dir.path(), "diag.zip").empty());
  InstallCommonServices();
  fs::path zip = ZipDiagnosticFiles(dir.path(), "diag.zip");
  ASSERT_FALSE(zip.empty());
  std::ifstream in(zip, std::ios::binary);
  char sig[4] = {};
  in.read(sig, 4);
  EXPECT_EQ(std::string(sig, 4), std::string("PK\x03\x04", 4));
  ASSERT_TRUE(UnZipFile(zip, out.path()));
  EXPECT_TRUE(fs::exists(out.path() / "program.log"));
  SetLogZipFunction(nullptr);
}

}  // namespace
}  // namespace vx
