// Audio at every sample rate a host may pick, common and odd, with every
// block size from 0 frames up and runs of random sizes, in single and double
// precision, at every oversampling factor "Fast" and "HQ": outputs finite and
// free of subnormal values during and after loud noise; parameter changes
// every 32 samples; silence decaying to exact zero. (Rate changes while the
// instance runs are in LifecycleTest.)

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "conformance/ConformanceHost.h"

namespace tarvo::conformance {
namespace {

/// The block sizes of the matrix; kRandomBlocks stands for a run of random
/// sizes between 1 and 4096.
constexpr int kRandomBlocks = -1;
const int kBlockSizes[] = {0, 1, 7, 64, 512, 4096, kRandomBlocks};

/// Loud: noise peaking 6 dB above full scale.
constexpr double kLoud = 2.0;

/// Frames of noise and then of silence per combination: enough for every
/// block size to run several blocks, few enough for the whole matrix to stay
/// within seconds.
constexpr int kFramesPerPhase = 8192;

/// Feeds `frames` frames in blocks of `blockSize` (or random sizes), with
/// noise of `amplitude` (0: silence), and checks every output block.
template <typename Sample>
void run(VstInstance& plugin, AudioBuffers<Sample>& buffers, std::mt19937& random, int blockSize,
         int frames, double amplitude, OutputCheck& check, const std::string& where) {
    std::uniform_int_distribution<int> randomSize(1, 4096);
    int done = 0;
    while (done < frames) {
        const int size = blockSize == kRandomBlocks ? randomSize(random) : blockSize;
        if (amplitude > 0.0)
            buffers.fillNoise(random, amplitude, size);
        else
            buffers.fill(0.0, size);
        process(plugin, buffers, size);
        check.add(buffers, size, where);
        done += size;
    }
}

/// A block of 0 frames writes nothing: the outputs keep what they held.
template <typename Sample>
void checkEmptyBlocks(VstInstance& plugin, AudioBuffers<Sample>& buffers, const std::string& where) {
    const Sample mark = Sample(0.123);
    buffers.markOutputs(mark);
    for (int call = 0; call < 4; ++call) process(plugin, buffers, 0);
    for (int c = 0; c < 2; ++c)
        EXPECT_TRUE(std::all_of(buffers.outputs[c].begin(), buffers.outputs[c].end(),
                                [mark](Sample y) { return y == mark; }))
            << where << ": a block of 0 frames wrote output " << c;
}

template <typename Sample>
void runMatrixCell(VstInstance& plugin, float rate, const Oversampling& oversampling, int blockSize) {
    const std::string where = rateName(rate) + (sizeof(Sample) == 4 ? " float" : " double") +
                              " factor option " + std::to_string(oversampling.upsamplingOption) +
                              (oversampling.hq ? " HQ" : " Fast") + " block " +
                              (blockSize == kRandomBlocks ? std::string("random") : std::to_string(blockSize));
    AudioBuffers<Sample> buffers(4096);
    if (blockSize == 0) {
        checkEmptyBlocks(plugin, buffers, where);
        return;
    }
    std::mt19937 random(static_cast<unsigned>(rate) + static_cast<unsigned>(blockSize));
    OutputCheck check;
    run(plugin, buffers, random, blockSize, kFramesPerPhase, kLoud, check, where + " noise");
    run(plugin, buffers, random, blockSize, kFramesPerPhase, 0.0, check, where + " silence");
    EXPECT_TRUE(check.clean()) << check.summary();
    EXPECT_GT(check.peak, 0.0) << where << ": no output at all";
}

class AudioAtRate : public ::testing::TestWithParam<float> {};

TEST_P(AudioAtRate, EveryBlockSizePrecisionAndFactorGivesFiniteNormalOutput) {
    const float rate = GetParam();
    for (const Oversampling& oversampling : allOversamplings()) {
        auto plugin = startedInstance(rate, 4096);
        selectOversampling(*plugin, oversampling);
        for (int blockSize : kBlockSizes) {
            runMatrixCell<float>(*plugin, rate, oversampling, blockSize);
            runMatrixCell<double>(*plugin, rate, oversampling, blockSize);
        }
    }
}

// A host automating while audio runs: before every block of 32 frames one
// parameter, chosen at random, moves to a random position.
TEST_P(AudioAtRate, RandomParameterChangesEvery32Samples) {
    const float rate = GetParam();
    auto plugin = startedInstance(rate, 32);
    std::mt19937 random(static_cast<unsigned>(rate * 10.0f));
    std::uniform_int_distribution<int> anyParameter(0, kParams - 1);
    std::uniform_real_distribution<float> anyPosition(0.0f, 1.0f);
    AudioBuffers<float> single(32);
    AudioBuffers<double> twice(32);
    OutputCheck check;
    for (int block = 0; block < 4096; ++block) {
        plugin->setParameter(anyParameter(random), anyPosition(random));
        if (block % 2 == 0) {
            single.fillNoise(random, kLoud, 32);
            process(*plugin, single, 32);
            check.add(single, 32, rateName(rate) + " float block " + std::to_string(block));
        } else {
            twice.fillNoise(random, kLoud, 32);
            process(*plugin, twice, 32);
            check.add(twice, 32, rateName(rate) + " double block " + std::to_string(block));
        }
    }
    EXPECT_TRUE(check.clean()) << check.summary();
}

// 20 s of silence after a second of loud noise: the silence gate closes and
// the output becomes exactly 0.0 and stays there.
TEST_P(AudioAtRate, SilenceAfterLoudNoiseDecaysToExactZero) {
    const float rate = GetParam();
    auto plugin = startedInstance(rate, 4096);
    AudioBuffers<double> buffers(4096);
    std::mt19937 random(17);
    OutputCheck check;
    const int second = static_cast<int>(rate);
    run(*plugin, buffers, random, 4096, second, kLoud, check, rateName(rate) + " noise");
    // The gate closes after twice the release time (109.5 ms in the
    // starting program) of exact zeros; the last 10 s must be exactly zero.
    std::int64_t lastNonZero = -1;
    std::int64_t frame = 0;
    const std::int64_t silentFrames = static_cast<std::int64_t>(20.0 * rate);
    while (frame < silentFrames) {
        const int size = static_cast<int>(std::min<std::int64_t>(4096, silentFrames - frame));
        buffers.fill(0.0, size);
        process(*plugin, buffers, size);
        check.add(buffers, size, rateName(rate) + " silence");
        for (int i = 0; i < size; ++i)
            if (buffers.outputs[0][i] != 0.0 || buffers.outputs[1][i] != 0.0) lastNonZero = frame + i;
        frame += size;
    }
    EXPECT_TRUE(check.clean()) << check.summary();
    EXPECT_LT(lastNonZero, silentFrames / 2)
        << rateName(rate) << ": output not exactly zero " << static_cast<double>(lastNonZero) / rate
        << " s into the silence";
}

// Every channel mode at every factor: silence after noise ends in exact zeros.
// In "Mid." and "Side" one half always runs through strip B's resamplers,
// whose dither noise ("Dither" "High" or "Low") never stops by design; there
// the run is made with "Dither" "Off".
TEST(Silence, EveryModeAndFactorDecaysToExactZero) {
    for (int mode = 0; mode < optionCount(kMode); ++mode) {
        for (const Oversampling& oversampling : allOversamplings()) {
            const std::string where = "mode " + std::to_string(mode) + " factor option " +
                                      std::to_string(oversampling.upsamplingOption) +
                                      (oversampling.hq ? " HQ" : " Fast");
            auto plugin = startedInstance(44100.0f, 4096);
            selectOversampling(*plugin, oversampling);
            plugin->setParameter(kMode, optionPosition(kMode, mode));
            if (mode == 3 || mode == 4) plugin->setParameter(kDither, optionPosition(kDither, 1));
            AudioBuffers<float> buffers(4096);
            std::mt19937 random(static_cast<unsigned>(mode));
            OutputCheck check;
            run(*plugin, buffers, random, 4096, 22050, kLoud, check, where + " noise");
            std::int64_t lastNonZero = -1;
            const std::int64_t silentFrames = 20 * 44100;
            for (std::int64_t frame = 0; frame < silentFrames; frame += 4096) {
                const int size = static_cast<int>(std::min<std::int64_t>(4096, silentFrames - frame));
                buffers.fill(0.0, size);
                process(*plugin, buffers, size);
                check.add(buffers, size, where + " silence");
                for (int i = 0; i < size; ++i)
                    if (buffers.outputs[0][i] != 0.0f || buffers.outputs[1][i] != 0.0f)
                        lastNonZero = frame + i;
            }
            EXPECT_TRUE(check.clean()) << check.summary();
            EXPECT_LT(lastNonZero, silentFrames / 2)
                << where << ": output not exactly zero " << static_cast<double>(lastNonZero) / 44100.0
                << " s into the silence";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, AudioAtRate, ::testing::ValuesIn(allSampleRates()),
                         [](const ::testing::TestParamInfo<float>& info) { return rateName(info.param); });

}  // namespace
}  // namespace tarvo::conformance
