// HTTP for the simulated machine: real transfers through libcurl, driven
// one piece at a time so a caller reads a body the way it would read it
// from WinInet. The machine's internet state and proxy configuration are
// read from its registry, where Windows keeps them.
#include "platform/http.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>

#include "common/text.h"
#include "platform/platform.h"
#include "platform/registry.h"

namespace vx::platform {

namespace {

constexpr std::string_view kInternetSettings =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
// A paused transfer holds at most this much unread body in memory.
constexpr size_t kMaxPending = 256 * 1024;

thread_local std::string t_last_response;

void SetLastResponse(uint32_t code, std::string_view text) {
  t_last_response = text.empty() ? std::string() : std::to_string(code) + " " + std::string(text);
}

uint32_t MapCurlError(CURLcode rc) {
  switch (rc) {
    case CURLE_OPERATION_TIMEDOUT:
      return kInetErrTimeout;
    case CURLE_COULDNT_CONNECT:
      return kInetErrCannotConnect;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return kInetErrNameNotResolved;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
      return kInetErrConnectionAborted;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_TOO_MANY_REDIRECTS:
    case CURLE_BAD_CONTENT_ENCODING:
      return kInetErrInvalidServerResponse;
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return kInetErrInvalidUrl;
    case CURLE_ABORTED_BY_CALLBACK:
      return kInetErrCancelled;
    default:
      return kInetErrInternal;
  }
}

bool MachineOffline() {
  if (!IsAttached()) return false;
  auto v = ReadRegDword(Reg(), RegRoot::kCurrentUser, kInternetSettings, "GlobalUserOffline");
  return v.ok() && *v != 0;
}

// The proxy the machine's settings name for plain HTTP: "ProxyServer" is
// either "host:port" for every protocol or "http=host:port;https=...".
std::string MachineProxy() {
  if (!IsAttached()) return {};
  auto enabled = ReadRegDword(Reg(), RegRoot::kCurrentUser, kInternetSettings, "ProxyEnable");
  if (!enabled.ok() || *enabled == 0) return {};
  auto server = ReadRegString(Reg(), RegRoot::kCurrentUser, kInternetSettings, "ProxyServer");
  if (!server.ok()) return {};
  std::string value = Trim(*server);
  if (value.find('=') == std::string::npos) return value;
  for (const std::string& part : Split(value, ';')) {
    auto eq = part.find('=');
    if (eq != std::string::npos && SameText(Trim(part.substr(0, eq)), "http"))
      return Trim(part.substr(eq + 1));
  }
  return {};
}

struct CurlGlobal {
  CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
};

void EnsureCurl() { static CurlGlobal once; }

struct SessionSettings {
  std::string agent;
  HttpProxy proxy;
  uint32_t connect_ms = 60000;
  uint32_t send_ms = 60000;
  uint32_t receive_ms = 60000;
};

struct Target {
  SessionSettings session;
  std::string host;
  uint16_t port = 80;
  std::string proxy_user;
  std::string proxy_password;
};

class CurlRequest : public HttpRequest {
 public:
  CurlRequest(Target target, std::string verb, std::string path, HttpRequestFlags flags)
      : target_(std::move(target)), verb_(std::move(verb)), path_(std::move(path)),
        flags_(flags) {}

  ~CurlRequest() override {
    if (multi_ && easy_) curl_multi_remove_handle(multi_, easy_);
    if (easy_) curl_easy_cleanup(easy_);
    if (multi_) curl_multi_cleanup(multi_);
    if (header_list_) curl_slist_free_all(header_list_);
  }

  Status Send(std::string_view headers) override {
    if (easy_) return kInetErrInternal;  // sent once per request, as WinInet allows here
    if (MachineOffline()) {
      SetLastResponse(kInetErrDisconnected, "the machine is offline");
      return kInetErrDisconnected;
    }
    if (Status st = Setup(headers); st != 0) return st;
    // WinInet's send covers connecting, sending and waiting for the reply's
    // headers; the longest of the time-outs bounds that wait.
    uint32_t limit = std::max({target_.session.connect_ms, target_.session.send_ms,
                               target_.session.receive_ms});
    return Pump([this] { return headers_done_; }, limit);
  }

  Result<uint32_t> StatusCode() override {
    if (!headers_done_) return Result<uint32_t>::Fail(kInetErrHeaderNotFound);
    return status_;
  }

  Result<uint64_t> ContentLength() override {
    if (!headers_done_ || !has_length_) return Result<uint64_t>::Fail(kInetErrHeaderNotFound);
    if (!length_valid_) return Result<uint64_t>::Fail(kInetErrInvalidServerResponse);
    return length_;
  }

  Result<size_t> Read(void* buffer, size_t size) override {
    if (!easy_) return Result<size_t>::Fail(kInetErrInternal);
    if (pending_.size() == offset_) {
      pending_.clear();
      offset_ = 0;
      if (paused_) {
        paused_ = false;
        curl_easy_pause(easy_, CURLPAUSE_CONT);
      }
      if (Status st = Pump([this] { return pending_.size() > offset_; },
                           target_.session.receive_ms);
          st != 0)
        return Result<size_t>::Fail(st);
    }
    size_t n = std::min(size, pending_.size() - offset_);
    if (n) std::memcpy(buffer, pending_.data() + offset_, n);
    offset_ += n;
    return n;
  }

 private:
  Status Setup(std::string_view headers) {
    EnsureCurl();
    easy_ = curl_easy_init();
    multi_ = curl_multi_init();
    if (!easy_ || !multi_) return kInetErrInternal;
    std::string scheme = flags_.secure ? "https://" : "http://";
    std::string url = scheme + target_.host + ":" + std::to_string(target_.port) + path_;
    curl_easy_setopt(easy_, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_CUSTOMREQUEST, verb_ == "GET" ? nullptr : verb_.c_str());
    curl_easy_setopt(easy_, CURLOPT_USERAGENT, target_.session.agent.c_str());
    curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(std::max<uint32_t>(target_.session.connect_ms, 1)));
    curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy_, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy_, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, error_);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlRequest::OnBody);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &CurlRequest::OnHeader);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
    // The proxy is the program's or the machine's, never the environment's
    // of the host running the simulation.
    std::string proxy = target_.session.proxy.use ? target_.session.proxy.address : MachineProxy();
    curl_easy_setopt(easy_, CURLOPT_PROXY, proxy.c_str());
    curl_easy_setopt(easy_, CURLOPT_NOPROXY, "");
    if (!proxy.empty() && !target_.proxy_user.empty()) {
      curl_easy_setopt(easy_, CURLOPT_PROXYUSERNAME, target_.proxy_user.c_str());
      curl_easy_setopt(easy_, CURLOPT_PROXYPASSWORD, target_.proxy_password.c_str());
      // Sent with the first request: a probing round trip would surface the
      // proxy's 407 as if it were the reply.
      curl_easy_setopt(easy_, CURLOPT_PROXYAUTH, CURLAUTH_BASIC);
    }
    if (flags_.pragma_no_cache) {
      header_list_ = curl_slist_append(header_list_, "Pragma: no-cache");
      header_list_ = curl_slist_append(header_list_, "Cache-Control: no-cache");
    }
    for (const std::string& line : Split(ReplaceAll(headers, "\r\n", "\n"), '\n')) {
      std::string h = Trim(line);
      if (!h.empty()) header_list_ = curl_slist_append(header_list_, h.c_str());
    }
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, header_list_);
    if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) return kInetErrInternal;
    return 0;
  }

  // Drives the transfer until ready() holds, the transfer ends, or nothing
  // has arrived for idle_ms.
  template <class Ready>
  Status Pump(Ready ready, uint32_t idle_ms) {
    using Clock = std::chrono::steady_clock;
    auto last = Clock::now();
    uint64_t seen = received_;
    for (;;) {
      if (ready()) return 0;
      if (done_) {
        if (result_ == CURLE_OK || result_ == CURLE_PARTIAL_FILE) {
          // A body cut short ends like WinInet's: the read returns nothing
          // more and the caller's length check judges it.
          if (!headers_done_) return Fail(kInetErrInvalidServerResponse);
          return 0;
        }
        return Fail(MapCurlError(result_));
      }
      int running = 0;
      if (curl_multi_perform(multi_, &running) != CURLM_OK) return Fail(kInetErrInternal);
      int left = 0;
      while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
        if (msg->msg == CURLMSG_DONE) {
          done_ = true;
          result_ = msg->data.result;
        }
      }
      if (ready() || done_) continue;
      if (received_ != seen) {
        seen = received_;
        last = Clock::now();
      }
      if (Clock::now() - last > std::chrono::milliseconds(idle_ms)) {
        SetLastResponse(kInetErrTimeout, "no reply within the time-out");
        return kInetErrTimeout;
      }
      curl_multi_poll(multi_, nullptr, 0, 50, nullptr);
    }
  }

  Status Fail(uint32_t code) {
    SetLastResponse(code, error_[0] ? std::string_view(error_) : curl_easy_strerror(result_));
    return code;
  }

  static size_t OnBody(char* data, size_t size, size_t n, void* self_ptr) {
    auto* self = static_cast<CurlRequest*>(self_ptr);
    size_t bytes = size * n;
    if (self->pending_.size() - self->offset_ >= kMaxPending) {
      self->paused_ = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    self->headers_done_ = true;
    self->pending_.append(data, bytes);
    self->received_ += bytes;
    return bytes;
  }

  static size_t OnHeader(char* data, size_t size, size_t n, void* self_ptr) {
    auto* self = static_cast<CurlRequest*>(self_ptr);
    size_t bytes = size * n;
    self->received_ += bytes;
    std::string line = Trim(std::string_view(data, bytes));
    if (line.rfind("HTTP/", 0) == 0) {
      // A new reply (after a redirect or an interim 1xx) replaces the last.
      auto parts = Split(line, ' ');
      self->status_ = parts.size() > 1 ? static_cast<uint32_t>(std::atoi(parts[1].c_str())) : 0;
      self->has_length_ = false;
      self->has_location_ = false;
      self->headers_done_ = false;
    } else if (line.empty()) {
      bool redirected = self->has_location_ && self->status_ >= 300 && self->status_ < 400;
      if (self->status_ >= 200 && !redirected) self->headers_done_ = true;
    } else {
      auto colon = line.find(':');
      if (colon != std::string::npos) {
        std::string name = Trim(line.substr(0, colon));
        std::string value = Trim(line.substr(colon + 1));
        if (SameText(name, "Content-Length")) {
          self->has_length_ = true;
          char* end = nullptr;
          errno = 0;
          unsigned long long v = std::strtoull(value.c_str(), &end, 10);
          self->length_valid_ = !value.empty() && errno == 0 && end && *end == 0 &&
                                value.find('-') == std::string::npos;
          self->length_ = self->length_valid_ ? v : 0;
        } else if (SameText(name, "Location")) {
          self->has_location_ = true;
        }
      }
    }
    return bytes;
  }

  Target target_;
  std::string verb_;
  std::string path_;
  HttpRequestFlags flags_;
  CURL* easy_ = nullptr;
  CURLM* multi_ = nullptr;
  curl_slist* header_list_ = nullptr;
  char error_[CURL_ERROR_SIZE] = {};
  std::string pending_;
  size_t offset_ = 0;
  bool paused_ = false;
  bool done_ = false;
  CURLcode result_ = CURLE_OK;
  bool headers_done_ = false;
  uint32_t status_ = 0;
  bool has_length_ = false;
  bool length_valid_ = false;
  bool has_location_ = false;
  uint64_t length_ = 0;
  uint64_t received_ = 0;
};

class CurlConnection : public HttpConnection {
 public:
  explicit CurlConnection(Target target) : target_(std::move(target)) {}
  Result<std::unique_ptr<HttpRequest>> OpenRequest(std::string_view verb, std::string_view path,
                                                   const HttpRequestFlags& flags) override {
    std::string p(path);
    if (p.empty() || p[0] != '/') p.insert(p.begin(), '/');
    return Result<std::unique_ptr<HttpRequest>>(
        std::make_unique<CurlRequest>(target_, std::string(verb), p, flags));
  }

 private:
  Target target_;
};

class CurlSession : public HttpSession {
 public:
  explicit CurlSession(SessionSettings s) : s_(std::move(s)) {}
  Status SetTimeout(HttpTimeout which, uint32_t ms) override {
    switch (which) {
      case HttpTimeout::kConnect: s_.connect_ms = ms; break;
      case HttpTimeout::kSend: s_.send_ms = ms; break;
      case HttpTimeout::kReceive: s_.receive_ms = ms; break;
    }
    return 0;
  }
  Result<std::unique_ptr<HttpConnection>> Connect(std::string_view host, uint16_t port,
                                                  std::string_view proxy_user,
                                                  std::string_view proxy_password) override {
    using R = Result<std::unique_ptr<HttpConnection>>;
    if (host.empty() || host.find_first_of("/ \t\r\n") != std::string_view::npos)
      return R::Fail(kInetErrInvalidUrl);
    Target t{s_, std::string(host), port, std::string(proxy_user), std::string(proxy_password)};
    return R(std::make_unique<CurlConnection>(std::move(t)));
  }

 private:
  SessionSettings s_;
};

class CurlHttp : public Http {
 public:
  Result<std::unique_ptr<HttpSession>> OpenSession(std::string_view agent,
                                                   const HttpProxy& proxy) override {
    using R = Result<std::unique_ptr<HttpSession>>;
    if (proxy.use && proxy.address.empty()) return R::Fail(kErrorInvalidParameter);
    SessionSettings s;
    s.agent = agent;
    s.proxy = proxy;
    return R(std::make_unique<CurlSession>(std::move(s)));
  }
  // Every request here has its own connection, so the limit only needs to
  // be remembered; zero is refused as WinInet refuses it.
  Status SetMaxConnsPerServer(uint32_t n) override { return SetLimit(max_conns_, n); }
  Status SetMaxConnsPer10Server(uint32_t n) override { return SetLimit(max_conns_10_, n); }

  Result<ConnectedState> QueryConnectedState() override {
    return MachineOffline() ? ConnectedState::kDisconnectedByUser : ConnectedState::kConnected;
  }
  Status SetConnectedState(ConnectedState state) override {
    if (!IsAttached()) return kErrorInvalidHandle;
    uint32_t offline = state == ConnectedState::kConnected ? 0 : 1;
    return WriteRegDword(Reg(), RegRoot::kCurrentUser, kInternetSettings, "GlobalUserOffline",
                         offline);
  }
  std::string LastResponseInfo() override { return t_last_response; }

 private:
  static Status SetLimit(std::atomic<uint32_t>& slot, uint32_t n) {
    if (n == 0) return kErrorInvalidParameter;
    slot = n;
    return 0;
  }
  std::atomic<uint32_t> max_conns_{2};
  std::atomic<uint32_t> max_conns_10_{4};
};

}  // namespace

Http& HttpService() {
  static CurlHttp http;
  return http;
}

}  // namespace vx::platform
