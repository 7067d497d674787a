// Polynomial roots through the host's eigenvalue routine, and the factor
// products and conjugate order the Laplace operators build on them.
#include <string.h>

#include "VXR_PolyRoots.h"

namespace vxr_poly {

int findRoots(const double* p, int P, VXR_ComplexNumber* roots, VXR_SimInterface* simIf, int* pMirror) {
    const bool mirror = pMirror && *pMirror;
    if (pMirror)
        *pMirror = 0;
    if (!p || P < 2)
        return 0;
    while (P > 1 && p[P - 1] == 0.0) // a NaN counts as nonzero
        --P;
    if (P < 2)
        return 0;
    if (!simIf || !simIf->pMathUtil || !simIf->pMathUtil->p_dgeev)
        return 0;

    const int N = P - 1;
    const size_t n = static_cast<size_t>(N);
    double* q = static_cast<double*>(VXR_malloc(n * sizeof(double), simIf, nullptr, nullptr));
    double* A = static_cast<double*>(VXR_malloc(n * n * sizeof(double), simIf, nullptr, nullptr));
    double* wr = static_cast<double*>(VXR_malloc(n * sizeof(double), simIf, nullptr, nullptr));
    double* wi = static_cast<double*>(VXR_malloc(n * sizeof(double), simIf, nullptr, nullptr));
    double* vl = static_cast<double*>(VXR_malloc(n * n * sizeof(double), simIf, nullptr, nullptr));
    double* vr = static_cast<double*>(VXR_malloc(n * n * sizeof(double), simIf, nullptr, nullptr));
    double* work = static_cast<double*>(VXR_malloc(4 * n * sizeof(double), simIf, nullptr, nullptr));
    int found = 0, mirrored = 0;
    if (q && A && wr && wi && vl && vr && work) {
        for (int i = 0; i < N; ++i)
            q[i] = p[i] / p[N];
        // Companion matrix, column-major: ones above the diagonal, -q in the last row.
        memset(A, 0, n * n * sizeof(double));
        for (int r = 0; r + 1 < N; ++r)
            A[r + (r + 1) * N] = 1.0;
        for (int c = 0; c < N; ++c)
            A[(N - 1) + c * N] = -q[c];
        const char job = 'N';
        const int lwork = 4 * N;
        int info = 0;
        simIf->pMathUtil->p_dgeev(&job, &job, &N, A, &N, wr, wi, vl, &N, vr, &N, work, &lwork, &info);
        if (info == 0) {
            found = N;
            for (int i = 0; roots && i < N; ++i) {
                roots[i].Real = wr[i];
                roots[i].Imag = wi[i];
                if (mirror && wr[i] > 0.0) {
                    roots[i].Real = -wr[i];
                    ++mirrored;
                }
            }
        }
    }
    VXR_free(q);
    VXR_free(A);
    VXR_free(wr);
    VXR_free(wi);
    VXR_free(vl);
    VXR_free(vr);
    VXR_free(work);
    if (pMirror)
        *pMirror = mirrored;
    return found;
}

void polyFromRoots(double* poly, int L, const double* pairs, int numValues) {
    if (!poly || L < 1)
        return;
    poly[0] = 1.0;
    for (int k = 1; k < L; ++k)
        poly[k] = 0.0;
    for (int j = 0; pairs && j + 1 < numValues; j += 2) {
        const double re = pairs[j], im = pairs[j + 1];
        if (im < 0.0)
            continue; // the conjugate with im > 0 carries the pair
        if (im == 0.0 && re == 0.0) {
            for (int k = L - 1; k >= 1; --k)
                poly[k] = poly[k - 1];
            poly[0] = 0.0;
        } else if (im == 0.0) {
            for (int k = L - 1; k >= 1; --k)
                poly[k] -= poly[k - 1] / re;
        } else {
            const double m = re * re + im * im;
            const double a = 2.0 * re / m, b = 1.0 / m;
            for (int k = L - 1; k >= 2; --k)
                poly[k] = poly[k] - a * poly[k - 1] + b * poly[k - 2];
            if (L > 1)
                poly[1] -= a * poly[0];
        }
    }
}

int orderConjugatePairs(double* pairs, int numValues) {
    const int K = numValues / 2;
    for (int i = 0; i < K; ++i) {
        const double re = pairs[2 * i], im = pairs[2 * i + 1];
        if (im == 0.0)
            continue;
        int j = i + 1;
        while (j < K && !(pairs[2 * j] == re && pairs[2 * j + 1] == -im))
            ++j;
        if (j >= K)
            return 0;
        // The conjugate goes directly behind its partner.
        const double t0 = pairs[2 * (i + 1)], t1 = pairs[2 * (i + 1) + 1];
        pairs[2 * (i + 1)] = pairs[2 * j];
        pairs[2 * (i + 1) + 1] = pairs[2 * j + 1];
        pairs[2 * j] = t0;
        pairs[2 * j + 1] = t1;
        ++i;
    }
    return 1;
}

} // namespace vxr_poly

extern "C" {

#if VXR_REVISION == 187
int findPolyRootsEigensolve(const double* p, int P, VXR_ComplexNumber* pPolyRoots, VXR_SimInterface* pInterface,
                            int* pIsDenom) {
    return vxr_poly::findRoots(p, P, pPolyRoots, pInterface, pIsDenom);
}
#else
int findPolyRootsEigensolve(const double* p, int P, VXR_ComplexNumber* pPolyRoots, VXR_SimInterface* pInterface) {
    return vxr_poly::findRoots(p, P, pPolyRoots, pInterface, nullptr);
}
#endif

} // extern "C"
