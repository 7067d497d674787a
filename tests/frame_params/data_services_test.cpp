// Simulator parameters, the parameter-override text and digital array refresh.
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

#include "VXR_SupportLib.h"
#include "VXR_ParamsData.h"
#include "fixture_module.h"
#include "recording_host.h"

namespace {

using vxrtest::InstanceRecord;
using vxrtest::RecordingHost;
using vxrtest::withInstance;

double three(VXR_DeviceInst*, double)
{
    return 3.0;
}

double passDefault(VXR_DeviceInst*, double d)
{
    return d;
}

TEST(SimParams, ExactNameFirstEntry)
{
    RecordingHost host;
    VXR_ModuleDescriptor md = fixtureDescriptor();
    InstanceRecord ti(host, "sp", &md, 3);
    VXR_SimParam table[] = {{"maxLaplace_d_Order", three}, {nullptr, three}, {"_transitionDisable", passDefault},
                            {"maxLaplace_d_Order", passDefault}};
    host.sim()->numOfSimParams = 4;
    host.sim()->pSimParamArray = table;

    EXPECT_EQ(VXR_getSimParamCallback(&ti.inst, "maxLaplace_d_Order"), &table[0]);
    EXPECT_EQ(VXR_getSimParamCallback(&ti.inst, "_transitionDisable"), &table[2]);
    EXPECT_EQ(VXR_getSimParamCallback(&ti.inst, "_transitiondisable"), nullptr);
    EXPECT_EQ(VXR_getSimParamCallback(&ti.inst, "maxLaplace_d"), nullptr);
    EXPECT_EQ(VXR_getSimParamCallback(&ti.inst, nullptr), nullptr);
    EXPECT_EQ(VXR_getSimParamCallback(nullptr, "maxLaplace_d_Order"), nullptr);
    EXPECT_EQ(VXR_getSimParamCallback(&ti.inst, "maxLaplace_d_Order")->pGetValue(nullptr, 0.0), 3.0);
    host.sim()->numOfSimParams = 0;
    EXPECT_EQ(VXR_getSimParamCallback(&ti.inst, "maxLaplace_d_Order"), nullptr);
    host.sim()->numOfSimParams = -1;
    EXPECT_EQ(VXR_getSimParamCallback(&ti.inst, "maxLaplace_d_Order"), nullptr);
}

#if VXR_REVISION == 187

VXR_ParamAssn assn(const char* name, VXR_ParamTypeE type, double v)
{
    VXR_ParamAssn a{};
    a.assnName = name;
    a.paramType = type;
    if (type == VXR_REAL_PARAM)
        a.paramVal.dval = v;
    else if (type == VXR_INT_PARAM)
        a.paramVal.ival = static_cast<int>(v);
    else if (type == VXR_STRING_PARAM)
        a.paramVal.strval = "text";
    return a;
}

class ParamString : public ::testing::Test {
protected:
    RecordingHost host;
    VXR_ModuleDescriptor md = fixtureDescriptor();

    std::string make(const char* instName, std::vector<VXR_ParamAssn> given)
    {
        InstanceRecord ti(host, instName, &md, 3);
        char* s = VXR_CreateParamString(static_cast<int>(given.size()), given.data(), &ti.inst);
        std::string out = s ? s : "<null>";
        VXR_free(s);
        return out;
    }
};

TEST_F(ParamString, NullWithoutDigitalContentOrAssignments)
{
    EXPECT_EQ(make("p0", {assn("w", VXR_REAL_PARAM, 1e-6)}), "<null>");
    md.isDigital = 1;
    EXPECT_EQ(make("p1", {}), "<null>");
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(ParamString, ItemsInListOrder)
{
    md.hasDigital = 1;
    EXPECT_EQ(make("p2", {assn("w", VXR_REAL_PARAM, 1e-6), assn("n", VXR_INT_PARAM, 3)}),
              "#(.w(1.000000000000000e-06),.n(3))");
    // A skipped first item: the first written item still opens the list, no double comma.
    EXPECT_EQ(make("p3", {assn("s", VXR_STRING_PARAM, 0), assn("r", VXR_REAL_PARAM, 2), assn("c", VXR_ARRAY_OF_REAL_PARAM, 0),
                          assn("k", VXR_INT_PARAM, -4)}),
              "#(.r(2.000000000000000e+00),.k(-4))");
    EXPECT_EQ(host.messageTexts(MessageTypeE_WARNING),
              (std::vector<std::string>{
                  withInstance("String parameter 's' not supported for AMS modules.", "p3", "fixmod"),
                  withInstance("Array parameter 'c' not supported for AMS modules.", "p3", "fixmod")}));
    // Only skipped assignments: an empty text, not NULL.
    EXPECT_EQ(make("p4", {assn("c", VXR_ARRAY_OF_INT_PARAM, 0)}), "");
}

TEST_F(ParamString, LongNamesAreNeverCut)
{
    md.isDigital = 1;
    const std::string w(600, 'w'), n(700, 'n');
    EXPECT_EQ(make("p6", {assn(w.c_str(), VXR_REAL_PARAM, 0.5), assn(n.c_str(), VXR_INT_PARAM, 7)}),
              "#(." + w + "(5.000000000000000e-01),." + n + "(7))");
}

TEST_F(ParamString, ConnectModuleAndDigitalChild)
{
    md.isDigital = 1;
    md.isConnectModule = 1;
    EXPECT_EQ(make("p5", {assn("s", VXR_STRING_PARAM, 0), assn("r", VXR_REAL_PARAM, 2)}),
              "#(.r(2.000000000000000e+00))");
    EXPECT_TRUE(host.messages().empty());

    // Digital content found in the third child only.
    VXR_ModuleDescriptor plain = fixtureDescriptor();
    VXR_ModuleDescriptor digital = fixtureDescriptor();
    digital.hasDigital = 1;
    InstanceRecord parent(host, "top", &plain, 3), c0(host, "c0", &plain, 3), c2(host, "c2", &digital, 3);
    VXR_DeviceInst* children[] = {&c0.inst, nullptr, &c2.inst};
    parent.inst.numOfChildren = 3;
    parent.inst.pChildren = children;
    VXR_ParamAssn given[] = {assn("n", VXR_INT_PARAM, 1)};
    char* s = VXR_CreateParamString(1, given, &parent.inst);
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s, "#(.n(1))");
    VXR_free(s);
}

// Loader whose AMS table serves element i of a digital array as values[i].
struct D2AFeed {
    static std::vector<int> fetched;
    static double values[8];
    static double real(VXR_DeviceInst*, VXR_ContribLoader*, int index, int offset, int size, ...)
    {
        EXPECT_EQ(index, 5); // import index
        EXPECT_EQ(offset, 0); // digital id
        EXPECT_EQ(size, 1);
        va_list ap;
        va_start(ap, size);
        const int i = va_arg(ap, int);
        va_end(ap);
        fetched.push_back(i);
        return values[i];
    }
};
std::vector<int> D2AFeed::fetched;
double D2AFeed::values[8];

TEST(DigitalArray, RefreshFetchesAscendingAndFlagsChanges)
{
    RecordingHost host;
    VXR_ModuleDescriptor md = fixtureDescriptor();
    InstanceRecord ti(host, "dg", &md, 3);
    AMS_ContribLoader ams{};
    ams.pGetD2A_RealElement = D2AFeed::real;
    VXR_ContribLoader ldr{};
    ldr.pAMS = &ams;

    VXR_Array* a = makeArray(&ti.inst, VXR_REAL_ARRAY, "dig", 7, 0, {});
    a->_digID = 0;
    a->_D2A_ImportIndex = 5;
    a->_contentsModified = 0;
    doSyncDigitalArray(a, &ti.inst, &ldr); // all values 0.0 as stored
    EXPECT_EQ(D2AFeed::fetched, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_FALSE(a->_contentsModified);
    D2AFeed::values[6] = 2.5;
    doSyncDigitalArray(a, &ti.inst, &ldr);
    EXPECT_TRUE(a->_contentsModified);
    EXPECT_EQ(a->_data._pReal[6], 2.5);
    freeTestArray(a);
}

#endif

} // namespace
