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
bool LoadMenuBlock(const SetupFileRecord& rec, const char* label, Menu& m, menu* record);
