// The transistor libraries through the test host: each opened through the
// adapter of its revision, side by side in one process with the others.
#include "vxrhost/ModelLibrary.h"
#include "vxrhost/Netlist.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <map>
#include <string>
#include <vector>

using namespace vxr;

TEST(TorvexEnHost, LibrariesOfThreeRevisionsSideBySide)
{
    struct Expect {
        const char* path;
        int revision;
        const char* module;
        std::vector<std::string> terminals;
        size_t params;
    };
    const std::vector<Expect> libs = {
        {TORVEX_EN_LIBRARY, 160, "TORVEX_EN", {"D", "G", "B", "TINT", "TEXT", "VIDS", "IIDS"}, 168},
        {TORVEX_LIBRARY, 142, "TORVEX", {"D", "G", "B", "TINT", "TEXT"}, 168},
#ifdef OTHER_LIBRARIES
        {TORVEX_CORE_LIBRARY, 160, "TORVEX_CORE", {"D", "G", "S", "B", "TINT", "TEXT"}, 122},
        {LAMBRET_LIBRARY, 187, "LAMBRET", {"EXT", "INT", "BULK"}, 0},
#endif
    };
    std::vector<std::shared_ptr<ModelLibrary>> open;
    for (const Expect& e : libs) {
        SCOPED_TRACE(e.module);
        std::shared_ptr<ModelLibrary> lib = ModelLibrary::open(e.path);
        ASSERT_NE(lib, nullptr);
        EXPECT_EQ(lib->revision(), e.revision);
        EXPECT_EQ(lib->moduleName(), e.module);
        EXPECT_EQ(lib->terminals(), e.terminals);
        if (e.params) {
            EXPECT_EQ(lib->params().size(), e.params);
        }
        open.push_back(lib);
    }
    // A default instance of each transistor library, read back through its get slots.
    for (int k = 0; k < 2; ++k) {
        std::map<std::string, std::string> defaults;
        for (const ParamDefault& d : open[k]->readDefaults()) defaults[d.info.name] = d.value;
        EXPECT_EQ(defaults.size(), 168u);
        EXPECT_EQ(defaults["DISTR3"], "10");
        EXPECT_EQ(defaults["TYPE"], "1");
        EXPECT_EQ(defaults["LEVEL"], "602");
        ASSERT_NE(open[k]->findParam("NGATECON"), nullptr);
        EXPECT_EQ(open[k]->findParam("NGATECON")->location, 89);
        EXPECT_EQ(open[k]->findParam("ngatecon"), nullptr);
    }
}

namespace {

// The tables of a netlist's analyses, solved quietly.
std::vector<vxr::Table> solve(const std::string& body)
{
    const std::string net = std::string(".lib ") + TORVEX_EN_LIBRARY + "\n.lib " + TORVEX_LIBRARY +
                            "\n.options abstol=1e-9\n" + body + ".end\n";
    auto nl = vxr::Netlist::parse(net);
    nl->circuit().host().echoMessages = false;
    return nl->run();
}

std::vector<double> column(const vxr::Table& t, const std::string& label)
{
    for (size_t i = 0; i < t.columns.size(); ++i) {
        if (t.columns[i] != label) continue;
        std::vector<double> out;
        for (const auto& r : t.rows) out.push_back(r.at(i));
        return out;
    }
    ADD_FAILURE() << "no column " << label;
    return {};
}

// A transistor of either library on drain d, gate g, bulk (the source side)
// at ground; TORVEX_EN's current monitor into a 0 V ammeter.
std::string device(const std::string& name, bool en, const std::string& d, const std::string& g,
                   const std::string& t, const std::string& params)
{
    if (!en) return name + " " + d + " " + g + " 0 " + t + " 0 TORVEX " + params + "\n";
    return name + " " + d + " " + g + " 0 " + t + " 0 " + name + "v " + name + "i TORVEX_EN " + params + "\nV" + name +
           "i " + name + "i 0 DC 0\n";
}

// DC output and transfer sweeps from zero bias, n and p type: the drain
// current grows with the drive, the device takes power, and V(VIDS) is the
// channel voltage's magnitude |V(CORE_ID, S)| at every point.
TEST(TorvexEnHost, DcSweepsConvergeFromZeroBias)
{
    for (int type : {1, -1}) {
        SCOPED_TRACE(type);
        const std::string t = std::to_string(type);
        const std::string params = "TYPE=" + t + " RTHCALC=2 RTH=2 VDEP=0";
        for (const std::string& sweep : {"VD 0 " + std::to_string(20 * type) + " " + std::to_string(type),
                                         "VG 0 " + std::to_string(8 * type) + " " + std::to_string(0.25 * type)}) {
            SCOPED_TRACE(sweep);
            const bool output = sweep[1] == 'D';
            const std::vector<vxr::Table> r = solve(
                "VD d 0 DC " + std::to_string(output ? 0 : 10 * type) + "\nVG g 0 DC " +
                std::to_string(output ? 5 * type : 0) + "\n" + device("N1", true, "d", "g", "t", params) + ".dc " +
                sweep + "\n.print dc i(VD) v(t) v(N1v) v(N1.CORE_ID) v(N1.S)\n");
            ASSERT_EQ(r.size(), 1u);
            const auto id = column(r[0], "i(VD)"), temp = column(r[0], "v(t)"), vids = column(r[0], "v(N1v)");
            const auto ci = column(r[0], "v(N1.CORE_ID)"), cs = column(r[0], "v(N1.S)");
            ASSERT_GT(id.size(), 20u);
            for (size_t k = 0; k < id.size(); ++k) {
                EXPECT_TRUE(std::isfinite(id[k]) && std::isfinite(temp[k])) << k;
                if (k > 0) {
                    EXPECT_GT(-type * id[k], -type * id[k - 1]) << k;
                }
                EXPECT_GE(temp[k], -1e-12) << k;
                EXPECT_NEAR(vids[k], std::fabs(ci[k] - cs[k]), 1e-9 * (1.0 + vids[k])) << k;
            }
        }
    }
}

// TORVEX (1.42) in the same circuit solves to TORVEX_EN's node voltages.
TEST(TorvexEnHost, TorvexAndTorvexEnGiveTheSameNodeVoltages)
{
    for (int type : {1, -1}) {
        SCOPED_TRACE(type);
        const std::string s = type > 0 ? "" : "-";
        const std::string params = "TYPE=" + std::to_string(type) + " RTHCALC=2 RTH=1 VDEP=0 CGDO=1e-11 CGSO=1e-11";
        std::string body;
        for (bool en : {true, false}) {
            const std::string k = en ? "1" : "2";
            body += "RL" + k + " dd d" + k + " 10\nRG" + k + " gg g" + k + " 10\n" +
                    device("N" + k, en, "d" + k, "g" + k, "t" + k, params);
        }
        body += "VDD dd 0 DC " + s + "20\nVGG gg 0 DC " + s + "6\n.dc VGG 0 " + s + "8 " + s + "0.5\n" +
                ".print dc v(d1) v(d2) v(g1) v(g2) v(t1) v(t2)\n";
        const vxr::Table t = solve(body).at(0);
        for (const char* n : {"d", "g", "t"}) {
            const auto a = column(t, std::string("v(") + n + "1)"), b = column(t, std::string("v(") + n + "2)");
            ASSERT_EQ(a.size(), b.size());
            for (size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], b[i], 1e-10) << n << " " << i;
        }
    }
}

// DC energy balance with RTHSW = 0 (TEXT held at ground inside the model), a
// constant thermal resistance and the monitors drawing nothing: the
// temperature rise is RTH times the electrical power the sources deliver to
// D, G and B. Knows nothing of the model's equations.
TEST(TorvexEnHost, TemperatureRiseIsRthTimesDeliveredPower)
{
    const double rth = 0.8;
    struct Point {
        int type;
        double vd, vg, vb;
        const char* extra;
    };
    for (const Point& p : {Point{1, 5.0, 4.0, 0.0, ""}, Point{1, 15.0, 6.0, 0.0, "A1CH=0.2 A2CH=2 A1DR=0.1 A2DR=3"},
                           Point{1, -0.8, 3.0, 0.0, ""}, Point{-1, -5.0, -4.0, 0.0, ""},
                           Point{-1, -15.0, -6.0, 0.3, "A1CH=0.2 A2CH=2"}}) {
        SCOPED_TRACE(std::to_string(p.type) + " " + std::to_string(p.vd) + " " + std::to_string(p.vg));
        const vxr::Table t =
            solve("VD d 0 DC " + std::to_string(p.vd) + "\nVG g 0 DC " + std::to_string(p.vg) + "\nVB b 0 DC " +
                  std::to_string(p.vb) + "\nN1 d g b t tx vids iids TORVEX_EN TYPE=" + std::to_string(p.type) +
                  " RTHSW=0 RTHCALC=2 ATH=0 RTH=" + std::to_string(rth) + " VDEP=0 " + p.extra +
                  "\nVM iids 0 DC 0\n.op\n.print op v(t) v(tx) i(VD) i(VG) i(VB)\n")
                .at(0);
        const double power =
            -(p.vd * column(t, "i(VD)")[0] + p.vg * column(t, "i(VG)")[0] + p.vb * column(t, "i(VB)")[0]);
        EXPECT_GT(power, 0.0);
        EXPECT_LT(std::fabs(column(t, "v(tx)")[0]), 1e-6);
        EXPECT_NEAR(column(t, "v(t)")[0] - column(t, "v(tx)")[0], rth * power, 1e-6 * rth * power + 1e-12);
    }
}

// A gate-charge transient (constant gate current switching a resistive
// load) and an AC analysis run: the drain falls while the gate charges, and
// the drain follows the supply's small signal by at most the load divider.
TEST(TorvexEnHost, GateChargeTransientAndAcRun)
{
    const std::vector<vxr::Table> r =
        solve("VDD dd 0 DC 20 AC 1\nRL dd dq 10k\nIG 0 gq PULSE(0 20u 10n 10n 10n 1 2)\nRG gq 0 100meg\n" +
              device("N1", true, "dq", "gq", "tq", "RTHCALC=2 RTH=1e-3 VDEP=0 CGDO=1e-11 CGSO=1e-11 COX=1e-12") +
              ".tran 20n 8u\n.print tran v(gq) v(dq)\n.ac dec 2 1k 1meg\n.print ac VM(dq)\n");
    ASSERT_EQ(r.size(), 2u);
    const auto vg = column(r[0], "v(gq)"), vd = column(r[0], "v(dq)");
    ASSERT_GT(vg.size(), 10u);
    EXPECT_NEAR(vd.front(), 20.0, 1e-3);
    EXPECT_LT(vd.back(), 5.0);
    EXPECT_GT(vg.back(), 1.0);
    for (double x : column(r[1], "VM(dq)")) EXPECT_TRUE(std::isfinite(x) && x > 0.0 && x <= 1.0 + 1e-12);
}

// AC input admittance at the gate and drain pins, with the intrinsic
// device's charges off (COX, CGDO, CDIODE1-3, CSOURCE at 0), its currents off
// (BET, GMIN at 0, zero bias) and every pad capacitance but the two finger
// bars at 0: each pin sees its bar's capacitance in series with its
// resistance (the ratios at 1), Y = 1 / (R + 1 / (j w C)).
TEST(TorvexEnHost, PinAdmittanceOfTheBarsAlone)
{
    const std::vector<vxr::Table> r = solve(
        "VG g 0 DC 0 AC 1\nVD d 0 DC 0 AC 1\n"
        "N1 d g 0 t 0 v i TORVEX_EN COX=0 CGDO=0 CDIODE1=0 CDIODE2=0 CDIODE3=0 CSOURCE=0 BET=0 GMIN=0 "
        "INCGATEBARCAP=1 INCDRAINBARCAP=1 CIGB1=1e-12 RIGB1=50 CIDB1=2e-12 RIDB1=30 CIGB2=0 CIGB3=0 CIGB41=0 "
        "CIGB42=0 CIGGS=0 CIDB2=0 CIDB3=0 CIGD11=0 CIGD12=0 CIGD2=0 CIGD3=0 CIGD4=0 WVBARGATER=1e-5 "
        "WVBARDRAINR=1e-5 WVBARGATE=1e-5 WVBARDRAIN=1e-5\nVI i 0 DC 0\n"
        ".ac dec 2 1meg 1g\n.print ac IR(VG) II(VG) IR(VD) II(VD)\n");
    const vxr::Table& t = r.at(0);
    const auto f = column(t, "frequency");
    ASSERT_EQ(f.size(), 7u);
    struct Pin {
        const char* source;
        double R, C;
    };
    for (const Pin& pin : {Pin{"VG", 50.0, 1e-12}, Pin{"VD", 30.0, 2e-12}}) {
        const auto re = column(t, std::string("IR(") + pin.source + ")");
        const auto im = column(t, std::string("II(") + pin.source + ")");
        for (size_t k = 0; k < f.size(); ++k) {
            // The source's current flows into the pin as -I.
            const std::complex<double> y = 1.0 / std::complex<double>(pin.R, -1.0 / (2.0 * M_PI * f[k] * pin.C));
            const std::complex<double> got(-re[k], -im[k]);
            EXPECT_LT(std::abs(got - y), 1e-6 * std::abs(y)) << pin.source << " at " << f[k] << " Hz: " << got << " vs " << y;
        }
    }
}

} // namespace

// Off-state output conductance at 48 V on NCELL = 1e4: a device's
// sub-nanosiemens beside the terasiemens its network ties the drain with.
// The real part of the AC drain admittance at frequencies well below the
// device's first corner is the slope of the DC drain current, taken here as
// a central difference of two operating points, with every solver and both
// types.
TEST(TorvexEnHost, OffStateOutputConductanceIsTheSlopeOfTheDcCurrent)
{
    struct Lib {
        const char* name;
        const char* pins; // after drain and gate: source side at ground, TINT at t, TEXT at ground
        std::string lib;  // a .lib line where solve() opens none
    };
    std::vector<Lib> libs = {{"TORVEX_EN", "0 t 0 v i", ""}, {"TORVEX", "0 t 0", ""}};
#ifdef OTHER_LIBRARIES
    libs.push_back({"TORVEX_CORE", "0 0 t 0", std::string(".lib ") + TORVEX_CORE_LIBRARY + "\n"});
#endif
    std::vector<SolverKind> solvers = {SolverKind::SPARSELU, SolverKind::DENSE};
    if (solverAvailable(SolverKind::KLU)) solvers.push_back(SolverKind::KLU);
    constexpr double kStep = 0.1;
    for (const Lib& lib : libs)
        for (int type : {1, -1})
            for (SolverKind solver : solvers) {
                const double vd = 48.0 * type;
                SCOPED_TRACE(std::string(lib.name) + " TYPE=" + std::to_string(type) + " " + solverName(solver));
                std::string body = lib.lib + ".options solver=" + std::string(solverName(solver)) + "\nVD d 0 DC " +
                                   std::to_string(vd) + " AC 1\nVG g 0 DC 0\nVI i 0 DC 0\nN1 d g " + lib.pins + " " +
                                   lib.name + " NCELL=1e4 TYPE=" + std::to_string(type) + "\n";
                body += ".dc VD " + std::to_string(vd - kStep) + " " + std::to_string(vd + kStep) + " " +
                        std::to_string(kStep) + "\n.print dc i(VD)\n.ac dec 1 1 10\n.print ac IR(VD)\n";
                const std::vector<vxr::Table> r = solve(body);
                ASSERT_EQ(r.size(), 2u);
                const vxr::Table& dc = r[0];
                ASSERT_EQ(dc.rows.size(), 3u);
                const auto id = column(dc, "i(VD)");
                const double slope = (id[2] - id[0]) / (dc.rows[2][0] - dc.rows[0][0]);
                ASSERT_GT(std::fabs(slope), 1e-10);
                const auto re = column(r[1], "IR(VD)");
                ASSERT_EQ(re.size(), 2u);
                for (double g : re) EXPECT_NEAR(g, slope, 2e-3 * std::fabs(slope));
            }
}
