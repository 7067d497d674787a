#include "vxrhost/PoleResidue.h"

#include <algorithm>
#include <cmath>

namespace vxr {

namespace {

using cd = std::complex<double>;

// psi[k] = int_0^1 t^k/k! e^(z t) dt for k = 0 .. K. A power series
// near z = 0, where the recurrence cancels; elsewhere the recurrence from
// integrating by parts, psi_k = (e^z/k! - psi_(k-1)) / z, whose error grows
// by at most (k+1)/|z| per power.
void expMoments(cd z, int K, cd* psi) {
    if (std::abs(z) < 1.0) {
        double kf = 1.0;
        for (int k = 0; k <= K; ++k) {
            if (k > 0) kf *= k;
            cd term = 1.0, sum = 0.0;
            for (int n = 0; n < 60; ++n) {
                if (n > 0) term *= z / static_cast<double>(n);
                const cd add = term / static_cast<double>(n + k + 1);
                sum += add;
                if (std::abs(add) <= 1e-17 * std::abs(sum)) break;
            }
            psi[k] = sum / kf;
        }
        return;
    }
    const cd ez = std::exp(z);
    psi[0] = (ez - 1.0) / z;
    double kf = 1.0;
    for (int k = 1; k <= K; ++k) {
        kf *= k;
        psi[k] = (ez / kf - psi[k - 1]) / z;
    }
}

double fact(int k) {
    double f = 1.0;
    for (int i = 2; i <= k; ++i) f *= i;
    return f;
}

} // namespace

cd PoleResponse::transfer(cd s) const {
    cd h = 0.0;
    for (int k = rec_->numQuotCoeffs - 1; k >= 0; --k) h = h * s + rec_->quotCoeffs[k];
    for (int i = 0; i < rec_->numPoles; ++i) {
        cd p(rec_->poles[i].real, rec_->poles[i].imag), w = 1.0;
        for (int k = 0; k < rec_->poleMult[i]; ++k) {
            w *= s - p;
            h += cd(rec_->residues[i][k].real, rec_->residues[i][k].imag) / w;
        }
    }
    return h;
}

int PoleResponse::terms() const {
    int n = 0;
    for (int i = 0; i < rec_->numPoles; ++i) n += rec_->poleMult[i];
    return n;
}

// z_k = x / (-p)^(k+1): every term settled at a constant argument.
void PoleResponse::steady(double x) {
    z_.clear();
    for (int i = 0; i < rec_->numPoles; ++i) {
        cd p(rec_->poles[i].real, rec_->poles[i].imag), w = 1.0;
        for (int k = 0; k < rec_->poleMult[i]; ++k) {
            w *= -p;
            z_.push_back(x / w);
        }
    }
    xAcc_ = x;
}

// z_k(t + h) = e^(ph) sum_j h^(k-j)/(k-j)! z_j(t) + int_0^h u^k/k! e^(pu) x(t + h - u) du,
// x linear from x0 to x1 over the step.
double PoleResponse::propagate(double h, double x0, double x1, std::vector<cd>* out, double* gain) const {
    const double q0 = rec_->numQuotCoeffs > 0 ? rec_->quotCoeffs[0] : 0.0;
    double y = q0 * x1, g = q0;
    size_t base = 0;
    std::vector<cd> psi;
    for (int i = 0; i < rec_->numPoles; ++i) {
        const cd p(rec_->poles[i].real, rec_->poles[i].imag), eph = std::exp(p * h);
        const int m = rec_->poleMult[i];
        psi.resize(m + 1);
        expMoments(p * h, m, psi.data());
        for (int k = 0; k < m; ++k) {
            cd zk = 0.0;
            for (int j = 0; j <= k; ++j) zk += std::pow(h, k - j) / fact(k - j) * z_[base + j];
            zk *= eph;
            // int_0^h u^k/k! e^(pu) du and the same weighted by u/h, exactly.
            const double hk = std::pow(h, k + 1);
            const cd i0 = hk * psi[k], i1 = hk * static_cast<double>(k + 1) * psi[k + 1];
            zk += x1 * (i0 - i1) + x0 * i1;
            const cd R(rec_->residues[i][k].real, rec_->residues[i][k].imag);
            y += (R * zk).real();
            g += (R * (i0 - i1)).real();
            if (out) out->push_back(zk);
        }
        base += m;
    }
    if (gain) *gain = g;
    return y;
}

double PoleResponse::value(double arg, const EvalContext& ctx) {
    lastArg_ = arg;
    acTerms.clear();
    if (!history(ctx) || static_cast<int>(z_.size()) != terms()) {
        gain_ = transfer(0.0).real();
        return gain_ * arg;
    }
    return propagate(std::max(ctx.time - tAcc_, 0.0), xAcc_, arg, nullptr, &gain_);
}

void PoleResponse::accept(const EvalContext& ctx) {
    const double h = ctx.time - tAcc_;
    if (!history(ctx) || static_cast<int>(z_.size()) != terms()) {
        steady(lastArg_);
    } else if (h > 0) {
        std::vector<cd> next;
        propagate(h, xAcc_, lastArg_, &next, nullptr);
        z_ = std::move(next);
        xAcc_ = lastArg_;
    }
    tAcc_ = ctx.time;
}

} // namespace vxr
