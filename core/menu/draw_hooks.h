// The composer's calls the framework and the modules below it make, installed
// by start-up: the on-screen keypads drawn over the screen, their show flags
// cleared when no module draws on top, the display raster cleared, the
// run status shown at once and the shown page read.
#pragma once

struct numkeyboard;
struct msginfo;
#include <cstdint>

struct DrawHooks {
  void (*numKeyboard)(const numkeyboard* pad);
  void (*softKeyboard)(short cursor, short lowerCase, const char* name);
  void (*clearKeyboardShowFlags)();
  void (*clearPicture)();
  // The run-status box redrawn and the screen updated at once.
  void (*showAcqStatus)();
  void (*clearDisplayWave)();
  // The page shown on the screen (null when none).
  const uint32_t* (*shownPage)();
  // A line of text on the page being composed.
  void (*drawString)(int row, int col, const char* text, int colour);
  // A message box drawn and shown at once.
  void (*showMessage)(const msginfo* info);
  // A system picture on the page being composed.
  void (*drawPicture)(int row, int col, int picture);
  // The display module's wave brightness (1-100): its menu item and the drawing.
  void (*waveBright)(int percent);
};

void SetDrawHooks(const DrawHooks* hooks);  // null: calls do nothing
const DrawHooks& Draw();
