// EEPROM addresses of the menu items the tests read and write, as the
// instrument's EEPROM layout gives them. Written out here rather than taken
// from the firmware's map, so a test stays a check of the map; single-byte
// items unless the comment says otherwise (multi-byte values big-endian).
#pragma once

namespace ee {
// CH1 and CH2 menus.
constexpr int kCh1Coupling = 95, kCh1BwLimit = 96, kCh1VoltsDiv = 97, kCh1Probe = 98, kCh1Invert = 99;
constexpr int kCh1Unit = 101, kCh1Custom = 102;  // custom: a 32-bit float
constexpr int kCh2Coupling = 106, kCh2BwLimit = 107, kCh2VoltsDiv = 108, kCh2Probe = 109,
              kCh2Invert = 110;
constexpr int kCh2Unit = 112, kCh2Custom = 113;
constexpr int kCh1ProbeType = 215, kCh2ProbeType = 216;
constexpr int kCh1ProbeTypeA = 217, kCh1ProbeA = 218, kCh1UnitA = 219;
constexpr int kCh2ProbeTypeA = 220, kCh2ProbeA = 221, kCh2UnitA = 222;
constexpr int kCh1LabelOn = 223, kCh1LabelLib = 224, kCh2LabelOn = 233, kCh2LabelLib = 234;
// Acquire menu.
constexpr int kAcqMode = 117, kAcqMemDepth = 118, kAcqAverage = 119;  // average: the selection
// Display menu.
constexpr int kDispType = 120, kDispGraticule = 121, kDispGridBright = 123, kDispWaveBright = 124;
constexpr int kDispPersist = 125, kDispColor = 126, kDispColorInvert = 127, kDispMenuTime = 160;
constexpr int kDispBackLight = 164, kDispTransparent = 212;
// Horizontal menu.
constexpr int kHoriFormat = 122, kHoriType = 200, kHoriHoldOff = 196;  // hold-off: 32 bits
constexpr int kHoriStartTest = 40, kHoriFactoryMode = 20;
// Vertical positions and trigger level codes, 16 bits each: the first and
// second level of each channel, screen codes counted from the centre with a
// DC-referenced trigger coupling and from the channel's zero with AC or LF
// reject; the coupling is the trigger menu's item.
constexpr int kCh1Position = 66, kCh2Position = 68;
constexpr int kCh1FirstLevel = 74, kCh2FirstLevel = 76, kCh1SecondLevel = 82, kCh2SecondLevel = 84;
constexpr int kTrigCoupling = 148;
// Measure menu.
constexpr int kMeaMasterSrc = 128, kMeaSlaveSrc = 132, kMeaIndicatorSel = 133;
}  // namespace ee
