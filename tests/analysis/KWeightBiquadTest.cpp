#include "Tindrel/analysis/KWeightBiquad.h"

#include <gtest/gtest.h>

using tindrel::KWeightBiquad;

namespace {

void expectCoefficients(const KWeightBiquad& f, const float (&want)[5]) {
    EXPECT_FLOAT_EQ(f.b0, want[0]);
    EXPECT_FLOAT_EQ(f.b1, want[1]);
    EXPECT_FLOAT_EQ(f.b2, want[2]);
    EXPECT_FLOAT_EQ(f.a1, want[3]);
    EXPECT_FLOAT_EQ(f.a2, want[4]);
    EXPECT_EQ(f.z1, 0.0f);
    EXPECT_EQ(f.z2, 0.0f);
}

} // namespace

TEST(KWeightBiquad, CoefficientsAtReferenceRates) {
    expectCoefficients(KWeightBiquad::makePreFilter(48000),
                       {1.5351249f, -2.6916962f, 1.1983929f, -1.6906593f, 0.73248076f});
    expectCoefficients(KWeightBiquad::makeRLBFilter(48000),
                       {0.99502993f, -1.9900599f, 0.99502993f, -1.9900475f, 0.99007225f});
    expectCoefficients(KWeightBiquad::makePreFilter(44100),
                       {1.5308412f, -2.65098f, 1.1690791f, -1.6636552f, 0.7125954f});
    expectCoefficients(KWeightBiquad::makeRLBFilter(44100),
                       {0.99459219f, -1.9891844f, 0.99459219f, -1.9891697f, 0.98919904f});
}

TEST(KWeightBiquad, RatesBelow8000UseThe8000Design) {
    const KWeightBiquad pre8k = KWeightBiquad::makePreFilter(8000);
    const KWeightBiquad rlb8k = KWeightBiquad::makeRLBFilter(8000);
    EXPECT_FLOAT_EQ(pre8k.b0, 1.3216236f);
    EXPECT_FLOAT_EQ(rlb8k.b0, 0.9707244f);
    for (double rate : {0.0, -44100.0, 7999.0}) {
        const KWeightBiquad pre = KWeightBiquad::makePreFilter(rate);
        const KWeightBiquad rlb = KWeightBiquad::makeRLBFilter(rate);
        EXPECT_EQ(pre.b0, pre8k.b0) << rate;
        EXPECT_EQ(pre.a2, pre8k.a2) << rate;
        EXPECT_EQ(rlb.b0, rlb8k.b0) << rate;
        EXPECT_EQ(rlb.a1, rlb8k.a1) << rate;
    }
}

TEST(KWeightBiquad, ImpulseResponseAndIndependentCopies) {
    KWeightBiquad f = KWeightBiquad::makePreFilter(48000);
    KWeightBiquad copy = f;
    EXPECT_EQ(f.process(1.0f), f.b0);
    EXPECT_EQ(f.process(0.0f), f.b1 - f.a1 * f.b0);
    // The copy kept the fresh state, so it starts the same response again.
    EXPECT_EQ(copy.process(1.0f), f.b0);
    EXPECT_NE(f.z1, copy.z1);
}
