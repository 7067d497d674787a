// Cost of one LAMBRET load pass as a simulator sees it (mini_host.h, built
// for revision 1.87): full and right-hand-side-only loads.
#include <benchmark/benchmark.h>

#include "mini_host.h"

namespace {

// One pad instance whose solution values run from -0.2 V up in steps of 0.1 V.
struct PadFixture : bench::Fixture {
    PadFixture() : Fixture(VXR_LAMBRET_PATH, "X1", {"ext", "int", "bulk"})
    {
        for (size_t i = 0; i < host.x.size(); ++i) host.x[i] = 0.1 * static_cast<double>(i + 1) - 0.3;
    }
};

void BM_LambretFullLoad(benchmark::State& st)
{
    PadFixture f;
    bench::timeLoads(st, f, false);
}
BENCHMARK(BM_LambretFullLoad);

void BM_LambretRhsLoad(benchmark::State& st)
{
    PadFixture f;
    bench::timeLoads(st, f, true);
}
BENCHMARK(BM_LambretRhsLoad);

}  // namespace
