// The types of a module's SCPI command table: what a module needs to define
// its table and handlers without the engine.
#pragma once
#include <cstdint>

// What every handler receives first. `channel` is the number formed by the
// first run of digits in the command's first level ("CHAN2" gives 2), 0 when
// that level holds none.
struct scpi_para {
  int16_t channel;
};

using ScpiHandler = void (*)(scpi_para*, char* parameter);

// A row of a module's command table. Pattern notation: upper-case letters are
// the short form, the lower-case letters after them complete the long form,
// '#' stands for one channel digit, a trailing '?' marks a query. An empty
// pattern ends the table; the first matching row wins.
struct instr {
  char pattern[100];
  ScpiHandler handler;  // null: the row matches but runs nothing
};

// A row of a keyword-to-value table a setter matches its parameter against
// (same notation as command levels). An empty pattern (value -1) ends it.
struct alignas(8) scpipara {
  char pattern[152];
  int16_t value;
};
static_assert(sizeof(scpipara) == 160, "keyword rows are 160 bytes");
