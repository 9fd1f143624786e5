#include "remote/scpi/scpi_kit.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/messages/msg.h"
#include "core/state/system_resource.h"
#include "remote/scpi/scpi.h"

namespace {
constexpr int kMsgBadParameter = 72;  // "Invalid parameter entered!"
}  // namespace

const scpipara kScpiOnOff[] = {{"ON", 1}, {"OFF", 0}, {"1", 1}, {"0", 0}, {"", -1}};

void ScpiAnswer(const char* text) { Scpi.WriteResponseData(text, 0); }

void ScpiAnswerNumber(int v) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", v);
  ScpiAnswer(text);
}

void ScpiAnswerReal(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%-13.6e", v);
  ScpiAnswer(text);
}

long ScpiWhole(double v, long lo, long hi) {
  if (std::isnan(v) || v <= double(lo)) return lo;
  if (v >= double(hi)) return hi;
  return long(v);
}

long ScpiLong(const char* p, bool* ok) {
  char* end = nullptr;
  const double v = p ? std::strtod(p, &end) : 0.0;
  const bool number = p && end != p && !std::isnan(v);
  if (ok) *ok = number;
  return number ? ScpiWhole(std::trunc(v), -kScpiLongLimit, kScpiLongLimit) : 0;
}

bool ScpiNumber(const char* p, long* v) {
  bool ok = false;
  if (ScpiMissing(p)) return false;
  *v = ScpiLong(p, &ok);
  return !ScpiRefuseIf(!ok);
}

int ScpiRefuse() { return ScpiRefuseWith(kMsgBadParameter); }

int ScpiRefuseWith(int n) {
  if (SystemResource.message) SystemResource.message->SetMessage(n);
  return -1;
}

bool ScpiRefuseIf(bool refused) {
  if (refused) ScpiRefuse();
  return refused;
}

void ScpiWarnMissing(const char* p) {
  if (!p) std::printf("Warning : Command parameter missing ... \n");
}

bool ScpiMissing(const char* p) {
  if (p) return false;
  ScpiWarnMissing(p);
  ScpiRefuse();
  return true;
}

int ScpiMatch(const scpipara* words, const char* p) {
  if (!p) return -1;
  const int i = scpi::InstrParaCompare(words, p);
  return i < 0 ? -1 : words[i].value;
}

int ScpiMatchOrRefuse(const scpipara* words, const char* p) {
  const int v = ScpiMatch(words, p);
  return v < 0 ? ScpiRefuse() : v;
}

int ScpiKeyword(const scpipara* words, const char* p) {
  return ScpiMissing(p) ? -1 : ScpiMatchOrRefuse(words, p);
}
