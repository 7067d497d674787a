// The library-computed slew operator: one accepted point of history, the
// output limited to the given rates.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "VXR_Operators.h"
#include "recording_host.h"

namespace {

class Slew : public ::testing::Test {
protected:
    vxrtest::RecordingHost host;
    vxrtest::InstanceRecord inst{host, "s1"};
    VXR_OpBranch_slew* op = nullptr;
    double pos = 0.0, neg = 0.0;

    void SetUp() override {
        op = VXR_createOpBranch_slew("sl1", inst.ptr());
        ASSERT_NE(op, nullptr);
    }
    void TearDown() override { VXR_destroyOpBranch_slew(op); }
    VXR_SlewSpec* spec() const { return static_cast<VXR_SlewSpec*>(op->_pSlewSpec); }

    double setArg(double t, double x) {
        host.setTime(t);
        VXR_slewSetArg(op, x, pos, neg, host.loader());
        return op->_val;
    }
    double point(double t, double x) {
        const double y = setArg(t, x);
        VXR_slewAcceptTimePoint(op, host.loader());
        return y;
    }
};

TEST_F(Slew, RatesLimitEachDirection) {
    struct Case {
        const char* name;
        double pos, neg, from, to, y, coeff;
    };
    // One step of 1 ms from `from` to `to`.
    const Case cases[] = {
        {"rising, limited", 100.0, -100.0, 0.0, 1.0, 0.1, 0.0},
        {"rising, no limit", 0.0, -100.0, 0.0, 1.0, 1.0, 1.0},
        {"rising, negative bound is no limit", -5.0, -100.0, 0.0, 1.0, 1.0, 1.0},
        {"rising, within the rate", 2000.0, -100.0, 0.0, 1.0, 1.0, 1.0},
        {"falling, limited", 100.0, -200.0, 1.0, 0.0, 0.8, 0.0},
        {"falling, positive bound is no limit", 100.0, 5.0, 1.0, 0.0, 0.0, 1.0},
        {"falling, within the rate", 100.0, -2000.0, 1.0, 0.0, 0.0, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        pos = c.pos, neg = c.neg;
        VXR_slewReset(op);
        EXPECT_EQ(point(0.0, c.from), c.from); // t = 0: the input, unlimited
        EXPECT_EQ(op->_derivCoeff, 1.0);
        EXPECT_EQ(spec()->_prevTime, 0.0);
        EXPECT_NEAR(setArg(1e-3, c.to), c.y, 1e-15);
        EXPECT_EQ(op->_derivCoeff, c.coeff);
    }
}

TEST_F(Slew, RampOfAStepFollowsTheRecurrence) {
    pos = 1000.0, neg = -500.0;
    point(0.0, 0.0);
    double y = 0.0, t = 0.0;
    for (int k = 1; k <= 30; ++k) {
        const double h = k % 3 ? 1e-4 : 2.5e-4;
        const double x = t < 2e-3 ? 1.0 : -0.5;
        t += h;
        y += std::fmax(std::fmin(x - y, pos * h), neg * h);
        EXPECT_NEAR(point(t, x), y, 1e-12) << "step " << k;
    }
}

TEST_F(Slew, PassAtTheAcceptedTime) {
    pos = 100.0;
    point(0.0, 0.0);
    point(1e-3, 0.05);
    // 1.87 floors the step at 1e-15 t: any change is limited; 1.60 divides
    // by zero and stays at the accepted value.
    const double y = setArg(1e-3, 1.0);
    if (VXR_REVISION == 187)
        EXPECT_NEAR(y, 0.05 + 100.0 * 1e-18, 1e-18);
    else
        EXPECT_EQ(y, 0.05);
    EXPECT_EQ(op->_derivCoeff, 0.0);
}

TEST_F(Slew, SaveRestoreAndSerialization) {
    pos = 100.0;
    point(0.0, 0.0);
    point(1e-3, 1.0);
    void* saved = VXR_slewSaveState(op);
    ASSERT_NE(saved, nullptr);
    point(2e-3, 1.0);
    VXR_slewRestoreState(op, saved);
    EXPECT_NE(op->_pSlewSpec, saved);
    EXPECT_EQ(spec()->_prevTime, 1e-3);
    EXPECT_EQ(spec()->_prevExprVal, 0.1);
    VXR_slewRestoreState(op, nullptr);
    EXPECT_EQ(spec()->_prevTime, 1e-3);

    auto* state = static_cast<VXR_GenericOperatorState*>(saved);
    EXPECT_EQ(state->opStateType, VXR_SLEW_SPEC);
    FILE* f = std::tmpfile();
    VXR_SrlzDirE dir = SRLZ_TO_FILE;
    state->pSerializeSelf(state, f, &dir);
    EXPECT_EQ(dir, SRLZ_TO_FILE);
    EXPECT_EQ(std::ftell(f), 40);
    std::rewind(f);
    VXR_SlewSpec* copy = createSlewSpec(nullptr);
    dir = SRLZ_FROM_FILE;
    copy->_opState.pSerializeSelf(&copy->_opState, f, &dir);
    EXPECT_EQ(dir, SRLZ_FROM_FILE);
    const auto* s = static_cast<const VXR_SlewSpec*>(saved);
    EXPECT_EQ(std::memcmp(&copy->_prevTime, &s->_prevTime, 5 * sizeof(double)), 0);
    std::fclose(f);
    copy->_opState.pFreeSelf(&copy->_opState);
    state->pFreeSelf(state);
}

} // namespace
