#include "core/messages/remote_errors.h"

#include <deque>
#include <mutex>
#include <utility>

namespace {
thread_local bool t_remote = false;

struct ErrorQueue {
  std::mutex mu;
  std::deque<std::pair<int, std::string>> errors;
};
ErrorQueue& Queue() {
  static ErrorQueue q;
  return q;
}

// A SCPI string: in double quotes, a quote inside doubled.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}
}  // namespace

RemoteCommandScope::RemoteCommandScope(bool remote) : was_(t_remote) { t_remote = t_remote || remote; }
RemoteCommandScope::~RemoteCommandScope() { t_remote = was_; }

bool InRemoteCommand() { return t_remote; }

void PushRemoteError(int code, const std::string& text) {
  ErrorQueue& q = Queue();
  std::lock_guard<std::mutex> lock(q.mu);
  if (q.errors.size() < kRemoteErrorQueue) {
    q.errors.emplace_back(code, text);
  } else {
    q.errors.back() = {kRemoteErrorOverflow, "Queue overflow"};
  }
}

std::string PopRemoteError() {
  ErrorQueue& q = Queue();
  std::pair<int, std::string> e{0, "No error"};
  {
    std::lock_guard<std::mutex> lock(q.mu);
    if (!q.errors.empty()) {
      e = std::move(q.errors.front());
      q.errors.pop_front();
    }
  }
  return std::to_string(e.first) + "," + Quoted(e.second);
}

void ClearRemoteErrors() {
  ErrorQueue& q = Queue();
  std::lock_guard<std::mutex> lock(q.mu);
  q.errors.clear();
}
