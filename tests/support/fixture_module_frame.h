// Shared head of the test fixture modules: the instance set-up every generated
// module frame repeats. Include it first in a fixture's source; close the
// fixture with fixture_module_descriptor.h.
#pragma once

#include "VXR_SupportLib.h"

extern "C" VXR_ModuleDescriptor ModuleInfo[1];

// Rows of ParamDescArray__module1 in this revision's layout: the row is the location.
#if VXR_REVISION == 187
#define VXR_FRAME_PARAM(name, type, row) {name, type, row, row, nullptr}
#define VXR_FRAME_PARAM_END {nullptr, VXR_INVALID_PARAM, -1, -1, nullptr}
#elif VXR_REVISION == 160
#define VXR_FRAME_PARAM(name, type, row) {name, type, row, row}
#define VXR_FRAME_PARAM_END {nullptr, VXR_INVALID_PARAM, -1, -1}
#else
#define VXR_FRAME_PARAM(name, type, row) {name, type, row}
#define VXR_FRAME_PARAM_END {nullptr, VXR_INVALID_PARAM, -1}
#endif

namespace {

// The fields every instance gets from createInst's arguments.
inline void vxrFrameFillInstance(VXR_DeviceInst* inst, const char* name, VXR_SimInterface* simIf,
                                 VXR_DeviceInst* parent, void* priv, int numPorts) {
    inst->instName = name;
    inst->pModuleDescriptor = ModuleInfo;
    inst->pParent = parent;
    inst->pSimInterface = simIf;
    inst->pPrivateInfo = priv;
    inst->numOfPorts = numPorts;
}

// Instance, zeroed private record of type Private and port array. Null (and
// nothing kept) when the instance or record cannot be had; when only the port
// array fails, the instance comes back with pPorts null for the fixture's own
// clean-up.
template <class Private>
VXR_DeviceInst* vxrFrameNewInstance(const char* name, VXR_SimInterface* simIf, VXR_DeviceInst* parent, int numPorts) {
    auto* inst = static_cast<VXR_DeviceInst*>(VXR_calloc(1, sizeof(VXR_DeviceInst), simIf, nullptr, nullptr));
    auto* priv = static_cast<Private*>(VXR_calloc(1, sizeof(Private), simIf, nullptr, nullptr));
    if (!inst || !priv) {
        VXR_free(inst);
        VXR_free(priv);
        return nullptr;
    }
    vxrFrameFillInstance(inst, name, simIf, parent, priv, numPorts);
    inst->pPorts = static_cast<VXR_StateVar**>(VXR_calloc(numPorts, sizeof(VXR_StateVar*), simIf, inst, nullptr));
#if VXR_REVISION == 187
    inst->numOfFlatTerms = numPorts;
#endif
    return inst;
}

// Scalar ports in terminal order, through the runtime's port checks.
inline void vxrFrameAssignPorts(VXR_DeviceInst* inst, const char* const* names, int numPorts, VXR_StateVar** terms,
                                int (*termWidth)[3], int numOfTerms, int index, int range) {
    int cursor = 0;
    for (int port = 0; port < numPorts; ++port)
        VXR_AssignScalarPort(inst, names[port], port, terms, termWidth, port, numOfTerms, &cursor, index, range);
}

// Parameters of a record that keeps every one as a double at its row: an
// assigned one read as its table row's type says, the others `defaults`.
template <int N>
void vxrFrameSetRealRecord(VXR_DeviceInst* inst, double (&values)[N], const double (&defaults)[N], int numOfAssn,
                           VXR_ParamAssn* assn) {
    const VXR_ParamDesc* table = inst->pModuleDescriptor->paramDescArray;
    int map[N];
    VXR_setupParamMap(inst, numOfAssn, assn, map);
    for (int row = 0; row < N; ++row) {
        if (map[row] < 0)
            values[row] = defaults[row];
        else if (table[row].paramType == VXR_INT_PARAM)
            values[row] = VXR_initIntegerParam(inst, row, map, assn);
        else
            values[row] = VXR_initRealParam(inst, row, map, assn);
    }
}

} // namespace
