// TORVEX_CORE instances through a recording host: creation and terminal
// checks, topology, stamp, operator memory, device state and destruction.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "host.h"
#include "probe.h"

using namespace tc;

namespace {

const char* kCtx = "\n   [ instance 'm1' of module type 'TORVEX_CORE' ]";

std::string names(const Host& h, const Call& c, int n)
{
    std::string s;
    for (int i = 0; i < n; ++i) s += (i ? "," : "") + h.nameOf(c.sv[i]);
    return s;
}

struct PortCase {
    const char* what;
    int nTerms;
    std::vector<int> widths; // empty: no width records
    std::vector<std::string> messages;
};

} // namespace

TEST(TorvexCoreInstance, CreationBindsTerminalsAndReportsMismatches)
{
    const PortCase cases[] = {
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
    for (const PortCase& c : cases) {
        SCOPED_TRACE(c.what);
        Host h;
        for (int k = 6; k < c.nTerms; ++k) h.terminals.push_back(h.newSV("X"));
        // Exactly as many entries as announced, on the heap, so a read past
        // them is caught by AddressSanitizer.
        std::unique_ptr<SV*[]> terms(new SV*[std::max(c.nTerms, 1)]);
        for (int k = 0; k < c.nTerms; ++k) terms[k] = h.terminals[k];
        std::unique_ptr<int[][3]> widths;
        if (!c.widths.empty()) {
            widths.reset(new int[c.widths.size()][3]());
            for (size_t k = 0; k < c.widths.size(); ++k) widths[k][0] = c.widths[k];
        }
        Inst* inst = h.desc()->pCreateInstance("m1", h.si(), nullptr, c.nTerms, widths.get(), terms.get(), 0, nullptr);
        ASSERT_NE(inst, nullptr);

        std::vector<std::string> expected;
        for (const std::string& m : c.messages) expected.push_back(m + kCtx);
        EXPECT_EQ(h.messages(), expected);
        for (const Call& m : h.of(Kind::Message)) {
            EXPECT_EQ(m.code, MessageTypeE_ERROR);
            EXPECT_EQ(m.inst, inst);
        }
        const auto exits = h.of(Kind::SystemRequest);
        EXPECT_EQ(exits.size(), c.messages.size());
        for (const Call& e : exits) {
            EXPECT_EQ(e.text, "exit");
            EXPECT_EQ(e.code, 1);
        }
        const int bound = std::min(c.nTerms, 6);
        EXPECT_EQ(inst->numOfPorts, 6);
        for (int k = 0; k < 6; ++k) EXPECT_EQ(inst->pPorts[k], k < bound ? h.terminals[k] : nullptr) << k;
        h.desc()->pDestroyDevice(inst);
    }
}

TEST(TorvexCoreInstance, CreationRecord)
{
    Host h;
    h.temperatureK = 312.5;
    Inst parent{};
    Inst* inst = h.desc()->pCreateInstance("m1", h.si(), &parent, 6, nullptr, h.terminals.data(), 0, nullptr);
    const char* name = inst->instName;
    EXPECT_STREQ(name, "m1");
    EXPECT_EQ(inst->fullName, nullptr);
    EXPECT_EQ(inst->pParent, &parent);
    EXPECT_EQ(inst->pSimInterface, h.si());
    EXPECT_EQ(inst->pModuleDescriptor, h.desc());
    EXPECT_EQ(inst->numOfStateVars, 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(inst->pStateVars[i], nullptr);
    EXPECT_EQ(inst->numOfChildren, 0);
    EXPECT_EQ(inst->pChildren, nullptr);
    EXPECT_EQ(inst->numOfNoiseSrcs, 0);
    EXPECT_EQ(inst->numOfEvents, 0);
    EXPECT_EQ(inst->pEvents, nullptr);
    EXPECT_EQ(inst->numOfReserved, 0);
    EXPECT_EQ(inst->pFileDescList, nullptr);
    EXPECT_NE(inst->pPrivateInfo, nullptr);
    EXPECT_EQ(probe::recompute(inst), 1);
    for (int pos = 0; pos < 6; ++pos) EXPECT_EQ(probe::op(inst, pos), nullptr);
    // Creation asks the host for nothing but the temperature.
    ASSERT_EQ(h.calls.size(), 1u);
    EXPECT_EQ(h.calls[0].kind, Kind::Temperature);
    h.desc()->pDestroyDevice(inst);
}

TEST(TorvexCoreInstance, FinalizeCreatesNodesOperatorsAndDisciplinesOnce)
{
    Host h;
    Inst* inst = h.create();
    h.calls.clear();
    probe::setRecompute(inst, 1);
    h.desc()->pFinalizeTopology(inst, h.cbInfo);

    std::vector<std::string> nodes;
    for (const Call& c : h.of(Kind::SetupNode)) {
        nodes.push_back(c.text);
        EXPECT_EQ(c.extra, h.cbInfo);
    }
    const std::vector<std::string> expectedNodes = {"CORE_B1",  "CORE_B2",  "CORE_ID",  "IB_DIODE1",
                                                    "IB_DIODE3", "_opddt10", "_opddt11", "_opddt12",
                                                    "_opddt7",  "_opddt8",  "_opddt9"};
    EXPECT_EQ(nodes, expectedNodes);
    const auto setup = h.of(Kind::SetupNode);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(inst->pStateVars[i], setup[i].sv[0]);
    for (int pos = 0; pos < 6; ++pos) EXPECT_NE(probe::op(inst, pos), nullptr);

    std::vector<std::string> disc;
    for (const Call& c : h.of(Kind::Discipline)) {
        disc.push_back(c.text);
        auto* d = static_cast<const VXR160_DisciplineDescriptor*>(c.extra);
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
    EXPECT_EQ(h.calls.size(), 22u);
    EXPECT_EQ(probe::recompute(inst), 1);
    EXPECT_EQ(probe::chdir(inst), 1);

    // A second finalization creates nothing and leaks nothing.
    h.calls.clear();
    void* op0 = probe::op(inst, 0);
    h.desc()->pFinalizeTopology(inst, h.cbInfo);
    EXPECT_TRUE(h.calls.empty());
    EXPECT_EQ(probe::op(inst, 0), op0);
    h.desc()->pDestroyDevice(inst);
}

TEST(TorvexCoreInstance, StampBeforeFinalizeRequestsNothing)
{
    Host h;
    Inst* inst = h.create();
    h.calls.clear();
    h.desc()->pSetStamp(inst, h.cbInfo);
    EXPECT_TRUE(h.calls.empty());
    h.desc()->pDestroyDevice(inst);
}

TEST(TorvexCoreInstance, StampSequence)
{
    Host h;
    Inst* inst = h.create();
    h.desc()->pFinalizeTopology(inst, h.cbInfo);
    std::map<std::string, const SV*> branch; // operator name -> branch variable
    for (const Call& c : h.of(Kind::SetupNode)) branch[c.text] = c.sv[0];
    h.calls.clear();
    h.desc()->pSetStamp(inst, h.cbInfo);
    const std::vector<Call>& calls = h.calls;
    ASSERT_EQ(calls.size(), 33u + 20 + 8 + 71 + 35 + 6 * 3);

    // Step 1: the 33 doublets in index order, rows on the operators' branches.
    for (int i = 0; i < 33; ++i) {
        std::string n[4];
        int dep;
        probe::entry(4, i, n, &dep);
        const Call& c = calls[i];
        EXPECT_EQ(c.kind, Kind::Doublet);
        EXPECT_EQ(c.sv[0], branch[n[0]]) << i;
        EXPECT_EQ(names(h, c, 3), n[0] + "," + n[1] + "," + n[2]) << i;
        EXPECT_EQ(c.target, DDT_ENTRY);
        EXPECT_EQ(c.dep, NONLIN_DEP);
        EXPECT_EQ(probe::handle(inst, 4, i), c.handle) << i;
    }

    // Steps 2 to 5: each group sorted by node names, handles stored by index.
    struct Group {
        Kind kind;
        int array, count, nodes, target;
    };
    const Group groups[] = {{Kind::RhsPair, 0, 20, 2, -1},
                            {Kind::RhsPairQ, 1, 8, 2, -1},
                            {Kind::Quartet, 2, 71, 4, DC_ENTRY},
                            {Kind::Quartet, 3, 35, 4, DDT_ENTRY}};
    size_t at = 33;
    std::map<std::string, void*> handleOf[4];
    for (const Group& g : groups) {
        std::vector<std::string> seen;
        for (int k = 0; k < g.count; ++k, ++at) {
            const Call& c = calls[at];
            ASSERT_EQ(c.kind, g.kind) << at;
            EXPECT_EQ(c.target, g.target) << at;
            std::vector<std::string> key;
            for (int i = 0; i < g.nodes; ++i) key.push_back(h.nameOf(c.sv[i]));
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
        EXPECT_EQ(calls[at].kind, Kind::RhsPair);
        EXPECT_EQ(calls[at].sv[0], branch[ops[p]]);
        EXPECT_EQ(calls[at + 1].kind, Kind::RhsPairQ);
        EXPECT_EQ(calls[at + 2].kind, Kind::Doublet);
        EXPECT_EQ(calls[at + 2].target, DC_ENTRY);
    }
    h.desc()->pDestroyDevice(inst);
}

TEST(TorvexCoreInstance, MemorySlotsLeaveTheRecordAlone)
{
    Host h;
    Inst* inst = h.createReady();
    probe::setRecompute(inst, 0);
    h.calls.clear();
    h.desc()->pResetMemoryStates(inst);
    h.desc()->pTranAcceptPoint(inst, nullptr);
    EXPECT_EQ(probe::recompute(inst), 0);
    EXPECT_TRUE(h.calls.empty());
    h.desc()->pDestroyDevice(inst);
}

TEST(TorvexCoreInstance, DeviceStateRoundTrip)
{
    using FreeState = void (*)(VXR160_DeviceState*);
    auto freeState = reinterpret_cast<FreeState>(lib().sym("VXR_freeDeviceState"));
    ASSERT_NE(freeState, nullptr);

    Host h;
    Inst* inst = h.createReady();
    VXR160_DeviceState* st = h.desc()->pGetDeviceState(inst);
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(st->numOfOperatorStates, 15);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(st->pOperatorState[i], nullptr) << i;
    EXPECT_EQ(st->numOfEventStates, 0);
    EXPECT_EQ(st->pChildState, nullptr);
    EXPECT_EQ(st->pDevice, inst);
    ASSERT_NE(st->pPrivateInfo, nullptr);
    auto** block = static_cast<void**>(st->pPrivateInfo);
    EXPECT_EQ(block[1], nullptr);
    auto serialize = reinterpret_cast<int (*)(void*, void*, int)>(block[0]);
    EXPECT_EQ(serialize(nullptr, nullptr, 5), 5);

    probe::setRecompute(inst, 0);
    h.desc()->pRestoreDeviceState(inst, st);
    EXPECT_EQ(probe::recompute(inst), 1);

    // States this module did not make are not read.
    probe::setRecompute(inst, 0);
    h.desc()->pRestoreDeviceState(inst, nullptr);
    EXPECT_EQ(probe::recompute(inst), 1);
    VXR160_DeviceState small{};
    void* slots[3] = {};
    small.numOfOperatorStates = 3;
    small.pOperatorState = slots;
    h.desc()->pRestoreDeviceState(inst, &small);

    freeState(st);
    h.desc()->pDestroyDevice(inst);
}

TEST(TorvexCoreInstance, DestroyAtEveryStage)
{
    // LeakSanitizer (sanitizer build) reports any block left behind.
    Host h;
    h.desc()->pDestroyDevice(h.create());
    Inst* finalized = h.create();
    h.desc()->pFinalizeTopology(finalized, h.cbInfo);
    h.desc()->pDestroyDevice(finalized);
    h.desc()->pDestroyDevice(h.createReady({realAssn("RTH", 2.0)}));
    h.desc()->pDestroyDevice(nullptr);
}
