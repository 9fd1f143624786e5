// Windows, message icons, dialogs, the help window and the small tools'
// panels. Titles and texts are drawn over them at run time.
#include <cmath>
#include <string>

#include "pictures.h"

namespace {

using P = std::vector<std::pair<double, double>>;

constexpr int kTitleBar = 26;
constexpr uint32_t kWindowFill = 0x161616;

void Window(Canvas& c, bool titleBar) {
  c.FillRect(0, 0, c.W(), c.H(), kWindowFill);
  if (titleBar) {
    c.VGradient(1, 1, c.W() - 2, kTitleBar - 1, 0x3E4C5C, 0x27313C);
    c.HLine(1, c.W() - 2, kTitleBar, 0x505A64);
  }
  c.Frame(0, 0, c.W(), c.H(), kFrameColour);
}

void Icon(Canvas& c, Text& t, const std::string& kind) {
  c.FillRect(0, 0, c.W(), c.H(), 0x000000);
  const double s = c.W(), m = (s - 1) / 2.0, r = s / 2.0 - 0.5;
  if (kind == "warnning") {
    c.Polygon(P{{m, 1}, {s - 1.5, s - 2}, {0.5, s - 2}}, 0xF0C000);
    t.Centre(c, m, s * 0.6, "!", int(s * 0.6), Face::Bold, 0x000000);
    return;
  }
  c.Disc(m, m, r, kind == "error" ? 0xD82828 : 0x2F6FD0);
  if (kind == "error") {
    const int a = int(s * 0.3), b = int(s * 0.7);
    for (int d = -1; d <= 1; ++d) {
      c.Line(a + d, a, b + d, b, 0xFFFFFF);
      c.Line(a + d, b, b + d, a, 0xFFFFFF);
    }
  } else {
    t.Centre(c, m, m, kind == "info" ? "i" : "?", int(s * 0.7), Face::Bold, 0xFFFFFF);
  }
}

void Choice(Canvas& c, bool chosen) {
  c.FillRect(0, 0, c.W(), c.H(), kWindowFill);
  if (chosen) c.RoundRect(0, 0, c.W(), c.H(), 3, 0x1F4F78);
  c.Ring(9, 9.5, 6, 1.3, kTextColour);
  if (chosen) c.Disc(9, 9.5, 3, kFocusColour);
}

void BarIcon(Canvas& c) {
  for (int y = 0; y < c.H(); ++y) c.HLine(0, c.W() - 1, y, BarShade(4 + y));
}

void UsbIcon(Canvas& c, Text&) {
  BarIcon(c);
  const uint32_t k = kTextColour;
  c.VLine(10, 3, 20, k);
  c.VLine(9, 5, 20, k);
  c.Polygon(P{{9.5, 1}, {12.5, 5}, {6.5, 5}}, k);
  c.Line(9, 15, 4, 11, k);
  c.VLine(4, 8, 11, k);
  c.FillRect(3, 7, 3, 3, k);
  c.Line(10, 13, 15, 10, k);
  c.VLine(15, 7, 10, k);
  c.Disc(15, 6.5, 1.6, k);
  c.Disc(9.5, 20.5, 2.5, k);
}

void NetIcon(Canvas& c, Text&) {
  BarIcon(c);
  const uint32_t k = kTextColour;
  c.Frame(6, 2, 8, 7, k);
  c.FillRect(8, 4, 4, 3, k);
  c.VLine(10, 9, 13, k);
  c.HLine(3, 17, 13, k);
  c.VLine(3, 13, 16, k);
  c.VLine(17, 13, 16, k);
  c.Frame(0, 16, 7, 6, k);
  c.Frame(14, 16, 6, 6, k);
}

void ClockIcon(Canvas& c, Text&) {
  BarIcon(c);
  c.Ring(8.5, 11.5, 7.5, 1.4, kTextColour);
  c.VLine(8, 6, 12, kTextColour);
  c.HLine(8, 12, 12, kTextColour);
}

// The number keypad: its keys as the composer's key table places them.
void Keypad(Canvas& c, Text& t) {
  Window(c, false);
  c.RoundRect(8, 10, c.W() - 16, 36, 3, 0x050505);
  c.RoundFrame(8, 10, c.W() - 16, 36, 3, 0x5A5A5A);
  struct Key { const char* label; int row, col, w, h; };
  const Key keys[] = {
      {"+/-", 151, 10, 28, 28}, {"0", 151, 41, 28, 28},   {".", 151, 72, 28, 28},
      {"1", 120, 10, 28, 28},   {"2", 120, 41, 28, 28},   {"3", 120, 72, 28, 28},
      {"4", 89, 10, 28, 28},    {"5", 89, 41, 28, 28},    {"6", 89, 72, 28, 28},
      {"7", 56, 10, 28, 28},    {"8", 56, 41, 28, 28},    {"9", 56, 72, 28, 28},
      {"Back", 57, 109, 59, 28}, {"Del", 89, 109, 59, 28}, {"m", 56, 179, 20, 28},
      {"u", 89, 179, 20, 28},   {"n", 120, 179, 20, 28},  {"p", 151, 179, 20, 28},
      {"k", 56, 206, 20, 28},   {"M", 89, 206, 20, 28},   {"G", 120, 206, 20, 28},
      {"Enter", 56, 232, 62, 28}, {"Max", 89, 232, 62, 28}, {"Min", 120, 232, 62, 28},
      {"Default", 151, 232, 62, 28},
  };
  for (const Key& k : keys) {
    c.VGradient(k.col, k.row, k.w, k.h, 0x3A3A3A, 0x262626);
    c.RoundFrame(k.col, k.row, k.w, k.h, 3, 0x5A5A5A);
    t.Centre(c, k.col + (k.w - 1) / 2.0, k.row + (k.h - 1) / 2.0, k.label, 11, Face::Bold, kTextColour);
  }
}

// Colour grading: the first 256 pixels are the palette (dark blue, cyan,
// green, yellow, red, white), the rows below repeat them for viewing.
uint32_t Grade(double v) {
  const uint32_t stops[] = {0x000020, 0x0030C0, 0x00C0C0, 0x00C000, 0xF0F000, 0xF00000, 0xFFFFFF};
  const int n = int(sizeof stops / sizeof stops[0]) - 1;
  const double x = v * n;
  const int i = std::min(int(x), n - 1);
  return Mix(stops[i], stops[i + 1], x - i);
}

void ColourGrade(Canvas& c, bool invert) {
  for (int x = 0; x < c.W(); ++x) {
    const double v = double(x) / (c.W() - 1);
    c.VLine(x, 0, c.H() - 1, Grade(invert ? 1.0 - v : v));
  }
}

void HelpWindow(Canvas& c, bool scrolling) {
  Window(c, true);
  c.RoundFrame(6, 60, 124, c.H() - 66, 3, 0x3A3A3A);  // topic list
  c.RoundFrame(142, 60, c.W() - 148, c.H() - 66, 3, 0x3A3A3A);  // text
  c.FillRect(132, 55, 4, c.H() - 61, 0x202020);  // list slide track
  if (scrolling) c.FillRect(589, 50, 8, c.H() - 56, 0x202020);
}

void ListWindow(Canvas& c, int width) {
  Window(c, true);
  c.HLine(3, width - 4, 48, 0x505050);  // under the column headers
}

}  // namespace

void DialogPictures(std::vector<PicDef>& out) {
  auto add = [&out](std::string path, int w, int h, std::function<void(Canvas&, Text&)> f) {
    out.push_back(PicDef{std::move(path), w, h, std::move(f)});
  };
  add("Information/wnd.bmp", 400, 280, [](Canvas& c, Text&) { Window(c, true); });
  add("Information/wnd-ver.bmp", 400, 300, [](Canvas& c, Text&) { Window(c, true); });
  for (const char* kind : {"error", "info", "question", "warnning"}) {
    const std::string k = kind;
    add("Information/icon-" + k + ".bmp", 32, 32, [k](Canvas& c, Text& t) { Icon(c, t, k); });
    add("Information/icon-" + k + "-small.bmp", 20, 20, [k](Canvas& c, Text& t) { Icon(c, t, k); });
  }
  add("Dialog/Dialog.bmp", 440, 190, [](Canvas& c, Text&) { Window(c, true); });
  add("Dialog/SingleSel.bmp", 200, 20, [](Canvas& c, Text&) { Choice(c, true); });
  add("Dialog/Single.bmp", 200, 20, [](Canvas& c, Text&) { Choice(c, false); });
  add("Dialog/event-list.bmp", 350, 300, [](Canvas& c, Text&) { ListWindow(c, 350); });
  add("Dialog/Lin-list.bmp", 560, 300, [](Canvas& c, Text&) { ListWindow(c, 560); });
  add("Dialog/close-icon.bmp", 16, 16, [](Canvas& c, Text&) {
    c.FillRect(0, 0, 16, 16, 0x3E4C5C);
    c.RoundFrame(0, 0, 16, 16, 2, kFrameColour);
    for (int d = 0; d <= 1; ++d) {
      c.Line(4 + d, 4, 11 + d, 11, 0xFFFFFF);
      c.Line(4 + d, 11, 11 + d, 4, 0xFFFFFF);
    }
  });
  add("USB/USB.bmp", 20, 24, UsbIcon);
  add("Net/EtherNet.bmp", 20, 24, NetIcon);
  add("Rtc/Rtc.bmp", 18, 24, ClockIcon);

  add("Process/Process.bmp", 366, 20, [](Canvas& c, Text&) {
    c.FillRect(0, 0, c.W(), c.H(), 0x050505);
    c.Frame(0, 0, c.W(), c.H(), kFrameColour);
  });
  add("Process/Bar.bmp", 8, 14, [](Canvas& c, Text&) { c.VGradient(0, 0, 8, 14, 0x40F040, 0x109010); });
  add("Cymometer/Cymometer.bmp", 120, 44, [](Canvas& c, Text&) {
    c.RoundRect(0, 0, c.W(), c.H(), 4, 0x101820);
    c.RoundFrame(0, 0, c.W(), c.H(), 4, kFrameColour);
    c.HLine(4, c.W() - 5, 20, 0x3A4A5A);
  });
  add("NumKeyboard/NumKeyboard.bmp", 300, 185, Keypad);
  add("ColorTemp/ColorTemper.bmp", 256, 10, [](Canvas& c, Text&) { ColourGrade(c, false); });
  add("ColorTemp/ColorTemperInvert.bmp", 256, 10, [](Canvas& c, Text&) { ColourGrade(c, true); });
  add("PassFail/PassFail.bmp", 200, 80, [](Canvas& c, Text&) {
    c.RoundRect(0, 0, c.W(), c.H(), 4, 0x141414);
    c.RoundFrame(0, 0, c.W(), c.H(), 4, kFrameColour);
    c.HLine(4, c.W() - 5, 24, 0x3A3A3A);
  });
  add("Help/Dir.bmp", 16, 16, [](Canvas& c, Text&) {
    c.FillRect(0, 0, 16, 16, kWindowFill);
    c.Frame(2, 2, 12, 12, kTextColour);
    c.HLine(5, 10, 7, kTextColour);
    c.VLine(8, 5, 10, kTextColour);
  });
  add("Help/Sub.bmp", 16, 16, [](Canvas& c, Text&) {
    c.FillRect(0, 0, 16, 16, kWindowFill);
    c.Frame(2, 2, 12, 12, kTextColour);
    c.HLine(5, 10, 7, kTextColour);
  });
  add("Help/SubItem.bmp", 16, 16, [](Canvas& c, Text&) {
    c.FillRect(0, 0, 16, 16, kWindowFill);
    c.Disc(7.5, 7.5, 2.5, kTextColour);
  });
  add("Help/Help.bmp", 620, 320, [](Canvas& c, Text&) { HelpWindow(c, false); });
  add("Help/Help-Txt.bmp", 620, 320, [](Canvas& c, Text&) { HelpWindow(c, true); });
  add("Help/TxtRollBar.bmp", 8, 20, [](Canvas& c, Text&) { c.RoundRect(0, 0, 8, 20, 3, 0x8A8A8A); });
  add("Help/HelpSlideBar.bmp", 4, 19, [](Canvas& c, Text&) { c.FillRect(0, 0, 4, 19, 0x8A8A8A); });
  for (const auto& [name, label] : {std::pair<const char*, const char*>{"One", "A"}, {"Two", "B"}}) {
    const std::string l = label;
    add(std::string("Cursor/XY-Cursor-Line-") + name + ".bmp", 14, 14, [l](Canvas& c, Text& t) {
      c.FillRect(0, 0, 14, 14, 0x000000);
      c.RoundRect(0, 0, 14, 14, 3, 0xC8C8AF);
      t.Centre(c, 6.5, 6.5, l, 10, Face::Bold, 0x000000);
    });
  }
}

void ModulePictures(std::vector<PicDef>& out) {
  const auto window = [](Canvas& c, Text&) { Window(c, true); };
  // The utility module's editors and device-information box.
  out.push_back({"IP/ip-conf.bmp", 500, 160, window});
  out.push_back({"Rtc/rct-set.bmp", 360, 100, window});
  out.push_back({"SystemInfo/sys-info.bmp", 400, 270, window});
  CursorPictures(out);
  MathPictures(out);
  MeasurePictures(out);
}

void DrawLogo(Canvas& c, Text& t) {
  c.VGradient(0, 0, c.W(), c.H(), 0x0A1420, 0x000000);
  // A faint graticule and one bright trace across it.
  for (int x = 100; x <= 700; x += 50) c.VLine(x, 90, 290, 0x1A2430);
  for (int y = 90; y <= 290; y += 50) c.HLine(100, 700, y, 0x1A2430);
  const double pi = std::acos(-1.0);
  for (int x = 100; x < 700; ++x) {
    const double y = 190 - 70 * std::sin((x - 100) * 2 * pi / 300.0) * std::exp(-(x - 100) / 900.0);
    for (int d = -4; d <= 4; ++d) c.Blend(x, int(std::lround(y)) + d, 0x00CCCC, d == 0 ? 1.0 : 0.5 / std::abs(d));
  }
  t.Centre(c, 400, 330, "QEL2200KS", 44, Face::Bold, 0xE0E0D0);
  t.Centre(c, 400, 362, "Digital Storage Oscilloscope", 16, Face::Sans, 0x8A9AAA);
}
