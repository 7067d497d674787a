// The checks of an analysis's parameters, made in one place for the netlist
// reader (which puts the line in front) and for the analyses themselves.
// Each throws SimError; each returns the rows the analysis will have.
#pragma once

#include "vxrhost/Analysis.h"

#include <string>

namespace vxr {

// Steps of a sweep loop (its points less one); throws when the step does not
// lead from start to stop or the loop has too many points.
long dcSweepSteps(const SweepSpec& s);

// Rows of a DC sweep, the outer loop (if any) times the inner one; the two
// loops must sweep different sources.
double dcSweepRows(const SweepSpec& inner, const SweepSpec* outer);

// The waveform a DC sweep sets; throws when the name is not an independent source.
Waveform& sweptWaveform(Circuit& c, const std::string& source);

// Rows of an AC sweep of type "dec", "oct" or "lin" (lower case) with the given points
// (per decade, per octave or in all) from fstart to fstop.
double acSweepRows(const std::string& type, double points, double fstart, double fstop);

// Rows of a transient: its print times from tstart to tstop. Also checks that
// the largest step leaves at most kMaxAnalysisPoints steps.
double tranRows(const TranSpec& t);

// Throws when rows times columns exceeds kMaxOutputValues; kind is "op",
// "dc", "ac" or "tran".
void checkOutputSize(const std::string& kind, double rows, double columns);

} // namespace vxr
