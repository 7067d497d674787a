// A minimal revision 1.60 host for load benchmarks: the library loaded with
// dlopen, a loader that reads solutions from a vector and sums what the
// batches deposit, one instance on fresh terminals. The temperature never
// changes, so passes after the first do no parameter-only work.
#pragma once

#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "VXR_Interface.h"

namespace bench160 {

struct MiniHost {
    VXR160_SimInterface sim{};
    VXR160_ContribLoader ldr{};
    std::deque<VXR160_StateVar> vars;
    std::vector<double> x;
    double sink = 0.0;
    int handles = 0;
};

MiniHost* hostOf(VXR160_SimInterface* s) { return static_cast<MiniHost*>(s->pSimInfo); }
MiniHost* hostOf(VXR160_ContribLoader* l) { return static_cast<MiniHost*>(l->pLoaderInfo); }

VXR160_StateVar* newVar(MiniHost* h, const char* name, VXR160_DeviceInst* inst)
{
    VXR160_StateVar& v = h->vars.emplace_back();
    v.varName = name;
    v.pParent = inst;
    v.pos = static_cast<int>(h->vars.size() - 1);
    return &v;
}

VXR160_StateVar* setupNode(const char* name, VXR160_DeviceInst* inst, VXR160_NodalInfo*, void*)
{
    return newVar(hostOf(inst->pSimInterface), name, inst);
}
VXR160_StateVar* createBranch(const char* name, VXR_BranchTypeE, VXR160_StateVar*, VXR160_StateVar*,
                              VXR160_DeviceInst* inst, void*)
{
    return newVar(hostOf(inst->pSimInterface), name, inst);
}
void* handle(VXR160_DeviceInst* inst)
{
    return reinterpret_cast<void*>(static_cast<intptr_t>(++hostOf(inst->pSimInterface)->handles));
}
void* rhsPair(VXR160_StateVar*, VXR160_StateVar*, VXR_DepTypeE, VXR160_DeviceInst* i, void*) { return handle(i); }
void* doublet(VXR160_StateVar*, VXR160_StateVar*, VXR160_StateVar*, VXR_StampTargetE, VXR_DepTypeE,
              VXR160_DeviceInst* i, void*)
{
    return handle(i);
}
void* quartet(VXR160_StateVar*, VXR160_StateVar*, VXR160_StateVar*, VXR160_StateVar*, VXR_StampTargetE,
              VXR_DepTypeE, VXR160_DeviceInst* i, void*)
{
    return handle(i);
}
void reportDiscipline(VXR160_StateVar*, VXR160_DisciplineDescriptor*, VXR160_DeviceInst*, VXR160_SimInterface*) {}
double temperature(VXR160_DeviceInst*, VXR160_SimInterface*) { return 300.15; }
void message(VXR_MessageTypeE, const char* text, VXR160_DeviceInst*, VXR160_SimInterface*)
{
    std::fprintf(stderr, "%s\n", text);
}
void systemRequest(const char* req, int, VXR160_DeviceInst*, VXR160_ContribLoader*, VXR160_SimInterface*)
{
    std::fprintf(stderr, "system request %s\n", req);
    std::abort();
}

double getSol(VXR160_StateVar* sv, VXR160_ContribLoader* l) { return hostOf(l)->x[static_cast<size_t>(sv->pos)]; }
void batch(int n, void**, double* v, VXR160_ContribLoader* l)
{
    double s = 0.0;
    for (int i = 0; i < n; ++i) s += v[i];
    hostOf(l)->sink += s;
}
int no(VXR160_ContribLoader*) { return 0; }
double zero(VXR160_ContribLoader*) { return 0.0; }
double noDefault(VXR_DefaultTypeE, VXR160_ContribLoader*) { return 0.0; }
unsigned long dcMask(VXR160_ContribLoader*) { return VXR_ANALYSIS_DC; }

struct Fixture {
    void* lib = nullptr;
    const VXR160_ModuleDescriptor* d = nullptr;
    MiniHost host;
    VXR160_DeviceInst* inst = nullptr;

    // An instance of the library's module on fresh terminals, stamped, at the
    // given solution values (by state-variable name; the rest 0), after one
    // full load (which runs the parameter-only group).
    Fixture(const char* path, const std::vector<const char*>& terminals, const std::map<std::string, double>& bias)
    {
        lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            std::fprintf(stderr, "%s\n", dlerror());
            std::abort();
        }
        auto manifest = reinterpret_cast<const VXR160_LibraryManifest* (*)()>(dlsym(lib, "getLibraryManifest"));
        d = manifest()->pModules;
        VXR160_SimInterface& s = host.sim;
        s.pSimInfo = &host;
        s.pSetupNode = setupNode;
        s.pCreateBranch = createBranch;
        s.pReportDiscipline = reportDiscipline;
        s.pGetRhsPair = rhsPair;
        s.pGetRhsPairQ = rhsPair;
        s.pGetDerivDoublet = doublet;
        s.pGetDerivQuartet = quartet;
        s.pGetTemperature = temperature;
        s.pMessage = message;
        s.pSystemRequest = systemRequest;
        VXR160_ContribLoader& l = host.ldr;
        l.pLoaderInfo = &host;
        l.pLoadRhsPair = l.pLoadRhsPairQ = l.pLoadDerivQuartet = l.pLoadDerivDoublet = batch;
        l.pLoadDerivQuartetQ = l.pLoadDerivDoubletQ = batch;
        l.pGetSol = getSol;
        l.pDoNoise = l.pDoStrobe = l.pDoDisplay = l.pIsInitialStep = l.pIsFinalStep = no;
        l.pGetTime = l.pGetFreq = l.pGetMinTimeStep = zero;
        l.pGetDefault = noDefault;
        l.pGetAnalysisQueryMask = dcMask;

        std::vector<VXR160_StateVar*> terms;
        for (const char* t : terminals) terms.push_back(newVar(&host, t, nullptr));
        inst = d->pCreateInstance("N1", &s, nullptr, static_cast<int>(terms.size()), nullptr, terms.data(), 0, nullptr);
        d->pFinalizeTopology(inst, nullptr);
        d->pSetStamp(inst, nullptr);
        host.x.assign(host.vars.size(), 0.0);
        for (size_t i = 0; i < host.vars.size(); ++i) {
            const auto it = bias.find(host.vars[i].varName);
            if (it != bias.end()) host.x[i] = it->second;
        }
        d->pGenLoad(inst, &host.ldr);
    }
    ~Fixture() { d->pDestroyDevice(inst); }

    // Full or right-hand-side-only loads, one per benchmark iteration. With
    // movingTint V(TINT) takes two nearby values in turn, so no pass finds
    // the temperature of the pass before.
    template <class State>
    void loads(State& st, bool full, bool movingTint)
    {
        const auto load = full ? d->pGenLoad : d->pGenLoadRHS;
        double& tint = solution("TINT");
        const double a = tint, b = tint + 1e-3;
        for (auto _ : st) {
            if (movingTint) tint = tint == a ? b : a;
            load(inst, &host.ldr);
        }
    }

    // The solution value of a state variable, by name.
    double& solution(const char* name)
    {
        for (size_t i = 0; i < host.vars.size(); ++i)
            if (std::string(host.vars[i].varName) == name) return host.x[i];
        std::fprintf(stderr, "no state variable %s\n", name);
        std::abort();
    }
};

} // namespace bench160
