// The Ethernet interface: the device list (in place of /proc/net/dev) and the
// link state (in place of the ethtool query).
#pragma once
#include <cstdint>
#include <string>

namespace plat {

std::string NetDeviceList();            // text laid out like /proc/net/dev
// The address the instrument's servers listen on by default: every
// interface on the board, loopback on the PC.
const char* ServerListenHost();

// 0 link up, 1 link down, -1 the query failed.
int NetLinkState(const std::string& interfaceName);

// The address and net mask of a running interface (in place of the
// SIOCGIFADDR and SIOCGIFNETMASK queries), first dotted byte in the lowest
// byte as in `s_addr`. 0, or -1 when the interface has no address.
int NetInterfaceAddress(const std::string& interfaceName, uint32_t* address, uint32_t* mask);

// What "/etc/init.d/networking restart" does: the interfaces take the
// configuration file's settings (on the simulated board eth0 takes the
// static address, or a lease from the simulated DHCP server).
void NetRestart();

}  // namespace plat
