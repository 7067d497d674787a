// Cost of one TORVEX_CORE load pass as a simulator sees it (mini_host.h):
// full and right-hand-side-only loads at a saturation bias and at zero bias.
#include <benchmark/benchmark.h>

#include "mini_host.h"

namespace {

// Drain at 10 V, gate at 5 V: the channel saturated, the drift region
// carrying the current, the device 1 K above ambient.
const std::map<std::string, double> kSaturation = {
    {"D", 10.0},      {"G", 5.0},         {"TINT", 1.0},     {"CORE_ID", 2.0},
    {"CORE_B1", 0.01}, {"CORE_B2", 0.005}, {"IB_DIODE1", -0.1}, {"IB_DIODE3", -0.2}};
const std::map<std::string, double> kZero = {};

void BM_TorvexCoreFullLoad(benchmark::State& st, const std::map<std::string, double>& bias)
{
    bench::Fixture f(VXR_TORVEX_CORE_PATH, "N1", {"D", "G", "S", "B", "TINT", "TEXT"});
    f.settle(bias);
    bench::timeLoads(st, f, false);
}
void BM_TorvexCoreRhsLoad(benchmark::State& st, const std::map<std::string, double>& bias)
{
    bench::Fixture f(VXR_TORVEX_CORE_PATH, "N1", {"D", "G", "S", "B", "TINT", "TEXT"});
    f.settle(bias);
    bench::timeLoads(st, f, true);
}
BENCHMARK_CAPTURE(BM_TorvexCoreFullLoad, saturation, kSaturation);
BENCHMARK_CAPTURE(BM_TorvexCoreFullLoad, zero_bias, kZero);
BENCHMARK_CAPTURE(BM_TorvexCoreRhsLoad, saturation, kSaturation);
BENCHMARK_CAPTURE(BM_TorvexCoreRhsLoad, zero_bias, kZero);

}  // namespace
