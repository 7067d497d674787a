// TORVEX_CORE under exhausted memory: every system allocation of an
// instance's life fails once in turn, at creation and in each later step.
#include <gtest/gtest.h>

#include "allocation_sweep.h"
#include "core_fixture.h"

using namespace tc;

TEST(TorvexCoreAllocation, EveryAllocationOfEveryStepMayFail)
{
    // create: instance, private record, ports, state variables; finalize: one
    // per ddt operator at least.
    vxr_test::sweepInstanceLife<CoreHost>({realAssn("RTH", 2.0)}, {4, 6, 0, 0, 0}, [](Inst* inst) {
        md.pDestroyDevice(inst);
        return false;
    });
}

// A load pass allocates nothing, whether it reruns the parameter-only group
// or not.
TEST(TorvexCoreAllocation, LoadPassesAllocateNothing)
{
    CoreHost h;
    Inst* inst = h.createReady({realAssn("CGDO", 1e-9)});
    h.setSolution(h.find("D"), 5.0);
    h.setSolution(h.find("G"), 3.0);
    vxr_test::expectLoadPassesAllocateNothing(h, inst);
    md.pDestroyDevice(inst);
}
