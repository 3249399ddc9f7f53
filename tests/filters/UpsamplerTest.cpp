#include "filters/Upsampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "filters/NoiseGenerator.h"

namespace tarvo {
namespace {

constexpr double kNoise = 2.9802322387695312e-08;  // 2^-25

std::vector<double> randomSignal(int n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> x(n);
    for (double& v : x) v = dist(gen);
    return x;
}

void expectSameState(const Upsampler& a, const Upsampler& b) {
    for (int i = 0; i < 4; ++i) EXPECT_EQ(a.interpolator.history[i], b.interpolator.history[i]);
    EXPECT_EQ(a.interpolator.noiseSeed, b.interpolator.noiseSeed);
    const HalfbandDelayLine& da = a.halfband.fir().delay;
    const HalfbandDelayLine& db = b.halfband.fir().delay;
    EXPECT_EQ(da.writeIndex, db.writeIndex);
    for (int i = 0; i < HalfbandDelayLine::kStorage; ++i) ASSERT_EQ(da.slots[i], db.slots[i]) << i;
}

TEST(Upsampler, ConstructionValues) {
    const Upsampler up;
    EXPECT_EQ(up.factor, 4);
    EXPECT_EQ(up.stageFactor, 4);
    EXPECT_FALSE(up.hq);
    EXPECT_EQ(up.interpolator.factor, 4);
    EXPECT_EQ(up.interpolator.noiseLevel, kNoise);
}

TEST(Upsampler, FactorOneDelaysTwoSamplesPlusNoise) {
    Upsampler up;
    up.setOversampling(1, false, kNoise);
    std::uint32_t seed = up.interpolator.noiseSeed;
    const std::vector<double> x = randomSignal(50, 1);
    std::vector<double> noisy;
    for (int n = 0; n < 50; ++n) {
        noisy.push_back(x[n] + nextNoise(seed, kNoise));
        double out[8];
        up.process(x[n], out);
        EXPECT_EQ(out[0], n >= 2 ? noisy[n - 2] : 0.0) << n;
    }
}

TEST(Upsampler, HqAtFactorOneChangesNothing) {
    Upsampler plain, hq;
    plain.setOversampling(1, false, 0.0);
    hq.setOversampling(1, true, 0.0);
    EXPECT_FALSE(hq.hq);
    EXPECT_EQ(hq.stageFactor, 1);
    EXPECT_EQ(hq.interpolator.factor, 1);
    const std::vector<double> x = randomSignal(300, 2);
    for (double v : x) {
        double a[8], b[8];
        plain.process(v, a);
        hq.process(v, b);
        ASSERT_EQ(a[0], b[0]);
    }
}

TEST(Upsampler, ConstantSettlesOnEveryOutputWithoutNoise) {
    for (bool hq : {false, true}) {
        Upsampler up;
        up.setOversampling(4, hq, 0.0);
        double out[8];
        for (int n = 0; n < 400; ++n) up.process(0.8, out);
        // The halfband's even and odd phases settle 9.3e-11 apart.
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(out[j], 0.8, hq ? 1e-10 : 0.8e-15) << hq << " " << j;
    }
}

TEST(Upsampler, HqIsTheHalfbandFollowedByTheInterpolatorAtHalfTheFactor) {
    for (int factor : {2, 4, 8}) {
        Upsampler up;
        up.setOversampling(factor, true, 0.0);
        EXPECT_TRUE(up.hq);
        EXPECT_EQ(up.stageFactor, factor / 2);
        HalfbandInterpolator halfband;
        PolyInterpolator poly;
        poly.factor = factor / 2;
        poly.noiseLevel = 0.0;
        for (double v : randomSignal(400, 3)) {
            double out[8], y0, y1, expected[8];
            up.process(v, out);
            halfband.process(v, y0, y1);
            poly.process(y0, expected);
            poly.process(y1, expected + factor / 2);
            for (int j = 0; j < factor; ++j) ASSERT_EQ(out[j], expected[j]);
        }
    }
}

TEST(Upsampler, SetOversamplingKeepsTheSignalState) {
    Upsampler up;
    up.setOversampling(8, true, kNoise);
    double out[8];
    for (double v : randomSignal(500, 4)) up.process(v, out);
    const Upsampler before = up;

    up.setOversampling(8, true, kNoise);  // the current settings: nothing moves
    expectSameState(up, before);
    EXPECT_EQ(up.factor, 8);
    EXPECT_EQ(up.stageFactor, 4);
    EXPECT_TRUE(up.hq);

    up.setOversampling(2, false, 0.0);
    expectSameState(up, before);
    EXPECT_EQ(up.factor, 2);
    EXPECT_EQ(up.stageFactor, 2);
    EXPECT_FALSE(up.hq);
    EXPECT_EQ(up.interpolator.factor, 2);
    EXPECT_EQ(up.interpolator.noiseLevel, 0.0);
}

TEST(Upsampler, TakeStateFromContinuesTheSignal) {
    Upsampler carrier, taker;
    carrier.setOversampling(4, true, 0.0);
    taker.setOversampling(4, true, 0.0);
    const std::vector<double> x = randomSignal(900, 5);
    double out[8], expected[8];
    for (int n = 0; n < 600; ++n) carrier.process(x[n], out);
    for (int n = 0; n < 50; ++n) taker.process(-x[n], out);  // some other history
    const std::uint32_t seed = taker.interpolator.noiseSeed;
    taker.takeStateFrom(carrier);
    EXPECT_EQ(taker.interpolator.noiseSeed, seed);
    for (int n = 600; n < 900; ++n) {
        carrier.process(x[n], expected);
        taker.process(x[n], out);
        for (int j = 0; j < 4; ++j) ASSERT_EQ(out[j], expected[j]) << n;
    }
}

TEST(Upsampler, ResetClearsSignalStateOnly) {
    Upsampler up;
    up.setOversampling(8, true, kNoise);
    double out[8];
    for (double v : randomSignal(300, 6)) up.process(v, out);
    const std::uint32_t seed = up.interpolator.noiseSeed;
    up.reset();
    for (double h : up.interpolator.history) EXPECT_EQ(h, 0.0);
    EXPECT_EQ(up.halfband.fir().delay.writeIndex, 173);
    EXPECT_EQ(up.interpolator.noiseSeed, seed);
    EXPECT_EQ(up.factor, 8);
    EXPECT_TRUE(up.hq);
    EXPECT_EQ(up.interpolator.noiseLevel, kNoise);
}

}  // namespace
}  // namespace tarvo
