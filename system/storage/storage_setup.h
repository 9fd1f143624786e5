// Setup files (.dat): the whole instrument's settings as the blocks every
// module writes and reads through key word 131, saved to and recalled from
// the internal memory ("Data/Storage/Set") or the USB disk.
#pragma once
#include <cstdint>
#include <vector>

#include "core/messages/msg_info.h"  // kMsgSetupLoadFailed

// `name` with its extension; disk 0 internal, 1 USB. 0, or -1 with the
// failure's message raised (nothing written, or nothing changed).
int StorageSaveSetFunc(const char* name, int disk);
// A file is taken only when every block of it that the instrument knows
// lies whole inside it; otherwise it is refused with nothing changed.
int StorageLoadSetFunc(const char* name, int disk);

// The load's check of a setup file or upload (key word 131, kSetupCheck):
// true when every module accepts its block; nothing is changed either way.
bool SetupFileAccepted(uint8_t* buffer, int length);
// The settings in force as the bytes of a setup file; empty when a module
// could not write its block.
std::vector<uint8_t> TakeSetupImage();
// A setup image put back as a recall puts it back (every block, then the
// board's own sequences), without the recall's messages and its first wait.
void PutBackSetupImage(std::vector<uint8_t>& image);
