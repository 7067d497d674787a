/*
 * VXR_PolyRoots.h - polynomial helpers of the Laplace operators, free of any
 * operator record so that every revision's operators can use them: roots
 * through the host's eigenvalue routine, the product of normalised root
 * factors and the conjugate-pair order of a root list. Runtime-internal.
 */
#ifndef VXR_POLYROOTS_H
#define VXR_POLYROOTS_H

#include "VXR_SupportLib.h"

namespace vxr_poly {

// All roots of p_0 + p_1 s + ... + p_(P-1) s^(P-1) as the eigenvalues of the
// companion matrix, computed by the host's p_dgeev. Trailing zero
// coefficients lower the degree. Returns the number of roots written (the
// degree), 0 without a host routine or when it failed. With pMirror non-NULL
// and *pMirror nonzero, roots with a positive real part are stored with the
// real part negated; *pMirror becomes their count (0 when not asked).
int findRoots(const double* p, int P, VXR_ComplexNumber* roots, VXR_SimInterface* simIf, int* pMirror);

// poly[0 .. L-1] = the product of one factor per (re, im) pair of
// pairs[0 .. numValues-1], in ascending powers of s: s for a root at 0,
// (1 - s/re) for a real root, (1 - 2 re s/m + s^2/m), m = re^2 + im^2, for a
// complex root with im > 0; pairs with im < 0 stand for the conjugate and add
// nothing. Terms past s^(L-1) are dropped. L >= 1.
void polyFromRoots(double* poly, int L, const double* pairs, int numValues);

// Moves each complex value's conjugate directly behind it (numValues/2
// pairs, exact comparison). Returns 0 when a complex value has no conjugate
// behind it, else 1.
int orderConjugatePairs(double* pairs, int numValues);

} // namespace vxr_poly

extern "C" {
#if VXR_REVISION == 187
// The root finder as the operators call it: *pIsDenom asks for mirroring
// and returns the mirrored count.
int findPolyRootsEigensolve(const double* p, int P, VXR_ComplexNumber* pPolyRoots, VXR_SimInterface* pInterface,
                            int* pIsDenom);
#else
// Revisions 1.60 and 1.42 never mirror.
int findPolyRootsEigensolve(const double* p, int P, VXR_ComplexNumber* pPolyRoots, VXR_SimInterface* pInterface);
#endif
}

#endif /* VXR_POLYROOTS_H */
