// Terminal binding, port checks and isolated ports.
#include <gtest/gtest.h>
#include <memory>

#include "VXR_ParamsData.h"
#include "fixture_module.h"
#include "recording_host.h"

namespace {

using vxrtest::InstanceRecord;
using vxrtest::RecordingHost;
using vxrtest::withInstance;

class Ports : public ::testing::Test {
protected:
    RecordingHost host;
    VXR_ModuleDescriptor md = fixtureDescriptor();
    std::vector<VXR_StateVar*> given;

    // n given terminals t0..t(n-1), in a block of exactly n slots.
    std::unique_ptr<VXR_StateVar*[]> terms(VXR_DeviceInst* parent, int n)
    {
        std::unique_ptr<VXR_StateVar*[]> t(new VXR_StateVar*[static_cast<size_t>(n)]);
        for (int k = 0; k < n; ++k) {
            t[k] = host.stateVar("t", parent, k);
            given.push_back(t[k]);
        }
        return t;
    }

    // Binds EXT, INT, BULK in order with one cursor, as a module's creation does.
    int bindAll(InstanceRecord& ti, VXR_StateVar** t, int (*w)[3], int n, int index = 0, int range = 0)
    {
        int cursor = 0;
        const char* names[] = {"EXT", "INT", "BULK"};
        for (int p = 0; p < 3; ++p)
            VXR_AssignScalarPort(&ti.inst, names[p], p, t, w, p, n, &cursor, index, range);
        return cursor;
    }
};

TEST_F(Ports, TooFewTermsLeaveUnconnectedPorts)
{
    InstanceRecord ti(host, "few", &md, 3);
    auto t = terms(&ti.inst, 2);
    EXPECT_EQ(bindAll(ti, t.get(), nullptr, 2), 2);
    EXPECT_EQ(ti.ports[0], given[0]);
    EXPECT_EQ(ti.ports[1], given[1]);
    EXPECT_EQ(ti.ports[2], UNCONNECTED_SV);

    // With width records for the two given terminals only: nothing is read
    // past them (the arrays are exactly two long).
    InstanceRecord tw(host, "fewW", &md, 3);
    std::unique_ptr<int[][3]> w(new int[2][3]{{0, 0, 0}, {0, 0, 0}});
    VXR_reportPortMismatch(2, 3, host.sim(), &tw.inst);
    EXPECT_EQ(bindAll(tw, t.get(), w.get(), 2), 2);
    EXPECT_EQ(tw.ports[2], UNCONNECTED_SV);

    InstanceRecord none(host, "none", &md, 3);
    EXPECT_EQ(bindAll(none, nullptr, nullptr, 0), 0);
    for (VXR_StateVar* p : none.ports)
        EXPECT_EQ(p, UNCONNECTED_SV);
    EXPECT_EQ(host.messageTexts(MessageTypeE_ERROR),
              (std::vector<std::string>{withInstance(VXR_REVISION == 187
                                                         ? "Expected 3 ports; received at least 2 ports instead."
                                                         : "Expected 3 ports; received 2 ports instead.",
                                                     "fewW", "fixmod")}));
    EXPECT_EQ(host.exitRequests(), 1);
}

TEST_F(Ports, TooManyTermsBindTheFirst)
{
    InstanceRecord ti(host, "many", &md, 3);
    auto t = terms(&ti.inst, 4);
    std::unique_ptr<int[][3]> w(new int[4][3]{});
    EXPECT_EQ(bindAll(ti, t.get(), w.get(), 4), 3);
    EXPECT_EQ(ti.ports[2], given[2]);
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(Ports, WidthRecordsOnScalarPorts)
{
    InstanceRecord ti(host, "wid", &md, 3);
    auto t = terms(&ti.inst, 3);
    std::unique_ptr<int[][3]> w(new int[3][3]{{2, 0, 1}, {-1, 0, 0}, {0, 0, 0}});
    EXPECT_EQ(bindAll(ti, t.get(), w.get(), 3), 3);
    EXPECT_EQ(ti.ports[0], given[0]); // bound as the host passed it
    EXPECT_EQ(ti.ports[2], given[2]);
#if VXR_REVISION == 187
    EXPECT_EQ(ti.ports[1], UNCONNECTED_SV); // width -1: marked, silently
    EXPECT_EQ(t[1], UNCONNECTED_SV);
    EXPECT_EQ(host.messageTexts(MessageTypeE_WARNING),
              (std::vector<std::string>{withInstance("Scalar terminal 'EXT' received a vector.", "wid", "fixmod"),
                                        "\n"}));
    EXPECT_EQ(host.exitRequests(), 0);
    // The same warning again (same port, widths and instance) is dropped,
    // and so is the newline message.
    bindAll(ti, t.get(), w.get(), 3);
    EXPECT_EQ(host.messages().size(), 2u);
#else
    EXPECT_EQ(ti.ports[1], given[1]);
    EXPECT_EQ(host.messageTexts(MessageTypeE_ERROR),
              (std::vector<std::string>{withInstance("Scalar terminal 'EXT' received a vector.", "wid", "fixmod"),
                                        withInstance("Scalar terminal 'INT' received a vector.", "wid", "fixmod")}));
    EXPECT_EQ(host.exitRequests(), 2);
#endif
}

TEST_F(Ports, WidthMismatchTexts)
{
    InstanceRecord ti(host, "wtext", &md, 3);
#if VXR_REVISION == 187
    VXR_reportWidthMismatch("v", -1, 4, nullptr, host.sim(), &ti.inst); // no slot: nothing to mark
    EXPECT_TRUE(host.messages().empty());
    VXR_reportWidthMismatch("v", 0, 4, nullptr, host.sim(), &ti.inst);
    VXR_reportWidthMismatch("v", 2, 4, nullptr, host.sim(), &ti.inst);
    const auto type = MessageTypeE_WARNING;
#else
    VXR_reportWidthMismatch("v", 0, 4, host.sim(), &ti.inst);
    VXR_reportWidthMismatch("v", 2, 4, host.sim(), &ti.inst);
    const auto type = MessageTypeE_ERROR;
#endif
    const auto texts = host.messageTexts(type);
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[0], withInstance("Vector terminal 'v' received a scalar.", "wtext", "fixmod"));
    EXPECT_EQ(texts.back(),
              withInstance("Vector terminal 'v' expected width of 4, received 2 instead.", "wtext", "fixmod"));
    EXPECT_EQ(host.exitRequests(), VXR_REVISION == 187 ? 0 : 2);
}

TEST_F(Ports, InstanceArrays)
{
    InstanceRecord ti(host, "arr2", &md, 3);
    // Each given terminal is a vector of four state variables.
    std::vector<VXR_StateVar*> vecs[3];
    std::unique_ptr<VXR_StateVar*[]> t(new VXR_StateVar*[3]);
    for (int p = 0; p < 3; ++p) {
        for (int k = 0; k < 4; ++k)
            vecs[p].push_back(host.stateVar("e", nullptr, 10 * p + k));
        t[p] = reinterpret_cast<VXR_StateVar*>(vecs[p].data());
    }
    std::unique_ptr<int[][3]> w(new int[3][3]{{4, 0, 3}, {3, 0, 2}, {0, 0, 0}});
    EXPECT_EQ(bindAll(ti, t.get(), w.get(), 3, 2, 4), 3);
    EXPECT_EQ(ti.ports[0], vecs[0][2]); // element index of the vector
    EXPECT_EQ(ti.ports[1], nullptr);    // width 3 for an array of 4: reported, left unbound
    EXPECT_EQ(ti.ports[2], t[2]);       // scalar connection: the terminal itself
    EXPECT_EQ(host.messageTexts(MessageTypeE_ERROR),
              (std::vector<std::string>{withInstance(
                  "Instance array has '4' elements but scalar port 'INT' received a vector with '3' elements.", "arr2",
                  "fixmod")}));
    EXPECT_EQ(host.exitRequests(), 1);

    host.clearLog();
    VXR_reportInstanceArrayError("bus", 3, 2, 4, host.sim(), &ti.inst);
    EXPECT_EQ(host.messageTexts(MessageTypeE_ERROR),
              (std::vector<std::string>{withInstance("Instance array has '4' elements but vector port 'bus' with size "
                                                     "'2' received a vector with '3' elements.",
                                                     "arr2", "fixmod")}));
}

TEST_F(Ports, PositionMatchNeverReadsMarkers)
{
    VXR_DeviceInst a{}, b{};
    VXR_StateVar* x = host.stateVar("x", &a, 1);
    VXR_StateVar* y = host.stateVar("y", &a, 1);
    VXR_StateVar* z = host.stateVar("z", &a, 2);
    VXR_StateVar* u = host.stateVar("u", &b, 1);
    VXR_StateVar* const U = UNCONNECTED_SV;
    VXR_StateVar* const M = VXR_NO_NODE_SV;
    const struct {
        VXR_StateVar* p;
        VXR_StateVar* q;
        int match;
    } cases[] = {
        {nullptr, nullptr, 1}, {x, nullptr, 0}, {nullptr, x, 0}, {x, y, 1}, {x, z, 0}, {x, u, 0},
        {U, U, 1},             {M, M, 1},       {U, M, 0},       {U, x, 0}, {x, M, 0}, {M, nullptr, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VXR_svPosMatch(c.p, c.q), c.match);
}

#if VXR_REVISION == 187
TEST_F(Ports, UnconnectedTerminalBecomesIsolatedNode)
{
    host.ownNodeNames(true); // isolated port names are the runtime's allocations
    InstanceRecord ti(host, "iso", &md, 3);
    auto t = terms(&ti.inst, 2);
    bindAll(ti, t.get(), nullptr, 2);
    int cb = 0;
    VXR_CreateIsolatedPorts(&ti.inst, &cb);
    ASSERT_EQ(host.nodes().size(), 1u);
    EXPECT_EQ(host.nodes()[0].name, "BULK");
    EXPECT_EQ(host.nodes()[0].inst, &ti.inst);
    EXPECT_EQ(host.nodes()[0].info, VXR_NODAL_INFO_NONE);
    EXPECT_EQ(host.nodes()[0].callbackInfo, &cb);
    EXPECT_EQ(ti.ports[2], host.nodes()[0].sv);
    EXPECT_TRUE(ti.ports[2]->isIsolatedPort);
    EXPECT_EQ(ti.ports[0], given[0]);
    EXPECT_FALSE(given[0]->isIsolatedPort);
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(Ports, IsolatedVectorElementsAndDiscreteTerminals)
{
    // Terminals: a (port 0), p (vector 0, [3:0]), d (port 1, discrete), q (no slots).
    const char* names[] = {"a", "p", "d", "q"};
    const int indices[] = {-1, 1, -2, 0};
    const NetTypeE domains[] = {CONTINUOUS_NET, UNSPECIFIED_TYPE, DISCRETE_REG, CONTINUOUS_NET};
    md.numOfTerminals = 4;
    md.terminalNames = names;
    md.terminalIndices = indices;
    md.terminalDomain = domains;
    host.ownNodeNames(true);
    InstanceRecord ti(host, "vec", &md, 2);
    VXR_StateVar* elems[4] = {host.stateVar("p0", &ti.inst, 0), UNCONNECTED_SV,
                              host.stateVar("p2", &ti.inst, 2), UNCONNECTED_SV};
    VXR_Vector vec{elems, 3, 0};
    ti.inst.numOfVectors = 1;
    ti.inst.pVectors = &vec;
    ti.ports[0] = UNCONNECTED_SV;
    ti.ports[1] = UNCONNECTED_SV;

    VXR_CreateIsolatedPorts(&ti.inst, nullptr);
    ASSERT_EQ(host.nodes().size(), 3u);
    EXPECT_EQ(host.nodes()[0].name, "a");
    EXPECT_EQ(host.nodes()[1].name, "p1"); // element position, not declared index
    EXPECT_EQ(host.nodes()[2].name, "p3");
    EXPECT_EQ(ti.ports[0], host.nodes()[0].sv);
    EXPECT_EQ(elems[1], host.nodes()[1].sv);
    EXPECT_EQ(elems[3], host.nodes()[2].sv);
    EXPECT_EQ(elems[0]->varName, std::string("p0"));
    EXPECT_EQ(ti.ports[1], VXR_NO_NODE_SV);
    EXPECT_TRUE(elems[3]->isIsolatedPort);
}

TEST_F(Ports, TerminalSlotQuery)
{
    const int indices[] = {-2, 1, 0};
    md.terminalIndices = indices;
    InstanceRecord ti(host, "sz", &md, 2);
    VXR_StateVar* elems[3] = {};
    VXR_Vector vec{elems, -1, 1};
    ti.inst.numOfVectors = 1;
    ti.inst.pVectors = &vec;

    int size = -7;
    VXR_StateVar** slots = nullptr;
    EXPECT_EQ(getSV_SizePtr(&ti.inst, 0, &size, &slots), 0);
    EXPECT_EQ(size, 1);
    EXPECT_EQ(slots, &ti.inst.pPorts[1]);
    EXPECT_EQ(getSV_SizePtr(&ti.inst, 1, &size, &slots), 1);
    EXPECT_EQ(size, 3);
    EXPECT_EQ(slots, elems);
    size = -7;
    slots = nullptr;
    EXPECT_EQ(getSV_SizePtr(&ti.inst, 2, &size, &slots), 0);
    EXPECT_EQ(size, -7);
    EXPECT_EQ(slots, nullptr);
}
#endif

} // namespace
