// The link between the intrinsic kernel's probes and a model's stamp: each
// model names the node pair of every probe (its own internal nodes where it
// has them), and looks up the probe behind a column or a ddt doublet at
// compile time.
#ifndef TORVEX_PROBE_MAP_H
#define TORVEX_PROBE_MAP_H

#include <array>
#include <cstddef>

#include "torvex_intrinsic.h"

namespace torvex {

template <class Node>
struct NodePair {
    Node a, b;
};

// A model's nodes for the kernel: its intrinsic drain, gate and bulk, and the
// nodes every model shares.
template <class Node>
struct IntrinsicNodes {
    Node tint, text, ground, drain, gate, source, bulk, id, b1, b2, diode1, diode3;
};

// The node pair of each probe, in Probe order.
template <class Node>
struct ProbePairs {
    NodePair<Node> pair[kNumProbes];
    constexpr const NodePair<Node>& operator[](int k) const { return pair[k]; }
};
template <class Node>
constexpr ProbePairs<Node> probePairs(const IntrinsicNodes<Node>& n)
{
    return {{
        {n.tint, n.text},   // P_TH
        {n.text, n.ground}, // P_TEXT
        {n.gate, n.b1},     // P_GB1
        {n.gate, n.source}, // P_GS
        {n.id, n.source},   // P_IS
        {n.drain, n.source}, // P_DS
        {n.drain, n.bulk},  // P_DB
        {n.b2, n.bulk},     // P_B2B
        {n.bulk, n.diode1}, // P_BD1
        {n.bulk, n.diode3}, // P_BD3
        {n.b1, n.b2},       // P_B1B2
        {n.source, n.b2},   // P_SB2
        {n.id, n.gate},     // P_IG
    }};
}
static_assert(P_IG == kNumProbes - 1 && P_TEXT == 1, "probePairs follows the Probe order");

// The probe measured across (a, b), -1 when no probe is.
template <class Node>
constexpr int probeOf(const ProbePairs<Node>& probes, Node a, Node b)
{
    for (int k = 0; k < kNumProbes; ++k)
        if (probes[k].a == a && probes[k].b == b) return k;
    return -1;
}

// The probe of each ddt doublet's column (doublets carry a, b).
template <class Node, class Doublet, std::size_t N>
constexpr std::array<int, N> doubletProbes(const ProbePairs<Node>& probes, const Doublet (&doublets)[N])
{
    std::array<int, N> t{};
    for (std::size_t i = 0; i < N; ++i) t[i] = probeOf(probes, doublets[i].a, doublets[i].b);
    return t;
}

template <std::size_t N>
constexpr bool allProbes(const std::array<int, N>& t)
{
    for (int p : t)
        if (p < 0) return false;
    return true;
}

// The doublets of each operator in stamp order (operator i is the one whose
// doublets carry op == first + i), so a pass does not scan the whole doublet
// list once per operator.
template <int Ops, std::size_t N>
struct OpDoublets {
    int count[Ops];
    int index[Ops][N];
};
template <int Ops, class Doublet, std::size_t N, class Op>
constexpr OpDoublets<Ops, N> opDoublets(const Doublet (&doublets)[N], Op first)
{
    OpDoublets<Ops, N> t{};
    for (std::size_t i = 0; i < N; ++i) {
        const int op = static_cast<int>(doublets[i].op) - static_cast<int>(first);
        t.index[op][t.count[op]++] = static_cast<int>(i);
    }
    return t;
}

} // namespace torvex

#endif // TORVEX_PROBE_MAP_H
