// A minimal host for load benchmarks, compiled for the revision its program
// defines (VXR_REVISION 187 or 160): the library loaded with dlopen, a loader
// that reads solutions from a vector and sums what the batches deposit, one
// instance on fresh terminals.
#pragma once

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "VXR_Interface.h"

namespace bench {

struct MiniHost {
    VXR_SimInterface sim{};
    VXR_ContribLoader ldr{};
    std::deque<VXR_StateVar> vars; // pos is the index here and in x
    std::deque<VXR_BranchInfo> branches;
    std::vector<double> x;
    double sink = 0.0;
    int handles = 0;

    MiniHost();
    MiniHost(const MiniHost&) = delete;
    MiniHost& operator=(const MiniHost&) = delete;

    VXR_StateVar* newVar(const char* name, VXR_DeviceInst* inst)
    {
        VXR_StateVar& v = vars.emplace_back();
        v.varName = name;
        v.pParent = inst;
        v.pos = static_cast<int>(vars.size() - 1);
        return &v;
    }
};

inline MiniHost* hostOf(VXR_SimInterface* s) { return static_cast<MiniHost*>(s->pSimInfo); }
inline MiniHost* hostOf(VXR_ContribLoader* l) { return static_cast<MiniHost*>(l->pLoaderInfo); }

inline VXR_StateVar* setupNode(const char* name, VXR_DeviceInst* inst, VXR_NodalInfo*, void*)
{
    return hostOf(inst->pSimInterface)->newVar(name, inst);
}
inline VXR_StateVar* createBranch(const char* name, VXR_BranchTypeE, VXR_StateVar* p, VXR_StateVar* n,
                                  VXR_DeviceInst* inst, void*)
{
    MiniHost* h = hostOf(inst->pSimInterface);
    VXR_StateVar* v = h->newVar(name, inst);
    VXR_BranchInfo& b = h->branches.emplace_back();
    b.origName = name;
    b.pPosTerm = p;
    b.pNegTerm = n;
    b.dupCount = 1;
    v->pBranchInfo = &b;
    return v;
}
inline void* handle(VXR_DeviceInst* inst)
{
    return reinterpret_cast<void*>(static_cast<intptr_t>(++hostOf(inst->pSimInterface)->handles));
}
inline void* rhsPair(VXR_StateVar*, VXR_StateVar*, VXR_DepTypeE, VXR_DeviceInst* i, void*) { return handle(i); }
inline void* doublet(VXR_StateVar*, VXR_StateVar*, VXR_StateVar*, VXR_StampTargetE, VXR_DepTypeE,
                     VXR_DeviceInst* i, void*)
{
    return handle(i);
}
inline void* quartet(VXR_StateVar*, VXR_StateVar*, VXR_StateVar*, VXR_StateVar*, VXR_StampTargetE,
                     VXR_DepTypeE, VXR_DeviceInst* i, void*)
{
    return handle(i);
}
inline void reportDiscipline(VXR_StateVar*, VXR_DisciplineDescriptor*, VXR_DeviceInst*, VXR_SimInterface*) {}
inline double temperature(VXR_DeviceInst*, VXR_SimInterface*) { return 300.15; }
inline void message(VXR_MessageTypeE, const char* text, VXR_DeviceInst*, VXR_SimInterface*)
{
    std::fprintf(stderr, "%s\n", text);
}
inline void systemRequest(const char* req, int, VXR_DeviceInst*, VXR_ContribLoader*, VXR_SimInterface*)
{
    std::fprintf(stderr, "system request %s\n", req);
    std::abort();
}

// Loader callbacks; X is the instance argument that revision 1.87 appends.
template <class... X> double getSol(VXR_StateVar* sv, VXR_ContribLoader* l, X...)
{
    return hostOf(l)->x[static_cast<size_t>(sv->pos)];
}
template <class... X> void batch(int n, void**, double* v, VXR_ContribLoader* l, X...)
{
    double s = 0.0;
    for (int i = 0; i < n; ++i) s += v[i];
    hostOf(l)->sink += s;
}
template <class... X> int no(VXR_ContribLoader*, X...) { return 0; }
template <class... X> double zero(VXR_ContribLoader*, X...) { return 0.0; }
template <class... X> double noDefault(VXR_DefaultTypeE, VXR_ContribLoader*, X...) { return 0.0; }
template <class... X> unsigned long dcMask(VXR_ContribLoader*, X...) { return VXR_ANALYSIS_DC; }

inline MiniHost::MiniHost()
{
    sim.pSimInfo = this;
    sim.pSetupNode = setupNode;
    sim.pCreateBranch = createBranch;
    sim.pReportDiscipline = reportDiscipline;
    sim.pGetRhsPair = sim.pGetRhsPairQ = rhsPair;
    sim.pGetDerivDoublet = doublet;
    sim.pGetDerivQuartet = quartet;
    sim.pGetTemperature = temperature;
    sim.pMessage = message;
    sim.pSystemRequest = systemRequest;
    ldr.pLoaderInfo = this;
    ldr.pLoadRhsPair = ldr.pLoadRhsPairQ = ldr.pLoadDerivQuartet = ldr.pLoadDerivDoublet = batch;
    ldr.pLoadDerivQuartetQ = ldr.pLoadDerivDoubletQ = batch;
    ldr.pGetSol = getSol;
    ldr.pDoNoise = ldr.pDoStrobe = ldr.pDoDisplay = ldr.pIsInitialStep = ldr.pIsFinalStep = no;
    ldr.pGetTime = ldr.pGetFreq = ldr.pGetMinTimeStep = zero;
    ldr.pGetDefault = noDefault;
    ldr.pGetAnalysisQueryMask = dcMask;
}

struct Fixture {
    void* lib = nullptr;
    const VXR_ModuleDescriptor* d = nullptr;
    MiniHost host;
    VXR_DeviceInst* inst = nullptr;

    // An instance of the library's (first) module on fresh terminals, set up
    // and stamped; the solution all 0.
    Fixture(const char* path, const char* name, const std::vector<const char*>& terminals)
    {
        lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            std::fprintf(stderr, "%s\n", dlerror());
            std::abort();
        }
        auto manifest = reinterpret_cast<const VXR_LibraryManifest* (*)()>(dlsym(lib, "getLibraryManifest"));
        d = manifest()->pModules;
        std::vector<VXR_StateVar*> terms;
        for (const char* t : terminals) terms.push_back(host.newVar(t, nullptr));
        const int n = static_cast<int>(terms.size());
#if VXR_REVISION == 187
        inst = d->pCreateInstance(name, &host.sim, nullptr, n, nullptr, terms.data(), 0, nullptr, 0, 0);
        d->pFinalizeTopology(inst, nullptr);
        d->pCreateBranches(inst, nullptr);
        d->pReportNodalInfo(inst);
        d->pReportTopology(inst);
#else
        inst = d->pCreateInstance(name, &host.sim, nullptr, n, nullptr, terms.data(), 0, nullptr);
        d->pFinalizeTopology(inst, nullptr);
#endif
        d->pSetStamp(inst, nullptr);
        host.x.assign(host.vars.size(), 0.0);
    }
    ~Fixture() { d->pDestroyDevice(inst); }

    // Sets the solution by state-variable name (the rest 0) and runs one full
    // load, which does the parameter-only work: the temperature never changes,
    // so the timed passes after it see the steady state.
    void settle(const std::map<std::string, double>& bias)
    {
        for (size_t i = 0; i < host.vars.size(); ++i) {
            const auto it = bias.find(host.vars[i].varName);
            host.x[i] = it != bias.end() ? it->second : 0.0;
        }
        d->pGenLoad(inst, &host.ldr);
    }

    // The solution value of a state variable, by name.
    double& solution(const std::string& name)
    {
        for (size_t i = 0; i < host.vars.size(); ++i)
            if (host.vars[i].varName == name) return host.x[i];
        std::fprintf(stderr, "no state variable %s\n", name.c_str());
        std::abort();
    }
};

// The timed loop: one full load, or one right-hand-side-only load, an
// iteration. With `moving` named, that state variable's solution takes two
// nearby values in turn, so no pass sees the solution of the pass before.
inline void timeLoads(benchmark::State& st, Fixture& f, bool rhsOnly, const std::string& moving = {})
{
    const auto load = rhsOnly ? f.d->pGenLoadRHS : f.d->pGenLoad;
    if (moving.empty()) {
        for (auto _ : st) load(f.inst, &f.host.ldr);
    } else {
        double& x = f.solution(moving);
        const double a = x, b = x + 1e-3;
        for (auto _ : st) {
            x = x == a ? b : a;
            load(f.inst, &f.host.ldr);
        }
    }
    benchmark::DoNotOptimize(f.host.sink);
}

// Registers <prefix>FullLoad/<case> and then <prefix>RhsLoad/<case> for each
// case: an instance of the library at `path` on `terminals`, settled at the
// case's bias, timed over its full or right-hand-side-only loads.
using Bias = std::map<std::string, double>;
struct LoadCase {
    std::string name;
    Bias bias;
    std::string moving; // a state variable that changes on every pass, or none
};
inline int registerLoadBenchmarks(const std::string& prefix, const char* path, const std::vector<const char*>& terminals,
                                  const std::vector<LoadCase>& cases)
{
    for (bool rhsOnly : {false, true}) {
        for (const LoadCase& c : cases) {
            const std::string full = prefix + (rhsOnly ? "RhsLoad/" : "FullLoad/") + c.name;
            benchmark::RegisterBenchmark(full.c_str(), [=](benchmark::State& st) {
                Fixture f(path, "N1", terminals);
                f.settle(c.bias);
                timeLoads(st, f, rhsOnly, c.moving);
            });
        }
    }
    return 0;
}

} // namespace bench
