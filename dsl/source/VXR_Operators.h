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

/* A frequency-response record {op, fn}: VXR_calloc in revision 1.87,
 * VXR_malloc in the older ones; NULL after a reported allocation failure. */
VXR_FreqResponse* allocFreqResponse(void* op, VXR_FreqResponseFn fn, VXR_DeviceInst* inst);

/* The time derivative's response j*omega, shared by operators that need it. */
extern VXR_FreqResponse ddtTransferFunc;

#ifdef __cplusplus
}
#endif

#endif /* VXR_OPERATORS_H */
