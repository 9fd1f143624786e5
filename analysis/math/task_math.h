// The math function module behind the MATH key (task 14, source 5): the math
// menu and type, the expression being edited on the keypad, and every pass
// the math channel's unit and trace (analysis/math/math_calc.h). The spectrum's
// processing and view belong to the FFT files.
#pragma once
#include <cstdint>
#include <mutex>
#include <vector>

#include "analysis/math/math_expr.h"
#include "core/state/task.h"

struct instr;

constexpr int kMathLabelBytes = 50;      // the run state's math label
constexpr int kMathThresholdCentre = 100;  // threshold item value at the source's position
constexpr int kMathDefaultVdiv = 12;      // the math channel starts at 1 V a division

// Item numbers (item n: page n / 5, slot n % 5).
enum MathItem : int {
  kMathItemType = 0, kMathItemSource1 = 1, kMathItemOperator = 2, kMathItemSource2 = 3,
  kMathItemFftType = 5, kMathItemFftSource = 6, kMathItemFftWindow = 7, kMathItemFftVertical = 8,
  kMathItemFftNext1 = 9, kMathItemFftPoints = 10, kMathItemFftScreen = 11, kMathItemFftFreqSel = 12,
  kMathItemFftDetection = 13, kMathItemFftNext2 = 14, kMathItemFftMark = 15, kMathItemFftPreset = 16,
  kMathItemFftNext3 = 19,
  kMathItemRealTime = 20, kMathItemAverageOn = 21, kMathItemAverageSel = 22, kMathItemMaxHold = 23,
  kMathItemMinHold = 25, kMathItemMarkType = 30, kMathItemAutoSrc = 36, kMathItemAutoPoints = 37,
  kMathItemAutoList = 38, kMathItemThrSrc = 41, kMathItemMarkLevel = 42, kMathItemThrList = 43,
  kMathItemManualSrc = 46, kMathItemSetToPeak = 47,
  kMathItemDisplayMode = 60, kMathItemWaterfallSlice = 61,
  kMathItemFreqMode = 65, kMathItemStartBin = 66, kMathItemEndBin = 67, kMathItemTracking = 68,
  kMathItemResetTraces = 78,
  kMathItemLogicType = 95, kMathItemLogicOp = 96, kMathItemLogicSrc1 = 97, kMathItemLogicSrc2 = 98,
  kMathItemLogicNext = 99, kMathItemLogicInvert = 100, kMathItemThreshold1 = 101, kMathItemThreshold2 = 102,
  kMathItemLogicBack = 104,
  kMathItemFilterTypeSel = 105, kMathItemFilterSrc = 106, kMathItemFilterType = 107, kMathItemLowerLimit = 108,
  kMathItemUpperLimit = 109,
  kMathItemAdvType = 110, kMathItemExpression = 111, kMathItemDelete = 112, kMathItemClear = 113,
  kMathItemApply = 114,
};

// Math types (the Type item) and their process bits (1 << type).
enum MathType : int { kMathArith = 0, kMathFft = 1, kMathLogic = 2, kMathFilter = 3, kMathAdvance = 4 };
constexpr int kMathTypes = 5;

// Display bits.
enum : uint32_t {
  kMathShowSpectrum = 1u << 1,
  kMathShowThreshold = 1u << 2,
  kMathShowKeypad = 1u << 4,
  kMathShowNumKeypad = 1u << 5,
};

class TaskForMath : public task {
 public:
  int Default() override;
  int Initialize() override;
  // Setup-file block "TASK-MATH", CR LF, the menu image, CR LF, the 252-byte
  // expression record, CR LF, item 22 (u16 big-endian), CR LF.
  int Stroage(taskresponse* r) override;
  int OpResponse(taskresponse* r) override;
  int DataProcess() override;
  int Display() override;
  int FunctionOnOff(int arg) override;
  int Assist(taskresponse* request, taskresponse* reply) override;
  int TaskControlHandover(taskresponse* r) override;
  int TaskBetweenSync(taskresponse* r, taskresponse* arg) override;
  int TaskBackgroundResponse(taskresponse* r, taskresponse* arg) override;

  int LoadLanguage(int reload);
  int LoadParaInfo(const char* path);

  // Display and process bits.
  uint32_t GetDisplayBits() const { return displayBits_; }
  void SetDisplayBits(int b) { displayBits_ |= uint32_t(b); }
  void ClearDisplayBits(int b) { displayBits_ &= ~uint32_t(b); }
  void ClearAllDisplayBits() { displayBits_ = 0; }
  uint32_t GetProcessBits() const { return processBits_; }
  void SetProcessBits(int b) { processBits_ |= uint32_t(b); }
  void ClearProcessBits(int b) { processBits_ &= ~uint32_t(b); }
  void ClearAllProcessBits() { processBits_ = 0; }
  int GetXYFlag() const { return xyFlag_; }

  // The expression record. Copies are whole and under the record's lock, so
  // the SCPI worker and the main loop never see half of one.
  void GetAdvData(AdvanceData* out) const;
  // Takes a record from outside (setup files): both texts terminated, the
  // tokens re-checked; valid only when the check passes.
  void SetAdvData(const AdvanceData* in);
  void AdvanceInit();
  int AdvanceSelect();
  int AdvanceDelete();
  int DeleteOneAdvanceItem(int code);
  uint32_t SetItemValidFlag();
  int JumpToValidItem();
  int SetAdvanceIndex(short step);
  int GetAdvanceIndex() const;
  uint32_t GetAdvanceItemValid() const;
  int SetAdvanceBuff(const uint8_t* tokens);
  int SetAdvanceExpression(const char* text);
  int GetChannelUsage() const;
  static int GetAdvanceItemType(int code) { return AdvanceItemType(code); }
  int CheckExpression(const uint8_t* tokens);
  int ExpressCheck();
  // Apply of the expression page: 0 applied, -1 refused (message 37).
  int ApplyExpression();
  // A remote expression text refused before it reaches the record: the
  // keypad's message for it (too long: 74, else not an expression: 37).
  void RefuseExpressionText(bool tooLong);

  // The sources' screen data for the next pass.
  int MathRequestWave();
  // Math off in roll mode (message 83); 1 when it switched math off.
  int MathFuncAutoDisable(uint16_t key);
  // The MATH key: on, or off when it is already shown.
  int MathKey();
  // The process bits, run-state bits and trace areas of the Type item.
  void ApplyType();
  // The page of the math type.
  void ShowTypePage();

  // One FFT frame (main loop): 1 when a new spectrum was taken.
  int FFT_Process();
  // Clears the spectrum traces and restarts the average.
  void ClearFFTGrayScale();
  void RestartFFTAverage() { averageCount_ = 1; }
  // Resets one extra trace: 1 the average (zeroed, restarted), 2 max-hold,
  // 3 min-hold; -1 for another kind.
  int ClearDetectionWave(short kind);
  // The main spectrum trace in screen codes (700 upper, 700 lower values).
  const float* MainTrace() const { return mainTrace_; }
  double GetFFTDataSample() const { return sampleRate_; }

  float CosTable(int i) const { return i >= 0 && i < int(cos_.size()) ? cos_[i] : 0.0f; }
  float SinTable(int i) const { return i >= 0 && i < int(sin_.size()) ? sin_[i] : 0.0f; }

  int16_t MathNumKeySel = 0;
  int16_t MathAdjType = 0;

 private:
  void AdvanceDeleteLocked();  // with the record's lock held
  void CutName(int code);      // the same
  uint32_t processBits_ = 0;
  uint32_t displayBits_ = 0;
  int16_t xyFlag_ = 0;
  mutable std::mutex advLock_;
  AdvanceData adv_{};
  std::vector<float> cos_, sin_;
  // FFT frame state.
  float mainTrace_[1400] = {};
  float averageTrace_[1400] = {};
  float maxTrace_[1400] = {};
  float minTrace_[1400] = {};
  int averageCount_ = 1;
  int windowType_ = -1;
  double sampleRate_ = 0;
  bool sourceOffCleared_ = false;
  std::vector<uint16_t> text_;  // the language file
};

extern TaskForMath TaskMath;
extern instr TaskMathInstrStandard[];
extern menu TaskMathMenu;
extern Menu* MathMenu;
// Title of the expression keypad from the language file (null until read).
extern const uint16_t* Math_AdvanceTitle;

// The channel number of a menu source choice (0 CH1, 1 CH2, 2 the math channel).
int MathSourceOf(int choice);

void Math_MenuInit();
void Math_MenuReset();

// Item handlers and the page handler.
int MathMenuOp(keypara k);
int Math_Type(keypara k);
int Math_Math_Source1(keypara k);
int Math_Math_Operator(keypara k);
int Math_Math_Source2(keypara k);
int Math_Logic_Expression(keypara k);
int Math_Logic_Source1(keypara k);
int Math_Logic_Source2(keypara k);
int Math_Logic_Next(keypara k);
int Math_Logic_Invert(keypara k);
int Math_Logic_Threshold1(keypara k);
int Math_Logic_Threshold2(keypara k);
int Math_Filter_Source(keypara k);
int Math_Filter_Filter_Type(keypara k);
int Math_Filter_LowerLimit(keypara k);
int Math_Filter_UperLimit(keypara k);
int Math_Advance_Expression(keypara k);
int Math_Advance_Delete(keypara k);
int Math_Advance_Clear(keypara k);
int Math_Advance_Apply(keypara k);
