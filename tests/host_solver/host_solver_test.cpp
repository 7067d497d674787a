// The linear solvers behind the host's one interface: each gives dense LU's
// answers, in about as many Newton iterations, on netlists of every analysis
// and library kind; each names the unknown of a singular matrix as dense
// partial pivoting does, whatever its own elimination order.
#include "vxrhost/Netlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

using namespace vxr;

namespace {

// The netlist with a solver chosen (ahead of any .end).
std::unique_ptr<Netlist> withSolver(const std::string& text, SolverKind k) {
    setenv("VXR_LIBRARY_PATH", VXR_LIBRARY_DIRS, 1);
    auto nl = Netlist::parse(std::string(".options solver=") + solverName(k) + "\n" + text);
    nl->circuit().host().echoMessages = false;
    return nl;
}

std::vector<SolverKind> sparseSolvers() {
    std::vector<SolverKind> out;
    for (SolverKind k : {SolverKind::KLU, SolverKind::SPARSELU})
        if (solverAvailable(k)) out.push_back(k);
    return out;
}

struct Case {
    const char* name;
    std::string netlist;
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string file(const char* relative) { return readNetlistFile(std::string(VXR_ROOT_DIR) + "/" + relative); }

std::vector<Case> cases() {
    return {
        {"rc_lowpass_op_ac_tran", file("host/examples/rc_lowpass.cir")},
        {"diode_three_revisions", file("host/examples/diode.cir")},
        {"lambret_pad_op_ac_tran", file("models/lambret/examples/lambret_pad.cir")},
        {"torvex_en_dc_tran_ac", file("models/torvex/examples/torvex_en.cir")},
        {"torvex_core_blocking", file("models/torvex/examples/suite/torvex_core_n_blocking.cir")},
        {"torvex_en_p_op_on", file("models/torvex/examples/suite/torvex_en_p_op_on.cir")},
        {"torvex_n_transfer_rth500", file("models/torvex/examples/suite/torvex_n_transfer_rth500.cir")},
        // A gate tied to ground through 1 Mohm behind the outer gate network: a
        // pivot vanishes in the fill-reducing order, not in the unknowns' own.
        {"torvex_en_gate_charge", file("models/torvex/examples/suite/torvex_en_n_gate_charge.cir")},
        // e^(-j omega td) entries in AC, the delayed argument's history in transient.
        {"absdelay_ac_tran", ".lib fixint_187.so\nV1 in 0 DC 0.5 AC 1 PULSE(0 1 1n 1n 1n 3n 8n)\nR1 in 0 1k\n"
                             "N1 in out fixint OP=4 TD=1n MAXD=2n\nR2 out 0 1k\n.ac lin 5 0.1g 0.9g\n.tran 0.2n 20n\n"},
        // The pole-residue branch's H(jw) beyond G + jwC.
        {"pole_residue_ac", ".lib fixlapb_160.so\nV1 in 0 DC 1 AC 1\nR1 in 0 1k\nN1 in out fixlap FORM=0 PR=1 NA=2 NB=3 "
                            "A0=1 A1=0.5 B0=2 B1=3 B2=1\nR2 out 0 1k\n.ac dec 4 0.01 100\n"},
    };
}

class SameAsDense : public ::testing::TestWithParam<Case> {};

// Every table entry within 1e-6 of its column's largest magnitude in dense's
// table (Newton stops within its tolerances of a root, not on it), 1e-4 in a
// transient, where a voltage may also differ by vntol (the step control turns
// rounding into slightly other steps, each within the truncation-error
// tolerances), and each analysis within a few Newton iterations of dense's count.
TEST_P(SameAsDense, TablesAndIterations) {
    auto dense = withSolver(GetParam().netlist, SolverKind::DENSE);
    std::vector<Table> want;
    ASSERT_NO_THROW(want = dense->run());
    for (SolverKind k : sparseSolvers()) {
        SCOPED_TRACE(solverName(k));
        auto nl = withSolver(GetParam().netlist, k);
        std::vector<Table> got;
        ASSERT_NO_THROW(got = nl->run());
        ASSERT_EQ(got.size(), want.size());
        for (size_t t = 0; t < want.size(); ++t) {
            ASSERT_EQ(got[t].rows.size(), want[t].rows.size()) << want[t].title;
            const double rtol = want[t].title == "Transient analysis" ? 1e-4 : 1e-6;
            for (size_t c = 0; c < want[t].columns.size(); ++c) {
                double scale = 0.0;
                for (auto& row : want[t].rows) scale = std::max(scale, std::abs(row[c]));
                const bool tranVoltage = want[t].title == "Transient analysis" && want[t].columns[c].rfind("v(", 0) == 0;
                const double atol = tranVoltage ? 1e-6 : 1e-15;
                for (size_t r = 0; r < want[t].rows.size(); ++r)
                    EXPECT_NEAR(got[t].rows[r][c], want[t].rows[r][c], rtol * scale + atol)
                        << want[t].title << ", " << want[t].columns[c] << ", row " << r;
            }
            const auto& a = nl->statistics()[t];
            const auto& b = dense->statistics()[t];
            EXPECT_NEAR(static_cast<double>(a.newtonIterations), static_cast<double>(b.newtonIterations),
                        0.05 * static_cast<double>(b.newtonIterations) + 2)
                << a.text() << " against " << b.text();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Netlists, SameAsDense, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Singular circuits: each solver's message is dense's, which names the
// first unknown (in unknown order) whose column depends on those before it.
TEST(SingularMatrix, EverySolverNamesTheUnknownDenseNames) {
    struct Singular {
        std::string netlist;
        std::string name;
    } cases[] = {
        {"V1 a 0 1\nC1 a b 1n\nR1 b c 1k\n.op\n", "node 'c'"},
        // A floating chain: a fill-reducing order eliminates w early, the
        // unknown order last.
        {"V1 a 0 1\nR1 a 0 1k\nR2 x y 1k\nR3 y z 1k\nR4 z w 1k\nR5 x w 1k\nR6 y w 1k\n.op\n", "node 'w'"},
        {"V1 a 0 1\nV2 a 0 2\nR1 a 0 1k\n.op\n", "branch 'V2#branch'"},
        {".lib fixrl_187.so\nV1 a 0 1\nR1 a 0 1k\nN1 x y fixrl\n.op\n", "node 'N1.MID'"},
        {".lib fixrl_187.so\nV1 a 0 1\nR1 a 0 1k\nN1 x y fixrl\n.tran 1u 10u\n", "node 'N1.MID'"},
        // TYPE = 0 floats the transistor's internal nodes.
        {".lib TORVEX_CORE.so\nVD d 0 DC 5\nVG g 0 DC 3\nN1 d g 0 0 tint 0 TORVEX_CORE TYPE=0\n.op\n", "node 'N1.CORE_"},
    };
    for (const Singular& c : cases) {
        SCOPED_TRACE(c.netlist);
        std::string denseMessage;
        try {
            withSolver(c.netlist, SolverKind::DENSE)->run();
            ADD_FAILURE() << "dense LU accepted the singular circuit";
        } catch (const SimError& e) {
            denseMessage = e.what();
        }
        EXPECT_NE(denseMessage.find("singular matrix at " + c.name), std::string::npos) << denseMessage;
        for (SolverKind k : sparseSolvers()) {
            try {
                withSolver(c.netlist, k)->run();
                ADD_FAILURE() << solverName(k) << " accepted the singular circuit";
            } catch (const SimError& e) {
                EXPECT_EQ(std::string(e.what()), denseMessage) << solverName(k);
            }
        }
    }
}

// Each solver straight on a small matrix that needs row pivoting and holds a
// row in units 1e12 larger than the others: the solution, real and complex;
// then its column 3 made the sum of columns 0 and 2 but for a rounding-sized
// rest, a pivot that vanishes against its column and names column 3.
TEST(MatrixSolver, SolvesAndNamesANearlyDependentColumn) {
    const double a[5][5] = {{0, 2, 0, 1, 0}, {1, 0, 3, 0, 0}, {0, 1e12, 0, 0, 2e12}, {4, 0, 0, 5, 1}, {0, 0, 1, 0, 6}};
    for (SolverKind k : {SolverKind::KLU, SolverKind::SPARSELU, SolverKind::DENSE}) {
        if (!solverAvailable(k)) continue;
        SCOPED_TRACE(solverName(k));
        for (const std::complex<double> unit : {std::complex<double>(1, 0), std::complex<double>(0.6, 0.8)}) {
            using C = std::complex<double>;
            MatrixPattern p;
            std::vector<C> values;
            Eigen::VectorXcd x(5), b = Eigen::VectorXcd::Zero(5);
            for (int c = 0; c < 5; ++c) x[c] = C(c + 1.0, 0.5 * c) * unit;
            for (int r = 0; r < 5; ++r)
                for (int c = 0; c < 5; ++c)
                    if (a[r][c] != 0) {
                        const int slot = p.slot(r, c);
                        values.resize(p.size());
                        values[slot] = a[r][c] * unit;
                        b[r] += values[slot] * x[c];
                    }
            MatrixSolver<C> solver(k);
            ASSERT_EQ(solver.factor(p, 5, values), nullptr);
            solver.solve(b);
            for (int c = 0; c < 5; ++c) EXPECT_NEAR(std::abs(b[c] - x[c]), 0.0, 1e-12 * std::abs(x[c])) << c;
            // Column 3 := column 0 + column 2, with a rest of 1e-17 in row 3.
            for (int r = 0; r < 5; ++r) {
                const C v = (a[r][0] + a[r][2] + (r == 3 ? 1e-17 : 0.0)) * unit;
                if (v != C(0)) {
                    const int slot = p.slot(r, 3);
                    values.resize(p.size());
                    values[slot] = v;
                } else if (a[r][3] != 0) {
                    values[p.slot(r, 3)] = 0;
                }
            }
            auto singular = solver.factor(p, 5, values);
            ASSERT_NE(singular, nullptr);
            EXPECT_EQ(singular->unknown(), 3);
        }
    }
}

// The option names the three solvers; the default is KLU where it is built.
TEST(SolverOption, NamesAndDefault) {
    EXPECT_EQ(Options{}.solver, solverAvailable(SolverKind::KLU) ? SolverKind::KLU : SolverKind::SPARSELU);
    for (SolverKind k : {SolverKind::KLU, SolverKind::SPARSELU, SolverKind::DENSE}) {
        if (!solverAvailable(k)) continue;
        EXPECT_EQ(withSolver("V1 a 0 1\nR1 a 0 1k\n.op\n", k)->circuit().options().solver, k);
    }
    EXPECT_THROW(withSolver("V1 a 0 1\nR1 a 0 1k\n.op\n.options solver=lapack\n", SolverKind::DENSE), NetlistError);
}

} // namespace
