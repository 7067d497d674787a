// $limit: call descriptors that pick one of the host's limiters by name,
// the limiter call, values the module limited itself, and the first-order
// correction term of a contribution evaluated at the limited value.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "VXR_ParamsData.h"

namespace {

struct LimitCallDesc {
    VXR_DeviceInst* pParent;
    int nArgs;
    VXR_LimitFunctionDescriptor* pLimitingFunctionDesc;
    double cacheInputValue;
    double cacheLimitedValue;
    int cacheLimitFlag;
    double previousValue;
    double* pArgs;
};

// What differs between revisions: whether the limiter call itself keeps the
// host from converging, and whether tiny derivatives give no correction.
struct LimitTraits {
    static constexpr bool prohibitOnLimit = VXR_REVISION != 187;
    static constexpr bool derivativeThreshold = VXR_REVISION == 187;
};

VXR_SimInterface* hostOf(VXR_DeviceInst* inst)
{
    return inst ? inst->pSimInterface : nullptr;
}

void limitFunctionMessage(VXR_DeviceInst* pParent, VXR_MessageTypeE msgType, const char* formatStr, ...)
{
    char buf[5000];
    va_list ap;
    va_start(ap, formatStr);
    vsnprintf(buf, sizeof buf, formatStr, ap);
    va_end(ap);
    VXR_SimInterface* sim = hostOf(pParent);
    VXR_Message(sim, pParent, nullptr, msgType, buf);
    if (msgType == MessageTypeE_ERROR && sim && sim->pSystemRequest)
        sim->pSystemRequest("exit", 1, pParent, nullptr, sim);
}

void prohibitConvergence(const LimitCallDesc* d)
{
    VXR_SimInterface* sim = hostOf(d->pParent);
    if (d->pLimitingFunctionDesc && sim && sim->pProhibitConvergence)
        sim->pProhibitConvergence(d->pParent, sim);
}

void record(LimitCallDesc* d, double input, double produced, int flag)
{
    d->cacheInputValue = input;
    d->cacheLimitedValue = produced;
    d->previousValue = produced;
    d->cacheLimitFlag = flag;
}

} // namespace

extern "C" {

void* VXR_createLimitCallDesc(VXR_DeviceInst* pParent, const char* limitFunctionName, int nArgs)
{
    VXR_SimInterface* sim = hostOf(pParent);
    auto* d = static_cast<LimitCallDesc*>(VXR_calloc(1, sizeof(LimitCallDesc), sim, pParent, nullptr));
    if (!d)
        return nullptr;
    d->pParent = pParent;
    if (!limitFunctionName)
        return d;
    VXR_LimitFunctionDescriptor* table = sim ? sim->pLimitFunctionDescArray : nullptr;
    const int n = (sim && table) ? sim->numOfLimitFunctions : 0;
    for (int i = 0; i < n; ++i) {
        VXR_LimitFunctionDescriptor* e = &table[i];
        if (!e->name || strcmp(e->name, limitFunctionName) != 0)
            continue;
        if (e->nArgs != nArgs) {
            limitFunctionMessage(pParent, MessageTypeE_ERROR,
                                 "\nIn $limit(), incorrect argument count. Limiter '%s' accepts %d arguments. %d given.",
                                 limitFunctionName, e->nArgs, nArgs);
            VXR_free(d);
            return nullptr;
        }
        if (nArgs > 0) {
            d->pArgs = static_cast<double*>(
                VXR_calloc(static_cast<size_t>(nArgs), sizeof(double), sim, pParent, nullptr));
            if (!d->pArgs) {
                VXR_free(d);
                return nullptr;
            }
        }
        d->nArgs = nArgs;
        d->pLimitingFunctionDesc = e;
        return d;
    }
    limitFunctionMessage(pParent, MessageTypeE_WARNING,
                         "\nIn $limit(), The specified limit function '%s' is not supported. The simulator default "
                         "limit function will be used.",
                         limitFunctionName);
    if (nArgs > 0)
        limitFunctionMessage(pParent, MessageTypeE_WARNING,
                             "\nIn $limit(), the default limiter will ignore arguments intended for the unsupported "
                             "limiter '%s'.",
                             limitFunctionName);
    // Without a table there is no default to take: the value goes unlimited.
    d->pLimitingFunctionDesc = n > 0 ? &table[0] : nullptr;
    return d;
}

double VXR_callLimitFunction(VXR_ContribLoader*, void* desc, double currentValue, ...)
{
    auto* d = static_cast<LimitCallDesc*>(desc);
    if (!d)
        return currentValue;
    VXR_LimitFunctionDescriptor* lim = d->pLimitingFunctionDesc;
    if (!lim || !lim->pLimit) {
        record(d, currentValue, currentValue, 0);
        return currentValue;
    }
    va_list ap;
    va_start(ap, currentValue);
    for (int k = 0; k < d->nArgs; ++k)
        d->pArgs[k] = va_arg(ap, double);
    va_end(ap);
    double limited = currentValue;
    const unsigned int flag = lim->pLimit(d->pParent, currentValue, d->previousValue, &limited, d->pArgs);
    if (flag && LimitTraits::prohibitOnLimit)
        prohibitConvergence(d);
    record(d, currentValue, flag ? limited : currentValue, static_cast<int>(flag));
    return d->cacheLimitedValue;
}

void VXR_freeLimitCallDesc(void* desc)
{
    auto* d = static_cast<LimitCallDesc*>(desc);
    if (d)
        VXR_free(d->pArgs);
    VXR_free(d);
}

#if VXR_REVISION != 142
void VXR_setLimitState(double inputValue, double limitedValue, void* desc)
{
    auto* d = static_cast<LimitCallDesc*>(desc);
    if (d)
        record(d, inputValue, limitedValue, !(inputValue == limitedValue));
}

double VXR_getPrevLimitVal(void* desc)
{
    const auto* d = static_cast<const LimitCallDesc*>(desc);
    return d ? d->previousValue : 0.0;
}

double VXR_calcLimitCorrTerm(void* desc, double fprime)
{
    const auto* d = static_cast<const LimitCallDesc*>(desc);
    if (!d || !d->cacheLimitFlag)
        return 0.0;
    if (LimitTraits::derivativeThreshold && !(fabs(fprime) > 1e-100))
        return 0.0;
    prohibitConvergence(d);
    return (d->cacheInputValue - d->cacheLimitedValue) * fprime;
}
#endif

} // extern "C"
