// HTTP through WinInet, the system's own client: its proxy configuration,
// offline mode and connection limits are the user's.
#include <windows.h>
#include <wininet.h>

#include "platform/http.h"
#include "platform/win32/win_inet.h"

namespace vx::platform {

namespace {

using win32::UniqueInternet;
uint32_t LastError() { return win32::LastInetError(); }

class WinRequest : public HttpRequest {
 public:
  explicit WinRequest(UniqueInternet h) : h_(std::move(h)) {}

  Status Send(std::string_view headers) override {
    std::wstring w = win32::Wide(headers);
    BOOL ok = HttpSendRequestW(h_.get(), w.empty() ? nullptr : w.c_str(),
                               w.empty() ? 0 : static_cast<DWORD>(-1), nullptr, 0);
    return ok ? 0 : LastError();
  }

  Result<uint32_t> StatusCode() override {
    DWORD code = 0;
    DWORD size = sizeof(code);
    if (!HttpQueryInfoW(h_.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size,
                        nullptr))
      return Result<uint32_t>::Fail(LastError());
    return static_cast<uint32_t>(code);
  }

  // Read as text: the numeric form is 32 bits wide and would wrap for
  // bodies of 4 GB and more.
  Result<uint64_t> ContentLength() override {
    wchar_t text[32] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    if (!HttpQueryInfoW(h_.get(), HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr))
      return Result<uint64_t>::Fail(LastError());
    uint64_t v = 0;
    bool any = false;
    for (const wchar_t* p = text; *p; ++p) {
      if (*p == L' ') continue;
      if (*p < L'0' || *p > L'9' || v > (UINT64_MAX - 9) / 10)
        return Result<uint64_t>::Fail(kInetErrInvalidServerResponse);
      v = v * 10 + static_cast<uint64_t>(*p - L'0');
      any = true;
    }
    if (!any) return Result<uint64_t>::Fail(kInetErrInvalidServerResponse);
    return v;
  }

  Result<size_t> Read(void* buffer, size_t size) override {
    DWORD got = 0;
    DWORD want = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
    if (!InternetReadFile(h_.get(), buffer, want, &got)) return Result<size_t>::Fail(LastError());
    return static_cast<size_t>(got);
  }

 private:
  UniqueInternet h_;
};

class WinConnection : public HttpConnection {
 public:
  explicit WinConnection(UniqueInternet h) : h_(std::move(h)) {}

  Result<std::unique_ptr<HttpRequest>> OpenRequest(std::string_view verb, std::string_view path,
                                                   const HttpRequestFlags& f) override {
    DWORD flags = 0;
    if (f.reload) flags |= INTERNET_FLAG_RELOAD;
    if (f.no_cache_write) flags |= INTERNET_FLAG_NO_CACHE_WRITE;
    if (f.keep_connection) flags |= INTERNET_FLAG_KEEP_CONNECTION;
    if (f.no_cookies) flags |= INTERNET_FLAG_NO_COOKIES;
    if (f.no_ui) flags |= INTERNET_FLAG_NO_UI;
    if (f.pragma_no_cache) flags |= INTERNET_FLAG_PRAGMA_NOCACHE;
    if (f.secure) flags |= INTERNET_FLAG_SECURE;
    std::wstring wverb = win32::Wide(verb);
    std::wstring wpath = win32::Wide(path);
    UniqueInternet h(HttpOpenRequestW(h_.get(), wverb.c_str(), wpath.c_str(), nullptr, nullptr,
                                      nullptr, flags, 0));
    if (!h) return Result<std::unique_ptr<HttpRequest>>::Fail(LastError());
    return Result<std::unique_ptr<HttpRequest>>(std::make_unique<WinRequest>(std::move(h)));
  }

 private:
  UniqueInternet h_;
};

class WinSession : public HttpSession {
 public:
  explicit WinSession(UniqueInternet h) : h_(std::move(h)) {}

  Status SetTimeout(HttpTimeout which, uint32_t ms) override {
    DWORD option = which == HttpTimeout::kConnect ? INTERNET_OPTION_CONNECT_TIMEOUT
                   : which == HttpTimeout::kSend  ? INTERNET_OPTION_SEND_TIMEOUT
                                                  : INTERNET_OPTION_RECEIVE_TIMEOUT;
    DWORD value = ms;
    return InternetSetOptionW(h_.get(), option, &value, sizeof(value)) ? 0 : LastError();
  }

  Result<std::unique_ptr<HttpConnection>> Connect(std::string_view host, uint16_t port,
                                                  std::string_view proxy_user,
                                                  std::string_view proxy_password) override {
    using R = Result<std::unique_ptr<HttpConnection>>;
    std::wstring whost = win32::Wide(host);
    UniqueInternet h(InternetConnectW(h_.get(), whost.c_str(), port, nullptr, nullptr,
                                      INTERNET_SERVICE_HTTP, 0, 0));
    if (!h) return R::Fail(LastError());
    if (!proxy_user.empty()) {
      std::wstring user = win32::Wide(proxy_user);
      std::wstring password = win32::Wide(proxy_password);
      if (!InternetSetOptionW(h.get(), INTERNET_OPTION_PROXY_USERNAME, user.data(),
                              static_cast<DWORD>(user.size())) ||
          !InternetSetOptionW(h.get(), INTERNET_OPTION_PROXY_PASSWORD, password.data(),
                              static_cast<DWORD>(password.size())))
        return R::Fail(LastError());
    }
    return R(std::make_unique<WinConnection>(std::move(h)));
  }

 private:
  UniqueInternet h_;
};

class WinHttp : public Http {
 public:
  Result<std::unique_ptr<HttpSession>> OpenSession(std::string_view agent,
                                                   const HttpProxy& proxy) override {
    std::wstring wagent = win32::Wide(agent);
    std::wstring wproxy = win32::Wide(proxy.address);
    UniqueInternet h(InternetOpenW(wagent.c_str(),
                                   proxy.use ? INTERNET_OPEN_TYPE_PROXY
                                             : INTERNET_OPEN_TYPE_PRECONFIG,
                                   proxy.use ? wproxy.c_str() : nullptr, nullptr, 0));
    if (!h) return Result<std::unique_ptr<HttpSession>>::Fail(LastError());
    return Result<std::unique_ptr<HttpSession>>(std::make_unique<WinSession>(std::move(h)));
  }

  Status SetMaxConnsPerServer(uint32_t n) override {
    return SetGlobal(INTERNET_OPTION_MAX_CONNS_PER_SERVER, n);
  }
  Status SetMaxConnsPer10Server(uint32_t n) override {
    return SetGlobal(INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, n);
  }

  Result<ConnectedState> QueryConnectedState() override {
    INTERNET_CONNECTED_INFO info{};
    DWORD size = sizeof(info);
    if (!InternetQueryOptionW(nullptr, INTERNET_OPTION_CONNECTED_STATE, &info, &size))
      return Result<ConnectedState>::Fail(LastError());
    if (info.dwConnectedState & INTERNET_STATE_DISCONNECTED_BY_USER)
      return ConnectedState::kDisconnectedByUser;
    if (info.dwConnectedState & INTERNET_STATE_DISCONNECTED) return ConnectedState::kDisconnected;
    return ConnectedState::kConnected;
  }

  Status SetConnectedState(ConnectedState state) override {
    INTERNET_CONNECTED_INFO info{};
    info.dwConnectedState = static_cast<DWORD>(state);
    info.dwFlags = state == ConnectedState::kConnected ? 0 : ISO_FORCE_DISCONNECTED;
    return InternetSetOptionW(nullptr, INTERNET_OPTION_CONNECTED_STATE, &info, sizeof(info))
               ? 0
               : LastError();
  }

  std::string LastResponseInfo() override {
    DWORD code = 0;
    DWORD size = 0;
    InternetGetLastResponseInfoW(&code, nullptr, &size);
    if (size == 0) return {};
    std::wstring text(size + 1, L'\0');
    DWORD len = size + 1;
    if (!InternetGetLastResponseInfoW(&code, text.data(), &len)) return {};
    text.resize(len);
    return std::to_string(code) + " " + win32::Narrow(text);
  }

 private:
  static Status SetGlobal(DWORD option, uint32_t n) {
    DWORD value = n;
    return InternetSetOptionW(nullptr, option, &value, sizeof(value)) ? 0 : LastError();
  }
};

}  // namespace

Http& HttpService() {
  static WinHttp http;
  return http;
}

}  // namespace vx::platform
