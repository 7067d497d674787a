// TORVEX_EN / TORVEX matrix stamp: every handle request, at the index under
// which the loads address its handle. The tables are TORVEX_EN's; TORVEX
// requests the same entries without those on the monitor terminals and the
// monitor branch, closed up, and its indices are derived here.
#ifndef TORVEX_EN_STAMP_H
#define TORVEX_EN_STAMP_H

#include <array>
#include <cstddef>

#include "VXR_Interface.h"

namespace torvex_en {

// Nodes of the stamp: ground, the terminals (port order), the 21 internal
// nodes and the seven branches (state-variable order), the branch variables
// of the six ddt operators.
enum Node : unsigned char {
    GND,
    D, G, B, TINT, TEXT, VIDS, IIDS,
    BI2, CORE_B1, CORE_B2, CORE_ID, DFIN1, DFIN2, DFIN3, DI2, DIBAR, DIFIN, GFIN1, GFIN2, GFIN3,
    GI2, GIBAR, GIFIN, GPOLY, IB_DIODE1, IB_DIODE3, S, SH,
    BR_VIDS, BR_D1, BR_D2, BR_D3, BR_G1, BR_G2, BR_G3,
    OP26, OP27, OP28, OP29, OP30, OP31,
    kNumStampNodes
};
inline constexpr int kNumOps = 6;

// Names as the host sees them; ground has the empty name, an operator's
// branch variable its operator's name.
inline constexpr const char* kNodeNames[kNumStampNodes] = {
    "",
    "D", "G", "B", "TINT", "TEXT", "VIDS", "IIDS",
    "BI2", "CORE_B1", "CORE_B2", "CORE_ID", "DFIN1", "DFIN2", "DFIN3", "DI2", "DIBAR", "DIFIN", "GFIN1", "GFIN2",
    "GFIN3", "GI2", "GIBAR", "GIFIN", "GPOLY", "IB_DIODE1", "IB_DIODE3", "S", "SH",
    "_ub_VIDS_GND_i", "br_ind_d1_i", "br_ind_d2_i", "br_ind_d3_i", "br_ind_g1_i", "br_ind_g2_i", "br_ind_g3_i",
    "_opddt26", "_opddt27", "_opddt28", "_opddt29", "_opddt30", "_opddt31",
};

// Entries that exist only with the monitor terminals.
constexpr bool isMonitor(Node n) { return n == VIDS || n == IIDS || n == BR_VIDS; }

struct PairReq {
    Node a, b;
    VXR_DepTypeE dep;
    constexpr bool monitor() const { return isMonitor(a) || isMonitor(b); }
};
struct QuartetReq {
    Node ra, rb, ca, cb;
    VXR_DepTypeE dep;
    constexpr bool monitor() const { return isMonitor(ra) || isMonitor(rb) || isMonitor(ca) || isMonitor(cb); }
};
struct DoubletReq {
    Node op; // OP26 .. OP31
    Node a, b;
};

// clang-format off
inline constexpr PairReq kRhsPairs[] = {
    {CORE_ID, S, NONLIN_DEP}, // 0
    {CORE_ID, CORE_B1, NONLIN_DEP}, // 1
    {S, CORE_B1, NONLIN_DEP}, // 2
    {DI2, CORE_ID, NONLIN_DEP}, // 3
    {DI2, BI2, NONLIN_DEP}, // 4
    {CORE_ID, BI2, NONLIN_DEP}, // 5
    {CORE_B1, CORE_B2, NONLIN_DEP}, // 6
    {CORE_B2, BI2, LIN_DEP}, // 7
    {BI2, IB_DIODE1, NONLIN_DEP}, // 8
    {BI2, IB_DIODE3, NONLIN_DEP}, // 9
    {CORE_ID, GI2, LIN_DEP}, // 10
    {GI2, S, LIN_DEP}, // 11
    {GI2, CORE_B1, LIN_DEP}, // 12
    {CORE_ID, IB_DIODE1, LIN_DEP}, // 13
    {DI2, CORE_B2, LIN_DEP}, // 14
    {DI2, IB_DIODE3, LIN_DEP}, // 15
    {S, CORE_B2, LIN_DEP}, // 16
    {S, BI2, LIN_DEP}, // 17
    {BI2, B, LIN_DEP}, // 18
    {GPOLY, GIFIN, LIN_DEP}, // 19
    {GIFIN, S, LIN_DEP}, // 20
    {DI2, DIFIN, LIN_DEP}, // 21
    {DIFIN, S, LIN_DEP}, // 22
    {GPOLY, DI2, LIN_DEP}, // 23
    {GI2, DI2, LIN_DEP}, // 24
    {GI2, SH, LIN_DEP}, // 25
    {SH, S, LIN_DEP}, // 26
    {GPOLY, GI2, LIN_DEP}, // 27
    {G, GIBAR, LIN_DEP}, // 28
    {GIBAR, B, LIN_DEP}, // 29
    {GFIN1, GPOLY, LIN_DEP}, // 30
    {BR_G3, GND, LIN_DEP}, // 31
    {BR_G2, GND, LIN_DEP}, // 32
    {BR_G1, GND, LIN_DEP}, // 33
    {G, GFIN1, LIN_DEP}, // 34
    {GFIN3, GFIN1, LIN_DEP}, // 35
    {GFIN2, GFIN1, LIN_DEP}, // 36
    {D, DIBAR, LIN_DEP}, // 37
    {DIBAR, B, LIN_DEP}, // 38
    {DFIN1, DI2, LIN_DEP}, // 39
    {BR_D3, GND, LIN_DEP}, // 40
    {BR_D2, GND, LIN_DEP}, // 41
    {BR_D1, GND, LIN_DEP}, // 42
    {D, DFIN1, LIN_DEP}, // 43
    {DFIN3, DFIN1, LIN_DEP}, // 44
    {DFIN2, DFIN1, LIN_DEP}, // 45
    {TINT, TEXT, NONLIN_DEP}, // 46
    {GND, TINT, NONLIN_DEP}, // 47
    {TEXT, GND, LIN_DEP}, // 48
    {BR_VIDS, GND, LIN_DEP}, // 49
    {IIDS, GND, NONLIN_DEP}, // 50
    {VIDS, GND, LIN_DEP}, // 51
    {DFIN3, DFIN2, LIN_DEP}, // 52
    {D, DFIN3, LIN_DEP}, // 53
    {GFIN3, GFIN2, LIN_DEP}, // 54
    {G, GFIN3, LIN_DEP}, // 55
};
inline constexpr PairReq kRhsQPairs[] = {
    {CORE_ID, GI2, NONLIN_DEP}, // 0
    {GI2, S, NONLIN_DEP}, // 1
    {GI2, CORE_B1, NONLIN_DEP}, // 2
    {CORE_ID, IB_DIODE1, NONLIN_DEP}, // 3
    {DI2, CORE_B2, NONLIN_DEP}, // 4
    {DI2, IB_DIODE3, NONLIN_DEP}, // 5
    {S, CORE_B2, NONLIN_DEP}, // 6
    {GPOLY, GIFIN, NONLIN_DEP}, // 7
    {DI2, DIFIN, NONLIN_DEP}, // 8
    {GPOLY, DI2, NONLIN_DEP}, // 9
    {GI2, DI2, NONLIN_DEP}, // 10
    {GI2, SH, NONLIN_DEP}, // 11
    {G, GIBAR, NONLIN_DEP}, // 12
    {BR_G3, GND, NONLIN_DEP}, // 13
    {BR_G2, GND, NONLIN_DEP}, // 14
    {BR_G1, GND, NONLIN_DEP}, // 15
    {D, DIBAR, NONLIN_DEP}, // 16
    {BR_D3, GND, NONLIN_DEP}, // 17
    {BR_D2, GND, NONLIN_DEP}, // 18
    {BR_D1, GND, NONLIN_DEP}, // 19
    {TINT, TEXT, NONLIN_DEP}, // 20
    {IIDS, GND, NONLIN_DEP}, // 21
};
inline constexpr QuartetReq kJacQuartets[] = {
    {CORE_ID, S, TINT, TEXT, NONLIN_DEP}, // 0
    {CORE_ID, S, TEXT, GND, NONLIN_DEP}, // 1
    {CORE_ID, S, GI2, CORE_B1, NONLIN_DEP}, // 2
    {CORE_ID, S, CORE_ID, S, NONLIN_DEP}, // 3
    {CORE_ID, S, GI2, S, NONLIN_DEP}, // 4
    {CORE_ID, CORE_B1, TINT, TEXT, NONLIN_DEP}, // 5
    {CORE_ID, CORE_B1, TEXT, GND, NONLIN_DEP}, // 6
    {CORE_ID, CORE_B1, GI2, CORE_B1, NONLIN_DEP}, // 7
    {CORE_ID, CORE_B1, CORE_ID, S, NONLIN_DEP}, // 8
    {CORE_ID, CORE_B1, GI2, S, NONLIN_DEP}, // 9
    {S, CORE_B1, TINT, TEXT, NONLIN_DEP}, // 10
    {S, CORE_B1, TEXT, GND, NONLIN_DEP}, // 11
    {S, CORE_B1, GI2, CORE_B1, NONLIN_DEP}, // 12
    {S, CORE_B1, CORE_ID, S, NONLIN_DEP}, // 13
    {S, CORE_B1, GI2, S, NONLIN_DEP}, // 14
    {DI2, CORE_ID, TINT, TEXT, NONLIN_DEP}, // 15
    {DI2, CORE_ID, TEXT, GND, NONLIN_DEP}, // 16
    {DI2, CORE_ID, GI2, CORE_B1, NONLIN_DEP}, // 17
    {DI2, CORE_ID, DI2, S, NONLIN_DEP}, // 18
    {DI2, CORE_ID, CORE_ID, S, NONLIN_DEP}, // 19
    {DI2, CORE_ID, GI2, S, NONLIN_DEP}, // 20
    {DI2, CORE_ID, DI2, BI2, NONLIN_DEP}, // 21
    {DI2, BI2, TINT, TEXT, NONLIN_DEP}, // 22
    {DI2, BI2, TEXT, GND, NONLIN_DEP}, // 23
    {DI2, BI2, GI2, CORE_B1, NONLIN_DEP}, // 24
    {DI2, BI2, DI2, S, NONLIN_DEP}, // 25
    {DI2, BI2, CORE_ID, S, NONLIN_DEP}, // 26
    {DI2, BI2, GI2, S, NONLIN_DEP}, // 27
    {DI2, BI2, DI2, BI2, NONLIN_DEP}, // 28
    {CORE_ID, BI2, TINT, TEXT, NONLIN_DEP}, // 29
    {CORE_ID, BI2, TEXT, GND, NONLIN_DEP}, // 30
    {CORE_ID, BI2, GI2, CORE_B1, NONLIN_DEP}, // 31
    {CORE_ID, BI2, DI2, S, NONLIN_DEP}, // 32
    {CORE_ID, BI2, CORE_ID, S, NONLIN_DEP}, // 33
    {CORE_ID, BI2, GI2, S, NONLIN_DEP}, // 34
    {CORE_ID, BI2, DI2, BI2, NONLIN_DEP}, // 35
    {CORE_B1, CORE_B2, TINT, TEXT, NONLIN_DEP}, // 36
    {CORE_B1, CORE_B2, TEXT, GND, NONLIN_DEP}, // 37
    {CORE_B1, CORE_B2, CORE_B1, CORE_B2, NONLIN_DEP}, // 38
    {CORE_B2, BI2, CORE_B2, BI2, LIN_DEP}, // 39
    {BI2, IB_DIODE1, TINT, TEXT, NONLIN_DEP}, // 40
    {BI2, IB_DIODE1, TEXT, GND, NONLIN_DEP}, // 41
    {BI2, IB_DIODE1, DI2, S, NONLIN_DEP}, // 42
    {BI2, IB_DIODE1, BI2, IB_DIODE1, NONLIN_DEP}, // 43
    {BI2, IB_DIODE1, CORE_ID, S, NONLIN_DEP}, // 44
    {BI2, IB_DIODE1, DI2, BI2, NONLIN_DEP}, // 45
    {BI2, IB_DIODE3, TINT, TEXT, NONLIN_DEP}, // 46
    {BI2, IB_DIODE3, TEXT, GND, NONLIN_DEP}, // 47
    {BI2, IB_DIODE3, BI2, IB_DIODE3, NONLIN_DEP}, // 48
    {BI2, IB_DIODE3, DI2, BI2, NONLIN_DEP}, // 49
    {S, BI2, S, BI2, LIN_DEP}, // 50
    {BI2, B, BI2, B, LIN_DEP}, // 51
    {GIFIN, S, GIFIN, S, LIN_DEP}, // 52
    {DIFIN, S, DIFIN, S, LIN_DEP}, // 53
    {SH, S, SH, S, LIN_DEP}, // 54
    {GPOLY, GI2, GPOLY, GI2, LIN_DEP}, // 55
    {GIBAR, B, GIBAR, B, LIN_DEP}, // 56
    {GFIN1, GPOLY, GFIN1, GPOLY, LIN_DEP}, // 57
    {BR_G3, GND, BR_G3, GND, LIN_DEP}, // 58
    {BR_G2, GND, BR_G2, GND, LIN_DEP}, // 59
    {BR_G1, GND, BR_G1, GND, LIN_DEP}, // 60
    {G, GFIN1, G, GFIN1, LIN_DEP}, // 61
    {GFIN3, GFIN1, GFIN3, GFIN1, LIN_DEP}, // 62
    {GFIN2, GFIN1, GFIN2, GFIN1, LIN_DEP}, // 63
    {DIBAR, B, DIBAR, B, LIN_DEP}, // 64
    {DFIN1, DI2, DFIN1, DI2, LIN_DEP}, // 65
    {BR_D3, GND, BR_D3, GND, LIN_DEP}, // 66
    {BR_D2, GND, BR_D2, GND, LIN_DEP}, // 67
    {BR_D1, GND, BR_D1, GND, LIN_DEP}, // 68
    {D, DFIN1, D, DFIN1, LIN_DEP}, // 69
    {DFIN3, DFIN1, DFIN3, DFIN1, LIN_DEP}, // 70
    {DFIN2, DFIN1, DFIN2, DFIN1, LIN_DEP}, // 71
    {TINT, TEXT, TINT, TEXT, NONLIN_DEP}, // 72
    {TINT, TEXT, TEXT, GND, NONLIN_DEP}, // 73
    {GND, TINT, TINT, TEXT, NONLIN_DEP}, // 74
    {GND, TINT, TEXT, GND, NONLIN_DEP}, // 75
    {GND, TINT, SH, S, NONLIN_DEP}, // 76
    {GND, TINT, GPOLY, GI2, NONLIN_DEP}, // 77
    {GND, TINT, GIBAR, B, NONLIN_DEP}, // 78
    {GND, TINT, GFIN1, GPOLY, NONLIN_DEP}, // 79
    {GND, TINT, G, GFIN1, NONLIN_DEP}, // 80
    {GND, TINT, GFIN3, GFIN1, NONLIN_DEP}, // 81
    {GND, TINT, GFIN2, GFIN1, NONLIN_DEP}, // 82
    {GND, TINT, DIBAR, B, NONLIN_DEP}, // 83
    {GND, TINT, DFIN1, DI2, NONLIN_DEP}, // 84
    {GND, TINT, D, DFIN1, NONLIN_DEP}, // 85
    {GND, TINT, DFIN3, DFIN1, NONLIN_DEP}, // 86
    {GND, TINT, GIFIN, S, NONLIN_DEP}, // 87
    {GND, TINT, DFIN2, DFIN1, NONLIN_DEP}, // 88
    {GND, TINT, GI2, CORE_B1, NONLIN_DEP}, // 89
    {GND, TINT, DI2, S, NONLIN_DEP}, // 90
    {GND, TINT, CORE_B1, CORE_B2, NONLIN_DEP}, // 91
    {GND, TINT, CORE_B2, BI2, NONLIN_DEP}, // 92
    {GND, TINT, BI2, IB_DIODE1, NONLIN_DEP}, // 93
    {GND, TINT, BI2, IB_DIODE3, NONLIN_DEP}, // 94
    {GND, TINT, CORE_ID, S, NONLIN_DEP}, // 95
    {GND, TINT, GI2, S, NONLIN_DEP}, // 96
    {GND, TINT, DI2, BI2, NONLIN_DEP}, // 97
    {GND, TINT, CORE_ID, GI2, NONLIN_DEP}, // 98
    {GND, TINT, DIFIN, S, NONLIN_DEP}, // 99
    {GND, TINT, S, BI2, NONLIN_DEP}, // 100
    {GND, TINT, BI2, B, NONLIN_DEP}, // 101
    {GND, TINT, OP26, GND, NONLIN_DEP}, // 102
    {GND, TINT, OP27, GND, NONLIN_DEP}, // 103
    {GND, TINT, OP28, GND, NONLIN_DEP}, // 104
    {GND, TINT, OP29, GND, NONLIN_DEP}, // 105
    {GND, TINT, OP30, GND, NONLIN_DEP}, // 106
    {GND, TINT, OP31, GND, NONLIN_DEP}, // 107
    {TEXT, GND, TEXT, GND, LIN_DEP}, // 108
    {BR_VIDS, GND, CORE_ID, S, LIN_DEP}, // 109
    {IIDS, GND, TINT, TEXT, NONLIN_DEP}, // 110
    {IIDS, GND, TEXT, GND, NONLIN_DEP}, // 111
    {IIDS, GND, GI2, CORE_B1, NONLIN_DEP}, // 112
    {IIDS, GND, CORE_ID, S, NONLIN_DEP}, // 113
    {IIDS, GND, GI2, S, NONLIN_DEP}, // 114
    {VIDS, GND, BR_VIDS, GND, LIN_DEP}, // 115
    {BR_VIDS, GND, VIDS, GND, LIN_DEP}, // 116
    {DFIN2, DFIN1, BR_D1, GND, LIN_DEP}, // 117
    {BR_D1, GND, DFIN2, DFIN1, LIN_DEP}, // 118
    {DFIN3, DFIN2, BR_D2, GND, LIN_DEP}, // 119
    {BR_D2, GND, DFIN3, DFIN2, LIN_DEP}, // 120
    {D, DFIN3, BR_D3, GND, LIN_DEP}, // 121
    {BR_D3, GND, D, DFIN3, LIN_DEP}, // 122
    {GFIN2, GFIN1, BR_G1, GND, LIN_DEP}, // 123
    {BR_G1, GND, GFIN2, GFIN1, LIN_DEP}, // 124
    {GFIN3, GFIN2, BR_G2, GND, LIN_DEP}, // 125
    {BR_G2, GND, GFIN3, GFIN2, LIN_DEP}, // 126
    {G, GFIN3, BR_G3, GND, LIN_DEP}, // 127
    {BR_G3, GND, G, GFIN3, LIN_DEP}, // 128
};
inline constexpr QuartetReq kJacQQuartets[] = {
    {CORE_ID, GI2, TINT, TEXT, NONLIN_DEP}, // 0
    {CORE_ID, GI2, TEXT, GND, NONLIN_DEP}, // 1
    {CORE_ID, GI2, GI2, CORE_B1, NONLIN_DEP}, // 2
    {CORE_ID, GI2, CORE_ID, S, NONLIN_DEP}, // 3
    {CORE_ID, GI2, GI2, S, NONLIN_DEP}, // 4
    {GI2, S, TINT, TEXT, NONLIN_DEP}, // 5
    {GI2, S, TEXT, GND, NONLIN_DEP}, // 6
    {GI2, S, GI2, CORE_B1, NONLIN_DEP}, // 7
    {GI2, S, CORE_ID, S, NONLIN_DEP}, // 8
    {GI2, S, GI2, S, NONLIN_DEP}, // 9
    {GI2, CORE_B1, TINT, TEXT, NONLIN_DEP}, // 10
    {GI2, CORE_B1, TEXT, GND, NONLIN_DEP}, // 11
    {GI2, CORE_B1, GI2, CORE_B1, NONLIN_DEP}, // 12
    {GI2, CORE_B1, CORE_ID, S, NONLIN_DEP}, // 13
    {GI2, CORE_B1, GI2, S, NONLIN_DEP}, // 14
    {CORE_ID, IB_DIODE1, TINT, TEXT, NONLIN_DEP}, // 15
    {CORE_ID, IB_DIODE1, TEXT, GND, NONLIN_DEP}, // 16
    {CORE_ID, IB_DIODE1, DI2, S, NONLIN_DEP}, // 17
    {CORE_ID, IB_DIODE1, BI2, IB_DIODE1, NONLIN_DEP}, // 18
    {CORE_ID, IB_DIODE1, CORE_ID, S, NONLIN_DEP}, // 19
    {CORE_ID, IB_DIODE1, DI2, BI2, NONLIN_DEP}, // 20
    {DI2, CORE_B2, TINT, TEXT, NONLIN_DEP}, // 21
    {DI2, CORE_B2, TEXT, GND, NONLIN_DEP}, // 22
    {DI2, CORE_B2, GI2, CORE_B1, NONLIN_DEP}, // 23
    {DI2, CORE_B2, DI2, S, NONLIN_DEP}, // 24
    {DI2, CORE_B2, CORE_B2, BI2, NONLIN_DEP}, // 25
    {DI2, CORE_B2, CORE_ID, S, NONLIN_DEP}, // 26
    {DI2, CORE_B2, GI2, S, NONLIN_DEP}, // 27
    {DI2, CORE_B2, DI2, BI2, NONLIN_DEP}, // 28
    {DI2, IB_DIODE3, TINT, TEXT, NONLIN_DEP}, // 29
    {DI2, IB_DIODE3, TEXT, GND, NONLIN_DEP}, // 30
    {DI2, IB_DIODE3, BI2, IB_DIODE3, NONLIN_DEP}, // 31
    {DI2, IB_DIODE3, DI2, BI2, NONLIN_DEP}, // 32
    {S, CORE_B2, S, CORE_B2, LIN_DEP}, // 33
    {GPOLY, GIFIN, GPOLY, GIFIN, LIN_DEP}, // 34
    {DI2, DIFIN, DI2, DIFIN, LIN_DEP}, // 35
    {GPOLY, DI2, GPOLY, DI2, LIN_DEP}, // 36
    {GI2, DI2, GI2, DI2, LIN_DEP}, // 37
    {GI2, SH, GI2, SH, LIN_DEP}, // 38
    {G, GIBAR, G, GIBAR, LIN_DEP}, // 39
    {BR_G3, GND, BR_G3, GND, LIN_DEP}, // 40
    {BR_G3, GND, BR_D3, GND, LIN_DEP}, // 41
    {BR_G2, GND, BR_G2, GND, LIN_DEP}, // 42
    {BR_G2, GND, BR_D2, GND, LIN_DEP}, // 43
    {BR_G1, GND, BR_G1, GND, LIN_DEP}, // 44
    {BR_G1, GND, BR_D1, GND, LIN_DEP}, // 45
    {D, DIBAR, D, DIBAR, LIN_DEP}, // 46
    {BR_D3, GND, BR_D3, GND, LIN_DEP}, // 47
    {BR_D3, GND, BR_G3, GND, LIN_DEP}, // 48
    {BR_D2, GND, BR_D2, GND, LIN_DEP}, // 49
    {BR_D2, GND, BR_G2, GND, LIN_DEP}, // 50
    {BR_D1, GND, BR_D1, GND, LIN_DEP}, // 51
    {BR_D1, GND, BR_G1, GND, LIN_DEP}, // 52
    {TINT, TEXT, TINT, TEXT, LIN_DEP}, // 53
    {IIDS, GND, TINT, TEXT, NONLIN_DEP}, // 54
    {IIDS, GND, TEXT, GND, NONLIN_DEP}, // 55
    {IIDS, GND, GI2, CORE_B1, NONLIN_DEP}, // 56
    {IIDS, GND, CORE_ID, S, NONLIN_DEP}, // 57
    {IIDS, GND, GI2, S, NONLIN_DEP}, // 58
};
inline constexpr DoubletReq kDdtDoublets[] = {
    {OP26, TINT, TEXT}, // 0
    {OP26, TEXT, GND}, // 1
    {OP26, GI2, CORE_B1}, // 2
    {OP26, CORE_ID, S}, // 3
    {OP26, GI2, S}, // 4
    {OP27, TINT, TEXT}, // 5
    {OP27, TEXT, GND}, // 6
    {OP27, GI2, CORE_B1}, // 7
    {OP27, CORE_ID, S}, // 8
    {OP27, GI2, S}, // 9
    {OP28, TINT, TEXT}, // 10
    {OP28, TEXT, GND}, // 11
    {OP28, GI2, CORE_B1}, // 12
    {OP28, CORE_ID, S}, // 13
    {OP28, GI2, S}, // 14
    {OP29, TINT, TEXT}, // 15
    {OP29, TEXT, GND}, // 16
    {OP29, DI2, S}, // 17
    {OP29, BI2, IB_DIODE1}, // 18
    {OP29, CORE_ID, S}, // 19
    {OP29, DI2, BI2}, // 20
    {OP30, TINT, TEXT}, // 21
    {OP30, TEXT, GND}, // 22
    {OP30, GI2, CORE_B1}, // 23
    {OP30, DI2, S}, // 24
    {OP30, CORE_B2, BI2}, // 25
    {OP30, CORE_ID, S}, // 26
    {OP30, GI2, S}, // 27
    {OP30, DI2, BI2}, // 28
    {OP31, TINT, TEXT}, // 29
    {OP31, TEXT, GND}, // 30
    {OP31, BI2, IB_DIODE3}, // 31
    {OP31, DI2, BI2}, // 32
};
// clang-format on

inline constexpr int kNumDdtDoublets = static_cast<int>(std::size(kDdtDoublets));
static_assert(std::size(kRhsPairs) == 56 && std::size(kRhsQPairs) == 22 && std::size(kJacQuartets) == 129 &&
              std::size(kJacQQuartets) == 59 && kNumDdtDoublets == 33);

// Index map of one table for a build with or without the monitors: the
// position of each kept entry in the closed-up array (-1 for a dropped one)
// and the table index of each position.
template <std::size_t N>
struct IndexMap {
    int count = 0;
    std::array<int, N> slot{};  // table index -> array index, -1 when dropped
    std::array<int, N> entry{}; // array index -> table index (first `count` used)
};

template <class Req, std::size_t N>
constexpr IndexMap<N> indexMap(const Req (&table)[N], bool withMonitors)
{
    IndexMap<N> m{};
    for (std::size_t i = 0; i < N; ++i) {
        if (table[i].monitor() && !withMonitors) {
            m.slot[i] = -1;
            continue;
        }
        m.slot[i] = m.count;
        m.entry[m.count++] = static_cast<int>(i);
    }
    return m;
}

// Every array index of a map lies inside its array, and the kept entries
// keep their order.
template <std::size_t N>
constexpr bool indexMapSound(const IndexMap<N>& m)
{
    int last = -1;
    for (std::size_t i = 0; i < N; ++i) {
        const int s = m.slot[i];
        if (s < 0) continue;
        if (s >= m.count || s != last + 1 || m.entry[s] != static_cast<int>(i)) return false;
        last = s;
    }
    return last + 1 == m.count;
}

// The stamp of one build: sizes and index maps of its four arrays.
template <bool WithMonitors>
struct Stamp {
    static constexpr auto rhs = indexMap(kRhsPairs, WithMonitors);
    static constexpr auto rhsQ = indexMap(kRhsQPairs, WithMonitors);
    static constexpr auto jac = indexMap(kJacQuartets, WithMonitors);
    static constexpr auto jacQ = indexMap(kJacQQuartets, WithMonitors);
    static constexpr int kNumRhs = rhs.count;
    static constexpr int kNumRhsQ = rhsQ.count;
    static constexpr int kNumJac = jac.count;
    static constexpr int kNumJacQ = jacQ.count;
    static_assert(indexMapSound(rhs) && indexMapSound(rhsQ) && indexMapSound(jac) && indexMapSound(jacQ));
};

static_assert(Stamp<true>::kNumRhs == 56 && Stamp<true>::kNumRhsQ == 22 && Stamp<true>::kNumJac == 129 &&
              Stamp<true>::kNumJacQ == 59);
static_assert(Stamp<false>::kNumRhs == 53 && Stamp<false>::kNumRhsQ == 21 && Stamp<false>::kNumJac == 121 &&
              Stamp<false>::kNumJacQ == 54);
// Spot checks of the closed-up indices.
static_assert(Stamp<false>::rhs.slot[52] == 49 && Stamp<false>::jac.slot[117] == 109 &&
              Stamp<false>::jac.slot[128] == 120 && Stamp<false>::jacQ.slot[53] == 53);

// No doublet touches a monitor node.
constexpr bool doubletsFree()
{
    for (const DoubletReq& d : kDdtDoublets)
        if (isMonitor(d.a) || isMonitor(d.b)) return false;
    return true;
}
static_assert(doubletsFree());

} // namespace torvex_en

#endif // TORVEX_EN_STAMP_H
