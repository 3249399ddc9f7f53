#include "engine/SoftClipper.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace tarvo {
namespace {

TEST(SoftClipper, SmallSignalGainAndZero) {
    const SoftClipper c;
    EXPECT_EQ(c.clipLevel, 3.981);
    EXPECT_EQ(c.shape(0.0), 0.0);
    for (double x : {1e-6, -1e-6, 1e-5}) EXPECT_NEAR(c.shape(x) / x, 1.043653138515045, 1e-6) << x;
    // Second-order term: the gain grows on the positive side, falls on the negative.
    const double x = 0.01 * 3.981;
    EXPECT_NEAR(c.shape(x) / x, 1.043653138515045 + 0.051012188210767 * 0.01, 1e-5);
    EXPECT_NEAR(c.shape(-x) / -x, 1.043653138515045 - 0.051012188210767 * 0.01, 1e-5);
}

TEST(SoftClipper, AsymmetricHalfWaves) {
    SoftClipper c;
    c.clipLevel = 2.0;
    EXPECT_NEAR(c.shape(2.0) / 2.0, 0.921944449755292, 1e-13);
    EXPECT_NEAR(-c.shape(-2.0) / 2.0, 0.937939225316856, 1e-13);
    // Extremes of the normalised curve.
    double top = -10, bottom = 10, uTop = 0, uBottom = 0;
    for (int i = -20000; i <= 20000; ++i) {
        const double u = i * 1e-4;
        const double s = c.shape(u * 2.0) / 2.0;
        if (s > top) top = s, uTop = u;
        if (s < bottom) bottom = s, uBottom = u;
    }
    EXPECT_NEAR(top, 0.986599560857524, 1e-8);
    EXPECT_NEAR(uTop, 1.2518, 1e-3);
    EXPECT_NEAR(bottom, -1.109596034053620, 1e-8);
    EXPECT_NEAR(uBottom, -1.4463, 1e-3);
}

TEST(SoftClipper, ClampValues) {
    const SoftClipper c;
    const double high = c.shape(7.666);
    EXPECT_NEAR(high, 2.23649854028745, 1e-12);
    EXPECT_NEAR(c.shape(-7.673), -3.67153639011727, 1e-12);
    for (double x : {7.67, 10.0, 1e6, HUGE_VAL}) EXPECT_EQ(c.shape(x), high) << x;
    for (double x : {-7.68, -10.0, -1e6, -HUGE_VAL}) EXPECT_EQ(c.shape(x), c.shape(-7.673)) << x;
    // Just inside the clamp the curve still moves.
    EXPECT_NE(c.shape(7.6), high);
}

TEST(SoftClipper, EvaluationOrder) {
    SoftClipper c;
    c.clipLevel = 1.7;
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> dist(-3.2, 3.2);  // inside the clamp
    for (int i = 0; i < 1000; ++i) {
        const double x = dist(rng);
        const double u = x / 1.7;
        const double u2 = u * u, u4 = u2 * u2;
        double b = 0.011322488095808 * (u2 * u);
        b -= 0.076851680685586 * u;
        b -= 0.001614452827801 * u4;
        b += 0.019456557521838 * u2;
        b -= 0.076851680685586;
        double s = u4 * b;
        s += (0.051012188210767 - 0.048182108389193 * u) * u2;
        s += 1.043653138515045 * u;
        EXPECT_EQ(c.shape(x), s * 1.7) << x;
    }
}

}  // namespace
}  // namespace tarvo
