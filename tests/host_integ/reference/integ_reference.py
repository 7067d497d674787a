#!/usr/bin/python3
"""Reference values for the integral and delay operator tests in a circuit.

Independent of the code under test: integrals by adaptive quadrature over the
source waveforms as the netlists define them, wraps by Python's floor modulo,
delayed pulses by evaluating the waveform at t - td. Writes
integ_reference.h beside this script; run it again after changing a case.
"""
import math
import os

from scipy.integrate import quad


def pulse(v1, v2, td, tr, tf, pw, per):
    def f(t):
        if t < td:
            return v1
        tt = math.fmod(t - td, per)
        if tt < tr:
            return v1 + (v2 - v1) * tt / tr
        if tt < tr + pw:
            return v2
        if tt < tr + pw + tf:
            return v2 + (v1 - v2) * (tt - tr - pw) / tf
        return v1
    corners = []
    k = 0
    while td + k * per < 10.0 * per:
        base = td + k * per
        corners += [base, base + tr, base + tr + pw, base + tr + pw + tf]
        k += 1
    return f, corners


def integral(f, corners, t):
    pts = [c for c in corners if 0 < c < t]
    if t == 0:
        return 0.0
    val, err = quad(f, 0.0, t, points=pts or None, limit=500, epsabs=1e-16, epsrel=1e-13)
    return val


def sine_integral(freq, t):
    w = 2 * math.pi * freq
    return (1 - math.cos(w * t)) / w


def wrap(v, m, o):
    return o + (v - o) % m


def emit(name, values):
    body = ",\n".join("    %.17g" % v for v in values)
    return "inline constexpr double %s[%d] = {\n%s};\n" % (name, len(values), body)


def main():
    out = []
    # idt of SIN(0 1 1k) from 0 with ic 0: .tran 10u 2m
    out.append(emit("kIdtSine", [sine_integral(1e3, k * 10e-6) for k in range(201)]))
    # idt of PULSE(0 1 0.1m 0.1m 0.1m 0.3m 1m): .tran 10u 2m
    f, c = pulse(0, 1, 0.1e-3, 0.1e-3, 0.1e-3, 0.3e-3, 1e-3)
    out.append(emit("kIdtPulse", [integral(f, c, k * 10e-6) for k in range(201)]))
    # absdelay(PULSE(0 1 0.1m 0.05m 0.05m 0.2m 1m), 0.15m): .tran 10u 1m
    g, _ = pulse(0, 1, 0.1e-3, 0.05e-3, 0.05e-3, 0.2e-3, 1e-3)
    td = 0.15e-3
    out.append(emit("kDelayedPulse", [g(max(k * 10e-6 - td, 0.0)) for k in range(101)]))
    # idtmod(1 V, ic 0, modulus 30u, offset -8.5u): .tran 10u 1m
    out.append(emit("kIdtmodRamp", [wrap(k * 10e-6, 30e-6, -8.5e-6) for k in range(101)]))
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "integ_reference.h"), "w") as h:
        h.write("// Written by integ_reference.py; do not edit.\n#pragma once\n\n")
        h.write("\n".join(out))


if __name__ == "__main__":
    main()
