// The USBTMC device's bulk endpoints. The sink thread reads the host's
// transfers on bulk-OUT: DEV_DEP_MSG_OUT messages are gathered up to their
// end of message and posted on the SCPI queue; REQUEST_DEV_DEP_MSG_IN is
// answered on bulk-IN with the answer to the last command, as much of it as
// the host asked for, header and data in one transfer. The source thread
// only keeps the bulk-IN endpoint open.
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/devices/gadget.h"
#include "platform/thread.h"
#include "remote/scpi/scpi.h"
#include "remote/usbtmc/usbtmc_internal.h"

namespace {
constexpr int kMsgOut = 1, kMsgRequestIn = 2, kMsgIn = 2;
constexpr uint8_t kAttrEom = 0x01, kAttrTermChar = 0x02;
constexpr size_t kReceiveBuffer = 65536;      // the longest message kept
constexpr int kAnswerWaitMs = 15000;          // an answer not there by then is not sent
constexpr auto kAnswerPoll = std::chrono::milliseconds(1);
constexpr int kSliceMs = 50;                  // blocked loops look at aborts and stops this often
constexpr int kIdleSleepUs = 5000000;         // the source thread's sleep
constexpr int kClearFlushPackets = 256;       // a clear discards at most this much unread input

struct Header {
  uint8_t msgId = 0, tag = 0, tagInverse = 0;
  uint32_t transferSize = 0;
  uint8_t attributes = 0;
  uint8_t termChar = 0;
};

Header ParseHeader(const uint8_t* p) {
  Header h;
  h.msgId = p[0];
  h.tag = p[1];
  h.tagInverse = p[2];
  h.transferSize = uint32_t(p[4]) | uint32_t(p[5]) << 8 | uint32_t(p[6]) << 16 | uint32_t(p[7]) << 24;
  h.attributes = p[8];
  h.termChar = p[9];
  return h;
}

void PutHeader(uint8_t* p, const Header& h) {
  std::memset(p, 0, kUsbTmcHeaderSize);
  p[0] = h.msgId;
  p[1] = h.tag;
  p[2] = uint8_t(~h.tag);
  for (int i = 0; i < 4; ++i) p[4 + i] = uint8_t(h.transferSize >> (8 * i));
  p[8] = h.attributes;
}

// The sink's messages: "[usb-ERRO] l=<line>," and the text, ended by CR LF.
void Log(int line, const char* text) { std::printf("[usb-ERRO] l=%d,%s\r\n", line, text); }
void Log(int line, const char* fmt, int value) {
  char text[128];
  std::snprintf(text, sizeof(text), fmt, value);
  Log(line, text);
}

bool IsSetupLine(const std::string& m) {
  std::string line = m;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (!line.empty() && line[0] == ':') line.erase(0, 1);  // from the root, as any header
  return line == "SYSTem:SETup" || line == "CONFIG";
}

// Wakes the sink when the SCPI engine stores an answer.
struct AnswerWake {
  std::mutex mu;
  std::condition_variable cv;
  bool stored = false;
};

// The sink's state between transfers.
struct Sink {
  std::shared_ptr<AnswerWake> wake = std::make_shared<AnswerWake>();
  int fd = -1;
  const std::atomic<bool>* stop = nullptr;
  std::string message;    // DEV_DEP_MSG_OUT data gathered up to EOM
  bool overflow = false;  // the message outgrew the buffer: dropped at EOM
  std::string held;       // "SYSTem:SETup" or "CONFIG", posted with its block
  ScpiTicket ticket = 0;  // the last command's answer
  std::string answer;     // that answer, being read
  size_t answerPos = 0;
  bool haveAnswer = false;
  int abortTaken = 0;  // bTag of the bulk-IN abort whose answer is dropped
  bool clearTaken = false;  // the clear's input and answer dropped; it waits for the FIFO to empty
  // The first packet of the transfer that followed an aborted one, or that
  // came while a request waited for its answer: handled before the next read.
  uint8_t next[kUsbTmcMaxPacket] = {};
  int nextLen = -1;

  bool Stopping() const { return stop->load() || plat::StopRequested(); }

  // Takes the answer of the last command once it has come.
  bool Collect() {
    // MAV goes up before the answer leaves the engine, so the status byte
    // never misses it in between.
    if (!haveAnswer && ticket && Scpi.AnswerStored(ticket)) {
      UsbTmcBulk().answerReady = true;
      Scpi.TakeAnswer(ticket, &answer);
      ticket = 0;
      UsbTmcBulk().awaited = 0;
      answerPos = 0;
      haveAnswer = true;
    }
    return haveAnswer;
  }

  void ForgetAnswer() {
    UsbTmcBulk().awaited = 0;
    Scpi.DropAnswer(ticket);
    ticket = 0;
    answer.clear();
    answerPos = 0;
    haveAnswer = false;
    UsbTmcBulk().answerReady = false;
  }
};

// INITIATE_CLEAR: the device's input and output go: the message being
// gathered, the transfers the host sent before the clear and the device has
// not read yet, the commands posted that have not begun, the answer, and the
// bulk-IN FIFO where the port can flush it; where it cannot, the host reads
// it up to a short packet, as CHECK_CLEAR_STATUS tells it (bmClear), and the
// clear is done once the FIFO is empty. A command already running ends on
// its own. True while a clear is being taken.
bool TakeClear(Sink& s) {
  UsbTmcBulkState& b = UsbTmcBulk();
  if (!b.clear.load()) return false;
  const int fd = b.sourceFd.load();
  if (!s.clearTaken) {
    s.clearTaken = true;
    s.message.clear();
    s.overflow = false;
    s.held.clear();
    s.nextLen = -1;
    uint8_t discard[kUsbTmcMaxPacket];
    for (int i = 0; i < kClearFlushPackets && plat::GadgetRead(s.fd, discard, sizeof(discard), 1) >= 0;
         ++i) {
    }
    Scpi.DropUsbTmcCallsPosted();
    s.ForgetAnswer();
    if (fd >= 0) plat::GadgetFifoFlush(fd);
  }
  if (fd >= 0 && plat::GadgetFifoStatus(fd) > 0) return true;
  s.clearTaken = false;
  b.abortOut = 0;
  b.clear = false;
  return true;
}

// INITIATE_ABORT_BULK_IN of a transfer the sink has ended (queued whole, or
// ended by the abort with a short packet): the rest of the answer goes, and
// the FIFO with it where the port can flush it; where it cannot, the host
// reads it up to that short packet, as CHECK_ABORT_BULK_IN_STATUS tells it
// (bmAbortBulkIn), and the abort is done once the FIFO is empty.
void TakeAbortIn(Sink& s) {
  UsbTmcBulkState& b = UsbTmcBulk();
  const int tag = b.abortIn.load();
  if (tag == 0 || b.inTag.load() != 0) return;
  const int fd = b.sourceFd.load();
  if (s.abortTaken != tag) {
    s.abortTaken = tag;
    s.ForgetAnswer();
    if (fd >= 0) plat::GadgetFifoFlush(fd);
  }
  if (fd >= 0 && plat::GadgetFifoStatus(fd) > 0) return;
  int expected = tag;
  b.abortIn.compare_exchange_strong(expected, 0);
  s.abortTaken = 0;
}

constexpr int kReadGone = -1, kReadAborted = -2;

// Reads one packet; its length, kReadGone when the endpoint went away, or
// kReadAborted when the bulk-OUT transfer `tag` (non-zero) was aborted or
// cleared meanwhile.
int ReadPacket(Sink& s, uint8_t* buf, int tag = 0) {
  UsbTmcBulkState& b = UsbTmcBulk();
  for (;;) {
    const int n = plat::GadgetRead(s.fd, buf, kUsbTmcMaxPacket, kSliceMs);
    if (n != -ETIMEDOUT) return n < 0 ? kReadGone : n;
    if (tag && (b.abortOut.load() == tag || b.clear.load())) return kReadAborted;
    TakeClear(s);
    TakeAbortIn(s);
    s.Collect();  // the status byte tells when the answer is there
    if (s.Stopping()) return kReadGone;
  }
}

// True when `p` starts a transfer other than the aborted `tag`: a header
// with a known MsgID and a bTag with its inverse. A packet read after an
// abort that is no such header is taken as the aborted transfer's data.
bool StartsTransfer(const uint8_t* p, int n, uint8_t tag) {
  return n >= kUsbTmcHeaderSize && (p[0] == kMsgOut || p[0] == kMsgRequestIn) && p[1] != 0 &&
         p[1] != tag && p[2] == uint8_t(~p[1]);
}

// Posts a complete message (`binary`: a setup block, or data after a held
// setup line) under the bTag of its last transfer, which marks it as USBTMC's.
void Post(Sink& s, std::string& text, bool binary, uint8_t tag) {
  if (!binary && IsSetupLine(text)) {
    s.held.swap(text);  // posted together with its block
    return;
  }
  if (!binary && text.find("SYSTem:LOCK ON") != std::string::npos) Scpi.SetKeyLockFrom(kKeyLockUsbTmc);
  s.ForgetAnswer();
  ScpiPost posts[2];
  int n = 0;
  if (!s.held.empty()) posts[n++] = {s.held.data(), int(s.held.size()), false};
  posts[n++] = {text.data(), int(text.size()), binary};
  const long type = ScpiMsgType(tag, kScpiSourceTransport);
  // A clear asked while the queue is full ends the wait: the message is input it drops.
  if (Scpi.PostCommand(type, posts, n, true, &s.ticket, &UsbTmcBulk().clear) < 0) {
    if (!UsbTmcBulk().clear.load()) Log(__LINE__, "~the message could not be posted, size=%d", int(text.size()));
    s.ticket = 0;
  }
  UsbTmcBulk().awaited = s.ticket;
  s.held.clear();
}

// DEV_DEP_MSG_OUT: the rest of the transfer, then the message once complete.
void MessageOut(Sink& s, const Header& h, const uint8_t* first, int firstLen) {
  UsbTmcBulkState& b = UsbTmcBulk();
  // 12 + TransferSize bytes, padded to a multiple of 4.
  const uint64_t total = (uint64_t(kUsbTmcHeaderSize) + h.transferSize + 3) & ~uint64_t(3);
  uint64_t have = uint64_t(firstLen);
  auto keep = [&](const uint8_t* data, size_t len) {
    if (s.message.size() + len > kReceiveBuffer) {
      s.overflow = true;
      len = kReceiveBuffer > s.message.size() ? kReceiveBuffer - s.message.size() : 0;
    }
    s.message.append(reinterpret_cast<const char*>(data), len);
  };
  b.outTag = h.tag;
  // Data bytes of this transfer, without the header and the padding.
  uint64_t dataLeft = h.transferSize;
  uint32_t received = 0;
  auto take = [&](const uint8_t* data, size_t len) {
    const size_t n = len < dataLeft ? len : size_t(dataLeft);
    keep(data, n);
    dataLeft -= n;
    received += uint32_t(n);
  };
  take(first + kUsbTmcHeaderSize, size_t(firstLen - kUsbTmcHeaderSize));
  uint8_t packet[kUsbTmcMaxPacket];
  bool ended = firstLen < int(kUsbTmcMaxPacket);  // a short packet ends the transfer
  while (!ended && have < total) {
    const int n = ReadPacket(s, packet, h.tag);
    if (n < 0 || b.abortOut.load() == h.tag || b.clear.load()) {
      if (n == kReadGone) Log(__LINE__, "~tmc read msg errcode=%d", n);
      if (n > 0 && StartsTransfer(packet, n, h.tag)) {
        std::memcpy(s.next, packet, size_t(n));  // the host's next transfer: kept
        s.nextLen = n;
      }
      b.bytesOut = received;
      s.message.clear();
      s.overflow = false;
      b.abortOut = 0;
      b.outTag = 0;
      return;
    }
    have += uint64_t(n);
    take(packet, size_t(n));
    ended = n < int(kUsbTmcMaxPacket);
  }
  b.outTag = 0;
  if (!(h.attributes & kAttrEom)) return;  // more transfers follow
  std::string text;
  text.swap(s.message);
  if (s.overflow) {
    Log(__LINE__, "~a message longer than %d bytes, dropped", int(kReceiveBuffer));
    s.overflow = false;
    return;
  }
  if (text.empty()) return;
  // End of message: the engine needs its line end (the last data byte, not padding).
  const bool binary = !s.held.empty() || text[0] == '#';
  if (!binary && text.back() != '\n' && text.size() < kReceiveBuffer) text += '\n';
  Post(s, text, binary, h.tag);
}

// Writes `len` bytes to bulk-IN as one transfer; false when the endpoint failed.
bool Send(int fd, const uint8_t* data, size_t len) {
  const int n = plat::GadgetWrite(fd, data, len);
  return n == int(len);
}
// A zero-length packet.
bool SendZlp(int fd) {
  static const uint8_t none = 0;
  return Send(fd, &none, 0);
}

// A transfer the host sent while the sink waited for an answer: kept in
// `s.next` for the sink (zero-length packets are dropped). True when one came.
bool TookNextTransfer(Sink& s) {
  if (s.nextLen >= 0) return true;
  const int n = plat::GadgetRead(s.fd, s.next, sizeof(s.next), 0);
  if (n > 0) s.nextLen = n;
  return n > 0;
}

// Waits for the answer of the last command, looking when an answer is
// stored and at least every millisecond; false after kAnswerWaitMs, an abort
// of the transfer `tag`, a clear (which may come before the transfer was
// marked as in progress), a stop, or the host's next transfer: a host that
// sends again no longer waits for this request, and the device goes on
// taking what it sends (an answer still to come is kept for a later request
// unless the new transfer is a command).
bool AwaitAnswer(Sink& s, uint8_t tag) {
  UsbTmcBulkState& b = UsbTmcBulk();
  for (int waited = 0; !s.Collect(); ++waited) {
    if (b.abortIn.load() == tag || b.clear.load() || s.Stopping() || waited >= kAnswerWaitMs) return false;
    if (TookNextTransfer(s)) return false;
    std::unique_lock<std::mutex> lock(s.wake->mu);
    s.wake->cv.wait_for(lock, kAnswerPoll, [&] { return s.wake->stored; });
    s.wake->stored = false;
  }
  return true;
}

// REQUEST_DEV_DEP_MSG_IN: the next piece of the answer, at most TransferSize
// bytes (up to the term character when asked), with EOM on the last byte.
int usbtmc_msg_cmd_response(Sink& s, const Header& req) {
  UsbTmcBulkState& b = UsbTmcBulk();
  const int fd = b.sourceFd.load();
  if (fd < 0 || b.speed.load() == 0) return -4;
  // A new request: the host is done with an aborted transfer's end.
  b.abortIn = 0;
  s.abortTaken = 0;
  b.inTag = req.tag;
  // An abort that comes from here on is finished by TakeAbortIn.
  struct Done {
    UsbTmcBulkState& b;
    uint8_t tag;
    uint32_t queued = 0;
    ~Done() {
      b.lastInBytes = queued;
      b.lastInTag = tag;
      b.inTag = 0;
    }
  } done{b, req.tag};
  if (!AwaitAnswer(s, req.tag)) {
    if (b.abortIn.load() == req.tag || b.clear.load()) {
      b.bytesIn = 0;
      SendZlp(fd);  // the aborted transfer ends with a short packet
      return 0;
    }
    if (s.nextLen >= 0) return 0;  // the host went on: nothing is sent for this request
    std::printf("Timeout .... \n");
    return -1;
  }
  const char* data = s.answer.data() + s.answerPos;
  size_t n = s.answer.size() - s.answerPos;
  if (n > req.transferSize) n = req.transferSize;
  if ((req.attributes & kAttrTermChar) && n > 0) {
    if (const void* at = std::memchr(data, req.termChar, n)) n = size_t(static_cast<const char*>(at) - data) + 1;
  }
  const bool last = s.answerPos + n >= s.answer.size();
  Header h;
  h.msgId = kMsgIn;
  h.tag = req.tag;
  h.transferSize = uint32_t(n);
  h.attributes = last ? kAttrEom : 0;
  if ((req.attributes & kAttrTermChar) && n > 0 && uint8_t(data[n - 1]) == req.termChar) h.attributes |= kAttrTermChar;
  // Header and data in one transfer: full packets, then a short one (or a
  // zero-length packet when the transfer fills its last packet). The status
  // byte's MAV ends as the last piece goes out.
  b.answerReady = !last;
  uint8_t packet[kUsbTmcMaxPacket];
  PutHeader(packet, h);
  size_t used = kUsbTmcHeaderSize, sent = 0, delivered = 0;
  for (;;) {
    const size_t room = kUsbTmcMaxPacket - used;
    const size_t piece = n - sent < room ? n - sent : room;
    std::memcpy(packet + used, data + sent, piece);
    used += piece;
    sent += piece;
    if (b.abortIn.load() == req.tag) {
      // The transfer ends with a short packet; the rest of the answer goes.
      b.bytesIn = uint32_t(delivered);
      SendZlp(fd);
      return 0;
    }
    if (!Send(fd, packet, used)) return -5;
    delivered = sent;
    done.queued = uint32_t(delivered);
    if (used < kUsbTmcMaxPacket) break;
    used = 0;
    if (sent == n) {
      if (!SendZlp(fd)) return -5;
      break;
    }
  }
  s.answerPos += n;
  if (last) {
    s.answer.clear();
    s.answerPos = 0;
    s.haveAnswer = false;
  }
  return 0;
}
}  // namespace

void simple_source_thread(const char* path, const std::atomic<bool>* stop) {
  UsbTmcBulkState& b = UsbTmcBulk();
  const int fd = ep_config(path, "source", kUsbTmcEpInAddress);
  if (fd < 0) return;
  b.sourceFd = fd;
  std::printf("~source_fd=%d\n", fd);
  while (!stop->load() && plat::SleepOrStop(kIdleSleepUs / 100)) {
  }
  close_fd(&b.sourceFd, false);
}

void simple_sink_thread(const char* path, const std::atomic<bool>* stop) {
  UsbTmcBulkState& b = UsbTmcBulk();
  std::printf("simple_sink_thread ... \n");
  const int fd = ep_config(path, "sink", kUsbTmcEpOutAddress);
  if (fd < 0) {
    Log(__LINE__, "~status=%d:", fd);
    return;
  }
  b.sinkFd = fd;
  b.answerReady = false;
  std::printf("~sink_fd=%d,source_fd=%d\n", fd, b.sourceFd.load());
  Sink s;
  s.fd = fd;
  s.stop = stop;
  const int waker = Scpi.AddAnswerWaker([w = s.wake] {
    {
      std::lock_guard<std::mutex> lock(w->mu);
      w->stored = true;
    }
    w->cv.notify_one();
  });
  uint8_t packet[kUsbTmcMaxPacket];
  for (;;) {
    int n;
    if (s.nextLen >= 0) {
      n = s.nextLen;
      std::memcpy(packet, s.next, size_t(n));
      s.nextLen = -1;
    } else {
      n = ReadPacket(s, packet);
    }
    if (n == 0) continue;  // a zero-length packet ending a transfer of whole packets
    if (n < 0) {
      if (!s.Stopping()) Log(__LINE__, "~usb error or slave disconnected");
      break;
    }
    UsbTmcResumed();
    if (TakeClear(s)) continue;  // the packet came before the clear: input it drops
    TakeAbortIn(s);              // the aborted answer goes before the next command
    if (n < kUsbTmcHeaderSize) {
      Log(__LINE__, "~tmc rev packet error, ret=%d", n);
      continue;
    }
    const Header h = ParseHeader(packet);
    if (h.tag == 0 || h.tagInverse != uint8_t(~h.tag)) {
      Log(__LINE__, "~tmc bTag 0x%x without its inverse, dropped", h.tag);
      continue;
    }
    if (h.msgId == kMsgOut) {
      MessageOut(s, h, packet, n);
    } else if (h.msgId == kMsgRequestIn) {
      if (int rc = usbtmc_msg_cmd_response(s, h)) Log(__LINE__, "~tmc response errcode=%d", rc);
    } else {
      Log(__LINE__, "~pt_usb_tmc_packet->MsgID=0x%x", h.msgId);
    }
  }
  Scpi.RemoveAnswerWaker(waker);
  s.ForgetAnswer();
  std::fflush(stdout);
  std::fflush(stderr);
  close_fd(&b.sinkFd, false);
}
