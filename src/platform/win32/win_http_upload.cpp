// Multipart uploads through WinInet: the body BuildMultipartBody made goes
// out with HttpSendRequest in one piece, under the user's proxy settings.
#include <windows.h>
#include <wininet.h>

#include <algorithm>

#include "platform/http.h"
#include "platform/http_upload.h"
#include "platform/win32/win_inet.h"

namespace vx::platform {

namespace {

using win32::UniqueInternet;
uint32_t LastError() { return win32::LastInetError(); }

}  // namespace

Result<HttpReply> PostMultipart(const MultipartPost& post) {
  using R = Result<HttpReply>;
  if (post.host.empty() || post.host.find_first_of("/ \t\r\n") != std::string::npos)
    return R::Fail(kInetErrInvalidUrl);
  UniqueInternet session(InternetOpenW(win32::Wide(post.agent).c_str(),
                                       INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return R::Fail(LastError());
  DWORD timeout = post.timeout_ms;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                       INTERNET_OPTION_RECEIVE_TIMEOUT})
    InternetSetOptionW(session.get(), option, &timeout, sizeof(timeout));
  UniqueInternet connection(InternetConnectW(session.get(), win32::Wide(post.host).c_str(),
                                             post.port, nullptr, nullptr,
                                             INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return R::Fail(LastError());
  std::string path = post.path.empty() || post.path[0] != '/' ? "/" + post.path : post.path;
  const wchar_t* accept[] = {L"*/*", nullptr};
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI |
                INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_PRAGMA_NOCACHE;
  UniqueInternet request(HttpOpenRequestW(connection.get(), L"POST", win32::Wide(path).c_str(),
                                          nullptr, nullptr, accept, flags, 0));
  if (!request) return R::Fail(LastError());
  std::string boundary = MultipartBoundary(post);
  std::string body = BuildMultipartBody(post, boundary);
  std::wstring headers =
      win32::Wide("Content-Type: multipart/form-data; boundary=" + boundary + "\r\n");
  if (!HttpSendRequestW(request.get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                        body.data(), static_cast<DWORD>(body.size())))
    return R::Fail(LastError());
  HttpReply reply;
  DWORD code = 0;
  DWORD size = sizeof(code);
  if (!HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code,
                      &size, nullptr))
    return R::Fail(LastError());
  reply.status = code;
  char buffer[4096];
  for (;;) {
    DWORD read = 0;
    if (!InternetReadFile(request.get(), buffer, sizeof(buffer), &read)) return R::Fail(LastError());
    if (read == 0) break;
    if (reply.body.size() < kMaxUploadReply)
      reply.body.append(buffer, std::min<size_t>(read, kMaxUploadReply - reply.body.size()));
  }
  return reply;
}

}  // namespace vx::platform
