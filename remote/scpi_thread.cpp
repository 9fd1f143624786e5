// The SCPI thread, the worker queue and the worker.
#include "remote/scpi_thread.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/shell.h"
#include "platform/thread.h"
#include "remote/scpi.h"
#include "remote/scpi_sys_calls.h"

namespace {
struct FuncQueue {
  std::mutex mutex;
  std::condition_variable cond;
  std::deque<std::function<void()>> calls;
};

// Built on first use and never destroyed, so a worker still ending at process
// exit finds it intact.
FuncQueue& Queue() {
  static FuncQueue* q = new FuncQueue;
  return *q;
}

void* WorkerBody(void*) {
  RunScpiFuncThread();
  return nullptr;
}

// The board's queue keys are made from these folders.
void MakeQueueDirs() {
  std::error_code ec;
  if (!std::filesystem::is_directory("Data/Web", ec)) plat::ShellSystem("mkdir -p Data/Web");
  if (!std::filesystem::is_directory("Data/Scpi", ec)) plat::ShellSystem("mkdir -p Data/Scpi");
}

bool Is(const char* text, const char* literal) { return std::strcmp(text, literal) == 0; }
}  // namespace

bool PushScpiFunc(std::function<void()>&& call) {
  FuncQueue& q = Queue();
  bool queued = false;
  {
    std::lock_guard<std::mutex> lock(q.mutex);
    if (q.calls.size() < kScpiFuncQueueLimit) {
      q.calls.push_back(std::move(call));
      queued = true;
    }
  }
  q.cond.notify_one();
  return queued;
}

void RunScpiFuncThread() {
  FuncQueue& q = Queue();
  while (!plat::StopRequested()) {
    std::function<void()> call;
    {
      std::unique_lock<std::mutex> lock(q.mutex);
      if (q.calls.empty()) {
        q.cond.wait_for(lock, std::chrono::milliseconds(50));
        continue;
      }
      call = std::move(q.calls.front());
      q.calls.pop_front();
    }
    if (call) call();
  }
}

int StartScpiFuncThread() { return plat::StartThread("ScpiFuncThread", WorkerBody, nullptr); }

void* ScpiThread(void*) {
  MakeQueueDirs();
  // The USBTMC device and the VXI-11 server start here once they exist.
  if (int rc = StartScpiFuncThread()) std::printf("ScpiFuncThread create error,retValue=%d\n", rc);

  std::vector<char> text(kScpiMsgTextSize);
  auto msg = std::make_unique<scpi_msg>();
  while (!plat::StopRequested()) {
    if (Scpi.RecvScpiMsg(text.data()) < 0) {
      if (!plat::StopRequested()) std::printf("RecvScpiMsg Error !\n");
      continue;
    }
    if (Is(text.data(), "*OPC?\n") || Is(text.data(), "*OPC?\r\n")) {
      // Answered here, so it answers even while the worker is busy.
      scpi_para para{};
      Scpi_TaskSys_OPCAsk(&para, nullptr);
      continue;
    }
    if (Is(text.data(), "SYSTem:SETup\r\n") || Is(text.data(), "CONFIG\r\n")) {
      // The next message is the setup block.
      if (Scpi.RecvScpiBinary() == 0) Scpi.DoSystemSetupCmd();
      continue;
    }
    if (Scpi.GetRecvMsg(msg.get()) < 0) {
      std::printf("GetRecvMsg Error!\n");
      continue;
    }
    if (Scpi.RecvInstructions(msg->type, msg->text) < 0) {
      std::printf("ScpiInstructions Error !\n");
      continue;
    }
    Scpi.InstrAnalysis();
  }
  return nullptr;
}
