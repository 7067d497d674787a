// Polynomial toolkit of the 1.60/1.42 Laplace operators: evaluation,
// derivative, long division, polynomials from roots, root products, the
// partial-fraction split into a pole-residue record, and the root finder on
// the host's eigenvalue routine.
#include <cmath>
#include <cstring>

#include "VXR_Laplace.h"

#if VXR_REVISION != 187

namespace {

VXR_Cmplx cmul(VXR_Cmplx a, VXR_Cmplx b) {
    return {a.real * b.real - a.imag * b.imag, a.real * b.imag + a.imag * b.real};
}

template <class T> T* allocN(size_t n, VXR_OpBranchPoleResidue* pOp) {
    VXR_DeviceInst* inst = pOp ? pOp->_pParent : nullptr;
    VXR_SimInterface* simIf = inst ? inst->pSimInterface : nullptr;
    return static_cast<T*>(VXR_malloc(n * sizeof(T), simIf, inst, nullptr));
}

} // namespace

extern "C" {

// R / w scaled by the larger part of w, so that neither |w|^2 nor the
// products overflow for large or tiny w.
VXR_Cmplx VXR_cmplxDiv(VXR_Cmplx R, VXR_Cmplx w) {
    double a = w.real, b = w.imag;
    if ((a >= b && a > -b) || (a < b && a <= -b)) {
        double t = b / a, d = a + b * t;
        return {(R.real + R.imag * t) / d, (R.imag - R.real * t) / d};
    }
    double u = a / b, d = a * u + b;
    return {(R.real * u + R.imag) / d, (R.imag * u - R.real) / d};
}

int areIdentical(double aRe, double aIm, double bRe, double bIm, double absTol, double relTol) {
    double diff = std::hypot(aRe - bRe, aIm - bIm);
    double scale = std::fmax(std::hypot(aRe, aIm), std::hypot(bRe, bIm));
    return diff < relTol * scale + absTol ? 1 : 0; // NaN anywhere: false
}

int factorial(int n) {
    int f = 1;
    for (int k = 2; k <= n; ++k)
        f *= k;
    return f;
}

// m! / (m - i)! in double: an int factorial overflows from 13 on.
double factorialRatio(int m, int i) {
    double r = 1.0;
    for (int k = m - i + 1; k <= m; ++k)
        r *= k;
    return r;
}

VXR_Cmplx VXR_EvalPoly(double sRe, double sIm, const double* coeffs, int degree) {
    VXR_Cmplx v = {0.0, 0.0};
    for (int k = degree; k >= 0; --k) {
        v = cmul(v, {sRe, sIm});
        v.real += coeffs[k];
    }
    return v;
}

void VXR_DiffPoly(double* coeffs, int degree) {
    if (degree < 0)
        return;
    for (int k = 0; k < degree; ++k)
        coeffs[k] = (k + 1) * coeffs[k + 1];
    coeffs[degree] = 0.0;
}

void dividePoly(double* numer, int numerDegree, const double* denom, int denomDegree, double* quot) {
    if (numerDegree < denomDegree)
        return;
    int q = numerDegree - denomDegree;
    for (int k = 0; k <= q; ++k)
        quot[k] = 0.0;
    for (int k = q; k >= 0; --k) {
        quot[k] = numer[denomDegree + k] / denom[denomDegree];
        for (int i = denomDegree + k - 1; i >= k; --i)
            numer[i] -= quot[k] * denom[i - k];
    }
    for (int i = denomDegree; i <= numerDegree; ++i)
        numer[i] = 0.0;
}

void computePolyFromRoots(double* poly, const double* roots, int n) {
    if (n < 1)
        return;
    poly[0] = 1.0;
    for (int e = 1; e < n; ++e)
        poly[e] = 0.0;
    for (int r = 0; r + 1 < n; r += 2) {
        double re = roots[r], im = roots[r + 1];
        if (im < 0.0)
            continue; // the conjugate of a listed root
        if (im > 0.0) {
            double m2 = re * re + im * im, a = -2.0 * re / m2, b = 1.0 / m2;
            for (int e = n - 1; e >= 1; --e)
                poly[e] += a * poly[e - 1] + (e >= 2 ? b * poly[e - 2] : 0.0);
        } else if (re != 0.0) {
            for (int e = n - 1; e >= 1; --e)
                poly[e] += (-1.0 / re) * poly[e - 1];
        } else {
            for (int e = n - 1; e >= 1; --e)
                poly[e] = poly[e - 1];
            poly[0] = 0.0;
        }
    }
}

void VXR_EvalRootProduct(double sRe, double sIm, int numRoots, VXR_Cmplx* roots, int numDeriv, VXR_Cmplx* out) {
    if (numDeriv < 0)
        return;
    for (int d = 0; d <= numDeriv; ++d)
        out[d] = {0.0, 0.0};
    out[0] = {1.0, 0.0};
    VXR_Cmplx* t = nullptr;
    if (numDeriv > 0 && numRoots > 0) {
        t = static_cast<VXR_Cmplx*>(VXR_malloc(numDeriv * sizeof(VXR_Cmplx), nullptr, nullptr, nullptr));
        if (!t)
            numDeriv = 0; // allocation failed: the value alone
    }
    // P^(d) = sum over i of (P without factor i)^(d - 1).
    for (int i = 0; i < numRoots; ++i) {
        out[0] = cmul(out[0], {sRe - roots[i].real, sIm - roots[i].imag});
        if (numDeriv > 0) {
            VXR_Cmplx tmp = roots[i];
            roots[i] = roots[0];
            roots[0] = tmp;
            VXR_EvalRootProduct(sRe, sIm, numRoots - 1, roots + 1, numDeriv - 1, t);
            roots[0] = roots[i];
            roots[i] = tmp;
            for (int d = 0; d < numDeriv; ++d) {
                out[d + 1].real += t[d].real;
                out[d + 1].imag += t[d].imag;
            }
        }
    }
    VXR_free(t);
}

void poleResidueFreeDecomposition(VXR_OpBranchPoleResidue* pOp) {
    if (pOp->_ppResidues)
        for (int i = 0; i < pOp->_numPoles; ++i)
            VXR_free(pOp->_ppResidues[i]);
    VXR_free(pOp->_ppResidues);
    VXR_free(pOp->_pPoles);
    VXR_free(pOp->_pPoleMult);
    pOp->_ppResidues = nullptr;
    pOp->_pPoles = nullptr;
    pOp->_pPoleMult = nullptr;
    pOp->_numPoles = 0;
}

void VXR_PartialFracNP(int numeratorType, int numeratorDataLen, const double* numerator, int numPoles,
                       VXR_Cmplx* poles, double absTol, double relTol, VXR_OpBranchPoleResidue* pOp) {
    poleResidueFreeDecomposition(pOp);
    const int n = numPoles;
    if (n <= 0)
        return;
    pOp->_pPoles = allocN<VXR_Cmplx>(n, pOp);
    pOp->_pPoleMult = allocN<int>(n, pOp);
    pOp->_ppResidues = allocN<VXR_Cmplx*>(n, pOp);
    VXR_Cmplx* others = allocN<VXR_Cmplx>(n, pOp); // n - 1 used; n keeps the size non-zero
    VXR_Cmplx* A = allocN<VXR_Cmplx>(n + 1, pOp);
    VXR_Cmplx* B = allocN<VXR_Cmplx>(n + 1, pOp);
    const int nZeros = numeratorType == NUM_COEFFS ? 0 : numeratorDataLen / 2;
    double* work = nullptr;
    VXR_Cmplx* zeros = nullptr;
    bool ok = pOp->_pPoles && pOp->_pPoleMult && pOp->_ppResidues && others && A && B;
    if (ok && numeratorType == NUM_COEFFS && numeratorDataLen > 0)
        ok = (work = allocN<double>(numeratorDataLen + 1, pOp)) != nullptr;
    if (ok && nZeros > 0)
        ok = (zeros = allocN<VXR_Cmplx>(nZeros, pOp)) != nullptr;
    if (ok)
        for (int i = 0; i < n; ++i)
            pOp->_ppResidues[i] = nullptr;

    for (int index = 0; ok && index < n;) {
        VXR_Cmplx rep = poles[index];
        int j = 1;
        for (int i = index + 1; i < n; ++i)
            if (areIdentical(rep.real, rep.imag, poles[i].real, poles[i].imag, absTol, relTol)) {
                VXR_Cmplx t = poles[i];
                poles[i] = poles[index + j];
                poles[index + j] = t;
                ++j;
            }
        int nOthers = 0;
        for (int i = 0; i < n; ++i)
            if (i < index || i >= index + j)
                others[nOthers++] = poles[i];
        VXR_EvalRootProduct(rep.real, rep.imag, nOthers, others, j - 1, A);
        if (numeratorType == NUM_COEFFS) {
            if (numeratorDataLen > 0) {
                memcpy(work, numerator, numeratorDataLen * sizeof(double));
                B[0] = VXR_EvalPoly(rep.real, rep.imag, work, numeratorDataLen - 1);
                for (int m = 1; m < j; ++m) {
                    VXR_DiffPoly(work, numeratorDataLen - 1);
                    B[m] = VXR_EvalPoly(rep.real, rep.imag, work, numeratorDataLen - 1 - m);
                }
            } else {
                for (int m = 0; m < j; ++m)
                    B[m] = {0.0, 0.0};
            }
        } else {
            for (int z = 0; z < nZeros; ++z)
                zeros[z] = {numerator[2 * z], numerator[2 * z + 1]};
            VXR_EvalRootProduct(rep.real, rep.imag, nZeros, zeros, j - 1, B);
        }
        const int k = pOp->_numPoles;
        VXR_Cmplx* res = allocN<VXR_Cmplx>(j, pOp);
        if (!res)
            break;
        pOp->_pPoles[k] = rep;
        pOp->_pPoleMult[k] = j;
        pOp->_ppResidues[k] = res;
        pOp->_numPoles = k + 1;
        // c_m = F^(m)(p) / m! with F = N / Q, from N^(m) = sum C(m, i) F^(i) Q^(m - i).
        VXR_Cmplx* c = B; // c_m overwrites B[m] once it is used
        for (int m = 0; m < j; ++m) {
            VXR_Cmplx T = B[m];
            for (int i = 0; i < m; ++i) {
                VXR_Cmplx p = cmul(c[i], A[m - i]);
                double f = factorialRatio(m, i);
                T.real -= f * p.real;
                T.imag -= f * p.imag;
            }
            VXR_Cmplx cm = VXR_cmplxDiv(T, A[0]);
            double inv = 1.0 / factorialRatio(m, m);
            cm.real *= inv;
            cm.imag *= inv;
            c[m] = cm;
            res[j - 1 - m] = cm;
        }
        index += j;
    }
    if (!ok) // an allocation failed (reported): no poles
        poleResidueFreeDecomposition(pOp);
    VXR_free(others);
    VXR_free(A);
    VXR_free(B);
    VXR_free(work);
    VXR_free(zeros);
}

double getSuppliedTol(int defaultType, double defaultValue, VXR_ContribLoader* ldr) {
    if (!ldr || !ldr->pGetDefault)
        return defaultValue;
    double v = ldr->pGetDefault(static_cast<VXR_DefaultTypeE>(defaultType), ldr);
    return v > 0.0 ? v : defaultValue;
}

int arrayLen(const VXR_Array* arr) {
    return arr ? arr->_dataLen : 0;
}

int solveForRoots(const double* coeffs, int degree, VXR_ComplexNumber* roots, VXR_SimInterface* simIf) {
    while (degree >= 1 && coeffs[degree] == 0.0)
        --degree;
    if (degree < 1)
        return 0;
    if (!simIf || !simIf->pMathUtil || !simIf->pMathUtil->p_dgeev)
        return 0;
    const int n = degree, lwork = 4 * n;
    double* a = static_cast<double*>(VXR_malloc((size_t)(n * n + 2 * n + lwork) * sizeof(double), simIf, nullptr,
                                                nullptr));
    if (!a)
        return 0;
    double *wr = a + n * n, *wi = wr + n, *work = wi + n;
    // Companion matrix (column major): ones below the diagonal, the
    // normalised coefficients, negated, in the last column.
    for (int i = 0; i < n * n; ++i)
        a[i] = 0.0;
    for (int i = 1; i < n; ++i)
        a[(i - 1) * n + i] = 1.0;
    for (int i = 0; i < n; ++i)
        a[(n - 1) * n + i] = -coeffs[i] / coeffs[n];
    int info = 0, one = 1;
    simIf->pMathUtil->p_dgeev("N", "N", &n, a, &n, wr, wi, nullptr, &one, nullptr, &one, work, &lwork, &info);
    int found = 0;
    if (info == 0) {
        found = n;
        if (roots)
            for (int i = 0; i < n; ++i)
                roots[i] = {wr[i], wi[i]};
    }
    VXR_free(a);
    return found;
}

double VXR_RealDivByZero(double numerator, VXR_DeviceInst* inst, int line) {
    if (inst && inst->pSimInterface && inst->pSimInterface->pHandleDebugEvent)
        inst->pSimInterface->pHandleDebugEvent(FP_DIVBYZERO, inst, line, nullptr, nullptr);
    if (numerator == 0.0)
        return 1.0;
    return numerator > 0.0 ? 3.4028234663852886e38 : -3.4028234663852886e38;
}

VXR_Array* VXR_createVarArray(const VXR_Array* model, const char* name) {
    VXR_Array* a = VXR_createArray(model->_pParent, model->_arrayType, name);
    if (a)
        VXR_setArrayBounds(a, model->_leftBound, model->_rightBound);
    return a;
}

} // extern "C"

#endif // VXR_REVISION != 187
