// The command-control server: JSON requests over websocket port 9001, the
// session gate, login, sign-out, ping and the heartbeat.
#include <boost/json.hpp>

#include <algorithm>
#include <cstdio>

#include "platform/clock.h"
#include "platform/thread.h"
#include "remote/web/web_control.h"
#include "remote/web/web_screen_input.h"
#include "remote/web/web_settings.h"
#include "remote/ws/ws_server.h"

namespace json = boost::json;

CmdControlServer cmdControlServer;

namespace {
const WebControlHooks* g_hooks = nullptr;

// Reads a string member; false when it is missing or not a string.
bool Text(const json::object& o, const char* key, std::string* out) {
  const json::value* v = o.if_contains(key);
  if (!v || !v->is_string()) return false;
  *out = std::string(v->get_string());
  return true;
}

// Reads an integer member within [lo, hi]; false when missing, not a number or out of range.
bool Number(const json::object& o, const char* key, long long lo, long long hi, long long* out) {
  const json::value* v = o.if_contains(key);
  if (!v) return false;
  long long n;
  if (v->is_int64()) n = v->get_int64();
  else if (v->is_uint64() && v->get_uint64() <= uint64_t(hi)) n = (long long)v->get_uint64();
  else if (v->is_double() && v->get_double() >= double(lo) && v->get_double() <= double(hi)) n = (long long)v->get_double();
  else return false;
  if (n < lo || n > hi) return false;
  *out = n;
  return true;
}

std::string Reply(std::initializer_list<std::pair<const char*, std::string>> fields) {
  json::object o;
  for (const auto& f : fields) o[f.first] = f.second;
  return json::serialize(o);
}

std::string Status(const char* type, bool ok) {
  return Reply({{"reply_type", type}, {"status", ok ? "success" : "failed"}});
}

timeval Now() {
  timeval t{};
  gettimeofday(&t, nullptr);
  return t;
}

std::string LcdAreaControl(const json::object& o) {
  long long type, x, y, wheel = 0;
  std::string key;
  if (!Number(o, "event_type", 0, 255, &type) || !Number(o, "x", 0, 65535, &x) || !Number(o, "y", 0, 65535, &y))
    return "";
  Number(o, "wheel_direction", 0, 255, &wheel);
  Text(o, "key_code", &key);
  lcd_area_operate_msg m{int(type), uint16_t(x), uint16_t(y), uint8_t(wheel), key};
  lcd_area_operate(m);
  return "";
}

std::string LanConfig(const json::object& o) {
  lan_info info;
  if (!Text(o, "type", &info.type)) return Status("lan_config", false);
  if (info.type != "DHCP" &&
      (!Text(o, "ip", &info.ip) || !Text(o, "mask", &info.mask) || !Text(o, "gateway", &info.gateway)))
    return Status("lan_config", false);
  return config_lan(info);
}

std::string FrpConfig(const json::object& o) {
  frpc_info info;
  if (!Text(o, "frp_server_ip", &info.server_ip) || !Text(o, "web_port", &info.web_port) ||
      !Text(o, "pic_port", &info.pic_port) || !Text(o, "ctrl_port", &info.ctrl_port))
    return Status("frp_config", false);
  return set_frp_config(info);
}

int OnOpen(WSPipeOut2*, WSClient2* client) { return client ? 0 : -1; }

int OnClose(WSPipeOut2*, WSClient2* client) {
  cmdControlServer.ClientGone(client);
  return 0;
}

int OnMessage(WSPipeOut2*, WSClient2* client) {
  if (!client || !client->message) return -1;
  const WSMessageBuffer_& m = *client->message;
  const std::string reply = cmdControlServer.ProcessRequest(client, std::string(m.payload.begin(), m.payload.end()));
  if (reply.empty()) return -1;
  ws2_send_data(client, WS_OPCODE_TEXT, reply.data(), reply.size());
  return 0;
}

void Heartbeat() { cmdControlServer.DoHeartbeatCheck(); }

void* CmdCtrlServerThreadFunc(void*) {
  WSServerState_* s = ws2_init("0.0.0.0", "9001");
  s->onopen = OnOpen;
  s->onclose = OnClose;
  s->onmessage = OnMessage;
  s->heartbeat = Heartbeat;
  s->onlisten = [](WSServerState_* server) { NoteWebServerListening(WebServerKind::kCommands, server); };
  cmdControlServer.server = s;
  if (ws2_start(s) < 0) std::printf("CmdCtrlServer: the command server could not run\n");
  cmdControlServer.Stopped();
  ws2_stop(s);
  return nullptr;
}
}  // namespace

void SetWebControlHooks(const WebControlHooks* hooks) { g_hooks = hooks; }
const WebControlHooks* GetWebControlHooks() { return g_hooks; }

int CmdCtrlServerStart() { return plat::StartThread("CmdCtrlServer", CmdCtrlServerThreadFunc, nullptr); }

bool LoginPenalty::Allowed(const std::string& address, int64_t nowUs) const {
  auto it = records_.find(address);
  return it == records_.end() || nowUs >= it->second.notBeforeUs;
}

void LoginPenalty::Failed(const std::string& address, int64_t nowUs) {
  if (records_.size() >= kAddressesKept && !records_.count(address)) {
    auto soonest = records_.begin();
    for (auto it = records_.begin(); it != records_.end(); ++it)
      if (it->second.notBeforeUs < soonest->second.notBeforeUs) soonest = it;
    records_.erase(soonest);
  }
  Record& r = records_[address];
  int64_t wait = kFirstUs;
  for (int i = 0; i < r.failures && wait < kLongestUs; ++i) wait *= 2;
  ++r.failures;
  r.notBeforeUs = nowUs + std::min(wait, kLongestUs);
}

void LoginPenalty::Succeeded(const std::string& address) { records_.erase(address); }

// Called with mu_ held. The layer frees the client later without the close
// callback, so no session may keep it.
void CmdControlServer::Close(WSClient2* client) {
  if (!client) return;
  for (auto& s : sessions_)
    if (s.second.client == client) {
      s.second.client = nullptr;
      lcd_area_end_gesture();
    }
  if (server) ws2_close_conn(server, client);  // deferred by the layer to a safe point
}

// Only the session's connection sends screen input, so its end ends the gesture.
void CmdControlServer::ClientGone(WSClient2* client) {
  std::lock_guard<std::mutex> lock(mu_);
  for (auto& s : sessions_)
    if (client && s.second.client == client) {
      s.second.client = nullptr;
      lcd_area_end_gesture();
    }
}

void CmdControlServer::Stopped() {
  std::lock_guard<std::mutex> lock(mu_);
  sessions_.clear();
  server = nullptr;
}

std::string CmdControlServer::GetLoginUuid() {
  std::lock_guard<std::mutex> lock(mu_);
  return sessions_.empty() ? std::string() : sessions_.begin()->first;
}

std::string CmdControlServer::ProcessRequest(WSClient2* client, std::string const& text) {
  json::error_code ec;
  json::value v = json::parse(text, ec);
  if (ec || !v.is_object()) return "";
  const json::object& o = v.get_object();
  std::string type, uuid;
  if (!Text(o, "req_type", &type) || !Text(o, "uuid", &uuid)) return "";

  {
    std::lock_guard<std::mutex> lock(mu_);
    const bool open = type == "info" || type == "ping" || type == "signout";
    bool pass;
    if (!sessions_.empty()) {
      // The session is bound to its connection: its uuid from another one does not pass.
      const LoginInfo& s = sessions_.begin()->second;
      pass = open || (uuid == s.uuid && client == s.client);
    } else {
      pass = type == "login" || type == "ping" || type == "info";
    }
    if (!pass) {
      Close(client);
      return "";
    }
  }

  if (type == "key") {
    std::string key;
    if (Text(o, "key_id", &key)) send_scpi_btn_code(key);
    return "";
  }
  if (type == "info") return get_info();
  if (type == "lan_info") return get_lan_info();
  if (type == "led_status") return get_led_status();
  if (type == "lan_config") return LanConfig(o);
  if (type == "frp_config") return FrpConfig(o);
  if (type == "web_control_password_config") {
    std::string password;
    if (!Text(o, "password", &password)) return Status("web_control_password_config", false);
    return modify_web_control_password(password);
  }
  if (type == "lcd_area_control") return LcdAreaControl(o);
  if (type == "web_control_password_remember") {
    const json::value* flag = o.if_contains("password_remember");
    if (flag && flag->is_bool()) modify_web_control_password_remember(flag->get_bool());
    return "";
  }
  if (type == "login") {
    std::string user, password;
    if (!Text(o, "user_name", &user) || !Text(o, "password", &password)) return Status("login_res", false);
    return LoginVerify(client, uuid, user, password);
  }
  if (type == "signout") {
    Signout(client, uuid);
    return "";
  }
  if (type == "ping") return HeartbeatPong(client, uuid);
  return "";
}

std::string CmdControlServer::LoginVerify(WSClient2* client, std::string const& uuid, std::string const& user,
                                          std::string const& password) {
  const std::string address = client ? client->remote_ip : "";
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!penalty_.Allowed(address, plat::MonoUs())) return Status("login_res", false);
  }
  const std::optional<web_login> stored = read_web_password();
  if (!stored) return "";
  std::lock_guard<std::mutex> lock(mu_);
  if (user != stored->user_name || password != stored->password) {
    penalty_.Failed(address, plat::MonoUs());
    return Status("login_res", false);
  }
  penalty_.Succeeded(address);
  if (!sessions_.empty()) {
    Close(client);
    return "";
  }
  LoginInfo info;
  info.uuid = uuid;
  info.user_name = user;
  info.password = password;
  info.client = client;
  info.time = Now();
  sessions_[uuid] = info;
  return Status("login_res", true);
}

void CmdControlServer::Signout(WSClient2* client, std::string const& uuid) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = sessions_.find(uuid);
  if (it != sessions_.end() && it->second.client == client) {
    sessions_.erase(it);
    lcd_area_end_gesture();
  }
}

std::string CmdControlServer::HeartbeatPong(WSClient2* client, std::string const& uuid) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = sessions_.find(uuid);
  if (it != sessions_.end() && it->second.client == client) {
    it->second.time = Now();
    it->second.flag = 0;
  }
  return Reply({{"reply_type", "pong"}});
}

void CmdControlServer::DoHeartbeatCheck() {
  std::lock_guard<std::mutex> lock(mu_);
  if (sessions_.empty()) return;
  LoginInfo& s = sessions_.begin()->second;
  if (Now().tv_sec - s.time.tv_sec > kHeartbeatSeconds) {
    Close(s.client);
    sessions_.clear();
    lcd_area_end_gesture();
  }
}
