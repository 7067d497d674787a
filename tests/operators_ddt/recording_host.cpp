#include "recording_host.h"

#include <cstdarg>
#include <cstring>

RecordingHost* g_host = nullptr;

#if VXR_REVISION == 187
#define LI , VXR_DeviceInst* inst
#define LI_ARG inst
#else
#define LI
#define LI_ARG nullptr
#endif

namespace {

Call& rec(const char* fn) {
    g_host->calls.push_back(Call{});
    g_host->calls.back().fn = fn;
    return g_host->calls.back();
}

VXR_StateVar* setupNode(const char* name, VXR_DeviceInst* inst, VXR_NodalInfo* info, void* cb) {
    Call& c = rec("pSetupNode");
    c.ptrs = {(void*)name, info};
    c.inst = inst;
    c.cbInfo = cb;
    return g_host->newNode(name);
}

void* handle(const char* kind, VXR_StateVar* a, VXR_StateVar* b, VXR_StateVar* c, VXR_StampTargetE t,
             VXR_DepTypeE d) {
    g_host->handles.push_back(Handle{kind, a, b, c, t, d});
    return &g_host->handles.back();
}

void* getRhsPair(VXR_StateVar* a, VXR_StateVar* b, VXR_DepTypeE dep, VXR_DeviceInst* inst, void* cb) {
    Call& c = rec("pGetRhsPair");
    c.ptrs = {a, b};
    c.num = dep;
    c.inst = inst;
    c.cbInfo = cb;
    return handle("rhs", a, b, nullptr, DC_ENTRY, dep);
}

void* getRhsPairQ(VXR_StateVar* a, VXR_StateVar* b, VXR_DepTypeE dep, VXR_DeviceInst* inst, void* cb) {
    Call& c = rec("pGetRhsPairQ");
    c.ptrs = {a, b};
    c.num = dep;
    c.inst = inst;
    c.cbInfo = cb;
    return handle("rhsQ", a, b, nullptr, DDT_ENTRY, dep);
}

void* getDerivDoublet(VXR_StateVar* row, VXR_StateVar* p, VXR_StateVar* m, VXR_StampTargetE t, VXR_DepTypeE dep,
                      VXR_DeviceInst* inst, void* cb) {
    Call& c = rec("pGetDerivDoublet");
    c.ptrs = {row, p, m};
    c.vals = {double(t), double(dep)};
    c.inst = inst;
    c.cbInfo = cb;
    return handle("doublet", row, p, m, t, dep);
}

#if VXR_REVISION == 187
void reportNoise(int n, void* key, VXR_DeviceInst* inst, void* cb) {
    Call& c = rec("pReportNoiseContrib");
    c.num = n;
    c.ptrs = {key};
    c.inst = inst;
    c.cbInfo = cb;
}
#elif VXR_REVISION == 160
void reportNoise(int n, void* key, void* unused, VXR_DeviceInst* inst, void* cb) {
    Call& c = rec("pReportNoiseContrib");
    c.num = n;
    c.ptrs = {key, unused};
    c.inst = inst;
    c.cbInfo = cb;
}
#endif

unsigned long formMask(VXR_SimInterface*, int count, ...) {
    Call& c = rec("pFormAnalysisQueryMask");
    c.num = count;
    static const char* const names[] = {"ac", "dc", "noise", "tran"};
    unsigned long mask = 0;
    va_list ap;
    va_start(ap, count);
    for (int i = 0; i < count; ++i) {
        const char* n = va_arg(ap, const char*);
        c.ptrs.push_back((void*)n);
        for (int k = 0; k < 4; ++k)
            if (std::strcmp(n, names[k]) == 0)
                mask |= 1ul << k;
    }
    va_end(ap);
    return mask;
}

void systemRequest(const char* req, int code, VXR_DeviceInst* inst, VXR_ContribLoader* ldr, VXR_SimInterface* s) {
    Call& c = rec("pSystemRequest");
    c.ptrs = {(void*)req, s};
    c.num = code;
    c.inst = inst;
    c.ldr = ldr;
}

void message(VXR_MessageTypeE, const char*, VXR_DeviceInst*, VXR_SimInterface*) { rec("pMessage"); }

void batch(const char* fn, int count, void** h, double* v, VXR_ContribLoader* ldr, VXR_DeviceInst* inst) {
    Call& c = rec(fn);
    c.num = count;
    for (int i = 0; i < count; ++i) {
        c.ptrs.push_back(h[i]);
        c.vals.push_back(v[i]);
    }
    c.ldr = ldr;
    c.inst = inst;
}

void loadRhsPair(int n, void** h, double* v, VXR_ContribLoader* l LI) { batch("pLoadRhsPair", n, h, v, l, LI_ARG); }
void loadRhsPairQ(int n, void** h, double* v, VXR_ContribLoader* l LI) { batch("pLoadRhsPairQ", n, h, v, l, LI_ARG); }
void loadDoublet(int n, void** h, double* v, VXR_ContribLoader* l LI) { batch("pLoadDerivDoublet", n, h, v, l, LI_ARG); }
void loadDoubletQ(int n, void** h, double* v, VXR_ContribLoader* l LI) {
    batch("pLoadDerivDoubletQ", n, h, v, l, LI_ARG);
}

double getSol(VXR_StateVar* sv, VXR_ContribLoader* l LI) {
    Call& c = rec("pGetSol");
    c.ptrs = {sv};
    c.ldr = l;
    c.inst = LI_ARG;
    auto it = g_host->sol.find(sv);
    return it == g_host->sol.end() ? 0.0 : it->second;
}

double getDefault(VXR_DefaultTypeE t, VXR_ContribLoader* l LI) {
    Call& c = rec("pGetDefault");
    c.num = t;
    c.ldr = l;
    c.inst = LI_ARG;
    return g_host->defaultValue;
}

unsigned long getAnalysisMask(VXR_ContribLoader* l LI) {
    Call& c = rec("pGetAnalysisQueryMask");
    c.ldr = l;
    c.inst = LI_ARG;
    return g_host->analysisMask;
}

void loadRhsAC(VXR_acSrc* p, VXR_StateVar* plus, VXR_StateVar* minus, double coeff, VXR_ContribLoader* l) {
    Call& c = rec("pLoadRhsAC");
    c.ptrs = {p, plus, minus};
    c.vals = {coeff};
    c.ldr = l;
}

} // namespace

RecordingHost::RecordingHost() {
    g_host = this;
    sim.pSetupNode = setupNode;
    sim.pGetRhsPair = getRhsPair;
    sim.pGetRhsPairQ = getRhsPairQ;
    sim.pGetDerivDoublet = getDerivDoublet;
#if VXR_REVISION != 142
    sim.pReportNoiseContrib = reportNoise;
#endif
    sim.pFormAnalysisQueryMask = formMask;
    sim.pSystemRequest = systemRequest;
    sim.pMessage = message;

    ldr.pLoadRhsPair = loadRhsPair;
    ldr.pLoadRhsPairQ = loadRhsPairQ;
    ldr.pLoadDerivDoublet = loadDoublet;
    ldr.pLoadDerivDoubletQ = loadDoubletQ;
    ldr.pLoadRhsAC = loadRhsAC;
    ldr.pGetSol = getSol;
    ldr.pGetDefault = getDefault;
    ldr.pGetAnalysisQueryMask = getAnalysisMask;

    desc.moduleName = "cap";
    inst.instName = "c1";
    inst.pModuleDescriptor = &desc;
    inst.pSimInterface = &sim;
}

RecordingHost::~RecordingHost() {
    if (g_host == this)
        g_host = nullptr;
}

VXR_StateVar* RecordingHost::newNode(const char* name) {
    nodeNames.emplace_back(name ? name : "");
    nodes.push_back(VXR_StateVar{});
    VXR_StateVar& sv = nodes.back();
    sv.varName = nodeNames.back().c_str();
    sv.pParent = &inst;
    sv.pos = int(nodes.size()) - 1;
    return &sv;
}

std::vector<Call> RecordingHost::only(const std::string& fn) const {
    std::vector<Call> out;
    for (const Call& c : calls)
        if (c.fn == fn)
            out.push_back(c);
    return out;
}

std::vector<std::string> RecordingHost::names() const {
    std::vector<std::string> out;
    for (const Call& c : calls)
        out.push_back(c.fn);
    return out;
}
