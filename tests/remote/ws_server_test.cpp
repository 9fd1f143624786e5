// The websocket layer driven over real loopback sockets with hand-made frames.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/root.h"
#include "platform/thread.h"
#include "remote/ws/ws_server.h"
#include "remote/ws/ws_sha1.h"
#include "remote/ws/ws_utf8.h"
#include "tests/bench/wait.h"

namespace {
using namespace std::chrono_literals;

// Seconds a read waits for an answer that is due; only a fault waits this long.
constexpr int kReplyLimitS = 30;

// ---- What the server's callbacks saw (they run on the server thread). ----
std::mutex g_mu;
int g_opens = 0, g_closes = 0, g_beats = 0;
std::vector<std::pair<int, std::string>> g_msgs;
std::vector<int> g_status_at_message;
int g_last_fd = -1;
WSClient2* g_closed_client = nullptr;
bool g_poke_stale = false;
WSServerState_* g_server = nullptr;
std::atomic<int> g_start_rc{1};
std::atomic<bool> g_flooded{false};  // the flood's frames were all handed to the server
pthread_t g_server_thread;

int OnOpen(WSPipeOut2*, WSClient2* c) {
  std::lock_guard<std::mutex> l(g_mu);
  ++g_opens;
  g_last_fd = c->listener;
  return 0;
}

int OnClose(WSPipeOut2*, WSClient2* c) {
  std::lock_guard<std::mutex> l(g_mu);
  ++g_closes;
  g_closed_client = c;
  return 0;
}

int OnMessage(WSPipeOut2*, WSClient2* c) {
  const std::vector<char>& p = c->message->payload;
  std::string text(p.begin(), p.end());
  {
    std::lock_guard<std::mutex> l(g_mu);
    g_msgs.emplace_back(c->message->opcode, text);
    g_status_at_message.push_back(c->status);
  }
  if (text == "close-me") {
    ws2_close_conn(g_server, c);
    ws2_send_data(c, WS_OPCODE_TEXT, "late", 4);  // must go nowhere
    ws2_close_conn(g_server, c);
  } else if (text == "sanitize") {
    const char bad[] =
        "a\xff"
        "b\xe2\x28\xa1"
        "c\xe2\x82";
    ws2_send_data(c, WS_OPCODE_TEXT, bad, sizeof bad - 1);
  } else if (text == "flood") {
    for (int i = 0; i < 64; ++i) {
      std::string big(256 * 1024, char(i));
      ws2_send_data(c, WS_OPCODE_BIN, big.data(), big.size());
    }
    g_flooded = true;
  } else {
    ws2_send_data(c, c->message->opcode, p.data(), p.size());
  }
  return 0;
}

// What the loop held at each heartbeat (read on the server thread).
int g_clients_at_beat = -1, g_sending_at_beat = 0;
std::vector<uint64_t> g_rounds_at_beat;

void OnBeat() {
  std::lock_guard<std::mutex> l(g_mu);
  ++g_beats;
  g_clients_at_beat = int(g_server->clients.size());
  g_sending_at_beat = 0;
  for (auto& c : g_server->clients) g_sending_at_beat += (c->status & WS_SENDING) ? 1 : 0;
  g_rounds_at_beat.push_back(g_server->rounds.load());
  if (g_poke_stale && g_closed_client) {
    // A caller that kept a pointer to a client the loop already freed.
    ws2_close_conn(g_server, g_closed_client);
    ws2_send_data(g_closed_client, WS_OPCODE_TEXT, "x", 1);
  }
}

void* ServerBody(void*) {
  g_server_thread = pthread_self();
  g_start_rc = ws2_start(g_server);
  return nullptr;
}

template <class Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit = kWaitLimit) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    {
      std::lock_guard<std::mutex> l(g_mu);
      if (pred()) return true;
    }
    std::this_thread::sleep_for(5ms);
  }
  std::lock_guard<std::mutex> l(g_mu);
  return pred();
}

// ---- A raw client. ----
const char kSampleKey[] = "dGhlIHNhbXBsZSBub25jZQ==";

std::string Request(const std::string& extra = "Upgrade: websocket\r\n") {
  return std::string("GET /chat HTTP/1.1\r\nHost: 127.0.0.1\r\n") + extra +
         "Connection: Upgrade\r\nSec-WebSocket-Key: " + kSampleKey +
         "\r\nSec-WebSocket-Version: 13\r\n\r\n";
}

int Connect(int port, int rcvbuf = 0) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (rcvbuf) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
  timeval tv = {kReplyLimitS, 0};  // only a fault waits this long
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_port = htons(uint16_t(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool SendAll(int fd, const std::string& s) {
  size_t off = 0;
  while (off < s.size()) {
    ssize_t n = send(fd, s.data() + off, s.size() - off, MSG_NOSIGNAL);
    if (n <= 0) return false;
    off += size_t(n);
  }
  return true;
}

bool ReadExact(int fd, char* buf, size_t n) {
  size_t off = 0;
  while (off < n) {
    ssize_t r = recv(fd, buf + off, n - off, 0);
    if (r <= 0) return false;
    off += size_t(r);
  }
  return true;
}

std::string ReadHttp(int fd) {
  std::string out;
  char c;
  while (out.size() < 16384 && recv(fd, &c, 1, 0) == 1) {
    out += c;
    if (out.size() >= 4 && out.compare(out.size() - 4, 4, "\r\n\r\n") == 0) break;
  }
  return out;
}

// True when the peer has ended the connection with nothing more to read.
bool EndsWithoutData(int fd) {
  char c;
  return recv(fd, &c, 1, 0) == 0;
}

std::string Frame(int opcode, const std::string& payload, bool fin = true, bool masked = true,
                  uint64_t len = UINT64_MAX) {
  if (len == UINT64_MAX) len = payload.size();
  std::string f;
  f += char((fin ? 0x80 : 0) | opcode);
  char m = masked ? char(0x80) : 0;
  if (len < 126) {
    f += char(m | char(len));
  } else if (len < 65536) {
    f += char(m | 126);
    f += char(len >> 8);
    f += char(len);
  } else {
    f += char(m | 127);
    for (int i = 7; i >= 0; --i) f += char(len >> (8 * i));
  }
  const unsigned char mask[4] = {0x12, 0x34, 0x56, 0x78};
  if (masked) f.append(reinterpret_cast<const char*>(mask), 4);
  for (size_t i = 0; i < payload.size(); ++i) f += masked ? char(payload[i] ^ mask[i % 4]) : payload[i];
  return f;
}

struct Rx {
  bool ok = false;
  int opcode = -1;
  std::string payload;
  int code() const {
    return payload.size() >= 2 ? (uint8_t(payload[0]) << 8 | uint8_t(payload[1])) : -1;
  }
};

Rx ReadFrame(int fd) {
  Rx rx;
  unsigned char h[2];
  if (!ReadExact(fd, reinterpret_cast<char*>(h), 2)) return rx;
  EXPECT_EQ(h[0] & 0x80, 0x80) << "server frames are final";
  EXPECT_EQ(h[1] & 0x80, 0) << "server frames are unmasked";
  uint64_t len = h[1] & 0x7F;
  int ext = len == 126 ? 2 : len == 127 ? 8 : 0;
  if (ext) {
    unsigned char e[8];
    if (!ReadExact(fd, reinterpret_cast<char*>(e), size_t(ext))) return rx;
    len = 0;
    for (int i = 0; i < ext; ++i) len = len << 8 | e[i];
  }
  rx.payload.resize(len);
  if (len && !ReadExact(fd, &rx.payload[0], len)) return rx;
  rx.opcode = h[0] & 0x0F;
  rx.ok = true;
  return rx;
}

class WsServer : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ws_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    plat::ResetStop();
    ASSERT_TRUE(plat::InitRoot(root_));
    std::lock_guard<std::mutex> l(g_mu);
    g_opens = g_closes = g_beats = 0;
    g_msgs.clear();
    g_status_at_message.clear();
    g_last_fd = -1;
    g_closed_client = nullptr;
    g_poke_stale = false;
    g_start_rc = 1;
    g_clients_at_beat = -1;
    g_sending_at_beat = 0;
    g_rounds_at_beat.clear();
  }

  // Starts a command-family (or picture-family) server on an ephemeral loopback port.
  void Start(const std::function<void(WSServerState_*)>& configure = nullptr, bool picture = false) {
    g_server = picture ? ws_init("0.0.0.0", "0") : ws2_init("0.0.0.0", "0");
    g_server->onopen = OnOpen;
    g_server->onclose = OnClose;
    g_server->onmessage = OnMessage;
    g_server->heartbeat = OnBeat;
    if (configure) configure(g_server);
    ASSERT_EQ(plat::StartThread("ws-test", ServerBody, nullptr), 0);
    started_ = true;
    WaitUntil([] { return g_server->bound_port != 0 || g_start_rc != 1; });
    port_ = g_server->bound_port;
  }

  int Open() {
    int fd = Connect(port_);
    EXPECT_GE(fd, 0);
    EXPECT_TRUE(SendAll(fd, Request()));
    EXPECT_EQ(ReadHttp(fd).compare(0, 12, "HTTP/1.1 101"), 0);
    return fd;
  }

  void TearDown() override {
    if (started_) {
      ws2_wake(g_server);
      plat::RequestStop();
      plat::JoinAllThreads();
      ws2_stop(g_server);
    }
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  std::string root_;
  bool started_ = false;
  int port_ = 0;
};
}  // namespace

TEST(WsCodec, Sha1Base64AndTheSampleAcceptValue) {
  auto sha1hex = [](const std::string& s) {
    SHA1_CTX c;
    SHA1Init(&c);
    SHA1Update(&c, reinterpret_cast<const unsigned char*>(s.data()), s.size());
    unsigned char d[20];
    SHA1Final(d, &c);
    char hex[41];
    for (int i = 0; i < 20; ++i) std::snprintf(hex + 2 * i, 3, "%02x", d[i]);
    return std::string(hex);
  };
  EXPECT_EQ(sha1hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(sha1hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  EXPECT_EQ(sha1hex(std::string(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
  auto b64 = [](const std::string& s) {
    return base64_encode(reinterpret_cast<const unsigned char*>(s.data()), s.size());
  };
  EXPECT_EQ(b64(""), "");
  EXPECT_EQ(b64("f"), "Zg==");
  EXPECT_EQ(b64("fo"), "Zm8=");
  EXPECT_EQ(b64("foobar"), "Zm9vYmFy");
  EXPECT_EQ(ws_accept_value(kSampleKey), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
}

TEST(WsCodec, Utf8SanitizeKeepsTheLength) {
  std::string s =
      "a\xff"
      "b\xe2\x28\xa1"
      "c\xe2\x82";
  utf8_sanitize(&s[0], s.size());
  EXPECT_EQ(s, std::string("a?b?(?c\0\0", 9));
  std::string good = "\xce\xba\xe1\xbd\xb9\xf0\x9f\x98\x80";
  std::string copy = good;
  utf8_sanitize(&copy[0], copy.size());
  EXPECT_EQ(copy, good);
  EXPECT_TRUE(utf8_valid(good.data(), good.size()));
  EXPECT_FALSE(utf8_valid("\xed\xa0\x80", 3));  // a surrogate
  EXPECT_FALSE(utf8_valid("\xc0\xaf", 2));      // an overlong form
}

TEST_F(WsServer, HandshakeRepliesWithTheAcceptValue) {
  Start();
  ASSERT_GT(port_, 0);
  int fd = Connect(port_);
  ASSERT_TRUE(SendAll(fd, Request()));
  EXPECT_EQ(ReadHttp(fd),
            "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
            "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n");
  EXPECT_TRUE(WaitFor([] { return g_opens == 1; }));
  close(fd);

  // Without Upgrade the reply still names the protocol; a frame may follow the
  // request in the same packet.
  fd = Connect(port_);
  ASSERT_TRUE(SendAll(fd, Request("") + Frame(WS_OPCODE_TEXT, "early")));
  std::string reply = ReadHttp(fd);
  EXPECT_NE(reply.find("\r\nUpgrade: websocket\r\n"), std::string::npos) << reply;
  Rx rx = ReadFrame(fd);
  EXPECT_EQ(rx.payload, "early");
  close(fd);
}

TEST_F(WsServer, BadRequestsGet400) {
  Start();
  const std::string fine = Request();
  auto without = [&](const std::string& line) {
    std::string r = fine;
    r.erase(r.find(line), line.size());
    return r;
  };
  const std::vector<std::string> bad = {
      without("Sec-WebSocket-Version: 13\r\n"),
      without("Sec-WebSocket-Key: " + std::string(kSampleKey) + "\r\n"),
      without("Host: 127.0.0.1\r\n"),
      without("Connection: Upgrade\r\n"),
      "POST /chat HTTP/1.1\r\nHost: h\r\nConnection: Upgrade\r\nSec-WebSocket-Key: k\r\n"
      "Sec-WebSocket-Version: 13\r\n\r\n",
      "GET  HTTP/1.1\r\nHost: h\r\n\r\n",
      "GET /x HTTP/2.0\r\nHost: h\r\n\r\n",
      "GET /x HTTP/1.1\r\nNoColonHere\r\n\r\n",
      "GET /x HTTP/1.1\r\nBad Name: v\r\n\r\n",
      "GET /x HTTP/1.1\r\n: v\r\n\r\n",
      "GET /x HTTP/1.1\r\n\nHost: h\r\n\r\n",
      "GET /x HTTP/1.1\r\nX: " + std::string(8200, 'a'),  // fills the buffer, no blank line
  };
  for (const std::string& req : bad) {
    int fd = Connect(port_);
    ASSERT_TRUE(SendAll(fd, req));
    EXPECT_EQ(ReadHttp(fd), "HTTP/1.1 400 Invalid Request\r\n\r\n") << req.substr(0, 60);
    EXPECT_TRUE(EndsWithoutData(fd));
    close(fd);
  }
  EXPECT_EQ(g_opens, 0);
}

TEST_F(WsServer, PingsUpTo125BytesArePongedLongerClose1002) {
  Start();
  int fd = Open();
  std::string p125(125, 'p');
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_PING, p125)));
  Rx rx = ReadFrame(fd);
  EXPECT_EQ(rx.opcode, WS_OPCODE_PONG);
  EXPECT_EQ(rx.payload, p125);
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_PING, std::string(126, 'p'))));
  rx = ReadFrame(fd);
  EXPECT_EQ(rx.opcode, WS_OPCODE_CLOSE);
  EXPECT_EQ(rx.code(), 1002);
  EXPECT_TRUE(EndsWithoutData(fd));
  close(fd);
}

TEST_F(WsServer, FrameSizeLimit) {
  Start();
  int fd = Open();
  std::string max(1048576, 'm');
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_BIN, max)));
  Rx rx = ReadFrame(fd);
  EXPECT_EQ(rx.opcode, WS_OPCODE_BIN);
  EXPECT_EQ(rx.payload.size(), max.size());
  EXPECT_EQ(rx.payload, max);
  // One byte more is refused from the header alone.
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_BIN, "", true, true, 1048577)));
  rx = ReadFrame(fd);
  EXPECT_EQ(rx.opcode, WS_OPCODE_CLOSE);
  EXPECT_EQ(rx.code(), 1009);
  EXPECT_EQ(rx.payload.substr(2), "Frame is too big");
  close(fd);

  // A 64-bit length is never cut to its low word.
  fd = Open();
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_BIN, "", true, true, (uint64_t(1) << 32) | 5)));
  rx = ReadFrame(fd);
  EXPECT_EQ(rx.code(), 1009);
  close(fd);

  // A message of fragments is capped as a whole.
  fd = Open();
  std::string part(600 * 1024, 'f');
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_BIN, part, false)));
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_CONTINUATION, "", true, true, part.size())));
  rx = ReadFrame(fd);
  EXPECT_EQ(rx.code(), 1009);
  close(fd);
}

TEST_F(WsServer, ProtocolErrorsEndTheClient) {
  Start();
  struct Case {
    std::string frame;
    int closeCode;  // -1: ended without a close frame
  };
  std::string rsv = Frame(WS_OPCODE_TEXT, "x");
  rsv[0] = char(rsv[0] | 0x40);
  const Case cases[] = {
      {Frame(WS_OPCODE_TEXT, "unmasked", true, false), -1},
      {rsv, -1},
      {Frame(WS_OPCODE_CONTINUATION, "orphan"), -1},
      {Frame(WS_OPCODE_TEXT, "a", false) + Frame(WS_OPCODE_TEXT, "b"), -1},
      {Frame(3, "unknown"), 1002},
      {Frame(11, "unknown"), 1002},
      {Frame(WS_OPCODE_PONG, "x", false), 1002},
      {Frame(WS_OPCODE_TEXT, "\xc3\x28"), 1007},
  };
  for (const Case& c : cases) {
    int fd = Open();
    ASSERT_TRUE(SendAll(fd, c.frame));
    if (c.closeCode > 0) {
      Rx rx = ReadFrame(fd);
      EXPECT_EQ(rx.opcode, WS_OPCODE_CLOSE);
      EXPECT_EQ(rx.code(), c.closeCode);
    }
    EXPECT_TRUE(EndsWithoutData(fd)) << "case with close code " << c.closeCode;
    close(fd);
  }
  std::lock_guard<std::mutex> l(g_mu);
  EXPECT_TRUE(g_msgs.empty());
}

TEST_F(WsServer, InvalidUtf8IsRefusedAsTextDeliveredAsBinary) {
  Start();
  int fd = Open();
  const std::string bytes = "ok\xff\xfe";
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_BIN, bytes)));
  Rx rx = ReadFrame(fd);
  EXPECT_EQ(rx.opcode, WS_OPCODE_BIN);
  EXPECT_EQ(rx.payload, bytes);
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_TEXT, bytes)));
  rx = ReadFrame(fd);
  EXPECT_EQ(rx.opcode, WS_OPCODE_CLOSE);
  EXPECT_EQ(rx.payload, std::string("\x03\xef", 2));  // 1007, no reason
  close(fd);
}

TEST_F(WsServer, ThreeFragmentsMakeOneMessage) {
  Start();
  int fd = Open();
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_TEXT, "one ", false)));
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_CONTINUATION, "two ", false)));
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_PING, "mid")));     // between fragments
  std::string last = Frame(WS_OPCODE_CONTINUATION, "three");  // arrives in two pieces
  ASSERT_TRUE(SendAll(fd, last.substr(0, 5)));
  std::this_thread::sleep_for(50ms);
  ASSERT_TRUE(SendAll(fd, last.substr(5)));
  Rx pong = ReadFrame(fd);
  EXPECT_EQ(pong.opcode, WS_OPCODE_PONG);
  EXPECT_EQ(pong.payload, "mid");
  Rx rx = ReadFrame(fd);
  EXPECT_EQ(rx.opcode, WS_OPCODE_TEXT);
  EXPECT_EQ(rx.payload, "one two three");
  std::lock_guard<std::mutex> l(g_mu);
  ASSERT_EQ(g_msgs.size(), 1u);
  EXPECT_EQ(g_msgs[0].first, WS_OPCODE_TEXT);
  EXPECT_EQ(g_msgs[0].second, "one two three");
  EXPECT_EQ(g_status_at_message[0], 0) << "a whole message finds its client ready";
  close(fd);
}

TEST_F(WsServer, ClientCloseIsAnsweredAndReported) {
  Start();
  int fd = Open();
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_CLOSE, std::string("\x03\xe8", 2))));
  Rx rx = ReadFrame(fd);
  EXPECT_EQ(rx.opcode, WS_OPCODE_CLOSE);
  EXPECT_TRUE(rx.payload.empty());
  EXPECT_TRUE(EndsWithoutData(fd));
  EXPECT_TRUE(WaitFor([] { return g_closes == 1; }));
  close(fd);
}

TEST_F(WsServer, ClosingFromTheClientsOwnCallbackIsDeferred) {
  Start();
  int fd = Open();
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_TEXT, "close-me")));
  EXPECT_TRUE(EndsWithoutData(fd));  // no close frame, nothing sent after the close
  close(fd);
  fd = Open();
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_TEXT, "still here")));
  EXPECT_EQ(ReadFrame(fd).payload, "still here");
  {
    std::lock_guard<std::mutex> l(g_mu);
    EXPECT_EQ(g_closes, 0) << "ws2_close_conn does not call the close callback";
  }
  close(fd);
}

TEST_F(WsServer, HeartbeatEverySecondAndStaleClientsAreHarmless) {
  Start();
  int fd = Open();
  close(fd);
  ASSERT_TRUE(WaitFor([] { return g_closes == 1; }));
  {
    std::lock_guard<std::mutex> l(g_mu);
    g_poke_stale = true;
    g_beats = 0;
  }
  EXPECT_TRUE(WaitFor([] { return g_beats >= 2; }, 3500ms));
  {
    std::lock_guard<std::mutex> l(g_mu);
    g_poke_stale = false;
  }
  fd = Open();
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_BIN, "alive")));
  EXPECT_EQ(ReadFrame(fd).payload, "alive");
  close(fd);
}

TEST_F(WsServer, SentTextIsMadeValidWithItsLengthKept) {
  Start();
  int fd = Open();
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_TEXT, "sanitize")));
  Rx rx = ReadFrame(fd);
  EXPECT_EQ(rx.opcode, WS_OPCODE_TEXT);
  EXPECT_EQ(rx.payload, std::string("a?b?(?c\0\0", 9));
  close(fd);
}

TEST_F(WsServer, InputPipePacketsReachClients) {
  Start();
  int a = Open(), b = Open();
  ASSERT_TRUE(WaitFor([] { return g_opens == 2; }));
  int bFd = g_last_fd;
  std::string path = root_ + "/tmp/wspipein2.fifo";
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  auto packet = [](uint32_t target, uint32_t opcode, const std::string& payload) {
    std::string p;
    for (uint32_t v : {target, opcode, uint32_t(payload.size())})
      for (int i = 3; i >= 0; --i) p += char(v >> (8 * i));
    return p + payload;
  };
  // One write per packet (below PIPE_BUF, so it goes in whole). While the
  // server reopens the pipe after a bad header nobody reads it and a write
  // fails with EPIPE; the writer keeps its end and tries again.
  const int pipe = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_GE(pipe, 0);
  auto put = [&](const std::string& p) { return write(pipe, p.data(), p.size()) == ssize_t(p.size()); };
  ASSERT_TRUE(put(packet(0, 1, "to all")));
  EXPECT_EQ(ReadFrame(a).payload, "to all");
  EXPECT_EQ(ReadFrame(b).payload, "to all");
  ASSERT_TRUE(put(packet(uint32_t(bFd), 2, "to b")));
  EXPECT_EQ(ReadFrame(b).payload, "to b");
  // A bad header resets the pipe; the next packet is read as usual.
  ASSERT_TRUE(put(packet(0, 7, "bad")));
  // Bytes read together with the bad header go with it: the packet is sent
  // again until one arrives.
  timeval tv = {1, 0};
  setsockopt(a, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  Rx rx;
  EXPECT_TRUE(WaitUntil([&] {
    if (!put(packet(0, 1, "after"))) return false;
    rx = ReadFrame(a);
    return rx.ok;
  }));
  EXPECT_EQ(rx.payload, "after");
  close(pipe);
  close(a);
  close(b);
}

// Outside strict mode client messages go to the out pipe. A reader that
// closes its end makes the server's next write fail with EPIPE (SIGPIPE is
// ignored, as in the instrument): the server drops the pipe, carries on and
// writes to the next reader that opens it.
TEST_F(WsServer, AnOutPipeReaderThatClosesLeavesTheServerServing) {
  Start([](WSServerState_* s) { s->config.strict = 0; });
  const std::string path = root_ + "/tmp/wspipeout2.fifo";
  ASSERT_TRUE(WaitUntil([&] {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
  }));
  auto reader = [&] { return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); };
  auto readAll = [](int fd, const std::string& want) {
    std::string got;
    WaitUntil([&] {
      char buf[256];
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n > 0) got.append(buf, size_t(n));
      return got.size() >= want.size();
    });
    return got;
  };
  int r = reader();
  ASSERT_GE(r, 0);
  int c = Open();
  ASSERT_TRUE(SendAll(c, Frame(WS_OPCODE_TEXT, "one")));
  EXPECT_EQ(readAll(r, "one"), "one");
  close(r);
  // Written to a pipe nobody reads: without SIGPIPE ignored this ends the
  // process. The pong to a ping behind it shows the server has written it.
  ASSERT_TRUE(SendAll(c, Frame(WS_OPCODE_TEXT, "two") + Frame(WS_OPCODE_PING, "p")));
  const Rx pong = ReadFrame(c);
  EXPECT_EQ(pong.opcode, WS_OPCODE_PONG);
  EXPECT_EQ(pong.payload, "p");
  // Still serving: a new client is answered, and a new reader gets messages.
  const int d = Open();
  r = reader();
  ASSERT_GE(r, 0);
  std::string got;
  EXPECT_TRUE(WaitUntil([&] {
    if (!SendAll(d, Frame(WS_OPCODE_TEXT, "three"))) return false;
    got = readAll(r, "three");
    return got.find("three") != std::string::npos;
  }));
  close(r);
  close(c);
  close(d);
}

TEST_F(WsServer, APipePathThatIsNotAFifoEndsThatServerOnly) {
  std::filesystem::create_directories(root_ + "/tmp");
  std::ofstream(root_ + "/tmp/wspipein2.fifo") << "plain file";
  testing::internal::CaptureStdout();
  Start();
  ASSERT_TRUE(WaitFor([] { return g_start_rc != 1; }));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(g_start_rc, -1);
  EXPECT_NE(out.find("Fatal error has occurred"), std::string::npos);
  EXPECT_NE(out.find("pipe is not a fifo"), std::string::npos) << out;
  ws2_stop(g_server);
  started_ = false;
  plat::JoinAllThreads();
  EXPECT_TRUE(std::filesystem::is_regular_file(root_ + "/tmp/wspipein2.fifo"));
}

TEST_F(WsServer, ASlowReaderIsThrottledAndItsFramesStayWhole) {
  Start();
  int fd = Connect(port_, 4096);
  ASSERT_TRUE(SendAll(fd, Request()));
  ASSERT_EQ(ReadHttp(fd).compare(0, 12, "HTTP/1.1 101"), 0);
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_TEXT, "flood")));
  ASSERT_TRUE(WaitUntil([] { return g_flooded.load(); }));
  // What the server kept comes now; a quiet second or more means it is all read.
  timeval tv = {3, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  int got = 0, last = -1;
  for (;;) {
    Rx rx = ReadFrame(fd);
    if (!rx.ok) break;
    ASSERT_EQ(rx.payload.size(), 256u * 1024);
    int index = uint8_t(rx.payload[0]);
    EXPECT_GT(index, last);
    EXPECT_EQ(rx.payload.find_first_not_of(rx.payload[0]), std::string::npos);
    last = index;
    ++got;
  }
  EXPECT_GT(got, 0);
  EXPECT_LT(got, 64) << "a reader 2 MiB behind loses frames";
  // Drained, the client is served again.
  tv = {kReplyLimitS, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_TEXT, "again")));
  EXPECT_EQ(ReadFrame(fd).payload, "again");
  close(fd);
}

namespace {
void OnSignal(int) {}
}  // namespace

TEST_F(WsServer, AFloodOfConnectionsAndFramesLeavesItServing) {
  Start([](WSServerState_* s) { s->config.max_clients = 200; });
  struct sigaction sa = {};
  sa.sa_handler = OnSignal;  // no SA_RESTART: select and accept see EINTR
  sigaction(SIGUSR1, &sa, nullptr);
  std::atomic<bool> signalling{true};
  std::thread signaller([&] {
    for (int i = 0; i < 200 && signalling; ++i) {
      pthread_kill(g_server_thread, SIGUSR1);
      std::this_thread::sleep_for(2ms);
    }
  });
  std::vector<int> open;
  for (int i = 0; i < 120; ++i) {
    int fd = Connect(port_);
    ASSERT_GE(fd, 0);
    if (i % 4 == 0) {  // resets at once
      linger lg = {1, 0};
      setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
      close(fd);
    } else if (i % 4 == 1) {  // half a request, then gone
      SendAll(fd, Request().substr(0, 30));
      close(fd);
    } else {
      ASSERT_TRUE(SendAll(fd, Request()));
      open.push_back(fd);
    }
  }
  for (int fd : open) ASSERT_EQ(ReadHttp(fd).compare(0, 12, "HTTP/1.1 101"), 0);
  for (int round = 0; round < 20; ++round)
    for (int fd : open) ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_TEXT, "r" + std::to_string(round))));
  for (int fd : open)
    for (int round = 0; round < 20; ++round)
      ASSERT_EQ(ReadFrame(fd).payload, "r" + std::to_string(round));
  signalling = false;
  signaller.join();
  for (int fd : open) close(fd);
  int fd = Open();
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_TEXT, "served")));
  EXPECT_EQ(ReadFrame(fd).payload, "served");
  close(fd);
  EXPECT_EQ(g_start_rc, 1) << "the server loop is still running";
}

TEST_F(WsServer, RunningOutOfDescriptorsIsTransient) {
  Start();
  // Client sockets made first; then the process may open no further descriptor.
  std::vector<int> waiting;
  for (int i = 0; i < 5; ++i) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    timeval tv = {kReplyLimitS, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    waiting.push_back(fd);
  }
  std::vector<int> fillers;  // the holes below the highest descriptor
  int top = *std::max_element(waiting.begin(), waiting.end());
  for (;;) {
    int fd = dup(waiting[0]);
    ASSERT_GE(fd, 0);
    fillers.push_back(fd);
    if (fd > top) break;
  }
  rlimit old;
  getrlimit(RLIMIT_NOFILE, &old);
  rlimit tight = old;
  tight.rlim_cur = rlim_t(fillers.back() + 1);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_port = htons(uint16_t(port_));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  for (int fd : waiting) ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  for (int fd : waiting) {
    EXPECT_EQ(ReadHttp(fd), "HTTP/1.1 503 Service Unavailable\r\n\r\n");
    EXPECT_TRUE(EndsWithoutData(fd));
  }
  setrlimit(RLIMIT_NOFILE, &old);
  for (int fd : fillers) close(fd);
  for (int fd : waiting) close(fd);
  int fd = Open();
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_TEXT, "served")));
  EXPECT_EQ(ReadFrame(fd).payload, "served");
  close(fd);
  EXPECT_EQ(g_start_rc, 1);
}

namespace {
WSServerState_* g_pic = nullptr;
void* PicBody(void*) {
  ws_start(g_pic);
  return nullptr;
}
}  // namespace

TEST_F(WsServer, BothFamiliesRunSideBySideOnLoopbackWithTheirOwnPipes) {
  setenv("SCOPE_WS_PIC_PORT", "0", 1);
  unsetenv("SCOPE_WS_HOST");
  g_pic = ws_init("0.0.0.0", "9002");
  unsetenv("SCOPE_WS_PIC_PORT");
  EXPECT_EQ(g_pic->config.host, "127.0.0.1");
  EXPECT_EQ(g_pic->config.port, "0");
  g_pic->onmessage = OnMessage;
  ASSERT_EQ(plat::StartThread("ws-pic", PicBody, nullptr), 0);
  Start();
  WaitUntil([] { return g_pic->bound_port != 0; });
  ASSERT_GT(g_pic->bound_port.load(), 0);
  for (const char* name : {"wspipein.fifo", "wspipeout.fifo", "wspipein2.fifo", "wspipeout2.fifo"}) {
    struct stat st;
    EXPECT_EQ(stat((root_ + "/tmp/" + name).c_str(), &st), 0) << name;
  }
  int fd = Connect(g_pic->bound_port);
  ASSERT_TRUE(SendAll(fd, Request()));
  ASSERT_EQ(ReadHttp(fd).compare(0, 12, "HTTP/1.1 101"), 0);
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_TEXT, "picture please")));
  EXPECT_EQ(ReadFrame(fd).payload, "picture please");
  close(fd);
  ws2_wake(g_pic);
  plat::RequestStop();
  plat::JoinAllThreads();
  ws_stop(g_pic);
  struct stat st;
  EXPECT_NE(stat((root_ + "/tmp/wspipein.fifo").c_str(), &st), 0) << "stop removes the pipes";
}

// Announced lengths cost nothing until the bytes come: a client announcing
// a whole frame and sending one byte holds a buffer of one byte.
TEST_F(WsServer, FrameBuffersGrowAsTheBytesArrive) {
  Start();
  std::vector<int> fds;
  for (int i = 0; i < 20; ++i) {
    int fd = Open();
    std::string f = Frame(WS_OPCODE_BIN, std::string(WS_MAX_FRM_SZ, 'x'));
    ASSERT_TRUE(SendAll(fd, f.substr(0, 14 + 1)));  // header and one payload byte
    fds.push_back(fd);
  }
  ASSERT_TRUE(WaitFor([] {
    size_t held = 0, waiting = 0;
    for (auto& c : g_server->clients)
      if (c->message) {
        ++waiting;
        held += c->message->payload.capacity();
      }
    return waiting == 20 && held < 20 * 1024;
  }));
  // The frame completes as the rest arrives.
  std::string f = Frame(WS_OPCODE_BIN, std::string(WS_MAX_FRM_SZ, 'x'));
  ASSERT_TRUE(SendAll(fds[0], f.substr(15)));
  Rx rx = ReadFrame(fds[0]);
  EXPECT_EQ(rx.payload, std::string(WS_MAX_FRM_SZ, 'x'));
  for (int fd : fds) close(fd);
}

// Every frame that came in one piece with the handshake is answered at once,
// not only the first sixteen.
TEST_F(WsServer, AllFramesSentWithTheHandshakeAreRead) {
  Start();
  int fd = Connect(port_);
  std::string burst = Request();
  for (int i = 0; i < 40; ++i) burst += Frame(WS_OPCODE_TEXT, "f" + std::to_string(i));
  ASSERT_LT(burst.size(), WS_BUFFER_SIZE);
  ASSERT_TRUE(SendAll(fd, burst));
  EXPECT_EQ(ReadHttp(fd).compare(0, 12, "HTTP/1.1 101"), 0);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(ReadFrame(fd).payload, "f" + std::to_string(i));
  close(fd);
}

// Clients beyond the cap are refused; handshakes that take too long and
// silent clients are dropped.
TEST_F(WsServer, ClientCapHandshakeAndIdleTimeOuts) {
  Start([](WSServerState_* s) {
    s->config.max_clients = 3;
    s->config.handshake_timeout_s = 1;
    s->config.idle_timeout_s = 2;
  });
  int slow = Connect(port_);
  ASSERT_TRUE(SendAll(slow, Request().substr(0, 20)));  // never finished
  EXPECT_TRUE(EndsWithoutData(slow));                   // dropped after a second or two
  close(slow);
  // The idle clients last: a loaded machine may take longer than the idle
  // time-out over the steps before, which must not count as a's silence.
  int a = Open(), b = Open(), c = Open();
  int d = Connect(port_);
  EXPECT_EQ(ReadHttp(d), "HTTP/1.1 503 Service Unavailable\r\n\r\n");
  EXPECT_TRUE(EndsWithoutData(d));
  close(d);
  close(c);
  ASSERT_TRUE(WaitFor([] { return g_closes == 1; }));
  // a keeps talking, b stays silent: only b is closed.
  EXPECT_TRUE(WaitUntil([&] {
    EXPECT_TRUE(SendAll(a, Frame(WS_OPCODE_TEXT, "alive")));
    EXPECT_EQ(ReadFrame(a).payload, "alive");
    std::this_thread::sleep_for(100ms);
    std::lock_guard<std::mutex> l(g_mu);
    return g_closes == 2;
  }));
  EXPECT_TRUE(EndsWithoutData(b));
  ASSERT_TRUE(SendAll(a, Frame(WS_OPCODE_TEXT, "still")));
  EXPECT_EQ(ReadFrame(a).payload, "still");
  close(a);
  close(b);
}

namespace {
// A client that goes while the server still has bytes queued for it: the send
// fails, the client is ended at once (close callback, slot and descriptor
// freed) and the loop goes back to rest instead of spinning on it.
void GoneWithUnsentData(int port) {
  int fd = Connect(port, 4096);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(SendAll(fd, Request()));
  ASSERT_EQ(ReadHttp(fd).compare(0, 12, "HTTP/1.1 101"), 0);
  ASSERT_TRUE(SendAll(fd, Frame(WS_OPCODE_TEXT, "flood")));
  ASSERT_TRUE(WaitFor([] { return g_sending_at_beat > 0; }, 10000ms))
      << "the server queues what it cannot send";
  linger lg = {1, 0};  // unread data: the peer resets the connection
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
  close(fd);
  ASSERT_TRUE(WaitFor([] { return g_closes == 1 && g_clients_at_beat == 0; }, 10000ms))
      << "the client is still held";
  // The only slot is free again.
  int again = Connect(port);
  ASSERT_TRUE(SendAll(again, Request()));
  ASSERT_EQ(ReadHttp(again).compare(0, 12, "HTTP/1.1 101"), 0);
  ASSERT_TRUE(SendAll(again, Frame(WS_OPCODE_TEXT, "served")));
  EXPECT_EQ(ReadFrame(again).payload, "served");
  // At rest the loop runs a few rounds between two heartbeats, not thousands.
  size_t beats = 0;
  {
    std::lock_guard<std::mutex> l(g_mu);
    beats = g_rounds_at_beat.size();
  }
  ASSERT_TRUE(WaitFor([beats] { return g_rounds_at_beat.size() >= beats + 2; }, 10000ms));
  std::lock_guard<std::mutex> l(g_mu);
  const uint64_t rounds = g_rounds_at_beat[beats + 1] - g_rounds_at_beat[beats];
  EXPECT_LT(rounds, 200u);
  close(again);
}
}  // namespace

TEST_F(WsServer, AClientGoneWithUnsentDataIsEndedOnTheCommandServer) {
  Start([](WSServerState_* s) { s->config.max_clients = 1; });
  GoneWithUnsentData(port_);
}

TEST_F(WsServer, AClientGoneWithUnsentDataIsEndedOnThePictureServer) {
  Start([](WSServerState_* s) { s->config.max_clients = 1; }, true);
  GoneWithUnsentData(port_);
}
