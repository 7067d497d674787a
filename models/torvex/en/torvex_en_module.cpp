// Library records: version, manifest, module descriptor, discipline and
// natures, and the small slots that touch only the private record.
#include "torvex_en.h"

// The Windows libraries compute in SSE2 double precision, as the Linux ones.
#if defined(_WIN32) && !defined(__SSE2_MATH__)
#error "build the Windows libraries with -msse2 -mfpmath=sse"
#endif

#ifndef TORVEX_DISCIPLINES_PATH
#define TORVEX_DISCIPLINES_PATH "disciplines.vams"
#endif

namespace torvex_en {
namespace {

// Descriptor rows in sorted order, built from the parameter table.
struct ParamDescTable {
    VXR_ParamDesc rows[kNumParams + 1];
};
// Revision 1.60 rows carry the location twice.
template <class Row>
constexpr Row descRow(const char* name, VXR_ParamTypeE type, int location)
{
    Row r{};
    r.name = name;
    r.paramType = type;
    r.paramLocation = location;
    if constexpr (requires { r.paramLocation2; }) r.paramLocation2 = location;
    return r;
}
constexpr ParamDescTable makeParamDescTable()
{
    ParamDescTable t{};
    for (const ParamRow& p : kParams)
        t.rows[p.index] = descRow<VXR_ParamDesc>(p.name, p.type == kReal ? VXR_REAL_PARAM : VXR_INT_PARAM, p.location);
    t.rows[kNumParams] = descRow<VXR_ParamDesc>(nullptr, VXR_INVALID_PARAM, 0);
    return t;
}
constinit ParamDescTable ParamDescArray = makeParamDescTable();

struct TerminalNameTable {
    const char* names[kNumTerminals + 1];
};
constexpr TerminalNameTable makeTerminalNames()
{
    TerminalNameTable t{};
    for (int k = 0; k < kNumTerminals; ++k) t.names[k] = kTerminalNames[k];
    return t;
}
constinit TerminalNameTable TerminalNames = makeTerminalNames();
// (n + 1) records of three ints, all zero: every terminal is scalar.
constinit const int TerminalWidths[(kNumTerminals + 1) * 3] = {};
constinit const char* ChildModuleDefNames[1] = {nullptr};
constinit VXR_OutVarDesc OutVarDescArray[1] = {{nullptr, VXR_OUT_INVALID, nullptr, nullptr, -1}};

constinit VXR_NatureDescriptor Nature_Voltage = {
    "Voltage", 51, TORVEX_DISCIPLINES_PATH, 1e-6, "V", "V", "Flux", nullptr, 0, nullptr, nullptr, 0, nullptr, nullptr,
};
constinit VXR_NatureDescriptor Nature_Current = {
    "Current", 26, TORVEX_DISCIPLINES_PATH, 1e-12, "I", "A", "Charge", nullptr, 0, nullptr, nullptr, 0, nullptr, nullptr,
};

constinit const VXR_LibraryVersion libraryVersion = VXR_LIBRARY_VERSION_RECORD;

// The descriptor of this revision: its header words, the slots both
// revisions share, and the destroy slot where the layout has one.
template <class Desc>
constexpr Desc makeModuleInfo()
{
    Desc d{};
    d.moduleName = Rev::kModuleName;
    d.numOfParams = kNumParams;
    d.paramDescArray = ParamDescArray.rows;
    d.numOfTerminals = kNumTerminals;
    d.terminalNames = TerminalNames.names;
    d.terminalWidths = TerminalWidths;
    d.numOfTerminalsToo = kNumTerminals;
    d.numOfChildModuleDefs = 0;
    d.childModuleDefNames = ChildModuleDefNames;
    d.numOfAC_Stims = 0;
    d.numOfOutVars = 0;
    d.outVarDescArray = OutVarDescArray;
    d.algebraicModule = 1;
    d.pCreateInstance = createInst;
    d.pFinalizeTopology = finalizeAnalogTopology;
    d.pSetStamp = setAnalogStamp;
    d.pGenLoad = genericAnalogLoad;
    d.pGenLoadRHS = genericAnalogLoadRHS;
    d.pDoStrobe = doAnalogStrobe;
    d.pSetMemoryStates = setMemoryStates;
    d.pResetMemoryStates = resetMemoryStates;
    d.pTranAcceptPoint = tranAcceptPoint;
    d.pModifyRealParam = modifyRealParam;
    d.pModifyIntParam = modifyIntParam;
    d.pResetParameters = setParameters;
    d.pGetRealParam = getRealParam;
    d.pGetIntParam = getIntParam;
    d.pCheckRange = checkRangeAll;
    d.pForceExecInvarCode = forceExecInvarCode;
    d.pGetOutVarInfo = getOutVarInfo;
    d.pGetDeviceState = getDeviceState;
    d.pRestoreDeviceState = restoreDeviceState;
    if constexpr (requires { d.pDestroyDevice; }) d.pDestroyDevice = destroyInst;
    return d;
}

} // namespace

constinit VXR_DisciplineDescriptor Discipline_electrical = {
    "electrical", 75, TORVEX_DISCIPLINES_PATH, &Nature_Voltage, &Nature_Current,
};

constinit VXR_ModuleDescriptor ModuleInfo = makeModuleInfo<VXR_ModuleDescriptor>();

namespace {
constinit VXR_LibraryManifest libraryManifest = {1, &ModuleInfo, {nullptr, nullptr}, vxr_build_id};
} // namespace

void forceExecInvarCode(VXR_DeviceInst* inst, int force)
{
    if (inst == nullptr) return;
    priv(inst)->recompute = force != 0 ? 1 : 0;
}

void getOutVarInfo(VXR_DeviceInst* inst, int n, const VXR_OutVarDesc* descs, VXR_OutVal* vals)
{
    if (inst == nullptr) return;
    torvex_module::outVarInfo(priv(inst)->vars, kRealVars, kNumRealVars, kIntVars, n, descs, vals);
}

} // namespace torvex_en

VXR_DEFINE_LIBRARY_ENTRY_POINTS(torvex_en::libraryVersion, torvex_en::libraryManifest)
