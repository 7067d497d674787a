// A recording revision 1.60 host for the TORVEX_CORE library: loads the
// library with dlopen, hands out state variables and opaque handles, and
// records every call it receives in order.
#pragma once

#include <dlfcn.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "VXR_Interface.h"

namespace tc {

using Inst = VXR160_DeviceInst;
using SV = VXR160_StateVar;
using Desc = VXR160_ModuleDescriptor;

enum class Kind { SetupNode, Discipline, RhsPair, RhsPairQ, Doublet, Quartet, Message, SystemRequest, Temperature };

struct Call {
    Kind kind;
    std::string text;          // node name, message text or request
    const SV* sv[4] = {};      // nodes of the request (NULL = ground)
    int target = -1;           // VXR_StampTargetE
    int dep = -1;              // VXR_DepTypeE
    int code = 0;              // message type or request code
    void* handle = nullptr;    // what the host returned
    const void* extra = nullptr; // discipline descriptor
    const Inst* inst = nullptr;
};

struct Library {
    void* dl = nullptr;
    const VXR_LibraryVersion* version = nullptr;
    const VXR160_LibraryManifest* manifest = nullptr;
    Desc* desc = nullptr;
    Library()
    {
        dl = dlopen(TORVEX_CORE_PATH, RTLD_NOW | RTLD_LOCAL);
        if (dl == nullptr) return;
        auto gv = reinterpret_cast<VXR160_GetLibraryVersionFn>(dlsym(dl, "getLibraryVersion"));
        auto gm = reinterpret_cast<VXR160_GetLibraryManifestFn>(dlsym(dl, "getLibraryManifest"));
        if (gv) version = gv();
        if (gm) manifest = gm();
        if (manifest) desc = manifest->pModules;
    }
    ~Library()
    {
        if (dl) dlclose(dl);
    }
    void* sym(const char* name) const { return dl ? dlsym(dl, name) : nullptr; }
};

// Process-wide instance: the library stays loaded for the whole test run.
inline Library& lib()
{
    static Library l;
    return l;
}

class Host {
public:
    Host()
    {
        si_.pSimInfo = this;
        si_.pSetupNode = setupNode;
        si_.pReportDiscipline = reportDiscipline;
        si_.pGetRhsPair = rhsPair;
        si_.pGetRhsPairQ = rhsPairQ;
        si_.pGetDerivDoublet = doublet;
        si_.pGetDerivQuartet = quartet;
        si_.pGetTemperature = temperature;
        si_.pMessage = message;
        si_.pSystemRequest = systemRequest;
        for (const char* t : {"D", "G", "S", "B", "TINT", "TEXT"}) terminals.push_back(newSV(t));
    }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    VXR160_SimInterface* si() { return &si_; }
    const Desc* desc() const { return lib().desc; }

    // Create with the six terminals, no width records unless given.
    Inst* create(std::vector<VXR160_ParamAssn> assn = {}, const char* name = "m1")
    {
        return desc()->pCreateInstance(name, &si_, nullptr, 6, nullptr, terminals.data(),
                                       static_cast<int>(assn.size()), assn.empty() ? nullptr : assn.data());
    }
    Inst* createReady(std::vector<VXR160_ParamAssn> assn = {})
    {
        Inst* inst = create(std::move(assn));
        desc()->pFinalizeTopology(inst, cbInfo);
        desc()->pSetStamp(inst, cbInfo);
        return inst;
    }

    SV* newSV(const char* name)
    {
        SV& sv = svs_.emplace_back();
        sv.varName = names_.emplace_back(name).c_str();
        sv.pos = static_cast<int>(svs_.size());
        return &sv;
    }
    std::string nameOf(const SV* sv) const { return sv ? sv->varName : ""; }

    std::vector<Call> calls;
    std::vector<SV*> terminals;
    double temperatureK = 300.15;
    void* cbInfo = reinterpret_cast<void*>(uintptr_t{0xcb});

    std::vector<Call> of(Kind k) const
    {
        std::vector<Call> r;
        for (const Call& c : calls)
            if (c.kind == k) r.push_back(c);
        return r;
    }
    std::vector<std::string> messages() const
    {
        std::vector<std::string> r;
        for (const Call& c : of(Kind::Message)) r.push_back(c.text);
        return r;
    }

private:
    static Host& self(VXR160_SimInterface* si) { return *static_cast<Host*>(si->pSimInfo); }
    static Host& self(Inst* inst) { return self(inst->pSimInterface); }

    void* record(Call c)
    {
        c.handle = reinterpret_cast<void*>(uintptr_t{0x1000} + calls.size());
        calls.push_back(c);
        return c.handle;
    }

    static SV* setupNode(const char* name, Inst* inst, VXR160_NodalInfo*, void* cb)
    {
        Host& h = self(inst);
        SV* sv = h.newSV(name);
        Call c{Kind::SetupNode, name};
        c.sv[0] = sv;
        c.inst = inst;
        c.extra = cb;
        h.record(c);
        return sv;
    }
    static void reportDiscipline(SV* sv, VXR160_DisciplineDescriptor* d, Inst* inst, VXR160_SimInterface* si)
    {
        Call c{Kind::Discipline, self(si).nameOf(sv)};
        c.sv[0] = sv;
        c.extra = d;
        c.inst = inst;
        self(si).record(c);
    }
    static void* pair(Kind k, SV* a, SV* b, VXR_DepTypeE dep, Inst* inst)
    {
        Call c{k, ""};
        c.sv[0] = a;
        c.sv[1] = b;
        c.dep = dep;
        c.inst = inst;
        return self(inst).record(c);
    }
    static void* rhsPair(SV* a, SV* b, VXR_DepTypeE dep, Inst* inst, void*) { return pair(Kind::RhsPair, a, b, dep, inst); }
    static void* rhsPairQ(SV* a, SV* b, VXR_DepTypeE dep, Inst* inst, void*)
    {
        return pair(Kind::RhsPairQ, a, b, dep, inst);
    }
    static void* doublet(SV* row, SV* p, SV* m, VXR_StampTargetE t, VXR_DepTypeE dep, Inst* inst, void*)
    {
        Call c{Kind::Doublet, ""};
        c.sv[0] = row;
        c.sv[1] = p;
        c.sv[2] = m;
        c.target = t;
        c.dep = dep;
        c.inst = inst;
        return self(inst).record(c);
    }
    static void* quartet(SV* a, SV* b, SV* ca, SV* cb, VXR_StampTargetE t, VXR_DepTypeE dep, Inst* inst, void*)
    {
        Call c{Kind::Quartet, ""};
        c.sv[0] = a;
        c.sv[1] = b;
        c.sv[2] = ca;
        c.sv[3] = cb;
        c.target = t;
        c.dep = dep;
        c.inst = inst;
        return self(inst).record(c);
    }
    static double temperature(Inst* inst, VXR160_SimInterface* si)
    {
        Call c{Kind::Temperature, ""};
        c.inst = inst;
        self(si).record(c);
        return self(si).temperatureK;
    }
    static void message(VXR_MessageTypeE t, const char* text, Inst* inst, VXR160_SimInterface* si)
    {
        Call c{Kind::Message, text};
        c.code = t;
        c.inst = inst;
        self(si).record(c);
    }
    static void systemRequest(const char* req, int code, Inst* inst, VXR160_ContribLoader*, VXR160_SimInterface* si)
    {
        Call c{Kind::SystemRequest, req};
        c.code = code;
        c.inst = inst;
        self(si).record(c);
    }

    VXR160_SimInterface si_{};
    std::deque<SV> svs_;
    std::deque<std::string> names_;
};

inline VXR160_ParamAssn realAssn(const char* name, double v)
{
    VXR160_ParamAssn a{};
    a.assnName = name;
    a.paramType = VXR_REAL_PARAM;
    a.paramVal.dval = v;
    return a;
}
inline VXR160_ParamAssn intAssn(const char* name, int v)
{
    VXR160_ParamAssn a{};
    a.assnName = name;
    a.paramType = VXR_INT_PARAM;
    a.paramVal.ival = v;
    return a;
}

// Row of the descriptor table by name (NULL when absent).
inline const VXR160_ParamDesc* row(const char* name)
{
    for (const VXR160_ParamDesc* r = lib().desc->paramDescArray; r->paramType != VXR_INVALID_PARAM; ++r)
        if (std::string(r->name) == name) return r;
    return nullptr;
}

} // namespace tc
