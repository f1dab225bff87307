// MD5 digests (RFC 1321) as 32 lower-case hexadecimal digits: device
// fingerprints, driver file checksums and the archive hashes the service
// publishes all use this form. Self-contained (no other project code), so
// the command-line tools can compile it on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vx {

// Streaming digest for data that arrives in pieces (files read in blocks).
class Md5 {
 public:
  Md5();
  void Update(const void* data, size_t size);
  void Update(std::string_view s) { Update(s.data(), s.size()); }
  // Ends the computation; the object is spent afterwards.
  std::string HexDigest();

 private:
  void Block(const uint8_t* p);
  uint32_t state_[4];
  uint64_t length_ = 0;  // bytes
  uint8_t buffer_[64];
  size_t used_ = 0;
};

std::string Md5Hex(std::string_view bytes);
// nullopt when the file cannot be read.
std::optional<std::string> Md5HexOfFile(const std::filesystem::path& file);

}  // namespace vx
