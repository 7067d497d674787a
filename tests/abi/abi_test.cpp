// Loads the fixture library of every revision into one process and reads
// its records through the host-side types.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <set>
#include <string>

#include "VXR_Interface.h"

namespace {

struct Lib {
    void* handle = nullptr;
    const VXR_LibraryVersion* version = nullptr;
    const void* manifest = nullptr;
};

Lib load(const char* path) {
    Lib lib;
    lib.handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(lib.handle, nullptr) << dlerror();
    if (!lib.handle) return lib;
    auto v = reinterpret_cast<const VXR_LibraryVersion* (*)()>(dlsym(lib.handle, "getLibraryVersion"));
    auto m = reinterpret_cast<const void* (*)()>(dlsym(lib.handle, "getLibraryManifest"));
    EXPECT_NE(v, nullptr);
    EXPECT_NE(m, nullptr);
    if (v) lib.version = v();
    if (m) lib.manifest = m();
    return lib;
}

// Checks shared by the three descriptor layouts.
template <typename Manifest>
std::string checkManifest(const Lib& lib, int reservedWords) {
    auto* m = static_cast<const Manifest*>(lib.manifest);
    EXPECT_EQ(m->numOfModules, 1);
    for (int i = 0; i < reservedWords; ++i) EXPECT_EQ(m->reserved[i], nullptr);
    EXPECT_TRUE(std::regex_match(m->buildId, std::regex("^[0-9a-f]{32}$"))) << m->buildId;
    auto* d = m->pModules;
    EXPECT_STREQ(d->moduleName, "FIXTURE");
    EXPECT_EQ(d->numOfParams, 3);
    for (int i = 0; i + 1 < d->numOfParams; ++i)
        EXPECT_LT(std::strcmp(d->paramDescArray[i].name, d->paramDescArray[i + 1].name), 0);
    EXPECT_EQ(d->paramDescArray[d->numOfParams].paramType, VXR_INVALID_PARAM);
    EXPECT_STREQ(d->paramDescArray[0].name, "G");
    EXPECT_EQ(d->numOfTerminals, 2);
    EXPECT_STREQ(d->terminalNames[0], "p");
    EXPECT_STREQ(d->terminalNames[1], "n");
    EXPECT_EQ(d->algebraicModule, 1);
    EXPECT_NE(d->pCreateInstance, nullptr);
    EXPECT_NE(d->pGenLoad, nullptr);
    EXPECT_EQ(d->pGetDeviceState, nullptr);
    EXPECT_EQ(d->pModifyStringParam, nullptr);
    return m->buildId;
}

TEST(LibraryRecords, AllRevisionsSideBySide) {
    Lib l187 = load(VXR_FIXTURE_187);
    Lib l160 = load(VXR_FIXTURE_160);
    Lib l142 = load(VXR_FIXTURE_142);
    ASSERT_TRUE(l187.version && l160.version && l142.version);

    struct Expect { const Lib* lib; int minor; const char* revision; int build; const char* full; };
    const Expect table[] = {
        {&l187, 87, "1.87", 100, "1.87.100"},
        {&l160, 60, "1.60", 100, "1.60.100"},
        {&l142, 42, "1.42", 0, nullptr},
    };
    for (const auto& e : table) {
        EXPECT_EQ(e.lib->version->major, 1);
        EXPECT_EQ(e.lib->version->minor, e.minor);
        EXPECT_STREQ(e.lib->version->revision, e.revision);
        EXPECT_EQ(e.lib->version->build, e.build);
        if (e.full) EXPECT_STREQ(e.lib->version->fullRevision, e.full);
        else EXPECT_EQ(e.lib->version->fullRevision, nullptr);
    }

    std::set<std::string> ids;
    ids.insert(checkManifest<VXR187_LibraryManifest>(l187, 8));
    ids.insert(checkManifest<VXR160_LibraryManifest>(l160, 2));
    ids.insert(checkManifest<VXR142_LibraryManifest>(l142, 2));
    EXPECT_EQ(ids.size(), 3u) << "each library build carries its own identifier";

    // Slots that exist in one layout only.
    auto* d187 = static_cast<const VXR187_LibraryManifest*>(l187.manifest)->pModules;
    auto* d160 = static_cast<const VXR160_LibraryManifest*>(l160.manifest)->pModules;
    auto* d142 = static_cast<const VXR142_LibraryManifest*>(l142.manifest)->pModules;
    EXPECT_EQ(d187->pCreateBranches, nullptr);
    EXPECT_NE(d187->pDestroyDevice, nullptr);
    EXPECT_NE(d160->pDestroyDevice, nullptr);
    EXPECT_EQ(d160->numOfTerminalsToo, d160->numOfTerminals);
    EXPECT_EQ(d142->numOfTerminalsToo, d142->numOfTerminals);
    for (int i = 0; i < 3 * (d160->numOfTerminals + 1); ++i) EXPECT_EQ(d160->terminalWidths[i], 0);

    // Different revisions resolve their own copies of the entry points.
    EXPECT_NE(dlsym(l187.handle, "getLibraryManifest"), dlsym(l160.handle, "getLibraryManifest"));
    for (const Lib* l : {&l187, &l160, &l142}) dlclose(l->handle);
}

}  // namespace
