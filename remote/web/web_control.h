// Web control: the command-control server on websocket port 9001 (JSON
// requests, one logged-in session, the bridge to the SCPI queue), the screen
// picture server on port 9002 (a JPEG of the shown screen per message) and
// the hooks through which they see the screen above this layer.
#pragma once
#include <sys/time.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

struct WSServerState_;
struct WSClient2;
struct WebScreenView;

// What the servers need from the layers above: the shown page and what lies on it.
struct WebControlHooks {
  // Copies the page on show (800 x 480 words 0x00RRGGBB) into `page`; false when none.
  bool (*screen)(uint32_t* page);
  // Fills what the screen input needs to know of the screen; false when it cannot.
  bool (*view)(WebScreenView* out);
};
void SetWebControlHooks(const WebControlHooks* hooks);
const WebControlHooks* GetWebControlHooks();

// One logged-in session.
struct LoginInfo {
  std::string uuid;
  std::string user_name;
  std::string password;
  WSClient2* client = nullptr;  // null once its connection has gone
  timeval time{};               // login or last ping
  uint8_t flag = 0;
};

struct lan_info {
  std::string type, ip, mask, gateway;
};
struct basic_info {
  std::string manufacturer, model, sn, firmware_version, ip, mask, gateway, mac;
};

// What wrong passwords cost a client address: after a failure, logins from
// it are refused unchecked for a wait that doubles with each failure (1 s,
// 2 s, 4 s, ... at most kLongestUs), so guessing is slow while the owner,
// after a slip, waits seconds at most half a minute; a success forgets the
// failures.
class LoginPenalty {
 public:
  static constexpr int64_t kFirstUs = 1000000;
  static constexpr int64_t kLongestUs = 30000000;
  static constexpr size_t kAddressesKept = 256;  // the longest-waiting go first beyond

  // True when a login from `address` is checked now.
  bool Allowed(const std::string& address, int64_t nowUs) const;
  void Failed(const std::string& address, int64_t nowUs);
  void Succeeded(const std::string& address);

 private:
  struct Record {
    int failures = 0;
    int64_t notBeforeUs = 0;
  };
  std::map<std::string, Record> records_;
};

class CmdControlServer {
 public:
  // Seconds without a ping after which the session is dropped.
  static constexpr int kHeartbeatSeconds = 9;

  // The reply to one request from `client` ("" for none). May close `client`.
  std::string ProcessRequest(WSClient2* client, std::string const& text);
  // Once a second: drops a session silent for more than kHeartbeatSeconds.
  void DoHeartbeatCheck();
  // A connection has gone: the session no longer holds it, and a gesture it
  // left open on the screen input ends.
  void ClientGone(WSClient2* client);
  std::string GetLoginUuid();
  // The server's loop has ended: no session, no server.
  void Stopped();

  WSServerState_* server = nullptr;

 private:
  std::string LoginVerify(WSClient2* client, std::string const& uuid, std::string const& user,
                          std::string const& password);
  void Signout(WSClient2* client, std::string const& uuid);
  std::string HeartbeatPong(WSClient2* client, std::string const& uuid);
  void Close(WSClient2* client);

  std::mutex mu_;
  std::map<std::string, LoginInfo> sessions_;  // at most one entry
  LoginPenalty penalty_;                       // under mu_
};

extern CmdControlServer cmdControlServer;

// Starts the command server's thread; 0, or the thread error.
int CmdCtrlServerStart();
// What the two servers listen on, for the start-up's summary of served ports.
enum class WebServerKind { kCommands, kPictures };
struct WebServerAddress {
  enum State { kStarting, kListening, kFailed } state = kStarting;
  std::string host;
  std::string port;  // the port listened on, or the one that could not be taken
};
WebServerAddress GetWebServerAddress(WebServerKind kind);
// Called on a server's thread once it listens or has failed to: records the
// address and, on a failure, says which port and how to move it.
void NoteWebServerListening(WebServerKind kind, const WSServerState_* server);
// Starts the picture server's thread; 0, or the thread error.
int PicServerStart();

// The bridge to the SCPI engine.
// Posts a command line (at most 1,023 characters) as the web transport; true when posted.
bool send_scpi_cmd(std::string const& cmd);
// Posts the ":KEY:" command of a web button name; false for an unknown name.
bool send_scpi_btn_code(std::string const& name);
// The answer to a query line without its line end; false when none came.
bool query_scpi(std::string const& cmd, std::string* answer);
// The SCPI key command of each web button name.
extern const std::map<std::string, std::string> ScpiCmdMap;

// The request handlers' replies (compact JSON text, keys in a fixed order).
std::string get_info();
std::string get_lan_info();
std::string get_led_status();
std::string config_lan(lan_info const& info);
std::string set_frp_config(struct frpc_info const& info);

// The picture of the shown screen as a JPEG (quality 80, 4:2:0); empty on
// failure. The bytes lie in a buffer the calling thread keeps for its next
// picture: valid until that thread's next call.
struct JpegPicture {
  const unsigned char* bytes = nullptr;
  size_t length = 0;
  const unsigned char* data() const { return bytes; }
  size_t size() const { return length; }
};
JpegPicture bmp_to_jpeg(const uint32_t* page);
// Writes WebServer/static/language.json for the current language.
void configWebLanguage();
