// A library that loads a value or a Jacobian entry through the wrong loader
// or through a handle of another kind: the first is warned about once per
// instance and the answer still comes; the second stops the load pass with
// the instance named.
#include "host_test_util.h"

#include <algorithm>

namespace {

struct Misuse {
    int kind;          // FIX_MISUSE of the fixture
    const char* fault; // what stops the run; nullptr: it runs
};

const Misuse kMisuses[] = {
    {1, nullptr},
    {2, "instance 'N1': load through an invalid Jacobian handle"},
    {3, "instance 'N1': load through an invalid Jacobian handle"},
    {4, nullptr},
    {5, "instance 'N1': load through an invalid right-hand-side handle"},
};

class HostLoader : public ::testing::TestWithParam<std::tuple<Misuse, int>> {};

TEST_P(HostLoader, MisloadedEntry) {
    const auto [m, rev] = GetParam();
    const std::string lib =
        std::string(VXR_FIXTURE_DIR) + "/fixmisuse" + std::to_string(m.kind) + "_" + std::to_string(rev) + ".so";
    auto nl = quietNetlist(".lib " + lib +
                           "\nV1 in 0 5\nR1 in a 1k\nN1 a 0 fixdiode IS=1e-14 N=1 CJ=0\n.op\n.print op V(a)\n");
    if (m.fault) {
        try {
            nl->run();
            ADD_FAILURE() << "no fault";
        } catch (const std::exception& e) {
            EXPECT_NE(std::string(e.what()).find(m.fault), std::string::npos) << e.what();
        }
        return;
    }
    auto t = nl->run();
    ASSERT_EQ(t.size(), 1u);
    EXPECT_GT(t[0].rows[0][0], 0.6);
    EXPECT_LT(t[0].rows[0][0], 0.8);
    const auto& msgs = nl->circuit().host().messages;
    const auto warned = std::count_if(msgs.begin(), msgs.end(), [](const vxr::Message& x) {
        return x.instance == "N1" && x.text.find("handle obtained for another target") != std::string::npos;
    });
    EXPECT_EQ(warned, 1); // once, though every load pass misloads
}

INSTANTIATE_TEST_SUITE_P(Revisions, HostLoader,
                         ::testing::Combine(::testing::ValuesIn(kMisuses), ::testing::Values(187, 160, 142)));

} // namespace
