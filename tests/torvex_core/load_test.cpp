// TORVEX_CORE loads through the recording host: every Jacobian entry against
// central finite differences of the right-hand-side load, bit-identical
// values of the three passes, the warning, $mfactor and the obvious faults
// the evaluation guards against.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>

#include "load_fixture.h"
#include "pass_sequences.h"

namespace {

using namespace tc;

struct Case {
    const char* name;
    std::vector<VXR_ParamAssn> params;
    std::map<std::string, double> bias; // unknowns not listed are 0
};

// n-type, channel CORE_ID -> S and drift D -> CORE_ID, every charge term on.
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const std::map<std::string, double> kForward = {
    {"D", 6.0},        {"G", 3.0},          {"S", 0.0},          {"B", 0.0},         {"TINT", 2.5},
    {"TEXT", 0.4},     {"CORE_B1", 0.05},   {"CORE_B2", 0.02},   {"CORE_ID", 1.2},   {"IB_DIODE1", 0.1},
    {"IB_DIODE3", 0.3}, {"_opddt10", 1e-3}, {"_opddt11", -2e-3}, {"_opddt12", 3e-4}, {"_opddt7", 5e-4},
    {"_opddt8", -1e-3}, {"_opddt9", 2e-3}};

std::map<std::string, double> with(std::map<std::string, double> b, std::map<std::string, double> changes)
{
    for (const auto& [k, v] : changes) b[k] = v;
    return b;
}

// Every node potential negated (the mirror image for a p-type device).
std::map<std::string, double> mirrored(std::map<std::string, double> b)
{
    for (auto& [k, v] : b)
        if (k.rfind("_opddt", 0) != 0 && k != "TINT" && k != "TEXT") v = -v;
    return b;
}

std::vector<VXR_ParamAssn> rich(std::vector<VXR_ParamAssn> extra = {})
{
    std::vector<VXR_ParamAssn> p = {realAssn("CGDO", 2e-9),  realAssn("CGSO", 1e-9),  realAssn("CS", 0.3),
                                    realAssn("A1CH", 0.8),   realAssn("A1DR", 0.6),   realAssn("KPINV", 0.4),
                                    realAssn("DELQ", 0.3),   realAssn("NDIODE2", 1.5), realAssn("SDIODE2", 2.0),
                                    realAssn("STA1CH", 1e-3), realAssn("ATH", 1.2),   realAssn("EXRTH", 0.5),
                                    realAssn("ETARON", 0.7), realAssn("ETAVSAT", 0.4), realAssn("VDEP", 1e-4)};
    p.insert(p.end(), extra.begin(), extra.end());
    return p;
}

const std::vector<Case> kCases = {
    {"forward", rich(), kForward},
    {"reverse_channel", rich(), with(kForward, {{"S", 1.5}, {"CORE_ID", 0.6}})},
    {"reverse_drift", rich(), with(kForward, {{"D", 0.7}, {"CORE_ID", 1.3}})},
    {"both_reversed", rich(), with(kForward, {{"D", -0.4}, {"S", 0.9}, {"CORE_ID", 0.2}})},
    {"p_type", rich({intAssn("TYPE", -1)}), mirrored(kForward)},
    {"p_type_reverse_channel", rich({intAssn("TYPE", -1)}), mirrored(with(kForward, {{"S", 1.5}, {"CORE_ID", 0.6}}))},
    {"rthcalc_1", rich({intAssn("RTHCALC", 1)}), kForward},
    {"rthcalc_2", rich({intAssn("RTHCALC", 2), realAssn("RTH", 3.0)}), kForward},
    {"rthcor", rich({realAssn("RTHCOR", 0.5)}), kForward},
    {"dsub_negative", rich({realAssn("DSUB", -1.0)}), kForward},
    {"dsub_zero", rich({realAssn("DSUB", 0.0)}), kForward},
    {"nsat_thesatg", rich({realAssn("NSAT", 0.2), realAssn("THESATG", -0.1), realAssn("MEXP", 1.0)}), kForward},
    {"nsat_negative", rich({realAssn("NSAT", -0.2), realAssn("THESATG", 0.1)}), kForward},
    {"subthreshold", rich(), with(kForward, {{"G", -0.5}})},
    {"high_drift", rich({realAssn("A3DR", 0.2)}), with(kForward, {{"D", 40.0}, {"IB_DIODE3", -0.2}})},
    {"hot", rich({realAssn("TSCALE", 2.0)}), with(kForward, {{"TINT", 300.0}, {"TEXT", 20.0}})},
    {"bet_zero", rich({realAssn("BET", 0.0)}), kForward},
    {"etamob_zero", rich({realAssn("ETAMOB", 0.0)}), kForward},
    {"vpdr1_zero", rich({realAssn("VPDR1", 0.0)}), kForward},
    // The junction diodes forward biased, past the continuation point of
    // their charge.
    {"diodes_forward", rich(),
     with(kForward, {{"D", 0.2}, {"CORE_ID", 0.25}, {"IB_DIODE1", 1.2}, {"IB_DIODE3", 1.1}, {"CORE_B2", 1.3}})},
};

void applyBias(LoadHost& h, const std::map<std::string, double>& bias)
{
    for (const std::string& u : kUnknowns) {
        const auto it = bias.find(u);
        h.set(u, it == bias.end() ? 0.0 : it->second);
    }
}

// Index of a node in kUnknowns, -1 for ground.
int unknownIndex(const std::string& name)
{
    for (size_t i = 0; i < kUnknowns.size(); ++i)
        if (kUnknowns[i] == name) return static_cast<int>(i);
    return -1;
}

// The quartets of one table summed into d(row)/d(unknown).
std::vector<std::vector<double>> nodeJacobian(int quartetArray, int rowArray, const std::vector<double>& q)
{
    const int rows = probe::handleCount(rowArray);
    std::map<std::pair<std::string, std::string>, int> rowOf;
    for (int r = 0; r < rows; ++r) {
        std::string n[4];
        int dep = 0;
        probe::entry(rowArray, r, n, &dep);
        rowOf[{n[0], n[1]}] = r;
    }
    std::vector<std::vector<double>> J(static_cast<size_t>(rows), std::vector<double>(kUnknowns.size(), 0.0));
    for (size_t k = 0; k < q.size(); ++k) {
        std::string n[4];
        int dep = 0;
        probe::entry(quartetArray, static_cast<int>(k), n, &dep);
        auto& row = J[static_cast<size_t>(rowOf.at({n[0], n[1]}))];
        if (const int a = unknownIndex(n[2]); a >= 0) row[static_cast<size_t>(a)] += q[k];
        if (const int b = unknownIndex(n[3]); b >= 0) row[static_cast<size_t>(b)] -= q[k];
    }
    return J;
}

// Compare one row's analytic partials with central differences.
void expectRowMatches(const std::string& what, const std::vector<double>& an, const std::vector<double>& fd)
{
    double rowMax = 0.0;
    for (double x : an) rowMax = std::max(rowMax, std::fabs(x));
    for (size_t u = 0; u < an.size(); ++u) {
        const double tol = 2e-5 * std::fabs(an[u]) + 1e-6 * rowMax + 1e-22;
        EXPECT_NEAR(fd[u], an[u], tol) << what << " d/d" << kUnknowns[u];
    }
}

class Jacobian : public ::testing::TestWithParam<Case> {};

TEST_P(Jacobian, MatchesCentralDifferences)
{
    const Case& c = GetParam();
    LoadHost h(c.params);
    applyBias(h, c.bias);
    const Deposits d = h.full();
    const auto J = nodeJacobian(2, 0, d.jac);
    const auto JQ = nodeJacobian(3, 1, d.jacQ);

    // dQ of each operator's argument from its doublets, with the sign of the
    // charge in its RHS-Q row.
    const std::map<std::string, std::pair<int, double>> opRow = {
        {"_opddt7", {0, 1.0}},  {"_opddt8", {1, -1.0}}, {"_opddt9", {2, -1.0}},
        {"_opddt10", {3, 1.0}}, {"_opddt11", {4, 1.0}}, {"_opddt12", {5, 1.0}}};
    std::vector<std::vector<double>> JD(6, std::vector<double>(kUnknowns.size(), 0.0));
    for (int i = 0; i < probe::handleCount(4); ++i) {
        std::string n[4];
        int dep = 0;
        probe::entry(4, i, n, &dep);
        const auto [row, sign] = opRow.at(n[0]);
        auto& r = JD[static_cast<size_t>(row)];
        if (const int a = unknownIndex(n[1]); a >= 0) r[static_cast<size_t>(a)] += sign * d.doublet[static_cast<size_t>(i)];
        if (const int b = unknownIndex(n[2]); b >= 0) r[static_cast<size_t>(b)] -= sign * d.doublet[static_cast<size_t>(i)];
    }

    std::vector<std::vector<double>> fd(J.size(), std::vector<double>(kUnknowns.size()));
    std::vector<std::vector<double>> fdQ(JQ.size(), std::vector<double>(kUnknowns.size()));
    for (size_t u = 0; u < kUnknowns.size(); ++u) {
        const auto it = c.bias.find(kUnknowns[u]);
        const double x = it == c.bias.end() ? 0.0 : it->second;
        const double step = 1e-6 * (1.0 + std::fabs(x));
        h.set(kUnknowns[u], x + step);
        const Deposits up = h.rhsOnly();
        h.set(kUnknowns[u], x - step);
        const Deposits down = h.rhsOnly();
        h.set(kUnknowns[u], x);
        for (size_t r = 0; r < J.size(); ++r) fd[r][u] = (up.rhs[r] - down.rhs[r]) / (2.0 * step);
        for (size_t r = 0; r < JQ.size(); ++r) fdQ[r][u] = (up.rhsQ[r] - down.rhsQ[r]) / (2.0 * step);
    }
    for (size_t r = 0; r < J.size(); ++r) expectRowMatches("rhs " + std::to_string(r), J[r], fd[r]);
    for (size_t r = 0; r < JQ.size(); ++r) expectRowMatches("rhsQ " + std::to_string(r), JQ[r], fdQ[r]);
    for (size_t r = 0; r < JD.size(); ++r) expectRowMatches("ddt argument of row " + std::to_string(r), JD[r], fdQ[r]);
}

INSTANTIATE_TEST_SUITE_P(Bias, Jacobian, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

} // namespace

namespace {

TEST(CoreLoad, FullRhsAndStrobeValuesAreBitIdentical)
{
    for (const Case& c : kCases) {
        LoadHost h(c.params);
        applyBias(h, c.bias);
        const Deposits full = h.full();
        const Deposits rhs = h.rhsOnly();
        const Deposits strobe = h.strobe();
        EXPECT_EQ(full.rhs, rhs.rhs) << c.name;
        EXPECT_EQ(full.rhsQ, rhs.rhsQ) << c.name;
        EXPECT_EQ(strobe.rhs, rhs.rhs) << c.name;
        EXPECT_EQ(strobe.rhsQ, rhs.rhsQ) << c.name;
        EXPECT_TRUE(rhs.jac.empty() || rhs.jac == std::vector<double>(rhs.jac.size(), 0.0)) << c.name;
    }
}

// A conducting p-type device dissipates power, and its bulk resistor
// conducts from the higher to the lower potential, like every resistor.
TEST(CoreLoad, PTypeDissipatesAndItsBulkResistorIsPositive)
{
    LoadHost p(rich({intAssn("TYPE", -1)}));
    auto m = mirrored(kForward);
    for (auto& [k, v] : m)
        if (k.rfind("_opddt", 0) == 0) v = 0.0; // DC: no charge currents
    applyBias(p, m);
    const Deposits d = p.rhsOnly();
    EXPECT_GT(d.rhs[18], 0.0);
    const double vB2B = m.at("CORE_B2") - m.at("B");
    ASSERT_NE(vB2B, 0.0);
    EXPECT_DOUBLE_EQ(d.rhs[7], vB2B / 5.0) << "RPWS = RPW LPW / (2 LGF NCELL/NCELLR) = 5 ohm";
}

// The warning goes out (two STROBE texts) only above VDSBR, strictly, and
// only when the loader wants strobe output; every pass checks it.
TEST(CoreLoad, BreakdownWarning)
{
    const std::vector<std::string> warning = {"Warning: voltage applied above breakdown voltage (4.8 V).\n", "\n"};
    struct W {
        int type;
        double vds; // typed V(D, S)
        bool strobe;
        bool warns;
    };
    for (const W& w : {W{1, 4.8, true, false}, W{1, 4.81, false, false}, W{1, 4.81, true, true},
                       W{-1, 4.81, true, true}, W{-1, -4.81, true, false}}) {
        LoadHost h({realAssn("VDSBR", 4.8), intAssn("TYPE", w.type)});
        h.set("D", w.type * w.vds);
        h.setStrobe(w.strobe);
        for (auto slot : {md.pGenLoad, md.pGenLoadRHS, md.pDoStrobe}) {
            const Deposits d = h.pass(slot);
            EXPECT_EQ(d.messages, w.warns ? warning : std::vector<std::string>{}) << w.type << " " << w.vds;
            EXPECT_EQ(h.count(Call::DoStrobe), w.vds > 4.8 ? 1u : 0u) << "asked only above the limit";
        }
    }
}

// The pass's four arrays start at zero and are added to: an entry whose
// terms are all zero loads +0, whatever their signs in the equations. (The
// ddt operators' own loads pass their arguments on as they are.)
TEST(CoreLoad, ZeroEntriesLoadPlusZero)
{
    using vxrtest::LoadKind;
    const std::pair<LoadKind, int> arrays[] = {
        {LoadKind::RhsPair, 0}, {LoadKind::RhsPairQ, 1}, {LoadKind::DerivQuartet, 2}, {LoadKind::DerivQuartetQ, 3}};
    for (const Case& c : kCases) {
        LoadHost h(c.params);
        applyBias(h, c.bias);
        h.full();
        int seen = 0;
        for (const auto& b : h.batches())
            for (const auto& [kind, array] : arrays)
                if (b.kind == kind && b.values.size() == static_cast<size_t>(probe::handleCount(array))) {
                    ++seen;
                    for (double v : b.values) EXPECT_FALSE(v == 0.0 && std::signbit(v)) << c.name << " " << array;
                }
        EXPECT_EQ(seen, 4) << c.name;
    }
}

// $mfactor scales what goes into the four batches, not the ddt arguments.
TEST(CoreLoad, MfactorScalesTheBatchesOnly)
{
    LoadHost one(rich());
    LoadHost three(rich({realAssn("$mfactor", 3.0)}));
    applyBias(one, kForward);
    applyBias(three, kForward);
    const Deposits a = one.full();
    const Deposits b = three.full();
    auto times3 = [](std::vector<double> v) {
        for (double& x : v) x *= 3.0;
        return v;
    };
    EXPECT_EQ(b.rhs, times3(a.rhs));
    EXPECT_EQ(b.rhsQ, times3(a.rhsQ));
    EXPECT_EQ(b.jac, times3(a.jac));
    EXPECT_EQ(b.jacQ, times3(a.jacQ));
    EXPECT_EQ(b.doublet, a.doublet);
}

// A pass at an unchanged temperature with the flag clear skips the
// parameter-only group and still loads what a recomputing pass loads.
TEST(CoreLoad, UnchangedTemperatureSkipsTheParameterOnlyGroup)
{
    LoadHost h(rich());
    applyBias(h, kForward);
    const Deposits first = h.full();
    EXPECT_EQ(probe::recompute(h.inst), 0);
    probe::setRth0(h.inst, -1.0); // overwritten only by the parameter-only group
    const Deposits again = h.full();
    EXPECT_EQ(probe::rth0(h.inst), -1.0);
    EXPECT_EQ(again.rhs, first.rhs);
    EXPECT_EQ(again.jac, first.jac);
    h.setTemperature(310.0);
    h.full();
    EXPECT_NE(probe::rth0(h.inst), -1.0) << "a new temperature recomputes";
    probe::setRth0(h.inst, -1.0);
    h.setTemperature(NAN);
    h.full();
    EXPECT_NE(probe::rth0(h.inst), -1.0) << "so does a NaN temperature";
}

// Loads of an instance that has no operators yet (not finalized): nothing
// goes through an operator, and the values are finite.
TEST(CoreLoad, NoOperatorsNoOperatorCalls)
{
    CoreHost h;
    Inst* inst = h.create({realAssn("CGDO", 1e-9)});
    for (const char* t : {"D", "G", "TINT"}) h.setSolution(h.find(t), 2.0);
    for (auto slot : {md.pGenLoad, md.pGenLoadRHS}) {
        h.clearLog();
        slot(inst, h.loader());
        size_t values = 0;
        for (const auto& b : h.batches()) {
            EXPECT_NE(b.kind, vxrtest::LoadKind::DerivDoubletQ);
            EXPECT_NE(b.kind, vxrtest::LoadKind::DerivDoublet);
            for (double v : b.values) EXPECT_TRUE(std::isfinite(v));
            values += b.values.size();
        }
        EXPECT_EQ(values, slot == md.pGenLoad ? 134u : 28u) << "the four (two) batches and nothing else";
    }
    md.pDestroyDevice(inst);
}

// Parameters whose literal equations divide 0 by 0 somewhere (an undoped
// substrate with a pinch voltage, no pinch voltage for diode 2, BET = 0,
// ETAMOB = 0), gate depletion (KPINV > 0) at a high drain voltage, where the
// depletion root's radicand goes negative, and TYPE = 0: every deposit stays
// finite, also at zero bias.
TEST(CoreLoad, GuardedParametersGiveFiniteDeposits)
{
    const std::vector<std::vector<VXR_ParamAssn>> params = {
        {realAssn("DSUB", 0.0)},   {realAssn("DSUB", -0.5)}, {realAssn("VPDR1", 0.0)},
        {realAssn("BET", 0.0)},    {realAssn("ETAMOB", 0.0)}, {intAssn("TYPE", 0)},
        {realAssn("KPINV", 0.6)},
        {intAssn("TYPE", -1), realAssn("DSUB", 0.0), realAssn("BET", 0.0), realAssn("ETAMOB", 0.0)}};
    const std::vector<std::map<std::string, double>> biases = {
        {}, kForward, with(kForward, {{"S", 1.5}, {"D", 0.2}}), with(kForward, {{"D", 300.0}, {"CORE_ID", 290.0}})};
    for (size_t k = 0; k < params.size(); ++k) {
        const auto& p = params[k];
        for (const auto& b : biases) {
            LoadHost h(p);
            applyBias(h, b);
            const Deposits d = h.full();
            for (const auto* v : {&d.rhs, &d.rhsQ, &d.jac, &d.jacQ, &d.doublet})
                for (size_t i = 0; i < v->size(); ++i)
                    EXPECT_TRUE(std::isfinite((*v)[i])) << "parameter set " << k << " entry " << i;
        }
    }
}

// Random points: in-range values of the parameters that select branches or
// scale terms (CS >= 0: a negative Coulomb-scattering factor can make the
// mobility factor negative), biases from millivolts to hundreds of volts,
// device temperatures up to the 1500 K ceiling of the rise. Every deposit
// is finite.
TEST(CoreLoad, RandomInRangePointsGiveFiniteDeposits)
{
    std::mt19937 g(11);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    auto logUniform = [&](double lo, double hi) { return lo * std::pow(hi / lo, 0.5 * (u(g) + 1.0)); };
    for (int it = 0; it < 2000; ++it) {
        const std::vector<VXR_ParamAssn> p = {
            intAssn("TYPE", it % 3 - 1), intAssn("RTHCALC", it % 3), intAssn("RTHSW", it % 2),
            realAssn("A1CH", it % 2 ? logUniform(1e-3, 10) : 0.0), realAssn("A2CH", logUniform(1e-3, 100)),
            realAssn("A3CH", logUniform(1e-3, 2)), realAssn("A1DR", it % 4 ? logUniform(1e-3, 10) : 0.0),
            realAssn("A2DR", logUniform(1e-3, 100)), realAssn("A3DR", logUniform(1e-3, 2)),
            realAssn("CGDO", it % 5 ? logUniform(1e-15, 1e-9) : 0.0), realAssn("CGSO", logUniform(1e-15, 1e-9)),
            realAssn("DSUB", it % 7 == 0 ? -0.5 : (it % 7 == 1 ? 0.0 : logUniform(1, 1e20))),
            realAssn("KPINV", (it % 3) * logUniform(0.01, 3)), realAssn("VDEP", (it % 2) * logUniform(1e-5, 1)),
            realAssn("NSAT", u(g)), realAssn("ETAMOB", it % 6 ? logUniform(0.01, 3) : 0.0),
            realAssn("BET", it % 8 ? logUniform(1e-5, 1) : 0.0),
            realAssn("VPDR", logUniform(0.01, 1000) * (it % 9 ? 1 : -0.5)),
            realAssn("VPDR1", it % 10 ? logUniform(0.01, 1000) : 0.0), realAssn("THESATG", u(g)),
            realAssn("MEXP", logUniform(1, 5)), realAssn("PSAT", logUniform(1, 5)), realAssn("DELQ", logUniform(1e-3, 1)),
            realAssn("NDIODE2", logUniform(1e-3, 3)), realAssn("SDIODE2", logUniform(1e-3, 100)),
            realAssn("XDEP1", logUniform(1e-3, 3)), realAssn("ADJ", logUniform(1e-3, 3)), realAssn("MO", 0.5 * (u(g) + 1)),
            realAssn("CS", 0.5 * (u(g) + 1)), realAssn("NU", logUniform(1, 5)), realAssn("DTA", 50 * u(g)),
            realAssn("TSCALE", logUniform(1, 100)), realAssn("ATH", logUniform(1e-3, 3)),
            realAssn("EXRTH", 0.5 * (u(g) + 1)), realAssn("STA1CH", 1e-2 * u(g)), realAssn("STA1DR", 1e-2 * u(g)),
            realAssn("STVFB", 1e-2 * u(g)), realAssn("PART", logUniform(1e-3, 1)),
            realAssn("GMIN", logUniform(1e-15, 1e-3)), realAssn("RTHCOR", logUniform(1e-3, 1))};
        LoadHost h(p);
        h.setTemperature(logUniform(200, 500));
        const double scale = std::pow(10.0, 2 * u(g));
        for (const std::string& n : kUnknowns) h.set(n, n.rfind("_opddt", 0) == 0 ? 1e-3 * u(g) : 30 * scale * u(g));
        h.set("TINT", 2000 * u(g));
        h.set("TEXT", 20 * u(g));
        const Deposits d = h.full();
        for (const auto* v : {&d.rhs, &d.rhsQ, &d.jac, &d.jacQ, &d.doublet})
            for (size_t i = 0; i < v->size(); ++i) ASSERT_TRUE(std::isfinite((*v)[i])) << "point " << it << " entry " << i;
    }
}

// The static check at finalization evaluates the equations at zero bias and
// at the temperature cached at creation, without asking the host again; the
// rise at V(TINT) = 0 is hypf(0, 0.1) = 0.1 K less the smooth ceiling's
// hypf(0.1 - 1500, 0.1) = 2 (0.1)^2 / (sqrt(1499.9^2 + 4 (0.1)^2) + 1499.9).
TEST(CoreLoad, StaticCheckRunsAtTheCachedTemperature)
{
    CoreHost h;
    h.setTemperature(350.0);
    Inst* inst = h.create();
    h.setTemperature(400.0);
    h.clearLog();
    md.pFinalizeTopology(inst, kCbInfo);
    EXPECT_EQ(h.count(Call::GetTemperature), 0u);
    EXPECT_EQ(h.count(Call::GetSol), 0u) << "the static check reads through the runtime's own loader";
    const double ceiling = 0.02 / (std::sqrt(1499.9 * 1499.9 + 0.04) + 1499.9);
    EXPECT_NEAR(probe::tdev(inst), 350.0 + 0.1 - ceiling, 1e-9);
    EXPECT_EQ(probe::chdir(inst), 1);
    EXPECT_EQ(probe::drdir(inst), 1);
    md.pDestroyDevice(inst);
}

} // namespace

namespace {

// Every pass of a sequence (pass_sequences.h) on one instance loads, bit for
// bit, what a fresh instance loads at the same point, whatever ran before:
// a pass at an unchanged V(TINT) and temperature reuses the temperature
// stage of the pass before (a right-hand-side pass keeps no partials, so a
// full pass after it must still load exact ones), and nothing reused
// outlives a change of V(TINT), of the temperature or of a parameter.
TEST(CoreLoad, PassesLoadWhatAFreshInstanceLoadsWhateverRanBefore)
{
    auto bits = [](const std::vector<double>& v) {
        std::vector<uint64_t> b(v.size());
        if (!v.empty()) std::memcpy(b.data(), v.data(), v.size() * sizeof(double));
        return b;
    };
    for (const auto& seq : torvex_test::passSequences(kForward.at("TINT"))) {
        LoadHost kept(rich({realAssn("ETARON", torvex_test::kSequenceEtaron)}));
        applyBias(kept, kForward);
        double etaron = torvex_test::kSequenceEtaron;
        for (size_t i = 0; i < seq.steps.size(); ++i) {
            const torvex_test::PassStep& s = seq.steps[i];
            SCOPED_TRACE(seq.name + " step " + std::to_string(i));
            torvex_test::followEtaron(md, kept.inst, row("ETARON")->paramLocation, etaron, s);
            kept.setTemperature(s.temperature);
            kept.set("TINT", s.tint);
            LoadHost fresh(rich({realAssn("ETARON", s.etaron)}));
            applyBias(fresh, with(kForward, {{"TINT", s.tint}}));
            fresh.setTemperature(s.temperature);
            const Deposits a = s.full ? kept.full() : kept.rhsOnly();
            const Deposits b = s.full ? fresh.full() : fresh.rhsOnly();
            EXPECT_EQ(bits(a.rhs), bits(b.rhs));
            EXPECT_EQ(bits(a.rhsQ), bits(b.rhsQ));
            EXPECT_EQ(bits(a.jac), bits(b.jac));
            EXPECT_EQ(bits(a.jacQ), bits(b.jacQ));
            EXPECT_EQ(bits(a.doublet), bits(b.doublet));
        }
    }
}

} // namespace
