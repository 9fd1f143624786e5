#include "ui/draw/picture.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/root.h"

#define PIC(dir, name) {0, "Data/PicResource/" dir "/" name, -1, -1}
#define PIC_KEY(dir, name, r, c) {0, "Data/PicResource/" dir "/" name, r, c}
#define ARROW(name) PIC_KEY("ArrowMark", name, 1, 20)

const PicPath PicList[kSystemPictures + 1] = {
    // 0-11
    PIC("StatusBar", "ch-bar-math.bmp"), PIC("StatusBar", "ch-bar-2ch.bmp"),
    PIC("StatusBar", "top-bar.bmp"), PIC("StatusBar", "TimeBase.bmp"),
    PIC("StatusBar", "CH1_ACTIVE.bmp"), PIC("StatusBar", "CH2_ACTIVE.bmp"),
    PIC("StatusBar", "CH3_ACTIVE.bmp"), PIC("StatusBar", "CH4_ACTIVE.bmp"),
    PIC("StatusBar", "MATH_ACTIVE.bmp"), PIC("StatusBar", "bw.bmp"),
    PIC("StatusBar", "fine.bmp"), PIC("StatusBar", "Zoom.bmp"),
    // 12-21
    PIC("ProcStatus", "armed.bmp"), PIC("ProcStatus", "auto.bmp"), PIC("ProcStatus", "play.bmp"),
    PIC("ProcStatus", "ready.bmp"), PIC("ProcStatus", "roll.bmp"), PIC("ProcStatus", "stop.bmp"),
    PIC("ProcStatus", "triged.bmp"), PIC("ProcStatus", "Guide1.bmp"),
    PIC("ProcStatus", "Guide2.bmp"), PIC("ProcStatus", "Alternate.bmp"),
    // 22-29
    PIC("StatusBar", "M1.bmp"), PIC("StatusBar", "M2.bmp"), PIC("StatusBar", "M3.bmp"),
    PIC("StatusBar", "M4.bmp"), PIC("StatusBar", "D1.bmp"), PIC("StatusBar", "D2.bmp"),
    PIC("StatusBar", "D3.bmp"), PIC("StatusBar", "D4.bmp"),
    // 30-66
    ARROW("CH1.bmp"), ARROW("CH1_Up.bmp"), ARROW("CH1_Down.bmp"), ARROW("CH1_Left.bmp"),
    ARROW("CH1_Right.bmp"), ARROW("CH2.bmp"), ARROW("CH2_Up.bmp"), ARROW("CH2_Down.bmp"),
    ARROW("CH3.bmp"), ARROW("CH3_Up.bmp"), ARROW("CH3_Down.bmp"), ARROW("CH3_Left.bmp"),
    ARROW("CH3_Right.bmp"), ARROW("CH4.bmp"), ARROW("CH4_Up.bmp"), ARROW("CH4_Down.bmp"),
    ARROW("MATH.bmp"), ARROW("MATH_Up.bmp"), ARROW("MATH_Down.bmp"), ARROW("REFA.bmp"),
    ARROW("REFA_Up.bmp"), ARROW("REFA_Down.bmp"), ARROW("REFB.bmp"), ARROW("REFB_Up.bmp"),
    ARROW("REFB_Down.bmp"), ARROW("REFC.bmp"), ARROW("REFC_Up.bmp"), ARROW("REFC_Down.bmp"),
    ARROW("REFD.bmp"), ARROW("REFD_Up.bmp"), ARROW("REFD_Down.bmp"),
    PIC_KEY("ArrowMark", "PreTriger.bmp", 1, 12), ARROW("PreTriger_Left.bmp"),
    ARROW("PreTriger_Right.bmp"), PIC_KEY("ArrowMark", "Ch2PreTriger.bmp", 1, 12),
    ARROW("Ch2PreTriger_Left.bmp"), ARROW("Ch2PreTriger_Right.bmp"),
    // 67-72
    PIC_KEY("TriggerSource", "S1.bmp", 1, 20), PIC_KEY("TriggerSource", "S2.bmp", 1, 20),
    PIC_KEY("TriggerSource", "S3.bmp", 1, 20), PIC_KEY("TriggerSource", "S4.bmp", 1, 20),
    PIC_KEY("TriggerSource", "AC.bmp", 1, 20), PIC_KEY("TriggerSource", "EXT.bmp", 1, 20),
    // 73-101
    PIC("Menu", "menu-item-Double.bmp"), PIC("Menu", "menu-item-Double_Active.bmp"),
    PIC("Menu", "menu-item-Single.bmp"), PIC("Menu", "menu-item-Single-Push.bmp"),
    PIC("Menu", "menu-item-Double-Push.bmp"), PIC("Menu", "pop-menu-icon.bmp"),
    PIC("Menu", "title-top.bmp"), PIC("Menu", "title-bottom.bmp"), PIC("Menu", "title-body.bmp"),
    PIC("Menu", "choice-1.bmp"), PIC("Menu", "choice-1-Active.bmp"), PIC("Menu", "choice-2.bmp"),
    PIC("Menu", "choice-2-Active.bmp"), PIC("Menu", "knob-normal.bmp"),
    PIC("Menu", "knob-normal-Active.bmp"), PIC("Menu", "KnobNumKB.bmp"),
    PIC("Menu", "KnobNumKB-Active.bmp"), PIC("Menu", "KeyIco.bmp"), PIC("Menu", "PageMark.bmp"),
    PIC("Menu", "PageMarkSel.bmp"), PIC("Menu", "PageFrame.bmp"),
    PIC("Menu", "ArrowDown_icon.bmp"), PIC("Menu", "ArrowLeft-icon.bmp"),
    PIC("Menu", "SubMenu-icon.bmp"), PIC("Menu", "pop-menu-knob.bmp"), PIC("Menu", "pop-menu.bmp"),
    PIC("Menu", "pop-menu-up.bmp"), PIC("Menu", "pop-menu-down.bmp"),
    PIC("Menu", "pop-menu-sel.bmp"),
    // 102-111
    PIC("Information", "wnd.bmp"), PIC("Information", "wnd-ver.bmp"),
    PIC("Information", "icon-error.bmp"), PIC("Information", "icon-error-small.bmp"),
    PIC("Information", "icon-info.bmp"), PIC("Information", "icon-info-small.bmp"),
    PIC("Information", "icon-question.bmp"), PIC("Information", "icon-question-small.bmp"),
    PIC("Information", "icon-warnning.bmp"), PIC("Information", "icon-warnning-small.bmp"),
    // 112-126
    PIC("Dialog", "Dialog.bmp"), PIC("Dialog", "SingleSel.bmp"), PIC("Dialog", "Single.bmp"),
    PIC("USB", "USB.bmp"), PIC("Net", "EtherNet.bmp"), PIC("Rtc", "Rtc.bmp"),
    PIC("Process", "Process.bmp"), PIC("Process", "Bar.bmp"), PIC("Cymometer", "Cymometer.bmp"),
    PIC("NumKeyboard", "NumKeyboard.bmp"), PIC("ColorTemp", "ColorTemper.bmp"),
    PIC("ColorTemp", "ColorTemperInvert.bmp"), PIC("PassFail", "PassFail.bmp"),
    PIC("ProcStatus", "View.bmp"), PIC("ProcStatus", "View2.bmp"),
    // 127-133
    PIC("Help", "Dir.bmp"), PIC("Help", "Sub.bmp"), PIC("Help", "SubItem.bmp"),
    PIC("Help", "Help.bmp"), PIC("Help", "Help-Txt.bmp"), PIC("Help", "TxtRollBar.bmp"),
    PIC("Help", "HelpSlideBar.bmp"),
    // 134-139
    ARROW("Decode.bmp"), PIC("Dialog", "event-list.bmp"), PIC("Dialog", "close-icon.bmp"),
    PIC("Cursor", "XY-Cursor-Line-One.bmp"), PIC("Cursor", "XY-Cursor-Line-Two.bmp"),
    PIC("Dialog", "Lin-list.bmp"),
    {0xFFFF, "", -1, -1},
};

#undef ARROW
#undef PIC_KEY
#undef PIC

const ElementPosRow ElementPos[18] = {
    {0, 446, 0}, {1, 446, 0},   {2, 0, 0},    {3, 0, 88},   {4, 448, 2},  {5, 448, 177},
    {6, 448, 0}, {7, 448, 173}, {8, 448, 352}, {12, 3, 4},  {13, 3, 4},   {14, 3, 4},
    {15, 3, 4},  {16, 3, 4},    {17, 3, 4},   {18, 3, 4},   {18, 3, 4},   {-1, 0, 0},
};

Picture QelSysPic;

namespace {

constexpr long kHeaderBytes = 54;
// A full-screen 24-bit picture plus a little slack; larger files are refused.
constexpr long kMaxFileBytes = kHeaderBytes + 800L * 3 * 480 + 4096;

uint32_t Le16(const uint8_t* p) { return p[0] | (uint32_t(p[1]) << 8); }
uint32_t Le32(const uint8_t* p) { return Le16(p) | (Le16(p + 2) << 16); }

// Checks a BMP header against what the store reads: "BM", 54-byte header
// with the pixels right behind it, 24 bits, no compression, a positive
// (bottom-up) height and sizes within the screen, and enough bytes for every
// padded row. Returns an empty string when good, else the reason.
const char* CheckHeader(const uint8_t* file, long size, int* width, int* height) {
  if (size < kHeaderBytes) return "shorter than its header";
  if (file[0] != 'B' || file[1] != 'M') return "not a BMP file";
  if (Le32(file + 10) != kHeaderBytes) return "pixel data not at byte 54";
  if (Le16(file + 28) != 24) return "not 24 bits per pixel";
  if (Le32(file + 30) != 0) return "compressed";
  int32_t w = static_cast<int32_t>(Le32(file + 18));
  int32_t h = static_cast<int32_t>(Le32(file + 22));
  if (h <= 0) return "height not positive (top-down or empty)";
  if (w <= 0 || w > Picture::kMaxWidth || h > Picture::kMaxHeight) return "size out of range";
  long stride = (long(w) * 24 + 31) / 32 * 4;
  if (kHeaderBytes + stride * h > size) return "shorter than its pixel rows";
  *width = w;
  *height = h;
  return "";
}

}  // namespace

Picture::~Picture() {
  for (auto& s : slots_) delete[] s.pixels;
}

bool Picture::LoadOne(int slot, const PicPath& row) {
  const std::string host = plat::MapPath(row.path);
  FILE* f = std::fopen(host.c_str(), "rb");
  if (!f) {
    std::printf("Open %s failed!\n", row.path);
    return false;
  }
  long size = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
  if (size < 0 || size > kMaxFileBytes || std::fseek(f, 0, SEEK_SET) != 0) {
    std::printf("Picture %s: size %ld out of range\n", row.path, size);
    std::fclose(f);
    return false;
  }
  std::unique_ptr<uint8_t[]> file(new (std::nothrow) uint8_t[size > 0 ? size : 1]);
  size_t got = file ? std::fread(file.get(), 1, size_t(size), f) : 0;
  std::fclose(f);
  if (!file || got != size_t(size)) {
    std::printf("Read %s File Error! %d \n", row.path, slot);
    return false;
  }
  int w = 0, h = 0;
  const char* bad = CheckHeader(file.get(), size, &w, &h);
  if (*bad) {
    std::printf("Picture %s: %s\n", row.path, bad);
    return false;
  }

  PicInfo& s = slots_[slot];
  delete[] s.pixels;
  s = PicInfo{0, 0, nullptr};
  uint32_t* px = new (std::nothrow) uint32_t[size_t(w) * h];
  if (!px) {
    std::printf("Picture %s: no memory\n", row.path);
    return false;
  }
  const long stride = (long(w) * 24 + 31) / 32 * 4;
  const uint8_t* data = file.get() + kHeaderBytes;
  bool keyed = row.keyRow != -1 && row.keyColumn != -1 && row.keyRow >= 0 && row.keyRow < h &&
               row.keyColumn >= 0 && row.keyColumn < w;
  uint32_t key = 0;
  if (keyed) {
    const uint8_t* k = data + row.keyRow * stride + row.keyColumn * 3;
    key = (uint32_t(k[2]) << 16) | (uint32_t(k[1]) << 8) | k[0];
  }
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = data + long(h - 1 - y) * stride;  // stored bottom row first
    uint32_t* dst = px + size_t(y) * w;
    for (int x = 0; x < w; ++x, src += 3) {
      uint32_t c = (uint32_t(src[2]) << 16) | (uint32_t(src[1]) << 8) | src[0];
      dst[x] = keyed && c == key ? MASK_COLOR : c;
    }
  }
  s = PicInfo{int16_t(w), int16_t(h), px};
  return true;
}

int Picture::LoadPicture(const PicPath* list) {
  if (!list) return -1;
  int loaded = 0;
  bool failed = false;
  for (int n = 0; n < kSlots && list[n].id != 0xFFFF; ++n) {
    if (LoadOne(n, list[n]))
      ++loaded;
    else
      failed = true;
  }
  return failed ? -1 : loaded;
}

const PicInfo* Picture::GetPictureMsg(int id) const {
  return id >= 0 && id < kSlots ? &slots_[id] : nullptr;
}

void Picture::DispPicAddr() const {
  std::printf("DispPicAddr start...\n");
  for (int i = 0; i < kSlots; ++i)
    std::printf("I = %d  Addr = 0x%lx \n", i,
                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(slots_[i].pixels)));
  std::printf("DispPicAddr end ...\n");
}
