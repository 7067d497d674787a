// $simparam pass-through entry and $simprobe: values of sibling instances,
// found once per call site and read anew on every call.
#include <stdio.h>
#include <string.h>

#include "VXR_ParamsData.h"

namespace {

// Constant-initialised: no code runs when the library is loaded.
VXR_SimParam passThrough = {nullptr, passThroughCallback};

} // namespace

extern "C" {

double passThroughCallback(VXR_DeviceInst*, double defaultValue)
{
    return defaultValue;
}

VXR_SimParam* VXR_getSimParamPassThroughCallback(void)
{
    passThrough.name = nullptr;
    passThrough.pGetValue = passThroughCallback;
    return &passThrough;
}

} // extern "C"

#if VXR_REVISION == 187

namespace {

bool sameName(const char* a, const char* b)
{
    return a && b && strcmp(a, b) == 0;
}

VXR_DeviceInst* findSibling(const VXR_DeviceInst* inst, const char* instName)
{
    const VXR_DeviceInst* parent = inst->pParent;
    if (!parent || !parent->pChildren)
        return nullptr;
    for (int i = 0; i < parent->numOfChildren; ++i) {
        VXR_DeviceInst* c = parent->pChildren[i];
        if (c && sameName(c->instName, instName))
            return c;
    }
    return nullptr;
}

// The sibling's parameter of that name, else its output variable; false
// when the module has neither.
bool resolve(VXR_DeviceInst* sibling, const char* varName, VXR_SimProbeEntry* out)
{
    VXR_ModuleDescriptor* md = sibling->pModuleDescriptor;
    if (!md)
        return false;
    if (VXR_ParamDesc* row = VXR_getParamDesc(md, varName)) {
        *out = {sibling, row->name, row, nullptr};
        return true;
    }
    for (int i = 0; md->outVarDescArray && i < md->numOfOutVars; ++i) {
        VXR_OutVarDesc* row = &md->outVarDescArray[i];
        if (sameName(row->name, varName)) {
            *out = {sibling, row->name, nullptr, row};
            return true;
        }
    }
    return false;
}

// The probed value; false for kinds that cannot be probed.
bool readValue(const VXR_SimProbeEntry& e, VXR_ContribLoader* ldr, double* value)
{
    const VXR_ModuleDescriptor* md = e.pInst->pModuleDescriptor;
    if (e.pParamDesc) {
        if (e.pParamDesc->paramType == VXR_REAL_PARAM && md->pGetRealParam) {
            *value = md->pGetRealParam(e.pInst, e.pParamDesc->paramLocation);
            return true;
        }
        if (e.pParamDesc->paramType == VXR_INT_PARAM && md->pGetIntParam) {
            *value = static_cast<double>(md->pGetIntParam(e.pInst, e.pParamDesc->paramLocation));
            return true;
        }
        return false;
    }
    const VXR_OutVarTypeE kind = e.pOutVarDesc->outputVarType;
    if ((kind != VXR_OUT_REALVAR && kind != VXR_OUT_INTVAR) || !md->pGetOutVarInfo)
        return false;
    VXR_OutVal out{};
    out.pOutVarDesc = e.pOutVarDesc;
    md->pGetOutVarInfo(1, e.pOutVarDesc, &out, e.pInst, ldr);
    *value = kind == VXR_OUT_REALVAR ? out.outVal.realVal : static_cast<double>(out.outVal.intVal);
    return true;
}

} // namespace

extern "C" {

double VXR_SimProbe(int ix, const char* instName, const char* varName, int defaultExprGiven,
                    double defaultExprValue, VXR_ContribLoader* ldr, VXR_DeviceInst* pInst)
{
    if (!pInst)
        return defaultExprValue;
    // A call site outside the cache resolves every time, without caching.
    VXR_SimProbeEntry local{};
    const bool cached = pInst->pSimProbeCache && ix >= 0 && ix < pInst->numOfSimProbeEntries;
    VXR_SimProbeEntry* e = cached ? &pInst->pSimProbeCache[ix] : &local;

    bool found = e->pInst && e->varName && sameName(e->pInst->instName, instName) && sameName(e->varName, varName);
    if (!found) {
        VXR_SimProbeEntry fresh{};
        VXR_DeviceInst* sibling = findSibling(pInst, instName);
        found = sibling && resolve(sibling, varName, &fresh);
        if (found)
            *e = fresh;
    }
    double value = defaultExprValue;
    if (found && readValue(*e, ldr, &value))
        return value;
    if (!defaultExprGiven) {
        char buf[VXR_MESSAGE_BUFFER_CHARS + 1];
        snprintf(buf, sizeof buf, "Unable to find %s.%s in $simparam call.", VXR_nameOrNull(instName),
                 VXR_nameOrNull(varName));
        VXR_fatalUserError(pInst->pSimInterface, pInst, buf);
    }
    return defaultExprValue;
}

void VXR_freeInstanceDataServices(VXR_DeviceInst* pInst)
{
    if (!pInst)
        return;
    VXR_free(const_cast<char*>(pInst->paramString));
    pInst->paramString = nullptr;
    VXR_free(pInst->pSimProbeCache);
    pInst->pSimProbeCache = nullptr;
    pInst->numOfSimProbeEntries = 0;
}

} // extern "C"

#endif // VXR_REVISION == 187
