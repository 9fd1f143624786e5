// The USBTMC device's own records, against the layouts the USB 2.0, USBTMC
// and USB488 documents and the gadget file system publish: the descriptor
// and endpoint blocks, the string descriptors, the serial number from SN.txt.
// The bulk and control traffic is tested end to end by py/test_usbtmc.py.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "remote/usbtmc/usbtmc.h"
#include "tests/bench/bench.h"

namespace {
std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<uint8_t> StringDescriptor(int id) {
  uint8_t out[256] = {};
  const int n = UsbTmcStringDescriptor(id, out);
  return n < 0 ? std::vector<uint8_t>() : std::vector<uint8_t>(out, out + n);
}

// UTF-16LE string descriptor of ASCII text.
std::vector<uint8_t> Utf16Descriptor(const std::string& text) {
  std::vector<uint8_t> d = {uint8_t(2 + 2 * text.size()), 3};
  for (char c : text) {
    d.push_back(uint8_t(c));
    d.push_back(0);
  }
  return d;
}

const std::vector<uint8_t> kConfigSet = {
    9, 2, 32, 0, 1, 1, 4, 0x80, 1,     // configuration 1, iConfiguration 4, bus-powered, 2 mA
    9, 4, 0, 0, 2, 0xFE, 3, 1, 5,      // interface 0: application class, USBTMC, USB488
    7, 5, 0x81, 2, 0x00, 0x02, 0,      // bulk-IN 1, 512 bytes
    7, 5, 0x03, 2, 0x00, 0x02, 0};     // bulk-OUT 3, 512 bytes
}  // namespace

TEST(UsbTmc, DescriptorBlockIsTagFullSpeedHighSpeedDevice) {
  const std::vector<uint8_t> block = Bytes(UsbTmcDescriptorBlock());
  ASSERT_EQ(86u, block.size());
  std::vector<uint8_t> want = {0, 0, 0, 0};
  want.insert(want.end(), kConfigSet.begin(), kConfigSet.end());
  want.insert(want.end(), kConfigSet.begin(), kConfigSet.end());
  const std::vector<uint8_t> device = {18, 1, 0x00, 0x02, 0, 0, 0, 0, 0x09, 0x12, 0x01, 0x00, 0x00, 0x01, 1, 2, 3, 1};
  want.insert(want.end(), device.begin(), device.end());
  EXPECT_EQ(want, block);
}

TEST(UsbTmc, EndpointBlockIsTagAndBothSpeeds) {
  const std::vector<uint8_t> want = {1, 0, 0, 0, 7, 5, 0x81, 2, 0x00, 0x02, 0, 7, 5, 0x81, 2, 0x00, 0x02, 0};
  EXPECT_EQ(want, Bytes(UsbTmcEndpointBlock(0x81)));
  EXPECT_EQ(18u, UsbTmcEndpointBlock(0x03).size());
}

TEST(UsbTmc, CapabilitiesAsPublished) {
  const std::vector<uint8_t> want = {1, 0, 0x00, 0x01, 0x00, 0x01, 0, 0, 0, 0, 0, 0,
                                     0x00, 0x01, 0x07, 0x0F, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(want, Bytes(UsbTmcCapabilities()));
}

TEST(UsbTmc, StringDescriptors) {
  Bench bench;
  EXPECT_EQ((std::vector<uint8_t>{4, 3, 0x09, 0x04}), StringDescriptor(0));
  EXPECT_EQ(Utf16Descriptor("KOLVET"), StringDescriptor(1));
  EXPECT_EQ(Utf16Descriptor("QEL2200KS"), StringDescriptor(2));
  EXPECT_EQ(Utf16Descriptor("DEMO"), StringDescriptor(4));
  EXPECT_EQ(Utf16Descriptor("Source/Sink"), StringDescriptor(5));
  uint8_t out[256];
  EXPECT_EQ(-22, UsbTmcStringDescriptor(6, out));
  EXPECT_EQ(-22, UsbTmcStringDescriptor(-1, out));
}

TEST(UsbTmc, SerialNumberFromSnFile) {
  Bench bench;
  WriteRootFile("SN.txt", "[MODEL] QEL2200KS\n[SERIAL] AB12345\n");
  GetSerialNumber();
  EXPECT_EQ("AB12345", UsbTmcSerialNumber());
  EXPECT_EQ(Utf16Descriptor("AB12345"), StringDescriptor(3));
  WriteRootFile("SN.txt", "[SERIAL] X Y\r\n");  // the text after the last blank, without the CR
  GetSerialNumber();
  EXPECT_EQ("Y", UsbTmcSerialNumber());
}

TEST(UsbTmc, SerialNumberFailuresGiveZeros) {
  Bench bench;
  RemoveRootFile("SN.txt");  // the board's own
  GetSerialNumber();  // no SN.txt
  EXPECT_EQ("0000000000000", UsbTmcSerialNumber());
  WriteRootFile("SN.txt", "[MODEL] QEL2200KS\n");
  GetSerialNumber();
  EXPECT_EQ("0000000000000", UsbTmcSerialNumber());
  WriteRootFile("SN.txt", "[SERIAL] AB12345");  // no line end
  GetSerialNumber();
  EXPECT_EQ("0000000000000", UsbTmcSerialNumber());
}

TEST(UsbTmc, SerialNumberAndFileAreBounded) {
  Bench bench;
  WriteRootFile("SN.txt", "[SERIAL] " + std::string(100, 'S') + "\n");
  GetSerialNumber();
  EXPECT_EQ(std::string(29, 'S'), UsbTmcSerialNumber());
  // Only the first 300 bytes are read: a line that ends later is not found.
  WriteRootFile("SN.txt", std::string(295, '#') + "\n[SERIAL] LATE\n");
  GetSerialNumber();
  EXPECT_EQ("0000000000000", UsbTmcSerialNumber());
}

TEST(UsbTmc, SerialTextThatIsNotUtf8IsRefused) {
  Bench bench;
  WriteRootFile("SN.txt", "[SERIAL] \xC3\xA9t\xE2\x82\xAC\n");  // two- and three-byte characters
  GetSerialNumber();
  EXPECT_EQ((std::vector<uint8_t>{8, 3, 0xE9, 0x00, 't', 0x00, 0xAC, 0x20}), StringDescriptor(3));
  for (const char* bad : {"[SERIAL] \xED\xA0\x80\n",    // a surrogate code point
                          "[SERIAL] \xC3\x28\n",        // a continuation byte that is not one
                          "[SERIAL] \xF0\x9F\x98\x80\n"}) {  // four bytes
    WriteRootFile("SN.txt", bad);
    GetSerialNumber();
    uint8_t out[256];
    EXPECT_EQ(-22, UsbTmcStringDescriptor(3, out)) << bad;
  }
}
