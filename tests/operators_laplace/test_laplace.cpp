// The Laplace operator branch (revision 1.87) against the recording host:
// orders and mode, node names, coefficients of both realisations, messages,
// Jacobians against central differences and the variable-array path.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <map>
#include <string>
#include <vector>

#include "VXR_OpLaplace.h"
#include "VXR_Operators.h"
#include "allocation_probe.h"
#include "allocation_sweep.h"
#include "recording_host.h"
#include "vxrhost/Eigenvalues.h"

namespace {

using cplx = std::complex<double>;
using vxrtest::LoadKind;

int cbToken;
void* const kCb = &cbToken;
VXR_MathUtil eigenHost = {&vxr::hostDgeev};

// Simulation parameters as the host table offers them.
double dOrderValue = 0.0, pOrderValue = 0.0;
double dOrder(VXR_DeviceInst*, double) { return dOrderValue; }
double pOrder(VXR_DeviceInst*, double) { return pOrderValue; }

struct Params {
    bool hasD = false;
    double d = 0.0;
    bool hasP = false;
    double p = 0.0;
};

void freeArray(VXR_Array* a) {
    if (!a) return;
    VXR_free(a->_data._pReal);
    VXR_free(a->_pLeftBounds);
    VXR_free(a->_pRightBounds);
    VXR_free(a);
}

enum Form { ND = 0, ZD = 1, NP = 2, ZP = 3 };

class Lap : public ::testing::Test {
protected:
    vxrtest::RecordingHost host;
    vxrtest::InstanceRecord u1{host, "u1", "FILT"};
    VXR_OpBranch_lap* op = nullptr;
    VXR_Array* num = nullptr;
    VXR_Array* den = nullptr;
    VXR_StateVar* in = nullptr;
    void* dbtIn = nullptr;
    std::vector<VXR_SimParam> simParams;
    long liveAtStart = 0;

    void SetUp() override {
        vxr_test::resetAllocationProbe();
        liveAtStart = vxr_test::liveBlocks();
        host.sim()->pMathUtil = &eigenHost;
        host.setFullName(&u1.inst, "top.u1");
        in = host.terminal("in");
    }
    void TearDown() override {
        release();
        EXPECT_EQ(vxr_test::liveBlocks(), liveAtStart);
    }

    // The operator and its arrays, before the next case of a table.
    void release() {
        VXR_destroyOpBranch_lap(op);
        op = nullptr;
        freeArray(num);
        freeArray(den);
        num = den = nullptr;
    }

    void setParams(const Params& p) {
        simParams.clear();
        dOrderValue = p.d;
        pOrderValue = p.p;
        if (p.hasD) simParams.push_back({"maxLaplace_d_Order", dOrder});
        if (p.hasP) simParams.push_back({"maxLaplace_p_Order", pOrder});
        host.sim()->numOfSimParams = static_cast<int>(simParams.size());
        host.sim()->pSimParamArray = simParams.empty() ? nullptr : simParams.data();
    }

    VXR_Array* array(const char* name, const std::vector<double>& v, bool isVar = false) {
        VXR_Array* a = VXR_createArray(&u1.inst, VXR_REAL_ARRAY, name);
        if (!v.empty()) VXR_setArrayBounds(a, 0, static_cast<int>(v.size()) - 1);
        for (size_t i = 0; i < v.size(); ++i) a->_data._pReal[i] = v[i];
        a->_isVar = isVar;
        return a;
    }

    // Created, given its arrays (NULL for a missing one), finalized and stamped.
    void make(Form form, const std::vector<double>* b, const std::vector<double>* a, const Params& p = {},
              bool isVar = false) {
        setParams(p);
        if (b) num = array("num", *b, isVar);
        if (a) den = array("den", *a, isVar);
        op = VXR_createOpBranch_lap("_oplap0", &u1.inst, form & 1, (form >> 1) & 1);
        ASSERT_NE(op, nullptr);
        VXR_lapInitArrayArg(op, num, den);
        VXR_lapFinalizeTopology(op, kCb);
        VXR_lapSetStamp(op, kCb);
        dbtIn = VXR_getDerivDoubletOpBranch_lap(op, in, nullptr, DC_ENTRY, LIN_DEP, kCb);
    }
    void make(Form form, const std::vector<double>& b, const std::vector<double>& a, const Params& p = {},
              bool isVar = false) {
        make(form, &b, &a, p, isVar);
    }

    // One pass of the generated code with F = V(in).
    void pass(bool full, VXR_Array* b = nullptr, VXR_Array* a = nullptr) {
        VXR_ContribLoader* ldr = host.loader();
        VXR_lapSetArg(op, solution(in), b ? b : num, a ? a : den, ldr);
        if (full) {
            VXR_lapSetArg_dwrt(op, dbtIn, 1.0, ldr);
            VXR_lapGenericLoad(op, ldr);
        } else {
            VXR_lapGenericLoadRHS(op, ldr);
        }
    }

    std::map<const VXR_StateVar*, double> values;
    double solution(const VXR_StateVar* sv) { return values.count(sv) ? values[sv] : 0.0; }
    void setSolution(const VXR_StateVar* sv, double v) {
        values[sv] = v;
        host.setSolution(sv, v);
    }

    std::vector<std::string> nodeNames() const {
        std::vector<std::string> out;
        for (auto& n : host.nodes()) out.push_back(n.name);
        return out;
    }

    // Residual rows (static f, charge q) and Jacobian entries (G, C) of the
    // last pass, by state variable.
    struct Loaded {
        std::map<const VXR_StateVar*, double> f, q;
        std::map<std::pair<const VXR_StateVar*, const VXR_StateVar*>, double> G, C;
    };
    Loaded collect() const {
        Loaded l;
        for (const auto& b : host.batches()) {
            for (size_t i = 0; i < b.handles.size(); ++i) {
                const auto& h = host.handles().at(static_cast<size_t>(b.handles[i]));
                const double v = b.values[i];
                switch (b.kind) {
                case LoadKind::RhsPair: l.f[h.sv[0]] += v; break;
                case LoadKind::RhsPairQ: l.q[h.sv[0]] += v; break;
                case LoadKind::DerivDoublet: l.G[{h.sv[0], h.sv[1]}] += v; break;
                case LoadKind::DerivDoubletQ: l.C[{h.sv[0], h.sv[1]}] += v; break;
                default: ADD_FAILURE() << "quartet load";
                }
            }
        }
        return l;
    }
    Loaded run(bool full) {
        host.clearLog();
        pass(full);
        return collect();
    }
};

const std::vector<double> kNone;

// ---- Orders, mode and nodes ----------------------------------------------------------

struct TopologyCase {
    const char* what;
    Form form;
    std::vector<double> b, a;
    Params params;
    bool direct;
    int K;
    std::vector<std::string> nodes;
};

TEST_F(Lap, OrdersModeAndNodes) {
    const std::vector<std::string> direct1 = {"_oplap0", "_oplap0_x0", "_oplap0_x1"};
    const std::vector<std::string> direct2 = {"_oplap0", "_oplap0_x0", "_oplap0_x1", "_oplap0_x2"};
    const std::vector<std::string> section1 = {"_oplap0_aux", "_oplap0_0", "_oplap0_0_i"};
    const std::vector<std::string> section2 = {"_oplap0_aux", "_oplap0_0", "_oplap0_0_i", "_oplap0_1", "_oplap0_1_i"};
    const std::vector<double> twoPoles = {-1, 2, -1, -2};
    const TopologyCase cases[] = {
        {"nd, no parameters", ND, {1}, {1, 1e-3}, {}, true, 1, direct1},
        {"trailing zeros trimmed", ND, {1}, {1, 2, 0, 0}, {}, true, 1, direct1},
        {"d order 3 reaches 3", ND, {1}, {1, 1, 1, 1}, {true, 3}, false, 3, section2},
        {"d order 3 above 2", ND, {1}, {1, 1, 1}, {true, 3}, true, 2, direct2},
        {"d order 0 changes nothing", ND, {1}, {1, 1, 1}, {true, 0}, true, 2, direct2},
        {"d order -2 changes nothing", ND, {1}, {1, 1, 1}, {true, -2}, true, 2, direct2},
        {"2.9 counts as 2", ND, {1}, {1, 1, 1}, {true, 2.9}, false, 2, section1},
        {"poles, no parameters", NP, {1}, twoPoles, {}, true, 2, direct2},
        {"p order 4 above 2", NP, {1}, twoPoles, {false, 0, true, 4}, false, 2, section1},
        {"p order 2 reached", NP, {1}, twoPoles, {false, 0, true, 2}, true, 2, direct2},
        {"p order -1", ZP, kNone, twoPoles, {false, 0, true, -1}, false, 2, section1},
        {"improper", ND, {0, 0, 1}, {1}, {}, true, 2, direct2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        host.clearLog();
        const size_t before = host.nodes().size();
        make(c.form, c.b, c.a, c.params);
        EXPECT_EQ(op->_use_lap_d, c.direct ? 1u : 0u);
        EXPECT_EQ(op->_K, c.K);
        std::vector<std::string> made;
        for (size_t i = before; i < host.nodes().size(); ++i) made.push_back(host.nodes()[i].name);
        EXPECT_EQ(made, c.nodes);
        EXPECT_TRUE(host.messages().empty());
        EXPECT_EQ(VXR_getBranchVar_lap(op), c.direct ? host.nodes()[before].sv : host.nodes()[host.nodes().size() - 2].sv);
        release();
    }
}

// ---- Direct coefficients --------------------------------------------------------------

struct DirectCase {
    const char* what;
    Form form;
    std::vector<double> b, a;
    std::vector<double> c, w;
    std::vector<char> p;
    double G;
};

TEST_F(Lap, DirectCoefficients) {
    const DirectCase cases[] = {
        {"first order", ND, {1}, {1, 1e-3}, {1, 1e-3}, {1}, {1, 1}, 1.0},
        {"integrator", ND, {1}, {0, 1}, {1, 1}, {1}, {0, 1}, 1.0},
        {"improper: second derivative", ND, {0, 0, 1}, {1}, {1, 1e-6, 1e6}, {0, 0, 1}, {1}, 1.0},
        {"missing a_1: 1e-6 stands in", ND, {1}, {2, 0, 4}, {1, 1e-6, 2e6}, {0.5}, {1, 0, 1}, 1.0},
        {"weights above 1 go into G", ND, {3, 6e-3}, {1, 1e-3}, {1, 1e-3}, {0.5, 1}, {1, 1}, 6.0},
        // (1 - s/-2)(1 - s/-4) = 1 + 0.75 s + 0.125 s^2 over (1 + s/10): improper
        {"zeros from roots", ZD, {-2, 0, -4, 0}, {1, 0.1}, {1, 0.1, 1.25}, {1 / 7.5, 1, 1 / 7.5}, {1, 1}, 7.5},
        {"empty root array is 1", ZD, kNone, {1, 0.5}, {1, 0.5}, {1}, {1, 1}, 1.0},
        // 1 / ((1 + s/2)(1 + s/5)) = 1 / (1 + 0.7 s + 0.1 s^2)
        {"poles from roots", NP, {1}, {-2, 0, -5, 0}, {1, 0.7, 0.1 / 0.7}, {1}, {1, 1, 1}, 1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        make(c.form, c.b, c.a);
        ASSERT_TRUE(op->_use_lap_d);
        run(true);
        for (int k = 0; k <= op->_K; ++k) EXPECT_NEAR(op->_pC[k], c.c.at(k), 1e-12 * std::abs(c.c[k])) << k;
        for (int k = 0; k <= op->_numerN; ++k) EXPECT_NEAR(op->_pNum[k], c.w.at(k), 1e-12) << k;
        for (int k = 0; k <= op->_denomN; ++k) EXPECT_EQ(op->_pD[k], c.p.at(k)) << k;
        EXPECT_NEAR(op->_Gain, c.G, 1e-12 * c.G);
        release();
    }
}

// ---- Section coefficients ---------------------------------------------------------------

struct Section {
    std::vector<double> n, d;
    double w;
};
struct SectionCase {
    const char* what;
    Form form;
    std::vector<double> b, a;
    Params params;
    double G;
    std::vector<Section> sections; // in cascade order
};

TEST_F(Lap, SectionCoefficients) {
    const Params p1{false, 0, true, -1}, d1{true, 1};
    const double z1 = 0.1, z2 = 0.7, z3 = 0.35;
    const double m = 3.3 / 2.42 / std::sqrt(0.5) / 1.5;
    auto pair = [](double zeta) { return std::vector<double>{-zeta, std::sqrt(1 - zeta * zeta), -zeta, -std::sqrt(1 - zeta * zeta)}; };
    std::vector<double> three = pair(z1);
    for (double z : {z2, z3})
        for (double v : pair(z)) three.push_back(v);
    const SectionCase cases[] = {
        {"one complex pair", ZP, kNone, {-1, 2, -1, -2}, p1, 1.0, {{{1, 0, 0}, {1, 2 / std::sqrt(5.0), 1}, 1 / std::sqrt(5.0)}}},
        {"pole at -4 with gain", ND, {2}, {4, 1}, d1, 0.5, {{{1, 0, 0}, {1, 1, 0}, 0.25}}},
        // zeros (1 + s/1.1)(1 + s/2.2), poles (1 + s)(1 + s/2): w = sqrt(1/2); n_1 = 3.3/2.42 / w is
        // above 1.5 and scales n into G
        {"real poles and zeros share a section", ZP, {-1.1, 0, -2.2, 0}, {-1, 0, -2, 0}, p1, m,
         {{{1 / m, 1.5, 2 / 2.42 / m}, {1, 1.5 * std::sqrt(2.0), 1}, std::sqrt(0.5)}}},
        // numerator 1 + 3s + s^2 over 1 + s^2: n_1 = 3 scaled by 2 into G
        {"large n_1 moves into G", ND, {1, 3, 1}, {1, 0, 1}, d1, 2.0, {{{0.5, 1.5, 0.5}, {1, 0, 1}, 1.0}}},
        {"sorted by damping", ZP, kNone, three, p1, 1.0,
         {{{1, 0, 0}, {1, 2 * z2, 1}, 1.0}, {{1, 0, 0}, {1, 2 * z3, 1}, 1.0}, {{1, 0, 0}, {1, 2 * z1, 1}, 1.0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        make(c.form, c.b, c.a, c.params);
        ASSERT_FALSE(op->_use_lap_d);
        run(true);
        EXPECT_TRUE(host.messages().empty());
        EXPECT_NEAR(op->_Gain, c.G, 1e-12 * c.G);
        ASSERT_EQ(op->_numBiquads, static_cast<int>(c.sections.size()));
        for (int i = 0; i < op->_numBiquads; ++i) {
            const VXR_Biquad* s = op->_biquads[i];
            for (int k = 0; k < 3; ++k) {
                EXPECT_NEAR(s->_n[k], c.sections[i].n[k], 1e-12) << "section " << i << " n" << k;
                EXPECT_NEAR(s->_d[k], c.sections[i].d[k], 1e-12) << "section " << i << " d" << k;
            }
            EXPECT_NEAR(s->_Cnorm, c.sections[i].w, 1e-12 * c.sections[i].w);
        }
        release();
    }
}

// The cascade G x prod n(ws)/d(ws) equals the product of normalised factors.
cplx factors(const std::vector<double>& roots, cplx s) {
    cplx v = 1.0;
    for (size_t k = 0; k + 1 < roots.size(); k += 2) {
        const cplx r(roots[k], roots[k + 1]);
        v *= r == 0.0 ? s : 1.0 - s / r;
    }
    return v;
}

TEST_F(Lap, CascadeRealisesEveryRootSet) {
    struct Case {
        const char* what;
        std::vector<double> zeros, poles;
    };
    const Case cases[] = {
        // Two real poles matched to complex zeros, the other two closest to
        // each other: matching would need three sections where two exist.
        {"four real poles, two complex zero pairs", {-10, 1, -10, -1, -30, 2, -30, -2}, {-9, 0, -31, 0, -100, 0, -101, 0}},
        {"mixed", {-3, 0, 0, 0, -50, 20, -50, -20}, {-1, 0, -2, 5, -2, -5, -40, 0, -41, 0}},
        {"more zeros than poles", {-1, 0, -2, 0, -3, 0}, {-5, 1, -5, -1}},
        {"zeros only", {-7, 0, -8, 3, -8, -3}, kNone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        make(ZP, c.zeros, c.poles, {false, 0, true, -1});
        ASSERT_FALSE(op->_use_lap_d);
        run(true);
        EXPECT_TRUE(host.messages().empty());
        for (double wv : {0.3, 2.0, 17.0, 150.0}) {
            const cplx s(0.0, wv);
            cplx h = op->_Gain;
            for (int i = 0; i < op->_numBiquads; ++i) {
                const VXR_Biquad* b = op->_biquads[i];
                const cplx ws = b->_Cnorm * s;
                h *= (b->_n[0] + b->_n[1] * ws + b->_n[2] * ws * ws) / (b->_d[0] + b->_d[1] * ws + b->_d[2] * ws * ws);
            }
            const cplx want = factors(c.zeros, s) / factors(c.poles, s);
            EXPECT_LE(std::abs(h - want), 1e-12 * std::abs(want)) << "w=" << wv << " got " << h << " want " << want;
        }
        release();
    }
}

// ---- Messages -------------------------------------------------------------------------------

struct MessageCase {
    const char* what;
    Form form;
    std::vector<double> b, a;
    bool missingNum, missingDen;
    Params params;
    bool noRoutine;
    std::vector<std::string> errors; // message bodies, in order
    bool inert;
};

TEST_F(Lap, ErrorsEndTheRun) {
    const Params p1{false, 0, true, -1}, d1{true, 1};
    const MessageCase cases[] = {
        {"odd poles", NP, {1}, {-1, 0, -2}, false, false, {}, false,
         {"Operator '_oplap0' expects an even number of denominator coefficients."}, false},
        {"odd zeros", ZD, {-1, 0, -2}, {1, 1}, false, false, {}, false,
         {"Operator '_oplap0' expects an even number of numerator coefficients."}, false},
        {"zero numerator", ND, {0, 0}, {1, 1}, false, false, {}, false,
         {"In laplace operators, the numerator polynomial should not be 0"}, true},
        {"zero denominator", ND, {1}, {0, 0}, false, false, {}, false,
         {"In laplace operators, the denominator polynomial cannot be 0"}, true},
        {"missing denominator", ND, {1}, kNone, false, true, {}, false,
         {"In laplace operators, the denominator polynomial cannot be 0"}, true},
        {"zero without conjugate", ZP, {1, 1, 2, 0}, {-1, 0, -2, 0}, false, false, p1, false,
         {"Complex zeros must have corresponding conjugates for '_oplap0'."}, false},
        {"pole without conjugate", ZP, kNone, {-1, 1, -1, 2}, false, false, p1, false,
         {"Complex poles must have corresponding conjugates for '_oplap0'."}, false},
        // The direct chain checks the pairs as the sections do.
        {"pole without conjugate, direct", NP, {1}, {-1, 1, -2, 0}, false, false, {}, false,
         {"Complex poles must have corresponding conjugates for '_oplap0'."}, false},
        {"zero without conjugate, direct", ZD, {1, 1, 2, 0}, {1, 1}, false, false, {}, false,
         {"Complex zeros must have corresponding conjugates for '_oplap0'."}, false},
        {"both without conjugates, direct", ZP, {1, -1}, {-1, 1, -2, 0}, false, false, {}, false,
         {"Complex zeros must have corresponding conjugates for '_oplap0'.",
          "Complex poles must have corresponding conjugates for '_oplap0'."},
         false},
        {"no eigenvalue routine", ND, {1, 1}, {1, 1, 1}, false, false, d1, true,
         {"Unable to accurately factor numerator polynomial for operator '_oplap0'. Please use an alternate formulation",
          "Unable to accurately factor denominator polynomial for operator '_oplap0'. Please use an alternate "
          "formulation"},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        host.clearLog();
        host.sim()->pMathUtil = c.noRoutine ? nullptr : &eigenHost;
        const size_t nodesBefore = host.nodes().size();
        make(c.form, c.missingNum ? nullptr : &c.b, c.missingDen ? nullptr : &c.a, c.params);
        pass(true); // the log keeps the topology messages
        std::vector<std::string> bodies;
        for (auto& m : host.messages()) {
            EXPECT_EQ(m.type, MessageTypeE_ERROR);
            bodies.push_back(m.body);
        }
        EXPECT_EQ(bodies, c.errors);
        EXPECT_EQ(host.exitRequests(), static_cast<int>(c.errors.size()));
        if (c.inert) {
            // No rows, no loads, an output that reads 0.
            EXPECT_EQ(host.nodes().size(), nodesBefore);
            EXPECT_EQ(VXR_getBranchVar_lap(op), nullptr);
            EXPECT_EQ(dbtIn, nullptr);
            EXPECT_TRUE(host.batches().empty());
        }
        release();
    }
}

TEST_F(Lap, MirroredPolesAreReported) {
    // (1 - s/2)(1 - s/3)(1 + s): two right-half-plane poles
    make(ND, {1}, {1, 1.0 / 6, -2.0 / 3, 1.0 / 6}, {true, 1});
    run(true);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].type, MessageTypeE_WARNING);
    EXPECT_EQ(host.messages()[0].body,
              "During factorization of the denominator for top.u1._oplap0,\n     (2) unstable roots were mirrored to the "
              "left half plane.");
    EXPECT_EQ(host.exitRequests(), 0);
}

// ---- Loads -----------------------------------------------------------------------------------

struct JacobianCase {
    const char* what;
    Form form;
    std::vector<double> b, a;
    Params params;
};

TEST_F(Lap, JacobianIsTheDerivativeOfTheRightHandSide) {
    const Params p1{false, 0, true, -1}, d1{true, 1};
    const JacobianCase cases[] = {
        {"direct, third order", ND, {2, 3e-1, 1e-2}, {1, 0.2, 3e-2, 1e-3}, {}},
        {"direct, improper with a missing term", ND, {0.5, 0, 3}, {2, 0}, {}},
        {"direct, integrator", ND, {1}, {0, 1}, {}},
        {"sections, polynomial", ND, {2, 3e-1, 1e-2}, {1, 0.2, 3e-2, 1e-3}, d1},
        {"sections, roots", ZP, {-3, 0, 0, 0}, {-1, 2, -1, -2, -4, 0}, p1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        make(c.form, c.b, c.a, c.params);
        std::vector<const VXR_StateVar*> vars = {in};
        for (auto& n : host.nodes()) vars.push_back(n.sv);
        double v = 0.3;
        for (auto* sv : vars) setSolution(sv, v += 0.37);
        Loaded full = run(true);
        Loaded rhs = run(false);
        // The RHS-only pass loads the same values, bit for bit.
        EXPECT_EQ(full.f, rhs.f);
        EXPECT_EQ(full.q, rhs.q);
        EXPECT_TRUE(rhs.G.empty() && rhs.C.empty());
        for (auto* col : vars) {
            const double x0 = solution(col), h = 1e-6 * std::max(1.0, std::abs(x0));
            setSolution(col, x0 + h);
            Loaded up = run(false);
            setSolution(col, x0 - h);
            Loaded down = run(false);
            setSolution(col, x0);
            for (auto& [row, value] : full.f) {
                (void)value;
                const double fd = (up.f[row] - down.f[row]) / (2 * h);
                const double jac = full.G.count({row, col}) ? full.G.at({row, col}) : 0.0;
                EXPECT_NEAR(jac, fd, 1e-7 * std::max(1.0, std::abs(fd))) << host.nameOf(row) << " / " << host.nameOf(col);
            }
            for (auto& [row, value] : full.q) {
                (void)value;
                const double fd = (up.q[row] - down.q[row]) / (2 * h);
                const double jac = full.C.count({row, col}) ? full.C.at({row, col}) : 0.0;
                EXPECT_NEAR(jac, fd, 1e-7 * std::max(1.0, std::abs(fd))) << "Q " << host.nameOf(row) << " / " << host.nameOf(col);
            }
        }
        release();
    }
}

TEST_F(Lap, VariableArraysRecomputeOnlyWhenChanged) {
    make(ND, {1}, {1, 1e-3}, {}, true);
    // Private copies of variable arrays.
    EXPECT_NE(op->_pNumer, num);
    EXPECT_NE(op->_pDenom, den);
    run(true);
    EXPECT_DOUBLE_EQ(op->_pC[1], 1e-3);

    vxr_test::resetAllocationProbe();
    run(true);
    EXPECT_TRUE(vxr_test::systemAllocations().empty()) << "unchanged arrays: nothing recomputed";

    den->_data._pReal[1] = 2e-3;
    run(true);
    EXPECT_DOUBLE_EQ(op->_pC[1], 2e-3);
    EXPECT_EQ(op->_pDenom->_data._pReal[1], 2e-3);

    // A new length cannot fit the orders fixed at topology.
    VXR_Array* longer = array("den", {1, 1e-3, 1e-6}, true);
    host.clearLog();
    pass(true, nullptr, longer);
    ASSERT_EQ(host.messages().size(), 1u);
    EXPECT_EQ(host.messages()[0].body,
              "Coefficient array 'den' of operator '_oplap0' changed from 2 to 3 elements after topology.");
    EXPECT_EQ(host.exitRequests(), 1);
    EXPECT_EQ(op->_pDenom->_dataLen, 2);
    EXPECT_DOUBLE_EQ(op->_pC[1], 2e-3);
    freeArray(longer);
}

TEST_F(Lap, InputGainAndNoiseEnterAtTheInputRow) {
    make(ND, {4, 2e-3}, {1, 1e-3}); // G = 4
    setSolution(in, 0.5);
    Loaded l = run(true);
    EXPECT_DOUBLE_EQ(op->_Gain, 4.0);
    const VXR_StateVar* x0 = op->_auxBranch;
    EXPECT_DOUBLE_EQ(l.f[x0], 4.0 * 0.5);       // G F, no x_k set
    EXPECT_DOUBLE_EQ((l.G[{x0, in}]), 4.0); // G dF/dV(in)

    VXR_NoiseSrc src{};
    VXR_setNoiseSrcInfo(&src, VXR_WHITE_NOISE_SRC, "n", &u1.inst);
    VXR_addNoiseForOp_lap(&src, op, 7.0, host.loader());
    ASSERT_NE(src.pContrib, nullptr);
    EXPECT_EQ(src.pContrib->pRhsPair, op->_rhsAuxBranch);
    EXPECT_EQ(src.pContrib->coeff, 1.0);
    VXR_freeNoiseContribs(&src);
    VXR_reportNoiseContribForOp_lap(op, 3, kCb);
    ASSERT_EQ(host.noiseReports().size(), 1u);
    EXPECT_EQ(host.noiseReports()[0].key, op->_rhsAuxBranch);
}

TEST_F(Lap, AllocationFailuresLeakNothing) {
    for (Form form : {ND, ZP}) {
        const Params p = form == ZP ? Params{false, 0, true, -1} : Params{};
        const std::vector<double> b = form == ZP ? std::vector<double>{-3, 0} : std::vector<double>{1, 2};
        const std::vector<double> a = form == ZP ? std::vector<double>{-1, 2, -1, -2} : std::vector<double>{1, 1, 1};
        vxr_test::sweepAllocationFailures([&](int k) {
            vxrtest::RecordingHost h;
            h.sim()->pMathUtil = &eigenHost;
            vxrtest::InstanceRecord inst{h, "a1", "FILT"};
            const long start = vxr_test::liveBlocks();
            VXR_Array* bn = VXR_createArray(&inst.inst, VXR_REAL_ARRAY, "num");
            VXR_Array* an = VXR_createArray(&inst.inst, VXR_REAL_ARRAY, "den");
            VXR_setArrayBounds(bn, 0, static_cast<int>(b.size()) - 1);
            VXR_setArrayBounds(an, 0, static_cast<int>(a.size()) - 1);
            for (size_t i = 0; i < b.size(); ++i) bn->_data._pReal[i] = b[i];
            for (size_t i = 0; i < a.size(); ++i) an->_data._pReal[i] = a[i];
            simParams.clear();
            setParams(p);
            h.sim()->numOfSimParams = host.sim()->numOfSimParams;
            h.sim()->pSimParamArray = host.sim()->pSimParamArray;
            vxr_test::failAllocationAfter(k);
            VXR_OpBranch_lap* o = VXR_createOpBranch_lap("_oplap0", &inst.inst, form & 1, form >> 1);
            if (o) {
                VXR_lapInitArrayArg(o, bn, an);
                VXR_lapFinalizeTopology(o, kCb);
                VXR_lapSetStamp(o, kCb);
                VXR_lapSetArg(o, 1.0, bn, an, h.loader());
                VXR_lapGenericLoad(o, h.loader());
            }
            vxr_test::failAllocationAfter(-1);
            VXR_destroyOpBranch_lap(o);
            freeArray(bn);
            freeArray(an);
            EXPECT_EQ(vxr_test::liveBlocks(), start);
        });
    }
}

} // namespace
