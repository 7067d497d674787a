// The four Laplace operators of revisions 1.60 and 1.42 through the host, in
// the algebraic and the pole-residue form: AC against scipy.signal.freqs
// (laplace_reference.h), transients against scipy.signal.lsim
// (tran_reference.h) and the two forms against each other.
#include "host_test_util.h"

#include <cmath>
#include <complex>
#include <cstring>
#include <sstream>

#include "laplace_reference.h"
#include "tran_reference.h"

using namespace vxr;

namespace {

struct Filter {
    const char* name;
    int form;
    std::vector<double> a, b;
    const double* re;
    const double* im;
    double dc; // H(0)
};
const Filter kFilters[] = {
    {"nd", 0, {1.0, 0.5}, {2.0, 3.0, 1.0}, lapref::kNdHostRe, lapref::kNdHostIm, 0.5},
    {"np", 1, {3.0, 1.0}, {-1, 2, -1, -2, -4, 0}, lapref::kNpHostRe, lapref::kNpHostIm, 3.0},
    {"zd", 2, {-3.0, 0.0}, {6.0, 5.0, 1.0}, lapref::kZdHostRe, lapref::kZdHostIm, 1.0 / 6.0},
    {"zp", 3, {-2, 0, -0.5, 0}, {-1, 1, -1, -1, -3, 0}, lapref::kZpHostRe, lapref::kZpHostIm, 1.0},
};

std::string instanceLine(const Filter& f, bool poleResidue) {
    std::ostringstream s;
    s.precision(17);
    s << "N1 in out fixlap FORM=" << f.form << " PR=" << (poleResidue ? 1 : 0) << " NA=" << f.a.size()
      << " NB=" << f.b.size();
    for (size_t i = 0; i < f.a.size(); ++i) s << " A" << i << "=" << f.a[i];
    for (size_t i = 0; i < f.b.size(); ++i) s << " B" << i << "=" << f.b[i];
    return s.str() + "\n";
}

int formOf(const char* op) {
    const char* ops[] = {"nd", "np", "zd", "zp"};
    for (int i = 0; i < 4; ++i)
        if (std::strcmp(op, ops[i]) == 0) return i;
    return -1;
}

bool algebraicForm(const Circuit& c) {
    return c.findUnknown("N1._oplap0._aux") >= 0 || c.findUnknown("N1._oplap0_aux") >= 0 ||
           c.findUnknown("N1._oplap0_auxbr") >= 0;
}

class HostLaplace : public ::testing::TestWithParam<int> {
protected:
    std::unique_ptr<Netlist> netlist(const Filter& f, bool poleResidue, const std::string& options,
                                     const std::string& drive, const std::string& tail) const {
        return quietNetlist(".lib " + fixture("lapb", GetParam()) + "\n" + options + "V1 in 0 " + drive + "\n" +
                            instanceLine(f, poleResidue) + tail);
    }

    // The largest deviation from the reference over the output points,
    // relative to the response's peak; the form the module took in *algebraic.
    double tranError(const tranref::Case& c, bool poleResidue, const std::string& options, const std::string& tmax,
                     bool* algebraic) const {
        Filter f{c.name, formOf(c.op), c.num, c.den, nullptr, nullptr, 0.0};
        std::ostringstream tran;
        tran << ".tran " << c.tstep << " " << c.tstop << tmax << "\n.print tran V(out)\n";
        auto nl = netlist(f, poleResidue, options, c.drive, tran.str());
        auto t = nl->run();
        *algebraic = algebraicForm(nl->circuit());
        if (t.size() != 1 || t[0].rows.size() != c.y.size()) {
            ADD_FAILURE() << "output points";
            return HUGE_VAL;
        }
        double worst = 0.0;
        for (size_t i = 0; i < c.y.size(); ++i) worst = std::max(worst, std::abs(t[0].rows[i][1] - c.y[i]));
        return worst / c.peak;
    }
};

TEST_P(HostLaplace, AcFollowsTheTransferFunctionInBothForms) {
    for (const Filter& f : kFilters) {
        for (bool pr : {false, true}) {
            // A row scale of the derivative branches changes nothing.
            for (const char* opt : {"", ".options branchddt_scale=1e-3\n", ".options branchddt_scale=1e-9\n"}) {
                SCOPED_TRACE(std::string(f.name) + (pr ? " pole-residue" : " algebraic") + " " + opt);
                auto nl = netlist(f, pr, opt, "DC 0 AC 1", ".ac dec 1 0.01 100\n.print ac VR(out) VI(out)\n");
                auto t = nl->run();
                // The form the module got: the pole-residue branch brings none
                // of the algebraic realisation's input variables.
                EXPECT_EQ(algebraicForm(nl->circuit()), !pr);
                ASSERT_EQ(t.size(), 1u);
                ASSERT_EQ(t[0].rows.size(), 5u);
                // A row scale of 1e-9 costs digits in the solve.
                const double rel = std::strstr(opt, "1e-9") ? 1e-8 : 1e-9;
                for (size_t i = 0; i < 5; ++i) {
                    const auto& row = t[0].rows[i];
                    const double tol = rel * std::hypot(f.re[i], f.im[i]);
                    EXPECT_NEAR(row[1], f.re[i], tol) << "f=" << row[0];
                    EXPECT_NEAR(row[2], f.im[i], tol) << "f=" << row[0];
                }
            }
        }
    }
}

// A step through each filter: the host's recursive convolution of the poles
// and the algebraic realisation under its integration agree, and both settle
// at the DC gain.
TEST_P(HostLaplace, TransientFormsAgree) {
    for (const Filter& f : kFilters) {
        SCOPED_TRACE(f.name);
        std::vector<std::vector<double>> rows[2];
        for (int pr = 0; pr < 2; ++pr) {
            auto nl = netlist(f, pr == 1, ".options method=trap reltol=1e-6\n", "PWL(0 0 0.1 1)",
                              ".tran 0.1 20 0 0.01\n.print tran V(out)\n");
            auto t = nl->run();
            ASSERT_EQ(t.size(), 1u);
            rows[pr] = t[0].rows;
        }
        ASSERT_EQ(rows[0].size(), rows[1].size());
        const double dcGain = f.dc;
        for (size_t i = 0; i < rows[0].size(); ++i)
            EXPECT_NEAR(rows[1][i][1], rows[0][i][1], 2e-3 * std::abs(dcGain) + 1e-6) << "t=" << rows[0][i][0];
        EXPECT_NEAR(rows[0].back()[1], dcGain, 1e-3 * std::abs(dcGain));
    }
}

// Poles far faster than the step (|p h| up to 5000): the host integrates each
// pole term exactly over a step whose input is linear, so the response is
// that of the filter at any step.
TEST_P(HostLaplace, PoleResidueTransientIsExactForFastPoles) {
    for (const auto& c : tranref::kPoleResidue) {
        SCOPED_TRACE(c.name);
        bool algebraic = true;
        EXPECT_LT(tranError(c, true, "", "", &algebraic), 1e-6);
        EXPECT_FALSE(algebraic);
    }
}

// Numerators of the second order and improper filters in the algebraic form
// (an input ramp differentiated twice), at the default tolerances with steps
// of at most 0.01 and at derivative row scales of 1 and 1e-9, and with tight
// tolerances at the steps the host chooses; the proper ones in the
// pole-residue form as well, which is exact.
TEST_P(HostLaplace, AlgebraicTransientFollowsTheFilter) {
    struct Setup {
        const char* options;
        const char* tmax;
    };
    const Setup setups[] = {{"", " 0 0.01"},
                            {".options branchddt_scale=1e-9\n", " 0 0.01"},
                            {".options reltol=1e-7 vntol=1e-10\n", ""}};
    for (const auto& c : tranref::kAlgebraic) {
        for (const Setup& s : setups) {
            SCOPED_TRACE(std::string(c.name) + " " + s.options + s.tmax);
            bool algebraic = false;
            EXPECT_LT(tranError(c, false, s.options, s.tmax, &algebraic), 1e-4);
            EXPECT_TRUE(algebraic);
        }
        if (!c.proper) continue;
        SCOPED_TRACE(std::string(c.name) + " pole-residue");
        bool algebraic = true;
        EXPECT_LT(tranError(c, true, "", "", &algebraic), 1e-6);
        EXPECT_FALSE(algebraic);
    }
}

// A linear block's output node, which only the block drives, 1 kV from its
// input: the Newton step that solves it is taken whole, not limited.
TEST_P(HostLaplace, AGainOfAThousandSolvesInTwoIterations) {
    const Filter f{"gain", 0, {1000.0}, {1.0}, nullptr, nullptr, 1000.0};
    auto nl = netlist(f, false, "", "DC 1", ".op\n.print op V(out)\n");
    std::vector<Table> t;
    ASSERT_NO_THROW(t = nl->run());
    EXPECT_NEAR(t[0].rows[0][0], 1000.0, 1e-9);
    EXPECT_LE(nl->statistics()[0].newtonIterations, 2);
}

INSTANTIATE_TEST_SUITE_P(Revisions, HostLaplace, ::testing::Values(160, 142),
                         [](const auto& info) { return "r" + std::to_string(info.param); });

} // namespace
