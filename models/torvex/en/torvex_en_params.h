// TORVEX_EN / TORVEX parameter table: the 122 intrinsic rows of TORVEX_CORE
// (names, types, defaults, ranges taken from its table, not retyped) followed
// by the 46 rows of the outer gate and drain network. Locations and sorted
// indices depend on the whole set of names, so they are computed here at
// compile time rather than written down.
#ifndef TORVEX_EN_PARAMS_H
#define TORVEX_EN_PARAMS_H

#include "torvex_core_params.h"

namespace torvex_en {

using torvex_core::HiKind;
using torvex_core::kInt;
using torvex_core::kReal;
using torvex_core::ParamKind;
using torvex_core::ParamRow;
using torvex_core::Range;

inline constexpr int kNumIntrinsicParams = torvex_core::kNumParams;
inline constexpr int kNumOuterParams = 46;
inline constexpr int kNumParams = kNumIntrinsicParams + kNumOuterParams;
inline constexpr int kNumRealParams = 162;
inline constexpr int kNumIntParams = 6;

namespace detail {
constexpr Range from(double lo) { return torvex_core::real(lo, true, 0.0, HiKind::UpToMax); }
constexpr Range between(double lo, double hi) { return torvex_core::real(lo, true, hi, HiKind::Incl); }

struct OuterRow {
    const char* name;
    double def;
    Range range;
};

// clang-format off
inline constexpr OuterRow kOuterRows[kNumOuterParams] = {
    {"NGATECON", 100.0, from(1)},     {"WGATE", 1e-5, from(1e-8)},      {"WDRAIN", 1e-5, from(1e-8)},
    {"LEPI", 1e-5, from(1e-8)},       {"LEXTG", 1e-5, from(1e-8)},      {"LEXTD", 1e-5, from(1e-8)},
    {"RMETAL", 1e-4, from(1e-8)},     {"RPOLY", 0.01, from(1e-8)},      {"RPOLYVER", 0.01, from(1e-8)},
    {"WGATEPOLY", 1e-6, from(1e-10)}, {"TFING", 1e-5, from(1e-10)},     {"RSUB", 1e-6, from(1e-10)},
    {"RSOURCE", 0.1, from(1e-10)},    {"RSHIELD", 0.001, from(1e-10)},  {"TZ", 5e-4, from(1e-10)},
    {"TSUB", 5e-4, from(1e-10)},      {"INDUCON", 0.0, between(-1, 1)}, {"MUTUALON", 0.0, between(-10, 10)},
    {"REDDYON", 1.0, between(1e-6, 10)},
    {"CIGB1", 1e-15, from(0)},  {"CIGB2", 1e-15, from(0)},  {"CIGB3", 1e-15, from(0)},  {"CIGB41", 1e-15, from(0)},
    {"CIGB42", 1e-15, from(0)}, {"CIGGS", 1e-15, from(0)},  {"CIDB1", 1e-15, from(0)},  {"CIDB2", 1e-15, from(0)},
    {"CIDB3", 1e-15, from(0)},  {"CIGD11", 1e-15, from(0)}, {"CIGD12", 1e-15, from(0)}, {"CIGD2", 1e-15, from(0)},
    {"CIGD3", 1e-15, from(0)},  {"CIGD4", 1e-15, from(0)},
    {"RIGB1", 1e-8, from(1e-8)}, {"RIGB3", 1e-8, from(1e-8)}, {"RIDB1", 1e-8, from(1e-8)}, {"RIDB3", 1e-8, from(1e-8)},
    {"DISTR1", 0.1, from(1e-8)},  {"DISTR2", 0.5, from(1e-8)},  {"DISTR3", 10.0, from(1e-8)},
    {"DISTL1", 0.33, from(1e-8)}, {"DISTL2", 0.33, from(1e-8)}, {"DISTL3", 0.33, from(1e-8)},
    {"DISTC1", 0.33, from(1e-8)}, {"DISTC2", 0.33, from(1e-8)}, {"DISTC3", 0.33, from(1e-8)},
};
// clang-format on

using torvex_core::detail::cmp;

// Name, type, default and range of declaration row k (location and index unset).
constexpr ParamRow declared(int k)
{
    if (k < kNumIntrinsicParams) {
        ParamRow r = torvex_core::kParams[k];
        r.location = r.index = -1;
        return r;
    }
    const OuterRow& o = kOuterRows[k - kNumIntrinsicParams];
    return ParamRow{o.name, kReal, -1, -1, o.def, o.range};
}

struct Table {
    ParamRow rows[kNumParams];
};

// Sorted index: the number of names below this one in byte order; location:
// the same count among the parameters of its type.
constexpr Table makeTable()
{
    Table t{};
    for (int k = 0; k < kNumParams; ++k) t.rows[k] = declared(k);
    for (ParamRow& r : t.rows) {
        int below = 0, belowSameType = 0;
        for (const ParamRow& o : t.rows)
            if (cmp(o.name, r.name) < 0) {
                ++below;
                belowSameType += o.type == r.type;
            }
        r.index = below;
        r.location = belowSameType;
    }
    return t;
}
} // namespace detail

inline constexpr detail::Table kTable = detail::makeTable();
inline constexpr const ParamRow (&kParams)[kNumParams] = kTable.rows;

namespace detail {
constexpr bool namesDistinct()
{
    for (int i = 0; i < kNumParams; ++i)
        for (int j = i + 1; j < kNumParams; ++j)
            if (cmp(kParams[i].name, kParams[j].name) == 0) return false;
    return true;
}
constexpr int count(ParamKind type)
{
    int n = 0;
    for (const ParamRow& p : kParams) n += p.type == type;
    return n;
}
constexpr int countRanged()
{
    int n = 0;
    for (const ParamRow& p : kParams) n += p.range.kind != Range::None;
    return n;
}
} // namespace detail

static_assert(detail::namesDistinct(), "parameter names must be distinct");
static_assert(detail::count(kReal) == kNumRealParams && detail::count(kInt) == kNumIntParams);
static_assert(detail::countRanged() == 150, "150 range-limited parameters");

constexpr int rowOfIndex(int index)
{
    for (int k = 0; k < kNumParams; ++k)
        if (kParams[k].index == index) return k;
    return -1;
}
constexpr int rowOfLocation(ParamKind type, int location)
{
    for (int k = 0; k < kNumParams; ++k)
        if (kParams[k].type == type && kParams[k].location == location) return k;
    return -1;
}

// Location of a parameter by name, checked at compile time.
consteval int locOf(const char* name, ParamKind type)
{
    for (const ParamRow& p : kParams)
        if (p.type == type && detail::cmp(p.name, name) == 0) return p.location;
    throw "no such parameter";
}
consteval int realLoc(const char* name) { return torvex_en::locOf(name, kReal); }
consteval int intLoc(const char* name) { return torvex_en::locOf(name, kInt); }

static_assert(realLoc("NCELL") == 86 && intLoc("RTHCALC") == 3 && kParams[kNumParams - 1].index == 46 &&
              kParams[kNumParams - 1].location == 44);

} // namespace torvex_en

#endif // TORVEX_EN_PARAMS_H
