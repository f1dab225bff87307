// A small SMTP client over Winsock: one connection, one message. Every
// exchange waits at most the mail's time-out, so a silent server cannot
// hold the caller.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <mutex>

#include "common/text.h"
#include "platform/smtp.h"
#include "platform/win32/win_handles.h"

namespace vx::platform {

namespace {

struct SocketTraits {
  using Type = SOCKET;
  static Type Invalid() { return INVALID_SOCKET; }
  static bool IsValid(Type h) { return h != INVALID_SOCKET; }
  static void Close(Type h) { closesocket(h); }
};
using UniqueSocket = UniqueHandle<SocketTraits>;

struct AddrInfoTraits {
  using Type = ADDRINFOW*;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { FreeAddrInfoW(h); }
};

bool StartWinsock() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] {
    WSADATA data;
    ok = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  });
  return ok;
}

class Session {
 public:
  Session(uint32_t timeout_ms, std::string& error) : timeout_ms_(timeout_ms), error_(error) {}

  Status Connect(const std::string& host, uint16_t port) {
    if (!StartWinsock()) return Fail(kSmtpErrConnect, "WSAStartup failed");
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    UniqueHandle<AddrInfoTraits> list;
    std::wstring service = std::to_wstring(port);
    if (GetAddrInfoW(win32::Wide(host).c_str(), service.c_str(), &hints, list.put()) != 0)
      return Fail(kSmtpErrConnect, "cannot resolve " + host);
    for (ADDRINFOW* a = list.get(); a; a = a->ai_next) {
      UniqueSocket s(socket(a->ai_family, a->ai_socktype, a->ai_protocol));
      if (!s) continue;
      // Connect without blocking so the time-out bounds it, then go back to
      // blocking sends and receives with their own time-outs.
      u_long nonblocking = 1;
      ioctlsocket(s.get(), FIONBIO, &nonblocking);
      int rc = connect(s.get(), a->ai_addr, static_cast<int>(a->ai_addrlen));
      if (rc != 0 && WSAGetLastError() != WSAEWOULDBLOCK) continue;
      if (rc != 0) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s.get(), &writable);
        FD_SET(s.get(), &failed);
        timeval tv{static_cast<long>(timeout_ms_ / 1000), static_cast<long>(timeout_ms_ % 1000) * 1000};
        if (select(0, nullptr, &writable, &failed, &tv) <= 0 || !FD_ISSET(s.get(), &writable))
          continue;
        int so_error = 0;
        int len = sizeof(so_error);
        getsockopt(s.get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&so_error), &len);
        if (so_error != 0) continue;
      }
      nonblocking = 0;
      ioctlsocket(s.get(), FIONBIO, &nonblocking);
      DWORD t = timeout_ms_;
      setsockopt(s.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&t), sizeof(t));
      setsockopt(s.get(), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&t), sizeof(t));
      socket_ = std::move(s);
      return 0;
    }
    return Fail(kSmtpErrConnect, "cannot connect to " + host + ":" + std::to_string(port));
  }

  Status Send(std::string_view data) {
    while (!data.empty()) {
      int chunk = static_cast<int>(std::min<size_t>(data.size(), 64 * 1024));
      int n = send(socket_.get(), data.data(), chunk, 0);
      if (n <= 0) return Fail(kSmtpErrTimeout, "send failed");
      data.remove_prefix(static_cast<size_t>(n));
    }
    return 0;
  }

  // Reads one reply (all lines of a multi-line one) and checks its code.
  Status Expect(int wanted, uint32_t fail_code = kSmtpErrRejected) {
    std::string last;
    for (;;) {
      std::string line;
      if (Status st = ReadLine(line); st != 0) return st;
      if (line.size() < 3) return Fail(kSmtpErrRejected, "bad reply: " + line);
      if (line.size() == 3 || line[3] != '-') {
        last = line;
        break;
      }
    }
    int code = std::atoi(last.substr(0, 3).c_str());
    if (code != wanted) return Fail(fail_code, last);
    return 0;
  }

  Status Command(std::string_view line, int wanted, uint32_t fail_code = kSmtpErrRejected) {
    if (Status st = Send(std::string(line) + "\r\n"); st != 0) return st;
    return Expect(wanted, fail_code);
  }

 private:
  Status ReadLine(std::string& line) {
    for (;;) {
      auto nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return 0;
      }
      if (buffer_.size() > 64 * 1024) return Fail(kSmtpErrRejected, "reply line too long");
      char chunk[1024];
      int n = recv(socket_.get(), chunk, sizeof(chunk), 0);
      if (n <= 0) return Fail(n == 0 ? kSmtpErrRejected : kSmtpErrTimeout, "no reply");
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }

  Status Fail(uint32_t code, std::string text) {
    error_ = std::move(text);
    return code;
  }

  uint32_t timeout_ms_;
  std::string& error_;
  UniqueSocket socket_;
  std::string buffer_;
};

}  // namespace

Status SendSmtpMail(const SmtpMail& mail, std::string& error_text) {
  error_text.clear();
  if (!SmtpMailUsable(mail)) {
    error_text = "unusable host or address";
    return kErrorInvalidParameter;
  }
  Session s(mail.timeout_ms, error_text);
  if (Status st = s.Connect(mail.host, mail.port); st != 0) return st;
  if (Status st = s.Expect(220); st != 0) return st;
  if (Status st = s.Command("EHLO localhost", 250); st != 0) return st;
  if (!mail.user.empty()) {
    if (mail.auth == SmtpAuth::kPlain) {
      std::string token = Base64Encode(std::string(1, '\0') + mail.user + '\0' + mail.password);
      if (Status st = s.Command("AUTH PLAIN " + token, 235, kSmtpErrAuth); st != 0) return st;
    } else {
      if (Status st = s.Command("AUTH LOGIN", 334, kSmtpErrAuth); st != 0) return st;
      if (Status st = s.Command(Base64Encode(mail.user), 334, kSmtpErrAuth); st != 0) return st;
      if (Status st = s.Command(Base64Encode(mail.password), 235, kSmtpErrAuth); st != 0)
        return st;
    }
  }
  if (Status st = s.Command("MAIL FROM:<" + mail.from + ">", 250); st != 0) return st;
  for (const std::string& to : mail.to)
    if (Status st = s.Command("RCPT TO:<" + to + ">", 250); st != 0) return st;
  if (Status st = s.Command("DATA", 354); st != 0) return st;
  if (Status st = s.Send(SmtpDotStuff(mail.message) + ".\r\n"); st != 0) return st;
  if (Status st = s.Expect(250); st != 0) return st;
  // The message is accepted; a failing goodbye changes nothing.
  s.Command("QUIT", 221);
  error_text.clear();
  return 0;
}

}  // namespace vx::platform
