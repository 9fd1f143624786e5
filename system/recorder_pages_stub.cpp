// Stand-ins for the recorder until its files come: an idle recorder without
// frame memory whose pages do nothing.
#include "system/recorder_pages.h"

int Rec_Init() { return 0; }
int Rec_Close() { return 0; }
int Rec_Stop() { return 0; }
int Rec_GetWaveNum() { return 0; }
uint32_t GetMaxFrame() { return 0; }
void Rec_SetMaxFrame(uint32_t) {}
int Rec_GetState() { return kRecIdle; }
int Rec_GetMode() { return 0; }
void Rec_Enable(bool) {}
int Get_Rec_Enabled() { return 0; }
int Rec_PlayOneFrame(int) { return -1; }
int Rec_GetCurrentFrame() { return 0; }
int Rec_GetRecordedFrames() { return 0; }

int Utility_RecMenuOp(keypara) { return 0; }
int Utility_Rec_Op_Play(keypara) { return 0; }
int Utility_Rec_Op_Stop(keypara) { return 0; }
int Utility_Rec_Op_Record(keypara) { return 0; }
int Utility_Rec_FastRecord(keypara) { return 0; }
int Utility_Rec_Op_Next(keypara) { return 0; }
int Utility_Rec_Op_Set(keypara) { return 0; }
int Utility_Rec_Op_Close(keypara) { return 0; }
int Utility_Rec_Back(keypara) { return 0; }
int Utility_Rec_Set_Interval(keypara) { return 0; }
int Utility_Rec_Set_EndFrame(keypara) { return 0; }
int Utility_Rec_Set_PlayDelay(keypara) { return 0; }
int Utility_Rec_Set_MaxFrame(keypara) { return 0; }
int Utility_Rec_Set_Back(keypara) { return 0; }

void Utility_DrawRecWaveNum() {}

int RecordToVideo(const char*, int, int, int, int) { return -1; }
