// Waiting in tests for something another thread (or process) does: the
// condition is polled until it holds or a generous deadline passes, so a
// loaded machine only makes the test slower, never makes it fail.
#pragma once
#include <chrono>
#include <thread>

// Long enough for any hand-off on a machine whose every core is busy; only a
// fault makes a test wait this long.
constexpr std::chrono::milliseconds kWaitLimit{30000};

// True once `done()` holds; false when `limit` of real time passed first.
template <typename Done>
bool WaitUntil(Done done, std::chrono::milliseconds limit = kWaitLimit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
