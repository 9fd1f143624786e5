#include "platform/devices/power.h"

#include <atomic>
#include <fstream>

#include "platform/root.h"
#include "platform/sim/devices/sim_controls.h"

namespace plat {
namespace {
std::atomic<bool> g_pressed{false};
std::atomic<bool> g_unavailable{false};
}

bool PowerButtonOpen() { return !g_unavailable; }

int PowerButtonLevel() {
  if (g_pressed) return 0;
  std::ifstream f(DevPath("power_button"));
  int v = 1;
  if (f >> v && v == 0) return 0;
  return 1;
}

void SimPowerButton(bool pressed) { g_pressed = pressed; }
void SimPowerButtonUnavailable(bool unavailable) { g_unavailable = unavailable; }

}  // namespace plat
