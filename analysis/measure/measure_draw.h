// The measure module's overlays (one instance, `MeasureDraw`): the voltmeter
// readout, the all-parameters panel, the user-selected picker, the user-slot
// result line and statistics cards, the indicator lines and the histogram.
// Panels are composed in the object's own 800 x 480 buffer and merged into
// the composer's current page, opaque or blended; readouts, lines and the
// histogram are drawn straight into that page.
#pragma once
#include <cstdint>
#include <memory>

#include "core/common/unit_convert.h"
#include "ui/draw/draw.h"
#include "ui/draw/picture.h"

struct _PicPos {
  int16_t x, y, width, height;
};

// Pictures of the measure drawing (`MeasurePicList`): 0..35 the parameter
// icons, then the panel backgrounds. Missing pictures leave a plain panel of
// the same size.
enum : int {
  kMeaPicAllPara = 36,
  kMeaPicUserDef = 37,
  kMeaPicStatCard = 38,
  kMeaPictures = 39,
};

constexpr int kMeaValueColour = 0xC8C8AF;
constexpr int kMeaPanelFont = 3;  // ASCII font of the panels and the result line

// Selects an ASCII font of the common font for a scope, then restores the one
// in force before.
class MeaFontScope {
 public:
  explicit MeaFontScope(int id);
  ~MeaFontScope();
  MeaFontScope(const MeaFontScope&) = delete;
  MeaFontScope& operator=(const MeaFontScope&) = delete;

 private:
  short previous_ = 0;
};

extern const PicPath MeasurePicList[kMeaPictures + 1];

class _measure_draw final : public Draw {
 public:
  _measure_draw();
  uint32_t* GetDrawAddr(short) override { return buffer_.get(); }

  void DrawDVM(short source, short mode);
  void DrawAllPara();
  void DrawUserDef();
  void DrawUserDefResult();
  void DrawStatistic();
  void DrawIndicator();
  void DrawIndicatorLineX(short x1, short x2, short source);
  void DrawIndicatorLineY(short y1, short y2, short source);
  // The screen row of a voltage of `source`.
  int ValueToGridY(const FloatElement* value, short source);
  // Copies (transparent 0) or blends the registered rectangle into `page`.
  void DrawBuffSync(uint32_t* page, short transparent);
  void SetPictureInfo(int index, const _PicPos* pos);
  const _PicPos& PictureInfo() const { return placed_; }

  // " %.2f" and the unit of a result (" ---" invalid, " %d" for Pulse);
  // `statistics` uses "%.3f" without the leading blank.
  static void ValueText(char* out, int size, int para, int source, const FloatElement* value, bool statistics);
  // Channel colour of a source: the opaque row, or the transparent one.
  static int ChannelColour(int source, bool transparentRow);
  // Sizes of the panels drawn without their pictures.
  static _PicPos PanelSize(int picture);
  // The object's own picture set, loaded from `MeasurePicList` when first
  // needed (the data directory is in place by then).
  Picture& Pictures();

 private:
  void Panel(int picture, int x, int y);
  void Merge();
  uint32_t* Page();
  int Colour(int source) const;

  std::unique_ptr<uint32_t[]> buffer_;
  std::unique_ptr<Picture> pictures_;
  _PicPos placed_{};
};

extern _measure_draw MeasureDraw;
