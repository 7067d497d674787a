// Laplace operators of revisions 1.60 and 1.42: laplace_nd, laplace_np,
// laplace_zd and laplace_zp. Each record takes one of two forms at creation:
// a pole-residue branch whose response the host computes, or an algebraic
// realisation from derivative-chain blocks and second-order sections. The
// shared method set forwards to the branch or works on the realisation.
//
// The algebraic realisation works on a state z, the input variable: the
// input row makes D(d/dt) z equal to the argument and the output row makes
// y = N(d/dt) z. Every derivative the blocks form is then one of z, whose
// derivatives below the order of D stay continuous for any bounded
// argument; differentiating the argument itself would turn each corner of
// a piecewise-linear input into an impulse of height 1/h (an undamped
// +-1/h alternation under the trapezoidal rule) once the numerator reaches
// the second order.
#include <cstring>

#include "VXR_Laplace.h"

#if VXR_REVISION != 187

namespace {

VXR_SimInterface* hostOf(VXR_DeviceInst* inst) {
    return inst->pSimInterface;
}

void loadOne(void (*member)(int, void**, double*, VXR_ContribLoader*), void* handle, double value,
             VXR_ContribLoader* ldr) {
    member(1, &handle, &value, ldr);
}

double sol(VXR_ContribLoader* ldr, VXR_StateVar* sv) {
    return sv ? ldr->pGetSol(sv, ldr) : 0.0;
}

// An ERROR about the operator with the instance, then the host's "exit".
void lapError(const char* name, VXR_DeviceInst* inst, const char* fmt) {
    char* text = lapFormatName(inst, fmt, name);
    if (text)
        VXR_Message(hostOf(inst), inst, nullptr, MessageTypeE_ERROR, text);
    VXR_free(text);
    hostOf(inst)->pSystemRequest("exit", 1, inst, nullptr, hostOf(inst));
}

bool modified(const VXR_Array* a) {
    return a && a->_contentsModified;
}

void clearModified(VXR_Array* a) {
    if (a)
        a->_contentsModified = 0;
}

double* reals(const VXR_Array* a) {
    return a ? a->_data._pReal : nullptr;
}

template <class T> T* workAlloc(size_t n, VXR_DeviceInst* inst) {
    return static_cast<T*>(VXR_malloc(n * sizeof(T), hostOf(inst), inst, nullptr));
}

template <class Op> bool refreshDue(const Op* op) {
    return !op->_coeffsComputed || modified(op->_pNumer) || modified(op->_pDenom);
}

template <class Op> Op* createRecord(const char* name, VXR_DeviceInst* parent, VXR_Array* a, VXR_Array* b) {
    auto* op = static_cast<Op*>(VXR_malloc(sizeof(Op), hostOf(parent), parent, name));
    if (!op)
        return nullptr;
    memset(op, 0, sizeof(Op));
    op->_name = name;
    op->_pParent = parent;
    op->_pNumer = a;
    op->_pDenom = b;
    return op;
}

bool solvesCompletely(const VXR_Array* denom, VXR_DeviceInst* inst) {
    const int D = arrayLen(denom) - 1;
    return solveForRoots(reals(denom), D, nullptr, hostOf(inst)) == D;
}

// The block takes at most its order; a different length is an error.
void setBlockCoeffs(const char* name, VXR_DeviceInst* inst, VXR_RealPolyN* block, VXR_Array* arr) {
    if (block && !VXR_RealPolyN_SetCoeffs(block, arr))
        lapError(name, inst, "Operator '%s' changed the length of a coefficient array after its topology was built.");
}

// Sections of a chain, reading from start on; names "%s.<tag>%d".
VXR_SectionPoly2** makeChain(VXR_DeviceInst* inst, const char* name, const char* fmt, int count,
                             VXR_StateVar* start, VXR_StateVar** out, void* cbInfo) {
    *out = start;
    if (count <= 0)
        return nullptr;
    auto** list = workAlloc<VXR_SectionPoly2*>(count, inst);
    if (!list)
        return nullptr;
    for (int k = 0; k < count; ++k) {
        char* secName = lapFormatName(inst, fmt, name, k);
        list[k] = secName ? VXR_createSectionPoly2(inst, secName) : nullptr;
        if (!list[k]) {
            VXR_free(secName);
            continue; // reported by the allocator
        }
        VXR_SectionPoly2_FinalizeTopology(list[k], *out, cbInfo);
        *out = list[k]->_polyVar;
    }
    return list;
}

void freeChain(VXR_SectionPoly2** list, int count) {
    if (!list)
        return;
    for (int k = 0; k < count; ++k)
        VXR_destroySectionPoly2(list[k]);
    VXR_free(list);
}

void stampChain(VXR_SectionPoly2** list, int count, void* cbInfo) {
    if (list)
        for (int k = 0; k < count; ++k)
            if (list[k])
                VXR_SectionPoly2_SetStamp(list[k], cbInfo);
}

void loadChain(VXR_SectionPoly2** list, int count, VXR_ContribLoader* ldr, bool jac) {
    if (list)
        for (int k = 0; k < count; ++k)
            if (list[k]) {
                if (jac)
                    VXR_SectionPoly2_LoadJacAndRhs(list[k], ldr);
                else
                    VXR_SectionPoly2_LoadRhs(list[k], ldr);
            }
}

// Roots sorted for the sections: upper-half complex roots (re, im) and real
// roots (re), in array order; lower-half roots stand for their conjugates.
// Released by release(): no destructor, so no unwinding code in the library.
struct RootLists {
    double* cplx = nullptr;
    double* real = nullptr;
    int nCplx = 0, nReal = 0;
    bool ok = true;
    RootLists(const double* v, int count, VXR_DeviceInst* inst) {
        if (count <= 0)
            return;
        cplx = workAlloc<double>(count, inst);
        real = workAlloc<double>(count, inst);
        ok = cplx && real;
        if (!ok)
            return;
        for (int p = 0; p + 1 < count; p += 2) {
            if (v[p + 1] > 0.0) {
                cplx[2 * nCplx] = v[p];
                cplx[2 * nCplx + 1] = v[p + 1];
                ++nCplx;
            } else if (!(v[p + 1] < 0.0)) {
                real[nReal++] = v[p];
            }
        }
    }
    void release() {
        VXR_free(cplx);
        VXR_free(real);
        cplx = real = nullptr;
    }
};

// Fills a chain from the lists: conjugate pairs first (the last listed
// first), then real roots in twos from the end; a lone real root when
// single is allowed. A section left without roots gets the factor 1.
void fillChain(VXR_SectionPoly2** list, int count, RootLists& r, bool singleAllowed) {
    for (int k = 0; list && k < count; ++k) {
        VXR_SectionPoly2* s = list[k];
        if (!s)
            continue;
        if (r.nCplx > 0) {
            --r.nCplx;
            VXR_setSectionPoly2CoeffsCmplx(s, r.cplx[2 * r.nCplx], r.cplx[2 * r.nCplx + 1]);
        } else if (r.nReal >= 2) {
            double a = r.real[--r.nReal];
            double b = r.real[--r.nReal];
            VXR_setSectionPoly2CoeffsReal(s, a, b);
        } else if (r.nReal == 1 && singleAllowed) {
            VXR_setSectionPoly2CoeffsSingleReal(s, r.real[--r.nReal]);
        } else {
            s->_c0 = 1.0;
            s->_c1 = s->_c2 = 0.0;
            s->_coeffsSet = 1;
        }
    }
}

// The first-order zero factor from the one real zero left, if any.
template <class Op> void takeOddZero(Op* op, RootLists& z) {
    if (z.nReal != 1)
        return;
    double r = z.real[--z.nReal];
    op->_a0 = r == 0.0 ? 0.0 : 1.0;
    op->_b0 = r == 0.0 ? 1.0 : -1.0 / r;
}

void scaleResidues(VXR_OpBranchPoleResidue* br, double k) {
    for (int i = 0; i < br->_numPoles; ++i)
        for (int m = 0; m < br->_pPoleMult[i]; ++m) {
            br->_ppResidues[i][m].real *= k;
            br->_ppResidues[i][m].imag *= k;
        }
}

// prod over roots not at the origin of (-r), in array order.
VXR_Cmplx rootGain(const double* v, int count) {
    VXR_Cmplx g = {1.0, 0.0};
    for (int p = 0; p + 1 < count; p += 2) {
        if (v[p] == 0.0 && v[p + 1] == 0.0)
            continue; // the factor s has no gain
        double a = -v[p], b = -v[p + 1];
        g = {g.real * a - g.imag * b, g.real * b + g.imag * a};
    }
    return g;
}

void setQuotient(VXR_OpBranchPoleResidue* br, double* q, int n) {
    VXR_free(br->_pQuotCoeffs);
    br->_pQuotCoeffs = q;
    br->_numQuotCoeffs = q ? n : 0;
}

void checkConjugates(VXR_Array* a, int count, const char* name, VXR_DeviceInst* inst, const char* what) {
    if (a && !VXR_checkConjugateZeros(reals(a), count))
        lapError(name, inst, what);
}

constexpr char kZeroConj[] = "Complex zeros must have corresponding conjugates for '%s'.";
constexpr char kPoleConj[] = "Complex poles must have corresponding conjugates for '%s'.";
constexpr char kLeadZero[] = "Operator '%s' has a zero coefficient in its leading term.";
constexpr char kUnsolved[] =
    "Unable to accurately solve denominator polynomial for operator '%s'. Please use an alternate formulation";
constexpr char kEmpty[] = "Operator '%s' needs at least one coefficient in each coefficient array.";

// Denominator roots into a fresh buffer of N complex values; the count.
int denomRoots(const char* name, VXR_DeviceInst* inst, const VXR_Array* denom, VXR_Cmplx** roots) {
    const int N = arrayLen(denom), D = N - 1;
    *roots = workAlloc<VXR_Cmplx>(N, inst);
    int n = *roots ? solveForRoots(reals(denom), D, reinterpret_cast<VXR_ComplexNumber*>(*roots), hostOf(inst)) : 0;
    if (n != D)
        lapError(name, inst, kUnsolved);
    return n;
}

// The output variable (the operator's own name) and the input variable.
template <class Op> void makeRowVariables(Op* op, const char* inputFmt, void* cb) {
    VXR_SimInterface* sim = hostOf(op->_pParent);
    op->_branchVar = sim->pSetupNode(op->_name, op->_pParent, nullptr, cb);
    op->_auxName = lapFormatName(op->_pParent, inputFmt, op->_name);
    op->_auxBranch = sim->pSetupNode(op->_auxName, op->_pParent, nullptr, cb);
}

// ---- the input and output rows -------------------------------------------------------------

// Output row N(d/dt) z - y (one doublet: +1 against numOut, -1 against y);
// input row: the argument minus D(d/dt) z (-1 against denOut). numOut and
// denOut are the variables holding N(d/dt) z and D(d/dt) z (z itself for a
// constant 1).
template <class Op> void stampRows(Op* op, VXR_StateVar* numOut, VXR_StateVar* denOut, void* cb) {
    VXR_DeviceInst* inst = op->_pParent;
    VXR_SimInterface* sim = hostOf(inst);
    op->_rhsAuxBranch = sim->pGetRhsPair(op->_auxBranch, nullptr, LIN_DEP, inst, cb);
    if constexpr (requires { op->_rhsQAuxBranch; })
        op->_rhsQAuxBranch = sim->pGetRhsPairQ(op->_auxBranch, nullptr, LIN_DEP, inst, cb);
    op->_rhsBranch = sim->pGetRhsPair(op->_branchVar, nullptr, LIN_DEP, inst, cb);
    op->_dbtJ_br_poly = sim->pGetDerivDoublet(op->_branchVar, numOut, op->_branchVar, DC_ENTRY, LIN_DEP, inst, cb);
    op->_dbtJ_aux_den = sim->pGetDerivDoublet(op->_auxBranch, denOut, nullptr, DC_ENTRY, LIN_DEP, inst, cb);
}

template <class Op>
void loadRows(Op* op, VXR_StateVar* numOut, VXR_StateVar* denOut, VXR_ContribLoader* ldr, bool jac) {
    loadOne(ldr->pLoadRhsPair, op->_rhsBranch, sol(ldr, numOut) - sol(ldr, op->_branchVar), ldr);
    if (jac)
        loadOne(ldr->pLoadDerivDoublet, op->_dbtJ_br_poly, 1.0, ldr);
    loadOne(ldr->pLoadRhsPair, op->_rhsAuxBranch, -sol(ldr, denOut), ldr);
    if (jac)
        loadOne(ldr->pLoadDerivDoublet, op->_dbtJ_aux_den, -1.0, ldr);
}

// ---- laplace_nd ------------------------------------------------------------------------------

void topologyAlg(VXR_OpBranch_lapnd* op, void* cb) {
    VXR_DeviceInst* inst = op->_pParent;
    makeRowVariables(op, "%s_auxbr", cb);
    op->_numerN = arrayLen(op->_pNumer);
    op->_denomN = arrayLen(op->_pDenom);
    op->_pNumerPoly = VXR_createRealPolyN(inst, op->_numerN, lapFormatName(inst, "%s_n", op->_name));
    if (op->_pNumerPoly)
        VXR_RealPolyN_FinalizeTopology(op->_pNumerPoly, op->_auxBranch, cb);
    op->_pDenomPoly = VXR_createRealPolyN(inst, op->_denomN, lapFormatName(inst, "%s_d", op->_name));
    if (op->_pDenomPoly)
        VXR_RealPolyN_FinalizeTopology(op->_pDenomPoly, op->_auxBranch, cb);
}

bool topologyValid(VXR_OpBranch_lapnd* op) {
    return arrayLen(op->_pNumer) >= 1 && arrayLen(op->_pDenom) >= 1;
}

void stampAlg(VXR_OpBranch_lapnd* op, void* cb) {
    VXR_DeviceInst* inst = op->_pParent;
    VXR_SimInterface* sim = hostOf(inst);
    op->_rhsBranch = sim->pGetRhsPair(op->_branchVar, nullptr, LIN_DEP, inst, cb);
    op->_rhsAuxBranch = sim->pGetRhsPair(op->_auxBranch, nullptr, LIN_DEP, inst, cb);
    op->_dbtJ_br_poly = sim->pGetDerivDoublet(op->_branchVar, op->_pNumerPoly->_polyVar, op->_branchVar, DC_ENTRY,
                                              LIN_DEP, inst, cb);
    op->_dbtJ_aux_den =
        sim->pGetDerivDoublet(op->_auxBranch, op->_pDenomPoly->_polyVar, nullptr, DC_ENTRY, LIN_DEP, inst, cb);
    VXR_RealPolyN_SetStamp(op->_pNumerPoly, cb);
    VXR_RealPolyN_SetStamp(op->_pDenomPoly, cb);
}

bool stampable(const VXR_OpBranch_lapnd* op) {
    return op->_pNumerPoly && op->_pDenomPoly;
}

void computeAlg(VXR_OpBranch_lapnd* op) {
    setBlockCoeffs(op->_name, op->_pParent, op->_pNumerPoly, op->_pNumer);
    setBlockCoeffs(op->_name, op->_pParent, op->_pDenomPoly, op->_pDenom);
    clearModified(op->_pNumer);
    clearModified(op->_pDenom);
}

void loadAlg(VXR_OpBranch_lapnd* op, VXR_ContribLoader* ldr, bool jac) {
    loadRows(op, op->_pNumerPoly->_polyVar, op->_pDenomPoly->_polyVar, ldr, jac);
    if (jac) {
        VXR_RealPolyN_LoadJacAndRhs(op->_pNumerPoly, ldr);
        VXR_RealPolyN_LoadJacAndRhs(op->_pDenomPoly, ldr);
    } else {
        VXR_RealPolyN_LoadRhs(op->_pNumerPoly, ldr);
        VXR_RealPolyN_LoadRhs(op->_pDenomPoly, ldr);
    }
}

void computePoleRes(VXR_OpBranch_lapnd* op, VXR_ContribLoader* ldr) {
    VXR_DeviceInst* inst = op->_pParent;
    VXR_OpBranchPoleResidue* br = op->pPoleResBranch;
    const double t7 = getSuppliedTol(7, 1e-3, ldr), t8 = getSuppliedTol(8, 1e-6, ldr);
    const int Nn = arrayLen(op->_pNumer), Nd = arrayLen(op->_pDenom), D = Nd - 1;
    const double* d = reals(op->_pDenom);
    const double lead = d[D];
    double* work = workAlloc<double>(Nn, inst);
    if (lead == 0.0)
        lapError(op->_name, inst, kLeadZero);
    if (work)
        memcpy(work, reals(op->_pNumer), Nn * sizeof(double));
    clearModified(op->_pNumer);
    clearModified(op->_pDenom);
    if (work && Nn >= Nd) {
        double* q = workAlloc<double>(Nn - Nd + 1, inst);
        if (q)
            dividePoly(work, Nn - 1, d, D, q);
        setQuotient(br, q, Nn - Nd + 1);
    }
    VXR_Cmplx* roots;
    const int n = denomRoots(op->_name, inst, op->_pDenom, &roots);
    if (work && roots) {
        for (int i = 0; i < Nn; ++i)
            work[i] /= lead;
        VXR_PartialFracNP(NUM_COEFFS, Nn, work, n, roots, t7, t8, br);
    }
    br->_coeffsChanged = 1;
    VXR_free(work);
    VXR_free(roots);
}

[[maybe_unused]] void freeAlg(VXR_OpBranch_lapnd* op) {
    VXR_destroyRealPolyN(op->_pNumerPoly);
    VXR_destroyRealPolyN(op->_pDenomPoly);
}

// ---- laplace_np ------------------------------------------------------------------------------

bool topologyValid(VXR_OpBranch_lapnp* op) {
    return arrayLen(op->_pNumer) >= 1;
}

void topologyCounts(VXR_OpBranch_lapnp* op) {
    const int K = arrayLen(op->_pDenom);
    if (K % 2)
        lapError(op->_name, op->_pParent, "Operator '%s' expects an even number of poles.");
    op->_denomN = K / 2;
    op->_numPoleSections = (op->_denomN + 1) / 2;
}

void topologyAlg(VXR_OpBranch_lapnp* op, void* cb) {
    VXR_DeviceInst* inst = op->_pParent;
    makeRowVariables(op, "%s_aux", cb);
    op->_numerN = arrayLen(op->_pNumer);
    // The numerator block bears the operator's name; it owns a copy.
    op->_pNumerPoly = VXR_createRealPolyN(inst, op->_numerN, lapFormatName(inst, "%s", op->_name));
    if (op->_pNumerPoly)
        VXR_RealPolyN_FinalizeTopology(op->_pNumerPoly, op->_auxBranch, cb);
    op->_poleSections = makeChain(inst, op->_name, "%s._p%d", op->_numPoleSections, op->_auxBranch,
                                  &op->_poleChainOut, cb);
}

bool stampable(const VXR_OpBranch_lapnp* op) {
    return op->_pNumerPoly != nullptr;
}

void stampAlg(VXR_OpBranch_lapnp* op, void* cb) {
    stampRows(op, op->_pNumerPoly->_polyVar, op->_poleChainOut, cb);
    VXR_RealPolyN_SetStamp(op->_pNumerPoly, cb);
    stampChain(op->_poleSections, op->_numPoleSections, cb);
}

void computeAlg(VXR_OpBranch_lapnp* op) {
    setBlockCoeffs(op->_name, op->_pParent, op->_pNumerPoly, op->_pNumer);
    clearModified(op->_pNumer);
    clearModified(op->_pDenom);
    const int K = arrayLen(op->_pDenom);
    checkConjugates(op->_pDenom, K, op->_name, op->_pParent, kPoleConj);
    RootLists poles(reals(op->_pDenom), K, op->_pParent);
    if (poles.ok)
        fillChain(op->_poleSections, op->_numPoleSections, poles, true);
    poles.release();
}

void loadAlg(VXR_OpBranch_lapnp* op, VXR_ContribLoader* ldr, bool jac) {
    loadRows(op, op->_pNumerPoly->_polyVar, op->_poleChainOut, ldr, jac);
    if (jac) {
        VXR_RealPolyN_LoadJacAndRhs(op->_pNumerPoly, ldr);
    } else {
        VXR_RealPolyN_LoadRhs(op->_pNumerPoly, ldr);
    }
    loadChain(op->_poleSections, op->_numPoleSections, ldr, jac);
}

void computePoleRes(VXR_OpBranch_lapnp* op, VXR_ContribLoader* ldr) {
    VXR_DeviceInst* inst = op->_pParent;
    VXR_OpBranchPoleResidue* br = op->pPoleResBranch;
    const double t7 = getSuppliedTol(7, 1e-3, ldr), t8 = getSuppliedTol(8, 1e-6, ldr);
    const int Nn = arrayLen(op->_pNumer), K = arrayLen(op->_pDenom);
    double* numer = workAlloc<double>(Nn, inst);
    double* poles = workAlloc<double>(K, inst);
    if (numer)
        memcpy(numer, reals(op->_pNumer), Nn * sizeof(double));
    if (poles)
        memcpy(poles, reals(op->_pDenom), K * sizeof(double));
    clearModified(op->_pNumer);
    clearModified(op->_pDenom);
    checkConjugates(op->_pDenom, K, op->_name, inst, kPoleConj);
    if (numer && poles) {
        const VXR_Cmplx G = rootGain(poles, K);
        VXR_PartialFracNP(NUM_COEFFS, Nn, numer, K / 2, reinterpret_cast<VXR_Cmplx*>(poles), t7, t8, br);
        scaleResidues(br, G.real);
    }
    br->_coeffsChanged = 1;
    VXR_free(numer);
    VXR_free(poles);
}

[[maybe_unused]] void freeAlg(VXR_OpBranch_lapnp* op) {
    VXR_destroyRealPolyN(op->_pNumerPoly);
    freeChain(op->_poleSections, op->_numPoleSections);
}

// ---- the input row; laplace_zd and laplace_zp may put a first-order zero in it --------------

// 1 when the operator's input row carries the factor _a0 + _b0 s.
template <class Op> int oddZero(const Op* op) {
    if constexpr (requires { op->_oddZero; })
        return op->_oddZero;
    else
        return 0;
}

template <class Op> void setArgAlg(Op* op, double v, VXR_ContribLoader* ldr) {
    if constexpr (requires { op->_oddZero; }) {
        if (op->_oddZero) {
            loadOne(ldr->pLoadRhsPair, op->_rhsAuxBranch, op->_a0 * v, ldr);
            loadOne(ldr->pLoadRhsPairQ, op->_rhsQAuxBranch, op->_b0 * v, ldr);
            return;
        }
    }
    loadOne(ldr->pLoadRhsPair, op->_rhsAuxBranch, v, ldr);
}

template <class Op> void setArgDwrtAlg(Op* op, void* h, double g, VXR_ContribLoader* ldr) {
    if constexpr (requires { op->_oddZero; }) {
        if (op->_oddZero) {
            loadOne(ldr->pLoadDerivDoublet, h, op->_a0 * g, ldr);
            loadOne(ldr->pLoadDerivDoubletQ, h, op->_b0 * g, ldr);
            return;
        }
    }
    loadOne(ldr->pLoadDerivDoublet, h, g, ldr);
}

// Both parts of the argument's derivative go through one handle.
template <class Op> VXR_StampTargetE inputTarget(const Op* op, VXR_StampTargetE t) {
    return oddZero(op) ? GEN_ENTRY : t;
}

template <class Op> void noiseAlg(VXR_NoiseSrc* src, Op* op) {
    if constexpr (requires { op->_oddZero; }) {
        if (op->_oddZero) {
            VXR_addColoredNoise(src, op->_auxBranch, op->_a0, nullptr);
            VXR_addColoredNoise(src, op->_auxBranch, op->_b0, &ddtTransferFunc);
            return;
        }
    }
    VXR_addColoredNoise(src, op->_auxBranch, 1.0, nullptr);
}

// ---- laplace_zd ------------------------------------------------------------------------------

bool topologyValid(VXR_OpBranch_lapzd* op) {
    return arrayLen(op->_pDenom) >= 1;
}

void topologyCounts(VXR_OpBranch_lapzd* op) {
    const int M = arrayLen(op->_pNumer);
    if (op->_pNumer && M % 2)
        lapError(op->_name, op->_pParent, "Operator '%s' expects an even number of zeros.");
    op->_numerN = M / 2;
    op->_numZeroSections = op->_numerN / 2;
    op->_oddZero = op->_numerN % 2;
    op->_denomN = arrayLen(op->_pDenom);
}

void topologyAlg(VXR_OpBranch_lapzd* op, void* cb) {
    VXR_DeviceInst* inst = op->_pParent;
    makeRowVariables(op, "%s_aux", cb);
    op->_zeroSections = makeChain(inst, op->_name, "%s._z%d", op->_numZeroSections, op->_auxBranch,
                                  &op->_zeroChainOut, cb);
    op->_pDenomPoly = VXR_createRealPolyN(inst, op->_denomN, lapFormatName(inst, "%s", op->_name));
    if (op->_pDenomPoly)
        VXR_RealPolyN_FinalizeTopology(op->_pDenomPoly, op->_auxBranch, cb);
}

bool stampable(const VXR_OpBranch_lapzd* op) {
    return op->_pDenomPoly != nullptr;
}

void stampAlg(VXR_OpBranch_lapzd* op, void* cb) {
    stampRows(op, op->_zeroChainOut, op->_pDenomPoly->_polyVar, cb);
    stampChain(op->_zeroSections, op->_numZeroSections, cb);
    VXR_RealPolyN_SetStamp(op->_pDenomPoly, cb);
}

void computeAlg(VXR_OpBranch_lapzd* op) {
    clearModified(op->_pDenom);
    const int M = arrayLen(op->_pNumer);
    checkConjugates(op->_pNumer, M, op->_name, op->_pParent, kZeroConj);
    clearModified(op->_pNumer);
    RootLists zeros(reals(op->_pNumer), M, op->_pParent);
    if (zeros.ok) {
        fillChain(op->_zeroSections, op->_numZeroSections, zeros, false);
        takeOddZero(op, zeros);
    }
    zeros.release();
    setBlockCoeffs(op->_name, op->_pParent, op->_pDenomPoly, op->_pDenom);
}

void loadAlg(VXR_OpBranch_lapzd* op, VXR_ContribLoader* ldr, bool jac) {
    loadRows(op, op->_zeroChainOut, op->_pDenomPoly->_polyVar, ldr, jac);
    loadChain(op->_zeroSections, op->_numZeroSections, ldr, jac);
    if (jac)
        VXR_RealPolyN_LoadJacAndRhs(op->_pDenomPoly, ldr);
    else
        VXR_RealPolyN_LoadRhs(op->_pDenomPoly, ldr);
}

void computePoleRes(VXR_OpBranch_lapzd* op, VXR_ContribLoader* ldr) {
    VXR_DeviceInst* inst = op->_pParent;
    VXR_OpBranchPoleResidue* br = op->pPoleResBranch;
    const double t7 = getSuppliedTol(7, 1e-3, ldr), t8 = getSuppliedTol(8, 1e-6, ldr);
    const int M = arrayLen(op->_pNumer), m = M / 2, N = arrayLen(op->_pDenom), D = N - 1;
    const double* d = reals(op->_pDenom);
    checkConjugates(op->_pNumer, M, op->_name, inst, kZeroConj);
    clearModified(op->_pNumer);
    if (d[D] == 0.0)
        lapError(op->_name, inst, kLeadZero);
    double* zeros = M > 0 ? workAlloc<double>(M, inst) : nullptr;
    if (zeros)
        memcpy(zeros, reals(op->_pNumer), M * sizeof(double));
    clearModified(op->_pDenom);
    VXR_Cmplx* roots = nullptr;
    if (M > 0 && !zeros) {
        // allocation failed (reported): no new split
    } else if (D > m) {
        const int n = denomRoots(op->_name, inst, op->_pDenom, &roots);
        VXR_Cmplx K = {1.0 / d[D], 0.0};
        for (int p = 0; p + 1 < 2 * m; p += 2)
            if (!(zeros[p] == 0.0 && zeros[p + 1] == 0.0))
                K = VXR_cmplxDiv(K, {-zeros[p], -zeros[p + 1]});
        if (roots) {
            VXR_PartialFracNP(NUM_ZEROS, zeros ? M : 0, zeros, n, roots, t7, t8, br);
            scaleResidues(br, K.real);
        }
    } else {
        // Room for the zero values as well: the product is built in place.
        const int pLen = m + 1 < M ? M : m + 1;
        double* P = workAlloc<double>(pLen, inst);
        double* Q = workAlloc<double>(m - D + 1, inst);
        if (P && Q) {
            computePolyFromRoots(P, zeros, pLen);
            dividePoly(P, m, d, D, Q);
            setQuotient(br, Q, m - D + 1);
            Q = nullptr;
        }
        VXR_free(Q);
        const int n = denomRoots(op->_name, inst, op->_pDenom, &roots);
        if (P && roots) {
            for (int i = 0; i < D; ++i)
                P[i] /= d[D];
            VXR_PartialFracNP(NUM_COEFFS, D, P, n, roots, t7, t8, br);
        }
        VXR_free(P);
    }
    br->_coeffsChanged = 1;
    VXR_free(zeros);
    VXR_free(roots);
}

[[maybe_unused]] void freeAlg(VXR_OpBranch_lapzd* op) {
    freeChain(op->_zeroSections, op->_numZeroSections);
    VXR_destroyRealPolyN(op->_pDenomPoly);
}

// ---- laplace_zp ------------------------------------------------------------------------------

bool topologyValid(VXR_OpBranch_lapzp*) {
    return true;
}

void topologyCounts(VXR_OpBranch_lapzp* op) {
    const int Z = arrayLen(op->_pNumer), P = arrayLen(op->_pDenom);
    if ((op->_pNumer && Z % 2) || P % 2)
        lapError(op->_name, op->_pParent, "Operator '%s' expects an even number of zeros and poles.");
    op->_numerN = Z / 2;
    op->_numZeroSections = op->_numerN / 2;
    op->_oddZero = op->_numerN % 2;
    op->_denomN = P / 2;
    op->_numPoleSections = (op->_denomN + 1) / 2;
}

void topologyAlg(VXR_OpBranch_lapzp* op, void* cb) {
    VXR_DeviceInst* inst = op->_pParent;
    makeRowVariables(op, "%s._aux", cb);
    op->_zeroSections = makeChain(inst, op->_name, "%s._z%d", op->_numZeroSections, op->_auxBranch,
                                  &op->_zeroChainOut, cb);
    op->_poleSections = makeChain(inst, op->_name, "%s._p%d", op->_numPoleSections, op->_auxBranch,
                                  &op->_poleChainOut, cb);
}

bool stampable(const VXR_OpBranch_lapzp*) {
    return true;
}

void stampAlg(VXR_OpBranch_lapzp* op, void* cb) {
    stampRows(op, op->_zeroChainOut, op->_poleChainOut, cb);
    stampChain(op->_zeroSections, op->_numZeroSections, cb);
    stampChain(op->_poleSections, op->_numPoleSections, cb);
}

void computeAlg(VXR_OpBranch_lapzp* op) {
    VXR_DeviceInst* inst = op->_pParent;
    const int Z = arrayLen(op->_pNumer), P = arrayLen(op->_pDenom);
    clearModified(op->_pDenom);
    checkConjugates(op->_pNumer, Z, op->_name, inst, kZeroConj);
    clearModified(op->_pNumer);
    RootLists zeros(reals(op->_pNumer), Z, inst);
    checkConjugates(op->_pDenom, P, op->_name, inst, kPoleConj);
    if (zeros.ok) {
        fillChain(op->_zeroSections, op->_numZeroSections, zeros, false);
        takeOddZero(op, zeros);
    }
    zeros.release();
    RootLists poles(reals(op->_pDenom), P, inst);
    if (poles.ok)
        fillChain(op->_poleSections, op->_numPoleSections, poles, true);
    poles.release();
}

void loadAlg(VXR_OpBranch_lapzp* op, VXR_ContribLoader* ldr, bool jac) {
    loadRows(op, op->_zeroChainOut, op->_poleChainOut, ldr, jac);
    loadChain(op->_zeroSections, op->_numZeroSections, ldr, jac);
    loadChain(op->_poleSections, op->_numPoleSections, ldr, jac);
}

void computePoleRes(VXR_OpBranch_lapzp* op, VXR_ContribLoader* ldr) {
    VXR_DeviceInst* inst = op->_pParent;
    VXR_OpBranchPoleResidue* br = op->pPoleResBranch;
    const double t7 = getSuppliedTol(7, 1e-3, ldr), t8 = getSuppliedTol(8, 1e-6, ldr);
    const int Z = arrayLen(op->_pNumer), P = arrayLen(op->_pDenom), m = Z / 2, n = P / 2;
    double* zc = Z > 0 ? workAlloc<double>(Z, inst) : nullptr;
    double* pc = P > 0 ? workAlloc<double>(P, inst) : nullptr;
    if (zc)
        memcpy(zc, reals(op->_pNumer), Z * sizeof(double));
    if (pc)
        memcpy(pc, reals(op->_pDenom), P * sizeof(double));
    checkConjugates(op->_pNumer, Z, op->_name, inst, kZeroConj);
    clearModified(op->_pNumer);
    clearModified(op->_pDenom);
    checkConjugates(op->_pDenom, P, op->_name, inst, kPoleConj);
    const bool ok = (Z == 0 || zc) && (P == 0 || pc);
    if (ok && Z < P) {
        VXR_Cmplx K = rootGain(pc, 2 * n);
        for (int p = 0; p + 1 < 2 * m; p += 2)
            if (!(zc[p] == 0.0 && zc[p + 1] == 0.0))
                K = VXR_cmplxDiv(K, {-zc[p], -zc[p + 1]});
        VXR_PartialFracNP(NUM_ZEROS, Z, zc, n, reinterpret_cast<VXR_Cmplx*>(pc), t7, t8, br);
        scaleResidues(br, K.real);
    } else if (ok) {
        const int len = Z > 1 ? Z : 1;
        double* N = workAlloc<double>(len, inst);
        double* Dp = workAlloc<double>(len, inst);
        double* Q = workAlloc<double>(m - n + 1, inst);
        if (N && Dp && Q) {
            computePolyFromRoots(N, zc, len);
            // The pole product from the pole values alone, zero above.
            const int pLen = P > 0 ? P : 1;
            computePolyFromRoots(Dp, pc, pLen);
            for (int e = pLen; e < len; ++e)
                Dp[e] = 0.0;
            dividePoly(N, m, Dp, n, Q);
            setQuotient(br, Q, m - n + 1);
            Q = nullptr;
            const VXR_Cmplx K = rootGain(pc, P);
            VXR_PartialFracNP(NUM_COEFFS, P > 1 ? P - 1 : 1, N, n, reinterpret_cast<VXR_Cmplx*>(pc), t7, t8, br);
            scaleResidues(br, K.real);
        }
        VXR_free(N);
        VXR_free(Dp);
        VXR_free(Q);
    }
    br->_coeffsChanged = 1;
    VXR_free(zc);
    VXR_free(pc);
}

[[maybe_unused]] void freeAlg(VXR_OpBranch_lapzp* op) {
    freeChain(op->_zeroSections, op->_numZeroSections);
    freeChain(op->_poleSections, op->_numPoleSections);
}

// ---- the family contract, one body for the four operators ----------------------------------

void topologyCounts(VXR_OpBranch_lapnd*) {}

// The algebraic realisation exists (topology was valid and allocations held).
template <class Op> bool built(const Op* op) {
    return op->_branchVar && op->_auxBranch && stampable(op);
}

template <class Op> void finalizeTopology(Op* op, void* cb) {
    topologyCounts(op);
    if (!topologyValid(op)) {
        lapError(op->_name, op->_pParent, kEmpty);
        return; // nothing is built; the loads do nothing
    }
    if (op->pPoleResBranch)
        VXR_PoleResidueFinalizeTopology(op->pPoleResBranch, cb);
    else
        topologyAlg(op, cb);
}

template <class Op> void setStamp(Op* op, void* cb) {
    if (op->pPoleResBranch) {
        if (op->pPoleResBranch->_branchVar)
            VXR_PoleResidueSetStamp(op->pPoleResBranch, cb);
    } else if (built(op)) {
        stampAlg(op, cb);
    }
}

template <class Op> void refreshAlg(Op* op) {
    if (refreshDue(op)) {
        computeAlg(op);
        op->_coeffsComputed = 1;
    }
}

template <class Op> void genericLoad(Op* op, VXR_ContribLoader* ldr, bool jac) {
    if (op->pPoleResBranch) {
        if (!op->pPoleResBranch->_branchVar)
            return;
        if (jac)
            VXR_PoleResidueGenericLoad(op->pPoleResBranch, ldr);
        else
            VXR_PoleResidueGenericLoadRHS(op->pPoleResBranch, ldr);
    } else if (built(op)) {
        refreshAlg(op);
        loadAlg(op, ldr, jac);
    }
}

template <class Op> void setArg(Op* op, double v, VXR_ContribLoader* ldr) {
    if (op->pPoleResBranch) {
        if (!op->pPoleResBranch->_branchVar)
            return;
        if (refreshDue(op)) {
            computePoleRes(op, ldr);
            op->_coeffsComputed = 1;
        }
        VXR_PoleResidueSetArg(op->pPoleResBranch, v, ldr);
    } else if (built(op)) {
        // The first-order zero factor enters here: take it before the first use.
        refreshAlg(op);
        setArgAlg(op, v, ldr);
    }
}

template <class Op> void setArgDwrt(Op* op, void* h, double g, VXR_ContribLoader* ldr) {
    if (op->pPoleResBranch)
        VXR_PoleResidueSetArg_dwrt(op->pPoleResBranch, h, g, ldr);
    else if (built(op))
        setArgDwrtAlg(op, h, g, ldr);
}

template <class Op>
void* derivDoublet(Op* op, VXR_StateVar* plus, VXR_StateVar* minus, VXR_StampTargetE target, VXR_DepTypeE dep,
                   void* cb) {
    if (op->pPoleResBranch)
        return VXR_getDerivDoubletOpBranchPoleResidue(op->pPoleResBranch, plus, minus, target, dep, cb);
    return hostOf(op->_pParent)->pGetDerivDoublet(op->_auxBranch, plus, minus, inputTarget(op, target), dep,
                                                  op->_pParent, cb);
}

template <class Op> Op* create(const char* name, VXR_DeviceInst* parent, VXR_Array* a, VXR_Array* b, bool proper) {
    Op* op = createRecord<Op>(name, parent, a, b);
    if (op && proper)
        op->pPoleResBranch = VXR_createOpBranchPoleResidue(name, parent);
    return op;
}

bool arraysFixed(VXR_DeviceInst* parent, const VXR_Array* first, const VXR_Array* second, bool firstOptional) {
    return hostOf(parent)->pCreatePoleResSpec && (first ? first->_boundsSet : firstOptional) && second &&
           second->_boundsSet;
}

// Pole-residue form tests of each operator, after the common ones.
bool properND(VXR_DeviceInst* parent, const VXR_Array* n, const VXR_Array* d) {
    return arraysFixed(parent, n, d, false) && arrayLen(n) - 1 <= arrayLen(d) - 1 && solvesCompletely(d, parent);
}

bool properNP(VXR_DeviceInst* parent, const VXR_Array* n, const VXR_Array* p) {
    if (!arraysFixed(parent, n, p, false))
        return false;
    const int Nn = arrayLen(n), Pc = arrayLen(p) / 2;
    if (Nn < 1 || !(Nn - 1 < Pc))
        return false;
    for (int k = 0; k < Pc; ++k)
        if (p->_data._pReal[2 * k] == 0.0 && p->_data._pReal[2 * k + 1] == 0.0)
            return false;
    return !(n->_data._pReal[Nn - 1] == 0.0);
}

bool properZD(VXR_DeviceInst* parent, const VXR_Array* z, const VXR_Array* d) {
    return arraysFixed(parent, z, d, true) && arrayLen(d) - 1 >= arrayLen(z) / 2 && solvesCompletely(d, parent);
}

bool properZP(VXR_DeviceInst* parent, const VXR_Array* z, const VXR_Array* p) {
    return arraysFixed(parent, z, p, true) && arrayLen(z) <= arrayLen(p);
}

#if VXR_REVISION == 160
template <class Op> void destroy(Op* op) {
    if (!op)
        return;
    if (op->pPoleResBranch)
        poleResidueDestroy(op->pPoleResBranch);
    else
        freeAlg(op);
    VXR_free(op->_auxName);
    VXR_free(op);
}

template <class Op> void reportNoise(Op* op, int n, void* info) {
    if (!op || !hostOf(op->_pParent)->pReportNoiseContrib)
        return;
    if (op->pPoleResBranch)
        VXR_reportNoiseContribForOpPoleResidue(op->pPoleResBranch, n, info);
    else
        hostOf(op->_pParent)->pReportNoiseContrib(n, op->_auxBranch, nullptr, op->_pParent, info);
}
#define VXR_LAPLACE_REV160_BODIES(T, x)                                                                       \
    void VXR_destroyOpBranch_##x(T* op) { destroy(op); }                                                       \
    void VXR_reportNoiseContribForOp_##x(T* op, int n, void* info) { reportNoise(op, n, info); }
#else
#define VXR_LAPLACE_REV160_BODIES(T, x)
#endif

} // namespace

// Thin entry points under the family's names.
#define VXR_LAPLACE_BODIES(T, x, proper)                                                                      \
    T* VXR_createOpBranch_##x(const char* name, VXR_DeviceInst* parent, VXR_Array* a, VXR_Array* b) {          \
        return create<T>(name, parent, a, b, proper(parent, a, b));                                            \
    }                                                                                                          \
    void VXR_##x##FinalizeTopology(T* op, void* cb) { finalizeTopology(op, cb); }                              \
    void VXR_##x##SetStamp(T* op, void* cb) { setStamp(op, cb); }                                              \
    void VXR_##x##SetArg(T* op, double v, VXR_ContribLoader* ldr) { setArg(op, v, ldr); }                      \
    void VXR_##x##SetArg_dwrt(T* op, void* h, double g, VXR_ContribLoader* ldr) { setArgDwrt(op, h, g, ldr); } \
    void VXR_##x##GenericLoad(T* op, VXR_ContribLoader* ldr) { genericLoad(op, ldr, true); }                   \
    void VXR_##x##GenericLoadRHS(T* op, VXR_ContribLoader* ldr) { genericLoad(op, ldr, false); }               \
    void VXR_##x##AcceptTimePoint(T* op, VXR_ContribLoader* ldr) {                                             \
        if (op->pPoleResBranch)                                                                                \
            VXR_PoleResidueAcceptTimePoint(op->pPoleResBranch, ldr);                                           \
    }                                                                                                          \
    void* VXR_##x##SaveState(T* op) {                                                                          \
        return op->pPoleResBranch ? VXR_PoleResidueSaveState(op->pPoleResBranch) : nullptr;                    \
    }                                                                                                          \
    void VXR_##x##RestoreState(T* op, void* s) {                                                               \
        if (op->pPoleResBranch)                                                                                \
            VXR_PoleResidueRestoreState(op->pPoleResBranch, s);                                                \
    }                                                                                                          \
    void VXR_##x##Reset(T* op) {                                                                               \
        if (op->pPoleResBranch)                                                                                \
            VXR_PoleResidueReset(op->pPoleResBranch);                                                          \
    }                                                                                                          \
    VXR_StateVar* VXR_getBranchVar_##x(T* op) {                                                                \
        if (!op)                                                                                               \
            return nullptr;                                                                                    \
        return op->pPoleResBranch ? op->pPoleResBranch->_branchVar : op->_branchVar;                           \
    }                                                                                                          \
    void* VXR_getDerivDoubletOpBranch_##x(T* op, VXR_StateVar* plus, VXR_StateVar* minus,                      \
                                          VXR_StampTargetE target, VXR_DepTypeE dep, void* cb) {               \
        return derivDoublet(op, plus, minus, target, dep, cb);                                                 \
    }                                                                                                          \
    void VXR_addNoiseForOp_##x(VXR_NoiseSrc* src, T* op) {                                                     \
        if (op->pPoleResBranch)                                                                                \
            VXR_addNoiseForOpPoleResidue(src, op->pPoleResBranch);                                             \
        else                                                                                                   \
            noiseAlg(src, op);                                                                                 \
    }                                                                                                          \
    VXR_LAPLACE_REV160_BODIES(T, x)

extern "C" {
VXR_LAPLACE_BODIES(VXR_OpBranch_lapnd, lapnd, properND)
VXR_LAPLACE_BODIES(VXR_OpBranch_lapnp, lapnp, properNP)
VXR_LAPLACE_BODIES(VXR_OpBranch_lapzd, lapzd, properZD)
VXR_LAPLACE_BODIES(VXR_OpBranch_lapzp, lapzp, properZP)
}

#endif // VXR_REVISION != 187
