// SHA-1 (FIPS 180-1) and base64 (RFC 4648, "=" padding) for the handshake's
// accept value.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct SHA1_CTX {
  uint32_t state[5];
  uint64_t count;              // bytes fed so far
  unsigned char buffer[64];
};

void SHA1Init(SHA1_CTX* ctx);
void SHA1Update(SHA1_CTX* ctx, const unsigned char* data, size_t len);
void SHA1Final(unsigned char digest[20], SHA1_CTX* ctx);

std::string base64_encode(const unsigned char* data, size_t len);

// base64 of the SHA-1 of `key` followed by the websocket GUID.
std::string ws_accept_value(const std::string& key);
