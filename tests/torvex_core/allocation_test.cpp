// TORVEX_CORE under exhausted memory: every system allocation of an
// instance's life fails once in turn, at creation and in each later step.
#include <gtest/gtest.h>

#include "allocation_sweep.h"
#include "core_fixture.h"

using namespace tc;

namespace {

// The steps of a life, in the host's order.
enum Step { Create, Finalize, Stamp, Load, DeviceState, NumSteps };
const char* const kStepNames[] = {"create", "finalize", "stamp", "load", "device state"};

// One life with the k-th allocation of step `failing` failing.
void life(int k, Step failing)
{
    CoreHost h;
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
    if (vxr_test::runLifeFailingIn(h, steps, failing, k) && failing == Create) {
        EXPECT_EQ(inst, nullptr);
    }
    VXR_freeDeviceState(state);
    md.pDestroyDevice(inst);
    EXPECT_EQ(vxr_test::liveBlocks(), start) << "blocks left behind";
}

} // namespace

TEST(TorvexCoreAllocation, EveryAllocationOfEveryStepMayFail)
{
    for (int s = Create; s < NumSteps; ++s) {
        SCOPED_TRACE(kStepNames[s]);
        const int failures = vxr_test::sweepAllocationFailures([&](int k) { life(k, static_cast<Step>(s)); });
        if (s == Create) {
            EXPECT_GE(failures, 4); // instance, private record, ports, state variables
        }
        if (s == Finalize) {
            EXPECT_GE(failures, 6); // one per ddt operator at least
        }
    }
}

// A load pass allocates nothing, whether it reruns the parameter-only group
// or not.
TEST(TorvexCoreAllocation, LoadPassesAllocateNothing)
{
    CoreHost h;
    Inst* inst = h.createReady({realAssn("CGDO", 1e-9)});
    h.setSolution(h.find("D"), 5.0);
    h.setSolution(h.find("G"), 3.0);
    h.recordGetSol(false);
    vxr_test::resetAllocationProbe();
    for (int pass = 0; pass < 3; ++pass) {
        md.pGenLoad(inst, h.loader());
        md.pGenLoadRHS(inst, h.loader());
        md.pDoStrobe(inst, h.loader());
        md.pForceExecInvarCode(inst, 1);
    }
    EXPECT_TRUE(vxr_test::systemAllocations().empty());
    md.pDestroyDevice(inst);
}
