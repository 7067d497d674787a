#!/usr/bin/python3
"""Independent value reference for the TORVEX_CORE intrinsic transistor.

Evaluates one right-hand-side pass (values only, $mfactor = 1, recompute flag
set) at a table of bias and parameter points, in double precision and in the
order the formulas are written, and prints torvex_core_reference.txt.

Regenerate (from the repository root):
    /usr/bin/python3 tests/torvex_core/reference/torvex_core_reference.py \
        > tests/torvex_core/reference/torvex_core_reference.txt
Optional: add --check to re-evaluate every case with mpmath at 50 digits and
report the largest relative difference per row (a conditioning check; nothing
is written to the fixture).

Readings taken where the formulas leave room (the C++ side compares them):
- `ddt` lines give dQ/dt exactly as the power sum multiplies it (branch
  solution over the operator's row scale; the scale is 1 in these cases).
- The voltage of the QJ2 power term is VD3D.
- p-type: row 7 is TYPE x VB2B / RPWS, and power terms 1, 2, 4, 5 and the
  three TNCR resistor terms of term 6 carry a factor TYPE, so PDISS is the
  dissipated power for both types.
- QSUB = 0 with VPDRE > 0: KPD = -2 VGTS (sqrt(VPDRE + VGT) + VGTS) / VPDRE.
- VPDR1E = 0: the diode-2 voltage VJ2 is 0.
- BETT = 0: the lateral field uses ICH / BETT with BETT cancelled.
- ETAMOBT = 0: COXE is the unreduced COXG.
- x^2 is a plain product; every other power goes through pow.

One departure from the formulas as written, on purpose and the same on the
C++ side: the XDEP1 share of the gate charge, COXE x (CHQB - CHQB at PSIM
with GPOLY), is balanced on the drain-end charge QD instead of on QG, the
CORE_B1 charge. The gate's own charge is unchanged.

A second one, also the same on the C++ side: the overlap charges QOVD (on
QIG) and QOVS (on QGS) take the gate voltage to their own terminal,
TYPE x V(G, CORE_ID) and TYPE x V(G, S), for both channel orientations,
instead of trading voltages with the channel's ends when V(CORE_ID, S) < 0.
"""
import math
import sys

FLT_MAX = 3.4028234663852886e38
PI = 3.141592653589793
TWO_PI = 6.283185307179586


# The elementary functions go through these names so that --check can run the
# same lines in multiple precision.
MP = None


def sqrt_(x):
    return MP.sqrt(x) if MP else math.sqrt(x)


def exp_(x):
    return MP.exp(x) if MP else math.exp(x)


def log_(x):
    return MP.log(x) if MP else math.log(x)


def log10_(x):
    return MP.log10(x) if MP else math.log10(x)


def atan_(x):
    return MP.atan(x) if MP else math.atan(x)


def isnan_(x):
    return MP.isnan(x) if MP else math.isnan(x)


def cpow(x, y):
    """C pow: NaN for a negative base with a non-integer exponent, inf on
    overflow, instead of Python's exceptions."""
    if MP:
        if x < 0 and y != int(y):
            return MP.nan
        if x == 0:
            return MP.mpf(0) if y > 0 else (MP.mpf(1) if y == 0 else MP.inf)
        return MP.power(x, y)
    try:
        return math.pow(x, y)
    except ValueError:
        if x == 0.0 and y < 0:
            return math.inf
        return math.nan
    except OverflowError:
        return math.inf


def cexp(x):
    if MP:
        return MP.exp(x)
    try:
        return math.exp(x)
    except OverflowError:
        return math.inf


def cln(x):
    if x > 0:
        return log_(x)
    if x == 0:
        return -math.inf
    return math.nan


def csqrt(x):
    if x >= 0:
        return sqrt_(x)
    return math.nan


# ---------------------------------------------------------------- smoothing

def hypf_parts(x, e):
    """hypf(x, e) and the term v the stable form adds to x (for x >= 0)."""
    if 2 * e > abs(x):
        t = x / (2 * e)
        s = sqrt_(t * t + 1)
        if x < 0:
            return e / (s - t), None
        v = e / (t + s)
        return v + x, v
    t = 2 * e / abs(x)
    v = e * t / (sqrt_(t * t + 1) + 1)
    if x < 0:
        return v, None
    return v + x, v


def hypf(x, e):
    return hypf_parts(x, e)[0]


def hypf3(x, a, e):
    y = (1 - e * e / (a * a)) * a + x
    if 2 * e > abs(y):
        t = y / (2 * e)
        s = sqrt_(t * t + 1)
        if y < 0:
            return e / (s - t)
        return (t + s) * e
    t = 2 * e / abs(y)
    g = sqrt_(t * t + 1) + 1
    if y < 0:
        return e * t / g
    return x * g / (g + t * (e / a)) + a


def hypfm(x, y, m):
    return x * y / cpow(cpow(y, m) + cpow(x, m), 1 / m)


def hypfm1(x, y, m):
    return x / cpow(cpow(x / y, m) + 1, 1 / m)


# ---------------------------------------------------- potentials, voltages

def psi_s_val(x0, x1, x2, x3, x4, x5, x6, x7, x8, x9):
    d = x1 - x3
    o, v = hypf_parts(d, 0.02)
    c = x1 - o if d < 0 else x3 - v
    q = o * o / x5
    if q < 1:
        r = sqrt_(q + 1)
        w = q / ((1 + r) * r)
    else:
        k = x5 / (o * o)
        w = 1 / (sqrt_(k + 1) * (sqrt_(k) + sqrt_(k + 1)))
    b = o * w + x2
    z = 2 * b / (csqrt(x7 * b + 1) + 1) / x8
    return c + cln((z * z - c - x4 + x6) / x6) * x9


def psisat_val(x0, x1, x2, x3):
    A = x0 + x1
    f = A * x3
    c = x2 * 0.5
    g = c * c
    if f >= g:
        m = 1 / (sqrt_(g / f + 1) + c / sqrt_(f))
        return A / x3 * (m * m) - x1
    m = 1 / (csqrt(f / g + 1) + 1)
    return A * A / g * (m * m) - x1


def psi_acc_val(x0, x1, x2, x3, x4, x5, x6, x7):
    b = (x1 + x2 - x3 - x4) * x0
    m = sqrt_(b * b / x5 + 1)
    A = (b / x0 - b / m) / x6
    return -x7 * cln((A * A - b / m + x7) / x7)


def Vinv_val(x0, x1, x2, x3, x4, x5):
    h = hypf(x2 + x0, 0.01)
    l = sqrt_(h)
    m = sqrt_(x4) * cexp((x2 - x1) * 0.5 / x5)
    if l >= m:
        return m * m / l * x3 / (sqrt_((m / l) * (m / l) + 1) + 1)
    o = l / m + sqrt_((l / m) * (l / m) + 1)
    return m * x3 / o


def Vcalc_val(x0, x1, x2, x3, x4):
    a = x0 * (x1 - x2) + 1
    h = hypf(x2 + x4, 0.01)
    b = (x1 - x2) * 2 / (csqrt(a) + 1) - sqrt_(h) * x3
    return hypf(b, 1e-4)


def Del_Vg_val(x0, x1, x2, x3, x4, x5):
    b = x1 + x0 * x0
    m = hypf(x3 - x2, 0.04)
    g = x5 * sqrt_(m) - sqrt_(x2) * x4
    r = hypf(g, x5 * 0.1)
    sq = x0 * x0
    return (r + sqrt_(x2) * x4) * (sq * sq) / (b * sqrt_(b))


def Vdsat_val(x0, x1, x2, x3, x4):
    a = x0 - x1
    k = x2
    if x4 != 1:
        k = x2 * sqrt_(1 / sqrt_(x2 * x2 * (a * a) + 1))
    c = k / sqrt_(2 / (a * a + 0.1) + k * k)
    g = csqrt(1 - c * c)
    y = (c * (-0.9) / (g + 1) + 1) * a - x3
    return hypf(y, 0.04) + x3


# ------------------------------------------- mobility, saturation, oxide

def Cox_eff_val(x0, x1, x2, x3, x4):
    b = x2 * 25 + x1 * (1 / (x0 * x0) * x1)
    g = cpow(b, 0.16666666666666666)
    return x3 / (1 + x4 / g)


def G_mob_val(x0, x1, x2, x3, x4, x5, x6, x7):
    m = hypf(x0, 0.01)
    K = cpow(m * x2, 0.333333)
    F = x5 * ((x6 - x7) * (x6 - x7)) / (x6 * x6 + 0.01)
    if x4 != 1:
        return cpow(cpow(K, x3) + (1 + cpow(m * x1, x3)), 1 / x3) + F
    G = (m * x1) * (m * x1)
    if K < G:
        return F + (G * cpow(cpow(K / G, x3) + 1, 1 / x3) + 1)
    return F + (K * cpow(cpow(G / K, x3) + 1, 1 / x3) + 1)


def G_vsat_val(x0, x1, x2, x3):
    f = sqrt_(x0)
    g = (x2 + x2) * x3
    if x1 != 1:
        g = g / (f * sqrt_(sqrt_((x2 * x3) * (x2 * x3) + 1)))
    else:
        g = g / f
    h = sqrt_(g * g + 1)
    if g >= 1e-4 or isnan_(g):
        l = log_(g + h) / g
    else:
        l = g * g / (-6) + 1
    return (l + h) * 0.5 * x0


def Thesat_val(x0, x1, x2):
    if x1 >= 0:
        return x0 * (x1 * x2 + 1)
    return x0 / (1 - x1 * x2)


def Eid_sat_val(x0, x1, x2, x3):
    c = 1 / (x2 * x3)
    if x0 > x1:
        b = x1 / x0 + sqrt_((x1 / x0) * (x1 / x0) + 1)
        return c * x0 / b
    a = (x0 / x1) * (x0 / x1)
    return c * x1 * a / (sqrt_(a + 1) + 1)


def G_DelL_val(x0, x1, x2, x3):
    f = hypf(x0 - x1, 1e-4)
    c = 1 - cln((f + sqrt_(f * f + x2 * x2)) / x2) * x3
    return hypf(c, 1e-4)


# ------------------------------------- drift, avalanche, diode, thermal

def MDR_Iohm_val(x0, x1, x2, x3, x4, x5, x6):
    if not x0 > 0:
        return x4 / x2
    t = hypf3(x6, x3, 0.01)
    s = sqrt_(t / x3)
    w = hypf3(x5, x3, 0.01)
    r = sqrt_(w / x3)
    h = x6 / x3 / (s + 1)
    g = x5 / x3 / (r + 1)
    k = ((h * h + g * g + h * g) / 3 + (h + g) * 0.5) * x1 / (s + r) + 1
    return x4 / x2 * hypf(k, 1e-8)


def Idrft_val(x0, x1, x2, x3, x4, x5, x6):
    f = x4 * x5 * x6
    c = (x1 + x0 - x2) * (2 / x1)
    if c > 80:
        return f
    e = (x1 + x0 - x3) * (2 / x1)
    if e > 80:
        return f
    ec, ee = exp_(c), exp_(e)
    return (ec + ee) / (ec + ee + 1) * f


def Iavl_val(x0, x1, x2, x3, x4, x5):
    if x1 == 0:
        return 0.0
    a = x0 - x3 * x4
    if x2 / 800 >= a:
        return 0.0
    return x5 * x1 * exp_(-x2 / a)


def Qdiode_val(x0, x1, x2, x3, x4, x5, x6):
    if x0 < x6:
        return (1 - cpow(1 - x0 / x1, 1 - x3)) * x5
    # The continuation is the Taylor expansion about the switch voltage x6,
    # so that charge and capacitance are continuous there.
    return ((1 - cpow(1 - x4, 1 - x3)) * x5
            + ((x0 - x6) * (x3 * 0.5) / ((1 - x4) * x1) + 1)
            * (cpow(1 - x4, -x3) * x2 * (x0 - x6)))


def Rthcor_val(x0, x1, x2, x3, x4, x5):
    u = (x2 - x3) * (-0.5) + x5
    h = u / x2
    l = log_(h * 4 * h + 1)
    k = x0 * x4 * (1 / ((h * 2 / PI) * atan_(h * (-2)) + h + l / TWO_PI)
                   + (-1 / h))
    a = x0 * x2 * x4 / u
    return (x1 - 1) * k / ((a + k) * x1 * (k + a * x1))


def Rtharea_val(x0, x1, x2, x3, x4):
    b = (x1 - 1) * x2 + x3
    if x0 < b:
        g, M = x0 / b, b
    else:
        g, M = b / x0, x0
    h = log_(1 / g + sqrt_((1 / g) * (1 / g) + 1))
    l = g * g
    o = sqrt_(1 + l)
    r = log_(o + g)
    return ((g * l + 1 - o * (1 + l)) / (l * 3) + (h + r / g)) / (M * (x4 * TWO_PI))


# ------------------------------------------------------------- parameters

DEFAULTS = {
    'LEVEL': 602, 'TYPE': 1, 'NCELL': 1.0, 'LGF': 0.0001, 'PCELL': 4e-5,
    'DTA': 0.0, 'RTHSW': 0, 'RTHCALC': 0, 'RTH': 0.001, 'CTH': 1e-12,
    'INCGATEBARCAP': 0.0, 'INCGATEBARIND': 0.0, 'INCDRAINBARCAP': 0.0,
    'INCDRAINBARIND': 0.0, 'WVBARGATE': 1e-5, 'WVBARDRAIN': 1e-5,
    'NCELLR': 1.0, 'LGFR': 0.0001, 'PCELLR': 4e-5, 'WVBARGATER': 1.5e-5,
    'WVBARDRAINR': 3e-5, 'TR': 21.0, 'VFB': -1.05, 'STVFB': 0.0, 'KO': 0.5,
    'KPINV': 0.0, 'PHIB': 0.95, 'STPHIB': 0.0, 'BET': 0.0019, 'ETABET': 1.3,
    'THESR': 0.3562, 'ETASR': 0.005, 'THEPH': 0.0129, 'ETAPH': 1.35,
    'ETAMOB': 1.3, 'STETAMOB': 0.0, 'NU': 2.0, 'NUEXP': 5.25, 'CS': 0.0,
    'ETACS': 0.0, 'THESAT': 0.2513, 'ETASAT': 0.0, 'THESATG': 0.0,
    'THETH': 0.0, 'SDIBL': 3.59e-5, 'MO': 0.0, 'SSF': 0.012, 'ALP': 0.025,
    'VP': 0.05, 'MEXP': 2.0, 'A1CH': 0.0, 'STA1CH': 0.0, 'A2CH': 1.0,
    'A3CH': 0.0, 'TOX': 3.2e-9, 'COX': 2.98e-14, 'PART': 0.5, 'ADJ': 1.0,
    'XDEP1': 1.0, 'DELQ': 0.0, 'LENGTH': 5e-7, 'VFBOV': 0.0, 'KOV': 2.5,
    'CGSO': 0.0, 'CGDO': 0.0, 'RON': 1.0, 'ETARON': 0.0, 'RSAT': 1.0,
    'NSAT': 0.0, 'VSAT': 10.0, 'ETAVSAT': 0.0, 'EC': 1e6, 'PSAT': 1.0,
    'VPDR': 100.0, 'VPDR1': 100.0, 'DCH': 1e15, 'DSUB': 1e15, 'VSUB': 0.6,
    'VGAP': 1.2, 'VDEP': 0.005, 'A1DR': 0.0, 'STA1DR': 0.0, 'A2DR': 1.0,
    'A3DR': 0.0, 'RBB': 1.0, 'ETARBB': 0.0, 'RPW': 100.0, 'LPW': 1e-5,
    'CSOURCE': 1e-10, 'CDIODE1': 1e-15, 'VBIDIODE1': 0.7, 'PDIODE1': 0.3,
    'CDIODE2': 1e-15, 'VBIDIODE2': 0.7, 'PDIODE2': 0.3, 'NDIODE2': 0.0,
    'SDIODE2': 0.0, 'CDIODE3': 1e-15, 'VBIDIODE3': 0.7, 'PDIODE3': 0.3,
    'REPI': 1e-8, 'TEPI': 1e-6, 'DEPEPI1': 0.1, 'DEPEPI3': 0.1, 'LDEX': 3e-6,
    'GMIN': 1e-11, 'RTHWS': 0.001, 'CTHWS': 1e-12, 'ATH': 0.0, 'EXRTH': 0.0,
    'TSCALE': 1.0, 'RTHCOR': 0.0, 'KAPPA': 150.0, 'TSUBTH': 0.00025,
    'LTH': 1e-5, 'VDSBR': 1000.0,
}
INT_PARAMS = ('LEVEL', 'TYPE', 'RTHSW', 'RTHCALC')

NODES = ('D', 'G', 'S', 'B', 'TINT', 'TEXT', 'CORE_B1', 'CORE_B2', 'CORE_ID',
         'IB_DIODE1', 'IB_DIODE3')
DDT_NAMES = ('_opddt7', '_opddt8', '_opddt9', '_opddt10', '_opddt11',
             '_opddt12')


class Obj:
    pass


def param_group(p):
    """Quantities that depend on parameters only."""
    c = Obj()
    TYPE = p['TYPE']
    c.NCR = p['NCELL'] / p['NCELLR']
    c.TNCR = TYPE * c.NCR
    c.LGR = p['LGF'] / p['LGFR']

    corr = 0.0
    if p['TSUBTH'] > 0.5 * p['PCELL']:
        corr = Rthcor_val(p['LGF'], p['NCELL'], p['PCELL'], p['LTH'],
                          p['KAPPA'], p['TSUBTH'])
    Rth0 = (p['RTHWS'] * p['NCELLR'] * p['LGFR'] / (p['NCELL'] * p['LGF'])
            + p['RTHCOR'] * corr)
    Cth0 = p['CTHWS'] * p['RTHWS'] / Rth0
    if p['RTHCALC'] == 1:
        Rth0 = Rtharea_val(p['LGF'], p['NCELL'], p['PCELL'], p['LTH'],
                           p['KAPPA'])
        Cth0 = p['CTHWS'] * Rtharea_val(p['LGFR'], p['NCELLR'], p['PCELLR'],
                                        p['LTH'], p['KAPPA']) / Rth0
    elif p['RTHCALC'] == 2:
        Rth0, Cth0 = p['RTH'], p['CTH']
    c.Rth0 = Rth0
    c.CthS = Cth0 * p['TSCALE']

    KO, KPINV = p['KO'], p['KPINV']
    c.KOKP2 = KO * KO * (KPINV * KPINV)
    c.KOKP2P = c.KOKP2 + 1
    c.KO676 = 6.760000000000001 / KO
    c.KP4 = 4 * (KPINV * KPINV)
    ce = 5.951993 if TYPE == 1 else 7.448711
    c.EFFC = ce * cpow(3.453133290338238e-11 / p['TOX'], 2.0 / 3.0)
    c.EFFC4 = 0.4 * c.EFFC
    c.BETG = c.LGR * p['BET']
    c.COXG = c.LGR * p['COX']
    c.EGC = 1.2
    if p['DSUB'] < 0:
        c.DSUBE = c.VPDRE = c.VPDR1E = 0.0
    else:
        c.DSUBE, c.VPDRE, c.VPDR1E = p['DSUB'], p['VPDR'], p['VPDR1']
    if c.DSUBE > 0:
        c.QSUB = sqrt_(3.319549146584e-29 * c.DSUBE * p['DCH']
                           / (c.DSUBE + p['DCH']))
    else:
        c.QSUB = 0.0
    c.RONG = p['RON'] / c.LGR
    c.RSATG = p['RSAT'] / c.LGR
    c.RBBG = p['RBB'] / c.LGR
    c.REPIG = p['REPI'] * p['TEPI'] / (p['LDEX'] * p['LGF'])
    c.RPWS = p['RPW'] * p['LPW'] / (p['LGF'] * 2 * c.NCR)
    c.FDIO, c.CDIOG = {}, {}
    for k in (1, 2, 3):
        P = p['PDIODE%d' % k]
        c.FDIO[k] = 1 - cpow((P + 1) / 3, 1 / P)
        c.CDIOG[k] = c.LGR * p['CDIODE%d' % k]
    c.CSRC = p['CSOURCE'] * p['LPW'] * p['LGF'] * 2 * c.NCR / 3
    c.Tref = p['TR'] + 273.15
    c.phiTR = 8.61695e-5 * c.Tref
    c.VBIMIN = 0.05
    c.RTEXT = 1e12 if p['RTHSW'] != 0 else 1e-9
    return c


def temperature_group(p, c, Tdev):
    t = Obj()
    Tref = c.Tref
    dT = Tdev - Tref
    tn = Tdev / Tref
    lnt = log_(tn)
    t.phiT = 8.61695e-5 * Tdev
    t.PHIT4 = 4 * t.phiT
    t.PHIT4SQ = t.PHIT4 * t.PHIT4
    t.KOF = 1 / (p['KO'] / sqrt_(2 * t.phiT) + 1)
    t.PHIT2K = t.phiT * t.phiT * c.KO676
    t.MOPHI = (p['MO'] + 1) * t.phiT
    t.VFBT = p['VFB'] + p['STVFB'] * dT
    t.PHIBT = hypf(p['PHIB'] + p['STPHIB'] * dT, 0.02)
    t.BETT = c.BETG * exp_(-p['ETABET'] * lnt)
    t.THESRT = p['THESR'] * exp_(-p['ETASR'] * lnt)
    t.THEPHT = p['THEPH'] * exp_(p['ETAPH'] * lnt)
    t.ETAMOBT = p['ETAMOB'] * (1 + p['STETAMOB'] * dT)
    t.NUT = (p['NU'] - 1) * exp_(-p['NUEXP'] * lnt) + 1
    t.CST = p['CS'] * exp_(-p['ETACS'] * lnt)
    t.THESATT = p['THESAT'] * exp_(-p['ETASAT'] * lnt)
    t.A1CHT = p['A1CH'] * (1 + p['STA1CH'] * dT)
    t.A1DRT = p['A1DR'] * (1 + p['STA1DR'] * dT)
    t.RONT = c.RONG * cpow(tn, p['ETARON'])
    t.VSATT = p['VSAT'] * cpow(tn, p['ETAVSAT'])
    VGT = (-0.0002585085 * Tdev * log10_(tn) + tn * p['VSUB']
           + (1 - tn) * p['VGAP'])
    if VGT < 0.05:
        VGT = 0.05
    t.VGT = VGT
    t.VGTS = sqrt_(VGT)
    VBIC = 3 * lnt + c.EGC * (1 / c.phiTR - 1 / t.phiT)
    t.VBIT, t.CDIOT, t.QDIOS, t.VDIOL = {}, {}, {}, {}
    for k in (1, 2, 3):
        VBI, P = p['VBIDIODE%d' % k], p['PDIODE%d' % k]
        VBIR = (VBI / c.phiTR - VBIC) * t.phiT
        t.VBIT[k] = hypf(VBIR - c.VBIMIN, 0.01) + c.VBIMIN
        t.CDIOT[k] = cpow(VBI / t.VBIT[k], P) * c.CDIOG[k]
        t.QDIOS[k] = t.CDIOT[k] * t.VBIT[k] / (1 - P)
        t.VDIOL[k] = c.FDIO[k] * t.VBIT[k]
    t.RBBT = c.RBBG * exp_(-p['ETARBB'] * lnt)
    return t


def pinch_limit(VDRY, VPDRE):
    """VDRC = hypfm1(VDRY, VPDRE, 8) and the room VPDRE - VDRC, both formed
    without cancellation."""
    if abs(VDRY) <= VPDRE:
        q = cpow(cpow(VDRY / VPDRE, 8) + 1, 0.125)
        return VDRY / q, VPDRE * (q - VDRY / VPDRE) / q
    q = cpow(cpow(VPDRE / VDRY, 8) + 1, 0.125)
    if VDRY < 0:
        return -VPDRE / q, (q + 1) * VPDRE / q
    return VPDRE / q, (VPDRE * cpow(VPDRE / VDRY, 8)
                       / ((cpow(q, 4) + 1) * (q * q + 1) * (q + 1) * q))


def depletion_charge_voltage(x, KO, KOKP2, KOKP2P):
    """VGX - PSID without the cancellation, in the two branches of psisat."""
    if KOKP2P * x < KO * KO / 4:
        r = KOKP2P * x / (KO * KO / 4)
        H = sqrt_(r + 1)
        return ((x / KOKP2P) * (KOKP2 * r + 2 * KOKP2P * (H + 1))
                / ((H + 1) * (H + 1)))
    s = (KO / 2) / sqrt_(KOKP2P * x)
    P = 1 / (sqrt_(1 + (KO * KO / 4) / (KOKP2P * x)) + s)
    return (2 * s * P + KOKP2) * x / KOKP2P


def overlap_factor(p, t, c, Vg, kv):
    d = Vg - p['VFBOV']
    n = d - hypf(d, 0.02)
    a = t.phiT * (exp_((n + 0.02) * kv / t.phiT) - 1)
    h = 0.5 * p['KOV']
    pp = sqrt_(a - n + h * h) - h
    acc = a - pp * pp
    y = (d - n) * kv
    z = y / sqrt_(y * y / t.PHIT2K + 1)
    e = (d - n) - z
    w = 2 * e / (sqrt_(e * c.KP4 + 1) + 1)
    v = (w / p['KOV']) * (w / p['KOV']) + z + t.phiT
    lg = t.phiT * log_(v / t.phiT)
    rr = sqrt_((y / kv - lg) * c.KP4 + 1)
    return 2 * (Vg - p['VFBOV'] - acc - lg) / (rr + 1)


def evaluate(p, tsim, v, ddt):
    """One right-hand-side pass. Returns (rhs[20], rhsq[8], outputs)."""
    TYPE = p['TYPE']
    c = param_group(p)
    rhs = [0.0] * 20
    rhsq = [0.0] * 8

    # self-heating rise and device temperature
    VTH = v['TINT'] - v['TEXT']
    VTEXT = v['TEXT']
    x = (VTEXT + VTH) * p['TSCALE']
    r1 = hypf(x, 0.1)
    DTSH = r1 - hypf(r1 - 1500, 0.1)
    Tdev = tsim + p['DTA'] + DTSH
    RthT = (exp_(p['ATH'] * log_((tsim + p['DTA'] + p['EXRTH'] * DTSH)
                                         / c.Tref)) * c.Rth0 / p['TSCALE'])
    t = temperature_group(p, c, Tdev)
    phiT = t.phiT

    # probes
    VGB1 = TYPE * (v['G'] - v['CORE_B1'])
    VDS = TYPE * (v['D'] - v['S'])
    VSB2 = TYPE * (v['S'] - v['CORE_B2'])
    VB1B2 = TYPE * (v['CORE_B1'] - v['CORE_B2'])
    VB2B = TYPE * (v['CORE_B2'] - v['B'])
    VBD1 = TYPE * (v['B'] - v['IB_DIODE1'])
    VBD3 = TYPE * (v['B'] - v['IB_DIODE3'])
    VIS = TYPE * (v['CORE_ID'] - v['S'])
    VDI = VDS - VIS
    VDB = TYPE * (v['D'] - v['B'])
    VIB = VDB - VDI
    VD1I = -VIB - VBD1
    VD3D = -VDB - VBD3
    VB2I = VB2B - VIB

    CHDIR = 1 if VIS >= 0 else -1
    VDSCH = abs(VIS)
    if CHDIR == 1:
        VGSCH = TYPE * (v['G'] - v['S'])
        VGDCH = VGSCH - VIS
    else:
        VGDCH = TYPE * (v['G'] - v['S'])
        VGSCH = VGDCH - VIS
    VSBCH = VGB1 - VGSCH
    DRDIR = 1 if VDI >= 0 else -1
    VDRIFT = abs(VDI)
    VAVDR = VDB if DRDIR == 1 else VIB
    VDRL = VIB if DRDIR == 1 else VDB

    # channel
    KO = p['KO']
    PSIJS = hypf(VSBCH + 0.9 * t.PHIBT, 0.01) + 0.1 * t.PHIBT
    VGX0 = hypf(VGB1 - t.VFBT, 0.02)
    PSID0 = psisat_val(VGX0, 0.0, KO, c.KOKP2P)
    DVG = Del_Vg_val(VDSCH, t.PHIT4SQ, PSIJS, PSID0, p['SDIBL'], p['SSF'])
    VGX = hypf(VGB1 + DVG - t.VFBT, 0.02)
    VACC = phiT * (exp_(-(VGX - 0.02) * t.KOF / phiT) - 1)
    PSID = psisat_val(VGX, VACC, KO, c.KOKP2P)
    VQD = depletion_charge_voltage(VGX + VACC, KO, c.KOKP2, c.KOKP2P)
    PSIS0 = psi_s_val(VGX, PSID, VQD, PSIJS, VACC, t.PHIT2K, phiT, c.KP4, KO,
                      t.MOPHI)
    QI0 = Vcalc_val(c.KP4, VGX, PSIS0, KO, VACC)
    THESATS = Thesat_val(t.THESATT, p['THESATG'], QI0)
    VDSAT = Vdsat_val(PSID, PSIJS, THESATS, t.PHIT4, float(TYPE))
    VDSE = hypfm(VDSCH, VDSAT, 2 * p['MEXP'])
    PSIJD = hypf(VDSE + VSBCH + 0.9 * t.PHIBT, 0.01) + 0.1 * t.PHIBT
    PSISL = psi_s_val(VGX, PSID, VQD, PSIJD, VACC, t.PHIT2K, phiT, c.KP4, KO,
                      t.MOPHI)
    QIL = Vcalc_val(c.KP4, VGX, PSISL, KO, VACC)
    PSIACC = psi_acc_val(t.KOF, VGB1, DVG, t.VFBT, VGX, t.PHIT2K, KO, phiT)
    DPSI = PSISL - PSIS0
    PSIM = (PSISL + PSIS0) * 0.5
    GPOLY = 2 / (sqrt_((VGX - PSIM) * c.KP4 + 1) + 1)
    QIM = (VGX - PSIM) * GPOLY - KO * sqrt_(hypf(PSIM + VACC, 0.01))
    QGM = (VGB1 + DVG - t.VFBT - PSIM - PSIACC) * GPOLY
    QMOB = QIM + t.ETAMOBT * (QGM - QIM)
    GMOB = G_mob_val(QMOB, t.THESRT, t.THEPHT, t.NUT, float(TYPE), t.CST, QGM,
                     QIM)
    THESATM = Thesat_val(t.THESATT, p['THESATG'], (QI0 + QIL) * 0.5)
    GVSAT = G_vsat_val(GMOB, float(TYPE), THESATM, DPSI)
    GDELL = G_DelL_val(VDSCH, VDSE, p['VP'], p['ALP'])
    VINV0 = Vinv_val(VACC, PSIJS, PSIS0, KO, phiT, t.MOPHI)
    VINVL = Vinv_val(VACC, PSIJD, PSISL, KO, phiT, t.MOPHI)
    IDRCH = Idrft_val(PSID, phiT, PSIJS, PSIJD, t.BETT, QIM, DPSI)
    IDFCH = t.BETT * phiT * (VINV0 - VINVL)
    ICH = (IDFCH + IDRCH) / (GDELL * GVSAT)
    IDS = ICH * c.TNCR + c.TNCR * c.LGR * p['GMIN'] * VDSCH
    IAVCH = c.TNCR * Iavl_val(VDSCH, t.A1CHT, p['A2CH'], p['A3CH'], VDSAT,
                              ICH)

    # drift region
    PSIDX = PSISL + p['XDEP1'] * (VDSCH - VDSE)
    PSIMX = (PSIDX + PSIS0) * 0.5
    SQPX = sqrt_(hypf(PSIMX + VACC, 0.01))
    r = sqrt_((VGX - PSIMX) * c.KP4 + 1)
    GPOLYX = 2 / (r + 1)
    QIX = (VGX - PSIMX) * GPOLYX - KO * SQPX
    CHQB = (VGB1 + DVG - t.VFBT - p['ADJ'] * PSIMX - PSIACC) * GPOLYX
    QMOBX = QIX + t.ETAMOBT * (CHQB - QIX)
    CHQR = phiT / r
    CHQT = phiT * KO / SQPX + CHQR
    CHQM = CHQT + (QI0 + QIL) * 0.5
    CHQA = p['DELQ'] * 0.5 * (QI0 - QIL)
    if t.ETAMOBT == 0:
        COXE = c.COXG
    else:
        COXE = Cox_eff_val(t.ETAMOBT, QMOBX, t.PHIT4SQ, c.COXG, c.EFFC4)
    EIDSAT = Eid_sat_val(VDSCH - VDSE, p['VP'], p['LENGTH'], p['ALP'])
    if t.BETT == 0:
        ICH_B = ((phiT * (VINV0 - VINVL)
                  + Idrft_val(PSID, phiT, PSIJS, PSIJD, 1.0, QIM, DPSI))
                 / (GDELL * GVSAT))
        EDR = ICH_B / (p['LENGTH'] * (VINVL + 1e-12)) + EIDSAT
    else:
        EDR = ICH / (p['LENGTH'] * t.BETT * (VINVL + 1e-12)) + EIDSAT
    VSATD = t.VSATT * c.RSATG / t.RONT
    if p['NSAT'] < 0:
        VSATN = VSATD * (1 - p['NSAT'] * CHQM)
    else:
        VSATN = VSATD / (p['NSAT'] * CHQM + 1)
    VPDRE, QSUB, VGT, VGTS = c.VPDRE, c.QSUB, t.VGT, t.VGTS
    VPD = VPDRE * QSUB / (sqrt_(VPDRE + VGT) + VGTS)
    if VPDRE <= 0:
        KPD = 0.0
    elif QSUB == 0:
        KPD = -2 * VGTS * (sqrt_(VPDRE + VGT) + VGTS) / VPDRE
    else:
        KPD = -4 * (QSUB / (2 * VGTS)) * VGT / VPD
    VDEPF = p['VDEP'] * ((EDR / p['EC']) * (EDR / p['EC']))
    HDR = hypf(VDRIFT - VDEPF, 5e-5)
    VDRA = VDRIFT * HDR / (VDEPF + HDR)
    VDRX = VDRIFT * VDEPF / (VDEPF + HDR)
    VXB = hypf(VGT - 1e-4 / VGT + VDRL, 0.01) - VGT
    VDRY = VDRX + VXB
    VSATT = t.VSATT
    if VPDRE <= 0:
        VDRC = VDRY
        VSATC = VSATT
    else:
        VDRC, VPDC = pinch_limit(VDRY, VPDRE)
        VSATC = (2 * VSATT * VPDC
                 / (VSATT + VPDC + sqrt_(VSATT * VSATT + VPDC * VPDC)))
    VDRS = hypfm(VDRA, VSATC, p['PSAT'])
    VDRT = VDRS + VDRC
    IOHM = MDR_Iohm_val(VPDRE, KPD, t.RONT, VGT, VDRS, VDRT, VDRC)
    IDRIFT0 = (1 + (VDRA - VDRS) / VSATN) * IOHM
    IDRIFT = c.TNCR * IDRIFT0
    IAVDR = c.TNCR * Iavl_val(VAVDR - VDRC, t.A1DRT, p['A2DR'], p['A3DR'],
                              VDRT - VDRC, IDRIFT0)
    RDIO = {}
    for k, V in ((1, VD1I), (3, VD3D)):
        w = hypf(1 - V / t.VBIT[k], 0.2)
        f = hypf(1 - p['DEPEPI%d' % k] * cpow(w, p['PDIODE%d' % k]), 0.1)
        RDIO[k] = c.REPIG * f

    # static rows
    rhs[0] += IDS if CHDIR == 1 else -IDS
    if CHDIR == 1:
        rhs[1] += IAVCH
    else:
        rhs[2] += IAVCH
    rhs[3] += IDRIFT if DRDIR == 1 else -IDRIFT
    if DRDIR == 1:
        rhs[4] += IAVDR
    else:
        rhs[5] += IAVDR
    rhs[6] += c.TNCR * VB1B2 / t.RBBT
    rhs[7] += TYPE * VB2B / c.RPWS
    rhs[8] += c.TNCR * VBD1 / RDIO[1]
    rhs[9] += c.TNCR * VBD3 / RDIO[3]

    # channel charges
    F = CHQA / CHQM
    H = 0.2 * (F * F)
    I3 = CHQA / 3
    # Below 0.05 V of channel voltage the split goes over to 0.5, where the
    # two orientations give the same charges: u (3 - u^2) / 2 of PART - 0.5.
    PARTE = p['PART']
    if PARTE != 0.5 and VDSCH < 0.05:
        u = VDSCH / 0.05
        PARTE = 0.5 + (p['PART'] - 0.5) * (u * (1.5 - 0.5 * u * u))
    QD = -COXE * ((CHQM - CHQT) * PARTE + I3 * 0.5 * (H + F - 1))
    QS = -COXE * ((1 - PARTE) * (CHQM - CHQT) + (F - H + 1) * 0.5 * I3)
    QB = (F * CHQR / CHQT * I3 + CHQB) * COXE
    # the XDEP1 share of CHQB is balanced on the drain-end charge
    CHQB0 = (VGB1 + DVG - t.VFBT - p['ADJ'] * PSIM - PSIACC) * GPOLY
    dQX = COXE * (CHQB - CHQB0)
    QD = QD - dQX
    QG = -(QB + QD + QS)
    if p['CGDO'] != 0:
        kv = 1 / (p['KOV'] / sqrt_(2 * phiT) + 1)
        # each overlap follows the gate voltage to its own terminal, S or
        # CORE_ID, in both channel orientations
        VGS = TYPE * (v['G'] - v['S'])
        QOVS = p['CGSO'] * overlap_factor(p, t, c, VGS, kv)
        QOVD = p['CGDO'] * overlap_factor(p, t, c, VGS - VIS, kv)
    else:
        QOVS = QOVD = 0.0
    if CHDIR == 1:
        QIG = (QD - QOVD) * c.TNCR
        QGS = (QS - QOVS) * c.TNCR
    else:
        QIG = (QS - QOVD) * c.TNCR
        QGS = (QD - QOVS) * c.TNCR
    QGB1 = QG * c.TNCR

    # junction diodes
    QJ1 = -c.TNCR * Qdiode_val(VD1I, t.VBIT[1], t.CDIOT[1], p['PDIODE1'],
                               c.FDIO[1], t.QDIOS[1], t.VDIOL[1])
    if c.VPDR1E == 0:
        VJ2 = 0.0
    else:
        VJ2 = -hypfm1(VDRX - VB2I, c.VPDR1E, 4)
    fJ2 = cpow(hypf(1 - p['SDIODE2'] * IDRIFT0, 0.1), p['NDIODE2'])
    QJ2 = -c.TNCR * fJ2 * Qdiode_val(VJ2, t.VBIT[2], t.CDIOT[2], p['PDIODE2'],
                                     c.FDIO[2], t.QDIOS[2], t.VDIOL[2])
    QJ3 = -c.TNCR * Qdiode_val(VD3D, t.VBIT[3], t.CDIOT[3], p['PDIODE3'],
                               c.FDIO[3], t.QDIOS[3], t.VDIOL[3])

    rhsq[0] += QIG
    rhsq[1] -= QGS
    rhsq[2] -= QGB1
    rhsq[3] += QJ1
    rhsq[4] += QJ2
    rhsq[5] += QJ3
    rhsq[6] += VSB2 * c.CSRC

    # dissipated power; TYPE makes it the dissipated power for p-type too
    PDISS = 0.0
    PDISS += TYPE * (VDSCH * IDS)
    PDISS += TYPE * ((VGSCH - VGDCH + VSBCH) * IAVCH)
    PDISS += ((v['CORE_ID'] - v['G']) * ddt['_opddt7']
              - (v['G'] - v['S']) * ddt['_opddt8']
              - (v['G'] - v['CORE_B1']) * ddt['_opddt9'])
    PDISS += TYPE * (VDRIFT * IDRIFT + VAVDR * IAVDR)
    PDISS += TYPE * (-VD1I * ddt['_opddt10'] - VD3D * ddt['_opddt11']
                     - VD3D * ddt['_opddt12'])
    PDISS += (TYPE * (c.TNCR * (VB1B2 * VB1B2) / t.RBBT)
              + VB2B * VB2B / c.RPWS
              + TYPE * (c.TNCR * (VBD1 * VBD1) / RDIO[1])
              + TYPE * (c.TNCR * (VBD3 * VBD3) / RDIO[3]))

    rhs[17] += VTH / RthT
    rhs[18] += PDISS
    rhs[19] += VTEXT / c.RTEXT
    rhsq[7] += VTH * c.CthS

    out = {'PDISS': PDISS, 'IDS': IDS, 'IAVCH': IAVCH, 'IDRIFT': IDRIFT,
           'IAVDR': IAVDR, 'CHDIR': CHDIR, 'DRDIR': DRDIR, 'Tdev': Tdev}
    return rhs, rhsq, out


# ------------------------------------------------------------------ cases

ZERO_DDT = {n: 0.0 for n in DDT_NAMES}


def volts(D=0.0, G=0.0, S=0.0, B=0.0, TINT=0.0, TEXT=0.0, B1=None, B2=None,
          ID=None, D1=None, D3=None):
    """Node potentials; internal nodes default to plausible solved values."""
    return {'D': D, 'G': G, 'S': S, 'B': B, 'TINT': TINT, 'TEXT': TEXT,
            'CORE_B1': B if B1 is None else B1,
            'CORE_B2': B if B2 is None else B2,
            'CORE_ID': S if ID is None else ID,
            'IB_DIODE1': B if D1 is None else D1,
            'IB_DIODE3': B if D3 is None else D3}


def mirror(v):
    return {k: -x for k, x in v.items()}


def ddts(a7, a8, a9, a10, a11, a12):
    return dict(zip(DDT_NAMES, (a7, a8, a9, a10, a11, a12)))


CASES = []


def case(name, params, tsim, v, ddt=ZERO_DDT):
    CASES.append((name, params, tsim, v, ddt))


# A saturated n-type point with every internal node off its terminal.
SAT = volts(D=8.0, G=5.0, S=0.0, B=0.0, B1=0.003, B2=0.001, ID=3.0,
            D1=-0.002, D3=-0.004)

case('zero_bias', {}, 300.15, volts())
case('forward_saturation', {}, 300.15, SAT)
case('forward_linear_ddt_drift_avalanche',
     {'CGDO': 2e-15, 'CGSO': 1e-15, 'A1DR': 1.0, 'A2DR': 0.5, 'A3DR': 0.1},
     300.15, volts(D=0.5, G=4.0, S=0.0, B=0.0, B1=0.001, B2=0.0005, ID=0.2,
                   D1=0.001, D3=0.002),
     ddts(1e-6, -2e-6, 3e-7, 4e-8, -5e-8, 6e-8))
case('ptype_mirrored_saturation', {'TYPE': -1}, 300.15, mirror(SAT))
case('reverse_channel', {}, 300.15,
     volts(D=0.3, G=4.0, S=1.0, B=0.0, B1=0.002, B2=0.001, ID=0.6))
case('reverse_drift_avalanche', {'A1DR': 1.0, 'A2DR': 1.0, 'A3DR': 0.1},
     300.15, volts(D=-0.6, G=3.0, S=0.0, B=0.0, B1=0.0, B2=0.0, ID=-0.1,
                   D1=0.001, D3=-0.001))
case('subthreshold', {}, 300.15,
     volts(D=5.0, G=0.3, S=0.0, B=0.0, B1=0.0, B2=0.0, ID=2.0))
case('accumulation_kpinv', {'KPINV': 0.5, 'MEXP': 1.5}, 300.15,
     volts(D=0.3, G=-1.2, S=0.0, B=0.0, B1=0.0, B2=0.0, ID=0.05))
case('avalanche_channel_forward',
     {'A1CH': 1.5, 'A2CH': 20.0, 'A3CH': 0.2, 'A1DR': 2.0, 'A2DR': 30.0,
      'A3DR': 0.3, 'STA1CH': 1e-3, 'STA1DR': -1e-3, 'VDSBR': 30.0},
     300.15, volts(D=40.0, G=4.0, S=0.0, B=0.0, B1=0.01, B2=0.005, ID=25.0))
case('avalanche_channel_reverse_drift_forward',
     {'A1CH': 1.0, 'A2CH': 15.0, 'A3CH': 0.1, 'A1DR': 1.0, 'A2DR': 0.5,
      'A3DR': 0.2},
     300.15, volts(D=0.25, G=4.0, S=25.0, B=0.0, B1=0.0, B2=0.0, ID=0.05))
case('body_diode_forward', {'NDIODE2': 1.0, 'SDIODE2': 0.5}, 300.15,
     volts(D=-0.9, G=0.0, S=0.0, B=0.0, B1=0.0, B2=0.0, ID=-0.85, D1=0.0,
           D3=0.0))
case('self_heating_rthcalc2',
     {'RTHCALC': 2, 'RTH': 20.0, 'CTH': 3e-6, 'RTHSW': 1, 'ATH': 1.2,
      'EXRTH': 0.5, 'TSCALE': 2.0, 'DTA': 3.0},
     320.0, volts(D=10.0, G=5.0, S=0.0, B=0.0, TINT=7.5, TEXT=0.25, ID=2.5))
case('rthcalc1_geometry',
     {'RTHCALC': 1, 'NCELL': 4.0, 'LGF': 3e-4, 'PCELL': 5e-5, 'LTH': 2e-5,
      'CTHWS': 2e-12, 'RTHSW': 0},
     350.0, volts(D=6.0, G=4.0, S=0.0, B=0.0, TINT=1.5, TEXT=1e-10, ID=1.5))
case('rthcalc0_correction',
     {'RTHCALC': 0, 'NCELL': 3.0, 'RTHCOR': 0.5, 'TSUBTH': 3e-4,
      'RTHWS': 0.02, 'RTHSW': 1, 'CTHWS': 5e-12},
     260.0, volts(D=4.0, G=3.5, S=0.0, B=0.0, TINT=2.0, TEXT=0.5, ID=1.0))
case('dsub_zero', {'DSUB': 0.0}, 300.15,
     volts(D=12.0, G=5.0, S=0.0, B=0.0, B1=0.0, B2=0.0, ID=4.0))
case('dsub_negative', {'DSUB': -1.0, 'NSAT': 0.3}, 300.15,
     volts(D=3.0, G=5.0, S=0.0, B=0.0, B1=0.0, B2=-0.001, ID=1.0))
case('charges_cs_cgdo_ptype',
     {'TYPE': -1, 'CS': 0.05, 'ETACS': 0.5, 'CGDO': 3e-15, 'CGSO': 2e-15,
      'DELQ': 0.5, 'PART': 0.4, 'KPINV': 0.8, 'THESATG': -0.2,
      'VFBOV': -0.1, 'MO': 0.3, 'NDIODE2': 1.5, 'SDIODE2': 2.0},
     310.0, mirror(volts(D=2.0, G=3.0, S=0.0, B=0.0, B1=0.002, B2=0.001,
                         ID=0.8, D1=0.003, D3=-0.002)),
     ddts(-2e-7, 5e-7, 1e-7, -3e-8, 2e-8, 7e-8))
case('ptype_reverse_both_avalanche',
     {'TYPE': -1, 'CGDO': 1e-15, 'A1CH': 1.0, 'A2CH': 0.5, 'A1DR': 1.0,
      'A2DR': 0.3}, 300.15,
     mirror(volts(D=0.2, G=3.0, S=0.8, B=0.0, B1=0.001, B2=0.0, ID=0.5)),
     ddts(1e-7, 1e-7, -1e-7, 1e-8, 1e-8, -1e-8))
case('cells_and_gates_scaled',
     {'NCELL': 2.5, 'NCELLR': 1.5, 'LGF': 2e-4, 'LGFR': 1.2e-4,
      'ETARON': 0.8, 'ETAVSAT': -0.4, 'ETARBB': 0.3, 'STVFB': 1e-3,
      'STPHIB': -5e-4, 'STETAMOB': 1e-3, 'ETASAT': 0.2, 'THESATG': 0.1},
     380.0, volts(D=7.0, G=6.0, S=0.5, B=0.0, B1=0.02, B2=0.01, ID=2.2,
                  D1=-0.01, D3=0.01))
case('uneven_partition_near_reversal', {'PART': 0.4, 'DELQ': 0.3}, 300.15,
     volts(D=0.02, G=4.0, S=0.0, B=0.0, B1=0.001, B2=0.0005, ID=-0.02))
case('uneven_partition_beyond_blend', {'PART': 0.4, 'DELQ': 0.3}, 300.15,
     volts(D=0.4, G=4.0, S=0.0, B=0.0, B1=0.001, B2=0.0005, ID=0.3))
case('bet_zero', {'BET': 0.0}, 300.15,
     volts(D=5.0, G=4.0, S=0.0, B=0.0, ID=1.0))
case('etamob_zero', {'ETAMOB': 0.0}, 300.15,
     volts(D=5.0, G=4.0, S=0.0, B=0.0, B1=0.0, B2=0.0, ID=1.0))


def fmt(x):
    return repr(float(x))


def write(outf):
    outf.write('# TORVEX_CORE reference values, one right-hand-side pass per case\n')
    outf.write('# written by torvex_core_reference.py; do not edit by hand\n')
    for name, params, tsim, v, ddt in CASES:
        p = dict(DEFAULTS)
        p.update(params)
        rhs, rhsq, out = evaluate(p, tsim, v, ddt)
        outf.write('case %s\n' % name)
        for k, val in params.items():
            if k in INT_PARAMS:
                outf.write('param %s %d\n' % (k, val))
            else:
                outf.write('param %s %s\n' % (k, fmt(val)))
        outf.write('tsim %s\n' % fmt(tsim))
        for n in NODES:
            outf.write('v %s %s\n' % (n, fmt(v[n])))
        for n in DDT_NAMES:
            outf.write('ddt %s %s\n' % (n, fmt(ddt[n])))
        for i, x in enumerate(rhs):
            outf.write('rhs %d %s\n' % (i, fmt(x)))
        for i, x in enumerate(rhsq):
            outf.write('rhsq %d %s\n' % (i, fmt(x)))
        for k in ('PDISS', 'IDS', 'IAVCH', 'IDRIFT', 'IAVDR', 'Tdev'):
            outf.write('out %s %s\n' % (k, fmt(out[k])))
        for k in ('CHDIR', 'DRDIR'):
            outf.write('out %s %d\n' % (k, out[k]))
        outf.write('end\n')


def check():
    """Largest relative difference of each case's double values from the same
    lines run at 50 digits: a point whose values hinge on rounding shows up."""
    global MP
    import mpmath
    mpmath.mp.dps = 50
    worst_all = 0.0
    for name, params, tsim, v, ddt in CASES:
        p = dict(DEFAULTS)
        p.update(params)
        MP = None
        rhs, rhsq, out = evaluate(p, tsim, v, ddt)
        MP = mpmath
        pm = {k: (x if k in INT_PARAMS else mpmath.mpf(x)) for k, x in p.items()}
        vm = {k: mpmath.mpf(x) for k, x in v.items()}
        dm = {k: mpmath.mpf(x) for k, x in ddt.items()}
        rhs_m, rhsq_m, out_m = evaluate(pm, mpmath.mpf(tsim), vm, dm)
        MP = None
        worst, where = 0.0, ''
        for label, a, b in (('rhs', rhs, rhs_m), ('rhsq', rhsq, rhsq_m)):
            for i, (x, y) in enumerate(zip(a, b)):
                if y == 0:
                    d = 0.0 if x == 0 else math.inf
                else:
                    d = float(abs((x - y) / y))
                if d > worst:
                    worst, where = d, '%s %d' % (label, i)
        worst_all = max(worst_all, worst)
        # the power as raw branch voltage times loaded current, an
        # independent reading of the signs of PDISS for both types
        pairs = (('CORE_ID', 'S'), ('CORE_ID', 'CORE_B1'), ('S', 'CORE_B1'),
                 ('D', 'CORE_ID'), ('D', 'B'), ('CORE_ID', 'B'),
                 ('CORE_B1', 'CORE_B2'), ('CORE_B2', 'B'), ('B', 'IB_DIODE1'),
                 ('B', 'IB_DIODE3'))
        power = sum((v[a] - v[b]) * rhs[i] for i, (a, b) in enumerate(pairs))
        power += ((v['CORE_ID'] - v['G']) * ddt['_opddt7']
                  - (v['G'] - v['S']) * ddt['_opddt8']
                  - (v['G'] - v['CORE_B1']) * ddt['_opddt9']
                  + (v['CORE_ID'] - v['IB_DIODE1']) * ddt['_opddt10']
                  + (v['D'] - v['IB_DIODE3']) * ddt['_opddt11']
                  + (v['D'] - v['IB_DIODE3']) * ddt['_opddt12'])
        dp = abs(power - out['PDISS']) / max(abs(out['PDISS']), 1e-300)
        print('%-40s %.3e %-8s power %.1e' % (name, worst, where, dp))
    print('largest %.3e' % worst_all)


def identities():
    """The stable forms against the plain formulas they rearrange, the plain
    ones at 50 digits, on both sides of every branch test: catches a slip in
    a rearranged form."""
    import mpmath as m
    m.mp.dps = 50
    worst = 0.0

    def near(a, b, what):
        nonlocal worst
        d = float(abs((a - b) / b)) if b != 0 else abs(a)
        worst = max(worst, d)
        if d > 1e-13:
            print('identity %s: %r vs %s' % (what, a, m.nstr(b, 17)))

    def plain_hypf(x, e):
        x, e = m.mpf(x), m.mpf(e)
        return (x + m.sqrt(x * x + 4 * e * e)) / 2

    for x in (-3.0, -0.01, -1e-3, 0.0, 1e-3, 0.015, 0.5, 7.0):
        for e in (0.01, 0.02, 0.1):
            near(hypf(x, e), plain_hypf(x, e), 'hypf')
            a = 0.6
            y = m.mpf(x) + a - m.mpf(e) ** 2 / a
            near(hypf3(x, a, e), plain_hypf(y, e), 'hypf3')
            near(hypf3(x, a, e) - a, plain_hypf(y, e) - a, 'hypf2')
    for A in (0.01, 0.05, 0.3, 2.0):
        for KO, KP in ((0.5, 0.0), (0.5, 0.5), (1.3, 0.5)):
            P = 1 + KO * KO * (KP * KP)
            c = m.mpf(KO) / 2
            sq = m.sqrt(c * c + m.mpf(A) * P)
            psid = ((sq - c) / P) ** 2
            near(psisat_val(A, 0.0, KO, P), psid, 'psisat')
            near(depletion_charge_voltage(A, KO, P - 1, P), A - psid, 'VQD')
    for x2, x1 in ((0.3, 0.2), (0.9, 0.1), (0.1, 0.9)):
        l = m.sqrt(plain_hypf(x2 + 0.01, 0.01))
        mm = m.sqrt(m.mpf(0.025)) * m.exp((m.mpf(x2) - x1) * 0.5 / m.mpf(0.025))
        near(Vinv_val(0.01, x1, x2, 0.5, 0.025, 0.025),
             0.5 * (m.sqrt(l * l + mm * mm) - l), 'Vinv')
    for x0 in (0.01, 0.05, 0.2, 3.0):
        vp = m.mpf(0.05)
        near(Eid_sat_val(x0, 0.05, 5e-7, 0.025),
             (m.sqrt(m.mpf(x0) ** 2 + vp * vp) - vp) / (m.mpf(5e-7) * m.mpf(0.025)),
             'Eid_sat')
    for VDRY in (-150.0, -30.0, 0.5, 60.0, 99.0, 101.0, 400.0):
        VPDRE = 100.0
        ref = m.mpf(VDRY) / ((m.mpf(VDRY) / VPDRE) ** 8 + 1) ** m.mpf(0.125)
        VDRC, VPDC = pinch_limit(VDRY, VPDRE)
        near(VDRC, ref, 'VDRC')
        near(VPDC, VPDRE - ref, 'VPDC')
    print('identities: largest relative difference %.3e' % worst)


if __name__ == '__main__':
    if '--check' in sys.argv[1:]:
        identities()
        check()
    else:
        write(sys.stdout)
