// The recording host wired to one module: its terminals by name and the usual
// ways to make an instance through the module's descriptor.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "recording_host.h"

namespace vxrtest {

struct ModuleHost : RecordingHost {
    const VXR_ModuleDescriptor* module;
    void* cbInfo; // handed to finalize and stamp
    std::vector<VXR_StateVar*> terminals;

    ModuleHost(const VXR_ModuleDescriptor& md, const std::vector<const char*>& terminalNames, void* cb)
        : module(&md), cbInfo(cb)
    {
        for (const char* t : terminalNames) terminals.push_back(terminal(t));
    }
    // Create with all terminals, no width records.
    VXR_DeviceInst* create(std::vector<VXR_ParamAssn> assn = {}, const char* name = "m1")
    {
        return createInstance(module, name, terminals, std::move(assn));
    }
    // Created, finalized and stamped.
    VXR_DeviceInst* createReady(std::vector<VXR_ParamAssn> assn = {})
    {
        VXR_DeviceInst* inst = create(std::move(assn));
        module->pFinalizeTopology(inst, cbInfo);
        module->pSetStamp(inst, cbInfo);
        return inst;
    }
};

inline VXR_ParamAssn realAssn(const char* name, double v) { return RecordingHost::real(name, v); }
inline VXR_ParamAssn intAssn(const char* name, int v) { return RecordingHost::integer(name, v); }

// Row of the module's parameter table by name (NULL when absent).
inline const VXR_ParamDesc* paramRow(const VXR_ModuleDescriptor& md, const std::string& name)
{
    for (const VXR_ParamDesc* r = md.paramDescArray; r->paramType != VXR_INVALID_PARAM; ++r)
        if (name == r->name) return r;
    return nullptr;
}

} // namespace vxrtest
