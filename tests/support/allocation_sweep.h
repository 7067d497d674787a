// Allocation-failure sweeps: one piece of a module's life run again and
// again with the k-th system allocation failing, k = 0, 1, 2, ..., until a
// run meets no failure. Needs the allocation probe and the recording host.
//
//   vxr_test::sweepAllocationFailures([&](int k) {
//       vxrtest::RecordingHost host;
//       const long start = vxr_test::liveBlocks();
//       vxr_test::failAllocationAfter(k);
//       VXR_DeviceInst* inst = host.createInstance(...);
//       vxr_test::failAllocationAfter(-1);
//       ...
//   });
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "allocation_probe.h"
#include "module_host.h"
#include "recording_host.h"

namespace vxr_test {

// Whether an allocation failed since the last resetAllocationProbe().
inline bool allocationFailed() {
    for (const SystemAllocation& a : systemAllocations())
        if (a.block == nullptr) return true;
    return false;
}

// Calls run(k) for k = 0, 1, 2, ..., each time with a freshly reset probe;
// run arms failAllocationAfter(k) where the part under test starts. Stops
// after the first run in which no allocation failed and returns the number
// of runs that met a failure.
template <class Run>
int sweepAllocationFailures(Run run, int limit = 1000) {
    for (int k = 0; k < limit; ++k) {
        SCOPED_TRACE("system allocation " + std::to_string(k) + " fails");
        resetAllocationProbe();
        run(k);
        failAllocationAfter(-1);
        if (!allocationFailed()) return k;
    }
    ADD_FAILURE() << "still failing after " << limit << " runs";
    return limit;
}

// The host heard of a failed allocation exactly once: the ERROR
// "Out of memory." and one "exit" request, nothing else.
inline void expectOutOfMemoryReported(const vxrtest::RecordingHost& host) {
    ASSERT_EQ(host.messages().size(), 1u) << ::testing::PrintToString(host.messageTexts());
    EXPECT_EQ(host.messages()[0].type, MessageTypeE_ERROR);
    EXPECT_EQ(host.messages()[0].body, "Out of memory.");
    ASSERT_EQ(host.requests().size(), 1u);
    EXPECT_EQ(host.requests()[0].request, "exit");
    EXPECT_EQ(host.requests()[0].code, 1);
}

// One step of an instance life: its name and what it does.
using LifeStep = std::pair<const char*, std::function<void()>>;

// Runs the steps of a life in order with the k-th system allocation of step
// `failing` failing. A step that met the failure must have reported it once
// (expectOutOfMemoryReported), and the life stops there; a life that met no
// failure must have sent no message. Returns whether a failure was met.
inline bool runLifeFailingIn(const vxrtest::RecordingHost& host, const std::vector<LifeStep>& steps,
                             size_t failing, int k) {
    for (size_t s = 0; s < steps.size(); ++s) {
        if (s == failing) failAllocationAfter(k);
        steps[s].second();
        if (s != failing) continue;
        failAllocationAfter(-1);
        if (allocationFailed()) {
            SCOPED_TRACE(steps[s].first);
            expectOutOfMemoryReported(host);
            return true;
        }
    }
    EXPECT_TRUE(host.messages().empty());
    return false;
}

// Every system allocation of every step of a module instance's life fails
// once in turn: created by a fresh Host (a ModuleHost) with `assn`,
// finalized, stamped, loaded once, its device state taken. A failed creation
// leaves no instance, a failed device state no state. end(inst) ends the
// life (inst NULL when creation failed) and returns whether the host keeps
// the instance; unless it does, no block may remain. leastFailures[s] is the
// fewest allocations that step s must make.
template <class Host, class End>
void sweepInstanceLife(const std::vector<VXR_ParamAssn>& assn, const int (&leastFailures)[5], End end) {
    const char* const names[] = {"create", "finalize", "stamp", "load", "device state"};
    for (size_t failing = 0; failing < 5; ++failing) {
        SCOPED_TRACE(names[failing]);
        const int failures = sweepAllocationFailures([&](int k) {
            Host h;
            const VXR_ModuleDescriptor& md = *h.module;
            const long start = liveBlocks();
            VXR_DeviceInst* inst = nullptr;
            VXR_DeviceState* state = nullptr;
            const std::vector<LifeStep> steps = {
                {names[0], [&] { inst = h.create(assn); }},
                {names[1], [&] { md.pFinalizeTopology(inst, h.cbInfo); }},
                {names[2], [&] { md.pSetStamp(inst, h.cbInfo); }},
                {names[3], [&] { md.pGenLoad(inst, h.loader()); }},
                {names[4], [&] { state = md.pGetDeviceState(inst); }},
            };
            const bool failed = runLifeFailingIn(h, steps, failing, k);
            if (failed && failing == 0) {
                EXPECT_EQ(inst, nullptr);
            }
            if (failed && failing == 4) {
                EXPECT_EQ(state, nullptr);
            }
            VXR_freeDeviceState(state);
            if (!end(inst)) {
                EXPECT_EQ(liveBlocks(), start) << "blocks left behind";
            }
        });
        EXPECT_GE(failures, leastFailures[failing]);
    }
}

// Three rounds of the load-time slots (full load, right-hand side, strobe,
// forced parameter-only stage) on a ready instance allocate nothing.
inline void expectLoadPassesAllocateNothing(vxrtest::ModuleHost& h, VXR_DeviceInst* inst) {
    const VXR_ModuleDescriptor& md = *h.module;
    h.recordGetSol(false);
    resetAllocationProbe();
    for (int pass = 0; pass < 3; ++pass) {
        md.pGenLoad(inst, h.loader());
        md.pGenLoadRHS(inst, h.loader());
        md.pDoStrobe(inst, h.loader());
        md.pForceExecInvarCode(inst, 1);
    }
    EXPECT_TRUE(systemAllocations().empty());
}

} // namespace vxr_test
