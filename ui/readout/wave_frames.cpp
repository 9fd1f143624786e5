// The remote viewer's frames: the JSON description of the channels, the
// per-channel trace frames, the two-byte screen frame and the colour tables.
// Every frame is a 96-byte header (with the MD5 of its payload) and the
// payload, sent LZO1X-1 compressed. Compressed output is sent with its own
// length even when it is not shorter than its input (LZO output is valid at
// any length); a compression that fails sends nothing.
#include <cjson/cJSON.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "acquisition/engine/wave.h"
#include "ui/readout/wave_scpi.h"
#include "acquisition/models/x_system.h"
#include "acquisition/models/y_system.h"
#include "core/board/control.h"
#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "remote/codec/lzo_compress.h"
#include "remote/codec/md5.h"
#include "remote/scpi/scpi.h"
#include "ui/screen/qel_draw.h"

namespace {
constexpr size_t kHeaderBytes = 96;
constexpr size_t kTraceBytes = _wave::kTraceBytes;
constexpr size_t kRasterBytes = kQelRasterBytes;
constexpr size_t kScreenFrameBytes = 2 * kRasterBytes;
constexpr int kPaletteEntries = 256;
constexpr size_t kColorBytes = 2 * kPaletteEntries * sizeof(int32_t);

enum Kind : uint8_t { kKindTrace = 0, kKindScreen = 4, kKindColors = 5 };

const char* const kProbeLabels[] = {"0.001X", "0.01X", "0.1X", "1X", "10X", "100X", "1000X"};
constexpr int kUserProbe = 7;
const char* const kUnitLabels[] = {"mV", "mA", "mW", "mU"};

uint8_t GrayTabAddCh[kScreenFrameBytes];
int32_t Color[2 * kPaletteEntries];
int frameCounter = 0;

_SysRunInfoOp& Run() { return *SystemResource.runStatus; }

void PutU32(uint8_t* at, uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = uint8_t(v >> (8 * i));
}

// The frame header in front of `payload`.
void Header(uint8_t* h, uint8_t source, bool data, Kind kind, uint32_t counter, const uint8_t* payload,
            size_t length) {
  std::memset(h, 0, kHeaderBytes);
  h[0] = source;
  h[1] = data ? 1 : 0;
  h[2] = kind;
  h[3] = 3;
  PutU32(h + 4, 1);
  PutU32(h + 8, counter);
  PutU32(h + 12, uint32_t(length));
  MD5Calc(const_cast<unsigned char*>(payload), int(length), h + 16);
  h[32] = kind == kKindTrace ? 8 : 0;
}

// Compresses `message` and sends it as a definite-length block.
void SendCompressed(const uint8_t* message, size_t length) {
  std::vector<uint8_t> out(LzoWorstCase(length));
  size_t size = 0;
  const int r = LzoCompress(message, length, out.data(), &size);
  if (r != kLzoDone && r != kLzoIncompressible) return;
  SystemResource.scpiEngine->WriteResponseDataRaw(reinterpret_cast<const char*>(out.data()), int(size));
}

std::string Text(const char* format, double v) {
  char s[48];
  std::snprintf(s, sizeof s, format, v);
  return s;
}
std::string Whole(double v) { return std::to_string(std::llround(v)); }

void AddChannel(cJSON* list, int ch) {
  cJSON* o = cJSON_CreateObject();
  const double div = TimeBase.GetTimeBaseDivTime(TimeBase.GetRealTimeBase(0));
  const int probe = Vertical.GetYRealprobe(ch);
  const int unit = Vertical.GetChUnit(ch);
  const std::string probeText = probe >= 0 && probe < kUserProbe
                                    ? kProbeLabels[probe]
                                    : Text("%.3fX", double(Vertical.GetReal_ProbeScale(ch)));
  const std::string rows[][2] = {
      {"Channel", std::to_string(ch + 1)},
      {"SampleRate", Whole(div * 1e12 / 50)},
      {"xStart", "0"},
      {"xEnd", "700"},
      {"xScale", Whole(div * 1e12)},
      {"yZero", "127"},
      {"yScale", Text("%.3f", double(Vertical.GetRealYDivVoltage(ch)) * 1000)},
      {"TriggerTime", Whole(TimeBase.GetRealPreTrigTime(0) * 1e12)},
      {"Trigger", std::to_string(TimeBase.GetRealPreTrigDepthScreenPos(0))},
      {"Invert", std::to_string(Vertical.GetYInvert(ch))},
      {"Depth", "1400"},
      {"Probe", probeText},
      {"Unit", unit >= 0 && unit < 4 ? kUnitLabels[unit] : ""},
  };
  for (const auto& r : rows) cJSON_AddStringToObject(o, r[0].c_str(), r[1].c_str());
  cJSON_AddItemToArray(list, o);
}

// The description of the channels in `mask` (bit 0 CH1), with CR LF.
std::string Description(int mask) {
  cJSON* root = cJSON_CreateObject();
  cJSON* list = cJSON_AddArrayToObject(root, "CHANNEL_PARAM");
  for (int ch = 0; ch < 2; ++ch)
    if (mask >> ch & 1) AddChannel(list, ch);
  cJSON* display = cJSON_AddObjectToObject(root, "DISPLAY_PARAM");
  const char* const rows[][2] = {{"xGrid", "14"}, {"yGrid", "8"},  {"xMid", "350"},  {"yMid", "200"},
                                 {"xPix", "50"},  {"yPix", "50"},  {"yStart", "28"}, {"yEnd", "228"}};
  for (const auto& r : rows) cJSON_AddStringToObject(display, r[0], r[1]);
  char* printed = cJSON_PrintUnformatted(root);
  std::string text = printed ? printed : "";
  cJSON_free(printed);
  cJSON_Delete(root);
  return text + "\r\n";
}

void TransmitData(int ch) {
  uint8_t trace[kTraceBytes] = {};
  waveinfor info{};
  info.flags = kWaveReqCopy | kWaveReqTrace;
  info.chMask = uint16_t(1 << ch);
  info.buffer[ch] = trace;
  info.count[ch] = int32_t(kTraceBytes);
  WaveOp.RequestWaveData(&info);
  if (Run().GetAcquireStatus(0) != kAcqStopped) {
    Run().ClearInterruptFlag();
    SystemResource.draw->ClearQelPicture();
    SystemResource.board->SysSample();
  }
  std::vector<uint8_t> packed(LzoWorstCase(kTraceBytes));
  size_t packedSize = 0;
  const int r = LzoCompress(trace, kTraceBytes, packed.data(), &packedSize);
  if (r != kLzoDone && r != kLzoIncompressible) return;
  const std::string json = Description(1 << ch);
  std::vector<uint8_t> message(json.size() + kHeaderBytes + packedSize);
  std::memcpy(message.data(), json.data(), json.size());
  Header(message.data() + json.size(), uint8_t(ch + 1), true, kKindTrace, 1, packed.data(), packedSize);
  std::memcpy(message.data() + json.size() + kHeaderBytes, packed.data(), packedSize);
  SendCompressed(message.data(), message.size());
}

void SendDescription() {
  const std::string json = Description(Run().GetChStatus() & 3);
  SystemResource.scpiEngine->WriteResponseDataPure(json.data(), int(json.size()));
  frameCounter = 0;
}
}  // namespace

void Scpi_Waveform_TransmitData1(scpi_para*, char*) { TransmitData(0); }
void Scpi_Waveform_TransmitData2(scpi_para*, char*) { TransmitData(1); }

void Scpi_Waveform_Frame(scpi_para*, char*) {
  uint8_t* map = nullptr;
  if (SystemResource.draw->GetQelGrayscaleInfo(&map, 0, nullptr) < 0 || !map) return;
  const int on = Run().GetChStatus() & 3;
  if (on) {
    std::lock_guard<std::recursive_mutex> lock(WaveOp.ReadLock());
    for (size_t i = 0; i < kRasterBytes; ++i) {
      const uint8_t b = map[i];
      uint8_t* w = GrayTabAddCh + 2 * i;
      if (on == 3) {
        w[0] = uint8_t(b << 1);
        w[1] = uint8_t(b >> 7);
      } else {
        w[0] = b;
        w[1] = on == 1 ? 0 : 1;
      }
    }
  }
  ++frameCounter;
  std::vector<uint8_t> message(kHeaderBytes + kScreenFrameBytes);
  Header(message.data(), 1, true, kKindScreen, uint32_t(frameCounter), GrayTabAddCh, kScreenFrameBytes);
  std::memcpy(message.data() + kHeaderBytes, GrayTabAddCh, kScreenFrameBytes);
  SendCompressed(message.data(), message.size());
}

void Scpi_Waveform_FrameColor(scpi_para*, char*) {
  std::printf("Scpi_Waveform_FrameColor\n");
  for (int ch = 0; ch < 2; ++ch) {
    int* palette = nullptr;
    if (SystemResource.draw->GetQelGrayscaleInfo(nullptr, short(ch), &palette) < 0 || !palette) return;
    std::memcpy(Color + ch * kPaletteEntries, palette, kPaletteEntries * sizeof(int32_t));
    Color[ch * kPaletteEntries] = 0;
  }
  std::vector<uint8_t> message(kHeaderBytes + kColorBytes);
  const uint8_t* payload = reinterpret_cast<const uint8_t*>(Color);
  Header(message.data(), 1, false, kKindColors, 1, payload, kColorBytes);
  std::memcpy(message.data() + kHeaderBytes, payload, kColorBytes);
  SendCompressed(message.data(), message.size());
}

void Scpi_Waveform_FrameStart(scpi_para*, char*) {
  std::printf("Scpi_Waveform_FrameStart\n");
  SendDescription();
}

void Scpi_Waveform_FrameEnd(scpi_para*, char*) { SendDescription(); }
