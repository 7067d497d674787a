// Hierarchy walks, saving/restoring/freeing device states, child and event
// teardown, on a three-level fixture with one empty child slot.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "VXR_SupportLib.h"
#include "VXR_Op142.h"
#include "recording_host.h"

namespace {

std::vector<std::string> g_calls;
int g_opFrees = 0;

const char* nameOf(VXR_DeviceInst* inst) { return inst->instName; }

void finalize(VXR_DeviceInst* inst, void* cb) {
    g_calls.push_back(std::string("fin:") + nameOf(inst) + (cb ? "+cb" : ""));
}
void setStamp(VXR_DeviceInst* inst, void*) { g_calls.push_back(std::string("stamp:") + nameOf(inst)); }
void checkRange(VXR_DeviceInst* inst, VXR_ErrorLog* log) {
    g_calls.push_back(std::string("range:") + nameOf(inst));
    if (log->length < log->maxLength) {
        log->errorInst[log->length] = inst;
        log->errorStr[log->length++] = const_cast<char*>("P1");
    }
}
void forceExec(VXR_DeviceInst* inst, int force) {
    g_calls.push_back(std::string("force:") + nameOf(inst) + ":" + std::to_string(force));
}

#if VXR_REVISION != 142
void freeOp(VXR_GenericOperatorState* op) {
    ++g_opFrees;
    VXR_free(op);
}
#endif

// A saved operator state of the fixture: a header and one value.
struct OpState {
    VXR_GenericOperatorState hdr;
    double value;
};

VXR_DeviceState* getState(VXR_DeviceInst* inst) {
    VXR_SimInterface* si = inst->pSimInterface;
    auto* st = static_cast<VXR_DeviceState*>(VXR_calloc(1, sizeof(VXR_DeviceState), si, inst, nullptr));
    st->pPrivateInfo = VXR_calloc(2, sizeof(void*), si, inst, nullptr);
    st->numOfOperatorStates = 2;
    st->pOperatorState = static_cast<void**>(VXR_calloc(2, sizeof(void*), si, inst, nullptr));
#if VXR_REVISION == 142
    // Host objects are host allocations; the runtime's own records are not.
    auto* op = static_cast<OpState*>(std::calloc(1, sizeof(OpState)));
    op->hdr.opStateType = VXR_DELAY_SPEC;
    auto* idt = static_cast<OpState*>(VXR_calloc(1, sizeof(OpState), si, inst, nullptr));
    idt->hdr.opStateType = VXR_IDT_STATE;
    st->pOperatorState[1] = idt;
#else
    auto* op = static_cast<OpState*>(VXR_calloc(1, sizeof(OpState), si, inst, nullptr));
    op->hdr.opStateType = VXR_IDT_STATE;
    op->hdr.pFreeSelf = freeOp;
#endif
    st->pOperatorState[0] = op;
    st->numOfEventStates = inst->numOfEvents;
    st->pEventState = static_cast<void**>(
        VXR_calloc(static_cast<size_t>(inst->numOfEvents), sizeof(void*), si, inst, nullptr));
    st->pDevice = inst;
    VXR_SaveEvents(inst, st);
    VXR_SaveChildren(inst, st);
    return st;
}

void restoreState(VXR_DeviceInst* inst, VXR_DeviceState* st) {
    g_calls.push_back(std::string("restore:") + nameOf(inst));
    VXR_RestoreEvents(inst, st);
    VXR_RestoreChildren(inst, st);
}

#if VXR_REVISION != 142
void destroyInst(VXR_DeviceInst* inst) {
    g_calls.push_back(std::string("destroy:") + nameOf(inst));
    VXR_destroyChildren(inst);
    VXR_destroyEvents(inst);
    VXR_free(inst);
}
#endif

VXR_ModuleDescriptor makeDescriptor() {
    VXR_ModuleDescriptor d;
    std::memset(&d, 0, sizeof d);
    d.moduleName = "fixture";
    d.pFinalizeTopology = finalize;
    d.pSetStamp = setStamp;
    d.pCheckRange = checkRange;
    d.pForceExecInvarCode = forceExec;
    d.pGetDeviceState = getState;
    d.pRestoreDeviceState = restoreState;
#if VXR_REVISION != 142
    d.pDestroyDevice = destroyInst;
#endif
    return d;
}

VXR_ModuleDescriptor g_desc = makeDescriptor();

VXR_DeviceInst* makeInst(VXR_SimInterface* si, const char* name, int nChildren) {
    auto* inst = static_cast<VXR_DeviceInst*>(VXR_calloc(1, sizeof(VXR_DeviceInst), si, nullptr, nullptr));
    inst->instName = name;
    inst->pSimInterface = si;
    inst->pModuleDescriptor = &g_desc;
    inst->numOfChildren = nChildren;
    inst->pChildren =
        static_cast<VXR_DeviceInst**>(VXR_calloc(static_cast<size_t>(nChildren), sizeof(void*), si, inst, nullptr));
    return inst;
}

VXR_EventDesc* addEvent(VXR_DeviceInst* inst, int slot, VXR_EventTypeE type, void* priv) {
    auto* ev = static_cast<VXR_EventDesc*>(VXR_calloc(1, sizeof(VXR_EventDesc), inst->pSimInterface, inst, nullptr));
    ev->pParent = inst;
    ev->eventType = type;
    ev->pPrivateInfo = priv;
    inst->pEvents[slot] = ev;
    return ev;
}

using vxrtest::Call;
using vxrtest::RecordingHost;

struct Fixture : ::testing::Test {
    RecordingHost host;
    VXR_SimInterface* si = host.sim();
    VXR_DeviceInst *p = nullptr, *c1 = nullptr, *g1 = nullptr;
    VXR_TimerInfo* timer = nullptr;
    VXR_EventDesc* cross = nullptr;

    void SetUp() override {
        g_calls.clear();
        g_opFrees = 0;
        // P -> [C1, NULL], C1 -> [G1]
        p = makeInst(si, "P", 2);
        c1 = makeInst(si, "C1", 1);
        g1 = makeInst(si, "G1", 0);
        p->pChildren[0] = c1;
        c1->pChildren[0] = g1;
        c1->pParent = p;
        g1->pParent = c1;
        // P's events: a timer, a crossing, an initial step, an empty slot.
        p->numOfEvents = 4;
        p->pEvents = static_cast<VXR_EventDesc**>(VXR_calloc(4, sizeof(void*), si, p, nullptr));
        timer = static_cast<VXR_TimerInfo*>(VXR_calloc(1, sizeof(VXR_TimerInfo), si, p, nullptr));
        timer->_stateInfo = {VXR_EVT_TIMER, static_cast<int>(sizeof(VXR_TimerInfo))};
        timer->_nextEventTime = 1e-3;
        timer->_timerStarted = 1;
        addEvent(p, 0, VXR_EVT_TIMER, timer);
        cross = addEvent(p, 1, VXR_EVT_CROSSING, nullptr);
        addEvent(p, 2, VXR_EVT_INITIAL_STEP, VXR_calloc(1, sizeof(VXR__xStepInfo), si, p, nullptr));
    }

    void TearDown() override {
#if VXR_REVISION == 142
        // No destroy slot in this revision: free the fixture by hand.
        for (VXR_DeviceInst* inst : {g1, c1, p}) {
            VXR_free(inst->pChildren);
            inst->numOfChildren = 0;
            VXR_destroyEvents(inst);
            VXR_free(inst);
        }
#else
        p->pModuleDescriptor->pDestroyDevice(p);
        EXPECT_EQ(g_calls.back(), "destroy:G1");
#endif
    }
};

TEST_F(Fixture, TopologyAndStampDoNotDescend) {
    int cb = 0;
    VXR_FinalizeTopology(p, &cb);
    VXR_SetStamp(p, nullptr);
    VXR_FinalizeTopology(nullptr, &cb);
    VXR_SetStamp(nullptr, nullptr);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"fin:P+cb", "stamp:P"}));
}

TEST_F(Fixture, RangeCheckAndInvariantsWalkPreOrderIntoOneLog) {
    VXR_DeviceInst* insts[4] = {};
    char* texts[4] = {};
    VXR_ErrorLog log{0, 4, insts, texts};
    VXR_CheckRangeInHierarchy(p, &log);
    VXR_ForceExecInvarInHierarchy(p, 1);
    VXR_CheckRangeInHierarchy(nullptr, &log);
    VXR_ForceExecInvarInHierarchy(nullptr, 0);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"range:P", "range:C1", "range:G1", "force:P:1", "force:C1:1",
                                                 "force:G1:1"}));
    ASSERT_EQ(log.length, 3);
    EXPECT_EQ(insts[0], p);
    EXPECT_EQ(insts[1], c1);
    EXPECT_EQ(insts[2], g1);
}

TEST_F(Fixture, SaveRestoreAndFreeTheWholeTree) {
    VXR_DeviceState* st = p->pModuleDescriptor->pGetDeviceState(p);
    ASSERT_NE(st->pChildState, nullptr);
    ASSERT_NE(st->pChildState[0], nullptr);
    EXPECT_EQ(st->pChildState[1], nullptr);  // the empty child slot
    EXPECT_EQ(st->pChildState[0]->pDevice, c1);
    ASSERT_NE(st->pChildState[0]->pChildState, nullptr);
    EXPECT_EQ(st->pChildState[0]->pChildState[0]->pDevice, g1);
    EXPECT_EQ(st->pChildState[0]->pChildState[0]->pChildState, nullptr);  // G1 has no children

    // Events: a byte copy of the timer, the host's copy of the crossing,
    // nothing for the initial step and the empty slot.
    ASSERT_NE(st->pEventState[0], nullptr);
    EXPECT_NE(st->pEventState[0], static_cast<void*>(timer));
    EXPECT_EQ(std::memcmp(st->pEventState[0], timer, sizeof(VXR_TimerInfo)), 0);
    ASSERT_NE(st->pEventState[1], nullptr);
    EXPECT_EQ(*static_cast<VXR_EventDesc**>(st->pEventState[1]), cross);
    EXPECT_EQ(st->pEventState[2], nullptr);
    EXPECT_EQ(st->pEventState[3], nullptr);

    // Restore puts the timer back and hands the crossing copy to the host.
    const VXR_TimerInfo before = *timer;
    timer->_nextEventTime = 7.0;
    timer->_timerStarted = 0;
    p->pModuleDescriptor->pRestoreDeviceState(p, st);
    EXPECT_EQ(std::memcmp(timer, &before, sizeof before), 0);
    std::vector<void*> restored;
    for (const vxrtest::LogEntry& e : host.entries(Call::RestoreCrossEvent))
        restored.push_back(host.crossEvents()[e.index].saved);
    EXPECT_EQ(restored, (std::vector<void*>{st->pEventState[1]}));
    EXPECT_EQ(g_calls, (std::vector<std::string>{"restore:P", "restore:C1", "restore:G1"}));

    VXR_freeDeviceState(st);
#if VXR_REVISION == 142
    // Each level's delay state went back through the host, by its type.
    ASSERT_EQ(host.hostFrees().size(), 3u);
    for (const vxrtest::HostFreeRecord& f : host.hostFrees()) EXPECT_EQ(f.kind, "delay");
#else
    EXPECT_EQ(g_opFrees, 3);
#endif
    VXR_freeDeviceState(nullptr);
}

TEST_F(Fixture, StateWithoutChildStatesOutlivesItsDevice) {
    // G1's state has no child states: freeing it must not read the device.
    VXR_DeviceState* st = g1->pModuleDescriptor->pGetDeviceState(g1);
    VXR_DeviceInst* dead = makeInst(si, "dead", 0);
    st->pDevice = dead;
    VXR_free(dead->pChildren);
    VXR_free(dead);  // under ASan a later read of it would be reported
#if VXR_REVISION == 142
    // The host object still needs the host table; keep only the runtime record.
    std::free(st->pOperatorState[0]);
    st->pOperatorState[0] = nullptr;
#endif
    VXR_freeDeviceState(st);
}

TEST_F(Fixture, StateWithOnlyEmptyOperatorSlotsFreesArraysAndRecord) {
    auto* st = static_cast<VXR_DeviceState*>(VXR_calloc(1, sizeof(VXR_DeviceState), si, p, nullptr));
    st->numOfOperatorStates = 3;
    st->pOperatorState = static_cast<void**>(VXR_calloc(3, sizeof(void*), si, p, nullptr));
    st->pDevice = p;
    VXR_freeDeviceState(st);
    EXPECT_TRUE(host.hostFrees().empty());
    EXPECT_EQ(g_opFrees, 0);
}

TEST_F(Fixture, SaveEventsStaysInsideTheCallersSlots) {
    auto* st = static_cast<VXR_DeviceState*>(VXR_calloc(1, sizeof(VXR_DeviceState), si, p, nullptr));
    st->numOfEventStates = 1;  // fewer slots than events
    st->pEventState = static_cast<void**>(VXR_calloc(1, sizeof(void*), si, p, nullptr));
    st->pDevice = p;
    VXR_SaveEvents(p, st);
    EXPECT_NE(st->pEventState[0], nullptr);
    VXR_freeDeviceState(st);
}

#if VXR_REVISION == 142
TEST(FreeDeviceState142, HostObjectsByTypeAndUnknownTypeStops) {
    RecordingHost host;
    VXR_SimInterface* si = host.sim();
    VXR_ModuleDescriptor desc = makeDescriptor();
    VXR_DeviceInst inst{};
    inst.instName = "x1";
    inst.pSimInterface = si;
    inst.pModuleDescriptor = &desc;

    const VXR_OperatorStateTypeE types[] = {VXR_DELAY_SPEC, VXR_SLEW_SPEC, VXR_TRANSITION_SPEC,
                                            VXR_POLERES_SPEC, VXR_IDT_STATE, VXR_ZI_STATE};
    auto* st = static_cast<VXR_DeviceState*>(VXR_calloc(1, sizeof(VXR_DeviceState), si, &inst, nullptr));
    st->numOfOperatorStates = 7;
    st->pOperatorState = static_cast<void**>(VXR_calloc(7, sizeof(void*), si, &inst, nullptr));
    st->pDevice = &inst;
    std::vector<void*> hostObjs;
    for (int i = 0; i < 6; ++i) {
        // A zi state is a whole (empty) filter state: its copies go with it.
        const size_t size = types[i] == VXR_ZI_STATE ? sizeof(ziState) : 16;
        auto* op = static_cast<VXR_GenericOperatorState*>(i < 4 ? std::calloc(1, size)
                                                                : VXR_calloc(1, size, si, &inst, nullptr));
        op->opStateType = types[i];
        st->pOperatorState[i] = op;
        if (i < 4) hostObjs.push_back(op);
    }
    VXR_freeDeviceState(st);
    ASSERT_EQ(host.hostFrees().size(), 4u);
    const char* kinds[] = {"delay", "slew", "transition", "poleres"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(host.hostFrees()[i].kind, kinds[i]);
        EXPECT_EQ(host.hostFrees()[i].object, hostObjs[i]);
    }

    EXPECT_DEATH(
        {
            dup2(2, 1);  // the message goes to standard output
            auto* bad = static_cast<VXR_DeviceState*>(VXR_calloc(1, sizeof(VXR_DeviceState), si, &inst, nullptr));
            bad->numOfOperatorStates = 1;
            bad->pOperatorState = static_cast<void**>(VXR_calloc(1, sizeof(void*), si, &inst, nullptr));
            auto* op = static_cast<VXR_GenericOperatorState*>(VXR_calloc(1, 16, si, &inst, nullptr));
            op->opStateType = static_cast<VXR_OperatorStateTypeE>(99);
            bad->pOperatorState[0] = op;
            bad->pDevice = &inst;
            VXR_freeDeviceState(bad);
        },
        "Assertion occuring for 'x1'");
}
#endif

}  // namespace
