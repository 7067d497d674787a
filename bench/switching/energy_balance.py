#!/usr/bin/python3
"""Energy balance and averaged output of a buck or boost run of this directory.

Usage: vxrsim -o RUN ... sync_buck_LIB_T.cir; ./energy_balance.py RUN.tran.csv
(the circuit is told by the file's name: sync_buck_* or boost_*). Integrates
the printed points with the trapezoidal rule: what the sources deliver against
what the load, gate resistors, devices (at their terminals) and diodes
dissipate plus the change of energy in the inductor and output capacitor.
The bucks' diode currents follow from Kirchhoff's current law at vin and sw.
"""
import os
import sys

import numpy as np

T = 10e-6  # switching period


def main(path):
    a = np.genfromtxt(path, delimiter=",", names=True)
    t = a["time"]
    buck = os.path.basename(path).startswith("sync_buck")
    p_type = "_p." in os.path.basename(path)
    L, C, R, RG = (10e-6, 100e-6, 1.2, 5.0) if buck else (10e-6, 100e-6, 24.0, 5.0)

    def integral(y, t0, t1):
        m = (t >= t0 - 1e-15) & (t <= t1 + 1e-15)
        return np.trapz(y[m], t[m])

    def at(y, tt):
        return np.interp(tt, t, y)

    sw, out, iL = a["vsw"], a["vout"], a["iL1"]
    if buck:
        vin = a["vvin"]
        ghd, gh, gld, gl = a["vghd"], a["vgh"], a["vgld"], a["vgl"]
        i_ndh = a["iVIN"] + a["iVDH"]  # into vin through the high-side diode
        i_ndl = iL + a["iVDL"] + i_ndh - a["iVDH"]  # into sw through the low-side diode
        delivered = -vin * a["iVIN"] - (ghd - sw) * a["iVGH"] - gld * a["iVGL"]
        losses = (((ghd - gh) ** 2 + (gld - gl) ** 2) / RG
                  + (vin - sw) * a["iVDH"] + (gh - sw) * (ghd - gh) / RG
                  + sw * a["iVDL"] + gl * (gld - gl) / RG
                  - sw * i_ndl + (sw - vin) * i_ndh)
    else:
        gd, g = a["vgd"], a["vg"]
        delivered = -a["vvin"] * a["iVIN"] - gd * a["iVG"]
        losses = (gd - g) ** 2 / RG + sw * a["iVDS"] + g * (gd - g) / RG + (sw - out) * (iL - a["iVDS"])
    load = out ** 2 / R

    def balance(t0, t1):
        d, ld, ls = integral(delivered, t0, t1), integral(load, t0, t1), integral(losses, t0, t1)
        st = 0.5 * L * (at(iL, t1) ** 2 - at(iL, t0) ** 2) + 0.5 * C * (at(out, t1) ** 2 - at(out, t0) ** 2)
        r = d - ld - ls - st
        print(f"{t0 * 1e6:g}-{t1 * 1e6:g} us: delivered {d:.4g} J, load {ld:.4g}, losses {ls:.4g}, stored {st:.4g}, "
              f"residual {r:.3g} ({r / d:.2e} of delivered, {r / ls:.2e} of losses)")

    end = t[-1]
    balance(0.0, end)
    balance(end - T, end)
    if buck:
        s = -1.0 if p_type else 1.0
        t0 = end - T
        high = (s * sw > 24).astype(float)
        duty = integral(high, t0, end) / T
        drop_high = integral(high * s * (vin - sw), t0, end) / T / duty
        drop_low = integral((1 - high) * -s * sw, t0, end) / T / (1 - duty)
        averaged = 48 * duty - duty * drop_high - (1 - duty) * drop_low
        output = s * integral(out, t0, end) / T
        print(f"last period: duty {duty:.4f}, drops {drop_high:.3f} V and {drop_low:.3f} V, averaged {averaged:.4f} V, "
              f"output {output:.4f} V ({100 * (output - averaged) / averaged:+.2f} %)")


if __name__ == "__main__":
    main(sys.argv[1])
