// The measure drawing object: its buffer, the panel merge, value texts, the
// voltmeter readout, the user-slot result line and the statistics cards.
#include "analysis/measure/measure_draw.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "acquisition/models/y_system.h"
#include "analysis/measure/task_measure.h"
#include "core/common/common_subprogram.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "ui/screen/qel_draw.h"

#define MEA_PIC(name) {0, "Data/PicResource/Measure/" name ".bmp", -1, -1}
#define MEA_PANEL(name) {0, "Data/PicResource/Measure/" name ".bmp", 0, 0}  // keyed at the bottom-left corner
const PicPath MeasurePicList[kMeaPictures + 1] = {
    MEA_PIC("Max"),       MEA_PIC("Min"),       MEA_PIC("High"),      MEA_PIC("Low"),     MEA_PIC("Ampl"),
    MEA_PIC("PkPk"),      MEA_PIC("Middle"),    MEA_PIC("Mean"),      MEA_PIC("CycMean"), MEA_PIC("Rms"),
    MEA_PIC("CycRms"),    MEA_PIC("AcRms"),     MEA_PIC("Period"),    MEA_PIC("Freq"),    MEA_PIC("Rise"),
    MEA_PIC("Fall"),      MEA_PIC("RiseDelay"), MEA_PIC("FallDelay"), MEA_PIC("Pwidth"),  MEA_PIC("Nwidth"),
    MEA_PIC("FRFR"),      MEA_PIC("FRFF"),      MEA_PIC("FFFR"),      MEA_PIC("FFFF"),    MEA_PIC("FRLF"),
    MEA_PIC("FRLR"),      MEA_PIC("FFLR"),      MEA_PIC("FFLF"),      MEA_PIC("Pduty"),   MEA_PIC("Nduty"),
    MEA_PIC("Area"),      MEA_PIC("CycArea"),   MEA_PIC("OverSht"),   MEA_PIC("PreSht"),  MEA_PIC("Phase"),
    MEA_PIC("Pulse"),     MEA_PANEL("AllPara"), MEA_PANEL("UserDef"), MEA_PANEL("Statistic"),
    {0xFFFF, "", -1, -1},
};
#undef MEA_PIC
#undef MEA_PANEL

_measure_draw MeasureDraw;

namespace {
constexpr int kSources = 6;
constexpr int ChColor[2][kSources] = {
    {0x00CCCC, 0xFFCC00, 0x009900, 0xAC04E4, 0x828282, 0xFF0000},
    {0xFFCC00, 0x00CCCC, 0x009900, 0xAC04E4, 0x828282, 0x0000FF},
};
const char* const TimeUnit[] = {"s", "ms", "\xB5s", "ns", "ps"};
const char* const Frequnit[] = {"Hz", "kHz", "MHz", "GHz"};
const char* const PercentUnit = "%";
const char* const DegreeUnit = "\xB0";
enum { kKindVolt, kKindTime, kKindFreq, kKindPercent, kKindDegree, kKindArea };

constexpr int kPanelFill = 0x1E2128, kPanelFrame = 0x5A6270;
constexpr int kDvmFont = 6;
constexpr int kDvmColumn = 40, kDvmColumnCursors = 190, kDvmRow = 50, kDvmGap = 5;
constexpr int kDvmSecondRow = 30, kDvmSecondRowSplit = 210;
constexpr uint64_t kRunCursorReadouts = 0x3000, kRunMultiScope = 0x40000;
const char* const kDvmLabels[3] = {"DC: ", "DC RMS: ", "AC RMS:"};

constexpr int kResultRow = 400, kResultColumn = 40, kResultStep = 135;
constexpr int kCardRow = 309, kCardColumn = 34, kCardStep = 131;
constexpr int kCardNameWidth = 72, kCardRowStep = 22, kCardIconColumn = 100;

_SysRunInfoOp* Run() { return SystemResource.runStatus; }
bool Transparent() { return Run() && Run()->GetTransparent(); }

// The unit text of a source's voltages for `prefix` (MATH: volts).
const char* VoltUnit(int source, int prefix) {
  const int unit = source < 2 && SystemResource.vertical ? SystemResource.vertical->GetChUnit(source) : 0;
  const char* text = CommonSubProg.GetChUnitStrig(unit, prefix);
  return text ? text : "";
}

// The name of a parameter as text of the current language (or its table name).
void DrawName(Draw& d, int row, int col, int para, int colour, bool rightAligned) {
  const MeasureParaRow& r = MeasureParaInfo[para];
  if (r.text) {
    const int w = rightAligned ? d.Stringlen(kFontUnicode, r.text) : 0;
    d.DrawLanguage(row, col - w, r.text, colour, DRAW_CURRENT);
  } else {
    const int w = rightAligned ? d.Stringlen(kFontAscii, r.name) : 0;
    d.DrawString(row, col - w, r.name, colour, DRAW_CURRENT);
  }
}
}  // namespace

MeaFontScope::MeaFontScope(int id) {
  if (Font* f = QelDraw.GetUserFontPointer()) {
    previous_ = f->CurrentAsciiFont();
    f->SetCurrFont(short(id));
  }
}

MeaFontScope::~MeaFontScope() {
  if (Font* f = QelDraw.GetUserFontPointer()) f->SetCurrFont(previous_);
}

_measure_draw::_measure_draw() : buffer_(new uint32_t[size_t(kWidth) * kHeight]()) {}

int _measure_draw::ChannelColour(int source, bool transparentRow) {
  return source >= 0 && source < kSources ? ChColor[transparentRow ? 1 : 0][source] : ChColor[0][0];
}

int _measure_draw::Colour(int source) const { return ChannelColour(source, Transparent()); }

uint32_t* _measure_draw::Page() { return QelDraw.GetDrawAddr(DRAW_CURRENT); }

Picture& _measure_draw::Pictures() {
  if (!pictures_) {
    pictures_.reset(new Picture());
    pictures_->LoadPicture(MeasurePicList);
    SetPicturePointer(pictures_.get());
  }
  return *pictures_;
}

_PicPos _measure_draw::PanelSize(int picture) {
  switch (picture) {
    case kMeaPicAllPara: return {0, 0, 676, 270};
    case kMeaPicUserDef: return {0, 0, 440, 340};
    case kMeaPicStatCard: return {0, 0, 125, 118};
    default: return {0, 0, 0, 0};
  }
}

void _measure_draw::SetPictureInfo(int index, const _PicPos* pos) {
  if (!pos) return;
  placed_ = *pos;
  (void)index;
}

// The panel's picture at (x, y) in the own buffer, or a plain panel of its
// size, registered for the merge.
void _measure_draw::Panel(int picture, int x, int y) {
  if (!GetUserFontPointer()) SetUserFontPointer(QelDraw.GetUserFontPointer());
  _PicPos pos = PanelSize(picture);
  const PicInfo* info = Pictures().GetPictureMsg(picture);
  if (info && info->pixels) {
    pos.width = info->width;
    pos.height = info->height;
    // The key-coloured pixels stay the mask colour, which the merge leaves out.
    FillRect(y, x, pos.width, pos.height, int(MASK_COLOR), DRAW_CURRENT);
    DrawPictrue(y, x, picture, DRAW_CURRENT);
  } else {
    FillRect(y, x, pos.width, pos.height, kPanelFill, DRAW_CURRENT);
    DrawRect(y, x, pos.width, pos.height, kPanelFrame, DRAW_CURRENT);
  }
  pos.x = int16_t(x);
  pos.y = int16_t(y);
  SetPictureInfo(picture, &pos);
}

void _measure_draw::Merge() { DrawBuffSync(Page(), short(Transparent())); }

// The registered rectangle, clipped to the screen, into `page`: copied, or
// blended byte by byte (page x 23/128 + panel x 210/256, the panel's red and
// blue exchanged) except where the panel holds the mask colour.
void _measure_draw::DrawBuffSync(uint32_t* page, short transparent) {
  if (!page) return;
  const int x0 = std::max<int>(0, placed_.x), y0 = std::max<int>(0, placed_.y);
  const int x1 = std::min<int>(kWidth, placed_.x + placed_.width);
  const int y1 = std::min<int>(kHeight, placed_.y + placed_.height);
  if (x0 >= x1 || y0 >= y1) return;
  const uint32_t* from = buffer_.get();
  for (int y = y0; y < y1; ++y) {
    const size_t at = size_t(y) * kWidth;
    for (int x = x0; x < x1; ++x) {
      const uint32_t p = from[at + size_t(x)] & 0xFFFFFF;
      if (p == MASK_COLOR) continue;  // the panel's corners: the page shows
      if (!transparent) {
        page[at + size_t(x)] = from[at + size_t(x)];
        continue;
      }
      const uint32_t q = page[at + size_t(x)];
      uint32_t out = 0;
      for (int b = 0; b < 3; ++b) {
        const uint32_t pageByte = q >> (8 * b) & 0xFF, panelByte = p >> (8 * (2 - b)) & 0xFF;
        out |= (((pageByte * 23) >> 7) + ((panelByte * 210) >> 8)) << (8 * b);
      }
      page[at + size_t(x)] = out;
    }
  }
}

void _measure_draw::ValueText(char* out, int size, int para, int source, const FloatElement* value,
                              bool statistics) {
  if (!out || size <= 0) return;
  const char* lead = statistics ? "" : " ";
  if (!value) {
    std::snprintf(out, size_t(size), "%s---", lead);
    return;
  }
  if (para == kParaPulse) {
    std::snprintf(out, size_t(size), "%s%d", lead, int(value->mantissa));
    return;
  }
  const int kind = value->unit >> 8 & 0xFF, prefix = value->unit & 0xFF;
  const char* unit = "";
  const char* suffix = "";
  switch (kind) {
    case kKindVolt: unit = VoltUnit(source, prefix); break;
    case kKindTime: unit = prefix < 5 ? TimeUnit[prefix] : ""; break;
    case kKindFreq: unit = prefix < 4 ? Frequnit[prefix] : ""; break;
    case kKindPercent: unit = PercentUnit; break;
    case kKindDegree: unit = DegreeUnit; break;
    case kKindArea:
      unit = VoltUnit(source, prefix);
      suffix = "s";
      break;
    default: break;
  }
  std::snprintf(out, size_t(size), statistics ? "%s%.3f%s%s" : "%s%.2f%s%s", lead, value->mantissa, unit, suffix);
}

// ---- voltmeter ----

void _measure_draw::DrawDVM(short source, short mode) {
  if (mode < 0 || mode > 2 || !Run()) return;
  MeaFontScope font(kDvmFont);
  const uint64_t bits = Run()->GetFuncBits();
  const int col = (bits & kRunCursorReadouts) ? kDvmColumnCursors : kDvmColumn;
  int sources[2] = {source, -1};
  int shown = 1;
  if (bits & kRunMultiScope) {
    shown = 0;
    for (int ch = 0; ch < 2; ++ch)
      if (Run()->GetChStatus() >> ch & 1) sources[shown++] = ch;
  }
  const int step = Run()->GetIndependTimeBaseSplit() ? kDvmSecondRowSplit : kDvmSecondRow;
  for (int i = 0; i < shown; ++i) {
    const int ch = sources[i], row = kDvmRow + i * step;
    FloatElement e{};
    if (ch < 0 || ch > 1 || MeasureParaCalcu.GetDVMResult(ch, mode, &e) != 0) continue;
    const int end = QelDraw.DrawString(row, col, kDvmLabels[mode], qel_draw::GetChannelColor(short(ch)), DRAW_CURRENT);
    char number[32];
    std::snprintf(number, sizeof number, "%.2lf", e.mantissa);
    QelDraw.DrawDigitalVoltage(row, end + kDvmGap, number, VoltUnit(ch, e.unit & 0xFF), kMeaValueColour,
                               DRAW_CURRENT);
  }
}

// ---- user slots ----

void _measure_draw::DrawUserDefResult() {
  MeaFontScope font(kMeaPanelFont);
  int col = kResultColumn;
  for (int k = 0; k < kMeaUserSlots; ++k) {
    const int para = TaskMeasure.GetUserSelPara(k);
    if (para < 0 || para >= kMeaParas) continue;
    const int master = TaskMeasure.GetUserSelSource(k) & 0xFF;
    DrawName(QelDraw, kResultRow, col, para, ChannelColour(master, false), false);
    const int nameEnd = col + (MeasureParaInfo[para].text ? QelDraw.Stringlen(kFontUnicode, MeasureParaInfo[para].text)
                                                          : QelDraw.Stringlen(kFontAscii, MeasureParaInfo[para].name));
    const UserDefResult u = MeasureParaCalcu.GetMeasureResultUserDef(k);
    char text[48];
    if (u.status != kMeaValid)
      std::snprintf(text, sizeof text, " ---");
    else if (para == kParaPulse)
      std::snprintf(text, sizeof text, ": %d", int(u.current));
    else {
      char value[40];
      ValueText(value, sizeof value, para, master, &u.element[0], false);
      std::snprintf(text, sizeof text, ":%s", value);
    }
    QelDraw.DrawString(kResultRow, nameEnd, text, kMeaValueColour, DRAW_CURRENT);
    col += kResultStep;
  }
}

void _measure_draw::DrawStatistic() {
  MeaFontScope font(kMeaPanelFont);
  const int item = int(uint16_t(TaskMeasure.TaskMenu.GetMenuItem(kMeaStatistic)));
  // CUR AVG MIN MAX, or CUR AVG DEV NUM.
  static const int kRows[2][4] = {{0, 1, 2, 3}, {0, 1, 4, 5}};
  const int* rows = kRows[item == 2 ? 1 : 0];
  int card = 0;
  for (int k = 0; k < kMeaUserSlots; ++k) {
    const int para = TaskMeasure.GetUserSelPara(k);
    if (para < 0 || para >= kMeaParas) continue;
    const int word = TaskMeasure.GetUserSelSource(k), master = word & 0xFF, slave = word >> 8 & 0xFF;
    const int x = kCardColumn + kCardStep * card++, y = kCardRow;
    Panel(kMeaPicStatCard, x, y);
    const int colour = Colour(master);
    const MeasureParaRow& r = MeasureParaInfo[para];
    const int w = r.text ? Stringlen(kFontUnicode, r.text) : Stringlen(kFontAscii, r.name);
    const int nameCol = x + 4 + std::max(0, (kCardNameWidth - w) / 2);
    if (r.text)
      DrawLanguage(y + 4, nameCol, r.text, colour, DRAW_CURRENT);
    else
      DrawString(y + 4, nameCol, r.name, colour, DRAW_CURRENT);
    auto label = [](int s, char* out, size_t n) {
      if (s == kMeaMath)
        std::snprintf(out, n, "M");
      else
        std::snprintf(out, n, "C%d", s + 1);
    };
    char a[8], b[8], src[20];
    label(master, a, sizeof a);
    label(slave, b, sizeof b);
    if (MeasureIsDoublePara(para) == 1)
      std::snprintf(src, sizeof src, "%s-%s", a, b);
    else
      std::snprintf(src, sizeof src, "%s", a);
    DrawString(y + 4, x + kCardNameWidth + 10, src, colour, DRAW_CURRENT);
    DrawPictrue(y + 4, x + kCardIconColumn, para, DRAW_CURRENT);

    const UserDefResult u = MeasureParaCalcu.GetMeasureResultUserDef(k);
    const float values[6] = {u.current, u.average, u.minimum, u.maximum, u.deviation, float(u.count)};
    for (int i = 0; i < 4; ++i) {
      const int s = rows[i], row = y + 28 + i * kCardRowStep;
      char text[64], value[40];
      if (u.status != kMeaValid)
        std::snprintf(value, sizeof value, "---");
      else if (s == 5 || para == kParaPulse)
        std::snprintf(value, sizeof value, "%d", s == 5 ? int(u.count) : int(values[s]));
      else
        ValueText(value, sizeof value, para, master, &u.element[s], true);
      std::snprintf(text, sizeof text, "%s:%s", StatInfo[s], value);
      DrawString(row, x + 6, text, kMeaValueColour, DRAW_CURRENT);
    }
    Merge();
  }
}
