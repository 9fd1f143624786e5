// Analogue front-end bits by channel and V/div index: the attenuator and the
// gain bits that the front-end word (control words 26 and 28) carries for the
// range. Rows 19 and 20 are empty.
#pragma once
#include <cstdint>

struct AttCtrlRow {
  char name[12];
  uint32_t attenuator;
  uint32_t gain;
};
static_assert(sizeof(AttCtrlRow) == 20, "one row of 20 bytes");

constexpr int kAttCtrlRows = 21;

inline constexpr AttCtrlRow ChAttCtrl[2][kAttCtrlRows] = {
    {
        {"LEV100UV", 0x20, 0x00}, {"LEV200UV", 0x20, 0x00}, {"LEV500UV", 0x20, 0x00},
        {"LEV1MV", 0x20, 0x00},   {"LEV2MV", 0x20, 0x80},   {"LEV5MV", 0x00, 0x00},
        {"LEV10MV", 0x00, 0x80},  {"LEV20MV", 0x00, 0x40},  {"LEV50MV", 0x00, 0xC0},
        {"LEV100MV", 0x04, 0x80}, {"LEV200MV", 0x04, 0x40}, {"LEV500MV", 0x04, 0xC0},
        {"LEV1V", 0x02, 0x80},    {"LEV2V", 0x02, 0x40},    {"LEV5V", 0x02, 0xC0},
        {"LEV10V", 0x06, 0x80},   {"LEV20V", 0x06, 0x40},   {"LEV50V", 0x00, 0x00},
        {"LEV100V", 0x00, 0x00},  {"", 0, 0},               {"", 0, 0},
    },
    {
        {"LEV100UV", 0x0000, 0x0000}, {"LEV200UV", 0x0000, 0x0000}, {"LEV500UV", 0x0100, 0x0000},
        {"LEV1MV", 0x0100, 0x0000},   {"LEV2MV", 0x0100, 0x8000},   {"LEV5MV", 0x0000, 0x0000},
        {"LEV10MV", 0x0000, 0x8000},  {"LEV20MV", 0x0000, 0x4000},  {"LEV50MV", 0x0000, 0xC000},
        {"LEV100MV", 0x1000, 0x8000}, {"LEV200MV", 0x1000, 0x4000}, {"LEV500MV", 0x1000, 0xC000},
        {"LEV1V", 0x0400, 0x8000},    {"LEV2V", 0x0400, 0x4000},    {"LEV5V", 0x0400, 0xC000},
        {"LEV10V", 0x1400, 0x8000},   {"LEV20V", 0x1400, 0x4000},   {"LEV50V", 0x0000, 0x0000},
        {"LEV100V", 0x0000, 0x0000},  {"", 0, 0},                   {"", 0, 0},
    },
};

// The attenuator | gain bits of a channel's row; 0 outside the table.
constexpr uint32_t AttCtrlBits(int ch, int index) {
  return ch < 0 || ch > 1 || index < 0 || index >= kAttCtrlRows
             ? 0
             : ChAttCtrl[ch][index].attenuator | ChAttCtrl[ch][index].gain;
}
