// The library-computed transition operator driven the way a generated
// module drives it: a SetArg on the load pass of each point, then the accept.
// The loader's minimum step and its step requests (1.87: bound steps, 1.60:
// absolute breakpoints) are scripted here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "VXR_Operators.h"
#include "allocation_probe.h"
#include "recording_host.h"
#include "state_stream.h"
#include "step_requests.h"

namespace {

using vxrtest::StepRequests;
const std::vector<vxrtest::StepRequest>& g_requests = StepRequests::list;

double g_disable = 0.0, g_scale = 1.0;
double disableValue(VXR_DeviceInst*, double) { return g_disable; }
double scaleValue(VXR_DeviceInst*, double) { return g_scale; }

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class Transition : public ::testing::Test {
protected:
    vxrtest::RecordingHost host;
    vxrtest::InstanceRecord inst{host, "x1"};
    VXR_OpBranch_transition* op = nullptr;
    double delay = 0.0, rise = 0.0, fall = 0.0;

    void SetUp() override { StepRequests::install(host.loader()); }
    void TearDown() override { VXR_destroyOpBranch_transition(op); }

    void make(double defaultTransition = 0.0) {
        op = VXR_createOpBranch_transition("tr1", inst.ptr(), defaultTransition);
        ASSERT_NE(op, nullptr);
    }
    VXR_TransitionSpec* spec() const { return static_cast<VXR_TransitionSpec*>(op->_pTransitionState); }

    double setArg(double t, double x) {
        host.setTime(t);
        VXR_transitionSetArg(op, x, delay, rise, fall, 0.0, host.loader());
        return op->_val;
    }
    // One accepted point with input x; returns the output of its load pass.
    double point(double t, double x) {
        const double y = setArg(t, x);
        StepRequests::acceptTime = t;
        VXR_transitionAcceptTimePoint(op, host.loader());
        return y;
    }
    int pendingCount() const {
        int n = 0;
        for (VXR_TransitionEvent* e = spec()->_pPendingFirst; e; e = e->_pNext) {
            ++n;
            if (e == spec()->_pPendingLast) break;
        }
        return n;
    }
    int chainLength() const {
        int n = 0;
        for (VXR_TransitionEvent* e = spec()->_pPendingFirst; e; e = e->_pNext) ++n;
        for (VXR_TransitionEvent* e = spec()->_pRepository; e; e = e->_pNext) ++n;
        return n;
    }
};

TEST_F(Transition, RiseAndFallDefaults) {
    struct Case {
        const char* name;
        double defaultTransition;
        bool loaderHasMinStep;
        double minStep, given, ramp;
        int zeroDefault;
    };
    const Case cases[] = {
        {"operator default", 2e-3, true, 1e-12, 0.0, 2e-3, 0},
        {"negative time, operator default", 0.5, true, 1e-12, -1.0, 0.5, 0},
        {"ten minimum steps", 0.0, true, 1e-12, 0.0, 1e-11, 1},
        {"minimum step zero", 0.0, true, 0.0, 0.0, 0.0, 1},
        {"loader without minimum step", 0.0, false, 0.0, 0.0, 0.0, 0},
        {"given time kept", 2e-3, true, 1e-12, 3.0, 3.0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        make(c.defaultTransition);
        StepRequests::minStep = c.minStep;
        if (!c.loaderHasMinStep) host.loader()->pGetMinTimeStep = nullptr;
        rise = fall = c.given;
        setArg(0.0, 1.0);
        EXPECT_EQ(spec()->_cacheRiseTime, c.ramp);
        EXPECT_EQ(spec()->_cacheFallTime, c.ramp);
        EXPECT_EQ(spec()->_zeroDefault, c.zeroDefault);
        host.loader()->pGetMinTimeStep = StepRequests::scriptedMinStep;
        VXR_destroyOpBranch_transition(op);
        op = nullptr;
    }
    make();
    rise = kNaN;
    setArg(0.0, 1.0);
    EXPECT_TRUE(std::isnan(spec()->_cacheRiseTime));
}

TEST_F(Transition, FirstPointFollowsTheInputAndSchedulesNothing) {
    make();
    rise = fall = 1.0;
    EXPECT_EQ(point(0.0, 3.0), 3.0);
    EXPECT_EQ(op->_derivCoeff, 1.0);
    EXPECT_EQ(spec()->_pPendingFirst, nullptr);
    EXPECT_EQ(spec()->_destination, 3.0);
    EXPECT_TRUE(g_requests.empty());
    EXPECT_EQ(setArg(0.5, 3.0), 3.0);
    EXPECT_EQ(op->_derivCoeff, 0.0);
}

TEST_F(Transition, ZeroRampTimeFollowsAtOnce) {
    make();
    host.loader()->pGetMinTimeStep = nullptr; // no default ramp time to be had
    point(0.0, 0.0);
    EXPECT_EQ(setArg(1e-3, 1.0), 1.0);
    EXPECT_EQ(op->_derivCoeff, 1.0);
    EXPECT_EQ(setArg(1e-3, -1.0), -1.0);
    EXPECT_EQ(op->_derivCoeff, 1.0);
}

TEST_F(Transition, RampFromTheMinimumStepAsksForNoBound) {
    make();
    StepRequests::minStep = 1e-12;
    point(0.0, 0.0);
    point(1e-3, 1.0);
    EXPECT_EQ(spec()->_stopTime, 1e-3 + 1e-11);
    EXPECT_TRUE(g_requests.empty());
}

TEST_F(Transition, ChangeThreshold) {
    struct Case {
        double next;
        bool changed;
    };
    for (const Case c : {Case{1.0 + 1e-11, false}, Case{1.0 + 3e-10, true}, Case{1.0 - 3e-10, true}}) {
        make();
        rise = fall = 1.0;
        point(0.0, 1.0);
        point(1.0, c.next);
        EXPECT_EQ(spec()->_numBreak, c.changed ? 1 : 0) << c.next;
        EXPECT_EQ(spec()->_startTime, c.changed ? 1.0 : -1.0) << c.next;
        VXR_destroyOpBranch_transition(op);
        op = nullptr;
    }
}

TEST_F(Transition, ConsecutiveChangesCountAndSmallOnesAskForNoBound) {
    make();
    rise = fall = 1.0;
    point(0.0, 0.0);
    point(0.1, 10.0);
    point(0.2, 10.5); // second consecutive change: still large
    EXPECT_EQ(spec()->_type, 2);
    StepRequests::list.clear();
    point(0.3, 10.6); // third: 0.1 < 0.1 * 10.6 + 0.1
    EXPECT_EQ(spec()->_type, 1);
    EXPECT_EQ(spec()->_numBreak, 3);
    EXPECT_TRUE(g_requests.empty());
    for (int i = 0; i < 120; ++i) point(0.4 + 0.01 * i, i % 2 ? 0.0 : 20.0);
    EXPECT_EQ(spec()->_numBreak, 100);
    const double last = spec()->_prevExprVal;
    point(2.0, last);
    EXPECT_EQ(spec()->_numBreak, 0);
}

TEST_F(Transition, StepRequestsLandOnEveryCorner) {
    make();
    delay = 0.2, rise = 0.1, fall = 0.3;
    point(0.0, 0.0);
    point(1.0, 1.0); // ramp due at 1.2
    point(1.2, 1.0); // starts: 0.1 to go
    point(1.29, 1.0); // more than a fifth behind
    point(1.3, 1.0);  // at the stop time: still current
    EXPECT_EQ(spec()->_startTime, 1.2);
    point(1.31, 1.0); // past it: idle
    EXPECT_EQ(spec()->_startTime, -1.0);
    EXPECT_EQ(spec()->_stopTime, 0.0);
#if VXR_REVISION == 187
    const int start = BOUND_START_TRANSITION, full = BOUND_TRANSITION, partial = BOUND_PARTIAL_TRANSITION;
#else
    const int start = -1, full = -1, partial = -1;
#endif
    ASSERT_EQ(g_requests.size(), 3u);
    EXPECT_NEAR(g_requests[0].step, 0.2, 1e-15);
    EXPECT_EQ(g_requests[0].type, start);
    EXPECT_NEAR(g_requests[1].step, 0.1, 1e-15);
    EXPECT_EQ(g_requests[1].type, full);
    EXPECT_NEAR(g_requests[2].step, 0.01, 1e-15);
    EXPECT_EQ(g_requests[2].type, partial);
}

// A change half-way up a 0 -> 1 rise of 1 s (present output 0.5).
TEST_F(Transition, InterruptedRamp) {
    struct Case {
        const char* name;
        double target, origin, destination, stop, probe, value;
    };
    const Case cases[] = {
        // A reversal falls with the slope of a full fall from the old destination.
        {"reversal", 0.0, 1.0, 0.0, 2.0, 1.75, 0.25},
        // The same direction restarts from the present value with the full rise time.
        {"higher target", 2.0, 0.5, 2.0, 2.5, 2.0, 1.25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        make();
        rise = fall = 1.0;
        point(0.0, 0.0);
        point(1.0, 1.0);
        EXPECT_EQ(setArg(1.25, 1.0), 0.25);
        EXPECT_EQ(point(1.5, c.target), 0.5);
        EXPECT_EQ(spec()->_origin, c.origin);
        EXPECT_EQ(spec()->_destination, c.destination);
        EXPECT_EQ(spec()->_startTime, 1.5);
        EXPECT_EQ(spec()->_stopTime, c.stop);
        EXPECT_EQ(setArg(c.probe, c.target), c.value);
        EXPECT_EQ(setArg(c.stop, c.target), c.target);
        VXR_destroyOpBranch_transition(op);
        op = nullptr;
    }
}

TEST_F(Transition, NewChangeCancelsLaterEventsAndNodesAreRecycled) {
    vxr_test::resetAllocationProbe();
    make();
    rise = fall = 0.01;
    point(0.0, 0.0);
    delay = 1.0;
    point(0.1, 1.0); // due 1.1
    point(0.2, 2.0); // due 1.2
    EXPECT_EQ(pendingCount(), 2);
    delay = 0.5;
    const size_t beforeCancel = vxr_test::systemAllocations().size();
    point(0.3, 3.0); // due 0.8: cancels both
    EXPECT_EQ(vxr_test::systemAllocations().size(), beforeCancel);
    EXPECT_EQ(pendingCount(), 1);
    EXPECT_EQ(spec()->_pPendingFirst->_evtStartTime, 0.8);
    EXPECT_EQ(chainLength(), 2);
    // Steady switching: each change waits 0.5 s, so several events are
    // pending at a time; once the chain has grown to that, nothing more is
    // allocated.
    double t = 0.4;
    for (int i = 0; i < 6; ++i, t += 0.3) point(t, i % 2 ? 0.0 : 1.0);
    const size_t made = vxr_test::systemAllocations().size();
    const long live = vxr_test::liveBlocks();
    const int nodes = chainLength();
    EXPECT_GE(nodes, 3);
    for (int i = 0; i < 40; ++i, t += 0.3) point(t, i % 2 ? 0.0 : 1.0);
    EXPECT_EQ(vxr_test::systemAllocations().size(), made);
    EXPECT_EQ(vxr_test::liveBlocks(), live);
    EXPECT_EQ(chainLength(), nodes);
}

TEST_F(Transition, TimeGoingBackMovesTheWaveform) {
    make();
    rise = fall = 1.0;
    point(0.0, 0.0);
    point(1.0, 0.0);
    // Nothing pending: the shift has no first event to move.
    setArg(0.5, 0.0);
    EXPECT_EQ(spec()->_prevTime, 0.5);
    delay = 1.0;
    point(1.0, 1.0); // due 2.0
    setArg(0.75, 1.0);
    EXPECT_EQ(spec()->_pPendingFirst->_evtStartTime, 1.75);
}

TEST_F(Transition, HostParametersDisableAndScale) {
    VXR_SimParam table[] = {{"_transitionDisable", disableValue}, {"_transitionSourceScale", scaleValue}};
    host.sim()->numOfSimParams = 2;
    host.sim()->pSimParamArray = table;
    g_disable = 1.0, g_scale = 0.5;
    make();
    rise = fall = 1.0;
    for (double t : {0.0, 1.0, 2.0}) {
        EXPECT_EQ(point(t, 4.0 * t + 1.0), 0.5 * (4.0 * t + 1.0));
        EXPECT_EQ(op->_derivCoeff, 0.5);
    }
    EXPECT_EQ(spec()->_pPendingFirst, nullptr);
    // Enabled again: active passes are not scaled.
    g_disable = 0.25; // truncates to 0
    point(3.0, 20.0); // a ramp from 9 to 20 over 1 s
    EXPECT_EQ(setArg(3.5, 20.0), 14.5);
    EXPECT_EQ(op->_derivCoeff, 0.0);
    host.sim()->numOfSimParams = 0;
    host.sim()->pSimParamArray = nullptr;
}

// The saved state's fields and list, for comparison.
std::vector<double> snapshot(const VXR_TransitionSpec* p) {
    std::vector<double> s = {p->_cacheExprVal, p->_cacheDelay,  p->_cacheRiseTime, p->_cacheFallTime,
                             p->_cacheTimeTol, double(p->_numBreak), double(p->_type), p->_cacheOpVal,
                             p->_startTime,    p->_stopTime,     p->_origin,        p->_destination,
                             p->_prevTime,     p->_prevExprVal,  p->_prevOpVal};
    int i = 0;
    for (const VXR_TransitionEvent* e = p->_pPendingFirst; e; e = e->_pNext, ++i) {
        s.insert(s.end(), {e->_targetVal, e->_evtStartTime, e->_evtRiseTime, e->_evtFallTime, e->_timeTol,
                           double(e->_type)});
        if (e == p->_pPendingLast) s.push_back(-1000.0 - i);
    }
    return s;
}

TEST_F(Transition, SaveAcceptRestore) {
    make();
    rise = fall = 0.5;
    delay = 0.3;
    point(0.0, 0.0);
    point(1.0, 1.0);
    point(1.1, 0.0); // two pending
    void* saved = VXR_transitionSaveState(op);
    ASSERT_NE(saved, nullptr);
    const std::vector<double> before = snapshot(spec());
    point(1.3, 0.0);
    point(1.45, 0.0);
    EXPECT_NE(snapshot(spec()), before);
    VXR_transitionRestoreState(op, saved);
    EXPECT_EQ(snapshot(spec()), before);
    EXPECT_NE(op->_pTransitionState, saved);
    VXR_transitionRestoreState(op, nullptr); // nothing to restore
    EXPECT_EQ(snapshot(spec()), before);
    // Replaying the accepts gives the same waveform as before.
    point(1.3, 0.0);
    EXPECT_NEAR(setArg(1.4, 0.0), 0.2, 1e-12);
    EXPECT_EQ(static_cast<VXR_GenericOperatorState*>(saved)->opStateType, VXR_TRANSITION_SPEC);
    // A device state holding it releases it with its list.
    auto* ds = static_cast<VXR_DeviceState*>(VXR_calloc(1, sizeof(VXR_DeviceState), nullptr, nullptr, nullptr));
    ds->numOfOperatorStates = 1;
    ds->pOperatorState = static_cast<void**>(VXR_calloc(1, sizeof(void*), nullptr, nullptr, nullptr));
    ds->pOperatorState[0] = saved;
    ds->pDevice = inst.ptr();
    VXR_freeDeviceState(ds);
    VXR_transitionReset(op);
    EXPECT_EQ(spec()->_startTime, -1.0);
    EXPECT_EQ(spec()->_pPendingFirst, nullptr);
}

std::string serialized(VXR_TransitionSpec* p, VXR_SrlzDirE* dir) { return vxrtest::writeState(&p->_opState, dir); }
VXR_SrlzDirE readInto(VXR_TransitionSpec* p, const std::string& bytes) {
    return vxrtest::readState(&p->_opState, bytes);
}

TEST_F(Transition, SerializationRoundTripAndDamagedLists) {
    make();
    rise = fall = 0.5;
    point(0.0, 0.0);
    delay = 1.0;
    point(1.0, 1.0);
    point(1.1, 2.0);
    delay = 0.2;
    point(1.2, 3.0); // cancels both: one pending, one spare
    ASSERT_EQ(pendingCount(), 1);
    ASSERT_EQ(chainLength(), 2);
    VXR_SrlzDirE dir = SRLZ_TO_FILE;
    const std::string bytes = serialized(spec(), &dir);
    EXPECT_EQ(dir, SRLZ_TO_FILE);
    EXPECT_EQ(bytes.size(), 16u + 5 * 8 + 2 * 4 + 8 * 8 + 15 + 2 * 4 + 2 * 44);
    EXPECT_EQ(bytes.substr(0, 16), "Transition Begin");

    VXR_TransitionSpec* copy = createTransitionSpec(nullptr, nullptr);
    EXPECT_EQ(readInto(copy, bytes), SRLZ_FROM_FILE);
    EXPECT_EQ(snapshot(copy), snapshot(spec()));

    // The two counts after the list marker: node count, then the last pending index.
    const size_t counts = 16 + 5 * 8 + 2 * 4 + 8 * 8 + 15;
    struct Damage {
        int count, ixLast;
    };
    for (const Damage d : {Damage{-1, 0}, Damage{1 << 30, 0}, Damage{2, 2}, Damage{2, -1}, Damage{0, 0},
                           Damage{3, 1}}) {
        SCOPED_TRACE(std::to_string(d.count) + " " + std::to_string(d.ixLast));
        std::string bad = bytes;
        std::memcpy(&bad[counts], &d.count, 4);
        std::memcpy(&bad[counts + 4], &d.ixLast, 4);
        EXPECT_EQ(readInto(copy, bad), SRLZ_ERROR);
        EXPECT_EQ(copy->_pPendingFirst, nullptr);
        EXPECT_EQ(copy->_pPendingLast, nullptr);
    }
    // An empty list reads back empty.
    std::string empty = bytes.substr(0, counts);
    const int none[2] = {0, -1};
    empty.append(reinterpret_cast<const char*>(none), sizeof none);
    EXPECT_EQ(readInto(copy, empty), SRLZ_FROM_FILE);
    EXPECT_EQ(copy->_pPendingFirst, nullptr);
    freeTransitionSpec(&copy->_opState);
}

} // namespace
