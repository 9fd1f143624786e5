// A module's block of a setup file (key word STORAGE): its label, CR LF, its
// body, CR LF. Saving appends the block at the record's `used`, the record's
// `length` being the buffer's capacity; loading finds the first "label CR LF"
// in the file's `length` bytes and takes the body only when it lies whole
// inside them, so a short or foreign file leaves every setting as it was.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>

#include "core/state/task.h"  // RunSetupBlock, SetupFileRecord

// Writes a block's body at `out`, at most `room` bytes: its length, or -1.
using SetupBodyWriter = std::function<int(uint8_t* out, size_t room)>;
bool SaveSetupBlock(SetupFileRecord* rec, const char* label, const SetupBodyWriter& body);

// The body of the block `label` and, in *available, the bytes from its start
// to the end of the file; null when the file has no such block.
const uint8_t* FindSetupBlock(const SetupFileRecord& rec, const char* label, size_t* available);

// The usual body: the setup image of every item value of `record`.
bool SaveMenuBlock(SetupFileRecord* rec, const char* label, const Menu& m, const menu* record);
// A load takes the image only when every item value lies inside its row's
// range, else nothing of it.
bool LoadMenuBlock(const SetupFileRecord& rec, const char* label, Menu& m, menu* record);

// A load's check (kSetupCheck) of a body holding the menu image first: true
// when the image is whole and every item value lies inside its row's range;
// prints what it refuses.
bool CheckMenuImage(const char* label, const menu* record, const uint8_t* image, size_t length);
// The check of the usual body: true also when the file holds no such block.
bool CheckMenuBlock(const SetupFileRecord& rec, const char* label, const menu* record);
