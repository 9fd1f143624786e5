// The Simplified Chinese menus: every page title, item title and choice of
// the instrument's Chinese menu files is Chinese, or a name that stays as it
// is (channels, buses, signals, units, numbers, measurement symbols), and
// every character has a glyph in the Chinese face; the page tab shows the
// Chinese title.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/state/ids.h"
#include "core/state/sys_run_info.h"
#include "tests/bench/bench.h"
#include "ui/draw/font.h"

namespace {
// Words that are names in any language.
const std::set<std::string> kNames = {
    // sources, channels and files
    "CH1", "CH2", "MATH", "EXT", "FFT", "RefA", "RefB", "USB", "CSV", "HEX", "ADC", "ADC1", "ADC2",
    "PLL", "FPGA", "IP", "ID", "DHCP", "Hex", "DEC", "BIN", "ASCII", "English", "V1", "V2", "X", "Y",
    "XY", "YT", "T", "R", "W", "L", "H", "A", "V", "U", "x", "mV",
    // buses and their signals
    "RS232", "I2C", "SPI", "CAN", "LIN", "SDA", "SCL", "SCLK", "SS", "CS", "CLK", "MOSI", "MISO", "TX",
    "RX", "DATA", "ADDR", "ACK", "BIT", "MSB", "LSB", "IN",
    // couplings, standards, logic, scales
    "AC", "DC", "NTSC", "PAL", "AND", "OR", "NOT", "XOR", "Vrms", "dBVrms", "bit", "s", "N",
    // measurement symbols, as the measure panel shows them
    "Max", "Min", "High", "Low", "Ampl", "Pk", "Middle", "MEAN", "CycMean", "RMS", "CycRMS", "ACRMS",
    "Period", "Freq", "Rise", "Fall", "RiseDelay", "FallDelay", "Pwidth", "Nwidth", "FRFR", "FRFF",
    "FFFR", "FFFF", "FRLF", "FRLR", "FFLR", "FFLF", "Pduty", "Nduty", "Area", "CycArea", "OverSht",
    "Preshoot", "Phase", "Pulse"};

// Units after a number ("10X", "5s", "50mV", "64K", "1kHz").
const std::set<std::string> kUnits = {"X", "x", "s", "ms", "us",  "ns",  "mV",
                                      "V", "K", "M", "Hz", "kHz", "MHz", "bit"};

// A Latin word of the text that is no name: the text is English.
std::string EnglishWord(const std::u16string& text) {
  std::string word;
  const auto check = [&word]() {
    if (word.empty()) return std::string();
    // A number with a unit or a factor ("10X", "5s", "50mV") is a name too.
    size_t digits = 0;
    while (digits < word.size() &&
           (std::isdigit(static_cast<unsigned char>(word[digits])) || word[digits] == '.'))
      ++digits;
    const std::string rest = word.substr(digits);
    // A name numbered ("FFT1", "ADC2").
    size_t letters = word.size();
    while (letters > 0 && std::isdigit(static_cast<unsigned char>(word[letters - 1]))) --letters;
    const bool name = kNames.count(word) || rest.empty() || (digits > 0 && kUnits.count(rest)) ||
                      (letters < word.size() && kNames.count(word.substr(0, letters)));
    return name ? std::string() : word;
  };
  for (char16_t c : text) {
    if (c < 0x80 && (std::isalnum(c) || c == '.')) {
      word.push_back(char(c));
      continue;
    }
    if (std::string w = check(); !w.empty()) return w;
    word.clear();
  }
  return check();
}

// The texts of a menu file (UTF-16LE, byte-order mark, CR LF lines) marked
// as page ('#'), item ('$') or choice ('@').
std::vector<std::u16string> MenuTexts(const std::string& bytes) {
  std::vector<std::u16string> texts;
  std::u16string line;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const char16_t c = char16_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8);
    if (c == u'\r') continue;
    if (c != u'\n') {
      line.push_back(c);
      continue;
    }
    if (!line.empty() && (line[0] == u'#' || line[0] == u'$' || line[0] == u'@')) {
      std::u16string text = line.substr(line[0] == u'$' && line.size() > 1 && line[1] == u'^' ? 2 : 1);
      if (text != u"0") texts.push_back(text);
    }
    line.clear();
  }
  return texts;
}

std::string Utf8(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) {
    if (c < 0x80) {
      out.push_back(char(c));
    } else if (c < 0x800) {
      out.push_back(char(0xC0 | c >> 6));
      out.push_back(char(0x80 | (c & 0x3F)));
    } else {
      out.push_back(char(0xE0 | c >> 12));
      out.push_back(char(0x80 | (c >> 6 & 0x3F)));
      out.push_back(char(0x80 | (c & 0x3F)));
    }
  }
  return out;
}
}  // namespace

TEST(MenuChinese, EveryTextIsChineseOrAName) {
  Bench bench;
  Font f;
  f.SetUnicodeFont(1);  // the Chinese face
  const font* glyphs = f.GetCurrFont(kFontUnicode);
  ASSERT_NE(glyphs, nullptr);
  int files = 0, texts = 0;
  for (const auto& entry : std::filesystem::directory_iterator(bench.Root() + "/Data/Menu/Chinese")) {
    const std::string name = entry.path().filename().string();
    ++files;
    for (const std::u16string& text : MenuTexts(ReadRootFile("Data/Menu/Chinese/" + name))) {
      ++texts;
      EXPECT_EQ(EnglishWord(text), "") << name << ": \"" << Utf8(text) << "\" is English";
      for (char16_t c : text) {
        if (c < 0x80) continue;
        EXPECT_GT(glyphs[c].width, 0) << name << ": no glyph for U+" << std::hex << int(c);
      }
    }
  }
  EXPECT_EQ(files, 12);
  EXPECT_GT(texts, 500);
}

// The checker itself: English words are found, names pass.
TEST(MenuChinese, TheCheckFindsEnglishWords) {
  EXPECT_EQ(EnglishWord(u"Enter"), "Enter");
  EXPECT_EQ(EnglishWord(u"DataSour"), "DataSour");
  EXPECT_EQ(EnglishWord(u"Common Set"), "Common");
  EXPECT_EQ(EnglishWord(u"通道-1"), "");
  EXPECT_EQ(EnglishWord(u"Y (CH2)"), "");
  EXPECT_EQ(EnglishWord(u"100X"), "");
  EXPECT_EQ(EnglishWord(u"7 bit"), "");
  EXPECT_EQ(EnglishWord(u"NTSC/525"), "");
}

// In Chinese the page tab shows the page's Chinese title, turned: its ink is
// the ink of the title's glyphs in the Chinese face.
TEST(MenuChinese, ThePageTabShowsTheChineseTitle) {
  Bench bench;
  bench.SetEeprom(FormattedEeprom(kTaskCh1, 0));
  ASSERT_EQ(bench.Start(), 0);
  bench.StopThreads();
  SysRunStatus.SetMenuDisplayTimeS(3);
  bench.Key(kKeyUtility);
  bench.Key(kKeyF3);  // Language: Simplified Chinese
  ASSERT_EQ(SysRunStatus.GetSysRunInfoBaseAddr()->language, 1);
  bench.Key(kKeyTrigger);  // the edge page: "边沿"
  SysRunStatus.SetDrawRefresh();
  bench.AdvanceMs(600);
  bench.Pass();
  const font* glyphs = QelFont.GetCurrFont(kFontUnicode);  // the face the screen uses
  ASSERT_NE(glyphs, nullptr);
  int ink = 0;
  for (char16_t c : std::u16string(u"边沿"))
    for (int r = 0; r < 24; ++r)
      for (int col = 0; col < glyphs[c].width && col < 24; ++col)
        ink += glyphs[c].bits[3 * r + col / 8] >> (7 - col % 8) & 1;
  ASSERT_GT(ink, 20);
  EXPECT_EQ(bench.CountPixels(34, 650, 25, 400, 0xC8C8AF), ink);
}
