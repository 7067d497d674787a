// Revision 1.42 z-domain filters against the recording host: coefficient
// preparation and its errors, the value handed to the embedded transition,
// the targets at successive samples against scipy's lfilter
// (reference/zi_reference.py), the sample schedule and saved states.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "allocation_sweep.h"
#include "fixture_module.h"
#include "op142_test_util.h"
#include "reference/zi_reference.h"

namespace {

using op142::copyOf;
using op142::idOf;
using op142::kCb;
using op142::Recorder;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<double> head(const double* p, int n) { return p ? std::vector<double>(p, p + n) : std::vector<double>{}; }

class Zi142 : public op142::OperatorTest {
protected:
    VXR_OpBranch_zi* op = nullptr;
    std::vector<VXR_Array*> arrays;

    void TearDown() override {
        releaseOp();
        for (VXR_Array* a : arrays) freeTestArray(a);
        op142::OperatorTest::TearDown();
    }
    // The next case of a table starts from a fresh fixture.
    void restart() {
        TearDown();
        arrays.clear();
        SetUp();
    }
    // What revision 1.42 never frees: the record, its buffers and its transition.
    void releaseOp() {
        if (!op) return;
        release(op->_pTrans);
        VXR_free(op->_numerCoeffs);
        VXR_free(op->_xHist);
        VXR_free(op->_denomCoeffs);
        VXR_free(op->_yHist);
        VXR_free(op);
        op = nullptr;
    }
    // A real (or integer) array [0 : n - 1]; an empty one has no elements.
    VXR_Array* array(const std::vector<double>& v, VXR_ArrayTypeE type = VXR_REAL_ARRAY) {
        const int n = static_cast<int>(v.size());
        VXR_Array* a = n ? makeArray(&c1.inst, type, "c", 0, n - 1, v) : VXR_createArray(&c1.inst, type, "c");
        arrays.push_back(a);
        return a;
    }
    void make(VXR_Array* numer, VXR_Array* denom, int zeroForm = 0, int poleForm = 0, double deflt = 0.0) {
        op = VXR_createOpBranch_zi("zi0", &c1.inst, numer, denom, zeroForm, poleForm, deflt);
        ASSERT_NE(op, nullptr);
        VXR_ziFinalizeTopology(op, kCb);
        VXR_ziSetStamp(op, kCb);
        rec.calls.clear();
    }
    // One accepted point at time t: the pass's load (input F, the output
    // branch carrying `out`), then the accept.
    void step(double t, double F, double out, double T = 1e-6, double tau = 1e-9, double t0 = 0.0) {
        host.setTime(t);
        host.setSolution(VXR_getBranchVar_zi(op), out);
        VXR_ziSetArg(op, F, T, tau, t0, host.loader());
        VXR_ziAcceptTimePoint(op, host.loader());
    }
    std::vector<std::string> errorBodies() const {
        std::vector<std::string> out;
        for (const auto& m : host.messages())
            if (m.type == MessageTypeE_ERROR) out.push_back(m.body);
        return out;
    }
};

struct CoeffCase {
    const char* what;
    std::optional<std::vector<double>> numer; // nullopt: absent
    int zeroForm;
    std::optional<std::vector<double>> denom;
    int poleForm;
    std::vector<double> wantNumer; // the first _numerOrder coefficients
    std::vector<double> wantDenom;
    std::vector<std::string> errors;
    VXR_ArrayTypeE type = VXR_REAL_ARRAY;
};

TEST_F(Zi142, CoefficientPreparation) {
    const CoeffCase cases[] = {
        {"coefficients", {{0.5}}, 0, {{1, -0.5}}, 0, {0.5}, {1, -0.5}, {}},
        {"integer arrays", {{1, 2}}, 0, {{4}}, 0, {1, 2}, {4}, {}, VXR_INT_ARRAY},
        // (1, 2) finds its conjugate two pairs on and takes it along:
        // (1 - 2 z^-1 + 5 z^-2)(1 - 3 z^-1); the count stays the value count.
        {"conjugates reordered", {{1, 2, 3, 0, 1, -2}}, 1, std::nullopt, 1, {1, -5, 11, -15, 0, 0}, {1}, {}},
        // A zero at the origin is the factor z^-1 here (the 1.87 filter
        // leaves it out and would give {1, -0.5}).
        {"origin zero", {{0, 0, 0.5, 0}}, 1, {{1}}, 0, {0, 1, -0.5, 0}, {1}, {}},
        // A pole at the origin: z^-1 leading zero removed from both sides.
        {"origin pole", {{0, 2}}, 0, {{0, 0}}, 1, {2}, {1}, {}},
        {"non-causal", {{1}}, 0, {{0, 1}}, 0, {1}, {1}, {"Non-causal z-transform operator."}},
        {"no leading denominator", {{1}}, 0, {{0, 0}}, 0, {1}, {0, 0},
         {"Leading denominator coefficient must be non-zero for operator 'zi0'."}},
        {"odd root list", {{0.5, 0, 1}}, 1, {{1}}, 0, {1, -0.5, 0}, {1},
         {"The numerator array for operator 'zi0' must have even size."}},
        // Without its conjugate the pair's quadratic is cut at the count.
        {"missing conjugate", {{1}}, 0, {{0.5, 0.5}}, 1, {1}, {1, -1},
         {"Complex denominator coefficients must have corresponding conjugates for 'zi0'."}},
        {"NaN imaginary part", {{1, kNaN}}, 1, {{1}}, 0, {1, 0}, {1},
         {"Complex numerator coefficients must have corresponding conjugates for 'zi0'."}},
        {"empty root list", {std::vector<double>{}}, 1, {{2}}, 0, {1}, {2}, {}},
        {"empty coefficient list", {{3}}, 0, {std::vector<double>{}}, 0, {3}, {1},
         {"The denominator array for operator 'zi0' must not be empty."}},
    };
    for (const CoeffCase& c : cases) {
        SCOPED_TRACE(c.what);
        host.clearLog();
        VXR_Array* n = c.numer ? array(*c.numer, c.type) : nullptr;
        VXR_Array* d = c.denom ? array(*c.denom, c.type) : nullptr;
        make(n, d, c.zeroForm, c.poleForm);
        VXR_ziComputeCoeffs(op);
        EXPECT_EQ(op->_coeffsComputed, 1);
        EXPECT_EQ(head(op->_numerCoeffs, op->_numerOrder), c.wantNumer);
        EXPECT_EQ(head(op->_denomCoeffs, op->_denomOrder), c.wantDenom);
        EXPECT_EQ(errorBodies(), c.errors);
        EXPECT_EQ(host.exitRequests(), static_cast<int>(c.errors.size()));
        for (VXR_Array* a : {n, d}) {
            if (a) {
                EXPECT_EQ(a->_contentsModified, 0u);
            }
        }
        // An absent array's form flag is cleared; a present one keeps it.
        EXPECT_EQ(op->_numerZeroForm, n ? c.zeroForm : 0);
        EXPECT_EQ(op->_denomPoleForm, d ? c.poleForm : 0);
        restart();
    }
}

// At time zero the transition gets the input times the DC gain and the
// derivative scaled alike; later the target of the latest sample and no
// derivative. The accept at zero fills the histories.
TEST_F(Zi142, TimeZeroAndLaterPasses) {
    make(array({0.5}), array({1, -0.5}), 0, 0, 3e-9);
    host.setTime(0.0);
    VXR_ziSetArg(op, 2.0, 1e-6, 0.0, 0.0, host.loader());
    VXR_ziSetArg_dwrt(op, op142::kCb, 3.0, host.loader());
    EXPECT_EQ(op->_cacheAlpha, 1.0);
    ASSERT_EQ(rec.transitionLoads.size(), 1u);
    const Recorder::TransitionLoad& l = rec.transitionLoads[0];
    EXPECT_EQ(l.F, 2.0);
    EXPECT_EQ(l.delay, 0.0);
    EXPECT_EQ(l.rise, 3e-9); // tau 0: the transition's default
    EXPECT_EQ(l.fall, 3e-9);
    EXPECT_EQ(l.tol, 0.0);
    EXPECT_EQ(rec.dwrts.at(0).dval, 3.0);
    host.setSolution(VXR_getBranchVar_zi(op), 2.0);
    VXR_ziAcceptTimePoint(op, host.loader());
    EXPECT_EQ(head(op->_xHist, 1), std::vector<double>{2});
    EXPECT_EQ(head(op->_yHist, 2), (std::vector<double>{2, 2}));
    EXPECT_EQ(op->_targetVal, 2.0); // (0.5 * 2 + 0.5 * 2) / 1: the operating point holds

    host.setTime(1e-6);
    VXR_ziSetArg(op, 4.0, 1e-6, 1e-9, 0.0, host.loader());
    VXR_ziSetArg_dwrt(op, op142::kCb, 3.0, host.loader());
    EXPECT_EQ(rec.transitionLoads.back().F, 2.0); // the target, whatever the input
    EXPECT_EQ(rec.transitionLoads.back().rise, 1e-9);
    EXPECT_EQ(rec.dwrts.back().dval, 0.0);
    VXR_ziAcceptTimePoint(op, host.loader());
    EXPECT_EQ(op->_targetVal, 3.0); // 0.5 * 4 + 0.5 * 2
    // The transition accepts first, at every point.
    EXPECT_EQ(rec.calls.at(2), "accept 1");

    // Reset and noise change nothing.
    const double target = op->_targetVal, next = op->_nextSampleTime;
    VXR_ziReset(op);
    VXR_addNoiseForOp_zi(nullptr, op, 1.0, host.loader());
    EXPECT_EQ(op->_targetVal, target);
    EXPECT_EQ(op->_nextSampleTime, next);
}

// A DC start then a step: the targets at successive samples follow the
// difference equation as scipy's lfilter does from the DC steady state.
TEST_F(Zi142, TargetsFollowTheFilterFromADcStart) {
    const struct {
        const char* what;
        std::vector<double> numer, denom;
        int zeroForm, poleForm;
        const double* reference;
    } cases[] = {
        {"coefficients, leading 2", {0.2, 0.3, 0.1}, {2.0, -1.2, 0.5}, 0, 0, kZiNd},
        {"zero -0.5, poles 0.3 +- 0.4j", {-0.5, 0}, {0.3, -0.4, 0.3, 0.4}, 1, 1, kZiZp},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        make(array(c.numer), array(c.denom), c.zeroForm, c.poleForm);
        host.setTime(0.0);
        VXR_ziSetArg(op, 0.5, 1e-6, 1e-9, 0.0, host.loader());
        const double dcOut = op->_cacheAlpha * 0.5; // what the transition carries at time 0
        EXPECT_NEAR(dcOut, c.reference[0], 1e-14);
        step(0.0, 0.5, dcOut);
        EXPECT_NEAR(op->_targetVal, c.reference[0], 1e-14);
        for (int k = 1; k < 12; ++k) {
            // The host lands on the requested sample time; each ramp has
            // ended by then, so the output is the last target.
            step(op->_nextSampleTime, 2.0, op->_targetVal);
            EXPECT_NEAR(op->_targetVal, c.reference[k], 1e-13 * std::abs(c.reference[k])) << "sample " << k;
        }
        restart();
    }
}

// Samples at 0 and from t0 (or T) every T, each asking for a breakpoint at
// the next; points before the next sample change nothing and ask nothing; a
// point more than a period late moves the sample time by one period only.
TEST_F(Zi142, SampleScheduleAndBreakpoints) {
    const struct {
        double t0;
        std::vector<double> accepts;
        std::vector<double> breakpoints;
    } cases[] = {
        {0.0, {0.0, 1e-6, 2e-6}, {1e-6, 2e-6, 3e-6}},
        {2.5e-7, {0.0, 2.5e-7, 1.25e-6, 2.25e-6}, {2.5e-7, 1.25e-6, 2.25e-6, 3.25e-6}},
        {0.0, {0.0, 1e-6, 1.9e-6, 4.5e-6, 4.6e-6, 4.7e-6, 4.8e-6}, {1e-6, 2e-6, 3e-6, 4e-6, 5e-6}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.t0);
        make(array({1}), array({1}));
        rec.breakpoints.clear();
        int transitionAccepts = 0;
        for (double t : c.accepts) {
            const double target = op->_targetVal, next = op->_nextSampleTime;
            const size_t bps = rec.breakpoints.size();
            step(t, t * 1e6, 0.0, 1e-6, 1e-9, c.t0);
            ++transitionAccepts;
            if (t < next) { // no sample
                EXPECT_EQ(op->_targetVal, target) << t;
                EXPECT_EQ(op->_nextSampleTime, next) << t;
                EXPECT_EQ(rec.breakpoints.size(), bps) << t;
            } else {
                EXPECT_EQ(op->_targetVal, t * 1e6) << t;
            }
        }
        ASSERT_EQ(rec.breakpoints.size(), c.breakpoints.size());
        for (size_t i = 0; i < c.breakpoints.size(); ++i) EXPECT_DOUBLE_EQ(rec.breakpoints[i], c.breakpoints[i]);
        EXPECT_EQ(std::count_if(rec.calls.begin(), rec.calls.end(),
                                [](const std::string& s) { return s.rfind("accept ", 0) == 0; }),
                  transitionAccepts);
        restart();
    }
}

// A recompute frees the buffers it replaces and starts from zeroed histories.
TEST_F(Zi142, RecomputeReplacesTheBuffers) {
    VXR_Array* n = array({0.5, 0.25});
    make(n, array({1, -0.5}));
    step(0.0, 1.0, 1.0);
    const long live = vxr_test::liveBlocks();
    n->_data._pReal[1] = 0.125;
    n->_contentsModified = 1;
    host.setTime(1e-6);
    VXR_ziSetArg(op, 1.0, 1e-6, 1e-9, 0.0, host.loader());
    EXPECT_EQ(n->_contentsModified, 0u);
    EXPECT_EQ(vxr_test::liveBlocks(), live);
    EXPECT_EQ(head(op->_numerCoeffs, 2), (std::vector<double>{0.5, 0.125}));
    EXPECT_EQ(head(op->_xHist, 2), (std::vector<double>{0, 0}));
    EXPECT_EQ(head(op->_yHist, 2), (std::vector<double>{0, 0}));
}

// Save, move on, restore twice; a restore after the orders changed copies
// what both hold; a device state frees the copies and the nested transition
// state; restoring none forgets the coefficients.
TEST_F(Zi142, SaveAndRestore) {
    VXR_Array* n = array({0.5, 0.25});
    make(n, array({1, -0.5}));
    EXPECT_EQ(VXR_ziSaveState(op), nullptr); // no coefficients yet
    step(0.0, 1.0, 1.0);
    step(1e-6, 2.0, 1.0);
    ziState* s = VXR_ziSaveState(op);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->_opState.opStateType, VXR_ZI_STATE);
    EXPECT_EQ(copyOf(s->_pTransitionState), idOf(op->_pTrans->_pTransitionState));
    const std::vector<double> x = head(op->_xHist, 2), y = head(op->_yHist, 2);
    const double target = op->_targetVal, next = op->_nextSampleTime;
    step(2e-6, 5.0, 3.0, 2e-6, 4e-9, 1e-7);
    VXR_ziRestoreState(op, s);
    VXR_ziRestoreState(op, s);
    EXPECT_EQ(head(op->_xHist, 2), x);
    EXPECT_EQ(head(op->_yHist, 2), y);
    EXPECT_EQ(op->_targetVal, target);
    EXPECT_EQ(op->_nextSampleTime, next);
    EXPECT_EQ(op->_cacheF, 2.0);
    EXPECT_EQ(op->_cacheT, 1e-6);
    EXPECT_EQ(op->_cacheTau, 1e-9);
    EXPECT_EQ(op->_cache_t0, 0.0);
    EXPECT_EQ(copyOf(op->_pTrans->_pTransitionState), idOf(s->_pTransitionState));

    // Three numerator coefficients now: two entries come back, the third is 0.
    op->_pNumer = array({0.5, 0.25, 0.125});
    VXR_ziSetArg(op, 2.0, 1e-6, 1e-9, 0.0, host.loader());
    ASSERT_EQ(op->_numerOrder, 3);
    VXR_ziRestoreState(op, s);
    EXPECT_EQ(head(op->_xHist, 3), (std::vector<double>{x[0], x[1], 0.0}));

    const int nested = idOf(s->_pTransitionState);
    freeInDeviceState(s);
    EXPECT_EQ(rec.freed.back(), nested);

    VXR_ziRestoreState(op, nullptr);
    EXPECT_EQ(op->_coeffsComputed, 0);
    EXPECT_EQ(op->_targetVal, target);
}

TEST_F(Zi142, ContractViolationsStopTheProgram) {
    make(nullptr, array({1}), 0, 0);
    EXPECT_DEATH(VXR_ziComputeCoeffs(op), "Assertion failed: pOp->_numerZeroForm, file VXR_SupportLib");
    EXPECT_DEATH(VXR_getDerivDoubletOpBranch_zi(op, host.terminal("in"), nullptr, DDT_ENTRY, LIN_DEP, kCb),
                 "target != DDT_ENTRY");
    EXPECT_EQ(VXR_getBranchVar_zi(nullptr), nullptr);
}

// Every allocation of a filter's life failing in turn (record, transition,
// coefficients, histories, root conversion, saved state and its copies):
// one report each time, a filter that goes on, and nothing left behind.
TEST_F(Zi142, AllocationFailuresOverTheLife) {
    const int failures = vxr_test::sweepAllocationFailures([&](int k) {
        host.clearLog();
        VXR_Array* n = array({-0.5, 0});
        VXR_Array* d = array({0.3, 0.4, 0.3, -0.4});
        const long start = vxr_test::liveBlocks();
        vxr_test::failAllocationAfter(k);
        op = VXR_createOpBranch_zi("zi0", &c1.inst, n, d, 1, 1, 0.0);
        ziState* s = nullptr;
        if (op) {
            VXR_ziFinalizeTopology(op, kCb);
            VXR_ziSetStamp(op, kCb);
            step(0.0, 1.0, 1.0);
            step(1e-6, 2.0, 1.0);
            s = VXR_ziSaveState(op);
            if (s) VXR_ziRestoreState(op, s);
        }
        vxr_test::failAllocationAfter(-1);
        const size_t errors = host.messageTexts(MessageTypeE_ERROR).size();
        EXPECT_EQ(errors, vxr_test::allocationFailed() ? 1u : 0u) << ::testing::PrintToString(host.messageTexts());
        EXPECT_EQ(static_cast<size_t>(host.exitRequests()), errors);
        if (s) freeInDeviceState(s);
        releaseOp();
        EXPECT_EQ(vxr_test::liveBlocks(), start);
    });
    EXPECT_GE(failures, 10);
}

// Against the static-check loader SetArg prepares the coefficients and takes
// the time-zero path; its transition load does nothing.
TEST_F(Zi142, StaticCheckLoader) {
    op = VXR_createOpBranch_zi("zi0", &c1.inst, array({2}), array({4}), 0, 0, 0.0);
    EXPECT_EQ(VXR_getBranchVar_zi(op), nullptr); // before topology
    VXR_ziSetArg(op, 3.0, 1e-6, 0.0, 0.0, &VXR_StaticCheckLoader);
    EXPECT_EQ(op->_coeffsComputed, 1);
    EXPECT_EQ(op->_cacheAlpha, 0.5);
    EXPECT_TRUE(rec.transitionLoads.empty());
}

} // namespace
