// $limit descriptors and calls against a limiter table in the recording host.
#include <cmath>
#include <gtest/gtest.h>

#include "VXR_ParamsData.h"
#include "allocation_sweep.h"
#include "recording_host.h"

namespace {

using vxrtest::Call;
using vxrtest::InstanceRecord;
using vxrtest::RecordingHost;
using vxrtest::withInstance;

struct LimiterCall {
    double current, previous;
    std::vector<double> args;
};
std::vector<LimiterCall> g_calls;
unsigned g_answer;
double g_limited;

// Records what it is given; answers g_answer and, when nonzero, g_limited.
template <int N>
unsigned recordingLimiter(VXR_DeviceInst*, double current, double previous, double* limited, double* args)
{
    g_calls.push_back({current, previous, args ? std::vector<double>(args, args + N) : std::vector<double>{}});
    if (g_answer)
        *limited = g_limited;
    return g_answer;
}

class Limit : public ::testing::Test {
protected:
    RecordingHost host;
    InstanceRecord ti{host, "d1", "limmod"};
    VXR_DeviceInst* inst = &ti.inst;
    VXR_LimitFunctionDescriptor table[3] = {
        {"default", 0, recordingLimiter<0>}, {"pnjlim", 2, recordingLimiter<2>}, {"pnjlim", 1, recordingLimiter<1>}};
    std::vector<void*> descs;

    void SetUp() override
    {
        vxr_test::resetAllocationProbe();
        g_calls.clear();
        g_answer = 0;
        host.sim()->numOfLimitFunctions = 3;
        host.sim()->pLimitFunctionDescArray = table;
    }
    void TearDown() override
    {
        for (void* d : descs)
            VXR_freeLimitCallDesc(d);
        EXPECT_EQ(vxr_test::liveBlocks(), 0);
    }
    void* create(const char* name, int nArgs)
    {
        void* d = VXR_createLimitCallDesc(inst, name, nArgs);
        descs.push_back(d);
        return d;
    }
    size_t prohibits() const { return host.count(Call::ProhibitConvergence); }
};

TEST_F(Limit, FirstExactMatchReceivesArgumentsAndPreviousValue)
{
    void* d = create("pnjlim", 2);
    ASSERT_NE(d, nullptr);
#if VXR_REVISION != 142
    EXPECT_EQ(VXR_getPrevLimitVal(d), 0.0);
#endif
    EXPECT_EQ(VXR_callLimitFunction(host.loader(), d, 1.0, 0.026, 1e-14), 1.0); // not limited
    g_answer = 3;
    g_limited = 0.7;
    EXPECT_EQ(VXR_callLimitFunction(host.loader(), d, 2.0, 0.5, 0.25), 0.7);
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].previous, 0.0);
    EXPECT_EQ(g_calls[0].args, (std::vector<double>{0.026, 1e-14}));
    EXPECT_EQ(g_calls[1].previous, 1.0); // the last value produced
    EXPECT_EQ(g_calls[1].args, (std::vector<double>{0.5, 0.25}));
    // 1.60 and 1.42 keep the host from converging on every limiting.
    EXPECT_EQ(prohibits(), VXR_REVISION == 187 ? 0u : 1u);
#if VXR_REVISION != 142
    EXPECT_EQ(VXR_getPrevLimitVal(d), 0.7);
    host.clearLog();
    EXPECT_NEAR(VXR_calcLimitCorrTerm(d, 2.0), 2.6, 1e-15);
    EXPECT_EQ(prohibits(), 1u);
#endif
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(Limit, UnknownNamesAndCountMismatch)
{
    void* plain = create("vlim", 0);
    void* withArgs = create("fetlim", 2);
    void* again = create("vlim", 0); // the same warning text is dropped in 1.87
    EXPECT_EQ(create("pnjlim", 1), nullptr);
    EXPECT_EQ(create("pnjlim", 0), nullptr);
    const std::string unsupported =
        "\nIn $limit(), The specified limit function '%s' is not supported. The simulator default limit function "
        "will be used.";
    auto text = [](std::string t, const char* name) { return t.replace(t.find("%s"), 2, name); };
    std::vector<std::string> warnings = {
        text(unsupported, "vlim"), text(unsupported, "fetlim"),
        "\nIn $limit(), the default limiter will ignore arguments intended for the unsupported limiter 'fetlim'."};
    if (VXR_REVISION != 187)
        warnings.push_back(text(unsupported, "vlim"));
    std::vector<std::string> got;
    for (const auto& m : host.messages())
        if (m.type == MessageTypeE_WARNING)
            got.push_back(m.body);
    EXPECT_EQ(got, warnings);
    EXPECT_EQ(host.messageTexts(MessageTypeE_ERROR),
              (std::vector<std::string>{
                  withInstance("\nIn $limit(), incorrect argument count. Limiter 'pnjlim' accepts 2 arguments. 1 given.",
                               "d1", "limmod"),
                  withInstance("\nIn $limit(), incorrect argument count. Limiter 'pnjlim' accepts 2 arguments. 0 given.",
                               "d1", "limmod")}));
    EXPECT_EQ(host.exitRequests(), 2);
    // The default limiter is called without the arguments.
    EXPECT_EQ(VXR_callLimitFunction(host.loader(), withArgs, 0.3), 0.3);
    EXPECT_EQ(VXR_callLimitFunction(host.loader(), plain, 0.4), 0.4);
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_TRUE(g_calls[0].args.empty());
    (void)again;
    // A NULL descriptor (after the count error) gives the value unlimited.
    EXPECT_EQ(VXR_callLimitFunction(host.loader(), nullptr, 0.9), 0.9);
}

TEST_F(Limit, DescriptorsWithoutAHostLimiter)
{
    void* own = create(nullptr, 0); // the module limits itself
    host.sim()->numOfLimitFunctions = 0;
    void* none = create("pnjlim", 0); // empty table: warned, left without a limiter
    EXPECT_EQ(host.messageTexts(MessageTypeE_WARNING).size(), 1u);
    for (void* d : {own, none}) {
        EXPECT_EQ(VXR_callLimitFunction(host.loader(), d, 1.25), 1.25);
        EXPECT_TRUE(g_calls.empty());
#if VXR_REVISION != 142
        EXPECT_EQ(VXR_getPrevLimitVal(d), 1.25);
        EXPECT_EQ(VXR_calcLimitCorrTerm(d, 3.0), 0.0); // not limited
        VXR_setLimitState(1.0, 0.5, d);
        EXPECT_EQ(VXR_getPrevLimitVal(d), 0.5);
        EXPECT_EQ(VXR_calcLimitCorrTerm(d, 4.0), 2.0);
        VXR_setLimitState(NAN, NAN, d); // NaN counts as limited
        EXPECT_TRUE(std::isnan(VXR_calcLimitCorrTerm(d, 1.0)));
        VXR_setLimitState(2.0, 2.0, d);
        EXPECT_EQ(VXR_calcLimitCorrTerm(d, 4.0), 0.0);
#endif
    }
    EXPECT_EQ(prohibits(), 0u); // without a host limiter nothing is prohibited
    EXPECT_EQ(host.exitRequests(), 0);
}

#if VXR_REVISION != 142
TEST_F(Limit, CorrectionTermThreshold)
{
    void* d = create("default", 0);
    g_answer = 1;
    g_limited = 0.5;
    VXR_callLimitFunction(host.loader(), d, 1.0);
    host.clearLog();
    struct Case {
        double fprime;
        double term; // 1.87
    };
    const Case cases[] = {{1e-100, 0.0}, {-1e-100, 0.0}, {0.0, 0.0}, {2e-100, 1e-100}, {-4.0, -2.0}};
    for (const Case& c : cases) {
        const double expected = VXR_REVISION == 187 ? c.term : 0.5 * c.fprime;
        EXPECT_EQ(VXR_calcLimitCorrTerm(d, c.fprime), expected) << c.fprime;
    }
    EXPECT_EQ(prohibits(), VXR_REVISION == 187 ? 2u : 5u);
    host.clearLog();
    const double nanTerm = VXR_calcLimitCorrTerm(d, NAN);
    EXPECT_EQ(VXR_REVISION == 187 ? nanTerm == 0.0 : std::isnan(nanTerm), true);
}
#endif

TEST(LimitAllocation, FailuresReportOnce)
{
    VXR_LimitFunctionDescriptor table[] = {{"default", 0, recordingLimiter<0>}, {"two", 2, recordingLimiter<2>}};
    vxr_test::sweepAllocationFailures([&](int k) {
        RecordingHost host;
        host.sim()->numOfLimitFunctions = 2;
        host.sim()->pLimitFunctionDescArray = table;
        InstanceRecord ti(host, "d1", "limmod");
        vxr_test::resetAllocationProbe();
        vxr_test::failAllocationAfter(k);
        void* d = VXR_createLimitCallDesc(&ti.inst, "two", 2);
        vxr_test::failAllocationAfter(-1);
        if (vxr_test::allocationFailed()) {
            vxr_test::expectOutOfMemoryReported(host);
            EXPECT_EQ(d, nullptr);
        } else {
            ASSERT_NE(d, nullptr);
            EXPECT_EQ(vxr_test::liveBlocks(), 2); // the descriptor and its argument room
        }
        VXR_freeLimitCallDesc(d);
    });
}

} // namespace
