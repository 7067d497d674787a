// Checked math, debug reports and derivative helpers.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "VXR_PowDeriv.h"
#include "VXR_SupportLib.h"
#include "recording_host.h"

namespace {

constexpr double FLTMAX = 3.4028234663852886e38;
const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();

struct Math : ::testing::Test {
    vxrtest::RecordingHost host; // its table has a debug handler
    VXR_SimInterface bare{};     // a copy without one
    VXR_DeviceInst inst{}, quiet{};
    VXR_ContribLoader& ldr = *host.loader();
    void SetUp() override {
        bare = *host.sim();
        bare.pHandleDebugEvent = nullptr;
        inst.pSimInterface = host.sim();
        quiet.pSimInterface = &bare;
    }
    std::vector<int> events() const {
        std::vector<int> out;
        for (auto& e : host.debugEvents()) out.push_back(e.event);
        return out;
    }
    // (event, tag) of each debug event.
    std::vector<std::pair<int, std::string>> eventTags() const {
        std::vector<std::pair<int, std::string>> out;
        for (auto& e : host.debugEvents()) out.emplace_back(e.event, e.tag);
        return out;
    }
};

TEST_F(Math, DivisionSubstitutesAndReports) {
    struct Case {
        double n, d;
        int useHandler;
        double expect;
        std::vector<int> ev;
    } cases[] = {
        {0, 0, 1, 1.0, {FP_DIVBYZERO}},
        {5, 0, 1, FLTMAX, {FP_DIVBYZERO}},
        {-5, 0, 1, -FLTMAX, {FP_DIVBYZERO}},
        {NaN, 0, 0, -FLTMAX, {}},
        {6, 3, 1, 2.0, {}},
        {1, 1e-20, 1, 1e20, {FP_SMALL_DENOM}},
        {1e10, 2, 1, 5e9, {FP_LARGE_NUMER}},
        {1e10, 1e-20, 0, 1e30, {}},
    };
    host.setDefault(VXR_MIN_DENOM_VAL, 1e-15);
    host.setDefault(VXR_MAX_NUMER_VAL, 1e9);
    for (const Case& c : cases) {
        host.clearLog();
        EXPECT_EQ(VXR_RealChkDiv(c.n, c.d, &inst, 10, &ldr, c.useHandler), c.expect) << c.n << "/" << c.d;
        EXPECT_EQ(events(), c.ev) << c.n << "/" << c.d;
    }
    // No loader, no handler: plain results, nothing reported.
    host.clearLog();
    EXPECT_EQ(VXR_RealChkDiv(1, 1e-20, &inst, 1, nullptr, 1), 1e20);
    EXPECT_EQ(VXR_RealChkDiv(5, 0, &quiet, 1, &ldr, 1), FLTMAX);
    EXPECT_TRUE(events().empty());

    EXPECT_EQ(VXR_IntDivByZero(7, &inst, 1, &ldr, 1), 50000);
    EXPECT_EQ(VXR_IntDivByZero(-3, &inst, 1, &ldr, 0), -50000);
    EXPECT_EQ(VXR_IntDivByZero(0, &quiet, 1, &ldr, 1), 1);
    EXPECT_EQ(events(), std::vector<int>{FP_DIVBYZERO});
}

TEST_F(Math, DomainErrors) {
    EXPECT_EQ(VXR_LogDomainErr(-1, &inst, 1, &ldr), -FLTMAX);
    EXPECT_EQ(VXR_Log10DomainErr(0, &inst, 1, &ldr), -FLTMAX);
    EXPECT_EQ(VXR_SqrtDomainErr(-4, &inst, 1, &ldr), 4.0);
    EXPECT_EQ(VXR_SqrtDomainErr(-4, &quiet, 1, &ldr), 4.0);
    EXPECT_EQ(events(), (std::vector<int>{FP_LOGARG, FP_LOG10ARG, FP_SQRTARG}));
}

TEST_F(Math, Powers) {
    EXPECT_EQ(VXR_wrapPow(-8, 1.0 / 3), 0.0);
    EXPECT_EQ(VXR_wrapPow(0, -1), 0.0);
    EXPECT_EQ(VXR_wrapPow(-2, 3), -8.0);
    EXPECT_EQ(VXR_wrapPow(2, 0.5), std::sqrt(2.0));

    struct Case {
        double f, g;
        bool handler;
        double expect;  // NaN: expect NaN
        std::vector<int> ev;
    } cases[] = {
        {-8, 1.0 / 3, false, 1.0, {}},  // nearest integer power, 0
        {-8, 3, false, -512, {}},
        {-8, 3, true, -512, {}},
        {-8, 2.5, false, -512, {}},     // half away from zero: 3
        {-8, -2.5, false, -1.0 / 512, {}},
        {-2, 3e9 + 0.5, false, -Inf, {}},  // beyond int: 3000000001 is odd
        {-2, -3e9 - 0.5, false, -0.0, {}},
        {-8, 1.0 / 3, true, NaN, {FP_POWARG}},
        {-8, NaN, false, NaN, {}},
        {0, -1, false, FLTMAX, {}},
        {0, 0, false, FLTMAX, {}},
        {0, -1, true, Inf, {FP_POWARG}},
        {0, 2, true, 0.0, {}},
        {2, 10, true, 1024, {}},
        {NaN, 2, true, NaN, {}},
    };
    for (const Case& c : cases) {
        host.clearLog();
        const double r = VXR_checkPow(c.handler ? &inst : &quiet, 1, c.f, c.g, &ldr);
        if (std::isnan(c.expect))
            EXPECT_TRUE(std::isnan(r)) << c.f << "^" << c.g;
        else {
            EXPECT_EQ(r, c.expect) << c.f << "^" << c.g;
            EXPECT_EQ(std::signbit(r), std::signbit(c.expect)) << c.f << "^" << c.g;
        }
        EXPECT_EQ(events(), c.ev) << c.f << "^" << c.g;
    }
}

TEST(IntPow, EdgeValuesAndAgreementWithPow) {
    struct Case {
        double x;
        int n;
        double expect;
    } cases[] = {
        {2, 10, 1024},     {2, -2, 0.25},           {0, -1, 1e36},         {0, -3, 1e36 * 1e36 * 1e36},
        {-1e-40, -1, -1e36}, {3, 0, 1},             {-3, 1, -3},           {2, INT_MIN, 0.0},
        {-1, INT_MIN, 1},  {-1, INT_MAX, -1},       {0.5, INT_MIN, Inf},   {2, INT_MAX, Inf},
        {-2, INT_MAX, -Inf}, {-0.5, INT_MAX, -0.0}, {-0.0, 3, -0.0},
    };
    for (const Case& c : cases) {
        const double r = VXR_intPow(c.x, c.n);
        EXPECT_EQ(r, c.expect) << c.x << "^" << c.n;
        EXPECT_EQ(std::signbit(r), std::signbit(c.expect)) << c.x << "^" << c.n;
    }
    for (double x : {-1.7, -0.3, 0.9, 1.1, 2.5, 13.0})
        for (int n = -40; n <= 40; ++n) EXPECT_NEAR(VXR_intPow(x, n) / std::pow(x, n), 1.0, 1e-13) << x << "^" << n;
}

TEST_F(Math, CheckVarAndDebugReport) {
    host.setDefault(VXR_VARTHRESH, 0);
    VXR_CheckVar(1e300, "a", &inst, 1, &ldr);
    VXR_CheckVar(Inf, "b", &inst, 1, &ldr);
    VXR_CheckVar(NaN, "c", &inst, 1, nullptr);
    host.setDefault(VXR_VARTHRESH, 10);
    VXR_CheckVar(9, "d", &inst, 1, &ldr);
    VXR_CheckVar(-10, "e", &inst, 1, &ldr);
    VXR_CheckVar(Inf, "f", &quiet, 1, &ldr);
    VXR_DebugReport(&inst, 3, DBG_ANALOG_ENTER, "blk", &ldr);
    VXR_DebugReport(&quiet, 3, DBG_ANALOG_ENTER, "blk", &ldr);
    VXR_DebugReport(nullptr, 3, DBG_ANALOG_ENTER, "blk", &ldr);
    EXPECT_EQ(eventTags(), (std::vector<std::pair<int, std::string>>{
                                      {FP_INFVAR, "b"}, {FP_INFVAR, "c"}, {FP_BIGVAR, "e"}, {DBG_ANALOG_ENTER, "blk"}}));
}

TEST(HypotDeriv, Cases) {
    EXPECT_EQ(VXR_hypotDeriv(3, 0), 1.0);
    EXPECT_EQ(VXR_hypotDeriv(3, -1), 1.0);
    EXPECT_EQ(VXR_hypotDeriv(3, 2), 1.5);
}

// d/dt f(t)^g(t) against a central difference, with f and g linear in t.
TEST(PowDeriv, MatchesFiniteDifferencesForPositiveBase) {
    struct Case {
        double f, g, fp, gp;
    } cases[] = {
        {1.3, 2.1, 0.4, -0.7}, {0.2, -1.5, 1.0, 0.0}, {5.0, 0.5, 0.0, 2.0},
        {0.7, 3.0, -2.0, 0.3}, {1e-3, 0.25, 1.0, 1.0}, {40.0, -0.3, 0.5, -0.1},
    };
    for (const Case& c : cases) {
        auto h = [&](double t) { return std::pow(c.f + c.fp * t, c.g + c.gp * t); };
        const double dt = 1e-6 * std::min(1.0, c.f);
        const double fd = (h(dt) - h(-dt)) / (2 * dt);
        const double d = VXR_powDeriv(std::pow(c.f, c.g), c.f, c.g, c.fp, c.gp);
        EXPECT_NEAR(d, fd, 1e-6 * std::max(1.0, std::fabs(fd))) << c.f << "^" << c.g;
    }
}

TEST(PowDeriv, ZeroAndNegativeBaseByRevision) {
    // Slot rules, the same in every revision.
    EXPECT_EQ(VXR_powDeriv(0, 0, 2, 1, 0), 0.0);
    EXPECT_EQ(VXR_powDeriv(4, -2, 2, 5, 1), 0.0);    // moving exponent, f <= 0
    EXPECT_EQ(VXR_powDeriv(1, -2, 2, 5, NaN), 0.0);  // NaN gprime counts as moving
    EXPECT_EQ(VXR_powDeriv(-8, -2, 3, 1, 0), 12.0);  // 3 * -8 * 1 / -2
    EXPECT_EQ(VXR_powDeriv(9, 3, 2, 0, 0), 0.0);

    // f == 0 with g < 1: 1.87 gives 0, the older revisions infinity.
    EXPECT_EQ((vxr::powDeriv<187>(0, 0, 0.5, 1, 0)), 0.0);
    EXPECT_EQ((vxr::powDeriv<160>(0, 0, 0.5, 1, 0)), Inf);
    EXPECT_EQ((vxr::powDeriv<142>(0, 0, 0.5, -1, 0)), -Inf);
    EXPECT_EQ((vxr::powDeriv<187>(0, 0, 2, 1, 0)), (vxr::powDeriv<160>(0, 0, 2, 1, 0)));
    EXPECT_EQ(VXR_powDeriv(0, 0, 0.5, 1, 0), (vxr::powDeriv<VXR_REVISION>(0, 0, 0.5, 1, 0)));
}

}  // namespace
