/*
 * VXR_SupportLib.h - the runtime's functions and data, as the generated
 * modules and the runtime itself call them. Library code only: it needs
 * VXR_REVISION (187, 160 or 142) and uses the plain names of that revision.
 *
 * Functions marked VXR_EXPORT are exported by every library of the revision
 * and may be used by a host (through dlsym); the rest are internal.
 */
#ifndef VXR_SUPPORTLIB_H
#define VXR_SUPPORTLIB_H

#ifndef VXR_REVISION
#error "VXR_SupportLib.h is for library code: define VXR_REVISION (187, 160 or 142)"
#endif

#include <stdarg.h>
#include "VXR_Interface.h"
#include "VXR_AMS_Interface.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Library entry points (defined by each generated module) ---------------- */
VXR_ENTRY_POINT const VXR_LibraryVersion* getLibraryVersion(void);
VXR_ENTRY_POINT const VXR_LibraryManifest* getLibraryManifest(void);

/* Build identifier: 32 lowercase hexadecimal digits, written afresh by every
 * build of a library (cmake/gen_buildid.cmake). */
extern const char vxr_build_id[];

/* Initialiser of this revision's version record `libraryVersion`. */
#if VXR_REVISION == 187
#define VXR_LIBRARY_VERSION_RECORD {1, 87, "1.87", 100, "1.87.100"}
#elif VXR_REVISION == 160
#define VXR_LIBRARY_VERSION_RECORD {1, 60, "1.60", 100, "1.60.100"}
#else
#define VXR_LIBRARY_VERSION_RECORD {1, 42, "1.42", 0, NULL}
#endif

/* Defines the two entry points over a module's static records. */
#define VXR_DEFINE_LIBRARY_ENTRY_POINTS(version, manifest)                            \
    const VXR_LibraryVersion* getLibraryVersion(void) { return &(version); }        \
    const VXR_LibraryManifest* getLibraryManifest(void) { return &(manifest); }

/* ---- Loaders: null members, static-check loader, RHS-only copy, query mask -- */

/* Parameter-list tail of loader members: revision 1.87 members take the
 * instance after the loader, older ones end with the loader. */
#if VXR_REVISION == 187
#define VXR_LDR_INST_PARAM , VXR_DeviceInst*
#else
#define VXR_LDR_INST_PARAM
#endif

/* Null members: a host may assemble loader tables from them. Each ignores its
 * arguments; value-returning ones return 0 (VXR_yesStrobe returns 1). */
VXR_EXPORT void VXR_NullLoad(int count, void** handles, double* values, VXR_ContribLoader* VXR_LDR_INST_PARAM);
VXR_EXPORT void VXR_NullLoadRhsAC(VXR_acSrc*, VXR_StateVar* plus, VXR_StateVar* minus, double coeff,
                                  VXR_ContribLoader*);
VXR_EXPORT void VXR_NullLoadDelay(void* delaySpec, void* rhs, double delay, double maxDelay, double value,
                                  VXR_ContribLoader* VXR_LDR_INST_PARAM);
VXR_EXPORT void VXR_NullLoadDelay_dwrt(void* delaySpec, void* doublet, double dval,
                                       VXR_ContribLoader* VXR_LDR_INST_PARAM);
VXR_EXPORT void VXR_NullAcceptDelay(void* delaySpec, VXR_ContribLoader* VXR_LDR_INST_PARAM);
#if VXR_REVISION == 187
VXR_EXPORT void VXR_NullLoadZ_Transform(void* ziOperator, void* rhs, double value, VXR_ContribLoader*,
                                        VXR_DeviceInst*);
VXR_EXPORT void VXR_NullLoadZ_Transform_dwrt(void* ziOperator, void* doublet, double dval, VXR_ContribLoader*,
                                             VXR_DeviceInst*);
#endif
VXR_EXPORT double VXR_NullGetSol(VXR_StateVar*, VXR_ContribLoader* VXR_LDR_INST_PARAM);
VXR_EXPORT int VXR_NullDoNoise(VXR_ContribLoader* VXR_LDR_INST_PARAM);
VXR_EXPORT int VXR_NullDoStrobe(VXR_ContribLoader* VXR_LDR_INST_PARAM);
VXR_EXPORT int VXR_noStrobe(VXR_ContribLoader* VXR_LDR_INST_PARAM);
VXR_EXPORT int VXR_yesStrobe(VXR_ContribLoader* VXR_LDR_INST_PARAM);
VXR_EXPORT void VXR_NullReportDiscontinuity(int order, VXR_ContribLoader* VXR_LDR_INST_PARAM);
VXR_EXPORT void VXR_NullDoBoundStep(double step, VXR_BoundTypeE, VXR_ContribLoader* VXR_LDR_INST_PARAM);
VXR_EXPORT void VXR_NullReportCrossViolation(double crossPoint, VXR_EventDesc*, int mode,
                                             VXR_ContribLoader* VXR_LDR_INST_PARAM);
VXR_EXPORT int VXR_NullIsInitialStep(VXR_ContribLoader* VXR_LDR_INST_PARAM);
VXR_EXPORT int VXR_NullIsFinalStep(VXR_ContribLoader* VXR_LDR_INST_PARAM);
VXR_EXPORT double VXR_NullGetTime(VXR_ContribLoader* VXR_LDR_INST_PARAM);
VXR_EXPORT double VXR_NullGetFreq(VXR_ContribLoader* VXR_LDR_INST_PARAM);
VXR_EXPORT unsigned long VXR_NullGetAnalysisQueryMask(VXR_ContribLoader* VXR_LDR_INST_PARAM);
#if VXR_REVISION != 187
VXR_EXPORT void VXR_NullSetTranBreakPoint(double time, VXR_ContribLoader*);
VXR_EXPORT void VXR_NullLoadPoleResidue(void* hostObject, void* rhs, double arg, VXR_ContribLoader*);
VXR_EXPORT void VXR_NullLoadPoleResidue_dwrt(void* hostObject, void* doublet, double dval, VXR_ContribLoader*);
VXR_EXPORT void VXR_NullAcceptPoleResidue(void* hostObject, VXR_ContribLoader*);
#endif
#if VXR_REVISION == 142
VXR_EXPORT void VXR_NullLoadTransition(void* hostObject, void* rhs, double F, double delay, double riseTime,
                                       double fallTime, double timeTol, VXR_ContribLoader*);
VXR_EXPORT void VXR_NullLoadTransition_dwrt(void* hostObject, void* doublet, double dval, VXR_ContribLoader*);
VXR_EXPORT void VXR_NullAcceptTransition(void* hostObject, VXR_ContribLoader*);
VXR_EXPORT void VXR_NullLoadSlew(void* hostObject, void* rhs, double F, double posSlew, double negSlew,
                                 VXR_ContribLoader*);
VXR_EXPORT void VXR_NullLoadSlew_dwrt(void* hostObject, void* doublet, double dval, VXR_ContribLoader*);
VXR_EXPORT void VXR_NullAcceptSlew(void* hostObject, VXR_ContribLoader*);
#endif

/* Members of the static-check loader: every probe reads 0, the pass is the
 * initial (not final) step of a "dc"/"static" analysis, no crossing fires and
 * every default is the caller's built-in one. */
VXR_EXPORT double staticCheckDummyGetSol(VXR_StateVar*, VXR_ContribLoader* VXR_LDR_INST_PARAM);
VXR_EXPORT double staticCheckGetDefault(VXR_DefaultTypeE, VXR_ContribLoader* VXR_LDR_INST_PARAM);
VXR_EXPORT int staticCheckInitialStep(VXR_ContribLoader* VXR_LDR_INST_PARAM);
VXR_EXPORT int staticCheckFinalStep(VXR_ContribLoader* VXR_LDR_INST_PARAM);
VXR_EXPORT int staticCheckCrossEventSignal(VXR_EventDesc*, double F, double dir, double timeTol, double exprTol,
                                           double enableVal, int derivArraySize, StateVarPairT* derivStateVars,
                                           double* derivVals, unsigned* derivIndices, double Foffset,
                                           VXR_CrossArgTypeE, int AMS_index, VXR_ContribLoader* VXR_LDR_INST_PARAM);
VXR_EXPORT unsigned long staticCheckQueryMask(VXR_ContribLoader* VXR_LDR_INST_PARAM);

/* The loader every module's pFinalizeTopology runs its analog block against.
 * Members it leaves NULL must not be called. */
VXR_EXPORT extern VXR_ContribLoader VXR_StaticCheckLoader;

/* OR of the bits of the named analyses ("ac" 1, "dc" 2, "noise" 4, "tran" 8,
 * "ic" 16, "static" 32, "nodeset" 64, "hb" 128, "env" 256, and in 1.87
 * "pss" 512); exact-case names, unknown names add nothing. The host table is
 * not used. */
VXR_EXPORT unsigned long VXR_DefaultFormAnalysisQueryMask(VXR_SimInterface* pSimInterface, int cnt, ...);

#if VXR_REVISION == 187
/* Mixed-signal loader whose getters answer 0 (logic getters: {1, 0, 0, 0}). */
VXR_EXPORT extern AMS_ContribLoader DefaultAMS_ContribLoader;

/* A copy of *ldr whose Jacobian and derivative members load nothing; a load
 * run with it fills the right-hand side only. */
VXR_EXPORT VXR_ContribLoader VXR_getPureRhsLoader(const VXR_ContribLoader* ldr);

/* Resets a time-step request block: no bound step, no crossings, order -999. */
VXR_EXPORT void VXR_InitTimeControlData(VXR_TimeStepRequests* pData);
#endif

/* ---- Messages, memory and error log ---------------------------------------- */

/* Composed message texts are cut to this many characters. */
#define VXR_MESSAGE_BUFFER_CHARS 2047

/* Sends errMsg to the host's pMessage, with the instance and/or id as a
 * bracketed context line. Revision 1.87 drops a WARNING whose final text went
 * out before in this process. */
void VXR_Message(VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst, const char* id, VXR_MessageTypeE msgType,
                 const char* errMsg);
/* 1 when the text (by its 64-bit hash) was seen before in this process;
 * otherwise remembers it and returns 0. */
int VXR_IsMessageDuplicate(const char* msg, VXR_SimInterface* pSimInterface);
/* The instance's hierarchical name, asked of the host once and kept. */
const char* VXR_GetFullHierName(VXR_DeviceInst* pInst);

/* Heap wrappers: a zero size returns NULL without allocating; on failure
 * "Out of memory." goes out as an ERROR (with pInst and id), the host is asked
 * to "exit", and NULL is returned. Without a host table nothing is reported. */
void* VXR_malloc(size_t size, VXR_SimInterface*, VXR_DeviceInst* pInst, const char* id);
void* VXR_calloc(size_t nmemb, size_t size, VXR_SimInterface*, VXR_DeviceInst* pInst, const char* id);
#if VXR_REVISION == 187
/* Size 0 returns NULL and leaves the old block alone. */
void* VXR_realloc(void* ptr, size_t size, VXR_SimInterface*, VXR_DeviceInst* pInst, const char* id);
#endif
char* VXR_strdup(const char* s, VXR_SimInterface*, VXR_DeviceInst* pInst);
void VXR_free(void* p);

/* Range-violation log, created and freed by the host. A negative capacity
 * counts as 0; NULL after a failed allocation. */
VXR_EXPORT VXR_ErrorLog* VXR_createErrorLog(int maxLength, VXR_SimInterface*);
/* Stores (instance, text pointer) while the log has room; a full log drops it. */
void VXR_insertError(VXR_ErrorLog* log, VXR_DeviceInst* pInst, const char* errStr);
/* Frees the log, not the texts; NULL is ignored. */
VXR_EXPORT void VXR_freeErrorLog(VXR_ErrorLog* log);

/* ---- Parameters by name, terminal binding ------------------------------------ */

/* Row lookup: both arguments point at a pointer to a name. */
int VXR_paramCompare(const void* p1, const void* p2);
int VXR_paramCompareIgnoreCase(const void* p1, const void* p2);
/* Binary search of the sorted table (case-sensitive); NULL when absent. */
VXR_ParamDesc* VXR_getParamDesc(VXR_ModuleDescriptor* pModDesc, const char* paramName);
/* paramMap[row] = index of the (last) assignment of that row, or -1. */
void VXR_setupParamMap(VXR_DeviceInst* pInst, int numOfGivenParams, const VXR_ParamAssn* givenParams, int* paramMap);
double VXR_initRealParam(VXR_DeviceInst* pInst, int ix, int* paramMap, VXR_ParamAssn* givenParams);
int VXR_initIntegerParam(VXR_DeviceInst* pInst, int ix, int* paramMap, VXR_ParamAssn* givenParams);
const char* VXR_initStringParam(VXR_DeviceInst* pInst, int ix, int* paramMap, VXR_ParamAssn* givenParams);
void VXR_initArrayParam(VXR_Array* pLhs, int ix, int* paramMap, VXR_ParamAssn* givenParams);
char* VXR_charFromInt(int* p_int);
/* aliasSet[0] is the parameter's row, the rest its aliases' rows. */
void VXR_processAliasSet(VXR_DeviceInst* pInst, int* paramMap, VXR_ParamAssn* givenParams, int setSize,
                         const int* aliasSet);
#if VXR_REVISION == 187
void VXR_processMultAliasSet(VXR_DeviceInst* pInst, int* paramMap, VXR_ParamAssn* givenParams, int setSize,
                             const int* aliasSet);
#endif
void VXR_reportAliasClash(const char* name, VXR_DeviceInst* pInst);
void VXR_reportLocalParamError(const char* name, VXR_DeviceInst* pInst);
/* Host-callable setters of one parameter of a live instance, by name. */
VXR_EXPORT void VXR_setParamToReal(VXR_DeviceInst* pInst, const char* paramName, double paramVal, int* pRangeViolation);
VXR_EXPORT void VXR_setParamToInt(VXR_DeviceInst* pInst, const char* paramName, int paramVal, int* pRangeViolation);
VXR_EXPORT void VXR_setParamToArray(VXR_DeviceInst* pInst, const char* paramName, VXR_Array* paramArray,
                                    int* pRangeViolation);
VXR_EXPORT void VXR_setParamToString(VXR_DeviceInst* pInst, const char* paramName, const char* stringVal,
                                     int* pRangeViolation);

void VXR_reportPortMismatch(int numOfGivenPorts, int numOfPorts, VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst);
#if VXR_REVISION == 187
void VXR_reportWidthMismatch(const char* portName, int givenWidth, int portWidth, VXR_StateVar** ppSV,
                             VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst);
#else
void VXR_reportWidthMismatch(const char* portName, int givenWidth, int portWidth, VXR_SimInterface* pSimInterface,
                             VXR_DeviceInst* pInst);
#endif
void VXR_reportInstanceArrayError(const char* portName, int givenWidth, int portWidth, int range,
                                  VXR_SimInterface* pSimInterface, VXR_DeviceInst* pInst);
/* Binds scalar port slot id; *pTrm is the cursor into termArray. */
void VXR_AssignScalarPort(VXR_DeviceInst* pInst, const char* name, int id, VXR_StateVar** termArray,
                          int (*termWidth)[3], int port, int numOfTerms, int* pTrm, int index, int range);
/* Same position: both NULL, or equal pos and pParent; markers by identity. */
int VXR_svPosMatch(VXR_StateVar* pSV1, VXR_StateVar* pSV2);

/* ---- Runtime arrays and data services ------------------------------------------ */

VXR_Array* VXR_createArray(VXR_DeviceInst* pParent, VXR_ArrayTypeE arrayType, const char* arrayName);
#if VXR_REVISION == 187
void VXR_setArrayBoundVectors(VXR_Array* pArray, int numDims, const int* pLeftBounds, const int* pRightBounds);
/* numDims pairs of int bounds follow: left, right, dimension after dimension. */
void VXR_setArrayBoundLists(VXR_Array* pArray, int numDims, ...);
#endif
void VXR_setArrayBounds(VXR_Array* pArray, int leftBound, int rightBound);
void VXR_assignArray(VXR_Array* pLhs, const VXR_Array* pRhs);
VXR_Array* VXR_duplicateArray(const VXR_Array* pRhs);

/* Entry of the host's simulation-parameter table with that exact name, or NULL. */
VXR_SimParam* VXR_getSimParamCallback(VXR_DeviceInst* pInst, const char* name);
#if VXR_REVISION == 187
/* Gives every unconnected port element an isolated node (or the no-node marker). */
void VXR_CreateIsolatedPorts(VXR_DeviceInst* pInst, void* pCallbackInfo);
/* Parameter-override text "#(.name(value),...)" for instances with digital content, else NULL. */
char* VXR_CreateParamString(int paramCount, const VXR_ParamAssn* givenParams, VXR_DeviceInst* pInst);
#endif

/* ---- $table_model --------------------------------------------------------------- */
/* A record per use, read and built at its first evaluation. Per dimension the
 * control gives an interpolation code (1 linear, 2 quadratic, 3 cubic) and
 * lower and upper extrapolation letters ('C' constant, 'L' linear, 'E' report
 * and linear); argDim 0: linear everywhere. The caller's arrays are copied. */
void* VXR_createTableModelFileSource(VXR_DeviceInst* pParent, int argDim, int* interpMethod, char* lowerExtrapMethod,
                                     char* upperExtrapMethod, const char* userFile);
/* dim + 1 arguments of type VXR_Array** follow: the independent arrays, then
 * the dependent one. Their contents are read at the first evaluation. */
void* VXR_createTableModelArraySource(VXR_DeviceInst* pParent, int dim, int argDim, int* interpMethod,
                                      char* lowerExtrapMethod, char* upperExtrapMethod, ...);
/* len lookup values (double) follow; deriv, when given, receives len partial
 * derivatives. A table that cannot be evaluated gives 0.0 and zero partials. */
double VXR_callTableModel(void* tableModel, double* deriv, int len, ...);
/* len lookup values, then len derivatives of them along one direction (all
 * double): the derivative of the table value along that direction. */
double VXR_scalarDerivTableModel(void* tableModel, int len, ...);
/* Releases a record with its tree; for a module's destroy slot. NULL is ignored. */
void VXR_freeTableModel(void* tableModel);

/* ---- Hierarchy, events and device state ---------------------------------------- */
/* Hierarchy walks, also called by the host. A NULL instance does nothing. */
VXR_EXPORT void VXR_FinalizeTopology(VXR_DeviceInst* pInst, void* pCallbackInfo);
VXR_EXPORT void VXR_SetStamp(VXR_DeviceInst* pInst, void* pCallbackInfo);
VXR_EXPORT void VXR_CheckRangeInHierarchy(VXR_DeviceInst* pInst, VXR_ErrorLog* pErrorLog);
VXR_EXPORT void VXR_ForceExecInvarInHierarchy(VXR_DeviceInst* pInst, int force);

/* Teardown, save and restore of children and events (module destroy/state slots). */
void VXR_destroyChildren(VXR_DeviceInst* pInst);
void VXR_destroyEvents(VXR_DeviceInst* pInst);
void VXR_SaveChildren(VXR_DeviceInst* pParent, VXR_DeviceState* pState);
void VXR_RestoreChildren(VXR_DeviceInst* pParent, VXR_DeviceState* pState);
void VXR_SaveEvents(VXR_DeviceInst* pInst, VXR_DeviceState* pState);
void VXR_RestoreEvents(VXR_DeviceInst* pInst, VXR_DeviceState* pState);

/* Releases a saved device state with everything it owns. */
VXR_EXPORT void VXR_freeDeviceState(VXR_DeviceState* pState);

/* Serialization primitives: native byte order, no padding; *pDir is
 * SRLZ_TO_FILE, SRLZ_FROM_FILE or (sticky) SRLZ_ERROR. */
void VXR_serializeDouble(const char* desc, double* pVal, FILE* f, VXR_SrlzDirE* pDir);
void VXR_serializeInt(const char* desc, int* pVal, FILE* f, VXR_SrlzDirE* pDir);
void VXR_serializeString(const char* desc, const char** p_strval, FILE* f, VXR_SrlzDirE* pDir);
void VXR_serializeArray(const char* desc, VXR_Array* pArray, FILE* f, VXR_SrlzDirE* pDir);
void VXR_serializeMarker(const char* str, FILE* f, VXR_SrlzDirE* pDir);

/* ---- Files and formatted output ------------------------------------------------- */
/* Size of every formatting buffer; longer texts are cut to VXR_TEXT_BUFSIZE - 1. */
#define VXR_TEXT_BUFSIZE 20000

void VXR_WriteMsg(VXR_MessageTypeE msgType, VXR_DeviceInst* pInst, const char* formatStr, ...);

void VXR_initFileDescs(VXR_DeviceInst* pInst);
void VXR_acceptFileDescs(VXR_DeviceInst* pInst);
void VXR_positionFileDescs(VXR_DeviceInst* pInst);
/* Frees the instance's file-descriptor records (and the 1.87 slot array). */
void VXR_freeFileDescs(VXR_DeviceInst* pInst);

int VXR_FileOpen(VXR_DeviceInst* pInst, const char* fileName, const char* modeStr, int ix);
void VXR_FileClose(VXR_DeviceInst* pInst, int fd);
void VXR_FileFlush(VXR_DeviceInst* pInst, int fd);
void VXR_WriteFile(int fd, VXR_DeviceInst* pInst, const char* formatStr, ...);
void VXR_WriteString(const char** ppString, VXR_DeviceInst* pInst, const char* formatStr, ...);
int VXR_scanSingle(int fd, VXR_DeviceInst* pInst, const char* formatStr, void* pArg, int* pFail);
int VXR_fgets(VXR_DeviceInst* pInst, char** ppString, int fd);
int VXR_sscanf(const char* s, VXR_DeviceInst* pInst, const char* formatStr, ...);

/* Text of %b (buf: 34 bytes) and %r (buf: 16 bytes). */
const char* VXR_ConvertToBinary(int n, char* buf);
const char* VXR_ConvertToEngFormat(double x, char* buf);

/* ---- Checked math and derivative functions -------------------------------------- */
void VXR_CheckVar(double val, const char* varName, VXR_DeviceInst* pInst, int line, VXR_ContribLoader* ldr);
double VXR_RealChkDiv(double numerArg, double denomArg, VXR_DeviceInst* pInst, int line, VXR_ContribLoader* ldr,
                      int useHandler);
int VXR_IntDivByZero(int leftArg, VXR_DeviceInst* pInst, int line, VXR_ContribLoader* ldr, int useHandler);
double VXR_LogDomainErr(double arg, VXR_DeviceInst* pInst, int line, VXR_ContribLoader* ldr);
double VXR_Log10DomainErr(double arg, VXR_DeviceInst* pInst, int line, VXR_ContribLoader* ldr);
double VXR_SqrtDomainErr(double arg, VXR_DeviceInst* pInst, int line, VXR_ContribLoader* ldr);
double VXR_wrapPow(double f, double g);
double VXR_checkPow(VXR_DeviceInst* pInst, int line, double f, double g, VXR_ContribLoader* ldr);
double VXR_powDeriv(double ftog, double f, double g, double fprime, double gprime);
double VXR_hypotDeriv(double numArg, double sqrtArg);
double VXR_intPow(double x, int n);
void VXR_DebugReport(VXR_DeviceInst* pInst, int line, VXR_DebugEventTypeE contextFlag, const char* tag,
                     VXR_ContribLoader* ldr);

/* ---- Analog operators ----------------------------------------------------------- */

/* Records of the operators (bodies in the runtime's VXR_Operators.h). */
typedef struct s_VXR_OpBranch_ddt VXR_OpBranch_ddt;
typedef struct s_VXR_FreqResponse VXR_FreqResponse;
typedef struct s_VXR_NoiseContrib VXR_NoiseContrib;

typedef enum {
    VXR_WHITE_NOISE_SRC = 0,
    VXR_FLICKER_NOISE_SRC = 1,
    VXR_TABLE_NOISE_SRC = 2
} VXR_NoiseSrcTypeE;

/* Time-derivative operator branch: the row s * dQ/dt - x = 0 of its own
 * branch variable x, s being the loader's VXR_BRANCHDDT_SCALE. */
VXR_OpBranch_ddt* VXR_createOpBranch_ddt(const char* name, VXR_DeviceInst* parent);
void VXR_ddtFinalizeTopology(VXR_OpBranch_ddt* op, void* pCallbackInfo);
void VXR_ddtSetStamp(VXR_OpBranch_ddt* op, void* pCallbackInfo);
void* VXR_getDerivDoubletOpBranch_ddt(VXR_OpBranch_ddt* op, VXR_StateVar* svRhsPlus, VXR_StateVar* svRhsMinus,
                                      VXR_StampTargetE target, VXR_DepTypeE dep, void* pCallbackInfo);
VXR_StateVar* VXR_getBranchVar_ddt(VXR_OpBranch_ddt* op);
void VXR_OpBranch_ddt_setArg(VXR_OpBranch_ddt* op, double Q, VXR_ContribLoader* ldr);
void VXR_OpBranch_ddt_setArg_dwrt(VXR_OpBranch_ddt* op, void* doublet, double dval, VXR_ContribLoader* ldr);
void VXR_ddtGenericLoad(VXR_OpBranch_ddt* op, VXR_ContribLoader* ldr);
void VXR_ddtGenericLoadRHS(VXR_OpBranch_ddt* op, VXR_ContribLoader* ldr);
void VXR_ddtAcceptTimePoint(VXR_OpBranch_ddt* op, VXR_ContribLoader* ldr);
void* VXR_ddtSaveState(VXR_OpBranch_ddt* op);
void VXR_ddtRestoreState(VXR_OpBranch_ddt* op, void* state);
void VXR_ddtReset(VXR_OpBranch_ddt* op);
void VXR_addNoiseForOp_ddt(VXR_NoiseSrc* pSrc, VXR_OpBranch_ddt* op, double coeff, VXR_ContribLoader* ldr);
#if VXR_REVISION != 142
void VXR_reportNoiseContribForOp_ddt(VXR_OpBranch_ddt* op, int noiseSrcNum, void* pCallbackInfo);
void VXR_destroyOpBranch_ddt(VXR_OpBranch_ddt* op);
#endif

#if VXR_REVISION != 187
/* Laplace operators of revisions 1.60 and 1.42 and their pole-residue branch. */
typedef struct s_VXR_OpBranchPoleResidue VXR_OpBranchPoleResidue;
typedef struct s_VXR_OpBranch_lapnd VXR_OpBranch_lapnd;
typedef struct s_VXR_OpBranch_lapnp VXR_OpBranch_lapnp;
typedef struct s_VXR_OpBranch_lapzd VXR_OpBranch_lapzd;
typedef struct s_VXR_OpBranch_lapzp VXR_OpBranch_lapzp;

VXR_OpBranchPoleResidue* VXR_createOpBranchPoleResidue(const char* name, VXR_DeviceInst* parent);
void VXR_PoleResidueFinalizeTopology(VXR_OpBranchPoleResidue* pOp, void* cbInfo);
void VXR_PoleResidueSetStamp(VXR_OpBranchPoleResidue* pOp, void* cbInfo);
void* VXR_getDerivDoubletOpBranchPoleResidue(VXR_OpBranchPoleResidue* pOp, VXR_StateVar* sv1, VXR_StateVar* sv2,
                                             VXR_StampTargetE target, VXR_DepTypeE dep, void* cbInfo);
void VXR_PoleResidueSetArg(VXR_OpBranchPoleResidue* pOp, double arg, VXR_ContribLoader* ldr);
void VXR_PoleResidueSetArg_dwrt(VXR_OpBranchPoleResidue* pOp, void* doublet, double dval, VXR_ContribLoader* ldr);
void VXR_PoleResidueGenericLoad(VXR_OpBranchPoleResidue* pOp, VXR_ContribLoader* ldr);
void VXR_PoleResidueGenericLoadRHS(VXR_OpBranchPoleResidue* pOp, VXR_ContribLoader* ldr);
void VXR_PoleResidueAcceptTimePoint(VXR_OpBranchPoleResidue* pOp, VXR_ContribLoader* ldr);
void* VXR_PoleResidueSaveState(VXR_OpBranchPoleResidue* pOp);
void VXR_PoleResidueRestoreState(VXR_OpBranchPoleResidue* pOp, void* pOpState);
void VXR_PoleResidueReset(VXR_OpBranchPoleResidue* pOp);
void VXR_addNoiseForOpPoleResidue(VXR_NoiseSrc* src, VXR_OpBranchPoleResidue* pOp);
#if VXR_REVISION == 160
void VXR_reportNoiseContribForOpPoleResidue(VXR_OpBranchPoleResidue* pOp, int n, void* info);
#else
VXR_StateVar* VXR_getBranchVarPoleResidue(VXR_OpBranchPoleResidue* pOp);
#endif

/* The sixteen methods of each Laplace operator (no destroy and no noise
 * report in 1.42). */
#if VXR_REVISION == 160
#define VXR_LAPLACE_REV160_METHODS(T, x)                                                                      \
    void VXR_destroyOpBranch_##x(T* op);                                                                      \
    void VXR_reportNoiseContribForOp_##x(T* op, int n, void* info);
#else
#define VXR_LAPLACE_REV160_METHODS(T, x)
#endif
#define VXR_LAPLACE_METHODS(T, x)                                                                             \
    T* VXR_createOpBranch_##x(const char* name, VXR_DeviceInst* parent, VXR_Array* first, VXR_Array* second);   \
    void VXR_##x##FinalizeTopology(T* op, void* cbInfo);                                                       \
    void VXR_##x##SetStamp(T* op, void* cbInfo);                                                               \
    void VXR_##x##SetArg(T* op, double value, VXR_ContribLoader* ldr);                                         \
    void VXR_##x##SetArg_dwrt(T* op, void* doublet, double derivative, VXR_ContribLoader* ldr);                \
    void VXR_##x##GenericLoad(T* op, VXR_ContribLoader* ldr);                                                  \
    void VXR_##x##GenericLoadRHS(T* op, VXR_ContribLoader* ldr);                                               \
    void VXR_##x##AcceptTimePoint(T* op, VXR_ContribLoader* ldr);                                              \
    void* VXR_##x##SaveState(T* op);                                                                           \
    void VXR_##x##RestoreState(T* op, void* pOpState);                                                         \
    void VXR_##x##Reset(T* op);                                                                                \
    VXR_StateVar* VXR_getBranchVar_##x(T* op);                                                                 \
    void* VXR_getDerivDoubletOpBranch_##x(T* op, VXR_StateVar* plus, VXR_StateVar* minus,                      \
                                          VXR_StampTargetE target, VXR_DepTypeE dep, void* cbInfo);            \
    void VXR_addNoiseForOp_##x(VXR_NoiseSrc* src, T* op);                                                      \
    VXR_LAPLACE_REV160_METHODS(T, x)
VXR_LAPLACE_METHODS(VXR_OpBranch_lapnd, lapnd)
VXR_LAPLACE_METHODS(VXR_OpBranch_lapnp, lapnp)
VXR_LAPLACE_METHODS(VXR_OpBranch_lapzd, lapzd)
VXR_LAPLACE_METHODS(VXR_OpBranch_lapzp, lapzp)
#undef VXR_LAPLACE_METHODS
#undef VXR_LAPLACE_REV160_METHODS

/* Partial fractions of N(s) / prod (s - p_k) into the branch record; the
 * poles array is reordered in place. */
void VXR_PartialFracNP(int numeratorType, int numeratorDataLen, const double* numerator, int numPoles,
                       VXR_Cmplx* poles, double absTol, double relTol, VXR_OpBranchPoleResidue* pOp);
/* out[d] = d-th derivative of prod (s - r_i) at s, d = 0 .. numDeriv. */
void VXR_EvalRootProduct(double sRe, double sIm, int numRoots, VXR_Cmplx* roots, int numDeriv, VXR_Cmplx* out);
VXR_Cmplx VXR_EvalPoly(double sRe, double sIm, const double* coeffs, int degree);
void VXR_DiffPoly(double* coeffs, int degree);
/* Roots of the polynomial with degree + 1 ascending coefficients through the
 * host's eigenvalue routine; the count found (0 without the routine). */
int solveForRoots(const double* coeffs, int degree, VXR_ComplexNumber* roots, VXR_SimInterface* simIf);
/* Moves each complex value's conjugate next to it; 0 when one is missing. */
int VXR_checkConjugateZeros(double* values, int count);
double VXR_RealDivByZero(double numerator, VXR_DeviceInst* inst, int line);
VXR_Array* VXR_createVarArray(const VXR_Array* model, const char* name);
#endif

/* Noise sources and their contribution lists. */
void VXR_setNoiseSrcInfo(VXR_NoiseSrc* pSrc, VXR_NoiseSrcTypeE type, const char* name, VXR_DeviceInst* pParent);
void VXR_setWhiteNoisePwr(VXR_NoiseSrc* pSrc, double pwr);
void VXR_setFlickerNoiseExpr(VXR_NoiseSrc* pSrc, double pwr, double flickerExp);
void VXR_setNoiseTableArg(VXR_NoiseSrc* pSrc, VXR_Array* pTableArray);
void VXR_clearNoiseSrc(VXR_NoiseSrc* pSrc);
void VXR_addColoredNoise(VXR_NoiseSrc* pSrc, void* pRhsPair, double coeff, VXR_FreqResponse* pFreqResponse);
void VXR_insertNoiseVal(VXR_NoiseContrib** ppHead, void* pRhsPair, double coeff, VXR_FreqResponse* pFreqResponse,
                        VXR_SimInterface* pSimInterface);
void VXR_freeNoiseContribs(VXR_NoiseSrc* pSrc);
#if VXR_REVISION == 187
void VXR_addNoise(VXR_NoiseSrc* pSrc, void* pRhsPair, double coeff, VXR_ContribLoader* ldr);
void VXR_reportNoiseContrib(VXR_DeviceInst* inst, int noiseSrcNum, void* pRhsPair, void* pCallbackInfo);
#else
void VXR_addNoise(VXR_NoiseSrc* pSrc, VXR_StateVar* svPlus, VXR_StateVar* svMinus, double coeff);
#if VXR_REVISION == 160
void VXR_reportNoiseContrib(VXR_DeviceInst* inst, int noiseSrcNum, VXR_StateVar* svPlus, VXR_StateVar* svMinus,
                            void* pCallbackInfo);
#endif
#endif

/* AC stimulus: loaded only in the analyses of its mask. */
VXR_acSrc* VXR_create_acStim(VXR_DeviceInst* pParent, int id, int numOfAnalyses, ...);
void VXR_set_acStim(VXR_acSrc* p, double srcMag, double srcPhase, int mode, double freq);
void VXR_acContrib(VXR_acSrc* p, VXR_StateVar* svPlus, VXR_StateVar* svMinus, double coeff, VXR_ContribLoader* ldr);

/* Limited exponential. */
VXR_LimexpDesc* VXR_createLimexp(VXR_DeviceInst* pParent, int hasSingleLinearArg, VXR_StateVar* pPosVar,
                                 VXR_StateVar* pNegVar);
double VXR_defaultSoftExp(double arg, VXR_LimexpDesc* pDesc);

#ifdef __cplusplus
}
#endif

#endif /* VXR_SUPPORTLIB_H */
