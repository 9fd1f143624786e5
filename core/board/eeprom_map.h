// The EEPROM map of the persistent settings: the fixed words of the core and
// the hardware models, and the addresses of the menu items that are written
// the moment they change. Two items at one address are linked copies of one
// setting. Every address in use lies below 244.
#pragma once
#include <cstdint>

// Value types of the EEPROM words (also the types of a batch-write item).
enum EeWidth : int16_t { kEeU8 = 0, kEeU16 = 1, kEeU32 = 2, kEeF32 = 3, kEeEnd = 255 };

// The bus: two 256-byte devices. Addresses 0..255 are device 0x50; addresses
// 256..510 are bytes 1..255 of device 0x51 (its byte 0 is never used).
constexpr uint8_t kEepromFirstDevice = 0x50;
constexpr int kEepromDeviceBytes = 256;
constexpr int kEepromLastAddress = 2 * kEepromDeviceBytes - 2;  // 510

constexpr uint8_t kEepromFormatMark = 0x5A;

// Fixed words (width in the comment).
enum : uint16_t {
  EE_FORMAT_MARK = 0,       // u8: 0x5A on a formatted EEPROM
  EE_LANGUAGE = 1,          // u8: language index (Utility item "Language")
  EE_ACQ_AVERAGE_FAST = 4,  // u8: Acquire items "Average" and "FastAcq"
  EE_ADC_PHASE1 = 6,        // u8: ADC phase codes
  EE_ADC_PHASE2 = 7,        // u8
  EE_ADC_PHASE_STATE = 8,   // u8: 4 after the ADC phase adjustment
  EE_ADC_TEST_A = 12,       // u8: factory ADC test words
  EE_ADC_TEST_B = 13,       // u32
  EE_ADC_TEST_C = 17,       // u8
  EE_SELFCAL_STATE = 18,    // u8: 104 = self-calibration done
  EE_SELFCAL_STATE2 = 19,   // u8
  EE_FACTORY_MODE = 20,     // u8: Horizontal item "FactoryMode"
  EE_START_LOG = 39,        // u8: start-log request, cleared after the log line
  EE_START_TEST = 40,       // u8: Horizontal item "StartTest"
  EE_TIMEBASE = 42,         // u8 x 4: time base index of blocks 0..3 (42..45)
  EE_PRETRIG_DEPTH = 46,    // u32 x 4: pre-trigger depth of blocks 0..3 (46, 50, 54, 58)
  EE_VDIV = 62,             // u8 x 4: V/div index of sources 0..3 (62..65)
  EE_VOFFSET = 66,          // u16 x 4: vertical positions (66 CH1, 68 CH2, 70, 72)
  EE_TRIG_LEVEL = 74,       // u16 x 8: trigger level codes (74..89)
  EE_TASK_ID = 90,          // u16: the module current at power-off
  EE_TASK_PAGE = 92,        // u8: its menu page
  EE_SOURCE_ON = 93,        // u8: source-on bits
  EE_ACTIVE_CH = 94,        // u8: active channel
  EE_ACQ_AVERAGE = 119,     // u8: acquisition average
  EE_MEASURE_SLOT = 137,    // u16 x 5: user measurement slots (137..145), 0xFFFF empty
  EE_TRIG_DEFAULT = 152,    // u32: written 2 by the trigger defaults
  EE_IP_ADDRESS = 166,      // u8 x 4
  EE_NET_MASK = 170,        // u8 x 4
  EE_RESET_ALL = 213,       // u8: 1 resets every module at the next start
  EE_CH1_LABEL = 225,       // char[8]
  EE_CH2_LABEL = 235,       // char[8]
};

constexpr int kEeTimeBaseStride = 1;
constexpr int kEePreTrigStride = 4;
constexpr int kEeVdivStride = 1;
constexpr int kEeOffsetStride = 2;
constexpr int kEeMeasureSlots = 5;
constexpr int kEeLabelBytes = 8;
// Restoring defaults clears this range before the modules write their lists.
constexpr int kEeDefaultsFirst = 42;
constexpr int kEeDefaultsLast = 243;

// Task ids of the modules whose items are stored.
enum EeTask : int16_t {
  kEeCh1 = 6,
  kEeCh2 = 7,
  kEeTrigger = 10,
  kEeAcquire = 11,
  kEeDisplay = 12,
  kEeHorizontal = 13,
  kEeMath = 14,
  kEeMeasure = 15,
  kEeCursor = 16,
  kEeStorage = 17,
  kEeUtility = 18,
};

struct EepromItem {
  int16_t address;
  EeTask task;
  int16_t item;
  EeWidth width;
  const char* name;
};

// Menu items with an EEPROM address.
constexpr EepromItem kEepromItems[] = {
    {1, kEeUtility, 2, kEeU8, "Language"},
    {4, kEeAcquire, 1, kEeU8, "Average"},
    {4, kEeAcquire, 3, kEeU8, "FastAcq"},
    {20, kEeHorizontal, 32, kEeU8, "FactoryMode"},
    {40, kEeHorizontal, 12, kEeU8, "StartTest"},
    {95, kEeCh1, 0, kEeU8, "Coupling"},
    {96, kEeCh1, 1, kEeU8, "BW Limit"},
    {97, kEeCh1, 2, kEeU8, "Volts/Div"},
    {98, kEeCh1, 6, kEeU8, "Probe"},
    {99, kEeCh1, 3, kEeU8, "Invert"},
    {101, kEeCh1, 8, kEeU8, "Unit"},
    {102, kEeCh1, 7, kEeU32, "Custom"},
    {106, kEeCh2, 0, kEeU8, "Coupling"},
    {107, kEeCh2, 1, kEeU8, "BW Limit"},
    {108, kEeCh2, 2, kEeU8, "Volts/Div"},
    {109, kEeCh2, 6, kEeU8, "Probe"},
    {110, kEeCh2, 3, kEeU8, "Invert"},
    {112, kEeCh2, 8, kEeU8, "Unit"},
    {113, kEeCh2, 7, kEeU32, "Custom"},
    {117, kEeAcquire, 0, kEeU8, "Mode"},
    {118, kEeAcquire, 2, kEeU8, "Mem Depth"},
    {120, kEeDisplay, 0, kEeU8, "Type"},
    {121, kEeDisplay, 1, kEeU8, "Graticule"},
    {122, kEeHorizontal, 0, kEeU8, "TimeBase"},
    {123, kEeDisplay, 2, kEeU8, "GridBright"},
    {124, kEeDisplay, 3, kEeU8, "WaveBright"},
    {125, kEeDisplay, 6, kEeU8, "Persist"},
    {126, kEeDisplay, 7, kEeU8, "Color"},
    {127, kEeDisplay, 8, kEeU8, "ColorInvert"},
    {128, kEeMeasure, 0, kEeU8, "MasterSrc"},
    {132, kEeMeasure, 1, kEeU8, "SlaveSrc"},
    {133, kEeMeasure, 8, kEeU8, "IndicatorSel"},
    {147, kEeTrigger, 100, kEeU8, "Mode"},
    {148, kEeTrigger, 101, kEeU8, "Coupling"},
    {149, kEeTrigger, 0, kEeU8, "Type"},
    {149, kEeTrigger, 5, kEeU8, "Type"},
    {149, kEeTrigger, 15, kEeU8, "Type"},
    {149, kEeTrigger, 20, kEeU8, "Type"},
    {149, kEeTrigger, 30, kEeU8, "Type"},
    {149, kEeTrigger, 40, kEeU8, "Type"},
    {149, kEeTrigger, 50, kEeU8, "Type"},
    {149, kEeTrigger, 60, kEeU8, "Type"},
    {149, kEeTrigger, 65, kEeU8, "Type"},
    {149, kEeTrigger, 75, kEeU8, "Type"},
    {149, kEeTrigger, 85, kEeU8, "Type"},
    {149, kEeTrigger, 95, kEeU8, "Type"},
    {149, kEeTrigger, 110, kEeU8, "Type"},
    {149, kEeTrigger, 125, kEeU8, "Type"},
    {149, kEeTrigger, 160, kEeU8, "Type"},
    {149, kEeTrigger, 195, kEeU8, "Type"},
    {149, kEeTrigger, 220, kEeU8, "Type"},
    {150, kEeTrigger, 1, kEeU8, "Source"},
    {150, kEeTrigger, 6, kEeU8, "Source"},
    {150, kEeTrigger, 16, kEeU8, "Source"},
    {151, kEeTrigger, 2, kEeU8, "Slope"},
    {151, kEeTrigger, 7, kEeU8, "Polarity"},
    {151, kEeTrigger, 8, kEeU8, "When"},
    {156, kEeTrigger, 17, kEeU8, "Standard"},
    {157, kEeTrigger, 18, kEeU8, "Sync"},
    {158, kEeTrigger, 19, kEeU16, "Line Num"},
    {160, kEeDisplay, 10, kEeU8, "Tims"},
    {161, kEeUtility, 6, kEeU8, "Square"},
    {162, kEeUtility, 7, kEeU8, "Cymometer"},
    {163, kEeUtility, 8, kEeU8, "Output Sel"},
    {164, kEeDisplay, 5, kEeU8, "BackLight"},
    {165, kEeUtility, 30, kEeU8, "IP Type"},
    {174, kEeMath, 0, kEeU8, "Type"},
    {174, kEeMath, 5, kEeU8, "Type"},
    {174, kEeMath, 95, kEeU8, "Type"},
    {174, kEeMath, 105, kEeU8, "Type"},
    {174, kEeMath, 110, kEeU8, "Type"},
    {196, kEeHorizontal, 4, kEeU32, "HoldOff"},
    {196, kEeHorizontal, 7, kEeU32, "ChConfig"},
    {196, kEeHorizontal, 8, kEeU32, "RST"},
    {196, kEeHorizontal, 9, kEeU32, "Back"},
    {200, kEeHorizontal, 1, kEeU8, "Type"},
    {201, kEeCursor, 0, kEeU8, "Enable"},
    {202, kEeCursor, 1, kEeU8, "Type"},
    {203, kEeCursor, 2, kEeU8, "Source"},
    {204, kEeCursor, 3, kEeU8, "Mode"},
    {206, kEeCursor, 5, kEeU8, "Enable-XY"},
    {207, kEeCursor, 6, kEeU8, "Type-XY"},
    {208, kEeCursor, 7, kEeU8, "Mode-XY"},
    {209, kEeCursor, 8, kEeU8, "Source-XY"},
    {210, kEeCursor, 9, kEeU8, "HoriUnit-XY"},
    {211, kEeStorage, 16, kEeU8, "Fomat"},
    {211, kEeUtility, 50, kEeU8, "Save ink"},
    {212, kEeDisplay, 11, kEeU8, "Transparent"},
    {213, kEeUtility, 13, kEeU8, "BootRest"},
    {214, kEeStorage, 0, kEeU8, "Type"},
    {214, kEeStorage, 5, kEeU8, "Type"},
    {214, kEeStorage, 10, kEeU8, "Type"},
    {214, kEeStorage, 15, kEeU8, "Type"},
    {214, kEeStorage, 25, kEeU8, "Type"},
    {215, kEeCh1, 5, kEeU8, "ProbeType"},
    {216, kEeCh2, 5, kEeU8, "ProbeType"},
    {217, kEeCh1, 25, kEeU8, "ProbeType"},
    {218, kEeCh1, 26, kEeU8, "Probe"},
    {219, kEeCh1, 28, kEeU8, "Unit"},
    {220, kEeCh2, 10, kEeU8, "ProbeType"},
    {221, kEeCh2, 11, kEeU8, "Probe"},
    {222, kEeCh2, 13, kEeU8, "Unit"},
    {223, kEeCh1, 10, kEeU8, "LabelEnable"},
    {224, kEeCh1, 11, kEeU8, "Lib"},
    {233, kEeCh2, 15, kEeU8, "LabelEnable"},
    {234, kEeCh2, 16, kEeU8, "Lib"},
};
constexpr int kEepromItemCount = int(sizeof kEepromItems / sizeof kEepromItems[0]);

// The table row of a module's item, or null when the item is not stored.
constexpr const EepromItem* FindEepromItem(int task, int item) {
  for (const EepromItem& e : kEepromItems)
    if (e.task == task && e.item == item) return &e;
  return nullptr;
}
// The item's EEPROM address, or -1.
constexpr int EepromItemAddress(int task, int item) {
  const EepromItem* e = FindEepromItem(task, item);
  return e ? e->address : -1;
}

// The bytes a value of the width occupies.
constexpr int EeWidthBytes(EeWidth w) { return w == kEeU8 ? 1 : w == kEeU16 ? 2 : w == kEeEnd ? 0 : 4; }
