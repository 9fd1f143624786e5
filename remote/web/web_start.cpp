// The web-control start: the language file of the web page and both
// websocket servers.
#include <csignal>
#include <cstdio>
#include <mutex>
#include <string>

#include "core/state/sys_run_info.h"
#include "remote/scpi/scpi.h"
#include "remote/web/web_control.h"
#include "remote/web/web_settings.h"
#include "remote/web/web_settings_io.h"
#include "remote/ws/ws_server.h"

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

namespace {
struct KindInfo {
  const char* what;
  const char* portEnv;
};
constexpr KindInfo kKinds[] = {{"command", "SCOPE_WS_CMD_PORT"}, {"picture", "SCOPE_WS_PIC_PORT"}};
std::mutex g_addressMu;
WebServerAddress g_address[2];
}  // namespace

WebServerAddress GetWebServerAddress(WebServerKind kind) {
  std::lock_guard<std::mutex> lock(g_addressMu);
  return g_address[int(kind)];
}

void NoteWebServerListening(WebServerKind kind, const WSServerState_* server) {
  WebServerAddress a;
  a.host = server->config.host;
  const int bound = server->bound_port;
  a.state = bound > 0 ? WebServerAddress::kListening : WebServerAddress::kFailed;
  a.port = bound > 0 ? std::to_string(bound) : server->config.port;
  if (a.state == WebServerAddress::kFailed) {
    const KindInfo& k = kKinds[int(kind)];
    std::printf("web control: the %s server cannot listen on %s port %s (taken by another program?): "
                "web control is off; $%s=<port> moves it\n",
                k.what, a.host.c_str(), a.port.c_str(), k.portEnv);
  }
  std::lock_guard<std::mutex> lock(g_addressMu);
  g_address[int(kind)] = a;
}
