// Revision 1.42 transition and slew branches against the recording host with
// recording host objects: default times, the calls of each entry point,
// saved states through host copies, noise, and the contract assertions.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "op142_test_util.h"

namespace {

using op142::copyOf;
using op142::idOf;
using op142::kCb;
using op142::Recorder;
using vxrtest::LoadKind;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class Transition142 : public op142::OperatorTest {
protected:
    VXR_OpBranch_transition* op = nullptr;
    void TearDown() override {
        release(op);
        op142::OperatorTest::TearDown();
    }
    void make(double defaultTransition) {
        op = VXR_createOpBranch_transition("_optrans0", &c1.inst, defaultTransition);
        ASSERT_NE(op, nullptr);
        VXR_transitionFinalizeTopology(op, kCb);
        VXR_transitionSetStamp(op, kCb);
        host.clearLog();
        rec.calls.clear();
    }
};

class Slew142 : public op142::OperatorTest {
protected:
    VXR_OpBranch_slew* op = nullptr;
    void TearDown() override {
        release(op);
        op142::OperatorTest::TearDown();
    }
    void make() {
        op = VXR_createOpBranch_slew("_opslew0", &c1.inst);
        ASSERT_NE(op, nullptr);
        VXR_slewFinalizeTopology(op, kCb);
        VXR_slewSetStamp(op, kCb);
        host.clearLog();
        rec.calls.clear();
    }
};

bool same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

// Rise and fall times that are not positive take the default; NaN, delay and
// tolerance pass unchanged.
TEST_F(Transition142, DefaultRiseAndFallTimes) {
    const double kNone = -2.0; // the loader has no minimum-step member
    const struct {
        double deflt, rise, fall, minStep, wantRise, wantFall;
    } cases[] = {
        {2e-9, 0.0, -1.0, 0.0, 2e-9, 2e-9},
        {0.0, 0.0, 0.0, 1e-15, 10 * 1e-15, 10 * 1e-15},
        {0.0, 0.0, 0.0, 0.0, 0.0, 0.0},
        {0.0, 0.0, 0.0, -1e-12, 0.0, 0.0},
        {0.0, 0.0, 0.0, kNone, 0.0, 0.0},
        {-3e-9, 0.0, 0.0, 1e-12, 1e-11, 1e-11}, // a negative default is none
        {kNaN, 0.0, 0.0, 1e-12, 1e-11, 1e-11},  // so is NaN
        {2e-9, 5e-9, 0.0, 1e-12, 5e-9, 2e-9},   // only the fall time defaulted
        {2e-9, kNaN, kNaN, 1e-12, kNaN, kNaN},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.deflt << " " << c.rise << " " << c.fall << " " << c.minStep);
        make(c.deflt);
        rec.minStep = c.minStep;
        if (c.minStep == kNone) host.loader()->pGetMinTimeStep = nullptr;
        VXR_transitionSetArg(op, 1.5, -4e-9, c.rise, c.fall, -1e-12, host.loader());
        ASSERT_EQ(rec.transitionLoads.size(), 1u);
        const Recorder::TransitionLoad& l = rec.transitionLoads[0];
        EXPECT_EQ(idOf(l.spec), idOf(op->_pTransitionState));
        EXPECT_EQ(l.rhs, op->_rhsBranch);
        EXPECT_EQ(l.F, 1.5);
        EXPECT_EQ(l.delay, -4e-9);
        EXPECT_EQ(l.tol, -1e-12);
        EXPECT_TRUE(same(l.rise, c.wantRise)) << l.rise;
        EXPECT_TRUE(same(l.fall, c.wantFall)) << l.fall;
        rec.transitionLoads.clear();
        rec.install(host);
        release(op);
        op = nullptr;
    }
    // The static-check loader has no minimum step and a null load member.
    make(0.0);
    VXR_transitionSetArg(op, 1.0, 0.0, 0.0, 0.0, 0.0, &VXR_StaticCheckLoader);
    VXR_transitionSetArg_dwrt(op, nullptr, 1.0, &VXR_StaticCheckLoader);
    EXPECT_TRUE(rec.transitionLoads.empty());
}

// Each entry point's calls, in order: host table, host objects and loader.
TEST_F(Transition142, CallsOfEachEntryPoint) {
    op = VXR_createOpBranch_transition("_optrans0", &c1.inst, 1e-9);
    ASSERT_NE(op, nullptr);
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"createTransition -> 1"}));
    EXPECT_EQ(VXR_getBranchVar_transition(op), nullptr);
    EXPECT_EQ(VXR_getBranchVar_transition(nullptr), nullptr);
    VXR_transitionFinalizeTopology(op, kCb);
    VXR_transitionSetStamp(op, kCb);
    VXR_StateVar* in = host.terminal("in");
    void* dIn = VXR_getDerivDoubletOpBranch_transition(op, in, nullptr, DC_ENTRY, LIN_DEP, kCb);
    EXPECT_EQ(host.members(), (std::vector<std::string>{"pSetupNode", "pGetRhsPair", "pGetDerivDoublet",
                                                        "pGetDerivDoublet"}));
    EXPECT_EQ(host.nodes().at(0).libName, op->_name); // the branch bears the operator's own name
    EXPECT_EQ(host.nodes().at(0).info, nullptr);
    VXR_StateVar* x = VXR_getBranchVar_transition(op);
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(host.describe(host.handles().at(1)), "getDerivDoublet(_optrans0, _optrans0, gnd, DC)");
    EXPECT_EQ(host.handles().at(2).sv[1], in);
    EXPECT_EQ(host.handles().at(2).sv[0], x);

    host.setSolution(x, 0.25);
    host.clearLog();
    rec.calls.clear();
    VXR_transitionSetArg(op, 1.0, 0.0, 1e-9, 1e-9, 0.0, host.loader());
    VXR_transitionSetArg_dwrt(op, dIn, 0.5, host.loader());
    VXR_transitionGenericLoad(op, host.loader());
    EXPECT_EQ(host.members(), (std::vector<std::string>{"pGetSol", "pLoadRhsPair", "pLoadDerivDoublet"}));
    EXPECT_EQ(host.batches().at(0).values, std::vector<double>{-0.25});
    EXPECT_EQ(host.batches().at(1).values, std::vector<double>{-1.0});
    EXPECT_EQ(host.lastBatch(LoadKind::DerivDoublet)[op->_dbtJ_br_br], -1.0);
    ASSERT_EQ(rec.dwrts.size(), 1u);
    EXPECT_EQ(rec.dwrts[0].doublet, dIn);
    EXPECT_EQ(rec.dwrts[0].dval, 0.5);
    host.clearLog();
    VXR_transitionGenericLoadRHS(op, host.loader());
    EXPECT_EQ(host.members(), (std::vector<std::string>{"pGetSol", "pLoadRhsPair"}));
    VXR_transitionAcceptTimePoint(op, host.loader());
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"loadTransition 1", "dwrt 1", "accept 1"}));
    // A loader without the accept member is skipped.
    VXR_transitionAcceptTimePoint(op, &VXR_StaticCheckLoader);
    EXPECT_EQ(rec.calls.size(), 3u);
}

TEST_F(Slew142, CallsOfEachEntryPoint) {
    op = VXR_createOpBranch_slew("_opslew0", &c1.inst);
    ASSERT_NE(op, nullptr);
    EXPECT_EQ(VXR_getBranchVar_slew(op), nullptr);
    EXPECT_EQ(VXR_getBranchVar_slew(nullptr), nullptr);
    VXR_slewFinalizeTopology(op, kCb);
    VXR_slewSetStamp(op, kCb);
    void* dIn = VXR_getDerivDoubletOpBranch_slew(op, host.terminal("a"), host.terminal("b"), DC_ENTRY, LIN_DEP, kCb);
    EXPECT_EQ(host.members(), (std::vector<std::string>{"pSetupNode", "pGetRhsPair", "pGetDerivDoublet",
                                                        "pGetDerivDoublet"}));
    EXPECT_EQ(host.describe(host.handles().at(2)), "getDerivDoublet(_opslew0, a, b, DC)");
    host.setSolution(op->_branchVar, 0.25);
    host.clearLog();
    rec.calls.clear();
    // The rates pass bit for bit, whatever their signs.
    const double rates[][2] = {{0.0, 0.0}, {-1.0, 2.0}, {1e9, -1e9}, {kNaN, -0.0}};
    for (const auto& r : rates) VXR_slewSetArg(op, 3.0, r[0], r[1], host.loader());
    ASSERT_EQ(rec.slewLoads.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(rec.slewLoads[i].rhs, op->_rhsBranch);
        EXPECT_EQ(rec.slewLoads[i].F, 3.0);
        EXPECT_TRUE(same(rec.slewLoads[i].pos, rates[i][0]));
        EXPECT_EQ(std::signbit(rec.slewLoads[i].neg), std::signbit(rates[i][1]));
        EXPECT_EQ(rec.slewLoads[i].neg, rates[i][1]);
    }
    EXPECT_TRUE(host.log().empty()); // SetArg makes no other call
    VXR_slewSlewArg_dwrt(op, dIn, -2.0, host.loader());
    VXR_slewGenericLoad(op, host.loader());
    EXPECT_EQ(host.members(), (std::vector<std::string>{"pGetSol", "pLoadRhsPair", "pLoadDerivDoublet"}));
    EXPECT_EQ(host.batches().at(0).values, std::vector<double>{-0.25});
    EXPECT_EQ(host.batches().at(1).values, std::vector<double>{-1.0});
    host.clearLog();
    VXR_slewGenericLoadRHS(op, host.loader());
    EXPECT_EQ(host.members(), (std::vector<std::string>{"pGetSol", "pLoadRhsPair"}));
    VXR_slewAcceptTimePoint(op, host.loader());
    VXR_slewAcceptTimePoint(op, &VXR_StaticCheckLoader); // skipped: no accept member
    EXPECT_EQ(rec.calls.back(), "accept 1");
    EXPECT_EQ(rec.dwrts.at(0).dval, -2.0);
    EXPECT_EQ(rec.dwrts.at(0).doublet, dIn);
    // Against the static-check loader the loads have no effect.
    VXR_slewSetArg(op, 1.0, 1.0, -1.0, &VXR_StaticCheckLoader);
    VXR_slewSlewArg_dwrt(op, dIn, 1.0, &VXR_StaticCheckLoader);
    EXPECT_EQ(rec.slewLoads.size(), 4u);
}

// Save, reset, then restore twice from the one saved state: each restore
// installs a fresh copy and frees the object it replaces; the saved state
// stays the caller's until its device state goes.
TEST_F(Transition142, SaveResetAndRestoreTwiceFromOneState) {
    make(0.0);
    void* saved = VXR_transitionSaveState(op);
    EXPECT_EQ(copyOf(saved), 1);
    EXPECT_EQ(static_cast<VXR_GenericOperatorState*>(saved)->opStateType, VXR_TRANSITION_SPEC);
    VXR_transitionReset(op);
    VXR_transitionRestoreState(op, saved);
    VXR_transitionRestoreState(op, saved);
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"copyTransition -> 2", "freeTransition 1", "createTransition -> 3",
                                                   "freeTransition 3", "copyTransition -> 4", "freeTransition 4",
                                                   "copyTransition -> 5"}));
    EXPECT_EQ(copyOf(op->_pTransitionState), 2);
    EXPECT_NE(op->_branchVar, nullptr); // the branch and handles stay
    freeInDeviceState(saved);
    EXPECT_EQ(rec.freed.back(), 2);
}

TEST_F(Slew142, SaveResetAndRestoreTwiceFromOneState) {
    make();
    void* a = VXR_slewSaveState(op);
    void* b = VXR_slewSaveState(op); // two independent copies
    VXR_slewReset(op);
    VXR_slewRestoreState(op, a);
    VXR_slewRestoreState(op, a);
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"copySlew -> 2", "copySlew -> 3", "freeSlew 1", "createSlew -> 4",
                                                   "freeSlew 4", "copySlew -> 5", "freeSlew 5", "copySlew -> 6"}));
    EXPECT_EQ(copyOf(op->_pSlewSpec), 2);
    freeInDeviceState(a);
    freeInDeviceState(b);
    EXPECT_EQ(rec.freed, (std::vector<int>{1, 4, 5, 2, 3}));
}

// Keyed by the branch with coefficient 1.0 whatever the caller gives; before
// topology only the use count rises.
TEST_F(Transition142, NoiseIsKeyedByTheBranchWithUnitCoefficient) {
    VXR_NoiseSrc src{};
    VXR_setNoiseSrcInfo(&src, VXR_WHITE_NOISE_SRC, "n", &c1.inst);
    op = VXR_createOpBranch_transition("_optrans0", &c1.inst, 0.0);
    VXR_addNoiseForOp_transition(&src, op, 5.0, host.loader());
    EXPECT_EQ(src.useCount, 1);
    EXPECT_EQ(src.pContrib, nullptr);
    VXR_transitionFinalizeTopology(op, kCb);
    VXR_addNoiseForOp_transition(&src, op, 5.0, host.loader());
    VXR_OpBranch_slew* s = VXR_createOpBranch_slew("_opslew0", &c1.inst);
    VXR_slewFinalizeTopology(s, kCb);
    VXR_addNoiseForOp_slew(&src, s, -3.0, host.loader());
    EXPECT_EQ(src.useCount, 3);
    ASSERT_NE(src.pContrib, nullptr);
    EXPECT_EQ(src.pContrib->pRhsPair, s->_branchVar);
    EXPECT_EQ(src.pContrib->coeff, 1.0);
    EXPECT_EQ(src.pContrib->pFreqResponse, nullptr);
    ASSERT_NE(src.pContrib->pNext, nullptr);
    EXPECT_EQ(src.pContrib->pNext->pRhsPair, op->_branchVar);
    EXPECT_EQ(src.pContrib->pNext->coeff, 1.0);
    VXR_freeNoiseContribs(&src);
    release(s);
}

// Contract violations stop the program with the expression, the source file
// and the line; nothing is changed or freed before.
TEST_F(Transition142, ContractViolationsStopTheProgram) {
    make(0.0);
    void* slewState = Recorder::createSlew(nullptr);
    EXPECT_DEATH(VXR_transitionFinalizeTopology(op, kCb),
                 "Assertion failed: pOp->_branchVar == 0, file VXR_SupportLib, line [0-9]+");
    EXPECT_DEATH(VXR_transitionRestoreState(op, slewState), "opStateType == VXR_TRANSITION_SPEC\\), file VXR_SupportLib");
    EXPECT_DEATH(VXR_transitionRestoreState(op, nullptr), "pOpState && ");
    VXR_OpBranch_slew* s = VXR_createOpBranch_slew("_opslew0", &c1.inst);
    void* transitionState = VXR_transitionSaveState(op);
    EXPECT_DEATH(VXR_slewRestoreState(s, transitionState), "opStateType == VXR_SLEW_SPEC\\)");
    EXPECT_EQ(rec.freed, std::vector<int>{});
    Recorder::freeSlew(slewState);
    Recorder::freeTransition(transitionState);
    release(s);
}

} // namespace
