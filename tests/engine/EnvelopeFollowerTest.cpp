#include "engine/EnvelopeFollower.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

namespace tarvo {
namespace {

/// A follower whose envelope step returns the rise share u(d) itself.
EnvelopeFollower riseProbe() {
    EnvelopeFollower f;
    f.applyDesign(designEnvelope(false, 0.01, 0.001, 0.1));
    f.attackCoefficient = 1.0;
    f.releaseCoefficient = 0.0;
    return f;
}

double riseShare(double d) {
    EnvelopeFollower f = riseProbe();
    f.envelope = 0.0;
    f.follow(d);
    return f.envelope;
}

TEST(EnvelopeFollower, SoftAttackPolynomialValues) {
    EXPECT_NEAR(riseShare(0.025), 0.025, 2e-12);              // S(1) = 1 (terms cancel)
    EXPECT_NEAR(riseShare(0.0125), 0.00625, 1e-15);           // S(0.5) = 0.25
    EXPECT_NEAR(riseShare(0.0025), 8.406221992e-08, 1e-17);  // S(0.1) = 3.3625e-06
    EXPECT_EQ(riseShare(0.0), 0.0);
    EXPECT_EQ(riseShare(0.03), 0.03);  // beyond the soft width: the full rise
    EXPECT_EQ(riseShare(-0.5), 0.0);   // a fall takes no attack
    // Joins u(d) = d smoothly: value and slope match just inside the edge.
    const double e = 1e-6;
    EXPECT_NEAR(riseShare(0.025 - e), 0.025 - e, 1e-10);
}

TEST(EnvelopeFollower, SoftAttackEvaluationOrder) {
    // The polynomial is summed as d^12 (q12 + ... + q16 d^4) + d^8 (q9 d + q10 d^2 + q11 d^3).
    const EnvelopeFollower probe = riseProbe();
    const double* q = probe.softCurve;
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> dist(0.0, 0.025);
    for (int i = 0; i < 1000; ++i) {
        const double d = dist(rng);
        const double d2 = d * d, d3 = d2 * d, d4 = d2 * d2, d8 = d4 * d4, d12 = d8 * d4;
        double inner = q[3];
        inner += q[4] * d;
        inner += q[5] * d2;
        inner += q[6] * d3;
        inner += q[7] * d4;
        double low = q[0] * d;
        low += q[1] * d2;
        low += q[2] * d3;
        const double u = d12 * inner + d8 * low;
        EnvelopeFollower f = probe;
        f.envelope = 0.25;
        f.follow(0.25 + d);
        const double d0 = (0.25 + d) - 0.25;  // the step as the follower sees it
        if (d0 == d) {
            EXPECT_EQ(f.envelope, (d * 0.0 + 1.0 * u) + 0.25) << d;
        }
    }
}

/// The envelope step as its formula reads, the polynomial always computed
/// and chosen per value: what every shortcut in follow() must match.
double fullFormulaStep(const EnvelopeFollower& f, double envelope, double y) {
    const double* q = f.softCurve;
    const double d = y - envelope;
    const double d2 = d * d, d3 = d2 * d, d4 = d2 * d2, d8 = d4 * d4, d12 = d8 * d4;
    const double soft = d12 * (q[3] + q[4] * d + q[5] * d2 + q[6] * d3 + q[7] * d4) +
                        d8 * (q[0] * d + q[1] * d2 + q[2] * d3);
    const double u = d < 0.0 ? 0.0 : d > f.softWidth ? d : soft;
    return ((y - envelope) * f.releaseCoefficient + f.attackCoefficient * u) + envelope;
}

TEST(EnvelopeFollower, EveryStepMatchesTheFullFormulaToTheBitInBothLaneTypes) {
    // Rests (y equal to the envelope, signed zeros included) take a shortcut
    // past the polynomial in follow(); so do falls and large rises. Each
    // lane of a pair must step exactly as a lone follower, whatever its
    // partner does, and followLevel() exactly as follow().
    EnvelopeFollower f;
    f.applyDesign(designEnvelope(false, 0.02, 0.002, 0.1));
    const double inputs[] = {0.0, -0.0, 1.0, 1.0, 1.0, 0.3, 0.3, 0.31, 0.3, 0.0, 0.0,
                             -0.0, 0.01, 0.01, 0.5, 0.49, 0.49, 0.495, 2.0, 2.0, 1e-300};
    std::mt19937 random(11);
    std::uniform_int_distribution<int> pick(0, sizeof inputs / sizeof inputs[0] - 1);
    double a = 0.0, b = -0.0;  // lone followers' envelopes
    EnvelopeOf<Lanes2> pairs[2] = {zipLanes<Lanes2, EnvelopeOf>(f, f),
                                   zipLanes<Lanes2, EnvelopeOf>(f, f)};
    for (auto& pair : pairs) pair.envelope = Lanes2(a, b);
    for (int step = 0; step < 20000; ++step) {
        const double ya = inputs[pick(random)];
        // B rests on its envelope half the time.
        const double yb = step % 2 ? b : inputs[pick(random)];
        EnvelopeFollower lone = f, loneLevel = f;
        lone.envelope = loneLevel.envelope = a;
        lone.follow(ya);
        loneLevel.followLevel(ya);
        a = fullFormulaStep(f, a, ya);
        ASSERT_EQ(std::memcmp(&lone.envelope, &a, sizeof a), 0) << "step " << step;
        ASSERT_EQ(std::memcmp(&loneLevel.envelope, &a, sizeof a), 0) << "step " << step;
        b = fullFormulaStep(f, b, yb);
        pairs[0].follow(Lanes2(ya, yb));
        pairs[1].followLevel(Lanes2(ya, yb));
        for (const auto& pair : pairs) {
            const double lanes[2] = {pair.envelope.lane0(), pair.envelope.lane1()};
            ASSERT_EQ(std::memcmp(&lanes[0], &a, sizeof a), 0) << "lane 0, step " << step;
            ASSERT_EQ(std::memcmp(&lanes[1], &b, sizeof b), 0) << "lane 1, step " << step;
        }
    }
}

TEST(EnvelopeFollower, StepsFollowAttackAndRelease) {
    EnvelopeFollower f;
    f.applyDesign(designEnvelope(false, 1.0 / 176.4, 1.0 / 1764.0, 0.125));
    const double ac = f.attackCoefficient, rc = f.releaseCoefficient;

    // A rise beyond the soft width: (release + attack) times the step at once.
    f.envelope = 0.1;
    f.follow(0.6);
    EXPECT_NEAR(f.envelope, 0.1 + (rc + ac) * 0.5, 1e-15);

    // A fall decays with the release share only: (1 - rc)^n.
    f.envelope = 1.0;
    for (int n = 1; n <= 100; ++n) f.follow(0.0);
    EXPECT_NEAR(f.envelope, std::pow(1.0 - rc, 100), 1e-12);

    // A small rise is followed with the release share alone, nearly:
    // u(0.001) = 0.025 S(0.04) is about 4e-11.
    f.envelope = 0.0;
    f.follow(0.001);
    EXPECT_NEAR(f.envelope, rc * 0.001, ac * 5e-11);
    EXPECT_GT(f.envelope, rc * 0.001);
}

TEST(EnvelopeFollower, ConstantInputSettlesAtTheInput) {
    EnvelopeFollower f = makeLevelDetector();
    double out = 0.0;
    for (int n = 0; n < 200000; ++n) out = f.processRectified(-0.3);
    EXPECT_NEAR(f.envelope, 0.3, 1e-9);
    EXPECT_NEAR(out, 0.3, 1e-9);  // unity DC gain of both low-passes

    EnvelopeFollower g = makeGainSmoother();
    for (int n = 0; n < 200000; ++n) out = g.process(1.25);
    EXPECT_NEAR(out, 1.25, 1e-9);
}

TEST(EnvelopeFollower, RectifiedNegativeInputActsAsItsMagnitude) {
    EnvelopeFollower a = makeLevelDetector();
    EnvelopeFollower b = makeLevelDetector();
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.0, 0.5);
    for (int n = 0; n < 2000; ++n) {
        const double x = noise(rng);
        EXPECT_EQ(a.processRectified(x), b.processRectified(std::fabs(x)));
    }
}

TEST(EnvelopeFollower, ProcessLeavesTheInputFilterAlone) {
    EnvelopeFollower f = makeGainSmoother();
    f.inputFilter.x1 = 0.5;
    f.inputFilter.y2 = -0.25;
    const double first = f.process(1.5);
    EXPECT_EQ(f.inputFilter.x1, 0.5);
    EXPECT_EQ(f.inputFilter.y2, -0.25);
    // Output is the output filter's step on the new envelope.
    EnvelopeFollower g = makeGainSmoother();
    g.follow(1.5);
    EXPECT_EQ(first, g.outputFilter.process(g.envelope));
}

TEST(EnvelopeFollower, RedesignKeepsStateResetSetsRestValue) {
    EnvelopeFollower f = makeLevelDetector();
    for (int n = 0; n < 500; ++n) f.processRectified(std::sin(0.01 * n));
    const EnvelopeFollower before = f;
    const EnvelopeDesign d = designEnvelope(true, 0.001, 0.0001, 0.25);
    f.applyDesign(d);
    EXPECT_EQ(f.envelope, before.envelope);
    EXPECT_EQ(f.outputFilter.y1, before.outputFilter.y1);
    EXPECT_EQ(f.outputFilter.x2, before.outputFilter.x2);
    EXPECT_EQ(f.inputFilter.x1, before.inputFilter.x1);
    EXPECT_EQ(f.inputFilter.b0, before.inputFilter.b0);  // input filter not part of the design
    EXPECT_EQ(f.outputFilter.b0, d.outputFilter.b0);
    EXPECT_EQ(f.attackCoefficient, d.attackCoefficient);
    EXPECT_EQ(f.releaseCoefficient, d.releaseCoefficient);

    f.reset(1.0);
    EXPECT_EQ(f.envelope, 1.0);
    EXPECT_EQ(f.inputFilter.x1, 0.0);
    EXPECT_EQ(f.inputFilter.y2, 0.0);
    EXPECT_EQ(f.outputFilter.x1, 1.0);
    EXPECT_EQ(f.outputFilter.x2, 1.0);
    EXPECT_EQ(f.outputFilter.y1, 1.0);
    EXPECT_EQ(f.outputFilter.y2, 1.0);
    EXPECT_EQ(f.outputFilter.b0, d.outputFilter.b0);  // coefficients stay
}

TEST(EnvelopeFollower, GainSmootherAtRestStaysAtUnityGain) {
    // The static gain 1 reaches the smoother as 2 - g = 1; from its resting
    // state the output must not move, or the applied gain 2 - s would swell.
    EnvelopeFollower g = makeGainSmoother();
    for (int n = 0; n < 5000; ++n) ASSERT_NEAR(g.process(1.0), 1.0, 1e-9) << n;
    g.process(1.3);
    g.reset(1.0);
    for (int n = 0; n < 5000; ++n) ASSERT_NEAR(g.process(1.0), 1.0, 1e-9) << n;
}

TEST(EnvelopeFollower, ConstructionValues) {
    const EnvelopeFollower level = makeLevelDetector();
    const EnvelopeDesign ld = designEnvelope(false, 0.005668934240362812, 0.0005668934240362812, 0.125);
    EXPECT_EQ(level.attackCoefficient, ld.attackCoefficient);
    EXPECT_EQ(level.releaseCoefficient, ld.releaseCoefficient);
    EXPECT_EQ(level.outputFilter.c1, ld.outputFilter.c1);
    EXPECT_EQ(level.inputFilter.b0, designLowPass(0.125).b0);
    EXPECT_EQ(level.envelope, 0.0);
    EXPECT_EQ(level.outputFilter.y1, 0.0);

    const EnvelopeFollower smoother = makeGainSmoother();
    const EnvelopeDesign sd = designEnvelope(false, 1.0 / 1764.0, 1.0 / 8820.0, 0.125);
    EXPECT_DOUBLE_EQ(smoother.attackCoefficient, sd.attackCoefficient);
    EXPECT_DOUBLE_EQ(smoother.releaseCoefficient, sd.releaseCoefficient);
    EXPECT_EQ(smoother.envelope, 1.0);
    EXPECT_EQ(smoother.outputFilter.x1, 1.0);
    EXPECT_EQ(smoother.outputFilter.y2, 1.0);
    EXPECT_EQ(smoother.inputFilter.x1, 0.0);
}

}  // namespace
}  // namespace tarvo
