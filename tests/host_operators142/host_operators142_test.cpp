// Revision 1.42 transition, slew and zi in a simulated circuit: the
// "fixwave" module with V(out) <+ op(V(in)), driven through the host's
// analyses; the host computes the transition and slew waveforms and steps
// onto the breakpoints the objects and the filter ask for.
#include "host_test_util.h"
#include "reference/zi_reference.h"

#include <cmath>
#include <functional>

using namespace vxr;

namespace {

Table run(const std::string& drive, const std::string& params, const std::string& analysis) {
    auto nl = quietNetlist(".lib " + fixture("wave", 142) + "\nV1 in 0 " + drive + "\nN1 in out fixwave " + params +
                           "\n" + analysis + "\n.print tran V(out)\n.print op V(out)\n");
    Simulator sim(nl->circuit());
    const AnalysisCmd& a = nl->analyses()[0];
    return a.kind == AnalysisCmd::TRAN ? sim.tran(a.tran, nl->probesFor(AnalysisCmd::TRAN))
                                       : sim.op(nl->probesFor(AnalysisCmd::OP));
}

// The ideal output at every output point: a waveform that starts a corner
// late (a breakpoint the host stepped over) misses these values.
void expectWaveform(const Table& t, const std::function<double(double)>& ideal, double tol) {
    ASSERT_FALSE(t.rows.empty());
    for (const auto& r : t.rows) EXPECT_NEAR(r[1], ideal(r[0]), tol) << "t=" << r[0];
}

double ramp(double t, double t0, double t1, double v0, double v1) {
    if (t <= t0) return v0;
    if (t >= t1) return v1;
    return v0 + (v1 - v0) * (t - t0) / (t1 - t0);
}

// A step up and a step down, each delayed by TD and ramped over TR or TF;
// the corners lie off the output grid. The steps are vertical edges: the
// operator sees each at the first point after it, a hundredth of the step
// bound later (1 ns at .tran 0.1u 10u, 0.6 ns at .tran 0.1u 3u).
TEST(HostOperators142, TransitionOfAStepReachesItsRampCorners) {
    const std::string step = "PWL(0 0 1u 0 1u 1 5u 1 5u 0)";
    Table t = run(step, "OP=0 TD=0.5u TR=1u TF=2u", ".tran 0.1u 10u");
    ASSERT_EQ(t.rows.size(), 101u);
    expectWaveform(t, [](double s) {
        return s < 4e-6 ? ramp(s, 1.501e-6, 2.501e-6, 0, 1) : ramp(s, 5.501e-6, 7.501e-6, 1, 0);
    }, 1e-9);
    // A rise time of 0 takes the default DEF; in DC the output is the input.
    Table d = run(step, "OP=0 DEF=0.4u", ".tran 0.1u 3u");
    expectWaveform(d, [](double s) { return ramp(s, 1.0006e-6, 1.4006e-6, 0, 1); }, 1e-9);
    Table op = run("DC 0.7", "OP=0 TD=1u TR=1u", ".op");
    ASSERT_EQ(op.rows.size(), 1u);
    EXPECT_NEAR(op.rows[0][column(op, "V(out)")], 0.7, 1e-12);
}

// Rising at 1 V/us, falling at 2 V/us; a rate of the wrong sign is no limit.
TEST(HostOperators142, SlewLimitsTheRates) {
    const std::string step = "PWL(0 0 1u 0 1.000001u 1 5u 1 5.000001u 0)";
    Table t = run(step, "OP=1 SRP=1e6 SRN=-2e6", ".tran 0.1u 8u");
    expectWaveform(t, [](double s) {
        return s < 4e-6 ? ramp(s, 1e-6, 2e-6, 0, 1) : ramp(s, 5e-6, 5.5e-6, 1, 0);
    }, 1e-9);
    Table free = run(step, "OP=1 SRP=1e6 SRN=2e6", ".tran 0.1u 8u");
    expectWaveform(free, [](double s) { return s < 4e-6 ? ramp(s, 1e-6, 2e-6, 0, 1) : (s < 5e-6 ? 1.0 : 0.0); },
                   1e-9);
}

// The filter samples at 0, at t0 = 0.25u and then every 1u, each sample a
// breakpoint it asks for (off the output grid), and ramps to each target in
// TAU: halfway between two output points the output is the latest target,
// which follows lfilter from the DC start, for a step and for a ramp input
// (which a sample taken off its time would read wrong).
TEST(HostOperators142, ZiOutputFollowsTheFilter) {
    const char* nd = "OP=2 NB=3 B0=0.2 B1=0.3 B2=0.1 NA=3 A0=2 A1=-1.2 A2=0.5 T=1u TAU=10n";
    Table t = run("PWL(0 0.5 0.5u 0.5 0.5000001u 2)", nd, ".tran 0.5u 12u");
    ASSERT_EQ(t.rows.size(), 25u);
    EXPECT_NEAR(t.rows[0][1], kZiNd[0], 1e-12); // the DC gain at time 0
    for (int k = 0; k < 12; ++k) EXPECT_NEAR(t.rows[2 * k + 1][1], kZiNd[k], 1e-9) << "sample " << k;

    Table r = run("PWL(0 0.5 20u 5.5)", std::string(nd) + " T0=0.25u", ".tran 0.5u 11u");
    ASSERT_EQ(r.rows.size(), 23u);
    EXPECT_NEAR(r.rows[0][1], kZiNdRamp[0], 1e-12);
    for (int k = 1; k < 12; ++k) EXPECT_NEAR(r.rows[2 * k - 1][1], kZiNdRamp[k], 1e-9) << "sample " << k;
}

// One filter, zero -0.5 and poles 0.3 +- 0.4j, in the four forms.
TEST(HostOperators142, ZiFormsFollowTheSameFilter) {
    const char* forms[] = {
        "ZF=0 NB=2 B0=1 B1=0.5 PF=0 NA=3 A0=1 A1=-0.6 A2=0.25",
        "ZF=1 NB=2 B0=-0.5 B1=0 PF=0 NA=3 A0=1 A1=-0.6 A2=0.25",
        "ZF=0 NB=2 B0=1 B1=0.5 PF=1 NA=4 A0=0.3 A1=0.4 A2=0.3 A3=-0.4",
        "ZF=1 NB=2 B0=-0.5 B1=0 PF=1 NA=4 A0=0.3 A1=-0.4 A2=0.3 A3=0.4",
    };
    for (const char* f : forms) {
        SCOPED_TRACE(f);
        Table t = run("PWL(0 0.5 0.5u 0.5 0.5000001u 2)", std::string("OP=2 T=1u TAU=10n ") + f, ".tran 0.5u 12u");
        ASSERT_EQ(t.rows.size(), 25u);
        for (int k = 0; k < 12; ++k)
            EXPECT_NEAR(t.rows[2 * k + 1][1], kZiZp[k], 1e-9 * std::abs(kZiZp[k])) << "sample " << k;
    }
}

} // namespace
