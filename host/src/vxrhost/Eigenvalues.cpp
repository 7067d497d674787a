#include "vxrhost/Eigenvalues.h"

#include <Eigen/Dense>
#include <Eigen/Eigenvalues>

namespace vxr {

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
