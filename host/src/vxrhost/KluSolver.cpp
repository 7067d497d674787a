// KLU (SuiteSparse) behind the host's solver interface: the symbolic
// analysis (block triangular form, fill-reducing order) once per pattern,
// klu_refactor with the pivot order of the last fresh factorisation while
// its pivots hold, klu_factor afresh when they do not.
#include "vxrhost/Circuit.h"
#include "vxrhost/SparseSolver.h"

#include <klu.h>

#include <complex>
#include <string>

namespace vxr {

namespace {

// A refactorisation is kept while its reciprocal pivot growth stays above
// this fraction of the last fresh factorisation's.
constexpr double kGrowthLoss = 1e-3;

template <class T> struct Klu;
template <> struct Klu<double> {
    static double* data(double* v) { return v; }
    static klu_numeric* factor(int* p, int* i, double* x, klu_symbolic* s, klu_common* c) { return klu_factor(p, i, x, s, c); }
    static int refactor(int* p, int* i, double* x, klu_symbolic* s, klu_numeric* n, klu_common* c) {
        return klu_refactor(p, i, x, s, n, c);
    }
    static int rgrowth(int* p, int* i, double* x, klu_symbolic* s, klu_numeric* n, klu_common* c) {
        return klu_rgrowth(p, i, x, s, n, c);
    }
    static int solve(klu_symbolic* s, klu_numeric* n, int dim, double* b, klu_common* c) { return klu_solve(s, n, dim, 1, b, c); }
    static double pivot(const klu_numeric* n, int k) { return std::abs(static_cast<const double*>(n->Udiag)[k]); }
};
template <> struct Klu<std::complex<double>> {
    // std::complex<double> is laid out as KLU's (real, imaginary) pairs.
    static double* data(std::complex<double>* v) { return reinterpret_cast<double*>(v); }
    static klu_numeric* factor(int* p, int* i, double* x, klu_symbolic* s, klu_common* c) { return klu_z_factor(p, i, x, s, c); }
    static int refactor(int* p, int* i, double* x, klu_symbolic* s, klu_numeric* n, klu_common* c) {
        return klu_z_refactor(p, i, x, s, n, c);
    }
    static int rgrowth(int* p, int* i, double* x, klu_symbolic* s, klu_numeric* n, klu_common* c) {
        return klu_z_rgrowth(p, i, x, s, n, c);
    }
    static int solve(klu_symbolic* s, klu_numeric* n, int dim, double* b, klu_common* c) {
        return klu_z_solve(s, n, dim, 1, b, c);
    }
    static double pivot(const klu_numeric* n, int k) {
        const double* d = static_cast<const double*>(n->Udiag);
        return std::abs(std::complex<double>(d[2 * k], d[2 * k + 1]));
    }
};

template <class T> class KluSolver final : public LinearSolver<T> {
    using K = Klu<T>;

public:
    KluSolver() {
        klu_defaults(&common_);
        common_.scale = -1;           // the rows come scaled; the pattern is checked once, by klu_analyze
        // Partial pivoting, as the dense LU: the largest entry of the column,
        // the diagonal where it ties. A diagonal preference saves little fill
        // here and rounds the solutions several digits worse.
        common_.tol = 1.0;
        common_.halt_if_singular = 1; // a singular matrix is named by the caller
    }
    ~KluSolver() override { release(); }
    KluSolver(const KluSolver&) = delete;
    KluSolver& operator=(const KluSolver&) = delete;

    void analyze(const CompressedPattern& p) override {
        release();
        n_ = p.n;
        colStart_ = p.colStart;
        rowIndex_ = p.rowIndex;
        symbolic_ = klu_analyze(n_, colStart_.data(), rowIndex_.data(), &common_);
        if (!symbolic_) throw SimError("KLU: symbolic analysis failed (status " + std::to_string(common_.status) + ")");
    }

    int factor(const T* values, const double* colMax) override {
        // KLU reads the values through a non-const pointer and leaves them.
        double* x = K::data(const_cast<T*>(values));
        if (natural_) return factorNatural(x, colMax);
        if (numeric_) {
            // The last pivot order, while no pivot vanishes and none grows far
            // beyond a fresh factorisation's.
            if (K::refactor(colStart_.data(), rowIndex_.data(), x, symbolic_, numeric_, &common_) &&
                common_.status == KLU_OK && vanishingPivot(colMax) < 0 &&
                K::rgrowth(colStart_.data(), rowIndex_.data(), x, symbolic_, numeric_, &common_) &&
                common_.rgrowth >= kGrowthLoss * freshGrowth_)
                return -1;
            klu_free_numeric(&numeric_, &common_);
        }
        numeric_ = K::factor(colStart_.data(), rowIndex_.data(), x, symbolic_, &common_);
        if (!numeric_) {
            if (common_.status != KLU_SINGULAR)
                throw SimError("KLU: factorisation failed (status " + std::to_string(common_.status) + ")");
            const int k = common_.singular_col >= 0 && common_.singular_col < n_ ? common_.singular_col : 0;
            return factorNaturalOr(x, colMax, k);
        }
        if (const int k = vanishingPivot(colMax); k >= 0) {
            klu_free_numeric(&numeric_, &common_);
            return factorNaturalOr(x, colMax, k);
        }
        freshGrowth_ = K::rgrowth(colStart_.data(), rowIndex_.data(), x, symbolic_, numeric_, &common_) ? common_.rgrowth : 0.0;
        return -1;
    }

    void solve(T* b) override {
        if (!K::solve(natural_ ? naturalSymbolic_ : symbolic_, natural_ ? naturalNumeric_ : numeric_, n_, K::data(b),
                      &common_))
            throw SimError("KLU: solve failed (status " + std::to_string(common_.status) + ")");
    }
    long factorEntries() const override {
        const klu_symbolic* s = natural_ ? naturalSymbolic_ : symbolic_;
        const klu_numeric* num = natural_ ? naturalNumeric_ : numeric_;
        return num ? static_cast<long>(num->lnz) + num->unz + s->nzoff : 0;
    }

private:
    // The column of the first pivot, in elimination order, that vanishes.
    int vanishingPivot(const double* colMax) const { return vanishingPivot(symbolic_, numeric_, colMax); }
    int vanishingPivot(const klu_symbolic* s, const klu_numeric* num, const double* colMax) const {
        for (int k = 0; k < n_; ++k) {
            const int c = s->Q[k];
            if (!(K::pivot(num, k) > kVanishingPivot * colMax[c])) return c;
        }
        return -1;
    }
    // A pivot that vanishes in the fill-reducing order may not in the
    // unknowns' own order, the one dense partial pivoting takes (a chain of
    // branches tied to ground through megohms): the matrix is factored in
    // that order before it is called singular, and in that order while the
    // pattern stays.
    int factorNaturalOr(double* x, const double* colMax, int k) {
        if (!naturalSymbolic_) {
            const int btf = common_.btf;
            common_.btf = 0;
            naturalSymbolic_ = klu_analyze_given(n_, colStart_.data(), rowIndex_.data(), nullptr, nullptr, &common_);
            common_.btf = btf;
            if (!naturalSymbolic_) return k;
        }
        natural_ = true;
        const int j = factorNatural(x, colMax);
        if (j >= 0) natural_ = false;
        return j >= 0 ? k : -1;
    }
    int factorNatural(double* x, const double* colMax) {
        if (naturalNumeric_) klu_free_numeric(&naturalNumeric_, &common_);
        naturalNumeric_ = K::factor(colStart_.data(), rowIndex_.data(), x, naturalSymbolic_, &common_);
        if (!naturalNumeric_) return common_.singular_col >= 0 && common_.singular_col < n_ ? common_.singular_col : 0;
        const int k = vanishingPivot(naturalSymbolic_, naturalNumeric_, colMax);
        if (k >= 0) klu_free_numeric(&naturalNumeric_, &common_);
        return k;
    }
    void release() {
        if (numeric_) klu_free_numeric(&numeric_, &common_);
        if (symbolic_) klu_free_symbolic(&symbolic_, &common_);
        if (naturalNumeric_) klu_free_numeric(&naturalNumeric_, &common_);
        if (naturalSymbolic_) klu_free_symbolic(&naturalSymbolic_, &common_);
        natural_ = false;
    }

    klu_common common_{};
    klu_symbolic* symbolic_ = nullptr;
    klu_numeric* numeric_ = nullptr;
    klu_symbolic* naturalSymbolic_ = nullptr;
    klu_numeric* naturalNumeric_ = nullptr;
    bool natural_ = false; // factored in the unknowns' own order
    int n_ = 0;
    std::vector<int> colStart_, rowIndex_;
    double freshGrowth_ = 0.0;
};

} // namespace

template <class T> std::unique_ptr<LinearSolver<T>> makeKluSolver() { return std::make_unique<KluSolver<T>>(); }

template std::unique_ptr<LinearSolver<double>> makeKluSolver();
template std::unique_ptr<LinearSolver<std::complex<double>>> makeKluSolver();

} // namespace vxr
