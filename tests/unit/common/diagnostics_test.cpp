// The event log's diagnostic archives written through the ZIP writer of
// the archive helpers.
#include <fstream>
#include <set>

#include "common/archive.h"
#include "common/logger.h"
#include "common/text.h"
#include "support/test_machine.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& p, const std::string& text = "x") { std::ofstream(p, std::ios::binary) << text; }

std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.insert(PathUtf8(e.path().filename()));
  return out;
}

class DiagnosticZipTest : public test::MachineFixture {
 protected:
  void SetUp() override {
    MachineFixture::SetUp();
    SetLogZipFunction(&ZipFile);
  }
  void TearDown() override {
    SetLogZipFunction(nullptr);
    MachineFixture::TearDown();
  }
  test::TempDir tmp_;
};

TEST_F(DiagnosticZipTest, PacksOnlyTheDiagnosticFiles) {
  fs::path dir = tmp_.path();
  for (const char* f : {"Devices.ini", "Scan.ini", "program.log", "a.dul", "B.DUL", "other.txt", "Drivers64.db"})
    Touch(dir / f, f);
  fs::path zip = ZipDiagnosticFiles(dir, "diag.zip");
  ASSERT_EQ(zip, dir / "diag.zip");
  fs::path out = dir / "out";
  ASSERT_TRUE(UnZipFile(zip, out));
  EXPECT_EQ(Names(out), (std::set<std::string>{"Devices.ini", "Scan.ini", "program.log", "a.dul", "B.DUL"}));
}

TEST_F(DiagnosticZipTest, NothingToPackGivesAnEmptyPath) {
  EXPECT_TRUE(ZipDiagnosticFiles(tmp_.path(), "diag.zip").empty());
  EXPECT_FALSE(fs::exists(tmp_.path() / "diag.zip"));
}

}  // namespace
}  // namespace vx
