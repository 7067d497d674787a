#include "vxrhost/Circuit.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace vxr {

namespace {
std::string lowerName(std::string s) {
    for (auto& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

bool isGround(const std::string& name) { return name == "0" || NameIndex::sameName(name, "gnd"); }

// The entries of a branch unknown br between a and b: its current in the
// rows of a and b (toBranch), its row's voltage across a and b (fromBranch).
void setupBranch(Circuit& c, int a, int b, int br, Quartet& toBranch, Quartet& fromBranch) {
    toBranch = c.pattern().quartet(a, b, br, -1);
    fromBranch = c.pattern().quartet(br, -1, a, b);
}

// A branch unknown carrying the current from a to b: the current leaves a's
// row and enters b's; the branch row gets sign * (v(a) - v(b)) - v.
void stampBranch(EvalContext& ctx, int a, int b, int br, double sign, double v, const Quartet& toBranch,
                 const Quartet& fromBranch) {
    double i = ctx.sol(br);
    ctx.addF(a, i);
    ctx.addF(b, -i);
    ctx.addQuartet(ctx.G, toBranch, 1.0);
    ctx.addF(br, sign * (ctx.sol(a) - ctx.sol(b)) - v);
    ctx.addQuartet(ctx.G, fromBranch, sign);
}
} // namespace

const char* severityName(int severity) {
    static const char* names[] = {"info", "warning", "error", "strobe", "display", "debug"};
    return (severity >= 0 && severity <= 5) ? names[severity] : "message";
}

void HostServices::message(int severity, const std::string& text, const std::string& instance) {
    messages.push_back({severity, text, instance});
    if (echoMessages) {
        if (severity == 3 || severity == 4) // strobe and display output as plain text
            std::fprintf(stderr, "%s\n", text.c_str());
        else
            std::fprintf(stderr, "%s: %s\n", severityName(severity), text.c_str());
    }
}

void HostServices::systemRequest(const std::string& request, int, const std::string& instance) {
    if (request == "exit") {
        if (!exitRequested) {
            exitRequested = true;
            exitInstance = instance;
            exitMessage.clear();
            for (auto it = messages.rbegin(); it != messages.rend(); ++it)
                if (it->severity == 0 || it->severity == 1 || it->severity == 2) {
                    // One line: a context line ("\n   [ instance ... ]") is joined with one space.
                    for (size_t i = 0; i < it->text.size(); ++i) {
                        if (it->text[i] != '\n') {
                            exitMessage += it->text[i];
                            continue;
                        }
                        while (i + 1 < it->text.size() && (it->text[i + 1] == ' ' || it->text[i + 1] == '\t')) ++i;
                        exitMessage += ' ';
                    }
                    break;
                }
        }
    } else if (request == "extrap") {
        ++extrapRequests;
    } else {
        message(1, "unknown system request '" + request + "' ignored", instance);
    }
}

void HostServices::throwExit() const {
    std::string s = "instance '" + exitInstance + "' requested the simulation to stop";
    if (!exitMessage.empty()) s += ": " + exitMessage;
    throw SimError(s);
}

void EvalContext::resize(int n) {
    f.setZero(n);
    q.setZero(n);
    fmag.setZero(n);
    qmag.setZero(n);
    prohibitConvergence = false;
    boundStep = 0.0;
    cornerStep = 0.0;
    crossPoint = 0.0;
    breakRequests.clear();
    delayEntries.clear();
    loadFault.clear();
    if (loadMatrix) {
        G.assign(pattern ? pattern->size() : 0, 0.0);
        C.assign(G.size(), 0.0);
        Glo.assign(carryRounding ? G.size() : 0, 0.0);
        Clo.assign(Glo.size(), 0.0);
    }
}

void EvalContext::addCarried(std::vector<double>& M, int s, double v) {
    std::vector<double>& low = &M == &C ? Clo : Glo;
    if (s >= static_cast<int>(low.size())) low.resize(M.size(), 0.0);
    const double sum = M[s] + v;
    low[s] += roundingOfSum(M[s], v, sum);
    M[s] = sum;
}

void EvalContext::addQuartetGrowing(std::vector<double>& M, const Quartet& q, double v) {
    M.resize(pattern->size(), 0.0);
    if (carryRounding) return addQuartetCarried(M, q, v);
    if (q.s11 >= 0) M[q.s11] += v;
    if (q.s12 >= 0) M[q.s12] -= v;
    if (q.s21 >= 0) M[q.s21] -= v;
    if (q.s22 >= 0) M[q.s22] += v;
}

void EvalContext::addQuartetCarried(std::vector<double>& M, const Quartet& q, double v) {
    for (auto [s, sign] : {std::pair{q.s11, 1.0}, {q.s12, -1.0}, {q.s21, -1.0}, {q.s22, 1.0}})
        if (s >= 0) addCarried(M, s, sign * v);
}

Circuit::Circuit() : host_(std::make_unique<HostServices>()) {}
Circuit::~Circuit() {
    // Model instances are destroyed before the unknown table they refer to.
    while (!elements_.empty()) elements_.pop_back();
}

int Circuit::node(const std::string& name) {
    if (isGround(name)) return -1;
    const auto [i, added] = nodes_.insert(name, size(), [&](int k) -> const std::string& { return unknowns_[k].name; });
    if (added) addUnknown(name, false);
    if (static_cast<int>(nodeUses_.size()) <= i) nodeUses_.resize(i + 1, 0);
    ++nodeUses_[i];
    return i;
}

int Circuit::findNode(const std::string& name) const {
    if (isGround(name)) return -1;
    if (int i = nodes_.find(name, [&](int k) -> const std::string& { return unknowns_[k].name; }); i >= 0) return i;
    int u = findUnknown(name);
    if (u >= 0 && !unknowns_[u].isCurrent()) return u;
    return -2;
}

int Circuit::addUnknown(const std::string& name, bool isCurrent) {
    const int i = static_cast<int>(unknowns_.size());
    unknowns_.push_back({name, isCurrent ? Unknown::CURRENT : Unknown::VOLTAGE});
    ++unknownsVersion_;
    return i;
}

void Circuit::markDerivative(int i, double s) {
    if (i < 0 || i >= size() || unknowns_[i].kind == Unknown::CURRENT) return;
    if (unknowns_[i].kind != Unknown::DERIVATIVE) ++unknownsVersion_;
    unknowns_[i].kind = Unknown::DERIVATIVE;
    unknowns_[i].scale = s;
}

int Circuit::findUnknown(const std::string& name) const {
    for (; unknownsIndexed_ < unknowns_.size(); ++unknownsIndexed_) {
        const std::string& n = unknowns_[unknownsIndexed_].name;
        unknownIndex_.try_emplace(n, static_cast<int>(unknownsIndexed_));
        unknownIndexLower_.try_emplace(lowerName(n), static_cast<int>(unknownsIndexed_));
    }
    // The exact name first: a module may have internal nodes that differ in case only.
    if (auto it = unknownIndex_.find(name); it != unknownIndex_.end()) return it->second;
    auto it = unknownIndexLower_.find(lowerName(name));
    return it != unknownIndexLower_.end() ? it->second : -1;
}

Element& Circuit::add(std::unique_ptr<Element> e) {
    const auto nameOf = [&](int k) -> const std::string& { return elements_[k]->name(); };
    if (!elementIndex_.insert(e->name(), static_cast<int>(elements_.size()), nameOf).second) throw SimError("duplicate element name '" + e->name() + "'");
    elements_.push_back(std::move(e));
    return *elements_.back();
}

void Circuit::reserve(size_t n) {
    elements_.reserve(elements_.size() + n);
    elementIndex_.reserve(elementIndex_.size() + n);
    unknowns_.reserve(unknowns_.size() + n);
    nodes_.reserve(nodes_.size() + n);
    nodeUses_.reserve(nodeUses_.size() + n);
}

Element* Circuit::find(const std::string& name) const {
    const int k = elementIndex_.find(name, [&](int i) -> const std::string& { return elements_[i]->name(); });
    return k >= 0 ? elements_[k].get() : nullptr;
}

void Circuit::setup() {
    // Most elements take a quartet of slots, and every unknown its diagonal.
    pattern_.reserve(4 * (elements_.size() - setupDone_) + static_cast<size_t>(size()));
    loadOrder_.reserve(elements_.size());
    for (; setupDone_ < elements_.size(); ++setupDone_) {
        Element* e = elements_[setupDone_].get();
        e->setup(*this);
        if (const auto* r = dynamic_cast<const Resistor*>(e)) loadOrder_.push_back({LoadEntry::RESISTOR, r->stamp(), e});
        else if (const auto* c = dynamic_cast<const Capacitor*>(e)) loadOrder_.push_back({LoadEntry::CAPACITOR, c->stamp(), e});
        else {
            loadOrder_.push_back({LoadEntry::ELEMENT, {}, e});
            loadedElements_.push_back(e);
        }
    }
    pattern_.addDiagonal(size());
}

void Circuit::evaluate(EvalContext& ctx, const Eigen::VectorXd& x) {
    ++loadPasses_;
    ctx.x = &x;
    ctx.pattern = &pattern_;
    ctx.resize(size());
    // A resistor or capacitor is stamped in place, with the very operations
    // of its load, where the pass loads the matrix without carrying rounding
    // (its slots were taken in setup, so the buffers hold them). A large
    // circuit's other elements lie far apart in memory: each is fetched a few
    // such elements ahead, and the memory it names a few after that. A null
    // address is not fetched: on some processors the dropped prefetch still
    // costs a page walk.
    constexpr size_t kAhead = 16;
    const bool inPlace = ctx.loadMatrix && !ctx.carryRounding;
    const double* xs = x.data();
    auto sol = [xs](int i) { return i < 0 ? 0.0 : xs[i]; };
    auto addRow = [](double* v, double* mag, int r, double d) {
        if (r >= 0) {
            v[r] += d;
            mag[r] += std::abs(d);
        }
    };
    auto addQuartet = [](double* m, const Quartet& q, double v) {
        if (q.s11 >= 0) m[q.s11] += v;
        if (q.s12 >= 0) m[q.s12] -= v;
        if (q.s21 >= 0) m[q.s21] -= v;
        if (q.s22 >= 0) m[q.s22] += v;
    };
    // Only a library requests an exit or misuses the loader, and each
    // library call is checked after it: a request standing from before the
    // pass stops it before its first library call.
    host_->checkExit();
    const size_t n = loadOrder_.size(), loaded = loadedElements_.size();
    const LoadEntry* entries = loadOrder_.data();
    size_t next = 0; // the loaded elements reached so far
    for (size_t i = 0; i < n; ++i) {
        const LoadEntry& e = entries[i];
#if defined(__GNUC__)
        static_assert(Element::kLoadData == 4);
        if (e.kind == LoadEntry::ELEMENT) {
            if (next + kAhead < loaded) __builtin_prefetch(loadedElements_[next + kAhead]);
            if (next + kAhead / 2 < loaded) {
                const void* const* d = loadedElements_[next + kAhead / 2]->loadData;
                for (int k = 0; k < Element::kLoadData; ++k)
                    if (d[k]) __builtin_prefetch(d[k]);
            }
            ++next;
        }
#endif
        if (e.kind == LoadEntry::RESISTOR && inPlace) {
            const LinearStamp& s = e.stamp;
            const double cur = (sol(s.a) - sol(s.b)) * s.value;
            addRow(ctx.f.data(), ctx.fmag.data(), s.a, cur);
            addRow(ctx.f.data(), ctx.fmag.data(), s.b, -cur);
            addQuartet(ctx.G.data(), s.q, s.value);
        } else if (e.kind == LoadEntry::CAPACITOR && inPlace) {
            const LinearStamp& s = e.stamp;
            const double charge = (sol(s.a) - sol(s.b)) * s.value;
            addRow(ctx.q.data(), ctx.qmag.data(), s.a, charge);
            addRow(ctx.q.data(), ctx.qmag.data(), s.b, -charge);
            addQuartet(ctx.C.data(), s.q, s.value);
        } else {
            e.element->load(ctx);
            host_->checkExit();
            if (!ctx.loadFault.empty()) throw SimError(ctx.loadFault);
        }
    }
    // Elements added since the last setup.
    for (size_t i = n; i < elements_.size(); ++i) {
        elements_[i]->load(ctx);
        host_->checkExit();
        if (!ctx.loadFault.empty()) throw SimError(ctx.loadFault);
    }
}

// ---- Built-in elements ------------------------------------------------------------

Resistor::Resistor(std::string name, int a, int b, double r) : Element(std::move(name)), a_(a), b_(b), g_(1.0 / r) {}

void Resistor::setup(Circuit& c) { q_ = c.pattern().quartet(a_, b_, a_, b_); }

void Resistor::load(EvalContext& ctx) {
    double i = (ctx.sol(a_) - ctx.sol(b_)) * g_;
    ctx.addF(a_, i);
    ctx.addF(b_, -i);
    ctx.stampG(q_, g_);
}

double Resistor::current(const Eigen::VectorXd& x) const {
    double va = a_ < 0 ? 0.0 : x[a_], vb = b_ < 0 ? 0.0 : x[b_];
    return (va - vb) * g_;
}

void Capacitor::setup(Circuit& c) { q_ = c.pattern().quartet(a_, b_, a_, b_); }

void Capacitor::load(EvalContext& ctx) {
    double qv = (ctx.sol(a_) - ctx.sol(b_)) * c_;
    ctx.addQ(a_, qv);
    ctx.addQ(b_, -qv);
    ctx.stampC(q_, c_);
}

void Inductor::setup(Circuit& c) {
    br_ = c.addUnknown(name() + "#branch", true);
    setupBranch(c, a_, b_, br_, toBranch_, fromBranch_);
    self_ = c.pattern().quartet(br_, -1, br_, -1);
}

void Inductor::load(EvalContext& ctx) {
    // Branch row: L di/dt - (v(a) - v(b)) = 0
    stampBranch(ctx, a_, b_, br_, -1.0, 0.0, toBranch_, fromBranch_);
    ctx.addQ(br_, l_ * ctx.sol(br_));
    ctx.addQuartet(ctx.C, self_, l_);
}

double Waveform::value(double t, AnalysisKind a) const {
    if (a != AnalysisKind::TRAN) {
        // DC value; a transient-only source uses its value at t = 0.
        if (kind == DC) return dc;
        t = 0.0;
    }
    switch (kind) {
    case DC:
        return dc;
    case PULSE: {
        double v1 = arg(0, 0), v2 = arg(1, 0), td = arg(2, 0), tr = arg(3, 0), tf = arg(4, 0), pw = arg(5, 1e300),
               per = arg(6, 1e300);
        if (t < td) return v1;
        double tt = t - td;
        if (per > 0 && per < 1e299) tt = std::fmod(tt, per);
        if (tr > 0 && tt < tr) return v1 + (v2 - v1) * tt / tr;
        if (tt < tr + pw) return v2;
        if (tf > 0 && tt < tr + pw + tf) return v2 + (v1 - v2) * (tt - tr - pw) / tf;
        return v1;
    }
    case PWL: {
        if (pwl.empty()) return 0.0;
        if (t <= pwl.front().first) return pwl.front().second;
        for (size_t i = 1; i < pwl.size(); ++i)
            if (t <= pwl[i].first) {
                auto [t0, v0] = pwl[i - 1];
                auto [t1, v1] = pwl[i];
                return t1 > t0 ? v0 + (v1 - v0) * (t - t0) / (t1 - t0) : v1;
            }
        return pwl.back().second;
    }
    case SIN: {
        double vo = arg(0, 0), va = arg(1, 0), fr = arg(2, 0), td = arg(3, 0), th = arg(4, 0), ph = arg(5, 0);
        if (t < td) return vo + va * std::sin(kPi * ph / 180.0);
        double tt = t - td;
        return vo + va * std::exp(-tt * th) * std::sin(2 * kPi * fr * tt + kPi * ph / 180.0);
    }
    }
    return dc;
}

void Waveform::breakpoints(double t0, double t1, std::vector<double>& out) const {
    auto add = [&](double t) {
        if (t > t0 && t <= t1) out.push_back(t);
    };
    if (kind == PULSE) {
        double td = arg(2, 0), tr = arg(3, 0), tf = arg(4, 0), pw = arg(5, 1e300), per = arg(6, 1e300);
        double corners[4] = {0.0, tr, tr + pw, tr + pw + tf};
        if (per > 0 && per < 1e299) {
            // At most 1000 periods; an integer count, since k0 + i may round to k0.
            double k0 = std::max(0.0, std::floor((t0 - td) / per) - 1);
            for (int i = 0; i < 1000 && td + (k0 + i) * per <= t1; ++i)
                for (double c : corners) add(td + (k0 + i) * per + c);
        } else {
            for (double c : corners) add(td + c);
        }
    } else if (kind == PWL) {
        for (auto& p : pwl) add(p.first);
    } else if (kind == SIN) {
        add(arg(3, 0.0));
    }
}

std::complex<double> Waveform::acPhasor() const { return std::polar(acMag, acPhaseDeg * kPi / 180.0); }

void VoltageSource::setup(Circuit& c) {
    br_ = c.addUnknown(name() + "#branch", true);
    setupBranch(c, p_, n_, br_, toBranch_, fromBranch_);
}

void VoltageSource::load(EvalContext& ctx) {
    // Branch row: v(p) - v(n) - v = 0
    const double scale = floating() && ctx.floatingScale >= 0.0 ? ctx.floatingScale : ctx.srcScale;
    stampBranch(ctx, p_, n_, br_, 1.0, w_.value(ctx.time, ctx.analysis) * scale, toBranch_, fromBranch_);
}

void VoltageSource::loadAc(Eigen::VectorXcd& b) const {
    // Branch row: v(p) - v(n) - Vac = 0, so the phasor goes to the right-hand side.
    b[br_] += w_.acPhasor();
}

void CurrentSource::load(EvalContext& ctx) {
    // SPICE convention: the current flows from p through the source to n.
    lastValue_ = w_.value(ctx.time, ctx.analysis) * ctx.srcScale;
    ctx.addF(p_, lastValue_);
    ctx.addF(n_, -lastValue_);
}

void CurrentSource::loadAc(Eigen::VectorXcd& b) const {
    std::complex<double> i = w_.acPhasor();
    if (p_ >= 0) b[p_] -= i;
    if (n_ >= 0) b[n_] += i;
}

} // namespace vxr
