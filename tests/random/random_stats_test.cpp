// The distributions' shapes: 2x10^5 chained draws per entry point from three
// seeds, against mean, variance and binned probabilities from scipy.stats
// (reference/make_stats.py). Bounds are two-sided at 1e-4; the Pearson
// statistic over the bins stays below its 1e-4 critical value.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "random_util.h"
#include "recording_host.h"

namespace {

using vxrtest::InstanceRecord;
using vxrtest::RecordingHost;

struct StatCase {
    const char* name;
    double a, b;
    bool integer;
    double mean, meanTol, var, varTol;
    int bins;
    double edges[19]; // bins - 1 inner edges; bin i holds edges[i-1] <= x < edges[i]
    double probs[20];
    double critical;
};

#include "reference_stats.inc"

// Odd real chi-square counts are not in the table: there the normal draw
// repeats the host draws of the first factor, so the sum is not chi-square.
TEST(RandomStatistics, DrawsFollowTheirDistributions)
{
    for (int seed0 : {1, 4242, -77777}) {
        for (const StatCase& c : kStatCases) {
            SCOPED_TRACE(std::string(c.name) + "(" + std::to_string(c.a) + ", " + std::to_string(c.b) +
                         ") from seed " + std::to_string(seed0));
            RecordingHost host;
            host.recordRand(false);
            InstanceRecord inst(host, "r1");
            VXR_RandomDesc* d = VXR_createRandomDesc(inst.ptr());
            std::vector<double> x(kStatDraws);
            int seed = seed0;
            for (double& v : x)
                v = c.integer ? randtest::drawInt(c.name, d, &seed, static_cast<int>(c.a), static_cast<int>(c.b))
                              : randtest::drawReal(c.name, d, &seed, c.a, c.b);
            VXR_free(d);

            double mean = 0.0;
            for (double v : x) mean += v;
            mean /= kStatDraws;
            double var = 0.0;
            std::vector<long> counts(static_cast<size_t>(c.bins), 0);
            for (double v : x) {
                var += (v - mean) * (v - mean);
                counts[static_cast<size_t>(std::upper_bound(c.edges, c.edges + c.bins - 1, v) - c.edges)]++;
            }
            var /= kStatDraws - 1;
            double pearson = 0.0;
            for (int i = 0; i < c.bins; ++i) {
                const double expected = c.probs[i] * kStatDraws;
                pearson += (counts[static_cast<size_t>(i)] - expected) * (counts[static_cast<size_t>(i)] - expected) /
                           expected;
            }
            EXPECT_NEAR(mean, c.mean, c.meanTol);
            EXPECT_NEAR(var, c.var, c.varTol);
            EXPECT_LT(pearson, c.critical);
        }
    }
}

} // namespace
