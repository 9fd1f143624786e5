// The board's device files, named in one place. The instrument passes these
// names to the platform layer's open calls; on the simulated board they only
// name the simulated device.
#pragma once

namespace plat {

constexpr const char* kFpgaLocalBusDevice = "/dev/localbus16";  // sample memory, SIGIO
constexpr const char* kFpgaSpiDevice = "/dev/spidev3.0";        // control words, registers
constexpr const char* kEepromBusDevice = "/dev/i2c-1";          // EEPROM at 0x50, 0x51
constexpr const char* kPanelUartDevice = "/dev/ttymxc3";        // front-panel keys
constexpr const char* kTemperatureDevice = "/dev/ds18b20";      // board temperature

}  // namespace plat

namespace plat {

// The USB device port (gadgetfs): the mount point, the controller's control
// file and the two bulk endpoints' files.
constexpr const char* kGadgetMountPoint = "/dev/gadget";
constexpr const char* kGadgetController = "/dev/gadget/2184200.usb";
constexpr const char* kGadgetEpIn = "/dev/gadget/ep1in";
constexpr const char* kGadgetEpOut = "/dev/gadget/ep3out";

}  // namespace plat
