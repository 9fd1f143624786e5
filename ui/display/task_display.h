// The display function module behind the DISPLAY key: a menu of display
// settings (trace type, graticule, grid and trace brightness, LCD backlight,
// persistence, colour grading and its inversion, menu display time,
// transparency). It draws nothing itself: its handlers store each setting in
// its menu item (and so in the EEPROM), copy the items into the run state, and
// apply them to the composer's colour tables, the backlight or, by request,
// the FPGA.
#pragma once
#include "core/state/ids.h"
#include "core/state/task.h"

struct instr;

// Item numbers (item n: page n / 5, slot n % 5).
enum DisplayItem : int {
  kDispType = 0,         // 0 vectors, 1 dots
  kDispGraticule = 1,    // 0 full, 1 grid, 2 cross, 3 frame only
  kDispGridBright = 2,   // 1-100
  kDispWaveBright = 3,   // 1-100
  kDispNext = 4,
  kDispBackLight = 5,    // 10-100
  kDispPersist = 6,      // 0 minimum .. 9 20 s, 10 infinite
  kDispColor = 7,        // colour grading off / on
  kDispColorInvert = 8,  // off / on
  kDispNext2 = 9,
  kDispMenuTime = 10,    // 5 s, 10 s, 20 s, infinite
  kDispTransparent = 11, // off / on
  kDispBack = 14,
};

class TaskForDisplay : public task {
 public:
  int Default() override;
  int Initialize() override;
  int Stroage(taskresponse* r) override;
  int OpResponse(taskresponse* r) override;
  int DataProcess() override { return 0; }
  int Display() override { return 0; }
  int FunctionOnOff(int arg) override;
  int Assist(taskresponse* request, taskresponse* reply) override;
  int TaskControlHandover(taskresponse* r) override;
  int TaskBetweenSync(taskresponse*, taskresponse*) override { return 0; }
  int TaskBackgroundResponse(taskresponse*, taskresponse*) override { return 0; }

  // Loads the menu texts of the current language: 0 with the values stored in
  // the EEPROM, 1 keeping the values (language change); -1 for another value.
  int LoadLanguage(int reload);
};

extern TaskForDisplay TaskDisplay;
extern instr TaskDisplayInstrStandard[];
extern menu TaskDisplayMenu;
extern Menu* DisplayMenu;  // the module's menu, set by LoadLanguage

// Copies the items into the run state, then sends request `code` with `value`.
int Display_SendSysRequest(int code, short value);
// Re-applies every setting (after a setup load).
void DisplayAllParaReSet();
// Puts every stored value that lies outside its item's range (an erased or
// damaged EEPROM byte, a damaged setup) back to the item's initial value.
void DisplayLimitItems();

// Item handlers and the page handler.
int Display_Type(keypara k);
int Display_Graticule(keypara k);
int Display_GridBright(keypara k);
int Display_WaveBright(keypara k);
int Display_Next(keypara k);
int Display_BackLight(keypara k);
int Display_Persist(keypara k);
int Display_Color(keypara k);
int Display_ColorInvert(keypara k);
int Display_Next2(keypara k);
int Display_MenuTime(keypara k);
int Display_Transparent(keypara k);
int Display_Back(keypara k);
int Display_Format(keypara k);
int DisplayMenuOp(keypara k);
