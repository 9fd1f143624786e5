// A message text pack (UTF-16LE), loaded and every message's text read back.
#include <cstddef>
#include <cstdint>

#include "core/messages/msg.h"
#include "core/messages/msg_info.h"
#include "tests/fuzz/fuzz_instrument.h"

namespace {
constexpr char kPath[] = "Data/Message/MessageEnglish.txt";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstrument();
  FuzzWriteFile(kPath, data, size);
  msg pack;
  pack.LoadMsgPack(kPath);
  uint16_t text[kMsgTextUnits];
  for (int n = 0; n < kMsgRows; ++n) pack.GetMessageText(n, text, kMsgTextUnits);
  return 0;
}
