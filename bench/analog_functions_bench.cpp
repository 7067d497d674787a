// Cost of the shared analog functions as the loads evaluate them inline:
// value only (double) against value with partials (dual numbers).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "analog_functions.h"

namespace {

using D10 = vxr::Dual<10, 160>;

std::vector<double> sampleArgs(int n, double lo, double hi) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(lo, hi);
    std::vector<double> v(n);
    for (auto& x : v) x = u(rng);
    return v;
}

void BM_psi_s_double(benchmark::State& st) {
    auto a = sampleArgs(1024, 0.1, 2.0);
    size_t i = 0;
    for (auto _ : st) {
        double x = a[i++ & 1023];
        benchmark::DoNotOptimize(vxr::fn::psi_s_val<double>(0.0, x, 0.7, 0.03, 0.5, 0.1, 0.9, 1.0, 0.0259, 1e-3));
    }
}
BENCHMARK(BM_psi_s_double);

void BM_psi_s_dual(benchmark::State& st) {
    auto a = sampleArgs(1024, 0.1, 2.0);
    size_t i = 0;
    for (auto _ : st) {
        D10 x = D10::seed(a[i++ & 1023], 1);
        benchmark::DoNotOptimize(
            vxr::fn::psi_s_val<D10>(D10(0.0), x, D10(0.7), D10(0.03), D10(0.5), D10(0.1), D10(0.9), D10(1.0),
                                     D10(0.0259), D10(1e-3)));
    }
}
BENCHMARK(BM_psi_s_dual);

}  // namespace
