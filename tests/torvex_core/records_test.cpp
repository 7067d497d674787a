// Static records of the built TORVEX_CORE library as a host reads them:
// opened at run time and reached through its exported entry points.
#include <gtest/gtest.h>
#include <dlfcn.h>

#include <cstring>
#include <string>

#include "library_records.h"

namespace {

using Desc = VXR160_ModuleDescriptor;

const vxrtest::OpenedLibrary<VXR160_LibraryManifest>& lib()
{
    return vxrtest::openedLibrary<VXR160_LibraryManifest>(TORVEX_CORE_PATH);
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

    vxrtest::expectManifest(*lib().manifest);
}

TEST(TorvexCoreRecords, DescriptorHeader)
{
    const Desc& d = *lib().desc;
    vxrtest::expectDescriptorHeader(d, "TORVEX_CORE", 122, {"D", "G", "S", "B", "TINT", "TEXT"});
    EXPECT_EQ(d.numOfDebugSymbolDescs, 0);
    EXPECT_EQ(d.symbolArray, nullptr);
}

TEST(TorvexCoreRecords, EntryPointSlots)
{
    const Desc& d = *lib().desc;
    vxrtest::expectScalarModuleSlots(d);
    EXPECT_NE((void*)d.pDestroyDevice, nullptr);
    EXPECT_EQ((void*)d.pGetDebugInfo, nullptr);
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
