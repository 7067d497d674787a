#include "vxrhost/SparseSolver.h"
#include "vxrhost/Circuit.h"

#include <Eigen/Dense>
#include <Eigen/OrderingMethods>
#include <Eigen/SparseCore>
#include <Eigen/SparseLU>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <set>

namespace vxr {

namespace {

// Dense LU with partial pivoting, in place: pivot i is column i's.
template <class T> class DenseSolver final : public LinearSolver<T> {
    using Matrix = Eigen::Matrix<T, Eigen::Dynamic, Eigen::Dynamic>;
    using Vector = Eigen::Matrix<T, Eigen::Dynamic, 1>;

public:
    void analyze(const CompressedPattern& p) override {
        if (p.n > kDenseLimit)
            throw SimError("solver=dense holds every entry of the matrix and takes at most " + std::to_string(kDenseLimit) +
                           " unknowns; this circuit has " + std::to_string(p.n) + " (solver=sparselu takes any size)");
        colStart_ = p.colStart;
        rowIndex_ = p.rowIndex;
    }
    int factor(const T* values, const double* colMax) override {
        const int n = static_cast<int>(colStart_.size()) - 1;
        lu_.reset();
        a_.setZero(n, n);
        for (int c = 0; c < n; ++c)
            for (int k = colStart_[c]; k < colStart_[c + 1]; ++k) a_(rowIndex_[k], c) = values[k];
        lu_.emplace(a_);
        const auto d = lu_->matrixLU().diagonal();
        for (int i = 0; i < n; ++i)
            if (!(std::abs(d[i]) > kVanishingPivot * colMax[i])) return i;
        return -1;
    }
    void solve(T* b) override {
        Eigen::Map<Vector> x(b, a_.rows());
        const Vector y = lu_->solve(x);
        x = y;
    }
    long factorEntries() const override { return static_cast<long>(a_.size()); }

private:
    std::vector<int> colStart_, rowIndex_;
    Matrix a_; // the factors, once factored
    std::optional<Eigen::PartialPivLU<Eigen::Ref<Matrix>>> lu_;
};

// More entries or neighbours than this make a row or an unknown of an
// n-unknown matrix dense.
double denseCount(int n) { return std::max(kDenseRowMin, kDenseRowFactor * std::sqrt(static_cast<double>(n))); }

// A fill-reducing column order for partial pivoting on a circuit's nearly
// symmetric pattern: minimum degree on the pattern of A + A^T, with the dense
// unknowns (a node many devices share) left out and ordered last.
// Eliminated early, such an unknown ties all its neighbours together and
// fills the factors with their square.
struct DenseLastOrdering {
    using PermutationType = Eigen::PermutationMatrix<Eigen::Dynamic, Eigen::Dynamic, int>;
    // perm.indices()[c]: the position of column c.
    template <class MatrixType> void operator()(const MatrixType& a, PermutationType& perm) const {
        const int n = static_cast<int>(a.cols());
        using Pattern = Eigen::SparseMatrix<double, Eigen::ColMajor, int>;
        std::vector<Eigen::Triplet<double, int>> edges;
        for (int c = 0; c < n; ++c)
            for (typename MatrixType::InnerIterator it(a, c); it; ++it)
                if (const int r = static_cast<int>(it.index()); r != c) {
                    edges.emplace_back(r, c, 1.0);
                    edges.emplace_back(c, r, 1.0);
                }
        Pattern sym(n, n);
        sym.setFromTriplets(edges.begin(), edges.end());
        const double dense = denseCount(n);
        std::vector<int> reduced(n, -1), original; // an unknown's index without the dense ones, and back
        for (int c = 0; c < n; ++c)
            if (sym.outerIndexPtr()[c + 1] - sym.outerIndexPtr()[c] <= dense) {
                reduced[c] = static_cast<int>(original.size());
                original.push_back(c);
            }
        const int m = static_cast<int>(original.size());
        perm.resize(n);
        if (m > 0) {
            edges.clear();
            for (int c : original)
                for (Pattern::InnerIterator it(sym, c); it; ++it)
                    if (reduced[it.index()] >= 0) edges.emplace_back(reduced[it.index()], reduced[c], 1.0);
            Pattern r(m, m);
            r.setFromTriplets(edges.begin(), edges.end());
            PermutationType order; // order.indices()[k]: the unknown (reduced) eliminated k-th
            Eigen::internal::minimum_degree_ordering(r, order);
            for (int k = 0; k < m; ++k) perm.indices()[original[order.indices()[k]]] = k;
        }
        int last = m;
        for (int c = 0; c < n; ++c)
            if (reduced[c] < 0) perm.indices()[c] = last++;
    }
};

// Eigen's supernodal SparseLU with DenseLastOrdering's column order; it
// pivots afresh at every factorisation.
template <class T> class SparseLuSolver final : public LinearSolver<T> {
    using Matrix = Eigen::SparseMatrix<T, Eigen::ColMajor, int>;
    template <class Ordering> struct LU : Eigen::SparseLU<Matrix, Ordering> {
        using Base = Eigen::SparseLU<Matrix, Ordering>;
        // The first column of A whose pivot vanishes, -1 when none does.
        int vanishingPivot(const double* colMax) const {
            const int n = static_cast<int>(this->cols());
            std::vector<int> column(n); // A's column at each elimination step
            for (int i = 0; i < n; ++i) column[this->m_perm_c.indices()(i)] = i;
            // An exactly zero pivot stopped the factorisation; the message ends
            // with its step, from 1.
            if (this->info() != Eigen::Success) {
                const std::string& m = this->lastErrorMessage();
                const size_t digits = m.find_last_not_of("0123456789") + 1;
                const int step = digits < m.size() ? std::atoi(m.c_str() + digits) : 0;
                return step >= 1 && step <= n ? column[step - 1] : 0;
            }
            for (int j = 0; j < n; ++j) {
                double d = 0.0;
                // The diagonal blocks of U sit in L's supernodes.
                for (typename Base::SCMatrix::InnerIterator it(this->m_Lstore, j); it; ++it)
                    if (it.index() == j) {
                        d = std::abs(it.value());
                        break;
                    }
                if (!(d > kVanishingPivot * colMax[column[j]])) return column[j];
            }
            return -1;
        }
    };

public:
    void analyze(const CompressedPattern& p) override {
        a_.resize(p.n, p.n);
        a_.resizeNonZeros(p.nonZeros());
        std::copy(p.colStart.begin(), p.colStart.end(), a_.outerIndexPtr());
        std::copy(p.rowIndex.begin(), p.rowIndex.end(), a_.innerIndexPtr());
        std::fill(a_.valuePtr(), a_.valuePtr() + a_.nonZeros(), T(0));
        lu_.analyzePattern(a_);
        naturalAnalysed_ = natural_ = false;
    }
    // A pivot that vanishes in the fill-reducing order is tried again in the
    // unknowns' own order (the one dense partial pivoting takes) before the
    // matrix is called singular, and that order is kept while it holds.
    int factor(const T* values, const double* colMax) override {
        std::copy(values, values + a_.nonZeros(), a_.valuePtr());
        int k = -1;
        if (!natural_) {
            lu_.factorize(a_);
            k = lu_.vanishingPivot(colMax);
            if (k < 0) return -1;
        }
        if (!naturalAnalysed_) {
            naturalLu_.analyzePattern(a_);
            naturalAnalysed_ = true;
        }
        naturalLu_.factorize(a_);
        const int j = naturalLu_.vanishingPivot(colMax);
        natural_ = j < 0;
        return j < 0 ? -1 : k >= 0 ? k : j;
    }
    void solve(T* b) override {
        Eigen::Map<Eigen::Matrix<T, Eigen::Dynamic, 1>> x(b, a_.rows());
        Eigen::Matrix<T, Eigen::Dynamic, 1> y;
        if (natural_) y = naturalLu_.solve(x);
        else y = lu_.solve(x);
        x = y;
    }
    long factorEntries() const override {
        return static_cast<long>(natural_ ? naturalLu_.nnzL() + naturalLu_.nnzU() : lu_.nnzL() + lu_.nnzU());
    }

private:
    Matrix a_;
    LU<DenseLastOrdering> lu_;
    LU<Eigen::NaturalOrdering<int>> naturalLu_;
    bool naturalAnalysed_ = false, natural_ = false; // natural_: factored in the unknowns' order
};

} // namespace

SolverKind defaultSolver() {
#ifdef VXR_HAVE_KLU
    return SolverKind::KLU;
#else
    return SolverKind::SPARSELU;
#endif
}

bool solverAvailable(SolverKind k) {
#ifndef VXR_HAVE_KLU
    if (k == SolverKind::KLU) return false;
#endif
    (void)k;
    return true;
}

const char* solverName(SolverKind k) {
    switch (k) {
    case SolverKind::KLU: return "klu";
    case SolverKind::SPARSELU: return "sparselu";
    case SolverKind::DENSE: return "dense";
    }
    return "?";
}

bool parseSolver(const std::string& name, SolverKind& k) {
    for (SolverKind c : {SolverKind::KLU, SolverKind::SPARSELU, SolverKind::DENSE})
        if (name == solverName(c)) {
            k = c;
            return true;
        }
    return false;
}

template <class T> std::unique_ptr<LinearSolver<T>> makeLinearSolver(SolverKind k) {
    switch (k) {
    case SolverKind::KLU:
#ifdef VXR_HAVE_KLU
        return makeKluSolver<T>();
#else
        break;
#endif
    case SolverKind::SPARSELU: return std::make_unique<SparseLuSolver<T>>();
    case SolverKind::DENSE: return std::make_unique<DenseSolver<T>>();
    }
    throw SimError(std::string("solver '") + solverName(k) + "' is not built into this host");
}

template <class T>
std::shared_ptr<const SingularMatrix<T>> MatrixSolver<T>::factor(MatrixPattern& p, int n, const std::vector<T>& values) {
    const CompressedPattern& cs = p.compressed(n);
    if (cs.version != analysed_ || n != n_) {
        backend_->analyze(cs);
        analysed_ = cs.version;
        pattern_ = std::make_shared<const CompressedPattern>(cs);
        n_ = n;
        const double dense = denseCount(n);
        rowWeight_.assign(n, 0.0);
        for (int r : cs.rowIndex) ++rowWeight_[r];
        for (double& w : rowWeight_) w = w > dense ? kDenseRowWeight : 1.0;
        factored_.clear();
    }
    const int given = std::min(static_cast<int>(values.size()), cs.nonZeros());
    // The very values of the last regular factorisation (a linear circuit at
    // an unchanged step): its factors stand.
    if (!factored_.empty() && static_cast<int>(factored_.size()) == given &&
        std::memcmp(factored_.data(), values.data(), given * sizeof(T)) == 0)
        return nullptr;
    factored_.clear();
    int k = -1;
    // Rows scaled first; a matrix with a vanishing pivot there is factored
    // again equilibrated before it is called singular.
    for (const int passes : {0, kEquilibrationPasses}) {
        equilibrate(p, n, values.data(), given, passes);
        scale(values.data(), given);
        k = backend_->factor(scaled_.data(), colMax_.data());
        if (k < 0) {
            factored_.assign(values.begin(), values.begin() + given);
            return nullptr;
        }
    }
    return std::make_shared<const SingularMatrix<T>>(SingularMatrix<T>{pattern_, scaled_, colMax_, k});
}

// Column by column, so that every position is written once and each
// column's largest entry is at hand.
template <class T> void MatrixSolver<T>::scale(const T* values, int given) {
    const CompressedPattern& cs = *pattern_;
    scaled_.resize(cs.nonZeros());
    colMax_.resize(n_);
    const int* slot = cs.slot.data();
    const int* row = cs.rowIndex.data();
    const double* rowScale = rowScale_.data();
    T* out = scaled_.data();
    for (int c = 0; c < n_; ++c) {
        double m = 0.0;
        const double cs1 = colScale_[c];
        if (cs1 == 1.0) {
            // An unscaled column: the row's factor times 1 is the row's factor.
            for (int k = cs.colStart[c]; k < cs.colStart[c + 1]; ++k) {
                const int s = slot[k];
                const T v = s < given ? rowScale[row[k]] * values[s] : T(0);
                out[k] = v;
                m = std::max(m, std::abs(v));
            }
        } else {
            for (int k = cs.colStart[c]; k < cs.colStart[c + 1]; ++k) {
                const int s = slot[k];
                const T v = s < given ? rowScale[row[k]] * cs1 * values[s] : T(0);
                out[k] = v;
                m = std::max(m, std::abs(v));
            }
        }
        colMax_[c] = m;
    }
}

template <class T> void MatrixSolver<T>::solve(Vector& b) {
    for (int i = 0; i < n_; ++i) b[i] *= rowScale_[i];
    backend_->solve(b.data());
    if (colScaled_)
        for (int i = 0; i < n_; ++i) b[i] *= colScale_[i];
}

namespace {

// A sum carried in two doubles (Ogita, Rump and Oishi's Dot2): each product's
// and each addition's rounding error is kept, so a residual whose terms
// cancel to 1e-16 of their size still has its leading digits.
struct CompensatedSum {
    double hi = 0.0, lo = 0.0;
    void add(double x) {
        const double s = hi + x;
        lo += roundingOfSum(hi, x, s);
        hi = s;
    }
    void addProduct(double a, double b) {
        const double p = a * b;
        lo += roundingOfProduct(a, b, p);
        add(p);
    }
    double value() const { return hi + lo; }
};

template <class T> struct Residual;
template <> struct Residual<double> {
    CompensatedSum re;
    void set(double b) { re = {}, re.add(b); }
    void subtractProduct(double a, double x) { re.addProduct(-a, x); }
    double value() const { return re.value(); }
};
template <> struct Residual<std::complex<double>> {
    CompensatedSum re, im;
    void set(std::complex<double> b) { re = {}, im = {}, re.add(b.real()), im.add(b.imag()); }
    void subtractProduct(std::complex<double> a, std::complex<double> x) {
        re.addProduct(-a.real(), x.real());
        re.addProduct(a.imag(), x.imag());
        im.addProduct(-a.real(), x.imag());
        im.addProduct(-a.imag(), x.real());
    }
    std::complex<double> value() const { return {re.value(), im.value()}; }
};

} // namespace

template <class T>
void MatrixSolver<T>::solveRefined(const MatrixPattern& p, const std::vector<T>& values, Vector& b,
                                   const std::vector<T>* low) {
    const Vector rhs = b;
    solve(b);
    const int given = std::min(static_cast<int>(values.size()), p.size());
    const int givenLow = low ? std::min(static_cast<int>(low->size()), given) : 0;
    std::vector<Residual<T>> r(n_);
    Vector d(n_);
    double last = HUGE_VAL;
    for (int step = 0; step < kRefinementSteps; ++step) {
        for (int i = 0; i < n_; ++i) r[i].set(rhs[i]);
        for (int s = 0; s < given; ++s) r[p.row(s)].subtractProduct(values[s], b[p.col(s)]);
        for (int s = 0; s < givenLow; ++s) r[p.row(s)].subtractProduct((*low)[s], b[p.col(s)]);
        for (int i = 0; i < n_; ++i) d[i] = r[i].value();
        solve(d);
        const double size = d.template lpNorm<Eigen::Infinity>();
        // A correction that does not shrink is rounding of the correction itself.
        if (!(size < 0.5 * last)) break;
        b += d;
        last = size;
        if (size <= std::numeric_limits<double>::epsilon() * b.template lpNorm<Eigen::Infinity>()) break;
    }
}

// With passes = 0, each row divided by its largest entry. Otherwise Ruiz's
// iteration: each pass divides every row and every column by the square root
// of its largest entry, rounded to a power of two so that the scaled values
// carry no rounding of their own, until no factor changes.
template <class T>
void MatrixSolver<T>::equilibrate(const MatrixPattern& p, int n, const T* values, int given, int passes) {
    rowScale_.assign(n, passes ? 1.0 : 0.0);
    if (colScaled_ || static_cast<int>(colScale_.size()) != n) colScale_.assign(n, 1.0);
    colScaled_ = false;
    // Last, a row shared by far more unknowns than the others (a node many devices
    // share) is weighted down, so that partial pivoting takes it only where
    // its entry is that much larger than the column's others: eliminating it
    // early ties all its unknowns together and fills the factors with their
    // square.
    if (!passes) {
        double* rowScale = rowScale_.data();
        for (int s = 0; s < given; ++s) {
            double& r = rowScale[p.row(s)];
            r = std::max(r, std::abs(values[s]));
        }
        for (int i = 0; i < n; ++i) {
            const double r = rowScale[i];
            rowScale[i] = (r > 0 && std::isfinite(r) ? 1.0 / r : 1.0) * rowWeight_[i];
        }
        return;
    }
    std::vector<double> rowMax(passes ? n : 0), colMax(passes ? n : 0);
    auto factor = [](double m) {
        if (!(m > 0) || !std::isfinite(m)) return 1.0;
        int e;
        std::frexp(m, &e);
        return std::ldexp(1.0, -(e / 2)); // about 1/sqrt(m)
    };
    for (int pass = 0; pass < passes; ++pass) {
        std::fill(rowMax.begin(), rowMax.end(), 0.0);
        std::fill(colMax.begin(), colMax.end(), 0.0);
        for (int s = 0; s < given; ++s) {
            const double v = std::abs(values[s]) * rowScale_[p.row(s)] * colScale_[p.col(s)];
            rowMax[p.row(s)] = std::max(rowMax[p.row(s)], v);
            colMax[p.col(s)] = std::max(colMax[p.col(s)], v);
        }
        bool changed = false;
        for (int i = 0; i < n; ++i) {
            const double fr = factor(rowMax[i]), fc = factor(colMax[i]);
            changed = changed || fr != 1.0 || fc != 1.0;
            colScaled_ = colScaled_ || fc != 1.0;
            rowScale_[i] *= fr;
            colScale_[i] *= fc;
        }
        if (!changed) break;
    }
    for (int i = 0; i < n; ++i) rowScale_[i] *= rowWeight_[i];
}

// Right-looking elimination over sparse rows: a singular matrix is the rare
// case, and the column order is the unknowns' own, not a fill-reducing one.
template <class T>
int firstDependentColumn(const CompressedPattern& p, const std::vector<T>& values, const std::vector<double>& colMax) {
    const int n = p.n;
    std::vector<std::map<int, T>> rows(n); // rows not yet pivotal: column -> value
    std::vector<std::set<int>> holders(n); // per column, the non-pivotal rows with an entry there
    for (int c = 0; c < n; ++c)
        for (int k = p.colStart[c]; k < p.colStart[c + 1]; ++k) {
            rows[p.rowIndex[k]][c] = values[k];
            holders[c].insert(p.rowIndex[k]);
        }
    for (int c = 0; c < n; ++c) {
        int pivot = -1;
        double best = 0.0;
        for (int r : holders[c])
            if (const double m = std::abs(rows[r][c]); m > best) {
                best = m;
                pivot = r;
            }
        if (!(best > kVanishingPivot * colMax[c])) return c;
        const std::map<int, T>& pr = rows[pivot];
        for (const auto& e : pr) holders[e.first].erase(pivot);
        const T d = pr.at(c);
        for (int r : holders[c]) {
            auto& row = rows[r];
            const auto at = row.find(c);
            const T f = at->second / d;
            row.erase(at);
            for (auto it = pr.upper_bound(c); it != pr.end(); ++it) {
                auto [e, fresh] = row.try_emplace(it->first, T(0));
                e->second -= f * it->second;
                if (fresh) holders[it->first].insert(r);
            }
        }
        holders[c].clear();
        rows[pivot].clear();
    }
    return -1;
}

template class MatrixSolver<double>;
template class MatrixSolver<std::complex<double>>;
template std::unique_ptr<LinearSolver<double>> makeLinearSolver(SolverKind);
template std::unique_ptr<LinearSolver<std::complex<double>>> makeLinearSolver(SolverKind);
template int firstDependentColumn(const CompressedPattern&, const std::vector<double>&, const std::vector<double>&);
template int firstDependentColumn(const CompressedPattern&, const std::vector<std::complex<double>>&,
                                  const std::vector<double>&);

} // namespace vxr
