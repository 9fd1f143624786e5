// What a module's SCPI handlers share: answers, the missing-parameter check,
// keyword matching, and the KEY / KEY:LOCK / KEY:LOCK? trio of a panel key.
#pragma once
#include <cstdint>

#include "remote/scpi_table.h"

// Answers `text` (or the number `v`) to the client.
void ScpiAnswer(const char* text);
void ScpiAnswerNumber(int v);
// True, with the warning printed, when a setter got no parameter.
bool ScpiMissing(const char* p);
// The value of the keyword `p` matches in `words`, -1 for none (or no `p`).
int ScpiMatch(const scpipara* words, const char* p);

// "ON", "OFF", "1", "0".
extern const scpipara kScpiOnOff[];

// The panel-key trio: the key queued as a remote key (`code`, knob step
// `step`; `name` for the trace), its lock set from ON/OFF/1/0, and the lock
// answered "1" or "0".
void ScpiKeyPress(const char* name, uint16_t code, int16_t step);
void ScpiKeyLock(uint16_t panelKey, const char* p);
void ScpiKeyLockAsk(uint16_t panelKey);

// Handlers of the trio for one key, for a table row each.
template <uint16_t kPanelKey, uint16_t kRemoteKey, int16_t kStep>
struct ScpiKeyTrio {
  static const char* name;
  static void Key(scpi_para*, char*) { ScpiKeyPress(name, kRemoteKey, kStep); }
  static void Lock(scpi_para*, char* p) { ScpiKeyLock(kPanelKey, p); }
  static void LockAsk(scpi_para*, char*) { ScpiKeyLockAsk(kPanelKey); }
};

// The three rows of a key: "<pattern>", "<pattern>:LOCK", "<pattern>:LOCK?".
#define SCPI_KEY_ROWS(pattern, Trio) \
  {pattern, Trio::Key}, {pattern ":LOCK", Trio::Lock}, {pattern ":LOCK?", Trio::LockAsk}
