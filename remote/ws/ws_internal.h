// What the parts of the websocket layer share among themselves.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

#include "remote/ws/ws_server.h"

// Prints an error in the layer's fatal-error form (source, operation, line,
// message). The caller then ends the server, never the process.
void ws_report(const char* file, const char* func, int line, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));
#define WS_REPORT(...) ws_report(__FILE__, __func__, __LINE__, __VA_ARGS__)

// Send step: sends at once, queues what is left, or flushes the queue (no bytes).
void ws_respond(WSClient2* client, const char* bytes, size_t length);
void ws_send_frame(WSClient2* client, int opcode, const char* data, size_t length);
void ws_error(WSClient2* client, uint16_t code, const char* text);
void http_error(WSClient2* client, const char* text);

// Reads from the bytes left behind the handshake first, then from the socket.
ssize_t ws_client_recv(WSClient2* client, void* buf, size_t n);

// One readable event of a client still handshaking / with a finished handshake.
void ws_read_handshake(WSServerState_* server, WSClient2* client);
void ws_read_frame(WSServerState_* server, WSClient2* client);

// Live clients of every server, so that a stale client pointer is recognised.
void ws_registry_add(WSClient2* client);
void ws_registry_remove(WSClient2* client);
bool ws_registry_has(WSClient2* client);

// Named pipes. Opening fails (false, message printed) when a path exists but is
// not a FIFO, or the FIFO cannot be made or opened.
bool ws_pipes_open(WSServerState_* server);
void ws_pipes_close(WSServerState_* server, bool remove_files);
void ws_pipein_read(WSServerState_* server);
void ws_pipeout_write(WSServerState_* server, const char* bytes, size_t length);
void ws_pipeout_flush(WSServerState_* server);
