// The measure module: key words, factory settings, start-up, the task slots,
// the overlay switches and the user-selected parameter slots.
#include "analysis/measure/task_measure.h"

#include <cstdio>

#include "core/board/control.h"
#include "core/board/fpga_words.h"
#include "core/board/i2c_storage.h"
#include "core/messages/msg.h"
#include "core/state/sys_run_info.h"
#include "core/state/system_resource.h"
#include "core/state/task_manage.h"
#include "platform/clock.h"

TaskForMeasure TaskMeasure;
Menu* MeasureMenu = &TaskMeasure.TaskMenu;

namespace {
constexpr int kSlotAddress[kMeaUserSlots] = {137, 139, 141, 143, 145};
constexpr int kEeMaster = 128, kEeSlave = 132, kEeIndicatorSel = 133, kEeReserved1 = 135, kEeReserved2 = 136;
constexpr uint16_t kEmptySlot = 0xFFFF;
constexpr uint16_t kAssistSetItem = 3;
constexpr uint64_t kRunFuncAllPara = 0x8000, kRunFuncDvm = 0x10000;
constexpr int kSpeedIntervalUs[3] = {1000000, 500000, 200000};
constexpr int64_t kSecondUs = 1000000;
constexpr int kSyncTasks[] = {12, 6, 7, 0};
constexpr uint16_t kHoldOffKeys[] = {73, 78, 79};
constexpr uint16_t kMenuOnOffKey = 54;
constexpr int kMsgCleared = 44;
constexpr uint32_t kAttrProcess = 0, kAttrDisplay = 1;
constexpr keypara kNoKey{KEY_NO_KEY, 0, 0};

_SysResource& Sys() { return TaskMeasure.Sys(); }
I2C& Eeprom() { return Sys().eeprom ? *Sys().eeprom : I2cStorage; }
bool SourceWordOk(int s) { return s == 0 || s == 1 || s == kMeaMath; }
}  // namespace

int MeasureSourceOf(int choice) { return choice >= 0 && choice < 3 ? MeasureSource[choice] : 0; }

// --- key words and start-up ---

int TaskForMeasure::Default() {
  std::printf("TaskForMeasure -> Default\n");
  const iic_item batch[] = {IicU8(kEeMaster, 0),      IicU8(kEeSlave, 0),      IicU8(kEeIndicatorSel, 0),
                            IicU8(kEeReserved1, 1), IicU8(kEeReserved2, 1), IicEnd()};
  std::printf("I2C_BatchWrite ret: %d\n", Eeprom().I2C_BatchWrite(batch));
  if (TaskMenu.MenuIsNull()) TaskMenu.Attach(&TaskMeasureMenu);
  for (int n : {kMeaMasterSrc, kMeaSlaveSrc, kMeaIndicatorSel}) TaskMenu.SetMenuItem(n, 0);
  funBits_ = 0;
  for (int k = 0; k < kMeaUserSlots; ++k) {
    SetSlot(k, -1, 0);
    WriteSlotWord(k);
  }
  selMask_ = 0;
  selCursor_ = nextOverwrite_ = 0;
  userPanel_ = 0;
  MeasureParaCalcu.SetDVM(false, dvmSource_);
  Manager().DelUserTaskProcess(kMeasureTaskId);
  Manager().DelUserTaskDisplay(kMeasureTaskId);
  return 0;
}

int TaskForMeasure::Initialize() {
  std::printf("TaskForMeasure :: Initialize ...\n");
  if (LoadLanguage(0) < 0 && TaskMenu.MenuIsNull()) TaskMenu.Attach(&TaskMeasureMenu);
  ReadSlotWords();
  if (selMask_) {
    Manager().AddUserTaskProcess(kMeasureTaskId, kAttrProcess, 0);
    Manager().AddUserTaskDisplay(kMeasureTaskId, kAttrDisplay, 0);
  }
  Measure_MenuInit();
  CheckDisplayFormat();
  StampTimes();
  for (int t : kSyncTasks) Manager().AddTaskBetweenSync(t, kMeasureTaskId);
  return 0;
}

int TaskForMeasure::OpResponse(taskresponse* r) {
  if (!r) return -1;
  int rc = 0;
  if (KeyWord(r, &rc, [this] { return LoadLanguage(1); })) return rc;
  return TaskMenu.MenuOp(r->key);
}

// --- task slots ---

int TaskForMeasure::FunctionOnOff(int arg) {
  if (arg == 0) {
    funBits_ = 0;
    return 0;
  }
  if (arg == 1) {
    funBits_ |= kMeaFuncActive;
    return 0;
  }
  if (arg != 2) return 0;
  const bool shown = funBits_ & (kMeaFuncDvm | kMeaFuncAllPara | kMeaFuncUserDef | kMeaFuncIndicator);
  TaskMenu.SetMenuItem(kMeaDvm, 0);
  MeasureDVMFuncOnOFF(kNoKey);
  TaskMenu.SetMenuItem(kMeaAllPara, 0);
  Measure_AllPara(kNoKey);
  UserDefOnOff(0);
  userPanel_ = 0;
  TaskMenu.SetMenuItem(kMeaUserDef, 0);
  TaskMenu.SetMenuItem(kMeaIndicator, 0);
  Measure_IndicatorEnable(kNoKey);
  return shown ? 1 : 0;
}

int TaskForMeasure::Assist(taskresponse* request, taskresponse*) {
  if (!request || request->request != kAssistSetItem) return -1;
  const int item = request->words[0];
  if (item != kMeaMasterSrc && item != kMeaIndicator) return -1;
  TaskMenu.SetMenuItem(item, request->words[1]);
  if (item == kMeaMasterSrc) Measure_MasterSrc(kNoKey);
  else Measure_IndicatorEnable(kNoKey);
  return 0;
}

int TaskForMeasure::TaskControlHandover(taskresponse*) {
  if (selMask_ == 0 && funBits_ == 0) {
    Manager().DelUserTaskProcess(kMeasureTaskId);
    Manager().DelUserTaskDisplay(kMeasureTaskId);
  }
  return 0;
}

int TaskForMeasure::TaskBetweenSync(taskresponse* r, taskresponse*) {
  if (selMask_) ClearStatPara();
  CheckDisplayFormat();
  if (r)
    for (uint16_t k : kHoldOffKeys)
      if (r->key.key == k) HoldOff();
  MeasureDVMModeSync();
  return 0;
}

int TaskForMeasure::TaskBackgroundResponse(taskresponse* r, taskresponse*) {
  if (!r || r->key.key != kMenuOnOffKey) return 0;
  if (TaskMenu.GetMenuItem(kMeaAllPara) & 0xFFFF) {
    TaskMenu.SetMenuItem(kMeaAllPara, 0);
    Measure_AllPara(kNoKey);
    return 1;
  }
  if (!IsUserDefOn()) return 0;
  UserDefOnOff(0);
  userPanel_ = 0;
  TaskMenu.SetMenuItem(kMeaUserDef, 0);
  if (TaskMenu.GetMenuItem(kMeaIndicator) & 0xFFFF) IndicatorOnOff(1);
  const int stat = int(TaskMenu.GetMenuItem(kMeaStatistic) & 0xFFFF);
  if (selMask_ && (stat == 1 || stat == 2)) StatisticOnOff(1);
  return 1;
}

// --- overlays: one shown at a time where they share the screen ---

int TaskForMeasure::AllParaOnOff(int on) {
  _SysRunInfoOp* run = Sys().runStatus;
  if (!on) {
    funBits_ &= ~kMeaFuncAllPara;
    if (run) run->ClearFuncBit(kRunFuncAllPara);
    return 0;
  }
  funBits_ &= ~(kMeaFuncUserDef | kMeaFuncIndicator | kMeaFuncStatistic | kMeaFuncHistogram);
  funBits_ |= kMeaFuncAllPara;
  if (run) run->SetFuncBit(kRunFuncAllPara);
  return 0;
}

int TaskForMeasure::UserDefOnOff(int on) {
  if (!on) funBits_ &= ~kMeaFuncUserDef;
  else funBits_ = (funBits_ & ~(kMeaFuncAllPara | kMeaFuncIndicator | kMeaFuncStatistic | kMeaFuncHistogram)) |
                  kMeaFuncUserDef;
  return 0;
}

int TaskForMeasure::IndicatorOnOff(int on) {
  if (!on) funBits_ &= ~kMeaFuncIndicator;
  else funBits_ = (funBits_ & ~(kMeaFuncAllPara | kMeaFuncUserDef)) | kMeaFuncIndicator;
  return 0;
}

int TaskForMeasure::StatisticOnOff(int on) {
  if (!on) funBits_ &= ~kMeaFuncStatistic;
  else funBits_ = (funBits_ & ~(kMeaFuncAllPara | kMeaFuncUserDef)) | kMeaFuncStatistic;
  return 0;
}

int TaskForMeasure::HistogramOnOff(int on) {
  if (!on) funBits_ &= ~kMeaFuncHistogram;
  else funBits_ = (funBits_ & ~(kMeaFuncAllPara | kMeaFuncUserDef | kMeaFuncStatistic | kMeaFuncIndicator)) |
                  kMeaFuncHistogram;
  return 0;
}

int TaskForMeasure::DVMOnOff(int on) {
  _SysRunInfoOp* run = Sys().runStatus;
  funBits_ = on ? funBits_ | kMeaFuncDvm : funBits_ & ~kMeaFuncDvm;
  if (run) {
    if (on) run->SetFuncBit(kRunFuncDvm);
    else run->ClearFuncBit(kRunFuncDvm);
  }
  MeasureParaCalcu.SetDVM(on != 0, dvmSource_);
  return 0;
}

// --- voltmeter, speed, display format ---

int TaskForMeasure::SetDVMSource(int source) {
  if (source != 0 && source != 1) return -1;
  dvmSource_ = int16_t(source);
  if (Sys().board) Sys().board->SendRealControl(fpga::kDvmSource, source);
  MeasureParaCalcu.SetDVM(IsDVMOn() != 0, source);
  return 0;
}

int TaskForMeasure::SetDVMMode(int mode) {
  if (mode < 0 || mode > 2) return -1;
  dvmMode_ = int16_t(mode);
  return 0;
}

int TaskForMeasure::SetMeasureSpeed(int speed) {
  if (speed < 0 || speed > 2) return -1;
  speed_ = int16_t(speed);
  return 0;
}

int TaskForMeasure::CheckDisplayFormat() {
  if (Sys().runStatus) displayFormat_ = int16_t(Sys().runStatus->GetDiplayFormat());
  return displayFormat_;
}

// --- user slots ---

int TaskForMeasure::GetUserSelPara(int slot) const {
  if (slot < 0 || slot >= kMeaUserSlots) return 0xFF;
  return para_[slot];
}

int TaskForMeasure::GetUserSelSource(int slot) const {
  if (slot < 0 || slot >= kMeaUserSlots) return 0xFF;
  return source_[slot];
}

int TaskForMeasure::FindUserDef(int para, int master) const {
  for (int k = 0; k < kMeaUserSlots; ++k)
    if ((selMask_ >> k & 1) && para_[k] == para && (source_[k] & 0xFF) == master) return k;
  return -1;
}

int TaskForMeasure::GetParaType(int para) {
  const int d = MeasureIsDoublePara(para);
  return d < 0 ? 0xFF : d;
}

int TaskForMeasure::IsDoubleChPara(int para) { return MeasureIsDoublePara(para); }

void TaskForMeasure::SetSlot(int slot, int para, uint16_t source) {
  para_[slot] = int16_t(para);
  source_[slot] = para < 0 ? 0 : source;
  if (para < 0) {
    selMask_ &= ~(1u << slot);
    MeasureParaCalcu.UserDefParaClear(slot);
  } else {
    selMask_ |= 1u << slot;
  }
}

bool TaskForMeasure::SetSlotFromWord(int slot, uint16_t word) {
  const int para = word & 0xFF, master = word >> 8 & 0xF, slave = word >> 12 & 0xF;
  if (word == kEmptySlot || para >= kMeaParas || !SourceWordOk(master) || !SourceWordOk(slave)) {
    SetSlot(slot, -1, 0);
    return false;
  }
  SetSlot(slot, para, uint16_t(master | slave << 8));
  return true;
}

void TaskForMeasure::WriteSlotWord(int slot) {
  uint16_t word = kEmptySlot;
  if (para_[slot] >= 0)
    word = uint16_t(para_[slot] | (source_[slot] & 0xF) << 8 | (source_[slot] >> 8 & 0xF) << 12);
  Eeprom().I2C_WriteU16(kSlotAddress[slot], word);
}

void TaskForMeasure::ReadSlotWords() {
  selMask_ = 0;
  for (int k = 0; k < kMeaUserSlots; ++k) SetSlotFromWord(k, uint16_t(Eeprom().I2C_ReadU16(kSlotAddress[k])));
}

_measure::UserSelection TaskForMeasure::Selection() const {
  _measure::UserSelection s{};
  for (int k = 0; k < kMeaUserSlots; ++k) {
    s.para[k] = (selMask_ >> k & 1) ? para_[k] : -1;
    s.source[k] = source_[k];
  }
  s.master = MeasureSourceOf(int(TaskMenu.GetMenuItem(kMeaMasterSrc) & 0xFFFF));
  s.slave = MeasureSourceOf(int(TaskMenu.GetMenuItem(kMeaSlaveSrc) & 0xFFFF));
  s.pairShown = IsAllParaOn() || IsIndicatorOn();
  s.channelsOn = Sys().runStatus ? Sys().runStatus->GetChStatus() : 0;
  return s;
}

// The select knob moves the highlight over the 36 parameters; the push puts
// the highlighted one, for the menu's sources, into a slot or takes it out.
int TaskForMeasure::UserDefSel(keypara k) {
  const int step = k.useStep && k.step > 0 ? k.step : 1;
  if (k.key == MENU_KEY_KNOB_DOWN || k.key == MENU_KEY_KNOB_UP) {
    selCursor_ += k.key == MENU_KEY_KNOB_DOWN ? step : -step;
    selCursor_ = ((selCursor_ % kMeaParas) + kMeaParas) % kMeaParas;
    std::printf("Sel = %d \n", selCursor_);
    return 0;
  }
  if (k.key != MENU_KEY_SELECT) return 0;
  const int para = selCursor_;
  const int master = MeasureSourceOf(int(TaskMenu.GetMenuItem(kMeaMasterSrc) & 0xFFFF));
  const int slave = MeasureSourceOf(int(TaskMenu.GetMenuItem(kMeaSlaveSrc) & 0xFFFF));
  const bool two = MeasureIsDoublePara(para) == 1;
  for (int s = 0; s < kMeaUserSlots; ++s) {
    if (!(selMask_ >> s & 1) || para_[s] != para || (source_[s] & 0xFF) != master) continue;
    if (two && (source_[s] >> 8) != slave) continue;
    SetSlot(s, -1, 0);
    WriteSlotWord(s);
    if (selMask_ == 0) Manager().DelUserTaskProcess(kMeasureTaskId);
    return 0;
  }
  int slot = -1;
  for (int s = 0; s < kMeaUserSlots && slot < 0; ++s)
    if (!(selMask_ >> s & 1)) slot = s;
  if (slot < 0) {
    slot = nextOverwrite_;
    nextOverwrite_ = (nextOverwrite_ + 1) % kMeaUserSlots;
  }
  MeasureParaCalcu.UserDefParaClear(slot);
  SetSlot(slot, para, uint16_t(master | slave << 8));
  WriteSlotWord(slot);
  if (Manager().FindUserTaskProcess(kMeasureTaskId) != TASK_LISTED)
    Manager().AddUserTaskProcess(kMeasureTaskId, kAttrProcess, 0);
  return 0;
}

int TaskForMeasure::ClearUserDef() {
  for (int k = 0; k < kMeaUserSlots; ++k) {
    SetSlot(k, -1, 0);
    WriteSlotWord(k);
  }
  selMask_ = 0;
  selCursor_ = nextOverwrite_ = 0;
  if (funBits_ == 0) Manager().DelUserTaskProcess(kMeasureTaskId);
  if (Sys().message) Sys().message->SetMessage(kMsgCleared);
  return 0;
}

int TaskForMeasure::ClearStatPara() {
  if (selMask_ == 0) return 0;
  MeasureParaCalcu.UserDefStatisticParaReset();
  statSerial_ = -1;  // the record on screen starts the new statistics
  StampTimes();
  return 0;
}

// --- the measurement pass ---

void TaskForMeasure::StampTimes() { lastPassUs_ = plat::MonoUs(); }

void TaskForMeasure::HoldOff() {
  const int64_t now = plat::MonoUs();
  holdOffUntilUs_ = (now / kSecondUs + 1) * kSecondUs;
}

int TaskForMeasure::DataProcess() {
  speed_ = 1;  // the pass runs at the normal speed
  const int64_t now = plat::MonoUs();
  if (now - lastPassUs_ < kSpeedIntervalUs[speed_]) return 0;
  lastPassUs_ = now;
  if (IsDVMOn()) MeasureDVMFollowCoupling();
  return MeasurePass();
}
