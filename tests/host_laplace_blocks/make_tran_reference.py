#!/usr/bin/python3
"""Writes tran_reference.h: transient responses of Laplace filters at the
output points of the host's .tran, from scipy.signal.lsim (exact for an input
that is linear between its samples, so the inputs' corners lie on the grid).
An improper filter (numerator one order above the denominator) is split
into its polynomial part, applied to the ramp analytically, and a proper rest
for lsim. Coefficient and root arrays are in the runtime's layout: ascending
powers of s, roots as (re, im) pairs; root forms use the factors (1 - s/r),
and s for a root at the origin."""
import numpy as np
from scipy import signal


def from_roots(pairs):
    p = np.array([1.0])
    for re, im in zip(pairs[::2], pairs[1::2]):
        if im < 0:
            continue
        if im > 0:
            m = re * re + im * im
            p = np.convolve(p, [1.0, -2 * re / m, 1 / m])
        elif re == 0:
            p = np.convolve(p, [0.0, 1.0])
        else:
            p = np.convolve(p, [1.0, -1.0 / re])
    return p


def polys(op, num, den):
    b = np.array(num, float) if op in ("nd", "np") else from_roots(num)
    a = np.array(den, float) if op in ("nd", "zd") else from_roots(den)
    return np.trim_zeros(b, "b"), np.trim_zeros(a, "b")


def drive_of(kind, t):
    if kind == "ramp1m":
        return "PWL(0 0 1m 1)", np.minimum(t / 1e-3, 1.0)
    return "PWL(0 0 1 1)", np.minimum(t, 1.0)


def response(op, num, den, kind, tstep, tstop, dt=1e-3):
    b, a = polys(op, num, den)
    b0 = b
    n = int(round(tstop / dt))
    t = np.linspace(0.0, tstop, n + 1)
    drive, x = drive_of(kind, t)
    y = np.zeros_like(t)
    if len(b) > len(a):
        # The polynomial part q(d/dt) x, of first order: on the ramp x' is 1
        # up to its corner at t = 1 (the host's point there is the left
        # limit) and 0 after; the initial point is the DC solution.
        q, r = np.polydiv(b[::-1], a[::-1])
        assert kind == "ramp1" and len(q) == 2
        y += q[-1] * x + q[-2] * ((t > 0) & (t <= 1.0))
        b = np.trim_zeros(r[::-1], "b")
    if len(b):
        _, yp, _ = signal.lsim((b[::-1], a[::-1]), x, t)
        y += yp
    step = int(round(tstep / dt))
    return drive, y[::step], np.max(np.abs(y)), len(b0) <= len(a)


def lst(v):
    return "{" + ", ".join(repr(float(x)) for x in v) + "}"


# name, operator, numerator, denominator, input, .tran step and stop
POLE_RESIDUE = [
    ("poles_1_1e4", "nd", [1e4], [1e4, 10001, 1], "ramp1m", 0.05, 10),
    ("poles_1_1e5_zp", "zp", [], [-1, 0, -1e5, 0], "ramp1m", 0.05, 10),
    ("zero_poles_1_1e4", "nd", [1e4, 5000.5], [1e4, 10001, 1], "ramp1m", 0.05, 10),
    ("double_pole_1_pole_1e4", "nd", [1e4], [1e4, 20001, 10002, 1], "ramp1m", 0.05, 10),
    ("double_pole_20", "nd", [400, 10], [400, 40, 1], "ramp1m", 0.05, 10),
]
ALGEBRAIC = [
    ("biproper_nd", "nd", [1, 3, 2], [2, 3, 1], "ramp1", 0.05, 10),
    ("highpass_nd", "nd", [0, 0, 1], [1, 1, 1], "ramp1", 0.05, 10),
    ("notch_nd", "nd", [1, 0, 1], [1, 0.2, 1], "ramp1", 0.05, 10),
    ("np_three_poles", "np", [1, 1, 1], [-1, 0, -2, 0, -3, 0], "ramp1", 0.05, 10),
    ("zp_complex", "zp", [-1, 2, -1, -2], [-0.5, 0, -2, 3, -2, -3], "ramp1", 0.05, 10),
    ("zd_three_zeros", "zd", [-1, 0, -2, 0, -5, 0], [24, 50, 35, 10, 1], "ramp1", 0.05, 10),
    ("fast_ramp_nd", "nd", [1, 3, 2], [2, 3, 1], "ramp1m", 0.05, 10),
    ("improper_nd", "nd", [1, 3, 2], [2, 1], "ramp1", 0.05, 10),
    ("improper_zd", "zd", [-1, 0, -2, 0], [3, 1], "ramp1", 0.05, 10),
    ("improper_zp", "zp", [-1, 1, -1, -1], [-2, 0], "ramp1", 0.05, 10),
]

out = [
    "struct Case {",
    "    const char* name;",
    "    const char* op; // nd, np, zd, zp",
    "    std::vector<double> num, den;",
    "    const char* drive;",
    "    double tstep, tstop;",
    "    double peak;            // largest |y| of the response",
    "    bool proper;            // numerator order not above the denominator's",
    "    std::vector<double> y;  // at 0, tstep, 2 tstep, ... tstop",
    "};",
]
for table, cases in (("kPoleResidue", POLE_RESIDUE), ("kAlgebraic", ALGEBRAIC)):
    rows = []
    for name, op, num, den, kind, tstep, tstop in cases:
        drive, y, peak, proper = response(op, num, den, kind, tstep, tstop)
        rows.append(f'{{"{name}", "{op}", {lst(num)}, {lst(den)}, "{drive}", {tstep!r}, {float(tstop)!r}, '
                    f"{peak!r}, {str(proper).lower()},\n     {lst(y)}}}")
    out.append(f"inline const Case {table}[] = {{\n    " + ",\n    ".join(rows) + "};")

with open(__file__.replace("make_tran_reference.py", "tran_reference.h"), "w") as f:
    f.write("// Written by make_tran_reference.py (numpy, scipy.signal.lsim); do not edit.\n"
            "#pragma once\n#include <vector>\n\nnamespace tranref {\n\n")
    f.write("\n".join(out))
    f.write("\n\n} // namespace tranref\n")
