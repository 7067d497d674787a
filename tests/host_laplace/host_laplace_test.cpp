// The four Laplace forms through the host's AC and transient analyses, in
// the direct and the section realisation, against scipy.signal.freqs
// (laplace_reference.h), closed-form step responses and scipy.signal.lsim
// (tran_reference.h).
#include "host_test_util.h"
#include "laplace_reference.h"
#include "tran_reference.h"

#include "VXR_Interface.h"

#include <cmath>
#include <complex>
#include <sstream>

using namespace vxr;

namespace {

const std::string kLib = std::string(VXR_FIXTURE_DIR) + "/fixlap_187.so";
// Tolerances tight enough that the trapezoidal rule stays within 1e-4 of
// the response's peak at the steps the host chooses up to a bound of 0.05.
const char* const kTight = ".options reltol=1e-7 vntol=1e-10\n";

enum class Mode { Direct, Sections };

// The simulation parameter that selects the sections for this form (none for direct).
std::string modeLine(int form, Mode mode) {
    if (mode == Mode::Direct) return "";
    return (form & 2) ? ".simparam maxLaplace_p_Order=-1\n" : ".simparam maxLaplace_d_Order=1\n";
}

std::string filterLine(const std::string& inst, int form, const std::string& num, const std::string& den) {
    return inst + " in out fixlap form=" + std::to_string(form) + " num=" + num + " den=" + den + "\n";
}

struct AcRun {
    std::vector<std::complex<double>> h;
    std::vector<Message> messages;
};

AcRun acResponse(const laplace_ref::Filter& f, Mode mode, const std::string& inst) {
    auto nl = quietNetlist(".lib " + kLib + "\n" + modeLine(f.form, mode) + "V1 in 0 DC 0 AC 1\n" +
                           filterLine(inst, f.form, f.num, f.den) + ".ac lin 1 1 1\n.print ac VR(out) VI(out)\n");
    Simulator sim(nl->circuit());
    AcRun r;
    for (double freq : laplace_ref::kFreqs) {
        Table t = sim.ac("lin", 1, freq, freq, nl->probesFor(AnalysisCmd::AC));
        r.h.emplace_back(t.rows.at(0).at(1), t.rows.at(0).at(2));
    }
    r.messages = nl->circuit().host().messages;
    return r;
}

void expectClose(std::complex<double> got, std::complex<double> want, double tol) {
    EXPECT_LE(std::abs(got - want), tol * std::abs(want)) << "got " << got << " want " << want;
}

class LaplaceAc : public ::testing::TestWithParam<laplace_ref::Filter> {};

TEST_P(LaplaceAc, DirectAndSectionsMatchTheReference) {
    const auto& f = GetParam();
    // Distinct instance names: a repeated WARNING text goes out once per process.
    AcRun direct = acResponse(f, Mode::Direct, std::string("Nd_") + f.name);
    AcRun sections = acResponse(f, Mode::Sections, std::string("Ns_") + f.name);
    const bool mirrored = f.unstable > 0;
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(laplace_ref::kFreqs[i]);
        const std::complex<double> plain(f.re[i], f.im[i]), mir(f.mirRe[i], f.mirIm[i]);
        expectClose(direct.h[i], plain, 1e-9);
        // Sections factor a polynomial denominator and mirror its unstable poles.
        expectClose(sections.h[i], mirrored ? mir : plain, 1e-9);
        if (!mirrored) expectClose(sections.h[i], direct.h[i], 1e-9);
    }
    auto warnings = [](const AcRun& r) {
        int n = 0;
        for (auto& m : r.messages) n += m.severity == MessageTypeE_WARNING;
        return n;
    };
    EXPECT_EQ(warnings(direct), 0);
    if (!mirrored) {
        EXPECT_EQ(warnings(sections), 0);
        return;
    }
    ASSERT_EQ(warnings(sections), 1);
    const std::string expect = std::string("During factorization of the denominator for Ns_") + f.name +
                               "._oplap0,\n     (" + std::to_string(f.unstable) + ") unstable roots were mirrored to the left half plane.";
    EXPECT_EQ(sections.messages[0].text.rfind(expect, 0), 0u) << sections.messages[0].text;
}

INSTANTIATE_TEST_SUITE_P(Filters, LaplaceAc, ::testing::ValuesIn(laplace_ref::kFilters),
                         [](const auto& info) { return std::string(info.param.name); });

struct StepCase {
    const char* what;
    int form;
    const char* num;
    const char* den;
    double (*y)(double t); // unit-step response
};

double firstOrder(double t) { return 1.0 - std::exp(-t / 1e-3); }
// Poles -2000 +- 4000j, unit DC gain.
double secondOrder(double t) {
    const double a = 2000.0, b = 4000.0;
    return 1.0 - std::exp(-a * t) * (std::cos(b * t) + a / b * std::sin(b * t));
}

TEST(LaplaceTran, StepResponsesMatchTheClosedForm) {
    const StepCase cases[] = {
        {"first order, polynomial", 0, "[1]", "[1,1e-3]", firstOrder},
        {"second order, poles", 2, "[1]", "[-2000,4000,-2000,-4000]", secondOrder},
        {"second order, polynomial", 0, "[1]", "[1,2e-4,5e-8]", secondOrder},
    };
    for (const auto& c : cases) {
        for (Mode mode : {Mode::Direct, Mode::Sections}) {
            SCOPED_TRACE(std::string(c.what) + (mode == Mode::Direct ? " direct" : " sections"));
            auto nl = quietNetlist(".lib " + kLib + "\n" + modeLine(c.form, mode) + ".options reltol=1e-6\n" +
                                   "V1 in 0 PWL(0 0 1n 1)\n" + filterLine("N1", c.form, c.num, c.den) +
                                   ".tran 50u 3m 0 1u\n.print tran V(out)\n");
            Simulator sim(nl->circuit());
            Table t = sim.tran(nl->analyses()[0].tran, nl->probesFor(AnalysisCmd::TRAN));
            ASSERT_EQ(t.rows.size(), 61u);
            double worst = 0.0;
            for (auto& row : t.rows)
                worst = std::max(worst, std::abs(row[1] - c.y(row[0])));
            EXPECT_LT(worst, 1e-5);
        }
    }
}

// Second-order numerators (notch, high-pass, biproper) and improper filters
// through a ramp, in both realisations: at the default tolerances with steps
// of at most 0.01, and with tight tolerances at steps the host chooses.
TEST(LaplaceTran, SecondOrderNumeratorsFollowTheFilter) {
    auto array = [](const std::vector<double>& v) {
        std::ostringstream s;
        s.precision(17);
        s << "[";
        for (size_t i = 0; i < v.size(); ++i) s << (i ? "," : "") << v[i];
        return s.str() + "]";
    };
    for (const auto& c : tranref::kAlgebraic) {
        // Bit 0: zeros, bit 1: poles.
        const int form = (c.op[0] == 'z' ? 1 : 0) | (c.op[1] == 'p' ? 2 : 0);
        for (Mode mode : {Mode::Direct, Mode::Sections}) {
            for (bool tight : {false, true}) {
                SCOPED_TRACE(std::string(c.name) + (mode == Mode::Direct ? " direct" : " sections") +
                             (tight ? " tight" : ""));
                std::ostringstream tran;
                tran << ".tran " << c.tstep << " " << c.tstop << (tight ? "" : " 0 0.01") << "\n.print tran V(out)\n";
                auto nl = quietNetlist(".lib " + kLib + "\n" + (tight ? kTight : "") + modeLine(form, mode) +
                                       "V1 in 0 " + c.drive + "\n" + filterLine("N1", form, array(c.num), array(c.den)) +
                                       tran.str());
                auto t = nl->run();
                ASSERT_EQ(t.size(), 1u);
                ASSERT_EQ(t[0].rows.size(), c.y.size());
                double worst = 0.0;
                for (size_t i = 0; i < c.y.size(); ++i) worst = std::max(worst, std::abs(t[0].rows[i][1] - c.y[i]));
                EXPECT_LT(worst, 1e-4 * c.peak);
            }
        }
    }
}

} // namespace
