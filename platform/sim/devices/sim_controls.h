// The simulated board's controls, for the test bench and the simulator's
// own files: what a test does to the devices behind the board-neutral
// interfaces of platform/ (keys pressed, cables plugged, faults injected).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace plat {

// EEPROM bus.
void SimI2cOpenFails(bool fails);      // the bus cannot be opened
void SimI2cTransfersFail(bool fails);  // every transfer fails
int SimI2cTransferCount();             // transfers answered so far
std::vector<uint8_t> SimEepromImage(); // the 512 device bytes (0x50 then 0x51)
void SimEepromSetImage(const std::vector<uint8_t>& image);

// Ethernet link: cable plugged in or not ("<root>/dev/eth0_link": "1" or "0"),
// and a failing query.
void SimNetLink(bool up);
void SimNetQueryFails(bool fails);

// Front panel: bytes as the front panel sends them.
void SimPanelSend(const uint8_t* bytes, int n);
inline void SimPanelKey(uint8_t code) { SimPanelSend(&code, 1); }

// Power button: press the button (also "<root>/dev/power_button" holding "0").
void SimPowerButton(bool pressed);
void SimPowerButtonUnavailable(bool unavailable);

// Temperature sensor.
void SimTemperatureSet(double celsius);          // rounded to 1/16 degree
void SimTemperatureSetRaw(int16_t raw);
void SimTemperatureOpenFails(bool fails);        // the device cannot be opened
void SimTemperatureReadFails(bool fails);        // reads answer nothing
void SimTemperatureShortRead(bool shortRead);    // reads give one byte only

// Stored files (setups, waveforms): the bytes the disks still take before a
// write fails as on a full disk (-1, the start: no limit).
void SimDiskRoom(long bytes);

// USB disk: plug or unplug the disk (creates or removes "<root>/udisk").
void SimUsbPlug(bool present, const std::string& fileSystem = "FAT32");
// Free space the disk reports ("<root>/dev/udisk_free"); negative: the host's.
// Writes to the disk take their bytes from it; the write that crosses it
// fails with ENOSPC.
void SimUsbSetFree(int64_t bytes);

}  // namespace plat
