#include "remote/web/web_settings.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/bench/bench.h"
#include "platform/root.h"
#include "platform/shell.h"

namespace {

bool LoginMatches(const std::string& user, const std::string& password) {
  const auto login = read_web_password();
  return login && login->user_name == user && login->password == password;
}

// The INI layout for one address and the remote ports of the page, picture
// and command servers.
std::string FrpcIni(const std::string& host, const char* web, const char* pic, const char* ctrl) {
  std::string text = "[common]\nserver_addr = " + host +
                     "\nserver_port = 7000\nlogin_fail_exit = false\n";
  const char* remote[] = {web, pic, ctrl};
  const char* local[] = {"9000", "9002", "9001"};
  for (int i = 0; i < 3; ++i)
    text += std::string("[") + remote[i] + "]\ntype = tcp\nlocal_ip = 127.0.0.1\nlocal_port = " +
            local[i] + "\nremote_port = " + remote[i] + "\n";
  return text;
}

void ExpectRelay(const frpc_info& info, const char* host, const char* web, const char* pic,
                 const char* ctrl) {
  EXPECT_EQ(info.server_ip, host);
  EXPECT_EQ(info.web_port, web);
  EXPECT_EQ(info.pic_port, pic);
  EXPECT_EQ(info.ctrl_port, ctrl);
}

const char kFactoryConfig[] =
    R"({"show_material_download_page":true,"proxy_web_port":9000,"proxy_pic_port":9002,"proxy_ctrl_port":9001})";

}  // namespace

TEST(WebSettings, FactoryFilesUnderAFreshRoot) {
  Bench bench;
  EXPECT_FALSE(RootFileExists(kWebPasswordFile));
  write_web_factory_files();
  EXPECT_EQ(ReadRootFile(kWebPasswordFile), R"({"user_name":"admin","password":"zad-i"})");
  EXPECT_EQ(ReadRootFile(kWebConfigFile), kFactoryConfig);
  EXPECT_EQ(ReadRootFile(kFrpcIniFile), FrpcIni(kFactoryRelay.server_ip, "9000", "9002", "9001"));
  EXPECT_FALSE(RootFileExists(kWebPasswordRememberFile));
  EXPECT_TRUE(LoginMatches("admin", "zad-i"));
  ExpectRelay(get_frp_config(), kFactoryRelay.server_ip.c_str(), "9000", "9002", "9001");
  EXPECT_EQ(get_section_name(), (std::vector<std::string>{"common", "9000", "9002", "9001"}));
}

TEST(WebSettings, PasswordChangeAndRememberFlag) {
  Bench bench;
  write_web_factory_files();
  EXPECT_EQ(modify_web_control_password("n3w \"pass\"\\"),
            R"({"reply_type":"web_control_password_config","status":"success"})");
  EXPECT_EQ(ReadRootFile(kWebPasswordFile), R"({"user_name":"admin","password":"n3w \"pass\"\\"})");
  EXPECT_TRUE(LoginMatches("admin", "n3w \"pass\"\\"));
  EXPECT_FALSE(LoginMatches("admin", "zad-i"));
  EXPECT_FALSE(LoginMatches("Admin", "n3w \"pass\"\\"));
  // The other files are untouched.
  EXPECT_EQ(ReadRootFile(kWebConfigFile), kFactoryConfig);
  EXPECT_EQ(ReadRootFile(kFrpcIniFile), FrpcIni(kFactoryRelay.server_ip, "9000", "9002", "9001"));

  EXPECT_EQ(modify_web_control_password_remember(true), "");
  EXPECT_EQ(ReadRootFile(kWebPasswordRememberFile), R"({"password_remember":true})");
  modify_web_control_password_remember(false);
  EXPECT_EQ(ReadRootFile(kWebPasswordRememberFile), R"({"password_remember":false})");
  EXPECT_TRUE(LoginMatches("admin", "n3w \"pass\"\\"));
}

TEST(WebSettings, RewritesKeepTheWebServersOwnKeys) {
  Bench bench;
  WriteRootFile(kWebConfigFile,
                R"({"theme":"dark","proxy_pic_port":1,"show_material_download_page":true})");
  ASSERT_TRUE(modify_web_proxy_config({"h", "7001", "7002", "7003"}));
  EXPECT_EQ(ReadRootFile(kWebConfigFile),
            R"({"theme":"dark","proxy_pic_port":7002,"show_material_download_page":false,)"
            R"("proxy_web_port":7001,"proxy_ctrl_port":7003})");
  WriteRootFile(kWebPasswordFile, R"({"password":"x","lang":1})");
  modify_web_control_password("y");
  EXPECT_EQ(ReadRootFile(kWebPasswordFile), R"({"password":"y","lang":1,"user_name":"admin"})");
}

TEST(WebSettings, RelaySettingsWrittenAndReadBack) {
  Bench bench;
  write_web_factory_files();
  ASSERT_TRUE(save_frp_config({"relay.lab.local", "7001", "7002", "7003"}));
  EXPECT_EQ(ReadRootFile(kFrpcIniFile), FrpcIni("relay.lab.local", "7001", "7002", "7003"));
  ExpectRelay(get_frp_config(), "relay.lab.local", "7001", "7002", "7003");
  ASSERT_TRUE(modify_web_proxy_config({"relay.lab.local", "7001", "7002", "7003"}));
  EXPECT_EQ(ReadRootFile(kWebConfigFile),
            R"({"show_material_download_page":false,"proxy_web_port":7001,"proxy_pic_port":7002,"proxy_ctrl_port":7003})");
  EXPECT_TRUE(LoginMatches("admin", "zad-i"));

  // Sections reordered by hand: the ports follow the file's order.
  std::string ini = FrpcIni("10.0.0.9", "7001", "7002", "7003");
  const size_t pic = ini.find("[7002]");
  const size_t ctrl = ini.find("[7003]");
  ini = ini.substr(0, pic) + ini.substr(ctrl) + ini.substr(pic, ctrl - pic);
  WriteRootFile(kFrpcIniFile, ini);
  ExpectRelay(get_frp_config(), "10.0.0.9", "7001", "7003", "7002");

  // CR LF line ends, and a section without its remote port.
  WriteRootFile(kFrpcIniFile, "[common]\r\nserver_addr = a.b\r\n[1]\r\nremote_port = 5\r\n[2]\r\n[3]\r\n");
  ExpectRelay(get_frp_config(), "a.b", "5", "default", "default");
}

TEST(WebSettings, RelaySettingsRefusedLeaveTheFiles) {
  Bench bench;
  write_web_factory_files();
  const std::string ini = ReadRootFile(kFrpcIniFile);
  const frpc_info refused[] = {
      {"", "7001", "7002", "7003"},
      {"h\n[evil]\nplugin = unix_domain_socket", "7001", "7002", "7003"},
      {"h;x", "7001", "7002", "7003"},
      {std::string(kWebSettingMax + 1, 'a'), "7001", "7002", "7003"},
      {"h", "70a1", "7002", "7003"},
      {"h", "7001", "", "7003"},
      {"h", "7001", "7002", "65536"},
      {"h", "0", "7002", "7003"},
      {"h", "7001", "7001", "7003"},
      {"h", "-7001", "7002", "7003"},
      {"h", "99999999999999999999", "7002", "7003"},
  };
  for (const frpc_info& info : refused) {
    EXPECT_FALSE(save_frp_config(info)) << info.server_ip << " " << info.web_port;
    EXPECT_EQ(ReadRootFile(kFrpcIniFile), ini);
  }
  EXPECT_FALSE(modify_web_proxy_config({"h", "x", "7002", "7003"}));
  EXPECT_FALSE(modify_web_proxy_config({"h", "7001", "7002", "65536"}));
  EXPECT_EQ(ReadRootFile(kWebConfigFile), kFactoryConfig);
  EXPECT_TRUE(save_frp_config({"fe80::1", "1", "65535", "22"}));
}

TEST(WebSettings, DamagedPasswordFileFailsEveryLogin) {
  Bench bench;
  EXPECT_FALSE(read_web_password());  // missing
  const std::string damaged[] = {
      "",
      "{\"user_name\":\"admin\",\"password\":\"zad-i\"",
      "[\"admin\",\"zad-i\"]",
      "{\"user_name\":\"admin\"}",
      "{\"user_name\":\"admin\",\"password\":12}",
      "{\"user_name\":null,\"password\":\"zad-i\"}",
      "{\"user_name\":\"admin\",\"password\":\"" + std::string(kWebSettingMax + 1, 'p') + "\"}",
      std::string(100, '[') + std::string(100, ']'),
      "{\"user_name\":\"admin\",\"password\":\"zad-i\",\"pad\":\"" + std::string(kWebFileMax, ' ') + "\"}",
  };
  for (const std::string& text : damaged) {
    WriteRootFile(kWebPasswordFile, text);
    EXPECT_FALSE(read_web_password()) << text.substr(0, 60);
  }
  // A damaged file is replaced whole by the next password change.
  EXPECT_EQ(modify_web_control_password("p"),
            R"({"reply_type":"web_control_password_config","status":"success"})");
  EXPECT_TRUE(LoginMatches("admin", "p"));
  // An overlong password is refused and the file kept.
  EXPECT_EQ(modify_web_control_password(std::string(kWebSettingMax + 1, 'q')),
            R"({"reply_type":"web_control_password_config","status":"failed"})");
  EXPECT_TRUE(LoginMatches("admin", "p"));
  EXPECT_TRUE(modify_web_control_password(std::string(kWebSettingMax, 'q')).find("success") !=
              std::string::npos);
}

TEST(WebSettings, DamagedRelayFileGivesEmptySettings) {
  Bench bench;
  ExpectRelay(get_frp_config(), "", "", "", "");  // missing
  EXPECT_TRUE(get_section_name().empty());
  const std::string damaged[] = {
      "",
      FrpcIni("h", "1", "2", "3") + "[extra]\n",
      "[common]\nserver_addr = h\n[1]\n[2]\n",
      std::string("\0\0\0[\xff]\n", 8),
      FrpcIni("h", "1", "2", "3") + std::string(kWebFileMax, '#'),
  };
  for (const std::string& text : damaged) {
    WriteRootFile(kFrpcIniFile, text);
    ExpectRelay(get_frp_config(), "", "", "", "");
  }
  // Four sections, but no common address and overlong values: bounded.
  const std::string longValue(kWebSettingMax * 4, '7');
  WriteRootFile(kFrpcIniFile, "[x]\n[a b]\nremote_port = " + longValue + "\n[]x]\n[\n]\n[c]\n[d]\n");
  EXPECT_EQ(get_section_name(), (std::vector<std::string>{"x", "a b", "]x", "c", "d"}));
  WriteRootFile(kFrpcIniFile, "[x]\n[a]\nremote_port = " + longValue + "\n[c]\n[d]\n");
  ExpectRelay(get_frp_config(), "default", longValue.substr(0, kWebSettingMax).c_str(), "default",
              "default");
  // A damaged web configuration is replaced by the next proxy change.
  WriteRootFile(kWebConfigFile, "{\"proxy_web_port\":");
  ASSERT_TRUE(modify_web_proxy_config({"h", "9000", "9002", "9001"}));
  EXPECT_EQ(ReadRootFile(kWebConfigFile),
            R"({"show_material_download_page":false,"proxy_web_port":9000,"proxy_pic_port":9002,"proxy_ctrl_port":9001})");
}

TEST(WebSettings, UnwritableFileIsLeftAsItWas) {
  Bench bench;
  write_web_factory_files();
  // A folder in the way of the temporary file stops the write.
  std::filesystem::create_directories(plat::RootDir() + "/" + kWebPasswordFile + ".new/x");
  EXPECT_EQ(modify_web_control_password("other"),
            R"({"reply_type":"web_control_password_config","status":"failed"})");
  EXPECT_TRUE(LoginMatches("admin", "zad-i"));
}

TEST(WebSettings, RelayClientRestartIsRecorded) {
  Bench bench;
  plat::ClearShellLog();
  restart_frp_client();
  EXPECT_EQ(plat::ShellLog(),
            (std::vector<std::string>{
                "killall frpc",
                "frp/frp_0.34.0_linux_arm/frpc -c frp/frp_0.34.0_linux_arm/frpc.ini  &"}));
}
