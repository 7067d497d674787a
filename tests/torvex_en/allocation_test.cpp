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
    if (failed && failing == Create) EXPECT_EQ(inst, nullptr);
    if (failed && failing == DeviceState) EXPECT_EQ(state, nullptr);
    VXR_freeDeviceState(state);
    if (inst == nullptr || kEN) {
        retire(inst);
        EXPECT_EQ(vxr_test::liveBlocks(), start) << "blocks left behind";
    } else {
        retire(inst);
    }
}

} // namespace

TEST(TorvexEnAllocation, EveryAllocationOfEveryStepMayFail)
{
    for (int s = Create; s < NumSteps; ++s) {
        SCOPED_TRACE(kStepNames[s]);
        const int failures = vxr_test::sweepAllocationFailures([&](int k) { life(k, static_cast<Step>(s)); });
        if (s == Create) EXPECT_GE(failures, 4); // instance, private record, ports, state variables
        if (s == Finalize) EXPECT_GE(failures, 6); // one per ddt operator at least
        if (s == DeviceState) EXPECT_GE(failures, 3);
    }
}
