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

} // namespace vxr_test
