// Factorisation of the circuit matrix behind one interface: KLU (where the
// host is built with it), Eigen's SparseLU, and dense LU (for comparison and
// small circuits: it refuses more than kDenseLimit unknowns). Every backend factors the matrix with its rows scaled to
// a largest entry of 1 and, where a pivot vanishes that way, again
// equilibrated: rows and columns scaled by powers of two until each one's
// largest entry is near 1. Unscaled, a row written in large units (a
// derivative chain read at a row scale of 1e-9 puts c/1e-9 beside -1) would
// raise the column maxima of the unknowns it reads far above their pivots
// and make a regular matrix look singular; scaled by rows alone, so would a
// node held to its neighbour by 1e8 S whose only tie to the rest is 1e-7 S. A pivot vanishes when it is not above 1e-14 of the
// largest entry of its own column, which keeps a node tied to ground only
// through gmin regular beside kilosiemens elsewhere and refuses a floating
// node or a loop of voltage sources, whose pivot is rounding.
#pragma once

#include "vxrhost/SparseMatrix.h"

#include <complex>
#include <memory>
#include <string>
#include <vector>

namespace vxr {

enum class SolverKind { KLU, SPARSELU, DENSE };

// A pivot vanishes when it is not above this fraction of its column's largest entry.
inline constexpr double kVanishingPivot = 1e-14;
// Most passes of the row and column equilibration.
inline constexpr int kEquilibrationPasses = 8;
// A row with more entries than kDenseRowFactor sqrt(n) (and kDenseRowMin) is
// dense; its scale is multiplied by kDenseRowWeight (about the pivot
// tolerance sparse solvers take by default). SparseLU orders an unknown with
// that many neighbours last.
inline constexpr double kDenseRowFactor = 10.0;
inline constexpr double kDenseRowMin = 16.0;
inline constexpr double kDenseRowWeight = 0x1p-10;
// Most unknowns dense LU takes: it holds all n^2 entries (128 MiB real,
// 256 MiB complex at the limit) and factors in n^3 time.
inline constexpr int kDenseLimit = 4096;
// Most refinement steps of a solution.
inline constexpr int kRefinementSteps = 10;

// KLU where the host is built with it, else SparseLU.
SolverKind defaultSolver();
bool solverAvailable(SolverKind k);
const char* solverName(SolverKind k);
// False for a name that is none of klu, sparselu, dense.
bool parseSolver(const std::string& name, SolverKind& k);

// One backend over a fixed compressed pattern.
template <class T> class LinearSolver {
public:
    virtual ~LinearSolver() = default;
    // A new pattern: the symbolic analysis.
    virtual void analyze(const CompressedPattern& p) = 0;
    // Factors the values (in compressed order, equilibrated). Returns -1 when
    // no pivot vanishes against colMax (the largest |entry| of each column),
    // else the column of one that does.
    virtual int factor(const T* values, const double* colMax) = 0;
    // b := A^-1 b with the last factorisation.
    virtual void solve(T* b) = 0;
    // Entries the last factorisation's factors hold.
    virtual long factorEntries() const = 0;
};

template <class T> std::unique_ptr<LinearSolver<T>> makeLinearSolver(SolverKind k);
// Defined in KluSolver.cpp, which only a build with KLU compiles.
template <class T> std::unique_ptr<LinearSolver<T>> makeKluSolver();

// The first column of the n-by-n compressed matrix (values in compressed
// order) whose pivot vanishes in Gaussian elimination with partial pivoting
// in column order; -1 when none does.
template <class T>
int firstDependentColumn(const CompressedPattern& p, const std::vector<T>& values, const std::vector<double>& colMax);

// A matrix found singular, as it was factored (equilibrated). The unknown it
// names is the first column, in unknown order, that depends on the columns
// before it (a floating node, a loop of voltage sources): the one dense
// partial pivoting finds, whatever order the solver eliminated in. It is
// found when a message needs it, since continuation meets many singular
// matrices on its way and names none of them.
template <class T> struct SingularMatrix {
    std::shared_ptr<const CompressedPattern> pattern;
    std::vector<T> values;
    std::vector<double> colMax;
    int column = 0; // a vanishing pivot's column in the solver's own order
    int unknown() const {
        const int c = firstDependentColumn(*pattern, values, colMax);
        return c >= 0 ? c : column;
    }
};

// The circuit matrix given per slot of its pattern: scaled, factored and
// solved; the symbolic analysis runs again only when the pattern has grown.
template <class T> class MatrixSolver {
public:
    using Vector = Eigen::Matrix<T, Eigen::Dynamic, 1>;
    explicit MatrixSolver(SolverKind kind) : kind_(kind), backend_(makeLinearSolver<T>(kind)) {}
    SolverKind kind() const { return kind_; }

    // The solver in s, made anew when it is not of kind k.
    static MatrixSolver& of(std::unique_ptr<MatrixSolver>& s, SolverKind k) {
        if (!s || s->kind() != k) s = std::make_unique<MatrixSolver>(k);
        return *s;
    }

    // Factors the n-by-n matrix A (values per slot; slots beyond the end are
    // zero). Returns null when A is regular, else A as it was factored.
    std::shared_ptr<const SingularMatrix<T>> factor(MatrixPattern& p, int n, const std::vector<T>& values);
    // b := A^-1 b with the last factorisation (b in the matrix's own row units).
    void solve(Vector& b);
    // solve(b), then refined against A as factored (values per slot): the
    // residual summed in extended precision, the correction solved with the
    // factorisation, while it shrinks. Where the rows' terms cancel far below
    // their size (an off-state conductance beside a kilosiemens network),
    // the plain solve's rounding exceeds the small terms; refinement recovers
    // them as far as the matrix's conditioning allows. With low (per slot,
    // as values), the residual is taken against values + low, the matrix
    // whose entries values holds rounded (see EvalContext::carryRounding).
    void solveRefined(const MatrixPattern& p, const std::vector<T>& values, Vector& b,
                      const std::vector<T>* low = nullptr);
    // Entries the factors hold: about a small multiple of the unknowns where
    // the fill-reducing order holds.
    long factorEntries() const { return backend_->factorEntries(); }

private:
    // Row scales that bring the largest entry of every row to 1 (passes =
    // 0), or row and column scales that bring it near 1 in every row and
    // column, in at most that many passes.
    void equilibrate(const MatrixPattern& p, int n, const T* values, int given, int passes);
    // scaled_ and colMax_ from the values of the first `given` slots.
    void scale(const T* values, int given);

    SolverKind kind_;
    std::unique_ptr<LinearSolver<T>> backend_;
    uint64_t analysed_ = ~uint64_t{0};
    std::shared_ptr<const CompressedPattern> pattern_; // as analysed
    int n_ = 0;
    std::vector<double> rowWeight_; // per row of the pattern: kDenseRowWeight for a dense one, else 1
    std::vector<double> rowScale_, colScale_, colMax_;
    bool colScaled_ = false; // some colScale_ is not 1
    std::vector<T> scaled_;
    std::vector<T> factored_; // the values (per slot) of the last factorisation, while it is regular
};

} // namespace vxr
