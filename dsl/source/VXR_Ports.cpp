// Terminal binding and port checks.
#include <stdio.h>
#include <string.h>

#include "VXR_ParamsData.h"

namespace {

bool isMarker(const VXR_StateVar* sv)
{
    return sv == UNCONNECTED_SV || sv == VXR_NO_NODE_SV;
}

} // namespace

extern "C" {

void VXR_reportPortMismatch(int numOfGivenPorts, int numOfPorts, VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst)
{
    char buf[VXR_MESSAGE_BUFFER_CHARS + 1];
    if constexpr (VXR_REVISION == 187)
        snprintf(buf, sizeof buf, "Expected %d ports; received at least %d ports instead.", numOfPorts, numOfGivenPorts);
    else
        snprintf(buf, sizeof buf, "Expected %d ports; received %d ports instead.", numOfPorts, numOfGivenPorts);
    VXR_fatalUserError(pSimInterface, pInst, buf);
}

static void formatWidthText(char* buf, size_t len, const char* portName, int givenWidth, int portWidth)
{
    const char* name = VXR_nameOrNull(portName);
    if (portWidth == 0)
        snprintf(buf, len, "Scalar terminal '%s' received a vector.", name);
    else if (givenWidth == 0)
        snprintf(buf, len, "Vector terminal '%s' received a scalar.", name);
    else
        snprintf(buf, len, "Vector terminal '%s' expected width of %d, received %d instead.", name, portWidth,
                 givenWidth);
}

#if VXR_REVISION == 187
void VXR_reportWidthMismatch(const char* portName, int givenWidth, int portWidth, VXR_StateVar** ppSV,
                             VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst)
{
    if (givenWidth == -1) {
        if (ppSV)
            *ppSV = UNCONNECTED_SV;
        return;
    }
    char buf[VXR_MESSAGE_BUFFER_CHARS + 1];
    formatWidthText(buf, sizeof buf, portName, givenWidth, portWidth);
    VXR_Message(pSimInterface, pInst, nullptr, MessageTypeE_WARNING, buf);
    VXR_Message(pSimInterface, nullptr, nullptr, MessageTypeE_WARNING, "\n");
}
#else
void VXR_reportWidthMismatch(const char* portName, int givenWidth, int portWidth, VXR_SimInterface* pSimInterface,
                             VXR_DeviceInst* pInst)
{
    char buf[VXR_MESSAGE_BUFFER_CHARS + 1];
    formatWidthText(buf, sizeof buf, portName, givenWidth, portWidth);
    VXR_fatalUserError(pSimInterface, pInst, buf);
}
#endif

void VXR_reportInstanceArrayError(const char* portName, int givenWidth, int portWidth, int range,
                                  VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst)
{
    char buf[VXR_MESSAGE_BUFFER_CHARS + 1];
    const char* name = VXR_nameOrNull(portName);
    if (portWidth != 0)
        snprintf(buf, sizeof buf,
                 "Instance array has '%d' elements but vector port '%s' with size '%d' received a vector with '%d' "
                 "elements.",
                 range, name, portWidth, givenWidth);
    else
        snprintf(buf, sizeof buf,
                 "Instance array has '%d' elements but scalar port '%s' received a vector with '%d' elements.", range,
                 name, givenWidth);
    VXR_fatalUserError(pSimInterface, pInst, buf);
}

void VXR_AssignScalarPort(VXR_DeviceInst* pInst, const char* name, int id, VXR_StateVar** termArray,
                          int (*termWidth)[3], int port, int numOfTerms, int* pTrm, int index, int range)
{
    if (!pInst || !pInst->pPorts || id < 0 || id >= pInst->numOfPorts || !pTrm)
        return;
    VXR_StateVar** slot = &pInst->pPorts[id];
    const int cursor = *pTrm;
    // Once the given terminals are used up, every further port is unconnected;
    // neither the terminal array nor the width records are read past them.
    if (!termArray || cursor < 0 || cursor >= numOfTerms) {
        *slot = UNCONNECTED_SV;
        return;
    }
    if (termWidth && port >= 0 && port < numOfTerms) {
        const int w = termWidth[port][0];
        if (range > 0 && w != 0) {
            if (w != range) {
                VXR_reportInstanceArrayError(name, w, 0, range, pInst->pSimInterface, pInst);
            } else {
                VXR_StateVar** vec = reinterpret_cast<VXR_StateVar**>(termArray[cursor]);
                *slot = (vec && index >= 0 && index < w) ? vec[index] : UNCONNECTED_SV;
            }
            *pTrm = cursor + 1;
            return;
        }
        if (w != 0) {
#if VXR_REVISION == 187
            VXR_reportWidthMismatch(name, w, 0, &termArray[cursor], pInst->pSimInterface, pInst);
#else
            VXR_reportWidthMismatch(name, w, 0, pInst->pSimInterface, pInst);
#endif
        }
    }
    *slot = termArray[cursor];
    *pTrm = cursor + 1;
}

int VXR_svPosMatch(VXR_StateVar* pSV1, VXR_StateVar* pSV2)
{
    if (!pSV1 || !pSV2)
        return (!pSV1 && !pSV2) ? 1 : 0;
    if (isMarker(pSV1) || isMarker(pSV2))
        return pSV1 == pSV2 ? 1 : 0;
    return (pSV1->pos == pSV2->pos && pSV1->pParent == pSV2->pParent) ? 1 : 0;
}

#if VXR_REVISION == 187
int getSV_SizePtr(VXR_DeviceInst* pInst, int term, int* pSize, VXR_StateVar*** pppSV)
{
    const VXR_ModuleDescriptor* md = pInst->pModuleDescriptor;
    const int ix = md->terminalIndices ? md->terminalIndices[term] : -1 - term;
    if (ix > 0) {
        const int v = ix - 1;
        if (v >= pInst->numOfVectors || !pInst->pVectors)
            return 0;
        const VXR_Vector* vec = &pInst->pVectors[v];
        *pSize = static_cast<int>(VXR_boundPairCount(vec->L, vec->R));
        *pppSV = vec->pSVs;
        return 1;
    }
    if (ix < 0) {
        const int p = -1 - ix;
        if (p >= pInst->numOfPorts || !pInst->pPorts)
            return 0;
        *pSize = 1;
        *pppSV = &pInst->pPorts[p];
    }
    return 0;
}
#endif

} // extern "C"
