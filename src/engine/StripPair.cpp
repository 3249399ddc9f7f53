#include "engine/StripPair.h"

#if TARVO_STRIP_PAIR

#include <emmintrin.h>

#include <cmath>

namespace tarvo {

namespace {

/// Lane 0 from a, lane 1 from b.
inline __m128d lanes(double a, double b) noexcept { return _mm_set_pd(b, a); }
inline __m128d both(double v) noexcept { return _mm_set1_pd(v); }
inline double laneA(__m128d v) noexcept { return _mm_cvtsd_f64(v); }
inline double laneB(__m128d v) noexcept { return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v)); }

/// A biquad section of each strip: coefficients shared (strip A's, equal to
/// B's), histories per lane. Loaded at the start of a frame, stored back at
/// its end.
struct LaneBiquad {
    __m128d b0, b1, b2, c1, c2, x1, x2, y1, y2;

    LaneBiquad(const Biquad& a, const Biquad& b) noexcept
        : b0(both(a.b0)), b1(both(a.b1)), b2(both(a.b2)), c1(both(a.c1)), c2(both(a.c2)),
          x1(lanes(a.x1, b.x1)), x2(lanes(a.x2, b.x2)), y1(lanes(a.y1, b.y1)),
          y2(lanes(a.y2, b.y2)) {}

    /// b0*x + b1*x1 + b2*x2 + c1*y1 + c2*y2, summed left to right as Biquad::process.
    __m128d process(__m128d x) noexcept {
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

    void store(Biquad& a, Biquad& b) const noexcept {
        a.x1 = laneA(x1);
        b.x1 = laneB(x1);
        a.x2 = laneA(x2);
        b.x2 = laneB(x2);
        a.y1 = laneA(y1);
        b.y1 = laneB(y1);
        a.y2 = laneA(y2);
        b.y2 = laneB(y2);
    }
};

/// EnvelopeFollower::follow and its output low-pass for both strips.
struct LaneEnvelope {
    __m128d envelope;
    __m128d attack, release, width;
    __m128d q[8];
    LaneBiquad outputFilter;

    LaneEnvelope(const EnvelopeFollower& a, const EnvelopeFollower& b) noexcept
        : envelope(lanes(a.envelope, b.envelope)),
          attack(both(a.attackCoefficient)),
          release(both(a.releaseCoefficient)),
          width(both(a.softWidth)),
          outputFilter(a.outputFilter, b.outputFilter) {
        for (int k = 0; k < 8; ++k) q[k] = both(a.softCurve[k]);
    }

    /// One envelope step towards y and the output low-pass. The soft-attack
    /// polynomial sits on the envelope's loop-carried path, so it is
    /// computed only when a lane needs it; the common cases (both lanes
    /// falling, both above the soft width) branch as the scalar code does.
    __m128d process(__m128d y) noexcept {
        const __m128d zero = _mm_setzero_pd();
        const __m128d d = _mm_sub_pd(y, envelope);
        const __m128d below = _mm_cmplt_pd(d, zero);
        const __m128d above = _mm_cmpgt_pd(d, width);
        const int belowMask = _mm_movemask_pd(below);
        const int aboveMask = _mm_movemask_pd(above);
        __m128d u;
        if (belowMask == 3) {
            u = zero;
        } else if (aboveMask == 3) {
            u = d;
        } else if ((belowMask | aboveMask) == 3) {
            u = _mm_and_pd(above, d);
        } else {
            // d^12 (q12 + q13 d + q14 d^2 + q15 d^3 + q16 d^4) + d^8 (q9 d + q10 d^2 + q11 d^3)
            const __m128d d2 = _mm_mul_pd(d, d);
            const __m128d d3 = _mm_mul_pd(d2, d);
            const __m128d d4 = _mm_mul_pd(d2, d2);
            const __m128d d8 = _mm_mul_pd(d4, d4);
            const __m128d d12 = _mm_mul_pd(d8, d4);
            const __m128d high = _mm_add_pd(
                _mm_add_pd(_mm_add_pd(_mm_add_pd(q[3], _mm_mul_pd(q[4], d)), _mm_mul_pd(q[5], d2)),
                           _mm_mul_pd(q[6], d3)),
                _mm_mul_pd(q[7], d4));
            const __m128d low = _mm_add_pd(_mm_add_pd(_mm_mul_pd(q[0], d), _mm_mul_pd(q[1], d2)),
                                           _mm_mul_pd(q[2], d3));
            const __m128d soft = _mm_add_pd(_mm_mul_pd(d12, high), _mm_mul_pd(d8, low));
            u = _mm_or_pd(_mm_and_pd(above, d), _mm_andnot_pd(above, soft));
            u = _mm_andnot_pd(below, u);
        }
        envelope = _mm_add_pd(_mm_add_pd(_mm_mul_pd(d, release), _mm_mul_pd(attack, u)), envelope);
        return outputFilter.process(envelope);
    }

    void store(EnvelopeFollower& a, EnvelopeFollower& b) const noexcept {
        a.envelope = laneA(envelope);
        b.envelope = laneB(envelope);
        outputFilter.store(a.outputFilter, b.outputFilter);
    }
};

/// ScoopEq::process for both strips.
struct LaneScoop {
    LaneBiquad shelf, peak1, peak2, peak3;
    __m128d gain;

    LaneScoop(const ScoopEq& a, const ScoopEq& b) noexcept
        : shelf(a.shelf, b.shelf), peak1(a.peak1, b.peak1), peak2(a.peak2, b.peak2),
          peak3(a.peak3, b.peak3), gain(both(a.gain)) {}

    __m128d process(__m128d x) noexcept {
        return _mm_mul_pd(gain, peak3.process(peak2.process(peak1.process(shelf.process(x)))));
    }

    void store(ScoopEq& a, ScoopEq& b) const noexcept {
        shelf.store(a.shelf, b.shelf);
        peak1.store(a.peak1, b.peak1);
        peak2.store(a.peak2, b.peak2);
        peak3.store(a.peak3, b.peak3);
    }
};

/// SoftClipper::shape for both strips (equal clip levels).
inline __m128d softClip(__m128d x, __m128d clipLevel) noexcept {
    __m128d u = _mm_div_pd(x, clipLevel);
    // max(lo, u) = lo > u ? lo : u and min(hi, u) = hi < u ? hi : u keep a
    // NaN as the scalar compares do.
    u = _mm_max_pd(both(-1.927384823613229), u);
    u = _mm_min_pd(both(1.925547073273503), u);
    const __m128d u2 = _mm_mul_pd(u, u);
    const __m128d u3 = _mm_mul_pd(u2, u);
    const __m128d u4 = _mm_mul_pd(u2, u2);
    const __m128d inner = _mm_sub_pd(
        _mm_add_pd(_mm_sub_pd(_mm_sub_pd(_mm_mul_pd(both(0.011322488095808), u3),
                                         _mm_mul_pd(both(0.076851680685586), u)),
                              _mm_mul_pd(both(0.001614452827801), u4)),
                   _mm_mul_pd(both(0.019456557521838), u2)),
        both(0.076851680685586));
    const __m128d s = _mm_add_pd(
        _mm_add_pd(_mm_mul_pd(u4, inner),
                   _mm_mul_pd(_mm_sub_pd(both(0.051012188210767),
                                         _mm_mul_pd(both(0.048182108389193), u)),
                              u2)),
        _mm_mul_pd(both(1.043653138515045), u));
    return _mm_mul_pd(s, clipLevel);
}

/// Lane by lane: where mask is set, then; elsewhere otherwise.
inline __m128d select(__m128d mask, __m128d then, __m128d otherwise) noexcept {
    return _mm_or_pd(_mm_and_pd(mask, then), _mm_andnot_pd(mask, otherwise));
}

/// The static gain g for a level l, as ChannelStrip::compress computes it.
inline double staticGain(const GainComputer& computer, bool unity, double l) noexcept {
    return (unity || l < computer.floorLevel) ? 1.0 : computer.curve(l) / l;
}

/// Stands in for the scoops when they are off.
const ScoopEq kFlatScoop;

template <bool HighPass>
void detectLoop(ChannelStrip& a, ChannelStrip& b, FrameBuffer& bufferA, FrameBuffer& bufferB,
                LevelLink link) noexcept {
    const double* keyA = bufferA.rows[FrameBuffer::audio];
    const double* keyB = bufferB.rows[FrameBuffer::audio];
    double* levelA = bufferA.rows[FrameBuffer::level];
    double* levelB = bufferB.rows[FrameBuffer::level];

    LaneBiquad first(HighPass ? a.sideChain.highPass.first : a.sideChain.shelf,
                     HighPass ? b.sideChain.highPass.first : b.sideChain.shelf);
    // The shelf is one section; then `second` is loaded but never run or stored.
    LaneBiquad second(a.sideChain.highPass.second, b.sideChain.highPass.second);
    LaneBiquad inputFilter(a.levelDetector.inputFilter, b.levelDetector.inputFilter);
    LaneEnvelope detector(a.levelDetector, b.levelDetector);
    const __m128d gain = both(a.detectorGain);
    const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFFll));
    const __m128d half = both(0.5);

    const std::uint32_t n = a.subSampleCount;
    for (std::uint32_t i = 0; i < n; ++i) {
        __m128d key = first.process(lanes(keyA[i], keyB[i]));
        if (HighPass) key = second.process(key);
        const __m128d y = inputFilter.process(_mm_and_pd(key, magnitude));
        const __m128d level = _mm_mul_pd(detector.process(y), gain);
        // Each lane of the link is computed with A's level first, as the
        // scalar link does: (a + b) * 0.5, or a > b ? a : b.
        const __m128d fromA = _mm_unpacklo_pd(level, level);
        const __m128d fromB = _mm_unpackhi_pd(level, level);
        __m128d linked = level;
        if (link == LevelLink::average)
            linked = _mm_mul_pd(_mm_add_pd(fromA, fromB), half);
        else if (link == LevelLink::maximum)
            linked = _mm_max_pd(fromA, fromB);
        _mm_store_sd(levelA + i, linked);
        _mm_storeh_pd(levelB + i, linked);
    }

    first.store(HighPass ? a.sideChain.highPass.first : a.sideChain.shelf,
                HighPass ? b.sideChain.highPass.first : b.sideChain.shelf);
    if (HighPass) second.store(a.sideChain.highPass.second, b.sideChain.highPass.second);
    inputFilter.store(a.levelDetector.inputFilter, b.levelDetector.inputFilter);
    detector.store(a.levelDetector, b.levelDetector);
}

/// Where the limiter sits, as a template argument.
enum LimiterPosition { limiterPre, limiterPost, limiterOff };

template <int Position, bool Scoop, bool Saturation>
void compressLoop(ChannelStrip& a, ChannelStrip& b, FrameBuffer& bufferA, FrameBuffer& bufferB,
                  bool linkedLevels, bool linkLimiter) noexcept {
    constexpr bool pre = Position == limiterPre;
    constexpr bool limiting = Position != limiterOff;
    const double* audioA = bufferA.rows[FrameBuffer::audio];
    const double* audioB = bufferB.rows[FrameBuffer::audio];
    const double* levelA = bufferA.rows[FrameBuffer::level];
    const double* levelB = bufferB.rows[FrameBuffer::level];
    double* outA = bufferA.rows[FrameBuffer::processed];
    double* outB = bufferB.rows[FrameBuffer::processed];

    const GainComputer& computer = a.gainComputer;
    const bool unity = computer.inverseRatio == 1.0;
    const double keyA = std::fabs(a.newestKey());
    const double keyB = std::fabs(b.newestKey());
    const bool dryScoop = a.dryGain != 0.0;
    const __m128d two = both(2.0);
    const __m128d wet = both(a.wetGain);
    const __m128d dry = both(a.dryGain);
    const __m128d clipLevel = both(a.softClipper.clipLevel);

    LaneEnvelope smoother(a.gainSmoother, b.gainSmoother);
    // Flat scoops are not loaded; the loop never runs them then.
    LaneScoop scoopWet(Scoop ? a.scoopWet : kFlatScoop, Scoop ? b.scoopWet : kFlatScoop);
    LaneScoop scoopDry(Scoop ? a.scoopDry : kFlatScoop, Scoop ? b.scoopDry : kFlatScoop);

    // Two passes over the frame, as compress and finish: the gain
    // smoother's and limiters' recursions first, then the per-sub-sample
    // shaping, which the processor can overlap with the next recursion step.
    PeakLimiterDetector& limiterA = a.limiterDetector;
    PeakLimiterDetector& limiterB = b.limiterDetector;
    LaneBiquad peakFilter(limiterA.peakFilter(), limiterB.peakFilter());
    LaneBiquad releaseFilter(limiterA.releaseFilter(), limiterB.releaseFilter());
    LaneBiquad averageFilter(limiterA.averageFilter(), limiterB.averageFilter());
    __m128d hold = lanes(limiterA.hold(), limiterB.hold());
    const __m128d ceiling = both(limiterA.limiterCeiling);
    const __m128d one = both(1.0);
    __m128d shaped[8];
    __m128d held[8];
    __m128d averaged[8];
    const std::uint32_t n = a.subSampleCount;
    for (std::uint32_t i = 0; i < n; ++i) {
        __m128d x = lanes(audioA[i], audioB[i]);
        const double gA = staticGain(computer, unity, levelA[i]);
        const double gB = linkedLevels ? gA : staticGain(b.gainComputer, unity, levelB[i]);
        // The smoother follows 2 - g, so more reduction is a rise (attack path).
        const __m128d s = smoother.process(_mm_sub_pd(two, lanes(gA, gB)));
        __m128d y = _mm_mul_pd(_mm_sub_pd(two, s), x);
        if (!pre) {
            if (Scoop) {
                y = scoopWet.process(y);
                if (dryScoop) x = scoopDry.process(x);
            }
            y = _mm_add_pd(_mm_mul_pd(wet, y), _mm_mul_pd(dry, x));
        }
        shaped[i] = y;
        if (limiting) {
            // PeakLimiterDetector::process for both strips: the windows
            // scalar, one per lane, the three sections and the gains in lanes.
            const double magnitudeA = std::fabs(keyA * gA);
            const double magnitudeB = std::fabs(keyB * gB);
            const __m128d windowMax = lanes(limiterA.pushMagnitude(magnitudeA),
                                            limiterB.pushMagnitude(magnitudeB));
            const __m128d p = peakFilter.process(windowMax);
            // Instant attack where p > hold: the release section then holds p
            // as its output (its input history takes p either way).
            const __m128d attack = _mm_cmpgt_pd(p, hold);
            hold = select(attack, p, releaseFilter.process(p));
            releaseFilter.y1 = hold;
            held[i] = hold;
            averaged[i] = _mm_mul_pd(averageFilter.process(lanes(magnitudeA, magnitudeB)),
                                     both(1.5707963267948966));
        } else {
            a.limiterDetector.feedZero();
            b.limiterDetector.feedZero();
        }
    }
    for (std::uint32_t i = 0; i < n; ++i) {
        __m128d y = shaped[i];
        if (limiting) {
            // Gains ceiling / level where the level exceeds the ceiling, else
            // 1.0; the divisions only when a lane needs one.
            const __m128d peakOver = _mm_cmpgt_pd(held[i], ceiling);
            __m128d peak = one;
            if (_mm_movemask_pd(peakOver) != 0)
                peak = select(peakOver, _mm_div_pd(ceiling, held[i]), one);
            const __m128d averageOver = _mm_cmpgt_pd(averaged[i], ceiling);
            __m128d average = one;
            if (_mm_movemask_pd(averageOver) != 0)
                average = select(averageOver, _mm_div_pd(ceiling, averaged[i]), one);
            if (linkLimiter) {
                // averages averaged (A's first), peaks by minimum: b > a ? a : b
                average = _mm_mul_pd(
                    _mm_add_pd(_mm_unpacklo_pd(average, average), _mm_unpackhi_pd(average, average)),
                    both(0.5));
                peak = _mm_min_pd(_mm_unpacklo_pd(peak, peak), _mm_unpackhi_pd(peak, peak));
            }
            // average > peak ? peak : average
            y = _mm_mul_pd(y, _mm_min_pd(peak, average));
        }
        if (Saturation) y = softClip(y, clipLevel);
        if (pre) {
            __m128d d = lanes(audioA[i], audioB[i]);
            if (Scoop) {
                y = scoopWet.process(y);
                if (dryScoop) d = scoopDry.process(d);
            }
            y = _mm_add_pd(_mm_mul_pd(wet, y), _mm_mul_pd(dry, d));
        }
        _mm_store_sd(outA + i, y);
        _mm_storeh_pd(outB + i, y);
    }

    smoother.store(a.gainSmoother, b.gainSmoother);
    if (limiting) {
        peakFilter.store(limiterA.peakFilter(), limiterB.peakFilter());
        releaseFilter.store(limiterA.releaseFilter(), limiterB.releaseFilter());
        averageFilter.store(limiterA.averageFilter(), limiterB.averageFilter());
        limiterA.setHold(laneA(hold));
        limiterB.setHold(laneB(hold));
    }
    if (Scoop) {
        scoopWet.store(a.scoopWet, b.scoopWet);
        if (dryScoop) scoopDry.store(a.scoopDry, b.scoopDry);
    }
}

template <int Position>
void compressAt(ChannelStrip& a, ChannelStrip& b, FrameBuffer& bufferA, FrameBuffer& bufferB,
                bool linkedLevels, bool linkLimiter) noexcept {
    if (a.scoopOn) {
        if (a.saturationActive)
            compressLoop<Position, true, true>(a, b, bufferA, bufferB, linkedLevels, linkLimiter);
        else
            compressLoop<Position, true, false>(a, b, bufferA, bufferB, linkedLevels, linkLimiter);
    } else {
        if (a.saturationActive)
            compressLoop<Position, false, true>(a, b, bufferA, bufferB, linkedLevels, linkLimiter);
        else
            compressLoop<Position, false, false>(a, b, bufferA, bufferB, linkedLevels, linkLimiter);
    }
}

}  // namespace

void detectPair(ChannelStrip& a, ChannelStrip& b, FrameBuffer& bufferA, FrameBuffer& bufferB,
                LevelLink link) noexcept {
    if (a.sideChain.highPassOn)
        detectLoop<true>(a, b, bufferA, bufferB, link);
    else
        detectLoop<false>(a, b, bufferA, bufferB, link);
}

void compressPair(ChannelStrip& a, ChannelStrip& b, FrameBuffer& bufferA, FrameBuffer& bufferB,
                  LevelLink link, bool linkLimiter) noexcept {
    const bool linkedLevels = link != LevelLink::none;
    if (a.limiterPre)
        compressAt<limiterPre>(a, b, bufferA, bufferB, linkedLevels, linkLimiter);
    else if (a.limiterPost)
        compressAt<limiterPost>(a, b, bufferA, bufferB, linkedLevels, linkLimiter);
    else
        compressAt<limiterOff>(a, b, bufferA, bufferB, linkedLevels, linkLimiter);
}

}  // namespace tarvo

#endif
