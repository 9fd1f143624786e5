// The relay client's INI file: written line by line, read back with the INI
// reader.
// The file is plain ASCII/UTF-8 and read with the narrow reader only.
#define SI_NO_CONVERSION
#include <SimpleIni.h>

#include <set>

#include "remote/web/web_settings.h"
#include "remote/web/web_settings_io.h"

const char kFrpcIniFile[] = "frp/frp_0.34.0_linux_arm/frpc.ini";
// The board image sets the relay service's own endpoint here.
const frpc_info kFactoryRelay = {"relay.example.com", "9000", "9002", "9001"};

namespace {

// The proxied servers in the order of their sections, with their local ports.
struct Proxy {
  std::string frpc_info::*remotePort;
  const char* localPort;
};
constexpr Proxy kProxies[] = {
    {&frpc_info::web_port, "9000"},   // page server
    {&frpc_info::pic_port, "9002"},   // picture server
    {&frpc_info::ctrl_port, "9001"},  // command server
};

// A host name or address the INI line can carry as it is: nothing that could
// end the line, open a section or start a comment.
bool PlainHost(const std::string& host) {
  if (host.empty() || host.size() > kWebSettingMax) return false;
  for (const char c : host) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                    c == '.' || c == '-' || c == '_' || c == ':';
    if (!ok) return false;
  }
  return true;
}

bool ValidRelay(const frpc_info& info) {
  if (!PlainHost(info.server_ip)) return false;
  std::set<unsigned> ports;
  for (const Proxy& proxy : kProxies) {
    const auto port = ParseWebPort(info.*proxy.remotePort);
    // Sections are named by their remote port: the three must differ.
    if (!port || !ports.insert(*port).second) return false;
  }
  return true;
}

// Names of the lines that are a whole "[...]" (a CR before the LF and a
// UTF-8 byte-order mark, which the INI reader accepts, are ignored).
std::vector<std::string> SectionNames(std::string text) {
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  std::vector<std::string> names;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    size_t last = end;
    if (last > start && text[last - 1] == '\r') --last;
    if (last - start >= 2 && text[start] == '[' && text[last - 1] == ']')
      names.push_back(text.substr(start + 1, last - start - 2));
    start = end + 1;
  }
  return names;
}

std::string Bounded(const char* value) {
  std::string text(value);
  if (text.size() > kWebSettingMax) text.resize(kWebSettingMax);
  return text;
}

}  // namespace

bool save_frp_config(frpc_info const& info) {
  if (!ValidRelay(info)) return false;
  std::string text = "[common]\n";
  text += "server_addr = " + info.server_ip + "\n";
  text += "server_port = 7000\n";
  text += "login_fail_exit = false\n";
  for (const Proxy& proxy : kProxies) {
    const std::string& port = info.*proxy.remotePort;
    text += "[" + port + "]\n";
    text += "type = tcp\n";
    text += "local_ip = 127.0.0.1\n";
    text += std::string("local_port = ") + proxy.localPort + "\n";
    text += "remote_port = " + port + "\n";
  }
  return WriteWebSettingsFile(kFrpcIniFile, text);
}

std::vector<std::string> get_section_name() {
  return SectionNames(ReadWebSettingsFile(kFrpcIniFile).value_or(""));
}

frpc_info get_frp_config() {
  frpc_info info;
  const auto text = ReadWebSettingsFile(kFrpcIniFile);
  if (!text) return info;
  const std::vector<std::string> names = SectionNames(*text);
  if (names.size() != 4) return info;
  CSimpleIniA ini;
  if (ini.LoadData(text->data(), text->size()) < 0) return info;
  info.server_ip = Bounded(ini.GetValue("common", "server_addr", "default"));
  for (size_t i = 0; i < 3; ++i)
    info.*kProxies[i].remotePort = Bounded(ini.GetValue(names[i + 1].c_str(), "remote_port", "default"));
  return info;
}
