#include "remote/ws/ws_sha1.h"

#include <cstring>

namespace {
uint32_t Rol(uint32_t v, int n) { return (v << n) | (v >> (32 - n)); }

void Transform(uint32_t state[5], const unsigned char block[64]) {
  uint32_t w[80];
  for (int i = 0; i < 16; ++i)
    w[i] = uint32_t(block[4 * i]) << 24 | uint32_t(block[4 * i + 1]) << 16 |
           uint32_t(block[4 * i + 2]) << 8 | uint32_t(block[4 * i + 3]);
  for (int i = 16; i < 80; ++i) w[i] = Rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
  for (int i = 0; i < 80; ++i) {
    uint32_t f, k;
    if (i < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (i < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (i < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    uint32_t t = Rol(a, 5) + f + e + k + w[i];
    e = d;
    d = c;
    c = Rol(b, 30);
    b = a;
    a = t;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
}
}  // namespace

void SHA1Init(SHA1_CTX* ctx) {
  static const uint32_t init[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  std::memcpy(ctx->state, init, sizeof init);
  ctx->count = 0;
}

void SHA1Update(SHA1_CTX* ctx, const unsigned char* data, size_t len) {
  size_t used = size_t(ctx->count % 64);
  ctx->count += len;
  while (len > 0) {
    size_t take = 64 - used < len ? 64 - used : len;
    std::memcpy(ctx->buffer + used, data, take);
    used += take;
    data += take;
    len -= take;
    if (used == 64) {
      Transform(ctx->state, ctx->buffer);
      used = 0;
    }
  }
}

void SHA1Final(unsigned char digest[20], SHA1_CTX* ctx) {
  uint64_t bits = ctx->count * 8;
  static const unsigned char pad80 = 0x80, zero = 0;
  SHA1Update(ctx, &pad80, 1);
  while (ctx->count % 64 != 56) SHA1Update(ctx, &zero, 1);
  unsigned char len[8];
  for (int i = 0; i < 8; ++i) len[i] = (unsigned char)(bits >> (56 - 8 * i));
  SHA1Update(ctx, len, 8);
  for (int i = 0; i < 20; ++i) digest[i] = (unsigned char)(ctx->state[i / 4] >> (24 - 8 * (i % 4)));
}

std::string base64_encode(const unsigned char* data, size_t len) {
  static const char alphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((len + 2) / 3 * 4);
  for (size_t i = 0; i < len; i += 3) {
    uint32_t v = uint32_t(data[i]) << 16;
    if (i + 1 < len) v |= uint32_t(data[i + 1]) << 8;
    if (i + 2 < len) v |= data[i + 2];
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += i + 1 < len ? alphabet[(v >> 6) & 63] : '=';
    out += i + 2 < len ? alphabet[v & 63] : '=';
  }
  return out;
}

std::string ws_accept_value(const std::string& key) {
  static const char kGuid[] = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
  std::string text = key + kGuid;
  SHA1_CTX ctx;
  SHA1Init(&ctx);
  SHA1Update(&ctx, reinterpret_cast<const unsigned char*>(text.data()), text.size());
  unsigned char digest[20];
  SHA1Final(digest, &ctx);
  return base64_encode(digest, sizeof digest);
}
