// The 27 TORVEX analog functions, each written once over the scalar type T
// (double, or vxr::Dual<N, Rev> to carry partial derivatives).
//
// Conventions:
// - Every argument has type T; call with an explicit T (fn::hypf<D>(x, 0.02))
//   when mixing constants and duals.
// - Arguments whose partial the function never forms (its constant-zero slots)
//   are read through value_of(), so no derivative flows through them. The
//   exception is psisat_val: it differentiates all its arguments and only the
//   exported partials entry zeroes its slots.
// - Branch tests look at values only; the operation order of each expression
//   is part of the function (it fixes the rounding of the value).
#ifndef VXR_ANALOG_FUNCTIONS_H
#define VXR_ANALOG_FUNCTIONS_H

#include <cmath>

#include "vxr_dual.h"

namespace vxr::fn {

using std::atan;
using std::exp;
using std::fabs;
using std::log;
using std::sqrt;
// pow is vxr::pow, the models' own, for doubles and dual numbers alike.

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 6.283185307179586;

namespace detail {

// hypf(x, e) in its four stable forms. For x >= 0 (or NaN) the result is
// `added` + x; psi_s_val needs that added term on its own.
template <class T>
struct HypfParts {
    T value;
    T added;
};

// On dual numbers the value runs the same double operations as below and
// the partials are the exact slopes times those of x, one product each:
// d/dx e/(s-t) = value/(s w), d/dx e/(t+s) = -v/(s w) with s = sqrt(t^2+1),
// and d/dx e t/(q+1) = -v/(x q) with q = sqrt(t^2+1), t = w/|x|.
template <int N, int R>
HypfParts<Dual<N, R>> hypf_parts(const Dual<N, R>& x, double e)
{
    const double xv = x.v;
    const double w = 2.0 * e;
    double val, add, dval, dadd;
    if (w > std::fabs(xv)) {
        const double t = xv / w;
        const double s = std::sqrt(t * t + 1.0);
        if (xv < 0.0) {
            val = e / (s - t);
            add = dadd = 0.0;
            dval = val / (s * w);
        } else {
            const double v = e / (t + s);
            val = v + xv;
            add = v;
            dadd = -v / (s * w);
            dval = 1.0 + dadd;
        }
    } else {
        const double t = w / std::fabs(xv);
        const double q = std::sqrt(t * t + 1.0);
        const double v = e * t / (q + 1.0);
        const double dv = -v / (xv * q);
        if (xv < 0.0) {
            val = v;
            add = dadd = 0.0;
            dval = dv;
        } else {
            val = v + xv;
            add = v;
            dadd = dv;
            dval = 1.0 + dv;
        }
    }
    HypfParts<Dual<N, R>> r{Dual<N, R>(val), Dual<N, R>(add)};
    for (int k = 0; k < N; ++k) {
        r.value.d[k] = dval * x.d[k];
        r.added.d[k] = dadd * x.d[k];
    }
    return r;
}

template <class T>
HypfParts<T> hypf_parts(const T& x, double e)
{
    const double w = 2.0 * e;
    if (w > std::fabs(value_of(x))) {
        const T t = x / w;
        const T s = sqrt(t * t + 1.0);
        if (x < 0.0) return {e / (s - t), T(0.0)};
        const T v = e / (t + s);
        return {v + x, v};
    }
    const T t = w / fabs(x);
    const T v = e * t / (sqrt(t * t + 1.0) + 1.0);
    if (x < 0.0) return {v, T(0.0)};
    return {v + x, v};
}

template <class T>
T hypf(const T& x, double e)
{
    return hypf_parts(x, e).value;
}

// hypf applied to y = (1 - e^2/a^2) a + x; `shifted` selects hypf2 (result
// lowered by a) over hypf3.
template <class T>
T hypf23(const T& x, const T& a, double e, bool shifted)
{
    const T y = (1.0 - e * e / (a * a)) * a + x;
    const double w = 2.0 * e;
    if (w > std::fabs(value_of(y))) {
        const T t = y / w;
        const T s = sqrt(t * t + 1.0);
        const T r = y < 0.0 ? T(e / (s - t)) : T((t + s) * e);
        return shifted ? T(r - a) : r;
    }
    const T t = w / fabs(y);
    const T g = sqrt(t * t + 1.0) + 1.0;
    if (y < 0.0) {
        const T r = e * t / g;
        return shifted ? T(r - a) : r;
    }
    const T r = x * g / (g + t * (e / a));
    return shifted ? r : T(r + a);
}

}  // namespace detail

// ---- smoothing functions ---------------------------------------------------

// Smooth positive part (x + sqrt(x^2 + 4 e^2)) / 2.
template <class T>
T hypf(const T& x, const T& e)
{
    return detail::hypf(x, value_of(e));
}

// hypf3 shifted down by a: 0 at x = 0.
template <class T>
T hypf2(const T& x, const T& a, const T& e)
{
    return detail::hypf23(x, a, value_of(e), true);
}

// hypf of x + a - e^2/a: a at x = 0.
template <class T>
T hypf3(const T& x, const T& a, const T& e)
{
    return detail::hypf23(x, a, value_of(e), false);
}

// Smooth minimum of order m: x y / (y^m + x^m)^(1/m).
template <class T>
T hypfm(const T& x, const T& y, const T& m)
{
    const double mm = value_of(m);
    const T xm = pow(x, mm);
    const T ym = pow(y, mm);
    return x * y / pow(ym + xm, 1.0 / mm);
}

// x / ((x/y)^m + 1)^(1/m).
template <class T>
T hypfm1(const T& x, const T& y, const T& m)
{
    const double yy = value_of(y);
    const double mm = value_of(m);
    return x / pow(pow(x / yy, mm) + 1.0, 1.0 / mm);
}

template <class T>
T asinh_val(const T& x)
{
    const double u = value_of(x);
    return T(std::log(u + std::sqrt(u * u + 1.0)));
}

// ---- potentials and voltages -----------------------------------------------

// Surface potential at one channel end; x0 is not used.
template <class T>
T psi_s_val(const T&, const T& x1, const T& x2, const T& x3, const T& x4,
            const T& x5, const T& x6, const T& x7, const T& x8, const T& x9)
{
    const double k7 = value_of(x7);
    const double k8 = value_of(x8);
    const T d = x1 - x3;
    const detail::HypfParts<T> h = detail::hypf_parts(d, 0.02);
    const T& o = h.value;
    const T c = d < 0.0 ? T(x1 - o) : T(x3 - h.added);

    const T q = o * o / x5;
    T w;
    if (q < 1.0) {
        const T r = sqrt(q + 1.0);
        w = q / ((1.0 + r) * r);
    } else {
        const T k = x5 / (o * o);
        const T sk1 = sqrt(k + 1.0);
        w = 1.0 / (sk1 * (sqrt(k) + sk1));
    }
    const T b = o * w + x2;
    const T z = 2.0 * b / (sqrt(k7 * b + 1.0) + 1.0) / k8;
    return c + log((z * z - c - x4 + x6) / x6) * x9;
}

// Depletion surface potential: ((sqrt(c^2 + A x3) - c) / x3)^2 - x1.
template <class T>
T psisat_val(const T& x0, const T& x1, const T& x2, const T& x3)
{
    const T A = x0 + x1;
    const T f = A * x3;
    const T c = x2 * 0.5;
    const T g = c * c;
    if (f >= g) {
        const T m = 1.0 / (sqrt(g / f + 1.0) + c / sqrt(f));
        return A / x3 * (m * m) - x1;
    }
    const T m = 1.0 / (sqrt(f / g + 1.0) + 1.0);
    return A * A / g * (m * m) - x1;
}

// Accumulation surface potential.
template <class T>
T psi_acc_val(const T& x0, const T& x1, const T& x2, const T& x3, const T& x4,
              const T& x5, const T& x6, const T& x7)
{
    const double k6 = value_of(x6);
    const T b = (x1 + x2 - x3 - x4) * x0;
    const T m = sqrt(b * b / x5 + 1.0);
    const T A = (b / x0 - b / m) / k6;
    return -x7 * log((A * A - b / m + x7) / x7);
}

// Inversion voltage x3 (sqrt(l^2 + m^2) - l).
template <class T>
T Vinv_val(const T& x0, const T& x1, const T& x2, const T& x3, const T& x4,
           const T& x5)
{
    const double k3 = value_of(x3);
    const T h = detail::hypf(x2 + x0, 0.01);
    const T l = sqrt(h);
    const T m = sqrt(x4) * exp((x2 - x1) * 0.5 / x5);
    if (l >= m) {
        const T q = m / l;
        return m * m / l * k3 / (sqrt(q * q + 1.0) + 1.0);
    }
    const T q = l / m;
    const T o = q + sqrt(q * q + 1.0);
    return m * k3 / o;
}

// Gate overdrive with accumulation and depletion corrections.
template <class T>
T Vov_val(const T& x0, const T& x1, const T& x2, const T& x3, const T& x4,
          const T& x5, const T& x6)
{
    const double k1 = value_of(x1);
    const double k4 = value_of(x4);
    const double k6 = value_of(x6);
    const T a = x0 - k1;
    const T m = detail::hypf(a, 0.02);
    const T E = a - m;
    const T H = exp((0.02 + E) * x3 / x2);
    const T o = x2 * (H - 1.0);
    const double r = k4 * 0.5;
    const T I = sqrt(o - E + r * r);
    const T L = x3 * (a - E);
    const T M = sqrt(L * L / x5 + 1.0);
    const T S = L / x3 - L / M;
    const T U = sqrt(k6 * S + 1.0);
    const T Z = 2.0 * S / (U + 1.0) / k4;
    const T Q = log((Z * Z + L / M + x2) / x2);
    const T D = sqrt((L / x3 - x2 * Q) * k6 + 1.0);
    const T Ir = I - r;
    return 2.0 * (a - (o - Ir * Ir) - x2 * Q) / (1.0 + D);
}

// Smoothed voltage with a switch; no partials.
template <class T>
T Vxb_c_val(const T& x0, const T& x1, const T& x2)
{
    const double a = value_of(x1);
    const double v = value_of(x2);
    if (value_of(x0) > 0.0) return T(detail::hypf(v + a + (-1e-4 / a), 0.01) - a);
    return T(v);
}

// Inversion-charge voltage.
template <class T>
T Vcalc_val(const T& x0, const T& x1, const T& x2, const T& x3, const T& x4)
{
    const double k0 = value_of(x0);
    const double k3 = value_of(x3);
    const T a = k0 * (x1 - x2) + 1.0;
    const T h = detail::hypf(x2 + x4, 0.01);
    const T b = (x1 - x2) * 2.0 / (sqrt(a) + 1.0) - sqrt(h) * k3;
    return detail::hypf(b, 1e-4);
}

// Drain-induced gate voltage shift.
template <class T>
T Del_Vg_val(const T& x0, const T& x1, const T& x2, const T& x3, const T& x4,
             const T& x5)
{
    const double k4 = value_of(x4);
    const double k5 = value_of(x5);
    const T x0sq = x0 * x0;
    const T b = x1 + x0sq;
    const T m = detail::hypf(x3 - x2, 0.04);
    const T g = k5 * sqrt(m) - sqrt(x2) * k4;
    const T r = detail::hypf(g, k5 * 0.1);
    return (r + sqrt(x2) * k4) * (x0sq * x0sq) / (b * sqrt(b));
}

// Saturation voltage.
template <class T>
T Vdsat_val(const T& x0, const T& x1, const T& x2, const T& x3, const T& x4)
{
    const T a = x0 - x1;
    T k = x2;
    if (value_of(x4) != 1.0) k = x2 * sqrt(1.0 / sqrt(x2 * x2 * (a * a) + 1.0));
    const T c = k / sqrt(2.0 / (a * a + 0.1) + k * k);
    const T g = sqrt(1.0 - c * c);
    const T y = (c * (-0.9) / (g + 1.0) + 1.0) * a - x3;
    return detail::hypf(y, 0.04) + x3;
}

// ---- mobility, saturation, oxide -------------------------------------------

// Effective oxide capacitance.
template <class T>
T Cox_eff_val(const T& x0, const T& x1, const T& x2, const T& x3, const T& x4)
{
    const double k3 = value_of(x3);
    const double k4 = value_of(x4);
    const T b = x2 * 25.0 + x1 * (1.0 / (x0 * x0) * x1);
    const T g = pow(b, 0.16666666666666666);
    return k3 / (1.0 + k4 / g);
}

// Mobility degradation factor.
template <class T>
T G_mob_val(const T& x0, const T& x1, const T& x2, const T& x3, const T& x4,
            const T& x5, const T& x6, const T& x7)
{
    const T m = detail::hypf(x0, 0.01);
    const T K = pow(m * x2, 0.333333);
    const T d67 = x6 - x7;
    const T F = x5 * (d67 * d67) / (x6 * x6 + 0.01);
    const T inv = 1.0 / x3;
    if (value_of(x4) != 1.0) return pow(pow(K, x3) + (1.0 + pow(m * x1, x3)), inv) + F;
    const T p = m * x1;
    const T G = p * p;
    if (K < G) return F + (G * pow(pow(K / G, x3) + 1.0, inv) + 1.0);
    return F + (K * pow(pow(G / K, x3) + 1.0, inv) + 1.0);
}

// Velocity saturation factor.
template <class T>
T G_vsat_val(const T& x0, const T& x1, const T& x2, const T& x3)
{
    const T f = sqrt(x0);
    T g = (x2 + x2) * x3;
    if (value_of(x1) != 1.0) {
        const T p = x2 * x3;
        g = g / (f * sqrt(sqrt(p * p + 1.0)));
    } else {
        g = g / f;
    }
    const T h = sqrt(g * g + 1.0);
    const T l = g < 1e-4 ? T(g * g / (-6.0) + 1.0) : T(log(g + h) / g);
    return (l + h) * 0.5 * x0;
}

// Velocity saturation coefficient.
template <class T>
T Thesat_val(const T& x0, const T& x1, const T& x2)
{
    const double k1 = value_of(x1);
    if (k1 >= 0.0) return x0 * (k1 * x2 + 1.0);
    return x0 / (1.0 - k1 * x2);
}

// Field excess in saturation, (sqrt(x0^2 + x1^2) - x1) / (x2 x3).
template <class T>
T Eid_sat_val(const T& x0, const T& x1, const T& x2, const T& x3)
{
    const double k1 = value_of(x1);
    const double c = 1.0 / (value_of(x2) * value_of(x3));
    if (x0 > k1) {
        const T q = k1 / x0;
        const T b = q + sqrt(q * q + 1.0);
        return c * x0 / b;
    }
    const T q = x0 / k1;
    const T a = q * q;
    return c * k1 * a / (sqrt(a + 1.0) + 1.0);
}

// Channel-length modulation factor.
template <class T>
T G_DelL_val(const T& x0, const T& x1, const T& x2, const T& x3)
{
    const double k2 = value_of(x2);
    const double k3 = value_of(x3);
    const T f = detail::hypf(x0 - x1, 1e-4);
    const T c = 1.0 - log((f + sqrt(f * f + k2 * k2)) / k2) * k3;
    return detail::hypf(c, 1e-4);
}

// ---- drift, avalanche, diode, thermal resistance ---------------------------

// Ohmic current of the drift region.
template <class T>
T MDR_Iohm_val(const T& x0, const T& x1, const T& x2, const T& x3, const T& x4,
               const T& x5, const T& x6)
{
    if (!(value_of(x0) > 0.0)) return x4 / x2;
    const T t = detail::hypf23(x6, x3, 0.01, false);
    const T s = sqrt(t / x3);
    const T w = detail::hypf23(x5, x3, 0.01, false);
    const T r = sqrt(w / x3);
    const T h = x6 / x3 / (s + 1.0);
    const T g = x5 / x3 / (r + 1.0);
    const T k = ((h * h + g * g + h * g) / 3.0 + (h + g) * 0.5) * x1 / (s + r) + 1.0;
    return x4 / x2 * detail::hypf(k, 1e-8);
}

// Drift part of the channel current, exponents cut off above 80.
template <class T>
T Idrft_val(const T& x0, const T& x1, const T& x2, const T& x3, const T& x4,
            const T& x5, const T& x6)
{
    const T f = x4 * x5 * x6;
    const T c = (x1 + x0 - x2) * (2.0 / x1);
    if (c > 80.0) return f;
    const T e = (x1 + x0 - x3) * (2.0 / x1);
    if (e > 80.0) return f;
    const T E = exp(c) + exp(e);
    return E / (E + 1.0) * f;
}

// Avalanche current.
template <class T>
T Iavl_val(const T& x0, const T& x1, const T& x2, const T& x3, const T& x4,
           const T& x5)
{
    if (value_of(x1) == 0.0) return T(0.0);
    const double k2 = value_of(x2);
    const T a = x0 - value_of(x3) * x4;
    if (k2 / 800.0 >= a) return T(0.0);
    return x5 * x1 * exp(-k2 / a);
}

// Junction diode charge with its linear-quadratic continuation from x6 on:
// the power law's Taylor expansion about x6 (with x6 = x4 * x1, as the loads
// pass it), so that the charge and its capacitance are continuous there.
template <class T>
T Qdiode_val(const T& x0, const T& x1, const T& x2, const T& x3, const T& x4,
             const T& x5, const T& x6)
{
    const double k3 = value_of(x3);
    const double k4 = value_of(x4);
    if (x0 < value_of(x6)) return (1.0 - pow(1.0 - x0 / x1, 1.0 - k3)) * x5;
    const double base = 1.0 - k4;
    return (1.0 - std::pow(base, 1.0 - k3)) * x5 +
           ((x0 - x6) * (k3 * 0.5) / (base * x1) + 1.0) * (std::pow(base, -k3) * x2 * (x0 - x6));
}

// Thermal-resistance correction for a substrate thickness; no partials.
template <class T>
T Rthcor_val(const T& x0, const T& x1, const T& x2, const T& x3, const T& x4,
             const T& x5)
{
    const double lgf = value_of(x0), n = value_of(x1), p = value_of(x2);
    const double lth = value_of(x3), kappa = value_of(x4), tsub = value_of(x5);
    const double u = (p - lth) * (-0.5) + tsub;
    const double h = u / p;
    const double l = std::log(h * 4.0 * h + 1.0);
    const double k = lgf * kappa *
                     (1.0 / (h * 2.0 / kPi * std::atan(h * (-2.0)) + h + l / kTwoPi) + (-1.0 / h));
    const double a = lgf * p * kappa / u;
    return T((n - 1.0) * k / ((a + k) * n * (k + a * n)));
}

// Geometric thermal resistance of the device area; no partials.
template <class T>
T Rtharea_val(const T& x0, const T& x1, const T& x2, const T& x3, const T& x4)
{
    const double lgf = value_of(x0), n = value_of(x1), p = value_of(x2);
    const double lth = value_of(x3), kappa = value_of(x4);
    const double b = (n - 1.0) * p + lth;
    double g, M;
    if (lgf < b) {
        g = lgf / b;
        M = b;
    } else {
        g = b / lgf;
        M = lgf;
    }
    const double ig = 1.0 / g;
    const double h = std::log(ig + std::sqrt(ig * ig + 1.0));
    const double l = g * g;
    const double o = std::sqrt(1.0 + l);
    const double r = std::log(o + g);
    return T(((g * l + 1.0 - o * (1.0 + l)) / (l * 3.0) + (h + r / g)) / (M * (kappa * kTwoPi)));
}

}  // namespace vxr::fn

// X(name, arity, constant-zero slot mask) for each function, in library order.
#define VXR_ANALOG_FUNCTIONS(X) \
    X(hypf, 2, 0x002)           \
    X(hypf2, 3, 0x004)          \
    X(hypf3, 3, 0x004)          \
    X(hypfm, 3, 0x004)          \
    X(hypfm1, 3, 0x006)         \
    X(asinh_val, 1, 0x001)      \
    X(psi_s_val, 10, 0x181)     \
    X(psisat_val, 4, 0x00f)     \
    X(psi_acc_val, 8, 0x040)    \
    X(Vinv_val, 6, 0x008)       \
    X(Vov_val, 7, 0x052)        \
    X(Vxb_c_val, 3, 0x007)      \
    X(Vcalc_val, 5, 0x009)      \
    X(Del_Vg_val, 6, 0x030)     \
    X(Vdsat_val, 5, 0x010)      \
    X(Cox_eff_val, 5, 0x018)    \
    X(G_mob_val, 8, 0x010)      \
    X(G_vsat_val, 4, 0x002)     \
    X(Thesat_val, 3, 0x002)     \
    X(Eid_sat_val, 4, 0x00e)    \
    X(G_DelL_val, 4, 0x00c)     \
    X(MDR_Iohm_val, 7, 0x001)   \
    X(Idrft_val, 7, 0x000)      \
    X(Iavl_val, 6, 0x00c)       \
    X(Qdiode_val, 7, 0x058)     \
    X(Rthcor_val, 6, 0x03f)     \
    X(Rtharea_val, 5, 0x01f)

#endif
