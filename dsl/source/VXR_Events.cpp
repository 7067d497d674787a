// Analog events: initial and final steps decided by the loader, crossing and
// above events detected by the host (passed through), timers computed here
// with the step requests that land the simulator on their ticks, and the
// time of the last zero crossing of an expression.
#include <cmath>
#include <cstdarg>

#include "VXR_Operators.h"
#include "VXR_SupportLib.h"

#if VXR_REVISION != 142

namespace {

double timeOf(VXR_ContribLoader* ldr, [[maybe_unused]] VXR_DeviceInst* inst) {
    return ldr && ldr->pGetTime ? ldr->pGetTime(ldr VXR_LDR_INST(inst)) : 0.0;
}

double minStepOf(VXR_ContribLoader* ldr, [[maybe_unused]] VXR_DeviceInst* inst) {
    return ldr && ldr->pGetMinTimeStep ? ldr->pGetMinTimeStep(ldr VXR_LDR_INST(inst)) : 1e-16;
}

VXR_EventDesc* newEvent(VXR_DeviceInst* parent, VXR_EventTypeE type, size_t infoSize) {
    VXR_SimInterface* simIf = parent->pSimInterface;
    auto* ev = static_cast<VXR_EventDesc*>(VXR_calloc(1, sizeof(VXR_EventDesc), simIf, parent, nullptr));
    if (!ev) return nullptr;
    ev->pPrivateInfo = VXR_calloc(1, infoSize, simIf, parent, nullptr);
    if (!ev->pPrivateInfo) {
        VXR_free(ev);
        return nullptr;
    }
    ev->pParent = parent;
    ev->eventType = type;
    return ev;
}

VXR_EventDesc* newStepEvent(VXR_DeviceInst* parent, VXR_EventTypeE type, int argCount, va_list names) {
    VXR_EventDesc* ev = newEvent(parent, type, sizeof(VXR__xStepInfo));
    if (!ev) return nullptr;
    unsigned long mask = 0;
    if (argCount <= 0) mask = ~0ul;
    VXR_SimInterface* simIf = parent->pSimInterface;
    for (int i = 0; i < argCount; ++i) {
        const char* name = va_arg(names, const char*);
        mask |= simIf->pFormAnalysisQueryMask ? simIf->pFormAnalysisQueryMask(simIf, 1, name)
                                              : VXR_DefaultFormAnalysisQueryMask(simIf, 1, name);
    }
    static_cast<VXR__xStepInfo*>(ev->pPrivateInfo)->_eventMask = mask;
    return ev;
}

VXR_TimerInfo* timerOf(VXR_EventDesc* ev) { return static_cast<VXR_TimerInfo*>(ev->pPrivateInfo); }

// 1.87 bounds the next step; 1.60 names the absolute time.
void requestTimerStep(VXR_ContribLoader* ldr, [[maybe_unused]] VXR_DeviceInst* inst, [[maybe_unused]] double t,
                      double step) {
#if VXR_REVISION == 187
    if (ldr->pDoBoundStep) ldr->pDoBoundStep(step, BOUND_TIMER, ldr, inst);
#else
    if (ldr->pSetTranBreakPoint) ldr->pSetTranBreakPoint(t + step, ldr);
#endif
}

// Interpolated time at which the expression crossed zero between the last
// accepted point (Tp, P) and (t, F).
double crossingTime(double Tp, double P, double t, double F) { return Tp - P / ((F - P) / (t - Tp)); }

} // namespace

extern "C" {

// ---- Initial and final step ------------------------------------------------------

VXR_EventDesc* VXR_createSimEvent_initial_step(VXR_DeviceInst* pParent, int argCount, ...) {
    va_list ap;
    va_start(ap, argCount);
    VXR_EventDesc* ev = newStepEvent(pParent, VXR_EVT_INITIAL_STEP, argCount, ap);
    va_end(ap);
    return ev;
}

VXR_EventDesc* VXR_createSimEvent_final_step(VXR_DeviceInst* pParent, int argCount, ...) {
    va_list ap;
    va_start(ap, argCount);
    VXR_EventDesc* ev = newStepEvent(pParent, VXR_EVT_FINAL_STEP, argCount, ap);
    va_end(ap);
    return ev;
}

int VXR_eventSignal(VXR_EventDesc* ev, VXR_ContribLoader* ldr) {
    [[maybe_unused]] VXR_DeviceInst* parent = ev->pParent;
    const unsigned long mask = static_cast<VXR__xStepInfo*>(ev->pPrivateInfo)->_eventMask;
    if (!ldr->pGetAnalysisQueryMask || (mask & ldr->pGetAnalysisQueryMask(ldr VXR_LDR_INST(parent))) == 0)
        return 0;
    if (ev->eventType == VXR_EVT_INITIAL_STEP)
        return ldr->pIsInitialStep ? ldr->pIsInitialStep(ldr VXR_LDR_INST(parent)) : 0;
    if (ev->eventType == VXR_EVT_FINAL_STEP)
        return ldr->pIsFinalStep ? ldr->pIsFinalStep(ldr VXR_LDR_INST(parent)) : 0;
    return 0;
}

// ---- Crossing and above: the host detects them -----------------------------------

VXR_EventDesc* VXR_createSimEvent_cross(VXR_DeviceInst* pParent) {
    VXR_SimInterface* simIf = pParent->pSimInterface;
    return simIf->pCreateCrossEventDesc ? simIf->pCreateCrossEventDesc(pParent, simIf) : nullptr;
}

VXR_EventDesc* VXR_createSimEvent_above(VXR_DeviceInst* pParent) {
    VXR_EventDesc* ev = VXR_createSimEvent_cross(pParent);
    if (ev) ev->eventType = VXR_EVT_ABOVE;
    return ev;
}

int VXR_crossEventSignal(VXR_EventDesc* pEventDesc, double F, double dir, double timeTol, double exprTol,
                         double enableVal, int derivArraySize, StateVarPairT* derivStateVars, double* derivVals,
                         unsigned* derivIndices, double Foffset, VXR_CrossArgTypeE Ftype, int AMS_index,
                         VXR_ContribLoader* ldr) {
    if (!ldr->pCrossEventSignal) return 0;
    return ldr->pCrossEventSignal(pEventDesc, F, dir, timeTol, exprTol, enableVal, derivArraySize, derivStateVars,
                                  derivVals, derivIndices, Foffset, Ftype, AMS_index,
                                  ldr VXR_LDR_INST(pEventDesc->pParent));
}

int VXR_aboveEventSignal(VXR_EventDesc* pEventDesc, double F, double dir, double timeTol, double exprTol,
                         double enableVal, int derivArraySize, StateVarPairT* derivStateVars, double* derivVals,
                         unsigned* derivIndices, double Foffset, VXR_CrossArgTypeE Ftype, int AMS_index,
                         VXR_ContribLoader* ldr) {
    return VXR_crossEventSignal(pEventDesc, F, dir, timeTol, exprTol, enableVal, derivArraySize, derivStateVars,
                                derivVals, derivIndices, Foffset, Ftype, AMS_index, ldr);
}

void VXR_acceptSimEvent_cross(VXR_EventDesc* ev, VXR_ContribLoader* ldr) {
    if (ldr->pAcceptCross) ldr->pAcceptCross(ev, ldr VXR_LDR_INST(ev->pParent));
}

void VXR_acceptSimEvent_above(VXR_EventDesc* ev, VXR_ContribLoader* ldr) { VXR_acceptSimEvent_cross(ev, ldr); }

void VXR_resetSimEvent_cross(VXR_EventDesc* ev) {
    VXR_SimInterface* simIf = ev->pParent->pSimInterface;
    if (simIf->pResetCrossEvent) simIf->pResetCrossEvent(ev);
}

void VXR_resetSimEvent_above(VXR_EventDesc* ev) { VXR_resetSimEvent_cross(ev); }

void* VXR_saveSimEvent_cross(VXR_EventDesc* ev) {
    VXR_SimInterface* simIf = ev->pParent->pSimInterface;
    return simIf->pSaveCrossEvent ? simIf->pSaveCrossEvent(ev) : nullptr;
}

void VXR_restoreSimEvent_cross(VXR_EventDesc* ev, void* state) {
    VXR_SimInterface* simIf = ev->pParent->pSimInterface;
    if (simIf->pRestoreCrossEvent) simIf->pRestoreCrossEvent(ev, state);
}

// ---- Timer -----------------------------------------------------------------------

VXR_EventDesc* VXR_createSimEvent_timer(VXR_DeviceInst* pParent) {
    VXR_EventDesc* ev = newEvent(pParent, VXR_EVT_TIMER, sizeof(VXR_TimerInfo));
    if (!ev) return nullptr;
    VXR_TimerInfo* p = timerOf(ev);
    p->_stateInfo.eventStateType = VXR_EVT_TIMER;
    p->_stateInfo.sz = static_cast<int>(sizeof(VXR_TimerInfo));
    p->_cacheStartTime = -1.0;
    p->_cachePeriod = -1.0;
    p->_nextEventTime = -1.0;
    p->_prevEventTime = -1.0;
    return ev;
}

void VXR_resetSimEvent_timer(VXR_EventDesc* ev) {
    VXR_TimerInfo* p = timerOf(ev);
    p->_nextEventTime = p->_prevEventTime = p->_prevTime = -1.0;
    p->_change = 0;
    p->_warnStartChange = 0;
    p->_cacheIsValid = 0;
    p->_timerStarted = 0;
}

void nextTimerEvent(VXR_TimerInfo* p, double t) {
    const double period = p->_cachePeriod;
    if (period == 0.0) {
        p->_nextEventTime = p->_cacheStartTime;
        return;
    }
    double next;
    if (p->_prevEventTime == t) {
        next = (t == 0.0 ? p->_cacheStartTime : p->_nextEventTime) + period;
        p->_timerStarted = 1;
    } else {
        next = p->_timerStarted ? p->_nextEventTime : p->_cacheStartTime;
    }
    // Ticks at or before the last accepted point are skipped, counted
    // rather than stepped over one by one: a period below the spacing of
    // doubles at that time would never move the tick.
    if (p->_prevTime >= next) {
        const double skipped = std::floor((p->_prevTime - next) / period) + 1.0;
        next += skipped * period;
        for (int i = 0; i < 2 && p->_prevTime >= next; ++i) next += period;
        if (p->_prevTime >= next) next = std::nextafter(p->_prevTime, HUGE_VAL);
    }
    p->_nextEventTime = next;
}

int VXR_timerEventSignal(VXR_EventDesc* ev, double startTime, double period, double timeTol, double enableVal,
                         VXR_ContribLoader* ldr) {
    VXR_TimerInfo* p = timerOf(ev);
    VXR_DeviceInst* parent = ev->pParent;
    const double t = timeOf(ldr, parent);
    const double m = minStepOf(ldr, parent);
    const bool enabled = enableVal != 0.0;

    if (t - p->_prevTime < 0.0 && p->_timerStarted) {
        if (t == 0.0) {
            VXR_resetSimEvent_timer(ev);
        } else {
            const double dt = t - p->_prevTime;
            p->_prevTime += dt;
            p->_nextEventTime += dt;
            p->_prevEventTime += dt;
        }
    }
    p->_cacheIsValid = 1;
    if (!(startTime == p->_cacheStartTime)) {
        if (!p->_timerStarted) {
            p->_cacheStartTime = startTime;
            p->_change = 1;
        } else if (!p->_warnStartChange) {
            if constexpr (VXR_REVISION == 187)
                VXR_Message(parent->pSimInterface, parent, nullptr, MessageTypeE_WARNING,
                            "A change in the timer start value is ignored after a periodic timer has started.\n"
                            "    Future warnings will be suppressed. ");
            p->_warnStartChange = 1;
        }
    }
    p->_cachePeriod = period > 0.0 ? period : 0.0;
    p->_cacheTimeTol = timeTol;
    p->_cacheEnableVal = enabled ? 1.0 : 0.0;
    if (enabled) nextTimerEvent(p, t);

    // A start change put a tick between the last accepted point and now.
    if (t > 0.0 && p->_change && p->_nextEventTime > p->_prevTime && t - m > p->_nextEventTime &&
        p->_nextEventTime > 0.0 && ldr->pReportCrossViolation)
        ldr->pReportCrossViolation(p->_nextEventTime, nullptr, 0, ldr VXR_LDR_INST(parent));

    bool fired = false;
    if (t == 0.0)
        fired = enabled && -m <= startTime && startTime <= 0.0;
    else if (t > 0.0)
        fired = t >= p->_nextEventTime - (timeTol + 1e-12 * t) && p->_nextEventTime > p->_prevEventTime && enabled &&
                t > p->_prevEventTime;
    p->_cacheAcceptFlag = fired ? 1 : 0;
    return fired ? 1 : 0;
}

void VXR_acceptSimEvent_timer(VXR_EventDesc* ev, VXR_ContribLoader* ldr) {
    VXR_TimerInfo* p = timerOf(ev);
    VXR_DeviceInst* parent = ev->pParent;
    const double t = timeOf(ldr, parent);
    p->_prevTime = t;
    if (!p->_cacheIsValid) {
        p->_nextEventTime = p->_prevEventTime = -1.0;
        return;
    }
    if (p->_cacheAcceptFlag) p->_prevEventTime = t;
    if (p->_cacheEnableVal != 0.0) nextTimerEvent(p, t);
    // Bound the step so that it may reach the tick plus its tolerance.
    const double d = p->_nextEventTime + p->_cacheTimeTol - t;
    if (d > 1e-12 * t && ldr) requestTimerStep(ldr, parent, t, std::fmax(d, minStepOf(ldr, parent)));
    p->_change = 0;
    p->_cacheIsValid = 0;
}

// ---- Last crossing -----------------------------------------------------------------

VXR_LastCrossing* VXR_createLastCrossing(VXR_DeviceInst* pParent) {
    auto* p = static_cast<VXR_LastCrossing*>(
        VXR_malloc(sizeof(VXR_LastCrossing), pParent->pSimInterface, pParent, nullptr));
    if (!p) return nullptr;
    p->_pParent = pParent;
    // Defined before the first evaluation, which normally writes them.
    p->_prevExprVal = p->_cacheExprVal = 0.0;
    VXR_resetLastCrossing(p);
    return p;
}

void VXR_resetLastCrossing(VXR_LastCrossing* p) {
    p->_prevTime = p->_lastPosCrossing = p->_lastNegCrossing = -1.0;
}

double VXR_LastCrossingVal(VXR_LastCrossing* p, double F, double dir, VXR_ContribLoader* ldr) {
    const double t = timeOf(ldr, p->_pParent);
    p->_cacheExprVal = F;
    if (t <= 0.0) return -1.0;
    const double P = p->_prevExprVal;
    if ((P <= 0.0 && 0.0 < F && dir >= 0.0) || (F < 0.0 && 0.0 <= P && dir <= 0.0))
        return crossingTime(p->_prevTime, P, t, F);
    if (dir == 0.0) return std::fmax(p->_lastPosCrossing, p->_lastNegCrossing);
    return dir > 0.0 ? p->_lastPosCrossing : p->_lastNegCrossing;
}

void VXR_acceptLastCrossing(VXR_LastCrossing* p, VXR_ContribLoader* ldr) {
    const double t = timeOf(ldr, p->_pParent);
    const double x = p->_cacheExprVal;
    if (t > 0.0) {
        const double P = p->_prevExprVal;
        if (P <= 0.0 && 0.0 < x)
            p->_lastPosCrossing = crossingTime(p->_prevTime, P, t, x);
        else if (x < 0.0 && 0.0 <= P)
            p->_lastNegCrossing = crossingTime(p->_prevTime, P, t, x);
    }
    p->_prevTime = t;
    p->_prevExprVal = x;
}

void VXR_serializeLastCrossing(VXR_LastCrossing* p, FILE* f, VXR_SrlzDirE* pDir) {
    VXR_serializeDouble("p->_prevTime", &p->_prevTime, f, pDir);
    VXR_serializeDouble("p->_prevExprVal", &p->_prevExprVal, f, pDir);
    VXR_serializeDouble("p->_cacheExprVal", &p->_cacheExprVal, f, pDir);
    VXR_serializeDouble("p->_lastPosCrossing", &p->_lastPosCrossing, f, pDir);
    VXR_serializeDouble("p->_lastNegCrossing", &p->_lastNegCrossing, f, pDir);
}

} // extern "C"

#endif
