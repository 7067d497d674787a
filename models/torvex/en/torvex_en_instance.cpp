// Instances: creation, topology, stamp, operator memory, device state and
// destruction.
#include "torvex_en.h"

#include <iterator>

namespace torvex_en {
namespace {

// Discipline reports go out for every terminal and internal node of the
// build, in byte order of the names.
struct DisciplineOrder {
    Node nodes[kNumTerminals + kNumInternalNodes];
};
constexpr DisciplineOrder makeDisciplineOrder()
{
    DisciplineOrder o{};
    int n = 0;
    for (int k = D; k <= SH; ++k)
        if (Rev::kMonitors || !isMonitor(static_cast<Node>(k))) o.nodes[n++] = static_cast<Node>(k);
    for (int i = 1; i < n; ++i)
        for (int j = i; j > 0 && torvex_core::detail::cmp(kNodeNames[o.nodes[j]], kNodeNames[o.nodes[j - 1]]) < 0; --j) {
            const Node t = o.nodes[j];
            o.nodes[j] = o.nodes[j - 1];
            o.nodes[j - 1] = t;
        }
    return o;
}
constexpr DisciplineOrder kDisciplineOrder = makeDisciplineOrder();
static_assert(kDisciplineOrder.nodes[0] == B && kDisciplineOrder.nodes[kNumTerminals + kNumInternalNodes - 1] ==
                                                     (Rev::kMonitors ? VIDS : TINT));

void* handleOf(VXR_SimInterface* simIf, VXR_DeviceInst* inst, const Private* pr, const PairReq& r, bool charge,
               void* cbInfo)
{
    auto get = charge ? simIf->pGetRhsPairQ : simIf->pGetRhsPair;
    return get(nodeSV(inst, pr, r.a), nodeSV(inst, pr, r.b), r.dep, inst, cbInfo);
}

void* handleOf(VXR_SimInterface* simIf, VXR_DeviceInst* inst, const Private* pr, const QuartetReq& r, bool charge,
               void* cbInfo)
{
    return simIf->pGetDerivQuartet(nodeSV(inst, pr, r.ra), nodeSV(inst, pr, r.rb), nodeSV(inst, pr, r.ca),
                                   nodeSV(inst, pr, r.cb), charge ? DDT_ENTRY : DC_ENTRY, r.dep, inst, cbInfo);
}

// An operator that failed to allocate has no branch variable: its entries
// are not requested (the runtime has already asked the host to exit).
bool operatorMissing(const Private* pr, Node n) { return n >= OP26 && pr->op[n - OP26] == nullptr; }
bool operatorMissing(const Private* pr, const PairReq& r) { return operatorMissing(pr, r.a) || operatorMissing(pr, r.b); }
bool operatorMissing(const Private* pr, const QuartetReq& r)
{
    return operatorMissing(pr, r.ra) || operatorMissing(pr, r.rb) || operatorMissing(pr, r.ca) ||
           operatorMissing(pr, r.cb);
}

// Requests the kept entries of one table in table order and stores each
// handle at its array index.
template <class Req, std::size_t N, std::size_t M>
void requestAll(VXR_DeviceInst* inst, Private* pr, const Req (&table)[N], const IndexMap<N>& map, void* (&out)[M],
                bool charge, void* cbInfo)
{
    for (int s = 0; s < map.count; ++s) {
        const Req& r = table[map.entry[s]];
        out[s] = operatorMissing(pr, r) ? nullptr : handleOf(inst->pSimInterface, inst, pr, r, charge, cbInfo);
    }
}

} // namespace

VXR_DeviceInst* createInst(const char* name, VXR_SimInterface* simIf, VXR_DeviceInst* parent, int nTerms,
                           int (*termWidths)[3], VXR_StateVar** terms, int nAssign, VXR_ParamAssn* assignments)
{
    VXR_DeviceInst* inst = torvex_module::createInstance<Private>(
        name, simIf, parent, &ModuleInfo, kNumTerminals, kTerminalNames, nTerms, termWidths, terms, kNumStateVars);
    if (inst == nullptr) return nullptr;
    setParameters(inst, nAssign, assignments);
    priv(inst)->vars = Vars{};
    return inst;
}

// Runs once per instance; a repeated call changes nothing.
void finalizeAnalogTopology(VXR_DeviceInst* inst, void* cbInfo)
{
    if (inst == nullptr) return;
    Private* pr = priv(inst);
    if (pr->topologyDone) return;
    VXR_SimInterface* simIf = inst->pSimInterface;

    staticCheck(inst, &VXR_StaticCheckLoader);

    for (int i = 0; i < kNumInternalNodes; ++i)
        inst->pStateVars[i] = simIf->pSetupNode(kNodeNames[BI2 + i], inst, nullptr, cbInfo);
    int sv = kNumInternalNodes;
    for (const BranchDef& b : kBranches) {
        if (isMonitor(b.branch) && !Rev::kMonitors) continue;
        inst->pStateVars[sv++] = simIf->pCreateBranch(kNodeNames[b.branch], VXR_VOLTAGE_BRANCH, nodeSV(inst, pr, b.pos),
                                                      nodeSV(inst, pr, b.neg), inst, cbInfo);
    }
    for (int k = 0; k < kNumOps; ++k) pr->op[k] = VXR_createOpBranch_ddt(kNodeNames[OP26 + k], inst);
    for (VXR_OpBranch_ddt* op : pr->op)
        if (op != nullptr) VXR_ddtFinalizeTopology(op, cbInfo);

    // A terminal the host did not hand in has no state variable to report.
    for (Node n : kDisciplineOrder.nodes) {
        VXR_StateVar* sv = nodeSV(inst, pr, n);
        if (sv != nullptr) simIf->pReportDiscipline(sv, &Discipline_electrical, inst, simIf);
    }
    pr->topologyDone = 1;
}

// Handles are requested group by group in table order and stored at their
// array index. Before the topology exists there is nothing to stamp.
void setAnalogStamp(VXR_DeviceInst* inst, void* cbInfo)
{
    if (inst == nullptr) return;
    Private* pr = priv(inst);
    if (!pr->topologyDone) return;

    for (int i = 0; i < kNumDdtDoublets; ++i) {
        const DoubletReq& r = kDdtDoublets[i];
        VXR_OpBranch_ddt* op = pr->op[r.op - OP26];
        pr->ddtDoublet[i] = op == nullptr ? nullptr
                                          : VXR_getDerivDoubletOpBranch_ddt(op, nodeSV(inst, pr, r.a), nodeSV(inst, pr, r.b),
                                                                            DDT_ENTRY, NONLIN_DEP, cbInfo);
    }
    requestAll(inst, pr, kRhsPairs, RevStamp::rhs, pr->rhs, false, cbInfo);
    requestAll(inst, pr, kRhsQPairs, RevStamp::rhsQ, pr->rhsQ, true, cbInfo);
    requestAll(inst, pr, kJacQuartets, RevStamp::jac, pr->jac, false, cbInfo);
    requestAll(inst, pr, kJacQQuartets, RevStamp::jacQ, pr->jacQ, true, cbInfo);
    for (VXR_OpBranch_ddt* op : pr->op)
        if (op != nullptr) VXR_ddtSetStamp(op, cbInfo);
    pr->stamped = 1;
}

void setMemoryStates(VXR_DeviceInst*, VXR_ContribLoader*) {}

void resetMemoryStates(VXR_DeviceInst* inst)
{
    if (inst == nullptr) return;
    for (VXR_OpBranch_ddt* op : priv(inst)->op)
        if (op != nullptr) VXR_ddtReset(op);
}

void tranAcceptPoint(VXR_DeviceInst* inst, VXR_ContribLoader* loader)
{
    if (inst == nullptr) return;
    setMemoryStates(inst, loader);
    for (VXR_OpBranch_ddt* op : priv(inst)->op)
        if (op != nullptr) VXR_ddtAcceptTimePoint(op, loader);
}

int serializeState(void*, void*, int direction) { return direction; }

// The operator states sit in the slots of the operator numbers 26 to 31.
VXR_DeviceState* getDeviceState(VXR_DeviceInst* inst)
{
    if (inst == nullptr) return nullptr;
    VXR_DeviceState* state =
        torvex_module::newDeviceState(inst, Rev::kNumOperatorStateSlots, Rev::kSerializerInState ? 2 : 1);
    if (state == nullptr) return nullptr;
    if constexpr (Rev::kSerializerInState) static_cast<SavedPrivateBlock*>(state->pPrivateInfo)->serialize = serializeState;
    const Private* pr = priv(inst);
    for (int k = 0; k < kNumOps; ++k)
        if (pr->op[k] != nullptr) state->pOperatorState[26 + k] = VXR_ddtSaveState(pr->op[k]);
    VXR_SaveEvents(inst, state);
    VXR_SaveChildren(inst, state);
    return state;
}

// A state this module did not make (NULL, or too few operator slots)
// restores nothing; the next load recomputes in every case.
void restoreDeviceState(VXR_DeviceInst* inst, VXR_DeviceState* state)
{
    if (inst == nullptr) return;
    const bool usable = torvex_module::restorable(state, 26 + kNumOps);
    if (usable) {
        const Private* pr = priv(inst);
        for (int k = 0; k < kNumOps; ++k)
            if (pr->op[k] != nullptr) VXR_ddtRestoreState(pr->op[k], state->pOperatorState[26 + k]);
        VXR_RestoreEvents(inst, state);
    }
    inst->pModuleDescriptor->pForceExecInvarCode(inst, 1);
    if (usable) VXR_RestoreChildren(inst, state);
}

// Revision 1.42 has no destroy slot: its instances live as long as the host.
void destroyInst(VXR_DeviceInst* inst)
{
#if VXR_REVISION != 142
    if (inst == nullptr) return;
    Private* pr = priv(inst);
    for (VXR_OpBranch_ddt*& op : pr->op) {
        VXR_destroyOpBranch_ddt(op);
        op = nullptr;
    }
    VXR_destroyChildren(inst);
    VXR_destroyEvents(inst);
    VXR_free(inst->pReserved);
    torvex_module::freeInstance(inst);
#else
    (void)inst;
#endif
}

} // namespace torvex_en
