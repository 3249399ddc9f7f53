#include "filters/DetectorDesign.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>

namespace tarvo {
namespace {

constexpr double kTwoPi = 6.283185307179586;

double magnitude(const Biquad& s, double f) {
    const std::complex<double> z1 = std::polar(1.0, -kTwoPi * f);
    const std::complex<double> z2 = z1 * z1;
    return std::abs((s.b0 + s.b1 * z1 + s.b2 * z2) / (1.0 - s.c1 * z1 - s.c2 * z2));
}

double largestPoleRadius(const Biquad& s) {
    const std::complex<double> d = std::sqrt(std::complex<double>(s.c1 * s.c1 + 4.0 * s.c2));
    return std::max(std::abs(0.5 * s.c1 + 0.5 * d), std::abs(0.5 * s.c1 - 0.5 * d));
}

TEST(DesignEnvelope, SoftCurveIsTheScaledSmoothStepPolynomial) {
    const EnvelopeDesign d = designEnvelope(false, 0.01, 0.001, 0.1);
    EXPECT_EQ(d.softWidth, 0.025);
    const double numerators[8] = {6435, -40040, 108108, -163800, 150150, -83160, 25740, -3432};
    for (int k = 9; k <= 16; ++k)
        EXPECT_NEAR(d.softCurve[k - 9] * std::pow(0.025, k - 1) / numerators[k - 9], 1.0, 1e-15) << k;
    // u(d) = sum q_k d^k meets u(d) = d at the edge with equal value and slope.
    double value = 0.0, slope = 0.0;
    for (int k = 9; k <= 16; ++k) {
        value += d.softCurve[k - 9] * std::pow(0.025, k);
        slope += k * d.softCurve[k - 9] * std::pow(0.025, k - 1);
    }
    EXPECT_NEAR(value, 0.025, 1e-11);  // terms reach 4e3: cancellation
    EXPECT_NEAR(slope, 1.0, 1e-9);
}

TEST(DesignEnvelope, CoefficientsFromFrequencies) {
    // 1 ms at 176400 Hz: 1 / (1 + 176.4 / (2 pi)).
    const EnvelopeDesign d = designEnvelope(false, 1.0 / 176.4, 1.0 / 1764.0, 0.125);
    EXPECT_NEAR(d.attackCoefficient, 0.0343938895997159521, 1e-16);
    EXPECT_NEAR(d.releaseCoefficient, 1.0 / (1.0 + 1764.0 / kTwoPi), 1e-16);
    // A zero time is f = 1/(2 pi): coefficient 0.5.
    const double f0 = timeToFrequency(0.0, 176400.0);
    EXPECT_DOUBLE_EQ(designEnvelope(false, f0, f0, 0.1).attackCoefficient, 0.5);
}

TEST(DesignEnvelope, OutputLowPassCornerByMode) {
    // Not alpha: at the larger of fa and fr, whichever it is.
    EXPECT_NEAR(magnitude(designEnvelope(false, 0.02, 0.001, 0.3).outputFilter, 0.02),
                1.0 / std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(magnitude(designEnvelope(false, 0.001, 0.03, 0.3).outputFilter, 0.03),
                1.0 / std::sqrt(2.0), 1e-12);
    // Alpha: at fc.
    const EnvelopeDesign alpha = designEnvelope(true, 0.02, 0.001, 0.125);
    EXPECT_NEAR(magnitude(alpha.outputFilter, 0.125), 1.0 / std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(magnitude(alpha.outputFilter, 0.0), 1.0, 1e-12);
}

TEST(DesignEnvelope, CutoffBeyondHalfTheRateStaysStable) {
    // 0.1 ms attack at 8000 Hz without oversampling: fa = 1.25 cycles/sample.
    const EnvelopeDesign d = designEnvelope(false, timeToFrequency(0.0001, 8000.0), 0.001, 0.49);
    EXPECT_LT(largestPoleRadius(d.outputFilter), 1.0);
    EXPECT_NEAR(magnitude(d.outputFilter, 0.49), 1.0 / std::sqrt(2.0), 1e-9);
    const EnvelopeDesign mirrored = designEnvelope(false, 0.75, 0.001, 0.49);
    EXPECT_LT(largestPoleRadius(mirrored.outputFilter), 1.0);
    // Just below half the rate the design is taken as it is.
    EXPECT_NEAR(magnitude(designEnvelope(false, 0.495, 0.001, 0.1).outputFilter, 0.495),
                1.0 / std::sqrt(2.0), 1e-9);
}

TEST(TimeToFrequency, ReciprocalOfSamplesOrTheHalfCoefficient) {
    EXPECT_DOUBLE_EQ(timeToFrequency(0.01, 176400.0), 1.0 / 1764.0);
    EXPECT_DOUBLE_EQ(timeToFrequency(0.0, 44100.0), 1.0 / kTwoPi);
    EXPECT_DOUBLE_EQ(timeToFrequency(-1.0, 44100.0), 1.0 / kTwoPi);
}

TEST(DetectorTiming, ModeTable) {
    struct Row {
        bool alpha;
        double attack, a, b, gain;
    } rows[] = {
        {true, 0.5, 0.00005, 0.001, 1.106},   {false, 0.0, 0.001, 0.05, 1.065},
        {false, 0.0095, 0.001, 0.05, 1.065},  {false, 0.00951, 0.01, 0.05, 1.193},
        {false, 0.02, 0.01, 0.05, 1.193},     {false, 0.0245, 0.01, 0.05, 1.193},
        {false, 0.02451, 0.025, 0.05, 1.294}, {false, 1.0, 0.025, 0.05, 1.294},
    };
    for (const Row& r : rows) {
        const DetectorTiming t = detectorTiming(r.alpha, r.attack);
        EXPECT_EQ(t.attackSeconds, r.a) << r.attack;
        EXPECT_EQ(t.releaseSeconds, r.b) << r.attack;
        EXPECT_NEAR(t.detectorGain, r.gain, 0.0006) << r.attack;
    }
    EXPECT_DOUBLE_EQ(detectorTiming(false, 0.02).detectorGain, std::pow(10.0, 0.0768));
    EXPECT_DOUBLE_EQ(detectorTiming(true, 0.0).detectorGain, std::pow(10.0, 0.0439));
}

TEST(LimiterWindow, LengthIsCeilingOfPointSixThreeMilliseconds) {
    EXPECT_EQ(limiterWindowLength(44100.0 * 4), 112u);
    EXPECT_EQ(limiterWindowLength(44100.0), 28u);
    EXPECT_EQ(limiterWindowLength(48000.0 * 8), 242u);  // 241.92
    EXPECT_EQ(limiterWindowLength(96000.0 * 2), 121u);  // 120.96
    // Nonsense rates still give a usable window.
    EXPECT_EQ(limiterWindowLength(0.0), 2u);
    EXPECT_EQ(limiterWindowLength(-44100.0), 2u);
    EXPECT_EQ(limiterWindowLength(std::numeric_limits<double>::quiet_NaN()), 2u);
    EXPECT_EQ(limiterWindowLength(1e300), 1048576u);
}

TEST(LimiterFilters, SmoothingSectionsAtTheirFrequencies) {
    const double rate = 176400.0;
    const LimiterFilters f = designLimiterFilters(rate);
    const Biquad expected[3] = {designSmoothingLowPass(3571.4285714285716 / rate),
                                designSmoothingLowPass(115.66265060240964 / rate),
                                designSmoothingLowPass(10.0 / rate)};
    const Biquad* got[3] = {&f.peak, &f.release, &f.average};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(got[i]->b0, expected[i].b0) << i;
        EXPECT_EQ(got[i]->c1, expected[i].c1) << i;
        EXPECT_EQ(got[i]->c2, expected[i].c2) << i;
        EXPECT_NEAR(magnitude(*got[i], 0.0), 1.0, 1e-9) << i;
        EXPECT_NEAR(magnitude(*got[i], 0.5), 0.0, 1e-12) << i;
    }
    // The faster the section, the more it passes at 1 kHz.
    EXPECT_GT(magnitude(f.peak, 1000.0 / rate), magnitude(f.release, 1000.0 / rate));
    EXPECT_GT(magnitude(f.release, 1000.0 / rate), magnitude(f.average, 1000.0 / rate));
}

TEST(SilenceHold, TwiceRateTimesRelease) {
    EXPECT_EQ(silenceHoldSamples(48000.0, 0.1), 9600u);
    EXPECT_EQ(silenceHoldSamples(44100.0, 0.05), 4410u);
    EXPECT_EQ(silenceHoldSamples(44100.0, 0.0123), 1084u);  // 1084.86 truncated
    EXPECT_EQ(silenceHoldSamples(44100.0, 0.0), 0u);
    EXPECT_EQ(silenceHoldSamples(44100.0, std::numeric_limits<double>::quiet_NaN()), 0u);
    EXPECT_EQ(silenceHoldSamples(1e300, 1.0), 4294967295u);
}

}  // namespace
}  // namespace tarvo
