// Time-derivative operator branch: the branch variable x of the row
// s * dQ/dt - x = 0 carries the scaled time derivative of the argument Q.
#include "VXR_SupportLib.h"
#include "VXR_Operators.h"

namespace {

void ddtFreqResponse(void* /*op*/, double omega, VXR_Cmplx* z) {
    z->real = 0.0;
    z->imag = omega;
}

} // namespace

extern "C" {

constinit VXR_FreqResponse ddtTransferFunc = {nullptr, ddtFreqResponse};

VXR_FreqResponse* allocFreqResponse(void* op, VXR_FreqResponseFn fn, VXR_DeviceInst* inst) {
    VXR_SimInterface* simIf = inst ? inst->pSimInterface : nullptr;
    VXR_FreqResponse* r;
    if constexpr (VXR_REVISION == 187)
        r = static_cast<VXR_FreqResponse*>(VXR_calloc(1, sizeof(VXR_FreqResponse), simIf, inst, nullptr));
    else
        r = static_cast<VXR_FreqResponse*>(VXR_malloc(sizeof(VXR_FreqResponse), simIf, inst, nullptr));
    if (r) {
        r->pOp = op;
        r->pGetFreqResponse = fn;
    }
    return r;
}

VXR_OpBranch_ddt* VXR_createOpBranch_ddt(const char* name, VXR_DeviceInst* parent) {
    auto* op = allocOperatorRecord<VXR_OpBranch_ddt>(parent, name);
    if (!op)
        return nullptr;
    op->_name = name;
    op->_pParent = parent;
    op->_branchVar = nullptr;
    op->_rhsBranch = nullptr;
    op->_rhsBranchQ = nullptr;
    op->_dbtJ_br_br = nullptr;
    op->_rowScale = 1.0;
    op->_pFreqResponse = nullptr;
    return op;
}

void VXR_ddtFinalizeTopology(VXR_OpBranch_ddt* op, void* pCallbackInfo) {
    op->_branchVar = op->_pParent->pSimInterface->pSetupNode(op->_name, op->_pParent, nullptr, pCallbackInfo);
}

void VXR_ddtSetStamp(VXR_OpBranch_ddt* op, void* pCallbackInfo) {
    VXR_SimInterface* simIf = op->_pParent->pSimInterface;
    op->_rhsBranch = simIf->pGetRhsPair(op->_branchVar, nullptr, LIN_DEP, op->_pParent, pCallbackInfo);
    op->_rhsBranchQ = simIf->pGetRhsPairQ(op->_branchVar, nullptr, LIN_DEP, op->_pParent, pCallbackInfo);
    op->_dbtJ_br_br = simIf->pGetDerivDoublet(op->_branchVar, op->_branchVar, nullptr, DC_ENTRY, LIN_DEP,
                                              op->_pParent, pCallbackInfo);
}

void* VXR_getDerivDoubletOpBranch_ddt(VXR_OpBranch_ddt* op, VXR_StateVar* svRhsPlus, VXR_StateVar* svRhsMinus,
                                      VXR_StampTargetE target, VXR_DepTypeE dep, void* pCallbackInfo) {
    return op->_pParent->pSimInterface->pGetDerivDoublet(op->_branchVar, svRhsPlus, svRhsMinus, target, dep,
                                                         op->_pParent, pCallbackInfo);
}

VXR_StateVar* VXR_getBranchVar_ddt(VXR_OpBranch_ddt* op) {
    return op ? op->_branchVar : nullptr;
}

void VXR_OpBranch_ddt_setArg(VXR_OpBranch_ddt* op, double Q, VXR_ContribLoader* ldr) {
    if (ldr->pGetDefault) {
        double s = ldr->pGetDefault(VXR_BRANCHDDT_SCALE, ldr VXR_LDR_INST(op->_pParent));
        // Zero, negative or NaN: the built-in scale.
        op->_rowScale = (s > 0.0) ? s : 1.0;
    }
    double value = op->_rowScale * Q;
    ldr->pLoadRhsPairQ(1, &op->_rhsBranchQ, &value, ldr VXR_LDR_INST(op->_pParent));
}

void VXR_OpBranch_ddt_setArg_dwrt(VXR_OpBranch_ddt* op, void* doublet, double dval, VXR_ContribLoader* ldr) {
    double value = dval * op->_rowScale;
    ldr->pLoadDerivDoubletQ(1, &doublet, &value, ldr VXR_LDR_INST(op->_pParent));
}

void VXR_ddtGenericLoadRHS(VXR_OpBranch_ddt* op, VXR_ContribLoader* ldr) {
    double value1 = -ldr->pGetSol(op->_branchVar, ldr VXR_LDR_INST(op->_pParent));
    ldr->pLoadRhsPair(1, &op->_rhsBranch, &value1, ldr VXR_LDR_INST(op->_pParent));
}

void VXR_ddtGenericLoad(VXR_OpBranch_ddt* op, VXR_ContribLoader* ldr) {
    VXR_ddtGenericLoadRHS(op, ldr);
    double value2 = -1.0;
    ldr->pLoadDerivDoublet(1, &op->_dbtJ_br_br, &value2, ldr VXR_LDR_INST(op->_pParent));
}

// The operator keeps no history.
void VXR_ddtAcceptTimePoint(VXR_OpBranch_ddt*, VXR_ContribLoader*) {}
void* VXR_ddtSaveState(VXR_OpBranch_ddt*) { return nullptr; }
void VXR_ddtRestoreState(VXR_OpBranch_ddt*, void*) {}
void VXR_ddtReset(VXR_OpBranch_ddt*) {}

void VXR_addNoiseForOp_ddt(VXR_NoiseSrc* pSrc, VXR_OpBranch_ddt* op, double /*coeff*/, VXR_ContribLoader* /*ldr*/) {
    if (!op->_pFreqResponse) {
        op->_pFreqResponse = allocFreqResponse(op, ddtFreqResponse, pSrc->pParent);
        if (!op->_pFreqResponse)
            return; // reported by the allocator
    }
    // 1.87 keys the contribution by the row's RHS handle with the row scale;
    // the older revisions by the branch variable with 1.0.
    VXR_addColoredNoise(pSrc, operatorNoiseKey(op->_rhsBranch, op->_branchVar),
                        VXR_REVISION == 187 ? op->_rowScale : 1.0, op->_pFreqResponse);
}

#if VXR_REVISION != 142
void reportOperatorNoise(VXR_DeviceInst* parent, int noiseSrcNum, void* rhsBranch, VXR_StateVar* branchVar,
                         void* pCallbackInfo) {
    VXR_SimInterface* simIf = parent->pSimInterface;
    if (!simIf->pReportNoiseContrib)
        return;
#if VXR_REVISION == 187
    (void)branchVar;
    simIf->pReportNoiseContrib(noiseSrcNum, rhsBranch, parent, pCallbackInfo);
#else
    (void)rhsBranch;
    simIf->pReportNoiseContrib(noiseSrcNum, branchVar, nullptr, parent, pCallbackInfo);
#endif
}

void VXR_reportNoiseContribForOp_ddt(VXR_OpBranch_ddt* op, int noiseSrcNum, void* pCallbackInfo) {
    if (op)
        reportOperatorNoise(op->_pParent, noiseSrcNum, op->_rhsBranch, op->_branchVar, pCallbackInfo);
}

void VXR_destroyOpBranch_ddt(VXR_OpBranch_ddt* op) {
    if (!op)
        return;
    VXR_free(op->_pFreqResponse);
    VXR_free(op);
}
#endif

} // extern "C"
