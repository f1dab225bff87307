// SMTP on the simulated machine through libcurl, which speaks the protocol
// (EHLO, AUTH, MAIL, RCPT, DATA with dot-stuffing, QUIT) itself.
#include "platform/smtp.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>

#include "platform/sim/curl_handles.h"

namespace vx::platform {

namespace {

using sim::SlistOwner;
using sim::UniqueCurl;

struct Upload {
  const std::string* data;
  size_t offset = 0;
};

size_t ReadMessage(char* out, size_t size, size_t n, void* upload_ptr) {
  auto* up = static_cast<Upload*>(upload_ptr);
  size_t count = std::min(size * n, up->data->size() - up->offset);
  std::memcpy(out, up->data->data() + up->offset, count);
  up->offset += count;
  return count;
}

}  // namespace

Status SendSmtpMail(const SmtpMail& mail, std::string& error_text) {
  error_text.clear();
  if (!SmtpMailUsable(mail)) {
    error_text = "unusable host or address";
    return kErrorInvalidParameter;
  }
  static const bool curl_ready = (curl_global_init(CURL_GLOBAL_DEFAULT), true);
  (void)curl_ready;
  UniqueCurl easy(curl_easy_init());
  if (!easy) return kErrorNotEnoughMemory;
  CURL* c = easy.get();
  char error[CURL_ERROR_SIZE] = {};
  std::string url = "smtp://" + mail.host + ":" + std::to_string(mail.port);
  std::string from = "<" + mail.from + ">";
  SlistOwner rcpt;
  for (const std::string& to : mail.to) rcpt.list = curl_slist_append(rcpt.list, ("<" + to + ">").c_str());
  // libcurl adds the dot-stuffing; the message only needs its line ends.
  std::string data = mail.message;
  if (data.size() < 2 || data.compare(data.size() - 2, 2, "\r\n") != 0) data += "\r\n";
  Upload up{&data};
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_PROXY, "");
  curl_easy_setopt(c, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp");
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.c_str());
  curl_easy_setopt(c, CURLOPT_MAIL_RCPT, rcpt.list);
  curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(c, CURLOPT_READFUNCTION, &ReadMessage);
  curl_easy_setopt(c, CURLOPT_READDATA, &up);
  curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(data.size()));
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(mail.timeout_ms));
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, static_cast<long>((mail.timeout_ms + 999) / 1000));
  curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>((mail.timeout_ms + 999) / 1000));
  if (!mail.user.empty()) {
    curl_easy_setopt(c, CURLOPT_USERNAME, mail.user.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, mail.password.c_str());
    curl_easy_setopt(c, CURLOPT_LOGIN_OPTIONS,
                     mail.auth == SmtpAuth::kPlain ? "AUTH=PLAIN" : "AUTH=LOGIN");
  }
  CURLcode rc = curl_easy_perform(c);
  if (rc == CURLE_OK) return 0;
  error_text = error[0] ? error : curl_easy_strerror(rc);
  switch (rc) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST: return kSmtpErrConnect;
    case CURLE_OPERATION_TIMEDOUT: return kSmtpErrTimeout;
    case CURLE_LOGIN_DENIED: return kSmtpErrAuth;
    default: return kSmtpErrRejected;
  }
}

}  // namespace vx::platform
