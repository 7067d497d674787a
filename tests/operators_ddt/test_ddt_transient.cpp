// A capacitor-like use of the ddt branch (Q = C * V) driven through a small
// transient loop in which the test is the host: it integrates the charge
// loads (backward Euler on the first step, trapezoid after), solves the
// branch row with the voltage row by Newton, and feeds the solution back.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "VXR_Operators.h"
#include "recording_host.h"

namespace {

using vxrtest::BatchRecord;
using vxrtest::HandleRecord;
using vxrtest::LoadKind;

struct Integrator {
    double alpha; // qdot = alpha * (q - qPrev) - beta * qdotPrev
    double beta;
};

class CapacitorRamp : public ::testing::TestWithParam<double> {};

TEST_P(CapacitorRamp, BranchCarriesScaledChargeDerivative) {
    const double C = 2.5e-12, slope = 4.0e3, h = 1.0e-9;
    vxrtest::RecordingHost host;
    vxrtest::InstanceRecord c1{host, "c1", "cap"};
    host.setDefault(VXR_BRANCHDDT_SCALE, GetParam());
    const double s = GetParam() > 0.0 ? GetParam() : 1.0;

    // Model side: one ddt operator and its argument's doublet against V.
    VXR_OpBranch_ddt* op = VXR_createOpBranch_ddt("_opddt0", &c1.inst);
    VXR_ddtFinalizeTopology(op, nullptr);
    VXR_StateVar* nodeV = host.terminal("v");
    VXR_ddtSetStamp(op, nullptr);
    void* dQdV = VXR_getDerivDoubletOpBranch_ddt(op, nodeV, nullptr, DDT_ENTRY, NONLIN_DEP, nullptr);
    VXR_StateVar* nodeX = VXR_getBranchVar_ddt(op);
    auto load = [&] {
        VXR_ContribLoader* ldr = host.loader();
        double V = ldr->pGetSol(nodeV, ldr VXR_LDR_INST(&c1.inst));
        VXR_OpBranch_ddt_setArg(op, C * V, ldr);
        VXR_OpBranch_ddt_setArg_dwrt(op, dQdV, C, ldr);
        VXR_ddtGenericLoad(op, ldr);
    };

    // Host side: unknowns u = (V, x); row 0 is the source V - slope * t = 0.
    std::map<VXR_StateVar*, int> index{{nodeV, 0}, {nodeX, 1}};
    double u[2] = {0.0, 0.0};
    double qPrev = 0.0, qdotPrev = 0.0;

    // Assembles F(u) and J(u) from one load and the integrator; returns q of row 1.
    auto assemble = [&](double t, const Integrator& in, double F[2], double J[2][2]) {
        host.setSolution(nodeV, u[0]);
        host.setSolution(nodeX, u[1]);
        host.clearLog();
        load();
        double fs[2] = {}, q[2] = {}, js[2][2] = {}, jq[2][2] = {};
        for (const BatchRecord& b : host.batches()) {
            for (size_t k = 0; k < b.handles.size(); ++k) {
                const HandleRecord& hd = host.handles().at(static_cast<size_t>(b.handles[k]));
                int row = index.at(hd.sv[0]);
                double v = b.values[k];
                if (b.kind == LoadKind::RhsPair)
                    fs[row] += v;
                else if (b.kind == LoadKind::RhsPairQ)
                    q[row] += v;
                else {
                    double(&j)[2][2] = b.kind == LoadKind::DerivDoublet ? js : jq;
                    if (hd.sv[1])
                        j[row][index.at(hd.sv[1])] += v;
                    if (hd.sv[2])
                        j[row][index.at(hd.sv[2])] -= v;
                }
            }
        }
        F[0] = u[0] - slope * t;
        J[0][0] = 1.0;
        J[0][1] = 0.0;
        F[1] = fs[1] + in.alpha * (q[1] - qPrev) - in.beta * qdotPrev;
        J[1][0] = js[1][0] + in.alpha * jq[1][0];
        J[1][1] = js[1][1] + in.alpha * jq[1][1];
        return q[1];
    };
    auto step = [&](double t, const Integrator& in) {
        double F[2], J[2][2], q = 0.0;
        for (int it = 0; it < 4; ++it) {
            q = assemble(t, in, F, J);
            double det = J[0][0] * J[1][1] - J[0][1] * J[1][0];
            double d0 = (-F[0] * J[1][1] + F[1] * J[0][1]) / det;
            double d1 = (-F[1] * J[0][0] + F[0] * J[1][0]) / det;
            u[0] += d0;
            u[1] += d1;
        }
        q = assemble(t, in, F, J);
        EXPECT_NEAR(F[1], 0.0, 1e-20);
        qdotPrev = in.alpha * (q - qPrev) - in.beta * qdotPrev;
        qPrev = q;
    };

    // DC at t = 0: the charge part does not count, the branch reads 0.
    step(0.0, Integrator{0.0, 0.0});
    qdotPrev = 0.0;
    EXPECT_EQ(u[1], 0.0);
    EXPECT_DOUBLE_EQ(qPrev, s * C * 0.0);

    const double expected = s * C * slope;
    for (int n = 1; n <= 20; ++n) {
        Integrator in = n == 1 ? Integrator{1.0 / h, 0.0} : Integrator{2.0 / h, 1.0};
        step(n * h, in);
        SCOPED_TRACE(n);
        EXPECT_NEAR(u[0], slope * n * h, 1e-15);
        EXPECT_NEAR(u[1], expected, 1e-9 * expected);
        // What the model reads as dQ/dt: x / s.
        EXPECT_NEAR(u[1] / op->_rowScale, C * slope, 1e-9 * C * slope);
    }
    EXPECT_EQ(op->_rowScale, s);

#if VXR_REVISION != 142
    VXR_destroyOpBranch_ddt(op);
#else
    VXR_free(op);
#endif
}

INSTANTIATE_TEST_SUITE_P(RowScales, CapacitorRamp, ::testing::Values(0.0, 1.0, 2.0, 0.5));

} // namespace
