// Data services the frame calls: simulator parameters, isolated ports, the
// parameter-override text and the refresh of digitally imported arrays.
#include <stdio.h>
#include <string.h>

#include "VXR_ParamsData.h"

extern "C" {

VXR_SimParam* VXR_getSimParamCallback(VXR_DeviceInst* pInst, const char* name)
{
    if (!pInst || !pInst->pSimInterface || !name)
        return nullptr;
    VXR_SimInterface* simIf = pInst->pSimInterface;
    if (simIf->numOfSimParams < 1 || !simIf->pSimParamArray)
        return nullptr;
    for (int i = 0; i < simIf->numOfSimParams; ++i) {
        VXR_SimParam* e = &simIf->pSimParamArray[i];
        if (e->name && strcmp(e->name, name) == 0)
            return e;
    }
    return nullptr;
}

#if VXR_REVISION == 187

// ---- Isolated ports -----------------------------------------------------------

static VXR_StateVar* getIsolatedPort(VXR_DeviceInst* inst, int term, int index, void* pCallbackInfo)
{
    const VXR_ModuleDescriptor* md = inst->pModuleDescriptor;
    const NetTypeE domain = md->terminalDomain ? md->terminalDomain[term] : UNSPECIFIED_TYPE;
    if (domain >= UNKNOWN_DISCRETE_NET)
        return VXR_NO_NODE_SV;
    VXR_SimInterface* simIf = inst->pSimInterface;
    const char* termName = (md->terminalNames && md->terminalNames[term]) ? md->terminalNames[term] : "";
    char* name;
    if (index >= 0) {
        const size_t len = strlen(termName) + 12; // digits of an int, and the NUL
        name = static_cast<char*>(VXR_malloc(len, simIf, inst, nullptr));
        if (name)
            snprintf(name, len, "%s%d", termName, index);
    } else {
        name = VXR_strdup(termName, simIf, inst);
    }
    if (!name)
        return UNCONNECTED_SV; // allocation failure, already reported
    if (!simIf || !simIf->pSetupNode) {
        VXR_free(name);
        return UNCONNECTED_SV;
    }
    VXR_StateVar* sv = simIf->pSetupNode(name, inst, VXR_NODAL_INFO_NONE, pCallbackInfo);
    if (sv && sv != UNCONNECTED_SV && sv != VXR_NO_NODE_SV)
        sv->isIsolatedPort = 1;
    return sv;
}

void VXR_CreateIsolatedPorts(VXR_DeviceInst* pInst, void* pCallbackInfo)
{
    if (!pInst || !pInst->pModuleDescriptor)
        return;
    const int numTerms = pInst->pModuleDescriptor->numOfTerminals;
    for (int t = 0; t < numTerms; ++t) {
        int size = 0;
        VXR_StateVar** slots = nullptr;
        const int isVector = getSV_SizePtr(pInst, t, &size, &slots);
        if (!slots)
            continue;
        for (int k = 0; k < size; ++k) {
            if (slots[k] == UNCONNECTED_SV)
                slots[k] = getIsolatedPort(pInst, t, isVector ? k : -1, pCallbackInfo);
        }
    }
}

// ---- Parameter-override text ----------------------------------------------------

static int hasDigitalStuff(const VXR_DeviceInst* inst)
{
    const VXR_ModuleDescriptor* md = inst->pModuleDescriptor;
    if (md && (md->isDigital || md->hasDigital))
        return 1;
    for (int i = 0; i < inst->numOfChildren; ++i) {
        const VXR_DeviceInst* child = inst->pChildren ? inst->pChildren[i] : nullptr;
        if (child && hasDigitalStuff(child))
            return 1;
    }
    return 0;
}

enum { kWarningLen = 512 };

// Writes the item of one assignment into dst (cap bytes; nothing with cap
// 0) and returns its full length, 0 when the assignment gives none; a
// skipped string or array assignment sends its warning. Items are sized to
// their text, so a long parameter name is never cut.
static size_t formItem(char* dst, size_t cap, const VXR_ParamAssn* a, VXR_DeviceInst* inst)
{
    const char* name = VXR_nameOrNull(a->assnName);
    int n = 0;
    switch (a->paramType) {
    case VXR_INT_PARAM:
        n = snprintf(dst, cap, ".%s(%d)", name, a->paramVal.ival);
        break;
    case VXR_REAL_PARAM:
        n = snprintf(dst, cap, ".%s(%.15e)", name, a->paramVal.dval);
        break;
    case VXR_STRING_PARAM: {
        if (inst->pModuleDescriptor && inst->pModuleDescriptor->isConnectModule)
            break;
        char warn[kWarningLen];
        snprintf(warn, sizeof warn, "String parameter '%s' not supported for AMS modules.", name);
        VXR_Message(inst->pSimInterface, inst, nullptr, MessageTypeE_WARNING, warn);
        break;
    }
    default: {
        char warn[kWarningLen];
        snprintf(warn, sizeof warn, "Array parameter '%s' not supported for AMS modules.", name);
        VXR_Message(inst->pSimInterface, inst, nullptr, MessageTypeE_WARNING, warn);
        break;
    }
    }
    return n > 0 ? static_cast<size_t>(n) : 0;
}

static bool givesItem(const VXR_ParamAssn* a)
{
    return a->paramType == VXR_INT_PARAM || a->paramType == VXR_REAL_PARAM;
}

char* VXR_CreateParamString(int paramCount, const VXR_ParamAssn* givenParams, VXR_DeviceInst* pInst)
{
    if (paramCount <= 0 || !givenParams || !pInst || !hasDigitalStuff(pInst))
        return nullptr;
    size_t size = 0;
    for (int j = 0; j < paramCount; ++j)
        size += formItem(nullptr, 0, &givenParams[j], pInst) + 1;
    size += 4;
    char* text = static_cast<char*>(VXR_malloc(size, pInst->pSimInterface, pInst, nullptr));
    if (!text)
        return nullptr;
    size_t used = 0;
    text[0] = '\0';
    for (int j = 0; j < paramCount; ++j) {
        const VXR_ParamAssn* a = &givenParams[j];
        if (!givesItem(a)) {
            formItem(nullptr, 0, a, pInst); // its warning again, as in the measuring pass
            continue;
        }
        if (used == 0) {
            text[used++] = '#';
            text[used++] = '(';
        } else {
            text[used++] = ',';
        }
        used += formItem(text + used, size - used, a, pInst);
    }
    if (used > 0)
        snprintf(text + used, size - used, ")");
    return text;
}

// ---- Digitally imported arrays ---------------------------------------------------

void doSyncDigitalArray(VXR_Array* pArray, VXR_DeviceInst* pInst, VXR_ContribLoader* ldr)
{
    if (!pArray || !ldr || !ldr->pAMS || pArray->_numDims < 1 || !pArray->_pLeftBounds || !pArray->_pRightBounds)
        return;
    auto* ams = ldr->pAMS;
    const int l = pArray->_pLeftBounds[0];
    const int r = pArray->_pRightBounds[0];
    const int lo = l < r ? l : r;
    const int hi = l < r ? r : l;
    const bool isReal = pArray->_arrayType == VXR_REAL_ARRAY;
    if (isReal ? !ams->pGetD2A_RealElement : !ams->pGetD2A_IntegerElement)
        return;
    for (long long i = lo; i <= hi; ++i) {
        const long long pos = i - lo;
        if (pos >= pArray->_dataLen)
            break;
        const int idx = static_cast<int>(i);
        if (isReal) {
            const double v = ams->pGetD2A_RealElement(pInst, ldr, pArray->_D2A_ImportIndex, pArray->_digID, 1, idx);
            double& t = pArray->_data._pReal[pos];
            if (v != t) { // also true when either side is NaN
                t = v;
                pArray->_contentsModified = 1;
            }
        } else {
            const int v = ams->pGetD2A_IntegerElement(pInst, ldr, pArray->_D2A_ImportIndex, pArray->_digID, 1, idx);
            int& t = pArray->_data._pInt[pos];
            if (v != t) {
                t = v;
                pArray->_contentsModified = 1;
            }
        }
    }
}

#endif // VXR_REVISION == 187

} // extern "C"
