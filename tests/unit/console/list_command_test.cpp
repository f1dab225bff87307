// vantrix list / history over hand-written package files in the machine's
// BaseDir.
#include "app/console/list_command.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "app/console/console_options.h"
#include "common/logger.h"
#include "common/params.h"
#include "engine/package_status.h"
#include "support/test_machine.h"

namespace vx::console {
namespace {
namespace fs = std::filesystem;

void WriteFile(const fs::path& path, std::string_view text) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::string Pre(std::string_view file, std::string_view name, std::string_view class_name,
                std::string_view vendor) {
  std::string t = "[Settings]\r\nGenerated=45000\r\n\r\n[1-scan]\r\n";
  t += "DeviceName=" + std::string(name) + "\r\nFName=" + std::string(file) + "\r\n";
  t += "Date1=01-02-2019\r\nDate2=06-30-2022\r\nVendor=" + std::string(vendor) + "\r\n";
  t += "Version1=1.0\r\nVersion2=2.0\r\nClassName=" + std::string(class_name) + "\r\n";
  t += "IsConnected=1\r\nGroup=G\r\n\r\n";
  return t;
}

class ListCommandTest : public test::MachineFixture {
 protected:
  void SetUp() override {
    test::MachineFixture::SetUp();
#ifndef _WIN32
    context_.machine_dir = machine_dir() / "machine";  // where the fixture made the machine
#endif
    context_.out = &out_;
    context_.err = &err_;
    std::string error;
    ASSERT_TRUE(StartEngine(context_, error)) << error;
    const fs::path base = Params().base_dir;
    WriteFile(PackagePrePath(base, "audio.exe"),
              Pre("1_audio.exe", "Realtek High Definition Audio", "MEDIA", "Realtek"));
    WriteFile(PackageStatusPath(base, "audio.exe"), "[Settings]\r\nStatus=None\r\nPresent=1\r\n");
    WriteFile(PackagePrePath(base, "net.exe"),
              Pre("2_net.exe", "Realtek PCIe GbE Family Controller", "Net", "Realtek"));
    WriteFile(PackageStatusPath(base, "net.exe"), "[Settings]\r\nStatus=None\r\nPresent=1\r\n");
    WriteFile(PackagePrePath(base, "old.exe"),
              Pre("3_old.exe", "Intel(R) Management Engine Interface", "System", "INTEL"));
    WriteFile(PackageStatusPath(base, "old.exe"),
              "[Settings]\r\nStatus=Installed\r\nPresent=0\r\nDownloaded=44900\r\n");
    WriteFile(Params().download_dir / "old.exe", "package bytes");
  }
  void TearDown() override {
    // On Windows BaseDir is the host's own: leave nothing behind there.
    std::error_code ec;
    for (const char* package : {"audio.exe", "net.exe", "old.exe"}) {
      fs::remove(PackagePrePath(Params().base_dir, package), ec);
      fs::remove(PackageStatusPath(Params().base_dir, package), ec);
    }
    fs::remove(Params().download_dir / "old.exe", ec);
    StopLog();
    test::MachineFixture::TearDown();
  }

  ConsoleContext context_;
  std::ostringstream out_, err_;
};

TEST_F(ListCommandTest, ListShowsOfferedPackagesInPageOrder) {
  ASSERT_EQ(ListCommand(context_, {}), kExitOk) << err_.str();
  const std::string text = out_.str();
  const size_t audio = text.find("Realtek - High Definition Audio");
  const size_t net = text.find("Realtek - PCIe GbE Family Controller");
  ASSERT_NE(audio, std::string::npos) << text;
  ASSERT_NE(net, std::string::npos) << text;
  EXPECT_LT(audio, net) << text;  // the audio class sorts above other classes on the page
  EXPECT_EQ(text.find("Management Engine"), std::string::npos) << text;
  EXPECT_NE(text.find("version: 2.0"), std::string::npos) << text;
  EXPECT_NE(text.find("state: new"), std::string::npos) << text;
  EXPECT_NE(text.find("device: Realtek High Definition Audio"), std::string::npos) << text;
}

TEST_F(ListCommandTest, HistoryJsonCarriesTheEntryFieldsByName) {
  context_.json = true;
  ASSERT_EQ(HistoryCommand(context_, {}), kExitOk) << err_.str();
  const std::string json = out_.str();
  for (const char* field :
       {"\"Title\": \"Intel - Management Engine Interface\"", "\"FName\": \"3_old.exe\"",
        "\"PackageName\": \"old.exe\"", "\"State\": 3", "\"StateName\": \"installed\"",
        "\"Present\": false", "\"DownloadDay\": 44900", "\"FileSize\": 13", "\"SortKey\": 2349",
        "\"Devices\": [", "\"DeviceName\": \"Intel(R) Management Engine Interface\"",
        "\"IsConnected\": true", "\"Vendor\": \"Intel\"", "\"Version\": \"2.0\""}) {
    EXPECT_NE(json.find(field), std::string::npos) << field << "\n" << json;
  }
  EXPECT_EQ(json.find("audio.exe"), std::string::npos) << json;  // not downloaded
}

TEST_F(ListCommandTest, RejectsArguments) {
  EXPECT_EQ(ListCommand(context_, {"extra"}), kExitUsage);
  EXPECT_EQ(HistoryCommand(context_, {"--bogus"}), kExitUsage);
  EXPECT_NE(err_.str().find("usage: vantrix"), std::string::npos);
}

}  // namespace
}  // namespace vx::console
