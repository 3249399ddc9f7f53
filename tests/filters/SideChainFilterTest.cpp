#include "filters/SideChainFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "SineResponse.h"

namespace tarvo {
namespace {

using testing::sineGain;
using testing::toDb;

/// |H| of the pair, from its coefficients, for sweeps.
double pairMagnitude(const BiquadPair& p, double f) {
    const std::complex<double> z1 = std::polar(1.0, -6.283185307179586 * f);
    const std::complex<double> z2 = z1 * z1;
    double m = 1.0;
    for (const Biquad* s : {&p.first, &p.second})
        m *= std::abs((s->b0 + s->b1 * z1 + s->b2 * z2) / (1.0 - s->c1 * z1 - s->c2 * z2));
    return m;
}

TEST(SideChainFilter, QFormula) {
    EXPECT_NEAR(sideChainQ(40.0), 0.7528796850613756, 2e-16);
    EXPECT_NEAR(sideChainQ(100.0), 0.43731196796327615, 1e-16);
    EXPECT_NEAR(sideChainQ(260.0), 0.20143585617444257, 1e-16);
}

TEST(SideChainFilter, ConstructionValues) {
    const SideChainFilter filter;
    EXPECT_TRUE(filter.highPassOn);
    const Biquad hp = designHighPass(35.15 / 176400.0, sideChainQ(100.0));
    for (const Biquad* s : {&filter.highPass.first, &filter.highPass.second}) {
        EXPECT_EQ(s->b0, hp.b0);
        EXPECT_EQ(s->c1, hp.c1);
        EXPECT_EQ(s->c2, hp.c2);
    }
    // The shelf's slope comes from 10^-0.325, its gain from 10^-0.151.
    const Biquad shelf = designLowShelf(0.0016780045351473924, 0.9844654613373471, 0.7063175542629619);
    EXPECT_NEAR(filter.shelf.b0, shelf.b0, 1e-15);
    EXPECT_NEAR(filter.shelf.b1, shelf.b1, 1e-15);
    EXPECT_NEAR(filter.shelf.c1, shelf.c1, 1e-15);
    EXPECT_NEAR(filter.shelf.c2, shelf.c2, 1e-15);
}

TEST(SideChainFilter, HighPassIsThreeDecibelsDownAtItsCorner) {
    const double rate = 44100.0 * 4;
    SideChainFilter filter;
    filter.design(44100.0, 4, 100.0);
    EXPECT_TRUE(filter.highPassOn);
    const auto run = [&filter](double x) { return filter.process(x); };
    EXPECT_NEAR(toDb(sineGain(run, 100.0 / rate, 60000, 17640)), -3.01, 0.005);
    filter.reset();
    EXPECT_NEAR(toDb(sineGain(run, 1000.0 / rate, 60000, 17640)), 0.0, 0.04);
    filter.reset();
    EXPECT_NEAR(toDb(sineGain(run, 5000.0 / rate, 60000, 17640)), 0.0, 0.002);
    filter.reset();
    EXPECT_NEAR(sineGain(run, 0.0, 60000, 1000), 0.0, 1e-9);
}

TEST(SideChainFilter, CornerHoldsAcrossTheRangeWithoutAPeak) {
    for (double corner : {40.001, 60.0, 100.0, 180.0, 260.0}) {
        for (double rate : {44100.0, 96000.0}) {
            SideChainFilter filter;
            filter.design(rate, 4, corner);
            const double r = rate * 4;
            EXPECT_NEAR(toDb(pairMagnitude(filter.highPass, corner / r)), -3.01, 0.005) << corner;
            double peak = 0.0;
            for (double hz = 10.0; hz < 20000.0; hz *= 1.01) peak = std::fmax(peak, pairMagnitude(filter.highPass, hz / r));
            EXPECT_LT(toDb(peak), 0.122) << corner;  // 0.1216 dB just above 40 Hz
        }
    }
}

TEST(SideChainFilter, ShelfWhenOff) {
    const double rate = 48000.0 * 2;
    SideChainFilter filter;
    filter.design(48000.0, 2, 0.0);
    EXPECT_FALSE(filter.highPassOn);
    const double g = 0.7063175542629619;
    const Biquad shelf = designLowShelf(296.0 / rate, 0.9811291300808243, g);
    EXPECT_NEAR(filter.shelf.b0, shelf.b0, 1e-15);
    EXPECT_NEAR(filter.shelf.c1, shelf.c1, 1e-15);
    const auto run = [&filter](double x) { return filter.process(x); };
    EXPECT_NEAR(sineGain(run, 0.0, 40000, 1000), g, 1e-12);
    filter.reset();
    EXPECT_NEAR(sineGain(run, 0.5, 40000, 1000), 1.0, 1e-9);
}

TEST(SideChainFilter, RedesignCopiesCoefficientsOnly) {
    SideChainFilter filter;
    filter.design(44100.0, 4, 120.0);
    for (int n = 0; n < 100; ++n) filter.process(std::sin(0.01 * n));
    const SideChainFilter before = filter;

    filter.design(44100.0, 8, 0.0);  // to the shelf: the pair is left as it was
    EXPECT_FALSE(filter.highPassOn);
    EXPECT_EQ(filter.highPass.first.b0, before.highPass.first.b0);
    EXPECT_EQ(filter.highPass.second.y1, before.highPass.second.y1);
    EXPECT_EQ(filter.shelf.x1, before.shelf.x1);
    EXPECT_NE(filter.shelf.b0, before.shelf.b0);

    filter.design(44100.0, 8, 200.0);  // back to the pair, histories kept
    EXPECT_TRUE(filter.highPassOn);
    EXPECT_EQ(filter.highPass.first.x1, before.highPass.first.x1);
    EXPECT_EQ(filter.highPass.second.y2, before.highPass.second.y2);
    EXPECT_EQ(filter.highPass.first.b0, designHighPass(35.15 / (44100.0 * 8), sideChainQ(200.0)).b0);

    filter.reset();
    EXPECT_EQ(filter.highPass.first.x1, 0.0);
    EXPECT_EQ(filter.highPass.second.y1, 0.0);
    EXPECT_EQ(filter.shelf.y1, 0.0);
    EXPECT_TRUE(filter.highPassOn);
}

}  // namespace
}  // namespace tarvo
