// Parameters: setters, reset from an assignment list, modify and get slots,
// range check. Everything derives from kParams.
#include "torvex_en.h"

#include <array>
#include <utility>

namespace torvex_en {
namespace {

using RealSetter = void (*)(VXR_DeviceInst*, int*, double);
using IntSetter = void (*)(VXR_DeviceInst*, int, int*);

void raise(int* rangeViolation)
{
    if (rangeViolation != nullptr) *rangeViolation = 1;
}

// Setter of the parameter in declaration row Row: given bit, recompute flag,
// value, then the range test (which only ever raises the caller's flag).
template <int Row>
void setRealParam(VXR_DeviceInst* inst, int* rangeViolation, double value)
{
    constexpr const ParamRow& p = kParams[Row];
    static_assert(p.type == kReal);
    Private* pr = priv(inst);
    setGiven(pr, p.index);
    pr->recompute = 1;
    pr->realParam[p.location] = value;
    if constexpr (p.range.kind == Range::Real)
        if (!torvex_core::realInRange(p.range, value)) raise(rangeViolation);
}

template <int Row>
void setIntParam(VXR_DeviceInst* inst, int value, int* rangeViolation)
{
    constexpr const ParamRow& p = kParams[Row];
    static_assert(p.type == kInt);
    Private* pr = priv(inst);
    setGiven(pr, p.index);
    pr->recompute = 1;
    pr->intParam[p.location] = value;
    if constexpr (p.range.kind == Range::IntSet)
        if (!torvex_core::intInRange(p.range, value)) raise(rangeViolation);
}

// Setter tables indexed by location.
template <int... L>
constexpr auto makeRealSetters(std::integer_sequence<int, L...>)
{
    return std::array<RealSetter, sizeof...(L)>{&setRealParam<torvex_en::rowOfLocation(kReal, L)>...};
}
template <int... L>
constexpr auto makeIntSetters(std::integer_sequence<int, L...>)
{
    return std::array<IntSetter, sizeof...(L)>{&setIntParam<torvex_en::rowOfLocation(kInt, L)>...};
}
constexpr auto kRealSetters = makeRealSetters(std::make_integer_sequence<int, kNumRealParams>{});
constexpr auto kIntSetters = makeIntSetters(std::make_integer_sequence<int, kNumIntParams>{});

bool storedValueInRange(const Private* pr, const ParamRow& p)
{
    return p.type == kReal ? torvex_core::realInRange(p.range, pr->realParam[p.location])
                           : torvex_core::intInRange(p.range, pr->intParam[p.location]);
}

} // namespace

// A location outside the table stores nothing and counts as a violation.
void modifyRealParam(VXR_DeviceInst* inst, int location, int* rangeViolation, double value)
{
    if (inst == nullptr) return;
    if (location < 0 || location >= kNumRealParams) {
        raise(rangeViolation);
        return;
    }
    kRealSetters[location](inst, rangeViolation, value);
    priv(inst)->recompute = 1;
}

void modifyIntParam(VXR_DeviceInst* inst, int location, int value, int* rangeViolation)
{
    if (inst == nullptr) return;
    if (location < 0 || location >= kNumIntParams) {
        raise(rangeViolation);
        return;
    }
    kIntSetters[location](inst, value, rangeViolation);
    priv(inst)->recompute = 1;
}

double getRealParam(VXR_DeviceInst* inst, int location)
{
    if (inst == nullptr || location < 0 || location >= kNumRealParams) return 0.0;
    return priv(inst)->realParam[location];
}

int getIntParam(VXR_DeviceInst* inst, int location)
{
    if (inst == nullptr || location < 0 || location >= kNumIntParams) return 0;
    return priv(inst)->intParam[location];
}

// Defaults for every parameter not in the list, given values for the others
// (a later assignment of the same name wins). The recompute flag is set so a
// reset of a live instance does not leave the next load on stale values.
void setParameters(VXR_DeviceInst* inst, int numAssignments, VXR_ParamAssn* assignments)
{
    if (inst == nullptr) return;
    Private* pr = priv(inst);
    int map[kNumParams];
    VXR_setupParamMap(inst, numAssignments, assignments, map);
    for (const ParamRow& p : kParams) {
        const bool given = map[p.index] >= 0;
        if (given)
            setGiven(pr, p.index);
        else
            clearGiven(pr, p.index);
        if (p.type == kReal)
            pr->realParam[p.location] = given ? VXR_initRealParam(inst, p.index, map, assignments) : p.def;
        else
            pr->intParam[p.location] =
                given ? VXR_initIntegerParam(inst, p.index, map, assignments) : static_cast<int>(p.def);
    }
    pr->recompute = 1;
}

// The module has no array parameters.
void checkArrayParamBounds(VXR_DeviceInst*, VXR_ErrorLog*) {}

void checkRangeAll(VXR_DeviceInst* inst, VXR_ErrorLog* log)
{
    if (inst == nullptr || log == nullptr || log->length >= log->maxLength) return;
    const Private* pr = priv(inst);
    for (const ParamRow& p : kParams) {
        if (p.range.kind == Range::None || storedValueInRange(pr, p)) continue;
        VXR_insertError(log, inst, p.name);
        if (log->length >= log->maxLength) return;
    }
    checkArrayParamBounds(inst, log);
}

} // namespace torvex_en
