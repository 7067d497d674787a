// Cost of one LAMBRET load pass as a simulator sees it: the library loaded
// with dlopen, a minimal revision 1.87 host whose loader reads solutions from
// a vector and sums what the batches deposit.
#include <dlfcn.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <vector>

#include "VXR_Interface.h"

namespace {

struct MiniHost {
    VXR187_SimInterface sim{};
    VXR187_ContribLoader ldr{};
    std::deque<VXR187_StateVar> vars;
    std::deque<VXR187_BranchInfo> branches;
    std::vector<double> x;
    double sink = 0.0;
    int handles = 0;
};

MiniHost* hostOf(VXR187_SimInterface* s) { return static_cast<MiniHost*>(s->pSimInfo); }
MiniHost* hostOf(VXR187_ContribLoader* l) { return static_cast<MiniHost*>(l->pLoaderInfo); }

VXR187_StateVar* newVar(MiniHost* h, const char* name, VXR187_DeviceInst* inst) {
    VXR187_StateVar& v = h->vars.emplace_back();
    v.varName = name;
    v.pParent = inst;
    v.pos = static_cast<int>(h->vars.size());
    return &v;
}

VXR187_StateVar* setupNode(const char* name, VXR187_DeviceInst* inst, VXR187_NodalInfo*, void*) {
    return newVar(hostOf(inst->pSimInterface), name, inst);
}
VXR187_StateVar* createBranch(const char* name, VXR_BranchTypeE, VXR187_StateVar* p, VXR187_StateVar* n,
                              VXR187_DeviceInst* inst, void*) {
    MiniHost* h = hostOf(inst->pSimInterface);
    VXR187_StateVar* v = newVar(h, name, inst);
    VXR187_BranchInfo& b = h->branches.emplace_back();
    b.origName = name;
    b.pPosTerm = p;
    b.pNegTerm = n;
    b.dupCount = 1;
    v->pBranchInfo = &b;
    return v;
}
void* handle(VXR187_DeviceInst* inst) {
    return reinterpret_cast<void*>(static_cast<intptr_t>(++hostOf(inst->pSimInterface)->handles));
}
void* rhsPair(VXR187_StateVar*, VXR187_StateVar*, VXR_DepTypeE, VXR187_DeviceInst* i, void*) { return handle(i); }
void* doublet(VXR187_StateVar*, VXR187_StateVar*, VXR187_StateVar*, VXR_StampTargetE, VXR_DepTypeE,
              VXR187_DeviceInst* i, void*) {
    return handle(i);
}
void* quartet(VXR187_StateVar*, VXR187_StateVar*, VXR187_StateVar*, VXR187_StateVar*, VXR_StampTargetE,
              VXR_DepTypeE, VXR187_DeviceInst* i, void*) {
    return handle(i);
}
void reportDiscipline(VXR187_StateVar*, VXR187_DisciplineDescriptor*, VXR187_DeviceInst*, VXR187_SimInterface*) {}
double temperature(VXR187_DeviceInst*, VXR187_SimInterface*) { return 300.15; }
void message(VXR_MessageTypeE, const char* text, VXR187_DeviceInst*, VXR187_SimInterface*) {
    std::fprintf(stderr, "%s\n", text);
}
void systemRequest(const char* req, int, VXR187_DeviceInst*, VXR187_ContribLoader*, VXR187_SimInterface*) {
    std::fprintf(stderr, "system request %s\n", req);
    std::abort();
}

double getSol(VXR187_StateVar* sv, VXR187_ContribLoader* l, VXR187_DeviceInst*) {
    return hostOf(l)->x[static_cast<size_t>(sv->pos) % hostOf(l)->x.size()];
}
void batch(int n, void**, double* v, VXR187_ContribLoader* l, VXR187_DeviceInst*) {
    double s = 0.0;
    for (int i = 0; i < n; ++i) s += v[i];
    hostOf(l)->sink += s;
}
int no(VXR187_ContribLoader*, VXR187_DeviceInst*) { return 0; }
double zero(VXR187_ContribLoader*, VXR187_DeviceInst*) { return 0.0; }
double noDefault(VXR_DefaultTypeE, VXR187_ContribLoader*, VXR187_DeviceInst*) { return 0.0; }
unsigned long dcMask(VXR187_ContribLoader*, VXR187_DeviceInst*) { return VXR_ANALYSIS_DC; }

struct Fixture {
    void* lib = nullptr;
    const VXR187_ModuleDescriptor* d = nullptr;
    MiniHost host;
    VXR187_DeviceInst* inst = nullptr;

    Fixture() {
        lib = dlopen(VXR_LAMBRET_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            std::fprintf(stderr, "%s\n", dlerror());
            std::abort();
        }
        auto manifest = reinterpret_cast<const VXR187_LibraryManifest* (*)()>(dlsym(lib, "getLibraryManifest"));
        d = manifest()->pModules;
        VXR187_SimInterface& s = host.sim;
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
        VXR187_ContribLoader& l = host.ldr;
        l.pLoaderInfo = &host;
        l.pLoadRhsPair = l.pLoadRhsPairQ = l.pLoadDerivQuartet = l.pLoadDerivDoublet = batch;
        l.pLoadDerivQuartetQ = l.pLoadDerivDoubletQ = batch;
        l.pGetSol = getSol;
        l.pDoNoise = l.pDoStrobe = l.pDoDisplay = l.pIsInitialStep = l.pIsFinalStep = no;
        l.pGetTime = l.pGetFreq = l.pGetMinTimeStep = zero;
        l.pGetDefault = noDefault;
        l.pGetAnalysisQueryMask = dcMask;

        VXR187_StateVar* terms[3] = {newVar(&host, "ext", nullptr), newVar(&host, "int", nullptr),
                                     newVar(&host, "bulk", nullptr)};
        inst = d->pCreateInstance("X1", &s, nullptr, 3, nullptr, terms, 0, nullptr, 0, 0);
        d->pFinalizeTopology(inst, nullptr);
        d->pCreateBranches(inst, nullptr);
        d->pReportNodalInfo(inst);
        d->pReportTopology(inst);
        d->pSetStamp(inst, nullptr);
        host.x.resize(host.vars.size() + 1);
        for (size_t i = 0; i < host.x.size(); ++i) host.x[i] = 0.1 * static_cast<double>(i) - 0.3;
    }
    ~Fixture() { d->pDestroyDevice(inst); }
};

void BM_LambretFullLoad(benchmark::State& st) {
    Fixture f;
    for (auto _ : st) f.d->pGenLoad(f.inst, &f.host.ldr);
    benchmark::DoNotOptimize(f.host.sink);
}
BENCHMARK(BM_LambretFullLoad);

void BM_LambretRhsLoad(benchmark::State& st) {
    Fixture f;
    for (auto _ : st) f.d->pGenLoadRHS(f.inst, &f.host.ldr);
    benchmark::DoNotOptimize(f.host.sink);
}
BENCHMARK(BM_LambretRhsLoad);

}  // namespace
