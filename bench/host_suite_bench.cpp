// The transistor characterization suite through the host: one benchmark per
// netlist, reporting the Newton iterations per point of each analysis (the
// largest over the netlist's analyses) beside the wall time. The switching
// circuits also report their transient's accepted and rejected steps per
// switching period and Newton iterations per step.
#include "vxrhost/Netlist.h"
#include "transistor_netlist.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// The figures of one benchmark. Every run reports all of them, since a CSV
// report has one header for every row; one that does not apply is 0.
struct Figures {
    double perPoint = 0.0, points = 0.0, failed = 0.0, loadsPerIteration = 0.0;
    double acceptedPerPeriod = 0.0, rejectedPerPeriod = 0.0, iterationsPerStep = 0.0;
};

void report(benchmark::State& state, const Figures& f) {
    state.counters["iterations_per_point"] = f.perPoint;
    state.counters["points"] = f.points;
    state.counters["failed"] = f.failed;
    state.counters["loads_per_iteration"] = f.loadsPerIteration;
    state.counters["accepted_per_period"] = f.acceptedPerPeriod;
    state.counters["rejected_per_period"] = f.rejectedPerPeriod;
    state.counters["iterations_per_step"] = f.iterationsPerStep;
}

// period: the switching period of a switching circuit (0: none).
// Runs every analysis of a netlist without echoing library messages; false
// when one of them fails.
bool runQuietly(vxr::Netlist& nl) {
    nl.circuit().host().echoMessages = false;
    try {
        nl.run();
        return true;
    } catch (const vxr::SimError&) {
        return false;
    }
}

void runNetlist(benchmark::State& state, const std::string& path, double period) {
    setenv("VXR_LIBRARY_PATH", VXR_TORVEX_PATH, 1);
    double perPoint = 0.0, points = 0.0, failed = 0.0, loads = 0.0, allIterations = 0.0;
    double accepted = 0.0, rejected = 0.0, iterations = 0.0, periods = 0.0;
    for (auto _ : state) {
        auto nl = vxr::Netlist::parseFile(path);
        if (!runQuietly(*nl)) failed = 1.0;
        perPoint = points = loads = allIterations = 0.0;
        for (auto& a : nl->analyses())
            if (a.kind == vxr::AnalysisCmd::TRAN && period > 0) periods = a.tran.tstop / period;
        for (auto& st : nl->statistics()) {
            if (st.analysis.rfind(".tran", 0) == 0) {
                accepted = static_cast<double>(st.acceptedSteps);
                rejected = static_cast<double>(st.rejectedSteps);
                iterations = static_cast<double>(st.newtonIterations);
            }
            points += static_cast<double>(st.points);
            loads += static_cast<double>(st.loadPasses);
            allIterations += static_cast<double>(st.newtonIterations);
            if (st.points > 0)
                perPoint = std::max(perPoint, static_cast<double>(st.newtonIterations) / static_cast<double>(st.points));
        }
    }
    Figures f{perPoint, points, failed, allIterations > 0 ? loads / allIterations : 0.0};
    if (period > 0 && periods > 0) {
        f.acceptedPerPeriod = accepted / periods;
        f.rejectedPerPeriod = rejected / periods;
        f.iterationsPerStep = accepted > 0 ? iterations / accepted : 0.0;
    }
    report(state, f);
}

// ---- Operating points of switch circuits -----------------------------------
// A high-side switch with its floating gate source, a half-bridge, reverse
// conduction and a gate held only by a bleed resistor, in every transistor
// library and type, from zero: the Newton iterations per point (a .op is one
// point) and load passes per iteration.

using vxr::testing::transistorLine;

struct SwitchCase {
    const char* name;
    // The circuit for a library, type sign (+1 n, -1 p) and TYPE parameter.
    std::string (*netlist)(const std::string& lib, int sign, const std::string& type);
};

std::string num(double v) { return std::to_string(v); }

// Reverse conduction: the drain held volts below the source, the gate at 0.
std::string reverseOp(const std::string& lib, int sg, const std::string& t, double volts) {
    return "VD d 0 DC " + num(-volts * sg) + "\nVG g 0 DC 0\n" + transistorLine(lib, "N1", "d", "g", "0", "NCELL=1e4 " + t) +
           ".op\n";
}

// The gate held only by a bleed resistor to ground, the drain at 48 V.
std::string bleedOp(const std::string& lib, int sg, const std::string& t, const std::string& ohms) {
    return "VD d 0 DC " + num(48 * sg) + "\nRB g 0 " + ohms + "\n" +
           transistorLine(lib, "N1", "d", "g", "0", "NCELL=1e4 " + t) + ".op\n";
}

const SwitchCase kSwitchCases[] = {
    {"high_side",
     [](const std::string& lib, int sg, const std::string& t) {
         return "VIN vin 0 DC " + num(48 * sg) + "\n" + transistorLine(lib, "NH", "vin", "gh", "sw", "NCELL=1e5 " + t) +
                "VGH gh sw DC " + num(10 * sg) + "\nI1 sw 0 DC " + num(12 * sg) + "\n.op\n";
     }},
    {"half_bridge",
     [](const std::string& lib, int sg, const std::string& t) {
         return "VIN vin 0 DC " + num(48 * sg) + "\n" + transistorLine(lib, "NH", "vin", "gh", "sw", "NCELL=1e5 " + t) +
                "VGH gh sw DC " + num(10 * sg) + "\nI1 sw 0 DC " + num(12 * sg) + "\nRG g 0 5\n" +
                transistorLine(lib, "NL", "sw", "g", "0", "NCELL=1e5 " + t) + ".op\n";
     }},
    {"third_quadrant_sweep",
     [](const std::string& lib, int sg, const std::string& t) {
         return "VD d 0 DC 0\nVG g 0 DC 0\n" + transistorLine(lib, "N1", "d", "g", "0", "NCELL=1e4 " + t) + ".dc VD 0 " +
                num(-30 * sg) + " " + num(-0.5 * sg) + "\n";
     }},
    {"third_quadrant_op_5V", [](const std::string& lib, int sg, const std::string& t) { return reverseOp(lib, sg, t, 5); }},
    {"third_quadrant_op_10V", [](const std::string& lib, int sg, const std::string& t) { return reverseOp(lib, sg, t, 10); }},
    {"third_quadrant_op_30V", [](const std::string& lib, int sg, const std::string& t) { return reverseOp(lib, sg, t, 30); }},
    {"gate_bleed_100meg", [](const std::string& lib, int sg, const std::string& t) { return bleedOp(lib, sg, t, "1.005e8"); }},
    {"gate_bleed_1g", [](const std::string& lib, int sg, const std::string& t) { return bleedOp(lib, sg, t, "1e9"); }},
};

void runSwitchCase(benchmark::State& state, const std::string& text) {
    setenv("VXR_LIBRARY_PATH", VXR_TORVEX_PATH, 1);
    double iterations = 0.0, loads = 0.0, points = 0.0, failed = 0.0;
    for (auto _ : state) {
        auto nl = vxr::Netlist::parse(text);
        if (!runQuietly(*nl)) failed = 1.0;
        iterations = loads = points = 0.0;
        for (auto& st : nl->statistics()) {
            iterations += static_cast<double>(st.newtonIterations);
            loads += static_cast<double>(st.loadPasses);
            points += static_cast<double>(st.points);
        }
    }
    report(state, {points > 0 ? iterations / points : iterations, points, failed, iterations > 0 ? loads / iterations : 0.0});
}

void registerSwitchCases() {
    for (const SwitchCase& c : kSwitchCases)
        for (const char* lib : {"TORVEX_EN", "TORVEX", "TORVEX_CORE"})
            for (int sign : {1, -1}) {
                const std::string type = sign > 0 ? "TYPE=1" : "TYPE=-1";
                std::string name = std::string("op/") + c.name + "/" + lib + (sign > 0 ? "_n" : "_p");
                std::string text = std::string(".lib ") + lib + ".so\n" + c.netlist(lib, sign, type);
                benchmark::RegisterBenchmark(name.c_str(), runSwitchCase, text)->Unit(benchmark::kMillisecond)->Iterations(1);
            }
}

// The switching circuits with their switching periods: the four first, then
// the same circuits in the other libraries and types (the bucks, at half a
// minute each, only once more).
struct SwitchingCase {
    const char* name;
    double period;
};
constexpr SwitchingCase kSwitching[] = {
    {"sync_buck_torvex_core_n", 10e-6},
    {"boost_torvex_en_n", 10e-6},
    {"half_bridge_torvex_core_n", 8e-6},
    {"double_pulse_part06_torvex_core_n", 10e-6},
    {"sync_buck_torvex_en_p", 10e-6},
    {"boost_torvex_core_n", 10e-6},
    {"boost_torvex_p", 10e-6},
    {"half_bridge_torvex_core_p", 8e-6},
    {"half_bridge_torvex_en_n", 8e-6},
    {"half_bridge_torvex_en_p", 8e-6},
    {"half_bridge_torvex_n", 8e-6},
    {"half_bridge_torvex_p", 8e-6},
    {"double_pulse_part06_torvex_core_p", 10e-6},
    {"double_pulse_part06_torvex_en_n", 10e-6},
    {"double_pulse_part06_torvex_en_p", 10e-6},
    {"double_pulse_part06_torvex_n", 10e-6},
    {"double_pulse_part06_torvex_p", 10e-6},
};

} // namespace

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> cases;
    for (auto& e : std::filesystem::directory_iterator(VXR_SUITE_DIR))
        if (e.path().extension() == ".cir") cases.push_back(e.path());
    std::sort(cases.begin(), cases.end());
    for (auto& p : cases)
        benchmark::RegisterBenchmark(p.stem().string().c_str(), runNetlist, p.string(), 0.0)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    for (auto& c : kSwitching)
        benchmark::RegisterBenchmark(c.name, runNetlist, std::string(VXR_SWITCHING_DIR) + "/" + c.name + ".cir", c.period)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    registerSwitchCases();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
