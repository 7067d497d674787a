#include "vxrhost/OutputSampler.h"
#include "vxrhost/StepControl.h"

#include <algorithm>

namespace vxr {

OutputSampler::OutputSampler(const TranSpec& setup, const std::vector<Probe>& probes, Table& table)
    : setup_(setup), probes_(probes), table_(table), minStep_(minimumStep(setup)) {
    table_.columns.push_back("time");
    for (auto& p : probes_) table_.columns.push_back(p.label);
}

void OutputSampler::record(double time, const Eigen::VectorXd& x) {
    if (time < setup_.tstart * (1 - kTimeRounding)) return;
    std::vector<double> row{time};
    for (auto& p : probes_) row.push_back(p.value(x));
    table_.rows.push_back(row);
}

void OutputSampler::catchUp(double time, const Eigen::VectorXd& x) {
    for (double tOut = next(); samePoint(time, tOut, minStep_) && tOut < setup_.tstop; tOut = next()) {
        record(tOut, x);
        ++next_;
    }
}

double OutputSampler::target(double tBreak) const {
    const double tOut = next();
    return samePoint(tOut, tBreak, minStep_) ? tBreak : std::min(tOut, tBreak);
}

double OutputSampler::landed(double time, double h, const Eigen::VectorXd& x) {
    const double tOut = next();
    if (!landsOn(time, tOut, h, minStep_)) return time;
    record(tOut, x);
    ++next_;
    return tOut;
}

} // namespace vxr
