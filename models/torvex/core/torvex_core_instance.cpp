// TORVEX_CORE instances: creation, topology, stamp, operator memory, device
// state and destruction.
#include "torvex_core.h"

#include <iterator>

namespace torvex_core {
namespace {

// Discipline reports go out in byte order of the node names.
constexpr Node kDisciplineOrder[] = {B, CORE_B1, CORE_B2, CORE_ID, D, G, IB_DIODE1, IB_DIODE3, S, TEXT, TINT};
constexpr bool disciplineOrderSorted()
{
    for (unsigned i = 1; i < std::size(kDisciplineOrder); ++i)
        if (detail::cmpName(kDisciplineOrder[i - 1], kDisciplineOrder[i]) >= 0) return false;
    return true;
}
static_assert(std::size(kDisciplineOrder) == kNumTerminals + kNumInternalNodes && disciplineOrderSorted());

// The state variable of a stamp node; ground is NULL, an operator's branch
// variable is fetched from the operator.
VXR_StateVar* nodeSV(VXR_DeviceInst* inst, const Private* pr, Node n)
{
    if (n == GND) return nullptr;
    if (n <= TEXT) return inst->pPorts[n - D];
    if (n <= IB_DIODE3) return inst->pStateVars[n - CORE_B1];
    return VXR_getBranchVar_ddt(pr->op[n - BR10]);
}

void freeInstance(VXR_DeviceInst* inst)
{
    VXR_free(inst->pStateVars);
    VXR_free(inst->pPorts);
    VXR_free(inst->pPrivateInfo);
    VXR_free(inst);
}

} // namespace

VXR_DeviceInst* _module1_createInst(const char* name, VXR_SimInterface* simIf, VXR_DeviceInst* parent, int nTerms,
                                    int (*termWidths)[3], VXR_StateVar** terms, int nAssign,
                                    VXR_ParamAssn* assignments)
{
    auto* inst = static_cast<VXR_DeviceInst*>(VXR_malloc(sizeof(VXR_DeviceInst), simIf, nullptr, nullptr));
    if (inst == nullptr) return nullptr;
    auto* pr = static_cast<Private*>(VXR_malloc(sizeof(Private), simIf, nullptr, nullptr));
    if (pr == nullptr) {
        VXR_free(inst);
        return nullptr;
    }
    inst->pCustomDeviceInfo = nullptr;
    inst->pPrivateInfo = pr;
    inst->instName = name;
    inst->fullName = nullptr;
    inst->numOfPorts = kNumTerminals;
    inst->pStateVars = nullptr;
    // A failed allocation below is reported against this record: its names
    // must be readable from here on.
    inst->pParent = parent;
    inst->pSimInterface = simIf;
    inst->pModuleDescriptor = &ModuleInfo;

    auto** ports = static_cast<VXR_StateVar**>(VXR_malloc(kNumTerminals * sizeof(VXR_StateVar*), simIf, inst, nullptr));
    inst->pPorts = ports;
    if (ports == nullptr) {
        freeInstance(inst);
        return nullptr;
    }
    pr->recompute = 1;

    pr->lastTemperature = simIf->pGetTemperature(inst, simIf);

    // Terminals: only the entries the host handed in are read; missing
    // terminals stay NULL (read as 0 V by the loads).
    if (nTerms != kNumTerminals) VXR_reportPortMismatch(nTerms, kNumTerminals, simIf, inst);
    const int given = terms == nullptr ? 0 : (nTerms < 0 ? 0 : nTerms);
    for (int k = 0; k < kNumTerminals; ++k) {
        if (k >= given) {
            ports[k] = nullptr;
            continue;
        }
        if (termWidths != nullptr && termWidths[k][0] != 0)
            VXR_reportWidthMismatch(kTerminalNames[k], termWidths[k][0], 0, simIf, inst);
        ports[k] = terms[k];
    }

    inst->numOfStateVars = kNumInternalNodes;
    inst->pStateVars = static_cast<VXR_StateVar**>(VXR_calloc(kNumInternalNodes, sizeof(VXR_StateVar*), simIf, inst, nullptr));
    if (inst->pStateVars == nullptr) {
        freeInstance(inst);
        return nullptr;
    }
    for (VXR_OpBranch_ddt*& op : pr->op) op = nullptr;

    inst->numOfReserved = 0;
    inst->pReserved = static_cast<void**>(VXR_calloc(0, sizeof(void*), simIf, inst, nullptr));
    inst->numOfNoiseSrcs = 0;
    inst->pNoiseSrcs = static_cast<VXR_NoiseSrc*>(VXR_calloc(0, sizeof(void*), simIf, inst, nullptr));
    inst->numOfEvents = 0;
    inst->pEvents = static_cast<VXR_EventDesc**>(VXR_calloc(0, sizeof(void*), simIf, inst, nullptr));
    inst->numOfChildren = 0;
    inst->pChildren = static_cast<VXR_DeviceInst**>(VXR_calloc(0, sizeof(void*), simIf, inst, nullptr));
    inst->pFileDescList = nullptr;

    // Handles stay NULL until the stamp; nothing reads them before.
    for (void*& h : pr->rhs) h = nullptr;
    for (void*& h : pr->rhsQ) h = nullptr;
    for (void*& h : pr->jac) h = nullptr;
    for (void*& h : pr->jacQ) h = nullptr;
    for (void*& h : pr->ddtDoublet) h = nullptr;
    for (unsigned char& g : pr->given) g = 0;
    pr->topologyDone = 0;
    pr->stamped = 0;

    _module1_setParameters(inst, nAssign, assignments);
    pr->vars = Vars{};
    pr->derived = torvex::Derived{}; // defined even if a host loads before finalizing with the flag cleared
    return inst;
}

// Runs once per instance; a repeated call changes nothing.
void _module1_finalizeAnalogTopology(VXR_DeviceInst* inst, void* cbInfo)
{
    if (inst == nullptr) return;
    Private* pr = priv(inst);
    if (pr->topologyDone) return;
    VXR_SimInterface* simIf = inst->pSimInterface;

    evalParamOnly(inst, pr);
    evalStaticCheck(inst, pr, &VXR_StaticCheckLoader);

    for (int i = 0; i < kNumInternalNodes; ++i)
        inst->pStateVars[i] = simIf->pSetupNode(kInternalNodeNames[i], inst, nullptr, cbInfo);
    for (int pos = 0; pos < kNumOps; ++pos) pr->op[pos] = VXR_createOpBranch_ddt(kOpNames[pos], inst);
    for (VXR_OpBranch_ddt* op : pr->op)
        if (op != nullptr) VXR_ddtFinalizeTopology(op, cbInfo);

    for (Node n : kDisciplineOrder) {
        VXR_StateVar* sv = nodeSV(inst, pr, n);
        if (sv != nullptr) simIf->pReportDiscipline(sv, &Discipline_electrical, inst, simIf);
    }
    pr->topologyDone = 1;
}

// Handles are stored at their table index; the host sees steps 2 to 5 sorted
// by node names. Before finalization there is nothing to stamp.
void _module1_setAnalogStamp(VXR_DeviceInst* inst, void* cbInfo)
{
    if (inst == nullptr) return;
    Private* pr = priv(inst);
    if (!pr->topologyDone) return;
    VXR_SimInterface* simIf = inst->pSimInterface;

    for (int i = 0; i < kNumDdtDoublets; ++i) {
        const DoubletReq& r = kDdtDoublets[i];
        VXR_OpBranch_ddt* op = pr->op[r.op];
        pr->ddtDoublet[i] = op == nullptr ? nullptr
                                          : VXR_getDerivDoubletOpBranch_ddt(op, nodeSV(inst, pr, r.a), nodeSV(inst, pr, r.b),
                                                                            DDT_ENTRY, NONLIN_DEP, cbInfo);
    }
    for (int i : kRhsOrder.idx) {
        const PairReq& r = kRhsPairs[i];
        pr->rhs[i] = simIf->pGetRhsPair(nodeSV(inst, pr, r.a), nodeSV(inst, pr, r.b), r.dep, inst, cbInfo);
    }
    for (int i : kRhsQOrder.idx) {
        const PairReq& r = kRhsQPairs[i];
        pr->rhsQ[i] = simIf->pGetRhsPairQ(nodeSV(inst, pr, r.a), nodeSV(inst, pr, r.b), r.dep, inst, cbInfo);
    }
    for (int i : kJacOrder.idx) {
        const QuartetReq& r = kJacQuartets[i];
        pr->jac[i] = simIf->pGetDerivQuartet(nodeSV(inst, pr, r.ra), nodeSV(inst, pr, r.rb), nodeSV(inst, pr, r.ca),
                                             nodeSV(inst, pr, r.cb), DC_ENTRY, r.dep, inst, cbInfo);
    }
    for (int i : kJacQOrder.idx) {
        const QuartetReq& r = kJacQQuartets[i];
        pr->jacQ[i] = simIf->pGetDerivQuartet(nodeSV(inst, pr, r.ra), nodeSV(inst, pr, r.rb), nodeSV(inst, pr, r.ca),
                                              nodeSV(inst, pr, r.cb), DDT_ENTRY, r.dep, inst, cbInfo);
    }
    for (VXR_OpBranch_ddt* op : pr->op)
        if (op != nullptr) VXR_ddtSetStamp(op, cbInfo);
    pr->stamped = 1;
}

void _module1_resetMemoryStates(VXR_DeviceInst* inst)
{
    if (inst == nullptr) return;
    for (VXR_OpBranch_ddt* op : priv(inst)->op)
        if (op != nullptr) VXR_ddtReset(op);
}

void _module1_tranAcceptPoint(VXR_DeviceInst* inst, VXR_ContribLoader* loader)
{
    if (inst == nullptr) return;
    for (VXR_OpBranch_ddt* op : priv(inst)->op)
        if (op != nullptr) VXR_ddtAcceptTimePoint(op, loader);
}

int _serializeState__module1(void*, void*, int direction) { return direction; }

VXR_DeviceState* _module1_getDeviceState(VXR_DeviceInst* inst)
{
    if (inst == nullptr) return nullptr;
    VXR_SimInterface* simIf = inst->pSimInterface;
    auto* state = static_cast<VXR_DeviceState*>(VXR_calloc(1, sizeof(VXR_DeviceState), simIf, inst, nullptr));
    if (state == nullptr) return nullptr;
    auto* block = static_cast<SavedPrivateBlock*>(VXR_calloc(1, sizeof(SavedPrivateBlock), simIf, inst, nullptr));
    if (block == nullptr) {
        VXR_free(state);
        return nullptr;
    }
    block->serialize = _serializeState__module1;
    state->pDevice = inst;
    state->pPrivateInfo = block;
    state->pOperatorState = static_cast<void**>(VXR_calloc(kNumOperatorStateSlots, sizeof(void*), simIf, inst, nullptr));
    if (state->pOperatorState == nullptr) {
        VXR_free(block);
        VXR_free(state);
        return nullptr;
    }
    state->numOfOperatorStates = kNumOperatorStateSlots;
    state->numOfEventStates = 0;

    const Private* pr = priv(inst);
    for (OpPos pos : {OP7, OP8, OP9, OP10, OP11, OP12})
        if (pr->op[pos] != nullptr) state->pOperatorState[kOpStateSlot[pos]] = VXR_ddtSaveState(pr->op[pos]);
    VXR_SaveEvents(inst, state);
    VXR_SaveChildren(inst, state);
    return state;
}

// A state not made by this module's getDeviceState (NULL, or fewer operator
// slots than the operator numbers need) restores nothing; the next load
// recomputes in every case.
void _module1_restoreDeviceState(VXR_DeviceInst* inst, VXR_DeviceState* state)
{
    if (inst == nullptr) return;
    const bool usable = state != nullptr && state->pOperatorState != nullptr &&
                        state->numOfOperatorStates >= kNumOperatorStateSlots;
    if (usable) {
        const Private* pr = priv(inst);
        for (OpPos pos : {OP7, OP8, OP9, OP10, OP11, OP12})
            if (pr->op[pos] != nullptr) VXR_ddtRestoreState(pr->op[pos], state->pOperatorState[kOpStateSlot[pos]]);
        VXR_RestoreEvents(inst, state);
    }
    inst->pModuleDescriptor->pForceExecInvarCode(inst, 1);
    if (usable) VXR_RestoreChildren(inst, state);
}

void _module1_destroyInst(VXR_DeviceInst* inst)
{
    if (inst == nullptr) return;
    Private* pr = priv(inst);
    for (VXR_OpBranch_ddt*& op : pr->op) {
        if (op != nullptr) VXR_destroyOpBranch_ddt(op);
        op = nullptr;
    }
    VXR_destroyChildren(inst);
    VXR_destroyEvents(inst);
    VXR_free(inst->pReserved);
    freeInstance(inst);
}

} // namespace torvex_core
