// The VXI-11 server driven over raw loopback sockets: portmapper look-ups,
// the core channel's link, writes and reads through the SCPI thread, record
// fragments, and hostile input (oversized records, bad lengths, unknown
// programs and procedures).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ipc.h"
#include "platform/thread.h"
#include "remote/scpi/scpi.h"
#include "remote/vxi11/vxi11.h"
#include "remote/vxi11/vxi11_link.h"
#include "remote/vxi11/vxi11_xdr.h"
#include "tests/bench/bench.h"

namespace {
std::atomic<int> g_counted{0};
std::string g_long;
std::mutex g_blockMu;
std::condition_variable g_blockCv;
bool g_blocked = false, g_release = false;

void Idn(scpi_para*, char*) { Scpi.WriteResponseData("QEL,TEST", 0); }
void Count(scpi_para*, char*) { ++g_counted; }
void Long(scpi_para*, char*) { Scpi.WriteResponseDataPure(g_long.data(), int(g_long.size())); }
void Echo(scpi_para*, char* p) { Scpi.WriteResponseData(p ? p : "", 0); }
void Slow(scpi_para*, char*) {
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  Scpi.WriteResponseData("SLOW", 0);
}
// Holds the worker until released.
void Block(scpi_para*, char*) {
  std::unique_lock<std::mutex> lock(g_blockMu);
  g_blocked = true;
  g_blockCv.notify_all();
  g_blockCv.wait_for(lock, std::chrono::seconds(20), [] { return g_release; });
}

instr g_table[] = {{"*IDN?", Idn},   {"COUNt", Count}, {"LONG?", Long},   {"ECHO?", Echo},
                   {"SLOW?", Slow},  {"BLOCk", Block}, {"", nullptr}};

constexpr uint32_t kCore = 0x0607AF, kAsync = 0x0607B0, kPmap = 100000;
constexpr uint32_t kEnd = 0x08, kTermChr = 0x80;

struct Reply {
  bool ok = false;          // a reply came
  uint32_t replyStat = 99;  // 0 accepted, 1 denied
  uint32_t stat = 99;       // accept_stat, or reject_stat when denied
  std::string body;         // the result record
  std::vector<uint32_t> Words() const {
    std::vector<uint32_t> w;
    XdrReader r(body.data(), body.size());
    uint32_t v;
    while (r.U32(&v)) w.push_back(v);
    return w;
  }
};

std::string Word(uint32_t v) {
  XdrWriter w;
  w.U32(v);
  return w.bytes();
}

std::string CallMessage(uint32_t prog, uint32_t vers, uint32_t proc, const std::string& args, uint32_t rpcvers = 2) {
  XdrWriter w;
  for (uint32_t v : {0x1234u, 0u, rpcvers, prog, vers, proc, 0u, 0u, 0u, 0u}) w.U32(v);
  return w.bytes() + args;
}

Reply ParseReply(const std::string& msg) {
  Reply r;
  XdrReader x(msg.data(), msg.size());
  uint32_t xid = 0, type = 0, flavor = 0;
  std::string verf;
  if (!x.U32(&xid) || xid != 0x1234 || !x.U32(&type) || type != 1 || !x.U32(&r.replyStat)) return r;
  if (r.replyStat == 0 && (!x.U32(&flavor) || !x.Opaque(&verf, 400))) return r;
  if (!x.U32(&r.stat)) return r;
  r.ok = true;
  r.body = msg.substr(msg.size() - x.remaining());
  return r;
}

// How long a reply that is due may take; only a fault waits this long.
constexpr int kReplyLimitMs = 30000;

class Client {
 public:
  explicit Client(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval tv = {kReplyLimitMs / 1000, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~Client() { close(fd_); }
  bool connected() const { return connected_; }
  bool Send(const std::string& bytes) {
    return send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
  }
  // Reads one whole reply record; "" when the connection closed or timed out.
  std::string ReadRecord() {
    std::string record;
    for (;;) {
      std::string mark = ReadN(4);
      if (mark.size() != 4) return "";
      XdrReader r(mark.data(), 4);
      uint32_t m = 0;
      r.U32(&m);
      std::string frag = ReadN(m & 0x7FFFFFFF);
      record += frag;
      if (m & 0x80000000u) return record;
    }
  }
  Reply Call(uint32_t prog, uint32_t vers, uint32_t proc, const std::string& args) {
    std::string msg = CallMessage(prog, vers, proc, args);
    if (!Send(Word(0x80000000u | uint32_t(msg.size())) + msg)) return Reply();
    return ParseReply(ReadRecord());
  }
  bool Closed() {
    char c;
    return recv(fd_, &c, 1, 0) == 0;
  }
  // Whether a reply (or the end) is waiting within `ms`.
  bool Readable(int ms) {
    pollfd p = {fd_, POLLIN, 0};
    return poll(&p, 1, ms) == 1;
  }
  // Sends a call without waiting for its reply.
  bool Post(uint32_t prog, uint32_t vers, uint32_t proc, const std::string& args) {
    std::string msg = CallMessage(prog, vers, proc, args);
    return Send(Word(0x80000000u | uint32_t(msg.size())) + msg);
  }
  uint32_t lid = 1;  // the link its calls name

 private:
  std::string ReadN(size_t n) {
    std::string out(n, '\0');
    size_t got = 0;
    while (got < n) {
      ssize_t k = recv(fd_, &out[got], n - got, 0);
      if (k <= 0) return out.substr(0, got);
      got += size_t(k);
    }
    return out;
  }
  int fd_ = -1;
  bool connected_ = false;
};

Reply UdpCall(int port, const std::string& msg, int waitMs = kReplyLimitMs) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  timeval tv = {waitMs / 1000, waitMs % 1000 * 1000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_port = htons(uint16_t(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sendto(fd, msg.data(), msg.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
  char buf[65536];
  ssize_t n = recv(fd, buf, sizeof buf, 0);
  close(fd);
  return n > 0 ? ParseReply(std::string(buf, size_t(n))) : Reply();
}

std::string Opaque(const std::string& s) {
  XdrWriter w;
  w.Opaque(s);
  return w.bytes();
}
std::string Words(std::initializer_list<uint32_t> v) {
  std::string s;
  for (uint32_t x : v) s += Word(x);
  return s;
}
std::string CreateLinkArgs(const std::string& device) { return Words({7, 0, 0}) + Opaque(device); }
std::string WriteArgs(uint32_t lid, uint32_t flags, const std::string& data) {
  return Words({lid, 1000, 0, flags}) + Opaque(data);
}
std::string ReadArgs(uint32_t lid, uint32_t size, uint32_t timeoutMs, uint32_t flags = 0, uint32_t term = 0) {
  return Words({lid, size, timeoutMs, 0, flags, term});
}

// A device_read result: error, reason, data.
struct ReadResult {
  uint32_t error = 99, reason = 99;
  std::string data;
};
ReadResult ParseRead(const Reply& r) {
  ReadResult out;
  XdrReader x(r.body.data(), r.body.size());
  x.U32(&out.error);
  x.U32(&out.reason);
  x.Opaque(&out.data, 1 << 22);
  return out;
}

// A portmapper of the system's: holds a TCP and a UDP port, answers every call
// TRUE and records the (procedure, program, protocol, port) of each SET and
// UNSET.
struct SystemPortmapper {
  int tcp = socket(AF_INET, SOCK_STREAM, 0), udp = socket(AF_INET, SOCK_DGRAM, 0);
  int port = 0;
  std::atomic<bool> stop{false};
  std::mutex mu;
  std::vector<std::vector<uint32_t>> calls;
  std::thread thread;
  SystemPortmapper() {
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(tcp, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(tcp, 1);
    getsockname(tcp, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    bind(udp, reinterpret_cast<sockaddr*>(&a), sizeof a);
    timeval tv = {0, 100000};
    setsockopt(udp, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    thread = std::thread([this] { Serve(); });
  }
  ~SystemPortmapper() {
    stop = true;
    thread.join();
    close(tcp);
    close(udp);
  }
  void Serve() {
    while (!stop) {
      char buf[512];
      sockaddr_in from = {};
      socklen_t len = sizeof from;
      ssize_t n = recvfrom(udp, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
      if (n <= 0) continue;
      std::vector<uint32_t> w = Reply{true, 0, 0, std::string(buf, size_t(n))}.Words();
      if (w.size() < 10) continue;
      if (w.size() >= 14) {
        std::lock_guard<std::mutex> lock(mu);
        calls.push_back({w[5], w[10], w[12], w[13]});
      }
      std::string reply = Words({w[0], 1, 0, 0, 0, 0, 1});
      sendto(udp, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
    }
  }
  bool Received(std::vector<uint32_t> call) {
    std::lock_guard<std::mutex> lock(mu);
    for (auto& c : calls)
      if (c == call) return true;
    return false;
  }
};

struct Vxi11 : ::testing::Test {
  Bench bench;
  Vxi11Ports& ports = Vxi11BoundPorts();
  void SetUp() override {
    g_counted = 0;
    g_blocked = g_release = false;
    ASSERT_EQ(0, Scpi.RegisterInstr(40, g_table));
    ASSERT_EQ(0, StartScpiThread());
  }
  void TearDown() override { ReleaseWorker(); }
  void StartServer(int portmapPort = 0, int idleS = 1800, int portmapIdleS = 5) {
    Vxi11Config c;
    c.portmapPort = portmapPort;
    c.idleTimeoutS = idleS;
    c.portmapIdleS = portmapIdleS;
    ASSERT_EQ(0, Vxi11Start(c));
    ASSERT_TRUE(Vxi11WaitReady(3000));
  }
  // Creates a link for the client's calls; its id, or 0.
  uint32_t Link(Client& c) {
    std::vector<uint32_t> w = c.Call(kCore, 1, 10, CreateLinkArgs("inst0")).Words();
    c.lid = w.size() == 4 && w[0] == 0 ? w[1] : 0;
    return c.lid;
  }
  Reply Write(Client& c, const std::string& data, uint32_t flags = kEnd) {
    return c.Call(kCore, 1, 11, WriteArgs(c.lid, flags, data));
  }
  ReadResult Read(Client& c, uint32_t size = 65536, uint32_t timeoutMs = kReplyLimitMs, uint32_t flags = 0,
                  uint32_t term = 0) {
    return ParseRead(c.Call(kCore, 1, 12, ReadArgs(c.lid, size, timeoutMs, flags, term)));
  }
  void BlockWorker(Client& c) {
    Write(c, "BLOCk\n");
    std::unique_lock<std::mutex> lock(g_blockMu);
    ASSERT_TRUE(g_blockCv.wait_for(lock, std::chrono::seconds(3), [] { return g_blocked; }));
  }
  void ReleaseWorker() {
    std::lock_guard<std::mutex> lock(g_blockMu);
    g_release = true;
    g_blockCv.notify_all();
  }
  // Every command sent so far has run.
  void Settle(Client& c) {
    EXPECT_TRUE(WaitUntil([&] { return Query(c, "*OPC?\n") == "1\r\n"; }));
  }
  std::string Query(Client& c, const std::string& line) {
    Write(c, line);
    return Read(c).data;
  }
};

TEST_F(Vxi11, PortmapperTellsThePortsOnTcpAndUdp) {
  StartServer();
  ASSERT_GT(ports.portmapTcp, 0);
  ASSERT_GT(ports.udp, 0);
  Client pm(ports.portmapTcp);
  ASSERT_TRUE(pm.connected());
  Reply r = pm.Call(kPmap, 2, 3, Words({kCore, 1, 6, 0}));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(0u, r.stat);
  EXPECT_EQ(std::vector<uint32_t>{uint32_t(ports.core)}, r.Words());
  EXPECT_EQ(std::vector<uint32_t>{uint32_t(ports.abort)}, pm.Call(kPmap, 2, 3, Words({kAsync, 1, 6, 0})).Words());
  EXPECT_EQ(std::vector<uint32_t>{0u}, pm.Call(kPmap, 2, 3, Words({kCore, 2, 6, 0})).Words());
  EXPECT_EQ(std::vector<uint32_t>{0u}, pm.Call(kPmap, 2, 3, Words({123456, 1, 6, 0})).Words());
  // Registrations from outside are refused.
  EXPECT_EQ(std::vector<uint32_t>{0u}, pm.Call(kPmap, 2, 1, Words({123456, 1, 6, 999})).Words());
  // DUMP lists the core program on TCP.
  std::vector<uint32_t> dump = pm.Call(kPmap, 2, 4, "").Words();
  bool listed = false;
  for (size_t i = 0; i + 4 < dump.size(); i += 5)
    listed |= dump[i] == 1 && dump[i + 1] == kCore && dump[i + 3] == 6 && dump[i + 4] == uint32_t(ports.core);
  EXPECT_TRUE(listed);
  // rpcbind's GETADDR answers the universal address.
  Reply a = pm.Call(kPmap, 4, 3, Words({kCore, 1}) + Opaque("tcp") + Opaque("") + Opaque(""));
  XdrReader x(a.body.data(), a.body.size());
  std::string uaddr;
  ASSERT_TRUE(x.Opaque(&uaddr, 100));
  int core = ports.core;
  EXPECT_EQ("127.0.0.1." + std::to_string(core >> 8) + "." + std::to_string(core & 255), uaddr);
  // A version of the portmapper not served: the versions that are.
  Reply m = pm.Call(kPmap, 7, 3, "");
  EXPECT_EQ(2u, m.stat);
  EXPECT_EQ((std::vector<uint32_t>{2, 4}), m.Words());

  Reply u = UdpCall(ports.udp, CallMessage(kPmap, 2, 3, Words({kCore, 1, 17, 0})));
  ASSERT_TRUE(u.ok);
  EXPECT_EQ(std::vector<uint32_t>{uint32_t(ports.udp)}, u.Words());
  // Garbage datagrams get no answer and do not stop the server.
  EXPECT_FALSE(UdpCall(ports.udp, "\x01\x02\x03", 500).ok);  // no answer
  EXPECT_TRUE(UdpCall(ports.udp, CallMessage(kPmap, 2, 0, "")).ok);
}

TEST_F(Vxi11, LinkWriteAndReadThroughTheScpiThread) {
  StartServer();
  Client c(ports.core);
  ASSERT_TRUE(c.connected());
  EXPECT_EQ((std::vector<uint32_t>{0, 1, uint32_t(ports.abort), 1024}),
            c.Call(kCore, 1, 10, CreateLinkArgs("inst0")).Words());
  EXPECT_EQ((std::vector<uint32_t>{21, 0x1F1F1F1F, 0, 0}), c.Call(kCore, 1, 10, CreateLinkArgs("gpib0,5")).Words());

  EXPECT_EQ((std::vector<uint32_t>{0, 6}), Write(c, "*IDN?\n").Words());
  ReadResult r = Read(c);
  EXPECT_EQ(0u, r.error);
  EXPECT_EQ(4u, r.reason);
  EXPECT_EQ("QEL,TEST\r\n", r.data);
  // A finished answer is not served again: the next read waits and times out.
  ReadResult again = Read(c, 65536, 100);
  EXPECT_EQ(15u, again.error);
  EXPECT_EQ("", again.data);

  // END without a line end: the line end is added, and counted.
  EXPECT_EQ((std::vector<uint32_t>{0, 6}), Write(c, "*OPC?").Words());
  EXPECT_EQ("1\r\n", Read(c).data);

  // A command in two writes, the first without END or line end, is posted once.
  EXPECT_EQ((std::vector<uint32_t>{0, 2}), Write(c, "CO", 0).Words());
  EXPECT_EQ(0, g_counted.load());
  EXPECT_EQ((std::vector<uint32_t>{0, 4}), Write(c, "UNt\n", 0).Words());
  Settle(c);
  EXPECT_EQ(1, g_counted.load());

  // A link id never given is refused; a link works from a second connection too.
  EXPECT_EQ((std::vector<uint32_t>{4, 0}), c.Call(kCore, 1, 11, WriteArgs(2, kEnd, "*IDN?\n")).Words());
  EXPECT_EQ(4u, ParseRead(c.Call(kCore, 1, 12, ReadArgs(9, 100, 100))).error);
  Client other(ports.core);
  EXPECT_EQ((std::vector<uint32_t>{0, 6}), Write(other, "*IDN?\n").Words());
  ReadResult o = Read(other);
  EXPECT_EQ(0u, o.error);
  EXPECT_EQ("QEL,TEST\r\n", o.data);

  // The calls that do nothing answer error 0; destroy_link too.
  EXPECT_EQ((std::vector<uint32_t>{0, 0}), c.Call(kCore, 1, 13, Words({1, 0, 0, 0})).Words());
  EXPECT_EQ(std::vector<uint32_t>{0}, c.Call(kCore, 1, 15, Words({1, 0, 0, 0})).Words());
  EXPECT_EQ(std::vector<uint32_t>{0}, c.Call(kCore, 1, 18, Words({1, 0, 0})).Words());
  EXPECT_EQ(std::vector<uint32_t>{0}, c.Call(kCore, 1, 20, Words({1, 0}) + Opaque("h")).Words());
  Client abort(ports.abort);
  EXPECT_EQ(std::vector<uint32_t>{0}, abort.Call(kAsync, 1, 1, Words({1})).Words());
  EXPECT_EQ(std::vector<uint32_t>{0}, c.Call(kCore, 1, 23, Words({1})).Words());
  // Gone: its id is refused everywhere.
  EXPECT_EQ(std::vector<uint32_t>{4}, c.Call(kCore, 1, 23, Words({1})).Words());
  EXPECT_EQ(std::vector<uint32_t>{4}, abort.Call(kAsync, 1, 1, Words({1})).Words());
  EXPECT_EQ((std::vector<uint32_t>{4, 0}), Write(c, "*IDN?\n").Words());
}

TEST_F(Vxi11, ReadsHonourRequestSizeTermCharAndTimeOut) {
  StartServer();
  g_long = std::string(3000, 'x');
  g_long[999] = '\n';
  Client c(ports.core);
  ASSERT_EQ(1u, Link(c));
  Write(c, "LONG?\n");
  ReadResult a = Read(c, 1024);
  EXPECT_EQ(1u, a.reason);  // request count
  EXPECT_EQ(1024u, a.data.size());
  ReadResult b = Read(c, 4000);
  EXPECT_EQ(4u, b.reason);
  EXPECT_EQ(g_long, a.data + b.data);

  // With the term character set, a read stops after it; END marks the last byte.
  Write(c, "LONG?\n");
  ReadResult t = Read(c, 4000, kReplyLimitMs, kTermChr, '\n');
  EXPECT_EQ(2u, t.reason);
  EXPECT_EQ(g_long.substr(0, 1000), t.data);
  ReadResult rest = Read(c, 2000, kReplyLimitMs, kTermChr, '\n');
  EXPECT_EQ(4u, rest.reason);
  EXPECT_EQ(2000u, rest.data.size());
  // An answer whose length is a multiple of the request still ends with END.
  g_long = std::string(2048, 'y');
  Write(c, "LONG?\n");
  EXPECT_EQ(1u, Read(c, 1024).reason);
  EXPECT_EQ(4u, Read(c, 1024).reason);

  // A command that answers nothing: the read times out with the I/O time-out
  // error and no data.
  Write(c, "NOSuch:COMMand?\n");
  auto start = std::chrono::steady_clock::now();
  ReadResult late = Read(c, 100, 300);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(15u, late.error);
  EXPECT_EQ("", late.data);
  EXPECT_GE(ms, 290);
  EXPECT_LT(ms, kReplyLimitMs);  // its own time-out ended it, not the client's
}

TEST_F(Vxi11, OversizedWritesAreDiscardedWhole) {
  StartServer();
  Client c(ports.core);
  ASSERT_EQ(1u, Link(c));
  std::string chunk(50000, 'a');
  EXPECT_EQ((std::vector<uint32_t>{0, 50000}), Write(c, chunk, 0).Words());
  EXPECT_EQ((std::vector<uint32_t>{0, 50000}), Write(c, chunk, 0).Words());
  EXPECT_EQ((std::vector<uint32_t>{1, 50000}), Write(c, chunk, 0).Words());
  // The buffer was emptied: the next command stands alone.
  EXPECT_EQ("QEL,TEST\r\n", Query(c, "*IDN?\n"));
  // A whole buffer with END, and a message longer than one SCPI message:
  // refused with an error, not reported as done and dropped.
  EXPECT_EQ((std::vector<uint32_t>{0, 65536}), Write(c, std::string(65536, 'b'), 0).Words());
  EXPECT_EQ(1u, Write(c, std::string(65536, 'b')).Words()[0]);
  EXPECT_EQ(1u, Write(c, std::string(70000, 'c') + "\n").Words()[0]);
  EXPECT_EQ("QEL,TEST\r\n", Query(c, "*IDN?\n"));
}

TEST_F(Vxi11, FragmentsAndHostileRecords) {
  StartServer();
  // A create_link in three fragments, sent a byte at a time.
  {
    Client c(ports.core);
    std::string msg = CallMessage(kCore, 1, 10, CreateLinkArgs("inst0"));
    std::string stream = Word(10) + msg.substr(0, 10) + Word(7) + msg.substr(10, 7) +
                         Word(0x80000000u | uint32_t(msg.size() - 17)) + msg.substr(17);
    for (char ch : stream) ASSERT_TRUE(c.Send(std::string(1, ch)));
    Reply r = ParseReply(c.ReadRecord());
    EXPECT_EQ((std::vector<uint32_t>{0, 1, uint32_t(ports.abort), 1024}), r.Words());
  }
  Client c(ports.core);
  ASSERT_EQ(2u, Link(c));
  // Unknown procedure, program and RPC version; a version not served.
  EXPECT_EQ(3u, c.Call(kCore, 1, 99, "").stat);
  EXPECT_EQ(1u, c.Call(0x12345, 1, 1, "").stat);
  EXPECT_EQ(2u, c.Call(kCore, 3, 10, "").stat);
  std::string bad = CallMessage(kCore, 1, 10, "", 3);
  c.Send(Word(0x80000000u | uint32_t(bad.size())) + bad);
  Reply denied = ParseReply(c.ReadRecord());
  EXPECT_EQ(1u, denied.replyStat);
  EXPECT_EQ(0u, denied.stat);  // RPC_MISMATCH
  // Arguments that do not decode: missing words, an opaque longer than the record.
  EXPECT_EQ(4u, c.Call(kCore, 1, 11, Words({1, 0})).stat);
  EXPECT_EQ(4u, c.Call(kCore, 1, 11, Words({1, 0, 0, 8, 0x7FFFFFF0})).stat);
  EXPECT_EQ(4u, c.Call(kCore, 1, 10, Words({1, 0, 0, 1000000})).stat);
  // An oversized credential.
  std::string cred = Words({0x1234, 0, 2, kCore, 1, 10, 1, 100000});
  c.Send(Word(0x80000000u | uint32_t(cred.size())) + cred);
  Reply auth = ParseReply(c.ReadRecord());
  EXPECT_EQ(1u, auth.replyStat);
  EXPECT_EQ(1u, auth.stat);  // AUTH_ERROR
  // A reply message and a header cut short get no answer; the next call does.
  std::string noise = Words({0x1234, 1, 0});
  c.Send(Word(0x80000000u | 12) + noise + Word(0x80000000u | 4) + Word(0x1234));
  EXPECT_EQ((std::vector<uint32_t>{0, 0}), c.Call(kCore, 1, 13, Words({2, 0, 0, 0})).Words());

  // A record announced beyond the limit closes the connection, and only it.
  Client huge(ports.core);
  huge.Send(Word(0x7FFFFFFF) + "abcd");
  EXPECT_TRUE(huge.Closed());
  Client many(ports.core);
  many.Send(Word(0x00010000) + std::string(0x10000, 'z') + Word(0x00010000) + std::string(0x10000, 'z') +
            Word(0x00010000));
  EXPECT_TRUE(many.Closed());

  EXPECT_EQ("QEL,TEST\r\n", Query(c, "*IDN?\n"));
}

// A datagram socket of a UDP client: calls go out, replies are waited for.
struct UdpClient {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  int port;
  explicit UdpClient(int p) : port(p) {}
  ~UdpClient() { close(fd); }
  void Send(const std::string& msg) {
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sendto(fd, msg.data(), msg.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
  }
  Reply Receive(time_t waitSeconds) {
    timeval tv = {waitSeconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    char buf[65536];
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    return n > 0 ? ParseReply(std::string(buf, size_t(n))) : Reply();
  }
  Reply Call(uint32_t proc, const std::string& args, time_t waitSeconds = 10) {
    Send(CallMessage(kCore, 1, proc, args));
    return Receive(waitSeconds);
  }
};

// A core call over UDP waits for its answer as over TCP, up to the link's
// time-out, and the server serves its other clients meanwhile.
TEST_F(Vxi11, ACallOverUdpWaitsForItsAnswerWithinItsTimeOut) {
  StartServer();
  UdpClient u(ports.udp);
  std::vector<uint32_t> link = u.Call(10, CreateLinkArgs("inst0")).Words();
  ASSERT_EQ(4u, link.size());
  ASSERT_EQ(0u, link[0]);
  const uint32_t lid = link[1];
  // The answer takes 300 ms to come: the read waits for it.
  ASSERT_EQ(0u, u.Call(11, WriteArgs(lid, kEnd, "SLOW?")).Words().at(0));
  ReadResult r = ParseRead(u.Call(12, ReadArgs(lid, 100, 10000)));
  EXPECT_EQ(0u, r.error);
  EXPECT_EQ("SLOW\r\n", r.data);
  // No answer: error 15 once the read's own time-out has passed, not before;
  // a TCP client is served while the datagram call waits, and the call sent
  // again (same transaction) is answered once.
  ASSERT_EQ(0u, u.Call(11, WriteArgs(lid, kEnd, "NOSuch:COMMand")).Words().at(0));
  const auto start = std::chrono::steady_clock::now();
  const std::string read = CallMessage(kCore, 1, 12, ReadArgs(lid, 100, 1500));
  u.Send(read);
  Client c(ports.core);
  ASSERT_NE(0u, Link(c));
  EXPECT_EQ("QEL,TEST\r\n", Query(c, "*IDN?\n"));
  u.Send(read);
  Reply late = u.Receive(10);
  ASSERT_TRUE(late.ok);
  EXPECT_EQ(15u, ParseRead(late).error);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
  EXPECT_FALSE(u.Receive(1).ok) << "one reply per call";
}

// create_link over UDP has a share of its own of the link table: a flood of
// datagram links reuses the oldest of them and TCP clients still get theirs.
TEST_F(Vxi11, DatagramLinksCannotStarveTcpLinks) {
  StartServer();
  std::vector<uint32_t> lids;
  for (int i = 0; i < 300; ++i) {
    UdpClient u(ports.udp);
    std::vector<uint32_t> w = u.Call(10, CreateLinkArgs("inst0")).Words();
    ASSERT_EQ(4u, w.size());
    ASSERT_EQ(0u, w[0]) << "datagram link " << i;
    lids.push_back(w[1]);
  }
  EXPECT_LE(Vxi11LinkCount(), 64u);
  UdpClient u(ports.udp);
  EXPECT_EQ(4u, u.Call(11, WriteArgs(lids.front(), kEnd, "*IDN?")).Words().at(0))
      << "the oldest was reused";
  EXPECT_EQ(0u, u.Call(11, WriteArgs(lids.back(), kEnd, "*IDN?")).Words().at(0));
  EXPECT_EQ("QEL,TEST\r\n", ParseRead(u.Call(12, ReadArgs(lids.back(), 100, 5000))).data);
  std::vector<std::unique_ptr<Client>> tcp;
  for (int i = 0; i < 4; ++i) {
    tcp.push_back(std::make_unique<Client>(ports.core));
    ASSERT_NE(0u, Link(*tcp.back())) << "TCP link " << i;
  }
  EXPECT_EQ("QEL,TEST\r\n", Query(*tcp.back(), "*IDN?\n"));
}

TEST_F(Vxi11, StopsWhenTheThreadsStop) {
  StartServer();
  int core = ports.core;
  bench.StopThreads();
  EXPECT_FALSE(ports.ready.load());
  Client late(core);
  EXPECT_FALSE(late.connected());
}
}  // namespace

namespace {
TEST_F(Vxi11, RegistersWithTheSystemPortmapperWhenItHoldsThePort) {
  SystemPortmapper system;
  StartServer(system.port);
  EXPECT_EQ(0, ports.portmapTcp.load());
  ASSERT_GT(ports.udp.load(), 0);
  const uint32_t core = uint32_t(ports.core), abort = uint32_t(ports.abort), udp = uint32_t(ports.udp);
  EXPECT_TRUE(system.Received({2, kCore, 6, 0}));  // unset first
  EXPECT_TRUE(system.Received({1, kCore, 6, core}));
  EXPECT_TRUE(system.Received({1, kCore, 17, udp}));
  EXPECT_TRUE(system.Received({1, kAsync, 6, abort}));
  EXPECT_TRUE(system.Received({1, 0x0607B1, 6, core}));
  // The core channel is served all the same, on TCP and on UDP.
  Client c(ports.core);
  EXPECT_EQ((std::vector<uint32_t>{0, 1, abort, 1024}), c.Call(kCore, 1, 10, CreateLinkArgs("inst0")).Words());
  EXPECT_EQ((std::vector<uint32_t>{0, 2, abort, 1024}),
            UdpCall(ports.udp, CallMessage(kCore, 1, 10, CreateLinkArgs("inst0"))).Words());
  // The registrations are withdrawn when the server stops.
  {
    std::lock_guard<std::mutex> lock(system.mu);
    system.calls.clear();
  }
  bench.StopThreads();
  EXPECT_TRUE(system.Received({2, kCore, 6, 0}));
  EXPECT_TRUE(system.Received({2, kAsync, 17, 0}));
}
}  // namespace

namespace {
// Two links querying in turn: each reads the answer of its own command.
TEST_F(Vxi11, EachLinkReadsItsOwnAnswer) {
  StartServer();
  Client a(ports.core), b(ports.core);
  ASSERT_EQ(1u, Link(a));
  ASSERT_EQ(2u, Link(b));
  for (int i = 0; i < 50; ++i) {
    const std::string x = "A" + std::to_string(i), y = "B" + std::to_string(i);
    Write(a, "ECHO? " + x + "\n");
    Write(b, "ECHO? " + y + "\n");
    EXPECT_EQ(y + "\r\n", Read(b).data);
    EXPECT_EQ(x + "\r\n", Read(a).data);
  }
  // A read's answer is the one of the link's last command, even when it came
  // late: a timed-out query's answer is not served to the next one.
  Write(a, "SLOW?\n");
  EXPECT_EQ(15u, Read(a, 100, 50).error);
  EXPECT_EQ("QEL,TEST\r\n", Query(a, "*IDN?\n"));
}

// A read waiting for its answer holds up nobody: other links, the portmapper
// on TCP and UDP and the abort channel are served, and an abort ends the
// read at once with its own error.
TEST_F(Vxi11, APendingReadBlocksNoOne) {
  StartServer();
  Client waiting(ports.core), other(ports.core), abort(ports.abort), pm(ports.portmapTcp);
  ASSERT_EQ(1u, Link(waiting));
  ASSERT_EQ(2u, Link(other));
  Write(waiting, "NOSuch:COMMand?\n");
  ASSERT_TRUE(waiting.Post(kCore, 1, 12, ReadArgs(1, 100, 0xFFFFFFFF)));  // waits for ever
  EXPECT_EQ("QEL,TEST\r\n", Query(other, "*IDN?\n"));
  EXPECT_EQ(std::vector<uint32_t>{uint32_t(ports.core)}, pm.Call(kPmap, 2, 3, Words({kCore, 1, 6, 0})).Words());
  EXPECT_TRUE(UdpCall(ports.udp, CallMessage(kPmap, 2, 3, Words({kCore, 1, 17, 0}))).ok);
  // An abort ends a parked read only: asked again until the server has parked it.
  EXPECT_TRUE(WaitUntil([&] {
    EXPECT_EQ(std::vector<uint32_t>{0}, abort.Call(kAsync, 1, 1, Words({1})).Words());
    return waiting.Readable(100);
  }));
  ReadResult aborted = ParseRead(ParseReply(waiting.ReadRecord()));
  EXPECT_EQ(23u, aborted.error);
  // The link goes on: a slow answer is waited for while the other link works.
  Write(waiting, "SLOW?\n");
  ASSERT_TRUE(waiting.Post(kCore, 1, 12, ReadArgs(1, 100, 5000)));
  EXPECT_EQ("QEL,TEST\r\n", Query(other, "*IDN?\n"));
  ReadResult slow = ParseRead(ParseReply(waiting.ReadRecord()));
  EXPECT_EQ(0u, slow.error);
  EXPECT_EQ("SLOW\r\n", slow.data);
}

// Partial input belongs to its link: closing the connection, device_clear
// and destroy_link discard it, and it never reaches another client's command.
TEST_F(Vxi11, PartialInputGoesWithItsLink) {
  StartServer();
  {
    Client gone(ports.core);
    ASSERT_EQ(1u, Link(gone));
    Write(gone, "CO", 0);
  }
  EXPECT_TRUE(WaitUntil([] { return Vxi11LinkCount() == 0; }));
  Client c(ports.core);
  ASSERT_EQ(2u, Link(c));
  Write(c, "CO", 0);
  EXPECT_EQ(std::vector<uint32_t>{0}, c.Call(kCore, 1, 15, Words({2, 0, 0, 0})).Words());  // device_clear
  Write(c, "UNt\n");
  Write(c, "CO", 0);
  EXPECT_EQ(std::vector<uint32_t>{0}, c.Call(kCore, 1, 23, Words({2})).Words());  // destroy_link
  ASSERT_EQ(3u, Link(c));
  Write(c, "UNt\n");
  Write(c, "COUN\n");
  Settle(c);
  EXPECT_EQ(1, g_counted.load());
}

// A setup block is posted once its announced length is in, whatever bytes
// its payload holds at the write boundaries; another link's query in
// between does not get taken for the block.
TEST_F(Vxi11, SetupBlocksArriveWholeAcrossWrites) {
  StartServer();
  Client c(ports.core), other(ports.core);
  ASSERT_EQ(1u, Link(c));
  ASSERT_EQ(2u, Link(other));
  std::string payload(3000, 'p');
  for (size_t at : {1017u, 1018u, 2041u, 2042u}) payload[at] = '\n';  // the last bytes of 1024-byte writes
  payload.replace(1019, 6, "COUNt\n");
  const std::string block = "#43000" + payload;
  EXPECT_EQ((std::vector<uint32_t>{0, 13}), Write(c, "SYSTem:SETup").Words());  // END alone ends the line
  EXPECT_EQ("QEL,TEST\r\n", Query(other, "*IDN?\n"));
  for (size_t pos = 0; pos < block.size(); pos += 1024) {
    const bool last = pos + 1024 >= block.size();
    EXPECT_EQ(0u, Write(c, block.substr(pos, 1024), last ? kEnd : 0).Words()[0]);
  }
  Settle(c);
  EXPECT_EQ(3000, Scpi.GetBinaryDataLen());
  EXPECT_EQ(0, g_counted.load());
}

// A burst of setters each takes effect; when the SCPI queue stays full
// longer than a write's time-out, the write reports an I/O error.
TEST_F(Vxi11, BurstsWaitForRoomAndFullQueuesReportAnError) {
  StartServer();
  Client c(ports.core);
  ASSERT_EQ(1u, Link(c));
  for (int i = 0; i < 100; ++i) EXPECT_EQ((std::vector<uint32_t>{0, 6}), Write(c, "COUNt").Words());
  Settle(c);
  EXPECT_EQ(100, g_counted.load());

  g_counted = 0;
  BlockWorker(c);
  const int fill = 3 + 1 + int(plat::MsgCapacity());  // worker queue, the SCPI thread, the message queue
  for (int i = 0; i < fill; ++i) ASSERT_EQ(0u, Write(c, "COUNt").Words()[0]) << i;
  std::vector<uint32_t> full = c.Call(kCore, 1, 11, Words({1, 200, 0, kEnd}) + Opaque("COUNt")).Words();
  EXPECT_EQ(17u, full[0]);
  ReleaseWorker();
  Settle(c);
  EXPECT_EQ(fill, g_counted.load());
}

// Connections per kind are limited, the portmapper keeps its own, and idle
// connections are closed after the time-out.
TEST_F(Vxi11, ConnectionLimitsAndIdleTimeOut) {
  StartServer(0, 1);
  std::vector<std::unique_ptr<Client>> crowd;
  for (int i = 0; i < 129; ++i) crowd.push_back(std::make_unique<Client>(ports.core));
  Client pm(ports.portmapTcp);
  EXPECT_EQ(std::vector<uint32_t>{uint32_t(ports.core)}, pm.Call(kPmap, 2, 3, Words({kCore, 1, 6, 0})).Words());
  EXPECT_TRUE(crowd.front()->Closed());  // made room for the 129th, or idle for a second: closed
  EXPECT_TRUE(crowd.back()->Closed());   // idle for a second: closed
  crowd.clear();
  Client c(ports.core);
  EXPECT_EQ(1u, Link(c));
  EXPECT_EQ("QEL,TEST\r\n", Query(c, "*IDN?\n"));
}

// Silent sockets lock no one out: a newcomer to a full table takes the place
// of the connection idle longest, first of those that never sent a whole
// record, and a portmapper connection silent for its few seconds is closed.
TEST_F(Vxi11, SilentConnectionsMakeRoomForNewcomers) {
  StartServer(0, 1800, 1);
  Client user(ports.core);  // a client at work, idle longer than the silent ones
  ASSERT_EQ(1u, Link(user));
  std::vector<std::unique_ptr<Client>> silent;
  for (int i = 0; i < 127; ++i) silent.push_back(std::make_unique<Client>(ports.core));
  // A half record counts as nothing sent.
  silent.back()->Send(Word(0x80000000u | 40) + "half");
  std::vector<std::unique_ptr<Client>> newcomers;
  for (int i = 0; i < 3; ++i) {
    newcomers.push_back(std::make_unique<Client>(ports.core));
    EXPECT_NE(0u, Link(*newcomers.back())) << "newcomer " << i;
    EXPECT_EQ("QEL,TEST\r\n", Query(*newcomers.back(), "*IDN?\n"));
    EXPECT_TRUE(silent[size_t(i)]->Closed()) << "the longest silent goes first";
  }
  EXPECT_EQ("QEL,TEST\r\n", Query(user, "*IDN?\n"));

  // The portmapper: eight silent sockets, and a look-up is answered all the same.
  std::vector<std::unique_ptr<Client>> pmSilent;
  for (int i = 0; i < 8; ++i) pmSilent.push_back(std::make_unique<Client>(ports.portmapTcp));
  Client pm(ports.portmapTcp);
  EXPECT_EQ(std::vector<uint32_t>{uint32_t(ports.core)},
            pm.Call(kPmap, 2, 3, Words({kCore, 1, 6, 0})).Words());
  // Silent ones are closed after the portmapper's time-out, the core's stay.
  for (auto& c : pmSilent) EXPECT_TRUE(c->Closed());
  EXPECT_TRUE(pm.Closed());
  EXPECT_FALSE(silent.back()->Readable(0));
  EXPECT_EQ("QEL,TEST\r\n", Query(user, "*IDN?\n"));
}

// A port taken by another program is named, with the variable that moves it.
TEST_F(Vxi11, ATakenPortIsNamedWithItsVariable) {
  int taken = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ASSERT_EQ(0, bind(taken, reinterpret_cast<sockaddr*>(&a), sizeof a));
  ASSERT_EQ(0, listen(taken, 1));
  ASSERT_EQ(0, getsockname(taken, reinterpret_cast<sockaddr*>(&a), &len));
  const std::string port = std::to_string(ntohs(a.sin_port));

  Vxi11Config c;
  c.portmapPort = 0;
  c.abortPort = ntohs(a.sin_port);
  testing::internal::CaptureStdout();
  ASSERT_EQ(0, Vxi11Start(c));
  ASSERT_TRUE(Vxi11WaitReady(30000));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(std::string::npos, out.find("abort channel cannot listen on 127.0.0.1 port " + port)) << out;
  EXPECT_NE(std::string::npos, out.find("$SCOPE_VXI11_ABORT_PORT=<port> moves it")) << out;
  // The core channel is served without it.
  Client cl(ports.core);
  EXPECT_EQ((std::vector<uint32_t>{0, 1, 0, 1024}),
            cl.Call(kCore, 1, 10, CreateLinkArgs("inst0")).Words());
  bench.StopThreads();

  c.abortPort = 0;
  c.corePort = ntohs(a.sin_port);
  testing::internal::CaptureStdout();
  ASSERT_EQ(0, Vxi11Start(c));
  EXPECT_FALSE(Vxi11WaitReady(30000));
  out = testing::internal::GetCapturedStdout();
  EXPECT_NE(std::string::npos, out.find("core channel cannot listen on 127.0.0.1 port " + port)) << out;
  EXPECT_NE(std::string::npos, out.find("$SCOPE_VXI11_CORE_PORT=<port> moves it")) << out;
  EXPECT_EQ("VXI-11 off (core port " + port + " not available; $SCOPE_VXI11_CORE_PORT=<port> moves it)",
            Vxi11NotServing());
  close(taken);
}
}  // namespace
