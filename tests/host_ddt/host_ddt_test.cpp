// A capacitor whose charge goes through one time-derivative operator branch,
// driven through the host for each revision, with and without a row scale
// from the loader.
#include "host_test_util.h"

#include <cmath>
#include <complex>

using namespace vxr;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kC = 2e-9;

struct Scale {
    const char* option; // netlist line, empty for the loader's default (0: built-in 1.0)
    double s;           // row scale the operator should use
};
// A negative default falls back to the built-in scale 1.0.
const Scale kScales[] = {{"", 1.0}, {".options branchddt_scale=1e-9\n", 1e-9}, {".options branchddt_scale=-2\n", 1.0}};

class HostDdt : public ::testing::TestWithParam<int> {
protected:
    // V1 drives a, V2 (0 V) closes the loop at b: I(V2) is the capacitor current.
    std::string netlist(const Scale& sc, const std::string& drive, const std::string& tail) const {
        return ".lib " + fixture("cap", GetParam()) + "\n" + sc.option + "V1 a 0 " + drive +
               "\nV2 b 0 DC 0 AC 0\nN1 a b fixcap C=2n\n" + tail;
    }
};

TEST_P(HostDdt, AcAdmittanceIsJOmegaC) {
    for (const Scale& sc : kScales) {
        SCOPED_TRACE(sc.s);
        auto nl = quietNetlist(netlist(sc, "DC 5 AC 1", ".op\n.ac dec 1 1k 1g\n"
                                                       ".print op I(V2) V(N1._opddt0)\n"
                                                       ".print ac IR(V2) II(V2) IR(V1) II(V1) VR(N1._opddt0) VI(N1._opddt0)\n"));
        auto t = nl->run();
        ASSERT_EQ(t.size(), 2u);
        // No current and no derivative at the operating point.
        EXPECT_EQ(t[0].rows[0][0], 0.0);
        EXPECT_EQ(t[0].rows[0][1], 0.0);
        ASSERT_EQ(t[1].rows.size(), 7u);
        for (auto& row : t[1].rows) {
            double wc = 2 * kPi * row[0] * kC;
            SCOPED_TRACE(row[0]);
            std::complex<double> i2(row[1], row[2]), i1(row[3], row[4]), x(row[5], row[6]);
            EXPECT_NEAR(i2.real(), 0.0, 1e-12 * wc);
            EXPECT_NEAR(i2.imag(), wc, 1e-12 * wc);
            EXPECT_NEAR(std::abs(i1 + i2), 0.0, 1e-12 * wc);
            // The branch variable carries s * dQ/dt.
            EXPECT_NEAR(x.real(), 0.0, 1e-12 * sc.s * wc);
            EXPECT_NEAR(x.imag(), sc.s * wc, 1e-12 * sc.s * wc);
        }
    }
}

// Slope of the piecewise-linear drive on the segment ending at t.
double driveSlope(double t) {
    if (t <= 0) return 0.0;
    if (t <= 1e-6 * (1 + 1e-9)) return 1e6;
    if (t <= 3e-6 * (1 + 1e-9)) return -0.5e6;
    return 0.0;
}

TEST_P(HostDdt, TransientCurrentOfARampIsCTimesSlope) {
    for (const char* method : {"be", "trap"}) {
        for (const Scale& sc : kScales) {
            SCOPED_TRACE(std::string(method) + " scale " + std::to_string(sc.s));
            auto nl = quietNetlist(netlist(sc, "PWL(0 0 1u 1 3u 0)",
                                           std::string(".options method=") + method +
                                               "\n.tran 0.1u 4u\n.print tran I(V2) V(N1._opddt0) V(a)\n"));
            Simulator sim(nl->circuit());
            auto t = sim.tran(nl->analyses()[0].tran, nl->probesFor(AnalysisCmd::TRAN));
            ASSERT_EQ(t.rows.size(), 41u);
            for (auto& row : t.rows) {
                double expect = kC * driveSlope(row[0]);
                EXPECT_NEAR(row[1], expect, 1e-9 * 2e-3) << "t=" << row[0];
                EXPECT_NEAR(row[2], sc.s * expect, 1e-9 * 2e-3 * sc.s) << "t=" << row[0];
            }
            // Both methods stepped: trapezoidal steps appear only under trap.
            bool second = false;
            for (auto [h, order] : sim.acceptedSteps) second |= order == 2;
            EXPECT_EQ(second, std::string(method) == "trap");
        }
    }
}

TEST_P(HostDdt, OperatorReportsItsRowForNoise) {
    auto nl = quietNetlist(netlist(kScales[0], "DC 0", ".op\n"));
    Circuit& c = nl->circuit();
    c.setup();
    const auto& reports = c.host().noiseReports;
    if (GetParam() == 142) {
        EXPECT_TRUE(reports.empty()); // no report slot in this revision
        return;
    }
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].instance, "N1");
    EXPECT_EQ(reports[0].source, 0);
    EXPECT_EQ(reports[0].plus, c.findUnknown("N1._opddt0"));
    EXPECT_EQ(reports[0].minus, -1);
}

// The operator's variable is s times the capacitor current: its convergence
// and truncation tolerances scale with s, so neither the time steps nor the
// results depend on the row scale, and a large scale is no reason to call
// the matrix singular. Circuits: a sine current into the capacitor and a
// resistor (the capacitor current is seen only through the operator's
// variable), and a pulse source straight across the capacitor.
TEST_P(HostDdt, StepControlDoesNotDependOnTheRowScale) {
    const char* circuits[] = {"I1 0 a SIN(0 1m 1meg)\nR1 a 0 1k\nN1 a 0 fixcap C=1n\n.print tran V(a)\n",
                              "V1 a 0 PULSE(0 1 0 10n 10n 1u 2u)\nN1 a 0 fixcap C=1n\n.print tran I(V1)\n"};
    for (const char* circuit : circuits) {
        std::vector<size_t> steps;
        std::vector<double> last;
        for (const char* scale : {"1", "1e-9", "1e6"}) {
            SCOPED_TRACE(std::string(circuit) + " scale " + scale);
            auto nl = quietNetlist(".lib " + fixture("cap", GetParam()) + "\n.options branchddt_scale=" + scale + "\n" +
                                   circuit + ".tran 0.1u 3u\n");
            Simulator sim(nl->circuit());
            auto t = sim.tran(nl->analyses()[0].tran, nl->probesFor(AnalysisCmd::TRAN));
            const Unknown& x = nl->circuit().unknowns()[nl->circuit().findUnknown("N1._opddt0")];
            EXPECT_EQ(x.kind, Unknown::DERIVATIVE);
            EXPECT_EQ(x.scale, std::stod(scale));
            steps.push_back(sim.acceptedSteps.size());
            last.push_back(t.rows[t.rows.size() / 2][1]);
        }
        for (size_t i = 1; i < steps.size(); ++i) {
            EXPECT_NEAR(static_cast<double>(steps[i]), static_cast<double>(steps[0]), 2.0) << circuit << i;
            EXPECT_NEAR(last[i], last[0], 1e-6 * std::abs(last[0]) + 1e-12) << circuit << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Revisions, HostDdt, ::testing::Values(187, 160, 142),
                         [](const auto& info) { return "r" + std::to_string(info.param); });

} // namespace
