// A built library as a host opens it (dlopen, then the two exported entry
// points), seen through the host view of one revision's layouts, and checks
// of the static records every 1.60 or 1.42 library shares.
//
//   const auto& lib = vxrtest::openedLibrary<VXR160_LibraryManifest>(PATH);
//   vxrtest::expectManifest(*lib.manifest);
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <vector>

#include "VXR_Interface.h"

namespace vxrtest {

template <class Manifest> struct OpenedLibrary {
    void* dl = nullptr;
    const VXR_LibraryVersion* version = nullptr;
    const Manifest* manifest = nullptr;
    decltype(Manifest::pModules) desc = nullptr;

    explicit OpenedLibrary(const char* path)
    {
        dl = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (dl == nullptr) return;
        auto gv = reinterpret_cast<const VXR_LibraryVersion* (*)()>(dlsym(dl, "getLibraryVersion"));
        auto gm = reinterpret_cast<const Manifest* (*)()>(dlsym(dl, "getLibraryManifest"));
        if (gv) version = gv();
        if (gm) manifest = gm();
        if (manifest) desc = manifest->pModules;
    }
    void* sym(const char* name) const { return dl ? dlsym(dl, name) : nullptr; }
};

// The library at `path`, opened once for the whole run and never closed
// (1.42 instances cannot be destroyed).
template <class Manifest> const OpenedLibrary<Manifest>& openedLibrary(const char* path)
{
    static const OpenedLibrary<Manifest> lib(path);
    return lib;
}

// One module, no reserved entries, a 32-digit lowercase hexadecimal build id.
template <class Manifest> void expectManifest(const Manifest& m)
{
    EXPECT_EQ(m.numOfModules, 1);
    EXPECT_EQ(m.reserved[0], nullptr);
    EXPECT_EQ(m.reserved[1], nullptr);
    ASSERT_NE(m.buildId, nullptr);
    ASSERT_EQ(std::strlen(m.buildId), 32u);
    for (const char* p = m.buildId; *p; ++p) EXPECT_TRUE(std::isxdigit(*p) && !std::isupper(*p)) << m.buildId;
}

// The descriptor's header for a module of scalar terminals without child
// modules, AC stimuli or output variables.
template <class Desc>
void expectDescriptorHeader(const Desc& d, const char* name, int params, const std::vector<const char*>& terminals)
{
    const int n = static_cast<int>(terminals.size());
    EXPECT_STREQ(d.moduleName, name);
    EXPECT_EQ(d.numOfParams, params);
    EXPECT_EQ(d.numOfTerminals, n);
    EXPECT_EQ(d.numOfTerminalsToo, n);
    for (int k = 0; k < n; ++k) EXPECT_STREQ(d.terminalNames[k], terminals[k]);
    EXPECT_EQ(d.terminalNames[n], nullptr);
    for (int k = 0; k < (n + 1) * 3; ++k) EXPECT_EQ(d.terminalWidths[k], 0) << k;
    EXPECT_EQ(d.numOfChildModuleDefs, 0);
    EXPECT_EQ(d.childModuleDefNames[0], nullptr);
    EXPECT_EQ(d.numOfAC_Stims, 0);
    EXPECT_EQ(d.numOfOutVars, 0);
    EXPECT_EQ(d.outVarDescArray[0].name, nullptr);
    EXPECT_EQ(d.outVarDescArray[0].outputVarType, VXR_OUT_INVALID);
    EXPECT_EQ(d.outVarDescArray[0].ix, -1);
    EXPECT_EQ(d.algebraicModule, 1);
}

// The entry points of a module with scalar parameters only: every slot of
// the life, load and parameter interfaces filled, the array and string
// parameter slots empty.
template <class Desc> void expectScalarModuleSlots(const Desc& d)
{
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
}

} // namespace vxrtest
