#include "platform/devices/net.h"

#include <atomic>
#include <arpa/inet.h>

#include <fstream>
#include <sstream>

#include "platform/root.h"
#include "platform/sim/devices/sim_controls.h"

namespace plat {
namespace {
std::atomic<bool> g_queryFails{false};
constexpr char kInterfaces[] = "/etc/network/interfaces";
constexpr char kEth0State[] = "eth0_inet";      // "<address> <mask>" eth0 runs with
constexpr char kLeaseAddress[] = "192.168.1.100";  // what the simulated DHCP server hands out
constexpr char kLeaseMask[] = "255.255.255.0";

// eth0's address and mask as the configuration file sets them.
bool ConfiguredEth0(std::string* address, std::string* mask) {
  std::ifstream f(MapPath(kInterfaces));
  std::string line;
  bool eth0 = false, dhcp = false;
  while (std::getline(f, line)) {
    std::istringstream words(line);
    std::string key, a, b, c;
    words >> key >> a >> b >> c;
    if (key == "iface") {
      eth0 = a == "eth0";
      if (eth0) dhcp = c == "dhcp";
    } else if (eth0 && key == "address") {
      *address = a;
    } else if (eth0 && key == "netmask") {
      *mask = a;
    }
  }
  if (dhcp) {
    *address = kLeaseAddress;
    *mask = kLeaseMask;
  }
  return !address->empty() && !mask->empty();
}

bool Dotted(const std::string& text, uint32_t* out) {
  in_addr a{};
  if (inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
  *out = a.s_addr;
  return true;
}
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

int NetInterfaceAddress(const std::string& interfaceName, uint32_t* address, uint32_t* mask) {
  if (g_queryFails || interfaceName != "eth0" || !address || !mask) return -1;
  std::string a, m;
  std::ifstream state(DevPath(kEth0State));
  if (!(state >> a >> m) && !ConfiguredEth0(&a, &m)) return -1;
  return Dotted(a, address) && Dotted(m, mask) ? 0 : -1;
}

void NetRestart() {
  std::string a, m;
  if (ConfiguredEth0(&a, &m)) std::ofstream(DevPath(kEth0State), std::ios::trunc) << a << " " << m << "\n";
}

void SimNetLink(bool up) { std::ofstream(DevPath("eth0_link"), std::ios::trunc) << (up ? 1 : 0) << "\n"; }

void SimNetQueryFails(bool fails) { g_queryFails = fails; }

}  // namespace plat
