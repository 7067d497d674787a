// The transient's integration method on its own: the charge derivative, the
// predictor and the truncation-error estimate on polynomials with uneven
// steps, where their exact values are known.
#include "vxrhost/TranMethod.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

using namespace vxr;

namespace {

using Poly = std::function<double(double)>;

struct Method {
    IntegrationMethod::Kind kind;
    const char* name;
};

const Method kMethods[] = {
    {IntegrationMethod::EULER, "be"}, {IntegrationMethod::TRAPEZOIDAL, "trap"}, {IntegrationMethod::GEAR, "gear"}};

// A polynomial exact to the method's order, and its derivative.
Poly exactPoly(int order) {
    return order == 1 ? Poly([](double t) { return 2.0 - 3.0 * t; }) : Poly([](double t) { return 1.0 + t - 4.0 * t * t; });
}
Poly exactSlope(int order) {
    return order == 1 ? Poly([](double) { return -3.0; }) : Poly([](double t) { return 1.0 - 8.0 * t; });
}

Eigen::VectorXd one(double v) { return Eigen::VectorXd::Constant(1, v); }

// The method with accepted points at times ts (each point's charge is
// q(t), its derivative exact) and at the order the method runs at.
IntegrationMethod withHistory(IntegrationMethod::Kind kind, const std::vector<double>& ts, const Poly& q, const Poly& dq) {
    IntegrationMethod m(kind);
    m.restart(ts[0], one(q(ts[0])), one(q(ts[0])));
    for (size_t k = 1; k < ts.size(); ++k) m.accept(ts[k], one(q(ts[k])), one(q(ts[k])), ts[k] - ts[k - 1], 0.0, one(dq(ts[k])));
    m.chooseOrder(false, {1}, {Unknown{}}, Options{}, ts.back() - ts[ts.size() - 2]);
    return m;
}

} // namespace

TEST(IntegrationMethod, ExactOnPolynomialsOfItsOrder) {
    // Uneven steps 0.3, 0.5 and then 0.8: the derivative at the new point
    // and the predicted value are exact for a polynomial of the method's order.
    const std::vector<double> ts{0.2, 0.5, 1.0};
    const double tn = 1.8;
    for (const Method& c : kMethods) {
        IntegrationMethod probe(c.kind);
        const int order = probe.order();
        const Poly q = exactPoly(order), dq = exactSlope(order);
        IntegrationMethod m = withHistory(c.kind, ts, q, dq);
        ASSERT_EQ(m.stepOrder(), order) << c.name;
        ASSERT_TRUE(m.canEstimate()) << c.name;
        double a0 = 0.0;
        Eigen::VectorXd hist;
        m.coefficients(order, tn - ts.back(), a0, hist);
        EXPECT_NEAR(a0 * q(tn) + hist[0], dq(tn), 1e-12) << c.name;
        EXPECT_NEAR(m.predict(tn)[0], q(tn), 1e-12) << c.name;
    }
}

TEST(IntegrationMethod, ErrorEstimateMeetsTheSecondOrderMethodsTrueError) {
    // x' = g(t) with x = t^3: the corrector's value against the exact one,
    // and the estimate from corrector and predictor, at steps of 0.11, 0.10
    // and 0.09. The estimate leaves out the corrector's own error from the
    // difference, so it is off by up to the error constant's share (2/9).
    const std::vector<double> ts{1.0, 1.11, 1.21};
    const double h = 0.09, tn = ts.back() + h;
    const Poly x = [](double t) { return t * t * t; }, g = [](double t) { return 3.0 * t * t; };
    for (const Method& c : kMethods) {
        IntegrationMethod m = withHistory(c.kind, ts, x, g);
        if (m.order() != 2) continue;
        double a0 = 0.0;
        Eigen::VectorXd hist;
        m.coefficients(2, h, a0, hist);
        const double xn = (g(tn) - hist[0]) / a0;
        const double trueError = std::abs(xn - x(tn));
        const double estimate = m.errorFactor(h) * std::abs(xn - m.predict(tn)[0]);
        EXPECT_NEAR(estimate / trueError, 1.0, 0.25) << c.name << ": estimate " << estimate << ", error " << trueError;
    }
}

TEST(IntegrationMethod, FirstOrderEstimateOfTheLatestStepIsBackwardEulersError) {
    // x' = 2t with x = t^2 over uneven steps: backward Euler's error over a
    // step h from the exact point is h^2 whatever the step before, and the
    // first-order estimate of the latest step (its points' linear predictor
    // and error factor) gives it exactly, after any of the methods.
    const std::vector<std::vector<double>> histories{{0.2, 0.5, 1.0}, {1.0, 1.05, 1.45}, {0.0, 0.3, 0.4, 0.41}};
    const Poly x = [](double t) { return t * t; }, g = [](double t) { return 2.0 * t; };
    for (const Method& c : kMethods) {
        for (const auto& ts : histories) {
            IntegrationMethod m = withHistory(c.kind, ts, x, g);
            ASSERT_TRUE(m.canEstimateFirstOrder()) << c.name;
            const double h = ts.back() - ts[ts.size() - 2];
            const double estimate = m.latestFirstOrderFactor() * std::abs(x(ts.back()) - m.predictLatestLinearly()[0]);
            const double euler = x(ts[ts.size() - 2]) + h * g(ts.back());
            EXPECT_NEAR(estimate, std::abs(euler - x(ts.back())), 1e-12) << c.name << " h=" << h;
            EXPECT_NEAR(estimate, h * h, 1e-12) << c.name << " h=" << h;
        }
    }
    IntegrationMethod two = withHistory(IntegrationMethod::TRAPEZOIDAL, {0.0, 0.5}, x, g);
    EXPECT_FALSE(two.canEstimateFirstOrder());
}
