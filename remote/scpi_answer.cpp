// Answers: text with CR LF, definite-length blocks and raw bytes in the 2 MiB
// response buffer, and the web bridge's copy of the last text answer.
#include <cstdio>
#include <cstring>

#include "remote/scpi.h"

namespace {
int Digits(int n) {
  int d = 1;
  while (n >= 10) {
    n /= 10;
    ++d;
  }
  return d;
}
}  // namespace

// The flag is written after the buffer and the length: the transports poll it.
void scpi::StoreResponse(int len) {
  responseLen_.store(len, std::memory_order_relaxed);
  responseFinish_.store(1, std::memory_order_release);
}

int scpi::WriteResponseData(const char* text, int len) {
  if (!text || len < 0 || len >= kScpiResponseSize) return -1;
  size_t n = strnlen(text, kScpiResponseSize);
  if (n + 2 > size_t(kScpiResponseSize)) {
    std::printf("WriteResponseData: an answer of %zu bytes does not fit the %d-byte response buffer\n", n,
                kScpiResponseSize);
    return -1;
  }
  WriteWebScpiMsg(0, text);
  std::memmove(response_, text, n);
  response_[n] = '\r';
  response_[n + 1] = '\n';
  StoreResponse(int(n + 2));
  return int(n + 2);
}

int scpi::WriteResponseDataRaw(const char* data, int len) {
  if (!data || len < 0 || len >= kScpiResponseSize) return -1;
  int digits = Digits(len);
  int header = 2 + digits;
  if (header + len + 2 > kScpiResponseSize) {
    std::printf("WriteResponseDataRaw: a block of %d bytes does not fit the %d-byte response buffer\n", len,
                kScpiResponseSize);
    return -1;
  }
  // The data may already stand in the buffer: move it before the header.
  std::memmove(response_ + header, data, size_t(len));
  char head[24];
  std::snprintf(head, sizeof head, "#%d%d", digits, len);
  std::memcpy(response_, head, size_t(header));
  response_[header + len] = '\r';
  response_[header + len + 1] = '\n';
  StoreResponse(header + len + 2);
  return header + len + 2;
}

int scpi::WriteResponseDataPure(const char* data, int len) {
  if (!data || len < 0 || len >= kScpiResponseSize) return -1;
  std::memmove(response_, data, size_t(len));
  StoreResponse(len);
  return len;
}

char* scpi::GetResponseDataBuff(int n) {
  if (n < 0 || n >= kScpiResponseChunks) n = 0;
  return response_ + size_t(n) * kScpiResponseChunk;
}

int scpi::WriteWebScpiMsg(long type, const char* text) {
  if (!text) return -1;
  size_t n = strnlen(text, kScpiMsgTextSize - 1);
  std::lock_guard<std::mutex> lock(webMu_);
  web_.type = type;
  std::memmove(web_.text, text, n);
  web_.text[n] = '\0';
  webAnswer_.store(true);
  return int(n);
}

int scpi::GetWebScpiMsg(scpi_msg* out) {
  if (!out || !webAnswer_.load()) return -1;
  std::lock_guard<std::mutex> lock(webMu_);
  std::memcpy(out, &web_, sizeof web_);
  return int(sizeof web_);
}
