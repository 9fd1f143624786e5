// The network address settings: the LAN address and net mask kept in the
// EEPROM, read from the running interface and applied as a static or DHCP
// configuration by rewriting "/etc/network/interfaces" and restarting the
// networking, all through the instrument root and the board's shell seam.
#pragma once
#include <cstdint>

// The address editor's state.
struct IpConfigData {
  int32_t mode;  // the IP Type item: 1 DHCP, otherwise static
  int16_t addrPos;  // edited byte of the address
  int16_t maskPos;  // edited byte of the mask
};
static_assert(sizeof(IpConfigData) == 8, "editor state");

constexpr int kIpBytes = 4;
constexpr int kMacBytes = 6;

// Bytes in dotted order (first byte first).
struct IpAddress {
  uint8_t address[kIpBytes];
  uint8_t netmask[kIpBytes];
  uint8_t gateway[kIpBytes];
  uint8_t mac[kMacBytes];
};
static_assert(sizeof(IpAddress) == 18, "address record");

constexpr int32_t kIpModeDhcp = 1;

class IpConfig {
 public:
  int IpConfigInit();
  int SaveIpToIIC();
  int ReadIpFormIIC();
  int ReadIpFromNet();
  int GetNetAddress();
  static int GetIfaceName(char* name, int size);
  int ConfIpManual2();
  int ConfIpDhcp2();
  int GetMac2();

  void GetIpConfigData(IpConfigData* out) const { *out = config_; }
  void SetIpConfigData(const IpConfigData* in) { config_ = *in; }
  void GetIpAddress(IpAddress* out) const { *out = address_; }
  void SetIpAddress(const IpAddress* in) { address_ = *in; }

 private:
  IpConfigData config_{};
  IpAddress address_{};
  uint32_t netAddress_ = 0;  // as read from the interface, first byte lowest
  uint32_t netMask_ = 0;
};

extern IpConfig ipConfig;
