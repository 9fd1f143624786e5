// The CH2 module: its layout, menu record, handlers and SCPI table.
#include "acquisition/channel/task_ch2.h"

#include "acquisition/channel/task_ch_scpi.h"
#include "remote/scpi/scpi_table.h"

namespace {
// Probe 1X, voltage probe, current probe 200X in A, label from the library
// (the custom ratio is kept).
constexpr ChannelDefault kCh2Defaults[] = {{6, 3}, {5, 0}, {10, 0}, {11, 0}, {13, 1}, {16, 0}};

constexpr ChannelLayout kCh2Layout = {
    1, 7, 65, "TASK-CH2", "CH2", "Ch2", "TaskForCh2 -> Default", "TaskForCh2 :: Initialize ...",
    "ch2 CurrLanguage = %d \n",
    10, 11, 12, 13,      // current probe: type, probe, custom, unit
    15, 16, 17, 20, 21,  // label: on, library, edit, delete, OK
    2, 3, 4,             // pages: current probe, label, keyboard
    kCh2Defaults, int16_t(sizeof kCh2Defaults / sizeof kCh2Defaults[0]),
    false, false, false,  // keeps the custom ratio, no on/off at start, 133
};

constexpr ChannelHandlers kCh2Handlers = {
    Ch2_Coupling,    Ch2_BwLimit,  Ch2_VoltsDiv,   Ch2_Invert,     Ch2_Next,      Ch2_ProbeType,
    Ch2_Probe,       Ch2_Custom,   Ch2_Unit,       Ch2_Next2,      Ch2_ProbeType_A, Ch2_Probe_A,
    Ch2_Unit_A,      Ch2_Back,     Ch2_LabelOnOff, Ch2_LabelLab,   Ch2_LabelEdit, Ch2_LabelDel,
    Ch2_LabelOk,     Ch2_LabelBack, Ch2MenuOp,     Ch2_LabelOp,
};
}  // namespace

menu TaskCh2Menu;  // built by the module
TaskForCh2 TaskCh2;
instr TaskCh2InstrStandard[kChScpiRows + 1];  // filled by the module

TaskForCh2::TaskForCh2() : TaskForChannel(kCh2Layout, &TaskCh2Menu) {
  BuildChannelMenu(&TaskCh2Menu, kCh2Layout, kCh2Handlers);
  BuildChannelInstr(TaskCh2InstrStandard, 1);
}

int Ch2_SendSysRequest(int code, short target, short value) { return TaskCh2.SendSysRequest(code, target, value); }
int Ch2AllParaReSet() { return TaskCh2.AllParaReSet(); }
int Ch2_Coupling(keypara k) { return TaskCh2.Coupling(k); }
int Ch2_BwLimit(keypara k) { return TaskCh2.BwLimit(k); }
int Ch2_VoltsDiv(keypara k) { return TaskCh2.VoltsDiv(k); }
int Ch2_Invert(keypara k) { return TaskCh2.Invert(k); }
int Ch2_Next(keypara k) { return TaskCh2.Next(k); }
int Ch2_ProbeType(keypara k) { return TaskCh2.ProbeType(k); }
int Ch2_Probe(keypara k) { return TaskCh2.Probe(k); }
int Ch2_Custom(keypara k) { return TaskCh2.Custom(k); }
int Ch2_Unit(keypara k) { return TaskCh2.Unit(k); }
int Ch2_Next2(keypara k) { return TaskCh2.Next2(k); }
int Ch2_ProbeType_A(keypara k) { return TaskCh2.ProbeType_A(k); }
int Ch2_Probe_A(keypara k) { return TaskCh2.Probe_A(k); }
int Ch2_Unit_A(keypara k) { return TaskCh2.Unit_A(k); }
int Ch2_Back(keypara k) { return TaskCh2.Back(k); }
int Ch2_LabelOnOff(keypara k) { return TaskCh2.LabelOnOff(k); }
int Ch2_LabelLab(keypara k) { return TaskCh2.LabelLab(k); }
int Ch2_LabelEdit(keypara k) { return TaskCh2.LabelEdit(k); }
int Ch2_LabelDel(keypara k) { return TaskCh2.LabelDel(k); }
int Ch2_LabelOk(keypara k) { return TaskCh2.LabelOk(k); }
int Ch2_LabelBack(keypara k) { return TaskCh2.LabelBack(k); }
int Ch2MenuOp(keypara k) { return TaskCh2.MenuOp(k); }
int Ch2_LabelOp(keypara k) { return TaskCh2.LabelOp(k); }
