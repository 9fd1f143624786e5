// The web control's JSON settings files: the first byte picks the password
// file or the web configuration file, the rest is its contents. The password
// is read back as the web page's login reads it, and each file is rewritten
// as the web page's settings rewrite it (keys of the old file kept).
#include <cstddef>
#include <cstdint>

#include "remote/web/web_settings.h"
#include "tests/fuzz/fuzz_instrument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInstrument();
  if (size == 0) return 0;
  const char* const files[] = {kWebPasswordFile, kWebPasswordRememberFile, kWebConfigFile};
  const size_t pick = data[0] % (sizeof files / sizeof files[0]);
  FuzzWriteFile(files[pick], data + 1, size - 1);
  read_web_password();
  if (files[pick] == kWebPasswordFile) modify_web_control_password("admin");
  if (files[pick] == kWebPasswordRememberFile) modify_web_control_password_remember(true);
  if (files[pick] == kWebConfigFile) modify_web_proxy_config(kFactoryRelay);
  return 0;
}
