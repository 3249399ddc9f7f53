// Audio no host should send, and some do: NaN, infinities, huge values and
// subnormals on every input, in every mode and at every factor, single and
// double precision. Nothing crashes and nothing throws; non-finite samples
// act as silence; after effMainsChanged off and on, finite input gives
// finite output again. Also the buffers a
// careless host hands over: null side-chain channels, in-place buffers.

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "conformance/ConformanceHost.h"

namespace tarvo::conformance {
namespace {

template <typename Sample>
std::vector<Sample> hostileSamples() {
    using limits = std::numeric_limits<Sample>;
    return {limits::quiet_NaN(), -limits::quiet_NaN(), limits::infinity(), -limits::infinity(),
            limits::max(),       -limits::max(),        limits::denorm_min(), -limits::denorm_min(),
            Sample(1e30),        Sample(-1e30),         limits::min() / 2,     Sample(1e6)};
}

/// Fills the four inputs with noise salted with hostile samples: every
/// `every`-th frame of each channel takes the next hostile value.
template <typename Sample>
void fillHostile(AudioBuffers<Sample>& buffers, std::mt19937& random, int frames, int every) {
    const std::vector<Sample> hostile = hostileSamples<Sample>();
    buffers.fillNoise(random, 1.0, frames);
    std::size_t next = random() % hostile.size();
    for (int c = 0; c < 4; ++c)
        for (int i = static_cast<int>(random() % every); i < frames; i += every)
            buffers.inputs[c][i] = hostile[next++ % hostile.size()];
}

/// The settings a hostile run covers: every mode with the main and the
/// side-chain key, every limiter position, saturation on and off, bypass.
struct Setting {
    int mode;
    bool external;
    int limiter;
    int saturation;
    bool bypass;
};

std::vector<Setting> settings() {
    std::vector<Setting> all;
    for (int mode = 0; mode < 7; ++mode)
        for (bool external : {false, true}) all.push_back({mode, external, mode % 3, mode % 3, false});
    all.push_back({6, false, 0, 1, true});
    all.push_back({5, true, 1, 2, true});
    return all;
}

void apply(VstInstance& plugin, const Setting& setting) {
    plugin.setParameter(kMode, optionPosition(kMode, setting.mode));
    plugin.setParameter(kSideChain, setting.external ? 1.0f : 0.0f);
    plugin.setParameter(kLimiterPosition, optionPosition(kLimiterPosition, setting.limiter));
    plugin.setParameter(kSaturation, optionPosition(kSaturation, setting.saturation));
    plugin.setParameter(kBypass, setting.bypass ? 1.0f : 0.0f);
    plugin.setParameter(kDryWet, 0.5f);
    plugin.setParameter(kMidScoop, 0.9f);
}

template <typename Sample>
void hostileThenRecovery(float rate, const Oversampling& oversampling, const Setting& setting) {
    const std::string where = rateName(rate) + (sizeof(Sample) == 4 ? " float" : " double") + " mode " +
                              std::to_string(setting.mode) + (setting.external ? " external" : " internal") +
                              " limiter " + std::to_string(setting.limiter) + " saturation " +
                              std::to_string(setting.saturation) + (setting.bypass ? " bypass" : "") +
                              " factor option " + std::to_string(oversampling.upsamplingOption) +
                              (oversampling.hq ? " HQ" : " Fast");
    auto plugin = startedInstance(rate, 512);
    selectOversampling(*plugin, oversampling);
    apply(*plugin, setting);
    AudioBuffers<Sample> buffers(512);
    std::mt19937 random(static_cast<unsigned>(setting.mode * 31 + setting.limiter));
    for (int block = 0; block < 6; ++block) {
        fillHostile(buffers, random, 512, block < 3 ? 7 : 1);  // salted, then nothing but hostile
        process(*plugin, buffers, 512);
    }
    plugin->suspend();
    plugin->resume();
    // The halfband stages delay by 172 samples and the limiter window holds
    // up to 0.63 ms; the output must be finite from the first sample on.
    OutputCheck check;
    for (int block = 0; block < 8; ++block) {
        buffers.fillNoise(random, 1.0, 512);
        process(*plugin, buffers, 512);
        check.add(buffers, 512, where + " after resume, block " + std::to_string(block));
    }
    EXPECT_EQ(check.nonFinite, 0) << check.summary();
    EXPECT_GT(check.peak, 0.01) << where << ": silent after resume";
}

TEST(HostileInput, NonFiniteHugeAndSubnormalInputThenResumeGivesFiniteOutput) {
    for (const Setting& setting : settings())
        for (const Oversampling& oversampling : allOversamplings()) {
            hostileThenRecovery<float>(44100.0f, oversampling, setting);
            hostileThenRecovery<double>(96000.0f, oversampling, setting);
        }
}

// One NaN or infinity burst in one input channel, as an upstream plug-in's
// glitch sends it, in single and double precision: every output sample is
// finite and exactly what zeros in its place give ("Dither" "Off": no noise,
// with either key).
template <typename Sample>
void burstActsAsSilence(bool external, int channel, Sample bad) {
    const std::string where = std::string(sizeof(Sample) == 4 ? "float" : "double") +
                              (external ? " external" : " internal") + " channel " +
                              std::to_string(channel) + " value " + std::to_string(bad);
    auto exposed = startedInstance(44100.0f, 512);
    auto reference = startedInstance(44100.0f, 512);
    for (VstInstance* plugin : {exposed.get(), reference.get()}) {
        plugin->setParameter(kDither, optionPosition(kDither, 1));  // "Off"
        plugin->setParameter(kSideChain, external ? 1.0f : 0.0f);
    }
    AudioBuffers<Sample> withBurst(512), withZeros(512);
    std::mt19937 random(19);
    for (int block = 0; block < 8; ++block) {
        withBurst.fillNoise(random, 0.5, 512);
        for (int c = 0; c < 4; ++c) withZeros.inputs[c] = withBurst.inputs[c];
        if (block == 1)
            for (int i = 300; i < 320; ++i) {
                withBurst.inputs[channel][i] = bad;
                withZeros.inputs[channel][i] = Sample(0);
            }
        process(*exposed, withBurst, 512);
        process(*reference, withZeros, 512);
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < 512; ++i) {
                ASSERT_TRUE(std::isfinite(withBurst.outputs[c][i])) << where << " block " << block << " frame " << i;
                ASSERT_EQ(withBurst.outputs[c][i], withZeros.outputs[c][i])
                    << where << " block " << block << " frame " << i;
            }
    }
}

TEST(HostileInput, NonFiniteSamplesActAsSilenceInEveryInputChannel) {
    for (bool external : {false, true})
        for (int channel = 0; channel < (external ? 4 : 2); ++channel) {
            for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity()})
                burstActsAsSilence<float>(external, channel, bad);
            for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity()})
                burstActsAsSilence<double>(external, channel, bad);
        }
}

// A limiter that saw infinity must still limit after the resume: a loud
// signal comes out at no more than the ceiling plus what the saturation and
// the resamplers add.
TEST(HostileInput, LimiterStillLimitsAfterInfiniteInputAndResume) {
    for (const Oversampling& oversampling : allOversamplings()) {
        auto reference = startedInstance(44100.0f, 512);
        auto exposed = startedInstance(44100.0f, 512);
        AudioBuffers<double> buffers(512);
        std::mt19937 random(12);
        for (VstInstance* plugin : {reference.get(), exposed.get()}) {
            selectOversampling(*plugin, oversampling);
            plugin->setParameter(kLimiterCeiling, 0.0f);  // -12 dB
            plugin->setParameter(kRatio, 0.0f);           // 1.1:1, the compressor barely acts
            plugin->setParameter(kDither, optionPosition(kDither, 1));
        }
        for (int block = 0; block < 4; ++block) {
            buffers.fill(std::numeric_limits<double>::infinity(), 512);
            process(*exposed, buffers, 512);
            buffers.fill(-std::numeric_limits<double>::quiet_NaN(), 512);
            process(*exposed, buffers, 512);
        }
        for (VstInstance* plugin : {reference.get(), exposed.get()}) {
            plugin->suspend();
            plugin->resume();
        }
        double peaks[2] = {0.0, 0.0};
        std::mt19937 noise[2] = {std::mt19937(13), std::mt19937(13)};
        for (int block = 0; block < 40; ++block) {
            int n = 0;
            for (VstInstance* plugin : {reference.get(), exposed.get()}) {
                buffers.fillNoise(noise[n], 4.0, 512);
                process(*plugin, buffers, 512);
                if (block >= 4)
                    for (int i = 0; i < 512; ++i)
                        peaks[n] = std::max({peaks[n], std::fabs(buffers.outputs[0][i]),
                                             std::fabs(buffers.outputs[1][i])});
                ++n;
            }
        }
        EXPECT_LT(peaks[0], 1.0) << "the fresh instance's limiter does not hold noise peaking at 4.0";
        EXPECT_TRUE(std::isfinite(peaks[1]));
        EXPECT_LT(peaks[1], 1.05 * peaks[0]) << "factor option " << oversampling.upsamplingOption
                                             << (oversampling.hq ? " HQ" : " Fast")
                                             << ": peak after infinite input " << peaks[1]
                                             << ", fresh " << peaks[0];
    }
}

// Rates far below the audio range would put the side-chain, detector and
// scoop corners (fixed in Hz) past the Nyquist frequency and turn the output
// to NaN within a block; the plug-in ignores rates below 1 kHz.
TEST(HostileInput, SubAudioSampleRatesAreRefusedOrStayFinite) {
    for (float rate : {60.0f, 30.0f, 10.0f, 1.0f, 0.1f, 1e-20f, std::numeric_limits<float>::min()}) {
        for (const Oversampling& oversampling : allOversamplings()) {
            auto plugin = startedInstance(rate, 256);
            selectOversampling(*plugin, oversampling);
            AudioBuffers<float> buffers(256);
            std::mt19937 random(16);
            OutputCheck check;
            for (int block = 0; block < 10; ++block) {
                buffers.fillNoise(random, 1.0, 256);
                process(*plugin, buffers, 256);
                check.add(buffers, 256, "rate " + std::to_string(rate));
            }
            EXPECT_EQ(check.nonFinite, 0) << "factor option " << oversampling.upsamplingOption
                                          << (oversampling.hq ? " HQ: " : " Fast: ") << check.summary();
        }
    }
}

TEST(HostileInput, MissingSideChainChannelsAreHarmless) {
    for (bool external : {false, true}) {
        auto plugin = startedInstance(44100.0f, 256);
        plugin->setParameter(kSideChain, external ? 1.0f : 0.0f);
        AudioBuffers<float> buffers(256);
        std::mt19937 random(14);
        buffers.inputPointers[2] = nullptr;
        buffers.inputPointers[3] = nullptr;
        OutputCheck check;
        for (int block = 0; block < 8; ++block) {
            buffers.fillNoise(random, 1.0, 256);
            process(*plugin, buffers, 256);
            check.add(buffers, 256, external ? "external" : "internal");
        }
        EXPECT_TRUE(check.clean()) << check.summary();
    }
}

// In-place processing (outputs are the main inputs) gives what separate
// buffers give.
TEST(HostileInput, InPlaceBuffersGiveTheSameOutput) {
    for (bool external : {false, true}) {
        auto separate = startedInstance(44100.0f, 256);
        auto inPlace = startedInstance(44100.0f, 256);
        for (VstInstance* plugin : {separate.get(), inPlace.get()}) {
            plugin->setParameter(kDither, optionPosition(kDither, 1));
            plugin->setParameter(kSideChain, external ? 1.0f : 0.0f);
        }
        AudioBuffers<double> a(256);
        AudioBuffers<double> b(256);
        b.outputPointers[0] = b.inputPointers[0];
        b.outputPointers[1] = b.inputPointers[1];
        std::mt19937 random(15);
        for (int block = 0; block < 8; ++block) {
            a.fillNoise(random, 1.0, 256);
            for (int c = 0; c < 4; ++c) b.inputs[c] = a.inputs[c];
            process(*separate, a, 256);
            process(*inPlace, b, 256);
            // The extra audio upsamplers of the external key add their own
            // noise, seeded per instance: compare within that noise.
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < 256; ++i)
                    ASSERT_NEAR(b.inputs[c][i], a.outputs[c][i], external ? 1e-6 : 0.0)
                        << (external ? "external" : "internal") << " block " << block << " frame " << i;
        }
    }
}

TEST(HostileInput, NullBufferArraysAndNegativeFrameCountsAreHarmless) {
    auto plugin = startedInstance(44100.0f, 256);
    AudioBuffers<float> floats(256);
    AudioBuffers<double> doubles(256);
    plugin->processReplacing(nullptr, nullptr, 0);
    plugin->processDoubleReplacing(nullptr, nullptr, 0);
    floats.markOutputs(0.5f);
    for (VstInt32 frames : {-1, -4096, INT32_MIN}) {
        plugin->processReplacing(floats.inputPointers, floats.outputPointers, frames);
        plugin->processDoubleReplacing(doubles.inputPointers, doubles.outputPointers, frames);
    }
    for (int c = 0; c < 2; ++c)
        for (float y : floats.outputs[c]) ASSERT_EQ(y, 0.5f) << "a negative frame count wrote output";
}

}  // namespace
}  // namespace tarvo::conformance
