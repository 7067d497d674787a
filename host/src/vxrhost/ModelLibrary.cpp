// Per-revision adapters between the host and a model library.
#include "vxrhost/ModelLibrary.h"

#include "VXR_Interface.h"
#include "vxrhost/PoleResidue.h"

#include <Eigen/Eigenvalues>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <dlfcn.h>
#include <limits.h>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <stdlib.h>

namespace vxr {

namespace {

// ---- Revision traits ----------------------------------------------------------------

template <int R> struct Rev;
#define VXR_HOST_REV_TRAITS(R, P)                                   \
    template <> struct Rev<R> {                                     \
        using SV = P##StateVar;                                     \
        using Inst = P##DeviceInst;                                 \
        using SimIf = P##SimInterface;                              \
        using Ldr = P##ContribLoader;                               \
        using Desc = P##ModuleDescriptor;                           \
        using Manifest = P##LibraryManifest;                        \
        using PDesc = P##ParamDesc;                                 \
        using PAssn = P##ParamAssn;                                 \
        using BInfo = P##BranchInfo;                                \
        using NInfo = P##NodalInfo;                                 \
        using ELog = P##ErrorLog;                                   \
        using Disc = P##DisciplineDescriptor;                       \
        using SimParam = P##SimParam;                               \
        using Array = P##Array;                                     \
        using GetManifestFn = P##GetLibraryManifestFn;              \
    };
VXR_HOST_REV_TRAITS(187, VXR187_)
VXR_HOST_REV_TRAITS(160, VXR160_)
VXR_HOST_REV_TRAITS(142, VXR142_)
#undef VXR_HOST_REV_TRAITS

bool isMarker(const void* p) {
    auto v = reinterpret_cast<intptr_t>(p);
    return v == VXR_UNCONNECTED_SV_VALUE || v == VXR_NO_NODE_SV_VALUE;
}

constexpr uint32_t kRhsMagic = 0x52485348u; // "RHSH"
constexpr uint32_t kJacMagic = 0x4a414348u; // "JACH"

// Host-side stamp handles; the library keeps them as opaque pointers.
struct RhsHandle {
    uint32_t magic = kRhsMagic;
    int a = -1, b = -1; // rows; -1 = ground or absent
    bool charge = false;
};
struct JacHandle {
    uint32_t magic = kJacMagic;
    int r1 = -1, r2 = -1, c1 = -1, c2 = -1;
    int target = DC_ENTRY;
};

// Eigenvalues for the library's root finder (LAPACK dgeev argument list).
// Only eigenvalues are computed; eigenvector requests are refused (info -1).
int hostDgeev(const char* jobvl, const char* jobvr, const int* n, double* a, const int* lda, double* wr, double* wi,
              double*, const int*, double*, const int*, double* work, const int* lwork, int* info) {
    if (*lwork == -1) {
        work[0] = 4.0 * *n;
        *info = 0;
        return 0;
    }
    if ((jobvl && (*jobvl == 'V' || *jobvl == 'v')) || (jobvr && (*jobvr == 'V' || *jobvr == 'v')) || *n < 0) {
        *info = -1;
        return 0;
    }
    Eigen::MatrixXd m(*n, *n);
    for (int c = 0; c < *n; ++c)
        for (int r = 0; r < *n; ++r) m(r, c) = a[r + c * *lda];
    Eigen::EigenSolver<Eigen::MatrixXd> es(m, false);
    if (es.info() != Eigen::Success) {
        *info = 1;
        return 0;
    }
    for (int i = 0; i < *n; ++i) {
        wr[i] = es.eigenvalues()[i].real();
        wi[i] = es.eigenvalues()[i].imag();
    }
    *info = 0;
    return 0;
}
VXR_MathUtil g_mathUtil = {&hostDgeev};

// Non-template part of a model instance: what the callbacks need.
class InstanceBase : public Element {
public:
    using Element::Element;
    HostServices* host = nullptr;
    EvalContext* ctx = nullptr; // the pass in progress
    std::vector<std::string> simParamNames;
    std::vector<FILE*> files; // host file descriptors fd-3
    int wrongTarget = 0;

    ~InstanceBase() override {
        for (FILE* f : files)
            if (f) std::fclose(f);
    }

    void fault(const std::string& what) {
        if (ctx && ctx->loadFault.empty()) ctx->loadFault = "instance '" + name() + "': " + what;
    }
    void loadRhs(int n, void** h, const double* v, bool charge) {
        if (!ctx) return;
        for (int i = 0; i < n; ++i) {
            auto* r = static_cast<RhsHandle*>(h[i]);
            if (!r || r->magic != kRhsMagic) {
                fault("load through an invalid right-hand-side handle");
                return;
            }
            if (r->charge != charge) noteWrongTarget();
            if (charge) {
                ctx->addQ(r->a, v[i]);
                ctx->addQ(r->b, -v[i]);
            } else {
                ctx->addF(r->a, v[i]);
                ctx->addF(r->b, -v[i]);
            }
        }
    }
    void loadJac(int n, void** h, const double* v, bool charge) {
        if (!ctx) return;
        for (int i = 0; i < n; ++i) {
            auto* j = static_cast<JacHandle*>(h[i]);
            if (!j || j->magic != kJacMagic) {
                fault("load through an invalid Jacobian handle");
                return;
            }
            if (j->target != GEN_ENTRY && j->target != (charge ? DDT_ENTRY : DC_ENTRY)) noteWrongTarget();
            if (!ctx->loadMatrix) continue;
            Eigen::MatrixXd& M = charge ? ctx->C : ctx->G;
            auto add = [&](int r, int c, double g) {
                if (r >= 0 && c >= 0) M(r, c) += g;
            };
            add(j->r1, j->c1, v[i]);
            add(j->r1, j->c2, -v[i]);
            add(j->r2, j->c1, -v[i]);
            add(j->r2, j->c2, v[i]);
        }
    }
    void noteWrongTarget() {
        if (wrongTarget++ == 0)
            host->message(MessageTypeE_WARNING,
                          "instance '" + name() + "' loads a value into a handle obtained for another target", name());
    }
};

thread_local InstanceBase* g_current = nullptr; // instance whose library call is running

struct CallGuard {
    InstanceBase* prev;
    explicit CallGuard(InstanceBase* i) : prev(g_current) { g_current = i; }
    ~CallGuard() { g_current = prev; }
};

template <class Inst, int K> double simParamValue(Inst*, double def) {
    InstanceBase* self = g_current;
    if (!self || K >= static_cast<int>(self->simParamNames.size())) return def;
    auto& m = self->host->options.simParams;
    auto it = m.find(self->simParamNames[K]);
    return it == m.end() ? def : it->second;
}
constexpr int kMaxSimParams = 16;
template <class Inst, class SimParam, int... K>
void fillSimParams(std::vector<SimParam>& t, const std::vector<std::string>& names, std::integer_sequence<int, K...>) {
    ((K < static_cast<int>(names.size()) ? (void)t.push_back(SimParam{names[K].c_str(), &simParamValue<Inst, K>})
                                         : (void)0),
     ...);
}

unsigned long analysisBit(const char* name) {
    static const char* names[] = {"ac", "dc", "noise", "tran", "ic", "static", "nodeset", "hb", "env", "pss"};
    for (int i = 0; i < 10; ++i)
        if (name && std::strcmp(name, names[i]) == 0) return 1ul << i;
    return 0;
}

std::recursive_mutex g_libMutex;
// Revision 1.42 instances (no destroy slot): kept reachable until the process
// ends; the container is never destroyed.
std::vector<void*>& retainedInstances() {
    static auto* v = new std::vector<void*>;
    return *v;
}

// ---- The per-revision instance adapter ---------------------------------------------

template <int R> class ModelInstance final : public InstanceBase {
    using T = Rev<R>;
    using SV = typename T::SV;
    using Inst = typename T::Inst;
    using SimIf = typename T::SimIf;
    using Ldr = typename T::Ldr;

public:
    ModelInstance(Circuit& c, const typename T::Desc* desc, const std::string& name, const std::vector<int>& nodes,
                  const std::vector<ParamValue>& params, const std::vector<ParamInfo>& table)
        : InstanceBase(name), circuit_(c), desc_(desc) {
        host = &c.host();
        buildTables();
        std::vector<SV*> terms;
        for (int n : nodes) {
            std::string nn = "0";
            if (n >= 0) nn = c.unknowns()[n].name;
            terms.push_back(newSV(nn, n, false));
        }
        // One scalar width record per terminal passed. A 1.87 module checks the
        // terminal count only against width records and binds the terminals
        // not passed as unconnected, so a short instance line passes none;
        // 1.60 and 1.42 modules get the records and judge the count themselves.
        std::vector<int> widths(3 * std::max<size_t>(terms.size(), 1), 0);
        int(*termWidth)[3] = reinterpret_cast<int(*)[3]>(widths.data());
        if (R == 187 && static_cast<int>(terms.size()) < desc_->numOfTerminals) termWidth = nullptr;
        std::vector<typename T::PAssn> assn(params.size());
        for (size_t i = 0; i < params.size(); ++i) {
            const ParamValue& p = params[i];
            auto& a = assn[i];
            a.assnName = p.name.c_str();
            const ParamInfo* info = nullptr;
            for (auto& pi : table)
                if (pi.name == p.name) info = &pi;
            if (p.isString) {
                a.paramType = VXR_STRING_PARAM;
                a.paramVal.strval = p.text.c_str();
            } else if (info && info->type == VXR_INT_PARAM) {
                if (p.number != std::floor(p.number) || std::abs(p.number) > INT_MAX)
                    throw SimError("parameter '" + p.name + "' of instance '" + name + "' needs an integer value");
                a.paramType = VXR_INT_PARAM;
                a.paramVal.ival = static_cast<int>(p.number);
            } else {
                a.paramType = VXR_REAL_PARAM;
                a.paramVal.dval = p.number;
            }
        }
        {
            CallGuard g(this);
            if constexpr (R == 187)
                inst_ = desc_->pCreateInstance(this->name().c_str(), &sim_, nullptr, static_cast<int>(terms.size()),
                                               termWidth, terms.data(),
                                               static_cast<int>(assn.size()), assn.data(), 0, 0);
            else
                inst_ = desc_->pCreateInstance(this->name().c_str(), &sim_, nullptr, static_cast<int>(terms.size()),
                                               termWidth, terms.data(),
                                               static_cast<int>(assn.size()), assn.data());
        }
        // A failed creation still releases what the library allocated: the
        // destructor does not run when the constructor throws.
        try {
            host->checkExit();
            if (!inst_) throw SimError("instance '" + name + "': the library did not create the instance");
            checkRange();
        } catch (...) {
            release();
            throw;
        }
    }

    void checkRange() {
        const std::string& name = this->name();
        if (desc_->pCheckRange) {
            const int cap = 32;
            std::vector<Inst*> insts(cap);
            std::vector<char*> strs(cap);
            typename T::ELog log{0, cap, insts.data(), strs.data()};
            {
                CallGuard g(this);
                desc_->pCheckRange(inst_, &log);
            }
            host->checkExit();
            if (log.length > 0) {
                std::string s = "instance '" + name + "': parameter";
                s += log.length > 1 ? "s " : " ";
                for (int i = 0; i < log.length && i < cap; ++i)
                    s += std::string(i ? ", '" : "'") + (strs[i] ? strs[i] : "?") + "'";
                s += " out of range";
                throw SimError(s);
            }
        }
    }

    ~ModelInstance() override {
        release();
        for (PoleRes* o : poleRes_) delete o; // objects the library never released
    }

    void release() {
        if (!inst_) return;
        CallGuard g(this);
        if constexpr (R != 142) {
            if (desc_->pDestroyDevice) desc_->pDestroyDevice(inst_);
        } else {
            // No destroy slot in this revision: the record stays reachable until exit.
            std::lock_guard<std::recursive_mutex> lk(g_libMutex);
            retainedInstances().push_back(inst_);
        }
        inst_ = nullptr;
    }

    void setup(Circuit&) override {
        {
            CallGuard g(this);
            desc_->pFinalizeTopology(inst_, this);
            adoptIsolatedNodes();
            if constexpr (R == 187) {
                host->checkExit();
                if (desc_->pCreateBranches) desc_->pCreateBranches(inst_, this);
                if (desc_->pReportNodalInfo) desc_->pReportNodalInfo(inst_);
                if (desc_->pReportTopology) desc_->pReportTopology(inst_);
            }
            host->checkExit();
            desc_->pSetStamp(inst_, this);
        }
        host->checkExit();
    }

    // Nodes the module made for terminals left unconnected (marked isolated
    // once pSetupNode returned) float; each is tied to ground through gmin so
    // that every analysis can solve it. Their names are heap copies handed
    // over with the node.
    void adoptIsolatedNodes() {
        for (auto& [sv, name] : setupNames_) {
            if (!sv->isIsolatedPort) continue;
            std::free(const_cast<char*>(name));
            if (sv->pos >= 0) isolated_.push_back(sv->pos);
        }
        setupNames_.clear();
    }

    void beginAnalysis(AnalysisKind, EvalContext& ctx) override {
        if constexpr (R == 187) {
            if (desc_->pExecAnalogInitial) call(ctx, [&] { desc_->pExecAnalogInitial(inst_, &ldr_); });
        }
    }

    void load(EvalContext& ctx) override {
        call(ctx, [&] { desc_->pGenLoad(inst_, &ldr_); });
        const double g = host->options.gmin;
        for (int i : isolated_) {
            ctx.addF(i, g * ctx.sol(i));
            ctx.addG(i, i, g);
        }
    }

    void accept(EvalContext& ctx) override {
        if (desc_->pTranAcceptPoint) call(ctx, [&] { desc_->pTranAcceptPoint(inst_, &ldr_); });
    }

    void strobe(EvalContext& ctx) override {
        if (!desc_->pDoStrobe) return;
        bool old = ctx.strobe;
        ctx.strobe = true;
        call(ctx, [&] { desc_->pDoStrobe(inst_, &strobeLdr_); });
        ctx.strobe = old;
    }

    // Parameter values through the get slots.
    std::string readParam(const ParamInfo& p) {
        CallGuard g(this);
        char buf[64];
        switch (p.type) {
        case VXR_REAL_PARAM:
            if (!desc_->pGetRealParam) return "";
            std::snprintf(buf, sizeof buf, "%.6g", desc_->pGetRealParam(inst_, p.location));
            return buf;
        case VXR_INT_PARAM:
            if (!desc_->pGetIntParam) return "";
            return std::to_string(desc_->pGetIntParam(inst_, p.location));
        case VXR_STRING_PARAM: {
            if (!desc_->pGetStringParam) return "";
            const char* s = desc_->pGetStringParam(inst_, p.location);
            return s ? std::string("\"") + s + "\"" : "\"\"";
        }
        case VXR_ARRAY_OF_REAL_PARAM:
        case VXR_ARRAY_OF_INT_PARAM: {
            auto* a = p.type == VXR_ARRAY_OF_REAL_PARAM ? (desc_->pGetRealArrayParam ? desc_->pGetRealArrayParam(inst_, p.location) : nullptr)
                                                        : (desc_->pGetIntArrayParam ? desc_->pGetIntArrayParam(inst_, p.location) : nullptr);
            if (!a) return "";
            std::string s = "[";
            for (int i = 0; i < a->_dataLen; ++i) {
                if (i) s += ", ";
                if (a->_arrayType == VXR_REAL_ARRAY)
                    std::snprintf(buf, sizeof buf, "%.6g", a->_data._pReal[i]);
                else
                    std::snprintf(buf, sizeof buf, "%d", a->_data._pInt[i]);
                s += buf;
            }
            return s + "]";
        }
        default:
            return "";
        }
    }

private:
    template <class F> void call(EvalContext& ctx, F&& f) {
        EvalContext* prev = this->ctx;
        this->ctx = &ctx;
        {
            CallGuard g(this);
            f();
        }
        this->ctx = prev;
        host->checkExit();
    }

    static ModelInstance* self(SimIf* s) { return s ? static_cast<ModelInstance*>(s->pSimInfo) : nullptr; }
    static ModelInstance* self(Inst* inst, void* cb) {
        if (cb) return static_cast<ModelInstance*>(static_cast<InstanceBase*>(cb));
        if (inst && inst->pSimInterface) return self(inst->pSimInterface);
        return static_cast<ModelInstance*>(g_current);
    }
    static ModelInstance* self(Ldr* l) { return static_cast<ModelInstance*>(static_cast<InstanceBase*>(l->pLoaderInfo)); }

    SV* newSV(const std::string& name, int pos, bool isCurrent) {
        SV& sv = svs_.emplace_back();
        std::memset(static_cast<void*>(&sv), 0, sizeof(SV));
        names_.push_back(name);
        sv.varName = names_.back().c_str();
        sv.pos = pos;
        sv.pParent = nullptr;
        sv.isAnalog = 1;
        sv.netType = CONTINUOUS_NET;
        sv.potAbsTol = host->options.vntol;
        sv.flowAbsTol = host->options.abstol;
        (void)isCurrent;
        return &sv;
    }
    int index(SV* sv, const char* what) {
        if (!sv) return -1;
        if (isMarker(sv)) {
            host->message(MessageTypeE_WARNING,
                          "instance '" + name() + "' asked for a " + what + " with an unconnected-terminal marker", name());
            return -1;
        }
        return sv->pos;
    }

    // ---- host table members ----
    static SV* cbSetupNode(const char* name, Inst* inst, typename T::NInfo*, void* cb) {
        ModelInstance* s = self(inst, cb);
        std::string n = s->name() + "." + (name ? name : "node");
        int pos = s->circuit_.addUnknown(n, false);
        SV* sv = s->newSV(n, pos, false);
        sv->pParent = inst;
        if (name) s->setupNames_.emplace_back(sv, name);
        return sv;
    }
    static SV* cbCreateBranch(const char* name, VXR_BranchTypeE type, SV* pos, SV* neg, Inst* inst, void* cb) {
        ModelInstance* s = self(inst, cb);
        std::string n = s->name() + "." + (name ? name : "branch");
        int idx = s->circuit_.addUnknown(n, type == VXR_VOLTAGE_BRANCH);
        SV* sv = s->newSV(n, idx, type == VXR_VOLTAGE_BRANCH);
        sv->pParent = inst;
        int a = s->index(pos, "branch"), b = s->index(neg, "branch");
        // Branches between the same two nodes (either direction) of one instance.
        auto key = std::make_pair(std::min(a, b), std::max(a, b));
        int count = ++s->branchCount_[key];
        typename T::BInfo& bi = s->binfo_.emplace_back();
        std::memset(static_cast<void*>(&bi), 0, sizeof bi);
        bi.origName = sv->varName;
        bi.pPosTerm = pos;
        bi.pNegTerm = neg;
        bi.dupCount = count;
        sv->pBranchInfo = &bi;
        return sv;
    }
    static void cbReportDiscipline(SV*, typename T::Disc*, Inst*, SimIf*) {}
    void reportNoise(int source, int plus, int minus, Inst* inst) {
        host->noiseReports.push_back({inst && inst->instName ? inst->instName : name(), source, plus, minus});
    }
    // 1.87 reports a right-hand-side handle, 1.60 a pair of state variables.
    static void cbReportNoiseContrib187(int source, void* contrib, Inst* inst, void* cb) {
        ModelInstance* s = self(inst, cb);
        auto* h = static_cast<RhsHandle*>(contrib);
        if (!h || h->magic != kRhsMagic) {
            s->host->message(MessageTypeE_WARNING,
                             "instance '" + s->name() + "' reports noise through an invalid right-hand-side handle",
                             s->name());
            return;
        }
        s->reportNoise(source, h->a, h->b, inst);
    }
    static void cbReportNoiseContrib160(int source, void* plus, void* minus, Inst* inst, void* cb) {
        ModelInstance* s = self(inst, cb);
        s->reportNoise(source, s->index(static_cast<SV*>(plus), "noise contribution"),
                       s->index(static_cast<SV*>(minus), "noise contribution"), inst);
    }
    static void* rhsHandle(SV* a, SV* b, Inst* inst, void* cb, bool charge) {
        ModelInstance* s = self(inst, cb);
        RhsHandle& h = s->rhs_.emplace_back();
        h.a = s->index(a, "right-hand-side pair");
        h.b = s->index(b, "right-hand-side pair");
        h.charge = charge;
        return &h;
    }
    static void* cbGetRhsPair(SV* a, SV* b, VXR_DepTypeE, Inst* inst, void* cb) { return rhsHandle(a, b, inst, cb, false); }
    static void* cbGetRhsPairQ(SV* a, SV* b, VXR_DepTypeE, Inst* inst, void* cb) { return rhsHandle(a, b, inst, cb, true); }
    static void* cbGetDerivDoublet(SV* row, SV* plus, SV* minus, VXR_StampTargetE t, VXR_DepTypeE, Inst* inst, void* cb) {
        ModelInstance* s = self(inst, cb);
        JacHandle& h = s->jac_.emplace_back();
        h.r1 = s->index(row, "derivative doublet");
        h.c1 = s->index(plus, "derivative doublet");
        h.c2 = s->index(minus, "derivative doublet");
        h.target = t;
        return &h;
    }
    static void* cbGetDerivQuartet(SV* r1, SV* r2, SV* c1, SV* c2, VXR_StampTargetE t, VXR_DepTypeE, Inst* inst, void* cb) {
        ModelInstance* s = self(inst, cb);
        JacHandle& h = s->jac_.emplace_back();
        h.r1 = s->index(r1, "derivative quartet");
        h.r2 = s->index(r2, "derivative quartet");
        h.c1 = s->index(c1, "derivative quartet");
        h.c2 = s->index(c2, "derivative quartet");
        h.target = t;
        return &h;
    }
    static double cbGetTemperature(Inst* inst, SimIf* sim) {
        ModelInstance* s = sim ? self(sim) : self(inst, nullptr);
        return s->host->options.temp + 273.15;
    }
    static unsigned long cbFormMask(SimIf*, int count, ...) {
        va_list ap;
        va_start(ap, count);
        unsigned long m = 0;
        for (int i = 0; i < count; ++i) m |= analysisBit(va_arg(ap, const char*));
        va_end(ap);
        return m;
    }
    static void cbMessage(VXR_MessageTypeE type, const char* text, Inst* inst, SimIf* sim) {
        ModelInstance* s = sim ? self(sim) : self(inst, nullptr);
        std::string t = text ? text : "";
        while (!t.empty() && t.back() == '\n') t.pop_back();
        if (t.empty()) return;
        if (s) s->host->message(type, t, inst && inst->instName ? inst->instName : s->name());
    }
    static void cbProhibitConvergence(Inst* inst, SimIf* sim) {
        ModelInstance* s = sim ? self(sim) : self(inst, nullptr);
        if (s && s->ctx) s->ctx->prohibitConvergence = true;
    }
    static void cbSeedRand(SimIf* sim, int seed) { self(sim)->host->rng.seed(static_cast<unsigned>(seed)); }
    static int cbRand(SimIf* sim) { return static_cast<int>(self(sim)->host->rng() & 0x7fffffffu); }
    static void cbSystemRequest(const char* req, int code, Inst* inst, Ldr*, SimIf* sim) {
        ModelInstance* s = sim ? self(sim) : self(inst, nullptr);
        s->host->systemRequest(req ? req : "", code, inst && inst->instName ? inst->instName : s->name());
    }
    FILE* file(int fd) {
        if (fd == 1) return stdout;
        if (fd == 2) return stderr;
        size_t i = static_cast<size_t>(fd - 3);
        return (fd >= 3 && i < files.size()) ? files[i] : nullptr;
    }
    static int cbFileOpen(const char* name, const char* mode, FILE** stream, const char** openMode, int, Inst* inst, SimIf* sim) {
        ModelInstance* s = sim ? self(sim) : self(inst, nullptr);
        const char* m = (mode && *mode) ? mode : "w";
        FILE* f = name ? std::fopen(name, m) : nullptr;
        if (!f) {
            s->host->message(MessageTypeE_WARNING, std::string("cannot open file '") + (name ? name : "") + "'", s->name());
            return 0;
        }
        s->files.push_back(f);
        if (stream) *stream = f;
        if (openMode) *openMode = m[0] == 'r' ? "r" : (m[0] == 'a' ? "a" : "w");
        return static_cast<int>(s->files.size()) + 2;
    }
    static void cbFileClose(int fd, Inst* inst, SimIf* sim) {
        ModelInstance* s = sim ? self(sim) : self(inst, nullptr);
        if (fd >= 3 && static_cast<size_t>(fd - 3) < s->files.size() && s->files[fd - 3]) {
            std::fclose(s->files[fd - 3]);
            s->files[fd - 3] = nullptr;
        }
    }
    static void cbFileWrite(int fd, const char* text, Inst* inst, SimIf* sim) {
        ModelInstance* s = sim ? self(sim) : self(inst, nullptr);
        if (FILE* f = s->file(fd); f && text) std::fputs(text, f);
    }
    static int cbFileScanf(int fd, const char* format, void* target, Inst* inst, SimIf* sim) {
        ModelInstance* s = sim ? self(sim) : self(inst, nullptr);
        FILE* f = s->file(fd);
        if (!f || !format || fd < 3) return 0;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        return target ? std::fscanf(f, format, target) : std::fscanf(f, format);
#pragma GCC diagnostic pop
    }
    static void cbFileFlush(int fd, Inst* inst, SimIf* sim) {
        ModelInstance* s = sim ? self(sim) : self(inst, nullptr);
        if (FILE* f = s->file(fd)) std::fflush(f);
    }
    static int cbFileSeek(FILE* f, long pos, Inst*, SimIf*) { return f ? std::fseek(f, pos, SEEK_SET) : -1; }
    static long cbFileTell(FILE* f, Inst*, SimIf*) { return f ? std::ftell(f) : -1; }
    static const char* cbComposeFullName(Inst* inst) { return inst ? inst->instName : ""; }
    static void cbReportTopology(SV*, SV*, VXR_TopologyTypeE, const char*, Inst*) {}

    // ---- pole-residue branches (1.60, 1.42) ----
    // The host object: the saved-state header first, as the library expects.
    using PoleResHdr =
        std::conditional_t<R == 160, VXR160_GenericOperatorState, VXR142_GenericOperatorState>;
    struct PoleRes {
        PoleResHdr hdr;
        PoleResponse resp;
        ModelInstance* owner;
    };
    std::set<PoleRes*> poleRes_; // live host objects made through this instance

    static PoleRes* adopt(PoleRes* o) {
        o->hdr.opStateType = VXR_POLERES_SPEC;
        if constexpr (R == 160) o->hdr.pFreeSelf = &cbFreePoleResSelf;
        o->owner->poleRes_.insert(o);
        return o;
    }
    static void* cbCreatePoleRes(SimIf* sim, void* branch) {
        return adopt(new PoleRes{{}, PoleResponse(static_cast<const PoleResRecord*>(branch)), self(sim)});
    }
    static void* cbCopyPoleRes(void* obj) {
        auto* o = new PoleRes(*static_cast<PoleRes*>(obj));
        o->resp.acTerms.clear();
        return adopt(o);
    }
    static void cbFreePoleRes(void* obj) {
        auto* o = static_cast<PoleRes*>(obj);
        if (!o) return;
        o->owner->poleRes_.erase(o);
        delete o;
    }
    static void cbFreePoleResSelf(PoleResHdr* obj) { cbFreePoleRes(obj); }
    static void ldLoadPoleRes(void* obj, void* rhs, double arg, Ldr* l) {
        ModelInstance* s = self(l);
        if (!s->ctx || !obj) return;
        double y = static_cast<PoleRes*>(obj)->resp.value(arg, *s->ctx);
        s->loadRhs(1, &rhs, &y, false);
    }
    static void ldLoadPoleResDwrt(void* obj, void* doublet, double dval, Ldr* l) {
        ModelInstance* s = self(l);
        if (!s->ctx || !obj) return;
        auto* o = static_cast<PoleRes*>(obj);
        double g = o->resp.gain() * dval;
        s->loadJac(1, &doublet, &g, false);
        o->resp.acTerms.push_back({doublet, dval});
    }
    static void ldAcceptPoleRes(void* obj, Ldr* l) {
        ModelInstance* s = self(l);
        if (s->ctx && obj) static_cast<PoleRes*>(obj)->resp.accept(*s->ctx);
    }
    // AC: the DC Jacobian holds the gain H(0); the rest of H(jw) goes here.
    void loadAcMatrix(Eigen::MatrixXcd& Y, double omega) const override {
        for (const PoleRes* o : poleRes_) {
            const std::complex<double> dH = o->resp.transfer({0.0, omega}) - o->resp.gain();
            for (auto [h, dval] : o->resp.acTerms) {
                auto* j = static_cast<JacHandle*>(h);
                auto add = [&](int r, int c, std::complex<double> v) {
                    if (r >= 0 && c >= 0) Y(r, c) += v;
                };
                add(j->r1, j->c1, dH * dval);
                add(j->r1, j->c2, -dH * dval);
                add(j->r2, j->c1, -dH * dval);
                add(j->r2, j->c2, dH * dval);
            }
        }
    }

    // ---- loader members ----
    template <class... X> static void ldRhs(int n, void** h, double* v, Ldr* l, X...) { self(l)->loadRhs(n, h, v, false); }
    template <class... X> static void ldRhsQ(int n, void** h, double* v, Ldr* l, X...) { self(l)->loadRhs(n, h, v, true); }
    template <class... X> static void ldJac(int n, void** h, double* v, Ldr* l, X...) { self(l)->loadJac(n, h, v, false); }
    template <class... X> static void ldJacQ(int n, void** h, double* v, Ldr* l, X...) { self(l)->loadJac(n, h, v, true); }
    template <class... X> static double ldGetSol(SV* sv, Ldr* l, X...) {
        ModelInstance* s = self(l);
        if (!sv || isMarker(sv) || !s->ctx || !s->ctx->x) return 0.0;
        return s->ctx->sol(sv->pos);
    }
    template <class... X> static int ldNo(Ldr*, X...) { return 0; }
    template <class... X> static int ldStrobe(Ldr* l, X...) { return self(l)->ctx && self(l)->ctx->strobe ? 1 : 0; }
    template <class... X> static int ldYes(Ldr*, X...) { return 1; }
    template <class... X> static void ldDiscontinuity(int, Ldr*, X...) {}
    template <class... X> static void ldBoundStep(double step, VXR_BoundTypeE, Ldr* l, X...) {
        ModelInstance* s = self(l);
        if (s->ctx && step > 0 && (s->ctx->boundStep <= 0 || step < s->ctx->boundStep)) s->ctx->boundStep = step;
    }
    static void ldSetBreak(double t, Ldr* l) {
        ModelInstance* s = self(l);
        if (s->ctx) s->ctx->breakRequests.push_back(t);
    }
    template <class... X> static int ldInitial(Ldr* l, X...) { return self(l)->ctx && self(l)->ctx->initialStep; }
    template <class... X> static double ldTime(Ldr* l, X...) { return self(l)->ctx ? self(l)->ctx->time : 0.0; }
    template <class... X> static double ldMinStep(Ldr* l, X...) { return self(l)->ctx ? self(l)->ctx->minStep : 0.0; }
    template <class... X> static double ldFreq(Ldr* l, X...) { return self(l)->ctx ? self(l)->ctx->freq : 0.0; }
    template <class... X> static double ldSourceLevel(Ldr* l, X...) { return self(l)->ctx ? self(l)->ctx->srcScale : 1.0; }
    template <class... X> static double ldDefault(VXR_DefaultTypeE t, Ldr* l, X...) {
        auto& d = self(l)->host->options.defaults;
        auto it = d.find(static_cast<int>(t));
        if (it != d.end()) return it->second;
        // Kinds 7 and 8 are the pole-residue tolerances of the older revisions.
        if constexpr (R != 187) {
            if (t == 7) return 1e-3;
            if (t == 8) return 1e-6;
        }
        return 0.0;
    }
    template <class... X> static unsigned long ldMask(Ldr* l, X...) { return self(l)->ctx ? self(l)->ctx->mask : 0ul; }
    static void ldInitTimeControl(VXR_TimeStepRequests* p) {
        if (!p) return;
        p->boundStep = -1.0;
        p->type = BOUND_BOUNDSTEP;
        p->crossPoint[0] = p->crossPoint[1] = p->crossPoint[2] = -1.0;
        p->order = -999;
    }

    void buildTables() {
        std::memset(static_cast<void*>(&sim_), 0, sizeof sim_);
        sim_.pSimInfo = static_cast<InstanceBase*>(this);
        sim_.pSetupNode = &cbSetupNode;
        sim_.pCreateBranch = &cbCreateBranch;
        sim_.pReportDiscipline = &cbReportDiscipline;
        sim_.pGetRhsPair = &cbGetRhsPair;
        sim_.pGetRhsPairQ = &cbGetRhsPairQ;
        sim_.pGetDerivDoublet = &cbGetDerivDoublet;
        sim_.pGetDerivQuartet = &cbGetDerivQuartet;
        if constexpr (R == 187)
            sim_.pReportNoiseContrib = &cbReportNoiseContrib187;
        else if constexpr (R == 160)
            sim_.pReportNoiseContrib = &cbReportNoiseContrib160;
        sim_.pGetTemperature = &cbGetTemperature;
        sim_.pFormAnalysisQueryMask = &cbFormMask;
        sim_.pMessage = &cbMessage;
        sim_.pProhibitConvergence = &cbProhibitConvergence;
        sim_.pSeedRand = &cbSeedRand;
        sim_.pRand = &cbRand;
        sim_.pSystemRequest = &cbSystemRequest;
        sim_.pFileOpen = &cbFileOpen;
        sim_.pFileClose = &cbFileClose;
        sim_.pFileWrite = &cbFileWrite;
        sim_.pFileScanf = &cbFileScanf;
        sim_.pFileFlush = &cbFileFlush;
        sim_.pFileSeek = &cbFileSeek;
        sim_.pFileTell = &cbFileTell;
        sim_.pComposeFullName = &cbComposeFullName;
        sim_.pMathUtil = &g_mathUtil;
        if constexpr (R != 187) {
            sim_.pCreatePoleResSpec = &cbCreatePoleRes;
            sim_.pCopyPoleResSpec = &cbCopyPoleRes;
        }
        if constexpr (R == 142) sim_.pFreePoleResSpec = &cbFreePoleRes;
        for (auto& kv : host->options.simParams) {
            if (static_cast<int>(simParamNames.size()) >= kMaxSimParams) break;
            simParamNames.push_back(kv.first);
        }
        fillSimParams<Inst>(simParams_, simParamNames, std::make_integer_sequence<int, kMaxSimParams>{});
        sim_.numOfSimParams = static_cast<int>(simParams_.size());
        sim_.pSimParamArray = simParams_.empty() ? nullptr : simParams_.data();
        if constexpr (R == 187) {
            ldInitTimeControl(&timeReq_);
            sim_.pTimeStepRequests = &timeReq_;
            sim_.pReportTopology = &cbReportTopology;
        }

        std::memset(static_cast<void*>(&ldr_), 0, sizeof ldr_);
        ldr_.pLoaderInfo = static_cast<InstanceBase*>(this);
#define VXR_LDR(fn) [] { if constexpr (R == 187) return &fn<Inst*>; else return &fn<>; }()
        ldr_.pLoadRhsPair = VXR_LDR(ldRhs);
        ldr_.pLoadRhsPairQ = VXR_LDR(ldRhsQ);
        ldr_.pLoadDerivQuartet = VXR_LDR(ldJac);
        ldr_.pLoadDerivDoublet = VXR_LDR(ldJac);
        ldr_.pLoadDerivQuartetQ = VXR_LDR(ldJacQ);
        ldr_.pLoadDerivDoubletQ = VXR_LDR(ldJacQ);
        ldr_.pGetSol = VXR_LDR(ldGetSol);
        ldr_.pDoNoise = VXR_LDR(ldNo);
        ldr_.pDoStrobe = VXR_LDR(ldStrobe);
        ldr_.pDoDisplay = VXR_LDR(ldStrobe);
        ldr_.pReportDiscontinuity = VXR_LDR(ldDiscontinuity);
        ldr_.pDoBoundStep = VXR_LDR(ldBoundStep);
        ldr_.pIsInitialStep = VXR_LDR(ldInitial);
        ldr_.pIsFinalStep = VXR_LDR(ldNo);
        ldr_.pGetTime = VXR_LDR(ldTime);
        ldr_.pGetMinTimeStep = VXR_LDR(ldMinStep);
        ldr_.pGetFreq = VXR_LDR(ldFreq);
        ldr_.pGetDefault = VXR_LDR(ldDefault);
        ldr_.pGetAnalysisQueryMask = VXR_LDR(ldMask);
        if constexpr (R == 187) {
            ldr_.pGetSourceLevel = &ldSourceLevel<Inst*>;
            ldr_.pInitTimeControlData = &ldInitTimeControl;
        } else {
            ldr_.pSetTranBreakPoint = &ldSetBreak;
            ldr_.pLoadPoleResidue = &ldLoadPoleRes;
            ldr_.pLoadPoleResidue_dwrt = &ldLoadPoleResDwrt;
            ldr_.pAcceptPoleResidue = &ldAcceptPoleRes;
        }
#undef VXR_LDR
        strobeLdr_ = ldr_;
        if constexpr (R == 187) {
            strobeLdr_.pDoStrobe = &ldYes<Inst*>;
            strobeLdr_.pDoDisplay = &ldYes<Inst*>;
        } else {
            strobeLdr_.pDoStrobe = &ldYes<>;
            strobeLdr_.pDoDisplay = &ldYes<>;
        }
        ldr_.pStrobeLoader = &strobeLdr_;
        strobeLdr_.pStrobeLoader = &strobeLdr_;
    }

    Circuit& circuit_;
    const typename T::Desc* desc_;
    SimIf sim_;
    Ldr ldr_, strobeLdr_;
    VXR_TimeStepRequests timeReq_{};
    std::vector<typename T::SimParam> simParams_;
    Inst* inst_ = nullptr;
    std::deque<SV> svs_;
    std::deque<typename T::BInfo> binfo_;
    std::deque<RhsHandle> rhs_;
    std::deque<JacHandle> jac_;
    std::deque<std::string> names_;
    std::map<std::pair<int, int>, int> branchCount_;
    std::vector<int> isolated_; // isolated nodes made for unconnected terminals
    std::vector<std::pair<SV*, const char*>> setupNames_; // names given to pSetupNode during finalize
};

// ---- The per-revision library adapter ------------------------------------------------

template <int R> class LibraryImpl final : public ModelLibrary {
    using T = Rev<R>;

public:
    LibraryImpl(const std::string& path, const VXR_LibraryVersion* v, const typename T::Manifest* m) : manifest_(m) {
        path_ = path;
        revision_ = R;
        versionText_ = v->revision ? v->revision : "?";
        if (v->fullRevision) versionText_ += std::string(" (") + v->fullRevision + ")";
        buildId_ = m->buildId ? m->buildId : "";
        if (m->numOfModules < 1 || !m->pModules) throw SimError("library '" + path + "' holds no module");
        desc_ = &m->pModules[0];
        moduleName_ = desc_->moduleName ? desc_->moduleName : "";
        for (int i = 0; i < desc_->numOfTerminals; ++i)
            terminals_.push_back(desc_->terminalNames && desc_->terminalNames[i] ? desc_->terminalNames[i] : "?");
        if (desc_->paramDescArray)
            for (int i = 0; i < desc_->numOfParams && desc_->paramDescArray[i].paramType != VXR_INVALID_PARAM; ++i) {
                auto& p = desc_->paramDescArray[i];
                params_.push_back({p.name ? p.name : "", static_cast<int>(p.paramType), p.paramLocation});
            }
        if (!desc_->pCreateInstance || !desc_->pFinalizeTopology || !desc_->pSetStamp || !desc_->pGenLoad)
            throw SimError("library '" + path + "': module '" + moduleName_ + "' lacks a required entry point");
    }

    std::unique_ptr<Element> makeInstance(Circuit& c, const std::string& name, const std::vector<int>& nodes,
                                          const std::vector<ParamValue>& params) override {
        std::lock_guard<std::recursive_mutex> lk(g_libMutex);
        return std::make_unique<ModelInstance<R>>(c, desc_, name, nodes, params, params_);
    }

    std::vector<ParamDefault> readDefaults() override {
        std::lock_guard<std::recursive_mutex> lk(g_libMutex);
        Circuit c;
        c.host().echoMessages = false;
        std::vector<int> nodes;
        for (auto& t : terminals_) nodes.push_back(c.node("__" + t));
        auto inst = std::make_unique<ModelInstance<R>>(c, desc_, "default", nodes, std::vector<ParamValue>{}, params_);
        std::vector<ParamDefault> out;
        for (auto& p : params_) out.push_back({p, inst->readParam(p)});
        return out;
    }

private:
    const typename T::Manifest* manifest_;
    const typename T::Desc* desc_ = nullptr;
};

} // namespace

const ParamInfo* ModelLibrary::findParam(const std::string& name) const {
    for (auto& p : params_)
        if (p.name == name) return &p;
    return nullptr;
}

std::shared_ptr<ModelLibrary> ModelLibrary::open(const std::string& path) {
    std::lock_guard<std::recursive_mutex> lk(g_libMutex);
    static std::map<std::string, std::shared_ptr<ModelLibrary>> cache;
    char resolved[PATH_MAX];
    std::string key = realpath(path.c_str(), resolved) ? std::string(resolved) : path;
    if (auto it = cache.find(key); it != cache.end()) return it->second;

    void* h = dlopen(key.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char* e = dlerror();
        throw SimError("cannot load library '" + path + "': " + (e ? e : "unknown error"));
    }
    // The library stays mapped for the life of the process.
    auto getVersion = reinterpret_cast<const VXR_LibraryVersion* (*)()>(dlsym(h, "getLibraryVersion"));
    void* getManifest = dlsym(h, "getLibraryManifest");
    if (!getVersion || !getManifest)
        throw SimError("library '" + path + "' does not export getLibraryVersion and getLibraryManifest");
    const VXR_LibraryVersion* v = getVersion();
    if (!v) throw SimError("library '" + path + "': getLibraryVersion returned nothing");
    std::shared_ptr<ModelLibrary> lib;
    if (v->major == 1 && v->minor == 87)
        lib = std::make_shared<LibraryImpl<187>>(key, v, reinterpret_cast<Rev<187>::GetManifestFn>(getManifest)());
    else if (v->major == 1 && v->minor == 60)
        lib = std::make_shared<LibraryImpl<160>>(key, v, reinterpret_cast<Rev<160>::GetManifestFn>(getManifest)());
    else if (v->major == 1 && v->minor == 42)
        lib = std::make_shared<LibraryImpl<142>>(key, v, reinterpret_cast<Rev<142>::GetManifestFn>(getManifest)());
    else
        throw SimError("library '" + path + "': unsupported interface revision " + std::to_string(v->major) + "." +
                       std::to_string(v->minor));
    cache[key] = lib;
    return lib;
}

std::string describeLibrary(ModelLibrary& lib) {
    static const char* types[] = {"real", "integer", "string", "real array", "integer array", "invalid"};
    std::ostringstream o;
    o << "library:    " << lib.path() << "\n";
    o << "revision:   " << lib.versionText() << "\n";
    o << "build id:   " << lib.buildId() << "\n";
    o << "module:     " << lib.moduleName() << "\n";
    o << "terminals:  ";
    for (size_t i = 0; i < lib.terminals().size(); ++i) o << (i ? " " : "") << lib.terminals()[i];
    o << "\n";
    auto defs = lib.readDefaults();
    size_t w = 4;
    for (auto& d : defs) w = std::max(w, d.info.name.size());
    o << "parameters: " << defs.size() << "\n";
    char line[512];
    std::snprintf(line, sizeof line, "  %-*s  %-13s  %s\n", static_cast<int>(w), "name", "type", "default");
    o << line;
    for (auto& d : defs) {
        int t = d.info.type;
        std::snprintf(line, sizeof line, "  %-*s  %-13s  %s\n", static_cast<int>(w), d.info.name.c_str(),
                      (t >= 0 && t <= 5) ? types[t] : "?", d.value.empty() ? "-" : d.value.c_str());
        o << line;
    }
    return o.str();
}

} // namespace vxr
