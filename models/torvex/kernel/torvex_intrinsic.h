// The intrinsic power transistor shared by the TORVEX models: channel, drift
// region with avalanche, charges, junction diodes, epitaxial and bulk
// resistors, self-heating temperature and the power terms.
//
// One function template, evaluate<S>(), over a scalar policy S:
//   Values          plain doubles (right-hand-side load, strobe, static check)
//   Partials<Rev>   forward-mode duals with the model interface's derivative
//                   rules of revision Rev (full load)
// Both run the same lines, so the values are bit-identical.
//
// The kernel knows nothing of rows, handles or revisions. Its inputs are the
// raw (untyped) node-pair voltages of Probe, its outputs the currents,
// charges and power terms of Result; a model maps them onto its own rows.
// Models with other internal nodes pass their own voltages for the same
// probes (the intrinsic drain, gate and bulk need not be D, G and B).
//
// Each stage carries only the partials it can have: the temperature and the
// channel depend on V(TINT) and three more probes, the drift region on two
// more, and so on. A quantity is widened (partials appended as 0) when a
// later stage with more probes uses it; the probe order is chosen so that
// this works. The results carry one partial per probe.
#ifndef TORVEX_INTRINSIC_H
#define TORVEX_INTRINSIC_H

#include <bit>
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "analog_functions.h"
#include "vxr_dual.h"

namespace torvex {

namespace fn = vxr::fn;

// Real parameters the intrinsic device reads, by their model names.
#define TORVEX_INTRINSIC_REAL_PARAMS(X)                                                                    \
    X(NCELL) X(NCELLR) X(LGF) X(LGFR) X(PCELL) X(PCELLR) X(DTA) X(RTH) X(CTH) X(TR) X(VFB) X(STVFB) X(KO) \
    X(KPINV) X(PHIB) X(STPHIB) X(BET) X(ETABET) X(THESR) X(ETASR) X(THEPH) X(ETAPH) X(ETAMOB)           \
    X(STETAMOB) X(NU) X(NUEXP) X(CS) X(ETACS) X(THESAT) X(ETASAT) X(THESATG) X(SDIBL) X(MO) X(SSF)      \
    X(ALP) X(VP) X(MEXP) X(A1CH) X(STA1CH) X(A2CH) X(A3CH) X(TOX) X(COX) X(PART) X(ADJ) X(XDEP1)        \
    X(DELQ) X(LENGTH) X(VFBOV) X(KOV) X(CGSO) X(CGDO) X(RON) X(ETARON) X(RSAT) X(NSAT) X(VSAT)          \
    X(ETAVSAT) X(EC) X(PSAT) X(VPDR) X(VPDR1) X(DCH) X(DSUB) X(VSUB) X(VGAP) X(VDEP) X(A1DR) X(STA1DR)  \
    X(A2DR) X(A3DR) X(RBB) X(ETARBB) X(RPW) X(LPW) X(CSOURCE) X(CDIODE1) X(VBIDIODE1) X(PDIODE1)       \
    X(CDIODE2) X(VBIDIODE2) X(PDIODE2) X(NDIODE2) X(SDIODE2) X(CDIODE3) X(VBIDIODE3) X(PDIODE3) X(REPI) \
    X(TEPI) X(DEPEPI1) X(DEPEPI3) X(LDEX) X(GMIN) X(RTHWS) X(CTHWS) X(ATH) X(EXRTH) X(TSCALE) X(RTHCOR) \
    X(KAPPA) X(TSUBTH) X(LTH) X(VDSBR)

struct Params {
    int TYPE;
    int RTHCALC;
    int RTHSW;
#define TORVEX_DECLARE(name) double name;
    TORVEX_INTRINSIC_REAL_PARAMS(TORVEX_DECLARE)
#undef TORVEX_DECLARE
};

// Parameter-only quantities, recomputed only when a parameter or the
// simulator temperature changed.
struct Derived {
    Params p;
    double type; // TYPE as a real
    double NCR, TNCR, LGR;
    double RthCor, RthRef; // corner term of the thermal resistance; reference-geometry RTHCALC = 1 value
    double Rth0, Cth0, CthS;
    double RTEXT, Tref, phiTR, VBIMIN;
    double KOKP2, KOKP2P, KO676, KP4, KO2Q; // KO2Q = KO^2 / 4
    double EFFC, EFFC4, BETG, COXG, EGC;
    double DSUBE, VPDRE, VPDR1E, QSUB;
    double RONG, RSATG, RBBG, REPIG, RPWS;
    double FDIO[3], CDIOG[3];
    double CSRC;
};

inline void deriveParams(const Params& p, Derived& d)
{
    d.p = p;
    d.type = static_cast<double>(p.TYPE);
    d.NCR = p.NCELL / p.NCELLR;
    d.TNCR = d.type * d.NCR;
    d.LGR = p.LGF / p.LGFR;

    // Thermal resistance and capacitance at the reference temperature.
    d.RthCor = p.TSUBTH > 0.5 * p.PCELL
                   ? fn::Rthcor_val<double>(p.LGF, p.NCELL, p.PCELL, p.LTH, p.KAPPA, p.TSUBTH)
                   : 0.0;
    d.RthRef = 0.0;
    d.Rth0 = p.RTHWS * p.NCELLR * p.LGFR / (p.NCELL * p.LGF) + p.RTHCOR * d.RthCor;
    d.Cth0 = p.CTHWS * p.RTHWS / d.Rth0;
    if (p.RTHCALC == 1) {
        d.RthRef = fn::Rtharea_val<double>(p.LGFR, p.NCELLR, p.PCELLR, p.LTH, p.KAPPA);
        d.Rth0 = fn::Rtharea_val<double>(p.LGF, p.NCELL, p.PCELL, p.LTH, p.KAPPA);
        d.Cth0 = p.CTHWS * d.RthRef / d.Rth0;
    } else if (p.RTHCALC == 2) {
        d.Rth0 = p.RTH;
        d.Cth0 = p.CTH;
    }
    d.CthS = d.Cth0 * p.TSCALE;
    d.RTEXT = p.RTHSW != 0 ? 1e12 : 1e-9;
    d.Tref = p.TR + 273.15;

    d.KOKP2 = p.KO * p.KO * (p.KPINV * p.KPINV);
    d.KOKP2P = d.KOKP2 + 1.0;
    d.KO676 = 6.760000000000001 / p.KO;
    d.KP4 = 4.0 * (p.KPINV * p.KPINV);
    d.KO2Q = p.KO * p.KO / 4.0;

    const double c = p.TYPE == 1 ? 5.951993 : 7.448711;
    d.EFFC = c * std::pow(3.453133290338238e-11 / p.TOX, 2.0 / 3.0);
    d.EFFC4 = 0.4 * d.EFFC;
    d.BETG = d.LGR * p.BET;
    d.COXG = d.LGR * p.COX;
    d.EGC = 1.2;

    if (p.DSUB < 0.0) {
        d.DSUBE = d.VPDRE = d.VPDR1E = 0.0;
    } else {
        d.DSUBE = p.DSUB;
        d.VPDRE = p.VPDR;
        d.VPDR1E = p.VPDR1;
    }
    d.QSUB = d.DSUBE > 0.0 ? std::sqrt(3.319549146584e-29 * d.DSUBE * p.DCH / (d.DSUBE + p.DCH)) : 0.0;

    d.RONG = p.RON / d.LGR;
    d.RSATG = p.RSAT / d.LGR;
    d.RBBG = p.RBB / d.LGR;
    d.REPIG = p.REPI * p.TEPI / (p.LDEX * p.LGF);
    d.RPWS = p.RPW * p.LPW / (p.LGF * 2.0 * d.NCR);

    const double pd[3] = {p.PDIODE1, p.PDIODE2, p.PDIODE3};
    const double cd[3] = {p.CDIODE1, p.CDIODE2, p.CDIODE3};
    for (int k = 0; k < 3; ++k) {
        d.FDIO[k] = 1.0 - std::pow((pd[k] + 1.0) / 3.0, 1.0 / pd[k]);
        d.CDIOG[k] = d.LGR * cd[k];
    }
    d.CSRC = p.CSOURCE * p.LPW * p.LGF * 2.0 * d.NCR / 3.0;
    d.phiTR = 8.61695e-5 * d.Tref;
    d.VBIMIN = 0.05;
}

// Probes: raw node-pair voltages (not multiplied by TYPE), one independent
// variable each, in the order of their partials.
enum Probe : int {
    P_TH,   // V(TINT, TEXT)
    P_TEXT, // V(TEXT)
    P_GB1,  // V(gate, CORE_B1)
    P_GS,   // V(gate, S)
    P_IS,   // V(CORE_ID, S)
    P_DS,   // V(drain, S)
    P_DB,   // V(drain, bulk)
    P_B2B,  // V(CORE_B2, bulk)
    P_BD1,  // V(bulk, IB_DIODE1)
    P_BD3,  // V(bulk, IB_DIODE3)
    P_B1B2, // V(CORE_B1, CORE_B2)
    P_SB2,  // V(S, CORE_B2)
    P_IG,   // V(CORE_ID, gate): only in the power of the CORE_ID-gate charge
    kNumProbes
};

// Inside the kernel the two thermal probes act only through V(TINT) =
// V(TEXT) + V(TINT, TEXT), one slot of partials; every other probe has a
// slot of its own, one below its Probe number. Each stage carries the first
// N slots.
constexpr int slot(Probe p) { return p <= P_TEXT ? 0 : p - 1; }
inline constexpr int kChannelSlots = 4; // V(TINT), P_GB1, P_GS, P_IS
inline constexpr int kDriftSlots = 6;   // + P_DS, P_DB
inline constexpr int kDiode2Slots = 7;  // + P_B2B
inline constexpr int kDiode1Slots = 8;  // + P_BD1
inline constexpr int kDiode3Slots = 9;  // + P_BD3

struct Values {
    template <int N>
    using V = double;
};
template <int Rev>
struct Partials {
    template <int N>
    using V = vxr::Dual<N, Rev>;
};

namespace detail {
using fn::detail::hypf; // hypf(x, e) with a constant width
template <int K>
inline double lift(double x)
{
    return x;
}
template <int K, int N, int R>
inline vxr::Dual<K, R> lift(const vxr::Dual<N, R>& x)
{
    return vxr::widen<K>(x);
}
// sqrt(1 + KP4 (gate voltage - surface potential)), the gate depletion
// root. The radicand goes negative where the surface potential passes the
// gate voltage by more than 1 / KP4 (the drain end extended into the drift
// region, KPINV > 0, high drain voltage): there it is held at a small
// positive floor, so the factor and the charge terms divided by the root
// stay finite, and it has no partials.
template <class T>
inline T depletionRoot(const T& radicand)
{
    constexpr double kFloor = 1e-8;
    return radicand < kFloor ? T(1e-4) : sqrt(radicand);
}

// Internal slots to probes: the V(TINT) partial goes to both thermal probes.
inline double toProbes(double x) { return x; }
template <int N, int R>
inline vxr::Dual<kNumProbes, R> toProbes(const vxr::Dual<N, R>& x)
{
    vxr::Dual<kNumProbes, R> r(x.v);
    r.d[P_TH] = r.d[P_TEXT] = x.d[0];
    for (int k = 1; k < N; ++k) r.d[k + 1] = x.d[k];
    return r;
}

template <class T>
inline T seed(double v, int k)
{
    if constexpr (std::is_same_v<T, double>)
        return v;
    else
        return T::seed(v, k);
}
} // namespace detail

// The six charges in the order of their time-derivative operators' power
// terms: CORE_ID-gate, gate-S, gate-CORE_B1, and the three junction diodes.
enum Charge : int { Q_IG, Q_GS, Q_GB1, Q_J1, Q_J2, Q_J3, kNumCharges };

template <class S>
struct Result {
    using T = typename S::template V<kNumProbes>;
    // Currents, each on its node pair in the sense of the pair.
    T IDS;   // CORE_ID -> S when CHDIR = +1, S -> CORE_ID when -1
    T IAVCH; // drain end of the channel -> CORE_B1
    T IDRIFT; // drain -> CORE_ID when DRDIR = +1, the reverse when -1
    T IAVDR; // high end of the drift region -> bulk
    T IRBB;  // CORE_B1 -> CORE_B2
    T IRPW;  // CORE_B2 -> bulk
    T IRD1;  // bulk -> IB_DIODE1
    T IRD3;  // bulk -> IB_DIODE3
    T ITH;   // TINT -> TEXT
    T ITEXT; // TEXT -> ground
    // Charges: Q[] as handed to the time-derivative operators (QGS and QGB1
    // enter their rows negated), the source and thermal capacitances.
    T Q[kNumCharges];
    T QCS;  // S - CORE_B2
    T QTH;  // TINT - TEXT
    // Power: the static terms in summation order, and the factor of each
    // charge current (dQ/dt) in the dissipated power.
    T pStatic[4]; // channel, channel avalanche, drift, drift avalanche
    T pRes[4];    // RBB, RPWS, RDIO1, RDIO3
    T qFactor[kNumCharges];
    int CHDIR, DRDIR;
    double VDS;  // typed drain-source voltage, for the breakdown check
    double Tdev; // device temperature
    double RDIO1, RDIO3, RthT;
};

// Dissipated power given the charge currents dQ/dt (one per Charge): the
// sum in the order channel, gate charges, drift, junctions, resistors.
template <class S>
typename Result<S>::T dissipatedPower(const Result<S>& r, const double (&dqdt)[kNumCharges])
{
    typename Result<S>::T p = r.pStatic[0];
    p += r.pStatic[1];
    for (int k = Q_IG; k <= Q_GB1; ++k) p += r.qFactor[k] * dqdt[k];
    p += r.pStatic[2];
    p += r.pStatic[3];
    for (int k = Q_J1; k <= Q_J3; ++k) p += r.qFactor[k] * dqdt[k];
    for (const auto& t : r.pRes) p += t;
    return p;
}

// Rows of the intrinsic device that every model loads on the same node pairs
// (with its own intrinsic drain, gate and bulk), in this order.
enum CurrentRow : int {
    R_IS,    // CORE_ID, S: the channel current with the sign of CHDIR
    R_IB1,   // CORE_ID, CORE_B1: channel avalanche, CHDIR = +1
    R_SB1,   // S, CORE_B1: channel avalanche, CHDIR = -1
    R_DI,    // drain, CORE_ID: the drift current with the sign of DRDIR
    R_DB,    // drain, bulk: drift avalanche, DRDIR = +1
    R_IB,    // CORE_ID, bulk: drift avalanche, DRDIR = -1
    R_B1B2,  // CORE_B1, CORE_B2
    R_B2B,   // CORE_B2, bulk
    R_BD1,   // bulk, IB_DIODE1
    R_BD3,   // bulk, IB_DIODE3
    kNumCurrentRows
};
// Charge rows: CORE_ID-gate, gate-S, gate-CORE_B1 (the last two negated) and
// the three junctions, in Charge order.
inline constexpr int kNumChargeRows = kNumCharges;

// One row of the intrinsic device for its partials: a result quantity's
// partials, added (sign +1) or subtracted (-1), or none (the row is 0).
inline constexpr double kNoPartials[kNumProbes] = {};
template <class T>
struct RowTerm {
    const double* d = kNoPartials;
    double sign = 1.0;

    RowTerm() = default;
    RowTerm(const T& x, bool subtract) : d(x.d), sign(subtract ? -1.0 : 1.0) {}
    // The row starts at 0 and is added to, as the value rows are: a zero
    // partial loads +0 whatever its sign or the term's.
    double partial(int k) const { return 0.0 + sign * d[k]; }
};

// Visits the rows that carry a quantity of the result:
// current(row, subtract, x) and charge(row, subtract, x).
template <class R, class C, class Q>
void forEachIntrinsicRow(const R& r, C&& current, Q&& charge)
{
    if (r.CHDIR > 0) {
        current(R_IS, false, r.IDS);
        current(R_IB1, false, r.IAVCH);
    } else {
        current(R_IS, true, r.IDS);
        current(R_SB1, false, r.IAVCH);
    }
    if (r.DRDIR > 0) {
        current(R_DI, false, r.IDRIFT);
        current(R_DB, false, r.IAVDR);
    } else {
        current(R_DI, true, r.IDRIFT);
        current(R_IB, false, r.IAVDR);
    }
    current(R_B1B2, false, r.IRBB);
    current(R_B2B, false, r.IRPW);
    current(R_BD1, false, r.IRD1);
    current(R_BD3, false, r.IRD3);
    charge(Q_IG, false, r.Q[Q_IG]);
    charge(Q_GS, true, r.Q[Q_GS]);
    charge(Q_GB1, true, r.Q[Q_GB1]);
    charge(Q_J1, false, r.Q[Q_J1]);
    charge(Q_J2, false, r.Q[Q_J2]);
    charge(Q_J3, false, r.Q[Q_J3]);
}

// The values of those rows: each starts at 0 and is added to.
template <class R>
void intrinsicRows(const R& r, double (&rhs)[kNumCurrentRows], double (&rhsQ)[kNumChargeRows])
{
    for (double& x : rhs) x = 0.0;
    for (double& x : rhsQ) x = 0.0;
    auto sum = [](double* rows) {
        return [rows](int i, bool subtract, const auto& x) {
            rows[i] = subtract ? rows[i] - vxr::value_of(x) : rows[i] + vxr::value_of(x);
        };
    };
    forEachIntrinsicRow(r, sum(rhs), sum(rhsQ));
}

// The rows as terms, for their partials.
template <class R, class T = typename R::T>
void intrinsicRows(const R& r, RowTerm<T> (&rhs)[kNumCurrentRows], RowTerm<T> (&rhsQ)[kNumChargeRows])
{
    for (RowTerm<T>& x : rhs) x = {};
    for (RowTerm<T>& x : rhsQ) x = {};
    auto term = [](RowTerm<T>* rows) {
        return [rows](int i, bool subtract, const T& x) { rows[i] = RowTerm<T>(x, subtract); };
    };
    forEachIntrinsicRow(r, term(rhs), term(rhsQ));
}

// The quantities of the temperature stage that the later stages read. They
// depend on x = V(TINT) TSCALE, the simulator temperature and the derived
// parameters alone, so a pass may take them from the pass before (see
// TemperatureCache). VSATD and KPD are drift-region factors of temperature
// quantities only.
#define TORVEX_TEMPERATURE_SCALARS(X)                                                                        \
    X(Tdev) X(RthT) X(phiT) X(PHIT4) X(PHIT4SQ) X(KOF) X(PHIT2K) X(MOPHI) X(VFBT) X(PHIBT) X(BETT) X(THESRT) \
    X(THEPHT) X(ETAMOBT) X(NUT) X(CST) X(THESATT) X(A1CHT) X(A1DRT) X(RONT) X(VSATT) X(VGT) X(RBBT) X(VSATD) \
    X(KPD)
// Per junction diode: built-in voltage, capacitance, charge scale, limit.
#define TORVEX_TEMPERATURE_DIODE_ARRAYS(X) X(VBIT) X(CDIOT) X(QDIOS) X(VDIOL)

template <class T>
struct TemperatureStage {
#define TORVEX_DECLARE(name) T name;
    TORVEX_TEMPERATURE_SCALARS(TORVEX_DECLARE)
#undef TORVEX_DECLARE
#define TORVEX_DECLARE(name) T name[3];
    TORVEX_TEMPERATURE_DIODE_ARRAYS(TORVEX_DECLARE)
#undef TORVEX_DECLARE
};

// f(a.q, b.q, ...) for every quantity q of the stages, in declaration order.
template <class F, class... Stage>
void forEachQuantity(F&& f, Stage&... s)
{
#define TORVEX_VISIT(name) f(s.name...);
    TORVEX_TEMPERATURE_SCALARS(TORVEX_VISIT)
#undef TORVEX_VISIT
#define TORVEX_VISIT(name) \
    for (int k = 0; k < 3; ++k) f(s.name[k]...);
    TORVEX_TEMPERATURE_DIODE_ARRAYS(TORVEX_VISIT)
#undef TORVEX_VISIT
}

// Self-heating at x = V(TINT) TSCALE and the simulator temperature Tsim: the
// rise, bounded smoothly to (0, 1500) K, the device temperature and the
// thermal resistance at temperature.
template <class T>
struct SelfHeating {
    T rise, Tdev, RthT;
};
template <class T>
SelfHeating<T> selfHeating(const Derived& d, const T& x, double Tsim)
{
    using std::exp;
    using std::log;
    using fn::detail::hypf;
    const Params& p = d.p;
    const T r1 = hypf(x, 0.1);
    const T DTSH = r1 - hypf(r1 - 1500.0, 0.1);
    return {DTSH, Tsim + p.DTA + DTSH, exp(p.ATH * log((Tsim + p.DTA + p.EXRTH * DTSH) / d.Tref)) * d.Rth0 / p.TSCALE};
}

// The temperature stage at x = V(TINT) TSCALE; T carries at most the one
// partial d/dV(TINT).
template <class T>
void temperatureStage(const Derived& d, const T& x, double Tsim, TemperatureStage<T>& t)
{
    using std::exp;
    using std::log;
    using std::log10;
    using vxr::pow;
    using std::sqrt;
    using fn::detail::hypf;
    const Params& p = d.p;

    // ---- self-heating temperature --------------------------------------------
    const SelfHeating<T> heating = selfHeating(d, x, Tsim);
    const T Tdev = heating.Tdev;
    const T dT = Tdev - d.Tref;
    const T tn = Tdev / d.Tref;
    const T lnt = log(tn);
    t.Tdev = Tdev;
    t.RthT = heating.RthT;

    // ---- temperature scaling ----------------------------------------------------
    const T phiT = 8.61695e-5 * Tdev;
    t.phiT = phiT;
    t.PHIT4 = 4.0 * phiT;
    t.PHIT4SQ = t.PHIT4 * t.PHIT4;
    t.KOF = 1.0 / (p.KO / sqrt(2.0 * phiT) + 1.0);
    t.PHIT2K = phiT * phiT * d.KO676;
    t.MOPHI = (p.MO + 1.0) * phiT;
    t.VFBT = p.VFB + p.STVFB * dT;
    t.PHIBT = hypf(p.PHIB + p.STPHIB * dT, 0.02);
    t.BETT = d.BETG * exp(-p.ETABET * lnt);
    t.THESRT = p.THESR * exp(-p.ETASR * lnt);
    t.THEPHT = p.THEPH * exp(p.ETAPH * lnt);
    t.ETAMOBT = p.ETAMOB * (1.0 + p.STETAMOB * dT);
    t.NUT = (p.NU - 1.0) * exp(-p.NUEXP * lnt) + 1.0;
    t.CST = p.CS * exp(-p.ETACS * lnt);
    t.THESATT = p.THESAT * exp(-p.ETASAT * lnt);
    t.A1CHT = p.A1CH * (1.0 + p.STA1CH * dT);
    t.A1DRT = p.A1DR * (1.0 + p.STA1DR * dT);
    t.RONT = d.RONG * pow(tn, p.ETARON);
    t.VSATT = p.VSAT * pow(tn, p.ETAVSAT);
    T VGT = -0.0002585085 * Tdev * log10(tn) + tn * p.VSUB + (1.0 - tn) * p.VGAP;
    if (VGT < 0.05) VGT = T(0.05);
    t.VGT = VGT;
    const T VGTS = sqrt(VGT);
    const T VBIC = 3.0 * lnt + d.EGC * (1.0 / d.phiTR - 1.0 / phiT);
    const double vbiDiode[3] = {p.VBIDIODE1, p.VBIDIODE2, p.VBIDIODE3};
    const double pDiode[3] = {p.PDIODE1, p.PDIODE2, p.PDIODE3};
    for (int k = 0; k < 3; ++k) {
        const T VBIR = (vbiDiode[k] / d.phiTR - VBIC) * phiT;
        t.VBIT[k] = hypf(VBIR - d.VBIMIN, 0.01) + d.VBIMIN;
        t.CDIOT[k] = pow(vbiDiode[k] / t.VBIT[k], pDiode[k]) * d.CDIOG[k];
        t.QDIOS[k] = t.CDIOT[k] * t.VBIT[k] / (1.0 - pDiode[k]);
        t.VDIOL[k] = d.FDIO[k] * t.VBIT[k];
    }
    t.RBBT = d.RBBG * exp(-p.ETARBB * lnt);

    // ---- drift-region factors ---------------------------------------------------
    t.VSATD = t.VSATT * d.RSATG / t.RONT;
    t.KPD = T(0.0);
    if (d.VPDRE > 0.0) {
        if (d.QSUB != 0.0) {
            const T VPD = d.VPDRE * d.QSUB / (sqrt(d.VPDRE + VGT) + VGTS);
            t.KPD = -4.0 * (d.QSUB / (2.0 * VGTS)) * VGT / VPD;
        } else {
            // Undoped substrate: the limit of the form above, which is 0/0 here.
            t.KPD = -2.0 * VGTS * (sqrt(d.VPDRE + VGT) + VGTS) / d.VPDRE;
        }
    }
}

// One instance's temperature stage of its last pass, for the next pass at
// the same x and simulator temperature (bit for bit; a NaN never matches).
// The values are those of either scalar type; the d/dV(TINT) partials exist
// once a pass with partials has run at the key. A fixed-size member of the
// instance's record; whoever reruns deriveParams invalidates it.
struct TemperatureCache {
    TemperatureStage<double> value;
    TemperatureStage<double> partial; // d/dV(TINT), if hasPartials
    std::uint64_t xBits, tsimBits;
    bool valid, hasPartials;

    void invalidate() { valid = false; }
    bool holds(double x, double Tsim) const
    {
        return valid && std::bit_cast<std::uint64_t>(x) == xBits && std::bit_cast<std::uint64_t>(Tsim) == tsimBits &&
               !std::isnan(x) && !std::isnan(Tsim);
    }
    void keep(double x, double Tsim, bool withPartials)
    {
        xBits = std::bit_cast<std::uint64_t>(x);
        tsimBits = std::bit_cast<std::uint64_t>(Tsim);
        valid = true;
        hasPartials = withPartials;
    }
};

// The temperature stage of a pass: from the cache where it holds the key
// (and the partials, if T has them), else computed and kept there. Returns
// either `local` or the cache's values.
template <class T>
const TemperatureStage<T>& temperatureStage(const Derived& d, const T& x, double Tsim, TemperatureCache* cache,
                                            TemperatureStage<T>& local)
{
    const double xv = vxr::value_of(x);
    if constexpr (std::is_same_v<T, double>) {
        if (cache == nullptr) {
            temperatureStage(d, x, Tsim, local);
            return local;
        }
        if (!cache->holds(xv, Tsim)) {
            temperatureStage(d, x, Tsim, cache->value);
            cache->keep(xv, Tsim, false);
        }
        return cache->value;
    } else {
        static_assert(T::size == 1, "the temperature stage has one partial");
        if (cache != nullptr && cache->holds(xv, Tsim) && cache->hasPartials) {
            forEachQuantity(
                [](T& q, double v, double dv) {
                    q.v = v;
                    q.d[0] = dv;
                },
                local, cache->value, cache->partial);
            return local;
        }
        temperatureStage(d, x, Tsim, local);
        if (cache != nullptr) {
            forEachQuantity(
                [](const T& q, double& v, double& dv) {
                    v = q.v;
                    dv = q.d[0];
                },
                local, cache->value, cache->partial);
            cache->keep(xv, Tsim, true);
        }
        return local;
    }
}

template <class S>
void evaluate(const Derived& d, const double (&v)[kNumProbes], double Tsim, Result<S>& out,
              TemperatureCache* cache = nullptr)
{
    using namespace fn;
    using std::exp;
    using std::log;
    using std::log10;
    using vxr::pow;
    using std::sqrt;
    using detail::seed;
    using detail::depletionRoot;
    using detail::lift;
    using detail::toProbes;
    using T1 = typename S::template V<1>;
    using T5 = typename S::template V<kChannelSlots>;
    using T7 = typename S::template V<kDriftSlots>;
    using T8 = typename S::template V<kDiode2Slots>;
    using T9 = typename S::template V<kDiode1Slots>;
    using T10 = typename S::template V<kDiode3Slots>;
    using TA = typename S::template V<kNumProbes>;
    const Params& p = d.p;
    const double type = d.type;
    const double TNCR = d.TNCR;

    // ---- temperature -----------------------------------------------------------
    // Everything up to the channel depends on V(TINT) alone: one partial, the
    // others are appended as 0 where the channel takes the quantities over.
    const T1 x = seed<T1>(v[P_TEXT] + v[P_TH], 0) * p.TSCALE;
    TemperatureStage<T1> computed;
    const TemperatureStage<T1>& t = temperatureStage(d, x, Tsim, cache, computed);

    // The channel's copies of the quantities it uses, with its four slots.
    const T5 phiT = lift<kChannelSlots>(t.phiT);
    const T5 PHIT4 = lift<kChannelSlots>(t.PHIT4);
    const T5 PHIT4SQ = lift<kChannelSlots>(t.PHIT4SQ);
    const T5 KOF = lift<kChannelSlots>(t.KOF);
    const T5 PHIT2K = lift<kChannelSlots>(t.PHIT2K);
    const T5 MOPHI = lift<kChannelSlots>(t.MOPHI);
    const T5 VFBT = lift<kChannelSlots>(t.VFBT);
    const T5 PHIBT = lift<kChannelSlots>(t.PHIBT);
    const T5 BETT = lift<kChannelSlots>(t.BETT);
    const T5 THESRT = lift<kChannelSlots>(t.THESRT);
    const T5 THEPHT = lift<kChannelSlots>(t.THEPHT);
    const T5 ETAMOBT = lift<kChannelSlots>(t.ETAMOBT);
    const T5 NUT = lift<kChannelSlots>(t.NUT);
    const T5 CST = lift<kChannelSlots>(t.CST);
    const T5 THESATT = lift<kChannelSlots>(t.THESATT);
    const T5 A1CHT = lift<kChannelSlots>(t.A1CHT);

    // ---- orientation of the channel ---------------------------------------------
    const T5 VGB1 = type * seed<T5>(v[P_GB1], slot(P_GB1));
    const T5 VGS = type * seed<T5>(v[P_GS], slot(P_GS));
    const T5 VIS = type * seed<T5>(v[P_IS], slot(P_IS));
    const int CHDIR = VIS >= 0.0 ? 1 : -1;
    const T5 VDSCH = CHDIR > 0 ? VIS : -VIS;
    const T5 VGSCH = CHDIR > 0 ? VGS : VGS - VIS;
    const T5 VGDCH = CHDIR > 0 ? VGS - VIS : VGS;
    const T5 VSBCH = VGB1 - VGSCH;

    // ---- channel ------------------------------------------------------------------
    const T5 PSIJS = detail::hypf(VSBCH + 0.9 * PHIBT, 0.01) + 0.1 * PHIBT;
    const T5 VGX0 = detail::hypf(VGB1 - VFBT, 0.02);
    const T5 PSID0 = psisat_val<T5>(VGX0, 0.0, p.KO, d.KOKP2P);
    const T5 DVG = Del_Vg_val<T5>(VDSCH, PHIT4SQ, PSIJS, PSID0, p.SDIBL, p.SSF);
    const T5 VGX = detail::hypf(VGB1 + DVG - VFBT, 0.02);
    const T5 VACC = phiT * (exp(-(VGX - 0.02) * KOF / phiT) - 1.0);
    const T5 PSID = psisat_val<T5>(VGX, VACC, p.KO, d.KOKP2P);
    T5 VQD;
    {
        // VGX - PSID without the cancellation, in the branches of psisat_val.
        const T5 xa = VGX + VACC;
        const T5 gx = d.KOKP2P * xa;
        if (gx < d.KO2Q) {
            const T5 r = gx / d.KO2Q;
            const T5 H1 = sqrt(r + 1.0) + 1.0;
            VQD = (xa / d.KOKP2P) * (d.KOKP2 * r + 2.0 * d.KOKP2P * H1) / (H1 * H1);
        } else {
            const T5 s = (p.KO / 2.0) / sqrt(gx);
            const T5 P = 1.0 / (sqrt(1.0 + d.KO2Q / gx) + s);
            VQD = (2.0 * s * P + d.KOKP2) * xa / d.KOKP2P;
        }
    }
    const T5 PSIS0 = psi_s_val<T5>(VGX, PSID, VQD, PSIJS, VACC, PHIT2K, phiT, d.KP4, p.KO, MOPHI);
    const T5 QI0 = Vcalc_val<T5>(d.KP4, VGX, PSIS0, p.KO, VACC);
    const T5 THESATS = Thesat_val<T5>(THESATT, p.THESATG, QI0);
    const T5 VDSAT = Vdsat_val<T5>(PSID, PSIJS, THESATS, PHIT4, type);
    const T5 VDSE = hypfm<T5>(VDSCH, VDSAT, 2.0 * p.MEXP);
    const T5 PSIJD = detail::hypf(VDSE + VSBCH + 0.9 * PHIBT, 0.01) + 0.1 * PHIBT;
    const T5 PSISL = psi_s_val<T5>(VGX, PSID, VQD, PSIJD, VACC, PHIT2K, phiT, d.KP4, p.KO, MOPHI);
    const T5 QIL = Vcalc_val<T5>(d.KP4, VGX, PSISL, p.KO, VACC);
    const T5 PSIACC = psi_acc_val<T5>(KOF, VGB1, DVG, VFBT, VGX, PHIT2K, p.KO, phiT);
    const T5 DPSI = PSISL - PSIS0;
    const T5 PSIM = (PSISL + PSIS0) * 0.5;
    const T5 GPOLY = 2.0 / (depletionRoot<T5>((VGX - PSIM) * d.KP4 + 1.0) + 1.0);
    const T5 QIM = (VGX - PSIM) * GPOLY - p.KO * sqrt(detail::hypf(PSIM + VACC, 0.01));
    const T5 QGM = (VGB1 + DVG - VFBT - PSIM - PSIACC) * GPOLY;
    const T5 QMOB = QIM + ETAMOBT * (QGM - QIM);
    const T5 GMOB = G_mob_val<T5>(QMOB, THESRT, THEPHT, NUT, type, CST, QGM, QIM);
    const T5 THESATM = Thesat_val<T5>(THESATT, p.THESATG, (QI0 + QIL) * 0.5);
    const T5 GVSAT = G_vsat_val<T5>(GMOB, type, THESATM, DPSI);
    const T5 GDELL = G_DelL_val<T5>(VDSCH, VDSE, p.VP, p.ALP);
    const T5 VINV0 = Vinv_val<T5>(VACC, PSIJS, PSIS0, p.KO, phiT, MOPHI);
    const T5 VINVL = Vinv_val<T5>(VACC, PSIJD, PSISL, p.KO, phiT, MOPHI);
    const T5 IDRCH = Idrft_val<T5>(PSID, phiT, PSIJS, PSIJD, BETT, QIM, DPSI);
    const T5 IDFCH = BETT * phiT * (VINV0 - VINVL);
    const T5 ICH = (IDFCH + IDRCH) / (GDELL * GVSAT);
    const T5 IDS = ICH * TNCR + TNCR * d.LGR * p.GMIN * VDSCH;
    const T5 IAVCH = TNCR * Iavl_val<T5>(VDSCH, A1CHT, p.A2CH, p.A3CH, VDSAT, ICH);

    // ---- drain end of the channel: extended potential, charge inputs --------------
    const T5 PSIDX = PSISL + p.XDEP1 * (VDSCH - VDSE);
    const T5 PSIMX = (PSIDX + PSIS0) * 0.5;
    const T5 SQPX = sqrt(detail::hypf(PSIMX + VACC, 0.01));
    const T5 rx = depletionRoot<T5>((VGX - PSIMX) * d.KP4 + 1.0);
    const T5 GPOLYX = 2.0 / (rx + 1.0);
    const T5 QIX = (VGX - PSIMX) * GPOLYX - p.KO * SQPX;
    // gate charge voltage at a mid-channel potential (the XDEP1-shifted one
    // here; the unshifted one balances the shift's share of the charges)
    const auto gateChargeVoltage = [&](const T5& psi, const T5& gpoly) {
        return (VGB1 + DVG - VFBT - p.ADJ * psi - PSIACC) * gpoly;
    };
    const T5 CHQB = gateChargeVoltage(PSIMX, GPOLYX);
    const T5 QMOBX = QIX + ETAMOBT * (CHQB - QIX);
    const T5 CHQR = phiT / rx;
    const T5 CHQT = phiT * p.KO / SQPX + CHQR;
    const T5 CHQM = CHQT + (QI0 + QIL) * 0.5;
    const T5 CHQA = p.DELQ * 0.5 * (QI0 - QIL);
    // With no mobility reduction by the field (ETAMOB = 0) the effective
    // oxide capacitance is the unreduced one; the general form would divide
    // by ETAMOBT^2 in its partials.
    const T5 COXE = ETAMOBT == 0.0 ? T5(d.COXG) : Cox_eff_val<T5>(ETAMOBT, QMOBX, PHIT4SQ, d.COXG, d.EFFC4);
    const T5 EIDSAT = Eid_sat_val<T5>(VDSCH - VDSE, p.VP, p.LENGTH, p.ALP);
    // ICH carries the factor BETT; with BET = 0 the ratio is taken with that
    // factor cancelled instead of as 0/0.
    T5 EDR;
    if (BETT != 0.0) {
        EDR = ICH / (p.LENGTH * BETT * (VINVL + 1e-12)) + EIDSAT;
    } else {
        const T5 ichPerBet =
            (phiT * (VINV0 - VINVL) + Idrft_val<T5>(PSID, phiT, PSIJS, PSIJD, 1.0, QIM, DPSI)) / (GDELL * GVSAT);
        EDR = ichPerBet / (p.LENGTH * (VINVL + 1e-12)) + EIDSAT;
    }

    // ---- drift region ---------------------------------------------------------------
    const T7 VDS = type * seed<T7>(v[P_DS], slot(P_DS));
    const T7 VDB = type * seed<T7>(v[P_DB], slot(P_DB));
    const T7 VDI = VDS - lift<kDriftSlots>(VIS);
    const int DRDIR = VDI >= 0.0 ? 1 : -1;
    const T7 VDRIFT = DRDIR > 0 ? VDI : -VDI;
    const T7 VIB = VDB - VDI;
    const T7 VAVDR = DRDIR > 0 ? VDB : VIB;
    const T7 VDRL = DRDIR > 0 ? VIB : VDB;

    const T7 VSATT7 = lift<kDriftSlots>(t.VSATT);
    const T7 VGT7 = lift<kDriftSlots>(t.VGT);
    const T7 RONT7 = lift<kDriftSlots>(t.RONT);
    const T5 VSATD = lift<kChannelSlots>(t.VSATD);
    const T5 VSATN = p.NSAT < 0.0 ? T5(VSATD * (1.0 - p.NSAT * CHQM)) : T5(VSATD / (p.NSAT * CHQM + 1.0));
    const T5 ecr = EDR / p.EC;
    const T7 VDEPF = lift<kDriftSlots>(p.VDEP * (ecr * ecr));
    const T7 HDR = detail::hypf(VDRIFT - VDEPF, 5e-5);
    const T7 VDRA = VDRIFT * HDR / (VDEPF + HDR);
    const T7 VDRX = VDRIFT * VDEPF / (VDEPF + HDR);
    const T7 VXB = detail::hypf(VDRL + VGT7 + (-1e-4 / VGT7), 0.01) - VGT7;
    const T7 VDRY = VDRX + VXB;
    T7 VDRC, VSATC;
    if (d.VPDRE > 0.0) {
        const double L = d.VPDRE;
        T7 VPDC;
        if (std::fabs(vxr::value_of(VDRY)) <= L) {
            const T7 u = VDRY / L;
            const T7 q = pow(pow(u, 8.0) + 1.0, 0.125);
            VDRC = VDRY / q;
            VPDC = L * (q - u) / q;
        } else {
            const T7 w8 = pow(L / VDRY, 8.0);
            const T7 q = pow(w8 + 1.0, 0.125);
            if (VDRY < 0.0) {
                VDRC = -L / q;
                VPDC = (q + 1.0) * L / q;
            } else {
                const T7 q2 = q * q;
                VDRC = L / q;
                VPDC = L * w8 / ((q2 * q2 + 1.0) * (q2 + 1.0) * (q + 1.0) * q);
            }
        }
        VSATC = 2.0 * VSATT7 * VPDC / (VSATT7 + VPDC + sqrt(VSATT7 * VSATT7 + VPDC * VPDC));
    } else {
        VDRC = VDRY;
        VSATC = VSATT7;
    }
    const T7 VDRS = hypfm<T7>(VDRA, VSATC, p.PSAT);
    const T7 VDRT = VDRS + VDRC;
    const T7 IOHM = MDR_Iohm_val<T7>(d.VPDRE, lift<kDriftSlots>(t.KPD), RONT7, VGT7, VDRS, VDRT, VDRC);
    const T7 IDRIFT0 = (1.0 + (VDRA - VDRS) / lift<kDriftSlots>(VSATN)) * IOHM;
    const T7 IDRIFT = TNCR * IDRIFT0;
    const T7 IAVDR =
        TNCR * Iavl_val<T7>(VAVDR - VDRC, lift<kDriftSlots>(t.A1DRT), p.A2DR, p.A3DR, VDRT - VDRC, IDRIFT0);

    // ---- epitaxial resistances ------------------------------------------------------
    const T9 VBD1 = type * seed<T9>(v[P_BD1], slot(P_BD1));
    const T9 VD1I = -lift<kDiode1Slots>(VIB) - VBD1;
    const T10 VBD3 = type * seed<T10>(v[P_BD3], slot(P_BD3));
    const T10 VD3D = -lift<kDiode3Slots>(VDB) - VBD3;
    const T9 w1 = detail::hypf(1.0 - VD1I / lift<kDiode1Slots>(t.VBIT[0]), 0.2);
    const T9 RDIO1 = d.REPIG * detail::hypf(1.0 - p.DEPEPI1 * pow(w1, p.PDIODE1), 0.1);
    const T10 w3 = detail::hypf(1.0 - VD3D / lift<kDiode3Slots>(t.VBIT[2]), 0.2);
    const T10 RDIO3 = d.REPIG * detail::hypf(1.0 - p.DEPEPI3 * pow(w3, p.PDIODE3), 0.1);

    // ---- channel charges --------------------------------------------------------------
    const T5 F = CHQA / CHQM;
    const T5 H = 0.2 * F * F;
    const T5 I3 = CHQA / 3.0;
    // PART splits the channel charge between the channel's two ends, which
    // trade places where V(CORE_ID, S) changes sign. Unless PART is 0.5 the
    // swap would make QIG and QGS jump there (a device at rest, whose VIS
    // carries only rounding noise, could not be integrated), so within a
    // window of VDSCH = 0 the split goes over smoothly to 0.5, where both
    // orientations agree; beyond it it is PART itself. Above 0.5 the blend
    // takes charge from CORE_ID as V(CORE_ID, S) falls, a negative
    // capacitance unless the window widens with PART - 0.5
    // (kPartBlendPerPart volts per unit of PART - 0.5).
    constexpr double kPartBlend = 0.05;
    constexpr double kPartBlendPerPart = 80.0;
    const double partWindow = std::max(kPartBlend, kPartBlendPerPart * (p.PART - 0.5));
    T5 PARTE(p.PART);
    if (p.PART != 0.5 && vxr::value_of(VDSCH) < partWindow) {
        const T5 u = VDSCH / partWindow;
        PARTE = 0.5 + (p.PART - 0.5) * (u * (1.5 - 0.5 * u * u));
    }
    const T5 QD = -COXE * ((CHQM - CHQT) * PARTE + I3 * 0.5 * (H + F - 1.0));
    const T5 QS = -COXE * ((1.0 - PARTE) * (CHQM - CHQT) + (F - H + 1.0) * 0.5 * I3);
    const T5 QB = (F * CHQR / CHQT * I3 + CHQB) * COXE;
    // The gate charge's share from the XDEP1 shift of the gate charge voltage
    // (CHQB against its value at the mid-channel potential PSIM) is balanced at
    // the drain end of the channel, whose voltage drives the shift, not on
    // CORE_B1: balanced on CORE_B1, the gate charge would depend on
    // V(CORE_ID) with no counterpart charge at the drain, a negative
    // capacitance that gives the charges growing modes through a gate
    // resistance. Where the share goes leaves the gate charge, the static
    // currents and every value at XDEP1 = 0 alone; the CORE_ID-gate charge
    // current carries the moved share.
    const T5 DQX = COXE * (CHQB - gateChargeVoltage(PSIM, GPOLY));
    const T5 QDX = QD - DQX;
    const T5 QG = -(QB + QDX + QS);
    T5 QOVS(0.0), QOVD(0.0);
    if (p.CGDO != 0.0 || std::isnan(p.CGDO)) {
        const T5 kv = 1.0 / (p.KOV / sqrt(2.0 * phiT) + 1.0);
        const double h = 0.5 * p.KOV;
        auto overlap = [&](const T5& Vg) {
            const T5 dd = Vg - p.VFBOV;
            const T5 n = dd - detail::hypf(dd, 0.02);
            const T5 a = phiT * (exp((n + 0.02) * kv / phiT) - 1.0);
            const T5 pp = sqrt(a - n + h * h) - h;
            const T5 acc = a - pp * pp;
            const T5 y = (dd - n) * kv;
            const T5 z = y / sqrt(y * y / PHIT2K + 1.0);
            const T5 e = (dd - n) - z;
            const T5 w = 2.0 * e / (sqrt(e * d.KP4 + 1.0) + 1.0);
            const T5 wk = w / p.KOV;
            const T5 vv = wk * wk + z + phiT;
            const T5 lg = phiT * log(vv / phiT);
            const T5 rr = sqrt((y / kv - lg) * d.KP4 + 1.0);
            return T5(2.0 * (Vg - p.VFBOV - acc - lg) / (rr + 1.0));
        };
        // Each overlap charge follows the gate voltage across its own
        // overlap, to S and to CORE_ID, whichever way the channel points: the
        // charge of a terminal then depends on that terminal's voltage, and
        // the overlaps stay passive through channel reversal.
        QOVS = p.CGSO * overlap(VGS);
        QOVD = p.CGDO * overlap(VGS - VIS);
    }
    const T5 QIG = (CHDIR > 0 ? QDX - QOVD : QS - QOVD) * TNCR;
    const T5 QGS = (CHDIR > 0 ? QS - QOVS : QDX - QOVS) * TNCR;
    const T5 QGB1 = QG * TNCR;

    // ---- junction diodes ----------------------------------------------------------------
    const T9 QJ1 = -TNCR * Qdiode_val<T9>(VD1I, lift<kDiode1Slots>(t.VBIT[0]), lift<kDiode1Slots>(t.CDIOT[0]),
                                          p.PDIODE1, d.FDIO[0], lift<kDiode1Slots>(t.QDIOS[0]),
                                          lift<kDiode1Slots>(t.VDIOL[0]));
    const T8 VB2B = type * seed<T8>(v[P_B2B], slot(P_B2B));
    const T8 VB2I = VB2B - lift<kDiode2Slots>(VIB);
    // With no pinch voltage for diode 2 (VPDR1E = 0) its limited voltage is
    // 0; the limiter itself would give 0/0 at a zero argument.
    const T8 VJ2 = d.VPDR1E == 0.0 ? T8(0.0)
                                   : T8(-hypfm1<T8>(lift<kDiode2Slots>(VDRX) - VB2I, d.VPDR1E, 4.0));
    const T8 fJ2 = pow(detail::hypf(1.0 - p.SDIODE2 * lift<kDiode2Slots>(IDRIFT0), 0.1), p.NDIODE2);
    const T8 QJ2 = -TNCR * fJ2 *
                   Qdiode_val<T8>(VJ2, lift<kDiode2Slots>(t.VBIT[1]), lift<kDiode2Slots>(t.CDIOT[1]), p.PDIODE2,
                                  d.FDIO[1], lift<kDiode2Slots>(t.QDIOS[1]), lift<kDiode2Slots>(t.VDIOL[1]));
    const T10 QJ3 = -TNCR * Qdiode_val<T10>(VD3D, lift<kDiode3Slots>(t.VBIT[2]), lift<kDiode3Slots>(t.CDIOT[2]),
                                            p.PDIODE3, d.FDIO[2], lift<kDiode3Slots>(t.QDIOS[2]),
                                            lift<kDiode3Slots>(t.VDIOL[2]));

    // ---- resistors, linear capacitances, thermal network -----------------------------
    const TA VB1B2 = type * seed<TA>(v[P_B1B2], P_B1B2);
    const TA VSB2 = type * seed<TA>(v[P_SB2], P_SB2);
    const TA RBBTA = toProbes(t.RBBT);
    const TA VB2BA = toProbes(VB2B);
    const TA VBD1A = toProbes(VBD1);
    const TA VBD3A = toProbes(VBD3);
    const TA RDIO1A = toProbes(RDIO1);
    const TA RDIO3A = toProbes(RDIO3);

    out.IDS = toProbes(IDS);
    out.IAVCH = toProbes(IAVCH);
    out.IDRIFT = toProbes(IDRIFT);
    out.IAVDR = toProbes(IAVDR);
    out.IRBB = TNCR * VB1B2 / RBBTA;
    // The bulk resistor conducts in the sense of the raw voltage for both
    // types: TYPE x the typed voltage.
    out.IRPW = type * VB2BA / d.RPWS;
    out.IRD1 = TNCR * VBD1A / RDIO1A;
    out.IRD3 = TNCR * VBD3A / RDIO3A;
    const TA VTH = seed<TA>(v[P_TH], P_TH);
    out.ITH = VTH / toProbes(t.RthT);
    out.ITEXT = seed<TA>(v[P_TEXT], P_TEXT) / d.RTEXT;
    out.Q[Q_IG] = toProbes(QIG);
    out.Q[Q_GS] = toProbes(QGS);
    out.Q[Q_GB1] = toProbes(QGB1);
    out.Q[Q_J1] = toProbes(QJ1);
    out.Q[Q_J2] = toProbes(QJ2);
    out.Q[Q_J3] = toProbes(QJ3);
    out.QCS = VSB2 * d.CSRC;
    out.QTH = VTH * d.CthS;

    // Power. The typed voltages times the currents (which carry TNCR) are
    // TYPE x the dissipated power; the factor TYPE makes it the dissipated
    // power for both types. The gate-charge terms use raw voltages already.
    out.pStatic[0] = type * toProbes(VDSCH * IDS);
    out.pStatic[1] = type * toProbes((VGSCH - VGDCH + VSBCH) * IAVCH);
    out.pStatic[2] = type * toProbes(VDRIFT * IDRIFT);
    out.pStatic[3] = type * toProbes(VAVDR * IAVDR);
    out.qFactor[Q_IG] = seed<TA>(v[P_IG], P_IG);
    out.qFactor[Q_GS] = -seed<TA>(v[P_GS], P_GS);
    out.qFactor[Q_GB1] = -seed<TA>(v[P_GB1], P_GB1);
    out.qFactor[Q_J1] = -type * toProbes(VD1I);
    // Diode 2's charge current is weighed with the voltage of diode 3.
    out.qFactor[Q_J2] = -type * toProbes(VD3D);
    out.qFactor[Q_J3] = -type * toProbes(VD3D);
    out.pRes[0] = type * (TNCR * (VB1B2 * VB1B2) / RBBTA);
    out.pRes[1] = VB2BA * VB2BA / d.RPWS;
    out.pRes[2] = type * (TNCR * (VBD1A * VBD1A) / RDIO1A);
    out.pRes[3] = type * (TNCR * (VBD3A * VBD3A) / RDIO3A);

    out.CHDIR = CHDIR;
    out.DRDIR = DRDIR;
    out.VDS = vxr::value_of(VDS);
    out.Tdev = vxr::value_of(t.Tdev);
    out.RDIO1 = vxr::value_of(RDIO1);
    out.RDIO3 = vxr::value_of(RDIO3);
    out.RthT = vxr::value_of(t.RthT);
}

} // namespace torvex

#endif // TORVEX_INTRINSIC_H
