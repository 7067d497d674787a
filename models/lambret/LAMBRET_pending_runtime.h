// TEMPORARY: runtime functions the module calls, declared with the signatures
// of the runtime's interface until the runtime branches are merged.
#ifndef LAMBRET_PENDING_RUNTIME_H
#define LAMBRET_PENDING_RUNTIME_H
#include "VXR_SupportLib.h"
extern "C" {
void* VXR_malloc(size_t size, VXR_SimInterface*, VXR_DeviceInst* pInst, const char* id);
void* VXR_calloc(size_t nmemb, size_t size, VXR_SimInterface*, VXR_DeviceInst* pInst, const char* id);
void VXR_free(void* p);
void VXR_insertError(VXR_ErrorLog*, VXR_DeviceInst*, char* errStr);
extern VXR_ContribLoader VXR_StaticCheckLoader;
void VXR_setupParamMap(VXR_DeviceInst*, int, const VXR_ParamAssn*, int* paramMap);
double VXR_initRealParam(VXR_DeviceInst*, int ix, int* paramMap, VXR_ParamAssn* givenParams);
int VXR_initIntegerParam(VXR_DeviceInst*, int ix, int* paramMap, VXR_ParamAssn* givenParams);
void VXR_reportPortMismatch(int numOfGivenPorts, int numOfPorts, VXR_SimInterface*, VXR_DeviceInst*);
void VXR_AssignScalarPort(VXR_DeviceInst* pInst, char* name, int id, VXR_StateVar** termArray,
                          int (*termWidth)[3], int port, int numOfTerms, int* pTrm, int index, int range);
void VXR_CreateIsolatedPorts(VXR_DeviceInst* inst, void* pCallbackInfo);
char* VXR_CreateParamString(int count, const VXR_ParamAssn* assignments, VXR_DeviceInst* inst);
void VXR_initFileDescs(VXR_DeviceInst* pInst);
void VXR_destroyChildren(VXR_DeviceInst*);
void VXR_destroyEvents(VXR_DeviceInst*);
void VXR_SaveChildren(VXR_DeviceInst* pParent, VXR_DeviceState* pState);
void VXR_RestoreChildren(VXR_DeviceInst* pParent, VXR_DeviceState* pState);
void VXR_SaveEvents(VXR_DeviceInst* pInst, VXR_DeviceState* pState);
void VXR_RestoreEvents(VXR_DeviceInst* pInst, VXR_DeviceState* pState);
}
#endif
