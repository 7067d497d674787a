// The transient's step control: the time points a step lands on
// (breakpoints, source corners, the libraries' requests and events), the
// minimum step and the floor tied to the circuit's own time scale, the step's
// growth and cuts, the restart after a discontinuity, and the decisions that
// end a run whose step collapses.
#pragma once

#include "vxrhost/Analysis.h"
#include "vxrhost/TranMethod.h"

#include <string>
#include <vector>

namespace vxr {

// Relative rounding of a time: points closer than this (or than the
// minimum step) are one point.
constexpr double kTimeRounding = 1e-12;
// Relative rounding of a step: a step that ends within this fraction of
// itself from a point ends on it.
constexpr double kStepRounding = 1e-9;

// The run's minimum step.
double minimumStep(const TranSpec& setup);
// Whether two time points are one point: no step is planned between them.
bool samePoint(double a, double b, double minStep);
// Whether an accepted step h that ended at time ended on the point.
bool landsOn(double time, double point, double h, double minStep);

// What cut or held the transient's step last.
struct StepCut {
    enum Reason { NONE, TRUNCATION, NEWTON, EVENT, BREAKPOINT, BOUND } reason = NONE;
    int unknown = -1; // TRUNCATION: the unknown, its error and tolerance
    double err = 0.0, tol = 0.0;
    std::string newtonText; // NEWTON: Newton's failure text
    StepCut(Reason r = NONE, int u = -1, double e = 0.0, double t = 0.0) : reason(r), unknown(u), err(e), tol(t) {}
};

// A step's truncation error, from the difference of corrector and predictor
// over the unknowns that carry the integration's state.
struct TruncationError {
    bool estimated = false; // the history gave an estimate
    double ratio = 0.0;     // the largest error over its tolerance
    int worst = -1;         // the unknown of that ratio, its error and tolerance
    double err = 0.0, tol = 0.0;
    bool waived = false; // taken at the floor step although above its tolerance
};

// A step from the last accepted time.
struct PlannedStep {
    double h = 0.0;       // its size
    double tNew = 0.0;    // where it ends: the target itself when it reaches it
    double planned = 0.0; // the step asked for before a point held it
    bool heldByPoint = false; // cut short onto a print point or breakpoint
};

class StepController {
public:
    // Throws SimError when the run would need too many steps at its largest.
    StepController(Circuit& c, const TranSpec& setup);

    double minStep() const { return hmin_; }

    // The step requests the elements made in the pass that accepted the
    // time at: a bound on the next step, a corner to step onto next, and
    // breakpoints that stand until they are reached.
    void collectRequests(const EvalContext& ctx, double at);

    // The next point after time that a step must not cross (the stop time
    // when there is none before it); print points beyond tOut are not asked.
    double nextBreak(double time, double tOut) const;
    // The step from time toward the target (a breakpoint or a print point;
    // tBreak the next breakpoint). fresh: the integration has no history yet.
    // Throws SimError when it is below the minimum step.
    PlannedStep plan(double time, double target, double tBreak, bool fresh) const;
    // Counts a step tried; throws SimError beyond the run's limit.
    void countTry(double time, double h);
    long tried() const { return static_cast<long>(stepsTried_); }

    // Newton failed on the step h; secondOrder: it ran at second order, and
    // the next try is damped (first order), at the same step when it is small.
    void newtonFailed(std::string text, double h, bool secondOrder);
    // A library's event time (0: none) within the converged step h from
    // time: the step is tried again onto it. Returns whether it was.
    bool cutOntoEvent(double crossPoint, double time, double h);
    // The step's truncation error (method: its error constant and history).
    TruncationError truncationError(const IntegrationMethod& method, const std::vector<char>& stateful,
                                    const Eigen::VectorXd& xn, const Eigen::VectorXd& xp, const Eigen::VectorXd& x,
                                    const Eigen::VectorXd& q, double h) const;
    // The same with the error factor given (factor times corrector minus predictor).
    TruncationError truncationError(double factor, const IntegrationMethod& method, const std::vector<char>& stateful,
                                    const Eigen::VectorXd& xn, const Eigen::VectorXd& xp, const Eigen::VectorXd& x,
                                    const Eigen::VectorXd& q, double h) const;
    // Whether the error admits the step h taken at the order (sets e.waived
    // when it is admitted at the floor). A rejected step sets the next size;
    // damp: the next try runs at first order.
    bool admits(TruncationError& e, double h, int order, bool& damp);
    // After the evaluation that accepts the step from time to tNew: an event
    // the step passed over is retried onto, a bounded number of times.
    // Returns whether the step is retried.
    bool retryOntoEvent(double crossPoint, double time, double tNew);
    // The step s at the order, with its error, was accepted and now ends at
    // time. backToPlanned: a step held by a point may return to the step
    // planned before it. Returns whether it ended on the breakpoint tBreak:
    // the integration restarts there.
    bool accepted(double time, const PlannedStep& s, int order, const TruncationError& e, double tBreak,
                  bool backToPlanned);

    // The accepted step h is followed by a damped (first-order) one: its
    // size from e, the first-order error estimate of step h (at least half
    // of h), unless the step planned is smaller; it goes on to a point
    // within the step that estimate admits.
    void dampedNext(double h, const TruncationError& e);

private:
    double initialStep() const;
    [[noreturn]] void tooSmall(double time, double h, const StepCut& why) const;

    Circuit& c_;
    const TranSpec& setup_;
    std::vector<Element*> waveforms_; // the elements that may have breakpoints
    double hmax_ = 0.0;      // the largest step
    double hmin_ = 0.0;      // the minimum step
    double hfloor_ = 0.0;    // the smallest step that resolves the circuit
    double stepLimit_ = 0.0; // steps tried before the run stops
    double stepsTried_ = 0;
    double h_ = 0.0; // the next step asked for
    double dampedReach_ = 0.0; // a damped next step may end on a point this far away (0: none)
    // Why the step was last cut, for the message when it becomes too small
    // or the run takes too many steps.
    StepCut cut_;
    // The libraries' requests.
    double requestedBound_ = 0.0;
    double corner_ = -1.0;
    std::vector<double> pending_;
    double eventTarget_ = -1.0; // a passed-over event time the step is retried onto
    int eventRetries_ = 0;
};

} // namespace vxr
