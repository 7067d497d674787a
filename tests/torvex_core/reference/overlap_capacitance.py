#!/usr/bin/python3
"""The gate overlap charges across channel reversal, from the independent
transcription in torvex_core_reference.py (not from the C++).

For a gate falling through a few volts with V(CORE_ID, S) just above and just
below 0, prints the capacitances of the CORE_ID-gate charge QIG and the
gate-source charge QGS with respect to V(CORE_ID), V(S) and V(G) (central
differences), the eigenvalues of the symmetric part of the (CORE_ID, S)
block, and the fastest natural frequency of one die whose gate is driven
through a resistor and whose drain is loaded by a resistor (source and bulk
grounded, temperature held). A passive set of charges has a positive
semi-definite block and no natural frequency with a positive real part.

Run from the repository root:
    /usr/bin/python3 tests/torvex_core/reference/overlap_capacitance.py
"""
import os
import sys

import numpy as np
import scipy.linalg

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import torvex_core_reference as ref  # noqa: E402

TSIM = 300.15
H = 1e-7  # volts; well inside the smallest |V(CORE_ID, S)| probed
RGATE = 5.0
RLOAD = 1e3

# The die's free nodes in the small-signal circuit (S and B are grounded,
# TINT and TEXT held).
FREE = ('D', 'G', 'CORE_B1', 'CORE_B2', 'CORE_ID', 'IB_DIODE1', 'IB_DIODE3')
RHS_PAIRS = (('CORE_ID', 'S'), ('CORE_ID', 'CORE_B1'), ('S', 'CORE_B1'),
             ('D', 'CORE_ID'), ('D', 'B'), ('CORE_ID', 'B'),
             ('CORE_B1', 'CORE_B2'), ('CORE_B2', 'B'), ('B', 'IB_DIODE1'),
             ('B', 'IB_DIODE3'), ('CORE_ID', 'G'), ('G', 'S'),
             ('G', 'CORE_B1'), ('CORE_ID', 'IB_DIODE1'), ('D', 'CORE_B2'),
             ('D', 'IB_DIODE3'), ('S', 'CORE_B2'))
RHSQ_PAIRS = (('CORE_ID', 'G'), ('G', 'S'), ('G', 'CORE_B1'),
              ('CORE_ID', 'IB_DIODE1'), ('D', 'CORE_B2'), ('D', 'IB_DIODE3'),
              ('S', 'CORE_B2'))


def params(cgdo, cgso):
    p = dict(ref.DEFAULTS)
    p.update({'RTHCALC': 2, 'RTH': 20.0, 'CTH': 1e-4, 'CGDO': cgdo,
              'CGSO': cgso})
    return p


def node_values(p, v):
    """Static currents and charges leaving each node into the device."""
    rhs, rhsq, _ = ref.evaluate(p, TSIM, v, ref.ZERO_DDT)
    i = dict.fromkeys(ref.NODES, 0.0)
    q = dict.fromkeys(ref.NODES, 0.0)
    for (a, b), x in zip(RHS_PAIRS, rhs):
        i[a] += x
        i[b] -= x
    for (a, b), x in zip(RHSQ_PAIRS, rhsq):
        q[a] += x
        q[b] -= x
    return i, q


def overlap_block(p, v):
    """d(QIG, QGS) / d(V(CORE_ID), V(S), V(G))."""
    c = np.zeros((2, 3))
    for j, n in enumerate(('CORE_ID', 'S', 'G')):
        up, dn = dict(v), dict(v)
        up[n] += H
        dn[n] -= H
        qu = ref.evaluate(p, TSIM, up, ref.ZERO_DDT)[1]
        qd = ref.evaluate(p, TSIM, dn, ref.ZERO_DDT)[1]
        # rhsq 0 is QIG; rhsq 1 carries -QGS
        c[0, j] = (qu[0] - qd[0]) / (2 * H)
        c[1, j] = -(qu[1] - qd[1]) / (2 * H)
    return c


def jacobians(p, v, nodes):
    g = np.zeros((len(nodes), len(nodes)))
    c = np.zeros((len(nodes), len(nodes)))
    for j, n in enumerate(nodes):
        up, dn = dict(v), dict(v)
        up[n] += H
        dn[n] -= H
        iu, qu = node_values(p, up)
        idn, qd = node_values(p, dn)
        for k, m in enumerate(nodes):
            g[k, j] = (iu[m] - idn[m]) / (2 * H)
            c[k, j] = (qu[m] - qd[m]) / (2 * H)
    return g, c


def bias(vg, vis):
    # The die is on with a 20 mA load: drain and CORE_ID a hair apart.
    return ref.volts(D=vis + 2e-6, G=vg, S=0.0, B=0.0, ID=vis)


def fastest_mode(p, v):
    g, c = jacobians(p, v, FREE)
    g[FREE.index('G'), FREE.index('G')] += 1 / RGATE
    g[FREE.index('D'), FREE.index('D')] += 1 / RLOAD
    w = scipy.linalg.eigvals(-g, c)
    w = w[np.isfinite(w)]
    return w[np.argmax(w.real)]


def main():
    for cgdo, cgso in ((1e-11, 1e-11), (1e-11, 3e-12), (3e-12, 1e-11)):
        p = params(cgdo, cgso)
        print('CGDO = %g, CGSO = %g' % (cgdo, cgso))
        print('  %4s %8s | %11s %11s %11s | %11s %11s %11s | %11s %11s | %s'
              % ('VG', 'VIS', 'dQIG/dVID', 'dQIG/dVS', 'dQIG/dVG',
                 'dQGS/dVID', 'dQGS/dVS', 'dQGS/dVG', 'eig min', 'eig max',
                 'fastest mode 1/s'))
        for vg in (4.0, 3.0, 2.0):
            for vis in (1e-4, -1e-4):
                v = bias(vg, vis)
                c = overlap_block(p, v)
                sym = 0.5 * (c[:2, :2] + c[:2, :2].T)
                e = np.linalg.eigvalsh(sym)
                mode = fastest_mode(p, v)
                print('  %4.1f %8.0e | %11.4e %11.4e %11.4e | %11.4e %11.4e'
                      ' %11.4e | %11.4e %11.4e | %+.3e'
                      % (vg, vis, c[0, 0], c[0, 1], c[0, 2], c[1, 0], c[1, 1],
                         c[1, 2], e[0], e[1], mode.real))


if __name__ == '__main__':
    main()
