// A command's entry in the programming reference (docs/scpi-commands.md).
// Each module keeps its entries in a table beside its handlers; the reference
// generator gives every header of the command tables the first entry that
// matches it and fails for a header without one, or an entry no header uses.
#pragma once

struct ScpiDoc {
  // The headers described, separated by blanks, in the table's notation
  // without '?': '#' stands for one digit, '*' for any run of characters
  // inside one level ("KEY:*:LOCK").
  const char* headers;
  const char* parameter;  // forms, range and units of what the command takes; "" for nothing
  const char* initial;    // the value after DEFAULT (and on a fresh root); "" where none
  const char* answer;     // what the query answers; "" when there is no query
  const char* outside;    // what a value past the range, or an unknown keyword, does; "" where none
};

// True when `header` (a table pattern without '?') is one of `doc.headers`.
bool ScpiDocMatches(const ScpiDoc& doc, const char* header);
