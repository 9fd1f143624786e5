// The pop-up message state: messages are raised by number.
// Only raising and clearing exist so far; texts and drawing come later.
#pragma once

class msg {
 public:
  int SetMessage(int n);
  int GetMessageID() const { return pending_; }
  void ClearMessage() { pending_ = -1; }

 private:
  int pending_ = -1;
};

extern msg QelMsg;
