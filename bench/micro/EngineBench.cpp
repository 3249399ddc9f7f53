// Micro-benchmarks of the engine layer: the per-sub-sample stages, one
// strip frame and one stereo frame at each oversampling factor.

#include <benchmark/benchmark.h>

#include <cmath>

#include "MicroSignal.h"
#include "engine/ChannelStrip.h"
#include "engine/Denormals.h"
#include "engine/EnvelopeFollower.h"
#include "engine/GainComputer.h"
#include "engine/PeakLimiterDetector.h"
#include "engine/SoftClipper.h"
#include "engine/StereoProcessor.h"
#include "filters/DetectorDesign.h"

namespace tarvo::bench {
namespace {

const MicroSignal kInput;
const MicroSignal kLevels(0.4, 5);  // levels through and above a -12 dB threshold

/// Level detector step: magnitude, input low-pass, envelope, output low-pass.
void BM_LevelDetectorStep(benchmark::State& state) {
    EnvelopeFollower follower = makeLevelDetector();
    std::uint32_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(follower.processRectified(kInput[i++]));
}
BENCHMARK(BM_LevelDetectorStep);

/// Gain smoother step (envelope and output low-pass) on gains near 1.
void BM_GainSmootherStep(benchmark::State& state) {
    EnvelopeFollower follower = makeGainSmoother();
    std::uint32_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(follower.process(1.0 + 0.1 * std::fabs(kInput[i++])));
}
BENCHMARK(BM_GainSmootherStep);

/// The static curve and the division the strip makes of it (g = curve / level).
void BM_GainCurve(benchmark::State& state) {
    GainComputer computer;
    computer.design(0.25, 1.0, 4.0);
    std::uint32_t i = 0;
    for (auto _ : state) {
        const double level = std::fabs(kLevels[i++]) + 1e-3;
        benchmark::DoNotOptimize(computer.curve(level) / level);
    }
}
BENCHMARK(BM_GainCurve);

void BM_SoftClipper(benchmark::State& state) {
    SoftClipper clipper;
    std::uint32_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(clipper.shape(8.0 * kInput[i++]));
}
BENCHMARK(BM_SoftClipper);

/// One limiter detector step with the window of 4x at 44100 Hz.
void BM_LimiterStep(benchmark::State& state) {
    PeakLimiterDetector limiter;
    limiter.resizeWindow(static_cast<std::uint32_t>(std::ceil(176400.0 * 0.00063)));
    limiter.applyDesign(designLimiterFilters(176400.0));
    limiter.limiterCeiling = 0.5;
    double peak = 0.0;
    double average = 0.0;
    std::uint32_t i = 0;
    for (auto _ : state) {
        limiter.process(kInput[i++], peak, average);
        benchmark::DoNotOptimize(peak);
        benchmark::DoNotOptimize(average);
    }
}
BENCHMARK(BM_LimiterStep);

/// An engine configured like the default program, at a factor and HQ choice:
/// threshold -12 dB, knee 1, ratio 4, 5 ms attack, 100 ms release, key
/// high-pass at 100 Hz, limiter ceiling -1 dB before the mix, mode "Stereo".
/// Flush-to-zero is set as the plug-in sets it for every block.
void configure(StereoProcessor& engine, int factor, bool hq) {
    enableFlushToZero();
    engine.setOversampling(factor, hq);
    engine.updateDetectorFilters(false, 44100.0, 0.005, 0.1, 100.0);
    engine.designGainComputers(0.25, 1.0, 4.0);
    engine.setLimiterCeiling(0.891);
    engine.setLimiterPosition(true, false);
    engine.setLevels(1.0, 1.0, 0.0);
    engine.setChannelMode(stereo);
    engine.reset();
}

/// One stereo frame in mode "Stereo" (arguments: factor, hq).
void BM_StereoFrame(benchmark::State& state) {
    auto engine = std::make_unique<StereoProcessor>();
    configure(*engine, static_cast<int>(state.range(0)), state.range(1) != 0);
    double left = 0.0;
    double right = 0.0;
    std::uint32_t i = 0;
    for (auto _ : state) {
        engine->processFrame(&left, &right, kInput[i], kInput[i + 2048]);
        ++i;
        benchmark::DoNotOptimize(left);
        benchmark::DoNotOptimize(right);
    }
}
BENCHMARK(BM_StereoFrame)
    ->Args({1, 0})->Args({2, 0})->Args({4, 0})->Args({8, 0})
    ->Args({2, 1})->Args({4, 1})->Args({8, 1});

}  // namespace
}  // namespace tarvo::bench
