#include "filters/Biquad.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

namespace tarvo {
namespace {

/// |H(e^jw)| of a section, from its coefficients.
double magnitude(const Biquad& s, double f) {
    const std::complex<double> z1 = std::polar(1.0, -6.283185307179586 * f);
    const std::complex<double> z2 = z1 * z1;
    return std::abs((s.b0 + s.b1 * z1 + s.b2 * z2) / (1.0 - s.c1 * z1 - s.c2 * z2));
}

TEST(BiquadDesign, LandmarkGains) {
    EXPECT_NEAR(magnitude(designLowPass(0.125), 0.125), 1.0 / std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(magnitude(designLowPass(0.125), 0.0), 1.0, 1e-12);
    EXPECT_NEAR(magnitude(designHighPass(0.01, 0.7), 0.0), 0.0, 1e-12);
    EXPECT_NEAR(magnitude(designHighPass(0.01, 0.7), 0.5), 1.0, 1e-12);
    EXPECT_NEAR(magnitude(designLowShelf(0.01, 0.9, 0.5), 0.0), 0.5, 1e-12);
    EXPECT_NEAR(magnitude(designLowShelf(0.01, 0.9, 0.5), 0.5), 1.0, 1e-12);
    const Biquad peak = designPeak(0.05, 0.3, 2.0);
    EXPECT_NEAR(magnitude(peak, 0.05), 2.0, 1e-12);
    EXPECT_NEAR(magnitude(peak, 0.0), 1.0, 1e-12);
    EXPECT_NEAR(magnitude(peak, 0.5), 1.0, 1e-12);
    EXPECT_EQ(peak.a0, 0.0);
    EXPECT_NEAR(magnitude(designCorrectionShelf(0.36062, 0.64016, 1.31635), 0.0),
                1.028757465584874, 1e-14);
}

TEST(BiquadDesign, SmoothingLowPassPolesAndDcGain) {
    const Biquad s = designSmoothingLowPass(10.0 / 44100.0);
    EXPECT_NEAR(magnitude(s, 0.0), 1.0, 1e-10);  // 1 - c1 - c2 is tiny here
    // Poles are the roots of z^2 - c1 z - c2.
    const std::complex<double> root =
        0.5 * s.c1 + 0.5 * std::sqrt(std::complex<double>(s.c1 * s.c1 + 4.0 * s.c2));
    EXPECT_NEAR(root.real(), 0.9978643842298396, 1e-15);
    EXPECT_NEAR(std::abs(root.imag()), 0.0012312441138898162, 1e-15);
}

TEST(Biquad, ProcessIsDirectFormOneAndResetKeepsCoefficients) {
    Biquad s = designLowPass(0.1);
    const Biquad design = s;
    // Impulse response against the difference equation written out.
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (int n = 0; n < 20; ++n) {
        const double x = n == 0 ? 1.0 : 0.0;
        const double expected = design.b0 * x + design.b1 * x1 + design.b2 * x2 +
                                design.c1 * y1 + design.c2 * y2;
        x2 = x1; x1 = x; y2 = y1; y1 = expected;
        EXPECT_DOUBLE_EQ(s.process(x), expected);
    }
    s.reset();
    EXPECT_EQ(s.x1, 0.0);
    EXPECT_EQ(s.y2, 0.0);
    EXPECT_EQ(s.b0, design.b0);
    EXPECT_EQ(s.c2, design.c2);
}

TEST(Biquad, RedesignKeepsHistory) {
    Biquad s = designLowPass(0.1);
    s.process(1.0);
    s.process(0.5);
    const Biquad before = s;
    s.setCoefficients(designLowPass(0.2));
    EXPECT_EQ(s.x1, before.x1);
    EXPECT_EQ(s.y1, before.y1);
    EXPECT_EQ(s.b0, designLowPass(0.2).b0);

    BiquadPair pair = joinPair(designHighPass(0.001, 0.5), designHighPass(0.001, 0.5));
    EXPECT_EQ(pair.first.x1, 0.0);
    EXPECT_EQ(pair.second.b0, designHighPass(0.001, 0.5).b0);
}

TEST(BiquadDesign, EveryDesignStartsFromAClearedRecord) {
    const Biquad designs[] = {designLowPass(0.1),         designHighPass(0.01, 0.5),
                              designLowShelf(0.01, 0.9, 0.5), designCorrectionShelf(0.36, 0.64, 1.3),
                              designPeak(0.05, 0.3, 2.0),  designSmoothingLowPass(0.001)};
    for (const Biquad& s : designs) {
        EXPECT_EQ(s.x1, 0.0);
        EXPECT_EQ(s.x2, 0.0);
        EXPECT_EQ(s.y1, 0.0);
        EXPECT_EQ(s.y2, 0.0);
    }
    for (int i = 0; i < 6; ++i) EXPECT_EQ(designs[i].a0, i == 4 ? 0.0 : 1.0) << i;
}

TEST(BiquadDesign, CorrectionShelfB0IsTheSquareRootOfItsGain) {
    // Only b0 differs from the cookbook high shelf: b0 = A to within one rounding.
    for (double g : {1.29853, 1.31635, 1.31922, 1.277}) {
        const double a = std::sqrt(g);
        EXPECT_NEAR(designCorrectionShelf(0.36, 0.64, g).b0, a, a * 2.3e-16) << g;
    }
    EXPECT_NEAR(magnitude(designCorrectionShelf(0.36232, 0.64098, 1.29853), 0.0), 1.0274470774863789, 1e-14);
    EXPECT_NEAR(magnitude(designCorrectionShelf(0.359445, 0.63849, 1.31922), 0.0), 1.0288439221382981, 1e-14);
}

TEST(BiquadDesign, SmoothingLowPassHasADoubleZeroAtNyquist) {
    const Biquad s = designSmoothingLowPass(0.01);
    EXPECT_EQ(s.b1, 2.0 * s.b0);
    EXPECT_NEAR(magnitude(s, 0.5), 0.0, 1e-15);
}

TEST(BiquadPair, JoinPairClearsStateAndRunsFirstThenSecond) {
    Biquad first = designLowPass(0.05), second = designHighPass(0.01, 0.7);
    first.process(1.0);
    second.process(-1.0);
    BiquadPair pair = joinPair(first, second);
    EXPECT_EQ(pair.first.x1, 0.0);
    EXPECT_EQ(pair.second.y1, 0.0);
    Biquad a = designLowPass(0.05), b = designHighPass(0.01, 0.7);
    for (int n = 0; n < 50; ++n) {
        const double x = std::sin(0.3 * n);
        ASSERT_EQ(pair.process(x), b.process(a.process(x)));
    }
}

}  // namespace
}  // namespace tarvo
