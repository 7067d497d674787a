// Laplace operator branch (revision 1.87): argument checks, the choice of
// realisation, the direct chain and the cascade of second-order sections.
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "VXR_OpLaplace.h"
#include "VXR_ParamsData.h"
#include "VXR_PolyRoots.h"

#if VXR_REVISION == 187

namespace {

constexpr double kMissingCoeff = 1e-6; // stands in for a zero chain coefficient
constexpr double kEmpty = VXR_LAP_EMPTY_ROOT;

// Work record of one root while the sections are built.
struct RootInfo {
    double Real;
    double Imag;
    int MatchIndex; // matched root in the other list, -1 when none
    int PairIndex;  // real root of the same list sharing the section, -1 when none
    unsigned _isCpx : 1;
    unsigned _isMatched : 1;
    unsigned _isPaired : 1;
    unsigned _done : 1;
};

// Zero and pole buffers of one section.
struct RootGroup {
    double zeros[4];
    double poles[4];
};

VXR_SimInterface* simIfOf(const VXR_OpBranch_lap* op) { return op->_pParent->pSimInterface; }

void fatal(VXR_OpBranch_lap* op, const char* text) { VXR_fatalUserError(simIfOf(op), op->_pParent, text); }

// An ERROR naming the operator, then "exit".
void fatalNamed(VXR_OpBranch_lap* op, const char* format) {
    char buf[VXR_MESSAGE_BUFFER_CHARS + 1];
    snprintf(buf, sizeof buf, format, op->_name);
    fatal(op, buf);
}

template <class T> T* allocZeroed(VXR_OpBranch_lap* op, int n) {
    if (n < 1)
        n = 1;
    return static_cast<T*>(VXR_calloc(static_cast<size_t>(n), sizeof(T), simIfOf(op), op->_pParent, nullptr));
}

// Element i of an array as a double; 0 past its elements.
double elem(const VXR_Array* a, int i) {
    if (!a || i < 0 || i >= a->_dataLen || !a->_data._pReal)
        return 0.0;
    return a->_arrayType == VXR_REAL_ARRAY ? a->_data._pReal[i] : static_cast<double>(a->_data._pInt[i]);
}

int countOf(const VXR_Array* a) { return a ? a->_dataLen : 0; }
bool isDigital(const VXR_Array* a) { return a && a->_digID >= 0; }

// One past the highest nonzero coefficient (a NaN counts as nonzero).
int trimmedCount(const VXR_Array* a) {
    int n = countOf(a);
    while (n > 0 && elem(a, n - 1) == 0.0)
        --n;
    return n;
}

// Lowest-order nonzero coefficient, 1.0 when there is none.
double getLeadingCoeff(const VXR_Array* a) {
    for (int i = 0; i < countOf(a); ++i)
        if (elem(a, i) != 0.0)
            return elem(a, i);
    return 1.0;
}

int arrayDiff(const VXR_Array* lhs, const VXR_Array* rhs) {
    if (lhs->_dataLen != rhs->_dataLen || lhs->_arrayType != rhs->_arrayType)
        return 1;
    for (int i = 0; i < lhs->_dataLen; ++i) {
        if (lhs->_arrayType == VXR_REAL_ARRAY ? !(lhs->_data._pReal[i] == rhs->_data._pReal[i])
                                              : lhs->_data._pInt[i] != rhs->_data._pInt[i])
            return 1;
    }
    return 0;
}

void releaseArray(VXR_Array* a) {
    if (!a)
        return;
    VXR_free(a->_data._pReal);
    VXR_free(a->_pLeftBounds);
    VXR_free(a->_pRightBounds);
    VXR_free(a);
}

// stem + suffix in a copy of the runtime's heap.
char* joinName(VXR_OpBranch_lap* op, const char* stem, const char* suffix) {
    const size_t len = strlen(stem) + strlen(suffix) + 1;
    char* s = static_cast<char*>(VXR_malloc(len, simIfOf(op), op->_pParent, nullptr));
    if (s)
        snprintf(s, len, "%s%s", stem, suffix);
    return s;
}

// A node-name copy the operator keeps until it is destroyed: hosts cannot
// tell such a copy from a name they must not free.
char* nodeName(VXR_OpBranch_lap* op, const char* stem, const char* suffix) {
    char* s = joinName(op, stem, suffix);
    if (s)
        op->_nodeNames[op->_numNodeNames++] = s;
    return s;
}

VXR_StateVar* setupNode(VXR_OpBranch_lap* op, const char* name, void* cb) {
    return simIfOf(op)->pSetupNode(name, op->_pParent, nullptr, cb);
}

void* rhsPair(VXR_OpBranch_lap* op, VXR_StateVar* sv, void* cb) {
    return simIfOf(op)->pGetRhsPair(sv, nullptr, LIN_DEP, op->_pParent, cb);
}
void* rhsPairQ(VXR_OpBranch_lap* op, VXR_StateVar* sv, void* cb) {
    return simIfOf(op)->pGetRhsPairQ(sv, nullptr, LIN_DEP, op->_pParent, cb);
}
void* doublet(VXR_OpBranch_lap* op, VXR_StateVar* row, VXR_StateVar* col, VXR_StampTargetE target, void* cb) {
    return simIfOf(op)->pGetDerivDoublet(row, col, nullptr, target, LIN_DEP, op->_pParent, cb);
}

// Batch loads of count 1.
struct Loads {
    VXR_ContribLoader* ldr;
    VXR_DeviceInst* inst;
    double sol(VXR_StateVar* sv) const { return ldr->pGetSol(sv, ldr, inst); }
    void rhs(void** h, double v) const { ldr->pLoadRhsPair(1, h, &v, ldr, inst); }
    void rhsQ(void** h, double v) const { ldr->pLoadRhsPairQ(1, h, &v, ldr, inst); }
    void jac(void** h, double v) const { ldr->pLoadDerivDoublet(1, h, &v, ldr, inst); }
    void jacQ(void** h, double v) const { ldr->pLoadDerivDoubletQ(1, h, &v, ldr, inst); }
};

// ---- Orders and mode ------------------------------------------------------------

int simParamOrder(VXR_SimParam* p) {
    return p && p->pGetValue ? VXR_truncToIntChecked(p->pGetValue(nullptr, 0.0)) : 0;
}

void decideOnLaplaceMode(VXR_OpBranch_lap* op) {
    VXR_SimParam* pd = VXR_getSimParamCallback(op->_pParent, "maxLaplace_d_Order");
    VXR_SimParam* pp = VXR_getSimParamCallback(op->_pParent, "maxLaplace_p_Order");
    const int maxD = simParamOrder(pd), maxP = simParamOrder(pp);
    op->_use_lap_d = op->_denPoly;
    if (pd && maxD > 0 && op->_denPoly && op->_denomN >= maxD)
        op->_use_lap_d = 0;
    if (!op->_denPoly && (!pp || maxP >= 0) && op->_denomN >= maxP)
        op->_use_lap_d = 1;
}

// ---- Direct realisation -----------------------------------------------------------

bool finalizeTopology_lap_d(VXR_OpBranch_lap* op, void* cb) {
    const int K = op->_K;
    op->_numBiquads = 0;
    op->_sv_xk = allocZeroed<VXR_StateVar*>(op, K + 1);
    op->_nodeNames = allocZeroed<char*>(op, K + 1);
    if (!op->_sv_xk || !op->_nodeNames)
        return false;
    op->_branchVar = setupNode(op, op->_name, cb);
    for (int k = 0; k <= K; ++k) {
        char suffix[16];
        snprintf(suffix, sizeof suffix, "_x%d", k);
        char* name = nodeName(op, op->_name, suffix);
        if (!name)
            return false;
        op->_sv_xk[k] = setupNode(op, name, cb);
    }
    op->_auxBranch = op->_sv_xk[0];
    return true;
}

bool setStamp_lap_d(VXR_OpBranch_lap* op, void* cb) {
    const int K = op->_K, D = op->_denomN, N = op->_numerN;
    VXR_StateVar** x = op->_sv_xk;
    op->_rhsBranch = rhsPair(op, op->_branchVar, cb);
    op->_rhs_xk = allocZeroed<void*>(op, K + 1);
    op->_rhsQ_xk = allocZeroed<void*>(op, K + 1);
    op->_dbtJ_xk = allocZeroed<void**>(op, K + 1);
    op->_dbtJ_br_xk = allocZeroed<void*>(op, N + 1);
    if (!op->_rhs_xk || !op->_rhsQ_xk || !op->_dbtJ_xk || !op->_dbtJ_br_xk)
        return false;
    for (int k = 0; k <= K; ++k) {
        op->_rhs_xk[k] = rhsPair(op, x[k], cb);
        if (k >= 1)
            op->_rhsQ_xk[k] = rhsPairQ(op, x[k], cb);
    }
    op->_dbtJ_xk[0] = allocZeroed<void*>(op, D + 1);
    if (!op->_dbtJ_xk[0])
        return false;
    for (int j = 0; j <= D; ++j)
        op->_dbtJ_xk[0][j] = doublet(op, x[0], x[j], DC_ENTRY, cb);
    for (int k = 1; k <= K; ++k) {
        op->_dbtJ_xk[k] = allocZeroed<void*>(op, 2);
        if (!op->_dbtJ_xk[k])
            return false;
        op->_dbtJ_xk[k][0] = doublet(op, x[k], x[k - 1], DDT_ENTRY, cb);
        op->_dbtJ_xk[k][1] = doublet(op, x[k], x[k], DC_ENTRY, cb);
    }
    for (int k = 0; k <= N; ++k)
        op->_dbtJ_br_xk[k] = doublet(op, op->_branchVar, x[k], DC_ENTRY, cb);
    op->_dbtJ_br_br = doublet(op, op->_branchVar, op->_branchVar, DC_ENTRY, cb);
    op->_rhsAuxBranch = op->_rhs_xk[0];
    return true;
}

// The polynomial of one coefficient array in work[0 .. len-1]: its elements
// (polynomial form) or the product of its root factors (root form; a
// missing, unbounded or empty array gives 1).
void polynomialOf(const VXR_Array* a, bool isPoly, double* work, int len) {
    if (isPoly) {
        for (int i = 0; i < len; ++i)
            work[i] = elem(a, i);
        return;
    }
    if (!a || !a->_boundsSet || a->_dataLen == 0 || !a->_data._pReal) {
        work[0] = 1.0;
        for (int i = 1; i < len; ++i)
            work[i] = 0.0;
        return;
    }
    double* pairs = static_cast<double*>(VXR_malloc(static_cast<size_t>(a->_dataLen) * sizeof(double),
                                                     a->_pSimInterface, a->_pParent, nullptr));
    if (!pairs) {
        vxr_poly::polyFromRoots(work, len, nullptr, 0);
        return;
    }
    for (int i = 0; i < a->_dataLen; ++i)
        pairs[i] = elem(a, i);
    vxr_poly::polyFromRoots(work, len, pairs, a->_dataLen);
    VXR_free(pairs);
}

// A copy of a root-form array's (re, im) pairs with each complex root beside
// its conjugate; a root without one is reported. Null when out of memory.
double* conjugatePairs(VXR_OpBranch_lap* op, const VXR_Array* a, int len, bool denom) {
    double* pairs = allocZeroed<double>(op, len);
    if (!pairs)
        return nullptr;
    for (int i = 0; i < len; ++i)
        pairs[i] = elem(a, i);
    if (!vxr_poly::orderConjugatePairs(pairs, len))
        fatalNamed(op,
              denom ? "Complex poles must have corresponding conjugates for '%s'."
                    : "Complex zeros must have corresponding conjugates for '%s'.");
    return pairs;
}

// A root-form array whose complex roots lack their conjugates is reported as
// in the section realisation; the polynomial is still formed from it.
void checkConjugates(VXR_OpBranch_lap* op, const VXR_Array* a, bool isPoly, bool denom) {
    if (isPoly || !a || !a->_boundsSet || a->_dataLen < 2 || !a->_data._pReal)
        return;
    VXR_free(conjugatePairs(op, a, a->_dataLen, denom));
}

void computeCoeffs_lap_d(VXR_OpBranch_lap* op) {
    checkConjugates(op, op->_pNumer, op->_numPoly, false);
    checkConjugates(op, op->_pDenom, op->_denPoly, true);
    const int D = op->_denomN, N = op->_numerN, K = op->_K;
    // At least two values: an empty root array still gets its constant term.
    auto workLen = [](bool poly, int order, const VXR_Array* a) {
        const int n = poly ? order + 1 : countOf(a);
        return n > 2 ? n : 2;
    };
    const int lenA = workLen(op->_denPoly, D, op->_pDenom), lenB = workLen(op->_numPoly, N, op->_pNumer);
    double* A = allocZeroed<double>(op, lenA);
    double* B = allocZeroed<double>(op, lenB);
    double* c = allocZeroed<double>(op, K + 1);
    double* w = allocZeroed<double>(op, N + 1);
    char* p = allocZeroed<char>(op, D + 1);
    if (!A || !B || !c || !w || !p) {
        VXR_free(A);
        VXR_free(B);
        VXR_free(c);
        VXR_free(w);
        VXR_free(p);
        return; // reported; the previous coefficients stay
    }
    polynomialOf(op->_pDenom, op->_denPoly, A, lenA);
    polynomialOf(op->_pNumer, op->_numPoly, B, lenB);

    const double s0 = A[0] != 0.0 ? 1.0 / A[0] : 1.0;
    for (int i = 0; i <= D; ++i)
        A[i] *= s0;
    for (int i = 0; i <= N; ++i)
        B[i] *= s0;
    c[0] = 1.0;
    for (int i = 1; i <= D; ++i) {
        const bool zero = A[i] == 0.0;
        c[i] = zero ? kMissingCoeff : A[i];
        const double scale = zero ? 1.0 / kMissingCoeff : 1.0 / c[i];
        for (int j = i; j <= D; ++j)
            A[j] *= scale;
        for (int j = i; j <= N; ++j)
            B[j] *= scale;
    }
    for (int i = 0; i <= D; ++i)
        p[i] = A[i] != 0.0 ? 1 : 0;
    for (int i = D + 1; i <= N; ++i) { // improper filter: the chain continues on the numerator
        const bool zero = B[i] == 0.0;
        c[i] = zero ? kMissingCoeff : B[i];
        const double scale = zero ? 1.0 / kMissingCoeff : 1.0 / c[i];
        for (int j = i; j <= N; ++j)
            B[j] *= scale;
    }
    double G = 1.0;
    for (int i = 0; i <= N; ++i)
        if (fabs(B[i]) > G) // NaN passed over
            G = fabs(B[i]);
    for (int i = 0; i <= N; ++i)
        w[i] = B[i] / G;
    op->_Gain = G;

    VXR_free(op->_pC);
    VXR_free(op->_pNum);
    VXR_free(op->_pD);
    op->_pC = c;
    op->_pNum = w;
    op->_pD = p;
    VXR_free(A);
    VXR_free(B);
}

void load_lap_d(VXR_OpBranch_lap* op, const Loads& L, bool full) {
    const int D = op->_denomN, N = op->_numerN, K = op->_K;
    VXR_StateVar** x = op->_sv_xk;
    for (int k = 0; k <= D; ++k) {
        if (!op->_pD[k])
            continue;
        L.rhs(&op->_rhs_xk[0], -L.sol(x[k]));
        if (full)
            L.jac(&op->_dbtJ_xk[0][k], -1.0);
    }
    for (int k = 1; k <= K; ++k) {
        const double ck = op->_pC[k];
        if (full) {
            L.rhsQ(&op->_rhsQ_xk[k], ck * L.sol(x[k - 1]));
            L.jacQ(&op->_dbtJ_xk[k][0], ck);
            L.rhs(&op->_rhs_xk[k], -L.sol(x[k]));
            L.jac(&op->_dbtJ_xk[k][1], -1.0);
        } else {
            L.rhs(&op->_rhs_xk[k], -L.sol(x[k]));
            L.rhsQ(&op->_rhsQ_xk[k], ck * L.sol(x[k - 1]));
        }
    }
    for (int k = 0; k <= N; ++k) {
        L.rhs(&op->_rhsBranch, op->_pNum[k] * L.sol(x[k]));
        if (full)
            L.jac(&op->_dbtJ_br_xk[k], op->_pNum[k]);
    }
    L.rhs(&op->_rhsBranch, -L.sol(op->_branchVar));
    if (full)
        L.jac(&op->_dbtJ_br_br, -1.0);
}

// ---- Section realisation ----------------------------------------------------------

const double kEmptyBuffer[4] = {kEmpty, kEmpty, kEmpty, kEmpty};

void setIdentity(VXR_Biquad* b) {
    double unused = 1.0;
    VXR_setBiquadCoeffs(b, kEmptyBuffer, kEmptyBuffer, &unused);
}

bool finalizeTopology_lap_p(VXR_OpBranch_lap* op, void* cb) {
    const int n = (op->_K + 1) / 2;
    op->_numBiquads = 0;
    op->_nodeNames = allocZeroed<char*>(op, n + 1);
    op->_biquads = allocZeroed<VXR_Biquad*>(op, n);
    if (!op->_nodeNames || !op->_biquads)
        return false;
    char* auxName = nodeName(op, op->_name, "_aux");
    if (!auxName)
        return false;
    op->_auxBranch = setupNode(op, auxName, cb);
    op->_branchVar = op->_auxBranch;
    for (int i = 0; i < n; ++i) {
        VXR_Biquad* b = allocZeroed<VXR_Biquad>(op, 1);
        if (!b)
            return false;
        op->_biquads[op->_numBiquads++] = b;
        setIdentity(b);
        char suffix[16];
        snprintf(suffix, sizeof suffix, "_%d", i);
        char* name = joinName(op, op->_name, suffix); // owned by the section
        if (!name)
            return false;
        b->_name = name;
        b->_pParent = op->_pParent;
        b->_svIn = i == 0 ? op->_auxBranch : op->_biquads[i - 1]->_svResult;
        b->_svResult = setupNode(op, name, cb);
        char* internal = nodeName(op, name, "_i");
        if (!internal)
            return false;
        b->_sv1 = setupNode(op, internal, cb);
        op->_branchVar = b->_svResult;
    }
    return true;
}

void setStamp_lap_p(VXR_OpBranch_lap* op, void* cb) {
    op->_rhsAuxBranch = rhsPair(op, op->_auxBranch, cb);
    op->_dbtJ_br_br = doublet(op, op->_auxBranch, op->_auxBranch, DC_ENTRY, cb);
    for (int i = 0; i < op->_numBiquads; ++i) {
        VXR_Biquad* b = op->_biquads[i];
        b->_rhsResult = rhsPair(op, b->_svResult, cb);
        b->_rhsResultQ = rhsPairQ(op, b->_svResult, cb);
        b->_rhsInt = rhsPair(op, b->_sv1, cb);
        b->_rhsIntQ = rhsPairQ(op, b->_sv1, cb);
        b->_dbtJ_out_out = doublet(op, b->_svResult, b->_svResult, DC_ENTRY, cb);
        b->_dbtJ_out_in = doublet(op, b->_svResult, b->_svIn, DC_ENTRY, cb);
        b->_dbtJ_out_d1 = doublet(op, b->_svResult, b->_sv1, DDT_ENTRY, cb);
        b->_dbtJ_d1_d1 = doublet(op, b->_sv1, b->_sv1, DC_ENTRY, cb);
        b->_dbtJ_d1_in = doublet(op, b->_sv1, b->_svIn, GEN_ENTRY, cb);
        b->_dbtJ_d1_out = doublet(op, b->_sv1, b->_svResult, GEN_ENTRY, cb);
    }
}

void biquadLoad(VXR_Biquad* b, const Loads& L, bool full) {
    const double y = L.sol(b->_svResult), v = L.sol(b->_svIn), x1 = L.sol(b->_sv1);
    const double* n = b->_n;
    const double* d = b->_d;
    const double w = b->_Cnorm;
    L.rhs(&b->_rhsResult, y * d[0]);
    L.rhs(&b->_rhsResult, -v * n[0]);
    L.rhsQ(&b->_rhsResultQ, -x1 * w);
    if (full) {
        L.jac(&b->_dbtJ_out_out, d[0]);
        L.jac(&b->_dbtJ_out_in, -n[0]);
        L.jacQ(&b->_dbtJ_out_d1, -w);
    }
    L.rhs(&b->_rhsInt, x1);
    L.rhs(&b->_rhsInt, y * d[1] - v * n[1]);
    L.rhsQ(&b->_rhsIntQ, (y * d[2] - v * n[2]) * w);
    if (full) {
        L.jac(&b->_dbtJ_d1_d1, 1.0);
        L.jac(&b->_dbtJ_d1_out, d[1]);
        L.jac(&b->_dbtJ_d1_in, -n[1]);
        L.jacQ(&b->_dbtJ_d1_out, d[2] * w);
        L.jacQ(&b->_dbtJ_d1_in, -n[2] * w);
    }
}

void load_lap_p(VXR_OpBranch_lap* op, const Loads& L, bool full) {
    L.rhs(&op->_rhsAuxBranch, -L.sol(op->_auxBranch));
    if (full)
        L.jac(&op->_dbtJ_br_br, -1.0);
    for (int i = 0; i < op->_numBiquads; ++i)
        biquadLoad(op->_biquads[i], L, full);
}

void setupRoots(RootInfo* r, int n) {
    for (int i = 0; i < n; ++i) {
        r[i].MatchIndex = r[i].PairIndex = -1;
        const bool cpx = r[i].Imag != 0.0; // a NaN counts as complex
        r[i]._isCpx = r[i]._isPaired = cpx;
        r[i]._isMatched = r[i]._done = r[i].Imag < 0.0;
    }
}

int matchPoleZeros(RootInfo* zeros, RootInfo* poles, int nz, int np, int zeroCpx, int poleCpx) {
    double best = 1e100;
    int bp = -1, bz = -1;
    for (int i = 0; i < np; ++i) {
        if (poles[i]._isMatched || (poleCpx && !poles[i]._isCpx))
            continue;
        for (int j = 0; j < nz; ++j) {
            if (zeros[j]._isMatched || (zeroCpx && !zeros[j]._isCpx))
                continue;
            const double d = fabs(poles[i].Real - zeros[j].Real) + fabs(poles[i].Imag - zeros[j].Imag);
            if (d < best) {
                best = d;
                bp = i;
                bz = j;
            }
        }
    }
    if (bp < 0)
        return 0;
    poles[bp]._isMatched = zeros[bz]._isMatched = 1;
    poles[bp].MatchIndex = bz;
    zeros[bz].MatchIndex = bp;
    return 1;
}

int matchedWeight(const RootInfo& r, const RootInfo* other) {
    if (!r._isMatched || r.MatchIndex < 0)
        return 0;
    const RootInfo& m = other[r.MatchIndex];
    return (m._isCpx || m._isPaired) ? 2 : 1;
}

int pairRealRoots(RootInfo* other, RootInfo* list, int count) {
    double best = 1e100;
    int bi = -1, bj = -1;
    for (int i = 0; i < count; ++i) {
        if (list[i]._isPaired)
            continue;
        for (int j = 0; j < count; ++j) {
            if (j == i || list[j]._isPaired)
                continue;
            if (matchedWeight(list[i], other) + matchedWeight(list[j], other) > 2)
                continue;
            const double d = fabs(list[i].Real - list[j].Real);
            if (d < best) {
                best = d;
                bi = i;
                bj = j;
            }
        }
    }
    if (bi < 0)
        return 0;
    list[bi]._isPaired = list[bj]._isPaired = 1;
    list[bi].PairIndex = bj;
    list[bj].PairIndex = bi;
    if (list[bi]._isMatched && list[bj]._isMatched && list[bi].MatchIndex >= 0 && list[bj].MatchIndex >= 0) {
        RootInfo& mi = other[list[bi].MatchIndex];
        RootInfo& mj = other[list[bj].MatchIndex];
        mi._isPaired = mj._isPaired = 1;
        mi.PairIndex = list[bj].MatchIndex;
        mj.PairIndex = list[bi].MatchIndex;
    }
    return 1;
}

bool slotTaken(const double* buf, int slot) { return buf[2 * slot] != kEmpty; }

// Puts root j (and a paired partner) into the buffer; false when a root
// would land on a taken slot, which this grouping cannot represent.
bool addFactor(RootInfo* records, double* buf, int j) {
    RootInfo& r = records[j];
    r._done = 1;
    if (r._isCpx) {
        if (slotTaken(buf, 0) || slotTaken(buf, 1))
            return false;
        buf[0] = r.Real;
        buf[1] = r.Imag;
        buf[2] = r.Real;
        buf[3] = -r.Imag;
        return true;
    }
    if (slotTaken(buf, 0)) {
        if (slotTaken(buf, 1))
            return false;
        buf[2] = r.Real;
        buf[3] = 0.0;
        return true;
    }
    buf[0] = r.Real;
    buf[1] = 0.0;
    if (r._isPaired && r.PairIndex >= 0) {
        if (slotTaken(buf, 1))
            return false;
        RootInfo& partner = records[r.PairIndex];
        buf[2] = partner.Real;
        buf[3] = 0.0;
        partner._done = 1;
    }
    return true;
}

void clearGroup(RootGroup& g) {
    memcpy(g.zeros, kEmptyBuffer, sizeof g.zeros);
    memcpy(g.poles, kEmptyBuffer, sizeof g.poles);
}

// The grouping by matching and pairing; returns the number of groups, or -1
// when they do not fit maxGroups or a section would lose a root.
int matchedGroups(RootInfo* zeros, int nz, RootInfo* poles, int np, RootGroup* groups, int maxGroups) {
    while (matchPoleZeros(zeros, poles, nz, np, 1, 1)) {}
    while (matchPoleZeros(zeros, poles, nz, np, 0, 0)) {}
    while (pairRealRoots(zeros, poles, np)) {}
    while (pairRealRoots(poles, zeros, nz)) {}
    int count = 0;
    for (int i = 0; i < np; ++i) {
        if (poles[i]._done)
            continue;
        if (count >= maxGroups)
            return -1;
        RootGroup& g = groups[count++];
        clearGroup(g);
        if (!addFactor(poles, g.poles, i))
            return -1;
        const RootInfo& p = poles[i];
        int zero = -1;
        if (p._isMatched)
            zero = p.MatchIndex;
        else if (!p._isCpx && p._isPaired && p.PairIndex >= 0 && poles[p.PairIndex]._isMatched)
            zero = poles[p.PairIndex].MatchIndex;
        if (zero >= 0 && !addFactor(zeros, g.zeros, zero))
            return -1;
    }
    for (int i = 0; i < nz; ++i) {
        if (zeros[i]._done)
            continue;
        if (count >= maxGroups)
            return -1;
        RootGroup& g = groups[count++];
        clearGroup(g);
        if (!addFactor(zeros, g.zeros, i))
            return -1;
    }
    return count;
}

// Fallback grouping that always fits ceil(n/2) sections per list: complex
// pairs alone, real roots two by two in index order.
void plainGroups(const RootInfo* r, int n, RootGroup* groups, int maxGroups, bool poles) {
    int count = 0, openReal = -1;
    for (int i = 0; i < n; ++i) {
        if (r[i].Imag < 0.0)
            continue; // the conjugate stands for the pair
        double* buf;
        if (!r[i]._isCpx && openReal >= 0) {
            buf = poles ? groups[openReal].poles : groups[openReal].zeros;
            buf[2] = r[i].Real;
            buf[3] = 0.0;
            openReal = -1;
            continue;
        }
        if (count >= maxGroups)
            return; // only without conjugates, which was reported
        buf = poles ? groups[count].poles : groups[count].zeros;
        buf[0] = r[i].Real;
        buf[1] = r[i]._isCpx ? r[i].Imag : 0.0;
        if (r[i]._isCpx) {
            buf[2] = r[i].Real;
            buf[3] = -r[i].Imag;
        } else {
            openReal = count;
        }
        ++count;
    }
}

// Roots of a polynomial-form array into records; false after a failure
// (reported), with the records left at zero.
void rootsFromPolynomial(VXR_OpBranch_lap* op, const VXR_Array* a, int order, RootInfo* records, bool denom) {
    double* coeffs = allocZeroed<double>(op, order + 1);
    VXR_ComplexNumber* roots = allocZeroed<VXR_ComplexNumber>(op, order + 1);
    if (coeffs && roots) {
        for (int i = 0; i <= order; ++i)
            coeffs[i] = elem(a, i);
        int mirrored = denom ? 1 : 0;
        const int found = findPolyRootsEigensolve(coeffs, order + 1, roots, simIfOf(op), &mirrored);
        if (found != order) {
            fatalNamed(op,
                  denom ? "Unable to accurately factor denominator polynomial for operator '%s'. Please use an "
                          "alternate formulation"
                        : "Unable to accurately factor numerator polynomial for operator '%s'. Please use an "
                          "alternate formulation");
            memset(roots, 0, static_cast<size_t>(order + 1) * sizeof(VXR_ComplexNumber));
        }
        if (denom && mirrored > 0) {
            char buf[VXR_MESSAGE_BUFFER_CHARS + 1];
            const char* full = VXR_GetFullHierName(op->_pParent);
            snprintf(buf, sizeof buf,
                     "During factorization of the denominator for %s.%s,\n     (%d) unstable roots were mirrored to "
                     "the left half plane.",
                     full ? full : "", op->_name, mirrored);
            VXR_Message(simIfOf(op), op->_pParent, nullptr, MessageTypeE_WARNING, buf);
        }
        for (int i = 0; i < order; ++i) {
            records[i].Real = roots[i].Real;
            records[i].Imag = roots[i].Imag;
        }
    }
    VXR_free(coeffs);
    VXR_free(roots);
}

void rootsFromRootArray(VXR_OpBranch_lap* op, const VXR_Array* a, int order, RootInfo* records, bool denom) {
    const int len = countOf(a);
    double* pairs = conjugatePairs(op, a, len, denom);
    if (!pairs)
        return;
    for (int i = 0; i < order && 2 * i + 1 < len; ++i) {
        records[i].Real = pairs[2 * i];
        records[i].Imag = pairs[2 * i + 1];
    }
    VXR_free(pairs);
}

void sortBiquads(VXR_OpBranch_lap* op) {
    bool swapped = true;
    while (swapped) {
        swapped = false;
        for (int i = 0; i + 1 < op->_numBiquads; ++i) {
            VXR_Biquad* a = op->_biquads[i];
            VXR_Biquad* b = op->_biquads[i + 1];
            if (b->_d[1] > a->_d[1]) {
                // swapBiquadCoeffs: nodes and handles stay in place
                double t[7];
                memcpy(t, a->_n, sizeof a->_n);
                memcpy(t + 3, a->_d, sizeof a->_d);
                t[6] = a->_Cnorm;
                memcpy(a->_n, b->_n, sizeof a->_n);
                memcpy(a->_d, b->_d, sizeof a->_d);
                a->_Cnorm = b->_Cnorm;
                memcpy(b->_n, t, sizeof b->_n);
                memcpy(b->_d, t + 3, sizeof b->_d);
                b->_Cnorm = t[6];
                swapped = true;
            }
        }
    }
}

void computeCoeffs_lap_p(VXR_OpBranch_lap* op) {
    const int nz = op->_numerN > 0 ? op->_numerN : 0;
    const int np = op->_denomN > 0 ? op->_denomN : 0;
    const int maxGroups = nz + np > op->_numBiquads ? nz + np : op->_numBiquads;
    RootInfo* zeros = allocZeroed<RootInfo>(op, nz);
    RootInfo* poles = allocZeroed<RootInfo>(op, np);
    RootGroup* groups = allocZeroed<RootGroup>(op, maxGroups);
    if (!zeros || !poles || !groups) {
        VXR_free(zeros);
        VXR_free(poles);
        VXR_free(groups);
        return;
    }
    double G = 1.0;
    if (op->_numPoly) {
        if (countOf(op->_pNumer) >= 1)
            G = getLeadingCoeff(op->_pNumer);
        if (countOf(op->_pNumer) >= 2)
            rootsFromPolynomial(op, op->_pNumer, nz, zeros, false);
    } else if (op->_pNumer) {
        rootsFromRootArray(op, op->_pNumer, nz, zeros, false);
    }
    setupRoots(zeros, nz);
    if (!op->_denPoly) {
        if (op->_pDenom)
            rootsFromRootArray(op, op->_pDenom, np, poles, true);
    } else {
        if (countOf(op->_pDenom) >= 1)
            G /= getLeadingCoeff(op->_pDenom);
        if (countOf(op->_pDenom) >= 2)
            rootsFromPolynomial(op, op->_pDenom, np, poles, true);
    }
    setupRoots(poles, np);

    int count = matchedGroups(zeros, nz, poles, np, groups, maxGroups);
    if (count < 0 || count > op->_numBiquads) {
        // More groups than the sections made at topology: group plainly.
        count = op->_numBiquads;
        for (int i = 0; i < count; ++i)
            clearGroup(groups[i]);
        plainGroups(poles, np, groups, count, true);
        plainGroups(zeros, nz, groups, count, false);
    }
    for (int i = 0; i < op->_numBiquads; ++i) {
        if (i < count)
            VXR_setBiquadCoeffs(op->_biquads[i], groups[i].zeros, groups[i].poles, &G);
        else
            setIdentity(op->_biquads[i]);
    }
    sortBiquads(op);
    op->_Gain = G;
    VXR_free(zeros);
    VXR_free(poles);
    VXR_free(groups);
}

// Normalised factor of the roots in a buffer, ascending powers of s.
void convertBiquadPoleToPoly(const double* buf, double out[3]) {
    double re[2], im[2];
    int n = 0;
    for (int s = 0; s < 2; ++s)
        if (slotTaken(buf, s)) {
            re[n] = buf[2 * s];
            im[n] = buf[2 * s + 1];
            ++n;
        }
    auto atZero = [&](int k) { return re[k] == 0.0 && im[k] == 0.0; };
    out[0] = 1.0;
    out[1] = 0.0;
    out[2] = 0.0;
    if (n == 0)
        return;
    if (n == 1) {
        if (atZero(0)) {
            out[0] = 0.0;
            out[1] = 1.0;
        } else {
            out[1] = -1.0 / re[0];
        }
        return;
    }
    if (atZero(0) && atZero(1)) {
        out[0] = 0.0;
        out[2] = 1.0;
    } else if (atZero(0) || atZero(1)) {
        const double r = atZero(0) ? re[1] : re[0];
        out[0] = 0.0;
        out[1] = 1.0;
        out[2] = -1.0 / r;
    } else {
        const double P = re[0] * re[1] - im[0] * im[1];
        out[1] = -(re[0] + re[1]) / P;
        out[2] = 1.0 / P;
    }
}

// Frequency scale of one normalised factor, 0 when none of the rules applies.
double scaleOf(const double* c) {
    if (c[2] != 0.0 && c[0] != 0.0)
        return sqrt(fabs(c[2] / c[0]));
    if (c[2] != 0.0 && c[0] == 0.0 && c[1] != 0.0)
        return fabs(c[2] / c[1]);
    if (c[2] == 0.0 && c[1] != 0.0 && c[0] != 0.0)
        return fabs(c[1] / c[0]);
    return 0.0;
}

} // namespace

extern "C" {

void VXR_setBiquadCoeffs(VXR_Biquad* b, const double* zeros, const double* poles, double* pG) {
    convertBiquadPoleToPoly(zeros, b->_n);
    convertBiquadPoleToPoly(poles, b->_d);
    double w = scaleOf(b->_d);
    if (w == 0.0)
        w = scaleOf(b->_n);
    if (w == 0.0)
        w = 1e-6;
    const double w2 = w * w;
    b->_d[2] /= w2;
    b->_d[1] /= w;
    b->_n[2] /= w2;
    b->_n[1] /= w;
    b->_Cnorm = w;
    if (fabs(b->_n[2]) > 1.5 || fabs(b->_n[1]) > 1.5) {
        const double m = (fabs(b->_n[2]) > fabs(b->_n[1]) ? fabs(b->_n[2]) : fabs(b->_n[1])) / 1.5;
        for (double& v : b->_n)
            v /= m;
        *pG *= m;
    }
}

VXR_OpBranch_lap* VXR_createOpBranch_lap(const char* name, VXR_DeviceInst* pParent, int N, int D) {
    auto* op = static_cast<VXR_OpBranch_lap*>(
        VXR_calloc(1, sizeof(VXR_OpBranch_lap), pParent->pSimInterface, pParent, name));
    if (!op)
        return nullptr;
    op->_name = name;
    op->_pParent = pParent;
    op->_Gain = 1.0;
    op->_numPoly = N == 0;
    op->_denPoly = D == 0;
    return op;
}

void VXR_lapInitArrayArg(VXR_OpBranch_lap* op, VXR_Array* pNumerator, VXR_Array* pDenominator) {
    auto keep = [](VXR_Array* a, bool& own) -> VXR_Array* {
        own = false;
        if (a && a->_digID < 0 && a->_isVar) {
            if (VXR_Array* copy = VXR_duplicateArray(a)) {
                own = true;
                return copy;
            }
        }
        return a;
    };
    bool ownN, ownD;
    op->_pNumer = keep(pNumerator, ownN);
    op->_pDenom = keep(pDenominator, ownD);
    op->_ownNumer = ownN;
    op->_ownDenom = ownD;
}

void VXR_lapFinalizeTopology(VXR_OpBranch_lap* op, void* pCallbackInfo) {
    int n = countOf(op->_pNumer), d = countOf(op->_pDenom);
    if (!op->_denPoly && d % 2)
        fatalNamed(op, "Operator '%s' expects an even number of denominator coefficients.");
    if (!op->_numPoly && n % 2)
        fatalNamed(op, "Operator '%s' expects an even number of numerator coefficients.");
    bool zeroPoly = false;
    if (op->_denPoly && !isDigital(op->_pDenom)) {
        d = trimmedCount(op->_pDenom);
        if (d == 0) {
            fatal(op, "In laplace operators, the denominator polynomial cannot be 0");
            zeroPoly = true;
        }
    }
    if (op->_numPoly && !isDigital(op->_pNumer)) {
        n = trimmedCount(op->_pNumer);
        if (n == 0) {
            fatal(op, "In laplace operators, the numerator polynomial should not be 0");
            zeroPoly = true;
        }
    }
    op->_numerN = op->_numPoly ? n - 1 : n / 2;
    op->_denomN = op->_denPoly ? d - 1 : d / 2;
    decideOnLaplaceMode(op);
    op->_K = op->_numerN > op->_denomN ? op->_numerN : op->_denomN;
    // A zero or missing polynomial was reported and ends the run; until then
    // the operator has no rows, loads nothing and its output reads 0.
    if (zeroPoly || op->_denomN < 0 || op->_K < 0) {
        op->_inert = 1;
        return;
    }
    const bool ok = op->_use_lap_d ? finalizeTopology_lap_d(op, pCallbackInfo) : finalizeTopology_lap_p(op, pCallbackInfo);
    if (!ok)
        op->_inert = 1; // an allocation failed and was reported
}

void VXR_lapSetStamp(VXR_OpBranch_lap* op, void* pCallbackInfo) {
    if (op->_inert)
        return;
    if (!op->_use_lap_d)
        setStamp_lap_p(op, pCallbackInfo);
    else if (!setStamp_lap_d(op, pCallbackInfo))
        op->_inert = 1;
}

static void refreshCoeffs(VXR_OpBranch_lap* op, VXR_ContribLoader* ldr);

void VXR_lapSetArg(VXR_OpBranch_lap* op, double F, VXR_Array* pNumerator, VXR_Array* pDenominator,
                   VXR_ContribLoader* ldr) {
    if (op->_inert)
        return;
    VXR_Array* kept[2] = {op->_pNumer, op->_pDenom};
    VXR_Array* given[2] = {pNumerator, pDenominator};
    for (int i = 0; i < 2; ++i) {
        VXR_Array* k = kept[i];
        VXR_Array* a = given[i];
        if (!a || !a->_isVar || !k || k == a || !arrayDiff(k, a))
            continue;
        if (a->_dataLen != k->_dataLen) {
            // The orders and nodes were fixed at topology from the old length.
            char buf[VXR_MESSAGE_BUFFER_CHARS + 1];
            snprintf(buf, sizeof buf,
                     "Coefficient array '%s' of operator '%s' changed from %d to %d elements after topology.",
                     VXR_nameOrNull(a->_arrayName), op->_name, k->_dataLen, a->_dataLen);
            VXR_fatalUserError(simIfOf(op), op->_pParent, buf);
            continue;
        }
        VXR_assignArray(k, a);
        k->_contentsModified = 1;
    }
    refreshCoeffs(op, ldr);
    double value = F * op->_Gain;
    ldr->pLoadRhsPair(1, &op->_rhsAuxBranch, &value, ldr, op->_pParent);
}

void VXR_lapSetArg_dwrt(VXR_OpBranch_lap* op, void* pDoublet, double val, VXR_ContribLoader* ldr) {
    if (op->_inert || !pDoublet)
        return;
    double value = val * op->_Gain;
    ldr->pLoadDerivDoublet(1, &pDoublet, &value, ldr, op->_pParent);
}

void* VXR_getDerivDoubletOpBranch_lap(VXR_OpBranch_lap* op, VXR_StateVar* svColPlus, VXR_StateVar* svColMinus,
                                      VXR_StampTargetE target, VXR_DepTypeE dep, void* pCallbackInfo) {
    if (op->_inert)
        return nullptr;
    return simIfOf(op)->pGetDerivDoublet(op->_auxBranch, svColPlus, svColMinus, target, dep, op->_pParent,
                                         pCallbackInfo);
}

// Refresh of digital arrays and recomputation after any change. SetArg runs
// it before it loads G x F, so that the first pass and the first after a
// change already use the new gain; the loads run it for callers without SetArg.
static void refreshCoeffs(VXR_OpBranch_lap* op, VXR_ContribLoader* ldr) {
    if (isDigital(op->_pNumer))
        doSyncDigitalArray(op->_pNumer, op->_pParent, ldr);
    if (isDigital(op->_pDenom))
        doSyncDigitalArray(op->_pDenom, op->_pParent, ldr);
    if (!op->_coeffsComputed || (op->_pNumer && op->_pNumer->_contentsModified) ||
        (op->_pDenom && op->_pDenom->_contentsModified)) {
        if (op->_use_lap_d)
            computeCoeffs_lap_d(op);
        else
            computeCoeffs_lap_p(op);
        op->_coeffsComputed = 1;
        if (op->_pNumer)
            op->_pNumer->_contentsModified = 0;
        if (op->_pDenom)
            op->_pDenom->_contentsModified = 0;
    }
}

static void lapLoad(VXR_OpBranch_lap* op, VXR_ContribLoader* ldr, bool full) {
    if (op->_inert)
        return;
    refreshCoeffs(op, ldr);
    const Loads L{ldr, op->_pParent};
    if (op->_use_lap_d) {
        if (op->_pC) // absent only after a reported allocation failure
            load_lap_d(op, L, full);
    } else {
        load_lap_p(op, L, full);
    }
}

void VXR_lapGenericLoad(VXR_OpBranch_lap* op, VXR_ContribLoader* ldr) { lapLoad(op, ldr, true); }
void VXR_lapGenericLoadRHS(VXR_OpBranch_lap* op, VXR_ContribLoader* ldr) { lapLoad(op, ldr, false); }

VXR_StateVar* VXR_getBranchVar_lap(VXR_OpBranch_lap* op) {
    return op && !op->_inert ? op->_branchVar : nullptr;
}

void VXR_reportNoiseContribForOp_lap(VXR_OpBranch_lap* op, int noiseSrcNum, void* pCallbackInfo) {
    if (!op || op->_inert || !simIfOf(op)->pReportNoiseContrib)
        return;
    simIfOf(op)->pReportNoiseContrib(noiseSrcNum, op->_rhsAuxBranch, op->_pParent, pCallbackInfo);
}

void VXR_addNoiseForOp_lap(VXR_NoiseSrc* pSrc, VXR_OpBranch_lap* op, double /*coeff*/, VXR_ContribLoader* /*ldr*/) {
    if (op->_inert)
        return;
    // The source enters at the input row; the filter shapes it.
    VXR_addColoredNoise(pSrc, op->_rhsAuxBranch, 1.0, nullptr);
}

// The operator's state lives in the host's solution variables.
void VXR_lapAcceptTimePoint(VXR_OpBranch_lap*, VXR_ContribLoader*) {}
void VXR_lapReset(VXR_OpBranch_lap*) {}
void* VXR_lapSaveState(VXR_OpBranch_lap*) { return nullptr; }
void VXR_lapRestoreState(VXR_OpBranch_lap*, void*) {}
void VXR_lapReportLinearScale(VXR_OpBranch_lap*, double) {}

void VXR_destroyOpBranch_lap(VXR_OpBranch_lap* op) {
    if (!op)
        return;
    for (int i = 0; op->_biquads && i < op->_numBiquads; ++i) {
        if (op->_biquads[i])
            VXR_free(const_cast<char*>(op->_biquads[i]->_name));
        VXR_free(op->_biquads[i]);
    }
    VXR_free(op->_biquads);
    if (op->_dbtJ_xk)
        for (int k = 0; k <= op->_K; ++k)
            VXR_free(op->_dbtJ_xk[k]);
    VXR_free(op->_dbtJ_xk);
    VXR_free(op->_dbtJ_br_xk);
    VXR_free(op->_sv_xk);
    VXR_free(op->_rhs_xk);
    VXR_free(op->_rhsQ_xk);
    VXR_free(op->_pNum);
    VXR_free(op->_pC);
    VXR_free(op->_pD);
    for (int i = 0; i < op->_numNodeNames; ++i)
        VXR_free(op->_nodeNames[i]);
    VXR_free(op->_nodeNames);
    if (op->_ownNumer)
        releaseArray(op->_pNumer);
    if (op->_ownDenom)
        releaseArray(op->_pDenom);
    VXR_free(op);
}

} // extern "C"

#endif // VXR_REVISION == 187
