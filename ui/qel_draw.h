// The screen composer. Only the part start-up uses is here so far.
#pragma once
#include <cstdint>

class qel_draw {
 public:
  int Init() { return 0; }
  void ClearNumKeyboardShowFlag() { numKeyboard_ = false; }
  void ClearSoftKeyboardShowFlag() { softKeyboard_ = false; }
  void SetWaveAreaRefresh() { waveRefresh_ = true; }
  int MainDisplay() { return 0; }

 private:
  bool numKeyboard_ = false;
  bool softKeyboard_ = false;
  bool waveRefresh_ = false;
};

extern qel_draw QelDraw;
