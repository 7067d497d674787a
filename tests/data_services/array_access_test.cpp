// Runtime arrays as generated code uses them: index mapping, element access,
// initialisers, the range and length checks, creation and release.
#include <climits>
#include <cstdint>
#include <cmath>
#include <gtest/gtest.h>

#include "VXR_ParamsData.h"
#include "allocation_sweep.h"
#include "error_bodies.h"
#include "fixture_module.h"
#include "recording_host.h"
#include "reference/array_index_cases.h"

namespace {

using vxrtest::InstanceRecord;
using vxrtest::RecordingHost;
using vxrtest::withInstance;

class ArrayAccess : public ::testing::Test {
protected:
    RecordingHost host;
    VXR_ModuleDescriptor md = fixtureDescriptor();
    InstanceRecord ti{host, "a1", &md, 3};
    VXR_DeviceInst* inst = &ti.inst;

    void SetUp() override { vxr_test::resetAllocationProbe(); }

};

#if VXR_REVISION == 187

int indexOf(VXR_Array* a, const std::vector<int>& i)
{
    switch (i.size()) {
    case 0: return VXR_getArrayIndex(a, 0);
    case 1: return VXR_getArrayIndex(a, 1, i[0]);
    case 2: return VXR_getArrayIndex(a, 2, i[0], i[1]);
    case 3: return VXR_getArrayIndex(a, 3, i[0], i[1], i[2]);
    default: return VXR_getArrayIndex(a, 4, i[0], i[1], i[2], i[3]);
    }
}

TEST_F(ArrayAccess, IndexMappingMatchesColumnMajorReference)
{
    for (const ArrayIndexCase& c : kArrayIndexCases) {
        VXR_Array* a = VXR_createArray(inst, VXR_REAL_ARRAY, "x");
        VXR_setArrayBoundVectors(a, c.dims, c.left, c.right);
        const std::vector<int> idx(c.index, c.index + c.dims);
        EXPECT_EQ(indexOf(a, idx), c.position) << "dims " << c.dims << " first bounds [" << c.left[0] << ":"
                                               << c.right[0] << "]";
        VXR_freeArray(a);
    }
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(ArrayAccess, IndexErrorsAreReportedThenExit)
{
    struct Case {
        int left[3], right[3], dims;
        std::vector<int> index;
        int position;
        const char* error; // nullptr: none
    };
    const Case cases[] = {
        {{0}, {3}, 1, {0}, 0, nullptr},
        {{0}, {3}, 1, {3}, 3, nullptr},
        {{0}, {3}, 1, {4}, -1, "Invalid array access: m[4] out of allowed range (0:3)"},
        {{0}, {3}, 1, {7}, -1, "Invalid array access: m[7] out of allowed range (0:3)"},
        {{7}, {0}, 1, {7}, 7, nullptr},
        {{0, 1}, {3, 2}, 2, {2, 2}, 6, nullptr},
        {{0, 1}, {3, 2}, 2, {3, 2}, 7, nullptr},
        {{0, 1}, {3, 2}, 2, {1, 5}, -1, "Invalid array access: m[][5] out of allowed range (1:2) for dimension (2)"},
        // Only the first failing dimension is reported.
        {{0, 0, 0}, {1, 1, 1}, 3, {5, 5, 0}, -1,
         "Invalid array access: m[5][][] out of allowed range (0:1) for dimension (1)"},
        {{0, 1}, {3, 2}, 2, {2}, 2, "Invalid array access: m has 2 dimensions but 1 were given."},
        // More indices than dimensions: no bound past the last is read.
        {{0, 1}, {3, 2}, 2, {0, 1, 0}, -1, "Invalid array access: m has 2 dimensions but 3 were given."},
    };
    for (const Case& c : cases) {
        host.clearLog();
        VXR_Array* a = VXR_createArray(inst, VXR_REAL_ARRAY, "m");
        VXR_setArrayBoundVectors(a, c.dims, c.left, c.right);
        EXPECT_EQ(indexOf(a, c.index), c.position) << (c.error ? c.error : "no error");
        EXPECT_EQ(errorBodies(host), c.error ? std::vector<std::string>{c.error} : std::vector<std::string>{});
        VXR_freeArray(a);
    }
    ASSERT_FALSE(host.messages().empty());
    EXPECT_EQ(host.messages().back().text,
              withInstance("Invalid array access: m has 2 dimensions but 3 were given.", "a1", "fixmod"));
}

#if SIZE_MAX <= 0xFFFFFFFFu
// Only a 32-bit size wraps for 2^30 + 1 bounds.
TEST_F(ArrayAccess, DimensionCountsPastTheAddressSpaceAreRefused)
{
    VXR_Array* a = VXR_createArray(inst, VXR_REAL_ARRAY, "w");
    VXR_setArrayBoundLists(a, 0x40000001); // refused before any bound is read
    EXPECT_EQ(a->_numDims, 0);
    EXPECT_EQ(a->_dataLen, 0);
    EXPECT_EQ(errorBodies(host), std::vector<std::string>{"Out of memory."});
    VXR_freeArray(a);
}
#endif

TEST_F(ArrayAccess, LongNamesAreCutAtTheMessageBuffer)
{
    const std::string name(3000, 'n');
    VXR_Array* a = VXR_createArray(inst, VXR_REAL_ARRAY, name.c_str());
    VXR_setArrayBoundLists(a, 2, 0, 1, 0, 1);
    EXPECT_EQ(VXR_getArrayIndex(a, 2, 0, 9), -1);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].text.size(), static_cast<size_t>(VXR_MESSAGE_BUFFER_CHARS));
    VXR_freeArray(a);
}

#else

TEST_F(ArrayAccess, AccessorsCheckTheDeclaredIndex)
{
    VXR_Array* a = makeArray(inst, VXR_REAL_ARRAY, "v", 3, 0, {10, 11, 12, 13});
    EXPECT_EQ(VXR_getArrayReal(a, 0), 10.0); // storage ascends whatever the direction
    EXPECT_EQ(VXR_getArrayReal(a, 3), 13.0);
    EXPECT_TRUE(errorBodies(host).empty());
    EXPECT_EQ(VXR_getArrayReal(a, 4), 0.0);
    VXR_setArrayReal(a, -1, 5.0);
    *VXR_realRef(a, 9) = 5.0;
    EXPECT_EQ(realElements(a), (std::vector<double>{10, 11, 12, 13}));
    EXPECT_EQ(errorBodies(host), (std::vector<std::string>{"Invalid array access: v[4] out of allowed range (3:0)",
                                                  "Invalid array access: v[-1] out of allowed range (3:0)",
                                                  "Invalid array access: v[9] out of allowed range (3:0)"}));
    VXR_freeArray(a);
}

#endif

// Storage position (1.87) or declared index (older) of index i of a
// one-dimensional array.
int at(VXR_Array* a, int i)
{
#if VXR_REVISION == 187
    return VXR_getArrayIndex(a, 1, i);
#else
    (void)a;
    return i;
#endif
}

TEST_F(ArrayAccess, GettersSettersAndReferencesStayInsideTheStorage)
{
    VXR_Array* a = VXR_createArray(inst, VXR_REAL_ARRAY, "r");
    EXPECT_EQ(VXR_getArrayReal(a, 0), 0.0); // no bounds, no elements
    VXR_setArrayReal(a, 0, 1.0);
    EXPECT_EQ(a->_data._pReal, nullptr);
    VXR_setArrayBounds(a, 0, 2);

    a->_contentsModified = 0;
    VXR_setArrayReal(a, at(a, 1), 0.0); // the value already there
    EXPECT_FALSE(a->_contentsModified);
    VXR_setArrayReal(a, at(a, 1), NAN);
    EXPECT_TRUE(a->_contentsModified);
    a->_contentsModified = 0;
    VXR_setArrayReal(a, at(a, 1), NAN); // NaN over NaN counts as a change
    EXPECT_TRUE(a->_contentsModified);

    *VXR_realRef(a, at(a, 2)) = 7.5;
    EXPECT_EQ(VXR_getArrayReal(a, at(a, 2)), 7.5);
    EXPECT_EQ(VXR_getArrayInt(a, at(a, 2)), 7); // truncated from a real element
#if VXR_REVISION == 187
    // Positions outside the storage, the -1 of a bounds error included:
    // reads give 0, writes are lost, no message.
    for (int pos : {-1, 3, INT_MAX, INT_MIN}) {
        VXR_setArrayReal(a, pos, 9.0);
        *VXR_realRef(a, pos) = 9.0;
        *VXR_intRef(a, pos) = 9;
        EXPECT_EQ(VXR_getArrayReal(a, pos), 0.0);
        EXPECT_EQ(*VXR_realRef(a, pos), 0.0);
    }
    EXPECT_TRUE(host.messages().empty());
#endif
    // A reference of the other element type is scratch as well.
    *VXR_intRef(a, at(a, 0)) = 9;
    EXPECT_EQ(VXR_getArrayReal(a, at(a, 0)), 0.0);
    EXPECT_TRUE(std::isnan(a->_data._pReal[1]));
    EXPECT_EQ(a->_data._pReal[2], 7.5);

    VXR_Array* i = makeArray(inst, VXR_INT_ARRAY, "i", 0, 1, {4, 5});
    a->_contentsModified = 0;
    VXR_setArrayInt(i, at(i, 0), 4);
    EXPECT_EQ(VXR_getArrayReal(i, at(i, 1)), 5.0);
    VXR_setArrayReal(i, at(i, 0), -2.5); // rounded into an integer element
    *VXR_intRef(i, at(i, 1)) = 6;
    EXPECT_EQ(intElements(i), (std::vector<int>{-3, 6}));
    VXR_resetArray(i);
    EXPECT_EQ(intElements(i), (std::vector<int>{0, 0}));
    VXR_freeArray(i);
    VXR_freeArray(a);
}

TEST_F(ArrayAccess, InitialisersPutTheFirstValueAtTheLeftBound)
{
    VXR_Array* a = VXR_createArray(inst, VXR_REAL_ARRAY, "d");
    VXR_setArrayBounds(a, 7, 0);
    a->_contentsModified = 0;
    VXR_initRealArray(a, 8, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0);
    EXPECT_TRUE(a->_contentsModified);
    EXPECT_EQ(VXR_getArrayReal(a, at(a, 7)), 1.0);
    EXPECT_EQ(VXR_getArrayReal(a, at(a, 0)), 8.0);
#if VXR_REVISION == 187
    EXPECT_EQ(at(a, 7), 7);
#endif
    // Fewer values keep the block; the earlier count again needs a fresh one.
    const double* block = a->_data._pReal;
    VXR_initRealArray(a, 2, -1.0, -2.0);
    EXPECT_EQ(a->_data._pReal, block);
    EXPECT_EQ(realElements(a), (std::vector<double>{-2.0, -1.0}));
    VXR_checkArraySize(a);
    VXR_initRealArray(a, 8, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0);
    EXPECT_EQ(a->_dataLen, 8);
    VXR_checkArraySize(a);

    // Ascending integer array from a real item: truncation toward zero.
    double reals3[] = {2.9, -2.9, NAN, 1e10};
    VXR_Data realItem{VXR_REAL_DATA, 4, {reals3}};
    VXR_Array* i = VXR_createArray(inst, VXR_INT_ARRAY, "i");
    VXR_setArrayBounds(i, 0, 3);
    VXR_initIntArrayByConcat(i, realItem);
    EXPECT_EQ(intElements(i), (std::vector<int>{2, -2, INT_MIN, INT_MIN}));
    VXR_initIntArray(i, 3, 7, 8, 9);
    EXPECT_EQ(intElements(i), (std::vector<int>{7, 8, 9}));

    int ints2[] = {5, -6};
    VXR_Data intItem{VXR_INT_DATA, 2, {nullptr}};
    intItem.arrayData.pInt = ints2;
    VXR_Array* b = VXR_createArray(inst, VXR_REAL_ARRAY, "b");
    VXR_initAndSetBoundsOfRealArrayByConcat(b, intItem);
    EXPECT_EQ(realElements(b), (std::vector<double>{5.0, -6.0}));
    EXPECT_TRUE(b->_boundsSet);
    // Nets are no values: the array is left as it was.
    VXR_Data nets{VXR_STATE_VAR_PTR, 2, {nullptr}};
    VXR_initRealArrayByConcat(b, nets);
    EXPECT_EQ(realElements(b), (std::vector<double>{5.0, -6.0}));

    EXPECT_EQ(errorBodies(host), (std::vector<std::string>{"Array initialization error: mismatch in array length. Attempt "
                                                  "to\nuse initializer of length 2 with array bounds [7:0]."}));
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_TRUE(host.messages()[0].hasId);
    EXPECT_EQ(host.messages()[0].id, "d");
    EXPECT_EQ(host.messages()[0].inst, inst);
    VXR_freeArray(b);
    VXR_freeArray(i);
    VXR_freeArray(a);
}

TEST_F(ArrayAccess, RangeCheck)
{
    struct Case {
        char lp;
        double lo, hi;
        char rp;
        std::vector<double> values;
        int inRange;
    };
    const Case cases[] = {
        {'(', 0.0, 1.0, ')', {0.5}, 1},
        {'(', 0.0, 1.0, ')', {0.0}, 0}, // an opening parenthesis excludes the bound
        {'[', 0.0, 1.0, ')', {0.0}, 1},
        {'[', 0.0, 1.0, ')', {1.0}, 0},
        {'[', 0.0, 1.0, ']', {1.0, 0.0}, 1},
        {'[', 0.0, 1.0, ']', {0.5, 2.0}, 0},
        {'[', 0.0, 1.0, ']', {-1.0}, 0},
        {'(', 0.0, 1.0, ')', {NAN}, 1}, // comparisons with NaN are false
        {'(', NAN, NAN, ')', {5.0}, 1},
        {'(', 0.0, 1.0, ')', {}, 1},
    };
    for (const Case& c : cases) {
        VXR_Array* a = VXR_createArray(inst, VXR_REAL_ARRAY, "c");
        if (!c.values.empty()) {
            VXR_setArrayBounds(a, 0, static_cast<int>(c.values.size()) - 1);
            for (size_t k = 0; k < c.values.size(); ++k)
                a->_data._pReal[k] = c.values[k];
        }
        EXPECT_EQ(VXR_checkArrayRange(a, c.lp, c.lo, c.hi, c.rp), c.inRange) << c.lp << c.lo << "," << c.hi << c.rp;
        VXR_freeArray(a);
    }
    VXR_Array* i = makeArray(inst, VXR_INT_ARRAY, "i", 0, 1, {1, 3});
    EXPECT_EQ(VXR_checkArrayRange(i, '[', 1.0, 3.0, ']'), 1);
    EXPECT_EQ(VXR_checkArrayRange(i, '(', 1.0, 3.0, ']'), 0);
    VXR_freeArray(i);
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(ArrayAccess, CreationVariantsAndRelease)
{
    VXR_Array* v = VXR_createArrayVar(inst, VXR_INT_ARRAY, "v");
    EXPECT_TRUE(v->_isVar);
    VXR_setArrayBounds(v, 2, -1);
    VXR_initIntArray(v, 4, 1, 2, 3, 4);
    VXR_Array* t = VXR_createTempArray(v, "t");
    EXPECT_FALSE(t->_isVar);
    EXPECT_STREQ(t->_arrayName, "t");
    EXPECT_EQ(t->_arrayType, VXR_INT_ARRAY);
    EXPECT_EQ(intElements(t), (std::vector<int>{0, 0, 0, 0})); // bounds, not contents
    EXPECT_TRUE(VXR_arrayDescending(t));
#if VXR_REVISION == 187
    VXR_Array* d = digitalArray(3, 2, inst, "dig", 7, 0);
    EXPECT_EQ(d->_digID, 3);
    EXPECT_EQ(d->_D2A_ImportIndex, 2);
    EXPECT_EQ(d->_arrayType, VXR_REAL_ARRAY);
    EXPECT_EQ(d->_dataLen, 8);
    EXPECT_EQ(analogArray(d), d);
    VXR_freeArray(d);
    // Storage without bounds (an initialiser on a new array) goes too.
    VXR_Array* u = VXR_createArray(inst, VXR_REAL_ARRAY, "u");
    VXR_initRealArray(u, 0);
    VXR_freeArray(u);
#endif
    VXR_freeArray(t);
    VXR_freeArray(v);
    VXR_freeArray(nullptr);
    EXPECT_EQ(vxr_test::liveBlocks(), 0);
}

TEST(ArrayAllocation, EveryCreationPathReportsOnceAndLeaksNothing)
{
    VXR_ModuleDescriptor md = fixtureDescriptor();
    const std::vector<std::pair<const char*, std::function<VXR_Array*(VXR_DeviceInst*)>>> paths = {
        {"createArrayVar", [](VXR_DeviceInst* i) { return VXR_createArrayVar(i, VXR_REAL_ARRAY, "v"); }},
        {"createTempArray",
         [](VXR_DeviceInst* i) {
             VXR_Array* o = VXR_createArray(i, VXR_INT_ARRAY, "o");
#if VXR_REVISION == 187
             VXR_setArrayBoundLists(o, 2, 0, 1, 4, 0);
#else
             VXR_setArrayBounds(o, 4, 0);
#endif
             VXR_Array* t = VXR_createTempArray(o, "t");
             VXR_freeArray(o);
             return t;
         }},
        {"initRealArray",
         [](VXR_DeviceInst* i) {
             VXR_Array* a = VXR_createArray(i, VXR_REAL_ARRAY, "a");
             VXR_initRealArray(a, 3, 1.0, 2.0, 3.0);
             return a;
         }},
        {"initAndSetBounds",
         [](VXR_DeviceInst* i) {
             double v[] = {1.0, 2.0};
             VXR_Array* a = VXR_createArray(i, VXR_REAL_ARRAY, "a");
             VXR_initAndSetBoundsOfRealArrayByConcat(a, VXR_Data{VXR_REAL_DATA, 2, {v}});
             return a;
         }},
        {"duplicate",
         [](VXR_DeviceInst* i) {
             VXR_Array* a = VXR_createArrayVar(i, VXR_REAL_ARRAY, "a");
             VXR_setArrayBounds(a, 0, 2);
             VXR_Array* d = VXR_duplicateArray(a);
             VXR_freeArray(a);
             return d;
         }},
#if VXR_REVISION == 187
        {"digitalArray", [](VXR_DeviceInst* i) { return digitalArray(0, 0, i, "dig", 0, 3); }},
#endif
    };
    for (const auto& path : paths) {
        SCOPED_TRACE(path.first);
        vxr_test::sweepAllocationFailures([&](int k) {
            RecordingHost host;
            InstanceRecord ti(host, "a1", &md, 3);
            vxr_test::failAllocationAfter(k);
            VXR_Array* a = path.second(&ti.inst);
            vxr_test::failAllocationAfter(-1);
            if (vxr_test::allocationFailed())
                vxr_test::expectOutOfMemoryReported(host);
            else
                EXPECT_TRUE(host.messages().empty());
            VXR_freeArray(a);
            EXPECT_EQ(vxr_test::liveBlocks(), 0);
        });
    }
}

} // namespace
