#include "platform/smtp.h"

#include <algorithm>

namespace vx::platform {

bool SmtpAddressUsable(std::string_view address) {
  if (address.empty() || address.size() > 254) return false;
  for (char c : address) {
    auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F || c == '<' || c == '>' || c == '"' || c == '\\') return false;
  }
  return true;
}

bool SmtpMailUsable(const SmtpMail& mail) {
  return SmtpAddressUsable(mail.from) && !mail.to.empty() &&
         std::all_of(mail.to.begin(), mail.to.end(),
                     [](const std::string& a) { return SmtpAddressUsable(a); }) &&
         !mail.host.empty() && mail.host.find_first_of("/ \t\r\n@") == std::string::npos &&
         mail.user.find_first_of("\r\n") == std::string::npos &&
         mail.password.find_first_of("\r\n") == std::string::npos;
}

std::string SmtpDotStuff(std::string_view message) {
  std::string out;
  out.reserve(message.size() + 16);
  bool line_start = true;
  for (char c : message) {
    if (line_start && c == '.') out += '.';
    out += c;
    line_start = c == '\n';
  }
  if (out.size() < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0) out += "\r\n";
  return out;
}

}  // namespace vx::platform
