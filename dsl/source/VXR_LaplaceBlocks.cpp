// Building blocks of the 1.60/1.42 Laplace operators: the derivative-chain
// block P(d/dt) u, the second-order section and the pole-residue branch whose
// response the host computes.
#include <cstdio>
#include <cstring>

#include "VXR_Laplace.h"

#if VXR_REVISION != 187

namespace {

VXR_SimInterface* hostOf(VXR_DeviceInst* inst) {
    return inst->pSimInterface;
}

void* lapAlloc(size_t size, VXR_DeviceInst* inst, const char* id = nullptr) {
    return VXR_malloc(size, hostOf(inst), inst, id);
}

void loadOne(void (*member)(int, void**, double*, VXR_ContribLoader*), void* handle, double value,
             VXR_ContribLoader* ldr) {
    member(1, &handle, &value, ldr);
}

double sol(VXR_ContribLoader* ldr, VXR_StateVar* sv) {
    return sv ? ldr->pGetSol(sv, ldr) : 0.0;
}

// Releases a host pole-residue object the way the revision does.
void freeHostObject(VXR_DeviceInst* inst, void* obj) {
    if (!obj)
        return;
#if VXR_REVISION == 160
    (void)inst;
    auto* hdr = static_cast<VXR_GenericOperatorState*>(obj);
    if (hdr->pFreeSelf)
        hdr->pFreeSelf(hdr);
#else
    if (hostOf(inst)->pFreePoleResSpec)
        hostOf(inst)->pFreePoleResSpec(obj);
#endif
}

// Where finalize builds the node-creation record: in the branch's own block,
// so that it lives as long as the host may read it and goes with the record.
VXR_NodalInfo* nodalInfoOf(VXR_OpBranchPoleResidue* pOp) {
    return reinterpret_cast<VXR_NodalInfo*>(pOp + 1);
}

} // namespace

extern "C" {

// fmt with one %s (text) and at most one %d (k), in a block sized for the
// result: the text's and the format's lengths and the longest int.
char* lapFormatName(VXR_DeviceInst* inst, const char* fmt, const char* text, int k) {
    const size_t size = strlen(fmt) + strlen(text) + 12;
    char* s = static_cast<char*>(lapAlloc(size, inst));
    if (s)
        snprintf(s, size, fmt, text, k);
    return s;
}

// ---- derivative-chain block ------------------------------------------------------------

// Takes over name; no block without one (its copy failed, already reported).
VXR_RealPolyN* VXR_createRealPolyN(VXR_DeviceInst* parent, int order, const char* name) {
    auto* p = name ? static_cast<VXR_RealPolyN*>(lapAlloc(sizeof(VXR_RealPolyN), parent)) : nullptr;
    if (!p) {
        VXR_free(const_cast<char*>(name));
        return nullptr;
    }
    p->_name = name;
    p->_pParent = parent;
    p->_inputVar = nullptr;
    p->_polyVar = nullptr;
    p->_order = order;
    p->_coeffs = nullptr;
    p->_coeffsSet = 0;
    p->_rhsPoly = p->_dbtJ_poly_poly = p->_dbtJ_poly_in = nullptr;
    p->_dbtJ_poly_rk = p->_dbtJ_rk_prev = nullptr;
    p->_ddtOps = nullptr;
    p->_polyName = nullptr;
    return p;
}

void VXR_RealPolyN_FinalizeTopology(VXR_RealPolyN* p, VXR_StateVar* input, void* cbInfo) {
    VXR_DeviceInst* inst = p->_pParent;
    const int K = p->_order;
    p->_inputVar = input;
    p->_polyName = lapFormatName(inst, "%s_rpn", p->_name);
    p->_polyVar = hostOf(inst)->pSetupNode(p->_polyName, inst, nullptr, cbInfo);
    p->_dbtJ_poly_rk = static_cast<void**>(lapAlloc(K * sizeof(void*), inst));
    p->_dbtJ_rk_prev = static_cast<void**>(lapAlloc(K * sizeof(void*), inst));
    p->_ddtOps = static_cast<VXR_OpBranch_ddt**>(lapAlloc(K * sizeof(VXR_OpBranch_ddt*), inst));
    if (!p->_dbtJ_poly_rk || !p->_dbtJ_rk_prev || !p->_ddtOps) {
        VXR_free(p->_dbtJ_poly_rk);
        VXR_free(p->_dbtJ_rk_prev);
        VXR_free(p->_ddtOps);
        p->_dbtJ_poly_rk = p->_dbtJ_rk_prev = nullptr;
        p->_ddtOps = nullptr;
        p->_order = 1; // only the block's own row is left
        return;
    }
    for (int k = 0; k < K; ++k) {
        p->_dbtJ_poly_rk[k] = p->_dbtJ_rk_prev[k] = nullptr;
        p->_ddtOps[k] = nullptr;
    }
    for (int k = 1; k < K; ++k) {
        char* name = lapFormatName(inst, "%s_r%d", p->_name, k);
        p->_ddtOps[k] = name ? VXR_createOpBranch_ddt(name, inst) : nullptr;
        if (!p->_ddtOps[k]) {
            VXR_free(name);
            p->_order = k; // the chain ends at the last branch made
            return;
        }
        VXR_ddtFinalizeTopology(p->_ddtOps[k], cbInfo);
    }
}

void VXR_RealPolyN_SetStamp(VXR_RealPolyN* p, void* cbInfo) {
    VXR_DeviceInst* inst = p->_pParent;
    VXR_SimInterface* sim = hostOf(inst);
    VXR_StateVar* v = p->_polyVar;
    p->_rhsPoly = sim->pGetRhsPair(v, nullptr, LIN_DEP, inst, cbInfo);
    p->_dbtJ_poly_poly = sim->pGetDerivDoublet(v, v, nullptr, DC_ENTRY, LIN_DEP, inst, cbInfo);
    p->_dbtJ_poly_in = sim->pGetDerivDoublet(v, p->_inputVar, nullptr, DC_ENTRY, LIN_DEP, inst, cbInfo);
    VXR_StateVar* prev = p->_inputVar;
    for (int k = 1; k < p->_order; ++k) {
        VXR_StateVar* bk = VXR_getBranchVar_ddt(p->_ddtOps[k]);
        p->_dbtJ_poly_rk[k] = sim->pGetDerivDoublet(v, bk, nullptr, DC_ENTRY, LIN_DEP, inst, cbInfo);
        p->_dbtJ_rk_prev[k] = sim->pGetDerivDoublet(bk, prev, nullptr, DDT_ENTRY, LIN_DEP, inst, cbInfo);
        prev = bk;
    }
    for (int k = 1; k < p->_order; ++k)
        VXR_ddtSetStamp(p->_ddtOps[k], cbInfo);
}

int VXR_RealPolyN_SetCoeffs(VXR_RealPolyN* p, VXR_Array* coeffs) {
    if (!p->_coeffs) { // the buffer is reused on every later refresh
        p->_coeffs = static_cast<double*>(lapAlloc(p->_order * sizeof(double), p->_pParent));
        if (!p->_coeffs)
            return 0;
    }
    const int n = coeffs ? coeffs->_dataLen : 0;
    for (int k = 0; k < p->_order; ++k)
        p->_coeffs[k] = k < n ? coeffs->_data._pReal[k] : 0.0;
    p->_coeffsSet = 1;
    return n == p->_order;
}

namespace {

// One body for both loads; the Jacobian entries only on a full load.
void realPolyLoad(VXR_RealPolyN* p, VXR_ContribLoader* ldr, bool jac) {
    if (!p->_coeffsSet)
        return; // the operators set coefficients first; nothing sound to load
    const double v = sol(ldr, p->_polyVar);
    const double u = sol(ldr, p->_inputVar);
    double w = u;
    for (int k = 1; k < p->_order; ++k) {
        VXR_OpBranch_ddt* d = p->_ddtOps[k];
        VXR_OpBranch_ddt_setArg(d, w, ldr);
        if (jac) {
            double g = k == 1 ? 1.0 : 1.0 / p->_ddtOps[k - 1]->_rowScale;
            VXR_OpBranch_ddt_setArg_dwrt(d, p->_dbtJ_rk_prev[k], g, ldr);
        }
        w = sol(ldr, VXR_getBranchVar_ddt(d)) / d->_rowScale;
    }
    const double* c = p->_coeffs;
    double rhs = c[0] * u - v;
    if (jac) {
        loadOne(ldr->pLoadDerivDoublet, p->_dbtJ_poly_poly, -1.0, ldr);
        loadOne(ldr->pLoadDerivDoublet, p->_dbtJ_poly_in, c[0], ldr);
    }
    for (int k = 1; k < p->_order; ++k) {
        VXR_OpBranch_ddt* d = p->_ddtOps[k];
        rhs += c[k] * sol(ldr, VXR_getBranchVar_ddt(d)) / d->_rowScale;
        if (jac)
            loadOne(ldr->pLoadDerivDoublet, p->_dbtJ_poly_rk[k], c[k] / d->_rowScale, ldr);
    }
    loadOne(ldr->pLoadRhsPair, p->_rhsPoly, rhs, ldr);
    for (int k = 1; k < p->_order; ++k) {
        if (jac)
            VXR_ddtGenericLoad(p->_ddtOps[k], ldr);
        else
            VXR_ddtGenericLoadRHS(p->_ddtOps[k], ldr);
    }
}

} // namespace

void VXR_RealPolyN_LoadJacAndRhs(VXR_RealPolyN* p, VXR_ContribLoader* ldr) {
    realPolyLoad(p, ldr, true);
}

void VXR_RealPolyN_LoadRhs(VXR_RealPolyN* p, VXR_ContribLoader* ldr) {
    realPolyLoad(p, ldr, false);
}

// The block owns every name it made; the host keeps copies of its own.
void VXR_destroyRealPolyN(VXR_RealPolyN* p) {
    if (!p)
        return;
    if (p->_ddtOps)
        for (int k = 1; k < p->_order; ++k)
            if (p->_ddtOps[k]) {
                VXR_free(const_cast<char*>(p->_ddtOps[k]->_name));
                VXR_free(p->_ddtOps[k]->_pFreqResponse);
                VXR_free(p->_ddtOps[k]);
            }
    VXR_free(p->_ddtOps);
    VXR_free(p->_dbtJ_poly_rk);
    VXR_free(p->_dbtJ_rk_prev);
    VXR_free(p->_coeffs);
    VXR_free(p->_polyName);
    VXR_free(const_cast<char*>(p->_name));
    VXR_free(p);
}

// ---- second-order section ----------------------------------------------------------------

VXR_SectionPoly2* VXR_createSectionPoly2(VXR_DeviceInst* parent, const char* name) {
    auto* p = static_cast<VXR_SectionPoly2*>(lapAlloc(sizeof(VXR_SectionPoly2), parent));
    if (!p)
        return nullptr;
    p->_name = name;
    p->_pParent = parent;
    p->_inputVar = nullptr;
    p->_ddtOp = nullptr;
    p->_polyVar = nullptr;
    p->_c0 = p->_c1 = p->_c2 = 0.0;
    p->_coeffsSet = 0;
    p->_rhsPoly = p->_rhsQPoly = p->_dbtJ_d_in = nullptr;
    p->_dbtJ_poly_poly = p->_dbtJ_poly_in = p->_dbtJ_poly_d = nullptr;
    return p;
}

void VXR_SectionPoly2_FinalizeTopology(VXR_SectionPoly2* p, VXR_StateVar* input, void* cbInfo) {
    VXR_DeviceInst* inst = p->_pParent;
    p->_inputVar = input;
    p->_polyVar = hostOf(inst)->pSetupNode(p->_name, inst, nullptr, cbInfo);
    char* ddtName = lapFormatName(inst, "%s_d", p->_name);
    p->_ddtOp = ddtName ? VXR_createOpBranch_ddt(ddtName, inst) : nullptr;
    if (!p->_ddtOp) {
        VXR_free(ddtName);
        return;
    }
    VXR_ddtFinalizeTopology(p->_ddtOp, cbInfo);
}

void VXR_SectionPoly2_SetStamp(VXR_SectionPoly2* p, void* cbInfo) {
    VXR_DeviceInst* inst = p->_pParent;
    VXR_SimInterface* sim = hostOf(inst);
    if (p->_ddtOp)
        VXR_ddtSetStamp(p->_ddtOp, cbInfo);
    VXR_StateVar *q = VXR_getBranchVar_ddt(p->_ddtOp), *x = p->_inputVar, *y = p->_polyVar;
    p->_rhsPoly = sim->pGetRhsPair(y, nullptr, LIN_DEP, inst, cbInfo);
    p->_rhsQPoly = sim->pGetRhsPairQ(y, nullptr, LIN_DEP, inst, cbInfo);
    p->_dbtJ_d_in = sim->pGetDerivDoublet(q, x, nullptr, DDT_ENTRY, LIN_DEP, inst, cbInfo);
    p->_dbtJ_poly_poly = sim->pGetDerivDoublet(y, y, nullptr, DC_ENTRY, LIN_DEP, inst, cbInfo);
    p->_dbtJ_poly_in = sim->pGetDerivDoublet(y, x, nullptr, DC_ENTRY, LIN_DEP, inst, cbInfo);
    p->_dbtJ_poly_d = sim->pGetDerivDoublet(y, q, nullptr, GEN_ENTRY, LIN_DEP, inst, cbInfo);
}

namespace {

void sectionLoad(VXR_SectionPoly2* p, VXR_ContribLoader* ldr, bool jac) {
    if (!p->_coeffsSet || !p->_ddtOp)
        return; // no coefficients (or no ddt branch): nothing sound to load
    const double y = sol(ldr, p->_polyVar);
    const double x = sol(ldr, p->_inputVar);
    const double q = sol(ldr, VXR_getBranchVar_ddt(p->_ddtOp));
    // The scale the branch had when q was solved, before setArg refreshes it.
    const double rs = p->_ddtOp->_rowScale;
    const double xd = q / rs, k1 = p->_c1 / rs, k2 = p->_c2 / rs;
    VXR_OpBranch_ddt_setArg(p->_ddtOp, x, ldr);
    if (jac)
        VXR_OpBranch_ddt_setArg_dwrt(p->_ddtOp, p->_dbtJ_d_in, 1.0, ldr);
    loadOne(ldr->pLoadRhsPair, p->_rhsPoly, p->_c0 * x - y + p->_c1 * xd, ldr);
    if (jac) {
        loadOne(ldr->pLoadDerivDoublet, p->_dbtJ_poly_poly, -1.0, ldr);
        loadOne(ldr->pLoadDerivDoublet, p->_dbtJ_poly_in, p->_c0, ldr);
        loadOne(ldr->pLoadDerivDoublet, p->_dbtJ_poly_d, k1, ldr);
    }
    loadOne(ldr->pLoadRhsPairQ, p->_rhsQPoly, p->_c2 * xd, ldr);
    if (jac) {
        loadOne(ldr->pLoadDerivDoubletQ, p->_dbtJ_poly_d, k2, ldr);
        VXR_ddtGenericLoad(p->_ddtOp, ldr);
    } else {
        VXR_ddtGenericLoadRHS(p->_ddtOp, ldr);
    }
}

void setSection(VXR_SectionPoly2* p, double c0, double c1, double c2) {
    p->_c0 = c0;
    p->_c1 = c1;
    p->_c2 = c2;
    p->_coeffsSet = 1;
}

} // namespace

void VXR_SectionPoly2_LoadJacAndRhs(VXR_SectionPoly2* p, VXR_ContribLoader* ldr) {
    sectionLoad(p, ldr, true);
}

void VXR_SectionPoly2_LoadRhs(VXR_SectionPoly2* p, VXR_ContribLoader* ldr) {
    sectionLoad(p, ldr, false);
}

void VXR_setSectionPoly2CoeffsCmplx(VXR_SectionPoly2* p, double r, double i) {
    double m2 = r * r + i * i;
    setSection(p, 1.0, -2.0 * r / m2, 1.0 / m2);
}

void VXR_setSectionPoly2CoeffsReal(VXR_SectionPoly2* p, double r1, double r2) {
    if (r1 == 0.0 && r2 == 0.0)
        setSection(p, 0.0, 0.0, 1.0);
    else if (r1 == 0.0)
        setSection(p, 0.0, 1.0, -1.0 / r2);
    else if (r2 == 0.0)
        setSection(p, 0.0, 1.0, -1.0 / r1);
    else
        setSection(p, 1.0, -1.0 / r1 - 1.0 / r2, 1.0 / (r1 * r2));
}

void VXR_setSectionPoly2CoeffsSingleReal(VXR_SectionPoly2* p, double r) {
    if (r == 0.0)
        setSection(p, 0.0, 1.0, 0.0);
    else
        setSection(p, 1.0, -1.0 / r, 0.0);
}

void VXR_destroySectionPoly2(VXR_SectionPoly2* p) {
    if (!p)
        return;
    if (p->_ddtOp) {
        VXR_free(const_cast<char*>(p->_ddtOp->_name));
        VXR_free(p->_ddtOp->_pFreqResponse);
        VXR_free(p->_ddtOp);
    }
    VXR_free(const_cast<char*>(p->_name));
    VXR_free(p);
}

// ---- pole-residue branch ---------------------------------------------------------------------

VXR_OpBranchPoleResidue* VXR_createOpBranchPoleResidue(const char* name, VXR_DeviceInst* parent) {
    auto* pOp = static_cast<VXR_OpBranchPoleResidue*>(
        lapAlloc(sizeof(VXR_OpBranchPoleResidue) + sizeof(VXR_NodalInfo), parent, name));
    if (!pOp)
        return nullptr;
    pOp->_name = name;
    pOp->_pParent = parent;
    pOp->_numQuotCoeffs = 0;
    pOp->_pQuotCoeffs = nullptr;
    pOp->_numPoles = 0;
    pOp->_pPoles = nullptr;
    pOp->_pPoleMult = nullptr;
    pOp->_ppResidues = nullptr;
    pOp->_branchVar = nullptr;
    pOp->_rhsBranch = nullptr;
    pOp->_dbtJ_br_br = nullptr;
    pOp->_coeffsChanged = 0;
    pOp->_pPoleResSpec = nullptr;
    VXR_SimInterface* sim = hostOf(parent);
    if (sim->pCreatePoleResSpec)
        pOp->_pPoleResSpec = sim->pCreatePoleResSpec(sim, pOp);
    pOp->_pFreqResponse = allocFreqResponse(pOp, poleResidueFreqResponse, parent);
    return pOp;
}

void VXR_PoleResidueFinalizeTopology(VXR_OpBranchPoleResidue* pOp, void* cbInfo) {
    VXR_NodalInfo* info = nodalInfoOf(pOp);
    info->nodeType = VXR_OPPOLERES;
    info->numOfArgVars = -1;
    info->pArgVars = nullptr;
    pOp->_branchVar = hostOf(pOp->_pParent)->pSetupNode(pOp->_name, pOp->_pParent, info, cbInfo);
}

void VXR_PoleResidueSetStamp(VXR_OpBranchPoleResidue* pOp, void* cbInfo) {
    VXR_DeviceInst* inst = pOp->_pParent;
    VXR_SimInterface* sim = hostOf(inst);
    pOp->_rhsBranch = sim->pGetRhsPair(pOp->_branchVar, nullptr, LIN_DEP, inst, cbInfo);
    pOp->_dbtJ_br_br = sim->pGetDerivDoublet(pOp->_branchVar, pOp->_branchVar, nullptr, DC_ENTRY, LIN_DEP, inst,
                                             cbInfo);
}

void* VXR_getDerivDoubletOpBranchPoleResidue(VXR_OpBranchPoleResidue* pOp, VXR_StateVar* sv1, VXR_StateVar* sv2,
                                             VXR_StampTargetE target, VXR_DepTypeE dep, void* cbInfo) {
    return hostOf(pOp->_pParent)->pGetDerivDoublet(pOp->_branchVar, sv1, sv2, target, dep, pOp->_pParent, cbInfo);
}

// A loader without a member (the static-check loader) computes no response.
void VXR_PoleResidueSetArg(VXR_OpBranchPoleResidue* pOp, double arg, VXR_ContribLoader* ldr) {
    if (ldr->pLoadPoleResidue)
        ldr->pLoadPoleResidue(pOp->_pPoleResSpec, pOp->_rhsBranch, arg, ldr);
}

void VXR_PoleResidueSetArg_dwrt(VXR_OpBranchPoleResidue* pOp, void* doublet, double dval, VXR_ContribLoader* ldr) {
    if (ldr->pLoadPoleResidue_dwrt)
        ldr->pLoadPoleResidue_dwrt(pOp->_pPoleResSpec, doublet, dval, ldr);
}

void VXR_PoleResidueGenericLoadRHS(VXR_OpBranchPoleResidue* pOp, VXR_ContribLoader* ldr) {
    loadOne(ldr->pLoadRhsPair, pOp->_rhsBranch, -sol(ldr, pOp->_branchVar), ldr);
}

void VXR_PoleResidueGenericLoad(VXR_OpBranchPoleResidue* pOp, VXR_ContribLoader* ldr) {
    VXR_PoleResidueGenericLoadRHS(pOp, ldr);
    loadOne(ldr->pLoadDerivDoublet, pOp->_dbtJ_br_br, -1.0, ldr);
}

void VXR_PoleResidueAcceptTimePoint(VXR_OpBranchPoleResidue* pOp, VXR_ContribLoader* ldr) {
    if (ldr->pAcceptPoleResidue)
        ldr->pAcceptPoleResidue(pOp->_pPoleResSpec, ldr);
}

void* VXR_PoleResidueSaveState(VXR_OpBranchPoleResidue* pOp) {
    VXR_SimInterface* sim = hostOf(pOp->_pParent);
    return sim->pCopyPoleResSpec && pOp->_pPoleResSpec ? sim->pCopyPoleResSpec(pOp->_pPoleResSpec) : nullptr;
}

// The state is checked before the current object goes, so a bad state leaves
// the branch as it was.
void VXR_PoleResidueRestoreState(VXR_OpBranchPoleResidue* pOp, void* pOpState) {
    auto* hdr = static_cast<VXR_GenericOperatorState*>(pOpState);
    VXR_SimInterface* sim = hostOf(pOp->_pParent);
    if (!hdr || hdr->opStateType != VXR_POLERES_SPEC || !sim->pCopyPoleResSpec)
        return;
    freeHostObject(pOp->_pParent, pOp->_pPoleResSpec);
    pOp->_pPoleResSpec = sim->pCopyPoleResSpec(pOpState);
}

void VXR_PoleResidueReset(VXR_OpBranchPoleResidue* pOp) {
    VXR_SimInterface* sim = hostOf(pOp->_pParent);
    freeHostObject(pOp->_pParent, pOp->_pPoleResSpec);
    pOp->_pPoleResSpec = sim->pCreatePoleResSpec ? sim->pCreatePoleResSpec(sim, pOp) : nullptr;
    pOp->_coeffsChanged = 1;
}

void VXR_addNoiseForOpPoleResidue(VXR_NoiseSrc* src, VXR_OpBranchPoleResidue* pOp) {
    VXR_addColoredNoise(src, pOp->_branchVar, 1.0, pOp->_pFreqResponse);
}

#if VXR_REVISION == 160
void VXR_reportNoiseContribForOpPoleResidue(VXR_OpBranchPoleResidue* pOp, int n, void* info) {
    if (!pOp || !hostOf(pOp->_pParent)->pReportNoiseContrib)
        return;
    hostOf(pOp->_pParent)->pReportNoiseContrib(n, pOp->_branchVar, nullptr, pOp->_pParent, info);
}

void poleResidueDestroy(VXR_OpBranchPoleResidue* pOp) {
    if (!pOp)
        return;
    freeHostObject(pOp->_pParent, pOp->_pPoleResSpec);
    VXR_free(pOp->_pQuotCoeffs);
    poleResidueFreeDecomposition(pOp);
    VXR_free(pOp->_pFreqResponse);
    VXR_free(pOp);
}
#else
VXR_StateVar* VXR_getBranchVarPoleResidue(VXR_OpBranchPoleResidue* pOp) {
    return pOp ? pOp->_branchVar : nullptr;
}
#endif

void poleResidueFreqResponse(void* op, double omega, VXR_Cmplx* out) {
    auto* pOp = static_cast<VXR_OpBranchPoleResidue*>(op);
    VXR_Cmplx sum = {0.0, 0.0};
    for (int i = 0; i < pOp->_numPoles; ++i) {
        VXR_Cmplx p = pOp->_pPoles[i];
        if (p.real == 0.0 && p.imag == 0.0)
            p.real = -1e-5; // keeps an integrator's response finite at omega 0
        const VXR_Cmplx z = {-p.real, omega - p.imag};
        VXR_Cmplx w = z;
        for (int k = 0; k < pOp->_pPoleMult[i]; ++k) {
            VXR_Cmplx t = VXR_cmplxDiv(pOp->_ppResidues[i][k], w);
            sum.real += t.real;
            sum.imag += t.imag;
            w = {w.real * z.real - w.imag * z.imag, w.real * z.imag + w.imag * z.real};
        }
    }
    *out = sum;
}

} // extern "C"

#endif // VXR_REVISION != 187
