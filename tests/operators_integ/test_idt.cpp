// Integral operator branch (idt, idtmod) against a recording host, per revision.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>

#include "VXR_Operators.h"
#include "allocation_probe.h"
#include "allocation_sweep.h"
#include "integ_test_util.h"
#include "recording_host.h"

namespace {

using integ_test::kCb;
using vxrtest::LoadKind;
using vxrtest::RecordingHost;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr unsigned long kStatic = VXR_ANALYSIS_DC | VXR_ANALYSIS_STATIC;
constexpr unsigned long kTran = VXR_ANALYSIS_TRAN;
constexpr unsigned long kAc = VXR_ANALYSIS_AC;

TEST(IdtModValue, WrapsIntoTheModulusWindow) {
    const struct {
        double v, m, o, want;
    } cases[] = {
        {7.5, 2, 0, 1.5},    {-0.5, 2, 0, 1.5},   {2.0, 2, 0, 0.0},    {1.999, 2, 0, 1.999},
        {0.0, 2, 0, 0.0},    {5.0, 2, 1, 1.0},    {1.2, 2, 1, 1.2},    {-3.5, 2, -1, 0.5},
        {-4.0, 2, 0, 0.0},   {3.0, 0, 0, 0.0},    {3.0, -1, 0, 0.0},   {3.0, kNaN, 0, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.v << " mod " << c.m << " offset " << c.o);
        EXPECT_DOUBLE_EQ(getModValue(c.v, c.m, c.o), c.want);
    }
}

class Idt : public integ_test::OperatorTest {
protected:
    VXR_OpBranch_idt* op = nullptr;

    void TearDown() override {
        release(op);
        integ_test::OperatorTest::TearDown();
    }
    static void release(VXR_OpBranch_idt*& p) {
#if VXR_REVISION != 142
        VXR_destroyOpBranch_idt(p);
#else
        if (p) {
            VXR_free(p->_pArgArray);
            VXR_free(p);
        }
#endif
        p = nullptr;
    }
    void makeStamped() {
        op = VXR_createOpBranch_idt("_opidt2", &c1.inst);
        ASSERT_NE(op, nullptr);
        VXR_idtSetArgInfo(op, 1, host.terminal("in"));
        VXR_idtFinalizeTopology(op, kCb);
        VXR_idtSetStamp(op, kCb);
        host.setSolution(op->_branchVar, 0.75);
        host.clearLog();
    }
    // Accepts a point: time, integrand, branch solution.
    void accept(double time, double F, double x) {
        host.setTime(time);
        host.setAnalysisMask(time == 0.0 ? kStatic : kTran);
        host.setSolution(op->_branchVar, x);
        VXR_idtSetArg3(op, F, x, host.loader());
        VXR_idtAcceptTimePoint(op, host.loader());
        host.clearLog();
    }
};

TEST_F(Idt, CreateFinalizeAndStamp) {
    op = VXR_createOpBranch_idt("_opidt2", &c1.inst);
    ASSERT_NE(op, nullptr);
    EXPECT_EQ(op->_prevTime, -1.0);
    EXPECT_EQ(op->_loadType, NO_LOAD);
    EXPECT_EQ(op->_branchScale, 1.0);
    EXPECT_EQ(op->_brDerivCoeff, 1.0);
    EXPECT_EQ(op->_staticMask, VXR_ANALYSIS_STATIC);
    EXPECT_EQ(op->_ssMask, VXR_ANALYSIS_AC | VXR_ANALYSIS_NOISE);
#if VXR_REVISION == 187
    EXPECT_TRUE(c1.inst.needPreAcceptLoad);
#endif
    VXR_StateVar* a = host.terminal("a");
    VXR_StateVar* b = host.terminal("b");
    VXR_idtSetArgInfo(op, 2, a, b);
    VXR_idtFinalizeTopology(op, kCb);
    VXR_idtSetStamp(op, kCb);
    EXPECT_EQ(host.members(), (std::vector<std::string>{"pFormAnalysisQueryMask", "pFormAnalysisQueryMask",
                                                        "pSetupNode", "pGetRhsPair", "pGetRhsPairQ",
                                                        "pGetDerivDoublet"}));
    const vxrtest::NodeRecord& node = host.nodes().at(0);
    EXPECT_EQ(node.name, "_opidt2");
    ASSERT_NE(node.info, nullptr);
    EXPECT_EQ(node.info->nodeType, VXR_OPIDT);
    ASSERT_EQ(node.info->numOfArgVars, 2);
    EXPECT_EQ(node.info->pArgVars[0], a);
    EXPECT_EQ(node.info->pArgVars[1], b);
    EXPECT_EQ(host.handles().at(2).target, GEN_ENTRY);
    EXPECT_EQ(VXR_getBranchVar_idt(op), node.sv);
    EXPECT_EQ(VXR_getBranchVar_idt(nullptr), nullptr);
    EXPECT_EQ(VXR_IBR_idt(nullptr, host.loader()), 0.0);

    // Without argument variables the node is a plain one.
    VXR_OpBranch_idt* plain = VXR_createOpBranch_idt("_opidt3", &c1.inst);
    VXR_idtSetArgInfo(plain, 0);
    VXR_idtFinalizeTopology(plain, kCb);
    EXPECT_EQ(host.nodes().back().info, nullptr);
    release(plain);
}

// One SetArg pass: what goes into the row's static RHS and the load type.
struct SetArgCase {
    const char* what;
    unsigned long mask;
    double time;
    std::function<void(VXR_OpBranch_idt*, VXR_ContribLoader*)> call;
    double loaded;
    idtLoadTypeE type;
};

// History: accepted at t = 1 us with x = 0.5 and F = 2.
TEST_F(Idt, SetArgFormsFollowTheAnalysis) {
    const SetArgCase cases[] = {
        {"ic, static", kStatic, 0.0, [](auto* o, auto* l) { VXR_idtSetArg3(o, 4.0, 0.25, l); }, 0.25, IC_LOAD},
        {"ic, tran", kTran, 2e-6, [](auto* o, auto* l) { VXR_idtSetArg3(o, 4.0, 0.25, l); }, 3.0 * 4.0, F_LOAD},
        {"assert, static", kStatic, 0.0, [](auto* o, auto* l) { VXR_idtSetArg4(o, 4.0, 0.25, 0.0, l); }, 0.25,
         IC_LOAD_NO_Q},
        {"asserted", kTran, 2e-6, [](auto* o, auto* l) { VXR_idtSetArg4(o, 4.0, 0.25, 1.0, l); }, 0.25, IC_LOAD},
        {"NaN asserts", kTran, 2e-6, [](auto* o, auto* l) { VXR_idtSetArg4(o, 4.0, 0.25, kNaN, l); }, 0.25,
         IC_LOAD},
        {"assert 0, ac", kAc, 0.0, [](auto* o, auto* l) { VXR_idtSetArg4(o, 4.0, 0.25, 0.0, l); }, 12.0, F_LOAD},
        {"trapezoid", kTran, 2e-6, [](auto* o, auto* l) { VXR_idtSetArg4(o, 4.0, 0.25, 0.0, l); },
         0.5 + 0.5 * 1e-6 * (4.0 + 2.0), MANUAL_IDT_LOAD},
        {"time before the last point", kTran, 0.5e-6,
         [](auto* o, auto* l) { VXR_idtSetArg4(o, 4.0, 0.25, 0.0, l); }, 0.5, MANUAL_IDT_LOAD},
    };
    makeStamped();
    accept(1e-6, 2.0, 0.5);
    host.setDefault(VXR_IDT_SCALE, 3.0);
    for (const SetArgCase& c : cases) {
        SCOPED_TRACE(c.what);
        host.setAnalysisMask(c.mask);
        host.setTime(c.time);
        host.clearLog();
        c.call(op, host.loader());
        EXPECT_EQ(op->_loadType, c.type);
        EXPECT_EQ(op->_cacheF, 4.0);
        auto rhs = host.lastBatch(LoadKind::RhsPair);
        ASSERT_EQ(rhs.size(), 1u);
        EXPECT_DOUBLE_EQ(rhs[op->_rhsBranch], c.loaded);
    }
}

TEST_F(Idt, NonPositiveScaleKeepsTheOneInUse) {
    makeStamped();
    host.setAnalysisMask(kTran);
    for (double s : {2.0, -1.0, 0.0, kNaN}) {
        host.setDefault(VXR_IDT_SCALE, s);
        VXR_idtSetArg2(op, 1.5, host.loader());
        EXPECT_EQ(op->_branchScale, 2.0);
        EXPECT_EQ(host.lastBatch(LoadKind::RhsPair)[op->_rhsBranch], 3.0);
    }
}

// Which parts of the row the generic load fills, per load type and time.
TEST_F(Idt, GenericLoadPartsFollowTheLoadType) {
    makeStamped();
    op->_branchScale = 5.0; // left from an earlier loader
    host.setDefault(VXR_IDT_SCALE, 2.0);
    const struct {
        const char* what;
        unsigned long mask;
        double time;
        double assertVal;
        bool staticPart, chargePart;
    } cases[] = {
        {"IC_LOAD at time 0", kStatic, 0.0, 0.0, true, true},
        {"IC_LOAD later", kTran, 1e-9, 1.0, true, false},
        {"IC_LOAD_NO_Q", kStatic, 0.0, 1.0, true, false},
        {"F_LOAD", kAc, 0.0, 0.0, false, true},
        {"MANUAL_IDT_LOAD", kTran, 1e-9, 0.0, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        host.setAnalysisMask(c.mask);
        host.setTime(c.time);
        VXR_idtSetArg4(op, 1.0, 0.5, c.assertVal, host.loader());
        if (c.mask == kStatic && c.assertVal == 0.0) VXR_idtSetArg3(op, 1.0, 0.5, host.loader());
        host.clearLog();
        VXR_idtGenericLoad(op, host.loader());
        const double s = 2.0; // every form takes the loader's scale, IC_LOAD at time 0 included
        std::vector<std::string> want{"pGetSol"};
        if (c.staticPart) want.insert(want.end(), {"pLoadRhsPair", "pLoadDerivDoublet"});
        if (c.chargePart) want.insert(want.end(), {"pLoadRhsPairQ", "pLoadDerivDoubletQ"});
        std::vector<std::string> got;
        for (const std::string& m : host.members())
            if (m != "pGetTime") got.push_back(m);
        EXPECT_EQ(got, want);
        if (c.staticPart) {
            EXPECT_EQ(host.lastBatch(LoadKind::RhsPair)[op->_rhsBranch], -0.75);
            EXPECT_EQ(host.lastBatch(LoadKind::DerivDoublet)[op->_dbtJ_br_br], -1.0);
        }
        if (c.chargePart) {
            EXPECT_EQ(host.lastBatch(LoadKind::RhsPairQ)[op->_rhsBranchQ], -s * 0.75);
            EXPECT_EQ(host.lastBatch(LoadKind::DerivDoubletQ)[op->_dbtJ_br_br], -s);
        }
        // The RHS-only load sends the same right-hand sides and nothing else.
        host.clearLog();
        VXR_idtGenericLoadRHS(op, host.loader());
        EXPECT_EQ(host.count(vxrtest::Call::BatchLoad), size_t(c.staticPart) + size_t(c.chargePart));
        EXPECT_TRUE(host.lastBatch(LoadKind::DerivDoublet).empty());
        EXPECT_TRUE(host.lastBatch(LoadKind::DerivDoubletQ).empty());
    }
}

TEST_F(Idt, DerivativeLoadsFollowTheLoadType) {
    makeStamped();
    void* dF = VXR_getDerivDoubletOpBranch_idt(op, host.terminal("in2"), nullptr, DC_ENTRY, LIN_DEP, kCb);
    accept(1e-6, 2.0, 0.5);
    host.setDefault(VXR_IDT_SCALE, 3.0);
    host.setTime(3e-6);
    host.setAnalysisMask(kTran);
    VXR_idtSetArg3(op, 1.0, 0.25, host.loader()); // F_LOAD
    VXR_idtSetArg_dwrt(op, dF, 0.5, host.loader());
    VXR_idtSetArgIC_dwrt(op, dF, 7.0, host.loader());
    EXPECT_EQ(host.lastBatch(LoadKind::DerivDoublet)[dF], 1.5);
    EXPECT_EQ(host.count(vxrtest::Call::BatchLoad), 2u);

    host.clearLog();
    VXR_idtSetArg4(op, 1.0, 0.25, 0.0, host.loader()); // MANUAL_IDT_LOAD: half the step
    VXR_idtSetArg_dwrt(op, dF, 0.5, host.loader());
    EXPECT_DOUBLE_EQ(host.lastBatch(LoadKind::DerivDoublet)[dF], 1e-6 * 0.5);

    host.clearLog();
    VXR_idtSetArg4(op, 1.0, 0.25, 1.0, host.loader()); // IC_LOAD: only the ic derivative
    VXR_idtSetArg_dwrt(op, dF, 0.5, host.loader());
    VXR_idtSetArgIC_dwrt(op, dF, 7.0, host.loader());
    EXPECT_EQ(host.count(vxrtest::Call::BatchLoad), 2u);
    EXPECT_EQ(host.lastBatch(LoadKind::DerivDoublet)[dF], 7.0);
}

TEST_F(Idt, AcceptKeepsTheHistoryAndTheTimeZeroValue) {
    makeStamped();
    accept(0.0, 2.0, 0.5);
    EXPECT_EQ(op->_prevVal, 0.5);
    EXPECT_EQ(op->_prevF, 2.0);
    EXPECT_EQ(op->_prevTime, 0.0);
    EXPECT_EQ(op->_dcVal, 0.5);
    accept(1e-6, 3.0, 0.75);
    EXPECT_EQ(op->_prevVal, 0.75);
    EXPECT_EQ(op->_dcVal, 0.5); // only time 0 sets it

    // The manual form accepts the value it computed, not the branch solution.
    host.setTime(2e-6);
    host.setAnalysisMask(kTran);
    VXR_idtSetArg4(op, 1.0, 0.0, 0.0, host.loader());
    host.setSolution(op->_branchVar, 99.0);
    VXR_idtAcceptTimePoint(op, host.loader());
    EXPECT_DOUBLE_EQ(op->_prevVal, 0.75 + 0.5e-6 * 4.0);
    EXPECT_EQ(op->_prevF, 1.0);
}

// idtmod, with (sv 1) and without (sv 0) a branch for its output.
TEST_F(Idt, IdtmodPaths) {
    makeStamped();
    VXR_ContribLoader ldr = *host.loader();
    integ_test::Recorder rec;
    ldr.pReportCrossViolation = integ_test::Recorder::crossViolation;
#if VXR_REVISION == 187
    ldr.pRequestIntStep = integ_test::Recorder::requestIntStep;
#endif
    // Time 0: the wrapped initial condition.
    host.setAnalysisMask(kTran);
    host.setTime(0.0);
    for (int sv : {0, 1}) {
        VXR_idtSetArgMod(op, 1.0, 7.5, 2.0, 0.0, sv, &ldr);
        EXPECT_EQ(op->_loadType, sv ? IC_LOAD : IDTMOD_IC_LOAD);
        EXPECT_EQ(host.lastBatch(LoadKind::RhsPair)[op->_rhsBranch], 1.5);
    }
    host.setSolution(op->_branchVar, 1.5);
    VXR_idtAcceptTimePoint(op, &ldr);
    EXPECT_EQ(op->_dcVal, 1.5);

    // Branchless: the row keeps the time-0 value, the output is the wrapped
    // trapezoid. The step moved the integral 0.75, more than a quarter of the
    // modulus: the host hears where the step should have ended.
    host.setTime(1.0);
    VXR_idtSetArgMod(op, 0.5, 7.5, 2.0, 0.0, 0, &ldr);
    EXPECT_EQ(op->_loadType, IDTMOD_BRANCHLESS_LOAD);
    EXPECT_EQ(host.lastBatch(LoadKind::RhsPair)[op->_rhsBranch], 1.5);
    EXPECT_DOUBLE_EQ(op->_cacheVal, getModValue(1.5 + 0.5 * (0.5 + 1.0), 2.0, 0.0));
    EXPECT_EQ(VXR_IBR_idt(op, &ldr), op->_cacheVal);
    EXPECT_EQ(op->_brDerivCoeff, 0.0);
    EXPECT_EQ(op->_derivCoeff, 0.5);
    ASSERT_EQ(rec.crossPoints.size(), 1u);
    EXPECT_DOUBLE_EQ(rec.crossPoints[0], 0.0 + 0.945321 * 0.5 * 2.0 / 1.5);

    // With a branch: the host integrates and wraps through its step requests
    // where the loader has them (1.87), else the operator integrates itself.
    rec.crossPoints.clear();
    host.setTime(0.5);
    host.setSolution(op->_branchVar, 3.25);
    VXR_idtSetArgMod(op, 0.5, 7.5, 2.0, 0.0, 1, &ldr);
    EXPECT_TRUE(rec.crossPoints.empty()); // 0.375 is within a quarter of the modulus
#if VXR_REVISION == 187
    EXPECT_EQ(op->_loadType, MOD_LOAD);
    EXPECT_EQ(host.lastBatch(LoadKind::RhsPair)[op->_rhsBranch], 0.5); // s F
    EXPECT_EQ(VXR_IBR_idt(op, &ldr), 1.25);
    VXR_idtAcceptTimePoint(op, &ldr);
    ASSERT_EQ(rec.intSteps.size(), 1u);
    EXPECT_EQ(rec.intSteps[0].mod, 2.0);
    EXPECT_EQ(rec.intSteps[0].sv, op->_branchVar);
    ldr.pRequestIntStep = nullptr;
    host.setTime(1.0);
    VXR_idtSetArgMod(op, 0.5, 7.5, 2.0, 0.0, 1, &ldr);
#endif
    EXPECT_EQ(op->_loadType, MANUAL_IDT_LOAD);
    EXPECT_EQ(VXR_IBR_idt(op, &ldr), 3.25); // the branch, which the row sets to the wrapped value
    EXPECT_DOUBLE_EQ(host.lastBatch(LoadKind::RhsPair)[op->_rhsBranch], op->_cacheVal);

    // Small-signal passes integrate through the branch; with "static" as well
    // they hold the initial condition.
    host.setAnalysisMask(kAc);
    VXR_idtSetArgMod(op, 0.5, 7.5, 2.0, 0.0, 1, &ldr);
    EXPECT_EQ(op->_loadType, F_LOAD);
    host.setAnalysisMask(kAc | VXR_ANALYSIS_STATIC);
    VXR_idtSetArgMod(op, 0.5, 7.5, 2.0, 0.0, 0, &ldr);
    EXPECT_EQ(op->_loadType, IDTMOD_IC_LOAD);
}

TEST_F(Idt, SaveRestoreAndSerializeRoundTrip) {
    makeStamped();
    accept(0.0, 2.0, 0.5);
    accept(1e-6, 3.0, 0.75);
    auto* saved = static_cast<idtState*>(VXR_idtSaveState(op));
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->_opState.opStateType, VXR_IDT_STATE);
    EXPECT_EQ(saved->_prevVal, 0.75);
    EXPECT_EQ(saved->_prevF, 3.0);
    EXPECT_EQ(saved->_prevTime, 1e-6);
    EXPECT_EQ(saved->_loadType, F_LOAD);

    accept(2e-6, 4.0, 1.0);
    VXR_idtRestoreState(op, nullptr); // what a failed save leaves: nothing changes
    EXPECT_EQ(op->_prevTime, 2e-6);
    VXR_idtRestoreState(op, saved);
    EXPECT_EQ(op->_prevVal, 0.75);
    EXPECT_EQ(op->_prevF, 3.0);
    EXPECT_EQ(op->_prevTime, 1e-6);
    VXR_idtReset(op); // keeps the history
    EXPECT_EQ(op->_prevTime, 1e-6);

#if VXR_REVISION != 142
    ASSERT_EQ(saved->_opState.pSerializeSelf, serialize_idtState);
    EXPECT_EQ(saved->_opState.pFreeSelf, nullptr);
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    VXR_SrlzDirE dir = SRLZ_TO_FILE;
    saved->_cacheF = -2.5;
    saved->_opState.pSerializeSelf(&saved->_opState, f, &dir);
    EXPECT_EQ(dir, SRLZ_TO_FILE);
    EXPECT_EQ(std::ftell(f), 4 * static_cast<long>(sizeof(double))); // the load type is not written
    idtState back{};
    back._loadType = MANUAL_IDT_LOAD;
    std::rewind(f);
    dir = SRLZ_FROM_FILE;
    serialize_idtState(&back._opState, f, &dir);
    EXPECT_EQ(dir, SRLZ_FROM_FILE);
    EXPECT_EQ(back._prevVal, 0.75);
    EXPECT_EQ(back._prevF, 3.0);
    EXPECT_EQ(back._prevTime, 1e-6);
    EXPECT_EQ(back._cacheF, -2.5);
    EXPECT_EQ(back._loadType, MANUAL_IDT_LOAD);
    // A short file is an error, not a read of garbage.
    dir = SRLZ_FROM_FILE;
    serialize_idtState(&back._opState, f, &dir);
    EXPECT_EQ(dir, SRLZ_ERROR);
    std::fclose(f);
#endif
    // The device state releases the saved record as one block.
    integ_test::freeInOneSlotState(&c1.inst, saved);
}

TEST_F(Idt, NoiseContributionHasNoFrequencyResponse) {
    makeStamped();
    VXR_NoiseSrc src{};
    VXR_setNoiseSrcInfo(&src, VXR_WHITE_NOISE_SRC, "n", &c1.inst);
    VXR_addNoiseForOp_idt(&src, op, 5.0, host.loader());
    ASSERT_NE(src.pContrib, nullptr);
    EXPECT_EQ(src.pContrib->pRhsPair, VXR_REVISION == 187 ? op->_rhsBranch : static_cast<void*>(op->_branchVar));
    EXPECT_EQ(src.pContrib->coeff, 1.0);
    EXPECT_EQ(src.pContrib->pFreqResponse, nullptr);
    VXR_freeNoiseContribs(&src);
#if VXR_REVISION != 142
    host.clearLog();
    VXR_reportNoiseContribForOp_idt(op, 3, kCb);
    VXR_reportNoiseContribForOp_idt(nullptr, 3, kCb);
    ASSERT_EQ(host.noiseReports().size(), 1u);
    EXPECT_EQ(host.noiseReports()[0].count, 3);
#endif
}

// Every allocation of an operator's life failing in turn: one report, an
// operator that goes on working with what it has, and nothing left behind.
TEST_F(Idt, AllocationFailuresOverTheLife) {
    const int failures = vxr_test::sweepAllocationFailures([&](int k) {
        RecordingHost h;
        vxrtest::InstanceRecord inst{h, "i1", "integ"};
        const long start = vxr_test::liveBlocks();
        vxr_test::failAllocationAfter(k);
        VXR_OpBranch_idt* p = VXR_createOpBranch_idt("_opidt0", &inst.inst);
        void* saved = nullptr;
        if (p) {
            VXR_idtSetArgInfo(p, 1, h.terminal("in"));
            VXR_idtFinalizeTopology(p, kCb);
            VXR_idtSetStamp(p, kCb);
            h.setAnalysisMask(kTran);
            h.setTime(1e-6);
            VXR_idtSetArg4(p, 1.0, 0.0, 0.0, h.loader());
            VXR_idtGenericLoad(p, h.loader());
            VXR_idtAcceptTimePoint(p, h.loader());
            saved = VXR_idtSaveState(p);
            VXR_idtRestoreState(p, saved);
        }
        vxr_test::failAllocationAfter(-1);
        if (vxr_test::allocationFailed()) vxr_test::expectOutOfMemoryReported(h);
        else EXPECT_TRUE(h.messages().empty());
        VXR_free(saved);
        integ_test::freeNodalInfos(h);
        release(p);
        EXPECT_EQ(vxr_test::liveBlocks(), start);
    });
    // Record, argument array, nodal information, saved state (idt); record,
    // nodal information, frequency response (delay): each failed once.
    EXPECT_GE(failures, 3);
}

} // namespace
