// The shared System V semaphore (key 88, one count). Every holder of the key
// opens the same set, so FPGA access, the hardware models' run-state updates,
// the drawing page swap and the FFT request are serialised by one lock.
//
// Who takes it:
// - The board-control layer (control) takes it around each single FPGA access:
//   one frame, one register read (or a counter's low/high pair), one block
//   read, one reconfiguration. Batches take it per frame.
// - The hardware models take it around their run-state updates only, and
//   release it before they call the board-control layer.
// - The drawing page swap and the FFT request take it around their own work,
//   which calls nothing that takes it.
//
// The lock is NOT recursive: no path may take it twice. Code that holds it
// must not call control (or anything else that takes it); a second take by
// the same thread would wait for itself for ever. The simulated board's
// semaphore detects that, prints a line and aborts, so tests catch it.
//
// A wait interrupted by a signal (SIGIO arrives on every acquisition) is
// retried; semaphore_p returns only once the lock is held, or on a real error.
#pragma once

constexpr int kSharedSemKey = 88;

class semaphore {
 public:
  explicit semaphore(int key = kSharedSemKey);
  int semaphore_p();
  int semaphore_v();
  int del_semvalue();
  int Key() const { return key_; }
  int Id() const { return id_; }

 private:
  int key_;
  int id_;
};

// Holds a semaphore for one scope.
class SemLock {
 public:
  explicit SemLock(semaphore& s) : s_(s), held_(s.semaphore_p() == 1) {}
  ~SemLock() {
    if (held_) s_.semaphore_v();
  }
  SemLock(const SemLock&) = delete;
  SemLock& operator=(const SemLock&) = delete;

 private:
  semaphore& s_;
  bool held_;
};

extern semaphore Sem;
