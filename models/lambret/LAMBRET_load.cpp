// LAMBRET loads and device state. The network equations are written once,
// over a scalar type: plain double for the right-hand-side load, and a
// forward-mode dual number carrying the partials with respect to every
// solution unknown for the full load, whose Jacobian entries are read off
// those partials.
#include <cmath>
#include <type_traits>

#include "LAMBRET_module.h"
#include "vxr_dual.h"

using namespace lambret;

namespace {

// Value with its partials with respect to the solution unknowns.
using Dual = vxr::Dual<kNumUnknowns, 187>;
using vxr::value_of;

constexpr double kRmin = 1e-12;

template <class T> struct Contributions {
    T rhs[kNumRhs] = {};
    T rhsQ[kNumRhsQ] = {};
};

// Reads a state variable; no state variable (or a marker) reads 0.0.
double readSol(VXR_StateVar* sv, VXR_ContribLoader* ldr, VXR_DeviceInst* inst) {
    if (!sv || sv == UNCONNECTED_SV || sv == VXR_NO_NODE_SV) return 0.0;
    return ldr->pGetSol(sv, ldr, inst);
}

template <class T> void readUnknowns(VXR_DeviceInst* inst, VXR_ContribLoader* ldr, T (&x)[kNumUnknowns]) {
    for (int u = 0; u < kNumUnknowns; ++u) {
        const double v = readSol(lambretStateVar(inst, u), ldr, inst);
        if constexpr (std::is_same_v<T, Dual>)
            x[u] = Dual::seed(v, u);
        else
            x[u] = v;
    }
}

bool isDuplicate(const PrivateData__module1* pd, int flag) { return pd->dupBranch && pd->dupBranch[flag]; }

// The network: module variables, element contributions, branch coupling.
template <class T> void evaluate(PrivateData__module1* pd, const T (&x)[kNumUnknowns], Contributions<T>& c) {
    const double* p = pd->realParams;
    const T vExtBulkint = x[U_EXT] - x[U_BULKINT];
    const T vBulkintBulk = x[U_BULKINT] - x[U_BULK];
    const T vN3Int = x[U_N3] - x[U_INT];
    const T vN2Int = x[U_N2] - x[U_INT];
    const T vN1Int = x[U_N1] - x[U_INT];
    const T iExtN3 = x[U_B3];
    const T iN3N2 = x[U_B2];
    const T iN2N1 = x[U_B1];

    double* mv = pd->moduleVars;
    mv[V_EXT_BULKINT] = value_of(vExtBulkint);
    mv[V_BULKINT_BULK] = value_of(vBulkintBulk);
    mv[V_N3_INT] = value_of(vN3Int);
    mv[V_N2_INT] = value_of(vN2Int);
    mv[V_N1_INT] = value_of(vN1Int);
    mv[I_EXT_N3] = value_of(iExtN3);
    mv[I_N3_N2] = value_of(iN3N2);
    mv[I_N2_N1] = value_of(iN2N1);

    const double cpad = p[LOC_CPAD], rpadsub = p[LOC_RPADSUB];
    const double lpad1 = p[LOC_LPAD1], lpad2 = p[LOC_LPAD2], lpad3 = p[LOC_LPAD3];
    const double rpad1 = p[LOC_RPAD1], rpad2 = p[LOC_RPAD2], rpad3 = p[LOC_RPAD3];

    // Pad capacitance and substrate resistance.
    c.rhs[0] += 0.0 * cpad;
    c.rhsQ[0] += vExtBulkint * cpad;
    c.rhs[1] += vBulkintBulk / rpadsub;
    // Inductive sections (flux in the charge part, RMIN in series) and taps.
    c.rhs[2] += 0.0 * lpad3 + kRmin * iExtN3;
    c.rhsQ[1] += iExtN3 * lpad3;
    c.rhs[3] += vN3Int / rpad3;
    c.rhs[4] += 0.0 * lpad2 + kRmin * iN3N2;
    c.rhsQ[2] += iN3N2 * lpad2;
    c.rhs[5] += vN2Int / rpad2;
    c.rhs[6] += 0.0 * lpad1 + kRmin * iN2N1;
    c.rhsQ[3] += iN2N1 * lpad1;
    c.rhs[7] += vN1Int / rpad1;

    // Branch coupling; a duplicate branch keeps only its own row terms.
    if (!isDuplicate(pd, DUP_B3)) {
        c.rhs[8] += x[U_B3];
        c.rhs[2] -= x[U_EXT] - x[U_N3];
    }
    if (!isDuplicate(pd, DUP_B1)) {
        c.rhs[9] += x[U_B1];
        c.rhs[6] -= x[U_N2] - x[U_N1];
    }
    if (!isDuplicate(pd, DUP_B2)) {
        c.rhs[10] += x[U_B2];
        c.rhs[4] -= x[U_N3] - x[U_N2];
    }
}

// Jacobian entry k = partial of RHS (or RHSQ) row `row` with respect to `wrt`
// (for a pair (c1, c2): with respect to v(c1), the pair's positive side).
struct JacobianSource {
    int row;
    int wrt;
};
constexpr JacobianSource kJac[kNumJac] = {
    {1, U_BULKINT}, {2, U_B3}, {3, U_N3}, {4, U_B2}, {5, U_N2}, {6, U_B1}, {7, U_N1},
    {8, U_B3},      {2, U_EXT}, {9, U_B1}, {6, U_N2}, {10, U_B2}, {4, U_N3},
};
constexpr JacobianSource kJacQ[kNumJacQ] = {{0, U_EXT}, {1, U_B3}, {2, U_B2}, {3, U_B1}};

// Load steps shared by both loads up to the contributions.
template <class T> void prepare(VXR_DeviceInst* inst, VXR_ContribLoader* ldr, Contributions<T>& c) {
    PrivateData__module1* pd = lambretPrivate(inst);
    if (inst->pTimeStepRequests && ldr->pInitTimeControlData) ldr->pInitTimeControlData(inst->pTimeStepRequests);
    inst->needAnalogInitialLoad = 0;
    VXR_SimInterface* simIf = inst->pSimInterface;
    const double t = simIf->pGetTemperature(inst, simIf);
    if (t != pd->lastTemperature || std::isnan(t) || std::isnan(pd->lastTemperature)) pd->recomputeInvar = 1;
    pd->lastTemperature = t;
    T x[kNumUnknowns];
    readUnknowns(inst, ldr, x);
    evaluate(pd, x, c);
}

} // namespace

void lambretEvaluateModuleVars(VXR_DeviceInst* inst, VXR_ContribLoader* ldr) {
    double x[kNumUnknowns];
    readUnknowns(inst, ldr, x);
    Contributions<double> unused;
    evaluate(lambretPrivate(inst), x, unused);
}

void _module1_genericAnalogLoad(VXR_DeviceInst* inst, VXR_ContribLoader* ldr) {
    PrivateData__module1* pd = lambretPrivate(inst);
    Contributions<Dual> c;
    prepare(inst, ldr, c);
    const double m = pd->realParams[LOC_MFACTOR];
    double rhs[kNumRhs], rhsQ[kNumRhsQ], jac[kNumJac], jacQ[kNumJacQ];
    for (int i = 0; i < kNumRhs; ++i) rhs[i] = c.rhs[i].v * m;
    for (int i = 0; i < kNumRhsQ; ++i) rhsQ[i] = c.rhsQ[i].v * m;
    for (int k = 0; k < kNumJac; ++k) jac[k] = c.rhs[kJac[k].row].d[kJac[k].wrt] * m;
    for (int k = 0; k < kNumJacQ; ++k) jacQ[k] = c.rhsQ[kJacQ[k].row].d[kJacQ[k].wrt] * m;
    ldr->pLoadRhsPair(kNumRhs, pd->rhsPairs, rhs, ldr, inst);
    ldr->pLoadRhsPairQ(kNumRhsQ, pd->rhsPairsQ, rhsQ, ldr, inst);
    ldr->pLoadDerivQuartet(kNumJac, pd->derivQuartets, jac, ldr, inst);
    ldr->pLoadDerivQuartetQ(kNumJacQ, pd->derivQuartetsQ, jacQ, ldr, inst);
    pd->recomputeInvar = 0;
}

void _module1_genericAnalogLoadRHS(VXR_DeviceInst* inst, VXR_ContribLoader* ldr) {
    PrivateData__module1* pd = lambretPrivate(inst);
    Contributions<double> c;
    prepare(inst, ldr, c);
    const double m = pd->realParams[LOC_MFACTOR];
    for (double& v : c.rhs) v *= m;
    for (double& v : c.rhsQ) v *= m;
    ldr->pLoadRhsPair(kNumRhs, pd->rhsPairs, c.rhs, ldr, inst);
    ldr->pLoadRhsPairQ(kNumRhsQ, pd->rhsPairsQ, c.rhsQ, ldr, inst);
    pd->recomputeInvar = 0;
}

void _module1_doAnalogStrobe(VXR_DeviceInst*, VXR_ContribLoader*) {}
void _module1_setMemoryStates(VXR_DeviceInst*, VXR_ContribLoader*) {}
void _module1_tranAcceptPoint(VXR_DeviceInst*, VXR_ContribLoader*) {}
void _module1_resetMemoryStates(VXR_DeviceInst* inst) { inst->needAnalogInitialLoad = 1; }

namespace {
// Private block of a saved state: the state serializer and a zero word.
struct SavedStateBlock {
    void* (*serialize)(void*, FILE*, void*);
    void* reserved;
};
} // namespace

void* _serializeState__module1(void*, FILE*, void* arg) { return arg; }

VXR_DeviceState* _module1_getDeviceState(VXR_DeviceInst* inst) {
    VXR_SimInterface* simIf = inst->pSimInterface;
    auto* state = static_cast<VXR_DeviceState*>(VXR_calloc(1, sizeof(VXR_DeviceState), simIf, inst, nullptr));
    if (!state) return nullptr;
    auto* block = static_cast<SavedStateBlock*>(VXR_calloc(1, sizeof(SavedStateBlock), simIf, inst, nullptr));
    if (block) block->serialize = _serializeState__module1;
    state->pPrivateInfo = block;
    state->numOfOperatorStates = 4; // no operator branches: all slots stay empty
    state->pOperatorState = static_cast<void**>(VXR_calloc(4, sizeof(void*), simIf, inst, nullptr));
    state->numOfEventStates = 0;
    state->pDevice = inst;
    VXR_SaveEvents(inst, state);
    VXR_SaveChildren(inst, state);
    return state;
}

void _module1_restoreDeviceState(VXR_DeviceInst* inst, VXR_DeviceState* state) {
    if (!state) return;
    VXR_RestoreEvents(inst, state);
    inst->pModuleDescriptor->pForceExecInvarCode(inst, 1);
    VXR_RestoreChildren(inst, state);
}
