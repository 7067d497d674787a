// Per-function test data: arity, constant-zero slots, closed form and a table
// of argument rows covering every branch.
#pragma once

#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "reference.h"

struct Row {
    std::vector<double> x;
    bool interior = true;  // away from branch edges: partials checked by differences
};

struct FunctionCase {
    std::string name;
    int arity;
    std::vector<int> zeroSlots;
    long double (*reference)(const long double*);
    std::vector<Row> rows;
};

inline void PrintTo(const FunctionCase& fc, std::ostream* os) { *os << fc.name; }

inline const std::vector<FunctionCase>& functionCases()
{
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    // Typical load values: phiT, KO, KPINV, MO.
    constexpr double phiT = 0.025, x5k = phiT * phiT * 6.76 / 1.0;
    static const std::vector<FunctionCase> cases = {
        {"hypf", 2, {1}, ref::f_hypf,
         {{{0.0, 0.01}},
          {{0.005, 0.01}},     // small x, both signs
          {{-0.005, 0.01}},
          {{0.05, 0.01}},      // large x, both signs
          {{-0.05, 0.01}},
          {{-1000.0, 0.01}},   // about e^2/|x|, positive
          {{1e3, 0.5}},
          {{0.02, 0.01}, false},  // |x| = 2e takes the large-x forms
          {{-0.02, 0.01}, false}}},
        {"hypf2", 3, {2}, ref::f_hypf2,
         {{{-0.995, 1.0, 0.01}},  // y small and positive
          {{-1.005, 1.0, 0.01}},  // y small and negative
          {{-1.5, 1.0, 0.01}},    // y large negative
          {{0.5, 1.0, 0.01}},     // y large positive
          {{-0.04, 0.05, 0.01}},
          {{0.3, 0.05, 0.01}}}},
        {"hypf3", 3, {2}, ref::f_hypf3,
         {{{-0.995, 1.0, 0.01}},
          {{-1.005, 1.0, 0.01}},
          {{-1.5, 1.0, 0.01}},
          {{0.5, 1.0, 0.01}},
          {{0.0, 1.0, 0.01}},
          {{-0.04, 0.05, 0.01}},
          {{0.3, 0.05, 0.01}}}},
        {"hypfm", 3, {2}, ref::f_hypfm,
         {{{1.0, 2.0, 4.0}}, {{3.0, 0.5, 2.0}}, {{0.2, 0.3, 8.0}}, {{1.0, 1.0, 1.5}}}},
        {"hypfm1", 3, {1, 2}, ref::f_hypfm1,
         {{{0.5, 1.0, 4.0}}, {{2.0, 1.0, 8.0}}, {{-0.5, 1.0, 4.0}}, {{1e-3, 0.7, 4.0}}}},
        {"asinh_val", 1, {0}, ref::f_asinh, {{{0.5}}, {{-2.0}}, {{0.0}}, {{30.0}}}},
        {"psi_s_val", 10, {0, 7, 8}, ref::f_psi_s,
         {{{3.0, 1.0, 2.0, 0.8, 0.01, x5k, phiT, 1.0, 1.0, 1.5 * phiT}},   // d large, q > 1
          {{3.0, 1.0, 2.0, 0.99, 0.01, x5k, phiT, 1.0, 1.0, 1.5 * phiT}},  // d small, q < 1
          {{3.0, 1.0, 2.0, 1.01, 0.01, x5k, phiT, 1.0, 1.0, 1.5 * phiT}},  // d small negative
          {{-1.0, 1.0, 2.0, 1.5, 0.01, x5k, phiT, 1.0, 1.0, 1.5 * phiT}},  // d large negative
          {{0.0, 0.6, 0.9, 0.2, 0.0, x5k, phiT, 0.8, 1.3, 1.2 * phiT}}}},
        {"psisat_val", 4, {0, 1, 2, 3}, ref::f_psisat,
         {{{1.0, 0.0, 1.0, 1.25}},    // f > g
          {{0.1, 0.0, 1.0, 1.25}},    // f < g
          {{0.9, 0.05, 1.0, 1.25}},
          {{-0.1, 0.0, 1.0, 1.25}},   // negative overdrive
          {{0.02, 0.01, 0.5, 1.1}}}},
        {"psi_acc_val", 8, {6}, ref::f_psi_acc,
         {{{0.183, -1.0, 0.01, 0.0, 0.02, x5k, 1.0, phiT}},
          {{0.183, 0.5, 0.01, 0.0, 0.02, x5k, 1.0, phiT}},
          {{0.3, 0.1, 0.0, -0.2, 0.05, x5k, 0.8, phiT}}}},
        {"Vinv_val", 6, {3}, ref::f_Vinv,
         {{{0.01, 0.8, 0.9, 1.0, phiT, 1.5 * phiT}},    // l > m
          {{0.01, 0.7, 1.0, 1.0, phiT, 1.5 * phiT}},    // l < m
          {{0.01, -0.6, -0.5, 1.2, phiT, 1.5 * phiT}}}},  // small hypf argument
        {"Vov_val", 7, {1, 4, 6}, ref::f_Vov,
         {{{0.7, 0.2, phiT, 1.0, 1.0, x5k, 1.0}},
          {{-0.1, 0.2, phiT, 1.0, 1.0, x5k, 1.0}},
          {{0.21, 0.2, phiT, 0.8, 1.2, x5k, 0.5}},    // |a| < 2e
          {{0.19, 0.2, phiT, 0.8, 1.2, x5k, 0.5}}}},
        {"Vxb_c_val", 3, {0, 1, 2}, ref::f_Vxb_c,
         {{{1.0, 1.1, 0.3}}, {{1.0, 1.1, -2.0}}, {{1.0, 1.1, -1.1}}, {{0.0, 1.1, 0.3}},
          {{-1.0, 1.1, 0.3}}, {{nan, 1.1, 0.3}}}},
        {"Vcalc_val", 5, {0, 3}, ref::f_Vcalc,
         {{{1.0, 3.0, 0.9, 1.0, 0.01}},    // positive result of the outer hypf
          {{1.0, 1.5, 0.9, 1.0, 0.01}},    // tiny positive part of a negative argument
          {{0.5, 2.0, -0.3, 0.7, 0.02}}}},
        {"Del_Vg_val", 6, {4, 5}, ref::f_Del_Vg,
         {{{0.5, 0.01, 0.8, 1.2, 0.1, 0.5}},   // large g
          {{0.5, 0.01, 0.8, 0.5, 0.1, 0.5}},   // small negative g
          {{-0.3, 0.01, 0.6, 1.0, 0.2, 0.3}},
          {{2.0, 0.01, 0.8, 1.2, 1.0, 0.5}}}},  // large negative g
        {"Vdsat_val", 5, {4}, ref::f_Vdsat,
         {{{1.2, 0.8, 0.5, 0.1, 1.0}},
          {{1.2, 0.8, 0.5, 0.1, -1.0}},
          {{1.2, 0.8, 0.5, 0.1, 0.0}},
          {{0.85, 0.8, 0.5, 0.1, 1.0}},     // small y
          {{0.85, 0.8, 2.0, 0.1, -1.0}}}},
        {"Cox_eff_val", 5, {3, 4}, ref::f_Cox_eff,
         {{{1.5, 0.8, 0.01, 1e-3, 0.3}}, {{1.5, -2.0, 0.01, 2.0, 0.5}}, {{0.7, 0.0, 0.04, 1.0, 1.0}}}},
        {"G_mob_val", 8, {4}, ref::f_G_mob,
         {{{0.7, 0.4, 0.3, 2.0, 1.0, 0.1, 0.9, 0.5}},    // TYPE 1, K >= G
          {{0.7, 2.0, 0.3, 2.0, 1.0, 0.1, 0.9, 0.5}},    // TYPE 1, K < G
          {{0.7, 0.4, 0.3, 1.7, -1.0, 0.1, 0.9, 0.5}},   // TYPE -1
          {{0.7, 0.4, 0.3, 2.5, 0.0, 0.0, 0.9, 0.5}},
          {{-0.5, 0.4, 0.3, 2.0, 1.0, 0.2, 0.3, 0.6}}}},
        {"G_vsat_val", 4, {1}, ref::f_G_vsat,
         {{{1.3, 1.0, 0.5, 0.4}},
          {{1.3, -1.0, 0.5, 0.4}},
          {{1.3, 1.0, 0.5, 1e-5}},    // series
          {{1.3, -1.0, 0.5, -0.2}},   // series for negative g
          {{1.3, 1.0, 0.0, 0.4}},
          {{0.8, 0.0, 3.0, 2.0}}}},
        {"Thesat_val", 3, {1}, ref::f_Thesat,
         {{{0.5, 0.3, 0.8}}, {{0.5, -0.3, 0.8}}, {{0.5, 0.0, 0.8}}, {{0.5, -0.0, 0.8}}}},
        {"Eid_sat_val", 4, {1, 2, 3}, ref::f_Eid_sat,
         {{{0.5, 0.2, 2e-6, 0.01}},
          {{0.1, 0.2, 2e-6, 0.01}},
          {{-0.3, 0.2, 2e-6, 0.01}},
          {{0.2, 0.2, 2e-6, 0.01}, false}}},
        {"G_DelL_val", 4, {2, 3}, ref::f_G_DelL,
         {{{1.0, 0.6, 0.05, 0.01}},
          {{1.0, 0.6, 0.05, 0.5}},      // negative c
          {{0.6, 0.6, 0.05, 0.01}},     // f = 1e-4
          {{0.2, 0.6, 0.05, 0.01}}}},
        {"MDR_Iohm_val", 7, {0}, ref::f_MDR_Iohm,
         {{{1.0, 0.5, 10.0, 1.1, 0.7, 0.3, 0.8}},
          {{1.0, 0.5, 10.0, 1.1, 0.7, -0.5, 0.8}},
          {{1.0, 2.0, 3.0, 0.4, -0.7, -0.39, -0.41}},   // hypf3 in its small forms
          {{0.0, 0.5, 10.0, 1.1, 0.7, 0.3, 0.8}},
          {{nan, 0.5, 10.0, 1.1, 0.7, 0.3, 0.8}},
          {{-1.0, 0.5, 10.0, 1.1, 0.7, 0.3, 0.8}}}},
        {"Idrft_val", 7, {}, ref::f_Idrft,
         {{{1.0, phiT, 0.8, 0.9, 2.0, 0.3, 0.4}},
          {{1.0, phiT, -0.5, 0.9, 2.0, 0.3, 0.4}},   // first exponent above 80
          {{1.0, phiT, 0.8, -0.5, 2.0, 0.3, 0.4}},   // second exponent above 80
          {{0.3, phiT, 0.8, 0.9, 2.0, 0.3, 0.4}},    // both very negative
          {{0.5, 0.1, 0.5, 0.55, 1.5, 0.2, 0.1}}}},
        {"Iavl_val", 6, {2, 3}, ref::f_Iavl,
         {{{5.0, 2.0, 20.0, 1.0, 1.0, 1e-3}},
          {{3.0, 0.5, 4.0, 0.5, 2.0, 2.0}},
          {{5.0, 0.0, 20.0, 1.0, 1.0, 1e-3}, false},   // x1 = 0: value and partials 0
          {{5.0, -0.0, 20.0, 1.0, 1.0, 1e-3}, false},
          {{1.0, 2.0, 20.0, 1.0, 1.0, 1e-3}},     // a at or below x2/800
          {{0.01, 2.0, 8.0, 0.0, 1.0, 1e-3}, false}}},  // a = x2/800 exactly
        {"Qdiode_val", 7, {3, 4, 6}, ref::f_Qdiode,
         {{{0.3, 0.8, 2.0, 0.4, 0.5, 1.5, 0.4}},
          {{-2.0, 0.8, 2.0, 0.4, 0.5, 1.5, 0.4}},
          {{0.6, 0.8, 2.0, 0.4, 0.5, 1.5, 0.4}},
          {{1.5, 0.8, 2.0, 0.4, 0.5, 1.5, 0.4}},
          {{0.4, 0.8, 2.0, 0.4, 0.5, 1.5, 0.4}, false},   // continuation from x6 on
          {{std::nextafter(0.4, 0.0), 0.8, 2.0, 0.4, 0.5, 1.5, 0.4}, false}}},
        {"Rthcor_val", 6, {0, 1, 2, 3, 4, 5}, ref::f_Rthcor,
         {{{100.0, 10.0, 2.0, 0.5, 1.5, 3.0}}, {{20.0, 2.0, 5.0, 1.0, 150.0, 2.8}}}},
        {"Rtharea_val", 5, {0, 1, 2, 3, 4}, ref::f_Rtharea,
         {{{100.0, 10.0, 2.0, 0.5, 1.5}}, {{5.0, 10.0, 2.0, 0.5, 1.5}}, {{18.5, 10.0, 2.0, 0.5, 1.5}}}},
    };
    return cases;
}
