// Tests of the LAMBRET pad network module, driven through its descriptor by
// the shared recording host.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <set>

#include "LAMBRET_listing.h"
#include "LAMBRET_module.h"
#include "recording_host.h"


extern "C" const char vxr_build_id[] = "0123456789abcdef0123456789abcdef";

namespace {

using namespace lambret;
using vxrtest::LoadKind;
using vxrtest::RecordingHost;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const VXR_ModuleDescriptor& md = ModuleInfo;

struct DestroyInst {
    void operator()(VXR_DeviceInst* i) const { md.pDestroyDevice(i); }
};
using InstPtr = std::unique_ptr<VXR_DeviceInst, DestroyInst>;

class Pad : public ::testing::Test {
protected:
    RecordingHost host;
    VXR_StateVar* terms[3] = {host.terminal("ext"), host.terminal("int"), host.terminal("bulk")};

    InstPtr create(std::vector<VXR_ParamAssn> assn = {}) {
        return InstPtr(md.pCreateInstance("N1", host.sim(), nullptr, 3, nullptr, terms,
                                          static_cast<int>(assn.size()), assn.data(), 0, 0));
    }
    // The host's order for one instance up to the stamp.
    void build(VXR_DeviceInst* inst) {
        md.pFinalizeTopology(inst, nullptr);
        md.pCreateBranches(inst, nullptr);
        md.pReportNodalInfo(inst);
        md.pReportTopology(inst);
        md.pSetStamp(inst, nullptr);
    }
    InstPtr built(std::vector<VXR_ParamAssn> assn = {}) {
        InstPtr inst = create(std::move(assn));
        build(inst.get());
        return inst;
    }
    static PrivateData__module1* pd(const InstPtr& i) { return lambretPrivate(i.get()); }
    static int row(const char* name) {
        for (int r = 0; r < md.numOfParams; ++r)
            if (!std::strcmp(md.paramDescArray[r].name, name)) return r;
        ADD_FAILURE() << name;
        return 0;
    }
    void setSolution(VXR_DeviceInst* inst, const double (&x)[kNumUnknowns]) {
        for (int u = 0; u < kNumUnknowns; ++u) host.setSolution(lambretStateVar(inst, u), x[u]);
    }
};

VXR_ParamAssn real(const char* n, double v) { return RecordingHost::real(n, v); }
VXR_ParamAssn integer(const char* n, int v) { return RecordingHost::integer(n, v); }

// The batch loads recorded since the last clearLog(), as "kind count".
std::vector<std::string> batchSizes(const RecordingHost& h) {
    std::vector<std::string> out;
    for (const vxrtest::BatchRecord& b : h.batches())
        out.push_back(std::string(vxrtest::toString(b.kind)) + " " + std::to_string(b.handles.size()));
    return out;
}

TEST_F(Pad, HostSeesTheTopologyAndStampCallsInOrder) {
    InstPtr inst = create();
    host.clearLog();
    build(inst.get());
    const std::vector<std::string> expected = {
        "setupNode BULKINT", "setupNode N1", "setupNode N2", "setupNode N3",
        "createBranch br_EXT_N3_i (ext, N3) voltage dup=1", "createBranch br_N2_N1_i (N2, N1) voltage dup=1",
        "createBranch br_N3_N2_i (N3, N2) voltage dup=1", "reportDiscipline bulk electrical",
        "reportDiscipline BULKINT electrical", "reportDiscipline ext electrical",
        "reportDiscipline int electrical", "reportDiscipline N1 electrical", "reportDiscipline N2 electrical",
        "reportDiscipline N3 electrical", "reportTopology _ub_BULKINT_BULK_i (BULKINT, bulk) DC_RES",
        "reportTopology _ub_EXT_BULKINT_i (ext, BULKINT) DC_OPEN",
        "reportTopology _ub_N1_INT_i (N1, int) DC_RES", "reportTopology _ub_N2_INT_i (N2, int) DC_RES",
        "reportTopology _ub_N3_INT_i (N3, int) DC_RES", "reportTopology br_EXT_N3_i (ext, N3) DC_RES",
        "reportTopology br_N2_N1_i (N2, N1) DC_RES", "reportTopology br_N3_N2_i (N3, N2) DC_RES",
        "getRhsPair(BULKINT, bulk) -> h0", "getRhsPair(ext, BULKINT) -> h1", "getRhsPair(ext, N3) -> h2",
        "getRhsPair(N1, int) -> h3", "getRhsPair(N2, int) -> h4", "getRhsPair(N2, N1) -> h5",
        "getRhsPair(N3, int) -> h6", "getRhsPair(N3, N2) -> h7", "getRhsPair(br_EXT_N3_i, gnd) -> h8",
        "getRhsPair(br_N2_N1_i, gnd) -> h9", "getRhsPair(br_N3_N2_i, gnd) -> h10",
        "getRhsPairQ(ext, BULKINT) -> h11", "getRhsPairQ(br_EXT_N3_i, gnd) -> h12",
        "getRhsPairQ(br_N2_N1_i, gnd) -> h13", "getRhsPairQ(br_N3_N2_i, gnd) -> h14",
        "getDerivQuartet(BULKINT, bulk, BULKINT, bulk, DC) -> h15",
        "getDerivQuartet(ext, N3, br_EXT_N3_i, gnd, DC) -> h16",
        "getDerivQuartet(N1, int, N1, int, DC) -> h17", "getDerivQuartet(N2, int, N2, int, DC) -> h18",
        "getDerivQuartet(N2, N1, br_N2_N1_i, gnd, DC) -> h19", "getDerivQuartet(N3, int, N3, int, DC) -> h20",
        "getDerivQuartet(N3, N2, br_N3_N2_i, gnd, DC) -> h21",
        "getDerivQuartet(br_EXT_N3_i, gnd, ext, N3, DC) -> h22",
        "getDerivQuartet(br_EXT_N3_i, gnd, br_EXT_N3_i, gnd, DC) -> h23",
        "getDerivQuartet(br_N2_N1_i, gnd, N2, N1, DC) -> h24",
        "getDerivQuartet(br_N2_N1_i, gnd, br_N2_N1_i, gnd, DC) -> h25",
        "getDerivQuartet(br_N3_N2_i, gnd, N3, N2, DC) -> h26",
        "getDerivQuartet(br_N3_N2_i, gnd, br_N3_N2_i, gnd, DC) -> h27",
        "getDerivQuartet(ext, BULKINT, ext, BULKINT, DDT) -> h28",
        "getDerivQuartet(br_EXT_N3_i, gnd, br_EXT_N3_i, gnd, DDT) -> h29",
        "getDerivQuartet(br_N2_N1_i, gnd, br_N2_N1_i, gnd, DDT) -> h30",
        "getDerivQuartet(br_N3_N2_i, gnd, br_N3_N2_i, gnd, DDT) -> h31",
    };
    EXPECT_EQ(host.trace(), expected);
    for (const vxrtest::NodeRecord& n : host.nodes()) EXPECT_EQ(n.info, VXR_NODAL_INFO_NONE) << n.name;
    // Every handle is linear but the four charge pairs.
    ASSERT_EQ(host.handles().size(), 32u);
    for (size_t i = 0; i < host.handles().size(); ++i)
        EXPECT_EQ(host.handles()[i].dep, i >= 11 && i < 15 ? NONLIN_DEP : LIN_DEP) << i;
    EXPECT_TRUE(host.messages().empty());
    for (double v : pd(inst)->moduleVars) EXPECT_EQ(v, 0.0);
}

TEST_F(Pad, HostWithoutTopologyReportGetsNoTopologyCalls) {
    host.sim()->pReportTopology = nullptr;
    InstPtr inst = built();
    EXPECT_EQ(host.count(vxrtest::Call::ReportTopology), 0u);
}

TEST_F(Pad, DuplicateBranchDropsItsReportAndCouplingButKeepsItsRow) {
    host.setBranchDupCount("br_N2_N1_i", 2);
    InstPtr inst = built({real("$mfactor", 2.0)});
    EXPECT_EQ(pd(inst)->dupBranch[DUP_B1], 1);
    EXPECT_EQ(pd(inst)->dupBranch[DUP_B2], 0);
    for (const vxrtest::TopologyRecord& t : host.topology()) EXPECT_NE(t.name, "br_N2_N1_i");

    const double x[kNumUnknowns] = {0.3, -0.2, 0.05, 0.1, 0.7, -0.4, 0.25, 1e-3, -2e-3, 3e-3};
    setSolution(inst.get(), x);
    md.pGenLoad(inst.get(), host.loader());
    PrivateData__module1* p = pd(inst);
    const auto rhs = host.lastBatch(LoadKind::RhsPair), jac = host.lastBatch(LoadKind::DerivQuartet);
    EXPECT_EQ(rhs.at(p->rhsPairs[9]), 0.0);
    EXPECT_EQ(jac.at(p->derivQuartets[9]), 0.0);
    EXPECT_EQ(jac.at(p->derivQuartets[10]), 0.0);
    EXPECT_EQ(rhs.at(p->rhsPairs[6]), 2.0 * (1e-12 * x[U_B1]));
    EXPECT_EQ(jac.at(p->derivQuartets[5]), 2.0 * 1e-12);
    // The other branches keep their coupling.
    EXPECT_EQ(rhs.at(p->rhsPairs[10]), 2.0 * x[U_B2]);
    EXPECT_EQ(jac.at(p->derivQuartets[12]), -2.0);
}

TEST_F(Pad, MissingTerminalWithWidthsIsReportedAndGetsAnIsolatedNode) {
    // Host arrays sized for the two terminals given: nothing may read past them.
    auto given = std::make_unique<VXR_StateVar*[]>(2);
    given[0] = terms[0];
    given[1] = terms[1];
    auto widths = std::make_unique<int[][3]>(2);
    InstPtr inst(md.pCreateInstance("N1", host.sim(), nullptr, 2, widths.get(), given.get(), 0, nullptr, 0, 0));
    ASSERT_TRUE(inst);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].type, MessageTypeE_ERROR);
    EXPECT_NE(host.messages()[0].text.find("Expected 3 ports; received at least 2 ports instead."),
              std::string::npos);
    ASSERT_EQ(host.requests().size(), 1u);
    EXPECT_EQ(host.requests()[0].request, "exit");
    EXPECT_EQ(host.requests()[0].code, 1);
    EXPECT_EQ(inst->pPorts[2], UNCONNECTED_SV);

    build(inst.get());
    VXR_StateVar* bulk = inst->pPorts[2];
    ASSERT_NE(bulk, UNCONNECTED_SV);
    EXPECT_TRUE(bulk->isIsolatedPort);
    EXPECT_STREQ(bulk->varName, "BULK");

    host.setSolution(terms[0], 1.0);
    host.setSolution(bulk, 0.5);
    host.clearLog();
    md.pGenLoad(inst.get(), host.loader());
    EXPECT_EQ(host.batches().size(), 4u);
    EXPECT_EQ(host.lastBatch(LoadKind::RhsPair).at(pd(inst)->rhsPairs[1]), -0.5 / 6.0);
    // The isolated node's name is handed to the host.
    ASSERT_EQ(host.nodes()[0].sv, bulk);
    VXR_free(const_cast<char*>(host.nodes()[0].libName));
}

TEST_F(Pad, FewerTerminalsWithoutWidthsIsNotACountError) {
    InstPtr inst(md.pCreateInstance("N1", host.sim(), nullptr, 2, nullptr, terms, 0, nullptr, 0, 0));
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(inst->pPorts[2], UNCONNECTED_SV);
}

TEST_F(Pad, DefaultsAndGivenBits) {
    InstPtr inst = create();
    PrivateData__module1* p = pd(inst);
    EXPECT_EQ(p->givenBits, 0);
    EXPECT_EQ(p->realParams[LOC_CPAD], 82e-15);
    EXPECT_EQ(p->realParams[LOC_RPADSUB], 6.0);
    EXPECT_EQ(p->realParams[LOC_LPAD2], 48.84e-12);
    EXPECT_EQ(p->realParams[LOC_RPAD3], 3.605);
    EXPECT_EQ(p->realParams[LOC_MFACTOR], 1.0);
    EXPECT_EQ(p->intParams[LOC_HFLIP], 1);
    EXPECT_EQ(p->recomputeInvar, 1);

    std::vector<VXR_ParamAssn> a = {real("RPAD2", 2.5), integer("$vflip", -1), integer("CPAD", 1)};
    md.pResetParameters(inst.get(), 3, a.data());
    EXPECT_EQ(p->givenBits, (1u << row("RPAD2")) | (1u << row("$vflip")) | (1u << row("CPAD")));
    EXPECT_EQ(md.pGetRealParam(inst.get(), md.paramDescArray[row("RPAD2")].paramLocation), 2.5);
    EXPECT_EQ(md.pGetIntParam(inst.get(), md.paramDescArray[row("$vflip")].paramLocation), -1);
    EXPECT_EQ(p->realParams[LOC_CPAD], 1.0);

    md.pResetParameters(inst.get(), 0, nullptr);
    EXPECT_EQ(p->givenBits, 0);
    EXPECT_EQ(p->realParams[LOC_RPAD2], 0.8146);
}

TEST_F(Pad, ParameterTableIsSortedAndAddressesTheRecord) {
    EXPECT_EQ(md.numOfParams, 14);
    EXPECT_EQ(md.paramDescArray[14].paramType, VXR_INVALID_PARAM);
    EXPECT_EQ(md.paramDescArray[14].name, nullptr);
    for (int r = 1; r < md.numOfParams; ++r)
        EXPECT_LT(std::strcmp(md.paramDescArray[r - 1].name, md.paramDescArray[r].name), 0);
    InstPtr inst = create();
    // Every row's location reaches its own value through modify and get.
    for (int r = 0; r < md.numOfParams; ++r) {
        const VXR_ParamDesc& d = md.paramDescArray[r];
        EXPECT_EQ(d.intrinsicParamLocation, d.paramLocation);
        int flag = 0;
        if (d.paramType == VXR_REAL_PARAM) {
            md.pModifyRealParam(inst.get(), d.paramLocation, 100.0 + r, &flag);
            EXPECT_EQ(md.pGetRealParam(inst.get(), d.paramLocation), 100.0 + r) << d.name;
        } else {
            md.pModifyIntParam(inst.get(), d.paramLocation, -1, &flag);
            EXPECT_EQ(md.pGetIntParam(inst.get(), d.paramLocation), -1) << d.name;
        }
        EXPECT_TRUE(pd(inst)->givenBits & (1u << r)) << d.name;
    }
}

TEST_F(Pad, OutOfTableLocationsStoreAndReadNothing) {
    InstPtr inst = create();
    PrivateData__module1 before = *pd(inst);
    int flag = 0;
    md.pModifyRealParam(inst.get(), 12, 5.0, &flag);
    EXPECT_EQ(flag, 1);
    flag = 0;
    md.pModifyIntParam(inst.get(), -1, 5, &flag);
    EXPECT_EQ(flag, 1);
    md.pModifyRealParam(inst.get(), 99, 5.0, nullptr);
    md.pModifyRealParam(inst.get(), 0, 400.0, nullptr); // out of range value, no flag pointer
    EXPECT_EQ(md.pGetRealParam(inst.get(), 12), 0.0);
    EXPECT_EQ(md.pGetIntParam(inst.get(), 2), 0);
    EXPECT_EQ(std::memcmp(pd(inst)->realParams + 1, before.realParams + 1, 11 * sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(pd(inst)->intParams, before.intParams, sizeof before.intParams), 0);
}

struct RangeCase {
    const char* name;
    double value;
    bool valid;
};

TEST_F(Pad, RangeBoundariesPerParameterClass) {
    const RangeCase cases[] = {
        // capacitance [1e-18, DBL_MAX]
        {"CPAD", 1e-18, true}, {"CPAD", 9.9e-19, false}, {"CPAD", DBL_MAX, true}, {"CPAD", kInf, false},
        {"CPAD", kNaN, false},
        // resistances [1e-12, DBL_MAX]
        {"RPADSUB", 1e-12, true}, {"RPADSUB", 0.99e-12, false}, {"RPAD1", 0.0, false}, {"RPAD2", DBL_MAX, true},
        {"RPAD3", kInf, false}, {"RPAD3", kNaN, false}, {"RPAD1", -1.0, false},
        // inductances [-DBL_MAX, DBL_MAX]
        {"LPAD1", -1e-9, true}, {"LPAD2", -DBL_MAX, true}, {"LPAD3", DBL_MAX, true}, {"LPAD1", kInf, false},
        {"LPAD2", -kInf, false}, {"LPAD3", kNaN, false},
        // $mfactor (0, DBL_MAX]
        {"$mfactor", 0.0, false}, {"$mfactor", 4.9e-324, true}, {"$mfactor", DBL_MAX, true},
        {"$mfactor", kInf, false}, {"$mfactor", -1.0, false}, {"$mfactor", kNaN, false},
        // $angle [0, 360)
        {"$angle", 0.0, true}, {"$angle", 359.99999, true}, {"$angle", 360.0, false}, {"$angle", -1e-300, false},
        {"$angle", kNaN, false},
        // flips: -1 or 1
        {"$hflip", -1, true}, {"$hflip", 1, true}, {"$hflip", 0, false}, {"$vflip", 2, false},
        {"$vflip", -2, false},
        // positions are never checked
        {"$xposition", kNaN, true}, {"$yposition", -kInf, true},
    };
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " = " + std::to_string(c.value));
        InstPtr inst = create();
        const VXR_ParamDesc& d = md.paramDescArray[row(c.name)];
        int flag = 0;
        pd(inst)->recomputeInvar = 0;
        if (d.paramType == VXR_REAL_PARAM) {
            md.pModifyRealParam(inst.get(), d.paramLocation, c.value, &flag);
            const double stored = md.pGetRealParam(inst.get(), d.paramLocation);
            EXPECT_TRUE(stored == c.value || (std::isnan(stored) && std::isnan(c.value))); // stored as given
        } else {
            md.pModifyIntParam(inst.get(), d.paramLocation, static_cast<int>(c.value), &flag);
            EXPECT_EQ(md.pGetIntParam(inst.get(), d.paramLocation), static_cast<int>(c.value));
        }
        EXPECT_EQ(flag, c.valid ? 0 : 1);
        EXPECT_TRUE(pd(inst)->givenBits & (1u << row(c.name)));
        EXPECT_EQ(pd(inst)->recomputeInvar, 1);

        VXR_ErrorLog* log = VXR_createErrorLog(4, host.sim());
        md.pCheckRange(inst.get(), log);
        ASSERT_EQ(log->length, c.valid ? 0 : 1);
        if (!c.valid) {
            EXPECT_STREQ(log->errorStr[0], c.name);
            EXPECT_EQ(log->errorInst[0], inst.get());
        }
        VXR_freeErrorLog(log);
    }
}

TEST_F(Pad, ErrorLogReceivesViolationsInTestOrderUntilFull) {
    InstPtr inst = built({real("RPAD3", 0.0), real("CPAD", 0.0), integer("$vflip", 0), real("$angle", 400.0)});
    VXR_ErrorLog* one = VXR_createErrorLog(1, host.sim());
    md.pCheckRange(inst.get(), one);
    ASSERT_EQ(one->length, 1);
    EXPECT_STREQ(one->errorStr[0], "$vflip");
    md.pCheckRange(inst.get(), one); // already full: untouched
    EXPECT_EQ(one->length, 1);
    VXR_freeErrorLog(one);

    VXR_ErrorLog* all = VXR_createErrorLog(8, host.sim());
    md.pCheckRange(inst.get(), all);
    ASSERT_EQ(all->length, 4);
    EXPECT_STREQ(all->errorStr[1], "$angle");
    EXPECT_STREQ(all->errorStr[2], "CPAD");
    EXPECT_STREQ(all->errorStr[3], "RPAD3");
    VXR_freeErrorLog(all);
}

// The stamp as a matrix: d(row)/d(unknown) implied by the quartet handles.
struct StampEntry {
    int row, plus, minus;
};
constexpr StampEntry kStamp[kNumJac] = {
    {1, U_BULKINT, U_BULK}, {2, U_B3, -1}, {3, U_N3, U_INT}, {4, U_B2, -1}, {5, U_N2, U_INT},
    {6, U_B1, -1},          {7, U_N1, U_INT}, {8, U_B3, -1}, {2, U_EXT, U_N3}, {9, U_B1, -1},
    {6, U_N2, U_N1},        {10, U_B2, -1}, {4, U_N3, U_N2},
};
constexpr StampEntry kStampQ[kNumJacQ] = {{0, U_EXT, U_BULKINT}, {1, U_B3, -1}, {2, U_B2, -1}, {3, U_B1, -1}};

TEST_F(Pad, JacobianAgreesWithFiniteDifferencesOfTheRhsLoad) {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> volts(-2.0, 2.0), amps(-0.1, 0.1);
    for (const char* dup : {"", "br_N3_N2_i"}) {
        RecordingHost local;
        local.recordGetSol(false);
        if (*dup) local.setBranchDupCount(dup, 3);
        VXR_StateVar* t[3] = {local.terminal("ext"), local.terminal("int"), local.terminal("bulk")};
        std::vector<VXR_ParamAssn> a = {real("$mfactor", 1.75), real("LPAD2", -3e-10), real("RPAD1", 0.05)};
        InstPtr inst(md.pCreateInstance("N1", local.sim(), nullptr, 3, nullptr, t, 3, a.data(), 0, 0));
        md.pFinalizeTopology(inst.get(), nullptr);
        md.pCreateBranches(inst.get(), nullptr);
        md.pSetStamp(inst.get(), nullptr);
        const PrivateData__module1* p = lambretPrivate(inst.get());
        for (int trial = 0; trial < 4; ++trial) {
            double x[kNumUnknowns];
            for (int u = 0; u < kNumUnknowns; ++u) x[u] = u < U_B3 ? volts(rng) : amps(rng);
            auto setX = [&](const double* xs) {
                for (int u = 0; u < kNumUnknowns; ++u) local.setSolution(lambretStateVar(inst.get(), u), xs[u]);
            };
            setX(x);
            local.clearLog();
            md.pGenLoad(inst.get(), local.loader());
            const auto jac = local.lastBatch(LoadKind::DerivQuartet), jacQ = local.lastBatch(LoadKind::DerivQuartetQ);
            double J[kNumRhs][kNumUnknowns] = {}, JQ[kNumRhsQ][kNumUnknowns] = {};
            for (int k = 0; k < kNumJac; ++k) {
                const double v = jac.at(p->derivQuartets[k]);
                J[kStamp[k].row][kStamp[k].plus] += v;
                if (kStamp[k].minus >= 0) J[kStamp[k].row][kStamp[k].minus] -= v;
            }
            for (int k = 0; k < kNumJacQ; ++k) {
                const double v = jacQ.at(p->derivQuartetsQ[k]);
                JQ[kStampQ[k].row][kStampQ[k].plus] += v;
                if (kStampQ[k].minus >= 0) JQ[kStampQ[k].row][kStampQ[k].minus] -= v;
            }
            for (int u = 0; u < kNumUnknowns; ++u) {
                const double h = u < U_B3 ? 1e-4 : 1e-6;
                double xp[kNumUnknowns], xm[kNumUnknowns];
                std::copy(x, x + kNumUnknowns, xp);
                std::copy(x, x + kNumUnknowns, xm);
                xp[u] += h;
                xm[u] -= h;
                setX(xp);
                local.clearLog();
                md.pGenLoadRHS(inst.get(), local.loader());
                const auto rp = local.lastBatch(LoadKind::RhsPair), qp = local.lastBatch(LoadKind::RhsPairQ);
                setX(xm);
                local.clearLog();
                md.pGenLoadRHS(inst.get(), local.loader());
                const auto rm = local.lastBatch(LoadKind::RhsPair), qm = local.lastBatch(LoadKind::RhsPairQ);
                for (int r = 0; r < kNumRhs; ++r) {
                    const double fd = (rp.at(p->rhsPairs[r]) - rm.at(p->rhsPairs[r])) / (2 * h);
                    EXPECT_NEAR(fd, J[r][u], 1e-7 * std::max(1.0, std::fabs(J[r][u])))
                        << "dup " << dup << " row " << r << " unknown " << u;
                }
                for (int r = 0; r < kNumRhsQ; ++r) {
                    const double fd = (qp.at(p->rhsPairsQ[r]) - qm.at(p->rhsPairsQ[r])) / (2 * h);
                    EXPECT_NEAR(fd, JQ[r][u], 1e-6 * std::max(1e-12, std::fabs(JQ[r][u])))
                        << "dup " << dup << " charge row " << r << " unknown " << u;
                }
            }
        }
    }
}

TEST_F(Pad, RhsOnlyLoadSendsTheFullLoadsRightHandSideExactly) {
    InstPtr inst = built({real("$mfactor", 3.3), real("CPAD", 1.7e-13)});
    const double x[kNumUnknowns] = {1.1, -0.3, 0.02, 0.7, -1.9, 0.33, 2.1, 0.011, -0.03, 0.007};
    setSolution(inst.get(), x);
    host.clearLog();
    md.pGenLoad(inst.get(), host.loader());
    EXPECT_EQ(batchSizes(host), (std::vector<std::string>{"loadRhsPair 11", "loadRhsPairQ 4", "loadDerivQuartet 13",
                                                          "loadDerivQuartetQ 4"}));
    EXPECT_EQ(host.count(vxrtest::Call::GetSol), size_t{kNumUnknowns});
    const auto rhs = host.lastBatch(LoadKind::RhsPair), rhsQ = host.lastBatch(LoadKind::RhsPairQ);
    host.clearLog();
    md.pGenLoadRHS(inst.get(), host.loader());
    EXPECT_EQ(batchSizes(host), (std::vector<std::string>{"loadRhsPair 11", "loadRhsPairQ 4"}));
    const auto rhs2 = host.lastBatch(LoadKind::RhsPair), rhsQ2 = host.lastBatch(LoadKind::RhsPairQ);
    ASSERT_EQ(rhs2.size(), rhs.size());
    for (auto& [h, v] : rhs) EXPECT_EQ(std::memcmp(&v, &rhs2.at(h), sizeof v), 0);
    for (auto& [h, v] : rhsQ) EXPECT_EQ(std::memcmp(&v, &rhsQ2.at(h), sizeof v), 0);
    EXPECT_EQ(pd(inst)->moduleVars[V_N2_INT], x[U_N2] - x[U_INT]);
    EXPECT_EQ(pd(inst)->moduleVars[I_N3_N2], x[U_B2]);
}

TEST_F(Pad, OperatingPointValuesScaleWithMfactor) {
    for (double m : {1.0, 2.0}) {
        RecordingHost local;
        VXR_StateVar* t[3] = {local.terminal("ext"), local.terminal("int"), local.terminal("bulk")};
        std::vector<VXR_ParamAssn> a = {real("$mfactor", m)};
        InstPtr inst(md.pCreateInstance("N1", local.sim(), nullptr, 3, nullptr, t, 1, a.data(), 0, 0));
        md.pFinalizeTopology(inst.get(), nullptr);
        md.pCreateBranches(inst.get(), nullptr);
        md.pSetStamp(inst.get(), nullptr);
        local.setSolution(inst->pStateVars[SV_BULKINT], 0.6);
        local.setSolution(inst->pStateVars[SV_B3], 0.01);
        md.pGenLoad(inst.get(), local.loader());
        const PrivateData__module1* p = lambretPrivate(inst.get());
        const auto rhs = local.lastBatch(LoadKind::RhsPair), rhsQ = local.lastBatch(LoadKind::RhsPairQ);
        const auto jac = local.lastBatch(LoadKind::DerivQuartet), jacQ = local.lastBatch(LoadKind::DerivQuartetQ);
        EXPECT_EQ(rhs.at(p->rhsPairs[1]), m * (0.6 / 6.0));
        EXPECT_EQ(rhs.at(p->rhsPairs[8]), m * 0.01);
        EXPECT_EQ(rhs.at(p->rhsPairs[2]), m * (1e-12 * 0.01));
        EXPECT_EQ(rhsQ.at(p->rhsPairsQ[1]), m * (0.01 * 86.12e-12));
        EXPECT_EQ(jac.at(p->derivQuartets[0]), m * (1.0 / 6.0));
        EXPECT_EQ(jac.at(p->derivQuartets[2]), m * (1.0 / 3.605));
        EXPECT_EQ(jac.at(p->derivQuartets[7]), m);
        EXPECT_EQ(jac.at(p->derivQuartets[8]), -m);
        EXPECT_EQ(jacQ.at(p->derivQuartetsQ[0]), m * 82e-15);
        EXPECT_EQ(jacQ.at(p->derivQuartetsQ[1]), m * 86.12e-12);
        EXPECT_EQ(jacQ.at(p->derivQuartetsQ[2]), m * 48.84e-12);
        EXPECT_EQ(jacQ.at(p->derivQuartetsQ[3]), m * 86.12e-12);
    }
}

TEST_F(Pad, LoadBeforeBranchesReadsNoBranchAndClearsTheRecomputeFlag) {
    InstPtr inst = create();
    md.pFinalizeTopology(inst.get(), nullptr);
    EXPECT_EQ(inst->pStateVars[SV_B3], nullptr);
    host.clearLog();
    md.pGenLoadRHS(inst.get(), host.loader()); // handles all NULL: the host just receives them
    EXPECT_EQ(host.count(vxrtest::Call::GetSol), 7u);
    EXPECT_EQ(pd(inst)->recomputeInvar, 0);
    host.setTemperature(kNaN);
    md.pGenLoadRHS(inst.get(), host.loader());
    EXPECT_EQ(pd(inst)->recomputeInvar, 0);
    EXPECT_TRUE(std::isnan(pd(inst)->lastTemperature));
}

TEST_F(Pad, DeviceStateHasFourEmptyOperatorSlotsAndRestoreForcesTheParameterCode) {
    InstPtr inst = built();
    md.pGenLoad(inst.get(), host.loader());
    VXR_DeviceState* s = md.pGetDeviceState(inst.get());
    ASSERT_TRUE(s);
    EXPECT_EQ(s->numOfOperatorStates, 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(s->pOperatorState[i], nullptr);
    EXPECT_EQ(s->numOfEventStates, 0);
    EXPECT_EQ(s->pDevice, inst.get());
    auto** block = static_cast<void**>(s->pPrivateInfo);
    EXPECT_EQ(block[1], nullptr);
    int marker = 0;
    EXPECT_EQ(_serializeState__module1(block, nullptr, &marker), &marker);
    EXPECT_EQ(pd(inst)->recomputeInvar, 0);
    md.pRestoreDeviceState(inst.get(), s);
    EXPECT_EQ(pd(inst)->recomputeInvar, 1);
    VXR_freeDeviceState(s);
}

TEST_F(Pad, SmallSlots) {
    InstPtr inst = built();
    inst->needAnalogInitialLoad = 0;
    md.pResetMemoryStates(inst.get());
    EXPECT_EQ(inst->needAnalogInitialLoad, 1u);
    md.pExecAnalogInitial(inst.get(), host.loader());
    EXPECT_EQ(inst->needAnalogInitialLoad, 0u);
    md.pSetAMS_Indices(inst.get(), 5, 6, 7, 8);
    for (int v : pd(inst)->amsIndices) EXPECT_EQ(v, 0);
    md.pForceExecInvarCode(inst.get(), 0);
    EXPECT_EQ(pd(inst)->recomputeInvar, 0);
    md.pForceExecInvarCode(inst.get(), -7);
    EXPECT_EQ(pd(inst)->recomputeInvar, 1);

    pd(inst)->moduleVars[V_N3_INT] = 4.5;
    const VXR_OutVarDesc descs[] = {{"a", VXR_OUT_REALVAR, "", "", V_N3_INT},
                                    {"b", VXR_OUT_REALVAR, "", "", kNumModuleVars},
                                    {nullptr, VXR_OUT_INVALID, nullptr, nullptr, -1}};
    VXR_OutVal vals[3];
    vals[1].outVal.realVal = -1.0;
    md.pGetOutVarInfo(3, descs, vals, inst.get(), host.loader());
    EXPECT_EQ(vals[0].outVal.realVal, 4.5);
    EXPECT_EQ(vals[1].outVal.realVal, -1.0);
    EXPECT_EQ(vals[2].pOutVarDesc, &descs[2]);
}

TEST(PadStaticData, DescriptorVersionAndManifest) {
    EXPECT_STREQ(md.moduleName, "LAMBRET");
    EXPECT_EQ(md.library, nullptr);
    EXPECT_EQ(md.numOfTerminals, 3);
    EXPECT_STREQ(md.terminalNames[2], "BULK");
    EXPECT_EQ(md.terminalNames[3], nullptr);
    EXPECT_EQ(md.terminalIndices[1], -2);
    EXPECT_EQ(md.numOfOutVars, 0);
    EXPECT_EQ(md.outVarDescArray[0].outputVarType, VXR_OUT_INVALID);
    EXPECT_EQ(md.terminalDisciplines[1], &Discipline_electrical);
    EXPECT_EQ(md.pDefaultDisciplines[0].qualifier, unsigned(ALL_NET));
    EXPECT_EQ(md.pDefaultDisciplines[0].pDisc, &Discipline_logic);
    EXPECT_EQ(Discipline_electrical.potential, &Nature_Voltage);
    EXPECT_EQ(Nature_Current.abstol, 1e-12);
    EXPECT_EQ(md.algebraicModule, 1);
    EXPECT_EQ(md.pModifyStringParam, nullptr);
    EXPECT_EQ(md.pGetDebugInfo, nullptr);
    EXPECT_EQ(md.D2A_ImportEvents[0], -1);

    const VXR_LibraryVersion* v = getLibraryVersion();
    EXPECT_EQ(v->minor, 87);
    EXPECT_STREQ(v->fullRevision, "1.87.100");
    const VXR_LibraryManifest* m = getLibraryManifest();
    EXPECT_EQ(m->numOfModules, 1);
    EXPECT_EQ(m->pModules, &ModuleInfo);
    for (void* r : m->reserved) EXPECT_EQ(r, nullptr);
    EXPECT_EQ(m->buildId, vxr_build_id);
}

TEST(PadStaticData, SourceListingFollowsTheSourceFiles) {
    const s_SourceDataList* l = md.VerilogSource;
    const int counts[] = {270, 54, 94};
    for (int f = 0; f < 3; ++f) {
        EXPECT_EQ(l[f].fileNumber, f);
        int n = 0;
        while (l[f].lines[n]) ++n;
        EXPECT_EQ(n, counts[f]) << f;
    }
    EXPECT_EQ(l[3].lines, nullptr);
    EXPECT_STREQ(l[3].fileName, "");
    EXPECT_STREQ(md.fileName, l[2].fileName);
    EXPECT_STREQ(Discipline_logic.fileName, l[0].fileName);

    // Declarations where the descriptor records say they are.
    EXPECT_EQ(std::string(l[0].lines[Discipline_logic.lineNum - 1]).rfind("discipline logic", 0), 0u);
    EXPECT_EQ(std::string(l[0].lines[Discipline_electrical.lineNum - 1]).rfind("discipline electrical", 0), 0u);
    EXPECT_EQ(std::string(l[0].lines[Nature_Current.lineNum - 1]).rfind("nature Current", 0), 0u);
    EXPECT_EQ(std::string(l[0].lines[Nature_Voltage.lineNum - 1]).rfind("nature Voltage", 0), 0u);

    char** m = l[2].lines;
    EXPECT_STREQ(m[16], "\\zVXRa discipline.h //`include \"discipline.h\"");
    EXPECT_STREQ(m[17], "\\zVXRa constants.h //`include \"constants.h\"");
    EXPECT_STREQ(m[19], "`define RMIN (1.0E-12)");
    EXPECT_STREQ(m[46], "module \\zVXRm LAMBRET(\\zVXRw EXT,INT,BULK\\zVXRs );\\zVXRu ");
    EXPECT_STREQ(m[47], "inout EXT,INT,BULK;");
    EXPECT_STREQ(m[54], "parameter real CPAD        = 82.0E-15     /* from [1.0e-18 : inf) */;");
    EXPECT_STREQ(m[55], "parameter real RPADSUB     = 6.0          /* from [1.0e-12 : inf) */;");
    EXPECT_STREQ(m[56], "parameter real LPAD1       = 86.12E-12    /* from (-inf : inf) */;");
    EXPECT_STREQ(m[61], "parameter real RPAD3       = 3.605        /* from [1.0e-12 : inf) */;");
    EXPECT_STREQ(m[65], "real V_N3_INT,V_N2_INT,V_N1_INT;");
    EXPECT_STREQ(m[66], "real I_EXT_N3,I_N3_N2,I_N2_N1;");
    EXPECT_STREQ(m[92], "//end\n // analogBlock");
    EXPECT_STREQ(m[93], "\\zVXRe endmodule");
    const std::set<int> kept = {17, 18, 20, 47, 48, 55, 56, 57, 58, 59, 60, 61, 62, 64, 65, 66, 67, 93, 94};
    for (int i = 1; i <= 94; ++i) {
        if (!kept.count(i)) {
            EXPECT_STREQ(m[i - 1], "") << "line " << i;
        }
    }
}

} // namespace
