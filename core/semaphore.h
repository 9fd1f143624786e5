// The shared System V semaphore (key 88, one count). Every holder of the key
// opens the same set, so FPGA access, the hardware models' run-state updates,
// the drawing page swap and the FFT request are serialised by one lock.
//
// The lock is NOT recursive. A path that holds it must not take it again: the
// hardware models take it around their run-state updates and release it before
// they call the board-control layer, which takes it per FPGA access.
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

extern semaphore Sem;
