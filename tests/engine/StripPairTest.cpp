#include "engine/StripPair.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <new>
#include <random>

#include "engine/StereoProcessor.h"

namespace tarvo {
namespace {

constexpr double kRate = 44100.0;

/// Random engine settings within the ranges the configuration pass produces.
struct Settings {
    int mode, factor, noiseBits;
    bool hq, saturation, alpha, pre, post;
    double threshold, knee, ratio, attack, release, filterHz, clip, ceiling, input, wet, dry, scoop;
};

Settings randomSettings(std::mt19937& rng, int mode) {
    auto uniform = [&](double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(rng);
    };
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    Settings s;
    s.mode = mode;
    s.factor = 1 << pick(4);
    s.noiseBits = pick(3) == 0 ? 0 : 20;
    s.hq = pick(2) == 1;
    s.saturation = pick(2) == 1;
    s.alpha = pick(4) == 0;
    const int position = pick(3);
    s.pre = position == 0;
    s.post = position == 1;
    s.threshold = std::pow(10.0, uniform(-40.0, 0.0) / 20.0);
    s.knee = uniform(0.0, 1.0);
    s.ratio = pick(5) == 0 ? 100.0 : uniform(1.0, 10.9);
    s.attack = uniform(0.0001, 0.05);
    s.release = uniform(0.005, 1.0);
    s.filterHz = pick(2) == 0 ? 0.0 : uniform(41.0, 260.0);
    s.clip = std::pow(10.0, uniform(-12.0, 12.0) / 20.0);
    s.ceiling = std::pow(10.0, uniform(-12.0, 0.0) / 20.0);
    s.input = std::pow(10.0, uniform(-6.0, 18.0) / 20.0);
    s.wet = uniform(0.0, 1.0);
    s.dry = pick(2) == 0 ? 0.0 : 1.0 - s.wet;
    s.scoop = pick(2) == 0 ? 1.0 : std::pow(10.0, uniform(-12.0, 12.0) / 20.0);
    return s;
}

void apply(StereoProcessor& engine, const Settings& s) {
    engine.setNoiseBits(s.noiseBits);
    engine.setOversampling(s.factor, s.hq);
    engine.setSaturationEnabled(s.saturation);
    engine.setChannelMode(s.mode);
    engine.designGainComputers(s.threshold, s.knee, s.ratio);
    engine.updateDetectorFilters(s.alpha, kRate, s.attack, s.release, s.filterHz);
    engine.setClipLevel(s.clip);
    engine.setLimiterCeiling(s.ceiling);
    engine.setLevels(s.input, s.wet, s.dry);
    engine.setScoop(s.scoop, kRate);
    engine.setLimiterPosition(s.pre, s.post);
    engine.setBypass(false);
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

/// Noise with bursts and stretches of exact zeros on one or both channels,
/// so that the strips fall asleep and wake apart and together.
struct TestSignal {
    std::mt19937 rng;
    explicit TestSignal(std::uint32_t seed) : rng(seed) {}
    double next(int frame, int channel, double level) {
        const int phase = (frame / 1500 + channel) % 5;
        if (phase == 3) return 0.0;
        const double burst = (frame / 700) % 3 == 0 ? 4.0 : 1.0;
        return std::uniform_real_distribution<double>(-level, level)(rng) * burst;
    }
};

/// Runs a paired and an unpaired engine side by side through two settings
/// (the second taken mid-signal, as the configuration pass would) and
/// requires every output sample to match to the bit.
void expectPairedMatchesReference(int mode, std::uint32_t seed, bool external) {
    std::mt19937 rng(seed);
    // A copy, so that both engines' noise generators share their seeds.
    StereoProcessor paired;
    StereoProcessor reference(paired);
    reference.setStripPairing(false);
    ASSERT_TRUE(paired.stripPairing());
    TestSignal signal(seed + 1000);
    const double levelDb = std::uniform_real_distribution<double>(-30.0, 0.0)(rng);
    const double level = std::pow(10.0, levelDb / 20.0);
    for (int pass = 0; pass < 2; ++pass) {
        const Settings s = randomSettings(rng, mode);
        apply(paired, s);
        apply(reference, s);
        // A short silence hold, so the gates close within the zero stretches.
        for (StereoProcessor* engine : {&paired, &reference}) {
            engine->stripA().silenceHoldSamples = 300 + 97 * pass;
            engine->stripB().silenceHoldSamples = 300 + 97 * pass;
        }
        if (pass == 0) {
            paired.reset();
            reference.reset();
        }
        for (int frame = 0; frame < 6000; ++frame) {
            const double left = signal.next(frame, 0, level);
            const double right = signal.next(frame, 1, level);
            const double keyLeft = signal.next(frame, 1, level);
            const double keyRight = signal.next(frame, 0, level);
            double pl = 0.0, pr = 0.0, rl = 0.0, rr = 0.0;
            if (external) {
                paired.processFrameExternal(&pl, &pr, left, right, keyLeft, keyRight);
                reference.processFrameExternal(&rl, &rr, left, right, keyLeft, keyRight);
            } else {
                paired.processFrame(&pl, &pr, left, right);
                reference.processFrame(&rl, &rr, left, right);
            }
            ASSERT_TRUE(sameBits(pl, rl) && sameBits(pr, rr))
                << "mode " << mode << " seed " << seed << " pass " << pass << " frame " << frame
                << " factor " << s.factor << " hq " << s.hq << ": " << pl << " vs " << rl << ", "
                << pr << " vs " << rr;
        }
    }
}

TEST(StripPair, LinkedModesMatchTheStripsOneAfterTheOtherToTheBit) {
    for (int mode : {stereo, midSide, dualMono})
        for (std::uint32_t seed = 1; seed <= 12; ++seed) {
            expectPairedMatchesReference(mode, seed, false);
            expectPairedMatchesReference(mode, seed + 100, true);
        }
}

TEST(StripPair, PairingChangesNothingInTheOtherModesOrInBypass) {
    for (int mode : {monoLeft, rightKeyed, midOnly, sideOnly})
        expectPairedMatchesReference(mode, 7, false);
    StereoProcessor paired;
    StereoProcessor reference(paired);
    reference.setStripPairing(false);
    for (StereoProcessor* engine : {&paired, &reference}) {
        engine->setChannelMode(stereo);
        engine->setOversampling(4, false);
        engine->setBypass(true);
    }
    TestSignal signal(3);
    for (int frame = 0; frame < 2000; ++frame) {
        const double left = signal.next(frame, 0, 0.5);
        const double right = signal.next(frame, 1, 0.5);
        double pl, pr, rl, rr;
        paired.processFrame(&pl, &pr, left, right);
        reference.processFrame(&rl, &rr, left, right);
        ASSERT_TRUE(sameBits(pl, rl) && sameBits(pr, rr)) << frame;
    }
}

TEST(StripPair, PairedPathActuallyProcesses) {
    // Guards against a paired path that passes the signal through: with
    // heavy compression the output must differ from the input, and (in
    // "Stereo") the linked levels give both channels the same gain.
    StereoProcessor engine;
    std::mt19937 rng(5);
    Settings s = randomSettings(rng, stereo);
    s.factor = 4;
    s.hq = false;
    s.threshold = 0.01;
    s.ratio = 100.0;
    s.saturation = false;
    s.pre = s.post = false;
    s.input = 1.0;
    s.wet = 1.0;
    s.dry = 0.0;
    s.scoop = 1.0;
    s.noiseBits = 0;
    s.filterHz = 0.0;
    apply(engine, s);
    double largest = 0.0;
    for (int frame = 0; frame < 20000; ++frame) {
        const double left = 0.5 * std::sin(2.0 * 3.141592653589793 * 1000.0 * frame / kRate);
        double outLeft = 0.0, outRight = 0.0;
        engine.processFrame(&outLeft, &outRight, left, left * 0.5);
        if (frame >= 10000) largest = std::max(largest, std::fabs(outLeft));
        ASSERT_EQ(outLeft, 2.0 * outRight) << frame;
    }
    EXPECT_LT(largest, 0.25);
}

TEST(StripPair, SlotKeepsTheLanesAlignedAtAnyAddressAndCopiesThem) {
    // A slot placed 8 bytes off a 16-byte boundary, as a 32-bit Windows
    // heap may place an engine, must still hand out an aligned state.
    alignas(16) unsigned char storage[2 * sizeof(StripPairSlot) + 32];
    StripPairSlot* source = new (storage + 8) StripPairSlot();
    StripPairSlot* copy = new (storage + 16 + sizeof(StripPairSlot)) StripPairSlot();
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(&source->get()) % 16, 0u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(&copy->get()) % 16, 0u);

    StereoProcessor engine;
    engine.setOversampling(2, false);
    engine.stripA().levelDetector.envelope = 0.25;
    engine.stripB().levelDetector.envelope = 0.75;
    source->get().load(engine.stripA(), engine.stripB());
    *copy = *source;
    StripPairSlot constructed(*copy);
    engine.stripA().levelDetector.envelope = 0.0;
    engine.stripB().levelDetector.envelope = 0.0;
    constructed.get().store(engine.stripA(), engine.stripB());
    EXPECT_EQ(engine.stripA().levelDetector.envelope, 0.25);
    EXPECT_EQ(engine.stripB().levelDetector.envelope, 0.75);
}

}  // namespace
}  // namespace tarvo
