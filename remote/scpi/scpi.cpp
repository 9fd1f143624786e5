// The engine object, command-table registration, reception of a command line
// and its dispatch to the worker.
#include "remote/scpi/scpi.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/messages/remote_errors.h"
#include "platform/ipc.h"
#include "remote/scpi/scpi_thread.h"

scpi Scpi;

namespace {
constexpr int kLevelColon = 1, kLevelBlank = 2, kLevelEnd = 3;

// Copies one level of `from` (up to ':', blank or end) into `level`. Returns
// kLevelColon (advance = level length + 1), kLevelEnd (advance = 0),
// kLevelBlank (advance untouched; the blank is at from[level length]), or -1
// when the level does not fit its buffer (advance = 0).
int CutLevel(const char* from, char* level, int* advance) {
  int i = 0;
  while (from[i] && from[i] != ':' && from[i] != ' ') {
    if (i >= kScpiLevelSize - 1) {
      level[0] = '\0';
      *advance = 0;
      return -1;
    }
    level[i] = from[i];
    ++i;
  }
  level[i] = '\0';
  if (from[i] == ':') {
    *advance = i + 1;
    return kLevelColon;
  }
  if (from[i] == '\0') {
    *advance = 0;
    return kLevelEnd;
  }
  return kLevelBlank;
}

}  // namespace

scpi::scpi() {
  // The queues' folders (the board's ftok paths) are made by the SCPI thread
  // once the instrument root is the working directory.
  scpiKey_ = kScpiQueueKey;
  scpiQid_ = plat::MsgGet(scpiKey_);
  if (scpiQid_ < 0) std::printf("msgget Scpi_qid err!\n");
  webKey_ = kWebScpiQueueKey;
  webQid_ = plat::MsgGet(webKey_);
  if (webQid_ < 0) std::printf("msgget WebScpi_qid err!\n");
}

bool scpi::IsScpiBusy() const { return busy_.load() != 0 || ScpiWorkerBusy(); }

int scpi::RegisterInstr(int taskId, instr* table) {
  if (!table || taskId < 0 || taskId >= kScpiTaskSlots) return -1;
  for (instr* row = table; row->pattern[0]; ++row) {
    Keyword node{};
    int advance = 0;
    if (CutLevel(row->pattern, node.keyword, &advance) < 0 || !node.keyword[0]) continue;
    if (FindRegisterInsrt(taskId, node.keyword) == 1) continue;
    node.taskId = taskId;
    keywords_.push_back(node);
  }
  tables_[taskId] = table;
  return 0;
}

int scpi::FindRegisterInsrt(int taskId, const char* level) const {
  if (!level) return -1;
  for (auto it = keywords_.rbegin(); it != keywords_.rend(); ++it)
    if (it->taskId == taskId && InstrCompare(it->keyword, level) == 1) return 1;
  return 2;
}

void scpi::ListRegisterTable() const {
  for (auto it = keywords_.rbegin(); it != keywords_.rend(); ++it)
    std::printf("FristLevel : [%s]   Taskid = 0x%x\n", it->keyword, unsigned(it->taskId));
}

int scpi::RecvInstructions(long type, const char* text) {
  if (!text) return -1;
  // A message text is at most one message area long.
  size_t n = strnlen(text, kScpiMsgTextSize);
  size_t begin = 0, end = n;
  while (begin < n && (text[begin] == ' ' || text[begin] == ':')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\r' || text[end - 1] == '\n')) --end;
  size_t len = end - begin;
  lineTicket_ = 0;
  if (len == 0) {
    std::printf("Input Invalid Instruction .\n");
    return -1;
  }
  if (len >= size_t(kScpiLineSize)) {
    std::printf("Input Invalid Instruction . (%zu bytes, the limit is %d)\n", len, kScpiLineSize - 1);
    return -1;
  }
  // Bytes above 0x7F pass: quoted parameters may hold UTF-8 file names.
  for (size_t i = begin; i < end; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) {
      std::printf("Input Invalid Instruction . (byte 0x%02x at %zu)\n", c, i);
      return -1;
    }
  }
  // The parameter is the text after the first blank, without the blanks before it.
  const char* blank = static_cast<const char*>(std::memchr(text + begin, ' ', len));
  if (blank) {
    const char* p = blank;
    while (*p == ' ') ++p;
    size_t plen = size_t(text + end - p);
    if (plen >= size_t(kScpiParaSize)) {
      std::printf("Input Invalid Instruction . (parameter of %zu characters, the limit is %d)\n", plen,
                  kScpiParaSize - 1);
      return -1;
    }
  }
  lineTicket_ = recvTicket_;
  recvTicket_ = 0;
  tag_ = ScpiMsgTag(type);
  source_ = ScpiMsgSource(type);
  std::memcpy(line_, text + begin, len);
  line_[len] = '\0';
  lineLen_ = int(len);
  return lineLen_;
}

int scpi::GetInstrSection(const char* from, char* level, int* advance) {
  if (!from || !level || !advance) return -1;
  int kind = CutLevel(from, level, advance);
  if (kind != kLevelBlank) return kind;
  // The rest after the blank is the parameter; extra blanks before it go.
  const char* p = from + std::strlen(level) + 1;
  while (*p == ' ') ++p;
  size_t len = strnlen(p, kScpiParaSize);
  if (len >= size_t(kScpiParaSize)) return -1;  // refused already when the line came
  std::memcpy(param_, p, len + 1);
  paramFlag_ = true;
  return kLevelBlank;
}

// Compares the command line with one row's pattern, level by level. The input
// may stop before the pattern's last level; further input levels are compared
// with the pattern's last level again. A blank ends the input (the parameter
// follows), also after the first level.
bool scpi::MatchRow(const char* pattern) {
  paramFlag_ = false;
  char plevel[kScpiLevelSize] = {}, ilevel[kScpiLevelSize];
  const char* p = pattern;
  const char* in = line_;
  bool patternEnd = false;
  for (;;) {
    if (!patternEnd) {
      int advance = 0;
      int kind = CutLevel(p, plevel, &advance);
      if (kind == kLevelColon) {
        p += advance;
      } else if (kind == kLevelEnd) {
        patternEnd = true;
      } else {
        return false;  // a pattern with a blank or an oversized level
      }
    }
    int advance = 0;
    int kind = GetInstrSection(in, ilevel, &advance);
    if (kind < 0 || InstrCompare(plevel, ilevel) != 1) return false;
    if (kind == kLevelEnd || kind == kLevelBlank) return true;
    in += advance;
  }
}

const instr* scpi::FindRow(scpi_para* para) {
  *para = scpi_para{};
  if (lineLen_ == 0 || !line_[0]) return nullptr;
  char first[kScpiLevelSize];
  int advance = 0;
  if (CutLevel(line_, first, &advance) < 0) return nullptr;
  for (auto it = keywords_.rbegin(); it != keywords_.rend(); ++it) {
    if (InstrCompare(it->keyword, first) != 1) continue;
    const instr* table = tables_[it->taskId];
    if (!table) return nullptr;
    for (const instr* row = table; row->pattern[0]; ++row) {
      if (!MatchRow(row->pattern)) continue;
      const int ch = GetInputInstrChNo(first);
      if (ch >= 0) para->channel = int16_t(ch);
      return row;
    }
  }
  return nullptr;
}

namespace {
// A panel key press ("KEY:F1", not its lock): it only queues its key, which
// the ring keeps in order behind the keys before it, so it needs not wait for
// them (a key may be what a running key operation waits for).
bool IsKeyPress(const char* pattern) {
  return std::strncmp(pattern, "KEY:", 4) == 0 && !std::strstr(pattern, ":LOCK") &&
         !std::strchr(pattern, '?');
}
}  // namespace

void scpi::Dispatch(const instr* row, const scpi_para& para, ScpiTicket ticket) {
  responseLen_.store(0, std::memory_order_relaxed);
  responseFinish_.store(0, std::memory_order_release);
  ScpiHandler handler = row->handler;
  if (!handler) return;
  const int tag = tag_;
  const bool afterKeys = !IsKeyPress(row->pattern);
  // The call answers under the ticket of its command.
  if (paramFlag_) {
    PushScpiFunc(
        [this, handler, para = scpi_para(para), ticket, tag, text = std::string(param_)]() mutable {
          if (UsbTmcCallDropped(tag, ticket)) return;
          ScpiAnswerScope scope(ticket, true);
          handler(&para, &text[0]);
        },
        afterKeys);
  } else {
    PushScpiFunc(
        [this, handler, para = scpi_para(para), ticket, tag]() mutable {
          if (UsbTmcCallDropped(tag, ticket)) return;
          ScpiAnswerScope scope(ticket, true);
          handler(&para, nullptr);
        },
        afterKeys);
  }
}

int scpi::InstrAnalysis() {
  if (lineLen_ == 0 || !line_[0]) return -1;
  scpi_para para{};
  const instr* row = FindRow(&para);
  if (!row) {
    PushRemoteErrorInTurn();
    return -1;
  }
  Dispatch(row, para, lineTicket_);
  return 0;
}
