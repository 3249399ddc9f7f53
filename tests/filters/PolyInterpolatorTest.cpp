#include "filters/PolyInterpolator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "filters/NoiseGenerator.h"

namespace tarvo {
namespace {

/// Sample positions of b, c, d, e, x relative to d.
constexpr double kPosition[5] = {-2.0, -1.0, 0.0, 1.0, 2.0};

PolyInterpolator quiet(int factor) {
    PolyInterpolator p;
    p.factor = factor;
    p.noiseLevel = 0.0;
    return p;
}

TEST(PolyInterpolator, ConstructionValues) {
    const PolyInterpolator p;
    EXPECT_EQ(p.factor, 4);
    EXPECT_EQ(p.noiseLevel, 2.9802322387695312e-08);
    EXPECT_EQ(p.noiseLevel, std::ldexp(1.0, -25));
    for (double h : p.history) EXPECT_EQ(h, 0.0);
}

TEST(PolyInterpolator, WeightsReproduceCubicsAtTheirPositions) {
    for (int row = 0; row < 8; ++row) {
        const double p = row / 8.0;
        for (int power = 0; power <= 3; ++power) {
            double sum = 0.0;
            for (int i = 0; i < 5; ++i) sum += PolyInterpolator::kWeights[row][i] * std::pow(kPosition[i], power);
            EXPECT_NEAR(sum, std::pow(p, power), 2e-15) << "row " << row << " power " << power;
        }
    }
    // The rows in small fractions.
    const double half[5] = {1, -7, 33, 23, -2};
    const double quarter[5] = {3, -19, 123, 23, -2};
    const double threeQuarters[5] = {1, -9, 41, 101, -6};
    for (int i = 0; i < 5; ++i) {
        EXPECT_NEAR(PolyInterpolator::kWeights[4][i] * 48.0, half[i], 1e-13);
        EXPECT_EQ(PolyInterpolator::kWeights[2][i] * 128.0, quarter[i]);
        EXPECT_EQ(PolyInterpolator::kWeights[6][i] * 128.0, threeQuarters[i]);
    }
}

TEST(PolyInterpolator, ImpulseResponseWalksThroughTheWeights) {
    // An impulse at call 0 is x, then e, d, c and b of the following calls.
    for (int factor : {2, 4, 8}) {
        PolyInterpolator p = quiet(factor);
        for (int call = 0; call < 7; ++call) {
            double out[8];
            p.process(call == 0 ? 1.0 : 0.0, out);
            for (int j = 0; j < factor; ++j) {
                const int role = 4 - call;  // 4 = x, 3 = e, 2 = d, 1 = c, 0 = b
                const double expected = role >= 0 ? PolyInterpolator::kWeights[j * 8 / factor][role] : 0.0;
                EXPECT_EQ(out[j], expected) << "factor " << factor << " call " << call << " j " << j;
            }
        }
    }
}

TEST(PolyInterpolator, CubicInputIsInterpolatedTwoSamplesLate) {
    const auto cubic = [](double t) { return 0.3 + 0.02 * t - 0.004 * t * t + 0.0001 * t * t * t; };
    for (int factor : {1, 2, 4, 8}) {
        PolyInterpolator p = quiet(factor);
        for (int n = 0; n < 40; ++n) {
            double out[8];
            p.process(cubic(n), out);
            if (n < 4) continue;
            for (int j = 0; j < factor; ++j)
                EXPECT_NEAR(out[j], cubic(n - 2 + static_cast<double>(j) / factor), 1e-13)
                    << "factor " << factor << " n " << n << " j " << j;
        }
    }
}

TEST(PolyInterpolator, ConstantSettlesOnEveryOutput) {
    PolyInterpolator p = quiet(4);
    double out[8];
    for (int n = 0; n < 8; ++n) p.process(-0.7, out);
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(out[j], -0.7, 0.7e-15);
}

TEST(PolyInterpolator, NoiseIsAddedBeforeTheHistory) {
    PolyInterpolator p;
    p.factor = 1;
    std::uint32_t seed = p.noiseSeed;
    double out[8];
    double noise[3];
    for (int n = 0; n < 3; ++n) {
        noise[n] = nextNoise(seed, p.noiseLevel);
        p.process(0.5, out);
        EXPECT_EQ(p.history[3], 0.5 + noise[n]);
    }
    EXPECT_EQ(out[0], 0.5 + noise[0]);  // factor 1: the input two calls ago
    EXPECT_EQ(p.noiseSeed, seed);
    EXPECT_EQ(p.history[1], out[0]);
}

TEST(PolyInterpolator, RunGivesProcessBitForBitAndStartsEachFrameOnTheInputTwoFramesBack) {
    // Infinities and signed zeros among the inputs: the first output of a
    // frame is d itself (no weighted sum, in which 0 * inf is NaN and
    // -0 + 0 is +0), whatever its neighbours hold.
    constexpr double inf = std::numeric_limits<double>::infinity();
    const double in[12] = {0.5, -0.0, inf, 0.25, -0.75, -inf, 1e-300, 0.0, -0.0, 2.0, -0.0, 0.125};
    for (int factor : {1, 2, 4, 8}) {
        PolyInterpolator run;
        run.factor = factor;
        PolyInterpolator single = run;
        double out[12 * 8], newest[12];
        run.processRun(in, 0.5, 12, out, newest);
        for (int j = 0; j < 12; ++j) {
            double frame[8];
            single.process(0.5 * in[j], frame);
            EXPECT_EQ(std::memcmp(frame, out + j * factor, factor * sizeof(double)), 0)
                << "factor " << factor << " frame " << j;
            EXPECT_EQ(std::memcmp(&single.history[3], &newest[j], sizeof(double)), 0);
            if (j >= 2) {
                EXPECT_EQ(std::memcmp(&out[j * factor], &newest[j - 2], sizeof(double)), 0)
                    << "factor " << factor << " frame " << j;
            }
        }
        EXPECT_EQ(run.noiseSeed, single.noiseSeed);
    }
}

TEST(PolyInterpolator, ResetClearsHistoryOnly) {
    PolyInterpolator p;
    p.factor = 8;
    double out[8];
    p.process(1.0, out);
    p.process(2.0, out);
    const std::uint32_t seed = p.noiseSeed;
    p.reset();
    for (double h : p.history) EXPECT_EQ(h, 0.0);
    EXPECT_EQ(p.noiseSeed, seed);
    EXPECT_EQ(p.factor, 8);
    EXPECT_EQ(p.noiseLevel, std::ldexp(1.0, -25));
}

}  // namespace
}  // namespace tarvo
