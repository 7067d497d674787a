// The transient's integration method: the charge derivative at a new time
// point from the accepted charges, the predictor of the unknowns, the
// truncation-error constant and the order rule, for backward Euler, the
// trapezoidal rule and second-order BDF (gear).
#pragma once

#include "vxrhost/EvalContext.h"

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
    // The order the next step runs at.
    int stepOrder() const { return order_; }

    // Forgets the history: the next step starts from the point (t, x) with
    // the charges q at first order.
    void restart(double t, const Eigen::VectorXd& x, const Eigen::VectorXd& q);
    // No step accepted since the last restart.
    bool fresh() const { return points_.size() == 1; }
    // At least the history the order needs.
    bool ready(int order) const { return order == 1 || (kind_ == GEAR ? haveTwo_ : true); }
    // dq/dt at the end of a step h = a0 q + hist.
    void coefficients(int order, double h, double& a0, Eigen::VectorXd& hist) const;
    // The unknowns predicted at tn from the accepted points.
    Eigen::VectorXd predict(double tn) const;
    // The step from t to (t, x) was accepted with the charges q and the
    // coefficients it ran with.
    void accept(double t, const Eigen::VectorXd& x, const Eigen::VectorXd& q, double h, double a0,
                const Eigen::VectorXd& hist);
    const Eigen::VectorXd& lastCharges() const { return q1_; }
    // The next step runs at first order.
    void damp() { order_ = 1; }
    // The order of the step after the accepted step h: first after a
    // ringing state (see ringing()) or a step waived at the floor.
    void chooseOrder(bool waived, const std::vector<char>& stateful, const std::vector<Unknown>& u, const Options& o,
                     double h);

    // The history gives a truncation-error estimate at the step's order.
    bool canEstimate() const;
    // The local truncation error of a step h at the step's order, as a
    // multiple of the difference of corrector and predictor.
    double errorFactor(double h) const;
    // The same at the order, given the two steps before it (h1 the latest).
    double errorFactor(int order, double h, double h1, double h2) const;
    // The accepted points give a first-order estimate of the latest step:
    // the linear predictor of it from the two points before.
    bool canEstimateFirstOrder() const { return points_.size() >= 3; }
    Eigen::VectorXd predictLatestLinearly() const;
    // The first-order error factor of the latest step.
    double latestFirstOrderFactor() const;

private:
    bool ringing(const std::vector<char>& stateful, const std::vector<Unknown>& u, const Options& o, double h) const;

    Kind kind_;
    Eigen::VectorXd q1_, q2_, qdot1_; // charges at the last two accepted points, derivative at the last
    double h1_ = 0.0;                 // the last accepted step
    bool haveTwo_ = false;
    int order_ = 1;
    std::vector<std::pair<double, Eigen::VectorXd>> points_; // the last three accepted points, latest last
    std::vector<Eigen::VectorXd> recent_;                    // the last four accepted points, for the ringing check
};

// The predictor: the polynomial through the accepted points (latest last),
// linear at first order, quadratic at second, evaluated at tn.
Eigen::VectorXd predictUnknowns(const std::vector<std::pair<double, Eigen::VectorXd>>& points, int order, double tn);

// Per unknown, whether a charge or flux depends on it (from the C matrix the
// context holds): only those carry the integration's state.
std::vector<char> statefulUnknowns(const EvalContext& ctx, int n);

} // namespace vxr
