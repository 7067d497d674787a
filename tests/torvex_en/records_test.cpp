// Static records of the built TORVEX_EN (1.60) or TORVEX (1.42) library as a
// host reads them: opened at run time, reached through the two exported
// entry points, seen through the host view of the revision's layouts.
#include <gtest/gtest.h>
#include <dlfcn.h>

#include <cctype>
#include <cstring>
#include <string>

#include "VXR_Interface.h"

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

struct Library {
    void* dl = nullptr;
    const VXR_LibraryVersion* version = nullptr;
    const Manifest* manifest = nullptr;
    Desc* desc = nullptr;
    Library()
    {
        dl = dlopen(TORVEX_EN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (dl == nullptr) return;
        auto gv = reinterpret_cast<const VXR_LibraryVersion* (*)()>(dlsym(dl, "getLibraryVersion"));
        auto gm = reinterpret_cast<const Manifest* (*)()>(dlsym(dl, "getLibraryManifest"));
        if (gv) version = gv();
        if (gm) manifest = gm();
        if (manifest) desc = manifest->pModules;
    }
    void* sym(const char* name) const { return dl ? dlsym(dl, name) : nullptr; }
};

Library& lib()
{
    static Library l; // stays loaded: 1.42 instances cannot be destroyed
    return l;
}

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
    const Manifest& m = *lib().manifest;
    EXPECT_EQ(m.numOfModules, 1);
    EXPECT_EQ(m.reserved[0], nullptr);
    EXPECT_EQ(m.reserved[1], nullptr);
    ASSERT_NE(m.buildId, nullptr);
    ASSERT_EQ(std::strlen(m.buildId), 32u);
    for (const char* p = m.buildId; *p; ++p) EXPECT_TRUE(std::isxdigit(*p) && !std::isupper(*p)) << m.buildId;
    for (const char* hidden : {"ModuleInfo", "libraryManifest", "vxr_build_id", "_ZN9torvex_en10ModuleInfoE",
                               "_ZN9torvex_en10createInstEPKcP16s_VXR_SimInterfaceP15s_VXR_DeviceInstiPA3_iPP13s_VXR_StateVariP14s_VXR_ParamAssn"})
        EXPECT_EQ(lib().sym(hidden), nullptr) << hidden;
}

TEST(TorvexEnRecords, DescriptorHeaderAndSlots)
{
    ASSERT_NE(lib().desc, nullptr);
    const Desc& d = *lib().desc;
    EXPECT_STREQ(d.moduleName, kName);
    EXPECT_EQ(d.numOfParams, 168);
    EXPECT_EQ(d.numOfTerminals, kTerms);
    EXPECT_EQ(d.numOfTerminalsToo, kTerms);
    const char* names[] = {"D", "G", "B", "TINT", "TEXT", "VIDS", "IIDS"};
    for (int k = 0; k < kTerms; ++k) EXPECT_STREQ(d.terminalNames[k], names[k]);
    EXPECT_EQ(d.terminalNames[kTerms], nullptr);
    for (int k = 0; k < (kTerms + 1) * 3; ++k) EXPECT_EQ(d.terminalWidths[k], 0) << k;
    EXPECT_EQ(d.numOfChildModuleDefs, 0);
    EXPECT_EQ(d.childModuleDefNames[0], nullptr);
    EXPECT_EQ(d.numOfAC_Stims, 0);
    EXPECT_EQ(d.numOfOutVars, 0);
    EXPECT_EQ(d.outVarDescArray[0].name, nullptr);
    EXPECT_EQ(d.outVarDescArray[0].outputVarType, VXR_OUT_INVALID);
    EXPECT_EQ(d.outVarDescArray[0].ix, -1);
    EXPECT_EQ(d.algebraicModule, 1);

    const void* set[] = {(void*)d.pCreateInstance, (void*)d.pFinalizeTopology, (void*)d.pSetStamp,
                         (void*)d.pGenLoad, (void*)d.pGenLoadRHS, (void*)d.pDoStrobe, (void*)d.pSetMemoryStates,
                         (void*)d.pResetMemoryStates, (void*)d.pTranAcceptPoint, (void*)d.pModifyRealParam,
                         (void*)d.pModifyIntParam, (void*)d.pResetParameters, (void*)d.pGetRealParam,
                         (void*)d.pGetIntParam, (void*)d.pCheckRange, (void*)d.pForceExecInvarCode,
                         (void*)d.pGetOutVarInfo, (void*)d.pGetDeviceState, (void*)d.pRestoreDeviceState};
    for (const void* p : set) EXPECT_NE(p, nullptr);
    const void* unset[] = {(void*)d.pModifyRealArrayParam, (void*)d.pModifyIntArrayParam,
                           (void*)d.pModifyStringParam, (void*)d.pGetRealArrayParam, (void*)d.pGetIntArrayParam,
                           (void*)d.pGetStringParam};
    for (const void* p : unset) EXPECT_EQ(p, nullptr);
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
