// A received message as IEEE 488.2 program message units: split at ';'
// outside quoted strings and definite-length blocks, each header taken
// relative to the path of the unit before it or from the root, each unit
// matched and queued in turn. A setup block may travel in the message of its
// command ("SYSTem:SETup #<n><length><data>").
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/messages/msg_info.h"
#include "core/messages/remote_errors.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_kit.h"
#include "remote/scpi/scpi_sys_calls.h"
#include "remote/scpi/scpi_thread.h"

namespace {

struct Unit {
  size_t begin = 0, end = 0;
  long block = -1;        // the offset of its block's '#', -1 when none
  size_t blockData = 0;   // where the block's data begins
  size_t blockLen = 0;    // its announced length
  bool blockBad = false;  // the header is malformed or the data is cut short
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

enum class BlockRead { kWhole, kShort, kMalformed };

// Reads the block whose '#' (and a digit 1 to 9) is at `at`: kShort when
// fewer bytes than its header or its data need follow (up to `n`).
BlockRead ReadBlock(const char* p, size_t n, size_t at, Unit* u) {
  u->block = long(at);
  const size_t digits = size_t(p[at + 1] - '0');
  if (at + 2 + digits > n) return BlockRead::kShort;
  size_t len = 0;
  for (size_t i = 0; i < digits; ++i) {
    const char c = p[at + 2 + i];
    if (c < '0' || c > '9') return BlockRead::kMalformed;
    len = len * 10 + size_t(c - '0');
  }
  u->blockData = at + 2 + digits;
  u->blockLen = len;
  return len <= n - u->blockData ? BlockRead::kWhole : BlockRead::kShort;
}

// The units of the `n` bytes at `p`. A NUL outside a block ends the message
// (a text message carries its terminator).
std::vector<Unit> SplitUnits(const char* p, size_t n, bool* cutShort = nullptr) {
  std::vector<Unit> units;
  Unit u;
  char quote = 0;
  size_t i = 0;
  for (; i < n; ++i) {
    const char c = p[i];
    if (quote) {
      if (c == quote) quote = 0;
      if (c != '\0') continue;
    }
    // After a block a NUL short of the terminator is data the block's
    // length left out (it refuses the block).
    if (c == '\0' && (u.block < 0 || i + 1 == n)) break;
    if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ';') {
      u.end = i;
      units.push_back(u);
      u = Unit{};
      u.begin = i + 1;
    } else if (c == '#' && u.block < 0 && i > u.begin && (p[i - 1] == ' ' || p[i - 1] == ',') &&
               i + 1 < n && p[i + 1] >= '1' && p[i + 1] <= '9') {
      const BlockRead r = ReadBlock(p, n, i, &u);
      if (r != BlockRead::kWhole) {
        if (cutShort) *cutShort = r == BlockRead::kShort;
        u.blockBad = true;
        i = n;
        break;
      }
      i = u.blockData + u.blockLen - 1;  // the loop steps past the data
    }
  }
  u.end = i < n ? i : n;
  units.push_back(u);
  return units;
}

bool Empty(const char* p, const Unit& u) {
  for (size_t i = u.begin; i < u.end; ++i)
    if (!IsBlank(p[i])) return false;
  return true;
}

// The header of `text`: from its first character that is no blank or ':'
// up to a blank or its end.
std::string HeaderOf(const std::string& text) {
  size_t b = 0;
  while (b < text.size() && (text[b] == ' ' || text[b] == ':')) ++b;
  size_t e = b;
  while (e < text.size() && !IsBlank(text[e])) ++e;
  return text.substr(b, e - b);
}

// `header` names the command `pattern`, level by level.
bool HeaderIs(const std::string& header, const char* pattern) {
  std::string h = header, pat = pattern;
  for (;;) {
    const size_t hc = h.find(':'), pc = pat.find(':');
    if (scpi::InstrCompare(pat.substr(0, pc).c_str(), h.substr(0, hc).c_str()) != 1) return false;
    if (hc == std::string::npos || pc == std::string::npos) return hc == pc;
    h.erase(0, hc + 1);
    pat.erase(0, pc + 1);
  }
}

bool IsSetupHeader(const std::string& header) {
  return HeaderIs(header, "SYSTem:SETup") || HeaderIs(header, "CONFIG");
}

}  // namespace

bool ScpiBlockPending(const char* data, size_t n) {
  bool cutShort = false;
  SplitUnits(data, n, &cutShort);
  return cutShort;
}

void scpi::RefuseBlock(const char* why) {
  std::printf("setup block refused: %s\n", why);
  PushScpiFunc([] { ScpiRefuseWith(kMsgSetupLoadFailed); });
}

void scpi::RefuseUnit(const std::string& text) {
  // A header the instrument knows with a parameter it cannot take is an
  // invalid parameter; anything else is an undefined header.
  const std::string header = HeaderOf(text);
  const std::string first = header.substr(0, header.find(':'));
  bool known = false;
  if (!first.empty() && first.size() < size_t(kScpiLevelSize))
    for (const Keyword& k : keywords_) known = known || InstrCompare(k.keyword, first.c_str()) == 1;
  if (!known) {
    PushRemoteErrorInTurn();
    return;
  }
  PushScpiFunc([] { ScpiRefuse(); });
}

void scpi::PushRemoteErrorInTurn() {
  std::printf("###### INSTR_ERR ########\n ");
  PushScpiFunc([] { PushRemoteError(kRemoteErrorUndefinedHeader, "Undefined header"); });
}

int scpi::QueueSetup(const char* data, int len, int tag, ScpiTicket ticket, ScpiHandler handler) {
  binaryDataLen_.store(len);
  if (!handler) {
    const ScpiSysCalls* calls = GetScpiSysCalls();
    handler = calls ? calls->setup : nullptr;
  }
  if (!handler) return -1;
  // The call owns a zero-filled message-sized block with the data; it keeps
  // its own announced length, which a later upload may change before it runs.
  std::vector<char> block(kScpiMsgTextSize, 0);
  std::memcpy(block.data(), data, size_t(len));
  PushScpiFunc([this, handler, len, tag, ticket, block = std::move(block)]() mutable {
    if (UsbTmcCallDropped(tag, ticket)) return;
    RunSetupCall(handler, len, block.data());
  });
  return 0;
}

void scpi::RunMessage() {
  const char* p = recv_.text;
  const size_t n = size_t(recvLen_ > 0 ? recvLen_ : 0);
  const long type = recv_.type;
  const ScpiTicket ticket = recvTicket_;
  recvTicket_ = 0;
  std::vector<Unit> units = SplitUnits(p, n);
  size_t last = units.size();
  for (size_t i = 0; i < units.size(); ++i)
    if (!Empty(p, units[i])) last = i;
  if (last == units.size()) {
    std::printf("Input Invalid Instruction .\n");
    return;
  }
  std::string path;  // the levels before the last of the header before
  for (size_t i = 0; i <= last; ++i) {
    const Unit& u = units[i];
    if (Empty(p, u)) continue;
    // Only the last unit answers the message's requester.
    const ScpiTicket mine = i == last ? ticket : 0;
    if (u.block >= 0) {
      const std::string header = HeaderOf(std::string(p + u.begin, size_t(u.block) - u.begin));
      if (IsSetupHeader(header)) {
        bool tail = true;  // only a line end may follow the data
        if (!u.blockBad)
          for (size_t k = u.blockData + u.blockLen; k < u.end; ++k) tail = tail && IsBlank(p[k]);
        if (u.blockBad || !tail)
          RefuseBlock(u.blockBad ? "the length is malformed or more than arrived"
                                 : "more data than announced");
        else
          QueueSetup(p + u.blockData, int(u.blockLen), ScpiMsgTag(type), mine);
        continue;
      }
    }
    const std::string text(p + u.begin, u.end - u.begin);
    size_t b = 0;
    while (b < text.size() && text[b] == ' ') ++b;
    const bool fromRoot = b < text.size() && (text[b] == ':' || text[b] == '*');
    std::vector<std::string> tries;
    if (!fromRoot && !path.empty()) tries.push_back(path + ":" + text.substr(b));
    tries.push_back(text);
    bool ran = false, refused = false;
    for (const std::string& t : tries) {
      recvTicket_ = mine;
      if (RecvInstructions(type, t.c_str()) < 0) {
        refused = true;
        continue;
      }
      scpi_para para{};
      const instr* row = FindRow(&para);
      if (!row) continue;
      Dispatch(row, para, lineTicket_);
      ran = true;
      break;
    }
    recvTicket_ = 0;
    if (!ran) {
      if (refused)
        RefuseUnit(text);
      else
        PushRemoteErrorInTurn();
      continue;
    }
    // The path follows every header but a common command's.
    const std::string header = HeaderOf(line_);
    if (!header.empty() && header[0] != '*') {
      const size_t colon = header.rfind(':');
      path = colon == std::string::npos ? std::string() : header.substr(0, colon);
    }
  }
}
