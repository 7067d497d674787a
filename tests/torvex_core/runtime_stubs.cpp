// TODO(merge): stand-ins for runtime services not yet merged; removed once
// the frame areas land.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "VXR_SupportLib.h"
#include "torvex_core_runtime.h"

extern "C" {
static void msg(VXR_SimInterface* si, VXR_DeviceInst* inst, const char* text)
{
    char buf[2048];
    std::snprintf(buf, sizeof buf, "%s\n   [ instance '%s' of module type '%s' ]", text, inst->instName,
                  inst->pModuleDescriptor->moduleName);
    si->pMessage(MessageTypeE_ERROR, buf, inst, si);
    si->pSystemRequest("exit", 1, inst, nullptr, si);
}
void* VXR_malloc(size_t size, VXR_SimInterface*, VXR_DeviceInst*, const char*) { return size ? std::malloc(size) : nullptr; }
void* VXR_calloc(size_t n, size_t size, VXR_SimInterface*, VXR_DeviceInst*, const char*)
{
    return n && size ? std::calloc(n, size) : nullptr;
}
void VXR_free(void* p) { std::free(p); }
void VXR_insertError(VXR_ErrorLog* log, VXR_DeviceInst* inst, char* s)
{
    if (log->length < log->maxLength) {
        log->errorInst[log->length] = inst;
        log->errorStr[log->length++] = s;
    }
}
VXR_ContribLoader VXR_StaticCheckLoader = {};
void VXR_setupParamMap(VXR_DeviceInst* inst, int n, const VXR_ParamAssn* a, int* map)
{
    const VXR_ModuleDescriptor* d = inst->pModuleDescriptor;
    for (int k = 0; k < d->numOfParams; ++k) map[k] = -1;
    for (int j = 0; j < n; ++j)
        for (int k = 0; k < d->numOfParams; ++k)
            if (!std::strcmp(d->paramDescArray[k].name, a[j].assnName)) map[k] = j;
}
double VXR_initRealParam(VXR_DeviceInst*, int ix, int* map, VXR_ParamAssn* a)
{
    const VXR_ParamAssn& x = a[map[ix]];
    return x.paramType == VXR_INT_PARAM ? x.paramVal.ival : x.paramVal.dval;
}
int VXR_initIntegerParam(VXR_DeviceInst*, int ix, int* map, VXR_ParamAssn* a)
{
    const VXR_ParamAssn& x = a[map[ix]];
    if (x.paramType == VXR_INT_PARAM) return x.paramVal.ival;
    double v = x.paramVal.dval;
    return static_cast<int>(v > 0 ? v + 0.5 : v - 0.5);
}
void VXR_reportPortMismatch(int given, int ports, VXR_SimInterface* si, VXR_DeviceInst* inst)
{
    char b[200];
    std::snprintf(b, sizeof b, "Expected %d ports; received %d ports instead.", ports, given);
    msg(si, inst, b);
}
void VXR_reportWidthMismatch(const char* name, int, int, VXR_SimInterface* si, VXR_DeviceInst* inst)
{
    char b[200];
    std::snprintf(b, sizeof b, "Scalar terminal '%s' received a vector.", name);
    msg(si, inst, b);
}
void VXR_destroyChildren(VXR_DeviceInst*) {}
void VXR_destroyEvents(VXR_DeviceInst*) {}
void VXR_SaveChildren(VXR_DeviceInst*, VXR_DeviceState*) {}
void VXR_RestoreChildren(VXR_DeviceInst*, VXR_DeviceState*) {}
void VXR_SaveEvents(VXR_DeviceInst*, VXR_DeviceState*) {}
void VXR_RestoreEvents(VXR_DeviceInst*, VXR_DeviceState*) {}
VXR_EXPORT void VXR_freeDeviceState(VXR_DeviceState* s)
{
    std::free(s->pPrivateInfo);
    std::free(s->pOperatorState);
    std::free(s);
}
}
extern "C" const char vxr_build_id[] = "0123456789abcdef0123456789abcdef";
extern "C" void VXR_Message(VXR_SimInterface*, VXR_DeviceInst*, const char*, VXR_MessageTypeE, const char*) {}
extern "C" char* VXR_strdup(const char* s, VXR_SimInterface*, VXR_DeviceInst*) { return strdup(s); }
