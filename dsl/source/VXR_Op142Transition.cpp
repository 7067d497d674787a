// Revision 1.42 transition and slew operators: branches whose waveform the
// host computes in an object of its own. The library makes the branch, loads
// -x and -1 into its row and hands the host object, the row's handle and the
// arguments to the loader; the host deposits the output, so x carries it.
// Saved states are host copies, known only by the kind at their head.
#include <cstdio>
#include <cstdlib>

#include "VXR_Op142.h"

#if VXR_REVISION == 142

namespace {

// What differs between the two operators: the host-table triple, the field
// holding the object, the saved state's kind and the restore check's text.
struct TransitionKind {
    using Op = VXR_OpBranch_transition;
    static void*& object(Op* pOp) { return pOp->_pTransitionState; }
    static void* create(VXR_SimInterface* s) { return s->pCreateTransitionSpec(s); }
    static void* copy(VXR_SimInterface* s, void* o) { return s->pCopyTransitionSpec(o); }
    static void release(VXR_SimInterface* s, void* o) { s->pFreeTransitionSpec(o); }
    static constexpr VXR_OperatorStateTypeE kState = VXR_TRANSITION_SPEC;
    static constexpr const char* kRestoreCheck =
        "pOpState && (((VXR_GenericOperatorState *)pOpState)->opStateType == VXR_TRANSITION_SPEC)";
};

struct SlewKind {
    using Op = VXR_OpBranch_slew;
    static void*& object(Op* pOp) { return pOp->_pSlewSpec; }
    static void* create(VXR_SimInterface* s) { return s->pCreateSlewSpec(s); }
    static void* copy(VXR_SimInterface* s, void* o) { return s->pCopySlewSpec(o); }
    static void release(VXR_SimInterface* s, void* o) { s->pFreeSlewSpec(o); }
    static constexpr VXR_OperatorStateTypeE kState = VXR_SLEW_SPEC;
    static constexpr const char* kRestoreCheck =
        "pOpState && (((VXR_GenericOperatorState *)pOpState)->opStateType == VXR_SLEW_SPEC)";
};

// The branch, its row and its host object: one body for both operators.
template <class K> struct HostBranch {
    using Op = typename K::Op;

    static VXR_SimInterface* host(Op* pOp) { return pOp->_pParent->pSimInterface; }

    static void initialise(Op* pOp, const char* name, VXR_DeviceInst* pParent) {
        pOp->_name = name;
        pOp->_pParent = pParent;
        pOp->_branchVar = nullptr;
        pOp->_rhsBranch = nullptr;
        pOp->_dbtJ_br_br = nullptr;
        K::object(pOp) = K::create(pParent->pSimInterface);
    }
    static void finalizeTopology(Op* pOp, void* cb) {
        VXR_assert142(pOp->_branchVar == nullptr, "pOp->_branchVar == 0", __LINE__);
        pOp->_branchVar = host(pOp)->pSetupNode(pOp->_name, pOp->_pParent, nullptr, cb);
    }
    static void setStamp(Op* pOp, void* cb) {
        VXR_SimInterface* s = host(pOp);
        pOp->_rhsBranch = s->pGetRhsPair(pOp->_branchVar, nullptr, LIN_DEP, pOp->_pParent, cb);
        pOp->_dbtJ_br_br =
            s->pGetDerivDoublet(pOp->_branchVar, pOp->_branchVar, nullptr, DC_ENTRY, LIN_DEP, pOp->_pParent, cb);
    }
    static void* derivDoublet(Op* pOp, VXR_StateVar* plus, VXR_StateVar* minus, VXR_StampTargetE target,
                              VXR_DepTypeE dep, void* cb) {
        return host(pOp)->pGetDerivDoublet(pOp->_branchVar, plus, minus, target, dep, pOp->_pParent, cb);
    }
    static void loadRHS(Op* pOp, VXR_ContribLoader* ldr) {
        double value = -ldr->pGetSol(pOp->_branchVar, ldr);
        ldr->pLoadRhsPair(1, &pOp->_rhsBranch, &value, ldr);
    }
    static void load(Op* pOp, VXR_ContribLoader* ldr) {
        loadRHS(pOp, ldr);
        double value = -1.0;
        ldr->pLoadDerivDoublet(1, &pOp->_dbtJ_br_br, &value, ldr);
    }
    static void* save(Op* pOp) { return K::copy(host(pOp), K::object(pOp)); }
    static void restore(Op* pOp, void* pOpState) {
        VXR_assert142(pOpState && static_cast<VXR_GenericOperatorState*>(pOpState)->opStateType == K::kState,
                      K::kRestoreCheck, __LINE__);
        VXR_SimInterface* s = host(pOp);
        K::release(s, K::object(pOp));
        K::object(pOp) = K::copy(s, pOpState);
    }
    static void reset(Op* pOp) {
        VXR_SimInterface* s = host(pOp);
        K::release(s, K::object(pOp));
        K::object(pOp) = K::create(s);
    }
    // Keyed by the branch, coefficient 1.0 whatever the caller gives.
    static void noise(VXR_NoiseSrc* pSrc, Op* pOp) { VXR_addColoredNoise(pSrc, pOp->_branchVar, 1.0, nullptr); }
};

using Transition = HostBranch<TransitionKind>;
using Slew = HostBranch<SlewKind>;

double getDefaultTransition(const VXR_OpBranch_transition* pOp, VXR_ContribLoader* ldr) {
    if (pOp && pOp->_defaultTransition > 0.0)
        return pOp->_defaultTransition;
    if (ldr && ldr->pGetMinTimeStep && ldr->pGetMinTimeStep(ldr) > 0.0)
        return 10.0 * ldr->pGetMinTimeStep(ldr);
    return 0.0;
}

} // namespace

extern "C" {

void VXR_assert142(int ok, const char* expression, int line) {
    if (ok)
        return;
    std::fprintf(stderr, "Assertion failed: %s, file VXR_SupportLib, line %d\n", expression, line);
    std::fflush(stderr);
    std::abort();
}

// ---- transition ------------------------------------------------------------------

VXR_OpBranch_transition* VXR_createOpBranch_transition(const char* name, VXR_DeviceInst* pParent,
                                                       double defaultTransition) {
    auto* pOp = allocOperatorRecord<VXR_OpBranch_transition>(pParent, name);
    if (!pOp)
        return nullptr;
    pOp->_defaultTransition = defaultTransition;
    Transition::initialise(pOp, name, pParent);
    return pOp;
}

void VXR_transitionFinalizeTopology(VXR_OpBranch_transition* pOp, void* pCallbackInfo) {
    Transition::finalizeTopology(pOp, pCallbackInfo);
}

void VXR_transitionSetStamp(VXR_OpBranch_transition* pOp, void* pCallbackInfo) {
    Transition::setStamp(pOp, pCallbackInfo);
}

void* VXR_getDerivDoubletOpBranch_transition(VXR_OpBranch_transition* pOp, VXR_StateVar* svRhsPlus,
                                             VXR_StateVar* svRhsMinus, VXR_StampTargetE target, VXR_DepTypeE dep,
                                             void* pCallbackInfo) {
    return Transition::derivDoublet(pOp, svRhsPlus, svRhsMinus, target, dep, pCallbackInfo);
}

void VXR_transitionSetArg(VXR_OpBranch_transition* pOp, double F, double delay, double riseTime, double fallTime,
                          double timeTol, VXR_ContribLoader* ldr) {
    // Not greater than 0: defaulted; a NaN passes unchanged.
    if (riseTime <= 0.0)
        riseTime = getDefaultTransition(pOp, ldr);
    if (fallTime <= 0.0)
        fallTime = getDefaultTransition(pOp, ldr);
    ldr->pLoadTransition(pOp->_pTransitionState, pOp->_rhsBranch, F, delay, riseTime, fallTime, timeTol, ldr);
}

void VXR_transitionSetArg_dwrt(VXR_OpBranch_transition* pOp, void* pDoublet, double dval, VXR_ContribLoader* ldr) {
    ldr->pLoadTransition_dwrt(pOp->_pTransitionState, pDoublet, dval, ldr);
}

void VXR_transitionGenericLoad(VXR_OpBranch_transition* pOp, VXR_ContribLoader* ldr) { Transition::load(pOp, ldr); }

void VXR_transitionGenericLoadRHS(VXR_OpBranch_transition* pOp, VXR_ContribLoader* ldr) {
    Transition::loadRHS(pOp, ldr);
}

void VXR_transitionAcceptTimePoint(VXR_OpBranch_transition* pOp, VXR_ContribLoader* ldr) {
    if (ldr->pAcceptTransition)
        ldr->pAcceptTransition(pOp->_pTransitionState, ldr);
}

VXR_StateVar* VXR_getBranchVar_transition(VXR_OpBranch_transition* pOp) { return pOp ? pOp->_branchVar : nullptr; }

void* VXR_transitionSaveState(VXR_OpBranch_transition* pOp) { return Transition::save(pOp); }

void VXR_transitionRestoreState(VXR_OpBranch_transition* pOp, void* pOpState) { Transition::restore(pOp, pOpState); }

void VXR_transitionReset(VXR_OpBranch_transition* pOp) { Transition::reset(pOp); }

void VXR_addNoiseForOp_transition(VXR_NoiseSrc* pSrc, VXR_OpBranch_transition* pOp, double /*coeff*/,
                                  VXR_ContribLoader* /*ldr*/) {
    Transition::noise(pSrc, pOp);
}

// ---- slew ------------------------------------------------------------------------

VXR_OpBranch_slew* VXR_createOpBranch_slew(const char* name, VXR_DeviceInst* pParent) {
    auto* pOp = allocOperatorRecord<VXR_OpBranch_slew>(pParent, name);
    if (!pOp)
        return nullptr;
    Slew::initialise(pOp, name, pParent);
    return pOp;
}

void VXR_slewFinalizeTopology(VXR_OpBranch_slew* pOp, void* pCallbackInfo) {
    Slew::finalizeTopology(pOp, pCallbackInfo);
}

void VXR_slewSetStamp(VXR_OpBranch_slew* pOp, void* pCallbackInfo) { Slew::setStamp(pOp, pCallbackInfo); }

void* VXR_getDerivDoubletOpBranch_slew(VXR_OpBranch_slew* pOp, VXR_StateVar* svRhsPlus, VXR_StateVar* svRhsMinus,
                                       VXR_StampTargetE target, VXR_DepTypeE dep, void* pCallbackInfo) {
    return Slew::derivDoublet(pOp, svRhsPlus, svRhsMinus, target, dep, pCallbackInfo);
}

VXR_StateVar* VXR_getBranchVar_slew(VXR_OpBranch_slew* pOp) { return pOp ? pOp->_branchVar : nullptr; }

// The rates pass unchanged: their meaning (signs, zero as no limit) is the host's.
void VXR_slewSetArg(VXR_OpBranch_slew* pOp, double F, double posSlew, double negSlew, VXR_ContribLoader* ldr) {
    ldr->pLoadSlew(pOp->_pSlewSpec, pOp->_rhsBranch, F, posSlew, negSlew, ldr);
}

void VXR_slewSlewArg_dwrt(VXR_OpBranch_slew* pOp, void* pDoublet, double dval, VXR_ContribLoader* ldr) {
    ldr->pLoadSlew_dwrt(pOp->_pSlewSpec, pDoublet, dval, ldr);
}

void VXR_slewGenericLoad(VXR_OpBranch_slew* pOp, VXR_ContribLoader* ldr) { Slew::load(pOp, ldr); }

void VXR_slewGenericLoadRHS(VXR_OpBranch_slew* pOp, VXR_ContribLoader* ldr) { Slew::loadRHS(pOp, ldr); }

void VXR_slewAcceptTimePoint(VXR_OpBranch_slew* pOp, VXR_ContribLoader* ldr) {
    if (ldr->pAcceptSlew)
        ldr->pAcceptSlew(pOp->_pSlewSpec, ldr);
}

void VXR_slewReset(VXR_OpBranch_slew* pOp) { Slew::reset(pOp); }

void* VXR_slewSaveState(VXR_OpBranch_slew* pOp) { return Slew::save(pOp); }

void VXR_slewRestoreState(VXR_OpBranch_slew* pOp, void* pOpState) { Slew::restore(pOp, pOpState); }

void VXR_addNoiseForOp_slew(VXR_NoiseSrc* pSrc, VXR_OpBranch_slew* pOp, double /*coeff*/,
                            VXR_ContribLoader* /*ldr*/) {
    Slew::noise(pSrc, pOp);
}

} // extern "C"

#endif // VXR_REVISION == 142
