// A small recording host for the pad model's tests: it makes state
// variables, hands out handles that remember what they stand for, records
// every structural call in order, and accumulates what the loads deposit.
#pragma once

#include <cstdarg>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "LAMBRET_module.h"

struct PadHost {
    VXR_SimInterface sim{}; // first member: the callbacks recover the host from it
    VXR_ContribLoader ldr{};

    std::deque<VXR_StateVar> vars;
    std::deque<VXR_BranchInfo> branchInfos;
    struct Handle {
        std::string text;
    };
    std::deque<Handle> handles;

    std::vector<std::string> calls;                       // structural calls, in order
    std::vector<std::pair<VXR_MessageTypeE, std::string>> messages;
    std::vector<std::string> requests;
    std::map<std::string, int> dupCounts;                 // branch name -> dupCount to report
    std::map<const VXR_StateVar*, double> solution;
    int solReads = 0;
    double temperature = 300.15;

    // Per batch: values by handle text, as the last load sent them.
    std::map<const void*, double> rhs, rhsQ, jac, jacQ;
    std::vector<std::string> batches;                    // batch order of the last loads

    PadHost() {
        sim.pSetupNode = [](const char* name, VXR_DeviceInst* inst, VXR_NodalInfo* info, void*) {
            PadHost& h = of(inst->pSimInterface);
            h.calls.push_back(std::string("node ") + name +
                              (info == VXR_NODAL_INFO_NONE ? " -1" : " ?"));
            return h.makeVar(name, inst);
        };
        sim.pCreateBranch = [](const char* name, VXR_BranchTypeE type, VXR_StateVar* pos, VXR_StateVar* neg,
                               VXR_DeviceInst* inst, void*) {
            PadHost& h = of(inst->pSimInterface);
            h.calls.push_back(std::string("branch ") + name + " " + std::to_string(type) + " " + nameOf(pos) +
                              " " + nameOf(neg));
            VXR_StateVar* sv = h.makeVar(name, inst);
            VXR_BranchInfo& bi = h.branchInfos.emplace_back();
            bi.origName = name;
            bi.pPosTerm = pos;
            bi.pNegTerm = neg;
            auto it = h.dupCounts.find(name);
            bi.dupCount = it == h.dupCounts.end() ? 1 : it->second;
            sv->pBranchInfo = &bi;
            return sv;
        };
        sim.pReportDiscipline = [](VXR_StateVar* sv, VXR_DisciplineDescriptor* d, VXR_DeviceInst*,
                                   VXR_SimInterface* s) {
            of(s).calls.push_back("discipline " + nameOf(sv) + " " + d->name);
        };
        sim.pGetRhsPair = [](VXR_StateVar* a, VXR_StateVar* b, VXR_DepTypeE dep, VXR_DeviceInst* inst, void*) {
            return of(inst->pSimInterface).handle("rhs", {a, b}, -1, dep);
        };
        sim.pGetRhsPairQ = [](VXR_StateVar* a, VXR_StateVar* b, VXR_DepTypeE dep, VXR_DeviceInst* inst, void*) {
            return of(inst->pSimInterface).handle("rhsQ", {a, b}, -1, dep);
        };
        sim.pGetDerivQuartet = [](VXR_StateVar* r1, VXR_StateVar* r2, VXR_StateVar* c1, VXR_StateVar* c2,
                                  VXR_StampTargetE t, VXR_DepTypeE dep, VXR_DeviceInst* inst, void*) {
            return of(inst->pSimInterface).handle("quartet", {r1, r2, c1, c2}, t, dep);
        };
        sim.pGetTemperature = [](VXR_DeviceInst*, VXR_SimInterface* s) { return of(s).temperature; };
        sim.pMessage = [](VXR_MessageTypeE type, const char* text, VXR_DeviceInst*, VXR_SimInterface* s) {
            of(s).messages.emplace_back(type, text);
        };
        sim.pSystemRequest = [](const char* req, int code, VXR_DeviceInst*, VXR_ContribLoader*,
                                VXR_SimInterface* s) {
            of(s).requests.push_back(std::string(req) + " " + std::to_string(code));
        };
        sim.pReportTopology = [](VXR_StateVar* pos, VXR_StateVar* neg, VXR_TopologyTypeE kind, const char* name,
                                 VXR_DeviceInst* inst) {
            of(inst->pSimInterface)
                .calls.push_back(std::string("topology ") + name + " " + nameOf(pos) + " " + nameOf(neg) + " " +
                                 std::to_string(kind));
        };

        ldr.pLoaderInfo = this;
        ldr.pGetSol = [](VXR_StateVar* sv, VXR_ContribLoader* l, VXR_DeviceInst*) {
            PadHost& h = *static_cast<PadHost*>(l->pLoaderInfo);
            ++h.solReads;
            auto it = h.solution.find(sv);
            return it == h.solution.end() ? 0.0 : it->second;
        };
        ldr.pLoadRhsPair = [](int n, void** hs, double* v, VXR_ContribLoader* l, VXR_DeviceInst*) {
            static_cast<PadHost*>(l->pLoaderInfo)->store("rhs", n, hs, v);
        };
        ldr.pLoadRhsPairQ = [](int n, void** hs, double* v, VXR_ContribLoader* l, VXR_DeviceInst*) {
            static_cast<PadHost*>(l->pLoaderInfo)->store("rhsQ", n, hs, v);
        };
        ldr.pLoadDerivQuartet = [](int n, void** hs, double* v, VXR_ContribLoader* l, VXR_DeviceInst*) {
            static_cast<PadHost*>(l->pLoaderInfo)->store("jac", n, hs, v);
        };
        ldr.pLoadDerivQuartetQ = [](int n, void** hs, double* v, VXR_ContribLoader* l, VXR_DeviceInst*) {
            static_cast<PadHost*>(l->pLoaderInfo)->store("jacQ", n, hs, v);
        };
    }
    PadHost(const PadHost&) = delete;

    static PadHost& of(VXR_SimInterface* s) { return *reinterpret_cast<PadHost*>(s); }
    static std::string nameOf(const VXR_StateVar* sv) {
        if (!sv) return "-";
        if (sv == UNCONNECTED_SV) return "<unconnected>";
        return sv->varName;
    }

    VXR_StateVar* makeVar(const char* name, VXR_DeviceInst* owner) {
        VXR_StateVar& sv = vars.emplace_back();
        sv.varName = name;
        sv.pParent = owner;
        sv.pos = static_cast<int>(vars.size());
        return &sv;
    }
    // A terminal the circuit provides (owned by no instance).
    VXR_StateVar* terminal(const char* name) { return makeVar(name, nullptr); }

    void* handle(const char* kind, std::vector<VXR_StateVar*> svs, int target, VXR_DepTypeE dep) {
        std::string t = kind;
        for (size_t i = 0; i < svs.size(); ++i) t += (i == 2 ? " | " : " ") + nameOf(svs[i]);
        if (target >= 0) t += target == DC_ENTRY ? " DC" : target == DDT_ENTRY ? " DDT" : " ?";
        t += dep == LIN_DEP ? " lin" : " nonlin";
        calls.push_back(t);
        handles.push_back({t});
        return &handles.back();
    }
    void store(const char* batch, int n, void** hs, const double* v) {
        batches.push_back(std::string(batch) + " " + std::to_string(n));
        auto& m = std::string(batch) == "rhs" ? rhs : std::string(batch) == "rhsQ" ? rhsQ
                : std::string(batch) == "jac" ? jac : jacQ;
        m.clear();
        for (int i = 0; i < n; ++i) m[hs[i]] += v[i];
    }
    void clearLoads() {
        rhs.clear(), rhsQ.clear(), jac.clear(), jacQ.clear(), batches.clear();
        solReads = 0;
    }
};
