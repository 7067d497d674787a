// The recording host driving the fixture module through creation,
// topology, stamp and loads.
#include <gtest/gtest.h>

#include "fixture_module.h"
#include "test_util.h"

using vxrtest::Call;
using vxrtest::RecordingHost;

namespace {

using Lines = std::vector<std::string>;

TEST(RecordingHost, FixtureCreationStampAndLoadInOrder) {
    RecordingHost host;
    VXR_StateVar* p = host.terminal("p");
    VXR_StateVar* n = host.terminal("n");
    VXR_DeviceInst* inst =
        host.createInstance(&FixtureModuleInfo, "r1", {p, n}, {RecordingHost::real("R", 2.0), RecordingHost::real("C", 3.0)});
    ASSERT_NE(inst, nullptr);
    host.finalize(inst);
    host.setStamp(inst);
    host.setSolution(p, 2.0);
    host.setSolution(host.find("mid"), 0.5);
    host.load(inst);

    Lines expected = {"getTemperature -> 300.15", "setupNode mid"};
#if VXR_REVISION == 187
    expected.push_back("createBranch br (mid, n) voltage dup=1");
    expected.push_back("reportTopology br (mid, n) DC_SHORT");
#endif
    for (const char* line : {
             "getRhsPair(p, mid) -> h0",
             "getRhsPairQ(mid, n) -> h1",
             "getDerivQuartet(p, mid, p, mid, DC) -> h2",
             "getDerivQuartet(mid, n, mid, n, DDT) -> h3",
             "getTemperature -> 300.15",
             "getSol p -> 2",
             "getSol mid -> 0.5",
             "getSol n -> 0",
             "loadRhsPair h0=0.75",
             "loadRhsPairQ h1=1.5",
             "loadDerivQuartet h2=0.5",
             "loadDerivQuartetQ h3=3",
         })
        expected.push_back(line);
    EXPECT_EQ(host.trace(), expected);

    // The static check at topology time reached the host with nothing.
    ASSERT_EQ(host.nodes().size(), 1u);
    EXPECT_EQ(host.nodes()[0].inst, inst);
    EXPECT_EQ(host.nodes()[0].callbackInfo, &host);
#if VXR_REVISION == 187
    EXPECT_EQ(host.nodes()[0].info, VXR_NODAL_INFO_NONE);
#else
    EXPECT_EQ(host.nodes()[0].info, nullptr);
#endif
    const vxrtest::HandleRecord& h2 = host.handles().at(2);
    EXPECT_EQ(h2.kind, vxrtest::HandleKind::DerivQuartet);
    EXPECT_EQ(h2.target, DC_ENTRY);
    EXPECT_EQ(h2.dep, LIN_DEP);
    EXPECT_EQ(host.batches().at(2).handles, (std::vector<int>{2}));

    // RHS-only pass: the first two batches only.
    host.clearLog();
    host.recordGetSol(false);
    host.loadRhs(inst);
    EXPECT_EQ(host.trace(), (Lines{"getTemperature -> 300.15", "loadRhsPair h0=0.75", "loadRhsPairQ h1=1.5"}));

    host.destroy(inst);
#if VXR_REVISION == 142
    fixtureFreeInstance(inst);
#endif
}

TEST(RecordingHost, StrobeWarningPerPass) {
    RecordingHost host;
    VXR_StateVar* p = host.terminal("p");
    VXR_StateVar* n = host.terminal("n");
    // A fresh instance name keeps the warning text new to this process.
    const std::string name = fresh("r");
    VXR_DeviceInst* inst = host.createInstance(&FixtureModuleInfo, name.c_str(), {p, n}, {RecordingHost::real("R", 1.0)});
    host.finalize(inst);
    host.setStamp(inst);
    host.recordGetSol(false);
    host.setSolution(p, 10.0);

    host.clearLog();
    host.load(inst); // strobe off: asked, no message
    EXPECT_EQ(host.calls(), (std::vector<Call>{Call::GetTemperature, Call::DoStrobe, Call::BatchLoad, Call::BatchLoad,
                                               Call::BatchLoad, Call::BatchLoad}));
    host.setStrobe(true);
    host.load(inst);
    host.load(inst);
    const std::string text = "Current above 1 A.\n   [ instance '" + name + "' of module type 'FIXRC' ]" + contextTail();
    // A repeated WARNING reaches the host once in 1.87, every time otherwise.
    EXPECT_EQ(host.messageTexts(MessageTypeE_WARNING), (rev187 ? Lines{text} : Lines{text, text}));
    EXPECT_EQ(host.messages().at(0).inst, inst);
    host.destroy(inst);
#if VXR_REVISION == 142
    fixtureFreeInstance(inst);
#endif
}

TEST(RecordingHost, UnknownParameterIsFatalAndBranchDupCounts) {
    RecordingHost host;
    VXR_StateVar* p = host.terminal("p");
    VXR_StateVar* n = host.terminal("n");
    VXR_DeviceInst* inst = host.createInstance(&FixtureModuleInfo, "r9", {p, n}, {RecordingHost::integer("r", 1)});
    EXPECT_EQ(host.trace(), (Lines{std::string("message ERROR \"Parameter 'r' not found.\\n   [ instance 'r9' of module "
                                               "type 'FIXRC' ]") +
                                       (rev187 ? "\\n" : "") + "\"",
                                   "systemRequest exit 1", "getTemperature -> 300.15"}));
#if VXR_REVISION == 187
    // Two branches on one node pair (either direction) both count 2.
    VXR_StateVar* b1 = host.sim()->pCreateBranch("b1", VXR_VOLTAGE_BRANCH, p, n, inst, nullptr);
    VXR_StateVar* b2 = host.sim()->pCreateBranch("b2", VXR_CURRENT_BRANCH, n, p, inst, nullptr);
    EXPECT_EQ(b1->pBranchInfo->dupCount, 2);
    EXPECT_EQ(b2->pBranchInfo->dupCount, 2);
    EXPECT_EQ(b2->pBranchInfo->pPosTerm, n);
    EXPECT_EQ(host.find("b2"), b2);
#endif
    host.destroy(inst);
#if VXR_REVISION == 142
    fixtureFreeInstance(inst);
#endif
}

TEST(RecordingHost, ScriptedAnswers) {
    RecordingHost host;
    VXR_ContribLoader* l = host.loader();
    VXR_StateVar* a = host.terminal("a");
    host.setTemperature(350.0);
    host.setSolution(a, -1.25);
    host.setDefault(VXR_IDT_SCALE, 4.0);
    host.setAnalysisMask(VXR_ANALYSIS_TRAN);
    host.setStrobe(true);
    EXPECT_EQ(host.sim()->pGetTemperature(nullptr, host.sim()), 350.0);
    EXPECT_EQ(l->pGetSol(a, l VXR_LDR_INST(nullptr)), -1.25);
    EXPECT_EQ(l->pGetDefault(VXR_IDT_SCALE, l VXR_LDR_INST(nullptr)), 4.0);
    EXPECT_EQ(l->pGetDefault(VXR_CROSS_REL_TOL, l VXR_LDR_INST(nullptr)), 0.0);
    EXPECT_EQ(l->pGetAnalysisQueryMask(l VXR_LDR_INST(nullptr)), VXR_ANALYSIS_TRAN);
    EXPECT_EQ(l->pDoStrobe(l VXR_LDR_INST(nullptr)), 1);
    EXPECT_EQ(host.sim()->pFormAnalysisQueryMask(host.sim(), 2, "dc", "tran"), 10ul);
    host.sim()->pSystemRequest("extrap", 0, nullptr, l, host.sim());
    EXPECT_EQ(host.trace(), (Lines{"getTemperature -> 350", "getSol a -> -1.25", "getDefault 7 -> 4",
                                   "getDefault 8 -> 0", "getAnalysisQueryMask -> 8", "doStrobe -> 1",
                                   "formAnalysisQueryMask(dc, tran) -> 10", "systemRequest extrap 0"}));
    EXPECT_EQ(host.requests().at(0).ldr, l);
}

} // namespace
