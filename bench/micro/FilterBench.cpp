// Micro-benchmarks of the filters layer: one call of each hot operation per
// iteration, fed from a cyclic noise table.

#include <benchmark/benchmark.h>

#include "MicroSignal.h"
#include "filters/Biquad.h"
#include "filters/Downsampler.h"
#include "filters/HalfbandFir.h"
#include "filters/IirDecimator.h"
#include "filters/PolyInterpolator.h"
#include "filters/ScoopEq.h"
#include "filters/SideChainFilter.h"
#include "filters/Upsampler.h"

namespace tarvo::bench {
namespace {

const MicroSignal kInput;

void BM_BiquadStep(benchmark::State& state) {
    Biquad section = designLowPass(0.125);
    std::uint32_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(section.process(kInput[i++]));
}
BENCHMARK(BM_BiquadStep);

/// The key filter's fourth-order high-pass, one sub-sample.
void BM_SideChainHighPass(benchmark::State& state) {
    SideChainFilter filter;
    filter.design(44100.0, 4, 100.0);
    std::uint32_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(filter.process(kInput[i++]));
}
BENCHMARK(BM_SideChainHighPass);

/// The scoop equaliser at -6 dB, one sub-sample (four sections and a gain).
void BM_ScoopStep(benchmark::State& state) {
    ScoopEq scoop;
    scoop.setCoefficients(designScoop(176400.0, -6.0));
    std::uint32_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(scoop.process(kInput[i++]));
}
BENCHMARK(BM_ScoopStep);

/// The 176-tap two-lane dot product alone, over a filled delay line.
void BM_HalfbandDot(benchmark::State& state) {
    HalfbandFir fir;
    for (std::uint32_t k = 0; k < 200; ++k) fir.delay.push(kInput[k]);
    for (auto _ : state) {
        benchmark::DoNotOptimize(fir.dot());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_HalfbandDot);

/// One interpolator step: a push (with the copy-down every 173 pushes) and
/// a dot product.
void BM_HalfbandInterpolator(benchmark::State& state) {
    HalfbandInterpolator stage;
    double y0 = 0.0;
    double y1 = 0.0;
    std::uint32_t i = 0;
    for (auto _ : state) {
        stage.process(kInput[i++], y0, y1);
        benchmark::DoNotOptimize(y0);
        benchmark::DoNotOptimize(y1);
    }
}
BENCHMARK(BM_HalfbandInterpolator);

/// One decimator step: two pushes and a dot product.
void BM_HalfbandDecimator(benchmark::State& state) {
    HalfbandDecimator stage;
    std::uint32_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(stage.process(kInput[i], kInput[i + 1]));
        i += 2;
    }
}
BENCHMARK(BM_HalfbandDecimator);

/// One input sample to `factor` outputs (argument: factor).
void BM_PolyInterpolator(benchmark::State& state) {
    PolyInterpolator interpolator;
    interpolator.factor = static_cast<int>(state.range(0));
    alignas(16) double out[8];
    std::uint32_t i = 0;
    for (auto _ : state) {
        interpolator.process(kInput[i++], out);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PolyInterpolator)->Arg(1)->Arg(2)->Arg(4)->Arg(8);

/// `factor` inputs to one output (argument: factor).
void BM_IirDecimator(benchmark::State& state) {
    IirDecimator decimator;
    decimator.redesign(static_cast<int>(state.range(0)), 20);
    alignas(16) double in[8];
    for (std::uint32_t k = 0; k < 8; ++k) in[k] = kInput[k];
    std::uint32_t i = 0;
    for (auto _ : state) {
        in[0] = kInput[i++];
        benchmark::DoNotOptimize(decimator.process(in));
    }
}
BENCHMARK(BM_IirDecimator)->Arg(1)->Arg(2)->Arg(4)->Arg(8);

/// Upsampler then downsampler, the whole resampling of one channel and one
/// host sample (arguments: factor, hq).
void BM_ResampleRoundTrip(benchmark::State& state) {
    const int factor = static_cast<int>(state.range(0));
    const bool hq = state.range(1) != 0;
    Upsampler up;
    Downsampler down;
    up.setOversampling(factor, hq, interpolatorNoiseLevel(20));
    down.setOversampling(factor, hq, 20);
    alignas(16) double buffer[8];
    std::uint32_t i = 0;
    for (auto _ : state) {
        up.process(kInput[i++], buffer);
        benchmark::DoNotOptimize(down.process(buffer));
    }
}
BENCHMARK(BM_ResampleRoundTrip)
    ->Args({1, 0})->Args({2, 0})->Args({4, 0})->Args({8, 0})
    ->Args({2, 1})->Args({4, 1})->Args({8, 1});

}  // namespace
}  // namespace tarvo::bench
