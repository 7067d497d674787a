// Analog events driven the way a generated module drives them: the signal
// on the load pass of a point, the accept after it. Step requests (1.87:
// bound steps, 1.60: absolute breakpoints) and cross-violation reports are
// recorded here.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "VXR_Operators.h"
#include "recording_host.h"
#include "step_requests.h"

namespace {

using vxrtest::StepRequests;
std::vector<double> g_violations;

#if VXR_REVISION == 187
void recordViolation(double at, VXR_EventDesc* ev, int mode, VXR_ContribLoader*, VXR_DeviceInst*) {
#else
void recordViolation(double at, VXR_EventDesc* ev, int mode, VXR_ContribLoader*) {
#endif
    EXPECT_EQ(ev, nullptr);
    EXPECT_EQ(mode, 0);
    g_violations.push_back(at);
}

// The timer's step requests, as steps (all of the timer kind).
std::vector<double> timerSteps() {
    std::vector<double> steps;
    for (const vxrtest::StepRequest& r : StepRequests::list) {
        EXPECT_EQ(r.type, VXR_REVISION == 187 ? BOUND_TIMER : -1);
        steps.push_back(r.step);
    }
    return steps;
}

class Events : public ::testing::Test {
protected:
    vxrtest::RecordingHost host;
    vxrtest::InstanceRecord inst{host, "e1"};
    std::vector<VXR_EventDesc*> events;

    void SetUp() override {
        StepRequests::install(host.loader());
        host.loader()->pReportCrossViolation = recordViolation;
        g_violations.clear();
    }
    void TearDown() override {
        for (VXR_EventDesc* ev : events) {
            VXR_free(ev->pPrivateInfo);
            VXR_free(ev);
        }
    }
    VXR_EventDesc* keep(VXR_EventDesc* ev) {
        EXPECT_NE(ev, nullptr);
        events.push_back(ev);
        return ev;
    }
    VXR_TimerInfo* timer(VXR_EventDesc* ev) { return static_cast<VXR_TimerInfo*>(ev->pPrivateInfo); }

    // One point of a timer: signal, then accept; returns whether it fired.
    bool tick(VXR_EventDesc* ev, double t, double start, double period, double tol = 0.0, double enable = 1.0) {
        host.setTime(t);
        const int fired = VXR_timerEventSignal(ev, start, period, tol, enable, host.loader());
        StepRequests::acceptTime = t;
        VXR_acceptSimEvent_timer(ev, host.loader());
        return fired != 0;
    }
};

TEST_F(Events, InitialAndFinalStepsFollowTheirAnalyses) {
    VXR_EventDesc* any = keep(VXR_createSimEvent_initial_step(inst.ptr(), 0));
    VXR_EventDesc* tranAc = keep(VXR_createSimEvent_initial_step(inst.ptr(), 2, "tran", "ac"));
    VXR_EventDesc* final = keep(VXR_createSimEvent_final_step(inst.ptr(), 1, "dc"));
    struct Case {
        unsigned long mask;
        bool initial, last;
        int any, tranAc, final;
    };
    const Case cases[] = {
        {VXR_ANALYSIS_TRAN, true, false, 1, 1, 0},
        {VXR_ANALYSIS_AC, true, false, 1, 1, 0},
        {VXR_ANALYSIS_DC | VXR_ANALYSIS_STATIC, true, true, 1, 0, 1},
        {VXR_ANALYSIS_TRAN, false, true, 0, 0, 0},
        {VXR_ANALYSIS_NOISE, true, true, 1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        host.setAnalysisMask(c.mask);
        host.setInitialStep(c.initial);
        host.setFinalStep(c.last);
        EXPECT_EQ(VXR_eventSignal(any, host.loader()), c.any);
        EXPECT_EQ(VXR_eventSignal(tranAc, host.loader()), c.tranAc);
        EXPECT_EQ(VXR_eventSignal(final, host.loader()), c.final);
    }
}

// Start 0, period 1 ms: a tick at every millisecond, each reached through
// the step the accept before it asked for.
TEST_F(Events, PeriodicTimerTicksOnTheStepsItRequests) {
    VXR_EventDesc* ev = keep(VXR_createSimEvent_timer(inst.ptr()));
    EXPECT_TRUE(tick(ev, 0.0, 0.0, 1e-3));
    EXPECT_TRUE(timer(ev)->_timerStarted);
    EXPECT_EQ(timer(ev)->_nextEventTime, 1e-3);
    double t = 0.0;
    for (int k = 1; k <= 5; ++k) {
        ASSERT_EQ(timerSteps().size(), static_cast<size_t>(k));
        const double step = timerSteps().back();
        EXPECT_FALSE(tick(ev, t + 0.5 * step, 0.0, 1e-3)) << k; // a point between ticks
        t += step;
        EXPECT_TRUE(tick(ev, t, 0.0, 1e-3)) << k;
        EXPECT_NEAR(t, k * 1e-3, 1e-15) << k;
        StepRequests::list.erase(StepRequests::list.end() - 2); // keep the requests made at the ticks
    }
    // A tolerance lets the step reach past the tick.
    VXR_EventDesc* tolerant = keep(VXR_createSimEvent_timer(inst.ptr()));
    EXPECT_TRUE(tick(tolerant, 0.0, 0.0, 1e-3, 1e-6));
    EXPECT_NEAR(timerSteps().back(), 1e-3 + 1e-6, 1e-15);
}

TEST_F(Events, OneShotTimerTicksOnce) {
    for (double period : {0.0, -1.0, std::nan("")}) {
        SCOPED_TRACE(period);
        VXR_EventDesc* ev = keep(VXR_createSimEvent_timer(inst.ptr()));
        int fired = 0;
        for (double t : {0.0, 1e-3, 2e-3, 2.5e-3, 3e-3, 5e-3}) fired += tick(ev, t, 2e-3, period);
        EXPECT_EQ(fired, 1);
        EXPECT_EQ(timer(ev)->_prevEventTime, 2e-3);
    }
}

TEST_F(Events, StartChangesBeforeAndAfterTheTimerStarted) {
    VXR_EventDesc* ev = keep(VXR_createSimEvent_timer(inst.ptr()));
    tick(ev, 0.0, 1e-3, 1e-3);
    tick(ev, 0.5e-3, 1e-3, 1e-3);
    // Moved to 0.7 ms, which the point at 0.9 ms has stepped over.
    EXPECT_TRUE(tick(ev, 0.9e-3, 0.7e-3, 1e-3));
    ASSERT_EQ(g_violations.size(), 1u);
    EXPECT_EQ(g_violations[0], 0.7e-3);
    EXPECT_TRUE(timer(ev)->_timerStarted);
    // Started: later changes are ignored, with one warning in 1.87.
    tick(ev, 1.2e-3, 5e-3, 1e-3);
    tick(ev, 1.4e-3, 6e-3, 1e-3);
    EXPECT_EQ(timer(ev)->_cacheStartTime, 0.7e-3);
    EXPECT_DOUBLE_EQ(timer(ev)->_nextEventTime, 1.7e-3);
    const size_t warnings = VXR_REVISION == 187 ? 1 : 0;
    ASSERT_EQ(host.messages().size(), warnings);
    if (warnings) {
        EXPECT_EQ(host.messages()[0].body,
                  "A change in the timer start value is ignored after a periodic timer has started.\n"
                  "    Future warnings will be suppressed. ");
    }
}

TEST_F(Events, DisabledTimerNeverTicks) {
    VXR_EventDesc* ev = keep(VXR_createSimEvent_timer(inst.ptr()));
    int fired = 0;
    for (double t : {0.0, 1e-3, 2e-3, 3e-3}) fired += tick(ev, t, 0.0, 1e-3, 0.0, 0.0);
    EXPECT_EQ(fired, 0);
    EXPECT_FALSE(timer(ev)->_timerStarted);
}

// A period far below the spacing of doubles at the present time: the next
// tick still lies after the last accepted point, found without stepping
// through the skipped ticks.
TEST_F(Events, TinyPeriodAtALateTimeEnds) {
    VXR_EventDesc* ev = keep(VXR_createSimEvent_timer(inst.ptr()));
    tick(ev, 0.0, 0.0, 1e-20);
    tick(ev, 1e6, 0.0, 1e-20);
    EXPECT_GT(timer(ev)->_nextEventTime, 1e6);
}

// A timer saved with the instance's events and restored after more ticks
// takes up its schedule again where it was saved.
TEST_F(Events, TimerStateSavedAndRestoredWithTheInstance) {
    VXR_EventDesc* ev = VXR_createSimEvent_timer(inst.ptr());
    ASSERT_NE(ev, nullptr);
    VXR_DeviceInst* in = inst.ptr();
    in->numOfEvents = 1;
    in->pEvents = static_cast<VXR_EventDesc**>(VXR_calloc(1, sizeof(VXR_EventDesc*), nullptr, nullptr, nullptr));
    in->pEvents[0] = ev;
    tick(ev, 0.0, 0.0, 1e-3);
    tick(ev, 1e-3, 0.0, 1e-3);
    auto* ds = static_cast<VXR_DeviceState*>(VXR_calloc(1, sizeof(VXR_DeviceState), nullptr, nullptr, nullptr));
    ds->numOfEventStates = 1;
    ds->pEventState = static_cast<void**>(VXR_calloc(1, sizeof(void*), nullptr, nullptr, nullptr));
    ds->pDevice = in;
    VXR_SaveEvents(in, ds);
    tick(ev, 2e-3, 0.0, 1e-3);
    EXPECT_DOUBLE_EQ(timer(ev)->_nextEventTime, 3e-3);
    VXR_RestoreEvents(in, ds);
    EXPECT_DOUBLE_EQ(timer(ev)->_nextEventTime, 2e-3);
    EXPECT_TRUE(tick(ev, 2e-3, 0.0, 1e-3));
    VXR_freeDeviceState(ds);
    VXR_destroyEvents(in);
}

TEST_F(Events, LastCrossingInterpolates) {
    VXR_LastCrossing* lc = VXR_createLastCrossing(inst.ptr());
    ASSERT_NE(lc, nullptr);
    auto value = [&](double t, double F, double dir) {
        host.setTime(t);
        return VXR_LastCrossingVal(lc, F, dir, host.loader());
    };
    auto accept = [&](double t) {
        host.setTime(t);
        VXR_acceptLastCrossing(lc, host.loader());
    };
    EXPECT_EQ(value(0.0, -1.0, 0.0), -1.0);
    accept(0.0);
    EXPECT_EQ(value(1.0, -1.0, 0.0), -1.0);
    accept(1.0);
    struct Case {
        double dir, expect;
    };
    for (const Case c : {Case{1.0, 1.5}, Case{0.0, 1.5}, Case{-1.0, -1.0}}) EXPECT_EQ(value(2.0, 1.0, c.dir), c.expect);
    accept(2.0);
    EXPECT_EQ(lc->_lastPosCrossing, 1.5);
    value(3.0, -3.0, 0.0);
    accept(3.0); // falling through zero a quarter of the way
    EXPECT_EQ(lc->_lastNegCrossing, 2.25);
    EXPECT_EQ(value(4.0, -2.0, 0.0), 2.25);
    EXPECT_EQ(value(4.0, -2.0, 1.0), 1.5);
    VXR_free(lc);
}

} // namespace
