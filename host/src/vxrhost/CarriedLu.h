// Dense LU in double-double arithmetic of a matrix given per slot as a
// rounded value and its carried rounding (EvalContext::carryRounding).
#pragma once

#include "vxrhost/SparseMatrix.h"

#include <Eigen/Dense>

#include <vector>

namespace vxr {

// The largest matrix factored this way: the elimination is dense.
inline constexpr int kCarriedLuMaxSize = 400;
// A pivot vanishes when it is not above this fraction of its column's largest
// entry: with the double-double's 32 digits, a smaller one keeps fewer than 8
// (a circuit that merely floats has pivots of its rounding, near 1e-28).
inline constexpr double kCarriedVanishingPivot = 1e-24;

// A leak of nanosiemens beside a cluster of nodes tied by hundreds of
// megasiemens (a gate held by a bleed resistor behind a metal line's
// conductances) is below the rounding of the cluster's diagonal sums: a
// factorisation in double precision sees that cluster float, whatever its
// pivoting or scaling. With each slot's rounding carried beside it and the
// elimination in double-double, the cluster's Schur complement keeps the leak.
class CarriedLu {
public:
    // Factors hi + lo (per slot of p; lo may be shorter). Returns -1 when
    // regular, else the first column, in elimination order, whose pivot vanishes.
    int factor(const MatrixPattern& p, int n, const std::vector<double>& hi, const std::vector<double>& lo);
    // b := A^-1 b with the last factorisation.
    void solve(Eigen::VectorXd& b) const;

private:
    struct DD {
        double hi = 0.0, lo = 0.0;
    };
    static DD sum(DD a, DD b);
    static DD product(DD a, DD b);
    static DD quotient(DD a, DD b);
    int n_ = 0;
    std::vector<DD> lu_; // row-major, L below the diagonal (unit), U on and above
    std::vector<int> perm_; // row of the original matrix in each pivot position
};

} // namespace vxr
