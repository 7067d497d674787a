// Per-revision adapters between the host and a model library.
#include "vxrhost/ModelLibrary.h"
#include "vxrhost/Eigenvalues.h"
#include "vxrhost/HostWaveforms142.h"

#include "VXR_Interface.h"
#include "vxrhost/PoleResidue.h"

#include <array>
#include <climits>
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <list>
#include <new>
#include <dlfcn.h>
#include <limits.h>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <stdlib.h>
#include <type_traits>
#include <utility>

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
        using LimitDesc = P##LimitFunctionDescriptor;               \
        using Array = P##Array;                                     \
        using OpState = P##GenericOperatorState;                    \
        using EventDesc = P##EventDesc;                             \
        using SVPair = P##StateVarPairT;                            \
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
// Null, a marker or another address just below null: one comparison.
constexpr uintptr_t kMarkerSpan = 4;
static_assert(VXR_UNCONNECTED_SV_VALUE >= -static_cast<intptr_t>(kMarkerSpan) && VXR_UNCONNECTED_SV_VALUE < 0 &&
              VXR_NO_NODE_SV_VALUE >= -static_cast<intptr_t>(kMarkerSpan) && VXR_NO_NODE_SV_VALUE < 0);
bool isNullOrMarker(const void* p) { return reinterpret_cast<uintptr_t>(p) + kMarkerSpan <= kMarkerSpan; }

constexpr uint32_t kRhsMagic = 0x52485348u; // "RHSH"
constexpr uint32_t kJacMagic = 0x4a414348u; // "JACH"

// Host-side stamp handles; the library keeps them as opaque pointers.
struct RhsHandle {
    uint32_t magic = kRhsMagic;
    uint32_t charge = 0; // beside the magic: one load checks both
    int a = -1, b = -1;  // rows; -1 = ground or absent
};
struct JacHandle {
    uint32_t magic = kJacMagic;
    int target = DC_ENTRY; // beside the magic: one load checks both
    int r1 = -1, r2 = -1, c1 = -1, c2 = -1;
    Quartet slots; // the entries' slots in the circuit's pattern
    int top = -1;  // the largest of them
    void setSlots(const Quartet& q) {
        slots = q;
        top = std::max(std::max(q.s11, q.s12), std::max(q.s21, q.s22));
    }
};

static_assert(offsetof(JacHandle, target) == sizeof(uint32_t) && sizeof(int) == sizeof(uint32_t));
static_assert(offsetof(RhsHandle, charge) == sizeof(uint32_t));

// Records a module keeps pointers to (state variables, stamp handles, names),
// placed one after another in creation order in blocks that never move: the
// records of a circuit's instances lie together in the order the load pass
// reads them.
class RecordArena {
public:
    static constexpr size_t kLine = 64;
    static constexpr size_t kMinBlock = 1024;
    static constexpr size_t kMaxBlock = size_t{1} << 20;

    RecordArena() = default;
    RecordArena(const RecordArena&) = delete;
    RecordArena& operator=(const RecordArena&) = delete;
    ~RecordArena() {
        for (Block& b : blocks_) ::operator delete(b.data, std::align_val_t{kLine});
    }

    template <class T> T& make() {
        static_assert(std::is_trivially_destructible_v<T>);
        return *::new (take(sizeof(T), alignof(T))) T();
    }
    const char* copy(const std::string& s) {
        char* p = static_cast<char*>(take(s.size() + 1, 1));
        std::memcpy(p, s.c_str(), s.size() + 1);
        return p;
    }

private:
    struct Block {
        std::byte* data;
        size_t size;
    };
    void* take(size_t size, size_t align) {
        size_t at = blocks_.empty() ? 0 : (pos_ + align - 1) & ~(align - 1);
        if (blocks_.empty() || at + size > blocks_.back().size) {
            const size_t last = blocks_.empty() ? 0 : blocks_.back().size;
            addBlock(std::max(size, std::clamp(2 * last, kMinBlock, kMaxBlock)));
            at = 0;
        }
        pos_ = at + size;
        return blocks_.back().data + at;
    }
    void addBlock(size_t bytes) {
        bytes = (bytes + kLine - 1) & ~(kLine - 1);
        blocks_.push_back({static_cast<std::byte*>(::operator new(bytes, std::align_val_t{kLine})), bytes});
        pos_ = 0;
    }
    std::vector<Block> blocks_;
    size_t pos_ = 0; // first free byte of the last block
};

// The host's delay object behind an absdelay operator: the argument's history
// at accepted time points, read back linearly interpolated. The library sees
// only the operator-state header at its start.
template <class OpState> struct DelaySpec {
    OpState head;
    std::vector<std::pair<double, double>>* history; // (time, argument), oldest first
    double value;  // argument of the latest load
    double delay;  // delay of the latest load
    double maxDelay;
    double factor; // d(delayed value)/d(argument) of the latest load

    static DelaySpec* make(const std::vector<std::pair<double, double>>& h) {
        auto* d = new DelaySpec{};
        d->head.opStateType = VXR_DELAY_SPEC;
        if constexpr (requires { d->head.pFreeSelf; }) d->head.pFreeSelf = &freeSelf;
        d->history = new std::vector<std::pair<double, double>>(h);
        d->factor = 1.0;
        return d;
    }
    static void release(void* p) {
        auto* d = static_cast<DelaySpec*>(p);
        if (!d) return;
        delete d->history;
        delete d;
    }
    static void freeSelf(OpState* p) { release(p); }
    static void* copy(void* p) {
        auto* src = static_cast<DelaySpec*>(p);
        if (!src) return nullptr;
        DelaySpec* d = make(*src->history);
        d->value = src->value;
        d->delay = src->delay;
        d->maxDelay = src->maxDelay;
        d->factor = src->factor;
        return d;
    }
    // The argument at time t from the history, with the latest load's
    // argument at time `now` beyond the last accepted point.
    double at(double t, double now) {
        const auto& h = *history;
        factor = 0.0;
        if (t >= h.back().first) {
            const double span = now - h.back().first;
            factor = span > 0 ? (t - h.back().first) / span : 1.0;
            return h.back().second + factor * (value - h.back().second);
        }
        if (t <= h.front().first) return h.front().second;
        auto hi = std::lower_bound(h.begin(), h.end(), t, [](const auto& p, double x) { return p.first < x; });
        auto lo = hi - 1;
        return lo->second + (hi->second - lo->second) * (t - lo->first) / (hi->first - lo->first);
    }
};
VXR_MathUtil g_mathUtil = {&hostDgeev};

// Non-template part of a model instance: what the callbacks need.
class InstanceBase : public Element {
public:
    InstanceBase(const std::string& name, Circuit& c) : Element(name), circuit_(c) {}
    // What a load reads comes first.
    HostServices* host = nullptr;
    EvalContext* ctx = nullptr; // the pass in progress
    // A time-derivative operator asks for its row scale and then loads its
    // charge, s * Q, alone into the row of a node it made with pSetupNode:
    // that node is the operator's variable, whose tolerances scale with s.
    double pendingRowScale = 0.0;

protected:
    Circuit& circuit_;

public:
    std::set<int> setupNodes; // unknowns made through pSetupNode
    std::vector<std::string> simParamNames;
    std::vector<FILE*> files; // host file descriptors fd-3
    int wrongTarget = 0;

    ~InstanceBase() override {
        for (FILE* f : files)
            if (f) std::fclose(f);
    }

    // The faults stay out of line, off the loads' hot path.
    [[gnu::cold, gnu::noinline]] void fault(const char* what) {
        if (ctx && ctx->loadFault.empty()) ctx->loadFault = "instance '" + name() + "': " + what;
    }
    // The loads a library makes in every pass: one validity check per
    // handle, the values added straight into the pass's buffers.
    template <bool Charge> void loadRhs(int n, void* const* h, const double* v) {
        const double rowScale = pendingRowScale;
        pendingRowScale = 0.0;
        EvalContext* c = ctx;
        if (!c) return;
        if constexpr (Charge)
            if (rowScale > 0 && n == 1) [[unlikely]] markDerivativeRow(h[0], rowScale);
        double* val = (Charge ? c->q : c->f).data();
        double* mag = (Charge ? c->qmag : c->fmag).data();
        // The magic and the target as the handle holds them side by side.
        const uint64_t valid = kRhsMagic | uint64_t{Charge} << 32;
        for (int i = 0; i < n; ++i) {
            const auto* r = static_cast<const RhsHandle*>(h[i]);
            uint64_t head = 0;
            if (r) std::memcpy(&head, r, sizeof head);
            if (head != valid) [[unlikely]] {
                if (!r || r->magic != kRhsMagic) {
                    fault("load through an invalid right-hand-side handle");
                    return;
                }
                noteWrongTarget();
            }
            const double x = v[i], ax = std::abs(x);
            if (r->a >= 0) {
                val[r->a] += x;
                mag[r->a] += ax;
            }
            if (r->b >= 0) {
                val[r->b] -= x;
                mag[r->b] += ax;
            }
        }
    }
    // A charge loaded alone into one row of a node made through pSetupNode,
    // right after the row scale was asked for: the node is an operator's
    // time-derivative variable.
    [[gnu::noinline]] void markDerivativeRow(const void* h, double rowScale) {
        const auto* r = static_cast<const RhsHandle*>(h);
        if (r && r->magic == kRhsMagic && r->b < 0 && !isDerivative(r->a, rowScale) && setupNodes.count(r->a))
            circuit_.markDerivative(r->a, rowScale);
    }
    // Whether unknown i is already a time-derivative variable of row scale s.
    bool isDerivative(int i, double s) const {
        if (i < 0 || i >= circuit_.size()) return false;
        const Unknown& u = circuit_.unknowns()[i];
        return u.kind == Unknown::DERIVATIVE && u.scale == s;
    }
    void loadRhs(int n, void** h, const double* v, bool charge) {
        if (charge) loadRhs<true>(n, h, v);
        else loadRhs<false>(n, h, v);
    }
    // expected: the target the handles must have been obtained for (or GEN_ENTRY).
    template <bool Charge> void loadJac(int n, void* const* h, const double* v, int expected) {
        pendingRowScale = 0.0;
        EvalContext* c = ctx;
        if (!c) return;
        if (c->carryRounding || !c->loadMatrix) [[unlikely]]
            return loadJacEntries<Charge>(n, h, v, expected);
        // Valid handles whose slots the buffer holds; anything else goes to
        // loadJacEntries from that entry on.
        std::vector<double>& M = Charge ? c->C : c->G;
        double* const m = M.data();
        const int size = static_cast<int>(M.size());
        const uint64_t valid = kJacMagic | uint64_t{static_cast<uint32_t>(expected)} << 32;
        for (int i = 0; i < n; ++i) {
            const auto* j = static_cast<const JacHandle*>(h[i]);
            uint64_t head = 0;
            if (j) std::memcpy(&head, j, sizeof head);
            if (head != valid || j->top >= size) [[unlikely]]
                return loadJacEntries<Charge>(n - i, h + i, v + i, expected);
            const double x = v[i];
            const Quartet& q = j->slots;
            if (q.s11 >= 0) m[q.s11] += x;
            if (q.s12 >= 0) m[q.s12] -= x;
            if (q.s21 >= 0) m[q.s21] -= x;
            if (q.s22 >= 0) m[q.s22] += x;
        }
    }
    template <bool Charge> [[gnu::noinline]] void loadJacEntries(int n, void* const* h, const double* v, int expected) {
        if (ctx->carryRounding) loadJacEntries<Charge, true>(n, h, v, expected);
        else loadJacEntries<Charge, false>(n, h, v, expected);
    }
    template <bool Charge, bool Carry>
    [[gnu::always_inline]] void loadJacEntries(int n, void* const* h, const double* v, int expected) {
        EvalContext* c = ctx;
        std::vector<double>& M = Charge ? c->C : c->G;
        const bool load = c->loadMatrix;
        // The magic and the target as the handle holds them side by side.
        const uint64_t valid = kJacMagic | uint64_t{static_cast<uint32_t>(expected)} << 32;
        for (int i = 0; i < n; ++i) {
            const auto* j = static_cast<const JacHandle*>(h[i]);
            uint64_t head = 0;
            if (j) std::memcpy(&head, j, sizeof head);
            if (head != valid) [[unlikely]] {
                if (!j || j->magic != kJacMagic) {
                    fault("load through an invalid Jacobian handle");
                    return;
                }
                if (j->target != GEN_ENTRY && j->target != expected) noteWrongTarget();
            }
            if (!load) continue;
            // The entries' slots were taken in setup; the buffer grows only
            // when the pattern grew during this pass.
            const double x = v[i];
            const Quartet& q = j->slots;
            if (j->top >= static_cast<int>(M.size())) [[unlikely]] {
                c->addQuartetGrowing(M, q, x);
                continue;
            }
            if constexpr (Carry) {
                c->addQuartetAs<true>(M, q, x);
            } else {
                double* m = M.data();
                if (q.s11 >= 0) m[q.s11] += x;
                if (q.s12 >= 0) m[q.s12] -= x;
                if (q.s21 >= 0) m[q.s21] -= x;
                if (q.s22 >= 0) m[q.s22] += x;
            }
        }
    }
    // zEntry: derivatives of a z-transform value, through handles obtained for ZTRANSFORM_ENTRY.
    void loadJac(int n, void** h, const double* v, bool charge, bool zEntry = false) {
        const int expected = zEntry ? ZTRANSFORM_ENTRY : (charge ? DDT_ENTRY : DC_ENTRY);
        if (charge) loadJac<true>(n, h, v, expected);
        else loadJac<false>(n, h, v, expected);
    }
    void addJac(const JacHandle& j, double v, bool charge) { ctx->addQuartet(charge ? ctx->C : ctx->G, j.slots, v); }
    [[gnu::cold, gnu::noinline]] void noteWrongTarget() {
        if (wrongTarget++ == 0)
            host->message(MessageTypeE_WARNING,
                          "instance '" + name() + "' loads a value into a handle obtained for another target", name());
    }
};

// Host state of a crossing or above event. The record and its descriptor
// are calloc'd: the library releases them with its own free (event teardown,
// saved event states).
struct CrossState {
    double prevF, prevT; // at the last accepted point
    double lastF, lastT; // of the latest signal
    int hasPrev;
    int above;
};

// A crossing of F through zero since the last accepted point, in the
// direction dir asks for (> 0 rising, < 0 falling, 0 either; above events
// rise only and also fire at the initial point when F >= 0). The event
// fires at a point no more than the time tolerance (at least a thousand
// minimum steps) after the interpolated crossing, or where |F| is within
// exprTol; a crossing further back asks the host to retry the step onto it.
// Detection works on the solution of each pass, so an event output jumps at
// the accepted point where the event fires.
int crossSignal(EvalContext& ctx, CrossState& st, double F, double dir, double timeTol, double exprTol, bool enabled) {
    st.lastF = F;
    st.lastT = ctx.time;
    if (!enabled) return 0;
    const bool initial = ctx.analysis != AnalysisKind::TRAN || ctx.initialStep;
    if (initial || !st.hasPrev) return initial && st.above && F >= 0.0 ? 1 : 0;
    if (st.above) dir = 1.0;
    const double P = st.prevF;
    const bool rising = P < 0.0 && F >= 0.0, falling = P > 0.0 && F <= 0.0;
    if (!((rising && dir >= 0.0) || (falling && dir <= 0.0))) return 0;
    const double tc = st.prevT + (0.0 - P) * (ctx.time - st.prevT) / (F - P);
    const double tol = std::max(timeTol, 1e3 * ctx.minStep);
    if (ctx.time - tc <= tol || std::abs(F) <= exprTol) return 1;
    // Half the tolerance past the crossing: F is clearly through zero there,
    // so that the Newton iterates of that point agree on the event.
    const double retry = tc + 0.5 * tol;
    if (ctx.crossPoint <= 0.0 || retry < ctx.crossPoint) ctx.crossPoint = retry;
    return 0;
}

thread_local InstanceBase* g_current = nullptr; // instance whose library call is running

struct CallGuard {
    InstanceBase* prev;
    explicit CallGuard(InstanceBase* i) : prev(g_current) { g_current = i; }
    ~CallGuard() { g_current = prev; }
};

// The source-stepping level scales transition outputs at DC unless the
// netlist sets the parameter itself.
constexpr const char* kTransitionSourceScale = "_transitionSourceScale";

template <class Inst, int K> double simParamValue(Inst*, double def) {
    InstanceBase* self = g_current;
    if (!self || K >= static_cast<int>(self->simParamNames.size())) return def;
    auto& m = self->host->options.simParams;
    const std::string& name = self->simParamNames[K];
    auto it = m.find(name);
    if (it != m.end()) return it->second;
    if (name == kTransitionSourceScale && self->ctx) return self->ctx->srcScale;
    return def;
}
// The host's junction-voltage limiter ("pnjlim", arguments vt and vcrit;
// as entry 0 it is also the default, then without arguments): above vcrit a
// step of more than two thermal voltages is cut back to the logarithm of the
// exponential's growth, so one Newton step changes the current by at most
// a bounded factor.
template <class Inst> unsigned hostJunctionLimiter(Inst*, double vnew, double vold, double* limited, double* args) {
    InstanceBase* self = g_current;
    const double vt = args ? args[0] : 0.025852;
    const double vcrit = args ? args[1] : 0.6;
    if (self) ++self->host->limiterCalls;
    if (!(vt > 0.0) || vnew <= vcrit || std::fabs(vnew - vold) <= 2.0 * vt) return 0;
    double v;
    if (vold > 0.0) {
        const double arg = 1.0 + (vnew - vold) / vt;
        v = arg > 0.0 ? vold + vt * std::log(arg) : vcrit;
    } else {
        v = vt * std::log(vnew / vt);
    }
    *limited = v;
    if (self) ++self->host->limitedSteps;
    return 1;
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

// The records of one circuit's model instances, shared by them: what every
// load reads, and the names and branch records besides.
struct CircuitRecords {
    RecordArena hot, cold;
};
// Called with g_libMutex held; the circuit's instances keep its records alive.
std::shared_ptr<CircuitRecords> circuitRecords(const Circuit& c) {
    static auto* byCircuit = new std::map<const Circuit*, std::weak_ptr<CircuitRecords>>;
    std::erase_if(*byCircuit, [](const auto& kv) { return kv.second.expired(); });
    std::weak_ptr<CircuitRecords>& w = (*byCircuit)[&c];
    std::shared_ptr<CircuitRecords> r = w.lock();
    if (!r) {
        r = std::make_shared<CircuitRecords>();
        w = r;
    }
    return r;
}
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
    // Made with g_libMutex held.
    ModelInstance(Circuit& c, const typename T::Desc* desc, const std::string& name, const std::vector<int>& nodes,
                  const std::vector<ParamValue>& params, const std::vector<ParamInfo>& table)
        : InstanceBase(name, c), desc_(desc), records_(circuitRecords(c)) {
        host = &c.host();
        buildTables();
        std::vector<SV*> terms;
        terminalNodes_ = nodes;
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
            } else if (p.isArray) {
                a.paramType = VXR_ARRAY_OF_REAL_PARAM;
                a.paramVal.pArrayVal = hostArray(p.values);
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

    // A real array record over host storage, valid while the instance lives;
    // the module copies it (bounds [0, n-1]).
    typename T::Array* hostArray(const std::vector<double>& values) {
        auto& data = arrayData_.emplace_back(values);
        auto& a = arrays_.emplace_back();
        std::memset(static_cast<void*>(&a), 0, sizeof a);
        a._arrayName = "";
        a._arrayType = VXR_REAL_ARRAY;
        const int n = static_cast<int>(values.size());
        if constexpr (R == 187) {
            auto& b = arrayBounds_.emplace_back(std::array<int, 2>{0, n - 1});
            a._digID = -1;
            a._numDims = 1;
            a._pLeftBounds = &b[0];
            a._pRightBounds = &b[1];
        } else {
            a._leftBound = 0;
            a._rightBound = n - 1;
        }
        a._boundsSet = n > 0; // an empty array has no bounds
        a._contentsModified = 1;
        a._dataLen = n;
        a._data._pReal = data.data();
        return &a;
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
        loadData[0] = inst_;
        loadData[1] = &ldr_;
        loadData[2] = firstSV_;
        loadData[3] = firstHandle_;
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

    bool limitGroup(LimitGroup& g) const override {
        g.terminals = terminalNodes_;
        g.internals.assign(setupNodes.begin(), setupNodes.end());
        g.internals.insert(g.internals.end(), isolated_.begin(), isolated_.end());
        return true;
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
        SV& sv = records_->hot.make<SV>();
        if (!firstSV_) firstSV_ = &sv;
        std::memset(static_cast<void*>(&sv), 0, sizeof(SV));
        sv.varName = records_->cold.copy(name);
        sv.pos = pos;
        sv.pParent = nullptr;
        sv.isAnalog = 1;
        sv.netType = CONTINUOUS_NET;
        sv.potAbsTol = host->options.vntol;
        sv.flowAbsTol = host->options.abstol;
        (void)isCurrent;
        return &sv;
    }
    template <class H> H& newHandle() {
        H& h = records_->hot.make<H>();
        if (!firstHandle_) firstHandle_ = &h;
        return h;
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
    static SV* cbSetupNode(const char* name, Inst* inst, typename T::NInfo* info, void* cb) {
        ModelInstance* s = self(inst, cb);
        // An integral or delay operator hands its nodal information over with
        // the request; a pole-residue branch keeps its own record.
        if (info && reinterpret_cast<intptr_t>(info) != VXR_NODAL_INFO_NONE_VALUE &&
            (info->nodeType == VXR_OPIDT || info->nodeType == VXR_OPDELAY))
            std::free(info);
        std::string n = s->name() + "." + (name ? name : "node");
        int pos = s->circuit_.addUnknown(n, false);
        s->setupNodes.insert(pos);
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
        typename T::BInfo& bi = s->records_->cold.template make<typename T::BInfo>();
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
        RhsHandle& h = s->template newHandle<RhsHandle>();
        h.a = s->index(a, "right-hand-side pair");
        h.b = s->index(b, "right-hand-side pair");
        h.charge = charge;
        return &h;
    }
    static void* cbGetRhsPair(SV* a, SV* b, VXR_DepTypeE, Inst* inst, void* cb) { return rhsHandle(a, b, inst, cb, false); }
    // The entry of an operator's row that the host's delay load or a
    // z-transform value fills: a value-part handle of the row.
    static void* cbGetRhsOpEntry(SV* row, VXR_StampTargetE, VXR_DepTypeE, Inst* inst, void* cb) {
        return rhsHandle(row, nullptr, inst, cb, false);
    }
    static void* cbGetRhsPairQ(SV* a, SV* b, VXR_DepTypeE, Inst* inst, void* cb) { return rhsHandle(a, b, inst, cb, true); }
    static void* cbGetDerivDoublet(SV* row, SV* plus, SV* minus, VXR_StampTargetE t, VXR_DepTypeE, Inst* inst, void* cb) {
        ModelInstance* s = self(inst, cb);
        JacHandle& h = s->template newHandle<JacHandle>();
        h.r1 = s->index(row, "derivative doublet");
        h.c1 = s->index(plus, "derivative doublet");
        h.c2 = s->index(minus, "derivative doublet");
        h.target = t;
        h.setSlots(s->circuit_.pattern().quartet(h.r1, h.r2, h.c1, h.c2));
        return &h;
    }
    static void* cbGetDerivQuartet(SV* r1, SV* r2, SV* c1, SV* c2, VXR_StampTargetE t, VXR_DepTypeE, Inst* inst, void* cb) {
        ModelInstance* s = self(inst, cb);
        JacHandle& h = s->template newHandle<JacHandle>();
        h.r1 = s->index(r1, "derivative quartet");
        h.r2 = s->index(r2, "derivative quartet");
        h.c1 = s->index(c1, "derivative quartet");
        h.c2 = s->index(c2, "derivative quartet");
        h.target = t;
        h.setSlots(s->circuit_.pattern().quartet(h.r1, h.r2, h.c1, h.c2));
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
    static int cbRand(SimIf* sim) { return self(sim)->host->rng(); }
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
    // ---- crossing and above events ----
    static typename T::EventDesc* cbCreateCrossEvent(Inst* inst, SimIf*) {
        auto* ev = static_cast<typename T::EventDesc*>(std::calloc(1, sizeof(typename T::EventDesc)));
        auto* st = static_cast<CrossState*>(std::calloc(1, sizeof(CrossState)));
        if (!ev || !st) {
            std::free(ev);
            std::free(st);
            return nullptr;
        }
        ev->pParent = inst;
        ev->eventType = VXR_EVT_CROSSING;
        ev->pPrivateInfo = st;
        return ev;
    }
    static CrossState* crossOf(typename T::EventDesc* ev) {
        return ev ? static_cast<CrossState*>(ev->pPrivateInfo) : nullptr;
    }
    static void cbResetCrossEvent(typename T::EventDesc* ev) {
        if (CrossState* st = crossOf(ev)) st->hasPrev = 0;
    }
    static void* cbSaveCrossEvent(typename T::EventDesc* ev) {
        CrossState* st = crossOf(ev);
        void* copy = st ? std::malloc(sizeof(CrossState)) : nullptr;
        if (copy) std::memcpy(copy, st, sizeof(CrossState));
        return copy;
    }
    static void cbRestoreCrossEvent(typename T::EventDesc* ev, void* saved) {
        if (CrossState* st = crossOf(ev); st && saved) std::memcpy(st, saved, sizeof(CrossState));
    }

    // ---- pole-residue branches (1.60, 1.42) ----
    // The host object: the saved-state header first, as the library expects.
    using PoleResHdr =
        std::conditional_t<R == 160, VXR160_GenericOperatorState, VXR142_GenericOperatorState>;
    struct PoleRes {
        PoleResHdr hdr;
        PoleResponse resp;
        ModelInstance* owner;
    };

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
    void loadAcMatrix(std::vector<std::complex<double>>& Y, double omega) const override {
        for (const PoleRes* o : poleRes_) {
            const std::complex<double> dH = o->resp.transfer({0.0, omega}) - o->resp.gain();
            for (auto [h, dval] : o->resp.acTerms) {
                const Quartet& q = static_cast<JacHandle*>(h)->slots;
                auto add = [&](int s, std::complex<double> v) {
                    if (s >= 0) Y[s] += v;
                };
                add(q.s11, dH * dval);
                add(q.s12, -dH * dval);
                add(q.s21, -dH * dval);
                add(q.s22, dH * dval);
            }
        }
    }

    // ---- loader members ----
    template <class... X> static void ldRhs(int n, void** h, double* v, Ldr* l, X...) { self(l)->template loadRhs<false>(n, h, v); }
    template <class... X> static void ldRhsQ(int n, void** h, double* v, Ldr* l, X...) { self(l)->template loadRhs<true>(n, h, v); }
    template <class... X> static void ldJac(int n, void** h, double* v, Ldr* l, X...) {
        self(l)->template loadJac<false>(n, h, v, DC_ENTRY);
    }
    template <class... X> static void ldJacQ(int n, void** h, double* v, Ldr* l, X...) {
        self(l)->template loadJac<true>(n, h, v, DDT_ENTRY);
    }
    template <class... X> static double ldGetSol(SV* sv, Ldr* l, X...) {
        const EvalContext* c = self(l)->ctx;
        if (isNullOrMarker(sv) || !c || !c->x) return 0.0;
        return c->sol(sv->pos);
    }
    template <class... X> static int ldNo(Ldr*, X...) { return 0; }
    template <class... X> static int ldStrobe(Ldr* l, X...) { return self(l)->ctx && self(l)->ctx->strobe ? 1 : 0; }
    template <class... X> static int ldYes(Ldr*, X...) { return 1; }
    template <class... X> static void ldDiscontinuity(int, Ldr*, X...) {}
    // A plain bound limits the next step; the other kinds (transition
    // corners, samples, timer ticks) name a time the host steps onto.
    template <class... X> static void ldBoundStep(double step, VXR_BoundTypeE type, Ldr* l, X...) {
        ModelInstance* s = self(l);
        if (!s->ctx || !(step > 0)) return;
        double& bound = type == BOUND_BOUNDSTEP ? s->ctx->boundStep : s->ctx->cornerStep;
        if (bound <= 0 || step < bound) bound = step;
    }
    static void ldSetBreak(double t, Ldr* l) {
        ModelInstance* s = self(l);
        if (s->ctx) s->ctx->breakRequests.push_back(t);
    }
    template <class... X>
    static int ldCrossSignal(typename T::EventDesc* ev, double F, double dir, double timeTol, double exprTol,
                             double enableVal, int, typename T::SVPair*, double*, unsigned*, double,
                             VXR_CrossArgTypeE, int, Ldr* l, X...) {
        ModelInstance* s = self(l);
        CrossState* st = crossOf(ev);
        if (!s->ctx || !st) return 0;
        st->above = ev->eventType == VXR_EVT_ABOVE;
        return crossSignal(*s->ctx, *st, F, dir, timeTol, exprTol, enableVal != 0.0);
    }
    template <class... X> static void ldAcceptCross(typename T::EventDesc* ev, Ldr*, X...) {
        if (CrossState* st = crossOf(ev)) {
            st->prevF = st->lastF;
            st->prevT = st->lastT;
            st->hasPrev = 1;
        }
    }
    // The z-domain filter's ramped value goes into the row of its variable.
    static void ldLoadZ(void*, void* rhs, double value, Ldr* l, Inst*) { self(l)->loadRhs(1, &rhs, &value, false); }
    static void ldLoadZdwrt(void*, void* doublet, double dval, Ldr* l, Inst*) {
        self(l)->loadJac(1, &doublet, &dval, false, true);
    }
    template <class... X> static int ldFinal(Ldr* l, X...) { return self(l)->ctx && self(l)->ctx->finalStep; }
    template <class... X> static int ldInitial(Ldr* l, X...) { return self(l)->ctx && self(l)->ctx->initialStep; }
    template <class... X> static double ldTime(Ldr* l, X...) { return self(l)->ctx ? self(l)->ctx->time : 0.0; }
    template <class... X> static double ldMinStep(Ldr* l, X...) { return self(l)->ctx ? self(l)->ctx->minStep : 0.0; }
    template <class... X> static double ldFreq(Ldr* l, X...) { return self(l)->ctx ? self(l)->ctx->freq : 0.0; }
    template <class... X> static double ldSourceLevel(Ldr* l, X...) { return self(l)->ctx ? self(l)->ctx->srcScale : 1.0; }
    template <class... X> static double ldDefault(VXR_DefaultTypeE t, Ldr* l, X...) {
        ModelInstance* s = self(l);
        auto& d = s->host->options.defaults;
        auto it = d.find(static_cast<int>(t));
        double v = it == d.end() ? 0.0 : it->second;
        // Kinds 7 and 8 are the pole-residue tolerances of the older revisions.
        if constexpr (R != 187) {
            if (it == d.end() && t == 7) v = 1e-3;
            if (it == d.end() && t == 8) v = 1e-6;
        }
        // The operator's own rule: not greater than zero means the built-in 1.0.
        if (t == VXR_BRANCHDDT_SCALE) s->pendingRowScale = v > 0 ? v : 1.0;
        return v;
    }
    template <class... X> static unsigned long ldMask(Ldr* l, X...) { return self(l)->ctx ? self(l)->ctx->mask : 0ul; }
    using Delay = DelaySpec<typename T::OpState>;
    static void* cbCreateDelaySpec(SimIf*) { return Delay::make({}); }
    // y = F(t - delay): the argument itself in static and small-signal
    // passes (AC adds the phase through delayEntries), else the history.
    template <class... X>
    static void ldLoadDelay(void* spec, void* rhs, double delay, double maxDelay, double value, Ldr* l, X...) {
        ModelInstance* s = self(l);
        auto* d = static_cast<Delay*>(spec);
        if (!d || !s->ctx) return;
        EvalContext& c = *s->ctx;
        auto& h = *d->history;
        if (!h.empty() && c.time < h.back().first) h.clear(); // a new analysis
        d->value = value;
        d->delay = delay;
        d->maxDelay = maxDelay;
        d->factor = 1.0;
        double delayed = value;
        if (c.analysis == AnalysisKind::TRAN && !(c.mask & VXR_ANALYSIS_STATIC) && !h.empty() && delay > 0)
            delayed = d->at(c.time - delay, c.time);
        s->loadRhs(1, &rhs, &delayed, false);
    }
    template <class... X> static void ldLoadDelayDwrt(void* spec, void* doublet, double dval, Ldr* l, X...) {
        ModelInstance* s = self(l);
        auto* d = static_cast<Delay*>(spec);
        auto* j = static_cast<JacHandle*>(doublet);
        if (!d || !s->ctx) return;
        if (!j || j->magic != kJacMagic) return s->fault("delay derivative through an invalid Jacobian handle");
        s->addJac(*j, d->factor * dval, false);
        if (s->ctx->analysis == AnalysisKind::AC && d->delay > 0) {
            for (int col : {j->c1, j->c2})
                if (j->r1 >= 0 && col >= 0)
                    s->ctx->delayEntries.push_back({j->r1, col, col == j->c1 ? dval : -dval, d->delay});
        }
    }
    template <class... X> static void ldAcceptDelay(void* spec, Ldr* l, X...) {
        ModelInstance* s = self(l);
        auto* d = static_cast<Delay*>(spec);
        if (!d || !s->ctx || s->ctx->analysis != AnalysisKind::TRAN) return;
        auto& h = *d->history;
        const double t = s->ctx->time;
        if (!h.empty() && h.back().first >= t) h.pop_back();
        h.push_back({t, d->value});
        // Keep what the largest delay may still read, and one point before it.
        const double horizon = t - std::max(d->maxDelay, d->delay);
        size_t keep = 0;
        while (keep + 1 < h.size() && h[keep + 1].first <= horizon) ++keep;
        if (keep > 0) h.erase(h.begin(), h.begin() + static_cast<std::ptrdiff_t>(keep));
    }
    // 1.42 transition and slew objects (HostWaveforms142.h): the waveform
    // goes into the branch row, its slope into the input's entries.
    WaveformPass wavePass() const {
        return {ctx->time, ctx->analysis == AnalysisKind::TRAN && !(ctx->mask & VXR_ANALYSIS_STATIC), ctx->minStep,
                &ctx->breakRequests};
    }
    static void ldLoadTransition(void* o, void* rhs, double F, double delay, double rise, double fall, double, Ldr* l) {
        ModelInstance* s = self(l);
        if (!o || !s->ctx) return;
        double y = loadTransition(o, s->wavePass(), F, delay, rise, fall);
        s->loadRhs(1, &rhs, &y, false);
    }
    static void ldLoadSlew(void* o, void* rhs, double F, double pos, double neg, Ldr* l) {
        ModelInstance* s = self(l);
        if (!o || !s->ctx) return;
        double y = loadSlew(o, s->wavePass(), F, pos, neg);
        s->loadRhs(1, &rhs, &y, false);
    }
    static void ldWaveformDwrt(void* o, void* doublet, double dval, Ldr* l) {
        ModelInstance* s = self(l);
        auto* j = static_cast<JacHandle*>(doublet);
        if (!o || !s->ctx) return;
        if (!j || j->magic != kJacMagic) return s->fault("waveform derivative through an invalid Jacobian handle");
        s->addJac(*j, waveformSlope(o) * dval, false);
    }
    static void ldAcceptWaveform(void* o, Ldr* l) {
        ModelInstance* s = self(l);
        if (o && s->ctx && s->ctx->analysis == AnalysisKind::TRAN) acceptWaveform(o, s->wavePass());
    }
    // A step that went past crossPoint is redone to end there.
    template <class... X> static void ldCrossViolation(double crossPoint, typename T::EventDesc*, int, Ldr* l, X...) {
        ModelInstance* s = self(l);
        if (!s->ctx || !std::isfinite(crossPoint)) return;
        if (s->ctx->crossPoint <= 0.0 || crossPoint < s->ctx->crossPoint) s->ctx->crossPoint = crossPoint;
    }
    // idtmod's integrator asks, at each accepted point, to be stepped so that
    // it moves at most a quarter of its modulus per step.
    static void ldRequestIntStep(double, double modVal, double, int, int, SV* sv, Ldr* l, Inst*) {
        ModelInstance* s = self(l);
        if (!s->ctx || !s->ctx->x || !sv || isMarker(sv) || sv->pos < 0 || !(modVal > 0)) return;
        const double t = s->ctx->time, v = s->ctx->sol(sv->pos);
        auto [it, fresh] = s->intSteps_.try_emplace(sv->pos, t, v);
        if (!fresh && t > it->second.first) {
            const double rate = std::abs(v - it->second.second) / (t - it->second.first);
            const double bound = 0.25 * modVal / rate;
            if (rate > 0 && (s->ctx->boundStep <= 0 || bound < s->ctx->boundStep)) s->ctx->boundStep = bound;
        }
        it->second = {t, v};
    }
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
        sim_.pCreateDelaySpec = &cbCreateDelaySpec;
        sim_.pCopyDelaySpec = &Delay::copy;
        if constexpr (R == 142) sim_.pFreeDelaySpec = &Delay::release;
        sim_.pCreateCrossEventDesc = &cbCreateCrossEvent;
        sim_.pResetCrossEvent = &cbResetCrossEvent;
        sim_.pSaveCrossEvent = &cbSaveCrossEvent;
        sim_.pRestoreCrossEvent = &cbRestoreCrossEvent;
        if (!host->options.simParams.count(kTransitionSourceScale)) simParamNames.push_back(kTransitionSourceScale);
        if constexpr (R == 142) {
            sim_.pCreateTransitionSpec = [](SimIf*) { return makeTransitionObject(); };
            sim_.pCopyTransitionSpec = &copyWaveformObject;
            sim_.pFreeTransitionSpec = &freeWaveformObject;
            sim_.pCreateSlewSpec = [](SimIf*) { return makeSlewObject(); };
            sim_.pCopySlewSpec = &copyWaveformObject;
            sim_.pFreeSlewSpec = &freeWaveformObject;
        }
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
        limiters_[0] = {"pnjlim", 2, &hostJunctionLimiter<Inst>};
        sim_.numOfLimitFunctions = 1;
        sim_.pLimitFunctionDescArray = limiters_;
        if constexpr (R == 187) {
            sim_.pGetRhsOpEntry = &cbGetRhsOpEntry;
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
        ldr_.pCrossEventSignal = VXR_LDR(ldCrossSignal);
        ldr_.pAcceptCross = VXR_LDR(ldAcceptCross);
        ldr_.pReportCrossViolation = VXR_LDR(ldCrossViolation);
        ldr_.pIsFinalStep = VXR_LDR(ldFinal);
        ldr_.pGetTime = VXR_LDR(ldTime);
        ldr_.pGetMinTimeStep = VXR_LDR(ldMinStep);
        ldr_.pGetFreq = VXR_LDR(ldFreq);
        ldr_.pGetDefault = VXR_LDR(ldDefault);
        ldr_.pGetAnalysisQueryMask = VXR_LDR(ldMask);
        ldr_.pLoadDelay = VXR_LDR(ldLoadDelay);
        ldr_.pLoadDelay_dwrt = VXR_LDR(ldLoadDelayDwrt);
        ldr_.pAcceptDelay = VXR_LDR(ldAcceptDelay);
        if constexpr (R == 187) {
            ldr_.pGetSourceLevel = &ldSourceLevel<Inst*>;
            ldr_.pInitTimeControlData = &ldInitTimeControl;
            ldr_.pRequestIntStep = &ldRequestIntStep;
            ldr_.pLoadZ_Transform = &ldLoadZ;
            ldr_.pLoadZ_Transform_dwrt = &ldLoadZdwrt;
        } else {
            ldr_.pSetTranBreakPoint = &ldSetBreak;
            ldr_.pLoadPoleResidue = &ldLoadPoleRes;
            ldr_.pLoadPoleResidue_dwrt = &ldLoadPoleResDwrt;
            ldr_.pAcceptPoleResidue = &ldAcceptPoleRes;
        }
        if constexpr (R == 142) {
            ldr_.pLoadTransition = &ldLoadTransition;
            ldr_.pLoadTransition_dwrt = &ldWaveformDwrt;
            ldr_.pAcceptTransition = &ldAcceptWaveform;
            ldr_.pLoadSlew = &ldLoadSlew;
            ldr_.pLoadSlew_dwrt = &ldWaveformDwrt;
            ldr_.pAcceptSlew = &ldAcceptWaveform;
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

    // What a load reads comes first, in a few adjacent cache lines.
    const typename T::Desc* desc_;
    Inst* inst_ = nullptr;
    std::vector<int> isolated_; // isolated nodes made for unconnected terminals
    Ldr ldr_;
    SimIf sim_;
    Ldr strobeLdr_;
    VXR_TimeStepRequests timeReq_{};
    std::vector<typename T::SimParam> simParams_;
    typename T::LimitDesc limiters_[1]{};
    std::list<typename T::Array> arrays_; // array parameter values handed to the module
    std::list<std::vector<double>> arrayData_;
    std::list<std::array<int, 2>> arrayBounds_;
    std::shared_ptr<CircuitRecords> records_;
    const void* firstSV_ = nullptr;     // this instance's first state variable
    const void* firstHandle_ = nullptr; // and first stamp handle
    std::vector<int> terminalNodes_;
    std::map<std::pair<int, int>, int> branchCount_;
    std::map<int, std::pair<double, double>> intSteps_; // integrators asking for steps: last (time, value)
    std::vector<std::pair<SV*, const char*>> setupNames_; // names given to pSetupNode during finalize
    std::set<PoleRes*> poleRes_; // live pole-residue objects made through this instance
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

namespace {
template <class T> T readAt(const std::string& b, uint64_t off) {
    T v{};
    std::memcpy(&v, b.data() + off, sizeof v);
    return v;
}

// Throws SimError naming the file unless it holds an ELF or PE header whose
// program headers, loaded segments and section table lie within the file: the
// loader maps a damaged file and faults on the missing pages.
void checkLibraryFile(const std::string& path, const std::string& shown) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw SimError("cannot load library '" + shown + "': cannot read the file");
    std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const uint64_t size = b.size();
    auto damaged = [&](const std::string& what) {
        throw SimError("cannot load library '" + shown + "': damaged file (" + what + ", the file has " +
                       std::to_string(size) + " bytes)");
    };
    auto within = [&](uint64_t off, uint64_t len, const std::string& what) {
        if (off > size || len > size - off) damaged(what + " ends at byte " + std::to_string(off + len));
    };
    if (size >= 4 && b.compare(0, 4, "\x7f" "ELF") == 0) {
        if (size < 52) damaged("ELF header cut short");
        const bool is64 = b[4] == 2;
        if (b[5] != 1) throw SimError("cannot load library '" + shown + "': not a little-endian ELF file");
        if (is64 && size < 64) damaged("ELF header cut short");
        const uint64_t phoff = is64 ? readAt<uint64_t>(b, 32) : readAt<uint32_t>(b, 28);
        const uint64_t shoff = is64 ? readAt<uint64_t>(b, 40) : readAt<uint32_t>(b, 32);
        const uint16_t phentsize = readAt<uint16_t>(b, is64 ? 54 : 42), phnum = readAt<uint16_t>(b, is64 ? 56 : 44);
        const uint16_t shentsize = readAt<uint16_t>(b, is64 ? 58 : 46), shnum = readAt<uint16_t>(b, is64 ? 60 : 48);
        if (phentsize < (is64 ? 56u : 32u) && phnum) damaged("bad program header size");
        within(phoff, uint64_t(phentsize) * phnum, "the program header table");
        if (shoff) within(shoff, uint64_t(shentsize) * shnum, "the section header table");
        for (uint16_t i = 0; i < phnum; ++i) {
            const uint64_t h = phoff + uint64_t(i) * phentsize;
            if (readAt<uint32_t>(b, h) != 1) continue; // PT_LOAD
            const uint64_t off = is64 ? readAt<uint64_t>(b, h + 8) : readAt<uint32_t>(b, h + 4);
            const uint64_t filesz = is64 ? readAt<uint64_t>(b, h + 32) : readAt<uint32_t>(b, h + 16);
            within(off, filesz, "loadable segment " + std::to_string(i));
        }
        return;
    }
    if (size >= 64 && b.compare(0, 2, "MZ") == 0) {
        const uint64_t pe = readAt<uint32_t>(b, 60);
        within(pe, 24, "the PE header");
        if (b.compare(pe, 4, std::string("PE\0\0", 4)) != 0) damaged("no PE signature");
        const uint16_t nsec = readAt<uint16_t>(b, pe + 6), optSize = readAt<uint16_t>(b, pe + 20);
        const uint64_t sec = pe + 24 + optSize;
        within(sec, uint64_t(nsec) * 40, "the section table");
        for (uint16_t i = 0; i < nsec; ++i) {
            const uint64_t h = sec + uint64_t(i) * 40;
            within(readAt<uint32_t>(b, h + 20), readAt<uint32_t>(b, h + 16), "section " + std::to_string(i));
        }
        return;
    }
    throw SimError("cannot load library '" + shown + "': not a shared library (no ELF or PE header)");
}
} // namespace

std::shared_ptr<ModelLibrary> ModelLibrary::open(const std::string& path) {
    std::lock_guard<std::recursive_mutex> lk(g_libMutex);
    static std::map<std::string, std::shared_ptr<ModelLibrary>> cache;
    char resolved[PATH_MAX];
    std::string key = realpath(path.c_str(), resolved) ? std::string(resolved) : path;
    if (auto it = cache.find(key); it != cache.end()) return it->second;

    if (path.empty()) throw SimError("cannot load library '': no file named");
    checkLibraryFile(key, path);
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
