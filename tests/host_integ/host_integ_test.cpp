// idt, idtmod and absdelay in a simulated circuit: the "fixint" module of each
// revision with V(out) <+ op(V(in)), driven through the host's analyses.
// Reference values come from reference/integ_reference.py.
#include "host_test_util.h"
#include "reference/integ_reference.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>

using namespace vxr;

namespace {

class HostInteg : public ::testing::TestWithParam<int> {
protected:
    std::string netlist(const std::string& drive, const std::string& params, const std::string& tail) const {
        return ".lib " + fixture("int", GetParam()) + "\nV1 in 0 " + drive + "\nN1 in out fixint " + params + "\n" +
               tail;
    }
    // Transient of a netlist; the simulator is kept for its accepted steps.
    Table tran(Netlist& nl, Simulator& sim) const {
        return sim.tran(nl.analyses()[0].tran, nl.probesFor(AnalysisCmd::TRAN));
    }
};

struct IdtCase {
    const char* options; // netlist lines ahead of the analysis
    const char* drive;
    const char* params;
    double ic;
    const double* reference; // integral from 0 with ic 0, at the output points
    double tolReference;     // trapezoidal error of the largest step (10u)
    double tolTrapezoid;     // against the trapezoid over the accepted points
};

// The assert form integrates by the trapezoidal rule itself: it equals the
// cumulative trapezoid of the input over exactly the points the host
// accepted. The host integrates idt(F, ic) through the branch's charge,
// trapezoidal too but first-order on the short first step after time 0 and
// after each corner. The piecewise-linear pulse integrates exactly; the sine
// within hmax^2/12 * integral |F''| = 1e-10/12 * 8 omega.
TEST_P(HostInteg, IdtOfSineAndPulseIsTheirIntegral) {
    const double sineBound = 1e-10 / 12 * 8 * 2 * kPi * 1e3;
    const IdtCase cases[] = {
        {"", "SIN(0 1 1k)", "OP=1 IC=0.5", 0.5, kIdtSine, sineBound, 1e-10},
        {"", "SIN(0 1 1k)", "OP=2 IC=0 ASSERT=0", 0.0, kIdtSine, sineBound, 1e-15},
        {"", "PULSE(0 1 0.1m 0.1m 0.1m 0.3m 1m)", "OP=1 IC=-0.25", -0.25, kIdtPulse, 1e-9, 1e-9},
        // The row scale multiplies both parts of the row: the integral stays.
        {".options idt_scale=1e-6\n", "PULSE(0 1 0.1m 0.1m 0.1m 0.3m 1m)", "OP=1 IC=-0.25", -0.25, kIdtPulse, 1e-9,
         1e-9},
        {"", "PULSE(0 1 0.1m 0.1m 0.1m 0.3m 1m)", "OP=2 IC=0 ASSERT=0", 0.0, kIdtPulse, 1e-12, 1e-15},
    };
    for (const IdtCase& c : cases) {
        SCOPED_TRACE(std::string(c.options) + c.drive + " " + c.params);
        auto nl = quietNetlist(netlist(c.drive, c.params, std::string(c.options) + ".tran 10u 2m\n.print tran V(out)\n"));
        Simulator sim(nl->circuit());
        Table t = tran(*nl, sim);
        ASSERT_EQ(t.rows.size(), 201u);
        EXPECT_EQ(t.rows[0][1], c.ic); // held at the initial condition at time 0
        for (size_t k = 0; k < t.rows.size(); ++k)
            EXPECT_NEAR(t.rows[k][1], c.ic + c.reference[k], c.tolReference) << "t=" << t.rows[k][0];

        auto* src = dynamic_cast<VoltageSource*>(nl->circuit().find("V1"));
        ASSERT_NE(src, nullptr);
        auto F = [&](double time) { return src->waveform().value(time, AnalysisKind::TRAN); };
        double time = 0.0, sum = c.ic;
        size_t row = 1;
        for (auto [h, order] : sim.acceptedSteps) {
            sum += 0.5 * h * (F(time) + F(time + h));
            time += h;
            if (row < t.rows.size() && std::abs(time - t.rows[row][0]) <= 1e-9 * h) {
                time = t.rows[row][0]; // the host lands on its output points
                EXPECT_NEAR(t.rows[row][1], sum, c.tolTrapezoid) << "t=" << time;
                ++row;
            }
        }
        EXPECT_EQ(row, t.rows.size());
    }
}

// idt(F, ic, assert): asserted, the output stays at ic whatever the input.
TEST_P(HostInteg, AssertedIdtHoldsTheInitialCondition) {
    auto nl = quietNetlist(netlist("SIN(0 1 1k)", "OP=2 IC=0.125 ASSERT=1", ".tran 10u 1m\n.print tran V(out)\n"));
    Simulator sim(nl->circuit());
    for (auto& row : tran(*nl, sim).rows) EXPECT_EQ(row[1], 0.125) << "t=" << row[0];
}

// idtmod of 1 V: the output is t wrapped into [OFF, OFF + MOD), with the
// output on its own branch (SV=1) or without one (SV=0). Steps of 10u would
// move the integral by a third of the modulus: the operator asks for shorter
// ones.
TEST_P(HostInteg, IdtmodWraps) {
    for (int sv : {0, 1}) {
        SCOPED_TRACE("SV=" + std::to_string(sv));
        auto nl = quietNetlist(netlist("DC 1", "OP=3 IC=0 MOD=30u OFF=-8.5u SV=" + std::to_string(sv),
                                       ".tran 10u 1m\n.print tran V(out)\n"));
        Simulator sim(nl->circuit());
        Table t = tran(*nl, sim);
        ASSERT_EQ(t.rows.size(), 101u);
        for (size_t k = 0; k < t.rows.size(); ++k)
            ASSERT_NEAR(t.rows[k][1], kIdtmodRamp[k], 1e-12) << "t=" << t.rows[k][0];
        double longest = 0.0;
        for (auto [h, order] : sim.acceptedSteps) longest = std::max(longest, h);
        EXPECT_LE(longest, 7.5e-6 * (1 + 1e-9));
    }
}

TEST_P(HostInteg, AbsdelayShiftsAPulse) {
    auto nl = quietNetlist(netlist("PULSE(0 1 0.1m 0.05m 0.05m 0.2m 1m)", "OP=4 TD=0.15m MAXD=1m",
                                   ".op\n.tran 10u 1m\n.print op V(out)\n.print tran V(out)\n"));
    auto tables = nl->run();
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0].rows[0][0], 0.0);
    const Table& t = tables[1];
    ASSERT_EQ(t.rows.size(), 101u);
    // Linear interpolation of a piecewise-linear history whose corners are
    // accepted points is exact.
    for (size_t k = 0; k < t.rows.size(); ++k)
        EXPECT_NEAR(t.rows[k][1], kDelayedPulse[k], 1e-12) << "t=" << t.rows[k][0];
    EXPECT_TRUE(nl->circuit().host().messages.empty());
}

// A delay shorter than the time step reads between the last accepted point
// and the present one; on a ramp that is exact.
TEST_P(HostInteg, ShortDelayReadsTowardsThePresentPoint) {
    auto nl = quietNetlist(netlist("PWL(0 0 1m 1)", "OP=4 TD=3u", ".tran 10u 0.5m\n.print tran V(out)\n"));
    Simulator sim(nl->circuit());
    Table t = tran(*nl, sim);
    ASSERT_EQ(t.rows.size(), 51u);
    for (auto& row : t.rows) EXPECT_NEAR(row[1], std::max(row[0] - 3e-6, 0.0) / 1e-3, 1e-12) << "t=" << row[0];
    double longest = 0.0;
    for (auto [h, order] : sim.acceptedSteps) longest = std::max(longest, h);
    EXPECT_GT(longest, 3e-6);
}

struct AcCase {
    const char* params;
    const char* sweep;
    std::function<std::complex<double>(double)> response;
};

TEST_P(HostInteg, SmallSignalResponses) {
    const AcCase cases[] = {
        // e^(-j omega td): at td = 1 ns and 0.5 GHz, -1.
        {"OP=4 TD=1n", ".ac lin 3 0.25g 0.75g",
         [](double f) { return std::polar(1.0, -2 * kPi * f * 1e-9); }},
        {"OP=1 IC=1", ".ac dec 1 1k 1meg", [](double f) { return 1.0 / std::complex<double>(0, 2 * kPi * f); }},
        {"OP=3 IC=0 MOD=1 SV=1", ".ac dec 1 1k 1meg",
         [](double f) { return 1.0 / std::complex<double>(0, 2 * kPi * f); }},
    };
    for (const AcCase& c : cases) {
        SCOPED_TRACE(c.params);
        auto nl = quietNetlist(netlist("DC 0.5 AC 1", c.params, std::string(c.sweep) + "\n.print ac VR(out) VI(out)\n"));
        auto tables = nl->run();
        ASSERT_EQ(tables.size(), 1u);
        ASSERT_GE(tables[0].rows.size(), 3u);
        for (auto& row : tables[0].rows) {
            const std::complex<double> want = c.response(row[0]);
            EXPECT_NEAR(row[1], want.real(), 1e-12 * std::abs(want)) << "f=" << row[0];
            EXPECT_NEAR(row[2], want.imag(), 1e-12 * std::abs(want)) << "f=" << row[0];
        }
    }
}

TEST_P(HostInteg, NegativeDelayWarnsOnceAndUsesNoDelay) {
    auto nl = quietNetlist(netlist("PWL(0 0 0.1m 1)", "OP=4 TD=-1n", ".op\n.tran 10u 0.1m\n.print tran V(out) V(in)\n"));
    auto tables = nl->run();
    ASSERT_EQ(tables.size(), 2u);
    ASSERT_EQ(tables[1].rows.size(), 11u);
    for (auto& row : tables[1].rows) EXPECT_NEAR(row[1], row[2], 1e-15) << "t=" << row[0];
    const auto& messages = nl->circuit().host().messages;
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].severity, 1); // WARNING
    EXPECT_EQ(messages[0].text.rfind("A negative delay (-1.000000e-09) was supplied to the absdelay operator.\n"
                                     "A zero-valued delay will be used instead; future warnings will be suppressed.",
                                     0),
              0u)
        << messages[0].text;
}

INSTANTIATE_TEST_SUITE_P(Revisions, HostInteg, ::testing::Values(187, 160, 142),
                         [](const auto& info) { return "r" + std::to_string(info.param); });

} // namespace
