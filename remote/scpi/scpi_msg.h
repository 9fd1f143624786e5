// The message record of the SCPI queue, posted by every transport, and the
// keys of the two queues the engine opens.
#pragma once

// Text area of one message: a NUL-terminated command line, or binary data
// (the setup block that follows "SYSTem:SETup" or "CONFIG").
constexpr int kScpiMsgTextSize = 65536;

struct scpi_msg {
  long type;  // bits 31-16 the tag (the USBTMC bTag, else 0), bits 15-0 the source
  char text[kScpiMsgTextSize];
};

// Source 1: the sender waits for the answer, so sending clears the
// response-finish flag first. Every transport posts with this source.
constexpr int kScpiSourceTransport = 1;

inline long ScpiMsgType(int tag, int source) {
  return long((unsigned(tag) & 0xFFFFu) << 16 | (unsigned(source) & 0xFFFFu));
}
inline int ScpiMsgTag(long type) { return int((unsigned long)type >> 16 & 0xFFFFu); }
inline int ScpiMsgSource(long type) { return int((unsigned long)type & 0xFFFFu); }

// Queue keys. On the board they come from ftok("Data/Scpi", 'S') and
// ftok("Data/Web", 'S'); the PC's queues are inside the process, so fixed
// keys serve. Every producer opens the command queue with kScpiQueueKey.
constexpr int kScpiQueueKey = 0x53430001;
constexpr int kWebScpiQueueKey = 0x53430002;
