#include "platform/ipc.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/thread.h"

namespace plat {
namespace {

struct Sem {
  std::mutex mu;
  std::condition_variable cv;
  int value = 0;
  // The thread whose take emptied the semaphore, until the next release: a
  // second take by it could only wait for itself.
  bool owned = false;
  std::thread::id owner;
};

struct Message {
  long type;
  std::vector<uint8_t> text;
};

struct Queue {
  std::mutex mu;
  std::condition_variable cv;
  std::deque<Message> msgs;
};

constexpr size_t kQueueLimit = 256;  // messages per queue before a send fails

// Built on first use: semaphores are opened by static initialisers.
struct Registry {
  std::mutex mu;
  std::map<int, int> semKeys, msgKeys;
  std::vector<std::shared_ptr<Sem>> sems;
  std::vector<std::shared_ptr<Queue>> queues;
};
Registry& Reg() {
  static Registry r;
  return r;
}

std::shared_ptr<Sem> FindSem(int id) {
  std::lock_guard<std::mutex> lock(Reg().mu);
  if (id < 0 || size_t(id) >= Reg().sems.size()) return nullptr;
  return Reg().sems[id];
}

std::shared_ptr<Queue> FindQueue(int id) {
  std::lock_guard<std::mutex> lock(Reg().mu);
  if (id < 0 || size_t(id) >= Reg().queues.size()) return nullptr;
  return Reg().queues[id];
}
}  // namespace

int SemGet(int key) {
  std::lock_guard<std::mutex> lock(Reg().mu);
  auto it = Reg().semKeys.find(key);
  if (it != Reg().semKeys.end() && Reg().sems[it->second]) return it->second;
  Reg().sems.push_back(std::make_shared<Sem>());
  int id = int(Reg().sems.size()) - 1;
  Reg().semKeys[key] = id;
  return id;
}

bool SemSetValue(int id, int value) {
  auto s = FindSem(id);
  if (!s) return false;
  {
    std::lock_guard<std::mutex> lock(s->mu);
    s->value = value;
    s->owned = false;
  }
  s->cv.notify_all();
  return true;
}

bool SemOp(int id, int delta) {
  auto s = FindSem(id);
  if (!s) return false;
  std::unique_lock<std::mutex> lock(s->mu);
  if (delta < 0) {
    if (s->value + delta < 0 && s->owned && s->owner == std::this_thread::get_id()) {
      std::fprintf(stderr, "semaphore %d taken twice by the same thread: the lock is not recursive\n", id);
      std::fflush(stderr);
      std::abort();
    }
    s->cv.wait(lock, [&] { return s->value + delta >= 0; });
  }
  s->value += delta;
  if (delta < 0 && s->value == 0) {
    s->owned = true;
    s->owner = std::this_thread::get_id();
  } else if (delta > 0) {
    s->owned = false;
  }
  lock.unlock();
  if (delta > 0) s->cv.notify_all();
  return true;
}

bool SemRemove(int id) {
  std::lock_guard<std::mutex> lock(Reg().mu);
  if (id < 0 || size_t(id) >= Reg().sems.size() || !Reg().sems[id]) return false;
  Reg().sems[id].reset();
  for (auto it = Reg().semKeys.begin(); it != Reg().semKeys.end(); ++it)
    if (it->second == id) {
      Reg().semKeys.erase(it);
      break;
    }
  return true;
}

int SemValue(int id) {
  auto s = FindSem(id);
  if (!s) return -1;
  std::lock_guard<std::mutex> lock(s->mu);
  return s->value;
}

int MsgGet(int key) {
  std::lock_guard<std::mutex> lock(Reg().mu);
  auto it = Reg().msgKeys.find(key);
  if (it != Reg().msgKeys.end()) return it->second;
  Reg().queues.push_back(std::make_shared<Queue>());
  int id = int(Reg().queues.size()) - 1;
  Reg().msgKeys[key] = id;
  return id;
}

bool MsgSend(int id, long type, const void* text, size_t size) {
  auto q = FindQueue(id);
  if (!q || type <= 0 || (size && !text)) return false;
  {
    std::lock_guard<std::mutex> lock(q->mu);
    if (q->msgs.size() >= kQueueLimit) return false;
    Message m{type, std::vector<uint8_t>(size)};
    if (size) std::memcpy(m.text.data(), text, size);
    q->msgs.push_back(std::move(m));
  }
  q->cv.notify_all();
  return true;
}

long MsgRecv(int id, long type, void* text, size_t max, int64_t timeoutUs, long* typeOut) {
  auto q = FindQueue(id);
  if (!q) return -1;
  std::unique_lock<std::mutex> lock(q->mu);
  auto deadline = std::chrono::steady_clock::now() +
                  std::chrono::microseconds(timeoutUs < 0 ? 0 : timeoutUs);
  for (;;) {
    for (auto it = q->msgs.begin(); it != q->msgs.end(); ++it) {
      if (type != 0 && it->type != type) continue;
      size_t n = std::min(max, it->text.size());
      if (n) std::memcpy(text, it->text.data(), n);
      if (typeOut) *typeOut = it->type;
      q->msgs.erase(it);
      return long(n);
    }
    if (StopRequested()) return -1;
    if (timeoutUs < 0) {
      q->cv.wait_for(lock, std::chrono::milliseconds(50));
    } else {
      if (std::chrono::steady_clock::now() >= deadline) return -1;
      q->cv.wait_until(lock, deadline);
    }
  }
}

size_t MsgCapacity() { return kQueueLimit; }

size_t MsgPending(int id) {
  auto q = FindQueue(id);
  if (!q) return 0;
  std::lock_guard<std::mutex> lock(q->mu);
  return q->msgs.size();
}

}  // namespace plat
