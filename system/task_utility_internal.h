// Shared by the utility module's files: item and page helpers and the dialog
// open and close steps every handler takes.
#pragma once
#include <cstdint>

#include "core/keypara.h"

constexpr keypara kUtiNoKey{KEY_NO_KEY, 0, 0};
constexpr uint64_t kUtiFuncRecorderBusy = 0x700;  // recording, recorded, playing
constexpr int kUtiMsgRecorderClosed = 92;

int UtiItem(int n);                // item n's value (low 16 bits)
int UtiTake(keypara key, int n);   // item n takes the key; its value
void UtiPage(int page);
void UtiMessage(int n);
// Sets the dialog bit, remembers the page and puts the module on the display list.
void UtiOpenDialog(uint32_t bit);
void UtiCloseDialog(uint32_t bit);
