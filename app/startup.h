// Start-up and the main loop of scopeapp.
#pragma once
#include <cstdint>

// Brings the board up, registers every module and starts the threads.
// Returns 0 when the main loop may run, -1 when the start-up hardware check
// halted the instrument (its box stays on the screen; on the PC the call
// returns once a stop is requested).
int ScopeStartup();

// One pass of the main loop. Returns false when nothing happened (no key, no
// acquisition), so an idle caller may wait briefly.
bool ScopeMainPass();

// Passes until a stop is requested.
void ScopeMainLoop();

// Start-up helpers of the same file on the board.
void SysRefresh();
int GetRealSysAcqStatus();
int ADC_PLL_DDR_Detec();
void SystemStartTest();

// Thread bodies.
void* UsbScanThread(void*);
void* SoftPowerPrcoess(void*);
void* NetDetectThread(void*);
void UsbScan();
bool FATIsInsert();
int interface_detect_beat_ethtool(int socket, const char* name);

// Acquisitions handled by the main loop.
extern int32_t IntNum;
