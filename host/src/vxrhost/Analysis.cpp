#include "vxrhost/Analysis.h"
#include "vxrhost/AnalysisChecks.h"
#include "vxrhost/DcContinuation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>

#include "VXR_Interface.h"
#include "vxrhost/OutputSampler.h"
#include "vxrhost/StepControl.h"
#include "vxrhost/TranMethod.h"

namespace vxr {

std::string timeText(double t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", t);
    return buf;
}

std::string unknownLabel(const Circuit& c, int unknown) {
    const Unknown& u = c.unknowns()[unknown];
    return (u.isCurrent() ? "branch '" : "node '") + u.name + "'";
}

namespace {

// In AC, a resonance at the frequency is singular too.
std::string singularText(const Circuit& c, int unknown, bool ac = false) {
    return "singular matrix at " + unknownLabel(c, unknown) + " (" + (ac ? "a resonance at this frequency, " : "") +
           "a floating node or a loop of voltage sources?)";
}

// The first unknown whose entry of v is not finite (0 when all are).
int firstNonFinite(const Eigen::VectorXd& v) {
    for (Eigen::Index i = 0; i < v.size(); ++i)
        if (!std::isfinite(v[i])) return static_cast<int>(i);
    return 0;
}

// Halvings of the line search before it settles for the best trial.
constexpr int kMaxHalvings = 20;
// A Newton step this small a fraction of its tolerance is x's own rounding.
constexpr double kNegligibleStep = 1e-9;
// Consecutive cut steps after which a Newton run gives up on its own.
constexpr int kMaxCutRun = 10;
// Steps in a row with every row within tolerance but the step not, after
// which a DC point's Newton carries the rounding of its matrix.
constexpr int kUnsettledSteps = 2;
// Quarterings of the internal nodes' part of a step.
constexpr int kMaxInternalCuts = 24;
// The fall of the largest row residual that counts as progress for
// Integration::stallLimit.
constexpr double kStallFall = 0.5;
// Iterations without that fall after which a sweep point's start is given up.
constexpr int kSweepStall = 16;
// Most parts a sweep step is cut into before the DC fallbacks.
constexpr int kMaxSweepParts = 8;
// Sweep points solved in a row with the parts the last ones needed, after
// which the next point tries half as many.
constexpr int kSweepCalmPoints = 3;

} // namespace

std::pair<std::string, std::string> valueBesideTolerance(double value, double tol) {
    char v[32], t[32], a[32];
    for (int digits = 3; digits <= 17; ++digits) {
        std::snprintf(v, sizeof v, "%.*g", digits, value);
        std::snprintf(a, sizeof a, "%.*g", digits, std::abs(value));
        std::snprintf(t, sizeof t, "%.*g", digits, tol);
        if (std::string(a) != t) break;
    }
    return {v, t};
}

double Probe::value(const Eigen::VectorXd& x) const {
    if (kind == VOLTAGE) return (a >= 0 ? x[a] : 0.0) - (b >= 0 ? x[b] : 0.0);
    if (unknown >= 0) return x[unknown];
    return elem ? elem->current(x) : 0.0;
}

std::complex<double> Probe::phasor(const Eigen::VectorXcd& x) const {
    if (kind == VOLTAGE) return (a >= 0 ? x[a] : 0.0) - (b >= 0 ? x[b] : 0.0);
    int i = unknown >= 0 ? unknown : (elem ? elem->currentIndex() : -1);
    return i >= 0 ? x[i] : 0.0;
}

Simulator::Simulator(Circuit& c) : c_(c) {
    c_.setup();
    for (auto& e : c_.elements())
        if (e->acceptsPoints()) pointElements_.push_back(e.get());
    for (auto& e : c_.elements()) {
        LimitGroup g;
        if (!e->limitGroup(g)) continue;
        std::erase_if(g.internals, [&](int i) { return i < 0 || i >= c_.size() || c_.unknowns()[i].isCurrent(); });
        g.own = g.internals.size();
        // A terminal nothing else connects to (a monitor output) is the
        // element's own node as much as an internal one.
        for (int& t : g.terminals)
            if (t >= 0 && c_.nodeUses(t) == 1 && !c_.unknowns()[t].isCurrent()) {
                g.internals.push_back(t);
                t = -2;
            }
        std::erase(g.terminals, -2);
        if (g.internals.empty()) continue;
        limitGroups_.push_back(std::move(g));
    }
}

EvalContext Simulator::makeContext(AnalysisKind kind, unsigned long mask) const {
    EvalContext ctx;
    ctx.analysis = kind;
    ctx.mask = mask;
    return ctx;
}

void Simulator::resetStatistics() {
    newtonIterations = 0;
    linearSolves = 0;
    loadPassBase_ = c_.loadPasses();
    points = 0;
    rejectedSteps = 0;
}

void Simulator::beginAnalysis(AnalysisKind kind, EvalContext& ctx) {
    for (auto& e : c_.elements()) {
        e->beginAnalysis(kind, ctx);
        c_.host().checkExit();
    }
}

void Simulator::acceptAndStrobe(EvalContext& ctx, const Eigen::VectorXd& x, bool accept) {
    ctx.x = &x;
    for (Element* e : pointElements_) {
        if (accept) e->accept(ctx);
        e->strobe(ctx);
        c_.host().checkExit();
    }
}

// F = f + (a0 q + hist) + gshunt * v; tol[i] is the residual tolerance of
// row i: reltol of the row's largest contribution plus the absolute
// tolerance of the row's kind plus the rounding the row's own arithmetic
// carries. A row cannot resolve less than a unit roundoff of each term
// J(i,j) x(j) (a 2.7 kS resistor across 9 V rounds to picoamperes), so that
// floor keeps the test from asking for a residual no representable x gives.
// norm is the largest |F[i]| / tol[i].
void Simulator::assemble(EvalContext& ctx, const Eigen::VectorXd& x, const Integration& in, double gshunt,
                         Eigen::VectorXd& F, Eigen::VectorXd& tol, double& norm) {
    const Eigen::VectorXd* anchor = in.anchor;
    c_.evaluate(ctx, x);
    const Options& o = c_.options();
    MatrixPattern& pattern = c_.pattern();
    if (ctx.loadMatrix) {
        pattern.addDiagonal(c_.size()); // gshunt's entries
        ctx.G.resize(pattern.size(), 0.0);
        ctx.C.resize(pattern.size(), 0.0);
    }
    // F = f + (a0 q + hist), its magnitudes summed into fmag in place (the
    // next pass clears it) and the rows' sums of |terms| started from them,
    // in one sweep; then G + a0 C and each row's sum of |G x| in another;
    // then gshunt, the tolerances and the norm in a third.
    const auto& u = c_.unknowns();
    const int rows = static_cast<int>(ctx.f.size());
    F.resize(rows);
    tol.resize(rows);
    Eigen::VectorXd& mag = ctx.fmag;
    Eigen::VectorXd& terms = terms_;
    terms.resize(rows);
    constexpr double kRoundoff = 8 * std::numeric_limits<double>::epsilon();
    const double a0 = in.a0;
    const double* xs = x.data();
    double* Fs = F.data();
    double* m = mag.data();
    double* t = terms.data();
    if (in.active) {
        const double a0mag = std::abs(a0);
        const double* f = ctx.f.data();
        const double* q = ctx.q.data();
        const double* qm = ctx.qmag.data();
        const double* h = in.hist.data();
        for (int i = 0; i < rows; ++i) {
            Fs[i] = f[i] + (a0 * q[i] + h[i]);
            const double mi = m[i] + (a0mag * qm[i] + std::abs(h[i]));
            m[i] = mi;
            t[i] = mi;
        }
    } else {
        F = ctx.f;
        terms = mag;
    }
    if (ctx.loadMatrix) {
        const int* slotRow = pattern.rowData();
        const int* slotCol = pattern.colData();
        double* G = ctx.G.data();
        const int slots = static_cast<int>(ctx.G.size());
        if (in.active) {
            const double* C = ctx.C.data();
            for (int s = 0; s < slots; ++s) {
                const double g = G[s] + a0 * C[s];
                G[s] = g;
                t[slotRow[s]] += std::abs(g) * std::abs(xs[slotCol[s]]);
            }
        } else {
            for (int s = 0; s < slots; ++s) t[slotRow[s]] += std::abs(G[s]) * std::abs(xs[slotCol[s]]);
        }
    }
    double largest = 0.0;
    for (int i = 0; i < rows; ++i) {
        double Fi = Fs[i];
        if (gshunt > 0 && u[i].kind == Unknown::VOLTAGE) {
            Fi += gshunt * (anchor ? x[i] - (*anchor)[i] : x[i]);
            ctx.addAt(ctx.G, pattern.diagonal(i), gshunt);
            Fs[i] = Fi;
        }
        tol[i] = o.reltol * m[i] + u[i].rowTol(o) + kRoundoff * t[i];
        double r = std::abs(Fi) / tol[i];
        if (!std::isfinite(r)) r = HUGE_VAL;
        largest = std::max(largest, r);
    }
    norm = largest;
    // A branch current closes the KCL rows of its nodes, so it is determined
    // no better than their rounding: the smaller the time step, the more a
    // gate's charges leave its source's current uncertain.
    currentNoise_.setConstant(F.size(), HUGE_VAL);
    if (ctx.loadMatrix) {
        if (closingSlotsPattern_ != pattern.version() || closingSlotsUnknowns_ != c_.unknownsVersion()) {
            closingSlots_.clear();
            for (int s = 0; s < pattern.size(); ++s) {
                const int r = pattern.row(s), c = pattern.col(s);
                if (u[c].kind == Unknown::CURRENT && u[r].kind == Unknown::VOLTAGE) closingSlots_.push_back({s, r, c});
            }
            closingSlotsPattern_ = pattern.version();
            closingSlotsUnknowns_ = c_.unknownsVersion();
        }
        const int given = static_cast<int>(ctx.G.size());
        for (const ClosingSlot& e : closingSlots_) {
            if (e.slot >= given || ctx.G[e.slot] == 0.0) continue;
            currentNoise_[e.col] = std::min(currentNoise_[e.col], kRoundoff * terms[e.row] / std::abs(ctx.G[e.slot]));
        }
    }
    for (Eigen::Index i = 0; i < currentNoise_.size(); ++i)
        if (currentNoise_[i] == HUGE_VAL) currentNoise_[i] = 0.0;
}

// The largest Newton step of unknown i that counts as converged at a value of
// the given magnitude. A time-derivative variable is its charge's change over
// the time step: once that charge is within its own tolerance the variable is
// as well determined as the charge (a charge's rounding, divided by a small
// step, is a sizeable current), and its row's residual keeps it consistent with it. A
// branch current is as well determined as its nodes' rows (currentNoise_).
inline double Simulator::stepTolerance(int i, double magnitude, const EvalContext& ctx, const Integration& in) const {
    const Options& o = c_.options();
    const Unknown& u = c_.unknowns()[i];
    double t = o.reltol * magnitude + u.valueTol(o);
    if (u.kind == Unknown::CURRENT && i < currentNoise_.size()) t = std::max(t, currentNoise_[i]);
    if (in.active && u.kind == Unknown::DERIVATIVE)
        t = std::max(t, std::abs(in.a0) * (o.reltol * std::abs(ctx.q[i]) + u.chargeTol(o)));
    return t;
}

// Newton iterations from x. The step of each internal node of a nonlinear
// element is first held near its terminals' steps (limitInternalSteps). A
// trial is measured by the natural level function: the size, in units of the
// value tolerances, of the correction that x's own Jacobian gives at the
// trial. Unlike a residual norm it does not depend on how rows are scaled
// (volts on a source's row against picoamperes on a node's), so a sweep's
// new source value is not traded against a device row's kink. The whole
// step is taken when it passes the monotonicity test on that level or its
// residual is within tolerance. Otherwise the internal nodes' part of the
// step is cut while the rest is taken whole: the network's own equations,
// linear in the terminals, stay solved while an internal node barely
// determined between two saturated branches creeps onto a solution that may
// sit microvolts beside a kink. When that does not get there either, the
// whole step is halved, and the best finite trial is taken. The point is
// accepted when the last step was the whole, unlimited Newton step and
// within the value tolerances, and the residual after it within the row
// tolerances.
bool Simulator::newton(Eigen::VectorXd& x, EvalContext& ctx, const Integration& in, int maxIter, double gshunt) {
    const Options& o = c_.options();
    const auto& u = c_.unknowns();
    const int n = c_.size();
    fault_ = {};
    evaluatedAtResult_ = false;
    if (n == 0) return true;
    Eigen::VectorXd F, Ft, tol, tolt, xt, dx, dxWhole, dxInternal, bestX;
    double norm = 0, normt = 0;
    ctx.loadMatrix = true;
    MatrixSolver<double>& solver = MatrixSolver<double>::of(realSolver_, o.solver);
    // A DC point whose matrix is singular in double precision, or whose
    // residuals stay within tolerance while its steps do not settle, is
    // solved from then on (in this run and the point's later ones) with each
    // slot's rounding carried and a double-double factorisation (CarriedLu):
    // a leak far below the rounding of a stiff cluster's diagonal sums still
    // holds the cluster.
    const bool carriable = !in.active && n <= kCarriedLuMaxSize;
    bool carried = carriable && in.carried && *in.carried, carryFailed = false;
    // A step limit held an internal node that the whole step threw further
    // than in.strayLimit out of its terminals' range.
    bool held = false;
    int unsettled = 0; // consecutive steps with the rows within tolerance, the step not
    struct Restore {
        EvalContext& ctx;
        bool value;
        ~Restore() { ctx.carryRounding = value; }
    } restore{ctx, ctx.carryRounding};
    if (carried) ctx.carryRounding = true;
    auto linearSolve = [&](Eigen::VectorXd& v) {
        if (carried) carriedLu_.solve(v);
        else solver.solve(v);
    };
    auto carry = [&] {
        carried = true;
        if (in.carried) *in.carried = true;
        ctx.carryRounding = true;
        assemble(ctx, x, in, gshunt, F, tol, norm);
    };
    assemble(ctx, x, in, gshunt, F, tol, norm);
    bool small = false;
    int damped = 0, stalled = 0;
    double lowest = norm; // the lowest row residual so far, for in.stallLimit
    for (int it = 0; it < maxIter; ++it) {
        if (small && norm <= 1.0 && !ctx.prohibitConvergence) return evaluatedAtResult_ = true;
        if (carriable && !carried && !carryFailed && unsettled >= kUnsettledSteps) carry();
        ++newtonIterations; // factorisations
        for (int r = 0, bad = firstNonFiniteRow(c_.pattern(), ctx.G, n); r < n; ++r)
            if (r == bad || !std::isfinite(F[r])) {
                fault_ = {NewtonFault::NON_FINITE, r};
                return false;
            }
        std::shared_ptr<const SingularMatrix<double>> singular;
        if (!carried) {
            singular = solver.factor(c_.pattern(), n, ctx.G);
            if (singular && carriable && !carryFailed) carry();
        }
        if (carried && carriedLu_.factor(c_.pattern(), n, ctx.G, ctx.Glo) >= 0) {
            // Singular with the rounding carried too: named, or solved, as
            // the double factorisation has it.
            carried = false;
            carryFailed = true;
            if (in.carried) *in.carried = false;
            singular = solver.factor(c_.pattern(), n, ctx.G);
        } else if (carried) {
            singular = nullptr;
        }
        if (singular) {
            fault_ = {NewtonFault::SINGULAR, singular->column};
            fault_.singular = std::move(singular);
            return false;
        }
        dx = -F;
        linearSolve(dx);
        ++linearSolves;
        if (!dx.allFinite()) {
            fault_ = {NewtonFault::NON_FINITE, firstNonFinite(dx)};
            return false;
        }
        // The natural level function: the size of the Newton correction that
        // x's own Jacobian gives at a point, in units of the value
        // tolerances. Unlike a weighted residual it does not depend on how
        // rows are scaled (volts on a source's row, picoamperes on a node's).
        Eigen::VectorXd w(n);
        for (int i = 0; i < n; ++i) w[i] = o.reltol * std::abs(x[i]) + u[i].valueTol(o);
        Eigen::VectorXd correction;
        // A run with its nodes tied through gshunt measures its level on the
        // unknowns the rest of the circuit depends on: a model's monitor
        // output copies a current that a step turning a channel on changes
        // by orders of magnitude, and with its tolerance of picoamperes it
        // would refuse every step that gets there.
        const std::vector<char>* outputs = gshunt > 0 ? &outputUnknowns() : nullptr;
        auto dropOutputs = [&](Eigen::VectorXd& v) {
            if (outputs)
                for (int i = 0; i < n; ++i)
                    if ((*outputs)[i]) v[i] = 0.0;
        };
        auto level = [&](const Eigen::VectorXd& r) {
            correction = r;
            linearSolve(correction);
            ++linearSolves;
            dropOutputs(correction);
            double m = correction.cwiseQuotient(w).squaredNorm();
            return std::isfinite(m) ? m : HUGE_VAL;
        };
        small = true;
        bool negligible = true;
        for (int i = 0; i < n && small; ++i) {
            const double t = stepTolerance(i, std::max(std::abs(x[i]), std::abs(x[i] + dx[i])), ctx, in);
            if (!(std::abs(dx[i]) <= t)) small = false;
            if (!(std::abs(dx[i]) <= kNegligibleStep * t)) negligible = false;
        }
        // A step at the rounding of x (a linear circuit's second solve) is
        // taken without a load at x + dx: x's evaluation stands for it.
        if (small && negligible && norm <= 1.0 && !ctx.prohibitConvergence) {
            x += dx;
            return evaluatedAtResult_ = true;
        }
        double m0 = dx.cwiseQuotient(w).squaredNorm(); // level(F), before the limits
        if (outputs) {
            correction = dx;
            dropOutputs(correction);
            m0 = correction.cwiseQuotient(w).squaredNorm();
        }
        const double r0 = F.cwiseQuotient(tol).squaredNorm(); // the rows' residuals, for in.residualSearch
        dxWhole = dx;
        const bool clamped = limitInternalSteps(x, dx, dxInternal, in.terminalSpan);
        if (clamped && in.strayLimit > 0 && !held) held = internalStrays(x + dxWhole, in.strayLimit);
        // A limited step whose whole, unlimited form already solves the
        // equations (a linear element's internal node, a differentiator's
        // output after a fast input) takes the unlimited one.
        if (clamped) {
            xt = x + dxWhole;
            assemble(ctx, xt, in, gshunt, Ft, tolt, normt);
            if (normt <= 1.0 && xt.allFinite()) {
                x = xt;
                F = Ft;
                tol = tolt;
                norm = normt;
                damped = 0;
                continue;
            }
        }
        double best = HUGE_VAL;
        bool whole = false, lastIsBest = false;
        // Trial 0 is the whole step, then the internal nodes' part cut by
        // quarters (down to 1e-14 of it: such a node's solution may sit
        // microvolts beside a kink), then the whole step halved.
        const int partial = limitGroups_.empty() ? 0 : kMaxInternalCuts;
        for (int k = 0; k <= partial + kMaxHalvings; ++k) {
            const double lambda = k == 0 ? 1.0 : k <= partial ? std::ldexp(1.0, -2 * k) : std::ldexp(1.0, partial - k);
            if (k == 0) xt = x + dx;
            else if (k <= partial) xt = x + dx - (1.0 - lambda) * dxInternal;
            else xt = x + lambda * dx;
            assemble(ctx, xt, in, gshunt, Ft, tolt, normt);
            // A trial within the row tolerances passes whatever its level.
            const double m = normt <= 1.0 && xt.allFinite() ? 0.0 : level(Ft);
            lastIsBest = m < best;
            if (lastIsBest) {
                best = m;
                bestX = xt;
            }
            if (!(m < HUGE_VAL)) continue;
            // Deuflhard's monotonicity test on the natural level, or the
            // same decrease of the rows' residuals in units of their tolerances.
            const double shrink = (1.0 - 0.25 * lambda) * (1.0 - 0.25 * lambda);
            const bool residualFalls = in.residualSearch && Ft.cwiseQuotient(tolt).squaredNorm() <= shrink * r0;
            if (normt <= 1.0 || m <= shrink * m0 || residualFalls) {
                whole = k == 0;
                break;
            }
        }
        if (!(best < HUGE_VAL)) {
            fault_ = {NewtonFault::NON_FINITE, firstNonFinite(Ft)};
            return false;
        }
        if (!lastIsBest) {
            xt = bestX;
            assemble(ctx, xt, in, gshunt, Ft, tolt, normt);
        }
        unsettled = norm <= 1.0 && !small ? unsettled + 1 : 0;
        small = small && !clamped && whole;
        x = xt;
        F = Ft;
        tol = tolt;
        norm = normt;
        if (!x.allFinite()) {
            fault_ = {NewtonFault::NON_FINITE, firstNonFinite(x)};
            return false;
        }
        if (in.strayLimit > 0 && internalStrays(x, in.strayLimit)) {
            noteNonConvergence(F, tol, dx, x, ctx, in);
            fault_.strayed = true;
            fault_.held = held;
            return false;
        }
        if (norm < kStallFall * lowest) {
            lowest = norm;
            stalled = 0;
        } else if (in.stallLimit > 0 && ++stalled >= in.stallLimit) {
            noteNonConvergence(F, tol, dx, x, ctx, in);
            fault_.stalled = true;
            return false;
        }
        // A long run of cut steps is crawling: the caller's continuation
        // (gmin or source stepping) gets there sooner. When a run on the DC
        // point's own equations (no shunt, sources at full value) crawls,
        // the point's later runs carry its rounding: steps that no cut makes
        // fall are what a Jacobian gives whose double sums lost a leak below
        // them (a gate held by a bleed resistor), even when no pivot vanished.
        damped = whole ? 0 : damped + 1;
        if (damped >= kMaxCutRun) {
            if (carriable && !carried && !carryFailed && in.carried && gshunt == 0.0 && ctx.srcScale == 1.0)
                *in.carried = true;
            break;
        }
    }
    if (small && norm <= 1.0 && !ctx.prohibitConvergence) return evaluatedAtResult_ = true;
    noteNonConvergence(F, tol, dx, x, ctx, in);
    fault_.held = held;
    return false;
}

// Holds the step of each internal node of a nonlinear element (and of a
// terminal nothing else connects to) within vlimit, plus half its present
// magnitude, of the range its terminals step over, unless it lands within
// vlimit of a terminal's new value: an internal node between
// two saturated branches (a channel's end under a depleted drift region) is
// barely determined, and a whole Newton step throws it kilovolts away, while
// it still follows its terminals wherever the network takes them, and a
// large value (a temperature rise of hundreds of kelvin) still moves
// geometrically. dxInternal gets the (limited) steps of the nodes that do not
// follow a terminal. Returns whether a step was cut.
bool Simulator::limitInternalSteps(const Eigen::VectorXd& x, Eigen::VectorXd& dx, Eigen::VectorXd& dxInternal,
                                   bool terminalSpan) const {
    const double L = c_.options().vlimit;
    dxInternal.setZero(dx.size());
    bool cut = false;
    for (const LimitGroup& g : limitGroups_) {
        double lo = 0.0, hi = 0.0, vlo = 0.0, vhi = 0.0;
        for (size_t k = 0; k < g.terminals.size(); ++k) {
            const int t = g.terminals[k];
            const double d = t >= 0 ? dx[t] : 0.0, v = t >= 0 ? x[t] + dx[t] : 0.0;
            lo = k ? std::min(lo, d) : d;
            hi = k ? std::max(hi, d) : d;
            vlo = k ? std::min(vlo, v) : v;
            vhi = k ? std::max(vhi, v) : v;
        }
        for (int i : g.internals) {
            // A time-derivative variable is known as such after its first load.
            if (c_.unknowns()[i].kind != Unknown::VOLTAGE) continue;
            const double Li = L + 0.5 * std::abs(x[i]);
            // A node that lands beside one of its terminals follows it through
            // a small resistance: its step stands.
            bool beside = false;
            for (int t : g.terminals)
                if (std::abs(x[i] + dx[i] - (t >= 0 ? x[t] + dx[t] : 0.0)) <= L) beside = true;
            if (beside) continue;
            double dlo = lo - Li, dhi = hi + Li;
            if (terminalSpan) {
                dlo = std::min(dlo, vlo - L - x[i]);
                dhi = std::max(dhi, vhi + L - x[i]);
            }
            const double d = L > 0 ? std::clamp(dx[i], dlo, dhi) : dx[i];
            if (d != dx[i]) {
                dx[i] = d;
                cut = true;
            }
            dxInternal[i] = d;
        }
    }
    return cut;
}

// The unknowns that depend on the rest of the circuit while nothing outside
// them depends on them (a model's monitor output with its branch, a
// controlled source's output node): the strongly connected components of the
// matrix pattern's dependency graph with an entry from another component in
// their rows and none of their columns in another component's rows.
const std::vector<char>& Simulator::outputUnknowns() {
    MatrixPattern& p = c_.pattern();
    const int n = c_.size();
    if (outputsVersion_ == p.version() && static_cast<int>(outputs_.size()) == n) return outputs_;
    outputsVersion_ = p.version();
    // depends[i]: the columns of row i (row i depends on those unknowns).
    std::vector<std::vector<int>> depends(n);
    for (int s = 0; s < p.size(); ++s)
        if (p.row(s) < n && p.col(s) < n && p.row(s) != p.col(s)) depends[p.row(s)].push_back(p.col(s));
    // Tarjan's components, iteratively.
    std::vector<int> index(n, -1), low(n, 0), comp(n, -1), stack, path;
    std::vector<size_t> next(n, 0);
    std::vector<char> onStack(n, 0);
    int counter = 0, components = 0;
    for (int root = 0; root < n; ++root) {
        if (index[root] >= 0) continue;
        path.push_back(root);
        index[root] = low[root] = counter++;
        stack.push_back(root);
        onStack[root] = 1;
        while (!path.empty()) {
            const int v = path.back();
            if (next[v] < depends[v].size()) {
                const int w = depends[v][next[v]++];
                if (index[w] < 0) {
                    index[w] = low[w] = counter++;
                    stack.push_back(w);
                    onStack[w] = 1;
                    path.push_back(w);
                } else if (onStack[w]) {
                    low[v] = std::min(low[v], index[w]);
                }
                continue;
            }
            path.pop_back();
            if (!path.empty()) low[path.back()] = std::min(low[path.back()], low[v]);
            if (low[v] == index[v]) {
                int w;
                do {
                    w = stack.back();
                    stack.pop_back();
                    onStack[w] = 0;
                    comp[w] = components;
                } while (w != v);
                ++components;
            }
        }
    }
    std::vector<char> dependsOnOthers(components, 0), othersDepend(components, 0);
    for (int r = 0; r < n; ++r)
        for (int c : depends[r])
            if (comp[r] != comp[c]) {
                dependsOnOthers[comp[r]] = 1;
                othersDepend[comp[c]] = 1;
            }
    outputs_.assign(n, 0);
    for (int i = 0; i < n; ++i) outputs_[i] = dependsOnOthers[comp[i]] && !othersDepend[comp[i]];
    return outputs_;
}

// Whether a model's own internal node lies further than margin outside the
// range of its terminals' values.
bool Simulator::internalStrays(const Eigen::VectorXd& x, double margin) const {
    for (const LimitGroup& g : limitGroups_) {
        double vlo = HUGE_VAL, vhi = -HUGE_VAL;
        for (int t : g.terminals) {
            const double v = t >= 0 ? x[t] : 0.0;
            vlo = std::min(vlo, v);
            vhi = std::max(vhi, v);
        }
        for (size_t k = 0; k < g.own; ++k) {
            const int i = g.internals[k];
            if (c_.unknowns()[i].kind == Unknown::VOLTAGE && (x[i] < vlo - margin || x[i] > vhi + margin)) return true;
        }
    }
    return false;
}

// Names the unknown furthest outside its tolerance after the last step: its
// row's residual, or, when every residual is within tolerance, its step.
void Simulator::noteNonConvergence(const Eigen::VectorXd& F, const Eigen::VectorXd& tol, const Eigen::VectorXd& step,
                                   const Eigen::VectorXd& x, const EvalContext& ctx, const Integration& in) {
    double worst = 0.0;
    fault_ = {NewtonFault::NOT_CONVERGED, -1};
    for (int i = 0; i < F.size(); ++i) {
        double r = std::abs(F[i]) / tol[i];
        if (!(r <= worst)) {
            worst = std::isfinite(r) ? r : HUGE_VAL;
            fault_.unknown = i;
            fault_.value = F[i];
            fault_.tol = tol[i];
        }
    }
    if (worst > 1.0 || step.size() != x.size()) return;
    worst = 0.0;
    for (int i = 0; i < x.size(); ++i) {
        const double t = stepTolerance(i, std::abs(x[i]), ctx, in);
        double r = std::abs(step[i]) / t;
        if (!(r <= worst)) {
            worst = r;
            fault_ = {.kind = NewtonFault::NOT_CONVERGED, .unknown = i, .byStep = true, .value = step[i], .tol = t};
        }
    }
}

std::string Simulator::failure(const std::string& what) const {
    switch (fault_.kind) {
    case NewtonFault::SINGULAR: return what + ": " + singularText(c_, fault_.singular->unknown());
    case NewtonFault::NON_FINITE: return what + ": a non-finite value in the equation of " + unknownLabel(c_, fault_.unknown);
    case NewtonFault::NOT_CONVERGED: {
        if (fault_.unknown < 0) break;
        auto [value, tol] = valueBesideTolerance(fault_.value, fault_.tol);
        return what + " (worst: " + unknownLabel(c_, fault_.unknown) + ": " + (fault_.byStep ? "last step " : "residual ") +
               value + ", tolerance " + tol + ")";
    }
    case NewtonFault::NONE: break;
    }
    return what;
}

// The Newton runs of one DC point for the continuation strategies.
class Simulator::PointNewton final : public DcNewton {
public:
    PointNewton(Simulator& sim, EvalContext& ctx) : sim_(sim), ctx_(ctx) {}
    bool solve(Eigen::VectorXd& x, double gshunt, const Eigen::VectorXd* anchor) override {
        Integration in;
        in.anchor = anchor;
        in.residualSearch = residualSearch;
        in.terminalSpan = terminalSpan;
        in.carried = &carried_;
        // A run that throws an internal node out of its terminals' range
        // gives up at once, leaving the iterations to the next stage or
        // strategy; the strategies that let such a node span its terminals
        // are the ones that bring it back.
        if (!terminalSpan) in.strayLimit = sim_.c_.options().vlimit;
        return sim_.newton(x, ctx_, in, sim_.c_.options().itl1, gshunt);
    }
    EvalContext& context() override { return ctx_; }
    const Options& options() const override { return sim_.c_.options(); }
    int size() const override { return sim_.c_.size(); }
    int iterations() const override { return sim_.newtonIterations; }
    bool hasFloatingSource() const override {
        for (auto& e : sim_.c_.elements())
            if (auto* v = dynamic_cast<const VoltageSource*>(e.get()); v && v->floating()) return true;
        return false;
    }
    bool residualSearch = false;
    bool terminalSpan = false;

private:
    Simulator& sim_;
    EvalContext& ctx_;
    bool carried_ = false;
};

// Operating point: the continuation strategies in their order, each from
// the point's start, until one converges.
bool Simulator::solveDc(Eigen::VectorXd& x, EvalContext& ctx) {
    PointNewton nw(*this, ctx);
    const Eigen::VectorXd x0 = x;
    // The failure names the last fault a strategy met, even when that
    // strategy then stopped on its own limit after a converged run.
    NewtonFault last;
    StartFault start = StartFault::ANY;
    for (const DcStrategy& s : dcStrategies()) {
        if (s.after != StartFault::ANY && s.after != start) continue;
        x = x0;
        ctx.srcScale = 1.0;
        nw.residualSearch = s.residualSearch;
        nw.terminalSpan = s.terminalSpan;
        const bool ok = s.run(nw, x);
        ctx.srcScale = 1.0;
        if (ok) return true;
        if (fault_.kind != NewtonFault::NONE) last = fault_;
        if (start == StartFault::ANY)
            start = fault_.strayed ? StartFault::STRAYED : fault_.held ? StartFault::HELD : StartFault::OTHER;
    }
    fault_ = last;
    x = x0;
    return false;
}

Eigen::VectorXd Simulator::operatingPoint() {
    resetStatistics();
    EvalContext ctx = makeContext(AnalysisKind::OP, VXR_ANALYSIS_DC | VXR_ANALYSIS_STATIC);
    beginAnalysis(AnalysisKind::OP, ctx);
    Eigen::VectorXd x = Eigen::VectorXd::Zero(c_.size());
    points = 1;
    if (!solveDc(x, ctx)) throw SimError(failure("no convergence at the operating point"));
    acceptAndStrobe(ctx, x, false);
    return x;
}

Table& Simulator::startTable(const std::string& title) {
    table_ = Table{};
    table_.title = title;
    return table_;
}

Table Simulator::op(const std::vector<Probe>& probes) {
    Table& t = startTable("Operating point");
    for (auto& p : probes) t.columns.push_back(p.label);
    Eigen::VectorXd x = operatingPoint();
    std::vector<double> row;
    for (auto& p : probes) row.push_back(p.value(x));
    t.rows.push_back(row);
    return t;
}

namespace {
// Puts the swept sources back when the sweep ends, normally or not.
struct WaveformRestore {
    std::vector<std::pair<Waveform*, Waveform>> saved;
    ~WaveformRestore() {
        for (auto& [w, v] : saved) *w = v;
    }
};
} // namespace

Table Simulator::dcSweep(const SweepSpec& inner, const std::vector<Probe>& probes, const SweepSpec* outer) {
    Waveform* wi = &sweptWaveform(c_, inner.source);
    const long ni = dcSweepSteps(inner);
    Waveform* wo = outer ? &sweptWaveform(c_, outer->source) : nullptr;
    const long no = outer ? dcSweepSteps(*outer) : 0;
    dcSweepRows(inner, outer);
    WaveformRestore restore;
    for (Waveform* w : {wi, wo})
        if (w) {
            restore.saved.emplace_back(w, *w);
            w->kind = Waveform::DC;
        }
    Table& t = startTable("DC sweep of " + inner.source + (outer ? " within " + outer->source : ""));
    if (outer) t.columns.push_back(outer->source);
    t.columns.push_back(inner.source);
    for (auto& p : probes) t.columns.push_back(p.label);
    resetStatistics();
    EvalContext ctx = makeContext(AnalysisKind::DC, VXR_ANALYSIS_DC | VXR_ANALYSIS_STATIC);
    beginAnalysis(AnalysisKind::DC, ctx);
    // Each inner sweep starts from the first point of the one before.
    Eigen::VectorXd x, first = Eigen::VectorXd::Zero(c_.size());
    for (long j = 0; j <= no; ++j) {
        const double vo = outer ? outer->start + j * outer->step : 0.0;
        if (wo) wo->dc = vo;
        x = first;
        Eigen::VectorXd before; // the solution before x's (from the third point on)
        bool extrapolate = true;
        // The parts of the sweep step the points start with: once a point's
        // start from the last point strayed and it needed parts, the next
        // points start with as many (in a steep stretch of the curve the
        // whole step strays again), and with half as many after
        // kSweepCalmPoints points that needed no more.
        int startParts = 1, calm = 0;
        // The last point was reached by the jump past a fold: the line
        // through it and the point before crosses the fold, so the next
        // point starts from the last one.
        bool jumped = false;
        for (long k = 0; k <= ni; ++k) {
            const double v = inner.start + k * inner.step;
            wi->dc = v;
            // Continuation: start from the line through the last two points,
            // then from the last point, then the DC fallbacks. Either start
            // is given up once it throws a model's internal node out of its
            // terminals' range (past a fold of the device's curve the line
            // lands where Newton's step collapses the device current, and
            // that node then wanders off over many iterations); after the
            // line has done so, the sweep's later points start from the last
            // point. Either start is also given up once its residuals stall
            // (kSweepStall iterations without halving).
            Eigen::VectorXd xp = x;
            Integration none, guarded;
            guarded.strayLimit = c_.options().vlimit;
            guarded.stallLimit = kSweepStall;
            ctx.srcScale = 1.0;
            bool done = false, strayed = false;
            Eigen::VectorXd lineAt, lastAt; // where a start stalled (empty: it did not)
            if (k >= 2 && extrapolate && startParts == 1 && !jumped) {
                x = 2.0 * xp - before;
                done = newton(x, ctx, guarded, c_.options().itl1, 0.0);
                if (!done && fault_.strayed) extrapolate = false;
                if (!done && fault_.stalled) lineAt = x;
                if (!done) x = xp;
            }
            before = xp;
            jumped = false;
            if (!done && startParts == 1) {
                done = newton(x, ctx, k > 0 ? guarded : none, c_.options().itl1, 0.0);
                strayed = !done && fault_.strayed;
                if (!done && fault_.stalled) lastAt = x;
            }
            // A start that stalled circles a fold with no solution near: the
            // pseudo-transient from the last point, held stiffly at first,
            // carries the model's internal nodes onto the branch beyond it.
            // When it fails, the stalled starts go on from where they stopped
            // (one may still fall onto the other branch).
            if (!done && (lineAt.size() > 0 || lastAt.size() > 0)) {
                PointNewton nw(*this, ctx);
                x = xp;
                // The stiff anchor's first conductance keeps the first step
                // beside the last point rather than throwing it past the fold again.
                done = pseudoTransientFrom(nw, x, c_.options().dc.ptranGStiff, 0, c_.options().dc.ptranShrink);
                jumped = done;
                Integration resumed = guarded;
                resumed.stallLimit = 0;
                for (Eigen::VectorXd* at : {&lineAt, &lastAt}) {
                    if (done || at->size() == 0) continue;
                    x = *at;
                    done = newton(x, ctx, resumed, c_.options().itl1, 0.0);
                    if (!done && fault_.strayed) {
                        if (at == &lineAt) extrapolate = false;
                        else strayed = true;
                    }
                }
                if (!done) x = xp;
            }
            // Then in smaller steps of the swept source from the last point.
            int used = 1;
            for (int parts = std::max(2, startParts); !done && k > 0 && parts <= kMaxSweepParts; parts *= 2) {
                x = xp;
                used = parts;
                done = true;
                for (int i = 1; i <= parts && done; ++i) {
                    wi->dc = v - inner.step + inner.step * i / parts;
                    done = newton(x, ctx, none, c_.options().itl1, 0.0);
                }
            }
            wi->dc = v;
            if (done && used > startParts && (startParts > 1 || strayed)) {
                startParts = used;
                calm = 0;
            } else if (done && startParts > 1 && ++calm >= kSweepCalmPoints) {
                startParts /= 2;
                calm = 0;
            }
            if (!done) {
                x = xp;
                if (!solveDc(x, ctx)) {
                    std::string at = inner.source + " = " + std::to_string(v);
                    if (outer) at += ", " + outer->source + " = " + std::to_string(vo);
                    throw SimError(failure(".dc: no convergence at " + at));
                }
            }
            if (k == 0) first = x;
            ++points;
            acceptAndStrobe(ctx, x, false);
            std::vector<double> row;
            if (outer) row.push_back(vo);
            row.push_back(v);
            for (auto& p : probes) row.push_back(p.value(x));
            t.rows.push_back(row);
        }
    }
    return t;
}

Table Simulator::ac(const std::string& type, int count, double fstart, double fstop, const std::vector<Probe>& probes) {
    acSweepRows(type, count, fstart, fstop);
    const double perDecade = type == "oct" ? count / std::log10(2.0) : count;
    Eigen::VectorXd x = operatingPoint();
    EvalContext ctx = makeContext(AnalysisKind::AC, VXR_ANALYSIS_AC);
    beginAnalysis(AnalysisKind::AC, ctx);
    ctx.loadMatrix = true;
    // The solves are refined against the matrix of the unrounded sums.
    ctx.carryRounding = true;
    c_.evaluate(ctx, x);
    Eigen::VectorXcd b = Eigen::VectorXcd::Zero(c_.size());
    for (auto& e : c_.elements()) e->loadAc(b);

    std::vector<double> freqs;
    if (type == "lin") {
        for (int i = 0; i < count; ++i) freqs.push_back(count == 1 ? fstart : fstart + (fstop - fstart) * i / (count - 1));
    } else {
        int n = static_cast<int>(std::floor(std::log10(fstop / fstart) * perDecade + 1e-9));
        for (int i = 0; i <= n; ++i) freqs.push_back(fstart * std::pow(10.0, i / perDecade));
    }
    Table& t = startTable("AC analysis");
    t.columns.push_back("frequency");
    for (auto& p : probes) t.columns.push_back(p.label);
    points = static_cast<long>(freqs.size());
    MatrixPattern& pattern = c_.pattern();
    std::vector<int> delaySlots;
    for (const auto& d : ctx.delayEntries) delaySlots.push_back(pattern.slot(d.row, d.col));
    for (auto* M : {&ctx.G, &ctx.C, &ctx.Glo, &ctx.Clo}) M->resize(pattern.size(), 0.0);
    MatrixSolver<std::complex<double>>& solver = MatrixSolver<std::complex<double>>::of(acSolver_, c_.options().solver);
    // Y + Ylo: the admittance matrix with each slot's rounding beside it.
    std::vector<std::complex<double>> Y, Ylo;
    for (double f : freqs) {
        const double w = 2 * kPi * f;
        Y.resize(ctx.G.size());
        Ylo.resize(ctx.G.size());
        for (size_t s = 0; s < Y.size(); ++s) {
            const double wc = w * ctx.C[s];
            Y[s] = {ctx.G[s], wc};
            Ylo[s] = {ctx.Glo[s], roundingOfProduct(w, ctx.C[s], wc) + w * ctx.Clo[s]};
        }
        for (size_t k = 0; k < ctx.delayEntries.size(); ++k) {
            const auto& d = ctx.delayEntries[k];
            const std::complex<double> v = d.value * (std::polar(1.0, -w * d.delay) - 1.0), y = Y[delaySlots[k]];
            Y[delaySlots[k]] += v;
            Ylo[delaySlots[k]] += std::complex<double>(roundingOfSum(y.real(), v.real(), Y[delaySlots[k]].real()),
                                                       roundingOfSum(y.imag(), v.imag(), Y[delaySlots[k]].imag()));
        }
        for (auto& e : c_.elements()) e->loadAcMatrix(Y, w);
        Eigen::VectorXcd X = b;
        if (c_.size()) {
            if (auto singular = solver.factor(pattern, c_.size(), Y))
                throw SimError(".ac at " + timeText(f) + " Hz: " + singularText(c_, singular->unknown(), true));
            solver.solveRefined(pattern, Y, X, &Ylo);
            ++linearSolves;
        }
        std::vector<double> row{f};
        for (auto& p : probes) {
            std::complex<double> z = p.phasor(X);
            switch (p.part) {
            case Probe::REAL: row.push_back(z.real()); break;
            case Probe::IMAG: row.push_back(z.imag()); break;
            case Probe::MAG: row.push_back(std::abs(z)); break;
            case Probe::PHASE: row.push_back(std::arg(z) * 180.0 / kPi); break;
            case Probe::DB: row.push_back(20.0 * std::log10(std::abs(z))); break;
            }
        }
        t.rows.push_back(row);
    }
    return t;
}

Table Simulator::tran(const TranSpec& setup, const std::vector<Probe>& probes) {
    const Options& o = c_.options();
    tranRows(setup);
    const int n = c_.size();
    resetStatistics();
    acceptedSteps.clear();
    OutputSampler sampler(setup, probes, startTable("Transient analysis"));

    // Initial point.
    EvalContext ctx = makeContext(AnalysisKind::TRAN, VXR_ANALYSIS_TRAN | VXR_ANALYSIS_IC | VXR_ANALYSIS_STATIC);
    beginAnalysis(AnalysisKind::TRAN, ctx);
    ctx.time = 0.0;
    ctx.initialStep = true;
    Eigen::VectorXd x = Eigen::VectorXd::Zero(n);
    if (!setup.uic && !solveDc(x, ctx)) throw SimError(failure("no convergence at the initial transient point"));
    // The point at time 0 is still the initial solution: it is loaded and
    // accepted under the initial analysis mask.
    ctx.loadMatrix = false;
    c_.evaluate(ctx, x);
    IntegrationMethod method(o.gear ? IntegrationMethod::GEAR
                             : o.trapezoidal ? IntegrationMethod::TRAPEZOIDAL
                                             : IntegrationMethod::EULER);
    method.restart(0.0, x, ctx.q);
    acceptAndStrobe(ctx, x, true);
    ctx.mask = VXR_ANALYSIS_TRAN;
    ctx.initialStep = false;
    sampler.record(0.0, x);
    if (onAccept) onAccept(0.0, x);
    StepController steps(c_, setup);
    steps.collectRequests(ctx, 0.0);

    double time = 0.0;
    bool newtonFailed = false; // the last try's Newton iteration failed
    while (time < setup.tstop * (1 - kTimeRounding)) {
        sampler.catchUp(time, x);
        // Next target: a print point, a breakpoint or the stop time.
        const double tBreak = steps.nextBreak(time, sampler.next());
        const PlannedStep s = steps.plan(time, sampler.target(tBreak), tBreak, method.fresh());
        rejectedSteps = steps.tried() - static_cast<long>(acceptedSteps.size());
        points = static_cast<long>(acceptedSteps.size());
        steps.countTry(time, s.h);

        const int order = method.stepOrder();
        Integration in;
        in.active = true;
        method.coefficients(order, s.h, in.a0, in.hist);
        const Eigen::VectorXd xp = method.predict(time + s.h);
        ctx.time = s.tNew;
        ctx.minStep = steps.minStep();
        ctx.finalStep = s.tNew >= setup.tstop * (1 - kTimeRounding);
        // After a failure Newton starts from the last accepted point: the
        // prediction from points before a sharp turn is what failed.
        Eigen::VectorXd xn = newtonFailed ? x : xp;
        if (!newton(xn, ctx, in, o.itl4, 0.0)) {
            steps.newtonFailed(failure("no convergence"), s.h, order == 2);
            newtonFailed = true;
            method.damp();
            continue;
        }
        newtonFailed = false;
        // A library found that the step went past a point it must not skip.
        if (steps.cutOntoEvent(ctx.crossPoint, time, s.h)) continue;
        const std::vector<char> stateful = statefulUnknowns(ctx, n);
        TruncationError lte;
        if (method.canEstimate()) {
            lte = steps.truncationError(method, stateful, xn, xp, x, ctx.q, s.h);
            bool damp = false;
            if (!steps.admits(lte, s.h, order, damp)) {
                if (damp) method.damp();
                continue;
            }
        }
        // Newton's last load pass was at xn: its values stand.
        ctx.loadMatrix = false;
        if (!evaluatedAtResult_) c_.evaluate(ctx, xn);
        if (steps.retryOntoEvent(ctx.crossPoint, time, s.tNew)) {
            method.damp();
            continue;
        }
        method.accept(s.tNew, xn, ctx.q, s.h, in.a0, in.hist);
        const Eigen::VectorXd xBefore = std::move(x);
        x = xn;
        time = s.tNew;
        acceptedSteps.push_back({s.h, order});
        acceptAndStrobe(ctx, x, true);
        steps.collectRequests(ctx, time);
        if (onAccept) onAccept(time, x);
        method.chooseOrder(lte.waived, stateful, c_.unknowns(), o, s.h);
        time = sampler.landed(time, s.h, x);
        // Not with gear, whose second order loses accuracy and stability at
        // a large step ratio.
        const bool backToPlanned = method.kind() != IntegrationMethod::GEAR;
        if (steps.accepted(time, s, order, lte, tBreak, backToPlanned)) method.restart(time, x, method.lastCharges());
        // A damped step after a second-order one is sized by the first-order
        // error the accepted points show, not by the second-order growth.
        else if (order == 2 && method.stepOrder() == 1 && !lte.waived && method.canEstimateFirstOrder())
            steps.dampedNext(s.h, steps.truncationError(method.latestFirstOrderFactor(), method, stateful, x,
                                                        method.predictLatestLinearly(), xBefore, ctx.q, s.h));
    }
    ctx.finalStep = false;
    rejectedSteps = steps.tried() - static_cast<long>(acceptedSteps.size());
    points = static_cast<long>(acceptedSteps.size());
    return table_;
}

} // namespace vxr
