// TORVEX_EN (revision 1.60) and TORVEX (revision 1.42) driven through the
// descriptor by the shared recording host. Each test source is compiled once
// per revision; `te::kEN` says which module it is.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "module_host.h"
#include "torvex_en.h"

namespace te {

using Inst = VXR_DeviceInst;
using SV = VXR_StateVar;
using vxrtest::Call;
using vxrtest::HandleKind;

inline constexpr bool kEN = VXR_REVISION == 160;
inline constexpr int kTerms = kEN ? 7 : 5;
inline const char* const kModule = kEN ? "TORVEX_EN" : "TORVEX";
inline const VXR_ModuleDescriptor& md = torvex_en::ModuleInfo;
inline void* const kCbInfo = reinterpret_cast<void*>(uintptr_t{0xcb});

inline torvex_en::Private* priv(Inst* inst) { return torvex_en::priv(inst); }

// Ends an instance's life: destroyed in 1.60; in 1.42, which has no destroy
// slot, kept reachable for the rest of the process as a host keeps it.
inline void retire(Inst* inst)
{
    if (inst == nullptr) return;
#if VXR_REVISION == 160
    md.pDestroyDevice(inst);
#else
    static std::vector<Inst*>* kept = new std::vector<Inst*>;
    kept->push_back(inst);
#endif
}

// The shared host with the module's terminals.
inline const char* const kTerminalNames[] = {"D", "G", "B", "TINT", "TEXT", "VIDS", "IIDS"};
struct EnHost : vxrtest::ModuleHost {
    EnHost() : ModuleHost(md, {kTerminalNames, kTerminalNames + kTerms}, kCbInfo) {}
    std::string name(const SV* sv) const { return sv ? nameOf(sv) : "-"; }
};

using vxrtest::intAssn;
using vxrtest::realAssn;

// Descriptor row by name (NULL when absent) and its sorted index.
inline const VXR_ParamDesc* row(const std::string& name) { return vxrtest::paramRow(md, name); }
inline int descIndex(const std::string& name) { return static_cast<int>(row(name) - md.paramDescArray); }

// Lines of a fixture file of this folder, comments and blank lines skipped,
// split at white space (tabs for the parameter table).
inline std::vector<std::vector<std::string>> readFixture(const std::string& file, char sep = ' ')
{
    std::ifstream in(std::string(TORVEX_EN_FIXTURES) + "/" + file);
    std::vector<std::vector<std::string>> out;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> cells;
        std::stringstream ss(line);
        std::string cell;
        while (std::getline(ss, cell, sep))
            if (!cell.empty()) cells.push_back(cell);
        out.push_back(cells);
    }
    return out;
}

// Values of the last pass, by TORVEX_EN table index; entries the build lacks
// stay NaN. Doublets: the partials the operators received, by doublet index
// (summed over the pass).
struct Loaded {
    std::vector<double> rhs, rhsQ, jac, jacQ, doublet;
};

inline Loaded collect(EnHost& h, Inst* inst, bool full)
{
    const torvex_en::Private* pr = priv(inst);
    Loaded out;
    auto gather = [&](vxrtest::LoadKind kind, const auto& map, void* const* handles, size_t n, std::vector<double>& dst) {
        dst.assign(n, std::nan(""));
        const vxrtest::BatchRecord* batch = nullptr;
        for (const vxrtest::BatchRecord& b : h.batches())
            if (b.kind == kind && b.handles.size() == static_cast<size_t>(map.count)) batch = &b;
        ASSERT_NE(batch, nullptr);
        for (size_t i = 0; i < n; ++i) {
            const int s = map.slot[i];
            if (s < 0) continue;
            ASSERT_EQ(batch->handles[s], h.handleIndex(handles[s]));
            dst[i] = batch->values[s];
        }
    };
    gather(vxrtest::LoadKind::RhsPair, torvex_en::RevStamp::rhs, pr->rhs, 56, out.rhs);
    gather(vxrtest::LoadKind::RhsPairQ, torvex_en::RevStamp::rhsQ, pr->rhsQ, 22, out.rhsQ);
    if (full) {
        gather(vxrtest::LoadKind::DerivQuartet, torvex_en::RevStamp::jac, pr->jac, 129, out.jac);
        gather(vxrtest::LoadKind::DerivQuartetQ, torvex_en::RevStamp::jacQ, pr->jacQ, 59, out.jacQ);
        out.doublet.assign(torvex_en::kNumDdtDoublets, 0.0);
        for (const vxrtest::BatchRecord& b : h.batches()) {
            if (b.kind != vxrtest::LoadKind::DerivDoubletQ) continue;
            for (size_t j = 0; j < b.handles.size(); ++j)
                for (int i = 0; i < torvex_en::kNumDdtDoublets; ++i)
                    if (b.handles[j] >= 0 && b.handles[j] == h.handleIndex(pr->ddtDoublet[i])) out.doublet[i] += b.values[j];
        }
    }
    return out;
}

} // namespace te
