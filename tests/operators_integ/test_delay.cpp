// Absolute-delay operator branch against a recording host with a recording
// delay object, per revision.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "VXR_Operators.h"
#include "allocation_sweep.h"
#include "integ_test_util.h"

namespace {

using integ_test::FakeDelaySpec;
using integ_test::kCb;
using integ_test::Recorder;
using vxrtest::LoadKind;
using vxrtest::RecordingHost;

constexpr double kPi = 3.14159265358979323846;

int specId(const void* spec) { return spec ? static_cast<const FakeDelaySpec*>(spec)->id : 0; }

void release(VXR_OpBranch_delay*& p) {
#if VXR_REVISION != 142
    VXR_destroyOpBranch_delay(p);
#else
    if (p) {
        if (p->_pDelaySpec) p->_pParent->pSimInterface->pFreeDelaySpec(p->_pDelaySpec);
        VXR_free(p->_pFreqResponse);
        VXR_free(p);
    }
#endif
    p = nullptr;
}

class Delay : public integ_test::OperatorTest {
protected:
    Recorder rec;
    VXR_OpBranch_delay* op = nullptr;

    void SetUp() override {
        integ_test::OperatorTest::SetUp();
        Recorder::install(host);
        Recorder::install(host.loader());
    }
    void TearDown() override {
        release(op);
        integ_test::OperatorTest::TearDown();
    }
    void makeStamped() {
        op = VXR_createOpBranch_delay("_opdelay1", &c1.inst);
        ASSERT_NE(op, nullptr);
        VXR_delayFinalizeTopology(op, kCb);
        VXR_delaySetStamp(op, kCb);
        host.clearLog();
    }
};

TEST_F(Delay, CreateFinalizeAndStamp) {
    op = VXR_createOpBranch_delay("_opdelay1", &c1.inst);
    ASSERT_NE(op, nullptr);
    EXPECT_EQ(specId(op->_pDelaySpec), 1);
    EXPECT_EQ(op->_cacheDelay, 0.0);
    EXPECT_EQ(op->_negDelayWarningGiven, 0);
#if VXR_REVISION == 187
    EXPECT_TRUE(c1.inst.needPreAcceptLoad);
#endif
    VXR_delayFinalizeTopology(op, kCb);
    VXR_delaySetStamp(op, kCb);
    const vxrtest::NodeRecord& node = host.nodes().at(0);
    EXPECT_EQ(node.name, "_opdelay1");
    ASSERT_NE(node.info, nullptr);
    EXPECT_EQ(node.info->nodeType, VXR_OPDELAY);
    EXPECT_EQ(node.info->numOfArgVars, -1);
    EXPECT_EQ(node.info->pArgVars, nullptr);
    VXR_StateVar* y = node.sv;
    EXPECT_EQ(VXR_getBranchVar_delay(op), y);
    EXPECT_EQ(VXR_getBranchVar_delay(nullptr), nullptr);
#if VXR_REVISION == 187
    ASSERT_EQ(host.members(), (std::vector<std::string>{"pSetupNode", "pGetRhsPair", "pGetRhsOpEntry",
                                                        "pGetDerivDoublet"}));
    const vxrtest::HandleRecord& entry = host.handles().at(1);
    EXPECT_EQ(entry.kind, vxrtest::HandleKind::RhsOpEntry);
    EXPECT_EQ(entry.sv[0], y);
    EXPECT_EQ(entry.target, ABSDELAY_ENTRY);
    EXPECT_EQ(entry.dep, NONLIN_DEP);
    EXPECT_EQ(op->_rhsDelayEntry, RecordingHost::handle(1));
#else
    // No operator-entry getter: the delayed argument goes into the row's own handle.
    ASSERT_EQ(host.members(), (std::vector<std::string>{"pSetupNode", "pGetRhsPair", "pGetDerivDoublet"}));
    EXPECT_EQ(op->_rhsDelayEntry, op->_rhsBranch);
#endif
    const vxrtest::HandleRecord& jac = host.handles().back();
    EXPECT_EQ(jac.target, DC_ENTRY);
    EXPECT_EQ(jac.sv[0], y);
    EXPECT_EQ(jac.sv[1], y);

    // Derivatives of the argument always address the delay entry.
    VXR_StateVar* in = host.terminal("in");
    VXR_getDerivDoubletOpBranch_delay(op, in, nullptr, DDT_ENTRY, LIN_DEP, kCb);
    EXPECT_EQ(host.handles().back().target, ABSDELAY_ENTRY);
    EXPECT_EQ(host.handles().back().sv[0], y);
    EXPECT_EQ(host.handles().back().sv[1], in);
}

TEST_F(Delay, LoadsGoToTheHostAndTheRow) {
    makeStamped();
    void* dbl = VXR_getDerivDoubletOpBranch_delay(op, host.terminal("in"), nullptr, DC_ENTRY, LIN_DEP, kCb);
    host.setSolution(op->_branchVar, 0.25);
    host.clearLog();
    VXR_delaySetArg(op, 1.5, 2e-9, 5e-9, host.loader());
    VXR_delaySetArg_dwrt(op, dbl, 0.5, host.loader());
    VXR_delayGenericLoad(op, host.loader());
    ASSERT_EQ(rec.delayLoads.size(), 1u);
    const Recorder::DelayLoad& l = rec.delayLoads[0];
    EXPECT_EQ(l.spec, op->_pDelaySpec);
    EXPECT_EQ(l.entry, op->_rhsDelayEntry);
    EXPECT_EQ(l.delay, 2e-9);
    EXPECT_EQ(l.maxDelay, 5e-9);
    EXPECT_EQ(l.value, 1.5);
    EXPECT_EQ(op->_cacheDelay, 2e-9);
    ASSERT_EQ(rec.delayDwrts.size(), 1u);
    EXPECT_EQ(rec.delayDwrts[0].doublet, dbl);
    EXPECT_EQ(rec.delayDwrts[0].dval, 0.5);
    EXPECT_EQ(host.members(), (std::vector<std::string>{"pGetSol", "pLoadRhsPair", "pLoadDerivDoublet"}));
    EXPECT_EQ(host.lastBatch(LoadKind::RhsPair)[op->_rhsBranch], -0.25);
    EXPECT_EQ(host.lastBatch(LoadKind::DerivDoublet)[op->_dbtJ_br_br], -1.0);
    host.clearLog();
    VXR_delayGenericLoadRHS(op, host.loader());
    EXPECT_EQ(host.members(), (std::vector<std::string>{"pGetSol", "pLoadRhsPair"}));
    VXR_delayAcceptTimePoint(op, host.loader());
    EXPECT_EQ(rec.delayAccepts, (std::vector<void*>{op->_pDelaySpec}));
}

// One warning in the operator's life, reset included; the host gets delay 0.
TEST_F(Delay, NegativeDelayWarnsOnceAndUsesZero) {
    makeStamped();
    const double delays[] = {0.0, -1e-9, -2e-9};
    for (double d : delays) VXR_delaySetArg(op, 1.0, d, 0.0, host.loader());
    VXR_delayReset(op);
    VXR_delaySetArg(op, 1.0, -3e-9, 0.0, host.loader());
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].type, MessageTypeE_WARNING);
    EXPECT_EQ(host.messages()[0].body,
              "A negative delay (-1.000000e-09) was supplied to the absdelay operator.\nA zero-valued delay will be "
              "used instead; future warnings will be suppressed.");
    EXPECT_FALSE(host.messages()[0].hasId);
    ASSERT_EQ(rec.delayLoads.size(), 4u);
    for (const auto& l : rec.delayLoads) EXPECT_EQ(l.delay, 0.0);
    EXPECT_EQ(op->_cacheDelay, 0.0);
    // A NaN delay is not negative: it passes as it is.
    VXR_delaySetArg(op, 1.0, std::numeric_limits<double>::quiet_NaN(), 0.0, host.loader());
    EXPECT_TRUE(std::isnan(rec.delayLoads.back().delay));
}

TEST_F(Delay, FrequencyResponseIsThePhaseOfTheDelay) {
    makeStamped();
    VXR_NoiseSrc src{};
    VXR_setNoiseSrcInfo(&src, VXR_WHITE_NOISE_SRC, "n", &c1.inst);
    VXR_addNoiseForOp_delay(&src, op, 7.0, host.loader());
    VXR_FreqResponse* fr = op->_pFreqResponse;
    ASSERT_NE(fr, nullptr);
    VXR_addNoiseForOp_delay(&src, op, 7.0, host.loader()); // reuses the record, sums into one node
    EXPECT_EQ(op->_pFreqResponse, fr);
    ASSERT_NE(src.pContrib, nullptr);
    EXPECT_EQ(src.pContrib->pNext, nullptr);
    EXPECT_EQ(src.pContrib->coeff, 2.0);
    EXPECT_EQ(src.pContrib->pFreqResponse, fr);
    VXR_freeNoiseContribs(&src);
#if VXR_REVISION != 142
    host.clearLog();
    VXR_reportNoiseContribForOp_delay(op, 2, kCb);
    VXR_reportNoiseContribForOp_delay(nullptr, 2, kCb);
    ASSERT_EQ(host.noiseReports().size(), 1u);
    EXPECT_EQ(host.noiseReports()[0].count, 2);
    EXPECT_EQ(host.noiseReports()[0].key,
              VXR_REVISION == 187 ? op->_rhsBranch : static_cast<void*>(op->_branchVar));
#endif

    const struct {
        double delay, omega, re, im;
    } cases[] = {{1e-9, 0.0, 1.0, 0.0}, {1e-9, kPi * 1e9, -1.0, 0.0}, {1e-9, 0.5 * kPi * 1e9, 0.0, -1.0},
                 {0.0, 1e12, 1.0, 0.0}};
    for (const auto& c : cases) {
        VXR_delaySetArg(op, 0.0, c.delay, 0.0, host.loader());
        VXR_Cmplx z{};
        fr->pGetFreqResponse(fr->pOp, c.omega, &z);
        EXPECT_NEAR(z.real, c.re, 1e-15);
        EXPECT_NEAR(z.imag, c.im, 1e-15);
    }
}

TEST_F(Delay, SaveRestoreAndResetGoThroughHostCopies) {
    makeStamped();
    VXR_delaySetArg(op, 1.0, 1e-9, 0.0, host.loader());
    void* saved = VXR_delaySaveState(op);
    EXPECT_EQ(static_cast<FakeDelaySpec*>(saved)->copyOf, 1);
    EXPECT_EQ(static_cast<FakeDelaySpec*>(saved)->head.opStateType, VXR_DELAY_SPEC);

    VXR_delayRestoreState(op, nullptr); // what a failed save leaves: the history stays
    EXPECT_EQ(specId(op->_pDelaySpec), 1);
    EXPECT_TRUE(rec.freed.empty());

    VXR_delayRestoreState(op, saved);
    EXPECT_EQ(rec.freed, (std::vector<int>{1}));
    EXPECT_EQ(static_cast<FakeDelaySpec*>(op->_pDelaySpec)->copyOf, specId(saved));

    VXR_delayReset(op);
    EXPECT_EQ(rec.freed.size(), 2u);
    EXPECT_EQ(static_cast<FakeDelaySpec*>(op->_pDelaySpec)->copyOf, 0);
    EXPECT_EQ(op->_cacheDelay, 0.0);

#if VXR_REVISION != 142
    // A delay object without a free member is left to its host.
    void* unfreeable = op->_pDelaySpec;
    static_cast<FakeDelaySpec*>(unfreeable)->head.pFreeSelf = nullptr;
    VXR_delayReset(op);
    EXPECT_EQ(rec.freed.size(), 2u);
    Recorder::release(unfreeable);
#endif
    // Without a delay object (a host that made none) reset and restore go on.
    Recorder::release(op->_pDelaySpec);
    op->_pDelaySpec = nullptr;
    const size_t freedBefore = rec.freed.size();
    VXR_delayRestoreState(op, saved);
    EXPECT_NE(op->_pDelaySpec, nullptr);
    EXPECT_EQ(rec.freed.size(), freedBefore);
    // The saved copy goes with the device state.
    integ_test::freeInOneSlotState(&c1.inst, saved);
    EXPECT_EQ(rec.freed.size(), freedBefore + 1);
}

// Every allocation of an operator's life failing in turn: one report, an
// operator that goes on working, and nothing left behind on destroy.
TEST_F(Delay, AllocationFailuresOverTheLife) {
    const int failures = vxr_test::sweepAllocationFailures([&](int k) {
        RecordingHost h;
        Recorder::install(h);
        Recorder::install(h.loader());
        vxrtest::InstanceRecord inst{h, "i1", "integ"};
        const long start = vxr_test::liveBlocks();
        vxr_test::failAllocationAfter(k);
        VXR_OpBranch_delay* p = VXR_createOpBranch_delay("_opdelay0", &inst.inst);
        if (p) {
            VXR_delayFinalizeTopology(p, kCb);
            VXR_delaySetStamp(p, kCb);
            VXR_delaySetArg(p, 1.0, -1.0, 0.0, h.loader());
            VXR_delayGenericLoad(p, h.loader());
            VXR_NoiseSrc src{};
            VXR_setNoiseSrcInfo(&src, VXR_WHITE_NOISE_SRC, "n", &inst.inst);
            VXR_addNoiseForOp_delay(&src, p, 1.0, h.loader());
            VXR_addNoiseForOp_delay(&src, p, 1.0, h.loader());
            VXR_freeNoiseContribs(&src);
            VXR_delayReset(p);
        }
        vxr_test::failAllocationAfter(-1);
        const size_t errors = h.messageTexts(MessageTypeE_ERROR).size();
        EXPECT_EQ(errors, vxr_test::allocationFailed() ? 1u : 0u);
        EXPECT_EQ(static_cast<size_t>(h.exitRequests()), errors);
        integ_test::freeNodalInfos(h);
        release(p);
        EXPECT_EQ(vxr_test::liveBlocks(), start);
    });
    // Record, argument array, nodal information, saved state (idt); record,
    // nodal information, frequency response (delay): each failed once.
    EXPECT_GE(failures, 3);
}

} // namespace
