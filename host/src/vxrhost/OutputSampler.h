// The transient's printed points: every print step from 0 to the stop time,
// rows before tstart left out. Each row goes into the table as its point is
// accepted, so a run that fails keeps every row it accepted.
#pragma once

#include "vxrhost/Analysis.h"

#include <algorithm>
#include <vector>

namespace vxr {

class OutputSampler {
public:
    // The table gets a time column and one column per probe.
    OutputSampler(const TranSpec& setup, const std::vector<Probe>& probes, Table& table);

    // The next print point (the stop time at the end).
    double next() const { return std::min(setup_.tstop, static_cast<double>(next_) * setup_.tstep); }
    // A row of the accepted point x at time (unless before tstart).
    void record(double time, const Eigen::VectorXd& x);
    // Records the print points the accepted time already stands on.
    void catchUp(double time, const Eigen::VectorXd& x);
    // Where a step toward the next breakpoint aims: a print point that is
    // one point with the breakpoint is recorded at the breakpoint.
    double target(double tBreak) const;
    // The step h ended at time with x accepted. Returns the accepted time,
    // moved onto the print point (and recorded there) when the step ended on it.
    double landed(double time, double h, const Eigen::VectorXd& x);

private:
    const TranSpec& setup_;
    const std::vector<Probe>& probes_;
    Table& table_;
    double minStep_;
    long next_ = 1; // index of the next print point
};

} // namespace vxr
