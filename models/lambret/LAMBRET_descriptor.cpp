// LAMBRET static module data: natures, disciplines, descriptor, version and
// manifest records, and the two exported entry points.
#include "LAMBRET_listing.h"
#include "LAMBRET_module.h"

constinit VXR_NatureDescriptor Nature_Voltage = {
    .name = "Voltage", .lineNum = 51, .fileName = SourcePath_file0, .abstol = 1e-6, .access = "V", .units = "V",
    .idt_nature = "Flux", .ddt_nature = nullptr, .userStringAttribCnt = 0, .userStringAttribName = nullptr,
    .userStringAttribVal = nullptr, .userRealAttribCnt = 0, .userRealAttribName = nullptr,
    .userRealAttribVal = nullptr};

constinit VXR_NatureDescriptor Nature_Current = {
    .name = "Current", .lineNum = 26, .fileName = SourcePath_file0, .abstol = 1e-12, .access = "I", .units = "A",
    .idt_nature = "Charge", .ddt_nature = nullptr, .userStringAttribCnt = 0, .userStringAttribName = nullptr,
    .userStringAttribVal = nullptr, .userRealAttribCnt = 0, .userRealAttribName = nullptr,
    .userRealAttribVal = nullptr};

constinit VXR_DisciplineDescriptor Discipline_electrical = {.name = "electrical", .lineNum = 75, .fileName = SourcePath_file0,
                                                  .domain = CONTINUOUS_DOMAIN, .potential = &Nature_Voltage,
                                                  .flow = &Nature_Current};

constinit VXR_DisciplineDescriptor Discipline_logic = {.name = "logic", .lineNum = 14, .fileName = SourcePath_file0,
                                             .domain = DISCRETE_DOMAIN, .potential = nullptr, .flow = nullptr};

namespace {

const char* TerminalNames__module1[] = {"EXT", "INT", "BULK", nullptr};
const int TerminalIndices__module1[] = {-1, -2, -3, 0};
const char* ChildModuleDefNames__module1[] = {nullptr};
VXR_OutVarDesc OutVarDescArray__module1[] = {{nullptr, VXR_OUT_INVALID, nullptr, nullptr, -1}};
const NetTypeE TerminalType__module1[] = {CONTINUOUS_NET, CONTINUOUS_NET, CONTINUOUS_NET, UNSPECIFIED_TYPE};
const PortDirectionE TerminalDirections__module1[] = {PORTDIR_INOUT, PORTDIR_INOUT, PORTDIR_INOUT,
                                                      PORTDIR_UNSPECIFIED};
const VXR_DisciplineDescriptor* PortDisciplines__module1[] = {&Discipline_electrical, &Discipline_electrical,
                                                              &Discipline_electrical};
const VXR_DefaultDisciplineType DefaultDisciplines__module1[] = {{ALL_NET, &Discipline_logic}};
int TerminalDigital__module1[] = {0, 0, 0, 0};
char* _module1_D2A_ImportNames[] = {const_cast<char*>("")};
int _module1_D2A_ImportEvents[] = {-1};
D2A_ImportTypeE _module1_D2A_ImportTypes[] = {UNKNOWN_IMPORT_TYPE};

} // namespace

constinit s_AMS_Sizes _module1_AMS_Sizes = {0, 0, 0, 0};

constinit VXR_ModuleDescriptor ModuleInfo = {
    .library = nullptr,
    .moduleName = "LAMBRET",
    .numOfParams = lambret::kNumParams,
    .paramDescArray = ParamDescArray__module1.data(),
    .numOfTerminals = 3,
    .terminalNames = TerminalNames__module1,
    .terminalIndices = TerminalIndices__module1,
    .numOfChildModuleDefs = 0,
    .childModuleDefNames = ChildModuleDefNames__module1,
    .numOfAC_Stims = 0,
    .numOfOutVars = 0,
    .outVarDescArray = OutVarDescArray__module1,
    .terminalDomain = TerminalType__module1,
    .terminalDirections = TerminalDirections__module1,
    .terminalDisciplines = PortDisciplines__module1,
    .numOfDefaultDisciplines = 1,
    .pDefaultDisciplines = DefaultDisciplines__module1,
    .terminalDigital = TerminalDigital__module1,
    .VerilogSource = Source_file2,
    .fileName = SourcePath_file2,
    .isDigital = 0,
    .hasDigital = 0,
    .isConnectModule = 0,
    .numOfDebugSymbolDescs = 0,
    .symbolArray = nullptr,
    .algebraicModule = 1,
    .pCreateInstance = _module1_createInst,
    .pFinalizeTopology = _module1_finalizeAnalogTopology,
    .pReportNodalInfo = _module1_reportNodalInfo,
    .pReportTopology = _module1_reportTopology,
    .pCreateBranches = _module1_createBranches,
    .pSetStamp = _module1_setAnalogStamp,
    .pExecAnalogInitial = _module1_doAnalogInitial,
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
    .pGatePorts = nullptr,
    .pUpdateGatePorts = nullptr,
    .pExportA2D_Values = nullptr,
    .pSetAMS_Indices = _module1_setAMS_Indices,
    .pAMS_GetArraySizes = _module1_AMS_GetArraySizes,
    .D2A_ImportNames = _module1_D2A_ImportNames,
    .D2A_ImportEvents = _module1_D2A_ImportEvents,
    .D2A_ImportTypes = _module1_D2A_ImportTypes,
    .pAMS_Sizes = &_module1_AMS_Sizes,
    .pGetDeviceState = _module1_getDeviceState,
    .pRestoreDeviceState = _module1_restoreDeviceState,
    .pDestroyDevice = _module1_destroyInst,
    .pGetDebugInfo = nullptr,
};

constinit const VXR_LibraryVersion libraryVersion = VXR_LIBRARY_VERSION_RECORD;

constinit VXR_LibraryManifest libraryManifest = {1, &ModuleInfo, {}, vxr_build_id};

VXR_DEFINE_LIBRARY_ENTRY_POINTS(libraryVersion, libraryManifest)
