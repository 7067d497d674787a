// The intrinsic kernel on its own, as every TORVEX model calls it: the same
// values from the plain-double policy and from the dual numbers of both
// derivative revisions (1.60 guards the square-root slope at 0, 1.42 does
// not).
#include <gtest/gtest.h>

#include "torvex_intrinsic.h"

namespace {

torvex::Derived derived(int type)
{
    torvex::Params p{};
    p.TYPE = type;
    p.RTHCALC = 0;
    p.RTHSW = 0;
    // Close to the TORVEX_CORE defaults, with the optional terms switched on.
    p.NCELL = p.NCELLR = 1.0;
    p.LGF = p.LGFR = 1e-4;
    p.PCELL = p.PCELLR = 4e-5;
    p.DTA = 0.0;
    p.RTH = 1e-3;
    p.CTH = 1e-12;
    p.TR = 21.0;
    p.VFB = -1.05;
    p.KO = 0.5;
    p.KPINV = 0.2;
    p.PHIB = 0.95;
    p.BET = 0.0019;
    p.ETABET = 1.3;
    p.THESR = 0.3562;
    p.ETASR = 0.005;
    p.THEPH = 0.0129;
    p.ETAPH = 1.35;
    p.ETAMOB = 1.3;
    p.NU = 2.0;
    p.NUEXP = 5.25;
    p.CS = 0.1;
    p.THESAT = 0.2513;
    p.SDIBL = 3.59e-5;
    p.SSF = 0.012;
    p.ALP = 0.025;
    p.VP = 0.05;
    p.MEXP = 2.0;
    p.A1CH = 0.5;
    p.A2CH = 1.0;
    p.TOX = 3.2e-9;
    p.COX = 2.98e-14;
    p.PART = 0.5;
    p.ADJ = 1.0;
    p.XDEP1 = 1.0;
    p.DELQ = 0.2;
    p.LENGTH = 5e-7;
    p.KOV = 2.5;
    p.CGSO = 1e-15;
    p.CGDO = 2e-15;
    p.RON = p.RSAT = 1.0;
    p.VSAT = 10.0;
    p.EC = 1e6;
    p.PSAT = 1.0;
    p.VPDR = p.VPDR1 = 100.0;
    p.DCH = p.DSUB = 1e15;
    p.VSUB = 0.6;
    p.VGAP = 1.2;
    p.VDEP = 0.005;
    p.A1DR = 0.3;
    p.A2DR = 1.0;
    p.RBB = 1.0;
    p.RPW = 100.0;
    p.LPW = 1e-5;
    p.CSOURCE = 1e-10;
    p.CDIODE1 = p.CDIODE2 = p.CDIODE3 = 1e-15;
    p.VBIDIODE1 = p.VBIDIODE2 = p.VBIDIODE3 = 0.7;
    p.PDIODE1 = p.PDIODE2 = p.PDIODE3 = 0.3;
    p.REPI = 1e-8;
    p.TEPI = 1e-6;
    p.DEPEPI1 = p.DEPEPI3 = 0.1;
    p.LDEX = 3e-6;
    p.GMIN = 1e-11;
    p.RTHWS = 1e-3;
    p.CTHWS = 1e-12;
    p.TSCALE = 1.0;
    p.KAPPA = 150.0;
    p.TSUBTH = 2.5e-4;
    p.LTH = 1e-5;
    p.VDSBR = 1000.0;
    torvex::Derived d;
    torvex::deriveParams(p, d);
    return d;
}

template <class S>
void expectSameValues(const torvex::Result<torvex::Values>& a, const torvex::Result<S>& b)
{
    using vxr::value_of;
    EXPECT_EQ(a.IDS, value_of(b.IDS));
    EXPECT_EQ(a.IAVCH, value_of(b.IAVCH));
    EXPECT_EQ(a.IDRIFT, value_of(b.IDRIFT));
    EXPECT_EQ(a.IAVDR, value_of(b.IAVDR));
    EXPECT_EQ(a.IRBB, value_of(b.IRBB));
    EXPECT_EQ(a.IRPW, value_of(b.IRPW));
    EXPECT_EQ(a.IRD1, value_of(b.IRD1));
    EXPECT_EQ(a.IRD3, value_of(b.IRD3));
    EXPECT_EQ(a.ITH, value_of(b.ITH));
    for (int k = 0; k < torvex::kNumCharges; ++k) EXPECT_EQ(a.Q[k], value_of(b.Q[k])) << "charge " << k;
    for (int k = 0; k < 4; ++k) EXPECT_EQ(a.pStatic[k], value_of(b.pStatic[k])) << "power term " << k;
    EXPECT_EQ(a.CHDIR, b.CHDIR);
    EXPECT_EQ(a.DRDIR, b.DRDIR);
    EXPECT_EQ(a.Tdev, b.Tdev);
}

TEST(IntrinsicKernel, EveryPolicyGivesTheSameValues)
{
    const double probes[][torvex::kNumProbes] = {
        {0.5, 0.1, 3.0, 3.0, 1.2, 6.0, 6.0, 0.02, -0.1, -0.3, 0.03, -0.02, 1.8},
        {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0},
        {2.0, 0.0, -1.0, 1.5, -0.8, -0.3, 0.4, 0.7, 0.9, 0.6, -0.2, 0.1, -2.3},
    };
    for (int type : {1, -1}) {
        const torvex::Derived d = derived(type);
        for (const auto& v : probes) {
            torvex::Result<torvex::Values> a;
            torvex::Result<torvex::Partials<160>> b;
            torvex::Result<torvex::Partials<142>> c;
            torvex::evaluate(d, v, 300.15, a);
            torvex::evaluate(d, v, 300.15, b);
            torvex::evaluate(d, v, 300.15, c);
            expectSameValues(a, b);
            expectSameValues(a, c);
        }
    }
}

} // namespace
