// The settings in force change on two threads: the main loop's pass (keys,
// the knob queues' replay after a read-out, the modules' periodic work) and
// the SCPI worker (one remote command at a time). Each changes them under
// this lock, so a command never falls among a pass's changes: a replayed
// knob step cannot write back a position, a level or a run state read
// before the command changed it. The lock is recursive on its thread and
// served in the order it was asked for, so a pass that takes it again finds
// a command that waited meanwhile already served.
//
// It is held for the changes it orders, never across a sleep or a long
// computation: a handler that waits (for the board, for the main loop, for
// a settle time) waits with SettingsWaitMs, and long work that changes no
// setting (reading a record, detecting a spectrum's marks) runs under
// SettingsLetGo.
#pragma once

class SettingsLock {
 public:
  SettingsLock();
  ~SettingsLock();
  SettingsLock(const SettingsLock&) = delete;
  SettingsLock& operator=(const SettingsLock&) = delete;
};

// For a scope: the calling thread's holds of the lock let go (none: nothing
// happens), and taken back at its end after whoever asked for the lock
// meanwhile has had it.
class SettingsLetGo {
 public:
  SettingsLetGo();
  ~SettingsLetGo();
  SettingsLetGo(const SettingsLetGo&) = delete;
  SettingsLetGo& operator=(const SettingsLetGo&) = delete;

 private:
  int held_;
};

// For a scope: the lock is kept through the waits and SettingsLetGo scopes
// of the calling thread, for changes that must run whole (a replay that puts
// back the state it found).
class SettingsKeep {
 public:
  SettingsKeep();
  ~SettingsKeep();
  SettingsKeep(const SettingsKeep&) = delete;
  SettingsKeep& operator=(const SettingsKeep&) = delete;
};

// Sleeps `ms` milliseconds with the lock let go meanwhile (SettingsLetGo): a
// command that gives the main loop time (to bring fresh records, to show a
// page) lets its passes run, and a panel handler's wait lets remote commands
// run. Inside a SettingsWaitsGathered scope of the thread it does not sleep.
void SettingsWaitMs(int ms);

// For a scope of many changes that must run whole and each settle the board
// (a setup recall re-applying every setting): the calling thread's
// SettingsWaitMs waits are gathered rather than slept and the lock is kept
// (SettingsKeep) until Settle(), which waits the longest once with the lock
// let go. A scope inside another leaves both to the outer one. Only the
// board's settle after the last change is what the next acquisition needs.
class SettingsWaitsGathered {
 public:
  SettingsWaitsGathered();
  ~SettingsWaitsGathered();
  SettingsWaitsGathered(const SettingsWaitsGathered&) = delete;
  SettingsWaitsGathered& operator=(const SettingsWaitsGathered&) = delete;
  // Ends the gathering and waits the longest wait gathered (SettingsWaitMs).
  void Settle();

 private:
  int outer_;  // the enclosing scope's longest, -1 when none
  bool open_ = true;
};

// The threads waiting for the lock now (for tests: a command is provably
// waiting for it).
int SettingsLockWaiters();
