// The screen picture server: every message on websocket port 9002 is answered
// with one JPEG of the screen as it is shown at that moment.
#include <turbojpeg.h>

#include <cstdio>
#include <vector>

#include "platform/thread.h"
#include "remote/web/web_control.h"
#include "remote/ws/ws_server.h"

namespace {
constexpr int kWidth = 800, kHeight = 480;
constexpr int kPitch = kWidth * 4;
constexpr int kQuality = 80;

WSServerState_* picServer = nullptr;
std::vector<uint32_t> g_read_from_screen(size_t(kWidth) * kHeight);

// The shown page, or null when there is none.
const uint32_t* get_lcd_bmp() {
  const WebControlHooks* h = GetWebControlHooks();
  if (!h || !h->screen || !h->screen(g_read_from_screen.data())) return nullptr;
  return g_read_from_screen.data();
}

int OnOpen(WSPipeOut_*, WSClient_* client) { return client ? 0 : -1; }
int OnClose(WSPipeOut_*, WSClient_*) { return 0; }

int OnMessage(WSPipeOut_*, WSClient_* client) {
  if (!client) return -1;
  const uint32_t* picture = get_lcd_bmp();
  if (!picture) return -1;
  const JpegPicture jpeg = bmp_to_jpeg(picture);
  if (client->status != 0) return -1;  // busy or going: this picture is dropped
  return ws_send_data(client, WS_OPCODE_BIN, reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
}

void* PicServerThreadFunc(void*) {
  picServer = ws_init("0.0.0.0", "9002");
  picServer->onopen = OnOpen;
  picServer->onclose = OnClose;
  picServer->onmessage = OnMessage;
  picServer->onlisten = [](WSServerState_* server) { NoteWebServerListening(WebServerKind::kPictures, server); };
  if (ws_start(picServer) < 0) std::printf("PicServer: the picture server could not run\n");
  ws_stop(picServer);
  picServer = nullptr;
  return nullptr;
}

// One compressor per thread, made on first use and kept, with the buffer it
// encodes into: as large as any picture of the screen can be, so the library
// never allocates or grows it.
struct Compressor {
  tjhandle handle = tjInitCompress();
  unsigned long capacity = tjBufSize(kWidth, kHeight, TJSAMP_420);
  unsigned char* buffer = tjAlloc(int(capacity));
  ~Compressor() {
    if (handle) tjDestroy(handle);
    tjFree(buffer);
  }
};
}  // namespace

JpegPicture bmp_to_jpeg(const uint32_t* page) {
  thread_local Compressor c;
  if (!page || !c.handle || !c.buffer) return {};
  unsigned char* out = c.buffer;
  unsigned long size = c.capacity;
  // 0x00RRGGBB words are the bytes B, G, R, 0 in memory.
  if (tjCompress2(c.handle, reinterpret_cast<const unsigned char*>(page), kWidth, kPitch, kHeight, TJPF_BGRX, &out,
                  &size, TJSAMP_420, kQuality, TJFLAG_NOREALLOC) != 0 ||
      out != c.buffer)
    return {};
  return {c.buffer, size_t(size)};
}

int PicServerStart() { return plat::StartThread("PicServer", PicServerThreadFunc, nullptr); }
