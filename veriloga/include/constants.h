/*
 * constants.h - mathematical and physical constants for the project's
 * Verilog-A models, as text macros. Mathematical constants carry the M_
 * prefix, physical constants the P_ prefix (SI units).
 */

`ifndef VXR_CONSTANTS_H
`define VXR_CONSTANTS_H

// ---- mathematics ---------------------------------------------------------
`define M_PI         3.14159265358979323846   // pi
`define M_TWO_PI     6.28318530717958647693   // 2 pi
`define M_PI_2       1.57079632679489661923   // pi / 2
`define M_PI_4       0.78539816339744830962   // pi / 4
`define M_1_PI       0.31830988618379067154   // 1 / pi
`define M_2_PI       0.63661977236758134308   // 2 / pi
`define M_2_SQRTPI   1.12837916709551257390   // 2 / sqrt(pi)
`define M_E          2.7182818284590452354    // base of natural logarithms
`define M_LOG2E      1.4426950408889634074    // log2(e)
`define M_LOG10E     0.43429448190325182765   // log10(e)
`define M_LN2        0.69314718055994530942   // ln(2)
`define M_LN10       2.30258509299404568402   // ln(10)
`define M_SQRT2      1.41421356237309504880   // sqrt(2)
`define M_SQRT1_2    0.70710678118654752440   // 1 / sqrt(2)

// ---- physics ---------------------------------------------------------------
// elementary charge, C
`define P_Q          1.602176634e-19
// speed of light in vacuum, m/s
`define P_C          2.99792458e8
// Boltzmann constant, J/K
`define P_K          1.380649e-23
// Planck constant, J s
`define P_H          6.62607015e-34
// vacuum permittivity, F/m
`define P_EPS0       8.8541878128e-12
// vacuum permeability, H/m
`define P_U0         (4.0e-7 * `M_PI)
// zero of the Celsius scale, K
`define P_CELSIUS0   273.15

// ---- derived quantities used by the device models --------------------------
// thermal voltage at T kelvin, V
`define VXR_VT(T)    (`P_K * (T) / `P_Q)
// silicon relative permittivity
`define VXR_EPS_SI   11.7
// silicon dioxide relative permittivity
`define VXR_EPS_OX   3.9
// kelvin from degrees Celsius
`define VXR_KELVIN(C) ((C) + `P_CELSIUS0)

// Models add their own constants in their source files.

`endif
