#include "vxrhost/CarriedLu.h"

#include <algorithm>
#include <cmath>

namespace vxr {

CarriedLu::DD CarriedLu::sum(DD a, DD b) {
    const double s = a.hi + b.hi;
    const double e = roundingOfSum(a.hi, b.hi, s) + a.lo + b.lo;
    const double hi = s + e;
    return {hi, e - (hi - s)};
}

CarriedLu::DD CarriedLu::product(DD a, DD b) {
    const double p = a.hi * b.hi;
    const double e = roundingOfProduct(a.hi, b.hi, p) + (a.hi * b.lo + a.lo * b.hi);
    const double hi = p + e;
    return {hi, e - (hi - p)};
}

CarriedLu::DD CarriedLu::quotient(DD a, DD b) {
    const double q = a.hi / b.hi;
    // The remainder a - q b, then its quotient as the low part.
    const DD r = sum(a, product({-q, 0.0}, b));
    const double c = r.hi / b.hi;
    const double hi = q + c;
    return {hi, c - (hi - q)};
}

int CarriedLu::factor(const MatrixPattern& p, int n, const std::vector<double>& hi, const std::vector<double>& lo) {
    n_ = n;
    lu_.assign(static_cast<size_t>(n) * n, DD{});
    perm_.resize(n);
    const int given = std::min(static_cast<int>(hi.size()), p.size());
    const int givenLow = std::min(static_cast<int>(lo.size()), given);
    for (int s = 0; s < given; ++s) {
        DD& e = lu_[static_cast<size_t>(p.row(s)) * n + p.col(s)];
        e = sum(e, {hi[s], s < givenLow ? lo[s] : 0.0});
    }
    std::vector<double> colMax(n, 0.0);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) colMax[c] = std::max(colMax[c], std::abs(lu_[static_cast<size_t>(r) * n + c].hi));
    for (int r = 0; r < n; ++r) perm_[r] = r;
    auto at = [&](int r, int c) -> DD& { return lu_[static_cast<size_t>(r) * n + c]; };
    for (int k = 0; k < n; ++k) {
        int pivot = k;
        for (int r = k + 1; r < n; ++r)
            if (std::abs(at(r, k).hi) > std::abs(at(pivot, k).hi)) pivot = r;
        if (!(std::abs(at(pivot, k).hi) > kCarriedVanishingPivot * colMax[k])) return k;
        if (pivot != k) {
            for (int c = 0; c < n; ++c) std::swap(at(k, c), at(pivot, c));
            std::swap(perm_[k], perm_[pivot]);
        }
        const DD d = at(k, k);
        for (int r = k + 1; r < n; ++r) {
            if (at(r, k).hi == 0.0 && at(r, k).lo == 0.0) continue;
            const DD l = quotient(at(r, k), d);
            at(r, k) = l;
            const DD m = {-l.hi, -l.lo};
            for (int c = k + 1; c < n; ++c)
                if (at(k, c).hi != 0.0) at(r, c) = sum(at(r, c), product(m, at(k, c)));
        }
    }
    return -1;
}

void CarriedLu::solve(Eigen::VectorXd& b) const {
    const int n = n_;
    std::vector<DD> y(n);
    for (int i = 0; i < n; ++i) y[i] = {b[perm_[i]], 0.0};
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < i; ++j) {
            const DD& l = lu_[static_cast<size_t>(i) * n + j];
            if (l.hi != 0.0) y[i] = sum(y[i], product({-l.hi, -l.lo}, y[j]));
        }
    for (int i = n - 1; i >= 0; --i) {
        for (int j = i + 1; j < n; ++j) {
            const DD& u = lu_[static_cast<size_t>(i) * n + j];
            if (u.hi != 0.0) y[i] = sum(y[i], product({-u.hi, -u.lo}, y[j]));
        }
        y[i] = quotient(y[i], lu_[static_cast<size_t>(i) * n + i]);
    }
    for (int i = 0; i < n; ++i) b[i] = y[i].hi + y[i].lo;
}

} // namespace vxr
