// The SCPI thread, the worker queue and the worker.
#include "remote/scpi/scpi_thread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "core/input/rs232.h"
#include "core/messages/remote_errors.h"
#include "core/messages/settings_lock.h"
#include "core/state/sys_run_info.h"
#include "platform/devices/panel.h"
#include "platform/shell.h"
#include "platform/thread.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_sys_calls.h"
#include "remote/usbtmc/usbtmc.h"

namespace {
constexpr auto kStopPoll = std::chrono::milliseconds(50);

// Calls run one after another by one thread: the worker's commands, or the
// long tails of commands beside it.
struct WorkQueue {
  std::mutex mutex;
  std::condition_variable cond;  // a call came
  std::condition_variable room;  // a call was taken
  struct Call {
    std::function<void()> fn;
    bool afterKeys;  // waits for the remote keys queued before it to be routed
  };
  std::deque<Call> calls;
  std::atomic<int> busy{0};       // waiting calls plus the one running
  std::atomic<bool> held{false};  // the calls wait (set under `mutex`)

  // Queues `call` once fewer than `limit` wait; false when the process stops first.
  bool Push(std::function<void()>&& call, size_t limit, bool afterKeys = false) {
    {
      std::unique_lock<std::mutex> lock(mutex);
      while (calls.size() >= limit) {
        if (plat::StopRequested()) return false;
        room.wait_for(lock, kStopPoll);
      }
      calls.push_back(Call{std::move(call), afterKeys});
      ++busy;
    }
    cond.notify_one();
    return true;
  }
  // The next call, or false after a poll's wait with none to run.
  bool Take(std::function<void()>* call, bool* afterKeys = nullptr) {
    {
      std::unique_lock<std::mutex> lock(mutex);
      if (calls.empty() || held) {
        cond.wait_for(lock, kStopPoll);
        return false;
      }
      *call = std::move(calls.front().fn);
      if (afterKeys) *afterKeys = calls.front().afterKeys;
      calls.pop_front();
    }
    room.notify_one();
    return true;
  }
  // Stopped: calls left behind are dropped, so a restart begins idle.
  void Drop() {
    std::lock_guard<std::mutex> lock(mutex);
    busy -= int(calls.size());
    calls.clear();
    room.notify_all();
  }
};
constexpr size_t kJobsWaitingLimit = 1;

// Set on the worker thread: the calls before the one it runs are all done.
thread_local bool t_onWorker = false;

// Runs `body`; an exception it throws is logged with `what` and ends there.
template <typename F>
void Guarded(const char* what, F&& body) {
  try {
    body();
  } catch (const std::exception& e) {
    std::printf("%s failed: %s\n", what, e.what());
  } catch (...) {
    std::printf("%s failed: unknown exception\n", what);
  }
}

// Built on first use and never destroyed, so a worker still ending at process
// exit finds it intact.
WorkQueue& Queue() {
  static WorkQueue* q = new WorkQueue;
  return *q;
}

WorkQueue& Jobs() {
  static WorkQueue* q = new WorkQueue;
  return *q;
}

void* WorkerBody(void*) {
  RunScpiFuncThread();
  return nullptr;
}

void* JobsBody(void*) {
  WorkQueue& q = Jobs();
  while (!plat::StopRequested()) {
    std::function<void()> job;
    if (!q.Take(&job)) continue;
    {
      RemoteCommandScope
          remote;  // a job is the tail of a remote command: its refusals are the user's errors
      Guarded("SCPI job", job);
    }
    job = nullptr;
    --q.busy;
    if (SysRunStatus.IsDrawRefresh()) plat::NotifyIdle();
  }
  q.Drop();
  return nullptr;
}

// The board's queue keys are made from these folders.
void MakeQueueDirs() {
  std::error_code ec;
  if (!std::filesystem::is_directory("Data/Web", ec)) plat::ShellSystem("mkdir -p Data/Web");
  if (!std::filesystem::is_directory("Data/Scpi", ec)) plat::ShellSystem("mkdir -p Data/Scpi");
}

bool Is(const char* text, const char* literal) { return std::strcmp(text, literal) == 0; }

// `text` is `line` with an LF or CR LF line end.
bool IsLine(const char* text, const char* line) {
  if (*text == ':') ++text;  // a header from the root
  const size_t n = std::strlen(line);
  return std::strncmp(text, line, n) == 0 && (Is(text + n, "\n") || Is(text + n, "\r\n"));
}

void HandleMessage(const char* text) {
  if (Is(text, "*OPC?\n") || Is(text, "*OPC?\r\n")) {
    // Answered here, so it answers even while the worker is busy.
    ScpiAnswerScope scope(Scpi.RecvTicket(), false);
    scpi_para para{};
    if (const ScpiSysCalls* calls = GetScpiSysCalls()) calls->opcAsk(&para, nullptr);
    return;
  }
  if (IsLine(text, "SYSTem:SETup") || IsLine(text, "CONFIG")) {
    // The next message is the setup block.
    if (Scpi.RecvScpiBinary() == 0) Scpi.DoSystemSetupCmd();
    return;
  }
  Scpi.RunMessage();
}
}  // namespace

bool PushScpiFunc(std::function<void()>&& call, bool afterKeys) {
  return Queue().Push(std::move(call), kScpiFuncQueueLimit, afterKeys);
}

// Held, start-up's settings are not in force yet: busy, calls queued or not.
bool ScpiWorkerBusy() {
  const WorkQueue& q = Queue();
  return q.held.load() || Jobs().busy.load() > 0 || (!t_onWorker && q.busy.load() > 0) ||
         KeyBoard.ScpiKeysPending();
}

bool RunScpiJob(std::function<void()>&& job) { return Jobs().Push(std::move(job), kJobsWaitingLimit); }

void RunScpiFuncThread() {
  WorkQueue& q = Queue();
  t_onWorker = true;
  while (!plat::StopRequested()) {
    std::function<void()> call;
    bool afterKeys = false;
    if (!q.Take(&call, &afterKeys)) continue;
    // A key an earlier command queued (a reset, an auto-set) is done first:
    // commands take effect in the order sent. Waited without the settings
    // lock, which the main loop needs to route it.
    if (afterKeys) KeyBoard.AwaitScpiKeys();
    Scpi.HoldAnswers();
    if (call) {
      SettingsLock settings;      // never among a main-loop pass's changes
      RemoteCommandScope remote;  // a refusal it meets is the remote user's error
      Guarded("SCPI handler", call);
    }
    call = nullptr;  // what the call owns goes before it counts as done
    --q.busy;
    // A change to be drawn wakes the idle main loop rather than waiting for its next look round.
    if (SysRunStatus.IsDrawRefresh()) plat::NotifyIdle();
    // Only now may its requester have the answer: what it sends next finds
    // this call done.
    Scpi.DeliverHeldAnswers();
  }
  q.Drop();
}

void HoldScpiWorker(bool hold) {
  WorkQueue& q = Queue();
  {
    std::lock_guard<std::mutex> lock(q.mutex);
    q.held = hold;
  }
  q.cond.notify_all();
}

int StartScpiFuncThread() {
  if (int rc = plat::StartThread("ScpiJobThread", JobsBody, nullptr)) return rc;
  return plat::StartThread("ScpiFuncThread", WorkerBody, nullptr);
}

void* ScpiThread(void*) {
  MakeQueueDirs();
  UsbTmcInit();
  if (int rc = StartScpiFuncThread()) std::printf("ScpiFuncThread create error,retValue=%d\n", rc);

  std::vector<char> text(kScpiMsgTextSize);
  while (!plat::StopRequested()) {
    if (Scpi.RecvScpiMsg(text.data()) < 0) {
      if (!plat::StopRequested()) std::printf("RecvScpiMsg Error !\n");
      continue;
    }
    Guarded("SCPI message", [&] { HandleMessage(text.data()); });
  }
  return nullptr;
}
