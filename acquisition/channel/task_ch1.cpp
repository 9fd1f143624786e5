// The CH1 module: its layout, menu record, handlers and SCPI table.
#include "acquisition/channel/task_ch1.h"

#include "acquisition/channel/task_ch_scpi.h"
#include "remote/scpi/scpi_table.h"

namespace {
// Probe 1X, voltage probe, current probe 200X in A, label from the library.
constexpr ChannelDefault kCh1Defaults[] = {{6, 3}, {5, 0}, {26, 0}, {28, 1}, {25, 0}, {11, 0}};

constexpr ChannelLayout kCh1Layout = {
    0, 6, 64, "TASK-CH1", "CH1", "Ch1", "TaskForCh1 -> Default", "TaskForCh1 :: Initialize ...",
    "ch1 CurrLanguage = %d \n",
    25, 26, 27, 28,      // current probe: type, probe, custom, unit
    10, 11, 12, 15, 16,  // label: on, library, edit, delete, OK
    5, 2, 3,             // pages: current probe, label, keyboard
    kCh1Defaults, int16_t(sizeof kCh1Defaults / sizeof kCh1Defaults[0]),
    true, true, true,  // resets the custom ratio, switches on at start, 133
};

constexpr ChannelHandlers kCh1Handlers = {
    Ch1_Coupling,    Ch1_BwLimit,  Ch1_VoltsDiv,   Ch1_Invert,     Ch1_Next,      Ch1_ProbeType,
    Ch1_Probe,       Ch1_Custom,   Ch1_Unit,       Ch1_Next2,      Ch1_ProbeType_A, Ch1_Probe_A,
    Ch1_Unit_A,      Ch1_Back,     Ch1_LabelOnOff, Ch1_LabelLab,   Ch1_LabelEdit, Ch1_LabelDel,
    Ch1_LabelOk,     Ch1_LabelBack, Ch1MenuOp,     Ch1_LabelOp,
};
}  // namespace

menu TaskCh1Menu;  // built by the module
TaskForCh1 TaskCh1;
instr TaskCh1InstrStandard[kChScpiRows + 1];  // filled by the module

TaskForCh1::TaskForCh1() : TaskForChannel(kCh1Layout, &TaskCh1Menu) {
  BuildChannelMenu(&TaskCh1Menu, kCh1Layout, kCh1Handlers);
  BuildChannelInstr(TaskCh1InstrStandard, 0);
}

int Ch1_SendSysRequest(int code, short target, short value) { return TaskCh1.SendSysRequest(code, target, value); }
int Ch1AllParaReSet() { return TaskCh1.AllParaReSet(); }
int Ch1_Coupling(keypara k) { return TaskCh1.Coupling(k); }
int Ch1_BwLimit(keypara k) { return TaskCh1.BwLimit(k); }
int Ch1_VoltsDiv(keypara k) { return TaskCh1.VoltsDiv(k); }
int Ch1_Invert(keypara k) { return TaskCh1.Invert(k); }
int Ch1_Next(keypara k) { return TaskCh1.Next(k); }
int Ch1_ProbeType(keypara k) { return TaskCh1.ProbeType(k); }
int Ch1_Probe(keypara k) { return TaskCh1.Probe(k); }
int Ch1_Custom(keypara k) { return TaskCh1.Custom(k); }
int Ch1_Unit(keypara k) { return TaskCh1.Unit(k); }
int Ch1_Next2(keypara k) { return TaskCh1.Next2(k); }
int Ch1_ProbeType_A(keypara k) { return TaskCh1.ProbeType_A(k); }
int Ch1_Probe_A(keypara k) { return TaskCh1.Probe_A(k); }
int Ch1_Unit_A(keypara k) { return TaskCh1.Unit_A(k); }
int Ch1_Back(keypara k) { return TaskCh1.Back(k); }
int Ch1_LabelOnOff(keypara k) { return TaskCh1.LabelOnOff(k); }
int Ch1_LabelLab(keypara k) { return TaskCh1.LabelLab(k); }
int Ch1_LabelEdit(keypara k) { return TaskCh1.LabelEdit(k); }
int Ch1_LabelDel(keypara k) { return TaskCh1.LabelDel(k); }
int Ch1_LabelOk(keypara k) { return TaskCh1.LabelOk(k); }
int Ch1_LabelBack(keypara k) { return TaskCh1.LabelBack(k); }
int Ch1MenuOp(keypara k) { return TaskCh1.MenuOp(k); }
int Ch1_LabelOp(keypara k) { return TaskCh1.LabelOp(k); }
