#include "smtp_sink.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>

namespace vx::service {

namespace {

constexpr size_t kMaxLine = 64 * 1024;
constexpr size_t kMaxMessage = 64u << 20;

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::string Base64Decode(const std::string& in) {
  auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  std::string out;
  uint32_t acc = 0;
  int bits = 0;
  for (char c : in) {
    int v = value(c);
    if (v < 0) continue;
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((acc >> bits) & 0xFF));
    }
  }
  return out;
}

// Text between "<" and ">" of "MAIL FROM:<a@b>", else what follows ":".
std::string Address(const std::string& line) {
  auto lt = line.find('<');
  auto gt = line.find('>', lt == std::string::npos ? 0 : lt);
  if (lt != std::string::npos && gt != std::string::npos) return line.substr(lt + 1, gt - lt - 1);
  auto colon = line.find(':');
  return colon == std::string::npos ? std::string() : line.substr(colon + 1);
}

class Connection {
 public:
  explicit Connection(int fd) : fd_(fd) {}
  ~Connection() { close(fd_); }

  bool Send(const std::string& reply) {
    std::string out = reply + "\r\n";
    const char* p = out.data();
    size_t left = out.size();
    while (left > 0) {
      ssize_t n = ::send(fd_, p, left, MSG_NOSIGNAL);
      if (n <= 0) return false;
      p += n;
      left -= static_cast<size_t>(n);
    }
    return true;
  }

  // One line without its line end; false when the peer is gone or the line
  // is unreasonably long.
  bool ReadLine(std::string& line) {
    for (;;) {
      auto nl = buf_.find('\n');
      if (nl != std::string::npos) {
        line = buf_.substr(0, nl);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        buf_.erase(0, nl + 1);
        return true;
      }
      if (buf_.size() > kMaxLine) return false;
      char tmp[4096];
      ssize_t n = ::recv(fd_, tmp, sizeof(tmp), 0);
      if (n <= 0) return false;
      buf_.append(tmp, static_cast<size_t>(n));
    }
  }

 private:
  int fd_;
  std::string buf_;
};

}  // namespace

SmtpSink::~SmtpSink() { Stop(); }

int SmtpSink::Start(uint16_t port, std::string& error) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  if (listen_fd_ < 0) {
    error = std::string("socket: ") + std::strerror(errno);
    return -1;
  }
  int one = 1;
  setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
      ::listen(listen_fd_, 16) != 0) {
    error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
    close(listen_fd_);
    listen_fd_ = -1;
    return -1;
  }
  socklen_t len = sizeof(addr);
  getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  acceptor_ = std::thread([this] { AcceptLoop(); });
  return ntohs(addr.sin_port);
}

void SmtpSink::Stop() {
  if (stopping_.exchange(true)) return;
  if (listen_fd_ >= 0) {
    ::shutdown(listen_fd_, SHUT_RDWR);
    close(listen_fd_);
  }
  if (acceptor_.joinable()) acceptor_.join();
}

void SmtpSink::AcceptLoop() {
  while (!stopping_) {
    int fd = ::accept(listen_fd_, nullptr, nullptr);
    if (fd < 0) {
      if (stopping_ || (errno != EINTR && errno != ECONNABORTED)) return;
      continue;
    }
    // A silent client must not hold its thread for ever.
    timeval tv{60, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    std::thread([this, fd] { Serve(fd); }).detach();
  }
}

void SmtpSink::Serve(int fd) {
  Connection c(fd);
  if (!c.Send("220 127.0.0.1 vantrix-service ESMTP ready")) return;
  MailMessage msg;
  std::string line;
  while (c.ReadLine(line)) {
    std::string verb = Upper(line.substr(0, line.find(' ')));
    std::string arg = line.find(' ') == std::string::npos ? "" : line.substr(line.find(' ') + 1);
    bool ok = true;
    if (verb == "EHLO") {
      ok = c.Send("250-127.0.0.1 greets " + arg) && c.Send("250-AUTH LOGIN PLAIN") &&
           c.Send("250-8BITMIME") && c.Send("250 SIZE " + std::to_string(kMaxMessage));
    } else if (verb == "HELO") {
      ok = c.Send("250 127.0.0.1 greets " + arg);
    } else if (verb == "AUTH") {
      std::string mech = Upper(arg.substr(0, arg.find(' ')));
      std::string initial = arg.find(' ') == std::string::npos ? "" : arg.substr(arg.find(' ') + 1);
      if (mech == "PLAIN") {
        if (initial.empty()) {
          if (!c.Send("334 ") || !c.ReadLine(initial)) return;
        }
        std::string plain = Base64Decode(initial);  // authzid NUL user NUL password
        auto first = plain.find('\0');
        auto second = first == std::string::npos ? first : plain.find('\0', first + 1);
        msg.auth_user = second == std::string::npos ? plain : plain.substr(first + 1, second - first - 1);
        ok = c.Send("235 2.7.0 Authentication successful");
      } else if (mech == "LOGIN") {
        std::string user = initial, password;
        if (user.empty() && (!c.Send("334 VXNlcm5hbWU6") || !c.ReadLine(user))) return;
        if (!c.Send("334 UGFzc3dvcmQ6") || !c.ReadLine(password)) return;
        msg.auth_user = Base64Decode(user);
        ok = c.Send("235 2.7.0 Authentication successful");
      } else {
        ok = c.Send("504 5.5.4 Unrecognized authentication type");
      }
    } else if (verb == "MAIL") {
      msg.from = Address(line);
      msg.to.clear();
      ok = c.Send("250 2.1.0 OK");
    } else if (verb == "RCPT") {
      msg.to.push_back(Address(line));
      ok = c.Send("250 2.1.5 OK");
    } else if (verb == "DATA") {
      if (msg.to.empty()) {
        ok = c.Send("503 5.5.1 RCPT first");
        continue;
      }
      if (!c.Send("354 End data with <CR><LF>.<CR><LF>")) return;
      msg.data.clear();
      bool too_big = false;
      for (;;) {
        if (!c.ReadLine(line)) return;
        if (line == ".") break;
        if (!line.empty() && line[0] == '.') line.erase(0, 1);
        if (msg.data.size() + line.size() > kMaxMessage) too_big = true;
        if (!too_big) msg.data += line + "\r\n";
      }
      if (too_big) {
        ok = c.Send("552 5.3.4 Message too big");
      } else {
        deliver_(msg);
        ok = c.Send("250 2.0.0 OK queued");
      }
      msg.to.clear();
    } else if (verb == "RSET") {
      msg.from.clear();
      msg.to.clear();
      ok = c.Send("250 2.0.0 OK");
    } else if (verb == "NOOP") {
      ok = c.Send("250 2.0.0 OK");
    } else if (verb == "QUIT") {
      c.Send("221 2.0.0 Bye");
      return;
    } else {
      ok = c.Send("502 5.5.2 Command not recognized");
    }
    if (!ok) return;
  }
}

}  // namespace vx::service
