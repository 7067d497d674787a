// Slew operator computed in the library: the output follows the input, but
// moves from its value at the last accepted point no faster than the given
// rising and falling rates.
#include <cmath>

#include "VXR_Operators.h"
#include "VXR_SupportLib.h"

#if VXR_REVISION != 142

namespace {

VXR_SlewSpec* specOf(VXR_OpBranch_slew* op) { return static_cast<VXR_SlewSpec*>(op->_pSlewSpec); }

// Time since the last accepted point. 1.87 floors it at 1e-15 t so that a
// pass at the accepted time itself sees a finite rate; 1.60 does not.
double stepSince(const VXR_SlewSpec* p, double t) {
    const double h = t - p->_prevTime;
    if constexpr (VXR_REVISION == 187)
        return std::fmax(h, 1e-15 * t);
    else
        return h;
}

} // namespace

extern "C" {

VXR_SlewSpec* createSlewSpec(VXR_SimInterface* simIf) {
    auto* p = static_cast<VXR_SlewSpec*>(VXR_calloc(1, sizeof(VXR_SlewSpec), simIf, nullptr, nullptr));
    if (!p) return nullptr;
    p->_opState.opStateType = VXR_SLEW_SPEC;
    p->_opState.pSerializeSelf = serializeSlewSpec;
    p->_opState.pFreeSelf = freeSlewSpec;
    p->_prevTime = -1.0;
    p->_pSimInterface = simIf;
    return p;
}

VXR_SlewSpec* copySlewSpec(const VXR_SlewSpec* src) {
    if (!src) return nullptr;
    auto* p = static_cast<VXR_SlewSpec*>(VXR_calloc(1, sizeof(VXR_SlewSpec), src->_pSimInterface, nullptr, nullptr));
    if (p) *p = *src;
    return p;
}

void freeSlewSpec(VXR_GenericOperatorState* state) { VXR_free(state); }

void serializeSlewSpec(VXR_GenericOperatorState* state, FILE* f, VXR_SrlzDirE* pDir) {
    auto* p = reinterpret_cast<VXR_SlewSpec*>(state);
    VXR_serializeDouble("p->_prevTime", &p->_prevTime, f, pDir);
    VXR_serializeDouble("p->_prevExprVal", &p->_prevExprVal, f, pDir);
    VXR_serializeDouble("p->_cacheTime", &p->_cacheTime, f, pDir);
    VXR_serializeDouble("p->_cacheExprVal", &p->_cacheExprVal, f, pDir);
    VXR_serializeDouble("p->_cacheDerivCoeff", &p->_cacheDerivCoeff, f, pDir);
}

VXR_OpBranch_slew* VXR_createOpBranch_slew(const char* name, VXR_DeviceInst* parent) {
    VXR_SimInterface* simIf = parent->pSimInterface;
    auto* op = static_cast<VXR_OpBranch_slew*>(VXR_calloc(1, sizeof(VXR_OpBranch_slew), simIf, parent, name));
    if (!op) return nullptr;
    op->_name = name;
    op->_pParent = parent;
    op->_pSlewSpec = createSlewSpec(simIf);
    return op;
}

void VXR_slewSetArg(VXR_OpBranch_slew* pOp, double F, double posSlew, double negSlew, VXR_ContribLoader* ldr) {
    VXR_SlewSpec* p = specOf(pOp);
    const double t = ldr && ldr->pGetTime ? ldr->pGetTime(ldr VXR_LDR_INST(pOp->_pParent)) : 0.0;
    double y = F;
    double coeff = 1.0;
    if (p && t > 0.0) {
        const double P = p->_prevExprVal;
        const double dx = F - P;
        const double h = stepSince(p, t);
        const double rate = dx / h;
        // A rising bound that is not positive, or a falling one that is not
        // negative, leaves that direction unlimited.
        const double sPos = posSlew > 0.0 ? posSlew : 0.0;
        const double sNeg = negSlew < 0.0 ? negSlew : 0.0;
        if (dx > 0.0 && rate > sPos && sPos > 0.0) {
            y = P + sPos * h;
            coeff = 0.0;
        } else if (dx < 0.0 && rate < sNeg && sNeg < 0.0) {
            y = P + sNeg * h;
            coeff = 0.0;
        }
    }
    if (p) {
        p->_cacheTime = t > 0.0 ? t : 0.0;
        p->_cacheExprVal = y;
        p->_cacheDerivCoeff = coeff;
    }
    pOp->_val = y;
    pOp->_derivCoeff = coeff;
}

void VXR_slewAcceptTimePoint(VXR_OpBranch_slew* op, VXR_ContribLoader*) {
    if (VXR_SlewSpec* p = specOf(op)) {
        p->_prevTime = p->_cacheTime;
        p->_prevExprVal = p->_cacheExprVal;
    }
}

void* VXR_slewSaveState(VXR_OpBranch_slew* op) { return copySlewSpec(specOf(op)); }

void VXR_slewRestoreState(VXR_OpBranch_slew* op, void* state) {
    if (!state) return;
    VXR_SlewSpec* copy = copySlewSpec(static_cast<const VXR_SlewSpec*>(state));
    if (!copy) return; // reported; the present history stays
    VXR_free(op->_pSlewSpec);
    op->_pSlewSpec = copy;
}

void VXR_slewReset(VXR_OpBranch_slew* op) {
    VXR_free(op->_pSlewSpec);
    op->_pSlewSpec = createSlewSpec(op->_pParent->pSimInterface);
}

void VXR_destroyOpBranch_slew(VXR_OpBranch_slew* op) {
    if (!op) return;
    VXR_free(op->_pSlewSpec);
    VXR_free(op);
}

void VXR_slewFinalizeTopology(VXR_OpBranch_slew*, void*) {}
void VXR_slewSetStamp(VXR_OpBranch_slew*, void*) {}
void VXR_slewGenericLoad(VXR_OpBranch_slew*, VXR_ContribLoader*) {}
void VXR_slewGenericLoadRHS(VXR_OpBranch_slew*, VXR_ContribLoader*) {}
void VXR_reportNoiseContribForOp_slew(VXR_OpBranch_slew*, int, void*) {}
void VXR_addNoiseForOp_slew(VXR_NoiseSrc*, VXR_OpBranch_slew*, double, VXR_ContribLoader*) {}

} // extern "C"

#endif
