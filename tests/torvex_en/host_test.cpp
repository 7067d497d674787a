// The transistor libraries through the test host: each opened through the
// adapter of its revision, side by side in one process with the others.
#include "vxrhost/ModelLibrary.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace vxr;

TEST(TorvexEnHost, LibrariesOfThreeRevisionsSideBySide)
{
    struct Expect {
        const char* path;
        int revision;
        const char* module;
        std::vector<std::string> terminals;
        size_t params;
    };
    const std::vector<Expect> libs = {
        {TORVEX_EN_LIBRARY, 160, "TORVEX_EN", {"D", "G", "B", "TINT", "TEXT", "VIDS", "IIDS"}, 168},
        {TORVEX_LIBRARY, 142, "TORVEX", {"D", "G", "B", "TINT", "TEXT"}, 168},
#ifdef OTHER_LIBRARIES
        {TORVEX_CORE_LIBRARY, 160, "TORVEX_CORE", {"D", "G", "S", "B", "TINT", "TEXT"}, 122},
        {LAMBRET_LIBRARY, 187, "LAMBRET", {"EXT", "INT", "BULK"}, 0},
#endif
    };
    std::vector<std::shared_ptr<ModelLibrary>> open;
    for (const Expect& e : libs) {
        SCOPED_TRACE(e.module);
        std::shared_ptr<ModelLibrary> lib = ModelLibrary::open(e.path);
        ASSERT_NE(lib, nullptr);
        EXPECT_EQ(lib->revision(), e.revision);
        EXPECT_EQ(lib->moduleName(), e.module);
        EXPECT_EQ(lib->terminals(), e.terminals);
        if (e.params) {
            EXPECT_EQ(lib->params().size(), e.params);
        }
        open.push_back(lib);
    }
    // A default instance of each transistor library, read back through its get slots.
    for (int k = 0; k < 2; ++k) {
        std::map<std::string, std::string> defaults;
        for (const ParamDefault& d : open[k]->readDefaults()) defaults[d.info.name] = d.value;
        EXPECT_EQ(defaults.size(), 168u);
        EXPECT_EQ(defaults["DISTR3"], "10");
        EXPECT_EQ(defaults["TYPE"], "1");
        EXPECT_EQ(defaults["LEVEL"], "602");
        ASSERT_NE(open[k]->findParam("NGATECON"), nullptr);
        EXPECT_EQ(open[k]->findParam("NGATECON")->location, 89);
        EXPECT_EQ(open[k]->findParam("ngatecon"), nullptr);
    }
}
