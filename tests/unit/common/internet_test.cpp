#include "common/internet.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/logger.h"
#include "common/service_endpoints.h"
#include "common/text.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "support/child_process.h"
#include "support/test_files.h"
#include "support/test_machine.h"

#ifndef _WIN32
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::Child;
using test::ReadAll;
using test::WaitForFile;
using test::WriteAll;


// The log lines written while it lives (the fixture starts a log).
class LogCapture {
 public:
  LogCapture() { BeginLogCapture(); }
  ~LogCapture() { Lines(); }
  const std::vector<std::string>& Lines() {
    if (!done_) {
      lines_ = EndLogCapture();
      done_ = true;
    }
    return lines_;
  }
  bool Has(std::string_view text) {
    for (const auto& l : Lines())
      if (l.find(text) != std::string::npos) return true;
    return false;
  }

 private:
  bool done_ = false;
  std::vector<std::string> lines_;
};

// ---- pure helpers (both platforms) -----------------------------------------

TEST(InternetText, DecodesByByteOrderMarkElseAnsi) {
  struct Case {
    std::string bytes;
    uint32_t cp;
    std::string text;
  } cases[] = {
      {"\xEF\xBB\xBFh\xC3\xA9", 1252, "h\xC3\xA9"},       // UTF-8 BOM
      {"\xFF\xFEh\0\xE9\0", 1252, "h\xC3\xA9"},           // UTF-16LE BOM
      {std::string("\xFE\xFF\0h\0\xE9", 6), 1252, "h\xC3\xA9"},  // UTF-16BE BOM
      {"caf\xE9 \x80", 1252, "caf\xC3\xA9 \xE2\x82\xAC"}, // ANSI 1252
      {"\xC3\xA9", 1252, "\xC3\x83\xC2\xA9"},             // valid UTF-8 but no BOM: ANSI
      {"\xC3\xA9", 65001, "\xC3\xA9"},
  };
  cases[1].bytes = std::string("\xFF\xFEh\0\xE9\0", 6);
  for (const auto& c : cases) EXPECT_EQ(DecodeInternetText(c.bytes, c.cp), c.text) << c.bytes;
}

TEST(InternetText, SplitsLinesLikeAStringList) {
  EXPECT_TRUE(SplitTextLines("").empty());
  EXPECT_EQ(SplitTextLines("a"), (std::vector<std::string>{"a"}));
  EXPECT_EQ(SplitTextLines("a\r\nb\nc\rd\r\n"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitTextLines("\r\n"), (std::vector<std::string>{""}));
}

TEST(ServiceEndpoints, BuildsEveryRequestPath) {
  EXPECT_EQ(DatabaseInfoPath(true, 10), "/rpc/getdatabasecxw?arch=64&os=10");
  EXPECT_EQ(DatabaseInfoPath(false, 81), "/rpc/getdatabasecxw?arch=32&os=81");
  EXPECT_EQ(LastUpdatePath(), "/rpc/getlastupdatecxw");
  EXPECT_EQ(PackageDownloadPath("12_pkg.zip"), "/downloads/12_pkg.zip");
  EXPECT_EQ(MilestonePath("acme", "scan", false), "/rpc/sendinstall?partner=acme-scan&build=4.0");
  EXPECT_EQ(MilestonePath("acme", "scan", true),
            "/rpc/sendinstall?partner=acme-scan-direct&build=4.0");
  EXPECT_EQ(InstallStatPath("id1"), "/rpc/sendinstall?partner=id1&build=4.0");
  EXPECT_EQ(UninstallPath("a b&c"), "/rpc/senduninstall?partner=a%20b%26c&build=4.0");
  EXPECT_EQ(ServiceRequests().size(), 11u);
}

TEST(ServiceEndpoints, OverrideFileReplacesOnlyTheHostsItNames) {
  test::TempDir dir;
  fs::path ini = dir.path() / "service.ini";
  WriteAll(ini, "[Hosts]\r\nService = 127.0.0.1:8080\r\nMail=localhost:2525\r\n");
  ServiceHosts built = BuiltInServiceHosts();
  ServiceHosts hosts = LoadServiceHosts(ini);
  EXPECT_EQ(hosts.For(HostRole::kService), "127.0.0.1:8080");
  EXPECT_EQ(hosts.For(HostRole::kMail), "localhost:2525");
  EXPECT_EQ(hosts.For(HostRole::kSnapshot), built.snapshot);
  EXPECT_EQ(hosts.For(HostRole::kCrashReport), built.crash_report);
  EXPECT_EQ(LoadServiceHosts(dir.path() / "missing.ini").service, built.service);

  std::string name;
  uint16_t port = 0;
  SplitHostPort("127.0.0.1:8080", 80, name, port);
  EXPECT_EQ(name, "127.0.0.1");
  EXPECT_EQ(port, 8080);
  SplitHostPort("example.invalid", 25, name, port);
  EXPECT_EQ(name, "example.invalid");
  EXPECT_EQ(port, 25);
}

// ---- transfers against the local service -----------------------------------
//
// Natively the tests start vantrix-service themselves. The Windows build
// cannot start the Linux service from inside Wine: there a ctest fixture
// starts it and names its folder (root/, record/, ports) in
// VX_TEST_SERVICE_DIR; without that variable these tests are skipped.

#ifndef _WIN32
uint16_t FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
  socklen_t len = sizeof(a);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}
#endif

class InternetTest : public test::MachineFixture {
 protected:
  static void SetUpTestSuite() {
    fs::path dir;
#ifdef _WIN32
    const char* env = std::getenv("VX_TEST_SERVICE_DIR");
    if (!env || !*env) return;
    dir = U8Path(env);
#else
    data_ = std::make_unique<test::TempDir>();
    dir = data_->path();
#endif
    fs::path root = dir / "root";
    big_ = std::string(300000, '\0');
    for (size_t i = 0; i < big_.size(); ++i) big_[i] = static_cast<char>((i * 131) ^ (i >> 7));
    WriteAll(root / "downloads" / "big.bin", big_);
    WriteAll(root / "downloads" / "a b.zip", "blank in the name");
    WriteAll(root / "downloads" / "empty.bin", "");
    WriteAll(root / "database" / "lastupdate.txt", "2024-05-06\n");
    WriteAll(root / "pages" / "ansi.txt", "caf\xE9\r\nsecond\r\n");
    record_ = dir / "record";
    fs::path ports = dir / "ports";
#ifndef _WIN32
    service_ = std::make_unique<Child>();
    ASSERT_TRUE(service_->Start({VX_SERVICE_EXE, "--root", root.string(), "--record",
                                 record_.string(), "--port-file", ports.string(),
                                 "--smtp-port", "-1"}));
#endif
    ASSERT_TRUE(WaitForFile(ports));
    host_ = "127.0.0.1:" + test::ServicePort(ports, "http");
  }
  static void TearDownTestSuite() {
    service_.reset();
    data_.reset();
  }
  void SetUp() override {
    if (host_.empty()) GTEST_SKIP() << "no local service (VX_TEST_SERVICE_DIR)";
    test::MachineFixture::SetUp();
    StartLog(machine_dir() / "log");
    XInternet::SetProxy({});
    XInternet::SetTimeOut(10000);
  }

  void TearDown() override {
    StopLog();
    test::MachineFixture::TearDown();
  }

  static bool Load(std::string_view path, MemoryStream& s, const InternetProgress& p = {},
                   uint64_t max = 0) {
    return XInternet::LoadInternetData("Quorvane NextGen", host_, path, p, false, s, max);
  }

  // The request line of the newest recorded request whose line holds text.
  static std::string Recorded(std::string_view text) {
    std::string found;
    std::string best;
    for (const auto& e : fs::directory_iterator(record_)) {
      std::string name = e.path().filename().string();
      if (name[0] == '.' || name.size() < 4 || name.substr(name.size() - 4) != ".txt") continue;
      std::string content = ReadAll(e.path());
      std::string line = content.substr(0, content.find('\n'));
      if (line.find(text) != std::string::npos && name > best) {
        best = name;
        found = content;
      }
    }
    return found;
  }

  static inline std::unique_ptr<test::TempDir> data_;
  static inline std::unique_ptr<Child> service_;
  static inline fs::path record_;
  static inline std::string host_;
  static inline std::string big_;
};

TEST_F(InternetTest, CompletenessIsJudgedByTheAnnouncedLength) {
  struct Case {
    const char* path;
    bool ok;
    size_t size;
  } cases[] = {
      {"/downloads/big.bin", true, 300000},
      {"/downloads/big.bin?vxfault=no-length", true, 300000},
      {"/downloads/empty.bin?vxfault=no-length", false, 0},
      {"/downloads/big.bin?vxfault=empty", false, 0},
      {"/downloads/big.bin?vxfault=short", false, 150000},
      {"/downloads/big.bin?vxfault=drop:10000", false, 10000},
      {"/downloads/big.bin?vxfault=garbage:5000", true, 5000},
      // The status alone decides nothing: a complete error page is a
      // complete body (callers check what they got).
      {"/downloads/big.bin?vxfault=status:404", true, 0},
      {"/downloads/missing.bin", true, 0},
  };
  for (const auto& c : cases) {
    MemoryStream s;
    LogCapture log;
    EXPECT_EQ(Load(c.path, s), c.ok) << c.path;
    if (c.size) {
      EXPECT_EQ(s.Size(), c.size) << c.path;
    }
    if (std::string_view(c.path).find("404") != std::string_view::npos) {
      EXPECT_TRUE(log.Has("Status code fail: " + host_ + c.path + ": 404"));
    }
  }
  MemoryStream s;
  ASSERT_TRUE(Load("/downloads/big.bin", s));
  EXPECT_EQ(s.data(), big_);
}

TEST_F(InternetTest, BlanksAreSentAsPercent20) {
  MemoryStream s;
  ASSERT_TRUE(Load("/downloads/a b.zip", s));
  EXPECT_EQ(s.data(), "blank in the name");
  std::string rec = Recorded("/downloads/a%20b.zip");
  ASSERT_FALSE(rec.empty());
  EXPECT_NE(rec.find("User-Agent: Quorvane NextGen"), std::string::npos);
  EXPECT_NE(rec.find("Pragma: no-cache"), std::string::npos);
}

TEST_F(InternetTest, FileIsReplacedOnlyByACompleteDownload) {
  fs::path file = machine_dir() / "dl" / "pkg.zip";
  WriteAll(file, "old");
  WriteAll(fs::path(file.string() + ".tmp"), "stale temporary");
  EXPECT_FALSE(XInternet::LoadInternetFile("Quorvane NextGen", host_,
                                           "/downloads/big.bin?vxfault=short", 10000, {}, false,
                                           file));
  EXPECT_FALSE(fs::exists(file));
  EXPECT_FALSE(fs::exists(file.string() + ".tmp"));
  EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 0);

  fs::path fresh = machine_dir() / "new" / "deeper" / "big.bin";
  EXPECT_TRUE(XInternet::LoadInternetFile("Quorvane NextGen", host_, "/downloads/big.bin", 10000,
                                          {}, false, fresh));
  EXPECT_EQ(ReadAll(fresh), big_);
  EXPECT_FALSE(fs::exists(fresh.string() + ".tmp"));
}

// Wine's WinInet neither applies the receive time-out to reads nor gives up
// draining an unread body when a request closes, so a stalled or endless
// reply would only measure Wine; these run natively.
#ifndef _WIN32
TEST_F(InternetTest, StalledServerEndsInATimeOutMessage) {
  MemoryStream s;
  LogCapture log;
  XInternet::SetTimeOut(300);
  EXPECT_FALSE(Load("/downloads/big.bin?vxfault=stall:20", s));
  EXPECT_TRUE(log.Has("InternetReadFile timeout: " + host_ + "/downloads/big.bin"));
  for (const auto& l : log.Lines()) EXPECT_EQ(l.find("InternetReadFile fail"), std::string::npos);
}

#endif  // _WIN32

TEST_F(InternetTest, CallbackCancelsOnTheFirstPiece) {
  MemoryStream s;
  LogCapture log;
  int calls = 0;
  uint64_t announced = 0;
  EXPECT_FALSE(Load("/downloads/big.bin", s, [&](uint64_t got, uint64_t total) {
    ++calls;
    announced = total;
    EXPECT_GT(got, 0u);
    EXPECT_LE(got, 4096u);
    return false;
  }));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(announced, big_.size());
  EXPECT_TRUE(log.Has("Cancelled: " + host_ + "/downloads/big.bin"));
}

#ifndef _WIN32
TEST_F(InternetTest, BadRepliesStayWithinTheCallersLimits) {
  MemoryStream huge;
  EXPECT_FALSE(Load("/downloads/big.bin?vxfault=huge-length", huge, {}, 1 << 20));
  EXPECT_EQ(huge.Size(), 0u);  // refused from the announced length alone

  MemoryStream endless;
  EXPECT_FALSE(Load("/downloads/big.bin?vxfault=endless", endless, {}, 1 << 20));
  EXPECT_LE(endless.Size(), 1u << 20);

  MemoryStream cancelled;
  EXPECT_FALSE(Load("/downloads/big.bin?vxfault=endless", cancelled,
                    [](uint64_t got, uint64_t) { return got < 200000; }));
  EXPECT_LT(cancelled.Size(), 300000u);
}

#endif  // _WIN32

TEST_F(InternetTest, PagesAndUrlsDecodeTheReply) {
  std::vector<std::string> lines{"stale"};
  ASSERT_TRUE(LoadInternetPage("Quorvane NextGen", host_, "/pages/ansi.txt", 10000, {}, false,
                               lines));
  EXPECT_EQ(lines, (std::vector<std::string>{"caf\xC3\xA9", "second"}));

  ASSERT_TRUE(LoadURL("http://" + host_ + "/rpc/getlastupdatecxw", lines, 10000, {}));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("\"date\":\"2024-05-06\""), std::string::npos);
  EXPECT_NE(Recorded("/rpc/getlastupdatecxw").find("User-Agent: Mozilla/5.0"), std::string::npos);

  EXPECT_FALSE(LoadInternetPage("Quorvane NextGen", host_, "/downloads/empty.bin?vxfault=empty",
                                10000, {}, false, lines));
  EXPECT_TRUE(lines.empty());
}

#ifndef _WIN32
TEST_F(InternetTest, RefusedConnectionIsAnError) {
  MemoryStream s;
  LogCapture log;
  std::string host = "127.0.0.1:" + std::to_string(FreePort());
  EXPECT_FALSE(XInternet::LoadInternetData("a", host, "/x", {}, false, s));
  EXPECT_TRUE(log.Has("HttpSendRequest fail: " + host + "/x"));
}

TEST_F(InternetTest, OfflineStateIsSwitchedForTheTransferAndRestored) {
  constexpr std::string_view kKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  auto& reg = platform::Reg();
  ASSERT_EQ(platform::WriteRegDword(reg, platform::RegRoot::kCurrentUser, kKey,
                                    "GlobalUserOffline", 1),
            0u);
  bool online_during = false;
  MemoryStream s;
  EXPECT_TRUE(Load("/downloads/big.bin", s, [&](uint64_t, uint64_t) {
    auto state = platform::HttpService().QueryConnectedState();
    online_during = state.ok() && *state == platform::ConnectedState::kConnected &&
                    XInternet::OfflineSwitched();
    return true;
  }));
  EXPECT_TRUE(online_during);
  EXPECT_FALSE(XInternet::OfflineSwitched());
  EXPECT_EQ(platform::ReadRegDword(reg, platform::RegRoot::kCurrentUser, kKey,
                                   "GlobalUserOffline")
                .value_or(0),
            1u);

  // Offline without the switch, a request is refused as Windows refuses it.
  auto& http = platform::HttpService();
  auto session = http.OpenSession("a", {});
  ASSERT_TRUE(session.ok());
  std::string name;
  uint16_t port = 0;
  SplitHostPort(host_, 80, name, port);
  auto conn = (*session)->Connect(name, port, "", "");
  ASSERT_TRUE(conn.ok());
  auto req = (*conn)->OpenRequest("GET", "/downloads/big.bin", {});
  ASSERT_TRUE(req.ok());
  EXPECT_EQ((*req)->Send({}), platform::kInetErrDisconnected);
}

// Windows keeps its own offline state and proxy configuration; these run on
// the simulated machine, where the test controls both.
class ProxyTest : public InternetTest {
 protected:
  // Starts tinyproxy on a free port, optionally asking for an account.
  bool StartProxy(const std::string& account) {
    port_ = FreePort();
    fs::path conf = machine_dir() / "tinyproxy.conf";
    std::string text = "Port " + std::to_string(port_) +
                       "\nListen 127.0.0.1\nTimeout 30\nMaxClients 8\nAllow 127.0.0.1\n"
                       "LogLevel Critical\n";
    if (!account.empty()) text += "BasicAuth " + account + "\n";
    WriteAll(conf, text);
    proxy_ = std::make_unique<Child>();
    if (!proxy_->Start({VX_TINYPROXY, "-d", "-c", conf.string()})) return false;
    for (int i = 0; i < 200; ++i) {  // until it accepts connections
      int fd = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(port_);
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      bool up = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0;
      close(fd);
      if (up) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  void TearDown() override {
    proxy_.reset();
    XInternet::SetProxy({});
    InternetTest::TearDown();
  }
  uint16_t port_ = 0;
  std::unique_ptr<Child> proxy_;
};

TEST_F(ProxyTest, TransfersGoThroughTheProxy) {
  ASSERT_TRUE(StartProxy(""));
  XInternet::SetProxy({true, "127.0.0.1", std::to_string(port_), "", ""});
  MemoryStream s;
  ASSERT_TRUE(Load("/downloads/big.bin?via=plain", s));
  EXPECT_EQ(s.data(), big_);
  EXPECT_NE(Recorded("via=plain").find("Via: "), std::string::npos);
}

TEST_F(ProxyTest, ProxyAccountIsSentToTheProxyOnly) {
  ASSERT_TRUE(StartProxy("vxuser vxsecret"));
  XInternet::SetProxy({true, "127.0.0.1", std::to_string(port_), "vxuser", "vxsecret"});
  MemoryStream s;
  {
    LogCapture log;
    ASSERT_TRUE(Load("/downloads/big.bin?via=account", s));
    for (const auto& l : log.Lines()) EXPECT_EQ(l.find("407"), std::string::npos) << l;
  }
  EXPECT_EQ(s.data(), big_);
  std::string rec = Recorded("via=account");
  EXPECT_NE(rec.find("Via: "), std::string::npos);
  EXPECT_EQ(rec.find("Authorization"), std::string::npos);

  // Without the account the proxy answers 407 itself; the service never
  // sees the request.
  XInternet::SetProxy({true, "127.0.0.1", std::to_string(port_), "", ""});
  MemoryStream refused;
  LogCapture log;
  Load("/downloads/big.bin?via=none", refused);
  EXPECT_TRUE(Recorded("via=none").empty());
  EXPECT_TRUE(log.Has(": 407"));
}

#endif  // _WIN32

}  // namespace
}  // namespace vx
