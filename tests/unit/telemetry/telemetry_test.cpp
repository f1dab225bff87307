#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "common/archive.h"
#include "common/ini_file.h"
#include "common/logger.h"
#include "common/params.h"
#include "common/service_endpoints.h"
#include "common/settings.h"
#include "common/text.h"
#include "engine/scan_snapshot.h"
#include "platform/http.h"
#include "platform/http_upload.h"
#include "platform/platform.h"
#include "platform/smtp.h"
#include "support/child_process.h"
#include "support/test_files.h"
#include "support/test_machine.h"
#include "telemetry/events.h"
#include "telemetry/problem_report.h"
#include "telemetry/service_client.h"
#include "telemetry/snapshot_upload.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::ReadAll;
using test::WriteAll;



// A 127.0.0.1 port with nothing listening: every request there is refused.
std::string DeadHost() { return "127.0.0.1:9"; }


// Pure pieces: no service needed.

TEST(MultipartBody, CarriesFieldsAndFilesWithSafeNames) {
  platform::MultipartPost post;
  post.fields.push_back({"kind", "snapshot"});
  post.files.push_back({"snapshot_file", "Snap\"shot\r\n.ini", "text/plain", "[Settings]\r\n"});
  std::string boundary = platform::MultipartBoundary(post);
  std::string body = platform::BuildMultipartBody(post, boundary);
  EXPECT_EQ(body,
            "--" + boundary + "\r\nContent-Disposition: form-data; name=\"kind\"\r\n\r\nsnapshot\r\n" +
                "--" + boundary +
                "\r\nContent-Disposition: form-data; name=\"snapshot_file\"; "
                "filename=\"Snap_shot__.ini\"\r\nContent-Type: text/plain\r\n\r\n[Settings]\r\n\r\n" +
                "--" + boundary + "--\r\n");
  // A file that happens to contain a boundary gets another one.
  post.files[0].data = "--" + boundary;
  EXPECT_NE(platform::MultipartBoundary(post), boundary);
}

TEST(SmtpText, DotStuffsAndRefusesUnsafeAddresses) {
  EXPECT_EQ(platform::SmtpDotStuff(".a\r\nb\r\n..c"), "..a\r\nb\r\n...c\r\n");
  EXPECT_TRUE(platform::SmtpAddressUsable("a.b@example.invalid"));
  for (const char* bad : {"", "a b@x.y", "a@x.y>\r\nRCPT TO:<c@d.e", "<a@b.c>", "a\"@b.c"})
    EXPECT_FALSE(platform::SmtpAddressUsable(bad)) << bad;
  // A whole mail: each field that would break a command is refused, on
  // both backends alike.
  platform::SmtpMail ok;
  ok.host = "mail.example.invalid";
  ok.user = "acct";
  ok.password = "pw";
  ok.from = "a@b.c";
  ok.to = {"d@e.f"};
  EXPECT_TRUE(platform::SmtpMailUsable(ok));
  auto bad_mail = [&](auto change) {
    platform::SmtpMail m = ok;
    change(m);
    return !platform::SmtpMailUsable(m);
  };
  EXPECT_TRUE(bad_mail([](auto& m) { m.host = ""; }));
  EXPECT_TRUE(bad_mail([](auto& m) { m.host = "h/x"; }));
  EXPECT_TRUE(bad_mail([](auto& m) { m.to.clear(); }));
  EXPECT_TRUE(bad_mail([](auto& m) { m.to.push_back("x y@z"); }));
  EXPECT_TRUE(bad_mail([](auto& m) { m.user = "acct\r\nRSET"; }));
  EXPECT_TRUE(bad_mail([](auto& m) { m.password = "pw\n"; }));
  EXPECT_EQ(Base64Encode("user"), "dXNlcg==");
  EXPECT_EQ(Base64Encode("ab"), "YWI=");
  EXPECT_EQ(Base64Encode("abc"), "YWJj");
}

TEST(ProblemReportCheck, FollowsTheFormsOrderAndRefusesNineCharacters) {
  struct Case {
    ProblemReport report;
    ReportCheck check;
  } cases[] = {
      {{"", "a@b.c", "d", "long enough comment"}, ReportCheck::kNoName},
      {{"Ann", " ", "d", "long enough comment"}, ReportCheck::kNoEmail},
      {{"Ann", "ab.c", "d", "long enough comment"}, ReportCheck::kBadEmail},
      {{"Ann", "a@bc", "d", "long enough comment"}, ReportCheck::kBadEmail},
      {{"Ann", "a@b.c>\r\nX", "d", "long enough comment"}, ReportCheck::kBadEmail},
      {{"Ann", "a@b.c", "d", "   "}, ReportCheck::kNoComment},
      {{"Ann", "a@b.c", "d", " 123456789 "}, ReportCheck::kShortComment},
      {{"Ann", "a@b.c", "d", "1234567890"}, ReportCheck::kOk},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CheckProblemReport(c.report), c.check) << c.report.email << "|" << c.report.comment;
  EXPECT_EQ(JoinCommentLines({" line one", "", "two "}), "line one  two");
}

TEST(ProblemReportMail, SubjectAndHeadersAreBuiltAsAgreed) {
  ReportFacts facts{0, "acme", "10", 64};
  EXPECT_EQ(ReportSubject(facts, "Intel(R) Audio\r\nBcc: x"), "Vantrix acme 10_64: Intel(R) Audio  Bcc: x");
  ProblemReport r{"Ann \"A\" Lee", "ann@example.invalid", "d", "<b>bold</b> & more", false};
  ReportMail m = BuildReportMail(r, "Subj", "support@example.invalid", "acct@example.invalid",
                                 nullptr, "seed1");
  EXPECT_EQ(m.envelope_from, "acct@example.invalid");
  EXPECT_EQ(m.recipients, std::vector<std::string>{"support@example.invalid"});
  EXPECT_NE(m.text.find("From: \"Ann \\\"A\\\" Lee\" <ann@example.invalid>\r\n"), std::string::npos);
  EXPECT_NE(m.text.find("Subject: Subj\r\n"), std::string::npos);
  EXPECT_NE(m.text.find("Content-Type: text/html; charset=utf-8\r\n"), std::string::npos);
  EXPECT_NE(ReplaceAll(m.text, "\r\n", "").find(Base64Encode("<html><body><p>&lt;b&gt;bold&lt;/b&gt; &amp; more</p></body></html>")),
            std::string::npos);
}

// Against the local service and its mail sink (see test::LocalService;
// without one these tests are skipped).
class TelemetryTest : public test::MachineFixture {
 protected:
  static void SetUpTestSuite() {
    service_ = std::make_unique<test::LocalService>();
    ASSERT_TRUE(service_->Start());
    record_ = service_->record();
    http_ = service_->http();
    smtp_ = service_->smtp();
  }
  static void TearDownTestSuite() { service_.reset(); }

  void SetUp() override {
    if (http_.empty()) GTEST_SKIP() << "no local service (VX_TEST_SERVICE_DIR)";
    test::MachineFixture::SetUp();
    base_ = machine_dir() / "data";
    fs::create_directories(base_);
    InitParams("Vantrix", base_, machine_dir() / "downloads", false);
    StartLog(base_);
    SetLogZipFunction(&ZipFile);
    for (const char* name : {"ExtraStat", "InstallStat", "BuildID", "UpgradeID"})
      RegRemoveValue(kSettingsRoot, kSettingsKey, name);
    UseService(http_, smtp_);
    ResetEventState();
    ResetUsageSnapshotState();
    SetStartParameter(kStartParameter);
    SetHiddenLinkOpener({});
    before_ = RecordNames();
  }

  void TearDown() override {
    if (http_.empty()) return;
    WaitForSnapshotUploads(std::chrono::seconds(20));
    SetTelemetryTargets(std::nullopt);
    StopLog();
    test::MachineFixture::TearDown();
  }

  static void UseService(const std::string& http, const std::string& smtp) {
    TelemetryTargets t;
    t.hosts = {http, http, smtp.empty() ? DeadHost() : smtp, http};
    t.build = {"acme", "support@example.invalid", "reports@example.invalid", "Ab12Cd34"};
    t.timeout_ms = 10000;
    SetTelemetryTargets(t);
  }

  static std::set<std::string> RecordNames() {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(record_, ec)) {
      std::string n = e.path().filename().string();
      if (!n.empty() && n[0] != '.') names.insert(n);
    }
    return names;
  }

  // Files recorded since the test began, in order, whose names end in suffix.
  std::vector<fs::path> NewRecords(std::string_view suffix) const {
    std::vector<fs::path> out;
    for (const std::string& n : RecordNames())
      if (!before_.count(n) && n.size() >= suffix.size() &&
          n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0)
        out.push_back(record_ / n);
    return out;
  }

  // Request lines of the GETs recorded since the test began.
  std::vector<std::string> NewRequests() const {
    std::vector<std::string> lines;
    for (const fs::path& p : NewRecords(".txt")) {
      std::string text = ReadAll(p);
      lines.push_back(text.substr(0, text.find(' ', text.find(' ') + 1)));
    }
    return lines;
  }

  // The machine speaks another language from now on.
  void MakeNonEnglish() {
#ifndef _WIN32
    platform::Detach();
    fs::path ini = machine_dir() / "machine" / "machine.ini";
    WriteAll(ini, ReplaceAll(ReadAll(ini), "LanguageName=English (United States)",
                             "LanguageName=Deutsch (Deutschland)"));
    std::string error;
    ASSERT_TRUE(platform::Attach(machine_dir() / "machine", error)) << error;
#endif
  }

  static UsageSnapshot Snapshot(bool with_record) {
    UsageSnapshot s;
    RunningWindows w{10, true};
    s.Begin("2024-05-06", "4.0.1", "05-07-2024", w);
    if (with_record) {
      TDriverItem c;
      c.version = "2.0";
      c.vendor = "REALTEK";
      c.date = 45000;
      c.hardware_id = "PCI\\\\VEN_10EC&DEV_8168";
      c.device_description = "Realtek PCIe GbE";
      c.file_name = "rtl.zip";
      s.AddCandidates({c}, "2.0", "REALTEK", 44000);  // same version, other day: "date"
    }
    return s;
  }

  static inline std::unique_ptr<test::LocalService> service_;
  static inline fs::path record_;
  static inline std::string http_;
  static inline std::string smtp_;
  fs::path base_;
  std::set<std::string> before_;
};

const std::string kEventA = "GET /rpc/sendinstall?partner=acme-";

TEST_F(TelemetryTest, EventsNeedTheStartParameter) {
  SetStartParameter("");
  EXPECT_EQ(SendEvent(kEventStarted), EventResult::kSkipped);
  EXPECT_EQ(SendEvent(kEventScanStarted), EventResult::kSkipped);
  EXPECT_TRUE(NewRequests().empty());
  EXPECT_FALSE(RegReadBool(kSettingsRoot, kSettingsKey, "ExtraStat"));

  SetStartParameter("/start");  // the command line's case does not matter
  EXPECT_EQ(SendEvent(kEventStarted), EventResult::kSent);
  EXPECT_EQ(SendEvent(kEventStarted), EventResult::kSkipped);  // once per run
  EXPECT_EQ(NewRequests(), std::vector<std::string>{kEventA + "1-started&build=4.0"});
}

TEST_F(TelemetryTest, ExtraStatAllowsOneOtherEventPerInstallation) {
  // First run: the first non-start event goes out twice (browser and direct).
  EXPECT_EQ(SendEvent(kEventStarted), EventResult::kSent);
  EXPECT_EQ(SendEvent(kEventUpdateStarted), EventResult::kSent);
  EXPECT_TRUE(RegReadBool(kSettingsRoot, kSettingsKey, "ExtraStat"));
  EXPECT_EQ(SendEvent(kEventUpdateSuccess), EventResult::kSkipped);  // switches events off
  EXPECT_EQ(SendEvent(kEventScanStarted), EventResult::kSkipped);
  EXPECT_EQ(NewRequests(), (std::vector<std::string>{
                               kEventA + "1-started&build=4.0",
                               kEventA + "2-update-started&build=4.0",
                               kEventA + "2-update-started-direct&build=4.0"}));
  // A later run reports "1-started" only; its first other event ends events.
  ResetEventState();
  before_ = RecordNames();
  EXPECT_EQ(SendEvent(kEventStarted), EventResult::kSent);
  EXPECT_EQ(SendEvent(kEventScanStarted), EventResult::kSkipped);
  ResetEventState();
  EXPECT_EQ(SendEvent(kEventScanFound), EventResult::kSkipped);
  EXPECT_EQ(SendEvent(kEventStarted), EventResult::kSkipped);
  EXPECT_EQ(NewRequests(), std::vector<std::string>{kEventA + "1-started&build=4.0"});
}

TEST_F(TelemetryTest, TheBrowserHookOpensRequestA) {
  std::vector<std::string> opened;
  SetHiddenLinkOpener([&](std::string_view host, std::string_view path) {
    opened.push_back(ServiceUrl(host, path));
    return false;
  });
  EXPECT_EQ(SendEvent(kEventScanStarted), EventResult::kFailed);
  EXPECT_EQ(opened, std::vector<std::string>{"http://" + http_ +
                                             "/rpc/sendinstall?partner=acme-5-scan-started&build=4.0"});
  // Only the direct request reached the service.
  EXPECT_EQ(NewRequests(), std::vector<std::string>{kEventA + "5-scan-started-direct&build=4.0"});
}

TEST_F(TelemetryTest, InstallStatIsSentOnceWithThePartnerIdentifier) {
  struct Case {
    const char* build_id;
    const char* upgrade_id;
    const char* sent;
  } cases[] = {
      {"B1", "U1", "B1"},
      {nullptr, "U 2&x", "U%202%26x"},
      {nullptr, nullptr, "Unknown"},
  };
  for (const auto& c : cases) {
    RegRemoveValue(kSettingsRoot, kSettingsKey, "InstallStat");
    RegRemoveValue(kSettingsRoot, kSettingsKey, "BuildID");
    RegRemoveValue(kSettingsRoot, kSettingsKey, "UpgradeID");
    if (c.build_id) RegWriteString(kSettingsRoot, kSettingsKey, "BuildID", c.build_id);
    if (c.upgrade_id) RegWriteString(kSettingsRoot, kSettingsKey, "UpgradeID", c.upgrade_id);
    before_ = RecordNames();
    EXPECT_EQ(SendInstallStat(true, kProgramKindMain), InstallStatResult::kSent);
    EXPECT_EQ(SendInstallStat(true, kProgramKindMain), InstallStatResult::kSkipped);
    EXPECT_TRUE(RegReadBool(kSettingsRoot, kSettingsKey, "InstallStat"));
    EXPECT_EQ(NewRequests(), std::vector<std::string>{std::string("GET /rpc/sendinstall?partner=") +
                                                      c.sent + "&build=4.0"});
  }
  EXPECT_EQ(SendInstallStat(true, 7), InstallStatResult::kInvalid);
}

#ifndef _WIN32
TEST_F(TelemetryTest, InstallStatWaitsForAConnection) {
  ASSERT_EQ(platform::HttpService().SetConnectedState(platform::ConnectedState::kDisconnectedByUser), 0u);
  EXPECT_EQ(SendInstallStat(true, kProgramKindMain), InstallStatResult::kSkipped);
  EXPECT_FALSE(RegReadBool(kSettingsRoot, kSettingsKey, "InstallStat"));
  EXPECT_TRUE(NewRequests().empty());
}
#endif

TEST_F(TelemetryTest, SnapshotWithRecordsIsWrittenMarkedAndUploaded) {
  if (!UsageSnapshotActive()) GTEST_SKIP() << "the interface language is not English";
  ASSERT_TRUE(HandleUsageSnapshot(Snapshot(true)));
  EXPECT_FALSE(IsLogCreated());  // the snapshot ends the log
  ASSERT_TRUE(WaitForSnapshotUploads(std::chrono::seconds(20)));
  EXPECT_TRUE(fs::exists(base_ / "snapshot_send"));
  IniFile ini;
  ASSERT_TRUE(ini.LoadFromFile(base_ / "Snapshot.ini"));
  EXPECT_EQ(ini.ReadString("Settings", "Base", ""), "2024-05-06");
  EXPECT_EQ(ini.ReadString("1", "request_type", ""), "date");
  EXPECT_EQ(ini.ReadString("1", "created", ""), "program");

  auto uploads = NewRecords("-POST-_rpc_sendsnapshot.txt");
  ASSERT_EQ(uploads.size(), 1u);
  std::string request = ReadAll(uploads[0]);
  EXPECT_NE(request.find("Content-Type: multipart/form-data; boundary="), std::string::npos);
  EXPECT_NE(request.find("Part: name=snapshot_file filename=Snapshot.ini content_type=text/plain"),
            std::string::npos);
  auto parts = NewRecords("-snapshot_file-Snapshot.ini");
  ASSERT_EQ(parts.size(), 1u);
  EXPECT_EQ(ReadAll(parts[0]), ReadAll(base_ / "Snapshot.ini"));
  // Handled: a second scan of the run, and later runs, leave it alone.
  StartLog(base_);
  ResetUsageSnapshotState();
  EXPECT_FALSE(UsageSnapshotActive());
}

TEST_F(TelemetryTest, SnapshotWithoutRecordsOnlyMarks) {
  if (!UsageSnapshotActive()) GTEST_SKIP() << "the interface language is not English";
  ASSERT_TRUE(HandleUsageSnapshot(Snapshot(false)));
  ASSERT_TRUE(WaitForSnapshotUploads(std::chrono::seconds(20)));
  EXPECT_TRUE(fs::exists(base_ / "snapshot_send"));
  EXPECT_FALSE(fs::exists(base_ / "Snapshot.ini"));
  // Never attempted again, not even with records.
  ResetUsageSnapshotState();
  ASSERT_TRUE(HandleUsageSnapshot(Snapshot(true)));
  ASSERT_TRUE(WaitForSnapshotUploads(std::chrono::seconds(20)));
  EXPECT_FALSE(fs::exists(base_ / "Snapshot.ini"));
  EXPECT_TRUE(NewRequests().empty());
}

#ifndef _WIN32
TEST_F(TelemetryTest, NonEnglishInterfaceWritesNoSnapshotFiles) {
  MakeNonEnglish();
  EXPECT_FALSE(UsageSnapshotActive());
  ASSERT_TRUE(HandleUsageSnapshot(Snapshot(true)));
  EXPECT_FALSE(fs::exists(base_ / "snapshot_send"));
  EXPECT_FALSE(fs::exists(base_ / "Snapshot.ini"));
  EXPECT_TRUE(IsLogCreated());
  // Decided once per run: switching to English later in the run changes nothing.
  platform::Detach();
  std::string error;
  fs::path ini = machine_dir() / "machine" / "machine.ini";
  WriteAll(ini, ReplaceAll(ReadAll(ini), "Deutsch (Deutschland)", "English (United States)"));
  ASSERT_TRUE(platform::Attach(machine_dir() / "machine", error)) << error;
  EXPECT_FALSE(UsageSnapshotActive());
}
#endif

TEST_F(TelemetryTest, ProblemReportArrivesWithSubjectAndValidZip) {
  if (smtp_.empty()) GTEST_SKIP() << "no mail sink";
  WriteAll(base_ / "PCInfo.ini", "[General]\r\nWinVersion=81\r\nProcArch=32\r\n");
  WriteAll(base_ / "Devices.ini", "[Device1]\r\nDeviceDesc=Test\r\n");
  ProblemReport r{"Ann Lee", "ann@example.invalid", "Realtek Audio",
                  JoinCommentLines({"The driver", "breaks my sound."}), true};
  ReportOutcome out = SendProblemReport(r);
  ASSERT_EQ(out.status, ReportStatus::kSent) << out.error;
  EXPECT_TRUE(out.attached);

  auto mails = NewRecords("-mail.eml");
  ASSERT_EQ(mails.size(), 1u);
  std::string eml = ReadAll(mails[0]);
  EXPECT_NE(eml.find("X-Envelope-From: reports@example.invalid\r\n"), std::string::npos);
  EXPECT_NE(eml.find("X-Envelope-To: support@example.invalid\r\n"), std::string::npos);
  EXPECT_NE(eml.find("X-Auth-User: reports@example.invalid\r\n"), std::string::npos);
  EXPECT_NE(eml.find("From: \"Ann Lee\" <ann@example.invalid>\r\n"), std::string::npos);
  EXPECT_NE(eml.find("To: <support@example.invalid>\r\n"), std::string::npos);
  // The test program's own date leads; the rest is fixed.
  auto subject_at = eml.find("Subject: Vantrix ");
  ASSERT_NE(subject_at, std::string::npos);
  std::string subject = eml.substr(subject_at, eml.find("\r\n", subject_at) - subject_at);
  EXPECT_NE(subject.find(" acme 81_32: Realtek Audio"), std::string::npos) << subject;
  EXPECT_EQ(subject.substr(subject.size() - 26), " acme 81_32: Realtek Audio");
  EXPECT_NE(eml.find("Content-Type: multipart/mixed; boundary="), std::string::npos);
  EXPECT_NE(eml.find("Content-Type: text/html; charset=utf-8"), std::string::npos);
  EXPECT_NE(ReplaceAll(eml, "\r\n", "").find(Base64Encode("<html><body><p>The driver breaks my sound.</p></body></html>")),
            std::string::npos);

  // The attachment decodes to the ZIP that was packed, and that unpacks.
  auto at = eml.find("Content-Disposition: attachment; filename=\"report.zip\"\r\n\r\n");
  ASSERT_NE(at, std::string::npos);
  at = eml.find("\r\n\r\n", at) + 4;
  std::string b64 = ReplaceAll(eml.substr(at, eml.find("--", at) - at), "\r\n", "");
  std::string zip = ReadAll(base_ / "report.zip");
  ASSERT_FALSE(zip.empty());
  EXPECT_EQ(b64, Base64Encode(zip));
  EXPECT_EQ(zip.substr(0, 4), std::string("PK\x03\x04", 4));
  test::TempDir unpacked;
  fs::path copy = unpacked.path() / "got.zip";
  WriteAll(copy, zip);
  ASSERT_TRUE(UnZipFile(copy, unpacked.path() / "out"));
  EXPECT_TRUE(fs::exists(unpacked.path() / "out" / "Devices.ini"));
  EXPECT_TRUE(fs::exists(unpacked.path() / "out" / "PCInfo.ini"));
}

TEST_F(TelemetryTest, ProblemReportRefusesANineCharacterComment) {
  ProblemReport r{"Ann", "ann@example.invalid", "d", "123456789", false};
  ReportOutcome out = SendProblemReport(r);
  EXPECT_EQ(out.status, ReportStatus::kInvalid);
  EXPECT_EQ(out.check, ReportCheck::kShortComment);
  EXPECT_TRUE(NewRecords("-mail.eml").empty());
}

TEST_F(TelemetryTest, DeadServiceFailsPromptlyAndKeepsOneTimeFlags) {
  UseService(DeadHost(), DeadHost());
  // Nothing listens there: every call comes back at once with its failure.
  EXPECT_EQ(SendEvent(kEventStarted), EventResult::kFailed);
  EXPECT_EQ(SendEvent(kEventScanStarted), EventResult::kFailed);
  EXPECT_EQ(SendInstallStat(true, kProgramKindMain), InstallStatResult::kFailed);
  EXPECT_FALSE(RegReadBool(kSettingsRoot, kSettingsKey, "InstallStat"));
  // "ExtraStat" is set before the event goes out, by design.
  EXPECT_TRUE(RegReadBool(kSettingsRoot, kSettingsKey, "ExtraStat"));
  ProblemReport r{"Ann", "ann@example.invalid", "d", "long enough comment", false};
  ReportOutcome out = SendProblemReport(r);
  EXPECT_EQ(out.status, ReportStatus::kFailed);
  EXPECT_FALSE(out.error.empty());
  if (UsageSnapshotActive()) {
    ASSERT_TRUE(HandleUsageSnapshot(Snapshot(true)));
    EXPECT_TRUE(WaitForSnapshotUploads(std::chrono::seconds(20)));
    EXPECT_TRUE(fs::exists(base_ / "snapshot_send"));
  }
}

}  // namespace
}  // namespace vx
