// The cursor drawing (one instance, `CursorDraw`): it owns the cursor record
// that the cursor module, its SCPI commands and the web input copy, the
// source traces the readouts are taken from, and an 800 x 480 buffer in
// which the readout panels are composed before they are merged into the
// composer's current page. Lines are drawn straight into that page.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>

#include "ui/draw/draw.h"

// Positions are pixels of the 800 x 480 screen.
struct CursorData {
  int32_t AX, BX;           // time cursors: columns 30-730
  int32_t AY, BY;           // amplitude cursors: rows
  uint8_t ytEnable;         // 0 off, 1 on
  uint8_t ytType;           // 0 time, 1 amplitude
  uint8_t ytActive;         // 0 A, 1 B
  uint16_t prevSourceItem;  // the source item before its last change
  uint16_t source;          // 0 CH1, 1 CH2, 5 MATH
  uint16_t ytMode;          // 0 independent, 1 track
  uint16_t displayFormat;   // 0 YT, else XY
  uint16_t yLayout;         // CursorLayout
  int32_t xyXA, xyXB;       // XY X-axis lines: columns 36-304
  int32_t xyYA, xyYB;       // XY Y-axis lines: rows 171-439
  int16_t xyTA, xyTB;       // XY time marks: columns 36-724
  uint8_t xyTimeActive;     // 0 A, 1 B
  uint8_t xyEnable;
  uint8_t xyType;           // 0 time marks, 1 amplitude
  uint16_t xyMode;          // 0 independent, 1 track
  uint8_t xySource;         // 0 X axis (CH1), 1 Y axis (CH2)
  uint8_t xyUnit;           // horizontal unit of the XY readings
  uint8_t xyAmpActive;      // 0 A, 1 B
};

// Where the amplitude lines are laid out.
enum CursorLayout : uint16_t { kLayoutFull = 0, kLayoutZoom = 1, kLayoutSplit = 2, kLayoutFftSplit = 3 };

constexpr int kCursorSourceMath = 5;
constexpr int kCursorTraceValues = 1400;  // 700 upper, then 700 lower envelope values

// The panels' pictures (the cursor picture store).
enum : int { kCursorPicTime = 0, kCursorPicVoltage = 1, kCursorPicXY = 2, kCursorPictures = 3 };

struct _PicPos;

class _cursor_draw final : public Draw {
 public:
  _cursor_draw();
  uint32_t* GetDrawAddr(short) override { return buffer_.get(); }

  // The record, copied whole under the record lock.
  CursorData GetCursorData() const;
  void SetCursorData(const CursorData* data);
  // Held by a copy-change-store of the record (main loop and SCPI worker).
  std::recursive_mutex& Lock() const { return mu_; }
  // Start positions of every line.
  void CursorDrawInit();

  // Source traces: the YT source, or CH1 and CH2 for XY, asked fresh from
  // the waveform engine (MATH is read as it stands).
  void GetSourceScreenData();
  void GetSourceScreenDataXY();
  void getScreenWaveData(uint16_t* out) const;  // the 1400 YT values
  // The trace value of column x (30-730) of the YT source, 0 without data.
  int ScreenValue(int column) const;

  void drawCursorLine();
  void drawFrameX();
  void drawFrameY();
  void drawCursorLineXY();
  void drawCusorXYTimeMark();
  void drawFrameXY();
  // Values of the XY time marks (CH1 as X, CH2 as Y, volts) and of the
  // amplitude lines.
  void calCursorXYTimeValue(double x[2], double y[2]);
  void calCursorXYAmpValue(double x[2], double y[2]);
  static void Calc_XY_Cursor_R_Phase(double x, double y, double* r, double* phase);

  // Mode 1 with the YT format blends the placed panel into `page`; any
  // other case copies it.
  void DrawBuffSync(uint32_t* page, short mode);
  void SetPictureInfo(int index, const _PicPos* pos);
  void PictureInfo(int* row, int* col, int* width, int* height) const;
  // The cursor picture store (loaded at the first panel).
  Picture& Pictures();

 private:
  void Panel(int picture, int row, int col);
  int XYValue(int ch, int column) const;

  mutable std::recursive_mutex mu_;
  CursorData data_{};
  int placedRow_ = 0, placedCol_ = 0, placedWidth_ = 0, placedHeight_ = 0;
  std::unique_ptr<uint32_t[]> buffer_;
  std::unique_ptr<Picture> pictures_;
  bool picturesLoaded_ = false;
  uint16_t trace_[kCursorTraceValues] = {};
  uint16_t traceXY_[2][kCursorTraceValues] = {};
};

extern _cursor_draw CursorDraw;
