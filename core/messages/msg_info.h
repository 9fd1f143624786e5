// The table of pop-up messages by number: the look of each message box and the
// message's English name. The shown text comes from the language's pack.
#pragma once
#include <cstdint>

constexpr int kMsgRows = 121;  // numbers 0 to 120

// Looks of the message box.
constexpr uint16_t kMsgError = 105;
constexpr uint16_t kMsgInfo = 107;
constexpr uint16_t kMsgNotice = 111;

// A setup file or upload refused ("Load failed !"): raised by the storage
// module and by the SCPI engine for a malformed block.
constexpr int kMsgSetupLoadFailed = 13;

struct MsgInfoRow {
  uint16_t number;
  uint16_t attribute;  // 0 for a number that carries no message
  const char* name;    // "" for a number that carries no message
};

extern const MsgInfoRow MsgInfo[kMsgRows];

// True when number n carries a message.
bool MsgListed(int n);
// True when message n says something was refused or failed; false for the
// messages of progress, success, a value held at its limit and other notices.
bool MsgRefuses(int n);
