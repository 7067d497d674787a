// A tiny module in the shape the generator emits: an RC pair between p and n
// through one internal node "mid", for driving the runtime and the recording
// host through creation, stamp and loads.
//   I(p, mid) = (V(p) - V(mid)) / R        Q(mid, n) = C * (V(mid) - V(n))
// A strobe pass with |I| > 1 A sends a WARNING about the instance.
#include "fixture_module.h"

// Tables name only the fields the fixture uses; the rest are zero.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <math.h>
#include <stdio.h>
#include <string.h>

namespace {

enum { P_C = 0, P_R = 1, P_LEVEL = 2, NUM_PARAMS = 3 };
enum { H_RHS_PMID, H_RHSQ_MIDN, H_JAC_PMID, H_JACQ_MIDN, NUM_HANDLES };

struct PrivateInfo {
    double C, R;
    int LEVEL;
    double temperature;
    void* handles[NUM_HANDLES];
    VXR_StateVar* br; // 1.87: branch from mid to n
};

const char* TerminalNames__module1[] = {"p", "n"};

VXR_ParamDesc ParamDescArray__module1[] = {
    {.name = "C", .paramType = VXR_REAL_PARAM, .paramLocation = P_C},
    {.name = "LEVEL", .paramType = VXR_INT_PARAM, .paramLocation = P_LEVEL},
    {.name = "R", .paramType = VXR_REAL_PARAM, .paramLocation = P_R},
    {.name = NULL, .paramType = VXR_INVALID_PARAM, .paramLocation = -1},
};

PrivateInfo* priv(VXR_DeviceInst* inst) { return static_cast<PrivateInfo*>(inst->pPrivateInfo); }

double sol(VXR_StateVar* sv, VXR_ContribLoader* ldr, VXR_DeviceInst* inst) {
    (void)inst;
    return sv == NULL || sv == UNCONNECTED_SV ? 0.0 : ldr->pGetSol(sv, ldr VXR_LDR_INST(inst));
}

VXR_DeviceInst* _module1_createInst(const char* name, VXR_SimInterface* sim, VXR_DeviceInst* parent, int numOfTerms,
                                    int (*)[3], VXR_StateVar** terms, int numOfAssn, VXR_ParamAssn* assn
#if VXR_REVISION == 187
                                    ,
                                    int, int
#endif
) {
    VXR_DeviceInst* inst = (VXR_DeviceInst*)VXR_calloc(1, sizeof(VXR_DeviceInst), sim, NULL, "instance");
    if (inst == NULL) return NULL;
    inst->instName = name;
    inst->pModuleDescriptor = &FixtureModuleInfo;
    inst->pParent = parent;
    inst->pSimInterface = sim;
    inst->numOfPorts = 2;
#if VXR_REVISION == 187
    inst->numOfFlatTerms = 2;
#endif
    inst->pPorts = (VXR_StateVar**)VXR_calloc(2, sizeof(VXR_StateVar*), sim, inst, NULL);
    for (int i = 0; i < 2; ++i) inst->pPorts[i] = i < numOfTerms ? terms[i] : UNCONNECTED_SV;
    PrivateInfo* p = (PrivateInfo*)VXR_calloc(1, sizeof(PrivateInfo), sim, inst, NULL);
    inst->pPrivateInfo = p;
    p->C = 1e-12;
    p->R = 1e3;
    p->LEVEL = 1;
    for (int j = 0; j < numOfAssn; ++j) {
        int row = -1;
        for (int k = 0; k < NUM_PARAMS; ++k)
            if (strcmp(ParamDescArray__module1[k].name, assn[j].assnName) == 0) row = k;
        if (row < 0) {
            char text[256];
            snprintf(text, sizeof text, "Parameter '%s' not found.", assn[j].assnName);
            VXR_Message(sim, inst, NULL, MessageTypeE_ERROR, text);
            sim->pSystemRequest("exit", 1, inst, NULL, sim);
            continue;
        }
        double v = assn[j].paramType == VXR_INT_PARAM ? assn[j].paramVal.ival : assn[j].paramVal.dval;
        switch (ParamDescArray__module1[row].paramLocation) {
        case P_C: p->C = v; break;
        case P_R: p->R = v; break;
        case P_LEVEL: p->LEVEL = (int)v; break;
        }
    }
    p->temperature = sim->pGetTemperature(inst, sim);
    return inst;
}

void analogBlock(VXR_DeviceInst* inst, VXR_ContribLoader* ldr, bool full) {
    PrivateInfo* p = priv(inst);
    double vp = sol(inst->pPorts[0], ldr, inst);
    double vmid = sol(inst->pStateVars[0], ldr, inst);
    double vn = sol(inst->pPorts[1], ldr, inst);
    double i = (vp - vmid) / p->R;
    double q = p->C * (vmid - vn);
    if (fabs(i) > 1.0 && ldr->pDoStrobe(ldr VXR_LDR_INST(inst)))
        VXR_Message(inst->pSimInterface, inst, NULL, MessageTypeE_WARNING, "Current above 1 A.");
    double rhs[1] = {i}, rhsQ[1] = {q}, jac[1] = {1.0 / p->R}, jacQ[1] = {p->C};
    ldr->pLoadRhsPair(1, &p->handles[H_RHS_PMID], rhs, ldr VXR_LDR_INST(inst));
    ldr->pLoadRhsPairQ(1, &p->handles[H_RHSQ_MIDN], rhsQ, ldr VXR_LDR_INST(inst));
    if (!full) return;
    ldr->pLoadDerivQuartet(1, &p->handles[H_JAC_PMID], jac, ldr VXR_LDR_INST(inst));
    ldr->pLoadDerivQuartetQ(1, &p->handles[H_JACQ_MIDN], jacQ, ldr VXR_LDR_INST(inst));
}

void _module1_finalizeTopology(VXR_DeviceInst* inst, void* cb) {
    VXR_SimInterface* sim = inst->pSimInterface;
    inst->numOfStateVars = 1;
    inst->pStateVars = (VXR_StateVar**)VXR_calloc(1, sizeof(VXR_StateVar*), sim, inst, NULL);
#if VXR_REVISION == 187
    inst->pStateVars[0] = sim->pSetupNode("mid", inst, VXR_NODAL_INFO_NONE, cb);
#else
    inst->pStateVars[0] = sim->pSetupNode("mid", inst, NULL, cb);
#endif
    analogBlock(inst, &VXR_StaticCheckLoader, true);
}

#if VXR_REVISION == 187
void _module1_createBranches(VXR_DeviceInst* inst, void* cb) {
    priv(inst)->br = inst->pSimInterface->pCreateBranch("br", VXR_VOLTAGE_BRANCH, inst->pStateVars[0], inst->pPorts[1],
                                                  inst, cb);
}

void _module1_reportTopology(VXR_DeviceInst* inst) {
    VXR_SimInterface* sim = inst->pSimInterface;
    if (sim->pReportTopology == NULL) return;
    VXR_TopologyTypeE kind = priv(inst)->br->pBranchInfo->dupCount > 1 ? TOPOLOGY_DC_RES : TOPOLOGY_DC_SHORT;
    sim->pReportTopology(inst->pStateVars[0], inst->pPorts[1], kind, "br", inst);
}
#endif

void _module1_setStamp(VXR_DeviceInst* inst, void* cb) {
    VXR_SimInterface* sim = inst->pSimInterface;
    PrivateInfo* p = priv(inst);
    VXR_StateVar* sp = inst->pPorts[0];
    VXR_StateVar* sn = inst->pPorts[1];
    VXR_StateVar* mid = inst->pStateVars[0];
    p->handles[H_RHS_PMID] = sim->pGetRhsPair(sp, mid, LIN_DEP, inst, cb);
    p->handles[H_RHSQ_MIDN] = sim->pGetRhsPairQ(mid, sn, LIN_DEP, inst, cb);
    p->handles[H_JAC_PMID] = sim->pGetDerivQuartet(sp, mid, sp, mid, DC_ENTRY, LIN_DEP, inst, cb);
    p->handles[H_JACQ_MIDN] = sim->pGetDerivQuartet(mid, sn, mid, sn, DDT_ENTRY, LIN_DEP, inst, cb);
}

void _module1_genericAnalogLoad(VXR_DeviceInst* inst, VXR_ContribLoader* ldr) {
    priv(inst)->temperature = inst->pSimInterface->pGetTemperature(inst, inst->pSimInterface);
    analogBlock(inst, ldr, true);
}

void _module1_genericAnalogLoadRHS(VXR_DeviceInst* inst, VXR_ContribLoader* ldr) {
    priv(inst)->temperature = inst->pSimInterface->pGetTemperature(inst, inst->pSimInterface);
    analogBlock(inst, ldr, false);
}

#if VXR_REVISION != 142
void _module1_destroy(VXR_DeviceInst* inst) { fixtureFreeInstance(inst); }
#endif

} // namespace

void fixtureFreeInstance(VXR_DeviceInst* inst) {
    if (inst == NULL) return;
    VXR_free(inst->pStateVars);
    VXR_free(inst->pPorts);
    VXR_free(inst->pPrivateInfo);
    VXR_free(inst);
}

VXR_ModuleDescriptor FixtureModuleInfo = {
    .moduleName = "FIXRC",
    .numOfParams = NUM_PARAMS,
    .paramDescArray = ParamDescArray__module1,
    .numOfTerminals = 2,
    .terminalNames = TerminalNames__module1,
#if VXR_REVISION != 187
    .numOfTerminalsToo = 2,
#endif
    .algebraicModule = 1,
    .pCreateInstance = _module1_createInst,
    .pFinalizeTopology = _module1_finalizeTopology,
#if VXR_REVISION == 187
    .pReportTopology = _module1_reportTopology,
    .pCreateBranches = _module1_createBranches,
#endif
    .pSetStamp = _module1_setStamp,
    .pGenLoad = _module1_genericAnalogLoad,
    .pGenLoadRHS = _module1_genericAnalogLoadRHS,
#if VXR_REVISION != 142
    .pDestroyDevice = _module1_destroy,
#endif
};
