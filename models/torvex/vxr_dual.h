// Forward-mode dual number: a value and N partial derivatives.
//
// The value part of every operation is the same IEEE operation as on plain
// doubles, so code templated over the scalar type gives bit-identical values
// for double and Dual. The derivative rules are those of the model interface,
// not the textbook ones:
//   sqrt(u)  du / D, D = 2 sqrt(u) when sqrt(u) > 0, else FLT_MAX (as a
//            double); revision 142 divides by 2 sqrt(u) always
//   u^v      powDeriv<Rev>(u^v, u, v, du, dv) for every power
//   |u|      s * du, s = +1 for u >= 0 (so slope +1 at 0), -1 otherwise
//   log10(u) du / (u ln 10)
//   a / b    (da - (a / b) db) / b; a / constant is da / b
// (each division by a value is one reciprocal and N products)
// Comparisons look at the values only.
#ifndef VXR_DUAL_H
#define VXR_DUAL_H

#include <cmath>

#include "VXR_PowDeriv.h"

namespace vxr {

template <int N, int Rev>
struct Dual {
    static_assert(N > 0, "a dual number needs at least one partial");
    static constexpr int size = N;
    static constexpr int revision = Rev;

    double v = 0.0;
    double d[N] = {};

    constexpr Dual() = default;
    constexpr Dual(double value) : v(value) {}  // a constant: all partials 0

    // The independent variable number k with the given value.
    static constexpr Dual seed(double value, int k)
    {
        Dual r(value);
        r.d[k] = 1.0;
        return r;
    }
};

// The same number with K >= N partials; the added partials are 0.
template <int K, int N, int R>
inline Dual<K, R> widen(const Dual<N, R>& x)
{
    static_assert(K >= N, "widen never drops partials");
    Dual<K, R> r(x.v);
    for (int k = 0; k < N; ++k) r.d[k] = x.d[k];
    return r;
}

inline double value_of(double x) { return x; }
template <int N, int R>
inline double value_of(const Dual<N, R>& x) { return x.v; }

// ---- arithmetic ------------------------------------------------------------

template <int N, int R>
inline Dual<N, R> operator+(const Dual<N, R>& a) { return a; }

template <int N, int R>
inline Dual<N, R> operator-(const Dual<N, R>& a)
{
    Dual<N, R> r(-a.v);
    for (int k = 0; k < N; ++k) r.d[k] = -a.d[k];
    return r;
}

template <int N, int R>
inline Dual<N, R> operator+(const Dual<N, R>& a, const Dual<N, R>& b)
{
    Dual<N, R> r(a.v + b.v);
    for (int k = 0; k < N; ++k) r.d[k] = a.d[k] + b.d[k];
    return r;
}
template <int N, int R>
inline Dual<N, R> operator+(const Dual<N, R>& a, double b)
{
    Dual<N, R> r(a.v + b);
    for (int k = 0; k < N; ++k) r.d[k] = a.d[k];
    return r;
}
template <int N, int R>
inline Dual<N, R> operator+(double a, const Dual<N, R>& b)
{
    Dual<N, R> r(a + b.v);
    for (int k = 0; k < N; ++k) r.d[k] = b.d[k];
    return r;
}

template <int N, int R>
inline Dual<N, R> operator-(const Dual<N, R>& a, const Dual<N, R>& b)
{
    Dual<N, R> r(a.v - b.v);
    for (int k = 0; k < N; ++k) r.d[k] = a.d[k] - b.d[k];
    return r;
}
template <int N, int R>
inline Dual<N, R> operator-(const Dual<N, R>& a, double b)
{
    Dual<N, R> r(a.v - b);
    for (int k = 0; k < N; ++k) r.d[k] = a.d[k];
    return r;
}
template <int N, int R>
inline Dual<N, R> operator-(double a, const Dual<N, R>& b)
{
    Dual<N, R> r(a - b.v);
    for (int k = 0; k < N; ++k) r.d[k] = -b.d[k];
    return r;
}

template <int N, int R>
inline Dual<N, R> operator*(const Dual<N, R>& a, const Dual<N, R>& b)
{
    Dual<N, R> r(a.v * b.v);
    for (int k = 0; k < N; ++k) r.d[k] = a.d[k] * b.v + a.v * b.d[k];
    return r;
}
template <int N, int R>
inline Dual<N, R> operator*(const Dual<N, R>& a, double b)
{
    Dual<N, R> r(a.v * b);
    for (int k = 0; k < N; ++k) r.d[k] = a.d[k] * b;
    return r;
}
template <int N, int R>
inline Dual<N, R> operator*(double a, const Dual<N, R>& b)
{
    Dual<N, R> r(a * b.v);
    for (int k = 0; k < N; ++k) r.d[k] = a * b.d[k];
    return r;
}

template <int N, int R>
inline Dual<N, R> operator/(const Dual<N, R>& a, const Dual<N, R>& b)
{
    Dual<N, R> r(a.v / b.v);
    const double inv = 1.0 / b.v;
    for (int k = 0; k < N; ++k) r.d[k] = (a.d[k] - r.v * b.d[k]) * inv;
    return r;
}
template <int N, int R>
inline Dual<N, R> operator/(const Dual<N, R>& a, double b)
{
    Dual<N, R> r(a.v / b);
    const double inv = 1.0 / b;
    for (int k = 0; k < N; ++k) r.d[k] = a.d[k] * inv;
    return r;
}
template <int N, int R>
inline Dual<N, R> operator/(double a, const Dual<N, R>& b)
{
    Dual<N, R> r(a / b.v);
    const double f = -r.v / b.v;
    for (int k = 0; k < N; ++k) r.d[k] = f * b.d[k];
    return r;
}

// In place: the same sums as a + b and a - b, without a temporary.
template <int N, int R>
inline Dual<N, R>& operator+=(Dual<N, R>& a, const Dual<N, R>& b)
{
    a.v += b.v;
    for (int k = 0; k < N; ++k) a.d[k] += b.d[k];
    return a;
}
template <int N, int R>
inline Dual<N, R>& operator-=(Dual<N, R>& a, const Dual<N, R>& b)
{
    a.v -= b.v;
    for (int k = 0; k < N; ++k) a.d[k] -= b.d[k];
    return a;
}
template <int N, int R>
inline Dual<N, R>& operator*=(Dual<N, R>& a, const Dual<N, R>& b) { return a = a * b; }
template <int N, int R>
inline Dual<N, R>& operator/=(Dual<N, R>& a, const Dual<N, R>& b) { return a = a / b; }
template <int N, int R>
inline Dual<N, R>& operator+=(Dual<N, R>& a, double b) { return a = a + b; }
template <int N, int R>
inline Dual<N, R>& operator-=(Dual<N, R>& a, double b) { return a = a - b; }
template <int N, int R>
inline Dual<N, R>& operator*=(Dual<N, R>& a, double b) { return a = a * b; }
template <int N, int R>
inline Dual<N, R>& operator/=(Dual<N, R>& a, double b) { return a = a / b; }

// ---- comparisons: values only ----------------------------------------------

#define VXR_DUAL_COMPARE(op)                                                       \
    template <int N, int R>                                                        \
    inline bool operator op(const Dual<N, R>& a, const Dual<N, R>& b) { return a.v op b.v; } \
    template <int N, int R>                                                        \
    inline bool operator op(const Dual<N, R>& a, double b) { return a.v op b; }    \
    template <int N, int R>                                                        \
    inline bool operator op(double a, const Dual<N, R>& b) { return a op b.v; }
VXR_DUAL_COMPARE(==)
VXR_DUAL_COMPARE(!=)
VXR_DUAL_COMPARE(<)
VXR_DUAL_COMPARE(<=)
VXR_DUAL_COMPARE(>)
VXR_DUAL_COMPARE(>=)
#undef VXR_DUAL_COMPARE

// ---- elementary functions --------------------------------------------------

template <int N, int R>
inline Dual<N, R> sqrt(const Dual<N, R>& u)
{
    Dual<N, R> r(std::sqrt(u.v));
    double D;
    if constexpr (R == 142)
        D = 2.0 * r.v;
    else
        D = r.v > 0.0 ? 2.0 * r.v : kFltMax;  // zero or NaN root
    const double inv = 1.0 / D;
    for (int k = 0; k < N; ++k) r.d[k] = u.d[k] * inv;
    return r;
}

template <int N, int R>
inline Dual<N, R> exp(const Dual<N, R>& u)
{
    Dual<N, R> r(std::exp(u.v));
    for (int k = 0; k < N; ++k) r.d[k] = u.d[k] * r.v;
    return r;
}

template <int N, int R>
inline Dual<N, R> log(const Dual<N, R>& u)
{
    Dual<N, R> r(std::log(u.v));
    const double inv = 1.0 / u.v;
    for (int k = 0; k < N; ++k) r.d[k] = u.d[k] * inv;
    return r;
}

template <int N, int R>
inline Dual<N, R> log10(const Dual<N, R>& u)
{
    Dual<N, R> r(std::log10(u.v));
    const double inv = 1.0 / (u.v * 2.302585092994046);  // 1 / (u ln 10)
    for (int k = 0; k < N; ++k) r.d[k] = u.d[k] * inv;
    return r;
}

template <int N, int R>
inline Dual<N, R> atan(const Dual<N, R>& u)
{
    Dual<N, R> r(std::atan(u.v));
    const double q = 1.0 + u.v * u.v;
    for (int k = 0; k < N; ++k) r.d[k] = u.d[k] / q;
    return r;
}

template <int N, int R>
inline Dual<N, R> fabs(const Dual<N, R>& u)
{
    const double s = u.v >= 0.0 ? 1.0 : -1.0;
    Dual<N, R> r(std::fabs(u.v));
    for (int k = 0; k < N; ++k) r.d[k] = s * u.d[k];
    return r;
}

// The power of the models, on doubles: pow(x, g), with the exponents they use
// most taken by cheaper operations of the same accuracy (a few ulp): 0 and 1
// exactly as pow; 2, 4 and 8 by squaring; 0.5, 0.25 and 0.125 of a positive
// x by square roots. Dual numbers run the same value operations.
inline double pow(double x, double g)
{
    if (g == 1.0) return x;
    if (g == 0.0) return 1.0;
    if (g == 2.0) return x * x;
    if (g == 4.0) {
        const double s = x * x;
        return s * s;
    }
    if (g == 8.0) {
        const double s = x * x;
        const double q = s * s;
        return q * q;
    }
    if (x > 0.0) {
        if (g == 0.5) return std::sqrt(x);
        if (g == 0.25) return std::sqrt(std::sqrt(x));
        if (g == 0.125) return std::sqrt(std::sqrt(std::sqrt(x)));
    }
    return std::pow(x, g);
}

// powDeriv<R>(f^g, f, g, fprime, gprime) for every partial of one power, with
// the same operations per partial but log(f) and the zero-base slope taken
// once.
template <int R>
class PowSlopes {
public:
    PowSlopes(double ftog, double f, double g, bool exponentVaries) : ftog_(ftog), f_(f), g_(g)
    {
        if (exponentVaries && f > 0.0) lnf_ = std::log(f);
        if (f == 0.0) {
            if constexpr (R == 187)
                zeroBase_ = wrapPow(f, g - 1.0) * g;
            else
                zeroBase_ = std::pow(f, g - 1.0) * g;
        }
    }
    double operator()(double fprime, double gprime) const
    {
        double term1 = 0.0;
        if (gprime != 0.0) {  // NaN counts as non-zero
            if (f_ > 0.0)
                term1 = gprime * ftog_ * lnf_;
            else
                return 0.0;
        }
        if (fprime == 0.0) return term1;
        if (f_ == 0.0) return term1 + zeroBase_ * fprime;
        return term1 + g_ * ftog_ * fprime / f_;
    }

private:
    double ftog_, f_, g_;
    double lnf_ = 0.0, zeroBase_ = 0.0;
};

template <int N, int R>
inline Dual<N, R> pow(const Dual<N, R>& u, const Dual<N, R>& g)
{
    Dual<N, R> r(pow(u.v, g.v));
    bool varies = false;
    for (int k = 0; k < N; ++k) varies = varies || g.d[k] != 0.0;
    const PowSlopes<R> slope(r.v, u.v, g.v, varies);
    for (int k = 0; k < N; ++k) r.d[k] = slope(u.d[k], g.d[k]);
    return r;
}
template <int N, int R>
inline Dual<N, R> pow(const Dual<N, R>& u, double g)
{
    Dual<N, R> r(pow(u.v, g));
    // powDeriv with a constant exponent: 0 + g f^g fprime / f, the same
    // operations in the same order (the 0 + gives a zero fprime the +0 that
    // powDeriv returns). Where a zero fprime could give other than 0 (a zero
    // base, a non-finite factor) every partial takes the general rule.
    const double c = g * r.v;
    if (u.v != 0.0 && std::isfinite(c) && std::isfinite(u.v)) {
        for (int k = 0; k < N; ++k) r.d[k] = 0.0 + c * u.d[k] / u.v;
    } else {
        const PowSlopes<R> slope(r.v, u.v, g, false);
        for (int k = 0; k < N; ++k) r.d[k] = slope(u.d[k], 0.0);
    }
    return r;
}
template <int N, int R>
inline Dual<N, R> pow(double u, const Dual<N, R>& g)
{
    Dual<N, R> r(pow(u, g.v));
    const PowSlopes<R> slope(r.v, u, g.v, true);
    for (int k = 0; k < N; ++k) r.d[k] = slope(0.0, g.d[k]);
    return r;
}

}  // namespace vxr

#endif
