// What the USBTMC device tells the host about itself: the descriptors, the
// string descriptors with the serial number from "SN.txt", the capabilities.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "remote/usbtmc/usbtmc.h"
#include "remote/usbtmc/usbtmc_internal.h"

namespace {
// The test range of the open vendor id the project uses until the instrument
// has identifiers of its own.
constexpr uint16_t kUsbVendorId = 0x1209, kUsbProductId = 0x0001;
constexpr uint16_t kBcdUsb = 0x0200, kBcdDevice = 0x0100, kBcdUsbTmc = 0x0100, kBcdUsb488 = 0x0100;
constexpr uint8_t kDtDevice = 1, kDtConfig = 2, kDtString = 3, kDtInterface = 4, kDtEndpoint = 5;
constexpr uint16_t kConfigTotal = 32;
constexpr uint8_t kBulk = 2;
constexpr uint16_t kLangEnUs = 0x0409;
constexpr int kMaxStringChars = 126;

constexpr const char* kSerialFile = "SN.txt";
constexpr size_t kSerialFileMax = 300;   // bytes of SN.txt read
constexpr size_t kSerialSize = 30;       // the serial string, terminator included
constexpr int kSerialFallbackDigits = 13;

std::mutex g_serialMu;
char g_serial[kSerialSize] = "SNxxxxxxxx";

const char* const kStrings[] = {nullptr, "KOLVET", "QEL2200KS", nullptr /* serial */, "DEMO", "Source/Sink"};
constexpr int kSerialId = 3;
constexpr int kStringCount = int(sizeof(kStrings) / sizeof(kStrings[0]));

void Put16(std::string& s, uint16_t v) {
  s += char(v & 0xFF);
  s += char(v >> 8);
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, uint16_t(v & 0xFFFF));
  Put16(s, uint16_t(v >> 16));
}

std::string EndpointDescriptor(uint8_t address) {
  std::string d;
  d += char(7);
  d += char(kDtEndpoint);
  d += char(address);
  d += char(kBulk);
  Put16(d, kUsbTmcMaxPacket);
  d += char(0);
  return d;
}

// One configuration set: configuration, interface, bulk-IN and bulk-OUT endpoints.
std::string build_config() {
  std::string d;
  d += char(9);
  d += char(kDtConfig);
  Put16(d, kConfigTotal);
  d += char(1);     // bNumInterfaces
  d += char(1);     // bConfigurationValue
  d += char(4);     // iConfiguration
  d += char(0x80);  // bus-powered
  d += char(1);     // 2 mA
  d += char(9);
  d += char(kDtInterface);
  d += char(0);     // bInterfaceNumber
  d += char(0);     // bAlternateSetting
  d += char(2);     // bNumEndpoints
  d += char(0xFE);  // application-specific
  d += char(3);     // USBTMC
  d += char(1);     // USB488
  d += char(5);     // iInterface
  d += EndpointDescriptor(kUsbTmcEpInAddress);
  d += EndpointDescriptor(kUsbTmcEpOutAddress);
  return d;
}

std::string DeviceDescriptor() {
  std::string d;
  d += char(18);
  d += char(kDtDevice);
  Put16(d, kBcdUsb);
  d += char(0);  // class, subclass, protocol: per interface
  d += char(0);
  d += char(0);
  d += char(0);  // bMaxPacketSize0, filled in by the controller driver
  Put16(d, kUsbVendorId);
  Put16(d, kUsbProductId);
  Put16(d, kBcdDevice);
  d += char(1);  // iManufacturer
  d += char(2);  // iProduct
  d += char(3);  // iSerialNumber
  d += char(1);  // bNumConfigurations
  return d;
}

void SetSerial(const char* text, size_t len) {
  std::lock_guard<std::mutex> lock(g_serialMu);
  if (len > kSerialSize - 1) len = kSerialSize - 1;
  std::memset(g_serial, 0, sizeof(g_serial));
  std::memcpy(g_serial, text, len);
}

void SerialFailed() {
  char zeros[kSerialFallbackDigits];
  std::memset(zeros, '0', sizeof(zeros));
  SetSerial(zeros, sizeof(zeros));
}

// Decodes one UTF-8 character of one to three bytes at `s`; its code point,
// or -1. `*used` is the bytes it took.
int DecodeUtf8(const unsigned char* s, int* used) {
  const unsigned c = s[0];
  if (c < 0x80) {
    *used = 1;
    return int(c);
  }
  int n = 0;
  unsigned cp = 0;
  if ((c & 0xE0) == 0xC0) {
    n = 2;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    n = 3;
    cp = c & 0x0F;
  } else {
    return -1;
  }
  for (int i = 1; i < n; ++i) {
    if ((s[i] & 0xC0) != 0x80) return -1;
    cp = cp << 6 | (s[i] & 0x3F);
  }
  if (cp >= 0xD800 && cp <= 0xDFFF) return -1;
  *used = n;
  return int(cp);
}
}  // namespace

std::string UsbTmcDescriptorBlock() {
  std::string block;
  Put32(block, 0);
  block += build_config();  // full speed
  block += build_config();  // high speed
  block += DeviceDescriptor();
  return block;
}

std::string UsbTmcEndpointBlock(uint8_t address) {
  std::string block;
  Put32(block, 1);
  block += EndpointDescriptor(address);  // full speed
  block += EndpointDescriptor(address);  // high speed
  return block;
}

std::string UsbTmcCapabilities() {
  std::string c;
  c += char(kUsbTmcStatusSuccess);
  c += char(0);
  Put16(c, kBcdUsbTmc);
  c += char(0x00);  // interface capabilities: no indicator pulse, not talk- or listen-only
  c += char(0x01);  // device capabilities: TermChar
  c.append(6, '\0');
  Put16(c, kBcdUsb488);
  c += char(0x07);  // USB488 interface: 488.2, REN_CONTROL / GO_TO_LOCAL / LOCAL_LOCKOUT, TRIGGER
  c += char(0x0F);  // USB488 device: SCPI, SR1, RL1, DT1
  c.append(8, '\0');
  return c;
}

int UsbTmcStringDescriptor(int id, uint8_t* out) {
  if (id == 0) {
    out[0] = 4;
    out[1] = kDtString;
    out[2] = kLangEnUs & 0xFF;
    out[3] = kLangEnUs >> 8;
    return 4;
  }
  if (id < 0 || id >= kStringCount) return -22;
  std::string text;
  if (id == kSerialId) {
    text = UsbTmcSerialNumber();
  } else if (kStrings[id]) {
    text = kStrings[id];
  } else {
    return -22;
  }
  const auto* s = reinterpret_cast<const unsigned char*>(text.c_str());
  int chars = 0;
  while (*s && chars < kMaxStringChars) {
    int used = 0;
    const int cp = DecodeUtf8(s, &used);
    if (cp < 0) return -22;
    out[2 + 2 * chars] = uint8_t(cp & 0xFF);
    out[3 + 2 * chars] = uint8_t(cp >> 8);
    ++chars;
    s += used;
  }
  out[0] = uint8_t(2 + 2 * chars);
  out[1] = kDtString;
  return out[0];
}

std::string UsbTmcSerialNumber() {
  std::lock_guard<std::mutex> lock(g_serialMu);
  return g_serial;
}

void GetSerialNumber() {
  struct stat st{};
  if (::stat(kSerialFile, &st) != 0) {
    std::printf("Open %s failed!\n", kSerialFile);
    SerialFailed();
    return;
  }
  std::printf("%s size %d \n", kSerialFile, int(st.st_size));
  FILE* f = std::fopen(kSerialFile, "rb");
  if (!f) {
    std::printf("Open %s file failed!\n", kSerialFile);
    SerialFailed();
    return;
  }
  char buf[kSerialFileMax + 1] = {};
  const size_t want = size_t(st.st_size) < kSerialFileMax ? size_t(st.st_size) : kSerialFileMax;
  const size_t got = std::fread(buf, 1, want, f);
  std::fclose(f);
  if (got < want) {
    std::printf("Read %s filesize Error!\n", kSerialFile);
    SerialFailed();
    return;
  }
  const char* line = std::strstr(buf, "[SERIAL]");
  if (!line) {
    std::printf("%s file is Error!   %s \n", kSerialFile, buf);
    SerialFailed();
    return;
  }
  const char* end = std::strchr(line, '\n');
  if (!end) {
    std::printf("i = %d\n", int(got));
    std::printf("%s Error!\n", kSerialFile);
    SerialFailed();
    return;
  }
  // The serial is what follows the last blank of the line ("[SERIAL] AB12345").
  const char* start = line + std::strlen("[SERIAL]");
  for (const char* p = line; p < end; ++p)
    if (*p == ' ') start = p + 1;
  const char* stop = end;
  if (stop > start && stop[-1] == '\r') --stop;
  SetSerial(start, size_t(stop - start));
}
