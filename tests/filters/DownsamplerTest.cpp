#include "filters/Downsampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "filters/NoiseGenerator.h"
#include "filters/Upsampler.h"

namespace tarvo {
namespace {

std::vector<double> randomSignal(int n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> x(n);
    for (double& v : x) v = dist(gen);
    return x;
}

TEST(Downsampler, ConstructionValues) {
    const Downsampler down;
    EXPECT_EQ(down.factor, 4);
    EXPECT_EQ(down.stageFactor, 4);
    EXPECT_FALSE(down.hq);
    EXPECT_EQ(down.decimator.factor, 4);
    EXPECT_EQ(down.decimator.noiseLevel, std::ldexp(1.0, -21));
    EXPECT_EQ(down.latency(), 2);
}

TEST(Downsampler, LatencyFollowsTheHalfbandStage) {
    Downsampler down;
    for (int factor : {2, 4, 8}) {
        down.setOversampling(factor, true, 20);
        EXPECT_EQ(down.latency(), 172) << factor;
        down.setOversampling(factor, false, 20);
        EXPECT_EQ(down.latency(), 2) << factor;
    }
    down.setOversampling(1, true, 20);  // HQ is never in effect at 1x
    EXPECT_FALSE(down.hq);
    EXPECT_EQ(down.stageFactor, 1);
    EXPECT_EQ(down.latency(), 2);
}

TEST(Downsampler, FactorOnePassesTheInputPlusNoise) {
    Downsampler down;
    down.setOversampling(1, false, 20);
    std::uint32_t seed = down.decimator.noiseSeed;
    for (double v : randomSignal(50, 1)) {
        const double in[8] = {v};
        EXPECT_EQ(down.process(in), v + nextNoise(seed, std::ldexp(1.0, -21)));
    }
}

TEST(Downsampler, HqIsTheDecimatorOnEachHalfThenTheHalfband) {
    for (int factor : {2, 4, 8}) {
        Downsampler down;
        down.setOversampling(factor, true, 0);
        IirDecimator iir;
        iir.redesign(factor / 2, 0);
        HalfbandDecimator halfband;
        const std::vector<double> x = randomSignal(8 * 300, 2);
        for (int n = 0; n < 300; ++n) {
            const double* in = &x[8 * n];
            const double u0 = iir.process(in);
            const double u1 = iir.process(in + factor / 2);
            ASSERT_EQ(down.process(in), halfband.process(u0, u1)) << factor << " " << n;
        }
    }
}

TEST(Downsampler, SetOversamplingRedesignsButKeepsHistories) {
    Downsampler down;
    const std::vector<double> x = randomSignal(8 * 200, 3);
    for (int n = 0; n < 200; ++n) down.process(&x[8 * n]);
    const Downsampler before = down;

    down.setOversampling(8, true, 24);
    EXPECT_EQ(down.factor, 8);
    EXPECT_EQ(down.stageFactor, 4);
    EXPECT_TRUE(down.hq);
    EXPECT_EQ(down.decimator.factor, 4);
    EXPECT_EQ(down.decimator.noiseLevel, std::ldexp(1.0, -25));
    EXPECT_EQ(down.decimator.lowPass.x1, before.decimator.lowPass.x1);
    EXPECT_EQ(down.decimator.lowPass.y1, before.decimator.lowPass.y1);
    EXPECT_EQ(down.decimator.correction.y2, before.decimator.correction.y2);
    EXPECT_EQ(down.decimator.noiseSeed, before.decimator.noiseSeed);

    down.setNoiseBits(0);
    EXPECT_EQ(down.decimator.noiseLevel, 0.0);
    down.setNoiseBits(20);
    EXPECT_EQ(down.decimator.noiseLevel, std::ldexp(1.0, -21));
    EXPECT_EQ(down.decimator.factor, 4);  // the noise setting touches nothing else

    down.reset();
    EXPECT_EQ(down.decimator.lowPass.x1, 0.0);
    EXPECT_EQ(down.decimator.correction.y1, 0.0);
    EXPECT_EQ(down.decimator.noiseSeed, before.decimator.noiseSeed);
    EXPECT_TRUE(down.hq);
}

TEST(Resampling, HqPathAtFactorTwoIsALinearPhaseDelayOf172) {
    // At 2x with HQ the polynomial and IIR stages run at factor 1 (a delay of
    // two samples at the doubled rate, and a pass), so the whole path is
    // linear-phase: 86 + 1 + 85 = 172 base-rate samples, Downsampler::latency().
    Upsampler up;
    Downsampler down;
    up.setOversampling(2, true, 0.0);
    down.setOversampling(2, true, 0);
    std::vector<double> y;
    for (int n = 0; n < 500; ++n) {
        double buffer[8];
        up.process(n == 0 ? 1.0 : 0.0, buffer);
        y.push_back(down.process(buffer));
    }
    int peak = 0;
    for (int n = 0; n < 500; ++n)
        if (std::fabs(y[n]) > std::fabs(y[peak])) peak = n;
    EXPECT_EQ(peak, down.latency());
    for (int k = 1; k <= 172; ++k) EXPECT_NEAR(y[172 - k], y[172 + k], 1e-15) << k;
}

TEST(Resampling, ConstantComesBackAtEveryFactor) {
    for (int factor : {1, 2, 4, 8}) {
        for (bool hq : {false, true}) {
            Upsampler up;
            Downsampler down;
            up.setOversampling(factor, hq, 0.0);
            down.setOversampling(factor, hq, 0);
            double y = 0.0;
            for (int n = 0; n < 3000; ++n) {
                double buffer[8];
                up.process(0.25, buffer);
                y = down.process(buffer);
            }
            EXPECT_NEAR(y, 0.25, 1e-14) << factor << " " << hq;
        }
    }
}

}  // namespace
}  // namespace tarvo
