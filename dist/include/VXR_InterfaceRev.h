/*
 * VXR_InterfaceRev.h - declarations whose layout depends on the interface
 * revision. Not a standalone header: VXR_Interface.h expands it once per view
 * with VXR_TREV (187, 160, 142) and VXR_TPFX (the name prefix) defined.
 * Including it directly includes VXR_Interface.h instead.
 *
 * Word indices in the comments count pointer-sized words: 4 bytes in 32-bit
 * builds; in 64-bit builds each int sits at its natural alignment.
 */
#if !defined(VXR_TEMPLATE_PASS)
#include "VXR_Interface.h"
#else

/* Name builders: VXR_T(ModuleDescriptor) -> VXR_ModuleDescriptor (library)
 * or VXR187_ModuleDescriptor (host); VXR_TS gives the struct tag s_...;
 * VXR_TX prefixes names that carry no VXR_ in the library view. */
#define VXR_T(x) VXR_CAT(VXR_TPFX, x)
#define VXR_TS(x) VXR_CAT(s_, VXR_T(x))
#if VXR_TPLAIN
#define VXR_TX(x) x
#else
#define VXR_TX(x) VXR_CAT(VXR_TPFX, x)
#endif

/* Revision 1.87 loader members take the instance last; older ones do not. */
#if VXR_TREV == 187
#define VXR_TLI , VXR_T(DeviceInst)*
#else
#define VXR_TLI
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct VXR_TS(ModuleDescriptor) VXR_T(ModuleDescriptor);
typedef struct VXR_TS(LibraryManifest) VXR_T(LibraryManifest);
typedef struct VXR_TS(DeviceInst) VXR_T(DeviceInst);
typedef struct VXR_TS(StateVar) VXR_T(StateVar);
typedef struct VXR_TS(SimInterface) VXR_T(SimInterface);
typedef struct VXR_TS(ContribLoader) VXR_T(ContribLoader);
typedef struct VXR_TS(Array) VXR_T(Array);
typedef struct VXR_TS(ErrorLog) VXR_T(ErrorLog);
typedef struct VXR_TS(DeviceState) VXR_T(DeviceState);
typedef struct VXR_TS(EventDesc) VXR_T(EventDesc);
typedef struct VXR_TS(FileDesc) VXR_T(FileDesc);
typedef struct VXR_TS(ParamAssn) VXR_T(ParamAssn);
typedef struct VXR_TS(BranchInfo) VXR_T(BranchInfo);
typedef struct VXR_TS(Vector) VXR_T(Vector);
typedef struct VXR_TS(PortLink) VXR_T(PortLink);
typedef struct VXR_TS(NodalAlias) VXR_T(NodalAlias);
typedef struct VXR_TS(DiscDescNode) VXR_T(DiscDescNode);
typedef struct VXR_TS(DisciplineDescriptor) VXR_T(DisciplineDescriptor);
/* Runtime-private records the instance points to (defined by the runtime). */
typedef struct VXR_TS(NoiseSrc) VXR_T(NoiseSrc);
typedef struct VXR_TS(acSrc) VXR_T(acSrc);
typedef struct VXR_TS(LimexpDesc) VXR_T(LimexpDesc);
typedef struct VXR_TS(SimProbeEntry) VXR_T(SimProbeEntry);
#if VXR_TREV == 187
typedef struct VXR_TS(AMS_SimInterface) VXR_T(AMS_SimInterface);
typedef struct VXR_TX(s_AMS_ContribLoader) VXR_TX(AMS_ContribLoader);
#endif

/* ---- Parameters ----------------------------------------------------------- */

/* One row of a module's parameter table, sorted by strcmp of name and ended
 * by a row of type VXR_INVALID_PARAM. paramLocation is the module's own index,
 * handed to the modify and get slots. */
typedef struct VXR_TS(ParamDesc) {
    const char* name;
    VXR_ParamTypeE paramType;
    int paramLocation;
#if VXR_TREV == 187
    int intrinsicParamLocation;
    const char* attrib;
#elif VXR_TREV == 160
    int paramLocation2; /* equal to paramLocation */
#endif
} VXR_T(ParamDesc);
#if VXR_TREV == 187
VXR_CHECK_SIZE(VXR_T(ParamDesc), 20, 32);
VXR_CHECK_OFFSET(VXR_T(ParamDesc), attrib, 16, 24);
#elif VXR_TREV == 160
VXR_CHECK_SIZE(VXR_T(ParamDesc), 16, 24);
#else
VXR_CHECK_SIZE(VXR_T(ParamDesc), 12, 16);
#endif

/* A parameter value (8 bytes) and an assignment from the host; the host owns
 * the assignment array, the library reads it during the call only. */
typedef union VXR_TS(ParamU) {
    double dval;
    int ival;
    const char* strval;
    VXR_T(Array) * pArrayVal;
} VXR_T(ParamU);

struct VXR_TS(ParamAssn) {
    const char* assnName;      /* the name as the user wrote it */
    VXR_ParamTypeE paramType;  /* type of the given value */
    VXR_T(ParamU) paramVal;
};
VXR_CHECK_OFFSET(VXR_T(ParamAssn), paramVal, 8, 16);

/* Output variable value, filled by pGetOutVarInfo. */
typedef struct VXR_TS(OutVal) {
    const VXR_OutVarDesc* pOutVarDesc;
    union {
        int intVal;
        double realVal;
        VXR_T(Array) * pArray;
    } outVal;
} VXR_T(OutVal);

/* ---- Disciplines ---------------------------------------------------------- */

struct VXR_TS(DisciplineDescriptor) {
    const char* name;
    int lineNum;
    const char* fileName;
#if VXR_TREV == 187
    DomainTypeE domain;
#endif
    VXR_NatureDescriptor* potential;
    VXR_NatureDescriptor* flow;
};
#if VXR_TREV == 187
VXR_CHECK_SIZE(VXR_T(DisciplineDescriptor), 24, 48);
#else
VXR_CHECK_SIZE(VXR_T(DisciplineDescriptor), 20, 40);
#endif

#if VXR_TREV == 187
/* Default-discipline rule: qualifier holds a NetTypeE. */
typedef struct VXR_TS(DefaultDisciplineType) {
    unsigned int qualifier;
    VXR_T(DisciplineDescriptor) * pDisc;
} VXR_T(DefaultDisciplineType);

/* Digital gate port row. */
typedef struct VXR_TS(GatePort) {
    int markerNumber;
    PortDirectionE direction;
    const char* portName;
    VXR_T(StateVar) * pSV;
} VXR_T(GatePort);
#endif

/* Debugger view (no module fills it). */
typedef struct VXR_TS(DebugInfo) {
    double* RP;
    int* IP;
    const char** SP;
    VXR_T(Array) * *ARP;
    VXR_T(Array) * *AIP;
    double* RV;
    int* IV;
    const char** SV;
    VXR_T(Array) * *ARV;
    VXR_T(Array) * *AIV;
    int srcStartLine;
    int srcStopLine;
    VXR_DebugEventTypeE* lineType;
    int numOfAnalogFuncs;
    const char** analogFuncNames;
} VXR_T(DebugInfo);

/* ---- State variables -------------------------------------------------------- */

struct VXR_TS(DiscDescNode) {
    VXR_T(DisciplineDescriptor) * pDisc;
    VXR_T(DiscDescNode) * pNext;
};

/* A node, branch or port as the host identifies it. Host-made; the library
 * stores, compares and hands these back, and never frees them. */
struct VXR_TS(StateVar) {
    void* pInfo;         /* host data */
    const char* varName;
    VXR_T(DeviceInst) * pParent;
    int pos;             /* the host's equation index */
    VXR_T(DiscDescNode) * pDiscDescs;
    double potAbsTol;
    double flowAbsTol;
    unsigned isIsolatedPort : 1;
    unsigned isMixedSignal : 1;
    unsigned isAnalog : 1;
    unsigned isDigital : 1;
    NetTypeE netType;
    VXR_T(BranchInfo) * pBranchInfo; /* filled for branch variables */
    VXR_T(Vector) * pVector;
    VXR_T(PortLink) * pPortLink;
    VXR_T(StateVar) * pNext;
};
VXR_CHECK_OFFSET(VXR_T(StateVar), pos, 12, 24);
VXR_CHECK_OFFSET_D(VXR_T(StateVar), potAbsTol, 20, 24, 40);
VXR_CHECK_OFFSET_D(VXR_T(StateVar), netType, 40, 44, 60);
VXR_CHECK_OFFSET_D(VXR_T(StateVar), pBranchInfo, 44, 48, 64);
VXR_CHECK_SIZE_D(VXR_T(StateVar), 60, 64, 96);

struct VXR_TS(BranchInfo) {
    const char* origName;
    VXR_T(StateVar) * pPosTerm;
    VXR_T(StateVar) * pNegTerm;
    int dupCount; /* above 1 when another branch joins the same two nodes */
    void* pGenericInfo;
    unsigned is_ub : 1;
    unsigned flowFlag : 1;
};
VXR_CHECK_OFFSET(VXR_T(BranchInfo), dupCount, 12, 24);

struct VXR_TS(Vector) {
    VXR_T(StateVar) * *pSVs;
    int L;
    int R; /* element count |R - L| + 1 */
};

struct VXR_TS(PortLink) {
    VXR_T(DeviceInst) * pInst;
    int portNum;
    int portIndex;
    int portI;
    const char* portName;
    NetTypeE netType;
    DomainTypeE domain;
    PortDirectionE direction;
    VXR_T(DisciplineDescriptor) * discipline;
    int numSharedCM;
    void* CM;
    void* CM_Master;
    VXR_T(StateVar) * pSV;
    VXR_T(PortLink) * pParent;
    VXR_T(PortLink) * pSibling;
    VXR_T(PortLink) * pChild;
};

struct VXR_TS(NodalAlias) {
    const char* aliasName;
    VXR_T(StateVar) * pSV;
    VXR_T(NodalAlias) * pNext;
};

/* Node-creation record for pSetupNode. */
typedef struct VXR_TS(NodalInfo) {
    VXR_NodeTypeE nodeType;
    int numOfArgVars;
    VXR_T(StateVar) * *pArgVars;
} VXR_T(NodalInfo);

/* A pair of state variables (cross-event derivatives, ac_stim contributions). */
typedef struct VXR_TX(s_StateVarPairT) {
    VXR_T(StateVar) * pPos;
    VXR_T(StateVar) * pNeg;
} VXR_TX(StateVarPairT);

/* ---- Runtime records the host may see ----------------------------------------- */

/* Runtime array; revision 1.87 is multi-dimensional, older revisions keep one
 * bound pair. Element count = product of |right - left| + 1. */
struct VXR_TS(Array) {
    VXR_T(DeviceInst) * _pParent;
    VXR_T(SimInterface) * _pSimInterface;
    const char* _arrayName;
    VXR_ArrayTypeE _arrayType;
#if VXR_TREV == 187
    int _digID;            /* -1 when not imported from the digital side */
    int _D2A_ImportIndex;
    int _numDims;
    int* _pLeftBounds;
    int* _pRightBounds;
#else
    int _leftBound;
    int _rightBound;
#endif
    unsigned _boundsSet : 1;
    unsigned _contentsModified : 1;
    unsigned _isVar : 1;
    int _dataLen;
    union {
        double* _pReal;
        int* _pInt;
    } _data;
};
#if VXR_TREV == 187
VXR_CHECK_SIZE(VXR_T(Array), 48, 72);
#else
VXR_CHECK_SIZE(VXR_T(Array), 36, 56);
#endif

#if VXR_TREV == 187
/* One resolved $simprobe call site of an instance's probe cache (all zero
 * until resolved). The pointers refer to a sibling instance and to its
 * module's static descriptor rows; the entry owns none of them. */
struct VXR_TS(SimProbeEntry) {
    VXR_T(DeviceInst) * pInst;
    const char* varName;          /* the descriptor row's name */
    VXR_T(ParamDesc) * pParamDesc; /* a parameter row, or NULL */
    VXR_OutVarDesc* pOutVarDesc;  /* an output-variable row (when not a parameter), or NULL */
};
VXR_CHECK_SIZE(VXR_T(SimProbeEntry), 16, 32);
#endif

/* Range-violation log: the host creates it, hands it to pCheckRange, frees it. */
struct VXR_TS(ErrorLog) {
    int length;    /* entries used */
    int maxLength; /* capacity */
    VXR_T(DeviceInst) * *errorInst;
    char** errorStr; /* stored pointers, not copies */
};

/* Header of every saved operator state. */
typedef struct VXR_TS(GenericOperatorState) {
    VXR_OperatorStateTypeE opStateType;
#if VXR_TREV != 142
    void (*pSerializeSelf)(struct VXR_TS(GenericOperatorState) *, FILE*, VXR_SrlzDirE*);
    void (*pFreeSelf)(struct VXR_TS(GenericOperatorState) *);
#endif
} VXR_T(GenericOperatorState);

/* Saved state of one instance, released with VXR_freeDeviceState. */
struct VXR_TS(DeviceState) {
    void* pPrivateInfo;
    int numOfOperatorStates; /* one slot per operator, by operator number */
    void** pOperatorState;
    int numOfEventStates;
    void** pEventState;
    VXR_T(DeviceState) * *pChildState;
    VXR_T(DeviceInst) * pDevice;
};
VXR_CHECK_SIZE(VXR_T(DeviceState), 28, 56);

/* Analog event descriptor. */
struct VXR_TS(EventDesc) {
    const char* name;
    VXR_T(DeviceInst) * pParent;
    VXR_EventTypeE eventType;
    void* pPrivateInfo;
};

/* Per-instance file slot; 1.87 keeps an array of pointers, older revisions a list. */
struct VXR_TS(FileDesc) {
    FILE* pFile; /* host stream, NULL when not open */
    const char* mode;
    long pos;    /* recorded read position */
#if VXR_TREV == 187
    int mcd_slot;
    int fd;
#else
    int fd;
    VXR_T(FileDesc) * pNext;
#endif
};

/* ---- Host callback table -------------------------------------------------------- */

typedef struct VXR_TS(SimParam) {
    const char* name;
    double (*pGetValue)(VXR_T(DeviceInst) * inst, double defaultValue);
} VXR_T(SimParam);

typedef struct VXR_TS(LimitFunctionDescriptor) {
    const char* name;
    int nArgs;
    /* nonzero when it limited the value, which it then wrote to *limited */
    unsigned int (*pLimit)(VXR_T(DeviceInst) * inst, double current, double previous, double* limited,
                           double* args);
} VXR_T(LimitFunctionDescriptor);

/* Built by the host; handed once to pCreateInstance and kept in every
 * instance's pSimInterface. The library never frees it. */
struct VXR_TS(SimInterface) {
    void* pSimInfo;
    VXR_T(DeviceInst) * (*pCreateDevice)(VXR_T(SimInterface) *, const char*, const char*, VXR_T(DeviceInst) *,
                                         int, int, int, int, int, int (*)[3], VXR_T(StateVar) **, const char**,
                                         int, VXR_T(ParamAssn) *, void*);
    /* new internal node (or operator branch variable); never NULL */
    VXR_T(StateVar) * (*pSetupNode)(const char* name, VXR_T(DeviceInst) *, VXR_T(NodalInfo) *,
                                    void* pCallbackInfo);
#if VXR_TREV == 187
    int (*pCreateNode)(VXR_T(StateVar) *, VXR_T(SimInterface) *, void*);
#endif
    /* branch variable with pBranchInfo filled (dupCount read) */
    VXR_T(StateVar) * (*pCreateBranch)(const char* name, VXR_BranchTypeE, VXR_T(StateVar) * pos,
                                       VXR_T(StateVar) * neg, VXR_T(DeviceInst) *, void* pCallbackInfo);
    VXR_T(StateVar) * (*pCreateNodalAlias)(const char*, VXR_T(StateVar) *, VXR_T(DeviceInst) *, void*);
    void (*pReportDiscipline)(VXR_T(StateVar) *, VXR_T(DisciplineDescriptor) *, VXR_T(DeviceInst) *,
                              VXR_T(SimInterface) *);
    /* opaque right-hand-side handles for batch loads (value part, charge part) */
    void* (*pGetRhsPair)(VXR_T(StateVar) *, VXR_T(StateVar) *, VXR_DepTypeE, VXR_T(DeviceInst) *, void*);
    void* (*pGetRhsPairQ)(VXR_T(StateVar) *, VXR_T(StateVar) *, VXR_DepTypeE, VXR_T(DeviceInst) *, void*);
#if VXR_TREV == 187
    void* (*pGetRhsOpEntry)(VXR_T(StateVar) *, VXR_StampTargetE, VXR_DepTypeE, VXR_T(DeviceInst) *, void*);
    void (*pReportNoiseContrib)(int, void* contrib, VXR_T(DeviceInst) *, void*); /* may be NULL */
#elif VXR_TREV == 160
    void (*pReportNoiseContrib)(int, void* key, void* unused, VXR_T(DeviceInst) *, void*); /* may be NULL */
#endif
    /* Jacobian handle of one row against (plus - minus) */
    void* (*pGetDerivDoublet)(VXR_T(StateVar) * row, VXR_T(StateVar) * plus, VXR_T(StateVar) * minus,
                              VXR_StampTargetE, VXR_DepTypeE, VXR_T(DeviceInst) *, void*);
    /* Jacobian handle of a pair against a pair */
    void* (*pGetDerivQuartet)(VXR_T(StateVar) *, VXR_T(StateVar) *, VXR_T(StateVar) *, VXR_T(StateVar) *,
                              VXR_StampTargetE, VXR_DepTypeE, VXR_T(DeviceInst) *, void*);
    double (*pGetTemperature)(VXR_T(DeviceInst) *, VXR_T(SimInterface) *); /* kelvin */
    unsigned long (*pFormAnalysisQueryMask)(VXR_T(SimInterface) *, int count, ...);
    void (*pMessage)(VXR_MessageTypeE, const char* text, VXR_T(DeviceInst) *, VXR_T(SimInterface) *);
    void (*pProhibitConvergence)(VXR_T(DeviceInst) *, VXR_T(SimInterface) *);
    void* (*pCreateDelaySpec)(VXR_T(SimInterface) *);
    void* (*pCopyDelaySpec)(void*);
#if VXR_TREV == 160
    void* (*pCreatePoleResSpec)(VXR_T(SimInterface) *, void* branch);
    void* (*pCopyPoleResSpec)(void*);
#elif VXR_TREV == 142
    void (*pFreeDelaySpec)(void*);
    void* (*pCreateTransitionSpec)(VXR_T(SimInterface) *);
    void* (*pCopyTransitionSpec)(void*);
    void (*pFreeTransitionSpec)(void*);
    void* (*pCreateSlewSpec)(VXR_T(SimInterface) *);
    void* (*pCopySlewSpec)(void*);
    void (*pFreeSlewSpec)(void*);
    void* (*pCreatePoleResSpec)(VXR_T(SimInterface) *, void* branch);
    void* (*pCopyPoleResSpec)(void*);
    void (*pFreePoleResSpec)(void*);
#endif
    VXR_T(EventDesc) * (*pCreateCrossEventDesc)(VXR_T(DeviceInst) *, VXR_T(SimInterface) *);
#if VXR_TREV == 187
    void (*pReportDerivForCross)(VXR_T(EventDesc) *, int, VXR_TX(StateVarPairT) *);
#endif
    void (*pResetCrossEvent)(VXR_T(EventDesc) *);
    void* (*pSaveCrossEvent)(VXR_T(EventDesc) *);
    void (*pRestoreCrossEvent)(VXR_T(EventDesc) *, void*);
    void (*pSeedRand)(VXR_T(SimInterface) *, int);
    int (*pRand)(VXR_T(SimInterface) *);
    /* "exit" (code 1) after a fatal error, "extrap" (code 0); returns */
    void (*pSystemRequest)(const char* request, int code, VXR_T(DeviceInst) *, VXR_T(ContribLoader) *,
                           VXR_T(SimInterface) *);
    VXR_T(FileDesc) * *pFileDescSlots;
    int (*pFileOpen)(const char* name, const char* mode, FILE** stream, const char** openMode, int ix,
                     VXR_T(DeviceInst) *, VXR_T(SimInterface) *);
    void (*pFileClose)(int fd, VXR_T(DeviceInst) *, VXR_T(SimInterface) *);
    void (*pFileWrite)(int fd, const char*, VXR_T(DeviceInst) *, VXR_T(SimInterface) *);
    int (*pFileScanf)(int fd, const char* format, void* target, VXR_T(DeviceInst) *, VXR_T(SimInterface) *);
    void (*pFileFlush)(int fd, VXR_T(DeviceInst) *, VXR_T(SimInterface) *);
    int (*pFileSeek)(FILE*, long, VXR_T(DeviceInst) *, VXR_T(SimInterface) *);
    long (*pFileTell)(FILE*, VXR_T(DeviceInst) *, VXR_T(SimInterface) *);
#if VXR_TREV != 142
    int (*pExpandEscapeChar)(char, char*, int, VXR_T(DeviceInst) *, VXR_T(SimInterface) *);
    void (*pSearchDataPath)(const char* in, char* out, VXR_T(DeviceInst) *, VXR_T(SimInterface) *);
#endif
    const char* (*pComposeFullName)(VXR_T(DeviceInst) *); /* kept, never freed by the library */
    int numOfSimParams;
    VXR_T(SimParam) * pSimParamArray;
    int numOfLimitFunctions;
    VXR_T(LimitFunctionDescriptor) * pLimitFunctionDescArray;
    /* may be NULL */
    void (*pHandleDebugEvent)(VXR_DebugEventTypeE, VXR_T(DeviceInst) *, int line, const char* tag,
                              VXR_T(ContribLoader) *);
    VXR_MathUtil* pMathUtil;
#if VXR_TREV == 187
    int (*pForAllVerilogDevices)(int (*)(VXR_T(DeviceInst) *, void*), VXR_T(SimInterface) *);
    void (*pForAllStateVars)(void (*)(VXR_T(StateVar) *, VXR_T(DeviceInst) *, void*), VXR_T(SimInterface) *,
                             void*);
    VXR_T(StateVar) * pStateVar;
    VXR_T(StateVar) * (*pCreateRegPort)(const char*, NetTypeE, int, VXR_T(DeviceInst) *, void*);
    const VXR_ConnectRule* (*pGetConnectRule)(const VXR_ConnectRule*, VXR_T(SimInterface) *);
    const VXR_Library* (*pGetLibrary)(const VXR_Library*, VXR_T(SimInterface) *);
    const VXR_Config* (*pGetConfig)(const VXR_Config*, VXR_T(SimInterface) *);
    const VXR_T(ModuleDescriptor) * (*pGetModuleDescriptor)(const char* name, VXR_T(SimInterface) *);
    VXR_T(StateVar) * (*pFindNode)(const char*, char*, VXR_T(DeviceInst) *);
    int Converged;
    VXR_TimeStepRequests* pTimeStepRequests;
    /* may be NULL; receives each branch's DC kind */
    void (*pReportTopology)(VXR_T(StateVar) * pos, VXR_T(StateVar) * neg, VXR_TopologyTypeE, const char* name,
                            VXR_T(DeviceInst) *);
    VXR_T(AMS_SimInterface) * pAMS;
#endif
};
#if VXR_TREV == 187
VXR_CHECK_OFFSET(VXR_T(SimInterface), pGetTemperature, 13 * 4, 13 * 8);
VXR_CHECK_OFFSET(VXR_T(SimInterface), pSystemRequest, 26 * 4, 26 * 8);
VXR_CHECK_OFFSET(VXR_T(SimInterface), pMathUtil, 43 * 4, 43 * 8);
VXR_CHECK_OFFSET(VXR_T(SimInterface), pAMS, 56 * 4, 56 * 8);
VXR_CHECK_SIZE(VXR_T(SimInterface), 57 * 4, 57 * 8);
#elif VXR_TREV == 160
VXR_CHECK_OFFSET(VXR_T(SimInterface), pGetTemperature, 11 * 4, 11 * 8);
VXR_CHECK_OFFSET(VXR_T(SimInterface), pCreateCrossEventDesc, 19 * 4, 19 * 8);
VXR_CHECK_OFFSET(VXR_T(SimInterface), pSystemRequest, 25 * 4, 25 * 8);
VXR_CHECK_OFFSET(VXR_T(SimInterface), pComposeFullName, 36 * 4, 36 * 8);
VXR_CHECK_SIZE(VXR_T(SimInterface), 43 * 4, 43 * 8);
#else
VXR_CHECK_OFFSET(VXR_T(SimInterface), pGetTemperature, 10 * 4, 10 * 8);
VXR_CHECK_OFFSET(VXR_T(SimInterface), pCreateCrossEventDesc, 26 * 4, 26 * 8);
VXR_CHECK_OFFSET(VXR_T(SimInterface), pSystemRequest, 32 * 4, 32 * 8);
VXR_CHECK_OFFSET(VXR_T(SimInterface), pComposeFullName, 41 * 4, 41 * 8);
VXR_CHECK_SIZE(VXR_T(SimInterface), 48 * 4, 48 * 8);
#endif

/* ---- Loader table ----------------------------------------------------------------- */

/* Batch load: adds values[i] at handles[i] for i < count. */
typedef void (*VXR_T(BatchLoadFn))(int count, void** handles, double* values, VXR_T(ContribLoader) * VXR_TLI);

/* Built per analysis pass by the host (or by the runtime for its own loaders)
 * and handed to every load, strobe, accept and analog-initial slot. Revision
 * 1.87 members take the instance last; 1.60 and 1.42 members do not. */
struct VXR_TS(ContribLoader) {
    void* pLoaderInfo;
    VXR_T(ContribLoader) * pStrobeLoader;
    VXR_T(BatchLoadFn) pLoadRhsPair;
    VXR_T(BatchLoadFn) pLoadRhsPairQ;
    VXR_T(BatchLoadFn) pLoadDerivQuartet;
    VXR_T(BatchLoadFn) pLoadDerivDoublet;
    VXR_T(BatchLoadFn) pLoadDerivQuartetQ;
    VXR_T(BatchLoadFn) pLoadDerivDoubletQ;
    void (*pLoadRhsAC)(VXR_T(acSrc) *, VXR_T(StateVar) * plus, VXR_T(StateVar) * minus, double coeff,
                       VXR_T(ContribLoader) *);
    void (*pLoadDelay)(void* delaySpec, void* rhs, double delay, double maxDelay, double value,
                       VXR_T(ContribLoader) * VXR_TLI);
    void (*pLoadDelay_dwrt)(void* delaySpec, void* doublet, double dval, VXR_T(ContribLoader) * VXR_TLI);
    void (*pAcceptDelay)(void* delaySpec, VXR_T(ContribLoader) * VXR_TLI);
#if VXR_TREV == 187
    void (*pLoadZ_Transform)(void* ziOperator, void* rhs, double value, VXR_T(ContribLoader) * VXR_TLI);
    void (*pLoadZ_Transform_dwrt)(void* ziOperator, void* doublet, double dval, VXR_T(ContribLoader) * VXR_TLI);
#endif
#if VXR_TREV == 142
    void (*pLoadTransition)(void* hostObject, void* rhs, double F, double delay, double riseTime, double fallTime,
                            double timeTol, VXR_T(ContribLoader) *);
    void (*pLoadTransition_dwrt)(void* hostObject, void* doublet, double dval, VXR_T(ContribLoader) *);
    void (*pAcceptTransition)(void* hostObject, VXR_T(ContribLoader) *);
    void (*pLoadSlew)(void* hostObject, void* rhs, double F, double posSlew, double negSlew, VXR_T(ContribLoader) *);
    void (*pLoadSlew_dwrt)(void* hostObject, void* doublet, double dval, VXR_T(ContribLoader) *);
    void (*pAcceptSlew)(void* hostObject, VXR_T(ContribLoader) *);
#endif
#if VXR_TREV != 187
    void (*pLoadPoleResidue)(void* hostObject, void* rhs, double arg, VXR_T(ContribLoader) *);
    void (*pLoadPoleResidue_dwrt)(void* hostObject, void* doublet, double dval, VXR_T(ContribLoader) *);
    void (*pAcceptPoleResidue)(void* hostObject, VXR_T(ContribLoader) *);
#endif
    double (*pGetSol)(VXR_T(StateVar) *, VXR_T(ContribLoader) * VXR_TLI);
    int (*pDoNoise)(VXR_T(ContribLoader) * VXR_TLI);
    int (*pDoStrobe)(VXR_T(ContribLoader) * VXR_TLI);
    int (*pDoDisplay)(VXR_T(ContribLoader) * VXR_TLI);
    void (*pReportDiscontinuity)(int order, VXR_T(ContribLoader) * VXR_TLI);
#if VXR_TREV != 187
    void (*pSetTranBreakPoint)(double time, VXR_T(ContribLoader) *);
#endif
    void (*pDoBoundStep)(double step, VXR_BoundTypeE, VXR_T(ContribLoader) * VXR_TLI);
    int (*pCrossEventSignal)(VXR_T(EventDesc) *, double F, double dir, double timeTol, double exprTol,
                             double enableVal, int derivArraySize, VXR_TX(StateVarPairT) * derivStateVars,
                             double* derivVals, unsigned* derivIndices, double Foffset, VXR_CrossArgTypeE,
                             int AMS_index, VXR_T(ContribLoader) * VXR_TLI);
    void (*pAcceptCross)(VXR_T(EventDesc) *, VXR_T(ContribLoader) * VXR_TLI);
    void (*pReportCrossViolation)(double crossPoint, VXR_T(EventDesc) *, int mode, VXR_T(ContribLoader) * VXR_TLI);
    int (*pIsInitialStep)(VXR_T(ContribLoader) * VXR_TLI);
    int (*pIsFinalStep)(VXR_T(ContribLoader) * VXR_TLI);
    double (*pGetTime)(VXR_T(ContribLoader) * VXR_TLI);
    double (*pGetMinTimeStep)(VXR_T(ContribLoader) * VXR_TLI);
    double (*pGetFreq)(VXR_T(ContribLoader) * VXR_TLI);
#if VXR_TREV == 187
    double (*pGetSourceLevel)(VXR_T(ContribLoader) * VXR_TLI);
#endif
    /* a tolerance or setting; 0 or less means "use the built-in value" */
    double (*pGetDefault)(VXR_DefaultTypeE, VXR_T(ContribLoader) * VXR_TLI);
#if VXR_TREV == 187
    void (*pInitTimeControlData)(VXR_TimeStepRequests*);
#endif
    unsigned long (*pGetAnalysisQueryMask)(VXR_T(ContribLoader) * VXR_TLI);
#if VXR_TREV == 187
    void (*pRequestIntStep)(double, double, double, int, int, VXR_T(StateVar) *, VXR_T(ContribLoader) *,
                            VXR_T(DeviceInst) *);
    VXR_TX(AMS_ContribLoader) * pAMS;
#endif
};
#if VXR_TREV == 187
VXR_CHECK_OFFSET(VXR_T(ContribLoader), pGetSol, 14 * 4, 14 * 8);
VXR_CHECK_OFFSET(VXR_T(ContribLoader), pGetDefault, 29 * 4, 29 * 8);
VXR_CHECK_SIZE(VXR_T(ContribLoader), 34 * 4, 34 * 8);
#elif VXR_TREV == 160
VXR_CHECK_OFFSET(VXR_T(ContribLoader), pGetSol, 15 * 4, 15 * 8);
VXR_CHECK_OFFSET(VXR_T(ContribLoader), pSetTranBreakPoint, 20 * 4, 20 * 8);
VXR_CHECK_OFFSET(VXR_T(ContribLoader), pGetDefault, 30 * 4, 30 * 8);
VXR_CHECK_SIZE(VXR_T(ContribLoader), 32 * 4, 32 * 8);
#else
VXR_CHECK_OFFSET(VXR_T(ContribLoader), pLoadPoleResidue, 18 * 4, 18 * 8);
VXR_CHECK_OFFSET(VXR_T(ContribLoader), pGetSol, 21 * 4, 21 * 8);
VXR_CHECK_OFFSET(VXR_T(ContribLoader), pSetTranBreakPoint, 26 * 4, 26 * 8);
VXR_CHECK_OFFSET(VXR_T(ContribLoader), pGetDefault, 36 * 4, 36 * 8);
VXR_CHECK_SIZE(VXR_T(ContribLoader), 38 * 4, 38 * 8);
#endif

#if VXR_TREV == 187
#include "VXR_AMS_Interface.h"
#endif

/* ---- Instance record ----------------------------------------------------------------- */

/* One instance of a module, allocated by pCreateInstance and freed by
 * pDestroyDevice. The host passes it to every slot and reads the public part. */
struct VXR_TS(DeviceInst) {
    void* pCustomDeviceInfo; /* host data */
    const char* instName;    /* as given to pCreateInstance, not copied */
    const char* fullName;    /* hierarchical name, asked of the host once */
    int numOfPorts;
#if VXR_TREV == 187
    int numOfFlatTerms;
#endif
    VXR_T(StateVar) * *pPorts; /* per scalar port: a state variable or UNCONNECTED_SV */
#if VXR_TREV == 187
    int numOfVectors;
    VXR_T(Vector) * pVectors;
#endif
    int numOfStateVars;
    VXR_T(StateVar) * *pStateVars;
#if VXR_TREV == 187
    int numOfRegVars;
    VXR_T(StateVar) * *pRegVars;
    VXR_T(StateVar) * pAllSV;
#endif
    int numOfChildren;
    VXR_T(DeviceInst) * *pChildren; /* a slot may be NULL */
    int numOfNoiseSrcs;
    VXR_T(NoiseSrc) * pNoiseSrcs;
#if VXR_TREV == 187
    VXR_T(acSrc) * *pAC_Sources;
#endif
    int numOfEvents;
    VXR_T(EventDesc) * *pEvents;
#if VXR_TREV == 187
    int numOfLimexps;
    VXR_T(LimexpDesc) * *pLimexps;
    int numOfFileDescs;
    VXR_T(FileDesc) * *pFileDescs;
    int numOfSimProbeEntries;
    VXR_T(SimProbeEntry) * pSimProbeCache;
#else
    int numOfReserved;          /* always 0 */
    void** pReserved;           /* zero-length allocation */
    VXR_T(FileDesc) * pFileDescList; /* head of the file-descriptor list */
#endif
    VXR_T(ModuleDescriptor) * pModuleDescriptor;
    VXR_T(DeviceInst) * pParent;
    VXR_T(SimInterface) * pSimInterface;
    void* pPrivateInfo; /* the module's private record */
#if VXR_TREV == 187
    unsigned isAutoInserted : 1;
    unsigned isBiDirSplit : 1;
    unsigned topFullName : 1;
    unsigned needAnalogInitialLoad : 1;
    unsigned needPreAcceptLoad : 1;
    int** pDigArrayInfo;
    const char* paramString;
    VXR_T(NodalAlias) * pNodalAlias;
    VXR_TimeStepRequests* pTimeStepRequests;
#endif
};
#if VXR_TREV == 187
VXR_CHECK_OFFSET(VXR_T(DeviceInst), pPorts, 20, 32);
VXR_CHECK_OFFSET(VXR_T(DeviceInst), pModuleDescriptor, 26 * 4, 200);
VXR_CHECK_OFFSET(VXR_T(DeviceInst), pPrivateInfo, 29 * 4, 224);
VXR_CHECK_OFFSET(VXR_T(DeviceInst), pTimeStepRequests, 34 * 4, 264);
VXR_CHECK_SIZE(VXR_T(DeviceInst), 35 * 4, 272);
#else
VXR_CHECK_OFFSET(VXR_T(DeviceInst), pPorts, 4 * 4, 4 * 8);
VXR_CHECK_OFFSET(VXR_T(DeviceInst), pFileDescList, 15 * 4, 15 * 8);
VXR_CHECK_OFFSET(VXR_T(DeviceInst), pModuleDescriptor, 16 * 4, 16 * 8);
VXR_CHECK_OFFSET(VXR_T(DeviceInst), pPrivateInfo, 19 * 4, 19 * 8);
VXR_CHECK_SIZE(VXR_T(DeviceInst), 20 * 4, 20 * 8);
#endif

/* ---- Module descriptor ------------------------------------------------------------- */

/* Static description of one module and its ordered entry-point slots. A slot
 * the module does not implement is NULL. Every slot but pCreateInstance and
 * pGetOutVarInfo takes the instance first (1.60/1.42 pGetOutVarInfo too). */
struct VXR_TS(ModuleDescriptor) {
#if VXR_TREV == 187
    char* library;
#endif
    const char* moduleName; /* also the "module type" of instance messages */
    int numOfParams;        /* terminator not counted */
    VXR_T(ParamDesc) * paramDescArray;
    int numOfTerminals;
    const char** terminalNames;
#if VXR_TREV == 187
    const int* terminalIndices; /* -1-k: scalar port k; v > 0: vector v-1; NULL: terminal t is port t */
#else
    const int* terminalWidths; /* (numOfTerminals + 1) records of three ints, all zero */
    int numOfTerminalsToo;     /* equal to numOfTerminals */
#endif
    int numOfChildModuleDefs;
    const char** childModuleDefNames;
    int numOfAC_Stims;
    int numOfOutVars;
    VXR_OutVarDesc* outVarDescArray;
#if VXR_TREV == 187
    const NetTypeE* terminalDomain;
    const PortDirectionE* terminalDirections;
    const VXR_T(DisciplineDescriptor) * *terminalDisciplines;
    int numOfDefaultDisciplines;
    const VXR_T(DefaultDisciplineType) * pDefaultDisciplines;
    int* terminalDigital;
    s_SourceDataList* VerilogSource;
    const char* fileName;
    unsigned isDigital : 1;
    unsigned hasDigital : 1;
    unsigned isConnectModule : 1;
#endif
#if VXR_TREV != 142
    int numOfDebugSymbolDescs;
    VXR_DebugSymbolDesc* symbolArray;
#endif
    int algebraicModule; /* 1 */

    /* Entry points, in slot order. */
#if VXR_TREV == 187
    VXR_T(DeviceInst) * (*pCreateInstance)(const char* name, VXR_T(SimInterface) *, VXR_T(DeviceInst) * parent,
                                           int numOfTerms, int (*termWidth)[3], VXR_T(StateVar) * *terms,
                                           int numOfAssn, VXR_T(ParamAssn) * assn, int index, int range);
#else
    VXR_T(DeviceInst) * (*pCreateInstance)(const char* name, VXR_T(SimInterface) *, VXR_T(DeviceInst) * parent,
                                           int numOfTerms, int (*termWidth)[3], VXR_T(StateVar) * *terms,
                                           int numOfAssn, VXR_T(ParamAssn) * assn);
#endif
    void (*pFinalizeTopology)(VXR_T(DeviceInst) *, void* pCallbackInfo);
#if VXR_TREV == 187
    void (*pReportNodalInfo)(VXR_T(DeviceInst) *);
    void (*pReportTopology)(VXR_T(DeviceInst) *);
    void (*pCreateBranches)(VXR_T(DeviceInst) *, void* pCallbackInfo);
#endif
    void (*pSetStamp)(VXR_T(DeviceInst) *, void* pCallbackInfo);
#if VXR_TREV == 187
    void (*pExecAnalogInitial)(VXR_T(DeviceInst) *, VXR_T(ContribLoader) *);
#endif
    void (*pGenLoad)(VXR_T(DeviceInst) *, VXR_T(ContribLoader) *);
    void (*pGenLoadRHS)(VXR_T(DeviceInst) *, VXR_T(ContribLoader) *);
    void (*pDoStrobe)(VXR_T(DeviceInst) *, VXR_T(ContribLoader) *);
    void (*pSetMemoryStates)(VXR_T(DeviceInst) *, VXR_T(ContribLoader) *);
    void (*pResetMemoryStates)(VXR_T(DeviceInst) *);
    void (*pTranAcceptPoint)(VXR_T(DeviceInst) *, VXR_T(ContribLoader) *);
#if VXR_TREV == 187
    void (*pModifyRealParam)(VXR_T(DeviceInst) *, int location, double value, int* pRangeViolation);
#else
    void (*pModifyRealParam)(VXR_T(DeviceInst) *, int location, int* pRangeViolation, double value);
#endif
    void (*pModifyIntParam)(VXR_T(DeviceInst) *, int location, int value, int* pRangeViolation);
    void (*pModifyRealArrayParam)(VXR_T(DeviceInst) *, int location, VXR_T(Array) *, int*);
    void (*pModifyIntArrayParam)(VXR_T(DeviceInst) *, int location, VXR_T(Array) *, int*);
    void (*pModifyStringParam)(VXR_T(DeviceInst) *, int location, const char*, int*);
    void (*pResetParameters)(VXR_T(DeviceInst) *, int numOfAssn, VXR_T(ParamAssn) *);
    double (*pGetRealParam)(VXR_T(DeviceInst) *, int location);
    int (*pGetIntParam)(VXR_T(DeviceInst) *, int location);
    VXR_T(Array) * (*pGetRealArrayParam)(VXR_T(DeviceInst) *, int);
    VXR_T(Array) * (*pGetIntArrayParam)(VXR_T(DeviceInst) *, int);
    const char* (*pGetStringParam)(VXR_T(DeviceInst) *, int);
    void (*pCheckRange)(VXR_T(DeviceInst) *, VXR_T(ErrorLog) *);
    void (*pForceExecInvarCode)(VXR_T(DeviceInst) *, int force);
#if VXR_TREV == 187
    void (*pGetOutVarInfo)(int n, const VXR_OutVarDesc*, VXR_T(OutVal) *, VXR_T(DeviceInst) *,
                           VXR_T(ContribLoader) *);
    VXR_T(GatePort) * pGatePorts;
    void (*pUpdateGatePorts)(VXR_T(DeviceInst) *);
    int (*pExportA2D_Values)(VXR_T(DeviceInst) *, VXR_T(ContribLoader) *);
    void (*pSetAMS_Indices)(VXR_T(DeviceInst) *, int, int, int, int);
    void (*pAMS_GetArraySizes)(VXR_T(DeviceInst) *, int);
    char** D2A_ImportNames;
    int* D2A_ImportEvents;
    D2A_ImportTypeE* D2A_ImportTypes;
    s_AMS_Sizes* pAMS_Sizes;
#else
    void (*pGetOutVarInfo)(VXR_T(DeviceInst) *, int n, const VXR_OutVarDesc*, VXR_T(OutVal) *);
#endif
    VXR_T(DeviceState) * (*pGetDeviceState)(VXR_T(DeviceInst) *);
    void (*pRestoreDeviceState)(VXR_T(DeviceInst) *, VXR_T(DeviceState) *);
#if VXR_TREV != 142
    void (*pDestroyDevice)(VXR_T(DeviceInst) *);
    VXR_T(DebugInfo) (*pGetDebugInfo)(VXR_T(DeviceInst) *);
#endif
};
#if VXR_TREV == 187
VXR_CHECK_OFFSET(VXR_T(ModuleDescriptor), numOfAC_Stims, 9 * 4, 72);
VXR_CHECK_OFFSET(VXR_T(ModuleDescriptor), VerilogSource, 18 * 4, 136);
VXR_CHECK_OFFSET(VXR_T(ModuleDescriptor), algebraicModule, 23 * 4, 168);
VXR_CHECK_OFFSET(VXR_T(ModuleDescriptor), pCreateInstance, 24 * 4, 176);
VXR_CHECK_OFFSET(VXR_T(ModuleDescriptor), pGenLoad, 31 * 4, 176 + 7 * 8);
VXR_CHECK_OFFSET(VXR_T(ModuleDescriptor), pGetDeviceState, 60 * 4, 176 + 36 * 8);
VXR_CHECK_SIZE(VXR_T(ModuleDescriptor), 64 * 4, 176 + 40 * 8);
#elif VXR_TREV == 160
VXR_CHECK_OFFSET(VXR_T(ModuleDescriptor), numOfTerminalsToo, 6 * 4, 48);
VXR_CHECK_OFFSET(VXR_T(ModuleDescriptor), numOfChildModuleDefs, 7 * 4, 52);
VXR_CHECK_OFFSET(VXR_T(ModuleDescriptor), algebraicModule, 14 * 4, 96);
VXR_CHECK_OFFSET(VXR_T(ModuleDescriptor), pCreateInstance, 15 * 4, 13 * 8);
VXR_CHECK_OFFSET(VXR_T(ModuleDescriptor), pModifyRealParam, 24 * 4, 22 * 8);
VXR_CHECK_OFFSET(VXR_T(ModuleDescriptor), pGetDebugInfo, 41 * 4, 39 * 8);
VXR_CHECK_SIZE(VXR_T(ModuleDescriptor), 42 * 4, 40 * 8);
#else
VXR_CHECK_OFFSET(VXR_T(ModuleDescriptor), algebraicModule, 12 * 4, 80);
VXR_CHECK_OFFSET(VXR_T(ModuleDescriptor), pCreateInstance, 13 * 4, 88);
VXR_CHECK_OFFSET(VXR_T(ModuleDescriptor), pRestoreDeviceState, 37 * 4, 88 + 24 * 8);
VXR_CHECK_SIZE(VXR_T(ModuleDescriptor), 38 * 4, 88 + 25 * 8);
#endif

/* ---- Library manifest ----------------------------------------------------------- */

/* Behind getLibraryManifest(); static data of the library. */
struct VXR_TS(LibraryManifest) {
    int numOfModules; /* 1 */
    VXR_T(ModuleDescriptor) * pModules;
#if VXR_TREV == 187
    void* reserved[8]; /* zero */
#else
    void* reserved[2]; /* zero */
#endif
    const char* buildId; /* 32 lowercase hexadecimal digits, fresh per build */
};
#if VXR_TREV == 187
VXR_CHECK_SIZE(VXR_T(LibraryManifest), 11 * 4, 11 * 8);
#else
VXR_CHECK_SIZE(VXR_T(LibraryManifest), 5 * 4, 5 * 8);
#endif

/* The two exported entry points of every library. */
typedef const VXR_LibraryVersion* (*VXR_T(GetLibraryVersionFn))(void);
typedef const VXR_T(LibraryManifest) * (*VXR_T(GetLibraryManifestFn))(void);

#ifdef __cplusplus
}
#endif

#undef VXR_TLI
#undef VXR_TX
#undef VXR_TS
#undef VXR_T

#endif /* VXR_TEMPLATE_PASS */
