#!/usr/bin/python3
"""Writes the switching circuits for every transistor library and type.

The TORVEX_CORE n-type buck, half-bridge and double pulse and the TORVEX_EN
n-type boost are kept as they are; the other variants are the same circuits
with the library's own terminals and, for p-type, every source, gate drive
and diode reversed. Run from this directory: ./make_variants.py
"""
import os

LIBS = {"TORVEX_CORE": "torvex_core", "TORVEX_EN": "torvex_en", "TORVEX": "torvex"}
KEEP = {"sync_buck_torvex_core_n", "half_bridge_torvex_core_n", "double_pulse_part06_torvex_core_n",
        "boost_torvex_en_n"}


def num(v):
    return ("%g" % v).replace("e-0", "e-")


def device(lib, name, d, g, s, params):
    """Instance line of a transistor: own thermal node t_NAME, ambient on ground,
    TORVEX_CORE's body on its source, TORVEX_EN's current monitor through 0 V."""
    if lib == "TORVEX_EN":
        return (f"{name} {d} {g} {s} t_{name} 0 v_{name} i_{name} TORVEX_EN {params}\n"
                f"VI_{name} i_{name} 0 DC 0\n")
    if lib == "TORVEX":
        return f"{name} {d} {g} {s} t_{name} 0 TORVEX {params}\n"
    return f"{name} {d} {g} {s} {s} t_{name} 0 TORVEX_CORE {params}\n"


def diode(name, a, k, sg):
    """A fixture diode conducting from a to k for n-type circuits, reversed for p-type."""
    return f"{name} {a} {k} fixdiode\n" if sg > 0 else f"{name} {k} {a} fixdiode\n"


def params(sg, ncell, extra=""):
    p = ("" if sg > 0 else "TYPE=-1 ") + f"NCELL={ncell}"
    return p + (" " + extra if extra else "")


def leg(lib, sg, ncell, supply, pulse, rg):
    """The high side from the supply to sw with its gate drive floating on sw,
    and the low side from sw to ground, each drain through a 0 V ammeter."""
    return (f"VDH {supply} dh DC 0\n"
            + device(lib, "NH", "dh", "gh", "sw", params(sg, ncell))
            + f"VGH ghd sw PULSE(0 {num(10 * sg)} {pulse})\nRGH ghd gh {rg}\n"
            "VDL sw dl DC 0\n"
            + device(lib, "NL", "dl", "gl", "0", params(sg, ncell)))


def sync_buck(lib, sg):
    t = "n-type" if sg > 0 else "p-type"
    return (f"* synchronous buck {num(48 * sg)} V -> {num(12 * sg)} V, {lib} {t} NCELL=100000, 100 kHz, D=0.25\n"
            f".lib {lib}.so\n.lib fixdiode_160.so\n"
            f"VIN vin 0 DC {num(48 * sg)}\n"
            + leg(lib, sg, 100000, "vin", "100n 20n 20n 2.48u 10u", 5)
            + f"VGL gld 0 PULSE(0 {num(10 * sg)} 2.72u 20n 20n 7.26u 10u)\nRGL gld gl 5\n"
            + diode("NDL", "0", "sw", sg) + diode("NDH", "sw", "vin", sg)
            + "L1 sw out 10u\nC1 out 0 100u\nRL out 0 1.2\n"
            ".tran 1e-08 0.0005\n"
            ".print tran v(vin) v(sw) v(out) v(gh) v(gl) v(ghd) v(gld) i(VIN) i(VDH) i(VDL) i(VGH) i(VGL) i(L1)\n"
            ".end\n")


def half_bridge(lib, sg):
    t = "n" if sg > 0 else "p"
    return (f"* half-bridge double pulse {lib} {t} NCELL=10000: HS switched, LS gate at 0 V freewheels, "
            "L=100u across LS\n"
            f".lib {lib}.so\n"
            f"VDD vdd 0 DC {num(100 * sg)}\n"
            + leg(lib, sg, 10000, "vdd", "1u 20n 20n 5u 8u", 10)
            + "RGL gl 0 10\nL1 sw 0 100u\n.tran 2n 16u\n"
            ".print tran v(sw) v(gh) v(gl) i(VDD) i(VDH) i(VDL) i(L1) i(VGH)\n.end\n")


def boost(lib, sg):
    t = "n" if sg > 0 else "p"
    return (f"* boost {num(12 * sg)} V -> {num(48 * sg)} V, {lib} {t} NCELL=100000, fixture diode, 100 kHz D=0.75, "
            "L=10u C=100u R=24.0\n"
            f".lib {lib}.so\n.lib fixdiode_160.so\n"
            f"VIN vin 0 DC {num(12 * sg)}\nL1 vin sw 10u\nVDS sw d DC 0\n"
            + device(lib, "NS", "d", "g", "0", params(sg, 100000))
            + f"VG gd 0 PULSE(0 {num(10 * sg)} 100n 20n 20n 7.48u 10u)\nRG gd g 5\n"
            + diode("ND", "sw", "out", sg)
            + "C1 out 0 100u\nRL out 0 24.0\n.tran 10n 0.0005\n"
            ".print tran v(vin) v(sw) v(out) v(g) v(gd) i(VIN) i(VDS) i(L1) i(VG)\n.end\n")


def double_pulse(lib, sg):
    t = "n" if sg > 0 else "p"
    return (f"* {lib} {t} double pulse with PART=0.6 (default parameters otherwise, NCELL=1e4)\n"
            f".lib {lib}.so\n.lib fixdiode_160.so\n"
            f"VDD vdd 0 DC {num(100 * sg)}\nL1 vdd d 100u\n"
            + diode("ND", "d", "vdd", sg)
            + f"VG gs 0 PULSE(0 {num(10 * sg)} 1u 20n 20n 5u 10u)\nRG gs g 10\n"
            + device(lib, "N1", "d", "g", "0", params(sg, "1e4", "PART=0.6"))
            + ".tran 10n 20u\n.print tran v(d) v(g) v(gs) v(t_N1) i(VDD) i(L1) i(VG)\n.end\n")


CIRCUITS = {"sync_buck": sync_buck, "half_bridge": half_bridge, "boost": boost, "double_pulse_part06": double_pulse}

if __name__ == "__main__":
    for kind, make in CIRCUITS.items():
        for lib, stem in LIBS.items():
            for sg, t in ((1, "n"), (-1, "p")):
                name = f"{kind}_{stem}_{t}"
                if name in KEEP:
                    continue
                with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), name + ".cir"), "w") as f:
                    f.write(make(lib, sg))
