// MD5 digests (RFC 1321) of files and strings, as the service publishes them
// for archives and packages: 32 lower-case hexadecimal digits.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vx::dbgen {

class Md5 {
 public:
  Md5();
  void Update(const void* data, size_t size);
  void Update(std::string_view s) { Update(s.data(), s.size()); }
  std::string HexDigest();  // ends the computation

 private:
  void Block(const uint8_t* p);
  uint32_t state_[4];
  uint64_t length_ = 0;  // bytes
  uint8_t buffer_[64];
  size_t used_ = 0;
};

std::string Md5Hex(std::string_view data);
std::optional<std::string> Md5HexOfFile(const std::filesystem::path& file);

}  // namespace vx::dbgen
