// The intrinsic device of TORVEX_EN / TORVEX: every full-load Jacobian entry
// (the intrinsic rows, the power row with its outer-resistor and operator
// columns, the IIDS monitor) and every ddt doublet against central
// differences of the right-hand-side load over a table of bias points; the
// three passes bit-identical, also after passes that leave their temperature
// stage for the next; the breakdown warning; the power's sign and its DC
// balance with the terminal currents.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "en_fixture.h"
#include "pass_sequences.h"

using namespace te;
using torvex_en::Node;

namespace {

using Bias = std::map<Node, double>; // unknowns not listed are 0

// n-type, channel CORE_ID -> S, drift DI2 -> CORE_ID, every outer element
// with a small voltage, nonzero operator and inductor branch values.
const Bias kForward = {
    {torvex_en::DI2, 6.0},       {torvex_en::GI2, 3.0},       {torvex_en::S, 0.01},
    {torvex_en::BI2, 0.005},     {torvex_en::TINT, 2.5},      {torvex_en::TEXT, 0.4},
    {torvex_en::CORE_B1, 0.05},  {torvex_en::CORE_B2, 0.02},  {torvex_en::CORE_ID, 1.2},
    {torvex_en::IB_DIODE1, 0.1}, {torvex_en::IB_DIODE3, 0.3}, {torvex_en::D, 6.004},
    {torvex_en::DFIN1, 6.002},   {torvex_en::DFIN2, 6.0025},  {torvex_en::DFIN3, 6.003},
    {torvex_en::DIBAR, 3.0},     {torvex_en::DIFIN, 0.02},    {torvex_en::G, 3.004},
    {torvex_en::GFIN1, 3.002},   {torvex_en::GFIN2, 3.0025},  {torvex_en::GFIN3, 3.003},
    {torvex_en::GPOLY, 3.001},   {torvex_en::GIBAR, 1.5},     {torvex_en::GIFIN, 0.03},
    {torvex_en::SH, 0.012},      {torvex_en::B, 0.0},         {torvex_en::VIDS, 1.1},
    {torvex_en::IIDS, 0.3},      {torvex_en::BR_VIDS, 2e-3},  {torvex_en::BR_D1, 0.1},
    {torvex_en::BR_D2, -0.2},    {torvex_en::BR_D3, 0.3},     {torvex_en::BR_G1, 1e-3},
    {torvex_en::BR_G2, 2e-3},    {torvex_en::BR_G3, -3e-3},   {torvex_en::OP26, 1e-3},
    {torvex_en::OP27, -2e-3},    {torvex_en::OP28, 3e-4},     {torvex_en::OP29, 5e-4},
    {torvex_en::OP30, -1e-3},    {torvex_en::OP31, 2e-3},
};

bool isBranch(Node n) { return n >= torvex_en::BR_VIDS; }

Bias with(Bias b, const Bias& changes)
{
    for (const auto& [k, v] : changes) b[k] = v;
    return b;
}

// Node potentials negated (a p-type device's mirror image); the thermal nodes
// and the branch values stay.
Bias mirrored(Bias b)
{
    for (auto& [k, v] : b)
        if (!isBranch(k) && k != torvex_en::TINT && k != torvex_en::TEXT) v = -v;
    return b;
}

std::vector<VXR_ParamAssn> rich(std::vector<VXR_ParamAssn> extra = {})
{
    std::vector<VXR_ParamAssn> p = {
        realAssn("CGDO", 2e-9),    realAssn("CGSO", 1e-9),   realAssn("CS", 0.3),      realAssn("A1CH", 0.8),
        realAssn("A1DR", 0.6),     realAssn("KPINV", 0.4),   realAssn("DELQ", 0.3),    realAssn("NDIODE2", 1.5),
        realAssn("SDIODE2", 2.0),  realAssn("STA1CH", 1e-3), realAssn("ATH", 1.2),     realAssn("EXRTH", 0.5),
        realAssn("ETARON", 0.7),   realAssn("ETAVSAT", 0.4), realAssn("VDEP", 1e-4),   realAssn("INDUCON", 1.0),
        realAssn("MUTUALON", 1.0), realAssn("RIGB1", 10.0),  realAssn("RIGB3", 20.0),  realAssn("RIDB1", 30.0),
        realAssn("RIDB3", 40.0)};
    p.insert(p.end(), extra.begin(), extra.end());
    return p;
}

struct Case {
    const char* name;
    std::vector<VXR_ParamAssn> params;
    Bias bias;
};

const std::vector<Case>& cases()
{
    static const std::vector<Case> c = {
        {"forward_saturation", rich(), kForward},
        {"reverse_channel", rich(), with(kForward, {{torvex_en::S, 1.5}, {torvex_en::CORE_ID, 0.6}})},
        {"reverse_drift", rich(), with(kForward, {{torvex_en::DI2, 0.7}, {torvex_en::CORE_ID, 1.3}})},
        {"p_type_mirrored", rich({intAssn("TYPE", -1)}), mirrored(kForward)},
        {"p_type_reverse_channel", rich({intAssn("TYPE", -1)}),
         mirrored(with(kForward, {{torvex_en::S, 1.5}, {torvex_en::CORE_ID, 0.6}}))},
        {"avalanche_a1_one", rich({realAssn("A1CH", 1.0), realAssn("A1DR", 1.0)}),
         with(kForward, {{torvex_en::DI2, 40.0}, {torvex_en::CORE_ID, 8.0}})},
        {"subthreshold", rich(), with(kForward, {{torvex_en::GI2, -0.5}})},
        {"hot_dsub_zero", rich({realAssn("DSUB", 0.0), realAssn("TSCALE", 2.0)}),
         with(kForward, {{torvex_en::TINT, 300.0}, {torvex_en::TEXT, 20.0}})},
        {"diodes_forward", rich(),
         with(kForward, {{torvex_en::DI2, 0.2}, {torvex_en::CORE_ID, 0.25}, {torvex_en::IB_DIODE1, 1.2},
                         {torvex_en::IB_DIODE3, 1.1}, {torvex_en::CORE_B2, 1.3}})},
    };
    return c;
}

// An instance of a case, stamped, with the case's bias; `unknowns` every
// solution value the instance reads, by stamp node.
struct Bench {
    EnHost h;
    Inst* inst;
    std::map<Node, SV*> unknowns;
    Bias bias;

    explicit Bench(const Case& c) : bias(c.bias)
    {
        inst = h.createReady(c.params);
        for (int n = torvex_en::D; n < torvex_en::kNumStampNodes; ++n) {
            SV* sv = torvex_en::nodeSV(inst, priv(inst), static_cast<Node>(n));
            if (sv != nullptr) unknowns[static_cast<Node>(n)] = sv;
        }
        for (const auto& [n, sv] : unknowns) h.setSolution(sv, value(n));
    }
    ~Bench() { retire(inst); }
    double value(Node n) const
    {
        const auto it = bias.find(n);
        return it == bias.end() ? 0.0 : it->second;
    }
    Loaded pass(void (*slot)(VXR_DeviceInst*, VXR_ContribLoader*), bool full)
    {
        h.clearLog();
        slot(inst, h.loader());
        return collect(h, inst, full);
    }
};

// d(row)/d(V(node)) from the quartets of one table: a quartet adds its value
// to its column's first node and subtracts it from the second.
template <class Q, size_t N>
double analytic(const Q (&quartets)[N], const std::vector<double>& values, Node ra, Node rb, Node col)
{
    double d = 0.0;
    for (size_t k = 0; k < N; ++k) {
        if (quartets[k].ra != ra || quartets[k].rb != rb || std::isnan(values[k])) continue;
        if (quartets[k].ca == col) d += values[k];
        if (quartets[k].cb == col) d -= values[k];
    }
    return d;
}

// The sign with which operator k's argument enters its RHS-Q row (k).
constexpr double kOpSign[torvex_en::kNumOps] = {1.0, -1.0, -1.0, 1.0, 1.0, 1.0};

class IntrinsicJacobian : public ::testing::TestWithParam<Case> {};

TEST_P(IntrinsicJacobian, MatchesCentralDifferences)
{
    Bench b(GetParam());
    const Loaded full = b.pass(md.pGenLoad, true);

    // Rows (and operator arguments) by unknown: analytic and central differences.
    std::vector<std::map<Node, double>> an(56 + 22 + torvex_en::kNumOps), fd(an.size());
    for (const auto& [col, sv] : b.unknowns) {
        for (size_t r = 0; r < 56; ++r)
            an[r][col] = analytic(torvex_en::kJacQuartets, full.jac, torvex_en::kRhsPairs[r].a, torvex_en::kRhsPairs[r].b, col);
        for (size_t r = 0; r < 22; ++r)
            an[56 + r][col] =
                analytic(torvex_en::kJacQQuartets, full.jacQ, torvex_en::kRhsQPairs[r].a, torvex_en::kRhsQPairs[r].b, col);
        for (int op = 0; op < torvex_en::kNumOps; ++op) {
            double d = 0.0;
            for (int i = 0; i < torvex_en::kNumDdtDoublets; ++i) {
                const torvex_en::DoubletReq& q = torvex_en::kDdtDoublets[i];
                if (q.op != torvex_en::OP26 + op) continue;
                if (q.a == col) d += full.doublet[i];
                if (q.b == col) d -= full.doublet[i];
            }
            an[78 + op][col] = kOpSign[op] * d;
        }

        const double x = b.value(col);
        const double step = 1e-6 * (1.0 + std::fabs(x));
        b.h.setSolution(sv, x + step);
        const Loaded up = b.pass(md.pGenLoadRHS, false);
        b.h.setSolution(sv, x - step);
        const Loaded down = b.pass(md.pGenLoadRHS, false);
        b.h.setSolution(sv, x);
        for (size_t r = 0; r < 56; ++r) fd[r][col] = (up.rhs[r] - down.rhs[r]) / (2.0 * step);
        for (size_t r = 0; r < 22; ++r) fd[56 + r][col] = (up.rhsQ[r] - down.rhsQ[r]) / (2.0 * step);
        for (int op = 0; op < torvex_en::kNumOps; ++op) fd[78 + op][col] = fd[56 + op][col];
    }
    for (size_t r = 0; r < an.size(); ++r) {
        if (r < 56 ? std::isnan(full.rhs[r]) : r < 78 && std::isnan(full.rhsQ[r - 56])) continue;
        double rowMax = 0.0;
        for (const auto& [col, v] : an[r]) rowMax = std::max(rowMax, std::fabs(v));
        const std::string what = r < 56 ? "rhs " + std::to_string(r)
                                 : r < 78 ? "rhsQ " + std::to_string(r - 56)
                                          : "argument of operator " + std::to_string(r - 78);
        for (const auto& [col, v] : an[r])
            EXPECT_NEAR(fd[r][col], v, 2e-5 * std::fabs(v) + 1e-6 * rowMax + 1e-22)
                << what << " d/d" << torvex_en::kNodeNames[col];
    }
}

INSTANTIATE_TEST_SUITE_P(Bias, IntrinsicJacobian, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& i) { return std::string(i.param.name); });

TEST(TorvexEnIntrinsic, FullRhsAndStrobeValuesAreBitIdentical)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        Bench b(c);
        const Loaded full = b.pass(md.pGenLoad, true);
        for (auto slot : {md.pGenLoadRHS, md.pDoStrobe}) {
            const Loaded other = b.pass(slot, false);
            EXPECT_EQ(0, std::memcmp(full.rhs.data(), other.rhs.data(), 56 * sizeof(double)));
            EXPECT_EQ(0, std::memcmp(full.rhsQ.data(), other.rhsQ.data(), 22 * sizeof(double)));
        }
    }
}

// Two STROBE texts, only above VDSBR (strictly, on TYPE V(DI2,S)), only when
// the loader asks for strobe output, on every kind of pass.
TEST(TorvexEnIntrinsic, BreakdownWarning)
{
    const std::vector<std::string> warning = {"Warning: voltage applied above breakdown voltage (4.8 V).\n", "\n"};
    struct W {
        int type;
        double vds; // TYPE V(DI2, S)
        bool strobe;
        bool warns;
    };
    for (const W& w : {W{1, 4.8, true, false}, W{1, 4.81, false, false}, W{1, 4.81, true, true},
                       W{-1, 4.81, true, true}, W{-1, -4.81, true, false}}) {
        SCOPED_TRACE(std::to_string(w.type) + " " + std::to_string(w.vds));
        Bench b({"warning", {realAssn("VDSBR", 4.8), intAssn("TYPE", w.type)}, {}});
        b.h.setSolution(b.unknowns.at(torvex_en::DI2), w.type * w.vds);
        b.h.setStrobe(w.strobe);
        for (auto slot : {md.pGenLoad, md.pGenLoadRHS, md.pDoStrobe}) {
            b.h.clearLog();
            slot(b.inst, b.h.loader());
            EXPECT_EQ(b.h.messageTexts(), w.warns ? warning : std::vector<std::string>{});
            EXPECT_EQ(b.h.count(vxrtest::Call::DoStrobe), w.vds > 4.8 ? 1u : 0u) << "asked only above the limit";
        }
    }
}

// In DC (operator branches 0) the power into TINT is what the device's
// terminals and internal branches take: the sum over every RHS row of its
// current times its pair's voltage, for n and p type alike, and positive.
TEST(TorvexEnIntrinsic, DcPowerIsTheSumOfBranchPowers)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        Bias dc = c.bias;
        for (auto& [n, v] : dc)
            if (isBranch(n)) v = 0.0;
        Bench b({c.name, c.params, dc});
        const Loaded l = b.pass(md.pGenLoadRHS, false);
        double sum = 0.0, scale = 0.0;
        for (size_t r = 0; r < 46; ++r) {
            const torvex_en::PairReq& p = torvex_en::kRhsPairs[r];
            if (isBranch(p.a)) continue; // inductor rows hold voltages, not currents
            const double term = l.rhs[r] * (b.value(p.a) - b.value(p.b));
            sum += term;
            scale += std::fabs(term);
        }
        EXPECT_NEAR(l.rhs[47], sum, 1e-12 * scale);
        EXPECT_GT(l.rhs[47], 0.0);
    }
}

// Every pass of a sequence (tests/torvex_core/pass_sequences.h) on one
// instance loads, bit for bit, what a fresh instance loads at the same point,
// whatever ran before.
TEST(TorvexEnIntrinsic, PassesLoadWhatAFreshInstanceLoadsWhateverRanBefore)
{
    auto same = [](const std::vector<double>& a, const std::vector<double>& b) {
        return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
    };
    for (const auto& seq : torvex_test::passSequences(kForward.at(torvex_en::TINT))) {
        Bench kept({"kept", rich({realAssn("ETARON", torvex_test::kSequenceEtaron)}), kForward});
        double etaron = torvex_test::kSequenceEtaron;
        for (size_t i = 0; i < seq.steps.size(); ++i) {
            const torvex_test::PassStep& s = seq.steps[i];
            SCOPED_TRACE(seq.name + " step " + std::to_string(i));
            torvex_test::followEtaron(md, kept.inst, row("ETARON")->paramLocation, etaron, s);
            kept.h.setTemperature(s.temperature);
            kept.h.setSolution(kept.unknowns.at(torvex_en::TINT), s.tint);
            Bench fresh({"fresh", rich({realAssn("ETARON", s.etaron)}), with(kForward, {{torvex_en::TINT, s.tint}})});
            fresh.h.setTemperature(s.temperature);
            const auto slot = s.full ? md.pGenLoad : md.pGenLoadRHS;
            const Loaded a = kept.pass(slot, s.full), b = fresh.pass(slot, s.full);
            EXPECT_TRUE(same(a.rhs, b.rhs));
            EXPECT_TRUE(same(a.rhsQ, b.rhsQ));
            EXPECT_TRUE(same(a.jac, b.jac));
            EXPECT_TRUE(same(a.jacQ, b.jacQ));
            EXPECT_TRUE(same(a.doublet, b.doublet));
        }
    }
}

} // namespace
