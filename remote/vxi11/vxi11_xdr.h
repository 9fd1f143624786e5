// XDR encoding of the VXI-11 and portmapper records: big-endian 32-bit words,
// variable-length opaque data and strings padded to a multiple of four bytes.
// The reader never reads past its input and never allocates more than the
// input holds, whatever lengths a message announces.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

class XdrReader {
 public:
  XdrReader(const char* data, size_t size) : p_(data), n_(size) {}
  // Each read returns false (and the reader stays failed) when the input is
  // too short or an announced length exceeds `max`.
  bool U32(uint32_t* out);
  bool Opaque(std::string* out, uint32_t max);
  bool Skip(size_t words);  // skips `words` 32-bit words
  bool ok() const { return ok_; }
  size_t remaining() const { return n_ - pos_; }

 private:
  bool Fail() { return ok_ = false; }
  const char* p_;
  size_t n_;
  size_t pos_ = 0;
  bool ok_ = true;
};

class XdrWriter {
 public:
  void U32(uint32_t v);
  void Opaque(const char* data, size_t size);  // length word, bytes, padding
  void Opaque(const std::string& s) { Opaque(s.data(), s.size()); }
  std::string& bytes() { return buf_; }

 private:
  std::string buf_;
};

inline size_t XdrPadded(size_t n) { return (n + 3) & ~size_t(3); }
