#include "common/md5.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <utility>
#include <vector>

namespace vx {
namespace {

constexpr uint32_t kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

// floor(abs(sin(i + 1)) * 2^32), the RFC's table T.
constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

uint32_t Rotl(uint32_t x, uint32_t n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

Md5::Md5() : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}

namespace {

// One of the 64 steps, with the round function and message word fixed at
// compile time: the looped form with its branches and modulo ran at half
// the speed of md5sum, which the database updater's archive check felt.
template <int I>
inline void Step(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, const uint32_t* m) {
  uint32_t f;
  constexpr int g = I < 16 ? I : I < 32 ? (5 * I + 1) % 16 : I < 48 ? (3 * I + 5) % 16 : (7 * I) % 16;
  if constexpr (I < 16) {
    f = d ^ (b & (c ^ d));
  } else if constexpr (I < 32) {
    f = c ^ (d & (b ^ c));
  } else if constexpr (I < 48) {
    f = b ^ c ^ d;
  } else {
    f = c ^ (b | ~d);
  }
  a = b + Rotl(a + f + kSine[I] + m[g], kShift[I]);
}

// Step I works on the state words rotated by I places, as the RFC's
// [abcd] [dabc] [cdab] [bcda] rows do.
template <size_t... I>
inline void Steps(uint32_t (&v)[4], const uint32_t* m, std::index_sequence<I...>) {
  (Step<static_cast<int>(I)>(v[(64 - I) % 4], v[(65 - I) % 4], v[(66 - I) % 4],
                             v[(67 - I) % 4], m),
   ...);
}

}  // namespace

void Md5::Block(const uint8_t* p) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i)
    m[i] = uint32_t(p[i * 4]) | uint32_t(p[i * 4 + 1]) << 8 | uint32_t(p[i * 4 + 2]) << 16 |
           uint32_t(p[i * 4 + 3]) << 24;
  uint32_t v[4] = {state_[0], state_[1], state_[2], state_[3]};
  Steps(v, m, std::make_index_sequence<64>());
  state_[0] += v[0];
  state_[1] += v[1];
  state_[2] += v[2];
  state_[3] += v[3];
}

void Md5::Update(const void* data, size_t size) {
  auto p = static_cast<const uint8_t*>(data);
  length_ += size;
  while (size > 0) {
    // Whole blocks straight from the caller's data, without the copy.
    if (used_ == 0 && size >= sizeof buffer_) {
      Block(p);
      p += sizeof buffer_;
      size -= sizeof buffer_;
      continue;
    }
    size_t take = std::min(size, sizeof buffer_ - used_);
    std::memcpy(buffer_ + used_, p, take);
    used_ += take;
    p += take;
    size -= take;
    if (used_ == sizeof buffer_) {
      Block(buffer_);
      used_ = 0;
    }
  }
}

std::string Md5::HexDigest() {
  uint64_t bits = length_ * 8;
  uint8_t pad = 0x80;
  Update(&pad, 1);
  uint8_t zero = 0;
  while (used_ != 56) Update(&zero, 1);
  uint8_t len[8];
  for (int i = 0; i < 8; ++i) len[i] = uint8_t(bits >> (8 * i));
  Update(len, 8);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (uint32_t word : state_)
    for (int i = 0; i < 4; ++i) {
      uint8_t byte = uint8_t(word >> (8 * i));
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  return out;
}

std::string Md5Hex(std::string_view bytes) {
  Md5 md5;
  md5.Update(bytes);
  return md5.HexDigest();
}

std::optional<std::string> Md5HexOfFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  Md5 md5;
  std::vector<char> buf(1 << 16);
  while (in) {
    in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
    md5.Update(buf.data(), static_cast<size_t>(in.gcount()));
  }
  if (in.bad()) return std::nullopt;
  return md5.HexDigest();
}

}  // namespace vx
