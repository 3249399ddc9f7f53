#include "filters/Oversampling.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

TEST(Oversampling, StageFactorAndEffectiveHq) {
    EXPECT_EQ(stageFactorFor(1, false), 1);
    EXPECT_EQ(stageFactorFor(2, false), 2);
    EXPECT_EQ(stageFactorFor(4, false), 4);
    EXPECT_EQ(stageFactorFor(8, false), 8);
    // HQ takes one 2:1 step into the halfband stages, but never at 1x.
    EXPECT_EQ(stageFactorFor(1, true), 1);
    EXPECT_FALSE(effectiveHq(1, true));
    EXPECT_EQ(stageFactorFor(2, true), 1);
    EXPECT_EQ(stageFactorFor(4, true), 2);
    EXPECT_EQ(stageFactorFor(8, true), 4);
    EXPECT_TRUE(effectiveHq(2, true));
    EXPECT_FALSE(effectiveHq(8, false));
}

TEST(Oversampling, UnsupportedFactorsNeverExceedTheBuffers) {
    EXPECT_EQ(supportedFactor(0), 1);
    EXPECT_EQ(supportedFactor(-3), 1);
    EXPECT_EQ(supportedFactor(3), 2);
    EXPECT_EQ(supportedFactor(7), 4);
    EXPECT_EQ(supportedFactor(16), 8);
    EXPECT_EQ(stageFactorFor(16, true), 4);
}

}  // namespace
}  // namespace tarvo
