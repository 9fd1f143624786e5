// The board's hot-plug and network state: the USB disk's uevents on a
// netlink socket, the mouse's presence and input device, the Ethernet link
// through the ethtool query, the device list of /proc/net/dev.
#include <fcntl.h>
#include <linux/ethtool.h>
#include <linux/netlink.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/linux/linux_layer.h"
#include "platform/devices/mouse.h"
#include "platform/devices/net.h"
#include "platform/shell.h"
#include "platform/devices/usb.h"

namespace plat {
namespace {
constexpr const char* kUsbDiskMount = "/udisk";
constexpr const char* kMouseBusPath = "/sys/bus/usb/devices/1-1";
constexpr const char* kMouseEventDevice = "/dev/input/event1";
constexpr int kUeventBuffer = 1024;
constexpr const char* kNetworkingRestart = "/etc/init.d/networking restart";
int g_uevents = -1;
}  // namespace

// ---- USB disk ----

bool UsbDiskPresent() {
  std::ifstream mounts("/proc/mounts");
  std::string device, point;
  while (mounts >> device >> point) {
    if (point == kUsbDiskMount) return true;
    mounts.ignore(4096, '\n');
  }
  return false;
}

std::string UsbDiskFileSystem() {
  std::ifstream mounts("/proc/mounts");
  std::string device, point, type;
  while (mounts >> device >> point >> type) {
    if (point == kUsbDiskMount) return type == "msdos" ? "FAT16" : "FAT32";
    mounts.ignore(4096, '\n');
  }
  return "FAT32";
}

int64_t UsbDiskFreeBytes() {
  struct statfs st = {};
  if (!UsbDiskPresent() || ::statfs(kUsbDiskMount, &st) != 0) return -1;
  return int64_t(st.f_bavail) * int64_t(st.f_bsize);
}

bool UsbEventsOpen() {
  g_uevents = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
  if (g_uevents < 0) return false;
  int size = kUeventBuffer;
  ::setsockopt(g_uevents, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
  sockaddr_nl addr = {};
  addr.nl_family = AF_NETLINK;
  addr.nl_pid = uint32_t(::getpid());
  addr.nl_groups = 1;
  if (::bind(g_uevents, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) < 0) {
    ::close(g_uevents);
    g_uevents = -1;
    return false;
  }
  return true;
}

int UsbEventWait(int timeoutMs, char* buf, int max) {
  if (g_uevents < 0) return -1;
  pollfd p{g_uevents, POLLIN, 0};
  const int rc = ::poll(&p, 1, timeoutMs);
  if (rc <= 0) return rc < 0 ? -1 : 0;
  const ssize_t n = ::recv(g_uevents, buf, size_t(max > 0 ? max : 0), MSG_DONTWAIT);
  return n < 0 ? 0 : int(n);
}

// ---- mouse ----

bool MousePresent() { return ::access(kMouseBusPath, F_OK) == 0; }

int MouseOpen() { return OpenDevice(kMouseEventDevice, O_RDWR | O_NONBLOCK); }

int MouseRead(int fd, void* buf, size_t max) {
  if (fd < 0) return -1;
  const ssize_t n = ::read(fd, buf, max);
  if (n < 0) return errno == EAGAIN ? 0 : -1;
  return int(n);
}

void MouseClose(int fd) {
  if (fd >= 0) ::close(fd);
}

// ---- network ----

std::string NetDeviceList() {
  std::ifstream f("/proc/net/dev");
  std::stringstream text;
  text << f.rdbuf();
  return text.str();
}

const char* ServerListenHost() { return "0.0.0.0"; }

int NetLinkState(const std::string& interfaceName) {
  const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) return -1;
  ethtool_value value = {};
  value.cmd = ETHTOOL_GLINK;
  ifreq req = {};
  std::strncpy(req.ifr_name, interfaceName.c_str(), IFNAMSIZ - 1);
  req.ifr_data = reinterpret_cast<char*>(&value);
  const int rc = ::ioctl(s, SIOCETHTOOL, &req);
  ::close(s);
  if (rc < 0) return -1;
  return value.data ? 0 : 1;
}

int NetInterfaceAddress(const std::string& interfaceName, uint32_t* address, uint32_t* mask) {
  const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) return -1;
  ifreq req = {};
  std::strncpy(req.ifr_name, interfaceName.c_str(), IFNAMSIZ - 1);
  int rc = ::ioctl(s, SIOCGIFADDR, &req);
  if (rc == 0 && address) *address = reinterpret_cast<sockaddr_in*>(&req.ifr_addr)->sin_addr.s_addr;
  if (rc == 0) rc = ::ioctl(s, SIOCGIFNETMASK, &req);
  if (rc == 0 && mask) *mask = reinterpret_cast<sockaddr_in*>(&req.ifr_netmask)->sin_addr.s_addr;
  ::close(s);
  return rc == 0 ? 0 : -1;
}

void NetRestart() { ShellSystem(kNetworkingRestart); }

}  // namespace plat
