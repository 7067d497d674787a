// Static records of the built TORVEX_CORE library as a host reads them:
// opened at run time and reached through its exported entry points.
#include <gtest/gtest.h>
#include <dlfcn.h>

#include <cctype>
#include <cstring>
#include <string>

#include "VXR_Interface.h"

namespace {

using Desc = VXR160_ModuleDescriptor;

struct Library {
    void* dl = nullptr;
    const VXR_LibraryVersion* version = nullptr;
    const VXR160_LibraryManifest* manifest = nullptr;
    Desc* desc = nullptr;
    Library()
    {
        dl = dlopen(TORVEX_CORE_PATH, RTLD_NOW | RTLD_LOCAL);
        if (dl == nullptr) return;
        auto gv = reinterpret_cast<VXR160_GetLibraryVersionFn>(dlsym(dl, "getLibraryVersion"));
        auto gm = reinterpret_cast<VXR160_GetLibraryManifestFn>(dlsym(dl, "getLibraryManifest"));
        if (gv) version = gv();
        if (gm) manifest = gm();
        if (manifest) desc = manifest->pModules;
    }
    ~Library()
    {
        if (dl) dlclose(dl);
    }
    void* sym(const char* name) const { return dl ? dlsym(dl, name) : nullptr; }
};

// Process-wide instance: the library stays loaded for the whole test run.
Library& lib()
{
    static Library l;
    return l;
}

// Row of the descriptor table by name (NULL when absent).
const VXR160_ParamDesc* row(const char* name)
{
    for (const VXR160_ParamDesc* r = lib().desc->paramDescArray; r->paramType != VXR_INVALID_PARAM; ++r)
        if (std::string(r->name) == name) return r;
    return nullptr;
}

} // namespace

TEST(TorvexCoreRecords, LibraryLoadsAndExportsOnlyItsEntryPoints)
{
    ASSERT_NE(lib().dl, nullptr) << dlerror();
    EXPECT_NE(lib().sym("getLibraryVersion"), nullptr);
    EXPECT_NE(lib().sym("getLibraryManifest"), nullptr);
    for (const char* hidden : {"_module1_createInst", "ModuleInfo", "libraryManifest", "vxr_build_id",
                               "_ZN11torvex_core10ModuleInfoE"})
        EXPECT_EQ(lib().sym(hidden), nullptr) << hidden;
    // Runtime services a host calls on the library's instances.
    for (const char* service : {"VXR_freeDeviceState", "VXR_setParamToReal", "VXR_setParamToInt"})
        EXPECT_NE(lib().sym(service), nullptr) << service;
}

TEST(TorvexCoreRecords, VersionAndManifest)
{
    ASSERT_NE(lib().version, nullptr);
    auto gv = reinterpret_cast<VXR160_GetLibraryVersionFn>(lib().sym("getLibraryVersion"));
    EXPECT_EQ(gv(), lib().version);
    const VXR_LibraryVersion& v = *lib().version;
    EXPECT_EQ(v.major, 1);
    EXPECT_EQ(v.minor, 60);
    EXPECT_STREQ(v.revision, "1.60");
    EXPECT_EQ(v.build, 100);
    EXPECT_STREQ(v.fullRevision, "1.60.100");

    const VXR160_LibraryManifest& m = *lib().manifest;
    EXPECT_EQ(m.numOfModules, 1);
    EXPECT_EQ(m.reserved[0], nullptr);
    EXPECT_EQ(m.reserved[1], nullptr);
    ASSERT_NE(m.buildId, nullptr);
    ASSERT_EQ(std::strlen(m.buildId), 32u);
    for (const char* p = m.buildId; *p; ++p) EXPECT_TRUE(std::isxdigit(*p) && !std::isupper(*p)) << m.buildId;
}

TEST(TorvexCoreRecords, DescriptorHeader)
{
    const Desc& d = *lib().desc;
    EXPECT_STREQ(d.moduleName, "TORVEX_CORE");
    EXPECT_EQ(d.numOfParams, 122);
    EXPECT_EQ(d.numOfTerminals, 6);
    EXPECT_EQ(d.numOfTerminalsToo, 6);
    const char* names[] = {"D", "G", "S", "B", "TINT", "TEXT"};
    for (int k = 0; k < 6; ++k) EXPECT_STREQ(d.terminalNames[k], names[k]);
    EXPECT_EQ(d.terminalNames[6], nullptr);
    for (int k = 0; k < 21; ++k) EXPECT_EQ(d.terminalWidths[k], 0) << k;
    EXPECT_EQ(d.numOfChildModuleDefs, 0);
    EXPECT_EQ(d.childModuleDefNames[0], nullptr);
    EXPECT_EQ(d.numOfAC_Stims, 0);
    EXPECT_EQ(d.numOfOutVars, 0);
    EXPECT_EQ(d.outVarDescArray[0].name, nullptr);
    EXPECT_EQ(d.outVarDescArray[0].outputVarType, VXR_OUT_INVALID);
    EXPECT_EQ(d.outVarDescArray[0].ix, -1);
    EXPECT_EQ(d.numOfDebugSymbolDescs, 0);
    EXPECT_EQ(d.symbolArray, nullptr);
    EXPECT_EQ(d.algebraicModule, 1);
}

TEST(TorvexCoreRecords, EntryPointSlots)
{
    const Desc& d = *lib().desc;
    const void* set[] = {(void*)d.pCreateInstance, (void*)d.pFinalizeTopology, (void*)d.pSetStamp,
                         (void*)d.pGenLoad, (void*)d.pGenLoadRHS, (void*)d.pDoStrobe, (void*)d.pSetMemoryStates,
                         (void*)d.pResetMemoryStates, (void*)d.pTranAcceptPoint, (void*)d.pModifyRealParam,
                         (void*)d.pModifyIntParam, (void*)d.pResetParameters, (void*)d.pGetRealParam,
                         (void*)d.pGetIntParam, (void*)d.pCheckRange, (void*)d.pForceExecInvarCode,
                         (void*)d.pGetOutVarInfo, (void*)d.pGetDeviceState, (void*)d.pRestoreDeviceState,
                         (void*)d.pDestroyDevice};
    for (const void* p : set) EXPECT_NE(p, nullptr);
    const void* unset[] = {(void*)d.pModifyRealArrayParam, (void*)d.pModifyIntArrayParam,
                           (void*)d.pModifyStringParam, (void*)d.pGetRealArrayParam, (void*)d.pGetIntArrayParam,
                           (void*)d.pGetStringParam, (void*)d.pGetDebugInfo};
    for (const void* p : unset) EXPECT_EQ(p, nullptr);
}

TEST(TorvexCoreRecords, ParameterTableIsSortedAndTerminated)
{
    const Desc& d = *lib().desc;
    const VXR160_ParamDesc* rows = d.paramDescArray;
    int reals = 0, ints = 0;
    bool realLoc[116] = {}, intLoc[6] = {};
    for (int i = 0; i < 122; ++i) {
        if (i > 0) {
            EXPECT_LT(std::strcmp(rows[i - 1].name, rows[i].name), 0) << rows[i].name;
        }
        EXPECT_EQ(rows[i].paramLocation2, rows[i].paramLocation);
        if (rows[i].paramType == VXR_REAL_PARAM) {
            ++reals;
            ASSERT_LT(rows[i].paramLocation, 116);
            realLoc[rows[i].paramLocation] = true;
        } else {
            ASSERT_EQ(rows[i].paramType, VXR_INT_PARAM) << rows[i].name;
            ++ints;
            ASSERT_LT(rows[i].paramLocation, 6);
            intLoc[rows[i].paramLocation] = true;
        }
    }
    EXPECT_EQ(reals, 116);
    EXPECT_EQ(ints, 6);
    for (bool b : realLoc) EXPECT_TRUE(b);
    for (bool b : intLoc) EXPECT_TRUE(b);
    EXPECT_EQ(rows[122].name, nullptr);
    EXPECT_EQ(rows[122].paramType, VXR_INVALID_PARAM);
    EXPECT_EQ(rows[122].paramLocation, 0);
    EXPECT_EQ(rows[122].paramLocation2, 0);

    // Spot checks of the published order and locations.
    EXPECT_STREQ(rows[0].name, "$angle");
    EXPECT_STREQ(rows[5].name, "$yposition");
    EXPECT_STREQ(rows[53].name, "LENGTH");
    EXPECT_STREQ(rows[54].name, "LEVEL");
    EXPECT_STREQ(rows[121].name, "XDEP1");
    EXPECT_EQ(row("RTH")->paramLocation, 77);
    EXPECT_EQ(row("TYPE")->paramLocation, 5);
    EXPECT_EQ(row("VDSBR")->paramLocation, 102);
}
