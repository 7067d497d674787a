// LAMBRET parameters: one table from which the descriptor rows, defaults,
// setters and range checks are all derived.
#include <array>
#include <cfloat>
#include <cmath>
#include <string_view>
#include <utility>

#include "LAMBRET_module.h"

using namespace lambret;

namespace {

enum class Kind { Real, Int };
enum class Range { None, Interval, Flip };

struct ParamSpec {
    const char* name;
    Kind kind;
    int location;
    int decl;      // declaration order; the setter's identifier is 15 + decl
    double defVal; // default (integer parameters hold an exact integer)
    Range range;
    double lo, hi;
    bool loOpen, hiOpen;
};

constexpr double kMax = DBL_MAX;

// Rows in strcmp order of name; row number = sorted index = given bit.
constexpr ParamSpec kParams[kNumParams] = {
    {"$angle", Kind::Real, LOC_ANGLE, 4, 0.0, Range::Interval, 0.0, 360.0, false, true},
    {"$hflip", Kind::Int, LOC_HFLIP, 3, 1, Range::Flip, 0, 0, false, false},
    {"$mfactor", Kind::Real, LOC_MFACTOR, 5, 1.0, Range::Interval, 0.0, kMax, true, false},
    {"$vflip", Kind::Int, LOC_VFLIP, 2, 1, Range::Flip, 0, 0, false, false},
    {"$xposition", Kind::Real, LOC_XPOS, 1, 0.0, Range::None, 0, 0, false, false},
    {"$yposition", Kind::Real, LOC_YPOS, 0, 0.0, Range::None, 0, 0, false, false},
    {"CPAD", Kind::Real, LOC_CPAD, 6, 82e-15, Range::Interval, 1e-18, kMax, false, false},
    {"LPAD1", Kind::Real, LOC_LPAD1, 8, 86.12E-12, Range::Interval, -kMax, kMax, false, false},
    {"LPAD2", Kind::Real, LOC_LPAD2, 10, 48.84E-12, Range::Interval, -kMax, kMax, false, false},
    {"LPAD3", Kind::Real, LOC_LPAD3, 12, 86.12E-12, Range::Interval, -kMax, kMax, false, false},
    {"RPAD1", Kind::Real, LOC_RPAD1, 9, 0.6634, Range::Interval, 1e-12, kMax, false, false},
    {"RPAD2", Kind::Real, LOC_RPAD2, 11, 0.8146, Range::Interval, 1e-12, kMax, false, false},
    {"RPAD3", Kind::Real, LOC_RPAD3, 13, 3.605, Range::Interval, 1e-12, kMax, false, false},
    {"RPADSUB", Kind::Real, LOC_RPADSUB, 7, 6.0, Range::Interval, 1e-12, kMax, false, false},
};

constexpr bool tableIsConsistent() {
    bool realLoc[kNumRealParams] = {}, intLoc[kNumIntParams] = {}, decl[kNumParams] = {};
    for (int r = 0; r < kNumParams; ++r) {
        const ParamSpec& p = kParams[r];
        if (r > 0 && !(std::string_view(kParams[r - 1].name) < std::string_view(p.name))) return false;
        bool& loc = p.kind == Kind::Real ? realLoc[p.location] : intLoc[p.location];
        if (loc || decl[p.decl]) return false;
        loc = decl[p.decl] = true;
    }
    return true;
}
static_assert(tableIsConsistent(), "parameter rows must be sorted with unique locations and declaration slots");

// Row of each declaration slot.
constexpr std::array<int, kNumParams> kDeclRows = [] {
    std::array<int, kNumParams> rows{};
    for (int r = 0; r < kNumParams; ++r) rows[kParams[r].decl] = r;
    return rows;
}();

constexpr int rowOfSetterId(int id) { return kDeclRows[id - 15]; }

bool inRange(const ParamSpec& p, double v) {
    switch (p.range) {
    case Range::None: return true;
    case Range::Flip: return v == -1.0 || v == 1.0;
    case Range::Interval: break;
    }
    const bool loOk = p.loOpen ? p.lo < v : p.lo <= v;
    const bool hiOk = p.hiOpen ? v < p.hi : v <= p.hi;
    return loOk && hiOk; // false for NaN
}

double storedValue(const PrivateData__module1* pd, const ParamSpec& p) {
    return p.kind == Kind::Real ? pd->realParams[p.location] : pd->intParams[p.location];
}

template <int Row> using ValueOf = std::conditional_t<kParams[Row].kind == Kind::Real, double, int>;

// Every setter: mark given, store, request the parameter code, flag a violation.
template <int Row> void setParam(VXR_DeviceInst* inst, ValueOf<Row> value, int* pRangeViolation) {
    constexpr const ParamSpec& p = kParams[Row];
    PrivateData__module1* pd = lambretPrivate(inst);
    pd->givenBits |= static_cast<std::uint16_t>(1u << Row);
    if constexpr (p.kind == Kind::Real)
        pd->realParams[p.location] = value;
    else
        pd->intParams[p.location] = value;
    pd->recomputeInvar = 1;
    if (!inRange(p, value) && pRangeViolation) *pRangeViolation = 1;
}

// The setters under their numbered names (numbered by declaration order).
[[maybe_unused]] constexpr auto _module1_setParam__id15 = &setParam<rowOfSetterId(15)>;
[[maybe_unused]] constexpr auto _module1_setParam__id16 = &setParam<rowOfSetterId(16)>;
[[maybe_unused]] constexpr auto _module1_setParam__id17 = &setParam<rowOfSetterId(17)>;
[[maybe_unused]] constexpr auto _module1_setParam__id18 = &setParam<rowOfSetterId(18)>;
[[maybe_unused]] constexpr auto _module1_setParam__id19 = &setParam<rowOfSetterId(19)>;
[[maybe_unused]] constexpr auto _module1_setParam__id20 = &setParam<rowOfSetterId(20)>;
[[maybe_unused]] constexpr auto _module1_setParam__id21 = &setParam<rowOfSetterId(21)>;
[[maybe_unused]] constexpr auto _module1_setParam__id22 = &setParam<rowOfSetterId(22)>;
[[maybe_unused]] constexpr auto _module1_setParam__id23 = &setParam<rowOfSetterId(23)>;
[[maybe_unused]] constexpr auto _module1_setParam__id24 = &setParam<rowOfSetterId(24)>;
[[maybe_unused]] constexpr auto _module1_setParam__id25 = &setParam<rowOfSetterId(25)>;
[[maybe_unused]] constexpr auto _module1_setParam__id26 = &setParam<rowOfSetterId(26)>;
[[maybe_unused]] constexpr auto _module1_setParam__id27 = &setParam<rowOfSetterId(27)>;
[[maybe_unused]] constexpr auto _module1_setParam__id28 = &setParam<rowOfSetterId(28)>;

struct SetterTables {
    std::array<LambretRealSetter, kNumRealParams> real{};
    std::array<LambretIntSetter, kNumIntParams> integer{};
};

template <std::size_t... Rows> constexpr SetterTables makeSetterTables(std::index_sequence<Rows...>) {
    SetterTables t;
    auto place = [&t]<int Row>() {
        if constexpr (kParams[Row].kind == Kind::Real)
            t.real[kParams[Row].location] = &setParam<Row>;
        else
            t.integer[kParams[Row].location] = &setParam<Row>;
    };
    (place.template operator()<static_cast<int>(Rows)>(), ...);
    return t;
}
constexpr SetterTables kSetters = makeSetterTables(std::make_index_sequence<kNumParams>{});

constexpr std::array<VXR_ParamDesc, kNumParams + 1> makeRows() {
    std::array<VXR_ParamDesc, kNumParams + 1> rows{};
    for (int r = 0; r < kNumParams; ++r) {
        const ParamSpec& p = kParams[r];
        rows[r] = {p.name, p.kind == Kind::Real ? VXR_REAL_PARAM : VXR_INT_PARAM, p.location, p.location, nullptr};
    }
    rows[kNumParams] = {nullptr, VXR_INVALID_PARAM, 0, 0, nullptr};
    return rows;
}

} // namespace

constinit std::array<VXR_ParamDesc, kNumParams + 1> ParamDescArray__module1 = makeRows();

// Location tables reached by the modify slots.
constinit const LambretRealSetter _module1_setRealParam[kNumRealParams] = {
    kSetters.real[0], kSetters.real[1], kSetters.real[2], kSetters.real[3], kSetters.real[4],  kSetters.real[5],
    kSetters.real[6], kSetters.real[7], kSetters.real[8], kSetters.real[9], kSetters.real[10], kSetters.real[11]};
constinit const LambretIntSetter _module1_setIntParam[kNumIntParams] = {kSetters.integer[0], kSetters.integer[1]};

void _module1_modifyRealParam(VXR_DeviceInst* inst, int location, double value, int* pRangeViolation) {
    if (location < 0 || location >= kNumRealParams) {
        if (pRangeViolation) *pRangeViolation = 1;
        return;
    }
    _module1_setRealParam[location](inst, value, pRangeViolation);
    lambretPrivate(inst)->recomputeInvar = 1;
}

void _module1_modifyIntParam(VXR_DeviceInst* inst, int location, int value, int* pRangeViolation) {
    if (location < 0 || location >= kNumIntParams) {
        if (pRangeViolation) *pRangeViolation = 1;
        return;
    }
    _module1_setIntParam[location](inst, value, pRangeViolation);
    lambretPrivate(inst)->recomputeInvar = 1;
}

double _module1_getRealParam(VXR_DeviceInst* inst, int location) {
    if (location < 0 || location >= kNumRealParams) return 0.0;
    return lambretPrivate(inst)->realParams[location];
}

int _module1_getIntParam(VXR_DeviceInst* inst, int location) {
    if (location < 0 || location >= kNumIntParams) return 0;
    return lambretPrivate(inst)->intParams[location];
}

void _module1_setParameters(VXR_DeviceInst* inst, int numOfAssn, VXR_ParamAssn* assn) {
    PrivateData__module1* pd = lambretPrivate(inst);
    pd->recomputeInvar = 1;
    int map[kNumParams];
    VXR_setupParamMap(inst, numOfAssn, assn, map);
    for (int row : kDeclRows) {
        const ParamSpec& p = kParams[row];
        const bool given = map[row] >= 0;
        if (p.kind == Kind::Real)
            pd->realParams[p.location] = given ? VXR_initRealParam(inst, row, map, assn) : p.defVal;
        else
            pd->intParams[p.location] =
                given ? VXR_initIntegerParam(inst, row, map, assn) : static_cast<int>(p.defVal);
        const auto bit = static_cast<std::uint16_t>(1u << row);
        pd->givenBits = static_cast<std::uint16_t>(given ? pd->givenBits | bit : pd->givenBits & ~bit);
    }
}

void _module1_checkRangeAll(VXR_DeviceInst* inst, VXR_ErrorLog* log) {
    if (!log || log->length >= log->maxLength) return;
    const PrivateData__module1* pd = lambretPrivate(inst);
    for (int row : kDeclRows) {
        const ParamSpec& p = kParams[row];
        if (p.range == Range::None || inRange(p, storedValue(pd, p))) continue;
        VXR_insertError(log, inst, p.name);
        if (log->length >= log->maxLength) return;
    }
}

void _module1_forceExecInvarCode(VXR_DeviceInst* inst, int force) {
    lambretPrivate(inst)->recomputeInvar = force != 0;
}

void _module1_getOutVarInfo(int n, const VXR_OutVarDesc* descs, VXR_OutVal* vals, VXR_DeviceInst* inst,
                            VXR_ContribLoader*) {
    for (int i = 0; i < n; ++i) {
        vals[i].pOutVarDesc = &descs[i];
        if (descs[i].outputVarType == VXR_OUT_REALVAR && descs[i].ix >= 0 && descs[i].ix < kNumModuleVars)
            vals[i].outVal.realVal = lambretPrivate(inst)->moduleVars[descs[i].ix];
    }
}
