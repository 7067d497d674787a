// TORVEX_EN / TORVEX under exhausted memory: every system allocation of an
// instance's life fails once in turn, at creation and in each later step.
#include <gtest/gtest.h>

#include "allocation_sweep.h"
#include "en_fixture.h"

using namespace te;

namespace {

enum Step { Create, Finalize, Stamp, Load, DeviceState, NumSteps };
const char* const kStepNames[] = {"create", "finalize", "stamp", "load", "device state"};

void life(int k, Step failing)
{
    EnHost h;
    const long start = vxr_test::liveBlocks();
    Inst* inst = nullptr;
    VXR_DeviceState* state = nullptr;
    const std::vector<vxr_test::LifeStep> steps = {
        {kStepNames[Create], [&] { inst = h.create({realAssn("RTH", 2.0)}); }},
        {kStepNames[Finalize], [&] { md.pFinalizeTopology(inst, kCbInfo); }},
        {kStepNames[Stamp], [&] { md.pSetStamp(inst, kCbInfo); }},
        {kStepNames[Load], [&] { md.pGenLoad(inst, h.loader()); }},
        {kStepNames[DeviceState], [&] { state = md.pGetDeviceState(inst); }},
    };
    const bool failed = vxr_test::runLifeFailingIn(h, steps, failing, k);
    if (failed && failing == Create) {
        EXPECT_EQ(inst, nullptr);
    }
    if (failed && failing == DeviceState) {
        EXPECT_EQ(state, nullptr);
    }
    VXR_freeDeviceState(state);
    // A 1.42 instance that exists stays with the host; everything else is freed.
    const bool kept = !kEN && inst != nullptr;
    retire(inst);
    if (!kept) {
        EXPECT_EQ(vxr_test::liveBlocks(), start) << "blocks left behind";
    }
}

} // namespace

TEST(TorvexEnAllocation, EveryAllocationOfEveryStepMayFail)
{
    for (int s = Create; s < NumSteps; ++s) {
        SCOPED_TRACE(kStepNames[s]);
        const int failures = vxr_test::sweepAllocationFailures([&](int k) { life(k, static_cast<Step>(s)); });
        const int least[NumSteps] = {4, 6, 0, 0, 3}; // create: instance, private record, ports, state
                                                      // variables; finalize: the operators; state: 3 blocks
        EXPECT_GE(failures, least[s]);
    }
}

// A load pass allocates nothing, whether it reruns the parameter-only stage
// or not, with the intrinsic device conducting and its charges on.
TEST(TorvexEnAllocation, LoadPassesAllocateNothing)
{
    EnHost h;
    Inst* inst = h.createReady({realAssn("CGDO", 1e-9)});
    for (const char* n : {"D", "DI2", "DFIN1"}) h.setSolution(h.find(n), 5.0);
    for (const char* n : {"G", "GI2", "GPOLY"}) h.setSolution(h.find(n), 3.0);
    h.recordGetSol(false);
    vxr_test::resetAllocationProbe();
    for (int pass = 0; pass < 3; ++pass) {
        md.pGenLoad(inst, h.loader());
        md.pGenLoadRHS(inst, h.loader());
        md.pDoStrobe(inst, h.loader());
        md.pForceExecInvarCode(inst, 1);
    }
    EXPECT_TRUE(vxr_test::systemAllocations().empty());
    retire(inst);
}
