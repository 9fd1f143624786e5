// The screen composer: the one drawing object that owns the frame buffer and
// the composition pages and builds every frame of the 800 x 480 screen: the
// fixed elements and status texts on the static page, the soft-key menu on the
// menu page, and each frame on one of two composition pages in turn, which is
// then copied to the LCD.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "ui/draw/draw.h"
#include "ui/screen/qel_raster_paint.h"

class Menu;
class unit_convert;
class semaphore;
struct msginfo;
struct numkeyboard;
struct _Filelist;

// One line of the start-up hardware-check box: its screen row and text.
struct HardwareCheckLine {
  int row;
  const char* text;
};

// Buffer kinds answered by GetDrawAddr.
enum : short {
  DRAW_CURRENT = 1,  // the page being composed
  DRAW_STATIC = 2,   // fixed elements and status texts
  DRAW_MENU = 4,     // the soft-key menu panel
  DRAW_SHOWN = 5,    // the page on the LCD
};

// Where the open pop-up list lies, for the remote screen-click code.
struct MenuPosEntry {
  int16_t row;
  int16_t column;
  int16_t index;  // choice index; 0x80 the up arrow, 0x81 the down arrow
};
constexpr int kPopShownMax = 14;  // choices shown at once
struct menuposmsg {
  int16_t popState;  // the shown menu's pop-up state (filled by GetQelMenuPosMsg)
  int16_t count;     // entries shown, plus 2 with the scroll arrows
  int16_t width;
  int16_t height;
  int16_t cursor;
  MenuPosEntry entry[kPopShownMax + 2];
};

// The number keypad as the remote screen code sees it.
struct numkeyboardshow {
  uint8_t shown;
  uint8_t owner;   // owner task id
  int16_t cursor;  // key under the cursor
};
static_assert(sizeof(numkeyboardshow) == 4, "keypad state is 4 bytes");

// The letter keyboard as the remote screen code sees it.
constexpr int kSoftKeys = 40;  // "A".."Z", "0".."9", "_", "del", the case key and "OK"
constexpr int kSoftKeyWidth = 25, kSoftKeyHeight = 30;  // each drawn key
struct SoftKeyPlace {
  int16_t row;
  int16_t column;
  int16_t index;
};
struct softkeyboardmsg {
  // The three words the record starts with, 40, 25, 30: the number of keys,
  // then the width and height of each drawn key (27 columns and 35 rows apart).
  int16_t keyCount;   // 40
  int16_t keyWidth;   // 25
  int16_t keyHeight;  // 30
  int16_t cursor;
  int16_t shown;
  SoftKeyPlace key[kSoftKeys];
};
static_assert(sizeof(softkeyboardmsg) == 250, "letter keyboard state is 250 bytes");

// Where a wave slot's marker lies (computed each full redraw).
constexpr int kArrowSlots = 14;
// The X-Y square: 280 pixels a side from row 165, at column 240 (30 with the
// cursor panel beside it); code 127 lies at row 305, 1.4 pixels a code.
constexpr int kXYSquareTop = 165, kXYSquareSide = 280, kXYSquareLeft = 240, kXYSquareLeftCursors = 30;
constexpr int kXYCentreRow = 305;
enum : int16_t { ARROW_NORMAL = 0, ARROW_UP = 1, ARROW_DOWN = 2, ARROW_LEFT = 3, ARROW_RIGHT = 4 };
struct ArrowPlace {
  int16_t row;
  int16_t column;
  int16_t variant;
  int16_t picture[5];  // by variant; -1 none
};

class qel_draw final : public Draw {
 public:
  static constexpr int kPixels = kWidth * kHeight;
  static constexpr int kPageBytes = kPixels * 4;

  qel_draw();
  ~qel_draw();

  // Set-up.
  int Init();
  // The buffer a kind names. Writes through a composition or static page
  // handed out here may be anywhere: the whole page is drawn afresh.
  uint32_t* GetDrawAddr(short kind) override;
  void SetMainDisplayType(short type) { displayType_ = type; }
  short GetMainDisplayType() const { return displayType_; }

  // Pages and the LCD.
  void ClearDisplayMemory(short kind);
  void StaticPageToNormalPage();
  void UpdateLcd();
  void UpdateAreaLcd(int row, int col, int width, int height);
  uint32_t* GetScreenBMP();
  int LastPage() const { return lastPage_.load(); }
  int CurrentPage() const { return currentPage_.load(); }

  // The frame.
  int MainDisplay();
  // When the next frame without new data is due (monotonic microseconds): an
  // idle main loop need not wake before it.
  int64_t NextIdleFrameUs() const;
  void DrawParaRefresh();
  void SetWaveAreaRefresh() { waveAreaRefresh_ = 1; }
  // Every frame drawn whole and sent to the LCD whole, as before frames
  // painted only what changed (the reference they are checked against).
  void SetFullFrames(bool on) { fullFrames_ = on; }
  void ClearWaveAreaRefresh() { waveAreaRefresh_ = 0; }
  // True once message 45 left the power-off screen on the LCD for good.
  bool Halted() const { return halted_; }

  // Colours.
  static int GetChannelColor(short index);
  void SetGrayScale(int v);
  int GetGridColor() const { return gridColour_; }
  void SetWaveBright(int b);
  void SetColorTemp(int invert, int level);
  void SetFFTWaterFallGrayScale();
  int GetQelGrayscaleInfo(uint8_t** map, short channel, int** palette);
  // A channel trace's colour (`colour` at the factory brightness) through its
  // channel's palette: brightness scales it, colour grading replaces it.
  int TraceColour(int channel, int colour) const;
  const int* WaterfallPalette() const { return waterfall_; }

  // Start-up: the hardware-check box on the current page, shown on the LCD.
  void ShowHardwareCheck(const HardwareCheckLine* lines, int n);
  int HardwareCheckShown() const { return hardwareCheckLines_.load(); }

  // Progress bar of long operations; mode 1 restarts it, mode 2 adds `step`.
  void DrawWorkProcess(int row, int col, int mode, int step);

  // Menus.
  int DrawQelMenu(int task, Menu* menu);
  void ClrMenuActQEL6600KS(int slot, int attribute, short kind);
  void DrawTopMenuTitle(int task, short shown, Menu* menu);
  void DrawQelMenuPop(int task, Menu* menu);
  void CopyMenuBuffToTFTBuff();
  void GetQelMenuPosMsg(menuposmsg* out);
  numkeyboardshow GetNumKeyboardShowMsg() const;
  // Where number-pad key `key` lies on the screen; false for a bad key.
  static bool NumKeyboardKeyRect(int key, int* row, int* col, int* width, int* height);
  void GetSoftKeyboardMsg(softkeyboardmsg* out) const;
  void ClearNumKeyboardShowFlag();
  void ClearSoftKeyboardShowFlag();
  static int TaskColour(int task);

  // Dialogs and input boards.
  void DrawTxtCenter(int type, int row, int centreColumn, const void* text);
  void DrawMessage(const msginfo* info);
  void DrawNumKeyboard(const numkeyboard* pad);
  // The letter keyboard; `style` gives the last three keys' labels and the
  // colours (null: the composer's own).
  struct SoftKeyStyle {
    const char* words[3];  // delete, case, enter
    uint32_t frame, key, selected, label, selectedLabel;
  };
  void DrawSoftKeyboard(short cursor, short lowerCase, const char* name,
                        const SoftKeyStyle* style = nullptr);
  void DrawFileSelList(int row, int col, const _Filelist* list, const uint16_t* title);

  // Status texts and marks.
  void DisplayTime();
  void DisplayTimeBase();
  void DisplayPreTrig();
  void DisplayTrigger();
  void DisplayChInfo();
  void DisplayWaveIndicator();
  void ArrowProcess();
  int GetArrow(int slot, int* row, int* column, int* picture) const;
  void DisplayChArrow();
  void DisplayTriggerCursor();
  // The row of trigger level `level` (0 first, 1 second) of channel source
  // `src` in the layout shown, and the column its line starts at.
  int TriggerLevelRow(int src, int level, int* start = nullptr) const;
  void DisplayYOffset();
  void DrawAcqStatus();
  void DrawFreqResult();
  void DrawTemperature();
  void DrawZoomIndicator();
  const char* StatusText() const { return statusText_; }
  void DisplayMsgTxt() const;

  // Wave area: frames, graticules and traces.
  // The dotted areas a frame's graticule dots (at most two).
  struct GridArea {
    int top, left, width, height, divW, divH, dotStep;
  };
  struct GridPlan {
    int graticule = 3, colour = 0, areas = 0;
    GridArea area[2] = {};
    bool operator==(const GridPlan& o) const;
  };
  void DrawGridFrameYT(int layout);
  void DrawGridFrameXY(short mode);
  void DrawGridFrameZoom();
  // The graticule over the wave area (and the zoom layout's main time base).
  void DrawGrid();
  // The traces and the raster as they are now, the raster painted whole
  // (outside a frame: the next frame draws the wave area afresh).
  void DrawWave();
  // Clear the whole display raster (the next frame shows no intensity trace
  // until the FPGA raster is read again).
  void ClearQelPicture();
  void ClearDisplayWave();

 private:
  // Settings cached from the run state at each full redraw.
  struct Cached {
    int16_t chStatus, timeBaseType, displayFormat, graticule, alternateTrig;
    int16_t independent, split, cursorOn, mathType, fftMode, fftColumns, fftLayout;
    int16_t temperatureShown, transparent, recordToVideo, factoryMode;
  };

  uint32_t* Page(int index) { return pages_.get() + size_t(index) * kPixels; }
  // The buffer a kind names, its writes left to the primitives' record.
  uint32_t* Surface(short kind);
  uint32_t* PrimitiveBuffer(short kind) override { return Surface(kind); }
  // This frame's raster (a copy of the FPGA's) and how it is shown.
  void PlanRaster();
  void DrawWaveArea();  // DrawWave within a frame
  void PaintFrameRaster();
  void KeepFrameRaster();  // the page now shows this frame's raster
  void OpenFrameBuffer();
  void FullRedraw();
  void Compose();
  bool MathOn() const { return (para_.chStatus & 0x20) != 0; }
  GridPlan PlanGrid() const;
  void DotGrid(const GridPlan& plan, const RowSpans* clip);
  // What this frame wrote on page p so far: restored, drawn, raster cells.
  RowSpans CoveredThisFrame(int p) const;
  bool MenuOnScreen() const;
  void DrawItem(int task, const Menu& menu, int slot);
  void DrawTriggerLevel(int src, int level, bool adjusting, bool showText, bool moving);
  void DrawChannelMarkers();
  int DrawCentredAscii(int row, int centre, const char* text, int colour, short kind);
  int DrawCentredUnicode(int row, int centre, const uint16_t* text, int colour, short kind);

  semaphore* sem_;
  short displayType_ = 0;
  Cached para_{};
  uint32_t* frameBuffer_ = nullptr;
  bool frameBufferTried_ = false;
  unit_convert* unitConvert_ = nullptr;
  int currentTask_ = -1;
  std::atomic<Menu*> menu_{nullptr};   // the current module's menu, drawn
  std::unique_ptr<uint32_t[]> pages_;  // pages 0-1 composition, 2 static, 3 menu, 4 hidden
  // Where each composition page differs from the static page (besides its
  // raster), what the static page got since the last frame, what the last
  // frame restored, and the LCD's rows copied from the page being composed.
  RowSpans drawn_[2], staticDrawn_, restored_, lcdExtra_;
  // The menu panel each page got this frame (not in drawn_: the other page
  // holds the same pixels there when it got the same), and the menu page's
  // writes since the last copy.
  struct MenuCopy {
    int rows = 0;
    unsigned version = 0;
    bool operator==(const MenuCopy& o) const { return rows == o.rows && version == o.version; }
  };
  MenuCopy pageMenu_[2];
  // The zoom window's marks on the main strip: this frame's, and each page's.
  // A page keeps its marks untracked (they are drawn on top every frame)
  // until they move; the other page holds the same pixels when it has the same.
  struct ZoomMark {
    int left = -1, right = -1;  // the columns of its two brackets; -1: none
    bool operator==(const ZoomMark& o) const { return left == o.left && right == o.right; }
  };
  ZoomMark frameMark_, pageMark_[2];
  ZoomMark ZoomMarkNow() const;
  static void AddZoomMark(RowSpans* spans, const ZoomMark& mark);
  RowSpans menuDrawn_;
  // This frame copies the menu panel (decided as it starts); the page still
  // holds the same panel, so only what covers it is copied: what the page
  // restored, what this frame drew, the raster cells it painted.
  bool menuThisFrame_ = false, menuKept_ = false;
  RowSpans rasterWrote_;
  unsigned menuVersion_ = 0;
  void AddMenuPanel(RowSpans* spans, int rows) const;
  bool lcdHolds_ = false;  // the LCD holds the page shown last, exactly
  bool fullFrames_ = false;
  bool rasterAfresh_ = false;                               // this frame paints its raster whole
  std::unique_ptr<uint8_t[]> frameRaster_, pageRaster_[2];  // the raster this frame, and on each page
  RasterLook frameLook_, pageLook_[2];
  GridPlan gridPlan_, pageGrid_[2];  // this frame's grid, and the one each page holds
  char statusText_[70] = {};
  int palette_[4][256] = {};
  int waterfall_[256] = {};
  int gridColour_ = 0;
  std::atomic<bool> graded_{false};  // the palettes hold the grading picture (SCPI handlers set it)
  int waveAreaRefresh_ = 0;
  int64_t lastFrameUs_ = 0;
  bool framed_ = false;  // a frame was composed before
  int32_t frameSec_ = 0, frameUsec_ = 0;
  int menuRows_ = 0;  // rows of the menu page's panel to copy; 0 no menu
  int workSegments_ = 0;
  bool halted_ = false;
  ArrowPlace arrow_[kArrowSlots] = {};
  ArrowPlace preTrig_[2] = {};
  mutable std::mutex stateLock_;  // the records the remote screen code reads
  menuposmsg menuPos_{};
  numkeyboardshow numKeyboard_{};
  softkeyboardmsg softKeyboard_{};
  std::atomic<int> lastPage_{0};
  std::atomic<int> currentPage_{0};
  std::atomic<int> hardwareCheckLines_{0};
};

extern qel_draw QelDraw;
