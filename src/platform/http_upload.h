// Multipart form uploads (RFC 7578): one POST carrying text fields and
// files, answered with a status and a small body. The body is built here,
// the same bytes on every backend; the backends only carry it (libcurl on
// the simulated machine, WinInet on Windows).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace vx::platform {

struct MultipartField {
  std::string name;
  std::string value;
};

struct MultipartFile {
  std::string field;
  std::string file_name;  // bare name sent in the part's disposition
  std::string content_type;
  std::string data;
};

struct MultipartPost {
  std::string host;  // name only; the port is separate
  uint16_t port = 80;
  std::string path;  // begins with "/", may hold a query
  std::string agent;
  std::vector<MultipartField> fields;
  std::vector<MultipartFile> files;
  uint32_t timeout_ms = 30000;  // connect, send and receive each
};

struct HttpReply {
  uint32_t status = 0;
  std::string body;  // at most kMaxUploadReply bytes are kept
};

inline constexpr size_t kMaxUploadReply = 1 << 20;

// A boundary that occurs in none of the post's values or files.
std::string MultipartBoundary(const MultipartPost& post);
// The request body for that boundary. Quotes and line breaks in names are
// replaced, so a file name cannot add headers to its part.
std::string BuildMultipartBody(const MultipartPost& post, std::string_view boundary);

// Sends the post and reads the reply. Fails with a WinInet error number
// (platform/http.h) when no reply arrives; any status is a reply.
Result<HttpReply> PostMultipart(const MultipartPost& post);

}  // namespace vx::platform
