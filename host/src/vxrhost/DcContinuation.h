// DC continuation: the ordered strategies an operating point falls back on
// when plain Newton from its start point does not converge.
#pragma once

#include "vxrhost/Circuit.h"

#include <span>
#include <string>

namespace vxr {

// The Newton runs a strategy builds on: the point's equations, each node
// optionally tied through gshunt to ground (or to an anchor point).
class DcNewton {
public:
    virtual ~DcNewton() = default;
    virtual bool solve(Eigen::VectorXd& x, double gshunt = 0.0, const Eigen::VectorXd* anchor = nullptr) = 0;
    // The evaluation context of the point: a strategy may set its source scale.
    virtual EvalContext& context() = 0;
    virtual const Options& options() const = 0;
    virtual int size() const = 0;
};

struct DcStrategy {
    const char* name;
    // From the point's start x; true with the solution in x.
    bool (*run)(DcNewton&, Eigen::VectorXd& x);
};

// The strategies in the order the operating point tries them.
std::span<const DcStrategy> dcStrategies();

// The field of Options that a DC continuation option (by its lower-case
// .options name) sets; nullptr when the name is not one.
double* dcOption(Options& o, const std::string& name);

} // namespace vxr
