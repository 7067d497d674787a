// Net and port vectors through the recording host: port binding, node and
// register-port vectors, part selects for children and the access checks.
#include <gtest/gtest.h>

#include "VXR_ParamsData.h"
#include "allocation_sweep.h"
#include "recording_host.h"

#if VXR_REVISION == 187

namespace {

using vxrtest::InstanceRecord;
using vxrtest::RecordingHost;

class Vectors : public ::testing::Test {
protected:
    RecordingHost host;
    InstanceRecord ti{host, "x1", "vecmod"};
    VXR_DeviceInst* inst = &ti.inst;
    VXR_Vector vecs[3]{};

    void SetUp() override
    {
        vxr_test::resetAllocationProbe();
        host.ownNodeNames(true); // node names are the library's blocks
        inst->numOfVectors = 3;
        inst->pVectors = vecs;
    }
    void TearDown() override
    {
        for (VXR_Vector& v : vecs)
            VXR_free(v.pSVs);
    }

    std::string name(const VXR_StateVar* sv) const
    {
        return sv == UNCONNECTED_SV ? "U" : sv == VXR_NO_NODE_SV ? "-" : host.nameOf(sv);
    }
    std::vector<std::string> slots(const VXR_Vector& v) const
    {
        std::vector<std::string> out;
        for (long long k = 0; v.pSVs && k < VXR_boundPairCount(v.L, v.R); ++k)
            out.push_back(name(v.pSVs[k]));
        return out;
    }
    // Messages as "W: body" / "E: body"; every ERROR must come with one "exit".
    std::vector<std::string> messages() const
    {
        std::vector<std::string> out;
        int errors = 0;
        for (const auto& m : host.messages()) {
            if (m.body == "\n")
                continue; // the width warning's trailing newline message
            errors += m.type == MessageTypeE_ERROR;
            out.push_back((m.type == MessageTypeE_ERROR ? "E: " : "W: ") + m.body);
        }
        EXPECT_EQ(host.exitRequests(), errors);
        return out;
    }
};

TEST_F(Vectors, PortBindingByWidthRangeAndCursor)
{
    std::vector<VXR_StateVar*> given;
    for (int k = 0; k < 8; ++k)
        given.push_back(host.terminal("v" + std::to_string(k)));
    VXR_StateVar* flat[] = {host.terminal("t0"), host.terminal("t1"), host.terminal("t2")};
    const std::string U = "U";
    struct Case {
        const char* what;
        int L, R;
        bool table;
        int width, range, index, p, cursor;
        std::vector<std::string> slots;
        int cursorAfter;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"exact width", 0, 3, true, 4, 0, 0, 0, 0, {"v0", "v1", "v2", "v3"}, 1, {}},
        {"shorter", 0, 3, true, 2, 0, 0, 0, 0, {"v0", "v1", U, U}, 1,
         {"W: Vector terminal 'p' expected width of 4, received 2 instead."}},
        {"not connected", 0, 3, true, -1, 0, 0, 0, 0, {U, U, U, U}, 1, {}},
        {"scalar", 0, 3, true, 0, 0, 0, 0, 0, {U, U, U, U}, 1, {"W: Vector terminal 'p' received a scalar."}},
        {"longer", 3, 0, true, 6, 0, 0, 0, 0, {"v0", "v1", "v2", "v3"}, 1,
         {"W: Vector terminal 'p' expected width of 4, received 6 instead."}},
        {"past the given terminals", 0, 1, true, 2, 0, 0, 1, 1, {U, U}, 2, {}},
        {"array slice", 0, 1, true, 8, 4, 2, 0, 0, {"v4", "v5"}, 1, {}},
        {"array shares the vector", 0, 1, true, 2, 4, 3, 0, 0, {"v0", "v1"}, 1, {}},
        {"array width fits neither", 0, 1, true, 3, 4, 0, 0, 0, {"v0", "v1"}, 1,
         {"E: Instance array has '4' elements but vector port 'p' with size '2' received a vector with '3' elements.",
          "W: Vector terminal 'p' expected width of 2, received 3 instead."}},
        {"array port not connected", 0, 1, true, -1, 4, 0, 0, 0, {U, U}, 1,
         {"E: Instance array has '4' elements but vector port 'p' with size '2' received a vector with '-1' "
          "elements."}},
        {"flat terminals run out", 1, 0, false, 0, 0, 0, 0, 2, {"t2", U}, 3, {}},
        {"flat terminals", 0, 2, false, 0, 0, 0, 0, 0, {"t0", "t1", "t2"}, 3, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host.clearLog();
        int width[1][3] = {{c.width, c.L, c.R}};
        VXR_StateVar* tableTerms[] = {reinterpret_cast<VXR_StateVar*>(c.width == 0 ? given[0] : nullptr)};
        if (c.width != 0)
            tableTerms[0] = reinterpret_cast<VXR_StateVar*>(given.data());
        int cursor = c.cursor;
        inst->numOfFlatTerms = 10;
        VXR_CreatePortVector(inst, "p", 1, c.table ? tableTerms : flat, c.table ? width : nullptr, c.p,
                             c.table ? 1 : 3, &cursor, c.index, c.range, c.L, c.R, nullptr, nullptr, nullptr);
        EXPECT_EQ(vecs[1].L, c.L);
        EXPECT_EQ(vecs[1].R, c.R);
        EXPECT_EQ(slots(vecs[1]), c.slots);
        EXPECT_EQ(cursor, c.cursorAfter);
        EXPECT_EQ(inst->numOfFlatTerms, 10 + static_cast<int>(c.slots.size()) - 1);
        EXPECT_EQ(messages(), c.messages);
        VXR_free(vecs[1].pSVs);
        vecs[1] = {};
    }
}

TEST_F(Vectors, ShortPortVectorGetsIsolatedNodesAtTheTopologyStep)
{
    const char* names[] = {"p"};
    const int indices[] = {1}; // vector 0
    const NetTypeE domains[] = {CONTINUOUS_NET};
    ti.md.numOfTerminals = 1;
    ti.md.terminalNames = names;
    ti.md.terminalIndices = indices;
    ti.md.terminalDomain = domains;
    VXR_StateVar* given[] = {host.terminal("v0"), host.terminal("v1")};
    VXR_StateVar* terms[] = {reinterpret_cast<VXR_StateVar*>(given)};
    int width[1][3] = {{2, 1, 0}};
    int cursor = 0;
    VXR_CreatePortVector(inst, "p", 0, terms, width, 0, 1, &cursor, 0, 0, 3, 0, nullptr, nullptr, nullptr);
    VXR_CreateIsolatedPorts(inst, nullptr);
    EXPECT_EQ(slots(vecs[0]), (std::vector<std::string>{"v0", "v1", "p2", "p3"}));
    EXPECT_TRUE(vecs[0].pSVs[2]->isIsolatedPort);
    EXPECT_EQ(vecs[0].pSVs[2]->pVector, nullptr);
}

TEST_F(Vectors, NodeAndRegisterPortVectorsCreateOneNodePerIndex)
{
    int cb = 0;
    VXR_SetupNodeVector(inst, "n", 0, 2, -1, &cb);
    VXR_SetupNodeVector(inst, "m", 1, 5, 5, &cb);
    VXR_SetupRegPortVector(inst, "r", 2, DISCRETE_REG, 7, -1, 0, &cb);
    EXPECT_EQ(host.trace(), (std::vector<std::string>{"setupNode 2n", "setupNode 1n", "setupNode 0n", "setupNode _1n",
                                                      "setupNode 5m", "createRegPort _1r net=6 ref=7",
                                                      "createRegPort 0r net=6 ref=7"}));
    EXPECT_EQ(slots(vecs[0]), (std::vector<std::string>{"2n", "1n", "0n", "_1n"}));
    EXPECT_EQ(slots(vecs[1]), (std::vector<std::string>{"5m"}));
    EXPECT_EQ(slots(vecs[2]), (std::vector<std::string>{"_1r", "0r"}));
    for (const auto& n : host.nodes()) {
        EXPECT_EQ(n.info, VXR_NODAL_INFO_NONE);
        EXPECT_EQ(n.callbackInfo, &cb);
    }
    for (int id = 0; id < 3; ++id)
        for (long long k = 0; k < VXR_boundPairCount(vecs[id].L, vecs[id].R); ++k)
            EXPECT_EQ(vecs[id].pSVs[k]->pVector, &vecs[id]);
    EXPECT_EQ(host.regPorts()[0].callbackInfo, &cb);
    // Setting a vector up again replaces (and releases) its element array.
    VXR_SetupNodeVector(inst, "m", 1, 0, 1, &cb);
    EXPECT_EQ(slots(vecs[1]), (std::vector<std::string>{"0m", "1m"}));

    // Disciplines go out element by element; a no-node marker has none.
    vecs[0].pSVs[1] = VXR_NO_NODE_SV;
    host.clearLog();
    VXR_DisciplineDescriptor disc{};
    disc.name = "electrical";
    VXR_ReportVectorDiscipline(inst, 0, &disc);
    EXPECT_EQ(host.trace(), (std::vector<std::string>{"reportDiscipline 2n electrical",
                                                      "reportDiscipline 0n electrical",
                                                      "reportDiscipline _1n electrical"}));
}

TEST_F(Vectors, ConcatenationAdoptsTheItemsBlock)
{
    auto** block = static_cast<VXR_StateVar**>(VXR_malloc(sizeof(VXR_StateVar*), host.sim(), inst, nullptr));
    block[0] = host.terminal("a");
    VXR_Data e{VXR_STATE_VAR_PTR, 1, {nullptr}};
    e.arrayData.ppSV = block;
    VXR_SetupVectorByConcat(inst, 0, e);
    EXPECT_EQ(vecs[0].pSVs, block);
    EXPECT_EQ(vecs[0].L, 0);
    EXPECT_EQ(vecs[0].R, 0);
    EXPECT_EQ(block[0]->pVector, nullptr);
    // A block of numbers is no vector of nets: it is released, nothing bound.
    VXR_Data numbers{VXR_INT_DATA, 2, {nullptr}};
    numbers.arrayData.pInt = static_cast<int*>(VXR_malloc(2 * sizeof(int), host.sim(), inst, nullptr));
    VXR_SetupVectorByConcat(inst, 1, numbers);
    EXPECT_EQ(vecs[1].pSVs, nullptr);
    TearDown();
    vecs[0] = {};
    EXPECT_EQ(vxr_test::liveBlocks(), 0);
}

TEST_F(Vectors, PartSelectsForChildren)
{
    struct Case {
        int L, R;
        int subGiven, subL, subR;
        int width[3];
        int position; // -1: NULL result
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {7, 0, 1, 5, 2, {4, 5, 2}, 2, {}},
        {7, 0, 0, 0, 0, {8, 7, 0}, 0, {}},
        {0, 7, 1, 2, 5, {4, 2, 5}, 2, {}},
        {0, 7, 1, 5, 2, {0, 5, 2}, -1,
         {"E: Part select '[5:2]' has reversed order of 'bus[0:7]'.\n",
          "E: Part select '[5:2]' exceeds bounds of 'bus[0:7]'.\n"}},
        {7, 0, 1, 8, 1, {0, 8, 1}, -1, {"E: Part select '[8:1]' exceeds bounds of 'bus[7:0]'.\n"}},
        // One element has no direction: it only has to lie in the vector.
        {0, 7, 1, 3, 3, {1, 3, 3}, 3, {}},
        {7, 0, 1, 3, 3, {1, 3, 3}, 4, {}},
        {0, 7, 1, 9, 9, {0, 9, 9}, -1, {"E: Part select '[9:9]' exceeds bounds of 'bus[0:7]'.\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.L) + ":" + std::to_string(c.R) + " select " + std::to_string(c.subL) + ":" +
                     std::to_string(c.subR));
        host.clearLog();
        VXR_SetupNodeVector(inst, "b", 0, c.L, c.R, nullptr);
        int width[3] = {-9, -9, -9};
        VXR_StateVar** first = VXR_VectorToChild(inst, "bus", 0, c.subGiven, c.subL, c.subR, width);
        EXPECT_EQ(first, c.position < 0 ? nullptr : vecs[0].pSVs + c.position);
        EXPECT_EQ(std::vector<int>(width, width + 3), std::vector<int>(c.width, c.width + 3));
        EXPECT_EQ(messages(), c.messages);
        VXR_free(vecs[0].pSVs);
        vecs[0] = {};
    }
    EXPECT_EQ(VXR_VectorToChild(inst, "bus", 0, 0, 0, 0, nullptr), nullptr); // vector without elements
}

TEST_F(Vectors, AccessAndBranchChecks)
{
    vecs[0] = {nullptr, 3, 0};
    vecs[1] = {nullptr, 0, 3};
    for (int i : {0, 1, 2, 3}) {
        VXR_VectorCheck(inst, "v", 0, i);
        VXR_VectorCheck(inst, "w", 1, i);
    }
    EXPECT_TRUE(host.messages().empty());
    VXR_VectorCheck(inst, "v", 0, 4);
    VXR_VectorCheck(inst, "w", 1, -1);
    VXR_CheckBranchBounds(inst, "b", 0, 3, "n", 3, 0);
    VXR_CheckBranchBounds(inst, "b", 3, 0, "n", 2, 0);
    VXR_CheckBranchBounds(inst, "b", INT_MIN, INT_MAX, "n", INT_MAX, INT_MIN);
    EXPECT_EQ(messages(), (std::vector<std::string>{
                              "E: Invalid net vector access of 'v[4] with bounds '[3:0]' \n",
                              "E: Invalid net vector access of 'w[-1] with bounds '[0:3]' \n",
                              "E: Mismatch between branch 'b' vector length and node 'n' vector length.\n"}));

    VXR_StateVar* p = host.stateVar("p", inst, 1);
    VXR_StateVar* n = host.stateVar("n", inst, 2);
    VXR_StateVar* pSame = host.stateVar("p2", inst, 1); // same position as p
    VXR_BranchInfo ub{};
    ub.pPosTerm = p;
    ub.pNegTerm = n;
    ub.is_ub = 1;
    VXR_BranchInfo plain = ub;
    plain.is_ub = 0;
    VXR_BranchInfo toGround = ub;
    toGround.pNegTerm = nullptr;
    struct Case {
        VXR_BranchInfo* bi;
        VXR_StateVar *pos, *neg;
        int match;
    };
    const Case cases[] = {
        {&ub, p, n, 1},        {&ub, pSame, n, 1},          {&ub, n, p, 0}, {&plain, p, n, 0},
        {&toGround, p, nullptr, 1}, {&toGround, p, n, 0}, {nullptr, p, n, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VXR_UBranchMatch(c.bi, c.pos, c.neg), c.match);
}

TEST_F(Vectors, EncodedNames)
{
    const std::pair<int, const char*> cases[] = {
        {3, "3x_i"}, {0, "0x_i"}, {-3, "_3x_i"}, {INT_MIN, "_2147483648x_i"}, {INT_MAX, "2147483647x_i"}};
    for (const auto& c : cases) {
        const char* s = VXR_EncodeVector(inst, "x", c.first);
        EXPECT_STREQ(s, c.second);
        VXR_free(const_cast<char*>(s));
    }
}

TEST(VectorAllocation, EveryCreationPathReportsOnce)
{
    const std::vector<std::pair<const char*, std::function<void(VXR_DeviceInst*)>>> paths = {
        {"port vector",
         [](VXR_DeviceInst* i) {
             int cursor = 0;
             VXR_CreatePortVector(i, "p", 0, nullptr, nullptr, 0, 0, &cursor, 0, 0, 0, 3, nullptr, nullptr, nullptr);
         }},
        {"node vector", [](VXR_DeviceInst* i) { VXR_SetupNodeVector(i, "n", 0, 1, -1, nullptr); }},
        {"register-port vector",
         [](VXR_DeviceInst* i) { VXR_SetupRegPortVector(i, "r", 0, DISCRETE_REG, 0, 0, 2, nullptr); }},
        {"encoded name", [](VXR_DeviceInst* i) { VXR_free(const_cast<char*>(VXR_EncodeVector(i, "x", 12))); }},
    };
    for (const auto& path : paths) {
        SCOPED_TRACE(path.first);
        vxr_test::sweepAllocationFailures([&](int k) {
            RecordingHost host;
            host.ownNodeNames(true);
            InstanceRecord ti(host, "x1", "vecmod");
            VXR_Vector vec{};
            ti.inst.numOfVectors = 1;
            ti.inst.pVectors = &vec;
            vxr_test::failAllocationAfter(k);
            path.second(&ti.inst);
            vxr_test::failAllocationAfter(-1);
            if (vxr_test::allocationFailed()) {
                vxr_test::expectOutOfMemoryReported(host);
                EXPECT_EQ(vec.pSVs, nullptr); // nothing half-made is stored
            }
            VXR_free(vec.pSVs);
        });
    }
}

} // namespace

#endif // VXR_REVISION == 187
