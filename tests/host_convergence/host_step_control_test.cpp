// The transient's step control on circuits without devices: time points
// that lie closer together than the minimum step, and the messages of a
// step that cannot be taken.
#include "vxrhost/Analysis.h"
#include "vxrhost/Netlist.h"
#include "vxrhost/StepControl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using namespace vxr;

namespace {

// PULSE(0 1 td 20n 20n 2.48u 10u) at time t.
double pulse(double t, double td) {
    const double per = 10e-6, tr = 20e-9, pw = 2.48e-6;
    if (t < td) return 0.0;
    const double s = std::fmod(t - td, per);
    if (s < tr) return s / tr;
    if (s < tr + pw) return 1.0;
    if (s < tr + pw + tr) return 1.0 - (s - tr - pw) / tr;
    return 0.0;
}

} // namespace

TEST(StepControl, CornerOneUlpBesidePrintPoint) {
    // Two PULSE sources whose corners lie 30 ps apart, one of them a
    // rounding error before a print point (100n + 14 x 10u + 20n against
    // 14012 x 10n): the corner and the print point are one time point.
    auto nl = Netlist::parse("* corner beside a print point\n"
                             "V1 a 0 PULSE(0 1 100n 20n 20n 2.48u 10u)\nR1 a 0 1k\n"
                             "V2 b 0 PULSE(0 1 99.97n 20n 20n 2.48u 10u)\nR2 b 0 1k\n"
                             ".tran 10n 150u\n.print tran v(a) v(b)\n.end\n",
                             ".");
    Simulator sim(nl->circuit());
    const auto probes = nl->probesFor(AnalysisCmd::TRAN);
    const Table t = sim.tran(nl->analyses().at(0).tran, probes);
    ASSERT_EQ(t.rows.size(), 15001u);
    for (size_t k = 0; k < t.rows.size(); ++k) {
        const auto& r = t.rows[k];
        ASSERT_NEAR(r[0], 1e-8 * static_cast<double>(k), 1e-18) << k;
        EXPECT_NEAR(r[1], pulse(r[0], 100e-9), 1e-9) << r[0];
        EXPECT_NEAR(r[2], pulse(r[0], 99.97e-9), 1e-9) << r[0];
    }
    // Every step is at least the minimum step (tstop x 1e-15).
    for (auto& [h, order] : sim.acceptedSteps) EXPECT_GE(h, 150e-6 * 1e-15);
}

TEST(StepControl, RestartsAtACornerOnAPrintPoint) {
    // The falling edge ends at 0.5u + 4u + 0.5u, which rounds a little past
    // the print point 50 x 0.1u: the step after it still starts afresh with
    // backward Euler and a small step, as after every other corner.
    auto nl = Netlist::parse("* rc\nV1 in 0 PULSE(0 1 0 0.5u 0.5u 4u 20u)\nR1 in out 100\nC1 out 0 10p\n"
                             ".tran 0.1u 10u\n.print tran v(out)\n.end\n",
                             ".");
    Simulator sim(nl->circuit());
    std::vector<double> times;
    sim.onAccept = [&](double t, const Eigen::VectorXd&) { times.push_back(t); };
    sim.tran(nl->analyses().at(0).tran, nl->probesFor(AnalysisCmd::TRAN));
    ASSERT_EQ(times.size(), sim.acceptedSteps.size() + 1);
    for (double corner : {0.5e-6, 4.5e-6, 5e-6}) {
        const size_t k = std::lower_bound(times.begin(), times.end(), corner * (1 - 1e-12)) - times.begin();
        ASSERT_LT(k + 1, times.size()) << corner;
        EXPECT_NEAR(times[k], corner, 1e-18) << corner;
        EXPECT_EQ(sim.acceptedSteps[k].second, 1) << corner; // the step leaving the corner
        EXPECT_LT(sim.acceptedSteps[k].first, 0.1e-6) << corner;
    }
}

TEST(StepControl, MessagesNameWhatHeldTheStep) {
    // A step limit below what the run needs: the message gives the limit and
    // what cut the step last; a truncation tolerance no step meets names the
    // capacitor's node with its error and tolerance.
    struct Case {
        std::string options, expect;
    } cases[] = {
        {".options tranlimit=50\n", "too many time steps at t = "},
        {".options tranlimit=50\n", "limit 50 steps tried"},
        {".options trtol=1e-30\n", "time step too small at t = "},
        {".options trtol=1e-30\n", "(worst: node 'out': truncation error "},
    };
    for (auto& c : cases) {
        auto nl = Netlist::parse("* rc\n" + c.options + "V1 in 0 SIN(0 1 1meg)\nR1 in out 1k\nC1 out 0 1n\n.tran 10n 10u\n.end\n",
                                 ".");
        try {
            nl->run();
            ADD_FAILURE() << c.options << ": no error";
        } catch (const SimError& e) {
            EXPECT_NE(std::string(e.what()).find(c.expect), std::string::npos) << e.what();
        }
    }
}

TEST(StepControl, MethodsFollowAnRcStepToTheirOrder) {
    // A 1 ns ramp to 1 V into 1k and 1n: the capacitor's exact response.
    // The second-order methods (gear too, not backward Euler under its name)
    // stay well within the first-order error bound.
    const double tau = 1e-6, tr = 1e-9;
    auto exact = [&](double t) {
        if (t < tr) return (t - tau * (1 - std::exp(-t / tau))) / tr;
        const double v1 = (tr - tau * (1 - std::exp(-tr / tau))) / tr;
        return v1 * std::exp(-(t - tr) / tau) + (1 - std::exp(-(t - tr) / tau));
    };
    struct Case {
        std::string method;
        double bound;
    } cases[] = {{"be", 2e-2}, {"trap", 1e-3}, {"gear", 1e-3}};
    for (auto& c : cases) {
        auto nl = Netlist::parse("* rc\n.options method=" + c.method +
                                     "\nV1 in 0 PULSE(0 1 0 1n 1n 1 2)\nR1 in out 1k\nC1 out 0 1n\n.tran 0.1u 10u\n"
                                     ".print tran v(out)\n.end\n",
                                 ".");
        Simulator sim(nl->circuit());
        const Table t = sim.tran(nl->analyses().at(0).tran, nl->probesFor(AnalysisCmd::TRAN));
        double worst = 0.0;
        for (auto& r : t.rows) worst = std::max(worst, std::abs(r[1] - exact(r[0])));
        EXPECT_LT(worst, c.bound) << c.method;
    }
}

TEST(StepControl, RowsFromTstartAndUpToAFailure) {
    // Rows start at tstart and lie on the print steps; a run that stops on
    // its step limit keeps every row it accepted before it stopped.
    struct Case {
        std::string options, tran;
        bool fails;
        double first;
    } cases[] = {
        {"", ".tran 10n 1u 0.5u", false, 0.5e-6},
        {".options tranlimit=50\n", ".tran 10n 10u", true, 0.0},
    };
    for (auto& c : cases) {
        auto nl = Netlist::parse("* rc\n" + c.options + "V1 in 0 SIN(0 1 1meg)\nR1 in out 1k\nC1 out 0 1n\n" + c.tran +
                                     "\n.print tran v(out)\n.end\n",
                                 ".");
        Simulator sim(nl->circuit());
        const TranSpec& setup = nl->analyses().at(0).tran;
        bool failed = false;
        try {
            sim.tran(setup, nl->probesFor(AnalysisCmd::TRAN));
        } catch (const SimError&) {
            failed = true;
        }
        ASSERT_EQ(failed, c.fails) << c.tran;
        const auto& rows = sim.table().rows;
        ASSERT_GE(rows.size(), 2u) << c.tran;
        for (size_t k = 0; k < rows.size(); ++k)
            ASSERT_NEAR(rows[k][0], c.first + setup.tstep * static_cast<double>(k), 1e-18) << c.tran << " row " << k;
        const double last = rows.back()[0];
        if (c.fails) EXPECT_LT(last, setup.tstop) << c.tran;
        else EXPECT_NEAR(last, setup.tstop, 1e-18) << c.tran;
        // The capacitor's voltage of a 1 MHz sine through 1k into 1n stays
        // below the sine's amplitude.
        for (auto& r : rows) EXPECT_LT(std::abs(r[1]), 1.0) << r[0];
    }
}

TEST(StepControl, DampedStepFromItsFirstOrderError) {
    // A second-order step of 10 ns, accepted with an error far below its
    // tolerance (the plan doubles it), is followed by a damped step whose
    // first-order estimate over the same 10 ns has the ratio given: beyond
    // the tolerance the damped step meets that estimate (with the safety
    // factor) but is at least half the step before; near the tolerance it
    // grows no further than the estimate admits but is not cut below the
    // step before; well within it the plan stands. It never exceeds the
    // second-order plan, and goes on to a point the estimate admits without
    // the safety factor instead of leaving a sliver before it.
    struct Case {
        const char* name;
        double ratio;  // first-order error over tolerance of the 10 ns step
        double target; // distance to the next point
        double h;      // the damped step planned
    } cases[] = {
        {"error cuts the step", 2.0, 1e-6, 0.9e-8 / std::sqrt(2.0)},
        {"large error halves it", 100.0, 1e-6, 5e-9},
        {"tiny error keeps the plan", 1e-6, 1e-6, 2e-8},
        {"error below half its tolerance keeps the plan", 0.4, 1e-6, 2e-8},
        {"error near its tolerance caps the growth", 0.64, 1e-6, 0.9e-8 / 0.8},
        {"error just within its tolerance keeps the step", 0.95, 1e-6, 1e-8},
        {"point within the estimate", 2.0, 7.0e-9, 7.0e-9},
        {"point beyond the estimate", 2.0, 7.2e-9, 0.9e-8 / std::sqrt(2.0)},
    };
    auto nl = Netlist::parse("* rc\nV1 in 0 DC 1\nR1 in out 1k\nC1 out 0 1n\n.tran 0.1u 10u\n.end\n", ".");
    const TranSpec& setup = nl->analyses().at(0).tran;
    const double time = 1e-6, h = 1e-8;
    for (const Case& c : cases) {
        StepController steps(nl->circuit(), setup);
        PlannedStep s;
        s.h = s.planned = h;
        s.tNew = time;
        TruncationError second;
        second.estimated = true;
        second.ratio = 1e-9;
        ASSERT_FALSE(steps.accepted(time, s, 2, second, setup.tstop, true)) << c.name;
        TruncationError first;
        first.estimated = true;
        first.ratio = c.ratio;
        steps.dampedNext(h, first);
        const PlannedStep next = steps.plan(time, time + c.target, setup.tstop, false);
        EXPECT_NEAR(next.h, c.h, 1e-9 * c.h) << c.name;
    }
}
