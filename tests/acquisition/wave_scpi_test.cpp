// The display module's SCPI table through the SCPI thread and its worker:
// the display settings' replies, the screen picture (plain and compressed)
// against the frame buffer, the :WAVeform settings, data blocks and preamble
// against the applied signal, RAW records of 7000 and 70,000 samples, the
// remote-viewer frames; and the LZO wrappers against the library's own
// decompressor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "acquisition/engine/wave.h"
#include "core/state/ids.h"
#include "core/input/rs232.h"
#include "platform/thread.h"
#include "remote/codec/lzo_compress.h"
#include "remote/scpi/scpi.h"
#include "remote/scpi/scpi_client.h"
#include "tests/bench/bench.h"
#include "ui/display/task_display.h"
#include "ui/display/task_display_scpi.h"

namespace {
// The payload of a definite-length block "#<d><len><payload>\r\n"; "" (and a
// failure) for anything else.
std::string Block(const std::string& reply) {
  EXPECT_GE(reply.size(), 4u);
  if (reply.size() < 4 || reply[0] != '#') return "";
  const int digits = reply[1] - '0';
  const size_t len = std::stoul(reply.substr(2, size_t(digits)));
  EXPECT_EQ(reply.size(), 2 + size_t(digits) + len + 2);
  return reply.substr(2 + size_t(digits), len);
}

// The comma-separated fields of a reply.
std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> fields;
  size_t from = 0;
  for (size_t at; (at = text.find(',', from)) != std::string::npos; from = at + 1)
    fields.push_back(text.substr(from, at - from));
  fields.push_back(text.substr(from));
  return fields;
}

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::vector<uint8_t> Unpack(const std::string& packed, size_t capacity) {
  std::vector<uint8_t> out(capacity);
  size_t n = 0;
  EXPECT_EQ(Decompress_New(reinterpret_cast<const uint8_t*>(packed.data()), packed.size(), out.data(),
                           out.size(), &n),
            0);
  out.resize(n);
  return out;
}

struct DisplayScpi : ::testing::Test {
  Bench bench;

  void SetUp() override {
    bench.SetEeprom(FormattedEeprom(6, 0));
    ASSERT_EQ(bench.Start(), 0);
    SetWaveTestSettings();  // 500 us/div, 500 mV/div: the 2 Vpp sine spans codes 77..177
    bench.StopThreads();
    bench.Fpga().SetPacing(plat::SimAcquire::Pacing::kUnpaced);
    ASSERT_EQ(0, StartScpiThread());
  }
  std::string Ask(const std::string& line) { return ScpiQuery(line + "\n", kScpiSourceTransport, 20000); }
  std::string AskText(const std::string& line) {
    std::string r = Ask(line);
    return r.size() >= 2 ? r.substr(0, r.size() - 2) : r;
  }
  void Set(const std::string& line) {
    ScpiQuery(line + "\n", kScpiSourceTransport, 0);
    ASSERT_FALSE(Ask("WAV:MODE?").empty());
  }
  int Item(int n) { return int(TaskDisplay.TaskMenu.GetMenuItem(n)); }
};

TEST(Lzo, ZerosCompressRandomIsIncompressibleAndRoundTrips) {
  std::vector<uint8_t> zeros(kBmpFileBytes, 0), out(LzoWorstCase(kBmpFileBytes));
  size_t size = 0;
  EXPECT_EQ(Compress_New(zeros.data(), out.data(), &size), kLzoDone);
  EXPECT_GT(size, 0u);
  EXPECT_LT(size, 10000u);
  std::vector<uint8_t> back(kBmpFileBytes + 1);
  size_t n = 0;
  ASSERT_EQ(Decompress_New(out.data(), size, back.data(), back.size(), &n), 0);
  EXPECT_EQ(n, kBmpFileBytes);
  EXPECT_TRUE(std::equal(zeros.begin(), zeros.end(), back.begin()));

  std::mt19937 rng(7);
  std::vector<uint8_t> noise(100000);
  for (auto& b : noise) b = uint8_t(rng());
  size = 12345;
  EXPECT_EQ(Compress_New(noise.data(), out.data(), noise.size(), &size), kLzoIncompressible);
  EXPECT_EQ(size, 12345u);  // untouched
  // The sender's wrapper gives the true length, and that output restores the input.
  EXPECT_EQ(LzoCompress(noise.data(), noise.size(), out.data(), &size), kLzoIncompressible);
  EXPECT_GE(size, noise.size());
  EXPECT_LE(size, LzoWorstCase(noise.size()));
  ASSERT_EQ(Decompress_New(out.data(), size, back.data(), back.size(), &n), 0);
  EXPECT_EQ(n, noise.size());
  EXPECT_TRUE(std::equal(noise.begin(), noise.end(), back.begin()));
  // Garbage is no LZO data.
  EXPECT_EQ(Decompress_New(noise.data(), 1000, back.data(), back.size(), &n), -1);
}

TEST(Lzo, ZbmpPaddingRule) {
  const size_t cases[][2] = {{999, 1007}, {998, 1006}, {997, 1005}, {996, 1004}, {995, 999},
                             {487, 495},  {484, 488},  {1511, 1519}, {1512, 1516}};
  for (const auto& c : cases) EXPECT_EQ(ZbmpBlockLength(c[0]), c[1]) << c[0];
}

TEST_F(DisplayScpi, SettingsAnswerTheirKeywordsAndLimits) {
  EXPECT_EQ(Ask("DISPlay:FORMat?"), "VECTors \r\n");
  Set("DISPlay:FORMat DOTS");
  EXPECT_EQ(Ask("DISP:FORM?"), "DOTS \r\n");
  EXPECT_EQ(Item(kDispType), 1);
  Set("DISP:FORM SQUARES");
  EXPECT_EQ(Ask("DISP:FORM?"), "DOTS \r\n");

  Set("DISP:GRID:BRIG 0");
  EXPECT_EQ(AskText("DISP:GRID:BRIG?"), "1");
  Set("DISP:GRID:BRIG 250");
  EXPECT_EQ(AskText("DISP:GRID:BRIG?"), "100");
  EXPECT_EQ(bench.EepromByte(123), 100);
  Set("DISP:WAVE:BRIG 33");
  EXPECT_EQ(AskText("DISPlay:WAVE:BRIGhtness?"), "33");
  Set("DISP:WAVE:BRIG");  // missing: nothing changes
  EXPECT_EQ(AskText("DISP:WAVE:BRIG?"), "33");

  Set("SYSTem:BRIGhtness 5");
  EXPECT_EQ(AskText("SYST:BRIG?"), "10");
  Set("SYST:BRIG 80");
  EXPECT_EQ(AskText("SYST:BRIG?"), "80");

  EXPECT_EQ(AskText("DISP:GRAD:TIME?"), "MINimum");
  Set("DISP:GRAD:TIME 2S");
  EXPECT_EQ(AskText("DISP:GRAD:TIME?"), "2S");
  Set("DISP:GRAD:TIME INF");
  EXPECT_EQ(AskText("DISP:GRAD:TIME?"), "INFinite");

  EXPECT_EQ(AskText("DISP:COLOR?"), "0");
  Set("DISP:COLOR ON");
  EXPECT_EQ(AskText("DISP:COLOR?"), "1");
  Set("DISP:COLOR:INVERt 1");
  EXPECT_EQ(AskText("DISP:COLOR:INVER?"), "1");

  Set("SYSTem:MNUDisplay 2");
  EXPECT_EQ(AskText("SYST:MNUD?"), "20S");
  Set("SYST:MNUD 5S");
  EXPECT_EQ(AskText("SYST:MNUD?"), "5S");

  EXPECT_EQ(AskText("KEY:DISP:LOCK?"), "0");
  Set("KEY:DISPlay:LOCK ON");
  EXPECT_EQ(KeyBoard.KeyValueIsLock(kKeyDisplay), 1);
  EXPECT_EQ(AskText("KEY:DISP:LOCK?"), "1");
  Set("KEY:DISPlay");
  int code = 0, step = -1;
  ASSERT_EQ(KeyBoard.GetScpiKey(&code, &step), 0);
  EXPECT_EQ(code, kKeyDisplay);
  EXPECT_EQ(step, 0);
  Set("DISP:CLEar");
}

TEST_F(DisplayScpi, ScreenPicturePlainAndCompressedEqualTheFrameBuffer) {
  const std::string bmp = Block(Ask("DISPlay:DATA?"));
  ASSERT_EQ(bmp.size(), kBmpFileBytes);
  const uint8_t* b = reinterpret_cast<const uint8_t*>(bmp.data());
  auto u32 = [&](int at) { return uint32_t(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24); };
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(u32(2), 1152054u);
  EXPECT_EQ(u32(10), 54u);
  EXPECT_EQ(u32(14), 40u);
  EXPECT_EQ(u32(18), 800u);
  EXPECT_EQ(u32(22), 480u);
  EXPECT_EQ(b[28], 24);
  EXPECT_EQ(u32(34), 1152000u);
  EXPECT_EQ(u32(38), 2834u);
  // Bottom row first, blue green red.
  int differ = 0;
  for (int row = 0; row < 480; ++row)
    for (int col = 0; col < 800; ++col) {
      const uint8_t* p = b + 54 + (size_t(479 - row) * 800 + size_t(col)) * 3;
      const uint32_t rgb = uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
      differ += rgb != (bench.Pixel(row, col) & 0xFFFFFF);
    }
  EXPECT_EQ(differ, 0);

  const std::string z = Block(Ask("DISPlay:ZBMP?"));
  ASSERT_GT(z.size(), 8u);
  // The marker sits after the compressed bytes, padded per the length rule.
  const size_t pos = z.rfind("\x89\xAB\xCD\xEF");
  ASSERT_NE(pos, std::string::npos);
  EXPECT_EQ(ZbmpBlockLength(pos), z.size());
  EXPECT_EQ(Unpack(z.substr(0, pos), kBmpFileBytes + 16), Bytes(bmp));
}

TEST_F(DisplayScpi, WaveformSettingsFreshAndClamped) {
  const char* const fresh[][2] = {{"WAV:FORM?", "BYTE"}, {"WAV:POIN?", "1000"}, {"WAV:STOP?", "-1"},
                                  {"WAV:STAR?", "0"},    {"WAV:MODE?", "NORMal"}, {"WAV:SOUR?", "CHANnel1"},
                                  {"WAV:XREF?", "0"},    {"WAV:YREF?", "127"},   {"WAV:YOR?", "0"}};
  for (const auto& f : fresh) EXPECT_EQ(AskText(f[0]), f[1]) << f[0];
  // 500 us/div: 10 us a point, the left edge 3.5 ms before the centred trigger; 500 mV/div.
  EXPECT_EQ(AskText("WAVeform:XINCrement?"), "1.000000e-05 ");
  EXPECT_EQ(AskText("WAV:XOR?"), "-3.500000e-03");
  EXPECT_EQ(AskText("WAV:YINC?"), "2.000000e-02 ");
  EXPECT_EQ(AskText("WAV:PRE?"), "0,0,700,1,1.000000e-05 ,-3.500000e-03,0,2.000000e-02 ,0.000000e+00 ,127");

  Set("WAV:STAR 5000");
  EXPECT_EQ(AskText("WAV:STAR?"), "1400");
  Set("WAV:STAR -20");
  EXPECT_EQ(AskText("WAV:STAR?"), "0");
  Set("WAV:STOP -9");
  EXPECT_EQ(AskText("WAV:STOP?"), "-1");
  Set("WAV:POIN 70000");
  EXPECT_EQ(AskText("WAV:POIN?"), "4464");
  Set("WAV:FORM WORD");
  EXPECT_EQ(AskText("WAV:FORM?"), "WORD");
  EXPECT_EQ(AskText("WAV:PRE?").substr(0, 2), "1,");
  Set("WAV:FORM PICTURE");
  EXPECT_EQ(AskText("WAV:FORM?"), "WORD");
  Set("WAV:SOUR CHAN2");
  EXPECT_EQ(AskText("WAV:SOUR?"), "CHANnel2");
  Set("WAV:SOUR MATH");
  EXPECT_EQ(AskText("WAV:SOUR?"), "MATH");
  Set("WAV:MODE RAW");
  Set("WAV:STAR 9000");
  EXPECT_EQ(AskText("WAV:STAR?"), "7000");
  EXPECT_EQ(AskText("WAV:MODE?"), "RAW");
}

TEST_F(DisplayScpi, NormalDataIsTheTraceInEveryFormat) {
  // The main loop's pass reads each acquisition and makes its trace.
  auto pass = [&] {
    ASSERT_TRUE(bench.Fpga().AcquireNow());
    bench.Pass();
  };
  pass();
  const std::string bytes = Block(Ask("WAV:DATA?"));
  std::vector<uint8_t> trace(1400);
  WaveOp.ScreenWaveExport(0, trace.data());
  ASSERT_EQ(bytes.size(), 700u);
  EXPECT_EQ(Bytes(bytes), std::vector<uint8_t>(trace.begin(), trace.begin() + 700));
  const std::vector<uint8_t> maxima = Bytes(bytes);
  EXPECT_EQ(*std::max_element(maxima.begin(), maxima.end()), 177);  // +1 V at 500 mV/div: 2 divisions
  EXPECT_NEAR(*std::min_element(maxima.begin(), maxima.end()), 77, 2);

  // Each read is of the last pass's trace: compare with the trace it was taken from.
  pass();
  Set("WAV:FORM WORD");
  const std::string words = Block(Ask("WAV:DATA?"));
  WaveOp.ScreenWaveExport(0, trace.data());
  ASSERT_EQ(words.size(), 1400u);
  for (size_t i = 0; i < 700; ++i) {
    EXPECT_EQ(uint8_t(words[2 * i]), trace[i]);
    EXPECT_EQ(words[2 * i + 1], 0);
  }
  pass();
  Set("WAV:FORM ASCII");
  const std::string text = Block(Ask("WAV:DATA?"));
  WaveOp.ScreenWaveExport(0, trace.data());
  EXPECT_EQ(std::count(text.begin(), text.end(), ','), 699);
  EXPECT_NE(text.back(), ',');
  char first[32];
  std::snprintf(first, sizeof first, "%e", (trace[0] - 127) * 0.5 / 25);
  EXPECT_EQ(text.substr(0, text.find(',')), first);

  // The volts a user computes from the preamble, (code - yref - yorg) x yinc,
  // are the volts of the ASCII data, point by point.
  std::vector<double> pre;
  for (const std::string& f : Split(AskText("WAV:PRE?"))) pre.push_back(std::stod(f));
  ASSERT_EQ(pre.size(), 10u);
  const std::vector<std::string> volts = Split(text);
  ASSERT_EQ(volts.size(), 700u);
  for (size_t i = 0; i < 700; ++i)
    EXPECT_NEAR(std::stod(volts[i]), (trace[i] - pre[9] - pre[8]) * pre[7], 1e-6) << i;
}

// Rising crossings of the centre code.
int Periods(const std::vector<uint8_t>& r, size_t step = 1) {
  int n = 0;
  for (size_t i = step; i < r.size(); i += step) n += r[i - step] < 127 && r[i] >= 127;
  return n;
}

TEST_F(DisplayScpi, RawRecordsOfSevenThousandAndSeventyThousandSamples) {
  Set("ACQ:MEM:DEPT 7K");
  Set("WAV:MODE RAW");
  Set("WAV:POIN 3000");
  std::vector<uint8_t> shortRecord;
  for (int i = 0; i < 3; ++i) {
    const std::string b = Block(Ask("WAV:DATA?"));
    EXPECT_EQ(b.size(), i < 2 ? 3000u : 1000u);
    shortRecord.insert(shortRecord.end(), b.begin(), b.end());
  }
  EXPECT_EQ(AskText("WAV:STAR?"), "-1");
  EXPECT_EQ(Ask("WAV:DATA?"), "");  // after the last block: nothing
  ASSERT_EQ(shortRecord.size(), 7000u);
  EXPECT_EQ(*std::max_element(shortRecord.begin(), shortRecord.end()), 177);
  EXPECT_EQ(*std::min_element(shortRecord.begin(), shortRecord.end()), 77);
  EXPECT_NEAR(Periods(shortRecord), 7, 1);  // 7 ms of a 1 kHz sine
  EXPECT_EQ(AskText("WAV:XINC?"), "1.000000e-06 ");

  // STOP before STARt (or no POINts) is an empty block that ends the read; a
  // window in the record is that window.
  Set("WAV:STAR 500");
  Set("WAV:STOP 100");
  EXPECT_EQ(Block(Ask("WAV:DATA?")), "");
  EXPECT_EQ(AskText("WAV:STAR?"), "-1");
  Set("WAV:STAR 500");
  Set("WAV:STOP 600");
  Set("WAV:POIN 0");
  EXPECT_EQ(Block(Ask("WAV:DATA?")), "");
  EXPECT_EQ(AskText("WAV:STAR?"), "-1");
  Set("WAV:STAR 500");
  Set("WAV:POIN 3000");
  EXPECT_EQ(Bytes(Block(Ask("WAV:DATA?"))), std::vector<uint8_t>(shortRecord.begin() + 500, shortRecord.begin() + 600));

  // 70,000 samples streamed in 10,240-byte chunks: the same trigger-aligned
  // sine, ten samples for each of the short record's.
  Set("ACQ:MEM:DEPT 70K");
  Set("WAV:STOP -1");
  Set("WAV:MODE RAW");
  Set("WAV:POIN 65535");
  const std::string a = Block(Ask("WAV:DATA?")), b = Block(Ask("WAV:DATA?"));
  EXPECT_EQ(a.size(), 65535u);
  EXPECT_EQ(b.size(), 4465u);
  EXPECT_EQ(Ask("WAV:DATA?"), "");
  std::vector<uint8_t> longRecord = Bytes(a + b);
  int far = 0;
  for (size_t i = 0; i < 7000; ++i) far += std::abs(int(longRecord[i * 10]) - int(shortRecord[i])) > 2;
  EXPECT_LE(far, 7) << "the long record is not the short one at ten times the rate";
  EXPECT_EQ(AskText("WAV:XINC?"), "1.000000e-07 ");
  EXPECT_EQ(AskText("WAV:XOR?"), "-3.500000e-03");
}

TEST_F(DisplayScpi, ViewerFramesCarryHeadersAndDescriptions) {
  bench.Pass(3);
  const std::string json = Ask("FrameStart?");
  EXPECT_EQ(json.substr(0, 36), "{\"CHANNEL_PARAM\":[{\"Channel\":\"1\",\"Sa");
  EXPECT_NE(json.find("\"SampleRate\":\"10000000\""), std::string::npos);
  EXPECT_NE(json.find("\"xScale\":\"500000000\""), std::string::npos);
  EXPECT_NE(json.find("\"yScale\":\"500.000\""), std::string::npos);
  EXPECT_NE(json.find("\"Probe\":\"1X\",\"Unit\":\"mV\"}"), std::string::npos);
  EXPECT_NE(json.find("\"DISPLAY_PARAM\":{\"xGrid\":\"14\",\"yGrid\":\"8\",\"xMid\":\"350\",\"yMid\":\"200\","
                      "\"xPix\":\"50\",\"yPix\":\"50\",\"yStart\":\"28\",\"yEnd\":\"228\"}}\r\n"),
            std::string::npos);

  for (int i = 1; i <= 2; ++i) {
    const std::vector<uint8_t> f = Unpack(Block(Ask("Frame?")), 300000);
    ASSERT_EQ(f.size(), 96u + 280000u);
    EXPECT_EQ(f[0], 1);
    EXPECT_EQ(f[1], 1);
    EXPECT_EQ(f[2], 4);
    EXPECT_EQ(f[3], 3);
    EXPECT_EQ(f[8], i);  // the frame counter
    EXPECT_EQ(f[12] | f[13] << 8 | f[14] << 16, 280000);
    EXPECT_EQ(f[32], 0);
    // CH1 only: each raster byte, then 0. The raster is live (a new
    // acquisition may land between the frame and this check), so nearly
    // every sampled byte must match, not all.
    int same = 0, samples = 0;
    for (size_t k = 0; k < 140000; k += 997, ++samples) {
      same += f[96 + 2 * k] == QelWaveData[k] && f[96 + 2 * k + 1] == 0;
    }
    EXPECT_GE(same, samples * 9 / 10);
  }
  const std::vector<uint8_t> c = Unpack(Block(Ask("FrameColor?")), 4000);
  ASSERT_EQ(c.size(), 96u + 2048u);
  EXPECT_EQ(c[1], 0);
  EXPECT_EQ(c[2], 5);
  EXPECT_EQ(c[8], 1);
  EXPECT_EQ(c[96] | c[97] | c[98] | c[99], 0);  // entry 0 forced to 0

  const std::string reply = Block(Ask("Waveform1:DAT?"));
  const std::vector<uint8_t> m = Unpack(reply, 10000);
  const std::string s(m.begin(), m.end());
  const size_t end = s.find("\r\n");
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(s.substr(0, 19), "{\"CHANNEL_PARAM\":[{");
  const uint8_t* h = m.data() + end + 2;
  EXPECT_EQ(h[0], 1);
  EXPECT_EQ(h[2], 0);
  EXPECT_EQ(h[32], 8);
  const size_t len = size_t(h[12] | h[13] << 8);
  ASSERT_EQ(m.size(), end + 2 + 96 + len);
  const std::vector<uint8_t> trace = Unpack(std::string(reinterpret_cast<const char*>(h + 96), len), 2000);
  EXPECT_EQ(trace.size(), 1400u);  // the whole trace: maxima and minima
}
}  // namespace
