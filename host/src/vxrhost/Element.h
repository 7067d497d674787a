// The base of every circuit element, built-in or a model instance.
#pragma once

#include "vxrhost/EvalContext.h"
#include "vxrhost/HostServices.h"

#include <complex>
#include <string>
#include <vector>

namespace vxr {

class Circuit;

// The voltages of a nonlinear element that the Newton loop limits: its
// internal nodes, whose steps are held near those of its terminals.
struct LimitGroup {
    std::vector<int> terminals; // -1: ground
    std::vector<int> internals;
    // internals[0, own) are the element's own nodes; the rest are terminals
    // nothing else connects to.
    size_t own = 0;
};

class Element {
public:
    // Memory a load pass reads beyond the element itself (a library's
    // instance, its handles); the pass fetches it ahead of the load.
    static constexpr int kLoadData = 4;
    const void* loadData[kLoadData] = {};

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
    // Whether accept or strobe does anything: the analyses call them only on
    // the elements that say so.
    virtual bool acceptsPoints() const { return true; }
    // Called at the start of an analysis with its kind.
    virtual void beginAnalysis(AnalysisKind, EvalContext&) {}
    // Discontinuities of the element's waveform in (t0, t1].
    virtual void breakpoints(double, double, std::vector<double>&) const {}
    // False when breakpoints never gives any: the transient does not ask.
    virtual bool hasBreakpoints() const { return true; }
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

} // namespace vxr
