#include "filters/Lanes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "filters/Biquad.h"

namespace tarvo {
namespace {

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(Lanes, EveryOperationGivesTheBitsOfTheDoubleOperationInEachLane) {
    // The engine's steps run on Lanes2, and the engine tests' reference strip
    // runs them on plain doubles; they agree only if each lane operation is
    // the double one, operand order, NaN, signed zeros and subnormals
    // included.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double values[] = {0.0, -0.0, 1.0, -2.5, 1e-310, -1e-310, 3.0e300, inf, -inf, nan,
                             0.1, 0.30000000000000004};
    for (double a0 : values)
        for (double b0 : values) {
            const double a1 = b0 * 0.5;  // the other lane holds other values
            const double b1 = a0 - 1.0;
            const Lanes2 a(a0, a1);
            const Lanes2 b(b0, b1);
            struct Row {
                const char* name;
                Lanes2 lanes;
                double lane0, lane1;
            };
            const Row rows[] = {
                {"+", a + b, a0 + b0, a1 + b1},
                {"-", a - b, a0 - b0, a1 - b1},
                {"*", a * b, a0 * b0, a1 * b1},
                {"minOf", minOf(a, b), minOf(a0, b0), minOf(a1, b1)},
                {"maxOf", maxOf(a, b), maxOf(a0, b0), maxOf(a1, b1)},
                {"magnitude", magnitude(a), magnitude(a0), magnitude(a1)},
                {"select <", select(a < b, a, b), select(a0 < b0, a0, b0),
                 select(a1 < b1, a1, b1)},
                {"select >", select(a > b, a, b), select(a0 > b0, a0, b0),
                 select(a1 > b1, a1, b1)},
            };
            for (const Row& r : rows) {
                EXPECT_TRUE(sameBits(r.lanes.lane0(), r.lane0))
                    << r.name << " lane 0 of " << a0 << ", " << b0;
                EXPECT_TRUE(sameBits(r.lanes.lane1(), r.lane1))
                    << r.name << " lane 1 of " << a1 << ", " << b1;
            }
            if (b0 != 0.0 && b1 != 0.0) {  // no division by zero, which a sanitizer may trap
                const Lanes2 q = a / b;
                EXPECT_TRUE(sameBits(q.lane0(), a0 / b0) && sameBits(q.lane1(), a1 / b1))
                    << a0 << " / " << b0;
            }
            EXPECT_EQ(allOf(a < b), a0 < b0 && a1 < b1);
            EXPECT_EQ(anyOf(a > b), a0 > b0 || a1 > b1);
            EXPECT_EQ(allOf((a < b) | (a > b)), (a0 < b0 || a0 > b0) && (a1 < b1 || a1 > b1));
        }
}

TEST(Lanes, ZipCarriesEveryFieldOfEachSectionToItsLane) {
    Biquad a = designLowPass(0.1);
    Biquad b = designHighPass(0.02, 0.7);
    a.x1 = 0.25, a.y2 = -0.5;
    b.x2 = 0.75, b.y1 = 1e-300;
    BiquadOf<Lanes2> lanes = zipLanes<Lanes2, BiquadOf>(a, b);
    const Lanes2 y = lanes.process(Lanes2(0.5, -0.125));
    Biquad a2 = a, b2 = b;
    EXPECT_TRUE(sameBits(y.lane0(), a2.process(0.5)));
    EXPECT_TRUE(sameBits(y.lane1(), b2.process(-0.125)));
    // After the step every field still sits in its strip's lane.
    double zipped[20], fieldsA[10], fieldsB[10];
    std::memcpy(zipped, static_cast<const void*>(&lanes), sizeof zipped);
    std::memcpy(fieldsA, &a2, sizeof fieldsA);
    std::memcpy(fieldsB, &b2, sizeof fieldsB);
    for (int k = 0; k < 10; ++k) {
        EXPECT_TRUE(sameBits(zipped[2 * k], fieldsA[k])) << "field " << k;
        EXPECT_TRUE(sameBits(zipped[2 * k + 1], fieldsB[k])) << "field " << k;
    }
}

}  // namespace
}  // namespace tarvo
