#include "filters/HalfbandFir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "filters/HalfbandKernel.h"

namespace tarvo {
namespace {

constexpr double kCentre = 0.5000000000464324;

double kernel(int k) { return kHalfbandKernel[2 * k + 1]; }

std::vector<double> randomSignal(int n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> x(n);
    for (double& v : x) v = dist(gen);
    return x;
}

/// Plain convolution with the full 345-tap table: (h * v)[m].
double convolve(const std::vector<double>& v, int m) {
    double sum = 0.0;
    for (int i = 0; i < kHalfbandLength; ++i)
        if (m - i >= 0 && m - i < static_cast<int>(v.size())) sum += kHalfbandKernel[i] * v[m - i];
    return sum;
}

TEST(HalfbandFir, WorkingCopyOfTheOddPhase) {
    const HalfbandFir fir;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(fir.taps.data()) % 16, 0u);
    EXPECT_EQ(fir.tapCount, 176);
    EXPECT_EQ(fir.activeTaps, 172);
    for (int k = 0; k < 172; ++k) EXPECT_EQ(fir.taps[k], kernel(k)) << k;
    for (int k = 172; k < 176; ++k) EXPECT_EQ(fir.taps[k], 0.0);
    EXPECT_EQ(fir.centre, kCentre);
    EXPECT_EQ(fir.delay.writeIndex, 173);
    EXPECT_EQ(HalfbandDelayLine::kStorage, 356);
}

TEST(HalfbandDelayLine, CopyDownKeepsTheHistory) {
    HalfbandDelayLine line;
    for (int n = 0; n < 1000; ++n) {
        line.push(n + 1.0);
        ASSERT_GE(line.writeIndex, 0);
        ASSERT_LT(line.writeIndex, 173);
        for (int j = 0; j <= 175; ++j) {
            const double expected = n - j >= 0 ? n - j + 1.0 : 0.0;
            // Slots past the kernel's 173 samples only meet zero taps.
            if (j < 173) {
                ASSERT_EQ(line.at(j), expected) << n << " " << j;
            }
        }
    }
    line.reset();
    EXPECT_EQ(line.writeIndex, 173);
    for (int i = 0; i < HalfbandDelayLine::kStorage; ++i) EXPECT_EQ(line.slots[i], 0.0);
}

TEST(HalfbandInterpolator, ImpulseResponseAndLatency) {
    HalfbandInterpolator up;
    EXPECT_EQ(up.activeTaps(), 172);
    for (int n = 0; n < 400; ++n) {
        double y0, y1;
        up.process(n == 0 ? 1.0 : 0.0, y0, y1);
        EXPECT_EQ(y0, n == 86 ? 2.0 * kCentre : 0.0) << n;
        EXPECT_EQ(y1, n < 172 ? 2.0 * kernel(n) : 0.0) << n;
    }
}

TEST(HalfbandInterpolator, SettlesOnAConstant) {
    HalfbandInterpolator up;
    double y0 = 0, y1 = 0;
    for (int n = 0; n < 600; ++n) up.process(1.0, y0, y1);
    EXPECT_EQ(y0, 1.0000000000928648);
    EXPECT_NEAR(y1, 0.9999999999071364, 1.2e-16);
}

TEST(HalfbandInterpolator, MatchesAPlainConvolutionAcrossCopyDowns) {
    const std::vector<double> x = randomSignal(1000, 1);
    std::vector<double> stuffed(2 * x.size(), 0.0);  // u[2n] = 2 x[n]
    for (size_t n = 0; n < x.size(); ++n) stuffed[2 * n] = 2.0 * x[n];
    HalfbandInterpolator up;
    for (int n = 0; n < 1000; ++n) {
        double y0, y1;
        up.process(x[n], y0, y1);
        ASSERT_NEAR(y0, convolve(stuffed, 2 * n), 4e-15) << n;
        ASSERT_NEAR(y1, convolve(stuffed, 2 * n + 1), 4e-15) << n;
    }
}

TEST(HalfbandInterpolator, ResetAndStateCopy) {
    const std::vector<double> x = randomSignal(700, 2);
    HalfbandInterpolator a, b, fresh;
    for (int n = 0; n < 400; ++n) {
        double y0, y1;
        a.process(x[n], y0, y1);
    }
    b.copyStateFrom(a);
    for (int n = 400; n < 700; ++n) {
        double a0, a1, b0, b1;
        a.process(x[n], a0, a1);
        b.process(x[n], b0, b1);
        ASSERT_EQ(a0, b0);
        ASSERT_EQ(a1, b1);
    }
    a.reset();
    EXPECT_EQ(a.fir().delay.writeIndex, 173);
    for (int n = 0; n < 300; ++n) {
        double a0, a1, f0, f1;
        a.process(x[n], a0, a1);
        fresh.process(x[n], f0, f1);
        ASSERT_EQ(a0, f0);
        ASSERT_EQ(a1, f1);
    }
}

TEST(HalfbandDecimator, ImpulseResponseAndLatency) {
    HalfbandDecimator older, newer;
    EXPECT_EQ(older.activeTaps(), 172);
    for (int n = 0; n < 400; ++n) {
        const double pulse = n == 0 ? 1.0 : 0.0;
        // The older sample of a pair reaches the output after 85 pairs,
        // through the centre tap alone.
        EXPECT_EQ(older.process(pulse, 0.0), n == 85 ? kCentre : 0.0) << n;
        EXPECT_EQ(newer.process(0.0, pulse), n < 172 ? kernel(n) : 0.0) << n;
    }
}

TEST(HalfbandDecimator, SettlesOnAConstant) {
    HalfbandDecimator down;
    double y = 0;
    for (int n = 0; n < 600; ++n) y = down.process(1.0, 1.0);
    EXPECT_NEAR(y, 1.0000000000000006, 1.2e-16);
}

TEST(HalfbandDecimator, MatchesAPlainConvolutionAcrossCopyDowns) {
    const std::vector<double> v = randomSignal(2000, 3);  // v[2n] = u0, v[2n+1] = u1
    HalfbandDecimator down;
    for (int n = 0; n < 1000; ++n) {
        const double y = down.process(v[2 * n], v[2 * n + 1]);
        ASSERT_NEAR(y, convolve(v, 2 * n + 2), 4e-15) << n;
    }
    down.reset();
    HalfbandDecimator fresh;
    for (int n = 0; n < 300; ++n) ASSERT_EQ(down.process(v[2 * n], v[2 * n + 1]), fresh.process(v[2 * n], v[2 * n + 1]));
}

TEST(HalfbandStages, InterpolateThenDecimateIsALinearPhaseDelayOf171) {
    // A full 2:1 pair with nothing in between: an impulse comes back as a
    // symmetric pulse centred 86 + 85 = 171 samples later, whose peak is
    // 2 (h * h)[344] = 2 sum h[i]^2.
    HalfbandInterpolator up;
    HalfbandDecimator down;
    std::vector<double> y;
    for (int n = 0; n < 400; ++n) {
        double y0, y1;
        up.process(n == 0 ? 1.0 : 0.0, y0, y1);
        y.push_back(down.process(y0, y1));
    }
    int peak = 0;
    for (int n = 0; n < 400; ++n)
        if (std::fabs(y[n]) > std::fabs(y[peak])) peak = n;
    EXPECT_EQ(peak, 171);
    double energy = 0.0;
    for (int i = 0; i < kHalfbandLength; ++i) energy += kHalfbandKernel[i] * kHalfbandKernel[i];
    EXPECT_NEAR(y[171], 2.0 * energy, 1e-15);
    for (int k = 1; k <= 171; ++k) EXPECT_NEAR(y[171 - k], y[171 + k], 1e-15) << k;
}

}  // namespace
}  // namespace tarvo
