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

} // namespace

VXR_DeviceInst* _module1_createInst(const char* name, VXR_SimInterface* simIf, VXR_DeviceInst* parent, int nTerms,
                                    int (*termWidths)[3], VXR_StateVar** terms, int nAssign,
                                    VXR_ParamAssn* assignments)
{
    // The private record comes zeroed: no operators, handles or given bits yet.
    VXR_DeviceInst* inst = torvex_module::createInstance<Private>(name, simIf, parent, &ModuleInfo, kNumTerminals,
                                                                  kTerminalNames, nTerms, termWidths, terms,
                                                                  kNumInternalNodes);
    if (inst == nullptr) return nullptr;
    _module1_setParameters(inst, nAssign, assignments);
    priv(inst)->vars = Vars{};
    priv(inst)->derived = torvex::Derived{}; // defined even if a host loads before finalizing with the flag cleared
    priv(inst)->temperatureCache.invalidate();
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
    VXR_DeviceState* state = torvex_module::newDeviceState(inst, kNumOperatorStateSlots, 2);
    if (state == nullptr) return nullptr;
    static_cast<SavedPrivateBlock*>(state->pPrivateInfo)->serialize = _serializeState__module1;
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
    const bool usable = torvex_module::restorable(state, kNumOperatorStateSlots);
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
    torvex_module::freeInstance(inst);
}

} // namespace torvex_core
