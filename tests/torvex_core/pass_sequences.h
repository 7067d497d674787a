// Sequences of load passes on one TORVEX instance that the TORVEX_CORE and
// TORVEX_EN tests run against fresh instances: repeated passes of either
// kind at one point (where a pass reuses the temperature stage of the pass
// before), and changes of V(TINT), the temperature and ETARON, a parameter
// read by the temperature stage only.
#pragma once

#include <string>
#include <vector>

namespace torvex_test {

struct PassStep {
    bool full; // full load, else right-hand-side only
    double tint, temperature, etaron;
};
struct PassSequence {
    std::string name;
    std::vector<PassStep> steps;
};

inline constexpr double kSequenceEtaron = 0.7; // the instances' ETARON before the first step

// From V(TINT) = v0 at 300.15 K.
inline std::vector<PassSequence> passSequences(double v0)
{
    const double t0 = 300.15, v1 = v0 + 1e-4, e = kSequenceEtaron;
    return {
        {"full_after_rhs", {{false, v0, t0, e}, {true, v0, t0, e}, {true, v0, t0, e}}},
        {"rhs_after_full", {{true, v0, t0, e}, {false, v0, t0, e}, {false, v0, t0, e}}},
        {"parameter_change", {{true, v0, t0, e}, {true, v0, t0, 1.1}, {false, v0, t0, 0.4}}},
        {"temperature_change", {{false, v0, t0, e}, {false, v0, 330.0, e}, {true, v0, 330.0, e}, {true, v0, t0, e}}},
        {"moving_tint",
         {{true, v0, t0, e}, {true, v1, t0, e}, {true, v0, t0, e}, {false, v1, t0, e}, {true, v1, t0, e},
          {false, v0, t0, e}, {true, v1, t0, e}}},
    };
}

// Moves an instance's ETARON to a step's value through the module's setter,
// only when it changes: every setting flags the parameter-only group, which
// would make every pass a fresh one.
template <class Module, class Inst>
void followEtaron(const Module& md, Inst* inst, int location, double& current, const PassStep& step)
{
    if (step.etaron == current) return;
    int rangeViolation = 0;
    md.pModifyRealParam(inst, location, &rangeViolation, step.etaron);
    current = step.etaron;
}

} // namespace torvex_test
