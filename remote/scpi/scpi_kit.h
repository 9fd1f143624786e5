// What a module's SCPI handlers share: answers, the missing-parameter check,
// keyword matching, and the KEY / KEY:LOCK / KEY:LOCK? trio of a panel key.
#pragma once
#include <cstdint>

#include "remote/scpi/scpi_key.h"
#include "remote/scpi/scpi_table.h"

// Answers `text` (or the number `v`) to the client.
void ScpiAnswer(const char* text);
void ScpiAnswerNumber(int v);
void ScpiAnswerReal(double v);  // "%-13.6e"
// A number a client sent as a whole number within lo..hi: past a limit
// (infinities included) it is that limit, not a number is `lo`; the fraction
// is cut off (round first for the nearest). Never a cast of a number out of range.
long ScpiWhole(double v, long lo, long hi);
// A whole-number parameter as a client may write it, exponent notation
// included ("1e4"; strtol would read 1): the fraction cut, held within
// +-kScpiLongLimit so the caller's own limit clamps it. 0, with `*ok` false,
// when the text starts with no number.
constexpr long kScpiLongLimit = 1000000000;
long ScpiLong(const char* p, bool* ok = nullptr);
// A setter's whole number (ScpiLong) into `*v`; false, the command refused,
// when the parameter is missing or starts with no number.
bool ScpiNumber(const char* p, long* v);

// Refuses the command for its parameters: the screen's "Invalid parameter
// entered!", which the remote user also reads with SYSTem:ERRor?. Returns -1.
int ScpiRefuse();
// Refuses the command for the instrument's state with the message `n` the
// panel shows for the same refusal (SYSTem:ERRor? reads it too). Returns -1.
int ScpiRefuseWith(int n);
// ScpiRefuse() when `refused`; returns `refused`. For a parameter the
// handler checks itself (a number out of its range, a choice greyed).
bool ScpiRefuseIf(bool refused);

// True, with the warning printed and the command refused, when a setter got
// no parameter.
bool ScpiMissing(const char* p);
// Only the warning, for a parameter that may be left out.
void ScpiWarnMissing(const char* p);
// The value of the keyword `p` matches in `words`, -1 for none (or no `p`).
int ScpiMatch(const scpipara* words, const char* p);
// The same, with the command refused (ScpiRefuse) when `p` matches none.
int ScpiMatchOrRefuse(const scpipara* words, const char* p);
// The same for a setter's one keyword: the command refused for a missing or
// unknown one.
int ScpiKeyword(const scpipara* words, const char* p);

// "ON", "OFF", "1", "0".
extern const scpipara kScpiOnOff[];

// Handlers of the panel-key trio (remote/scpi/scpi_key.h) for one key, for a
// table row each: the remote key `kRemoteKey` queued, the lock of
// `kPanelKey` set and answered. `name` (for the trace) is given per key.
template <uint16_t kPanelKey, uint16_t kRemoteKey>
struct ScpiKeyTrio {
  static const char* name;
  static void Key(scpi_para*, char*) { ScpiQueueKey(name, kRemoteKey); }
  static void Lock(scpi_para*, char* p) { ScpiKeyLock(kPanelKey, p); }
  static void LockAsk(scpi_para*, char*) { ScpiKeyLockAsk(kPanelKey); }
};

// The three rows of a key: "<pattern>", "<pattern>:LOCK", "<pattern>:LOCK?".
#define SCPI_KEY_ROWS(pattern, Trio) \
  {pattern, Trio::Key}, {pattern ":LOCK", Trio::Lock}, {pattern ":LOCK?", Trio::LockAsk}
