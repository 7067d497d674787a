// The host's transition and slew objects of interface revision 1.42: the
// library hands them its operator's input on every load and the host
// deposits the waveform into the operator's branch row. The library sees
// only the operator-state header at an object's start.
//
// Transition: piecewise-linear. An input change seen at an accepted point t
// starts a ramp at t + delay (a change with a start at or before a pending
// one cancels it) from the output at that time, over the rise or the fall
// time; the host is asked to step onto every ramp's start and end. Static
// and small-signal passes, and the initial transient point, pass the input
// through with slope 1. A ramp time of 0 without delay follows the input.
//
// Slew: between accepted points the output moves towards the input at most
// posSlew (> 0) up and negSlew (< 0) down per second; a bound of the wrong
// sign leaves that direction unlimited. Slope 1 where it follows the input.
#pragma once

#include <vector>

namespace vxr {

// What a load or accept needs from the pass in progress.
struct WaveformPass {
    double time = 0.0;
    bool active = false;                  // a transient point after the initial one
    double minStep = 0.0;
    std::vector<double>* breaks = nullptr; // where the host must land (absolute times)
};

void* makeTransitionObject();
void* makeSlewObject();
// An independent copy (a saved state), or NULL for NULL.
void* copyWaveformObject(void* object);
void freeWaveformObject(void* object);

// Output of the pass; waveformSlope gives its derivative with respect to the input.
double loadTransition(void* object, const WaveformPass& pass, double F, double delay, double riseTime,
                      double fallTime);
double loadSlew(void* object, const WaveformPass& pass, double F, double posSlew, double negSlew);
double waveformSlope(const void* object);
// Commits the accepted point (transient passes only).
void acceptWaveform(void* object, const WaveformPass& pass);

} // namespace vxr
