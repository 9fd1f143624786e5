#include "remote/web/web_settings.h"

#include <boost/json.hpp>

#include "platform/clock.h"
#include "platform/shell.h"
#include "remote/web/web_settings_io.h"

namespace json = boost::json;

const char kWebPasswordFile[] = "WebServer/static/password.json";
const char kWebPasswordRememberFile[] = "WebServer/static/password_remember.json";
const char kWebConfigFile[] = "WebServer/static/config.json";

namespace {

const char kFactoryPassword[] = "zad-i";

// The object of a JSON settings file; none when missing, damaged or not an object.
std::optional<json::object> ReadJsonObject(const char* path) {
  const auto text = ReadWebSettingsFile(path);
  if (!text) return std::nullopt;
  json::error_code ec;
  json::value value = json::parse(*text, ec);
  if (ec || !value.is_object()) return std::nullopt;
  return std::move(value.as_object());
}

// Sets `values` in the file's object, keeping the keys of the web-server
// program's own; a missing or damaged file starts from an empty object.
bool RewriteJsonFile(const char* path, const json::object& values) {
  json::object object = ReadJsonObject(path).value_or(json::object());
  for (const auto& entry : values) object[entry.key()] = entry.value();
  return WriteWebSettingsFile(path, json::serialize(object));
}

json::object PasswordObject(const std::string& password) {
  return {{"user_name", "admin"}, {"password", password}};
}

json::object ConfigObject(bool showDownloadPage, unsigned web, unsigned pic, unsigned ctrl) {
  return {{"show_material_download_page", showDownloadPage},
          {"proxy_web_port", web},
          {"proxy_pic_port", pic},
          {"proxy_ctrl_port", ctrl}};
}

// A string member no longer than kWebSettingMax.
std::optional<std::string> BoundedString(const json::object& object, const char* key) {
  const json::value* value = object.if_contains(key);
  if (!value || !value->is_string() || value->as_string().size() > kWebSettingMax)
    return std::nullopt;
  return std::string(value->as_string());
}

}  // namespace

std::string modify_web_control_password(std::string const& password) {
  const bool written = password.size() <= kWebSettingMax &&
                       RewriteJsonFile(kWebPasswordFile, PasswordObject(password));
  return json::serialize(json::object{{"reply_type", "web_control_password_config"},
                                      {"status", written ? "success" : "failed"}});
}

std::string modify_web_control_password_remember(bool flag) {
  RewriteJsonFile(kWebPasswordRememberFile, {{"password_remember", flag}});
  return "";
}

bool modify_web_proxy_config(frpc_info const& info) {
  const auto web = ParseWebPort(info.web_port);
  const auto pic = ParseWebPort(info.pic_port);
  const auto ctrl = ParseWebPort(info.ctrl_port);
  if (!web || !pic || !ctrl) return false;
  return RewriteJsonFile(kWebConfigFile, ConfigObject(false, *web, *pic, *ctrl));
}

std::optional<web_login> read_web_password() {
  const auto object = ReadJsonObject(kWebPasswordFile);
  if (!object) return std::nullopt;
  auto user = BoundedString(*object, "user_name");
  auto password = BoundedString(*object, "password");
  if (!user || !password) return std::nullopt;
  return web_login{std::move(*user), std::move(*password)};
}

void write_web_factory_files() {
  WriteWebSettingsFile(kWebPasswordFile, json::serialize(PasswordObject(kFactoryPassword)));
  WriteWebSettingsFile(kWebConfigFile, json::serialize(ConfigObject(true, 9000, 9002, 9001)));
  save_frp_config(kFactoryRelay);
}

void restart_frp_client() {
  plat::ShellSystem("killall frpc");
  plat::SleepMs(100);
  plat::ShellSystem("frp/frp_0.34.0_linux_arm/frpc -c frp/frp_0.34.0_linux_arm/frpc.ini  &");
}
