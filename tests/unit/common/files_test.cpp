#include "common/files.h"

#include <gtest/gtest.h>

#include <fstream>

#include "common/date_time.h"
#include "common/logger.h"
#include "common/text.h"
#include "platform/platform.h"
#include "platform/system_control.h"
#include "support/test_machine.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class FilesTest : public test::MachineFixture {
 protected:
  void SetUp() override {
    MachineFixture::SetUp();
    StartLog(logs_.path());
    BeginLogCapture();
  }
  void TearDown() override {
    EndLogCapture();
    StopLog();
    MachineFixture::TearDown();
  }
  // The lines logged since the last call.
  std::vector<std::string> Logged() {
    auto lines = EndLogCapture();
    BeginLogCapture();
    return lines;
  }
  test::TempDir logs_, scratch_;
};

// --- drive table --------------------------------------------------------

Result<std::string> FakeDevices(std::string_view drive) {
  if (SameText(drive, "C:")) return std::string("\\Device\\HarddiskVolume3");
  if (SameText(drive, "D:")) return std::string("\\Device\\CdRom0");
  if (SameText(drive, "E:")) return std::string("\\Device\\HarddiskVolume7");
  return Result<std::string>::Fail(kErrorFileNotFound);
}

std::string Roots(std::initializer_list<const char*> roots) {
  std::string out;
  for (const char* r : roots) {
    out += r;
    out += '\0';
  }
  return out;
}

TEST_F(FilesTest, DriveTableExpandsDevicePaths) {
  DriveTable table;
  table.Init(Roots({"C:\\", "D:\\", "Q:\\"}), &FakeDevices);
  ASSERT_EQ(table.count(), 2);
  EXPECT_EQ(table.entries()[0].device, "\\device\\harddiskvolume3\\");
  EXPECT_EQ(table.entries()[0].device_length, 23u);
  auto lines = Logged();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("XFile.LogicalDriveStringsInit MESS: QueryDosDevice fail PARAMS: Q:"),
            std::string::npos) << lines[0];

  struct Case {
    const char* raw;
    const char* expanded;
  };
  const Case cases[] = {
      {"\\Device\\HarddiskVolume3\\Windows\\vx-none.exe", "C:\\Windows\\vx-none.exe"},
      {"\\DEVICE\\harddiskvolume3\\Windows", "C:\\Windows"},  // any case
      {"\\Device\\CdRom0\\setup.exe", "D:\\setup.exe"},
  };
  for (const auto& c : cases) EXPECT_EQ(table.Expand(c.raw), c.expanded) << c.raw;
  lines = Logged();
  // C:\Windows exists on the machine; the others do not.
  EXPECT_EQ(lines.size(), 2u);
  for (const auto& l : lines) EXPECT_NE(l.find("MESS: Result not exists"), std::string::npos) << l;
}

TEST_F(FilesTest, UnknownVolumeFallsBackToDriveC) {
  DriveTable table;
  table.Init(Roots({"C:\\"}), &FakeDevices);
  fs::create_directories(platform::Sys().HostPath("C:\\Tools"));
  std::ofstream(platform::Sys().HostPath("C:\\Tools\\a.exe")) << "x";
  // A volume mounted after the table was built, with the same drive string:
  // the guess on drive C finds the file.
  EXPECT_EQ(table.Expand("\\Device\\HarddiskVolume7\\Tools\\a.exe"), "c:\\Tools\\a.exe");
  EXPECT_EQ(Logged(), std::vector<std::string>{});
  // Nothing there on drive C: the raw path stays, and the table is logged.
  EXPECT_EQ(table.Expand("\\Device\\HarddiskVolume7\\Tools\\b.exe"),
            "\\Device\\HarddiskVolume7\\Tools\\b.exe");
  auto lines = Logged();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("XFile.ExpandRawPath MESS: Path not expanded PARAMS: "
                          "\\Device\\HarddiskVolume7\\Tools\\b.exe 1 C: \\device\\harddiskvolume3\\"),
            std::string::npos) << lines[0];
  // Once the drive string changes the table is rebuilt and knows E:.
  table.Init(Roots({"C:\\", "E:\\"}), &FakeDevices);
  EXPECT_EQ(table.count(), 2);
  EXPECT_EQ(table.Expand("\\Device\\HarddiskVolume7\\Tools\\b.exe"), "E:\\Tools\\b.exe");
}

TEST_F(FilesTest, BadDriveStringLeavesTheTable) {
  DriveTable table;
  table.Init(Roots({"C:\\"}), &FakeDevices);
  Logged();
  for (std::string bad : {std::string("C:"), std::string(260, 'x')}) {
    table.Init(bad, &FakeDevices);
    EXPECT_EQ(table.count(), 1);
    auto lines = Logged();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("GetLogicalDriveStrings fail PARAMS: " + std::to_string(bad.size())),
              std::string::npos) << lines[0];
  }
}

TEST_F(FilesTest, ProcessTableUsesTheMachinesDrives) {
  // The system folder exists on every machine the tests run on.
  auto device = platform::Sys().DosDeviceName("C:");
  ASSERT_TRUE(device.ok());
  EXPECT_TRUE(SameText(ExpandRawPath(*device + "\\Windows"), "C:\\Windows"));
  EXPECT_GE(ProcessDriveTable().count(), 1);
}

// --- file tests and times -------------------------------------------------

TEST_F(FilesTest, FileExistsNativeSeesFilesOnlyWithRedirectionOff) {
  std::ofstream(scratch_.path() / "f.txt") << "x";
  uint64_t switches = platform::FsRedirectionSwitchCount();
  EXPECT_TRUE(FileExistsNative(scratch_.path() / "f.txt"));
  EXPECT_FALSE(FileExistsNative(scratch_.path()));
  EXPECT_FALSE(FileExistsNative(scratch_.path() / "missing.txt"));
  if (platform::IsSimulated()) {
    EXPECT_EQ(platform::FsRedirectionSwitchCount(), switches + 3);
  }
}

TEST_F(FilesTest, FileTimes) {
  fs::path f = scratch_.path() / "stamp.txt";
  std::ofstream(f) << "x";
  double t = 0;
  ASSERT_TRUE(GetFileWriteTime(f, t));
  EXPECT_NEAR(t, NowDateTime(), 60.0 / 86400);
  EXPECT_FALSE(GetFileWriteTime(scratch_.path() / "missing", t));
  EXPECT_GT(GetProgramFileTime(), 0);
  EXPECT_EQ(FileTimeToLocalDateTime(0), 0);
  // 1601-01-01 plus one day.
  EXPECT_NEAR(FileTimeToLocalDateTime(864000000000ull),
              kFileTimeEpochDays + 1 + platform::Sys().Locale().utc_offset_minutes / 1440.0, 1e-9);
}

// --- folders ----------------------------------------------------------------

TEST_F(FilesTest, DeleteFolderRemovesTheFolderItself) {
  for (const char* suffix : {"", "\\", "/"}) {
    SCOPED_TRACE(suffix);
    fs::path dir = scratch_.path() / "gone";
    fs::create_directories(dir / "sub");
    std::ofstream(dir / "sub" / "a.txt") << "a";
    EXPECT_TRUE(DeleteFolder(U8Path(PathUtf8(dir) + suffix)));
    EXPECT_FALSE(fs::exists(dir));
  }
  EXPECT_EQ(Logged(), std::vector<std::string>{});
  EXPECT_FALSE(DeleteFolder(scratch_.path() / "never"));
  auto lines = Logged();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("XFile.DeleteFolder MESS: Path not exists PARAMS: Dir="),
            std::string::npos) << lines[0];
}

// --- UTF-16 text files -------------------------------------------------------

TEST_F(FilesTest, AssignFileWAppendsOrStartsOver) {
  fs::path f = scratch_.path() / "report.txt";
  const std::string bom = "\xFF\xFE";
  const std::string line1 = Utf16LeBytes(u"Ünïcode 1") + std::string("\r\0\n\0", 4);
  const std::string line2 = Utf16LeBytes(u"two") + std::string("\r\0\n\0", 4);
  {
    auto h = AssignFileW(f, false, true);  // new file: mark first
    ASSERT_TRUE(h);
    WriteLnW(h, "Ünïcode 1");
  }
  EXPECT_EQ(ReadBytes(f), bom + line1);
  {
    auto h = AssignFileW(f, false, true);  // existing: appended, mark kept
    WriteLnW(h, "two");
  }
  EXPECT_EQ(ReadBytes(f), bom + line1 + line2);
  {
    auto h = AssignFileW(f, true, true);  // rewrite: starts over
    WriteLnW(h, "two");
  }
  EXPECT_EQ(ReadBytes(f), bom + line2);
  {
    auto h = AssignFileW(f, false, false);  // reading leaves it alone
    EXPECT_TRUE(h);
  }
  EXPECT_EQ(ReadBytes(f), bom + line2);
  EXPECT_EQ(Logged(), std::vector<std::string>{});
}

TEST_F(FilesTest, TextFileFailuresAreLogged) {
  auto h = AssignFileW(scratch_.path() / "missing.txt", false, false);
  EXPECT_FALSE(h);
  WriteLnW(h, "lost");
  auto lines = Logged();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("XFile.AssignFileW MESS: CreateFileW fail"), std::string::npos);
  EXPECT_NE(lines[1].find("XFile.WriteLnW MESS: Invalid handle"), std::string::npos);
}

}  // namespace
}  // namespace vx
