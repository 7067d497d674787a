#include "vxrhost/AnalysisChecks.h"
#include "vxrhost/NameIndex.h"

#include <cmath>
#include <cstdio>

namespace vxr {

namespace {
// A parameter's value in a message.
std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

std::string atMost() { return " (at most " + num(kMaxAnalysisPoints) + ")"; }

} // namespace

long dcSweepSteps(const SweepSpec& s) {
    const double span = (s.stop - s.start) / s.step;
    if (s.step == 0 || span < 0) throw SimError(".dc: the step of " + s.source + " does not lead from start to stop");
    if (!(span <= kMaxAnalysisPoints)) throw SimError(".dc: too many points" + atMost());
    return static_cast<long>(std::floor(span + 1e-9));
}

double dcSweepRows(const SweepSpec& inner, const SweepSpec* outer) {
    double rows = static_cast<double>(dcSweepSteps(inner)) + 1.0;
    if (!outer) return rows;
    rows *= static_cast<double>(dcSweepSteps(*outer)) + 1.0;
    if (NameIndex::sameName(inner.source, outer->source)) throw SimError(".dc: both loops sweep '" + inner.source + "'");
    if (!(rows <= kMaxAnalysisPoints)) throw SimError(".dc: too many points" + atMost());
    return rows;
}

Waveform& sweptWaveform(Circuit& c, const std::string& source) {
    Element* e = c.find(source);
    if (!e) throw SimError(".dc: no source '" + source + "' in the circuit");
    if (auto* v = dynamic_cast<VoltageSource*>(e)) return v->waveform();
    if (auto* i = dynamic_cast<CurrentSource*>(e)) return i->waveform();
    throw SimError(".dc: '" + source + "' is not an independent source");
}

double acSweepRows(const std::string& type, double points, double fstart, double fstop) {
    const bool lin = type == "lin", oct = type == "oct";
    if (!lin && !oct && type != "dec") throw SimError(".ac: unknown sweep type '" + type + "'");
    if (!(points >= 1) || points != std::floor(points) || points > 1e6)
        throw SimError(".ac: bad number of points (" + num(points) + "; a whole number from 1 to 1e6)");
    if (!(fstart > 0) || !(fstop >= fstart))
        throw SimError(".ac: bad frequency range (fstart " + num(fstart) + ", fstop " + num(fstop) +
                       "; 0 < fstart <= fstop)");
    if (lin) return points;
    const double perDecade = oct ? points / std::log10(2.0) : points;
    const double steps = std::log10(fstop / fstart) * perDecade;
    if (!(steps <= kMaxAnalysisPoints)) throw SimError(".ac: too many points" + atMost());
    return steps + 1.0;
}

double tranRows(const TranSpec& t) {
    const char* why = !(t.tstep > 0)        ? "tstep must be positive"
                      : !(t.tstop > 0)        ? "tstop must be positive"
                      : !(t.tstart >= 0)      ? "tstart must not be negative"
                      : !(t.tstart < t.tstop) ? "tstart must be below tstop"
                      : !(t.tmax >= 0)        ? "tmax must not be negative"
                                              : nullptr;
    if (why)
        throw SimError(".tran: bad time parameters (tstep " + num(t.tstep) + ", tstop " + num(t.tstop) + ", tstart " +
                       num(t.tstart) + ", tmax " + num(t.tmax) + ": " + why + ")");
    if (!(t.tstop / t.tstep <= kMaxAnalysisPoints))
        throw SimError(".tran: too many output points (tstop / tstep = " + num(t.tstop / t.tstep) + "; at most " + num(kMaxAnalysisPoints) + ")");
    if (t.tmax > 0 && !(t.tstop / t.tmax <= kMaxAnalysisPoints))
        throw SimError(".tran: too many time steps (tstop / tmax = " + num(t.tstop / t.tmax) + "; at most " + num(kMaxAnalysisPoints) + ")");
    return (t.tstop - t.tstart) / t.tstep + 1.0;
}

void checkOutputSize(const std::string& kind, double rows, double columns) {
    if (rows * columns <= kMaxOutputValues) return;
    char buf[160];
    std::snprintf(buf, sizeof buf, ".%s: too much output (%.0f rows of %.0f columns; at most %.0f values)", kind.c_str(), std::floor(rows),
                  columns, kMaxOutputValues);
    throw SimError(buf);
}

} // namespace vxr
