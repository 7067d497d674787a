// TORVEX_EN (revision 1.60) and TORVEX (revision 1.42) module: one source,
// compiled once per revision. Everything that differs between the two builds
// is a member of RevisionTraits; the record layouts themselves come from the
// interface header of the revision (VXR_REVISION). Internal to the library.
#ifndef TORVEX_EN_H
#define TORVEX_EN_H

#include "VXR_SupportLib.h"
#include "module_slots.h"
#include "torvex_en_params.h"
#include "torvex_en_stamp.h"
#include "torvex_intrinsic.h"

namespace torvex_en {

template <int Revision>
struct RevisionTraits;

template <>
struct RevisionTraits<160> {
    static constexpr const char* kModuleName = "TORVEX_EN";
    static constexpr bool kMonitors = true;       // VIDS, IIDS and the monitor branch
    static constexpr int kNumOperatorStateSlots = 35;
    static constexpr bool kSerializerInState = true; // saved private block: serialiser, zero word
    static constexpr bool kSqrtGuard = true;         // d sqrt(u) at sqrt(u) = 0 divides by FLT_MAX
};

template <>
struct RevisionTraits<142> {
    static constexpr const char* kModuleName = "TORVEX";
    static constexpr bool kMonitors = false;
    static constexpr int kNumOperatorStateSlots = 34;
    static constexpr bool kSerializerInState = false; // saved private block: one zero word
    static constexpr bool kSqrtGuard = false;
};

using Rev = RevisionTraits<VXR_REVISION>;
using RevStamp = Stamp<Rev::kMonitors>;

inline constexpr int kNumTerminals = Rev::kMonitors ? 7 : 5;
inline constexpr int kNumInternalNodes = 21;
inline constexpr int kNumInductors = 6;
// State variables: the internal nodes, the monitor branch, the inductor branches.
inline constexpr int kMonitorBranchSV = kNumInternalNodes;
inline constexpr int kFirstInductorSV = kNumInternalNodes + (Rev::kMonitors ? 1 : 0);
inline constexpr int kNumStateVars = kFirstInductorSV + kNumInductors;
inline constexpr int kGivenBytes = (kNumParams + 7) / 8;
static_assert(kNumStateVars == (Rev::kMonitors ? 28 : 27));

inline constexpr const char* kTerminalNames[7] = {"D", "G", "B", "TINT", "TEXT", "VIDS", "IIDS"};

// Branches in creation order, with their ends; the monitor branch first.
struct BranchDef {
    Node branch, pos, neg;
};
inline constexpr BranchDef kBranches[] = {
    {BR_VIDS, VIDS, GND},   {BR_D1, DFIN2, DFIN1}, {BR_D2, DFIN3, DFIN2}, {BR_D3, D, DFIN3},
    {BR_G1, GFIN2, GFIN1}, {BR_G2, GFIN3, GFIN2}, {BR_G3, G, GFIN3},
};

// Quantities of the analog block that outlive one pass. The evaluation adds
// its fields here; getOutVarInfo reaches them through the index tables below
// (the module declares no output variables).
struct Vars {
    int CHDIR; // channel orientation, +1 or -1
    int DRDIR; // drift orientation, +1 or -1

    // Parameter-only stage (recompute passes): geometry ratios.
    double ncellRatio, typeNcellRatio, lgfRatio, pcellRatio, wvbarGateRatio, wvbarDrainRatio;
    // Thermal resistance and capacitance at the reference temperature (the
    // kernel's, and the resistance over TSCALE).
    double rthCorner, rthRef, rthDevice, cthDevice, rthScaled, cthScaled;
    // Bulk resistance and source capacitance.
    double rpwScaled, csourceScaled;
    // Outer network: pad capacitances and their resistances, shield.
    double cgbFinger, rgbFinger, cdbFinger, rdbFinger, cgbOuter, rgbOuter, cdbOuter, rdbOuter, cgdOuter, cgdInner,
        cggsScaled, rshieldEff;
    // Outer network: line inductances (totals before and after the division
    // by NCELL^2), finger coupling sums, bar corrections, line sections.
    double tzDouble, tzDoubleSq, lgExt, lgExtSq, ldExt, ldExtSq, lgfLenSq;
    double lGateTotal, lDrainTotal, mGateDrainTotal, sumGateNear, sumGateFar, sumDrainNear, sumDrainFar, sumGdNear,
        sumGdFar, fingerIndex, lGateFinger, lDrainFinger, mGdFinger, lGateBarCorr, lDrainBarCorr;
    double lgLine1, lgLine2, lgLine3, ldLine1, ldLine2, ldLine3, mgdLine1, mgdLine2, mgdLine3;
    // Outer network resistances.
    double rsubSpread, rsubEpi, rsubTotal, rsourceScaled, rmetalGate, rmetalGate3, rmetalDrain, rmetalDrain3,
        rpolyGate, reddy, rgLine1, rgLine2, rgLine3, rdLine1, rdLine2, rdLine3;
    // Device temperature and thermal rows (every pass, except those marked).
    double vTintText, vText, tempRise, tDevice, rthT, cthT /* recompute */, rTextGnd /* recompute */,
        tAmb /* recompute */;
    // Monitors and the self-heating power.
    double vdsAbs, powerSum, powerNetworkResistors;
    // Time derivatives of the six operator charges, read back this pass.
    double dQdt[6];
};
inline constexpr double Vars::* kRealVars[] = {nullptr};
inline constexpr int Vars::* kIntVars[] = {&Vars::CHDIR, &Vars::DRDIR};
inline constexpr int kNumRealVars = 0;

// Private record of an instance. Allocated zeroed, so nothing in it is read
// before it is written.
struct Private {
    double realParam[kNumRealParams]; // by real location
    int intParam[kNumIntParams];      // by integer location
    Vars vars;
    torvex::Derived derived; // the intrinsic device's parameter-only quantities
    torvex::TemperatureCache temperatureCache; // the last pass's temperature stage; reset with `derived`
    int recompute;          // nonzero: rerun the parameter-only stage at the next load
    int paramStageDone;     // a load has run the parameter-only stage (its values exist)
    double lastTemperature; // host temperature seen last (kelvin)
    // Stamp handles at the indices of RevStamp.
    void* rhs[RevStamp::kNumRhs];
    void* rhsQ[RevStamp::kNumRhsQ];
    void* jac[RevStamp::kNumJac];
    void* jacQ[RevStamp::kNumJacQ];
    VXR_OpBranch_ddt* op[kNumOps]; // _opddt26 .. _opddt31
    void* ddtDoublet[kNumDdtDoublets];
    unsigned char given[kGivenBytes]; // bit k: parameter of descriptor index k was given
    int topologyDone;                 // nodes, branches and operators exist
    int stamped;                      // handles are valid
};

inline Private* priv(VXR_DeviceInst* inst) { return static_cast<Private*>(inst->pPrivateInfo); }

#define TORVEX_EN_PAR(pr, name) ((pr)->realParam[::torvex_en::realLoc(name)])
#define TORVEX_EN_IPAR(pr, name) ((pr)->intParam[::torvex_en::intLoc(name)])

using torvex_module::givenBit;

// State variable of a stamp node in an instance; NULL for ground, for a node
// the build does not have and for an operator that does not exist.
inline VXR_StateVar* nodeSV(VXR_DeviceInst* inst, const Private* pr, Node n)
{
    if (n == GND) return nullptr;
    if (n <= IIDS) {
        const int port = n - D;
        return port < kNumTerminals ? inst->pPorts[port] : nullptr;
    }
    if (n <= SH) return inst->pStateVars[n - BI2];
    if (n == BR_VIDS) return Rev::kMonitors ? inst->pStateVars[kMonitorBranchSV] : nullptr;
    if (n <= BR_G3) return inst->pStateVars[kFirstInductorSV + (n - BR_D1)];
    return VXR_getBranchVar_ddt(pr->op[n - OP26]);
}

// ---- Static records (torvex_en_module.cpp) -----------------------------------
extern VXR_ModuleDescriptor ModuleInfo;
extern VXR_DisciplineDescriptor Discipline_electrical;

// ---- Entry points ---------------------------------------------------------------
// Parameters (torvex_en_params.cpp).
void modifyRealParam(VXR_DeviceInst* inst, int location, int* rangeViolation, double value);
void modifyIntParam(VXR_DeviceInst* inst, int location, int value, int* rangeViolation);
double getRealParam(VXR_DeviceInst* inst, int location);
int getIntParam(VXR_DeviceInst* inst, int location);
void setParameters(VXR_DeviceInst* inst, int numAssignments, VXR_ParamAssn* assignments);
void checkRangeAll(VXR_DeviceInst* inst, VXR_ErrorLog* log);
void checkArrayParamBounds(VXR_DeviceInst* inst, VXR_ErrorLog* log);

// Instance, topology, stamp, memory and state (torvex_en_instance.cpp).
VXR_DeviceInst* createInst(const char* name, VXR_SimInterface* simIf, VXR_DeviceInst* parent, int nTerms,
                           int (*termWidths)[3], VXR_StateVar** terms, int nAssign, VXR_ParamAssn* assignments);
void finalizeAnalogTopology(VXR_DeviceInst* inst, void* cbInfo);
void setAnalogStamp(VXR_DeviceInst* inst, void* cbInfo);
void setMemoryStates(VXR_DeviceInst* inst, VXR_ContribLoader* loader);
void resetMemoryStates(VXR_DeviceInst* inst);
void tranAcceptPoint(VXR_DeviceInst* inst, VXR_ContribLoader* loader);
void forceExecInvarCode(VXR_DeviceInst* inst, int force);
VXR_DeviceState* getDeviceState(VXR_DeviceInst* inst);
void restoreDeviceState(VXR_DeviceInst* inst, VXR_DeviceState* state);
void destroyInst(VXR_DeviceInst* inst); // 1.60 only in the descriptor
int serializeState(void* state, void* file, int direction);

// Private block of a saved device state.
struct SavedPrivateBlock {
    int (*serialize)(void* state, void* file, int direction); // 1.60; NULL in 1.42
    void* reserved;
};

// Output variables (torvex_en_module.cpp).
void getOutVarInfo(VXR_DeviceInst* inst, int n, const VXR_OutVarDesc* descs, VXR_OutVal* vals);

// Evaluation (torvex_en_eval.cpp): the loads, the strobe pass and the
// zero-bias evaluation that finalizeAnalogTopology runs first.
void genericAnalogLoad(VXR_DeviceInst* inst, VXR_ContribLoader* loader);
void genericAnalogLoadRHS(VXR_DeviceInst* inst, VXR_ContribLoader* loader);
void doAnalogStrobe(VXR_DeviceInst* inst, VXR_ContribLoader* loader);
void staticCheck(VXR_DeviceInst* inst, VXR_ContribLoader* loader);

} // namespace torvex_en

#endif // TORVEX_EN_H
