// TEMPORARY test-only stand-ins for runtime services not yet merged into this
// branch; removed once the runtime provides them.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "LAMBRET_module.h"

extern "C" {
void* VXR_malloc(size_t size, VXR_SimInterface*, VXR_DeviceInst*, const char*) {
    return size ? std::malloc(size) : nullptr;
}
void* VXR_calloc(size_t n, size_t size, VXR_SimInterface*, VXR_DeviceInst*, const char*) {
    return n && size ? std::calloc(n, size) : nullptr;
}
void VXR_free(void* p) { std::free(p); }
void VXR_insertError(VXR_ErrorLog* log, VXR_DeviceInst* inst, char* s) {
    if (log->length < log->maxLength) {
        log->errorInst[log->length] = inst;
        log->errorStr[log->length++] = s;
    }
}
VXR_ErrorLog* VXR_createErrorLog(int maxLength, VXR_SimInterface*) {
    auto* log = static_cast<VXR_ErrorLog*>(std::calloc(1, sizeof(VXR_ErrorLog)));
    log->maxLength = maxLength;
    log->errorInst = static_cast<VXR_DeviceInst**>(std::calloc(maxLength, sizeof(void*)));
    log->errorStr = static_cast<char**>(std::calloc(maxLength, sizeof(char*)));
    return log;
}
void VXR_freeErrorLog(VXR_ErrorLog* log) {
    if (!log) return;
    std::free(log->errorInst);
    std::free(log->errorStr);
    std::free(log);
}
static double zeroSol(VXR_StateVar*, VXR_ContribLoader*, VXR_DeviceInst*) { return 0.0; }
VXR_ContribLoader VXR_StaticCheckLoader = [] {
    VXR_ContribLoader l{};
    l.pGetSol = zeroSol;
    return l;
}();
static void report(VXR_DeviceInst* inst, const char* fmt, const char* s) {
    char buf[512];
    std::snprintf(buf, sizeof buf, fmt, s);
    inst->pSimInterface->pMessage(MessageTypeE_ERROR, buf, inst, inst->pSimInterface);
    inst->pSimInterface->pSystemRequest("exit", 1, inst, nullptr, inst->pSimInterface);
}
void VXR_setupParamMap(VXR_DeviceInst* inst, int n, const VXR_ParamAssn* a, int* map) {
    const VXR_ModuleDescriptor* md = inst->pModuleDescriptor;
    for (int i = 0; i < md->numOfParams; ++i) map[i] = -1;
    for (int j = 0; j < n; ++j) {
        int row = -1;
        for (int i = 0; i < md->numOfParams; ++i)
            if (!std::strcmp(md->paramDescArray[i].name, a[j].assnName)) row = i;
        if (row < 0)
            report(inst, "Parameter '%s' not found.", a[j].assnName);
        else
            map[row] = j;
    }
}
double VXR_initRealParam(VXR_DeviceInst*, int ix, int* map, VXR_ParamAssn* a) {
    const VXR_ParamAssn& x = a[map[ix]];
    return x.paramType == VXR_INT_PARAM ? x.paramVal.ival : x.paramVal.dval;
}
int VXR_initIntegerParam(VXR_DeviceInst*, int ix, int* map, VXR_ParamAssn* a) {
    const VXR_ParamAssn& x = a[map[ix]];
    return x.paramType == VXR_INT_PARAM ? x.paramVal.ival : static_cast<int>(x.paramVal.dval);
}
void VXR_reportPortMismatch(int given, int ports, VXR_SimInterface* s, VXR_DeviceInst* inst) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "Expected %d ports; received at least %d ports instead.", ports, given);
    s->pMessage(MessageTypeE_ERROR, buf, inst, s);
    s->pSystemRequest("exit", 1, inst, nullptr, s);
}
void VXR_AssignScalarPort(VXR_DeviceInst* inst, char*, int id, VXR_StateVar** terms, int (*)[3], int, int n,
                          int* cursor, int, int) {
    inst->pPorts[id] = *cursor < n ? terms[(*cursor)++] : UNCONNECTED_SV;
}
void VXR_CreateIsolatedPorts(VXR_DeviceInst* inst, void* cb) {
    for (int t = 0; t < inst->numOfPorts; ++t)
        if (inst->pPorts[t] == UNCONNECTED_SV) {
            inst->pPorts[t] = inst->pSimInterface->pSetupNode(inst->pModuleDescriptor->terminalNames[t], inst,
                                                              VXR_NODAL_INFO_NONE, cb);
            inst->pPorts[t]->isIsolatedPort = 1;
        }
}
char* VXR_CreateParamString(int, const VXR_ParamAssn*, VXR_DeviceInst*) { return nullptr; }
void VXR_initFileDescs(VXR_DeviceInst*) {}
void VXR_destroyChildren(VXR_DeviceInst*) {}
void VXR_destroyEvents(VXR_DeviceInst*) {}
void VXR_SaveChildren(VXR_DeviceInst*, VXR_DeviceState*) {}
void VXR_RestoreChildren(VXR_DeviceInst*, VXR_DeviceState*) {}
void VXR_SaveEvents(VXR_DeviceInst*, VXR_DeviceState*) {}
void VXR_RestoreEvents(VXR_DeviceInst*, VXR_DeviceState*) {}
void VXR_freeDeviceState(VXR_DeviceState* s) {
    std::free(s->pPrivateInfo);
    std::free(s->pOperatorState);
    std::free(s->pEventState);
    std::free(s);
}
}
