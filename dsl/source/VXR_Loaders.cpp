// The runtime's own loaders: null members, the static-check loader, the
// RHS-only copy of a host loader, the default analysis query mask and the
// time-step request reset.
#include <string.h>

#include "VXR_SupportLib.h"

extern "C" {

// ---- Null members ------------------------------------------------------------

void VXR_NullLoad(int, void**, double*, VXR_ContribLoader* VXR_LDR_INST_PARAM) {}
void VXR_NullLoadRhsAC(VXR_acSrc*, VXR_StateVar*, VXR_StateVar*, double, VXR_ContribLoader*) {}
void VXR_NullLoadDelay(void*, void*, double, double, double, VXR_ContribLoader* VXR_LDR_INST_PARAM) {}
void VXR_NullLoadDelay_dwrt(void*, void*, double, VXR_ContribLoader* VXR_LDR_INST_PARAM) {}
void VXR_NullAcceptDelay(void*, VXR_ContribLoader* VXR_LDR_INST_PARAM) {}
#if VXR_REVISION == 187
void VXR_NullLoadZ_Transform(void*, void*, double, VXR_ContribLoader*, VXR_DeviceInst*) {}
void VXR_NullLoadZ_Transform_dwrt(void*, void*, double, VXR_ContribLoader*, VXR_DeviceInst*) {}
#endif
double VXR_NullGetSol(VXR_StateVar*, VXR_ContribLoader* VXR_LDR_INST_PARAM) { return 0.0; }
int VXR_NullDoNoise(VXR_ContribLoader* VXR_LDR_INST_PARAM) { return 0; }
int VXR_NullDoStrobe(VXR_ContribLoader* VXR_LDR_INST_PARAM) { return 0; }
int VXR_noStrobe(VXR_ContribLoader* VXR_LDR_INST_PARAM) { return 0; }
int VXR_yesStrobe(VXR_ContribLoader* VXR_LDR_INST_PARAM) { return 1; }
void VXR_NullReportDiscontinuity(int, VXR_ContribLoader* VXR_LDR_INST_PARAM) {}
void VXR_NullDoBoundStep(double, VXR_BoundTypeE, VXR_ContribLoader* VXR_LDR_INST_PARAM) {}
void VXR_NullReportCrossViolation(double, VXR_EventDesc*, int, VXR_ContribLoader* VXR_LDR_INST_PARAM) {}
int VXR_NullIsInitialStep(VXR_ContribLoader* VXR_LDR_INST_PARAM) { return 0; }
int VXR_NullIsFinalStep(VXR_ContribLoader* VXR_LDR_INST_PARAM) { return 0; }
double VXR_NullGetTime(VXR_ContribLoader* VXR_LDR_INST_PARAM) { return 0.0; }
double VXR_NullGetFreq(VXR_ContribLoader* VXR_LDR_INST_PARAM) { return 0.0; }
unsigned long VXR_NullGetAnalysisQueryMask(VXR_ContribLoader* VXR_LDR_INST_PARAM) { return 0; }
#if VXR_REVISION != 187
void VXR_NullSetTranBreakPoint(double, VXR_ContribLoader*) {}
void VXR_NullLoadPoleResidue(void*, void*, double, VXR_ContribLoader*) {}
void VXR_NullLoadPoleResidue_dwrt(void*, void*, double, VXR_ContribLoader*) {}
void VXR_NullAcceptPoleResidue(void*, VXR_ContribLoader*) {}
#endif
#if VXR_REVISION == 142
void VXR_NullLoadTransition(void*, void*, double, double, double, double, double, VXR_ContribLoader*) {}
void VXR_NullLoadTransition_dwrt(void*, void*, double, VXR_ContribLoader*) {}
void VXR_NullAcceptTransition(void*, VXR_ContribLoader*) {}
void VXR_NullLoadSlew(void*, void*, double, double, double, VXR_ContribLoader*) {}
void VXR_NullLoadSlew_dwrt(void*, void*, double, VXR_ContribLoader*) {}
void VXR_NullAcceptSlew(void*, VXR_ContribLoader*) {}
#endif

// ---- Analysis query mask ----------------------------------------------------------

namespace {
struct AnalysisBit {
    const char* name;
    unsigned long bit;
};
// Table order decides the first match; "pss" is known to revision 1.87 only.
constexpr AnalysisBit analysisBits[] = {
    {"ac", VXR_ANALYSIS_AC},     {"dc", VXR_ANALYSIS_DC},       {"noise", VXR_ANALYSIS_NOISE},
    {"tran", VXR_ANALYSIS_TRAN}, {"ic", VXR_ANALYSIS_IC},       {"static", VXR_ANALYSIS_STATIC},
    {"nodeset", VXR_ANALYSIS_NODESET}, {"hb", VXR_ANALYSIS_HB}, {"env", VXR_ANALYSIS_ENV},
#if VXR_REVISION == 187
    {"pss", VXR_ANALYSIS_PSS},
#endif
};
} // namespace

unsigned long VXR_DefaultFormAnalysisQueryMask(VXR_SimInterface*, int cnt, ...) {
    unsigned long mask = 0;
    va_list args;
    va_start(args, cnt);
    for (int i = 0; i < cnt; ++i) {
        const char* name = va_arg(args, const char*);
        if (name == NULL) continue;
        for (const AnalysisBit& a : analysisBits) {
            if (strcmp(name, a.name) == 0) {
                mask |= a.bit;
                break;
            }
        }
    }
    va_end(args);
    return mask;
}

// ---- Static-check members --------------------------------------------------------

double staticCheckDummyGetSol(VXR_StateVar*, VXR_ContribLoader* VXR_LDR_INST_PARAM) { return 0.0; }
double staticCheckGetDefault(VXR_DefaultTypeE, VXR_ContribLoader* VXR_LDR_INST_PARAM) { return 0.0; }
int staticCheckInitialStep(VXR_ContribLoader* VXR_LDR_INST_PARAM) { return 1; }
int staticCheckFinalStep(VXR_ContribLoader* VXR_LDR_INST_PARAM) { return 0; }
int staticCheckCrossEventSignal(VXR_EventDesc*, double, double, double, double, double, int, StateVarPairT*,
                                double*, unsigned*, double, VXR_CrossArgTypeE, int,
                                VXR_ContribLoader* VXR_LDR_INST_PARAM) {
    return 0;
}
unsigned long staticCheckQueryMask(VXR_ContribLoader* VXR_LDR_INST_PARAM) {
    return VXR_DefaultFormAnalysisQueryMask(NULL, 2, "dc", "static");
}

// ---- Mixed-signal null loader (1.87) ------------------------------------------------

#if VXR_REVISION == 187
} // extern "C"

namespace {
LogicNumber LogicDefault = {1, 0, 0, 0};

int VXR_D2A_EventSignal_Null(VXR_EventDesc*, double, VXR_ContribLoader*) { return 0; }
int VXR_D2A_IntFromLogic_Null(int, VXR_ContribLoader*) { return 0; }
LogicNumber* VXR_D2A_Logic_Null(int, VXR_ContribLoader*) { return &LogicDefault; }
double VXR_D2A_Real_Null(int, VXR_ContribLoader*) { return 0.0; }
int VXR_D2A_Integer_Null(int, VXR_ContribLoader*) { return 0; }
int VXR_D2A_IntFromLogicElement_Null(VXR_DeviceInst*, VXR_ContribLoader*, int, int, int, ...) { return 0; }
LogicNumber* VXR_D2A_LogicElement_Null(VXR_DeviceInst*, VXR_ContribLoader*, int, int, int, ...) {
    return &LogicDefault;
}
double VXR_D2A_RealElement_Null(VXR_DeviceInst*, VXR_ContribLoader*, int, int, int, ...) { return 0.0; }
int VXR_D2A_IntegerElement_Null(VXR_DeviceInst*, VXR_ContribLoader*, int, int, int, ...) { return 0; }
double VXR_A2D_Null(int, VXR_ContribLoader*) { return 0.0; }
} // namespace

extern "C" {
constinit AMS_ContribLoader DefaultAMS_ContribLoader = {
    VXR_D2A_EventSignal_Null,
    VXR_D2A_IntFromLogic_Null,
    VXR_D2A_Logic_Null,
    VXR_D2A_Real_Null,
    VXR_D2A_Integer_Null,
    VXR_D2A_IntFromLogicElement_Null,
    VXR_D2A_LogicElement_Null,
    VXR_D2A_RealElement_Null,
    VXR_D2A_IntegerElement_Null,
    VXR_A2D_Null,
    NULL, // pA2D_SM
    NULL, // pA2D_SMenv
    0,    // numEnvFreqs
    NULL, // envFreqs
    NULL, // pGetEnvSol
};
#endif

// ---- Static-check loader --------------------------------------------------------------

constinit VXR_ContribLoader VXR_StaticCheckLoader = {
    .pLoaderInfo = NULL,
    .pStrobeLoader = NULL,
    .pLoadRhsPair = VXR_NullLoad,
    .pLoadRhsPairQ = VXR_NullLoad,
    .pLoadDerivQuartet = VXR_NullLoad,
    .pLoadDerivDoublet = VXR_NullLoad,
    .pLoadDerivQuartetQ = VXR_NullLoad,
    .pLoadDerivDoubletQ = VXR_NullLoad,
    .pLoadRhsAC = VXR_NullLoadRhsAC,
    .pLoadDelay = VXR_NullLoadDelay,
    .pLoadDelay_dwrt = VXR_NullLoadDelay_dwrt,
    .pAcceptDelay = NULL,
#if VXR_REVISION == 187
    .pLoadZ_Transform = NULL,
    .pLoadZ_Transform_dwrt = NULL,
#endif
#if VXR_REVISION == 142
    .pLoadTransition = VXR_NullLoadTransition,
    .pLoadTransition_dwrt = VXR_NullLoadTransition_dwrt,
    .pAcceptTransition = NULL,
    .pLoadSlew = VXR_NullLoadSlew,
    .pLoadSlew_dwrt = VXR_NullLoadSlew_dwrt,
    .pAcceptSlew = NULL,
#endif
#if VXR_REVISION != 187
    .pLoadPoleResidue = NULL,
    .pLoadPoleResidue_dwrt = NULL,
    .pAcceptPoleResidue = NULL,
#endif
    .pGetSol = staticCheckDummyGetSol,
    .pDoNoise = NULL,
    .pDoStrobe = VXR_noStrobe,
    .pDoDisplay = VXR_noStrobe,
    .pReportDiscontinuity = VXR_NullReportDiscontinuity,
#if VXR_REVISION != 187
    .pSetTranBreakPoint = VXR_NullSetTranBreakPoint,
#endif
    .pDoBoundStep = VXR_NullDoBoundStep,
    .pCrossEventSignal = staticCheckCrossEventSignal,
    .pAcceptCross = NULL,
    .pReportCrossViolation = NULL,
    .pIsInitialStep = staticCheckInitialStep,
    .pIsFinalStep = staticCheckFinalStep,
    .pGetTime = VXR_NullGetTime,
    .pGetMinTimeStep = NULL,
    .pGetFreq = VXR_NullGetFreq,
#if VXR_REVISION == 187
    .pGetSourceLevel = NULL,
#endif
    .pGetDefault = staticCheckGetDefault,
#if VXR_REVISION == 187
    .pInitTimeControlData = NULL,
#endif
    .pGetAnalysisQueryMask = staticCheckQueryMask,
#if VXR_REVISION == 187
    .pRequestIntStep = NULL,
    .pAMS = &DefaultAMS_ContribLoader,
#endif
};

#if VXR_REVISION == 187
// ---- RHS-only copy and time-step requests (1.87) ------------------------------------------

VXR_ContribLoader VXR_getPureRhsLoader(const VXR_ContribLoader* ldr) {
    VXR_ContribLoader rhs;
    if (ldr != NULL)
        rhs = *ldr;
    else
        memset(&rhs, 0, sizeof rhs);
    rhs.pLoadDerivQuartet = VXR_NullLoad;
    rhs.pLoadDerivDoublet = VXR_NullLoad;
    rhs.pLoadDerivQuartetQ = VXR_NullLoad;
    rhs.pLoadDerivDoubletQ = VXR_NullLoad;
    rhs.pLoadDelay_dwrt = VXR_NullLoadDelay_dwrt;
    rhs.pLoadZ_Transform_dwrt = VXR_NullLoadZ_Transform_dwrt;
    return rhs;
}

void VXR_InitTimeControlData(VXR_TimeStepRequests* pData) {
    if (pData == NULL) return;
    pData->boundStep = -1.0;
    pData->type = BOUND_BOUNDSTEP;
    pData->crossPoint[0] = -1.0;
    pData->crossPoint[1] = -1.0;
    pData->crossPoint[2] = -1.0;
    pData->order = -999;
}
#endif

} // extern "C"
