#!/usr/bin/python3
"""Writes laplace_reference.h: partial fractions (scipy.signal.residue),
polynomial utilities (numpy), frequency responses (scipy.signal.freqs) and a
backward-Euler step response (scipy.signal.cont2discrete) for the Laplace
operator tests. Arrays are in ascending powers of s, as the runtime keeps
them; numpy and scipy take descending powers, hence the reversals."""
import numpy as np
from scipy import signal

out = []
def arr(name, values, ctype="double"):
    vals = ", ".join(repr(float(v)) for v in values) if len(values) else "0.0"
    out.append(f"inline const {ctype} {name}[] = {{{vals}}};")

def lst(v):
    return "{" + ", ".join(repr(float(x)) for x in v) + "}"

# ---- partial fractions: N(s) / prod(s - p) ----
pf_cases = [
    ("distinct", [1.0], [-1, -2]),
    ("repeated", [1.0, 1.0], [-1, -1, -2]),
    ("complex", [2.0, 0.5], [-1 + 2j, -1 - 2j, -3]),
    ("triple", [1.0, 0.0, 2.0], [-0.5, -0.5, -0.5, -4]),
]
out.append("struct PfTerm { double pRe, pIm; int power; double rRe, rIm; };")
out.append("struct PfCase { const char* name; std::vector<double> numer; std::vector<double> poles; std::vector<PfTerm> terms; };")
rows = []
for name, num, poles in pf_cases:
    a = np.poly(poles)
    r, p, k = signal.residue(num[::-1], a)
    terms, i = [], 0
    while i < len(p):
        j = i
        while j < len(p) and abs(p[j] - p[i]) < 1e-6:
            j += 1
        for m in range(i, j):
            terms.append(f"{{{p[i].real!r}, {p[i].imag!r}, {m - i + 1}, {r[m].real!r}, {r[m].imag!r}}}")
        i = j
    pv = []
    for q in poles:
        pv += [complex(q).real, complex(q).imag]
    rows.append(f'{{"{name}", {lst(num)}, {lst(pv)}, {{{", ".join(terms)}}}}}')
out.append("inline const PfCase kPfCases[] = {" + ",\n    ".join(rows) + "};")

# ---- improper N/D through laplace_nd: quotient and residues ----
nd_num, nd_den = [1.0, 2.0, 3.0], [2.0, 3.0, 1.0]
r, p, k = signal.residue(nd_num[::-1], nd_den[::-1])
arr("kImproperNum", nd_num)
arr("kImproperDen", nd_den)
arr("kImproperQuot", k[::-1])
order = np.argsort(p.real)
arr("kImproperPoles", [p[i].real for i in order])
arr("kImproperRes", [r[i].real for i in order])

# ---- utilities ----
c = [1.0, -2.0, 0.5, 3.0, 4.0]
arr("kDerivIn", c)
arr("kDerivOut", list(np.polyder(c[::-1])[::-1]) + [0.0])
num, den = [1.0, 3.0, 5.0, 2.0, 7.0], [2.0, 1.0, 3.0]
q, rem = np.polydiv(num[::-1], den[::-1])
arr("kDivNum", num)
arr("kDivDen", den)
arr("kDivQuot", q[::-1])
rem = list(rem[::-1]) + [0.0] * (len(num) - len(rem))
arr("kDivRem", rem)
roots = [-2 + 0j, -1 + 1j, -1 - 1j, 0j, -0.5 + 0j]
nz = [x for x in roots if x != 0]
mono = np.poly(nz)[::-1] / np.prod([-x for x in nz])  # prod(1 - s/r)
poly = np.concatenate(([0.0], mono.real))  # times s for the root at 0
rv = []
for x in roots:
    rv += [x.real, x.imag]
arr("kRootsIn", rv)
arr("kRootsPoly", list(poly) + [0.0] * (len(rv) - len(poly)))

# ---- frequency responses of the four operators ----
w = [0.1, 1.0, 3.0, 10.0, 100.0]
arr("kOmega", w)
def fr(name, b_asc, a_asc):
    _, h = signal.freqs(b_asc[::-1], a_asc[::-1], worN=w)
    arr(name + "Re", h.real)
    arr(name + "Im", h.imag)
def from_roots(rts):
    p = np.array([1.0 + 0j])
    for x in rts:
        p = np.convolve(p, [1.0, 0.0] if x == 0 else [1.0, -1.0 / x])  # ascending: 1 - s/x or s
    return p.real
ND = ([1.0, 0.5], [2.0, 3.0, 1.0])
NP = ([3.0, 1.0], [-1 + 2j, -1 - 2j, -4])
ZD = ([-3.0], [6.0, 5.0, 1.0])
ZP = ([-2.0, -0.5], [-1 + 1j, -1 - 1j, -3])
fr("kNd", ND[0], ND[1])
fr("kNp", NP[0], from_roots(NP[1]))
fr("kZd", from_roots(ZD[0]), ZD[1])
fr("kZp", from_roots(ZP[0]), from_roots(ZP[1]))

# the same at the host's AC points (.ac dec 1 0.01 100), angular
wh = [2 * np.pi * f for f in (0.01, 0.1, 1.0, 10.0, 100.0)]
def frh(name, b_asc, a_asc):
    _, h = signal.freqs(b_asc[::-1], a_asc[::-1], worN=wh)
    arr(name + "HostRe", h.real)
    arr(name + "HostIm", h.imag)
frh("kNd", ND[0], ND[1])
frh("kNp", NP[0], from_roots(NP[1]))
frh("kZd", from_roots(ZD[0]), ZD[1])
frh("kZp", from_roots(ZP[0]), from_roots(ZP[1]))

# ---- backward-Euler step response of a second-order laplace_nd ----
bn, bd, h = [1.0], [1.0, 0.2, 0.01], 0.05
numd, dend, _ = signal.cont2discrete((bn[::-1], bd[::-1]), h, method="backward_diff")
u = np.ones(60)
y = signal.lfilter(np.ravel(numd), dend, u)
arr("kBeNum", bn)
arr("kBeDen", bd)
out.append(f"inline constexpr double kBeStep = {h!r};")
arr("kBeStepResponse", y)

with open(__file__.replace("make_reference.py", "laplace_reference.h"), "w") as f:
    f.write("// Written by make_reference.py (numpy, scipy.signal); do not edit.\n#pragma once\n#include <vector>\n\nnamespace lapref {\n\n")
    f.write("\n".join(out))
    f.write("\n\n} // namespace lapref\n")
