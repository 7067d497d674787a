// Circuit setup as the netlist grows: parsing and building a chain of N
// resistors (a source, N - 1 inner nodes), from 1e3 to 1e6 elements. The
// time per element stays flat when setup is linear.
#include "vxrhost/Netlist.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string chain(long n) {
    std::string s = "V1 n0 0 1\n";
    for (long i = 1; i <= n; ++i)
        s += "R" + std::to_string(i) + " n" + std::to_string(i - 1) + (i < n ? " n" + std::to_string(i) : std::string(" 0")) + " 1\n";
    return s + ".op\n.print V(n1)\n";
}

void BM_ChainSetup(benchmark::State& state) {
    const long n = state.range(0);
    const std::string text = chain(n);
    for (auto _ : state) {
        auto nl = vxr::Netlist::parse(text);
        nl->circuit().setup();
        benchmark::DoNotOptimize(nl->circuit().size());
    }
    state.counters["per_element"] =
        benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ChainSetup)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
