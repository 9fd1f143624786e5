#include "remote/codec/md5.h"

#include <cstring>

MD5_CTX md5;

namespace {
// Per-round shift amounts and the sine-derived constants of RFC 1321.
const unsigned int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
const unsigned int kT[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

unsigned int Rotl(unsigned int x, unsigned int n) { return (x << n) | (x >> (32 - n)); }

void Decode(unsigned int* out, const unsigned char* in, unsigned int len) {
  for (unsigned int i = 0, j = 0; j < len; ++i, j += 4)
    out[i] = unsigned(in[j]) | unsigned(in[j + 1]) << 8 | unsigned(in[j + 2]) << 16 |
             unsigned(in[j + 3]) << 24;
}

void Init(MD5_CTX* c) {
  c->count[0] = c->count[1] = 0;
  c->state[0] = 0x67452301;
  c->state[1] = 0xefcdab89;
  c->state[2] = 0x98badcfe;
  c->state[3] = 0x10325476;
}
}  // namespace

void MD5Transform(unsigned int state[4], unsigned char block[64]) {
  unsigned int x[16];
  Decode(x, block, 64);
  unsigned int a = state[0], b = state[1], c = state[2], d = state[3];
  for (unsigned int i = 0; i < 64; ++i) {
    unsigned int round = i / 16, f, g;
    switch (round) {
      case 0: f = (b & c) | (~b & d); g = i; break;
      case 1: f = (b & d) | (c & ~d); g = (5 * i + 1) % 16; break;
      case 2: f = b ^ c ^ d; g = (3 * i + 5) % 16; break;
      default: f = c ^ (b | ~d); g = (7 * i) % 16; break;
    }
    unsigned int t = d;
    d = c;
    c = b;
    b = b + Rotl(a + f + x[g] + kT[i], kShift[round][i % 4]);
    a = t;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

void MD5Encode(unsigned char* output, unsigned int* input, unsigned int len) {
  for (unsigned int i = 0, j = 0; j < len; ++i, j += 4) {
    output[j] = (unsigned char)(input[i] & 0xff);
    output[j + 1] = (unsigned char)((input[i] >> 8) & 0xff);
    output[j + 2] = (unsigned char)((input[i] >> 16) & 0xff);
    output[j + 3] = (unsigned char)((input[i] >> 24) & 0xff);
  }
}

void MD5Update(MD5_CTX* context, unsigned char* input, unsigned int inputLen) {
  unsigned int index = (context->count[0] >> 3) & 0x3F;
  if ((context->count[0] += inputLen << 3) < (inputLen << 3)) context->count[1]++;
  context->count[1] += inputLen >> 29;
  unsigned int partLen = 64 - index;
  unsigned int i = 0;
  if (inputLen >= partLen) {
    std::memcpy(&context->buffer[index], input, partLen);
    MD5Transform(context->state, context->buffer);
    for (i = partLen; i + 63 < inputLen; i += 64) MD5Transform(context->state, &input[i]);
    index = 0;
  }
  if (inputLen > i) std::memcpy(&context->buffer[index], &input[i], inputLen - i);
}

void MD5Calc(unsigned char* data, int len, unsigned char* digest) {
  static unsigned char padding[64] = {0x80};
  Init(&md5);
  if (data && len > 0) MD5Update(&md5, data, unsigned(len));
  unsigned char bits[8];
  MD5Encode(bits, md5.count, 8);
  unsigned int index = (md5.count[0] >> 3) & 0x3f;
  unsigned int padLen = index < 56 ? 56 - index : 120 - index;
  MD5Update(&md5, padding, padLen);
  MD5Update(&md5, bits, 8);
  MD5Encode(digest, md5.state, 16);
}
