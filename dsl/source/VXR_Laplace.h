/*
 * VXR_Laplace.h - records and internal helpers of the Laplace operators of
 * revisions 1.60 and 1.42: the derivative-chain block, the second-order
 * section, the pole-residue branch (whose layout the host reads) and the
 * polynomial toolkit. Runtime-internal.
 */
#ifndef VXR_LAPLACE_H
#define VXR_LAPLACE_H

#include "VXR_Operators.h"

#if VXR_REVISION != 187

#ifdef __cplusplus
extern "C" {
#endif

/* Value of P(d/dt) u = sum c_k d^k u/dt^k as one internal variable, the
 * derivatives made by a chain of K - 1 ddt branches. */
typedef struct s_VXR_RealPolyN {
    const char* _name;          /* owned copy; stem of the internal names */
    VXR_DeviceInst* _pParent;
    VXR_StateVar* _inputVar;
    VXR_StateVar* _polyVar;
    int _order;                 /* K coefficients */
    double* _coeffs;
    int _coeffsSet;
    void* _rhsPoly;
    void* _dbtJ_poly_poly;
    void* _dbtJ_poly_in;
    void** _dbtJ_poly_rk;       /* K entries, entry 0 unused */
    void** _dbtJ_rk_prev;
    VXR_OpBranch_ddt** _ddtOps;
    char* _polyName;            /* the copy handed to pSetupNode */
} VXR_RealPolyN;

/* y = c0 x + c1 dx/dt + c2 d2x/dt2 with one ddt branch of its own. */
typedef struct s_VXR_SectionPoly2 {
    const char* _name;          /* kept by reference (the operator's copy) */
    VXR_DeviceInst* _pParent;
    VXR_StateVar* _inputVar;
    VXR_OpBranch_ddt* _ddtOp;
    VXR_StateVar* _polyVar;
    double _c0, _c1, _c2;
    int _coeffsSet;
    void* _rhsPoly;
    void* _rhsQPoly;
    void* _dbtJ_d_in;
    void* _dbtJ_poly_poly;
    void* _dbtJ_poly_in;
    void* _dbtJ_poly_d;
} VXR_SectionPoly2;

/* The host reads this record (create passes its address), so the order and
 * the natural alignment of the fields are fixed; checked below. */
struct s_VXR_OpBranchPoleResidue {
    const char* _name;
    VXR_DeviceInst* _pParent;
    int _numQuotCoeffs;
    double* _pQuotCoeffs;       /* polynomial part, ascending powers */
    int _numPoles;              /* distinct poles */
    VXR_Cmplx* _pPoles;
    int* _pPoleMult;
    VXR_Cmplx** _ppResidues;    /* [i][k]: coefficient of 1/(s - p_i)^(k+1) */
    char _reserved[8];
    VXR_StateVar* _branchVar;
    void* _rhsBranch;
    void* _dbtJ_br_br;
    void* _pPoleResSpec;        /* the host object */
    int _coeffsChanged;
    VXR_FreqResponse* _pFreqResponse;
};

/* Keeps the runtime's own offsets honest for 64-bit and 32-bit builds. */
#define VXR_LAP_OFFSET(field, off32, off64)                                                                    \
    static_assert(offsetof(VXR_OpBranchPoleResidue, field) == (sizeof(void*) == 8 ? (off64) : (off32)),         \
                  "pole-residue record layout: " #field)
#ifdef __cplusplus
#include <cstddef>
VXR_LAP_OFFSET(_numQuotCoeffs, 8, 16);
VXR_LAP_OFFSET(_pQuotCoeffs, 12, 24);
VXR_LAP_OFFSET(_numPoles, 16, 32);
VXR_LAP_OFFSET(_pPoles, 20, 40);
VXR_LAP_OFFSET(_ppResidues, 28, 56);
VXR_LAP_OFFSET(_reserved, 32, 64);
VXR_LAP_OFFSET(_branchVar, 40, 72);
VXR_LAP_OFFSET(_pPoleResSpec, 52, 96);
VXR_LAP_OFFSET(_coeffsChanged, 56, 104);
VXR_LAP_OFFSET(_pFreqResponse, 60, 112);
static_assert(sizeof(VXR_OpBranchPoleResidue) == (sizeof(void*) == 8 ? 120 : 64), "pole-residue record size");
#endif

struct s_VXR_OpBranch_lapnd {
    const char* _name;
    VXR_DeviceInst* _pParent;
    VXR_Array* _pNumer;
    VXR_Array* _pDenom;
    int _coeffsComputed;
    VXR_RealPolyN* _pNumerPoly;
    int _numerN;
    VXR_RealPolyN* _pDenomPoly;
    int _denomN;
    VXR_StateVar* _branchVar;
    VXR_StateVar* _auxBranch;
    void* _rhsBranch;
    void* _rhsAuxBranch;
    void* _dbtJ_br_poly;        /* output row: +1 against N(d/dt) z, -1 against y */
    void* _dbtJ_aux_den;        /* input row against D(d/dt) z */
    VXR_OpBranchPoleResidue* pPoleResBranch;
    char* _auxName;             /* the input variable's name, a copy */
};

struct s_VXR_OpBranch_lapnp {
    const char* _name;
    VXR_DeviceInst* _pParent;
    VXR_Array* _pNumer;
    VXR_Array* _pDenom;         /* poles as (re, im) pairs */
    VXR_SectionPoly2** _poleSections;
    int _coeffsComputed;
    int _denomN;                /* poles */
    int _numPoleSections;
    VXR_RealPolyN* _pNumerPoly;
    int _numerN;
    VXR_StateVar* _branchVar;
    VXR_StateVar* _poleChainOut;
    VXR_StateVar* _auxBranch;
    void* _rhsAuxBranch;
    void* _rhsBranch;
    void* _dbtJ_br_poly;        /* output row: +1 against N(d/dt) z, -1 against y */
    void* _dbtJ_aux_den;        /* input row against D(d/dt) z */
    VXR_OpBranchPoleResidue* pPoleResBranch;
    char* _auxName;             /* the input variable's name, a copy */
};

struct s_VXR_OpBranch_lapzd {
    const char* _name;
    VXR_DeviceInst* _pParent;
    VXR_Array* _pNumer;         /* zeros as (re, im) pairs; may be NULL */
    VXR_Array* _pDenom;
    VXR_SectionPoly2** _zeroSections;
    VXR_RealPolyN* _pDenomPoly;
    int _coeffsComputed;
    int _numerN;                /* zeros */
    int _numZeroSections;
    int _denomN;
    int _oddZero;
    double _a0;
    double _b0;
    VXR_StateVar* _branchVar;
    VXR_StateVar* _zeroChainOut;
    VXR_StateVar* _auxBranch;
    void* _rhsBranch;
    void* _rhsAuxBranch;
    void* _rhsQAuxBranch;
    void* _dbtJ_br_poly;        /* output row: +1 against N(d/dt) z, -1 against y */
    void* _dbtJ_aux_den;        /* input row against D(d/dt) z */
    VXR_OpBranchPoleResidue* pPoleResBranch;
    char* _auxName;             /* the input variable's name, a copy */
};

struct s_VXR_OpBranch_lapzp {
    const char* _name;
    VXR_DeviceInst* _pParent;
    VXR_Array* _pNumer;         /* zeros; may be NULL */
    VXR_Array* _pDenom;         /* poles */
    VXR_SectionPoly2** _zeroSections;
    VXR_SectionPoly2** _poleSections;
    int _coeffsComputed;
    int _numerN;                /* zeros */
    int _numZeroSections;
    int _denomN;                /* poles */
    int _numPoleSections;
    int _oddZero;
    double _a0;
    double _b0;
    VXR_StateVar* _branchVar;
    VXR_StateVar* _zeroChainOut;
    VXR_StateVar* _poleChainOut;
    VXR_StateVar* _auxBranch;
    void* _rhsBranch;
    void* _rhsAuxBranch;
    void* _rhsQAuxBranch;
    void* _dbtJ_br_poly;        /* output row: +1 against N(d/dt) z, -1 against y */
    void* _dbtJ_aux_den;        /* input row against D(d/dt) z */
    VXR_OpBranchPoleResidue* pPoleResBranch;
    char* _auxName;             /* the input variable's name, a copy */
};

/* fmt (one %s for text, at most one %d for k) formatted into a VXR_malloc
 * block sized for the result. */
char* lapFormatName(VXR_DeviceInst* inst, const char* fmt, const char* text, int k = 0);

/* ---- blocks ---- */
VXR_RealPolyN* VXR_createRealPolyN(VXR_DeviceInst* parent, int order, const char* name);
void VXR_RealPolyN_FinalizeTopology(VXR_RealPolyN* p, VXR_StateVar* input, void* cbInfo);
void VXR_RealPolyN_SetStamp(VXR_RealPolyN* p, void* cbInfo);
/* Copies at most _order values; a length mismatch is reported by the caller. */
int VXR_RealPolyN_SetCoeffs(VXR_RealPolyN* p, VXR_Array* coeffs);
void VXR_RealPolyN_LoadJacAndRhs(VXR_RealPolyN* p, VXR_ContribLoader* ldr);
void VXR_RealPolyN_LoadRhs(VXR_RealPolyN* p, VXR_ContribLoader* ldr);
void VXR_destroyRealPolyN(VXR_RealPolyN* p);

VXR_SectionPoly2* VXR_createSectionPoly2(VXR_DeviceInst* parent, const char* name);
void VXR_SectionPoly2_FinalizeTopology(VXR_SectionPoly2* p, VXR_StateVar* input, void* cbInfo);
void VXR_SectionPoly2_SetStamp(VXR_SectionPoly2* p, void* cbInfo);
void VXR_SectionPoly2_LoadJacAndRhs(VXR_SectionPoly2* p, VXR_ContribLoader* ldr);
void VXR_SectionPoly2_LoadRhs(VXR_SectionPoly2* p, VXR_ContribLoader* ldr);
void VXR_setSectionPoly2CoeffsCmplx(VXR_SectionPoly2* p, double r, double i);
void VXR_setSectionPoly2CoeffsReal(VXR_SectionPoly2* p, double r1, double r2);
void VXR_setSectionPoly2CoeffsSingleReal(VXR_SectionPoly2* p, double r);
/* Frees the section, its ddt branch and both names (copies the operator
 * and the section made; the host copies the names it is given). */
void VXR_destroySectionPoly2(VXR_SectionPoly2* p);

/* ---- pole-residue branch ---- */
void poleResidueFreqResponse(void* pOp, double omega, VXR_Cmplx* out);
#if VXR_REVISION == 160
void poleResidueDestroy(VXR_OpBranchPoleResidue* pOp);
#endif
/* Releases the record's decomposition arrays (not the record). */
void poleResidueFreeDecomposition(VXR_OpBranchPoleResidue* pOp);

/* ---- polynomial toolkit ---- */
enum { NUM_ZEROS = 0, NUM_COEFFS = 1 };
VXR_Cmplx VXR_cmplxDiv(VXR_Cmplx r, VXR_Cmplx w);
int areIdentical(double aRe, double aIm, double bRe, double bIm, double absTol, double relTol);
double factorialRatio(int m, int i); /* m! / (m - i)! in double */
int factorial(int n);
void dividePoly(double* numer, int numerDegree, const double* denom, int denomDegree, double* quot);
void computePolyFromRoots(double* poly, const double* roots, int n);
double getSuppliedTol(int defaultType, double defaultValue, VXR_ContribLoader* ldr);
int arrayLen(const VXR_Array* arr);

#ifdef __cplusplus
}
#endif

#endif /* VXR_REVISION != 187 */
#endif /* VXR_LAPLACE_H */
