#include "vxrhost/DcContinuation.h"

#include <algorithm>
#include <array>
#include <limits>

namespace vxr {

namespace {

// Plain Newton from the start point.
bool plainNewton(DcNewton& nw, Eigen::VectorXd& x) { return nw.solve(x); }

// gmin stepping: every node tied to ground through a conductance that falls
// by gminFactor per stage down to gmin (by a tenth of that factor once a
// stage fails), then plain Newton from the last stage.
bool gminStepping(DcNewton& nw, Eigen::VectorXd& x) {
    const Options& o = nw.options();
    const double start = o.dc.gminStart;
    double g = start, factor = o.dc.gminFactor;
    Eigen::VectorXd xg = x;
    while (true) {
        if (nw.solve(x, g)) {
            if (g <= o.gmin * 1.001) break;
            xg = x;
            g = std::max(g / factor, o.gmin);
        } else if (factor > 10.0 && g < start) {
            x = xg;
            g *= factor / 10.0;
            factor = 10.0;
        } else {
            return false;
        }
    }
    return nw.solve(x);
}

// Scales every independent source from 0 to its value, from xs solved at
// scale 0, in steps that double after a success and shrink to a quarter
// after a failure, until srcStepFails steps have failed (a ramp that keeps
// failing costs more than the strategies after it); true with the solution
// in x. With extrapolate, each step first starts from the line through the
// last two solutions, then from the last one.
bool rampSources(DcNewton& nw, Eigen::VectorXd xs, Eigen::VectorXd& x, bool extrapolate) {
    const Options& o = nw.options();
    EvalContext& ctx = nw.context();
    double s = 0.0, ds = o.dc.srcStep, sp = -1.0;
    int fails = 0;
    Eigen::VectorXd xp; // the solution before xs, at scale sp
    while (s < 1.0) {
        const double sn = std::min(1.0, s + ds);
        ctx.srcScale = sn;
        Eigen::VectorXd xt = xs;
        bool ok = false;
        if (sp >= 0.0 && extrapolate) {
            xt = xs + (xs - xp) * ((sn - s) / (s - sp));
            ok = nw.solve(xt);
            if (!ok) xt = xs;
        }
        if (!ok) ok = nw.solve(xt);
        if (ok) {
            xp = xs;
            sp = s;
            xs = xt;
            s = sn;
            ds = std::min(ds * 2, o.dc.srcStepMax);
        } else {
            ds /= 4;
            if (ds < o.dc.srcStepMin || ++fails >= o.dc.srcStepFails) break;
        }
    }
    ctx.srcScale = 1.0;
    if (s < 1.0) return false;
    x = xs;
    return true;
}

// Source stepping from the zero point.
bool sourceStepping(DcNewton& nw, Eigen::VectorXd& x) { return rampSources(nw, Eigen::VectorXd::Zero(nw.size()), x, false); }

// Source stepping with every voltage source between two nodes (a floating
// gate drive) at its full value throughout, from the point those sources
// alone give: a switch whose gate source rides on its own source node is on
// from the start and follows the supply up, where with its drive scaled too
// it stays off while the load pulls its source node kilovolts away. The
// switch's nodes then move nearly in proportion to the scale, so each step
// starts from the line through the two before.
bool floatingSourceStepping(DcNewton& nw, Eigen::VectorXd& x) {
    if (!nw.hasFloatingSource()) return false;
    EvalContext& ctx = nw.context();
    ctx.floatingScale = 1.0;
    ctx.srcScale = 0.0;
    Eigen::VectorXd xs = Eigen::VectorXd::Zero(nw.size());
    const bool ok = nw.solve(xs) && rampSources(nw, xs, x, true);
    ctx.floatingScale = -1.0;
    ctx.srcScale = 1.0;
    return ok;
}

} // namespace

// Pseudo-transient continuation from the conductance g0: every node is held
// to the last solved point through a conductance g (a capacitance over a
// pseudo time step) that shrinks by the factor shrink while the steps
// converge and grows back when one fails (while no step has converged yet,
// at most firstGrows times); the last step is plain Newton. The first step
// that converges at once (the point no longer moves against its anchor) also
// tries plain Newton, once, rather than shrinking g through the remaining
// decades first.
bool pseudoTransientFrom(DcNewton& nw, Eigen::VectorXd& x, double g0, int firstGrows, double shrink) {
    const Options& o = nw.options();
    Eigen::VectorXd anchor = x;
    double g = g0;
    bool early = true;     // the early plain attempt is still to come
    bool converged = false; // a step has converged
    int grows = 0;
    for (int step = 0; step < o.dc.ptranSteps; ++step) {
        Eigen::VectorXd xt = anchor;
        const int before = nw.iterations();
        if (nw.solve(xt, g, &anchor)) {
            converged = true;
            anchor = xt;
            const bool settled = nw.iterations() - before <= 1;
            if (g < o.gmin || (early && settled)) {
                x = anchor;
                if (nw.solve(x)) return true;
                if (g >= o.gmin) {
                    early = false;
                    g /= shrink;
                } else {
                    g = o.gmin * 10; // the plain step failed: settle further
                }
                continue;
            }
            g /= shrink;
        } else {
            if (!converged && grows++ >= firstGrows) break;
            g *= 8;
            if (g > o.dc.ptranGMax) break;
        }
    }
    return false;
}

namespace {

bool pseudoTransient(DcNewton& nw, Eigen::VectorXd& x) {
    const DcContinuationOptions& d = nw.options().dc;
    return pseudoTransientFrom(nw, x, d.ptranG, std::numeric_limits<int>::max(), d.ptranShrink);
}

// Pseudo-transient continuation whose first step holds every node to the
// start point through a conductance far above ptrang: a power device's
// internal node between a channel conducting in reverse and a saturated drift
// region then stays near the start in the first step instead of being thrown
// past the fold of the device's curve, and the steps after it release it.
// With the small first conductance those first steps fail one after another
// while the conductance grows back. A first step that fails even so retries
// once from a conductance grown by the usual factor (the fold lies closer to
// the start at some drain voltages) and then gives up: growing it further is
// what the pseudo-transient after it does. Once the first step holds, the
// node is on the right side of the fold and the conductance falls steeply.
//
// Where it comes depends on how the plain Newton start failed. Reverse
// conduction's start throws the channel's end past the drain: first when the
// start was given up for that, right after gmin stepping when the step limit
// held the node there instead (a start that turns a channel on does the
// same, and gmin stepping solves it), after source stepping otherwise (a
// start that merely crawls, solved by gmin or source stepping, where the
// stiff first step would fail after a crawl of its own).
bool stiffPseudoTransient(DcNewton& nw, Eigen::VectorXd& x) {
    const DcContinuationOptions& d = nw.options().dc;
    return pseudoTransientFrom(nw, x, d.ptranGStiff, d.ptranStiffGrows, d.ptranStiffShrink);
}

constexpr std::array kStrategies{
    DcStrategy{"newton", plainNewton},
    DcStrategy{"source stepping, floating sources at full value", floatingSourceStepping},
    DcStrategy{"pseudo-transient from a stiff anchor", stiffPseudoTransient, false, false, StartFault::STRAYED},
    DcStrategy{"gmin stepping", gminStepping},
    DcStrategy{"pseudo-transient from a stiff anchor", stiffPseudoTransient, false, false, StartFault::HELD},
    DcStrategy{"source stepping", sourceStepping},
    DcStrategy{"pseudo-transient from a stiff anchor", stiffPseudoTransient, false, false, StartFault::OTHER},
    DcStrategy{"pseudo-transient", pseudoTransient},
    DcStrategy{"pseudo-transient, residual line search", pseudoTransient, true},
    DcStrategy{"newton, internal nodes within their terminals", plainNewton, false, true},
    DcStrategy{"gmin stepping, internal nodes within their terminals", gminStepping, false, true},
    DcStrategy{"pseudo-transient, internal nodes within their terminals", pseudoTransient, false, true},
};

} // namespace

std::span<const DcStrategy> dcStrategies() { return kStrategies; }

double* dcOption(Options& o, const std::string& name) {
    DcContinuationOptions& d = o.dc;
    const std::pair<const char*, double*> names[] = {
        {"gminstart", &d.gminStart}, {"gminfactor", &d.gminFactor}, {"srcstep", &d.srcStep},
        {"srcstepmax", &d.srcStepMax}, {"srcstepmin", &d.srcStepMin}, {"srcstepfails", &d.srcStepFails}, {"ptrang", &d.ptranG},
        {"ptrangmax", &d.ptranGMax}, {"ptransteps", &d.ptranSteps},
    };
    for (auto& [n, p] : names)
        if (name == n) return p;
    return nullptr;
}

} // namespace vxr
