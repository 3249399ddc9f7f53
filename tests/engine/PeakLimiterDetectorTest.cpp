#include "engine/PeakLimiterDetector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace tarvo {
namespace {

/// Brute-force maximum of the last n values fed (zeros before the first).
double bruteMax(const std::vector<double>& history, std::uint32_t n) {
    double m = 0.0;
    for (std::size_t i = history.size() > n ? history.size() - n : 0; i < history.size(); ++i)
        m = std::max(m, history[i]);
    return m;
}

TEST(PeakLimiterDetector, CachedMaximumMatchesBruteForce) {
    std::mt19937 rng(1234);
    // Few distinct values, so maxima repeat and leave the window often.
    std::uniform_int_distribution<int> level(0, 6);
    std::uniform_int_distribution<int> length(2, 41);
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    for (int trial = 0; trial < 40; ++trial) {
        PeakLimiterDetector d;
        std::uint32_t n = static_cast<std::uint32_t>(length(rng));
        d.resizeWindow(n);
        std::vector<double> history;
        for (int step = 0; step < 3000; ++step) {
            const double r = chance(rng);
            if (r < 0.002) {
                // Resize between blocks: the oldest min(n, old) entries survive.
                const std::uint32_t m = static_cast<std::uint32_t>(length(rng));
                std::vector<double> kept(history.end() - std::min<std::size_t>(history.size(), n),
                                         history.end());
                if (kept.size() > m) kept.resize(m);  // shrinking keeps the oldest
                std::vector<double> rebuilt(m - kept.size() + 0, 0.0);
                history.assign(kept.begin(), kept.end());
                history.insert(history.end(), m - kept.size(), 0.0);
                n = m;
                d.resizeWindow(n);
                ASSERT_EQ(d.windowLength(), n);
                continue;
            }
            if (r < 0.25) {
                d.feedZero();
                history.push_back(0.0);
            } else {
                const double v = (chance(rng) < 0.5 ? -0.25 : 0.25) * level(rng);
                double pg, ag;
                d.process(v, pg, ag);
                history.push_back(std::fabs(v));
                ASSERT_EQ(d.runningMax(), bruteMax(history, n))
                    << "trial " << trial << " step " << step << " length " << n;
            }
            ASSERT_EQ(d.windowMax(), bruteMax(history, n)) << "trial " << trial << " step " << step;
        }
    }
}

TEST(PeakLimiterDetector, DuplicateMaximumLeavingTriggersRescan) {
    PeakLimiterDetector d;
    d.resizeWindow(4);
    double pg, ag;
    for (double v : {5.0, 1.0, 5.0, 1.0}) d.process(v, pg, ag);
    EXPECT_EQ(d.runningMax(), 5.0);
    d.process(1.0, pg, ag);  // the older 5 leaves: dropped, rescanned, the younger 5 found
    EXPECT_TRUE(d.maxValid());
    EXPECT_EQ(d.runningMax(), 5.0);
    d.process(2.0, pg, ag);
    EXPECT_EQ(d.runningMax(), 5.0);
    d.process(1.0, pg, ag);  // the younger 5 leaves
    EXPECT_EQ(d.runningMax(), 2.0);
}

TEST(PeakLimiterDetector, IdleStepDroppingTheMaximumDoesNotHideOthers) {
    PeakLimiterDetector d;
    d.resizeWindow(4);
    double pg, ag;
    for (double v : {9.0, 0.0, 3.0, 0.0}) d.process(v, pg, ag);
    d.feedZero();  // the 9 leaves during an idle step
    EXPECT_FALSE(d.maxValid());
    d.process(1.0, pg, ag);  // window now 0, 1, 3, 0
    EXPECT_EQ(d.runningMax(), 3.0);
}

/// The detector written out plainly: a brute-force window maximum every step,
/// then the same filters, hold and gain rules.
struct NaiveLimiter {
    LimiterFilters f;
    std::vector<double> history;
    std::uint32_t length;
    double ceiling;
    double hold = 0.0;

    void process(double v, double& peakGain, double& averageGain) {
        const double a = std::fabs(v);
        history.push_back(a);
        const double p = f.peak.process(bruteMax(history, length));
        if (p > hold) {
            f.release.x2 = f.release.x1;
            f.release.x1 = p;
            f.release.y2 = f.release.y1;
            f.release.y1 = p;
            hold = p;
        } else {
            hold = f.release.process(p);
        }
        peakGain = hold > ceiling ? ceiling / hold : 1.0;
        const double w = f.average.process(a) * 1.5707963267948966;
        averageGain = w > ceiling ? ceiling / w : 1.0;
    }
};

TEST(PeakLimiterDetector, InstantAttackHoldAndRelease) {
    const double rate = 176400.0;
    const std::uint32_t n = limiterWindowLength(rate);  // 112
    PeakLimiterDetector d;
    d.resizeWindow(n);
    d.applyDesign(designLimiterFilters(rate));
    d.limiterCeiling = 0.5;
    NaiveLimiter naive{designLimiterFilters(rate), {}, n, 0.5};
    double pg, ag, npg, nag;
    auto step = [&](double v) {
        d.process(v, pg, ag);
        naive.process(v, npg, nag);
        ASSERT_EQ(pg, npg);
        ASSERT_EQ(ag, nag);
    };
    for (int i = 0; i < 300; ++i) step(0.2);
    EXPECT_EQ(pg, 1.0);
    step(-2.0);  // one isolated peak
    int reducedAt = -1;
    for (int i = 1; i <= static_cast<int>(n); ++i) {
        step(0.2);
        if (pg < 1.0 && reducedAt < 0) reducedAt = i;
        if (reducedAt >= 0) {
            ASSERT_LT(pg, 1.0) << i;  // held while the peak is in the window
        }
    }
    ASSERT_GE(reducedAt, 0);
    EXPECT_LT(reducedAt, 10);  // the attack follows the smoothed maximum without delay
    EXPECT_LT(pg, 0.27);       // about ceiling / 2.0
    // Released by the 115 Hz section: back to unity within about 10 ms, not at once.
    int recoveredAt = -1;
    for (int i = 0; i < 20000 && recoveredAt < 0; ++i) {
        step(0.2);
        if (pg == 1.0) recoveredAt = i;
    }
    EXPECT_GT(recoveredAt, 200);
    EXPECT_LT(recoveredAt, 3000);
    // A later, lower peak within reach of the released hold still attacks at once.
    for (int i = 0; i < 2000; ++i) step(0.2);
    step(1.5);
    for (int i = 0; i < 500; ++i) step(0.2);
}

TEST(PeakLimiterDetector, IsolatedPeakWithTheRealDesign) {
    const double rate = 176400.0;
    PeakLimiterDetector d;
    d.resizeWindow(limiterWindowLength(rate));
    d.applyDesign(designLimiterFilters(rate));
    d.limiterCeiling = 0.5;
    double pg, ag, lowest = 1.0;
    int firstReduced = -1, lastReduced = -1;
    d.process(1.0, pg, ag);
    for (int i = 0; i < 20000; ++i) {
        d.process(0.0, pg, ag);
        if (pg < 1.0) {
            if (firstReduced < 0) firstReduced = i;
            lastReduced = i;
        }
        lowest = std::min(lowest, pg);
    }
    EXPECT_GE(firstReduced, 0);
    EXPECT_LT(firstReduced, 30);  // the 3.6 kHz smoothing lets the window maximum through quickly
    EXPECT_LT(lowest, 0.55);      // close to 0.5 / 1.0
    EXPECT_GT(lastReduced, 200);  // held through the window and released slowly
    EXPECT_LT(lastReduced, 19999);
}

TEST(PeakLimiterDetector, SteadySineAverageTracksAmplitude) {
    const double rate = 176400.0;
    PeakLimiterDetector d;
    d.resizeWindow(limiterWindowLength(rate));
    d.applyDesign(designLimiterFilters(rate));
    d.limiterCeiling = 1.0;
    const double amplitude = 2.0;
    double pg = 0, ag = 0;
    const int n = static_cast<int>(rate * 2.5);
    for (int i = 0; i < n; ++i)
        d.process(amplitude * std::sin(6.283185307179586 * 1000.0 * i / rate), pg, ag);
    // Smoothed magnitude 2A/pi, times pi/2: about A.
    EXPECT_NEAR(ag, 1.0 / amplitude, 0.005);
    EXPECT_NEAR(pg, 1.0 / amplitude, 0.005);
}

TEST(PeakLimiterDetector, GainsExactlyOneBelowTheCeiling) {
    const double rate = 44100.0;
    PeakLimiterDetector d;
    d.resizeWindow(limiterWindowLength(rate));
    d.applyDesign(designLimiterFilters(rate));
    d.limiterCeiling = 1.0;
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> dist(-0.6, 0.6);
    for (int i = 0; i < 100000; ++i) {
        double pg, ag;
        d.process(dist(rng), pg, ag);
        ASSERT_EQ(pg, 1.0);
        ASSERT_EQ(ag, 1.0);
    }
}

TEST(PeakLimiterDetector, IdleStepsKeepHoldAndLetFiltersDecay) {
    const double rate = 44100.0;
    PeakLimiterDetector d;
    d.resizeWindow(28);
    d.applyDesign(designLimiterFilters(rate));
    d.limiterCeiling = 0.1;
    double pg, ag;
    for (int i = 0; i < 2000; ++i) d.process(0.8, pg, ag);
    const double held = d.hold();
    for (int i = 0; i < 30000; ++i) d.feedZero();
    EXPECT_EQ(d.hold(), held);
    for (std::uint32_t i = 0; i < d.windowLength(); ++i) EXPECT_EQ(d.windowEntry(i), 0.0);
    // The filters have decayed meanwhile: the next step takes the hold from the
    // decayed release section, and both gains are 1 again.
    d.process(0.0, pg, ag);
    EXPECT_LT(d.hold(), 1e-6 * held);
    EXPECT_EQ(pg, 1.0);
    EXPECT_EQ(ag, 1.0);
}

TEST(PeakLimiterDetector, ResetClearsFiltersAndHoldOnly) {
    PeakLimiterDetector d;
    d.resizeWindow(8);
    d.applyDesign(designLimiterFilters(44100.0));
    double pg, ag;
    for (double v : {0.1, 0.7, 0.3, 0.2}) d.process(v, pg, ag);
    const PeakLimiterDetector before = d;
    d.reset();
    EXPECT_EQ(d.hold(), 0.0);
    EXPECT_EQ(d.writePosition(), before.writePosition());
    EXPECT_EQ(d.runningMax(), before.runningMax());
    EXPECT_EQ(d.maxValid(), before.maxValid());
    for (std::uint32_t i = 0; i < 8; ++i) EXPECT_EQ(d.windowEntry(i), before.windowEntry(i));
    // Same as a fresh detector with the same window after reset: replays alike.
    PeakLimiterDetector fresh = before;
    fresh.reset();
    for (int i = 0; i < 100; ++i) {
        double p1, a1, p2, a2;
        d.process(0.01 * i, p1, a1);
        fresh.process(0.01 * i, p2, a2);
        ASSERT_EQ(p1, p2);
        ASSERT_EQ(a1, a2);
    }
}

TEST(PeakLimiterDetector, ResizeCopiesOldestFirstWithinItsStorage) {
    PeakLimiterDetector d;
    const double* storage = d.windowData();
    d.resizeWindow(5);
    double pg, ag;
    for (int v = 1; v <= 7; ++v) d.process(v, pg, ag);  // window holds 6 7 3 4 5, oldest is 3
    d.resizeWindow(8);
    const double grown[8] = {3, 4, 5, 6, 7, 0, 0, 0};
    for (std::uint32_t i = 0; i < 8; ++i) EXPECT_EQ(d.windowEntry(i), grown[i]) << i;
    EXPECT_EQ(d.writePosition(), 0u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(d.windowData()) % 16, 0u);
    d.resizeWindow(3);  // keeps the oldest three
    for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(d.windowEntry(i), grown[i]) << i;
    // The cut-off maximum 7 must not linger in the cache.
    d.process(1.0, pg, ag);
    EXPECT_EQ(d.runningMax(), 5.0);
    d.resizeWindow(0);  // a window is never shorter than 2
    EXPECT_EQ(d.windowLength(), 2u);
    // 4 MHz at 8x: 0.63 ms are 20160 entries, the longest window there is.
    EXPECT_EQ(PeakLimiterDetector::maximumWindowLength(), 20160u);
    // The two kept are 4 and 5 (the 1.0 written after the cut was newer).
    d.resizeWindow(1u << 20);
    EXPECT_EQ(d.windowLength(), 20160u);
    const double kept[2] = {4, 5};
    for (std::uint32_t i = 0; i < d.windowLength(); ++i)
        ASSERT_EQ(d.windowEntry(i), i < 2 ? kept[i] : 0.0) << i;
    d.process(0.5, pg, ag);  // overwrites the 4
    EXPECT_EQ(d.runningMax(), 5.0);
    // Every resize rearranged the one storage taken at construction.
    EXPECT_EQ(d.windowData(), storage);
}

TEST(PeakLimiterDetector, UsableBeforeTheFirstResize) {
    PeakLimiterDetector d;
    EXPECT_EQ(d.windowLength(), 2u);
    double pg, ag;
    d.process(3.0, pg, ag);
    d.feedZero();
    d.process(0.5, pg, ag);
    EXPECT_EQ(d.runningMax(), 0.5);
    d.process(0.25, pg, ag);
    EXPECT_EQ(d.runningMax(), 0.5);
}

TEST(PeakLimiterDetector, NaNDoesNotStickInTheCache) {
    PeakLimiterDetector d;
    d.resizeWindow(4);
    double pg, ag;
    d.process(std::nan(""), pg, ag);
    for (int i = 0; i < 6; ++i) d.process(0.5, pg, ag);
    d.process(0.25, pg, ag);
    EXPECT_EQ(d.runningMax(), 0.5);
    for (int i = 0; i < 4; ++i) d.process(0.25, pg, ag);
    EXPECT_EQ(d.runningMax(), 0.25);
}

TEST(PeakLimiterDetector, CopiesAreIndependent) {
    PeakLimiterDetector a;
    a.resizeWindow(6);
    double pg, ag;
    a.process(0.9, pg, ag);
    PeakLimiterDetector b = a;
    EXPECT_NE(a.windowData(), b.windowData());
    b.process(4.0, pg, ag);
    EXPECT_EQ(a.windowEntry(1), 0.0);
    EXPECT_EQ(b.windowEntry(1), 4.0);
    a = b;
    EXPECT_EQ(a.windowEntry(1), 4.0);
    EXPECT_EQ(a.runningMax(), 4.0);
}

}  // namespace
}  // namespace tarvo
