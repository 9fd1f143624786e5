// The trigger hardware model: the whole configuration of every trigger type,
// with the serial-bus words.
#include <algorithm>
#include <cstdio>

#include "acquisition/models/serial_fixed_point.h"
#include "acquisition/models/trig_system.h"
#include "acquisition/models/word_list.h"
#include "acquisition/models/x_system.h"
#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"

namespace {
enum TrigType {
  kEdge = 0,
  kPulse,
  kVideo,
  kSlope,
  kRunt,
  kWindow,
  kDelay,
  kTimeOut,
  kDuration,
  kSetupHold,
  kNthEdge,
  kPattern,
  kRs232,
  kI2c,
  kSpi,
  kCan,
  kLin,
};
constexpr int kRs232Widths[4] = {5, 6, 7, 8};
// A CAN identifier's bits as the words carry them: 11, 16, then 2.
constexpr int kCanIdHead = 11, kCanIdMiddle = 16, kCanIdTail = 2, kCanIdTailShift = 14;

// The When setting of the SPI trigger as its two word fields (c, k).
constexpr int kSpiWhen[9][2] = {{0, 4}, {1, 4}, {3, 4}, {5, 4}, {1, 0}, {3, 0}, {5, 0}, {7, 4}, {7, 0}};

uint32_t Bit(int v) { return uint32_t(v) & 1; }

// Identifier bits stored one per byte, first byte in the highest bit.
uint32_t PackBits(const uint8_t* bits, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 1 | (bits[i] ? 1 : 0);
  return v;
}
}  // namespace

void trig_system::AddBusWord(WordList& w, int word, uint32_t value) {
  w.Add(word, value);
  SemLock lock(sem_);
  if (word >= kBusWordFirst && word <= kBusWordLast)
    run_->busWord[BusWordIndex(word)] = uint16_t(value);
  else if (word >= kCanLinWordFirst && word <= kCanLinWordLast)
    run_->canLinWord[CanLinWordIndex(word)] = uint16_t(value);
}

void trig_system::AddBusPair(WordList& w, int lowWord, uint32_t value) {
  AddBusWord(w, lowWord, value & 0xFFFF);
  AddBusWord(w, lowWord + 2, value >> 16);
}

// Eight bytes as four words (byte 1 << 8 | byte 2, ...), the first pair in
// the highest word of the four.
void trig_system::AddDataPairs(WordList& w, const uint8_t* bytes, int firstWord) {
  for (int i = 0; i < 4; ++i)
    AddBusWord(w, firstWord - 2 * i, uint32_t(bytes[2 * i]) << 8 | bytes[2 * i + 1]);
}

void trig_system::AddTimeLimits(WordList& w) const {
  w.Add32(fpga::kTrigTime1, run_->timeValue1);
  w.Add32(fpga::kTrigTime2, run_->timeValue2);
}

int trig_system::SentTriggerConfigPara() {
  if (!PointerNullCheck()) return -1;
  control& board = *resource_->board;
  const _SysRunInfo& r = *run_;
  const int type = r.trigType, src = r.trigSource;
  board.SendRealControl(fpga::kChannel, src);
  if (type < kPulse || type > kLin) {
    // Edge, and any type the model does not know.
    board.SendRealControl(fpga::kTrigType, kEdge);
    board.SendRealControl(fpga::kTrigSource, src);
    board.SendRealControl(fpga::kTrigSlope, r.slope);
  } else {
    if (type == kCan || type == kLin) std::printf(" [%s]....\n", "SentTriggerConfigPara");
    WordList w;
    w.Add(fpga::kTrigType, uint32_t(type));
    switch (type) {
      case kPulse:
      case kSlope:
      case kRunt:
      case kWindow:
        w.Add(fpga::kTrigSource, src);
        w.Add(fpga::kTrigSlope, r.slope);
        w.Add(fpga::kTrigWhen, type == kWindow ? r.windowPos : r.when);
        AddTimeLimits(w);
        break;
      case kVideo:
        w.Add(fpga::kTrigSource, src);
        w.Add(fpga::kVideoStandard, r.videoStandard);
        w.Add(fpga::kVideoSync, r.videoSync);
        w.Add(fpga::kVideoLine, r.videoLine);
        break;
      case kDelay:
        w.Add(fpga::kTrigSource2, r.trigSource2);
        w.Add(fpga::kDelayEdge1, r.delayEdge1);
        w.Add(fpga::kTrigSource3, r.trigSource3);
        w.Add(fpga::kDelayEdge2, r.delayEdge2);
        w.Add(fpga::kTrigSource, SourceWord());
        w.Add(fpga::kTrigSlope, r.delayEdge2);
        w.Add(fpga::kTrigWhen, r.when);
        AddTimeLimits(w);
        break;
      case kTimeOut:
        w.Add(fpga::kTrigSource, src);
        w.Add(fpga::kTrigSlope, r.slope);
        w.Add32(fpga::kTrigTime1, r.timeValue1);
        break;
      case kDuration:
        w.Add(fpga::kTrigSource, src);
        w.Add(fpga::kPatternCodeCh1, r.sourceCode[0]);
        w.Add(fpga::kPatternCodeCh2, r.sourceCode[1]);
        w.Add(fpga::kTrigWhen, r.when);
        AddTimeLimits(w);
        break;
      case kSetupHold: {
        const int data = r.trigSource2, clock = r.trigSource3;
        const uint32_t dataCode = data >= 0 && data < 4 ? r.sourceCode[data] : 0;
        w.Add(fpga::kTrigSource2, data);
        w.Add(fpga::kTrigSource3, clock);
        w.Add(fpga::kDelayEdge2, r.slope);
        w.Add(fpga::kDelayEdge1, dataCode);
        if (r.setupHoldSel == 0) {
          w.Add(fpga::kTrigSource, SourceWord());
          w.Add(fpga::kTrigSlope, r.slope);
        } else if (r.setupHoldSel == 1) {
          w.Add(fpga::kTrigSource, SourceWord());
          w.Add(fpga::kTrigSlope, dataCode);
        } else {
          w.Add(fpga::kTrigSlope, 2);
        }
        w.Add(fpga::kTrigWhen, r.setupHoldSel);
        AddTimeLimits(w);
        break;
      }
      case kNthEdge:
        w.Add(fpga::kTrigSource, src);
        w.Add(fpga::kTrigSlope, r.slope);
        w.Add(fpga::kNthEdge, uint32_t(r.nthEdgeCount));
        w.Add32(fpga::kTrigTime1, r.timeValue1);
        break;
      case kPattern: {
        w.Add(fpga::kTrigSource2, 0);
        w.Add(fpga::kPatternCodeCh1, r.sourceCode[0]);
        w.Add(fpga::kTrigSource3, 1);
        w.Add(fpga::kPatternCodeCh2, r.sourceCode[1]);
        if (src == 0 || src == 1) w.Add(src == 0 ? fpga::kTrigSource2 : fpga::kTrigSource3, src);
        const uint32_t last = r.sourceCode[1];
        if (last == 3 || last == 4) {
          w.Add(fpga::kTrigSource, src);
          w.Add(fpga::kTrigSlope, last == 3 ? 0 : 1);
        }
        break;
      }
      case kRs232: AddRs232(w); break;
      case kI2c: AddI2c(w); break;
      case kSpi: AddSpi(w); break;
      case kCan: AddCan(w); break;
      case kLin: AddLin(w); break;
    }
    w.Send(board);
  }
  SetTriggerCoupling();
  SetTriggerMode(r.trigMode);
  return 0;
}

// The source word of the type in force: the delay triggers on its second
// source, a hold check on the data source; every other type on the source.
int trig_system::SourceWord() const {
  const _SysRunInfo& r = *run_;
  if (r.trigType == kDelay) return r.trigSource3;
  if (r.trigType == kSetupHold) return r.setupHoldSel == 1 ? r.trigSource2 : r.trigSource3;
  return r.trigSource;
}

int trig_system::RestoreTriggerSource(int src) {
  const int rc = SetTriggerSource(src);
  if (rc >= 0 && SourceWord() != src) resource_->board->SendRealControl(fpga::kTrigSource, SourceWord());
  return rc;
}

// ---- serial buses ----------------------------------------------------------

void trig_system::AddRs232(WordList& w) {
  const Rs232Trigger& u = run_->rs232;
  std::printf("......ConfigRS232Para ");
  const uint32_t bitTime = SerialFixedPoint(u.ticksPerBit);
  const uint32_t perBit = SerialFixedPoint(u.samplesPerBit);
  std::printf(" 0x128........Temp==0x%x\n", bitTime);
  std::printf(" 0x12c........Temp==0x%x\n", perBit);
  const uint32_t parity = u.parity == 1 ? 8 : u.parity == 2 ? 16 : 0;
  const uint32_t flags = Bit(u.polarity) | Bit(u.bitOrder) << 1 | Bit(u.stopBits) << 2 | parity |
                         (uint32_t(u.when) & 3) << 8 | Bit(u.source) << 10;
  const int width = u.dataWidth >= 0 && u.dataWidth < 4 ? kRs232Widths[u.dataWidth] : 8;
  const uint32_t dataWord = uint32_t(width) | (uint32_t(u.data) & 0xFF) << 8;
  std::printf(" 0x134........Set==0x%x\n", flags);
  std::printf(" 0x136........Set==0x%x\n", dataWord);
  w.Add(fpga::kTrigSource, run_->trigSource);
  AddBusPair(w, fpga::kBusBitTime, bitTime);
  AddBusPair(w, fpga::kBusSamplesPerBit, perBit);
  AddBusWord(w, fpga::kBusType, 0);
  AddBusWord(w, fpga::kBusFlags, flags);
  AddBusWord(w, fpga::kBusData, dataWord);
}

void trig_system::AddI2c(WordList& w) {
  const I2cTrigger& i = run_->i2c;
  std::printf("  ConfigI2CPara   Type = %d \n", run_->trigType);
  const uint32_t address =
      i.addressMode == 1 ? uint32_t(i.address) & 0x3FF : uint32_t(i.address) << 3 & 0x3F8;
  std::printf("\n SysRunInfo->CommonInfo.TrigInfo.Decode.I2CPara.AddrHex==0x%x\n", address);
  const uint32_t setting = (uint32_t(i.dataCount) & 7) | (uint32_t(i.when) & 7) << 3 |
                           Bit(i.addressMode) << 8 | (uint32_t(i.direction) & 3) << 9;
  AddBusWord(w, fpga::kBusType, 1);
  AddBusWord(w, fpga::kI2cAddress, address);
  AddBusWord(w, fpga::kI2cAddress2, uint32_t(i.address2) & 0x3FF);
  AddBusWord(w, fpga::kI2cSources, Bit(i.sclSource) | Bit(i.sdaSource) << 1);
  AddBusWord(w, fpga::kI2cSetting, setting);
  const uint8_t* d = i.data;
  const uint8_t* e = i.mask;
  std::printf(" 0x13c=0x%x\n", uint32_t(d[4]) | uint32_t(d[3]) << 8);
  std::printf(" 0x13e=0x%x\n", uint32_t(d[2]) | uint32_t(d[1]) << 8);
  std::printf(" 0x140=0x%x\n", uint32_t(d[0]));
  AddBusWord(w, fpga::kI2cData, uint32_t(d[4]) | uint32_t(d[3]) << 8);
  AddBusWord(w, fpga::kI2cData + 2, uint32_t(d[2]) | uint32_t(d[1]) << 8);
  AddBusWord(w, fpga::kI2cData + 4, d[0]);
  AddBusWord(w, fpga::kI2cMask, uint32_t(e[4]) | uint32_t(e[3]) << 8);
  AddBusWord(w, fpga::kI2cMask + 2, uint32_t(e[2]) | uint32_t(e[1]) << 8);
  AddBusWord(w, fpga::kI2cMask + 4, e[0]);
}

void trig_system::AddSpi(WordList& w) {
  const SpiTrigger& s = run_->spi;
  const int when = s.when >= 0 && s.when < 9 ? s.when : -1;
  const uint32_t c = when < 0 ? 0 : uint32_t(kSpiWhen[when][0]);
  const uint32_t k = when < 0 ? 0 : uint32_t(kSpiWhen[when][1]);
  const uint32_t config = Bit(s.bitOrder) << 15 | Bit(s.mosiPolarity) << 14 | Bit(s.misoPolarity) << 13 |
                          (uint32_t(s.bitWidth) << 1 & 0x1FFE) | c;
  const uint32_t frame =
      k | Bit(s.sclkEdge) | Bit(s.ssPolarity) << 1 | (uint32_t(s.dataLength * s.bitWidth) & 0xFF) << 8;
  const double rate = resource_->timeBase ? resource_->timeBase->GetCurrTimeBaseSample(0) : 0.0;
  const double periodNs = rate > 0 ? 1e9 / rate : 0.0;
  const double samples = periodNs > 0 ? double(s.idleTime) * 4 / periodNs : 0.0;
  const uint32_t idleSamples = uint32_t(std::min(samples, 4294967295.0));
  AddBusWord(w, fpga::kBusType, 2);
  AddBusWord(w, fpga::kSpiConfig, config);
  AddBusWord(w, fpga::kSpiFrame, frame);
  AddBusPair(w, fpga::kBusBitTime, s.idleTime);
  AddBusPair(w, fpga::kBusSamplesPerBit, idleSamples);
  AddBusWord(w, fpga::kSpiSources,
             Bit(s.mosiSource) << 4 | (uint32_t(s.sclkSource) & 3) << 2 | (uint32_t(s.ssSource) & 3) |
                 Bit(s.misoSource) << 7);
  for (int i = 0; i < 8; ++i) AddBusWord(w, fpga::kSpiData + 2 * i, s.data[7 - i]);
  for (int i = 0; i < 8; ++i) AddBusWord(w, fpga::kSpiMask + 2 * i, s.mask[7 - i]);
}

void trig_system::AddCan(WordList& w) {
  const CanTrigger& c = run_->can;
  const int f = c.when;
  const uint32_t i = uint32_t(c.idFormat) & 1;
  const uint32_t length = uint32_t(std::clamp<int>(c.dataCount, 0, 8) + 1) * 8;
  uint32_t kind;
  if (f >= 1 && f <= 4)
    kind = i | 128 | uint32_t(f - 1) * 2 | length;
  else
    kind = (i | length) + (f > 3 ? uint32_t(f - 3) << 7 : 0);
  const uint32_t flags =
      (uint32_t(c.idFormat) & 1) << 11 | Bit(c.direction) << 12 | Bit(c.signalType) << 13;
  AddBusWord(w, fpga::kBusType, 3);
  AddBusWord(w, fpga::kBusFlags, Bit(c.source) << 10);
  AddBusPair(w, fpga::kBusBitTime, SerialFixedPoint(c.ticksPerBit));
  AddBusPair(w, fpga::kBusSamplesPerBit, SerialFixedPoint(c.samplesPerBit));
  AddBusWord(w, fpga::kCanKind, kind);
  // An extended identifier's last two bits ride in the top of the first words.
  const bool extended = c.idFormat == 1;
  const auto low = [extended](const uint8_t* bits) {
    return extended ? PackBits(bits + kCanIdHead + kCanIdMiddle, kCanIdTail) << kCanIdTailShift : 0;
  };
  AddBusWord(w, fpga::kCanId, PackBits(c.idBits, kCanIdHead) | flags | low(c.idBits));
  AddBusWord(w, fpga::kCanIdHigh, PackBits(c.idBits + kCanIdHead, kCanIdMiddle));
  AddBusWord(w, fpga::kCanIdMask, PackBits(c.idMask, kCanIdHead) | low(c.idMask));
  AddBusWord(w, fpga::kCanIdMaskHigh, PackBits(c.idMask + kCanIdHead, kCanIdMiddle));
  AddDataPairs(w, c.data, fpga::kBusData8);
  AddDataPairs(w, c.mask, fpga::kBusMask8);
}

void trig_system::AddLin(WordList& w) {
  const LinTrigger& l = run_->lin;
  // The LIN settings a..h in the order they are stored.
  const uint32_t a = uint32_t(l.polarity), b = uint32_t(l.version), c = uint32_t(l.idParity),
                 d = uint32_t(l.lengthMode), e = uint32_t(l.lengthValue), f = uint32_t(l.dataCount),
                 g = uint32_t(l.when), h = uint32_t(l.errorSel);
  AddBusWord(w, fpga::kBusType, 4);
  AddBusWord(w, fpga::kBusFlags, Bit(l.source) << 10);
  AddBusPair(w, fpga::kBusBitTime, SerialFixedPoint(l.ticksPerBit));
  AddBusPair(w, fpga::kBusSamplesPerBit, SerialFixedPoint(l.samplesPerBit));
  AddBusWord(w, fpga::kLinConfig, (a + 1) | b << 4 | c << 7 | d << 9);
  AddBusWord(w, fpga::kLinFlags, e << 6 | f << 5 | g | (h + 1) << 1);
  AddBusWord(w, fpga::kLinId, PackBits(l.idBits, 8) | PackBits(l.idMask, 8) << 8);
  AddDataPairs(w, l.data, fpga::kBusData8);
  AddDataPairs(w, l.mask, fpga::kBusMask8);
}
