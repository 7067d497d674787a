// Mixed-signal values: four-state logic comparisons, the D2A event record
// and the export of analog net values to the digital side.
#include "VXR_ParamsData.h"

#if VXR_REVISION == 187

extern "C" {

LogicNumber* VXR_initLogic(LogicNumber* p1, int size, int aVal, int bVal)
{
    if (p1) {
        p1->size = size;
        p1->aVal = aVal;
        p1->bVal = bVal;
    }
    return p1;
}

int VXR_compareLogic(const LogicNumber* p1, const LogicNumber* p2, CaseTypeE type)
{
    if (!p1 || !p2)
        return 0;
    const int size = p1->size > p2->size ? p1->size : p2->size;
    unsigned mask = (size >= 0 && size < 32) ? (1u << size) - 1u : ~0u;
    const unsigned a1 = static_cast<unsigned>(p1->aVal), b1 = static_cast<unsigned>(p1->bVal);
    const unsigned a2 = static_cast<unsigned>(p2->aVal), b2 = static_cast<unsigned>(p2->bVal);
    if (type == CASE_X)
        mask &= ~b1; // x and z bits of the first operand match anything
    else if (type == CASE_Z)
        mask &= (~b1 | a1) & (~b2 | a2); // z bits (a 0, b 1) of either operand match anything
    if ((a1 ^ a2) & mask)
        return 0;
    return ((b1 ^ b2) & mask) ? 0 : 1;
}

int VXR_compareLogInt(const LogicNumber* p1, int i2, CaseTypeE type)
{
    // An integer counts as 31 bits wide: its bit 31 takes part only against
    // operands of 32 bits or more.
    const LogicNumber n{31, i2, 0, 0};
    return VXR_compareLogic(p1, &n, type);
}

VXR_EventDesc* VXR_createSimEvent_D2A(VXR_DeviceInst* pParent)
{
    auto* ev = static_cast<VXR_EventDesc*>(
        VXR_malloc(sizeof(VXR_EventDesc), pParent ? pParent->pSimInterface : nullptr, pParent, nullptr));
    if (!ev)
        return nullptr;
    ev->name = nullptr;
    ev->pParent = pParent;
    ev->eventType = VXR_EVT_D2A;
    ev->pPrivateInfo = nullptr;
    return ev;
}

void VXR_ExportNet(int index, VXR_StateVar* pSV1, VXR_StateVar* pSV2, VXR_ContribLoader* pldr,
                   VXR_DeviceInst* pInst)
{
    if (!pldr || !pldr->pAMS || index < 0)
        return;
    AMS_ContribLoader* ams = pldr->pAMS;
    if (ams->pA2D_SMenv && ams->envFreqs) {
        const long long slot = static_cast<long long>(index) * ams->numEnvFreqs;
        if (ams->pGetEnvSol && slot >= 0 && slot <= INT_MAX)
            ams->pGetEnvSol(static_cast<int>(slot), pSV1, pSV2, pldr, pInst);
        return;
    }
    if (!ams->pA2D_SM)
        return;
    double v = 0.0;
    if (pSV1)
        v = pldr->pGetSol(pSV1, pldr, pInst);
    if (pSV2)
        v -= pldr->pGetSol(pSV2, pldr, pInst);
    ams->pA2D_SM[index] = v;
}

} // extern "C"

#endif // VXR_REVISION == 187
