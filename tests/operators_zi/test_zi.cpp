// The z-domain filter operator through the recording host: coefficient
// preparation and its errors, the sample schedule and the difference
// equation, saved states and their serialization (1.87 and the 1.60 copy,
// which has no embedded transition).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "VXR_Operators.h"
#include "recording_host.h"
#include "state_stream.h"
#include "step_requests.h"

namespace {

class Zi : public ::testing::Test {
protected:
    vxrtest::RecordingHost host;
    vxrtest::InstanceRecord inst{host, "x1"};
    VXR_OpBranch_zi* op = nullptr;
    std::vector<VXR_Array*> arrays;

    void TearDown() override {
        VXR_destroyOpBranch_zi(op);
        for (VXR_Array* a : arrays) freeArray(a);
    }
    static void freeArray(VXR_Array* a) {
#if VXR_REVISION == 187
        VXR_free(a->_pLeftBounds);
        VXR_free(a->_pRightBounds);
#endif
        VXR_free(a->_data._pReal);
        VXR_free(a);
    }
    // NULL for an absent array; {} for an empty one.
    VXR_Array* array(const std::vector<double>* values) {
        if (!values) return nullptr;
        VXR_Array* a = VXR_createArray(inst.ptr(), VXR_REAL_ARRAY, "c");
        if (!values->empty()) {
            VXR_setArrayBounds(a, 0, static_cast<int>(values->size()) - 1);
            std::memcpy(a->_data._pReal, values->data(), values->size() * sizeof(double));
        }
        arrays.push_back(a);
        return a;
    }
    void make(const std::vector<double>* numer, bool zeroForm, const std::vector<double>* denom, bool poleForm) {
        op = VXR_createOpBranch_zi("zi1", inst.ptr(), zeroForm, poleForm, 0.0);
        ASSERT_NE(op, nullptr);
        VXR_ziInitArrayArg(op, array(numer), array(denom));
    }
    // One accepted point with input F.
    double point(double t, double F, double T, double t0) {
        host.setTime(t);
        VXR_ziSetArg(op, F, T, 0.0, t0, host.loader());
        vxrtest::StepRequests::acceptTime = t;
        VXR_ziAcceptTimePoint(op, host.loader());
        return op->_targetVal;
    }
};

TEST_F(Zi, CoefficientPreparation) {
    using V = std::vector<double>;
    struct Case {
        const char* name;
        V numer;
        bool zeroForm;
        V denom;
        bool poleForm;
        V b, a;            // expected coefficients (the orders are their sizes)
        std::string error; // expected ERROR text, "" for none
    };
    const std::string bad = "Leading denominator coefficient must be non-zero for operator 'zi1'.";
    const Case cases[] = {
        {"coefficients", {1}, false, {1, -0.5}, false, {1}, {1, -0.5}, ""},
        {"leading zero removed from both", {0, 1}, false, {0, 2}, false, {1}, {2}, ""},
        {"non-causal", {1, 1}, false, {0, 2}, false, {1, 1}, {2}, "Non-causal z-transform operator."},
        {"zero denominator", {1}, false, {0}, false, {1}, {0}, bad},
        {"all-zero denominator", {1}, false, {0, 0}, false, {1}, {0, 0}, bad},
        // (z^2 - z + 0.5)(z - 0.3) after the conjugate is moved behind its partner.
        {"poles", {1}, false, {0.5, 0.5, 0.3, 0.0, 0.5, -0.5}, true, {1}, {1, -1.3, 0.8, -0.15, 0, 0}, ""},
        {"poles without a conjugate", {1}, false, {0.5, 0.5, 0.3, 0.0}, true, {1}, {1, -1.3, 0.8, -0.15},
         "Complex denominator coefficients must have corresponding conjugates for 'zi1'."},
        {"zeros and poles", {0.5, 0, -0.25, 0}, true, {0.25, 0}, true, {1, -0.25, -0.125, 0}, {1, -0.25}, ""},
        {"zeros of odd count", {0.5, 0.1, 0.2}, true, {1}, false, {0.5, 0.1, 0.2}, {1},
         "The numerator array for operator 'zi1' must have even size."},
        {"empty numerator", {}, false, {1}, false, {1}, {1},
         "The numerator array for operator 'zi1' must not be empty."},
        {"empty zero list", {}, true, {1}, false, {1}, {1},
         "The numerator array for operator 'zi1' must not be empty."},
        {"empty pole list", {1}, false, {}, true, {1}, {1},
         "The denominator array for operator 'zi1' must not be empty."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host.clearLog();
        make(&c.numer, c.zeroForm, &c.denom, c.poleForm);
        VXR_ziComputeCoeffs(op);
        EXPECT_EQ(op->_coeffsComputed, 1);
        ASSERT_EQ(op->_numerOrder, static_cast<int>(c.b.size()));
        ASSERT_EQ(op->_denomOrder, static_cast<int>(c.a.size()));
        for (size_t i = 0; i < c.b.size(); ++i) EXPECT_NEAR(op->_numerCoeffs[i], c.b[i], 1e-15) << i;
        for (size_t i = 0; i < c.a.size(); ++i) EXPECT_NEAR(op->_denomCoeffs[i], c.a[i], 1e-15) << i;
        if (c.error.empty()) {
            EXPECT_TRUE(host.messages().empty());
        } else {
            ASSERT_EQ(host.messages().size(), 1u);
            EXPECT_EQ(host.messages()[0].type, MessageTypeE_ERROR);
            EXPECT_EQ(host.messages()[0].body, c.error);
            EXPECT_EQ(host.exitRequests(), 1);
        }
        VXR_destroyOpBranch_zi(op);
        op = nullptr;
    }
}

TEST_F(Zi, ConjugatesAreMovedBehindTheirPartners) {
    double pairs[] = {0.5, 0.5, 0.3, 0.0, 0.5, -0.5, 0.1, 0.0};
    EXPECT_EQ(VXR_checkConjugateZeros(pairs, 8), 1);
    const double expect[] = {0.5, 0.5, 0.5, -0.5, 0.3, 0.0, 0.1, 0.0};
    EXPECT_EQ(std::memcmp(pairs, expect, sizeof pairs), 0);
    double lone[] = {0.5, 0.5};
    EXPECT_EQ(VXR_checkConjugateZeros(lone, 2), 0);
    double nan[] = {0.5, std::nan(""), 0.5, std::nan("")};
    EXPECT_EQ(VXR_checkConjugateZeros(nan, 4), 0);
}

// y(k) = x(k) + 0.5 y(k-1) on a constant 1: the output history starts at
// the time-zero output (0), the input history at the first input.
TEST_F(Zi, SamplesAndTheDifferenceEquation) {
    const std::vector<double> b{1}, a{1, -0.5};
    struct Case {
        double t0;
        std::vector<double> times;   // accepted points
        std::vector<double> samples; // the points that sample
    };
    const Case cases[] = {{0.0, {0, 0.5e-3, 1e-3, 1.5e-3, 2e-3, 3e-3}, {0, 1e-3, 2e-3, 3e-3}},
                          {2e-3, {0, 1e-3, 2e-3, 2.5e-3, 3e-3}, {0, 2e-3, 3e-3}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.t0);
        make(&b, false, &a, false);
        double expect = 0.0;
        size_t s = 0;
        for (double t : c.times) {
            const bool samples = s < c.samples.size() && c.samples[s] == t;
            if (samples) {
                expect = 1.0 + 0.5 * expect;
                ++s;
            }
            vxrtest::StepRequests::install(host.loader());
            EXPECT_DOUBLE_EQ(point(t, 1.0, 1e-3, c.t0), expect) << "t=" << t;
            // The accept asks for the next sample (1.87: a bound step, 1.60: its time).
            ASSERT_FALSE(vxrtest::StepRequests::list.empty());
            const vxrtest::StepRequest r = vxrtest::StepRequests::list.back();
            EXPECT_NEAR(r.step, op->_nextSampleTime - t, 1e-18) << "t=" << t;
            EXPECT_EQ(r.type, VXR_REVISION == 187 ? BOUND_ZTRANSFORM : -1);
        }
        EXPECT_EQ(s, c.samples.size());
        VXR_destroyOpBranch_zi(op);
        op = nullptr;
    }
}

TEST_F(Zi, SaveRestoreSerializeAndNewOrders) {
    const std::vector<double> b{0.2, 0.3}, a{1, -0.5, 0.06};
    make(&b, false, &a, false);
    EXPECT_EQ(VXR_ziSaveState(op), nullptr); // nothing prepared yet
    point(0.0, 1.0, 1e-3, 0.0);
    point(1e-3, 1.0, 1e-3, 0.0);
    auto* saved = static_cast<VXR_ziState*>(VXR_ziSaveState(op));
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->_opState.opStateType, VXR_ZI_STATE);
    const double target = op->_targetVal;
    point(2e-3, 1.0, 1e-3, 0.0);
    VXR_ziRestoreState(op, saved);
    EXPECT_EQ(op->_targetVal, target);
    EXPECT_DOUBLE_EQ(point(2e-3, 1.0, 1e-3, 0.0), 0.845);

    // Written and read back into a state of the same orders.
    VXR_SrlzDirE dir = SRLZ_TO_FILE;
    const std::string bytes = vxrtest::writeState(&saved->_opState, &dir);
    EXPECT_EQ(dir, SRLZ_TO_FILE);
    EXPECT_EQ(bytes.substr(0, 2), "zi");
    auto* other = static_cast<VXR_ziState*>(VXR_ziSaveState(op));
    EXPECT_EQ(vxrtest::readState(&other->_opState, bytes), SRLZ_FROM_FILE);
    EXPECT_EQ(other->_targetVal, target);
    EXPECT_EQ(std::memcmp(other->_yHist, saved->_yHist, 3 * sizeof(double)), 0);
    std::string damaged = bytes;
    const int wrongOrder = 5;
    std::memcpy(&damaged[2 + 16], &wrongOrder, 4);
    EXPECT_EQ(vxrtest::readState(&other->_opState, damaged), SRLZ_ERROR);
    other->_opState.pFreeSelf(&other->_opState);

    // A longer numerator written into the array: prepared anew with new
    // orders; the old state no longer fits.
    const double wider[] = {0.1, 0.2, 0.3};
    VXR_setArrayBounds(op->_pNumer, 0, 2);
    std::memcpy(op->_pNumer->_data._pReal, wider, sizeof wider);
    point(3e-3, 1.0, 1e-3, 0.0);
    EXPECT_EQ(op->_numerOrder, 3);
    dir = SRLZ_TO_FILE;
    vxrtest::writeState(&saved->_opState, &dir);
    EXPECT_EQ(dir, SRLZ_ERROR);
    VXR_ziRestoreState(op, saved);
    EXPECT_EQ(op->_coeffsComputed, 0);
    VXR_ziRestoreState(op, nullptr);
    EXPECT_EQ(op->_coeffsComputed, 0);

    // A device state releases the saved state with its histories and its
    // transition spec.
    auto* ds = static_cast<VXR_DeviceState*>(VXR_calloc(1, sizeof(VXR_DeviceState), nullptr, nullptr, nullptr));
    ds->numOfOperatorStates = 1;
    ds->pOperatorState = static_cast<void**>(VXR_calloc(1, sizeof(void*), nullptr, nullptr, nullptr));
    ds->pOperatorState[0] = saved;
    ds->pDevice = inst.ptr();
    VXR_freeDeviceState(ds);
}

} // namespace
