// A diode whose junction voltage goes through the host's limiter by $limit:
// the operating point from a cold start converges, and the host's limiter
// cuts the large first steps only.
#include "host_test_util.h"

#include <cmath>

namespace {

class HostLimit : public ::testing::TestWithParam<int> {};

TEST_P(HostLimit, ColdStartConvergesWithLargeStepsLimited) {
    const std::string lib = std::string(VXR_FIXTURE_DIR) + "/fixlimd_" + std::to_string(GetParam()) + ".so";
    auto nl = quietNetlist(".lib " + lib + "\nV1 in 0 5\nR1 in a 1k\nN1 a 0 fixlimd IS=1e-14 N=1\n.options reltol=1e-9\n.op\n.print op V(a) I(V1)\n");
    auto t = nl->run();
    ASSERT_EQ(t.size(), 1u);
    const double va = t[0].rows[0][0], iv = -t[0].rows[0][1];
    const double vt = 1.380649e-23 * (nl->circuit().options().temp + 273.15) / 1.602176634e-19;
    // Kirchhoff's current law at the anode and the diode law, to the tight
    // relative tolerance the netlist asks for.
    EXPECT_NEAR(iv, (5.0 - va) / 1e3, 1e-9);
    EXPECT_NEAR(iv, 1e-14 * std::expm1(va / vt), 1e-6 * iv);
    EXPECT_GT(va, 0.6);
    EXPECT_LT(va, 0.8);

    const vxr::HostServices& h = nl->circuit().host();
    EXPECT_GE(h.limitedSteps, 1);              // the first step from 0 V towards 5 V is cut
    EXPECT_LT(h.limitedSteps, h.limiterCalls); // the converged iterations are not
    EXPECT_TRUE(h.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Revisions, HostLimit, ::testing::Values(187, 160, 142));

} // namespace
