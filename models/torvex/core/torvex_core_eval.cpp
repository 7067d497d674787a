// TORVEX_CORE evaluation: the parameter-only group, the full, right-hand-side
// and strobe loads and the zero-bias static check. The physics is the shared
// intrinsic kernel; this file maps its probes onto the module's nodes and its
// results onto the stamp's rows, quartets and ddt doublets.
#include <cmath>

#include "VXR_Operators.h"
#include "torvex_core.h"
#include "torvex_probe_map.h"

namespace torvex_core {
namespace {

using torvex::kNumCharges;
using torvex::kNumProbes;
using Charge = torvex::Charge;

// The node of each kernel probe; every probe is one column of the stamp.
constexpr auto kProbePairs = torvex::probePairs<Node>(
    {TINT, TEXT, GND, D, G, S, B, CORE_ID, CORE_B1, CORE_B2, IB_DIODE1, IB_DIODE3});

// The charge behind each operator position, and the operator position of each charge.
constexpr Charge kOpCharge[kNumOps] = {torvex::Q_J1, torvex::Q_J2, torvex::Q_J3,
                                       torvex::Q_IG, torvex::Q_GS, torvex::Q_GB1};
constexpr int kOpOfCharge[kNumCharges] = {OP7, OP8, OP9, OP10, OP11, OP12};
static_assert(kOpCharge[OP7] == torvex::Q_IG && kOpCharge[OP10] == torvex::Q_J1);

constexpr int probeOf(Node a, Node b) { return torvex::probeOf(kProbePairs, a, b); }
template <int N>
constexpr int rowOf(const PairReq (&rows)[N], Node a, Node b)
{
    for (int i = 0; i < N; ++i)
        if (rows[i].a == a && rows[i].b == b) return i;
    return -1;
}

// Where a quartet's value comes from: the partial of row `row` with respect to
// probe `probe`, or (probe < 0) the power row's entry of operator -1 - probe.
struct Source {
    int row;
    int probe;
};
template <int N, int R>
struct SourceTable {
    Source s[N];
};
template <int N, int R>
constexpr SourceTable<N, R> sources(const QuartetReq (&q)[N], const PairReq (&rows)[R])
{
    SourceTable<N, R> t{};
    for (int k = 0; k < N; ++k) {
        t.s[k].row = rowOf(rows, q[k].ra, q[k].rb);
        t.s[k].probe = q[k].ca >= BR10 ? -1 - (q[k].ca - BR10) : probeOf(q[k].ca, q[k].cb);
    }
    return t;
}
template <int N, int R>
constexpr bool resolved(const SourceTable<N, R>& t, bool branchesAllowed)
{
    for (const Source& s : t.s) {
        if (s.row < 0 || s.probe < -kNumOps || s.probe >= kNumProbes) return false;
        if (s.probe < 0 && !branchesAllowed) return false;
    }
    return true;
}
constexpr auto kJacSource = sources(kJacQuartets, kRhsPairs);
constexpr auto kJacQSource = sources(kJacQQuartets, kRhsQPairs);
static_assert(resolved(kJacSource, true), "every quartet has a row and a column");
static_assert(resolved(kJacQSource, false), "every charge quartet has a row and a probe column");

constexpr auto kDoubletProbe = torvex::doubletProbes(kProbePairs, kDdtDoublets);
static_assert(torvex::allProbes(kDoubletProbe), "every ddt doublet column is a probe");

// Operator positions count from OP10, the first of OpPos.
constexpr auto kOpDoublets = torvex::opDoublets<kNumOps>(kDdtDoublets, OP10);

double readSol(VXR_StateVar* sv, VXR_ContribLoader* ldr, VXR_DeviceInst* inst)
{
    (void)inst;
    return sv == nullptr ? 0.0 : ldr->pGetSol(sv, ldr VXR_LDR_INST(inst));
}

void readProbes(VXR_DeviceInst* inst, VXR_ContribLoader* ldr, double (&v)[kNumProbes])
{
    double sol[IB_DIODE3 + 1];
    sol[GND] = 0.0;
    for (int n = D; n <= TEXT; ++n) sol[n] = readSol(inst->pPorts[n - D], ldr, inst);
    for (int n = CORE_B1; n <= IB_DIODE3; ++n) sol[n] = readSol(inst->pStateVars[n - CORE_B1], ldr, inst);
    for (int k = 0; k < kNumProbes; ++k) v[k] = sol[kProbePairs[k].a] - sol[kProbePairs[k].b];
}

// Parameter locations by model name, for the shared module code.
struct ParamNames {
    static consteval int real(const char* name) { return realLoc(name); }
    static consteval int integer(const char* name) { return intLoc(name); }
};

using torvex_module::chargeCurrent;
using torvex_module::rowScale;

// Temperature test and parameter-only group at the start of a load.
void startPass(VXR_DeviceInst* inst, Private* pr)
{
    VXR_SimInterface* simIf = inst->pSimInterface;
    const double t = simIf->pGetTemperature(inst, simIf);
    if (t != pr->lastTemperature || std::isnan(t) || std::isnan(pr->lastTemperature)) pr->recompute = 1;
    pr->lastTemperature = t;
    if (pr->recompute) evalParamOnly(inst, pr);
}

template <class S>
void keepVars(Private* pr, const torvex::Result<S>& r, double pdiss)
{
    Vars& v = pr->vars;
    v.CHDIR = r.CHDIR;
    v.DRDIR = r.DRDIR;
    v.Tdev = r.Tdev;
    v.PDISS = pdiss;
}

template <class T>
using RowTerm = torvex::RowTerm<T>;
static_assert(torvex::kNumCurrentRows == 10 && torvex::kNumChargeRows == 6);
static_assert(kRhsPairs[torvex::R_BD3].a == B && kRhsQPairs[torvex::Q_J3].b == IB_DIODE3);

// The contribution rows of the pass from the kernel's results; every row
// starts at 0 and is added to.
template <class R, class P>
void rowValues(const R& r, const P& pdiss, double (&rhs)[kNumRhs], double (&rhsQ)[kNumRhsQ])
{
    double rows[torvex::kNumCurrentRows], rowsQ[torvex::kNumChargeRows];
    torvex::intrinsicRows(r, rows, rowsQ);
    for (int i = 0; i < kNumRhs; ++i) rhs[i] = i < torvex::kNumCurrentRows ? rows[i] : 0.0;
    for (int i = 0; i < kNumRhsQ; ++i) rhsQ[i] = i < torvex::kNumChargeRows ? rowsQ[i] : 0.0;
    rhs[17] += vxr::value_of(r.ITH);
    rhs[18] += vxr::value_of(pdiss);
    rhs[19] += vxr::value_of(r.ITEXT);
    rhsQ[6] += vxr::value_of(r.QCS);
    rhsQ[7] += vxr::value_of(r.QTH);
}

// The same rows as terms, for the Jacobian.
template <class R, class T = typename R::T>
void rowTerms(const R& r, const T& pdiss, RowTerm<T> (&rows)[kNumRhs], RowTerm<T> (&rowsQ)[kNumRhsQ])
{
    RowTerm<T> intrinsic[torvex::kNumCurrentRows], intrinsicQ[torvex::kNumChargeRows];
    torvex::intrinsicRows(r, intrinsic, intrinsicQ);
    for (int i = 0; i < kNumRhs; ++i) rows[i] = i < torvex::kNumCurrentRows ? intrinsic[i] : RowTerm<T>{};
    for (int i = 0; i < kNumRhsQ; ++i) rowsQ[i] = i < torvex::kNumChargeRows ? intrinsicQ[i] : RowTerm<T>{};
    rows[17] = RowTerm<T>(r.ITH, false);
    rows[18] = RowTerm<T>(pdiss, false);
    rows[19] = RowTerm<T>(r.ITEXT, false);
    rowsQ[6] = RowTerm<T>(r.QCS, false);
    rowsQ[7] = RowTerm<T>(r.QTH, false);
}

template <int N>
torvex_module::Batch batch(void* (&h)[N], double (&vals)[N])
{
    return {N, h, vals};
}

using FullScalar = torvex::Partials<VXR_REVISION>;
using FullResult = torvex::Result<FullScalar>;
using RhsResult = torvex::Result<torvex::Values>;

// Steps shared by both loads up to the kernel's results: temperature test,
// parameter-only group, probes, evaluation, breakdown warning.
template <class R>
Private* evaluatePass(VXR_DeviceInst* inst, VXR_ContribLoader* ldr, R& r)
{
    Private* pr = priv(inst);
    startPass(inst, pr);
    double v[kNumProbes];
    readProbes(inst, ldr, v);
    torvex::evaluate(pr->derived, v, pr->lastTemperature, r, &pr->temperatureCache);
    torvex_module::breakdownWarning(inst, ldr, TORVEX_PAR(pr, "VDSBR"), r.VDS);
    return pr;
}

// The end of both loads: the right-hand sides scaled by $mfactor and loaded
// (then, in the full load, the Jacobian batches), the operators' own rows,
// the kept variables and the cleared flag.
template <class R>
void finishPass(VXR_DeviceInst* inst, Private* pr, VXR_ContribLoader* ldr, const R& r, double pdiss,
                double (&rhs)[kNumRhs], double (&rhsQ)[kNumRhsQ], double (*jac)[kNumJac], double (*jacQ)[kNumJacQ])
{
    if (jac != nullptr) {
        const torvex_module::Batch j = batch(pr->jac, *jac), jq = batch(pr->jacQ, *jacQ);
        torvex_module::loadBatches(inst, ldr, TORVEX_PAR(pr, "$mfactor"), batch(pr->rhs, rhs), batch(pr->rhsQ, rhsQ),
                                   &j, &jq, pr->op);
    } else {
        torvex_module::loadBatches(inst, ldr, TORVEX_PAR(pr, "$mfactor"), batch(pr->rhs, rhs), batch(pr->rhsQ, rhsQ),
                                   nullptr, nullptr, pr->op);
    }
    keepVars(pr, r, pdiss);
    pr->recompute = 0;
}

} // namespace

void evalParamOnly(VXR_DeviceInst*, Private* pr)
{
    torvex_module::deriveIntrinsic<ParamNames>(pr);
    pr->vars.Rth0 = pr->derived.Rth0;
    pr->vars.Cth0 = pr->derived.Cth0;
}

void evalStaticCheck(VXR_DeviceInst* inst, Private* pr, VXR_ContribLoader* loader)
{
    double v[kNumProbes];
    readProbes(inst, loader, v);
    RhsResult r;
    torvex::evaluate(pr->derived, v, pr->lastTemperature, r, &pr->temperatureCache);
    double dqdt[kNumCharges];
    for (int pos = 0; pos < kNumOps; ++pos) dqdt[kOpCharge[pos]] = chargeCurrent(pr->op[pos], loader, inst);
    keepVars(pr, r, torvex::dissipatedPower(r, dqdt));
}

void _module1_genericAnalogLoad(VXR_DeviceInst* inst, VXR_ContribLoader* ldr)
{
    FullResult r;
    Private* pr = evaluatePass(inst, ldr, r);

    double dqdt[kNumCharges];
    torvex_module::feedOperators<false>(pr->op, kOpOfCharge, r.Q, kOpDoublets, pr->ddtDoublet, kDoubletProbe, ldr, inst, dqdt);
    const FullResult::T pdiss = torvex::dissipatedPower(r, dqdt);

    RowTerm<FullResult::T> rows[kNumRhs], rowsQ[kNumRhsQ];
    rowTerms(r, pdiss, rows, rowsQ);
    double rhs[kNumRhs], rhsQ[kNumRhsQ], jac[kNumJac], jacQ[kNumJacQ];
    rowValues(r, pdiss, rhs, rhsQ);
    for (int k = 0; k < kNumJac; ++k) {
        const Source& s = kJacSource.s[k];
        if (s.probe >= 0) {
            jac[k] = rows[s.row].partial(s.probe);
        } else {
            // Power row, branch column of an operator: the factor of its dQ/dt.
            const int pos = -1 - s.probe;
            jac[k] = r.qFactor[kOpCharge[pos]].v / rowScale(pr->op[pos]);
        }
    }
    for (int k = 0; k < kNumJacQ; ++k) jacQ[k] = rowsQ[kJacQSource.s[k].row].partial(kJacQSource.s[k].probe);

    finishPass(inst, pr, ldr, r, pdiss.v, rhs, rhsQ, &jac, &jacQ);
}

void _module1_genericAnalogLoadRHS(VXR_DeviceInst* inst, VXR_ContribLoader* ldr)
{
    RhsResult r;
    Private* pr = evaluatePass(inst, ldr, r);

    double dqdt[kNumCharges];
    torvex_module::feedOperators<false>(pr->op, kOpOfCharge, r.Q, kOpDoublets, pr->ddtDoublet, kDoubletProbe, ldr, inst, dqdt);
    const double pdiss = torvex::dissipatedPower(r, dqdt);

    double rhs[kNumRhs], rhsQ[kNumRhsQ];
    rowValues(r, pdiss, rhs, rhsQ);
    finishPass(inst, pr, ldr, r, pdiss, rhs, rhsQ, nullptr, nullptr);
}

void _module1_doAnalogStrobe(VXR_DeviceInst* inst, VXR_ContribLoader* loader)
{
    _module1_genericAnalogLoadRHS(inst, loader);
}

} // namespace torvex_core
