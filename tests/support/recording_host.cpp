#include "recording_host.h"

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>

namespace vxrtest {

namespace {
// Fallback for callbacks that carry no table, instance or loader.
RecordingHost* lastHost = nullptr;

std::string escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

// Splits "text\n   ['id', instance ..." or "text\n   [ id ]" into the text
// and the id; an instance-only context names no id.
void splitContext(MessageRecord& m) {
    m.body = m.text;
    m.hasId = false;
    const size_t at = m.text.find("\n   [");
    if (at == std::string::npos) return;
    const std::string ctx = m.text.substr(at + 5);
    m.body.resize(at);
    if (ctx.rfind("'", 0) == 0) {
        m.id = ctx.substr(1, ctx.find('\'', 1) - 1);
        m.hasId = true;
    } else if (ctx.rfind(" instance '", 0) != 0) {
        m.id = ctx.substr(1, ctx.find(" ]") - 1);
        m.hasId = true;
    }
}
} // namespace

const char* toString(Call c) {
    switch (c) {
    case Call::SetupNode: return "setupNode";
    case Call::CreateBranch: return "createBranch";
    case Call::CreateNodalAlias: return "createNodalAlias";
    case Call::ReportDiscipline: return "reportDiscipline";
    case Call::GetHandle: return "getHandle";
    case Call::GetTemperature: return "getTemperature";
    case Call::FormAnalysisQueryMask: return "formAnalysisQueryMask";
    case Call::Message: return "message";
    case Call::ProhibitConvergence: return "prohibitConvergence";
    case Call::SystemRequest: return "systemRequest";
    case Call::ComposeFullName: return "composeFullName";
    case Call::ReportTopology: return "reportTopology";
    case Call::ReportNoiseContrib: return "reportNoiseContrib";
    case Call::HandleDebugEvent: return "handleDebugEvent";
    case Call::SaveCrossEvent: return "saveCrossEvent";
    case Call::RestoreCrossEvent: return "restoreCrossEvent";
    case Call::HostFree: return "hostFree";
    case Call::FileOpen: return "fileOpen";
    case Call::FileClose: return "fileClose";
    case Call::FileWrite: return "fileWrite";
    case Call::FileScanf: return "fileScanf";
    case Call::FileFlush: return "fileFlush";
    case Call::FileSeek: return "fileSeek";
    case Call::FileTell: return "fileTell";
    case Call::SeedRand: return "seedRand";
    case Call::Rand: return "rand";
    case Call::GetSol: return "getSol";
    case Call::BatchLoad: return "batchLoad";
    case Call::LoadRhsAC: return "loadRhsAC";
    case Call::DoStrobe: return "doStrobe";
    case Call::DoDisplay: return "doDisplay";
    case Call::DoNoise: return "doNoise";
    case Call::GetDefault: return "getDefault";
    case Call::GetTime: return "getTime";
    case Call::GetAnalysisQueryMask: return "getAnalysisQueryMask";
    case Call::IsInitialStep: return "isInitialStep";
    case Call::IsFinalStep: return "isFinalStep";
    case Call::CreateRegPort: return "createRegPort";
    case Call::GetD2AElement: return "getD2AElement";
    case Call::GetEnvSol: return "getEnvSol";
    }
    return "?";
}

const char* toString(HandleKind k) {
    switch (k) {
    case HandleKind::RhsPair: return "getRhsPair";
    case HandleKind::RhsPairQ: return "getRhsPairQ";
    case HandleKind::RhsOpEntry: return "getRhsOpEntry";
    case HandleKind::DerivDoublet: return "getDerivDoublet";
    case HandleKind::DerivQuartet: return "getDerivQuartet";
    }
    return "?";
}

const char* toString(LoadKind k) {
    switch (k) {
    case LoadKind::RhsPair: return "loadRhsPair";
    case LoadKind::RhsPairQ: return "loadRhsPairQ";
    case LoadKind::DerivQuartet: return "loadDerivQuartet";
    case LoadKind::DerivDoublet: return "loadDerivDoublet";
    case LoadKind::DerivQuartetQ: return "loadDerivQuartetQ";
    case LoadKind::DerivDoubletQ: return "loadDerivDoubletQ";
    }
    return "?";
}

const char* toString(VXR_MessageTypeE t) {
    switch (t) {
    case MessageTypeE_INFO: return "INFO";
    case MessageTypeE_WARNING: return "WARNING";
    case MessageTypeE_ERROR: return "ERROR";
    case MessageTypeE_STROBE: return "STROBE";
    case MessageTypeE_DISPLAY: return "DISPLAY";
    case MessageTypeE_DEBUG: return "DEBUG";
    }
    return "?";
}

static const char* targetName(VXR_StampTargetE t) {
    switch (t) {
    case DC_ENTRY: return "DC";
    case DDT_ENTRY: return "DDT";
    case GEN_ENTRY: return "GEN";
    case ABSDELAY_ENTRY: return "ABSDELAY";
    case ZTRANSFORM_ENTRY: return "ZTRANSFORM";
    }
    return "?";
}

static const char* topologyName(VXR_TopologyTypeE t) {
    switch (t) {
    case TOPOLOGY_DC_SHORT: return "DC_SHORT";
    case TOPOLOGY_DC_OPEN: return "DC_OPEN";
    case TOPOLOGY_DC_RES: return "DC_RES";
    case TOPOLOGY_SWITCH: return "SWITCH";
    }
    return "?";
}

// ---- The table members ---------------------------------------------------------------

#if VXR_REVISION == 187
#define LDR_INST , VXR_DeviceInst* ldrInst
#define LDR_INST_ARG ldrInst
#else
#define LDR_INST
#define LDR_INST_ARG nullptr
#endif

struct HostCallbacks {
    static RecordingHost* of(VXR_DeviceInst* inst) {
        if (inst != nullptr && inst->pSimInterface != nullptr && inst->pSimInterface->pSimInfo != nullptr)
            return static_cast<RecordingHost*>(inst->pSimInterface->pSimInfo);
        return lastHost;
    }
    static RecordingHost* of(VXR_SimInterface* sim) {
        return sim != nullptr && sim->pSimInfo != nullptr ? static_cast<RecordingHost*>(sim->pSimInfo) : lastHost;
    }
    static RecordingHost* of(VXR_ContribLoader* ldr) {
        return ldr != nullptr && ldr->pLoaderInfo != nullptr ? static_cast<RecordingHost*>(ldr->pLoaderInfo)
                                                             : lastHost;
    }

    // host table
    static VXR_StateVar* setupNode(const char* name, VXR_DeviceInst* inst, VXR_NodalInfo* info, void* cb) {
        RecordingHost* h = of(inst);
        VXR_StateVar* sv = h->newStateVar(name != nullptr ? name : "", inst);
        h->nodes_.push_back({name != nullptr ? name : "", inst, info, cb, sv, name});
        if (h->ownNodeNames_ && name != nullptr) h->ownedNames_.push_back(const_cast<char*>(name));
        h->record(Call::SetupNode, h->nodes_.size() - 1);
        return sv;
    }
    static VXR_StateVar* createBranch(const char* name, VXR_BranchTypeE type, VXR_StateVar* pos, VXR_StateVar* neg,
                                      VXR_DeviceInst* inst, void*) {
        RecordingHost* h = of(inst);
        VXR_StateVar* sv = h->newStateVar(name != nullptr ? name : "", inst);
        h->branchInfos_.push_back(VXR_BranchInfo{});
        VXR_BranchInfo* bi = &h->branchInfos_.back();
        bi->origName = sv->varName;
        bi->pPosTerm = pos;
        bi->pNegTerm = neg;
        sv->pBranchInfo = bi;
        // dupCount: number of branches joining the same two nodes (either direction).
        int dup = 1;
        for (const BranchRecord& b : h->branches_)
            if ((b.pos == pos && b.neg == neg) || (b.pos == neg && b.neg == pos)) ++dup;
        bi->dupCount = dup;
        for (BranchRecord& b : h->branches_)
            if (((b.pos == pos && b.neg == neg) || (b.pos == neg && b.neg == pos)) && !h->dupCounts_.count(b.name))
                b.sv->pBranchInfo->dupCount = dup;
        auto scripted = h->dupCounts_.find(sv->varName);
        if (scripted != h->dupCounts_.end()) bi->dupCount = scripted->second;
        h->branches_.push_back({sv->varName, type, pos, neg, inst, sv});
        h->record(Call::CreateBranch, h->branches_.size() - 1);
        return sv;
    }
    static VXR_StateVar* createNodalAlias(const char* name, VXR_StateVar* sv, VXR_DeviceInst* inst, void*) {
        RecordingHost* h = of(inst);
        h->aliases_.push_back(std::string(name != nullptr ? name : "") + " = " + h->nameOf(sv));
        h->record(Call::CreateNodalAlias, h->aliases_.size() - 1);
        return sv;
    }
#if VXR_REVISION == 187
    static VXR_StateVar* createRegPort(const char* name, NetTypeE netType, int digRef, VXR_DeviceInst* inst,
                                       void* cb) {
        RecordingHost* h = of(inst);
        VXR_StateVar* sv = h->newStateVar(name != nullptr ? name : "", inst);
        h->regPorts_.push_back({name != nullptr ? name : "", netType, digRef, inst, cb, sv});
        if (h->ownNodeNames_ && name != nullptr) h->ownedNames_.push_back(const_cast<char*>(name));
        h->record(Call::CreateRegPort, h->regPorts_.size() - 1);
        return sv;
    }
    static double d2aRead(bool real, VXR_DeviceInst* inst, VXR_ContribLoader* ldr, int index, int offset, int size,
                          va_list ap) {
        RecordingHost* h = of(ldr);
        D2AReadRecord r{real, index, offset, {}, inst};
        for (int i = 0; i < size; ++i) r.indices.push_back(va_arg(ap, int));
        const auto it = r.indices.empty() ? h->d2aValues_.end() : h->d2aValues_.find(r.indices.back());
        h->d2aReads_.push_back(r);
        h->record(Call::GetD2AElement, h->d2aReads_.size() - 1, ldr, inst);
        return it != h->d2aValues_.end() ? it->second : 0.0;
    }
    static double getD2ARealElement(VXR_DeviceInst* inst, VXR_ContribLoader* ldr, int index, int offset, int size,
                                    ...) {
        va_list ap;
        va_start(ap, size);
        const double v = d2aRead(true, inst, ldr, index, offset, size, ap);
        va_end(ap);
        return v;
    }
    static int getD2AIntegerElement(VXR_DeviceInst* inst, VXR_ContribLoader* ldr, int index, int offset, int size,
                                    ...) {
        va_list ap;
        va_start(ap, size);
        const double v = d2aRead(false, inst, ldr, index, offset, size, ap);
        va_end(ap);
        return static_cast<int>(v);
    }
    static void getEnvSol(int slot, VXR_StateVar* a, VXR_StateVar* b, VXR_ContribLoader* ldr, VXR_DeviceInst* inst) {
        RecordingHost* h = of(ldr);
        h->envSols_.push_back({slot, a, b, inst});
        h->record(Call::GetEnvSol, h->envSols_.size() - 1, ldr, inst);
    }
#endif
    static void reportDiscipline(VXR_StateVar* sv, VXR_DisciplineDescriptor* d, VXR_DeviceInst* inst,
                                 VXR_SimInterface* sim) {
        RecordingHost* h = of(sim);
        h->disciplines_.push_back({sv, d, inst});
        h->record(Call::ReportDiscipline, h->disciplines_.size() - 1);
    }
    static void* getRhsPair(VXR_StateVar* a, VXR_StateVar* b, VXR_DepTypeE dep, VXR_DeviceInst* inst, void* cb) {
        return of(inst)->addHandle({HandleKind::RhsPair, {a, b, nullptr, nullptr}, DC_ENTRY, dep, inst, cb});
    }
    static void* getRhsPairQ(VXR_StateVar* a, VXR_StateVar* b, VXR_DepTypeE dep, VXR_DeviceInst* inst, void* cb) {
        return of(inst)->addHandle({HandleKind::RhsPairQ, {a, b, nullptr, nullptr}, DDT_ENTRY, dep, inst, cb});
    }
#if VXR_REVISION == 187
    static void* getRhsOpEntry(VXR_StateVar* a, VXR_StampTargetE t, VXR_DepTypeE dep, VXR_DeviceInst* inst,
                               void* cb) {
        return of(inst)->addHandle({HandleKind::RhsOpEntry, {a, nullptr, nullptr, nullptr}, t, dep, inst, cb});
    }
#endif
    static void* getDerivDoublet(VXR_StateVar* row, VXR_StateVar* plus, VXR_StateVar* minus, VXR_StampTargetE t,
                                 VXR_DepTypeE dep, VXR_DeviceInst* inst, void* cb) {
        return of(inst)->addHandle({HandleKind::DerivDoublet, {row, plus, minus, nullptr}, t, dep, inst, cb});
    }
    static void* getDerivQuartet(VXR_StateVar* a, VXR_StateVar* b, VXR_StateVar* c, VXR_StateVar* d,
                                 VXR_StampTargetE t, VXR_DepTypeE dep, VXR_DeviceInst* inst, void* cb) {
        return of(inst)->addHandle({HandleKind::DerivQuartet, {a, b, c, d}, t, dep, inst, cb});
    }
    static double getTemperature(VXR_DeviceInst*, VXR_SimInterface* sim) {
        RecordingHost* h = of(sim);
        h->record(Call::GetTemperature, h->simpleAnswers_.size());
        h->simpleAnswers_.push_back(h->temperature_);
        return h->temperature_;
    }
    static unsigned long formAnalysisQueryMask(VXR_SimInterface* sim, int count, ...) {
        RecordingHost* h = of(sim);
        static const char* const names[] = {"ac", "dc", "noise", "tran", "ic", "static", "nodeset", "hb", "env", "pss"};
        QueryMaskRecord r{{}, 0};
        va_list ap;
        va_start(ap, count);
        for (int i = 0; i < count; ++i) {
            const char* n = va_arg(ap, const char*);
            r.names.push_back(n != nullptr ? n : "(null)");
            for (unsigned k = 0; n != nullptr && k < sizeof names / sizeof names[0]; ++k)
                if (strcmp(n, names[k]) == 0) r.mask |= 1ul << k;
        }
        va_end(ap);
        h->queryMasks_.push_back(std::move(r));
        h->record(Call::FormAnalysisQueryMask, h->queryMasks_.size() - 1);
        return h->queryMasks_.back().mask;
    }
    static void message(VXR_MessageTypeE type, const char* text, VXR_DeviceInst* inst, VXR_SimInterface* sim) {
        RecordingHost* h = of(sim);
        h->messages_.push_back({type, text != nullptr ? text : "", inst, sim, "", "", false});
        splitContext(h->messages_.back());
        h->record(Call::Message, h->messages_.size() - 1);
    }
    static void prohibitConvergence(VXR_DeviceInst*, VXR_SimInterface* sim) {
        of(sim)->record(Call::ProhibitConvergence);
    }
    static void systemRequest(const char* req, int code, VXR_DeviceInst* inst, VXR_ContribLoader* ldr,
                              VXR_SimInterface* sim) {
        RecordingHost* h = of(sim);
        h->requests_.push_back({req != nullptr ? req : "", code, inst, ldr, sim});
        h->record(Call::SystemRequest, h->requests_.size() - 1);
    }
    static const char* composeFullName(VXR_DeviceInst* inst) {
        RecordingHost* h = of(inst);
        auto it = h->fullNames_.find(inst);
        h->names_.push_back(it != h->fullNames_.end() ? it->second
                                                      : std::string(inst != nullptr && inst->instName != nullptr
                                                                        ? inst->instName
                                                                        : ""));
        h->aliases_.push_back(h->names_.back());
        h->record(Call::ComposeFullName, h->aliases_.size() - 1);
        return h->names_.back().c_str();
    }
#if VXR_REVISION == 187
    static void reportTopology(VXR_StateVar* pos, VXR_StateVar* neg, VXR_TopologyTypeE t, const char* name,
                               VXR_DeviceInst* inst) {
        RecordingHost* h = of(inst);
        h->topology_.push_back({pos, neg, t, name != nullptr ? name : "", inst});
        h->record(Call::ReportTopology, h->topology_.size() - 1);
    }
    static void reportNoiseContrib(int n, void* key, VXR_DeviceInst* inst, void* cb) {
        RecordingHost* h = of(inst);
        h->noiseReports_.push_back({n, key, nullptr, inst, cb});
        h->record(Call::ReportNoiseContrib, h->noiseReports_.size() - 1);
    }
#elif VXR_REVISION == 160
    static void reportNoiseContrib(int n, void* key, void* key2, VXR_DeviceInst* inst, void* cb) {
        RecordingHost* h = of(inst);
        h->noiseReports_.push_back({n, key, key2, inst, cb});
        h->record(Call::ReportNoiseContrib, h->noiseReports_.size() - 1);
    }
#endif
    static void handleDebugEvent(VXR_DebugEventTypeE e, VXR_DeviceInst* inst, int line, const char* tag,
                                 VXR_ContribLoader* ldr) {
        RecordingHost* h = inst != nullptr ? of(inst) : of(ldr);
        h->debugEvents_.push_back({e, inst, line, tag != nullptr ? tag : "", ldr});
        h->record(Call::HandleDebugEvent, h->debugEvents_.size() - 1);
    }
    // The saved copy holds the event pointer; the runtime releases it with VXR_free.
    static void* saveCrossEvent(VXR_EventDesc* ev) {
        RecordingHost* h = of(ev != nullptr ? ev->pParent : nullptr);
        auto* copy = static_cast<VXR_EventDesc**>(VXR_malloc(sizeof(VXR_EventDesc*), nullptr, nullptr, nullptr));
        if (copy != nullptr) *copy = ev;
        h->crossEvents_.push_back({ev, copy});
        h->record(Call::SaveCrossEvent, h->crossEvents_.size() - 1);
        return copy;
    }
    static void restoreCrossEvent(VXR_EventDesc* ev, void* saved) {
        RecordingHost* h = of(ev != nullptr ? ev->pParent : nullptr);
        h->crossEvents_.push_back({ev, saved});
        h->record(Call::RestoreCrossEvent, h->crossEvents_.size() - 1);
    }
#if VXR_REVISION == 142
    template <const char* Kind>
    static void hostFree(void* p) {
        if (RecordingHost* h = lastHost) {
            h->hostFrees_.push_back({Kind, p});
            h->record(Call::HostFree, h->hostFrees_.size() - 1);
        }
        free(p);
    }
#endif

    // file services: the host's descriptors name real files
    static RecordingHost::OpenFile* file(RecordingHost* h, int fd) {
        for (RecordingHost::OpenFile& f : h->files_)
            if (f.fd == fd && f.f != nullptr) return &f;
        return nullptr;
    }
    static int fileOpen(const char* name, const char* mode, FILE** stream, const char** openMode, int,
                        VXR_DeviceInst*, VXR_SimInterface* sim) {
        RecordingHost* h = of(sim);
        FILE* f = name != nullptr && mode != nullptr ? fopen(name, mode) : nullptr;
        int fd = -1;
        if (f != nullptr) {
            fd = h->nextFd_++;
            h->files_.push_back({fd, name, mode, f});
            *stream = f;
            *openMode = h->files_.back().mode.c_str();
        }
        h->addFileCall({Call::FileOpen, fd, name != nullptr ? name : "(null)", mode != nullptr ? mode : "", 0});
        return f != nullptr ? fd : 0;
    }
    static void fileClose(int fd, VXR_DeviceInst*, VXR_SimInterface* sim) {
        RecordingHost* h = of(sim);
        RecordingHost::OpenFile* f = file(h, fd);
        h->addFileCall({Call::FileClose, fd, f != nullptr ? f->name : "?", "", 0});
        if (f == nullptr) return;
        fclose(f->f);
        f->f = nullptr;
    }
    static void fileWrite(int fd, const char* text, VXR_DeviceInst*, VXR_SimInterface* sim) {
        RecordingHost* h = of(sim);
        RecordingHost::OpenFile* f = file(h, fd);
        h->addFileCall({Call::FileWrite, fd, f != nullptr ? f->name : "?", text != nullptr ? text : "", 0});
        if (f != nullptr && text != nullptr) fputs(text, f->f);
    }
    static int fileScanf(int fd, const char* fmt, void* target, VXR_DeviceInst*, VXR_SimInterface* sim) {
        RecordingHost* h = of(sim);
        RecordingHost::OpenFile* f = file(h, fd);
        h->addFileCall({Call::FileScanf, fd, f != nullptr ? f->name : "?", fmt != nullptr ? fmt : "", 0});
        if (f == nullptr || fmt == nullptr) return EOF;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        return fscanf(f->f, fmt, target);
#pragma GCC diagnostic pop
    }
    static void fileFlush(int fd, VXR_DeviceInst*, VXR_SimInterface* sim) {
        RecordingHost* h = of(sim);
        RecordingHost::OpenFile* f = file(h, fd);
        h->addFileCall({Call::FileFlush, fd, f != nullptr ? f->name : "?", "", 0});
        if (f != nullptr) fflush(f->f);
    }
    static int fileSeek(FILE* f, long pos, VXR_DeviceInst*, VXR_SimInterface* sim) {
        RecordingHost* h = of(sim);
        h->addFileCall({Call::FileSeek, -1, h->fileName(f), "", pos});
        return fseek(f, pos, SEEK_SET);
    }
    static long fileTell(FILE* f, VXR_DeviceInst*, VXR_SimInterface* sim) {
        RecordingHost* h = of(sim);
        const long pos = ftell(f);
        h->addFileCall({Call::FileTell, -1, h->fileName(f), "", pos});
        return pos;
    }

    static void seedRand(VXR_SimInterface* sim, int seed) {
        RecordingHost* h = of(sim);
        h->randState_ = static_cast<uint32_t>(seed);
        if (h->recordRand_) {
            h->randCalls_.push_back({true, seed});
            h->record(Call::SeedRand, h->randCalls_.size() - 1);
        }
    }
    static int drawRand(VXR_SimInterface* sim) {
        RecordingHost* h = of(sim);
        int v;
        if (!h->scriptedRand_.empty()) {
            v = h->scriptedRand_.front();
            h->scriptedRand_.pop_front();
        } else {
            do
                h->randState_ = h->randState_ * 1664525u + 1013904223u;
            while (h->randState_ == 0x80000000u);
            v = static_cast<int>(h->randState_);
        }
        if (h->recordRand_) {
            h->randCalls_.push_back({false, v});
            h->record(Call::Rand, h->randCalls_.size() - 1);
        }
        return v;
    }

    // loader table
    template <LoadKind K>
    static void batch(int count, void** handles, double* values, VXR_ContribLoader* ldr LDR_INST) {
        of(ldr)->addBatch(K, count, handles, values, ldr, LDR_INST_ARG);
    }
    static void loadRhsAC(VXR_acSrc* src, VXR_StateVar* plus, VXR_StateVar* minus, double coeff,
                          VXR_ContribLoader* ldr) {
        RecordingHost* h = of(ldr);
        h->acLoads_.push_back({src, plus, minus, coeff});
        h->record(Call::LoadRhsAC, h->acLoads_.size() - 1, ldr);
    }
    static double getSol(VXR_StateVar* sv, VXR_ContribLoader* ldr LDR_INST) {
        RecordingHost* h = of(ldr);
        auto it = h->solution_.find(sv);
        double v = it != h->solution_.end() ? it->second : 0.0;
        if (h->recordGetSol_) {
            h->gets_.push_back({sv, v});
            h->record(Call::GetSol, h->gets_.size() - 1, ldr, LDR_INST_ARG);
        }
        return v;
    }
    static double answer(VXR_ContribLoader* ldr, VXR_DeviceInst* ldrInst, Call c, double v) {
        RecordingHost* h = of(ldr);
        h->record(c, h->simpleAnswers_.size(), ldr, ldrInst);
        h->simpleAnswers_.push_back(v);
        return v;
    }
    static int doStrobe(VXR_ContribLoader* ldr LDR_INST) {
        return (int)answer(ldr, LDR_INST_ARG, Call::DoStrobe, of(ldr)->strobe_);
    }
    static int doDisplay(VXR_ContribLoader* ldr LDR_INST) {
        return (int)answer(ldr, LDR_INST_ARG, Call::DoDisplay, of(ldr)->display_);
    }
    static int doNoise(VXR_ContribLoader* ldr LDR_INST) {
        return (int)answer(ldr, LDR_INST_ARG, Call::DoNoise, of(ldr)->noise_);
    }
    static int isInitialStep(VXR_ContribLoader* ldr LDR_INST) {
        return (int)answer(ldr, LDR_INST_ARG, Call::IsInitialStep, of(ldr)->initialStep_);
    }
    static int isFinalStep(VXR_ContribLoader* ldr LDR_INST) {
        return (int)answer(ldr, LDR_INST_ARG, Call::IsFinalStep, of(ldr)->finalStep_);
    }
    static double getTime(VXR_ContribLoader* ldr LDR_INST) {
        return answer(ldr, LDR_INST_ARG, Call::GetTime, of(ldr)->time_);
    }
    static double getZero(VXR_ContribLoader* LDR_INST) {
        (void)LDR_INST_ARG;
        return 0.0;
    }
    static double getDefault(VXR_DefaultTypeE type, VXR_ContribLoader* ldr LDR_INST) {
        RecordingHost* h = of(ldr);
        auto it = h->defaults_.find(type);
        double v = it != h->defaults_.end() ? it->second : 0.0;
        h->defaultGets_.push_back({type, v});
        h->record(Call::GetDefault, h->defaultGets_.size() - 1, ldr, LDR_INST_ARG);
        return v;
    }
    static unsigned long getAnalysisQueryMask(VXR_ContribLoader* ldr LDR_INST) {
        RecordingHost* h = of(ldr);
        h->record(Call::GetAnalysisQueryMask, h->simpleAnswers_.size(), ldr, LDR_INST_ARG);
        h->simpleAnswers_.push_back((double)h->analysisMask_);
        return h->analysisMask_;
    }
};

#if VXR_REVISION == 142
namespace {
constexpr char kDelay[] = "delay";
constexpr char kSlew[] = "slew";
constexpr char kTransition[] = "transition";
constexpr char kPoleRes[] = "poleres";
} // namespace
#endif

// ---- RecordingHost -------------------------------------------------------------------

RecordingHost::RecordingHost() {
    memset(&sim_, 0, sizeof sim_);
    memset(&ldr_, 0, sizeof ldr_);
    using H = HostCallbacks;

    sim_.pSimInfo = this;
    sim_.pSetupNode = H::setupNode;
    sim_.pCreateBranch = H::createBranch;
    sim_.pCreateNodalAlias = H::createNodalAlias;
    sim_.pReportDiscipline = H::reportDiscipline;
    sim_.pGetRhsPair = H::getRhsPair;
    sim_.pGetRhsPairQ = H::getRhsPairQ;
#if VXR_REVISION == 187
    sim_.pGetRhsOpEntry = H::getRhsOpEntry;
    sim_.pReportTopology = H::reportTopology;
    sim_.pCreateRegPort = H::createRegPort;
#endif
    sim_.pGetDerivDoublet = H::getDerivDoublet;
    sim_.pGetDerivQuartet = H::getDerivQuartet;
    sim_.pGetTemperature = H::getTemperature;
    sim_.pFormAnalysisQueryMask = H::formAnalysisQueryMask;
    sim_.pMessage = H::message;
    sim_.pProhibitConvergence = H::prohibitConvergence;
    sim_.pSystemRequest = H::systemRequest;
    sim_.pComposeFullName = H::composeFullName;
#if VXR_REVISION != 142
    sim_.pReportNoiseContrib = H::reportNoiseContrib;
#else
    sim_.pFreeDelaySpec = H::hostFree<kDelay>;
    sim_.pFreeSlewSpec = H::hostFree<kSlew>;
    sim_.pFreeTransitionSpec = H::hostFree<kTransition>;
    sim_.pFreePoleResSpec = H::hostFree<kPoleRes>;
#endif
    sim_.pHandleDebugEvent = H::handleDebugEvent;
    sim_.pSaveCrossEvent = H::saveCrossEvent;
    sim_.pRestoreCrossEvent = H::restoreCrossEvent;
    sim_.pFileOpen = H::fileOpen;
    sim_.pFileClose = H::fileClose;
    sim_.pFileWrite = H::fileWrite;
    sim_.pFileScanf = H::fileScanf;
    sim_.pFileFlush = H::fileFlush;
    sim_.pFileSeek = H::fileSeek;
    sim_.pFileTell = H::fileTell;
    sim_.pSeedRand = H::seedRand;
    sim_.pRand = H::drawRand;

    ldr_.pLoaderInfo = this;
    ldr_.pStrobeLoader = &ldr_;
    ldr_.pLoadRhsPair = H::batch<LoadKind::RhsPair>;
    ldr_.pLoadRhsPairQ = H::batch<LoadKind::RhsPairQ>;
    ldr_.pLoadDerivQuartet = H::batch<LoadKind::DerivQuartet>;
    ldr_.pLoadDerivDoublet = H::batch<LoadKind::DerivDoublet>;
    ldr_.pLoadDerivQuartetQ = H::batch<LoadKind::DerivQuartetQ>;
    ldr_.pLoadDerivDoubletQ = H::batch<LoadKind::DerivDoubletQ>;
    ldr_.pLoadRhsAC = H::loadRhsAC;
    ldr_.pLoadDelay = VXR_NullLoadDelay;
    ldr_.pLoadDelay_dwrt = VXR_NullLoadDelay_dwrt;
    ldr_.pAcceptDelay = VXR_NullAcceptDelay;
#if VXR_REVISION == 187
    ldr_.pLoadZ_Transform = VXR_NullLoadZ_Transform;
    ldr_.pLoadZ_Transform_dwrt = VXR_NullLoadZ_Transform_dwrt;
#else
    ldr_.pSetTranBreakPoint = VXR_NullSetTranBreakPoint;
    ldr_.pLoadPoleResidue = VXR_NullLoadPoleResidue;
    ldr_.pLoadPoleResidue_dwrt = VXR_NullLoadPoleResidue_dwrt;
    ldr_.pAcceptPoleResidue = VXR_NullAcceptPoleResidue;
#endif
#if VXR_REVISION == 142
    ldr_.pLoadTransition = VXR_NullLoadTransition;
    ldr_.pLoadTransition_dwrt = VXR_NullLoadTransition_dwrt;
    ldr_.pAcceptTransition = VXR_NullAcceptTransition;
    ldr_.pLoadSlew = VXR_NullLoadSlew;
    ldr_.pLoadSlew_dwrt = VXR_NullLoadSlew_dwrt;
    ldr_.pAcceptSlew = VXR_NullAcceptSlew;
#endif
    ldr_.pGetSol = H::getSol;
    ldr_.pDoNoise = H::doNoise;
    ldr_.pDoStrobe = H::doStrobe;
    ldr_.pDoDisplay = H::doDisplay;
    ldr_.pReportDiscontinuity = VXR_NullReportDiscontinuity;
    ldr_.pDoBoundStep = VXR_NullDoBoundStep;
    ldr_.pCrossEventSignal = staticCheckCrossEventSignal;
    ldr_.pReportCrossViolation = VXR_NullReportCrossViolation;
    ldr_.pIsInitialStep = H::isInitialStep;
    ldr_.pIsFinalStep = H::isFinalStep;
    ldr_.pGetTime = H::getTime;
    ldr_.pGetMinTimeStep = H::getZero;
    ldr_.pGetFreq = H::getZero;
    ldr_.pGetDefault = H::getDefault;
    ldr_.pGetAnalysisQueryMask = H::getAnalysisQueryMask;
#if VXR_REVISION == 187
    ldr_.pGetSourceLevel = H::getZero;
    ldr_.pInitTimeControlData = VXR_InitTimeControlData;
    ldr_.pAMS = &DefaultAMS_ContribLoader;
#endif
    lastHost = this;
}

RecordingHost::~RecordingHost() {
    for (void* name : ownedNames_) VXR_free(name);
    for (OpenFile& f : files_)
        if (f.f != nullptr) fclose(f.f);
    for (const std::string& t : tempFiles_) remove(t.c_str());
    if (lastHost == this) lastHost = nullptr;
}

#if VXR_REVISION == 187
void RecordingHost::recordMixedSignal() {
    ams_ = DefaultAMS_ContribLoader;
    ams_.pGetD2A_RealElement = HostCallbacks::getD2ARealElement;
    ams_.pGetD2A_IntegerElement = HostCallbacks::getD2AIntegerElement;
    ams_.pGetEnvSol = HostCallbacks::getEnvSol;
    ams_.pA2D_SM = a2d_.empty() ? nullptr : a2d_.data();
    ldr_.pAMS = &ams_;
}

void RecordingHost::setEnvelope(int numFreqs) {
    ams_.numEnvFreqs = numFreqs;
    ams_.pA2D_SMenv = numFreqs > 0 ? &envSlot_ : nullptr;
    ams_.envFreqs = numFreqs > 0 ? &envFreq_ : nullptr;
}
#endif

std::string RecordingHost::tempFile(const std::string& content) {
    char name[] = "/tmp/vxr_test_XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) abort();
    if (!content.empty() && write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()))
        abort();
    close(fd);
    tempFiles_.push_back(name);
    return name;
}

std::string RecordingHost::fileName(const FILE* f) const {
    for (const OpenFile& o : files_)
        if (o.f == f && f != nullptr) return o.name;
    return "?";
}

void RecordingHost::addFileCall(FileRecord r) {
    const Call c = r.call;
    fileCalls_.push_back(std::move(r));
    record(c, fileCalls_.size() - 1);
}

VXR_StateVar* RecordingHost::newStateVar(const std::string& name, VXR_DeviceInst* parent) {
    names_.push_back(name);
    stateVars_.push_back(VXR_StateVar{});
    VXR_StateVar* sv = &stateVars_.back();
    sv->varName = names_.back().c_str();
    sv->pParent = parent;
    sv->pos = nextPos_++;
    sv->isAnalog = 1;
    sv->netType = CONTINUOUS_NET;
    return sv;
}

VXR_StateVar* RecordingHost::terminal(const std::string& name) { return newStateVar(name, nullptr); }

VXR_StateVar* RecordingHost::stateVar(const std::string& name, VXR_DeviceInst* parent, int pos) {
    VXR_StateVar* sv = newStateVar(name, parent);
    --nextPos_;
    sv->pos = pos;
    return sv;
}

VXR_StateVar* RecordingHost::find(const std::string& name) const {
    for (const VXR_StateVar& sv : stateVars_)
        if (name == sv.varName) return const_cast<VXR_StateVar*>(&sv);
    return nullptr;
}

std::string RecordingHost::nameOf(const VXR_StateVar* sv) const {
    if (sv == nullptr) return "gnd";
    for (const VXR_StateVar& s : stateVars_)
        if (&s == sv) return s.varName;
    if (sv == UNCONNECTED_SV) return "unconnected";
    return "?";
}

void* RecordingHost::addHandle(const HandleRecord& h) {
    handles_.push_back(h);
    record(Call::GetHandle, handles_.size() - 1);
    return handle(handles_.size() - 1);
}

int RecordingHost::handleIndex(const void* h) const {
    uintptr_t v = reinterpret_cast<uintptr_t>(h);
    if (v == 0 || v > handles_.size()) return -1;
    return (int)(v - 1);
}

void RecordingHost::addBatch(LoadKind kind, int count, void** handles, const double* values,
                             VXR_ContribLoader* ldr, VXR_DeviceInst* ldrInst) {
    BatchRecord b{kind, {}, {}};
    for (int i = 0; i < count; ++i) {
        b.handles.push_back(handleIndex(handles[i]));
        b.values.push_back(values[i]);
    }
    batches_.push_back(std::move(b));
    record(Call::BatchLoad, batches_.size() - 1, ldr, ldrInst);
}

VXR_ParamAssn RecordingHost::real(const char* name, double v) {
    VXR_ParamAssn a{};
    a.assnName = name;
    a.paramType = VXR_REAL_PARAM;
    a.paramVal.dval = v;
    return a;
}

VXR_ParamAssn RecordingHost::integer(const char* name, int v) {
    VXR_ParamAssn a{};
    a.assnName = name;
    a.paramType = VXR_INT_PARAM;
    a.paramVal.ival = v;
    return a;
}

VXR_ParamAssn RecordingHost::text(const char* name, const char* v) {
    VXR_ParamAssn a{};
    a.assnName = name;
    a.paramType = VXR_STRING_PARAM;
    a.paramVal.strval = v;
    return a;
}

VXR_DeviceInst* RecordingHost::createInstance(const VXR_ModuleDescriptor* md, const char* name,
                                              std::vector<VXR_StateVar*> terminals,
                                              std::vector<VXR_ParamAssn> params, VXR_DeviceInst* parent) {
    names_.push_back(name != nullptr ? name : "");
    paramLists_.push_back(std::move(params));
    std::vector<VXR_ParamAssn>& assn = paramLists_.back();
    VXR_DeviceInst* inst = md->pCreateInstance(names_.back().c_str(), &sim_, parent, (int)terminals.size(), nullptr,
                                               terminals.data(), (int)assn.size(), assn.empty() ? nullptr : assn.data()
#if VXR_REVISION == 187
                                                                                       ,
                                               0, 0
#endif
    );
    if (inst != nullptr) instances_.push_back(inst);
    return inst;
}

void RecordingHost::finalize(VXR_DeviceInst* inst) {
    const VXR_ModuleDescriptor* md = inst->pModuleDescriptor;
    if (md->pFinalizeTopology != nullptr) md->pFinalizeTopology(inst, this);
#if VXR_REVISION == 187
    if (md->pCreateBranches != nullptr) md->pCreateBranches(inst, this);
    if (md->pReportNodalInfo != nullptr) md->pReportNodalInfo(inst);
    if (md->pReportTopology != nullptr) md->pReportTopology(inst);
#endif
}

void RecordingHost::setStamp(VXR_DeviceInst* inst) {
    if (inst->pModuleDescriptor->pSetStamp != nullptr) inst->pModuleDescriptor->pSetStamp(inst, this);
}

void RecordingHost::load(VXR_DeviceInst* inst) { inst->pModuleDescriptor->pGenLoad(inst, &ldr_); }

void RecordingHost::loadRhs(VXR_DeviceInst* inst) { inst->pModuleDescriptor->pGenLoadRHS(inst, &ldr_); }

void RecordingHost::destroy(VXR_DeviceInst* inst) {
#if VXR_REVISION != 142
    if (inst->pModuleDescriptor->pDestroyDevice != nullptr) inst->pModuleDescriptor->pDestroyDevice(inst);
#endif
    instances_.erase(std::remove(instances_.begin(), instances_.end(), inst), instances_.end());
}

std::vector<Call> RecordingHost::calls() const {
    std::vector<Call> out;
    for (const LogEntry& e : log_) out.push_back(e.call);
    return out;
}

std::string RecordingHost::member(const LogEntry& e) const {
    std::string name;
    switch (e.call) {
    case Call::GetHandle: name = toString(handles_[e.index].kind); break;
    case Call::BatchLoad: name = toString(batches_[e.index].kind); break;
    case Call::HostFree: {
        const std::string& k = hostFrees_[e.index].kind;
        name = k == "poleres"      ? "freePoleResSpec"
               : k == "transition" ? "freeTransitionSpec"
               : k == "slew"       ? "freeSlewSpec"
                                   : "freeDelaySpec";
        break;
    }
    case Call::GetD2AElement:
        return d2aReads_[e.index].real ? "pGetD2A_RealElement" : "pGetD2A_IntegerElement";
    default: name = toString(e.call); break;
    }
    name[0] = static_cast<char>(name[0] - 'a' + 'A');
    return "p" + name;
}

std::vector<std::string> RecordingHost::members() const {
    std::vector<std::string> out;
    for (const LogEntry& e : log_) out.push_back(member(e));
    return out;
}

std::vector<LogEntry> RecordingHost::entries(Call c) const {
    std::vector<LogEntry> out;
    for (const LogEntry& e : log_)
        if (e.call == c) out.push_back(e);
    return out;
}

size_t RecordingHost::count(Call c) const {
    return static_cast<size_t>(std::count_if(log_.begin(), log_.end(), [c](const LogEntry& e) { return e.call == c; }));
}

int RecordingHost::exitRequests() const {
    int n = 0;
    for (const RequestRecord& r : requests_) n += r.request == "exit" && r.code == 1;
    return n;
}

std::string RecordingHost::fmt(double v) const {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v); // shortest text that reads back as v
    return std::string(buf, r.ptr);
}

std::string RecordingHost::describe(const HandleRecord& h) const {
    std::string s = toString(h.kind);
    s += "(";
    switch (h.kind) {
    case HandleKind::RhsPair:
    case HandleKind::RhsPairQ: s += nameOf(h.sv[0]) + ", " + nameOf(h.sv[1]); break;
    case HandleKind::RhsOpEntry: s += nameOf(h.sv[0]) + ", " + targetName(h.target); break;
    case HandleKind::DerivDoublet:
        s += nameOf(h.sv[0]) + ", " + nameOf(h.sv[1]) + ", " + nameOf(h.sv[2]) + ", " + targetName(h.target);
        break;
    case HandleKind::DerivQuartet:
        s += nameOf(h.sv[0]) + ", " + nameOf(h.sv[1]) + ", " + nameOf(h.sv[2]) + ", " + nameOf(h.sv[3]) + ", " +
             targetName(h.target);
        break;
    }
    return s + ")";
}

std::string RecordingHost::describe(const LogEntry& e) const {
    switch (e.call) {
    case Call::SetupNode: return "setupNode " + nodes_[e.index].name;
    case Call::CreateBranch: {
        const BranchRecord& b = branches_[e.index];
        return "createBranch " + b.name + " (" + nameOf(b.pos) + ", " + nameOf(b.neg) + ") " +
               (b.type == VXR_VOLTAGE_BRANCH ? "voltage" : b.type == VXR_CURRENT_BRANCH ? "current" : "switch") +
               " dup=" + std::to_string(b.sv->pBranchInfo->dupCount);
    }
    case Call::CreateNodalAlias: return "createNodalAlias " + aliases_[e.index];
    case Call::ReportDiscipline: {
        const DisciplineRecord& d = disciplines_[e.index];
        return "reportDiscipline " + nameOf(d.sv) + " " +
               (d.discipline != nullptr && d.discipline->name != nullptr ? d.discipline->name : "(none)");
    }
    case Call::GetHandle: return describe(handles_[e.index]) + " -> h" + std::to_string(e.index);
    case Call::GetTemperature: return "getTemperature -> " + fmt(simpleAnswers_[e.index]);
    case Call::FormAnalysisQueryMask: {
        const QueryMaskRecord& q = queryMasks_[e.index];
        std::string args;
        for (size_t i = 0; i < q.names.size(); ++i) args += (i ? ", " : "") + q.names[i];
        return "formAnalysisQueryMask(" + args + ") -> " + std::to_string(q.mask);
    }
    case Call::Message: {
        const MessageRecord& m = messages_[e.index];
        return std::string("message ") + toString(m.type) + " \"" + escape(m.text) + "\"";
    }
    case Call::ProhibitConvergence: return "prohibitConvergence";
    case Call::SystemRequest:
        return "systemRequest " + requests_[e.index].request + " " + std::to_string(requests_[e.index].code);
    case Call::ComposeFullName: return "composeFullName -> " + aliases_[e.index];
    case Call::ReportTopology: {
        const TopologyRecord& t = topology_[e.index];
        return "reportTopology " + t.name + " (" + nameOf(t.pos) + ", " + nameOf(t.neg) + ") " + topologyName(t.type);
    }
    case Call::ReportNoiseContrib: {
        const NoiseReportRecord& n = noiseReports_[e.index];
        return "reportNoiseContrib " + std::to_string(n.count);
    }
    case Call::HandleDebugEvent: {
        const DebugEventRecord& d = debugEvents_[e.index];
        return "handleDebugEvent " + std::to_string(d.event) + " line " + std::to_string(d.line) +
               (d.tag.empty() ? "" : " " + d.tag);
    }
    case Call::SaveCrossEvent: return "saveCrossEvent";
    case Call::RestoreCrossEvent: return "restoreCrossEvent";
    case Call::HostFree: return "hostFree " + hostFrees_[e.index].kind;
    case Call::FileOpen:
    case Call::FileClose:
    case Call::FileWrite:
    case Call::FileScanf:
    case Call::FileFlush:
    case Call::FileSeek:
    case Call::FileTell: {
        const FileRecord& f = fileCalls_[e.index];
        std::string s = std::string(toString(e.call)) + " " + f.name;
        if (f.fd >= 0) s += " fd" + std::to_string(f.fd);
        if (!f.text.empty()) s += " \"" + escape(f.text) + "\"";
        if (e.call == Call::FileSeek || e.call == Call::FileTell) s += " " + std::to_string(f.pos);
        return s;
    }
    case Call::SeedRand: return "seedRand " + std::to_string(randCalls_[e.index].value);
    case Call::Rand: return "rand -> " + std::to_string(randCalls_[e.index].value);
    case Call::LoadRhsAC: {
        const AcLoadRecord& a = acLoads_[e.index];
        return "loadRhsAC (" + nameOf(a.plus) + ", " + nameOf(a.minus) + ") " + fmt(a.coeff);
    }
    case Call::GetSol: return "getSol " + nameOf(gets_[e.index].first) + " -> " + fmt(gets_[e.index].second);
    case Call::BatchLoad: {
        const BatchRecord& b = batches_[e.index];
        std::string s = toString(b.kind);
        for (size_t i = 0; i < b.handles.size(); ++i)
            s += " h" + (b.handles[i] < 0 ? std::string("?") : std::to_string(b.handles[i])) + "=" + fmt(b.values[i]);
        return s;
    }
    case Call::GetDefault:
        return "getDefault " + std::to_string(defaultGets_[e.index].first) + " -> " + fmt(defaultGets_[e.index].second);
    case Call::DoStrobe:
    case Call::DoDisplay:
    case Call::DoNoise:
    case Call::GetTime:
    case Call::GetAnalysisQueryMask:
    case Call::IsInitialStep:
    case Call::IsFinalStep: return std::string(toString(e.call)) + " -> " + fmt(simpleAnswers_[e.index]);
    case Call::CreateRegPort: {
        const RegPortRecord& r = regPorts_[e.index];
        return "createRegPort " + r.name + " net=" + std::to_string(r.netType) + " ref=" + std::to_string(r.digRef);
    }
    case Call::GetD2AElement: {
        const D2AReadRecord& r = d2aReads_[e.index];
        std::string s = std::string(r.real ? "getD2ARealElement" : "getD2AIntegerElement") + " import=" +
                        std::to_string(r.index) + " offset=" + std::to_string(r.offset);
        for (int i : r.indices) s += " [" + std::to_string(i) + "]";
        return s;
    }
    case Call::GetEnvSol: {
        const EnvSolRecord& r = envSols_[e.index];
        return "getEnvSol " + std::to_string(r.slot) + " (" + nameOf(r.sv1) + ", " + nameOf(r.sv2) + ")";
    }
    }
    return "?";
}

std::vector<std::string> RecordingHost::trace() const {
    std::vector<std::string> out;
    for (const LogEntry& e : log_) out.push_back(describe(e));
    return out;
}

std::vector<std::string> RecordingHost::messageTexts(VXR_MessageTypeE type) const {
    std::vector<std::string> out;
    for (const MessageRecord& m : messages_)
        if (m.type == type) out.push_back(m.text);
    return out;
}

std::vector<std::string> RecordingHost::messageTexts() const {
    std::vector<std::string> out;
    for (const MessageRecord& m : messages_) out.push_back(m.text);
    return out;
}

std::map<const void*, double> RecordingHost::lastBatch(LoadKind kind) const {
    std::map<const void*, double> out;
    for (auto b = batches_.rbegin(); b != batches_.rend(); ++b) {
        if (b->kind != kind) continue;
        for (size_t i = 0; i < b->handles.size(); ++i)
            out[b->handles[i] < 0 ? nullptr : handle(static_cast<size_t>(b->handles[i]))] += b->values[i];
        break;
    }
    return out;
}

void RecordingHost::clearLog() {
    log_.clear();
    batches_.clear();
    messages_.clear();
    requests_.clear();
    gets_.clear();
    defaultGets_.clear();
    simpleAnswers_.clear();
    queryMasks_.clear();
    noiseReports_.clear();
    debugEvents_.clear();
    crossEvents_.clear();
    hostFrees_.clear();
    fileCalls_.clear();
    acLoads_.clear();
    d2aReads_.clear();
    envSols_.clear();
    randCalls_.clear();
}

InstanceRecord::InstanceRecord(RecordingHost& host, const char* name, const char* moduleName, int numPorts)
    : InstanceRecord(host, name, static_cast<const VXR_ModuleDescriptor*>(nullptr), numPorts) {
    md.moduleName = moduleName;
}

InstanceRecord::InstanceRecord(RecordingHost& host, const char* name, const VXR_ModuleDescriptor* descriptor,
                               int numPorts)
    : ports(static_cast<size_t>(numPorts), nullptr) {
    inst.instName = name;
    inst.pModuleDescriptor = descriptor != nullptr ? const_cast<VXR_ModuleDescriptor*>(descriptor) : &md;
    inst.pSimInterface = host.sim();
    inst.numOfPorts = numPorts;
    inst.pPorts = ports.empty() ? nullptr : ports.data();
}

std::string withInstance(const std::string& text, const char* instName, const char* moduleName) {
    return text + "\n   [ instance '" + instName + "' of module type '" + moduleName + "' ]" +
           (VXR_REVISION == 187 ? "\n" : "");
}

} // namespace vxrtest
