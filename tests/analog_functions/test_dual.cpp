// powDeriv, the dual number's derivative rules, the dual's value path against
// plain doubles, and the branch edges of the analog functions.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <utility>

#include "VXR_PowDeriv.h"
#include "analog_functions.h"
#include "entry_loader.h"
#include "function_table.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool sameBits(double a, double b)
{
    if (std::isnan(a) && std::isnan(b)) return true;
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// ---- powDeriv ---------------------------------------------------------------

template <int Rev>
void checkPowDerivDifferences()
{
    const double cases[][2] = {{0.3, 2.5}, {2.0, -1.3}, {1.0, 0.333333}, {5.0, 0.16666666666666666}, {0.01, 8.0}};
    for (const auto& c : cases) {
        const double f = c[0], g = c[1], fg = std::pow(f, g);
        const long double hf = 1e-7L * f, hg = 1e-7L;
        const long double dfd = (std::pow(f + hf, (long double)g) - std::pow(f - hf, (long double)g)) / (2 * hf);
        const long double dgd = (std::pow((long double)f, g + hg) - std::pow((long double)f, g - hg)) / (2 * hg);
        EXPECT_NEAR(vxr::powDeriv<Rev>(fg, f, g, 1.0, 0.0), (double)dfd, 1e-8 * std::fabs((double)dfd)) << f << "^" << g;
        EXPECT_NEAR(vxr::powDeriv<Rev>(fg, f, g, 0.0, 1.0), (double)dgd, 1e-8 * std::fabs((double)dgd)) << f << "^" << g;
        const double both = vxr::powDeriv<Rev>(fg, f, g, 0.5, -2.0);
        EXPECT_NEAR(both, (double)(0.5L * dfd - 2.0L * dgd), 1e-8 * (std::fabs((double)dfd) + std::fabs((double)dgd)));
    }
}

TEST(PowDeriv, MatchesDifferencesForPositiveBase)
{
    checkPowDerivDifferences<187>();
    checkPowDerivDifferences<160>();
    checkPowDerivDifferences<142>();
}

TEST(PowDeriv, ZeroAndNegativeBase)
{
    struct Case {
        double f, g, fprime, gprime, rev187, rev160;
    };
    const Case cases[] = {
        {0.0, 2.0, 1.0, 0.0, 0.0, 0.0},
        {0.0, 0.5, 1.0, 0.0, 0.0, kInf},    // pow(0, -0.5) in 1.60 and 1.42
        {0.0, -1.0, 1.0, 0.0, 0.0, -kInf},
        {0.0, 1.0, 3.0, 0.0, 3.0, 3.0},
        {0.0, 0.5, 0.0, 0.0, 0.0, 0.0},     // nothing varies
        {0.0, 0.5, 1.0, 1.0, 0.0, 0.0},     // varying exponent at a base of 0
        {-2.0, 1.5, 1.0, 1.0, 0.0, 0.0},    // ... or below 0, whatever fprime
        {-2.0, 3.0, 1.0, 0.0, 12.0, 12.0},  // 3 (-8) / (-2)
    };
    for (const Case& c : cases) {
        const double fg = std::pow(c.f, c.g);
        EXPECT_TRUE(sameBits(vxr::powDeriv<187>(fg, c.f, c.g, c.fprime, c.gprime), c.rev187)) << c.f << "^" << c.g;
        EXPECT_TRUE(sameBits(vxr::powDeriv<160>(fg, c.f, c.g, c.fprime, c.gprime), c.rev160)) << c.f << "^" << c.g;
        EXPECT_TRUE(sameBits(vxr::powDeriv<142>(fg, c.f, c.g, c.fprime, c.gprime), c.rev160)) << c.f << "^" << c.g;
    }
    EXPECT_TRUE(std::isnan(vxr::powDeriv<160>(8.0, 2.0, 3.0, 0.0, kNaN)));  // NaN gprime counts as varying
}

// ---- dual rules -------------------------------------------------------------

template <int Rev>
using D1 = vxr::Dual<1, Rev>;

TEST(Dual, SquareRootGuard)
{
    EXPECT_EQ(sqrt(D1<160>::seed(0.0, 0)).d[0], 1.0 / vxr::kFltMax);
    EXPECT_EQ(sqrt(D1<160>::seed(kNaN, 0)).d[0], 1.0 / vxr::kFltMax);
    EXPECT_EQ(sqrt(D1<142>::seed(0.0, 0)).d[0], kInf);
    EXPECT_TRUE(std::isnan(sqrt(D1<142>::seed(kNaN, 0)).d[0]));
    EXPECT_EQ(sqrt(D1<160>::seed(4.0, 0)).d[0], 0.25);
    EXPECT_EQ(sqrt(D1<142>::seed(4.0, 0)).d[0], 0.25);
}

TEST(Dual, AbsoluteValueSlopeIsPlusOneAtZero)
{
    EXPECT_EQ(fabs(D1<160>::seed(0.0, 0)).d[0], 1.0);
    EXPECT_EQ(fabs(D1<160>::seed(-0.0, 0)).d[0], 1.0);
    EXPECT_EQ(fabs(D1<160>::seed(-3.0, 0)).d[0], -1.0);
    EXPECT_EQ(fabs(D1<160>::seed(kNaN, 0)).d[0], -1.0);
}

TEST(Dual, PowerGoesThroughPowDeriv)
{
    using D = vxr::Dual<2, 160>;
    const D u = D::seed(0.0, 0), g = D::seed(0.5, 1);
    EXPECT_EQ(pow(u, 0.5).d[0], kInf);
    const D ug = pow(u, g);
    EXPECT_EQ(ug.d[0], kInf);  // per slot: only the base varies here
    EXPECT_EQ(ug.d[1], 0.0);   // a varying exponent at a zero base gives 0
    EXPECT_EQ(pow(vxr::Dual<1, 187>::seed(0.0, 0), 0.5).d[0], 0.0);
    const D r = pow(D::seed(2.0, 0), D::seed(3.0, 1));
    EXPECT_DOUBLE_EQ(r.d[0], 12.0);
    EXPECT_DOUBLE_EQ(r.d[1], 8.0 * std::log(2.0));
}

// The models' pow on doubles: the exponents it takes by squaring or square
// roots give std::pow's result at the special bases and within a few ulp
// elsewhere (x^8 is three roundings); other exponents are std::pow's.
TEST(Dual, PowOfDoublesIsStdPowWithinAFewUlp)
{
    const double exponents[] = {0.0, 1.0, 2.0, 4.0, 8.0, 0.5, 0.25, 0.125, 3.0, -0.5, 1.7, kNaN};
    for (double g : exponents)
        for (double x : {0.0, -0.0, -1.0, -2.5, 1.0, kInf, -kInf, kNaN})
            EXPECT_TRUE(sameBits(vxr::pow(x, g), std::pow(x, g))) << x << "^" << g;
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> mantissa(1.0, 2.0), exponent(-120.0, 120.0);
    for (int sample = 0; sample < 20000; ++sample) {
        const double x = std::ldexp(mantissa(rng), static_cast<int>(exponent(rng))) * (sample % 3 == 0 ? -1.0 : 1.0);
        for (double g : exponents) {
            const double got = vxr::pow(x, g), want = std::pow(x, g);
            if (sameBits(got, want)) continue;
            const double ulp = std::nextafter(std::fabs(want), kInf) - std::fabs(want);
            ASSERT_LE(std::fabs(got - want), 8.0 * ulp) << x << "^" << g;
        }
    }
}

// Every dual power's partials are powDeriv's at the value vxr::pow gives, bit
// for bit (zero signs included), whatever the base, the exponent and the
// partials; the second partial's base moves while the first's exponent may.
template <int Rev>
void checkPowPartials()
{
    using D = vxr::Dual<2, Rev>;
    const double values[] = {0.0, -0.0, -1.5, 0.3, 2.0, 8.0, 0.125, -0.5, kInf, kNaN};
    const double partials[] = {0.0, -0.0, 1.0, -2.0, kInf, kNaN};
    for (double f : values)
        for (double g : values)
            for (double fp : partials)
                for (double gp : partials) {
                    D u(f), e(g);
                    u.d[0] = fp;
                    u.d[1] = 1.0;
                    e.d[0] = gp;
                    const double fg = vxr::pow(f, g);
                    const D both = pow(u, e), base = pow(u, g), exponent = pow(f, e);
                    for (int k = 0; k < 2; ++k) {
                        EXPECT_TRUE(sameBits(both.d[k], vxr::powDeriv<Rev>(fg, f, g, u.d[k], e.d[k])))
                            << Rev << " " << f << "^" << g << " " << u.d[k] << " " << e.d[k];
                        EXPECT_TRUE(sameBits(base.d[k], vxr::powDeriv<Rev>(fg, f, g, u.d[k], 0.0)))
                            << Rev << " " << f << "^" << g << " " << u.d[k];
                        EXPECT_TRUE(sameBits(exponent.d[k], vxr::powDeriv<Rev>(fg, f, g, 0.0, e.d[k])))
                            << Rev << " " << f << "^" << g << " " << e.d[k];
                    }
                }
}

TEST(Dual, PowerPartialsArePowDerivsBitForBit)
{
    checkPowPartials<187>();
    checkPowPartials<160>();
    checkPowPartials<142>();
}

TEST(Dual, ArithmeticAndElementaryDerivatives)
{
    using D = vxr::Dual<2, 160>;
    const D x = D::seed(1.5, 0), y = D::seed(-0.4, 1);
    const D q = x / y;
    EXPECT_DOUBLE_EQ(q.d[0], 1.0 / -0.4);
    EXPECT_DOUBLE_EQ(q.d[1], -1.5 / (0.4 * 0.4));
    const D p = x * y - 2.0 / x + exp(y) + log(x) + atan(y);
    EXPECT_DOUBLE_EQ(p.d[0], -0.4 + 2.0 / (1.5 * 1.5) + 1.0 / 1.5);
    EXPECT_DOUBLE_EQ(p.d[1], 1.5 + std::exp(-0.4) + 1.0 / (1.0 + 0.16));
    EXPECT_TRUE(x > y && y < 0.0 && 1.5 == x);  // values only
}

// ---- value path -------------------------------------------------------------

// Every function on random arguments: the dual's value part (both revisions)
// is bit-identical to the double instantiation.
template <std::size_t N, class F>
void checkValuePath(const char* name, F f, std::mt19937_64& rng)
{
    std::uniform_real_distribution<double> mag(-3.0, 2.0), unit(0.0, 1.0);
    for (int sample = 0; sample < 2000; ++sample) {
        double x[N];
        for (double& v : x) {
            const double r = unit(rng);
            v = r < 0.05 ? 0.0 : r < 0.15 ? 1.0 : std::pow(10.0, mag(rng)) * (unit(rng) < 0.3 ? -1.0 : 1.0);
        }
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            const double plain = f(x[I]...);
            const auto d160 = f(vxr::Dual<N, 160>::seed(x[I], I)...);
            const auto d142 = f(vxr::Dual<N, 142>::seed(x[I], I)...);
            ASSERT_TRUE(sameBits(d160.v, plain)) << name << " sample " << sample;
            ASSERT_TRUE(sameBits(d142.v, plain)) << name << " sample " << sample;
        }(std::make_index_sequence<N>{});
    }
}

TEST(Dual, ValuePathBitIdenticalToDouble)
{
    std::mt19937_64 rng(20240611);
#define VXR_CHECK_VALUE_PATH(name, n, zero) \
    checkValuePath<n>(#name, [](const auto&... a) { return vxr::fn::name(a...); }, rng);
    VXR_ANALOG_FUNCTIONS(VXR_CHECK_VALUE_PATH)
#undef VXR_CHECK_VALUE_PATH
}

// psisat_val's entry zeroes all its partials, but the function itself carries
// the exact derivative for the loads.
TEST(Dual, PsisatCarriesTheExactDerivative)
{
    using D = vxr::Dual<4, 160>;
    for (const FunctionCase& fc : functionCases()) {
        if (fc.name != "psisat_val") continue;
        for (const Row& row : fc.rows) {
            const auto& x = row.x;
            const D r = vxr::fn::psisat_val(D::seed(x[0], 0), D::seed(x[1], 1), D::seed(x[2], 2), D::seed(x[3], 3));
            for (int k = 0; k < 4; ++k) {
                long double lx[4] = {x[0], x[1], x[2], x[3]};
                const long double h = 1e-7L * std::max(std::fabs(x[k]), 1e-3);
                lx[k] = x[k] + h;
                const long double up = fc.reference(lx);
                lx[k] = x[k] - h;
                const double fd = (double)((up - fc.reference(lx)) / (2 * h));
                EXPECT_NEAR(r.d[k], fd, 1e-7 * std::fabs(fd) + 1e-9) << "slot " << k;
            }
        }
    }
}

// ---- branch edges -----------------------------------------------------------

namespace fn = vxr::fn;

TEST(BranchEdges, ExactValues)
{
    EXPECT_EQ(fn::hypf(0.0, 0.01), 0.01);
    const double far = fn::hypf(-1e4, 0.01);
    EXPECT_GT(far, 0.0);
    EXPECT_NEAR(far, 1e-8, 1e-15);
    EXPECT_EQ(fn::hypf3(0.0, 1.0, 0.01), 1.0);
    EXPECT_EQ(fn::hypf2(0.0, 1.0, 0.01), 0.0);
    EXPECT_EQ(fn::hypf2(0.0, 0.05, 0.01), 0.0);
    EXPECT_EQ(fn::Vxb_c_val(0.0, 1.1, 0.37), 0.37);
    EXPECT_EQ(fn::Vxb_c_val(kNaN, 1.1, 0.37), 0.37);
    EXPECT_EQ(fn::MDR_Iohm_val(0.0, kNaN, 3.0, kNaN, 0.7, kNaN, kNaN), 0.7 / 3.0);
    EXPECT_EQ(fn::Del_Vg_val(0.0, 0.01, 0.8, 1.2, 0.1, 0.5), 0.0);
    EXPECT_EQ(fn::G_vsat_val(1.3, 1.0, 0.5, 0.0), 1.3);
    EXPECT_EQ(fn::Iavl_val(5.0, -0.0, 20.0, 1.0, 1.0, 1e-3), 0.0);
    EXPECT_TRUE(std::isnan(fn::Iavl_val(kNaN, 2.0, 20.0, 1.0, 1.0, 1e-3)));  // unordered test evaluates
    EXPECT_TRUE(std::isnan(fn::Iavl_val(5.0, kNaN, 20.0, 1.0, 1.0, 1e-3)));
    // Idrft: a first exponent above 80 ignores the drain side entirely.
    EXPECT_EQ(fn::Idrft_val(1.0, 0.025, -0.5, kNaN, 2.0, 0.3, 0.4), 2.0 * 0.3 * 0.4);
}

// Where the two forms of a branch round differently, the tie takes the form
// the function names. Each oracle below is that form, spelled out.
TEST(BranchEdges, TiesTakeTheNamedForm)
{
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> u(0.2, 3.0);

    bool psisatSeen = false;  // f == g: first form
    for (int i = 0; i < 100000 && !psisatSeen; ++i) {
        const double ko = u(rng), x3 = u(rng);
        const double c = ko * 0.5, g = c * c, A = g / x3;
        if (A * x3 != g) continue;
        const double m1 = 1.0 / (std::sqrt(g / g + 1.0) + c / std::sqrt(g));
        const double m2 = 1.0 / (std::sqrt(g / g + 1.0) + 1.0);
        const double form1 = A / x3 * (m1 * m1), form2 = A * A / g * (m2 * m2);
        if (form1 == form2) continue;
        psisatSeen = true;
        EXPECT_EQ(fn::psisat_val(A, 0.0, ko, x3), form1);
    }
    EXPECT_TRUE(psisatSeen);

    bool vinvSeen = false;  // l == m: first form
    for (int i = 0; i < 100000 && !vinvSeen; ++i) {
        const double x0 = u(rng), x3 = u(rng), x4 = fn::hypf(0.5 + x0, 0.01);
        const double m = std::sqrt(x4), l = std::sqrt(fn::hypf(0.5 + x0, 0.01));
        const double form1 = m * m / l * x3 / (std::sqrt(1.0 + 1.0) + 1.0);
        const double form2 = m * x3 / (1.0 + std::sqrt(1.0 + 1.0));
        if (form1 == form2) continue;
        vinvSeen = true;
        EXPECT_EQ(fn::Vinv_val(x0, 0.5, 0.5, x3, x4, 0.0375), form1);
    }
    EXPECT_TRUE(vinvSeen);

    // g exactly 1e-4: the logarithmic form.
    const double g = 1e-4, h = std::sqrt(g * g + 1.0);
    const double logForm = (std::log(g + h) / g + h) * 0.5 * 1.0;
    const double series = (g * g / (-6.0) + 1.0 + h) * 0.5 * 1.0;
    ASSERT_NE(logForm, series);
    EXPECT_EQ(fn::G_vsat_val(1.0, 1.0, 5e-5, 1.0), logForm);
}

// The junction charge as the loads call it (switch voltage F x VBI, charge
// scale Cj x VBI / (1 - P)): charge and capacitance continuous where the
// continuation takes over, or a transient through that voltage integrates a
// jump in the charge.
TEST(BranchEdges, DiodeChargeIsSmoothAtItsSwitchVoltage)
{
    const double cases[][3] = {{0.3, 0.7, 1e-15}, {0.1, 0.05, 2.0}, {0.5, 1.2, 3e-12}, {0.99, 0.9, 1e-9}};
    for (const auto& c : cases) {
        const double P = c[0], vbi = c[1], cj = c[2];
        const double F = 1.0 - std::pow((P + 1.0) / 3.0, 1.0 / P), vl = F * vbi, qs = cj * vbi / (1.0 - P);
        auto q = [&](double v) { return fn::Qdiode_val(v, vbi, cj, P, F, qs, vl); };
        const double below = std::nextafter(vl, 0.0);
        EXPECT_NEAR(q(vl), q(below), 1e-12 * qs) << "P=" << P;
        const double d = 1e-5 * (vbi - vl);
        const double cLeft = (q(vl) - q(vl - d)) / d, cRight = (q(vl + d) - q(vl)) / d;
        EXPECT_NEAR(cRight, cLeft, 1e-4 * cLeft) << "P=" << P;
    }
}

// Idrft: an exponent of exactly 80 still goes on to the exponentials (seen
// through a NaN drain potential); above 80 the result is x4 x5 x6 alone.
TEST(BranchEdges, IdrftCutOffIsStrict)
{
    // (1 + 40 - 1) * (2 / 1) = 80
    EXPECT_TRUE(std::isnan(fn::Idrft_val(40.0, 1.0, 1.0, kNaN, 2.0, 0.3, 0.4)));
    EXPECT_EQ(fn::Idrft_val(std::nextafter(40.0, 41.0), 1.0, 1.0, kNaN, 2.0, 0.3, 0.4), 2.0 * 0.3 * 0.4);
}

// A square root of zero inside a differentiated expression: finite partials in
// 1.60, the undivided 2 sqrt(0) of 1.42 is not.
TEST(BranchEdges, SquareRootOfZeroThroughTheEntries)
{
    const EntryLibrary lib160(TORVEX_FN_LIB160, "_module1_"), lib142(TORVEX_FN_LIB142, "TORVEX_");
    const std::vector<double> x = {0.01, 0.8, 0.9, 1.0, 0.0, 0.0375};  // x4 = phiT = 0
    double d160[6], d142[6];
    lib160.partials("Vinv_val", x, d160);
    lib142.partials("Vinv_val", x, d142);
    EXPECT_TRUE(std::isfinite(d160[4]));
    EXPECT_FALSE(std::isfinite(d142[4]));
}
}  // namespace
