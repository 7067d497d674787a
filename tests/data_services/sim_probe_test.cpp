// $simparam pass-through entry and $simprobe over a small hierarchy of
// hand-made instances.
#include <gtest/gtest.h>

#include "VXR_ParamsData.h"
#include "allocation_sweep.h"
#include "recording_host.h"

namespace {

using vxrtest::RecordingHost;

TEST(SimParam, PassThroughEntryReturnsTheDefault)
{
    VXR_SimParam* e = VXR_getSimParamPassThroughCallback();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e, VXR_getSimParamPassThroughCallback());
    EXPECT_EQ(e->name, nullptr);
    EXPECT_EQ(e->pGetValue(nullptr, 2.5), 2.5);
    EXPECT_EQ(passThroughCallback(nullptr, -1e300), -1e300);
}

#if VXR_REVISION == 187

using vxrtest::InstanceRecord;
using vxrtest::withInstance;

struct SiblingValues {
    double r = 1.5;
    int n = 3;
    double vOut = 0.25;
    int kOut = -4;
};

SiblingValues* values(VXR_DeviceInst* inst)
{
    return static_cast<SiblingValues*>(inst->pPrivateInfo);
}

double getReal(VXR_DeviceInst* inst, int)
{
    return values(inst)->r;
}
int getInt(VXR_DeviceInst* inst, int)
{
    return values(inst)->n;
}

VXR_ContribLoader* lastOutVarLoader;
void getOutVars(int n, const VXR_OutVarDesc* rows, VXR_OutVal* vals, VXR_DeviceInst* inst, VXR_ContribLoader* ldr)
{
    lastOutVarLoader = ldr;
    for (int k = 0; k < n; ++k) {
        if (rows[k].outputVarType == VXR_OUT_INTVAR)
            vals[k].outVal.intVal = values(inst)->kOut;
        else
            vals[k].outVal.realVal = values(inst)->vOut;
    }
}

// Parameters sorted by name; "R" is an output variable as well.
VXR_ParamDesc g_params[] = {
    {"N", VXR_INT_PARAM, 1, 1, nullptr},
    {"R", VXR_REAL_PARAM, 0, 0, nullptr},
    {"S", VXR_STRING_PARAM, 2, 2, nullptr},
    {nullptr, VXR_INVALID_PARAM, -1, -1, nullptr},
};
VXR_OutVarDesc g_outVars[] = {
    {"R", VXR_OUT_REALVAR, "", "", 0},   {"v", VXR_OUT_REALVAR, "", "", 1}, {"k", VXR_OUT_INTVAR, "", "", 2},
    {"arr", VXR_OUT_REALVAR_ARRAY, "", "", 3}, {nullptr, VXR_OUT_INVALID, nullptr, nullptr, -1},
};

VXR_ModuleDescriptor siblingModule()
{
    VXR_ModuleDescriptor md{};
    md.moduleName = "probed";
    md.numOfParams = 3;
    md.paramDescArray = g_params;
    md.numOfOutVars = 4;
    md.outVarDescArray = g_outVars;
    md.pGetRealParam = getReal;
    md.pGetIntParam = getInt;
    md.pGetOutVarInfo = getOutVars;
    return md;
}

class SimProbe : public ::testing::Test {
protected:
    RecordingHost host;
    VXR_ModuleDescriptor md = siblingModule();
    InstanceRecord top{host, "top", &md};
    InstanceRecord a{host, "a", &md};
    InstanceRecord b{host, "b", &md};
    SiblingValues va, vb;
    VXR_DeviceInst* children[3] = {nullptr, &a.inst, &b.inst};

    void SetUp() override
    {
        vxr_test::resetAllocationProbe();
        top.inst.numOfChildren = 3;
        top.inst.pChildren = children;
        for (InstanceRecord* r : {&a, &b})
            r->inst.pParent = &top.inst;
        a.inst.pPrivateInfo = &va;
        b.inst.pPrivateInfo = &vb;
        vb.r = 9.0;
        b.inst.numOfSimProbeEntries = 2;
        b.inst.pSimProbeCache = static_cast<VXR_SimProbeEntry*>(
            VXR_calloc(2, sizeof(VXR_SimProbeEntry), host.sim(), &b.inst, nullptr));
    }
    void TearDown() override { VXR_freeInstanceDataServices(&b.inst); }

    double probe(int ix, const char* inst, const char* var, int given = 0, double dflt = -7.0)
    {
        return VXR_SimProbe(ix, inst, var, given, dflt, host.loader(), &b.inst);
    }
};

TEST_F(SimProbe, ResolvesSiblingsParameterBeforeOutputVariableAndCaches)
{
    EXPECT_EQ(probe(0, "a", "N"), 3.0);
    const VXR_SimProbeEntry& e = b.inst.pSimProbeCache[0];
    EXPECT_EQ(e.pInst, &a.inst);
    EXPECT_EQ(e.varName, g_params[0].name); // the row's name, not the caller's text
    EXPECT_EQ(e.pParamDesc, &g_params[0]);
    EXPECT_EQ(e.pOutVarDesc, nullptr);
    va.n = 4; // values are read anew through the cached entry
    EXPECT_EQ(probe(0, "a", "N"), 4.0);
    // A matching cache entry needs no search (the slot may even be empty now).
    children[1] = nullptr;
    EXPECT_EQ(probe(0, "a", "N"), 4.0);
    children[1] = &a.inst;

    EXPECT_EQ(probe(1, "a", "R"), 1.5); // parameter wins over the output variable
    EXPECT_EQ(b.inst.pSimProbeCache[1].pParamDesc, &g_params[1]);
    EXPECT_EQ(probe(1, "a", "v"), 0.25);
    EXPECT_EQ(b.inst.pSimProbeCache[1].pOutVarDesc, &g_outVars[1]);
    EXPECT_EQ(lastOutVarLoader, host.loader());
    EXPECT_EQ(probe(1, "a", "k"), -4.0);
    EXPECT_EQ(probe(1, "b", "R"), 9.0); // an instance probes itself by its own name
    EXPECT_EQ(b.inst.pSimProbeCache[0].pInst, &a.inst); // the other call site kept its entry
    // A call site outside the cache resolves every time, caching nothing.
    EXPECT_EQ(probe(5, "a", "R"), 1.5);
    EXPECT_EQ(probe(-1, "a", "k"), -4.0);
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(SimProbe, UnresolvedProbesReportOnlyWithoutADefault)
{
    struct Case {
        const char* inst;
        const char* var;
        int given;
    };
    const Case cases[] = {
        {"c", "R", 0}, {"a", "X", 0}, {"a", "S", 0}, {"a", "arr", 0}, {"c", "R", 1}, {"a", "S", 1}, {"a", "arr", 1},
    };
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        EXPECT_EQ(probe(0, c.inst, c.var, c.given, 2.5), 2.5);
        if (!c.given)
            expected.push_back(withInstance(std::string("Unable to find ") + c.inst + "." + c.var +
                                                " in $simparam call.",
                                            "b", "probed"));
    }
    EXPECT_EQ(host.messageTexts(MessageTypeE_ERROR), expected);
    EXPECT_EQ(host.exitRequests(), static_cast<int>(expected.size()));
    // A resolved entry stays when a later probe does not resolve.
    EXPECT_EQ(b.inst.pSimProbeCache[0].pOutVarDesc, &g_outVars[3]);

    host.clearLog();
    EXPECT_EQ(VXR_SimProbe(0, "a", "R", 0, 1.0, host.loader(), &top.inst), 1.0); // no parent: nothing to probe
    EXPECT_EQ(host.exitRequests(), 1);
    const std::string longName(3000, 'q');
    probe(0, longName.c_str(), "R");
    EXPECT_EQ(host.messages().back().text.size(), static_cast<size_t>(VXR_MESSAGE_BUFFER_CHARS));
}

#endif

} // namespace
