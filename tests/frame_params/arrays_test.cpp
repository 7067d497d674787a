// Runtime array storage: creation, bounds, grow-only data, assignment.
#include <climits>
#include <cmath>
#include <gtest/gtest.h>

#include "VXR_ParamsData.h"
#include "fixture_module.h"
#include "allocation_probe.h"
#include "recording_host.h"

namespace {

using vxrtest::InstanceRecord;
using vxrtest::RecordingHost;
using vxrtest::withInstance;

class Arrays : public ::testing::Test {
protected:
    RecordingHost host;
    VXR_ModuleDescriptor md = fixtureDescriptor();
    InstanceRecord ti{host, "a1", &md, 3};
    VXR_DeviceInst* inst = &ti.inst;

    void SetUp() override { vxr_test::resetAllocationProbe(); }

};

TEST_F(Arrays, CreatedArrayHasNoBoundsAndNoData)
{
    VXR_Array* a = VXR_createArray(inst, VXR_REAL_ARRAY, "c");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->_pParent, inst);
    EXPECT_EQ(a->_pSimInterface, host.sim());
    EXPECT_STREQ(a->_arrayName, "c");
    EXPECT_EQ(a->_arrayType, VXR_REAL_ARRAY);
    EXPECT_FALSE(a->_boundsSet);
    EXPECT_TRUE(a->_contentsModified);
    EXPECT_FALSE(a->_isVar);
    EXPECT_EQ(a->_dataLen, 0);
    EXPECT_EQ(a->_data._pReal, nullptr);
#if VXR_REVISION == 187
    EXPECT_EQ(a->_digID, -1);
    EXPECT_EQ(a->_D2A_ImportIndex, 0);
    EXPECT_EQ(a->_numDims, 1);
    EXPECT_EQ(a->_pLeftBounds, nullptr);
#endif
    freeTestArray(a);
}

#if VXR_REVISION == 187
TEST_F(Arrays, ElementCountIsProductOfDimensions)
{
    VXR_Array* a = VXR_createArray(inst, VXR_INT_ARRAY, "m");
    const struct {
        int numDims;
        int b[4];
        int count;
    } cases[] = {{1, {3, 0}, 4}, {1, {0, 3}, 4}, {2, {1, 2, 5, 3}, 6}, {1, {-2, -2}, 1}, {0, {}, 1}};
    for (const auto& c : cases) {
        VXR_setArrayBoundLists(a, c.numDims, c.b[0], c.b[1], c.b[2], c.b[3]);
        EXPECT_EQ(a->_dataLen, c.count);
        EXPECT_EQ(a->_numDims, c.numDims);
        EXPECT_TRUE(a->_boundsSet);
    }
    EXPECT_EQ(a->_pLeftBounds, nullptr); // no dimensions: no bound vectors

    const int left[] = {1, 5}, right[] = {2, 3};
    VXR_setArrayBoundVectors(a, 2, left, right);
    EXPECT_EQ(a->_dataLen, 6);
    EXPECT_EQ(a->_pRightBounds[1], 3);
    // The array's own vectors as the source.
    VXR_setArrayBoundVectors(a, a->_numDims, a->_pLeftBounds, a->_pRightBounds);
    EXPECT_EQ(a->_dataLen, 6);
    EXPECT_EQ(a->_pLeftBounds[1], 5);
    EXPECT_TRUE(host.messages().empty());
    freeTestArray(a);
}
#endif

TEST_F(Arrays, DataGrowsButNeverShrinks)
{
    VXR_Array* a = makeArray(inst, VXR_REAL_ARRAY, "g", 0, 9, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    const double* block = a->_data._pReal;
    VXR_setArrayBounds(a, 3, 0);
    EXPECT_EQ(a->_dataLen, 4);
    EXPECT_EQ(a->_data._pReal, block);
    EXPECT_EQ(realElements(a), (std::vector<double>{0, 1, 2, 3}));
    VXR_setArrayBounds(a, 0, 11);
    EXPECT_EQ(a->_dataLen, 12);
    EXPECT_EQ(realElements(a), std::vector<double>(12, 0.0));
    freeTestArray(a);
}

TEST_F(Arrays, OversizeArrayIsReportedNotShortAllocated)
{
    VXR_Array* a = makeArray(inst, VXR_REAL_ARRAY, "big", 0, 3, {1, 2, 3, 4});
    VXR_setArrayBounds(a, INT_MIN, INT_MAX); // 2^32 elements
    EXPECT_EQ(a->_dataLen, 0);
    EXPECT_TRUE(a->_boundsSet);
#if VXR_REVISION == 187
    VXR_setArrayBoundLists(a, 2, 0, 65535, 0, 65535); // 2^32 as a product of two dimensions
    EXPECT_EQ(a->_dataLen, 0);
    VXR_setArrayBoundLists(a, 4, 0, 65535, 0, 65535, 0, 65535, 0, 65535); // 2^64
    EXPECT_EQ(a->_dataLen, 0);
    VXR_setArrayBoundLists(a, 2, 0, INT_MAX, INT_MIN, INT_MAX); // 2^31 * 2^32: past 64 bits
    EXPECT_EQ(a->_dataLen, 0);
    const int expected = 4;
#else
    const int expected = 1;
#endif
    const std::string text = withInstance("Out of memory.", "a1", "fixmod");
    EXPECT_EQ(host.messageTexts(MessageTypeE_ERROR), std::vector<std::string>(expected, text));
    EXPECT_EQ(host.exitRequests(), expected);
    freeTestArray(a);
}

TEST_F(Arrays, FailedDataAllocationLeavesNoElements)
{
    VXR_Array* a = makeArray(inst, VXR_INT_ARRAY, "f", 0, 1, {1, 2});
    // Revision 1.87 allocates the two bound vectors before the data.
    vxr_test::failAllocationAfter(VXR_REVISION == 187 ? 2 : 0);
    VXR_setArrayBounds(a, 0, 9);
    EXPECT_EQ(a->_dataLen, 0);
    EXPECT_EQ(a->_data._pInt, nullptr);
    EXPECT_EQ(host.messageTexts(MessageTypeE_ERROR),
              (std::vector<std::string>{withInstance("Out of memory.", "a1", "fixmod")}));
    EXPECT_EQ(host.exitRequests(), 1);
    VXR_setArrayBounds(a, 0, 2); // usable again afterwards
    EXPECT_EQ(intElements(a), (std::vector<int>{0, 0, 0}));
#if VXR_REVISION == 187
    vxr_test::failAllocationAfter(0); // the bound vectors themselves
    VXR_setArrayBounds(a, 0, 5);
    EXPECT_EQ(a->_pLeftBounds, nullptr);
    EXPECT_LE(a->_dataLen, 3);
    EXPECT_EQ(host.exitRequests(), 2);
#endif
    freeTestArray(a);
}

TEST_F(Arrays, AssignmentIntoNewArrayTakesBoundsAndOrder)
{
    VXR_Array* rhs = makeArray(inst, VXR_REAL_ARRAY, "r", 0, 3, {1.5, 2.5, -2.5, 0.4});
    VXR_Array* lhs = VXR_createArray(inst, VXR_REAL_ARRAY, "l");
    VXR_assignArray(lhs, rhs);
    EXPECT_TRUE(lhs->_boundsSet);
    EXPECT_EQ(realElements(lhs), realElements(rhs));
#if VXR_REVISION == 187
    EXPECT_EQ(lhs->_numDims, 1);
    EXPECT_EQ(lhs->_pLeftBounds[0], 0);
    EXPECT_EQ(lhs->_pRightBounds[0], 3);
    EXPECT_NE(lhs->_pLeftBounds, rhs->_pLeftBounds);
#else
    EXPECT_EQ(lhs->_leftBound, 0);
    EXPECT_EQ(lhs->_rightBound, 3);
#endif
    // Opposite direction: the order reverses so that the left bounds correspond.
    VXR_Array* down = VXR_createArray(inst, VXR_REAL_ARRAY, "d");
    VXR_setArrayBounds(down, 3, 0);
    VXR_assignArray(down, rhs);
    EXPECT_EQ(realElements(down), (std::vector<double>{0.4, -2.5, 2.5, 1.5}));
    // And back.
    VXR_Array* up = VXR_createArray(inst, VXR_REAL_ARRAY, "u");
    VXR_setArrayBounds(up, 0, 3);
    VXR_assignArray(up, down);
    EXPECT_EQ(realElements(up), realElements(rhs));
    freeTestArray(up);
    freeTestArray(down);
    freeTestArray(lhs);
    freeTestArray(rhs);
}

TEST_F(Arrays, AssignmentConvertsElements)
{
    VXR_Array* r = makeArray(inst, VXR_REAL_ARRAY, "r", 0, 7, {2.5, -2.5, 0.4, -0.4, 0.5, NAN, 1e300, -3e9});
    VXR_Array* i = VXR_createArray(inst, VXR_INT_ARRAY, "i");
    VXR_assignArray(i, r);
    EXPECT_EQ(intElements(i), (std::vector<int>{3, -3, 0, 0, 1, INT_MIN, INT_MIN, INT_MIN}));

    VXR_Array* back = VXR_createArray(inst, VXR_REAL_ARRAY, "b");
    VXR_assignArray(back, i);
    EXPECT_EQ(back->_dataLen, 8);
    EXPECT_EQ(back->_data._pReal[0], 3.0);
    EXPECT_EQ(back->_data._pReal[5], static_cast<double>(INT_MIN));
    freeTestArray(back);
    freeTestArray(i);
    freeTestArray(r);
}

TEST_F(Arrays, ModifiedFlagFollowsChanges)
{
    VXR_Array* src = makeArray(inst, VXR_REAL_ARRAY, "s", 0, 2, {1.0, NAN, 3.0});
    VXR_Array* dst = makeArray(inst, VXR_REAL_ARRAY, "t", 0, 2, {1.0, 0.0, 3.0});
    dst->_contentsModified = 0;
    VXR_assignArray(dst, src);
    EXPECT_TRUE(dst->_contentsModified);
    dst->_contentsModified = 0;
    VXR_assignArray(dst, src); // NaN over NaN still counts as a change
    EXPECT_TRUE(dst->_contentsModified);

    src->_data._pReal[1] = 2.0;
    VXR_assignArray(dst, src);
    dst->_contentsModified = 0;
    VXR_assignArray(dst, src); // equal values
    EXPECT_FALSE(dst->_contentsModified);
    VXR_assignArray(dst, dst); // self-assignment does nothing
    EXPECT_FALSE(dst->_contentsModified);

    VXR_Array* isrc = makeArray(inst, VXR_INT_ARRAY, "is", 0, 1, {4, 5});
    VXR_Array* idst = makeArray(inst, VXR_INT_ARRAY, "id", 0, 1, {4, 5});
    idst->_contentsModified = 0;
    VXR_assignArray(idst, isrc);
    EXPECT_FALSE(idst->_contentsModified);
    isrc->_data._pInt[1] = 6;
    VXR_assignArray(idst, isrc);
    EXPECT_TRUE(idst->_contentsModified);
    for (VXR_Array* a : {src, dst, isrc, idst})
        freeTestArray(a);
}

TEST_F(Arrays, AssignmentNeverWritesPastTheTarget)
{
    VXR_Array* rhs = makeArray(inst, VXR_REAL_ARRAY, "r", 0, 5, {1, 2, 3, 4, 5, 6});
    VXR_Array* small = makeArray(inst, VXR_REAL_ARRAY, "s", 0, 1, {});
    VXR_assignArray(small, rhs);
    EXPECT_EQ(realElements(small), (std::vector<double>{1, 2}));
    VXR_Array* smallDown = makeArray(inst, VXR_REAL_ARRAY, "sd", 1, 0, {});
    VXR_assignArray(smallDown, rhs); // left bound of the target takes the first element
    EXPECT_EQ(realElements(smallDown), (std::vector<double>{2, 1}));
    // A source longer than a target without bounds is copied whole.
    VXR_Array* unbounded = VXR_createArray(inst, VXR_INT_ARRAY, "u");
    VXR_assignArray(unbounded, rhs);
    EXPECT_EQ(unbounded->_dataLen, 6);
    // A source without bounds gives nothing.
    VXR_Array* empty = VXR_createArray(inst, VXR_REAL_ARRAY, "e");
    VXR_assignArray(small, empty);
    EXPECT_EQ(realElements(small), (std::vector<double>{1, 2}));
    for (VXR_Array* a : {rhs, small, smallDown, unbounded, empty})
        freeTestArray(a);
}

TEST_F(Arrays, DuplicateIsIndependent)
{
    VXR_Array* src = makeArray(inst, VXR_REAL_ARRAY, "coef", 3, 0, {1, 2, 3, 4});
    src->_isVar = 1;
    VXR_Array* dup = VXR_duplicateArray(src);
    ASSERT_NE(dup, nullptr);
    EXPECT_NE(dup, src);
    EXPECT_EQ(dup->_arrayName, src->_arrayName);
    EXPECT_EQ(dup->_pParent, inst);
    EXPECT_FALSE(dup->_isVar);
    EXPECT_EQ(realElements(dup), realElements(src));
#if VXR_REVISION == 187
    EXPECT_EQ(dup->_digID, -1);
    EXPECT_EQ(dup->_pLeftBounds[0], 3);
    EXPECT_EQ(dup->_pRightBounds[0], 0);
#else
    EXPECT_EQ(dup->_leftBound, 3);
#endif
    src->_data._pReal[0] = 99;
    EXPECT_EQ(dup->_data._pReal[0], 1);
    EXPECT_EQ(VXR_duplicateArray(nullptr), nullptr);
    freeTestArray(dup);
    freeTestArray(src);
}

} // namespace
