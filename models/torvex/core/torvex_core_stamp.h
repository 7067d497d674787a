// TORVEX_CORE matrix stamp: every handle request, at the index under which the
// loads address its handle.
#ifndef TORVEX_CORE_STAMP_H
#define TORVEX_CORE_STAMP_H

#include "VXR_Interface.h"

namespace torvex_core {

// Nodes of the stamp: ground, the six terminals (port order), the five internal
// nodes (state-variable order) and the branch variables of the six ddt operators
// (operator position order).
enum Node : unsigned char {
    GND,
    D, G, S, B, TINT, TEXT,
    CORE_B1, CORE_B2, CORE_ID, IB_DIODE1, IB_DIODE3,
    BR10, BR11, BR12, BR7, BR8, BR9,
    kNumStampNodes
};

// Operator positions in the private record.
enum OpPos : unsigned char { OP10, OP11, OP12, OP7, OP8, OP9, kNumOps };

// Node names as the host sees them; ground has the empty name and an operator
// branch variable bears its operator's name.
inline constexpr const char* kNodeNames[kNumStampNodes] = {
    "", "D", "G", "S", "B", "TINT", "TEXT",
    "CORE_B1", "CORE_B2", "CORE_ID", "IB_DIODE1", "IB_DIODE3",
    "_opddt10", "_opddt11", "_opddt12", "_opddt7", "_opddt8", "_opddt9",
};

inline constexpr int kNumRhs = 20;
inline constexpr int kNumRhsQ = 8;
inline constexpr int kNumJac = 71;
inline constexpr int kNumJacQ = 35;
inline constexpr int kNumDdtDoublets = 33;

struct PairReq {
    Node a, b;
    VXR_DepTypeE dep;
};
struct QuartetReq {
    Node ra, rb, ca, cb;
    VXR_DepTypeE dep;
};
struct DoubletReq {
    OpPos op;
    Node a, b;
};

// clang-format off
inline constexpr PairReq kRhsPairs[kNumRhs] = {
    {CORE_ID, S, NONLIN_DEP}, // 0
    {CORE_ID, CORE_B1, NONLIN_DEP}, // 1
    {S, CORE_B1, NONLIN_DEP}, // 2
    {D, CORE_ID, NONLIN_DEP}, // 3
    {D, B, NONLIN_DEP}, // 4
    {CORE_ID, B, NONLIN_DEP}, // 5
    {CORE_B1, CORE_B2, NONLIN_DEP}, // 6
    {CORE_B2, B, LIN_DEP}, // 7
    {B, IB_DIODE1, NONLIN_DEP}, // 8
    {B, IB_DIODE3, NONLIN_DEP}, // 9
    {CORE_ID, G, LIN_DEP}, // 10
    {G, S, LIN_DEP}, // 11
    {G, CORE_B1, LIN_DEP}, // 12
    {CORE_ID, IB_DIODE1, LIN_DEP}, // 13
    {D, CORE_B2, LIN_DEP}, // 14
    {D, IB_DIODE3, LIN_DEP}, // 15
    {S, CORE_B2, LIN_DEP}, // 16
    {TINT, TEXT, NONLIN_DEP}, // 17
    {GND, TINT, NONLIN_DEP}, // 18
    {TEXT, GND, LIN_DEP}, // 19
};
inline constexpr PairReq kRhsQPairs[kNumRhsQ] = {
    {CORE_ID, G, NONLIN_DEP}, // 0
    {G, S, NONLIN_DEP}, // 1
    {G, CORE_B1, NONLIN_DEP}, // 2
    {CORE_ID, IB_DIODE1, NONLIN_DEP}, // 3
    {D, CORE_B2, NONLIN_DEP}, // 4
    {D, IB_DIODE3, NONLIN_DEP}, // 5
    {S, CORE_B2, NONLIN_DEP}, // 6
    {TINT, TEXT, NONLIN_DEP}, // 7
};
inline constexpr QuartetReq kJacQuartets[kNumJac] = {
    {CORE_ID, S, TINT, TEXT, NONLIN_DEP}, // 0
    {CORE_ID, S, TEXT, GND, NONLIN_DEP}, // 1
    {CORE_ID, S, G, S, NONLIN_DEP}, // 2
    {CORE_ID, S, G, CORE_B1, NONLIN_DEP}, // 3
    {CORE_ID, S, CORE_ID, S, NONLIN_DEP}, // 4
    {CORE_ID, CORE_B1, TINT, TEXT, NONLIN_DEP}, // 5
    {CORE_ID, CORE_B1, TEXT, GND, NONLIN_DEP}, // 6
    {CORE_ID, CORE_B1, G, S, NONLIN_DEP}, // 7
    {CORE_ID, CORE_B1, G, CORE_B1, NONLIN_DEP}, // 8
    {CORE_ID, CORE_B1, CORE_ID, S, NONLIN_DEP}, // 9
    {S, CORE_B1, TINT, TEXT, NONLIN_DEP}, // 10
    {S, CORE_B1, TEXT, GND, NONLIN_DEP}, // 11
    {S, CORE_B1, G, S, NONLIN_DEP}, // 12
    {S, CORE_B1, G, CORE_B1, NONLIN_DEP}, // 13
    {S, CORE_B1, CORE_ID, S, NONLIN_DEP}, // 14
    {D, CORE_ID, TINT, TEXT, NONLIN_DEP}, // 15
    {D, CORE_ID, TEXT, GND, NONLIN_DEP}, // 16
    {D, CORE_ID, G, S, NONLIN_DEP}, // 17
    {D, CORE_ID, D, B, NONLIN_DEP}, // 18
    {D, CORE_ID, G, CORE_B1, NONLIN_DEP}, // 19
    {D, CORE_ID, D, S, NONLIN_DEP}, // 20
    {D, CORE_ID, CORE_ID, S, NONLIN_DEP}, // 21
    {D, B, TINT, TEXT, NONLIN_DEP}, // 22
    {D, B, TEXT, GND, NONLIN_DEP}, // 23
    {D, B, G, S, NONLIN_DEP}, // 24
    {D, B, D, B, NONLIN_DEP}, // 25
    {D, B, G, CORE_B1, NONLIN_DEP}, // 26
    {D, B, D, S, NONLIN_DEP}, // 27
    {D, B, CORE_ID, S, NONLIN_DEP}, // 28
    {CORE_ID, B, TINT, TEXT, NONLIN_DEP}, // 29
    {CORE_ID, B, TEXT, GND, NONLIN_DEP}, // 30
    {CORE_ID, B, G, S, NONLIN_DEP}, // 31
    {CORE_ID, B, D, B, NONLIN_DEP}, // 32
    {CORE_ID, B, G, CORE_B1, NONLIN_DEP}, // 33
    {CORE_ID, B, D, S, NONLIN_DEP}, // 34
    {CORE_ID, B, CORE_ID, S, NONLIN_DEP}, // 35
    {CORE_B1, CORE_B2, TINT, TEXT, NONLIN_DEP}, // 36
    {CORE_B1, CORE_B2, TEXT, GND, NONLIN_DEP}, // 37
    {CORE_B1, CORE_B2, CORE_B1, CORE_B2, NONLIN_DEP}, // 38
    {CORE_B2, B, CORE_B2, B, LIN_DEP}, // 39
    {B, IB_DIODE1, TINT, TEXT, NONLIN_DEP}, // 40
    {B, IB_DIODE1, TEXT, GND, NONLIN_DEP}, // 41
    {B, IB_DIODE1, D, B, NONLIN_DEP}, // 42
    {B, IB_DIODE1, D, S, NONLIN_DEP}, // 43
    {B, IB_DIODE1, B, IB_DIODE1, NONLIN_DEP}, // 44
    {B, IB_DIODE1, CORE_ID, S, NONLIN_DEP}, // 45
    {B, IB_DIODE3, TINT, TEXT, NONLIN_DEP}, // 46
    {B, IB_DIODE3, TEXT, GND, NONLIN_DEP}, // 47
    {B, IB_DIODE3, D, B, NONLIN_DEP}, // 48
    {B, IB_DIODE3, B, IB_DIODE3, NONLIN_DEP}, // 49
    {TINT, TEXT, TINT, TEXT, NONLIN_DEP}, // 50
    {TINT, TEXT, TEXT, GND, NONLIN_DEP}, // 51
    {GND, TINT, TINT, TEXT, NONLIN_DEP}, // 52
    {GND, TINT, TEXT, GND, NONLIN_DEP}, // 53
    {GND, TINT, G, S, NONLIN_DEP}, // 54
    {GND, TINT, D, B, NONLIN_DEP}, // 55
    {GND, TINT, CORE_ID, G, NONLIN_DEP}, // 56
    {GND, TINT, G, CORE_B1, NONLIN_DEP}, // 57
    {GND, TINT, D, S, NONLIN_DEP}, // 58
    {GND, TINT, CORE_B1, CORE_B2, NONLIN_DEP}, // 59
    {GND, TINT, CORE_B2, B, NONLIN_DEP}, // 60
    {GND, TINT, B, IB_DIODE1, NONLIN_DEP}, // 61
    {GND, TINT, B, IB_DIODE3, NONLIN_DEP}, // 62
    {GND, TINT, CORE_ID, S, NONLIN_DEP}, // 63
    {GND, TINT, BR10, GND, NONLIN_DEP}, // 64
    {GND, TINT, BR11, GND, NONLIN_DEP}, // 65
    {GND, TINT, BR12, GND, NONLIN_DEP}, // 66
    {GND, TINT, BR7, GND, NONLIN_DEP}, // 67
    {GND, TINT, BR8, GND, NONLIN_DEP}, // 68
    {GND, TINT, BR9, GND, NONLIN_DEP}, // 69
    {TEXT, GND, TEXT, GND, LIN_DEP}, // 70
};
inline constexpr QuartetReq kJacQQuartets[kNumJacQ] = {
    {CORE_ID, G, TINT, TEXT, NONLIN_DEP}, // 0
    {CORE_ID, G, TEXT, GND, NONLIN_DEP}, // 1
    {CORE_ID, G, G, S, NONLIN_DEP}, // 2
    {CORE_ID, G, G, CORE_B1, NONLIN_DEP}, // 3
    {CORE_ID, G, CORE_ID, S, NONLIN_DEP}, // 4
    {G, S, TINT, TEXT, NONLIN_DEP}, // 5
    {G, S, TEXT, GND, NONLIN_DEP}, // 6
    {G, S, G, S, NONLIN_DEP}, // 7
    {G, S, G, CORE_B1, NONLIN_DEP}, // 8
    {G, S, CORE_ID, S, NONLIN_DEP}, // 9
    {G, CORE_B1, TINT, TEXT, NONLIN_DEP}, // 10
    {G, CORE_B1, TEXT, GND, NONLIN_DEP}, // 11
    {G, CORE_B1, G, S, NONLIN_DEP}, // 12
    {G, CORE_B1, G, CORE_B1, NONLIN_DEP}, // 13
    {G, CORE_B1, CORE_ID, S, NONLIN_DEP}, // 14
    {CORE_ID, IB_DIODE1, TINT, TEXT, NONLIN_DEP}, // 15
    {CORE_ID, IB_DIODE1, TEXT, GND, NONLIN_DEP}, // 16
    {CORE_ID, IB_DIODE1, D, B, NONLIN_DEP}, // 17
    {CORE_ID, IB_DIODE1, D, S, NONLIN_DEP}, // 18
    {CORE_ID, IB_DIODE1, B, IB_DIODE1, NONLIN_DEP}, // 19
    {CORE_ID, IB_DIODE1, CORE_ID, S, NONLIN_DEP}, // 20
    {D, CORE_B2, TINT, TEXT, NONLIN_DEP}, // 21
    {D, CORE_B2, TEXT, GND, NONLIN_DEP}, // 22
    {D, CORE_B2, G, S, NONLIN_DEP}, // 23
    {D, CORE_B2, D, B, NONLIN_DEP}, // 24
    {D, CORE_B2, G, CORE_B1, NONLIN_DEP}, // 25
    {D, CORE_B2, D, S, NONLIN_DEP}, // 26
    {D, CORE_B2, CORE_B2, B, NONLIN_DEP}, // 27
    {D, CORE_B2, CORE_ID, S, NONLIN_DEP}, // 28
    {D, IB_DIODE3, TINT, TEXT, NONLIN_DEP}, // 29
    {D, IB_DIODE3, TEXT, GND, NONLIN_DEP}, // 30
    {D, IB_DIODE3, D, B, NONLIN_DEP}, // 31
    {D, IB_DIODE3, B, IB_DIODE3, NONLIN_DEP}, // 32
    {S, CORE_B2, S, CORE_B2, LIN_DEP}, // 33
    {TINT, TEXT, TINT, TEXT, LIN_DEP}, // 34
};
inline constexpr DoubletReq kDdtDoublets[kNumDdtDoublets] = {
    {OP10, TINT, TEXT}, // 0
    {OP10, TEXT, GND}, // 1
    {OP10, D, B}, // 2
    {OP10, D, S}, // 3
    {OP10, B, IB_DIODE1}, // 4
    {OP10, CORE_ID, S}, // 5
    {OP11, TINT, TEXT}, // 6
    {OP11, TEXT, GND}, // 7
    {OP11, G, S}, // 8
    {OP11, D, B}, // 9
    {OP11, G, CORE_B1}, // 10
    {OP11, D, S}, // 11
    {OP11, CORE_B2, B}, // 12
    {OP11, CORE_ID, S}, // 13
    {OP12, TINT, TEXT}, // 14
    {OP12, TEXT, GND}, // 15
    {OP12, D, B}, // 16
    {OP12, B, IB_DIODE3}, // 17
    {OP7, TINT, TEXT}, // 18
    {OP7, TEXT, GND}, // 19
    {OP7, G, S}, // 20
    {OP7, G, CORE_B1}, // 21
    {OP7, CORE_ID, S}, // 22
    {OP8, TINT, TEXT}, // 23
    {OP8, TEXT, GND}, // 24
    {OP8, G, S}, // 25
    {OP8, G, CORE_B1}, // 26
    {OP8, CORE_ID, S}, // 27
    {OP9, TINT, TEXT}, // 28
    {OP9, TEXT, GND}, // 29
    {OP9, G, S}, // 30
    {OP9, G, CORE_B1}, // 31
    {OP9, CORE_ID, S}, // 32
};
// clang-format on

// ---- Host order: requests sorted by node names ----------------------------

namespace detail {
constexpr int cmpName(Node x, Node y)
{
    const char* a = kNodeNames[x];
    const char* b = kNodeNames[y];
    while (*a && *a == *b) ++a, ++b;
    return static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
}
constexpr int cmpPair(Node a1, Node b1, Node a2, Node b2)
{
    const int c = cmpName(a1, a2);
    return c != 0 ? c : cmpName(b1, b2);
}
constexpr bool before(const PairReq& x, const PairReq& y) { return cmpPair(x.a, x.b, y.a, y.b) < 0; }
constexpr bool before(const QuartetReq& x, const QuartetReq& y)
{
    const int c = cmpPair(x.ra, x.rb, y.ra, y.rb);
    return c != 0 ? c < 0 : cmpPair(x.ca, x.cb, y.ca, y.cb) < 0;
}

template <int N>
struct Order {
    int idx[N];
};
// Table indices in host request order (stable insertion sort).
template <int N, class Req>
constexpr Order<N> hostOrder(const Req (&t)[N])
{
    Order<N> o{};
    for (int i = 0; i < N; ++i) {
        int j = i;
        while (j > 0 && before(t[i], t[o.idx[j - 1]])) {
            o.idx[j] = o.idx[j - 1];
            --j;
        }
        o.idx[j] = i;
    }
    return o;
}
} // namespace detail

inline constexpr auto kRhsOrder = detail::hostOrder(kRhsPairs);
inline constexpr auto kRhsQOrder = detail::hostOrder(kRhsQPairs);
inline constexpr auto kJacOrder = detail::hostOrder(kJacQuartets);
inline constexpr auto kJacQOrder = detail::hostOrder(kJacQQuartets);

} // namespace torvex_core

#endif // TORVEX_CORE_STAMP_H
