// Evaluation: the full load, the right-hand-side-only load, the strobe pass
// and the zero-bias evaluation of finalize, as one body over the pass kind.
//
// The intrinsic device (channel, drift region, charges, junctions,
// self-heating power) is the shared kernel of the TORVEX models, fed with
// the voltages of DI2, GI2 and BI2 where TORVEX_CORE feeds D, G and B; this
// file maps its probes onto the stamp's columns and its results onto the
// rows, quartets and ddt doublets, and adds the outer network, the thermal
// network and the monitor terminals around it.
#include <algorithm>
#include <array>
#include <cmath>
#include <type_traits>

#include "VXR_Operators.h"
#include "analog_functions.h"
#include "torvex_en.h"
#include "torvex_probe_map.h"

namespace torvex_en {
namespace {

namespace fn = vxr::fn;
using fn::kPi;
using fn::kTwoPi;

enum class Pass { Full, Rhs, Static };

// ---- The outer network as data ------------------------------------------------

// One linear element of the outer network, in the order of its RHS row.
struct Element {
    enum Kind : unsigned char { Resistor, Capacitor, Inductor } kind;
    int rhs;            // RHS row (an inductor: its branch row)
    int jac;            // resistor: 1/R entry; inductor: the 1e-15 entry
    int q, jqSelf, jqM; // capacitor: charge row and C entry; inductor: flux row, L and M entries
    Node a, b;          // resistor/capacitor: the pair; inductor: its branch and the coupled branch
    double Vars::* value; // R, C or L
    double Vars::* mutual; // inductor: M
    bool typed;         // capacitor voltage carries TYPE
};
constexpr Element R(int rhs, int jac, Node a, Node b, double Vars::* r)
{
    return {Element::Resistor, rhs, jac, -1, -1, -1, a, b, r, nullptr, false};
}
constexpr Element C(int rhs, int q, int jq, Node a, Node b, double Vars::* c, bool typed = false)
{
    return {Element::Capacitor, rhs, -1, q, jq, -1, a, b, c, nullptr, typed};
}
constexpr Element L(int row, int jac, int q, int jqL, int jqM, Node br, Node partner, double Vars::* l,
                    double Vars::* m)
{
    return {Element::Inductor, row, jac, q, jqL, jqM, br, partner, l, m, false};
}

// clang-format off
constexpr Element kOuter[] = {
    C(16, 6, 33, S, CORE_B2, &Vars::csourceScaled, true),
    R(17, 50, S, BI2, &Vars::rsourceScaled),      R(18, 51, BI2, B, &Vars::rsubTotal),
    C(19, 7, 34, GPOLY, GIFIN, &Vars::cgbOuter),  R(20, 52, GIFIN, S, &Vars::rgbOuter),
    C(21, 8, 35, DI2, DIFIN, &Vars::cdbOuter),    R(22, 53, DIFIN, S, &Vars::rdbOuter),
    C(23, 9, 36, GPOLY, DI2, &Vars::cgdOuter),    C(24, 10, 37, GI2, DI2, &Vars::cgdInner),
    C(25, 11, 38, GI2, SH, &Vars::cggsScaled),    R(26, 54, SH, S, &Vars::rshieldEff),
    R(27, 55, GPOLY, GI2, &Vars::rpolyGate),      C(28, 12, 39, G, GIBAR, &Vars::cgbFinger),
    R(29, 56, GIBAR, B, &Vars::rgbFinger),        R(30, 57, GFIN1, GPOLY, &Vars::rmetalGate3),
    L(31, 58, 13, 40, 41, BR_G3, BR_D3, &Vars::lgLine3, &Vars::mgdLine3),
    L(32, 59, 14, 42, 43, BR_G2, BR_D2, &Vars::lgLine2, &Vars::mgdLine2),
    L(33, 60, 15, 44, 45, BR_G1, BR_D1, &Vars::lgLine1, &Vars::mgdLine1),
    R(34, 61, G, GFIN1, &Vars::rgLine3),          R(35, 62, GFIN3, GFIN1, &Vars::rgLine2),
    R(36, 63, GFIN2, GFIN1, &Vars::rgLine1),      C(37, 16, 46, D, DIBAR, &Vars::cdbFinger),
    R(38, 64, DIBAR, B, &Vars::rdbFinger),        R(39, 65, DFIN1, DI2, &Vars::rmetalDrain3),
    L(40, 66, 17, 47, 48, BR_D3, BR_G3, &Vars::ldLine3, &Vars::mgdLine3),
    L(41, 67, 18, 49, 50, BR_D2, BR_G2, &Vars::ldLine2, &Vars::mgdLine2),
    L(42, 68, 19, 51, 52, BR_D1, BR_G1, &Vars::ldLine1, &Vars::mgdLine1),
    R(43, 69, D, DFIN1, &Vars::rdLine3),          R(44, 70, DFIN3, DFIN1, &Vars::rdLine2),
    R(45, 71, DFIN2, DFIN1, &Vars::rdLine1),
};
// clang-format on

// The end-of-pass terms of the six inductor branches, in load order: the
// branch current into its pair, the branch voltage out of its row.
struct Winding {
    Node br;
    int pairRow, jacI, jacV;
};
constexpr Winding kWindings[] = {
    {BR_D1, 45, 117, 118}, {BR_D2, 52, 119, 120}, {BR_D3, 53, 121, 122},
    {BR_G1, 36, 123, 124}, {BR_G2, 54, 125, 126}, {BR_G3, 55, 127, 128},
};

constexpr const BranchDef& branchDef(Node br)
{
    for (const BranchDef& b : kBranches)
        if (b.branch == br) return b;
    return kBranches[0];
}
constexpr int branchRowOf(Node br)
{
    for (const Element& e : kOuter)
        if (e.kind == Element::Inductor && e.a == br) return e.rhs;
    return -1;
}

constexpr bool pairIs(const PairReq& r, Node a, Node b) { return r.a == a && r.b == b; }
constexpr bool quartetIs(const QuartetReq& r, Node ra, Node rb, Node ca, Node cb)
{
    return r.ra == ra && r.rb == rb && r.ca == ca && r.cb == cb;
}

// Every index of the tables above names the stamp entry of its element.
constexpr bool elementsMatchStamp()
{
    int lastRow = -1;
    for (const Element& e : kOuter) {
        if (e.rhs <= lastRow) return false;
        lastRow = e.rhs;
        switch (e.kind) {
        case Element::Resistor:
            if (!pairIs(kRhsPairs[e.rhs], e.a, e.b) || !quartetIs(kJacQuartets[e.jac], e.a, e.b, e.a, e.b)) return false;
            break;
        case Element::Capacitor:
            if (!pairIs(kRhsPairs[e.rhs], e.a, e.b) || !pairIs(kRhsQPairs[e.q], e.a, e.b) ||
                !quartetIs(kJacQQuartets[e.jqSelf], e.a, e.b, e.a, e.b))
                return false;
            break;
        case Element::Inductor:
            if (!pairIs(kRhsPairs[e.rhs], e.a, GND) || !quartetIs(kJacQuartets[e.jac], e.a, GND, e.a, GND) ||
                !pairIs(kRhsQPairs[e.q], e.a, GND) || !quartetIs(kJacQQuartets[e.jqSelf], e.a, GND, e.a, GND) ||
                !quartetIs(kJacQQuartets[e.jqM], e.a, GND, e.b, GND))
                return false;
            break;
        }
    }
    for (const Winding& w : kWindings) {
        const BranchDef& b = branchDef(w.br);
        const int row = branchRowOf(w.br);
        if (row < 0 || !pairIs(kRhsPairs[w.pairRow], b.pos, b.neg) ||
            !quartetIs(kJacQuartets[w.jacI], b.pos, b.neg, w.br, GND) ||
            !quartetIs(kJacQuartets[w.jacV], w.br, GND, b.pos, b.neg))
            return false;
    }
    return true;
}
static_assert(elementsMatchStamp(), "outer-network rows must name their stamp entries");

// Each winding's ends and branch row, looked up once.
struct WindingEnds {
    Node pos, neg;
    int row;
};
constexpr std::array<WindingEnds, std::size(kWindings)> windingEnds()
{
    std::array<WindingEnds, std::size(kWindings)> t{};
    for (std::size_t k = 0; k < std::size(kWindings); ++k)
        t[k] = {branchDef(kWindings[k].br).pos, branchDef(kWindings[k].br).neg, branchRowOf(kWindings[k].br)};
    return t;
}
constexpr auto kWindingEnds = windingEnds();

// Thermal and monitor entries.
constexpr int kRhsThermal = 46, kRhsPower = 47, kRhsTextGnd = 48, kRhsVidsBranch = 49, kRhsVids = 51;
constexpr int kJacThermal = 72, kJacTextGnd = 108, kJacVidsCh = 109, kJacVidsI = 115, kJacVidsV = 116;
constexpr int kQThermal = 20, kJqThermal = 53;
static_assert(pairIs(kRhsPairs[kRhsThermal], TINT, TEXT) && pairIs(kRhsPairs[kRhsPower], GND, TINT) &&
              pairIs(kRhsPairs[kRhsTextGnd], TEXT, GND) && pairIs(kRhsPairs[kRhsVidsBranch], BR_VIDS, GND) &&
              pairIs(kRhsPairs[kRhsVids], VIDS, GND));
static_assert(quartetIs(kJacQuartets[kJacThermal], TINT, TEXT, TINT, TEXT) &&
              quartetIs(kJacQuartets[kJacThermal + 1], TINT, TEXT, TEXT, GND) &&
              quartetIs(kJacQuartets[kJacTextGnd], TEXT, GND, TEXT, GND) &&
              quartetIs(kJacQuartets[kJacVidsCh], BR_VIDS, GND, CORE_ID, S) &&
              quartetIs(kJacQuartets[kJacVidsI], VIDS, GND, BR_VIDS, GND) &&
              quartetIs(kJacQuartets[kJacVidsV], BR_VIDS, GND, VIDS, GND));
static_assert(pairIs(kRhsQPairs[kQThermal], TINT, TEXT) &&
              quartetIs(kJacQQuartets[kJqThermal], TINT, TEXT, TINT, TEXT));

// ---- The intrinsic device as data ---------------------------------------------

using torvex::kNumProbes;
using NodePair = torvex::NodePair<Node>;

// The nodes of each kernel probe (DI2, GI2 and BI2 for the intrinsic drain,
// gate and bulk); each probe is a column of the stamp.
constexpr auto kProbePairs = torvex::probePairs<Node>(
    {TINT, TEXT, GND, DI2, GI2, S, BI2, CORE_ID, CORE_B1, CORE_B2, IB_DIODE1, IB_DIODE3});

// Rows the intrinsic device loads besides the kernel's current and charge
// rows (which are this stamp's first ten RHS and first six RHS-Q pairs).
constexpr int kRhsIids = 50, kQIids = 21;
constexpr bool intrinsicRowsMatch()
{
    constexpr NodePair current[torvex::kNumCurrentRows] = {
        {CORE_ID, S},  {CORE_ID, CORE_B1}, {S, CORE_B1},     {DI2, CORE_ID},     {DI2, BI2},
        {CORE_ID, BI2}, {CORE_B1, CORE_B2}, {CORE_B2, BI2}, {BI2, IB_DIODE1}, {BI2, IB_DIODE3},
    };
    constexpr NodePair charge[torvex::kNumChargeRows] = {
        {CORE_ID, GI2}, {GI2, S}, {GI2, CORE_B1}, {CORE_ID, IB_DIODE1}, {DI2, CORE_B2}, {DI2, IB_DIODE3},
    };
    for (int i = 0; i < torvex::kNumCurrentRows; ++i)
        if (!pairIs(kRhsPairs[i], current[i].a, current[i].b)) return false;
    for (int i = 0; i < torvex::kNumChargeRows; ++i)
        if (!pairIs(kRhsQPairs[i], charge[i].a, charge[i].b)) return false;
    return pairIs(kRhsPairs[kRhsIids], IIDS, GND) && pairIs(kRhsQPairs[kQIids], IIDS, GND);
}
static_assert(intrinsicRowsMatch(), "the kernel's rows are the stamp's first rows");
// Operator k (_opddt26 + k) integrates the kernel's charge k.
static_assert(torvex::Q_IG == 0 && torvex::Q_GS == 1 && torvex::Q_GB1 == 2 && torvex::Q_J1 == 3 &&
              torvex::Q_J2 == 4 && torvex::Q_J3 == 5 && torvex::kNumCharges == kNumOps);

constexpr int probeOf(Node a, Node b) { return torvex::probeOf(kProbePairs, a, b); }

// The full load's partials follow the revision's derivative rules: the
// guarded square root of 1.60, the plain one of 1.42.
using KernelPartials = torvex::Partials<VXR_REVISION>;
static_assert(Rev::kSqrtGuard == (KernelPartials::V<1>::revision != 142));

// The intrinsic values that own Jacobian entries: the ten current rows, the
// kernel's part of the power, the IIDS current; the six charge rows and the
// IIDS charge.
constexpr int kSrcPower = torvex::kNumCurrentRows, kSrcIids = kSrcPower + 1, kNumSources = kSrcIids + 1;
constexpr int kSrcQIids = torvex::kNumChargeRows, kNumQSources = kSrcQIids + 1;

// Where an entry's value comes from: the partial of source `src` with respect
// to probe `probe`, or (probe < 0, power row) the weight of operator
// -1 - probe's branch; src < 0: not an intrinsic entry (the outer network's
// resistors give the power row their own columns).
struct Source {
    int src = -1;
    int probe = -1;
};
template <std::size_t N>
struct SourceTable {
    Source s[N];
};
constexpr int sourceOfRow(int rhsRow)
{
    if (rhsRow < torvex::kNumCurrentRows) return rhsRow;
    if (rhsRow == kRhsPower) return kSrcPower;
    if (rhsRow == kRhsIids) return kSrcIids;
    return -1;
}
constexpr int rowIndex(const PairReq* rows, int n, Node a, Node b)
{
    for (int i = 0; i < n; ++i)
        if (rows[i].a == a && rows[i].b == b) return i;
    return -1;
}
constexpr SourceTable<std::size(kJacQuartets)> jacSources()
{
    SourceTable<std::size(kJacQuartets)> t{};
    for (std::size_t k = 0; k < std::size(kJacQuartets); ++k) {
        const QuartetReq& q = kJacQuartets[k];
        const int src = sourceOfRow(rowIndex(kRhsPairs, static_cast<int>(std::size(kRhsPairs)), q.ra, q.rb));
        if (src < 0) continue;
        if (q.ca >= OP26) {
            t.s[k] = {src, -1 - (q.ca - OP26)};
        } else if (probeOf(q.ca, q.cb) >= 0) {
            t.s[k] = {src, probeOf(q.ca, q.cb)};
        }
    }
    return t;
}
constexpr SourceTable<std::size(kJacQQuartets)> jacQSources()
{
    SourceTable<std::size(kJacQQuartets)> t{};
    for (std::size_t k = 0; k < std::size(kJacQQuartets); ++k) {
        const QuartetReq& q = kJacQQuartets[k];
        const int row = rowIndex(kRhsQPairs, static_cast<int>(std::size(kRhsQPairs)), q.ra, q.rb);
        const int src = row < torvex::kNumChargeRows ? row : row == kQIids ? kSrcQIids : -1;
        if (src >= 0) t.s[k] = {src, probeOf(q.ca, q.cb)};
    }
    return t;
}
constexpr auto kJacSource = jacSources();
constexpr auto kJacQSource = jacQSources();

// The entries that have a source, in table order, so a pass visits only those.
struct SourcedEntry {
    int k;
    Source s;
};
template <std::size_t N>
struct SourcedEntries {
    int count = 0;
    SourcedEntry e[N];
};
template <std::size_t N>
constexpr SourcedEntries<N> sourcedEntries(const SourceTable<N>& t)
{
    SourcedEntries<N> r{};
    for (std::size_t k = 0; k < N; ++k)
        if (t.s[k].src >= 0) r.e[r.count++] = {static_cast<int>(k), t.s[k]};
    return r;
}
constexpr auto kJacEntries = sourcedEntries(kJacSource);
constexpr auto kJacQEntries = sourcedEntries(kJacQSource);

// The power row's column of each outer resistor: its Joule heat's slope.
constexpr int powerColumnOf(Node a, Node b)
{
    for (std::size_t k = 0; k < std::size(kJacQuartets); ++k)
        if (quartetIs(kJacQuartets[k], GND, TINT, a, b)) return static_cast<int>(k);
    return -1;
}

// Every entry of an intrinsic row has a source; operator columns only in the power row.
constexpr bool sourcesComplete()
{
    for (std::size_t k = 0; k < std::size(kJacQuartets); ++k) {
        const QuartetReq& q = kJacQuartets[k];
        const int src = sourceOfRow(rowIndex(kRhsPairs, static_cast<int>(std::size(kRhsPairs)), q.ra, q.rb));
        const Source& s = kJacSource.s[k];
        if (src < 0) continue;
        const bool outerColumn = src == kSrcPower && s.src < 0;
        if (outerColumn) {
            bool resistor = false;
            for (const Element& e : kOuter)
                resistor = resistor || (e.kind == Element::Resistor && e.a == q.ca && e.b == q.cb);
            if (!resistor) return false;
        } else if (s.src != src || (s.probe < 0 && src != kSrcPower)) {
            return false;
        }
    }
    for (const Source& s : kJacQSource.s)
        if (s.src >= 0 && s.probe < 0) return false;
    for (const Element& e : kOuter)
        if (e.kind == Element::Resistor && powerColumnOf(e.a, e.b) < 0) return false;
    return true;
}
static_assert(sourcesComplete(), "every intrinsic quartet has a source, every resistor a power column");

// The power row's column of each element of kOuter (-1: not a resistor).
constexpr std::array<int, std::size(kOuter)> powerColumns()
{
    std::array<int, std::size(kOuter)> t{};
    for (std::size_t i = 0; i < std::size(kOuter); ++i)
        t[i] = kOuter[i].kind == Element::Resistor ? powerColumnOf(kOuter[i].a, kOuter[i].b) : -1;
    return t;
}
constexpr auto kPowerColumn = powerColumns();

constexpr auto kDoubletProbe = torvex::doubletProbes(kProbePairs, kDdtDoublets);
static_assert(torvex::allProbes(kDoubletProbe), "every ddt doublet column is a probe");
constexpr auto kOpDoublets = torvex::opDoublets<kNumOps>(kDdtDoublets, OP26);
constexpr int kOpOfCharge[kNumOps] = {0, 1, 2, 3, 4, 5};

// ---- Parameter-only stage ---------------------------------------------------------

constexpr double kThird = 0.3333333333;     // the model's decimal third
constexpr double kMutualSixth = -0.166666667; // and its decimal minus one sixth
constexpr double kMu0Over2Pi = 2e-7;
constexpr double kNoPadCap = 1e-18;
constexpr double kNoPadRes = 239999.99999999997;
constexpr double kMaxCountable = 9007199254740992.0; // 2^53: i + 1 == i beyond
constexpr double kDirectFingers = 1024.0;              // finger sums one by one up to this count
constexpr double kHeadFingers = 512.0;                 // first finger of the closed-form tail

// Self-inductance of a strip of length l with width plus thickness w.
double selfInductance(double l, double w) { return kMu0Over2Pi * l * (w / 3.0 / l + std::log(2.0 * l / w) + 0.50048); }

// Filament coupling term of length l (square lSq) at distance d.
double coupling(double l, double lSq, double d)
{
    const double s = std::sqrt(d * d / lSq + 1.0);
    return std::log((1.0 + s) * (l / d)) - s + d / l;
}

// The coupling term in a form without the cancellation of ln(...) - s + d/l
// at d >> l: asinh(l/d) - 1 / (r + sqrt(1 + r^2)), r = d / l.
double couplingFar(double l, double d)
{
    const double r = d / l;
    return std::asinh(l / d) - 1.0 / (r + std::sqrt(1.0 + r * r));
}

// One finger sum's term at finger index x: c (NCELL - x - shift) times the
// coupling at distance sqrt(((x + shift) PCELL)^2 + t2) (t2 = 0: the same level).
struct FingerTerm {
    double ncell, pcell, l, t2, shift, c;
    double operator()(double x) const
    {
        const double u = (x + shift) * pcell;
        const double d = t2 > 0.0 ? std::sqrt(u * u + t2) : u;
        return c * (ncell - x - shift) * couplingFar(l, d);
    }
};

// Integral of a finger term over [a, b] (0 < a < b): 20-point Gauss-Legendre
// panels of width 1/2 in ln x. The term is analytic with its singularities
// off the real axis at least as far as x itself, so each panel is exact to
// rounding.
double fingerIntegral(const FingerTerm& g, double a, double b)
{
    constexpr double kNode[10] = {0.07652652113349734, 0.2277858511416451, 0.37370608871541955,
                                         0.5108670019508271,  0.636053680726515,  0.7463319064601508,
                                         0.8391169718222188,  0.9122344282513258, 0.9639719272779138,
                                         0.9931285991850949};
    constexpr double kWeight[10] = {0.15275338713072578, 0.14917298647260366, 0.14209610931838187,
                                           0.13168863844917653, 0.11819453196151825, 0.10193011981724026,
                                           0.08327674157670467, 0.06267204833410944, 0.04060142980038622,
                                           0.017614007139153273};
    const double sa = std::log(a), sb = std::log(b);
    const int panels = std::max(1, static_cast<int>(std::ceil((sb - sa) / 0.5)));
    const double h = (sb - sa) / panels, r = 0.5 * h;
    double total = 0.0;
    for (int p = 0; p < panels; ++p) {
        const double mid = sa + (p + 0.5) * h;
        double acc = 0.0;
        for (int k = 0; k < 10; ++k) {
            const double x1 = std::exp(mid - r * kNode[k]), x2 = std::exp(mid + r * kNode[k]);
            acc += kWeight[k] * (g(x1) * x1 + g(x2) * x2);
        }
        total += acc * r;
    }
    return total;
}

// Sum of g(i) over the integers i = a .. b (b - a > 16): the integral plus
// the end-point corrections of Gregory's rule from differences up to order 7
// at either end. For a >= 512 the neglected terms lie below 1e-16 of the sum.
double fingerTail(const FingerTerm& g, double a, double b)
{
    constexpr int kOrder = 7;
    constexpr double kGregory[kOrder] = {1.0 / 12.0,         1.0 / 24.0,         19.0 / 720.0,
                                                3.0 / 160.0,        863.0 / 60480.0,    275.0 / 24192.0,
                                                33953.0 / 3628800.0};
    double fwd[kOrder + 1], bwd[kOrder + 1];
    for (int k = 0; k <= kOrder; ++k) {
        fwd[k] = g(a + k);
        bwd[k] = g(b - k);
    }
    double sum = fingerIntegral(g, a, b) + 0.5 * (fwd[0] + bwd[0]);
    for (int k = 1; k <= kOrder; ++k) {
        for (int j = 0; j <= kOrder - k; ++j) {
            fwd[j] = fwd[j + 1] - fwd[j];
            bwd[j] = bwd[j] - bwd[j + 1];
        }
        sum += kGregory[k - 1] * (bwd[0] + (k % 2 != 0 ? -fwd[0] : fwd[0]));
    }
    return sum;
}

// Geometry ratios and the source capacitance of the outer network.
void geometryRatios(Private* pr)
{
    Vars& v = pr->vars;
    const double type = TORVEX_EN_IPAR(pr, "TYPE");
    const double NCELL = TORVEX_EN_PAR(pr, "NCELL"), LGF = TORVEX_EN_PAR(pr, "LGF"), PCELL = TORVEX_EN_PAR(pr, "PCELL");
    v.ncellRatio = NCELL / TORVEX_EN_PAR(pr, "NCELLR");
    v.typeNcellRatio = type * v.ncellRatio;
    v.lgfRatio = LGF / TORVEX_EN_PAR(pr, "LGFR");
    v.pcellRatio = PCELL / TORVEX_EN_PAR(pr, "PCELLR");
    v.wvbarGateRatio = TORVEX_EN_PAR(pr, "WVBARGATE") / TORVEX_EN_PAR(pr, "WVBARGATER");
    v.wvbarDrainRatio = TORVEX_EN_PAR(pr, "WVBARDRAIN") / TORVEX_EN_PAR(pr, "WVBARDRAINR");
    const double LPW = TORVEX_EN_PAR(pr, "LPW");
    v.rpwScaled = (LPW * TORVEX_EN_PAR(pr, "RPW")) / (2.0 * LGF * v.ncellRatio);
    v.csourceScaled = 2.0 * (LPW * TORVEX_EN_PAR(pr, "CSOURCE") * LGF) * v.ncellRatio / 3.0;
}

// Pad capacitances and resistances of the bars and the shield resistance.
void padElements(Private* pr)
{
    Vars& v = pr->vars;
    const double nR = v.ncellRatio, pR = v.pcellRatio, lR = v.lgfRatio;
    if (TORVEX_EN_PAR(pr, "INCGATEBARCAP") == 1.0) {
        v.cgbFinger = TORVEX_EN_PAR(pr, "CIGB1") * nR * pR * v.wvbarGateRatio;
        v.rgbFinger = TORVEX_EN_PAR(pr, "RIGB1") / (nR * pR * v.wvbarGateRatio);
    } else {
        v.cgbFinger = kNoPadCap;
        v.rgbFinger = kNoPadRes;
    }
    if (TORVEX_EN_PAR(pr, "INCDRAINBARCAP") == 1.0) {
        v.cdbFinger = TORVEX_EN_PAR(pr, "CIDB1") * nR * pR * v.wvbarDrainRatio;
        v.rdbFinger = TORVEX_EN_PAR(pr, "RIDB1") / (nR * pR * v.wvbarDrainRatio);
    } else {
        v.cdbFinger = kNoPadCap;
        v.rdbFinger = kNoPadRes;
    }
    v.cgbOuter = (TORVEX_EN_PAR(pr, "CIGB42") * pR + TORVEX_EN_PAR(pr, "CIGB41")) * nR +
                 TORVEX_EN_PAR(pr, "CIGB2") * (nR + 1.0) + TORVEX_EN_PAR(pr, "CIGB3") * (nR + 1.0) * lR;
    v.rgbOuter = TORVEX_EN_PAR(pr, "RIGB3") / ((nR + 1.0) * lR);
    v.cdbOuter = TORVEX_EN_PAR(pr, "CIDB3") * nR * lR + TORVEX_EN_PAR(pr, "CIDB2") * nR;
    v.rdbOuter = TORVEX_EN_PAR(pr, "RIDB3") / (nR * lR);
    v.cgdOuter = (TORVEX_EN_PAR(pr, "CIGD12") * lR + TORVEX_EN_PAR(pr, "CIGD2")) * nR +
                 (TORVEX_EN_PAR(pr, "CIGD3") * lR + TORVEX_EN_PAR(pr, "CIGD4")) * nR / pR;
    v.cgdInner = TORVEX_EN_PAR(pr, "CIGD11") * lR * nR;
    v.cggsScaled = lR * TORVEX_EN_PAR(pr, "CIGGS") * nR;
    v.rshieldEff = TORVEX_EN_PAR(pr, "RSHIELD") / ((TORVEX_EN_PAR(pr, "NGATECON") - 1.0) * 8.0 * TORVEX_EN_PAR(pr, "NCELL"));
}

// Self-inductance minus the own-image coupling of a bar of length l.
double barInductance(Private* pr, double l, double width)
{
    const Vars& v = pr->vars;
    const double w = TORVEX_EN_PAR(pr, "TFING") + width;
    return selfInductance(l, w) - kMu0Over2Pi * l * coupling(l, l * l, v.tzDouble);
}

// Line inductances: self terms, the finger coupling sums (over the cells, on
// recompute passes only: the sums depend on parameters alone; in closed form
// beyond kDirectFingers cells),
// the end terms, the bar corrections and the line sections. Returns false
// when NCELL cannot be counted (not finite, or so large that adding 1 no
// longer changes the counter); the coupling of the other fingers is then
// left out.
bool lineInductances(Private* pr)
{
    Vars& v = pr->vars;
    const double NCELL = TORVEX_EN_PAR(pr, "NCELL"), PCELL = TORVEX_EN_PAR(pr, "PCELL"), LGF = TORVEX_EN_PAR(pr, "LGF");
    const double TFING = TORVEX_EN_PAR(pr, "TFING");
    v.tzDouble = 2.0 * TORVEX_EN_PAR(pr, "TZ");
    v.tzDoubleSq = v.tzDouble * v.tzDouble;
    v.lgExt = TORVEX_EN_PAR(pr, "LEXTG") + LGF;
    v.lgExtSq = v.lgExt * v.lgExt;
    v.ldExt = TORVEX_EN_PAR(pr, "LEXTD") + LGF;
    v.ldExtSq = v.ldExt * v.ldExt;
    v.lgfLenSq = LGF * LGF;
    v.lGateTotal = selfInductance(v.lgExt, TFING + TORVEX_EN_PAR(pr, "WGATE")) * (NCELL - 0.5);
    v.lDrainTotal = selfInductance(v.ldExt, TFING + TORVEX_EN_PAR(pr, "WDRAIN")) * NCELL;
    v.sumGateNear = v.sumGateFar = v.sumDrainNear = v.sumDrainFar = v.sumGdNear = v.sumGdFar = 0.0;
    v.fingerIndex = 1.0;

    const bool countable = std::isfinite(NCELL) && NCELL < kMaxCountable;
    // Fingers 1 .. count (every index below NCELL). Up to kDirectFingers
    // they are summed one by one as written; beyond, with the coupling in
    // its cancellation-free form, the first kHeadFingers - 1 term by term
    // and the rest in closed form (fingerTail).
    const double count = countable && NCELL > 1.0 ? std::ceil(NCELL) - 1.0 : 0.0;
    const bool closedForm = count > kDirectFingers;
    while (countable && !closedForm && NCELL > v.fingerIndex) {
        const double i = v.fingerIndex;
        const double d1 = i * PCELL, d2 = std::sqrt(d1 * d1 + v.tzDoubleSq);
        v.sumGateNear += coupling(v.lgExt, v.lgExtSq, d1) * (NCELL - i);
        v.sumGateFar += coupling(v.lgExt, v.lgExtSq, d2) * 2.0 * (NCELL - i);
        v.sumDrainNear += coupling(v.ldExt, v.ldExtSq, d1) * (NCELL - i);
        v.sumDrainFar += coupling(v.ldExt, v.ldExtSq, d2) * 2.0 * (NCELL - i);
        const double d3 = (i + 0.5) * PCELL, d4 = std::sqrt(d3 * d3 + v.tzDoubleSq);
        v.sumGdNear += coupling(LGF, v.lgfLenSq, d3) * 2.0 * (NCELL - (i + 0.5));
        v.sumGdFar += coupling(LGF, v.lgfLenSq, d4) * 2.0 * (NCELL - (i + 0.5));
        const double next = i + 1.0;
        if (!(next > i)) break;
        v.fingerIndex = next;
    }
    if (closedForm) {
        const double tz2 = v.tzDoubleSq;
        const FingerTerm terms[6] = {{NCELL, PCELL, v.lgExt, 0.0, 0.0, 1.0}, {NCELL, PCELL, v.lgExt, tz2, 0.0, 2.0},
                                     {NCELL, PCELL, v.ldExt, 0.0, 0.0, 1.0}, {NCELL, PCELL, v.ldExt, tz2, 0.0, 2.0},
                                     {NCELL, PCELL, LGF, 0.0, 0.5, 2.0},     {NCELL, PCELL, LGF, tz2, 0.5, 2.0}};
        double* sums[6] = {&v.sumGateNear, &v.sumGateFar, &v.sumDrainNear,
                           &v.sumDrainFar, &v.sumGdNear,  &v.sumGdFar};
        for (int k = 0; k < 6; ++k) {
            double head = 0.0;
            for (double i = 1.0; i < kHeadFingers; i += 1.0) head += terms[k](i);
            *sums[k] = head + fingerTail(terms[k], kHeadFingers, count);
        }
        v.fingerIndex = count + 1.0;
    }

    const double dEnd = NCELL * PCELL, dEndImage = std::sqrt(dEnd * dEnd + v.tzDoubleSq);
    v.sumGateNear += coupling(v.lgExt, v.lgExtSq, dEnd) * 0.25;
    v.sumGateFar += coupling(v.lgExt, v.lgExtSq, dEndImage) * 0.5;
    v.sumGateFar += coupling(v.lgExt, v.lgExtSq, v.tzDouble) * (NCELL - 0.5);
    v.sumDrainFar += coupling(v.ldExt, v.ldExtSq, v.tzDouble) * NCELL;
    const double dHalf = 0.5 * PCELL, dHalfImage = std::sqrt(dHalf * dHalf + v.tzDoubleSq);
    v.sumGdNear += coupling(LGF, v.lgfLenSq, dHalf) * (2.0 * NCELL - 1.0);
    v.sumGdFar += coupling(LGF, v.lgfLenSq, dHalfImage) * (2.0 * NCELL - 1.0);

    const double cells2 = NCELL * NCELL;
    v.lGateTotal += (2.0 * v.sumGateNear - v.sumGateFar) * (v.lgExt * kMu0Over2Pi);
    v.lGateFinger = v.lGateTotal / cells2;
    v.lDrainTotal += (2.0 * v.sumDrainNear - v.sumDrainFar) * (v.ldExt * kMu0Over2Pi);
    v.lDrainFinger = v.lDrainTotal / cells2;
    v.mGateDrainTotal = (v.sumGdNear - v.sumGdFar) * (LGF * kMu0Over2Pi);
    v.mGdFinger = v.mGateDrainTotal / cells2;

    // Bar corrections: n bar sections (n >= 1; below 1 or NaN: none).
    auto barCorrection = [&](double n, double width) {
        const double full = PCELL * NCELL / n;
        const double half = full * 0.5 / n;
        return (barInductance(pr, half, width) - 0.25 * barInductance(pr, full, width)) / n;
    };
    const double nGate = TORVEX_EN_PAR(pr, "INCGATEBARIND"), nDrain = TORVEX_EN_PAR(pr, "INCDRAINBARIND");
    v.lGateBarCorr = nGate >= 1.0 ? barCorrection(nGate, TORVEX_EN_PAR(pr, "WVBARGATE")) : 0.0;
    if (nGate >= 1.0) v.lGateFinger += v.lGateBarCorr;
    v.lDrainBarCorr = nDrain >= 1.0 ? barCorrection(nDrain, TORVEX_EN_PAR(pr, "WVBARDRAIN")) : 0.0;
    if (nDrain >= 1.0) v.lDrainFinger += v.lDrainBarCorr;
    return countable;
}

// Substrate, source, metal, poly and eddy resistances.
void resistances(Private* pr)
{
    Vars& v = pr->vars;
    const double NCELL = TORVEX_EN_PAR(pr, "NCELL"), PCELL = TORVEX_EN_PAR(pr, "PCELL"), LGF = TORVEX_EN_PAR(pr, "LGF");
    const double TSUB = TORVEX_EN_PAR(pr, "TSUB"), RSUB = TORVEX_EN_PAR(pr, "RSUB");
    const double a = ((PCELL * NCELL + LGF) / (NCELL * PCELL * LGF)) * TSUB;
    const double shape = 1.0 / (std::log(4.0 * a * a + 1.0) / kTwoPi + a - (2.0 * a / kPi) * std::atan(2.0 * a)) - 1.0 / a;
    const double conductance = shape * (NCELL * PCELL + LGF) + PCELL * LGF * NCELL / TSUB;
    v.rsubSpread = RSUB / conductance;
    const double b = (0.5 * PCELL - TORVEX_EN_PAR(pr, "LEPI")) / (0.5 * PCELL);
    const double epi = ((b * b + 1.0) / b * std::log((1.0 + b) / (1.0 - b)) - 2.0 * std::log(4.0 * b / (1.0 - b * b))) / kTwoPi;
    v.rsubEpi = epi * RSUB / (NCELL * LGF);
    v.rsubTotal = v.rsubEpi + v.rsubSpread;

    v.rsourceScaled = TORVEX_EN_PAR(pr, "LGFR") * TORVEX_EN_PAR(pr, "RSOURCE") * TORVEX_EN_PAR(pr, "NCELLR") / (NCELL * LGF);
    const double RMETAL = TORVEX_EN_PAR(pr, "RMETAL");
    v.rmetalGate = (NCELL - 0.5) * ((LGF + TORVEX_EN_PAR(pr, "LEXTG")) * RMETAL / TORVEX_EN_PAR(pr, "WGATE")) / (NCELL * NCELL);
    v.rmetalGate3 = v.rmetalGate * kThird;
    v.rmetalDrain = ((LGF + TORVEX_EN_PAR(pr, "LEXTD")) / TORVEX_EN_PAR(pr, "WDRAIN")) * RMETAL / NCELL;
    v.rmetalDrain3 = v.rmetalDrain * kThird;
    const double WGATEPOLY = TORVEX_EN_PAR(pr, "WGATEPOLY"), contacts = TORVEX_EN_PAR(pr, "NGATECON") - 1.0;
    v.rpolyGate = (0.5 * LGF * TORVEX_EN_PAR(pr, "RPOLY")) / (12.0 * WGATEPOLY * contacts * contacts) / NCELL +
                  1e-12 * TORVEX_EN_PAR(pr, "RPOLYVER") / (WGATEPOLY * LGF * NCELL);
    const double REDDYON = TORVEX_EN_PAR(pr, "REDDYON");
    if (REDDYON == 1.0) {
        const double s = 2.0 * TSUB / LGF;
        v.reddy = (1.0 / s + s) * 3.0 * RSUB / (PCELL * NCELL);
    } else {
        v.reddy = 1e8;
    }
}

// The three sections of the gate and drain lines.
void lineSections(Private* pr)
{
    Vars& v = pr->vars;
    const double INDUCON = TORVEX_EN_PAR(pr, "INDUCON"), MUTUALON = TORVEX_EN_PAR(pr, "MUTUALON");
    const double REDDYON = TORVEX_EN_PAR(pr, "REDDYON");
    const double DISTL[3] = {TORVEX_EN_PAR(pr, "DISTL1"), TORVEX_EN_PAR(pr, "DISTL2"), TORVEX_EN_PAR(pr, "DISTL3")};
    const double DISTR[3] = {TORVEX_EN_PAR(pr, "DISTR1"), TORVEX_EN_PAR(pr, "DISTR2"), TORVEX_EN_PAR(pr, "DISTR3")};
    const double DISTC[3] = {TORVEX_EN_PAR(pr, "DISTC1"), TORVEX_EN_PAR(pr, "DISTC2"), TORVEX_EN_PAR(pr, "DISTC3")};
    double* lg[3] = {&v.lgLine1, &v.lgLine2, &v.lgLine3};
    double* ld[3] = {&v.ldLine1, &v.ldLine2, &v.ldLine3};
    double* mgd[3] = {&v.mgdLine1, &v.mgdLine2, &v.mgdLine3};
    double* rg[3] = {&v.rgLine1, &v.rgLine2, &v.rgLine3};
    double* rd[3] = {&v.rdLine1, &v.rdLine2, &v.rdLine3};
    for (int k = 0; k < 3; ++k) {
        *lg[k] = DISTL[k] * kThird * v.lGateFinger * INDUCON;
        *rg[k] = DISTR[k] * kThird * v.reddy * REDDYON;
    }
    for (int k = 0; k < 3; ++k) {
        *ld[k] = DISTL[k] * kThird * v.lDrainFinger * INDUCON;
        *rd[k] = DISTR[k] * kThird * v.reddy * REDDYON;
    }
    for (int k = 0; k < 3; ++k) *mgd[k] = DISTC[k] * kMutualSixth * v.mGdFinger * MUTUALON;
}

// The kernel's parameter-only quantities, from the intrinsic parameters, and
// the thermal network's values at the reference temperature.
void intrinsicConstants(Private* pr)
{
    struct Names {
        static consteval int real(const char* name) { return realLoc(name); }
        static consteval int integer(const char* name) { return intLoc(name); }
    };
    torvex_module::deriveIntrinsic<Names>(pr);
    const torvex::Derived& d = pr->derived;
    const torvex::Params& p = d.p;
    Vars& v = pr->vars;
    v.rthCorner = d.RthCor;
    if (p.RTHCALC == 1) v.rthRef = d.RthRef;
    v.rthDevice = d.Rth0;
    v.cthDevice = d.Cth0;
    v.rthScaled = d.Rth0 / p.TSCALE;
    v.cthScaled = d.CthS;
}

// The whole parameter-only stage. `report`: send the ERROR for an NCELL
// that cannot be counted (the loads do; the zero-bias evaluation reports
// nothing).
void parameterStage(VXR_DeviceInst* inst, Private* pr, bool report)
{
    geometryRatios(pr);
    padElements(pr);
    const bool counted = lineInductances(pr);
    if (!counted && report)
        VXR_WriteMsg(MessageTypeE_ERROR, inst,
                     "NCELL = %g cannot be counted cell by cell; the coupling between fingers is left out.",
                     TORVEX_EN_PAR(pr, "NCELL"));
    resistances(pr);
    lineSections(pr);
    intrinsicConstants(pr);
    Vars& v = pr->vars;
    v.rTextGnd = TORVEX_EN_IPAR(pr, "RTHSW") == 0 ? 1e-9 : 1e12;
    v.tAmb = pr->lastTemperature;
    v.cthT = v.cthScaled;
}

// ---- One pass -----------------------------------------------------------------

template <Pass P>
struct Evaluation {
    static constexpr bool kFull = P == Pass::Full;
    static constexpr bool kLoads = P != Pass::Static;
    // The thermal probes V(TINT,TEXT) and V(TEXT) carry derivatives in the full load.
    using Thermal = std::conditional_t<kFull, vxr::Dual<2, VXR_REVISION>, double>;
    // The kernel's values: with partials in the full load, plain otherwise.
    using Kernel = torvex::Result<std::conditional_t<kFull, KernelPartials, torvex::Values>>;
    using KT = typename Kernel::T;

    VXR_DeviceInst* inst;
    Private* pr;
    VXR_ContribLoader* ldr;
    // Values by TORVEX_EN table index; a TORVEX build drops the monitor entries when loading.
    double rhs[std::size(kRhsPairs)] = {};
    double rhsQ[std::size(kRhsQPairs)] = {};
    double jac[kFull ? std::size(kJacQuartets) : 1] = {};
    double jacQ[kFull ? std::size(kJacQQuartets) : 1] = {};
    // Solution values, read once per pass and node.
    double sol[kNumStampNodes] = {};
    bool read[kNumStampNodes] = {};
    Kernel kr{}; // the intrinsic device of this pass

    double V(Node n)
    {
        if (!read[n]) {
            VXR_StateVar* sv = nodeSV(inst, pr, n);
            sol[n] = sv != nullptr ? ldr->pGetSol(sv, ldr) : 0.0;
            read[n] = true;
        }
        return sol[n];
    }
    double V(Node a, Node b) { return V(a) - V(b); }
    void addJac(int i, double d)
    {
        if constexpr (kFull) jac[i] += d;
    }
    void addJacQ(int i, double d)
    {
        if constexpr (kFull) jacQ[i] += d;
    }

    // Device temperature and thermal resistance from the kernel's
    // self-heating at V(TINT); the heat flow into the thermal resistance.
    Thermal deviceTemperature()
    {
        Vars& v = pr->vars;
        const double vTint = V(TINT), vText = V(TEXT);
        Thermal vTintText(vTint - vText), vTextT(vText);
        if constexpr (kFull) {
            vTintText.d[0] = 1.0;
            vTextT.d[1] = 1.0;
        }
        v.vTintText = vTint - vText;
        v.vText = vText;
        const torvex::SelfHeating<Thermal> heating =
            torvex::selfHeating(pr->derived, (vTextT + vTintText) * TORVEX_EN_PAR(pr, "TSCALE"), v.tAmb);
        v.tempRise = vxr::value_of(heating.rise);
        v.tDevice = vxr::value_of(heating.Tdev);
        v.rthT = vxr::value_of(heating.RthT);
        return vTintText / heating.RthT;
    }

    // Node voltages of the monitors: |TYPE V(CORE_ID,S)| and the orientations.
    void orientation()
    {
        Vars& v = pr->vars;
        const double type = TORVEX_EN_IPAR(pr, "TYPE");
        const double vds = type * V(CORE_ID, S);
        v.CHDIR = vds >= 0.0 ? 1 : -1;
        v.DRDIR = type * V(DI2, CORE_ID) >= 0.0 ? 1 : -1;
        v.vdsAbs = vds * v.CHDIR;
    }

    // The kernel at this pass's probe voltages.
    void intrinsicDevice()
    {
        double v[kNumProbes];
        for (int k = 0; k < kNumProbes; ++k) v[k] = V(kProbePairs[k].a, kProbePairs[k].b);
        torvex::evaluate(pr->derived, v, pr->lastTemperature, kr, &pr->temperatureCache);
    }

    // The six ddt operators receive their charges and give back dQ/dt (in
    // threes, read back in reverse, in the right-hand-side load).
    void operators()
    {
        torvex_module::feedOperators<true>(pr->op, kOpOfCharge, kr.Q, kOpDoublets, pr->ddtDoublet, kDoubletProbe, ldr, inst,
                                     pr->vars.dQdt);
    }

    // Rows of the outer network; also sums its resistors' Joule heat for the
    // self-heating power.
    void outerNetwork()
    {
        Vars& v = pr->vars;
        v.powerNetworkResistors = 0.0;
        const double type = TORVEX_EN_IPAR(pr, "TYPE");
        for (std::size_t i = 0; i < std::size(kOuter); ++i) {
            const Element& e = kOuter[i];
            switch (e.kind) {
            case Element::Resistor: {
                const double r = v.*e.value;
                const double u = V(e.a, e.b);
                rhs[e.rhs] += u / r;
                v.powerNetworkResistors += u * u / r;
                addJac(e.jac, 1.0 / r);
                addJac(kPowerColumn[i], 2.0 * u / r);
                break;
            }
            case Element::Capacitor: {
                const double c = v.*e.value;
                const double u = e.typed ? type * V(e.a, e.b) : V(e.a, e.b);
                rhs[e.rhs] += 0.0;
                rhsQ[e.q] += u * c;
                addJacQ(e.jqSelf, e.typed ? type * c : c);
                break;
            }
            case Element::Inductor: {
                const double l = v.*e.value, m = v.*e.mutual;
                rhs[e.rhs] += 1e-15 * V(e.a);
                rhsQ[e.q] += l * V(e.a) + m * V(e.b);
                addJac(e.jac, 1e-15);
                addJacQ(e.jqSelf, l);
                addJacQ(e.jqM, m);
                break;
            }
            }
        }
    }

    // The kernel's currents and charges on their rows, the self-heating power
    // (the kernel's terms, then the outer resistors' Joule heat) and the
    // IIDS monitor, I(IIDS) <+ -(channel avalanche + channel current) - ddt(Qd).
    void intrinsicRows()
    {
        Vars& v = pr->vars;
        double currentValues[torvex::kNumCurrentRows], chargeValues[torvex::kNumChargeRows];
        torvex::intrinsicRows(kr, currentValues, chargeValues);
        const KT power = torvex::dissipatedPower(kr, v.dQdt);
        KT iids(0.0), qIids(0.0);
        iids -= kr.IAVCH + kr.IDS;
        qIids += -kr.Q[torvex::Q_IG];
        v.powerSum = vxr::value_of(power) + v.powerNetworkResistors;

        for (int i = 0; i < torvex::kNumCurrentRows; ++i) rhs[i] += currentValues[i];
        for (int i = 0; i < torvex::kNumChargeRows; ++i) rhsQ[i] += chargeValues[i];
        if constexpr (Rev::kMonitors) {
            rhs[kRhsIids] += vxr::value_of(iids);
            rhsQ[kQIids] += vxr::value_of(qIids);
        }
        if constexpr (kFull) {
            torvex::RowTerm<KT> currents[torvex::kNumCurrentRows], charges[torvex::kNumChargeRows];
            torvex::intrinsicRows(kr, currents, charges);
            auto partial = [&](int src, int probe) {
                if (src < torvex::kNumCurrentRows) return currents[src].partial(probe);
                return (src == kSrcPower ? power : iids).d[probe];
            };
            auto partialQ = [&](int src, int probe) {
                return src < torvex::kNumChargeRows ? charges[src].partial(probe) : qIids.d[probe];
            };
            for (int i = 0; i < kJacEntries.count; ++i) {
                const auto& [k, s] = kJacEntries.e[i];
                if (s.probe >= 0) {
                    jac[k] += partial(s.src, s.probe);
                } else {
                    // Power row, branch column of an operator: the weight of its dQ/dt.
                    const int op = -1 - s.probe;
                    jac[k] += kr.qFactor[op].v / torvex_module::rowScale(pr->op[op]);
                }
            }
            for (int i = 0; i < kJacQEntries.count; ++i) {
                const auto& [k, s] = kJacQEntries.e[i];
                jacQ[k] += partialQ(s.src, s.probe);
            }
        }
    }

    void thermalRows(const Thermal& heatFlow)
    {
        const Vars& v = pr->vars;
        rhs[kRhsThermal] += vxr::value_of(heatFlow);
        if constexpr (kFull) {
            jac[kJacThermal] += heatFlow.d[0];
            jac[kJacThermal + 1] += heatFlow.d[1];
        }
        rhs[kRhsPower] += v.powerSum;
        rhsQ[kQThermal] += v.vTintText * v.cthT;
        addJacQ(kJqThermal, v.cthT);
        rhs[kRhsTextGnd] += v.vText / v.rTextGnd;
        addJac(kJacTextGnd, 1.0 / v.rTextGnd);
    }

    // V(VIDS) follows |TYPE V(CORE_ID,S)| through the monitor branch.
    void monitors()
    {
        if constexpr (Rev::kMonitors) {
            const Vars& v = pr->vars;
            rhs[kRhsVidsBranch] += v.vdsAbs;
            addJac(kJacVidsCh, TORVEX_EN_IPAR(pr, "TYPE") * static_cast<double>(v.CHDIR));
            rhs[kRhsVids] += V(BR_VIDS);
            addJac(kJacVidsI, 1.0);
            rhs[kRhsVidsBranch] -= V(VIDS);
            addJac(kJacVidsV, -1.0);
        }
    }

    void windings()
    {
        for (std::size_t k = 0; k < std::size(kWindings); ++k) {
            const Winding& w = kWindings[k];
            const WindingEnds& e = kWindingEnds[k];
            rhs[w.pairRow] += V(w.br);
            addJac(w.jacI, 1.0);
            rhs[e.row] -= V(e.pos, e.neg);
            addJac(w.jacV, -1.0);
        }
    }

    // The build's entries of a table, in its load order.
    template <std::size_t N, std::size_t M>
    static torvex_module::Batch gather(const IndexMap<N>& map, void* (&handles)[M], const double* values, double* out)
    {
        for (int s = 0; s < map.count; ++s) out[s] = values[map.entry[s]];
        return {map.count, handles, out};
    }

    void run()
    {
        Vars& v = pr->vars;
        if constexpr (kLoads) {
            const double T = inst->pSimInterface->pGetTemperature(inst, inst->pSimInterface);
            if (!(T == pr->lastTemperature)) pr->recompute = 1;
            pr->lastTemperature = T;
            if (pr->recompute || !pr->paramStageDone) {
                parameterStage(inst, pr, true);
                pr->paramStageDone = 1;
            }
        } else {
            parameterStage(inst, pr, false);
        }
        v.powerSum = 0.0;

        const Thermal heatFlow = deviceTemperature();
        orientation();
        if constexpr (!kLoads) return;

        intrinsicDevice();
        if constexpr (P == Pass::Full) {
            operators();
            outerNetwork();
        } else {
            outerNetwork();
            operators();
        }
        intrinsicRows();
        torvex_module::breakdownWarning(inst, ldr, TORVEX_EN_PAR(pr, "VDSBR"), kr.VDS);
        thermalRows(heatFlow);
        monitors();
        windings();

        const double mfactor = TORVEX_EN_PAR(pr, "$mfactor");
        double rhsOut[RevStamp::kNumRhs], rhsQOut[RevStamp::kNumRhsQ];
        const torvex_module::Batch rhsBatch = gather(RevStamp::rhs, pr->rhs, rhs, rhsOut);
        const torvex_module::Batch rhsQBatch = gather(RevStamp::rhsQ, pr->rhsQ, rhsQ, rhsQOut);
        if constexpr (kFull) {
            double jacOut[RevStamp::kNumJac], jacQOut[RevStamp::kNumJacQ];
            const torvex_module::Batch j = gather(RevStamp::jac, pr->jac, jac, jacOut);
            const torvex_module::Batch jq = gather(RevStamp::jacQ, pr->jacQ, jacQ, jacQOut);
            torvex_module::loadBatches(inst, ldr, mfactor, rhsBatch, rhsQBatch, &j, &jq, pr->op);
        } else {
            torvex_module::loadBatches(inst, ldr, mfactor, rhsBatch, rhsQBatch, nullptr, nullptr, pr->op);
        }
        pr->recompute = 0;
    }
};

template <Pass P>
void evaluate(VXR_DeviceInst* inst, VXR_ContribLoader* loader)
{
    if (inst == nullptr) return;
    Private* pr = priv(inst);
    // Nothing to load before the stamp has given the handles.
    if (P != Pass::Static && !pr->stamped) return;
    Evaluation<P>{inst, pr, loader}.run();
}

} // namespace

void staticCheck(VXR_DeviceInst* inst, VXR_ContribLoader* loader) { evaluate<Pass::Static>(inst, loader); }

void genericAnalogLoad(VXR_DeviceInst* inst, VXR_ContribLoader* loader) { evaluate<Pass::Full>(inst, loader); }

void genericAnalogLoadRHS(VXR_DeviceInst* inst, VXR_ContribLoader* loader) { evaluate<Pass::Rhs>(inst, loader); }

void doAnalogStrobe(VXR_DeviceInst* inst, VXR_ContribLoader* loader) { genericAnalogLoadRHS(inst, loader); }

} // namespace torvex_en
