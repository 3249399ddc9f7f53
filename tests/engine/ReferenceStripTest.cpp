#include "engine/ReferenceStrip.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "engine/StereoProcessor.h"

namespace tarvo {
namespace {

constexpr double kRate = 44100.0;
constexpr double kRelease = 0.002;  // silence hold: the shortest, 256 frames
constexpr int kFrames = 3400;

std::uint64_t bits(double x) {
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

std::uint32_t bits(float x) {
    std::uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

/// Noise and a sine, loud and quiet, with stretches of exact zeros longer
/// than the silence hold, so that a strip falls asleep and wakes again;
/// `shift` moves the stretches, so that two sides sleep at other times.
std::vector<double> testSignal(std::uint32_t seed, int shift) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    std::vector<double> x(kFrames);
    for (int i = 0; i < kFrames; ++i) {
        const int stretch = ((i + shift) / 500) % 5;
        const double level = stretch == 0 ? 2.5 : stretch == 1 ? 0.08 : stretch == 3 ? 0.7 : 0.0;
        x[i] = level * (0.6 * noise(random) + 0.4 * std::sin(0.05 * i));
    }
    return x;
}

/// Two reference strips as the engine's channel modes drive them, frame by
/// frame (the one-strip modes and bypass further below). "2 Mono": A on the
/// left, B on the right, each on its own. "M/S": A on the mid (L + R) * 0.5,
/// B on the side (L - R) * 0.5, both keyed by what they process, levels
/// linked by the larger, and the outputs mid + side and mid - side through
/// A's and B's saturation. An asleep strip passes its input and only idles
/// its limiter; but in "M/S", and in "2 Mono" with a side-chain key, it still
/// runs while the other strip is awake. "Stereo" averages the levels of the
/// strips, an asleep one's as 0, and while both run, links their limiter
/// gains: averages averaged, peaks by minimum.
class ReferencePair {
public:
    explicit ReferencePair(const LaneEngine<Lanes2>& engine)
        : a_(engine.stripA(), engine.audioUpsamplerLeft),
          b_(engine.stripB(), engine.audioUpsamplerRight),
          mode_(engine.channelMode()),
          bypass_(engine.stripA().bypass) {}

    /// The engine's settings after a change between blocks.
    void takeDesigns(const LaneEngine<Lanes2>& engine) {
        a_.takeDesigns(engine.stripA(), engine.audioUpsamplerLeft);
        b_.takeDesigns(engine.stripB(), engine.audioUpsamplerRight);
        mode_ = engine.channelMode();
        bypass_ = engine.stripA().bypass;
    }

    /// One frame of main left and right, keyed by them or, with
    /// `external`, by the side-chain pair.
    void frame(double left, double right, double keyLeft, double keyRight, bool external,
               double& outLeft, double& outRight) {
        if (mode_ == monoLeft || mode_ == rightKeyed || mode_ == midOnly || mode_ == sideOnly) {
            oneStripFrame(left, right, keyLeft, keyRight, external, outLeft, outRight);
            return;
        }
        const bool ms = mode_ == midSide;
        const double audioA = ms ? (left + right) * 0.5 : left;
        const double audioB = ms ? (left - right) * 0.5 : right;
        if (ms || !external) keyLeft = audioA, keyRight = audioB;
        const bool awakeA = a_.gate(keyLeft, audioA);
        const bool awakeB = b_.gate(keyRight, audioB);
        countWake(awakeA);
        if (bypass_) {
            bypassFrame(audioA, audioB, keyLeft, keyRight, awakeA, awakeB, external, outLeft,
                        outRight);
            return;
        }
        const bool sleeperRuns = (ms || (mode_ == dualMono && external)) && awakeA != awakeB;
        auto start = [&](ReferenceStrip& s, bool awake, double key, double audio) {
            if (awake && external) s.detect(key, audio);
            else if (awake) s.detect(key);
            else if (sleeperRuns && external) s.detectNothing(audio);
            else if (sleeperRuns) s.detectNothing();
            else s.sleep();
        };
        start(a_, awakeA, keyLeft, audioA);
        start(b_, awakeB, keyRight, audioB);
        const bool runA = awakeA || sleeperRuns;
        const bool runB = awakeB || sleeperRuns;
        const std::uint32_t n = a_.subSamples();
        for (std::uint32_t i = 0; ms && runA && runB && i < n; ++i) {
            const double la = a_.levels()[i], lb = b_.levels()[i];
            a_.levels()[i] = b_.levels()[i] = la > lb ? la : lb;
        }
        if (mode_ == stereo && (awakeA || awakeB)) {
            for (std::uint32_t i = 0; i < n; ++i) {
                const double level =
                    ((awakeA ? a_.levels()[i] : 0.0) + (awakeB ? b_.levels()[i] : 0.0)) * 0.5;
                a_.levels()[i] = b_.levels()[i] = level;
            }
        }
        if (runA) a_.compress();
        if (runB) b_.compress();
        if (mode_ == stereo && awakeA && awakeB && a_.limiting()) {
            for (std::uint32_t i = 0; i < n; ++i) {
                double* average[2] = {a_.averageGains() + i, b_.averageGains() + i};
                double* peak[2] = {a_.peakGains() + i, b_.peakGains() + i};
                *average[0] = *average[1] = (*average[0] + *average[1]) * 0.5;
                *peak[0] = *peak[1] = *peak[0] < *peak[1] ? *peak[0] : *peak[1];
            }
        }
        const double yA = runA ? a_.finish() : audioA;
        const double yB = runB ? b_.finish() : audioB;
        outLeft = ms ? a_.clip(yA + yB) : yA;
        outRight = ms ? b_.clip(yA - yB) : yB;
    }

    /// A bypassed frame of the two-strip modes: every strip idles its
    /// limiter, one asleep but running ("M/S", "2 Mono" with a side-chain
    /// key) a second time; the strips that run take their key (with a
    /// side-chain key their audio) up and down, and return their input
    /// delayed by the latency.
    void bypassFrame(double audioA, double audioB, double keyLeft, double keyRight,
                     bool awakeA, bool awakeB, bool external, double& outLeft,
                     double& outRight) {
        const bool ms = mode_ == midSide;
        const bool bothRun = ms || (mode_ == dualMono && external);
        const bool runA = awakeA || (bothRun && awakeB);
        const bool runB = awakeB || (bothRun && awakeA);
        ReferenceStrip* strips[2] = {&a_, &b_};
        const bool awake[2] = {awakeA, awakeB}, run[2] = {runA, runB};
        const double key[2] = {keyLeft, keyRight}, audio[2] = {audioA, audioB};
        double y[2] = {audioA, audioB};
        for (int k = 0; k < 2; ++k) {
            ReferenceStrip& s = *strips[k];
            if (!awake[k]) s.clearRows();
            s.sleep();
            if (awake[k]) s.upRows(key[k], false, s);
            if (run[k] && !awake[k]) s.sleep();
            if (external && (bothRun ? run[k] : awake[k])) s.upRows(audio[k], true, s);
            if (run[k]) s.downRows();
            if (run[k]) y[k] = s.delayedInput(external, s);
        }
        outLeft = ms ? a_.clip(y[0] + y[1]) : y[0];
        outRight = ms ? b_.clip(y[0] - y[1]) : y[1];
    }

    /// "Mono-L", "R-S.chn" (A on the left keyed by the right, its audio
    /// through B's upsampler with the main key), "Mid." and "Side" (A on
    /// the one half, B's resamplers delaying the other while A is awake, or
    /// with the main key always): A's result on both outputs, or the halves
    /// back to left and right. With a side-chain key "Mid." and "Side" are
    /// keyed by its mid or side and wake to the key or either main channel.
    void oneStripFrame(double left, double right, double keyLeft, double keyRight,
                       bool external, double& outLeft, double& outRight) {
        const bool halves = mode_ == midOnly || mode_ == sideOnly;
        const double mid = (left + right) * 0.5, side = (left - right) * 0.5;
        double audio = left, key = external ? keyLeft : left, other = 0.0;
        if (mode_ == rightKeyed) key = external ? keyRight : right;
        if (halves) {
            audio = mode_ == midOnly ? mid : side;
            other = mode_ == midOnly ? side : mid;
            key = !external           ? audio
                  : mode_ == midOnly ? (keyLeft + keyRight) * 0.5
                                     : (keyLeft - keyRight) * 0.5;
        }
        const bool awake = halves && external
                               ? a_.gateHearing(key != 0.0 || left != 0.0 || right != 0.0)
                               : a_.gate(key, audio);
        countWake(awake);
        double compressed = audio, delayed = other;
        const bool delays = halves && (awake || !external);
        if (bypass_) {
            // The way up and down runs, its result unused; the output is the
            // input delayed by the latency, taken where it entered.
            ReferenceStrip& audioFrom = mode_ == rightKeyed && !external ? b_ : a_;
            if (awake) {
                a_.upRows(key, false, a_);
                if (external || mode_ == rightKeyed) a_.upRows(audio, external, audioFrom);
            } else {
                a_.clearRows();
            }
            a_.sleep();
            if (delays) b_.upRows(other, false, b_);
            if (awake) a_.downRows();
            if (delays) b_.downRows();
            if (awake) compressed = a_.delayedInput(external, audioFrom);
            if (delays) delayed = b_.delayedInput(false, b_);
        } else if (awake) {
            if (external) a_.detect(key, audio);
            else if (mode_ == rightKeyed) a_.detect(key, audio, b_);
            else a_.detect(key);
            a_.compress();
            compressed = a_.finish();
        } else {
            a_.sleep();
        }
        if (!bypass_ && delays) delayed = b_.delay(other);
        const double m = mode_ == sideOnly ? delayed : compressed;
        const double s = mode_ == sideOnly ? compressed : delayed;
        outLeft = halves ? s + m : compressed;
        outRight = halves ? m - s : compressed;
    }

    /// The side-chain key switched on: each audio way up continues from
    /// its strip's key way up.
    void takeOverSideChainAudio() {
        a_.takeOverSideChainAudio();
        b_.takeOverSideChainAudio();
    }

    /// Frames in which strip A woke (the first wake included).
    int wakes() const { return wakes_; }


private:
    /// Counts strip A's wakings (the test asks that the signal woke it).
    void countWake(bool awakeA) {
        wakes_ += awakeA && !wasAwakeA_;
        wasAwakeA_ = awakeA;
    }

    ReferenceStrip a_, b_;
    int mode_;
    bool bypass_;
    bool wasAwakeA_ = false;
    int wakes_ = 0;
};

struct Case {
    const char* name;
    int mode;
    bool rightSilent;
    int factor;
    bool hq;
    int limiter;  // 0 "Pre", 1 "Post", 2 "Off"
    bool alpha;
    double attackSeconds;
    bool saturation;
    double scoopDb;
    double dry;
    double filterHz;  // 0: the shelf
    double ratio;     // 100: "inf"
    int noiseBits;    // dither: 20 "High", 24 "Low", 0 "Off"
    bool external;    // keyed by the side-chain pair
};

void configure(EngineControl& engine, const Case& c) {
    engine.setNoiseBits(c.noiseBits);
    engine.setOversampling(c.factor, c.hq);
    engine.updateDetectorFilters(c.alpha, kRate, c.attackSeconds, kRelease, c.filterHz);
    // Threshold and knee vary with the factor and the limiter position.
    engine.designGainComputers(0.1 / c.factor, 0.5 * c.limiter, c.ratio);
    engine.setLimiterCeiling(0.3);
    engine.setLimiterPosition(c.limiter == 0, c.limiter == 1);
    engine.setLevels(2.0, 1.0 - c.dry, c.dry);
    engine.setScoop(std::pow(10.0, c.scoopDb / 20.0), kRate);
    engine.setClipLevel(0.5);
    engine.setSaturationEnabled(c.saturation);
    engine.setChannelMode(c.mode);
}

/// One run of the engine, in kernel build `code`, in blocks of odd sizes
/// (which it cuts into chunks and runs of frames) beside the reference,
/// frame by frame, in host samples of type Sample: row c's settings,
/// halfway through row next's (settings, mode and key) taking over between
/// two blocks, the histories carrying on; bypassed over two stretches. The
/// reference takes its designs from `twin`, an SSE2 engine with the same
/// settings and noise seeds that never runs. The first frame whose output
/// bits differ is reported.
template <typename Sample>
void expectRunMatches(const Case& c, const Case& next, KernelCode code) {
    const std::uint32_t seeds = takeNoiseSeed();
    restartNoiseSeeds(seeds);
    LaneEngine<Lanes2> twin;
    restartNoiseSeeds(seeds);
    StereoProcessor engine(code);
    ASSERT_EQ(engine.kernelCode(), code);
    configure(twin, c);
    configure(engine, c);
    ReferencePair reference(twin);

    // The key pair's silences overlap those of the main pair, so that a
    // strip sleeps, and also hears only its key or only its audio. From
    // frame 2600 to 3100 the right is the left: no side signal.
    const std::vector<double> left = testSignal(7, 0);
    const std::vector<double> silence(kFrames, 0.0);
    std::vector<double> right = c.rightSilent ? silence : testSignal(8, 170);
    if (!c.rightSilent) std::copy(left.begin() + 2600, left.begin() + 3100, right.begin() + 2600);
    const std::vector<double> keyLeft = testSignal(9, 60);
    const std::vector<double> keyRight = c.rightSilent ? silence : testSignal(10, 230);
    const std::vector<Sample> in[4] = {{left.begin(), left.end()},
                                       {right.begin(), right.end()},
                                       {keyLeft.begin(), keyLeft.end()},
                                       {keyRight.begin(), keyRight.end()}};
    std::vector<Sample> outLeft(kFrames), outRight(kFrames);

    const int blockSizes[] = {1, 7, 64, 65, 3, 127, 2, 200};
    bool external = c.external;
    bool reported = false;  // only the first differing frame
    for (int start = 0, block = 0; start < kFrames; ++block) {
        const int n = std::min(blockSizes[block % 8], kFrames - start);
        if (external)
            engine.processKeyedBySideChain(in[0].data() + start, in[1].data() + start,
                                           in[2].data() + start, in[3].data() + start,
                                           outLeft.data() + start, outRight.data() + start, n);
        else
            engine.processKeyedByMain(in[0].data() + start, in[1].data() + start,
                                      outLeft.data() + start, outRight.data() + start, n);
        for (int i = start; i < start + n; ++i) {
            double expectLeft, expectRight;
            reference.frame(in[0][i], in[1][i], in[2][i], in[3][i], external, expectLeft,
                            expectRight);
            const Sample l = static_cast<Sample>(expectLeft);
            const Sample r = static_cast<Sample>(expectRight);
            if (reported || (bits(outLeft[i]) == bits(l) && bits(outRight[i]) == bits(r)))
                continue;
            reported = true;
            EXPECT_EQ(bits(outLeft[i]), bits(l))
                << "first difference at frame " << i << ": left " << outLeft[i] << " vs " << l;
            EXPECT_EQ(bits(outRight[i]), bits(r))
                << "first difference at frame " << i << ": right " << outRight[i] << " vs "
                << r;
        }
        start += n;
        // Bypassed over two stretches in which strips fall asleep and
        // wake, the second while the side falls asleep under the mid.
        const bool bypass = (start >= 1100 && start < 1500) || (start >= 2860 && start < 2900);
        if (bypass != engine.bypassed()) {
            engine.setBypass(bypass);
            twin.setBypass(bypass);
            reference.takeDesigns(twin);
        }
        if (start - n < kFrames / 2 && start >= kFrames / 2) {
            configure(engine, next);
            configure(twin, next);
            if (next.external && !external) {
                engine.takeOverSideChainAudio();
                reference.takeOverSideChainAudio();
            }
            external = next.external;
            reference.takeDesigns(twin);
        }
    }
    // The signal woke strip A again after it fell asleep.
    EXPECT_GE(reference.wakes(), 3);
}

}  // namespace

void PrintTo(KernelCode code, std::ostream* out) { *out << kernelCodeName(code); }

namespace {

class ReferenceStrip : public testing::TestWithParam<KernelCode> {};

TEST_P(ReferenceStrip, EngineMatchesThePlainReferenceStripToTheBit) {
    const KernelCode code = GetParam();
    if (code == KernelCode::avx2 && !avx2KernelUsable())
        GTEST_SKIP() << "NOT RUN: the AVX2 engine (this build has none, or the CPU or the "
                        "system does not run AVX2)";
    // Row name, mode, right side silent, factor, HQ, limiter, alpha, attack,
    // saturation, scoop, dry, key filter, ratio, dither, side-chain key.
    const Case cases[] = {
        {"2 Mono 1x", dualMono, false, 1, false, 0, false, 0.005, true, 0, 0, 0, 4, 20, false},
        {"2 Mono 2x HQ", dualMono, false, 2, true, 1, true, 0.0, false, 6, 0.3, 100, 4, 20, false},
        {"2 Mono 8x", dualMono, false, 8, false, 2, false, 0.02, true, -4, 0, 0, 100, 0, false},
        {"M/S 4x", midSide, false, 4, false, 0, false, 0.005, true, 0, 0, 0, 4, 20, false},
        {"Mono-L 4x", monoLeft, false, 4, false, 2, false, 0.02, true, -9, 0.5, 0, 4, 20, false},
        {"2 Mono 4x key", dualMono, false, 4, false, 0, false, 0.005, true, 0, 0.2, 0, 4, 20, true},
        {"Mono-L 8x HQ", monoLeft, false, 8, true, 0, false,
         0.0, true, 12, 0.25, 250, 4, 20, false},
        {"Mono-L 2x", monoLeft, false, 2, false, 1, true, 0.01, false, 0, 0.6, 41, 4, 24, false},
        {"Mono-L 2x HQ key", monoLeft, false, 2, true, 1, false, 0.03, true, 5, 0, 80, 4, 20, true},
        {"R-S.chn 4x", rightKeyed, false, 4, false, 0, false, 0.005, true, 0, 0.3, 0, 4, 20, false},
        {"R-S.chn 8x HQ key", rightKeyed, false, 8, true, 1, false,
         0.02, true, 6, 0, 99, 4, 20, true},
        {"Stereo 4x HQ R silent", stereo, true, 4, true, 0, false,
         0.03, true, 0, 0, 0, 4, 20, false},
        {"Stereo 1x R silent", stereo, true, 1, false, 1, true,
         0.0, false, -12, .4, 60, 4, 20, false},
        {"Stereo 2x", stereo, false, 2, false, 0, false, 0.005, true, 3, 0, 150, 4, 20, false},
        {"M/S 2x HQ key", midSide, false, 2, true, 1, true, 0.0, true, 4, 0.3, 90, 4, 20, true},
        {"Stereo 8x HQ", stereo, false, 8, true, 1, false, 0.05, true, 0, 0.2, 0, 4, 20, false},
        {"Stereo 4x", stereo, false, 4, false, 2, true, 0.001, true, 7.5, 0.5, 0, 1.05, 0, false},
        {"Mid. 2x", midOnly, false, 2, false, 0, true, 0.0, true, -5, 0.2, 0, 10.95, 20, false},
        {"Mid. 4x HQ key", midOnly, false, 4, true, 2, false, 0.01, true, 0, 0, 70, 4, 24, true},
        {"Stereo 1x key R silent", stereo, true, 1, false, 0, false,
         0.01, true, 0, 0, 0, 4, 20, true},
        {"Stereo 8x key", stereo, false, 8, false, 1, true, 0.0, true, -6, 0.3, 120, 4, 24, true},
        {"Side 1x", sideOnly, false, 1, false, 1, false, 0.03, true, 9, 0.4, 0, 1.5, 20, false},
        {"Side 8x key", sideOnly, false, 8, false, 0, false, 0.005, false, 0, 0, 200, 4, 0, true},
        {"M/S 1x", midSide, false, 1, false, 2, false, 0.02, true, -3, 0.5, 0, 2.37, 0, false},
    };
    // Each row runs halfway and hands over to the next; a two-strip mode
    // after "Mono-L" finds strip B as "Mono-L" left it. Odd rows take and
    // give single-precision samples.
    const int count = static_cast<int>(sizeof cases / sizeof cases[0]);
    for (int k = 0; k < count; ++k) {
        SCOPED_TRACE(cases[k].name);
        if (k % 2)
            expectRunMatches<float>(cases[k], cases[(k + 1) % count], code);
        else
            expectRunMatches<double>(cases[k], cases[(k + 1) % count], code);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKernelBuild, ReferenceStrip,
                         testing::Values(KernelCode::sse2, KernelCode::avx2),
                         [](const testing::TestParamInfo<KernelCode>& info) {
                             return std::string(kernelCodeName(info.param));
                         });

}  // namespace
}  // namespace tarvo
