// LAMBRET pad network: private record and the module's internal interface.
// Shared by the module's translation units and its white-box tests.
#ifndef LAMBRET_MODULE_H
#define LAMBRET_MODULE_H

#include <array>
#include <cstdint>

#include "VXR_SupportLib.h"

namespace lambret {

constexpr int kNumParams = 14;
constexpr int kNumRealParams = 12;
constexpr int kNumIntParams = 2;
constexpr int kNumModuleVars = 8;
constexpr int kNumRhs = 11;
constexpr int kNumRhsQ = 4;
constexpr int kNumJac = 13;
constexpr int kNumJacQ = 4;
constexpr int kNumBranches = 8; // duplicate-flag slots, topology order

// Module variables, alphabetical (index into moduleVars).
enum ModuleVar { I_EXT_N3, I_N2_N1, I_N3_N2, V_BULKINT_BULK, V_EXT_BULKINT, V_N1_INT, V_N2_INT, V_N3_INT };

// Real parameter locations.
enum RealLoc { LOC_ANGLE, LOC_MFACTOR, LOC_XPOS, LOC_YPOS, LOC_CPAD, LOC_LPAD1, LOC_LPAD2, LOC_LPAD3,
               LOC_RPAD1, LOC_RPAD2, LOC_RPAD3, LOC_RPADSUB };
// Integer parameter locations.
enum IntLoc { LOC_HFLIP, LOC_VFLIP };

// State-variable slots of the instance.
enum SvSlot { SV_BULKINT, SV_N1, SV_N2, SV_N3, SV_B3, SV_B1, SV_B2, kNumStateVars };
// Solution unknowns of the network: the three ports, the four internal nodes
// and the three inductor branch currents. NONE stands for "no state variable".
enum Unknown { U_EXT, U_INT, U_BULK, U_BULKINT, U_N1, U_N2, U_N3, U_B3, U_B2, U_B1, kNumUnknowns, U_NONE = -1 };

// Duplicate flags of the inductor branches (index into dupBranch).
enum DupFlag { DUP_B3 = 5, DUP_B1 = 6, DUP_B2 = 7 };

} // namespace lambret

struct PrivateData__module1 {
    double realParams[lambret::kNumRealParams];
    int intParams[lambret::kNumIntParams];
    double moduleVars[lambret::kNumModuleVars];
    int recomputeInvar;
    double lastTemperature;
    void* rhsPairs[lambret::kNumRhs];
    void* rhsPairsQ[lambret::kNumRhsQ];
    void* derivQuartets[lambret::kNumJac];
    void* derivQuartetsQ[lambret::kNumJacQ];
    int amsIndices[4];
    std::uint16_t givenBits;
    unsigned char* dupBranch;
};

inline PrivateData__module1* lambretPrivate(VXR_DeviceInst* inst) {
    return static_cast<PrivateData__module1*>(inst->pPrivateInfo);
}

// State variable of an unknown; NULL for U_NONE or a slot not yet made.
inline VXR_StateVar* lambretStateVar(VXR_DeviceInst* inst, int u) {
    using namespace lambret;
    switch (u) {
    case U_EXT: case U_INT: case U_BULK: return inst->pPorts[u - U_EXT];
    case U_BULKINT: return inst->pStateVars[SV_BULKINT];
    case U_N1: return inst->pStateVars[SV_N1];
    case U_N2: return inst->pStateVars[SV_N2];
    case U_N3: return inst->pStateVars[SV_N3];
    case U_B3: return inst->pStateVars[SV_B3];
    case U_B2: return inst->pStateVars[SV_B2];
    case U_B1: return inst->pStateVars[SV_B1];
    default: return nullptr;
    }
}

// Static data (LAMBRET_descriptor.cpp).
extern VXR_ModuleDescriptor ModuleInfo;
extern VXR_DisciplineDescriptor Discipline_electrical;
extern VXR_DisciplineDescriptor Discipline_logic;
extern VXR_NatureDescriptor Nature_Voltage;
extern VXR_NatureDescriptor Nature_Current;
extern s_AMS_Sizes _module1_AMS_Sizes;
extern const VXR_LibraryVersion libraryVersion;
extern VXR_LibraryManifest libraryManifest;

// Parameters (LAMBRET_params.cpp).
using LambretRealSetter = void (*)(VXR_DeviceInst*, double, int*);
using LambretIntSetter = void (*)(VXR_DeviceInst*, int, int*);
extern const LambretRealSetter _module1_setRealParam[lambret::kNumRealParams];
extern const LambretIntSetter _module1_setIntParam[lambret::kNumIntParams];
extern std::array<VXR_ParamDesc, lambret::kNumParams + 1> ParamDescArray__module1; // rows + terminator
void _module1_modifyRealParam(VXR_DeviceInst*, int location, double value, int* pRangeViolation);
void _module1_modifyIntParam(VXR_DeviceInst*, int location, int value, int* pRangeViolation);
void _module1_setParameters(VXR_DeviceInst*, int numOfAssn, VXR_ParamAssn*);
double _module1_getRealParam(VXR_DeviceInst*, int location);
int _module1_getIntParam(VXR_DeviceInst*, int location);
void _module1_checkRangeAll(VXR_DeviceInst*, VXR_ErrorLog*);
void _module1_forceExecInvarCode(VXR_DeviceInst*, int force);
void _module1_getOutVarInfo(int n, const VXR_OutVarDesc*, VXR_OutVal*, VXR_DeviceInst*, VXR_ContribLoader*);

// Instance, topology and stamp (LAMBRET_instance.cpp).
VXR_DeviceInst* _module1_createInst(const char* name, VXR_SimInterface*, VXR_DeviceInst* parent, int numOfTerms,
                                    int (*termWidth)[3], VXR_StateVar** terms, int numOfAssn, VXR_ParamAssn* assn,
                                    int index, int range);
void _module1_finalizeAnalogTopology(VXR_DeviceInst*, void* pCallbackInfo);
void _module1_createBranches(VXR_DeviceInst*, void* pCallbackInfo);
void _module1_reportNodalInfo(VXR_DeviceInst*);
void _module1_reportTopology(VXR_DeviceInst*);
void _module1_setAnalogStamp(VXR_DeviceInst*, void* pCallbackInfo);
void _module1_doAnalogInitial(VXR_DeviceInst*, VXR_ContribLoader*);
void _module1_setAMS_Indices(VXR_DeviceInst*, int, int, int, int);
void _module1_AMS_GetArraySizes(VXR_DeviceInst*, int);
void _module1_destroyInst(VXR_DeviceInst*);

// Loads and device state (LAMBRET_load.cpp).
void _module1_genericAnalogLoad(VXR_DeviceInst*, VXR_ContribLoader*);
void _module1_genericAnalogLoadRHS(VXR_DeviceInst*, VXR_ContribLoader*);
void _module1_doAnalogStrobe(VXR_DeviceInst*, VXR_ContribLoader*);
void _module1_setMemoryStates(VXR_DeviceInst*, VXR_ContribLoader*);
void _module1_resetMemoryStates(VXR_DeviceInst*);
void _module1_tranAcceptPoint(VXR_DeviceInst*, VXR_ContribLoader*);
VXR_DeviceState* _module1_getDeviceState(VXR_DeviceInst*);
void _module1_restoreDeviceState(VXR_DeviceInst*, VXR_DeviceState*);
void* _serializeState__module1(void* block, FILE* file, void* arg);
// Module variables at zero bias, evaluated through the given loader.
void lambretEvaluateModuleVars(VXR_DeviceInst*, VXR_ContribLoader*);

#endif
