/*
 * VXR_OpLaplace.h - the Laplace operator branch of revision 1.87
 * (laplace_nd, laplace_zd, laplace_np, laplace_zp): records and methods.
 * Runtime-internal; generated modules include it where they use the filter.
 *
 * y(s) = H(s) F(s), H = N/D, realised either directly (a chain of scaled
 * derivative variables x_0 .. x_K driven by the input, the output a weighted
 * sum of them) or as a cascade of second-order sections; the choice is made
 * once, at topology time.
 */
#ifndef VXR_OPLAPLACE_H
#define VXR_OPLAPLACE_H

#include "VXR_SupportLib.h"

#if VXR_REVISION == 187

extern "C" {

/* One second-order section: y/v = (n0 + n1 w s + n2 (w s)^2) / (d0 + d1 w s + d2 (w s)^2). */
typedef struct s_VXR_Biquad {
    const char* _name;          /* "%s_%d" copy, owned; name of the output node */
    VXR_DeviceInst* _pParent;
    VXR_StateVar* _svIn;        /* operator input node (section 0) or previous output */
    VXR_StateVar* _sv1;         /* internal variable x_1 */
    VXR_StateVar* _svResult;    /* section output y */
    double _n[3];
    double _d[3];
    double _Cnorm;              /* frequency scale w */
    void* _rhsResult;
    void* _rhsResultQ;
    void* _dbtJ_out_out;
    void* _dbtJ_out_in;
    void* _dbtJ_out_d1;
    void* _rhsInt;
    void* _rhsIntQ;
    void* _dbtJ_d1_d1;
    void* _dbtJ_d1_in;
    void* _dbtJ_d1_out;
} VXR_Biquad;

typedef struct s_VXR_OpBranch_lap {
    const char* _name;          /* not a copy; direct output node name, stem of the others */
    VXR_DeviceInst* _pParent;
    VXR_Array* _pNumer;         /* coefficients or (re, im) roots */
    VXR_Array* _pDenom;
    int _numerN;                /* degree (polynomial) or number of roots */
    int _denomN;
    unsigned _use_lap_d : 1;    /* direct realisation */
    unsigned _numPoly : 1;
    unsigned _denPoly : 1;
    unsigned _coeffsComputed : 1;
    VXR_StateVar* _branchVar;   /* output y */
    VXR_StateVar* _auxBranch;   /* input row: receives G x F */
    void* _rhsAuxBranch;
    void* _dbtJ_br_br;
    VXR_Biquad** _biquads;
    int _numBiquads;
    double _Gain;
    void* _rhsBranch;
    void** _dbtJ_br_xk;
    int _K;
    VXR_StateVar** _sv_xk;
    void** _rhs_xk;
    void** _rhsQ_xk;
    void*** _dbtJ_xk;
    double* _pC;
    double* _pNum;
    char* _pD;
    /* Kept by the runtime beyond the fields above. */
    unsigned _ownNumer : 1;     /* _pNumer / _pDenom are private copies to free */
    unsigned _ownDenom : 1;
    unsigned _inert : 1;        /* a missing or zero polynomial was reported: no nodes, no loads */
    char** _nodeNames;          /* node-name copies made here, freed on destroy */
    int _numNodeNames;
} VXR_OpBranch_lap;

VXR_OpBranch_lap* VXR_createOpBranch_lap(const char* name, VXR_DeviceInst* pParent, int N, int D);
void VXR_lapInitArrayArg(VXR_OpBranch_lap* op, VXR_Array* pNumerator, VXR_Array* pDenominator);
void VXR_lapFinalizeTopology(VXR_OpBranch_lap* op, void* pCallbackInfo);
void VXR_lapSetStamp(VXR_OpBranch_lap* op, void* pCallbackInfo);
void VXR_lapSetArg(VXR_OpBranch_lap* op, double F, VXR_Array* pNumerator, VXR_Array* pDenominator,
                   VXR_ContribLoader* ldr);
void VXR_lapSetArg_dwrt(VXR_OpBranch_lap* op, void* pDoublet, double val, VXR_ContribLoader* ldr);
void* VXR_getDerivDoubletOpBranch_lap(VXR_OpBranch_lap* op, VXR_StateVar* svColPlus, VXR_StateVar* svColMinus,
                                      VXR_StampTargetE target, VXR_DepTypeE dep, void* pCallbackInfo);
void VXR_lapGenericLoad(VXR_OpBranch_lap* op, VXR_ContribLoader* ldr);
void VXR_lapGenericLoadRHS(VXR_OpBranch_lap* op, VXR_ContribLoader* ldr);
VXR_StateVar* VXR_getBranchVar_lap(VXR_OpBranch_lap* op);
void VXR_reportNoiseContribForOp_lap(VXR_OpBranch_lap* op, int noiseSrcNum, void* pCallbackInfo);
void VXR_addNoiseForOp_lap(VXR_NoiseSrc* pSrc, VXR_OpBranch_lap* op, double coeff, VXR_ContribLoader* ldr);
void VXR_lapAcceptTimePoint(VXR_OpBranch_lap* op, VXR_ContribLoader* ldr);
void VXR_lapReset(VXR_OpBranch_lap* op);
void* VXR_lapSaveState(VXR_OpBranch_lap* op);
void VXR_lapRestoreState(VXR_OpBranch_lap* op, void* state);
void VXR_lapReportLinearScale(VXR_OpBranch_lap* op, double linScale);
void VXR_destroyOpBranch_lap(VXR_OpBranch_lap* op);

/* Section coefficients from a zero and a pole buffer (re1, im1, re2, im2;
 * an empty slot holds VXR_LAP_EMPTY_ROOT); *pG takes the numerator scale. */
#define VXR_LAP_EMPTY_ROOT 3.567891321e193
void VXR_setBiquadCoeffs(VXR_Biquad* pBiquad, const double* zeros, const double* poles, double* pG);

}

#endif /* VXR_REVISION == 187 */
#endif /* VXR_OPLAPLACE_H */
