#include "filters/ScoopEq.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "SineResponse.h"

namespace tarvo {
namespace {

using testing::sineGain;
using testing::toDb;

constexpr double kRate = 44100.0 * 4;

/// Gain of one section at f Hz, measured by running it.
double sectionDb(Biquad section, double hz) {
    section.reset();
    return toDb(sineGain([&section](double x) { return section.process(x); }, hz / kRate, 40000, 20000));
}

/// Gain of the whole equaliser, measured by running it.
double curveDb(ScoopEq eq, double hz) {
    eq.reset();
    return toDb(sineGain([&eq](double x) { return eq.process(x); }, hz / kRate, 40000, 2000));
}

struct Landmarks {
    double shelfHz, shelfDb;            // the shelf's level, measured at DC
    double hz[3], db[3];                // the peaks' levels at their centres
    double outputDb;
};

void expectLandmarks(const ScoopEq& eq, const Landmarks& l, double scale) {
    EXPECT_NEAR(toDb(eq.gain), l.outputDb * scale, 1e-12);
    EXPECT_NEAR(sectionDb(eq.shelf, 0.0), l.shelfDb * scale, 1e-9);
    EXPECT_NEAR(sectionDb(eq.shelf, kRate / 2), 0.0, 1e-9);
    const Biquad* peaks[3] = {&eq.peak1, &eq.peak2, &eq.peak3};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(sectionDb(*peaks[i], l.hz[i]), l.db[i] * scale, 1e-6) << l.hz[i];
        EXPECT_NEAR(sectionDb(*peaks[i], 0.0), 0.0, 1e-9) << l.hz[i];
    }
    // The whole curve: the shelf alone acts at DC, nothing but the gain at Nyquist.
    EXPECT_NEAR(curveDb(eq, 0.0), (l.shelfDb + l.outputDb) * scale, 1e-9);
    EXPECT_NEAR(curveDb(eq, kRate / 2), l.outputDb * scale, 1e-9);
}

const Landmarks kPositive{332.0, 6.5, {1452.0, 3470.0, 8200.0}, {7.0, -13.0, 9.0}, -6.57};
const Landmarks kNegative{296.0, -6.5, {1669.0, 3659.0, 8200.0}, {-12.0, 12.0, -12.0}, 3.48};

TEST(ScoopEq, FullDepthUp) { expectLandmarks(designScoop(kRate, 12.0), kPositive, 1.0); }

TEST(ScoopEq, FullDepthDown) { expectLandmarks(designScoop(kRate, -12.0), kNegative, 1.0); }

TEST(ScoopEq, HalfDepthHalvesEveryLevelInDecibels) {
    expectLandmarks(designScoop(kRate, 6.0), kPositive, 0.5);
    expectLandmarks(designScoop(kRate, -6.0), kNegative, 0.5);
}

TEST(ScoopEq, ShelfSlopeFollowsItsLevel) {
    // S = (1 + L^2) / ((1 + L^2) + L / q^2 - 2 L), q = 0.7, L the shelf's level.
    for (double g : {12.0, -12.0, 3.0}) {
        const double level = std::pow(10.0, (g < 0 ? -6.5 : 6.5) * std::fabs(g / 12.0) / 20.0);
        const double slope = (1.0 + level * level) / ((1.0 + level * level) + level / 0.49 - 2.0 * level);
        const double hz = g < 0 ? 296.0 : 332.0;
        const Biquad expected = designLowShelf(hz / kRate, slope, level);
        const ScoopEq eq = designScoop(kRate, g);
        EXPECT_NEAR(eq.shelf.b0, expected.b0, 1e-15) << g;
        EXPECT_NEAR(eq.shelf.c1, expected.c1, 1e-15) << g;
        EXPECT_NEAR(eq.shelf.c2, expected.c2, 1e-15) << g;
    }
}

TEST(ScoopEq, ZeroDecibelsIsFlat) {
    for (const ScoopEq& eq : {ScoopEq(), designScoop(96000.0, 0.0), designScoop(kRate, -0.0)}) {
        ScoopEq e = eq;
        EXPECT_EQ(e.gain, 1.0);
        std::mt19937 gen(1);
        std::uniform_real_distribution<double> dist(-1.0, 1.0);
        for (int n = 0; n < 2000; ++n) {
            const double x = dist(gen);
            ASSERT_NEAR(e.process(x), x, 1e-12);
        }
    }
}

TEST(ScoopEq, SetScoopDesignsWetAndDryOppositeAndKeepsHistories) {
    ScoopEq wet, dry;
    for (int n = 0; n < 50; ++n) {
        wet.process(std::sin(0.1 * n));
        dry.process(std::cos(0.1 * n));
    }
    const ScoopEq wetBefore = wet, dryBefore = dry;

    EXPECT_TRUE(setScoop(wet, dry, std::pow(10.0, -12.0 / 20.0), kRate));
    const ScoopEq down = designScoop(kRate, -12.0), up = designScoop(kRate, 12.0);
    EXPECT_NEAR(wet.peak2.b0, down.peak2.b0, 1e-14);
    EXPECT_NEAR(wet.gain, down.gain, 1e-14);
    EXPECT_NEAR(dry.peak2.b0, up.peak2.b0, 1e-14);
    EXPECT_NEAR(dry.shelf.c1, up.shelf.c1, 1e-14);
    EXPECT_NEAR(dry.gain, up.gain, 1e-14);
    EXPECT_EQ(wet.peak3.x1, wetBefore.peak3.x1);
    EXPECT_EQ(wet.shelf.y2, wetBefore.shelf.y2);
    EXPECT_EQ(dry.peak1.y1, dryBefore.peak1.y1);

    EXPECT_FALSE(setScoop(wet, dry, 1.0, kRate));
    EXPECT_EQ(wet.gain, 1.0);
    EXPECT_EQ(dry.gain, 1.0);
    EXPECT_EQ(wet.peak1.b0, designScoop(kRate, 0.0).peak1.b0);

    wet.reset();
    EXPECT_EQ(wet.peak3.x1, 0.0);
    EXPECT_EQ(wet.shelf.y2, 0.0);
}

TEST(ScoopEq, LowRatesStayFiniteAndStable) {
    // When the 8.2 kHz band meets the Nyquist frequency of the running rate,
    // the peaking design gives 0/0 (16.4 kHz) or poles on the unit circle
    // (16 kHz and 8 kHz at +12 dB); that band is left flat.
    struct Case {
        double rate, g;
        bool flat;
    };
    const Case cases[] = {{16400.0, 12.0, true},  {16400.0, -12.0, true}, {16000.0, 12.0, true},
                          {8000.0, 12.0, true},   {16000.0, -12.0, false}, {11025.0, 12.0, false},
                          {18000.0, -12.0, false}, {22050.0, 12.0, false}};
    for (const Case& c : cases) {
        ScoopEq eq = designScoop(c.rate, c.g);
        EXPECT_EQ(eq.peak3.b0 == 1.0 && eq.peak3.c1 == 0.0 && eq.peak3.c2 == 0.0, c.flat) << c.rate << " " << c.g;
        EXPECT_LT(std::fabs(eq.peak3.c2), 1.0);
        std::mt19937 gen(2);
        std::uniform_real_distribution<double> dist(-1.0, 1.0);
        bool finite = true;
        double biggest = 0.0;
        for (int n = 0; n < 100000; ++n) {
            const double y = eq.process(dist(gen));
            finite = finite && std::isfinite(y);
            biggest = std::fmax(biggest, std::fabs(y));
        }
        EXPECT_TRUE(finite) << c.rate << " " << c.g;
        EXPECT_LT(biggest, 20.0) << c.rate << " " << c.g;
    }
}

}  // namespace
}  // namespace tarvo
