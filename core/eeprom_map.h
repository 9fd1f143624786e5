// Fixed EEPROM addresses of the persistent settings used by the core.
#pragma once
#include <cstdint>

enum : uint16_t {
  EE_FORMAT_MARK = 0,      // u8: 0x5A on a formatted EEPROM
  EE_LANGUAGE = 1,         // u8: language index
  EE_START_LOG = 39,       // u8: start-log request, cleared after the log line
  EE_PRETRIG_DEPTH = 46,   // u32: pre-trigger depth
  EE_TASK_ID = 90,         // u16: the module current at power-off
  EE_TASK_PAGE = 92,       // u8: its menu page
  EE_ACTIVE_CH = 94,       // u8: active channel
  EE_RESET_ALL = 213,      // u8: 1 resets every module at the next start
};

constexpr uint8_t kEepromFormatMark = 0x5A;
