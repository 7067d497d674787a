/*
 * VXR_Op142.h - records of the revision 1.42 branch-form transition and slew
 * operators (their waveforms live in host objects) and of the 1.42 z-domain
 * filter built on an embedded transition. Runtime-internal.
 */
#ifndef VXR_OP142_H
#define VXR_OP142_H

#include "VXR_Operators.h"

#if VXR_REVISION == 142

#ifdef __cplusplus
extern "C" {
#endif

/* Transition branch: the host deposits the waveform into the branch row, the
 * operator closes it with -x, so x carries the transition output. */
struct s_VXR_OpBranch_transition {
    const char* _name;          /* not a copy; names the branch */
    VXR_DeviceInst* _pParent;
    double _defaultTransition;  /* used when > 0 */
    VXR_StateVar* _branchVar;   /* NULL until FinalizeTopology */
    void* _rhsBranch;
    void* _dbtJ_br_br;
    void* _pTransitionState;    /* host object, headed by VXR_GenericOperatorState */
};

/* Slew branch: same row, the host's slew object deposits the output. */
struct s_VXR_OpBranch_slew {
    const char* _name;
    VXR_DeviceInst* _pParent;
    VXR_StateVar* _branchVar;
    void* _rhsBranch;
    void* _dbtJ_br_br;
    void* _pSlewSpec;
};

/* z-domain filter: samples its input, runs the difference equation and hands
 * each new value to the embedded transition, whose branch is the output. */
struct s_VXR_OpBranch_zi {
    const char* _name;
    VXR_DeviceInst* _pParent;
    VXR_Array* _pNumer;         /* the caller's; NULL when absent */
    VXR_Array* _pDenom;
    int _coeffsComputed;
    int _numerOrder;            /* coefficients (and input history entries) in use */
    int _numerZeroForm;
    double* _numerCoeffs;       /* entry i multiplies z^-i */
    double* _xHist;             /* entry 0 newest */
    int _denomOrder;
    int _denomPoleForm;
    double* _denomCoeffs;       /* entry 0 divides the difference equation */
    double* _yHist;
    VXR_OpBranch_transition* _pTrans;
    double _targetVal;
    double _nextSampleTime;
    double _cacheF;
    double _cacheT;
    double _cache_t0;
    double _cacheTau;
    double _cacheAlpha;         /* DC gain, computed at time 0 */
};

/* Saved filter state. The two counts follow the documented fields so that a
 * restore into an operator whose orders changed copies only what both hold. */
struct s_ziState {
    VXR_GenericOperatorState _opState; /* VXR_ZI_STATE */
    double* _xHist;
    double* _yHist;
    void* _pTransitionState;    /* host copy of the embedded transition's object */
    double _targetVal;
    double _nextSampleTime;
    double _cacheF;
    double _cacheT;
    double _cache_t0;
    double _cacheTau;
    double _cacheAlpha;
    int _numerOrder;            /* entries in _xHist */
    int _denomOrder;            /* entries in _yHist */
};

/* (re, im) pairs: each complex pair's conjugate moved right behind it; 0 when
 * one has none. */
int VXR_checkConjugateZeros(double* values, int count);

/* The runtime's assertion report; stops the program when ok is false. */
void VXR_assert142(int ok, const char* expression, int line);

#ifdef __cplusplus
}
#endif

#endif /* VXR_REVISION == 142 */

#endif /* VXR_OP142_H */
