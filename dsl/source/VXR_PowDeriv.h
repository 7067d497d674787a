// Derivative of a power f^g, shared by the runtime's exported VXR_powDeriv and
// the forward-mode dual numbers of the model libraries.
//
// Rev is the interface revision (187, 160 or 142). Revisions 160 and 142
// evaluate the f == 0 case with plain pow(f, g - 1); 187 uses wrapPow, which
// gives 0 instead of infinity for g < 1.
#ifndef VXR_POWDERIV_H
#define VXR_POWDERIV_H

#include <cmath>

namespace vxr {

// Largest single-precision value, as a double.
inline constexpr double kFltMax = 3.4028234663852886e38;

// pow with 0.0 for a negative base and a non-integral exponent, and for a
// zero base with a negative exponent.
inline double wrapPow(double f, double g)
{
    if (f < 0.0 && g != std::trunc(g))
        return 0.0;
    if (f == 0.0 && g < 0.0)
        return 0.0;
    return std::pow(f, g);
}

// d(f^g) given ftog = f^g and the derivatives fprime, gprime of f and g.
template <int Rev>
inline double powDeriv(double ftog, double f, double g, double fprime, double gprime)
{
    static_assert(Rev == 187 || Rev == 160 || Rev == 142, "unknown revision");
    double term1 = 0.0;
    if (gprime != 0.0) {  // NaN counts as non-zero
        if (f > 0.0)
            term1 = gprime * ftog * std::log(f);
        else
            return 0.0;
    }
    if (fprime == 0.0)
        return term1;
    if (f == 0.0) {
        if constexpr (Rev == 187)
            return term1 + wrapPow(f, g - 1.0) * g * fprime;
        else
            return term1 + std::pow(f, g - 1.0) * g * fprime;
    }
    return term1 + g * ftog * fprime / f;
}

}  // namespace vxr

#endif
