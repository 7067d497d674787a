// Derivative of f^g shared by the runtime's VXR_powDeriv and the dual-number
// arithmetic. Rev selects the interface revision's rule.
#ifndef VXR_POWDERIV_H
#define VXR_POWDERIV_H

#include <cmath>

namespace vxr {

// f^g with 0.0 where the real power is undefined (negative base with a
// non-integer exponent, zero base with a negative exponent).
inline double wrapPowRule(double f, double g) {
    if (f < 0.0 && g != std::trunc(g)) return 0.0;
    if (f == 0.0 && g < 0.0) return 0.0;
    return std::pow(f, g);
}

// d(f^g) given ftog = f^g and the derivatives fprime, gprime. A moving
// exponent has no real derivative for f <= 0: the result is then 0.0.
// At f == 0 revision 1.87 uses wrapPowRule(f, g - 1); older revisions use
// plain pow (infinite for g < 1).
template <int Rev>
inline double powDerivRule(double ftog, double f, double g, double fprime, double gprime) {
    double term1 = 0.0;
    if (gprime != 0.0) {  // NaN counts as nonzero
        if (!(f > 0.0)) return 0.0;
        term1 = gprime * ftog * std::log(f);
    }
    if (fprime == 0.0) return term1;
    if (f == 0.0) {
        const double p = (Rev == 187) ? wrapPowRule(f, g - 1.0) : std::pow(f, g - 1.0);
        return term1 + p * g * fprime;
    }
    return term1 + g * ftog * fprime / f;
}

}  // namespace vxr

#endif
