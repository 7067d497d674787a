// TORVEX_CORE driven through its descriptor by the shared recording host:
// the module's six terminals and the usual ways to make an instance.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "recording_host.h"
#include "torvex_core.h"

namespace tc {

using Inst = VXR_DeviceInst;
using SV = VXR_StateVar;
using vxrtest::Call;
using vxrtest::HandleKind;

inline const VXR_ModuleDescriptor& md = torvex_core::ModuleInfo;
// Callback info the tests hand to finalize and stamp.
inline void* const kCbInfo = reinterpret_cast<void*>(uintptr_t{0xcb});

// The shared host with terminals D, G, S, B, TINT, TEXT.
struct CoreHost : vxrtest::RecordingHost {
    std::vector<SV*> terminals;
    CoreHost()
    {
        for (const char* t : {"D", "G", "S", "B", "TINT", "TEXT"}) terminals.push_back(terminal(t));
    }
    // Create with the six terminals, no width records.
    Inst* create(std::vector<VXR_ParamAssn> assn = {}, const char* name = "m1")
    {
        return createInstance(&md, name, terminals, std::move(assn));
    }
    Inst* createReady(std::vector<VXR_ParamAssn> assn = {})
    {
        Inst* inst = create(std::move(assn));
        md.pFinalizeTopology(inst, kCbInfo);
        md.pSetStamp(inst, kCbInfo);
        return inst;
    }
    // Name of a node; "" for ground.
    std::string name(const SV* sv) const { return sv ? nameOf(sv) : ""; }
};

inline VXR_ParamAssn realAssn(const char* name, double v) { return vxrtest::RecordingHost::real(name, v); }
inline VXR_ParamAssn intAssn(const char* name, int v) { return vxrtest::RecordingHost::integer(name, v); }

// Row of the descriptor table by name (NULL when absent).
inline const VXR_ParamDesc* row(const char* name)
{
    for (const VXR_ParamDesc* r = md.paramDescArray; r->paramType != VXR_INVALID_PARAM; ++r)
        if (std::string(r->name) == name) return r;
    return nullptr;
}

} // namespace tc
