// Interpolation and extrapolation: closed forms, cubic splines against the
// independent reference, a two-dimensional file against nested
// one-dimensional references, three-dimensional partials against central
// differences.
#include <cmath>
#include <limits>

#include "reference_values.h"
#include "table_test_util.h"

namespace {

using tabletest::callTable;
using tabletest::TableTest;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// |a - b| within rel of the larger magnitude (at least 1).
::testing::AssertionResult near(double a, double b, double rel) {
    double scale = std::max({1.0, std::fabs(a), std::fabs(b)});
    if (std::fabs(a - b) <= rel * scale) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << a << " vs " << b << " (difference " << a - b << ")";
}

class TableInterp : public TableTest {};

TEST(TableSearch, BracketsAscendingAndDescendingSamples) {
    const double down[] = {3, 2, 1};
    const double up[] = {0, 1, 2};
    struct Case {
        const double* array;
        double lookup;
        int index;
    } cases[] = {
        {down, 3, 0}, {down, 2, 1}, {down, 3.5, -1}, {down, 1, 2}, {down, 0.5, 2}, {down, 2.5, 0}, {down, kNaN, 2},
        {up, 0, -1},  {up, 1, 0},   {up, 2, 1},      {up, 2.5, 2}, {up, -1, -1},  {up, 0.5, 0},  {up, kNaN, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(search(c.array, 3, c.lookup), c.index) << (c.array == up ? "up " : "down ") << c.lookup;
}

TEST_F(TableInterp, OneDimensionalClosedForms) {
    const char* lin = "0 0\n1 10\n2 30\n";
    const char* quad = "0 0\n1 1\n2 4\n";
    const char* cub = "0 0\n1 1\n2 0\n";
    struct Case {
        const char* rows;
        const char* control;
        double lookup, value, slope;
        int reports;
    } cases[] = {
        // Linear; a lookup on a sample belongs to the segment that ends there,
        // the first sample counts as lying below.
        {lin, "1LL", 1.5, 20, 20, 0}, {lin, "1LL", 1, 10, 10, 0}, {lin, "1LL", 2, 30, 20, 0},
        {lin, "1LL", 3, 50, 20, 0},   {lin, "1CC", 3, 30, 0, 0},   {lin, "1LL", -1, -10, 10, 0},
        {lin, "1CC", -1, 0, 0, 0},    {lin, "1LL", 0, 0, 10, 0},   {lin, "1CC", 0, 0, 0, 0},
        {lin, "1EL", 0, 0, 10, 1},    {lin, "1LE", 2, 30, 20, 0},  {lin, "1LE", 2.5, 40, 20, 1},
        {"", "", 0.25, 2.5, 10, 0}, // no control string: linear, linear on both sides
        // Quadratic spline: slopes 0, 2, 4 under a lower CONSTANT, else 1, 1, 5.
        {quad, "2CL", 0.5, 0.25, 1, 0}, {quad, "2CL", 1.5, 2.25, 3, 0}, {quad, "2CL", 3, 8, 4, 0},
        {quad, "2CL", -1, 0, 0, 0},     {quad, "2LL", 0.5, 0.5, 1, 0},  {quad, "2LL", 1.5, 2, 3, 0},
        {quad, "2LL", -1, -1, 1, 0},    {quad, "2LC", 3, 4, 0, 0},      {quad, "2EE", -1, -1, 1, 1},
        // Cubic spline: natural ends under LINEAR, slope 0 under CONSTANT.
        {cub, "3LL", 1, 1, 0, 0},       {cub, "3LL", -1, -1.5, 1.5, 0}, {cub, "3LL", 3, -1.5, -1.5, 0},
        {cub, "3CC", 0.5, 0.5, 1.5, 0}, {cub, "3CC", -1, 0, 0, 0},      {cub, "3CC", 3, 0, 0, 0},
        // Mixed ends: M = 0, -30/7, 36/7, end slopes 12/7 and -12/7.
        {cub, "3EC", -1, -12.0 / 7, 12.0 / 7, 1}, {cub, "3CE", 3.5, -18.0 / 7, -12.0 / 7, 1},
        // Two samples (s = 2, h = 2).
        {"0 0\n2 4\n", "2LL", 1, 2, 2, 0}, {"0 0\n2 4\n", "2CC", 1, 1, 2, 0}, {"0 0\n2 4\n", "2CC", 2, 4, 4, 0},
        {"0 0\n2 4\n", "3EE", 1, 2, 2, 0}, {"0 0\n2 4\n", "3CC", 1, 2, 3, 0}, {"0 0\n2 4\n", "3CC", 2, 4, 0, 0},
        // One sample: its value everywhere; reported off the sample under ERROR.
        {"1 5\n", "3EE", 0, 5, 0, 1}, {"1 5\n", "3EE", 1, 5, 0, 0}, {"1 5\n", "2LE", 2, 5, 0, 1},
        {"1 5\n", "1CC", 9, 5, 0, 0},
    };
    for (const Case& c : cases) {
        std::string rows = *c.rows ? c.rows : lin;
        SCOPED_TRACE(rows + c.control + " at " + std::to_string(c.lookup));
        host.clearLog();
        std::vector<double> d;
        TableModel* t = fileTable(rows, c.control);
        EXPECT_TRUE(near(callTable(t, {c.lookup}, &d), c.value, 1e-14));
        EXPECT_TRUE(near(d[0], c.slope, 1e-14));
        EXPECT_EQ(infos().size(), static_cast<size_t>(c.reports));
        EXPECT_EQ(extrapRequests(), c.reports);
        EXPECT_TRUE(errors().empty());
    }
}

TEST_F(TableInterp, ExtrapolationReportText) {
    TableModel* t = fileTable("0 0\n1 10\n2 30\n", "1EE");
    EXPECT_EQ(callTable(t, {-0.5}), -5.0);
    EXPECT_EQ(callTable(t, {31.25}), 615.0);
    const std::string head = "\nIn $table_model(), an extrapolation has occurred in dimension 1.\nIsoline range is "
                             "[0.000000e+00,2.000000e+00], lookup value requested is ";
    EXPECT_EQ(infos(), (std::vector<std::string>{framed(head + "-5.000000e-01.\n"), framed(head + "3.125000e+01.\n")}));
    ASSERT_EQ(host.requests().size(), 2u);
    for (const auto& r : host.requests()) {
        EXPECT_EQ(r.request, "extrap");
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.inst, inst());
        EXPECT_EQ(r.ldr, nullptr);
    }
}

TEST_F(TableInterp, CubicSplinesMatchTheReferenceForEveryPairOfEnds) {
    using namespace table_reference;
    std::string rows;
    const int n = static_cast<int>(std::size(cubicX));
    char buf[128];
    for (int k = n - 1; k >= 0; --k) { // reversed: the reader sorts
        snprintf(buf, sizeof buf, "%.17g %.17g\n", cubicX[k], cubicY[k]);
        rows += buf;
    }
    for (const CubicCase& c : cubicCases) {
        SCOPED_TRACE(std::string() + c.lower + c.upper + " at " + std::to_string(c.lookup));
        host.clearLog();
        TableModel* t = fileTable(rows, std::string("3") + c.lower + c.upper);
        std::vector<double> d;
        EXPECT_TRUE(near(callTable(t, {c.lookup}, &d), c.value, 1e-12));
        EXPECT_TRUE(near(d[0], c.slope, 1e-12));
        const bool reported = (c.lower == 'E' && c.lookup <= cubicX[0]) || (c.upper == 'E' && c.lookup > cubicX[n - 1]);
        EXPECT_EQ(extrapRequests(), reported ? 1 : 0);
    }
}

TEST_F(TableInterp, TwoDimensionalFileMatchesNestedReference) {
    using namespace table_reference;
    TableModel* t = fileTable(table2DFile, "3CL 2LE");
    for (const Case2D& c : cases2D) {
        SCOPED_TRACE(std::to_string(c.v0) + ", " + std::to_string(c.v1));
        host.clearLog();
        std::vector<double> d;
        EXPECT_TRUE(near(callTable(t, {c.v0, c.v1}, &d), c.value, 1e-11));
        EXPECT_TRUE(near(d[0], c.d0, 1e-11));
        EXPECT_TRUE(near(d[1], c.d1, 1e-11));
        EXPECT_EQ(infos().size(), static_cast<size_t>(c.reports));
        EXPECT_EQ(extrapRequests(), c.reports);
        for (const std::string& text : infos())
            EXPECT_NE(text.find("an extrapolation has occurred in dimension 2.\n"), std::string::npos);
        // The value alone is the same without partials.
        EXPECT_EQ(callTable(t, {c.v0, c.v1}), callTable(t, {c.v0, c.v1}, &d));
    }
    EXPECT_TRUE(errors().empty());
}

// Each evaluated isoline of the last dimension reports on its own, in
// sample order: all of them under a spline, two under linear, one when held.
TEST_F(TableInterp, ReportsOncePerEvaluatedIsoline) {
    const char* rows = "2 0 1\n0 0 1\n1 2 2\n0 1 2\n1 0 1\n2 3 2\n";
    struct Case {
        const char* control;
        double v0;
        std::vector<const char*> ranges;
    } cases[] = {
        {"3LL 1LE", 0.5, {"1.000000e+00", "2.000000e+00", "3.000000e+00"}},
        {"1LL 1LE", 0.5, {"1.000000e+00", "2.000000e+00"}},
        {"1LL 1LE", 1.5, {"2.000000e+00", "3.000000e+00"}},
        {"1CL 1LE", -1.0, {"1.000000e+00"}},
        {"2LC 1LE", 7.0, {"3.000000e+00"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.control) + " at " + std::to_string(c.v0));
        TableModel* t = fileTable(rows, c.control);
        host.clearLog();
        callTable(t, {c.v0, 5.0});
        std::vector<std::string> expected;
        for (const char* hi : c.ranges)
            expected.push_back(framed(std::string("\nIn $table_model(), an extrapolation has occurred in dimension "
                                                  "2.\nIsoline range is [0.000000e+00,") +
                                      hi + "], lookup value requested is 5.000000e+00.\n"));
        EXPECT_EQ(infos(), expected);
        EXPECT_EQ(extrapRequests(), static_cast<int>(expected.size()));
    }
}

// f on a 4 x 5 x 4 grid of uneven spacing, every method and end once.
std::string grid3D() {
    const double a[] = {-1.0, -0.2, 0.9, 2.0};
    const double b[] = {0.0, 0.5, 1.5, 2.0, 3.5};
    const double c[] = {1.0, 1.3, 2.2, 3.0};
    std::string rows;
    char buf[160];
    for (double z : c)
        for (double y : b)
            for (double x : a) {
                snprintf(buf, sizeof buf, "%.17g %.17g %.17g %.17g\n", x, y, z,
                         std::sin(x) * std::cos(0.7 * y) + 0.3 * x * z * z - y * z);
                rows += buf;
            }
    return rows;
}

TEST_F(TableInterp, ThreeDimensionalPartialsEqualCentralDifferences) {
    const char* controls[] = {"3LC 1CL 2LL", "2CE 3LL 1LC", "1LL 2CC 3CL"};
    // Inside the grid and beyond its ends, away from every sample.
    const std::vector<double> points[] = {{0.3, 1.1, 1.7},  {-0.6, 2.7, 2.6}, {1.4, 0.2, 1.1},
                                          {-1.5, 1.8, 2.5}, {2.4, 3.8, 0.6},  {0.5, -0.4, 3.4}};
    const double h = 1e-6;
    for (const char* control : controls) {
        TableModel* t = fileTable(grid3D(), control);
        for (const auto& p : points) {
            SCOPED_TRACE(std::string(control) + " at " + std::to_string(p[0]) + ", " + std::to_string(p[1]) + ", " +
                         std::to_string(p[2]));
            std::vector<double> d;
            callTable(t, p, &d);
            ASSERT_EQ(d.size(), 3u);
            for (int k = 0; k < 3; ++k) {
                std::vector<double> lo = p, hi = p;
                lo[k] -= h;
                hi[k] += h;
                double fd = (callTable(t, hi) - callTable(t, lo)) / (2 * h);
                EXPECT_TRUE(near(d[k], fd, 1e-7)) << "partial " << k;
            }
        }
        // The root result carries one partial per dimension.
        InterpResult* r = interp(t, t->isoSet, points[0].data(), 0, t->interpControl);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->dim, 3);
        destroyInterpResult(r);
    }
    EXPECT_TRUE(errors().empty());
}

} // namespace
