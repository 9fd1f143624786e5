// The math module's expression record: keypad editing, the check and the
// postfix list, and the records that come from setup files and SCPI.
#include <cstdlib>
#include <cstdio>
#include <cstring>

#include "analysis/math/math_calc.h"
#include "analysis/math/task_math.h"
#include "core/state/ids.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/task_manage.h"

namespace {
constexpr int kMsgInvalid = 37, kMsgOverLimit = 74;
constexpr uint32_t kKeyBits = (1u << kAdvanceKeys) - 1;

int Tokens(const uint8_t* list) {
  int n = 0;
  while (n < kAdvanceTokens && list[n] != kAdvanceEnd) ++n;
  return n;
}

// The next key from `from` (itself included) whose mask bit is set, forward.
int NextValid(uint32_t mask, int from) {
  for (int i = 0; i < kAdvanceKeys; ++i) {
    const int k = (from + i) % kAdvanceKeys;
    if (mask >> k & 1) return k;
  }
  return from;
}

void Terminate(char* text) { text[kAdvanceText - 1] = 0; }
}  // namespace

void TaskForMath::GetAdvData(AdvanceData* out) const {
  if (!out) return;
  std::lock_guard<std::mutex> lock(advLock_);
  *out = adv_;
}

void TaskForMath::SetAdvData(const AdvanceData* in) {
  if (!in) return;
  AdvanceData d = *in;
  Terminate(d.text);
  Terminate(d.applied);
  d.count = uint8_t(Tokens(d.infix));
  std::memset(d.infix + d.count, kAdvanceEnd, kAdvanceTokens - d.count);
  if (d.selected >= kAdvanceKeys) d.selected = 0;
  const bool ok = CheckAdvanceTokens(&d) == 0;
  if (ok) InfixToSuffix(d.infix, d.postfix);
  d.valid = ok ? in->valid == 1 : 0;
  d.mask = AdvanceMaskAfter(d.count ? d.infix[d.count - 1] : kAdvanceEnd);
  std::lock_guard<std::mutex> lock(advLock_);
  adv_ = d;
}

void TaskForMath::AdvanceInit() {
  std::lock_guard<std::mutex> lock(advLock_);
  adv_ = AdvanceData{};
  std::memset(adv_.infix, kAdvanceEnd, sizeof adv_.infix);
  std::memset(adv_.postfix, kAdvanceEnd, sizeof adv_.postfix);
  adv_.mask = kMaskStart;
}

// A function key enters its "(" as well; an entry that makes the text longer
// than the keypad keeps is taken back (message 74).
int TaskForMath::AdvanceSelect() {
  bool over = false;
  {
    std::lock_guard<std::mutex> lock(advLock_);
    const uint8_t key = adv_.selected;
    if (key >= kAdvanceKeys || !(adv_.mask >> key & 1)) return -1;
    const bool fn = AdvanceItemType(key) == kKindFunction;
    const size_t len = std::strlen(adv_.text);
    const size_t add = std::strlen(advanceItem[key]) + (fn ? 1 : 0);
    if (adv_.count + (fn ? 2 : 1) >= kAdvanceTokens || len + add >= size_t(kAdvanceText)) {
      over = true;
    } else {
      adv_.infix[adv_.count++] = key;
      std::strcat(adv_.text, advanceItem[key]);
      if (fn) {
        adv_.infix[adv_.count++] = kTokOpen;
        std::strcat(adv_.text, advanceItem[kTokOpen]);
      }
      std::printf("expression: %s\n", adv_.text);
      if (std::strlen(adv_.text) > size_t(kAdvanceMaxText)) over = true, AdvanceDeleteLocked();
    }
  }
  if (over) QelMsg.SetMessage(kMsgOverLimit);
  SetItemValidFlag();
  return over ? -1 : 0;
}

void TaskForMath::AdvanceDeleteLocked() {
  if (adv_.count == 0) return;
  const int last = adv_.count - 1;
  const int n = adv_.infix[last] == kTokOpen && last > 0 && AdvanceItemType(adv_.infix[last - 1]) == kKindFunction ? 2 : 1;
  for (int i = 0; i < n; ++i) {
    const uint8_t code = adv_.infix[adv_.count - 1];
    adv_.infix[--adv_.count] = kAdvanceEnd;
    CutName(code);
  }
}

void TaskForMath::CutName(int code) {
  if (code < 0 || code >= kAdvanceKeys) return;
  const size_t len = std::strlen(adv_.text), name = std::strlen(advanceItem[code]);
  adv_.text[len >= name ? len - name : 0] = 0;
}

int TaskForMath::AdvanceDelete() {
  std::lock_guard<std::mutex> lock(advLock_);
  if (adv_.count == 0) return -1;
  AdvanceDeleteLocked();
  return 0;
}

int TaskForMath::DeleteOneAdvanceItem(int code) {
  std::lock_guard<std::mutex> lock(advLock_);
  CutName(code);
  return 0;
}

uint32_t TaskForMath::SetItemValidFlag() {
  std::lock_guard<std::mutex> lock(advLock_);
  return adv_.mask = AdvanceMaskAfter(adv_.count ? adv_.infix[adv_.count - 1] : kAdvanceEnd);
}

int TaskForMath::JumpToValidItem() {
  std::lock_guard<std::mutex> lock(advLock_);
  return adv_.selected = uint8_t(NextValid(adv_.mask, adv_.selected));
}

// Moves by |step| valid keys; backwards past key 0 it wraps to the last valid one.
int TaskForMath::SetAdvanceIndex(short step) {
  std::lock_guard<std::mutex> lock(advLock_);
  const uint32_t mask = adv_.mask & kKeyBits;
  if (!mask) return adv_.selected;
  int k = adv_.selected;
  const int dir = step < 0 ? -1 : 1;
  for (int moved = 0; moved < std::abs(step);) {
    k = (k + dir + kAdvanceKeys) % kAdvanceKeys;
    if (mask >> k & 1) ++moved;
  }
  return adv_.selected = uint8_t(k);
}

int TaskForMath::GetAdvanceIndex() const {
  std::lock_guard<std::mutex> lock(advLock_);
  return adv_.selected;
}

uint32_t TaskForMath::GetAdvanceItemValid() const {
  std::lock_guard<std::mutex> lock(advLock_);
  return adv_.mask;
}

int TaskForMath::SetAdvanceBuff(const uint8_t* tokens) {
  if (!tokens) return -1;
  std::lock_guard<std::mutex> lock(advLock_);
  int n = 0;
  while (n < kAdvanceTokens - 1 && tokens[n] != kAdvanceEnd) {
    adv_.infix[n] = tokens[n];
    ++n;
  }
  std::memset(adv_.infix + n, kAdvanceEnd, kAdvanceTokens - n);
  adv_.count = uint8_t(n);
  adv_.mask = AdvanceMaskAfter(n ? adv_.infix[n - 1] : kAdvanceEnd);
  return n;
}

int TaskForMath::SetAdvanceExpression(const char* text) {
  if (!text || std::strlen(text) >= size_t(kAdvanceText)) return -1;
  std::lock_guard<std::mutex> lock(advLock_);
  std::memset(adv_.text, 0, sizeof adv_.text);
  std::memcpy(adv_.text, text, std::strlen(text));
  return 0;
}

int TaskForMath::GetChannelUsage() const {
  std::lock_guard<std::mutex> lock(advLock_);
  return adv_.channels;
}

int TaskForMath::CheckExpression(const uint8_t* tokens) {
  if (!tokens) return -1;
  AdvanceData d{};
  std::memset(d.infix, kAdvanceEnd, sizeof d.infix);
  for (int i = 0; i < kAdvanceTokens && tokens[i] != kAdvanceEnd; ++i) d.infix[i] = tokens[i];
  const int rc = CheckAdvanceTokens(&d);
  std::lock_guard<std::mutex> lock(advLock_);
  adv_.valid = 0;
  adv_.channels = d.channels;
  adv_.logic = d.logic;
  return rc;
}

int TaskForMath::ExpressCheck() {
  std::lock_guard<std::mutex> lock(advLock_);
  if (CheckAdvanceTokens(&adv_) < 0) return -1;
  InfixToSuffix(adv_.infix, adv_.postfix);
  adv_.valid = 1;
  return 0;
}

void TaskForMath::RefuseExpressionText(bool tooLong) {
  QelMsg.SetMessage(tooLong ? kMsgOverLimit : kMsgInvalid);
}

int TaskForMath::ApplyExpression() {
  if (ExpressCheck() < 0) {
    QelMsg.SetMessage(kMsgInvalid);
    math.ClearMathWave();
    return -1;
  }
  TaskMenu.SetMenuItem(kMathItemExpression, 0);
  ClearDisplayBits(kMathShowKeypad);
  TaskManage.AddUserTaskProcess(kTaskMath, 0, 0);
  std::lock_guard<std::mutex> lock(advLock_);
  std::memcpy(adv_.applied, adv_.text, sizeof adv_.applied);
  SysRunStatus.SetMathExpression(adv_.applied);
  return 0;
}
