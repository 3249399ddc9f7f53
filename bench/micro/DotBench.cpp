// Sizing two proposed changes to the halfband dot product (HalfbandFir::dot,
// 176 taps on two lanes with four partial sums, each a serial chain of 22
// additions, so one dot is bound by addition latency rather than by the
// number of multiplies):
//
//   Pair:   the dots of strip A and strip B in one loop, each with exactly
//           the current partial sums and order (bit-identical): eight
//           chains in flight instead of four. Needs both strips' halfband
//           steps issued together (the stereo frame would call them side by
//           side).
//   Eight:  one dot with eight partial sums per lane instead of four. Not
//           bit-identical (a different summation order, which the halfband
//           stage allows) and so a behaviour change for the filters owner.
//
// Measured in the plug-in as well (BENCHMARKS.md, Profile): neither pays
// off enough there. Only the benchmarks live here; HalfbandFir stays the
// production code.

#include <benchmark/benchmark.h>

#include "MicroSignal.h"
#include "filters/HalfbandFir.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TARVO_BENCH_SSE2 1
#endif

namespace tarvo::bench {
namespace {

const MicroSignal kInput;

/// Two delay lines filled with different noise.
struct TwoFirs {
    HalfbandFir a;
    HalfbandFir b;
    TwoFirs() {
        for (std::uint32_t k = 0; k < 300; ++k) {
            a.delay.push(kInput[k]);
            b.delay.push(kInput[k + 1000]);
        }
    }
};

void BM_TwoDots_Current(benchmark::State& state) {
    TwoFirs firs;
    for (auto _ : state) {
        benchmark::DoNotOptimize(firs.a.dot());
        benchmark::DoNotOptimize(firs.b.dot());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TwoDots_Current);

#if TARVO_BENCH_SSE2
/// Both dots with the current lanes, partial sums and combination: lane 0
/// of accumulator j sums the products of index 8k + 2j, lane 1 those of
/// 8k + 2j + 1, as HalfbandFir::dot.
void pairDot(const HalfbandFir& fa, const HalfbandFir& fb, double& ya, double& yb) {
    const double* t = fa.taps.data();
    const double* d = fa.delay.newest();
    const double* e = fb.delay.newest();
    __m128d s0 = _mm_setzero_pd(), s1 = s0, s2 = s0, s3 = s0;
    __m128d r0 = s0, r1 = s0, r2 = s0, r3 = s0;
    for (int k = 0; k < HalfbandFir::kTapCount; k += 8) {
        const __m128d t0 = _mm_load_pd(t + k);
        const __m128d t1 = _mm_load_pd(t + k + 2);
        const __m128d t2 = _mm_load_pd(t + k + 4);
        const __m128d t3 = _mm_load_pd(t + k + 6);
        s0 = _mm_add_pd(s0, _mm_mul_pd(t0, _mm_loadu_pd(d + k)));
        r0 = _mm_add_pd(r0, _mm_mul_pd(t0, _mm_loadu_pd(e + k)));
        s1 = _mm_add_pd(s1, _mm_mul_pd(t1, _mm_loadu_pd(d + k + 2)));
        r1 = _mm_add_pd(r1, _mm_mul_pd(t1, _mm_loadu_pd(e + k + 2)));
        s2 = _mm_add_pd(s2, _mm_mul_pd(t2, _mm_loadu_pd(d + k + 4)));
        r2 = _mm_add_pd(r2, _mm_mul_pd(t2, _mm_loadu_pd(e + k + 4)));
        s3 = _mm_add_pd(s3, _mm_mul_pd(t3, _mm_loadu_pd(d + k + 6)));
        r3 = _mm_add_pd(r3, _mm_mul_pd(t3, _mm_loadu_pd(e + k + 6)));
    }
    // ((s1 + s0) + (s3 + s2)) per lane, then high lane + low lane.
    const __m128d sa = _mm_add_pd(_mm_add_pd(s1, s0), _mm_add_pd(s3, s2));
    const __m128d ra = _mm_add_pd(_mm_add_pd(r1, r0), _mm_add_pd(r3, r2));
    ya = _mm_cvtsd_f64(_mm_unpackhi_pd(sa, sa)) + _mm_cvtsd_f64(sa);
    yb = _mm_cvtsd_f64(_mm_unpackhi_pd(ra, ra)) + _mm_cvtsd_f64(ra);
}

/// One dot with eight partial sums of two lanes (blocks of 16 taps).
double eightDot(const HalfbandFir& f) {
    const double* t = f.taps.data();
    const double* d = f.delay.newest();
    __m128d s[8];
    for (__m128d& v : s) v = _mm_setzero_pd();
    for (int k = 0; k < HalfbandFir::kTapCount; k += 16)
        for (int j = 0; j < 8; ++j)
            s[j] = _mm_add_pd(s[j], _mm_mul_pd(_mm_load_pd(t + k + 2 * j),
                                               _mm_loadu_pd(d + k + 2 * j)));
    const __m128d a = _mm_add_pd(_mm_add_pd(_mm_add_pd(s[0], s[1]), _mm_add_pd(s[2], s[3])),
                                 _mm_add_pd(_mm_add_pd(s[4], s[5]), _mm_add_pd(s[6], s[7])));
    return _mm_cvtsd_f64(_mm_unpackhi_pd(a, a)) + _mm_cvtsd_f64(a);
}


void BM_TwoDots_Pair(benchmark::State& state) {
    TwoFirs firs;
    double ya = 0.0;
    double yb = 0.0;
    pairDot(firs.a, firs.b, ya, yb);
    if (ya != firs.a.dot() || yb != firs.b.dot()) {
        state.SkipWithError("paired dot differs from HalfbandFir::dot");
        return;
    }
    for (auto _ : state) {
        pairDot(firs.a, firs.b, ya, yb);
        benchmark::DoNotOptimize(ya);
        benchmark::DoNotOptimize(yb);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TwoDots_Pair);

void BM_TwoDots_Eight(benchmark::State& state) {
    TwoFirs firs;
    for (auto _ : state) {
        benchmark::DoNotOptimize(eightDot(firs.a));
        benchmark::DoNotOptimize(eightDot(firs.b));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_TwoDots_Eight);
#endif

}  // namespace
}  // namespace tarvo::bench
