// Switching transients of the three transistor libraries, n- and p-type: the
// double-pulse test and the gate charge of the characterization suite, judged
// by the physics any correct run shows. Every accepted time point is used.
#include "vxrhost/Analysis.h"
#include "vxrhost/Netlist.h"
#include "transistor_netlist.h"

#include "VXR_Interface.h"

#include <Eigen/Eigenvalues>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

using namespace vxr;

namespace {

// The accepted points of a netlist's transient, one row per point: time and
// the values of its .print items.
struct Waveforms {
    std::vector<std::vector<double>> rows;
    std::vector<std::string> labels;
    int col(const std::string& label) const {
        for (size_t k = 0; k < labels.size(); ++k)
            if (labels[k] == label) return static_cast<int>(k) + 1;
        ADD_FAILURE() << "no column " << label;
        return 0;
    }
};

Waveforms runTransient(const std::string& text) {
    setenv("VXR_LIBRARY_PATH", VXR_TORVEX_PATH, 1);
    auto nl = Netlist::parse(text, VXR_SUITE_DIR);
    nl->circuit().host().echoMessages = false;
    const AnalysisCmd* tran = nullptr;
    for (auto& a : nl->analyses())
        if (a.kind == AnalysisCmd::TRAN) tran = &a;
    if (!tran) throw SimError("no .tran");
    const auto probes = nl->probesFor(AnalysisCmd::TRAN);
    Waveforms r;
    for (auto& p : probes) r.labels.push_back(p.label);
    Simulator sim(nl->circuit());
    sim.onAccept = [&](double t, const Eigen::VectorXd& x) {
        std::vector<double> row{t};
        for (auto& p : probes) row.push_back(p.value(x));
        r.rows.push_back(row);
    };
    sim.tran(tran->tran, probes);
    return r;
}

// The trapezoidal integral of f(row) over the rows with t0 <= t <= t1.
template <class F> double integral(const Waveforms& r, F f, double t0 = 0, double t1 = HUGE_VAL) {
    double s = 0;
    for (size_t k = 1; k < r.rows.size(); ++k) {
        const auto &a = r.rows[k - 1], &b = r.rows[k];
        if (a[0] >= t0 && b[0] <= t1) s += 0.5 * (f(a) + f(b)) * (b[0] - a[0]);
    }
    return s;
}

// The row at the first accepted time at or after t.
const std::vector<double>& at(const Waveforms& r, double t) {
    for (auto& row : r.rows)
        if (row[0] >= t) return row;
    return r.rows.back();
}

// A library's device N1 with its drain at d and gate, source and bulk at
// ground, driven from source VR through 10 ohm; TORVEX_EN's current monitor
// goes to ground through an ammeter.
std::string drainDriven(const std::string& lib, const std::string& drive, const std::string& params) {
    const std::string inst = lib == "TORVEX_CORE" ? "N1 d 0 0 0 t 0 TORVEX_CORE"
                             : lib == "TORVEX_EN" ? "N1 d 0 0 t 0 v_N1 i_N1 TORVEX_EN"
                                                  : "N1 d 0 0 t 0 TORVEX";
    std::string text = ".lib " + lib + ".so\nVR r 0 " + drive + "\nRR r d 10\n" + inst + " " + params + "\n";
    if (lib == "TORVEX_EN") text += "VI_N1 i_N1 0 DC 0\n";
    return text;
}

// The suite netlists of one case for the three libraries, n- and p-type.
std::vector<std::string> suiteCases(const std::string& kind) {
    std::vector<std::string> names;
    for (const char* lib : {"torvex_core", "torvex_en", "torvex"})
        for (const char* type : {"_n_", "_p_"}) names.push_back(lib + std::string(type) + kind);
    return names;
}

class DoublePulse : public ::testing::TestWithParam<std::string> {};

// 100 V, 100 uH, gate pulses 1-6 us and 11-16 us: the inductor current rises
// at V/L while the device conducts, the drain clamps at the supply plus the
// diode's drop while the diode freewheels, and the energy the supply and the
// gate driver deliver is what the inductor stores plus what the device, the
// diode and the gate resistor dissipate. The device's dissipated power is its
// own: a thermal network of 1e-3 K/W and 1 nF/K turns it into TINT.
TEST_P(DoublePulse, FollowsTheCircuitsPhysics) {
    // A case names a suite netlist, optionally followed by instance parameters.
    const std::string& param = GetParam();
    const auto space = param.find(' ');
    const std::string extra = space == std::string::npos ? "" : param.substr(space);
    std::string text = readNetlistFile(std::string(VXR_SUITE_DIR) + "/" + param.substr(0, space) + ".cir");
    const std::string key = "NCELL=1e4";
    ASSERT_NE(text.find(key), std::string::npos);
    const double rth = 1e-3, cth = 1e-9;
    text.replace(text.rfind(key), key.size(), key + " RTHCALC=2 RTH=1e-3 CTH=1e-9" + extra); // the instance line
    Waveforms r;
    ASSERT_NO_THROW(r = runTransient(text));
    const double s = GetParam().find("_p_") != std::string::npos ? -1.0 : 1.0;
    const double vdd = 100 * s, L = 100e-6;
    const int d = r.col("v(d)"), g = r.col("v(g)"), gs = r.col("v(gs)"), t = r.col("v(t)"), ivdd = r.col("i(VDD)"),
              il = r.col("i(L1)"), ivg = r.col("i(VG)");

    // The gate follows its drive through 10 ohm: no internal mode of the
    // device's charges may grow and carry it away.
    for (auto& row : r.rows) {
        ASSERT_GT(s * row[g], -1.0) << "t = " << row[0];
        ASSERT_LT(s * row[g], 11.0) << "t = " << row[0];
    }
    // Conduction: di/dt = (VDD - v(d)) / L over 2..5 us and 12..15 us.
    for (double t0 : {2e-6, 12e-6}) {
        const auto &a = at(r, t0), &b = at(r, t0 + 3e-6);
        const double slope = (b[il] - a[il]) / (b[0] - a[0]);
        const double want = (vdd - 0.5 * (a[d] + b[d])) / L;
        EXPECT_NEAR(slope, want, 0.01 * std::abs(want)) << "at " << t0;
        EXPECT_LT(std::abs(a[d]), 2.0) << "device on at " << t0;
    }
    // The currents at the ends of the pulses: about 5 A and 10 A.
    EXPECT_NEAR(std::abs(at(r, 6e-6)[il]), 5.0, 0.25);
    EXPECT_NEAR(std::abs(at(r, 16e-6)[il]), 10.0, 0.5);
    // Freewheeling: the drain one diode drop beyond the supply, the current held.
    for (double t0 : {8e-6, 10e-6, 18e-6, 20e-6}) {
        const auto& a = at(r, t0 - 1e-9);
        const double drop = s * (a[d] - vdd);
        EXPECT_GT(drop, 0.3) << "at " << t0;
        EXPECT_LT(drop, 1.5) << "at " << t0;
        EXPECT_GT(std::abs(a[il]), 4.5) << "at " << t0;
    }

    // Energy balance over the run.
    const double supply = integral(r, [&](auto& x) { return -x[ivdd] * vdd; });
    const double driver = integral(r, [&](auto& x) { return -x[ivg] * x[gs]; });
    const double stored = 0.5 * L * (r.rows.back()[il] * r.rows.back()[il] - r.rows[0][il] * r.rows[0][il]);
    // The diode carries i(VDD) + i(L1) from d to vdd (anode to cathode for n-type).
    const double diode = integral(r, [&](auto& x) { return (x[d] - vdd) * (x[ivdd] + x[il]); });
    const double gateR = integral(r, [&](auto& x) { return (x[gs] - x[g]) * (x[gs] - x[g]) / 10.0; });
    const double device = cth * (r.rows.back()[t] - r.rows[0][t]) + integral(r, [&](auto& x) { return x[t] / rth; });
    EXPECT_GT(device, 0.0);
    EXPECT_GT(diode, 0.0);
    EXPECT_NEAR(supply + driver, stored + device + diode + gateR, 0.01 * (supply + driver))
        << "supply " << supply << " driver " << driver << " stored " << stored << " device " << device
        << " diode " << diode << " gate resistor " << gateR;
}

INSTANTIATE_TEST_SUITE_P(Libraries, DoublePulse, ::testing::ValuesIn(suiteCases("double_pulse")),
                         [](const auto& info) { return info.param; });

// The same with a charge partition beyond one half.
INSTANTIATE_TEST_SUITE_P(Partition, DoublePulse,
                         ::testing::Values("torvex_core_n_double_pulse PART=0.6", "torvex_en_p_double_pulse PART=0.6",
                                           "torvex_n_double_pulse PART=0.8"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             return name;
                         });

class GateCharge : public ::testing::TestWithParam<std::string> {};

// 1 mA into the gate, 10 ohm from 20 V: the gate rises, slows on the Miller
// plateau while the drain falls from the supply to near 0 (the drain swing's
// charge flows through the gate-drain capacitance), then rises faster again.
TEST_P(GateCharge, RunsThroughTheMillerPlateau) {
    Waveforms r;
    ASSERT_NO_THROW(r = runTransient(readNetlistFile(std::string(VXR_SUITE_DIR) + "/" + GetParam() + ".cir")));
    const double s = GetParam().find("_p_") != std::string::npos ? -1.0 : 1.0;
    const int g = r.col("v(g)"), d = r.col("v(d)");
    EXPECT_NEAR(s * r.rows.front()[d], 20.0, 1e-3);
    EXPECT_LT(s * r.rows.back()[d], 1.0);
    // The times the drain passes 90 % and 10 % of the supply.
    double t90 = -1, t10 = -1;
    for (auto& row : r.rows) {
        if (t90 < 0 && s * row[d] < 18.0) t90 = row[0];
        if (t10 < 0 && s * row[d] < 2.0) t10 = row[0];
    }
    ASSERT_GT(t90, 0);
    ASSERT_GT(t10, t90);
    auto slope = [&](double t0, double t1) { return s * (at(r, t1)[g] - at(r, t0)[g]) / (at(r, t1)[0] - at(r, t0)[0]); };
    const double before = slope(t90 - 40e-9, t90), plateau = slope(t90, t10), after = slope(t10 + 100e-9, t10 + 200e-9);
    EXPECT_GT(s * at(r, t90)[g], 0.2);
    EXPECT_LT(plateau, 0.8 * before) << "before " << before << " V/s";
    EXPECT_LT(plateau, after) << "after " << after << " V/s";
}

INSTANTIATE_TEST_SUITE_P(Libraries, GateCharge, ::testing::ValuesIn(suiteCases("gate_charge")),
                         [](const auto& info) { return info.param; });

// The junction charges' time-derivative variables feed only the power sum,
// and the trapezoidal rule leaves an error in them alternating from point to
// point once a step excited it: through the gate charge, diodes 1 and 2's
// alternated by 3.3e-6 from point to point while their largest value was
// 2e-6. They must not ring.
TEST(GateCharge, JunctionChargeCurrentsDoNotRing) {
    std::string text = readNetlistFile(std::string(VXR_SUITE_DIR) + "/torvex_core_n_gate_charge.cir");
    const std::string print = ".print tran v(g) v(d) i(VDD)";
    ASSERT_NE(text.find(print), std::string::npos);
    text.replace(text.find(print), print.size(), ".print tran V(N1._opddt11) V(N1._opddt12)");
    Waveforms r;
    ASSERT_NO_THROW(r = runTransient(text));
    // Point-to-point reversals against the largest value after 1 us.
    for (int c : {1, 2}) {
        double worst = 0, scale = 0;
        for (size_t k = 2; k < r.rows.size(); ++k) {
            if (r.rows[k][0] < 1e-6) continue;
            scale = std::max(scale, std::abs(r.rows[k][c]));
            const double d1 = r.rows[k][c] - r.rows[k - 1][c], d2 = r.rows[k - 1][c] - r.rows[k - 2][c];
            if (d1 * d2 < 0) worst = std::max(worst, std::min(std::abs(d1), std::abs(d2)));
        }
        EXPECT_LT(worst, 0.1 * scale) << "column " << c;
    }
}

class BodyDiode : public ::testing::TestWithParam<std::string> {};

// The drain pulled 5 V beyond the source through 10 ohm with the gate off:
// the body diode conducts for 2 us. When conduction ends, a stiff internal
// mode (a junction capacitance behind a small resistance) is left ringing
// under the trapezoidal rule, alternating from point to point for the rest
// of the run unless the integration damps it; the drain must settle.
TEST_P(BodyDiode, DrainSettlesWhenConductionEnds) {
    const std::string name = GetParam();
    const bool p = name.back() == 'p';
    const std::string text = drainDriven(name.substr(0, name.size() - 2),
                                         std::string("PULSE(0 ") + (p ? "5" : "-5") + " 1u 20n 20n 2u 10u)",
                                         p ? "TYPE=-1 NCELL=1e4" : "NCELL=1e4");
    Waveforms r;
    ASSERT_NO_THROW(r = runTransient(text + ".tran 10n 6u\n.print tran v(d)\n"));
    const double s = p ? -1.0 : 1.0;
    EXPECT_LT(s * at(r, 2e-6)[1], -0.5); // conducting
    double jump = 0;
    for (size_t k = 1; k < r.rows.size(); ++k)
        if (r.rows[k - 1][0] > 3.5e-6) jump = std::max(jump, std::abs(r.rows[k][1] - r.rows[k - 1][1]));
    EXPECT_LT(jump, 1e-10);
}

INSTANTIATE_TEST_SUITE_P(Libraries, BodyDiode,
                         ::testing::Values("TORVEX_CORE_n", "TORVEX_CORE_p", "TORVEX_EN_n", "TORVEX_EN_p", "TORVEX_n",
                                           "TORVEX_p"),
                         [](const auto& info) { return info.param; });

// A step bound of 0.1 ps makes the first step 1 fs: the charges' time
// derivatives (about 1e-9 C of junction charge at 100 V over 1e-15 s) still
// converge once the charges do, and so does the gate source's current, which
// at such steps is known only to the rounding of the gate's charges (held
// to its own tolerance of 9 nA, its Newton steps stayed at 8 mA and the run
// stopped at 0.13 ns).
TEST(TinySteps, TimeDerivativesConvergeAtAFemtosecond) {
    for (const char* xdep : {"0", "0.1", "1"}) {
        Waveforms r;
        ASSERT_NO_THROW(r = runTransient(".lib TORVEX_CORE.so\nVDD vdd 0 DC 100\nRL vdd d 10\n"
                                         "VG g 0 PULSE(0 10 1n 20n 20n 5u 10u)\n"
                                         "N1 d g 0 0 t 0 TORVEX_CORE NCELL=1e4 XDEP1=" +
                                         std::string(xdep) + "\n.tran 1n 2n 0 1e-13\n.print tran v(d)\n"))
            << "XDEP1 = " << xdep;
        EXPECT_NEAR(r.rows.back()[0], 2e-9, 1e-18);
        EXPECT_GT(r.rows.back()[1], 99.0); // still off: the gate edge couples a little into the drain
    }
}

class AtRest : public ::testing::TestWithParam<std::tuple<std::string, std::string>> {};

// A device with no bias at all and an uneven charge partition: its channel
// voltage is rounding noise about 0, and the channel charges must not jump
// as that noise changes sign (they did, and the transient stopped within
// 10 ns).
TEST_P(AtRest, RunsWithAnUnevenChargePartition) {
    const auto& [lib, part] = GetParam();
    Waveforms r;
    ASSERT_NO_THROW(r = runTransient(drainDriven(lib, "DC 0", "NCELL=1e4 PART=" + part) +
                                     ".tran 10n 1u\n.print tran v(d)\n"));
    EXPECT_GE(r.rows.back()[0], 1e-6 * (1 - 1e-9));
    for (auto& row : r.rows) EXPECT_LT(std::abs(row[1]), 1e-9) << "t = " << row[0];
}

INSTANTIATE_TEST_SUITE_P(Libraries, AtRest,
                         ::testing::Combine(::testing::Values("TORVEX_CORE", "TORVEX_EN", "TORVEX"),
                                            ::testing::Values("0.4", "0.5", "0.6", "0.8")),
                         [](const auto& info) {
                             std::string p = std::get<1>(info.param);
                             p.erase(p.find('.'), 1);
                             return std::get<0>(info.param) + "_PART" + p;
                         });

// A half-bridge at default parameters, the high side switched twice into
// 100 uH across the low side, whose gate is held at 0: while the high side
// conducts, the inductor current rises at V(sw) / L; the low side's
// turn-off and its reverse conduction must not stop the run. A case gives
// its netlist's text or the name of one of the switching circuits.
struct HalfBridgeCase {
    std::string name, text, file;
};

class HalfBridge : public ::testing::TestWithParam<HalfBridgeCase> {};

TEST_P(HalfBridge, InductorCurrentRisesAtVOverL) {
    Waveforms r;
    const auto& c = GetParam();
    ASSERT_NO_THROW(r = runTransient(c.file.empty() ? c.text
                                                    : readNetlistFile(std::string(VXR_SWITCHING_DIR) + "/" + c.file)));
    ASSERT_GE(r.rows.back()[0], 16e-6 * (1 - 1e-9));
    const double s = c.name.back() == 'p' ? -1.0 : 1.0;
    const int sw = r.col("v(sw)"), il = r.col("i(L1)");
    const double L = 100e-6;
    for (double t0 : {2e-6, 10e-6}) {
        const double t1 = t0 + 3e-6;
        const double di = at(r, t1)[il] - at(r, t0)[il];
        const double dt = at(r, t1)[0] - at(r, t0)[0];
        const double v = integral(r, [&](const std::vector<double>& row) { return row[sw]; }, at(r, t0)[0], at(r, t1)[0]);
        EXPECT_GT(s * di, 1.0) << t0;
        EXPECT_NEAR(di, v / L, 0.01 * std::abs(v / L)) << t0 << " dt " << dt;
    }
}

INSTANTIATE_TEST_SUITE_P(Circuits, HalfBridge,
                         ::testing::Values(HalfBridgeCase{"TORVEX_CORE_n", R"(* half-bridge double pulse
.lib TORVEX_CORE.so
VDD vdd 0 DC 100
VDH vdd dh DC 0
NH dh gh sw sw t_H 0 TORVEX_CORE NCELL=10000
VGH ghd sw PULSE(0 10 1u 20n 20n 5u 8u)
RGH ghd gh 10
VDL sw dl DC 0
NL dl gl 0 0 t_L 0 TORVEX_CORE NCELL=10000
RGL gl 0 10
L1 sw 0 100u
.tran 2n 16u
.print tran v(sw) i(L1)
)", ""},
                                           HalfBridgeCase{"TORVEX_EN_p", "", "half_bridge_torvex_en_p.cir"},
                                           HalfBridgeCase{"TORVEX_n", "", "half_bridge_torvex_n.cir"}),
                         [](const auto& info) { return info.param.name; });

// ---- Converters: averaged output and energy balance -------------------------

// The rows of a run thinned to every second accepted point (the last one kept):
// an energy balance that changes little between the two is not limited by the
// trapezoidal rule's error.
Waveforms everySecondPoint(const Waveforms& r) {
    Waveforms half{{}, r.labels};
    for (size_t k = 0; k < r.rows.size(); k += 2) half.rows.push_back(r.rows[k]);
    if (r.rows.size() % 2 == 0) half.rows.push_back(r.rows.back());
    return half;
}

// The last row at or before t.
const std::vector<double>& atOrBefore(const Waveforms& r, double t) {
    for (size_t k = r.rows.size(); k-- > 0;)
        if (r.rows[k][0] <= t) return r.rows[k];
    return r.rows.front();
}

// Energies over [t0, t1]: what the sources deliver, what the circuit
// dissipates (losses: all but the load's share), and what its inductors and
// capacitors store in addition.
struct EnergyBalance {
    double delivered = 0, dissipated = 0, losses = 0, stored = 0;
    double residual() const { return delivered - dissipated - stored; }
};

// The energy balance (balance(waveforms, from, to)) over the whole run and
// over its part [t0, t1] holds within 1 % of the delivered energy and 5 % of
// the losses, and the trapezoidal rule does not limit it: every second point
// gives nearly the same residual.
template <class Balance> void expectBalanced(const Waveforms& r, double t0, double t1, Balance balance) {
    for (double from : {0.0, t0}) {
        const EnergyBalance e = balance(r, from, t1), coarse = balance(everySecondPoint(r), from, t1);
        EXPECT_NEAR(e.residual(), 0.0, 0.01 * e.delivered) << "from " << from;
        EXPECT_NEAR(e.residual(), 0.0, 0.05 * e.losses) << "from " << from;
        EXPECT_NEAR(coarse.residual(), e.residual(), 0.001 * e.delivered) << "from " << from;
    }
}

// The change of the energy an inductor (current column il) and a capacitor
// (voltage column vc) store between two rows.
double storedChange(const std::vector<double>& a, const std::vector<double>& b, int il, double L, int vc, double C) {
    return 0.5 * L * (b[il] * b[il] - a[il] * a[il]) + 0.5 * C * (b[vc] * b[vc] - a[vc] * a[vc]);
}

struct BuckCase {
    std::string name, lib;
    int sign;
};
void PrintTo(const BuckCase& c, std::ostream* os) { *os << c.name; }

class SyncBuck : public ::testing::TestWithParam<BuckCase> {};

// A synchronous buck, 48 V to 12 V at 100 kHz and duty 0.25 into 1.2 ohm,
// 5 ohm gate drives and fixture diodes across both devices, with a 10 uH /
// 2.2 uF filter that settles within three periods (still in continuous
// conduction). Zero-volt sources measure every device's and diode's current.
std::string syncBuck(const std::string& lib, int sg) {
    using vxr::testing::transistorLine;
    const std::string type = sg > 0 ? "NCELL=100000" : "TYPE=-1 NCELL=100000";
    const std::string v48 = std::to_string(48 * sg), v10 = std::to_string(10 * sg);
    // Each diode conducts from the first named node to the second for n-type.
    auto diode = [&](const std::string& name, const std::string& a, const std::string& k) {
        return "V" + name + " sw " + name + "_sw DC 0\n" + name + " " + (sg > 0 ? a + " " + k : k + " " + a) +
               " fixdiode\n";
    };
    return ".lib " + lib + ".so\n.lib fixdiode_160.so\nVIN vin 0 DC " + v48 + "\nVDH vin dh DC 0\n" +
           transistorLine(lib, "NH", "dh", "gh", "sw", type) + "VGH ghd sw PULSE(0 " + v10 +
           " 100n 20n 20n 2.48u 10u)\nRGH ghd gh 5\nVDL sw dl DC 0\n" +
           transistorLine(lib, "NL", "dl", "gl", "0", type) + "VGL gld 0 PULSE(0 " + v10 +
           " 2.72u 20n 20n 7.26u 10u)\nRGL gld gl 5\n" + diode("NDL", "0", "NDL_sw") + diode("NDH", "NDH_sw", "vin") +
           "L1 sw out 10u\nC1 out 0 2.2u\nRL out 0 1.2\n.tran 10n 40u\n"
           ".print tran v(vin) v(sw) v(out) v(gh) v(gl) v(ghd) v(gld) i(VIN) i(VDH) i(VDL) i(VGH) i(VGL) i(L1) "
           "i(VNDL) i(VNDH)\n";
}

// Over the settled last period the output is the input times the high
// side's duty less the devices' drops, and over the whole run and the last
// period the energy the input and the gate drivers deliver is what the load,
// the gate resistors, the devices and the diodes dissipate plus what the
// filter stores. Each device's energy is taken at its terminals. The losses
// are about 1 % of the energy, so the balance is also held to a part of them:
// a device or diode left out or measured with the wrong sign shows.
TEST_P(SyncBuck, SettlesAtTheAveragedOutputAndBalancesEnergy) {
    const auto& c = GetParam();
    Waveforms r;
    ASSERT_NO_THROW(r = runTransient(syncBuck(c.lib, c.sign)));
    ASSERT_GE(r.rows.back()[0], 40e-6 * (1 - 1e-9));
    const double s = c.sign, vin = 48, T = 10e-6, L = 10e-6, C = 2.2e-6, R = 1.2, RG = 5;
    const int sw = r.col("v(sw)"), out = r.col("v(out)"), vi = r.col("v(vin)"), gh = r.col("v(gh)"), gl = r.col("v(gl)"),
              ghd = r.col("v(ghd)"), gld = r.col("v(gld)"), iin = r.col("i(VIN)"), idh = r.col("i(VDH)"),
              idl = r.col("i(VDL)"), igh = r.col("i(VGH)"), igl = r.col("i(VGL)"), il = r.col("i(L1)"),
              indl = r.col("i(VNDL)"), indh = r.col("i(VNDH)");

    // Averages over the last period: the duty is the time the switch node
    // spends beyond half the input; each device's drop is averaged over its
    // half of the period (the switching edges included, so the low side's
    // small drop may come out either way).
    const double t0 = r.rows.back()[0] - T, t1 = r.rows.back()[0];
    auto mean = [&](auto f) { return integral(r, f, t0, t1) / (atOrBefore(r, t1)[0] - at(r, t0)[0]); };
    auto high = [&](const std::vector<double>& x) { return s * x[sw] > vin / 2 ? 1.0 : 0.0; };
    const double duty = mean(high);
    const double dropHigh = mean([&](auto& x) { return high(x) * s * (x[vi] - x[sw]); }) / duty;
    const double dropLow = mean([&](auto& x) { return (1 - high(x)) * -s * x[sw]; }) / (1 - duty);
    const double averaged = vin * duty - duty * dropHigh - (1 - duty) * dropLow;
    const double output = s * mean([&](auto& x) { return x[out]; });
    EXPECT_NEAR(duty, 0.25, 0.02);
    EXPECT_LT(std::abs(dropHigh), 1.0);
    EXPECT_LT(std::abs(dropLow), 1.0);
    EXPECT_NEAR(output, averaged, 0.02 * averaged) << "duty " << duty << " drops " << dropHigh << ", " << dropLow;
    EXPECT_NEAR(s * mean([&](auto& x) { return x[il]; }), output / R, 0.02 * output / R);

    auto balance = [&](const Waveforms& w, double from, double to) {
        auto energy = [&](auto f) { return integral(w, f, from, to); };
        const auto &a = at(w, from), &b = atOrBefore(w, to);
        EnergyBalance e;
        e.delivered = energy([&](auto& x) { return -x[vi] * x[iin] - (x[ghd] - x[sw]) * x[igh] - x[gld] * x[igl]; });
        const double load = energy([&](auto& x) { return x[out] * x[out] / R; });
        const double gateResistors = energy([&](auto& x) {
            return ((x[ghd] - x[gh]) * (x[ghd] - x[gh]) + (x[gld] - x[gl]) * (x[gld] - x[gl])) / RG;
        });
        const double highSide =
            energy([&](auto& x) { return (x[vi] - x[sw]) * x[idh] + (x[gh] - x[sw]) * (x[ghd] - x[gh]) / RG; });
        const double lowSide = energy([&](auto& x) { return x[sw] * x[idl] + x[gl] * (x[gld] - x[gl]) / RG; });
        const double diodes = energy([&](auto& x) { return x[sw] * x[indl] + (x[sw] - x[vi]) * x[indh]; });
        e.losses = gateResistors + highSide + lowSide + diodes;
        e.dissipated = load + e.losses;
        e.stored = storedChange(a, b, il, L, out, C);
        EXPECT_GT(highSide, 0.0);
        EXPECT_GT(lowSide, 0.0);
        return e;
    };
    expectBalanced(r, t0, t1, balance);
}

INSTANTIATE_TEST_SUITE_P(Libraries, SyncBuck,
                         ::testing::Values(BuckCase{"TORVEX_CORE_n", "TORVEX_CORE", 1},
                                           BuckCase{"TORVEX_EN_p", "TORVEX_EN", -1}, BuckCase{"TORVEX_n", "TORVEX", 1}),
                         [](const auto& info) { return info.param.name; });


// Replaces the one occurrence of a line's text in a netlist.
void replaceIn(std::string& text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
}

struct BoostCase {
    std::string name, netlist, capacitor, load;
    bool continuous; // whether the inductor current stays positive in the last period
};
void PrintTo(const BoostCase& c, std::ostream* os) { *os << c.name; }

class Boost : public ::testing::TestWithParam<BoostCase> {};

// The boost of the switching circuits (12 V to 48 V at 100 kHz and duty
// 0.75, 10 uH, fixture diode) over its first six periods: at its own 100 uF
// and 24 ohm a start-up in continuous conduction; at 1 uF and 240 ohm the
// output overshoots and the converter turns discontinuous within four
// periods, the drain ringing below ground each time the diode stops. The
// energy the input and the gate driver deliver is what the load, the gate
// resistor, the device and the diode dissipate plus what the inductor and
// the output capacitor store.
TEST_P(Boost, BalancesEnergy) {
    const auto& c = GetParam();
    std::string text = readNetlistFile(std::string(VXR_SWITCHING_DIR) + "/" + c.netlist + ".cir");
    replaceIn(text, "C1 out 0 100u", "C1 out 0 " + c.capacitor);
    replaceIn(text, "RL out 0 24.0", "RL out 0 " + c.load);
    replaceIn(text, ".tran 10n 0.0005", ".tran 10n 60u");
    Waveforms r;
    ASSERT_NO_THROW(r = runTransient(text));
    ASSERT_GE(r.rows.back()[0], 60e-6 * (1 - 1e-9));
    const double s = c.netlist.find("_p") != std::string::npos ? -1.0 : 1.0, L = 10e-6, RG = 5;
    const double C = std::stod(c.capacitor.substr(0, c.capacitor.size() - 1)) * 1e-6, R = std::stod(c.load);
    const int vi = r.col("v(vin)"), sw = r.col("v(sw)"), out = r.col("v(out)"), g = r.col("v(g)"), gd = r.col("v(gd)"),
              iin = r.col("i(VIN)"), ids = r.col("i(VDS)"), il = r.col("i(L1)"), ig = r.col("i(VG)");

    // The last period: the inductor current's least value and the drain's.
    const double t1 = r.rows.back()[0], t0 = t1 - 10e-6;
    double leastCurrent = HUGE_VAL, leastDrain = HUGE_VAL;
    for (auto& x : r.rows)
        if (x[0] >= t0) {
            leastCurrent = std::min(leastCurrent, s * x[il]);
            leastDrain = std::min(leastDrain, s * x[sw]);
        }
    if (c.continuous) {
        EXPECT_GT(leastCurrent, 1.0);
        EXPECT_GT(leastDrain, -1.0);
    } else {
        EXPECT_LT(leastCurrent, 0.0);
        EXPECT_LT(leastDrain, -2.0);
    }

    auto balance = [&](const Waveforms& w, double from, double to) {
        auto energy = [&](auto f) { return integral(w, f, from, to); };
        const auto &a = at(w, from), &b = atOrBefore(w, to);
        EnergyBalance e;
        e.delivered = energy([&](auto& x) { return -x[vi] * x[iin] - x[gd] * x[ig]; });
        const double load = energy([&](auto& x) { return x[out] * x[out] / R; });
        const double gateResistor = energy([&](auto& x) { return (x[gd] - x[g]) * (x[gd] - x[g]) / RG; });
        const double device = energy([&](auto& x) { return x[sw] * x[ids] + x[g] * (x[gd] - x[g]) / RG; });
        const double diode = energy([&](auto& x) { return (x[sw] - x[out]) * (x[il] - x[ids]); });
        EXPECT_GT(device, 0.0);
        EXPECT_GT(diode, 0.0);
        e.losses = gateResistor + device + diode;
        e.dissipated = load + e.losses;
        e.stored = storedChange(a, b, il, L, out, C);
        return e;
    };
    expectBalanced(r, t0, t1, balance);
}

INSTANTIATE_TEST_SUITE_P(Circuits, Boost,
                         ::testing::Values(BoostCase{"TORVEX_EN_n_start_up", "boost_torvex_en_n", "100u", "24.0", true},
                                           BoostCase{"TORVEX_EN_n_discontinuous", "boost_torvex_en_n", "1u", "240", false},
                                           BoostCase{"TORVEX_CORE_p_discontinuous", "boost_torvex_core_p", "1u", "240",
                                                     false},
                                           BoostCase{"TORVEX_p_discontinuous", "boost_torvex_p", "1u", "240", false}),
                         [](const auto& info) { return info.param.name; });

} // namespace

namespace {

// A power module: n TORVEX_EN dies in parallel with gate overlap
// capacitances, each reaching the gate bus and the source bus through bond
// pads, switching a 20 V, 1 kohm load. Each die's drain current comes out of
// its current monitor through an ammeter VIk.
std::string powerModule(int dies) {
    std::string text = R"(* power module
.lib TORVEX_EN.so
.lib LAMBRET.so
.options abstol=1e-9
VDC vdc 0 DC 20
RLOAD vdc drain 1k
VGATE gdrv 0 DC 0 PULSE(0 10 1u 20n 20n 3u 8u)
RGATE gdrv gate 5
)";
    std::string print = ".print tran v(drain)";
    for (int k = 1; k <= dies; ++k) {
        const std::string s = std::to_string(k);
        text += "NG" + s + " gate g" + s + " 0 LAMBRET\nNS" + s + " 0 s" + s + " 0 LAMBRET\n";
        text += "N" + s + " drain g" + s + " s" + s + " t" + s + " 0 v" + s + " i" + s +
                " TORVEX_EN RTHCALC=2 RTH=20 CTH=1e-4 CGDO=1e-11 CGSO=1e-11\n";
        text += "VI" + s + " i" + s + " 0 DC 0\n";
        print += " i(VI" + s + ")";
    }
    return text + ".tran 10n 16u\n" + print + "\n.end\n";
}

// While the module conducts, at t: the dies' currents add up to the load's.
void expectLoadCarried(const Waveforms& r, const std::vector<int>& die, double t) {
    const auto& row = at(r, t);
    double sum = 0;
    for (int c : die) sum += row[c];
    const double load = (20.0 - row[r.col("v(drain)")]) / 1e3;
    EXPECT_GT(load, 1e-3) << t;
    EXPECT_NEAR(sum, load, 0.01 * load) << t;
}

std::vector<int> dieColumns(const Waveforms& r, int dies) {
    std::vector<int> die;
    for (int k = 1; k <= dies; ++k) die.push_back(r.col("i(VI" + std::to_string(k) + ")"));
    return die;
}

class PowerModule : public ::testing::TestWithParam<int> {};

// Identical dies carry equal shares of the load current at every accepted
// point, through both switching periods, and the shares add up to the load's
// current while the module conducts.
TEST_P(PowerModule, DiesShareTheDrainCurrent) {
    const int dies = GetParam();
    Waveforms r;
    ASSERT_NO_THROW(r = runTransient(powerModule(dies)));
    ASSERT_GE(r.rows.back()[0], 16e-6 * (1 - 1e-9));
    const std::vector<int> die = dieColumns(r, dies);
    double peak = 0;
    for (auto& row : r.rows)
        for (int c : die) peak = std::max(peak, std::abs(row[c]));
    ASSERT_GT(peak, 1e-3);
    for (auto& row : r.rows) {
        double mean = 0;
        for (int c : die) mean += row[c] / dies;
        for (int c : die) EXPECT_NEAR(row[c], mean, 0.02 * std::abs(mean) + 1e-6 * peak) << "t = " << row[0];
    }
    for (double t : {3.5e-6, 11.5e-6}) expectLoadCarried(r, die, t);
}

INSTANTIATE_TEST_SUITE_P(Dies, PowerModule, ::testing::Values(2));

// Eight dies: as the gate falls, the overlap charges pull each die's CORE_ID
// below its source and the channels reverse. The transient runs through both
// turn-offs to its end, and in each on-state the dies share the load equally.
TEST(PowerModuleOverlaps, EightDiesRunThroughChannelReversal) {
    const int dies = 8;
    Waveforms r;
    ASSERT_NO_THROW(r = runTransient(powerModule(dies)));
    ASSERT_GE(r.rows.back()[0], 16e-6 * (1 - 1e-9));
    const std::vector<int> die = dieColumns(r, dies);
    for (double t : {3.5e-6, 11.5e-6}) {
        expectLoadCarried(r, die, t);
        const auto& row = at(r, t);
        double mean = 0;
        for (int c : die) mean += row[c] / dies;
        for (int c : die) EXPECT_NEAR(row[c], mean, 0.01 * std::abs(mean)) << t;
    }
}

// The largest real s with det(G + s C) = 0 for the unknowns of die 1 alone
// (its instance, its pads, its own nodes and ammeter) at x: the shared drain
// and gate buses held, these are the modes in which the dies move against
// each other. -HUGE_VAL when there is no real one.
double antisymmetricGrowthRate(Circuit& c, const Eigen::VectorXd& x) {
    std::vector<int> at(c.size(), -1);
    int m = 0;
    for (int i = 0; i < c.size(); ++i) {
        const std::string& s = c.unknowns()[i].name;
        if (s.starts_with("N1.") || s.starts_with("NG1.") || s.starts_with("NS1.") || s == "g1" || s == "s1" ||
            s == "t1" || s == "v1" || s == "i1" || s == "VI1#branch")
            at[i] = m++;
    }
    EvalContext ctx;
    ctx.analysis = AnalysisKind::TRAN;
    ctx.mask = VXR_ANALYSIS_TRAN;
    c.evaluate(ctx, x);
    Eigen::MatrixXd G = Eigen::MatrixXd::Zero(m, m), C = Eigen::MatrixXd::Zero(m, m);
    for (int s = 0; s < c.pattern().size(); ++s) {
        const int r = c.pattern().row(s), k = c.pattern().col(s);
        if (r < 0 || k < 0 || at[r] < 0 || at[k] < 0) continue;
        G(at[r], at[k]) += ctx.G[s];
        C(at[r], at[k]) += ctx.C[s];
    }
    Eigen::GeneralizedEigenSolver<Eigen::MatrixXd> pencil(-G, C, false);
    double rate = -HUGE_VAL;
    for (int i = 0; i < m; ++i) {
        const std::complex<double> a = pencil.alphas()[i];
        const double b = pencil.betas()[i];
        if (!(std::abs(b) > 1e-14 * std::abs(a))) continue; // infinite: no charge in that direction
        const std::complex<double> s = a / b;
        if (std::abs(s.imag()) <= 1e-6 * std::abs(s.real())) rate = std::max(rate, s.real());
    }
    return rate;
}

// As the gate falls through the channel's reversal, the symmetric state of
// the eight dies turns unstable: the pencil of one die with the shared buses
// held gets a real eigenvalue in the right half plane. The dies' rounding
// differences then grow, and one die can end on another of the device's
// solutions. In the first period (the dies start from one operating point,
// so their deviation is nothing but this mode's), wherever the deviation
// (the spread of CORE_ID) is above rounding and still small, each accepted
// step must scale it by what the step's rule gives that mode, 1 / (1 - s h)
// for backward Euler and (1 + s h / 2) / (1 - s h / 2) for the trapezoidal
// rule, in magnitude: a point accepted off its solution, or on another
// branch, breaks the ratio.
TEST(PowerModuleOverlaps, DiesDriftApartOnlyByTheUnstableMode) {
    const int dies = 8;
    setenv("VXR_LIBRARY_PATH", VXR_TORVEX_PATH, 1);
    auto nl = Netlist::parse(powerModule(dies), VXR_SUITE_DIR);
    Circuit& c = nl->circuit();
    c.host().echoMessages = false;
    const AnalysisCmd* tran = nullptr;
    for (auto& a : nl->analyses())
        if (a.kind == AnalysisCmd::TRAN) tran = &a;
    ASSERT_NE(tran, nullptr);
    std::vector<int> core;
    for (int k = 1; k <= dies; ++k) core.push_back(c.findUnknown("N" + std::to_string(k) + ".CORE_ID"));
    for (int i : core) ASSERT_GE(i, 0);
    Simulator sim(c);
    const double floor = 1e-12, ceiling = 1e-2; // volts: above rounding, below the nonlinear spread
    const double period = 8e-6;
    double last = 0, lastTime = 0;
    int compared = 0;
    sim.onAccept = [&](double t, const Eigen::VectorXd& x) {
        double mean = 0, spread = 0;
        for (int i : core) mean += x[i] / dies;
        for (int i : core) spread += (x[i] - mean) * (x[i] - mean);
        spread = std::sqrt(spread);
        if (t > 0 && t < period && last > floor && spread < ceiling) {
            const double rate = antisymmetricGrowthRate(c, x);
            if (rate > 0) {
                const auto [h, order] = sim.acceptedSteps.back();
                const double z = rate * h, factor = order == 1 ? 1 / (1 - z) : (1 + z / 2) / (1 - z / 2);
                EXPECT_NEAR(spread / last, std::abs(factor), 0.05 * std::abs(factor))
                    << "from t = " << lastTime << " to " << t << ": s = " << rate << ", h = " << h << ", order " << order;
                ++compared;
            }
        }
        last = spread;
        lastTime = t;
    };
    ASSERT_NO_THROW(sim.tran(tran->tran, nl->probesFor(AnalysisCmd::TRAN)));
    if (compared == 0) GTEST_SKIP() << "the dies' deviation never grew above rounding";
}

} // namespace
