// Checked math and derivative helpers for generated model code.
#include <climits>
#include <cmath>
#include <cstdint>

#include "VXR_PowDeriv.h"
#include "VXR_SupportLib.h"

namespace {

using vxr::kFltMax;

using DebugHandler = decltype(VXR_SimInterface::pHandleDebugEvent);

DebugHandler debugHandler(VXR_DeviceInst* pInst) {
    if (!pInst || !pInst->pSimInterface) return nullptr;
    return pInst->pSimInterface->pHandleDebugEvent;
}

double loaderDefault(VXR_ContribLoader* ldr, VXR_DefaultTypeE type, [[maybe_unused]] VXR_DeviceInst* pInst) {
    if (!ldr || !ldr->pGetDefault) return 0.0;
    return ldr->pGetDefault(type, ldr VXR_LDR_INST(pInst));
}

}  // namespace

extern "C" {

void VXR_DebugReport(VXR_DeviceInst* pInst, int line, VXR_DebugEventTypeE contextFlag, const char* tag,
                     VXR_ContribLoader* ldr) {
    if (DebugHandler h = debugHandler(pInst)) h(contextFlag, pInst, line, tag, ldr);
}

void VXR_CheckVar(double val, const char* varName, VXR_DeviceInst* pInst, int line, VXR_ContribLoader* ldr) {
    DebugHandler h = debugHandler(pInst);
    if (!h) return;
    if (!std::isfinite(val)) {
        h(FP_INFVAR, pInst, line, varName, ldr);
        return;
    }
    if (ldr && ldr->pGetDefault) {
        const double thresh = loaderDefault(ldr, VXR_VARTHRESH, pInst);
        if (thresh > 0.0 && std::fabs(val) >= thresh) h(FP_BIGVAR, pInst, line, varName, ldr);
    }
}

double VXR_RealChkDiv(double numerArg, double denomArg, VXR_DeviceInst* pInst, int line, VXR_ContribLoader* ldr,
                      int useHandler) {
    DebugHandler h = useHandler ? debugHandler(pInst) : nullptr;
    if (denomArg == 0.0) {
        if (h) h(FP_DIVBYZERO, pInst, line, nullptr, ldr);
        if (numerArg == 0.0) return 1.0;
        return numerArg > 0.0 ? kFltMax : -kFltMax;
    }
    const double minDenom = loaderDefault(ldr, VXR_MIN_DENOM_VAL, pInst);
    const double maxNumer = loaderDefault(ldr, VXR_MAX_NUMER_VAL, pInst);
    if (h) {
        if (minDenom > 0.0 && std::fabs(denomArg) < minDenom) h(FP_SMALL_DENOM, pInst, line, nullptr, ldr);
        if (maxNumer > 0.0 && std::fabs(numerArg) > maxNumer) h(FP_LARGE_NUMER, pInst, line, nullptr, ldr);
    }
    return numerArg / denomArg;
}

int VXR_IntDivByZero(int leftArg, VXR_DeviceInst* pInst, int line, VXR_ContribLoader* ldr, int useHandler) {
    if (useHandler) {
        if (DebugHandler h = debugHandler(pInst)) h(FP_DIVBYZERO, pInst, line, nullptr, ldr);
    }
    if (leftArg == 0) return 1;
    return leftArg > 0 ? 50000 : -50000;
}

double VXR_LogDomainErr(double, VXR_DeviceInst* pInst, int line, VXR_ContribLoader* ldr) {
    VXR_DebugReport(pInst, line, FP_LOGARG, nullptr, ldr);
    return -kFltMax;
}

double VXR_Log10DomainErr(double, VXR_DeviceInst* pInst, int line, VXR_ContribLoader* ldr) {
    VXR_DebugReport(pInst, line, FP_LOG10ARG, nullptr, ldr);
    return -kFltMax;
}

double VXR_SqrtDomainErr(double arg, VXR_DeviceInst* pInst, int line, VXR_ContribLoader* ldr) {
    VXR_DebugReport(pInst, line, FP_SQRTARG, nullptr, ldr);
    return std::fabs(arg);
}

double VXR_wrapPow(double f, double g) { return vxr::wrapPow(f, g); }

double VXR_checkPow(VXR_DeviceInst* pInst, int line, double f, double g, VXR_ContribLoader* ldr) {
    DebugHandler h = debugHandler(pInst);
    if (f < 0.0) {
        const double r = std::round(g);  // half away from zero
        if (r == g) return std::pow(f, g);
        if (h) {
            h(FP_POWARG, pInst, line, nullptr, ldr);
            return std::pow(f, g);
        }
        // Non-integer exponent without a handler: the nearest integer power.
        if (!(std::fabs(r) <= static_cast<double>(INT_MAX))) return std::pow(f, r);
        return VXR_intPow(f, static_cast<int>(r));
    }
    if (f == 0.0 && g <= 0.0) {
        if (!h) return kFltMax;
        h(FP_POWARG, pInst, line, nullptr, ldr);
        return std::pow(f, g);
    }
    return std::pow(f, g);
}

double VXR_powDeriv(double ftog, double f, double g, double fprime, double gprime) {
    return vxr::powDeriv<VXR_REVISION>(ftog, f, g, fprime, gprime);
}

double VXR_hypotDeriv(double numArg, double sqrtArg) { return sqrtArg <= 0.0 ? 1.0 : numArg / sqrtArg; }

double VXR_intPow(double x, int n) {
    if (n == 0) return 1.0;
    if (n == 1) return x;
    // Magnitude as unsigned: -INT_MIN does not fit in an int.
    uint64_t m = static_cast<uint64_t>(n < 0 ? -static_cast<int64_t>(n) : static_cast<int64_t>(n));
    if (n < 0) {
        if (std::fabs(x) < 1e-36)
            x = x >= 0.0 ? 1e36 : -1e36;
        else
            x = 1.0 / x;
    }
    if (m < 2) return x;
    double r = x;
    uint64_t p = 1;
    while (2 * p <= m) {
        r *= r;
        p *= 2;
    }
    uint64_t rest = m - p;
    for (; rest > 0; --rest) {
        // Once r is 0, infinite or NaN, or x is +-1, each further product can
        // only flip the sign: finish by parity without the long loop.
        if (std::isnan(r)) break;
        if (r == 0.0 || std::isinf(r) || std::fabs(x) == 1.0) {
            if (std::signbit(x) && (rest & 1u)) r = -r;
            break;
        }
        r *= x;
    }
    return r;
}

}  // extern "C"
