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

/* ---- Runtime arrays and data services ------------------------------------------ */

/* ---- Hierarchy, events and device state ---------------------------------------- */

/* ---- Files and formatted output ------------------------------------------------- */

/* ---- Checked math and derivative functions -------------------------------------- */

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
