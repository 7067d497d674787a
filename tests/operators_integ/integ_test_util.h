// What the integral and delay operator tests share: a fixture around the
// recording host, and the loader and host members the recording host leaves
// empty (cross violations, step requests, a delay object that records).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "VXR_Operators.h"
#include "allocation_probe.h"
#include "recording_host.h"

namespace integ_test {

inline int cbToken;
inline void* const kCb = &cbToken;

// Nodal information the operators hand to the host with their node.
inline void freeNodalInfos(const vxrtest::RecordingHost& h) {
    for (const vxrtest::NodeRecord& n : h.nodes())
        if (n.info && reinterpret_cast<intptr_t>(n.info) != VXR_NODAL_INFO_NONE_VALUE) VXR_free(n.info);
}

// Releases one saved operator state the way a device state holding it does.
inline void freeInOneSlotState(VXR_DeviceInst* inst, void* opState) {
    auto* ds = static_cast<VXR_DeviceState*>(VXR_calloc(1, sizeof(VXR_DeviceState), nullptr, nullptr, nullptr));
    ASSERT_NE(ds, nullptr);
    ds->pDevice = inst;
    ds->numOfOperatorStates = 1;
    ds->pOperatorState = static_cast<void**>(VXR_calloc(1, sizeof(void*), nullptr, nullptr, nullptr));
    ASSERT_NE(ds->pOperatorState, nullptr);
    ds->pOperatorState[0] = opState;
    VXR_freeDeviceState(ds);
}

class OperatorTest : public ::testing::Test {
protected:
    vxrtest::RecordingHost host;
    vxrtest::InstanceRecord c1{host, "c1", "integ"};
    long liveAtStart = 0;

    void SetUp() override {
        vxr_test::resetAllocationProbe();
        liveAtStart = vxr_test::liveBlocks();
    }
    void TearDown() override {
        freeNodalInfos(host);
        EXPECT_EQ(vxr_test::liveBlocks(), liveAtStart);
    }
};

// A host delay object: the operator-state header and which object it is.
struct FakeDelaySpec {
    VXR_GenericOperatorState head;
    int id;
    int copyOf; // id of the original, 0 for a new object
};

// Records the calls of the members below while it lives.
struct Recorder {
    struct IntStep {
        double mod, offset;
        VXR_StateVar* sv;
    };
    struct DelayLoad {
        void* spec;
        void* entry;
        double delay, maxDelay, value;
    };
    struct DelayDwrt {
        void* spec;
        void* doublet;
        double dval;
    };
    std::vector<double> crossPoints;
    std::vector<IntStep> intSteps;
    std::vector<DelayLoad> delayLoads;
    std::vector<DelayDwrt> delayDwrts;
    std::vector<void*> delayAccepts;
    std::vector<int> freed; // ids of released delay objects
    int nextId = 1;
    int live = 0;           // delay objects alive

    static inline Recorder* current = nullptr;
    Recorder() { current = this; }
    ~Recorder() {
        EXPECT_EQ(live, 0) << "delay objects left";
        current = nullptr;
    }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Host members.
    static void* newSpec(int copyOf) {
        auto* s = static_cast<FakeDelaySpec*>(std::calloc(1, sizeof(FakeDelaySpec)));
        s->head.opStateType = VXR_DELAY_SPEC;
#if VXR_REVISION != 142
        s->head.pFreeSelf = [](VXR_GenericOperatorState* p) { release(p); };
#endif
        s->id = current->nextId++;
        s->copyOf = copyOf;
        ++current->live;
        return s;
    }
    static void release(void* p) {
        current->freed.push_back(static_cast<FakeDelaySpec*>(p)->id);
        --current->live;
        std::free(p);
    }
    static void* createSpec(VXR_SimInterface*) { return newSpec(0); }
    static void* copySpec(void* p) { return newSpec(static_cast<FakeDelaySpec*>(p)->id); }
    static void install(vxrtest::RecordingHost& h) {
        h.sim()->pCreateDelaySpec = createSpec;
        h.sim()->pCopyDelaySpec = copySpec;
#if VXR_REVISION == 142
        h.sim()->pFreeDelaySpec = release;
#endif
    }

    // Loader members.
    static void crossViolation(double crossPoint, VXR_EventDesc*, int, VXR_ContribLoader* VXR_LDR_INST_PARAM) {
        current->crossPoints.push_back(crossPoint);
    }
#if VXR_REVISION == 187
    static void requestIntStep(double, double mod, double offset, int, int, VXR_StateVar* sv, VXR_ContribLoader*,
                               VXR_DeviceInst*) {
        current->intSteps.push_back({mod, offset, sv});
    }
#endif
    static void loadDelay(void* spec, void* entry, double delay, double maxDelay, double value,
                          VXR_ContribLoader* VXR_LDR_INST_PARAM) {
        current->delayLoads.push_back({spec, entry, delay, maxDelay, value});
    }
    static void loadDelayDwrt(void* spec, void* doublet, double dval, VXR_ContribLoader* VXR_LDR_INST_PARAM) {
        current->delayDwrts.push_back({spec, doublet, dval});
    }
    static void acceptDelay(void* spec, VXR_ContribLoader* VXR_LDR_INST_PARAM) { current->delayAccepts.push_back(spec); }
    static void install(VXR_ContribLoader* ldr) {
        ldr->pLoadDelay = loadDelay;
        ldr->pLoadDelay_dwrt = loadDelayDwrt;
        ldr->pAcceptDelay = acceptDelay;
    }
};

} // namespace integ_test
