#include "platform/net.h"

#include <atomic>
#include <fstream>

#include "platform/root.h"
#include "platform/sim/sim_controls.h"

namespace plat {
namespace {
std::atomic<bool> g_queryFails{false};
}

const char* ServerListenHost() { return "127.0.0.1"; }

std::string NetDeviceList() {
  return "Inter-|   Receive                            |  Transmit\n"
         " face |bytes    packets errs drop fifo frame compressed multicast|bytes\n"
         "    lo:       0       0    0    0    0     0          0         0        0\n"
         "  eth0:       0       0    0    0    0     0          0         0        0\n";
}

int NetLinkState(const std::string& interfaceName) {
  if (g_queryFails || interfaceName.empty()) return -1;
  std::ifstream f(DevPath("eth0_link"));
  int v = 1;
  if (f >> v) return v ? 0 : 1;
  return 0;  // the cable is in by default
}

void SimNetLink(bool up) { std::ofstream(DevPath("eth0_link"), std::ios::trunc) << (up ? 1 : 0) << "\n"; }

void SimNetQueryFails(bool fails) { g_queryFails = fails; }

}  // namespace plat
