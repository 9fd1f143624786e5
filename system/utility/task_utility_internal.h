// Shared by the utility module's files: item and page helpers and the dialog
// open and close steps every handler takes.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/menu/keypara.h"

constexpr keypara kUtiNoKey{KEY_NO_KEY, 0, 0};
constexpr int kUtiMsgRecorderClosed = 92;

// Run-state function bits that keep a page shut, and the messages that say so.
constexpr uint64_t kUtiFuncAutoSet = 0x1, kUtiFuncRoll = 0x2, kUtiFuncXY = 0x4, kUtiFuncFft = 0x20,
                   kUtiFuncPassFail = 0x800, kUtiFuncAlternate = 0x40000;
constexpr int kUtiMsgXY = 17, kUtiMsgFft = 19, kUtiMsgAutoSet = 25, kUtiMsgAlternate = 78, kUtiMsgRoll = 83;

struct UtiExclusion {
  uint64_t bit;
  int message;
};
// The first function of the list that is on raises its message: true then.
bool UtiExcluded(const UtiExclusion* list, size_t count);
template <size_t N>
bool UtiExcluded(const UtiExclusion (&list)[N]) {
  return UtiExcluded(list, N);
}

// Initial values and ranges of the items more than one file sets.
constexpr int kUtiSquareDefault = 2, kUtiCymometerDefault = 1, kUtiIpTypeDefault = 1;
constexpr int kUtiPfStopTypeStart = 1;
constexpr int kUtiPfThresholdStart = 100, kUtiPfThresholdMin = 1, kUtiPfThresholdMax = 30000;
constexpr int kUtiPfMaskStart = 5, kUtiPfMaskMin = 1, kUtiPfMaskMax = 100;

int UtiItem(int n);                // item n's value (low 16 bits)
int UtiTake(keypara key, int n);   // item n takes the key; its value
void UtiPage(int page);
void UtiMessage(int n);
// Sets the dialog bit, remembers the page and puts the module on the display list.
void UtiOpenDialog(uint32_t bit);
void UtiCloseDialog(uint32_t bit);
