// Multipart uploads on the simulated machine: libcurl posts the body that
// BuildMultipartBody made. The machine's offline switch stops it as
// WinInet's would.
#include "platform/http_upload.h"

#include <curl/curl.h>

#include <algorithm>

#include "platform/sim/curl_handles.h"
#include "platform/http.h"

namespace vx::platform {

namespace {

using sim::SlistOwner;
using sim::UniqueCurl;

size_t KeepReply(char* data, size_t size, size_t n, void* reply_ptr) {
  auto* reply = static_cast<std::string*>(reply_ptr);
  size_t bytes = size * n;
  size_t room = kMaxUploadReply - std::min(kMaxUploadReply, reply->size());
  reply->append(data, std::min(room, bytes));
  return bytes;
}

uint32_t MapError(CURLcode rc) {
  switch (rc) {
    case CURLE_OPERATION_TIMEDOUT: return kInetErrTimeout;
    case CURLE_COULDNT_CONNECT: return kInetErrCannotConnect;
    case CURLE_COULDNT_RESOLVE_HOST: return kInetErrNameNotResolved;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR: return kInetErrConnectionAborted;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY: return kInetErrInvalidServerResponse;
    case CURLE_URL_MALFORMAT: return kInetErrInvalidUrl;
    default: return kInetErrInternal;
  }
}

}  // namespace

Result<HttpReply> PostMultipart(const MultipartPost& post) {
  using R = Result<HttpReply>;
  auto state = HttpService().QueryConnectedState();
  if (state.ok() && *state != ConnectedState::kConnected) return R::Fail(kInetErrDisconnected);
  if (post.host.empty() || post.host.find_first_of("/ \t\r\n") != std::string::npos)
    return R::Fail(kInetErrInvalidUrl);
  static const bool curl_ready = (curl_global_init(CURL_GLOBAL_DEFAULT), true);
  (void)curl_ready;
  UniqueCurl easy(curl_easy_init());
  if (!easy) return R::Fail(kInetErrInternal);
  CURL* c = easy.get();
  std::string boundary = MultipartBoundary(post);
  std::string body = BuildMultipartBody(post, boundary);
  std::string path = post.path.empty() || post.path[0] != '/' ? "/" + post.path : post.path;
  std::string url = "http://" + post.host + ":" + std::to_string(post.port) + path;
  SlistOwner headers;
  std::string type = "Content-Type: multipart/form-data; boundary=" + boundary;
  headers.list = curl_slist_append(headers.list, type.c_str());
  headers.list = curl_slist_append(headers.list, "Expect:");
  std::string reply_body;
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_POST, 1L);
  curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.list);
  curl_easy_setopt(c, CURLOPT_USERAGENT, post.agent.c_str());
  curl_easy_setopt(c, CURLOPT_PROXY, "");  // never the host environment's proxy
  curl_easy_setopt(c, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(post.timeout_ms));
  // Without progress for the time-out the transfer is given up.
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>((post.timeout_ms + 999) / 1000));
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &KeepReply);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &reply_body);
  CURLcode rc = curl_easy_perform(c);
  if (rc != CURLE_OK) return R::Fail(MapError(rc));
  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  HttpReply reply;
  reply.status = static_cast<uint32_t>(status);
  reply.body = std::move(reply_body);
  return reply;
}

}  // namespace vx::platform
