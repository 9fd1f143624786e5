#include "remote/scpi_kit.h"

#include <cstdio>

#include "core/rs232.h"
#include "remote/scpi.h"

const scpipara kScpiOnOff[] = {{"ON", 1}, {"OFF", 0}, {"1", 1}, {"0", 0}, {"", -1}};

void ScpiAnswer(const char* text) { Scpi.WriteResponseData(text, 0); }

void ScpiAnswerNumber(int v) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", v);
  ScpiAnswer(text);
}

bool ScpiMissing(const char* p) {
  if (p) return false;
  std::printf("Warning : Command parameter missing ... \n");
  return true;
}

int ScpiMatch(const scpipara* words, const char* p) {
  if (!p) return -1;
  const int i = scpi::InstrParaCompare(words, p);
  return i < 0 ? -1 : words[i].value;
}

void ScpiKeyPress(const char* name, uint16_t code, int16_t step) {
  std::printf("Scpi_Key_%s ...\n", name);
  KeyBoard.AppendScpiKey(code, step);
}

void ScpiKeyLock(uint16_t panelKey, const char* p) {
  if (ScpiMissing(p)) return;
  const int v = ScpiMatch(kScpiOnOff, p);
  if (v >= 0) KeyBoard.SetKeyValueLock(panelKey, v);
}

void ScpiKeyLockAsk(uint16_t panelKey) { ScpiAnswer(KeyBoard.KeyValueIsLock(panelKey) == 1 ? "1" : "0"); }
