// Time-derivative operator branch against a recording host, per revision.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "recording_host.h"
#include "stub_frame_services.h"

namespace {

constexpr bool kRev187 = VXR_REVISION == 187;
int cbToken;
void* const kCb = &cbToken;

class Ddt : public ::testing::Test {
protected:
    RecordingHost host;
    VXR_OpBranch_ddt* op = nullptr;
    long liveAtStart = 0;

    void SetUp() override {
        stub::reset();
        liveAtStart = stub::liveBlocks();
    }
    void TearDown() override {
        release(op);
        EXPECT_EQ(stub::liveBlocks(), liveAtStart);
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
        op = VXR_createOpBranch_ddt(name, &host.inst);
        ASSERT_NE(op, nullptr);
        VXR_ddtFinalizeTopology(op, kCb);
        VXR_ddtSetStamp(op, kCb);
        host.calls.clear();
    }

    VXR_DeviceInst* ldrInst() { return kRev187 ? &host.inst : nullptr; }
};

TEST_F(Ddt, CreateAllocatesPerRevisionAndSetsDefaults) {
    static const char name[] = "_opddt3";
    op = VXR_createOpBranch_ddt(name, &host.inst);
    ASSERT_NE(op, nullptr);
    ASSERT_EQ(stub::allocations.size(), 1u);
    const stub::Allocation& a = stub::allocations[0];
    EXPECT_EQ(a.how, kRev187 ? "calloc" : "malloc");
    EXPECT_EQ(a.bytes, sizeof(VXR_OpBranch_ddt));
    EXPECT_EQ(a.simIf, &host.sim);
    EXPECT_EQ(a.inst, &host.inst);
    EXPECT_EQ(a.id, name);

    EXPECT_EQ(op->_name, name); // kept, not copied
    EXPECT_EQ(op->_pParent, &host.inst);
    EXPECT_EQ(op->_branchVar, nullptr);
    EXPECT_EQ(op->_rhsBranch, nullptr);
    EXPECT_EQ(op->_rhsBranchQ, nullptr);
    EXPECT_EQ(op->_dbtJ_br_br, nullptr);
    EXPECT_EQ(op->_rowScale, 1.0);
    EXPECT_EQ(op->_pFreqResponse, nullptr);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(Ddt, FinalizeAndStampAskTheHostInOrder) {
    op = VXR_createOpBranch_ddt("_opddt7", &host.inst);
    VXR_ddtFinalizeTopology(op, kCb);
    VXR_ddtSetStamp(op, kCb);

    ASSERT_EQ(host.names(),
              (std::vector<std::string>{"pSetupNode", "pGetRhsPair", "pGetRhsPairQ", "pGetDerivDoublet"}));
    const Call& node = host.calls[0];
    EXPECT_STREQ(static_cast<const char*>(node.ptrs[0]), "_opddt7");
    EXPECT_EQ(node.ptrs[1], nullptr); // plain internal node, no nodal info
    EXPECT_EQ(node.inst, &host.inst);
    EXPECT_EQ(node.cbInfo, kCb);
    VXR_StateVar* bv = &host.nodes.back();
    EXPECT_EQ(op->_branchVar, bv);
    EXPECT_EQ(VXR_getBranchVar_ddt(op), bv);

    for (int i : {1, 2}) {
        const Call& c = host.calls[i];
        EXPECT_EQ(c.ptrs, (std::vector<void*>{bv, nullptr}));
        EXPECT_EQ(c.num, LIN_DEP);
        EXPECT_EQ(c.inst, &host.inst);
        EXPECT_EQ(c.cbInfo, kCb);
    }
    const Call& d = host.calls[3];
    EXPECT_EQ(d.ptrs, (std::vector<void*>{bv, bv, nullptr}));
    EXPECT_EQ(d.vals, (std::vector<double>{DC_ENTRY, LIN_DEP}));
    EXPECT_EQ(d.inst, &host.inst);

    EXPECT_EQ(op->_rhsBranch, &host.handles[0]);
    EXPECT_EQ(op->_rhsBranchQ, &host.handles[1]);
    EXPECT_EQ(op->_dbtJ_br_br, &host.handles[2]);

    // The argument's doublets are asked for on the operator's row, as given.
    VXR_StateVar* p = host.newNode("p");
    VXR_StateVar* m = host.newNode("m");
    host.calls.clear();
    void* h = VXR_getDerivDoubletOpBranch_ddt(op, p, m, DDT_ENTRY, NONLIN_DEP, kCb);
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(h, &host.handles.back());
    EXPECT_EQ(host.calls[0].ptrs, (std::vector<void*>{bv, p, m}));
    EXPECT_EQ(host.calls[0].vals, (std::vector<double>{DDT_ENTRY, NONLIN_DEP}));
    EXPECT_EQ(host.calls[0].cbInfo, kCb);

    EXPECT_EQ(VXR_getBranchVar_ddt(nullptr), nullptr);
}

TEST_F(Ddt, LoadsGoOutOneByOneWithTheRevisionsCallShape) {
    makeStamped();
    host.defaultValue = 2.0;
    host.sol[op->_branchVar] = 0.75;
    VXR_StateVar* v = host.newNode("v");
    void* dQdV = VXR_getDerivDoubletOpBranch_ddt(op, v, nullptr, DDT_ENTRY, NONLIN_DEP, kCb);
    host.calls.clear();

    VXR_OpBranch_ddt_setArg(op, 3.0, &host.ldr);
    VXR_OpBranch_ddt_setArg_dwrt(op, dQdV, 0.5, &host.ldr);
    VXR_ddtGenericLoad(op, &host.ldr);

    ASSERT_EQ(host.names(), (std::vector<std::string>{"pGetDefault", "pLoadRhsPairQ", "pLoadDerivDoubletQ",
                                                      "pGetSol", "pLoadRhsPair", "pLoadDerivDoublet"}));
    EXPECT_EQ(host.calls[0].num, VXR_BRANCHDDT_SCALE);
    EXPECT_EQ(host.calls[3].ptrs, (std::vector<void*>{op->_branchVar}));
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
        const Call& c = host.calls[l.idx];
        SCOPED_TRACE(c.fn);
        EXPECT_EQ(c.num, 1);
        EXPECT_EQ(c.ptrs, (std::vector<void*>{l.handle}));
        EXPECT_EQ(c.vals, (std::vector<double>{l.value}));
        EXPECT_EQ(c.ldr, &host.ldr);
        EXPECT_EQ(c.inst, ldrInst());
    }
    for (int i : {0, 3}) {
        EXPECT_EQ(host.calls[i].ldr, &host.ldr);
        EXPECT_EQ(host.calls[i].inst, ldrInst());
    }
    // The model reads dQ/dt back as x / s.
    EXPECT_EQ(op->_rowScale, 2.0);

    host.calls.clear();
    VXR_ddtGenericLoadRHS(op, &host.ldr);
    ASSERT_EQ(host.names(), (std::vector<std::string>{"pGetSol", "pLoadRhsPair"}));
    EXPECT_EQ(host.calls[1].ptrs, (std::vector<void*>{op->_rhsBranch}));
    EXPECT_EQ(host.calls[1].vals, (std::vector<double>{-0.75}));
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
        host.defaultValue = c.answer;
        VXR_ContribLoader ldr = host.ldr;
        if (!c.hasDefault)
            ldr.pGetDefault = nullptr;
        host.calls.clear();
        VXR_OpBranch_ddt_setArg(op, 5.0, &ldr);
        VXR_OpBranch_ddt_setArg_dwrt(op, op->_dbtJ_br_br, 4.0, &ldr);
        EXPECT_EQ(op->_rowScale, c.scale);
        auto q = host.only("pLoadRhsPairQ");
        auto dq = host.only("pLoadDerivDoubletQ");
        ASSERT_EQ(q.size(), 1u);
        ASSERT_EQ(dq.size(), 1u);
        EXPECT_EQ(q[0].vals[0], 5.0 * c.scale);
        EXPECT_EQ(dq[0].vals[0], 4.0 * c.scale);
        EXPECT_EQ(host.only("pGetDefault").size(), c.hasDefault ? 1u : 0u);
    }
}

TEST_F(Ddt, DwrtBeforeAnySetArgUsesScaleOne) {
    makeStamped();
    VXR_OpBranch_ddt_setArg_dwrt(op, op->_dbtJ_br_br, 7.0, &host.ldr);
    ASSERT_EQ(host.names(), (std::vector<std::string>{"pLoadDerivDoubletQ"}));
    EXPECT_EQ(host.calls[0].vals[0], 7.0);
}

TEST_F(Ddt, HistoryMethodsKeepNothingAndTouchNothing) {
    makeStamped();
    host.defaultValue = 2.5;
    VXR_OpBranch_ddt_setArg(op, 1.0, &host.ldr);
    host.calls.clear();
    VXR_OpBranch_ddt before;
    std::memcpy(&before, op, sizeof before);

    void* saved = VXR_ddtSaveState(op);
    EXPECT_EQ(saved, nullptr); // an empty slot of the device state
    VXR_ddtRestoreState(op, saved); // a NULL slot restores as nothing
    int foreign = 0;
    VXR_ddtRestoreState(op, &foreign);
    VXR_ddtReset(op);
    VXR_ddtAcceptTimePoint(op, &host.ldr);

    EXPECT_EQ(std::memcmp(&before, op, sizeof before), 0);
    EXPECT_TRUE(host.calls.empty());

    // The scale kept across save/restore/reset is the last loader's.
    VXR_ContribLoader noDefault = host.ldr;
    noDefault.pGetDefault = nullptr;
    VXR_OpBranch_ddt_setArg(op, 2.0, &noDefault);
    EXPECT_EQ(host.only("pLoadRhsPairQ").at(0).vals[0], 5.0);
}

TEST_F(Ddt, FrequencyResponseIsJOmega) {
    makeStamped();
    VXR_Cmplx z{-1.0, -1.0};
    ddtTransferFunc.pGetFreqResponse(nullptr, 6.25, &z);
    EXPECT_EQ(z.real, 0.0);
    EXPECT_EQ(z.imag, 6.25);
}

TEST_F(Ddt, NoiseContributionIsKeyedPerRevision) {
    makeStamped();
    host.defaultValue = 2.0;
    VXR_OpBranch_ddt_setArg(op, 1.0, &host.ldr);
    VXR_NoiseSrc src{};
    VXR_setNoiseSrcInfo(&src, VXR_WHITE_NOISE_SRC, "thermal", &host.inst);
    stub::reset();

    VXR_addNoiseForOp_ddt(&src, op, 123.0, nullptr); // coeff and loader are not read
    ASSERT_NE(op->_pFreqResponse, nullptr);
    ASSERT_EQ(stub::allocations.size(), 2u); // response record, then the list node
    EXPECT_EQ(stub::allocations[0].how, kRev187 ? "calloc" : "malloc");
    EXPECT_EQ(stub::allocations[0].inst, &host.inst);
    EXPECT_EQ(stub::allocations[0].id, nullptr);
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
    ASSERT_EQ(host.names(), (std::vector<std::string>{"pReportNoiseContrib"}));
    const Call& c = host.calls[0];
    EXPECT_EQ(c.num, 4);
    if constexpr (kRev187)
        EXPECT_EQ(c.ptrs, (std::vector<void*>{op->_rhsBranch}));
    else
        EXPECT_EQ(c.ptrs, (std::vector<void*>{op->_branchVar, nullptr}));
    EXPECT_EQ(c.inst, &host.inst);
    EXPECT_EQ(c.cbInfo, kCb);

    host.calls.clear();
    VXR_reportNoiseContribForOp_ddt(nullptr, 4, kCb);
    host.sim.pReportNoiseContrib = nullptr;
    VXR_reportNoiseContribForOp_ddt(op, 4, kCb);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(Ddt, DestroyFreesTheRecordAndItsFrequencyResponse) {
    makeStamped();
    VXR_NoiseSrc src{};
    VXR_setNoiseSrcInfo(&src, VXR_WHITE_NOISE_SRC, "n", &host.inst);
    VXR_addNoiseForOp_ddt(&src, op, 1.0, nullptr);
    VXR_freeNoiseContribs(&src);
    ASSERT_NE(op->_pFreqResponse, nullptr);
    ASSERT_EQ(stub::liveBlocks(), liveAtStart + 2);
    VXR_destroyOpBranch_ddt(op);
    op = nullptr;
    EXPECT_EQ(stub::liveBlocks(), liveAtStart);
    VXR_destroyOpBranch_ddt(nullptr);
}
#endif

} // namespace
