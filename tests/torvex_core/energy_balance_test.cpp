// DC energy balance of TORVEX_CORE through the host: with the thermal
// resistance a constant RTH (RTHCALC = 2, ATH = 0) and TEXT at ground, the
// solved temperature rise V(TINT) must be RTH times the electrical power
// that the ideal sources deliver to D, G, S and B. The check knows nothing
// of the model's equations, only conservation of energy.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "vxrhost/Netlist.h"

namespace {

struct Point {
    int type;
    double vd, vg, vs, vb;
    const char* extra; // more parameters
};

double column(const vxr::Table& t, const std::string& label)
{
    for (size_t i = 0; i < t.columns.size(); ++i)
        if (t.columns[i] == label) return t.rows.at(0).at(i);
    ADD_FAILURE() << "no column " << label;
    return NAN;
}

TEST(CoreEnergyBalance, TemperatureRiseIsRthTimesDeliveredPower)
{
    const double rth = 0.8;
    const Point points[] = {
        {1, 5.0, 4.0, 0.0, 0.0, ""},
        {1, 15.0, 6.0, 0.0, 0.0, "A1CH=0.2 A2CH=2 A1DR=0.1 A2DR=3"},
        {1, 2.0, 8.0, 0.3, -0.5, "A1CH=0.2 A2CH=2"},
        {1, -0.8, 3.0, 0.0, 0.0, ""}, // body diode region: drain below source
        {-1, -5.0, -4.0, 0.0, 0.0, ""},
        {-1, -15.0, -6.0, 0.0, 0.0, "A1CH=0.2 A2CH=2 A1DR=0.1 A2DR=3"},
        {-1, -2.0, -8.0, -0.3, 0.5, ""},
    };
    for (const Point& p : points) {
        SCOPED_TRACE("TYPE=" + std::to_string(p.type) + " VD=" + std::to_string(p.vd) + " VG=" + std::to_string(p.vg));
        const std::string net = std::string(".lib ") + TORVEX_CORE_PATH + "\n" +
                                "VD d 0 DC " + std::to_string(p.vd) + "\n" +
                                "VG g 0 DC " + std::to_string(p.vg) + "\n" +
                                "VS s 0 DC " + std::to_string(p.vs) + "\n" +
                                "VB b 0 DC " + std::to_string(p.vb) + "\n" +
                                "N1 d g s b tint 0 TORVEX_CORE TYPE=" + std::to_string(p.type) +
                                " RTHCALC=2 ATH=0 RTH=" + std::to_string(rth) + " VDEP=0 " + p.extra + "\n" +
                                ".op\n.print op v(tint) i(VD) i(VG) i(VS) i(VB)\n";
        auto nl = vxr::Netlist::parse(net);
        nl->circuit().host().echoMessages = false;
        const vxr::Table t = nl->run().at(0);
        // A source's current flows from its + node through it, so the
        // device takes -i from each source's node.
        const double power = -(p.vd * column(t, "i(VD)") + p.vg * column(t, "i(VG)") + p.vs * column(t, "i(VS)") +
                               p.vb * column(t, "i(VB)"));
        EXPECT_GT(power, 0.0);
        EXPECT_NEAR(column(t, "v(tint)"), rth * power, 1e-6 * rth * power + 1e-12);
    }
}

} // namespace
