#include "md5.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace vx::service {

namespace {

constexpr uint32_t kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

// floor(abs(sin(i + 1)) * 2^32), computed once rather than typed out.
struct SineTable {
  uint32_t k[64];
  SineTable() {
    for (int i = 0; i < 64; ++i)
      k[i] = static_cast<uint32_t>(static_cast<uint64_t>(
          std::abs(std::sin(static_cast<double>(i + 1))) * 4294967296.0));
  }
};

uint32_t Rotl(uint32_t x, uint32_t c) { return (x << c) | (x >> (32 - c)); }

}  // namespace

Md5::Md5() : s_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}

void Md5::Block(const uint8_t* p) {
  static const SineTable table;
  uint32_t m[16];
  for (int i = 0; i < 16; ++i)
    m[i] = uint32_t(p[i * 4]) | uint32_t(p[i * 4 + 1]) << 8 | uint32_t(p[i * 4 + 2]) << 16 |
           uint32_t(p[i * 4 + 3]) << 24;
  uint32_t a = s_[0], b = s_[1], c = s_[2], d = s_[3];
  for (uint32_t i = 0; i < 64; ++i) {
    uint32_t f, g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    uint32_t t = d;
    d = c;
    c = b;
    b = b + Rotl(a + f + table.k[i] + m[g], kShift[i]);
    a = t;
  }
  s_[0] += a;
  s_[1] += b;
  s_[2] += c;
  s_[3] += d;
}

void Md5::Update(const void* data, size_t size) {
  auto* p = static_cast<const uint8_t*>(data);
  bytes_ += size;
  while (size > 0) {
    size_t n = std::min(size, sizeof(buf_) - used_);
    std::memcpy(buf_ + used_, p, n);
    used_ += n;
    p += n;
    size -= n;
    if (used_ == 64) {
      Block(buf_);
      used_ = 0;
    }
  }
}

std::string Md5::HexDigest() {
  uint64_t bits = bytes_ * 8;
  uint8_t pad = 0x80;
  Update(&pad, 1);
  uint8_t zero = 0;
  while (used_ != 56) Update(&zero, 1);
  uint8_t len[8];
  for (int i = 0; i < 8; ++i) len[i] = static_cast<uint8_t>(bits >> (8 * i));
  Update(len, 8);
  static const char* kHex = "0123456789abcdef";
  std::string out;
  for (uint32_t v : s_)
    for (int i = 0; i < 4; ++i) {
      uint8_t byte = static_cast<uint8_t>(v >> (8 * i));
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 15]);
    }
  return out;
}

std::string Md5OfFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  Md5 md5;
  std::vector<char> buf(1 << 16);
  while (in) {
    in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
    if (in.gcount() > 0) md5.Update(buf.data(), static_cast<size_t>(in.gcount()));
  }
  if (in.bad()) return {};
  return md5.HexDigest();
}

}  // namespace vx::service
