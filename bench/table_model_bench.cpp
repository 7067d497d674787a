// $table_model: cost of one evaluation after set-up (a one-dimensional cubic
// table, a two-dimensional cubic-by-linear one, with and without partials)
// and of the set-up itself (reading, ordering and building a shuffled file).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "VXR_SupportLib.h"

namespace {

void quietMessage(VXR_MessageTypeE, const char*, VXR_DeviceInst*, VXR_SimInterface*) {}
void quietRequest(const char*, int, VXR_DeviceInst*, VXR_ContribLoader*, VXR_SimInterface*) {}

struct Host {
    VXR_SimInterface sim{};
    VXR_ModuleDescriptor md{};
    VXR_DeviceInst inst{};
    Host() {
        sim.pMessage = quietMessage;
        sim.pSystemRequest = quietRequest;
        md.moduleName = "bench";
        inst.instName = "b1";
        inst.pModuleDescriptor = &md;
        inst.pSimInterface = &sim;
    }
};

// A data file of rows (x0 .. x(d-1), y) over a grid, in shuffled order.
std::string writeGrid(int n0, int n1) {
    std::vector<std::string> rows;
    char buf[128];
    for (int i = 0; i < n0; ++i)
        for (int j = 0; j < std::max(n1, 1); ++j) {
            double a = i * 0.1 + 0.01 * std::sin(i), b = j * 0.2;
            if (n1 > 0)
                snprintf(buf, sizeof buf, "%.17g %.17g %.17g\n", a, b, std::sin(a) * std::cos(b));
            else
                snprintf(buf, sizeof buf, "%.17g %.17g\n", a, std::sin(a));
            rows.push_back(buf);
        }
    std::shuffle(rows.begin(), rows.end(), std::mt19937(3));
    char name[] = "/tmp/vxr_bench_XXXXXX";
    int fd = mkstemp(name);
    FILE* f = fdopen(fd, "w");
    for (const auto& r : rows) fputs(r.c_str(), f);
    fclose(f);
    return name;
}

void BM_table1D_cubic(benchmark::State& st) {
    Host h;
    std::string file = writeGrid(200, 0);
    int codes[] = {3};
    void* t = VXR_createTableModelFileSource(&h.inst, 1, codes, (char*)"L", (char*)"L", file.c_str());
    double d[1];
    VXR_callTableModel(t, d, 1, 1.0);
    double x = 0.0;
    for (auto _ : st) {
        x = x > 19.9 ? 0.0 : x + 0.0137;
        benchmark::DoNotOptimize(VXR_callTableModel(t, st.range(0) ? d : nullptr, 1, x));
    }
    VXR_freeTableModel(t);
    remove(file.c_str());
}
BENCHMARK(BM_table1D_cubic)->Arg(0)->Arg(1);

void BM_table2D_cubicByLinear(benchmark::State& st) {
    Host h;
    std::string file = writeGrid(20, 20);
    int codes[] = {3, 1};
    void* t = VXR_createTableModelFileSource(&h.inst, 2, codes, (char*)"LL", (char*)"LL", file.c_str());
    double d[2];
    VXR_callTableModel(t, d, 2, 1.0, 1.0);
    double x = 0.0;
    for (auto _ : st) {
        x = x > 1.9 ? 0.0 : x + 0.0137;
        benchmark::DoNotOptimize(VXR_callTableModel(t, st.range(0) ? d : nullptr, 2, x, 2 * x));
    }
    VXR_freeTableModel(t);
    remove(file.c_str());
}
BENCHMARK(BM_table2D_cubicByLinear)->Arg(0)->Arg(1);

// Set-up of a shuffled n x 20 grid: reading, the exchange sort, the tree.
void BM_tableSetup(benchmark::State& st) {
    Host h;
    std::string file = writeGrid(static_cast<int>(st.range(0)), 20);
    for (auto _ : st) {
        void* t = VXR_createTableModelFileSource(&h.inst, 0, nullptr, nullptr, nullptr, file.c_str());
        benchmark::DoNotOptimize(VXR_callTableModel(t, nullptr, 2, 0.5, 0.5));
        VXR_freeTableModel(t);
    }
    remove(file.c_str());
}
BENCHMARK(BM_tableSetup)->Arg(5)->Arg(50)->Unit(benchmark::kMicrosecond);

} // namespace
