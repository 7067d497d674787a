// The companion-matrix root finder over the host's eigenvalue routine, per
// revision, against numpy.roots (laplace_reference.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "VXR_PolyRoots.h"
#include "allocation_probe.h"
#include "laplace_reference.h"
#include "recording_host.h"
#include "vxrhost/Eigenvalues.h"

namespace {

VXR_MathUtil eigenHost = {&vxr::hostDgeev};

// What the root finder handed to the routine on its last call.
struct DgeevCall {
    char jobvl, jobvr;
    int n, lda, ldvl, ldvr, lwork;
    std::vector<double> a;
    int info = 0; // answer
} lastCall;

int recordingDgeev(const char* jobvl, const char* jobvr, const int* n, double* a, const int* lda, double* wr,
                   double* wi, double* vl, const int* ldvl, double* vr, const int* ldvr, double* work,
                   const int* lwork, int* info) {
    lastCall.jobvl = *jobvl;
    lastCall.jobvr = *jobvr;
    lastCall.n = *n;
    lastCall.lda = *lda;
    lastCall.ldvl = *ldvl;
    lastCall.ldvr = *ldvr;
    lastCall.lwork = *lwork;
    lastCall.a.assign(a, a + *n * *n);
    int r = vxr::hostDgeev(jobvl, jobvr, n, a, lda, wr, wi, vl, ldvl, vr, ldvr, work, lwork, info);
    if (lastCall.info != 0) *info = lastCall.info;
    return r;
}
VXR_MathUtil recordingHost = {&recordingDgeev};

class PolyRoots : public ::testing::Test {
protected:
    vxrtest::RecordingHost host;
    long liveAtStart = 0;
    void SetUp() override {
        vxr_test::resetAllocationProbe();
        liveAtStart = vxr_test::liveBlocks();
        host.sim()->pMathUtil = &eigenHost;
        lastCall = DgeevCall{};
    }
    void TearDown() override { EXPECT_EQ(vxr_test::liveBlocks(), liveAtStart); }

    // The exported entry point of the revision; mirror is ignored below 1.87.
    int roots(const std::vector<double>& p, VXR_ComplexNumber* out, int* mirror) {
#if VXR_REVISION == 187
        return findPolyRootsEigensolve(p.data(), static_cast<int>(p.size()), out, host.sim(), mirror);
#else
        (void)mirror;
        return findPolyRootsEigensolve(p.data(), static_cast<int>(p.size()), out, host.sim());
#endif
    }
};

// Each reference root has its own computed root within tol (relative to max(1, |root|)).
void expectSameRoots(const std::vector<std::complex<double>>& got, const std::vector<std::complex<double>>& want,
                     double tol) {
    ASSERT_EQ(got.size(), want.size());
    std::vector<bool> used(got.size(), false);
    for (auto w : want) {
        int best = -1;
        for (size_t i = 0; i < got.size(); ++i)
            if (!used[i] && (best < 0 || std::abs(got[i] - w) < std::abs(got[best] - w))) best = static_cast<int>(i);
        ASSERT_GE(best, 0);
        used[static_cast<size_t>(best)] = true;
        EXPECT_LE(std::abs(got[static_cast<size_t>(best)] - w), tol * std::max(1.0, std::abs(w))) << w;
    }
}

TEST_F(PolyRoots, RandomPolynomialsMatchNumpy) {
    for (const auto& rc : laplace_ref::kRootCases) {
        SCOPED_TRACE(rc.degree);
        std::vector<double> p(rc.coeffs, rc.coeffs + rc.degree + 1);
        std::vector<VXR_ComplexNumber> out(p.size());
        int mirror = 0;
        ASSERT_EQ(roots(p, out.data(), &mirror), rc.degree);
        EXPECT_EQ(mirror, 0);
        std::vector<std::complex<double>> got, want;
        for (int i = 0; i < rc.degree; ++i) {
            got.emplace_back(out[i].Real, out[i].Imag);
            want.emplace_back(rc.re[i], rc.im[i]);
        }
        expectSameRoots(got, want, 1e-9);
        // Conjugate pairs carry opposite signs.
        for (auto g : got) {
            if (g.imag() != 0.0) {
                EXPECT_NE(std::find(got.begin(), got.end(), std::conj(g)), got.end());
            }
        }
#if VXR_REVISION == 187
        mirror = 1;
        ASSERT_EQ(roots(p, out.data(), &mirror), rc.degree);
        EXPECT_EQ(mirror, rc.rightHalfPlane);
        for (auto& w : want) w = {-std::abs(w.real()), w.imag()};
        got.clear();
        for (int i = 0; i < rc.degree; ++i) got.emplace_back(out[i].Real, out[i].Imag);
        expectSameRoots(got, want, 1e-9);
#endif
    }
}

TEST_F(PolyRoots, CompanionMatrixInFortranConventions) {
    host.sim()->pMathUtil = &recordingHost;
    VXR_ComplexNumber out[3];
    int mirror = 0;
    ASSERT_EQ(roots({6, -2, 4, 2}, out, &mirror), 3); // monic: s^3 + 2 s^2 - s + 3
    EXPECT_EQ(lastCall.jobvl, 'N');
    EXPECT_EQ(lastCall.jobvr, 'N');
    EXPECT_EQ(lastCall.n, 3);
    EXPECT_EQ(lastCall.lda, 3);
    EXPECT_EQ(lastCall.ldvl, 3);
    EXPECT_EQ(lastCall.ldvr, 3);
    EXPECT_EQ(lastCall.lwork, 12);
    // Column-major: ones above the diagonal, -q in the last row.
    EXPECT_EQ(lastCall.a, (std::vector<double>{0, 0, -3, 1, 0, 1, 0, 1, -2}));
}

struct EdgeCase {
    const char* what;
    std::vector<double> p;
    bool mirror;
    int result;
    std::vector<std::complex<double>> roots; // any order
    int mirrored;
};

TEST_F(PolyRoots, EdgeCases) {
    const EdgeCase cases[] = {
        {"s^2 + 3s + 2", {2, 3, 1}, false, 2, {{-1, 0}, {-2, 0}}, 0},
        {"s^2 + 1 is not mirrored", {1, 0, 1}, true, 2, {{0, 1}, {0, -1}}, 0},
        {"trailing zeros lower the degree", {5, 1, 0, 0}, false, 1, {{-5, 0}}, 0},
        {"all zero", {0, 0, 0}, true, 0, {}, 0},
        {"one coefficient", {3}, true, 0, {}, 0},
        {"s^2 - s - 2 mirrored", {-2, -1, 1}, true, 2, {{-2, 0}, {-1, 0}}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (VXR_REVISION != 187 && c.mirrored) continue;
        VXR_ComplexNumber out[4] = {{7, 7}, {7, 7}, {7, 7}, {7, 7}};
        int mirror = c.mirror ? 1 : 0;
        ASSERT_EQ(roots(c.p, out, &mirror), c.result);
        if (VXR_REVISION == 187) {
            EXPECT_EQ(mirror, c.mirrored);
        }
        std::vector<std::complex<double>> got;
        for (int i = 0; i < c.result; ++i) got.emplace_back(out[i].Real, out[i].Imag);
        expectSameRoots(got, c.roots, 1e-12);
        EXPECT_EQ(out[c.result].Real, 7.0); // nothing past the roots
    }
}

TEST_F(PolyRoots, NoRoutineOrAFailedOneGivesNoRoots) {
    VXR_ComplexNumber out[2] = {{7, 7}, {7, 7}};
    for (int variant = 0; variant < 3; ++variant) {
        SCOPED_TRACE(variant);
        VXR_MathUtil noRoutine = {nullptr};
        host.sim()->pMathUtil = variant == 0 ? nullptr : variant == 1 ? &noRoutine : &recordingHost;
        lastCall.info = 2;
        int mirror = 1;
        EXPECT_EQ(roots({-2, -1, 1}, out, &mirror), 0);
        if (VXR_REVISION == 187) {
            EXPECT_EQ(mirror, 0);
        }
        EXPECT_EQ(out[0].Real, 7.0);
    }
    // A working routine without a buffer: the count only.
    host.sim()->pMathUtil = &eigenHost;
    int mirror = 0;
    EXPECT_EQ(roots({2, 3, 1}, nullptr, &mirror), 2);
}

TEST_F(PolyRoots, AllocationFailureGivesNoRootsAndLeaksNothing) {
    for (int skip = 0; skip < 7; ++skip) {
        SCOPED_TRACE(skip);
        vxr_test::failAllocationAfter(skip);
        VXR_ComplexNumber out[2];
        int mirror = 0;
        EXPECT_EQ(roots({2, 3, 1}, out, &mirror), 0);
        vxr_test::failAllocationAfter(-1);
        EXPECT_EQ(host.exitRequests(), skip + 1);
    }
}

} // namespace
