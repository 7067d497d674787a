// The intrinsic kernel on its own, as every TORVEX model calls it: the same
// values from the plain-double policy and from the dual numbers of both
// derivative revisions (1.60 guards the square-root slope at 0, 1.42 does
// not), and the same results with a temperature cache as without.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "torvex_core_params.h"
#include "torvex_intrinsic.h"

namespace {

// The TORVEX_CORE defaults, with the optional terms switched on.
torvex::Derived derived(int type, double part = -1.0)
{
    auto defaultOf = [](const char* name) {
        for (const torvex_core::ParamRow& r : torvex_core::kParams)
            if (torvex_core::detail::cmp(r.name, name) == 0) return r.def;
        return 0.0;
    };
    torvex::Params p{};
    p.TYPE = type;
#define TORVEX_DEFAULT(name) p.name = defaultOf(#name);
    TORVEX_INTRINSIC_REAL_PARAMS(TORVEX_DEFAULT)
#undef TORVEX_DEFAULT
    p.KPINV = 0.2;
    p.CS = 0.1;
    p.A1CH = 0.5;
    p.A1DR = 0.3;
    p.DELQ = 0.2;
    p.CGSO = 1e-15;
    p.CGDO = 2e-15;
    if (part >= 0) p.PART = part;
    torvex::Derived d;
    torvex::deriveParams(p, d);
    return d;
}

template <class S>
void expectSameValues(const torvex::Result<torvex::Values>& a, const torvex::Result<S>& b)
{
    using vxr::value_of;
    EXPECT_EQ(a.IDS, value_of(b.IDS));
    EXPECT_EQ(a.IAVCH, value_of(b.IAVCH));
    EXPECT_EQ(a.IDRIFT, value_of(b.IDRIFT));
    EXPECT_EQ(a.IAVDR, value_of(b.IAVDR));
    EXPECT_EQ(a.IRBB, value_of(b.IRBB));
    EXPECT_EQ(a.IRPW, value_of(b.IRPW));
    EXPECT_EQ(a.IRD1, value_of(b.IRD1));
    EXPECT_EQ(a.IRD3, value_of(b.IRD3));
    EXPECT_EQ(a.ITH, value_of(b.ITH));
    for (int k = 0; k < torvex::kNumCharges; ++k) EXPECT_EQ(a.Q[k], value_of(b.Q[k])) << "charge " << k;
    for (int k = 0; k < 4; ++k) EXPECT_EQ(a.pStatic[k], value_of(b.pStatic[k])) << "power term " << k;
    EXPECT_EQ(a.CHDIR, b.CHDIR);
    EXPECT_EQ(a.DRDIR, b.DRDIR);
    EXPECT_EQ(a.Tdev, b.Tdev);
}

TEST(IntrinsicKernel, EveryPolicyGivesTheSameValues)
{
    const double probes[][torvex::kNumProbes] = {
        {0.5, 0.1, 3.0, 3.0, 1.2, 6.0, 6.0, 0.02, -0.1, -0.3, 0.03, -0.02, 1.8},
        {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0},
        {2.0, 0.0, -1.0, 1.5, -0.8, -0.3, 0.4, 0.7, 0.9, 0.6, -0.2, 0.1, -2.3},
    };
    for (int type : {1, -1}) {
        const torvex::Derived d = derived(type);
        for (const auto& v : probes) {
            torvex::Result<torvex::Values> a;
            torvex::Result<torvex::Partials<160>> b;
            torvex::Result<torvex::Partials<142>> c;
            torvex::evaluate(d, v, 300.15, a);
            torvex::evaluate(d, v, 300.15, b);
            torvex::evaluate(d, v, 300.15, c);
            expectSameValues(a, b);
            expectSameValues(a, c);
        }
    }
}

// The channel's two ends trade places where V(CORE_ID, S) changes sign, and
// PART's split of the channel charge goes with them: the charges on the
// CORE_ID-gate and gate-source branches keep their value and slope through
// that point whatever PART is (PART = 0.4 made QIG jump by a third).
TEST(IntrinsicKernel, ChannelChargesAreSmoothWhereTheChannelReverses)
{
    auto charges = [](const torvex::Derived& d, double vis) {
        double v[torvex::kNumProbes] = {0.0, 0.0, 5.0, 5.0, vis, 0.5, 0.5, 0.0, -0.5, -0.5, 0.0, 0.0, vis - 5.0};
        for (double& x : v) x *= d.type; // the same bias mirrored for p-type
        torvex::Result<torvex::Values> r;
        torvex::evaluate(d, v, 300.15, r);
        return std::pair{r.Q[torvex::Q_IG], r.Q[torvex::Q_GS]};
    };
    for (double part : {0.4, 0.5, 0.8}) {
        for (int type : {1, -1}) {
            SCOPED_TRACE("PART " + std::to_string(part) + " TYPE " + std::to_string(type));
            torvex::Derived d = derived(type, part);
            d.p.CGDO = d.p.CGSO = 0.0; // the overlap charges bend there on their own
            const double e = 1e-12, h = 1e-6;
            const auto [igL, gsL] = charges(d, -e);
            const auto [igR, gsR] = charges(d, e);
            const double scale = std::abs(igR) + std::abs(gsR);
            EXPECT_NEAR(igL, igR, 1e-9 * scale);
            EXPECT_NEAR(gsL, gsR, 1e-9 * scale);
            const double slopeL = (igL - charges(d, -e - h).first) / h, slopeR = (charges(d, e + h).first - igR) / h;
            EXPECT_NEAR(slopeL, slopeR, 1e-3 * std::abs(slopeR) + 1e-6 * scale);
        }
    }
}

// The charges QIG and QGS land on CORE_ID and S. With overlap capacitances
// that dwarf the channel's, their capacitance matrix with respect to
// V(CORE_ID) and V(S) (node potentials, central differences) must stay
// positive semi-definite on both sides of channel reversal and must not jump
// there: an overlap charge that followed the channel's orientation instead of
// its own terminal would swap the rows, leaving an indefinite matrix (and
// growing modes through a gate resistor) for V(CORE_ID, S) < 0.
TEST(IntrinsicKernel, OverlapChargesStayPassiveWhereTheChannelReverses)
{
    enum Node { G, S, ID, D, kNodes };
    auto charges = [](const torvex::Derived& d, const double (&n)[kNodes]) {
        double v[torvex::kNumProbes] = {};
        v[torvex::P_GB1] = n[G];
        v[torvex::P_GS] = n[G] - n[S];
        v[torvex::P_IS] = n[ID] - n[S];
        v[torvex::P_DS] = n[D] - n[S];
        v[torvex::P_DB] = n[D];
        v[torvex::P_SB2] = n[S];
        v[torvex::P_IG] = n[ID] - n[G];
        torvex::Result<torvex::Values> r;
        torvex::evaluate(d, v, 300.15, r);
        return std::pair{r.Q[torvex::Q_IG], r.Q[torvex::Q_GS]};
    };
    // C[i][j]: charge i (QIG, QGS) with respect to node j (CORE_ID, S).
    using Matrix = std::array<std::array<double, 2>, 2>;
    auto capacitance = [&](const torvex::Derived& d, double vg, double vis) {
        const double h = 1e-7;
        Matrix c{};
        for (int j = 0; j < 2; ++j) {
            const Node node = j == 0 ? ID : S;
            double up[kNodes] = {vg, 0.0, vis, vis}, dn[kNodes] = {vg, 0.0, vis, vis};
            for (int k = 0; k < kNodes; ++k) { // mirrored for p-type
                up[k] *= d.type;
                dn[k] *= d.type;
            }
            up[node] += h;
            dn[node] -= h;
            const auto [igU, gsU] = charges(d, up);
            const auto [igD, gsD] = charges(d, dn);
            c[0][j] = (igU - igD) / (2 * h);
            c[1][j] = (gsU - gsD) / (2 * h);
        }
        return c;
    };
    const struct {
        double cgdo, cgso;
    } overlaps[] = {{1e-11, 1e-11}, {1e-11, 2e-12}, {2e-12, 1e-11}};
    for (const auto& o : overlaps)
        for (int type : {1, -1})
            for (double vg : {-1.0, 2.0, 3.0, 4.0, 8.0}) {
                SCOPED_TRACE("CGDO " + std::to_string(o.cgdo) + " CGSO " + std::to_string(o.cgso) + " TYPE " +
                             std::to_string(type) + " VG " + std::to_string(vg));
                torvex::Derived d = derived(type);
                d.p.CGDO = o.cgdo;
                d.p.CGSO = o.cgso;
                const double scale = std::max(o.cgdo, o.cgso);
                Matrix atZero{};
                for (double vis : {1e-4, -1e-4, 1e-2, -1e-2}) {
                    SCOPED_TRACE("V(CORE_ID, S) " + std::to_string(vis));
                    const Matrix c = capacitance(d, vg, vis);
                    const double off = 0.5 * (c[0][1] + c[1][0]);
                    EXPECT_GE(c[0][0], 0.0);
                    EXPECT_GE(c[1][1], 0.0);
                    EXPECT_GE(c[0][0] * c[1][1] - off * off, -1e-6 * scale * scale);
                    if (std::abs(vis) > 1e-3) continue;
                    if (vis > 0) {
                        atZero = c;
                        continue;
                    }
                    for (int i = 0; i < 2; ++i)
                        for (int j = 0; j < 2; ++j)
                            EXPECT_NEAR(c[i][j], atZero[i][j], 1e-2 * scale) << "C[" << i << "][" << j << "]";
                }
            }
}

} // namespace

namespace {

// Every number of a result (values and partials), as bits.
template <class S>
std::vector<uint64_t> bitsOf(const torvex::Result<S>& r)
{
    std::vector<uint64_t> out;
    auto add = [&](const auto& x) {
        auto one = [&](double d) { out.push_back(std::bit_cast<uint64_t>(d)); };
        if constexpr (std::is_same_v<std::decay_t<decltype(x)>, double>) {
            one(x);
        } else {
            one(x.v);
            for (double d : x.d) one(d);
        }
    };
    for (const auto* x : {&r.IDS, &r.IAVCH, &r.IDRIFT, &r.IAVDR, &r.IRBB, &r.IRPW, &r.IRD1, &r.IRD3, &r.ITH, &r.ITEXT,
                          &r.QCS, &r.QTH})
        add(*x);
    for (const auto& x : r.Q) add(x);
    for (const auto& x : r.pStatic) add(x);
    for (const auto& x : r.pRes) add(x);
    for (const auto& x : r.qFactor) add(x);
    for (double x : {r.VDS, r.Tdev, r.RDIO1, r.RDIO3, r.RthT}) add(x);
    return out;
}

// One cache through a sequence of evaluations, in both policies, at moving
// V(TINT) and simulator temperatures: each result equals, bit for bit, the
// evaluation without a cache.
TEST(IntrinsicKernel, TemperatureCacheChangesNoResult)
{
    struct Step {
        bool partials;
        double vTintText, Tsim;
    };
    const Step steps[] = {{false, 0.5, 300.15}, {true, 0.5, 300.15}, {true, 0.5, 300.15},   {false, 0.5, 300.15},
                          {false, 0.5, 350.0},  {true, 0.5, 350.0},  {true, 0.7, 350.0},    {false, 0.7, 300.15},
                          {true, 0.7, 300.15},  {true, 0.5, 300.15}, {false, 0.5, 300.15}};
    const torvex::Derived d = derived(1);
    torvex::TemperatureCache cache{};
    for (const Step& s : steps) {
        SCOPED_TRACE(std::to_string(s.partials) + " " + std::to_string(s.vTintText) + " " + std::to_string(s.Tsim));
        const double v[torvex::kNumProbes] = {s.vTintText, 0.1, 3.0, 3.0, 1.2, 6.0, 6.0, 0.02, -0.1, -0.3, 0.03, -0.02, 1.8};
        if (s.partials) {
            torvex::Result<torvex::Partials<160>> a, b;
            torvex::evaluate(d, v, s.Tsim, a, &cache);
            torvex::evaluate(d, v, s.Tsim, b);
            EXPECT_EQ(bitsOf(a), bitsOf(b));
        } else {
            torvex::Result<torvex::Values> a, b;
            torvex::evaluate(d, v, s.Tsim, a, &cache);
            torvex::evaluate(d, v, s.Tsim, b);
            EXPECT_EQ(bitsOf(a), bitsOf(b));
        }
    }
}

} // namespace
