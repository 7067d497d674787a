// Noise sources, contribution lists, ac_stim and limexp.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "VXR_Operators.h"
#include "allocation_probe.h"
#include "recording_host.h"

namespace {

using vxrtest::Call;
using vxrtest::InstanceRecord;
using vxrtest::MessageRecord;
using vxrtest::RecordingHost;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

class Noise : public ::testing::Test {
protected:
    RecordingHost host;
    InstanceRecord c1{host, "c1", "cap"};
    VXR_NoiseSrc src{};
    long liveAtStart = 0;

    void SetUp() override {
        vxr_test::resetAllocationProbe();
        liveAtStart = vxr_test::liveBlocks();
        src.pwr = 9.0;
        src.flickerExp = 9.0;
        src.useCount = 9;
        src.pTable = reinterpret_cast<VXR_Array*>(&src); // stale values to be cleared
        VXR_setNoiseSrcInfo(&src, VXR_FLICKER_NOISE_SRC, "shot", &c1.inst);
    }
    void TearDown() override {
        VXR_freeNoiseContribs(&src);
        EXPECT_EQ(vxr_test::liveBlocks(), liveAtStart);
    }
    // A fresh record of messages and allocations.
    void reset() {
        vxr_test::resetAllocationProbe();
        host.clearLog();
    }

    // (key, coeff, response) of the list from the head.
    struct Node {
        void* key;
        double coeff;
        VXR_FreqResponse* resp;
        bool operator==(const Node&) const = default;
    };
    std::vector<Node> list() const {
        std::vector<Node> out;
        for (const VXR_NoiseContrib* c = src.pContrib; c; c = c->pNext) {
            EXPECT_EQ(c->pNoiseContribInfo, nullptr);
            out.push_back({c->pRhsPair, c->coeff, c->pFreqResponse});
        }
        return out;
    }
};

TEST_F(Noise, SourceInfoResetsListAndTableOnly) {
    EXPECT_EQ(src.pNoiseSrcInfo, nullptr);
    EXPECT_STREQ(src.name, "shot");
    EXPECT_EQ(src.pParent, &c1.inst);
    EXPECT_EQ(src.noiseSrcType, VXR_FLICKER_NOISE_SRC);
    EXPECT_EQ(src.pTable, nullptr);
    EXPECT_EQ(src.pContrib, nullptr);
    EXPECT_EQ(src.pwr, 9.0);
    EXPECT_EQ(src.flickerExp, 9.0);
    EXPECT_EQ(src.useCount, 9);
}

TEST_F(Noise, PowersAreCheckedForSign) {
    struct Case {
        const char* what;
        bool flicker;
        double pwr;
        double exp;
        double wantPwr;
        double wantExp;
        bool warns;
    } const cases[] = {
        {"white 2.5", false, 2.5, 0, 2.5, 7.0, false},
        {"white 0", false, 0.0, 0, 0.0, 7.0, false},
        {"white -1", false, -1.0, 0, 0.0, 7.0, true},
        {"white NaN", false, kNaN, 0, 0.0, 7.0, true},
        {"flicker 3 ^ 1.5", true, 3.0, 1.5, 3.0, 1.5, false},
        {"flicker -3 keeps the exponent", true, -3.0, 1.5, 0.0, 7.0, true},
        {"flicker NaN", true, kNaN, 1.5, 0.0, 7.0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reset();
        src.pwr = 5.0;
        src.flickerExp = 7.0;
        src.name = c.what;  // a text of its own: repeated warnings are dropped process-wide
        if (c.flicker)
            VXR_setFlickerNoiseExpr(&src, c.pwr, c.exp);
        else
            VXR_setWhiteNoisePwr(&src, c.pwr);
        EXPECT_EQ(src.pwr, c.wantPwr);
        EXPECT_EQ(src.flickerExp, c.wantExp);
        ASSERT_EQ(host.messages().size(), c.warns ? 1u : 0u);
        if (c.warns) {
            const MessageRecord& m = host.messages()[0];
            EXPECT_EQ(m.type, MessageTypeE_WARNING);
            EXPECT_EQ(m.body, "Negative noise power specified.");
            EXPECT_EQ(m.id, c.what);
            EXPECT_EQ(m.inst, &c1.inst);
            EXPECT_EQ(m.sim, host.sim());
        }
        EXPECT_EQ(host.count(Call::SystemRequest), 0u);
    }
}

// A noise_table array as the array services leave it.
struct TableArray {
    VXR_Array a{};
    int left = 0, right = 0;
    double data[4] = {1, 2, 3, 4};
    TableArray(bool boundsSet, int l, int r, int len) : left(l), right(r) {
        a._arrayType = VXR_REAL_ARRAY;
        a._boundsSet = boundsSet;
        a._dataLen = len;
        a._data._pReal = data;
#if VXR_REVISION == 187
        if (boundsSet) {
            a._numDims = 1;
            a._pLeftBounds = &left;
            a._pRightBounds = &right;
        } // else: no bound storage at all
#else
        a._leftBound = l;
        a._rightBound = r;
#endif
    }
};

TEST_F(Noise, TableArgumentStopsAtTheFirstFault) {
    const std::string invalid = "Invalid array passed to noise_table source.";
    const std::string odd = "Arrays passed to noise_table must have even length.";
    const std::string order = "Arrays passed to noise_table should have increasing indices.";
    struct Case {
        const char* what;
        bool boundsSet;
        int left, right, len;
        std::string error; // "" when accepted
    } const cases[] = {
        {"no bounds", false, 0, 0, 4, invalid},
        {"no bounds, odd length", false, 0, 0, 3, invalid},
        {"odd length", true, 0, 2, 3, odd},
        {"odd and decreasing", true, 2, 0, 3, odd},
        {"decreasing", true, 3, 0, 4, order},
        {"increasing", true, 0, 3, 4, ""},
        {"single pair, equal bounds", true, 1, 1, 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TableArray t(c.boundsSet, c.left, c.right, c.len);
        reset();
        src.pTable = nullptr;
        VXR_setNoiseTableArg(&src, &t.a);
        if (c.error.empty()) {
            EXPECT_EQ(src.pTable, &t.a);
            EXPECT_TRUE(host.messages().empty());
            EXPECT_TRUE(host.log().empty());
            continue;
        }
        EXPECT_EQ(src.pTable, nullptr);
        ASSERT_EQ(host.messages().size(), 1u);
        EXPECT_EQ(host.messages()[0].type, MessageTypeE_ERROR);
        EXPECT_EQ(host.messages()[0].body, c.error);
        EXPECT_EQ(host.messages()[0].id, "shot");
        EXPECT_EQ(host.messages()[0].inst, &c1.inst);
        ASSERT_EQ(host.members(), (std::vector<std::string>{"pMessage", "pSystemRequest"}));
        const vxrtest::RequestRecord& exit = host.requests().at(0);
        EXPECT_EQ(exit.request, "exit");
        EXPECT_EQ(exit.sim, host.sim());
        EXPECT_EQ(exit.code, 1);
        EXPECT_EQ(exit.inst, &c1.inst);
        EXPECT_EQ(exit.ldr, nullptr);
    }
    reset();
    VXR_setNoiseTableArg(&src, nullptr);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].body, invalid);
}

TEST_F(Noise, ContributionListSumsEqualKeysAndKeepsNodesOnClear) {
    int h1, h2;
    VXR_FreqResponse resp{nullptr, nullptr};
    VXR_addColoredNoise(&src, &h1, 1.5, nullptr);
    VXR_addColoredNoise(&src, &h1, 2.0, nullptr);  // same key: summed
    VXR_addColoredNoise(&src, &h1, 4.0, &resp);    // other response: new node
    VXR_addColoredNoise(&src, &h2, -1.0, nullptr); // new key at the head
    VXR_addColoredNoise(&src, nullptr, 8.0, &resp); // counted, not listed
    EXPECT_EQ(src.useCount, 9 + 5);
    EXPECT_EQ(list(), (std::vector<Node>{{&h2, -1.0, nullptr}, {&h1, 4.0, &resp}, {&h1, 3.5, nullptr}}));
    // List nodes come from the source's host table, without instance or id:
    // a failed one is reported that way.
    host.clearLog();
    vxr_test::failAllocationAfter(0);
    static int h3;
    VXR_addColoredNoise(&src, &h3, 1.0, nullptr);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].body, "Out of memory.");
    EXPECT_EQ(host.messages()[0].sim, host.sim());
    EXPECT_EQ(host.messages()[0].inst, nullptr);
    EXPECT_FALSE(host.messages()[0].hasId);

    src.pwr = 3.0;
    src.flickerExp = 1.0;
    VXR_clearNoiseSrc(&src);
    EXPECT_EQ(src.pwr, 0.0);
    EXPECT_EQ(src.flickerExp, 0.0);
    EXPECT_EQ(src.useCount, 0);
    EXPECT_EQ(list(), (std::vector<Node>{{&h2, 0.0, nullptr}, {&h1, 0.0, &resp}, {&h1, 0.0, nullptr}}));

    // The next pass refills the same nodes in place.
    long blocks = vxr_test::liveBlocks();
    VXR_addColoredNoise(&src, &h1, 0.25, nullptr);
    EXPECT_EQ(vxr_test::liveBlocks(), blocks);
    EXPECT_EQ(list()[2], (Node{&h1, 0.25, nullptr}));
}

#if VXR_REVISION == 187
TEST_F(Noise, PlainNoiseIsKeyedByRhsHandle) {
    int h;
    VXR_addNoise(&src, &h, 2.0, nullptr);
    VXR_addNoise(&src, &h, 2.0, host.loader());
    VXR_addNoise(&src, nullptr, 2.0, host.loader());
    EXPECT_EQ(src.useCount, 9 + 3);
    EXPECT_EQ(list(), (std::vector<Node>{{&h, 4.0, nullptr}}));
    EXPECT_TRUE(host.log().empty()); // the loader is not read

    int cb;
    VXR_reportNoiseContrib(&c1.inst, 2, &h, &cb);
    ASSERT_EQ(host.members(), (std::vector<std::string>{"pReportNoiseContrib"}));
    const vxrtest::NoiseReportRecord& r = host.noiseReports()[0];
    EXPECT_EQ(r.count, 2);
    EXPECT_EQ(r.key, &h);
    EXPECT_EQ(r.inst, &c1.inst);
    EXPECT_EQ(r.callbackInfo, &cb);
    host.sim()->pReportNoiseContrib = nullptr;
    VXR_reportNoiseContrib(&c1.inst, 2, &h, &cb);
    EXPECT_EQ(host.log().size(), 1u);
}
#else
TEST_F(Noise, PlainNoiseIsKeyedByStateVariable) {
    VXR_StateVar* p = host.terminal("p");
    VXR_StateVar* m = host.terminal("m");
    VXR_addNoise(&src, p, m, 2.0);
    VXR_addNoise(&src, p, nullptr, 1.0);
    VXR_addNoise(&src, nullptr, nullptr, 1.0);
    EXPECT_EQ(src.useCount, 9 + 3);
    EXPECT_EQ(list(), (std::vector<Node>{{m, -2.0, nullptr}, {p, 3.0, nullptr}}));
#if VXR_REVISION == 160
    int cb;
    VXR_reportNoiseContrib(&c1.inst, 1, p, m, &cb);
    ASSERT_EQ(host.members(), (std::vector<std::string>{"pReportNoiseContrib"}));
    const vxrtest::NoiseReportRecord& r = host.noiseReports()[0];
    EXPECT_EQ(r.count, 1);
    EXPECT_EQ(r.key, p);
    EXPECT_EQ(r.key2, m);
    EXPECT_EQ(r.inst, &c1.inst);
    EXPECT_EQ(r.callbackInfo, &cb);
    host.sim()->pReportNoiseContrib = nullptr;
    VXR_reportNoiseContrib(&c1.inst, 1, p, m, &cb);
    EXPECT_EQ(host.log().size(), 1u);
#endif
}
#endif

class AcStim : public ::testing::Test {
protected:
    RecordingHost host;
    InstanceRecord c1{host, "c1", "cap"};
    VXR_acSrc* p = nullptr;
    void TearDown() override { VXR_free(p); }
};

TEST_F(AcStim, CreateFormsTheMaskFromTheNamedAnalyses) {
    p = VXR_create_acStim(&c1.inst, 7, 0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->pParent, &c1.inst);
    EXPECT_EQ(p->id, 7);
    EXPECT_EQ(p->numOfContribPairs, 0);
    EXPECT_EQ(p->pContribPairs, nullptr);
    EXPECT_EQ(p->mag, 0.0);
    EXPECT_EQ(p->phase, 0.0);
    EXPECT_EQ(p->freq, 0.0);
    EXPECT_EQ(p->mode, 0);
    EXPECT_EQ(p->freq0, 0.0);
    EXPECT_EQ(p->freqIndex, 0);
    EXPECT_EQ(p->freqChange, 1u);
    EXPECT_EQ(p->mask, VXR_ANALYSIS_AC);
    ASSERT_EQ(host.members(), (std::vector<std::string>{"pFormAnalysisQueryMask"}));
    EXPECT_EQ(host.queryMasks()[0].names, (std::vector<std::string>{"ac"}));
    VXR_free(p);

    host.clearLog();
    p = VXR_create_acStim(&c1.inst, 1, 2, "noise", "tran");
    EXPECT_EQ(p->mask, VXR_ANALYSIS_NOISE | VXR_ANALYSIS_TRAN);
    ASSERT_EQ(host.members(), (std::vector<std::string>{"pFormAnalysisQueryMask", "pFormAnalysisQueryMask"}));
    ASSERT_EQ(host.queryMasks().size(), 2u); // one name per query
    EXPECT_EQ(host.queryMasks()[0].names.size(), 1u);
    EXPECT_EQ(host.queryMasks()[1].names, (std::vector<std::string>{"tran"}));
}

TEST_F(AcStim, LoadsOnlyInItsAnalysesAndTracksFrequencyChanges) {
    p = VXR_create_acStim(&c1.inst, 0, 0);
    VXR_StateVar* a = host.terminal("a");
    VXR_StateVar* b = host.terminal("b");
    host.clearLog();

    host.setAnalysisMask(VXR_ANALYSIS_DC | VXR_ANALYSIS_TRAN);
    VXR_acContrib(p, a, b, 0.5, host.loader());
    ASSERT_EQ(host.members(), (std::vector<std::string>{"pGetAnalysisQueryMask"}));
    EXPECT_EQ(host.log()[0].ldrInst, VXR_REVISION == 187 ? &c1.inst : nullptr);

    host.clearLog();
    host.setAnalysisMask(VXR_ANALYSIS_AC | VXR_ANALYSIS_DC);
    VXR_acContrib(p, a, b, 0.5, host.loader());
    ASSERT_EQ(host.members(), (std::vector<std::string>{"pGetAnalysisQueryMask", "pLoadRhsAC"}));
    const vxrtest::AcLoadRecord& ac = host.acLoads().at(0);
    EXPECT_EQ(ac.src, p);
    EXPECT_EQ(ac.plus, a);
    EXPECT_EQ(ac.minus, b);
    EXPECT_EQ(ac.coeff, 0.5);
    EXPECT_EQ(host.log()[1].ldr, host.loader());

    struct Step {
        double freq;
        unsigned freqChange;
    } const steps[] = {{0.0, 0}, {1e3, 1}, {1e3, 0}, {kNaN, 1}, {kNaN, 1}};
    for (const Step& s : steps) {
        p->freqChange = 0;
        VXR_set_acStim(p, 2.0, 90.0, 3, s.freq);
        EXPECT_EQ(p->freqChange, s.freqChange) << s.freq;
        EXPECT_EQ(p->mag, 2.0);
        EXPECT_EQ(p->phase, 90.0);
        EXPECT_EQ(p->mode, 3);
    }
    VXR_set_acStim(p, 1.0, 0.0, 0, 5.0);
    EXPECT_EQ(p->freqChange, 1u); // never cleared here
    VXR_set_acStim(p, 1.0, 0.0, 0, 5.0);
    EXPECT_EQ(p->freqChange, 1u);
    EXPECT_EQ(p->freq, 5.0);
}

TEST(Limexp, CreateSetsTheDefaultEvaluator) {
    RecordingHost host;
    InstanceRecord c1{host, "c1", "cap"};
    vxr_test::resetAllocationProbe();
    VXR_StateVar* a = host.terminal("a");
    VXR_LimexpDesc* d = VXR_createLimexp(&c1.inst, 1, a, nullptr);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(vxr_test::systemAllocations().at(0).how, "calloc");
    EXPECT_EQ(d->pParent, &c1.inst);
    EXPECT_EQ(d->hasSingleLinearArg, 1);
    EXPECT_EQ(d->pPosVar, a);
    EXPECT_EQ(d->pNegVar, nullptr);
    EXPECT_EQ(d->_cacheDeriv, 0.0);
    EXPECT_EQ(d->pEvalFunc, &VXR_defaultSoftExp);
    EXPECT_EQ(d->pPrivateInfo, nullptr);
    VXR_free(d);
}

TEST(Limexp, ValueAndDerivativeAreContinuousAt300) {
    const double e300 = std::exp(300.0);
    ASSERT_EQ(e300, 1.9424263952412558e130);
    VXR_LimexpDesc d{};
    struct Case {
        double arg, value, deriv;
    } const cases[] = {
        {0.0, 1.0, 1.0},
        {-800.0, 0.0, 0.0},
        {1.0, std::exp(1.0), std::exp(1.0)},
        {300.0, e300, e300},
        {301.0, 2.0 * e300, e300},
        {1000.0, 701.0 * e300, e300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arg);
        EXPECT_EQ(VXR_defaultSoftExp(c.arg, &d), c.value);
        EXPECT_EQ(d._cacheDeriv, c.deriv);
    }
    // Either side of the joint: values and slopes meet.
    const double below = std::nextafter(300.0, 0.0), above = std::nextafter(300.0, 400.0);
    double vb = VXR_defaultSoftExp(below, &d), db = d._cacheDeriv;
    double va = VXR_defaultSoftExp(above, &d), da = d._cacheDeriv;
    EXPECT_NEAR(va / vb, 1.0, 1e-12);
    EXPECT_NEAR(da / db, 1.0, 1e-12);

    EXPECT_TRUE(std::isnan(VXR_defaultSoftExp(kNaN, &d)));
    EXPECT_TRUE(std::isnan(d._cacheDeriv));
}

} // namespace
