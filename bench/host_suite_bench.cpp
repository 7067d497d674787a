// The transistor characterization suite through the host: one benchmark per
// netlist, reporting the Newton iterations per point of each analysis (the
// largest over the netlist's analyses) beside the wall time. The switching
// circuits also report their transient's accepted and rejected steps per
// switching period and Newton iterations per step.
#include "vxrhost/Netlist.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

// period: the switching period of a switching circuit (0: none).
void runNetlist(benchmark::State& state, const std::string& path, double period) {
    setenv("VXR_LIBRARY_PATH", VXR_TORVEX_PATH, 1);
    double perPoint = 0.0, points = 0.0, failed = 0.0;
    double accepted = 0.0, rejected = 0.0, iterations = 0.0, periods = 0.0;
    for (auto _ : state) {
        auto nl = vxr::Netlist::parseFile(path);
        nl->circuit().host().echoMessages = false;
        try {
            nl->run();
        } catch (const vxr::SimError&) {
            failed = 1.0;
        }
        perPoint = points = 0.0;
        for (auto& a : nl->analyses())
            if (a.kind == vxr::AnalysisCmd::TRAN && period > 0) periods = a.tran.tstop / period;
        for (auto& st : nl->statistics()) {
            if (st.analysis.rfind(".tran", 0) == 0) {
                accepted = static_cast<double>(st.acceptedSteps);
                rejected = static_cast<double>(st.rejectedSteps);
                iterations = static_cast<double>(st.newtonIterations);
            }
            points += static_cast<double>(st.points);
            if (st.points > 0)
                perPoint = std::max(perPoint, static_cast<double>(st.newtonIterations) / static_cast<double>(st.points));
        }
    }
    state.counters["iterations_per_point"] = perPoint;
    state.counters["points"] = points;
    state.counters["failed"] = failed;
    if (period > 0 && periods > 0) {
        state.counters["accepted_per_period"] = accepted / periods;
        state.counters["rejected_per_period"] = rejected / periods;
        state.counters["iterations_per_step"] = accepted > 0 ? iterations / accepted : 0.0;
    }
}

// The switching circuits with their switching periods.
struct SwitchingCase {
    const char* name;
    double period;
};
constexpr SwitchingCase kSwitching[] = {
    {"sync_buck_torvex_core_n", 10e-6},
    {"boost_torvex_en_n", 10e-6},
    {"half_bridge_torvex_core_n", 8e-6},
    {"double_pulse_part06_torvex_core_n", 10e-6},
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
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
