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
    // Newton iterations of the runs so far.
    virtual int iterations() const = 0;
    // The circuit has a voltage source between two nodes (a floating gate drive).
    virtual bool hasFloatingSource() const = 0;
};

// How the plain Newton run from the point's start failed, which picks the
// strategies tried after it.
enum class StartFault {
    ANY,
    // Given up because a model's internal node strayed out of its
    // terminals' range.
    STRAYED,
    // Failed otherwise after the step limit held such a node where the whole
    // step threw it out.
    HELD,
    // Any other way.
    OTHER,
};

struct DcStrategy {
    const char* name;
    // From the point's start x; true with the solution in x.
    bool (*run)(DcNewton&, Eigen::VectorXd& x);
    // The line search of its Newton runs also takes a step that reduces the
    // rows' residuals (in units of their tolerances) as much as its level
    // test asks: far from the solution (a switch node kilovolts off before
    // its floating gate drive takes hold) the natural level, measured with a
    // Jacobian that barely determines a model's internal node, refuses every
    // cut of the step while the residuals of the network's rows fall.
    bool residualSearch = false;
    // The step of a model's internal node may also take it anywhere within
    // its terminals' new values (plus vlimit): a channel's end stuck below
    // its source while the drift region above it holds the whole supply
    // gets back between drain and source in one step, where the limit on
    // its terminals' steps keeps it creeping by a volt an iteration.
    bool terminalSpan = false;
    // Tried only after a plain Newton start that failed this way.
    StartFault after = StartFault::ANY;
};

// Pseudo-transient continuation from x with every node held to it through
// the conductance g0 at first, divided by shrink after each converged step;
// while no step has converged, a failed step grows the conductance at most
// firstGrows times before it gives up. True with the solution in x.
bool pseudoTransientFrom(DcNewton& nw, Eigen::VectorXd& x, double g0, int firstGrows, double shrink);

// The strategies in the order the operating point tries them.
std::span<const DcStrategy> dcStrategies();

// The field of Options that a DC continuation option (by its lower-case
// .options name) sets; nullptr when the name is not one.
double* dcOption(Options& o, const std::string& name);

} // namespace vxr
