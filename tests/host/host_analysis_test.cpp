// Analyses against closed forms, through the fixture modules of each revision.
#include "host_test_util.h"

#include <cmath>
#include <cstdio>
#include <complex>

using namespace vxr;

namespace {

constexpr double kPi = 3.14159265358979323846;

class HostAnalysis : public ::testing::TestWithParam<int> {};

TEST_P(HostAnalysis, ResistiveDividerAtDc) {
    auto nl = quietNetlist(".lib " + fixture("rc", GetParam()) +
                           "\nV1 in 0 10\nN1 in out 0 fixrc R=3k C=1n\nR2 out 0 1k\n.op\n.print V(out) I(V1) I(R2)\n");
    auto t = nl->run();
    ASSERT_EQ(t.size(), 1u);
    EXPECT_NEAR(t[0].rows[0][column(t[0], "V(out)")], 2.5, 1e-9);
    EXPECT_NEAR(t[0].rows[0][column(t[0], "I(V1)")], -10.0 / 4000.0, 1e-12);
    EXPECT_NEAR(t[0].rows[0][column(t[0], "I(R2)")], 2.5e-3, 1e-12);
}

TEST_P(HostAnalysis, RcLowPassAc) {
    const double R = 2e3, C = 1e-7;
    auto nl = quietNetlist(".lib " + fixture("rc", GetParam()) +
                           "\nV1 in 0 DC 0 AC 2 30\nN1 in out 0 fixrc R=2k C=100n\n.ac dec 4 10 1meg\n.print ac VM(out) VP(out)\n");
    auto t = nl->run()[0];
    ASSERT_EQ(t.rows.size(), 21u);
    for (auto& row : t.rows) {
        double w = 2 * kPi * row[0];
        std::complex<double> h = std::polar(2.0, 30 * kPi / 180) / std::complex<double>(1.0, w * R * C);
        EXPECT_NEAR(row[1], std::abs(h), 1e-9 * std::abs(h) + 1e-15) << "f=" << row[0];
        EXPECT_NEAR(row[2], std::arg(h) * 180 / kPi, 1e-7) << "f=" << row[0];
    }
}

// The step response of a first-order section: the global error is bounded by
// the sum of the local truncation errors of the steps taken (both methods are
// contractive for this equation): (h/tau)^2/2 per Euler step, (h/tau)^3/12
// per trapezoidal step, in units of the final value.
double truncationBound(const std::vector<std::pair<double, int>>& steps, double tau) {
    double b = 0;
    for (auto [h, order] : steps) b += order == 1 ? std::pow(h / tau, 2) / 2 : std::pow(h / tau, 3) / 12;
    return b;
}

struct StepCase {
    const char* method;
    const char* kind;
};

TEST_P(HostAnalysis, StepResponsesStayWithinTheTruncationBound) {
    for (auto sc : {StepCase{"be", "rc"}, StepCase{"trap", "rc"}, StepCase{"be", "rl"}, StepCase{"trap", "rl"}}) {
        SCOPED_TRACE(std::string(sc.kind) + " " + sc.method);
        bool rc = std::string(sc.kind) == "rc";
        // RC: tau = 1 ms, V(out). RL: tau = L/R = 1 us, the inductor current.
        std::string net = ".lib " + fixture(sc.kind, GetParam()) + "\n.options method=" + sc.method + "\n" +
                          "V1 in 0 PULSE(0 2 0 1p 1p 1 2)\n" +
                          (rc ? "N1 in out 0 fixrc R=1k C=1u\n.tran 0.1m 5m 0 20u\n.print tran V(out)\n"
                              : "N1 in 0 fixrl L=1m R=1k\n.tran 0.1u 5u 0 20n\n.print tran I(N1.br_A_MID_i) I(V1)\n");
        auto nl = quietNetlist(net);
        Simulator sim(nl->circuit());
        auto& a = nl->analyses()[0];
        auto t = sim.tran(a.tran, nl->probesFor(AnalysisCmd::TRAN));
        const double tau = rc ? 1e-3 : 1e-6, final = rc ? 2.0 : 2e-3;
        double bound = final * truncationBound(sim.acceptedSteps, tau) + 1e-9 * final;
        ASSERT_EQ(t.rows.size(), 51u);
        double worst = 0;
        for (auto& row : t.rows) {
            double expect = final * (1 - std::exp(-row[0] / tau));
            double err = std::abs(row[1] - expect);
            worst = std::max(worst, err);
            EXPECT_LE(err, bound) << "t=" << row[0];
            if (!rc) {
                EXPECT_NEAR(row[2], -row[1], 1e-12); // the source delivers the branch current
            }
        }
        EXPECT_LT(worst, 0.01 * final);
        EXPECT_GT(sim.acceptedSteps.size(), 50u);
    }
}

// A source whose first segment is only a few minimum steps long: the first
// steps after the start, a tenth of the way to the next breakpoint, must not
// fall below the minimum step.
TEST_P(HostAnalysis, FirstSegmentOfAFewMinimumStepsIsStepped) {
    auto nl = quietNetlist(".lib " + fixture("rc", GetParam()) +
                           "\nV1 in 0 PWL(0 0 2e-17 2)\nN1 in out 0 fixrc R=1k C=1u\n.tran 0.1m 5m\n.print tran V(out)\n");
    auto t = nl->run();
    ASSERT_EQ(t.size(), 1u);
    ASSERT_EQ(t[0].rows.size(), 51u);
    for (auto& row : t[0].rows) EXPECT_NEAR(row[1], 2.0 * (1 - std::exp(-row[0] / 1e-3)), 0.02) << "t=" << row[0];
}

// Diode with a series resistor: V(a) solved independently by bisection.
double diodeVoltage(double vs, double r, double is, double n, double tempC) {
    double vt = 1.380649e-23 * (tempC + 273.15) / 1.602176634e-19;
    auto f = [&](double v) { return is * (std::exp(v / (n * vt)) - 1) - (vs - v) / r; };
    double lo = -1, hi = std::max(vs, 0.0) + 1e-3;
    if (vs < 0) lo = vs - 1e-3;
    for (int i = 0; i < 200; ++i) {
        double m = 0.5 * (lo + hi);
        (f(m) > 0 ? hi : lo) = m;
    }
    return 0.5 * (lo + hi);
}

TEST_P(HostAnalysis, DiodeOperatingPointAndSweep) {
    auto nl = quietNetlist(".lib " + fixture("diode", GetParam()) +
                           "\n.temp 50\n.options reltol=1e-6\nV1 in 0 5\nR1 in a 1k\nN1 a 0 fixdiode IS=2e-14 N=1.5 CJ=1p\n"
                           ".op\n.dc V1 -1 3 0.25\n.print V(a)\n");
    auto t = nl->run();
    double va = diodeVoltage(5, 1e3, 2e-14, 1.5, 50);
    EXPECT_NEAR(t[0].rows[0][0], va, 1e-8);
    ASSERT_EQ(t[1].rows.size(), 17u);
    for (auto& row : t[1].rows) EXPECT_NEAR(row[1], diodeVoltage(row[0], 1e3, 2e-14, 1.5, 50), 1e-8) << row[0];
}

// Two diodes in series driven hard from zero bias, where a plain or merely
// damped Newton step lands on currents of 1e30 A and beyond. Reference: the
// series current (and with it both voltages) by bisection of its logarithm.
struct StackCase {
    const char* drive; // a source into node a
    double is1, n1, is2, n2, r2; // diode a-b, diode b-0, resistor b-0 (0: none)
    double vs, rs;               // voltage drive through rs; 0: current drive of vs amperes
};

// Forward voltage of a diode at current i (27 C).
double forward(double i, double is, double n) { return n * 1.380649e-23 * 300.15 / 1.602176634e-19 * std::log1p(i / is); }

// V(a), V(b) of a case: the current of diode 2 (and with it V(b)) by bisection.
std::pair<double, double> stackVoltages(const StackCase& c) {
    auto solve = [](auto f, double lo, double hi) { // f increasing; bisection in log space
        for (int k = 0; k < 400; ++k) {
            double m = std::sqrt(lo * hi);
            (f(m) > 0 ? hi : lo) = m;
        }
        return std::sqrt(lo * hi);
    };
    if (c.rs == 0) { // current drive: i = id2 + vb / r2
        double i = c.vs;
        double i2 = c.r2 > 0 ? solve([&](double x) { return x + forward(x, c.is2, c.n2) / c.r2 - i; }, 1e-300, i) : i;
        double vb = forward(i2, c.is2, c.n2);
        return {vb + forward(i, c.is1, c.n1), vb};
    }
    double i = solve([&](double x) { return x * c.rs + forward(x, c.is1, c.n1) + forward(x, c.is2, c.n2) - c.vs; }, 1e-300,
                     c.vs / c.rs);
    double vb = forward(i, c.is2, c.n2);
    return {vb + forward(i, c.is1, c.n1), vb};
}

std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

TEST_P(HostAnalysis, StronglyNonLinearCircuitsConvergeFromZeroBias) {
    const StackCase cases[] = {
        {"I1 0 a 73.2", 1.44875e-17, 1.6254, 1.37005e-17, 2.24739, 0.0462647, 73.2, 0},
        {"I1 0 a 4561", 1.2e-16, 1.0, 2.07e-23, 0.774, 0.0751, 4561, 0},
        {"I1 0 a 10", 1e-30, 1.0, 1e-30, 1.0, 0, 10, 0},
        {"V1 in 0 50\nR1 in a 10m", 1e-16, 1.0, 1e-18, 2.0, 0, 50, 0.01},
    };
    for (const StackCase& c : cases) {
        std::string net = ".lib " + fixture("diode", GetParam()) + "\n.options reltol=1e-6\n" + c.drive +
                          "\nN1 a b fixdiode IS=" + num(c.is1) + " N=" + num(c.n1) + " XMAX=700\nN2 b 0 fixdiode IS=" +
                          num(c.is2) + " N=" + num(c.n2) + " XMAX=700\n" + (c.r2 > 0 ? "R2 b 0 " + num(c.r2) + "\n" : "") +
                          ".op\n.print V(a) V(b)\n";
        SCOPED_TRACE(net);
        auto [va, vb] = stackVoltages(c);
        auto t = quietNetlist(net)->run();
        EXPECT_NEAR(t[0].rows[0][0], va, 1e-5 * va);
        EXPECT_NEAR(t[0].rows[0][1], vb, 1e-5 * vb);
    }
}

// A diode switched hard on and off: its stiff rows beside the source's unit
// entries are no singular matrix. Settled values: the static diode voltage
// while the pulse is high, the source voltage while it is low.
TEST_P(HostAnalysis, HardSwitchedDiodeTransient) {
    const double vs = 9.56318, r = 58.9661, is = 1.04021e-14, n = 0.916217;
    auto nl = quietNetlist(".lib " + fixture("diode", GetParam()) + "\n.options reltol=1e-6\nV1 in 0 PULSE(" + num(-vs) +
                           " " + num(vs) + " 1u 10n 10n 2u 5u)\nR1 in a " + num(r) + "\nN1 a 0 fixdiode IS=" + num(is) +
                           " N=" + num(n) + " CJ=1.81135e-12 TT=2.14412e-08\nC1 a 0 1p\n.tran 0.5u 10u\n.print tran V(a)\n");
    auto t = nl->run()[0];
    ASSERT_EQ(t.rows.size(), 21u);
    EXPECT_NEAR(t.rows[6][1], diodeVoltage(vs, r, is, n, 27), 1e-6);  // t = 3 us
    EXPECT_NEAR(t.rows[20][1], diodeVoltage(-vs, r, is, n, 27), 1e-6); // t = 10 us
}

TEST_P(HostAnalysis, DiodeStrobedAtEveryAcceptedPoint) {
    auto nl = quietNetlist(".lib " + fixture("diode", GetParam()) +
                           "\nV1 in 0 SIN(0 1 1k)\nR1 in a 1k\nN1 a 0 fixdiode VERBOSE=1\n.tran 0.1m 1m\n");
    Simulator sim(nl->circuit());
    sim.tran(nl->analyses()[0].tran, nl->probesFor(AnalysisCmd::TRAN));
    int strobes = 0;
    for (auto& m : nl->circuit().host().messages)
        if (m.severity == 3 /* strobe */ && m.text.rfind("N1: V(A,C)", 0) == 0) ++strobes;
    EXPECT_EQ(strobes, static_cast<int>(sim.acceptedSteps.size()) + 1); // plus the initial point
}

// Circuits of many library instances alive side by side, one of them
// destroyed before the others run: every diode sits behind its own series
// resistance (a built-in resistor or, for every other one, the resistor of a
// library resistor-inductor at DC) and solves as if it were alone.
TEST_P(HostAnalysis, ManyInstancesOfCircuitsAliveTogetherSolveEachOnItsOwn) {
    const int count = 120;
    auto build = [&](double vs) {
        std::string net = ".lib " + fixture("diode", GetParam()) + "\n.lib " + fixture("rl", GetParam()) +
                          "\n.options reltol=1e-6\nV1 in 0 " + num(vs) + "\n";
        std::string print = ".print";
        for (int k = 1; k <= count; ++k) {
            const std::string K = std::to_string(k), r = num(100.0 * k + vs);
            net += k % 2 ? "R" + K + " in a" + K + " " + r + "\n" : "NL" + K + " in a" + K + " fixrl L=1u R=" + r + "\n";
            net += "ND" + K + " a" + K + " 0 fixdiode IS=1e-14 N=1.2\n";
            print += " V(a" + K + ")";
        }
        return quietNetlist(net + ".op\n" + print + "\n");
    };
    auto expectSolved = [&](Netlist& nl, double vs) {
        SCOPED_TRACE(vs);
        auto t = nl.run();
        ASSERT_EQ(t.size(), 1u);
        ASSERT_EQ(t[0].rows.size(), 1u);
        ASSERT_EQ(t[0].rows[0].size(), static_cast<size_t>(count));
        for (int k = 1; k <= count; ++k)
            EXPECT_NEAR(t[0].rows[0][k - 1], diodeVoltage(vs, 100.0 * k + vs, 1e-14, 1.2, 27), 1e-8) << "a" << k;
    };
    auto first = build(5);
    auto second = build(3);
    first.reset();
    auto third = build(4);
    expectSolved(*second, 3);
    expectSolved(*third, 4);
}

INSTANTIATE_TEST_SUITE_P(Revisions, HostAnalysis, ::testing::Values(187, 160, 142),
                         [](const auto& info) { return "r" + std::to_string(info.param); });

TEST(HostLibraries, RevisionsSideBySideAgree) {
    std::string net;
    for (int rev : {187, 160, 142}) net += ".lib " + fixture("rc", rev) + " rc" + std::to_string(rev) + "\n";
    net += "V1 in 0 AC 1\n";
    for (int rev : {187, 160, 142})
        net += "N" + std::to_string(rev) + " in o" + std::to_string(rev) + " 0 rc" + std::to_string(rev) + " R=1k C=1u\n";
    net += ".ac lin 3 100 300\n.print ac VM(o187) VM(o160) VM(o142) VP(o187) VP(o142)\n";
    auto t = quietNetlist(net)->run()[0];
    for (auto& row : t.rows) {
        EXPECT_DOUBLE_EQ(row[1], row[2]);
        EXPECT_DOUBLE_EQ(row[1], row[3]);
        EXPECT_DOUBLE_EQ(row[4], row[5]);
    }
}

// A load pass stamps resistors and capacitors in place, unless it carries
// the rounding of each slot, when every element goes through its own load.
// Both must add the same terms in the same order: at nodes where terms of
// unlike sizes meet (and between the other elements' loads), every row of
// f, q and their magnitudes and every slot of G and C are the same bits.
TEST(HostLoadPass, InPlaceStampsAddWhatTheElementsLoadAdds) {
    auto nl = quietNetlist("V1 in 0 PULSE(0 5 1n 2n 2n 10n 40n)\nR1 in a 1.3k\nC1 a 0 3.3n\nR2 a b 0.7\n"
                           "L1 b c 1u\nC2 b a 1e-15\nR3 c 0 1e7\nC3 c in 4.7p\nI1 0 c 1m\nR4 a c 2.2e-3\n"
                           "C4 0 b 2.2u\nR5 b in 3.3e5\nV2 c d 1.5\nR6 d 0 47\nC5 d a 6.8e-12\n.tran 1n 10n\n");
    Circuit& c = nl->circuit();
    c.setup();
    Eigen::VectorXd x(c.size());
    for (int i = 0; i < c.size(); ++i) x[i] = std::ldexp(1.0 + 0.37 * i, 9 - 5 * (i % 5)) * (i % 3 ? 1 : -1);
    auto pass = [&](bool carry) {
        EvalContext ctx;
        ctx.analysis = AnalysisKind::TRAN;
        ctx.time = 3e-9;
        ctx.carryRounding = carry;
        c.evaluate(ctx, x);
        return ctx;
    };
    const EvalContext inPlace = pass(false), loaded = pass(true);
    for (int i = 0; i < c.size(); ++i) {
        EXPECT_EQ(inPlace.f[i], loaded.f[i]) << c.unknowns()[i].name;
        EXPECT_EQ(inPlace.fmag[i], loaded.fmag[i]) << c.unknowns()[i].name;
        EXPECT_EQ(inPlace.q[i], loaded.q[i]) << c.unknowns()[i].name;
        EXPECT_EQ(inPlace.qmag[i], loaded.qmag[i]) << c.unknowns()[i].name;
    }
    ASSERT_EQ(inPlace.G.size(), loaded.G.size());
    ASSERT_EQ(inPlace.C.size(), loaded.C.size());
    for (size_t s = 0; s < inPlace.G.size(); ++s) {
        EXPECT_EQ(inPlace.G[s], loaded.G[s]) << s;
        EXPECT_EQ(inPlace.C[s], loaded.C[s]) << s;
    }
}

TEST(HostLibraries, DescribeReadsDefaultsThroughTheGetSlots) {
    for (int rev : {187, 160, 142}) {
        auto lib = ModelLibrary::open(fixture("diode", rev));
        EXPECT_EQ(lib->revision(), rev);
        EXPECT_EQ(lib->buildId().size(), 32u);
        std::string d = describeLibrary(*lib);
        EXPECT_NE(d.find("module:     fixdiode"), std::string::npos) << d;
        EXPECT_NE(d.find("terminals:  A C"), std::string::npos) << d;
        EXPECT_NE(d.find("IS       real           1e-14"), std::string::npos) << d;
        EXPECT_NE(d.find("VERBOSE  integer        0"), std::string::npos) << d;
        EXPECT_NE(d.find(rev == 142 ? "revision:   1.42\n" : "(1."), std::string::npos) << d;
    }
}

TEST(HostLibraries, OpenFailuresAreReported) {
    EXPECT_THROW(ModelLibrary::open("/nonexistent/lib.so"), SimError);
    try {
        ModelLibrary::open("/nonexistent/lib.so");
    } catch (const SimError& e) {
        EXPECT_NE(std::string(e.what()).find("cannot load library"), std::string::npos);
    }
}

} // namespace
