/*
 * VXR_Operators.h - records of the analog operators and the helpers the
 * operator sources share. Runtime-internal; generated modules include it
 * where they read an operator's fields (_branchVar, _rowScale).
 */
#ifndef VXR_OPERATORS_H
#define VXR_OPERATORS_H

#include "VXR_SupportLib.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Response of an operator at angular frequency omega, for noise analysis. */
typedef void (*VXR_FreqResponseFn)(void* op, double omega, VXR_Cmplx* z);

struct s_VXR_FreqResponse {
    void* pOp;
    VXR_FreqResponseFn pGetFreqResponse;
};

/* Time-derivative operator branch. The first three fields are common to
 * every operator branch. */
struct s_VXR_OpBranch_ddt {
    const char* _name;          /* not a copy; also the branch variable's name */
    VXR_DeviceInst* _pParent;
    VXR_StateVar* _branchVar;   /* NULL until FinalizeTopology */
    void* _rhsBranch;           /* RHS handle of the branch row, static part */
    void* _rhsBranchQ;          /* RHS handle of the branch row, charge part */
    void* _dbtJ_br_br;          /* Jacobian handle: branch row, branch column */
    double _rowScale;           /* s of s * dQ/dt - x = 0 */
    VXR_FreqResponse* _pFreqResponse; /* made on the first noise use */
};

/* How the integral operator loaded its row in the present pass. */
typedef enum {
    NO_LOAD = 0,
    IC_LOAD = 1,
    IC_LOAD_NO_Q = 2,
    F_LOAD = 3,
    MOD_LOAD = 4,
    IDTMOD_IC_LOAD = 5,
    MANUAL_IDT_LOAD = 6,
    IDTMOD_BRANCHLESS_LOAD = 7
} idtLoadTypeE;

/* Integral operator branch (idt, idtmod): x carries the integral. */
struct s_VXR_OpBranch_idt {
    const char* _name;
    VXR_DeviceInst* _pParent;
    VXR_StateVar* _branchVar;
    void* _rhsBranch;           /* static part of the row of x */
    void* _rhsBranchQ;          /* charge part of the row of x */
    void* _dbtJ_br_br;          /* row x / column x, GEN_ENTRY */
    double _prevVal;            /* x at the last accepted point */
    double _prevF;              /* integrand at the last accepted point */
    double _prevTime;           /* time of the last accepted point; -1 before the first */
    idtLoadTypeE _loadType;
    double _cacheF;             /* integrand of the present pass */
    double _branchScale;        /* s of d/dt(s x) = s F */
    double _dcVal;              /* x accepted at time 0 */
    double _cacheVal;           /* output of the manual and modulus loads */
    double _brDerivCoeff;       /* d output / dx */
    double _derivCoeff;         /* d output / dF */
    double _modVal;
    double _offsetVal;
    unsigned long _staticMask;
    unsigned long _ssMask;      /* "ac" and "noise" */
    int _argCount;
    VXR_StateVar** _pArgArray;  /* owned; handed to the host as nodal info */
};

/* Saved state of an integral operator; freed as one block. */
typedef struct s_idtState {
    VXR_GenericOperatorState _opState;
    double _prevVal;
    double _prevF;
    double _prevTime;
    idtLoadTypeE _loadType;
    double _cacheF;
} idtState;

/* idtmod's wrap of v into [o, o + m); 0 for a modulus of 0 or less. */
double getModValue(double v, double m, double o);

/* Absolute-delay operator branch over the host's delay object. */
struct s_VXR_OpBranch_delay {
    const char* _name;
    VXR_DeviceInst* _pParent;
    VXR_StateVar* _branchVar;   /* y, the delayed value */
    void* _rhsBranch;
    void* _rhsDelayEntry;       /* where the host loads the delayed argument */
    void* _dbtJ_br_br;
    void* _pDelaySpec;          /* host object, headed by VXR_GenericOperatorState */
    double _cacheDelay;         /* delay of the last SetArg, after the negative-delay rule */
    VXR_FreqResponse* _pFreqResponse;
    int _negDelayWarningGiven;
};

struct s_VXR_NoiseContrib {
    void* pNoiseContribInfo;
    void* pRhsPair;             /* key, with pFreqResponse */
    double coeff;
    VXR_FreqResponse* pFreqResponse;
    struct s_VXR_NoiseContrib* pNext;
};

struct s_VXR_NoiseSrc {
    void* pNoiseSrcInfo;
    const char* name;
    VXR_DeviceInst* pParent;
    VXR_NoiseSrcTypeE noiseSrcType;
    double pwr;
    double flickerExp;
    VXR_Array* pTable;          /* noise_table data, not owned */
    VXR_NoiseContrib* pContrib;
    int useCount;               /* contributions added since the last clear */
};

struct s_VXR_acSrc {
    VXR_DeviceInst* pParent;
    int numOfContribPairs;
    StateVarPairT* pContribPairs;
    int id;
    double mag;
    double phase;
    double freq;
    int mode;
    double freq0;
    int freqIndex;
    unsigned freqChange : 1;
    unsigned long mask;         /* analyses in which the stimulus is active */
};

typedef double (*VXR_LimexpEvalFn)(double arg, VXR_LimexpDesc* pDesc);

struct s_VXR_LimexpDesc {
    VXR_DeviceInst* pParent;
    int hasSingleLinearArg;
    VXR_StateVar* pPosVar;
    VXR_StateVar* pNegVar;
    double _cacheDeriv;         /* derivative of the last evaluation */
    VXR_LimexpEvalFn pEvalFunc;
    void* pPrivateInfo;
};

#if VXR_REVISION != 142
/* One pending transition of a transition operator. */
typedef struct s_VXR_TransitionEvent {
    double _targetVal;
    double _evtStartTime;
    double _evtRiseTime;
    double _evtFallTime;
    double _timeTol;
    int _type;                          /* 2 large, 1 small */
    struct s_VXR_TransitionEvent* _pNext;
} VXR_TransitionEvent;

/* Waveform of a transition operator; also its saved state. The pending
 * events run from _pPendingFirst to _pPendingLast in increasing start time;
 * nodes linked behind _pPendingLast are spares, and an emptied list parks
 * its nodes in _pRepository. The record owns every node. */
typedef struct s_VXR_TransitionSpec {
    VXR_GenericOperatorState _opState;
    double _cacheExprVal;               /* arguments of the last SetArg */
    double _cacheDelay;
    double _cacheRiseTime;              /* after default substitution */
    double _cacheFallTime;
    double _cacheTimeTol;
    int _numBreak;                      /* consecutive accepted points with a change, at most 100 */
    int _type;                          /* of the current or last scheduled transition; 0 none yet */
    double _cacheOpVal;                 /* output of the last active SetArg */
    double _startTime;                  /* current ramp; -1.0 when idle */
    double _stopTime;                   /* 0.0 when idle */
    double _origin;
    double _destination;                /* output when no ramp runs */
    int _zeroDefault;                   /* a ramp time came from the minimum step */
    double _prevTime;                   /* last accepted point; -1.0 before the first */
    double _prevExprVal;
    double _prevOpVal;
    VXR_TransitionEvent* _pPendingFirst;
    VXR_TransitionEvent* _pPendingLast;
    VXR_TransitionEvent* _pRepository;  /* spare nodes while nothing is pending */
    VXR_SimParam* _pSourceScale;        /* host parameters, NULL when absent */
    VXR_SimParam* _pDisable;
    unsigned _initDone : 1;             /* set by the first accepted point */
    VXR_SimInterface* _pSimInterface;   /* every allocation goes through it */
    void* _pCustomInfo;                 /* the host's */
} VXR_TransitionSpec;

struct s_VXR_OpBranch_transition {
    const char* _name;
    VXR_DeviceInst* _pParent;
    double _defaultTransition;          /* rise/fall time for non-positive arguments; <= 0: none */
    double _val;                        /* output of the last SetArg */
    double _derivCoeff;                 /* d(output)/d(input) of the last SetArg */
    void* _pTransitionState;            /* VXR_TransitionSpec */
};

/* Rate-limiter history; also its saved state. */
typedef struct s_VXR_SlewSpec {
    VXR_GenericOperatorState _opState;
    double _prevTime;                   /* -1.0 before the first accepted point */
    double _prevExprVal;                /* output at the last accepted point */
    double _cacheTime;
    double _cacheExprVal;
    double _cacheDerivCoeff;
    VXR_SimInterface* _pSimInterface;
} VXR_SlewSpec;

struct s_VXR_OpBranch_slew {
    const char* _name;
    VXR_DeviceInst* _pParent;
    double _val;                        /* output of the last SetArg */
    double _derivCoeff;                 /* 1.0 following the input, 0.0 rate-limited */
    void* _pSlewSpec;                   /* VXR_SlewSpec */
};

/* Time of the last zero crossing of an expression; times are -1.0 until set. */
struct s_VXR_LastCrossing {
    VXR_DeviceInst* _pParent;
    double _prevTime;
    double _prevExprVal;
    double _cacheExprVal;
    double _lastPosCrossing;
    double _lastNegCrossing;
};

/* The timer's next tick after an accepted point at t. */
void nextTimerEvent(VXR_TimerInfo* p, double t);

#if VXR_REVISION != 142
/* Z-domain filter: samples its input every T (first at 0, then t0 or T),
 * runs N(z^-1)/D(z^-1) on the samples and (1.87) ramps the output to each
 * result through an embedded transition. */
struct s_VXR_OpBranch_zi {
    const char* _name;
    VXR_DeviceInst* _pParent;
    VXR_Array* _pNumer;                 /* coefficients or zero pairs; NULL = none */
    VXR_Array* _pDenom;                 /* coefficients or pole pairs; NULL = none */
    VXR_StateVar* _branchVar;           /* y, tied to the filter value by the host */
    void* _rhsBranch;
    void* _rhsZ_Entry;                  /* ZTRANSFORM_ENTRY of the row of y */
    void* _dbtJ_br_br;
    int _coeffsComputed;
    int _numerOrder;
    int _numerZeroForm;
    double* _numerCoeffs;               /* b[i] multiplies x(k-i) */
    double* _xHist;                     /* x[0] newest */
    int _denomOrder;
    int _denomPoleForm;
    double* _denomCoeffs;               /* a[i] multiplies y(k-i) */
    double* _yHist;                     /* y[0] previous output */
    VXR_OpBranch_transition* _pTrans;
    double _targetVal;                  /* output of the latest sample */
    double _nextSampleTime;
    double _cacheF;
    double _cacheT;
    double _cache_t0;
    double _cacheTau;
    double _cacheAlpha;
    int _ownedArrays;                   /* copies of variable arrays, released with the operator */
};

/* Saved state of a z-domain filter. The orders its histories were saved
 * with are kept, so that a filter prepared anew since is not handed
 * histories of another size. */
typedef struct s_VXR_ziState {
    VXR_GenericOperatorState _opState;
    double _targetVal;
    double _nextSampleTime;
    double* _xHist;
    double* _yHist;
    void* _pTransitionState;
    double _cacheF;
    double _cacheT;
    double _cache_t0;
    double _cacheTau;
    double _cacheAlpha;
    VXR_OpBranch_zi* _pOp;
    int _numerOrder;
    int _denomOrder;
} VXR_ziState;

void serialize_ziState(VXR_GenericOperatorState* state, FILE* f, VXR_SrlzDirE* pDir);
void freeZiState(VXR_GenericOperatorState* state);
#endif

/* Reorders (re, im) pairs so that every conjugate follows its partner;
 * 0 when a complex pair has no conjugate. */
int VXR_checkConjugateZeros(double* coeffs, int K);

/* Spec management, also used by operators that embed a transition. NULL
 * after a reported allocation failure; the free functions ignore NULL. */
VXR_TransitionSpec* createTransitionSpec(VXR_SimInterface* simIf, VXR_DeviceInst* inst);
VXR_TransitionSpec* copyTransitionSpec(const VXR_TransitionSpec* spec);
void freeTransitionSpec(VXR_GenericOperatorState* spec);
void serializeTransitionSpec(VXR_GenericOperatorState* state, FILE* f, VXR_SrlzDirE* pDir);
void serializeTransitionEvent(VXR_TransitionEvent* event, FILE* f, VXR_SrlzDirE* pDir);
VXR_SlewSpec* createSlewSpec(VXR_SimInterface* simIf);
VXR_SlewSpec* copySlewSpec(const VXR_SlewSpec* spec);
void freeSlewSpec(VXR_GenericOperatorState* spec);
void serializeSlewSpec(VXR_GenericOperatorState* state, FILE* f, VXR_SrlzDirE* pDir);
#endif

/* Whether a recorded length of nbytes can still be read from f: at most the
 * bytes left in a seekable stream, a fixed cap otherwise. Readers check a
 * count taken from a stream before they allocate for it. */
int VXR_serializedLengthPlausible(long long nbytes, FILE* f);

/* A frequency-response record {op, fn}: VXR_calloc in revision 1.87,
 * VXR_malloc in the older ones; NULL after a reported allocation failure. */
VXR_FreqResponse* allocFreqResponse(void* op, VXR_FreqResponseFn fn, VXR_DeviceInst* inst);

/* The time derivative's response j*omega, shared by operators that need it. */
extern VXR_FreqResponse ddtTransferFunc;

#if VXR_REVISION != 142
/* Tells the host (when it has the member) which noise source feeds an
 * operator's row: 1.87 names the row's RHS handle, 1.60 its branch variable. */
void reportOperatorNoise(VXR_DeviceInst* parent, int noiseSrcNum, void* rhsBranch, VXR_StateVar* branchVar,
                         void* pCallbackInfo);
#endif

#ifdef __cplusplus
}

/* One operator record: cleared by VXR_calloc in revision 1.87, VXR_malloc in
 * the older ones (whose callers set every field). */
template <class T>
T* allocOperatorRecord(VXR_DeviceInst* parent, const char* id) {
    VXR_SimInterface* simIf = parent->pSimInterface;
    if constexpr (VXR_REVISION == 187)
        return static_cast<T*>(VXR_calloc(1, sizeof(T), simIf, parent, id));
    else
        return static_cast<T*>(VXR_malloc(sizeof(T), simIf, parent, id));
}

/* What keys an operator's noise contribution: the row's RHS handle in 1.87,
 * the branch variable in the older revisions. */
inline void* operatorNoiseKey(void* rhsBranch, VXR_StateVar* branchVar) {
    if constexpr (VXR_REVISION == 187)
        return rhsBranch;
    else
        return branchVar;
}
#endif

#endif /* VXR_OPERATORS_H */
