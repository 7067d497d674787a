// What the 1.42 transition, slew and zi tests share: a fixture around the
// recording host with host transition and slew objects that record what the
// operators do with them, and the loader members the recording host leaves
// as null members (transition and slew loads, breakpoints, minimum step).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "VXR_Op142.h"
#include "allocation_probe.h"
#include "recording_host.h"

namespace op142 {

inline int cbToken;
inline void* const kCb = &cbToken;

// A host object: the operator-state header and which object it is.
struct FakeSpec {
    VXR_GenericOperatorState head;
    int id;
    int copyOf; // id of the original, 0 for a new object
};

inline int idOf(const void* p) { return p ? static_cast<const FakeSpec*>(p)->id : 0; }
inline int copyOf(const void* p) { return p ? static_cast<const FakeSpec*>(p)->copyOf : -1; }

// Records every host-object and loader call of the operators while it lives,
// as lines like "createTransition -> 1", "loadTransition 1 F=.. rise=..".
struct Recorder {
    struct TransitionLoad {
        void* spec;
        void* rhs;
        double F, delay, rise, fall, tol;
    };
    struct SlewLoad {
        void* spec;
        void* rhs;
        double F, pos, neg;
    };
    struct Dwrt {
        void* spec;
        void* doublet;
        double dval;
    };
    std::vector<std::string> calls;
    std::vector<TransitionLoad> transitionLoads;
    std::vector<SlewLoad> slewLoads;
    std::vector<Dwrt> dwrts;
    std::vector<double> breakpoints;
    std::vector<int> freed;
    double minStep = 0.0;
    int nextId = 1;
    int live = 0;

    static inline Recorder* current = nullptr;
    Recorder() { current = this; }
    ~Recorder() {
        EXPECT_EQ(live, 0) << "host objects left";
        current = nullptr;
    }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    static void* make(VXR_OperatorStateTypeE type, int from, const char* what) {
        auto* s = static_cast<FakeSpec*>(std::calloc(1, sizeof(FakeSpec)));
        s->head.opStateType = type;
        s->id = current->nextId++;
        s->copyOf = from;
        ++current->live;
        current->calls.push_back(std::string(what) + " -> " + std::to_string(s->id));
        return s;
    }
    static void release(void* p, const char* what) {
        current->freed.push_back(idOf(p));
        current->calls.push_back(std::string(what) + " " + std::to_string(idOf(p)));
        --current->live;
        std::free(p);
    }
    static void* createTransition(VXR_SimInterface*) { return make(VXR_TRANSITION_SPEC, 0, "createTransition"); }
    static void* copyTransition(void* p) { return make(VXR_TRANSITION_SPEC, idOf(p), "copyTransition"); }
    static void freeTransition(void* p) { release(p, "freeTransition"); }
    static void* createSlew(VXR_SimInterface*) { return make(VXR_SLEW_SPEC, 0, "createSlew"); }
    static void* copySlew(void* p) { return make(VXR_SLEW_SPEC, idOf(p), "copySlew"); }
    static void freeSlew(void* p) { release(p, "freeSlew"); }

    static void loadTransition(void* spec, void* rhs, double F, double delay, double rise, double fall, double tol,
                               VXR_ContribLoader*) {
        current->transitionLoads.push_back({spec, rhs, F, delay, rise, fall, tol});
        current->calls.push_back("loadTransition " + std::to_string(idOf(spec)));
    }
    static void loadSlew(void* spec, void* rhs, double F, double pos, double neg, VXR_ContribLoader*) {
        current->slewLoads.push_back({spec, rhs, F, pos, neg});
        current->calls.push_back("loadSlew " + std::to_string(idOf(spec)));
    }
    static void dwrt(void* spec, void* doublet, double dval, VXR_ContribLoader*) {
        current->dwrts.push_back({spec, doublet, dval});
        current->calls.push_back("dwrt " + std::to_string(idOf(spec)));
    }
    static void accept(void* spec, VXR_ContribLoader*) {
        current->calls.push_back("accept " + std::to_string(idOf(spec)));
    }
    static void setBreak(double t, VXR_ContribLoader*) { current->breakpoints.push_back(t); }
    static double getMinStep(VXR_ContribLoader*) { return current->minStep; }

    void install(vxrtest::RecordingHost& h) {
        VXR_SimInterface* s = h.sim();
        s->pCreateTransitionSpec = createTransition;
        s->pCopyTransitionSpec = copyTransition;
        s->pFreeTransitionSpec = freeTransition;
        s->pCreateSlewSpec = createSlew;
        s->pCopySlewSpec = copySlew;
        s->pFreeSlewSpec = freeSlew;
        VXR_ContribLoader* l = h.loader();
        l->pLoadTransition = loadTransition;
        l->pLoadTransition_dwrt = dwrt;
        l->pAcceptTransition = accept;
        l->pLoadSlew = loadSlew;
        l->pLoadSlew_dwrt = dwrt;
        l->pAcceptSlew = accept;
        l->pSetTranBreakPoint = setBreak;
        l->pGetMinTimeStep = getMinStep;
    }
};

class OperatorTest : public ::testing::Test {
protected:
    vxrtest::RecordingHost host;
    vxrtest::InstanceRecord c1{host, "c1", "ops142"};
    Recorder rec;
    long liveAtStart = 0;

    void SetUp() override {
        vxr_test::resetAllocationProbe();
        liveAtStart = vxr_test::liveBlocks();
        rec.install(host);
    }
    void TearDown() override { EXPECT_EQ(vxr_test::liveBlocks(), liveAtStart); }

    // Releases what revision 1.42 never frees (no destroy for operator branches).
    void release(VXR_OpBranch_transition* op) {
        if (!op) return;
        if (op->_pTransitionState) Recorder::freeTransition(op->_pTransitionState);
        VXR_free(op);
    }
    void release(VXR_OpBranch_slew* op) {
        if (!op) return;
        if (op->_pSlewSpec) Recorder::freeSlew(op->_pSlewSpec);
        VXR_free(op);
    }
    // A saved state as a device state holding it releases it.
    void freeInDeviceState(void* opState) {
        auto* ds = static_cast<VXR_DeviceState*>(VXR_calloc(1, sizeof(VXR_DeviceState), nullptr, nullptr, nullptr));
        ASSERT_NE(ds, nullptr);
        ds->pDevice = &c1.inst;
        ds->numOfOperatorStates = 1;
        ds->pOperatorState = static_cast<void**>(VXR_calloc(1, sizeof(void*), nullptr, nullptr, nullptr));
        ASSERT_NE(ds->pOperatorState, nullptr);
        ds->pOperatorState[0] = opState;
        VXR_freeDeviceState(ds);
    }
};

} // namespace op142
