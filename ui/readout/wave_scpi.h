// The :WAVeform read-out commands and the remote-viewer frames, rows of the
// display module's command table. Handlers run on the SCPI worker.
#pragma once
#include <cstdint>

struct scpi_para;

// The read-out settings, in the order of the record.
struct WaveFormat {
  int32_t reserved0 = 0;
  int32_t mode = 0;      // 0 NORMal, 1 RAW
  int32_t source = 0;    // 0 CHANnel1, 1 CHANnel2, 2 MATH
  int32_t format = 1;    // 0 WORD, 1 BYTE, 2 ASCII
  int32_t points = 1000; // samples per RAW block (16 bits)
  int32_t reserved1 = 1;
  int32_t start = 0;     // next RAW sample; -1 after the last block
  int32_t stop = -1;     // RAW end; -1 the whole record
};

extern WaveFormat WaveFormatPara;

void Scpi_Waveform_Mode(scpi_para*, char* p);
void Scpi_Waveform_ModeAsk(scpi_para*, char* p);
void Scpi_Waveform_Format(scpi_para*, char* p);
void Scpi_Waveform_FormatAsk(scpi_para*, char* p);
void Scpi_Waveform_Start(scpi_para*, char* p);
void Scpi_Waveform_StartAsk(scpi_para*, char* p);
void Scpi_Waveform_Stop(scpi_para*, char* p);
void Scpi_Waveform_StopAsk(scpi_para*, char* p);
void Scpi_Waveform_Source(scpi_para*, char* p);
void Scpi_Waveform_SourceAsk(scpi_para*, char* p);
void Scpi_Waveform_Points(scpi_para*, char* p);
void Scpi_Waveform_PointsAsk(scpi_para*, char* p);
void Scpi_Waveform_DataAsk(scpi_para*, char* p);
void Scpi_Waveform_PreambleAsk(scpi_para*, char* p);
void Scpi_Waveform_XIncrementAsk(scpi_para*, char* p);
void Scpi_Waveform_XOriginAsk(scpi_para*, char* p);
void Scpi_Waveform_XReferenceAsk(scpi_para*, char* p);
void Scpi_Waveform_YIncrementAsk(scpi_para*, char* p);
void Scpi_Waveform_YOriginAsk(scpi_para*, char* p);
void Scpi_Waveform_YReferenceAsk(scpi_para*, char* p);
void Scpi_Waveform_TransmitData1(scpi_para*, char* p);
void Scpi_Waveform_TransmitData2(scpi_para*, char* p);
void Scpi_Waveform_Frame(scpi_para*, char* p);
void Scpi_Waveform_FrameStart(scpi_para*, char* p);
void Scpi_Waveform_FrameColor(scpi_para*, char* p);
void Scpi_Waveform_FrameEnd(scpi_para*, char* p);

// The memory depth in force in samples (the automatic depth when automatic).
int64_t WaveRecordDepth();

// RAW records. Depths up to 7000 come from the engine's record copy; longer
// ones are streamed from acquisition memory in 10,240-byte chunks. Both
// return 0, or -1 (refused or nothing read).
int WaveReadShortRecord(int source);
int Get_wave_ddr_Data(int source);
// The RAW record read last: its bytes and length (0: none).
const uint8_t* WaveRawRecord(int64_t* size);
// Ends the RAW record: the long record's buffer is given back.
void WaveReleaseRawRecord();
