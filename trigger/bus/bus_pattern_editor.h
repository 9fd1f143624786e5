// The serial-bus pattern editors: one digit editor over the five bit
// patterns (CAN identifier and data, LIN identifier and data, SPI data), the
// I2C address and data bytes, and the RS232 data byte.
//
// A digit pattern is `words` words of `width` bits, most significant bit
// first, kept twice: as bits (0, 1 or 2 for a bit that does not matter) and
// as hex digits (0-15, or kHexAny when a bit of the digit does not matter);
// each word has ceil(width / 4) digits, the first holding width mod 4 bits
// when the width is not a multiple of 4. The editor writes the pattern as the
// label of its menu item.
#pragma once
#include <cstdint>

#include "core/menu/keypara.h"

enum class PatternKind { kCanId, kCanData, kLinId, kLinData, kSpiData, kCount };

constexpr uint8_t kHexAny = 0x1A;  // shown "$"

struct PatternEditor {
  PatternKind kind;
  int item;      // the pattern item
  int viewItem;  // its hex/bit view switch
  char* bits;
  int bitCap;
  uint8_t* hex;
  int hexCap;
  int16_t on = 0;        // editing
  int16_t hexIndex = 0;  // cursor in the hex view
  int16_t binIndex = 0;  // cursor in the bit view
  int16_t view = 0;      // 0 hex, 1 bit
  uint16_t label[48] = {};

  int Width() const;
  int Words() const;
  int Bits() const { return Words() * Width(); }
  int DigitsPerWord() const { return (Width() + 3) / 4; }
  int Digits() const { return Words() * DigitsPerWord(); }
  // Bits of digit d and its first bit's index in the bit view.
  int DigitBits(int d) const;
  int DigitFirstBit(int d) const;

  void HexFromBin();  // a digit with a don't-care bit becomes kHexAny
  void BinFromHex();  // a kHexAny digit keeps its bits
  void Show();        // the item's label
  void Clear();       // every bit 0
  void End() { on = 0; }
  // The editor's keys (its own soft key, the select push, the knob).
  int Key(keypara k);
  int SwitchView(keypara k);  // the view switch item's soft key
};

PatternEditor& BusEditor(PatternKind kind);
// Item `n` takes the knob from the other items of its page: the first item
// of a page holding it would keep the knob's steps otherwise.
void TakePageKnob(int n);
void EndAllPatternEdits();  // every digit editor and both I2C editors
// Writes every pattern text (the digit patterns, the I2C address, data and
// mask) as its item's label again: a reloaded menu text has none.
void ShowAllPatternTexts();

// I2C: the address editor (item 136) and the data editor (item 141, masks in 142).
extern int16_t AdjDecodeI2CDataFlag, AdjDecodeI2CAddrFlag, AdjI2CDataIndex, AdjI2CDataMaskIndex;
int Decode_I2C_AddrSet_AddrHex(keypara k);
int Decode_I2C_DataSet_DataHex(keypara k);
void Decode_I2c_AddrSet_Value(int address);
void Decode_I2C_Addr_show(int address);
void Decode_I2C_data_show();
void Decode_I2C_dataMask_show();
int Decode_RS232Data(keypara k);
// The pop-up of the open pattern editor over the traces: its box
// (`Draw_DATA_Back`), the pattern as bits and as digits, the edited one
// blinking in turns of `TwinkleFlag` (200 ms each); nothing with no editor open.
extern int16_t TwinkleFlag;
void Draw_DATA_Back();
void DrawPatternPopup();
// Where bit (field 1) or digit (field 0) `index` of a pattern of `width`-bit
// words is drawn.
bool PatternCell(int field, int index, int width, int digitsPerWord, int* row, int* col);
// SPI data from `count` hex digits (0-15), as SCPI sets it.
void Decode_SPI_dataSet(const char* digits, int count);
