// The host's built-in elements: resistor, capacitor, inductor and
// independent sources with their waveforms.
#pragma once

#include "vxrhost/Element.h"

#include <string>
#include <vector>

namespace vxr {

// A two-terminal linear element as the load pass stamps it in place: the
// value (conductance or capacitance) between a and b, at the quartet's slots.
struct LinearStamp {
    int a, b;
    double value;
    Quartet q;
};

class Resistor : public Element {
public:
    Resistor(std::string name, int a, int b, double r);
    void setup(Circuit& c) override;
    void load(EvalContext& ctx) override;
    bool acceptsPoints() const override { return false; }
    bool hasBreakpoints() const override { return false; }
    double current(const Eigen::VectorXd& x) const override;
    bool hasCurrent() const override { return true; }
    LinearStamp stamp() const { return {a_, b_, g_, q_}; }

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
    bool acceptsPoints() const override { return false; }
    bool hasBreakpoints() const override { return false; }
    LinearStamp stamp() const { return {a_, b_, c_, q_}; }

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
    bool acceptsPoints() const override { return false; }
    bool hasBreakpoints() const override { return false; }
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
    bool acceptsPoints() const override { return false; }
    void loadAc(Eigen::VectorXcd& b) const override;
    void breakpoints(double t0, double t1, std::vector<double>& out) const override { w_.breakpoints(t0, t1, out); }
    int currentIndex() const override { return br_; }
    Waveform& waveform() { return w_; }
    // Between two nodes, neither of them ground (a floating gate drive).
    bool floating() const { return p_ >= 0 && n_ >= 0; }

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
    bool acceptsPoints() const override { return false; }
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
