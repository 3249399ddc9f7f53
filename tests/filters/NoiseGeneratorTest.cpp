#include "filters/NoiseGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>
#include <vector>

#include "filters/IirDecimator.h"
#include "filters/PolyInterpolator.h"

namespace tarvo {
namespace {

TEST(NoiseGenerator, LinearCongruentialSequence) {
    // From seed 0 the generator's 15-bit values r are 38, 7719, 21238, 2437, 8855.
    const int r[] = {38, 7719, 21238, 2437, 8855};
    std::uint32_t seed = 0;
    for (int value : r) EXPECT_DOUBLE_EQ(nextNoise(seed, 1.0), (value - 16383) / 16383.0);
    EXPECT_EQ(seed, 2727824503u);  // 5 steps of seed * 214013 + 2531011 mod 2^32

    std::uint32_t other = 0;
    EXPECT_EQ(nextNoise(other, 0.0), 0.0);
    EXPECT_EQ(other, 2531011u);  // the seed advances even without noise
}

TEST(NoiseGenerator, RangeIsMinusOneToPlusOneAndABit) {
    std::uint32_t seed = 12345;
    const double level = 0.25;
    double lowest = 0.0, highest = 0.0;
    for (int n = 0; n < 1 << 20; ++n) {
        const double v = nextNoise(seed, level);
        lowest = std::min(lowest, v);
        highest = std::max(highest, v);
    }
    EXPECT_DOUBLE_EQ(lowest, -level);
    EXPECT_DOUBLE_EQ(highest, level * 16384.0 / 16383.0);
}

TEST(NoiseGenerator, EveryLevelInUseGivesTheBitsOfThePlainFormula) {
    // nextNoise scales by (level * c) once; for the levels the resamplers
    // use, that must round as ((r - 16383) * level) * c does.
    const double levels[] = {interpolatorNoiseLevel(20), decimatorNoiseLevel(20),
                             decimatorNoiseLevel(24), 0.0};
    for (double level : levels) {
        std::uint32_t seed = 7;
        for (int n = 0; n < 1 << 19; ++n) {
            const std::uint32_t next = seed * 214013u + 2531011u;
            const int r = static_cast<int>((next >> 16) & 0x7FFFu);
            const double plain = (r - 16383) * level * 6.103888176768602e-05;
            ASSERT_EQ(nextNoise(seed, level), plain) << level << " " << r;
        }
    }
}

TEST(NoiseSeedCounter, EveryGeneratorTakesTheNextSeed) {
    const std::uint32_t first = takeNoiseSeed();
    const PolyInterpolator interpolator;
    const IirDecimator decimator;
    EXPECT_EQ(interpolator.noiseSeed, first + 1);
    EXPECT_EQ(decimator.noiseSeed, first + 2);
    EXPECT_EQ(takeNoiseSeed(), first + 3);
    restartNoiseSeeds(first + 1);
    EXPECT_EQ(PolyInterpolator().noiseSeed, first + 1);
}

TEST(NoiseSeedCounter, ThreadsNeverShareASeed) {
    // Instances may be built on several host threads at once.
    constexpr int kThreads = 8;
    constexpr int kPerThread = 20000;
    std::vector<std::vector<std::uint32_t>> seeds(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&seeds, t] {
            for (int i = 0; i < kPerThread; ++i) seeds[t].push_back(takeNoiseSeed());
        });
    }
    for (std::thread& t : threads) t.join();
    std::set<std::uint32_t> all;
    for (const auto& s : seeds) all.insert(s.begin(), s.end());
    EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kPerThread));
    EXPECT_EQ(*all.rbegin() - *all.begin(), static_cast<std::uint32_t>(kThreads * kPerThread - 1));
}

}  // namespace
}  // namespace tarvo
