// The pop-up message state: messages are raised by number from any thread and
// shown by the screen composer until they time out. The shown text comes from
// the message pack of the current language, else the message's English name.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "core/messages/msg_info.h"

constexpr int kMsgTextUnits = 152;       // longest text handed out, with its end mark
constexpr int64_t kMsgShowUs = 5000000;  // a message is shown for less than 5 s

// What the drawer gets for the pending message.
struct msginfo {
  uint16_t number;
  uint16_t attribute;
  uint16_t text[kMsgTextUnits];  // UTF-16, always terminated
};

class msg {
 public:
  msg();
  ~msg();
  msg(const msg&) = delete;
  msg& operator=(const msg&) = delete;

  // Loads a UTF-16LE message pack; 0, or -1 with the previous pack kept.
  int LoadMsgPack(const char* path);

  // Makes message n pending with the current time; n, or -1 for a number that
  // carries no message (nothing changes then).
  int SetMessage(int n);
  int GetMessageID() const;
  // Fills the record for the pending message and returns the wall-clock second
  // it was raised; -1 (record untouched) when nothing is pending.
  int GetMessage(msginfo* info) const;
  void ClearMessage();
  // True once the pending message has been shown for its time.
  bool IsTimeOut() const;
  // Clears the pending message once it timed out; 1 when it did.
  int ExpireMessage();

  // The text message n shows (pack text, else its name); the units copied, or
  // -1 for a number without message. `out` holds `units` units with the end mark.
  int GetMessageText(int n, uint16_t* out, int units) const;
  // True when the loaded pack holds a text for message n.
  bool HasPackText(int n) const;

  // Index of the first byte equal to `mark` from `start` up to (not including)
  // `end`, or -1.
  static int ScanMark(const uint8_t* buffer, int start, uint8_t mark, int end);

 private:
  int CopyText(int n, uint16_t* out, int units) const;  // caller holds mu_
  std::string RemoteText(int n) const;                  // caller holds mu_

  mutable std::mutex mu_;
  std::unique_ptr<uint16_t[]> pack_;  // the loaded pack, line ends turned into end marks
  const uint16_t* text_[kMsgRows];    // row texts inside pack_, null when missing
  int pending_ = -1;
  int32_t raisedSec_ = 0, raisedUsec_ = 0;
  int64_t raisedMonoUs_ = 0;
};

extern msg QelMsg;
