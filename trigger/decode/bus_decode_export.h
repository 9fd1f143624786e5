// The decode menu (bus lane and event table switches, number base, lane
// position, the file-name keyboard and the overwrite question) and the
// exports of the decoded entries: the CSV file on the USB disk and the text
// of SBUS:DATA?.
#pragma once
#include <cstdint>

#include "core/menu/keypara.h"

constexpr int kDecodeNameBytes = 13;  // 12 characters and the terminator
extern char Decode_Name[kDecodeNameBytes];
extern char Decode_InputName[kDecodeNameBytes];
extern int16_t Decode_InputNameIndex, Decode_KeySel, Decode_UpperLowerFlag, Decode_DisplayType;

enum : int16_t { kDecodePopKeyboard = 0, kDecodePopStart = 1, kDecodePopOverwrite = 2, kDecodePopNone = 255 };

// "%3.1fs", "%3.1fms", "%3.1fus" or "%dns" of a time in ns.
void DecodeTimeText(int64_t ns, char* out, int size);
// One value in a number base (0 hex, 1 decimal, 2 binary of `bits` digits, 3 ASCII).
void DecodeValueText(uint32_t value, int base, int bits, bool hexPrefix, char* out, int size);

void Decode_input_init();
// The name keyboard over the traces (while `Decode_DisplayType` is 0).
void Draw_Decode_Storage_Inupt_Back();
int Get_Decode_displayType();

int Decode_Bus_ON_OFF(keypara k);
int Decode_Bus_Set_Display_Type(keypara k);
int Decode_Bus_Set_Event_Table(keypara k);
int Decode_Bus_Set_VerPos(keypara k);
int Decode_Bus_Next(keypara k);
int Decode_Trigger_Set(keypara k);
int Decode_Data_Save(keypara k);
int Decode_Bus_Back(keypara k);
int Decode_Storage_InputName(keypara k);
int Decode_Save(keypara k);
int Decode_Save_Back(keypara k);
int Decode_Storage_InputDelete(keypara k);
int Decode_Storage_InputSure(keypara k);
int Decode_Storage_InputBack(keypara k);
int Decode_Storage_Cancel(keypara k);
int Decode_Storage_Overlay(keypara k);
int Decode_StorageMenuInputName(keypara k);

// The decoded entries as a CSV file "/udisk/Storage/Decode/<Decode_Name>.csv":
// asks before overwriting (Decode_Save), or writes (the overwrite answer).
int Save_decode_data(int16_t key);
int decodeSaveSetFunc();

// The SBUS:DATA? text of the entries and its length; null without entries.
const char* Get_decode_data_Info(int* length);

// The overwrite question (trigger_decode_question.cpp): its title and text
// from a UTF-16 text file, after its first and second "*" marks (-1 for no
// file, a failed read or fewer than two marks; 0 with no texts for an empty
// file), and its box, drawn while Decode_DisplayType is kDecodePopOverwrite.
int LoadOverlayWarmTxt(const char* path);
const uint16_t* OverwriteTitle();
const uint16_t* OverwriteText();
void DrawOverwriteQuestion();

struct menu;
void DefineDecodeMenu(menu* record);

// The decoded bus lane (trigger_decode_lane.cpp): row 225 minus the lane
// position, columns of the entries' times on the screen, 30 pixels right.
void Draw_Decode_bus(char type);
// The lane's reference time (ns): where the window shown starts from the
// screen a stopped record was read with, as the time base re-scales it; 0
// while running.
int64_t caculat_time_offset();
// The event list, and the CAN and LIN frame lists (trigger_decode_lists.cpp).
void Draw_Decode_EventList(char type);
void Draw_Decode_CanList(char type);
void Draw_Decode_LInList(char type);
void Draw_Decode_data(short x, short y, short width, int data, short base, short bits, int colour, char shape,
                      char event);
