#include "vxrhost/Analysis.h"
#include "vxrhost/DcContinuation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>

#include "VXR_Interface.h"
#include "vxrhost/TranMethod.h"

namespace vxr {

namespace {

// A time in a message: enough digits to tell a nanosecond event at 1 us apart.
std::string timeText(double t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", t);
    return buf;
}

// "node 'name'" or "branch 'name'".
std::string unknownLabel(const Circuit& c, int unknown) {
    const Unknown& u = c.unknowns()[unknown];
    return (u.isCurrent() ? "branch '" : "node '") + u.name + "'";
}

std::string singularText(const Circuit& c, int unknown) {
    return "singular matrix at " + unknownLabel(c, unknown) + " (a floating node or a loop of voltage sources?)";
}

// The first unknown whose entry of v is not finite (0 when all are).
int firstNonFinite(const Eigen::VectorXd& v) {
    for (Eigen::Index i = 0; i < v.size(); ++i)
        if (!std::isfinite(v[i])) return static_cast<int>(i);
    return 0;
}

// Halvings of the line search before it settles for the best trial.
constexpr int kMaxHalvings = 20;
// Consecutive cut steps after which a Newton run gives up on its own.
constexpr int kMaxCutRun = 10;
// Quarterings of the internal nodes' part of a step.
constexpr int kMaxInternalCuts = 24;
// Most parts a sweep step is cut into before the DC fallbacks.
constexpr int kMaxSweepParts = 8;

// Relative rounding of a time: points closer than this (or than the
// minimum step) are one point.
constexpr double kTimeRounding = 1e-12;
// A step that would end within this fraction of itself short of the target
// is stretched onto the target.
constexpr double kStretch = 0.01;
// The smallest step that still resolves the circuit, as a fraction of its
// shortest time scale; below it the truncation error does not cut the step.
constexpr double kResolvedFraction = 1e-4;
// An error this many times its tolerance at the floor step is a tolerance
// that no step meets, not a fast mode: the step is cut further.
constexpr double kWaivedErrorLimit = 1e12;
// A Newton failure at second order and a step up to this many floor steps is
// retried with the damped method before the step is cut.
constexpr double kDampedRetry = 1.0;

// What cut or held the transient's step last.
struct StepCut {
    enum Reason { NONE, TRUNCATION, NEWTON, EVENT, BREAKPOINT, BOUND } reason = NONE;
    int unknown = -1; // TRUNCATION: the unknown, its error and tolerance
    double err = 0.0, tol = 0.0;
    std::string newtonText; // NEWTON: Newton's failure text
    StepCut(Reason r = NONE, int u = -1, double e = 0.0, double t = 0.0) : reason(r), unknown(u), err(e), tol(t) {}
};

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
    for (auto& e : c_.elements()) {
        LimitGroup g;
        if (!e->limitGroup(g)) continue;
        // A terminal nothing else connects to (a monitor output) is the
        // element's own node as much as an internal one.
        for (int& t : g.terminals)
            if (t >= 0 && c_.nodeUses(t) == 1) {
                g.internals.push_back(t);
                t = -2;
            }
        std::erase(g.terminals, -2);
        std::erase_if(g.internals, [&](int i) { return i < 0 || i >= c_.size() || c_.unknowns()[i].isCurrent(); });
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
    for (auto& e : c_.elements()) {
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
    F = ctx.f;
    Eigen::VectorXd& mag = ctx.fmag; // summed in place: the next pass clears it
    if (in.active) {
        F += in.a0 * ctx.q + in.hist;
        mag += std::abs(in.a0) * ctx.qmag + in.hist.cwiseAbs();
        if (ctx.loadMatrix)
            for (size_t s = 0; s < ctx.G.size(); ++s) ctx.G[s] += in.a0 * ctx.C[s];
    }
    const auto& u = c_.unknowns();
    tol.resize(F.size());
    norm = 0.0;
    constexpr double kRoundoff = 8 * std::numeric_limits<double>::epsilon();
    Eigen::VectorXd& terms = terms_;
    terms = mag;
    if (ctx.loadMatrix) addAbsProducts(pattern, ctx.G, x, terms);
    for (int i = 0; i < F.size(); ++i) {
        if (gshunt > 0 && u[i].kind == Unknown::VOLTAGE) {
            F[i] += gshunt * (anchor ? x[i] - (*anchor)[i] : x[i]);
            if (ctx.loadMatrix) ctx.G[pattern.diagonal(i)] += gshunt;
        }
        tol[i] = o.reltol * mag[i] + u[i].rowTol(o) + kRoundoff * terms[i];
        double r = std::abs(F[i]) / tol[i];
        if (!std::isfinite(r)) r = HUGE_VAL;
        norm = std::max(norm, r);
    }
    // A branch current closes the KCL rows of its nodes, so it is determined
    // no better than their rounding: the smaller the time step, the more a
    // gate's charges leave its source's current uncertain.
    currentNoise_.setConstant(F.size(), HUGE_VAL);
    if (ctx.loadMatrix)
        for (size_t s = 0; s < ctx.G.size(); ++s) {
            const int r = pattern.row(static_cast<int>(s)), c = pattern.col(static_cast<int>(s));
            if (u[c].kind != Unknown::CURRENT || u[r].kind != Unknown::VOLTAGE || ctx.G[s] == 0.0) continue;
            currentNoise_[c] = std::min(currentNoise_[c], kRoundoff * terms[r] / std::abs(ctx.G[s]));
        }
    for (Eigen::Index i = 0; i < currentNoise_.size(); ++i)
        if (currentNoise_[i] == HUGE_VAL) currentNoise_[i] = 0.0;
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
    assemble(ctx, x, in, gshunt, F, tol, norm);
    bool small = false;
    int damped = 0;
    MatrixSolver<double>& solver = MatrixSolver<double>::of(realSolver_, o.solver);
    for (int it = 0; it < maxIter; ++it) {
        if (small && norm <= 1.0 && !ctx.prohibitConvergence) return evaluatedAtResult_ = true;
        ++newtonIterations; // factorisations
        for (int r = 0, bad = firstNonFiniteRow(c_.pattern(), ctx.G, n); r < n; ++r)
            if (r == bad || !std::isfinite(F[r])) {
                fault_ = {NewtonFault::NON_FINITE, r};
                return false;
            }
        if (auto singular = solver.factor(c_.pattern(), n, ctx.G)) {
            fault_ = {NewtonFault::SINGULAR, singular->column};
            fault_.singular = std::move(singular);
            return false;
        }
        dx = -F;
        solver.solve(dx);
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
        auto level = [&](const Eigen::VectorXd& r) {
            correction = r;
            solver.solve(correction);
            ++linearSolves;
            double m = correction.cwiseQuotient(w).squaredNorm();
            return std::isfinite(m) ? m : HUGE_VAL;
        };
        small = true;
        for (int i = 0; i < n && small; ++i) {
            const double t = stepTolerance(i, std::max(std::abs(x[i]), std::abs(x[i] + dx[i])), ctx, in);
            if (!(std::abs(dx[i]) <= t)) small = false;
        }
        const double m0 = dx.cwiseQuotient(w).squaredNorm(); // level(F), before the limits
        const double r0 = F.cwiseQuotient(tol).squaredNorm(); // the rows' residuals, for in.residualSearch
        dxWhole = dx;
        const bool clamped = limitInternalSteps(x, dx, dxInternal, in.terminalSpan);
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
            const double m = level(Ft);
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
        small = small && !clamped && whole;
        x = xt;
        F = Ft;
        tol = tolt;
        norm = normt;
        if (!x.allFinite()) {
            fault_ = {NewtonFault::NON_FINITE, firstNonFinite(x)};
            return false;
        }
        // A long run of cut steps is crawling: the caller's continuation
        // (gmin or source stepping) gets there sooner.
        damped = whole ? 0 : damped + 1;
        if (damped >= kMaxCutRun) break;
    }
    if (small && norm <= 1.0 && !ctx.prohibitConvergence) return evaluatedAtResult_ = true;
    noteNonConvergence(F, tol, dx, x, ctx, in);
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

// The largest Newton step of unknown i that counts as converged at a value of
// the given magnitude. A time-derivative variable is its charge's change over
// the time step: once that charge is within its own tolerance the variable is
// as well determined as the charge (a charge's rounding, divided by a small
// step, is a sizeable current), and its row's residual keeps it consistent with it. A
// branch current is as well determined as its nodes' rows (currentNoise_).
double Simulator::stepTolerance(int i, double magnitude, const EvalContext& ctx, const Integration& in) const {
    const Options& o = c_.options();
    const Unknown& u = c_.unknowns()[i];
    double t = o.reltol * magnitude + u.valueTol(o);
    if (u.kind == Unknown::CURRENT && i < currentNoise_.size()) t = std::max(t, currentNoise_[i]);
    if (in.active && u.kind == Unknown::DERIVATIVE)
        t = std::max(t, std::abs(in.a0) * (o.reltol * std::abs(ctx.q[i]) + u.chargeTol(o)));
    return t;
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
            fault_ = {NewtonFault::NOT_CONVERGED, i, true, step[i], t};
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
};

// Operating point: the continuation strategies in their order, each from
// the point's start, until one converges.
bool Simulator::solveDc(Eigen::VectorXd& x, EvalContext& ctx) {
    PointNewton nw(*this, ctx);
    const Eigen::VectorXd x0 = x;
    // The failure names the last fault a strategy met, even when that
    // strategy then stopped on its own limit after a converged run.
    NewtonFault last;
    for (const DcStrategy& s : dcStrategies()) {
        x = x0;
        ctx.srcScale = 1.0;
        nw.residualSearch = s.residualSearch;
        nw.terminalSpan = s.terminalSpan;
        const bool ok = s.run(nw, x);
        ctx.srcScale = 1.0;
        if (ok) return true;
        if (fault_.kind != NewtonFault::NONE) last = fault_;
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
// The waveform a DC sweep sets; throws when the name is not an independent source.
Waveform& sweptWaveform(Circuit& c, const std::string& source) {
    Element* e = c.find(source);
    if (auto* v = dynamic_cast<VoltageSource*>(e)) return v->waveform();
    if (auto* i = dynamic_cast<CurrentSource*>(e)) return i->waveform();
    throw SimError(".dc: '" + source + "' is not an independent source");
}

// Puts the swept sources back when the sweep ends, normally or not.
struct WaveformRestore {
    std::vector<std::pair<Waveform*, Waveform>> saved;
    ~WaveformRestore() {
        for (auto& [w, v] : saved) *w = v;
    }
};
} // namespace

long dcSweepSteps(const SweepSpec& s) {
    const double span = (s.stop - s.start) / s.step;
    if (s.step == 0 || span < 0) throw SimError(".dc: the step of " + s.source + " does not lead from start to stop");
    if (!(span <= kMaxAnalysisPoints)) throw SimError(".dc: too many points");
    return static_cast<long>(std::floor(span + 1e-9));
}

Table Simulator::dcSweep(const SweepSpec& inner, const std::vector<Probe>& probes, const SweepSpec* outer) {
    Waveform* wi = &sweptWaveform(c_, inner.source);
    const long ni = dcSweepSteps(inner);
    Waveform* wo = outer ? &sweptWaveform(c_, outer->source) : nullptr;
    const long no = outer ? dcSweepSteps(*outer) : 0;
    if (wo == wi) throw SimError(".dc: both loops sweep '" + inner.source + "'");
    if (!((ni + 1.0) * (no + 1.0) <= kMaxAnalysisPoints)) throw SimError(".dc: too many points");
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
        for (long k = 0; k <= ni; ++k) {
            const double v = inner.start + k * inner.step;
            wi->dc = v;
            // Continuation: start from the line through the last two points,
            // then from the last point, then the DC fallbacks.
            Eigen::VectorXd xp = x;
            Integration none;
            ctx.srcScale = 1.0;
            bool done = false;
            if (k >= 2) {
                x = 2.0 * xp - before;
                done = newton(x, ctx, none, c_.options().itl1, 0.0);
                if (!done) x = xp;
            }
            before = xp;
            if (!done) done = newton(x, ctx, none, c_.options().itl1, 0.0);
            // Then in smaller steps of the swept source from the last point.
            for (int parts = 2; !done && k > 0 && parts <= kMaxSweepParts; parts *= 2) {
                x = xp;
                done = true;
                for (int i = 1; i <= parts && done; ++i) {
                    wi->dc = v - inner.step + inner.step * i / parts;
                    done = newton(x, ctx, none, c_.options().itl1, 0.0);
                }
            }
            wi->dc = v;
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
    if (count < 1 || fstart <= 0 || fstop < fstart) throw SimError(".ac: bad frequency range");
    const double perDecade = type == "oct" ? count / std::log10(2.0) : count;
    if (type != "lin" && !(std::log10(fstop / fstart) * perDecade <= kMaxAnalysisPoints))
        throw SimError(".ac: too many points");
    Eigen::VectorXd x = operatingPoint();
    EvalContext ctx = makeContext(AnalysisKind::AC, VXR_ANALYSIS_AC);
    beginAnalysis(AnalysisKind::AC, ctx);
    ctx.loadMatrix = true;
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
    ctx.G.resize(pattern.size(), 0.0);
    ctx.C.resize(pattern.size(), 0.0);
    MatrixSolver<std::complex<double>>& solver = MatrixSolver<std::complex<double>>::of(acSolver_, c_.options().solver);
    std::vector<std::complex<double>> Y;
    for (double f : freqs) {
        const double w = 2 * kPi * f;
        Y.resize(ctx.G.size());
        for (size_t s = 0; s < Y.size(); ++s) Y[s] = {ctx.G[s], w * ctx.C[s]};
        for (size_t k = 0; k < ctx.delayEntries.size(); ++k) {
            const auto& d = ctx.delayEntries[k];
            Y[delaySlots[k]] += d.value * (std::polar(1.0, -w * d.delay) - 1.0);
        }
        for (auto& e : c_.elements()) e->loadAcMatrix(Y, w);
        Eigen::VectorXcd X = b;
        if (c_.size()) {
            if (auto singular = solver.factor(pattern, c_.size(), Y))
                throw SimError(".ac at " + timeText(f) + " Hz: " + singularText(c_, singular->unknown()));
            solver.solveRefined(pattern, Y, X);
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
    if (!(setup.tstep > 0) || !(setup.tstop > 0) || setup.tstart < 0 || setup.tstart >= setup.tstop)
        throw SimError(".tran: bad time parameters");
    const int n = c_.size();
    resetStatistics();
    acceptedSteps.clear();
    Table& t = startTable("Transient analysis");
    t.columns.push_back("time");
    for (auto& p : probes) t.columns.push_back(p.label);

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
    method.restart(ctx.q);
    acceptAndStrobe(ctx, x, true);
    ctx.mask = VXR_ANALYSIS_TRAN;
    ctx.initialStep = false;
    // Step requests of the libraries, made by the accepting evaluation and
    // the accept itself: a bound on the next step, a corner to step onto
    // next, and breakpoints that stand until they are reached.
    double requestedBound = 0.0;
    double corner = -1.0;
    std::vector<double> pending;
    auto collectRequests = [&](double at) {
        requestedBound = ctx.boundStep;
        corner = ctx.cornerStep > 0 ? at + ctx.cornerStep : -1.0;
        for (double b : ctx.breakRequests) pending.push_back(b);
    };
    collectRequests(0.0);
    double eventTarget = -1.0; // a passed-over event time the step is retried onto
    int eventRetries = 0;
    constexpr int kMaxEventRetries = 20;
    auto record = [&](double time, const Eigen::VectorXd& xv) {
        if (time < setup.tstart * (1 - 1e-12)) return;
        std::vector<double> row{time};
        for (auto& p : probes) row.push_back(p.value(xv));
        t.rows.push_back(row);
    };
    record(0.0, x);
    if (onAccept) onAccept(0.0, x);

    const double hmax = setup.tmax > 0 ? setup.tmax : std::min(setup.tstep, setup.tstop / 50.0);
    if (!(setup.tstop / hmax <= kMaxAnalysisPoints)) throw SimError(".tran: too many time steps");
    // Steps tried, rejected ones included: a circuit that keeps the step
    // near its minimum stops with an error instead of running on.
    const double stepLimit =
        o.tranStepLimit > 0 ? static_cast<double>(o.tranStepLimit) : 1e6 + 50.0 * std::ceil(setup.tstop / hmax);
    double stepsTried = 0;
    // Why the step was last cut, for the message when it becomes too small
    // or the run takes too many steps.
    StepCut cut;
    const double hmin = setup.tstop * 1e-15;
    // The circuit's own time scale: the print step, the largest step and the
    // shortest segment of a source's waveform. A step below a small fraction
    // of it resolves nothing the circuit does; what still asks for one is a
    // mode far faster than the circuit, which the damped method follows.
    double timeScale = std::min(setup.tstep, hmax);
    for (auto& e : c_.elements()) {
        std::vector<double> corners;
        e->breakpoints(0.0, setup.tstop, corners);
        std::sort(corners.begin(), corners.end());
        for (size_t k = 1; k < corners.size(); ++k)
            if (corners[k] - corners[k - 1] > kTimeRounding * corners[k]) timeScale = std::min(timeScale, corners[k] - corners[k - 1]);
    }
    const double hfloor = std::max(kResolvedFraction * timeScale, 2.0 * hmin);
    // Time points (print points, breakpoints, corners, events) closer than
    // this are one point: no step is planned between them.
    auto samePoint = [&](double a, double b) {
        return std::abs(a - b) <= std::max(hmin, kTimeRounding * std::max(std::abs(a), std::abs(b)));
    };
    double h = std::min(hmax, setup.tstep) / 100.0;
    double time = 0.0;
    int order = 1;
    long nextOut = 1;
    std::vector<std::pair<double, Eigen::VectorXd>> hist{{0.0, x}}; // accepted points, latest last
    std::vector<Eigen::VectorXd> recent; // the last four accepted points, for the ringing check

    while (time < setup.tstop * (1 - 1e-12)) {
        // Next target: an output point, a source breakpoint or the stop time.
        double tOut = std::min(setup.tstop, nextOut * setup.tstep);
        // A print point the last accepted time already stands on.
        if (samePoint(time, tOut) && tOut < setup.tstop) {
            record(tOut, x);
            ++nextOut;
            continue;
        }
        std::vector<double> bps;
        // Later ones cannot be the target.
        for (auto& e : c_.elements()) e->breakpoints(time, tOut, bps);
        for (double b : pending)
            if (b > time) bps.push_back(b);
        if (corner > time) bps.push_back(corner);
        if (eventTarget > time) bps.push_back(eventTarget);
        double tBreak = setup.tstop;
        for (double b : bps)
            if (b > time && !samePoint(b, time)) tBreak = std::min(tBreak, b);
        // A breakpoint that is one point with the print point is the target;
        // the print point is recorded there.
        double target = samePoint(tOut, tBreak) ? tBreak : std::min(tOut, tBreak);
        double hh = std::min({h, hmax, target - time});
        StepCut::Reason heldBy = target - time < std::min(h, hmax) ? StepCut::BREAKPOINT : StepCut::NONE;
        // The first step after the start or a discontinuity has no history
        // for a truncation-error estimate: it takes at most a tenth of the
        // way to the next breakpoint, so that a source's fast first segment
        // is not crossed in one or two unchecked steps (a segment of a few
        // minimum steps still gets steps of twice the minimum).
        if (hist.size() == 1 && tBreak < setup.tstop) hh = std::min(hh, std::max(0.1 * (tBreak - time), 2.0 * hmin));
        if (requestedBound > 0 && requestedBound < hh) {
            hh = requestedBound;
            heldBy = StepCut::BOUND;
        }
        // A step just short of the target is stretched onto it, unless a
        // bound forbids; no step leaves less than the minimum step to the target.
        const double rest = target - (time + hh);
        if (rest < std::max(kStretch * hh, hmin)) {
            if (!(requestedBound > 0 && target - time > requestedBound) || rest < hmin) hh = target - time;
        }
        if (hh < hmin) {
            const StepCut why = heldBy == StepCut::NONE ? cut : StepCut(heldBy);
            char buf[64];
            std::snprintf(buf, sizeof buf, "; step %.3g s, minimum %.3g s)", hh, hmin);
            throw SimError("time step too small at t = " + timeText(time) + " (" + cutText(c_, why) + buf);
        }
        // A step that ends on the target lands on it exactly, so that a
        // requested corner or breakpoint is itself the accepted time.
        const double tNew = hh == target - time ? target : time + hh;
        rejectedSteps = static_cast<long>(stepsTried) - static_cast<long>(acceptedSteps.size());
        points = static_cast<long>(acceptedSteps.size());
        if (++stepsTried > stepLimit) {
            char buf[160];
            std::snprintf(buf, sizeof buf, " (limit %.0f steps tried, raised by .options tranlimit; step %.3g s; ", stepLimit,
                          hh);
            throw SimError("too many time steps at t = " + timeText(time) + buf + cutText(c_, cut) + ")");
        }

        Integration in;
        in.active = true;
        method.coefficients(order, hh, in.a0, in.hist);
        // Predictor from the accepted history.
        const size_t m = hist.size();
        const Eigen::VectorXd xp = predictUnknowns(hist, order, time + hh);
        ctx.time = tNew;
        ctx.minStep = hmin;
        ctx.finalStep = tNew >= setup.tstop * (1 - 1e-12);
        Eigen::VectorXd xn = xp;
        if (!newton(xn, ctx, in, o.itl4, 0.0)) {
            cut = StepCut(StepCut::NEWTON);
            cut.newtonText = failure("no convergence");
            // At a small step the damped method is tried before the step is cut.
            if (!(order == 2 && hh <= kDampedRetry * hfloor)) h = hh / 8;
            order = 1;
            continue;
        }
        // A library found that the step went past a point it must not skip.
        if (ctx.crossPoint > time + hmin && ctx.crossPoint < time + hh * (1 - 1e-9)) {
            h = ctx.crossPoint - time;
            cut = StepCut(StepCut::EVENT);
            continue;
        }
        // Only the unknowns that a charge or flux depends on carry the
        // integration's state. The others (a source's current, a
        // time-derivative variable, a node without capacitance) follow them
        // algebraically, and at a small step they carry the Newton error of a
        // capacitor's voltage divided by the step.
        std::vector<char> stateful(n, 0);
        for (size_t s = 0; s < ctx.C.size(); ++s)
            if (ctx.C[s] != 0.0) stateful[ctx.pattern->col(static_cast<int>(s))] = 1;
        // Truncation error from the difference of corrector and predictor.
        double ratio = 0.0;
        bool waived = false;
        int worst = -1;
        double worstErr = 0.0, worstTol = 0.0;
        bool haveLte = (order == 1 && m >= 2) || (order == 2 && m >= 3);
        if (haveLte) {
            double h1 = hist[m - 1].first - hist[m - 2].first;
            const double h2 = m >= 3 ? hist[m - 2].first - hist[m - 3].first : 0.0;
            const double factor = method.errorFactor(order, hh, h1, h2);
            const auto& u = c_.unknowns();
            for (int i = 0; i < n; ++i) {
                if (!stateful[i]) continue;
                double err = std::abs(xn[i] - xp[i]) * factor;
                double tol = o.reltol * std::max(std::abs(xn[i]), std::abs(x[i])) + u[i].valueTol(o);
                if (u[i].kind == Unknown::DERIVATIVE) {
                    // The variable is s times a charge's current: the charge's own
                    // tolerance over the step may be the looser one.
                    double q = std::max({std::abs(ctx.q[i]), std::abs(method.lastCharges()[i]), u[i].chargeTol(o)});
                    tol = std::max(tol, o.reltol * q / hh);
                }
                if (err / (o.trtol * tol) > ratio) {
                    ratio = err / (o.trtol * tol);
                    worst = i;
                    worstErr = err;
                    worstTol = o.trtol * tol;
                }
            }
            waived = false;
            if (ratio > 1.0 && ratio < kWaivedErrorLimit && hh <= hfloor * (1 + 1e-9) && order == 1) {
                // At the floor the error comes from a mode far faster than the
                // circuit: the damped step is taken.
                waived = true;
            } else if (ratio > 1.0) {
                cut = StepCut(StepCut::TRUNCATION, worst, worstErr, worstTol);
                h = hh * std::max(0.1, 0.9 * std::pow(ratio, -1.0 / (order + 1)));
                if (h < hfloor && ratio < kWaivedErrorLimit) {
                    h = std::min(hfloor, hh);
                    order = 1;
                }
                continue;
            }
        }
        // Accept, unless the step passed over an event: then it is tried
        // again onto the event's time (a bounded number of times).
        // Newton's last load pass was at xn: its values stand.
        ctx.loadMatrix = false;
        if (!evaluatedAtResult_) c_.evaluate(ctx, xn);
        if (ctx.crossPoint > time + hmin && ctx.crossPoint < tNew && eventRetries < kMaxEventRetries) {
            eventTarget = ctx.crossPoint;
            ++eventRetries;
            order = 1;
            continue;
        }
        eventTarget = -1.0;
        eventRetries = 0;
        method.accept(ctx.q, hh, in.a0, in.hist);
        x = xn;
        time = tNew;
        acceptedSteps.push_back({hh, order});
        acceptAndStrobe(ctx, x, true);
        collectRequests(time);
        if (onAccept) onAccept(time, x);
        hist.push_back({time, x});
        if (hist.size() > 3) hist.erase(hist.begin());
        // The trapezoidal rule leaves a stiff mode (a capacitance behind a
        // small resistance, far faster than the step) alternating from point
        // to point without decay once something excited it, and so it does
        // an error in a time-derivative variable, which the rule carries
        // from step to step. A state or such a variable whose last three
        // changes alternate in sign, above a thousandth of its tolerance
        // (for the variable, its charge's over the step counts too), is
        // ringing: the next step is backward Euler, which damps such a mode
        // in one step, and the next check waits for three new changes.
        recent.push_back(x);
        if (recent.size() > 4) recent.erase(recent.begin());
        bool ringing = false;
        if (order == 2 && method.kind() == IntegrationMethod::TRAPEZOIDAL && recent.size() == 4) {
            const auto& u = c_.unknowns();
            for (int i = 0; i < n && !ringing; ++i) {
                const bool derivative = u[i].kind == Unknown::DERIVATIVE;
                if (!stateful[i] && !derivative) continue;
                const double d1 = recent[3][i] - recent[2][i], d2 = recent[2][i] - recent[1][i];
                const double d3 = recent[1][i] - recent[0][i];
                double tol = o.reltol * std::abs(recent[3][i]) + u[i].valueTol(o);
                if (derivative) tol = std::max(tol, o.reltol * std::max(std::abs(method.lastCharges()[i]), u[i].chargeTol(o)) / hh);
                const double floor = 1e-3 * tol;
                ringing = d1 * d2 < 0 && d2 * d3 < 0 && std::abs(d1) > floor && std::abs(d2) > floor;
            }
            if (ringing) recent.clear();
        }
        if (samePoint(time, tOut) || std::abs(time - tOut) <= 1e-9 * hh) {
            time = tOut;
            record(time, x);
            ++nextOut;
        }
        double grow = haveLte ? std::min(2.0, 0.9 * std::pow(std::max(ratio, 1e-12), -1.0 / (order + 1))) : 2.0;
        h = hh * std::max(grow, 0.5);
        if (waived) h = hfloor;
        if ((samePoint(time, tBreak) || std::abs(time - tBreak) <= 1e-9 * hh) && tBreak < setup.tstop) {
            // Restart after a discontinuity: first order, small step, no history.
            order = 1;
            hist.assign(1, {time, x});
            method.restart(method.lastCharges());
            h = std::min(hmax, setup.tstep) / 100.0;
            pending.erase(std::remove_if(pending.begin(), pending.end(), [&](double b) { return b <= time * (1 + 1e-12); }),
                          pending.end());
            recent.clear();
        } else {
            order = method.order() == 2 && !ringing && !waived ? 2 : 1;
        }
    }
    ctx.finalStep = false;
    rejectedSteps = static_cast<long>(stepsTried) - static_cast<long>(acceptedSteps.size());
    points = static_cast<long>(acceptedSteps.size());
    return t;
}

} // namespace vxr
