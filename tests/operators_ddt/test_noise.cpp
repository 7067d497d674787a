// Noise sources, contribution lists, ac_stim and limexp.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "recording_host.h"
#include "stub_frame_services.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

class Noise : public ::testing::Test {
protected:
    RecordingHost host;
    VXR_NoiseSrc src{};
    long liveAtStart = 0;

    void SetUp() override {
        stub::reset();
        liveAtStart = stub::liveBlocks();
        src.pwr = 9.0;
        src.flickerExp = 9.0;
        src.useCount = 9;
        src.pTable = reinterpret_cast<VXR_Array*>(&src); // stale values to be cleared
        VXR_setNoiseSrcInfo(&src, VXR_FLICKER_NOISE_SRC, "shot", &host.inst);
    }
    void TearDown() override {
        VXR_freeNoiseContribs(&src);
        EXPECT_EQ(stub::liveBlocks(), liveAtStart);
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
    EXPECT_EQ(src.pParent, &host.inst);
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
        stub::reset();
        src.pwr = 5.0;
        src.flickerExp = 7.0;
        if (c.flicker)
            VXR_setFlickerNoiseExpr(&src, c.pwr, c.exp);
        else
            VXR_setWhiteNoisePwr(&src, c.pwr);
        EXPECT_EQ(src.pwr, c.wantPwr);
        EXPECT_EQ(src.flickerExp, c.wantExp);
        ASSERT_EQ(stub::messages.size(), c.warns ? 1u : 0u);
        if (c.warns) {
            const stub::Message& m = stub::messages[0];
            EXPECT_EQ(m.type, MessageTypeE_WARNING);
            EXPECT_EQ(m.text, "Negative noise power specified.");
            EXPECT_EQ(m.id, "shot");
            EXPECT_EQ(m.inst, &host.inst);
            EXPECT_EQ(m.simIf, &host.sim);
        }
        EXPECT_TRUE(host.only("pSystemRequest").empty());
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
        stub::reset();
        host.calls.clear();
        src.pTable = nullptr;
        VXR_setNoiseTableArg(&src, &t.a);
        if (c.error.empty()) {
            EXPECT_EQ(src.pTable, &t.a);
            EXPECT_TRUE(stub::messages.empty());
            EXPECT_TRUE(host.calls.empty());
            continue;
        }
        EXPECT_EQ(src.pTable, nullptr);
        ASSERT_EQ(stub::messages.size(), 1u);
        EXPECT_EQ(stub::messages[0].type, MessageTypeE_ERROR);
        EXPECT_EQ(stub::messages[0].text, c.error);
        EXPECT_EQ(stub::messages[0].id, "shot");
        EXPECT_EQ(stub::messages[0].inst, &host.inst);
        ASSERT_EQ(host.names(), (std::vector<std::string>{"pSystemRequest"}));
        const Call& exit = host.calls[0];
        EXPECT_STREQ(static_cast<const char*>(exit.ptrs[0]), "exit");
        EXPECT_EQ(exit.ptrs[1], &host.sim);
        EXPECT_EQ(exit.num, 1);
        EXPECT_EQ(exit.inst, &host.inst);
        EXPECT_EQ(exit.ldr, nullptr);
    }
    stub::reset();
    VXR_setNoiseTableArg(&src, nullptr);
    ASSERT_EQ(stub::messages.size(), 1u);
    EXPECT_EQ(stub::messages[0].text, invalid);
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
    // List nodes come from the source's host table, without instance or id.
    for (const stub::Allocation& a : stub::allocations) {
        EXPECT_EQ(a.simIf, &host.sim);
        EXPECT_EQ(a.inst, nullptr);
        EXPECT_EQ(a.id, nullptr);
    }

    src.pwr = 3.0;
    src.flickerExp = 1.0;
    VXR_clearNoiseSrc(&src);
    EXPECT_EQ(src.pwr, 0.0);
    EXPECT_EQ(src.flickerExp, 0.0);
    EXPECT_EQ(src.useCount, 0);
    EXPECT_EQ(list(), (std::vector<Node>{{&h2, 0.0, nullptr}, {&h1, 0.0, &resp}, {&h1, 0.0, nullptr}}));

    // The next pass refills the same nodes in place.
    long blocks = stub::liveBlocks();
    VXR_addColoredNoise(&src, &h1, 0.25, nullptr);
    EXPECT_EQ(stub::liveBlocks(), blocks);
    EXPECT_EQ(list()[2], (Node{&h1, 0.25, nullptr}));
}

#if VXR_REVISION == 187
TEST_F(Noise, PlainNoiseIsKeyedByRhsHandle) {
    int h;
    VXR_addNoise(&src, &h, 2.0, nullptr);
    VXR_addNoise(&src, &h, 2.0, &host.ldr);
    VXR_addNoise(&src, nullptr, 2.0, &host.ldr);
    EXPECT_EQ(src.useCount, 9 + 3);
    EXPECT_EQ(list(), (std::vector<Node>{{&h, 4.0, nullptr}}));
    EXPECT_TRUE(host.calls.empty()); // the loader is not read

    int cb;
    VXR_reportNoiseContrib(&host.inst, 2, &h, &cb);
    ASSERT_EQ(host.names(), (std::vector<std::string>{"pReportNoiseContrib"}));
    EXPECT_EQ(host.calls[0].num, 2);
    EXPECT_EQ(host.calls[0].ptrs, (std::vector<void*>{&h}));
    EXPECT_EQ(host.calls[0].inst, &host.inst);
    EXPECT_EQ(host.calls[0].cbInfo, &cb);
    host.sim.pReportNoiseContrib = nullptr;
    VXR_reportNoiseContrib(&host.inst, 2, &h, &cb);
    EXPECT_EQ(host.calls.size(), 1u);
}
#else
TEST_F(Noise, PlainNoiseIsKeyedByStateVariable) {
    VXR_StateVar* p = host.newNode("p");
    VXR_StateVar* m = host.newNode("m");
    VXR_addNoise(&src, p, m, 2.0);
    VXR_addNoise(&src, p, nullptr, 1.0);
    VXR_addNoise(&src, nullptr, nullptr, 1.0);
    EXPECT_EQ(src.useCount, 9 + 3);
    EXPECT_EQ(list(), (std::vector<Node>{{m, -2.0, nullptr}, {p, 3.0, nullptr}}));
#if VXR_REVISION == 160
    int cb;
    VXR_reportNoiseContrib(&host.inst, 1, p, m, &cb);
    ASSERT_EQ(host.names(), (std::vector<std::string>{"pReportNoiseContrib"}));
    EXPECT_EQ(host.calls[0].num, 1);
    EXPECT_EQ(host.calls[0].ptrs, (std::vector<void*>{p, m}));
    EXPECT_EQ(host.calls[0].inst, &host.inst);
    EXPECT_EQ(host.calls[0].cbInfo, &cb);
    host.sim.pReportNoiseContrib = nullptr;
    VXR_reportNoiseContrib(&host.inst, 1, p, m, &cb);
    EXPECT_EQ(host.calls.size(), 1u);
#endif
}
#endif

class AcStim : public ::testing::Test {
protected:
    RecordingHost host;
    VXR_acSrc* p = nullptr;
    void TearDown() override { VXR_free(p); }
};

TEST_F(AcStim, CreateFormsTheMaskFromTheNamedAnalyses) {
    p = VXR_create_acStim(&host.inst, 7, 0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->pParent, &host.inst);
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
    ASSERT_EQ(host.names(), (std::vector<std::string>{"pFormAnalysisQueryMask"}));
    EXPECT_EQ(host.calls[0].num, 1);
    EXPECT_STREQ(static_cast<const char*>(host.calls[0].ptrs[0]), "ac");
    VXR_free(p);

    host.calls.clear();
    p = VXR_create_acStim(&host.inst, 1, 2, "noise", "tran");
    EXPECT_EQ(p->mask, VXR_ANALYSIS_NOISE | VXR_ANALYSIS_TRAN);
    ASSERT_EQ(host.calls.size(), 2u); // one name per query
    EXPECT_EQ(host.calls[0].num, 1);
    EXPECT_STREQ(static_cast<const char*>(host.calls[1].ptrs[0]), "tran");
}

TEST_F(AcStim, LoadsOnlyInItsAnalysesAndTracksFrequencyChanges) {
    p = VXR_create_acStim(&host.inst, 0, 0);
    VXR_StateVar* a = host.newNode("a");
    VXR_StateVar* b = host.newNode("b");
    host.calls.clear();

    host.analysisMask = VXR_ANALYSIS_DC | VXR_ANALYSIS_TRAN;
    VXR_acContrib(p, a, b, 0.5, &host.ldr);
    ASSERT_EQ(host.names(), (std::vector<std::string>{"pGetAnalysisQueryMask"}));
    EXPECT_EQ(host.calls[0].inst, VXR_REVISION == 187 ? &host.inst : nullptr);

    host.calls.clear();
    host.analysisMask = VXR_ANALYSIS_AC | VXR_ANALYSIS_DC;
    VXR_acContrib(p, a, b, 0.5, &host.ldr);
    ASSERT_EQ(host.names(), (std::vector<std::string>{"pGetAnalysisQueryMask", "pLoadRhsAC"}));
    EXPECT_EQ(host.calls[1].ptrs, (std::vector<void*>{p, a, b}));
    EXPECT_EQ(host.calls[1].vals, (std::vector<double>{0.5}));
    EXPECT_EQ(host.calls[1].ldr, &host.ldr);

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
    stub::reset();
    VXR_StateVar* a = host.newNode("a");
    VXR_LimexpDesc* d = VXR_createLimexp(&host.inst, 1, a, nullptr);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(stub::allocations.at(0).how, "calloc");
    EXPECT_EQ(stub::allocations.at(0).id, nullptr);
    EXPECT_EQ(d->pParent, &host.inst);
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
