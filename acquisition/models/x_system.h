// The horizontal (time base) hardware model `TimeBase`: turns the time-base
// index, the memory depth, the acquisition mode and the trigger position into
// FPGA control words, keeps the derived values in the run state's horizontal
// blocks and saves the time base and trigger position in the EEPROM.
//
// Blocks: 0 and 1 the channels, 8..11 the references (the run state holds 12);
// any other block number is refused with -1. Run-state updates are made under
// the shared semaphore, which is always released before a control word is sent.
#pragma once
#include <cstdint>

#include "acquisition/tables/timebase_tables.h"
#include "core/messages/semaphore.h"

struct _SysResource;
struct _SysRunInfo;
struct HorizontalBlock;

class x_system {
 public:
  static constexpr int64_t kRecordCentre = 35000000;  // record address of a zero trigger position
  static constexpr int64_t kRecordSamples = 70000000;
  static constexpr int kScreenPoints = 700;
  static constexpr int kDefaultTimeBase = 12;  // 1 us/div on a blank EEPROM
  static constexpr int kDefaultLastRealTime = 25;
  static constexpr int kDefaultRollThreshold = 26;

  x_system();

  // A time-base index that can index the tables: the default for any other.
  static constexpr int SafeIndex(int index) { return index >= 0 && index < kTimeBaseEntries ? index : kDefaultTimeBase; }

  // Start-up: binds the resource table and the run state, restores the time
  // base and trigger position of block 0 from the EEPROM and applies them.
  void LoadXsystem(_SysResource* resource, _SysRunInfo* runinfo);
  bool PointerNullCheck() const { return resource_ && run_; }

  // Time base.
  int AdjTimeBase(int ch, int step);
  int SetTimeBase(int ch, int index);
  int SetRealTimeBase(int ch, int index);
  int SetZoomTimeBase(int ch, int index);
  // The zoom window's time base as before zoom first comes on: none chosen.
  void ClearZoomTimeBase();
  int GetTimeBase(int ch) const;
  int GetRealTimeBase(int ch) const;
  int GetZoomTimeBase(int ch) const;
  int SetRealTimeBaseS(int ch, double seconds);
  int SetZoomTimeBaseS(int ch, double seconds);
  double GetTimeBaseDivTime(int index) const;
  double CalcuSample(int index) const;
  double GetCurrTimeBaseSample(int ch) const;
  int Get_timeBase_MIN() const;
  int SetMaxRealAndRollTimeBase(int ch, int index);
  int GetLastRealTimeBase() const { return lastRealTimeBase_; }
  int GetRollTimeBase() const { return rollThreshold_; }
  int SetHoriPoints(int sel);
  int GetHoriPoints() const { return xHoriPointsSel; }

  // Sample rate, memory depth, acquisition words.
  int AdjSample(int ch);
  int AdjMemDepth(int ch);
  double GetAutoMemDepth(int index) const;
  int GetMemDepthRange(int ch, int64_t* first, int64_t* last) const;
  int AdjHoldOff(int ch);
  int AdjAcquireMode(int ch);
  int DisplayWaveMode();
  int ChangeAcqWaveMode(int ch);
  int SetDDRRunPara(int ch);

  // Trigger position.
  int AdjPreTrigDepth(int ch, int step);
  // A stored record shown (status 4 or 8): where the window shown lies from
  // the screen the record was acquired with, in samples of the record: the
  // part the time base's re-scaling gives (`scaled`) and the part the moves of
  // the trigger position since the acquisition give (`moved`); and the
  // record's samples a column now. False when no stored record is shown.
  bool StopWindowShift(int ch, double* scaled, double* moved, double* samplesPerColumn) const;
  int64_t GetPreTrigDepth(int ch) const;
  int SetPreTrigDepth(int ch, int64_t depth);
  int64_t GetRealPreTrigDepth(int ch) const;
  int SetRealPreTrigDepth(int ch, int64_t depth);
  int SetReadyPreTrigDepth(int ch, int64_t depth);
  double GetRealPreTrigTime(int ch) const;
  int SetRealPreTrigTime(int ch, double seconds);
  int GetRealPreTrigDepthScreenPos(int ch) const;
  int64_t GetZoomMovePos(int ch) const;
  int SetZoomMovePos(int ch, int64_t pos);
  int SetCurrTimebaseRealPreTirgPos(int ch);
  int MovePreTrigToZero(int ch);
  int64_t GetTrigDelayLimit() const { return trigDelayLimit_; }

  // Views of a stopped record and the acquisition snapshot.
  int AdjStopMovePos(int ch, int step);
  int RequestStopOp(int ch);
  int RefreshPreTriggerPos(int ch);
  int WaveIndicator(int ch);
  // 0 inside the record, 1 record shorter than the screen, 2 / 3 past its
  // right / left end; mode 4 pulls the stop move position back by the excess.
  int GuidanceWorkStatus(int ch, int mode);
  int CalcuInsertPosPara(int ch, int64_t offset, double factor, int64_t* start, int64_t* sub) const;
  int XParaSyncRefresh(int ch);

  // Zoom window: a faster time base shown over a part of block 0's record.
  int ZoomInit(int on);
  int AdjZoomTimeBase(int ch, int step);
  int AdjZoomMovePos(int ch, int step);
  int CalcuZoomGapAndRange(int main, int zoom);

 private:
  bool Block(int ch) const { return ch >= 0 && ch < kBlocks; }
  HorizontalBlock& H(int ch) const;
  int Status(int ch) const;            // acquisition status that governs block ch
  bool Interpolating(int ch) const;    // multiplier above 1
  double SamplesPerPoint(int ch) const;  // samples per screen point, 1 while interpolating
  double Depth(int ch) const;          // memory depth in points (automatic: the block's)
  int SetIndex(int ch, int index, uint16_t HorizontalBlock::*field);
  int SetDepthField(int ch, int64_t HorizontalBlock::*field, int64_t v);
  int FindIndex(double seconds) const;
  int AdjTimeBaseStopped(int ch, int index, int previous);
  void UndoTimeBase(int ch, int previous);
  void SendPreTrigWords(int ch, int64_t depth, int64_t lo, double half);
  // Stopped views: the stored record and the screen laid over it.
  struct StopView;
  StopView StopViewOf(int ch) const;
  double StoredSamplesPerPoint(int ch) const;  // samples per point the stored record was taken with
  double StopPointSamples(int ch) const;       // of the time base in force over the stored record
  double StopSamplesPerPoint(int ch) const;    // the same with a margin for the comparisons
  bool Kept(int ch) const;                   // status 4 or 8: a stored record is shown
  int ZoomBlock(int ch) const;               // block of the zoom window, -1 for a bad one
  double ZoomMainSamples(int b) const;       // samples a main point spans under the zoom window
  bool ZoomOrXY() const;
  void SendZoomWords(int b, int64_t start);

  static constexpr int kBlocks = 12;

  _SysResource* resource_ = nullptr;
  _SysRunInfo* run_ = nullptr;
  semaphore sem_;
  int16_t lastRealTimeBase_ = kDefaultLastRealTime;
  int16_t rollThreshold_ = kDefaultRollThreshold;
  int16_t xHoriPointsSel = 1;  // 1: 700 screen points, 0: 350
  int32_t samplesPerPoint_ = 0;  // whole(depth / 700), set by AdjMemDepth
  int64_t trigDelayLimit_ = 1;   // screen points the trigger may lie left of the record
};

extern x_system TimeBase;
