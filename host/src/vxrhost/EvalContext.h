// The unknowns of a circuit and the state handed to elements for one load
// pass.
#pragma once

#include "vxrhost/Options.h"
#include "vxrhost/SparseSolver.h"

#include <Eigen/Dense>
#include <complex>
#include <string>
#include <vector>

namespace vxr {

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
    // Where set, the rounding of every addition into G and C is kept in
    // Glo and Clo: G + Glo is the exact sum of the terms each slot got, so
    // a device's picosiemens added into a slot that also holds a
    // terasiemens tie are not lost. Only a solve refined against G + Glo
    // uses them (AC); the other analyses leave it unset.
    bool carryRounding = false;
    std::vector<double> Glo, Clo;
    double time = 0.0;
    double srcScale = 1.0; // source stepping factor
    // Source stepping's factor of a voltage source between two nodes (a
    // floating gate drive); negative: srcScale.
    double floatingScale = -1.0;
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
    void addF(int r, double v) { if (r >= 0) { f.data()[r] += v; fmag.data()[r] += std::abs(v); } }
    void addQ(int r, double v) { if (r >= 0) { q.data()[r] += v; qmag.data()[r] += std::abs(v); } }
    // An entry by slot; a slot the pattern got during this pass grows M.
    void addAt(std::vector<double>& M, int s, double v) {
        if (s < 0 || !loadMatrix) return;
        if (s >= static_cast<int>(M.size())) M.resize(pattern->size(), 0.0);
        if (carryRounding) [[unlikely]] return addCarried(M, s, v);
        M[s] += v;
    }
    // Inlined into every element's and loader's stamp: the hot path of a load.
    [[gnu::always_inline]] void addQuartet(std::vector<double>& M, const Quartet& q, double v) {
        if (carryRounding) [[unlikely]] addQuartetAs<true>(M, q, v);
        else addQuartetAs<false>(M, q, v);
    }
    // addQuartet where carryRounding is known to be Carry (a library's
    // loader tests it once per batch of entries).
    template <bool Carry> [[gnu::always_inline]] void addQuartetAs(std::vector<double>& M, const Quartet& q, double v) {
        if (!loadMatrix) return;
        const int s11 = q.s11, s12 = q.s12, s21 = q.s21, s22 = q.s22;
        if (std::max(std::max(s11, s12), std::max(s21, s22)) >= static_cast<int>(M.size())) [[unlikely]]
            return addQuartetGrowing(M, q, v);
        if constexpr (Carry) return addQuartetCarried(M, q, v);
        double* m = M.data();
        if (s11 >= 0) m[s11] += v;
        if (s12 >= 0) m[s12] -= v;
        if (s21 >= 0) m[s21] -= v;
        if (s22 >= 0) m[s22] += v;
    }
    // addQuartet into a buffer that first grows to the pattern's size (its
    // slots were added during this pass); out of line, off the hot path.
    [[gnu::cold, gnu::noinline]] void addQuartetGrowing(std::vector<double>& M, const Quartet& q, double v);
    // An entry by row and column (found in the pattern, added when new).
    void addG(int r, int c, double v) { if (r >= 0 && c >= 0 && loadMatrix) addAt(G, pattern->slot(r, c), v); }
    void addC(int r, int c, double v) { if (r >= 0 && c >= 0 && loadMatrix) addAt(C, pattern->slot(r, c), v); }
    // Two-terminal conductance-like stamp between a and b: the quartet (a, b | a, b).
    void stampG(const Quartet& q, double g) { addQuartet(G, q, g); }
    void stampC(const Quartet& q, double c) { addQuartet(C, q, c); }

private:
    // M[s] += v with its rounding added to M's low part (M is G or C).
    void addCarried(std::vector<double>& M, int s, double v);
    void addQuartetCarried(std::vector<double>& M, const Quartet& q, double v);
};

} // namespace vxr
