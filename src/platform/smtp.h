// Sending one mail through an SMTP server that wants a login: connect,
// greet, authenticate, name sender and recipients, hand over the message,
// quit. libcurl carries it on the simulated machine, a small Winsock client
// on Windows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace vx::platform {

enum class SmtpAuth { kLogin, kPlain };

struct SmtpMail {
  std::string host;  // name only
  uint16_t port = 25;
  std::string user;  // empty: no authentication
  std::string password;
  SmtpAuth auth = SmtpAuth::kLogin;
  std::string from;             // envelope sender address
  std::vector<std::string> to;  // envelope recipients
  std::string message;          // RFC 5322 text with CR LF line ends, not dot-stuffed
  uint32_t timeout_ms = 30000;  // per exchange
};

// Error numbers of a failed send (with the server's text where it gave one).
enum : uint32_t {
  kSmtpErrConnect = 12029,   // same number as the HTTP connect failure
  kSmtpErrTimeout = 12002,
  kSmtpErrRejected = 12152,  // a reply other than the expected one
  kSmtpErrAuth = 12015,      // ERROR_INTERNET_LOGIN_FAILURE
};

// True for an address that can stand in an SMTP command: not empty, no
// blanks, control characters, "<", ">" or quotes.
bool SmtpAddressUsable(std::string_view address);

// True when every part of the mail that goes into a command is usable: the
// addresses, a host name without path, blank or "@", and a user and
// password without line breaks (they would end the command early).
bool SmtpMailUsable(const SmtpMail& mail);

// The message with every line that begins with "." given a second one
// (RFC 5321 4.5.2) and ending in CR LF.
std::string SmtpDotStuff(std::string_view message);

// 0 on acceptance of the message by the server; otherwise an error number
// above and error_text tells what went wrong.
Status SendSmtpMail(const SmtpMail& mail, std::string& error_text);

}  // namespace vx::platform
