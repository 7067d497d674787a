// Circuit representation of the test host: unknowns, elements and one
// evaluation pass.
//
// Equation convention (used by every element and by the model-library
// adapter): the circuit equations are F(x) = f(x) + d/dt q(x) = 0.
//  - The row of a node holds the sum of the currents LEAVING the node
//    through the elements (KCL). A current I flowing from node a to node b
//    through an element adds +I to row a and -I to row b.
//  - The row of a branch-current unknown holds the element's branch
//    equation (for a voltage source: v(p) - v(n) - V = 0).
//  - G = df/dx and C = dq/dx. Newton solves (G + a0 C) dx = -F. Both hold
//    one value per slot of the circuit's sparsity pattern (SparseMatrix.h).
// A model library's RHS pair (a, b) value is a current from a to b (a branch
// row when b is absent), so it is added to row a and subtracted from row b;
// a quartet (r1, r2 | c1, c2) holds the derivative of that current with
// respect to v(c1) - v(c2): +g at (r1,c1) and (r2,c2), -g at (r1,c2) and
// (r2,c1). The Q variants go to q and C in the same way.
// pSetupNode makes a node unknown whatever its nodal-info argument (NULL, the
// "none" marker, or an integral or delay operator's record, which the host
// takes over and frees): an operator branch's variable (whose row the operator
// loads, e.g. s dQ/dt - x = 0 for the time derivative) is such a node. A
// time-derivative variable is recognised when its operator loads its charge
// (Unknown::DERIVATIVE) and gets tolerances scaled by its row scale s.
// A delay operator's row gets the delayed argument from the host's delay
// object (linear interpolation of the history of accepted points); in AC the
// derivatives loaded through it carry e^(-j omega delay).
#pragma once

#include "vxrhost/SparseSolver.h"

#include <Eigen/Dense>
#include <algorithm>
#include <complex>
#include <functional>
#include <map>
#include <memory>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace vxr {

inline constexpr double kPi = 3.14159265358979323846;

// A failure the user should see (bad netlist, library failure, no convergence).
struct SimError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class AnalysisKind { OP, DC, AC, TRAN };

// Parameters of the DC continuation strategies (DcContinuation.cpp), with
// their .options names.
struct DcContinuationOptions {
    double gminStart = 1e-2;    // gmin stepping: the first shunt conductance (gminstart)
    double gminFactor = 100.0;  // its reduction per stage (gminfactor); a failed stage retries at a tenth of it
    double srcStep = 0.1;       // source stepping: first step of the source scale (srcstep)
    double srcStepMax = 0.25;   // largest step of the scale (srcstepmax)
    double srcStepMin = 1e-6;   // smallest step before source stepping gives up (srcstepmin)
    double ptranG = 1e-3;       // pseudo-transient: first conductance to the last point (ptrang)
    double ptranGMax = 1e6;     // largest conductance before it gives up (ptrangmax)
    double ptranSteps = 400;    // most pseudo time steps (ptransteps)
};

struct Options {
    double reltol = 1e-3;
    double vntol = 1e-6;   // absolute tolerance on voltages
    double abstol = 1e-12; // absolute tolerance on currents
    double chgtol = 1e-14;
    double gmin = 1e-12;   // gmin stepping's last stage; ties a module's isolated nodes to ground
    double trtol = 7.0;    // truncation-error tolerance factor
    double vlimit = 1.0;   // Newton step limit (V) on a model instance's voltages, see Simulator::newton
    int itl1 = 100;        // Newton iterations for a DC point
    int itl4 = 50;         // Newton iterations per time point
    DcContinuationOptions dc;
    long tranStepLimit = 0; // time steps (tried) per transient; 0: automatic (see Simulator::tran)
    bool trapezoidal = true;
    bool gear = false; // second-order BDF (trapezoidal is then false)
    SolverKind solver = defaultSolver(); // the linear solver (SparseSolver.h)
    double temp = 27.0;    // Celsius
    double tnom = 27.0;
    unsigned seed = 1;
    std::map<std::string, double> simParams;  // host simulation parameters
    std::map<int, double> defaults;           // VXR_DefaultTypeE -> value for pGetDefault
};

// A noise contribution a library reported for one of its noise sources
// (pReportNoiseContrib): the rows the source feeds, -1 for ground or none.
struct NoiseReport {
    std::string instance;
    int source;
    int plus, minus;
};

// One severity-tagged message as received from a library (or the host).
struct Message {
    int severity; // VXR_MessageTypeE
    std::string text;
    std::string instance;
};

const char* severityName(int severity);

// The generator behind pSeedRand and pRand: a full-period 32-bit linear
// congruential stream that skips 0x80000000, so draws run from -2147483647 to
// 2147483647 as the runtime expects, and a draw handed back as the next seed
// (as the real distributions do) continues the stream instead of cycling.
struct HostRandom {
    uint32_t state = 1;
    void seed(uint32_t s) { state = s; }
    int operator()() {
        do
            state = state * 1664525u + 1013904223u;
        while (state == 0x80000000u);
        return static_cast<int>(state);
    }
};

// Services shared by every model instance of one circuit: options, messages,
// system requests and the random generator.
struct HostServices {
    Options options;
    std::vector<Message> messages;
    std::vector<NoiseReport> noiseReports; // in the order the libraries reported them
    bool echoMessages = true;
    bool exitRequested = false;
    std::string exitInstance;
    std::string exitMessage; // last message before the exit request
    int extrapRequests = 0;
    int limiterCalls = 0, limitedSteps = 0; // the junction limiter: calls, and calls that limited
    HostRandom rng;

    void message(int severity, const std::string& text, const std::string& instance);
    void systemRequest(const std::string& request, int code, const std::string& instance);
    // Throws SimError when a library asked to stop.
    void checkExit() const {
        if (exitRequested) throwExit();
    }
    [[noreturn]] void throwExit() const;
};

// What an unknown stands for; each kind has its own absolute tolerances.
struct Unknown {
    enum Kind {
        VOLTAGE,    // node voltage; its row is a KCL sum of currents
        CURRENT,    // branch current; its row is a voltage equation
        DERIVATIVE, // time-derivative variable x of the row s dQ/dt - x = 0 (x = s * current)
    };
    std::string name;
    Kind kind = VOLTAGE;
    double scale = 1.0; // the row scale s of a DERIVATIVE; 1 otherwise

    bool isCurrent() const { return kind == CURRENT; }
    // Absolute tolerance of the value: vntol, abstol, or s * abstol.
    double valueTol(const Options& o) const { return kind == VOLTAGE ? o.vntol : scale * o.abstol; }
    // Absolute tolerance of the row's residual: a KCL row is a current, a
    // branch row a voltage, a time-derivative row s times a current.
    double rowTol(const Options& o) const { return kind == CURRENT ? o.vntol : scale * o.abstol; }
    // Absolute tolerance of the charge the row integrates (s * chgtol for a
    // time-derivative row).
    double chargeTol(const Options& o) const { return scale * o.chgtol; }
};

// The state handed to elements for one load pass.
struct EvalContext {
    AnalysisKind analysis = AnalysisKind::OP;
    unsigned long mask = 0; // analysis query mask
    const Eigen::VectorXd* x = nullptr;
    Eigen::VectorXd f, q;       // value and charge parts of the residual
    Eigen::VectorXd fmag, qmag; // magnitudes of the contributions (tolerances)
    MatrixPattern* pattern = nullptr;
    std::vector<double> G, C;   // per slot of the pattern
    bool loadMatrix = true;
    double time = 0.0;
    double srcScale = 1.0; // source stepping factor
    double freq = 0.0;
    double minStep = 0.0;
    bool initialStep = false;
    bool finalStep = false;  // the last point of a transient
    bool strobe = false;
    // Requests of the elements during the pass.
    bool prohibitConvergence = false;
    double boundStep = 0.0;            // smallest requested step bound (0: none)
    double cornerStep = 0.0;           // smallest step to a requested waveform corner (0: none)
    std::vector<double> breakRequests; // requested breakpoints (absolute times)
    double crossPoint = 0.0;           // earliest time a library asked the step to end at (0: none)
    // Jacobian entries of delayed arguments: in AC each carries e^(-j omega delay)
    // on top of the plain value already in G.
    struct DelayEntry {
        int row, col;
        double value, delay;
    };
    std::vector<DelayEntry> delayEntries;
    std::string loadFault;             // a library misused the loader (first fault)

    void resize(int n);
    double sol(int i) const { return i < 0 ? 0.0 : (*x)[i]; }
    void addF(int r, double v) { if (r >= 0) { f[r] += v; fmag[r] += std::abs(v); } }
    void addQ(int r, double v) { if (r >= 0) { q[r] += v; qmag[r] += std::abs(v); } }
    // An entry by slot; a slot the pattern got during this pass grows M.
    void addAt(std::vector<double>& M, int s, double v) {
        if (s < 0 || !loadMatrix) return;
        if (s >= static_cast<int>(M.size())) M.resize(pattern->size(), 0.0);
        M[s] += v;
    }
    // Inlined into every element's and loader's stamp: the hot path of a load.
    [[gnu::always_inline]] void addQuartet(std::vector<double>& M, const Quartet& q, double v) {
        if (!loadMatrix) return;
        if (std::max(std::max(q.s11, q.s12), std::max(q.s21, q.s22)) >= static_cast<int>(M.size()))
            M.resize(pattern->size(), 0.0);
        if (q.s11 >= 0) M[q.s11] += v;
        if (q.s12 >= 0) M[q.s12] -= v;
        if (q.s21 >= 0) M[q.s21] -= v;
        if (q.s22 >= 0) M[q.s22] += v;
    }
    // An entry by row and column (found in the pattern, added when new).
    void addG(int r, int c, double v) { if (r >= 0 && c >= 0 && loadMatrix) addAt(G, pattern->slot(r, c), v); }
    void addC(int r, int c, double v) { if (r >= 0 && c >= 0 && loadMatrix) addAt(C, pattern->slot(r, c), v); }
    // Two-terminal conductance-like stamp between a and b: the quartet (a, b | a, b).
    void stampG(const Quartet& q, double g) { addQuartet(G, q, g); }
    void stampC(const Quartet& q, double c) { addQuartet(C, q, c); }
};

class Circuit;

// The voltages of a nonlinear element that the Newton loop limits: its
// internal nodes, whose steps are held near those of its terminals.
struct LimitGroup {
    std::vector<int> terminals; // -1: ground
    std::vector<int> internals;
};

class Element {
public:
    explicit Element(std::string name) : name_(std::move(name)) {}
    virtual ~Element() = default;
    const std::string& name() const { return name_; }
    // Allocates the element's unknowns; called once, in netlist order.
    virtual void setup(Circuit&) {}
    virtual void load(EvalContext& ctx) = 0;
    // Small-signal excitation: adds the source's phasor into the right-hand
    // side b of (G + jwC) X = b.
    virtual void loadAc(Eigen::VectorXcd&) const {}
    // Frequency-dependent entries beyond G + jwC (pole-residue branches),
    // per slot of the circuit's pattern.
    virtual void loadAcMatrix(std::vector<std::complex<double>>&, double /*omega*/) const {}
    virtual void accept(EvalContext&) {}
    // A nonlinear element's terminals and internal nodes; false when the
    // element has nothing to limit.
    virtual bool limitGroup(LimitGroup&) const { return false; }
    virtual void strobe(EvalContext&) {}
    // Called at the start of an analysis with its kind.
    virtual void beginAnalysis(AnalysisKind, EvalContext&) {}
    // Discontinuities of the element's waveform in (t0, t1].
    virtual void breakpoints(double, double, std::vector<double>&) const {}
    // Index of the element's current unknown, -1 when it has none.
    virtual int currentIndex() const { return -1; }
    // Current through the element at a solution (for .print I(name)).
    virtual double current(const Eigen::VectorXd& x) const {
        int i = currentIndex();
        return i < 0 ? 0.0 : x[i];
    }
    virtual bool hasCurrent() const { return currentIndex() >= 0; }

private:
    std::string name_;
};

class Circuit {
public:
    Circuit();
    ~Circuit();
    Circuit(const Circuit&) = delete;
    Circuit& operator=(const Circuit&) = delete;

    HostServices& host() { return *host_; }
    const HostServices& host() const { return *host_; }
    Options& options() { return host_->options; }

    // Node of the netlist by name, in any case; "0" and "gnd" are ground (-1).
    int node(const std::string& name);
    int findNode(const std::string& name) const; // -2 when unknown
    // How many element terminals were connected to the node through node().
    int nodeUses(int i) const { return i >= 0 && i < static_cast<int>(nodeUses_.size()) ? nodeUses_[i] : 0; }
    int addUnknown(const std::string& name, bool isCurrent);
    int size() const { return static_cast<int>(unknowns_.size()); }
    const std::vector<Unknown>& unknowns() const { return unknowns_; }
    // The sparsity pattern of the circuit matrix; elements take their slots in setup.
    MatrixPattern& pattern() { return pattern_; }
    int findUnknown(const std::string& name) const; // -1 when unknown
    // Marks a node unknown as a time-derivative variable with row scale s.
    void markDerivative(int i, double s);

    Element& add(std::unique_ptr<Element> e);
    Element* find(const std::string& name) const;
    const std::vector<std::unique_ptr<Element>>& elements() const { return elements_; }

    // Calls setup on elements not yet set up; the pattern then holds every
    // diagonal entry.
    void setup();

    // One evaluation of all elements at x.
    void evaluate(EvalContext& ctx, const Eigen::VectorXd& x);
    long loadPasses() const { return loadPasses_; } // evaluations so far

private:
    std::unique_ptr<HostServices> host_;
    std::unordered_map<std::string, int> nodes_; // lower-case name -> unknown
    std::vector<int> nodeUses_;
    std::vector<Unknown> unknowns_;
    // The first unknown of each name, exact and in lower case; filled on lookup.
    mutable std::unordered_map<std::string, int> unknownIndex_, unknownIndexLower_;
    mutable size_t unknownsIndexed_ = 0;
    std::vector<std::unique_ptr<Element>> elements_;
    std::unordered_map<std::string, Element*> elementIndex_; // lower-case name -> element
    size_t setupDone_ = 0;
    long loadPasses_ = 0;
    MatrixPattern pattern_;
};

// ---- Built-in elements ---------------------------------------------------------

class Resistor : public Element {
public:
    Resistor(std::string name, int a, int b, double r);
    void setup(Circuit& c) override;
    void load(EvalContext& ctx) override;
    double current(const Eigen::VectorXd& x) const override;
    bool hasCurrent() const override { return true; }

private:
    int a_, b_;
    double g_;
    Quartet q_;
};

class Capacitor : public Element {
public:
    Capacitor(std::string name, int a, int b, double c) : Element(std::move(name)), a_(a), b_(b), c_(c) {}
    void setup(Circuit& c) override;
    void load(EvalContext& ctx) override;

private:
    int a_, b_;
    double c_;
    Quartet q_;
};

class Inductor : public Element {
public:
    Inductor(std::string name, int a, int b, double l) : Element(std::move(name)), a_(a), b_(b), l_(l) {}
    void setup(Circuit& c) override;
    void load(EvalContext& ctx) override;
    int currentIndex() const override { return br_; }

private:
    int a_, b_;
    double l_;
    int br_ = -1;
    Quartet toBranch_, fromBranch_, self_;
};

// Time-dependent source waveform (DC value plus optional transient shape).
struct Waveform {
    enum Kind { DC, PULSE, PWL, SIN } kind = DC;
    double dc = 0.0;
    std::vector<double> args; // PULSE: v1 v2 td tr tf pw per; SIN: vo va freq td theta phase
    std::vector<std::pair<double, double>> pwl;
    double acMag = 0.0, acPhaseDeg = 0.0;

    double value(double t, AnalysisKind a) const;
    void breakpoints(double t0, double t1, std::vector<double>& out) const;
    std::complex<double> acPhasor() const;

private:
    double arg(size_t i, double def) const { return i < args.size() ? args[i] : def; }
};

class VoltageSource : public Element {
public:
    VoltageSource(std::string name, int p, int n, Waveform w) : Element(std::move(name)), p_(p), n_(n), w_(std::move(w)) {}
    void setup(Circuit& c) override;
    void load(EvalContext& ctx) override;
    void loadAc(Eigen::VectorXcd& b) const override;
    void breakpoints(double t0, double t1, std::vector<double>& out) const override { w_.breakpoints(t0, t1, out); }
    int currentIndex() const override { return br_; }
    Waveform& waveform() { return w_; }

private:
    int p_, n_;
    Waveform w_;
    int br_ = -1;
    Quartet toBranch_, fromBranch_;
};

class CurrentSource : public Element {
public:
    CurrentSource(std::string name, int p, int n, Waveform w) : Element(std::move(name)), p_(p), n_(n), w_(std::move(w)) {}
    void load(EvalContext& ctx) override;
    void loadAc(Eigen::VectorXcd& b) const override;
    void breakpoints(double t0, double t1, std::vector<double>& out) const override { w_.breakpoints(t0, t1, out); }
    double current(const Eigen::VectorXd&) const override { return lastValue_; }
    bool hasCurrent() const override { return true; }
    Waveform& waveform() { return w_; }

private:
    int p_, n_;
    Waveform w_;
    double lastValue_ = 0.0;
};

} // namespace vxr
