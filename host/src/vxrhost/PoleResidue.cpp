#include "vxrhost/PoleResidue.h"

#include <algorithm>
#include <cmath>

namespace vxr {

namespace {

using cd = std::complex<double>;

// Gauss-Legendre nodes and weights on [0, 1].
struct Gauss {
    static constexpr int kN = 16;
    double x[kN], w[kN];
    Gauss() {
        for (int i = 0; i < kN; ++i) {
            double t = std::cos(kPi * (i + 0.75) / (kN + 0.5)), dp = 1.0;
            for (int it = 0; it < 100; ++it) {
                double p0 = 1.0, p1 = t;
                for (int k = 2; k <= kN; ++k) {
                    double p2 = ((2 * k - 1) * t * p1 - (k - 1) * p0) / k;
                    p0 = p1;
                    p1 = p2;
                }
                dp = kN * (t * p1 - p0) / (t * t - 1);
                double dt = p1 / dp;
                t -= dt;
                if (std::abs(dt) < 1e-16) break;
            }
            x[i] = 0.5 * (1 - t);
            w[i] = 1.0 / ((1 - t * t) * dp * dp);
        }
    }
};
const Gauss& gauss() {
    static const Gauss g;
    return g;
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
    const Gauss& G = gauss();
    for (int i = 0; i < rec_->numPoles; ++i) {
        const cd p(rec_->poles[i].real, rec_->poles[i].imag), eph = std::exp(p * h);
        const int m = rec_->poleMult[i];
        for (int k = 0; k < m; ++k) {
            cd zk = 0.0;
            for (int j = 0; j <= k; ++j) zk += std::pow(h, k - j) / fact(k - j) * z_[base + j];
            zk *= eph;
            cd i0 = 0.0, i1 = 0.0; // int u^k/k! e^(pu) du and the same times u/h
            for (int n = 0; n < Gauss::kN; ++n) {
                const double u = G.x[n] * h;
                const cd f = std::pow(u, k) / fact(k) * std::exp(p * u) * (G.w[n] * h);
                i0 += f;
                i1 += f * (u / h);
            }
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
