/*
 * VXR_SupportLib.h - the runtime's functions and data, as the generated
 * modules and the runtime itself call them. Library code only: it needs
 * VXR_REVISION (187, 160 or 142) and uses the plain names of that revision.
 *
 * Functions marked VXR_EXPORT are exported by every library of the revision
 * and may be used by a host (through dlsym or GetProcAddress); the rest are
 * internal.
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

/* A concatenation item, passed and returned by value; the element block
 * belongs to the item (or to whoever adopts it). */
typedef enum { VXR_REAL_DATA = 0, VXR_INT_DATA = 1, VXR_STATE_VAR_PTR = 2 } VXR_DataTypeE;
typedef struct s_VXR_Data {
    VXR_DataTypeE dataType;
    int arrayLen;
    union {
        double* pReal;
        int* pInt;
        VXR_StateVar** ppSV;
    } arrayData;
} VXR_Data;

VXR_Array* VXR_createArrayVar(VXR_DeviceInst* pParent, VXR_ArrayTypeE arrayType, const char* arrayName);
/* Same parent, type and bounds as pOrigArray, zeroed elements. */
VXR_Array* VXR_createTempArray(const VXR_Array* pOrigArray, const char* arrayName);
/* Storage, bound vectors and record; the name stays the caller's. NULL is ignored. */
void VXR_freeArray(VXR_Array* pArray);
#if VXR_REVISION == 187
/* Storage position of the element at size indices (first index fastest,
 * ascending storage in every dimension); -1 after a reported error. */
int VXR_getArrayIndex(VXR_Array* pArray, int size, ...);
#endif
/* Element access: 1.87 takes storage positions (VXR_getArrayIndex), 1.60
 * and 1.42 the declared index, checked against the bounds. Outside the
 * storage the getters return 0 and the setters store nothing. */
double VXR_getArrayReal(VXR_Array* pArray, int indx);
int VXR_getArrayInt(VXR_Array* pArray, int indx);
void VXR_setArrayReal(VXR_Array* pArray, int indx, double val);
void VXR_setArrayInt(VXR_Array* pArray, int indx, int val);
/* Address of an element for the caller to write through; outside the
 * storage a scratch element, so the write is lost. */
double* VXR_realRef(VXR_Array* pArray, int indx);
int* VXR_intRef(VXR_Array* pArray, int indx);
/* Value-list initialisers: sz values, the first at the left bound. */
void VXR_initRealArray(VXR_Array* pArray, int sz, ...);
void VXR_initIntArray(VXR_Array* pArray, int sz, ...);
void VXR_initRealArrayByConcat(VXR_Array* pArray, VXR_Data e);
void VXR_initIntArrayByConcat(VXR_Array* pArray, VXR_Data e);
void VXR_initAndSetBoundsOfRealArrayByConcat(VXR_Array* pArray, VXR_Data e);
void VXR_resetArray(VXR_Array* pArray);
/* 1 when every element lies in the range ('(' and ')' exclude the bound). */
int VXR_checkArrayRange(VXR_Array* pArray, char leftParen, double leftVal, double rightVal, char rightParen);
/* ERROR (id: the array's name) when the initializer length differs from the
 * first dimension's element count. */
void VXR_checkArraySize(VXR_Array* pArray);

/* Concatenation items: one value, and replications {replNum{item, ...}} of
 * count items passed by value (an int item converts in a real replication).
 * A negative count or length is an ERROR with an empty result. */
VXR_Data VXR_Real(VXR_DeviceInst* pParent, double x);
VXR_Data VXR_Int(VXR_DeviceInst* pParent, int n);
VXR_Data VXR_RealReplicate(VXR_DeviceInst* pParent, int replNum, int count, ...);
VXR_Data VXR_IntReplicate(VXR_DeviceInst* pParent, int replNum, int count, ...);
/* The string functions' empty result; constant, and ignored by VXR_free. */
extern const char VXR_emptyText[1];
#if VXR_REVISION == 187
/* One net, or the *pWidth consecutive element slots starting at pSV. */
VXR_Data VXR_pSV(VXR_DeviceInst* pParent, VXR_StateVar* pSV, int* pWidth);
VXR_Data VXR_pSV_Replicate(VXR_DeviceInst* pParent, int replNum, int count, ...);
/* Not available in the analog domain: a WARNING and 0. */
int VXR_BitwiseConcatenate(VXR_DeviceInst* pParent, int count, ...);
int VXR_BitwiseReplicate(VXR_DeviceInst* pParent, int replNum, int orig);
/* New texts owned by the caller (NULL texts count as ""); count 0, an
 * empty text or a zero count give VXR_emptyText, a negative count NULL. */
char* VXR_StringConcatenate(VXR_DeviceInst* pParent, int count, ...);
char* VXR_StringReplicate(VXR_DeviceInst* pParent, int replNum, const char* orig);
int VXR_rfc_len(VXR_DeviceInst* pParent, const char* str);
/* Characters i1 to i2; a fresh empty text for bounds outside the text. */
const char* VXR_rfc_substr(VXR_DeviceInst* pParent, const char* str, int i1, int i2);
double VXR_rfc_atoreal(VXR_DeviceInst* pParent, const char* str);
#endif

/* $limit call descriptor of one call site: the host limiter of that name
 * (entry 0 for an unknown name, none for a NULL name); NULL after the
 * argument-count ERROR. Lives as long as the caller keeps it. */
void* VXR_createLimitCallDesc(VXR_DeviceInst* pParent, const char* limitFunctionName, int nArgs);
/* The value to use: the host limiter's result (its nArgs extra doubles
 * follow), or the value itself when there is no limiter. */
double VXR_callLimitFunction(VXR_ContribLoader* ldr, void* desc, double currentValue, ...);
/* Releases a descriptor (module destroy slot); NULL is ignored. */
void VXR_freeLimitCallDesc(void* desc);
#if VXR_REVISION != 142
/* Records a value the module limited itself. */
void VXR_setLimitState(double inputValue, double limitedValue, void* desc);
double VXR_getPrevLimitVal(void* desc);
/* (input - limited) * fprime after a limiting, else 0. */
double VXR_calcLimitCorrTerm(void* desc, double fprime);
#endif

/* Entry of the host's simulation-parameter table with that exact name, or NULL. */
VXR_SimParam* VXR_getSimParamCallback(VXR_DeviceInst* pInst, const char* name);
/* Getter that returns its default; the static entry that carries it. */
double passThroughCallback(VXR_DeviceInst* pInst, double defaultValue);
VXR_SimParam* VXR_getSimParamPassThroughCallback(void);
#if VXR_REVISION == 187
/* Gives every unconnected port element an isolated node (or the no-node marker). */
void VXR_CreateIsolatedPorts(VXR_DeviceInst* pInst, void* pCallbackInfo);
/* Parameter-override text "#(.name(value),...)" for instances with digital content, else NULL. */
char* VXR_CreateParamString(int paramCount, const VXR_ParamAssn* givenParams, VXR_DeviceInst* pInst);

/* Arrays mirroring the digital side (real, bounds set) and their analog twin. */
VXR_Array* digitalArray(int digID, int D2A_ImportIndex, VXR_DeviceInst* pParent, const char* arrayName,
                        int leftBound, int rightBound);
VXR_Array* analogArray(VXR_Array* pArray);

/* $simprobe: the value of varName (a parameter, else an output variable) of
 * the sibling named instName; call site ix caches the search. */
double VXR_SimProbe(int ix, const char* instName, const char* varName, int defaultExprGiven,
                    double defaultExprValue, VXR_ContribLoader* ldr, VXR_DeviceInst* pInst);
/* Frees what the runtime made for the instance's data services: the
 * parameter-override text and the probe cache (module destroy slot). */
void VXR_freeInstanceDataServices(VXR_DeviceInst* pInst);

/* Net and port vectors, addressed by their index id into pVectors. */
void VXR_CreatePortVector(VXR_DeviceInst* pInst, const char* name, int id, VXR_StateVar** termArray,
                          int (*termWidth)[3], int p, int numOfTerms, int* pTrm, int index, int range, int L, int R,
                          int* pGiven, int* pL, int* pR);
void VXR_SetupNodeVector(VXR_DeviceInst* pInst, const char* name, int id, int L, int R, void* pCallbackInfo);
void VXR_SetupRegPortVector(VXR_DeviceInst* pInst, const char* name, int id, NetTypeE netType, int digRef, int L,
                            int R, void* pCallbackInfo);
/* The vector adopts the item's state-variable block as [0:arrayLen-1]. */
void VXR_SetupVectorByConcat(VXR_DeviceInst* pInst, int id, VXR_Data e);
/* Slot of the first element to pass to a child and its width triple
 * {width, left, right}; NULL with width 0 after a reported error. */
VXR_StateVar** VXR_VectorToChild(VXR_DeviceInst* pInst, const char* name, int id, int subGiven, int subL, int subR,
                                 int* pWidth);
void VXR_ReportVectorDiscipline(VXR_DeviceInst* pInst, int id, VXR_DisciplineDescriptor* pDisc);
void VXR_VectorCheck(VXR_DeviceInst* pInst, const char* name, int id, int offset);
void VXR_CheckBranchBounds(VXR_DeviceInst* pInst, const char* brName, int brLeft, int brRight, const char* nodeName,
                           int nodeLeft, int nodeRight);
int VXR_UBranchMatch(VXR_BranchInfo* pBI, VXR_StateVar* pPosSV, VXR_StateVar* pNegSV);
/* "%d%s_i" of index and base ("_%d%s_i" of -index below 0), owned by the caller. */
const char* VXR_EncodeVector(VXR_DeviceInst* pInst, const char* base, int index);

/* Four-state logic values. */
typedef enum { CASE_ = 0, CASE_X = 1, CASE_Z = 2 } CaseTypeE;
LogicNumber* VXR_initLogic(LogicNumber* p1, int size, int aVal, int bVal);
int VXR_compareLogic(const LogicNumber* p1, const LogicNumber* p2, CaseTypeE type);
int VXR_compareLogInt(const LogicNumber* p1, int i2, CaseTypeE type);
/* A D2A event record {NULL, parent, VXR_EVT_D2A, NULL}; the caller owns it. */
VXR_EventDesc* VXR_createSimEvent_D2A(VXR_DeviceInst* pParent);
/* Exports V(pSV1) - V(pSV2) to slot index of the loader's mixed-signal table. */
void VXR_ExportNet(int index, VXR_StateVar* pSV1, VXR_StateVar* pSV2, VXR_ContribLoader* pldr,
                   VXR_DeviceInst* pInst);
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

/* ---- Random numbers and distributions ------------------------------------------ */

/* One instance's random state. A draw starts from the caller's seed (int*
 * pSeed) or, when pSeed is NULL, from _currentSeed; the seed after the draw
 * goes back through pSeed and always to _currentSeed. The twins with a 2
 * after random/dist/rdist take the seed by value and leave the caller's
 * variable alone. Released with VXR_free by its owner. */
typedef struct s_VXR_RandomDesc {
    VXR_DeviceInst* _pParent; /* its host table seeds the descriptor and runs the host generator */
    int _initialSeed;         /* committed seed: host's pRand at creation, then each accept */
    int _currentSeed;         /* working seed: after the latest draw; 0 at creation */
    int _cacheIntRand;        /* latest integer draw */
    double _cacheDblRand;     /* latest real result of the functions that record it */
} VXR_RandomDesc;

/* NULL after a reported allocation failure. Every function below accepts a
 * NULL descriptor: it draws nothing and returns 0 (0.0). */
VXR_RandomDesc* VXR_createRandomDesc(VXR_DeviceInst* pParent);
void VXR_randomInitPoint(VXR_RandomDesc* pRandDesc);   /* working seed := committed seed */
void VXR_randomAcceptPoint(VXR_RandomDesc* pRandDesc); /* committed seed := working seed */

int VXR_random(VXR_RandomDesc* pRandDesc, int* pSeed);
int VXR_random2(VXR_RandomDesc* pRandDesc, int seed);
int VXR_dist_uniform(VXR_RandomDesc* pRandDesc, int* pSeed, int startVal, int stopVal);
int VXR_dist2_uniform(VXR_RandomDesc* pRandDesc, int seed, int startVal, int stopVal);
double VXR_rdist_uniform(VXR_RandomDesc* pRandDesc, int* pSeed, double minVal, double maxVal);
double VXR_rdist2_uniform(VXR_RandomDesc* pRandDesc, int seed, double minVal, double maxVal);

int VXR_dist_normal(VXR_RandomDesc* pRandDesc, int* pSeed, int mean, int sd);
int VXR_dist2_normal(VXR_RandomDesc* pRandDesc, int seed, int mean, int sd);
/* Draws from the host generator (pSeedRand with the seed, then pRand); a
 * host table without them gives mean here and 0.0 in the real chi-square and
 * t, with nothing drawn. */
double VXR_rdist_normal(VXR_RandomDesc* pRandDesc, int* pSeed, double mean, double stddev);
double VXR_rdist2_normal(VXR_RandomDesc* pRandDesc, int seed, double mean, double stddev);
int VXR_dist_exponential(VXR_RandomDesc* pRandDesc, int* pSeed, int mean);
int VXR_dist2_exponential(VXR_RandomDesc* pRandDesc, int seed, int mean);
double VXR_rdist_exponential(VXR_RandomDesc* pRandDesc, int* pSeed, double mean);
double VXR_rdist2_exponential(VXR_RandomDesc* pRandDesc, int seed, double mean);
int VXR_dist_poisson(VXR_RandomDesc* pRandDesc, int* pSeed, int mean);
int VXR_dist2_poisson(VXR_RandomDesc* pRandDesc, int seed, int mean);
double VXR_rdist_poisson(VXR_RandomDesc* pRandDesc, int* pSeed, double mean);
double VXR_rdist2_poisson(VXR_RandomDesc* pRandDesc, int seed, double mean);

/* A count (degree of freedom, k) below 1 sends an ERROR and asks the host to
 * "exit"; the call still returns a value. The real chi-square and t draw
 * from the host generator. */
int VXR_dist_chi_square(VXR_RandomDesc* pRandDesc, int* pSeed, int dof);
int VXR_dist2_chi_square(VXR_RandomDesc* pRandDesc, int seed, int dof);
double VXR_rdist_chi_square(VXR_RandomDesc* pRandDesc, int* pSeed, double dof);
double VXR_rdist2_chi_square(VXR_RandomDesc* pRandDesc, int seed, double dof);
int VXR_dist_t(VXR_RandomDesc* pRandDesc, int* pSeed, int dof);
int VXR_dist2_t(VXR_RandomDesc* pRandDesc, int seed, int dof);
double VXR_rdist_t(VXR_RandomDesc* pRandDesc, int* pSeed, double dof);
double VXR_rdist2_t(VXR_RandomDesc* pRandDesc, int seed, double dof);
int VXR_dist_erlang(VXR_RandomDesc* pRandDesc, int* pSeed, int k, int mean);
int VXR_dist2_erlang(VXR_RandomDesc* pRandDesc, int seed, int k, int mean);
double VXR_rdist_erlang(VXR_RandomDesc* pRandDesc, int* pSeed, double k, double mean);
double VXR_rdist2_erlang(VXR_RandomDesc* pRandDesc, int seed, double k, double mean);

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
typedef struct s_VXR_OpBranch_idt VXR_OpBranch_idt;
typedef struct s_VXR_OpBranch_delay VXR_OpBranch_delay;
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

/* Integral operators idt and idtmod: one branch; the SetArg form follows the
 * call's arguments (2: F; 3: F, ic; 4: F, ic, assert; Mod: idtmod). */
VXR_OpBranch_idt* VXR_createOpBranch_idt(const char* name, VXR_DeviceInst* parent);
/* argCount VXR_StateVar* arguments follow: the variables the integrand reads. */
void VXR_idtSetArgInfo(VXR_OpBranch_idt* op, int argCount, ...);
void VXR_idtFinalizeTopology(VXR_OpBranch_idt* op, void* pCallbackInfo);
void VXR_idtSetStamp(VXR_OpBranch_idt* op, void* pCallbackInfo);
void* VXR_getDerivDoubletOpBranch_idt(VXR_OpBranch_idt* op, VXR_StateVar* svRhsPlus, VXR_StateVar* svRhsMinus,
                                      VXR_StampTargetE target, VXR_DepTypeE dep, void* pCallbackInfo);
VXR_StateVar* VXR_getBranchVar_idt(VXR_OpBranch_idt* op);
void VXR_idtSetArg2(VXR_OpBranch_idt* op, double F, VXR_ContribLoader* ldr);
void VXR_idtSetArg3(VXR_OpBranch_idt* op, double F, double icVal, VXR_ContribLoader* ldr);
void VXR_idtSetArg4(VXR_OpBranch_idt* op, double F, double icVal, double assertVal, VXR_ContribLoader* ldr);
void VXR_idtSetArgMod(VXR_OpBranch_idt* op, double F, double icVal, double modVal, double offsetVal, int sv_option,
                      VXR_ContribLoader* ldr);
void VXR_idtSetArg_dwrt(VXR_OpBranch_idt* op, void* pDoublet, double val, VXR_ContribLoader* ldr);
void VXR_idtSetArgIC_dwrt(VXR_OpBranch_idt* op, void* pDoublet, double val, VXR_ContribLoader* ldr);
/* The operator's output value. */
double VXR_IBR_idt(VXR_OpBranch_idt* op, VXR_ContribLoader* ldr);
void VXR_idtGenericLoad(VXR_OpBranch_idt* op, VXR_ContribLoader* ldr);
void VXR_idtGenericLoadRHS(VXR_OpBranch_idt* op, VXR_ContribLoader* ldr);
void VXR_idtAcceptTimePoint(VXR_OpBranch_idt* op, VXR_ContribLoader* ldr);
void* VXR_idtSaveState(VXR_OpBranch_idt* op);
void VXR_idtRestoreState(VXR_OpBranch_idt* op, void* state);
void VXR_idtReset(VXR_OpBranch_idt* op);
void VXR_addNoiseForOp_idt(VXR_NoiseSrc* pSrc, VXR_OpBranch_idt* op, double coeff, VXR_ContribLoader* ldr);
#if VXR_REVISION != 142
void serialize_idtState(VXR_GenericOperatorState* state, FILE* f, VXR_SrlzDirE* pDir);
void VXR_reportNoiseContribForOp_idt(VXR_OpBranch_idt* op, int noiseSrcNum, void* pCallbackInfo);
void VXR_destroyOpBranch_idt(VXR_OpBranch_idt* op);
#endif

/* Absolute delay: the row y = F(t - delay), the history kept by the host's
 * delay object. */
VXR_OpBranch_delay* VXR_createOpBranch_delay(const char* name, VXR_DeviceInst* parent);
void VXR_delayFinalizeTopology(VXR_OpBranch_delay* op, void* pCallbackInfo);
void VXR_delaySetStamp(VXR_OpBranch_delay* op, void* pCallbackInfo);
void* VXR_getDerivDoubletOpBranch_delay(VXR_OpBranch_delay* op, VXR_StateVar* svRhsPlus, VXR_StateVar* svRhsMinus,
                                        VXR_StampTargetE target, VXR_DepTypeE dep, void* pCallbackInfo);
VXR_StateVar* VXR_getBranchVar_delay(VXR_OpBranch_delay* op);
void VXR_delaySetArg(VXR_OpBranch_delay* pOp, double F, double delay, double maxDelay, VXR_ContribLoader* ldr);
void VXR_delaySetArg_dwrt(VXR_OpBranch_delay* op, void* doublet, double dval, VXR_ContribLoader* ldr);
void VXR_delayGenericLoad(VXR_OpBranch_delay* op, VXR_ContribLoader* ldr);
void VXR_delayGenericLoadRHS(VXR_OpBranch_delay* op, VXR_ContribLoader* ldr);
void VXR_delayAcceptTimePoint(VXR_OpBranch_delay* op, VXR_ContribLoader* ldr);
void* VXR_delaySaveState(VXR_OpBranch_delay* op);
void VXR_delayRestoreState(VXR_OpBranch_delay* op, void* state);
void VXR_delayReset(VXR_OpBranch_delay* op);
void VXR_addNoiseForOp_delay(VXR_NoiseSrc* pSrc, VXR_OpBranch_delay* op, double coeff, VXR_ContribLoader* ldr);
#if VXR_REVISION != 142
void VXR_reportNoiseContribForOp_delay(VXR_OpBranch_delay* op, int noiseSrcNum, void* pCallbackInfo);
void VXR_destroyOpBranch_delay(VXR_OpBranch_delay* op);
#endif


#if VXR_REVISION != 142
typedef struct s_VXR_OpBranch_transition VXR_OpBranch_transition;
typedef struct s_VXR_OpBranch_slew VXR_OpBranch_slew;

/* Transition operator computed in the library: after each SetArg the caller
 * reads the record's _val and _derivCoeff. The accept schedules input changes
 * and asks the host to step onto the corners of the waveform (1.87: bound
 * steps; 1.60: absolute breakpoints). */
VXR_OpBranch_transition* VXR_createOpBranch_transition(const char* name, VXR_DeviceInst* parent,
                                                       double defaultTransition);
void VXR_transitionSetArg(VXR_OpBranch_transition* pOp, double F, double delay, double riseTime, double fallTime,
                          double timeTol, VXR_ContribLoader* ldr);
void VXR_transitionAcceptTimePoint(VXR_OpBranch_transition* op, VXR_ContribLoader* ldr);
void* VXR_transitionSaveState(VXR_OpBranch_transition* op);
/* A NULL state changes nothing. */
void VXR_transitionRestoreState(VXR_OpBranch_transition* op, void* state);
void VXR_transitionReset(VXR_OpBranch_transition* op);
void VXR_destroyOpBranch_transition(VXR_OpBranch_transition* op);
/* No branch variable, no handles, no noise: these do nothing. */
void VXR_transitionFinalizeTopology(VXR_OpBranch_transition* op, void* pCallbackInfo);
void VXR_transitionSetStamp(VXR_OpBranch_transition* op, void* pCallbackInfo);
void VXR_transitionGenericLoad(VXR_OpBranch_transition* op, VXR_ContribLoader* ldr);
void VXR_transitionGenericLoadRHS(VXR_OpBranch_transition* op, VXR_ContribLoader* ldr);
void VXR_reportNoiseContribForOp_transition(VXR_OpBranch_transition* op, int noiseSrcNum, void* pCallbackInfo);
void VXR_addNoiseForOp_transition(VXR_NoiseSrc* pSrc, VXR_OpBranch_transition* op, double coeff,
                                  VXR_ContribLoader* ldr);
/* The host's opaque pointer on a transition state record (an operator's _pTransitionState). */
void VXR_setTransitionCustomInfo(void* state, void* info);
void* VXR_getTransitionCustomInfo(void* state);

/* Slew operator: the output follows the input except where it would move
 * faster than posSlew (> 0) or negSlew (< 0) per unit time. */
VXR_OpBranch_slew* VXR_createOpBranch_slew(const char* name, VXR_DeviceInst* parent);
void VXR_slewSetArg(VXR_OpBranch_slew* pOp, double F, double posSlew, double negSlew, VXR_ContribLoader* ldr);
void VXR_slewAcceptTimePoint(VXR_OpBranch_slew* op, VXR_ContribLoader* ldr);
void* VXR_slewSaveState(VXR_OpBranch_slew* op);
/* A NULL state changes nothing. */
void VXR_slewRestoreState(VXR_OpBranch_slew* op, void* state);
void VXR_slewReset(VXR_OpBranch_slew* op);
void VXR_destroyOpBranch_slew(VXR_OpBranch_slew* op);
void VXR_slewFinalizeTopology(VXR_OpBranch_slew* op, void* pCallbackInfo);
void VXR_slewSetStamp(VXR_OpBranch_slew* op, void* pCallbackInfo);
void VXR_slewGenericLoad(VXR_OpBranch_slew* op, VXR_ContribLoader* ldr);
void VXR_slewGenericLoadRHS(VXR_OpBranch_slew* op, VXR_ContribLoader* ldr);
void VXR_reportNoiseContribForOp_slew(VXR_OpBranch_slew* op, int noiseSrcNum, void* pCallbackInfo);
void VXR_addNoiseForOp_slew(VXR_NoiseSrc* pSrc, VXR_OpBranch_slew* op, double coeff, VXR_ContribLoader* ldr);
#endif

#if VXR_REVISION != 142
/* Analog events. Initial and final step events fire where the loader's
 * analysis mask meets theirs (no names: every analysis) and the loader
 * reports that step. */
VXR_EventDesc* VXR_createSimEvent_initial_step(VXR_DeviceInst* pParent, int argCount, ...);
VXR_EventDesc* VXR_createSimEvent_final_step(VXR_DeviceInst* pParent, int argCount, ...);
int VXR_eventSignal(VXR_EventDesc* pEventDesc, VXR_ContribLoader* ldr);
/* Crossing and above events are the host's; these pass the arguments through. */
VXR_EventDesc* VXR_createSimEvent_cross(VXR_DeviceInst* pParent);
VXR_EventDesc* VXR_createSimEvent_above(VXR_DeviceInst* pParent);
int VXR_crossEventSignal(VXR_EventDesc* pEventDesc, double F, double dir, double timeTol, double exprTol,
                         double enableVal, int derivArraySize, StateVarPairT* derivStateVars, double* derivVals,
                         unsigned* derivIndices, double Foffset, VXR_CrossArgTypeE Ftype, int AMS_index,
                         VXR_ContribLoader* ldr);
int VXR_aboveEventSignal(VXR_EventDesc* pEventDesc, double F, double dir, double timeTol, double exprTol,
                         double enableVal, int derivArraySize, StateVarPairT* derivStateVars, double* derivVals,
                         unsigned* derivIndices, double Foffset, VXR_CrossArgTypeE Ftype, int AMS_index,
                         VXR_ContribLoader* ldr);
void VXR_acceptSimEvent_cross(VXR_EventDesc* pEventDesc, VXR_ContribLoader* ldr);
void VXR_acceptSimEvent_above(VXR_EventDesc* pEventDesc, VXR_ContribLoader* ldr);
void VXR_resetSimEvent_cross(VXR_EventDesc* pEventDesc);
void VXR_resetSimEvent_above(VXR_EventDesc* pEventDesc);
void* VXR_saveSimEvent_cross(VXR_EventDesc* pEventDesc);
void VXR_restoreSimEvent_cross(VXR_EventDesc* pEventDesc, void* state);
/* Timer computed in the library: 1 when a tick fires at the present point;
 * the accept asks the host to step onto the next tick. */
VXR_EventDesc* VXR_createSimEvent_timer(VXR_DeviceInst* pParent);
int VXR_timerEventSignal(VXR_EventDesc* pEventDesc, double startTime, double period, double timeTol,
                         double enableVal, VXR_ContribLoader* ldr);
void VXR_acceptSimEvent_timer(VXR_EventDesc* pEventDesc, VXR_ContribLoader* ldr);
void VXR_resetSimEvent_timer(VXR_EventDesc* pEventDesc);

/* Time of the last zero crossing (dir > 0 rising, < 0 falling, 0 either),
 * interpolated between accepted points; -1.0 while there is none. */
typedef struct s_VXR_LastCrossing VXR_LastCrossing;
VXR_LastCrossing* VXR_createLastCrossing(VXR_DeviceInst* pParent);
void VXR_resetLastCrossing(VXR_LastCrossing* p);
double VXR_LastCrossingVal(VXR_LastCrossing* p, double F, double dir, VXR_ContribLoader* ldr);
void VXR_acceptLastCrossing(VXR_LastCrossing* p, VXR_ContribLoader* ldr);
void VXR_serializeLastCrossing(VXR_LastCrossing* p, FILE* f, VXR_SrlzDirE* pDir);
#endif

#if VXR_REVISION != 142
/* Z-domain filter operator (zi_nd, zi_np, zi_zd, zi_zp by the two form flags);
 * revision 1.60 computes the samples but loads no output. */
typedef struct s_VXR_OpBranch_zi VXR_OpBranch_zi;
VXR_OpBranch_zi* VXR_createOpBranch_zi(const char* name, VXR_DeviceInst* pParent, int numerZeroForm,
                                       int denomPoleForm, double defaultTransition);
void VXR_ziInitArrayArg(VXR_OpBranch_zi* pOp, VXR_Array* pNumerator, VXR_Array* pDenominator);
void VXR_ziFinalizeTopology(VXR_OpBranch_zi* pOp, void* pCallbackInfo);
void VXR_ziSetStamp(VXR_OpBranch_zi* pOp, void* pCallbackInfo);
void* VXR_getDerivDoubletOpBranch_zi(VXR_OpBranch_zi* pOp, VXR_StateVar* svRhsPlus, VXR_StateVar* svRhsMinus,
                                     VXR_StampTargetE target, VXR_DepTypeE dep, void* pCallbackInfo);
VXR_StateVar* VXR_getBranchVar_zi(VXR_OpBranch_zi* pOp);
void VXR_ziSetArg(VXR_OpBranch_zi* pOp, double F, double T, double tau, double t0, VXR_ContribLoader* ldr);
void VXR_ziSetArg_dwrt(VXR_OpBranch_zi* pOp, void* pDoublet, double val, VXR_ContribLoader* ldr);
void VXR_ziGenericLoad(VXR_OpBranch_zi* pOp, VXR_ContribLoader* ldr);
void VXR_ziGenericLoadRHS(VXR_OpBranch_zi* pOp, VXR_ContribLoader* ldr);
void VXR_ziAcceptTimePoint(VXR_OpBranch_zi* pOp, VXR_ContribLoader* ldr);
void* VXR_ziSaveState(VXR_OpBranch_zi* pOp);
void VXR_ziRestoreState(VXR_OpBranch_zi* pOp, void* state);
void VXR_ziReset(VXR_OpBranch_zi* pOp);
void VXR_reportNoiseContribForOp_zi(VXR_OpBranch_zi* pOp, int noiseSrcNum, void* pCallbackInfo);
void VXR_addNoiseForOp_zi(VXR_NoiseSrc* pSrc, VXR_OpBranch_zi* pOp, double coeff, VXR_ContribLoader* ldr);
void VXR_destroyOpBranch_zi(VXR_OpBranch_zi* pOp);
/* Coefficient preparation: arrays to polynomials in z^-1, leading zeros
 * removed; errors go to the host as ERROR messages and "exit". */
void VXR_ziComputeCoeffs(VXR_OpBranch_zi* pOp);
void VXR_ziConvertToPoly(double* coeffs, int K, VXR_SimInterface* pInterface, VXR_DeviceInst* pParent,
                         const char* id, const char* opName);
#endif

#if VXR_REVISION == 142
/* Revision 1.42 transition and slew: branches whose waveform the host's
 * transition and slew objects compute and deposit into the branch row. */
typedef struct s_VXR_OpBranch_transition VXR_OpBranch_transition;
typedef struct s_VXR_OpBranch_slew VXR_OpBranch_slew;
typedef struct s_VXR_OpBranch_zi VXR_OpBranch_zi;
typedef struct s_ziState ziState;

VXR_OpBranch_transition* VXR_createOpBranch_transition(const char* name, VXR_DeviceInst* pParent,
                                                       double defaultTransition);
void VXR_transitionFinalizeTopology(VXR_OpBranch_transition* pOp, void* pCallbackInfo);
void VXR_transitionSetStamp(VXR_OpBranch_transition* pOp, void* pCallbackInfo);
void* VXR_getDerivDoubletOpBranch_transition(VXR_OpBranch_transition* pOp, VXR_StateVar* svRhsPlus,
                                             VXR_StateVar* svRhsMinus, VXR_StampTargetE target, VXR_DepTypeE dep,
                                             void* pCallbackInfo);
/* Rise and fall times not above 0 take the default: defaultTransition when
 * positive, else 10 minimum steps when the loader has a positive one, else 0. */
void VXR_transitionSetArg(VXR_OpBranch_transition* pOp, double F, double delay, double riseTime, double fallTime,
                          double timeTol, VXR_ContribLoader* ldr);
void VXR_transitionSetArg_dwrt(VXR_OpBranch_transition* pOp, void* pDoublet, double dval, VXR_ContribLoader* ldr);
void VXR_transitionGenericLoad(VXR_OpBranch_transition* pOp, VXR_ContribLoader* ldr);
void VXR_transitionGenericLoadRHS(VXR_OpBranch_transition* pOp, VXR_ContribLoader* ldr);
/* A loader without the accept member is skipped. */
void VXR_transitionAcceptTimePoint(VXR_OpBranch_transition* pOp, VXR_ContribLoader* ldr);
VXR_StateVar* VXR_getBranchVar_transition(VXR_OpBranch_transition* pOp);
void* VXR_transitionSaveState(VXR_OpBranch_transition* pOp);
/* The saved state stays the caller's; a state of another kind stops the program. */
void VXR_transitionRestoreState(VXR_OpBranch_transition* pOp, void* pOpState);
void VXR_transitionReset(VXR_OpBranch_transition* pOp);
void VXR_addNoiseForOp_transition(VXR_NoiseSrc* pSrc, VXR_OpBranch_transition* pOp, double coeff,
                                  VXR_ContribLoader* ldr);

VXR_OpBranch_slew* VXR_createOpBranch_slew(const char* name, VXR_DeviceInst* pParent);
void VXR_slewFinalizeTopology(VXR_OpBranch_slew* pOp, void* pCallbackInfo);
void VXR_slewSetStamp(VXR_OpBranch_slew* pOp, void* pCallbackInfo);
void* VXR_getDerivDoubletOpBranch_slew(VXR_OpBranch_slew* pOp, VXR_StateVar* svRhsPlus, VXR_StateVar* svRhsMinus,
                                       VXR_StampTargetE target, VXR_DepTypeE dep, void* pCallbackInfo);
VXR_StateVar* VXR_getBranchVar_slew(VXR_OpBranch_slew* pOp);
void VXR_slewSetArg(VXR_OpBranch_slew* pOp, double F, double posSlew, double negSlew, VXR_ContribLoader* ldr);
void VXR_slewSlewArg_dwrt(VXR_OpBranch_slew* pOp, void* pDoublet, double dval, VXR_ContribLoader* ldr);
void VXR_slewGenericLoad(VXR_OpBranch_slew* pOp, VXR_ContribLoader* ldr);
void VXR_slewGenericLoadRHS(VXR_OpBranch_slew* pOp, VXR_ContribLoader* ldr);
void VXR_slewAcceptTimePoint(VXR_OpBranch_slew* pOp, VXR_ContribLoader* ldr);
void VXR_slewReset(VXR_OpBranch_slew* pOp);
void* VXR_slewSaveState(VXR_OpBranch_slew* pOp);
void VXR_slewRestoreState(VXR_OpBranch_slew* pOp, void* pOpState);
void VXR_addNoiseForOp_slew(VXR_NoiseSrc* pSrc, VXR_OpBranch_slew* pOp, double coeff, VXR_ContribLoader* ldr);

/* z-domain filters (zi_nd, zi_np, zi_zd, zi_zp by the two form flags): the
 * input sampled at accepted points from t0 (or T) every T, the output carried
 * by an embedded transition with tau as rise and fall time. */
VXR_OpBranch_zi* VXR_createOpBranch_zi(const char* name, VXR_DeviceInst* pParent, VXR_Array* pNumerator,
                                       VXR_Array* pDenominator, int numerZeroForm, int denomPoleForm,
                                       double defaultTransition);
void VXR_ziFinalizeTopology(VXR_OpBranch_zi* pOp, void* pCallbackInfo);
void VXR_ziSetStamp(VXR_OpBranch_zi* pOp, void* pCallbackInfo);
void* VXR_getDerivDoubletOpBranch_zi(VXR_OpBranch_zi* pOp, VXR_StateVar* svColPlus, VXR_StateVar* svColMinus,
                                     VXR_StampTargetE target, VXR_DepTypeE dep, void* pCallbackInfo);
VXR_StateVar* VXR_getBranchVar_zi(VXR_OpBranch_zi* pOp);
void VXR_ziSetArg(VXR_OpBranch_zi* pOp, double F, double T, double tau, double t0, VXR_ContribLoader* ldr);
void VXR_ziSetArg_dwrt(VXR_OpBranch_zi* pOp, void* pDoublet, double val, VXR_ContribLoader* ldr);
void VXR_ziGenericLoad(VXR_OpBranch_zi* pOp, VXR_ContribLoader* ldr);
void VXR_ziGenericLoadRHS(VXR_OpBranch_zi* pOp, VXR_ContribLoader* ldr);
void VXR_ziAcceptTimePoint(VXR_OpBranch_zi* pOp, VXR_ContribLoader* ldr);
void VXR_ziReset(VXR_OpBranch_zi* pOp);
ziState* VXR_ziSaveState(VXR_OpBranch_zi* pOp);
void VXR_ziRestoreState(VXR_OpBranch_zi* pOp, ziState* pOpState);
void VXR_addNoiseForOp_zi(VXR_NoiseSrc* pSrc, VXR_OpBranch_zi* pOp, double coeff, VXR_ContribLoader* ldr);
/* Releases a saved filter state with its history copies and, through the
 * host table, its nested transition state. */
void VXR_ziFreeState(ziState* pState, VXR_SimInterface* pSimInterface);
/* Coefficient preparation: arrays (or root lists) to polynomials in z^-1,
 * leading zeros removed; errors are ERROR messages followed by "exit". */
void VXR_ziComputeCoeffs(VXR_OpBranch_zi* pOp);
void VXR_ziNormalizeCoeffs(VXR_OpBranch_zi* pOp);
void VXR_ziConvertToPoly(double* coeffs, int K, VXR_SimInterface* pSimInterface, VXR_DeviceInst* pParent,
                         const char* id, const char* opName);
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
