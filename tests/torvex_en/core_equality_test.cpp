// TORVEX_EN's intrinsic rows against TORVEX_CORE's: with the same intrinsic
// parameters and TORVEX_EN's internal potentials given to TORVEX_CORE's
// nodes (DI2, GI2, BI2 as D, G, B), the current and charge rows, their
// quartets, the operators' doublets and the power row's intrinsic part are
// the same numbers.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cmath>
#include <map>
#include <string>

#include "en_fixture.h"
#include "probe.h"

// The test's own runtime copy needs a build id; TORVEX_CORE comes from its
// built library, opened as a host opens it.
extern "C" const char vxr_build_id[] = "00112233445566778899aabbccddeeff";

namespace {

const VXR_ModuleDescriptor* coreModule()
{
    static const VXR_ModuleDescriptor* md = [] {
        void* dl = dlopen(TORVEX_CORE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (dl == nullptr) return static_cast<const VXR_ModuleDescriptor*>(nullptr);
        auto manifest = reinterpret_cast<const VXR_LibraryManifest* (*)()>(dlsym(dl, "getLibraryManifest"));
        return manifest != nullptr ? static_cast<const VXR_ModuleDescriptor*>(manifest()->pModules) : nullptr;
    }();
    return md;
}

// One full load of a TORVEX_CORE instance: deposits by table index (arrays
// 0 rhs, 1 rhsQ, 2 jac, 3 jacQ, 4 doublets, as probe numbers them).
std::vector<double> coreDeposits(vxrtest::RecordingHost& h, VXR_DeviceInst* inst, vxrtest::LoadKind kind, int array)
{
    const int n = probe::handleCount(array);
    std::vector<double> out(static_cast<size_t>(n), 0.0);
    for (const auto& b : h.batches()) {
        if (b.kind != kind) continue;
        for (size_t j = 0; j < b.handles.size(); ++j)
            for (int i = 0; i < n; ++i)
                if (b.handles[j] >= 0 && b.handles[j] == h.handleIndex(probe::handle(inst, array, i)))
                    out[static_cast<size_t>(i)] += b.values[j];
    }
    return out;
}

// TORVEX_CORE's name of a TORVEX_EN node ("" is ground in both).
std::string coreName(torvex_en::Node n)
{
    static const std::map<std::string, std::string> renamed = {
        {"DI2", "D"},           {"GI2", "G"},           {"BI2", "B"},
        {"_opddt26", "_opddt7"}, {"_opddt27", "_opddt8"}, {"_opddt28", "_opddt9"},
        {"_opddt29", "_opddt10"}, {"_opddt30", "_opddt11"}, {"_opddt31", "_opddt12"}};
    const std::string name = torvex_en::kNodeNames[n];
    const auto it = renamed.find(name);
    return it == renamed.end() ? name : it->second;
}

struct Point {
    const char* name;
    int type;
    std::map<torvex_en::Node, double> v;
};

TEST(TorvexEnAgainstCore, IntrinsicRowsAreTorvexCoresRows)
{
    using namespace torvex_en;
    const std::map<Node, double> forward = {
        {DI2, 6.0},      {GI2, 3.0},      {S, 0.01},       {BI2, 0.005},    {TINT, 2.5},    {TEXT, 0.4},
        {CORE_B1, 0.05}, {CORE_B2, 0.02}, {CORE_ID, 1.2},  {IB_DIODE1, 0.1}, {IB_DIODE3, 0.3}, {OP26, 1e-3},
        {OP27, -2e-3},   {OP28, 3e-4},    {OP29, 5e-4},    {OP30, -1e-3},   {OP31, 2e-3}};
    auto reversed = forward;
    reversed[S] = 1.5;
    reversed[CORE_ID] = 0.6;
    reversed[DI2] = 0.4;
    auto pType = forward;
    for (auto& [n, x] : pType)
        if (n < OP26 && n != TINT && n != TEXT) x = -x;
    for (const Point& pt : {Point{"forward", 1, forward}, Point{"reversed", 1, reversed}, Point{"p_type", -1, pType}}) {
        SCOPED_TRACE(pt.name);
        const std::vector<std::pair<const char*, double>> reals = {
            {"CGDO", 2e-9}, {"CGSO", 1e-9}, {"CS", 0.3},      {"A1CH", 1.0},     {"A1DR", 1.0},   {"KPINV", 0.4},
            {"DELQ", 0.3},  {"ATH", 1.2},   {"EXRTH", 0.5},   {"NDIODE2", 1.5},  {"SDIODE2", 2.0}, {"VDEP", 1e-4}};
        std::vector<VXR_ParamAssn> enParams, coreParams;
        for (const auto& [name, x] : reals) {
            enParams.push_back(te::realAssn(name, x));
            coreParams.push_back(vxrtest::RecordingHost::real(name, x));
        }
        enParams.push_back(te::intAssn("TYPE", pt.type));
        coreParams.push_back(vxrtest::RecordingHost::integer("TYPE", pt.type));

        te::EnHost eh;
        te::Inst* en = eh.createReady(enParams);
        for (int n = D; n < kNumStampNodes; ++n) {
            te::SV* sv = nodeSV(en, te::priv(en), static_cast<Node>(n));
            const auto it = pt.v.find(static_cast<Node>(n));
            if (sv != nullptr) eh.setSolution(sv, it == pt.v.end() ? 0.0 : it->second);
        }
        eh.clearLog();
        te::md.pGenLoad(en, eh.loader());
        const te::Loaded e = te::collect(eh, en, true);

        const VXR_ModuleDescriptor* cmd = coreModule();
        ASSERT_NE(cmd, nullptr);
        vxrtest::RecordingHost ch;
        std::vector<VXR_StateVar*> terminals;
        for (const char* t : {"D", "G", "S", "B", "TINT", "TEXT"}) terminals.push_back(ch.terminal(t));
        VXR_DeviceInst* core = ch.createInstance(cmd, "c1", terminals, coreParams);
        cmd->pFinalizeTopology(core, te::kCbInfo);
        cmd->pSetStamp(core, te::kCbInfo);
        for (const auto& [n, x] : pt.v) {
            const std::string name = coreName(n);
            VXR_StateVar* sv = nullptr;
            if (name.rfind("_opddt", 0) == 0) {
                sv = ch.find(name);
            } else {
                for (const auto& node : ch.nodes())
                    if (node.name == name && node.inst == core) sv = node.sv;
                if (sv == nullptr) sv = ch.find(name);
            }
            ASSERT_NE(sv, nullptr) << name;
            ch.setSolution(sv, x);
        }
        ch.clearLog();
        cmd->pGenLoad(core, ch.loader());
        struct {
            std::vector<double> rhs, rhsQ, jac, jacQ, doublet;
        } c;
        c.rhs = coreDeposits(ch, core, vxrtest::LoadKind::RhsPair, 0);
        c.rhsQ = coreDeposits(ch, core, vxrtest::LoadKind::RhsPairQ, 1);
        c.jac = coreDeposits(ch, core, vxrtest::LoadKind::DerivQuartet, 2);
        c.jacQ = coreDeposits(ch, core, vxrtest::LoadKind::DerivQuartetQ, 3);
        c.doublet = coreDeposits(ch, core, vxrtest::LoadKind::DerivDoubletQ, 4);

        // Rows by TORVEX_CORE's names.
        auto coreIndex = [](int array, const std::string (&want)[4], int used) {
            for (int k = 0; k < probe::handleCount(array); ++k) {
                std::string n[4];
                int dep = 0;
                probe::entry(array, k, n, &dep);
                bool same = true;
                for (int i = 0; i < used; ++i) same = same && n[i] == want[i];
                if (same) return k;
            }
            return -1;
        };
        for (int r = 0; r < torvex::kNumCurrentRows; ++r) {
            const std::string want[4] = {coreName(kRhsPairs[r].a), coreName(kRhsPairs[r].b)};
            const int k = coreIndex(0, want, 2);
            ASSERT_GE(k, 0);
            EXPECT_EQ(e.rhs[r], c.rhs[k]) << "rhs " << r;
        }
        for (int r = 0; r < torvex::kNumChargeRows; ++r) {
            const std::string want[4] = {coreName(kRhsQPairs[r].a), coreName(kRhsQPairs[r].b)};
            const int k = coreIndex(1, want, 2);
            ASSERT_GE(k, 0);
            EXPECT_EQ(e.rhsQ[r], c.rhsQ[k]) << "rhsQ " << r;
        }
        // The power: TORVEX_EN's adds its outer resistors' Joule heat.
        const std::string power[4] = {"", "TINT"};
        const double network = te::priv(en)->vars.powerNetworkResistors;
        EXPECT_NEAR(e.rhs[47] - network, c.rhs[coreIndex(0, power, 2)], 1e-13 * (std::fabs(e.rhs[47]) + network));

        // Quartets of the intrinsic rows and the power row (the power row's
        // outer-resistor columns have no TORVEX_CORE counterpart).
        int compared = 0;
        for (size_t k = 0; k < std::size(kJacQuartets); ++k) {
            const QuartetReq& q = kJacQuartets[k];
            const bool intrinsic = k <= 49 || (q.ra == GND && q.rb == TINT);
            if (!intrinsic) continue;
            const std::string want[4] = {coreName(q.ra), coreName(q.rb), coreName(q.ca), coreName(q.cb)};
            const int ck = coreIndex(2, want, 4);
            if (ck < 0) {
                EXPECT_TRUE(q.ra == GND && q.rb == TINT) << "quartet " << k;
                continue;
            }
            EXPECT_EQ(e.jac[k], c.jac[ck]) << "quartet " << k;
            ++compared;
        }
        EXPECT_EQ(compared, 50 + 12 + 6); // rows 0-9; the power row's twelve probe and six operator columns
        for (size_t k = 0; k <= 32; ++k) {
            const QuartetReq& q = kJacQQuartets[k];
            const std::string want[4] = {coreName(q.ra), coreName(q.rb), coreName(q.ca), coreName(q.cb)};
            const int ck = coreIndex(3, want, 4);
            ASSERT_GE(ck, 0) << "charge quartet " << k;
            EXPECT_EQ(e.jacQ[k], c.jacQ[ck]) << "charge quartet " << k;
        }
        for (int i = 0; i < kNumDdtDoublets; ++i) {
            const DoubletReq& d = kDdtDoublets[i];
            const std::string want[4] = {coreName(d.op), coreName(d.a), coreName(d.b)};
            const int ck = coreIndex(4, want, 3);
            ASSERT_GE(ck, 0) << "doublet " << i;
            EXPECT_EQ(e.doublet[i], c.doublet[ck]) << "doublet " << i;
        }
        te::retire(en);
        cmd->pDestroyDevice(core);
    }
}

} // namespace
