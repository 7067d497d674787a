// Analyses of the test host: operating point, DC sweep, small-signal AC and
// transient.
#pragma once

#include "vxrhost/CarriedLu.h"
#include "vxrhost/Circuit.h"
#include "vxrhost/Table.h"

#include <complex>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vxr {

// Something to print: a node voltage (difference), a current, or a raw unknown.
struct Probe {
    enum Kind { VOLTAGE, CURRENT } kind = VOLTAGE;
    enum Part { REAL, MAG, PHASE, DB, IMAG } part = REAL; // AC parts; REAL is the plain value otherwise
    int a = -1, b = -1;      // voltage: v(a) - v(b)
    Element* elem = nullptr; // current through an element
    int unknown = -1;        // current: a branch unknown
    std::string label;

    double value(const Eigen::VectorXd& x) const;
    std::complex<double> phasor(const Eigen::VectorXcd& x) const;
};

// Most points a DC sweep or an AC analysis may have, and most time steps the
// transient resolution (tstop over the largest step) may ask for.
constexpr double kMaxAnalysisPoints = 1e7;

struct TranSpec {
    double tstep = 0, tstop = 0, tstart = 0, tmax = 0;
    bool uic = false;
};

// One loop of a DC sweep: an independent source stepped from start to stop.
struct SweepSpec {
    std::string source;
    double start = 0, stop = 0, step = 0;
};

// A time (or a frequency) in a message: enough digits to tell a nanosecond
// event at 1 us apart.
std::string timeText(double t);
// An unknown in a message: "node 'name'" or "branch 'name'".
std::string unknownLabel(const Circuit& c, int unknown);

// A value and its tolerance as a message prints them: with the digits that
// tell them apart (never "residual 1e-06, tolerance 1e-06" for two values).
std::pair<std::string, std::string> valueBesideTolerance(double value, double tol);

class Simulator {
public:
    explicit Simulator(Circuit& c);

    // Each throws SimError when the analysis fails.
    Eigen::VectorXd operatingPoint();
    Table op(const std::vector<Probe>& probes);
    // With an outer loop, the inner sweep runs once per outer value; the
    // rows are ordered by (outer, inner) and start with both source values.
    Table dcSweep(const SweepSpec& inner, const std::vector<Probe>& probes, const SweepSpec* outer = nullptr);
    Table dcSweep(const std::string& source, double start, double stop, double step, const std::vector<Probe>& probes) {
        return dcSweep(SweepSpec{source, start, stop, step}, probes);
    }
    // type: "dec", "oct" or "lin"
    // count: points per decade or octave, or in all ("lin").
    Table ac(const std::string& type, int count, double fstart, double fstop, const std::vector<Probe>& probes);
    Table tran(const TranSpec& setup, const std::vector<Probe>& probes);

    // The table of the analysis running or run last: after a SimError it
    // holds the rows accepted before the failure.
    const Table& table() const { return table_; }
    void discardTable() { table_ = Table{}; }

    // Statistics of the last analysis.
    int newtonIterations = 0;
    long linearSolves = 0; // solves with a factored matrix
    long loadPasses() const { return c_.loadPasses() - loadPassBase_; } // evaluations of the circuit
    long points = 0;        // DC points, AC frequencies or accepted time steps
    long rejectedSteps = 0; // transient steps tried and not accepted
    std::vector<std::pair<double, int>> acceptedSteps; // transient: (step, integration order)
    // Called at every accepted transient point (time 0 included) with its solution.
    std::function<void(double, const Eigen::VectorXd&)> onAccept;

private:
    Table& startTable(const std::string& title);
    Table table_;
    long loadPassBase_ = 0;

    struct Integration {
        bool active = false;
        double a0 = 0.0;
        Eigen::VectorXd hist; // dq/dt = a0 q + hist
        // gshunt ties each node to this point instead of to ground (pseudo-transient continuation)
        const Eigen::VectorXd* anchor = nullptr;
        // The line search also takes a trial that reduces the rows' residuals
        // (in units of their tolerances) as much as the level test asks.
        bool residualSearch = false;
        // An internal node may also step anywhere within its terminals' new
        // values (see limitInternalSteps).
        bool terminalSpan = false;
        // A DC point's: set once its Newton carries the matrix's rounding,
        // which its later runs then do from the start.
        bool* carried = nullptr;
        // Gives up as soon as a model's own internal node lies further than
        // this outside the range of its terminals' values (0: never): a start
        // that throws it there has left the solution's basin.
        double strayLimit = 0.0;
        // Gives up once this many iterations in a row have not brought the
        // largest row residual below kStallFall of the lowest one so far
        // (0: never): a start beside a fold of a device's curve, with no
        // solution near, circles the fold with its residuals pinned.
        int stallLimit = 0;
    };
    void assemble(EvalContext& ctx, const Eigen::VectorXd& x, const Integration& in, double gshunt, Eigen::VectorXd& F,
                  Eigen::VectorXd& tol, double& norm);
    bool newton(Eigen::VectorXd& x, EvalContext& ctx, const Integration& in, int maxIter, double gshunt);
    bool solveDc(Eigen::VectorXd& x, EvalContext& ctx);
    void resetStatistics();
    EvalContext makeContext(AnalysisKind kind, unsigned long mask) const;
    void beginAnalysis(AnalysisKind kind, EvalContext& ctx);
    void acceptAndStrobe(EvalContext& ctx, const Eigen::VectorXd& x, bool accept);

    // The failure text, naming the unknown when the last Newton run stopped
    // on a singular matrix or a non-finite equation.
    std::string failure(const std::string& what) const;

    // Why the last Newton run stopped short, where an unknown can be named.
    struct NewtonFault {
        enum Kind { NONE, SINGULAR, NON_FINITE, NOT_CONVERGED } kind = NONE;
        int unknown = -1;
        // NOT_CONVERGED: the unknown whose residual or step was furthest
        // outside its tolerance, and by how much.
        bool byStep = false;
        // Given up because an internal node strayed (Integration::strayLimit).
        bool strayed = false;
        // A step limit held an internal node that the whole step threw
        // beyond Integration::strayLimit, at some step of the run.
        bool held = false;
        // Given up because the residuals stalled (Integration::stallLimit).
        bool stalled = false;
        double value = 0.0, tol = 0.0;
        std::shared_ptr<const SingularMatrix<double>> singular = nullptr; // SINGULAR: the matrix, which names the unknown
    };
    double stepTolerance(int i, double magnitude, const EvalContext& ctx, const Integration& in) const;
    void noteNonConvergence(const Eigen::VectorXd& F, const Eigen::VectorXd& tol, const Eigen::VectorXd& step,
                            const Eigen::VectorXd& x, const EvalContext& ctx, const Integration& in);
    class PointNewton;
    bool internalStrays(const Eigen::VectorXd& x, double margin) const;
    bool limitInternalSteps(const Eigen::VectorXd& x, Eigen::VectorXd& dx, Eigen::VectorXd& dxInternal,
                            bool terminalSpan) const;
    const std::vector<char>& outputUnknowns();

    std::vector<LimitGroup> limitGroups_;
    std::vector<Element*> pointElements_; // the elements that accept or strobe points

    Circuit& c_;
    NewtonFault fault_;
    // The last Newton run converged with its last load pass at the point it returned.
    bool evaluatedAtResult_ = false;
    // Per unknown, at the point assembled last: the rounding of a branch
    // current's KCL rows, in amperes (0 for every other unknown).
    Eigen::VectorXd currentNoise_;
    // The slots where a branch current enters a node's row, for the pattern
    // and unknowns of the given versions.
    struct ClosingSlot {
        int slot, row, col;
    };
    std::vector<ClosingSlot> closingSlots_;
    uint64_t closingSlotsPattern_ = ~uint64_t{0}, closingSlotsUnknowns_ = ~uint64_t{0};
    CarriedLu carriedLu_; // the Newton's factorisation once a DC point carries its rounding
    Eigen::VectorXd terms_; // assemble's per-row sums of |terms|, kept between passes
    // Per unknown: an output (outputUnknowns), for the pattern's version.
    std::vector<char> outputs_;
    uint64_t outputsVersion_ = 0;
    // Factorisations of the real (DC, transient) and complex (AC) systems.
    std::unique_ptr<MatrixSolver<double>> realSolver_;
    std::unique_ptr<MatrixSolver<std::complex<double>>> acSolver_;
};

} // namespace vxr
