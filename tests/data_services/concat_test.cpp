// Concatenation items, replications and the string functions.
#include <climits>
#include <cmath>
#include <gtest/gtest.h>

#include "VXR_ParamsData.h"
#include "allocation_sweep.h"
#include "error_bodies.h"
#include "recording_host.h"

namespace {

using vxrtest::InstanceRecord;
using vxrtest::RecordingHost;

const char* const kNegative = "Attempt to use a negative-valued replication constant.";

class Concat : public ::testing::Test {
protected:
    RecordingHost host;
    InstanceRecord ti{host, "c1", "catmod"};
    VXR_DeviceInst* inst = &ti.inst;
    std::vector<VXR_Data> made;

    void SetUp() override { vxr_test::resetAllocationProbe(); }
    void TearDown() override
    {
        for (VXR_Data& e : made)
            VXR_free(e.arrayData.pReal);
        EXPECT_EQ(vxr_test::liveBlocks(), 0);
    }
    VXR_Data keep(VXR_Data e)
    {
        made.push_back(e);
        return e;
    }
    VXR_Data reals(std::vector<double> v)
    {
        VXR_Data e = keep(VXR_RealReplicate(inst, 1, 0));
        for (double x : v) {
            VXR_Data one = keep(VXR_Real(inst, x));
            e = keep(VXR_RealReplicate(inst, 1, 2, e, one));
        }
        return e;
    }
    template <class T>
    static std::vector<T> elements(const VXR_Data& e)
    {
        const T* p = reinterpret_cast<const T*>(e.arrayData.pReal);
        return p ? std::vector<T>(p, p + e.arrayLen) : std::vector<T>{};
    }
};

TEST_F(Concat, ReplicationOrderAndConversion)
{
    const VXR_Data a = keep(VXR_Int(inst, 4));
    const VXR_Data b = keep(VXR_IntReplicate(inst, 1, 2, keep(VXR_Int(inst, 5)), keep(VXR_Int(inst, 6))));
    EXPECT_EQ(b.dataType, VXR_INT_DATA);
    EXPECT_EQ(elements<int>(keep(VXR_IntReplicate(inst, 2, 2, a, b))), (std::vector<int>{4, 5, 6, 4, 5, 6}));
    EXPECT_EQ(elements<int>(keep(VXR_IntReplicate(inst, 1, 2, a, b))), (std::vector<int>{4, 5, 6}));

    const VXR_Data x = keep(VXR_Real(inst, 1.5));
    EXPECT_EQ(x.dataType, VXR_REAL_DATA);
    EXPECT_EQ(elements<double>(keep(VXR_RealReplicate(inst, 3, 1, x))), (std::vector<double>{1.5, 1.5, 1.5}));
    // An int item in a real replication converts; a real one in an int
    // replication truncates toward zero.
    EXPECT_EQ(elements<double>(keep(VXR_RealReplicate(inst, 1, 2, x, b))), (std::vector<double>{1.5, 5.0, 6.0}));
    const VXR_Data r = reals({2.9, -2.9, NAN});
    EXPECT_EQ(elements<int>(keep(VXR_IntReplicate(inst, 1, 1, r))), (std::vector<int>{2, -2, INT_MIN}));

    // Nothing to copy: an empty item, no block, no message.
    for (const VXR_Data& e : {keep(VXR_RealReplicate(inst, 0, 1, x)), keep(VXR_RealReplicate(inst, 4, 0)),
                              keep(VXR_IntReplicate(inst, 2, 1, keep(VXR_IntReplicate(inst, 1, 0))))}) {
        EXPECT_EQ(e.arrayLen, 0);
        EXPECT_EQ(e.arrayData.pReal, nullptr);
    }
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(Concat, NegativeCountsAndForeignItemsGiveAnEmptyItem)
{
    VXR_Data broken{VXR_REAL_DATA, -2, {nullptr}};
    const VXR_Data x = keep(VXR_Real(inst, 1.0));
    const VXR_Data cases[] = {
        keep(VXR_RealReplicate(inst, -1, 0)), // reported even without items
        keep(VXR_IntReplicate(inst, -2, 1, x)),
        keep(VXR_RealReplicate(inst, 2, 2, x, broken)),
    };
    for (const VXR_Data& e : cases) {
        EXPECT_EQ(e.arrayLen, 0);
        EXPECT_EQ(e.arrayData.pReal, nullptr);
    }
    EXPECT_EQ(errorBodies(host), std::vector<std::string>(3, kNegative));
#if VXR_REVISION == 187
    host.clearLog();
    VXR_StateVar* n = host.terminal("n");
    const VXR_Data net = keep(VXR_pSV(inst, n, nullptr));
    EXPECT_EQ(keep(VXR_RealReplicate(inst, 1, 2, x, net)).arrayLen, 0);
    EXPECT_EQ(keep(VXR_pSV_Replicate(inst, 1, 2, net, x)).arrayLen, 0);
    EXPECT_EQ(keep(VXR_pSV_Replicate(inst, -1, 1, net)).arrayLen, 0);
    int zero = 0;
    EXPECT_EQ(keep(VXR_pSV(inst, n, &zero)).arrayLen, 0);
    EXPECT_EQ(errorBodies(host), (std::vector<std::string>{"Concatenation mixes nets and numbers.",
                                                  "Concatenation mixes nets and numbers.", kNegative, kNegative}));
#endif
    // Sizes past int are refused before anything is allocated.
    host.clearLog();
    VXR_Data huge{VXR_REAL_DATA, INT_MAX, {nullptr}};
    EXPECT_EQ(keep(VXR_RealReplicate(inst, 2, 1, huge)).arrayLen, 0);
    EXPECT_EQ(errorBodies(host), std::vector<std::string>{"Out of memory."});
}

#if VXR_REVISION == 187

TEST_F(Concat, NetItemsCopyPointersNotNodes)
{
    VXR_StateVar* slots[] = {host.terminal("a"), host.terminal("b"), host.terminal("c")};
    int width = 3;
    const VXR_Data v = keep(VXR_pSV(inst, reinterpret_cast<VXR_StateVar*>(slots), &width));
    EXPECT_EQ(v.dataType, VXR_STATE_VAR_PTR);
    EXPECT_EQ(elements<VXR_StateVar*>(v), (std::vector<VXR_StateVar*>{slots[0], slots[1], slots[2]}));
    EXPECT_NE(v.arrayData.ppSV, slots);
    const VXR_Data one = keep(VXR_pSV(inst, slots[1], nullptr));
    EXPECT_EQ(elements<VXR_StateVar*>(keep(VXR_pSV_Replicate(inst, 2, 2, one, v))),
              (std::vector<VXR_StateVar*>{slots[1], slots[0], slots[1], slots[2], slots[1], slots[0], slots[1],
                                          slots[2]}));
}

TEST_F(Concat, BitwiseFormsOnlyWarn)
{
    EXPECT_EQ(VXR_BitwiseConcatenate(inst, 2, 1, 2), 0);
    EXPECT_EQ(VXR_BitwiseReplicate(inst, 3, 1), 0);
    EXPECT_EQ(host.messageTexts(MessageTypeE_WARNING),
              (std::vector<std::string>{
                  vxrtest::withInstance("Bitwise concatenation within the analog domain is not currently supported.",
                                        "c1", "catmod"),
                  vxrtest::withInstance("Bitwise replication within the analog domain is not currently supported.",
                                        "c1", "catmod")}));
    EXPECT_EQ(host.exitRequests(), 0);
}

TEST_F(Concat, StringConcatenationAndReplication)
{
    struct Case {
        char* result;
        const char* text; // nullptr: NULL result
        bool constantEmpty;
    };
    const char* ab = "ab";
    const Case cases[] = {
        {VXR_StringConcatenate(inst, 3, ab, "", "c"), "abc", false},
        {VXR_StringConcatenate(inst, 2, nullptr, "x"), "x", false},
        {VXR_StringConcatenate(inst, 1, ab), "ab", false},
        {VXR_StringConcatenate(inst, 0), "", true},
        {VXR_StringConcatenate(inst, -1), nullptr, false},
        {VXR_StringReplicate(inst, 3, ab), "ababab", false},
        {VXR_StringReplicate(inst, 1, ab), "ab", false},
        {VXR_StringReplicate(inst, 0, ab), "", true},
        {VXR_StringReplicate(inst, 2, ""), "", true},
        {VXR_StringReplicate(inst, -2, nullptr), "", true}, // empty is tested first: no message
        {VXR_StringReplicate(inst, -2, ab), "", true},
    };
    for (const Case& c : cases) {
        if (!c.text) {
            EXPECT_EQ(c.result, nullptr);
            continue;
        }
        EXPECT_STREQ(c.result, c.text);
        EXPECT_EQ(c.result == VXR_emptyText, c.constantEmpty) << c.text;
        EXPECT_NE(c.result, ab);
        VXR_free(c.result); // the constant empty text is left alone
    }
    EXPECT_EQ(errorBodies(host), std::vector<std::string>{kNegative});
}

TEST_F(Concat, StringFunctions)
{
    struct Sub {
        const char* str;
        int i1, i2;
        const char* result;
    };
    const Sub subs[] = {
        {"hello", 1, 3, "ell"}, {"hello", 4, 4, "o"}, {"hello", 0, 4, "hello"}, {"hello", 2, 5, ""},
        {"hello", 3, 2, ""},    {"hello", -1, 2, ""}, {nullptr, 0, 0, ""},     {"", 0, 0, ""},
        {"hello", 0, INT_MAX, ""},
    };
    for (const Sub& s : subs) {
        const char* r = VXR_rfc_substr(inst, s.str, s.i1, s.i2);
        EXPECT_STREQ(r, s.result) << (s.str ? s.str : "(null)") << " " << s.i1 << ":" << s.i2;
        EXPECT_NE(r, VXR_emptyText); // always a fresh block
        VXR_free(const_cast<char*>(r));
    }
    EXPECT_EQ(VXR_rfc_len(inst, nullptr), 0);
    EXPECT_EQ(VXR_rfc_len(inst, ""), 0);
    EXPECT_EQ(VXR_rfc_len(inst, "hello"), 5);
    const std::pair<const char*, double> numbers[] = {
        {"  2.5e3V", 2500.0}, {"abc", 0.0}, {nullptr, 0.0}, {"-1.5", -1.5}, {"0x10", 16.0}, {"", 0.0}, {"1e", 1.0},
    };
    for (const auto& n : numbers)
        EXPECT_EQ(VXR_rfc_atoreal(inst, n.first), n.second) << (n.first ? n.first : "(null)");
    EXPECT_TRUE(std::isinf(VXR_rfc_atoreal(inst, "inf")));
    EXPECT_TRUE(host.messages().empty());
}

#endif

TEST(ConcatAllocation, FailuresReportOnceAndLeaveEmptyItems)
{
    vxr_test::sweepAllocationFailures([&](int k) {
        RecordingHost host;
        InstanceRecord ti(host, "c1", "catmod");
        VXR_DeviceInst* inst = &ti.inst;
        const VXR_Data a = VXR_Int(inst, 1);
        const VXR_Data b = VXR_Int(inst, 2);
        vxr_test::failAllocationAfter(k);
        VXR_Data r = VXR_IntReplicate(inst, 2, 2, a, b);
#if VXR_REVISION == 187
        char* s = VXR_StringConcatenate(inst, 3, "x", "y", "z");
        char* t = VXR_StringReplicate(inst, 2, "ab");
#endif
        vxr_test::failAllocationAfter(-1);
        if (vxr_test::allocationFailed())
            vxr_test::expectOutOfMemoryReported(host);
        EXPECT_EQ(r.arrayLen == 0, r.arrayData.pInt == nullptr);
#if VXR_REVISION == 187
        if (s)
            EXPECT_STREQ(s, "xyz");
        if (t)
            EXPECT_STREQ(t, "abab");
        VXR_free(s);
        VXR_free(t);
#endif
        VXR_free(r.arrayData.pInt);
        VXR_free(a.arrayData.pInt);
        VXR_free(b.arrayData.pInt);
        EXPECT_EQ(vxr_test::liveBlocks(), 0);
    });
}

} // namespace
