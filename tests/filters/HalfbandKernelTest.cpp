#include "filters/HalfbandKernel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace tarvo {
namespace {

constexpr int kCentre = kHalfbandCentreIndex;

/// Zero-phase response H(f) = h[172] + 2 sum_d h[172 + d] cos(2 pi f d), in
/// long double so that errors of 1e-10 are seen clearly.
long double response(double f) {
    long double sum = kHalfbandKernel[kCentre];
    for (int d = 1; d <= kCentre; d += 2)
        sum += 2.0L * kHalfbandKernel[kCentre + d] * std::cos(2.0L * 3.14159265358979323846L * f * d);
    return sum;
}

double responseDb(double f) { return 20.0 * std::log10(std::fabs(static_cast<double>(response(f)))); }

TEST(HalfbandKernel, ShapeAndCentre) {
    std::uint64_t bits;
    std::memcpy(&bits, &kHalfbandKernel[kCentre], sizeof bits);
    EXPECT_EQ(bits, 0x3FE00000000661B2u);
    EXPECT_EQ(kHalfbandKernel[kCentre], 0.5000000000464324);
    for (int i = 0; i < kHalfbandLength; ++i) {
        EXPECT_EQ(kHalfbandKernel[i], kHalfbandKernel[kHalfbandLength - 1 - i]) << i;
        if (i % 2 == 0 && i != kCentre) {
            EXPECT_EQ(kHalfbandKernel[i], 0.0) << i;
        }
    }
    // The odd phase alternates in sign from the centre outwards.
    for (int d = 1; d < kCentre; d += 2) {
        const bool positive = (d % 4) == 1;
        EXPECT_EQ(kHalfbandKernel[kCentre + d] > 0.0, positive) << d;
        EXPECT_NE(kHalfbandKernel[kCentre + d], 0.0) << d;
    }
}

TEST(HalfbandKernel, TellingValues) {
    EXPECT_EQ(kHalfbandKernel[171], 0.3181989622993339);
    EXPECT_EQ(kHalfbandKernel[173], 0.3181989622993339);
    EXPECT_EQ(kHalfbandKernel[169], -0.1057709661795335);
    EXPECT_EQ(kHalfbandKernel[167], 0.06310956651471045);
    EXPECT_EQ(kHalfbandKernel[165], -0.04470254257219194);
    EXPECT_EQ(kHalfbandKernel[163], 0.0343826247747871);
    EXPECT_EQ(kHalfbandKernel[161], -0.02774115160487056);
    EXPECT_EQ(kHalfbandKernel[3], 3.07826065648288e-10);
    EXPECT_EQ(kHalfbandKernel[1], -1.326517127758302e-10);
}

TEST(HalfbandKernel, SumsToOne) {
    // 0.4999999999535682 is the sum as the stages' dot product adds it
    // (HalfbandFirTest); the exact sum lies within a unit or two of it.
    long double odd = 0.0L;
    for (int i = 1; i < kHalfbandLength; i += 2) odd += kHalfbandKernel[i];
    EXPECT_NEAR(static_cast<double>(odd), 0.4999999999535682, 3e-16);
    EXPECT_NEAR(static_cast<double>(odd + kHalfbandKernel[kCentre]), 1.0, 1e-15);
}

TEST(HalfbandKernel, Response) {
    double worstFlat = 0.0;
    for (int i = 0; i <= 23000; ++i) {
        const double f = 0.23 * i / 23000.0;
        worstFlat = std::fmax(worstFlat, std::fabs(static_cast<double>(response(f) - 1.0L)));
    }
    EXPECT_LT(worstFlat, 2e-10);

    double worstStop = -1000.0;
    for (int i = 0; i <= 23000; ++i) worstStop = std::fmax(worstStop, responseDb(0.27 + 0.23 * i / 23000.0));
    EXPECT_LT(worstStop, -195.0);
    // H(0.5) = 2 * centre - 1: the floor that no halfband with this centre passes.
    EXPECT_NEAR(static_cast<double>(response(0.5)), 2.0 * 0.5000000000464324 - 1.0, 1e-15);

    EXPECT_NEAR(responseDb(0.24), -0.067, 0.0005);
    EXPECT_NEAR(responseDb(0.245), -1.10, 0.005);
    EXPECT_NEAR(responseDb(0.25), -6.02, 0.005);
    EXPECT_NEAR(responseDb(0.255), -18.5, 0.05);
    // The figures at 0.24 and 0.26 are tied by H(f) + H(0.5 - f) = 2 * centre;
    // both round to their stated digits only for -42.250 .. -42.225 dB here.
    EXPECT_NEAR(responseDb(0.26), -42.2375, 0.0125);
}

}  // namespace
}  // namespace tarvo
