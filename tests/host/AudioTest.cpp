// The signal path as a host drives it: blocks through the record's processing
// entries, parameters through setParameter, latency from the record.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/PluginUnderTest.h"

namespace tarvo {
namespace {

using test::pluginLibrary;
using vsthost::HostAnswers;
using vsthost::VstInstance;

constexpr double kPi = 3.141592653589793;

// Parameter numbers and positions of the choices used here.
enum : VstInt32 { Threshold = 1, Release = 4, Ratio = 5, Ceiling = 6, Mode = 10, Upsampling = 11,
                  LimiterPosition = 14, Saturation = 15, Bypass = 16, Render8x = 17,
                  Dither = 18, SideChain = 19, Path = 21 };
float modePosition(int option) { return option / 6.0f; }
constexpr float kDitherOff = 0.5f;
constexpr float kFourTimes = 2.0f / 3.0f;

using Signal = std::vector<double>;

Signal sine(int frames, double hz, double amplitude, double rate = 44100.0) {
    Signal x(frames);
    for (int i = 0; i < frames; ++i) x[i] = amplitude * std::sin(2.0 * kPi * hz * i / rate);
    return x;
}

double peak(const Signal& x, std::size_t from = 0) {
    double m = 0.0;
    for (std::size_t i = from; i < x.size(); ++i) m = std::max(m, std::fabs(x[i]));
    return m;
}

/// Runs whole signals through an instance in blocks, in single or double
/// precision, and returns the two outputs.
struct Outputs {
    Signal left, right;
};

template <typename Sample>
Outputs process(VstInstance& instance, const Signal& l, const Signal& r, const Signal* kl = nullptr,
            const Signal* kr = nullptr, int block = 512) {
    const int frames = static_cast<int>(l.size());
    std::vector<Sample> in[4], out[2];
    for (auto& c : in) c.assign(frames, Sample(0));
    for (auto& c : out) c.assign(frames, Sample(-7));
    for (int i = 0; i < frames; ++i) {
        in[0][i] = static_cast<Sample>(l[i]);
        in[1][i] = static_cast<Sample>(r[i]);
        if (kl) in[2][i] = static_cast<Sample>((*kl)[i]);
        if (kr) in[3][i] = static_cast<Sample>((*kr)[i]);
    }
    for (int start = 0; start < frames; start += block) {
        const int n = std::min(block, frames - start);
        Sample* ins[4] = {&in[0][start], &in[1][start], &in[2][start], &in[3][start]};
        Sample* outs[2] = {&out[0][start], &out[1][start]};
        if constexpr (sizeof(Sample) == sizeof(float))
            instance.processReplacing(ins, outs, n);
        else
            instance.processDoubleReplacing(ins, outs, n);
    }
    return {Signal(out[0].begin(), out[0].end()), Signal(out[1].begin(), out[1].end())};
}

/// A started instance of the factory "Default" (Stereo, 4x Fast).
struct Started {
    explicit Started(HostAnswers answers = {}) : instance(pluginLibrary(), answers) {
        instance.start(44100.0f, 512);
    }
    VstInstance instance;
};

/// The keys a table below runs with: the main input ("Sd.chain"
/// "Internal"), or "External" with a side-chain that plays or stays silent.
enum class Key { internal, externalPlaying, externalSilent };
const Key kAllKeys[] = {Key::internal, Key::externalPlaying, Key::externalSilent};
const float kFactorPositions[] = {0.0f, 1.0f / 3.0f, kFourTimes, 1.0f};  // 1x, 2x, 4x, 8x

/// An instance in `mode` at a factor and path, noise off, with the key chosen.
struct Configured : Started {
    Configured(int mode, float factor, float path, Key key) {
        instance.setParameter(Mode, modePosition(mode));
        instance.setParameter(Upsampling, factor);
        instance.setParameter(Path, path);
        instance.setParameter(Dither, kDitherOff);
        instance.setParameter(SideChain, key == Key::internal ? 0.0f : 1.0f);
    }
    /// Blocks of main input, with the side-chain the key asks for.
    Outputs run(Key key, const Signal& l, const Signal& r, const Signal& kl, const Signal& kr) {
        return key == Key::externalPlaying ? process<double>(instance, l, r, &kl, &kr)
                                           : process<double>(instance, l, r);
    }
    std::string where(int mode, float factor, float path, Key key) const {
        return "mode " + std::to_string(mode) + " factor position " + std::to_string(factor) +
               (path == 0.0f ? " Fast" : " HQ") + " key " + std::to_string(static_cast<int>(key)) +
               " latency " + std::to_string(instance.effect().initialDelay);
    }
};

TEST(Audio, BypassIsTheMainInputDelayedByTheReportedLatencyNeverTheKey) {
    // "Mono-L" and "R-S.chn" carry the left input on both outputs, the other
    // modes left and right ("Mid." and "Side" recombine mid and side); "M/S"
    // also clips its bypassed sums, by at most a few per cent at this level.
    // The side-chain pair (other tones, louder) must never come out.
    const int frames = 1200;
    const Signal l = sine(frames, 440.0, 0.5), r = sine(frames, 300.0, 0.35);
    const Signal kl = sine(frames, 1000.0, 0.9), kr = sine(frames, 1500.0, 0.7);
    // With "Dither" "Off" (as configured) the delay is exact with every key,
    // the side-chain's audio upsamplers included; "Mid." and "Side" may
    // round their mid/side recombination by an ulp of the sums (< 1), "M/S"
    // too, on top of its clipping.
    const auto tolerance = [](int mode, double expected) {
        return mode == 5 ? 0.06 * std::fabs(expected) + 4e-16 : mode == 3 || mode == 4 ? 4e-16 : 0.0;
    };
    for (int mode = 0; mode < 7; ++mode)
        for (float factor : kFactorPositions)
            for (float path : {0.0f, 1.0f})
                for (Key key : kAllKeys) {
                    Configured s(mode, factor, path, key);
                    s.instance.setParameter(Bypass, 1.0f);
                    const Outputs out = s.run(key, l, r, kl, kr);
                    const int latency = s.instance.effect().initialDelay;
                    ASSERT_EQ(latency, path == 0.0f || factor == 0.0f ? 2 : 172);
                    const bool leftOnly = mode == 0 || mode == 2;
                    for (int i = 0; i < frames; ++i) {
                        const double el = i >= latency ? l[i - latency] : 0.0;
                        const double er = leftOnly ? el : i >= latency ? r[i - latency] : 0.0;
                        ASSERT_NEAR(out.left[i], el, tolerance(mode, el))
                            << s.where(mode, factor, path, key) << " frame " << i;
                        ASSERT_NEAR(out.right[i], er, tolerance(mode, er))
                            << s.where(mode, factor, path, key) << " frame " << i;
                    }
                }
}

TEST(Audio, SilenceInGivesExactSilenceOut) {
    for (int program : {0, 1, 4, 15}) {
        Started s;
        s.instance.dispatch(effSetProgram, 0, program);
        const Signal zero(20000, 0.0);
        const Outputs d = process<double>(s.instance, zero, zero);
        EXPECT_EQ(peak(d.left), 0.0) << program;
        EXPECT_EQ(peak(d.right), 0.0) << program;
    }
}

TEST(Audio, OneSilentSidePassesUntouchedInStereoAndTwoMono) {
    for (int mode : {1, 6}) {
        Started s;
        s.instance.setParameter(Mode, modePosition(mode));
        s.instance.setParameter(Threshold, 0.5f);  // -20 dB
        const Signal l = sine(44100, 200.0, 0.9), r(44100, 0.0);
        const Outputs out = process<double>(s.instance, l, r);
        EXPECT_EQ(peak(out.right), 0.0) << mode;
        EXPECT_LT(peak(out.left, 22050), 0.6) << mode;
        EXPECT_GT(peak(out.left, 22050), 0.05) << mode;
    }
}

TEST(Audio, MidSideClipsBothOutputs) {
    Started s;
    s.instance.setParameter(Mode, modePosition(5));
    s.instance.setParameter(Bypass, 1.0f);
    s.instance.setParameter(Saturation, 0.5f);  // "Off" does not stop the M/S clippers
    const Signal l(4000, 20.0), r(4000, -20.0);
    const Outputs out = process<double>(s.instance, l, r);
    // With "Saturat." "Off" the sums clip at the resting level 3.981; the
    // clipper's output never exceeds about 1.11 times its level.
    const double clipLevel = 3.981;
    EXPECT_LT(peak(out.left), 1.11 * clipLevel);
    EXPECT_LT(peak(out.right), 1.11 * clipLevel);
    EXPECT_GT(peak(out.left), 1.0);
}

TEST(Audio, PostLimiterHoldsALoudSineUnderTheCeiling) {
    Started s;
    s.instance.setParameter(LimiterPosition, 0.5f);  // "Post"
    s.instance.setParameter(Saturation, 0.5f);       // "Off"
    s.instance.setParameter(Ratio, 0.0f);            // 1.1 : 1, little compression
    s.instance.setParameter(Ceiling, 0.5f);          // -6.0 dB
    const Signal x = sine(44100, 150.0, 1.0);
    const Outputs out = process<double>(s.instance, x, x);
    const double ceiling = std::pow(10.0, -6.0 / 20.0);
    EXPECT_LT(peak(out.left, 4410), ceiling * 1.06);
    EXPECT_LT(peak(out.right, 4410), ceiling * 1.06);
    EXPECT_GT(peak(out.left, 4410), ceiling * 0.7);
}

TEST(Audio, CompressesAboveThresholdByAboutTheRatio) {
    // Threshold -30 dB, ratio 4, limiter and saturation off: a tone 24 dB
    // above the threshold comes out roughly 24 / 4 = 6 dB above it.
    Started s;
    s.instance.setParameter(Threshold, 0.25f);
    s.instance.setParameter(Ratio, static_cast<float>((4.0 - 1.1) / 9.9));
    s.instance.setParameter(LimiterPosition, 1.0f);
    s.instance.setParameter(Saturation, 0.5f);
    const double inDb = -6.0;
    const Signal x = sine(88200, 1000.0, std::pow(10.0, inDb / 20.0));
    const Outputs out = process<double>(s.instance, x, x);
    const double outDb = 20.0 * std::log10(peak(out.left, 44100));
    EXPECT_NEAR(outDb, -30.0 + 24.0 / 4.0, 3.0);
}

/// Index of the largest magnitude.
int peakIndex(const Signal& x) {
    int at = 0;
    for (int i = 0; i < static_cast<int>(x.size()); ++i)
        if (std::fabs(x[i]) > std::fabs(x[at])) at = i;
    return at;
}

TEST(Audio, ImpulseArrivesAtTheReportedLatencyInEveryModeAndWithEitherKey) {
    // A host shifts every other track by initialDelay: an impulse must come
    // out that late, processed or bypassed, also while a side-chain key is
    // silent (the strip must not fall back to the undelayed input).
    const int frames = 600;
    Signal l(frames, 0.0), r(frames, 0.0);
    l[100] = 0.5;
    r[300] = 0.25;
    const Signal key = sine(frames, 1000.0, 0.25);  // below the threshold
    for (int mode = 0; mode < 7; ++mode)
        for (float factor : kFactorPositions)
            for (float path : {0.0f, 1.0f})
                for (float bypass : {0.0f, 1.0f})
                    for (Key k : kAllKeys) {
                        Configured s(mode, factor, path, k);
                        s.instance.setParameter(Bypass, bypass);
                        s.instance.setParameter(Ratio, 0.0f);
                        s.instance.setParameter(Threshold, 1.0f);
                        s.instance.setParameter(LimiterPosition, 1.0f);  // "Off"
                        s.instance.setParameter(Saturation, 0.5f);       // "Off"
                        const Outputs out = s.run(k, l, r, key, key);
                        const int latency = s.instance.effect().initialDelay;
                        EXPECT_EQ(latency, path == 0.0f || factor == 0.0f ? 2 : 172);
                        const int rightAt = mode == 0 || mode == 2 ? 100 : 300;
                        // Bypassed exactly; processed, the decimator's
                        // recursive low-pass may move the peak one more sample.
                        const int slack = bypass == 1.0f ? 0 : 1;
                        const std::string where = s.where(mode, factor, path, k) + " bypass " +
                                                  std::to_string(bypass);
                        EXPECT_GE(peakIndex(out.left), 100 + latency) << where;
                        EXPECT_LE(peakIndex(out.left), 100 + latency + slack) << where;
                        EXPECT_GE(peakIndex(out.right), rightAt + latency) << where;
                        EXPECT_LE(peakIndex(out.right), rightAt + latency + slack) << where;
                    }
}

TEST(Audio, ProcessedImpulseKeepsItsAreaOnEitherPath) {
    // Below the threshold the level comes through unchanged on either path.
    for (float path : {0.0f, 1.0f}) {
        Configured s(1, kFourTimes, path, Key::internal);
        s.instance.setParameter(Ratio, 0.0f);
        s.instance.setParameter(Threshold, 1.0f);
        s.instance.setParameter(Saturation, 0.5f);  // "Off": no small-signal lift
        Signal x(2048, 0.0);
        x[100] = 0.5;
        const Outputs out = process<double>(s.instance, x, x);
        double area = 0.0;
        for (double v : out.left) area += v;
        EXPECT_NEAR(area, 0.5, 0.005) << "path " << path;
        s.instance.setParameter(Path, 0.0f);
        process<double>(s.instance, Signal(16, 0.0), Signal(16, 0.0));
        EXPECT_EQ(s.instance.effect().initialDelay, 2);
    }
}

/// The largest step between neighbouring samples from `from` on, and where.
std::pair<double, int> largestStep(const Signal& x, int from) {
    std::pair<double, int> largest{0.0, from};
    for (int i = from; i < static_cast<int>(x.size()); ++i)
        if (std::fabs(x[i] - x[i - 1]) > largest.first) largest = {std::fabs(x[i] - x[i - 1]), i};
    return largest;
}

TEST(Audio, KeyStoppingAndBypassSwitchingUnderPlayingAudioAreContinuous) {
    // Ducking: a loud key for 0.3 s, 1 s of silence (ten times the silence
    // hold at "Release" 50 ms), then the key again, under a steady tone; and
    // bypass switched on and off under the tone. The output may only move by
    // the gain change, never jump in time.
    const int frames = 88200;
    const double amplitude = 0.25, hz = 1000.0;
    const Signal main = sine(frames, hz, amplitude);
    Signal key = sine(frames, 100.0, 0.9);
    for (int i = 13230; i < 57330; ++i) key[i] = 0.0;
    const double sineStep = amplitude * 2.0 * kPi * hz / 44100.0;
    for (float path : {0.0f, 1.0f}) {
        for (int mode : {0, 1, 2, 3, 6})
            for (Key k : {Key::externalPlaying, Key::internal}) {
                if (k == Key::internal && mode != 2) continue;  // "R-S.chn": the right input keys
                Configured s(mode, kFourTimes, path, k);
                s.instance.setParameter(Threshold, 0.5f);  // -20 dB
                s.instance.setParameter(Release, 0.0f);    // 50 ms
                s.instance.setParameter(LimiterPosition, 1.0f);
                s.instance.setParameter(Saturation, 0.5f);
                const Outputs out = k == Key::internal ? process<double>(s.instance, main, key)
                                                       : s.run(k, main, main, key, key);
                const auto [step, at] = largestStep(out.left, s.instance.effect().initialDelay + 8);
                EXPECT_LT(step, 1.1 * sineStep) << s.where(mode, kFourTimes, path, k) << " at " << at;
            }
        Configured s(6, kFourTimes, path, Key::internal);
        s.instance.setParameter(Threshold, 1.0f);  // 0 dB: no gain change
        s.instance.setParameter(LimiterPosition, 1.0f);
        s.instance.setParameter(Saturation, 0.5f);
        Signal y;
        for (int part = 0; part < 3; ++part) {
            s.instance.setParameter(Bypass, part == 1 ? 1.0f : 0.0f);
            const Signal tone(main.begin() + part * 11025, main.begin() + (part + 1) * 11025);
            const Outputs out = process<double>(s.instance, tone, tone);
            y.insert(y.end(), out.left.begin(), out.left.end());
        }
        // The Fast path's recursive decimator delays a 1 kHz tone by a fraction
        // of a sample more than bypass does; that shows once at each switch.
        const auto [step, at] = largestStep(y, s.instance.effect().initialDelay + 8);
        EXPECT_LT(step, 1.4 * sineStep) << "bypass switched, path " << path << " at " << at;
    }
}

TEST(Audio, SinglePrecisionIsDoubleNarrowedToFloat) {
    Started a, b;
    const Signal l = sine(6000, 220.0, 0.8), r = sine(6000, 330.0, 0.6);
    Signal lf(l.size()), rf(r.size());
    for (size_t i = 0; i < l.size(); ++i) {
        lf[i] = static_cast<float>(l[i]);
        rf[i] = static_cast<float>(r[i]);
    }
    a.instance.setParameter(Dither, kDitherOff);
    b.instance.setParameter(Dither, kDitherOff);
    const Outputs single = process<float>(a.instance, lf, rf);
    const Outputs dbl = process<double>(b.instance, lf, rf);
    for (size_t i = 0; i < l.size(); ++i) {
        ASSERT_EQ(static_cast<float>(single.left[i]), static_cast<float>(dbl.left[i])) << i;
        ASSERT_EQ(static_cast<float>(single.right[i]), static_cast<float>(dbl.right[i])) << i;
    }
}

TEST(Audio, InPlaceEqualsSeparateBuffers) {
    // With the external key the extra audio upsamplers add their own small
    // noise, seeded per instance, so that case can only agree to its level.
    for (float sideChain : {0.0f, 1.0f}) {
        Started a, b;
        for (auto* s : {&a, &b}) {
            s->instance.setParameter(Dither, kDitherOff);
            s->instance.setParameter(SideChain, sideChain);
        }
        const Signal l = sine(2048, 220.0, 0.8), r = sine(2048, 330.0, 0.6),
                     k = sine(2048, 100.0, 0.9);
        const Outputs separate = process<double>(a.instance, l, r, &k, &k);
        std::vector<double> in[4] = {l, r, k, k};
        for (int start = 0; start < 2048; start += 256) {
            double* ins[4] = {&in[0][start], &in[1][start], &in[2][start], &in[3][start]};
            double* outs[2] = {&in[0][start], &in[1][start]};
            b.instance.processDoubleReplacing(ins, outs, 256);
        }
        if (sideChain == 0.0f) {
            EXPECT_EQ(in[0], separate.left);
            EXPECT_EQ(in[1], separate.right);
        } else {
            for (int i = 0; i < 2048; ++i) {
                ASSERT_NEAR(in[0][i], separate.left[i], 1e-6) << i;
                ASSERT_NEAR(in[1][i], separate.right[i], 1e-6) << i;
            }
        }
    }
}

TEST(Audio, RenderEightTimesActsOnlyWhileTheHostRendersOffline) {
    // An instance told to render offline with "Render8x" "On" matches one set
    // to "8x"; once the host is back to realtime it matches "4x" again.
    HostAnswers offline;
    offline.processLevel = kVstProcessLevelOffline;
    Started rendering(offline), eight, four;
    rendering.instance.setParameter(Render8x, 1.0f);
    eight.instance.setParameter(Upsampling, 1.0f);
    for (auto* s : {&rendering, &eight, &four}) s->instance.setParameter(Dither, kDitherOff);

    const Signal x = sine(4096, 3000.0, 0.9);
    const Outputs r1 = process<double>(rendering.instance, x, x);
    const Outputs e1 = process<double>(eight.instance, x, x);
    EXPECT_EQ(r1.left, e1.left);

    rendering.instance.host().answers().processLevel = kVstProcessLevelRealtime;
    eight.instance.setParameter(Upsampling, kFourTimes);
    const Outputs r2 = process<double>(rendering.instance, x, x);
    const Outputs e2 = process<double>(eight.instance, x, x);
    EXPECT_EQ(r2.left, e2.left);
    const Outputs f = process<double>(four.instance, x, x);
    EXPECT_NE(r1.left, f.left);
}

TEST(Audio, SideChainKeyTakesOverWithoutAJump) {
    Started s;
    s.instance.setParameter(Mode, modePosition(0));
    s.instance.setParameter(Threshold, 1.0f);  // 0 dB: no gain change below it
    const Signal x = sine(4096, 500.0, 0.25);
    const Signal first(x.begin(), x.begin() + 2048), second(x.begin() + 2048, x.end());
    const Outputs a = process<double>(s.instance, first, first);
    s.instance.setParameter(SideChain, 1.0f);  // "External", key = the same signal
    const Outputs b = process<double>(s.instance, second, second, &second, &second);
    Signal y = a.left;
    y.insert(y.end(), b.left.begin(), b.left.end());
    double largestStep = 0.0;
    for (size_t i = 2040; i < 2060; ++i) largestStep = std::max(largestStep, std::fabs(y[i] - y[i - 1]));
    EXPECT_LT(largestStep, 1.2 * 0.25 * 2.0 * kPi * 500.0 / 44100.0 * 1.1);
}

TEST(Audio, ZeroFrameBlocksAskTheLevelOnceAndWriteNothing) {
    Started s;
    s.instance.host().clearRequests();
    float sample = 3.0f;
    float* channels[4] = {&sample, &sample, &sample, &sample};
    float out = 9.0f;
    float* outs[2] = {&out, &out};
    s.instance.processReplacing(channels, outs, 0);
    s.instance.processReplacing(channels, outs, -5);
    EXPECT_EQ(out, 9.0f);
    EXPECT_EQ(s.instance.host().count(audioMasterGetCurrentProcessLevel), 2u);
}

TEST(Audio, MissingBuffersAreHandledSafely) {
    Started s;
    s.instance.setParameter(SideChain, 1.0f);  // "External" with no side-chain buffers
    std::vector<float> l(256, 0.5f), r(256, 0.5f), outL(256, 9.0f), outR(256, 9.0f);
    float* ins[4] = {l.data(), r.data(), nullptr, nullptr};
    float* outs[2] = {outL.data(), outR.data()};
    s.instance.processReplacing(ins, outs, 256);
    EXPECT_TRUE(std::all_of(outL.begin(), outL.end(), [](float v) { return std::isfinite(v); }));
    s.instance.processReplacing(nullptr, outs, 256);
    s.instance.processReplacing(ins, nullptr, 256);
    float* noOutputs[2] = {nullptr, nullptr};
    s.instance.processReplacing(ins, noOutputs, 256);
}

TEST(Audio, InstancesAreSixteenByteAligned) {
    // The engine keeps SSE2 state in the instance; a heap that aligns to 8
    // only (32-bit Windows) must not misplace it.
    std::vector<std::unique_ptr<VstInstance>> instances;
    for (int n = 0; n < 12; ++n) {
        instances.push_back(std::make_unique<VstInstance>(pluginLibrary()));
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(instances.back()->effect().object) % 16, 0u);
    }
}

TEST(Audio, UnusableSampleRatesAreIgnored) {
    Started s;
    for (float rate : {std::nanf(""), 0.0f, -1.0f, 60.0f, INFINITY, 1.0e7f})
        s.instance.dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    const Signal x = sine(8192, 1000.0, 0.9);
    const Outputs out = process<double>(s.instance, x, x);
    for (double v : out.left) ASSERT_TRUE(std::isfinite(v));
    EXPECT_GT(peak(out.left, 4096), 0.1);
}

TEST(Audio, LatencyChangesAreAnnouncedOutsideProcessing) {
    Started s;
    s.instance.host().clearRequests();
    s.instance.setParameter(Path, 1.0f);  // active: applied by the next block
    process<double>(s.instance, Signal(64, 0.0), Signal(64, 0.0));
    EXPECT_EQ(s.instance.effect().initialDelay, 172);
    EXPECT_EQ(s.instance.host().count(audioMasterIOChanged), 0u);  // never from a block
    s.instance.suspend();
    s.instance.resume();
    EXPECT_EQ(s.instance.host().count(audioMasterIOChanged), 1u);

    s.instance.suspend();  // while suspended the change is applied and told at once
    s.instance.setParameter(Path, 0.0f);
    EXPECT_EQ(s.instance.effect().initialDelay, 2);
    EXPECT_EQ(s.instance.host().count(audioMasterIOChanged), 2u);
    s.instance.resume();
    EXPECT_EQ(s.instance.host().count(audioMasterIOChanged), 2u);
}

}  // namespace
}  // namespace tarvo
