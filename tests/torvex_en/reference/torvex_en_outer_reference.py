#!/usr/bin/python3
"""Reference values for the TORVEX_EN outer network, thermal rows and monitors.

Written from the model's equations alone, without looking at the C++ load.
Run:  /usr/bin/python3 torvex_en_outer_reference.py > torvex_en_outer_reference.txt
      /usr/bin/python3 torvex_en_outer_reference.py --compare   (self-checks, stderr)

Arithmetic
  Every case is evaluated at 50 significant digits (mpmath) from the double
  inputs and the double constants of the model (2e-7, 0.50048, 0.3333333333,
  -0.166666667, pi = 3.141592653589793, 239999.99999999997, ...), then rounded
  to double.  The result is therefore independent of the order of operations,
  which the full load and the RHS-only load are free to arrange apart; a
  double implementation lands within a few ulp of it except where a quantity
  cancels.  --compare reruns every case in plain double arithmetic and prints
  the worst relative difference per case (below 1e-14 for every loaded value;
  1.2e-13 for the bar correction out lines, whose two terms cancel), so a
  relative tolerance of 1e-12 is ample.  It also differentiates every row
  centrally with respect to every node potential and branch current and
  compares with the sum of the row's quartets (agreement to 1e-18 or better),
  which checks the quartet values and their row/column assignment below.

What is computed
  One load pass of a fresh instance (recompute flag set), with the intrinsic
  transistor silent: channel, drift region, avalanche, substrate/epitaxial
  resistors, intrinsic and junction charges and the self-heating power are 0.
  So RHS 0..15, RHS 47 (power into TINT), RHS 50 (IIDS current) and
  RHS-Q 0..5, RHS-Q 21 (IIDS charge) are 0.  Everything else is the outer
  network: the parameter-only stage (geometry ratios, RTHCALC 0/1/2 thermal
  R and C, pad C and R, substrate/source/metal/poly/shield/eddy resistances,
  finger-loop inductances with end terms, bar corrections and mutual
  coupling), the outer-network rows and inductor branch equations, the charge
  rows, the thermal rows 46/48 and RHS-Q 20, and the VIDS branch rows 49/51.
  RHS 7 (CORE_B2,BI2)/rpwScaled is linear and parameter-only but belongs to
  the substrate/epitaxial resistor group of the intrinsic device: it is 0
  here (rpwScaled is printed as an out line for later use).

Output format (one item per line, numbers printed with repr())
  case <name>
  param <NAME> <value>        non-default parameters; ints as ints
  tsim <kelvin>               host temperature
  v <NODE> <volts>            every terminal and internal node potential
  i <BRANCH> <amps>           every branch current unknown
  rhs <row> <value>           all 56 RHS pair values, after the $mfactor scaling
  rhsq <row> <value>          all 22 RHS-Q pair values, after the $mfactor scaling
  deriv <quartet> <value>     all 129 DC derivative quartets, after $mfactor
  derivq <quartet> <value>    all 59 charge derivative quartets, after $mfactor
  out <NAME> <value>          derived quantities (not scaled by $mfactor)
  end

RHS pair rows (node +, node -); a branch paired with ground is that branch's
equation row:
   0 CORE_ID,S          1 CORE_ID,CORE_B1    2 S,CORE_B1          3 DI2,CORE_ID
   4 DI2,BI2            5 CORE_ID,BI2        6 CORE_B1,CORE_B2    7 CORE_B2,BI2
   8 BI2,IB_DIODE1      9 BI2,IB_DIODE3     10 CORE_ID,GI2       11 GI2,S
  12 GI2,CORE_B1       13 CORE_ID,IB_DIODE1 14 DI2,CORE_B2       15 DI2,IB_DIODE3
  16 S,CORE_B2         17 S,BI2             18 BI2,B             19 GPOLY,GIFIN
  20 GIFIN,S           21 DI2,DIFIN         22 DIFIN,S           23 GPOLY,DI2
  24 GI2,DI2           25 GI2,SH            26 SH,S              27 GPOLY,GI2
  28 G,GIBAR           29 GIBAR,B           30 GFIN1,GPOLY       31 br_ind_g3_i,gnd
  32 br_ind_g2_i,gnd   33 br_ind_g1_i,gnd   34 G,GFIN1           35 GFIN3,GFIN1
  36 GFIN2,GFIN1       37 D,DIBAR           38 DIBAR,B           39 DFIN1,DI2
  40 br_ind_d3_i,gnd   41 br_ind_d2_i,gnd   42 br_ind_d1_i,gnd   43 D,DFIN1
  44 DFIN3,DFIN1       45 DFIN2,DFIN1       46 TINT,TEXT         47 gnd,TINT
  48 TEXT,gnd          49 _ub_VIDS_GND_i,gnd 50 IIDS,gnd         51 VIDS,gnd
  52 DFIN3,DFIN2       53 D,DFIN3           54 GFIN3,GFIN2       55 G,GFIN3
RHS-Q pair rows:
   0 CORE_ID,GI2        1 GI2,S              2 GI2,CORE_B1        3 CORE_ID,IB_DIODE1
   4 DI2,CORE_B2        5 DI2,IB_DIODE3      6 S,CORE_B2          7 GPOLY,GIFIN
   8 DI2,DIFIN          9 GPOLY,DI2         10 GI2,DI2           11 GI2,SH
  12 G,GIBAR           13 br_ind_g3_i,gnd   14 br_ind_g2_i,gnd   15 br_ind_g1_i,gnd
  16 D,DIBAR           17 br_ind_d3_i,gnd   18 br_ind_d2_i,gnd   19 br_ind_d1_i,gnd
  20 TINT,TEXT         21 IIDS,gnd
Nonzero DC quartets (row; column): 50..57 the resistors of RHS 17,18,20,22,26,27,
29,30 (1/R); 58,59,60 branch rows 31,32,33 w.r.t. their own current (1e-15);
61,62,63 RHS 34,35,36 (1/R); 64,65 RHS 38,39; 66,67,68 branch rows 40,41,42
(1e-15); 69,70,71 RHS 43,44,45; 72,73 RHS 46 w.r.t. V(TINT,TEXT), V(TEXT);
108 RHS 48 (1/rTextGnd); 109 RHS 49 w.r.t. V(CORE_ID,S) (TYPE * channel
direction); 115 RHS 51 w.r.t. I(_ub_VIDS_GND_i) (+1); 116 RHS 49 w.r.t. V(VIDS)
(-1); 117..128 alternately +1 (KCL row w.r.t. the inductor current) and -1
(branch row w.r.t. its voltage) for d1, d2, d3, g1, g2, g3.
Nonzero charge quartets: 33 RHS-Q 6 (TYPE*csourceScaled); 34..39 RHS-Q 7..12 (C);
40/41, 42/43, 44/45 RHS-Q 13, 14, 15 w.r.t. own gate current (L) / drain partner
(M); 46 RHS-Q 16 (C); 47/48, 49/50, 51/52 RHS-Q 17, 18, 19 w.r.t. own drain
current (L) / gate partner (M); 53 RHS-Q 20 (cthT).  All others are 0 here.
TORVEX (no monitors) drops RHS 49..51 and RHS-Q 21; its RHS 49..52 are 52..55 here.
It also drops quartets 109..116 (117..128 become 109..120) and charge quartets 54..58.

Out names follow the full-load naming; the RHS-only names are the same
quantities:
  typeNcellRatio = ncellRatioSigned     rthCorner = rthCorrection
  rthRef = rthAreaRef                   cthT = cthEff
  cgbFinger/rgbFinger = cigb1Eff/rigb1Eff   cdbFinger/rdbFinger = cidb1Eff/ridb1Eff
  cgbOuter/rgbOuter = cigbSumEff/rigb3Eff   cdbOuter/rdbOuter = cidbSumEff/ridb3Eff
  cgdOuter = cigdSumEff  cgdInner = cigd11Eff  cggsScaled = ciggsEff
  rsourceScaled = rsourceEff  rmetalGate(3) = rGateMetal(Section)
  rmetalDrain(3) = rDrainMetal(Section)  rpolyGate = rPoly  reddy = rEddy
  rgLinek = rGateSectionk  rdLinek = rDrainSectionk
  lGateTotal, lDrainTotal  = lGateLine, lDrainLine (line totals before / NCELL^2)
  mGateDrainTotal          = mGateDrainLine
  lGateFinger, lDrainFinger = lGateTotal, lDrainTotal of the RHS-only naming
                             (per-line value / NCELL^2, bar correction included)
  mGdFinger = mGateDrain  lGateBarCorr/lDrainBarCorr = barInductance per side
  lgLinek = lGateSectionk  ldLinek = lDrainSectionk  mgdLinek = mSectionk
  vdsAbs = vdsCh
  powerNetworkResistors: sum of V^2/R over the sixteen outer resistors; part
    of the self-heating power, not loaded while RHS 47 stays 0.
  drthTdProbe: d rthT / dV(TINT,TEXT) = d rthT / dV(TEXT) (both through riseIn).

Where the two loads' formulations differ, and what is taken here
  - lGateTotal/lDrainTotal: the line total in the full load, the per-line
    value (/ NCELL^2, plus the bar correction) in the RHS-only load.  Out
    lines use the full-load meaning; see the table above.
  - Self inductance: one adds TFING to the width inside the term, the other
    passes TFING + width in; the same value, grouped differently.
  - Zero static parts of capacitors and inductors: the full load adds 0.0,
    the RHS-only load adds 0 x C (x L, x M), which would be NaN for a
    non-finite element value.  Every element here is finite, so both give 0.
"""

import math
import sys

import mpmath

mpmath.mp.dps = 50

# Default values of every parameter this evaluation reads.
DEFAULTS = {
    '$mfactor': 1.0, 'TYPE': 1, 'NCELL': 1.0, 'LGF': 1e-4, 'PCELL': 4e-5, 'DTA': 0.0,
    'RTHSW': 0, 'RTHCALC': 0, 'RTH': 0.001, 'CTH': 1e-12,
    'INCGATEBARCAP': 0.0, 'INCGATEBARIND': 0.0, 'INCDRAINBARCAP': 0.0, 'INCDRAINBARIND': 0.0,
    'WVBARGATE': 1e-5, 'WVBARDRAIN': 1e-5, 'NCELLR': 1.0, 'LGFR': 1e-4, 'PCELLR': 4e-5,
    'WVBARGATER': 1.5e-5, 'WVBARDRAINR': 3e-5, 'TR': 21.0, 'LPW': 1e-5, 'RPW': 100.0, 'CSOURCE': 1e-10,
    'RTHWS': 0.001, 'CTHWS': 1e-12, 'ATH': 0.0, 'EXRTH': 0.0, 'TSCALE': 1.0, 'RTHCOR': 0.0,
    'KAPPA': 150.0, 'TSUBTH': 2.5e-4, 'LTH': 1e-5,
    'NGATECON': 100.0, 'WGATE': 1e-5, 'WDRAIN': 1e-5, 'LEPI': 1e-5, 'LEXTG': 1e-5,
    'LEXTD': 1e-5, 'RMETAL': 1e-4, 'RPOLY': 0.01, 'RPOLYVER': 0.01, 'WGATEPOLY': 1e-6,
    'TFING': 1e-5, 'RSUB': 1e-6, 'RSOURCE': 0.1, 'RSHIELD': 0.001, 'TZ': 5e-4,
    'TSUB': 5e-4, 'INDUCON': 0.0, 'MUTUALON': 0.0, 'REDDYON': 1.0,
    'CIGB1': 1e-15, 'CIGB2': 1e-15, 'CIGB3': 1e-15, 'CIGB41': 1e-15, 'CIGB42': 1e-15,
    'CIGGS': 1e-15, 'CIDB1': 1e-15, 'CIDB2': 1e-15, 'CIDB3': 1e-15, 'CIGD11': 1e-15,
    'CIGD12': 1e-15, 'CIGD2': 1e-15, 'CIGD3': 1e-15, 'CIGD4': 1e-15,
    'RIGB1': 1e-8, 'RIGB3': 1e-8, 'RIDB1': 1e-8, 'RIDB3': 1e-8,
    'DISTR1': 0.1, 'DISTR2': 0.5, 'DISTR3': 10.0,
    'DISTL1': 0.33, 'DISTL2': 0.33, 'DISTL3': 0.33,
    'DISTC1': 0.33, 'DISTC2': 0.33, 'DISTC3': 0.33,
}
INT_PARAMS = ('TYPE', 'RTHSW', 'RTHCALC')

TERMINALS = ('D', 'G', 'B', 'TINT', 'TEXT', 'VIDS', 'IIDS')
INTERNAL_NODES = ('BI2', 'CORE_B1', 'CORE_B2', 'CORE_ID', 'DFIN1', 'DFIN2', 'DFIN3', 'DI2',
                  'DIBAR', 'DIFIN', 'GFIN1', 'GFIN2', 'GFIN3', 'GI2', 'GIBAR', 'GIFIN',
                  'GPOLY', 'IB_DIODE1', 'IB_DIODE3', 'S', 'SH')
BRANCHES = ('_ub_VIDS_GND_i', 'br_ind_d1_i', 'br_ind_d2_i', 'br_ind_d3_i',
            'br_ind_g1_i', 'br_ind_g2_i', 'br_ind_g3_i')

N_RHS = 56
N_RHSQ = 22
N_DERIV = 129
N_DERIVQ = 59

# Quartets the outer network, thermal and VIDS rows fill: index -> (row, column +, column -).
# A branch name as column + with None as column - is that branch's current.
QUARTETS = {
    50: (17, 'S', 'BI2'), 51: (18, 'BI2', 'B'), 52: (20, 'GIFIN', 'S'), 53: (22, 'DIFIN', 'S'),
    54: (26, 'SH', 'S'), 55: (27, 'GPOLY', 'GI2'), 56: (29, 'GIBAR', 'B'),
    57: (30, 'GFIN1', 'GPOLY'), 58: (31, 'br_ind_g3_i', None), 59: (32, 'br_ind_g2_i', None),
    60: (33, 'br_ind_g1_i', None), 61: (34, 'G', 'GFIN1'), 62: (35, 'GFIN3', 'GFIN1'),
    63: (36, 'GFIN2', 'GFIN1'), 64: (38, 'DIBAR', 'B'), 65: (39, 'DFIN1', 'DI2'),
    66: (40, 'br_ind_d3_i', None), 67: (41, 'br_ind_d2_i', None), 68: (42, 'br_ind_d1_i', None),
    69: (43, 'D', 'DFIN1'), 70: (44, 'DFIN3', 'DFIN1'), 71: (45, 'DFIN2', 'DFIN1'),
    72: (46, 'TINT', 'TEXT'), 73: (46, 'TEXT', None), 108: (48, 'TEXT', None),
    109: (49, 'CORE_ID', 'S'), 115: (51, '_ub_VIDS_GND_i', None), 116: (49, 'VIDS', None),
    117: (45, 'br_ind_d1_i', None), 118: (42, 'DFIN2', 'DFIN1'),
    119: (52, 'br_ind_d2_i', None), 120: (41, 'DFIN3', 'DFIN2'),
    121: (53, 'br_ind_d3_i', None), 122: (40, 'D', 'DFIN3'),
    123: (36, 'br_ind_g1_i', None), 124: (33, 'GFIN2', 'GFIN1'),
    125: (54, 'br_ind_g2_i', None), 126: (32, 'GFIN3', 'GFIN2'),
    127: (55, 'br_ind_g3_i', None), 128: (31, 'G', 'GFIN3'),
}
QUARTETS_Q = {
    33: (6, 'S', 'CORE_B2'), 34: (7, 'GPOLY', 'GIFIN'), 35: (8, 'DI2', 'DIFIN'),
    36: (9, 'GPOLY', 'DI2'), 37: (10, 'GI2', 'DI2'), 38: (11, 'GI2', 'SH'),
    39: (12, 'G', 'GIBAR'), 40: (13, 'br_ind_g3_i', None), 41: (13, 'br_ind_d3_i', None),
    42: (14, 'br_ind_g2_i', None), 43: (14, 'br_ind_d2_i', None),
    44: (15, 'br_ind_g1_i', None), 45: (15, 'br_ind_d1_i', None), 46: (16, 'D', 'DIBAR'),
    47: (17, 'br_ind_d3_i', None), 48: (17, 'br_ind_g3_i', None),
    49: (18, 'br_ind_d2_i', None), 50: (18, 'br_ind_g2_i', None),
    51: (19, 'br_ind_d1_i', None), 52: (19, 'br_ind_g1_i', None), 53: (20, 'TINT', 'TEXT'),
}


class DoubleMath:
    """Plain double arithmetic, for the --compare cross-check."""
    num = staticmethod(float)
    log = staticmethod(math.log)
    sqrt = staticmethod(math.sqrt)
    atan = staticmethod(math.atan)
    exp = staticmethod(math.exp)


class WideMath:
    """50-digit arithmetic; mpf(float) is exact, so inputs keep their double values."""
    num = staticmethod(mpmath.mpf)
    log = staticmethod(mpmath.log)
    sqrt = staticmethod(mpmath.sqrt)
    atan = staticmethod(mpmath.atan)
    exp = staticmethod(mpmath.exp)


def evaluate(params, tsim, sol, K):
    """One load pass of a fresh instance; returns (rhs, rhsq, out) before $mfactor."""
    raw = dict(DEFAULTS)
    raw.update(params)
    P = {k: K.num(float(v)) for k, v in raw.items()}
    num = K.num
    ln, sqrt, atan, exp = K.log, K.sqrt, K.atan, K.exp
    PI = num(3.141592653589793)
    TWO_PI = num(6.283185307179586)
    THIRD = num(0.3333333333)      # the model's decimal constant, not 1/3
    MSIXTH = num(-0.166666667)
    MU = num(2e-7)

    NCELL, LGF, PCELL = P['NCELL'], P['LGF'], P['PCELL']
    TYPE = P['TYPE']
    out = {}

    # Geometry ratios.
    ncellRatio = NCELL / P['NCELLR']
    out['ncellRatio'] = ncellRatio
    out['typeNcellRatio'] = TYPE * ncellRatio
    lgfRatio = LGF / P['LGFR']
    out['lgfRatio'] = lgfRatio
    pcellRatio = PCELL / P['PCELLR']
    out['pcellRatio'] = pcellRatio
    wvbarGateRatio = P['WVBARGATE'] / P['WVBARGATER']
    out['wvbarGateRatio'] = wvbarGateRatio
    wvbarDrainRatio = P['WVBARDRAIN'] / P['WVBARDRAINR']
    out['wvbarDrainRatio'] = wvbarDrainRatio

    # Thermal R and C.  The corner term only enters RTHCALC 0 but is always computed.
    KAPPA, LTH = P['KAPPA'], P['LTH']
    rthCorner = num(0)
    if raw['TSUBTH'] > 0.5 * raw['PCELL']:
        d = P['TSUBTH'] - (PCELL - LTH) * num(0.5)
        h = d / PCELL
        gw = LGF * KAPPA * (1 / (h - (2 * h / PI) * atan(2 * h) + ln(4 * h * h + 1) / TWO_PI) - 1 / h)
        gv = LGF * PCELL * KAPPA / d
        rthCorner = (NCELL - 1) * gw / ((gv + gw) * NCELL * (gw + gv * NCELL))
    out['rthCorner'] = rthCorner

    def rth_area(L, N, Pc):
        W = (N - 1) * Pc + LTH
        if W > L:
            r, m = L / W, W
        else:
            r, m = W / L, L
        asinh = lambda x: ln(x + sqrt(x * x + 1))
        return (((r ** 3 + 1 - (1 + r * r) * sqrt(1 + r * r)) / (3 * r * r)
                 + asinh(1 / r) + asinh(r) / r) / (TWO_PI * KAPPA * m))

    rthcalc = raw['RTHCALC']
    if rthcalc == 1:
        rthRef = rth_area(P['LGFR'], P['NCELLR'], P['PCELLR'])
        rthDevice = rth_area(LGF, NCELL, PCELL)
        cthDevice = rthRef * P['CTHWS'] / rthDevice
        out['rthRef'] = rthRef
    elif rthcalc == 2:
        rthDevice = P['RTH']
        cthDevice = P['CTH']
    else:
        rthDevice = P['RTHWS'] * (P['LGFR'] * P['NCELLR']) / (LGF * NCELL) + rthCorner * P['RTHCOR']
        cthDevice = P['RTHWS'] * P['CTHWS'] / rthDevice
    rthScaled = rthDevice / P['TSCALE']
    cthScaled = P['TSCALE'] * cthDevice
    out['rthDevice'] = rthDevice
    out['cthDevice'] = cthDevice
    out['rthScaled'] = rthScaled
    out['cthScaled'] = cthScaled

    # Source capacitance (an intrinsic parameter-only constant with an outer-network row).
    csourceScaled = ncellRatio * (2 * P['LPW'] * P['CSOURCE'] * LGF) / 3
    out['csourceScaled'] = csourceScaled
    out['rpwScaled'] = P['LPW'] * P['RPW'] / (2 * LGF * ncellRatio)

    # Pad capacitances and resistances.
    if raw['INCGATEBARCAP'] == 1.0:
        cgbFinger = P['CIGB1'] * ncellRatio * pcellRatio * wvbarGateRatio
        rgbFinger = P['RIGB1'] / (wvbarGateRatio * ncellRatio * pcellRatio)
    else:
        cgbFinger, rgbFinger = num(1e-18), num(239999.99999999997)
    if raw['INCDRAINBARCAP'] == 1.0:
        cdbFinger = P['CIDB1'] * ncellRatio * pcellRatio * wvbarDrainRatio
        rdbFinger = P['RIDB1'] / (wvbarDrainRatio * ncellRatio * pcellRatio)
    else:
        cdbFinger, rdbFinger = num(1e-18), num(239999.99999999997)
    cgbOuter = (P['CIGB3'] * (1 + ncellRatio) * lgfRatio + P['CIGB2'] * (1 + ncellRatio)
                + (P['CIGB42'] * pcellRatio + P['CIGB41']) * ncellRatio)
    rgbOuter = P['RIGB3'] / ((1 + ncellRatio) * lgfRatio)
    cdbOuter = P['CIDB2'] * ncellRatio + P['CIDB3'] * ncellRatio * lgfRatio
    rdbOuter = P['RIDB3'] / (ncellRatio * lgfRatio)
    cgdOuter = ((P['CIGD3'] * lgfRatio + P['CIGD4']) * ncellRatio / pcellRatio
                + (P['CIGD12'] * lgfRatio + P['CIGD2']) * ncellRatio)
    cgdInner = P['CIGD11'] * lgfRatio * ncellRatio
    cggsScaled = ncellRatio * lgfRatio * P['CIGGS']
    rshieldEff = P['RSHIELD'] / ((P['NGATECON'] - 1) * 8 * NCELL)
    out.update(cgbFinger=cgbFinger, rgbFinger=rgbFinger, cdbFinger=cdbFinger, rdbFinger=rdbFinger,
               cgbOuter=cgbOuter, rgbOuter=rgbOuter, cdbOuter=cdbOuter, rdbOuter=rdbOuter,
               cgdOuter=cgdOuter, cgdInner=cgdInner, cggsScaled=cggsScaled, rshieldEff=rshieldEff)

    # Inductances.
    TFING, TZ = P['TFING'], P['TZ']

    def lself(l, w):
        return MU * l * (ln(2 * l / (TFING + w)) + num(0.50048) + ((TFING + w) / 3) / l)

    def F(l, d):
        s = sqrt(1 + d * d / (l * l))
        return ln((l / d) * (1 + s)) - s + d / l

    z = 2 * TZ
    lgExt = P['LEXTG'] + LGF
    ldExt = P['LEXTD'] + LGF
    lGateTotal = lself(lgExt, P['WGATE']) * (NCELL - num(0.5))
    lDrainTotal = lself(ldExt, P['WDRAIN']) * NCELL
    gN = gF = dN = dF = gdN = gdF = num(0)
    i = num(1)
    while NCELL > i:
        d1 = i * PCELL
        d2 = sqrt(d1 * d1 + z * z)
        gN += F(lgExt, d1) * (NCELL - i)
        gF += F(lgExt, d2) * 2 * (NCELL - i)
        dN += F(ldExt, d1) * (NCELL - i)
        dF += F(ldExt, d2) * 2 * (NCELL - i)
        d3 = (i + num(0.5)) * PCELL
        d4 = sqrt(d3 * d3 + z * z)
        gdN += F(LGF, d3) * 2 * (NCELL - (i + num(0.5)))
        gdF += F(LGF, d4) * 2 * (NCELL - (i + num(0.5)))
        i = i + 1
    d1 = NCELL * PCELL
    d2 = sqrt(d1 * d1 + z * z)
    gN += F(lgExt, d1) * num(0.25)
    gF += F(lgExt, d2) * num(0.5)
    gF += F(lgExt, z) * (NCELL - num(0.5))
    dF += F(ldExt, z) * NCELL
    d3 = num(0.5) * PCELL
    d4 = sqrt(d3 * d3 + z * z)
    gdN += F(LGF, d3) * (2 * NCELL - 1)
    gdF += F(LGF, d4) * (2 * NCELL - 1)
    lGateTotal += (2 * gN - gF) * (lgExt * MU)
    lDrainTotal += (2 * dN - dF) * (ldExt * MU)
    mGateDrainTotal = (gdN - gdF) * (LGF * MU)
    lGateFinger = lGateTotal / (NCELL * NCELL)
    lDrainFinger = lDrainTotal / (NCELL * NCELL)
    mGdFinger = mGateDrainTotal / (NCELL * NCELL)
    out.update(lGateTotal=lGateTotal, lDrainTotal=lDrainTotal, mGateDrainTotal=mGateDrainTotal)

    def bar_correction(n, wbar):
        b1 = PCELL * NCELL / n
        L1 = lself(b1, wbar) - MU * b1 * F(b1, z)
        b2 = b1 * num(0.5) / n
        L2 = lself(b2, wbar) - MU * b2 * F(b2, z)
        return (L2 - num(0.25) * L1) / n

    if raw['INCGATEBARIND'] >= 1.0:
        corr = bar_correction(P['INCGATEBARIND'], P['WVBARGATE'])
        out['lGateBarCorr'] = corr
        lGateFinger += corr
    if raw['INCDRAINBARIND'] >= 1.0:
        corr = bar_correction(P['INCDRAINBARIND'], P['WVBARDRAIN'])
        out['lDrainBarCorr'] = corr
        lDrainFinger += corr
    out.update(lGateFinger=lGateFinger, lDrainFinger=lDrainFinger, mGdFinger=mGdFinger)

    # Substrate, source, metal, poly and eddy resistances.
    RSUB, TSUB = P['RSUB'], P['TSUB']
    a = ((PCELL * NCELL + LGF) / (NCELL * PCELL * LGF)) * TSUB
    G = 1 / (ln(4 * a * a + 1) / TWO_PI + a - (2 * a / PI) * atan(2 * a)) - 1 / a
    S = G * (NCELL * PCELL + LGF) + PCELL * LGF * NCELL / TSUB
    rsubSpread = RSUB / S
    b = (num(0.5) * PCELL - P['LEPI']) / (num(0.5) * PCELL)
    E = ((b * b + 1) / b * ln((1 + b) / (1 - b)) - 2 * ln(4 * b / (1 - b * b))) / TWO_PI
    rsubEpi = E * RSUB / (NCELL * LGF)
    rsubTotal = rsubEpi + rsubSpread
    rsourceScaled = P['LGFR'] * P['RSOURCE'] * P['NCELLR'] / (NCELL * LGF)
    rmetalGate = (NCELL - num(0.5)) * ((LGF + P['LEXTG']) * P['RMETAL'] / P['WGATE']) / (NCELL * NCELL)
    rmetalGate3 = rmetalGate * THIRD
    rmetalDrain = ((LGF + P['LEXTD']) / P['WDRAIN']) * P['RMETAL'] / NCELL
    rmetalDrain3 = rmetalDrain * THIRD
    ng1 = P['NGATECON'] - 1
    rpolyGate = ((num(0.5) * LGF * P['RPOLY']) / (12 * P['WGATEPOLY'] * ng1 * ng1) / NCELL
                 + num(1e-12) * P['RPOLYVER'] / (P['WGATEPOLY'] * LGF * NCELL))
    if raw['REDDYON'] == 1.0:
        s = 2 * TSUB / LGF
        reddy = (1 / s + s) * 3 * RSUB / (PCELL * NCELL)
    else:
        reddy = num(1e8)
    out.update(rsubSpread=rsubSpread, rsubEpi=rsubEpi, rsubTotal=rsubTotal,
               rsourceScaled=rsourceScaled, rmetalGate=rmetalGate, rmetalGate3=rmetalGate3,
               rmetalDrain=rmetalDrain, rmetalDrain3=rmetalDrain3, rpolyGate=rpolyGate,
               reddy=reddy)

    # Line sections: the gate and drain lines share the three section resistances.
    INDUCON, MUTUALON, REDDYON = P['INDUCON'], P['MUTUALON'], P['REDDYON']
    rLine = [P['DISTR%d' % k] * THIRD * reddy * REDDYON for k in (1, 2, 3)]
    lgLine = [P['DISTL%d' % k] * THIRD * lGateFinger * INDUCON for k in (1, 2, 3)]
    ldLine = [P['DISTL%d' % k] * THIRD * lDrainFinger * INDUCON for k in (1, 2, 3)]
    mgdLine = [P['DISTC%d' % k] * MSIXTH * mGdFinger * MUTUALON for k in (1, 2, 3)]
    for k in range(3):
        out['rgLine%d' % (k + 1)] = rLine[k]
    for k in range(3):
        out['rdLine%d' % (k + 1)] = rLine[k]
    for k in range(3):
        out['lgLine%d' % (k + 1)] = lgLine[k]
    for k in range(3):
        out['ldLine%d' % (k + 1)] = ldLine[k]
    for k in range(3):
        out['mgdLine%d' % (k + 1)] = mgdLine[k]

    # Device temperature (thermal rows only need rthT; tDevice is printed for reference).
    V = {n: num(sol['v'][n]) for n in TERMINALS + INTERNAL_NODES}
    I = {n: num(sol['i'][n]) for n in BRANCHES}

    def vd(p, m):
        return V[p] - V[m]

    def hypf(x, e):
        # (x + sqrt(x^2 + 4 e^2)) / 2 without cancellation for large negative x.
        w = 2 * e
        if abs(x) < w:
            u = x / w
            s = sqrt(u * u + 1)
            return e / (s + u) + x if x >= 0 else e / (s - u)
        u = w / abs(x)
        v = e * u / (1 + sqrt(u * u + 1))
        return v + x if x >= 0 else v

    def hypf_slope(x, e=num(0.1)):
        # d hypf / dx = (1 + x / r) / 2, r = sqrt(x^2 + 4 e^2); no cancellation for x < 0.
        r = sqrt(x * x + 4 * e * e)
        return (1 + x / r) / 2 if x >= 0 else 2 * e * e / ((r - x) * r)

    def hypf_coslope(x, e=num(0.1)):
        # 1 - d hypf / dx, the mirror of hypf_slope.
        r = sqrt(x * x + 4 * e * e)
        return (1 - x / r) / 2 if x < 0 else 2 * e * e / ((r + x) * r)

    vTintText = vd('TINT', 'TEXT')
    riseIn = (V['TEXT'] + vTintText) * P['TSCALE']
    riseSmooth = hypf(riseIn, num(0.1))
    tempRise = riseSmooth - hypf(riseSmooth - 1500, num(0.1))
    tAmb = num(tsim)
    tRef = P['TR'] + num(273.15)
    tDevice = P['DTA'] + tAmb + tempRise
    lnTRatioRth = ln((P['DTA'] + tAmb + P['EXRTH'] * tempRise) / tRef)
    rthT = rthScaled * exp(P['ATH'] * lnTRatioRth)
    # Slope of rthT with respect to either thermal probe, V(TINT,TEXT) or V(TEXT):
    # both enter through riseIn with the factor TSCALE.
    dRise = hypf_slope(riseIn) * hypf_coslope(riseSmooth - 1500)
    drthT = (rthT * P['ATH'] * P['EXRTH'] / (P['DTA'] + tAmb + P['EXRTH'] * tempRise)
             * dRise * P['TSCALE'])
    cthT = cthScaled
    rTextGnd = num(1e12) if raw['RTHSW'] != 0 else num(1e-9)
    out.update(tempRise=tempRise, tDevice=tDevice, rthT=rthT, cthT=cthT, rTextGnd=rTextGnd)

    vds = TYPE * vd('CORE_ID', 'S')
    channelDirection = 1 if vds >= 0 else -1
    vdsAbs = vds * channelDirection
    out['vdsAbs'] = vdsAbs

    rhs = [num(0)] * N_RHS
    rhsq = [num(0)] * N_RHSQ

    # Outer network: capacitors load their charge, resistors V/R.
    rhsq[6] += csourceScaled * TYPE * vd('S', 'CORE_B2')
    rhs[17] += vd('S', 'BI2') / rsourceScaled
    rhs[18] += vd('BI2', 'B') / rsubTotal
    rhsq[7] += cgbOuter * vd('GPOLY', 'GIFIN')
    rhs[20] += vd('GIFIN', 'S') / rgbOuter
    rhsq[8] += cdbOuter * vd('DI2', 'DIFIN')
    rhs[22] += vd('DIFIN', 'S') / rdbOuter
    rhsq[9] += cgdOuter * vd('GPOLY', 'DI2')
    rhsq[10] += cgdInner * vd('GI2', 'DI2')
    rhsq[11] += cggsScaled * vd('GI2', 'SH')
    rhs[26] += vd('SH', 'S') / rshieldEff
    rhs[27] += vd('GPOLY', 'GI2') / rpolyGate
    rhsq[12] += cgbFinger * vd('G', 'GIBAR')
    rhs[29] += vd('GIBAR', 'B') / rgbFinger
    rhs[30] += vd('GFIN1', 'GPOLY') / rmetalGate3
    # Line sections k = 1..3 (index k-1): branch row 1e-15 * I, flux L * I + M * I(partner),
    # and the eddy resistor from each section node back to the inner end (GFIN1/DFIN1).
    g = [I['br_ind_g1_i'], I['br_ind_g2_i'], I['br_ind_g3_i']]
    dd = [I['br_ind_d1_i'], I['br_ind_d2_i'], I['br_ind_d3_i']]

    def feed_line(own, partner, lsec, branch_rows, flux_rows, eddy_rows, nodes):
        for k in range(3):
            rhs[branch_rows[k]] += num(1e-15) * own[k]
            rhsq[flux_rows[k]] += lsec[k] * own[k] + mgdLine[k] * partner[k]
            rhs[eddy_rows[k]] += vd(nodes[k + 1], nodes[0]) / rLine[k]

    feed_line(g, dd, lgLine, (33, 32, 31), (15, 14, 13), (36, 35, 34),
              ('GFIN1', 'GFIN2', 'GFIN3', 'G'))
    feed_line(dd, g, ldLine, (42, 41, 40), (19, 18, 17), (45, 44, 43),
              ('DFIN1', 'DFIN2', 'DFIN3', 'D'))
    rhsq[16] += cdbFinger * vd('D', 'DIBAR')
    rhs[38] += vd('DIBAR', 'B') / rdbFinger
    rhs[39] += vd('DFIN1', 'DI2') / rmetalDrain3

    # Thermal rows; RHS 47 (power) stays 0 with the intrinsic device silent.
    rhs[46] += vTintText / rthT
    rhsq[20] += cthT * vTintText
    rhs[48] += V['TEXT'] / rTextGnd

    # VIDS monitor branch: V(VIDS) = vdsAbs.  IIDS rows are intrinsic and stay 0.
    rhs[49] += vdsAbs
    rhs[49] -= V['VIDS']
    rhs[51] += I['_ub_VIDS_GND_i']

    # Inductor KCL and branch voltages: d1, d2, d3, g1, g2, g3.
    for br, kcl, brow, (p, m) in (('br_ind_d1_i', 45, 42, ('DFIN2', 'DFIN1')),
                                  ('br_ind_d2_i', 52, 41, ('DFIN3', 'DFIN2')),
                                  ('br_ind_d3_i', 53, 40, ('D', 'DFIN3')),
                                  ('br_ind_g1_i', 36, 33, ('GFIN2', 'GFIN1')),
                                  ('br_ind_g2_i', 54, 32, ('GFIN3', 'GFIN2')),
                                  ('br_ind_g3_i', 55, 31, ('G', 'GFIN3'))):
        rhs[kcl] += I[br]
        rhs[brow] -= vd(p, m)

    # Joule heat of the sixteen outer resistors (reported, not loaded).
    resistors = ((('BI2', 'B'), rsubTotal), (('S', 'BI2'), rsourceScaled),
                 (('GIFIN', 'S'), rgbOuter), (('DIFIN', 'S'), rdbOuter),
                 (('SH', 'S'), rshieldEff), (('GPOLY', 'GI2'), rpolyGate),
                 (('GIBAR', 'B'), rgbFinger), (('GFIN1', 'GPOLY'), rmetalGate3),
                 (('G', 'GFIN1'), rLine[2]), (('GFIN3', 'GFIN1'), rLine[1]),
                 (('GFIN2', 'GFIN1'), rLine[0]), (('DIBAR', 'B'), rdbFinger),
                 (('DFIN1', 'DI2'), rmetalDrain3), (('D', 'DFIN1'), rLine[2]),
                 (('DFIN3', 'DFIN1'), rLine[1]), (('DFIN2', 'DFIN1'), rLine[0]))
    power = num(0)
    for (p, m), R in resistors:
        power += vd(p, m) ** 2 / R
    out['powerNetworkResistors'] = power

    # Derivative quartets.  Every outer element is linear, so its entries are
    # the element values; the intrinsic and power columns stay 0.
    deriv = [num(0)] * N_DERIV
    derivq = [num(0)] * N_DERIVQ
    for q, R in ((50, rsourceScaled), (51, rsubTotal), (52, rgbOuter), (53, rdbOuter),
                 (54, rshieldEff), (55, rpolyGate), (56, rgbFinger), (57, rmetalGate3),
                 (61, rLine[2]), (62, rLine[1]), (63, rLine[0]), (64, rdbFinger),
                 (65, rmetalDrain3), (69, rLine[2]), (70, rLine[1]), (71, rLine[0]),
                 (108, rTextGnd)):
        deriv[q] += 1 / R
    for q in (58, 59, 60, 66, 67, 68):
        deriv[q] += num(1e-15)
    deriv[72] += (rthT - vTintText * drthT) / (rthT * rthT)
    deriv[73] += -vTintText * drthT / (rthT * rthT)
    deriv[109] += TYPE * channelDirection
    deriv[115] += 1
    deriv[116] -= 1
    for q in range(117, 129, 2):
        deriv[q] += 1          # KCL row of an inductor, column its current
        deriv[q + 1] -= 1      # branch row, column the branch voltage
    for q, C in ((33, TYPE * csourceScaled), (34, cgbOuter), (35, cdbOuter), (36, cgdOuter),
                 (37, cgdInner), (38, cggsScaled), (39, cgbFinger),
                 (40, lgLine[2]), (41, mgdLine[2]), (42, lgLine[1]), (43, mgdLine[1]),
                 (44, lgLine[0]), (45, mgdLine[0]), (46, cdbFinger),
                 (47, ldLine[2]), (48, mgdLine[2]), (49, ldLine[1]), (50, mgdLine[1]),
                 (51, ldLine[0]), (52, mgdLine[0]), (53, cthT)):
        derivq[q] += C
    out['drthTdProbe'] = drthT

    return rhs, rhsq, deriv, derivq, out


def solution(seed, **fixed):
    """Deterministic, well-spread node potentials and branch currents."""
    import random
    rnd = random.Random(seed)
    v = {n: round(rnd.uniform(-2.0, 2.0), 4) for n in TERMINALS + INTERNAL_NODES}
    v['TEXT'] = round(rnd.uniform(-0.5, 0.5), 4)
    v['TINT'] = round(v['TEXT'] + rnd.uniform(0.5, 40.0), 4)
    cur = {n: round(rnd.uniform(-2.0, 2.0), 5) for n in BRANCHES}
    for k, x in fixed.items():
        (cur if k in BRANCHES else v)[k] = x
    return {'v': v, 'i': cur}


ALL_ON = {'INDUCON': 1.0, 'MUTUALON': 1.0, 'INCGATEBARIND': 2.0, 'INCDRAINBARIND': 3.0,
          'INCGATEBARCAP': 1.0, 'INCDRAINBARCAP': 1.0}

# (name, non-default parameters, host temperature, solution)
CASES = [
    ('defaults_n1', {}, 300.15, solution(1)),
    ('n1_all_on', dict(ALL_ON), 300.15, solution(2)),
    ('n2_all_on', dict(ALL_ON, NCELL=2.0), 310.0, solution(3)),
    ('n2p5_all_on', dict(ALL_ON, NCELL=2.5), 280.0, solution(4)),
    ('n4_all_on', dict(ALL_ON, NCELL=4.0), 350.0, solution(5)),
    ('n4_switches_off', {'NCELL': 4.0, 'REDDYON': 0.5}, 300.15, solution(6)),
    # Just below and at the switch thresholds of the bar inductances and capacitances.
    ('n2p5_thresholds', {'NCELL': 2.5, 'INDUCON': 1.0, 'MUTUALON': 1.0,
                         'INCGATEBARIND': 0.99, 'INCDRAINBARIND': 1.0,
                         'INCGATEBARCAP': 0.5, 'INCDRAINBARCAP': 1.0}, 300.15, solution(7)),
    ('n4_signed_switches', {'NCELL': 4.0, 'INDUCON': -1.0, 'MUTUALON': -2.5, 'REDDYON': 2.0,
                            'INCGATEBARIND': 1.0, 'INCDRAINBARIND': 0.0,
                            'INCGATEBARCAP': 0.0, 'INCDRAINBARCAP': 1.0}, 320.0, solution(8)),
    ('n3_scaled_geometry', dict(ALL_ON, NCELL=3.0, NCELLR=2.0, LGF=2e-4, LGFR=1.5e-4,
                                PCELL=3e-5, PCELLR=4e-5, WVBARGATE=2e-5, WVBARDRAIN=1.2e-5,
                                LEXTG=2e-5, LEXTD=3e-5, WGATE=8e-6, WDRAIN=1.2e-5, TZ=2e-5,
                                TFING=2e-6, NGATECON=20.0, DISTL1=0.2, DISTL2=0.3, DISTL3=0.5,
                                DISTC1=0.5, DISTC2=0.3, DISTC3=0.2, DISTR1=0.3, DISTR2=1.0,
                                DISTR3=2.0, CIGB2=2e-15, CIGB42=3e-15, CIDB3=4e-15,
                                CIGD3=5e-15, RIGB3=2e-3, RIDB3=3e-3, RSUB=2e-5, TSUB=2e-4,
                                LEPI=5e-6, CSOURCE=3e-10),
     305.0, solution(9)),
    # Thermal network modes; the corner correction enters RTHCALC 0 through RTHCOR.
    ('rthcalc0_corner', {'NCELL': 3.0, 'TSUBTH': 1e-4, 'RTHCOR': 2.0, 'NCELLR': 2.0,
                         'LGF': 1.2e-4, 'ATH': 1.3, 'EXRTH': 0.5, 'DTA': 4.0, 'TR': 25.0},
     330.0, solution(10)),
    ('rthcalc1_area', {'RTHCALC': 1, 'NCELL': 4.0, 'LGF': 1e-4, 'NCELLR': 1.0,
                       'CTHWS': 3e-9, 'TSCALE': 10.0, 'ATH': 0.8, 'EXRTH': 1.0},
     300.15, solution(11)),
    ('rthcalc1_equal_sides', {'RTHCALC': 1, 'NCELL': 3.25, 'LGF': 1e-4, 'PCELL': 4e-5,
                              'LTH': 1e-5, 'NCELLR': 2.0, 'LGFR': 5e-5},
     290.0, solution(12)),
    ('rthcalc2_given', {'RTHCALC': 2, 'RTH': 12.5, 'CTH': 2e-6, 'TSCALE': 4.0, 'RTHSW': 1,
                        'ATH': 1.0, 'EXRTH': 0.25, 'NCELL': 2.0},
     340.0, solution(13)),
    # Rise above the 1500 K ceiling, and a negative rise.
    ('thermal_ceiling', {'RTHSW': 1, 'ATH': 1.5, 'EXRTH': 1.0, 'NCELL': 2.0},
     300.15, solution(14, TINT=2600.0, TEXT=0.5)),
    ('thermal_negative_rise', {'ATH': 2.0, 'EXRTH': 1.0, 'DTA': -10.0},
     250.0, solution(15, TINT=-3.0, TEXT=0.25)),
    # Polarity, channel direction and multiplicity: VIDS follows |TYPE*V(CORE_ID,S)|.
    ('type_n_reversed_mfactor2', dict(ALL_ON, NCELL=2.0, TYPE=-1, **{'$mfactor': 2.0}),
     300.15, solution(16, CORE_ID=0.5, S=-0.75)),
    ('type_p_reversed', {'NCELL': 2.0, 'INDUCON': 1.0}, 300.15,
     solution(17, CORE_ID=0.25, S=1.5)),
    ('type_zero', {'TYPE': 0, 'NCELL': 2.5}, 300.15, solution(18)),
    ('zero_solution', dict(ALL_ON, NCELL=2.0),
     300.15, {'v': {n: 0.0 for n in TERMINALS + INTERNAL_NODES},
              'i': {n: 0.0 for n in BRANCHES}}),
]


def fmt(x):
    return repr(float(x))


def render(name, params, tsim, sol):
    rhs, rhsq, deriv, derivq, out = evaluate(params, tsim, sol, WideMath)
    mf = float(params.get('$mfactor', DEFAULTS['$mfactor']))
    lines = ['case ' + name]
    for k, v in params.items():
        lines.append('param %s %s' % (k, int(v) if k in INT_PARAMS else repr(float(v))))
    lines.append('tsim ' + repr(float(tsim)))
    for n in TERMINALS + INTERNAL_NODES:
        lines.append('v %s %s' % (n, repr(float(sol['v'][n]))))
    for n in BRANCHES:
        lines.append('i %s %s' % (n, repr(float(sol['i'][n]))))
    for kind, values in (('rhs', rhs), ('rhsq', rhsq), ('deriv', deriv), ('derivq', derivq)):
        for k, x in enumerate(values):
            lines.append('%s %d %s' % (kind, k, fmt(x * mf)))
    for k, x in out.items():
        lines.append('out %s %s' % (k, fmt(x)))
    lines.append('end')
    return lines


def worst_gap(wide, dbl):
    worst, where = 0.0, ''
    for label, a, b in zip(('rhs', 'rhsq', 'deriv', 'derivq'), wide[:4], dbl[:4]):
        for k, (x, y) in enumerate(zip(a, b)):
            x = float(x)
            r = abs(y - x) / abs(x) if x != 0.0 else (math.inf if y != 0.0 else 0.0)
            if r > worst:
                worst, where = r, '%s %d' % (label, k)
    for k in wide[4]:
        x, y = float(wide[4][k]), dbl[4][k]
        if x != 0.0 and abs(y - x) / abs(x) > worst:
            worst, where = abs(y - x) / abs(x), 'out ' + k
    return worst, where


def jacobian_gap(params, tsim, sol):
    """Worst mismatch between central differences of every row with respect to
    every node potential and branch current and the sum of its quartets."""
    base = evaluate(params, tsim, sol, WideMath)
    h = mpmath.mpf('1e-18')
    unknowns = [('v', n) for n in TERMINALS + INTERNAL_NODES] + [('i', n) for n in BRANCHES]
    worst, where = mpmath.mpf(0), ''
    kink = sol['v']['CORE_ID'] == sol['v']['S']
    for kind, name in unknowns:
        shifted = []
        for sign in (1, -1):
            s2 = {'v': dict(sol['v']), 'i': dict(sol['i'])}
            s2[kind][name] = mpmath.mpf(sol[kind][name]) + sign * h
            shifted.append(evaluate(params, tsim, s2, WideMath))
        for arr, (values, table) in enumerate(((base[2], QUARTETS), (base[3], QUARTETS_Q))):
            nrows = N_RHS if arr == 0 else N_RHSQ
            predicted = [mpmath.mpf(0)] * nrows
            for q, (row, cp, cm) in table.items():
                predicted[row] += values[q] * ((cp == name) - (cm == name))
            for row in range(nrows):
                fd = (shifted[0][arr][row] - shifted[1][arr][row]) / (2 * h)
                if kink and name in ('CORE_ID', 'S'):
                    # |vds| at vds = 0 takes the slope of the vds >= 0 side.
                    side = 0 if name == 'CORE_ID' else 1
                    fd = (shifted[side][arr][row] - base[arr][row]) / (h if side == 0 else -h)
                scale = max(abs(predicted[row]), abs(fd), mpmath.mpf('1e-300'))
                gap = abs(fd - predicted[row]) / scale
                if gap > worst:
                    worst, where = gap, '%s %d / %s' % (('rhs', 'rhsq')[arr], row, name)
    # Quartets outside the tables must be 0.
    for q, x in enumerate(base[2]):
        if q not in QUARTETS and x != 0:
            return mpmath.inf, 'deriv %d not in table' % q
    for q, x in enumerate(base[3]):
        if q not in QUARTETS_Q and x != 0:
            return mpmath.inf, 'derivq %d not in table' % q
    return worst, where


def compare():
    """Per case: the worst relative gap between the double and the 50-digit
    evaluation, and between the quartets and central differences of the rows."""
    for name, params, tsim, sol in CASES:
        worst, where = worst_gap(evaluate(params, tsim, sol, WideMath),
                                 evaluate(params, tsim, sol, DoubleMath))
        jgap, jwhere = jacobian_gap(params, tsim, sol)
        sys.stderr.write('%-28s double %.3g (%s)  jacobian %.3g (%s)\n'
                         % (name, worst, where, float(jgap), jwhere))


def main():
    for name, params, _, _ in CASES:
        unknown = set(params) - set(DEFAULTS)
        if unknown:
            raise SystemExit('%s: unknown parameters %s' % (name, sorted(unknown)))
    if '--compare' in sys.argv[1:]:
        compare()
        return
    for case in CASES:
        print('\n'.join(render(*case)))


if __name__ == '__main__':
    main()
