// The command server's bridge to the SCPI engine (button names to key
// commands, queries and their answers) and the requests built on it.
#include <boost/json.hpp>

#include <cstring>

#include "platform/clock.h"
#include "platform/shell.h"
#include "remote/scpi/scpi_client.h"
#include "remote/scpi/scpi_msg.h"
#include "remote/web/web_control.h"
#include "remote/web/web_settings.h"

namespace json = boost::json;

const std::map<std::string, std::string> ScpiCmdMap = {
    {"PrtSc", ":KEY:PSCReen\n"},
    {"MENU", ":KEY:MENu\n"},
    {"F1", ":KEY:F1\n"},
    {"F2", ":KEY:F2\n"},
    {"F3", ":KEY:F3\n"},
    {"F4", ":KEY:F4\n"},
    {"F5", ":KEY:F5\n"},
    {"MULTI BTN LEFT", ":KEY:FKNLeft\n"},
    {"MULTI BTN RIGHT", ":KEY:FKNRight\n"},
    {"MULTI BTN CLICKED", ":KEY:FKNob\n"},
    {"MEASURE", ":KEY:MEASure\n"},
    {"CURSOR", ":KEY:CURSor\n"},
    {"ACQUIRE", ":KEY:ACQuire\n"},
    {"DISPLAY", ":KEY:DISPlay\n"},
    {"STORAGE", ":KEY:STORage\n"},
    {"UTILITY", ":KEY:UTILity\n"},
    {"RUN_STOP", ":KEY:RS\n"},
    {"AUTO", ":KEY:AUTO\n"},
    {"V POS UP", ":KEY:VPKNRight\n"},
    {"V POS DOWN", ":KEY:VPKNLeft\n"},
    {"V POS CLICKED", ":KEY:VPKNob\n"},
    {"MATH", ":KEY:MATH\n"},
    {"V SCALE DEC", ":KEY:VBKNRight\n"},
    {"V SCALE INC", ":KEY:VBKNLeft\n"},
    {"V SCALE CLICKED", ":KEY:VBKNob\n"},
    {"CH1", ":KEY:CH1\n"},
    {"CH2", ":KEY:CH2\n"},
    {"H POS LEFT", ":KEY:HPKNRight\n"},
    {"H POS RIGHT", ":KEY:HPKNLeft\n"},
    {"H POS CLICKED", ":KEY:HPKNob\n"},
    {"HORI_MENU", ":KEY:HMENu\n"},
    {"H SCALE DEC", ":KEY:TBKNRight\n"},
    {"H SCALE INC", ":KEY:TBKNLeft\n"},
    {"H SCALE CLICKED", ":KEY:TBKNob\n"},
    {"DECODE", ":KEY:DECode\n"},
    {"TRIG LEVEL UP", ":KEY:TPKNRight\n"},
    {"TRIG LEVEL DOWN", ":KEY:TPKNLeft\n"},
    {"TRIG LEVEL CLICKED", ":KEY:TPKNob\n"},
    {"TRIG_MENU", ":KEY:TMENu\n"},
    {"DEFAULT", ":KEY:DEFault\n"},
    {"HELP", ":KEY:HELP\n"},
};

namespace {
constexpr size_t kBridgeTextMax = 1023;  // the bridge's 1,024-byte message, its NUL included
constexpr int kAnswerTimeoutMs = 1000;   // an answer is waited for, not guessed after 50 ms
constexpr int64_t kRestartPauseMs = 100;
constexpr char kFrpcStart[] = "frp/frp_0.34.0_linux_arm/frpc -c frp/frp_0.34.0_linux_arm/frpc.ini  &";

std::string Status(const char* type, bool ok) {
  json::object o;
  o["reply_type"] = type;
  o["status"] = ok ? "success" : "failed";
  return json::serialize(o);
}

// "a,b,c" at each separator.
std::vector<std::string> string_split(std::string const& text, char separator) {
  std::vector<std::string> out(1);
  for (char c : text) {
    if (c == separator)
      out.emplace_back();
    else
      out.back() += c;
  }
  return out;
}

// The answer's text without surrounding quotes.
std::string Unquoted(std::string s) {
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  return s;
}

bool QueryLan(basic_info* b) {
  return query_scpi(":SYSTem:COMMunicate:LAN:IPADdress?\n", &b->ip) &&
         query_scpi(":SYSTem:COMMunicate:LAN:SMASK?\n", &b->mask) &&
         query_scpi(":SYSTem:COMMunicate:LAN:GATEway?\n", &b->gateway);
}
}  // namespace

bool send_scpi_cmd(std::string const& cmd) {
  if (cmd.empty() || cmd.size() > kBridgeTextMax || cmd.find('\0') != std::string::npos) return false;
  ScpiQuery(cmd, kScpiSourceTransport, 0);  // posts only
  return true;
}

bool send_scpi_btn_code(std::string const& name) {
  std::printf("send_scpi_btn_code called\n");
  auto it = ScpiCmdMap.find(name);
  if (it == ScpiCmdMap.end()) return false;
  std::printf("send_scpi_btn_code: %s", it->second.c_str());
  return send_scpi_cmd(it->second);
}

bool query_scpi(std::string const& cmd, std::string* answer) {
  if (cmd.empty() || cmd.size() > kBridgeTextMax) return false;
  std::string a = ScpiQuery(cmd, kScpiSourceTransport, kAnswerTimeoutMs);
  while (!a.empty() && (a.back() == '\n' || a.back() == '\r')) a.pop_back();
  if (a.empty()) return false;
  *answer = a;
  return true;
}

std::string get_info() {
  std::string idn;
  if (!query_scpi("*IDN?\n", &idn)) return Status("info", false);
  const std::vector<std::string> f = string_split(idn, ',');
  basic_info b;
  if (f.size() != 4 || !QueryLan(&b) || !query_scpi(":SYSTem:COMMunicate:LAN:MAC?\n", &b.mac))
    return Status("info", false);
  json::object o;
  o["reply_type"] = "info";
  o["status"] = "success";
  o["manufactures"] = f[0];
  o["model"] = f[1];
  o["sn"] = f[2];
  o["firmware_version"] = f[3];
  o["ip"] = Unquoted(b.ip);
  o["mask"] = Unquoted(b.mask);
  o["gateway"] = Unquoted(b.gateway);
  o["mac"] = Unquoted(b.mac);
  return json::serialize(o);
}

std::string get_lan_info() {
  std::string dhcp;
  basic_info b;
  if (!query_scpi(":SYSTem:COMMunicate:LAN:DHCP?\n", &dhcp) || !QueryLan(&b)) return Status("lan_info", false);
  const frpc_info frp = get_frp_config();
  json::object o;
  o["reply_type"] = "lan_info";
  o["status"] = "success";
  o["type"] = dhcp.find('1') != std::string::npos ? "DHCP" : "STATIC";
  o["ip"] = Unquoted(b.ip);
  o["mask"] = Unquoted(b.mask);
  o["gateway"] = Unquoted(b.gateway);
  o["frp_server_ip"] = frp.server_ip;
  o["web_port"] = frp.web_port;
  o["pic_port"] = frp.pic_port;
  o["ctrl_port"] = frp.ctrl_port;
  return json::serialize(o);
}

std::string get_led_status() {
  std::string led;
  constexpr size_t kLeds = 4;  // channel 1, channel 2, math, running
  if (!query_scpi(":KEY:LED?\n", &led) || led.size() < kLeds) {
    json::object o;
    o["reply_type"] = "led_status";
    o["status"] = "failed";
    return json::serialize(o);
  }
  json::object o;
  o["reply_type"] = "led_status";
  o["run"] = led[3] == '0' ? "off" : "on";
  o["math"] = led[2] == '1' ? "on" : "off";
  o["ch1"] = led[0] == '1' ? "on" : "off";
  o["ch2"] = led[1] == '1' ? "on" : "off";
  return json::serialize(o);
}

namespace {
// A dotted IPv4 address: four decimal fields of 0 to 255, nothing else.
bool DottedAddress(const std::string& text, uint32_t* out) {
  uint32_t value = 0;
  size_t pos = 0;
  for (int field = 0; field < 4; ++field) {
    if (field > 0 && (pos >= text.size() || text[pos++] != '.')) return false;
    unsigned n = 0;
    size_t digits = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 4; ++pos, ++digits)
      n = n * 10 + unsigned(text[pos] - '0');
    if (digits == 0 || digits > 3 || n > 255) return false;
    value = value << 8 | n;
  }
  *out = value;
  return pos == text.size();
}

// Every field of a static configuration checked before any is sent: the
// address, gateway and mask dotted, the mask's ones contiguous from the left.
bool StaticLanValid(lan_info const& info) {
  uint32_t ip, mask, gateway;
  if (!DottedAddress(info.ip, &ip) || !DottedAddress(info.mask, &mask) ||
      !DottedAddress(info.gateway, &gateway))
    return false;
  const uint32_t host = ~mask;
  return mask != 0 && (host & (host + 1)) == 0;
}
}  // namespace

std::string config_lan(lan_info const& info) {
  if (info.type == "DHCP") return Status("lan_config", send_scpi_cmd(":SYSTem:COMMunicate:LAN:DHCP ON\n"));
  // A refused configuration changes nothing: no command is sent.
  if (!StaticLanValid(info)) return Status("lan_config", false);
  const std::string cmds[] = {
      ":SYSTem:COMMunicate:LAN:DHCP OFF\n",
      ":SYSTem:COMMunicate:LAN:IPADdress \"" + info.ip + "\"\n",
      ":SYSTem:COMMunicate:LAN:SMASK \"" + info.mask + "\"\n",
      ":SYSTem:COMMunicate:LAN:GATEway \"" + info.gateway + "\"\n",
      ":SYSTem:COMMunicate:LAN:APPLy\n",
  };
  for (const std::string& c : cmds)
    if (!send_scpi_cmd(c)) return Status("lan_config", false);
  // Taken only when the instrument reports the new address back.
  basic_info b;
  if (!QueryLan(&b) || Unquoted(b.ip) != info.ip || Unquoted(b.mask) != info.mask ||
      Unquoted(b.gateway) != info.gateway)
    return Status("lan_config", false);
  plat::ShellSystem("killall webserver");
  plat::SleepMs(kRestartPauseMs);
  plat::ShellSystem("./WebServer/webserver &");
  plat::ShellSystem("killall frpc");
  plat::SleepMs(kRestartPauseMs);
  plat::ShellSystem(kFrpcStart);
  plat::SleepMs(kRestartPauseMs);
  plat::ShellSystem("/etc/init.d/networking restart");
  return Status("lan_config", true);
}

std::string set_frp_config(frpc_info const& info) {
  if (!save_frp_config(info)) return Status("frp_config", false);
  plat::ShellSystem("killall frpc");
  plat::SleepMs(kRestartPauseMs);
  plat::ShellSystem(kFrpcStart);
  return Status("frp_config", modify_web_proxy_config(info));
}
