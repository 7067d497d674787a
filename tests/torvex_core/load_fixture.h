// Load passes of a TORVEX_CORE instance through the recording host, with the
// deposited values gathered per table index (row, quartet, doublet).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "core_fixture.h"
#include "probe.h"

namespace tc {

// Every unknown the instance's rows depend on: the eleven nodes, then the
// branch variables of the six ddt operators.
inline const std::vector<std::string> kUnknowns = {
    "D", "G", "S", "B", "TINT", "TEXT", "CORE_B1", "CORE_B2", "CORE_ID", "IB_DIODE1", "IB_DIODE3",
    "_opddt10", "_opddt11", "_opddt12", "_opddt7", "_opddt8", "_opddt9"};

struct Deposits {
    std::vector<double> rhs, rhsQ, jac, jacQ, doublet;
    std::vector<std::string> messages;
};

struct LoadHost : CoreHost {
    Inst* inst = nullptr;

    explicit LoadHost(std::vector<VXR_ParamAssn> assn = {}) { inst = createReady(std::move(assn)); }
    ~LoadHost() { md.pDestroyDevice(inst); }

    SV* unknown(const std::string& name) const
    {
        if (name.rfind("_opddt", 0) == 0) return find(name);
        for (const auto& n : nodes())
            if (n.name == name && n.inst == inst) return n.sv;
        return find(name);
    }
    void set(const std::string& name, double v) { setSolution(unknown(name), v); }
    // One pass through the given slot; what it deposited, by table index.
    Deposits pass(void (*slot)(VXR_DeviceInst*, VXR_ContribLoader*))
    {
        clearLog();
        slot(inst, loader());
        Deposits d;
        d.rhs = collect(vxrtest::LoadKind::RhsPair, 0);
        d.rhsQ = collect(vxrtest::LoadKind::RhsPairQ, 1);
        d.jac = collect(vxrtest::LoadKind::DerivQuartet, 2);
        d.jacQ = collect(vxrtest::LoadKind::DerivQuartetQ, 3);
        d.doublet = collect(vxrtest::LoadKind::DerivDoubletQ, 4);
        d.messages = messageTexts();
        return d;
    }
    Deposits full() { return pass(md.pGenLoad); }
    Deposits rhsOnly() { return pass(md.pGenLoadRHS); }
    Deposits strobe() { return pass(md.pDoStrobe); }

private:
    // Values deposited on the handles of one table, summed over the pass.
    std::vector<double> collect(vxrtest::LoadKind kind, int array) const
    {
        const int n = probe::handleCount(array);
        std::map<const void*, int> index;
        for (int i = 0; i < n; ++i) index[probe::handle(inst, array, i)] = i;
        std::vector<double> out(static_cast<size_t>(n), 0.0);
        for (const auto& b : batches()) {
            if (b.kind != kind) continue;
            for (size_t j = 0; j < b.handles.size(); ++j) {
                const auto it = index.find(handle(static_cast<size_t>(b.handles[j])));
                if (b.handles[j] >= 0 && it != index.end()) out[static_cast<size_t>(it->second)] += b.values[j];
            }
        }
        return out;
    }
};

} // namespace tc
