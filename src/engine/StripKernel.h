#pragma once

#include <cstdint>
#include <type_traits>

#include "engine/ChannelStrip.h"
#include "filters/Inlining.h"
#include "filters/Lanes.h"
#include "filters/WideLanes.h"

namespace tarvo {

// The sub-sample work of the strips between the resamplers, written once
// over the Strips it runs: two strips with equal settings side by side
// (TwoStripsOf in StripLanes.h, Value Lanes2, strip A in lane
// 0), over count() sub-samples of one or more frames in a row. Each stage
// runs over all of them before the next; a stage's recursive state is
// copied into a local for its loop, so that it stays in registers. Strips
// offers the value type, the rows (key(i), audio(i), limiterKey(i) for the
// frame of sub-sample i, levels(), processed(), averageGains(),
// peakGains()), the recursive state (keyFirst, keySecond, levelDetector,
// gainSmoother, limiter, scoopWet, scoopDry), the settings (settings():
// strip A's), the levels' link (linkLevels), and the per-strip parts that
// do not fit in lanes (staticGains, limiterWindows).

/// How the two strips' levels are joined after detection.
enum class LevelLink {
    none,     ///< each strip keeps its own levels ("2 Mono")
    average,  ///< both take (a + b) * 0.5 ("Stereo")
    maximum,  ///< both take the larger ("M/S")
};

/// Levels joined across the lanes, A's first: (a + b) * 0.5, or a > b ? a : b.
template <class L>
inline L linkLanes(L level, LevelLink link) noexcept {
    if (link == LevelLink::average) return (level.spread0() + level.spread1()) * 0.5;
    if (link == LevelLink::maximum) return maxOf(level.spread0(), level.spread1());
    return level;
}

/// The "Stereo" link of the limiter gains across the lanes: averages
/// averaged (A's first), peaks by minimum (b > a ? a : b).
template <class L>
inline void linkLimiterLanes(L& average, L& peak) noexcept {
    average = (average.spread0() + average.spread1()) * 0.5;
    peak = minOf(peak.spread0(), peak.spread1());
}

#if defined(__AVX2__)
/// detectRows with the key high-pass on, for the AVX2 build: the
/// high-pass's two sections side by side in one 32-byte register, the first
/// at sub-sample i beside the second at i - 2, whose input (the first's
/// output then) is the pair's y2. One step apart, the first section's
/// newest output would be an input of the pair's next step, whose sum takes
/// the input first: its recursion would wait on the whole sum. Two steps
/// apart, neither section waits on the other. The level detector then runs
/// at i - 2, its sections one after the other (its output low-pass beside
/// its input low-pass would put the pair on the envelope's recursion). Every
/// section takes the same inputs in the same order as when they run one
/// after the other (as in the first two and the last two sub-samples, and
/// in runs of one), so the bits are the same.
template <LevelLink link, class Strips>
void detectRowsStaggered(Strips& s) noexcept {
    using V = typename Strips::Value;
    const std::uint32_t n = s.count();
    BiquadOf<V>& first = s.keyFirst();
    BiquadOf<V>& second = s.keySecond();
    auto detector = s.levelDetector();
    const V gain = s.settings().detectorGain;
    V* level = s.levels();
    auto detect = [&](std::uint32_t j) {
        level[j] = s.linkLevels(detector.outputFilter.process(detector.envelope) * gain, link);
    };
    auto follow = [&](V key) {
        detector.followLevel(detector.inputFilter.process(magnitude(key)));
    };
    if (n < 2) {
        for (std::uint32_t j = 0; j < n; ++j) {
            follow(second.process(first.process(s.key(j))));
            detect(j);
        }
        s.levelDetector() = detector;
        return;
    }
    first.process(s.key(0));
    first.process(s.key(1));
    BiquadOf<Lanes4> highPass = pairSections(first, second);
    for (std::uint32_t i = 2; i < n; ++i) {
        // The first section at i beside the second at i - 2, on the first's output then.
        const Lanes4 key = highPass.process(Lanes4(s.key(i), highPass.y2.low()));
        follow(key.high());
        detect(i - 2);
    }
    unpairSections(highPass, first, second);
    const V last = first.y1;
    follow(second.process(first.y2));
    detect(n - 2);
    follow(second.process(last));
    detect(n - 1);
    s.levelDetector() = detector;
}
#endif

/// Key (at the oversampled rate) -> key filter -> level detector ->
/// detector gain -> the link -> levels. The filter choice and the link are
/// template arguments, so the loop has no branch on them.
template <bool HighPass, LevelLink link, class Strips>
void detectRows(Strips& s) noexcept {
    using V = typename Strips::Value;
#if defined(__AVX2__)
    if constexpr (HighPass && std::is_same<V, Lanes2>::value) {
        detectRowsStaggered<link>(s);
        return;
    }
#endif
    auto first = s.keyFirst();
    auto second = s.keySecond();  // unused with the shelf
    auto detector = s.levelDetector();
    const V gain = s.settings().detectorGain;
    const std::uint32_t n = s.count();
    V* level = s.levels();
    for (std::uint32_t i = 0; i < n; ++i) {
        V key = first.process(s.key(i));
        if (HighPass) key = second.process(key);
        level[i] = s.linkLevels(detector.processRectified(key) * gain, link);
    }
    s.keyFirst() = first;
    if (HighPass) s.keySecond() = second;
    s.levelDetector() = detector;
}

template <bool HighPass, class Strips>
void detectRows(Strips& s, LevelLink link) noexcept {
    if (link == LevelLink::average)
        detectRows<HighPass, LevelLink::average>(s);
    else if (link == LevelLink::maximum)
        detectRows<HighPass, LevelLink::maximum>(s);
    else
        detectRows<HighPass, LevelLink::none>(s);
}

template <class Strips>
void detectRows(Strips& s, LevelLink link) noexcept {
    if (s.settings().sideChain.highPassOn)
        detectRows<true>(s, link);
    else
        detectRows<false>(s, link);
}

/// The strips' scoop and mix: with the scoop on, the wet chain on the
/// processed signal y and, with a dry share, the dry chain on the dry signal
/// x; then wet * y + dry * x.
template <typename V>
struct ScoopMix {
    bool dryScoop;
    V wet, dry;

    explicit ScoopMix(const ChannelStrip& settings) noexcept
        : dryScoop(settings.dryGain != 0.0), wet(settings.wetGain), dry(settings.dryGain) {}

    template <bool Scoop, class Chain>
    V apply(V y, V x, Chain& scoopWet, Chain& scoopDry) const noexcept {
        if constexpr (Scoop) {
            y = scoopWet.process(y);
            if (dryScoop) x = scoopDry.process(x);
        }
        return wet * y + dry * x;
    }
};

/// `steps` idle steps of lane `lane` of the limiter sections (the window's
/// zeros are the strip's to push); the other lane is kept.
template <class L>
void idleLimiterLane(LimiterSections<L>& sections, int lane, std::uint32_t steps = 1) noexcept {
    LimiterSections<L> idled = sections;
    for (std::uint32_t k = 0; k < steps; ++k) idled.idle();
    copyLane(sections, idled, lane);
}

/// The gain smoother and the limiter sections as the compress loop runs
/// them, in registers: loaded from the lanes' state, stored back after.
template <typename V>
struct RunningCompressor {
    EnvelopeOf<V> smoother;
    LimiterSections<V> limiter;

    RunningCompressor(const EnvelopeOf<V>& smootherState,
                      const LimiterSections<V>& limiterState) noexcept
        : smoother(smootherState), limiter(limiterState) {}
    void storeTo(EnvelopeOf<V>& smootherState, LimiterSections<V>& limiterState) const noexcept {
        smootherState = smoother;
        limiterState = limiter;
    }
    /// One sub-sample: the smoother on `in`, its output returned; the
    /// limiter on the window maximum and the newest magnitude a, its held
    /// peak level and average level out.
    TARVO_ALWAYS_INLINE V process(V in, V windowMax, V a, V& peakLevel,
                                  V& averageLevel) noexcept {
        limiter.process(windowMax, a, peakLevel, averageLevel);
        return smoother.process(in);
    }
    /// One sub-sample with the limiter idle (its sections decay on zeros,
    /// hold is kept): the smoother's output.
    TARVO_ALWAYS_INLINE V processIdle(V in) noexcept {
        limiter.idle();
        return smoother.process(in);
    }
    /// An idle step of lane `lane` of the limiter only.
    void idleLane(int lane) noexcept { idleLimiterLane(limiter, lane); }
};

#if defined(__AVX2__)
/// The AVX2 build's: independent sections side by side in 32-byte
/// registers, the limiter's peak and average sections in one, and the
/// smoother's output section beside the limiter's release section in
/// another; the hold as in LimiterSections (holdPeak).
template <>
struct RunningCompressor<Lanes2> {
    EnvelopeOf<Lanes2> smoother;  ///< its outputFilter's history is in outputAndRelease
    BiquadOf<Lanes4> peakAndAverage;
    BiquadOf<Lanes4> outputAndRelease;
    Lanes2 hold;

    RunningCompressor(const EnvelopeOf<Lanes2>& smootherState,
                      const LimiterSections<Lanes2>& limiterState) noexcept
        : smoother(smootherState),
          peakAndAverage(pairSections(limiterState.peakFilter, limiterState.averageFilter)),
          outputAndRelease(pairSections(smootherState.outputFilter, limiterState.releaseFilter)),
          hold(limiterState.hold) {}
    void storeTo(EnvelopeOf<Lanes2>& smootherState,
                 LimiterSections<Lanes2>& limiterState) const noexcept {
        smootherState = smoother;
        unpairSections(peakAndAverage, limiterState.peakFilter, limiterState.averageFilter);
        unpairSections(outputAndRelease, smootherState.outputFilter, limiterState.releaseFilter);
        limiterState.hold = hold;
    }
    TARVO_ALWAYS_INLINE Lanes2 process(Lanes2 in, Lanes2 windowMax, Lanes2 a,
                                       Lanes2& peakLevel, Lanes2& averageLevel) noexcept {
        smoother.follow(in);
        const Lanes4 smoothed = peakAndAverage.process(Lanes4(windowMax, a));
        const Lanes2 p = smoothed.low();
        // holdPeak with the release section in the high half.
        const Lanes4 out = outputAndRelease.process(Lanes4(smoother.envelope, p));
        hold = nextHold(hold, p, out.high());
        outputAndRelease.y1 = Lanes4(out.low(), hold);
        peakLevel = hold;
        averageLevel = smoothed.high() * kSinePeakToMean;
        return out.low();
    }
    TARVO_ALWAYS_INLINE Lanes2 processIdle(Lanes2 in) noexcept {
        smoother.follow(in);
        peakAndAverage.process(0.0);
        return outputAndRelease.process(Lanes4(smoother.envelope, Lanes2(0.0))).low();
    }
    void idleLane(int lane) noexcept {
        BiquadOf<Lanes4> idled = peakAndAverage;
        idled.process(0.0);
        peakAndAverage = withHistoryOf(peakAndAverage, idled, laneInBothHalves(lane));
        idled = outputAndRelease;
        idled.process(0.0);
        outputAndRelease = withHistoryOf(outputAndRelease, idled, laneInHighHalf(lane));
    }
};
#endif

/// Where the limiter sits, as a template argument (ChannelStrip holds it as
/// the two flags limiterPre and limiterPost).
enum class LimiterPosition { pre, post, off };

/// Audio and levels -> processed (for "Pre" the compressor's gain, which
/// finishRows applies; for "Post" and "Off" the compressed audio through the
/// scoop and the mix), the limiter's average and peak gains.
/// The recursions: gain smoother, limiter sections, the "Post"/"Off" scoop.
/// With linkedLevels the lanes' levels are equal and the static gain is
/// computed once.
template <LimiterPosition Position, bool Scoop, class Strips>
void compressRows(Strips& s, bool linkedLevels) noexcept {
    using V = typename Strips::Value;
    constexpr bool pre = Position == LimiterPosition::pre;
    constexpr bool limiting = Position != LimiterPosition::off;
    const ChannelStrip& settings = s.settings();
    const ScoopMix<V> mix(settings);
    const V ceiling = settings.limiterDetector.limiterCeiling;
    const bool unity = settings.gainComputer.inverseRatio == 1.0;
    RunningCompressor<V> running(s.gainSmoother(), s.limiter());
    auto scoopWet = s.scoopWet();  // used for "Post" and "Off"
    auto scoopDry = s.scoopDry();
    const std::uint32_t n = s.count();
    s.staticGains(unity, linkedLevels);
    const V* gain = s.levels();
    V* processed = s.processed();
    V* peakGain = s.peakGains();
    V* averageGain = s.averageGains();
    auto windows = s.limiterWindows();
    for (std::uint32_t i = 0; i < n; ++i) {
        if constexpr (Strips::sleeperIdles) {
            if (s.frameStarts(i)) s.sleeperFrameStart(running, windows);
        }
        const V g = gain[i];
        // The smoother follows 2 - g, so more reduction is a rise (attack path).
        V smoothed;
        if (limiting) {
            // The window per strip; the sections and the gains in lanes.
            const V a = magnitude(s.limiterKey(i) * g);
            V peakLevel, averageLevel;
            smoothed = running.process(2.0 - g, windows.push(a), a, peakLevel, averageLevel);
            peakGain[i] = limitGain(peakLevel, ceiling);
            averageGain[i] = limitGain(averageLevel, ceiling);
        } else {
            // Idle: a zero enters the window, the sections decay, hold is kept.
            windows.pushZero();
            smoothed = running.processIdle(2.0 - g);
        }
        // "Pre": the gain alone; finishRows applies it to the audio, which
        // it reads for the mix anyway.
        if constexpr (pre) {
            processed[i] = 2.0 - smoothed;
        } else {
            const V x = s.audio(i);
            processed[i] = mix.template apply<Scoop>((2.0 - smoothed) * x, x, scoopWet, scoopDry);
        }
    }
    s.keepLimiterWindows(windows);
    running.storeTo(s.gainSmoother(), s.limiter());
    if (Scoop && !pre) {
        s.scoopWet() = scoopWet;
        s.scoopDry() = scoopDry;
    }
}

/// Processed (for "Pre" times the audio first) -> limiter gain (linked
/// across the lanes with linkLimiter), saturation, and for "Pre" the scoop
/// and the mix -> processed, ready for the downsampler.
template <LimiterPosition Position, bool Scoop, bool Saturation, class Strips>
void finishRows(Strips& s, bool linkLimiter) noexcept {
    using V = typename Strips::Value;
    constexpr bool pre = Position == LimiterPosition::pre;
    constexpr bool limiting = Position != LimiterPosition::off;
    const ChannelStrip& settings = s.settings();
    auto scoopWet = s.scoopWet();  // used for "Pre"
    auto scoopDry = s.scoopDry();
    const std::uint32_t n = s.count();
    V* processed = s.processed();
    const V* peakGain = s.peakGains();
    const V* averageGain = s.averageGains();
    // One sub-sample's finish over W (V, or in the AVX2 build Lanes4: two
    // sub-samples at once where nothing here is recursive).
    auto finish = [&](auto y, auto average, auto peak, auto x, const auto& mix, auto clipLevel) {
        if constexpr (pre) y = y * x;  // the compressor's gain times the audio
        if (limiting) {
            if (linkLimiter) linkLimiterLanes(average, peak);
            // average > peak ? peak : average
            y = y * minOf(peak, average);
        }
        if (Saturation) y = softClip(y, clipLevel);
        if constexpr (pre) y = mix.template apply<Scoop>(y, x, scoopWet, scoopDry);
        return y;
    };
    const double clipLevel = settings.softClipper.clipLevel;
    std::uint32_t i = 0;
#if defined(__AVX2__)
    if constexpr (!(pre && Scoop) && std::is_same<V, Lanes2>::value) {
        const ScoopMix<Lanes4> mix(settings);
        for (; i + 2 <= n; i += 2) {
            const Lanes4 y = finish(Lanes4(processed[i], processed[i + 1]),
                                    Lanes4(averageGain[i], averageGain[i + 1]),
                                    Lanes4(peakGain[i], peakGain[i + 1]),
                                    pre ? Lanes4(s.audio(i), s.audio(i + 1)) : Lanes4(0.0), mix,
                                    Lanes4(clipLevel));
            processed[i] = y.low();
            processed[i + 1] = y.high();
        }
    }
#endif
    const ScoopMix<V> mix(settings);
    for (; i < n; ++i)
        processed[i] = finish(processed[i], averageGain[i], peakGain[i],
                              pre ? s.audio(i) : V(0.0), mix, V(clipLevel));
    if (Scoop && pre) {
        s.scoopWet() = scoopWet;
        s.scoopDry() = scoopDry;
    }
}

template <LimiterPosition Position, class Strips>
void compressRowsAt(Strips& s, bool linkedLevels) noexcept {
    if (s.settings().scoopOn)
        compressRows<Position, true>(s, linkedLevels);
    else
        compressRows<Position, false>(s, linkedLevels);
}

template <LimiterPosition Position, class Strips>
void finishRowsAt(Strips& s, bool linkLimiter) noexcept {
    const ChannelStrip& settings = s.settings();
    if (settings.scoopOn) {
        if (settings.saturationActive)
            finishRows<Position, true, true>(s, linkLimiter);
        else
            finishRows<Position, true, false>(s, linkLimiter);
    } else {
        if (settings.saturationActive)
            finishRows<Position, false, true>(s, linkLimiter);
        else
            finishRows<Position, false, false>(s, linkLimiter);
    }
}

/// compressRows at the strips' limiter position.
template <class Strips>
void compressRows(Strips& s, bool linkedLevels) noexcept {
    const ChannelStrip& settings = s.settings();
    if (settings.limiterPre)
        compressRowsAt<LimiterPosition::pre>(s, linkedLevels);
    else if (settings.limiterPost)
        compressRowsAt<LimiterPosition::post>(s, linkedLevels);
    else
        compressRowsAt<LimiterPosition::off>(s, linkedLevels);
}

/// finishRows at the strips' limiter position.
template <class Strips>
void finishRows(Strips& s, bool linkLimiter) noexcept {
    const ChannelStrip& settings = s.settings();
    if (settings.limiterPre)
        finishRowsAt<LimiterPosition::pre>(s, linkLimiter);
    else if (settings.limiterPost)
        finishRowsAt<LimiterPosition::post>(s, linkLimiter);
    else
        finishRowsAt<LimiterPosition::off>(s, linkLimiter);
}

/// The static gain g for a level l: 1 at unity ratio (unity) and below the
/// floor, else curve(l) / l.
TARVO_ALWAYS_INLINE double staticGain(const GainComputer& computer, bool unity,
                                       double l) noexcept {
    return (unity || l < computer.floorLevel) ? 1.0 : computer.curve(l) / l;
}

/// The gain computer's settings and its table row as values of type W,
/// taken once for a row of levels, so that the loop over the row holds them
/// in registers instead of reading the row of the table at every level.
template <typename W>
struct StaticGainCurve {
    W kneeQuartic, kneeCubic, kneeEnd, floorLevel, curveScale, threshold;
    W p[10];  ///< the table row: the upper curve's coefficients, p[9] its limit
    bool upper;  ///< the upper curve applies above the knee (else the threshold)

    explicit StaticGainCurve(const GainComputer& c) noexcept
        : kneeQuartic(c.kneeQuartic),
          kneeCubic(c.kneeCubic),
          kneeEnd(c.kneeEnd),
          floorLevel(c.floorLevel),
          curveScale(c.curveScale),
          threshold(c.threshold),
          upper(c.inverseRatio > 0.0) {
        const double* row = kGainComputerPowerTable[c.tableRow];
        for (int k = 0; k < 10; ++k) p[k] = W(row[k]);
    }
};

/// staticGain (unity false) over a value type W of one or more levels
/// l >= 0, without branches: the knee's quartic and the upper curve are
/// both computed, each with the operations of GainComputer::curve in their
/// order, and the one that applies is kept; 1 under the floor.
template <typename W>
TARVO_ALWAYS_INLINE W staticGainOf(const StaticGainCurve<W>& c, W l) noexcept {
    const W x2 = l * l;
    const W x3 = x2 * l;
    const W x4 = x2 * x2;
    const W knee = (c.kneeQuartic * x4 + c.kneeCubic * x3) + l;
    const W* p = c.p;
    const W v = select(l > p[9], p[9], l);
    const W v2 = v * v;
    const W v4 = v2 * v2;
    const W upper = (((p[7] * v + p[6]) * v2 + p[8] * v4 + p[5] * v + p[4]) * v4 +
                     (p[3] * v + p[2]) * v2 + p[1] * v + p[0]) *
                    c.curveScale;
    const W above = c.upper ? upper : c.threshold;
    const W curve = select(l < c.kneeEnd, knee, above);
    return select(l < c.floorLevel, W(1.0), curve / l);
}

#if defined(__AVX2__)
/// The static gains of a row of `n` level pairs, in place, four levels at a
/// time (the AVX2 build). `linked`: both lanes hold the same level, whose
/// gain is computed once (from lane 0) and given to both.
inline void staticGainRow(const GainComputer& computer, Lanes2* row, std::uint32_t n,
                          bool linked) noexcept {
    const StaticGainCurve<Lanes4> c(computer);
    std::uint32_t i = 0;
    if (linked) {
        for (; i + 4 <= n; i += 4) {
            // Lane 0 of entries i, i + 2 (low half) and i + 1, i + 3 (high half).
            const Lanes4 first(row[i], row[i + 1]);
            const Lanes4 second(row[i + 2], row[i + 3]);
            const Lanes4 g = staticGainOf(c, Lanes4(_mm256_unpacklo_pd(first.v, second.v)));
            const Lanes4 firstGains(_mm256_unpacklo_pd(g.v, g.v));
            const Lanes4 secondGains(_mm256_unpackhi_pd(g.v, g.v));
            row[i] = firstGains.low();
            row[i + 1] = firstGains.high();
            row[i + 2] = secondGains.low();
            row[i + 3] = secondGains.high();
        }
        const StaticGainCurve<double> one(computer);
        for (; i < n; ++i) row[i] = staticGainOf(one, row[i].lane0());
        return;
    }
    for (; i + 2 <= n; i += 2) {
        const Lanes4 g = staticGainOf(c, Lanes4(row[i], row[i + 1]));
        row[i] = g.low();
        row[i + 1] = g.high();
    }
    if (i < n) row[i] = staticGainOf(StaticGainCurve<Lanes2>(computer), row[i]);
}
#elif TARVO_LANES_SSE2
/// The static gains of a row of `n` level pairs, in place, two levels at a
/// time (the SSE2 build). `linked`: both lanes hold the same level, whose
/// gain is computed once (from lane 0) and given to both.
inline void staticGainRow(const GainComputer& computer, Lanes2* row, std::uint32_t n,
                          bool linked) noexcept {
    const StaticGainCurve<Lanes2> c(computer);
    if (!linked) {
        for (std::uint32_t i = 0; i < n; ++i) row[i] = staticGainOf(c, row[i]);
        return;
    }
    std::uint32_t i = 0;
    for (; i + 2 <= n; i += 2) {
        // Lane 0 of entries i and i + 1.
        const Lanes2 g = staticGainOf(c, Lanes2(_mm_unpacklo_pd(row[i].v, row[i + 1].v)));
        row[i] = g.spread0();
        row[i + 1] = g.spread1();
    }
    if (i < n) row[i] = staticGainOf(StaticGainCurve<double>(computer), row[i].lane0());
}
#endif

}  // namespace tarvo
