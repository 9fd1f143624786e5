#include "loader/bitstrap.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "platform/clock.h"
#include "platform/devices/gpio.h"

namespace bitstrap {
namespace {

constexpr uint32_t GPIO5_BASEADDR = 0x020AC000u;
constexpr size_t GPIO_LENGTH = 0xFF;
constexpr uint32_t GPIO5_DR = 0x0;
constexpr uint32_t GPIO5_GDIR = 0x4;
constexpr uint32_t GPIO5_PSR = 0x8;

// Pins of GPIO bank 5.
constexpr uint32_t PIN_INIT_B = 1u << 0;
constexpr uint32_t PIN_DONE = 1u << 1;
constexpr uint32_t PIN_CCLK = 1u << 2;
constexpr uint32_t PIN_PROG_B = 1u << 3;
constexpr uint32_t PIN_DIN = 1u << 4;

constexpr size_t FPGA_BIT_SIZE = 3 * 1024 * 1024;
constexpr int64_t kProgPhaseUs = 100000;
constexpr int64_t kDoneWaitUs = 100;

void SetBits(plat::GpioBlock* gpio, uint32_t bits) {
  plat::GpioWrite(gpio, GPIO5_DR, plat::GpioRead(gpio, GPIO5_DR) | bits);
}

void ClearBits(plat::GpioBlock* gpio, uint32_t bits) {
  plat::GpioWrite(gpio, GPIO5_DR, plat::GpioRead(gpio, GPIO5_DR) & ~bits);
}

// Reads the whole bitstream into `buf`; returns its size or -1 (message printed).
long ReadBitstream(const char* path, uint8_t* buf) {
  struct stat st;
  if (stat(path, &st) != 0) {
    std::printf("Open %s failed!\n", path);
    return -1;
  }
  std::printf("%s size %d \n", path, int(st.st_size > 0x7FFFFFFF ? 0x7FFFFFFF : st.st_size));
  if (!S_ISREG(st.st_mode) || st.st_size > off_t(FPGA_BIT_SIZE)) {
    // Never read past the buffer: a file that does not fit is refused whole.
    std::printf("%s is larger than %d bytes!\n", path, int(FPGA_BIT_SIZE));
    return -1;
  }
  int fd = open(path, O_RDONLY);
  if (fd < 0) {
    std::printf("Open /%s failed!\n", path);
    return -1;
  }
  size_t size = size_t(st.st_size);
  ssize_t got = read(fd, buf, size);
  if (got < 0 || size_t(got) != size) {
    std::printf("read %s failed\n", path);
    close(fd);
    return -1;
  }
  std::printf("read %s Success!\n", path);
  close(fd);
  return long(size);
}

// Shifts every byte out most significant bit first, DIN stable before each
// rising CCLK edge; each step is its own read-modify-write of DR.
void ClockOut(plat::GpioBlock* gpio, const uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    for (int bit = 7; bit >= 0; --bit) {
      ClearBits(gpio, PIN_CCLK);
      if ((data[i] >> bit) & 1)
        SetBits(gpio, PIN_DIN);
      else
        ClearBits(gpio, PIN_DIN);
      SetBits(gpio, PIN_CCLK);
    }
  }
}

}  // namespace

int ConfigureFpga(const char* path) {
  std::printf("FPGA Config plase waiting...!\n");
  int mem = plat::MemOpen();
  if (mem < 0) {
    std::printf("Can't Open /dev/mem !\n");
    return -1;
  }
  std::printf("Open /dev/mem OK!\n");

  plat::GpioBlock* gpio = plat::GpioMap(mem, GPIO5_BASEADDR, GPIO_LENGTH);
  if (!gpio) {
    std::printf("map GPIO_BASEADDR failed!\n");
    plat::MemClose(mem);
    return -1;
  }
  std::printf("map GPIO_BASEADDR OK\n");

  // CCLK, PROG_B and DIN outputs; INIT_B and DONE inputs; other pins untouched.
  uint32_t gdir = plat::GpioRead(gpio, GPIO5_GDIR);
  gdir &= ~(PIN_INIT_B | PIN_DONE | PIN_CCLK | PIN_PROG_B | PIN_DIN);
  gdir |= PIN_CCLK | PIN_PROG_B | PIN_DIN;
  plat::GpioWrite(gpio, GPIO5_GDIR, gdir);

  uint8_t* buf = static_cast<uint8_t*>(std::malloc(FPGA_BIT_SIZE));
  long size = -1;
  if (!buf)
    std::printf("FPGA CONFIG malloc memory Fail!\n");
  else
    size = ReadBitstream(path, buf);
  if (size < 0) {
    std::free(buf);
    plat::GpioUnmap(gpio);
    plat::MemClose(mem);
    return -1;
  }

  std::printf("FPGA Configuring.......\n");
  ClearBits(gpio, PIN_PROG_B);
  plat::SleepUs(kProgPhaseUs);
  SetBits(gpio, PIN_PROG_B);
  plat::SleepUs(kProgPhaseUs);

  ClockOut(gpio, buf, size_t(size));
  plat::SleepUs(kDoneWaitUs);

  if (plat::GpioRead(gpio, GPIO5_PSR) & PIN_DONE)
    std::printf("FPGA Config Success!\n");
  else
    std::printf("FPGA Config Error!\n");

  std::free(buf);
  plat::GpioUnmap(gpio);
  plat::MemClose(mem);
  return 0;
}

}  // namespace bitstrap
