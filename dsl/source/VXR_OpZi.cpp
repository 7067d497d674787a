// Z-domain filters: the input is sampled at accepted points (t = 0, then t0
// or T, then every T), the difference equation N(z^-1) / D(z^-1) runs on
// the samples, and in revision 1.87 an embedded transition ramps the output,
// which the host places in the row of the operator's own variable. The 1.60
// copy has no transition and no z-transform loads and asks for its samples
// as absolute breakpoints.
#include <cstdio>
#include <cstring>
#include <utility>

#include "VXR_Operators.h"
#include "VXR_ParamsData.h"
#include "VXR_SupportLib.h"

extern "C" int VXR_checkConjugateZeros(double* coeffs, int K) {
    const int pairs = K / 2;
    for (int i = 0; i < pairs; ++i) {
        const double re = coeffs[2 * i], im = coeffs[2 * i + 1];
        if (im == 0.0) continue;
        int j = i + 1;
        while (j < pairs && !(coeffs[2 * j] == re && coeffs[2 * j + 1] == -im)) ++j;
        if (j >= pairs) return 0;
        // The conjugate moves directly behind its partner.
        std::swap(coeffs[2 * (i + 1)], coeffs[2 * j]);
        std::swap(coeffs[2 * (i + 1) + 1], coeffs[2 * j + 1]);
        ++i;
    }
    return 1;
}

#if VXR_REVISION != 142

namespace {

void fatal(VXR_DeviceInst* parent, const char* text) {
    VXR_SimInterface* simIf = parent->pSimInterface;
    VXR_Message(simIf, parent, nullptr, MessageTypeE_ERROR, text);
    if (simIf->pSystemRequest) simIf->pSystemRequest("exit", 1, parent, nullptr, simIf);
}

template <class... A> void fatalf(VXR_DeviceInst* parent, const char* format, A... args) {
    char text[VXR_MESSAGE_BUFFER_CHARS + 1];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(text, sizeof text, format, args...);
#pragma GCC diagnostic pop
    fatal(parent, text);
}

double timeOf(VXR_ContribLoader* ldr, [[maybe_unused]] VXR_DeviceInst* inst) {
    return ldr->pGetTime ? ldr->pGetTime(ldr VXR_LDR_INST(inst)) : 0.0;
}
double minStepOf(VXR_ContribLoader* ldr, [[maybe_unused]] VXR_DeviceInst* inst) {
    return ldr->pGetMinTimeStep ? ldr->pGetMinTimeStep(ldr VXR_LDR_INST(inst)) : 1e-16;
}

bool buffersReady(const VXR_OpBranch_zi* op) {
    return op->_numerCoeffs && op->_xHist && op->_denomCoeffs && op->_yHist;
}

void freeBuffers(VXR_OpBranch_zi* op) {
    VXR_free(op->_numerCoeffs);
    VXR_free(op->_xHist);
    VXR_free(op->_denomCoeffs);
    VXR_free(op->_yHist);
    op->_numerCoeffs = op->_xHist = op->_denomCoeffs = op->_yHist = nullptr;
}

double* newDoubles(const VXR_OpBranch_zi* op, int n) {
    auto* p = static_cast<double*>(VXR_malloc(sizeof(double) * static_cast<size_t>(n),
                                              op->_pParent->pSimInterface, op->_pParent, nullptr));
    if (p) std::memset(p, 0, sizeof(double) * static_cast<size_t>(n));
    return p;
}

// Order of one side and its coefficients (1.0 without an array). An empty
// array has no coefficient to work with: rejected, then read as absent.
int orderOf(VXR_OpBranch_zi* op, VXR_Array* a, const char* id) {
    if (!a) return 1;
    a->_contentsModified = 0;
    if (a->_dataLen < 1) {
        fatalf(op->_pParent, "The %s array for operator '%s' must not be empty.", id, op->_name);
        return 1;
    }
    return a->_dataLen;
}

void fillCoeffs(double* c, int n, const VXR_Array* a) {
    for (int i = 0; i < n; ++i) {
        if (!a || a->_dataLen < 1)
            c[i] = 1.0;
        else if (a->_arrayType == VXR_REAL_ARRAY)
            c[i] = a->_data._pReal[i];
        else
            c[i] = static_cast<double>(a->_data._pInt[i]);
    }
}

void shiftDown(double* c, int n, int by) {
    for (int i = 0; i + by < n; ++i) c[i] = c[i + by];
}

// Leading zero coefficients of the denominator (a0 == 0) removed from both
// sides; a numerator with fewer leading zeros would need future samples.
void normalizeCoeffs(VXR_OpBranch_zi* op) {
    double* a = op->_denomCoeffs;
    if (a[0] != 0.0 || op->_denomOrder < 2) return;
    int s = 0;
    while (s < op->_denomOrder && a[s] == 0.0) ++s;
    if (s == op->_denomOrder) return; // all zero: the leading-coefficient error follows
    shiftDown(a, op->_denomOrder, s);
    op->_denomOrder -= s;
    double* b = op->_numerCoeffs;
    int r = 0;
    while (r < op->_numerOrder && b[r] == 0.0) ++r;
    if (op->_numerOrder < 1 || r == op->_numerOrder) {
        op->_numerOrder = 1;
        return;
    }
    if (r < s) {
        fatal(op->_pParent, "Non-causal z-transform operator.");
        return;
    }
    shiftDown(b, op->_numerOrder, s);
    op->_numerOrder -= s;
}

void requestSample(VXR_OpBranch_zi* op, VXR_ContribLoader* ldr, double t, double m) {
    if (!(op->_nextSampleTime - t > m)) return;
#if VXR_REVISION == 187
    if (ldr->pDoBoundStep) ldr->pDoBoundStep(op->_nextSampleTime - t, BOUND_ZTRANSFORM, ldr, op->_pParent);
#else
    if (ldr->pSetTranBreakPoint) ldr->pSetTranBreakPoint(op->_nextSampleTime, ldr);
#endif
}

// Copies the operator made of variable arrays are its own.
enum { kOwnsNumer = 1, kOwnsDenom = 2 };

void freeArray(VXR_Array* a) {
    if (!a) return;
#if VXR_REVISION == 187
    VXR_free(a->_pLeftBounds);
    VXR_free(a->_pRightBounds);
#endif
    VXR_free(a->_data._pReal);
    VXR_free(a);
}

// The scalar fields an operator and its saved state share.
template <class To, class From> void copySampleClock(To& to, const From& from) {
    to._targetVal = from._targetVal;
    to._nextSampleTime = from._nextSampleTime;
    to._cacheF = from._cacheF;
    to._cacheT = from._cacheT;
    to._cache_t0 = from._cache_t0;
    to._cacheTau = from._cacheTau;
    to._cacheAlpha = from._cacheAlpha;
}

VXR_TransitionSpec* transitionSpecOf(const VXR_ziState* s) {
    return static_cast<VXR_TransitionSpec*>(s->_pTransitionState);
}

} // namespace

extern "C" {

// ---- Coefficients ----------------------------------------------------------------

void VXR_ziConvertToPoly(double* coeffs, int K, VXR_SimInterface*, VXR_DeviceInst* pParent, const char* id,
                         const char* opName) {
    if (K % 2 != 0) {
        fatalf(pParent, "The %s array for operator '%s' must have even size.", id, opName);
        return;
    }
    if (VXR_checkConjugateZeros(coeffs, K) == 0)
        fatalf(pParent, "Complex %s coefficients must have corresponding conjugates for '%s'.", id, opName);
    if (K < 1) return;
    auto* roots = static_cast<double*>(
        VXR_malloc(sizeof(double) * static_cast<size_t>(K), pParent->pSimInterface, pParent, nullptr));
    if (!roots) return;
    std::memcpy(roots, coeffs, sizeof(double) * static_cast<size_t>(K));
    double* c = coeffs;
    for (int j = 0; j < K; ++j) c[j] = 0.0;
    c[0] = 1.0;
    for (int i = 0; i < K / 2; ++i) {
        const double re = roots[2 * i], im = roots[2 * i + 1];
        if (im > 0.0) {
            // (z - r)(z - r*) = z^2 - 2 re z + |r|^2
            const double q = re * re + im * im;
            for (int j = K - 1; j >= 2; --j) c[j] = c[j] - 2.0 * re * c[j - 1] + q * c[j - 2];
            c[1] = c[1] - 2.0 * re * c[0];
        } else if (im == 0.0 && re != 0.0) {
            for (int j = K - 1; j >= 1; --j) c[j] = c[j] - re * c[j - 1];
        }
    }
    VXR_free(roots);
}

void VXR_ziComputeCoeffs(VXR_OpBranch_zi* op) {
    VXR_DeviceInst* parent = op->_pParent;
    op->_numerOrder = orderOf(op, op->_pNumer, "numerator");
    if (!op->_pNumer) op->_numerZeroForm = 0;
    op->_denomOrder = orderOf(op, op->_pDenom, "denominator");
    if (!op->_pDenom) op->_denomPoleForm = 0;
    // New buffers for the (possibly new) orders; the old samples are not
    // carried over.
    freeBuffers(op);
    op->_numerCoeffs = newDoubles(op, op->_numerOrder);
    op->_xHist = newDoubles(op, op->_numerOrder);
    op->_denomCoeffs = newDoubles(op, op->_denomOrder);
    op->_yHist = newDoubles(op, op->_denomOrder);
    op->_coeffsComputed = 1;
    if (!buffersReady(op)) { // reported by the allocator
        freeBuffers(op);
        return;
    }
    fillCoeffs(op->_numerCoeffs, op->_numerOrder, op->_pNumer);
    fillCoeffs(op->_denomCoeffs, op->_denomOrder, op->_pDenom);
    // An empty root list was reported by orderOf and stands for the factor 1.
    auto hasRoots = [](const VXR_Array* a) { return a && a->_dataLen >= 1; };
    if (op->_numerZeroForm && hasRoots(op->_pNumer))
        VXR_ziConvertToPoly(op->_numerCoeffs, op->_numerOrder, parent->pSimInterface, parent, "numerator", op->_name);
    if (op->_denomPoleForm && hasRoots(op->_pDenom))
        VXR_ziConvertToPoly(op->_denomCoeffs, op->_denomOrder, parent->pSimInterface, parent, "denominator",
                            op->_name);
    normalizeCoeffs(op);
    if (op->_denomCoeffs[0] == 0.0)
        fatalf(parent, "Leading denominator coefficient must be non-zero for operator '%s'.", op->_name);
}

// ---- Operator ----------------------------------------------------------------------

VXR_OpBranch_zi* VXR_createOpBranch_zi(const char* name, VXR_DeviceInst* pParent, int numerZeroForm,
                                       int denomPoleForm, double defaultTransition) {
    auto* op = static_cast<VXR_OpBranch_zi*>(
        VXR_calloc(1, sizeof(VXR_OpBranch_zi), pParent->pSimInterface, pParent, nullptr));
    if (!op) return nullptr;
    op->_name = name;
    op->_pParent = pParent;
    op->_numerZeroForm = numerZeroForm;
    op->_denomPoleForm = denomPoleForm;
#if VXR_REVISION == 187
    op->_pTrans = VXR_createOpBranch_transition(name, pParent, defaultTransition);
#else
    (void)defaultTransition; // no embedded transition in this revision
#endif
    return op;
}

void VXR_ziInitArrayArg(VXR_OpBranch_zi* op, VXR_Array* pNumerator, VXR_Array* pDenominator) {
    // A variable array may change under the operator: it keeps its own copy
    // (and releases it with itself).
    if (op->_ownedArrays & kOwnsNumer) freeArray(op->_pNumer);
    if (op->_ownedArrays & kOwnsDenom) freeArray(op->_pDenom);
    op->_ownedArrays = 0;
    op->_pNumer = pNumerator && pNumerator->_isVar ? VXR_duplicateArray(pNumerator) : pNumerator;
    op->_pDenom = pDenominator && pDenominator->_isVar ? VXR_duplicateArray(pDenominator) : pDenominator;
    if (op->_pNumer != pNumerator) op->_ownedArrays |= kOwnsNumer;
    if (op->_pDenom != pDenominator) op->_ownedArrays |= kOwnsDenom;
}

void VXR_ziFinalizeTopology(VXR_OpBranch_zi* op, void* cbInfo) {
    op->_branchVar = op->_pParent->pSimInterface->pSetupNode(op->_name, op->_pParent, nullptr, cbInfo);
    if (op->_pTrans) VXR_transitionFinalizeTopology(op->_pTrans, cbInfo);
}

void VXR_ziSetStamp(VXR_OpBranch_zi* op, void* cbInfo) {
    VXR_SimInterface* simIf = op->_pParent->pSimInterface;
    op->_rhsBranch = simIf->pGetRhsPair(op->_branchVar, nullptr, LIN_DEP, op->_pParent, cbInfo);
#if VXR_REVISION == 187
    if (simIf->pGetRhsOpEntry)
        op->_rhsZ_Entry = simIf->pGetRhsOpEntry(op->_branchVar, ZTRANSFORM_ENTRY, NONLIN_DEP, op->_pParent, cbInfo);
#endif
    op->_dbtJ_br_br = simIf->pGetDerivDoublet(op->_branchVar, op->_branchVar, nullptr, DC_ENTRY, LIN_DEP,
                                              op->_pParent, cbInfo);
}

void* VXR_getDerivDoubletOpBranch_zi(VXR_OpBranch_zi* op, VXR_StateVar* svRhsPlus, VXR_StateVar* svRhsMinus,
                                     VXR_StampTargetE, VXR_DepTypeE dep, void* cbInfo) {
    return op->_pParent->pSimInterface->pGetDerivDoublet(op->_branchVar, svRhsPlus, svRhsMinus, ZTRANSFORM_ENTRY,
                                                         dep, op->_pParent, cbInfo);
}

VXR_StateVar* VXR_getBranchVar_zi(VXR_OpBranch_zi* op) { return op ? op->_branchVar : nullptr; }

void VXR_ziSetArg(VXR_OpBranch_zi* op, double F, double T, double tau, double t0, VXR_ContribLoader* ldr) {
    VXR_DeviceInst* parent = op->_pParent;
    const double t = timeOf(ldr, parent);
    const double m = minStepOf(ldr, parent);
#if VXR_REVISION == 187
    if (op->_pNumer && op->_pNumer->_digID >= 0) doSyncDigitalArray(op->_pNumer, parent, ldr);
    if (op->_pDenom && op->_pDenom->_digID >= 0) doSyncDigitalArray(op->_pDenom, parent, ldr);
#endif
    if (!op->_coeffsComputed || (op->_pNumer && op->_pNumer->_contentsModified) ||
        (op->_pDenom && op->_pDenom->_contentsModified))
        VXR_ziComputeCoeffs(op);
    op->_cacheF = F;
    op->_cacheTau = tau;
    op->_cacheT = T;
    op->_cache_t0 = t0;
#if VXR_REVISION == 187
    if (VXR_OpBranch_transition* tr = op->_pTrans) {
        VXR_transitionSetArg(tr, op->_targetVal, 0.0, tau, tau, 0.0, ldr);
        if (ldr->pLoadZ_Transform) ldr->pLoadZ_Transform(op, op->_rhsZ_Entry, tr->_val, ldr, parent);
        if (t == 0.0) VXR_transitionSetArg(tr, tr->_val, 0.0, tau, tau, 0.0, ldr);
    }
#endif
    requestSample(op, ldr, t, m);
}

void VXR_ziSetArg_dwrt([[maybe_unused]] VXR_OpBranch_zi* op, [[maybe_unused]] void* pDoublet,
                       [[maybe_unused]] double val, [[maybe_unused]] VXR_ContribLoader* ldr) {
#if VXR_REVISION == 187
    if (!op || !ldr->pLoadZ_Transform_dwrt) return;
    ldr->pLoadZ_Transform_dwrt(op, pDoublet, val, ldr, op->_pParent);
#endif
}

void VXR_ziGenericLoadRHS(VXR_OpBranch_zi* op, VXR_ContribLoader* ldr) {
    double value = -ldr->pGetSol(op->_branchVar, ldr VXR_LDR_INST(op->_pParent));
    ldr->pLoadRhsPair(1, &op->_rhsBranch, &value, ldr VXR_LDR_INST(op->_pParent));
}

void VXR_ziGenericLoad(VXR_OpBranch_zi* op, VXR_ContribLoader* ldr) {
    VXR_ziGenericLoadRHS(op, ldr);
    double one = -1.0;
    ldr->pLoadDerivDoublet(1, &op->_dbtJ_br_br, &one, ldr VXR_LDR_INST(op->_pParent));
}

void VXR_ziAcceptTimePoint(VXR_OpBranch_zi* op, VXR_ContribLoader* ldr) {
    VXR_DeviceInst* parent = op->_pParent;
    const double t = timeOf(ldr, parent);
    const double m = minStepOf(ldr, parent);
    const int nN = op->_numerOrder, nD = op->_denomOrder;
    const bool ready = buffersReady(op);
    double* x = op->_xHist;
    double* y = op->_yHist;
    if (t == 0.0) {
        // The input history starts at the first input, the output history at
        // the output of the time-zero point.
        const double y0 = op->_pTrans ? op->_pTrans->_val : 0.0;
        for (int i = 0; ready && i < nN; ++i) x[i] = op->_cacheF;
        for (int i = 0; ready && i < nD; ++i) y[i] = y0;
        op->_targetVal = y0;
        op->_nextSampleTime = 0.0;
    }
    if (ready && t + m >= op->_nextSampleTime) {
        for (int i = nN - 2; i >= 0; --i) x[i + 1] = x[i];
        for (int i = nD - 2; i >= 0; --i) y[i + 1] = y[i];
        x[0] = op->_cacheF;
        y[0] = op->_targetVal;
        const double* a = op->_denomCoeffs;
        const double* b = op->_numerCoeffs;
        double acc = 0.0;
        for (int i = 1; i < nD; ++i) acc -= a[i] * y[i - 1];
        for (int i = 0; i < nN; ++i) acc += b[i] * x[i];
        op->_targetVal = acc / a[0];
        op->_nextSampleTime = (t == 0.0 && op->_cache_t0 > 0.0) ? op->_cache_t0 : op->_nextSampleTime + op->_cacheT;
        if (op->_pTrans)
            VXR_transitionSetArg(op->_pTrans, op->_targetVal, 0.0, op->_cacheTau, op->_cacheTau, 0.0, ldr);
    }
    if (op->_pTrans) VXR_transitionAcceptTimePoint(op->_pTrans, ldr);
    requestSample(op, ldr, t, m);
}

// ---- Saved state -------------------------------------------------------------------

void freeZiState(VXR_GenericOperatorState* state) {
    auto* s = reinterpret_cast<VXR_ziState*>(state);
    if (!s) return;
    VXR_free(s->_xHist);
    VXR_free(s->_yHist);
    if (VXR_TransitionSpec* spec = transitionSpecOf(s)) freeTransitionSpec(&spec->_opState);
    VXR_free(s);
}

void* VXR_ziSaveState(VXR_OpBranch_zi* op) {
    if (!op->_coeffsComputed || !buffersReady(op)) return nullptr;
    VXR_SimInterface* simIf = op->_pParent->pSimInterface;
    auto* s = static_cast<VXR_ziState*>(VXR_malloc(sizeof(VXR_ziState), simIf, op->_pParent, op->_name));
    if (!s) return nullptr;
    s->_opState.opStateType = VXR_ZI_STATE;
    s->_opState.pSerializeSelf = serialize_ziState;
    s->_opState.pFreeSelf = freeZiState;
    s->_numerOrder = op->_numerOrder;
    s->_denomOrder = op->_denomOrder;
    s->_xHist = static_cast<double*>(
        VXR_malloc(sizeof(double) * static_cast<size_t>(op->_numerOrder), simIf, op->_pParent, nullptr));
    s->_yHist = static_cast<double*>(
        VXR_malloc(sizeof(double) * static_cast<size_t>(op->_denomOrder), simIf, op->_pParent, nullptr));
    s->_pTransitionState = op->_pTrans ? VXR_transitionSaveState(op->_pTrans) : nullptr;
    if (!s->_xHist || !s->_yHist) {
        freeZiState(&s->_opState);
        return nullptr;
    }
    std::memcpy(s->_xHist, op->_xHist, sizeof(double) * static_cast<size_t>(op->_numerOrder));
    std::memcpy(s->_yHist, op->_yHist, sizeof(double) * static_cast<size_t>(op->_denomOrder));
    copySampleClock(*s, *op);
    s->_pOp = op;
    return s;
}

void VXR_ziRestoreState(VXR_OpBranch_zi* op, void* state) {
    const auto* s = static_cast<const VXR_ziState*>(state);
    // Histories of other sizes than the present ones cannot be restored:
    // the coefficients are prepared again (new, empty histories).
    if (!s || s->_numerOrder != op->_numerOrder || s->_denomOrder != op->_denomOrder || !buffersReady(op)) {
        op->_coeffsComputed = 0;
        if (!s) return;
    } else {
        std::memcpy(op->_xHist, s->_xHist, sizeof(double) * static_cast<size_t>(s->_numerOrder));
        std::memcpy(op->_yHist, s->_yHist, sizeof(double) * static_cast<size_t>(s->_denomOrder));
    }
    if (op->_pTrans) VXR_transitionRestoreState(op->_pTrans, s->_pTransitionState);
    copySampleClock(*op, *s);
}

void serialize_ziState(VXR_GenericOperatorState* state, FILE* f, VXR_SrlzDirE* pDir) {
    auto* s = reinterpret_cast<VXR_ziState*>(state);
    VXR_serializeMarker("zi", f, pDir);
    VXR_serializeDouble("p->_targetVal", &s->_targetVal, f, pDir);
    VXR_serializeDouble("p->_nextSampleTime", &s->_nextSampleTime, f, pDir);
    int numerOrder = s->_numerOrder, denomOrder = s->_denomOrder;
    VXR_serializeInt("numerOrder", &numerOrder, f, pDir);
    VXR_serializeInt("denomOrder", &denomOrder, f, pDir);
    if (*pDir == SRLZ_ERROR) return;
    // The histories go only between a state and an operator of the same orders.
    const VXR_OpBranch_zi* op = s->_pOp;
    if (numerOrder != s->_numerOrder || denomOrder != s->_denomOrder ||
        (op && (op->_numerOrder != s->_numerOrder || op->_denomOrder != s->_denomOrder))) {
        *pDir = SRLZ_ERROR;
        return;
    }
    for (int i = 0; i < s->_numerOrder; ++i) VXR_serializeDouble("p->_xHist[i]", &s->_xHist[i], f, pDir);
    for (int i = 0; i < s->_denomOrder; ++i) VXR_serializeDouble("p->_yHist[i]", &s->_yHist[i], f, pDir);
    if (VXR_TransitionSpec* spec = transitionSpecOf(s)) spec->_opState.pSerializeSelf(&spec->_opState, f, pDir);
}

void VXR_ziReset(VXR_OpBranch_zi*) {}
void VXR_reportNoiseContribForOp_zi(VXR_OpBranch_zi*, int, void*) {}
void VXR_addNoiseForOp_zi(VXR_NoiseSrc*, VXR_OpBranch_zi*, double, VXR_ContribLoader*) {}

void VXR_destroyOpBranch_zi(VXR_OpBranch_zi* op) {
    if (!op) return;
    VXR_destroyOpBranch_transition(op->_pTrans);
    freeBuffers(op);
    if (op->_ownedArrays & kOwnsNumer) freeArray(op->_pNumer);
    if (op->_ownedArrays & kOwnsDenom) freeArray(op->_pDenom);
    VXR_free(op);
}

} // extern "C"

#endif
