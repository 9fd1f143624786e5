// The matching rules of command levels and keyword parameters, and the small
// text helpers of the engine.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "remote/scpi/scpi.h"

int scpi::ToUpper(int c) {
  if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
  if (c >= 'A' && c <= 'Z') return c;
  return 255;
}

int scpi::ToLower(int c) {
  if (c >= 'A' && c <= 'Z') return c - 'A' + 'a';
  if (c >= 'a' && c <= 'z') return c;
  return 255;
}

bool scpi::IsUpper(int c) { return c >= 'A' && c <= 'Z'; }
bool scpi::IsNum(int c) { return c >= '0' && c <= '9'; }
bool scpi::IsCharacter(int c) { return IsUpper(c) || (c >= 'a' && c <= 'z'); }

namespace {
bool IsLower(int c) { return c >= 'a' && c <= 'z'; }
int Fold(int c) { return IsLower(c) ? c - 'a' + 'A' : c; }
}  // namespace

// A level of the input matches a pattern level when both are equal without
// regard to case, or when the input is shorter and is a prefix of the pattern
// in the pattern's own case that holds all its upper-case letters. A digit or
// '?' of the input skips the pattern's lower-case letters up to the same digit
// (or '#') or the '?'. The input may not end inside a number of the pattern.
int scpi::InstrCompare(const char* pattern, const char* input) {
  if (!pattern || !input || !*pattern || !*input) return -1;
  size_t plen = std::strlen(pattern), ilen = std::strlen(input);
  if (ilen > plen) return -1;
  if (ilen == plen) {
    for (size_t i = 0; i < ilen; ++i)
      if (Fold(static_cast<unsigned char>(pattern[i])) != Fold(static_cast<unsigned char>(input[i]))) return -1;
    return 1;
  }
  size_t pp = 0;
  for (size_t i = 0; i < ilen; ++i) {
    if (pp >= plen) return -1;
    char c = input[i];
    if (IsUpper(pattern[pp]) && IsUpper(c)) {
      if (pattern[pp] != c) return -1;
    } else if (IsNum(c)) {
      while (pp < plen && IsLower(pattern[pp])) ++pp;
      if (pp >= plen || (pattern[pp] != '#' && pattern[pp] != c)) return -1;
    } else if (c == '?') {
      while (pp < plen && IsLower(pattern[pp])) ++pp;
      if (pp >= plen || pattern[pp] != '?') return -1;
    } else if (c != pattern[pp]) {
      return -1;
    }
    ++pp;
  }
  // The short form must be complete, a query pattern needs its '?', and a
  // number must not be cut ("1" is not "10X", "20" not "2048").
  if (pp < plen && (IsUpper(pattern[pp]) || pattern[pp] == '?' || IsNum(pattern[pp]) || pattern[pp] == '.'))
    return -1;
  return 1;
}

int scpi::InstrParaCompare(const scpipara* table, const char* word) {
  if (!table || !word || !table[0].pattern[0]) return -1;
  for (int i = 0; table[i].pattern[0]; ++i)
    if (InstrCompare(table[i].pattern, word) == 1) return i;
  return -1;
}

int scpi::GetInputInstrChNo(const char* level) {
  if (!level) return -1;
  const char* p = level;
  while (*p && !IsNum(*p)) ++p;
  if (!*p) return -1;
  int n = 0;
  for (; IsNum(*p); ++p) n = n > (INT16_MAX - 9) / 10 ? INT16_MAX : n * 10 + (*p - '0');
  return n;
}

int scpi::SkipCharacter(const char* text) {
  if (!text) return 0;
  int n = 0;
  while (n <= 101 && IsCharacter(text[n])) ++n;
  return n > 101 ? 0 : n;
}

int scpi::SkipNum(const char* text) {
  if (!text) return 0;
  int n = 0;
  while (n < 101 && (IsNum(text[n]) || text[n] == '.')) ++n;
  return n;
}

int scpi::FindCharacter(const char* text, char c) {
  if (!text) return -1;
  for (int i = 0; i < 1025 && text[i]; ++i)
    if (text[i] == c) return i;
  return -1;
}

// Reads "a.b.c.d" after an optional opening double quote; the closing double
// quote must follow.
int scpi::StringtoIPAddress(const char* text, int address[4]) {
  if (!text || !address) return -1;
  const char* p = text;
  if (*p == '"') ++p;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (*p != '.') return -1;
      ++p;
    }
    if (!IsNum(*p)) return -1;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(p, &end, 10);
    if (errno || v < 0 || v > 255) return -1;
    address[i] = int(v);
    p = end;
  }
  return FindCharacter(p, '"') < 0 ? -1 : 0;
}
