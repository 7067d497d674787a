// Cost of one TORVEX_CORE load pass as a simulator sees it (mini_host_160.h):
// full and right-hand-side-only loads at a saturation bias and at zero bias;
// at the saturation bias also with V(TINT) moving between two nearby values
// on every pass, so no pass finds the temperature stage of the one before.
#include <benchmark/benchmark.h>

#include "mini_host_160.h"

namespace {

using bench160::Fixture;

// Drain at 10 V, gate at 5 V: the channel saturated, the drift region
// carrying the current, the device 1 K above ambient.
const std::map<std::string, double> kSaturation = {
    {"D", 10.0},      {"G", 5.0},         {"TINT", 1.0},     {"CORE_ID", 2.0},
    {"CORE_B1", 0.01}, {"CORE_B2", 0.005}, {"IB_DIODE1", -0.1}, {"IB_DIODE3", -0.2}};
const std::map<std::string, double> kZero = {};

void run(benchmark::State& st, const std::map<std::string, double>& bias, bool full, bool movingTint)
{
    Fixture f(VXR_TORVEX_CORE_PATH, {"D", "G", "S", "B", "TINT", "TEXT"}, bias);
    f.loads(st, full, movingTint);
    benchmark::DoNotOptimize(f.host.sink);
}
void BM_TorvexCoreFullLoad(benchmark::State& st, const std::map<std::string, double>& bias, bool movingTint)
{
    run(st, bias, true, movingTint);
}
void BM_TorvexCoreRhsLoad(benchmark::State& st, const std::map<std::string, double>& bias, bool movingTint)
{
    run(st, bias, false, movingTint);
}
BENCHMARK_CAPTURE(BM_TorvexCoreFullLoad, saturation, kSaturation, false);
BENCHMARK_CAPTURE(BM_TorvexCoreFullLoad, zero_bias, kZero, false);
BENCHMARK_CAPTURE(BM_TorvexCoreFullLoad, saturation_moving_tint, kSaturation, true);
BENCHMARK_CAPTURE(BM_TorvexCoreRhsLoad, saturation, kSaturation, false);
BENCHMARK_CAPTURE(BM_TorvexCoreRhsLoad, zero_bias, kZero, false);
BENCHMARK_CAPTURE(BM_TorvexCoreRhsLoad, saturation_moving_tint, kSaturation, true);

}  // namespace
