// The math expression engine: the 24 keypad tokens, the expression record,
// the check, the conversion to postfix order, the evaluation over the two
// channels' trace values and the unit of the result.
//
// Token lists are 0xFF-terminated arrays of token codes (rows of
// `advanceItem`). Units are the channel unit codes 0 "V", 1 "A", 2 "W", 3 "U".
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int kAdvanceKeys = 24;
constexpr int kAdvanceKeyName = 10;
constexpr int kAdvanceTokens = 60;
constexpr int kAdvanceText = 60;
constexpr int kAdvanceMaxText = 54;  // longest edit text the keypad keeps
constexpr uint8_t kAdvanceEnd = 0xFF;
constexpr int kAdvanceValues = 1400;

extern const char advanceItem[kAdvanceKeys][kAdvanceKeyName];

// Token codes.
enum AdvanceToken : uint8_t {
  kTokCh1 = 0, kTokCh2 = 1,
  kTokLog = 2, kTokExp, kTokSin, kTokCos, kTokTan, kTokSqrt, kTokIntg, kTokDiff,
  kTokAdd = 10, kTokSub, kTokMul, kTokDiv,
  kTokOpen = 14, kTokClose = 15,
  kTokGt = 16, kTokLt, kTokGe, kTokLe, kTokEq, kTokNe, kTokAnd, kTokOr,
};

// Token kinds (type codes).
enum : int { kKindOperand = 16, kKindFunction = 32, kKindArith = 48, kKindBracket = 64, kKindLogic = 80 };

// The kind of a token code; -1 for 24 and above.
int AdvanceItemType(int code);

// Valid-key masks.
constexpr uint32_t kMaskStart = 0x43FF;        // operands, functions, "("
constexpr uint32_t kMaskAfterOperand = 0x00FFBC00;  // operators, ")"
constexpr uint32_t kMaskAfterFunction = 0x4000;     // "(" only

// The expression record (252 bytes, stored whole in setup files).
struct AdvanceData {
  uint8_t selected;                  // keypad key under the cursor
  uint8_t count;                     // tokens entered
  uint8_t infix[kAdvanceTokens];     // entry order, 0xFF empty
  uint8_t postfix[kAdvanceTokens];   // written by the check, 0xFF after the last
  uint8_t reserved;
  char text[kAdvanceText];           // edit text, NUL-terminated
  char applied[kAdvanceText];        // text of the applied expression
  uint8_t valid;                     // 1 after a successful check
  uint32_t mask;                     // bit n: key n may come next
  uint16_t channels;                 // bit 0 CH1 used, bit 1 CH2 used
  uint16_t logic;                    // 1 when a comparison/logic operator occurs
};
static_assert(sizeof(AdvanceData) == 252 && offsetof(AdvanceData, text) == 123 &&
                  offsetof(AdvanceData, applied) == 183 && offsetof(AdvanceData, valid) == 243 &&
                  offsetof(AdvanceData, mask) == 244 && offsetof(AdvanceData, channels) == 248 &&
                  offsetof(AdvanceData, logic) == 250,
              "expression record layout");

// An operand: its volts per screen code, then 1400 values in volts.
struct num {
  float head;
  float data[kAdvanceValues];
};

// The mask of keys that may follow `last` (kAdvanceEnd: nothing entered).
uint32_t AdvanceMaskAfter(uint8_t last);

// Checks the infix list of `d` (at most 60 tokens); sets its channel usage
// and logic flag, clears valid. 0 well formed, -1 otherwise.
int CheckAdvanceTokens(AdvanceData* d);
// Shunting-yard conversion; `postfix` holds 60 codes and is 0xFF-filled first.
void InfixToSuffix(const uint8_t* infix, uint8_t* postfix);
int GetPriority(uint8_t code);
bool IsPop(uint8_t top, uint8_t incoming);

// Evaluation of a checked postfix list over 1400 values; 0, or -1 when the
// list does not leave exactly one value (nothing is written then).
int AdvanceDeal(num* out, const num* ch1, const num* ch2, const uint8_t* postfix);
// The result unit; 0, or -1 as above.
int AdvanceDealU(short* out, const short* ch1unit, const short* ch2unit, const uint8_t* postfix);
// One operator over `count` values (b's zero divisors are rewritten).
int Operator(num* out, const num* a, num* b, uint8_t code, int count);
// One function over `count` values; -1 for codes outside 2..9.
int function(num* out, const num* in, uint8_t code, int count);
short OperatorU(short a, short b, uint8_t code);
// Running trapezoid integral and derivative of n values over the range a..b;
// the output pointer, or null for a null pointer, a == b or too few values.
float* Intg(const float* in, float* out, int n, int a, int b);
float* Diff(const float* in, float* out, int n, int a, int b);

// Splits a remote expression text into tokens (quotes and backslashes
// skipped): at most `max` - 1 tokens then 0xFF; the joined names into
// `text` (`size` bytes). The token count, or -1 for an unknown name or a
// list that does not fit.
int AdvanceParseText(const char* in, uint8_t* tokens, int max, char* text, size_t size);
