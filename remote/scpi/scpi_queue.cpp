// Messages on the SCPI queue: the transports' sends, the SCPI thread's
// receives, and the setup block that follows "SYSTem:SETup" or "CONFIG".
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/ipc.h"
#include "platform/thread.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_sys_calls.h"
#include "remote/scpi/scpi_thread.h"

namespace {
// A full queue is waited on, in steps of 1 ms, for at most 10 s.
constexpr int kSendTries = 10000;

bool SendWaiting(int qid, long type, const void* text, size_t size, int tries = kSendTries,
                 const std::atomic<bool>* giveUp = nullptr) {
  for (int i = 0; i < tries; ++i) {
    if (plat::MsgSend(qid, type, text, size)) return true;
    if (giveUp && giveUp->load()) return false;
    if (type <= 0 || plat::StopRequested() || i + 1 == tries || !plat::SleepOrStop(1000)) break;
  }
  std::printf("msgsnd Error !\n");
  return false;
}

// The length announced with the setup block of the queued call being run.
thread_local int t_setupLen = -1;

struct SetupLenScope {
  explicit SetupLenScope(int len) { t_setupLen = len; }
  ~SetupLenScope() { t_setupLen = -1; }
};
}  // namespace

int scpi::GetBinaryDataLen() const { return t_setupLen >= 0 ? t_setupLen : binaryDataLen_.load(); }

ScpiTicket scpi::PopTicket() {
  std::lock_guard<std::mutex> lock(ticketsMu_);
  if (tickets_.empty()) return 0;
  ScpiTicket t = tickets_.front();
  tickets_.pop_front();
  return t;
}

int scpi::PostCommand(long type, const ScpiPost* posts, int count, bool wait, ScpiTicket* ticket,
                      const std::atomic<bool>* giveUp) {
  if (ticket) *ticket = 0;
  if (!posts || count <= 0 || scpiQid_ < 0) return kScpiPostRefused;
  for (int i = 0; i < count; ++i) {
    const ScpiPost& p = posts[i];
    const int limit = p.binary ? kScpiMsgTextSize : kScpiMsgTextSize - 1;
    if (!p.data || p.size < 0 || p.size > limit) return kScpiPostRefused;
  }
  std::lock_guard<std::mutex> lock(sendMu_);
  if (!wait && plat::MsgPending(scpiQid_) + size_t(count) > plat::MsgCapacity()) return kScpiPostFull;
  ScpiTicket t = 0;
  if (ticket) {
    t = ++nextTicket_;
    std::lock_guard<std::mutex> a(answerMu_);
    answers_[t] = Answer();
  }
  if (ScpiMsgSource(type) == kScpiSourceTransport) SetResponseFinish(0);
  int total = 0;
  for (int i = 0; i < count; ++i) {
    const ScpiPost& p = posts[i];
    std::memcpy(send_.text, p.data, size_t(p.size));
    size_t size = size_t(p.size);
    if (!p.binary) send_.text[size++] = '\0';
    const ScpiTicket mine = i + 1 == count ? t : 0;
    {
      std::lock_guard<std::mutex> q(ticketsMu_);
      tickets_.push_back(mine);
    }
    // Only the first message may give up: a block whose setup line is queued must follow it.
    if (!SendWaiting(scpiQid_, type, send_.text, size, wait ? kSendTries : 1,
                     i == 0 ? giveUp : nullptr)) {
      {
        std::lock_guard<std::mutex> q(ticketsMu_);
        tickets_.pop_back();
      }
      DropAnswer(t);
      return i == 0 ? kScpiPostFull : kScpiPostRefused;
    }
    total += p.size;
  }
  if (ticket) *ticket = t;
  return total;
}

void scpi::DropUsbTmcCallsPosted() {
  std::lock_guard<std::mutex> lock(sendMu_);
  usbTmcDropThrough_ = nextTicket_;
}

bool scpi::UsbTmcCallDropped(int tag, ScpiTicket ticket) const {
  // USBTMC posts carry their bTag (never 0) and always a ticket.
  return tag != 0 && ticket != 0 && ticket <= usbTmcDropThrough_.load();
}

int scpi::SendScpiMsg(long type, const char* text) {
  if (!text || scpiQid_ < 0) return -1;
  std::lock_guard<std::mutex> lock(sendMu_);
  send_.type = type;
  if (ScpiMsgSource(type) == kScpiSourceTransport) SetResponseFinish(0);
  std::memset(send_.text, 0, sizeof send_.text);
  size_t n = strnlen(text, kScpiMsgTextSize - 1);
  std::memcpy(send_.text, text, n);
  if (!SendUntracked(type, sizeof send_.text)) return -1;
  return int(n);
}

int scpi::SendScpiMsg2(long type, const char* data, int size) {
  if (!data || size < 0 || scpiQid_ < 0) return -1;
  std::lock_guard<std::mutex> lock(sendMu_);
  send_.type = type;
  if (ScpiMsgSource(type) == kScpiSourceTransport) SetResponseFinish(0);
  if (size > kScpiMsgTextSize) size = kScpiMsgTextSize;
  std::memcpy(send_.text, data, size_t(size));
  if (!SendUntracked(type, size_t(size))) return -1;
  return size;
}

// Sends the send record with no answer awaited; sendMu_ is held.
bool scpi::SendUntracked(long type, size_t size) {
  {
    std::lock_guard<std::mutex> q(ticketsMu_);
    tickets_.push_back(0);
  }
  if (SendWaiting(scpiQid_, type, send_.text, size)) return true;
  std::lock_guard<std::mutex> q(ticketsMu_);
  tickets_.pop_back();
  return false;
}

int scpi::RecvScpiMsg(char* out) {
  if (!out || scpiQid_ < 0) return -1;
  long type = 0;
  long n = plat::MsgRecv(scpiQid_, 0, recv_.text, sizeof recv_.text, -1, &type);
  if (n < 0) {
    if (!plat::StopRequested()) std::printf("Recv Error!\n");
    return -1;
  }
  recvTicket_ = PopTicket();
  webAnswer_.store(false);
  recv_.type = type;
  recvLen_ = int(n);
  if (n < kScpiMsgTextSize) recv_.text[n] = '\0';
  // The text up to its terminator, cut to fit `out` with one.
  size_t len = strnlen(recv_.text, size_t(n));
  if (len > size_t(kScpiMsgTextSize - 1)) len = kScpiMsgTextSize - 1;
  std::memcpy(out, recv_.text, len);
  out[len] = '\0';
  return int(len);
}

int scpi::RecvScpiBinary() {
  binaryRecvLen_ = 0;
  if (scpiQid_ < 0) return -1;
  long type = 0;
  long n = plat::MsgRecv(scpiQid_, 0, binary_, sizeof binary_, -1, &type);
  if (n < 0) {
    if (!plat::StopRequested()) std::printf("Recv Error!\n");
    return -1;
  }
  binaryTicket_ = PopTicket();
  binaryTag_ = ScpiMsgTag(type);
  DropAnswer(binaryTicket_);  // a block is never answered
  webAnswer_.store(false);
  binaryRecvLen_ = int(n);
  return 0;
}

int scpi::GetRecvMsg(scpi_msg* out) const {
  if (!out) return -1;
  out->type = recv_.type;
  std::memcpy(out->text, recv_.text, sizeof out->text);
  if (recvLen_ < kScpiMsgTextSize) out->text[recvLen_] = '\0';
  return 0;
}

// Checks the IEEE 488.2 definite-length block header of the binary upload:
// '#', one digit n (1 to 9), n decimal digits of the length, and that the
// announced data arrived in the message. Returns the header length, or -1.
int scpi::SetupHeader(int* announced) const {
  *announced = 0;
  int got = binaryRecvLen_;
  if (got < 2 || binary_[0] != '#' || binary_[1] < '1' || binary_[1] > '9') {
    std::printf("setup block refused: no definite-length block header\n");
    return -1;
  }
  int digits = binary_[1] - '0';
  std::printf("len_len = %d\n", digits);
  if (got < 2 + digits) {
    std::printf("setup block refused: header cut short\n");
    return -1;
  }
  long len = 0;
  for (int i = 0; i < digits; ++i) {
    char c = binary_[2 + i];
    if (c < '0' || c > '9') {
      std::printf("setup block refused: bad length digits\n");
      return -1;
    }
    len = len * 10 + (c - '0');
  }
  std::printf("data_len = %ld\n", len);
  if (len > long(got - 2 - digits)) {
    std::printf("setup block refused: %ld bytes announced, %d arrived\n", len, got - 2 - digits);
    return -1;
  }
  *announced = int(len);
  return 2 + digits;
}

namespace {
std::atomic<const ScpiSysCalls*> g_sysCalls{nullptr};
}  // namespace

void SetScpiSysCalls(const ScpiSysCalls* calls) { g_sysCalls.store(calls); }
const ScpiSysCalls* GetScpiSysCalls() { return g_sysCalls.load(); }

int scpi::DoSystemSetupCmd() {
  const ScpiSysCalls* calls = GetScpiSysCalls();
  return calls ? DoSystemSetupCmd(calls->setup) : -1;
}

int scpi::DoSystemSetupCmd(ScpiHandler handler) {
  int announced = 0;
  const int header = SetupHeader(&announced);
  binaryDataLen_.store(announced);
  if (header < 0) {
    RefuseBlock("no whole definite-length block");
    return -1;
  }
  // Only a line end may follow the data.
  for (int i = header + announced; i < binaryRecvLen_; ++i) {
    const char c = binary_[i];
    if (c != '\r' && c != '\n' && c != ' ' && c != '\0') {
      RefuseBlock("more data than announced");
      return -1;
    }
  }
  return QueueSetup(binary_ + header, announced, binaryTag_, binaryTicket_, handler);
}

void scpi::RunSetupCall(ScpiHandler handler, int len, char* block) {
  SetupLenScope scope(len);
  handler(nullptr, block);
}

int scpi::DoCONFIGCmd() {
  int announced = 0;
  int header = SetupHeader(&announced);
  binaryDataLen_.store(announced);
  return header < 0 ? -1 : 0;
}
