// HTTP GET the way WinInet offers it: a session (agent, proxy, time-outs),
// a connection to one host, a request that is opened, sent and then read in
// pieces. Failures carry WinInet's error numbers on both backends so the
// callers' log lines and time-out rules read the same everywhere.
//
// The system's internet state (online / offline by the user) and the
// configured proxy belong to the machine: on Windows to WinInet, on the
// simulated machine to its registry under
// HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings
// ("GlobalUserOffline", "ProxyEnable", "ProxyServer").
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/result.h"

namespace vx::platform {

// WinInet error numbers the program tests for.
enum : uint32_t {
  kInetErrTimeout = 12002,           // ERROR_INTERNET_TIMEOUT
  kInetErrInternal = 12004,          // ERROR_INTERNET_INTERNAL_ERROR
  kInetErrInvalidUrl = 12005,        // ERROR_INTERNET_INVALID_URL
  kInetErrNameNotResolved = 12007,   // ERROR_INTERNET_NAME_NOT_RESOLVED
  kInetErrCancelled = 12017,         // ERROR_INTERNET_OPERATION_CANCELLED
  kInetErrCannotConnect = 12029,     // ERROR_INTERNET_CANNOT_CONNECT
  kInetErrConnectionAborted = 12030, // ERROR_INTERNET_CONNECTION_ABORTED
  kInetErrConnectionReset = 12031,   // ERROR_INTERNET_CONNECTION_RESET
  kInetErrHeaderNotFound = 12150,    // ERROR_HTTP_HEADER_NOT_FOUND
  kInetErrInvalidServerResponse = 12152,  // ERROR_HTTP_INVALID_SERVER_RESPONSE
  kInetErrDisconnected = 12163,      // ERROR_INTERNET_DISCONNECTED
};

// INTERNET_STATE_* values of the system's connected state.
enum class ConnectedState : uint32_t {
  kConnected = 0x1,
  kDisconnected = 0x2,
  kDisconnectedByUser = 0x10,
};

enum class HttpTimeout { kConnect, kSend, kReceive };

struct HttpRequestFlags {
  bool reload = true;           // always ask the server, never a cached copy
  bool no_cache_write = true;
  bool keep_connection = true;
  bool no_cookies = true;
  bool no_ui = true;
  bool pragma_no_cache = true;
  bool secure = false;
};

class HttpRequest {
 public:
  virtual ~HttpRequest() = default;
  HttpRequest(const HttpRequest&) = delete;
  HttpRequest& operator=(const HttpRequest&) = delete;

  // Sends the request (extra header lines "Name: value\r\n...", may be
  // empty) and waits for the reply's headers.
  virtual Status Send(std::string_view headers) = 0;
  // kInetErrHeaderNotFound when the reply has no such header.
  virtual Result<uint32_t> StatusCode() = 0;
  virtual Result<uint64_t> ContentLength() = 0;
  // Reads at most size bytes of the body; 0 bytes means the body ended.
  virtual Result<size_t> Read(void* buffer, size_t size) = 0;

 protected:
  HttpRequest() = default;
};

class HttpConnection {
 public:
  virtual ~HttpConnection() = default;
  HttpConnection(const HttpConnection&) = delete;
  HttpConnection& operator=(const HttpConnection&) = delete;

  // path begins with "/" and may hold a query; it is sent as given.
  virtual Result<std::unique_ptr<HttpRequest>> OpenRequest(std::string_view verb,
                                                           std::string_view path,
                                                           const HttpRequestFlags& flags) = 0;

 protected:
  HttpConnection() = default;
};

struct HttpProxy {
  bool use = false;      // false: the system's configured access
  std::string address;   // "host:port"
};

class HttpSession {
 public:
  virtual ~HttpSession() = default;
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  virtual Status SetTimeout(HttpTimeout which, uint32_t ms) = 0;
  // proxy_user and proxy_password answer a proxy's challenge (empty: none).
  // They go to the proxy only, never to the host, so a proxy account is
  // not handed to every server the program asks.
  virtual Result<std::unique_ptr<HttpConnection>> Connect(std::string_view host, uint16_t port,
                                                          std::string_view proxy_user,
                                                          std::string_view proxy_password) = 0;

 protected:
  HttpSession() = default;
};

class Http {
 public:
  virtual ~Http() = default;
  Http(const Http&) = delete;
  Http& operator=(const Http&) = delete;

  virtual Result<std::unique_ptr<HttpSession>> OpenSession(std::string_view agent,
                                                           const HttpProxy& proxy) = 0;
  // The process-wide limits of parallel connections to one server.
  virtual Status SetMaxConnsPerServer(uint32_t n) = 0;
  virtual Status SetMaxConnsPer10Server(uint32_t n) = 0;
  virtual Result<ConnectedState> QueryConnectedState() = 0;
  virtual Status SetConnectedState(ConnectedState state) = 0;
  // The calling thread's last extended error number and the server's text
  // for it ("" when there is none), as InternetGetLastResponseInfo keeps.
  virtual std::string LastResponseInfo() = 0;

 protected:
  Http() = default;
};

// The backend's HTTP service; lives for the whole process.
Http& HttpService();

}  // namespace vx::platform
