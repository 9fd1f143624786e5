#include "system/utility/ip_config.h"

#include <cstdio>
#include <cstring>

#include "core/board/eeprom_map.h"
#include "core/board/i2c_storage.h"
#include "platform/devices/net.h"
#include "platform/root.h"
#include "platform/shell.h"
#include "system/utility/task_utility.h"

IpConfig ipConfig;

namespace {
constexpr char kInterfacesFile[] = "/etc/network/interfaces";
constexpr char kRouteFile[] = "/proc/net/route";
constexpr char kMacFile[] = "/sys/class/net/eth0/address";
constexpr char kRestart[] = "/etc/init.d/networking restart";
constexpr int16_t kLastBytePos = 3;
constexpr int kIfaceChars = 20;   // the route line's first field, end mark included
constexpr int kRouteFields = 11;
constexpr int kMacChars = 23;
constexpr int kMacColons = 5;
constexpr uint8_t kFallbackAddress[kIpBytes] = {192, 168, 0, 1};
constexpr uint8_t kFallbackMask[kIpBytes] = {255, 255, 255, 0};
constexpr uint8_t kFullByte = 255;

bool WriteInterfaces(const char* text) {
  FILE* f = std::fopen(plat::MapPath(kInterfacesFile).c_str(), "w");
  if (!f) return false;
  const bool ok = std::fputs(text, f) >= 0;
  return std::fclose(f) == 0 && ok;
}
}  // namespace

int IpConfig::IpConfigInit() {
  config_.addrPos = config_.maskPos = kLastBytePos;
  config_.mode = int32_t(TaskUtility.TaskMenu.GetMenuItem(kUtiIpType));
  if (config_.mode == kIpModeDhcp && ReadIpFromNet() == 0) SaveIpToIIC();
  return 0;
}

int IpConfig::SaveIpToIIC() {
  for (int i = 0; i < kIpBytes; ++i) {
    I2cStorage.I2C_WriteU8(EE_IP_ADDRESS + i, address_.address[i]);
    I2cStorage.I2C_WriteU8(EE_NET_MASK + i, address_.netmask[i]);
  }
  return 0;
}

int IpConfig::ReadIpFormIIC() {
  for (int i = 0; i < kIpBytes; ++i) {
    address_.address[i] = I2cStorage.I2C_ReadU8(EE_IP_ADDRESS + i);
    std::printf("%d-", address_.address[i]);
  }
  for (int i = 0; i < kIpBytes; ++i) {
    address_.netmask[i] = I2cStorage.I2C_ReadU8(EE_NET_MASK + i);
    std::printf("%d-", address_.netmask[i]);
  }
  std::printf("\n");
  static constexpr uint8_t kZero[kIpBytes] = {};
  if (std::memcmp(address_.address, kZero, kIpBytes) == 0) {
    std::memcpy(address_.address, kFallbackAddress, kIpBytes);
    std::memcpy(address_.netmask, kFallbackMask, kIpBytes);
  }
  return 0;
}

int IpConfig::ReadIpFromNet() {
  if (GetNetAddress() < 0) return -1;
  for (int i = 0; i < kIpBytes; ++i) {
    address_.address[i] = uint8_t(netAddress_ >> (8 * i));
    address_.netmask[i] = uint8_t(netMask_ >> (8 * i));
  }
  return 0;
}

int IpConfig::GetNetAddress() {
  char name[kIfaceChars] = {};
  if (GetIfaceName(name, sizeof name) < 0) {
    std::printf("get interface name error!\n");
    return -1;
  }
  uint32_t address = 0, mask = 0;
  if (plat::NetInterfaceAddress(name, &address, &mask) < 0) {
    std::printf("get interface ip address error!\n");
    return -1;
  }
  netAddress_ = address;
  netMask_ = mask;
  return 0;
}

int IpConfig::GetIfaceName(char* name, int size) {
  if (!name || size <= 0) return -1;
  FILE* f = std::fopen(plat::MapPath(kRouteFile).c_str(), "r");
  if (!f) {
    std::printf("fopen error!\n");
    return -1;
  }
  char line[256];
  int rc = -1;
  if (std::fgets(line, sizeof line, f)) {  // the heading
    while (std::fgets(line, sizeof line, f)) {
      char iface[kIfaceChars] = {};
      unsigned long dest, gateway, mask;
      unsigned flags;
      int refcnt, use, metric, mtu, window, irtt;
      if (std::sscanf(line, "%19s%lx%lx%X%d%d%d%lx%d%d%d", iface, &dest, &gateway, &flags, &refcnt, &use, &metric,
                      &mask, &mtu, &window, &irtt) == kRouteFields) {
        std::snprintf(name, size_t(size), "%s", iface);
        rc = 0;
        break;
      }
    }
  }
  std::fclose(f);
  return rc;
}

int IpConfig::ConfIpManual2() {
  uint8_t* m = address_.netmask;
  if (m[0] < kFullByte) m[0] = kFullByte;
  if (m[kIpBytes - 1] != 0) m[kIpBytes - 1] = 0;
  const uint8_t* a = address_.address;
  char text[256];
  std::snprintf(text, sizeof text,
                "auto eth0\nauto lo\niface lo inet loopback\niface eth0 inet static\n"
                "address %d.%d.%d.%d\nnetmask %d.%d.%d.%d\niface eth1 inet dhcp\n",
                a[0], a[1], a[2], a[3], m[0], m[1], m[2], m[3]);
  const bool ok = WriteInterfaces(text);
  plat::ShellSystem(kRestart);
  return ok ? 0 : -1;
}

int IpConfig::ConfIpDhcp2() {
  const bool ok = WriteInterfaces(
      "auto lo\niface lo inet loopback\nauto eth0\niface eth0 inet dhcp\niface eth1 inet dhcp\n");
  plat::ShellSystem(kRestart);
  return ok ? 0 : -1;
}

int IpConfig::GetMac2() {
  FILE* f = std::fopen(plat::MapPath(kMacFile).c_str(), "r");
  char text[kMacChars + 1] = {};
  const size_t n = f ? std::fread(text, 1, kMacChars, f) : 0;
  if (f) std::fclose(f);
  text[n] = '\0';
  int colons = 0;
  for (size_t i = 0; i < n; ++i) colons += text[i] == ':';
  unsigned b[kMacBytes];
  if (colons != kMacColons ||
      std::sscanf(text, "%x:%x:%x:%x:%x:%x", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5]) != kMacBytes) {
    std::printf("GetNetMac2 error!\n");
    return -1;
  }
  for (int i = 0; i < kMacBytes; ++i) {
    if (b[i] > kFullByte) {
      std::printf("GetNetMac2 error!\n");
      return -1;
    }
  }
  for (int i = 0; i < kMacBytes; ++i) address_.mac[i] = uint8_t(b[i]);
  return 0;
}
