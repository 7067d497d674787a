// TORVEX_CORE driven through its descriptor by the shared recording host:
// the module's six terminals and the usual ways to make an instance.
#pragma once

#include <cstdint>
#include <string>

#include "module_host.h"
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
struct CoreHost : vxrtest::ModuleHost {
    CoreHost() : ModuleHost(md, {"D", "G", "S", "B", "TINT", "TEXT"}, kCbInfo) {}
    // Name of a node; "" for ground.
    std::string name(const SV* sv) const { return sv ? nameOf(sv) : ""; }
};

using vxrtest::intAssn;
using vxrtest::realAssn;

// Row of the descriptor table by name (NULL when absent).
inline const VXR_ParamDesc* row(const char* name) { return vxrtest::paramRow(md, name); }

} // namespace tc
