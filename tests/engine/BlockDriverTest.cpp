#include "engine/BlockDriver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace tarvo {
namespace {

TEST(BlockDriver, AFrameTheEngineLeavesUnwrittenComesOutAsSilence) {
    StereoProcessor engine;
    engine.setChannelMode(9);  // not a mode: the engine writes nothing
    std::vector<float> in(64, 0.5f), outLeft(64, 7.0f), outRight(64, 7.0f);
    float* inputs[4] = {in.data(), in.data(), in.data(), in.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    for (bool external : {false, true}) {
        processHostBuffers(engine, external, inputs, outputs, 64);
        EXPECT_EQ(outLeft, std::vector<float>(64, 0.0f));
        EXPECT_EQ(outRight, std::vector<float>(64, 0.0f));
    }
}

TEST(BlockDriver, MissingSideChainChannelsReadAsSilence) {
    // "R-S.chn" keyed by a missing right side-chain channel gives what a
    // zero-filled channel gives (the copy shares the noise seeds).
    StereoProcessor engine;
    engine.setChannelMode(rightKeyed);
    StereoProcessor reference(engine);
    std::vector<double> left(256), right(256, 0.25), zeros(256, 0.0);
    for (int i = 0; i < 256; ++i) left[i] = 0.001 * i;
    std::vector<double> outLeft(256), outRight(256), expectLeft(256), expectRight(256);
    double* inputs[4] = {left.data(), right.data(), nullptr, nullptr};
    double* outputs[2] = {outLeft.data(), outRight.data()};
    processHostBuffers(engine, true, inputs, outputs, 256);
    double* zeroKey[4] = {left.data(), right.data(), zeros.data(), zeros.data()};
    double* expected[2] = {expectLeft.data(), expectRight.data()};
    processHostBuffers(reference, true, zeroKey, expected, 256);
    EXPECT_EQ(outLeft, expectLeft);
    EXPECT_EQ(outRight, expectRight);
    EXPECT_NE(outLeft, std::vector<double>(256, 0.0));
}

TEST(BlockDriver, NullArraysAndChannelsWriteNothing) {
    StereoProcessor engine;
    std::vector<double> in(32, 0.5), out(32, 3.0);
    double* inputs[4] = {in.data(), in.data(), nullptr, nullptr};
    double* outputs[2] = {out.data(), nullptr};
    processHostBuffers<double>(engine, false, nullptr, outputs, 32);
    processHostBuffers<double>(engine, false, inputs, nullptr, 32);
    EXPECT_EQ(out, std::vector<double>(32, 3.0));
    processHostBuffers(engine, false, inputs, outputs, 32);  // only the left channel is written
    EXPECT_NE(out, std::vector<double>(32, 3.0));
}

// The block path against the frame path: the block driver as the plug-in's
// processing entries call it (the engine's chunked block loops, runs of
// frames through the kernel at once) against a copy of the engine driven one
// frame at a time. Settings change between blocks of odd sizes, as the
// configuration pass changes them, in every mode with either key, bypass
// included; every output sample must match to the bit. (The arithmetic itself
// is compared with an independent plain-double strip in ReferenceStripTest;
// this test asks whether cutting a block into runs changes it.)

constexpr double kRate = 44100.0;
constexpr int kModes = 7;

/// Noise with loud bursts, in stretches of 1300 frames that silence (exact
/// zeros) the left pair, the right pair, everything, or only the key pair,
/// or make right equal left (no side signal), so strips fall asleep and wake
/// apart and together (the shortest silence hold below is 441 frames).
class TestSignal {
public:
    explicit TestSignal(std::uint32_t seed) : random_(seed) {}
    /// The four inputs of one frame: main left, main right, key left, key right.
    void next(std::int64_t frame, double (&x)[4]) {
        for (double& v : x) {
            const double burst = (frame / 500) % 3 == 0 ? 6.0 : 1.0;
            v = std::uniform_real_distribution<double>(-0.5, 0.5)(random_) * burst;
        }
        switch ((frame / 1300) % 6) {
        case 1: x[0] = x[2] = 0.0; break;
        case 2: x[0] = x[1] = x[2] = x[3] = 0.0; break;
        case 3: x[1] = x[3] = 0.0; break;
        case 4: x[2] = x[3] = 0.0; break;
        case 5: x[1] = x[0], x[3] = x[2]; break;
        default: break;
        }
    }

private:
    std::mt19937 random_;
};

/// One engine setting group changed between blocks, with a value drawn from
/// its range, the way the configuration pass writes it (an oversampling
/// change is followed by the detector and scoop redesigns for the factor).
/// Returns the key choice, which the "Sd.chain" group may flip.
bool automate(StereoProcessor& engine, std::mt19937& random, int homeMode, bool homeExternal,
              bool external) {
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    auto uniform = [&](double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(random);
    };
    const double releases[] = {0.005, 0.01, 0.3};
    auto redesignDetectors = [&] {
        engine.updateDetectorFilters(pick(4) == 0, kRate, uniform(0.0, 0.05), releases[pick(3)],
                                     pick(2) ? 0.0 : uniform(41.0, 260.0));
    };
    switch (pick(10)) {
    case 0:
        engine.setOversampling(1 << pick(4), pick(2) == 1);
        redesignDetectors();
        engine.setScoop(std::pow(10.0, uniform(-12.0, 12.0) / 20.0), kRate);
        break;
    case 1:
        redesignDetectors();
        break;
    case 2:
        engine.designGainComputers(std::pow(10.0, uniform(-40.0, 0.0) / 20.0), uniform(0.0, 1.0),
                                   pick(4) ? uniform(1.1, 10.99) : 100.0);
        engine.setClipLevel(std::pow(10.0, uniform(-6.0, 24.0) / 20.0));
        engine.setSaturationEnabled(pick(3) != 0);
        engine.setChannelMode(engine.channelMode());
        break;
    case 3: {
        const double dry = pick(2) ? 0.0 : uniform(0.0, 1.0);
        engine.setLevels(std::pow(2.0, pick(5) - 2), (1.0 - dry) * uniform(0.5, 4.0), dry);
        break;
    }
    case 4: {
        const int position = pick(3);
        engine.setLimiterPosition(position == 0, position == 1);
        engine.setLimiterCeiling(std::pow(10.0, uniform(-20.0, 0.0) / 20.0));
        break;
    }
    case 5:
        engine.setBypass(pick(3) == 0);
        break;
    case 6:
        engine.setNoiseBits(pick(3) == 0 ? 0 : 20);
        break;
    case 7:  // a visit to another mode, and back
        engine.setChannelMode(engine.channelMode() == homeMode ? pick(kModes) : homeMode);
        break;
    case 8:  // the key flips, and back
        if (external == homeExternal) external = !external;
        else external = homeExternal;
        if (external) engine.takeOverSideChainAudio();
        break;
    default:  // no change
        break;
    }
    return external;
}

template <typename Sample>
bool sameBits(Sample a, Sample b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

template <typename Sample>
void expectBlockPathMatchesFramePath(int mode, bool homeExternal, std::uint32_t seed) {
    StereoProcessor blocks;
    blocks.setChannelMode(mode);
    blocks.setOversampling(4, false);
    blocks.updateDetectorFilters(false, kRate, 0.005, 0.01, 0.0);
    blocks.designGainComputers(0.1, 0.5, 4.0);
    blocks.setLimiterCeiling(0.25);
    // A copy of the engine's state, so that both engines' noise generators
    // share their seeds.
    StereoProcessor frameByFrame(blocks);

    std::mt19937 blockRandom(seed);
    std::mt19937 frameByFrameRandom(seed);
    TestSignal signal(seed + 1);
    const int sizes[] = {1, 7, 255, 31, 1000, 3, 513, 97, 2};
    std::vector<Sample> inputs[4];
    std::vector<Sample> outputs[2];
    bool external = homeExternal;
    std::int64_t frame = 0;
    for (int block = 0; block < 150; ++block) {
        const int frames = sizes[block % 9];
        for (auto& channel : inputs) channel.resize(frames);
        for (auto& channel : outputs) channel.assign(frames, Sample(0));
        for (int i = 0; i < frames; ++i) {
            double x[4];
            signal.next(frame + i, x);
            for (int c = 0; c < 4; ++c) inputs[c][i] = static_cast<Sample>(x[c]);
        }

        Sample* in[4] = {inputs[0].data(), inputs[1].data(), inputs[2].data(), inputs[3].data()};
        Sample* out[2] = {outputs[0].data(), outputs[1].data()};
        processHostBuffers(blocks, external, in, out, frames);

        for (int i = 0; i < frames; ++i, ++frame) {
            double left = 0.0;
            double right = 0.0;
            if (external) {
                frameByFrame.processFrameExternal(&left, &right, inputs[0][i], inputs[1][i],
                                                  inputs[2][i], inputs[3][i]);
            } else {
                frameByFrame.processFrame(&left, &right, inputs[0][i], inputs[1][i]);
            }
            ASSERT_TRUE(sameBits(outputs[0][i], static_cast<Sample>(left)) &&
                        sameBits(outputs[1][i], static_cast<Sample>(right)))
                << "mode " << mode << (homeExternal ? " external" : " internal") << " key, "
                << sizeof(Sample) * 8 << "-bit, block " << block << " frame " << i
                << " (mode now " << frameByFrame.channelMode()
                << (external ? ", external" : ", internal") << " key): " << outputs[0][i]
                << " vs " << left << ", " << outputs[1][i] << " vs " << right;
        }
        const bool next = automate(blocks, blockRandom, mode, homeExternal, external);
        automate(frameByFrame, frameByFrameRandom, mode, homeExternal, external);
        external = next;
    }
}

TEST(BlockDriver, BlockPathMatchesTheFrameByFramePathToTheBit) {
    for (int mode = 0; mode < kModes; ++mode)
        for (bool external : {false, true}) {
            const std::uint32_t seed = static_cast<std::uint32_t>(2 * mode + external + 1);
            expectBlockPathMatchesFramePath<float>(mode, external, seed);
            expectBlockPathMatchesFramePath<double>(mode, external, seed + 100);
        }
}

}  // namespace
}  // namespace tarvo
