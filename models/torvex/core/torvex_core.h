// TORVEX_CORE module: instance and private records, static tables and the
// entry points shared by the module's sources. Internal to the library.
#ifndef TORVEX_CORE_H
#define TORVEX_CORE_H

#include "VXR_SupportLib.h"
#include "module_slots.h"
#include "torvex_core_params.h"
#include "torvex_core_stamp.h"
#include "torvex_intrinsic.h"

namespace torvex_core {

inline constexpr int kNumTerminals = 6;
inline constexpr int kNumInternalNodes = 5;
inline constexpr int kNumOperatorStateSlots = 15; // slot = operator number (7..12 used)
inline constexpr int kGivenBytes = 16;            // 128 given bits, 122 used

inline constexpr const char* kTerminalNames[kNumTerminals] = {"D", "G", "S", "B", "TINT", "TEXT"};
inline constexpr const char* kInternalNodeNames[kNumInternalNodes] = {"CORE_B1", "CORE_B2", "CORE_ID",
                                                                      "IB_DIODE1", "IB_DIODE3"};
// Operator names by position; the number in the name is the device-state slot.
inline constexpr const char* kOpNames[kNumOps] = {"_opddt10", "_opddt11", "_opddt12",
                                                  "_opddt7", "_opddt8", "_opddt9"};
inline constexpr int kOpStateSlot[kNumOps] = {10, 11, 12, 7, 8, 9};

// Quantities of the analog block that outlive one pass: thermal constants of
// the parameter-only group and what the last evaluation (a load or the
// static check) left. getOutVarInfo reaches them through the index tables
// below (the module declares no output variables today).
struct Vars {
    double Rth0;  // thermal resistance at the reference temperature
    double Cth0;  // thermal capacitance at the reference temperature
    double Tdev;  // device temperature (kelvin)
    double PDISS; // dissipated power (watt)
    int CHDIR;    // channel orientation, +1 or -1
    int DRDIR;    // drift orientation, +1 or -1
};
inline constexpr double Vars::* kRealVars[] = {&Vars::Rth0, &Vars::Cth0, &Vars::Tdev, &Vars::PDISS};
inline constexpr int Vars::* kIntVars[] = {&Vars::CHDIR, &Vars::DRDIR};

// Private record of an instance (plain allocation; every field is written by
// createInst or setParameters before it is read).
struct Private {
    double realParam[kNumRealParams]; // by real location
    int intParam[kNumIntParams];      // by integer location
    Vars vars;
    torvex::Derived derived; // parameter-only group of the intrinsic device
    torvex::TemperatureCache temperatureCache; // the last pass's temperature stage; reset with `derived`
    int recompute;          // nonzero: rerun the parameter-only group at the next load
    double lastTemperature; // host temperature seen last (kelvin)
    // Stamp handles, by the indices of torvex_core_stamp.h.
    void* rhs[kNumRhs];
    void* rhsQ[kNumRhsQ];
    void* jac[kNumJac];
    void* jacQ[kNumJacQ];
    VXR_OpBranch_ddt* op[kNumOps]; // by OpPos
    void* ddtDoublet[kNumDdtDoublets];
    unsigned char given[kGivenBytes]; // bit k: parameter of descriptor index k was given
    int topologyDone;                 // nodes and operators exist
    int stamped;                      // handles are valid
};

inline Private* priv(VXR_DeviceInst* inst) { return static_cast<Private*>(inst->pPrivateInfo); }

// Parameter access by name, resolved at compile time:
// TORVEX_PAR(pr, "NCELL"), TORVEX_IPAR(pr, "TYPE").
#define TORVEX_PAR(pr, name) ((pr)->realParam[::torvex_core::realLoc(name)])
#define TORVEX_IPAR(pr, name) ((pr)->intParam[::torvex_core::intLoc(name)])

using torvex_module::givenBit;

// ---- Static records (torvex_core_module.cpp) ---------------------------------
extern VXR_ModuleDescriptor ModuleInfo;
extern VXR_DisciplineDescriptor Discipline_electrical;

// ---- Entry points ---------------------------------------------------------------
// Parameters (torvex_core_params.cpp).
void _module1_modifyRealParam(VXR_DeviceInst* inst, int location, int* rangeViolation, double value);
void _module1_modifyIntParam(VXR_DeviceInst* inst, int location, int value, int* rangeViolation);
double _module1_getRealParam(VXR_DeviceInst* inst, int location);
int _module1_getIntParam(VXR_DeviceInst* inst, int location);
void _module1_setParameters(VXR_DeviceInst* inst, int numAssignments, VXR_ParamAssn* assignments);
void _module1_checkRangeAll(VXR_DeviceInst* inst, VXR_ErrorLog* log);

// Instance, topology, stamp, memory and state (torvex_core_instance.cpp).
VXR_DeviceInst* _module1_createInst(const char* name, VXR_SimInterface* simIf, VXR_DeviceInst* parent, int nTerms,
                                    int (*termWidths)[3], VXR_StateVar** terms, int nAssign,
                                    VXR_ParamAssn* assignments);
void _module1_finalizeAnalogTopology(VXR_DeviceInst* inst, void* cbInfo);
void _module1_setAnalogStamp(VXR_DeviceInst* inst, void* cbInfo);
void _module1_resetMemoryStates(VXR_DeviceInst* inst);
void _module1_tranAcceptPoint(VXR_DeviceInst* inst, VXR_ContribLoader* loader);
VXR_DeviceState* _module1_getDeviceState(VXR_DeviceInst* inst);
void _module1_restoreDeviceState(VXR_DeviceInst* inst, VXR_DeviceState* state);
void _module1_destroyInst(VXR_DeviceInst* inst);
int _serializeState__module1(void* state, void* file, int direction);

// Private block of a saved device state: the serialiser, then a zero word.
struct SavedPrivateBlock {
    int (*serialize)(void* state, void* file, int direction);
    void* reserved;
};

// Small slots (torvex_core_module.cpp).
void _module1_setMemoryStates(VXR_DeviceInst* inst, VXR_ContribLoader* loader);
void _module1_forceExecInvarCode(VXR_DeviceInst* inst, int force);
void _module1_getOutVarInfo(VXR_DeviceInst* inst, int n, const VXR_OutVarDesc* descs, VXR_OutVal* vals);

// Evaluation (torvex_core_eval.cpp): the loads, the parameter-only group and
// the zero-bias evaluation run once by finalizeAnalogTopology.
void _module1_genericAnalogLoad(VXR_DeviceInst* inst, VXR_ContribLoader* loader);
void _module1_genericAnalogLoadRHS(VXR_DeviceInst* inst, VXR_ContribLoader* loader);
void _module1_doAnalogStrobe(VXR_DeviceInst* inst, VXR_ContribLoader* loader);
void evalParamOnly(VXR_DeviceInst* inst, Private* pr);
void evalStaticCheck(VXR_DeviceInst* inst, Private* pr, VXR_ContribLoader* loader);

} // namespace torvex_core

#endif // TORVEX_CORE_H
