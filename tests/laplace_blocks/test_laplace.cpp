// Laplace operators of revisions 1.60 and 1.42 against a recording host.
// The loads are assembled into G, C and F by the handles they address, so the
// tests can solve the small circuit themselves: AC (G + jwC) X = b, a
// backward-Euler transient and central differences of the RHS-only load.
// References from make_reference.py (numpy, scipy.signal).
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "VXR_Laplace.h"
#include "allocation_probe.h"
#include "allocation_sweep.h"
#include "laplace_ops.h"
#include "laplace_reference.h"
#include "recording_host.h"

namespace {

using vxrtest::InstanceRecord;
using vxrtest::LoadKind;
using vxrtest::RecordingHost;
using cd = std::complex<double>;

int cbToken;
void* const kCb = &cbToken;

// ---- host pieces the recording host lacks: eigenvalues and host objects ----

int testDgeev(const char*, const char*, const int* n, double* a, const int* lda, double* wr, double* wi, double*,
              const int*, double*, const int*, double*, const int*, int* info) {
    Eigen::MatrixXd m(*n, *n);
    for (int c = 0; c < *n; ++c)
        for (int r = 0; r < *n; ++r)
            m(r, c) = a[r + c * *lda];
    Eigen::EigenSolver<Eigen::MatrixXd> es(m, false);
    for (int i = 0; i < *n; ++i) {
        wr[i] = es.eigenvalues()[i].real();
        wi[i] = es.eigenvalues()[i].imag();
    }
    *info = 0;
    return 0;
}
VXR_MathUtil gMath = {testDgeev};

// A host object: the state header, then a generation number copies keep.
struct FakeSpec {
    VXR_GenericOperatorState hdr;
    int generation;
    void* branch;
};
int gLiveSpecs = 0;
int gNextGeneration = 0;
#if VXR_REVISION == 160
void freeSpec(VXR_GenericOperatorState* s) {
    --gLiveSpecs;
    free(s);
}
#endif
FakeSpec* newSpec(void* branch, int generation) {
    auto* s = static_cast<FakeSpec*>(calloc(1, sizeof(FakeSpec)));
    s->hdr.opStateType = VXR_POLERES_SPEC;
#if VXR_REVISION == 160
    s->hdr.pFreeSelf = freeSpec;
#endif
    s->generation = generation;
    s->branch = branch;
    ++gLiveSpecs;
    return s;
}
void* createSpec(VXR_SimInterface*, void* branch) {
    return newSpec(branch, ++gNextGeneration);
}
void* copySpec(void* obj) {
    auto* s = static_cast<FakeSpec*>(obj);
    return newSpec(s->branch, s->generation);
}
#if VXR_REVISION == 142
void freeSpec142(void* obj) {
    --gLiveSpecs;
    free(obj);
}
#endif

// ---- runtime arrays ----

VXR_Array* makeArray(VXR_DeviceInst* inst, const std::vector<double>& v, bool bounds = true) {
    VXR_Array* a = VXR_createArray(inst, VXR_REAL_ARRAY, "coeffs");
    if (bounds && !v.empty()) {
        VXR_setArrayBounds(a, 0, static_cast<int>(v.size()) - 1);
        for (size_t i = 0; i < v.size(); ++i)
            a->_data._pReal[i] = v[i];
    }
    return a;
}
void freeArray(VXR_Array* a) {
    if (!a)
        return;
    VXR_free(a->_data._pReal);
    VXR_free(a);
}
// Sizing after creation: the way a module fills an array it did not size
// before the operator was made.
void fillLater(VXR_Array* a, const std::vector<double>& v) {
    VXR_setArrayBounds(a, 0, static_cast<int>(v.size()) - 1);
    for (size_t i = 0; i < v.size(); ++i)
        a->_data._pReal[i] = v[i];
}

// ---- the four operators ----

using lapops::Ops;
const Ops& kNd = lapops::kAll[0];
const Ops& kNp = lapops::kAll[1];
const Ops& kZd = lapops::kAll[2];
const Ops& kZp = lapops::kAll[3];

// One operator use: its arrays and the H(jw) references.
struct Case {
    const Ops* ops;
    std::vector<double> first, second;
    const double* hRe;
    const double* hIm;
};
const Case kCases[] = {
    {&kNd, {1.0, 0.5}, {2.0, 3.0, 1.0}, lapref::kNdRe, lapref::kNdIm},
    {&kNp, {3.0, 1.0}, {-1, 2, -1, -2, -4, 0}, lapref::kNpRe, lapref::kNpIm},
    {&kZd, {-3.0, 0.0}, {6.0, 5.0, 1.0}, lapref::kZdRe, lapref::kZdIm},
    {&kZp, {-2, 0, -0.5, 0}, {-1, 1, -1, -1, -3, 0}, lapref::kZpRe, lapref::kZpIm},
};

class Laplace : public ::testing::Test {
protected:
    RecordingHost host;
    InstanceRecord inst{host, "x1", "lapmod"};
    VXR_StateVar* vin = host.terminal("vin");
    std::vector<VXR_Array*> arrays;
    const Ops* ops = nullptr;
    void* op = nullptr;
    void* hIn = nullptr; // the argument's doublet against vin
    long liveAtStart = 0;
    size_t firstNode = 0; // the operator's variables follow
    std::vector<char*> opNames; // the module's copies of the operator names

    void SetUp() override {
        vxr_test::resetAllocationProbe();
        liveAtStart = vxr_test::liveBlocks();
        gLiveSpecs = 0;
    }
    void TearDown() override {
        drop();
        for (VXR_Array* a : arrays)
            freeArray(a);
        for (char* name : opNames)
            VXR_free(name);
        EXPECT_EQ(vxr_test::liveBlocks(), liveAtStart);
        EXPECT_EQ(gLiveSpecs, 0);
    }

    // Releases the operator: its destroy in 1.60; 1.42 has none, so the test
    // takes the records apart the way the module's memory would go.
    void drop() {
        if (!op)
            return;
#if VXR_REVISION == 160
        ops->destroy(op);
#else
        if (VXR_OpBranchPoleResidue* br = branch()) {
            host.sim()->pFreePoleResSpec(br->_pPoleResSpec);
            VXR_free(br->_pQuotCoeffs);
            poleResidueFreeDecomposition(br);
            VXR_free(br->_pFreqResponse);
            VXR_free(br);
        }
        auto chain = [](VXR_SectionPoly2** l, int n) {
            if (l)
                for (int k = 0; k < n; ++k)
                    VXR_destroySectionPoly2(l[k]);
            VXR_free(l);
        };
        if (ops == &kNd) {
            auto* o = static_cast<VXR_OpBranch_lapnd*>(op);
            VXR_destroyRealPolyN(o->_pNumerPoly);
            VXR_destroyRealPolyN(o->_pDenomPoly);
            VXR_free(o->_auxName);
        } else if (ops == &kNp) {
            auto* o = static_cast<VXR_OpBranch_lapnp*>(op);
            VXR_destroyRealPolyN(o->_pNumerPoly);
            chain(o->_poleSections, o->_numPoleSections);
            VXR_free(o->_auxName);
        } else if (ops == &kZd) {
            auto* o = static_cast<VXR_OpBranch_lapzd*>(op);
            VXR_destroyRealPolyN(o->_pDenomPoly);
            chain(o->_zeroSections, o->_numZeroSections);
            VXR_free(o->_auxName);
        } else {
            auto* o = static_cast<VXR_OpBranch_lapzp*>(op);
            chain(o->_zeroSections, o->_numZeroSections);
            chain(o->_poleSections, o->_numPoleSections);
            VXR_free(o->_auxName);
        }
        VXR_free(op);
#endif
        op = nullptr;
    }

    void enablePoleResidue() {
        host.sim()->pCreatePoleResSpec = createSpec;
        host.sim()->pCopyPoleResSpec = copySpec;
#if VXR_REVISION == 142
        host.sim()->pFreePoleResSpec = freeSpec142;
#endif
    }

    VXR_Array* arr(const std::vector<double>& v, bool bounds = true) {
        arrays.push_back(makeArray(inst.ptr(), v, bounds));
        return arrays.back();
    }

    void build(const Ops& o, VXR_Array* a, VXR_Array* b) {
        ops = &o;
        host.sim()->pMathUtil = &gMath;
        firstNode = host.nodes().size();
        opNames.push_back(VXR_strdup("lp", host.sim(), nullptr));
        op = o.create(opNames.back(), inst.ptr(), a, b);
        ASSERT_NE(op, nullptr);
        o.finalize(op, kCb);
        o.stamp(op, kCb);
        hIn = o.doublet(op, vin, nullptr, DC_ENTRY, LIN_DEP, kCb);
    }
    void build(const Case& c, bool bounds = true) {
        VXR_Array* a = arr(c.first, bounds);
        VXR_Array* b = arr(c.second, bounds);
        build(*c.ops, a, b);
        if (!bounds) {
            fillLater(a, c.first);
            fillLater(b, c.second);
        }
    }
    VXR_StateVar* auxVar() const {
        if (ops == &kNd) return static_cast<VXR_OpBranch_lapnd*>(op)->_auxBranch;
        if (ops == &kNp) return static_cast<VXR_OpBranch_lapnp*>(op)->_auxBranch;
        if (ops == &kZd) return static_cast<VXR_OpBranch_lapzd*>(op)->_auxBranch;
        return static_cast<VXR_OpBranch_lapzp*>(op)->_auxBranch;
    }
    VXR_OpBranchPoleResidue* branch() const {
        // Every record holds the branch pointer; read it through the operator type.
        if (ops == &kNd) return static_cast<VXR_OpBranch_lapnd*>(op)->pPoleResBranch;
        if (ops == &kNp) return static_cast<VXR_OpBranch_lapnp*>(op)->pPoleResBranch;
        if (ops == &kZd) return static_cast<VXR_OpBranch_lapzd*>(op)->pPoleResBranch;
        return static_cast<VXR_OpBranch_lapzp*>(op)->pPoleResBranch;
    }

    // One load pass at the given solution (by variable) and argument.
    void pass(const std::map<const VXR_StateVar*, double>& x, double u, bool full) {
        for (auto& [sv, v] : x)
            host.setSolution(sv, v);
        host.clearLog();
        ops->setArg(op, u, host.loader());
        if (full)
            ops->setArgDwrt(op, hIn, 1.0, host.loader());
        (full ? ops->load : ops->loadRhs)(op, host.loader());
    }

    // The operator's variables (the host's internal nodes), column order.
    std::vector<VXR_StateVar*> vars() const {
        std::vector<VXR_StateVar*> v;
        for (size_t i = firstNode; i < host.nodes().size(); ++i)
            v.push_back(host.nodes()[i].sv);
        return v;
    }

    struct System {
        Eigen::MatrixXd G, C;  // against the variables, then vin in the last column
        Eigen::VectorXd F, Q;  // residual parts
        std::vector<std::pair<int, std::vector<double>>> rhs; // (kind, values) in load order
    };
    System assemble(const std::vector<VXR_StateVar*>& v) const {
        const int n = static_cast<int>(v.size());
        std::map<const VXR_StateVar*, int> col;
        for (int i = 0; i < n; ++i)
            col[v[i]] = i;
        col[vin] = n;
        System s{Eigen::MatrixXd::Zero(n, n + 1), Eigen::MatrixXd::Zero(n, n + 1), Eigen::VectorXd::Zero(n),
                 Eigen::VectorXd::Zero(n), {}};
        auto idx = [&](const VXR_StateVar* sv) { return sv && col.count(sv) ? col[sv] : -1; };
        for (auto& b : host.batches()) {
            for (size_t k = 0; k < b.handles.size(); ++k) {
                EXPECT_GE(b.handles[k], 0) << "load through a handle the host did not give";
                if (b.handles[k] < 0)
                    continue;
                const auto& h = host.handles()[b.handles[k]];
                const int r = idx(h.sv[0]);
                const double val = b.values[k];
                switch (b.kind) {
                case LoadKind::RhsPair: s.F[r] += val; break;
                case LoadKind::RhsPairQ: s.Q[r] += val; break;
                case LoadKind::DerivDoublet:
                case LoadKind::DerivDoubletQ: {
                    Eigen::MatrixXd& M = b.kind == LoadKind::DerivDoublet ? s.G : s.C;
                    if (idx(h.sv[1]) >= 0) M(r, idx(h.sv[1])) += val;
                    if (idx(h.sv[2]) >= 0) M(r, idx(h.sv[2])) -= val;
                    break;
                }
                default: ADD_FAILURE() << "unexpected load kind";
                }
            }
            if (b.kind == LoadKind::RhsPair || b.kind == LoadKind::RhsPairQ)
                s.rhs.push_back({static_cast<int>(b.kind), b.values});
        }
        return s;
    }

    // Output over argument at angular frequency w, from one full pass.
    cd response(double w) {
        const auto v = vars();
        pass({}, 0.0, true);
        System s = assemble(v);
        const int n = static_cast<int>(v.size());
        Eigen::MatrixXcd A = s.G.leftCols(n).cast<cd>() + cd(0, w) * s.C.leftCols(n).cast<cd>();
        Eigen::VectorXcd b = -(s.G.col(n).cast<cd>() + cd(0, w) * s.C.col(n).cast<cd>());
        Eigen::VectorXcd X = A.partialPivLu().solve(b);
        for (int i = 0; i < n; ++i)
            if (v[i] == ops->branchVar(op))
                return X[i];
        ADD_FAILURE() << "no output variable";
        return 0.0;
    }
};

// A branch made without an operator (no host object).
void releaseBranch(VXR_OpBranchPoleResidue* br) {
#if VXR_REVISION == 160
    poleResidueDestroy(br);
#else
    poleResidueFreeDecomposition(br);
    VXR_free(br->_pFreqResponse);
    VXR_free(br);
#endif
}

void expectNear(cd got, double re, double im, double rel) {
    const double tol = rel * std::abs(cd(re, im));
    EXPECT_NEAR(got.real(), re, tol);
    EXPECT_NEAR(got.imag(), im, tol);
}

// ---- polynomial toolkit ----

TEST_F(Laplace, PartialFractionsMatchReferenceResidues) {
    for (const auto& c : lapref::kPfCases) {
        SCOPED_TRACE(c.name);
        VXR_OpBranchPoleResidue* br = VXR_createOpBranchPoleResidue("pf", inst.ptr());
        std::vector<double> poles = c.poles;
        VXR_PartialFracNP(NUM_COEFFS, static_cast<int>(c.numer.size()), c.numer.data(),
                          static_cast<int>(poles.size() / 2), reinterpret_cast<VXR_Cmplx*>(poles.data()), 1e-3, 1e-6,
                          br);
        for (const auto& t : c.terms) {
            int i = 0;
            while (i < br->_numPoles && std::hypot(br->_pPoles[i].real - t.pRe, br->_pPoles[i].imag - t.pIm) > 1e-9)
                ++i;
            ASSERT_LT(i, br->_numPoles) << "pole " << t.pRe << "," << t.pIm;
            ASSERT_GE(br->_pPoleMult[i], t.power);
            EXPECT_NEAR(br->_ppResidues[i][t.power - 1].real, t.rRe, 1e-9);
            EXPECT_NEAR(br->_ppResidues[i][t.power - 1].imag, t.rIm, 1e-9);
        }
        int terms = 0;
        for (int i = 0; i < br->_numPoles; ++i)
            terms += br->_pPoleMult[i];
        EXPECT_EQ(terms, static_cast<int>(c.terms.size()));
        // Refilling releases the old split; a second call must not leak.
        VXR_PartialFracNP(NUM_ZEROS, 0, nullptr, 1, reinterpret_cast<VXR_Cmplx*>(poles.data()), 1e-3, 1e-6, br);
        EXPECT_EQ(br->_numPoles, 1);
        releaseBranch(br);
    }
}

// 13 coinciding poles: m!/(m-i)! beyond the range of an int factorial.
TEST_F(Laplace, HighMultiplicityKeepsExactResidues) {
    VXR_OpBranchPoleResidue* br = VXR_createOpBranchPoleResidue("pf", inst.ptr());
    std::vector<double> poles;
    for (int i = 0; i < 13; ++i)
        poles.insert(poles.end(), {-1.0, 0.0});
    const double num[] = {1.0, 1.0}; // 1 + s = (s + 1): only the power 12 term remains
    VXR_PartialFracNP(NUM_COEFFS, 2, num, 13, reinterpret_cast<VXR_Cmplx*>(poles.data()), 1e-3, 1e-6, br);
    ASSERT_EQ(br->_numPoles, 1);
    ASSERT_EQ(br->_pPoleMult[0], 13);
    for (int k = 0; k < 13; ++k)
        EXPECT_EQ(br->_ppResidues[0][k].real, k == 11 ? 1.0 : 0.0) << k;
    releaseBranch(br);
}

TEST_F(Laplace, PolynomialUtilitiesMatchNumpy) {
    std::vector<double> d(std::begin(lapref::kDerivIn), std::end(lapref::kDerivIn));
    VXR_DiffPoly(d.data(), static_cast<int>(d.size()) - 1);
    for (size_t i = 0; i < d.size(); ++i)
        EXPECT_DOUBLE_EQ(d[i], lapref::kDerivOut[i]);

    std::vector<double> num(std::begin(lapref::kDivNum), std::end(lapref::kDivNum)), q(3);
    dividePoly(num.data(), 4, lapref::kDivDen, 2, q.data());
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(q[i], lapref::kDivQuot[i], 1e-12);
    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR(num[i], lapref::kDivRem[i], 1e-12);

    std::vector<double> poly(std::size(lapref::kRootsIn));
    computePolyFromRoots(poly.data(), lapref::kRootsIn, static_cast<int>(poly.size()));
    for (size_t i = 0; i < poly.size(); ++i)
        EXPECT_NEAR(poly[i], lapref::kRootsPoly[i], 1e-12) << i;

    EXPECT_EQ(VXR_EvalPoly(2.0, 0.0, lapref::kDivDen, -1).real, 0.0);
    const VXR_Cmplx v = VXR_EvalPoly(0.0, 1.0, lapref::kDivDen, 2); // 2 + j - 3
    EXPECT_EQ(v.real, -1.0);
    EXPECT_EQ(v.imag, 1.0);
}

TEST_F(Laplace, SmallEntryPoints) {
    struct { double n, want; } div[] = {{0.0, 1.0}, {2.0, 3.4028234663852886e38}, {-2.0, -3.4028234663852886e38},
                                        {NAN, -3.4028234663852886e38}};
    for (auto& c : div)
        EXPECT_EQ(VXR_RealDivByZero(c.n, inst.ptr(), 7), c.want);
    EXPECT_EQ(host.debugEvents().size(), 4u);
    EXPECT_EQ(host.debugEvents()[0].line, 7);

    EXPECT_EQ(getSuppliedTol(7, 1e-3, nullptr), 1e-3);
    host.setDefault(static_cast<VXR_DefaultTypeE>(7), -1.0);
    EXPECT_EQ(getSuppliedTol(7, 1e-3, host.loader()), 1e-3);
    host.setDefault(static_cast<VXR_DefaultTypeE>(7), 0.25);
    EXPECT_EQ(getSuppliedTol(7, 1e-3, host.loader()), 0.25);
    EXPECT_EQ(arrayLen(nullptr), 0);

    struct { std::vector<double> v; int ok; std::vector<double> after; } conj[] = {
        {{1, 2, 3, 0, 1, -2}, 1, {1, 2, 1, -2, 3, 0}},
        {{1, 2, 3, 0}, 0, {1, 2, 3, 0}},
        {{1, NAN, 1, NAN}, 0, {}},
        {{5, 0, -1, -1, -1, 1}, 1, {5, 0, -1, -1, -1, 1}},
    };
    for (auto& c : conj) {
        EXPECT_EQ(VXR_checkConjugateZeros(c.v.data(), static_cast<int>(c.v.size())), c.ok);
        if (!c.after.empty()) {
            EXPECT_EQ(c.v, c.after);
        }
    }

    VXR_Array* model = arr({1.0, 2.0, 3.0});
    VXR_Array* copy = VXR_createVarArray(model, "copy");
    arrays.push_back(copy);
    ASSERT_EQ(copy->_dataLen, 3);
    EXPECT_EQ(copy->_data._pReal[2], 0.0);
    EXPECT_TRUE(copy->_boundsSet);
}

// ---- the operators ----

TEST_F(Laplace, AlgebraicFormsFollowTheTransferFunction) {
    for (const Case& c : kCases) {
        for (double scale : {1.0, 1e-9}) {
            SCOPED_TRACE(std::string(c.ops->name) + " scale " + std::to_string(scale));
            host.setDefault(VXR_BRANCHDDT_SCALE, scale);
            build(c);
            ASSERT_EQ(branch(), nullptr);
            pass({}, 0.0, true); // the derivative branches take the scale
            for (int i = 0; i < 5; ++i)
                expectNear(response(lapref::kOmega[i]), c.hRe[i], c.hIm[i], 1e-9);
            drop();
        }
    }
}

TEST_F(Laplace, JacobianEqualsDifferencesOfTheRhsLoad) {
    for (const Case& c : kCases) {
        for (double scale : {1.0, 1e-3}) {
            SCOPED_TRACE(std::string(c.ops->name) + " scale " + std::to_string(scale));
            host.setDefault(VXR_BRANCHDDT_SCALE, scale);
            build(c);
            pass({}, 0.0, true);
            const auto v = vars();
            const int n = static_cast<int>(v.size());
            std::map<const VXR_StateVar*, double> x;
            for (int i = 0; i < n; ++i)
                x[v[i]] = std::sin(1.0 + i) * 2.0;
            const double u = 0.7;
            pass(x, u, true);
            System full = assemble(v);
            pass(x, u, false);
            System rhsOnly = assemble(v);
            EXPECT_EQ(full.rhs, rhsOnly.rhs) << "full-load right-hand side differs from the RHS-only load";
            const double hstep = 1e-3;
            for (int j = 0; j <= n; ++j) {
                auto xp = x, xm = x;
                double up = u, um = u;
                if (j < n) {
                    xp[v[j]] += hstep;
                    xm[v[j]] -= hstep;
                } else {
                    up += hstep;
                    um -= hstep;
                }
                pass(xp, up, false);
                System sp = assemble(v);
                pass(xm, um, false);
                System sm = assemble(v);
                for (int r = 0; r < n; ++r) {
                    const double dF = (sp.F[r] - sm.F[r]) / (2 * hstep), dQ = (sp.Q[r] - sm.Q[r]) / (2 * hstep);
                    EXPECT_NEAR(full.G(r, j), dF, 1e-6 * (1 + std::abs(dF))) << "G row " << r << " col " << j;
                    EXPECT_NEAR(full.C(r, j), dQ, 1e-6 * (1 + std::abs(dQ))) << "C row " << r << " col " << j;
                }
            }
            drop();
        }
    }
}

TEST_F(Laplace, BackwardEulerStepMatchesTheDiscretisedFilter) {
    build(kNd, arr({std::begin(lapref::kBeNum), std::end(lapref::kBeNum)}),
          arr({std::begin(lapref::kBeDen), std::end(lapref::kBeDen)}));
    pass({}, 0.0, true);
    const auto v = vars();
    const int n = static_cast<int>(v.size());
    System s = assemble(v);
    const double h = lapref::kBeStep;
    // G x_k + g u_k + (C x_k + c u_k - C x_{k-1} - c u_{k-1}) / h = 0
    Eigen::MatrixXd A = s.G.leftCols(n) + s.C.leftCols(n) / h;
    auto lu = A.partialPivLu();
    Eigen::VectorXd xPrev = Eigen::VectorXd::Zero(n);
    double uPrev = 0.0;
    int out = -1;
    for (int i = 0; i < n; ++i)
        if (v[i] == kNd.branchVar(op))
            out = i;
    ASSERT_GE(out, 0);
    for (size_t k = 0; k < std::size(lapref::kBeStepResponse); ++k) {
        const double u = 1.0;
        Eigen::VectorXd b = -(s.G.col(n) * u) + (s.C.leftCols(n) * xPrev - s.C.col(n) * (u - uPrev)) / h;
        Eigen::VectorXd x = lu.solve(b);
        EXPECT_NEAR(x[out], lapref::kBeStepResponse[k], 1e-9) << "step " << k;
        xPrev = x;
        uPrev = u;
    }
}

// The pole-residue split of each operator gives the same H(jw).
TEST_F(Laplace, PoleResidueFormsMatchTheTransferFunction) {
    enablePoleResidue();
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.ops->name);
        build(c);
        VXR_OpBranchPoleResidue* br = branch();
        ASSERT_NE(br, nullptr);
        ops->setArg(op, 1.0, host.loader());
        EXPECT_EQ(br->_coeffsChanged, 1);
        for (int i = 0; i < 5; ++i) {
            const double w = lapref::kOmega[i];
            VXR_Cmplx z;
            br->_pFreqResponse->pGetFreqResponse(br, w, &z);
            cd H(z.real, z.imag);
            cd q = 0.0;
            for (int k = br->_numQuotCoeffs - 1; k >= 0; --k)
                q = q * cd(0, w) + br->_pQuotCoeffs[k];
            expectNear(H + q, c.hRe[i], c.hIm[i], 1e-9);
        }
        drop();
    }
}

TEST_F(Laplace, ImproperNdSplitsOffItsQuotient) {
    enablePoleResidue();
    build(kNd, arr({std::begin(lapref::kImproperNum), std::end(lapref::kImproperNum)}),
          arr({std::begin(lapref::kImproperDen), std::end(lapref::kImproperDen)}));
    VXR_OpBranchPoleResidue* br = branch();
    ASSERT_NE(br, nullptr);
    ops->setArg(op, 0.0, host.loader());
    ASSERT_EQ(br->_numQuotCoeffs, 1);
    EXPECT_NEAR(br->_pQuotCoeffs[0], lapref::kImproperQuot[0], 1e-12);
    ASSERT_EQ(br->_numPoles, 2);
    for (int i = 0; i < 2; ++i) {
        const int k = br->_pPoles[i].real < -1.5 ? 0 : 1;
        EXPECT_NEAR(br->_pPoles[i].real, lapref::kImproperPoles[k], 1e-12);
        EXPECT_NEAR(br->_ppResidues[i][0].real, lapref::kImproperRes[k], 1e-9);
    }
}

TEST_F(Laplace, FormChoice) {
    enablePoleResidue();
    struct Row {
        const Ops* ops;
        std::vector<double> a, b;
        bool bounds, poleResidue;
        const char* why;
    } rows[] = {
        {&kNd, {1}, {1, 1}, true, true, "proper"},
        {&kNd, {1, 1, 1}, {1, 1}, true, false, "improper"},
        {&kNd, {1}, {1, 1, 0}, true, false, "leading zero: not all roots found"},
        {&kNd, {1}, {1, 1}, false, false, "arrays sized after creation"},
        {&kNp, {1}, {0, 0, -1, 0}, true, false, "pole at the origin"},
        {&kNp, {1, 0}, {-1, 0, -2, 0}, true, false, "leading numerator zero"},
        {&kNp, {1, 1}, {-1, 0}, true, false, "numerator order not below pole count"},
        {&kZd, {-1, 0}, {1, 1}, true, true, "one zero over one pole"},
        {&kZp, {-1, 0, -2, 0}, {-1, 0}, true, false, "more zeros than poles"},
        {&kZp, {}, {-1, 0}, true, true, "no zeros"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.why);
        VXR_Array* a = r.a.empty() ? nullptr : arr(r.a, r.bounds);
        VXR_Array* b = arr(r.b, r.bounds);
        build(*r.ops, a, b);
        EXPECT_EQ(branch() != nullptr, r.poleResidue);
        drop();
    }
}

TEST_F(Laplace, ArgumentErrorsAreReportedWithExit) {
    enablePoleResidue();
    struct Row {
        const Ops* ops;
        std::vector<double> a, b;
        const char* text;
    } rows[] = {
        {&kNp, {1}, {-1, 0, -2}, "Operator 'lp' expects an even number of poles."},
        {&kNp, {1}, {1, 2, 3, 0}, "Complex poles must have corresponding conjugates for 'lp'."},
        {&kZd, {-1, 2}, {1, 1, 1}, "Complex zeros must have corresponding conjugates for 'lp'."},
        {&kZd, {-1}, {1, 1}, "Operator 'lp' expects an even number of zeros."},
        {&kZp, {-1, 0}, {-1, 0, 2}, "Operator 'lp' expects an even number of zeros and poles."},
        {&kNd, {}, {1, 1}, "Operator 'lp' needs at least one coefficient in each coefficient array."},
        {&kNd, {1}, {0}, "Operator 'lp' has a zero coefficient in its leading term."},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        host.clearLog();
        build(*r.ops, arr(r.a), arr(r.b));
        ops->setArg(op, 1.0, host.loader());
        ops->load(op, host.loader());
        bool found = false;
        for (auto& m : host.messages())
            found |= m.type == MessageTypeE_ERROR && m.body == r.text;
        EXPECT_TRUE(found);
        EXPECT_GE(host.exitRequests(), 1);
        drop();
    }
}

// A coefficient array whose length changes after topology: the block copies
// at most its order and the operator reports the change.
TEST_F(Laplace, ArrayLengthChangeIsReported) {
    VXR_Array* a = arr({1.0});
    VXR_Array* b = arr({1.0, 1.0});
    build(kNd, a, b);
    pass({}, 1.0, true);
    EXPECT_EQ(host.exitRequests(), 0);
    VXR_free(b->_data._pReal);
    b->_data._pReal = nullptr;
    b->_dataLen = 0;
    fillLater(b, {1.0, 2.0, 3.0, 4.0});
    pass({}, 1.0, true);
    EXPECT_EQ(host.exitRequests(), 1);
    EXPECT_FALSE(b->_contentsModified);
}

TEST_F(Laplace, SaveRestoreResetThroughHostCopies) {
    enablePoleResidue();
    build(kCases[0]);
    VXR_OpBranchPoleResidue* br = branch();
    ASSERT_NE(br, nullptr);
    ops->setArg(op, 1.0, host.loader());
    const int gen = static_cast<FakeSpec*>(br->_pPoleResSpec)->generation;
    void* s1 = ops->save(op);
    void* s2 = ops->save(op);
    ASSERT_NE(s1, nullptr);
    EXPECT_NE(s1, s2);
    ops->reset(op);
    EXPECT_NE(static_cast<FakeSpec*>(br->_pPoleResSpec)->generation, gen);
    EXPECT_EQ(br->_coeffsChanged, 1);
    EXPECT_EQ(br->_numPoles, 2); // the split stays
    for (int i = 0; i < 2; ++i) { // one saved state restores twice
        ops->restore(op, s1);
        EXPECT_EQ(static_cast<FakeSpec*>(br->_pPoleResSpec)->generation, gen);
        EXPECT_NE(br->_pPoleResSpec, s1);
    }
    // A state of another kind, or none, leaves the branch as it was.
    void* current = br->_pPoleResSpec;
    static_cast<FakeSpec*>(s2)->hdr.opStateType = VXR_DELAY_SPEC;
    ops->restore(op, s2);
    ops->restore(op, nullptr);
    EXPECT_EQ(br->_pPoleResSpec, current);
    for (void* s : {s1, s2}) {
        --gLiveSpecs;
        free(s);
    }
    // Accept goes to the loader's member; the static-check loader has none.
    ops->accept(op, host.loader());
    VXR_ContribLoader noMembers = *host.loader();
    noMembers.pLoadPoleResidue = nullptr;
    noMembers.pLoadPoleResidue_dwrt = nullptr;
    noMembers.pAcceptPoleResidue = nullptr;
    ops->setArg(op, 1.0, &noMembers);
    ops->setArgDwrt(op, hIn, 1.0, &noMembers);
    ops->accept(op, &noMembers);
}

TEST_F(Laplace, InternalVariableNames) {
    struct Row {
        const Case* c;
        std::vector<std::string> names;
    } rows[] = {
        {&kCases[0], {"lp", "lp_auxbr", "lp_n_rpn", "lp_n_r1", "lp_d_rpn", "lp_d_r1", "lp_d_r2"}},
        {&kCases[1], {"lp", "lp_aux", "lp_rpn", "lp_r1", "lp._p0", "lp._p0_d", "lp._p1", "lp._p1_d"}},
        {&kCases[2], {"lp", "lp_aux", "lp_rpn", "lp_r1", "lp_r2"}},
        {&kCases[3], {"lp", "lp._aux", "lp._z0", "lp._z0_d", "lp._p0", "lp._p0_d", "lp._p1", "lp._p1_d"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.c->ops->name);
        build(*r.c);
        std::vector<std::string> got;
        for (size_t i = firstNode; i < host.nodes().size(); ++i)
            got.push_back(host.nodes()[i].name);
        EXPECT_EQ(got, r.names);
        drop();
    }
}

// Noise enters where the argument enters: the input variable in the
// algebraic form (through the first-order zero factor when there is one),
// the branch variable with the branch's response in the pole-residue form.
TEST_F(Laplace, NoiseContributions) {
    for (bool pr : {false, true}) {
        if (pr)
            enablePoleResidue();
        for (const Case& c : kCases) {
            SCOPED_TRACE(std::string(c.ops->name) + (pr ? " pole-residue" : " algebraic"));
            build(c);
            pass({}, 1.0, true); // coefficients taken
            VXR_NoiseSrc src{};
            VXR_setNoiseSrcInfo(&src, VXR_WHITE_NOISE_SRC, "n", inst.ptr());
            using AddNoise = void (*)(VXR_NoiseSrc*, void*);
            const AddNoise add[] = {reinterpret_cast<AddNoise>(VXR_addNoiseForOp_lapnd),
                                    reinterpret_cast<AddNoise>(VXR_addNoiseForOp_lapnp),
                                    reinterpret_cast<AddNoise>(VXR_addNoiseForOp_lapzd),
                                    reinterpret_cast<AddNoise>(VXR_addNoiseForOp_lapzp)};
            add[&c - kCases](&src, op);
            ASSERT_NE(src.pContrib, nullptr);
            if (pr) {
                EXPECT_EQ(src.pContrib->pRhsPair, branch()->_branchVar);
                EXPECT_EQ(src.pContrib->pFreqResponse, branch()->_pFreqResponse);
            } else {
                const bool odd = &c == &kCases[2]; // one zero: the factor 1 + s/3, value and derivative
                EXPECT_EQ(src.pContrib->pRhsPair, auxVar());
                EXPECT_EQ(src.pContrib->pFreqResponse, odd ? &ddtTransferFunc : nullptr);
                EXPECT_EQ(src.useCount, odd ? 2 : 1);
            }
#if VXR_REVISION == 160
            using Report = void (*)(void*, int, void*);
            const Report report[] = {reinterpret_cast<Report>(VXR_reportNoiseContribForOp_lapnd),
                                     reinterpret_cast<Report>(VXR_reportNoiseContribForOp_lapnp),
                                     reinterpret_cast<Report>(VXR_reportNoiseContribForOp_lapzd),
                                     reinterpret_cast<Report>(VXR_reportNoiseContribForOp_lapzp)};
            host.clearLog();
            report[&c - kCases](op, 3, kCb);
            ASSERT_EQ(host.noiseReports().size(), 1u);
            EXPECT_EQ(host.noiseReports()[0].count, 3);
            EXPECT_EQ(host.noiseReports()[0].key, pr ? branch()->_branchVar : auxVar());
            report[&c - kCases](nullptr, 3, kCb); // no record: nothing
            EXPECT_EQ(host.noiseReports().size(), 1u);
#endif
            VXR_freeNoiseContribs(&src);
            drop();
        }
    }
}

// Root-form operators with as many zeros as poles: the polynomial part comes
// from the zero product (built in place over the zero values).
TEST_F(Laplace, BiproperRootFormsSplitOffTheirQuotient) {
    enablePoleResidue();
    const cd j(0.0, 1.0);
    struct Row {
        const Ops* ops;
        std::vector<double> a, b;
        cd h; // H(j)
    } rows[] = {
        {&kZd, {-1, 0, -2, 0}, {2, 3, 1}, 0.5},
        {&kZp, {-1, 0, -2, 0}, {-3, 0, -4, 0}, (1.0 + j) * (1.0 + j / 2.0) / ((1.0 + j / 3.0) * (1.0 + j / 4.0))},
        {&kZp, {-1, 1, -1, -1, -2, 0}, {-3, 0, -4, 0, -5, 0},
         (1.0 + j + j * j / 2.0) * (1.0 + j / 2.0) / ((1.0 + j / 3.0) * (1.0 + j / 4.0) * (1.0 + j / 5.0))},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.ops->name);
        build(*r.ops, arr(r.a), arr(r.b));
        VXR_OpBranchPoleResidue* br = branch();
        ASSERT_NE(br, nullptr);
        ops->setArg(op, 1.0, host.loader());
        ASSERT_EQ(br->_numQuotCoeffs, 1);
        VXR_Cmplx z;
        br->_pFreqResponse->pGetFreqResponse(br, 1.0, &z);
        expectNear(cd(z.real, z.imag) + br->_pQuotCoeffs[0], r.h.real(), r.h.imag(), 1e-12);
        drop();
    }
}

#if VXR_REVISION == 160
// Each allocation of an operator's life failing in turn: reported, no crash,
// and destroy still gives every block back.
TEST(LaplaceAllocation, EveryFailureIsReportedAndNothingLeaks) {
    for (bool pr : {false, true}) {
        for (const Case& c : kCases) {
            SCOPED_TRACE(std::string(c.ops->name) + (pr ? " pole-residue" : " algebraic"));
            const int runs = vxr_test::sweepAllocationFailures([&](int k) {
                RecordingHost host;
                InstanceRecord inst{host, "x1", "lapmod"};
                host.sim()->pMathUtil = &gMath;
                if (pr) {
                    host.sim()->pCreatePoleResSpec = createSpec;
                    host.sim()->pCopyPoleResSpec = copySpec;
                }
                VXR_Array* a = makeArray(inst.ptr(), c.first);
                VXR_Array* b = makeArray(inst.ptr(), c.second);
                const long start = vxr_test::liveBlocks();
                gLiveSpecs = 0;
                vxr_test::failAllocationAfter(k);
                void* op = c.ops->create("lp", inst.ptr(), a, b);
                if (op) {
                    c.ops->finalize(op, kCb);
                    c.ops->stamp(op, kCb);
                    void* h = c.ops->doublet(op, host.terminal("vin"), nullptr, DC_ENTRY, LIN_DEP, kCb);
                    for (int pass = 0; pass < 2; ++pass) {
                        c.ops->setArg(op, 1.0, host.loader());
                        c.ops->setArgDwrt(op, h, 1.0, host.loader());
                        c.ops->load(op, host.loader());
                    }
                    if (void* saved = c.ops->save(op)) {
                        c.ops->restore(op, saved);
                        --gLiveSpecs;
                        free(saved);
                    }
                }
                vxr_test::failAllocationAfter(-1);
                if (vxr_test::allocationFailed()) {
                    bool reported = false;
                    for (auto& m : host.messages())
                        reported |= m.body == "Out of memory.";
                    EXPECT_TRUE(reported);
                    EXPECT_GE(host.exitRequests(), 1);
                }
                c.ops->destroy(op);
                EXPECT_EQ(vxr_test::liveBlocks(), start);
                EXPECT_EQ(gLiveSpecs, 0);
                freeArray(a);
                freeArray(b);
            });
            EXPECT_GT(runs, 10); // the life allocates; each allocation failed once
        }
    }
}
#endif

} // namespace
