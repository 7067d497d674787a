// Cost of one TORVEX_EN load pass as a simulator sees it (mini_host.h):
// full and right-hand-side-only loads at a saturation bias and at zero bias;
// at the saturation bias also with V(TINT) moving between two nearby values
// on every pass, so no pass finds the temperature stage of the one before.
#include "mini_host.h"

namespace {

// Drain at 10 V, gate at 5 V: the channel saturated, the drift region
// carrying the current, the device 1 K above ambient; the outer network's
// nodes near the pins they hang from.
const bench::Bias kSaturation = {
    {"D", 10.0},      {"G", 5.0},       {"TINT", 1.0},      {"CORE_ID", 2.0},   {"CORE_B1", 0.01},
    {"CORE_B2", 0.005}, {"IB_DIODE1", -0.1}, {"IB_DIODE3", -0.2}, {"DI2", 9.99},  {"GI2", 5.0},
    {"DFIN1", 9.995}, {"DFIN2", 9.995}, {"DFIN3", 9.998},  {"GFIN1", 5.0},    {"GFIN2", 5.0},
    {"GFIN3", 5.0},   {"GPOLY", 5.0},   {"VIDS", 7.99},     {"S", 0.001},       {"BI2", 0.0005}};

const int kRegistered = bench::registerLoadBenchmarks("BM_TorvexEn", VXR_TORVEX_EN_PATH,
                                                      {"D", "G", "B", "TINT", "TEXT", "VIDS", "IIDS"},
                                                      {{"saturation", kSaturation, {}},
                                                       {"zero_bias", {}, {}},
                                                       {"saturation_moving_tint", kSaturation, "TINT"}});

}  // namespace

namespace {

// The parameter-only stage at large cell counts: every iteration changes
// NCELL (which asks for the stage again) and runs one full load at zero
// bias. The argument is NCELL.
void BM_TorvexEnParameterStage(benchmark::State& st)
{
    bench::Fixture f(VXR_TORVEX_EN_PATH, "N1", {"D", "G", "B", "TINT", "TEXT", "VIDS", "IIDS"});
    int location = -1;
    for (const VXR_ParamDesc* p = f.d->paramDescArray; p->name != nullptr; ++p)
        if (std::string(p->name) == "NCELL") location = p->paramLocation;
    if (location < 0) {
        st.SkipWithError("no NCELL parameter");
        return;
    }
    f.settle({});
    const double a = static_cast<double>(st.range(0)), b = a + 0.5;
    double ncell = a;
    for (auto _ : st) {
        ncell = ncell == a ? b : a;
        int violation = 0;
        f.d->pModifyRealParam(f.inst, location, &violation, ncell);
        f.d->pGenLoad(f.inst, &f.host.ldr);
    }
    benchmark::DoNotOptimize(f.host.sink);
}
BENCHMARK(BM_TorvexEnParameterStage)->Arg(1000000)->Arg(10000000)->Arg(100000000)->Unit(benchmark::kMillisecond);

}  // namespace
