// Operating points of switch circuits from zero: a half-bridge whose high
// side is on from a floating gate source, in every transistor library and
// type. The switch node sits one channel drop below the supply: the same
// voltage as the high side alone (the low side, off, adds only leakage), at
// the 47.904 V a peer simulator gives for the n-type at these parameters
// (-47.9735 V for the p-type), with the load current from the supply. A gate
// held only by a bleed resistor reaches the operating point its own gate
// voltage gives; reverse conduction's operating points match a sweep.
#include "vxrhost/Netlist.h"
#include "transistor_netlist.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace vxr;

namespace {

using vxr::testing::transistorLine;

// The first two printed values of a netlist's operating point; iterations,
// when given, gets its Newton iterations.
std::pair<double, double> firstTwo(const std::string& text, int* iterations = nullptr) {
    auto nl = Netlist::parse(text);
    nl->circuit().host().echoMessages = false;
    auto t = nl->run();
    if (iterations) *iterations = nl->statistics().at(0).newtonIterations;
    return {t[0].rows[0][0], t[0].rows[0][1]};
}

// v(sw) and i(VIN) at the operating point.
std::pair<double, double> switchNode(const std::string& lib, int sign, bool lowSide, int* iterations) {
    const std::string type = sign > 0 ? "TYPE=1" : "TYPE=-1";
    std::string text = ".lib " + lib + ".so\nVIN vin 0 DC " + std::to_string(48 * sign) + "\n" +
                       transistorLine(lib, "NH", "vin", "gh", "sw", "NCELL=1e5 " + type) + "VGH gh sw DC " +
                       std::to_string(10 * sign) + "\nI1 sw 0 DC " + std::to_string(12 * sign) + "\n";
    if (lowSide) text += "RG g 0 5\n" + transistorLine(lib, "NL", "sw", "g", "0", "NCELL=1e5 " + type);
    return firstTwo(text + ".op\n.print op v(sw) i(VIN)\n", iterations);
}

// Newton iterations (every continuation strategy's together) within which
// a switch's operating point from zero converges.
constexpr int kSwitchIterations = 50;

TEST(HalfBridge, OperatingPointFromZeroInEveryLibraryAndType) {
    setenv("VXR_LIBRARY_PATH", VXR_TORVEX_PATH, 1);
    struct Case {
        const char* lib;
        int sign;
    } cases[] = {{"TORVEX_EN", 1}, {"TORVEX_EN", -1}, {"TORVEX", 1},
                 {"TORVEX", -1},    {"TORVEX_CORE", 1}, {"TORVEX_CORE", -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.lib) + (c.sign > 0 ? " n" : " p"));
        std::pair<double, double> bridge, alone;
        int bridgeIterations = 0, aloneIterations = 0;
        ASSERT_NO_THROW(bridge = switchNode(c.lib, c.sign, true, &bridgeIterations));
        ASSERT_NO_THROW(alone = switchNode(c.lib, c.sign, false, &aloneIterations));
        EXPECT_LE(bridgeIterations, kSwitchIterations);
        EXPECT_LE(aloneIterations, kSwitchIterations);
        EXPECT_NEAR(bridge.first, alone.first, 1e-4);
        // The load current and the low side's off-state leakage (microamperes).
        EXPECT_NEAR(bridge.second, -12.0 * c.sign, 1e-5);
        EXPECT_NEAR(bridge.first, c.sign > 0 ? 47.904 : -47.9735, 5e-4);
    }
}

// A gate held only by a bleed to ground, drain at 48 V: i(VD) and v(g) at
// the operating point from zero; iterations, when given, gets its Newton
// iterations.
std::pair<double, double> bleed(const std::string& lib, int sign, const std::string& gate, int* iterations = nullptr) {
    const std::string type = sign > 0 ? "TYPE=1" : "TYPE=-1";
    std::string text = ".lib " + lib + ".so\nVD d 0 DC " + std::to_string(48 * sign) + "\n" + gate +
                       transistorLine(lib, "N1", "d", "g", "0", "NCELL=1e4 " + type) + ".op\n.print op i(VD) v(g)\n";
    return firstTwo(text, iterations);
}

// The bleed's operating point is the one the same device has with its gate
// driven by a source at the bleed's gate voltage, in every library and type,
// from tens of megaohms to a teraohm, in as few iterations as a switch's. In
// the band from about 60 to 190 Mohm the bleed is below the rounding of the
// gate line's diagonal sums; at the values given to full precision no pivot
// of the double factorisation vanishes and its steps crawl instead.
TEST(GateBleed, OperatingPointFromZeroMatchesADrivenGate) {
    setenv("VXR_LIBRARY_PATH", VXR_TORVEX_PATH, 1);
    const char* bleeds[] = {"4e7",    "7.98e7", "1.005e8", "112735317.25057815", "1.19e8", "1.5e8", "159242868.22139889",
                            "168678601.3714329", "1.89e8", "1e9", "1e12"};
    for (const char* lib : {"TORVEX_EN", "TORVEX", "TORVEX_CORE"})
        for (int sign : {1, -1})
            for (const char* ohms : bleeds) {
                SCOPED_TRACE(std::string(lib) + (sign > 0 ? " n " : " p ") + ohms);
                std::pair<double, double> held, driven;
                int iterations = 0;
                ASSERT_NO_THROW(held = bleed(lib, sign, std::string("RB g 0 ") + ohms + "\n", &iterations));
                EXPECT_LE(iterations, kSwitchIterations);
                EXPECT_LT(std::abs(held.second), 1.0);
                char vg[64];
                std::snprintf(vg, sizeof vg, "VG g 0 DC %.17g\n", held.second);
                ASSERT_NO_THROW(driven = bleed(lib, sign, vg));
                EXPECT_NEAR(held.first, driven.first, 1e-5 * std::abs(driven.first));
            }
}

// Reverse conduction with the gate at 0: a single operating point at a
// drain voltage gives the current the sweep through it gives there, in every
// library and type, without a continuation strategy spending hundreds of
// iterations before it gives up. The sweep passes the fold of the device's
// curve (the current falls as the drain goes further negative) without its
// starts wandering off: Newton iterations per point at most perPoint.
constexpr int kReverseIterations = 50;

TEST(ThirdQuadrant, OperatingPointMatchesTheSweep) {
    setenv("VXR_LIBRARY_PATH", VXR_TORVEX_PATH, 1);
    const double volts[] = {5, 10, 15, 30};
    struct Case {
        const char* lib;
        int sign;
        double perPoint;
    } cases[] = {{"TORVEX_EN", 1, 8}, {"TORVEX_EN", -1, 8},   {"TORVEX", 1, 8},
                 {"TORVEX", -1, 8},   {"TORVEX_CORE", 1, 8}, {"TORVEX_CORE", -1, 8}};
    for (const auto& [lib, sign, perPoint] : cases) {
        SCOPED_TRACE(std::string(lib) + (sign > 0 ? " n" : " p"));
        const std::string head = std::string(".lib ") + lib + ".so\nVG g 0 DC 0\n" +
                                 transistorLine(lib, "N1", "d", "g", "0", std::string("NCELL=1e4 TYPE=") + (sign > 0 ? "1" : "-1"));
        auto sweep = Netlist::parse(head + "VD d 0 DC 0\n.dc VD 0 " + std::to_string(-30 * sign) + " " +
                                    std::to_string(-0.5 * sign) + "\n.print dc i(VD)\n");
        sweep->circuit().host().echoMessages = false;
        std::vector<Table> swept;
        ASSERT_NO_THROW(swept = sweep->run());
        const AnalysisStats& stats = sweep->statistics().at(0);
        EXPECT_LE(static_cast<double>(stats.newtonIterations) / static_cast<double>(stats.points), perPoint);
        for (double v : volts) {
            SCOPED_TRACE(v);
            std::pair<double, double> op;
            int iterations = 0;
            ASSERT_NO_THROW(op = firstTwo(head + "VD d 0 DC " + std::to_string(-v * sign) + "\n.op\n.print op i(VD) v(d)\n",
                                          &iterations));
            EXPECT_LE(iterations, kReverseIterations);
            const auto& row = swept[0].rows.at(static_cast<size_t>(std::lround(v / 0.5)));
            ASSERT_DOUBLE_EQ(row[0], -v * sign);
            EXPECT_NEAR(op.first, row[1], 1e-4 * std::abs(row[1]));
        }
    }
}

} // namespace
