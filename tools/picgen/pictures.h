// The instrument's pictures: where each lies under Data/PicResource/, its
// size, its key colour (for the pictures whose list row names a key pixel)
// and how it is drawn. Sizes follow the screen layout the pictures are placed
// in (bars 800 wide, menu slots 124 x 80, markers 21 x 11, ...).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "canvas.h"
#include "text.h"

struct PicDef {
  std::string path;  // relative to Data/PicResource/
  int w, h;
  std::function<void(Canvas&, Text&)> draw;
  bool keyed = false;  // drawn on kKey; the loader's key pixel must stay kKey
  int keyRow = 1, keyColumn = 20;  // rows counted from the bottom, as stored
};

// Colours shared with the screen composer's texts and frames.
constexpr uint32_t kKey = 0xFFFFFF;  // background of keyed pictures
constexpr uint32_t kTextColour = 0xC8C8AF;
constexpr uint32_t kFrameColour = 0x828282;
constexpr uint32_t kFocusColour = 0x01F801;
constexpr uint32_t kChannelColours[4] = {0x00CCCC, 0xFFCC00, 0x009900, 0xAC04E4};
constexpr uint32_t kMathColour = 0xFF0000;
constexpr uint32_t kTriggerColour = 0xFF8C00;
constexpr uint32_t kRefColours[4] = {0x08A5A5, 0x6C6C00, 0x005000, 0x4C004C};

// Shades used by more than one picture.
uint32_t BarShade(int row);   // the status bars, row 0..33 of a bar
uint32_t ItemShade(int row);  // a menu slot, row 0..79
uint32_t Readable(uint32_t fill);  // black or white text on a fill

void StatusPictures(std::vector<PicDef>& out);  // StatusBar, ProcStatus, markers, sources
void MenuPictures(std::vector<PicDef>& out);    // Menu
void DialogPictures(std::vector<PicDef>& out);  // windows, icons, dialogs, help, tools
void ModulePictures(std::vector<PicDef>& out);  // the modules' own picture sets (not in the system list)
void CursorPictures(std::vector<PicDef>& out);  // the cursor readout panels
void MathPictures(std::vector<PicDef>& out);    // the expression keypad
void MeasurePictures(std::vector<PicDef>& out); // the parameter icons and measure panels

// The power-off logo, 800 x 480.
void DrawLogo(Canvas& c, Text& t);
