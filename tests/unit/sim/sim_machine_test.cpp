// The simulated machine itself: its folder, its hive shared between
// processes, and its path mapping.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <future>

#include "platform/platform.h"
#include "platform/sim/folder_names.h"
#include "platform/sim/machine.h"
#include "platform/sim/reg_file.h"
#include "platform/sim/reg_import.h"
#include "support/test_machine.h"

namespace vx::sim {
namespace {

namespace fs = std::filesystem;

class SimMachineTest : public test::MachineFixture {
 protected:
  fs::path machine() const { return machine_dir() / "machine"; }
};

TEST_F(SimMachineTest, ConcurrentWritersLoseNothing) {
  const int kPerWriter = 300;
  std::string dir = "'" + machine().string() + "'";
  auto a = std::async(std::launch::async, [&] { return test::RunChild("hive-write " + dir + " a " + std::to_string(kPerWriter)); });
  auto b = std::async(std::launch::async, [&] { return test::RunChild("hive-write " + dir + " b " + std::to_string(kPerWriter)); });
  // This process writes too, through its own connection.
  for (int i = 0; i < kPerWriter; ++i)
    ASSERT_EQ(platform::WriteRegDword(platform::Reg(), platform::RegRoot::kCurrentUser,
                                      "Software\\VantrixTest\\Shared", "c" + std::to_string(i), i),
              0u);
  EXPECT_EQ(a.get(), 0);
  EXPECT_EQ(b.get(), 0);
  auto key = platform::Reg().OpenKey(platform::RegRoot::kCurrentUser, "Software\\VantrixTest\\Shared", false);
  ASSERT_TRUE(key);
  EXPECT_EQ((*key)->ValueNames()->size(), static_cast<size_t>(3 * kPerWriter));
}

TEST_F(SimMachineTest, SampleFactsAndFolders) {
  auto& sys = platform::Sys();
  EXPECT_EQ(sys.Version().major, 10u);
  EXPECT_TRUE(sys.IsWindows64());
  EXPECT_EQ(sys.WindowsPath(sys.Folder(platform::KnownFolder::kAppData)),
            "C:\\Users\\Alex\\AppData\\Roaming");
  EXPECT_TRUE(fs::is_directory(sys.Folder(platform::KnownFolder::kDocuments)));
  EXPECT_EQ(*sys.DosDeviceName("c:"), "\\Device\\HarddiskVolume3");
  EXPECT_EQ(sys.DosDeviceName("Q:").error(), kErrorFileNotFound);
  EXPECT_EQ(*platform::ReadRegString(platform::Reg(), platform::RegRoot::kLocalMachine,
                                     "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "CurrentBuild"),
            "19045");
  EXPECT_LT(sys.TickCount(), 60u * 60 * 1000);  // the machine was started just now
}

TEST_F(SimMachineTest, WindowsPathsMapOntoDriveCWhateverTheirCase) {
  auto& sys = platform::Sys();
  fs::path inf = sys.HostPath("C:\\Windows\\INF");
  ASSERT_TRUE(fs::is_directory(inf));
  EXPECT_EQ(sys.HostPath("c:/WINDOWS/inf/oem1.inf"), inf / "oem1.inf");
  EXPECT_EQ(sys.WindowsPath(inf / "oem1.inf"), "C:\\Windows\\INF\\oem1.inf");
  EXPECT_EQ(sys.HostPath("C:\\..\\..\\etc"), machine() / "drive_c" / "etc");  // never above the drive
}

// Listings are remembered between look-ups; a folder changed since, even
// within the same instant of its time stamp, must be listed again.
TEST_F(SimMachineTest, CaseInsensitiveLookUpSeesFolderChanges) {
  const fs::path dir = machine() / "drive_c" / "Windows" / "INF";
  auto touch = [](const fs::path& p) { std::ofstream(p) << "x"; };
  touch(dir / "VXT7.inf");
  // A folder last changed long ago: its listing is kept.
  fs::last_write_time(dir, fs::file_time_type::clock::now() - std::chrono::hours(1));
  FolderNames names;
  EXPECT_EQ(names.Find(dir, "vxt7.INF"), "VXT7.inf");
  EXPECT_EQ(names.Find(dir, "vxt8.inf"), std::nullopt);

  touch(dir / "Vxt8.INF");  // changes the folder's time stamp
  EXPECT_EQ(names.Find(dir, "vxt8.inf"), "Vxt8.INF");
  // Changes within the time stamp's granularity leave it as it was.
  const auto stamp = fs::last_write_time(dir);
  fs::remove(dir / "VXT7.inf");
  touch(dir / "vxt9.inf");
  fs::last_write_time(dir, stamp);
  EXPECT_EQ(names.Find(dir, "VXT7.INF"), std::nullopt);
  EXPECT_EQ(names.Find(dir, "VXT9.INF"), "vxt9.inf");
  EXPECT_EQ(names.Find(dir / "missing", "x"), std::nullopt);

  auto& sys = platform::Sys();
  EXPECT_EQ(sys.HostPath("C:\\WINDOWS\\inf\\VXT9.inf"), dir / "vxt9.inf");
  EXPECT_EQ(sys.HostPath("C:\\Windows\\INF\\.\\vxt9.inf"), dir / "vxt9.inf");
  EXPECT_EQ(sys.HostPath("C:\\Windows\\INF\\new.inf"), dir / "new.inf");
  touch(dir / "NEW.INF");
  EXPECT_EQ(sys.HostPath("C:\\Windows\\INF\\new.inf"), dir / "NEW.INF");
}

TEST_F(SimMachineTest, RegExportImportRoundTrip) {
  auto& reg = platform::Reg();
  const auto lm = platform::RegRoot::kLocalMachine;
  ASSERT_EQ(platform::WriteRegMultiString(reg, lm, "SOFTWARE\\Vx\\A", "Ids", {"X", "Y"}), 0u);
  ASSERT_EQ(platform::WriteRegDword(reg, lm, "SOFTWARE\\Vx\\A\\B", "N", 5), 0u);
  auto keys = ExportRegKeys(reg, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vx");
  ASSERT_TRUE(keys);
  std::string text = WriteRegFile(*keys);
  ASSERT_EQ(reg.DeleteTree(lm, "SOFTWARE\\Vx"), 0u);
  std::vector<RegFileKey> parsed;
  RegFileError err;
  ASSERT_TRUE(ParseRegFile(text, parsed, err)) << err.line << ": " << err.reason;
  ASSERT_EQ(ImportRegKeys(reg, parsed), 0u);
  EXPECT_EQ(*platform::ReadRegMultiString(reg, lm, "SOFTWARE\\Vx\\A", "Ids"),
            (std::vector<std::string>{"X", "Y"}));
  EXPECT_EQ(*platform::ReadRegDword(reg, lm, "SOFTWARE\\Vx\\A\\B", "N"), 5u);
}

TEST_F(SimMachineTest, FailedWritesAreReportedNotLost) {
  auto* m = CurrentMachine();
  m->hive().set_write_fault(kErrorDiskFull);
  EXPECT_EQ(platform::WriteRegDword(platform::Reg(), platform::RegRoot::kCurrentUser, "Software\\X", "v", 1),
            kErrorDiskFull);
  m->hive().set_write_fault(0);
  EXPECT_EQ(platform::WriteRegDword(platform::Reg(), platform::RegRoot::kCurrentUser, "Software\\X", "v", 1), 0u);
}

TEST_F(SimMachineTest, ReadBatchSeesOneMomentAndEndsCleanly) {
  using platform::RegRoot;
  auto& reg = platform::Reg();
  ASSERT_EQ(platform::WriteRegDword(reg, RegRoot::kCurrentUser, "Software\\Batch", "v", 1), 0u);
  // A second connection, as another process of the machine has.
  std::string error;
  auto other = Hive::Open(machine() / Machine::kHiveFile, false, error);
  ASSERT_TRUE(other) << error;
  {
    Hive::ReadBatch batch(CurrentMachine()->hive());
    Hive::ReadBatch nested(CurrentMachine()->hive());
    EXPECT_EQ(platform::ReadRegDword(reg, RegRoot::kCurrentUser, "Software\\Batch", "v").value_or(0), 1u);
    ASSERT_EQ(platform::WriteRegDword(*other, RegRoot::kCurrentUser, "Software\\Batch", "v", 2), 0u);
    // The batch's reads keep the moment of its first read.
    EXPECT_EQ(platform::ReadRegDword(reg, RegRoot::kCurrentUser, "Software\\Batch", "v").value_or(0), 1u);
  }
  EXPECT_EQ(platform::ReadRegDword(reg, RegRoot::kCurrentUser, "Software\\Batch", "v").value_or(0), 2u);
  // No transaction is left open: this connection writes again, and the
  // other one sees it.
  ASSERT_EQ(platform::WriteRegDword(reg, RegRoot::kCurrentUser, "Software\\Batch\\New", "w", 3), 0u);
  EXPECT_EQ(platform::ReadRegDword(*other, RegRoot::kCurrentUser, "Software\\Batch\\New", "w").value_or(0), 3u);
}

TEST(SimMachineOpen, BadFoldersGiveClearErrors) {
  test::TempDir tmp;
  std::string error;
  EXPECT_FALSE(Machine::Open(tmp.path() / "absent", error));
  EXPECT_NE(error.find("does not exist"), std::string::npos) << error;

  fs::create_directories(tmp.path() / "nofacts" / "drive_c");
  EXPECT_FALSE(Machine::Open(tmp.path() / "nofacts", error));
  EXPECT_NE(error.find("machine facts file"), std::string::npos) << error;

  ASSERT_TRUE(Machine::Create(tmp.path() / "m", fs::path(VX_DATA_DIR) / "machines" / "desktop-win10-x64", error)) << error;
  std::ofstream(tmp.path() / "m" / "registry.db", std::ios::trunc) << "this is no database at all, just text";
  EXPECT_FALSE(Machine::Open(tmp.path() / "m", error));
  EXPECT_NE(error.find("corrupt"), std::string::npos) << error;

  fs::remove(tmp.path() / "m" / "registry.db");
  EXPECT_FALSE(Machine::Open(tmp.path() / "m", error));
  EXPECT_NE(error.find("missing"), std::string::npos) << error;

  EXPECT_FALSE(Machine::Create(tmp.path() / "m2", tmp.path() / "no-sample", error));
  EXPECT_NE(error.find("sample machine"), std::string::npos) << error;
}

}  // namespace
}  // namespace vx::sim

