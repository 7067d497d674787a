// Mixed-signal values: logic comparisons, D2A events and net export
// through the recording host's mixed-signal loader.
#include <gtest/gtest.h>

#include "VXR_ParamsData.h"
#include "allocation_sweep.h"
#include "recording_host.h"

#if VXR_REVISION == 187

namespace {

using vxrtest::InstanceRecord;
using vxrtest::RecordingHost;

LogicNumber logic(int size, int a, int b)
{
    LogicNumber n{0, 0, 0, 77};
    VXR_initLogic(&n, size, a, b);
    return n;
}

TEST(Logic, ComparisonsUnderTheThreeCaseKinds)
{
    struct Case {
        LogicNumber p1, p2;
        CaseTypeE type;
        int equal;
    };
    const Case cases[] = {
        {logic(1, 1, 0), logic(1, 0, 0), CASE_, 0},
        {logic(4, 5, 0), logic(4, 5, 0), CASE_, 1},
        {logic(0, 1, 1), logic(0, 0, 0), CASE_, 1},   // no bits compared
        {logic(2, 6, 0), logic(3, 2, 0), CASE_, 0},   // the larger size counts
        {logic(2, 6, 0), logic(2, 2, 0), CASE_, 1},   // bit 2 is outside two bits
        {logic(-1, 1 << 31, 0), logic(-2, 0, 0), CASE_, 0}, // negative size: all 32 bits
        {logic(-1, 1 << 31, 0), logic(1, 0, 0), CASE_, 1},  // the larger size is 1
        {logic(1, 1, 1), logic(1, 0, 0), CASE_X, 1},  // x in the first operand matches
        {logic(1, 0, 0), logic(1, 1, 1), CASE_X, 0},  // ... but not in the second
        {logic(1, 1, 1), logic(1, 0, 0), CASE_, 0},
        {logic(1, 0, 0), logic(1, 0, 1), CASE_Z, 1},  // z in either operand matches
        {logic(1, 0, 1), logic(1, 1, 0), CASE_Z, 1},
        {logic(1, 0, 0), logic(1, 1, 1), CASE_Z, 0},  // x does not
        {logic(2, 1, 2), logic(2, 3, 0), CASE_Z, 1},
        {logic(2, 1, 2), logic(2, 0, 0), CASE_Z, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VXR_compareLogic(&c.p1, &c.p2, c.type), c.equal)
            << "{" << c.p1.size << "," << c.p1.aVal << "," << c.p1.bVal << "} {" << c.p2.size << "," << c.p2.aVal
            << "," << c.p2.bVal << "} kind " << c.type;
    LogicNumber n = logic(1, 2, 3);
    EXPECT_EQ(n.dummy, 77); // initLogic leaves dummy alone
    EXPECT_EQ(VXR_initLogic(&n, 8, 5, 0), &n);

    // Integers are 31 bits wide.
    const int bits0_2_31 = static_cast<int>(0x80000005u);
    const LogicNumber byte = logic(8, 5, 0), word = logic(32, 5, 0);
    EXPECT_EQ(VXR_compareLogInt(&byte, 5, CASE_), 1);
    EXPECT_EQ(VXR_compareLogInt(&byte, bits0_2_31, CASE_), 1);
    EXPECT_EQ(VXR_compareLogInt(&word, bits0_2_31, CASE_), 0);
    EXPECT_EQ(VXR_compareLogInt(&word, 5, CASE_), 1);
    const LogicNumber xLow = logic(4, 7, 1);
    EXPECT_EQ(VXR_compareLogInt(&xLow, 6, CASE_X), 1);
    EXPECT_EQ(VXR_compareLogInt(&xLow, 6, CASE_), 0);
}

class MixedSignal : public ::testing::Test {
protected:
    RecordingHost host;
    InstanceRecord ti{host, "d1", "amsmod"};
    VXR_DeviceInst* inst = &ti.inst;
    void SetUp() override
    {
        vxr_test::resetAllocationProbe();
        host.recordMixedSignal();
        host.setExportSlots(3);
    }
};

TEST_F(MixedSignal, ExportWritesTheSlotOrLeavesItToTheEnvelope)
{
    VXR_StateVar* a = host.terminal("a");
    VXR_StateVar* b = host.terminal("b");
    host.setSolution(a, 5.0);
    host.setSolution(b, 1.5);
    VXR_ExportNet(0, a, b, host.loader(), inst);
    VXR_ExportNet(1, nullptr, b, host.loader(), inst);
    VXR_ExportNet(2, nullptr, nullptr, host.loader(), inst);
    EXPECT_EQ(host.a2dSlots(), (std::vector<double>{3.5, -1.5, 0.0}));
    EXPECT_EQ(host.trace(), (std::vector<std::string>{"getSol a -> 5", "getSol b -> 1.5", "getSol b -> 1.5"}));
    VXR_ExportNet(2, a, nullptr, host.loader(), inst);
    EXPECT_EQ(host.a2dSlots()[2], 5.0);

    host.clearLog();
    host.setEnvelope(4);
    VXR_ExportNet(2, a, b, host.loader(), inst);
    EXPECT_EQ(host.trace(), (std::vector<std::string>{"getEnvSol 8 (a, b)"}));
    EXPECT_EQ(host.envSols()[0].inst, inst);
    EXPECT_EQ(host.a2dSlots()[2], 5.0);
}

TEST_F(MixedSignal, ImportedArrayRefreshAscendsThroughTheLoader)
{
    VXR_Array* d = digitalArray(4, 2, inst, "coef", 2, 0);
    host.setD2AElement(0, 1.5);
    host.setD2AElement(2, -1.0);
    d->_contentsModified = 0;
    doSyncDigitalArray(d, inst, host.loader());
    EXPECT_EQ(host.trace(), (std::vector<std::string>{"getD2ARealElement import=2 offset=4 [0]",
                                                      "getD2ARealElement import=2 offset=4 [1]",
                                                      "getD2ARealElement import=2 offset=4 [2]"}));
    EXPECT_EQ(host.members()[0], "pGetD2A_RealElement");
    EXPECT_EQ(std::vector<double>(d->_data._pReal, d->_data._pReal + 3), (std::vector<double>{1.5, 0.0, -1.0}));
    EXPECT_TRUE(d->_contentsModified);
    d->_contentsModified = 0;
    doSyncDigitalArray(d, inst, host.loader());
    EXPECT_FALSE(d->_contentsModified); // nothing changed
    VXR_freeArray(d);
}

TEST_F(MixedSignal, D2AEventLivesInTheInstancesEventList)
{
    VXR_EventDesc* ev = VXR_createSimEvent_D2A(inst);
    ASSERT_NE(ev, nullptr);
    EXPECT_EQ(ev->name, nullptr);
    EXPECT_EQ(ev->pParent, inst);
    EXPECT_EQ(ev->eventType, VXR_EVT_D2A);
    EXPECT_EQ(ev->pPrivateInfo, nullptr);
    inst->numOfEvents = 1;
    inst->pEvents = static_cast<VXR_EventDesc**>(VXR_calloc(1, sizeof(VXR_EventDesc*), host.sim(), inst, nullptr));
    inst->pEvents[0] = ev;
    VXR_destroyEvents(inst);
    EXPECT_EQ(vxr_test::liveBlocks(), 0);

    vxr_test::failAllocationAfter(0);
    EXPECT_EQ(VXR_createSimEvent_D2A(inst), nullptr);
    vxr_test::failAllocationAfter(-1);
    vxr_test::expectOutOfMemoryReported(host);
}

} // namespace

#endif // VXR_REVISION == 187
