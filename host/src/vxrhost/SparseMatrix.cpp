#include "vxrhost/SparseMatrix.h"

#include <algorithm>

namespace vxr {

size_t MatrixPattern::bucket(int r, int c) const {
    const uint64_t key = (static_cast<uint64_t>(static_cast<uint32_t>(r)) << 32) | static_cast<uint32_t>(c);
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & (table_.size() - 1);
}

void MatrixPattern::growTable(size_t entries) {
    size_t cap = std::max<size_t>(table_.size(), 16);
    while (cap < 2 * entries) cap *= 2;
    if (cap == table_.size()) return;
    table_.assign(cap, -1);
    for (int s = 0; s < size(); ++s) {
        size_t h = bucket(rows_[s], cols_[s]);
        while (table_[h] >= 0) h = (h + 1) & (cap - 1);
        table_[h] = s;
    }
}

int MatrixPattern::slot(int r, int c) {
    if (r < 0 || c < 0) return -1;
    growTable(rows_.size() + 1);
    size_t h = bucket(r, c);
    for (; table_[h] >= 0; h = (h + 1) & (table_.size() - 1))
        if (rows_[table_[h]] == r && cols_[table_[h]] == c) return table_[h];
    table_[h] = size();
    rows_.push_back(r);
    cols_.push_back(c);
    return table_[h];
}

void MatrixPattern::reserve(size_t n) {
    rows_.reserve(rows_.size() + n);
    cols_.reserve(cols_.size() + n);
    growTable(rows_.size() + n);
}

Quartet MatrixPattern::quartet(int r1, int r2, int c1, int c2) {
    return {slot(r1, c1), slot(r1, c2), slot(r2, c1), slot(r2, c2)};
}

int MatrixPattern::diagonal(int i) {
    if (i < 0) return -1;
    addDiagonal(i + 1);
    return diagonal_[i];
}

void MatrixPattern::addDiagonal(int n) {
    for (int i = static_cast<int>(diagonal_.size()); i < n; ++i) diagonal_.push_back(slot(i, i));
}

const CompressedPattern& MatrixPattern::compressed(int n) {
    addDiagonal(n);
    if (csc_.version == version() && csc_.n == n && !csc_.colStart.empty()) return csc_;
    const int nnz = size();
    csc_.n = n;
    csc_.version = version();
    csc_.colStart.assign(n + 1, 0);
    for (int s = 0; s < nnz; ++s) ++csc_.colStart[cols_[s] + 1];
    for (int c = 0; c < n; ++c) csc_.colStart[c + 1] += csc_.colStart[c];
    // Slots by column, then each column's rows in ascending order.
    std::vector<int> order(nnz), next(csc_.colStart.begin(), csc_.colStart.end() - 1);
    for (int s = 0; s < nnz; ++s) order[next[cols_[s]]++] = s;
    for (int c = 0; c < n; ++c)
        std::sort(order.begin() + csc_.colStart[c], order.begin() + csc_.colStart[c + 1],
                  [&](int a, int b) { return rows_[a] < rows_[b]; });
    csc_.rowIndex.resize(nnz);
    csc_.position.resize(nnz);
    for (int k = 0; k < nnz; ++k) {
        csc_.rowIndex[k] = rows_[order[k]];
        csc_.position[order[k]] = k;
    }
    csc_.slot = std::move(order);
    return csc_;
}

int firstNonFiniteRow(const MatrixPattern& p, const std::vector<double>& m, int n) {
    // A sweep without branches first: v - v is 0 for every finite v and NaN
    // otherwise, so the sums stay 0 while every value is finite.
    const double* v = m.data();
    const size_t size = m.size();
    double a0 = 0.0, a1 = 0.0, a2 = 0.0, a3 = 0.0;
    size_t k = 0;
    for (; k + 4 <= size; k += 4) {
        a0 += v[k] - v[k];
        a1 += v[k + 1] - v[k + 1];
        a2 += v[k + 2] - v[k + 2];
        a3 += v[k + 3] - v[k + 3];
    }
    for (; k < size; ++k) a0 += v[k] - v[k];
    if ((a0 + a1) + (a2 + a3) == 0.0) return n;
    int first = n;
    for (int s = 0; s < static_cast<int>(m.size()); ++s)
        if (!std::isfinite(m[s])) first = std::min(first, p.row(s));
    return first;
}

} // namespace vxr
