#include "tests/fuzz/fuzz_instrument.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "platform/root.h"
#include "platform/thread.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "remote/scpi/scpi.h"
#include "tests/bench/bench.h"

namespace {
// The module slot of the settle command; no module of the instrument uses it.
constexpr int kSettleSlot = kScpiTaskSlots - 1;
constexpr auto kSettleTry = std::chrono::milliseconds(200);
constexpr auto kSettleLimit = std::chrono::seconds(8);  // above a command's longest wait (5 s)

std::atomic<long> g_settled{-1};
long g_token = 0;

// "FUZZsync <n>": run by the worker after every call queued before it.
void Settled(scpi_para*, char* parameter) {
  if (parameter) g_settled.store(std::strtol(parameter, nullptr, 10));
}

instr g_settleTable[] = {
    {"FUZZsync", Settled},
    {"", nullptr},
};

Bench* g_bench = nullptr;

void TearDown() {
  delete g_bench;  // stops the threads and removes the root
  g_bench = nullptr;
}
}  // namespace

void FuzzInstrument() {
  if (g_bench) return;
  // Servers that start-up runs keep off fixed ports, so targets run side by side.
  for (const char* port : {"SCOPE_VXI11_PMAP_PORT", "SCOPE_WS_CMD_PORT", "SCOPE_WS_PIC_PORT"})
    setenv(port, "0", 0);
  g_bench = new Bench;
  if (g_bench->Start() != 0) {
    std::fprintf(stderr, "fuzz: the instrument did not start\n");
    std::abort();
  }
  g_bench->StopThreads();
  // With the board threads stopped no acquisition ends: the instrument is
  // stopped, so a waveform request reads the record there is instead of
  // waiting out its 5 s time-out for a new one.
  SysRunStatus.SetAcquireStatus(0, kAcqStopped);
  Scpi.RegisterInstr(kSettleSlot, g_settleTable);
  if (plat::StartThread("ScpiThread", ScpiThread, nullptr) != 0) {
    std::fprintf(stderr, "fuzz: the SCPI thread did not start\n");
    std::abort();
  }
  // Registered after start-up made the thread registry and the other
  // process-wide records, so it runs before they are destroyed.
  std::atexit(TearDown);
}

void FuzzWriteFile(const std::string& path, const uint8_t* data, size_t size) {
  const std::filesystem::path host = plat::MapPath(path);
  if (host.has_parent_path()) std::filesystem::create_directories(host.parent_path());
  std::ofstream out(host, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

void FuzzScpiSettle() {
  const long token = ++g_token;
  const std::string line = "FUZZsync " + std::to_string(token) + "\n";
  const auto limit = std::chrono::steady_clock::now() + kSettleLimit;
  // A message can be taken as the data of a pending setup block, or its call
  // dropped while the worker's queue is full: it is posted again.
  while (std::chrono::steady_clock::now() < limit) {
    Scpi.SendScpiMsg(ScpiMsgType(0, kScpiSourceTransport), line.c_str());
    const auto retry = std::chrono::steady_clock::now() + kSettleTry;
    while (std::chrono::steady_clock::now() < retry) {
      if (g_settled.load() == token) return;
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
  }
  std::fprintf(stderr, "fuzz: the SCPI engine did not settle within %lld s\n",
               static_cast<long long>(std::chrono::seconds(kSettleLimit).count()));
  std::abort();
}
