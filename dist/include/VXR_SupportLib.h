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
VXR_EXPORT const VXR_LibraryVersion* getLibraryVersion(void);
VXR_EXPORT const VXR_LibraryManifest* getLibraryManifest(void);

/* ---- Loaders: null members, static-check loader, RHS-only copy, query mask -- */

/* ---- Messages, memory and error log ---------------------------------------- */

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

/* ---- Hierarchy, events and device state ---------------------------------------- */

/* ---- Files and formatted output ------------------------------------------------- */

/* ---- Checked math and derivative functions -------------------------------------- */

/* ---- Analog operators ----------------------------------------------------------- */

#ifdef __cplusplus
}
#endif

#endif /* VXR_SUPPORTLIB_H */
