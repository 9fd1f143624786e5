// The screen composer. Only the part start-up uses is here so far.
#pragma once
#include <cstdint>

// One line of the start-up hardware-check box: its screen row and text.
struct HardwareCheckLine {
  int row;
  const char* text;
};

class qel_draw {
 public:
  int Init() { return 0; }
  void ClearNumKeyboardShowFlag() { numKeyboard_ = false; }
  void ClearSoftKeyboardShowFlag() { softKeyboard_ = false; }
  void SetWaveAreaRefresh() { waveRefresh_ = true; }
  int MainDisplay() { return 0; }
  // Draws the hardware-check box on the current page and shows it.
  void ShowHardwareCheck(const HardwareCheckLine* lines, int n) {
    hardwareCheckLines_ = n;
    (void)lines;
  }
  int HardwareCheckShown() const { return hardwareCheckLines_; }

 private:
  bool numKeyboard_ = false;
  bool softKeyboard_ = false;
  bool waveRefresh_ = false;
  int hardwareCheckLines_ = 0;
};

extern qel_draw QelDraw;
