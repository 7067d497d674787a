// The four Laplace operators of revisions 1.60 and 1.42 behind one table of
// entry points, for tests and test modules that drive any of them.
#pragma once
#include "VXR_SupportLib.h"

namespace lapops {

struct Ops {
    const char* name;
    void* (*create)(const char*, VXR_DeviceInst*, VXR_Array*, VXR_Array*);
    void (*finalize)(void*, void*);
    void (*stamp)(void*, void*);
    void (*setArg)(void*, double, VXR_ContribLoader*);
    void (*setArgDwrt)(void*, void*, double, VXR_ContribLoader*);
    void (*load)(void*, VXR_ContribLoader*);
    void (*loadRhs)(void*, VXR_ContribLoader*);
    VXR_StateVar* (*branchVar)(void*);
    void* (*doublet)(void*, VXR_StateVar*, VXR_StateVar*, VXR_StampTargetE, VXR_DepTypeE, void*);
    void* (*save)(void*);
    void (*restore)(void*, void*);
    void (*reset)(void*);
    void (*accept)(void*, VXR_ContribLoader*);
    void (*destroy)(void*); // NULL in 1.42
};

#if VXR_REVISION == 160
#define LAPOPS_DESTROY(x) reinterpret_cast<void (*)(void*)>(VXR_destroyOpBranch_##x)
#else
#define LAPOPS_DESTROY(x) nullptr
#endif
#define LAPOPS(x)                                                                                             \
    lapops::Ops {                                                                                             \
        #x, reinterpret_cast<void* (*)(const char*, VXR_DeviceInst*, VXR_Array*, VXR_Array*)>(                \
                VXR_createOpBranch_##x),                                                                      \
            reinterpret_cast<void (*)(void*, void*)>(VXR_##x##FinalizeTopology),                              \
            reinterpret_cast<void (*)(void*, void*)>(VXR_##x##SetStamp),                                      \
            reinterpret_cast<void (*)(void*, double, VXR_ContribLoader*)>(VXR_##x##SetArg),                   \
            reinterpret_cast<void (*)(void*, void*, double, VXR_ContribLoader*)>(VXR_##x##SetArg_dwrt),       \
            reinterpret_cast<void (*)(void*, VXR_ContribLoader*)>(VXR_##x##GenericLoad),                      \
            reinterpret_cast<void (*)(void*, VXR_ContribLoader*)>(VXR_##x##GenericLoadRHS),                   \
            reinterpret_cast<VXR_StateVar* (*)(void*)>(VXR_getBranchVar_##x),                                 \
            reinterpret_cast<void* (*)(void*, VXR_StateVar*, VXR_StateVar*, VXR_StampTargetE, VXR_DepTypeE,   \
                                       void*)>(VXR_getDerivDoubletOpBranch_##x),                              \
            reinterpret_cast<void* (*)(void*)>(VXR_##x##SaveState),                                           \
            reinterpret_cast<void (*)(void*, void*)>(VXR_##x##RestoreState),                                  \
            reinterpret_cast<void (*)(void*)>(VXR_##x##Reset),                                                \
            reinterpret_cast<void (*)(void*, VXR_ContribLoader*)>(VXR_##x##AcceptTimePoint),                  \
            LAPOPS_DESTROY(x)                                                                                 \
    }

// nd, np, zd, zp in that order.
inline const Ops kAll[4] = {LAPOPS(lapnd), LAPOPS(lapnp), LAPOPS(lapzd), LAPOPS(lapzp)};

} // namespace lapops
