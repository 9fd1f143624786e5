#include "system/utility/utility_draw.h"

#include <algorithm>
#include <cstdio>

#include "core/state/sys_run_info.h"
#include "platform/clock.h"
#include "system/utility/ip_config.h"
#include "system/utility/task_utility.h"
#include "ui/screen/qel_draw.h"

Picture UtilityPictuer;
_utility_draw UtilityDraw;

namespace {
const PicPath UtilityPicList[] = {
    {kUtiPicIp, "Data/PicResource/IP/ip-conf.bmp", -1, -1},
    {kUtiPicTime, "Data/PicResource/Rtc/rct-set.bmp", -1, -1},
    {kUtiPicInfo, "Data/PicResource/SystemInfo/sys-info.bmp", -1, -1},
    {0xFFFF, "", -1, -1},
};

constexpr int kNormal = 0xC8C8AF, kHighlight = 0x01F801, kTitleColour = 0xFFFFFF;
constexpr int kMergeBlend = 1;
constexpr int kTitleInset = 6, kTitleRowInset = 5;

// Address editor: font 5; bytes from column 340 on rows 162 and 232; labels
// end at column 120 of the picture.
constexpr int kIpFont = 5, kIpPicRow = 110, kIpPicCol = 150, kIpFirstCol = 340;
constexpr int kIpRows[2] = {162, 232};
constexpr int kIpLabelEnd = 120;
// Date and time editor: font 6, fields from column 280 on row 184.
constexpr int kTimeFont = 6, kTimePicRow = 140, kTimePicCol = 220, kTimeFirstCol = 280,
              kTimeRow = 184;
// Device-information box: font 4.
constexpr int kInfoFont = 4, kInfoPicRow = 90, kInfoPicCol = 200, kInfoFirstRow = 130, kInfoLineStep = 26,
              kInfoLabelCol = 220, kInfoValueCol = 360;

// The current ASCII font for a scope, then the one in force before.
class FontScope {
 public:
  FontScope(Font* f, int id) : font_(f), before_(f ? f->CurrentAsciiFont() : 0) {
    if (font_) font_->SetCurrFont(short(id));
  }
  ~FontScope() {
    if (font_) font_->SetCurrFont(before_);
  }
  FontScope(const FontScope&) = delete;
  FontScope& operator=(const FontScope&) = delete;

 private:
  Font* font_;
  short before_;
};

uint32_t* ComposedPage() { return QelDraw.GetDrawAddr(DRAW_CURRENT); }
int MergeMode() { return SysRunStatus.GetTransparent() ? kMergeBlend : 0; }
}  // namespace

_utility_draw::_utility_draw() : buffer_(new uint32_t[size_t(kWidth) * kHeight]()) {}

// Pictures and the font come on first use: files are read once the root is set.
bool _utility_draw::Ready() {
  if (!GetPicturePointer()) {
    UtilityPictuer.LoadPicture(UtilityPicList);
    SetPicturePointer(&UtilityPictuer);
  }
  if (!GetUserFontPointer()) SetUserFontPointer(&QelFont);
  return true;
}

void _utility_draw::SetPictureInfo(int index, int row, int column) {
  const PicInfo* info = index >= 0 && index < kUtiPictures ? UtilityPictuer.GetPictureMsg(index) : nullptr;
  if (!info) {
    rectRow_ = rectCol_ = rectWidth_ = rectHeight_ = 0;
    return;
  }
  rectRow_ = row;
  rectCol_ = column;
  rectWidth_ = info->width;
  rectHeight_ = info->height;
}

void _utility_draw::DrawBuffSync(uint32_t* page, int mode) {
  if (!page) return;
  const int r0 = std::max(0, rectRow_), c0 = std::max(0, rectCol_);
  const int r1 = std::min(int(kHeight), rectRow_ + rectHeight_), c1 = std::min(int(kWidth), rectCol_ + rectWidth_);
  if (r0 >= r1 || c0 >= c1) return;
  const uint32_t* own = buffer_.get();
  for (int r = r0; r < r1; ++r) {
    const size_t at = size_t(r) * kWidth;
    if (mode != kMergeBlend) {
      std::copy(own + at + c0, own + at + c1, page + at + c0);
      continue;
    }
    for (int c = c0; c < c1; ++c) {
      const uint32_t p = own[at + size_t(c)] & 0xFFFFFF;
      if (p == MASK_COLOR) continue;
      const uint32_t q = page[at + size_t(c)];
      uint32_t out = 0;
      for (int b = 0; b < 3; ++b) {
        const uint32_t pageByte = q >> (8 * b) & 0xFF, ownByte = p >> (8 * b) & 0xFF;
        out |= (((pageByte * 23) >> 7) + ((ownByte * 210) >> 8)) << (8 * b);
      }
      page[at + size_t(c)] = out;
    }
  }
}

void _utility_draw::Box(int picture, int row, int column, const uint16_t* title) {
  DrawPictrue(row, column, picture, 0);
  const PicInfo* info = UtilityPictuer.GetPictureMsg(picture);
  const int width = info ? info->width : 0;
  if (title) DrawUnicodeString(row + kTitleRowInset, column + kTitleInset, title, width - 2 * kTitleInset, kTitleColour, 0);
  SetPictureInfo(picture, row, column);
}

void _utility_draw::Blink() {
  const int64_t now = plat::MonoUs();
  if (now - lastToggle_ > kUtiBlinkUs) {
    phase_ ^= 1;
    lastToggle_ = now;
  }
}

void _utility_draw::ShowTimeTwinkleStart() {
  lastToggle_ = plat::MonoUs();
  phase_ = 1;
}

void _utility_draw::ShowTimeTwinkle() { Blink(); }
void _utility_draw::ShowIpTwinkleOne() { Blink(); }

void _utility_draw::ShowTimeInit() {
  Ready();
  // Measured in the font the fields are drawn with, so they never overlap.
  FontScope scope(GetUserFontPointer(), kTimeFont);
  const int year = Stringlen(kFontAscii, "8888"), two = Stringlen(kFontAscii, "88");
  const int dash = Stringlen(kFontAscii, " - "), colon = Stringlen(kFontAscii, " : "), gap = Stringlen(kFontAscii, "   ");
  time_.field = 0;
  time_.column[0] = kTimeFirstCol;
  time_.column[1] = time_.column[0] + year + dash;
  time_.column[2] = time_.column[1] + two + dash;
  time_.column[3] = time_.column[2] + two + gap;
  time_.column[4] = time_.column[3] + two + colon;
  time_.column[5] = time_.column[4] + two + colon;
}

void _utility_draw::ShowTime() {
  Ready();
  SetTimeData d;
  setTime.GetSetTimeData(&d);
  FontScope scope(GetUserFontPointer(), kTimeFont);
  Box(kUtiPicTime, kTimePicRow, kTimePicCol, Utili_TimeSetTitle);
  const int16_t v[kTimeFields] = {d.year, d.month, d.day, d.hour, d.minute, d.second};
  static const char* const kSeparators[kTimeFields] = {" - ", " - ", "", " : ", " : ", ""};
  for (int i = 0; i < kTimeFields; ++i) {
    char text[8];
    std::snprintf(text, sizeof text, "%d", v[i]);
    const int colour = i == time_.field && phase_ ? kHighlight : kNormal;
    DrawString(kTimeRow, time_.column[i], text, colour, 0);
    if (*kSeparators[i] && i + 1 < kTimeFields)
      DrawString(kTimeRow, time_.column[i + 1] - Stringlen(kFontAscii, kSeparators[i]), kSeparators[i], kNormal, 0);
  }
  DrawBuffSync(ComposedPage(), MergeMode());
}

void _utility_draw::ShowIpInit(bool maskLine) {
  Ready();
  FontScope scope(GetUserFontPointer(), kIpFont);
  ip_.byteWidth = Stringlen(kFontAscii, "255");
  ip_.sepWidth = Stringlen(kFontAscii, " . ");
  for (int i = 0; i < 4; ++i) ip_.column[i] = kIpFirstCol + i * (ip_.byteWidth + ip_.sepWidth);
  ip_.maskLine = maskLine ? 1 : 0;
  ip_.editing = 1;
}

void _utility_draw::ShowIpAddr() {
  Ready();
  IpConfigData c;
  IpAddress a;
  ipConfig.GetIpConfigData(&c);
  ipConfig.GetIpAddress(&a);
  FontScope scope(GetUserFontPointer(), kIpFont);
  Box(kUtiPicIp, kIpPicRow, kIpPicCol, Utili_NetworkSetTitle);
  const uint16_t* labels[2] = {Utili_IpAddrTxt, Utili_NetmaskTxt};
  const uint8_t* bytes[2] = {a.address, a.netmask};
  const int editedByte[2] = {c.addrPos, c.maskPos};
  for (int line = 0; line < 2; ++line) {
    if (labels[line]) {
      const int w = Stringlen(kFontUnicode, labels[line]);
      DrawUnicodeString(kIpRows[line], kIpPicCol + kIpLabelEnd - w, labels[line], kIpLabelEnd, kNormal, 0);
    }
    for (int i = 0; i < 4; ++i) {
      char text[8];
      std::snprintf(text, sizeof text, "%d", bytes[line][i]);
      const bool edited = ip_.editing && ip_.maskLine == line && editedByte[line] == i && c.mode != kIpModeDhcp;
      DrawString(kIpRows[line], ip_.column[i], text, edited && phase_ ? kHighlight : kNormal, 0);
      if (i < 3) DrawString(kIpRows[line], ip_.column[i] + ip_.byteWidth, " . ", kNormal, 0);
    }
  }
  DrawBuffSync(ComposedPage(), MergeMode());
}

void _utility_draw::DrawVersion() {
  Ready();
  FontScope scope(GetUserFontPointer(), kInfoFont);
  Box(kUtiPicInfo, kInfoPicRow, kInfoPicCol, Utili_SysInfo);
  struct Line {
    int row;
    const char* format;
  };
  static const Line kLines[] = {{kInfoFactory, ":  %s"},  {kInfoModel, ":  %s"},    {kInfoSerial, ":  %s"},
                                {kInfoSoftware, ":  V%s"}, {kInfoHardware, ":  V%s"}, {kInfoLogic, ":  V%s"},
                                {kInfoManufacturer, ":  %s"}, {kInfoWeb, ":  %s"}};
  const int lines = SysRunStatus.Get_OEM() == 1 ? 8 : 7;
  for (int i = 0; i < lines; ++i) {
    const int row = kInfoFirstRow + i * kInfoLineStep;
    if (pInfomation[kLines[i].row])
      DrawUnicodeString(row, kInfoLabelCol, pInfomation[kLines[i].row], kInfoValueCol - kInfoLabelCol, kNormal, 0);
    char text[48];
    std::snprintf(text, sizeof text, kLines[i].format, SysInformation[kLines[i].row]);
    DrawString(row, kInfoValueCol, text, kNormal, 0);
  }
  DrawBuffSync(ComposedPage(), MergeMode());
}
