// TORVEX_CORE library records: version, manifest, module descriptor,
// discipline and natures, and the small slots that touch only the private
// record.
#include "torvex_core.h"

#include <iterator>

#ifndef TORVEX_DISCIPLINES_PATH
#define TORVEX_DISCIPLINES_PATH "disciplines.vams"
#endif


namespace torvex_core {
namespace {

// Descriptor rows in sorted order, built from the parameter table.
struct ParamDescTable {
    VXR_ParamDesc rows[kNumParams + 1];
};
constexpr ParamDescTable makeParamDescTable()
{
    ParamDescTable t{};
    for (const ParamRow& p : kParams) {
        VXR_ParamDesc& r = t.rows[p.index];
        r.name = p.name;
        r.paramType = p.type == kReal ? VXR_REAL_PARAM : VXR_INT_PARAM;
        r.paramLocation = p.location;
        r.paramLocation2 = p.location;
    }
    t.rows[kNumParams] = VXR_ParamDesc{nullptr, VXR_INVALID_PARAM, 0, 0};
    return t;
}
constinit ParamDescTable ParamDescArray__module1 = makeParamDescTable();

constinit const char* TerminalNames__module1[kNumTerminals + 1] = {"D", "G", "S", "B", "TINT", "TEXT", nullptr};
constinit const int TerminalWidths__module1[(kNumTerminals + 1) * 3] = {};
constinit const char* ChildModuleDefNames__module1[1] = {nullptr};
constinit VXR_OutVarDesc OutVarDescArray__module1[1] = {{nullptr, VXR_OUT_INVALID, nullptr, nullptr, -1}};

constinit VXR_NatureDescriptor Nature_Voltage = {
    "Voltage", 51, TORVEX_DISCIPLINES_PATH, 1e-6, "V", "V", "Flux", nullptr, 0, nullptr, nullptr, 0, nullptr, nullptr,
};
constinit VXR_NatureDescriptor Nature_Current = {
    "Current", 26, TORVEX_DISCIPLINES_PATH, 1e-12, "I", "A", "Charge", nullptr, 0, nullptr, nullptr, 0, nullptr, nullptr,
};

constinit const VXR_LibraryVersion libraryVersion = VXR_LIBRARY_VERSION_RECORD;

} // namespace

constinit VXR_DisciplineDescriptor Discipline_electrical = {
    "electrical", 75, TORVEX_DISCIPLINES_PATH, &Nature_Voltage, &Nature_Current,
};

constinit VXR_ModuleDescriptor ModuleInfo = {
    .moduleName = "TORVEX_CORE",
    .numOfParams = kNumParams,
    .paramDescArray = ParamDescArray__module1.rows,
    .numOfTerminals = kNumTerminals,
    .terminalNames = TerminalNames__module1,
    .terminalWidths = TerminalWidths__module1,
    .numOfTerminalsToo = kNumTerminals,
    .numOfChildModuleDefs = 0,
    .childModuleDefNames = ChildModuleDefNames__module1,
    .numOfAC_Stims = 0,
    .numOfOutVars = 0,
    .outVarDescArray = OutVarDescArray__module1,
    .numOfDebugSymbolDescs = 0,
    .symbolArray = nullptr,
    .algebraicModule = 1,
    .pCreateInstance = _module1_createInst,
    .pFinalizeTopology = _module1_finalizeAnalogTopology,
    .pSetStamp = _module1_setAnalogStamp,
    .pGenLoad = _module1_genericAnalogLoad,
    .pGenLoadRHS = _module1_genericAnalogLoadRHS,
    .pDoStrobe = _module1_doAnalogStrobe,
    .pSetMemoryStates = _module1_setMemoryStates,
    .pResetMemoryStates = _module1_resetMemoryStates,
    .pTranAcceptPoint = _module1_tranAcceptPoint,
    .pModifyRealParam = _module1_modifyRealParam,
    .pModifyIntParam = _module1_modifyIntParam,
    .pModifyRealArrayParam = nullptr,
    .pModifyIntArrayParam = nullptr,
    .pModifyStringParam = nullptr,
    .pResetParameters = _module1_setParameters,
    .pGetRealParam = _module1_getRealParam,
    .pGetIntParam = _module1_getIntParam,
    .pGetRealArrayParam = nullptr,
    .pGetIntArrayParam = nullptr,
    .pGetStringParam = nullptr,
    .pCheckRange = _module1_checkRangeAll,
    .pForceExecInvarCode = _module1_forceExecInvarCode,
    .pGetOutVarInfo = _module1_getOutVarInfo,
    .pGetDeviceState = _module1_getDeviceState,
    .pRestoreDeviceState = _module1_restoreDeviceState,
    .pDestroyDevice = _module1_destroyInst,
    .pGetDebugInfo = nullptr,
};

namespace {
constinit VXR_LibraryManifest libraryManifest = {1, &ModuleInfo, {nullptr, nullptr}, vxr_build_id};
} // namespace

void _module1_setMemoryStates(VXR_DeviceInst*, VXR_ContribLoader*) {}

void _module1_forceExecInvarCode(VXR_DeviceInst* inst, int force)
{
    if (inst == nullptr) return;
    priv(inst)->recompute = force != 0 ? 1 : 0;
}

void _module1_getOutVarInfo(VXR_DeviceInst* inst, int n, const VXR_OutVarDesc* descs, VXR_OutVal* vals)
{
    if (inst == nullptr) return;
    torvex_module::outVarInfo(priv(inst)->vars, kRealVars, static_cast<int>(std::size(kRealVars)), kIntVars, n,
                              descs, vals);
}

} // namespace torvex_core

VXR_DEFINE_LIBRARY_ENTRY_POINTS(torvex_core::libraryVersion, torvex_core::libraryManifest)
