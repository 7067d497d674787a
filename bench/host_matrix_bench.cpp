// The circuit matrix's cost as the circuit grows, per solver: N TORVEX_EN
// dies in parallel, each drain behind 10 ohm on one swept supply.
//  - newton/<solver>/N: each gate through a LAMBRET pad; a 21-point DC sweep,
//    with the time per Newton iteration and instance as a counter.
//  - sweep21/<solver>/40: 40 dies (VDEP=0, no pads); the time of the 21-point
//    sweep itself.
//  - pads/<solver>/N: N LAMBRET pads sharing one node, each into 1 kohm; the
//    operating point, with the time per Newton iteration and pad as a
//    counter (constant where the cost is linear in the pads).
#include "vxrhost/Netlist.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

using vxr::SolverKind;

// The netlist of n dies in parallel.
std::string parallelDies(int n, bool pads, SolverKind solver) {
    std::string s = "* " + std::to_string(n) + " TORVEX_EN in parallel\n.lib TORVEX_EN.so\n";
    if (pads) s += ".lib LAMBRET.so\n";
    s += std::string(".options solver=") + vxr::solverName(solver) + "\nVD d 0 DC 0\nVG g 0 DC 5\n";
    for (int i = 1; i <= n; ++i) {
        const std::string k = std::to_string(i), gate = pads ? "g" + k : "g";
        s += "R" + k + " d d" + k + " 10\n";
        if (pads) s += "NP" + k + " g " + gate + " 0 LAMBRET\n";
        s += "N" + k + " d" + k + " " + gate + " 0 t" + k + " 0 v" + k + " i" + k + " TORVEX_EN VDEP=0\n";
        s += "VI" + k + " i" + k + " 0 DC 0\n";
    }
    return s + ".dc VD 0 20 1\n.print dc i(VD)\n";
}

// Runs the sweep; returns the Newton iterations it took.
double sweep(vxr::Netlist& nl, benchmark::State& state) {
    try {
        nl.run();
    } catch (const vxr::SimError& e) {
        state.SkipWithError(e.what());
        return 0.0;
    }
    return static_cast<double>(nl.statistics().at(0).newtonIterations);
}

// The netlist of n pads on one node.
std::string padsOnOneNode(int n, SolverKind solver) {
    std::string s = "* " + std::to_string(n) + " LAMBRET pads on one node\n.lib LAMBRET.so\n";
    s += std::string(".options solver=") + vxr::solverName(solver) + "\nVIN src 0 DC 1\nRSRC src ext 50\n";
    for (int i = 0; i < n; ++i) {
        const std::string k = std::to_string(i);
        s += "NP" + k + " ext int" + k + " 0 LAMBRET\nRL" + k + " int" + k + " 0 1k\n";
    }
    return s + ".op\n.print op V(int0)\n";
}

std::unique_ptr<vxr::Netlist> parse(const std::string& text) {
    setenv("VXR_LIBRARY_PATH", VXR_LIBRARY_DIRS, 1);
    auto nl = vxr::Netlist::parse(text);
    nl->circuit().host().echoMessages = false;
    return nl;
}

std::unique_ptr<vxr::Netlist> load(int n, bool pads, SolverKind solver) {
    setenv("VXR_LIBRARY_PATH", VXR_LIBRARY_DIRS, 1);
    auto nl = vxr::Netlist::parse(parallelDies(n, pads, solver));
    nl->circuit().host().echoMessages = false;
    return nl;
}

void newtonPerInstance(benchmark::State& state, SolverKind solver) {
    const int n = static_cast<int>(state.range(0));
    auto nl = load(n, true, solver);
    vxr::Simulator setup(nl->circuit()); // the instances' topology and stamps, outside the timing
    double iterations = 0.0;
    for (auto _ : state) iterations += sweep(*nl, state);
    state.counters["unknowns"] = nl->circuit().size();
    state.counters["iterations"] = iterations / static_cast<double>(state.iterations());
    // Wall time per (Newton iteration x instance).
    state.counters["per_instance"] =
        benchmark::Counter(iterations * n, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void sweep21(benchmark::State& state, SolverKind solver) {
    auto nl = load(static_cast<int>(state.range(0)), false, solver);
    double iterations = 0.0;
    for (auto _ : state) iterations += sweep(*nl, state);
    state.counters["iterations"] = iterations / static_cast<double>(state.iterations());
}

void padsPerPad(benchmark::State& state, SolverKind solver) {
    const int n = static_cast<int>(state.range(0));
    auto nl = parse(padsOnOneNode(n, solver));
    vxr::Simulator setup(nl->circuit());
    double iterations = 0.0;
    for (auto _ : state) iterations += sweep(*nl, state);
    state.counters["unknowns"] = nl->circuit().size();
    state.counters["iterations"] = iterations / static_cast<double>(state.iterations());
    state.counters["per_pad"] = benchmark::Counter(iterations * n, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

int main(int argc, char** argv) {
    for (SolverKind k : {SolverKind::KLU, SolverKind::SPARSELU, SolverKind::DENSE}) {
        if (!vxr::solverAvailable(k)) continue;
        const std::string name = vxr::solverName(k);
        auto* b = benchmark::RegisterBenchmark(("newton/" + name).c_str(), newtonPerInstance, k);
        b->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0)->Arg(1)->Arg(10)->Arg(100);
        // Dense LU grows as the cube of the unknowns: 300 dies take minutes per factorisation.
        if (k != SolverKind::DENSE) b->Arg(300);
        benchmark::RegisterBenchmark(("sweep21/" + name).c_str(), sweep21, k)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Arg(40);
        auto* p = benchmark::RegisterBenchmark(("pads/" + name).c_str(), padsPerPad, k);
        p->Unit(benchmark::kMillisecond)->UseRealTime();
        // Dense LU holds n^2 entries and takes at most kDenseLimit unknowns: 500
        // pads are 4003.
        if (k == SolverKind::DENSE) p->Arg(100)->Arg(500);
        else p->Arg(1000)->Arg(2000)->Arg(4000)->Arg(10000);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
