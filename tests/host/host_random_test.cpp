// A resistor whose current carries a $rdist_normal draw, in a transient
// through the host: every Newton iteration of a time point sees the same
// draw (else no point would converge), accepted points draw afresh, the
// host generator gives draws of both signs, and a run is reproducible from
// the host's seed.
#include "host_test_util.h"

#include <cmath>
#include <vector>

using namespace vxr;

namespace {

constexpr double kR = 1e3, kSigma = 1e-4;

class HostRandom : public ::testing::TestWithParam<int> {
protected:
    // I(V1) over a transient of 200 points; sigma 0 gives the plain resistor.
    // The host's truncation-error control covers every unknown, and a fresh
    // draw per time point is a jump that no step size resolves: trtol lets
    // every converged point pass.
    std::vector<double> currents(double sigma, const std::string& options = "") const {
        auto nl = quietNetlist(".lib " + fixture("rand", GetParam()) + "\n.options trtol=1e9\n" + options +
                               "V1 a 0 DC 1\nN1 a 0 fixrand R=1k SIGMA=" + std::to_string(sigma) +
                               "\n.tran 1u 200u\n.print tran I(V1)\n");
        Simulator sim(nl->circuit());
        Table t = sim.tran(nl->analyses()[0].tran, nl->probesFor(AnalysisCmd::TRAN));
        std::vector<double> out;
        for (auto& row : t.rows) out.push_back(row[1]);
        return out;
    }
};

TEST_P(HostRandom, TransientDrawsOncePerTimePoint) {
    const std::vector<double> plain = currents(0.0);
    const std::vector<double> noisy = currents(kSigma);
    ASSERT_EQ(noisy.size(), plain.size());
    ASSERT_GE(noisy.size(), 100u);
    EXPECT_NEAR(std::fabs(plain[0]), 1.0 / kR, 1e-12);

    double sum = 0.0, sum2 = 0.0;
    int positive = 0, repeats = 0;
    const size_t n = noisy.size();
    for (size_t i = 0; i < n; ++i) {
        const double d = noisy[i] - plain[i];
        sum += d;
        sum2 += d * d;
        positive += d > 0;
        if (i > 0 && noisy[i] == noisy[i - 1]) ++repeats;
    }
    const double mean = sum / n, sd = std::sqrt(sum2 / n - mean * mean);
    EXPECT_LT(std::fabs(mean), 5 * kSigma / std::sqrt(static_cast<double>(n)));
    EXPECT_GT(sd, 0.7 * kSigma);
    EXPECT_LT(sd, 1.3 * kSigma);
    EXPECT_GT(positive, static_cast<int>(n) / 4); // draws of both signs
    EXPECT_LT(positive, 3 * static_cast<int>(n) / 4);
    EXPECT_LT(repeats, 3);

    EXPECT_EQ(currents(kSigma), noisy); // reproducible from the host's seed
    EXPECT_NE(currents(kSigma, ".options seed=7\n"), noisy);
}

INSTANTIATE_TEST_SUITE_P(Revisions, HostRandom, ::testing::Values(187, 160, 142),
                         [](const auto& info) { return "r" + std::to_string(info.param); });

} // namespace
