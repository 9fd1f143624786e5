// The websocket server layer (RFC 6455, plain TCP) under the two web-control
// servers: the command server (the `ws2_` family, port 9001) and the picture
// server (the `ws_` family, port 9002). One implementation, configured per
// instance. An instance runs entirely on its owner's thread inside ws2_start /
// ws_start and calls the owner back when a client has finished its handshake,
// has sent a whole message, or is torn down.
//
// The servers listen on the board's server address (every interface on the
// board, loopback on the PC) for the wildcard "0.0.0.0", unless $SCOPE_WS_HOST
// names another address; $SCOPE_WS_CMD_PORT
// and $SCOPE_WS_PIC_PORT move the two families' ports. The named pipes lie
// under the instrument root ("/tmp/wspipein2.fifo" maps to "<root>/tmp/...").
#pragma once
#include <sys/select.h>
#include <sys/time.h>

#include <ctime>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

// Client status bits (0 = ready).
enum : int {
  WS_ERR = 1,
  WS_CLOSE = 2,
  WS_READING = 4,
  WS_SENDING = 8,
  WS_THROTTLING = 16,
};

enum : int {
  WS_OPCODE_CONTINUATION = 0,
  WS_OPCODE_TEXT = 1,
  WS_OPCODE_BIN = 2,
  WS_OPCODE_CLOSE = 8,
  WS_OPCODE_PING = 9,
  WS_OPCODE_PONG = 10,
};

constexpr size_t WS_MAX_FRM_SZ = 0x100000;      // largest accepted payload, 1 MiB
constexpr size_t WS_THROTTLE_THLD = 0x200000;   // send queue that throttles, 2 MiB
constexpr size_t WS_BUFFER_SIZE = 8192;         // request buffer
constexpr size_t WS_MAX_CLIENTS = 64;           // clients per server
constexpr int WS_HANDSHAKE_TIMEOUT_S = 10;
constexpr int WS_IDLE_TIMEOUT_S = 1800;

struct wsconfig {
  std::string host;
  std::string origin;       // empty: any origin
  std::string pipein;       // instrument paths, placed under the root
  std::string pipeout;
  std::string port;
  int echomode = 0;         // 1: messages are sent back as they came
  int strict = 1;           // 1: messages go to the message callback
  size_t max_frm_sz = WS_MAX_FRM_SZ;
  size_t max_clients = WS_MAX_CLIENTS;             // more are refused with 503
  int handshake_timeout_s = WS_HANDSHAKE_TIMEOUT_S;  // a handshake not done by then is dropped
  int idle_timeout_s = WS_IDLE_TIMEOUT_S;          // an open client silent this long is closed
};

struct WSRequestHeaders_ {
  int reading = 1;
  size_t buflen = 0;
  char buf[WS_BUFFER_SIZE + 1];
  std::string agent, path, method, protocol, host, origin, upgrade, referer, connection,
      ws_protocol, ws_key, ws_sock_ver, ws_accept, status_line;
};

struct WSFrameHeader_ {
  int opcode = 0;
  int fin = 0;
  unsigned char mask[4] = {0, 0, 0, 0};
  int reserved = 0;
  size_t payload_offset = 0;   // header length
  uint32_t payload_len = 0;
  int reading = 1;
  int masked = 0;
  size_t buflen = 0;           // header bytes received
  unsigned char buf[14] = {};
};

struct WSMessageBuffer_ {
  int opcode = 0;
  int fragmented = 0;
  size_t mask_offset = 0;      // where the current frame's payload starts
  std::vector<char> payload;   // the whole message once delivered (unmasked)
  size_t buflen = 0;           // bytes of the current frame received
};

struct WSSendQueue_ {
  std::vector<char> queue;
  size_t start = 0;            // bytes before this were sent
  size_t qlen() const { return queue.size() - start; }
};

struct WSFifoIn_ {
  std::string path;            // on the host
  int fd = -1;
  uint32_t target = 0, opcode = 0, len = 0;
  std::vector<char> payload;
  size_t received = 0;         // payload bytes read
  unsigned char hdr[12] = {};
  size_t hlen = 0;
};

struct WSPipeOut2 {
  std::string path;            // on the host
  int fd = -1;                 // -1 while no reader has the pipe open
  std::vector<char> queue;
  int status = 0;              // WS_SENDING: data queued
};

struct WSServerState_;

struct WSClient2 {
  int listener = 0;
  char remote_ip[46] = {};
  int status = 0;
  timeval start_proc = {0, 0};
  timeval end_proc = {0, 0};
  std::unique_ptr<WSRequestHeaders_> headers;   // absent before the first byte
  std::unique_ptr<WSFrameHeader_> frame;
  std::unique_ptr<WSMessageBuffer_> message;
  std::unique_ptr<WSSendQueue_> sockqueue;      // absent when empty
  // Bytes that arrived behind the handshake request, read before the socket.
  std::vector<char> pending;
  bool opened = false;         // the open callback was called
  time_t accepted = 0;         // monotonic seconds: when accepted, last received from
  time_t last_active = 0;
  bool doomed = false;         // ws2_close_conn asked; freed at the loop's next safe point
  bool tearing_down = false;
  bool is_open() const { return headers && !headers->ws_accept.empty(); }
};

// Callbacks run on the server thread. Open: after a client's handshake. Message:
// the whole, unmasked message stands in client->message. Close: when the loop
// tears down a client whose open callback was called. All three only in strict
// mode, not in echo mode.
using WSCallback = int (*)(WSPipeOut2*, WSClient2*);

struct WSServerState_ {
  WSCallback onclose = nullptr;
  WSCallback onmessage = nullptr;
  WSCallback onopen = nullptr;
  void (*heartbeat)() = nullptr;
  // Once listening (bound_port set), or when the server could not listen (bound_port 0).
  void (*onlisten)(WSServerState_* server) = nullptr;
  int wakeup_pipe[2] = {-1, -1};
  WSFifoIn_ pipein;
  WSPipeOut2 pipeout;
  wsconfig config;

  // The select loop's own state.
  int listener = -1;
  int timerfd = -1;
  int reservefd = -1;          // spare descriptor given up to refuse clients when out of them
  std::list<std::unique_ptr<WSClient2>> clients;   // newest first
  WSClient2* by_fd[FD_SETSIZE] = {};
  fd_set rfds, wfds;
  int max_file_fd = 0;
  std::atomic<int> bound_port{0};  // the port listened on, once listening
  std::atomic<uint64_t> rounds{0};  // select rounds run (a server at rest runs a few a second)
};

// The picture server's names for the same records.
using WSClient_ = WSClient2;
using WSPipeOut_ = WSPipeOut2;

// A new server record for `host` and `port` with its configuration reset. The
// owner sets the callbacks (and may adjust `config`), then runs the start
// operation on its own thread and, once that has returned, the stop operation.
WSServerState_* ws2_init(const char* host, const char* port);
WSServerState_* ws_init(const char* host, const char* port);

// Runs the server until its wake pipe is written or a thread stop is requested
// (0), or until it cannot run (-1: the listening socket, the timer or the pipes
// could not be set up, or select failed; the message says why).
int ws2_start(WSServerState_* server);
int ws_start(WSServerState_* server);

// Sends one message as one final frame; text and pings are made valid UTF-8
// first. 0, or -1 for a client that is gone or a bad length.
int ws2_send_data(WSClient2* client, int opcode, const char* data, size_t length);
int ws_send_data(WSClient_* client, int opcode, const char* data, size_t length);
int ws2_ping(WSClient2* client, const char* data, size_t length);

// Drops a client without a close frame and without the close callback. Safe
// from inside the client's own callbacks and for a client that is already gone.
void ws2_close_conn(WSServerState_* server, WSClient2* client);
void ws_close_conn(WSServerState_* server, WSClient_* client);

// Makes a running server's loop return (writes its wake pipe).
void ws2_wake(WSServerState_* server);

// Frees a server whose loop has returned: pipes (and their files), clients, record.
void ws2_stop(WSServerState_* server);
void ws_stop(WSServerState_* server);

int set2_nonblocking(int fd);
int set_nonblocking(int fd);
