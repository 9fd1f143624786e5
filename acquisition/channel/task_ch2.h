// The CH2 function module (task 7, panel key 65) and its menu handlers.
#pragma once
#include "acquisition/channel/task_ch_module.h"

struct instr;

class TaskForCh2 : public TaskForChannel {
 public:
  TaskForCh2();
};

extern TaskForCh2 TaskCh2;
extern menu TaskCh2Menu;
extern instr TaskCh2InstrStandard[];

int Ch2_SendSysRequest(int code, short target, short value);
int Ch2AllParaReSet();
int Ch2_Coupling(keypara k);
int Ch2_BwLimit(keypara k);
int Ch2_VoltsDiv(keypara k);
int Ch2_Invert(keypara k);
int Ch2_Next(keypara k);
int Ch2_ProbeType(keypara k);
int Ch2_Probe(keypara k);
int Ch2_Custom(keypara k);
int Ch2_Unit(keypara k);
int Ch2_Next2(keypara k);
int Ch2_ProbeType_A(keypara k);
int Ch2_Probe_A(keypara k);
int Ch2_Unit_A(keypara k);
int Ch2_Back(keypara k);
int Ch2_LabelOnOff(keypara k);
int Ch2_LabelLab(keypara k);
int Ch2_LabelEdit(keypara k);
int Ch2_LabelDel(keypara k);
int Ch2_LabelOk(keypara k);
int Ch2_LabelBack(keypara k);
int Ch2MenuOp(keypara k);
int Ch2_LabelOp(keypara k);
