// The waveform engine. Only the calls of the main loop exist so far.
#pragma once
#include <cstdint>

constexpr int kQelRasterBytes = 140000;
// The display raster read from the FPGA after every acquisition.
extern uint8_t QelWaveData[kQelRasterBytes];

class _wave {
 public:
  int GetRequestCh() const { return requestCh_; }
  void RequestChData(int bits) { requestCh_ |= bits; }
  void ResetRequestType() { requestCh_ = 0; }
  int WaveProcess() { return 0; }
  void SetNewWaveFlag(int flag) { newWave_ = flag == 4 ? 0 : newWave_ | flag; }
  int GetNewWaveFlag() const { return newWave_; }
  void RealRunWaveCnt() { ++runCount_; }
  int RunCount() const { return runCount_; }
  int ReadDDRWave(int ch, int points) { return ch < 0 || ch > 1 || points <= 0 ? -1 : 0; }
  int SetArmReadDDRPara(int ch, int points) { return ch < 0 || ch > 1 || points <= 0 ? -1 : 0; }
  int SetArmReadDDRPara_Decode(int, int) { return 0; }
  int GetWave_Decode(int, int, int) { ++decodeReads_; return 0; }
  int ReadFFTWaveData() { return 0; }
  int GetRollWaveData() { return 0; }
  void ClearDecodeStopRead() { decodeStopRead_ = 0; }
  void SetDecodeStopRead() { decodeStopRead_ = 1; }
  bool IsDecodeStopRead() const { return decodeStopRead_ != 0; }
  bool IsDecodePlayback() const { return decodePlayback_ != 0; }
  void SetDecodePlayback(bool on) { decodePlayback_ = on; }
  int DecodeReads() const { return decodeReads_; }

 private:
  int requestCh_ = 0;
  int newWave_ = 0;
  int decodeStopRead_ = 0;
  int decodePlayback_ = 0;
  int runCount_ = 0;
  int decodeReads_ = 0;
};

extern _wave WaveOp;
