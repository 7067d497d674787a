/*
 * VXR_Interface.h - the C interface between a circuit simulator (the host)
 * and a compiled device-model library.
 *
 * A library is built for one interface revision (1.87, 1.60 or 1.42) and
 * fills the layouts of that revision only. The host calls
 * getLibraryVersion() first, reads `minor` (87, 60, 42) and then uses the
 * matching layouts for everything else.
 *
 * Two views of the same declarations:
 *  - Library code is compiled with VXR_REVISION defined (187, 160 or 142) and
 *    sees the plain names: VXR_ModuleDescriptor, VXR_SimInterface, ...
 *  - A host includes this header without VXR_REVISION (or defines
 *    VXR_HOST_ALL_REVISIONS as well) and gets all three layouts side by side
 *    under the prefixes VXR187_, VXR160_ and VXR142_ (VXR187_ModuleDescriptor,
 *    struct s_VXR160_SimInterface, ...).
 * Types identical in every revision (enumerations, the version record,
 * marker values, time-step requests) are declared once, below.
 *
 * The per-revision declarations live in VXR_InterfaceRev.h, which this header
 * expands once per requested view; mixed-signal records in VXR_AMS_Interface.h.
 */
#ifndef VXR_INTERFACE_H
#define VXR_INTERFACE_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* VXR_EXPORT: runtime functions and data that every library exports for the
 * host (default visibility on Linux, dllexport on Windows, where the DLLs are
 * linked with automatic exports off, so these marks are the export list).
 * VXR_ENTRY_POINT: the two entry points every library exports, the same mark. */
#if defined(_WIN32)
#define VXR_EXPORT __declspec(dllexport)
#else
#define VXR_EXPORT __attribute__((visibility("default")))
#endif
#define VXR_ENTRY_POINT VXR_EXPORT

/* Compile-time layout checks next to the declarations. */
#ifdef __cplusplus
#define VXR_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define VXR_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif
#if UINTPTR_MAX == 0xffffffffffffffffu
#define VXR_LP64 1
#else
#define VXR_LP64 0
#endif
/* Offset check with one value per data model. */
#define VXR_CHECK_OFFSET(type, field, off32, off64) \
    VXR_STATIC_ASSERT(offsetof(type, field) == (VXR_LP64 ? (off64) : (off32)), #type "." #field)
#define VXR_CHECK_SIZE(type, size32, size64) \
    VXR_STATIC_ASSERT(sizeof(type) == (VXR_LP64 ? (size64) : (size32)), "sizeof " #type)
/* Records holding doubles: the 32-bit Windows ABI aligns a double in a record
 * to 8 bytes, the 32-bit Linux ABI to 4, so they carry a third value. */
#if defined(_WIN32) && !VXR_LP64
#define VXR_WIN32_ABI 1
#else
#define VXR_WIN32_ABI 0
#endif
#define VXR_CHECK_OFFSET_D(type, field, off32, offWin32, off64) \
    VXR_STATIC_ASSERT(offsetof(type, field) == (VXR_LP64 ? (off64) : VXR_WIN32_ABI ? (offWin32) : (off32)), \
                      #type "." #field)
#define VXR_CHECK_SIZE_D(type, size32, sizeWin32, size64) \
    VXR_STATIC_ASSERT(sizeof(type) == (VXR_LP64 ? (size64) : VXR_WIN32_ABI ? (sizeWin32) : (size32)), "sizeof " #type)

/* State-variable pointer values that are markers, never dereferenced. */
#define VXR_UNCONNECTED_SV_VALUE ((intptr_t)-4) /* port slot of an unconnected terminal */
#define VXR_NO_NODE_SV_VALUE ((intptr_t)-1)     /* isolated element that got no node */
#define VXR_NODAL_INFO_NONE_VALUE ((intptr_t)-1) /* nodal-info argument of plain internal nodes */

/* ---- Enumerations shared by all revisions ------------------------------ */

typedef enum {
    MessageTypeE_INFO = 0,
    MessageTypeE_WARNING = 1,
    MessageTypeE_ERROR = 2,
    MessageTypeE_STROBE = 3,
    MessageTypeE_DISPLAY = 4,
    MessageTypeE_DEBUG = 5
} VXR_MessageTypeE;

typedef enum {
    VXR_REAL_PARAM = 0,
    VXR_INT_PARAM = 1,
    VXR_STRING_PARAM = 2,
    VXR_ARRAY_OF_REAL_PARAM = 3,
    VXR_ARRAY_OF_INT_PARAM = 4,
    VXR_INVALID_PARAM = 5 /* table terminator */
} VXR_ParamTypeE;

typedef enum {
    VXR_OUT_REALVAR = 0,
    VXR_OUT_INTVAR = 1,
    VXR_OUT_REALVAR_ARRAY = 2,
    VXR_OUT_INTVAR_ARRAY = 3,
    VXR_OUT_INVALID = 4
} VXR_OutVarTypeE;

typedef enum { UNSPECIFIED_DOMAIN = 0, CONTINUOUS_DOMAIN = 1, DISCRETE_DOMAIN = 2 } DomainTypeE;

typedef enum { PORTDIR_UNSPECIFIED = 0, PORTDIR_IN = 1, PORTDIR_OUT = 2, PORTDIR_INOUT = 3 } PortDirectionE;

typedef enum {
    UNSPECIFIED_TYPE = 0,
    CONTINUOUS_NET = 1,
    UNKNOWN_DISCRETE_NET = 2,
    DISCRETE_TIME = 3,
    DISCRETE_INTEGER = 4,
    DISCRETE_REAL = 5,
    DISCRETE_REG = 6,
    WREAL_NET = 7,
    WIRE_NET = 8,
    TRI_NET = 9,
    WAND_NET = 10,
    TRIAND_NET = 11,
    WOR_NET = 12,
    TRIOR_NET = 13,
    TRIREG_NET = 14,
    TRI0_NET = 15,
    TRI1_NET = 16,
    SUPPLY0_NET = 17,
    SUPPLY1_NET = 18,
    UWIRE_NET = 19,
    ALL_NET = 20
} NetTypeE;

typedef enum {
    VXR_REAL_PARAM_TYPE = 0,
    VXR_INT_PARAM_TYPE = 1,
    VXR_STRING_PARAM_TYPE = 2,
    VXR_ARRAY_OF_REAL_PARAM_TYPE = 3,
    VXR_ARRAY_OF_INT_PARAM_TYPE = 4,
    VXR_REAL_VAR_TYPE = 5,
    VXR_INT_VAR_TYPE = 6,
    VXR_ARRAY_OF_REAL_VAR_TYPE = 7,
    VXR_ARRAY_OF_INT_VAR_TYPE = 8,
    VXR_STRING_VAR_TYPE = 9,
    VXR_INVALID_TYPE = 10
} VXR_DebugSymbolTypeE;

typedef enum {
    UNKNOWN_IMPORT_TYPE = 0,
    INTEGER_SINGLE = 1,
    REAL_SINGLE = 2,
    LOGIC_SINGLE = 3,
    WREAL_SINGLE = 4,
    INTEGER_ELEMENT = 5,
    REAL_ELEMENT = 6,
    LOGIC_ELEMENT = 7,
    WREAL_ELEMENT = 8
} D2A_ImportTypeE;

typedef enum { VXR_VOLTAGE_BRANCH = 0, VXR_CURRENT_BRANCH = 1, VXR_SWITCH_BRANCH = 2 } VXR_BranchTypeE;

typedef enum { LIN_DEP = 0, NONLIN_DEP = 1 } VXR_DepTypeE;

typedef enum {
    DC_ENTRY = 0,  /* value (resistive) part */
    DDT_ENTRY = 1, /* charge part; the host differentiates it in time */
    GEN_ENTRY = 2, /* both */
    ABSDELAY_ENTRY = 3,
    ZTRANSFORM_ENTRY = 4
} VXR_StampTargetE;

typedef enum {
    TOPOLOGY_DC_SHORT = 0,
    TOPOLOGY_DC_OPEN = 1,
    TOPOLOGY_DC_RES = 2,
    TOPOLOGY_SWITCH = 3
} VXR_TopologyTypeE;

typedef enum { VXR_NODE = 0, VXR_OPIDT = 1, VXR_OPDELAY = 2, VXR_OPPOLERES = 3 } VXR_NodeTypeE;

typedef enum {
    VXR_DEFAULT_CROSS_TIMETOL = 0,
    VXR_DEFAULT_CROSS_EXPRTOL = 1,
    VXR_DEFAULT_TIMER_TOL = 2,
    VXR_DEFAULT_IDT_TOL = 3,
    VXR_DEFAULT_IDTMOD_TOL = 4,
    VXR_BRANCHDDT_SCALE = 5,
    VXR_KSMOOTH_CONST = 6,
    VXR_IDT_SCALE = 7,
    VXR_CROSS_REL_TOL = 8,
    VXR_MAX_CROSS_ATTEMPTS = 9,
    VXR_CROSS_OPTIONS = 10,
    VXR_MIN_DENOM_VAL = 11,
    VXR_MAX_NUMER_VAL = 12,
    VXR_VARTHRESH = 13,
    VXR_DEFAULT_TOTALCOUNT = 14
} VXR_DefaultTypeE;

typedef enum { VXR_CROSSARG_LTI = 0, VXR_CROSSARG_NONLIN = 1, VXR_CROSSARG_TIMEDEP = 2 } VXR_CrossArgTypeE;

typedef enum {
    BOUND_BOUNDSTEP = 0,
    BOUND_TRANSITION = 1,
    BOUND_PARTIAL_TRANSITION = 2,
    BOUND_START_TRANSITION = 3,
    BOUND_ZTRANSFORM = 4,
    BOUND_TIMER = 5,
    BOUND_MAX = 6
} VXR_BoundTypeE;

typedef enum {
    FP_DIVBYZERO = 0,
    FP_LOGARG = 1,
    FP_LOG10ARG = 2,
    FP_POWARG = 3,
    FP_SQRTARG = 4,
    FP_SMALL_DENOM = 5,
    FP_LARGE_NUMER = 6,
    FP_BIGVAR = 7,
    FP_INFVAR = 8,
    DBG_NONE = 9,
    DBG_STMNT_ENTER = 10,
    DBG_ANALOG_ENTER = 11,
    DBG_ANALOG_EXIT = 12,
    DBG_ANALOG_RHS_ENTER = 13,
    DBG_ANALOG_RHS_DONE = 14,
    DBG_ANALOG_ACCEPT_ENTER = 15,
    DBG_ANALOG_ACCEPT_DONE = 16,
    DBG_ANALOG_FUNCTION_ENTER = 17,
    DBG_ANALOG_FUNCTION_BEGIN = 18,
    DBG_ANALOG_FUNCTION_EXIT = 19,
    DBG_NAMED_BLOCK_ENTER = 20,
    DBG_NAMED_BLOCK_EXIT = 21,
    DBG_MULTIPLE = 22
} VXR_DebugEventTypeE;

typedef enum {
    VXR_DELAY_SPEC = 11,
    VXR_SLEW_SPEC = 12,
    VXR_TRANSITION_SPEC = 13,
    VXR_POLERES_SPEC = 14,
    VXR_IDT_STATE = 15,
    VXR_ZI_STATE = 16
} VXR_OperatorStateTypeE;

typedef enum {
    VXR_EVT_INITIAL_STEP = 0,
    VXR_EVT_FINAL_STEP = 1,
    VXR_EVT_TIMER = 2,
    VXR_EVT_CROSSING = 3,
    VXR_EVT_ABOVE = 4,
    VXR_EVT_D2A = 5 /* revision 1.87 only */
} VXR_EventTypeE;

typedef enum { SRLZ_TO_FILE = 0, SRLZ_FROM_FILE = 1, SRLZ_ERROR = 2 } VXR_SrlzDirE;

typedef enum { VXR_INT_ARRAY = 0, VXR_REAL_ARRAY = 1 } VXR_ArrayTypeE;

/* Analysis bits of the query mask (pFormAnalysisQueryMask, pGetAnalysisQueryMask). */
#define VXR_ANALYSIS_AC 1ul
#define VXR_ANALYSIS_DC 2ul
#define VXR_ANALYSIS_NOISE 4ul
#define VXR_ANALYSIS_TRAN 8ul
#define VXR_ANALYSIS_IC 16ul
#define VXR_ANALYSIS_STATIC 32ul
#define VXR_ANALYSIS_NODESET 64ul
#define VXR_ANALYSIS_HB 128ul
#define VXR_ANALYSIS_ENV 256ul
#define VXR_ANALYSIS_PSS 512ul /* revision 1.87 only */

/* ---- Records shared by all revisions ----------------------------------- */

/* Version record behind getLibraryVersion(); static data of the library. */
typedef struct s_VXR_LibraryVersion {
    int major;                /* 1 */
    int minor;                /* 87, 60 or 42: selects every other layout */
    const char* revision;     /* "1.87", "1.60", "1.42" */
    int build;                /* 100 (1.87, 1.60) or 0 (1.42) */
    const char* fullRevision; /* "major.minor.build"; NULL in revision 1.42 */
} VXR_LibraryVersion;
VXR_CHECK_OFFSET(VXR_LibraryVersion, revision, 8, 8);
VXR_CHECK_OFFSET(VXR_LibraryVersion, build, 12, 16);
VXR_CHECK_OFFSET(VXR_LibraryVersion, fullRevision, 16, 24);
VXR_CHECK_SIZE(VXR_LibraryVersion, 20, 32);

/* Time-step request block (host-owned; reset by VXR_InitTimeControlData). */
typedef struct s_VXR_TimeStepRequests {
    double boundStep;
    VXR_BoundTypeE type;
    double crossPoint[3];
    int order;
} VXR_TimeStepRequests;
VXR_CHECK_OFFSET_D(VXR_TimeStepRequests, crossPoint, 12, 16, 16);
VXR_CHECK_OFFSET_D(VXR_TimeStepRequests, order, 36, 40, 40);

/* Output-variable descriptor; the table ends with {NULL, VXR_OUT_INVALID, NULL, NULL, -1}. */
typedef struct s_VXR_OutVarDesc {
    const char* name;
    VXR_OutVarTypeE outputVarType;
    const char* desc;
    const char* units;
    int ix;
} VXR_OutVarDesc;
VXR_CHECK_SIZE(VXR_OutVarDesc, 20, 40);

/* Nature record, static data of a module (same order in every revision). */
typedef struct s_VXR_NatureDescriptor {
    const char* name;
    int lineNum;
    const char* fileName;
    double abstol;
    const char* access;
    const char* units;
    const char* idt_nature;
    const char* ddt_nature;
    int userStringAttribCnt;
    const char** userStringAttribName;
    const char** userStringAttribVal;
    int userRealAttribCnt;
    const char** userRealAttribName;
    const double* userRealAttribVal;
} VXR_NatureDescriptor;
VXR_CHECK_OFFSET_D(VXR_NatureDescriptor, abstol, 12, 16, 24);
VXR_CHECK_SIZE_D(VXR_NatureDescriptor, 60, 64, 112);

/* Debug symbol row (no module carries any). */
typedef struct s_VXR_DebugSymbolDesc {
    const char* symbolName;
    VXR_DebugSymbolTypeE symbolType;
    int symbolPos;
} VXR_DebugSymbolDesc;

/* One file of the embedded source listing; the list ends with {0, "", NULL}. */
typedef struct s_SourceDataList {
    int fileNumber;
    char* fileName;
    char** lines; /* NULL-terminated; element i is line i+1 without its newline */
} s_SourceDataList;

/* Digital value {size, aVal, bVal, dummy}. */
typedef struct s_LogicNumber {
    int size;
    int aVal;
    int bVal;
    int dummy;
} LogicNumber;

/* Mixed-signal sizes of a module (descriptor data slot, revision 1.87). */
typedef struct s_AMS_Sizes {
    int numA2D_Exports;
    int numA2D_Events;
    int numD2A_Imports;
    int numD2A_Events;
} s_AMS_Sizes;

/* The root finder's complex value and the operators' complex value. */
typedef struct s_VXR_ComplexNumber {
    double Real;
    double Imag;
} VXR_ComplexNumber;
typedef struct s_VXR_Cmplx {
    double real;
    double imag;
} VXR_Cmplx;

/* Host eigenvalue routine with the argument list of LAPACK dgeev, all by address. */
typedef int (*VXR_dgeevFn)(const char* jobvl, const char* jobvr, const int* n, double* a, const int* lda,
                           double* wr, double* wi, double* vl, const int* ldvl, double* vr, const int* ldvr,
                           double* work, const int* lwork, int* info);
typedef struct s_VXR_MathUtil {
    VXR_dgeevFn p_dgeev;
} VXR_MathUtil;

/* Saved timer event state: heads VXR_TimerInfo so the frame can copy it as bytes. */
typedef struct s_VXR_GenericEventState {
    VXR_EventTypeE eventStateType;
    int sz; /* size of the whole record in bytes */
} VXR_GenericEventState;

/* Private record of a timer event. */
typedef struct s_VXR_TimerInfo {
    VXR_GenericEventState _stateInfo;
    double _cacheStartTime;
    double _cachePeriod;
    double _cacheTimeTol;
    double _cacheEnableVal;
    double _nextEventTime;
    double _prevEventTime;
    double _prevTime;
    unsigned _change : 1;
    unsigned _warnStartChange : 1;
    unsigned _cacheAcceptFlag : 1;
    unsigned _cacheIsValid : 1;
    unsigned _timerStarted : 1;
} VXR_TimerInfo;
VXR_CHECK_OFFSET(VXR_TimerInfo, _cacheStartTime, 8, 8);
VXR_CHECK_OFFSET(VXR_TimerInfo, _prevTime, 56, 56);
VXR_CHECK_SIZE_D(VXR_TimerInfo, 68, 72, 72);

/* Private record of initial- and final-step events. */
typedef struct s_VXR__xStepInfo {
    unsigned long _eventMask;
} VXR__xStepInfo;

/* Opaque host records named by host-table prototypes. */
typedef struct s_VXR_ConnectRule VXR_ConnectRule;
typedef struct s_VXR_Library VXR_Library;
typedef struct s_VXR_Config VXR_Config;
typedef struct s_FileLink s_FileLink;
typedef struct s_SourceChangeMap SourceChangeMap;
typedef struct s_LinkString LinkString;
typedef struct s_InstVectorCMname InstVectorCMname;

#ifdef __cplusplus
}
#endif

/* ---- Per-revision declarations ------------------------------------------ */

#define VXR_CAT_(a, b) a##b
#define VXR_CAT(a, b) VXR_CAT_(a, b)

#if defined(VXR_REVISION)
#if VXR_REVISION != 187 && VXR_REVISION != 160 && VXR_REVISION != 142
#error "VXR_REVISION must be 187, 160 or 142"
#endif
/* Library view: plain names. */
#define VXR_TREV VXR_REVISION
#define VXR_TPFX VXR_
#define VXR_TPLAIN 1
#define VXR_TEMPLATE_PASS 1
#include "VXR_InterfaceRev.h"
#undef VXR_TEMPLATE_PASS
#undef VXR_TPLAIN
#undef VXR_TPFX
#undef VXR_TREV

/* Marker values as state-variable pointers (compare by identity only). */
#define UNCONNECTED_SV ((VXR_StateVar*)VXR_UNCONNECTED_SV_VALUE)
#define VXR_NO_NODE_SV ((VXR_StateVar*)VXR_NO_NODE_SV_VALUE)
#define VXR_NODAL_INFO_NONE ((VXR_NodalInfo*)VXR_NODAL_INFO_NONE_VALUE)

/* Trailing instance argument of loader members: present in 1.87 only.
 * Usage: ldr->pGetSol(sv, ldr VXR_LDR_INST(inst)). */
#if VXR_REVISION == 187
#define VXR_LDR_INST(inst) , (inst)
#else
#define VXR_LDR_INST(inst)
#endif
#endif

#if !defined(VXR_REVISION) || defined(VXR_HOST_ALL_REVISIONS)
/* Host view: all three layouts under distinct prefixes. */
#define VXR_TPLAIN 0
#define VXR_TEMPLATE_PASS 1
#define VXR_TREV 187
#define VXR_TPFX VXR187_
#include "VXR_InterfaceRev.h"
#undef VXR_TPFX
#undef VXR_TREV
#define VXR_TREV 160
#define VXR_TPFX VXR160_
#include "VXR_InterfaceRev.h"
#undef VXR_TPFX
#undef VXR_TREV
#define VXR_TREV 142
#define VXR_TPFX VXR142_
#include "VXR_InterfaceRev.h"
#undef VXR_TPFX
#undef VXR_TREV
#undef VXR_TEMPLATE_PASS
#undef VXR_TPLAIN
#endif

#endif /* VXR_INTERFACE_H */
