// The exported entries, loaded by name from the 1.60 and 1.42 test libraries:
// values against the closed forms, partials against central differences of
// the closed forms, and the contract between the three entry forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "entry_loader.h"
#include "function_table.h"

namespace {

const EntryLibrary& lib160()
{
    static const EntryLibrary lib(TORVEX_FN_LIB160, "_module1_");
    return lib;
}
const EntryLibrary& lib142()
{
    static const EntryLibrary lib(TORVEX_FN_LIB142, "TORVEX_");
    return lib;
}

bool sameBits(double a, double b)
{
    if (std::isnan(a) && std::isnan(b)) return true;
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

long double evalRef(const FunctionCase& fc, const std::vector<double>& x)
{
    long double lx[10];
    for (std::size_t k = 0; k < x.size(); ++k) lx[k] = x[k];
    return fc.reference(lx);
}

bool isZeroSlot(const FunctionCase& fc, int k)
{
    return std::find(fc.zeroSlots.begin(), fc.zeroSlots.end(), k) != fc.zeroSlots.end();
}

std::string show(const std::vector<double>& x)
{
    std::string s = "(";
    for (std::size_t k = 0; k < x.size(); ++k) s += (k ? ", " : "") + std::to_string(x[k]);
    return s + ")";
}

class AnalogFunction : public ::testing::TestWithParam<FunctionCase> {};

TEST_P(AnalogFunction, ValuesMatchClosedForm)
{
    const FunctionCase& fc = GetParam();
    for (const Row& row : fc.rows) {
        ASSERT_EQ(row.x.size(), static_cast<std::size_t>(fc.arity));
        std::vector<double> d(fc.arity);
        const double got = lib160().partials(fc.name, row.x, d.data());
        const long double want = evalRef(fc, row.x);
        if (row.interior) {
            ASSERT_TRUE(std::isfinite(want)) << "row outside the domain: " << fc.name << show(row.x);
        }
        if (std::isnan(want)) {
            EXPECT_TRUE(std::isnan(got)) << fc.name << show(row.x);
            continue;
        }
        EXPECT_NEAR(got, static_cast<double>(want), 2e-12 * std::fabs(static_cast<double>(want)) + 1e-300)
            << fc.name << show(row.x);
    }
}

TEST_P(AnalogFunction, PartialsMatchDifferencesAndZeroSlotsAreZero)
{
    const FunctionCase& fc = GetParam();
    for (const Row& row : fc.rows) {
        std::vector<double> d(fc.arity, 12345.0);
        const double f = lib160().partials(fc.name, row.x, d.data());
        for (int k = 0; k < fc.arity; ++k) {
            if (isZeroSlot(fc, k)) {
                EXPECT_TRUE(d[k] == 0.0 && !std::signbit(d[k])) << fc.name << show(row.x) << " slot " << k;
                continue;
            }
            if (!row.interior) continue;
            const long double h = 1e-7L * std::max(std::fabs(row.x[k]), 1e-3);
            long double lx[10];
            for (int j = 0; j < fc.arity; ++j) lx[j] = row.x[j];
            lx[k] = row.x[k] + h;
            const long double up = fc.reference(lx);
            lx[k] = row.x[k] - h;
            const long double down = fc.reference(lx);
            const double fd = static_cast<double>((up - down) / (2 * h));
            const double tol = 1e-6 * std::fabs(fd) +
                               1e-9 * (1.0 + std::fabs(f) / std::max(std::fabs(row.x[k]), 1e-3));
            EXPECT_NEAR(d[k], fd, tol) << fc.name << show(row.x) << " slot " << k;
        }
    }
}

TEST_P(AnalogFunction, EntryFormsAgree)
{
    const FunctionCase& fc = GetParam();
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> u(-2.0, 2.0);
    for (const Row& row : fc.rows) {
        std::vector<double> d(fc.arity);
        const double withArray = lib160().partials(fc.name, row.x, d.data());
        EXPECT_TRUE(sameBits(lib160().partials(fc.name, row.x, nullptr), withArray)) << fc.name << show(row.x);
        EXPECT_TRUE(sameBits(lib160().value(fc.name, row.x), withArray)) << fc.name << show(row.x);

        std::vector<double> dx(fc.arity);
        for (double& v : dx) v = u(rng);
        double s = 0.0;
        for (int k = 0; k < fc.arity; ++k) s = s + dx[k] * d[k];
        EXPECT_TRUE(sameBits(lib160().scalarDeriv(fc.name, row.x, dx), s)) << fc.name << show(row.x);

        const bool finite = std::all_of(d.begin(), d.end(), [](double v) { return std::isfinite(v); });
        if (finite) {
            const double z = lib160().scalarDeriv(fc.name, row.x, std::vector<double>(fc.arity, 0.0));
            EXPECT_TRUE(z == 0.0 && !std::signbit(z)) << fc.name << show(row.x);
        }
    }
}

// The 1.42 entries compute the same values; their partials differ only where
// a square root of zero is differentiated.
TEST_P(AnalogFunction, Revision142EntriesAgree)
{
    const FunctionCase& fc = GetParam();
    for (const Row& row : fc.rows) {
        std::vector<double> d160(fc.arity), d142(fc.arity);
        const double v160 = lib160().partials(fc.name, row.x, d160.data());
        const double v142 = lib142().partials(fc.name, row.x, d142.data());
        EXPECT_TRUE(sameBits(v160, v142)) << fc.name << show(row.x);
        EXPECT_TRUE(sameBits(lib142().value(fc.name, row.x), v160)) << fc.name << show(row.x);
        if (!row.interior) continue;
        for (int k = 0; k < fc.arity; ++k)
            EXPECT_TRUE(sameBits(d160[k], d142[k])) << fc.name << show(row.x) << " slot " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(All, AnalogFunction, ::testing::ValuesIn(functionCases()),
                         [](const ::testing::TestParamInfo<FunctionCase>& info) { return info.param.name; });

}  // namespace
