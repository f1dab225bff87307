// XInternet: the engine's plain HTTP GET client. A transfer runs on the
// calling (worker) thread, opens and closes its own handles, reports
// progress after every piece and can be cancelled from that report. A body
// counts as complete only when it has the announced Content-Length, or,
// without one, when it is not empty; the status code alone decides nothing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/http.h"

namespace vx {

// Bytes received so far and the announced length (0 when not announced);
// returning false cancels the transfer.
using InternetProgress = std::function<bool(uint64_t received, uint64_t content_length)>;

// Where a body goes, piece by piece.
class InternetStream {
 public:
  virtual ~InternetStream() = default;
  // false when the bytes could not be stored (the transfer then fails).
  virtual bool Write(const char* data, size_t size) = 0;
  virtual uint64_t Size() const = 0;
};

class MemoryStream : public InternetStream {
 public:
  bool Write(const char* data, size_t size) override;
  uint64_t Size() const override { return data_.size(); }
  const std::string& data() const { return data_; }

 private:
  std::string data_;
};

// The handles of one transfer; CloseInternet releases them.
struct InternetHandles {
  std::unique_ptr<platform::HttpSession> internet;
  std::unique_ptr<platform::HttpConnection> connection;
  std::unique_ptr<platform::HttpRequest> request;
  bool holds_online_switch = false;  // this connection relies on the switch to online
};

struct ProxySettings {
  bool use = false;
  std::string address;
  std::string port;
  std::string user;
  std::string password;
};

class XInternet {
 public:
  // Process-wide settings. The result page copies the proxy from the
  // settings store before it starts transfers.
  static void SetProxy(const ProxySettings& proxy);
  static ProxySettings Proxy();
  static void SetTimeOut(int32_t ms);
  static int32_t TimeOut();

  // host is a name or "name:port"; without a port 443 (secure) or 80.
  static bool ConnectToInternet(std::string_view agent, std::string_view host, bool secure,
                                InternetHandles& handles);
  // Always true.
  static bool CloseInternet(InternetHandles& handles);

  // GETs host + path into the stream. max_bytes (0: no limit) bounds what a
  // misbehaving server can make the program store.
  static bool LoadInternetData(std::string_view agent, std::string_view host,
                               std::string_view path, const InternetProgress& progress,
                               bool secure, InternetStream& stream, uint64_t max_bytes = 0);
  // Downloads into file through file + ".tmp": the file is replaced only by
  // a complete body, and is gone after a failed download.
  static bool LoadInternetFile(std::string_view agent, std::string_view host,
                               std::string_view path, int32_t timeout_ms,
                               const InternetProgress& progress, bool secure,
                               const std::filesystem::path& file);

  // True while some open connection had to switch the system online.
  static bool OfflineSwitched();
};

// The reply as text lines: a byte-order mark selects UTF-8 or UTF-16,
// otherwise the system's ANSI code page. True when there is at least one
// line; on failure the list is empty. Replies above max_bytes fail.
bool LoadInternetPage(std::string_view agent, std::string_view host, std::string_view path,
                      int32_t timeout_ms, const InternetProgress& progress, bool secure,
                      std::vector<std::string>& list, uint64_t max_bytes = 16ull << 20);

// "http://host[:port]/path?query" or "https://..." with the agent
// "Mozilla/5.0".
bool LoadURL(std::string_view url, std::vector<std::string>& list, int32_t timeout_ms,
             const InternetProgress& progress);

// Helpers shared with the service requests and the tests.
std::string DecodeInternetText(std::string_view bytes, uint32_t ansi_code_page);
std::vector<std::string> SplitTextLines(std::string_view text);

}  // namespace vx
