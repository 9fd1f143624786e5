// The SCPI thread and its worker: the thread takes every message of the SCPI
// queue, the worker runs the matched handlers, so a slow handler never holds
// up reception. At most three calls wait for the worker; more are dropped.
#pragma once
#include <cstddef>
#include <functional>

constexpr size_t kScpiFuncQueueLimit = 3;

// Offers one call to the worker; false when three already wait (the call is
// then dropped with what it owns).
bool PushScpiFunc(std::function<void()>&& call);

// The worker body: runs the queued calls in order until a stop is requested.
void RunScpiFuncThread();

// Starts the worker thread; 0 or an error number. The SCPI thread calls it.
int StartScpiFuncThread();

// ScpiThread (remote/scpi.h) is the thread body that main starts.
