// The Ethernet interface: the device list (in place of /proc/net/dev) and the
// link state (in place of the ethtool query).
#pragma once
#include <string>

namespace plat {

std::string NetDeviceList();            // text laid out like /proc/net/dev
// The address the instrument's servers listen on by default: every
// interface on the board, loopback on the PC.
const char* ServerListenHost();

// 0 link up, 1 link down, -1 the query failed.
int NetLinkState(const std::string& interfaceName);

}  // namespace plat
