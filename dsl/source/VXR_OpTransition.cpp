// Transition operator computed in the library: a piecewise-constant input
// becomes a piecewise-linear output. Input changes seen at accepted points
// are scheduled as pending events; a due event starts (or bends) the ramp,
// and the host is asked to step onto each corner of the waveform.
#include <cmath>

#include "VXR_Operators.h"
#include "VXR_ParamsData.h"
#include "VXR_SupportLib.h"

#if VXR_REVISION != 142

namespace {

// How each revision asks the host for a time point: 1.87 bounds the next
// step, 1.60 names an absolute breakpoint.
struct StepRequest {
    static void at(VXR_ContribLoader* ldr, [[maybe_unused]] VXR_DeviceInst* inst, [[maybe_unused]] double t,
                   double step, [[maybe_unused]] VXR_BoundTypeE type) {
#if VXR_REVISION == 187
        if (ldr->pDoBoundStep) ldr->pDoBoundStep(step, type, ldr, inst);
#else
        if (ldr->pSetTranBreakPoint) ldr->pSetTranBreakPoint(t + step, ldr);
#endif
    }
};

constexpr int kMaxNumBreak = 100;
constexpr double kNoMinStep = 1e-16; // step tolerance of a loader without pGetMinTimeStep

VXR_TransitionSpec* specOf(VXR_OpBranch_transition* op) {
    return static_cast<VXR_TransitionSpec*>(op->_pTransitionState);
}

void freeSpecOf(VXR_OpBranch_transition* op) {
    if (VXR_TransitionSpec* p = specOf(op)) freeTransitionSpec(&p->_opState);
    op->_pTransitionState = nullptr;
}

double timeOf(VXR_ContribLoader* ldr, [[maybe_unused]] VXR_DeviceInst* inst) {
    return ldr && ldr->pGetTime ? ldr->pGetTime(ldr VXR_LDR_INST(inst)) : 0.0;
}

// A host value as the flag it stands for: nonzero after truncation to int
// (NaN and values beyond int count as set).
bool disabled(const VXR_TransitionSpec* p, VXR_DeviceInst* parent) {
    return p->_pDisable && p->_pDisable->pGetValue &&
           VXR_truncToIntChecked(p->_pDisable->pGetValue(parent, 0.0)) != 0;
}

// A rise or fall time that is not positive is replaced (NaN stays): by the
// operator's default, else by ten minimum steps of the loader, which marks
// the ramp as one that asks for no step bound.
double substituteDefault(const VXR_OpBranch_transition* op, double time, VXR_ContribLoader* ldr,
                         int* zeroDefault) {
    if (!(time <= 0.0)) return time;
    if (op->_defaultTransition > 0.0) {
        *zeroDefault = 0;
        return op->_defaultTransition;
    }
    if (ldr && ldr->pGetMinTimeStep) {
        *zeroDefault = 1;
        const double m = ldr->pGetMinTimeStep(ldr VXR_LDR_INST(op->_pParent));
        return m > 0.0 ? 10.0 * m : 0.0;
    }
    *zeroDefault = 0;
    return 0.0;
}

void fillEvent(VXR_TransitionEvent* e, const VXR_TransitionSpec* p, double start) {
    e->_targetVal = p->_cacheExprVal;
    e->_evtStartTime = start;
    e->_evtRiseTime = p->_cacheRiseTime;
    e->_evtFallTime = p->_cacheFallTime;
    e->_timeTol = p->_cacheTimeTol;
    e->_type = p->_type;
}

VXR_TransitionEvent* newEvent(VXR_TransitionSpec* p) {
    auto* e = static_cast<VXR_TransitionEvent*>(VXR_malloc(sizeof(VXR_TransitionEvent), p->_pSimInterface,
                                                            nullptr, nullptr));
    if (e) e->_pNext = nullptr;
    return e;
}

void freeChain(VXR_TransitionEvent* e) {
    while (e) {
        VXR_TransitionEvent* next = e->_pNext;
        VXR_free(e);
        e = next;
    }
}

// A change starting at `start` cancels every pending event that starts at or
// after it; cancelled nodes stay behind the last pending one as spares.
void scheduleInsert(VXR_TransitionSpec* p, double start) {
    VXR_TransitionEvent* first = p->_pPendingFirst;
    VXR_TransitionEvent* last = p->_pPendingLast;
    VXR_TransitionEvent* node;
    if (!first) {
        node = p->_pRepository ? p->_pRepository : newEvent(p);
        if (!node) return; // reported by the allocator; the change is dropped
        p->_pRepository = nullptr;
        p->_pPendingFirst = node;
    } else if (first->_evtStartTime >= start) {
        node = first;
    } else if (start > last->_evtStartTime) {
        node = last->_pNext;
        if (!node) {
            node = newEvent(p);
            if (!node) return;
            last->_pNext = node;
        }
    } else if (first == last) {
        node = first; // only an unordered (NaN) start time gets here
    } else {
        node = first->_pNext;
        while (node != last && !(node->_evtStartTime >= start)) node = node->_pNext;
    }
    fillEvent(node, p, start);
    p->_pPendingLast = node;
}

// A due event bends a running ramp: a reversal keeps the slope of a full
// ramp from the old destination to the new target, a ramp in the same
// direction restarts from the present value with the full ramp time.
void interruptRamp(VXR_TransitionSpec* p, const VXR_TransitionEvent* e, double t) {
    const double c = p->_cacheOpVal;
    const double D = p->_destination;
    const double T = e->_targetVal;
    const int oldDir = D >= c ? 1 : -1;
    const int newDir = T >= c ? 1 : -1;
    const double r0 = T >= c ? e->_evtRiseTime : e->_evtFallTime;
    const double from = oldDir == newDir ? c : D;
    if (r0 <= 0.0) {
        p->_origin = from;
        p->_destination = T;
        p->_stopTime = t;
    } else {
        const double slope = (T - from) / r0;
        if (slope == 0.0) {
            p->_origin = from;
            p->_destination = c;
            p->_stopTime = t;
        } else {
            const double r = (T - c) / slope;
            if (r < 0.0) {
                p->_origin = c;
                p->_destination = c;
                p->_stopTime = t;
            } else {
                p->_origin = from;
                p->_destination = T;
                p->_stopTime = t + r;
            }
        }
    }
    p->_startTime = e->_evtStartTime;
    p->_type = e->_type;
}

// The first pending event becomes the current transition; its node moves
// behind the last pending one (or, with the list emptied, the whole chain
// is parked in the repository).
void startDueEvent(VXR_TransitionSpec* p, double t, double m) {
    VXR_TransitionEvent* e = p->_pPendingFirst;
    if (t > 0.0 && p->_startTime >= 0.0 && t >= p->_startTime && t < p->_stopTime - m) {
        interruptRamp(p, e, t);
    } else {
        const double ramp = e->_targetVal > p->_prevOpVal ? e->_evtRiseTime : e->_evtFallTime;
        p->_startTime = e->_evtStartTime;
        p->_stopTime = e->_evtStartTime + ramp;
        p->_origin = p->_destination;
        p->_destination = e->_targetVal;
        p->_type = e->_type;
    }
    if (e == p->_pPendingLast) {
        p->_pRepository = e;
        p->_pPendingFirst = nullptr;
        p->_pPendingLast = nullptr;
    } else {
        p->_pPendingFirst = e->_pNext;
        e->_pNext = p->_pPendingLast->_pNext;
        p->_pPendingLast->_pNext = e;
    }
}

bool changed(double E, double P) {
    const double d = std::fabs(E - P);
    const double M = std::fmax(std::fabs(E), std::fabs(P));
    return !(d <= 1e-10 + 1e-10 * M);
}

} // namespace

extern "C" {

// ---- State record ----------------------------------------------------------------

VXR_TransitionSpec* createTransitionSpec(VXR_SimInterface* simIf, VXR_DeviceInst* inst) {
    auto* p = static_cast<VXR_TransitionSpec*>(VXR_calloc(1, sizeof(VXR_TransitionSpec), simIf, nullptr, nullptr));
    if (!p) return nullptr;
    p->_opState.opStateType = VXR_TRANSITION_SPEC;
    p->_opState.pSerializeSelf = serializeTransitionSpec;
    p->_opState.pFreeSelf = freeTransitionSpec;
    p->_startTime = -1.0;
    p->_prevTime = -1.0;
    p->_pSimInterface = simIf;
    p->_pSourceScale = VXR_getSimParamCallback(inst, "_transitionSourceScale");
    p->_pDisable = VXR_getSimParamCallback(inst, "_transitionDisable");
    return p;
}

VXR_TransitionSpec* copyTransitionSpec(const VXR_TransitionSpec* src) {
    if (!src) return nullptr;
    auto* p = static_cast<VXR_TransitionSpec*>(
        VXR_calloc(1, sizeof(VXR_TransitionSpec), src->_pSimInterface, nullptr, nullptr));
    if (!p) return nullptr;
    *p = *src;
    p->_pPendingFirst = p->_pPendingLast = p->_pRepository = nullptr;
    VXR_TransitionEvent** tail = &p->_pPendingFirst;
    VXR_TransitionEvent* lastCopy = nullptr;
    bool pastLast = false;
    for (const VXR_TransitionEvent* e = src->_pPendingFirst; e; e = e->_pNext) {
        auto* c = static_cast<VXR_TransitionEvent*>(
            VXR_calloc(1, sizeof(VXR_TransitionEvent), src->_pSimInterface, nullptr, nullptr));
        if (!c) break; // reported; the copy keeps the nodes made so far
        *c = *e;
        c->_pNext = nullptr;
        *tail = c;
        tail = &c->_pNext;
        if (!pastLast) lastCopy = c;
        if (e == src->_pPendingLast) pastLast = true;
    }
    p->_pPendingLast = p->_pPendingFirst ? lastCopy : nullptr;
    return p;
}

void freeTransitionSpec(VXR_GenericOperatorState* state) {
    auto* p = reinterpret_cast<VXR_TransitionSpec*>(state);
    if (!p) return;
    freeChain(p->_pPendingFirst);
    freeChain(p->_pRepository);
    VXR_free(p);
}

void serializeTransitionEvent(VXR_TransitionEvent* e, FILE* f, VXR_SrlzDirE* pDir) {
    VXR_serializeDouble("p->_targetVal", &e->_targetVal, f, pDir);
    VXR_serializeDouble("p->_evtStartTime", &e->_evtStartTime, f, pDir);
    VXR_serializeDouble("p->_evtRiseTime", &e->_evtRiseTime, f, pDir);
    VXR_serializeDouble("p->_evtFallTime", &e->_evtFallTime, f, pDir);
    VXR_serializeDouble("p->_timeTol", &e->_timeTol, f, pDir);
    VXR_serializeInt("p->_type", &e->_type, f, pDir);
}

void serializeTransitionSpec(VXR_GenericOperatorState* state, FILE* f, VXR_SrlzDirE* pDir) {
    auto* p = reinterpret_cast<VXR_TransitionSpec*>(state);
    VXR_serializeMarker("Transition Begin", f, pDir);
    VXR_serializeDouble("p->_cacheExprVal", &p->_cacheExprVal, f, pDir);
    VXR_serializeDouble("p->_cacheDelay", &p->_cacheDelay, f, pDir);
    VXR_serializeDouble("p->_cacheRiseTime", &p->_cacheRiseTime, f, pDir);
    VXR_serializeDouble("p->_cacheFallTime", &p->_cacheFallTime, f, pDir);
    VXR_serializeDouble("p->_cacheTimeTol", &p->_cacheTimeTol, f, pDir);
    VXR_serializeInt("p->_numBreak", &p->_numBreak, f, pDir);
    VXR_serializeInt("p->_type", &p->_type, f, pDir);
    VXR_serializeDouble("p->_cacheOpVal", &p->_cacheOpVal, f, pDir);
    VXR_serializeDouble("p->_startTime", &p->_startTime, f, pDir);
    VXR_serializeDouble("p->_stopTime", &p->_stopTime, f, pDir);
    VXR_serializeDouble("p->_origin", &p->_origin, f, pDir);
    VXR_serializeDouble("p->_destination", &p->_destination, f, pDir);
    VXR_serializeDouble("p->_prevTime", &p->_prevTime, f, pDir);
    VXR_serializeDouble("p->_prevExprVal", &p->_prevExprVal, f, pDir);
    VXR_serializeDouble("p->_prevOpVal", &p->_prevOpVal, f, pDir);
    VXR_serializeMarker("Transition List", f, pDir);

    if (*pDir == SRLZ_TO_FILE) {
        int count = 0, ixLast = -1;
        for (VXR_TransitionEvent* e = p->_pPendingFirst; e; e = e->_pNext) {
            if (e == p->_pPendingLast) ixLast = count;
            ++count;
        }
        VXR_serializeInt("numOfTransitionEvents", &count, f, pDir);
        VXR_serializeInt("ixPendingLast", &ixLast, f, pDir);
        for (VXR_TransitionEvent* e = p->_pPendingFirst; e; e = e->_pNext) serializeTransitionEvent(e, f, pDir);
        return;
    }
    if (*pDir != SRLZ_FROM_FILE) return;

    freeChain(p->_pPendingFirst);
    freeChain(p->_pRepository);
    p->_pPendingFirst = p->_pPendingLast = p->_pRepository = nullptr;
    int count = 0, ixLast = -1;
    VXR_serializeInt("numOfTransitionEvents", &count, f, pDir);
    VXR_serializeInt("ixPendingLast", &ixLast, f, pDir);
    // The stream's counts are checked before anything is allocated for them:
    // a list with nodes has a last pending one among them.
    constexpr long long kEventBytes = 5 * 8 + 4;
    const bool countsOk = count == 0 ? ixLast == -1 : (count > 0 && ixLast >= 0 && ixLast < count);
    if (*pDir == SRLZ_FROM_FILE &&
        (!countsOk || !VXR_serializedLengthPlausible(static_cast<long long>(count) * kEventBytes, f)))
        *pDir = SRLZ_ERROR;
    VXR_TransitionEvent** tail = &p->_pPendingFirst;
    VXR_TransitionEvent* last = nullptr;
    for (int i = 0; i < count && *pDir == SRLZ_FROM_FILE; ++i) {
        auto* e = static_cast<VXR_TransitionEvent*>(
            VXR_calloc(1, sizeof(VXR_TransitionEvent), p->_pSimInterface, nullptr, nullptr));
        if (!e) {
            *pDir = SRLZ_ERROR;
            break;
        }
        *tail = e;
        tail = &e->_pNext;
        serializeTransitionEvent(e, f, pDir);
        if (i == ixLast) last = e;
    }
    if (*pDir == SRLZ_FROM_FILE) {
        p->_pPendingLast = last;
    } else {
        // A list read in part is dropped: nothing pending.
        freeChain(p->_pPendingFirst);
        p->_pPendingFirst = nullptr;
    }
}

// ---- Operator ----------------------------------------------------------------------

VXR_OpBranch_transition* VXR_createOpBranch_transition(const char* name, VXR_DeviceInst* parent,
                                                       double defaultTransition) {
    VXR_SimInterface* simIf = parent->pSimInterface;
    auto* op = static_cast<VXR_OpBranch_transition*>(
        VXR_calloc(1, sizeof(VXR_OpBranch_transition), simIf, parent, name));
    if (!op) return nullptr;
    op->_name = name;
    op->_pParent = parent;
    op->_defaultTransition = defaultTransition;
    op->_pTransitionState = createTransitionSpec(simIf, parent);
    return op;
}

void VXR_transitionSetArg(VXR_OpBranch_transition* pOp, double F, double delay, double riseTime, double fallTime,
                          double timeTol, VXR_ContribLoader* ldr) {
    VXR_TransitionSpec* p = specOf(pOp);
    VXR_DeviceInst* parent = pOp->_pParent;
    int zeroDefault = 0;
    riseTime = substituteDefault(pOp, riseTime, ldr, &zeroDefault);
    fallTime = substituteDefault(pOp, fallTime, ldr, &zeroDefault);
    if (!p) { // no waveform after a failed allocation: follow the input
        pOp->_val = F;
        pOp->_derivCoeff = 1.0;
        return;
    }
    const double t = timeOf(ldr, parent);
    const bool active = p->_initDone && t > 0.0;
    p->_cacheExprVal = F;
    p->_cacheDelay = delay;
    p->_cacheRiseTime = riseTime;
    p->_cacheFallTime = fallTime;
    p->_cacheTimeTol = timeTol;
    p->_zeroDefault = zeroDefault;

    if (!active || disabled(p, parent)) {
        double s = 1.0;
        if (p->_pSourceScale && p->_pSourceScale->pGetValue) s = p->_pSourceScale->pGetValue(nullptr, 1.0);
        pOp->_val = F * s;
        pOp->_derivCoeff = s;
        return;
    }

    double y;
    double coeff = 0.0;
    if (delay == 0.0 && ((F > p->_prevExprVal && riseTime == 0.0) || (F < p->_prevExprVal && fallTime == 0.0))) {
        y = F;
        coeff = 1.0;
    } else {
        const double dt = t - p->_prevTime;
        if (dt < 0.0) { // time went back before the last accepted point: the waveform moves with it
            p->_prevTime += dt;
            p->_startTime += dt;
            p->_stopTime += dt;
            if (p->_pPendingFirst) p->_pPendingFirst->_evtStartTime += dt;
        }
        if (p->_startTime <= t && t <= p->_stopTime) {
            const double span = p->_stopTime - p->_prevTime;
            if (std::fabs(span) <= 1e-15 * t) {
                y = p->_prevOpVal;
            } else {
                // The ramp runs from the output at the last accepted point
                // to (stop time, destination).
                const double slope = (p->_destination - p->_prevOpVal) / span;
                y = p->_prevOpVal + (t - p->_prevTime) * slope;
                if (slope > 0.0 && y > p->_destination) y = p->_destination;
                if (slope < 0.0 && y < p->_destination) y = p->_destination;
            }
        } else {
            y = p->_destination;
        }
    }
    p->_cacheOpVal = y;
    pOp->_val = y;
    pOp->_derivCoeff = coeff;
}

void VXR_transitionAcceptTimePoint(VXR_OpBranch_transition* op, VXR_ContribLoader* ldr) {
    VXR_TransitionSpec* p = specOf(op);
    if (!p) return;
    VXR_DeviceInst* parent = op->_pParent;
    const double t = timeOf(ldr, parent);
    if (t == 0.0 || disabled(p, parent) || !p->_initDone) {
        p->_prevTime = t;
        p->_origin = p->_destination = p->_prevOpVal = p->_prevExprVal = p->_cacheExprVal;
        p->_initDone = 1;
        return;
    }
    const double m = ldr && ldr->pGetMinTimeStep ? ldr->pGetMinTimeStep(ldr VXR_LDR_INST(parent)) : kNoMinStep;

    if (!changed(p->_cacheExprVal, p->_prevExprVal)) {
        p->_numBreak = 0;
    } else {
        // The first two consecutive changes are large; later ones by size.
        const double d = std::fabs(p->_cacheExprVal - p->_prevExprVal);
        const double M = std::fmax(std::fabs(p->_cacheExprVal), std::fabs(p->_prevExprVal));
        p->_type = (p->_numBreak <= 1 || d > 0.1 * M + 0.1) ? 2 : 1;
        if (p->_numBreak < kMaxNumBreak) ++p->_numBreak;
        scheduleInsert(p, t + p->_cacheDelay);
    }

    if (p->_pPendingFirst && t >= p->_pPendingFirst->_evtStartTime - 0.49 * m) startDueEvent(p, t, m);
    if (t > p->_stopTime) {
        p->_startTime = -1.0;
        p->_stopTime = 0.0;
    }
    p->_prevExprVal = p->_cacheExprVal;
    p->_prevOpVal = p->_cacheOpVal;
    p->_prevTime = t;

    if (!ldr) return;
    if (p->_pPendingFirst && p->_cacheDelay > 0.0 && p->_pPendingFirst->_evtStartTime - t > 0.0)
        StepRequest::at(ldr, parent, t, std::fmax(p->_pPendingFirst->_evtStartTime - t, m), BOUND_START_TRANSITION);
    const double R = p->_stopTime - t;
    if (p->_startTime >= 0.0 && t >= p->_startTime - 0.49 * m && R > 0.0 && p->_zeroDefault == 0 && p->_type == 2) {
        // Past the first fifth of the ramp the bound is a partial one.
        const VXR_BoundTypeE type =
            0.8 * (p->_stopTime - p->_startTime) > R ? BOUND_PARTIAL_TRANSITION : BOUND_TRANSITION;
        StepRequest::at(ldr, parent, t, std::fmax(R, m), type);
    }
}

void* VXR_transitionSaveState(VXR_OpBranch_transition* op) { return copyTransitionSpec(specOf(op)); }

void VXR_transitionRestoreState(VXR_OpBranch_transition* op, void* state) {
    if (!state) return;
    VXR_TransitionSpec* copy = copyTransitionSpec(static_cast<const VXR_TransitionSpec*>(state));
    if (!copy) return; // reported; the present waveform stays
    // The restored waveform counts as initialised; the saved record itself
    // is left as it was, so every restore from it starts alike.
    copy->_initDone = 1;
    freeSpecOf(op);
    op->_pTransitionState = copy;
}

void VXR_transitionReset(VXR_OpBranch_transition* op) {
    freeSpecOf(op);
    op->_pTransitionState = createTransitionSpec(op->_pParent->pSimInterface, op->_pParent);
}

void VXR_destroyOpBranch_transition(VXR_OpBranch_transition* op) {
    if (!op) return;
    freeSpecOf(op);
    VXR_free(op);
}

void VXR_transitionFinalizeTopology(VXR_OpBranch_transition*, void*) {}
void VXR_transitionSetStamp(VXR_OpBranch_transition*, void*) {}
void VXR_transitionGenericLoad(VXR_OpBranch_transition*, VXR_ContribLoader*) {}
void VXR_transitionGenericLoadRHS(VXR_OpBranch_transition*, VXR_ContribLoader*) {}
void VXR_reportNoiseContribForOp_transition(VXR_OpBranch_transition*, int, void*) {}
void VXR_addNoiseForOp_transition(VXR_NoiseSrc*, VXR_OpBranch_transition*, double, VXR_ContribLoader*) {}

void VXR_setTransitionCustomInfo(void* state, void* info) {
    if (state) static_cast<VXR_TransitionSpec*>(state)->_pCustomInfo = info;
}

void* VXR_getTransitionCustomInfo(void* state) {
    return state ? static_cast<VXR_TransitionSpec*>(state)->_pCustomInfo : nullptr;
}

} // extern "C"

#endif
