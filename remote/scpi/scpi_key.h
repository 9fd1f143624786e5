// The remote-key commands a panel module answers: "KEY:<name>" queues its
// key as if pressed, "KEY:<name>:LOCK" locks or unlocks it ("ON", "OFF",
// "1", "0"), "KEY:<name>:LOCK?" answers "1" or "0".
#pragma once
#include <cstdint>

void ScpiQueueKey(const char* name, uint16_t code);
void ScpiKeyLock(uint16_t code, const char* parameter);
void ScpiKeyLockAsk(uint16_t code);
