// Integral operators idt and idtmod: one branch whose variable x carries the
// integral. Static analyses hold x at the initial condition; small-signal
// analyses and the plain transient form let the host integrate through the
// charge part of the row, d/dt(s x) = s F; the assert and modulus forms
// integrate by the trapezoidal rule here and load the result as a value.
#include <algorithm>
#include <cmath>
#include <cstdarg>

#include "VXR_SupportLib.h"
#include "VXR_Operators.h"

namespace {

// Loader members of the revision: 1.87 takes the instance last.
double solution(VXR_OpBranch_idt* op, VXR_ContribLoader* ldr) {
    return op->_branchVar ? ldr->pGetSol(op->_branchVar, ldr VXR_LDR_INST(op->_pParent)) : 0.0;
}
double timeOf([[maybe_unused]] VXR_OpBranch_idt* op, VXR_ContribLoader* ldr) {
    return ldr->pGetTime(ldr VXR_LDR_INST(op->_pParent));
}
unsigned long maskOf([[maybe_unused]] VXR_OpBranch_idt* op, VXR_ContribLoader* ldr) {
    return ldr->pGetAnalysisQueryMask(ldr VXR_LDR_INST(op->_pParent));
}
void loadValue(VXR_OpBranch_idt* op, double v, VXR_ContribLoader* ldr) {
    ldr->pLoadRhsPair(1, &op->_rhsBranch, &v, ldr VXR_LDR_INST(op->_pParent));
}
void loadDoublet([[maybe_unused]] VXR_OpBranch_idt* op, void* doublet, double v, VXR_ContribLoader* ldr) {
    ldr->pLoadDerivDoublet(1, &doublet, &v, ldr VXR_LDR_INST(op->_pParent));
}

// The row scale from the loader. Unlike the time derivative's, a non-positive
// default keeps the scale in use.
void refreshScale(VXR_OpBranch_idt* op, VXR_ContribLoader* ldr) {
    if (!ldr->pGetDefault)
        return;
    const double s = ldr->pGetDefault(VXR_IDT_SCALE, ldr VXR_LDR_INST(op->_pParent));
    if (s > 0.0)
        op->_branchScale = s;
}

// An initial-condition row that also loads the charge s x at time 0 (IC_LOAD)
// takes the scale the integrating passes after it will use: the host's
// integration history starts from that charge.
void loadInitialCondition(VXR_OpBranch_idt* op, double icVal, idtLoadTypeE type, VXR_ContribLoader* ldr) {
    if (type == IC_LOAD)
        refreshScale(op, ldr);
    loadValue(op, icVal, ldr);
    op->_loadType = type;
}

// The half step of the trapezoidal rule from the last accepted point; a time
// before that point integrates over nothing.
double halfStep(VXR_OpBranch_idt* op, VXR_ContribLoader* ldr) {
    return 0.5 * std::max(timeOf(op, ldr) - op->_prevTime, 0.0);
}

bool loadsStaticPart(idtLoadTypeE t) {
    return t == IC_LOAD || t == IC_LOAD_NO_Q || t == IDTMOD_IC_LOAD || t == MANUAL_IDT_LOAD ||
           t == IDTMOD_BRANCHLESS_LOAD;
}

// The charge part goes with the host-integrated forms, and with an
// initial-condition row at time 0 exactly, so that the host's integration
// history starts from s x there.
bool loadsChargePart(VXR_OpBranch_idt* op, VXR_ContribLoader* ldr) {
    switch (op->_loadType) {
    case NO_LOAD:
    case F_LOAD:
    case MOD_LOAD: return true;
    case IC_LOAD: return timeOf(op, ldr) == 0.0;
    default: return false;
    }
}

void genericLoad(VXR_OpBranch_idt* op, VXR_ContribLoader* ldr, bool withJacobian) {
    const double x = solution(op, ldr);
    if (loadsStaticPart(op->_loadType)) {
        loadValue(op, -x, ldr);
        if (withJacobian)
            loadDoublet(op, op->_dbtJ_br_br, -1.0, ldr);
    }
    if (loadsChargePart(op, ldr)) {
        [[maybe_unused]] VXR_DeviceInst* parent = op->_pParent;
        const double s = op->_branchScale;
        double rhsQ = -s * x;
        ldr->pLoadRhsPairQ(1, &op->_rhsBranchQ, &rhsQ, ldr VXR_LDR_INST(parent));
        if (withJacobian) {
            double jacQ = -s;
            ldr->pLoadDerivDoubletQ(1, &op->_dbtJ_br_br, &jacQ, ldr VXR_LDR_INST(parent));
        }
    }
}

} // namespace

extern "C" {

double getModValue(double v, double m, double o) {
    if (!(m > 0.0))
        return 0.0;
    if (o <= v && v < o + m)
        return v;
    double r = std::fmod(v - o, m);
    while (r < 0.0)
        r += m;
    return o + r;
}

VXR_OpBranch_idt* VXR_createOpBranch_idt(const char* name, VXR_DeviceInst* parent) {
    auto* op = allocOperatorRecord<VXR_OpBranch_idt>(parent, name);
    if (!op)
        return nullptr;
#if VXR_REVISION == 187
    parent->needPreAcceptLoad = 1; // the history is taken from a load at the accepted solution
#endif
    VXR_SimInterface* simIf = parent->pSimInterface;
    op->_name = name;
    op->_pParent = parent;
    op->_branchVar = nullptr;
    op->_rhsBranch = nullptr;
    op->_rhsBranchQ = nullptr;
    op->_dbtJ_br_br = nullptr;
    op->_prevVal = 0.0;
    op->_prevF = 0.0;
    op->_prevTime = -1.0;
    op->_loadType = NO_LOAD;
    op->_cacheF = 0.0;
    op->_branchScale = 1.0;
    op->_dcVal = 0.0;
    op->_cacheVal = 0.0;
    op->_brDerivCoeff = 1.0;
    op->_derivCoeff = 0.0;
    op->_modVal = 0.0;
    op->_offsetVal = 0.0;
    op->_staticMask = simIf->pFormAnalysisQueryMask(simIf, 1, "static");
    op->_ssMask = simIf->pFormAnalysisQueryMask(simIf, 2, "ac", "noise");
    op->_argCount = 0;
    op->_pArgArray = nullptr;
    return op;
}

void VXR_idtSetArgInfo(VXR_OpBranch_idt* op, int argCount, ...) {
    op->_argCount = 0;
    op->_pArgArray = nullptr;
    if (argCount <= 0)
        return;
    auto* args = static_cast<VXR_StateVar**>(VXR_calloc(static_cast<size_t>(argCount), sizeof(VXR_StateVar*),
                                                        op->_pParent->pSimInterface, op->_pParent, nullptr));
    if (!args)
        return; // reported; the node is made without argument information
    va_list ap;
    va_start(ap, argCount);
    for (int i = 0; i < argCount; ++i)
        args[i] = va_arg(ap, VXR_StateVar*);
    va_end(ap);
    op->_pArgArray = args;
    op->_argCount = argCount;
}

void VXR_idtFinalizeTopology(VXR_OpBranch_idt* op, void* pCallbackInfo) {
    VXR_DeviceInst* parent = op->_pParent;
    VXR_SimInterface* simIf = parent->pSimInterface;
    VXR_NodalInfo* info = nullptr;
    if (op->_pArgArray) {
        // Handed to the host, which owns it from here on.
        info = static_cast<VXR_NodalInfo*>(VXR_calloc(1, sizeof(VXR_NodalInfo), simIf, parent, nullptr));
        if (info) {
            info->nodeType = VXR_OPIDT;
            info->numOfArgVars = op->_argCount;
            info->pArgVars = op->_pArgArray;
        }
    }
    op->_branchVar = simIf->pSetupNode(op->_name, parent, info, pCallbackInfo);
}

void VXR_idtSetStamp(VXR_OpBranch_idt* op, void* pCallbackInfo) {
    VXR_DeviceInst* parent = op->_pParent;
    VXR_SimInterface* simIf = parent->pSimInterface;
    op->_rhsBranch = simIf->pGetRhsPair(op->_branchVar, nullptr, LIN_DEP, parent, pCallbackInfo);
    op->_rhsBranchQ = simIf->pGetRhsPairQ(op->_branchVar, nullptr, LIN_DEP, parent, pCallbackInfo);
    op->_dbtJ_br_br =
        simIf->pGetDerivDoublet(op->_branchVar, op->_branchVar, nullptr, GEN_ENTRY, LIN_DEP, parent, pCallbackInfo);
}

void* VXR_getDerivDoubletOpBranch_idt(VXR_OpBranch_idt* op, VXR_StateVar* svRhsPlus, VXR_StateVar* svRhsMinus,
                                      VXR_StampTargetE target, VXR_DepTypeE dep, void* pCallbackInfo) {
    return op->_pParent->pSimInterface->pGetDerivDoublet(op->_branchVar, svRhsPlus, svRhsMinus, target, dep,
                                                         op->_pParent, pCallbackInfo);
}

VXR_StateVar* VXR_getBranchVar_idt(VXR_OpBranch_idt* op) {
    return op ? op->_branchVar : nullptr;
}

void VXR_idtSetArg2(VXR_OpBranch_idt* op, double F, VXR_ContribLoader* ldr) {
    op->_cacheF = F;
    refreshScale(op, ldr);
    loadValue(op, op->_branchScale * F, ldr);
    op->_loadType = F_LOAD;
}

void VXR_idtSetArg3(VXR_OpBranch_idt* op, double F, double icVal, VXR_ContribLoader* ldr) {
    op->_cacheF = F;
    if (maskOf(op, ldr) & op->_staticMask) {
        loadInitialCondition(op, icVal, IC_LOAD, ldr);
        return;
    }
    VXR_idtSetArg2(op, F, ldr);
}

void VXR_idtSetArg4(VXR_OpBranch_idt* op, double F, double icVal, double assertVal, VXR_ContribLoader* ldr) {
    op->_cacheF = F;
    const unsigned long mask = maskOf(op, ldr);
    if (mask & op->_staticMask) {
        loadInitialCondition(op, icVal, IC_LOAD_NO_Q, ldr);
    } else if (assertVal != 0.0) { // NaN asserts as well
        loadInitialCondition(op, icVal, IC_LOAD, ldr);
    } else if (mask & op->_ssMask) {
        VXR_idtSetArg2(op, F, ldr);
    } else {
        const double v = op->_prevVal + halfStep(op, ldr) * (F + op->_prevF);
        loadValue(op, v, ldr);
        op->_loadType = MANUAL_IDT_LOAD;
        op->_cacheVal = v;
    }
}

void VXR_idtSetArgMod(VXR_OpBranch_idt* op, double F, double icVal, double modVal, double offsetVal, int sv_option,
                      VXR_ContribLoader* ldr) {
    op->_cacheF = F;
    const double time = timeOf(op, ldr);
    const unsigned long mask = maskOf(op, ldr);
    op->_brDerivCoeff = 1.0;
    op->_derivCoeff = 0.0;
    op->_modVal = modVal;
    op->_offsetVal = offsetVal;
    if ((mask & op->_ssMask) && !(mask & op->_staticMask)) {
        VXR_idtSetArg2(op, F, ldr);
        return;
    }
    if ((mask & op->_staticMask) || time <= 0.0) {
        loadInitialCondition(op, getModValue(icVal, modVal, offsetVal), sv_option == 0 ? IDTMOD_IC_LOAD : IC_LOAD,
                             ldr);
        return;
    }
    const double h = 0.5 * std::max(time - op->_prevTime, 0.0);
    const double d = h * (F + op->_prevF);
    const double v = op->_prevVal + d;
    [[maybe_unused]] VXR_DeviceInst* parent = op->_pParent;
    if (modVal > 0.0 && std::fabs(d) > 0.25 * modVal && ldr->pReportCrossViolation) {
        // The step wrapped too far in one go: ask for a step ending where the
        // integral would have moved about half a modulus.
        const double crossPoint = op->_prevTime + 0.945321 * 0.5 * modVal / std::fabs(F + op->_prevF);
        ldr->pReportCrossViolation(crossPoint, nullptr, 0, ldr VXR_LDR_INST(parent));
    }
    const double w = getModValue(v, modVal, offsetVal);
    if (sv_option == 0) {
        // No branch for the output: the row holds the time-0 value and the
        // output comes from _cacheVal.
        op->_cacheVal = w;
        op->_brDerivCoeff = 0.0;
        op->_derivCoeff = h;
        op->_loadType = IDTMOD_BRANCHLESS_LOAD;
        loadValue(op, op->_dcVal, ldr);
        return;
    }
#if VXR_REVISION == 187
    if (ldr->pRequestIntStep) {
        const double b = solution(op, ldr);
        VXR_idtSetArg2(op, F, ldr);
        op->_cacheVal = getModValue(b, modVal, offsetVal);
        op->_loadType = MOD_LOAD;
        return;
    }
#endif
    loadValue(op, w, ldr);
    op->_loadType = MANUAL_IDT_LOAD;
    op->_cacheVal = w;
}

void VXR_idtSetArg_dwrt(VXR_OpBranch_idt* op, void* pDoublet, double val, VXR_ContribLoader* ldr) {
    switch (op->_loadType) {
    case F_LOAD:
    case MOD_LOAD: loadDoublet(op, pDoublet, val * op->_branchScale, ldr); break;
    case MANUAL_IDT_LOAD: loadDoublet(op, pDoublet, halfStep(op, ldr) * val, ldr); break;
    default: break;
    }
}

void VXR_idtSetArgIC_dwrt(VXR_OpBranch_idt* op, void* pDoublet, double val, VXR_ContribLoader* ldr) {
    if (op->_loadType == IC_LOAD || op->_loadType == IC_LOAD_NO_Q || op->_loadType == IDTMOD_IC_LOAD)
        loadDoublet(op, pDoublet, val, ldr);
}

double VXR_IBR_idt(VXR_OpBranch_idt* op, VXR_ContribLoader* ldr) {
    if (!op)
        return 0.0;
    if (op->_loadType == MOD_LOAD || op->_loadType == IDTMOD_BRANCHLESS_LOAD)
        return op->_cacheVal;
    return solution(op, ldr);
}

void VXR_idtGenericLoad(VXR_OpBranch_idt* op, VXR_ContribLoader* ldr) { genericLoad(op, ldr, true); }
void VXR_idtGenericLoadRHS(VXR_OpBranch_idt* op, VXR_ContribLoader* ldr) { genericLoad(op, ldr, false); }

void VXR_idtAcceptTimePoint(VXR_OpBranch_idt* op, VXR_ContribLoader* ldr) {
    const double time = timeOf(op, ldr);
    const double value = (op->_loadType == MANUAL_IDT_LOAD || op->_loadType == IDTMOD_BRANCHLESS_LOAD)
                             ? op->_cacheVal
                             : solution(op, ldr);
#if VXR_REVISION == 187
    // MOD_LOAD is set only when the loader has the member.
    if (op->_modVal != 0.0 && op->_loadType == MOD_LOAD)
        ldr->pRequestIntStep(0.0, op->_modVal, op->_offsetVal, 1, 1, op->_branchVar, ldr, op->_pParent);
#endif
    op->_prevVal = value;
    op->_prevF = op->_cacheF;
    op->_prevTime = time;
    if (time == 0.0)
        op->_dcVal = value;
}

#if VXR_REVISION != 142
void serialize_idtState(VXR_GenericOperatorState* state, FILE* f, VXR_SrlzDirE* pDir) {
    auto* p = reinterpret_cast<idtState*>(state);
    VXR_serializeDouble("p->_prevVal", &p->_prevVal, f, pDir);
    VXR_serializeDouble("p->_prevF", &p->_prevF, f, pDir);
    VXR_serializeDouble("p->_prevTime", &p->_prevTime, f, pDir);
    VXR_serializeDouble("p->_cacheF", &p->_cacheF, f, pDir);
}
#endif

void* VXR_idtSaveState(VXR_OpBranch_idt* op) {
    auto* s = static_cast<idtState*>(
        VXR_calloc(1, sizeof(idtState), op->_pParent->pSimInterface, op->_pParent, op->_name));
    if (!s)
        return nullptr;
    s->_opState.opStateType = VXR_IDT_STATE;
#if VXR_REVISION != 142
    s->_opState.pSerializeSelf = serialize_idtState;
    s->_opState.pFreeSelf = nullptr; // freed as one block
#endif
    s->_prevVal = op->_prevVal;
    s->_prevF = op->_prevF;
    s->_prevTime = op->_prevTime;
    s->_loadType = op->_loadType;
    s->_cacheF = op->_cacheF;
    return s;
}

void VXR_idtRestoreState(VXR_OpBranch_idt* op, void* state) {
    // A failed save leaves no state: keep what the operator has.
    if (!state)
        return;
    const auto* s = static_cast<const idtState*>(state);
    op->_prevVal = s->_prevVal;
    op->_prevF = s->_prevF;
    op->_prevTime = s->_prevTime;
    op->_loadType = s->_loadType;
    op->_cacheF = s->_cacheF;
}

void VXR_idtReset(VXR_OpBranch_idt*) {}

void VXR_addNoiseForOp_idt(VXR_NoiseSrc* pSrc, VXR_OpBranch_idt* op, double /*coeff*/, VXR_ContribLoader* /*ldr*/) {
    VXR_addColoredNoise(pSrc, operatorNoiseKey(op->_rhsBranch, op->_branchVar), 1.0, nullptr);
}

#if VXR_REVISION != 142
void VXR_reportNoiseContribForOp_idt(VXR_OpBranch_idt* op, int noiseSrcNum, void* pCallbackInfo) {
    if (op)
        reportOperatorNoise(op->_pParent, noiseSrcNum, op->_rhsBranch, op->_branchVar, pCallbackInfo);
}

void VXR_destroyOpBranch_idt(VXR_OpBranch_idt* op) {
    if (!op)
        return;
    VXR_free(op->_pArgArray);
    VXR_free(op);
}
#endif

} // extern "C"
