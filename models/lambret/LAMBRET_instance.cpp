// LAMBRET instance: creation, internal nodes and branches, reports to the
// host, matrix stamp and destruction.
#include "LAMBRET_module.h"

using namespace lambret;

namespace {

struct HandlePair {
    int index;
    int a, b;
};
struct HandleQuartet {
    int index;
    int r1, r2, c1, c2;
};

// Handle requests in call order, each with the slot it fills.
constexpr HandlePair kRhsPairs[kNumRhs] = {
    {1, U_BULKINT, U_BULK}, {0, U_EXT, U_BULKINT}, {8, U_EXT, U_N3},  {7, U_N1, U_INT},
    {5, U_N2, U_INT},       {9, U_N2, U_N1},       {3, U_N3, U_INT},  {10, U_N3, U_N2},
    {2, U_B3, U_NONE},      {6, U_B1, U_NONE},     {4, U_B2, U_NONE},
};
constexpr HandlePair kRhsPairsQ[kNumRhsQ] = {
    {0, U_EXT, U_BULKINT}, {1, U_B3, U_NONE}, {3, U_B1, U_NONE}, {2, U_B2, U_NONE}};
constexpr HandleQuartet kDerivQuartets[kNumJac] = {
    {0, U_BULKINT, U_BULK, U_BULKINT, U_BULK},
    {7, U_EXT, U_N3, U_B3, U_NONE},
    {6, U_N1, U_INT, U_N1, U_INT},
    {4, U_N2, U_INT, U_N2, U_INT},
    {9, U_N2, U_N1, U_B1, U_NONE},
    {2, U_N3, U_INT, U_N3, U_INT},
    {11, U_N3, U_N2, U_B2, U_NONE},
    {8, U_B3, U_NONE, U_EXT, U_N3},
    {1, U_B3, U_NONE, U_B3, U_NONE},
    {10, U_B1, U_NONE, U_N2, U_N1},
    {5, U_B1, U_NONE, U_B1, U_NONE},
    {12, U_B2, U_NONE, U_N3, U_N2},
    {3, U_B2, U_NONE, U_B2, U_NONE},
};
constexpr HandleQuartet kDerivQuartetsQ[kNumJacQ] = {
    {0, U_EXT, U_BULKINT, U_EXT, U_BULKINT},
    {1, U_B3, U_NONE, U_B3, U_NONE},
    {3, U_B1, U_NONE, U_B1, U_NONE},
    {2, U_B2, U_NONE, U_B2, U_NONE},
};

struct TopologyRow {
    const char* name;
    int pos, neg;
    VXR_TopologyTypeE kind;
};
constexpr TopologyRow kTopology[kNumBranches] = {
    {"_ub_BULKINT_BULK_i", U_BULKINT, U_BULK, TOPOLOGY_DC_RES},
    {"_ub_EXT_BULKINT_i", U_EXT, U_BULKINT, TOPOLOGY_DC_OPEN},
    {"_ub_N1_INT_i", U_N1, U_INT, TOPOLOGY_DC_RES},
    {"_ub_N2_INT_i", U_N2, U_INT, TOPOLOGY_DC_RES},
    {"_ub_N3_INT_i", U_N3, U_INT, TOPOLOGY_DC_RES},
    {"br_EXT_N3_i", U_EXT, U_N3, TOPOLOGY_DC_RES},
    {"br_N2_N1_i", U_N2, U_N1, TOPOLOGY_DC_RES},
    {"br_N3_N2_i", U_N3, U_N2, TOPOLOGY_DC_RES},
};

struct BranchRow {
    const char* name;
    int pos, neg;
    int slot;
    int dupFlag;
};
constexpr BranchRow kBranches[] = {
    {"br_EXT_N3_i", U_EXT, U_N3, SV_B3, DUP_B3},
    {"br_N2_N1_i", U_N2, U_N1, SV_B1, DUP_B1},
    {"br_N3_N2_i", U_N3, U_N2, SV_B2, DUP_B2},
};

constexpr const char* kInternalNodes[] = {"BULKINT", "N1", "N2", "N3"}; // slots 0..3

constexpr const char* kPortNames[] = {"EXT", "INT", "BULK"};

// Disciplines go out in alphabetical order of the node names.
constexpr int kDisciplineOrder[] = {U_BULK, U_BULKINT, U_EXT, U_INT, U_N1, U_N2, U_N3};

void freeInstance(VXR_DeviceInst* inst) {
    if (inst->pVectors) {
        for (int i = 0; i < inst->numOfVectors; ++i) VXR_free(inst->pVectors[i].pSVs);
        VXR_free(inst->pVectors);
    }
    VXR_free(inst->pPorts);
    VXR_free(inst->pStateVars);
    VXR_free(const_cast<char*>(inst->paramString));
    if (auto* pd = lambretPrivate(inst)) VXR_free(pd->dupBranch);
    VXR_free(inst->pPrivateInfo);
    VXR_free(inst);
}

} // namespace

VXR_DeviceInst* _module1_createInst(const char* name, VXR_SimInterface* simIf, VXR_DeviceInst* parent, int numOfTerms,
                                    int (*termWidth)[3], VXR_StateVar** terms, int numOfAssn, VXR_ParamAssn* assn,
                                    int index, int range) {
    auto* inst = static_cast<VXR_DeviceInst*>(VXR_calloc(1, sizeof(VXR_DeviceInst), simIf, nullptr, nullptr));
    auto* pd = static_cast<PrivateData__module1*>(
        VXR_calloc(1, sizeof(PrivateData__module1), simIf, nullptr, nullptr));
    if (!inst || !pd) {
        VXR_free(inst);
        VXR_free(pd);
        return nullptr;
    }
    inst->numOfPorts = 3;
    inst->pPrivateInfo = pd;
    inst->fullName = nullptr;
    inst->instName = name;
    inst->pModuleDescriptor = &ModuleInfo;
    inst->pParent = parent;
    inst->pSimInterface = simIf;
    inst->pPorts = static_cast<VXR_StateVar**>(VXR_calloc(3, sizeof(VXR_StateVar*), simIf, inst, nullptr));
    if (!inst->pPorts) {
        freeInstance(inst);
        return nullptr;
    }

    inst->paramString = VXR_CreateParamString(numOfAssn, assn, inst);
    inst->pNodalAlias = nullptr;

    pd->recomputeInvar = 1;
    pd->lastTemperature = simIf->pGetTemperature(inst, simIf);

    if (termWidth && numOfTerms != 3) VXR_reportPortMismatch(numOfTerms, 3, simIf, inst);

    _module1_setParameters(inst, numOfAssn, assn);

    inst->numOfVectors = 0;
    inst->pVectors = static_cast<VXR_Vector*>(VXR_malloc(0, simIf, inst, nullptr));
    inst->numOfFlatTerms = 3;

    // Terminals beyond the ones the host passed stay unconnected (and get an
    // isolated node at finalize time); their array elements do not exist.
    int cursor = 0;
    for (int port = 0; port < 3; ++port) {
        if (termWidth && cursor >= numOfTerms)
            inst->pPorts[port] = UNCONNECTED_SV;
        else
            VXR_AssignScalarPort(inst, kPortNames[port], port, terms, termWidth, port, numOfTerms,
                                 &cursor, index, range);
    }

    inst->numOfStateVars = kNumStateVars;
    inst->pStateVars =
        static_cast<VXR_StateVar**>(VXR_calloc(kNumStateVars, sizeof(VXR_StateVar*), simIf, inst, nullptr));
    if (!inst->pStateVars) {
        freeInstance(inst);
        return nullptr;
    }
    // Every other list of the instance stays empty (count 0, no array).
    VXR_initFileDescs(inst);

    for (double& v : pd->moduleVars) v = 0.0;
    return inst;
}

void _module1_finalizeAnalogTopology(VXR_DeviceInst* inst, void* cbInfo) {
    VXR_CreateIsolatedPorts(inst, cbInfo);
    inst->needAnalogInitialLoad = 0;
    lambretEvaluateModuleVars(inst, &VXR_StaticCheckLoader);
    VXR_SimInterface* simIf = inst->pSimInterface;
    for (int slot = 0; slot < 4; ++slot)
        inst->pStateVars[slot] = simIf->pSetupNode(kInternalNodes[slot], inst, VXR_NODAL_INFO_NONE, cbInfo);
}

void _module1_createBranches(VXR_DeviceInst* inst, void* cbInfo) {
    PrivateData__module1* pd = lambretPrivate(inst);
    VXR_SimInterface* simIf = inst->pSimInterface;
    VXR_free(pd->dupBranch);
    pd->dupBranch = static_cast<unsigned char*>(VXR_calloc(kNumBranches, 1, simIf, inst, nullptr));
    for (const BranchRow& b : kBranches) {
        VXR_StateVar* sv = simIf->pCreateBranch(b.name, VXR_VOLTAGE_BRANCH, lambretStateVar(inst, b.pos),
                                                lambretStateVar(inst, b.neg), inst, cbInfo);
        inst->pStateVars[b.slot] = sv;
        if (pd->dupBranch && sv && sv->pBranchInfo) pd->dupBranch[b.dupFlag] = sv->pBranchInfo->dupCount > 1;
    }
}

void _module1_reportNodalInfo(VXR_DeviceInst* inst) {
    VXR_SimInterface* simIf = inst->pSimInterface;
    for (int u : kDisciplineOrder)
        simIf->pReportDiscipline(lambretStateVar(inst, u), &Discipline_electrical, inst, simIf);
}

void _module1_reportTopology(VXR_DeviceInst* inst) {
    VXR_SimInterface* simIf = inst->pSimInterface;
    if (!simIf->pReportTopology) return;
    const unsigned char* dup = lambretPrivate(inst)->dupBranch;
    for (int k = 0; k < kNumBranches; ++k) {
        if (dup && dup[k]) continue;
        const TopologyRow& t = kTopology[k];
        simIf->pReportTopology(lambretStateVar(inst, t.pos), lambretStateVar(inst, t.neg), t.kind, t.name, inst);
    }
}

void _module1_setAnalogStamp(VXR_DeviceInst* inst, void* cbInfo) {
    PrivateData__module1* pd = lambretPrivate(inst);
    VXR_SimInterface* simIf = inst->pSimInterface;
    auto sv = [inst](int u) { return lambretStateVar(inst, u); };
    for (const HandlePair& h : kRhsPairs)
        pd->rhsPairs[h.index] = simIf->pGetRhsPair(sv(h.a), sv(h.b), LIN_DEP, inst, cbInfo);
    for (const HandlePair& h : kRhsPairsQ)
        pd->rhsPairsQ[h.index] = simIf->pGetRhsPairQ(sv(h.a), sv(h.b), NONLIN_DEP, inst, cbInfo);
    for (const HandleQuartet& h : kDerivQuartets)
        pd->derivQuartets[h.index] =
            simIf->pGetDerivQuartet(sv(h.r1), sv(h.r2), sv(h.c1), sv(h.c2), DC_ENTRY, LIN_DEP, inst, cbInfo);
    for (const HandleQuartet& h : kDerivQuartetsQ)
        pd->derivQuartetsQ[h.index] =
            simIf->pGetDerivQuartet(sv(h.r1), sv(h.r2), sv(h.c1), sv(h.c2), DDT_ENTRY, LIN_DEP, inst, cbInfo);
}

void _module1_doAnalogInitial(VXR_DeviceInst* inst, VXR_ContribLoader*) { inst->needAnalogInitialLoad = 0; }

void _module1_setAMS_Indices(VXR_DeviceInst* inst, int a, int b, int c, int d) {
    PrivateData__module1* pd = lambretPrivate(inst);
    const s_AMS_Sizes& n = _module1_AMS_Sizes;
    if (n.numA2D_Exports > 0) pd->amsIndices[0] = a;
    if (n.numA2D_Events > 0) pd->amsIndices[1] = b;
    if (n.numD2A_Imports > 0) pd->amsIndices[2] = c;
    if (n.numD2A_Events > 0) pd->amsIndices[3] = d;
}

void _module1_AMS_GetArraySizes(VXR_DeviceInst*, int) {}

void _module1_destroyInst(VXR_DeviceInst* inst) {
    if (!inst) return;
    VXR_destroyChildren(inst);
    VXR_destroyEvents(inst);
    freeInstance(inst);
}
