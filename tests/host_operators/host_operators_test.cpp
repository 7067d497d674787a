// Outputs of the "fixops" module through the host, for each revision that
// carries the library-computed operators and events. Transition and slew
// inputs switch between 0 and 1 at vertical PWL edges (two vertices at one
// time, a host breakpoint that holds the old level), so each switch falls
// between two consecutive accepted points.
#include "host_test_util.h"
#include "zi_reference.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using namespace vxr;

namespace {

std::string fixops(int rev) { return std::string(VXR_FIXTURE_DIR) + "/fixops_" + std::to_string(rev) + ".so"; }

struct Point {
    double t, in, out, sout, cnt, tcnt, lc;
};

// Runs the netlist's transient and returns every accepted point.
std::vector<Point> acceptedPoints(const std::string& netlist) {
    auto nl = quietNetlist(netlist);
    Simulator sim(nl->circuit());
    const std::vector<Probe> probes = nl->probesFor(AnalysisCmd::TRAN);
    std::vector<Point> pts;
    sim.onAccept = [&](double t, const Eigen::VectorXd& x) {
        double v[6];
        for (int i = 0; i < 6; ++i) v[i] = probes[static_cast<size_t>(i)].value(x);
        // The event outputs carry their values in nanovolts.
        pts.push_back({t, v[0], v[1], v[2], std::round(v[3] * 1e9), std::round(v[4] * 1e9), v[5] * 1e9});
    };
    sim.tran(nl->analyses()[0].tran, probes);
    return pts;
}

std::string circuit(int rev, const std::string& drive, const std::string& params, const std::string& tail) {
    return ".lib " + fixops(rev) + "\nV1 in 0 " + drive + "\nN1 in out sout cnt tcnt lc fixops " + params + "\n" + tail +
           ".print tran V(in) V(out) V(sout) V(cnt) V(tcnt) V(lc)\n";
}

// Accepted times at which the input has just switched: the point before
// holds the other level. Every accepted input is at one of the two levels.
std::vector<double> switchTimes(const std::vector<Point>& pts) {
    std::vector<double> ts;
    for (size_t i = 0; i < pts.size(); ++i) {
        EXPECT_TRUE(pts[i].in == 0.0 || pts[i].in == 1.0) << "t=" << pts[i].t << " in=" << pts[i].in;
        if (i > 0 && pts[i].in != pts[i - 1].in) ts.push_back(pts[i].t);
    }
    return ts;
}

struct Corner {
    double t, v;
};

double interpolate(const std::vector<Corner>& c, double t) {
    if (t <= c.front().t) return c.front().v;
    for (size_t i = 1; i < c.size(); ++i)
        if (t <= c[i].t) return c[i - 1].v + (c[i].v - c[i - 1].v) * (t - c[i - 1].t) / (c[i].t - c[i - 1].t);
    return c.back().v;
}

class HostOperators : public ::testing::TestWithParam<int> {};

// One pulse 0 -> 1 -> 0. Ideal corners from the switch times: a ramp starts
// `delay` after its switch and lasts rise (fall); a switch back while the
// rise still runs reverses it with the slope of a full fall from 1.
struct PulseCase {
    const char* name;
    double delay, rise, fall;
    const char* drive;
};
const PulseCase kPulses[] = {
    {"delayed ramps", 0.2e-3, 0.1e-3, 0.3e-3, "PWL(0 0 1m 0 1m 1 2m 1 2m 0)"},
    {"reversal half-way up", 0.0, 1e-3, 1e-3, "PWL(0 0 1m 0 1m 1 1.5m 1 1.5m 0)"},
    {"delayed reversal", 0.25e-3, 1e-3, 0.5e-3, "PWL(0 0 1m 0 1m 1 1.3m 1 1.3m 0)"},
};

std::vector<Corner> idealCorners(const PulseCase& pc, double on, double off) {
    const double start = on + pc.delay, stop = start + pc.rise, back = off + pc.delay;
    if (back >= stop) return {{start, 0.0}, {stop, 1.0}, {back, 1.0}, {back + pc.fall, 0.0}};
    const double c = (back - start) / pc.rise;
    return {{start, 0.0}, {back, c}, {back + c * pc.fall, 0.0}};
}

TEST_P(HostOperators, OutputHitsEveryCornerAndIsLinearBetween) {
    for (const PulseCase& pc : kPulses) {
        SCOPED_TRACE(pc.name);
        char params[160];
        std::snprintf(params, sizeof params, "delay=%.17g rise=%.17g fall=%.17g", pc.delay, pc.rise, pc.fall);
        const auto pts = acceptedPoints(circuit(GetParam(), pc.drive, params, ".tran 0.1m 4m\n"));
        const std::vector<double> sw = switchTimes(pts);
        ASSERT_EQ(sw.size(), 2u);
        const std::vector<Corner> corners = idealCorners(pc, sw[0], sw[1]);
        for (const Corner& c : corners) {
            auto near = std::min_element(pts.begin(), pts.end(), [&](const Point& a, const Point& b) {
                return std::abs(a.t - c.t) < std::abs(b.t - c.t);
            });
            EXPECT_NEAR(near->t, c.t, 1e-15 * c.t) << "corner at " << c.t;
            EXPECT_NEAR(near->out, c.v, 1e-12) << "corner at " << c.t;
        }
        for (const Point& p : pts) EXPECT_NEAR(p.out, interpolate(corners, p.t), 1e-12) << "t=" << p.t;
    }
}

// The same input through the slew output, against the recurrence
// y_k = y_{k-1} + clamp(x_k - y_{k-1}, neg * h_k, pos * h_k).
TEST_P(HostOperators, SlewFollowsTheRateLimitedRecurrence) {
    const double pos = 2000.0, neg = -5000.0;
    const auto pts = acceptedPoints(circuit(GetParam(), "PWL(0 0 1m 0 1m 1 2m 1 2m 0)",
                                            "slewpos=2000 slewneg=-5000", ".tran 0.1m 3m\n"));
    ASSERT_GT(pts.size(), 10u);
    double y = pts[0].in;
    int rising = 0, falling = 0;
    for (size_t k = 1; k < pts.size(); ++k) {
        const double h = pts[k].t - pts[k - 1].t;
        const double step = std::clamp(pts[k].in - y, neg * h, pos * h);
        const double slope = (pts[k].sout - pts[k - 1].sout) / h;
        if (step == pos * h) {
            ++rising;
            EXPECT_NEAR(slope, pos, 1e-9 * pos) << "t=" << pts[k].t;
        }
        if (step == neg * h) {
            ++falling;
            EXPECT_NEAR(slope, neg, 1e-9 * -neg) << "t=" << pts[k].t;
        }
        y += step;
        EXPECT_NEAR(pts[k].sout, y, 1e-12) << "t=" << pts[k].t;
    }
    EXPECT_GT(rising, 1);
    EXPECT_GT(falling, 1);
    EXPECT_NEAR(pts.back().sout, 0.0, 1e-12); // both ramps completed
}

// The host's answers to "_transitionDisable" and "_transitionSourceScale".
TEST_P(HostOperators, SimulationParametersSwitchOffAndScaleTheOutput) {
    const auto pts = acceptedPoints(circuit(GetParam(), "PWL(0 0 1m 0 1m 1 2m 1 2m 0)",
                                            "delay=0.2m rise=0.1m fall=0.1m",
                                            ".simparam _transitionDisable=1\n.tran 0.1m 3m\n"));
    for (const Point& p : pts) EXPECT_EQ(p.out, p.in) << "t=" << p.t;

    struct Scale {
        const char* line;
        double s;
    };
    for (const Scale sc : {Scale{"", 1.0}, Scale{".simparam _transitionSourceScale=0.25\n", 0.25}}) {
        SCOPED_TRACE(sc.s);
        auto nl = quietNetlist(circuit(GetParam(), "DC 2", "rise=1m", std::string(sc.line) + ".op\n"));
        Simulator sim(nl->circuit());
        const Eigen::VectorXd x = sim.operatingPoint();
        EXPECT_DOUBLE_EQ(x[nl->circuit().findUnknown("out")], 2.0 * sc.s);
    }
}

// A periodic input whose delayed changes overlap: after the first period the
// pending events run on recycled nodes only.
TEST_P(HostOperators, SteadySwitchingAllocatesNothing) {
    const std::string lib = fixops(GetParam());
    // Pulses 0.3 ms wide every 1 ms; PWL vertices hold the levels exactly.
    std::string drive = "PWL(0 0";
    for (int k = 0; k < 12; ++k) {
        char edges[160];
        std::snprintf(edges, sizeof edges, " %d.1m 0 %d.1m 1 %d.4m 1 %d.4m 0", k, k, k, k);
        drive += edges;
    }
    drive += ")";
    auto nl = quietNetlist(circuit(GetParam(), drive, "delay=0.5m rise=0.1m fall=0.1m", ".tran 0.1m 12m\n"));
    void* h = dlopen(lib.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(h, nullptr);
    auto allocations = reinterpret_cast<long (*)()>(dlsym(h, "fixops_allocations"));
    ASSERT_NE(allocations, nullptr);
    Simulator sim(nl->circuit());
    long afterTwoPeriods = -1;
    int switches = 0;
    double lastIn = 0.0;
    sim.onAccept = [&](double t, const Eigen::VectorXd& x) {
        const double in = x[nl->circuit().findUnknown("in")];
        EXPECT_TRUE(in == 0.0 || in == 1.0) << "t=" << t;
        if (in != lastIn) ++switches;
        lastIn = in;
        if (afterTwoPeriods < 0 && t >= 2.1e-3) afterTwoPeriods = allocations();
    };
    sim.tran(nl->analyses()[0].tran, nl->probesFor(AnalysisCmd::TRAN));
    EXPECT_GE(switches, 20);
    EXPECT_EQ(allocations(), afterTwoPeriods);
    dlclose(h);
}

// Accepted times at which a count output went up by one (never by more).
std::vector<double> countSteps(const std::vector<Point>& pts, double Point::*count) {
    std::vector<double> ts;
    double last = 0.0;
    for (const Point& p : pts) {
        EXPECT_TRUE(p.*count == last || p.*count == last + 1.0) << "t=" << p.t;
        if (p.*count != last) ts.push_back(p.t);
        last = p.*count;
    }
    return ts;
}

// Start 0, period 1 ms; output points (0.3 ms apart) miss the ticks, so
// only the timer's own step requests bring the host onto them.
TEST_P(HostOperators, TimerTicksAreAcceptedPoints) {
    const auto pts = acceptedPoints(circuit(GetParam(), "DC 0", "tstart=0 tperiod=1m", ".tran 0.3m 5m\n"));
    const std::vector<double> ticks = countSteps(pts, &Point::tcnt);
    ASSERT_EQ(ticks.size(), 6u);
    for (size_t k = 0; k < ticks.size(); ++k) EXPECT_NEAR(ticks[k], 1e-3 * static_cast<double>(k), 1e-15) << k;
}

// Zero crossings of a 1 kHz sine at k * 0.5 ms: the event fires at the
// first accepted point after each, within its time tolerance, and the last
// crossing reads the interpolated time.
TEST_P(HostOperators, CrossEventsLandOnTheZeroCrossings) {
    struct Case {
        const char* dir;
        std::vector<double> crossings;
    };
    const Case cases[] = {{"0", {0.5e-3, 1e-3, 1.5e-3, 2e-3, 2.5e-3}}, {"1", {1e-3, 2e-3}}, {"-1", {0.5e-3, 1.5e-3, 2.5e-3}}};
    const double tol = 1e-9;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("direction ") + c.dir);
        const auto pts = acceptedPoints(circuit(GetParam(), "SIN(0 1 1k)",
                                                std::string("crossen=1 crossdir=") + c.dir + " crosstol=1n lcdir=" + c.dir,
                                                ".tran 0.1m 2.75m\n"));
        const std::vector<double> fired = countSteps(pts, &Point::cnt);
        ASSERT_EQ(fired.size(), c.crossings.size());
        for (size_t k = 0; k < fired.size(); ++k) {
            EXPECT_GE(fired[k], c.crossings[k] - 1e-15) << k;
            EXPECT_LE(fired[k], c.crossings[k] + tol) << k;
        }
        EXPECT_NEAR(pts.back().lc, c.crossings.back(), 1e-12);
    }
}

// An above event on 0.2 + sin: at the initial point (already above), then
// at each rising crossing, sin = -0.2 with a rising sine.
TEST_P(HostOperators, AboveEventsFireInitiallyAndOnRisingCrossings) {
    const auto pts = acceptedPoints(circuit(GetParam(), "SIN(0.2 1 1k)", "above=1 crossen=1 crosstol=1n",
                                            ".tran 0.1m 2.5m\n"));
    const std::vector<double> fired = countSteps(pts, &Point::cnt);
    const double first = (2.0 * kPi - std::asin(0.2)) / (2.0 * kPi * 1e3);
    ASSERT_EQ(fired.size(), 3u);
    EXPECT_EQ(fired[0], 0.0);
    for (size_t k = 1; k < fired.size(); ++k) {
        const double crossing = first + 1e-3 * static_cast<double>(k - 1);
        EXPECT_GE(fired[k], crossing - 1e-12) << k;
        EXPECT_LE(fired[k], crossing + 1e-9) << k;
    }
}

// The z-domain filter (1.87) in its four forms: samples every 1 ms from
// t = 0, each sample's output reached by a 0.1 ms ramp; against scipy's
// lfilter from the same initial histories (zi_reference.py).
TEST(HostZi, FilterMatchesTheReferenceAtSamplesAndRampsBetween) {
    struct Case {
        const char* name;
        const char* drive;
        const double* ref;
        int form;     // zi_nd, zi_zd, zi_np, zi_zp
        double scale; // the zero forms' numerator is monic: 5 times the coefficient one
    };
    const Case cases[] = {{"constant input", "DC 1", kZiConstant, 0, 1.0},
                          {"step between samples", "PWL(0 0 2.5m 0 2.500001m 1)", kZiStep, 0, 1.0},
                          {"zeros", "DC 1", kZiConstant, 1, 5.0},
                          {"poles", "PWL(0 0 2.5m 0 2.500001m 1)", kZiStep, 2, 1.0},
                          {"zeros and poles", "PWL(0 0 2.5m 0 2.500001m 1)", kZiStep, 3, 5.0}};
    const double T = 1e-3, tau = 1e-4;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto nl = quietNetlist(".lib " + fixops(187) + "\nV1 in 0 " + c.drive +
                               "\nN1 in out sout cnt tcnt lc fixops zperiod=1m ztau=0.1m zform=" +
                               std::to_string(c.form) + "\n.tran 0.3m 9.5m\n.print tran V(N1._opzi0)\n");
        Simulator sim(nl->circuit());
        const std::vector<Probe> probes = nl->probesFor(AnalysisCmd::TRAN);
        std::vector<std::pair<double, double>> pts;
        sim.onAccept = [&](double t, const Eigen::VectorXd& x) { pts.push_back({t, probes[0].value(x)}); };
        sim.tran(nl->analyses()[0].tran, probes);
        // Output: 0 at t = 0, ref[0] until the next sample, then a ramp of
        // tau from each sample's output to the next.
        std::vector<Corner> corners{{0.0, 0.0}, {1e-300, c.scale * c.ref[0]}};
        for (int k = 1; k < kZiSamples; ++k) {
            corners.push_back({k * T, c.scale * c.ref[k - 1]});
            corners.push_back({k * T + tau, c.scale * c.ref[k]});
        }
        // Every sample is an accepted point, and so is the end of every ramp
        // that changes the output.
        for (size_t i = 2; i < corners.size(); ++i) {
            const Corner& cr = corners[i];
            if (i % 2 == 1 && cr.v == corners[i - 1].v) continue;
            auto near = std::min_element(pts.begin(), pts.end(), [&](const auto& a, const auto& b) {
                return std::abs(a.first - cr.t) < std::abs(b.first - cr.t);
            });
            EXPECT_NEAR(near->first, cr.t, 1e-15) << "corner at " << cr.t;
        }
        for (const auto& [t, y] : pts) EXPECT_NEAR(y, interpolate(corners, t), 1e-12) << "t=" << t;
    }
}

INSTANTIATE_TEST_SUITE_P(Revisions, HostOperators, ::testing::Values(187, 160),
                         [](const auto& info) { return "r" + std::to_string(info.param); });

} // namespace
