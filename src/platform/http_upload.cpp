#include "platform/http_upload.h"

#include <atomic>
#include <chrono>
#include <cstdio>

namespace vx::platform {

namespace {

std::string HeaderSafe(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c == '"' || c == '\r' || c == '\n' || c == '\0') c = '_';
  return out;
}

bool Contains(const MultipartPost& post, const std::string& boundary) {
  for (const auto& f : post.fields)
    if (f.value.find(boundary) != std::string::npos) return true;
  for (const auto& f : post.files)
    if (f.data.find(boundary) != std::string::npos) return true;
  return false;
}

}  // namespace

std::string MultipartBoundary(const MultipartPost& post) {
  static std::atomic<uint64_t> counter{0};
  uint64_t seed = static_cast<uint64_t>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  for (;;) {
    char buf[64];
    std::snprintf(buf, sizeof(buf), "----VantrixFormBoundary%016llx%04llx",
                  static_cast<unsigned long long>(seed),
                  static_cast<unsigned long long>(counter++ & 0xFFFF));
    if (!Contains(post, buf)) return buf;
  }
}

std::string BuildMultipartBody(const MultipartPost& post, std::string_view boundary) {
  std::string b(boundary);
  std::string body;
  for (const auto& f : post.fields) {
    body += "--" + b + "\r\n";
    body += "Content-Disposition: form-data; name=\"" + HeaderSafe(f.name) + "\"\r\n\r\n";
    body += f.value + "\r\n";
  }
  for (const auto& f : post.files) {
    body += "--" + b + "\r\n";
    body += "Content-Disposition: form-data; name=\"" + HeaderSafe(f.field) + "\"; filename=\"" +
            HeaderSafe(f.file_name) + "\"\r\n";
    body += "Content-Type: " +
            HeaderSafe(f.content_type.empty() ? "application/octet-stream" : f.content_type) +
            "\r\n\r\n";
    body += f.data + "\r\n";
  }
  body += "--" + b + "--\r\n";
  return body;
}

}  // namespace vx::platform
