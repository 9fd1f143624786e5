// The settings in force change on two threads: the main loop's pass (keys,
// the knob queues' replay after a read-out, the modules' periodic work) and
// the SCPI worker (one remote command at a time). Each changes them under
// this lock, so a command never falls among a pass's changes: a replayed
// knob step cannot write back a position, a level or a run state read
// before the command changed it. The lock is recursive on its thread.
#pragma once

class SettingsLock {
 public:
  SettingsLock();
  ~SettingsLock();
  SettingsLock(const SettingsLock&) = delete;
  SettingsLock& operator=(const SettingsLock&) = delete;
};

// Sleeps `ms` milliseconds, with the lock let go meanwhile when this thread
// holds it: a command that gives the main loop time (to bring fresh records,
// to show a page) lets its passes run.
void SettingsWaitMs(int ms);
