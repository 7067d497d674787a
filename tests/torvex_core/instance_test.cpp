// TORVEX_CORE instances through the shared recording host: creation and
// terminal checks, topology, stamp, operator memory, device state and
// destruction.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "core_fixture.h"
#include "module_checks.h"
#include "probe.h"

using namespace tc;

// The library build writes its own; the module's manifest refers to it.
extern "C" const char vxr_build_id[] = "0123456789abcdef0123456789abcdef";

namespace {

const char* kCtx = "\n   [ instance 'm1' of module type 'TORVEX_CORE' ]";

// One stamp request as the host saw it, with the handle it returned.
struct Request {
    HandleKind kind;
    const SV* sv[4];
    int target;
    int dep;
    void* handle;
};

std::vector<Request> requests(const CoreHost& h)
{
    std::vector<Request> out;
    for (const vxrtest::LogEntry& e : h.log()) {
        EXPECT_EQ(e.call, Call::GetHandle);
        if (e.call != Call::GetHandle) continue;
        const vxrtest::HandleRecord& r = h.handles()[e.index];
        out.push_back({r.kind, {r.sv[0], r.sv[1], r.sv[2], r.sv[3]}, r.target, r.dep, CoreHost::handle(e.index)});
    }
    return out;
}

std::string names(const CoreHost& h, const Request& c, int n)
{
    std::string s;
    for (int i = 0; i < n; ++i) s += (i ? "," : "") + h.name(c.sv[i]);
    return s;
}

} // namespace

TEST(TorvexCoreInstance, CreationBindsTerminalsAndReportsMismatches)
{
    const vxrtest::PortCase cases[] = {
        {"no width records", 6, {}, {}},
        {"all scalar", 6, {0, 0, 0, 0, 0, 0}, {}},
        {"vector on TINT", 6, {0, 0, 0, 0, 2, 0}, {"Scalar terminal 'TINT' received a vector."}},
        {"-1 is a width too", 6, {-1, 0, 0, 0, 0, 0}, {"Scalar terminal 'D' received a vector."}},
        {"seven terminals", 7, {0, 0, 0, 0, 0, 0, 0}, {"Expected 6 ports; received 7 ports instead."}},
        {"seven, one vector", 7, {0, 3, 0, 0, 0, 0, 0},
         {"Expected 6 ports; received 7 ports instead.", "Scalar terminal 'G' received a vector."}},
        {"four terminals", 4, {0, 0, 0, 0}, {"Expected 6 ports; received 4 ports instead."}},
        {"four, no widths", 4, {}, {"Expected 6 ports; received 4 ports instead."}},
        {"none", 0, {}, {"Expected 6 ports; received 0 ports instead."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CoreHost h;
        md.pDestroyDevice(vxrtest::createForPortCase(h, c, kCtx));
    }
}

TEST(TorvexCoreInstance, CreationRecord)
{
    CoreHost h;
    h.setTemperature(312.5);
    Inst parent{};
    Inst* inst = md.pCreateInstance("m1", h.sim(), &parent, 6, nullptr, h.terminals.data(), 0, nullptr);
    vxrtest::expectFreshRecord(h, inst, &parent, 5);
    EXPECT_EQ(probe::recompute(inst), 1);
    for (int pos = 0; pos < 6; ++pos) EXPECT_EQ(probe::op(inst, pos), nullptr);
    md.pDestroyDevice(inst);
}

TEST(TorvexCoreInstance, FinalizeCreatesNodesOperatorsAndDisciplinesOnce)
{
    CoreHost h;
    Inst* inst = h.create();
    h.clearLog();
    probe::setRecompute(inst, 1);
    md.pFinalizeTopology(inst, kCbInfo);

    std::vector<std::string> nodes;
    for (const vxrtest::NodeRecord& c : h.nodes()) {
        nodes.push_back(c.name);
        EXPECT_EQ(c.callbackInfo, kCbInfo);
    }
    const std::vector<std::string> expectedNodes = {"CORE_B1",  "CORE_B2",  "CORE_ID",  "IB_DIODE1",
                                                    "IB_DIODE3", "_opddt10", "_opddt11", "_opddt12",
                                                    "_opddt7",  "_opddt8",  "_opddt9"};
    EXPECT_EQ(nodes, expectedNodes);
    const auto& setup = h.nodes();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(inst->pStateVars[i], setup[i].sv);
    for (int pos = 0; pos < 6; ++pos) EXPECT_NE(probe::op(inst, pos), nullptr);

    std::vector<std::string> disc;
    for (const vxrtest::DisciplineRecord& c : h.disciplines()) {
        disc.push_back(h.nameOf(c.sv));
        const VXR_DisciplineDescriptor* d = c.discipline;
        EXPECT_STREQ(d->name, "electrical");
        EXPECT_EQ(d->lineNum, 75);
        EXPECT_STREQ(d->potential->name, "Voltage");
        EXPECT_EQ(d->potential->lineNum, 51);
        EXPECT_EQ(d->potential->abstol, 1e-6);
        EXPECT_STREQ(d->potential->access, "V");
        EXPECT_STREQ(d->potential->idt_nature, "Flux");
        EXPECT_STREQ(d->flow->name, "Current");
        EXPECT_EQ(d->flow->abstol, 1e-12);
        EXPECT_STREQ(d->flow->units, "A");
        EXPECT_STREQ(d->flow->idt_nature, "Charge");
        EXPECT_EQ(d->flow->ddt_nature, nullptr);
    }
    const std::vector<std::string> expectedDisc = {"B", "CORE_B1", "CORE_B2", "CORE_ID", "D", "G",
                                                   "IB_DIODE1", "IB_DIODE3", "S", "TEXT", "TINT"};
    EXPECT_EQ(disc, expectedDisc);
    // Nodes first, then the discipline reports; nothing else reaches the host.
    EXPECT_EQ(h.log().size(), 22u);
    EXPECT_EQ(probe::recompute(inst), 1);
    EXPECT_EQ(probe::chdir(inst), 1);

    // A second finalization creates nothing and leaks nothing.
    h.clearLog();
    void* op0 = probe::op(inst, 0);
    md.pFinalizeTopology(inst, kCbInfo);
    EXPECT_TRUE(h.log().empty());
    EXPECT_EQ(probe::op(inst, 0), op0);
    md.pDestroyDevice(inst);
}

TEST(TorvexCoreInstance, StampBeforeFinalizeRequestsNothing)
{
    CoreHost h;
    Inst* inst = h.create();
    h.clearLog();
    md.pSetStamp(inst, kCbInfo);
    EXPECT_TRUE(h.log().empty());
    md.pDestroyDevice(inst);
}

TEST(TorvexCoreInstance, StampSequence)
{
    CoreHost h;
    Inst* inst = h.create();
    md.pFinalizeTopology(inst, kCbInfo);
    std::map<std::string, const SV*> branch; // operator name -> branch variable
    for (const vxrtest::NodeRecord& c : h.nodes()) branch[c.name] = c.sv;
    h.clearLog();
    md.pSetStamp(inst, kCbInfo);
    const std::vector<Request> calls = requests(h);
    ASSERT_EQ(calls.size(), 33u + 20 + 8 + 71 + 35 + 6 * 3);

    // Step 1: the 33 doublets in index order, rows on the operators' branches.
    for (int i = 0; i < 33; ++i) {
        std::string n[4];
        int dep;
        probe::entry(4, i, n, &dep);
        const Request& c = calls[i];
        EXPECT_EQ(c.kind, HandleKind::DerivDoublet);
        EXPECT_EQ(c.sv[0], branch[n[0]]) << i;
        EXPECT_EQ(names(h, c, 3), n[0] + "," + n[1] + "," + n[2]) << i;
        EXPECT_EQ(c.target, DDT_ENTRY);
        EXPECT_EQ(c.dep, NONLIN_DEP);
        EXPECT_EQ(probe::handle(inst, 4, i), c.handle) << i;
    }

    // Steps 2 to 5: each group sorted by node names, handles stored by index.
    struct Group {
        HandleKind kind;
        int array, count, nodes, target; // the host files RHS pairs under DC, charge pairs under DDT
    };
    const Group groups[] = {{HandleKind::RhsPair, 0, 20, 2, DC_ENTRY},
                            {HandleKind::RhsPairQ, 1, 8, 2, DDT_ENTRY},
                            {HandleKind::DerivQuartet, 2, 71, 4, DC_ENTRY},
                            {HandleKind::DerivQuartet, 3, 35, 4, DDT_ENTRY}};
    size_t at = 33;
    std::map<std::string, void*> handleOf[4];
    for (const Group& g : groups) {
        std::vector<std::string> seen;
        for (int k = 0; k < g.count; ++k, ++at) {
            const Request& c = calls[at];
            ASSERT_EQ(c.kind, g.kind) << at;
            EXPECT_EQ(c.target, g.target) << at;
            std::vector<std::string> key;
            for (int i = 0; i < g.nodes; ++i) key.push_back(h.name(c.sv[i]));
            std::string joined = names(h, c, g.nodes) + "/" + std::to_string(c.dep);
            if (!seen.empty()) {
                EXPECT_LT(seen.back().substr(0, seen.back().find('/')), joined.substr(0, joined.find('/')))
                    << "host order at " << at;
            }
            seen.push_back(joined);
            for (int i = 0; i < g.nodes; ++i) {
                EXPECT_EQ(c.sv[i] == nullptr, key[i].empty());
            }
            handleOf[g.array][joined] = c.handle;
        }
        for (int i = 0; i < g.count; ++i) {
            std::string n[4];
            int dep;
            probe::entry(g.array, i, n, &dep);
            std::string joined = n[0];
            for (int k = 1; k < g.nodes; ++k) joined += "," + n[k];
            joined += "/" + std::to_string(dep);
            ASSERT_TRUE(handleOf[g.array].count(joined)) << joined;
            EXPECT_EQ(probe::handle(inst, g.array, i), handleOf[g.array][joined]) << g.array << ":" << i;
        }
    }
    // Comma sorts below every name character, so comparing the joined names
    // compares node by node.

    // Published spot checks: ground as NULL, LIN_DEP entries, handle indices.
    EXPECT_EQ(probe::handle(inst, 0, 18), handleOf[0][",TINT/1"]);
    EXPECT_EQ(probe::handle(inst, 0, 19), handleOf[0]["TEXT,/0"]);
    EXPECT_EQ(probe::handle(inst, 2, 3), handleOf[2]["CORE_ID,S,G,CORE_B1/1"]);
    EXPECT_EQ(probe::handle(inst, 2, 39), handleOf[2]["CORE_B2,B,CORE_B2,B/0"]);
    EXPECT_EQ(probe::handle(inst, 2, 70), handleOf[2]["TEXT,,TEXT,/0"]);
    EXPECT_EQ(probe::handle(inst, 2, 64), handleOf[2][",TINT,_opddt10,/1"]);
    EXPECT_EQ(probe::handle(inst, 2, 69), handleOf[2][",TINT,_opddt9,/1"]);
    EXPECT_EQ(probe::handle(inst, 3, 33), handleOf[3]["S,CORE_B2,S,CORE_B2/0"]);
    EXPECT_EQ(probe::handle(inst, 3, 34), handleOf[3]["TINT,TEXT,TINT,TEXT/0"]);
    int linRhs = 0, linQuartets = 0;
    for (const auto& [k, v] : handleOf[0]) linRhs += k.back() == '0';
    for (int a : {2, 3})
        for (const auto& [k, v] : handleOf[a]) linQuartets += k.back() == '0';
    EXPECT_EQ(linRhs, 9);
    EXPECT_EQ(linQuartets, 4);

    // Step 6: each operator's own handles, in position order.
    const char* ops[] = {"_opddt10", "_opddt11", "_opddt12", "_opddt7", "_opddt8", "_opddt9"};
    for (int p = 0; p < 6; ++p, at += 3) {
        EXPECT_EQ(calls[at].kind, HandleKind::RhsPair);
        EXPECT_EQ(calls[at].sv[0], branch[ops[p]]);
        EXPECT_EQ(calls[at + 1].kind, HandleKind::RhsPairQ);
        EXPECT_EQ(calls[at + 2].kind, HandleKind::DerivDoublet);
        EXPECT_EQ(calls[at + 2].target, DC_ENTRY);
    }
    md.pDestroyDevice(inst);
}

TEST(TorvexCoreInstance, MemorySlotsLeaveTheRecordAlone)
{
    CoreHost h;
    Inst* inst = h.createReady();
    probe::setRecompute(inst, 0);
    h.clearLog();
    md.pResetMemoryStates(inst);
    md.pTranAcceptPoint(inst, nullptr);
    EXPECT_EQ(probe::recompute(inst), 0);
    EXPECT_TRUE(h.log().empty());
    md.pDestroyDevice(inst);
}

TEST(TorvexCoreInstance, DeviceStateRoundTrip)
{
    const auto freeState = VXR_freeDeviceState;

    CoreHost h;
    Inst* inst = h.createReady();
    VXR_DeviceState* st = md.pGetDeviceState(inst);
    ASSERT_NE(st, nullptr);
    void** block = vxrtest::deviceStateBlock(st, inst, 15);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[1], nullptr);
    auto serialize = reinterpret_cast<int (*)(void*, void*, int)>(block[0]);
    EXPECT_EQ(serialize(nullptr, nullptr, 5), 5);

    probe::setRecompute(inst, 0);
    md.pRestoreDeviceState(inst, st);
    EXPECT_EQ(probe::recompute(inst), 1);

    // States this module did not make are not read.
    probe::setRecompute(inst, 0);
    md.pRestoreDeviceState(inst, nullptr);
    EXPECT_EQ(probe::recompute(inst), 1);
    VXR_DeviceState small{};
    void* slots[3] = {};
    small.numOfOperatorStates = 3;
    small.pOperatorState = slots;
    md.pRestoreDeviceState(inst, &small);

    freeState(st);
    md.pDestroyDevice(inst);
}

TEST(TorvexCoreInstance, DestroyAtEveryStage)
{
    CoreHost h;
    vxrtest::destroyAtEveryStage(h, {realAssn("RTH", 2.0)});
}

TEST(TorvexCoreInstance, SmallSlots)
{
    CoreHost h;
    Inst* inst = h.create();
    const VXR_ModuleDescriptor& d = md;

    d.pForceExecInvarCode(inst, 7);
    EXPECT_EQ(probe::recompute(inst), 1);
    d.pForceExecInvarCode(inst, 0);
    EXPECT_EQ(probe::recompute(inst), 0);

    probe::setRth0(inst, 42.5);
    EXPECT_EQ(vxrtest::outVarValue(inst, {"a", VXR_OUT_REALVAR, "", "", 0}).realVal, 42.5);

    d.pSetMemoryStates(inst, nullptr);
    d.pDestroyDevice(inst);
}
