// Sizing the proposed restructuring of the strip before anyone writes it:
// the key chain of `ChannelStrip::detect` (key high-pass pair, magnitude,
// level detector's input low-pass, envelope, output low-pass, detector
// gain) for both strips of a linked frame at 4x, three ways:
//
//   Current:   as the strip runs it now, strip A's four sub-samples through
//              the member objects, then strip B's.
//   Locals:    the same order and arithmetic with every coefficient and state
//              value in a local for the frame (written back at its end).
//   TwoLane:   strips A and B side by side in the two lanes of SSE2 registers
//              (both strips always carry the same settings, so coefficients
//              are shared); the envelope's three branches become selects.
//
// All three produce the same bits; each benchmark checks that against
// Current before it is timed and fails if not. Only the benchmarks are kept
// here, the production code stays in src/.

#include <benchmark/benchmark.h>

#include <cstring>

#include "MicroSignal.h"
#include "engine/EnvelopeFollower.h"
#include "filters/DetectorDesign.h"
#include "filters/SideChainFilter.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TARVO_BENCH_SSE2 1
#endif

namespace tarvo::bench {
namespace {

constexpr int kFactor = 4;
constexpr double kDetectorGain = 1.0651;  // 10^0.02735
const MicroSignal kKeyA(0.5, 31);
const MicroSignal kKeyB(0.5, 32);

/// The detector objects of both strips as the configuration leaves them at
/// 4x with a 100 Hz key high-pass, 5 ms attack and 100 ms release.
struct DetectorPair {
    SideChainFilter key[2];
    EnvelopeFollower level[2];

    DetectorPair() {
        for (int s = 0; s < 2; ++s) {
            key[s].design(44100.0, kFactor, 100.0);
            level[s] = makeLevelDetector();
            level[s].inputFilter = designLowPass(0.5 / kFactor);
            level[s].applyDesign(designEnvelope(false, timeToFrequency(0.001, 176400.0),
                                                timeToFrequency(0.05, 176400.0), 0.5 / kFactor));
        }
    }
};

// --- Current -----------------------------------------------------------------

void currentFrame(DetectorPair& d, const double (&in)[2][kFactor], double (&out)[2][kFactor]) {
    for (int s = 0; s < 2; ++s)
        for (int i = 0; i < kFactor; ++i)
            out[s][i] = d.level[s].processRectified(d.key[s].process(in[s][i])) * kDetectorGain;
}

// --- Locals ------------------------------------------------------------------

/// A biquad's state and coefficients in locals.
struct LocalBiquad {
    double b0, b1, b2, c1, c2, x1, x2, y1, y2;
    explicit LocalBiquad(const Biquad& q)
        : b0(q.b0), b1(q.b1), b2(q.b2), c1(q.c1), c2(q.c2), x1(q.x1), x2(q.x2), y1(q.y1),
          y2(q.y2) {}
    double process(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 + c1 * y1 + c2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
    void store(Biquad& q) const {
        q.x1 = x1;
        q.x2 = x2;
        q.y1 = y1;
        q.y2 = y2;
    }
};

void localsFrame(DetectorPair& d, const double (&in)[2][kFactor], double (&out)[2][kFactor]) {
    for (int s = 0; s < 2; ++s) {
        LocalBiquad hp1(d.key[s].highPass.first);
        LocalBiquad hp2(d.key[s].highPass.second);
        EnvelopeFollower& f = d.level[s];
        LocalBiquad inFilter(f.inputFilter);
        LocalBiquad outFilter(f.outputFilter);
        double envelope = f.envelope;
        const double attack = f.attackCoefficient;
        const double release = f.releaseCoefficient;
        const double width = f.softWidth;
        double q[8];
        std::memcpy(q, f.softCurve, sizeof q);
        for (int i = 0; i < kFactor; ++i) {
            const double y = inFilter.process(std::fabs(hp2.process(hp1.process(in[s][i]))));
            const double dd = y - envelope;
            double u;
            if (dd < 0.0) {
                u = 0.0;
            } else if (dd > width) {
                u = dd;
            } else {
                const double d2 = dd * dd;
                const double d3 = d2 * dd;
                const double d4 = d2 * d2;
                const double d8 = d4 * d4;
                const double d12 = d8 * d4;
                u = d12 * (q[3] + q[4] * dd + q[5] * d2 + q[6] * d3 + q[7] * d4) +
                    d8 * (q[0] * dd + q[1] * d2 + q[2] * d3);
            }
            envelope = ((y - envelope) * release + attack * u) + envelope;
            out[s][i] = outFilter.process(envelope) * kDetectorGain;
        }
        hp1.store(d.key[s].highPass.first);
        hp2.store(d.key[s].highPass.second);
        inFilter.store(f.inputFilter);
        outFilter.store(f.outputFilter);
        f.envelope = envelope;
    }
}

// --- TwoLane -----------------------------------------------------------------

#if TARVO_BENCH_SSE2
/// A biquad for both strips: lane 0 strip A, lane 1 strip B.
struct LaneBiquad {
    __m128d b0, b1, b2, c1, c2, x1, x2, y1, y2;
    LaneBiquad(const Biquad& a, const Biquad& b)
        : b0(_mm_set1_pd(a.b0)), b1(_mm_set1_pd(a.b1)), b2(_mm_set1_pd(a.b2)),
          c1(_mm_set1_pd(a.c1)), c2(_mm_set1_pd(a.c2)), x1(_mm_set_pd(b.x1, a.x1)),
          x2(_mm_set_pd(b.x2, a.x2)), y1(_mm_set_pd(b.y1, a.y1)), y2(_mm_set_pd(b.y2, a.y2)) {}
    /// b0*x + b1*x1 + b2*x2 + c1*y1 + c2*y2, summed left to right as the scalar section.
    __m128d process(__m128d x) {
        const __m128d y = _mm_add_pd(
            _mm_add_pd(_mm_add_pd(_mm_add_pd(_mm_mul_pd(b0, x), _mm_mul_pd(b1, x1)),
                                  _mm_mul_pd(b2, x2)),
                       _mm_mul_pd(c1, y1)),
            _mm_mul_pd(c2, y2));
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
    void store(Biquad& a, Biquad& b) const {
        double v[2];
        _mm_storeu_pd(v, x1); a.x1 = v[0]; b.x1 = v[1];
        _mm_storeu_pd(v, x2); a.x2 = v[0]; b.x2 = v[1];
        _mm_storeu_pd(v, y1); a.y1 = v[0]; b.y1 = v[1];
        _mm_storeu_pd(v, y2); a.y2 = v[0]; b.y2 = v[1];
    }
};

void twoLaneFrame(DetectorPair& d, const double (&in)[2][kFactor], double (&out)[2][kFactor]) {
    LaneBiquad hp1(d.key[0].highPass.first, d.key[1].highPass.first);
    LaneBiquad hp2(d.key[0].highPass.second, d.key[1].highPass.second);
    EnvelopeFollower& fa = d.level[0];
    EnvelopeFollower& fb = d.level[1];
    LaneBiquad inFilter(fa.inputFilter, fb.inputFilter);
    LaneBiquad outFilter(fa.outputFilter, fb.outputFilter);
    __m128d envelope = _mm_set_pd(fb.envelope, fa.envelope);
    const __m128d attack = _mm_set1_pd(fa.attackCoefficient);
    const __m128d release = _mm_set1_pd(fa.releaseCoefficient);
    const __m128d width = _mm_set1_pd(fa.softWidth);
    __m128d q[8];
    for (int k = 0; k < 8; ++k) q[k] = _mm_set1_pd(fa.softCurve[k]);
    const __m128d zero = _mm_setzero_pd();
    const __m128d signMask = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFFll));
    const __m128d gain = _mm_set1_pd(kDetectorGain);
    for (int i = 0; i < kFactor; ++i) {
        const __m128d x = _mm_set_pd(in[1][i], in[0][i]);
        const __m128d y = inFilter.process(_mm_and_pd(hp2.process(hp1.process(x)), signMask));
        const __m128d dd = _mm_sub_pd(y, envelope);
        // u = 0 where d < 0, d where d > L, else the soft polynomial. The
        // polynomial sits on the envelope's loop-carried path, so it is
        // computed only when a lane needs it (the common cases branch, as the
        // scalar code does, and the predictor hides them).
        const __m128d below = _mm_cmplt_pd(dd, zero);
        const __m128d above = _mm_cmpgt_pd(dd, width);
        __m128d u;
        if (_mm_movemask_pd(below) == 3) {
            u = zero;
        } else if (_mm_movemask_pd(above) == 3) {
            u = dd;
        } else if (_mm_movemask_pd(_mm_or_pd(below, above)) == 3) {
            u = _mm_and_pd(above, dd);
        } else {
            const __m128d d2 = _mm_mul_pd(dd, dd);
            const __m128d d3 = _mm_mul_pd(d2, dd);
            const __m128d d4 = _mm_mul_pd(d2, d2);
            const __m128d d8 = _mm_mul_pd(d4, d4);
            const __m128d d12 = _mm_mul_pd(d8, d4);
            const __m128d soft = _mm_add_pd(
                _mm_mul_pd(d12, _mm_add_pd(_mm_add_pd(_mm_add_pd(_mm_add_pd(q[3], _mm_mul_pd(q[4], dd)),
                                                                  _mm_mul_pd(q[5], d2)),
                                                       _mm_mul_pd(q[6], d3)),
                                            _mm_mul_pd(q[7], d4))),
                _mm_mul_pd(d8, _mm_add_pd(_mm_add_pd(_mm_mul_pd(q[0], dd), _mm_mul_pd(q[1], d2)),
                                          _mm_mul_pd(q[2], d3))));
            u = _mm_or_pd(_mm_and_pd(above, dd), _mm_andnot_pd(above, soft));
            u = _mm_andnot_pd(below, u);
        }
        envelope = _mm_add_pd(_mm_add_pd(_mm_mul_pd(dd, release), _mm_mul_pd(attack, u)), envelope);
        const __m128d level = _mm_mul_pd(outFilter.process(envelope), gain);
        double v[2];
        _mm_storeu_pd(v, level);
        out[0][i] = v[0];
        out[1][i] = v[1];
    }
    hp1.store(d.key[0].highPass.first, d.key[1].highPass.first);
    hp2.store(d.key[0].highPass.second, d.key[1].highPass.second);
    inFilter.store(fa.inputFilter, fb.inputFilter);
    outFilter.store(fa.outputFilter, fb.outputFilter);
    double e[2];
    _mm_storeu_pd(e, envelope);
    fa.envelope = e[0];
    fb.envelope = e[1];
}
#endif

using FrameFunction = void (*)(DetectorPair&, const double (&)[2][kFactor], double (&)[2][kFactor]);

void input(std::uint32_t frame, double (&in)[2][kFactor]) {
    for (int i = 0; i < kFactor; ++i) {
        in[0][i] = kKeyA[frame * kFactor + i];
        in[1][i] = kKeyB[frame * kFactor + i];
    }
}

/// True when `f` gives Current's bits over 20000 frames.
bool sameAsCurrent(FrameFunction f) {
    DetectorPair reference;
    DetectorPair candidate;
    double in[2][kFactor];
    double a[2][kFactor];
    double b[2][kFactor];
    for (std::uint32_t frame = 0; frame < 20000; ++frame) {
        input(frame, in);
        currentFrame(reference, in, a);
        f(candidate, in, b);
        if (std::memcmp(a, b, sizeof a) != 0) return false;
    }
    return true;
}

void run(benchmark::State& state, FrameFunction f) {
    if (!sameAsCurrent(f)) {
        state.SkipWithError("output differs from the current strip");
        return;
    }
    DetectorPair pair;
    double in[2][kFactor];
    double out[2][kFactor];
    std::uint32_t frame = 0;
    for (auto _ : state) {
        input(frame++, in);
        f(pair, in, out);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
}

void BM_KeyChain4x_Current(benchmark::State& state) { run(state, currentFrame); }
void BM_KeyChain4x_Locals(benchmark::State& state) { run(state, localsFrame); }
BENCHMARK(BM_KeyChain4x_Current);
BENCHMARK(BM_KeyChain4x_Locals);
#if TARVO_BENCH_SSE2
void BM_KeyChain4x_TwoLane(benchmark::State& state) { run(state, twoLaneFrame); }
BENCHMARK(BM_KeyChain4x_TwoLane);
#endif

}  // namespace
}  // namespace tarvo::bench
