// One client of the websocket command server, connected over a socket pair:
// the bytes given arrive as the client sends them and are read the way the
// server's loop reads a readable client (handshake, then frames); the
// server's answers are read off and dropped. Messages are echoed, as the echo
// server does, so the send path runs too.
#pragma once
#include <cstddef>
#include <cstdint>

// Serves `size` bytes of `data` sent by one new client after `prefix` bytes
// of `before` (for example a finished handshake), then the client's close.
void WsServeClient(const char* before, size_t prefix, const uint8_t* data, size_t size);
