// TORVEX_CORE parameter table: the single source of the descriptor rows,
// defaults, setters and range tests.
//
// Rows stand in declaration order (the order of reset and range check); each
// row carries its storage location (per type) and its index in the byte-sorted
// descriptor table, which is also the number of its given bit.
#ifndef TORVEX_CORE_PARAMS_H
#define TORVEX_CORE_PARAMS_H

#include <cfloat>
#include <initializer_list>

namespace torvex_core {

enum ParamKind : unsigned char { kReal = 0, kInt = 1 };

// Upper end of a real range: "b]", "b)", "inf)" (at most DBL_MAX), "inf]" (no test).
enum class HiKind : unsigned char { Incl, Excl, UpToMax, Unbounded };

struct Range {
    enum Kind : unsigned char { None, Real, IntSet } kind;
    double lo;
    bool loIncl;
    double hi;
    HiKind hiKind;
    unsigned intMask; // bit (v + 1) set when integer value v (-1 .. 30) is accepted
};

constexpr Range none() { return Range{Range::None, 0.0, false, 0.0, HiKind::Unbounded, 0u}; }
constexpr Range real(double lo, bool loIncl, double hi, HiKind hiKind)
{
    return Range{Range::Real, lo, loIncl, hi, hiKind, 0u};
}
constexpr Range ints(std::initializer_list<int> accepted)
{
    unsigned mask = 0;
    for (int v : accepted) mask |= 1u << (v + 1);
    return Range{Range::IntSet, 0.0, false, 0.0, HiKind::Unbounded, mask};
}

struct ParamRow {
    const char* name;
    ParamKind type;
    int location; // index into the real or the integer parameter array
    int index;    // row of the sorted descriptor table, number of the given bit
    double def;   // default (integer parameters hold an exact integer)
    Range range;
};

// Every ranged real test fails for NaN: both comparisons are written so that a
// NaN makes them false.
constexpr bool realInRange(const Range& r, double v)
{
    if (r.kind != Range::Real) return true;
    const bool loOk = r.loIncl ? v >= r.lo : v > r.lo;
    if (!loOk) return false;
    switch (r.hiKind) {
    case HiKind::Incl: return v <= r.hi;
    case HiKind::Excl: return v < r.hi;
    case HiKind::UpToMax: return v <= DBL_MAX;
    case HiKind::Unbounded: return true;
    }
    return false;
}

constexpr bool intInRange(const Range& r, int v)
{
    if (r.kind != Range::IntSet) return true;
    if (v < -1 || v > 30) return false;
    return (r.intMask >> (v + 1)) & 1u;
}

inline constexpr int kNumParams = 122;
inline constexpr int kNumRealParams = 116;
inline constexpr int kNumIntParams = 6;

// clang-format off
inline constexpr ParamRow kParams[kNumParams] = {
    {"$yposition", kReal, 3, 5, 0.0, none()},
    {"$xposition", kReal, 2, 4, 0.0, none()},
    {"$vflip", kInt, 1, 3, 1, ints({-1, 1})},
    {"$mfactor", kReal, 1, 2, 1.0, real(0, false, 0.0, HiKind::UpToMax)},
    {"$hflip", kInt, 0, 1, 1, ints({-1, 1})},
    {"$angle", kReal, 0, 0, 0.0, real(0, true, 360, HiKind::Excl)},
    {"LEVEL", kInt, 2, 54, 602, none()},
    {"TYPE", kInt, 5, 103, 1, ints({-1, 0, 1})},
    {"NCELL", kReal, 58, 61, 1.0, real(1e-8, true, 0.0, HiKind::UpToMax)},
    {"LGF", kReal, 52, 55, 0.0001, real(1e-8, true, 0.0, HiKind::UpToMax)},
    {"PCELL", kReal, 65, 68, 4e-5, real(1e-8, true, 0.0, HiKind::UpToMax)},
    {"DTA", kReal, 29, 31, 0.0, none()},
    {"RTHSW", kInt, 4, 83, 0, ints({0, 1})},
    {"RTHCALC", kInt, 3, 81, 0, ints({0, 1, 2})},
    {"RTH", kReal, 77, 80, 0.001, real(1e-8, true, 0.0, HiKind::UpToMax)},
    {"CTH", kReal, 22, 24, 1e-12, real(0, true, 0.0, HiKind::UpToMax)},
    {"INCGATEBARCAP", kReal, 44, 46, 0.0, real(0, true, 1, HiKind::Incl)},
    {"INCGATEBARIND", kReal, 45, 47, 0.0, real(0, true, 1000, HiKind::Incl)},
    {"INCDRAINBARCAP", kReal, 42, 44, 0.0, real(0, true, 1, HiKind::Incl)},
    {"INCDRAINBARIND", kReal, 43, 45, 0.0, real(0, true, 1000, HiKind::Incl)},
    {"WVBARGATE", kReal, 113, 119, 1e-5, real(1e-8, true, 0.0, HiKind::UpToMax)},
    {"WVBARDRAIN", kReal, 111, 117, 1e-5, real(1e-8, true, 0.0, HiKind::UpToMax)},
    {"NCELLR", kReal, 59, 62, 1.0, real(1e-8, true, 0.0, HiKind::UpToMax)},
    {"LGFR", kReal, 53, 56, 0.0001, real(1e-8, true, 0.0, HiKind::UpToMax)},
    {"PCELLR", kReal, 66, 69, 4e-5, real(1e-8, true, 0.0, HiKind::UpToMax)},
    {"WVBARGATER", kReal, 114, 120, 1.5e-5, real(1e-8, true, 0.0, HiKind::UpToMax)},
    {"WVBARDRAINR", kReal, 112, 118, 3e-5, real(1e-8, true, 0.0, HiKind::UpToMax)},
    {"TR", kReal, 95, 100, 21.0, real(-273.15, true, 0.0, HiKind::UpToMax)},
    {"VFB", kReal, 103, 109, -1.05, none()},
    {"STVFB", kReal, 87, 92, 0.0, none()},
    {"KO", kReal, 47, 49, 0.5, real(1e-12, true, 0.0, HiKind::UpToMax)},
    {"KPINV", kReal, 49, 51, 0.0, real(0, true, 0.0, HiKind::UpToMax)},
    {"PHIB", kReal, 70, 73, 0.95, real(1e-12, true, 0.0, HiKind::UpToMax)},
    {"STPHIB", kReal, 86, 91, 0.0, none()},
    {"BET", kReal, 13, 15, 0.0019, real(0, true, 0.0, HiKind::UpToMax)},
    {"ETABET", kReal, 31, 33, 1.3, none()},
    {"THESR", kReal, 92, 97, 0.3562, real(1e-12, true, 0.0, HiKind::UpToMax)},
    {"ETASR", kReal, 38, 40, 0.005, real(0, true, 0.0, HiKind::UpToMax)},
    {"THEPH", kReal, 89, 94, 0.0129, real(1e-12, true, 0.0, HiKind::UpToMax)},
    {"ETAPH", kReal, 34, 36, 1.35, real(0, true, 0.0, HiKind::UpToMax)},
    {"ETAMOB", kReal, 33, 35, 1.3, real(0, true, 0.0, HiKind::UpToMax)},
    {"STETAMOB", kReal, 85, 90, 0.0, none()},
    {"NU", kReal, 62, 65, 2.0, real(1, true, 0.0, HiKind::UpToMax)},
    {"NUEXP", kReal, 63, 66, 5.25, real(0, true, 0.0, HiKind::UpToMax)},
    {"CS", kReal, 20, 22, 0.0, none()},
    {"ETACS", kReal, 32, 34, 0.0, real(0, true, 0.0, HiKind::UpToMax)},
    {"THESAT", kReal, 90, 95, 0.2513, real(0, true, 0.0, HiKind::UpToMax)},
    {"ETASAT", kReal, 37, 39, 0.0, real(0, true, 0.0, HiKind::UpToMax)},
    {"THESATG", kReal, 91, 96, 0.0, none()},
    {"THETH", kReal, 93, 98, 0.0, real(0, true, 0.0, HiKind::UpToMax)},
    {"SDIBL", kReal, 80, 85, 3.59e-5, real(1e-12, true, 0.0, HiKind::UpToMax)},
    {"MO", kReal, 57, 60, 0.0, real(0, true, 1, HiKind::Incl)},
    {"SSF", kReal, 82, 87, 0.012, real(1e-12, true, 0.0, HiKind::UpToMax)},
    {"ALP", kReal, 11, 13, 0.025, real(1e-8, true, 0.0, HiKind::UpToMax)},
    {"VP", kReal, 106, 112, 0.05, real(1e-12, true, 0.0, HiKind::UpToMax)},
    {"MEXP", kReal, 56, 59, 2.0, real(1, true, 0.0, HiKind::UpToMax)},
    {"A1CH", kReal, 4, 6, 0.0, real(0, true, 0.0, HiKind::UpToMax)},
    {"STA1CH", kReal, 83, 88, 0.0, none()},
    {"A2CH", kReal, 6, 8, 1.0, real(1e-12, true, 0.0, HiKind::UpToMax)},
    {"A3CH", kReal, 8, 10, 0.0, real(0, true, 0.0, HiKind::UpToMax)},
    {"TOX", kReal, 94, 99, 3.2e-9, real(1e-12, true, 0.0, HiKind::UpToMax)},
    {"COX", kReal, 19, 21, 2.98e-14, real(0, true, 0.0, HiKind::UpToMax)},
    {"PART", kReal, 64, 67, 0.5, real(0, true, 0.0, HiKind::UpToMax)},
    {"ADJ", kReal, 10, 12, 1.0, real(0, true, 0.0, HiKind::UpToMax)},
    {"XDEP1", kReal, 115, 121, 1.0, real(0, true, 0.0, HiKind::UpToMax)},
    {"DELQ", kReal, 25, 27, 0.0, real(0, true, 0.0, HiKind::UpToMax)},
    {"LENGTH", kReal, 51, 53, 5e-7, real(1e-8, true, 0.0, HiKind::UpToMax)},
    {"VFBOV", kReal, 104, 110, 0.0, none()},
    {"KOV", kReal, 48, 50, 2.5, real(1e-12, true, 0.0, HiKind::UpToMax)},
    {"CGSO", kReal, 18, 20, 0.0, real(0, true, 0.0, HiKind::UpToMax)},
    {"CGDO", kReal, 17, 19, 0.0, real(0, true, 0.0, HiKind::UpToMax)},
    {"RON", kReal, 74, 77, 1.0, real(1e-6, true, 0.0, HiKind::UpToMax)},
    {"ETARON", kReal, 36, 38, 0.0, real(0, true, 0.0, HiKind::UpToMax)},
    {"RSAT", kReal, 76, 79, 1.0, real(1e-6, true, 0.0, HiKind::UpToMax)},
    {"NSAT", kReal, 61, 64, 0.0, none()},
    {"VSAT", kReal, 109, 115, 10.0, real(1e-6, true, 0.0, HiKind::UpToMax)},
    {"ETAVSAT", kReal, 39, 41, 0.0, real(0, true, 0.0, HiKind::UpToMax)},
    {"EC", kReal, 30, 32, 1e6, real(1, true, 0.0, HiKind::UpToMax)},
    {"PSAT", kReal, 71, 74, 1.0, real(1, true, 0.0, HiKind::UpToMax)},
    {"VPDR", kReal, 107, 113, 100.0, real(-1, true, 0.0, HiKind::UpToMax)},
    {"VPDR1", kReal, 108, 114, 100.0, real(-1, true, 0.0, HiKind::UpToMax)},
    {"DCH", kReal, 24, 26, 1e15, real(1e11, true, 1e29, HiKind::Incl)},
    {"DSUB", kReal, 28, 30, 1e15, real(-1, true, 1e29, HiKind::Incl)},
    {"VSUB", kReal, 110, 116, 0.6, real(0.05, true, 0.0, HiKind::UpToMax)},
    {"VGAP", kReal, 105, 111, 1.2, real(0.1, true, 0.0, HiKind::UpToMax)},
    {"VDEP", kReal, 101, 107, 0.005, real(0, true, 0.0, HiKind::Unbounded)},
    {"A1DR", kReal, 5, 7, 0.0, real(0, true, 0.0, HiKind::UpToMax)},
    {"STA1DR", kReal, 84, 89, 0.0, none()},
    {"A2DR", kReal, 7, 9, 1.0, real(1e-12, true, 0.0, HiKind::UpToMax)},
    {"A3DR", kReal, 9, 11, 0.0, real(0, true, 0.0, HiKind::UpToMax)},
    {"RBB", kReal, 72, 75, 1.0, real(1e-6, true, 0.0, HiKind::UpToMax)},
    {"ETARBB", kReal, 35, 37, 0.0, real(0, true, 0.0, HiKind::UpToMax)},
    {"RPW", kReal, 75, 78, 100.0, real(0, false, 0.0, HiKind::UpToMax)}, // 0 would short row 7 (V/0)
    {"LPW", kReal, 54, 57, 1e-5, real(0, false, 0.0, HiKind::UpToMax)}, // likewise
    {"CSOURCE", kReal, 21, 23, 1e-10, real(0, true, 0.0, HiKind::UpToMax)},
    {"CDIODE1", kReal, 14, 16, 1e-15, none()},
    {"VBIDIODE1", kReal, 98, 104, 0.7, real(0.05, true, 0.0, HiKind::UpToMax)},
    {"PDIODE1", kReal, 67, 70, 0.3, real(0.05, true, 0.99, HiKind::Incl)},
    {"CDIODE2", kReal, 15, 17, 1e-15, none()},
    {"VBIDIODE2", kReal, 99, 105, 0.7, real(0.05, true, 0.0, HiKind::UpToMax)},
    {"PDIODE2", kReal, 68, 71, 0.3, real(0.05, true, 0.99, HiKind::Incl)},
    {"NDIODE2", kReal, 60, 63, 0.0, real(0, true, 0.0, HiKind::UpToMax)},
    {"SDIODE2", kReal, 81, 86, 0.0, real(0, true, 0.0, HiKind::UpToMax)},
    {"CDIODE3", kReal, 16, 18, 1e-15, none()},
    {"VBIDIODE3", kReal, 100, 106, 0.7, real(0.05, true, 0.0, HiKind::UpToMax)},
    {"PDIODE3", kReal, 69, 72, 0.3, real(0.05, true, 0.99, HiKind::Incl)},
    {"REPI", kReal, 73, 76, 1e-8, real(1e-8, true, 0.0, HiKind::UpToMax)},
    {"TEPI", kReal, 88, 93, 1e-6, real(1e-8, true, 0.0, HiKind::UpToMax)},
    {"DEPEPI1", kReal, 26, 28, 0.1, real(0, true, 1, HiKind::Excl)},
    {"DEPEPI3", kReal, 27, 29, 0.1, real(0, true, 1, HiKind::Excl)},
    {"LDEX", kReal, 50, 52, 3e-6, real(1e-8, true, 0.0, HiKind::UpToMax)},
    {"GMIN", kReal, 41, 43, 1e-11, real(0, true, 0.0, HiKind::UpToMax)},
    {"RTHWS", kReal, 79, 84, 0.001, real(1e-8, true, 0.0, HiKind::UpToMax)},
    {"CTHWS", kReal, 23, 25, 1e-12, real(0, true, 0.0, HiKind::UpToMax)},
    {"ATH", kReal, 12, 14, 0.0, real(0, true, 0.0, HiKind::UpToMax)},
    {"EXRTH", kReal, 40, 42, 0.0, real(0, true, 1, HiKind::Incl)},
    {"TSCALE", kReal, 96, 101, 1.0, real(1, true, 0.0, HiKind::UpToMax)},
    {"RTHCOR", kReal, 78, 82, 0.0, real(0, true, 0.0, HiKind::UpToMax)},
    {"KAPPA", kReal, 46, 48, 150.0, real(1, true, 0.0, HiKind::UpToMax)},
    {"TSUBTH", kReal, 97, 102, 0.00025, real(1e-6, true, 0.0, HiKind::UpToMax)},
    {"LTH", kReal, 55, 58, 1e-5, real(1e-8, true, 0.0, HiKind::UpToMax)},
    {"VDSBR", kReal, 102, 108, 1000.0, real(0, true, 0.0, HiKind::UpToMax)},
};
// clang-format on

// ---- Compile-time consistency of the table ----------------------------------

namespace detail {
constexpr int cmp(const char* a, const char* b)
{
    while (*a && *a == *b) ++a, ++b;
    return static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
}
constexpr int rowOfIndex(int index)
{
    for (int k = 0; k < kNumParams; ++k)
        if (kParams[k].index == index) return k;
    return -1;
}
constexpr bool indicesSortedAndDense()
{
    for (int i = 0; i < kNumParams; ++i)
        if (rowOfIndex(i) < 0) return false;
    for (int i = 1; i < kNumParams; ++i)
        if (cmp(kParams[rowOfIndex(i - 1)].name, kParams[rowOfIndex(i)].name) >= 0) return false;
    return true;
}
// Locations are 0.. per type, in the sorted order of the rows.
constexpr bool locationsFollowSortedOrder()
{
    int next[2] = {0, 0};
    for (int i = 0; i < kNumParams; ++i) {
        const ParamRow& p = kParams[rowOfIndex(i)];
        if (p.location != next[p.type]++) return false;
    }
    return next[kReal] == kNumRealParams && next[kInt] == kNumIntParams;
}
constexpr int countRanged()
{
    int n = 0;
    for (const ParamRow& p : kParams) n += p.range.kind != Range::None;
    return n;
}
} // namespace detail

static_assert(detail::indicesSortedAndDense(), "parameter indices must follow strcmp order");
static_assert(detail::locationsFollowSortedOrder(), "parameter locations must follow the sorted order");
static_assert(detail::countRanged() == 104, "104 range-limited parameters");

// Declaration row of a descriptor index / of a location.
constexpr int rowOfIndex(int index) { return detail::rowOfIndex(index); }
constexpr int rowOfLocation(ParamKind type, int location)
{
    for (int k = 0; k < kNumParams; ++k)
        if (kParams[k].type == type && kParams[k].location == location) return k;
    return -1;
}

// Location of a parameter by name, checked at compile time:
// realLoc("NCELL") is 58; an unknown name does not compile.
consteval int locOf(const char* name, ParamKind type)
{
    for (const ParamRow& p : kParams)
        if (p.type == type && detail::cmp(p.name, name) == 0) return p.location;
    throw "no such parameter";
}
consteval int realLoc(const char* name) { return locOf(name, kReal); }
consteval int intLoc(const char* name) { return locOf(name, kInt); }

} // namespace torvex_core

#endif // TORVEX_CORE_PARAMS_H
