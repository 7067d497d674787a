// The host's eigenvalue routine for the libraries' polynomial root finder,
// with the argument list of LAPACK dgeev (everything by address).
#pragma once

namespace vxr {

// Eigenvalues of the n x n column-major matrix a (leading dimension lda)
// into wr (real parts) and wi (imaginary parts); complex eigenvalues come as
// conjugate pairs, each written with its own sign. Eigenvectors are not
// computed: jobvl or jobvr 'V' gives info -1. A workspace query (lwork -1)
// answers 4n in work[0]. info 0 on success, 1 when the iteration failed.
int hostDgeev(const char* jobvl, const char* jobvr, const int* n, double* a, const int* lda, double* wr, double* wi,
              double* vl, const int* ldvl, double* vr, const int* ldvr, double* work, const int* lwork, int* info);

} // namespace vxr
