#include "vxrhost/Eigenvalues.h"

#include <Eigen/Dense>
#include <Eigen/Eigenvalues>
#include <cmath>

namespace vxr {

namespace {

// Diagonal similarity scaling by powers of two (as dgeev's balancing does):
// rows and columns of comparable norm, so that a badly scaled matrix such as
// the companion matrix of a polynomial in s with coefficients spanning many
// decades keeps its eigenvalues accurate. Exact in binary arithmetic.
void balance(Eigen::MatrixXd& m) {
    const double radix = 2.0, sqrdx = radix * radix;
    const Eigen::Index n = m.rows();
    for (bool done = false; !done;) {
        done = true;
        for (Eigen::Index i = 0; i < n; ++i) {
            double c = 0.0, r = 0.0;
            for (Eigen::Index j = 0; j < n; ++j)
                if (j != i) {
                    c += std::abs(m(j, i));
                    r += std::abs(m(i, j));
                }
            if (c == 0.0 || r == 0.0) continue;
            double g = r / radix, f = 1.0;
            const double s = c + r;
            while (c < g) {
                f *= radix;
                c *= sqrdx;
            }
            g = r * radix;
            while (c > g) {
                f /= radix;
                c /= sqrdx;
            }
            if ((c + r) / f < 0.95 * s) {
                done = false;
                m.row(i) /= f;
                m.col(i) *= f;
            }
        }
    }
}

} // namespace

int hostDgeev(const char* jobvl, const char* jobvr, const int* n, double* a, const int* lda, double* wr, double* wi,
              double*, const int*, double*, const int*, double* work, const int* lwork, int* info) {
    if (*lwork == -1) {
        work[0] = 4.0 * *n;
        *info = 0;
        return 0;
    }
    if ((jobvl && (*jobvl == 'V' || *jobvl == 'v')) || (jobvr && (*jobvr == 'V' || *jobvr == 'v')) || *n < 0) {
        *info = -1;
        return 0;
    }
    Eigen::MatrixXd m(*n, *n);
    for (int c = 0; c < *n; ++c)
        for (int r = 0; r < *n; ++r) m(r, c) = a[r + c * *lda];
    if (!m.allFinite()) {
        *info = 1; // no eigenvalues of a matrix with NaN or infinite entries
        return 0;
    }
    balance(m);
    Eigen::EigenSolver<Eigen::MatrixXd> es(m, false);
    if (es.info() != Eigen::Success) {
        *info = 1;
        return 0;
    }
    for (int i = 0; i < *n; ++i) {
        wr[i] = es.eigenvalues()[i].real();
        wi[i] = es.eigenvalues()[i].imag();
    }
    *info = 0;
    return 0;
}

} // namespace vxr
