// The expression engine: a table of expressions with their postfix forms,
// values and units (refused ones included), the division and function rules,
// and the integral and derivative against their closed forms.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "analysis/math/math_expr.h"

namespace {
constexpr short V = 0, A = 1, W = 2, U = 3;

struct Parsed {
  AdvanceData d{};
  int rc = -1;
};

Parsed Parse(const char* text) {
  Parsed p;
  std::memset(p.d.infix, kAdvanceEnd, sizeof p.d.infix);
  char joined[kAdvanceText];
  if (AdvanceParseText(text, p.d.infix, kAdvanceTokens, joined, sizeof joined) < 0) return p;
  p.rc = CheckAdvanceTokens(&p.d);
  if (p.rc == 0) InfixToSuffix(p.d.infix, p.d.postfix);
  return p;
}

std::string Names(const uint8_t* list) {
  std::string s;
  for (int i = 0; i < kAdvanceTokens && list[i] != kAdvanceEnd; ++i) s += std::string(s.empty() ? "" : " ") + advanceItem[list[i]];
  return s;
}

// Both channels constant: CH1 2 V and CH2 0.5 V, 0.02 V a code.
std::unique_ptr<num> Constant(float v) {
  auto n = std::make_unique<num>();
  n->head = 0.02f;
  for (float& x : n->data) x = v;
  return n;
}

struct Row {
  const char* text;
  const char* postfix;  // null: refused
  double value;         // with CH1 = 2 V, CH2 = 0.5 V
  short unit;           // with CH1 in V, CH2 in A
  int logic;
};

const Row kRows[] = {
    {"CH1+CH2", "CH1 CH2 +", 2.5, U, 0},
    {"CH1-CH2", "CH1 CH2 -", 1.5, U, 0},
    {"CH1*CH2", "CH1 CH2 *", 1.0, W, 0},
    {"CH2*CH1", "CH2 CH1 *", 1.0, W, 0},
    {"CH1*CH1", "CH1 CH1 *", 4.0, U, 0},
    {"CH1/CH2", "CH1 CH2 /", 4.0, U, 0},
    {"CH1+CH1", "CH1 CH1 +", 4.0, V, 0},
    {"CH1-CH2*CH1", "CH1 CH2 CH1 * -", 1.0, U, 0},
    {"(CH1-CH2)*CH1", "CH1 CH2 - CH1 *", 3.0, U, 0},
    {"CH1/CH2/CH2", "CH1 CH2 / CH2 /", 8.0, U, 0},
    {"CH1-CH2-CH2", "CH1 CH2 - CH2 -", 1.0, U, 0},
    {"CH1>CH2", "CH1 CH2 >", 1.0, U, 1},
    {"CH1<CH2", "CH1 CH2 <", 0.0, U, 1},
    {"CH1>=CH2", "CH1 CH2 >=", 1.0, U, 1},
    {"CH1<=CH1", "CH1 CH1 <=", 1.0, U, 1},
    {"CH1==CH2", "CH1 CH2 ==", 0.0, U, 1},
    {"CH1!=CH2", "CH1 CH2 !=", 1.0, U, 1},
    {"CH1>CH2&&CH2>CH1", "CH1 CH2 > CH2 && CH1 >", 0.0, U, 1},
    {"CH1-CH1||CH2", "CH1 CH1 - CH2 ||", 1.0, U, 1},
    {"Sin(CH1)", "CH1 Sin", std::sin(2.0), U, 0},
    {"Cos(CH2)", "CH2 Cos", std::cos(0.5), U, 0},
    {"Tan(CH2)", "CH2 Tan", std::tan(0.5), U, 0},
    {"Log(CH1*CH1)", "CH1 CH1 * Log", std::log10(4.0), U, 0},
    {"Exp(CH2)", "CH2 Exp", std::exp(0.5), U, 0},
    {"Sqrt(CH1+CH1)+CH2", "CH1 CH1 + Sqrt CH2 +", 2.5, U, 0},
    {"Sqrt((CH1))", "CH1 Sqrt", std::sqrt(2.0), U, 0},
    // Refused.
    {"", nullptr, 0, 0, 0},
    {"(CH1+CH2", nullptr, 0, 0, 0},
    {"CH1+CH2)", nullptr, 0, 0, 0},
    {"+CH1", nullptr, 0, 0, 0},
    {"CH1+", nullptr, 0, 0, 0},
    {")CH1", nullptr, 0, 0, 0},
    {"CH1CH2", nullptr, 0, 0, 0},
    {"CH1(CH2)", nullptr, 0, 0, 0},
    {"SinCH1", nullptr, 0, 0, 0},
    {"Sin", nullptr, 0, 0, 0},
    {"(+CH1)", nullptr, 0, 0, 0},  // an operator straight after "("
    {"()", nullptr, 0, 0, 0},
    {"CH3", nullptr, 0, 0, 0},
    {"CH1 + CH2", nullptr, 0, 0, 0},
    {"CH1=CH2", nullptr, 0, 0, 0},
};

TEST(MathExpr, TableOfExpressions) {
  auto ch1 = Constant(2.0f), ch2 = Constant(0.5f);
  const short u1 = V, u2 = A;
  for (const Row& r : kRows) {
    SCOPED_TRACE(r.text);
    const Parsed p = Parse(r.text);
    if (!r.postfix) {
      EXPECT_EQ(p.rc, -1);
      continue;
    }
    ASSERT_EQ(p.rc, 0);
    EXPECT_EQ(Names(p.d.postfix), r.postfix);
    EXPECT_EQ(p.d.logic, r.logic);
    auto out = std::make_unique<num>();
    ASSERT_EQ(AdvanceDeal(out.get(), ch1.get(), ch2.get(), p.d.postfix), 0);
    EXPECT_NEAR(out->data[0], r.value, 1e-5);
    EXPECT_NEAR(out->data[kAdvanceValues - 1], r.value, 1e-5);
    short unit = -1;
    ASSERT_EQ(AdvanceDealU(&unit, &u1, &u2, p.d.postfix), 0);
    EXPECT_EQ(unit, r.unit);
  }
}

TEST(MathExpr, RemoteTextSplitsIntoKeypadTokens) {
  uint8_t t[kAdvanceTokens];
  char text[kAdvanceText];
  ASSERT_EQ(AdvanceParseText("CH1>=CH2", t, kAdvanceTokens, text, sizeof text), 3);
  EXPECT_EQ(Names(t), "CH1 >= CH2");
  ASSERT_EQ(AdvanceParseText("CH1>CH2", t, kAdvanceTokens, text, sizeof text), 3);
  EXPECT_EQ(Names(t), "CH1 > CH2");
  ASSERT_EQ(AdvanceParseText("\"Diff(CH1)\"", t, kAdvanceTokens, text, sizeof text), 4);
  EXPECT_STREQ(text, "Diff(CH1)");
  // A list that does not fit is refused, not cut.
  EXPECT_EQ(AdvanceParseText("CH1+CH2+CH1", t, 4, text, sizeof text), -1);
  EXPECT_EQ(AdvanceParseText("CH1+CH2+CH1", t, kAdvanceTokens, text, 6), -1);
}

TEST(MathExpr, ChannelUsageAndTheKeypadMasks) {
  Parsed p = Parse("CH2*CH2");
  EXPECT_EQ(p.d.channels, 2);
  p = Parse("CH1>CH2");
  EXPECT_EQ(p.d.channels, 3);
  EXPECT_EQ(AdvanceMaskAfter(kAdvanceEnd), 0x43FFu);
  EXPECT_EQ(AdvanceMaskAfter(kTokCh1), 0x00FFBC00u);
  EXPECT_EQ(AdvanceMaskAfter(kTokClose), 0x00FFBC00u);
  EXPECT_EQ(AdvanceMaskAfter(kTokSin), 0x4000u);
  EXPECT_EQ(AdvanceMaskAfter(kTokAdd), 0x43FFu);
  EXPECT_EQ(AdvanceMaskAfter(kTokOpen), 0x43FFu);
  EXPECT_EQ(AdvanceMaskAfter(kTokOr), 0x43FFu);
  EXPECT_EQ(AdvanceMaskAfter(24), 0u);
  EXPECT_EQ(AdvanceItemType(23), kKindLogic);
  EXPECT_EQ(AdvanceItemType(24), -1);
}

// a / a is 1 even at 0 / 0; a zero divisor becomes one code step of its
// source, with the dividend's sign.
TEST(MathExpr, DivisionRules) {
  auto a = Constant(0.0f), b = Constant(0.0f), out = std::make_unique<num>();
  a->data[1] = 1.0f;
  a->data[2] = -1.0f;
  b->head = 0.04f;
  ASSERT_EQ(Operator(out.get(), a.get(), b.get(), kTokDiv, kAdvanceValues), 0);
  EXPECT_FLOAT_EQ(out->data[0], 1.0f);
  EXPECT_FLOAT_EQ(out->data[1], 25.0f);
  EXPECT_FLOAT_EQ(out->data[2], 25.0f);  // -1 / -0.04
  auto neg = Constant(-1.0f);
  EXPECT_EQ(Operator(out.get(), a.get(), b.get(), kTokLt, 3), 0);
  EXPECT_EQ(Operator(out.get(), a.get(), b.get(), kTokOpen, 3), -1);
  EXPECT_EQ(function(out.get(), neg.get(), kTokAdd, 3), -1);
  ASSERT_EQ(function(out.get(), neg.get(), kTokSqrt, 3), 0);
  EXPECT_TRUE(std::isnan(out->data[0]));
}

// The derivative of a line of slope m per point is 1e6 m 700 / 699 at every
// point, ends included; the integral of a constant c is m c at point m. The
// lower half follows one column behind, its last column repeated.
TEST(MathExpr, IntegralAndDerivativeOfTheUpperHalf) {
  auto line = std::make_unique<num>(), out = std::make_unique<num>();
  line->head = 0.02f;
  for (int i = 0; i < kAdvanceValues; ++i) line->data[i] = 0.001f * (i % 700) - 0.2f;
  ASSERT_EQ(function(out.get(), line.get(), kTokDiff, kAdvanceValues), 0);
  const double slope = 1e6 * 0.001 * 700 / 699;
  for (int i = 0; i < 700; ++i) ASSERT_NEAR(out->data[i], slope, slope * 1e-3) << i;
  auto c = Constant(0.5f);
  ASSERT_EQ(function(out.get(), c.get(), kTokIntg, kAdvanceValues), 0);
  for (int m = 0; m < 700; ++m) ASSERT_NEAR(out->data[m], 0.5 * m, 1e-3) << m;
  for (int j = 0; j < 699; ++j) ASSERT_FLOAT_EQ(out->data[700 + j], out->data[j + 1]) << j;
  EXPECT_FLOAT_EQ(out->data[1399], out->data[699]);
  float small[4] = {};
  EXPECT_EQ(Intg(small, small, 0, 0, 1), nullptr);
  EXPECT_EQ(Intg(small, small, 4, 2, 2), nullptr);
  EXPECT_EQ(Diff(nullptr, small, 4, 0, 3), nullptr);
  EXPECT_EQ(Diff(small, small, 4, 0, 3), nullptr);  // too short for its stencils
}

// A list the check refused never reaches the evaluation; one that is short of
// operands is refused there too, without touching the output.
TEST(MathExpr, ShortListsAreNotEvaluated) {
  auto ch = Constant(1.0f), out = Constant(7.0f);
  const uint8_t plus[] = {kTokAdd, kAdvanceEnd};
  const uint8_t two[] = {kTokCh1, kTokCh2, kAdvanceEnd};
  EXPECT_EQ(AdvanceDeal(out.get(), ch.get(), ch.get(), plus), -1);
  EXPECT_EQ(AdvanceDeal(out.get(), ch.get(), ch.get(), two), -1);
  EXPECT_FLOAT_EQ(out->data[0], 7.0f);
  short u = 0;
  EXPECT_EQ(AdvanceDealU(&u, &u, &u, plus), -1);
}
}  // namespace
