// The composer's pages, the page swap and the copies to the LCD.
#include "ui/screen/qel_draw.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "acquisition/engine/wave.h"
#include "core/common/unit_convert.h"
#include "core/messages/semaphore.h"
#include "core/state/sys_run_info.h"
#include "platform/devices/framebuffer.h"

qel_draw QelDraw;

namespace {
constexpr int kStaticPage = 2, kMenuPage = 3, kHiddenPage = 4;
// The slots of the primitives' record: the composition pages 0 and 1, then
// the static and the menu page.
constexpr int kTrackStatic = 2, kTrackMenu = 3;

// The current language's type for wrapped texts: 1 lets any character wrap.
int CurrentLanguageType() {
  return SysRunStatus.GetLanguageType(SysRunInfo.language, nullptr) == 1 ? 1 : 0;
}
}  // namespace

qel_draw::qel_draw()
    : sem_(&Sem),
      pages_(new uint32_t[size_t(5) * kPixels]()),
      frameRaster_(new uint8_t[kQelRasterBytes]()),
      pageRaster_{std::unique_ptr<uint8_t[]>(new uint8_t[kQelRasterBytes]()),
                  std::unique_ptr<uint8_t[]>(new uint8_t[kQelRasterBytes]())} {
  SetGrayScale(30);  // the grid and trace brightness of a fresh instrument
  SetWaveBright(30);
  for (int p = 0; p < 2; ++p) TrackWrites(p, Page(p), &drawn_[p]);
  TrackWrites(kTrackStatic, Page(kStaticPage), &staticDrawn_);
  TrackWrites(kTrackMenu, Page(kMenuPage), &menuDrawn_);
}

qel_draw::~qel_draw() {
  for (int slot = 0; slot < kTrackSlots; ++slot) TrackWrites(slot, nullptr, nullptr);
}

// The frame buffer lives under the instrument root, which is known only once
// the program runs: it is opened by Init (or by the first LCD update).
void qel_draw::OpenFrameBuffer() {
  if (frameBufferTried_) return;
  frameBufferTried_ = true;
  std::printf("Open Frame Buff Dev /dev/fb0\n");
  frameBuffer_ = plat::FrameBufferMap();
  if (!frameBuffer_) return;
  std::printf("FrameBuff Dev /dev/fb0 Ok!\n");  // pages 0 and 1 start cleared
}

int qel_draw::Init() {
  SetUserFontPointer(&QelFont);
  SetPicturePointer(&QelSysPic);
  QelSysPic.LoadPicture(PicList);
  Draw::SetLanguageTypeQuery(&CurrentLanguageType);
  unitConvert_ = &UnitConvert;
  displayType_ = 0;
  {
    std::lock_guard<std::mutex> lock(stateLock_);
    softKeyboard_ = softkeyboardmsg{};
  }
  OpenFrameBuffer();
  return 0;
}

uint32_t* qel_draw::GetDrawAddr(short kind) {
  uint32_t* page = Surface(kind);
  if (page == Page(0) || page == Page(1)) drawn_[page == Page(1)].AddAll();
  if (page == Page(kStaticPage)) staticDrawn_.AddAll();
  if (page == Page(kMenuPage)) menuDrawn_.AddAll();
  return page;
}

uint32_t* qel_draw::Surface(short kind) {
  const bool hidden = displayType_ == 1;
  switch (kind) {
    case DRAW_STATIC: return Page(hidden ? kHiddenPage : kStaticPage);
    case DRAW_MENU: return Page(kMenuPage);
    case DRAW_SHOWN: return Page(lastPage_.load());
    default: return Page(hidden ? kHiddenPage : currentPage_.load());
  }
}

void qel_draw::ClearDisplayMemory(short kind) { std::memset(GetDrawAddr(kind), 0, kPageBytes); }

// The page being composed takes the static page's pixels wherever it was
// drawn on since it last did (or the static page changed meanwhile); the
// whole wave area when its raster is painted whole this frame.
void qel_draw::StaticPageToNormalPage() {
  const uint32_t* from = Surface(DRAW_STATIC);
  uint32_t* to = Surface(DRAW_CURRENT);
  if (from == to) return;  // one page while composing hidden
  const int p = currentPage_.load();
  drawn_[0].Merge(staticDrawn_);
  drawn_[1].Merge(staticDrawn_);
  staticDrawn_.Clear();
  if (fullFrames_) drawn_[p].AddAll();
  // The page's zoom marks stay until they move (or the page is restored whole).
  if (!(pageMark_[p] == frameMark_) || fullFrames_) {
    AddZoomMark(&drawn_[p], pageMark_[p]);
    pageMark_[p] = ZoomMark{};
  }
  // The raster painted whole, or another grid: the wave area restored whole.
  if (rasterAfresh_ || !(pageGrid_[p] == gridPlan_)) drawn_[p].AddRows(kWaveTop, kHeight, kWaveLeft, kWidth);
  const bool menuDrawn = menuDrawn_.AnyRow();
  menuKept_ = menuThisFrame_ && !fullFrames_ && !rasterAfresh_ && !menuDrawn && menuRows_ > 0 &&
              pageMenu_[p] == MenuCopy{menuRows_, menuVersion_};
  if (!menuKept_) AddMenuPanel(&drawn_[p], pageMenu_[p].rows);
  pageMenu_[p] = MenuCopy{};
  rasterWrote_.Clear();
  restored_ = drawn_[p];
  drawn_[p].Clear();
  for (int r = 0; r < kHeight; ++r)
    if (restored_.Any(r))
      std::memcpy(to + r * kWidth + restored_.lo[r], from + r * kWidth + restored_.lo[r],
                  size_t(restored_.hi[r] - restored_.lo[r]) * 4);
}

RowSpans qel_draw::CoveredThisFrame(int p) const {
  RowSpans cover = restored_;
  cover.Merge(drawn_[p]);
  cover.Merge(rasterWrote_);
  return cover;
}

void qel_draw::UpdateLcd() {
  OpenFrameBuffer();
  if (!frameBuffer_) return;
  const int shown = currentPage_.load();
  const uint32_t* page = Page(shown);
  if (!lcdHolds_ || fullFrames_) {
    std::memcpy(frameBuffer_, page, kPageBytes);
    lcdHolds_ = true;
  } else {
    // The LCD holds the other page: they differ only where either was drawn
    // on, or their rasters differ.
    RowSpans differ = drawn_[0];
    differ.Merge(drawn_[1]);
    differ.Merge(lcdExtra_);
    if (!(pageMenu_[0] == pageMenu_[1]))
      AddMenuPanel(&differ, std::max(pageMenu_[0].rows, pageMenu_[1].rows));
    if (!(pageMark_[0] == pageMark_[1])) {
      AddZoomMark(&differ, pageMark_[0]);
      AddZoomMark(&differ, pageMark_[1]);
    }
    // The raster's cells that differ are copied alone.
    const RasterLook &now = pageLook_[shown], &before = pageLook_[1 - shown];
    if (!SameLook(now, before) || (now.shown && !CellWise(now.view)))
      differ.AddRows(kWaveTop, kHeight, kWaveLeft, kWidth);
    else if (now.shown)
      CopyRasterDifference(frameBuffer_, page, pageRaster_[shown].get(), pageRaster_[1 - shown].get(),
                           now.view);
    for (int r = 0; r < kHeight; ++r) {
      if (!differ.Any(r)) continue;
      const size_t at = size_t(r) * kWidth + size_t(differ.lo[r]),
                   bytes = size_t(differ.hi[r] - differ.lo[r]) * 4;
      if (std::memcmp(frameBuffer_ + at, page + at, bytes) != 0)
        std::memcpy(frameBuffer_ + at, page + at, bytes);
    }
  }
  lcdExtra_.Clear();
  SemLock lock(*sem_);
  lastPage_ = shown;
  currentPage_ = (shown + 1) % 2;
  plat::FrameBufferShown();
}

// Copies one rectangle of the page being composed to the LCD, clipped to the
// screen so that no caller can reach outside either buffer.
void qel_draw::UpdateAreaLcd(int row, int col, int width, int height) {
  OpenFrameBuffer();
  if (!frameBuffer_) return;
  const int r0 = std::max(row, 0), c0 = std::max(col, 0);
  const int r1 = int(std::min<int64_t>(int64_t(row) + height, kHeight));
  const int c1 = int(std::min<int64_t>(int64_t(col) + width, kWidth));
  if (r1 <= r0 || c1 <= c0) return;
  const uint32_t* from = Surface(DRAW_CURRENT);
  for (int r = r0; r < r1; ++r)
    std::memcpy(frameBuffer_ + r * kWidth + c0, from + r * kWidth + c0, size_t(c1 - c0) * 4);
  lcdExtra_.AddRows(r0, r1, c0, c1);
}

uint32_t* qel_draw::GetScreenBMP() { return Page((currentPage_.load() + 1) % 2); }

int qel_draw::GetChannelColor(short index) {
  static const int kColours[12] = {0x00CCCC, 0xFFCC00, 0x009900, 0xAC04E4, 0xFF0000, 0x08A5A5,
                                   0x6C6C00, 0x005000, 0x4C004C, 0x000005, 0x000008, 0x00CCCC};
  return index >= 0 && index < 12 ? kColours[index] : 0x00CCCC;
}

int qel_draw::GetQelGrayscaleInfo(uint8_t** map, short channel, int** palette) {
  if (channel < 0 || channel > 3) return -1;
  if (map) *map = QelWaveData;
  if (palette) *palette = palette_[channel];
  return 0;
}

void qel_draw::ShowHardwareCheck(const HardwareCheckLine* lines, int n) {
  FillRect(150, 300, 200, 150, 0xC70000, DRAW_CURRENT);
  DrawRect(150, 300, 200, 150, 0xFFFFFF, DRAW_CURRENT);
  if (Font* f = GetUserFontPointer()) f->SetCurrFont(1);
  for (int i = 0; lines && i < n; ++i)
    DrawString(lines[i].row, 310, lines[i].text, 0xC8C8AF, DRAW_CURRENT);
  UpdateLcd();
  hardwareCheckLines_ = lines ? std::max(n, 0) : 0;
}

void qel_draw::DrawWorkProcess(int row, int col, int mode, int step) {
  if (mode == 1) workSegments_ = 0;
  if (mode == 2) workSegments_ = std::clamp(workSegments_ + step, 0, 40);
  DrawPictrue(row, col, 118, DRAW_CURRENT);
  for (int i = 0; i < workSegments_; ++i) DrawPictrue(row + 3, col + 2 + 9 * i, 119, DRAW_CURRENT);
  short w = 0, h = 0;
  GetPictrueInfo(118, &w, &h);
  UpdateAreaLcd(row, col, w, h);
}
