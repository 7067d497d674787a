// The sparsity pattern of the circuit matrix. Every entry an element may
// write gets a slot when the element is set up (a module instance's Jacobian
// handles, a resistor's four entries, every diagonal for gshunt and gmin);
// a load pass adds its values per slot, with no dense intermediate. Slots
// keep their numbers while the pattern grows; the compressed-column form
// the solvers factor is rebuilt when it has grown.
#pragma once

#include <Eigen/Core>
#include <cmath>
#include <cstdint>
#include <vector>

namespace vxr {

// Slots of the four entries a derivative quartet (r1, r2 | c1, c2) writes:
// +v at (r1, c1) and (r2, c2), -v at (r1, c2) and (r2, c1). -1 where a row or
// column is ground or absent.
struct Quartet {
    int s11 = -1, s12 = -1, s21 = -1, s22 = -1;
};

// Compressed columns of a pattern of dimension n: the row indices of column
// c are rowIndex[colStart[c] .. colStart[c + 1]), ascending; position[s] is
// where slot s sits in that order, slot[k] the slot at position k.
struct CompressedPattern {
    int n = 0;
    std::vector<int> colStart, rowIndex, position, slot;
    uint64_t version = 0; // the pattern's version it was built from
    int nonZeros() const { return static_cast<int>(rowIndex.size()); }
};

class MatrixPattern {
public:
    // Slot of entry (r, c), added when new; -1 when r or c is negative.
    int slot(int r, int c);
    Quartet quartet(int r1, int r2, int c1, int c2);
    // Slot of the diagonal entry of unknown i (added when new).
    int diagonal(int i);
    // Every diagonal entry below n.
    void addDiagonal(int n);
    // Room for n more slots.
    void reserve(size_t n);

    int size() const { return static_cast<int>(rows_.size()); }
    int row(int s) const { return rows_[s]; }
    int col(int s) const { return cols_[s]; }
    const int* rowData() const { return rows_.data(); } // row(s) for every slot s
    const int* colData() const { return cols_.data(); }
    // Grows with every new entry.
    uint64_t version() const { return rows_.size(); }
    // The compressed form for dimension n (every entry lies below n), with
    // every diagonal entry; rebuilt when the pattern has grown.
    const CompressedPattern& compressed(int n);

private:
    // The table of slots by entry: open addressing, linear probing, -1 where
    // empty, at most half full.
    size_t bucket(int r, int c) const;
    void growTable(size_t entries);

    std::vector<int> rows_, cols_, diagonal_;
    std::vector<int> table_;
    CompressedPattern csc_;
};

// The rounding error of sum = fl(a + b): a + b == sum + error exactly
// (Knuth's TwoSum).
inline double roundingOfSum(double a, double b, double sum) {
    const double bv = sum - a;
    return (a - (sum - bv)) + (b - bv);
}

// The rounding error of product = fl(a * b): a * b == product + error exactly.
inline double roundingOfProduct(double a, double b, double product) { return std::fma(a, b, -product); }

// The lowest row holding a non-finite entry, n when none does.
int firstNonFiniteRow(const MatrixPattern& p, const std::vector<double>& m, int n);

} // namespace vxr
