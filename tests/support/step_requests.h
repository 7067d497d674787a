// Time-point requests of runtime operators, recorded for tests: install()
// puts a scripted minimum step and a recorder of step requests into a
// loader (1.87: pDoBoundStep with its type; 1.60: pSetTranBreakPoint, whose
// absolute time is kept as a step from `acceptTime`, type -1).
#pragma once

#include <vector>

#include "VXR_SupportLib.h"

namespace vxrtest {

struct StepRequest {
    double step;
    int type; // VXR_BoundTypeE; -1 for a 1.60 breakpoint
};

struct StepRequests {
    static inline std::vector<StepRequest> list;
    static inline double minStep = 1e-15;
    static inline double acceptTime = 0.0; // set by the test before each accept

    static void install(VXR_ContribLoader* l) {
        list.clear();
        minStep = 1e-15;
        acceptTime = 0.0;
        l->pGetMinTimeStep = scriptedMinStep;
#if VXR_REVISION == 187
        l->pDoBoundStep = recordBound;
#else
        l->pSetTranBreakPoint = recordBreakPoint;
#endif
    }

#if VXR_REVISION == 187
    static void recordBound(double step, VXR_BoundTypeE type, VXR_ContribLoader*, VXR_DeviceInst*) {
        list.push_back({step, type});
    }
    static double scriptedMinStep(VXR_ContribLoader*, VXR_DeviceInst*) { return minStep; }
#else
    static void recordBreakPoint(double t, VXR_ContribLoader*) { list.push_back({t - acceptTime, -1}); }
    static double scriptedMinStep(VXR_ContribLoader*) { return minStep; }
#endif
};

} // namespace vxrtest
