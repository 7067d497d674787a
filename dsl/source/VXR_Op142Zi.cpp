// Revision 1.42 z-domain filters (zi_nd, zi_np, zi_zd, zi_zp): the input is
// sampled at accepted points (time 0, then t0 or T, then every T), the
// difference equation N(z^-1) / D(z^-1) runs on the samples, and an embedded
// transition carries the output to each new value. At time 0 the output is
// the input times the DC gain. The operator has no branch of its own: the
// transition's branch is its output.
#include <cstdio>
#include <cstring>

#include "VXR_Op142.h"

#if VXR_REVISION == 142

namespace {

void fatal(VXR_DeviceInst* parent, const char* text) {
    VXR_SimInterface* simIf = parent->pSimInterface;
    VXR_Message(simIf, parent, nullptr, MessageTypeE_ERROR, text);
    if (simIf->pSystemRequest)
        simIf->pSystemRequest("exit", 1, parent, nullptr, simIf);
}

template <class... A> void fatalf(VXR_DeviceInst* parent, const char* format, A... args) {
    char text[VXR_MESSAGE_BUFFER_CHARS + 1];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(text, sizeof text, format, args...);
#pragma GCC diagnostic pop
    fatal(parent, text);
}

double timeOf(VXR_ContribLoader* ldr) { return ldr->pGetTime ? ldr->pGetTime(ldr) : 0.0; }

// n doubles, zeroed; NULL after a reported allocation failure.
double* newDoubles(VXR_DeviceInst* parent, int n, const char* id) {
    const size_t bytes = sizeof(double) * static_cast<size_t>(n);
    auto* p = static_cast<double*>(VXR_malloc(bytes, parent->pSimInterface, parent, id));
    if (p)
        std::memset(p, 0, bytes);
    return p;
}

// What the output branch carries now; 0.0 before there is a branch.
double presentOutput(VXR_OpBranch_zi* pOp, VXR_ContribLoader* ldr) {
    VXR_StateVar* br = VXR_getBranchVar_transition(pOp->_pTrans);
    return br ? ldr->pGetSol(br, ldr) : 0.0;
}

// One side of the transfer function: its count, coefficients and a zeroed
// history. An absent array (allowed only in root form) or an empty root list
// is the single coefficient 1.0; an empty coefficient list is an error and
// gets the same safe coefficient.
struct Side {
    VXR_Array* array;
    int* rootForm;
    const char* id;
    const char* formCheck;
    int* order;
    double** coeffs;
    double** hist;
};

void prepareSide(VXR_OpBranch_zi* pOp, const Side& s) {
    VXR_DeviceInst* parent = pOp->_pParent;
    VXR_free(*s.coeffs); // a recompute replaces both buffers
    VXR_free(*s.hist);
    *s.coeffs = *s.hist = nullptr;
    *s.order = 0;
    const VXR_Array* a = s.array;
    if (!a) {
        VXR_assert142(*s.rootForm != 0, s.formCheck, __LINE__);
        *s.rootForm = 0;
    } else {
        s.array->_contentsModified = 0;
        if (a->_dataLen < 1 && !*s.rootForm)
            fatalf(parent, "The %s array for operator '%s' must not be empty.", s.id, pOp->_name);
    }
    const bool single = !a || a->_dataLen < 1;
    const int n = single ? 1 : a->_dataLen;
    *s.coeffs = newDoubles(parent, n, nullptr);
    *s.hist = newDoubles(parent, n, nullptr);
    if (!*s.coeffs || !*s.hist) { // reported; the side stays empty
        VXR_free(*s.coeffs);
        VXR_free(*s.hist);
        *s.coeffs = *s.hist = nullptr;
        return;
    }
    *s.order = n;
    double* c = *s.coeffs;
    for (int i = 0; i < n; ++i)
        c[i] = single ? 1.0
               : a->_arrayType == VXR_INT_ARRAY ? static_cast<double>(a->_data._pInt[i])
                                                : a->_data._pReal[i];
    if (!single && *s.rootForm)
        VXR_ziConvertToPoly(c, n, parent->pSimInterface, parent, s.id, pOp->_name);
}

// c(z^-1) *= f(z^-1), f of `len` coefficients; the product is cut at K entries.
void multiplyInPlace(double* c, int K, const double* f, int len) {
    for (int j = K - 1; j >= 0; --j) {
        double v = 0.0;
        for (int l = 0; l < len && l <= j; ++l)
            v += f[l] * c[j - l];
        c[j] = v;
    }
}

void moveDown(double* c, int n, int by) {
    for (int i = 0; i + by < n; ++i)
        c[i] = c[i + by];
}

int firstNonZero(const double* c, int n) {
    int k = 0;
    while (k < n && c[k] == 0.0)
        ++k;
    return k;
}

// The fields an operator and its saved state share.
template <class To, class From> void copySampleClock(To& to, const From& from) {
    to._targetVal = from._targetVal;
    to._nextSampleTime = from._nextSampleTime;
    to._cacheF = from._cacheF;
    to._cacheT = from._cacheT;
    to._cache_t0 = from._cache_t0;
    to._cacheTau = from._cacheTau;
    to._cacheAlpha = from._cacheAlpha;
}

// The first `have` entries of a history copied, the rest of `want` zeroed.
void copyHistory(double* to, int want, const double* from, int have) {
    for (int i = 0; i < want; ++i)
        to[i] = i < have && from ? from[i] : 0.0;
}

} // namespace

extern "C" {

// ---- coefficients ---------------------------------------------------------------

void VXR_ziConvertToPoly(double* coeffs, int K, VXR_SimInterface* /*pSimInterface*/, VXR_DeviceInst* pParent,
                         const char* id, const char* opName) {
    if (K % 2 != 0)
        fatalf(pParent, "The %s array for operator '%s' must have even size.", id, opName);
    if (VXR_checkConjugateZeros(coeffs, K) == 0)
        fatalf(pParent, "Complex %s coefficients must have corresponding conjugates for '%s'.", id, opName);
    if (K < 1)
        return;
    double* roots = newDoubles(pParent, K, nullptr);
    if (!roots)
        return;
    std::memcpy(roots, coeffs, sizeof(double) * static_cast<size_t>(K));
    coeffs[0] = 1.0;
    for (int j = 1; j < K; ++j)
        coeffs[j] = 0.0;
    for (int i = 0; i < K / 2; ++i) {
        const double re = roots[2 * i], im = roots[2 * i + 1];
        if (im > 0.0) { // with its conjugate: 1 - 2 re z^-1 + |r|^2 z^-2
            const double f[3] = {1.0, -2.0 * re, re * re + im * im};
            multiplyInPlace(coeffs, K, f, 3);
        } else if (im == 0.0) {
            // A root at 0 is the factor z^-1.
            const double f[2] = {re != 0.0 ? 1.0 : 0.0, re != 0.0 ? -re : 1.0};
            multiplyInPlace(coeffs, K, f, 2);
        }
        // im < 0: the conjugate, already taken with its partner.
    }
    VXR_free(roots);
}

void VXR_ziNormalizeCoeffs(VXR_OpBranch_zi* pOp) {
    double* d = pOp->_denomCoeffs;
    double* n = pOp->_numerCoeffs;
    if (!d || !n || pOp->_denomOrder < 1 || d[0] != 0.0)
        return;
    const int k = firstNonZero(d, pOp->_denomOrder);
    if (k == pOp->_denomOrder)
        return; // all zero: reported by the caller
    moveDown(d, pOp->_denomOrder, k);
    pOp->_denomOrder -= k;
    const int m = firstNonZero(n, pOp->_numerOrder);
    if (m == pOp->_numerOrder) {
        pOp->_numerOrder = 1;
        return;
    }
    if (m < k) {
        fatal(pOp->_pParent, "Non-causal z-transform operator.");
        return;
    }
    moveDown(n, pOp->_numerOrder, k);
    pOp->_numerOrder -= k;
}

void VXR_ziComputeCoeffs(VXR_OpBranch_zi* pOp) {
    prepareSide(pOp, {pOp->_pNumer, &pOp->_numerZeroForm, "numerator", "pOp->_numerZeroForm", &pOp->_numerOrder,
                      &pOp->_numerCoeffs, &pOp->_xHist});
    prepareSide(pOp, {pOp->_pDenom, &pOp->_denomPoleForm, "denominator", "pOp->_denomPoleForm", &pOp->_denomOrder,
                      &pOp->_denomCoeffs, &pOp->_yHist});
    VXR_ziNormalizeCoeffs(pOp);
    if (pOp->_denomOrder > 0 && pOp->_denomCoeffs[0] == 0.0)
        fatalf(pOp->_pParent, "Leading denominator coefficient must be non-zero for operator '%s'.", pOp->_name);
    pOp->_coeffsComputed = 1;
}

// ---- operator -------------------------------------------------------------------

VXR_OpBranch_zi* VXR_createOpBranch_zi(const char* name, VXR_DeviceInst* pParent, VXR_Array* pNumerator,
                                       VXR_Array* pDenominator, int numerZeroForm, int denomPoleForm,
                                       double defaultTransition) {
    auto* pOp = allocOperatorRecord<VXR_OpBranch_zi>(pParent, nullptr);
    if (!pOp)
        return nullptr;
    std::memset(pOp, 0, sizeof *pOp); // target, caches and histories start at zero
    pOp->_name = name;
    pOp->_pParent = pParent;
    pOp->_pNumer = pNumerator;
    pOp->_pDenom = pDenominator;
    pOp->_numerZeroForm = numerZeroForm;
    pOp->_denomPoleForm = denomPoleForm;
    pOp->_pTrans = VXR_createOpBranch_transition(name, pParent, defaultTransition);
    pOp->_coeffsComputed = 0;
    pOp->_nextSampleTime = 0.0;
    return pOp;
}

void VXR_ziFinalizeTopology(VXR_OpBranch_zi* pOp, void* pCallbackInfo) {
    if (pOp->_pTrans) // NULL only after a reported allocation failure
        VXR_transitionFinalizeTopology(pOp->_pTrans, pCallbackInfo);
}

void VXR_ziSetStamp(VXR_OpBranch_zi* pOp, void* pCallbackInfo) {
    if (pOp->_pTrans)
        VXR_transitionSetStamp(pOp->_pTrans, pCallbackInfo);
}

void* VXR_getDerivDoubletOpBranch_zi(VXR_OpBranch_zi* pOp, VXR_StateVar* svColPlus, VXR_StateVar* svColMinus,
                                     VXR_StampTargetE target, VXR_DepTypeE dep, void* pCallbackInfo) {
    VXR_assert142(target != DDT_ENTRY, "target != DDT_ENTRY", __LINE__);
    if (!pOp->_pTrans)
        return nullptr;
    return VXR_getDerivDoubletOpBranch_transition(pOp->_pTrans, svColPlus, svColMinus, target, dep, pCallbackInfo);
}

VXR_StateVar* VXR_getBranchVar_zi(VXR_OpBranch_zi* pOp) {
    return pOp ? VXR_getBranchVar_transition(pOp->_pTrans) : nullptr;
}

void VXR_ziSetArg(VXR_OpBranch_zi* pOp, double F, double T, double tau, double t0, VXR_ContribLoader* ldr) {
    const double t = timeOf(ldr);
    if (!pOp->_coeffsComputed || (pOp->_pNumer && pOp->_pNumer->_contentsModified) ||
        (pOp->_pDenom && pOp->_pDenom->_contentsModified))
        VXR_ziComputeCoeffs(pOp);
    pOp->_cacheF = F;
    pOp->_cacheT = T;
    pOp->_cache_t0 = t0;
    pOp->_cacheTau = tau;
    double value = pOp->_targetVal;
    if (t == 0.0) {
        double dsum = 0.0, nsum = 0.0;
        for (int i = 0; i < pOp->_denomOrder; ++i)
            dsum += pOp->_denomCoeffs[i];
        for (int i = 0; i < pOp->_numerOrder; ++i)
            nsum += pOp->_numerCoeffs[i];
        pOp->_cacheAlpha = nsum / dsum;
        value = pOp->_cacheAlpha * F;
    }
    if (pOp->_pTrans)
        VXR_transitionSetArg(pOp->_pTrans, value, 0.0, tau, tau, 0.0, ldr);
}

void VXR_ziSetArg_dwrt(VXR_OpBranch_zi* pOp, void* pDoublet, double val, VXR_ContribLoader* ldr) {
    // Between samples the output does not depend on the present input.
    const double d = timeOf(ldr) == 0.0 ? val * pOp->_cacheAlpha : 0.0;
    if (pOp->_pTrans)
        VXR_transitionSetArg_dwrt(pOp->_pTrans, pDoublet, d, ldr);
}

void VXR_ziGenericLoad(VXR_OpBranch_zi* pOp, VXR_ContribLoader* ldr) {
    if (pOp->_pTrans)
        VXR_transitionGenericLoad(pOp->_pTrans, ldr);
}

void VXR_ziGenericLoadRHS(VXR_OpBranch_zi* pOp, VXR_ContribLoader* ldr) {
    if (pOp->_pTrans)
        VXR_transitionGenericLoadRHS(pOp->_pTrans, ldr);
}

void VXR_ziAcceptTimePoint(VXR_OpBranch_zi* pOp, VXR_ContribLoader* ldr) {
    const double t = timeOf(ldr);
    if (pOp->_pTrans)
        VXR_transitionAcceptTimePoint(pOp->_pTrans, ldr);
    double* x = pOp->_xHist;
    double* y = pOp->_yHist;
    const int nx = pOp->_numerOrder, ny = pOp->_denomOrder;
    if (!x || !y || nx < 1 || ny < 1)
        return; // no coefficients yet (or none could be allocated)
    if (t == 0.0) {
        const double out = presentOutput(pOp, ldr);
        for (int i = 0; i < nx; ++i)
            x[i] = pOp->_cacheF;
        for (int i = 0; i < ny; ++i)
            y[i] = out;
        pOp->_nextSampleTime = 0.0;
    }
    if (!(t >= pOp->_nextSampleTime))
        return; // before the next sample (or a time that does not compare)
    for (int i = nx - 2; i >= 0; --i)
        x[i + 1] = x[i];
    for (int i = ny - 2; i >= 0; --i)
        y[i + 1] = y[i];
    x[0] = pOp->_cacheF;
    y[0] = presentOutput(pOp, ldr);
    // a0 y_n = sum_i b_i x_(n-i) - sum_(i>=1) a_i y_(n-i), y_(n-1) the present output
    const double* b = pOp->_numerCoeffs;
    const double* a = pOp->_denomCoeffs;
    double acc = 0.0;
    for (int i = 0; i < nx; ++i)
        acc += x[i] * b[i];
    for (int i = 1; i < ny; ++i)
        acc -= y[i - 1] * a[i];
    pOp->_targetVal = acc / a[0];
    if (t == 0.0 && pOp->_cache_t0 > 0.0)
        pOp->_nextSampleTime = pOp->_cache_t0;
    else
        pOp->_nextSampleTime += pOp->_cacheT;
    if (ldr->pSetTranBreakPoint)
        ldr->pSetTranBreakPoint(pOp->_nextSampleTime, ldr);
}

void VXR_ziReset(VXR_OpBranch_zi* /*pOp*/) {}

ziState* VXR_ziSaveState(VXR_OpBranch_zi* pOp) {
    if (!pOp->_coeffsComputed)
        return nullptr;
    VXR_DeviceInst* parent = pOp->_pParent;
    auto* s = static_cast<ziState*>(VXR_malloc(sizeof(ziState), parent->pSimInterface, parent, pOp->_name));
    if (!s)
        return nullptr;
    s->_opState.opStateType = VXR_ZI_STATE;
    s->_numerOrder = pOp->_xHist ? pOp->_numerOrder : 0;
    s->_denomOrder = pOp->_yHist ? pOp->_denomOrder : 0;
    s->_xHist = s->_numerOrder > 0 ? newDoubles(parent, s->_numerOrder, nullptr) : nullptr;
    s->_yHist = s->_denomOrder > 0 ? newDoubles(parent, s->_denomOrder, nullptr) : nullptr;
    s->_pTransitionState = nullptr;
    if ((s->_numerOrder > 0 && !s->_xHist) || (s->_denomOrder > 0 && !s->_yHist)) {
        VXR_ziFreeState(s, parent->pSimInterface);
        return nullptr;
    }
    copyHistory(s->_xHist, s->_numerOrder, pOp->_xHist, s->_numerOrder);
    copyHistory(s->_yHist, s->_denomOrder, pOp->_yHist, s->_denomOrder);
    s->_pTransitionState = pOp->_pTrans ? VXR_transitionSaveState(pOp->_pTrans) : nullptr;
    copySampleClock(*s, *pOp);
    return s;
}

void VXR_ziRestoreState(VXR_OpBranch_zi* pOp, ziState* pOpState) {
    if (!pOpState) {
        pOp->_coeffsComputed = 0;
        return;
    }
    // Histories saved at other orders: what both hold is copied, the rest is 0.
    if (pOp->_xHist)
        copyHistory(pOp->_xHist, pOp->_numerOrder, pOpState->_xHist, pOpState->_numerOrder);
    if (pOp->_yHist)
        copyHistory(pOp->_yHist, pOp->_denomOrder, pOpState->_yHist, pOpState->_denomOrder);
    if (pOp->_pTrans)
        VXR_transitionRestoreState(pOp->_pTrans, pOpState->_pTransitionState);
    copySampleClock(*pOp, *pOpState);
}

void VXR_ziFreeState(ziState* pState, VXR_SimInterface* pSimInterface) {
    if (!pState)
        return;
    VXR_free(pState->_xHist);
    VXR_free(pState->_yHist);
    if (pState->_pTransitionState && pSimInterface && pSimInterface->pFreeTransitionSpec)
        pSimInterface->pFreeTransitionSpec(pState->_pTransitionState);
    VXR_free(pState);
}

// The filter contributes no noise.
void VXR_addNoiseForOp_zi(VXR_NoiseSrc* /*pSrc*/, VXR_OpBranch_zi* /*pOp*/, double /*coeff*/,
                          VXR_ContribLoader* /*ldr*/) {}

} // extern "C"

#endif // VXR_REVISION == 142
