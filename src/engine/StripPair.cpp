#include "engine/StripPair.h"

#if TARVO_STRIP_PAIR

#include <cmath>

namespace tarvo {

using namespace twoLane;

namespace {

/// Lane by lane: where mask is set, then; elsewhere otherwise.
inline __m128d blend(__m128d mask, __m128d then, __m128d otherwise) noexcept {
    return _mm_or_pd(_mm_and_pd(mask, then), _mm_andnot_pd(mask, otherwise));
}

/// The static gain g for a level l, as ChannelStrip::compress computes it.
inline double staticGain(const GainComputer& computer, bool unity, double l) noexcept {
    return (unity || l < computer.floorLevel) ? 1.0 : computer.curve(l) / l;
}

template <bool HighPass>
void detectLoop(StripPairState& pair, const ChannelStrip& a, FrameBuffer& bufferA,
                FrameBuffer& bufferB, LevelLink link) noexcept {
    const double* keyA = bufferA.rows[FrameBuffer::audio];
    const double* keyB = bufferB.rows[FrameBuffer::audio];
    double* levelA = bufferA.rows[FrameBuffer::level];
    double* levelB = bufferB.rows[FrameBuffer::level];

    LaneBiquad& first = pair.keyFirst;
    LaneBiquad& second = pair.keySecond;  // unused with the shelf
    EnvelopeOf<Lanes2>& detector = pair.level;
    const __m128d gain = both(a.detectorGain);
    const __m128d half = both(0.5);

    const std::uint32_t n = a.subSampleCount;
    for (std::uint32_t i = 0; i < n; ++i) {
        __m128d key = first.process(Lanes2(keyA[i], keyB[i])).v;
        if (HighPass) key = second.process(Lanes2(key)).v;
        const __m128d level = _mm_mul_pd(detector.processRectified(Lanes2(key)).v, gain);
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
}

/// Where the limiter sits, as a template argument.
enum LimiterPosition { limiterPre, limiterPost, limiterOff };

template <int Position, bool Scoop, bool Saturation>
void compressLoop(StripPairState& pair, ChannelStrip& a, ChannelStrip& b, FrameBuffer& bufferA,
                  FrameBuffer& bufferB, bool linkedLevels, bool linkLimiter) noexcept {
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

    EnvelopeOf<Lanes2>& smoother = pair.smoother;
    ScoopChain<Lanes2>& scoopWet = pair.scoopWet;
    ScoopChain<Lanes2>& scoopDry = pair.scoopDry;

    // Two passes over the frame, as compress and finish: the gain
    // smoother's and limiters' recursions first, then the per-sub-sample
    // shaping, which the processor can overlap with the next recursion step.
    PeakLimiterDetector& limiterA = a.limiterDetector;
    PeakLimiterDetector& limiterB = b.limiterDetector;
    LimiterSections<Lanes2>& limiter = pair.limiter;
    const Lanes2 ceiling = limiterA.limiterCeiling;
    __m128d shaped[8];
    Lanes2 held[8];
    Lanes2 averaged[8];
    const std::uint32_t n = a.subSampleCount;
    for (std::uint32_t i = 0; i < n; ++i) {
        __m128d x = lanes(audioA[i], audioB[i]);
        const double gA = staticGain(computer, unity, levelA[i]);
        const double gB = linkedLevels ? gA : staticGain(b.gainComputer, unity, levelB[i]);
        // The smoother follows 2 - g, so more reduction is a rise (attack path).
        const __m128d s = smoother.process(Lanes2(_mm_sub_pd(two, lanes(gA, gB)))).v;
        __m128d y = _mm_mul_pd(_mm_sub_pd(two, s), x);
        if (!pre) {
            if (Scoop) {
                y = scoopWet.process(Lanes2(y)).v;
                if (dryScoop) x = scoopDry.process(Lanes2(x)).v;
            }
            y = _mm_add_pd(_mm_mul_pd(wet, y), _mm_mul_pd(dry, x));
        }
        shaped[i] = y;
        if (limiting) {
            // PeakLimiterDetector::process for both strips: the windows
            // scalar, one per lane, the three sections and the gains in lanes.
            const double magnitudeA = std::fabs(keyA * gA);
            const double magnitudeB = std::fabs(keyB * gB);
            const Lanes2 windowMax(limiterA.pushMagnitude(magnitudeA),
                                   limiterB.pushMagnitude(magnitudeB));
            limiter.process(windowMax, Lanes2(magnitudeA, magnitudeB), held[i], averaged[i]);
        } else {
            // PeakLimiterDetector::feedZero for both: the three sections
            // decay on zeros, hold is kept.
            limiterA.pushZero();
            limiterB.pushZero();
            limiter.idle();
        }
    }
    for (std::uint32_t i = 0; i < n; ++i) {
        __m128d y = shaped[i];
        if (limiting) {
            __m128d peak = limitGain(held[i], ceiling).v;
            __m128d average = limitGain(averaged[i], ceiling).v;
            if (linkLimiter) {
                // averages averaged (A's first), peaks by minimum: b > a ? a : b
                average = _mm_mul_pd(_mm_add_pd(_mm_unpacklo_pd(average, average),
                                                _mm_unpackhi_pd(average, average)),
                                     both(0.5));
                peak = _mm_min_pd(_mm_unpacklo_pd(peak, peak), _mm_unpackhi_pd(peak, peak));
            }
            // average > peak ? peak : average
            y = _mm_mul_pd(y, _mm_min_pd(peak, average));
        }
        if (Saturation) y = softClip(Lanes2(y), Lanes2(clipLevel)).v;
        if (pre) {
            __m128d d = lanes(audioA[i], audioB[i]);
            if (Scoop) {
                y = scoopWet.process(Lanes2(y)).v;
                if (dryScoop) d = scoopDry.process(Lanes2(d)).v;
            }
            y = _mm_add_pd(_mm_mul_pd(wet, y), _mm_mul_pd(dry, d));
        }
        _mm_store_sd(outA + i, y);
        _mm_storeh_pd(outB + i, y);
    }
}

template <int Position>
void compressAt(StripPairState& pair, ChannelStrip& a, ChannelStrip& b, FrameBuffer& bufferA,
                FrameBuffer& bufferB, bool linkedLevels, bool linkLimiter) noexcept {
    if (a.scoopOn) {
        if (a.saturationActive)
            compressLoop<Position, true, true>(pair, a, b, bufferA, bufferB, linkedLevels,
                                               linkLimiter);
        else
            compressLoop<Position, true, false>(pair, a, b, bufferA, bufferB, linkedLevels,
                                                linkLimiter);
    } else {
        if (a.saturationActive)
            compressLoop<Position, false, true>(pair, a, b, bufferA, bufferB, linkedLevels,
                                                linkLimiter);
        else
            compressLoop<Position, false, false>(pair, a, b, bufferA, bufferB, linkedLevels,
                                                 linkLimiter);
    }
}

/// IirDecimator::process at factor N for both strips (equal settings): the
/// sections in lanes, the dither per strip.
template <int N>
inline void decimateAt(StripPairState& pair, IirDecimator& da, IirDecimator& db,
                       const double* inA, const double* inB, double& outA,
                       double& outB) noexcept {
    const Lanes2 y = pair.decimator.decimate<N>([inA, inB](int i) { return Lanes2(inA[i], inB[i]); });
    outA = y.lane0() + nextNoise(da.noiseSeed, da.noiseLevel);
    outB = y.lane1() + nextNoise(db.noiseSeed, db.noiseLevel);
}

/// IirDecimator::process for both strips; factors other than 2, 4 and 8 pass
/// the first input.
inline void decimatePair(StripPairState& pair, IirDecimator& da, IirDecimator& db,
                         const double* inA, const double* inB, double& outA,
                         double& outB) noexcept {
    switch (da.factor) {
        case 2:
            decimateAt<2>(pair, da, db, inA, inB, outA, outB);
            return;
        case 4:
            decimateAt<4>(pair, da, db, inA, inB, outA, outB);
            return;
        case 8:
            decimateAt<8>(pair, da, db, inA, inB, outA, outB);
            return;
        default:
            outA = inA[0] + nextNoise(da.noiseSeed, da.noiseLevel);
            outB = inB[0] + nextNoise(db.noiseSeed, db.noiseLevel);
            return;
    }
}

}  // namespace

void StripPairState::load(ChannelStrip& a, ChannelStrip& b) noexcept {
    const bool highPass = a.sideChain.highPassOn;
    keyFirst = zipLanes<BiquadOf>(highPass ? a.sideChain.highPass.first : a.sideChain.shelf,
                                  highPass ? b.sideChain.highPass.first : b.sideChain.shelf);
    keySecond = zipLanes<BiquadOf>(a.sideChain.highPass.second, b.sideChain.highPass.second);
    level = zipLanes<EnvelopeOf>(a.levelDetector, b.levelDetector);
    smoother = zipLanes<EnvelopeOf>(a.gainSmoother, b.gainSmoother);
    limiter = zipLanes<LimiterSections>(a.limiterDetector.sections(), b.limiterDetector.sections());
    scoopWet = zipLanes<ScoopChain>(a.scoopWet, b.scoopWet);
    scoopDry = zipLanes<ScoopChain>(a.scoopDry, b.scoopDry);
    decimator = zipLanes<DecimatorSections>(a.downsampler.decimator, b.downsampler.decimator);
}

void StripPairState::store(ChannelStrip& a, ChannelStrip& b) const noexcept {
    const bool highPass = a.sideChain.highPassOn;
    unzipLanes<BiquadOf>(keyFirst, highPass ? a.sideChain.highPass.first : a.sideChain.shelf,
                         highPass ? b.sideChain.highPass.first : b.sideChain.shelf);
    unzipLanes<BiquadOf>(keySecond, a.sideChain.highPass.second, b.sideChain.highPass.second);
    unzipLanes<EnvelopeOf>(level, a.levelDetector, b.levelDetector);
    unzipLanes<EnvelopeOf>(smoother, a.gainSmoother, b.gainSmoother);
    unzipLanes<LimiterSections>(limiter, a.limiterDetector.sections(),
                                b.limiterDetector.sections());
    unzipLanes<ScoopChain>(scoopWet, a.scoopWet, b.scoopWet);
    unzipLanes<ScoopChain>(scoopDry, a.scoopDry, b.scoopDry);
    unzipLanes<DecimatorSections>(decimator, a.downsampler.decimator, b.downsampler.decimator);
}

void detectPair(StripPairState& pair, ChannelStrip& a, ChannelStrip& b, FrameBuffer& bufferA,
                FrameBuffer& bufferB, LevelLink link) noexcept {
    (void)b;  // its settings equal A's; its state is in the lanes
    if (a.sideChain.highPassOn)
        detectLoop<true>(pair, a, bufferA, bufferB, link);
    else
        detectLoop<false>(pair, a, bufferA, bufferB, link);
}

void compressPair(StripPairState& pair, ChannelStrip& a, ChannelStrip& b, FrameBuffer& bufferA,
                  FrameBuffer& bufferB, LevelLink link, bool linkLimiter) noexcept {
    const bool linkedLevels = link != LevelLink::none;
    if (a.limiterPre)
        compressAt<limiterPre>(pair, a, b, bufferA, bufferB, linkedLevels, linkLimiter);
    else if (a.limiterPost)
        compressAt<limiterPost>(pair, a, b, bufferA, bufferB, linkedLevels, linkLimiter);
    else
        compressAt<limiterOff>(pair, a, b, bufferA, bufferB, linkedLevels, linkLimiter);
}

void downsamplePair(StripPairState& pair, ChannelStrip& a, ChannelStrip& b,
                    const FrameBuffer& bufferA, const FrameBuffer& bufferB, double& outA,
                    double& outB) noexcept {
    Downsampler& da = a.downsampler;
    Downsampler& db = b.downsampler;
    const double* inA = bufferA.rows[FrameBuffer::processed];
    const double* inB = bufferB.rows[FrameBuffer::processed];
    if (!da.hq) {
        decimatePair(pair, da.decimator, db.decimator, inA, inB, outA, outB);
        return;
    }
    // HQ: each half of the block through the decimators, then the halfband stage.
    double u0A, u0B, u1A, u1B;
    decimatePair(pair, da.decimator, db.decimator, inA, inB, u0A, u0B);
    decimatePair(pair, da.decimator, db.decimator, inA + da.stageFactor, inB + db.stageFactor,
                 u1A, u1B);
    outA = da.halfband.process(u0A, u1A);
    outB = db.halfband.process(u0B, u1B);
}

}  // namespace tarvo

#endif
