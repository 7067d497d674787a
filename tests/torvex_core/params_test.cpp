// TORVEX_CORE parameters through the descriptor slots: defaults, given bits,
// assignments, modify and get, range tests and the range-check pass.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "core_fixture.h"
#include "module_checks.h"
#include "probe.h"

using namespace tc;

namespace {

struct Default {
    const char* name;
    double value;
};
// Declaration order.
const Default kDefaults[] = {
    {"$yposition", 0}, {"$xposition", 0}, {"$vflip", 1}, {"$mfactor", 1}, {"$hflip", 1}, {"$angle", 0},
    {"LEVEL", 602}, {"TYPE", 1}, {"NCELL", 1}, {"LGF", 0.0001}, {"PCELL", 4e-5}, {"DTA", 0}, {"RTHSW", 0},
    {"RTHCALC", 0}, {"RTH", 0.001}, {"CTH", 1e-12}, {"INCGATEBARCAP", 0}, {"INCGATEBARIND", 0},
    {"INCDRAINBARCAP", 0}, {"INCDRAINBARIND", 0}, {"WVBARGATE", 1e-5}, {"WVBARDRAIN", 1e-5}, {"NCELLR", 1},
    {"LGFR", 0.0001}, {"PCELLR", 4e-5}, {"WVBARGATER", 1.5e-5}, {"WVBARDRAINR", 3e-5}, {"TR", 21},
    {"VFB", -1.05}, {"STVFB", 0}, {"KO", 0.5}, {"KPINV", 0}, {"PHIB", 0.95}, {"STPHIB", 0}, {"BET", 0.0019},
    {"ETABET", 1.3}, {"THESR", 0.3562}, {"ETASR", 0.005}, {"THEPH", 0.0129}, {"ETAPH", 1.35}, {"ETAMOB", 1.3},
    {"STETAMOB", 0}, {"NU", 2}, {"NUEXP", 5.25}, {"CS", 0}, {"ETACS", 0}, {"THESAT", 0.2513}, {"ETASAT", 0},
    {"THESATG", 0}, {"THETH", 0}, {"SDIBL", 3.59e-5}, {"MO", 0}, {"SSF", 0.012}, {"ALP", 0.025}, {"VP", 0.05},
    {"MEXP", 2}, {"A1CH", 0}, {"STA1CH", 0}, {"A2CH", 1}, {"A3CH", 0}, {"TOX", 3.2e-9}, {"COX", 2.98e-14},
    {"PART", 0.5}, {"ADJ", 1}, {"XDEP1", 1}, {"DELQ", 0}, {"LENGTH", 5e-7}, {"VFBOV", 0}, {"KOV", 2.5},
    {"CGSO", 0}, {"CGDO", 0}, {"RON", 1}, {"ETARON", 0}, {"RSAT", 1}, {"NSAT", 0}, {"VSAT", 10},
    {"ETAVSAT", 0}, {"EC", 1e6}, {"PSAT", 1}, {"VPDR", 100}, {"VPDR1", 100}, {"DCH", 1e15}, {"DSUB", 1e15},
    {"VSUB", 0.6}, {"VGAP", 1.2}, {"VDEP", 0.005}, {"A1DR", 0}, {"STA1DR", 0}, {"A2DR", 1}, {"A3DR", 0},
    {"RBB", 1}, {"ETARBB", 0}, {"RPW", 100}, {"LPW", 1e-5}, {"CSOURCE", 1e-10}, {"CDIODE1", 1e-15},
    {"VBIDIODE1", 0.7}, {"PDIODE1", 0.3}, {"CDIODE2", 1e-15}, {"VBIDIODE2", 0.7}, {"PDIODE2", 0.3},
    {"NDIODE2", 0}, {"SDIODE2", 0}, {"CDIODE3", 1e-15}, {"VBIDIODE3", 0.7}, {"PDIODE3", 0.3}, {"REPI", 1e-8},
    {"TEPI", 1e-6}, {"DEPEPI1", 0.1}, {"DEPEPI3", 0.1}, {"LDEX", 3e-6}, {"GMIN", 1e-11}, {"RTHWS", 0.001},
    {"CTHWS", 1e-12}, {"ATH", 0}, {"EXRTH", 0}, {"TSCALE", 1}, {"RTHCOR", 0}, {"KAPPA", 150},
    {"TSUBTH", 0.00025}, {"LTH", 1e-5}, {"VDSBR", 1000},
};

const std::set<std::string> kUnranged = {"$yposition", "$xposition", "LEVEL", "DTA", "VFB", "STVFB",
                                         "STPHIB", "ETABET", "STETAMOB", "CS", "THESATG", "STA1CH",
                                         "VFBOV", "NSAT", "STA1DR", "CDIODE1", "CDIODE2", "CDIODE3"};

bool isInt(const VXR_ParamDesc* r) { return r->paramType == VXR_INT_PARAM; }

double getReal(Inst* inst, const char* name) { return vxrtest::realParam(inst, name); }
int getInt(Inst* inst, const char* name) { return vxrtest::intParam(inst, name); }

// Modify through the slot; returns the range-violation flag (starting at 0).
int modifyReal(Inst* inst, const char* name, double v)
{
    int flag = 0;
    md.pModifyRealParam(inst, row(name)->paramLocation, &flag, v);
    return flag;
}
int modifyInt(Inst* inst, const char* name, int v)
{
    int flag = 0;
    md.pModifyIntParam(inst, row(name)->paramLocation, v, &flag);
    return flag;
}

std::vector<std::string> checkRange(Inst* inst, int capacity = 200) { return vxrtest::rangeViolations(inst, capacity); }

int descIndex(const char* name) { return static_cast<int>(row(name) - md.paramDescArray); }

} // namespace

TEST(TorvexCoreParams, DefaultsAndGivenBitsAfterCreation)
{
    CoreHost h;
    Inst* inst = h.create({realAssn("RTH", 0.5)});
    ASSERT_EQ(std::size(kDefaults), 122u);
    for (const Default& d : kDefaults) {
        const VXR_ParamDesc* r = row(d.name);
        ASSERT_NE(r, nullptr) << d.name;
        if (std::string(d.name) == "RTH") continue;
        if (isInt(r))
            EXPECT_EQ(getInt(inst, d.name), static_cast<int>(d.value)) << d.name;
        else
            EXPECT_EQ(getReal(inst, d.name), d.value) << d.name;
        EXPECT_FALSE(probe::given(inst, descIndex(d.name))) << d.name;
    }
    EXPECT_EQ(getReal(inst, "RTH"), 0.5);
    EXPECT_TRUE(probe::given(inst, descIndex("RTH")));
    EXPECT_EQ(probe::recompute(inst), 1);
    EXPECT_TRUE(checkRange(inst).empty()) << "defaults are in range";
    EXPECT_TRUE(h.messages().empty());
    md.pDestroyDevice(inst);
}

TEST(TorvexCoreParams, AssignmentsLaterWinsAndCoercions)
{
    CoreHost h;
    Inst* inst = h.create({realAssn("RTH", 1.0), intAssn("TYPE", -1), realAssn("RTH", 2.0), intAssn("NCELL", 3),
                           realAssn("RTHCALC", 1.5), realAssn("LEVEL", -2.5)});
    EXPECT_EQ(getReal(inst, "RTH"), 2.0);
    EXPECT_EQ(getInt(inst, "TYPE"), -1);
    EXPECT_EQ(getReal(inst, "NCELL"), 3.0);
    EXPECT_EQ(getInt(inst, "RTHCALC"), 2);
    EXPECT_EQ(getInt(inst, "LEVEL"), -3);
    EXPECT_TRUE(h.messages().empty());
    md.pDestroyDevice(inst);
}

TEST(TorvexCoreParams, ResetRestoresDefaultsClearsGivenAndMarksRecompute)
{
    CoreHost h;
    Inst* inst = h.create({realAssn("CTH", 5.0), intAssn("TYPE", 0)});
    EXPECT_EQ(modifyReal(inst, "RTH", 3.0), 0);
    probe::setRecompute(inst, 0);

    VXR_ParamAssn assn[] = {realAssn("VDSBR", 50.0)};
    md.pResetParameters(inst, 1, assn);
    EXPECT_EQ(getReal(inst, "VDSBR"), 50.0);
    EXPECT_EQ(getReal(inst, "RTH"), 0.001);
    EXPECT_EQ(getReal(inst, "CTH"), 1e-12);
    EXPECT_EQ(getInt(inst, "TYPE"), 1);
    EXPECT_FALSE(probe::given(inst, descIndex("RTH")));
    EXPECT_FALSE(probe::given(inst, descIndex("TYPE")));
    EXPECT_TRUE(probe::given(inst, descIndex("VDSBR")));
    EXPECT_EQ(probe::recompute(inst), 1) << "a reset must not leave stale derived values";

    md.pResetParameters(inst, 0, nullptr);
    EXPECT_EQ(getInt(inst, "LEVEL"), 602);
    for (int k = 0; k < 122; ++k) EXPECT_FALSE(probe::given(inst, k)) << k;
    md.pDestroyDevice(inst);
}

TEST(TorvexCoreParams, ModifySetsGivenAndRecompute)
{
    CoreHost h;
    Inst* inst = h.create();
    probe::setRecompute(inst, 0);
    EXPECT_EQ(modifyReal(inst, "KAPPA", 200.0), 0);
    EXPECT_EQ(getReal(inst, "KAPPA"), 200.0);
    EXPECT_TRUE(probe::given(inst, descIndex("KAPPA")));
    EXPECT_EQ(probe::recompute(inst), 1);

    probe::setRecompute(inst, 0);
    EXPECT_EQ(modifyInt(inst, "RTHSW", 1), 0);
    EXPECT_EQ(getInt(inst, "RTHSW"), 1);
    EXPECT_TRUE(probe::given(inst, descIndex("RTHSW")));
    EXPECT_EQ(probe::recompute(inst), 1);

    // Out-of-range values are stored and only flagged; a passing test never
    // clears a raised flag.
    EXPECT_EQ(modifyReal(inst, "DCH", 1e10), 1);
    EXPECT_EQ(getReal(inst, "DCH"), 1e10);
    int flag = 1;
    md.pModifyRealParam(inst, row("RTH")->paramLocation, &flag, 1.0);
    EXPECT_EQ(flag, 1);
    flag = 0;
    md.pModifyRealParam(inst, row("DTA")->paramLocation, &flag, NAN);
    EXPECT_EQ(flag, 0);
    md.pDestroyDevice(inst);
}

TEST(TorvexCoreParams, OutOfRangeLocationsAreIgnored)
{
    CoreHost h;
    Inst* inst = h.create();
    vxrtest::expectLocationsIgnored(inst, {-1, 116, 1000}, {-1, 6, 1000});
    for (const Default& def : kDefaults) {
        if (isInt(row(def.name)))
            EXPECT_EQ(getInt(inst, def.name), static_cast<int>(def.value)) << def.name;
        else
            EXPECT_EQ(getReal(inst, def.name), def.value) << def.name;
    }
    md.pDestroyDevice(inst);
}

// One case: a value for one parameter; the modify flag and the range-check
// pass must agree with `ok`.
struct RangeCase {
    const char* name;
    double value; // integer parameters take static_cast<int>(value)
    bool ok;
};

TEST(TorvexCoreParams, RangeTests)
{
    const double inf = std::numeric_limits<double>::infinity();
    const RangeCase cases[] = {
        {"$angle", 360, false},       {"$angle", 359.999, true},  {"$angle", 0, true},
        {"$angle", -1e-300, false},   {"DEPEPI1", 1, false},      {"DEPEPI1", 0.999, true},
        {"MO", 1, true},              {"EXRTH", 1, true},         {"EXRTH", 1.0000001, false},
        {"$mfactor", 0, false},       {"$mfactor", 1e-300, true}, {"CTH", 0, true},
        {"CTH", -0.0, true},          {"CTH", -1e-300, false},    {"DCH", 1e10, false},
        {"DCH", 1e11, true},          {"DCH", 1e29, true},        {"DSUB", 2e29, false},
        {"DSUB", -1, true},           {"DSUB", -1.5, false},      {"TR", -273.15, true},
        {"TR", -273.16, false},       {"RTH", DBL_MAX, true},     {"RTH", inf, false},
        {"VDEP", inf, true},          {"VDEP", DBL_MAX, true},    {"VDEP", -1e-9, false},
        {"NCELL", -inf, false},       {"PDIODE2", 0.99, true},    {"PDIODE2", 0.05, true},
        {"PDIODE2", 0.991, false},    {"PDIODE2", 0.0499, false}, {"INCGATEBARIND", 1000, true},
        {"INCGATEBARIND", 1001, false},
        {"$hflip", -1, true},         {"$hflip", 1, true},        {"$hflip", 0, false},
        {"$vflip", 0, false},         {"$vflip", 2, false},       {"TYPE", 0, true},
        {"TYPE", -1, true},           {"TYPE", 2, false},         {"RTHCALC", 2, true},
        {"RTHCALC", 3, false},        {"RTHCALC", -1, false},     {"RTHSW", -1, false},
        {"RTHSW", 1, true},           {"LEVEL", -100000, true},   {"DTA", inf, true},
        {"RPW", 0, false},            {"RPW", 1e-300, true},      {"LPW", 0, false},
        {"LPW", 1e-300, true},
    };
    for (const RangeCase& c : cases) {
        CoreHost h;
        Inst* inst = h.create();
        const bool integer = isInt(row(c.name));
        const int flag = integer ? modifyInt(inst, c.name, static_cast<int>(c.value)) : modifyReal(inst, c.name, c.value);
        EXPECT_EQ(flag, c.ok ? 0 : 1) << c.name << " = " << c.value;
        const auto logged = checkRange(inst);
        if (c.ok)
            EXPECT_TRUE(logged.empty()) << c.name << " = " << c.value;
        else
            EXPECT_EQ(logged, std::vector<std::string>{c.name}) << c.name << " = " << c.value;
        md.pDestroyDevice(inst);
    }
}

TEST(TorvexCoreParams, NaNAndInfinityAgainstEveryRealParameter)
{
    const double inf = std::numeric_limits<double>::infinity();
    int unrangedReals = 0;
    for (const Default& d : kDefaults) {
        if (isInt(row(d.name))) continue;
        const bool ranged = !kUnranged.count(d.name);
        unrangedReals += !ranged;
        CoreHost h;
        Inst* inst = h.create();
        EXPECT_EQ(modifyReal(inst, d.name, NAN), ranged ? 1 : 0) << d.name;
        EXPECT_TRUE(std::isnan(getReal(inst, d.name)));
        EXPECT_EQ(checkRange(inst).size(), ranged ? 1u : 0u) << d.name;
        const bool infOk = !ranged || std::string(d.name) == "VDEP";
        EXPECT_EQ(modifyReal(inst, d.name, inf), infOk ? 0 : 1) << d.name;
        md.pDestroyDevice(inst);
    }
    EXPECT_EQ(unrangedReals, 17);
}

TEST(TorvexCoreParams, RangeCheckFollowsDeclarationOrderAndLogCapacity)
{
    CoreHost h;
    // Declaration order: $vflip (3), RTH (15), VDSBR (122); descriptor order differs.
    Inst* inst = h.create({realAssn("VDSBR", -1.0), realAssn("RTH", 0.0), intAssn("$vflip", 0)});
    const std::vector<std::string> all = {"$vflip", "RTH", "VDSBR"};
    EXPECT_EQ(checkRange(inst), all);
    EXPECT_EQ(checkRange(inst, 2), (std::vector<std::string>{"$vflip", "RTH"}));
    EXPECT_EQ(checkRange(inst, 1), (std::vector<std::string>{"$vflip"}));
    EXPECT_TRUE(checkRange(inst, 0).empty());

    vxrtest::expectRangeLogsFullAndShared(inst, all);
    md.pDestroyDevice(inst);
}

TEST(TorvexCoreParams, RuntimeSettersByNameReachTheModifySlots)
{
    const auto setReal = VXR_setParamToReal;
    const auto setInt = VXR_setParamToInt;
    CoreHost h;
    Inst* inst = h.create();
    int flag = 0;
    setReal(inst, "RTH", 2.5, &flag);
    EXPECT_EQ(getReal(inst, "RTH"), 2.5);
    EXPECT_EQ(flag, 0);
    setReal(inst, "$mfactor", -1.0, &flag);
    EXPECT_EQ(flag, 1);
    flag = 0;
    setInt(inst, "TYPE", -1, &flag);
    EXPECT_EQ(getInt(inst, "TYPE"), -1);
    setInt(inst, "NCELL", 4, &flag);
    EXPECT_EQ(getReal(inst, "NCELL"), 4.0);
    EXPECT_EQ(flag, 0);
    EXPECT_TRUE(probe::given(inst, descIndex("NCELL")));
    md.pDestroyDevice(inst);
}

// CS has no range, but a negative CS leaves the mobility-reduction factor
// unbounded below: an ERROR naming CS and its value and an exit request at
// the range check; the range log stays empty.
TEST(TorvexCoreParams, NegativeCsIsAConflict)
{
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double cs;
        const char* text; // "" when accepted
    };
    const Case cases[] = {
        {0.0, ""}, {0.3, ""}, {inf, ""}, {NAN, ""}, {-0.0, ""},
        {-1e-300, "CS = -1e-300"}, {-0.5, "CS = -0.5"}, {-inf, "CS = -inf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cs);
        CoreHost h;
        Inst* inst = h.create({vxrtest::realAssn("CS", c.cs)});
        h.clearLog();
        EXPECT_TRUE(checkRange(inst).empty());
        if (*c.text) {
            const std::vector<std::string> texts = h.messageTexts(MessageTypeE_ERROR);
            ASSERT_EQ(texts.size(), 1u);
            EXPECT_EQ(texts[0].rfind(std::string("Parameter ") + c.text +
                                         " conflicts with the mobility model: a negative CS can make the "
                                         "mobility-reduction factor 0 or negative; CS must be at least 0.",
                                     0),
                      0u)
                << texts[0];
            EXPECT_EQ(h.exitRequests(), 1);
        } else {
            EXPECT_TRUE(h.messages().empty());
            EXPECT_EQ(h.exitRequests(), 0);
        }
        md.pDestroyDevice(inst);
    }
}
