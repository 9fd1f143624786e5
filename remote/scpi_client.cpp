#include "remote/scpi_client.h"

#include <chrono>
#include <thread>

#include "platform/thread.h"
#include "remote/scpi.h"

std::string ScpiQuery(const std::string& line, long type, int timeoutMs) {
  if (Scpi.SendScpiMsg(type, line.c_str()) < 0 || timeoutMs <= 0) return std::string();
  // The answer comes from the SCPI thread or its worker, so the wait is in
  // real time even when the caller drives a virtual clock.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!Scpi.GetResponseFinish()) {
    if (plat::StopRequested() || std::chrono::steady_clock::now() >= deadline) return std::string();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return std::string(Scpi.GetResponseDataBuff(0), size_t(Scpi.GetResponseDataLength()));
}
