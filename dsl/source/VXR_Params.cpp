// Parameters by name: row lookup, the parameter map, typed readers, alias
// sets and the host-callable setters.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "VXR_ParamsData.h"

namespace {

VXR_SimInterface* simIfOf(VXR_DeviceInst* inst)
{
    return inst ? inst->pSimInterface : nullptr;
}

void fatalName(VXR_DeviceInst* inst, const char* fmt, const char* name)
{
    char buf[VXR_MESSAGE_BUFFER_CHARS + 1];
    snprintf(buf, sizeof buf, fmt, VXR_nameOrNull(name));
    VXR_fatalUserError(simIfOf(inst), inst, buf);
}

// The assignment that sets row ix, or NULL when the map has none (or ix is
// not a row of the instance's table).
const VXR_ParamAssn* assignmentOf(VXR_DeviceInst* inst, int ix, const int* paramMap, const VXR_ParamAssn* given)
{
    if (!paramMap || !given || ix < 0)
        return nullptr;
    if (inst && inst->pModuleDescriptor && ix >= inst->pModuleDescriptor->numOfParams)
        return nullptr;
    const int j = paramMap[ix];
    return j < 0 ? nullptr : &given[j];
}

bool validRow(const VXR_DeviceInst* inst, int row)
{
    return inst && inst->pModuleDescriptor && row >= 0 && row < inst->pModuleDescriptor->numOfParams;
}

const char* rowName(const VXR_DeviceInst* inst, int row)
{
    return inst->pModuleDescriptor->paramDescArray[row].name;
}

} // namespace

extern "C" {

void VXR_fatalUserError(VXR_SimInterface* simIf, VXR_DeviceInst* inst, const char* text)
{
    VXR_Message(simIf, inst, nullptr, MessageTypeE_ERROR, text);
    if (simIf && simIf->pSystemRequest)
        simIf->pSystemRequest("exit", 1, inst, nullptr, simIf);
}

int VXR_paramCompare(const void* p1, const void* p2)
{
    const int c = strcmp(*static_cast<const char* const*>(p1), *static_cast<const char* const*>(p2));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int VXR_paramCompareIgnoreCase(const void* p1, const void* p2)
{
    const int c = strcasecmp(*static_cast<const char* const*>(p1), *static_cast<const char* const*>(p2));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

VXR_ParamDesc* VXR_getParamDesc(VXR_ModuleDescriptor* pModDesc, const char* paramName)
{
    if (!pModDesc || !paramName || !pModDesc->paramDescArray || pModDesc->numOfParams < 1)
        return nullptr;
    return static_cast<VXR_ParamDesc*>(bsearch(&paramName, pModDesc->paramDescArray,
                                               static_cast<size_t>(pModDesc->numOfParams), sizeof(VXR_ParamDesc),
                                               VXR_paramCompare));
}

void VXR_setupParamMap(VXR_DeviceInst* pInst, int numOfGivenParams, const VXR_ParamAssn* givenParams, int* paramMap)
{
    if (!pInst || !pInst->pModuleDescriptor || !paramMap)
        return;
    VXR_ModuleDescriptor* md = pInst->pModuleDescriptor;
    for (int k = 0; k < md->numOfParams; ++k)
        paramMap[k] = -1;
    if (!givenParams)
        return;
    for (int j = 0; j < numOfGivenParams; ++j) {
        const VXR_ParamDesc* row = VXR_getParamDesc(md, givenParams[j].assnName);
        if (!row) {
            fatalName(pInst, "Parameter '%s' not found.", givenParams[j].assnName);
            continue;
        }
        paramMap[row - md->paramDescArray] = j;
    }
}

double VXR_initRealParam(VXR_DeviceInst* pInst, int ix, int* paramMap, VXR_ParamAssn* givenParams)
{
    const VXR_ParamAssn* a = assignmentOf(pInst, ix, paramMap, givenParams);
    if (!a)
        return 0.0;
    switch (a->paramType) {
    case VXR_REAL_PARAM:
        return a->paramVal.dval;
    case VXR_INT_PARAM:
        return static_cast<double>(a->paramVal.ival);
    default:
        fatalName(pInst, "Invalid type for assignment to real parameter '%s'.", a->assnName);
        return 0.0;
    }
}

int VXR_initIntegerParam(VXR_DeviceInst* pInst, int ix, int* paramMap, VXR_ParamAssn* givenParams)
{
    const VXR_ParamAssn* a = assignmentOf(pInst, ix, paramMap, givenParams);
    if (!a)
        return 0;
    switch (a->paramType) {
    case VXR_INT_PARAM:
        return a->paramVal.ival;
    case VXR_REAL_PARAM:
        return VXR_roundToIntChecked(a->paramVal.dval);
    default:
        fatalName(pInst, "Invalid type int assignment to int parameter '%s'.", a->assnName);
        return 0;
    }
}

const char* VXR_initStringParam(VXR_DeviceInst* pInst, int ix, int* paramMap, VXR_ParamAssn* givenParams)
{
    const VXR_ParamAssn* a = assignmentOf(pInst, ix, paramMap, givenParams);
    if (!a)
        return nullptr;
    if (a->paramType != VXR_STRING_PARAM) {
        fatalName(pInst, "Invalid type in assignment to string parameter '%s'.", a->assnName);
        return nullptr;
    }
    if (!a->paramVal.strval)
        return nullptr;
    return VXR_strdup(a->paramVal.strval, simIfOf(pInst), pInst);
}

void VXR_initArrayParam(VXR_Array* pLhs, int ix, int* paramMap, VXR_ParamAssn* givenParams)
{
    if (!pLhs)
        return;
    VXR_DeviceInst* inst = pLhs->_pParent;
    const VXR_ParamAssn* a = assignmentOf(inst, ix, paramMap, givenParams);
    if (!a)
        return;
    if (a->paramType != VXR_ARRAY_OF_REAL_PARAM && a->paramType != VXR_ARRAY_OF_INT_PARAM) {
        char buf[VXR_MESSAGE_BUFFER_CHARS + 1];
        snprintf(buf, sizeof buf, "Invalid type in assignment to array parameter '%s'.", VXR_nameOrNull(a->assnName));
        VXR_fatalUserError(inst ? inst->pSimInterface : pLhs->_pSimInterface, inst, buf);
        return;
    }
    VXR_assignArray(pLhs, a->paramVal.pArrayVal);
}

char* VXR_charFromInt(int* p_int)
{
    *p_int = 0;
    return reinterpret_cast<char*>(p_int);
}

void VXR_reportAliasClash(const char* name, VXR_DeviceInst* pInst)
{
    fatalName(pInst, "Illegal attempt to set '%s' -- this parameter was previously set via a different alias.", name);
}

void VXR_reportLocalParamError(const char* name, VXR_DeviceInst* pInst)
{
    fatalName(pInst, "Attempt to explicitly set localparam '%s'.", name);
}

void VXR_processAliasSet(VXR_DeviceInst* pInst, int* paramMap, VXR_ParamAssn* givenParams, int setSize,
                         const int* aliasSet)
{
    if (setSize < 2 || !givenParams || !paramMap || !aliasSet || !validRow(pInst, aliasSet[0]))
        return;
    const int m = aliasSet[0];
    bool isSet = paramMap[m] >= 0;
    for (int i = 1; i < setSize; ++i) {
        const int a = aliasSet[i];
        if (!validRow(pInst, a) || paramMap[a] < 0)
            continue;
        if (isSet) {
            VXR_reportAliasClash(rowName(pInst, a), pInst);
        } else {
            paramMap[m] = paramMap[a];
            isSet = true;
        }
    }
}

#if VXR_REVISION == 187
void VXR_processMultAliasSet(VXR_DeviceInst* pInst, int* paramMap, VXR_ParamAssn* givenParams, int setSize,
                             const int* aliasSet)
{
    if (setSize < 2 || !givenParams || !paramMap || !aliasSet || !validRow(pInst, aliasSet[0]))
        return;
    const int m = aliasSet[0];
    int count = paramMap[m] >= 0 ? 1 : 0;
    for (int i = 1; i < setSize; ++i) {
        const int a = aliasSet[i];
        if (!validRow(pInst, a) || paramMap[a] < 0)
            continue;
        if (paramMap[a] >= paramMap[m])
            paramMap[m] = paramMap[a];
        ++count;
    }
    if (count >= 2) {
        char buf[VXR_MESSAGE_BUFFER_CHARS + 1];
        snprintf(buf, sizeof buf, "Multiple aliasparam assignments to '%s'.", VXR_nameOrNull(rowName(pInst, m)));
        VXR_Message(pInst->pSimInterface, pInst, nullptr, MessageTypeE_WARNING, buf);
    }
}
#endif

} // extern "C"

// ---- Setters by name ---------------------------------------------------------

namespace {

// The row of paramName, or NULL after the "not found" error.
const VXR_ParamDesc* findRowOrReport(VXR_DeviceInst* inst, const char* paramName)
{
    const VXR_ParamDesc* row = VXR_getParamDesc(inst->pModuleDescriptor, paramName);
    if (!row)
        fatalName(inst, "Parameter '%s' not found.", paramName);
    return row;
}

void modifyReal(VXR_DeviceInst* inst, int loc, double v, int* flag)
{
    VXR_ModuleDescriptor* md = inst->pModuleDescriptor;
    if (!md->pModifyRealParam)
        return;
#if VXR_REVISION == 187
    md->pModifyRealParam(inst, loc, v, flag);
#else
    md->pModifyRealParam(inst, loc, flag, v);
#endif
}

void modifyInt(VXR_DeviceInst* inst, int loc, int v, int* flag)
{
    VXR_ModuleDescriptor* md = inst->pModuleDescriptor;
    if (md->pModifyIntParam)
        md->pModifyIntParam(inst, loc, v, flag);
}

} // namespace

extern "C" {

void VXR_setParamToReal(VXR_DeviceInst* pInst, const char* paramName, double paramVal, int* pRangeViolation)
{
    if (!pInst)
        return;
    const VXR_ParamDesc* row = findRowOrReport(pInst, paramName);
    if (!row)
        return;
    if (row->paramType == VXR_REAL_PARAM) {
        modifyReal(pInst, row->paramLocation, paramVal, pRangeViolation);
    } else if (row->paramType == VXR_INT_PARAM) {
        char buf[VXR_MESSAGE_BUFFER_CHARS + 1];
        snprintf(buf, sizeof buf,
                 "Warning: Attempt to set '%s' (an integer parameter) to a real value. Rounding to nearest "
                 "integer will occur.",
                 paramName);
        VXR_Message(pInst->pSimInterface, nullptr, nullptr, MessageTypeE_WARNING, buf);
        modifyInt(pInst, row->paramLocation, VXR_roundToIntChecked(paramVal), pRangeViolation);
    } else {
        fatalName(pInst, "Error: Attempt to set parameter '%s' to real value.", paramName);
    }
}

void VXR_setParamToInt(VXR_DeviceInst* pInst, const char* paramName, int paramVal, int* pRangeViolation)
{
    if (!pInst)
        return;
    const VXR_ParamDesc* row = findRowOrReport(pInst, paramName);
    if (!row)
        return;
    if (row->paramType == VXR_INT_PARAM)
        modifyInt(pInst, row->paramLocation, paramVal, pRangeViolation);
    else if (row->paramType == VXR_REAL_PARAM)
        modifyReal(pInst, row->paramLocation, static_cast<double>(paramVal), pRangeViolation);
    else
        fatalName(pInst, "Error: Attempt to set parameter '%s' to integer value.", paramName);
}

void VXR_setParamToArray(VXR_DeviceInst* pInst, const char* paramName, VXR_Array* paramArray, int* pRangeViolation)
{
    if (!pInst)
        return;
    const VXR_ParamDesc* row = findRowOrReport(pInst, paramName);
    if (!row)
        return;
    VXR_ModuleDescriptor* md = pInst->pModuleDescriptor;
    if (!paramArray ||
        (row->paramType != VXR_ARRAY_OF_INT_PARAM && row->paramType != VXR_ARRAY_OF_REAL_PARAM)) {
        fatalName(pInst, "Attempt to set parameter '%s' to array value.", paramName);
    } else if (row->paramType == VXR_ARRAY_OF_INT_PARAM) {
        if (paramArray->_arrayType != VXR_INT_ARRAY)
            fatalName(pInst, "Attempt to assign real array to integer array '%s'.", paramName);
        else if (md->pModifyIntArrayParam)
            md->pModifyIntArrayParam(pInst, row->paramLocation, paramArray, pRangeViolation);
    } else {
        if (paramArray->_arrayType != VXR_REAL_ARRAY)
            fatalName(pInst, "Attempt to assign integer array to real array '%s'.", paramName);
        else if (md->pModifyRealArrayParam)
            md->pModifyRealArrayParam(pInst, row->paramLocation, paramArray, pRangeViolation);
    }
}

void VXR_setParamToString(VXR_DeviceInst* pInst, const char* paramName, const char* stringVal, int* pRangeViolation)
{
    if (!pInst)
        return;
    const VXR_ParamDesc* row = findRowOrReport(pInst, paramName);
    if (!row)
        return;
    if (row->paramType != VXR_STRING_PARAM) {
        fatalName(pInst, "Error: Attempt to set parameter '%s' to string value.", paramName);
        return;
    }
    VXR_ModuleDescriptor* md = pInst->pModuleDescriptor;
    if (md->pModifyStringParam)
        md->pModifyStringParam(pInst, row->paramLocation, stringVal, pRangeViolation);
}

} // extern "C"
