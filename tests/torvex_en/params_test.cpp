// Parameters of TORVEX_EN / TORVEX through the descriptor slots, checked
// against the published table (parameters.txt): names, types, locations,
// given bits, defaults and ranges; assignments, modify and get, and the
// range-check pass with its log capacities.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "en_fixture.h"
#include "module_checks.h"

using namespace te;

namespace {

const double kInf = std::numeric_limits<double>::infinity();

struct Param {
    int order;
    std::string name;
    bool integer;
    int location, givenBit;
    double def;
    std::string range;
};

const std::vector<Param>& table()
{
    static const std::vector<Param> t = [] {
        std::vector<Param> v;
        for (const auto& c : readFixture("parameters.txt", '\t'))
            v.push_back({std::stoi(c[0]), c[1], c[2] == "int", std::stoi(c[3]), std::stoi(c[4]), std::stod(c[5]), c[6]});
        return v;
    }();
    return t;
}

// Whether a value is in the published range (the range text read here, apart
// from the module's own table).
bool inRange(const std::string& range, double v)
{
    if (range == "none") return true;
    if (range == "[-1:1] without 0") return v == -1 || v == 1;
    const bool loIncl = range.front() == '[';
    const bool hiIncl = range.back() == ']';
    const size_t colon = range.find(':');
    const double lo = std::stod(range.substr(1, colon - 1));
    const std::string hiText = range.substr(colon + 1, range.size() - colon - 2);
    const double hi = hiText == "inf" ? kInf : std::stod(hiText);
    return (loIncl ? v >= lo : v > lo) && (hiIncl ? v <= hi : v < hi);
}

// Values around the bounds of a range, and the special ones.
std::vector<double> probeValues(const Param& p)
{
    std::vector<double> v = {0.0, -1.0, 1.0, 2.0, 3.0, -2.0};
    if (p.integer) return v;
    for (double s : {kInf, -kInf, std::nan("")}) v.push_back(s);
    if (p.range == "none") return v;
    const size_t colon = p.range.find(':');
    const double lo = std::stod(p.range.substr(1, colon - 1));
    const std::string hiText = p.range.substr(colon + 1, p.range.size() - colon - 2);
    std::vector<double> bounds = {lo};
    if (hiText != "inf") bounds.push_back(std::stod(hiText));
    for (double b : bounds)
        for (double x : {b, std::nextafter(b, -kInf), std::nextafter(b, kInf)}) v.push_back(x);
    v.push_back(std::numeric_limits<double>::max());
    return v;
}

int modify(Inst* inst, const Param& p, double v)
{
    int flag = 0;
    if (p.integer)
        md.pModifyIntParam(inst, p.location, static_cast<int>(v), &flag);
    else
        md.pModifyRealParam(inst, p.location, &flag, v);
    return flag;
}

std::vector<std::string> checkRange(Inst* inst, int capacity = 400) { return vxrtest::rangeViolations(inst, capacity); }

double getReal(Inst* inst, const char* name) { return vxrtest::realParam(inst, name); }
int getInt(Inst* inst, const char* name) { return vxrtest::intParam(inst, name); }

} // namespace

TEST(TorvexEnParams, TableMatchesRowForRow)
{
    ASSERT_EQ(table().size(), 168u);
    EXPECT_EQ(md.numOfParams, 168);
    EnHost h;
    Inst* inst = h.create();
    torvex_en::Private* pr = priv(inst);
    for (const Param& p : table()) {
        SCOPED_TRACE(p.name);
        const VXR_ParamDesc* r = row(p.name);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->paramType, p.integer ? VXR_INT_PARAM : VXR_REAL_PARAM);
        EXPECT_EQ(r->paramLocation, p.location);
        [&](const auto* rr) { // 1.60 rows repeat the location
            if constexpr (requires { rr->paramLocation2; }) {
                EXPECT_EQ(rr->paramLocation2, p.location);
            }
        }(r);
        // The given bit is the row's position in the sorted table.
        EXPECT_EQ(descIndex(p.name), p.givenBit);
        if (p.integer)
            EXPECT_EQ(md.pGetIntParam(inst, p.location), static_cast<int>(p.def));
        else
            EXPECT_EQ(md.pGetRealParam(inst, p.location), p.def);
        EXPECT_FALSE(torvex_en::givenBit(pr, p.givenBit));
        EXPECT_TRUE(inRange(p.range, p.def));
    }
    const VXR_ParamDesc& end = md.paramDescArray[168];
    EXPECT_EQ(end.name, nullptr);
    EXPECT_EQ(end.paramType, VXR_INVALID_PARAM);
    EXPECT_EQ(end.paramLocation, 0);
    EXPECT_TRUE(checkRange(inst).empty());
    EXPECT_TRUE(h.messages().empty());

    // A modify sets exactly the parameter's own given bit.
    for (const Param& p : table()) {
        modify(inst, p, p.def);
        int set = 0;
        for (int k = 0; k < 168; ++k) set += torvex_en::givenBit(pr, k);
        EXPECT_EQ(set, p.order + 1) << p.name;
        EXPECT_TRUE(torvex_en::givenBit(pr, p.givenBit)) << p.name;
    }
    retire(inst);
}

// Every parameter against values at and beside its bounds, NaN and the
// infinities: the modify flag and the range-check pass agree with the
// published range, and the value is stored whatever it is.
TEST(TorvexEnParams, EveryRangeAtItsBounds)
{
    EnHost h;
    Inst* inst = h.create();
    int ranged = 0;
    for (const Param& p : table()) {
        ranged += p.range != "none";
        for (double v : probeValues(p)) {
            SCOPED_TRACE(p.name + " = " + std::to_string(v));
            const bool ok = inRange(p.range, p.integer ? static_cast<int>(v) : v);
            EXPECT_EQ(modify(inst, p, v), ok ? 0 : 1);
            if (p.integer)
                EXPECT_EQ(md.pGetIntParam(inst, p.location), static_cast<int>(v));
            else if (std::isnan(v))
                EXPECT_TRUE(std::isnan(md.pGetRealParam(inst, p.location)));
            else
                EXPECT_EQ(md.pGetRealParam(inst, p.location), v);
            EXPECT_EQ(checkRange(inst), ok ? std::vector<std::string>{} : std::vector<std::string>{p.name});
        }
        modify(inst, p, p.def);
    }
    EXPECT_EQ(ranged, 150);
    retire(inst);
}

// The published edge cases, as a cross-check of the reading above.
TEST(TorvexEnParams, PublishedEdgeCases)
{
    struct Case {
        const char* name;
        double value;
        bool ok;
    };
    const Case cases[] = {
        {"RTH", 0, false},        {"RTH", 1e-8, true},         {"$mfactor", 0, false},   {"$angle", 0, true},
        {"$angle", 360, false},   {"VDEP", kInf, true},        {"RTH", kInf, false},     {"DCH", 1e29, true},
        {"DCH", 1e11, true},      {"DCH", 1e10, false},        {"DEPEPI1", 1, false},    {"DEPEPI1", 0.9999999, true},
        {"TYPE", 2, false},       {"TYPE", -2, false},         {"$vflip", 0, false},     {"RTHCALC", 3, false},
        {"RTHSW", -1, false},     {"INDUCON", -1, true},       {"MUTUALON", -10.5, false}, {"REDDYON", 0, false},
        {"NGATECON", 0.5, false}, {"WGATEPOLY", 1e-10, true},  {"CIGB1", -1e-300, false}, {"LEVEL", -7, true},
        {"VFB", std::nan(""), true}, {"CDIODE1", -kInf, true},
    };
    for (const Case& c : cases) {
        EnHost h;
        Inst* inst = h.create();
        const VXR_ParamDesc* r = row(c.name);
        int flag = 0;
        if (r->paramType == VXR_INT_PARAM)
            md.pModifyIntParam(inst, r->paramLocation, static_cast<int>(c.value), &flag);
        else
            md.pModifyRealParam(inst, r->paramLocation, &flag, c.value);
        EXPECT_EQ(flag, c.ok ? 0 : 1) << c.name << " = " << c.value;
        EXPECT_EQ(priv(inst)->recompute, 1);
        retire(inst);
    }
}

TEST(TorvexEnParams, RangeCheckPassFollowsDeclarationOrderUntilTheLogIsFull)
{
    EnHost h;
    Inst* inst = h.create();
    std::vector<std::string> all;
    for (const Param& p : table()) {
        if (p.range == "none") continue;
        all.push_back(p.name);
        modify(inst, p, p.integer ? 5 : std::nan(""));
    }
    ASSERT_EQ(all.size(), 150u);
    EXPECT_EQ(checkRange(inst, 0), std::vector<std::string>{});
    EXPECT_EQ(checkRange(inst, 3), (std::vector<std::string>{"$vflip", "$mfactor", "$hflip"}));
    EXPECT_EQ(checkRange(inst, 150), all);
    EXPECT_EQ(checkRange(inst, 400), all);
    EXPECT_EQ(all.back(), "DISTC3");

    vxrtest::expectRangeLogsFullAndShared(inst, {"$vflip", "$mfactor"});
    retire(inst);
}

TEST(TorvexEnParams, AssignmentsResetAndTypeErrors)
{
    EnHost h;
    Inst* inst = h.create({realAssn("RTH", 1.0), intAssn("TYPE", -1), realAssn("RTH", 2.0), intAssn("RTH", 3),
                           realAssn("RTHCALC", 1.5), realAssn("TYPE", -0.5), realAssn("DISTC2", -4.0)});
    EXPECT_EQ(getReal(inst, "RTH"), 3.0);
    EXPECT_EQ(getInt(inst, "RTHCALC"), 2);
    EXPECT_EQ(getInt(inst, "TYPE"), -1);
    EXPECT_EQ(getReal(inst, "DISTC2"), -4.0);
    EXPECT_TRUE(torvex_en::givenBit(priv(inst), descIndex("DISTC2")));
    EXPECT_TRUE(h.messages().empty()) << "no range test at set-up";

    priv(inst)->recompute = 0;
    VXR_ParamAssn assn[] = {realAssn("NGATECON", 50.0)};
    md.pResetParameters(inst, 1, assn);
    EXPECT_EQ(getReal(inst, "NGATECON"), 50.0);
    EXPECT_EQ(getReal(inst, "RTH"), 0.001);
    EXPECT_EQ(getReal(inst, "DISTC2"), 0.33);
    EXPECT_EQ(getInt(inst, "TYPE"), 1);
    EXPECT_FALSE(torvex_en::givenBit(priv(inst), descIndex("RTH")));
    EXPECT_TRUE(torvex_en::givenBit(priv(inst), descIndex("NGATECON")));
    EXPECT_EQ(priv(inst)->recompute, 1) << "a reset must not leave stale derived values";
    retire(inst);

    // Unknown names (case counts) and values of the wrong type.
    EnHost e;
    Inst* bad = e.create({realAssn("type", 1.0), vxrtest::RecordingHost::text("RTH", "x"),
                          vxrtest::RecordingHost::text("TYPE", "y")});
    const std::string ctx = std::string("\n   [ instance 'm1' of module type '") + kModule + "' ]";
    EXPECT_EQ(e.messageTexts(), (std::vector<std::string>{"Parameter 'type' not found." + ctx,
                                                          "Invalid type int assignment to int parameter 'TYPE'." + ctx,
                                                          "Invalid type for assignment to real parameter 'RTH'." + ctx}));
    EXPECT_EQ(e.exitRequests(), 3);
    EXPECT_EQ(getReal(bad, "RTH"), 0.0);
    EXPECT_EQ(getInt(bad, "TYPE"), 0);
    retire(bad);
}

TEST(TorvexEnParams, ModifyAndGetIgnoreLocationsOutsideTheTable)
{
    EnHost h;
    Inst* inst = h.create();
    vxrtest::expectLocationsIgnored(inst, {-1, 162, 100000}, {-1, 6, 100000});
    for (const Param& p : table()) {
        if (p.integer)
            EXPECT_EQ(md.pGetIntParam(inst, p.location), static_cast<int>(p.def)) << p.name;
        else
            EXPECT_EQ(md.pGetRealParam(inst, p.location), p.def) << p.name;
    }
    // An in-range modify never clears a raised flag.
    int flag = 1;
    md.pModifyRealParam(inst, row("RTH")->paramLocation, &flag, 1.0);
    EXPECT_EQ(flag, 1);
    // The runtime's by-name setters reach the same slots.
    flag = 0;
    VXR_setParamToReal(inst, "MUTUALON", 11.0, &flag);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(getReal(inst, "MUTUALON"), 11.0);
    flag = 0;
    VXR_setParamToInt(inst, "NCELL", 4, &flag);
    EXPECT_EQ(getReal(inst, "NCELL"), 4.0);
    EXPECT_EQ(flag, 0);
    retire(inst);
}

// LEPI and PCELL, each in range, that leave the epitaxial substrate
// resistance undefined (LEPI >= PCELL / 2): an ERROR naming both with their
// values and an exit request at the range check; the log stays per parameter.
TEST(TorvexEnParams, LepiOfHalfThePitchOrMoreIsAConflict)
{
    struct Case {
        double lepi, pcell;
        const char* values; // the text of the two values, "" when accepted
    };
    const Case cases[] = {
        {1e-5, 4e-5, ""},
        {std::nextafter(2e-5, 0.0), 4e-5, ""},
        {2e-5, 4e-5, "LEPI = 2e-05 and PCELL = 4e-05"},
        {1e-5, 1e-5, "LEPI = 1e-05 and PCELL = 1e-05"},
        {1.0, 4e-5, "LEPI = 1 and PCELL = 4e-05"},
        {1e-5, 1e-8, "LEPI = 1e-05 and PCELL = 1e-08"},
        {std::nan(""), 4e-5, ""}, // out of range itself: the range log reports it
        {1e-5, 0.0, ""},
    };
    const std::string ctx = std::string("\n   [ instance 'm1' of module type '") + kModule + "' ]";
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.lepi) + ", " + std::to_string(c.pcell));
        EnHost h;
        Inst* inst = h.create({realAssn("LEPI", c.lepi), realAssn("PCELL", c.pcell)});
        h.clearLog();
        const std::vector<std::string> logged = checkRange(inst);
        const bool eachInRange = c.lepi >= 1e-8 && c.pcell >= 1e-8;
        EXPECT_EQ(logged.size(), eachInRange ? 0u : 1u);
        if (*c.values) {
            EXPECT_EQ(h.messageTexts(), (std::vector<std::string>{
                                            std::string("Parameters ") + c.values +
                                            " conflict: LEPI must be less than PCELL / 2 (the epitaxial substrate "
                                            "resistance is undefined otherwise)." +
                                            ctx}));
            EXPECT_EQ(h.exitRequests(), 1);
        } else {
            EXPECT_TRUE(h.messages().empty());
            EXPECT_EQ(h.exitRequests(), 0);
        }
        retire(inst);
    }
}
