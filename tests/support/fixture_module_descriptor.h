// Shared tail of the test fixture modules: the parts every generated module
// frame carries unchanged (empty hooks, output-variable table, descriptor,
// library manifest and entry points). Include it once, at the end of the
// fixture's source, after its own `_module1_*` entry points, its
// createInstance (createInst with index and range, which revisions before 187
// do not pass: they come as 0) and, unless VXR_FRAME_MODIFY_REAL is given,
// setRealParam (modifyRealParam in one argument order for all revisions).
//
// The fixture defines before including:
//   VXR_FRAME_NAME         module name ("fixcap")
//   VXR_FRAME_SOURCE       source file name recorded by revision 187
//   VXR_FRAME_NUM_PARAMS   rows in ParamDescArray__module1 (default kNumParams)
//   VXR_FRAME_NUM_TERMS    terminals (default kNumTerms)
// and may override these descriptor entries (defaults in brackets):
//   VXR_FRAME_MODIFY_REAL  [_module1_modifyRealParam]
//   VXR_FRAME_GET_REAL     [_module1_getRealParam]
//   VXR_FRAME_MODIFY_INT   [nullptr]
//   VXR_FRAME_GET_INT      [nullptr]
//   VXR_FRAME_NODAL_HOOKS  [nullptr, nullptr, nullptr] (187: reportNodalInfo,
//                          reportTopology, createBranches)
// A fixture whose loads are one analogBlock(inst, ldr, full) and whose strobe
// does nothing defines VXR_FRAME_ANALOG_BLOCK for the three slots.
// A fixture whose private record keeps every parameter as a double in
// realParams[row] (through priv(inst)) defines VXR_FRAME_REAL_RECORD, and
// the frame writes setRealParam, _module1_getRealParam and
// _module1_resetParameters (the fixture's _module1_setParameters again).
// With VXR_FRAME_INT_IN_REAL_RECORD as well, integer parameters live there
// too and the frame fills the integer slots: a modify stores the value, a
// get reads it truncated.
#ifndef VXR_FRAME_NAME
#error "define VXR_FRAME_NAME before including fixture_module_descriptor.h"
#endif
#ifndef VXR_FRAME_NUM_PARAMS
#define VXR_FRAME_NUM_PARAMS kNumParams
#endif
#ifndef VXR_FRAME_NUM_TERMS
#define VXR_FRAME_NUM_TERMS kNumTerms
#endif
#ifndef VXR_FRAME_MODIFY_REAL
#define VXR_FRAME_MODIFY_REAL _module1_modifyRealParam
#define VXR_FRAME_WRAP_SET_REAL
#endif
#ifndef VXR_FRAME_GET_REAL
#define VXR_FRAME_GET_REAL _module1_getRealParam
#endif
#ifdef VXR_FRAME_INT_IN_REAL_RECORD
#define VXR_FRAME_MODIFY_INT _module1_modifyIntParam
#define VXR_FRAME_GET_INT _module1_getIntParam
#endif
#ifndef VXR_FRAME_MODIFY_INT
#define VXR_FRAME_MODIFY_INT nullptr
#endif
#ifndef VXR_FRAME_GET_INT
#define VXR_FRAME_GET_INT nullptr
#endif
#ifndef VXR_FRAME_NODAL_HOOKS
#define VXR_FRAME_NODAL_HOOKS nullptr, nullptr, nullptr
#endif

namespace {

#ifdef VXR_FRAME_ANALOG_BLOCK
void _module1_genericAnalogLoad(VXR_DeviceInst* inst, VXR_ContribLoader* ldr) { analogBlock(inst, ldr, true); }
void _module1_genericAnalogLoadRHS(VXR_DeviceInst* inst, VXR_ContribLoader* ldr) { analogBlock(inst, ldr, false); }
void _module1_doAnalogStrobe(VXR_DeviceInst*, VXR_ContribLoader*) {}
#endif

#ifdef VXR_FRAME_REAL_RECORD
void setRealParam(VXR_DeviceInst* inst, int location, double value, int* pRangeViolation) {
    if (location >= 0 && location < VXR_FRAME_NUM_PARAMS) priv(inst)->realParams[location] = value;
    if (pRangeViolation) *pRangeViolation = 0;
}
double _module1_getRealParam(VXR_DeviceInst* inst, int location) {
    return (location >= 0 && location < VXR_FRAME_NUM_PARAMS) ? priv(inst)->realParams[location] : 0.0;
}
void _module1_resetParameters(VXR_DeviceInst* inst, int n, VXR_ParamAssn* assn) { _module1_setParameters(inst, n, assn); }
#endif

#ifdef VXR_FRAME_INT_IN_REAL_RECORD
void _module1_modifyIntParam(VXR_DeviceInst* inst, int location, int value, int* flag) {
    setRealParam(inst, location, value, flag);
}
int _module1_getIntParam(VXR_DeviceInst* inst, int location) {
    return (location >= 0 && location < VXR_FRAME_NUM_PARAMS)
               ? VXR_truncToIntChecked(priv(inst)->realParams[location])
               : 0;
}
#endif

#if VXR_REVISION == 187
VXR_DeviceInst* _module1_createInst(const char* name, VXR_SimInterface* simIf, VXR_DeviceInst* parent, int numOfTerms,
                                    int (*termWidth)[3], VXR_StateVar** terms, int numOfAssn, VXR_ParamAssn* assn,
                                    int index, int range) {
    return createInstance(name, simIf, parent, numOfTerms, termWidth, terms, numOfAssn, assn, index, range);
}
#else
VXR_DeviceInst* _module1_createInst(const char* name, VXR_SimInterface* simIf, VXR_DeviceInst* parent, int numOfTerms,
                                    int (*termWidth)[3], VXR_StateVar** terms, int numOfAssn, VXR_ParamAssn* assn) {
    return createInstance(name, simIf, parent, numOfTerms, termWidth, terms, numOfAssn, assn, 0, 0);
}
#endif

#ifdef VXR_FRAME_WRAP_SET_REAL
#if VXR_REVISION == 187
void _module1_modifyRealParam(VXR_DeviceInst* inst, int location, double value, int* flag) {
    setRealParam(inst, location, value, flag);
}
#else
void _module1_modifyRealParam(VXR_DeviceInst* inst, int location, int* flag, double value) {
    setRealParam(inst, location, value, flag);
}
#endif
#endif

void _module1_setMemoryStates(VXR_DeviceInst*, VXR_ContribLoader*) {}
void _module1_forceExecInvarCode(VXR_DeviceInst*, int) {}

#if VXR_REVISION == 187
void _module1_getOutVarInfo(int, const VXR_OutVarDesc*, VXR_OutVal*, VXR_DeviceInst*, VXR_ContribLoader*) {}
#else
void _module1_getOutVarInfo(VXR_DeviceInst*, int, const VXR_OutVarDesc*, VXR_OutVal*) {}
#endif

VXR_OutVarDesc OutVarDescArray__module1[] = {{nullptr, VXR_OUT_INVALID, nullptr, nullptr, -1}};

} // namespace

extern "C" {

VXR_ModuleDescriptor ModuleInfo[1] = {{
#if VXR_REVISION == 187
    nullptr, // library
#endif
    VXR_FRAME_NAME, VXR_FRAME_NUM_PARAMS, ParamDescArray__module1, VXR_FRAME_NUM_TERMS, TerminalNames__module1,
#if VXR_REVISION == 187
    nullptr, // terminalIndices
#else
    &TerminalWidths__module1[0][0], VXR_FRAME_NUM_TERMS,
#endif
    0, nullptr, // child modules
    0, 0, OutVarDescArray__module1,
#if VXR_REVISION == 187
    nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr, VXR_FRAME_SOURCE, 0, 0, 0,
#endif
#if VXR_REVISION != 142
    0, nullptr, // debug symbols
#endif
    1,          // algebraicModule
    _module1_createInst, _module1_finalizeAnalogTopology,
#if VXR_REVISION == 187
    VXR_FRAME_NODAL_HOOKS,
#endif
    _module1_setAnalogStamp,
#if VXR_REVISION == 187
    nullptr, // pExecAnalogInitial
#endif
    _module1_genericAnalogLoad, _module1_genericAnalogLoadRHS, _module1_doAnalogStrobe, _module1_setMemoryStates,
    _module1_resetMemoryStates, _module1_tranAcceptPoint, VXR_FRAME_MODIFY_REAL, VXR_FRAME_MODIFY_INT,
    nullptr, nullptr, nullptr, _module1_resetParameters, VXR_FRAME_GET_REAL, VXR_FRAME_GET_INT,
    nullptr, nullptr, nullptr, _module1_checkRange, _module1_forceExecInvarCode, _module1_getOutVarInfo,
#if VXR_REVISION == 187
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
#endif
    nullptr, nullptr, // device state
#if VXR_REVISION != 142
    _module1_destroyInst, nullptr,
#endif
}};

const VXR_LibraryVersion libraryVersion = VXR_LIBRARY_VERSION_RECORD;
const VXR_LibraryManifest libraryManifest = {1, ModuleInfo, {}, vxr_build_id};
VXR_DEFINE_LIBRARY_ENTRY_POINTS(libraryVersion, libraryManifest)
}
