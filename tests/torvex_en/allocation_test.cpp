// TORVEX_EN / TORVEX under exhausted memory: every system allocation of an
// instance's life fails once in turn, at creation and in each later step.
#include <gtest/gtest.h>

#include "allocation_sweep.h"
#include "en_fixture.h"

using namespace te;

TEST(TorvexEnAllocation, EveryAllocationOfEveryStepMayFail)
{
    // create: instance, private record, ports, state variables; finalize: the
    // operators; device state: 3 blocks.
    vxr_test::sweepInstanceLife<EnHost>({realAssn("RTH", 2.0)}, {4, 6, 0, 0, 3}, [](Inst* inst) {
        // A 1.42 instance that exists stays with the host; everything else is freed.
        const bool kept = !kEN && inst != nullptr;
        retire(inst);
        return kept;
    });
}

// A load pass allocates nothing, whether it reruns the parameter-only stage
// or not, with the intrinsic device conducting and its charges on.
TEST(TorvexEnAllocation, LoadPassesAllocateNothing)
{
    EnHost h;
    Inst* inst = h.createReady({realAssn("CGDO", 1e-9)});
    for (const char* n : {"D", "DI2", "DFIN1"}) h.setSolution(h.find(n), 5.0);
    for (const char* n : {"G", "GI2", "GPOLY"}) h.setSolution(h.find(n), 3.0);
    vxr_test::expectLoadPassesAllocateNothing(h, inst);
    retire(inst);
}
