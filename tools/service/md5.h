// MD5 (RFC 1321) of files, for the "file_hash" of the database info reply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace vx::service {

class Md5 {
 public:
  Md5();
  void Update(const void* data, size_t size);
  // 32 lower-case hexadecimal digits; the object is spent afterwards.
  std::string HexDigest();

 private:
  void Block(const uint8_t* p);
  uint32_t s_[4];
  uint64_t bytes_ = 0;
  uint8_t buf_[64];
  size_t used_ = 0;
};

// Empty when the file cannot be read.
std::string Md5OfFile(const std::filesystem::path& file);

}  // namespace vx::service
