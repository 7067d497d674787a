// Absolute-delay operator: a thin branch whose row carries y = F(t - delay).
// The library loads the row's static part -y; the host keeps the argument's
// history in its delay object and loads the delayed value (and its
// derivatives) into the row.
#include <cmath>
#include <cstdio>

#include "VXR_SupportLib.h"
#include "VXR_Operators.h"

namespace {

// Releases a host delay object: through its own header in 1.87 and 1.60,
// through the host table in 1.42 (whose header has no free member).
void releaseDelaySpec(VXR_OpBranch_delay* op) {
    void* spec = op->_pDelaySpec;
    op->_pDelaySpec = nullptr;
    if (!spec)
        return;
#if VXR_REVISION == 142
    VXR_SimInterface* simIf = op->_pParent->pSimInterface;
    if (simIf->pFreeDelaySpec)
        simIf->pFreeDelaySpec(spec);
#else
    auto* head = static_cast<VXR_GenericOperatorState*>(spec);
    if (head->pFreeSelf)
        head->pFreeSelf(head);
#endif
}

void* newDelaySpec(VXR_DeviceInst* parent) {
    VXR_SimInterface* simIf = parent->pSimInterface;
    return simIf->pCreateDelaySpec ? simIf->pCreateDelaySpec(simIf) : nullptr;
}

void delayFreqResponse(void* pOp, double omega, VXR_Cmplx* z) {
    const double x = omega * static_cast<VXR_OpBranch_delay*>(pOp)->_cacheDelay;
    z->real = std::cos(x);
    z->imag = -std::sin(x);
}

} // namespace

extern "C" {

VXR_OpBranch_delay* VXR_createOpBranch_delay(const char* name, VXR_DeviceInst* parent) {
    auto* op = allocOperatorRecord<VXR_OpBranch_delay>(parent, name);
    if (!op)
        return nullptr;
#if VXR_REVISION == 187
    parent->needPreAcceptLoad = 1; // the host records the argument of a load at the accepted solution
#endif
    op->_name = name;
    op->_pParent = parent;
    op->_branchVar = nullptr;
    op->_rhsBranch = nullptr;
    op->_rhsDelayEntry = nullptr;
    op->_dbtJ_br_br = nullptr;
    op->_cacheDelay = 0.0;
    op->_pFreqResponse = nullptr;
    op->_negDelayWarningGiven = 0;
    op->_pDelaySpec = newDelaySpec(parent);
    return op;
}

void VXR_delayFinalizeTopology(VXR_OpBranch_delay* op, void* pCallbackInfo) {
    VXR_DeviceInst* parent = op->_pParent;
    VXR_SimInterface* simIf = parent->pSimInterface;
    // Handed to the host, which owns it from here on.
    auto* info = static_cast<VXR_NodalInfo*>(VXR_calloc(1, sizeof(VXR_NodalInfo), simIf, parent, nullptr));
    if (info) {
        info->nodeType = VXR_OPDELAY;
        info->numOfArgVars = -1;
        info->pArgVars = nullptr;
    }
    op->_branchVar = simIf->pSetupNode(op->_name, parent, info, pCallbackInfo);
}

void VXR_delaySetStamp(VXR_OpBranch_delay* op, void* pCallbackInfo) {
    VXR_DeviceInst* parent = op->_pParent;
    VXR_SimInterface* simIf = parent->pSimInterface;
    op->_rhsBranch = simIf->pGetRhsPair(op->_branchVar, nullptr, LIN_DEP, parent, pCallbackInfo);
#if VXR_REVISION == 187
    op->_rhsDelayEntry = simIf->pGetRhsOpEntry(op->_branchVar, ABSDELAY_ENTRY, NONLIN_DEP, parent, pCallbackInfo);
#else
    // No operator-entry getter in these tables: the host loads the delayed
    // argument into the row's own RHS handle.
    op->_rhsDelayEntry = op->_rhsBranch;
#endif
    op->_dbtJ_br_br =
        simIf->pGetDerivDoublet(op->_branchVar, op->_branchVar, nullptr, DC_ENTRY, LIN_DEP, parent, pCallbackInfo);
}

void* VXR_getDerivDoubletOpBranch_delay(VXR_OpBranch_delay* op, VXR_StateVar* svRhsPlus, VXR_StateVar* svRhsMinus,
                                        VXR_StampTargetE /*target*/, VXR_DepTypeE dep, void* pCallbackInfo) {
    // The argument's derivatives always address the delay entry.
    return op->_pParent->pSimInterface->pGetDerivDoublet(op->_branchVar, svRhsPlus, svRhsMinus, ABSDELAY_ENTRY, dep,
                                                         op->_pParent, pCallbackInfo);
}

VXR_StateVar* VXR_getBranchVar_delay(VXR_OpBranch_delay* op) {
    return op ? op->_branchVar : nullptr;
}

void VXR_delaySetArg(VXR_OpBranch_delay* pOp, double F, double delay, double maxDelay, VXR_ContribLoader* ldr) {
    VXR_DeviceInst* parent = pOp->_pParent;
    if (delay < 0.0) { // NaN passes unchanged
        if (!pOp->_negDelayWarningGiven) {
            char text[256];
            std::snprintf(text, sizeof text,
                          "A negative delay (%e) was supplied to the absdelay operator.\nA zero-valued delay will be "
                          "used instead; future warnings will be suppressed.",
                          delay);
            VXR_Message(parent->pSimInterface, parent, nullptr, MessageTypeE_WARNING, text);
            pOp->_negDelayWarningGiven = 1;
        }
        delay = 0.0;
    }
    ldr->pLoadDelay(pOp->_pDelaySpec, pOp->_rhsDelayEntry, delay, maxDelay, F, ldr VXR_LDR_INST(parent));
    pOp->_cacheDelay = delay;
}

void VXR_delaySetArg_dwrt(VXR_OpBranch_delay* op, void* doublet, double dval, VXR_ContribLoader* ldr) {
    ldr->pLoadDelay_dwrt(op->_pDelaySpec, doublet, dval, ldr VXR_LDR_INST(op->_pParent));
}

void VXR_delayGenericLoadRHS(VXR_OpBranch_delay* op, VXR_ContribLoader* ldr) {
    [[maybe_unused]] VXR_DeviceInst* parent = op->_pParent;
    double value1 = -ldr->pGetSol(op->_branchVar, ldr VXR_LDR_INST(parent));
    ldr->pLoadRhsPair(1, &op->_rhsBranch, &value1, ldr VXR_LDR_INST(parent));
}

void VXR_delayGenericLoad(VXR_OpBranch_delay* op, VXR_ContribLoader* ldr) {
    VXR_delayGenericLoadRHS(op, ldr);
    double value2 = -1.0;
    ldr->pLoadDerivDoublet(1, &op->_dbtJ_br_br, &value2, ldr VXR_LDR_INST(op->_pParent));
}

void VXR_delayAcceptTimePoint(VXR_OpBranch_delay* op, VXR_ContribLoader* ldr) {
    ldr->pAcceptDelay(op->_pDelaySpec, ldr VXR_LDR_INST(op->_pParent));
}

void* VXR_delaySaveState(VXR_OpBranch_delay* op) {
    if (!op->_pDelaySpec)
        return nullptr;
    return op->_pParent->pSimInterface->pCopyDelaySpec(op->_pDelaySpec);
}

void VXR_delayRestoreState(VXR_OpBranch_delay* op, void* state) {
    // A failed save leaves no state: keep the present history.
    if (!state)
        return;
    releaseDelaySpec(op);
    op->_pDelaySpec = op->_pParent->pSimInterface->pCopyDelaySpec(state);
}

void VXR_delayReset(VXR_OpBranch_delay* op) {
    releaseDelaySpec(op);
    op->_pDelaySpec = newDelaySpec(op->_pParent);
    op->_cacheDelay = 0.0;
}

void VXR_addNoiseForOp_delay(VXR_NoiseSrc* pSrc, VXR_OpBranch_delay* op, double /*coeff*/,
                             VXR_ContribLoader* /*ldr*/) {
    if (!op->_pFreqResponse) {
        op->_pFreqResponse = allocFreqResponse(op, delayFreqResponse, pSrc->pParent);
        if (!op->_pFreqResponse)
            return; // reported by the allocator
    }
    VXR_addColoredNoise(pSrc, operatorNoiseKey(op->_rhsBranch, op->_branchVar), 1.0, op->_pFreqResponse);
}

#if VXR_REVISION != 142
void VXR_reportNoiseContribForOp_delay(VXR_OpBranch_delay* op, int noiseSrcNum, void* pCallbackInfo) {
    if (op)
        reportOperatorNoise(op->_pParent, noiseSrcNum, op->_rhsBranch, op->_branchVar, pCallbackInfo);
}

void VXR_destroyOpBranch_delay(VXR_OpBranch_delay* op) {
    if (!op)
        return;
    releaseDelaySpec(op);
    VXR_free(op->_pFreqResponse);
    VXR_free(op);
}
#endif

} // extern "C"
