// TORVEX_EN / TORVEX instances through the shared recording host: creation
// and terminal checks, the topology and stamp call sequences against the
// published tables (stamp_entries.txt), operator memory, device state and
// destruction.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "en_fixture.h"
#include "module_checks.h"

using namespace te;

// The library build writes its own; the module's manifest refers to it.
extern "C" const char vxr_build_id[] = "0123456789abcdef0123456789abcdef";

namespace {

std::string ctx() { return std::string("\n   [ instance 'm1' of module type '") + kModule + "' ]"; }

std::string expectPorts(int n) { return "Expected " + std::to_string(kTerms) + " ports; received " + std::to_string(n) + " ports instead."; }

} // namespace

TEST(TorvexEnInstance, CreationBindsTheTermsGivenAndReportsMismatches)
{
    const int n = kTerms;
    std::vector<int> scalar(n, 0), vectorOnG(n, 0), several(n, 0);
    vectorOnG[1] = 2;
    several[0] = 3;
    several[n - 1] = -1;
    const std::string last = kEN ? "IIDS" : "TEXT";
    const vxrtest::PortCase cases[] = {
        {"no width records", n, {}, {}},
        {"all scalar", n, scalar, {}},
        {"vector on G", n, vectorOnG, {"Scalar terminal 'G' received a vector."}},
        {"several, in port order", n, several,
         {"Scalar terminal 'D' received a vector.", "Scalar terminal '" + last + "' received a vector."}},
        {"one too many", n + 1, std::vector<int>(n + 1, 0), {expectPorts(n + 1)}},
        {"three terms", 3, {0, 4, 0}, {expectPorts(3), "Scalar terminal 'G' received a vector."}},
        {"three, no widths", 3, {}, {expectPorts(3)}},
        {"none", 0, {}, {expectPorts(0)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EnHost h;
        retire(vxrtest::createForPortCase(h, c, ctx()));
    }
}

TEST(TorvexEnInstance, CreationRecord)
{
    EnHost h;
    h.setTemperature(312.5);
    Inst parent{};
    Inst* inst = md.pCreateInstance("m1", h.sim(), &parent, kTerms, nullptr, h.terminals.data(), 0, nullptr);
    vxrtest::expectFreshRecord(h, inst, &parent, kEN ? 28 : 27);
    const torvex_en::Private* pr = priv(inst);
    EXPECT_EQ(pr->recompute, 1);
    EXPECT_EQ(pr->lastTemperature, 312.5);
    EXPECT_EQ(pr->paramStageDone, 0);
    for (VXR_OpBranch_ddt* op : pr->op) EXPECT_EQ(op, nullptr);
    retire(inst);
}

TEST(TorvexEnInstance, FinalizeSequenceAndASecondFinalize)
{
    EnHost h;
    Inst* inst = h.create();
    h.clearLog();
    md.pFinalizeTopology(inst, kCbInfo);

    std::vector<std::string> created; // host calls in order, as "node NAME" / "branch NAME pos neg"
    for (const vxrtest::LogEntry& e : h.log()) {
        if (e.call == Call::SetupNode) {
            const vxrtest::NodeRecord& r = h.nodes()[e.index];
            EXPECT_EQ(r.callbackInfo, kCbInfo);
            EXPECT_EQ(r.info, nullptr);
            EXPECT_EQ(r.inst, inst);
            created.push_back("node " + r.name);
        } else if (e.call == Call::CreateBranch) {
            const vxrtest::BranchRecord& r = h.branches()[e.index];
            EXPECT_EQ(r.type, VXR_VOLTAGE_BRANCH);
            created.push_back("branch " + r.name + " " + h.name(r.pos) + " " + h.name(r.neg));
        }
    }
    std::vector<std::string> expected;
    for (const char* n : {"BI2", "CORE_B1", "CORE_B2", "CORE_ID", "DFIN1", "DFIN2", "DFIN3", "DI2", "DIBAR", "DIFIN",
                          "GFIN1", "GFIN2", "GFIN3", "GI2", "GIBAR", "GIFIN", "GPOLY", "IB_DIODE1", "IB_DIODE3", "S", "SH"})
        expected.push_back(std::string("node ") + n);
    if (kEN) expected.push_back("branch _ub_VIDS_GND_i VIDS -");
    for (const char* b : {"br_ind_d1_i DFIN2 DFIN1", "br_ind_d2_i DFIN3 DFIN2", "br_ind_d3_i D DFIN3",
                          "br_ind_g1_i GFIN2 GFIN1", "br_ind_g2_i GFIN3 GFIN2", "br_ind_g3_i G GFIN3"})
        expected.push_back(std::string("branch ") + b);
    for (int k = 26; k <= 31; ++k) expected.push_back("node _opddt" + std::to_string(k));
    EXPECT_EQ(created, expected);

    // The state-variable table holds what the host returned, in that order.
    for (int i = 0; i < 21; ++i) EXPECT_EQ(inst->pStateVars[i], h.nodes()[i].sv) << i;
    for (int i = 0; i < (kEN ? 7 : 6); ++i) EXPECT_EQ(inst->pStateVars[21 + i], h.branches()[i].sv) << i;

    std::vector<std::string> disc;
    for (const vxrtest::DisciplineRecord& d : h.disciplines()) {
        disc.push_back(h.name(d.sv));
        EXPECT_EQ(d.discipline, &torvex_en::Discipline_electrical);
        EXPECT_STREQ(d.discipline->name, "electrical");
        EXPECT_EQ(d.discipline->lineNum, 75);
        EXPECT_STREQ(d.discipline->potential->name, "Voltage");
        EXPECT_EQ(d.discipline->potential->abstol, 1e-6);
        EXPECT_STREQ(d.discipline->flow->idt_nature, "Charge");
        EXPECT_EQ(d.discipline->flow->abstol, 1e-12);
    }
    std::vector<std::string> expectedDisc = {"B",     "BI2",   "CORE_B1", "CORE_B2",   "CORE_ID",   "D",    "DFIN1",
                                             "DFIN2", "DFIN3", "DI2",     "DIBAR",     "DIFIN",     "G",    "GFIN1",
                                             "GFIN2", "GFIN3", "GI2",     "GIBAR",     "GIFIN",     "GPOLY", "IB_DIODE1",
                                             "IB_DIODE3", "IIDS", "S",    "SH",        "TEXT",      "TINT", "VIDS"};
    if (!kEN)
        expectedDisc.erase(std::remove_if(expectedDisc.begin(), expectedDisc.end(),
                                          [](const std::string& s) { return s == "IIDS" || s == "VIDS"; }),
                           expectedDisc.end());
    EXPECT_EQ(disc, expectedDisc);
    EXPECT_EQ(h.log().size(), 27 + (kEN ? 7u : 6u) + expectedDisc.size()) << "nothing else reaches the host";
    // The zero-bias evaluation reads only terminals, and leaves the flag set.
    EXPECT_TRUE(h.solutionReads().empty());
    EXPECT_EQ(priv(inst)->recompute, 1);
    EXPECT_EQ(priv(inst)->vars.CHDIR, 1);

    h.clearLog();
    VXR_OpBranch_ddt* op0 = priv(inst)->op[0];
    md.pFinalizeTopology(inst, kCbInfo);
    EXPECT_TRUE(h.log().empty()) << "a second finalize creates nothing";
    EXPECT_EQ(priv(inst)->op[0], op0);
    retire(inst);
}

TEST(TorvexEnInstance, NothingBeforeFinalize)
{
    EnHost h;
    Inst* inst = h.create();
    h.clearLog();
    md.pSetStamp(inst, kCbInfo);
    md.pGenLoad(inst, h.loader());
    md.pGenLoadRHS(inst, h.loader());
    md.pDoStrobe(inst, h.loader());
    md.pResetMemoryStates(inst);
    md.pTranAcceptPoint(inst, h.loader());
    EXPECT_TRUE(h.log().empty());
    for (void* handle : priv(inst)->rhs) EXPECT_EQ(handle, nullptr);
    retire(inst);
}

// The host's view of the stamp: every request against the published table,
// in table order, the handle of each stored at its (TORVEX: closed-up) index.
TEST(TorvexEnInstance, StampSequenceMatchesTheTables)
{
    EnHost h;
    Inst* inst = h.create();
    md.pFinalizeTopology(inst, kCbInfo);
    h.clearLog();
    const size_t handlesBefore = h.handles().size();
    md.pSetStamp(inst, kCbInfo);
    torvex_en::Private* pr = priv(inst);

    struct Group {
        std::string key;
        HandleKind kind;
        int nodes;
        VXR_StampTargetE target;
        void** stored;
        int size;
    };
    const Group groups[] = {
        {"dbl", HandleKind::DerivDoublet, 3, DDT_ENTRY, pr->ddtDoublet, 33},
        {"rhs", HandleKind::RhsPair, 2, DC_ENTRY, pr->rhs, kEN ? 56 : 53},
        {"rhsq", HandleKind::RhsPairQ, 2, DDT_ENTRY, pr->rhsQ, kEN ? 22 : 21},
        {"jac", HandleKind::DerivQuartet, 4, DC_ENTRY, pr->jac, kEN ? 129 : 121},
        {"jacq", HandleKind::DerivQuartet, 4, DDT_ENTRY, pr->jacQ, kEN ? 59 : 54},
    };
    EXPECT_EQ(std::size(pr->rhs), static_cast<size_t>(groups[1].size));
    EXPECT_EQ(std::size(pr->jac), static_cast<size_t>(groups[3].size));

    const auto entries = readFixture("stamp_entries.txt");
    size_t at = handlesBefore;
    for (const Group& g : groups) {
        SCOPED_TRACE(g.key);
        int filled = 0;
        for (const auto& e : entries) {
            if (e[0] != g.key) continue;
            // e: group index nodes... [dep torvexIndex]
            int slot = std::stoi(e[1]);
            if (g.key != "dbl") {
                const std::string& torvexIndex = e.back();
                if (!kEN) {
                    if (torvexIndex == "-") continue;
                    slot = std::stoi(torvexIndex);
                }
            }
            ASSERT_LT(at, h.handles().size());
            const vxrtest::HandleRecord& r = h.handles()[at];
            EXPECT_EQ(r.kind, g.kind) << e[1];
            EXPECT_EQ(r.target, g.target) << e[1];
            EXPECT_EQ(r.inst, inst);
            EXPECT_EQ(r.callbackInfo, kCbInfo);
            std::string seen, want;
            for (int k = 0; k < g.nodes; ++k) {
                seen += h.name(r.sv[k]) + " ";
                want += e[2 + k] + " ";
            }
            if (g.key == "dbl") {
                EXPECT_EQ(r.dep, NONLIN_DEP);
            } else {
                EXPECT_EQ(r.dep, e[2 + g.nodes] == "lin" ? LIN_DEP : NONLIN_DEP) << e[1];
            }
            EXPECT_EQ(seen, want) << "entry " << e[1];
            EXPECT_EQ(g.stored[slot], vxrtest::RecordingHost::handle(at)) << "entry " << e[1];
            ++at;
            ++filled;
        }
        EXPECT_EQ(filled, g.size);
    }
    // Last, each operator's own three handles, in operator order.
    for (int k = 0; k < 6; ++k) {
        SCOPED_TRACE(k);
        const std::string op = "_opddt" + std::to_string(26 + k);
        ASSERT_LT(at + 2, h.handles().size());
        EXPECT_EQ(h.handles()[at].kind, HandleKind::RhsPair);
        EXPECT_EQ(h.name(h.handles()[at].sv[0]), op);
        EXPECT_EQ(h.handles()[at + 1].kind, HandleKind::RhsPairQ);
        EXPECT_EQ(h.handles()[at + 2].kind, HandleKind::DerivDoublet);
        at += 3;
    }
    EXPECT_EQ(at, h.handles().size()) << "no further request";
    for (const vxrtest::LogEntry& e : h.log()) EXPECT_EQ(e.call, Call::GetHandle);
    retire(inst);
}

TEST(TorvexEnInstance, MemorySlotsAndSmallSlots)
{
    EnHost h;
    Inst* inst = h.createReady();
    priv(inst)->recompute = 0;
    h.clearLog();
    md.pSetMemoryStates(inst, h.loader());
    md.pResetMemoryStates(inst);
    md.pTranAcceptPoint(inst, h.loader());
    EXPECT_EQ(priv(inst)->recompute, 0);
    EXPECT_TRUE(h.log().empty());

    for (int force : {7, -1, 0, 2}) {
        md.pForceExecInvarCode(inst, force);
        EXPECT_EQ(priv(inst)->recompute, force != 0 ? 1 : 0) << force;
    }

    priv(inst)->vars.DRDIR = -1;
    EXPECT_EQ(vxrtest::outVarValue(inst, {"a", VXR_OUT_INTVAR, "", "", 1}).intVal, -1);
    retire(inst);
}

TEST(TorvexEnInstance, DeviceStateRoundTrip)
{
    EnHost h;
    Inst* inst = h.createReady({realAssn("RTH", 2.0)});
    VXR_DeviceState* st = md.pGetDeviceState(inst);
    ASSERT_NE(st, nullptr);
    void** block = vxrtest::deviceStateBlock(st, inst, kEN ? 35 : 34);
    ASSERT_NE(block, nullptr);
    if constexpr (kEN) {
        EXPECT_EQ(block[1], nullptr);
        auto serialize = reinterpret_cast<int (*)(void*, void*, int)>(block[0]);
        ASSERT_NE(serialize, nullptr);
        EXPECT_EQ(serialize(nullptr, nullptr, 5), 5);
    } else {
        EXPECT_EQ(block[0], nullptr);
    }

    // Restore keeps every parameter and variable and forces a recompute
    // through the descriptor's own slot.
    const torvex_en::Private before = *priv(inst);
    priv(inst)->recompute = 0;
    md.pRestoreDeviceState(inst, st);
    EXPECT_EQ(priv(inst)->recompute, 1);
    EXPECT_EQ(0, std::memcmp(priv(inst)->realParam, before.realParam, sizeof before.realParam));
    EXPECT_EQ(priv(inst)->vars.CHDIR, before.vars.CHDIR);

    // States without the operator slots restore nothing but still recompute.
    priv(inst)->recompute = 0;
    md.pRestoreDeviceState(inst, nullptr);
    EXPECT_EQ(priv(inst)->recompute, 1);
    VXR_DeviceState small{};
    void* few[3] = {};
    small.numOfOperatorStates = 3;
    small.pOperatorState = few;
    priv(inst)->recompute = 0;
    md.pRestoreDeviceState(inst, &small);
    EXPECT_EQ(priv(inst)->recompute, 1);
    VXR_DeviceState noArray{};
    noArray.numOfOperatorStates = 40;
    md.pRestoreDeviceState(inst, &noArray);

    VXR_freeDeviceState(st);
    retire(inst);
}

#if VXR_REVISION == 160
TEST(TorvexEnInstance, DestroyAtEveryStage)
{
    EnHost h;
    vxrtest::destroyAtEveryStage(h, {realAssn("NCELL", 2.0)});
}
#endif
