// Parameters by name: lookup, map, readers, aliases and setters.
#include <climits>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

#include "VXR_SupportLib.h"
#include "fixture_module.h"
#include "recording_host.h"

namespace {

using vxrtest::InstanceRecord;
using vxrtest::RecordingHost;
using vxrtest::withInstance;

VXR_ParamAssn realAssn(const char* name, double v)
{
    VXR_ParamAssn a{};
    a.assnName = name;
    a.paramType = VXR_REAL_PARAM;
    a.paramVal.dval = v;
    return a;
}

VXR_ParamAssn intAssn(const char* name, int v)
{
    VXR_ParamAssn a{};
    a.assnName = name;
    a.paramType = VXR_INT_PARAM;
    a.paramVal.ival = v;
    return a;
}

VXR_ParamAssn strAssn(const char* name, const char* v)
{
    VXR_ParamAssn a{};
    a.assnName = name;
    a.paramType = VXR_STRING_PARAM;
    a.paramVal.strval = v;
    return a;
}

VXR_ParamAssn arrAssn(const char* name, VXR_Array* arr)
{
    VXR_ParamAssn a{};
    a.assnName = name;
    a.paramType = arr && arr->_arrayType == VXR_INT_ARRAY ? VXR_ARRAY_OF_INT_PARAM : VXR_ARRAY_OF_REAL_PARAM;
    a.paramVal.pArrayVal = arr;
    return a;
}

class Params : public ::testing::Test {
protected:
    RecordingHost host;
    VXR_ModuleDescriptor md = fixtureDescriptor();
    FixturePriv priv{};
    InstanceRecord ti{host, "x1", &md, 3};
    VXR_DeviceInst* inst = &ti.inst;
    int map[FIXTURE_NUM_PARAMS];

    void SetUp() override
    {
        inst->pPrivateInfo = &priv;
        fixtureCalls().clear();
    }

    std::string ctx(const std::string& text) const
    {
        return withInstance(text, "x1", "fixmod");
    }
};

TEST_F(Params, LookupFindsEveryRowByExactName)
{
    for (int k = 0; k < FIXTURE_NUM_PARAMS; ++k) {
        const char* name = md.paramDescArray[k].name;
        EXPECT_EQ(VXR_getParamDesc(&md, name), &md.paramDescArray[k]) << name;
    }
    // Case matters: "L" (real) and "l" (integer) are different rows.
    EXPECT_EQ(VXR_getParamDesc(&md, "L")->paramType, VXR_REAL_PARAM);
    EXPECT_EQ(VXR_getParamDesc(&md, "l")->paramType, VXR_INT_PARAM);
    for (const char* absent : {"area", "Area", "n", "COEF", "", "LENGTH", "zzz", "A"})
        EXPECT_EQ(VXR_getParamDesc(&md, absent), nullptr) << absent;
    EXPECT_EQ(VXR_getParamDesc(&md, nullptr), nullptr);
    md.numOfParams = 0;
    EXPECT_EQ(VXR_getParamDesc(&md, "AREA"), nullptr);
}

TEST_F(Params, MapKeepsLaterDuplicateAndReportsUnknownNames)
{
    VXR_ParamAssn given[] = {realAssn("L", 1.0), intAssn("N", 2),     realAssn("L", 3.0),
                             intAssn("l", 7),    realAssn("area", 1), realAssn(nullptr, 2)};
    VXR_setupParamMap(inst, 6, given, map);
    for (int k = 0; k < FIXTURE_NUM_PARAMS; ++k) {
        const int expect = k == ROW_L ? 2 : k == ROW_N ? 1 : k == ROW_l ? 3 : -1;
        EXPECT_EQ(map[k], expect) << md.paramDescArray[k].name;
    }
    EXPECT_EQ(host.messageTexts(MessageTypeE_ERROR),
              (std::vector<std::string>{ctx("Parameter 'area' not found."), ctx("Parameter '(null)' not found.")}));
    EXPECT_EQ(host.exitRequests(), 2);
    EXPECT_EQ(host.requests()[0].inst, inst);

    // A NULL list only clears the map.
    VXR_setupParamMap(inst, 3, nullptr, map);
    for (int k = 0; k < FIXTURE_NUM_PARAMS; ++k)
        EXPECT_EQ(map[k], -1);
}

TEST_F(Params, IntegerReaderRoundsHalfAwayFromZeroWithDefinedOverflow)
{
    const struct {
        double in;
        int out;
    } cases[] = {
        {2.5, 3},           {-2.5, -3},         {0.49, 0},           {-0.49, 0},         {0.5, 1},
        {1.4999, 1},        {-1.5, -2},         {2147483647.4, INT_MAX}, {-2147483648.4, INT_MIN},
        {2147483647.5, INT_MIN}, {NAN, INT_MIN}, {1e300, INT_MIN},   {-1e300, INT_MIN},  {INFINITY, INT_MIN},
    };
    for (const auto& c : cases) {
        VXR_ParamAssn given[] = {realAssn("N", c.in)};
        VXR_setupParamMap(inst, 1, given, map);
        EXPECT_EQ(VXR_initIntegerParam(inst, ROW_N, map, given), c.out) << c.in;
    }
    VXR_ParamAssn given[] = {intAssn("N", -7), intAssn("AREA", 3)};
    VXR_setupParamMap(inst, 2, given, map);
    EXPECT_EQ(VXR_initIntegerParam(inst, ROW_N, map, given), -7);
    EXPECT_EQ(VXR_initRealParam(inst, ROW_AREA, map, given), 3.0);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(host.exitRequests(), 0);
}

TEST_F(Params, WrongTypesAreFatalWithNeutralResult)
{
    VXR_Array* arr = makeArray(inst, VXR_REAL_ARRAY, "a", 0, 1, {1, 2});
    VXR_ParamAssn given[] = {strAssn("AREA", "s"), arrAssn("N", arr), realAssn("TYPE", 1.0), intAssn("coef", 4)};
    VXR_setupParamMap(inst, 4, given, map);

    EXPECT_EQ(VXR_initRealParam(inst, ROW_AREA, map, given), 0.0);
    EXPECT_EQ(VXR_initIntegerParam(inst, ROW_N, map, given), 0);
    EXPECT_EQ(VXR_initStringParam(inst, ROW_TYPE, map, given), nullptr);
    VXR_Array* lhs = VXR_createArray(inst, VXR_REAL_ARRAY, "coef");
    VXR_initArrayParam(lhs, ROW_coef, map, given);
    EXPECT_FALSE(lhs->_boundsSet);
    EXPECT_EQ(lhs->_dataLen, 0);

    EXPECT_EQ(host.messageTexts(MessageTypeE_ERROR),
              (std::vector<std::string>{ctx("Invalid type for assignment to real parameter 'AREA'."),
                                        ctx("Invalid type int assignment to int parameter 'N'."),
                                        ctx("Invalid type in assignment to string parameter 'TYPE'."),
                                        ctx("Invalid type in assignment to array parameter 'coef'.")}));
    EXPECT_EQ(host.exitRequests(), 4);
    freeTestArray(lhs);
    freeTestArray(arr);
}

TEST_F(Params, StringAndArrayReadersCopy)
{
    char text[] = "nmos";
    VXR_Array* src = makeArray(inst, VXR_REAL_ARRAY, "src", 0, 2, {2.5, -2.5, 0.4});
    VXR_ParamAssn given[] = {strAssn("TYPE", text), arrAssn("taps", src)};
    VXR_setupParamMap(inst, 2, given, map);

    const char* s = VXR_initStringParam(inst, ROW_TYPE, map, given);
    ASSERT_NE(s, nullptr);
    EXPECT_NE(s, text);
    EXPECT_STREQ(s, "nmos");
    VXR_free(const_cast<char*>(s));

    // A real array given to an integer array parameter: bounds taken, values rounded.
    VXR_Array* taps = VXR_createArray(inst, VXR_INT_ARRAY, "taps");
    VXR_initArrayParam(taps, ROW_taps, map, given);
    ASSERT_EQ(taps->_dataLen, 3);
    EXPECT_EQ(taps->_data._pInt[0], 3);
    EXPECT_EQ(taps->_data._pInt[1], -3);
    EXPECT_EQ(taps->_data._pInt[2], 0);
    EXPECT_TRUE(host.messages().empty());
    freeTestArray(taps);
    freeTestArray(src);
}

TEST_F(Params, AliasSets)
{
    const int set[] = {ROW_L, ROW_LEN, ROW_LL};
    // Only the two aliases given, LL first in the host's list.
    VXR_ParamAssn given[] = {realAssn("LL", 2.0), realAssn("LEN", 1.0)};

    VXR_setupParamMap(inst, 2, given, map);
    VXR_processAliasSet(inst, map, given, 3, set);
    EXPECT_EQ(map[ROW_L], 1); // the first alias of the set wins
    EXPECT_EQ(host.messageTexts(MessageTypeE_ERROR),
              (std::vector<std::string>{ctx(
                  "Illegal attempt to set 'LL' -- this parameter was previously set via a different alias.")}));
    EXPECT_EQ(host.exitRequests(), 1);

    // Sets of size 1 and a missing list change nothing.
    host.clearLog();
    VXR_setupParamMap(inst, 2, given, map);
    VXR_processAliasSet(inst, map, given, 1, set);
    VXR_processAliasSet(inst, map, nullptr, 3, set);
    EXPECT_EQ(map[ROW_L], -1);
    EXPECT_TRUE(host.messages().empty());

#if VXR_REVISION == 187
    // The latest assignment among the parameter and its aliases wins, with one warning.
    VXR_processMultAliasSet(inst, map, given, 3, set);
    EXPECT_EQ(map[ROW_L], 1);
    EXPECT_EQ(host.messageTexts(MessageTypeE_WARNING),
              (std::vector<std::string>{ctx("Multiple aliasparam assignments to 'L'.")}));
    VXR_ParamAssn withMain[] = {realAssn("LEN", 1.0), realAssn("L", 5.0)};
    VXR_setupParamMap(inst, 2, withMain, map);
    VXR_processMultAliasSet(inst, map, withMain, 3, set);
    EXPECT_EQ(map[ROW_L], 1);
    EXPECT_EQ(host.exitRequests(), 0);
#endif
}

TEST_F(Params, SettersReachModifySlots)
{
    int flag = 0;
    VXR_setParamToReal(inst, "AREA", 1.5, &flag);
    VXR_setParamToReal(inst, "L", -2.0, &flag); // the module flags negative values
    VXR_setParamToInt(inst, "LEN", 4, nullptr);
    VXR_setParamToInt(inst, "l", 9, nullptr);
    VXR_setParamToString(inst, "TYPE", "pmos", nullptr);

    const auto& c = fixtureCalls();
    ASSERT_EQ(c.size(), 5u);
    EXPECT_EQ(c[0].kind, 'r');
    EXPECT_EQ(c[0].location, 0);
    EXPECT_EQ(c[0].value, 1.5);
    EXPECT_EQ(c[0].flag, &flag);
    EXPECT_EQ(c[1].location, 1);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(c[2].kind, 'r');
    EXPECT_EQ(c[2].value, 4.0);
    EXPECT_EQ(c[3].kind, 'i');
    EXPECT_EQ(c[3].location, 1);
    EXPECT_EQ(c[4].kind, 's');
    EXPECT_STREQ(static_cast<const char*>(c[4].ptr), "pmos");
    EXPECT_EQ(md.pGetRealParam(inst, 1), -2.0);
    EXPECT_EQ(md.pGetIntParam(inst, 1), 9);
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(Params, RealToIntegerSetterWarnsAndRounds)
{
    const struct {
        double in;
        int out;
    } cases[] = {{2.5, 3}, {-2.5, -3}, {0.49, 0}, {NAN, INT_MIN}, {1e300, INT_MIN}};
    for (const auto& cs : cases)
        VXR_setParamToReal(inst, "N", cs.in, nullptr);
    const auto& c = fixtureCalls();
    ASSERT_EQ(c.size(), std::size(cases));
    for (size_t k = 0; k < c.size(); ++k) {
        EXPECT_EQ(c[k].kind, 'i');
        EXPECT_EQ(c[k].value, cases[k].out) << cases[k].in;
    }
    const std::string warn = "Warning: Attempt to set 'N' (an integer parameter) to a real value. Rounding to "
                             "nearest integer will occur.";
    const auto w = host.messageTexts(MessageTypeE_WARNING);
    ASSERT_FALSE(w.empty());
    EXPECT_EQ(w[0], warn); // no instance context
    EXPECT_EQ(host.messages()[0].inst, nullptr);
    // Revision 1.87 sends a repeated WARNING text once per process.
    EXPECT_EQ(w.size(), VXR_REVISION == 187 ? 1u : std::size(cases));
}

TEST_F(Params, SetterErrors)
{
    VXR_Array* reals = makeArray(inst, VXR_REAL_ARRAY, "r", 0, 1, {1, 2});
    VXR_Array* ints = makeArray(inst, VXR_INT_ARRAY, "i", 0, 1, {1, 2});

    VXR_setParamToReal(inst, "TYPE", 1.0, nullptr);
    VXR_setParamToInt(inst, "coef", 1, nullptr);
    VXR_setParamToString(inst, "N", "x", nullptr);
    VXR_setParamToArray(inst, "taps", reals, nullptr);
    VXR_setParamToArray(inst, "coef", ints, nullptr);
    VXR_setParamToArray(inst, "N", reals, nullptr);
    VXR_setParamToArray(inst, "coef", nullptr, nullptr);
    VXR_setParamToReal(inst, "n", 1.0, nullptr);
    VXR_setParamToInt(inst, nullptr, 1, nullptr);
    VXR_setParamToReal(nullptr, "N", 1.0, nullptr);
    EXPECT_TRUE(fixtureCalls().empty());
    EXPECT_EQ(host.messageTexts(MessageTypeE_ERROR),
              (std::vector<std::string>{ctx("Error: Attempt to set parameter 'TYPE' to real value."),
                                        ctx("Error: Attempt to set parameter 'coef' to integer value."),
                                        ctx("Error: Attempt to set parameter 'N' to string value."),
                                        ctx("Attempt to assign real array to integer array 'taps'."),
                                        ctx("Attempt to assign integer array to real array 'coef'."),
                                        ctx("Attempt to set parameter 'N' to array value."),
                                        ctx("Attempt to set parameter 'coef' to array value."),
                                        ctx("Parameter 'n' not found."), ctx("Parameter '(null)' not found.")}));
    EXPECT_EQ(host.exitRequests(), 9);

    VXR_setParamToArray(inst, "taps", ints, nullptr);
    VXR_setParamToArray(inst, "coef", reals, nullptr);
    ASSERT_EQ(fixtureCalls().size(), 2u);
    EXPECT_EQ(fixtureCalls()[0].kind, 'I');
    EXPECT_EQ(fixtureCalls()[0].ptr, ints);
    EXPECT_EQ(fixtureCalls()[1].kind, 'R');
    EXPECT_EQ(fixtureCalls()[1].location, 0);
    freeTestArray(reals);
    freeTestArray(ints);
}

TEST_F(Params, LocalParamAndCharFromInt)
{
    VXR_reportLocalParamError("k", inst);
    EXPECT_EQ(host.messageTexts(MessageTypeE_ERROR),
              (std::vector<std::string>{ctx("Attempt to explicitly set localparam 'k'.")}));
    EXPECT_EQ(host.exitRequests(), 1);
    int cell = 42;
    char* s = VXR_charFromInt(&cell);
    EXPECT_EQ(cell, 0);
    EXPECT_STREQ(s, "");
}

} // namespace
