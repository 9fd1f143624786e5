// LZO1X-1 compression of the blocks the SCPI read-out sends (screen pictures
// and remote-viewer frames). The output is plain LZO1X-1 data with no header
// of its own; any LZO1X decompressor restores it. One static work memory:
// callers run on the SCPI worker, one at a time.
#pragma once
#include <cstddef>
#include <cstdint>

// Results of the compressors.
enum : int {
  kLzoDone = 0,
  kLzoIncompressible = 1,  // the output is not shorter than the input
  kLzoFailed = 2,
  kLzoInitFailed = 3,
};

// The screen picture the one-length compressor takes: an 800 x 480, 24-bit
// BMP with its 54-byte header.
constexpr size_t kBmpFileBytes = 1152054;

// The largest output LZO1X-1 can make of `n` bytes.
constexpr size_t LzoWorstCase(size_t n) { return n + n / 16 + 64 + 3; }

// Compresses `length` bytes into `output` (LzoWorstCase(length) bytes). On
// kLzoDone `*size` is the compressed length; otherwise it is left untouched.
int Compress_New(const uint8_t* input, uint8_t* output, size_t length, size_t* size);
// The same for the kBmpFileBytes of a screen picture.
int Compress_New(const uint8_t* input, uint8_t* output, size_t* size);

// As Compress_New, but `*size` is set whenever the library produced output
// (kLzoDone and kLzoIncompressible): what a sender transmits, since LZO output
// is valid however long it is.
int LzoCompress(const uint8_t* input, size_t length, uint8_t* output, size_t* size);

// Decompresses `length` bytes into `output` (`capacity` bytes); 0 with the
// restored length in `*size`, -1 for data that is not LZO1X or does not fit.
int Decompress_New(const uint8_t* input, size_t length, uint8_t* output, size_t capacity, size_t* size);
