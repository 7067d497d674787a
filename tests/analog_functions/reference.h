// Closed forms of the analog functions in long double, written from their
// mathematical definitions (not the stable forms of the library): references
// for the values and, by central differences, for the partials.
#pragma once

#include <cmath>

namespace ref {

using L = long double;
inline constexpr L kPi = 3.141592653589793238462643383279502884L;

inline L hypf(L x, L e)
{
    const L R = std::sqrt(x * x + 4 * e * e);
    return x >= 0 ? (x + R) / 2 : 2 * e * e / (R - x);  // no cancellation for x < 0
}
inline L hypf3(L x, L a, L e) { return hypf(x + a - e * e / a, e); }

inline L f_hypf(const L* x) { return hypf(x[0], x[1]); }
inline L f_hypf2(const L* x) { return hypf3(x[0], x[1], x[2]) - x[1]; }
inline L f_hypf3(const L* x) { return hypf3(x[0], x[1], x[2]); }
inline L f_hypfm(const L* x)
{
    const L m = x[2];
    return x[0] * x[1] / std::pow(std::pow(x[0], m) + std::pow(x[1], m), 1 / m);
}
inline L f_hypfm1(const L* x)
{
    const L m = x[2];
    return x[0] / std::pow(std::pow(x[0] / x[1], m) + 1, 1 / m);
}
inline L f_asinh(const L* x) { return std::asinh(x[0]); }

inline L f_psi_s(const L* x)
{
    const L o = hypf(x[1] - x[3], 0.02L);
    const L c = x[1] - o;
    const L w = 1 - 1 / std::sqrt(1 + o * o / x[5]);
    const L b = x[2] + o * w;
    const L z = 2 * b / (std::sqrt(x[7] * b + 1) + 1) / x[8];
    return c + x[9] * std::log((z * z - c - x[4] + x[6]) / x[6]);
}
inline L f_psisat(const L* x)
{
    const L A = x[0] + x[1], c = x[2] / 2;
    const L P = (std::sqrt(c * c + A * x[3]) - c) / x[3];
    return P * P - x[1];
}
inline L f_psi_acc(const L* x)
{
    const L b = (x[1] + x[2] - x[3] - x[4]) * x[0];
    const L m = std::sqrt(b * b / x[5] + 1);
    const L A = (b / x[0] - b / m) / x[6];
    return -x[7] * std::log((A * A - b / m + x[7]) / x[7]);
}
inline L f_Vinv(const L* x)
{
    const L l = std::sqrt(hypf(x[2] + x[0], 0.01L));
    const L m = std::sqrt(x[4]) * std::exp((x[2] - x[1]) / 2 / x[5]);
    return x[3] * m * m / (std::sqrt(l * l + m * m) + l);  // x3 (sqrt(l^2 + m^2) - l)
}
inline L f_Vov(const L* x)
{
    const L a = x[0] - x[1], m = hypf(a, 0.02L), E = a - m;
    const L o = x[2] * (std::exp((E + 0.02L) * x[3] / x[2]) - 1);
    const L r = x[4] / 2;
    const L u = std::sqrt(o - E + r * r);
    const L v = m * x[3];
    const L w = std::sqrt(v * v / x[5] + 1);
    const L A = v / x[3] - v / w;
    const L A2 = 2 * A / (std::sqrt(x[6] * A + 1) + 1) / x[4];
    const L K = std::log((v / w + A2 * A2 + x[2]) / x[2]);
    const L D = std::sqrt((v / x[3] - K * x[2]) * x[6] + 1);
    return 2 * (a - (o - (u - r) * (u - r)) - K * x[2]) / (D + 1);
}
inline L f_Vxb_c(const L* x)
{
    return x[0] > 0 ? hypf(x[2] + x[1] - 1e-4L / x[1], 0.01L) - x[1] : x[2];
}
inline L f_Vcalc(const L* x)
{
    const L d = 2 * (x[1] - x[2]) / (std::sqrt(x[0] * (x[1] - x[2]) + 1) + 1) -
                x[3] * std::sqrt(hypf(x[2] + x[4], 0.01L));
    return hypf(d, 1e-4L);
}
inline L f_Del_Vg(const L* x)
{
    const L l = x[4] * std::sqrt(x[2]);
    const L r = hypf(x[5] * std::sqrt(hypf(x[3] - x[2], 0.04L)) - l, 0.1L * x[5]);
    const L s = x[0] * x[0];
    return (r + l) * s * s / std::pow(s + x[1], 1.5L);
}
inline L f_Vdsat(const L* x)
{
    const L a = x[0] - x[1];
    L c = x[2];
    if (x[4] != 1) c = c / std::sqrt(std::sqrt(c * c * a * a + 1));
    c = c / std::sqrt(2 / (a * a + 0.1L) + c * c);
    const L d = (1 - 0.9L * c / (std::sqrt(1 - c * c) + 1)) * a - x[3];
    return hypf(d, 0.04L) + x[3];
}
inline L f_Cox_eff(const L* x)
{
    const L g = std::pow(x[1] * x[1] / (x[0] * x[0]) + 25 * x[2], 1 / 6.0L);
    return x[3] / (1 + x[4] / g);
}
inline L f_G_mob(const L* x)
{
    const L m = hypf(x[0], 0.01L), nu = x[3];
    const L base = std::pow(x[2] * m, 0.333333L);
    const L b = x[1] * m;
    const L c = x[5] * (x[6] - x[7]) * (x[6] - x[7]) / (x[6] * x[6] + 0.01L);
    if (x[4] != 1) return std::pow(std::pow(base, nu) + 1 + std::pow(b, nu), 1 / nu) + c;
    const L s = b * b;
    const L hi = std::max(base, s), lo = std::min(base, s);
    return hi * std::pow(1 + std::pow(lo / hi, nu), 1 / nu) + 1 + c;
}
inline L f_G_vsat(const L* x)
{
    L g = 2 * x[2] * x[3] / std::sqrt(x[0]);
    if (x[1] != 1) g = g / std::pow(x[2] * x[2] * x[3] * x[3] + 1, 0.25L);
    const L h = std::sqrt(g * g + 1);
    const L l = g < 1e-4L ? 1 - g * g / 6 : std::asinh(g) / g;
    return (l + h) / 2 * x[0];
}
inline L f_Thesat(const L* x)
{
    return x[1] >= 0 ? x[0] * (1 + x[1] * x[2]) : x[0] / (1 - x[1] * x[2]);
}
inline L f_Eid_sat(const L* x)  // for x1 > 0
{
    return x[0] * x[0] / (std::sqrt(x[0] * x[0] + x[1] * x[1]) + x[1]) / (x[2] * x[3]);
}
inline L f_G_DelL(const L* x)
{
    const L f = hypf(x[0] - x[1], 1e-4L);
    return hypf(1 - x[3] * std::log((f + std::sqrt(f * f + x[2] * x[2])) / x[2]), 1e-4L);
}
inline L f_MDR_Iohm(const L* x)
{
    if (!(x[0] > 0)) return x[4] / x[2];
    const L u6 = std::sqrt(hypf3(x[6], x[3], 0.01L) / x[3]);
    const L u5 = std::sqrt(hypf3(x[5], x[3], 0.01L) / x[3]);
    const L p = x[6] / x[3] / (u6 + 1), q = x[5] / x[3] / (u5 + 1);
    const L H = ((p * p + q * q + p * q) / 3 + (p + q) / 2) * x[1] / (u6 + u5) + 1;
    return x[4] / x[2] * hypf(H, 1e-8L);
}
inline L f_Idrft(const L* x)
{
    const L F = x[4] * x[5] * x[6];
    const L A = 2 * (x[1] + x[0] - x[2]) / x[1];
    const L B = 2 * (x[1] + x[0] - x[3]) / x[1];
    if (A > 80 || B > 80) return F;
    const L E = std::exp(A) + std::exp(B);
    return E / (E + 1) * F;
}
inline L f_Iavl(const L* x)
{
    if (x[1] == 0) return 0;
    const L a = x[0] - x[3] * x[4];
    if (x[2] / 800 >= a) return 0;
    return x[5] * x[1] * std::exp(-x[2] / a);
}
inline L f_Qdiode(const L* x)
{
    const L V = x[0], Vbi = x[1], Cj = x[2], P = x[3], F = x[4], Qp = x[5], Vs = x[6];
    if (V < Vs) return Qp * (1 - std::pow(1 - V / Vbi, 1 - P));
    return Qp * (1 - std::pow(1 - F, 1 - P)) +
           Cj * std::pow(1 - F, -P) * (V - Vs) * (1 + P / 2 * (V - Vs) / ((1 - F) * Vbi));
}
inline L f_Rthcor(const L* x)
{
    const L lgf = x[0], n = x[1], p = x[2], lth = x[3], kappa = x[4], tsub = x[5];
    const L e = tsub - (p - lth) / 2, h = e / p;
    const L gw = lgf * kappa *
                 (1 / (h - 2 * h / kPi * std::atan(2 * h) + std::log(1 + 4 * h * h) / (2 * kPi)) - 1 / h);
    const L gv = lgf * p * kappa / e;
    return (n - 1) * gw / ((gv + gw) * n * (gw + gv * n));
}
inline L f_Rtharea(const L* x)
{
    const L W = (x[1] - 1) * x[2] + x[3];
    const L r = std::min(x[0], W) / std::max(x[0], W), m = std::max(x[0], W);
    return ((r * r * r + 1 - std::pow(1 + r * r, 1.5L)) / (3 * r * r) + std::asinh(1 / r) +
            std::asinh(r) / r) /
           (2 * kPi * x[4] * m);
}

}  // namespace ref
