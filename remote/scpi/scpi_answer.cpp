// Answers: text with CR LF, definite-length blocks and raw bytes, stored in
// the 2 MiB response buffer and under the ticket of the command being run;
// the web bridge's copy of the last text answer.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/thread.h"
#include "remote/scpi/scpi.h"

namespace {
int Digits(int n) {
  int d = 1;
  while (n >= 10) {
    n /= 10;
    ++d;
  }
  return d;
}

// Where the calling thread's answers go.
thread_local ScpiTicket t_ticket = 0;
thread_local bool t_shared = true;

// Answers kept back on the calling thread (the worker) until delivered.
struct HeldAnswers {
  bool holding = false;
  int sharedLen = -1;  // the shared buffer's new length; -1: untouched
  std::vector<std::pair<ScpiTicket, std::string>> tickets;
};
thread_local HeldAnswers t_held;

constexpr int kStopPollMs = 50;  // a waiting requester checks for a stop this often
}  // namespace

ScpiAnswerScope::ScpiAnswerScope(ScpiTicket ticket, bool sharedBuffer) : ticket_(t_ticket), shared_(t_shared) {
  t_ticket = ticket;
  t_shared = sharedBuffer;
}

ScpiAnswerScope::~ScpiAnswerScope() {
  t_ticket = ticket_;
  t_shared = shared_;
}

// The flag is written after the buffer and the length: the transports poll it.
void scpi::StoreResponse(int len) {
  responseLen_.store(len, std::memory_order_relaxed);
  responseFinish_.store(1, std::memory_order_release);
}

// Stores `head`, the `len` data bytes and CR LF when asked, in the shared
// buffer (the data may already stand in it: it is moved first) and under the
// thread's ticket. Returns the stored length, -1 when it does not fit.
int scpi::Publish(const char* head, int headLen, const char* data, int len, bool crlf, bool web) {
  const long total = long(headLen) + len + (crlf ? 2 : 0);
  if (total > kScpiResponseSize) {
    std::printf("scpi: an answer of %ld bytes does not fit the %d-byte response buffer\n", total,
                kScpiResponseSize);
    return -1;
  }
  if (web) WriteWebScpiMsg(0, data);
  std::string copy;
  if (t_shared) {
    std::memmove(response_ + headLen, data, size_t(len));
    std::memcpy(response_, head, size_t(headLen));
    if (crlf) std::memcpy(response_ + headLen + len, "\r\n", 2);
    if (t_held.holding)
      t_held.sharedLen = int(total);
    else
      StoreResponse(int(total));
    if (t_ticket) copy.assign(response_, size_t(total));
  } else if (t_ticket) {
    copy.reserve(size_t(total));
    copy.append(head, size_t(headLen)).append(data, size_t(len));
    if (crlf) copy += "\r\n";
  }
  if (t_ticket) PassAnswer(t_ticket, std::move(copy));
  return int(total);
}

// A later answer under the same ticket replaces the held one, as it replaces
// it in the shared buffer.
void scpi::PassAnswer(ScpiTicket ticket, std::string data) {
  if (!t_held.holding) {
    StoreAnswer(ticket, std::move(data));
    return;
  }
  for (auto& held : t_held.tickets)
    if (held.first == ticket) {
      held.second = std::move(data);
      return;
    }
  t_held.tickets.emplace_back(ticket, std::move(data));
}

void scpi::HoldAnswers() {
  t_held.holding = true;
  t_held.sharedLen = -1;
  t_held.tickets.clear();
}

void scpi::DeliverHeldAnswers() {
  t_held.holding = false;
  if (t_held.sharedLen >= 0) StoreResponse(t_held.sharedLen);
  t_held.sharedLen = -1;
  for (auto& held : t_held.tickets) StoreAnswer(held.first, std::move(held.second));
  t_held.tickets.clear();
}

int scpi::WriteResponseData(const char* text, int len) {
  if (!text || len < 0 || len >= kScpiResponseSize) return -1;
  size_t n = strnlen(text, kScpiResponseSize);
  return Publish("", 0, text, int(n), true, true);
}

int scpi::WriteResponseDataRaw(const char* data, int len) {
  if (!data || len < 0 || len >= kScpiResponseSize) return -1;
  char head[24];
  int header = std::snprintf(head, sizeof head, "#%d%d", Digits(len), len);
  return Publish(head, header, data, len, true, false);
}

int scpi::WriteResponseDataPure(const char* data, int len) {
  if (!data || len < 0 || len >= kScpiResponseSize) return -1;
  return Publish("", 0, data, len, false, false);
}

char* scpi::GetResponseDataBuff(int n) {
  if (n < 0 || n >= kScpiResponseChunks) n = 0;
  return response_ + size_t(n) * kScpiResponseChunk;
}

void scpi::StoreAnswer(ScpiTicket ticket, std::string data) {
  {
    std::lock_guard<std::mutex> lock(answerMu_);
    auto it = answers_.find(ticket);
    if (it == answers_.end()) return;  // given up by its requester
    it->second.done = true;
    it->second.data = std::move(data);
    for (auto& w : wakers_) w.second();
  }
  answerCv_.notify_all();
}

bool scpi::TakeAnswer(ScpiTicket ticket, std::string* out) {
  std::lock_guard<std::mutex> lock(answerMu_);
  auto it = answers_.find(ticket);
  if (it == answers_.end() || !it->second.done) return false;
  if (out) *out = std::move(it->second.data);
  answers_.erase(it);
  return true;
}

bool scpi::AnswerStored(ScpiTicket ticket) {
  std::lock_guard<std::mutex> lock(answerMu_);
  auto it = answers_.find(ticket);
  return it != answers_.end() && it->second.done;
}

bool scpi::WaitAnswer(ScpiTicket ticket, int ms, std::string* out) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  std::unique_lock<std::mutex> lock(answerMu_);
  for (;;) {
    auto it = answers_.find(ticket);
    if (it == answers_.end()) return false;
    if (it->second.done) {
      if (out) *out = std::move(it->second.data);
      answers_.erase(it);
      return true;
    }
    const auto now = std::chrono::steady_clock::now();
    if (plat::StopRequested() || now >= deadline) {
      answers_.erase(it);
      return false;
    }
    answerCv_.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(kStopPollMs)));
  }
}

void scpi::DropAnswer(ScpiTicket ticket) {
  if (!ticket) return;
  std::lock_guard<std::mutex> lock(answerMu_);
  answers_.erase(ticket);
}

int scpi::AddAnswerWaker(std::function<void()> waker) {
  std::lock_guard<std::mutex> lock(answerMu_);
  wakers_.emplace_back(++nextWaker_, std::move(waker));
  return nextWaker_;
}

void scpi::RemoveAnswerWaker(int id) {
  std::lock_guard<std::mutex> lock(answerMu_);
  for (auto it = wakers_.begin(); it != wakers_.end(); ++it)
    if (it->first == id) {
      wakers_.erase(it);
      return;
    }
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
