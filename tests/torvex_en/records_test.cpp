// Static records of the built TORVEX_EN (1.60) or TORVEX (1.42) library as a
// host reads them: opened at run time, reached through the two exported
// entry points, seen through the host view of the revision's layouts.
#include <gtest/gtest.h>
#include <dlfcn.h>

#include <cstring>

#include "library_records.h"

namespace {

#if TORVEX_EN_REVISION == 160
using Desc = VXR160_ModuleDescriptor;
using Manifest = VXR160_LibraryManifest;
using Row = VXR160_ParamDesc;
constexpr int kTerms = 7;
const char* const kName = "TORVEX_EN";
#else
using Desc = VXR142_ModuleDescriptor;
using Manifest = VXR142_LibraryManifest;
using Row = VXR142_ParamDesc;
constexpr int kTerms = 5;
const char* const kName = "TORVEX";
#endif

const vxrtest::OpenedLibrary<Manifest>& lib() { return vxrtest::openedLibrary<Manifest>(TORVEX_EN_LIBRARY); }

} // namespace

TEST(TorvexEnRecords, VersionAndManifest)
{
    ASSERT_NE(lib().dl, nullptr) << dlerror();
    ASSERT_NE(lib().version, nullptr);
    const VXR_LibraryVersion& v = *lib().version;
    EXPECT_EQ(v.major, 1);
#if TORVEX_EN_REVISION == 160
    EXPECT_EQ(v.minor, 60);
    EXPECT_STREQ(v.revision, "1.60");
    EXPECT_EQ(v.build, 100);
    EXPECT_STREQ(v.fullRevision, "1.60.100");
#else
    EXPECT_EQ(v.minor, 42);
    EXPECT_STREQ(v.revision, "1.42");
    EXPECT_EQ(v.build, 0);
    EXPECT_EQ(v.fullRevision, nullptr);
#endif
    vxrtest::expectManifest(*lib().manifest);
    for (const char* hidden : {"ModuleInfo", "libraryManifest", "vxr_build_id", "_ZN9torvex_en10ModuleInfoE",
                               "_ZN9torvex_en10createInstEPKcP16s_VXR_SimInterfaceP15s_VXR_DeviceInstiPA3_iPP13s_VXR_StateVariP14s_VXR_ParamAssn"})
        EXPECT_EQ(lib().sym(hidden), nullptr) << hidden;
}

TEST(TorvexEnRecords, DescriptorHeaderAndSlots)
{
    ASSERT_NE(lib().desc, nullptr);
    const Desc& d = *lib().desc;
    const char* names[] = {"D", "G", "B", "TINT", "TEXT", "VIDS", "IIDS"};
    vxrtest::expectDescriptorHeader(d, kName, 168, {names, names + kTerms});
    vxrtest::expectScalarModuleSlots(d);
#if TORVEX_EN_REVISION == 160
    EXPECT_EQ(d.numOfDebugSymbolDescs, 0);
    EXPECT_EQ(d.symbolArray, nullptr);
    EXPECT_NE((void*)d.pDestroyDevice, nullptr);
    EXPECT_EQ((void*)d.pGetDebugInfo, nullptr);
    static_assert(sizeof(Desc) == 42 * 4 || sizeof(void*) == 8);
#else
    static_assert(sizeof(Desc) == 38 * 4 || sizeof(void*) == 8);
#endif
}

TEST(TorvexEnRecords, ParameterTableIsSortedAndTerminated)
{
    ASSERT_NE(lib().desc, nullptr);
    const Row* rows = lib().desc->paramDescArray;
    for (int i = 1; i < 168; ++i) EXPECT_LT(std::strcmp(rows[i - 1].name, rows[i].name), 0) << rows[i].name;
    EXPECT_STREQ(rows[0].name, "$angle");
    EXPECT_STREQ(rows[167].name, "XDEP1");
    EXPECT_EQ(rows[168].name, nullptr);
    EXPECT_EQ(rows[168].paramType, VXR_INVALID_PARAM);
    EXPECT_EQ(rows[168].paramLocation, 0);
}
