// Start-up and the main loop of scopeapp.
#pragma once
#include <cstdint>

// Brings the board up, registers every module and starts the threads.
// Returns 0 when the main loop may run, -1 when the start-up hardware check
// halted the instrument (its box stays on the screen; on the PC the call
// returns once a stop is requested).
int ScopeStartup();

// One pass of the main loop. Returns false when nothing happened (no key, no
// acquisition, no roll frame), so an idle caller may wait. With `pacedRoll`
// a roll pass reads and shows the roll data only when a frame is due (60 a
// second); without it every roll pass does.
bool ScopeMainPass(bool pacedRoll = false);

// How long an idle main loop may sleep (ms): until its next timer is due
// (the paced roll frame, the acquisition poll, the idle frame), at most a
// tenth of a second; keys, finished acquisitions and other threads' changes
// wake it earlier.
int IdleWaitMs();

// Passes until a stop is requested, sleeping while idle.
void ScopeMainLoop();

// Removes what writes cut short by a kill left: temporary ".part" files in
// the folders the instrument writes, and a video conversion's intermediates.
void RemoveWriteLeftovers();

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
