#include "filters/IirDecimator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>

#include "filters/NoiseGenerator.h"

namespace tarvo {
namespace {

/// Unity at DC "within 1.1e-14": the stored gain for F = 2 times the shelf's
/// DC gain is 1 + 1.11e-14 (the gain is the reciprocal rounded to 16 digits).
constexpr double kUnity = 1.12e-14;

double dcGain(const Biquad& s) { return (s.b0 + s.b1 + s.b2) / (1.0 - s.c1 - s.c2); }

IirDecimator quiet(int factor) {
    IirDecimator d;
    d.redesign(factor, 0);
    return d;
}

TEST(IirDecimator, ConstructionIsTheFactorFourDesign) {
    const IirDecimator d;
    EXPECT_EQ(d.factor, 4);
    EXPECT_EQ(d.noiseLevel, 4.76837158203125e-07);  // 2^-21
    const Biquad lowPass = designLowPass(0.125);
    EXPECT_EQ(d.lowPass.b0, lowPass.b0);
    EXPECT_EQ(d.lowPass.c2, lowPass.c2);
    const Biquad shelf = designCorrectionShelf(0.36062, 0.64016, 1.31635);
    EXPECT_EQ(d.correction.b1, shelf.b1);
    EXPECT_EQ(d.correction.c1, shelf.c1);
    EXPECT_EQ(d.gain, 0.9720464088505786);
}

TEST(IirDecimator, NoiseLevels) {
    EXPECT_EQ(decimatorNoiseLevel(20), std::ldexp(1.0, -21));
    EXPECT_EQ(decimatorNoiseLevel(24), std::ldexp(1.0, -25));
    EXPECT_EQ(decimatorNoiseLevel(0), 0.0);
    EXPECT_EQ(interpolatorNoiseLevel(20), 2.9802322387695312e-08);
    EXPECT_EQ(interpolatorNoiseLevel(24), 2.9802322387695312e-08);
    EXPECT_EQ(interpolatorNoiseLevel(0), 0.0);
}

TEST(IirDecimator, CorrectionMakesUpTheDcGain) {
    struct Case {
        int factor;
        double lowPassHz, shelfDc, gain;
    };
    const Case cases[] = {{2, 0.25, 1.0274470774863789, 0.9732861399017102},
                          {4, 0.125, 1.028757465584874, 0.9720464088505786},
                          {8, 0.0625, 1.0288439221382981, 0.9719647251466955}};
    for (const Case& c : cases) {
        const IirDecimator d = quiet(c.factor);
        EXPECT_EQ(d.factor, c.factor);
        EXPECT_EQ(d.gain, c.gain);
        EXPECT_NEAR(dcGain(d.correction), c.shelfDc, 2e-15) << c.factor;
        EXPECT_EQ(d.lowPass.b0, designLowPass(c.lowPassHz).b0) << c.factor;
        EXPECT_NEAR(d.gain * dcGain(d.correction) * dcGain(d.lowPass), 1.0, kUnity) << c.factor;
    }
    const IirDecimator one = quiet(1);
    EXPECT_EQ(one.gain, 0.9742042054397407);
    EXPECT_EQ(one.lowPass.b0, designLowPass(0.49).b0);
    EXPECT_EQ(one.correction.b1, designCorrectionShelf(0.3635, 0.725, 1.277).b1);
}

TEST(IirDecimator, ConstantSettlesToItself) {
    for (int factor : {2, 4, 8}) {
        for (double level : {1.0, -0.37}) {
            IirDecimator d = quiet(factor);
            const double in[8] = {level, level, level, level, level, level, level, level};
            double y = 0.0;
            for (int n = 0; n < 2000; ++n) y = d.process(in);
            EXPECT_NEAR(y / level, 1.0, kUnity) << factor;
        }
    }
}

TEST(IirDecimator, UnrolledPathsMatchTheSectionsRunInALoop) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    for (int factor : {2, 4, 8}) {
        IirDecimator d = quiet(factor);
        Biquad lowPass = d.lowPass, correction = d.correction;
        for (int n = 0; n < 300; ++n) {
            double in[8];
            for (double& v : in) v = dist(gen);
            double last = 0.0;
            for (int i = 0; i < factor; ++i) last = lowPass.process(in[i]);
            ASSERT_EQ(d.process(in), d.gain * correction.process(last)) << factor << " " << n;
        }
    }
}

TEST(IirDecimator, FactorOnePassesTheInputPlusNoise) {
    IirDecimator d;
    d.redesign(1, 20);
    std::uint32_t seed = d.noiseSeed;
    for (int n = 0; n < 10; ++n) {
        const double in[8] = {0.1 * n};
        EXPECT_EQ(d.process(in), 0.1 * n + nextNoise(seed, std::ldexp(1.0, -21)));
    }
    EXPECT_EQ(d.lowPass.x1, 0.0);  // no filter runs
}

TEST(IirDecimator, NoiseIsAddedOncePerOutput) {
    IirDecimator d;  // factor 4, noise 2^-21
    std::uint32_t seed = d.noiseSeed;
    const double silence[8] = {};
    for (int n = 0; n < 20; ++n) EXPECT_EQ(d.process(silence), nextNoise(seed, std::ldexp(1.0, -21)));
}

TEST(IirDecimator, RedesignKeepsHistoriesAndSeed) {
    IirDecimator d;
    const double in[8] = {0.3, -0.2, 0.9, 0.1, 0.0, 0.5, -0.4, 0.2};
    for (int n = 0; n < 5; ++n) d.process(in);
    const IirDecimator before = d;
    d.redesign(8, 24);
    EXPECT_EQ(d.lowPass.x1, before.lowPass.x1);
    EXPECT_EQ(d.lowPass.y2, before.lowPass.y2);
    EXPECT_EQ(d.correction.y1, before.correction.y1);
    EXPECT_EQ(d.noiseSeed, before.noiseSeed);
    EXPECT_EQ(d.factor, 8);
    EXPECT_EQ(d.noiseLevel, std::ldexp(1.0, -25));
    EXPECT_EQ(d.lowPass.b0, designLowPass(0.0625).b0);
    EXPECT_EQ(d.gain, 0.9719647251466955);

    d.reset();
    EXPECT_EQ(d.lowPass.x1, 0.0);
    EXPECT_EQ(d.correction.y1, 0.0);
    EXPECT_EQ(d.lowPass.b0, designLowPass(0.0625).b0);
    EXPECT_EQ(d.noiseSeed, before.noiseSeed);
}

}  // namespace
}  // namespace tarvo
