#include "engine/StereoProcessor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tarvo {
namespace {

constexpr double kRate = 44100.0;
constexpr double kPi = 3.141592653589793;

/// An engine configured as the starting program would leave it, with the
/// noise switched off so outputs are exactly reproducible.
void configure(EngineControl& engine, int mode, int factor = 4, bool hq = false) {
    engine.setNoiseBits(0);
    engine.setOversampling(factor, hq);
    engine.setSaturationEnabled(false);
    engine.setChannelMode(mode);
    engine.designGainComputers(std::pow(10.0, -20.0 / 20.0), 1.0, 4.0);
    engine.updateDetectorFilters(false, kRate, 0.01, 0.1, 0.0);
    engine.setLimiterCeiling(1.0);
    engine.setLevels(1.0, 1.0, 0.0);
    engine.setScoop(1.0, kRate);
    engine.setLimiterPosition(false, false);
    engine.setBypass(false);
}

std::vector<double> sine(int frames, double hz, double amplitude) {
    std::vector<double> x(frames);
    for (int i = 0; i < frames; ++i) x[i] = amplitude * std::sin(2.0 * kPi * hz * i / kRate);
    return x;
}

double peak(const std::vector<double>& x, int from) {
    double m = 0.0;
    for (size_t i = from; i < x.size(); ++i) m = std::max(m, std::fabs(x[i]));
    return m;
}

TEST(StereoProcessor, BypassDelaysByTheLatencyExactly) {
    for (int mode : {monoLeft, dualMono, rightKeyed, midOnly, sideOnly, stereo}) {
        for (int factor : {1, 2, 4, 8}) {
            for (bool hq : {false, true}) {
                StereoProcessor engine;
                configure(engine, mode, factor, hq);
                engine.setBypass(true);
                const int latency = engine.latency();
                const std::vector<double> left = sine(400, 440.0, 0.5);
                const std::vector<double> right = sine(400, 330.0, 0.25);
                for (int i = 0; i < 400; ++i) {
                    double outLeft = -1.0, outRight = -1.0;
                    engine.processFrame(&outLeft, &outRight, left[i], right[i]);
                    const double l = i >= latency ? left[i - latency] : 0.0;
                    const double r = i >= latency ? right[i - latency] : 0.0;
                    const bool leftOnly = mode == monoLeft || mode == rightKeyed;
                    // "Mid." and "Side" recombine mid and side: exact to rounding.
                    const double tolerance = mode == midOnly || mode == sideOnly ? 1e-15 : 0.0;
                    ASSERT_NEAR(outLeft, l, tolerance)
                        << "mode " << mode << " factor " << factor << " hq " << hq << " i " << i;
                    ASSERT_NEAR(outRight, leftOnly ? l : r, tolerance)
                        << "mode " << mode << " factor " << factor << " hq " << hq << " i " << i;
                }
            }
        }
    }
}

TEST(StereoProcessor, SilenceStaysExactSilenceAndStripsNeverWake) {
    for (int mode = 0; mode <= 6; ++mode) {
        StereoProcessor engine;
        configure(engine, mode);
        // Noise would show if a strip ran; "Mid." and "Side" always send their
        // other half through strip B's resamplers, which add their noise.
        if (mode != midOnly && mode != sideOnly) engine.setNoiseBits(20);
        for (int i = 0; i < 1000; ++i) {
            double outLeft = 1.0, outRight = 1.0;
            engine.processFrame(&outLeft, &outRight, 0.0, 0.0);
            ASSERT_EQ(outLeft, 0.0) << "mode " << mode;
            ASSERT_EQ(outRight, 0.0) << "mode " << mode;
        }
        EXPECT_FALSE(engine.stripAwake(0));
        EXPECT_FALSE(engine.stripAwake(1));
    }
}

TEST(StereoProcessor, RightKeyedWithSilentKeyKeepsTheLeftInputDelayed) {
    // The left input keeps the strip awake: with no level from the key it
    // comes through uncompressed, delayed like processed audio (2 samples at
    // factor 1, where the decimator is a plain copy), never undelayed.
    StereoProcessor engine;
    configure(engine, rightKeyed, 1);
    const std::vector<double> left = sine(500, 1000.0, 0.9);
    for (int i = 0; i < 500; ++i) {
        double outLeft = 0.0, outRight = 0.0;
        engine.processFrame(&outLeft, &outRight, left[i], 0.0);
        const double expected = i >= 2 ? left[i - 2] : 0.0;
        ASSERT_NEAR(outLeft, expected, 1e-12) << i;
        ASSERT_EQ(outRight, outLeft);
    }
    EXPECT_TRUE(engine.stripAwake(0));
}

TEST(StereoProcessor, CompressesAboveThresholdByAboutTheRatio) {
    // Threshold -20 dB, ratio 4, hard knee: a sine 12 dB above the threshold
    // settles about 12 / 4 = 3 dB above it (within the detector's make-up).
    StereoProcessor engine;
    configure(engine, dualMono);
    const double amplitude = std::pow(10.0, -8.0 / 20.0);
    const std::vector<double> x = sine(44100, 1000.0, amplitude);
    std::vector<double> y(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        double r = 0.0;
        engine.processFrame(&y[i], &r, x[i], x[i]);
    }
    const double outDb = 20.0 * std::log10(peak(y, 30000));
    EXPECT_GT(outDb, -20.0);
    EXPECT_LT(outDb, -14.0);
    EXPECT_LT(outDb, -8.0 - 6.0);  // clearly reduced
}

TEST(StereoProcessor, LimiterPostHoldsLoudSineUnderCeiling) {
    StereoProcessor engine;
    configure(engine, stereo);
    engine.designGainComputers(1.0, 1.0, 1.05);  // ratio 1:1: limiter alone
    const double ceiling = std::pow(10.0, -6.0 / 20.0);
    engine.setLimiterCeiling(ceiling * std::pow(10.0, 0.0005));
    engine.setLimiterPosition(false, true);
    const std::vector<double> x = sine(44100, 200.0, 1.0);
    std::vector<double> y(x.size()), z(x.size());
    for (size_t i = 0; i < x.size(); ++i) engine.processFrame(&y[i], &z[i], x[i], x[i]);
    EXPECT_LT(peak(y, 4410), ceiling * 1.05);
    EXPECT_GT(peak(y, 4410), ceiling * 0.8);
}

TEST(StereoProcessor, MidSideClipsBothOutputsEvenWhenBypassed) {
    StereoProcessor engine;
    configure(engine, midSide);
    engine.setBypass(true);
    engine.setClipLevel(0.5);
    for (int i = 0; i < 100; ++i) {
        double l = 0.0, r = 0.0;
        engine.processFrame(&l, &r, 3.0, -3.0);
        ASSERT_LE(std::fabs(l), 0.5 * 1.11);
        ASSERT_LE(std::fabs(r), 0.5 * 1.11);
    }
}

TEST(StereoProcessor, ImpulseArrivesAtTheReportedLatency) {
    for (bool hq : {false, true}) {
        for (int factor : {2, 4, 8}) {
            StereoProcessor engine;
            configure(engine, dualMono, factor, hq);
            engine.designGainComputers(1.0, 1.0, 1.05);  // no gain change
            const int latency = engine.latency();
            EXPECT_EQ(latency, hq ? 172 : 2);
            std::vector<double> y(400);
            for (int i = 0; i < 400; ++i) {
                double r = 0.0;
                engine.processFrame(&y[i], &r, i == 10 ? 0.5 : 0.0, 0.0);
            }
            int at = 0;
            for (int i = 0; i < 400; ++i)
                if (std::fabs(y[i]) > std::fabs(y[at])) at = i;
            // The decimator's IIR adds a small filter delay beyond the reported figure.
            EXPECT_GE(at, 10 + latency) << "factor " << factor << " hq " << hq;
            EXPECT_LE(at, 10 + latency + 2) << "factor " << factor << " hq " << hq;
        }
    }
}

TEST(StereoProcessor, AOneStripModeLeavesStripBAsItWas) {
    // In "Mono-L" and in "R-S.chn" with the external key, strip B does
    // nothing; its lane runs beside A's but keeps B's state. So "2 Mono"
    // after a visit to such a mode continues on the right exactly as if the
    // visit had not happened, whatever the chunking of the visit.
    struct Visit {
        int mode;
        bool external;
        bool bypass;
    };
    const Visit visits[] = {{monoLeft, false, false}, {monoLeft, true, false},
                            {rightKeyed, true, false}, {monoLeft, false, true}};
    const std::vector<double> left = sine(3000, 440.0, 0.9);
    const std::vector<double> right = sine(3000, 97.0, 0.8);
    for (const Visit& visit : visits) {
        LaneEngine<Lanes2> visited;
        configure(visited, dualMono, 4, true);
        visited.setLimiterPosition(true, false);
        visited.setLimiterCeiling(0.3);
        visited.setScoop(2.0, kRate);
        LaneEngine<Lanes2> stayed(visited);
        std::vector<double> l(1000), r(1000), stayedRight(1000);
        visited.processKeyedByMain(left.data(), right.data(), l.data(), r.data(), 1000);
        stayed.processKeyedByMain(left.data(), right.data(), l.data(), stayedRight.data(), 1000);
        visited.setChannelMode(visit.mode);
        visited.setBypass(visit.bypass);
        const double* in = left.data() + 1000;
        if (visit.external)
            visited.processKeyedBySideChain(in, in, in, in, l.data(), r.data(), 1000);
        else
            visited.processKeyedByMain(in, in, l.data(), r.data(), 1000);
        visited.setChannelMode(dualMono);
        visited.setBypass(false);
        std::vector<double> visitedRight(1000);
        visited.processKeyedByMain(left.data() + 2000, right.data() + 2000, l.data(),
                                   visitedRight.data(), 1000);
        stayed.processKeyedByMain(left.data() + 2000, right.data() + 2000, l.data(),
                                  stayedRight.data(), 1000);
        for (int i = 0; i < 1000; ++i)
            ASSERT_EQ(visitedRight[i], stayedRight[i])
                << "after mode " << visit.mode << (visit.external ? " external" : "")
                << (visit.bypass ? " bypassed" : "") << ", frame " << i;
    }
}

TEST(StereoProcessor, InvalidModeLeavesOutputsUntouched) {
    StereoProcessor engine;
    configure(engine, stereo);
    engine.setChannelMode(7);
    double l = 123.0, r = 456.0;
    engine.processFrame(&l, &r, 0.5, 0.5);
    EXPECT_EQ(l, 123.0);
    EXPECT_EQ(r, 456.0);
    engine.processFrameExternal(&l, &r, 0.5, 0.5, 0.5, 0.5);
    EXPECT_EQ(l, 123.0);
}

TEST(StereoProcessor, SideChainTakeoverContinuesAudioWithoutAJump) {
    // Bypassed strips return the delayed key; after the takeover the external
    // entry's audio upsampler carries the main signal on from the same history.
    StereoProcessor a;
    configure(a, monoLeft);
    const std::vector<double> x = sine(300, 500.0, 0.5);
    std::vector<double> y(x.size());
    for (int i = 0; i < 150; ++i) {
        double r = 0.0;
        a.processFrame(&y[i], &r, x[i], x[i]);
    }
    a.takeOverSideChainAudio();
    for (int i = 150; i < 300; ++i) {
        double r = 0.0;
        a.processFrameExternal(&y[i], &r, x[i], x[i], x[i], x[i]);
    }
    double largestStep = 0.0;
    for (int i = 140; i < 170; ++i) largestStep = std::max(largestStep, std::fabs(y[i] - y[i - 1]));
    const double sineStep = 0.5 * 2.0 * kPi * 500.0 / kRate;
    EXPECT_LT(largestStep, 1.5 * sineStep);
}

TEST(StereoProcessor, SetOversamplingWithCurrentSettingsTouchesNothing) {
    LaneEngine<Lanes2> engine;
    configure(engine, stereo, 4, true);
    EXPECT_EQ(engine.latency(), 172);
    engine.setOversampling(1, true);  // HQ never runs at 1x
    EXPECT_EQ(engine.latency(), 2);
    EXPECT_EQ(engine.stripA().subSampleCount, 1u);
    engine.setOversampling(8, false);
    EXPECT_EQ(engine.stripB().subSampleCount, 8u);
    EXPECT_EQ(engine.audioUpsamplerLeft.factor, 8);
}

}  // namespace
}  // namespace tarvo
