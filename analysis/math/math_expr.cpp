// The math expression engine: check, postfix conversion, evaluation, units
// and the split of a remote expression text into keypad tokens.
#include "analysis/math/math_expr.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

const char advanceItem[kAdvanceKeys][kAdvanceKeyName] = {
    "CH1", "CH2", "Log", "Exp", "Sin", "Cos", "Tan", "Sqrt", "Intg", "Diff", "+", "-",
    "*",   "/",   "(",   ")",   ">",   "<",   ">=",  "<=",   "==",   "!=",   "&&", "||",
};

namespace {
constexpr int kUnitV = 0, kUnitA = 1, kUnitW = 2, kUnitU = 3;
constexpr int kHalf = kAdvanceValues / 2;  // Intg and Diff work on the upper envelope
constexpr double kDiffScale = 1000000.0;

bool IsOperand(int c) { return AdvanceItemType(c) == kKindOperand; }
bool IsFunction(int c) { return AdvanceItemType(c) == kKindFunction; }
bool IsOperator(int c) {
  const int t = AdvanceItemType(c);
  return t == kKindArith || t == kKindLogic;
}

// The tokens of a 0xFF-terminated list of at most kAdvanceTokens.
int Length(const uint8_t* list) {
  int n = 0;
  while (n < kAdvanceTokens && list[n] != kAdvanceEnd) ++n;
  return n;
}

int Fail(const char* why) {
  if (why) std::printf("%s\n", why);
  std::printf("invalid expression, exit!\n");
  return -1;
}
}  // namespace

int AdvanceItemType(int code) {
  if (code < 0 || code >= kAdvanceKeys) return -1;
  if (code <= kTokCh2) return kKindOperand;
  if (code <= kTokDiff) return kKindFunction;
  if (code <= kTokDiv) return kKindArith;
  if (code <= kTokClose) return kKindBracket;
  return kKindLogic;
}

uint32_t AdvanceMaskAfter(uint8_t last) {
  if (last == kAdvanceEnd) return kMaskStart;
  if (last >= kAdvanceKeys) return 0;
  if (IsOperand(last) || last == kTokClose) return kMaskAfterOperand;
  if (IsFunction(last)) return kMaskAfterFunction;
  return kMaskStart;
}

// After "(" only what may start an expression is taken (an operator or ")"
// there would leave the evaluation short of an operand).
int CheckAdvanceTokens(AdvanceData* d) {
  d->valid = 0;
  d->channels = 0;
  d->logic = 0;
  const uint8_t* t = d->infix;
  const int n = Length(t);
  if (n == 0) {
    std::printf("Empty expression, exit!\n");
    return Fail(nullptr);
  }
  int depth = 0;
  for (int i = 0; i < n; ++i) {
    const uint8_t c = t[i];
    if (AdvanceItemType(c) < 0) return Fail(nullptr);
    if (c == kTokOpen) ++depth;
    if (c == kTokClose && --depth < 0) return Fail(nullptr);
    if (c == kTokCh1) d->channels |= 1;
    if (c == kTokCh2) d->channels |= 2;
    if (AdvanceItemType(c) == kKindLogic) d->logic = 1;
    if (i == 0 && (IsOperator(c) || c == kTokClose)) return Fail(nullptr);
    const bool last = i + 1 == n;
    const uint8_t next = last ? kAdvanceEnd : t[i + 1];
    if (IsOperand(c) || c == kTokClose) {
      if (!last && !IsOperator(next) && next != kTokClose) return Fail(nullptr);
    } else if (IsFunction(c)) {
      if (next != kTokOpen) return Fail(nullptr);
    } else if (last || !(IsOperand(next) || IsFunction(next) || next == kTokOpen)) {
      return Fail(nullptr);  // operators and "(" need an operand after them
    }
  }
  if (depth != 0) return Fail("Bracket error!");
  return 0;
}

int GetPriority(uint8_t code) {
  if (code == kTokOpen) return 0;
  const int t = AdvanceItemType(code);
  if (t == kKindLogic || t == kKindFunction) return 1;
  if (code == kTokAdd || code == kTokSub) return 2;
  if (code == kTokMul || code == kTokDiv) return 3;
  return 0;
}

bool IsPop(uint8_t top, uint8_t incoming) {
  return top != kTokOpen && GetPriority(top) >= GetPriority(incoming);
}

void InfixToSuffix(const uint8_t* infix, uint8_t* postfix) {
  std::memset(postfix, kAdvanceEnd, kAdvanceTokens);
  std::vector<uint8_t> stack;
  int out = 0;
  auto emit = [&](uint8_t c) {
    if (out < kAdvanceTokens) postfix[out++] = c;
  };
  const int n = Length(infix);
  for (int i = 0; i < n; ++i) {
    const uint8_t c = infix[i];
    if (IsOperand(c)) {
      emit(c);
    } else if (c == kTokOpen || IsFunction(c)) {
      stack.push_back(c);
    } else if (c == kTokClose) {
      while (!stack.empty() && stack.back() != kTokOpen) {
        emit(stack.back());
        stack.pop_back();
      }
      if (!stack.empty()) stack.pop_back();
      if (!stack.empty() && IsFunction(stack.back())) {
        emit(stack.back());
        stack.pop_back();
      }
    } else if (IsOperator(c)) {
      while (!stack.empty() && IsPop(stack.back(), c)) {
        emit(stack.back());
        stack.pop_back();
      }
      stack.push_back(c);
    }
  }
  while (!stack.empty()) {
    emit(stack.back());
    stack.pop_back();
  }
}

int Operator(num* out, const num* a, num* b, uint8_t code, int count) {
  if (!out || !a || !b || count < 0 || count > kAdvanceValues) return -1;
  for (int i = 0; i < count; ++i) {
    const float x = a->data[i];
    float& y = b->data[i];
    float r = 0.0f;
    switch (code) {
      case kTokAdd: r = x + y; break;
      case kTokSub: r = x - y; break;
      case kTokMul: r = x * y; break;
      case kTokDiv:
        if (x == y) {
          r = 1.0f;
          break;
        }
        // A zero divisor becomes one code step of the divisor's source.
        if (y == 0.0f) y = x > 0 ? b->head : -b->head;
        r = x / y;
        break;
      case kTokGt: r = x > y; break;
      case kTokLt: r = x < y; break;
      case kTokGe: r = x >= y; break;
      case kTokLe: r = x <= y; break;
      case kTokEq: r = x == y; break;
      case kTokNe: r = x != y; break;
      case kTokAnd: r = x > 0 && y > 0; break;
      case kTokOr: r = x > 0 || y > 0; break;
      default: return -1;
    }
    out->data[i] = r;
  }
  // An intermediate result divides by the left operand's code step.
  out->head = a->head;
  return 0;
}

float* Intg(const float* in, float* out, int n, int a, int b) {
  if (!in || !out || a == b || n < 2) return nullptr;
  const int h = std::abs(b - a) / (n - 1);
  out[0] = 0.0f;
  double inner = 0.0;  // in[1] + ... + in[m - 1]
  for (int m = 1; m < n; ++m) {
    out[m] = float(h * 0.5 * (in[0] + in[m] + 2.0 * inner));
    inner += in[m];
  }
  return out;
}

float* Diff(const float* in, float* out, int n, int a, int b) {
  if (!in || !out || a == b || n < 5) return nullptr;
  const double h = double(std::abs(b - a)) / n;
  for (int i = 0; i < n; ++i) {
    double d;
    if (i < 2) d = (4.0 * in[i + 1] - 3.0 * in[i] - in[i + 2]) / (2 * h);
    else if (i < n - 2) d = (in[i - 2] - 8.0 * in[i - 1] + 8.0 * in[i + 1] - in[i + 2]) / (12 * h);
    else d = (3.0 * in[i] - 4.0 * in[i - 1] + in[i - 2]) / (2 * h);
    out[i] = float(d * kDiffScale);
  }
  return out;
}

int function(num* out, const num* in, uint8_t code, int count) {
  if (!out || !in || count < 0 || count > kAdvanceValues || !IsFunction(code)) return -1;
  out->head = in->head;
  if (code == kTokIntg || code == kTokDiff) {
    const int n = count < kHalf ? count : kHalf;
    const float* r = code == kTokIntg ? Intg(in->data, out->data, n, 0, n - 1) : Diff(in->data, out->data, n, 0, n - 1);
    if (!r) return -1;
    // The lower envelope follows one column behind; its last column repeats.
    for (int j = 0; j + 1 < n && kHalf + j < count; ++j) out->data[kHalf + j] = out->data[j + 1];
    if (count > kHalf + n - 1 && n > 0) out->data[kHalf + n - 1] = out->data[n - 1];
    return 0;
  }
  for (int i = 0; i < count; ++i) {
    const double x = in->data[i];
    double r = 0;
    switch (code) {
      case kTokLog: r = std::log10(x); break;
      case kTokExp: r = std::exp(x); break;
      case kTokSin: r = std::sin(x); break;
      case kTokCos: r = std::cos(x); break;
      case kTokTan: r = std::tan(x); break;
      default: r = std::sqrt(x); break;
    }
    out->data[i] = float(r);
  }
  return 0;
}

int AdvanceDeal(num* out, const num* ch1, const num* ch2, const uint8_t* postfix) {
  if (!out || !ch1 || !ch2 || !postfix) return -1;
  std::vector<std::unique_ptr<num>> stack;
  auto pop = [&]() {
    std::unique_ptr<num> v = std::move(stack.back());
    stack.pop_back();
    return v;
  };
  const int n = Length(postfix);
  for (int i = 0; i < n; ++i) {
    const uint8_t c = postfix[i];
    if (IsOperand(c)) {
      stack.push_back(std::make_unique<num>(c == kTokCh1 ? *ch1 : *ch2));
    } else if (IsOperator(c)) {
      if (stack.size() < 2) return -1;
      std::unique_ptr<num> b = pop(), a = pop();
      auto r = std::make_unique<num>();
      if (Operator(r.get(), a.get(), b.get(), c, kAdvanceValues) < 0) return -1;
      stack.push_back(std::move(r));
    } else if (IsFunction(c)) {
      if (stack.empty()) return -1;
      std::unique_ptr<num> a = pop();
      auto r = std::make_unique<num>();
      if (function(r.get(), a.get(), c, kAdvanceValues) < 0) return -1;
      stack.push_back(std::move(r));
    } else {
      return -1;
    }
  }
  if (stack.size() != 1) return -1;
  *out = *stack.back();
  return 0;
}

short OperatorU(short a, short b, uint8_t code) {
  if (code == kTokAdd || code == kTokSub) return a == b ? a : short(kUnitU);
  if (code == kTokMul) return (a == kUnitV && b == kUnitA) || (a == kUnitA && b == kUnitV) ? short(kUnitW) : short(kUnitU);
  return short(kUnitU);
}

int AdvanceDealU(short* out, const short* ch1unit, const short* ch2unit, const uint8_t* postfix) {
  if (!out || !ch1unit || !ch2unit || !postfix) return -1;
  std::vector<short> stack;
  const int n = Length(postfix);
  for (int i = 0; i < n; ++i) {
    const uint8_t c = postfix[i];
    if (IsOperand(c)) {
      stack.push_back(c == kTokCh1 ? *ch1unit : *ch2unit);
    } else if (IsOperator(c)) {
      if (stack.size() < 2) return -1;
      const short b = stack.back();
      stack.pop_back();
      stack.back() = OperatorU(stack.back(), b, c);
    } else if (IsFunction(c)) {
      if (stack.empty()) return -1;
      stack.back() = short(kUnitU);
    } else {
      return -1;
    }
  }
  if (stack.size() != 1) return -1;
  *out = stack.back();
  return 0;
}

// Candidates narrow by each further character; when none takes the next
// character, the first one left (table order) whose name is complete wins.
int AdvanceParseText(const char* in, uint8_t* tokens, int max, char* text, size_t size) {
  if (!in || !tokens || max < 1 || !text || size == 0) return -1;
  std::string clean;
  for (const char* p = in; *p; ++p)
    if (*p != '"' && *p != '\\') clean.push_back(*p);
  int count = 0;
  size_t used = 0;
  text[0] = 0;
  size_t at = 0;
  while (at < clean.size()) {
    bool live[kAdvanceKeys];
    int left = 0;
    for (int k = 0; k < kAdvanceKeys; ++k) left += (live[k] = advanceItem[k][0] == clean[at]);
    if (!left) return -1;
    size_t len = 1;
    for (;;) {
      int narrowed = 0;
      for (int k = 0; k < kAdvanceKeys; ++k)
        if (live[k] && std::strlen(advanceItem[k]) > len && at + len < clean.size() && advanceItem[k][len] == clean[at + len])
          ++narrowed;
      if (!narrowed) break;
      for (int k = 0; k < kAdvanceKeys; ++k)
        live[k] = live[k] && std::strlen(advanceItem[k]) > len && at + len < clean.size() &&
                  advanceItem[k][len] == clean[at + len];
      ++len;
    }
    int chosen = -1;
    for (int k = 0; k < kAdvanceKeys && chosen < 0; ++k)
      if (live[k] && std::strlen(advanceItem[k]) == len) chosen = k;
    if (chosen < 0 || count + 1 >= max || used + len + 1 > size) return -1;
    tokens[count++] = uint8_t(chosen);
    std::memcpy(text + used, advanceItem[chosen], len);
    used += len;
    text[used] = 0;
    at += len;
  }
  tokens[count] = kAdvanceEnd;
  return count;
}
