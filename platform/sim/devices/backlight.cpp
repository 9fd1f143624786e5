#include "platform/devices/backlight.h"

#include <fstream>

#include "platform/root.h"

namespace plat {

bool SetBacklight(int level) {
  std::ofstream f(DevPath("backlight"), std::ios::trunc);
  f << level << "\n";
  return bool(f);
}

int Backlight() {
  std::ifstream f(DevPath("backlight"));
  int level = -1;
  return f >> level ? level : -1;
}

}  // namespace plat
