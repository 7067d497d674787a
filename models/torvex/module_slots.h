// Descriptor slots that the transistor modules (TORVEX_CORE, TORVEX_EN,
// TORVEX) share: parameter setters, modify and get, reset from an
// assignment list, the range-check pass, the given bits and the output-
// variable query; and the steps every load shares around the kernel (the
// breakdown warning, the ddt operators, the $mfactor batches). Each module
// supplies a policy for the slots:
//
//   struct Policy {
//       using Private = ...;   // has realParam[], intParam[], given[], recompute
//       static constexpr const ParamRow (&params)[N] = ...; // declaration order
//       static constexpr int kNumRealParams, kNumIntParams;
//       static Private* priv(VXR_DeviceInst*);
//   };
//
// Library code only (needs VXR_REVISION).
#ifndef TORVEX_MODULE_SLOTS_H
#define TORVEX_MODULE_SLOTS_H

#include <array>
#include <iterator>
#include <type_traits>
#include <utility>

#include "VXR_Operators.h"
#include "VXR_SupportLib.h"
#include "torvex_core_params.h"
#include "torvex_probe_map.h"

namespace torvex_module {

using torvex_core::kInt;
using torvex_core::kReal;
using torvex_core::ParamKind;
using torvex_core::ParamRow;
using torvex_core::Range;

template <class Private>
bool givenBit(const Private* pr, int index)
{
    return (pr->given[index / 8] >> (index % 8)) & 1u;
}
template <class Private>
void setGiven(Private* pr, int index)
{
    pr->given[index / 8] |= static_cast<unsigned char>(1u << (index % 8));
}
template <class Private>
void clearGiven(Private* pr, int index)
{
    pr->given[index / 8] &= static_cast<unsigned char>(~(1u << (index % 8)));
}

// Declaration row of the parameter with a type and location, -1 if none.
template <std::size_t N>
constexpr int rowOfLocation(const ParamRow (&params)[N], ParamKind type, int location)
{
    for (std::size_t k = 0; k < N; ++k)
        if (params[k].type == type && params[k].location == location) return static_cast<int>(k);
    return -1;
}

inline void raise(int* rangeViolation)
{
    if (rangeViolation != nullptr) *rangeViolation = 1;
}

template <class Policy>
struct ParamSlots {
    using Private = typename Policy::Private;
    static constexpr auto& kParams = Policy::params;
    static constexpr int kNumParams = static_cast<int>(std::size(Policy::params));
    static constexpr int kNumReal = Policy::kNumRealParams;
    static constexpr int kNumInt = Policy::kNumIntParams;

    // Setter of the parameter in declaration row Row: given bit, recompute
    // flag, value, then the range test (which only ever raises the flag).
    template <int Row>
    static void setReal(VXR_DeviceInst* inst, int* rangeViolation, double value)
    {
        constexpr const ParamRow& p = kParams[Row];
        static_assert(p.type == kReal);
        Private* pr = Policy::priv(inst);
        setGiven(pr, p.index);
        pr->recompute = 1;
        pr->realParam[p.location] = value;
        if constexpr (p.range.kind == Range::Real)
            if (!torvex_core::realInRange(p.range, value)) raise(rangeViolation);
    }
    template <int Row>
    static void setInt(VXR_DeviceInst* inst, int value, int* rangeViolation)
    {
        constexpr const ParamRow& p = kParams[Row];
        static_assert(p.type == kInt);
        Private* pr = Policy::priv(inst);
        setGiven(pr, p.index);
        pr->recompute = 1;
        pr->intParam[p.location] = value;
        if constexpr (p.range.kind == Range::IntSet)
            if (!torvex_core::intInRange(p.range, value)) raise(rangeViolation);
    }

    using RealSetter = void (*)(VXR_DeviceInst*, int*, double);
    using IntSetter = void (*)(VXR_DeviceInst*, int, int*);
    template <int... L>
    static constexpr auto realSetters(std::integer_sequence<int, L...>)
    {
        return std::array<RealSetter, sizeof...(L)>{&setReal<rowOfLocation(kParams, kReal, L)>...};
    }
    template <int... L>
    static constexpr auto intSetters(std::integer_sequence<int, L...>)
    {
        return std::array<IntSetter, sizeof...(L)>{&setInt<rowOfLocation(kParams, kInt, L)>...};
    }
    // Setter tables indexed by location.
    static constexpr auto kRealSetters = realSetters(std::make_integer_sequence<int, kNumReal>{});
    static constexpr auto kIntSetters = intSetters(std::make_integer_sequence<int, kNumInt>{});

    // A location outside the table stores nothing and counts as a violation.
    static void modifyReal(VXR_DeviceInst* inst, int location, int* rangeViolation, double value)
    {
        if (inst == nullptr) return;
        if (location < 0 || location >= kNumReal) {
            raise(rangeViolation);
            return;
        }
        kRealSetters[location](inst, rangeViolation, value);
        Policy::priv(inst)->recompute = 1;
    }
    static void modifyInt(VXR_DeviceInst* inst, int location, int value, int* rangeViolation)
    {
        if (inst == nullptr) return;
        if (location < 0 || location >= kNumInt) {
            raise(rangeViolation);
            return;
        }
        kIntSetters[location](inst, value, rangeViolation);
        Policy::priv(inst)->recompute = 1;
    }
    static double getReal(VXR_DeviceInst* inst, int location)
    {
        if (inst == nullptr || location < 0 || location >= kNumReal) return 0.0;
        return Policy::priv(inst)->realParam[location];
    }
    static int getInt(VXR_DeviceInst* inst, int location)
    {
        if (inst == nullptr || location < 0 || location >= kNumInt) return 0;
        return Policy::priv(inst)->intParam[location];
    }

    // Defaults for every parameter not in the list, given values for the
    // others (a later assignment of the same name wins). The recompute flag
    // is set so a reset of a live instance does not leave the next load on
    // stale values.
    static void setParameters(VXR_DeviceInst* inst, int numAssignments, VXR_ParamAssn* assignments)
    {
        if (inst == nullptr) return;
        Private* pr = Policy::priv(inst);
        int map[kNumParams];
        VXR_setupParamMap(inst, numAssignments, assignments, map);
        for (const ParamRow& p : kParams) {
            const bool given = map[p.index] >= 0;
            if (given)
                setGiven(pr, p.index);
            else
                clearGiven(pr, p.index);
            if (p.type == kReal)
                pr->realParam[p.location] = given ? VXR_initRealParam(inst, p.index, map, assignments) : p.def;
            else
                pr->intParam[p.location] =
                    given ? VXR_initIntegerParam(inst, p.index, map, assignments) : static_cast<int>(p.def);
        }
        pr->recompute = 1;
    }

    // Declaration order; stops as soon as the log is full. True when every
    // test ran.
    static bool checkRange(VXR_DeviceInst* inst, VXR_ErrorLog* log)
    {
        if (inst == nullptr || log == nullptr || log->length >= log->maxLength) return false;
        const Private* pr = Policy::priv(inst);
        for (const ParamRow& p : kParams) {
            if (p.range.kind == Range::None || inRange(pr, p)) continue;
            VXR_insertError(log, inst, p.name);
            if (log->length >= log->maxLength && &p != &kParams[kNumParams - 1]) return false;
        }
        return true;
    }

    static bool inRange(const Private* pr, const ParamRow& p)
    {
        return p.type == kReal ? torvex_core::realInRange(p.range, pr->realParam[p.location])
                               : torvex_core::intInRange(p.range, pr->intParam[p.location]);
    }
};

// getOutVarInfo over a module's variable record: values by index; an index
// outside the module's variables, and the array kinds (the modules have
// none), leave the value as it is.
template <class Vars, std::size_t NR, std::size_t NI>
void outVarInfo(const Vars& v, double Vars::* const (&realVars)[NR], int numReal, int Vars::* const (&intVars)[NI],
                int n, const VXR_OutVarDesc* descs, VXR_OutVal* vals)
{
    if (descs == nullptr || vals == nullptr) return;
    for (int i = 0; i < n; ++i) {
        vals[i].pOutVarDesc = &descs[i];
        const int ix = descs[i].ix;
        switch (descs[i].outputVarType) {
        case VXR_OUT_REALVAR:
            if (ix >= 0 && ix < numReal && static_cast<std::size_t>(ix) < NR) vals[i].outVal.realVal = v.*realVars[ix];
            break;
        case VXR_OUT_INTVAR:
            if (ix >= 0 && static_cast<std::size_t>(ix) < NI) vals[i].outVal.intVal = v.*intVars[ix];
            break;
        default:
            break;
        }
    }
}

// ---- Instances -------------------------------------------------------------

// Frees what createInstance allocated.
inline void freeInstance(VXR_DeviceInst* inst)
{
    VXR_free(inst->pStateVars);
    VXR_free(inst->pPorts);
    VXR_free(inst->pPrivateInfo);
    VXR_free(inst);
}

// The instance record and a zeroed private record, in the host's order of
// events: allocations, the host temperature, the port and width checks,
// the state-variable table (all NULL). Only the terms the host handed in are
// read; missing terminals stay NULL. Returns NULL, with nothing left
// allocated, when an allocation failed (the wrapper has reported it).
template <class Private>
VXR_DeviceInst* createInstance(const char* name, VXR_SimInterface* simIf, VXR_DeviceInst* parent,
                               VXR_ModuleDescriptor* md, int numPorts, const char* const* portNames, int nTerms,
                               int (*termWidths)[3], VXR_StateVar** terms, int numStateVars)
{
    auto* inst = static_cast<VXR_DeviceInst*>(VXR_malloc(sizeof(VXR_DeviceInst), simIf, nullptr, nullptr));
    if (inst == nullptr) return nullptr;
    auto* pr = static_cast<Private*>(VXR_calloc(1, sizeof(Private), simIf, nullptr, nullptr));
    if (pr == nullptr) {
        VXR_free(inst);
        return nullptr;
    }
    inst->pCustomDeviceInfo = nullptr;
    inst->pPrivateInfo = pr;
    inst->instName = name;
    inst->fullName = nullptr;
    inst->numOfPorts = numPorts;
    inst->pStateVars = nullptr;
    // A failed allocation below is reported against this record: its names
    // must be readable from here on.
    inst->pParent = parent;
    inst->pSimInterface = simIf;
    inst->pModuleDescriptor = md;

    auto** ports = static_cast<VXR_StateVar**>(VXR_malloc(numPorts * sizeof(VXR_StateVar*), simIf, inst, nullptr));
    inst->pPorts = ports;
    if (ports == nullptr) {
        freeInstance(inst);
        return nullptr;
    }
    pr->recompute = 1;
    pr->lastTemperature = simIf->pGetTemperature(inst, simIf);

    if (nTerms != numPorts) VXR_reportPortMismatch(nTerms, numPorts, simIf, inst);
    const int given = terms == nullptr ? 0 : (nTerms < 0 ? 0 : nTerms);
    for (int k = 0; k < numPorts; ++k) {
        if (k >= given) {
            ports[k] = nullptr;
            continue;
        }
        if (termWidths != nullptr && termWidths[k][0] != 0)
            VXR_reportWidthMismatch(portNames[k], termWidths[k][0], 0, simIf, inst);
        ports[k] = terms[k];
    }

    inst->numOfStateVars = numStateVars;
    inst->pStateVars = static_cast<VXR_StateVar**>(VXR_calloc(numStateVars, sizeof(VXR_StateVar*), simIf, inst, nullptr));
    if (inst->pStateVars == nullptr) {
        freeInstance(inst);
        return nullptr;
    }

    // Zero-length requests: NULL without an allocation.
    inst->numOfReserved = 0;
    inst->pReserved = static_cast<void**>(VXR_calloc(0, sizeof(void*), simIf, inst, nullptr));
    inst->numOfNoiseSrcs = 0;
    inst->pNoiseSrcs = static_cast<VXR_NoiseSrc*>(VXR_calloc(0, sizeof(void*), simIf, inst, nullptr));
    inst->numOfEvents = 0;
    inst->pEvents = static_cast<VXR_EventDesc**>(VXR_calloc(0, sizeof(void*), simIf, inst, nullptr));
    inst->pFileDescList = nullptr;
    inst->numOfChildren = 0;
    inst->pChildren = static_cast<VXR_DeviceInst**>(VXR_calloc(0, sizeof(void*), simIf, inst, nullptr));
    return inst;
}

// A device state with `slots` zeroed operator slots and a zeroed private
// block of `blockWords` words; NULL, with nothing left allocated, when an
// allocation failed.
inline VXR_DeviceState* newDeviceState(VXR_DeviceInst* inst, int slots, int blockWords)
{
    VXR_SimInterface* simIf = inst->pSimInterface;
    auto* state = static_cast<VXR_DeviceState*>(VXR_calloc(1, sizeof(VXR_DeviceState), simIf, inst, nullptr));
    if (state == nullptr) return nullptr;
    void* block = VXR_calloc(blockWords, sizeof(void*), simIf, inst, nullptr);
    if (block == nullptr) {
        VXR_free(state);
        return nullptr;
    }
    state->pDevice = inst;
    state->pPrivateInfo = block;
    state->pOperatorState = static_cast<void**>(VXR_calloc(slots, sizeof(void*), simIf, inst, nullptr));
    if (state->pOperatorState == nullptr) {
        VXR_free(block);
        VXR_free(state);
        return nullptr;
    }
    state->numOfOperatorStates = slots;
    state->numOfEventStates = 0;
    return state;
}

// Whether a state to restore has the operator slots the module needs
// (states not made by the module's getDeviceState are not read).
inline bool restorable(const VXR_DeviceState* state, int slotsNeeded)
{
    return state != nullptr && state->pOperatorState != nullptr && state->numOfOperatorStates >= slotsNeeded;
}

// ---- Loads -------------------------------------------------------------------

// The kernel's parameter-only quantities from a module's parameter record
// (Names::real and Names::integer: a parameter's location by its model
// name); the temperature stage kept from the last pass no longer holds.
template <class Names, class Private>
void deriveIntrinsic(Private* pr)
{
    torvex::Params p;
    p.TYPE = pr->intParam[Names::integer("TYPE")];
    p.RTHCALC = pr->intParam[Names::integer("RTHCALC")];
    p.RTHSW = pr->intParam[Names::integer("RTHSW")];
#define TORVEX_COPY(name) p.name = pr->realParam[Names::real(#name)];
    TORVEX_INTRINSIC_REAL_PARAMS(TORVEX_COPY)
#undef TORVEX_COPY
    torvex::deriveParams(p, pr->derived);
    pr->temperatureCache.invalidate();
}

// Above the breakdown voltage (vds > vdsbr; NaN never warns), two strobe
// messages, on passes whose strobe query says so.
inline void breakdownWarning(VXR_DeviceInst* inst, VXR_ContribLoader* ldr, double vdsbr, double vds)
{
    if (!(vds > vdsbr)) return;
    if (ldr->pDoStrobe(ldr VXR_LDR_INST(inst)) == 0) return;
    VXR_WriteMsg(MessageTypeE_STROBE, inst, "Warning: voltage applied above breakdown voltage (%lg V).\n", vdsbr);
    VXR_WriteMsg(MessageTypeE_STROBE, inst, "\n");
}

// Row scale of an operator's branch; 1 without an operator.
inline double rowScale(const VXR_OpBranch_ddt* op) { return op == nullptr ? 1.0 : op->_rowScale; }

// dQ/dt of an operator: its branch solution over its row scale; no operator
// or no branch variable gives 0.
inline double chargeCurrent(VXR_OpBranch_ddt* op, VXR_ContribLoader* ldr, VXR_DeviceInst* inst)
{
    (void)inst;
    if (op == nullptr) return 0.0;
    VXR_StateVar* br = VXR_getBranchVar_ddt(op);
    return br == nullptr ? 0.0 : ldr->pGetSol(br, ldr VXR_LDR_INST(inst)) / op->_rowScale;
}

// The kernel's charges into their ddt operators, and dQ/dt back for the
// self-heating power. Charge c goes to operator opOf[c] (whose doublets
// `doublets` lists); with partials (the full load) the operator also gets
// the charge's partials on its doublets, and each is set and read back in
// turn; without, the gate charges are set, then read back (in reverse with
// ReadBackReversed, the order TORVEX_EN's hosts see), then the junction
// charges.
template <bool ReadBackReversed, class T, int Ops, std::size_t ND>
void feedOperators(VXR_OpBranch_ddt* const (&op)[Ops], const int (&opOf)[Ops], const T (&q)[torvex::kNumCharges],
                   const torvex::OpDoublets<Ops, ND>& doublets, void* const (&doubletHandles)[ND],
                   const std::array<int, ND>& doubletProbe, VXR_ContribLoader* ldr, VXR_DeviceInst* inst,
                   double (&dqdt)[torvex::kNumCharges])
{
    static_assert(Ops == torvex::kNumCharges, "one operator per charge");
    constexpr bool kPartials = !std::is_same_v<T, double>;
    auto set = [&](int c) {
        VXR_OpBranch_ddt* o = op[opOf[c]];
        if (o == nullptr) return;
        VXR_OpBranch_ddt_setArg(o, vxr::value_of(q[c]), ldr);
        if constexpr (kPartials) {
            const int pos = opOf[c];
            for (int j = 0; j < doublets.count[pos]; ++j) {
                const int i = doublets.index[pos][j];
                VXR_OpBranch_ddt_setArg_dwrt(o, doubletHandles[i], q[c].d[doubletProbe[i]], ldr);
            }
        }
    };
    auto read = [&](int c) { dqdt[c] = chargeCurrent(op[opOf[c]], ldr, inst); };
    if constexpr (kPartials) {
        for (int c = 0; c < torvex::kNumCharges; ++c) {
            set(c);
            read(c);
        }
    } else {
        for (int group : {torvex::Q_IG, torvex::Q_J1}) {
            for (int c = group; c < group + 3; ++c) set(c);
            for (int k = 0; k < 3; ++k) read(ReadBackReversed ? group + 2 - k : group + k);
        }
    }
}

// One table of a load: `count` values at their handles.
struct Batch {
    int count;
    void** handles;
    double* values;
};

// The end of a load: the right-hand-side tables and, in the full load (jac
// and jacQ given), the Jacobian tables, each scaled by $mfactor in place and
// handed to the host; then the ddt operators' own rows.
template <std::size_t Ops>
void loadBatches(VXR_DeviceInst* inst, VXR_ContribLoader* ldr, double mfactor, const Batch& rhs, const Batch& rhsQ,
                 const Batch* jac, const Batch* jacQ, VXR_OpBranch_ddt* const (&op)[Ops])
{
    (void)inst;
    auto load = [&](void (*fn)(int, void**, double*, VXR_ContribLoader* VXR_LDR_INST_PARAM), const Batch& b) {
        // x * 1 is x bit for bit, so the usual $mfactor of 1 skips the products.
        if (mfactor != 1.0)
            for (int i = 0; i < b.count; ++i) b.values[i] *= mfactor;
        fn(b.count, b.handles, b.values, ldr VXR_LDR_INST(inst));
    };
    load(ldr->pLoadRhsPair, rhs);
    load(ldr->pLoadRhsPairQ, rhsQ);
    const bool full = jac != nullptr;
    if (full) {
        load(ldr->pLoadDerivQuartet, *jac);
        load(ldr->pLoadDerivQuartetQ, *jacQ);
    }
    for (VXR_OpBranch_ddt* o : op) {
        if (o == nullptr) continue;
        if (full)
            VXR_ddtGenericLoad(o, ldr);
        else
            VXR_ddtGenericLoadRHS(o, ldr);
    }
}

} // namespace torvex_module

#endif // TORVEX_MODULE_SLOTS_H
