// The web-control settings files the application shares with the web-server
// program (JSON files under WebServer/static/) and with the frp relay client
// (its INI file). Paths are relative to the working directory (the instrument
// root). Every read treats the file as untrusted: a missing, damaged or
// oversized file, or a key of the wrong type, gives the defaults or an error,
// and every value read back is bounded in length.
#pragma once
#include <optional>
#include <string>
#include <vector>

// Relay settings as the web page sends and shows them: the relay server's
// address and the remote ports of the page, picture and command servers
// (decimal strings).
struct frpc_info {
  std::string server_ip;
  std::string web_port;
  std::string pic_port;
  std::string ctrl_port;
};

// The login stored in the password file.
struct web_login {
  std::string user_name;
  std::string password;
};

// The factory relay settings: the relay service's address, remote ports 9000,
// 9002 and 9001.
extern const frpc_info kFactoryRelay;

extern const char kWebPasswordFile[];          // "WebServer/static/password.json"
extern const char kWebPasswordRememberFile[];  // "WebServer/static/password_remember.json"
extern const char kWebConfigFile[];            // "WebServer/static/config.json"
extern const char kFrpcIniFile[];              // "frp/frp_0.34.0_linux_arm/frpc.ini"

// Longest password, relay address or value read back that is accepted.
constexpr size_t kWebSettingMax = 255;
// Settings files larger than this are treated as damaged.
constexpr size_t kWebFileMax = 64 * 1024;

// Rewrites the password file with user "admin" and `password`. Returns the
// reply {"reply_type":"web_control_password_config","status":...}: "success"
// when written, "failed" when the password is longer than kWebSettingMax or
// the file could not be written (it is then left as it was).
std::string modify_web_control_password(std::string const& password);

// Rewrites the remember file with {"password_remember":flag}; no reply ("").
std::string modify_web_control_password_remember(bool flag);

// Rewrites the web configuration file: "show_material_download_page" false
// and the three ports of `info`. False, with the file untouched, when a port
// is not a decimal number from 1 to 65535 or the file cannot be written.
bool modify_web_proxy_config(frpc_info const& info);

// Rewrites the relay client's INI file with the address and remote ports of
// `info` (sections of the page, picture and command servers in this order).
// False, with the file untouched, when the address is empty, too long or not
// a plain host name or address, a port is not a number from 1 to 65535, or
// the file cannot be written.
bool save_frp_config(frpc_info const& info);

// Names of the "[...]" lines of the INI file, in file order.
std::vector<std::string> get_section_name();

// The relay settings read back from the INI file: the "common" section's
// server address and the "remote_port" of the second, third and fourth
// sections ("default" when missing). All empty unless the file has exactly
// four sections.
frpc_info get_frp_config();

// The login of the password file; none when the file is missing, damaged,
// oversized, or lacks a string "user_name" or "password".
std::optional<web_login> read_web_password();

// The factory contents of the password, web configuration and INI files.
void write_web_factory_files();

// Restarts the relay client so it reads its INI file again.
void restart_frp_client();
