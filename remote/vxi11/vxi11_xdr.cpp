#include "remote/vxi11/vxi11_xdr.h"

bool XdrReader::U32(uint32_t* out) {
  if (!ok_ || remaining() < 4) return Fail();
  const unsigned char* b = reinterpret_cast<const unsigned char*>(p_ + pos_);
  *out = uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]);
  pos_ += 4;
  return true;
}

bool XdrReader::Opaque(std::string* out, uint32_t max) {
  uint32_t len = 0;
  if (!U32(&len)) return false;
  if (len > max || XdrPadded(len) > remaining()) return Fail();
  out->assign(p_ + pos_, len);
  pos_ += XdrPadded(len);
  return true;
}

bool XdrReader::Skip(size_t words) {
  if (!ok_ || remaining() / 4 < words) return Fail();
  pos_ += words * 4;
  return true;
}

void XdrWriter::U32(uint32_t v) {
  const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
  buf_.append(b, 4);
}

void XdrWriter::Opaque(const char* data, size_t size) {
  U32(uint32_t(size));
  buf_.append(data, size);
  buf_.append(XdrPadded(size) - size, '\0');
}
