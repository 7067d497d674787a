#include "vxrhost/Analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "VXR_Interface.h"

namespace vxr {

namespace {

// Solves A x = b; throws with the name of the offending unknown when A is singular.
template <class Mat, class Vec> Vec solveLinear(const Mat& A, const Vec& b, const Circuit& c) {
    Eigen::PartialPivLU<Mat> lu(A);
    auto d = lu.matrixLU().diagonal().cwiseAbs();
    double mx = d.size() ? d.maxCoeff() : 0.0;
    for (Eigen::Index i = 0; i < d.size(); ++i)
        if (!(d[i] > mx * 1e-15) || mx == 0.0) {
            Eigen::Index col = i;
            std::string n = col < static_cast<Eigen::Index>(c.unknowns().size()) ? c.unknowns()[col].name : "?";
            throw SimError("singular matrix (floating node or loop of voltage sources?) near unknown '" + n + "'");
        }
    return lu.solve(b);
}
} // namespace

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

std::string Table::text() const {
    std::ostringstream o;
    if (!title.empty()) o << title << "\n";
    std::vector<size_t> w(columns.size(), 14);
    for (size_t i = 0; i < columns.size(); ++i) w[i] = std::max(w[i], columns[i].size() + 2);
    for (size_t i = 0; i < columns.size(); ++i) {
        char buf[256];
        std::snprintf(buf, sizeof buf, "%*s", static_cast<int>(w[i]), columns[i].c_str());
        o << buf;
    }
    o << "\n";
    for (auto& r : rows) {
        for (size_t i = 0; i < r.size() && i < w.size(); ++i) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%*.6e", static_cast<int>(w[i]), r[i]);
            o << buf;
        }
        o << "\n";
    }
    return o.str();
}

std::string Table::csv() const {
    std::ostringstream o;
    for (size_t i = 0; i < columns.size(); ++i) o << (i ? "," : "") << columns[i];
    o << "\n";
    for (auto& r : rows) {
        for (size_t i = 0; i < r.size(); ++i) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.17g", r[i]);
            o << (i ? "," : "") << buf;
        }
        o << "\n";
    }
    return o.str();
}

Simulator::Simulator(Circuit& c) : c_(c) { c_.setup(); }

EvalContext Simulator::makeContext(AnalysisKind kind, unsigned long mask) const {
    EvalContext ctx;
    ctx.analysis = kind;
    ctx.mask = mask;
    return ctx;
}

void Simulator::beginAnalysis(AnalysisKind kind, EvalContext& ctx) {
    newtonIterations = 0;
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

// F = f + (a0 q + hist) + gshunt * v; the weighted norm is the largest ratio of
// a residual to its tolerance (reltol of the row's largest contribution plus
// the absolute tolerance of the row's kind).
void Simulator::assemble(EvalContext& ctx, const Eigen::VectorXd& x, const Integration& in, double gshunt,
                         Eigen::VectorXd& F, double& norm) {
    c_.evaluate(ctx, x);
    const Options& o = c_.options();
    F = ctx.f;
    Eigen::VectorXd mag = ctx.fmag;
    if (in.active) {
        F += in.a0 * ctx.q + in.hist;
        mag += std::abs(in.a0) * ctx.qmag + in.hist.cwiseAbs();
        if (ctx.loadMatrix) ctx.G += in.a0 * ctx.C;
    }
    const auto& u = c_.unknowns();
    norm = 0.0;
    for (int i = 0; i < F.size(); ++i) {
        if (gshunt > 0 && !u[i].isCurrent) {
            F[i] += gshunt * x[i];
            if (ctx.loadMatrix) ctx.G(i, i) += gshunt;
        }
        double tol = o.reltol * mag[i] + (u[i].isCurrent ? o.vntol : o.abstol);
        double r = std::abs(F[i]) / tol;
        if (!std::isfinite(r)) r = HUGE_VAL;
        norm = std::max(norm, r);
    }
}

bool Simulator::newton(Eigen::VectorXd& x, EvalContext& ctx, const Integration& in, int maxIter, double gshunt) {
    const Options& o = c_.options();
    const auto& u = c_.unknowns();
    const int n = c_.size();
    if (n == 0) return true;
    Eigen::VectorXd F, Ft, xt;
    double norm = 0, normt = 0;
    ctx.loadMatrix = true;
    assemble(ctx, x, in, gshunt, F, norm);
    bool small = false;
    for (int it = 0; it < maxIter; ++it) {
        ++newtonIterations;
        if (small && norm <= 1.0 && !ctx.prohibitConvergence) return true;
        Eigen::MatrixXd J = ctx.G;
        Eigen::VectorXd dx = solveLinear<Eigen::MatrixXd, Eigen::VectorXd>(J, -F, c_);
        if (!dx.allFinite()) return false;
        double lambda = 1.0;
        for (int k = 0;; ++k) {
            xt = x + lambda * dx;
            assemble(ctx, xt, in, gshunt, Ft, normt);
            // Damping: halve the step while the residual grows.
            if ((std::isfinite(normt) && (normt <= norm || normt <= 1.0)) || k >= 10) break;
            lambda *= 0.5;
        }
        small = lambda == 1.0;
        for (int i = 0; i < n && small; ++i) {
            double tol = o.reltol * std::max(std::abs(x[i]), std::abs(xt[i])) + (u[i].isCurrent ? o.abstol : o.vntol);
            if (!(std::abs(xt[i] - x[i]) <= tol)) small = false;
        }
        x = xt;
        F = Ft;
        norm = normt;
        if (!x.allFinite()) return false;
    }
    return small && norm <= 1.0 && !ctx.prohibitConvergence;
}

// Operating point with the fallbacks: plain Newton, gmin stepping, source stepping.
bool Simulator::solveDc(Eigen::VectorXd& x, EvalContext& ctx) {
    const Options& o = c_.options();
    Integration none;
    Eigen::VectorXd x0 = x;
    ctx.srcScale = 1.0;
    if (newton(x, ctx, none, o.itl1, 0.0)) return true;

    x = x0;
    bool ok = true;
    for (double g = 1e-2; g >= o.gmin * 0.999; g /= 10) {
        if (!newton(x, ctx, none, o.itl1, g)) {
            ok = false;
            break;
        }
    }
    if (ok && newton(x, ctx, none, o.itl1, 0.0)) return true;

    x.setZero(c_.size());
    double s = 0.0, ds = 0.1;
    Eigen::VectorXd xs = x;
    while (s < 1.0) {
        double sn = std::min(1.0, s + ds);
        ctx.srcScale = sn;
        Eigen::VectorXd xt = xs;
        if (newton(xt, ctx, none, o.itl1, 0.0)) {
            xs = xt;
            s = sn;
            ds = std::min(ds * 2, 0.25);
        } else {
            ds /= 4;
            if (ds < 1e-6) break;
        }
    }
    ctx.srcScale = 1.0;
    if (s >= 1.0) {
        x = xs;
        return true;
    }
    return false;
}

Eigen::VectorXd Simulator::operatingPoint() {
    EvalContext ctx = makeContext(AnalysisKind::OP, VXR_ANALYSIS_DC | VXR_ANALYSIS_STATIC);
    beginAnalysis(AnalysisKind::OP, ctx);
    Eigen::VectorXd x = Eigen::VectorXd::Zero(c_.size());
    if (!solveDc(x, ctx)) throw SimError("no convergence at the operating point");
    acceptAndStrobe(ctx, x, false);
    return x;
}

Table Simulator::op(const std::vector<Probe>& probes) {
    Eigen::VectorXd x = operatingPoint();
    Table t;
    t.title = "Operating point";
    std::vector<double> row;
    for (auto& p : probes) {
        t.columns.push_back(p.label);
        row.push_back(p.value(x));
    }
    t.rows.push_back(row);
    return t;
}

Table Simulator::dcSweep(const std::string& source, double start, double stop, double step,
                         const std::vector<Probe>& probes) {
    Element* e = c_.find(source);
    Waveform* w = nullptr;
    if (auto* v = dynamic_cast<VoltageSource*>(e)) w = &v->waveform();
    if (auto* i = dynamic_cast<CurrentSource*>(e)) w = &i->waveform();
    if (!w) throw SimError(".dc: '" + source + "' is not an independent source");
    if (step == 0 || (stop - start) / step < 0) throw SimError(".dc: the step does not lead from start to stop");
    if (!((stop - start) / step <= kMaxAnalysisPoints)) throw SimError(".dc: too many points");
    Waveform saved = *w;
    w->kind = Waveform::DC;
    Table t;
    t.title = "DC sweep of " + source;
    t.columns.push_back(source);
    for (auto& p : probes) t.columns.push_back(p.label);
    EvalContext ctx = makeContext(AnalysisKind::DC, VXR_ANALYSIS_DC | VXR_ANALYSIS_STATIC);
    beginAnalysis(AnalysisKind::DC, ctx);
    Eigen::VectorXd x = Eigen::VectorXd::Zero(c_.size());
    long n = static_cast<long>(std::floor((stop - start) / step + 1e-9));
    try {
        for (long k = 0; k <= n; ++k) {
            double v = start + k * step;
            w->dc = v;
            // Continuation: start from the previous point.
            Eigen::VectorXd xp = x;
            Integration none;
            ctx.srcScale = 1.0;
            if (!newton(x, ctx, none, c_.options().itl1, 0.0)) {
                x = xp;
                if (!solveDc(x, ctx)) throw SimError(".dc: no convergence at " + source + " = " + std::to_string(v));
            }
            acceptAndStrobe(ctx, x, false);
            std::vector<double> row{v};
            for (auto& p : probes) row.push_back(p.value(x));
            t.rows.push_back(row);
        }
    } catch (...) {
        *w = saved;
        throw;
    }
    *w = saved;
    return t;
}

Table Simulator::ac(const std::string& type, int points, double fstart, double fstop, const std::vector<Probe>& probes) {
    if (points < 1 || fstart <= 0 || fstop < fstart) throw SimError(".ac: bad frequency range");
    const double perDecade = type == "oct" ? points / std::log10(2.0) : points;
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
        for (int i = 0; i < points; ++i) freqs.push_back(points == 1 ? fstart : fstart + (fstop - fstart) * i / (points - 1));
    } else {
        int n = static_cast<int>(std::floor(std::log10(fstop / fstart) * perDecade + 1e-9));
        for (int i = 0; i <= n; ++i) freqs.push_back(fstart * std::pow(10.0, i / perDecade));
    }
    Table t;
    t.title = "AC analysis";
    t.columns.push_back("frequency");
    for (auto& p : probes) t.columns.push_back(p.label);
    for (double f : freqs) {
        Eigen::MatrixXcd Y = ctx.G.cast<std::complex<double>>() + std::complex<double>(0, 2 * kPi * f) * ctx.C.cast<std::complex<double>>();
        for (auto& e : c_.elements()) e->loadAcMatrix(Y, 2 * kPi * f);
        Eigen::VectorXcd X = c_.size() ? solveLinear<Eigen::MatrixXcd, Eigen::VectorXcd>(Y, b, c_) : b;
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
    acceptedSteps.clear();
    Table t;
    t.title = "Transient analysis";
    t.columns.push_back("time");
    for (auto& p : probes) t.columns.push_back(p.label);

    // Initial point.
    EvalContext ctx = makeContext(AnalysisKind::TRAN, VXR_ANALYSIS_TRAN | VXR_ANALYSIS_IC | VXR_ANALYSIS_STATIC);
    beginAnalysis(AnalysisKind::TRAN, ctx);
    ctx.time = 0.0;
    ctx.initialStep = true;
    Eigen::VectorXd x = Eigen::VectorXd::Zero(n);
    if (!setup.uic && !solveDc(x, ctx)) throw SimError("no convergence at the initial transient point");
    ctx.mask = VXR_ANALYSIS_TRAN;
    ctx.loadMatrix = false;
    c_.evaluate(ctx, x);
    Eigen::VectorXd qPrev = ctx.q, qdotPrev = Eigen::VectorXd::Zero(n);
    acceptAndStrobe(ctx, x, true);
    ctx.initialStep = false;
    auto record = [&](double time, const Eigen::VectorXd& xv) {
        if (time < setup.tstart * (1 - 1e-12)) return;
        std::vector<double> row{time};
        for (auto& p : probes) row.push_back(p.value(xv));
        t.rows.push_back(row);
    };
    record(0.0, x);

    const double hmax = setup.tmax > 0 ? setup.tmax : std::min(setup.tstep, setup.tstop / 50.0);
    if (!(setup.tstop / hmax <= kMaxAnalysisPoints)) throw SimError(".tran: too many time steps");
    // Steps tried, rejected ones included: a circuit that keeps the step
    // near its minimum stops with an error instead of running on.
    const double stepLimit =
        o.tranStepLimit > 0 ? static_cast<double>(o.tranStepLimit) : 1e6 + 50.0 * std::ceil(setup.tstop / hmax);
    double stepsTried = 0;
    const double hmin = setup.tstop * 1e-15;
    double h = std::min(hmax, setup.tstep) / 100.0;
    double time = 0.0;
    int order = 1;
    long nextOut = 1;
    std::vector<std::pair<double, Eigen::VectorXd>> hist{{0.0, x}}; // accepted points, latest last
    double requestedBound = 0.0;
    std::vector<double> pending; // requested breakpoints of the libraries

    while (time < setup.tstop * (1 - 1e-12)) {
        // Next target: an output point, a source breakpoint or the stop time.
        double tOut = std::min(setup.tstop, nextOut * setup.tstep);
        std::vector<double> bps;
        for (auto& e : c_.elements()) e->breakpoints(time, tOut, bps); // later ones cannot be the target
        for (double b : pending)
            if (b > time) bps.push_back(b);
        double tBreak = setup.tstop;
        for (double b : bps)
            if (b > time * (1 + 1e-12) + hmin) tBreak = std::min(tBreak, b);
        double target = std::min(tOut, tBreak);
        double hh = std::min({h, hmax, target - time});
        if (requestedBound > 0) hh = std::min(hh, requestedBound);
        if (target - (time + hh) < 0.01 * hh) hh = target - time;
        if (hh < hmin) throw SimError("time step too small at t = " + std::to_string(time));
        if (++stepsTried > stepLimit) throw SimError("too many time steps at t = " + std::to_string(time));

        Integration in;
        in.active = true;
        if (order == 1) {
            in.a0 = 1.0 / hh;
            in.hist = -qPrev / hh;
        } else {
            in.a0 = 2.0 / hh;
            in.hist = -2.0 / hh * qPrev - qdotPrev;
        }
        // Predictor from the accepted history.
        Eigen::VectorXd xp = x;
        size_t m = hist.size();
        if (m >= 2) {
            auto& [t1, x1] = hist[m - 1];
            auto& [t0, x0] = hist[m - 2];
            xp = x1 + (x1 - x0) * ((time + hh - t1) / (t1 - t0));
            if (order == 2 && m >= 3) {
                auto& [tm, xm] = hist[m - 3];
                double tn = time + hh;
                // Quadratic (Lagrange) extrapolation.
                double l0 = (tn - t0) * (tn - t1) / ((tm - t0) * (tm - t1));
                double l1 = (tn - tm) * (tn - t1) / ((t0 - tm) * (t0 - t1));
                double l2 = (tn - tm) * (tn - t0) / ((t1 - tm) * (t1 - t0));
                xp = l0 * xm + l1 * x0 + l2 * x1;
            }
        }
        ctx.time = time + hh;
        ctx.minStep = hmin;
        Eigen::VectorXd xn = (m >= 2) ? xp : x;
        if (!newton(xn, ctx, in, o.itl4, 0.0)) {
            h = hh / 8;
            order = 1;
            continue;
        }
        // Truncation error from the difference of corrector and predictor.
        double ratio = 0.0;
        bool haveLte = (order == 1 && m >= 2) || (order == 2 && m >= 3);
        if (haveLte) {
            double h1 = hist[m - 1].first - hist[m - 2].first;
            double factor;
            if (order == 1) {
                factor = hh / h1;
            } else {
                double h2 = hist[m - 2].first - hist[m - 3].first;
                factor = hh * hh / (2.0 * (hh + h1) * (hh + h1 + h2));
            }
            const auto& u = c_.unknowns();
            for (int i = 0; i < n; ++i) {
                double err = std::abs(xn[i] - xp[i]) * factor;
                double tol = o.trtol * (o.reltol * std::max(std::abs(xn[i]), std::abs(x[i])) + (u[i].isCurrent ? o.abstol : o.vntol));
                ratio = std::max(ratio, err / tol);
            }
            if (ratio > 1.0) {
                h = hh * std::max(0.1, 0.9 * std::pow(ratio, -1.0 / (order + 1)));
                continue;
            }
        }
        // Accept.
        ctx.loadMatrix = false;
        c_.evaluate(ctx, xn);
        requestedBound = ctx.boundStep;
        for (double b : ctx.breakRequests) pending.push_back(b);
        Eigen::VectorXd qNew = ctx.q;
        qdotPrev = in.a0 * qNew + in.hist;
        qPrev = qNew;
        x = xn;
        time += hh;
        acceptedSteps.push_back({hh, order});
        acceptAndStrobe(ctx, x, true);
        hist.push_back({time, x});
        if (hist.size() > 3) hist.erase(hist.begin());
        if (std::abs(time - tOut) <= 1e-9 * hh) {
            time = tOut;
            record(time, x);
            ++nextOut;
        }
        double grow = haveLte ? std::min(2.0, 0.9 * std::pow(std::max(ratio, 1e-12), -1.0 / (order + 1))) : 2.0;
        h = hh * std::max(grow, 0.5);
        if (std::abs(time - tBreak) <= 1e-9 * hh && tBreak < setup.tstop) {
            // Restart after a discontinuity: first order, small step, no history.
            order = 1;
            hist.assign(1, {time, x});
            qdotPrev.setZero(n);
            h = std::min(hmax, setup.tstep) / 100.0;
            pending.erase(std::remove_if(pending.begin(), pending.end(), [&](double b) { return b <= time * (1 + 1e-12); }),
                          pending.end());
        } else {
            order = o.trapezoidal ? 2 : 1;
        }
    }
    return t;
}

} // namespace vxr
