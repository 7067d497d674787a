// The transistor characterization suite through the host: one benchmark per
// netlist, reporting the Newton iterations per point of each analysis (the
// largest over the netlist's analyses) beside the wall time.
#include "vxrhost/Netlist.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

void runNetlist(benchmark::State& state, const std::string& path) {
    setenv("VXR_LIBRARY_PATH", VXR_TORVEX_PATH, 1);
    double perPoint = 0.0, points = 0.0, failed = 0.0;
    for (auto _ : state) {
        auto nl = vxr::Netlist::parseFile(path);
        nl->circuit().host().echoMessages = false;
        try {
            nl->run();
        } catch (const vxr::SimError&) {
            failed = 1.0;
        }
        perPoint = points = 0.0;
        for (auto& st : nl->statistics()) {
            points += static_cast<double>(st.points);
            if (st.points > 0)
                perPoint = std::max(perPoint, static_cast<double>(st.newtonIterations) / static_cast<double>(st.points));
        }
    }
    state.counters["iterations_per_point"] = perPoint;
    state.counters["points"] = points;
    state.counters["failed"] = failed;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> cases;
    for (auto& e : std::filesystem::directory_iterator(VXR_SUITE_DIR))
        if (e.path().extension() == ".cir") cases.push_back(e.path());
    std::sort(cases.begin(), cases.end());
    for (auto& p : cases)
        benchmark::RegisterBenchmark(p.stem().string().c_str(), runNetlist, p.string())
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
