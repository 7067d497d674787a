#include "vxrhost/TranMethod.h"

namespace vxr {

namespace {

// Truncation-error constants of the second-order methods (local error over
// h^3 x''' at constant steps).
constexpr double kTrapezoidalError = 1.0 / 12.0;
constexpr double kGearError = 2.0 / 9.0;

} // namespace

void IntegrationMethod::restart(const Eigen::VectorXd& q) {
    q1_ = q;
    qdot1_ = Eigen::VectorXd::Zero(q.size());
    haveTwo_ = false;
    h1_ = 0.0;
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

void IntegrationMethod::accept(const Eigen::VectorXd& q, double h, double a0, const Eigen::VectorXd& hist) {
    qdot1_ = a0 * q + hist;
    q2_ = q1_;
    q1_ = q;
    haveTwo_ = true;
    h1_ = h;
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

} // namespace vxr
