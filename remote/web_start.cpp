// The web-control start: the language file of the web page and both
// websocket servers.
#include <csignal>

#include "core/sys_run_info.h"
#include "remote/scpi.h"
#include "remote/web_control.h"
#include "remote/web_settings.h"
#include "remote/web_settings_io.h"

namespace {
constexpr char kLanguageFile[] = "WebServer/static/language.json";
constexpr int kChineseIndex = 1;
}  // namespace

void configWebLanguage() {
  const bool zh = SysRunStatus.GetCurrLanguage() == kChineseIndex;
  WriteWebSettingsFile(kLanguageFile, zh ? "{\"language\":\"zh\"}" : "{\"language\":\"en\"}");
}

void websocket_server_start() {
  std::signal(SIGPIPE, SIG_IGN);
  // A root that never had the web files (a new board) gets the factory login.
  if (!ReadWebSettingsFile(kWebPasswordFile)) write_web_factory_files();
  configWebLanguage();
  PicServerStart();
  CmdCtrlServerStart();
}
