// The math module's overlays that are not traces (one instance, `mathDraw`):
// the dashed threshold line of a logic source while its threshold is being
// changed, drawn straight into the composer's current page, and the
// expression keypad with the edited expression, composed in the object's own
// 800 x 480 buffer and merged into that page.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "ui/draw/draw.h"

struct _PicPos;

constexpr uint32_t MASK_COLOR_MATH = 0x00FFF200;  // key colour of the merge

// Draw flags: which logic threshold line is shown.
enum : uint16_t { kMathDrawThreshold1 = 0x2, kMathDrawThreshold2 = 0x4 };

// How long a threshold line stays after the last change of its threshold.
constexpr int64_t kMathThresholdShowUs = 3500000;

// Pictures of the math drawing.
enum : int { kMathPicAdvance = 0, kMathPictures = 1 };

class _math_draw final : public Draw {
 public:
  _math_draw();
  uint32_t* GetDrawAddr(short) override { return buffer_.get(); }

  // Placement and size of picture 0; any other index clears the placement.
  void SetPictureInfo(int index, const _PicPos* pos);
  void PictureInfo(int* row, int* col, int* width, int* height) const;

  uint16_t GetMathDrawFlag() const { return flag_.load(); }
  void SetMathDrawFlag(short bits) { flag_.fetch_or(uint16_t(bits)); }
  void ResetMathDrawFlag(short bits) { flag_.fetch_and(uint16_t(~uint16_t(bits))); }
  // 2 shows the CH1 line (item 101), 4 the CH2 line (item 102); the shown
  // time starts again.
  void DrawThreshold(short which);

  // The threshold line into the current page while its flag is set; the
  // flag clears once the line has stood for 3.5 s.
  void DrawLogicThreshold();
  // The keypad: the 24 keys (dim when they may not come next), the selected
  // key underlined and the edit text, merged opaque into the current page.
  void DrawAdvance();
  // Mode 1 blends every panel pixel that is not the key colour into `page`;
  // any other mode copies the placed rectangle.
  void DrawBuffSync(uint32_t* page, short mode);

  // `MathPictuer`, loaded from `MathPicList` at the first keypad.
  Picture& Pictures();

 private:
  std::atomic<uint16_t> flag_{0};
  int placedRow_ = 0, placedCol_ = 0, placedWidth_ = 0, placedHeight_ = 0;
  std::unique_ptr<uint32_t[]> buffer_;
  bool picturesLoaded_ = false;
};

extern _math_draw mathDraw;
// The math picture store: picture 0 the expression keypad.
extern Picture MathPictuer;
// Monotonic microseconds of the last threshold change and of the last line
// drawn, and the time between them.
extern std::atomic<int64_t> MathDrawLastT;
extern int64_t MathDrawCurrT;
extern int64_t MathDrawInterval;
