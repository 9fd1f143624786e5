// System V style semaphores and message queues. On the PC they live inside the
// process (hence per instrument root): the kernel's are machine-wide, outlive a
// crash, and limit messages to 8 KiB, below what the instrument sends.
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

// Semaphore sets of one count, keyed like semget(key, 1, IPC_CREAT).
int SemGet(int key);                // id >= 0, or -1
bool SemSetValue(int id, int value);
bool SemOp(int id, int delta);      // -1 waits for a count, +1 releases
bool SemRemove(int id);
int SemValue(int id);               // for tests; -1 for a bad id

// Message queues keyed like msgget(key, IPC_CREAT).
int MsgGet(int key);
// Sends `size` bytes of message text with type `type` (> 0); false when the
// queue is gone or full.
bool MsgSend(int id, long type, const void* text, size_t size);
// Receives the first message of `type` (0: any) into `text`, at most `max`
// bytes. Waits up to `timeoutUs` (-1: until a stop is requested); returns the
// size, or -1 on time-out, stop or a bad id. `typeOut` gets the message type.
long MsgRecv(int id, long type, void* text, size_t max, int64_t timeoutUs, long* typeOut = nullptr);
size_t MsgPending(int id);
// Messages a queue holds before a send fails.
size_t MsgCapacity();

}  // namespace plat
