// TODO(merge): runtime services the module calls, declared here until the
// runtime areas land in VXR_SupportLib.h; delete this file then.
#ifndef TORVEX_CORE_RUNTIME_H
#define TORVEX_CORE_RUNTIME_H

#include "VXR_SupportLib.h"

extern "C" {
void* VXR_malloc(size_t size, VXR_SimInterface*, VXR_DeviceInst* pInst, const char* id);
void* VXR_calloc(size_t nmemb, size_t size, VXR_SimInterface*, VXR_DeviceInst* pInst, const char* id);
void VXR_free(void* p);
void VXR_insertError(VXR_ErrorLog*, VXR_DeviceInst*, char* errStr);
extern VXR_ContribLoader VXR_StaticCheckLoader;

void VXR_setupParamMap(VXR_DeviceInst*, int numOfGivenParams, const VXR_ParamAssn* givenParams, int* paramMap);
double VXR_initRealParam(VXR_DeviceInst*, int ix, int* paramMap, VXR_ParamAssn* givenParams);
int VXR_initIntegerParam(VXR_DeviceInst*, int ix, int* paramMap, VXR_ParamAssn* givenParams);
void VXR_reportPortMismatch(int numOfGivenPorts, int numOfPorts, VXR_SimInterface*, VXR_DeviceInst*);
void VXR_reportWidthMismatch(const char* portName, int givenWidth, int portWidth, VXR_SimInterface*, VXR_DeviceInst*);

void VXR_destroyChildren(VXR_DeviceInst*);
void VXR_destroyEvents(VXR_DeviceInst*);
void VXR_SaveChildren(VXR_DeviceInst* pParent, VXR_DeviceState* pState);
void VXR_RestoreChildren(VXR_DeviceInst* pParent, VXR_DeviceState* pState);
void VXR_SaveEvents(VXR_DeviceInst* pInst, VXR_DeviceState* pState);
void VXR_RestoreEvents(VXR_DeviceInst* pInst, VXR_DeviceState* pState);

typedef struct s_VXR_OpBranch_ddt VXR_OpBranch_ddt;
VXR_OpBranch_ddt* VXR_createOpBranch_ddt(const char* name, VXR_DeviceInst* parent);
void VXR_ddtFinalizeTopology(VXR_OpBranch_ddt* op, void* pCallbackInfo);
void VXR_ddtSetStamp(VXR_OpBranch_ddt* op, void* pCallbackInfo);
void* VXR_getDerivDoubletOpBranch_ddt(VXR_OpBranch_ddt* op, VXR_StateVar* svRhsPlus, VXR_StateVar* svRhsMinus,
                                      VXR_StampTargetE target, VXR_DepTypeE dep, void* pCallbackInfo);
VXR_StateVar* VXR_getBranchVar_ddt(VXR_OpBranch_ddt* op);
void VXR_ddtAcceptTimePoint(VXR_OpBranch_ddt* op, VXR_ContribLoader* ldr);
void* VXR_ddtSaveState(VXR_OpBranch_ddt* op);
void VXR_ddtRestoreState(VXR_OpBranch_ddt* op, void* state);
void VXR_ddtReset(VXR_OpBranch_ddt* op);
void VXR_destroyOpBranch_ddt(VXR_OpBranch_ddt* op);
}

#endif
