// The pass/fail test: pages 11-14 of the utility menu (items 55-74), the
// result box and the read-outs the SCPI commands and the web use.
#pragma once
#include "core/menu/keypara.h"

int PassFailOp(keypara key);
int PassFail_Enable(keypara key);
int PassFail_Operate(keypara key);
int PassFail_Output(keypara key);
int PassFail_Source(keypara key);
int PassFail_Next(keypara key);
int PassFail_StopSetup(keypara key);
int PassFail_MaskSetup(keypara key);
int PassFail_Return(keypara key);
int PassFail_Back(keypara key);
int PassFail_StopSetup_StopType(keypara key);
int PassFail_StopSetup_When(keypara key);
int PassFail_StopSetup_Threshold(keypara key);
int PassFail_StopSetup_Back(keypara key);
int PassFail_RefChannel(keypara key);
int PassFail_HoriMask(keypara key);
int PassFail_VertMask(keypara key);
int PassFail_MaskStep_Back(keypara key);

// Builds the mask from the reference channel (also "PF:TEMPlate:CREate").
int PassFailMaskSetup(keypara key);
// 0 off; else the result box and the mask (-1 when they cannot be had).
int PassFail_MsgTemplateFlag(int on);
// The result box (utility dialog bit 0x8).
void Utility_DrawPassFail();

int GetPassFail_Run_Status();
int GetPassFail_PassTimes();
int GetPassFail_FailTImes();
