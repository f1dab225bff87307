#include "common/md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace vx {
namespace {

TEST(Md5, KnownDigests) {
  struct Case {
    std::string input;
    const char* digest;
  } cases[] = {
      // RFC 1321's test suite.
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
      // Lengths around the padding boundary and whole blocks.
      {std::string(55, 'x'), "04364420e25c512fd958a70738aa8f72"},
      {std::string(56, 'x'), "668a72d5ba17f08e62dabcafad6db14b"},
      {std::string(64, 'x'), "c1bb4f81d892b2d57947682aeb252456"},
      {std::string(1000, 'x'), "398533d48111e9f664b1f64cb10c4b63"},
  };
  for (const auto& c : cases) EXPECT_EQ(Md5Hex(c.input), c.digest) << c.input.size();
}

TEST(Md5, PiecesOfAnySizeGiveTheSameDigest) {
  std::string data(10000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 2654435761u >> 24);
  const std::string whole = Md5Hex(data);
  for (size_t piece : {1u, 3u, 63u, 64u, 65u, 4096u, 9999u}) {
    Md5 md5;
    for (size_t at = 0; at < data.size(); at += piece)
      md5.Update(data.data() + at, std::min(piece, data.size() - at));
    EXPECT_EQ(md5.HexDigest(), whole) << piece;
  }
}

}  // namespace
}  // namespace vx
