#include "platform/smtp.h"

namespace vx::platform {

bool SmtpAddressUsable(std::string_view address) {
  if (address.empty() || address.size() > 254) return false;
  for (char c : address) {
    auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F || c == '<' || c == '>' || c == '"' || c == '\\') return false;
  }
  return true;
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
