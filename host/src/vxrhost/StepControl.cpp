#include "vxrhost/StepControl.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vxr {

namespace {

// The largest step when .tran gives none: the print step, or the run over
// this many steps when that is shorter.
constexpr double kLeastStepsPerRun = 50.0;
// The minimum step as a fraction of the run.
constexpr double kMinStepFraction = 1e-15;
// The step after the start or a restart, as a fraction of the print step
// (or of the largest step when that is smaller).
constexpr double kInitialStepDivisor = 100.0;
// The smallest step that still resolves the circuit, as a fraction of its
// shortest time scale; below it the truncation error does not cut the step.
constexpr double kResolvedFraction = 1e-4;
// The floor and the first step after a restart are at least this many
// minimum steps.
constexpr double kShortestStepInMinSteps = 2.0;
// The first step after a restart takes at most this fraction of the way to
// the next breakpoint.
constexpr double kFirstStepFraction = 0.1;
// A step that would end within this fraction of itself short of the target
// is stretched onto the target.
constexpr double kStretch = 0.01;
// Steps tried before the run stops, when .options tranlimit gives none: this
// many plus kStepsPerLargestStep for every largest step of the run.
constexpr double kBaseStepLimit = 1e6;
constexpr double kStepsPerLargestStep = 50.0;
// An error this many times its tolerance at the floor step is a tolerance
// that no step meets, not a fast mode: the step is cut further.
constexpr double kWaivedErrorLimit = 1e12;
// A Newton failure at second order and a step up to this many floor steps is
// retried with the damped method before the step is cut.
constexpr double kDampedRetry = 1.0;
// A Newton failure cuts the step by this factor.
constexpr double kNewtonCut = 8.0;
// The next step from the truncation error: its safety factor, the smallest
// error ratio it is computed from, and its bounds (a rejected step is cut to
// no less than kLargestCut of itself, an accepted one grows between
// kSmallestGrowth and kLargestGrowth times).
constexpr double kSafety = 0.9;
constexpr double kSmallestRatio = 1e-12;
constexpr double kLargestCut = 0.1;
constexpr double kSmallestGrowth = 0.5;
constexpr double kLargestGrowth = 2.0;
// A damped step's first-order error estimate below this share of its
// tolerance leaves the second-order plan alone.
constexpr double kDampedPlanShare = 0.5;
// Tries of a step onto an event it passed over before the step is taken.
constexpr int kMaxEventRetries = 20;

// The step that meets the error ratio at the order, relative to the step that gave it.
double errorScale(double ratio, int order) {
    return kSafety * std::pow(std::max(ratio, kSmallestRatio), -1.0 / (order + 1));
}

// The cause in a step message.
std::string cutText(const Circuit& c, const StepCut& cut) {
    switch (cut.reason) {
    case StepCut::TRUNCATION: {
        char buf[96];
        std::snprintf(buf, sizeof buf, ": truncation error %.3g, tolerance %.3g", cut.err, cut.tol);
        return "worst: " + unknownLabel(c, cut.unknown) + buf;
    }
    case StepCut::NEWTON: return "cut by Newton failures: " + cut.newtonText;
    case StepCut::EVENT: return "cut onto a library's event";
    case StepCut::BREAKPOINT: return "held by a breakpoint";
    case StepCut::BOUND: return "held by a library's step bound";
    case StepCut::NONE: break;
    }
    return "no cut";
}

} // namespace

double minimumStep(const TranSpec& setup) { return setup.tstop * kMinStepFraction; }

bool samePoint(double a, double b, double minStep) {
    return std::abs(a - b) <= std::max(minStep, kTimeRounding * std::max(std::abs(a), std::abs(b)));
}

bool landsOn(double time, double point, double h, double minStep) {
    return samePoint(time, point, minStep) || std::abs(time - point) <= kStepRounding * h;
}

StepController::StepController(Circuit& c, const TranSpec& setup) : c_(c), setup_(setup) {
    const Options& o = c.options();
    hmax_ = setup.tmax > 0 ? setup.tmax : std::min(setup.tstep, setup.tstop / kLeastStepsPerRun);
    // Steps tried, rejected ones included: a circuit that keeps the step
    // near its minimum stops with an error instead of running on.
    stepLimit_ = o.tranStepLimit > 0 ? static_cast<double>(o.tranStepLimit)
                                     : kBaseStepLimit + kStepsPerLargestStep * std::ceil(setup.tstop / hmax_);
    hmin_ = minimumStep(setup);
    // The circuit's own time scale: the print step, the largest step and the
    // shortest segment of a source's waveform. A step below a small fraction
    // of it resolves nothing the circuit does; what still asks for one is a
    // mode far faster than the circuit, which the damped method follows.
    double timeScale = std::min(setup.tstep, hmax_);
    for (auto& e : c.elements())
        if (e->hasBreakpoints()) waveforms_.push_back(e.get());
    for (Element* e : waveforms_) {
        std::vector<double> corners;
        e->breakpoints(0.0, setup.tstop, corners);
        std::sort(corners.begin(), corners.end());
        for (size_t k = 1; k < corners.size(); ++k)
            if (corners[k] - corners[k - 1] > kTimeRounding * corners[k]) timeScale = std::min(timeScale, corners[k] - corners[k - 1]);
    }
    hfloor_ = std::max(kResolvedFraction * timeScale, kShortestStepInMinSteps * hmin_);
    h_ = initialStep();
}

double StepController::initialStep() const { return std::min(hmax_, setup_.tstep) / kInitialStepDivisor; }

void StepController::collectRequests(const EvalContext& ctx, double at) {
    requestedBound_ = ctx.boundStep;
    corner_ = ctx.cornerStep > 0 ? at + ctx.cornerStep : -1.0;
    for (double b : ctx.breakRequests) pending_.push_back(b);
}

double StepController::nextBreak(double time, double tOut) const {
    std::vector<double> bps;
    // Later ones cannot be the target; one that is a rounding error past
    // the print point is one point with it.
    const double horizon = tOut + std::max(hmin_, kTimeRounding * tOut);
    for (Element* e : waveforms_) e->breakpoints(time, horizon, bps);
    for (double b : pending_)
        if (b > time) bps.push_back(b);
    if (corner_ > time) bps.push_back(corner_);
    if (eventTarget_ > time) bps.push_back(eventTarget_);
    double tBreak = setup_.tstop;
    for (double b : bps)
        if (b > time && !samePoint(b, time, hmin_)) tBreak = std::min(tBreak, b);
    return tBreak;
}

PlannedStep StepController::plan(double time, double target, double tBreak, bool fresh) const {
    const double planned = std::min(h_, hmax_);
    double hh = std::min(planned, target - time);
    StepCut::Reason heldBy = target - time < planned ? StepCut::BREAKPOINT : StepCut::NONE;
    // A damped step goes on to the point when its error estimate admits the
    // step there (its size carries the safety factor; reaching the point
    // saves the sliver after it).
    if (target - time > hh && target - time <= std::min(dampedReach_, hmax_)) hh = target - time;
    // The first step after the start or a discontinuity has no history
    // for a truncation-error estimate: it takes at most a fraction of the
    // way to the next breakpoint, so that a source's fast first segment
    // is not crossed in one or two unchecked steps (a segment of a few
    // minimum steps still gets steps of twice the minimum).
    if (fresh && tBreak < setup_.tstop)
        hh = std::min(hh, std::max(kFirstStepFraction * (tBreak - time), kShortestStepInMinSteps * hmin_));
    if (requestedBound_ > 0 && requestedBound_ < hh) {
        hh = requestedBound_;
        heldBy = StepCut::BOUND;
    }
    // A step just short of the target is stretched onto it, unless a
    // bound forbids; no step leaves less than the minimum step to the target.
    const double rest = target - (time + hh);
    if (rest < std::max(kStretch * hh, hmin_)) {
        if (!(requestedBound_ > 0 && target - time > requestedBound_) || rest < hmin_) hh = target - time;
    }
    if (hh < hmin_) tooSmall(time, hh, heldBy == StepCut::NONE ? cut_ : StepCut(heldBy));
    // A step that ends on the target lands on it exactly, so that a
    // requested corner or breakpoint is itself the accepted time.
    return {hh, hh == target - time ? target : time + hh, planned, heldBy == StepCut::BREAKPOINT};
}

void StepController::tooSmall(double time, double h, const StepCut& why) const {
    char buf[64];
    std::snprintf(buf, sizeof buf, "; step %.3g s, minimum %.3g s)", h, hmin_);
    throw SimError("time step too small at t = " + timeText(time) + " (" + cutText(c_, why) + buf);
}

void StepController::countTry(double time, double h) {
    if (++stepsTried_ > stepLimit_) {
        char buf[160];
        std::snprintf(buf, sizeof buf, " (limit %.0f steps tried, raised by .options tranlimit; step %.3g s; ", stepLimit_, h);
        throw SimError("too many time steps at t = " + timeText(time) + buf + cutText(c_, cut_) + ")");
    }
}

void StepController::newtonFailed(std::string text, double h, bool secondOrder) {
    cut_ = StepCut(StepCut::NEWTON);
    cut_.newtonText = std::move(text);
    dampedReach_ = 0.0;
    // At a small step the damped method is tried before the step is cut.
    if (!(secondOrder && h <= kDampedRetry * hfloor_)) h_ = h / kNewtonCut;
}

bool StepController::cutOntoEvent(double crossPoint, double time, double h) {
    if (!(crossPoint > time + hmin_ && crossPoint < time + h * (1 - kStepRounding))) return false;
    h_ = crossPoint - time;
    dampedReach_ = 0.0;
    cut_ = StepCut(StepCut::EVENT);
    return true;
}

TruncationError StepController::truncationError(const IntegrationMethod& method, const std::vector<char>& stateful,
                                                const Eigen::VectorXd& xn, const Eigen::VectorXd& xp,
                                                const Eigen::VectorXd& x, const Eigen::VectorXd& q, double h) const {
    return truncationError(method.errorFactor(h), method, stateful, xn, xp, x, q, h);
}

TruncationError StepController::truncationError(double factor, const IntegrationMethod& method,
                                                const std::vector<char>& stateful, const Eigen::VectorXd& xn,
                                                const Eigen::VectorXd& xp, const Eigen::VectorXd& x,
                                                const Eigen::VectorXd& q, double h) const {
    const Options& o = c_.options();
    const auto& u = c_.unknowns();
    TruncationError e;
    e.estimated = true;
    for (Eigen::Index i = 0; i < xn.size(); ++i) {
        if (!stateful[i]) continue;
        double err = std::abs(xn[i] - xp[i]) * factor;
        double tol = o.reltol * std::max(std::abs(xn[i]), std::abs(x[i])) + u[i].valueTol(o);
        if (u[i].kind == Unknown::DERIVATIVE) {
            // The variable is s times a charge's current: the charge's own
            // tolerance over the step may be the looser one.
            double qi = std::max({std::abs(q[i]), std::abs(method.lastCharges()[i]), u[i].chargeTol(o)});
            tol = std::max(tol, o.reltol * qi / h);
        }
        if (err / (o.trtol * tol) > e.ratio) {
            e.ratio = err / (o.trtol * tol);
            e.worst = static_cast<int>(i);
            e.err = err;
            e.tol = o.trtol * tol;
        }
    }
    return e;
}

bool StepController::admits(TruncationError& e, double h, int order, bool& damp) {
    if (e.ratio > 1.0 && e.ratio < kWaivedErrorLimit && h <= hfloor_ * (1 + kStepRounding) && order == 1) {
        // At the floor the error comes from a mode far faster than the
        // circuit: the damped step is taken.
        e.waived = true;
        return true;
    }
    if (!(e.ratio > 1.0)) return true;
    cut_ = StepCut(StepCut::TRUNCATION, e.worst, e.err, e.tol);
    dampedReach_ = 0.0;
    h_ = h * std::max(kLargestCut, errorScale(e.ratio, order));
    if (h_ < hfloor_ && e.ratio < kWaivedErrorLimit) {
        h_ = std::min(hfloor_, h);
        damp = true;
    }
    return false;
}

void StepController::dampedNext(double h, const TruncationError& e) {
    if (!e.estimated) return;
    const double scale = std::clamp(errorScale(e.ratio, 1), kSmallestGrowth, kLargestGrowth);
    dampedReach_ = std::min(h_, h * scale / kSafety);
    // An estimate well within its tolerance leaves the plan alone; one near
    // it caps the growth without cutting below h; one beyond it cuts.
    if (!(e.ratio > kDampedPlanShare)) return;
    h_ = std::min(h_, e.ratio > 1.0 ? std::max(h * scale, hfloor_) : std::max(h, h * scale));
}

bool StepController::retryOntoEvent(double crossPoint, double time, double tNew) {
    if (crossPoint > time + hmin_ && crossPoint < tNew && eventRetries_ < kMaxEventRetries) {
        eventTarget_ = crossPoint;
        ++eventRetries_;
        return true;
    }
    eventTarget_ = -1.0;
    eventRetries_ = 0;
    return false;
}

bool StepController::accepted(double time, const PlannedStep& s, int order, const TruncationError& e, double tBreak,
                              bool backToPlanned) {
    const double h = s.h;
    dampedReach_ = 0.0;
    const double grow = e.estimated ? std::min(kLargestGrowth, errorScale(e.ratio, order)) : kLargestGrowth;
    h_ = h * std::max(grow, kSmallestGrowth);
    // A step cut short onto a point says nothing against the step planned
    // before it: the next one returns to it as far as this step's error allows.
    if (s.heldByPoint && e.estimated && backToPlanned) h_ = std::max(h_, std::min(s.planned, h * errorScale(e.ratio, order)));
    if (e.waived) h_ = hfloor_;
    if (!(landsOn(time, tBreak, h, hmin_) && tBreak < setup_.tstop)) return false;
    // Restart after a discontinuity: small step, no history.
    h_ = initialStep();
    std::erase_if(pending_, [&](double b) { return b <= time * (1 + kTimeRounding); });
    return true;
}

} // namespace vxr
