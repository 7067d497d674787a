#include "vxrhost/TranMethod.h"

#include <algorithm>
#include <cmath>

namespace vxr {

namespace {

// Truncation-error constants of the second-order methods (local error over
// h^3 x''' at constant steps).
constexpr double kTrapezoidalError = 1.0 / 12.0;
constexpr double kGearError = 2.0 / 9.0;
// Accepted points the predictor keeps, and those the ringing check looks at.
constexpr size_t kPredictorPoints = 3;
constexpr size_t kRingingPoints = 4;
// A change below this fraction of its tolerance does not count as ringing.
constexpr double kRingingFloor = 1e-3;

} // namespace

void IntegrationMethod::restart(double t, const Eigen::VectorXd& x, const Eigen::VectorXd& q) {
    q1_ = q;
    qdot1_ = Eigen::VectorXd::Zero(q.size());
    haveTwo_ = false;
    h1_ = 0.0;
    order_ = 1;
    points_.assign(1, {t, x});
    recent_.clear();
}

void IntegrationMethod::coefficients(int order, double h, double& a0, Eigen::VectorXd& hist) const {
    if (order == 1) {
        a0 = 1.0 / h;
        hist = -q1_ / h;
    } else if (kind_ == TRAPEZOIDAL) {
        a0 = 2.0 / h;
        hist = -2.0 / h * q1_ - qdot1_;
    } else {
        // Variable-step BDF2: w = h / h1.
        const double w = h / h1_;
        a0 = (1.0 + 2.0 * w) / ((1.0 + w) * h);
        hist = -(1.0 + w) / h * q1_ + (w * w / ((1.0 + w) * h)) * q2_;
    }
}

Eigen::VectorXd IntegrationMethod::predict(double tn) const { return predictUnknowns(points_, order_, tn); }

void IntegrationMethod::accept(double t, const Eigen::VectorXd& x, const Eigen::VectorXd& q, double h, double a0,
                               const Eigen::VectorXd& hist) {
    qdot1_ = a0 * q + hist;
    q2_ = q1_;
    q1_ = q;
    haveTwo_ = true;
    h1_ = h;
    points_.push_back({t, x});
    if (points_.size() > kPredictorPoints) points_.erase(points_.begin());
    recent_.push_back(x);
    if (recent_.size() > kRingingPoints) recent_.erase(recent_.begin());
}

void IntegrationMethod::chooseOrder(bool waived, const std::vector<char>& stateful, const std::vector<Unknown>& u,
                                   const Options& o, double h) {
    const bool ring = ringing(stateful, u, o, h);
    if (ring) recent_.clear();
    order_ = order() == 2 && !ring && !waived ? 2 : 1;
}

// The trapezoidal rule leaves a stiff mode (a capacitance behind a small
// resistance, far faster than the step) alternating from point to point
// without decay once something excited it, and so it does an error in a
// time-derivative variable, which the rule carries from step to step. A
// state or such a variable whose last three changes alternate in sign,
// above a small fraction of its tolerance (for the variable, its charge's
// over the step counts too), is ringing: the next step is backward Euler,
// which damps such a mode in one step, and the next check waits for three
// new changes.
bool IntegrationMethod::ringing(const std::vector<char>& stateful, const std::vector<Unknown>& u, const Options& o,
                                double h) const {
    if (!(order_ == 2 && kind_ == TRAPEZOIDAL && recent_.size() == kRingingPoints)) return false;
    const auto& r = recent_;
    for (size_t i = 0; i < u.size(); ++i) {
        const bool derivative = u[i].kind == Unknown::DERIVATIVE;
        if (!stateful[i] && !derivative) continue;
        const double d1 = r[3][i] - r[2][i], d2 = r[2][i] - r[1][i];
        const double d3 = r[1][i] - r[0][i];
        double tol = o.reltol * std::abs(r[3][i]) + u[i].valueTol(o);
        if (derivative) tol = std::max(tol, o.reltol * std::max(std::abs(q1_[i]), u[i].chargeTol(o)) / h);
        const double floor = kRingingFloor * tol;
        if (d1 * d2 < 0 && d2 * d3 < 0 && std::abs(d1) > floor && std::abs(d2) > floor) return true;
    }
    return false;
}

bool IntegrationMethod::canEstimate() const {
    const size_t m = points_.size();
    return (order_ == 1 && m >= 2) || (order_ == 2 && m >= 3);
}

double IntegrationMethod::errorFactor(double h) const {
    const size_t m = points_.size();
    const double h1 = points_[m - 1].first - points_[m - 2].first;
    const double h2 = m >= 3 ? points_[m - 2].first - points_[m - 3].first : 0.0;
    return errorFactor(order_, h, h1, h2);
}

double IntegrationMethod::errorFactor(int order, double h, double h1, double h2) const {
    // The step's own error over the predictor's, which bounds its share of
    // corrector minus predictor (the two add).
    // The linear predictor's error is h (h + h1) x'' / 2, the step's h^2 x'' / 2.
    if (order == 1) return h / (h + h1);
    // The quadratic predictor's error is h (h + h1) (h + h1 + h2) x''' / 6.
    const double trap = h * h / (2.0 * (h + h1) * (h + h1 + h2));
    return kind_ == GEAR ? trap * (kGearError / kTrapezoidalError) : trap;
}

Eigen::VectorXd IntegrationMethod::predictLatestLinearly() const {
    const size_t m = points_.size();
    return predictUnknowns({points_[m - 3], points_[m - 2]}, 1, points_[m - 1].first);
}

double IntegrationMethod::latestFirstOrderFactor() const {
    const size_t m = points_.size();
    return errorFactor(1, points_[m - 1].first - points_[m - 2].first, points_[m - 2].first - points_[m - 3].first, 0.0);
}

Eigen::VectorXd predictUnknowns(const std::vector<std::pair<double, Eigen::VectorXd>>& points, int order, double tn) {
    const size_t m = points.size();
    if (m < 2) return points.back().second;
    const auto& [t1, x1] = points[m - 1];
    const auto& [t0, x0] = points[m - 2];
    if (order == 2 && m >= 3) {
        const auto& [tm, xm] = points[m - 3];
        // Quadratic (Lagrange) extrapolation.
        const double l0 = (tn - t0) * (tn - t1) / ((tm - t0) * (tm - t1));
        const double l1 = (tn - tm) * (tn - t1) / ((t0 - tm) * (t0 - t1));
        const double l2 = (tn - tm) * (tn - t0) / ((t1 - tm) * (t1 - t0));
        return l0 * xm + l1 * x0 + l2 * x1;
    }
    return x1 + (x1 - x0) * ((tn - t1) / (t1 - t0));
}

std::vector<char> statefulUnknowns(const EvalContext& ctx, int n) {
    std::vector<char> stateful(n, 0);
    for (size_t s = 0; s < ctx.C.size(); ++s)
        if (ctx.C[s] != 0.0) stateful[ctx.pattern->col(static_cast<int>(s))] = 1;
    return stateful;
}

} // namespace vxr
