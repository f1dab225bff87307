#include "common/params.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "common/closing.h"
#include "common/text.h"
#include "platform/platform.h"
#include "support/test_machine.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using platform::KnownFolder;

TEST(WindowsVersionCode, FollowsTheTable) {
  struct Case {
    uint32_t major, minor, build;
    int code;
  } cases[] = {
      {0, 0, 0, 5},        // version information not available
      {5, 1, 2600, 5},     // XP
      {5, 2, 3790, 5},     // XP x64 / Server 2003
      {6, 0, 6002, 6},     // Vista
      {6, 1, 7599, 6},     // 7 before its release build
      {6, 1, 7600, 7},     // 7
      {6, 1, 7601, 7},     // 7 SP1
      {6, 2, 9200, 8},     // 8
      {6, 3, 9600, 81},    // 8.1
      {6, 4, 9841, 10},    // 10 technical preview
      {10, 0, 19045, 10},  // 10
      {10, 0, 22631, 10},  // 11 reports 10.0
      {6, 5, 0, 6},        // anything else: the major version
  };
  for (const auto& c : cases)
    EXPECT_EQ(WindowsVersionCode({c.major, c.minor, c.build}), c.code)
        << c.major << "." << c.minor << " build " << c.build;
}

TEST(ProgramClosing, IsAProcessWideFlag) {
  EXPECT_FALSE(ProgramClosing());
  SetProgramClosing(true);
  EXPECT_TRUE(ProgramClosing());
  SetProgramClosing(false);  // other tests of this program poll it
}

class ParamsTest : public test::MachineFixture {
 protected:
  fs::path Folder(KnownFolder f) { return platform::Sys().Folder(f); }
  static bool Same(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec) || a.lexically_normal() == b.lexically_normal();
  }
};

TEST_F(ParamsTest, StandardFoldersAndDeviceForm) {
  InitParams("Vantrix", {}, {}, false);
  const auto& p = Params();
  EXPECT_EQ(p.product_name, "Vantrix");
  EXPECT_FALSE(p.developer_layout);
  EXPECT_FALSE(p.upload_install_reports);
  EXPECT_TRUE(Same(p.base_dir, Folder(KnownFolder::kAppData) / "Vantrix")) << p.base_dir;
  EXPECT_TRUE(fs::is_directory(p.base_dir));
  EXPECT_TRUE(Same(p.download_dir, Folder(KnownFolder::kDocuments) / "Vantrix" / "Drivers"))
      << p.download_dir;
  EXPECT_TRUE(Same(p.windows_dir, Folder(KnownFolder::kWindows)));
  EXPECT_TRUE(Same(p.system_dir, Folder(KnownFolder::kSystem)));
  EXPECT_EQ(p.windows_dir_text.back(), '\\');
  EXPECT_EQ(p.system_dir_text.back(), '\\');
  EXPECT_EQ(p.windows_version, WindowsVersionCode(platform::Sys().Version()));

  std::string drive = p.windows_dir_text.substr(0, 2);
  auto device = platform::Sys().DosDeviceName(drive);
  ASSERT_TRUE(device);
  EXPECT_EQ(p.windows_device_dir, *device + p.windows_dir_text.substr(2));
  if (platform::IsSimulated()) {
    EXPECT_EQ(p.windows_dir_text, "C:\\Windows\\");
    EXPECT_EQ(p.system_dir_text, "C:\\Windows\\system32\\");
    EXPECT_EQ(p.windows_device_dir, "\\Device\\HarddiskVolume3\\Windows\\");
    EXPECT_EQ(p.windows_version, 10);
  }
}

TEST_F(ParamsTest, OverridesReplaceTheStandardFolders) {
  test::TempDir scratch;
  fs::path data = scratch.path() / "data" / "deeper";
  fs::path downloads = scratch.path() / "dl";
  InitParams("Vantrix", data, downloads, true);
  EXPECT_EQ(Params().base_dir, data);
  EXPECT_TRUE(fs::is_directory(data));  // the log starts there next
  EXPECT_EQ(Params().download_dir, downloads);
  EXPECT_FALSE(fs::exists(downloads));  // made when the first package arrives
  EXPECT_TRUE(Params().upload_install_reports);
}

TEST_F(ParamsTest, StartupFoldersOfTheMainWindow) {
  auto f = ComputeStartupFolders();
  EXPECT_TRUE(fs::is_directory(f.data_dir));
  EXPECT_TRUE(Same(f.data_dir, Folder(KnownFolder::kAppData) / "Vantrix"));
  EXPECT_TRUE(Same(f.default_backup_dir, Folder(KnownFolder::kDocuments) / "Vantrix" / "Backup"));
  EXPECT_TRUE(
      Same(f.default_download_dir, Folder(KnownFolder::kDocuments) / "Vantrix" / "Drivers"));
  EXPECT_EQ(FolderText(f.default_backup_dir).back(), '\\');
}

#ifndef _WIN32
// The simulated machine's facts can be changed between attachments, which
// lets one test walk through the Windows versions the program branches on.
class SimParamsTest : public ParamsTest {
 protected:
  fs::path Machine() const { return machine_dir() / "machine"; }

  void RewriteFacts(const std::string& section, const std::string& body) {
    fs::path file = Machine() / "machine.ini";
    std::ifstream in(file);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string out, line;
    bool skip = false;
    while (std::getline(ss, line)) {
      std::string t = Trim(line);
      if (!t.empty() && t.front() == '[') skip = SameText(t, "[" + section + "]");
      if (!skip) out += line + "\n";
    }
    out += "[" + section + "]\n" + body;
    std::ofstream(file, std::ios::trunc) << out;
    platform::Detach();
    std::string error;
    ASSERT_TRUE(platform::Attach(Machine(), error)) << error;
  }
};

TEST_F(SimParamsTest, VersionCodeAndFoldersOfEachWindows) {
  struct Case {
    const char* version;  // Major, Minor, Build lines
    int code;
    const char* app_data;
  } cases[] = {
      {"Major=5\nMinor=1\nBuild=2600\n", 5,
       "C:\\Documents and Settings\\Alex\\Application Data\\Vantrix\\"},
      {"Major=6\nMinor=1\nBuild=7599\n", 6, "C:\\Users\\Alex\\AppData\\Roaming\\Vantrix\\"},
      {"Major=6\nMinor=1\nBuild=7600\n", 7, "C:\\Users\\Alex\\AppData\\Roaming\\Vantrix\\"},
      {"Major=6\nMinor=2\nBuild=9200\n", 8, "C:\\Users\\Alex\\AppData\\Roaming\\Vantrix\\"},
      {"Major=6\nMinor=3\nBuild=9600\n", 81, "C:\\Users\\Alex\\AppData\\Roaming\\Vantrix\\"},
      {"Major=10\nMinor=0\nBuild=19045\n", 10, "C:\\Users\\Alex\\AppData\\Roaming\\Vantrix\\"},
  };
  for (const auto& c : cases) {
    RewriteFacts("Windows", std::string(c.version) + "Is64Bit=1\n");
    InitParams("Vantrix", {}, {}, false);
    EXPECT_EQ(Params().windows_version, c.code) << c.version;
    EXPECT_EQ(FolderText(Params().base_dir), c.app_data) << c.version;
    EXPECT_TRUE(fs::is_directory(Params().base_dir)) << c.version;
  }
}

TEST_F(SimParamsTest, FailedDeviceLookupLeavesTheDeviceFormEmpty) {
  RewriteFacts("DosDevices", "D:=\\Device\\HarddiskVolume9\n");
  InitParams("Vantrix", {}, {}, false);
  EXPECT_EQ(Params().windows_device_dir, "");
  EXPECT_EQ(Params().windows_dir_text, "C:\\Windows\\");  // the rest is computed as usual
}

TEST_F(SimParamsTest, DeveloperLayoutIgnoresTheOverrides) {
  fs::path program = Folder(KnownFolder::kProgram);
  std::ofstream(program / "quorvane.DPR") << "program Quorvane;";  // names ignore case
  test::TempDir scratch;
  InitParams("Vantrix", scratch.path() / "data", scratch.path() / "dl", false);
  EXPECT_TRUE(Params().developer_layout);
  EXPECT_EQ(FolderText(Params().base_dir), "C:\\Program Files (x86)\\Vantrix\\Bases\\");
  EXPECT_EQ(FolderText(Params().download_dir), "C:\\Program Files (x86)\\Vantrix\\Drivers\\");
  EXPECT_FALSE(fs::exists(scratch.path() / "data"));
}

class Win7ParamsTest : public ParamsTest {
 protected:
  const char* Sample() const override { return "laptop-win7-x86"; }
};

TEST_F(Win7ParamsTest, ThirtyTwoBitSevenWithAGermanUser) {
  InitParams("Vantrix", {}, {}, false);
  EXPECT_EQ(Params().windows_version, 7);
  EXPECT_EQ(FolderText(Params().base_dir), "C:\\Users\\Jürgen\\AppData\\Roaming\\Vantrix\\");
  EXPECT_EQ(FolderText(Params().download_dir), "C:\\Users\\Jürgen\\Documents\\Vantrix\\Drivers\\");
  EXPECT_EQ(Params().windows_device_dir, "\\Device\\HarddiskVolume1\\Windows\\");
  EXPECT_EQ(FolderText(ComputeStartupFolders().program_dir), "C:\\Program Files\\Vantrix\\");
}
#endif

}  // namespace
}  // namespace vx
