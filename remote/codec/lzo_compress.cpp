#include "remote/codec/lzo_compress.h"

#include <lzo/lzo1x.h>

#include <cstdio>

namespace {
// The compressor's work memory, aligned as the library wants it.
alignas(lzo_align_t) unsigned char wrkmem[LZO1X_1_MEM_COMPRESS];

int Run(const uint8_t* input, size_t length, uint8_t* output, lzo_uint* out) {
  if (lzo_init() != LZO_E_OK) {
    std::printf("internal error - lzo_init() failed !!!\n");
    return kLzoInitFailed;
  }
  if (!input || !output) return kLzoFailed;
  const int r = lzo1x_1_compress(input, lzo_uint(length), output, out, wrkmem);
  if (r != LZO_E_OK) {
    std::printf("internal error - compression failed: %d\n", r);
    return kLzoFailed;
  }
  if (*out >= length) {
    std::printf("This block contains incompressible data.\n");
    return kLzoIncompressible;
  }
  return kLzoDone;
}
}  // namespace

int Compress_New(const uint8_t* input, uint8_t* output, size_t length, size_t* size) {
  lzo_uint out = 0;
  const int r = Run(input, length, output, &out);
  if (r == kLzoDone && size) *size = out;
  return r;
}

int Compress_New(const uint8_t* input, uint8_t* output, size_t* size) {
  return Compress_New(input, output, kBmpFileBytes, size);
}

int LzoCompress(const uint8_t* input, size_t length, uint8_t* output, size_t* size) {
  lzo_uint out = 0;
  const int r = Run(input, length, output, &out);
  if ((r == kLzoDone || r == kLzoIncompressible) && size) *size = out;
  return r;
}

int Decompress_New(const uint8_t* input, size_t length, uint8_t* output, size_t capacity, size_t* size) {
  if (!input || !output || lzo_init() != LZO_E_OK) return -1;
  lzo_uint out = capacity;
  if (lzo1x_decompress_safe(input, lzo_uint(length), output, &out, nullptr) != LZO_E_OK) return -1;
  if (size) *size = out;
  return 0;
}
