#include "common/internet.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <mutex>
#include <system_error>
#include <thread>

#include "common/closing.h"
#include "common/logger.h"
#include "common/text.h"
#include "platform/platform.h"

namespace vx {

namespace fs = std::filesystem;
using platform::ConnectedState;

namespace {

constexpr size_t kPiece = 4096;
constexpr uint32_t kMaxConns = 100;

std::mutex g_settings_mu;
ProxySettings g_proxy;
std::atomic<int32_t> g_timeout{60000};

// The switch to online is shared by every open connection: the last one
// that relies on it puts the system back offline, so one transfer ending
// never takes the network from another still running.
std::mutex g_switch_mu;
bool g_switched = false;
int g_switch_users = 0;

uint32_t Tick() {
  if (platform::IsAttached()) return platform::Sys().TickCount();
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool Exists(const fs::path& p) {
  std::error_code ec;
  return fs::exists(p, ec);
}

bool RemoveFile(const fs::path& p) {
  std::error_code ec;
  fs::remove(p, ec);
  return !ec && !Exists(p);
}

bool MoveFile(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::rename(from, to, ec);
  return !ec;
}

fs::path WithSuffix(const fs::path& p, std::string_view suffix) {
  return U8Path(PathUtf8(p) + std::string(suffix));
}

// "name:port" -> name and port; a name without a port keeps the default.
void SplitHost(std::string_view host, uint16_t default_port, std::string& name, uint16_t& port) {
  name = std::string(host);
  port = default_port;
  auto colon = host.rfind(':');
  if (colon == std::string_view::npos || host.find(']') != std::string_view::npos) return;
  std::string_view digits = host.substr(colon + 1);
  if (digits.empty() || digits.size() > 5 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return;
  unsigned long v = std::stoul(std::string(digits));
  if (v == 0 || v > 65535) return;
  name = std::string(host.substr(0, colon));
  port = static_cast<uint16_t>(v);
}

class FileStream : public InternetStream {
 public:
  explicit FileStream(const fs::path& path) : out_(path, std::ios::binary | std::ios::trunc) {}
  bool ok() const { return static_cast<bool>(out_); }
  bool Write(const char* data, size_t size) override {
    out_.write(data, static_cast<std::streamsize>(size));
    if (!out_) return false;
    size_ += size;
    return true;
  }
  uint64_t Size() const override { return size_; }
  bool Close() {
    out_.close();
    return !out_.fail();
  }

 private:
  std::ofstream out_;
  uint64_t size_ = 0;
};

// Windows-1252 bytes 0x80-0x9F; the rest of the page is Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

std::string DecodeCp1252(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes)
    out.push_back(c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : static_cast<char16_t>(c));
  return Utf16ToUtf8(out);
}

}  // namespace

bool MemoryStream::Write(const char* data, size_t size) {
  try {
    data_.append(data, size);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void XInternet::SetProxy(const ProxySettings& proxy) {
  std::lock_guard lock(g_settings_mu);
  g_proxy = proxy;
}

ProxySettings XInternet::Proxy() {
  std::lock_guard lock(g_settings_mu);
  return g_proxy;
}

void XInternet::SetTimeOut(int32_t ms) { g_timeout = ms; }
int32_t XInternet::TimeOut() { return g_timeout; }

bool XInternet::OfflineSwitched() {
  std::lock_guard lock(g_switch_mu);
  return g_switched;
}

bool XInternet::ConnectToInternet(std::string_view agent, std::string_view host, bool secure,
                                  InternetHandles& handles) {
  constexpr std::string_view kTag = "XInternet.ConnectToInternet";
  auto& http = platform::HttpService();
  ProxySettings proxy = Proxy();
  platform::HttpProxy access;
  access.use = proxy.use;
  if (proxy.use) access.address = proxy.address + ":" + proxy.port;

  auto session = http.OpenSession(agent, access);
  if (!session) {
    LogError(kTag, "InternetOpen fail", "Agent=" + std::string(agent), session.error());
    return false;
  }
  handles.internet = std::move(*session);

  // A negative time-out would be a huge unsigned one for the system.
  int32_t timeout = TimeOut();
  uint32_t ms = timeout < 0 ? 0 : static_cast<uint32_t>(timeout);
  std::string timeout_param = "TimeOut=" + std::to_string(timeout);
  using platform::HttpTimeout;
  if (Status st = handles.internet->SetTimeout(HttpTimeout::kConnect, ms))
    LogError(kTag, "InternetSetOption INTERNET_OPTION_CONNECT_TIMEOUT fail", timeout_param, st);
  if (Status st = handles.internet->SetTimeout(HttpTimeout::kSend, ms))
    LogError(kTag, "InternetSetOption INTERNET_OPTION_SEND_TIMEOUT fail", timeout_param, st);
  if (Status st = handles.internet->SetTimeout(HttpTimeout::kReceive, ms))
    LogError(kTag, "InternetSetOption INTERNET_OPTION_RECEIVE_TIMEOUT fail", timeout_param, st);

  std::string max_param = "MaxConn=" + std::to_string(kMaxConns);
  if (Status st = http.SetMaxConnsPerServer(kMaxConns))
    LogError(kTag, "InternetSetOption INTERNET_OPTION_MAX_CONNS_PER_SERVER fail", max_param, st);
  if (Status st = http.SetMaxConnsPer10Server(kMaxConns))
    LogError(kTag, "InternetSetOption INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER fail", max_param,
             st);

  std::string name;
  uint16_t port = 0;
  SplitHost(host, secure ? 443 : 80, name, port);
  auto connection = handles.internet->Connect(name, port, proxy.use ? proxy.user : "",
                                              proxy.use ? proxy.password : "");
  if (!connection) {
    LogError(kTag, "InternetConnect fail", "Host=" + std::string(host), connection.error());
    handles.internet.reset();
    return false;
  }
  handles.connection = std::move(*connection);

  std::lock_guard lock(g_switch_mu);
  auto state = http.QueryConnectedState();
  if (!state) {
    LogError(kTag, "InternetQueryOption fail", "Host=" + std::string(host), state.error());
  } else if (*state != ConnectedState::kConnected && !g_switched) {
    if (Status st = http.SetConnectedState(ConnectedState::kConnected)) {
      LogError(kTag, "InternetSetOption fail", "Host=" + std::string(host), st);
    } else {
      g_switched = true;
    }
  }
  if (g_switched) {
    ++g_switch_users;
    handles.holds_online_switch = true;
  }
  return true;
}

bool XInternet::CloseInternet(InternetHandles& handles) {
  handles.request.reset();
  handles.connection.reset();
  handles.internet.reset();
  if (!handles.holds_online_switch) return true;
  handles.holds_online_switch = false;
  std::lock_guard lock(g_switch_mu);
  if (--g_switch_users > 0 || !g_switched) return true;
  g_switch_users = 0;
  g_switched = false;
  if (Status st = platform::HttpService().SetConnectedState(ConnectedState::kDisconnectedByUser))
    LogError("XInternet.CloseInternet", "InternetSetOption fail", {}, st);
  return true;
}

bool XInternet::LoadInternetData(std::string_view agent, std::string_view host,
                                 std::string_view path, const InternetProgress& progress,
                                 bool secure, InternetStream& stream, uint64_t max_bytes) {
  constexpr std::string_view kTag = "XInternet.LoadInternetData";
  auto& http = platform::HttpService();
  InternetHandles h;
  if (!ConnectToInternet(agent, host, secure, h)) {
    LogError(kTag, "ConnectToInternet fail", "Host=" + std::string(host));
    CloseInternet(h);
    return false;
  }

  std::string escaped = ReplaceAll(path, " ", "%20");
  if (escaped.empty() || escaped[0] != '/') escaped.insert(escaped.begin(), '/');
  std::string target = std::string(host) + escaped;

  platform::HttpRequestFlags flags;
  flags.secure = secure;
  auto request = h.connection->OpenRequest("GET", escaped, flags);
  if (!request) {
    if (request.error() == platform::kInetErrTimeout)
      LogMessage("HttpOpenRequest timeout: " + target);
    else
      LogError(kTag, "HttpOpenRequest fail", "Path=" + target, request.error());
    CloseInternet(h);
    return false;
  }
  h.request = std::move(*request);

  if (Status st = h.request->Send({})) {
    if (st == platform::kInetErrCannotConnect)
      LogError(kTag, "HttpSendRequest fail: " + target, "ERROR_INTERNET_CANNOT_CONNECT", st);
    else if (st == platform::kInetErrTimeout)
      LogMessage("HttpSendRequest timeout: " + target);
    else
      LogError(kTag, "HttpSendRequest fail: " + target, http.LastResponseInfo(), st);
    CloseInternet(h);
    return false;
  }

  auto status = h.request->StatusCode();
  if (!status) {
    if (status.error() != platform::kInetErrHeaderNotFound)
      LogError(kTag, "HttpQueryInfo HTTP_QUERY_STATUS_CODE fail: " + target, {}, status.error());
  } else if (*status != 200) {
    LogError(kTag, "Status code fail: " + target + ": " + std::to_string(*status));
  }

  uint64_t length = 0;
  auto announced = h.request->ContentLength();
  if (announced) {
    length = *announced;
  } else if (announced.error() != platform::kInetErrHeaderNotFound) {
    LogError(kTag, "HttpQueryInfo HTTP_QUERY_CONTENT_LENGTH fail: " + target, {},
             announced.error());
  }
  if (max_bytes && length > max_bytes) {
    LogError(kTag, "Content too large: " + target,
             "ContentLength=" + std::to_string(length) + " Limit=" + std::to_string(max_bytes));
    CloseInternet(h);
    return false;
  }

  char buffer[kPiece];
  for (;;) {
    auto got = h.request->Read(buffer, sizeof(buffer));
    if (!got) {
      if (got.error() == platform::kInetErrTimeout)
        LogMessage("InternetReadFile timeout: " + target);
      else
        LogError(kTag, "InternetReadFile fail", http.LastResponseInfo(), got.error());
      CloseInternet(h);
      return false;
    }
    if (*got == 0) break;
    if (max_bytes && stream.Size() + *got > max_bytes) {
      LogError(kTag, "Content too large: " + target, "Limit=" + std::to_string(max_bytes));
      CloseInternet(h);
      return false;
    }
    if (!stream.Write(buffer, *got)) {
      LogError(kTag, "Stream write fail: " + target, "Size=" + std::to_string(stream.Size()));
      CloseInternet(h);
      return false;
    }
    bool go_on = !ProgramClosing() && (!progress || progress(stream.Size(), length));
    if (!go_on) {
      CloseInternet(h);
      LogMessage("Cancelled: " + target);
      return false;
    }
  }
  bool complete = length > 0 ? stream.Size() == length : stream.Size() > 0;
  CloseInternet(h);
  return complete;
}

bool XInternet::LoadInternetFile(std::string_view agent, std::string_view host,
                                 std::string_view path, int32_t timeout_ms,
                                 const InternetProgress& progress, bool secure,
                                 const fs::path& file) {
  constexpr std::string_view kTag = "XInternet.LoadInternetFile";
  SetTimeOut(timeout_ms);
  std::string file_text = PathUtf8(file);
  fs::path temp = WithSuffix(file, ".tmp");

  if (Exists(file) && !RemoveFile(file) &&
      !MoveFile(file, WithSuffix(file, std::to_string(Tick()))))
    LogError(kTag, "Cannot delete 1", file_text);

  if (Exists(temp) && !RemoveFile(temp)) {
    std::string suffix = ".";
    suffix += std::to_string(Tick());
    suffix += ".tmp";
    fs::path aside = WithSuffix(file, suffix);
    if (!MoveFile(temp, aside)) {
      LogError(kTag, "Cannot delete 2", PathUtf8(temp));
      temp = aside;
    }
  }

  fs::path folder = file.parent_path();
  if (!folder.empty() && !Exists(folder)) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!Exists(folder)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (!Exists(folder)) {
        LogError(kTag, "ForceDirectories fail", PathUtf8(folder), ec.value());
        return false;
      }
    }
  }

  // A body larger than the free space would only end in a full disk.
  uint64_t limit = 0;
  std::error_code space_ec;
  auto space = fs::space(folder.empty() ? fs::path(".") : folder, space_ec);
  if (!space_ec && space.available != static_cast<uintmax_t>(-1)) limit = space.available;

  bool ok = false;
  {
    FileStream stream(temp);
    if (!stream.ok()) {
      LogError(kTag, "Cannot create", PathUtf8(temp), static_cast<uint32_t>(errno));
    } else {
      ok = LoadInternetData(agent, host, path, progress, secure, stream, limit) &&
           stream.Size() > 0;
      if (!stream.Close()) {
        LogError(kTag, "Cannot write", PathUtf8(temp));
        ok = false;
      }
    }
  }

  if (ok) {
    if (MoveFile(temp, file)) return true;
    // Reporting success without the file would send callers after a file
    // that is not there.
    LogError(kTag, "Cannot rename", file_text);
    ok = false;
  }
  if (Exists(temp) && !RemoveFile(temp) &&
      !MoveFile(temp, WithSuffix(file, ".tmp" + std::to_string(Tick()))))
    LogError(kTag, "Cannot delete 3", PathUtf8(temp));
  return false;
}

std::string DecodeInternetText(std::string_view bytes, uint32_t ansi_code_page) {
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    return Utf16ToUtf8(Utf8ToUtf16(bytes.substr(3)));
  }
  if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") {
    return Utf16ToUtf8(FromUtf16LeBytes(bytes.substr(2, (bytes.size() - 2) & ~size_t{1})));
  }
  if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF") {
    std::string swapped(bytes.substr(2, (bytes.size() - 2) & ~size_t{1}));
    for (size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
    return Utf16ToUtf8(FromUtf16LeBytes(swapped));
  }
  if (ansi_code_page == 65001) return Utf16ToUtf8(Utf8ToUtf16(bytes));
  if (ansi_code_page == 1252) return DecodeCp1252(bytes);
  // Other ANSI pages: the shared decoder (UTF-8, else Windows-1252).
  return DecodeTextFile(bytes);
}

std::vector<std::string> SplitTextLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

bool LoadInternetPage(std::string_view agent, std::string_view host, std::string_view path,
                      int32_t timeout_ms, const InternetProgress& progress, bool secure,
                      std::vector<std::string>& list, uint64_t max_bytes) {
  list.clear();
  XInternet::SetTimeOut(timeout_ms);
  MemoryStream stream;
  if (!XInternet::LoadInternetData(agent, host, path, progress, secure, stream, max_bytes))
    return false;
  uint32_t cp = platform::IsAttached() ? platform::Sys().Locale().ansi_code_page : 1252;
  list = SplitTextLines(DecodeInternetText(stream.data(), cp));
  return !list.empty();
}

bool LoadURL(std::string_view url, std::vector<std::string>& list, int32_t timeout_ms,
             const InternetProgress& progress) {
  bool secure = AsciiLower(url.substr(0, 8)) == "https://";
  auto scheme = url.find("://");
  std::string_view rest = scheme == std::string_view::npos ? url : url.substr(scheme + 3);
  auto slash = rest.find('/');
  std::string_view host = rest.substr(0, slash);
  std::string_view path =
      slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1, 1000);
  std::string full_path = "/";
  full_path += path;
  return LoadInternetPage("Mozilla/5.0", host, full_path, timeout_ms, progress, secure, list);
}

}  // namespace vx
