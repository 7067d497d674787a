// The linear solvers behind the host's one interface: each gives dense LU's
// answers, in about as many Newton iterations, on netlists of every analysis
// and library kind; each names the unknown of a singular matrix as dense
// partial pivoting does, whatever its own elimination order.
#include "vxrhost/Netlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <tuple>
#include <utility>

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

// f(solver, unit) for every solver built in, with real and complex values
// (the matrix's entries times unit).
template <class F> void everySolverAndUnit(F f) {
    for (SolverKind k : {SolverKind::KLU, SolverKind::SPARSELU, SolverKind::DENSE}) {
        if (!solverAvailable(k)) continue;
        SCOPED_TRACE(solverName(k));
        for (const std::complex<double> unit : {std::complex<double>(1, 0), std::complex<double>(0.6, 0.8)}) f(k, unit);
    }
}

// Each solver straight on a small matrix that needs row pivoting and holds a
// row in units 1e12 larger than the others: the solution, real and complex;
// then its column 3 made the sum of columns 0 and 2 but for a rounding-sized
// rest, a pivot that vanishes against its column and names column 3.
TEST(MatrixSolver, SolvesAndNamesANearlyDependentColumn) {
    const double a[5][5] = {{0, 2, 0, 1, 0}, {1, 0, 3, 0, 0}, {0, 1e12, 0, 0, 2e12}, {4, 0, 0, 5, 1}, {0, 0, 1, 0, 6}};
    everySolverAndUnit([&](SolverKind k, std::complex<double> unit) {
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
    });
}

// One solver through a sequence of matrices on one pattern, as Newton and
// the time steps give them: each solve is the latest matrix's, whether its
// values changed or repeat (the factors kept), and a singular matrix given
// again is refused again.
TEST(MatrixSolver, EachFactorisationIsOfTheLatestValues) {
    struct Step {
        std::vector<double> a; // row-major 3 x 3
        bool singular;
    };
    const std::vector<double> regular{4, 1, 0, 1, 5, 2, 0, 2, 6}, changed{4, 1, 0, 1, 5, 2, 0, 2, 7},
        singular{1, 1, 0, 1, 1, 0, 0, 0, 1};
    const Step steps[] = {{regular, false}, {regular, false},  {changed, false}, {regular, false},
                          {singular, true}, {singular, true}, {regular, false}};
    everySolverAndUnit([&](SolverKind k, std::complex<double> unit) {
        using C = std::complex<double>;
        MatrixSolver<C> solver(k);
        MatrixPattern p;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) p.slot(r, c);
        int i = 0;
        for (const Step& step : steps) {
            SCOPED_TRACE(i++);
            std::vector<C> values(p.size());
            Eigen::VectorXcd x(3), b = Eigen::VectorXcd::Zero(3);
            for (int c = 0; c < 3; ++c) x[c] = C(c + 1.0, -0.5 * c);
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c) {
                    values[p.slot(r, c)] = step.a[3 * r + c] * unit;
                    b[r] += values[p.slot(r, c)] * x[c];
                }
            auto result = solver.factor(p, 3, values);
            ASSERT_EQ(result != nullptr, step.singular);
            if (step.singular) continue;
            solver.solve(b);
            EXPECT_LT((b - x).lpNorm<Eigen::Infinity>(), 1e-14);
        }
    });
}

// A node that many branches share, numbered first (a supply rail), and each
// branch a chain of three nodes to ground: every solver that takes the size
// solves it, and the sparse ones hold factors of a few entries per unknown.
// Eliminated early, the shared node would tie every branch to every other
// and fill the factors with the square of their number.
TEST(MatrixSolver, NodeSharedByManyBranchesKeepsTheFactorsSparse) {
    const int branches = 1500, n = 1 + 3 * branches;
    MatrixPattern p;
    std::vector<double> values;
    auto conductance = [&](int a, int b, double g) {
        for (auto [r, c, v] : {std::tuple{a, a, g}, {b, b, g}, {a, b, -g}, {b, a, -g}}) {
            const int slot = p.slot(r, c);
            if (slot < 0) continue;
            values.resize(p.size());
            values[slot] += v;
        }
    };
    conductance(0, -1, 1.0 / 50);
    for (int i = 0; i < branches; ++i) {
        const int a = 1 + 3 * i;
        conductance(0, a, 1e-3 * (1 + i % 7));
        conductance(a, a + 1, 1e-2);
        conductance(a + 1, a + 2, 2e-3);
        conductance(a + 2, -1, 1e-3);
    }
    Eigen::VectorXd x(n), b = Eigen::VectorXd::Zero(n);
    for (int c = 0; c < n; ++c) x[c] = 1.0 + 0.25 * (c % 5);
    for (int s = 0; s < p.size(); ++s) b[p.row(s)] += values[s] * x[p.col(s)];
    for (SolverKind k : {SolverKind::KLU, SolverKind::SPARSELU, SolverKind::DENSE}) {
        if (!solverAvailable(k) || (k == SolverKind::DENSE && n > kDenseLimit)) continue;
        SCOPED_TRACE(solverName(k));
        MatrixSolver<double> solver(k);
        ASSERT_EQ(solver.factor(p, n, values), nullptr);
        Eigen::VectorXd y = b;
        solver.solve(y);
        EXPECT_LT((y - x).lpNorm<Eigen::Infinity>(), 1e-12);
        if (k != SolverKind::DENSE) EXPECT_LT(solver.factorEntries(), 8L * n);
    }
}

// Dense LU refuses a circuit above its size limit, naming both, before it
// allocates anything; the sparse solvers take the circuit.
TEST(SolverOption, DenseRefusesMoreUnknownsThanItsLimit) {
    std::string ladder = "V1 n0 0 1\n";
    const int sections = kDenseLimit - 1; // nodes n0 .. n(sections) and the source's branch: kDenseLimit + 1 unknowns
    for (int i = 1; i <= sections; ++i)
        ladder += "R" + std::to_string(i) + " n" + std::to_string(i - 1) + " n" + std::to_string(i) + " 1\n";
    ladder += "RL n" + std::to_string(sections) + " 0 1\n.op\n.print op V(n" + std::to_string(sections) + ")\n";
    try {
        withSolver(ladder, SolverKind::DENSE)->run();
        ADD_FAILURE() << "dense LU took " << kDenseLimit + 1 << " unknowns";
    } catch (const SimError& e) {
        const std::string m = e.what();
        EXPECT_NE(m.find("at most " + std::to_string(kDenseLimit) + " unknowns"), std::string::npos) << m;
        EXPECT_NE(m.find("has " + std::to_string(kDenseLimit + 1)), std::string::npos) << m;
    }
    for (SolverKind k : sparseSolvers()) {
        SCOPED_TRACE(solverName(k));
        std::vector<Table> got;
        ASSERT_NO_THROW(got = withSolver(ladder, k)->run());
        EXPECT_NEAR(got.back().rows.at(0).at(0), 1.0 / (sections + 1), 1e-12);
    }
}

// A matrix given as rows of (column, value) pairs.
struct SmallMatrix {
    const char* name;
    int n;
    std::vector<std::vector<std::pair<int, double>>> rows;
    int dependent = -1;    // the unknown a singular matrix names, -1 when regular
    std::vector<double> x; // the solution in the unknowns' own units (1 where absent)
};
void PrintTo(const SmallMatrix& m, std::ostream* os) { *os << m.name; }

std::vector<SmallMatrix> smallMatrices() {
    const double g = 1.0 / 3e3; // a conductance whose sums round
    return {
        // A node whose only tie to the rest is 1e-7 S, with a leaf held to it by
        // 1e8 S: the tie is a few units in the last place of the node's diagonal.
        {"tie_below_a_large_diagonal", 4,
         {{{0, 1 + 1e-7}, {1, -1e-7}},
          {{0, -1e-7}, {1, 1e8 + 1 + 1e-7}, {2, -1e8}, {3, -1}},
          {{1, -1e8}, {2, 1e8}},
          {{1, -1}, {3, 1}}},
         -1,
         {}},
        // A node tied to ground only through gmin beside kilosiemens.
        {"gmin_beside_kilosiemens", 3, {{{0, 2e3}, {1, -1e3}}, {{0, -1e3}, {1, 2e3}}, {{2, 1e-12}}}, -1, {}},
        // {{4, 1, 1}, {1, 5, 2}, {1, 1, 3}} with rows in units 1, 1e6, 1e-6 and
        // columns in units 1e-12, 1, 1e6.
        {"graded_units", 3,
         {{{0, 4e-12}, {1, 1}, {2, 1e6}}, {{0, 1e-6}, {1, 5e6}, {2, 2e12}}, {{0, 1e-18}, {1, 1e-6}, {2, 3}}},
         -1,
         {1e12, 1, 1e-6}},
        // A source's branch row (1 on a node) beside a node row in picoamperes.
        {"branch_beside_picoamperes", 3, {{{0, 1e-12}, {2, 1}}, {{1, 1e-12}, {2, -1}}, {{0, 1}, {1, -1}}}, -1, {1, 2, 1e-12}},
        // Floating: two nodes tied only to each other, beside a grounded one.
        {"floating_pair", 3, {{{0, 1e-3}}, {{1, g}, {2, -g}}, {{1, -g}, {2, g}}}, 2, {}},
        // Floating: a triangle of conductances whose sums round.
        {"floating_triangle", 4,
         {{{0, 1}},
          {{1, 2 * g}, {2, -g}, {3, -g}},
          {{1, -g}, {2, 2 * g}, {3, -g}},
          {{1, -g}, {2, -g}, {3, 2 * g}}},
         3,
         {}},
        // Two voltage sources on one node: the second branch depends on the first.
        {"loop_of_sources", 3, {{{0, 1e-3}, {1, 1}, {2, 1}}, {{0, 1}}, {{0, 1}}}, 2, {}},
    };
}

class SmallMatrices : public ::testing::TestWithParam<SmallMatrix> {};

// Every solver, real and complex: a regular matrix, however badly scaled,
// is factored, solves A x = b within the rounding of its rows and, refined,
// to a small part of each unknown; a singular one is refused and names the
// dependent unknown.
TEST_P(SmallMatrices, SolvedOrNamed) {
    const SmallMatrix& m = GetParam();
    everySolverAndUnit([&](SolverKind k, std::complex<double> unit) {
        using C = std::complex<double>;
        MatrixPattern p;
        std::vector<C> values;
        // x in the case's units, b = A x summed exactly (Knuth's two-sum
        // and fma's product error), so that x solves A x = b to the last digit
        // of b even where the row's terms cancel far below their size.
        Eigen::VectorXcd x(m.n), b(m.n);
        for (int c = 0; c < m.n; ++c) x[c] = (c < static_cast<int>(m.x.size()) ? m.x[c] : 1.0) * unit;
        for (int r = 0; r < m.n; ++r) {
            double hi[2] = {0, 0}, lo[2] = {0, 0};
            auto add = [&](int part, double a, double y) {
                const double prod = a * y, sum = hi[part] + prod, v = sum - hi[part];
                lo[part] += std::fma(a, y, -prod) + (hi[part] - (sum - v)) + (prod - v);
                hi[part] = sum;
            };
            for (auto [c, v] : m.rows[r]) {
                const int slot = p.slot(r, c);
                values.resize(p.size());
                values[slot] = v * unit;
                add(0, values[slot].real(), x[c].real());
                add(0, -values[slot].imag(), x[c].imag());
                add(1, values[slot].real(), x[c].imag());
                add(1, values[slot].imag(), x[c].real());
            }
            b[r] = C(hi[0] + lo[0], hi[1] + lo[1]);
        }
        MatrixSolver<C> solver(k);
        auto singular = solver.factor(p, m.n, values);
        if (m.dependent >= 0) {
            ASSERT_NE(singular, nullptr);
            EXPECT_EQ(singular->unknown(), m.dependent);
            return;
        }
        ASSERT_EQ(singular, nullptr);
        // The plain solve within rounding of its rows' terms (the tie's
        // node is known only to a part of its value), the refined one on x.
        Eigen::VectorXcd plain = b, refined = b;
        solver.solve(plain);
        for (int r = 0; r < m.n; ++r) {
            C res = b[r];
            double size = std::abs(b[r]);
            for (auto [c, v] : m.rows[r]) {
                res -= v * unit * plain[c];
                size += std::abs(v * plain[c]);
            }
            EXPECT_LE(std::abs(res), 1e-14 * size) << "row " << r;
        }
        solver.solveRefined(p, values, refined);
        for (int c = 0; c < m.n; ++c) EXPECT_NEAR(std::abs(refined[c] - x[c]), 0.0, 1e-6 * std::abs(x[c])) << c;
    });
}

INSTANTIATE_TEST_SUITE_P(Matrices, SmallMatrices, ::testing::ValuesIn(smallMatrices()),
                         [](const auto& info) { return std::string(info.param.name); });

// A die at the lower bound of its cell count: every solver solves it, and
// the currents are the cell count's share of a larger die's.
TEST(MatrixSolver, CellCountLowerBoundScalesTheCurrents) {
    auto net = [](const char* ncell) {
        return std::string(".lib TORVEX_EN.so\nVD d 0 DC 10\nVG g 0 DC 5\nVI i 0 DC 0\nN1 d g 0 t 0 v i TORVEX_EN ") +
               ncell + "\n.op\n.dc VG 0 5 1\n.print dc I(VD)\n";
    };
    auto ref = withSolver(net("NCELL=1e-4"), SolverKind::DENSE)->run();
    for (SolverKind k : {SolverKind::KLU, SolverKind::SPARSELU, SolverKind::DENSE}) {
        if (!solverAvailable(k)) continue;
        for (double ncell : {1e-8, 3e-8, 1e-7}) {
            SCOPED_TRACE(solverName(k));
            char param[32];
            std::snprintf(param, sizeof param, "NCELL=%g", ncell);
            std::vector<Table> got;
            ASSERT_NO_THROW(got = withSolver(net(param), k)->run());
            ASSERT_EQ(got.size(), ref.size());
            const Table& dc = got.back();
            ASSERT_EQ(dc.rows.size(), ref.back().rows.size());
            for (size_t r = 0; r < dc.rows.size(); ++r) {
                const double want = ref.back().rows[r][1] * ncell / 1e-4;
                // The off-state point is the leakage through gmin, which does not scale.
                if (r == 0) EXPECT_LT(std::abs(dc.rows[r][1]), 1e-15) << r;
                else EXPECT_NEAR(dc.rows[r][1], want, 1e-5 * std::abs(want)) << r;
            }
        }
    }
}

// A small admittance behind a huge one in series: the node between them has
// a diagonal of 1e12 S (or 1 F) and the small term below its rounding.
// The source still sees the small one, with every solver.
TEST(MatrixSolver, AcAdmittanceBelowTheRoundingOfItsDiagonal) {
    // d to x through gBig and cBig in parallel, x to ground through gSmall and cSmall.
    struct Case {
        const char* name;
        double gBig, cBig, gSmall, cSmall;
    };
    const Case cases[] = {
        {"conductance", 1e12, 0.0, 1e-10, 0.0},
        {"capacitance", 0.0, 1.0, 1e-20, 1e-18},
        {"both", 1e12, 1.0, 1e-10, 1e-18},
    };
    for (const Case& c : cases)
        for (SolverKind k : {SolverKind::KLU, SolverKind::SPARSELU, SolverKind::DENSE}) {
            if (!solverAvailable(k)) continue;
            SCOPED_TRACE(std::string(c.name) + " " + solverName(k));
            auto element = [](const char* name, double v) {
                char line[64];
                std::snprintf(line, sizeof line, "%s %.17g\n", name, v);
                return v ? std::string(line) : std::string(); // none where v is 0
            };
            const std::string net = "V1 d 0 DC 0 AC 1\n" + element("R1 d x", c.gBig ? 1 / c.gBig : 0.0) + element("C1 d x", c.cBig) +
                                    element("R2 x 0", 1 / c.gSmall) + element("C2 x 0", c.cSmall) +
                                    ".ac dec 2 1 1meg\n.print ac IR(V1) II(V1)\n";
            const auto t = withSolver(net, k)->run();
            ASSERT_EQ(t.size(), 1u);
            ASSERT_EQ(t[0].rows.size(), 13u);
            for (const auto& row : t[0].rows) {
                const double w = 2 * M_PI * row[0];
                const std::complex<double> big(c.gBig, w * c.cBig), small(c.gSmall, w * c.cSmall);
                // The source's current flows into d as -I.
                const std::complex<double> want = big * small / (big + small), got(-row[1], -row[2]);
                EXPECT_LE(std::abs(got - want), 1e-9 * std::abs(want)) << row[0] << " Hz: " << got << " vs " << want;
            }
        }
}

// A current into one end of a line of two 1e-8 ohm sections whose other end
// leaks to ground: the leak is far below the rounding of the line's
// diagonal sums, so in double precision the line floats. Every solver still
// gives the leak's voltage, in a linear circuit's two iterations; without
// the leak the line is named singular.
TEST(MatrixSolver, LeakBelowTheRoundingOfAStiffLine) {
    struct Case {
        double leakOhms; // 0: none
        double amperes;
    };
    const Case cases[] = {{1e8, 1e-9}, {1.5e8, -2e-9}, {1e12, 1e-12}, {1e4, 1e-3}, {0, 1e-9}};
    for (const Case& c : cases)
        for (SolverKind k : {SolverKind::KLU, SolverKind::SPARSELU, SolverKind::DENSE}) {
            if (!solverAvailable(k)) continue;
            SCOPED_TRACE(std::to_string(c.leakOhms) + " ohm, " + solverName(k));
            char text[256];
            std::snprintf(text, sizeof text, "I1 0 b DC %.17g\nR1 b a 1e-8\nR2 a g 1e-8\n%s.op\n.print op v(g) v(b)\n", c.amperes,
                          c.leakOhms ? ("RB g 0 " + std::to_string(c.leakOhms) + "\n").c_str() : "");
            auto nl = withSolver(text, k);
            if (!c.leakOhms) {
                try {
                    nl->run();
                    ADD_FAILURE() << "a floating line solved";
                } catch (const SimError& e) {
                    EXPECT_NE(std::string(e.what()).find("singular matrix at node"), std::string::npos) << e.what();
                }
                continue;
            }
            std::vector<Table> t;
            ASSERT_NO_THROW(t = nl->run());
            const double want = c.amperes * c.leakOhms;
            EXPECT_NEAR(t[0].rows[0][0], want, 1e-6 * std::abs(want));
            EXPECT_NEAR(t[0].rows[0][1], want, 1e-6 * std::abs(want));
            EXPECT_LE(nl->statistics().at(0).newtonIterations, 2);
        }
}

// The lowest row holding an infinite or NaN value, whichever slot holds it
// (the last slots of a count not divisible by four included), or n.
TEST(MatrixPattern, FirstNonFiniteRow) {
    const double inf = HUGE_VAL, nan = std::nan("");
    struct Case {
        int slots;                               // slot s at (s % 5, s / 5)
        std::vector<std::pair<int, double>> set; // slot, value
        int want;
    };
    const Case cases[] = {
        {23, {}, 5},
        {23, {{0, inf}}, 0},
        {23, {{22, nan}}, 2},          // the last slot, past the last four
        {23, {{21, -inf}, {8, nan}}, 1},
        {20, {{19, inf}}, 4},
        {3, {{2, nan}}, 2},            // fewer slots than four
        {23, {{7, 1e308}, {12, -0.0}}, 5},
    };
    for (const Case& c : cases) {
        MatrixPattern p;
        std::vector<double> m(c.slots, 1.0);
        for (int s = 0; s < c.slots; ++s) ASSERT_EQ(p.slot(s % 5, s / 5), s);
        for (auto [s, v] : c.set) m[s] = v;
        EXPECT_EQ(firstNonFiniteRow(p, m, 5), c.want) << c.slots << " slots, " << c.set.size() << " set";
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
