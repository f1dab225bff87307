// vantrix report in this process, against the local mail sink: sent,
// failed (a dead mail host) and refused (a nine-character comment).
#include "app/console/report_command.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "app/console/console_options.h"
#include "common/logger.h"
#include "common/params.h"
#include "common/text.h"
#include "support/child_process.h"
#include "support/test_files.h"
#include "support/test_machine.h"
#include "telemetry/problem_report.h"
#include "telemetry/service_client.h"

namespace vx::console {
namespace {
namespace fs = std::filesystem;
using test::ReadAll;

int CountMails(const fs::path& record) {
  int n = 0;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(record, ec))
    if (PathUtf8(e.path().filename()).find("-mail.eml") != std::string::npos) ++n;
  return n;
}

// Against the local service's mail sink (see test::LocalService).
class ReportCommandTest : public test::MachineFixture {
 protected:
  static void SetUpTestSuite() {
    service_ = std::make_unique<test::LocalService>();
    ASSERT_TRUE(service_->Start());
    record_ = service_->record();
    smtp_ = service_->smtp();
  }
  static void TearDownTestSuite() { service_.reset(); }

  void SetUp() override {
    if (smtp_.empty()) GTEST_SKIP() << "no local mail sink (VX_TEST_SERVICE_DIR)";
    test::MachineFixture::SetUp();
#ifndef _WIN32
    context_.machine_dir = machine_dir() / "machine";
#endif
    context_.out = &out_;
    context_.err = &err_;
    // The engine runs already, as in a program that reports after a scan;
    // the command starts it once more.
    std::string error;
    ASSERT_TRUE(StartEngine(context_, error)) << error;
    // On Windows BaseDir is the host's own: a device list there stays as it is.
    std::error_code ec;
    wrote_devices_ = !fs::exists(Params().base_dir / "Devices.ini", ec);
    if (wrote_devices_)
      std::ofstream(Params().base_dir / "Devices.ini", std::ios::binary)
          << "[Device1]\r\nDeviceDesc=Realtek Audio\r\n";
  }

  void TearDown() override {
    if (smtp_.empty()) return;
    SetTelemetryTargets(std::nullopt);
    std::error_code ec;
    fs::remove(Params().base_dir / kReportArchiveName, ec);
    if (wrote_devices_) fs::remove(Params().base_dir / "Devices.ini", ec);
    StopLog();
    test::MachineFixture::TearDown();
  }

  static void UseMailHost(const std::string& mail) {
    TelemetryTargets t;
    t.hosts = {"127.0.0.1:9", "127.0.0.1:9", mail, "127.0.0.1:9"};
    t.build = {"acme", "support@example.invalid", "reports@example.invalid", "Ab12Cd34"};
    t.timeout_ms = 10000;
    SetTelemetryTargets(t);
  }

  static inline std::unique_ptr<test::LocalService> service_;
  static inline fs::path record_;
  static inline std::string smtp_;
  ConsoleContext context_;
  std::ostringstream out_, err_;
  bool wrote_devices_ = false;
};

TEST_F(ReportCommandTest, SentFailedAndRefused) {
  const std::string kThanks(kReportSentText);
  struct Case {
    const char* what;
    bool dead_mail_host;
    std::vector<std::string> args;
    int exit_code;
    bool thanks;
    const char* message;  // expected on err
    int mails;            // new mails at the sink
  } cases[] = {
      {"sent", false,
       {"--name", "Ann Lee", "--email", "ann@example.invalid", "--driver", "Realtek Audio",
        "--comment", "The sound stops after a minute.", "--attach-diagnostics"},
       kExitOk, true, "", 1},
      {"dead mail host", true,
       {"--name", "Ann Lee", "--email", "ann@example.invalid", "--driver", "Realtek Audio",
        "--comment", "The sound stops after a minute."},
       kExitFailure, false, "vantrix report: the report was not sent: ", 0},
      {"nine characters", false,
       {"--name", "Ann Lee", "--email", "ann@example.invalid", "--driver", "Realtek Audio",
        "--comment", " 123456789 "},
       kExitUsage, false, "vantrix report: ", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UseMailHost(c.dead_mail_host ? "127.0.0.1:9" : smtp_);
    out_.str("");
    err_.str("");
    const int before = CountMails(record_);
    EXPECT_EQ(ReportCommand(context_, c.args), c.exit_code) << err_.str();
    EXPECT_EQ(out_.str().find(kThanks) != std::string::npos, c.thanks) << out_.str();
    EXPECT_NE(err_.str().find(c.message), std::string::npos) << err_.str();
    EXPECT_EQ(CountMails(record_) - before, c.mails);
  }
  // The mail that went out carries the diagnostics of BaseDir.
  std::string eml;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(record_, ec))
    if (PathUtf8(e.path().filename()).find("-mail.eml") != std::string::npos)
      eml = ReadAll(e.path());
  EXPECT_NE(eml.find("Subject: Vantrix "), std::string::npos);
  EXPECT_NE(eml.find(" acme "), std::string::npos);
  EXPECT_NE(eml.find("filename=\"report.zip\""), std::string::npos);
}

}  // namespace
}  // namespace vx::console
