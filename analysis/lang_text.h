// The texts an analysis module reads from its language file after its menu
// texts: lines that start with a mark character.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// The file as 16-bit units without its byte-order mark, each line ended by a
// NUL unit; false when it cannot be read.
bool ReadLanguageLines(const char* path, std::vector<uint16_t>* out);
// The text after the next line that starts with `mark`, from `*at` on.
const uint16_t* NextMarkedLine(const std::vector<uint16_t>& t, size_t* at, uint16_t mark);
