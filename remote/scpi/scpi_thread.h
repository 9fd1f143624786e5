// The SCPI thread and its worker: the thread takes every message of the SCPI
// queue, the worker runs the matched handlers, so a slow handler never holds
// up reception. At most three calls wait for the worker; a fourth waits for
// room (the queue behind it fills up in turn, and so on up to the transports).
#pragma once
#include <cstddef>
#include <functional>

constexpr size_t kScpiFuncQueueLimit = 3;

// Queues one call for the worker, waiting while three wait already; false
// only when a stop ended the wait (the call is then dropped with what it owns).
// With `afterKeys` the worker first waits for the remote keys queued before
// it to be routed by the main loop (a command that only queues a key more
// needs not: the ring keeps their order).
bool PushScpiFunc(std::function<void()>&& call, bool afterKeys = true);

// True while the worker is held, calls wait for it or it runs one (false on
// the worker itself: the calls queued before the one it runs have all run),
// or a remote key waits for the main loop or is being routed.
bool ScpiWorkerBusy();

// Runs `job` on the job thread, after the jobs given before it, while the
// worker goes on with the next commands: the long tail of a command that
// needs no setting and holds only what it reads (writing out a deep record
// taken before). The engine counts as busy (*OPC? answers 0) until it has
// run. Waits while a job already waits; false only when a stop ended that
// wait (the job is then dropped).
bool RunScpiJob(std::function<void()>&& job);

// The worker body: runs the queued calls in order until a stop is requested.
// A call that throws is logged and the worker goes on.
void RunScpiFuncThread();

// While held, the worker runs no call: they wait in the queue (and the
// transports behind it) until released. Start-up holds the worker until its
// own settings are in force, so a command accepted meanwhile is kept.
void HoldScpiWorker(bool hold);

// Starts the worker and job threads; 0 or an error number. The SCPI thread calls it.
int StartScpiFuncThread();

// ScpiThread (remote/scpi/scpi.h) is the thread body that main starts.
