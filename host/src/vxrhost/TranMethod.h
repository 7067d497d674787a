// The transient's integration method: the charge derivative at a new time
// point from the accepted charges, the predictor of the unknowns and the
// truncation-error constant, for backward Euler, the trapezoidal rule and
// second-order BDF (gear).
#pragma once

#include <Eigen/Dense>

#include <utility>
#include <vector>

namespace vxr {

class IntegrationMethod {
public:
    enum Kind { EULER, TRAPEZOIDAL, GEAR };
    explicit IntegrationMethod(Kind k) : kind_(k) {}
    Kind kind() const { return kind_; }
    // The order the method runs at once it has the history for it.
    int order() const { return kind_ == EULER ? 1 : 2; }

    // Forgets the history: the next step starts from q at first order.
    void restart(const Eigen::VectorXd& q);
    // At least the history the order needs.
    bool ready(int order) const { return order == 1 || (kind_ == GEAR ? haveTwo_ : true); }
    // dq/dt at the end of a step h = a0 q + hist.
    void coefficients(int order, double h, double& a0, Eigen::VectorXd& hist) const;
    // The step was accepted with the charges q and the coefficients it ran with.
    void accept(const Eigen::VectorXd& q, double h, double a0, const Eigen::VectorXd& hist);
    const Eigen::VectorXd& lastCharges() const { return q1_; }

    // The local truncation error of a step h at the order, as a multiple of
    // the difference of corrector and polynomial predictor, given the two
    // steps before it (h1 the latest).
    double errorFactor(int order, double h, double h1, double h2) const;

private:
    Kind kind_;
    Eigen::VectorXd q1_, q2_, qdot1_; // charges at the last two accepted points, derivative at the last
    double h1_ = 0.0;                 // the last accepted step
    bool haveTwo_ = false;
};

// The predictor: the polynomial through the accepted points (latest last),
// linear at first order, quadratic at second, evaluated at tn.
Eigen::VectorXd predictUnknowns(const std::vector<std::pair<double, Eigen::VectorXd>>& points, int order, double tn);

} // namespace vxr
