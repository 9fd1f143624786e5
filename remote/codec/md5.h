// One-shot MD5 digest (RFC 1321) that the waveform read-out attaches to the
// blocks it sends, so the host can check a transfer. The context is global:
// one digest at a time (all callers run on the SCPI worker thread).
#pragma once

struct MD5_CTX {
  unsigned int count[2];    // bit count, low word first
  unsigned int state[4];    // chaining words
  unsigned char buffer[64]; // input block
};

extern MD5_CTX md5;

// The 16-byte digest of `len` bytes (a negative length counts as none).
void MD5Calc(unsigned char* data, int len, unsigned char* digest);

void MD5Update(MD5_CTX* context, unsigned char* input, unsigned int inputLen);
void MD5Transform(unsigned int state[4], unsigned char block[64]);
// Little-endian encoding of `len` bytes' worth of words.
void MD5Encode(unsigned char* output, unsigned int* input, unsigned int len);
