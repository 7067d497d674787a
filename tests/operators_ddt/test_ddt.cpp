// Time-derivative operator branch against a recording host, per revision.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "VXR_Operators.h"
#include "allocation_probe.h"
#include "recording_host.h"

namespace {

using vxrtest::BatchRecord;
using vxrtest::Call;
using vxrtest::HandleRecord;
using vxrtest::InstanceRecord;
using vxrtest::LoadKind;
using vxrtest::RecordingHost;

constexpr bool kRev187 = VXR_REVISION == 187;
int cbToken;
void* const kCb = &cbToken;

class Ddt : public ::testing::Test {
protected:
    RecordingHost host;
    InstanceRecord c1{host, "c1", "cap"};
    VXR_OpBranch_ddt* op = nullptr;
    long liveAtStart = 0;

    void SetUp() override {
        vxr_test::resetAllocationProbe();
        liveAtStart = vxr_test::liveBlocks();
    }
    void TearDown() override {
        release(op);
        EXPECT_EQ(vxr_test::liveBlocks(), liveAtStart);
    }

    // The instance's destroy path of the revision; 1.42 has no destroy member.
    static void release(VXR_OpBranch_ddt*& p) {
#if VXR_REVISION != 142
        VXR_destroyOpBranch_ddt(p);
#else
        if (p) {
            VXR_free(p->_pFreqResponse);
            VXR_free(p);
        }
#endif
        p = nullptr;
    }

    // Created, finalized and stamped; the call log starts empty.
    void makeStamped(const char* name = "_opddt7") {
        op = VXR_createOpBranch_ddt(name, &c1.inst);
        ASSERT_NE(op, nullptr);
        VXR_ddtFinalizeTopology(op, kCb);
        VXR_ddtSetStamp(op, kCb);
        host.clearLog();
    }

    VXR_DeviceInst* ldrInst() { return kRev187 ? &c1.inst : nullptr; }

    // The batch loads of one kind, in order.
    std::vector<BatchRecord> loads(LoadKind kind) const {
        std::vector<BatchRecord> out;
        for (const BatchRecord& b : host.batches())
            if (b.kind == kind) out.push_back(b);
        return out;
    }
    // The first n state variables of a handle request.
    static std::vector<VXR_StateVar*> args(const HandleRecord& h, size_t n) {
        return std::vector<VXR_StateVar*>(h.sv, h.sv + n);
    }
};

TEST_F(Ddt, CreateAllocatesPerRevisionAndSetsDefaults) {
    static const char name[] = "_opddt3";
    op = VXR_createOpBranch_ddt(name, &c1.inst);
    ASSERT_NE(op, nullptr);
    const auto& allocations = vxr_test::systemAllocations();
    ASSERT_EQ(allocations.size(), 1u);
    const vxr_test::SystemAllocation& a = allocations[0];
    EXPECT_EQ(a.how, kRev187 ? "calloc" : "malloc");
    EXPECT_EQ(a.bytes, sizeof(VXR_OpBranch_ddt));

    EXPECT_EQ(op->_name, name); // kept, not copied
    EXPECT_EQ(op->_pParent, &c1.inst);
    EXPECT_EQ(op->_branchVar, nullptr);
    EXPECT_EQ(op->_rhsBranch, nullptr);
    EXPECT_EQ(op->_rhsBranchQ, nullptr);
    EXPECT_EQ(op->_dbtJ_br_br, nullptr);
    EXPECT_EQ(op->_rowScale, 1.0);
    EXPECT_EQ(op->_pFreqResponse, nullptr);
    EXPECT_TRUE(host.log().empty());
}

TEST_F(Ddt, FinalizeAndStampAskTheHostInOrder) {
    op = VXR_createOpBranch_ddt("_opddt7", &c1.inst);
    VXR_ddtFinalizeTopology(op, kCb);
    VXR_ddtSetStamp(op, kCb);

    ASSERT_EQ(host.members(),
              (std::vector<std::string>{"pSetupNode", "pGetRhsPair", "pGetRhsPairQ", "pGetDerivDoublet"}));
    const vxrtest::NodeRecord& node = host.nodes().at(0);
    EXPECT_EQ(node.name, "_opddt7");
    EXPECT_EQ(node.info, nullptr); // plain internal node, no nodal info
    EXPECT_EQ(node.inst, &c1.inst);
    EXPECT_EQ(node.callbackInfo, kCb);
    VXR_StateVar* bv = host.nodes().back().sv;
    EXPECT_EQ(op->_branchVar, bv);
    EXPECT_EQ(VXR_getBranchVar_ddt(op), bv);

    for (int i : {0, 1}) {
        const HandleRecord& c = host.handles().at(i);
        EXPECT_EQ(args(c, 2), (std::vector<VXR_StateVar*>{bv, nullptr}));
        EXPECT_EQ(c.dep, LIN_DEP);
        EXPECT_EQ(c.inst, &c1.inst);
        EXPECT_EQ(c.callbackInfo, kCb);
    }
    const HandleRecord& d = host.handles().at(2);
    EXPECT_EQ(args(d, 3), (std::vector<VXR_StateVar*>{bv, bv, nullptr}));
    EXPECT_EQ(d.target, DC_ENTRY);
    EXPECT_EQ(d.dep, LIN_DEP);
    EXPECT_EQ(d.inst, &c1.inst);

    EXPECT_EQ(op->_rhsBranch, RecordingHost::handle(0));
    EXPECT_EQ(op->_rhsBranchQ, RecordingHost::handle(1));
    EXPECT_EQ(op->_dbtJ_br_br, RecordingHost::handle(2));

    // The argument's doublets are asked for on the operator's row, as given.
    VXR_StateVar* p = host.terminal("p");
    VXR_StateVar* m = host.terminal("m");
    host.clearLog();
    void* h = VXR_getDerivDoubletOpBranch_ddt(op, p, m, DDT_ENTRY, NONLIN_DEP, kCb);
    ASSERT_EQ(host.members(), (std::vector<std::string>{"pGetDerivDoublet"}));
    EXPECT_EQ(h, RecordingHost::handle(host.handles().size() - 1));
    const HandleRecord& r = host.handles().back();
    EXPECT_EQ(args(r, 3), (std::vector<VXR_StateVar*>{bv, p, m}));
    EXPECT_EQ(r.target, DDT_ENTRY);
    EXPECT_EQ(r.dep, NONLIN_DEP);
    EXPECT_EQ(r.callbackInfo, kCb);

    EXPECT_EQ(VXR_getBranchVar_ddt(nullptr), nullptr);
}

TEST_F(Ddt, LoadsGoOutOneByOneWithTheRevisionsCallShape) {
    makeStamped();
    host.setDefault(VXR_BRANCHDDT_SCALE, 2.0);
    host.setSolution(op->_branchVar, 0.75);
    VXR_StateVar* v = host.terminal("v");
    void* dQdV = VXR_getDerivDoubletOpBranch_ddt(op, v, nullptr, DDT_ENTRY, NONLIN_DEP, kCb);
    host.clearLog();

    VXR_OpBranch_ddt_setArg(op, 3.0, host.loader());
    VXR_OpBranch_ddt_setArg_dwrt(op, dQdV, 0.5, host.loader());
    VXR_ddtGenericLoad(op, host.loader());

    ASSERT_EQ(host.members(), (std::vector<std::string>{"pGetDefault", "pLoadRhsPairQ", "pLoadDerivDoubletQ",
                                                        "pGetSol", "pLoadRhsPair", "pLoadDerivDoublet"}));
    ASSERT_EQ(host.defaultReads().size(), 1u);
    EXPECT_EQ(host.defaultReads()[0].first, VXR_BRANCHDDT_SCALE);
    ASSERT_EQ(host.solutionReads().size(), 1u);
    EXPECT_EQ(host.solutionReads()[0].first, op->_branchVar);
    struct {
        int idx;
        void* handle;
        double value;
    } const loads[] = {
        {1, op->_rhsBranchQ, 6.0},  // s * Q
        {2, dQdV, 1.0},             // s * dQ/dv
        {4, op->_rhsBranch, -0.75}, // -x
        {5, op->_dbtJ_br_br, -1.0},
    };
    for (const auto& l : loads) {
        const vxrtest::LogEntry& e = host.log()[l.idx];
        SCOPED_TRACE(host.member(e));
        const BatchRecord& b = host.batches()[e.index];
        ASSERT_EQ(b.handles.size(), 1u);
        EXPECT_EQ(RecordingHost::handle(b.handles[0]), l.handle);
        EXPECT_EQ(b.values, (std::vector<double>{l.value}));
        EXPECT_EQ(e.ldr, host.loader());
        EXPECT_EQ(e.ldrInst, ldrInst());
    }
    for (int i : {0, 3}) {
        EXPECT_EQ(host.log()[i].ldr, host.loader());
        EXPECT_EQ(host.log()[i].ldrInst, ldrInst());
    }
    // The model reads dQ/dt back as x / s.
    EXPECT_EQ(op->_rowScale, 2.0);

    host.clearLog();
    VXR_ddtGenericLoadRHS(op, host.loader());
    ASSERT_EQ(host.members(), (std::vector<std::string>{"pGetSol", "pLoadRhsPair"}));
    const BatchRecord& rhs = host.batches()[host.log()[1].index];
    ASSERT_EQ(rhs.handles.size(), 1u);
    EXPECT_EQ(RecordingHost::handle(rhs.handles[0]), op->_rhsBranch);
    EXPECT_EQ(rhs.values, (std::vector<double>{-0.75}));
}

TEST_F(Ddt, RowScaleFollowsTheLoadersDefault) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        double before; // scale kept from an earlier pass
        bool hasDefault;
        double answer;
        double scale;
    } const cases[] = {
        {"zero (static-check loader)", 3.0, true, 0.0, 1.0},
        {"negative", 3.0, true, -1.0, 1.0},
        {"NaN", 3.0, true, nan, 1.0},
        {"tiny positive", 3.0, true, 1e-300, 1e-300},
        {"two", 1.0, true, 2.0, 2.0},
        {"no pGetDefault keeps the kept scale", 3.0, false, 0.0, 3.0},
        {"no pGetDefault on a fresh operator", 1.0, false, 0.0, 1.0},
    };
    makeStamped();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        op->_rowScale = c.before;
        host.setDefault(VXR_BRANCHDDT_SCALE, c.answer);
        VXR_ContribLoader ldr = *host.loader();
        if (!c.hasDefault)
            ldr.pGetDefault = nullptr;
        host.clearLog();
        VXR_OpBranch_ddt_setArg(op, 5.0, &ldr);
        VXR_OpBranch_ddt_setArg_dwrt(op, op->_dbtJ_br_br, 4.0, &ldr);
        EXPECT_EQ(op->_rowScale, c.scale);
        auto q = loads(LoadKind::RhsPairQ);
        auto dq = loads(LoadKind::DerivDoubletQ);
        ASSERT_EQ(q.size(), 1u);
        ASSERT_EQ(dq.size(), 1u);
        EXPECT_EQ(q[0].values[0], 5.0 * c.scale);
        EXPECT_EQ(dq[0].values[0], 4.0 * c.scale);
        EXPECT_EQ(host.count(Call::GetDefault), c.hasDefault ? 1u : 0u);
    }
}

TEST_F(Ddt, DwrtBeforeAnySetArgUsesScaleOne) {
    makeStamped();
    VXR_OpBranch_ddt_setArg_dwrt(op, op->_dbtJ_br_br, 7.0, host.loader());
    ASSERT_EQ(host.members(), (std::vector<std::string>{"pLoadDerivDoubletQ"}));
    EXPECT_EQ(host.batches()[host.log()[0].index].values[0], 7.0);
}

TEST_F(Ddt, HistoryMethodsKeepNothingAndTouchNothing) {
    makeStamped();
    host.setDefault(VXR_BRANCHDDT_SCALE, 2.5);
    VXR_OpBranch_ddt_setArg(op, 1.0, host.loader());
    host.clearLog();
    VXR_OpBranch_ddt before;
    std::memcpy(&before, op, sizeof before);

    void* saved = VXR_ddtSaveState(op);
    EXPECT_EQ(saved, nullptr); // an empty slot of the device state
    VXR_ddtRestoreState(op, saved); // a NULL slot restores as nothing
    int foreign = 0;
    VXR_ddtRestoreState(op, &foreign);
    VXR_ddtReset(op);
    VXR_ddtAcceptTimePoint(op, host.loader());

    EXPECT_EQ(std::memcmp(&before, op, sizeof before), 0);
    EXPECT_TRUE(host.log().empty());

    // The scale kept across save/restore/reset is the last loader's.
    VXR_ContribLoader noDefault = *host.loader();
    noDefault.pGetDefault = nullptr;
    VXR_OpBranch_ddt_setArg(op, 2.0, &noDefault);
    EXPECT_EQ(loads(LoadKind::RhsPairQ).at(0).values[0], 5.0);
}

TEST_F(Ddt, FrequencyResponseIsJOmega) {
    makeStamped();
    VXR_Cmplx z{-1.0, -1.0};
    ddtTransferFunc.pGetFreqResponse(nullptr, 6.25, &z);
    EXPECT_EQ(z.real, 0.0);
    EXPECT_EQ(z.imag, 6.25);
}

TEST_F(Ddt, FailedCreationNamesTheOperator) {
    vxr_test::resetAllocationProbe();
    host.clearLog();
    vxr_test::failAllocationAfter(0);
    EXPECT_EQ(VXR_createOpBranch_ddt("_opddt5", &c1.inst), nullptr);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].type, MessageTypeE_ERROR);
    EXPECT_EQ(host.messages()[0].body, "Out of memory.");
    EXPECT_EQ(host.messages()[0].id, "_opddt5");
    EXPECT_EQ(host.messages()[0].inst, &c1.inst);
}

TEST_F(Ddt, NoiseContributionIsKeyedPerRevision) {
    makeStamped();
    host.setDefault(VXR_BRANCHDDT_SCALE, 2.0);
    VXR_OpBranch_ddt_setArg(op, 1.0, host.loader());
    VXR_NoiseSrc src{};
    VXR_setNoiseSrcInfo(&src, VXR_WHITE_NOISE_SRC, "thermal", &c1.inst);
    vxr_test::resetAllocationProbe();
    host.clearLog();

    VXR_addNoiseForOp_ddt(&src, op, 123.0, nullptr); // coeff and loader are not read
    ASSERT_NE(op->_pFreqResponse, nullptr);
    const auto& allocations = vxr_test::systemAllocations();
    ASSERT_EQ(allocations.size(), 2u); // response record, then the list node
    EXPECT_EQ(allocations[0].how, kRev187 ? "calloc" : "malloc");
    EXPECT_EQ(op->_pFreqResponse->pOp, op);
    VXR_Cmplx z{};
    op->_pFreqResponse->pGetFreqResponse(op, 3.0, &z);
    EXPECT_EQ(z.real, 0.0);
    EXPECT_EQ(z.imag, 3.0);

    VXR_FreqResponse* resp = op->_pFreqResponse;
    VXR_addNoiseForOp_ddt(&src, op, 0.0, nullptr);
    EXPECT_EQ(op->_pFreqResponse, resp); // made once
    EXPECT_EQ(src.useCount, 2);
    ASSERT_NE(src.pContrib, nullptr);
    EXPECT_EQ(src.pContrib->pNext, nullptr); // equal keys sum into one node
    EXPECT_EQ(src.pContrib->pFreqResponse, resp);
    if constexpr (kRev187) {
        EXPECT_EQ(src.pContrib->pRhsPair, op->_rhsBranch);
        EXPECT_EQ(src.pContrib->coeff, 4.0); // row scale 2.0, twice
    } else {
        EXPECT_EQ(src.pContrib->pRhsPair, op->_branchVar);
        EXPECT_EQ(src.pContrib->coeff, 2.0); // 1.0, twice
    }
    VXR_freeNoiseContribs(&src);
}

#if VXR_REVISION != 142
TEST_F(Ddt, NoiseReportTellsTheHostTheRowKey) {
    makeStamped();
    VXR_reportNoiseContribForOp_ddt(op, 4, kCb);
    ASSERT_EQ(host.members(), (std::vector<std::string>{"pReportNoiseContrib"}));
    const vxrtest::NoiseReportRecord& c = host.noiseReports()[0];
    EXPECT_EQ(c.count, 4);
    if constexpr (kRev187) {
        EXPECT_EQ(c.key, op->_rhsBranch);
    } else {
        EXPECT_EQ(c.key, op->_branchVar);
        EXPECT_EQ(c.key2, nullptr);
    }
    EXPECT_EQ(c.inst, &c1.inst);
    EXPECT_EQ(c.callbackInfo, kCb);

    host.clearLog();
    VXR_reportNoiseContribForOp_ddt(nullptr, 4, kCb);
    host.sim()->pReportNoiseContrib = nullptr;
    VXR_reportNoiseContribForOp_ddt(op, 4, kCb);
    EXPECT_TRUE(host.log().empty());
}

TEST_F(Ddt, DestroyFreesTheRecordAndItsFrequencyResponse) {
    makeStamped();
    VXR_NoiseSrc src{};
    VXR_setNoiseSrcInfo(&src, VXR_WHITE_NOISE_SRC, "n", &c1.inst);
    VXR_addNoiseForOp_ddt(&src, op, 1.0, nullptr);
    VXR_freeNoiseContribs(&src);
    ASSERT_NE(op->_pFreqResponse, nullptr);
    ASSERT_EQ(vxr_test::liveBlocks(), liveAtStart + 2);
    VXR_destroyOpBranch_ddt(op);
    op = nullptr;
    EXPECT_EQ(vxr_test::liveBlocks(), liveAtStart);
    VXR_destroyOpBranch_ddt(nullptr);
}
#endif

} // namespace
