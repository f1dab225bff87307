// A mail sink for problem reports: enough SMTP for a client that greets,
// authenticates (any account is accepted), names sender and recipients and
// sends one or more messages. Each accepted message is handed over whole.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace vx::service {

struct MailMessage {
  std::string auth_user;  // empty when the client did not authenticate
  std::string from;
  std::vector<std::string> to;
  std::string data;  // the message as sent, dot-stuffing removed, CR LF line ends
};

class SmtpSink {
 public:
  using Deliver = std::function<void(const MailMessage&)>;
  explicit SmtpSink(Deliver deliver) : deliver_(std::move(deliver)) {}
  ~SmtpSink();
  SmtpSink(const SmtpSink&) = delete;
  SmtpSink& operator=(const SmtpSink&) = delete;

  // Listens on 127.0.0.1:port (0: a free port); the port actually used, or
  // -1 with error set.
  int Start(uint16_t port, std::string& error);
  void Stop();

 private:
  void AcceptLoop();
  void Serve(int fd);

  Deliver deliver_;
  int listen_fd_ = -1;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
};

}  // namespace vx::service
