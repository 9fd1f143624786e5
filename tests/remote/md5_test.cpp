#include "remote/codec/md5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {
std::string Hex(const unsigned char d[16]) {
  char out[33];
  for (int i = 0; i < 16; ++i) std::snprintf(out + 2 * i, 3, "%02x", d[i]);
  return out;
}

std::string Md5Of(std::vector<unsigned char> data) {
  unsigned char digest[16];
  MD5Calc(data.empty() ? nullptr : data.data(), int(data.size()), digest);
  return Hex(digest);
}

std::string Md5Of(const std::string& s) { return Md5Of(std::vector<unsigned char>(s.begin(), s.end())); }
}  // namespace

TEST(Md5, Rfc1321TestSuite) {
  struct Case {
    const char* text;
    const char* digest;
  };
  const Case suite[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const Case& c : suite) EXPECT_EQ(Md5Of(std::string(c.text)), c.digest) << '"' << c.text << '"';
}

TEST(Md5, PaddingAtBlockBoundaries) {
  // 55 bytes still fit the length in the block; 56 and 64 need a whole extra one.
  EXPECT_EQ(Md5Of(std::string(55, 'a')), "ef1772b6dff9a122358552954ad0df65");
  EXPECT_EQ(Md5Of(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
  EXPECT_EQ(Md5Of(std::string(64, 'a')), "014842d480b571495a4a0363793f7367");
  EXPECT_EQ(Md5Of(std::string(128, 'a')), "e510683b3f5ffe4093d021808bc6ff70");
}

TEST(Md5, LongAndBinaryDataAndRepeatedUse) {
  std::vector<unsigned char> bytes;
  for (int r = 0; r < 4; ++r)
    for (int i = 0; i < 256; ++i) bytes.push_back((unsigned char)i);
  EXPECT_EQ(Md5Of(bytes), "b2ea9f7fcea831a4a63b213f41a8855b");
  EXPECT_EQ(Md5Of(std::string(1000000, 'a')), "7707d6ae4e027c70eea2a935c2296f21");
  // The global context starts afresh for every digest.
  EXPECT_EQ(Md5Of(std::string("abc")), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5, NegativeLengthIsAnEmptyMessage) {
  unsigned char data[4] = {1, 2, 3, 4}, digest[16];
  MD5Calc(data, -5, digest);
  EXPECT_EQ(Hex(digest), "d41d8cd98f00b204e9800998ecf8427e");
}
