// The runtime's own loaders: query mask, static-check loader, RHS-only copy,
// time-step request reset.
#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "test_util.h"

namespace {

struct MaskCase {
    int count;
    const char* a;
    const char* b;
    const char* c;
    unsigned long expected;
};

TEST(QueryMask, NamesOrTheirBits) {
    const unsigned long pss = rev187 ? 512 : 0; // revision 1.87 only
    const MaskCase cases[] = {
        {2, "dc", "static", nullptr, 34},
        {2, "dc", "dc", nullptr, 2},          // a name twice sets its bit once
        {1, "DC", nullptr, nullptr, 0},       // exact case
        {1, "d", nullptr, nullptr, 0},        // no prefix match
        {1, "dcx", nullptr, nullptr, 0},
        {1, "bogus", nullptr, nullptr, 0},
        {0, "dc", nullptr, nullptr, 0},       // count 0: names ignored
        {-3, "dc", nullptr, nullptr, 0},
        {1, "dc", "tran", nullptr, 2},        // only count names are read
        {3, "ac", "noise", "tran", 1 | 4 | 8},
        {3, "ic", "nodeset", "hb", 16 | 64 | 128},
        {2, "env", "static", nullptr, 256 | 32},
        {1, "pss", nullptr, nullptr, pss},
        {3, "pss", "ac", "PSS", pss | 1},
    };
    for (const MaskCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.count << " " << (c.a ? c.a : "") << " " << (c.b ? c.b : ""));
        EXPECT_EQ(VXR_DefaultFormAnalysisQueryMask(nullptr, c.count, c.a, c.b, c.c), c.expected);
    }
}

#define VXR_STATIC_CHECK_LDR_ARGS &VXR_StaticCheckLoader VXR_LDR_INST(nullptr)

TEST(StaticCheckLoader, MembersAreTheNullAndStaticCheckFunctions) {
    const VXR_ContribLoader& l = VXR_StaticCheckLoader;
    EXPECT_EQ(l.pLoaderInfo, nullptr);
    EXPECT_EQ(l.pStrobeLoader, nullptr);
    for (VXR_BatchLoadFn f : {l.pLoadRhsPair, l.pLoadRhsPairQ, l.pLoadDerivQuartet, l.pLoadDerivDoublet,
                              l.pLoadDerivQuartetQ, l.pLoadDerivDoubletQ})
        EXPECT_EQ(f, &VXR_NullLoad);
    EXPECT_EQ(l.pLoadRhsAC, &VXR_NullLoadRhsAC);
    EXPECT_EQ(l.pLoadDelay, &VXR_NullLoadDelay);
    EXPECT_EQ(l.pLoadDelay_dwrt, &VXR_NullLoadDelay_dwrt);
    EXPECT_EQ(l.pAcceptDelay, nullptr);
    EXPECT_EQ(l.pGetSol, &staticCheckDummyGetSol);
    EXPECT_EQ(l.pDoNoise, nullptr);
    EXPECT_EQ(l.pDoStrobe, &VXR_noStrobe);
    EXPECT_EQ(l.pDoDisplay, &VXR_noStrobe);
    EXPECT_EQ(l.pReportDiscontinuity, &VXR_NullReportDiscontinuity);
    EXPECT_EQ(l.pDoBoundStep, &VXR_NullDoBoundStep);
    EXPECT_EQ(l.pCrossEventSignal, &staticCheckCrossEventSignal);
    EXPECT_EQ(l.pAcceptCross, nullptr);
    EXPECT_EQ(l.pReportCrossViolation, nullptr);
    EXPECT_EQ(l.pIsInitialStep, &staticCheckInitialStep);
    EXPECT_EQ(l.pIsFinalStep, &staticCheckFinalStep);
    EXPECT_EQ(l.pGetTime, &VXR_NullGetTime);
    EXPECT_EQ(l.pGetMinTimeStep, nullptr);
    EXPECT_EQ(l.pGetFreq, &VXR_NullGetFreq);
    EXPECT_EQ(l.pGetDefault, &staticCheckGetDefault);
    EXPECT_EQ(l.pGetAnalysisQueryMask, &staticCheckQueryMask);
#if VXR_REVISION == 187
    EXPECT_EQ(l.pLoadZ_Transform, nullptr);
    EXPECT_EQ(l.pLoadZ_Transform_dwrt, nullptr);
    EXPECT_EQ(l.pGetSourceLevel, nullptr);
    EXPECT_EQ(l.pInitTimeControlData, nullptr);
    EXPECT_EQ(l.pRequestIntStep, nullptr);
    EXPECT_EQ(l.pAMS, &DefaultAMS_ContribLoader);
#else
    EXPECT_EQ(l.pSetTranBreakPoint, &VXR_NullSetTranBreakPoint);
    EXPECT_EQ(l.pLoadPoleResidue, nullptr);
    EXPECT_EQ(l.pLoadPoleResidue_dwrt, nullptr);
    EXPECT_EQ(l.pAcceptPoleResidue, nullptr);
#endif
#if VXR_REVISION == 142
    EXPECT_EQ(l.pLoadTransition, &VXR_NullLoadTransition);
    EXPECT_EQ(l.pLoadTransition_dwrt, &VXR_NullLoadTransition_dwrt);
    EXPECT_EQ(l.pAcceptTransition, nullptr);
    EXPECT_EQ(l.pLoadSlew, &VXR_NullLoadSlew);
    EXPECT_EQ(l.pLoadSlew_dwrt, &VXR_NullLoadSlew_dwrt);
    EXPECT_EQ(l.pAcceptSlew, nullptr);
#endif
}

TEST(StaticCheckLoader, AnswersOfAZeroBiasDcStaticInitialStep) {
    VXR_ContribLoader* l = &VXR_StaticCheckLoader;
    VXR_StateVar sv{};
    EXPECT_EQ(l->pGetSol(&sv, VXR_STATIC_CHECK_LDR_ARGS), 0.0);
    EXPECT_EQ(l->pGetDefault(VXR_BRANCHDDT_SCALE, VXR_STATIC_CHECK_LDR_ARGS), 0.0);
    EXPECT_EQ(l->pIsInitialStep(VXR_STATIC_CHECK_LDR_ARGS), 1);
    EXPECT_EQ(l->pIsFinalStep(VXR_STATIC_CHECK_LDR_ARGS), 0);
    EXPECT_EQ(l->pDoStrobe(VXR_STATIC_CHECK_LDR_ARGS), 0);
    EXPECT_EQ(l->pGetAnalysisQueryMask(VXR_STATIC_CHECK_LDR_ARGS), VXR_ANALYSIS_DC | VXR_ANALYSIS_STATIC);
    EXPECT_EQ(l->pCrossEventSignal(nullptr, 1.0, 1.0, 0, 0, 1.0, 0, nullptr, nullptr, nullptr, 0.0,
                                   VXR_CROSSARG_LTI, 0, VXR_STATIC_CHECK_LDR_ARGS),
              0);
    EXPECT_EQ(l->pGetTime(VXR_STATIC_CHECK_LDR_ARGS), 0.0);
    EXPECT_EQ(VXR_yesStrobe(VXR_STATIC_CHECK_LDR_ARGS), 1);
}

#if VXR_REVISION == 187
TEST(StaticCheckLoader, MixedSignalGettersAnswerZeroAndDefaultLogic) {
    AMS_ContribLoader* a = VXR_StaticCheckLoader.pAMS;
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->pD2A_EventSignal(nullptr, 1.0, nullptr), 0);
    EXPECT_EQ(a->pGetD2A_IntFromLogic(3, nullptr), 0);
    EXPECT_EQ(a->pGetD2A_Real(3, nullptr), 0.0);
    EXPECT_EQ(a->pGetD2A_Integer(3, nullptr), 0);
    EXPECT_EQ(a->pGetD2A_IntFromLogicElement(nullptr, nullptr, 0, 0, 1, 0), 0);
    EXPECT_EQ(a->pGetD2A_RealElement(nullptr, nullptr, 0, 0, 1, 0), 0.0);
    EXPECT_EQ(a->pGetD2A_IntegerElement(nullptr, nullptr, 0, 0, 1, 0), 0);
    EXPECT_EQ(a->pA2D(0, nullptr), 0.0);
    for (LogicNumber* n : {a->pGetD2A_Logic(0, nullptr), a->pGetD2A_LogicElement(nullptr, nullptr, 0, 0, 1, 0)}) {
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->size, 1);
        EXPECT_EQ(n->aVal, 0);
        EXPECT_EQ(n->bVal, 0);
        EXPECT_EQ(n->dummy, 0);
    }
    EXPECT_EQ(a->pA2D_SM, nullptr);
    EXPECT_EQ(a->pA2D_SMenv, nullptr);
    EXPECT_EQ(a->numEnvFreqs, 0);
    EXPECT_EQ(a->envFreqs, nullptr);
    EXPECT_EQ(a->pGetEnvSol, nullptr);
}

// The loader as pointer-sized slots (every member is a pointer).
std::vector<uintptr_t> slots(const VXR_ContribLoader& l) {
    static_assert(sizeof(VXR_ContribLoader) % sizeof(void*) == 0);
    std::vector<uintptr_t> out(sizeof l / sizeof(void*));
    memcpy(out.data(), &l, sizeof l);
    return out;
}

std::vector<size_t> differingSlots(const VXR_ContribLoader& a, const VXR_ContribLoader& b) {
    std::vector<uintptr_t> sa = slots(a), sb = slots(b);
    std::vector<size_t> out;
    for (size_t i = 0; i < sa.size(); ++i)
        if (sa[i] != sb[i]) out.push_back(i);
    return out;
}

constexpr size_t slotOf(size_t offset) { return offset / sizeof(void*); }

TEST(PureRhsLoader, ReplacesOnlyTheDerivativeMembers) {
    vxrtest::RecordingHost host;
    VXR_ContribLoader src = *host.loader();
    // make every replaced member differ from the source
    src.pLoadDelay_dwrt = nullptr;
    src.pLoadZ_Transform_dwrt = nullptr;
    VXR_ContribLoader rhs = VXR_getPureRhsLoader(&src);
    EXPECT_EQ(differingSlots(src, rhs),
              (std::vector<size_t>{slotOf(offsetof(VXR_ContribLoader, pLoadDerivQuartet)),
                                   slotOf(offsetof(VXR_ContribLoader, pLoadDerivDoublet)),
                                   slotOf(offsetof(VXR_ContribLoader, pLoadDerivQuartetQ)),
                                   slotOf(offsetof(VXR_ContribLoader, pLoadDerivDoubletQ)),
                                   slotOf(offsetof(VXR_ContribLoader, pLoadDelay_dwrt)),
                                   slotOf(offsetof(VXR_ContribLoader, pLoadZ_Transform_dwrt))}));
    EXPECT_EQ(rhs.pLoadDerivQuartet, &VXR_NullLoad);
    EXPECT_EQ(rhs.pLoadDerivDoublet, &VXR_NullLoad);
    EXPECT_EQ(rhs.pLoadDerivQuartetQ, &VXR_NullLoad);
    EXPECT_EQ(rhs.pLoadDerivDoubletQ, &VXR_NullLoad);
    EXPECT_EQ(rhs.pLoadDelay_dwrt, &VXR_NullLoadDelay_dwrt);
    EXPECT_EQ(rhs.pLoadZ_Transform_dwrt, &VXR_NullLoadZ_Transform_dwrt);

    // Of the static-check loader only the z-transform derivative changes.
    VXR_ContribLoader sc = VXR_getPureRhsLoader(&VXR_StaticCheckLoader);
    EXPECT_EQ(differingSlots(VXR_StaticCheckLoader, sc),
              (std::vector<size_t>{slotOf(offsetof(VXR_ContribLoader, pLoadZ_Transform_dwrt))}));
}

TEST(PureRhsLoader, ALoadThroughItReachesTheHostRhsOnly) {
    vxrtest::RecordingHost host;
    VXR_ContribLoader rhs = VXR_getPureRhsLoader(host.loader());
    void* h[2] = {host.handle(0), host.handle(1)};
    double v[2] = {1.0, 2.0};
    rhs.pLoadRhsPair(2, h, v, &rhs, nullptr);
    rhs.pLoadDerivQuartet(2, h, v, &rhs, nullptr);
    rhs.pLoadDerivDoubletQ(2, h, v, &rhs, nullptr);
    rhs.pLoadRhsPairQ(1, h, v, &rhs, nullptr);
    ASSERT_EQ(host.batches().size(), 2u);
    EXPECT_EQ(host.batches()[0].kind, vxrtest::LoadKind::RhsPair);
    EXPECT_EQ(host.batches()[1].kind, vxrtest::LoadKind::RhsPairQ);
}

TEST(TimeControlData, ResetBlock) {
    VXR_TimeStepRequests r;
    memset(&r, 0x5a, sizeof r);
    VXR_InitTimeControlData(&r);
    EXPECT_EQ(r.boundStep, -1.0);
    EXPECT_EQ(r.type, BOUND_BOUNDSTEP);
    EXPECT_EQ(r.crossPoint[0], -1.0);
    EXPECT_EQ(r.crossPoint[1], -1.0);
    EXPECT_EQ(r.crossPoint[2], -1.0);
    EXPECT_EQ(r.order, -999);
    VXR_InitTimeControlData(nullptr); // ignored
}
#endif

} // namespace
