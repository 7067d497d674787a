// LAMBRET under random parameter values (NaN, infinities, huge, negative,
// denormal, out-of-range integers) and random solutions: instances are made,
// range-checked and loaded (full and right-hand-side only) without a fault;
// the range check flags exactly the values outside each parameter's range,
// and in-range finite inputs of sane size give finite loads.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "LAMBRET_module.h"
#include "recording_host.h"

extern "C" const char vxr_build_id[] = "fedcba9876543210fedcba9876543210";

namespace {

using namespace lambret;
using vxrtest::LoadKind;
using vxrtest::RecordingHost;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const VXR_ModuleDescriptor& md = ModuleInfo;

// The documented range of each parameter (NaN never in range).
bool inRange(const std::string& name, double v) {
    if (name == "$xposition" || name == "$yposition") return true;
    if (name == "$hflip" || name == "$vflip") return v == 1 || v == -1;
    if (name == "$angle") return v >= 0 && v < 360;
    if (name == "$mfactor") return v > 0 && v <= DBL_MAX;
    if (name == "CPAD") return v >= 1e-18 && v <= DBL_MAX;
    if (name[0] == 'R') return v >= 1e-12 && v <= DBL_MAX;
    if (name[0] == 'L') return v >= -DBL_MAX && v <= DBL_MAX;
    ADD_FAILURE() << "no range for " << name;
    return false;
}

double randomReal(std::mt19937& rng) {
    static const double special[] = {kNaN,     -kNaN, kInf,     -kInf,   DBL_MAX, -DBL_MAX, 0.0,  -0.0,
                                     4.9e-324, -4.9e-324, 2.2e-308, 1e-18, 1e-12, 360.0,   359.9, 1e300};
    switch (rng() % 3) {
    case 0: return special[rng() % (sizeof special / sizeof special[0])];
    case 1: { // log-uniform over the full exponent range, either sign
        const double e = std::uniform_real_distribution<double>(-320, 308)(rng);
        return (rng() % 4 == 0 ? -1 : 1) * std::pow(10.0, e);
    }
    default: // sane magnitudes
        return (rng() % 8 == 0 ? -1 : 1) * std::pow(10.0, std::uniform_real_distribution<double>(-15, 4)(rng));
    }
}

int randomInt(std::mt19937& rng) {
    const int v[] = {1, -1, 0, 2, -2, INT_MIN, INT_MAX};
    return v[rng() % 7];
}

double randomSolution(std::mt19937& rng, bool sane) {
    if (sane) return std::uniform_real_distribution<double>(-1e3, 1e3)(rng);
    const double special[] = {kNaN, kInf, -kInf, DBL_MAX, -DBL_MAX, 4.9e-324, 0.0, 1e200};
    return rng() % 2 ? special[rng() % 8] : std::uniform_real_distribution<double>(-1e6, 1e6)(rng);
}

bool allFinite(const std::map<const void*, double>& batch) {
    for (const auto& [h, v] : batch)
        if (!std::isfinite(v)) return false;
    return true;
}

TEST(LambretFuzz, RandomParametersAndSolutions) {
    std::mt19937 rng(4711);
    int instances = 0, loads = 0, saneInstances = 0;
    for (int c = 0; c < 1500; ++c) {
        SCOPED_TRACE("case " + std::to_string(c));
        RecordingHost host;
        host.recordGetSol(false);
        VXR_StateVar* terms[3] = {host.terminal("ext"), host.terminal("int"), host.terminal("bulk")};
        // A random subset of the parameters, each given once.
        std::vector<VXR_ParamAssn> assn;
        std::set<std::string> outOfRange;
        // Every third case draws only in-range values of sane size.
        const bool inRangeCase = c % 3 == 0;
        bool sane = true;
        for (int r = 0; r < md.numOfParams; ++r) {
            if (rng() % 4 == 0) continue;
            const VXR_ParamDesc& d = md.paramDescArray[r];
            double v;
            if (d.paramType == VXR_INT_PARAM) {
                const int i = inRangeCase ? (rng() % 2 ? 1 : -1) : randomInt(rng);
                assn.push_back(RecordingHost::integer(d.name, i));
                v = i;
            } else {
                v = randomReal(rng);
                if (inRangeCase)
                    v = std::string(d.name) == "$angle" ? std::uniform_real_distribution<double>(0, 359)(rng)
                        : d.name[2] == 'p'              ? std::uniform_real_distribution<double>(-1e3, 1e3)(rng)
                                                        : std::pow(10.0, std::uniform_real_distribution<double>(-11, 4)(rng));
                assn.push_back(RecordingHost::real(d.name, v));
                sane = sane && std::isfinite(v) && std::fabs(v) <= 1e30;
            }
            if (!inRange(d.name, v)) outOfRange.insert(d.name);
        }
        sane = sane && outOfRange.empty();
        saneInstances += sane;
        if (rng() % 8 == 0) host.setTemperature(randomReal(rng));

        VXR_DeviceInst* inst = md.pCreateInstance("N1", host.sim(), nullptr, 3, nullptr, terms,
                                                  static_cast<int>(assn.size()), assn.data(), 0, 0);
        ASSERT_NE(inst, nullptr);
        ++instances;
        VXR_ErrorLog* log = VXR_createErrorLog(md.numOfParams, host.sim());
        md.pCheckRange(inst, log);
        std::set<std::string> flagged;
        for (int k = 0; k < log->length; ++k) flagged.insert(log->errorStr[k]);
        EXPECT_EQ(flagged, outOfRange);
        VXR_freeErrorLog(log);

        md.pFinalizeTopology(inst, nullptr);
        md.pCreateBranches(inst, nullptr);
        md.pReportNodalInfo(inst);
        md.pReportTopology(inst);
        md.pSetStamp(inst, nullptr);

        for (int l = 0; l < 4; ++l) {
            const bool saneX = l < 2;
            for (int u = 0; u < kNumUnknowns; ++u)
                if (VXR_StateVar* sv = lambretStateVar(inst, u)) host.setSolution(sv, randomSolution(rng, saneX));
            host.clearLog();
            md.pGenLoad(inst, host.loader());
            md.pGenLoadRHS(inst, host.loader());
            loads += 2;
            if (sane && saneX) {
                for (LoadKind k : {LoadKind::RhsPair, LoadKind::RhsPairQ, LoadKind::DerivQuartet,
                                   LoadKind::DerivQuartetQ})
                    EXPECT_TRUE(allFinite(host.lastBatch(k))) << vxrtest::toString(k);
            }
        }
        // Changing a parameter after the loads and checking again.
        const VXR_ParamDesc& d = md.paramDescArray[rng() % static_cast<unsigned>(md.numOfParams)];
        int flag = 0;
        if (d.paramType == VXR_REAL_PARAM) {
            const double v = randomReal(rng);
            md.pModifyRealParam(inst, d.paramLocation, v, &flag);
            EXPECT_EQ(flag != 0, !inRange(d.name, v)) << d.name << " = " << v;
        } else {
            const int v = randomInt(rng);
            md.pModifyIntParam(inst, d.paramLocation, v, &flag);
            EXPECT_EQ(flag != 0, !inRange(d.name, v)) << d.name << " = " << v;
        }
        md.pGenLoadRHS(inst, host.loader());
        md.pDestroyDevice(inst);
    }
    EXPECT_EQ(instances, 1500);
    EXPECT_GT(saneInstances, 400); // the finiteness check ran often enough
    EXPECT_EQ(loads, 1500 * 8);
}

} // namespace
