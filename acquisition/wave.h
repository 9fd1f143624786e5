// The waveform engine. Only the calls of the main loop exist so far.
#pragma once
#include <cstdint>

class _wave {
 public:
  int GetRequestCh() const { return requestCh_; }
  void RequestChData(int bits) { requestCh_ |= bits; }
  int WaveProcess() { return 0; }
  void SetNewWaveFlag(int) {}
  void ClearDecodeStopRead() { decodeStopRead_ = 0; }
  void RealRunWaveCnt() { ++runCount_; }
  int RunCount() const { return runCount_; }

 private:
  int requestCh_ = 0;
  int decodeStopRead_ = 0;
  int runCount_ = 0;
};

extern _wave WaveOp;
