// The built LAMBRET library as a host sees it: opened at run time and reached
// through its two exported entry points only.
#include <gtest/gtest.h>
#include <dlfcn.h>

#include <cctype>
#include <cstring>

#include "VXR_Interface.h"

TEST(LambretLibrary, EntryPointsGiveTheRevision187Records) {
    void* lib = dlopen(LAMBRET_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto version = reinterpret_cast<VXR187_GetLibraryVersionFn>(dlsym(lib, "getLibraryVersion"));
    auto manifest = reinterpret_cast<VXR187_GetLibraryManifestFn>(dlsym(lib, "getLibraryManifest"));
    ASSERT_TRUE(version && manifest);
    EXPECT_EQ(dlsym(lib, "ModuleInfo"), nullptr);
    EXPECT_EQ(version()->major, 1);
    EXPECT_EQ(version()->minor, 87);
    EXPECT_STREQ(version()->revision, "1.87");
    EXPECT_EQ(version()->build, 100);
    EXPECT_STREQ(version()->fullRevision, "1.87.100");
    const VXR187_LibraryManifest* m = manifest();
    ASSERT_EQ(m->numOfModules, 1);
    EXPECT_STREQ(m->pModules->moduleName, "LAMBRET");
    EXPECT_EQ(m->pModules->numOfParams, 14);
    ASSERT_EQ(std::strlen(m->buildId), 32u);
    for (const char* c = m->buildId; *c; ++c) EXPECT_TRUE(std::isxdigit(*c) && !std::isupper(*c)) << m->buildId;
    dlclose(lib);
}
