// The composer's calls the framework and the modules below it make, installed
// by start-up: the on-screen keypads drawn over the screen, their show flags
// cleared when no module draws on top, and the display raster cleared.
#pragma once

struct numkeyboard;

struct DrawHooks {
  void (*numKeyboard)(const numkeyboard* pad);
  void (*softKeyboard)(short cursor, short lowerCase, const char* name);
  void (*clearKeyboardShowFlags)();
  void (*clearPicture)();
};

void SetDrawHooks(const DrawHooks* hooks);  // null: calls do nothing
const DrawHooks& Draw();
