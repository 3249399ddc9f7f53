#pragma once

#include <cstdint>

#include "engine/ChannelStrip.h"
#include "filters/Inlining.h"
#include "filters/Lanes.h"

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
// do not fit in lanes (staticGain, pushMagnitude, pushZero).

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

/// Key (at the oversampled rate) -> key filter -> level detector ->
/// detector gain -> the link -> levels. The filter choice and the link are
/// template arguments, so the loop has no branch on them.
template <bool HighPass, LevelLink link, class Strips>
void detectRows(Strips& s) noexcept {
    using V = typename Strips::Value;
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
        if (Scoop) {
            y = scoopWet.process(y);
            if (dryScoop) x = scoopDry.process(x);
        }
        return wet * y + dry * x;
    }
};

/// Where the limiter sits, as a template argument (ChannelStrip holds it as
/// the two flags limiterPre and limiterPost).
enum class LimiterPosition { pre, post, off };

/// Audio and levels -> processed (the compressed audio, for "Post" and "Off"
/// through the scoop and the mix), the limiter's average and peak gains.
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
    auto smoother = s.gainSmoother();
    auto limiter = s.limiter();
    auto scoopWet = s.scoopWet();  // used for "Post" and "Off"
    auto scoopDry = s.scoopDry();
    const std::uint32_t n = s.count();
    const V* level = s.levels();
    V* processed = s.processed();
    V* peakGain = s.peakGains();
    V* averageGain = s.averageGains();
    for (std::uint32_t i = 0; i < n; ++i) {
        const V x = s.audio(i);
        const V g = s.staticGain(level[i], unity, linkedLevels);
        // The smoother follows 2 - g, so more reduction is a rise (attack path).
        const V smoothed = smoother.process(2.0 - g);
        const V y = (2.0 - smoothed) * x;
        processed[i] = pre ? y : mix.template apply<Scoop>(y, x, scoopWet, scoopDry);
        if (limiting) {
            // The window per strip; the sections and the gains in lanes.
            const V a = magnitude(s.limiterKey(i) * g);
            V peakLevel, averageLevel;
            limiter.process(s.pushMagnitude(a), a, peakLevel, averageLevel);
            peakGain[i] = limitGain(peakLevel, ceiling);
            averageGain[i] = limitGain(averageLevel, ceiling);
        } else {
            // Idle: a zero enters the window, the sections decay, hold is kept.
            s.pushZero();
            limiter.idle();
        }
    }
    s.gainSmoother() = smoother;
    s.limiter() = limiter;
    if (Scoop && !pre) {
        s.scoopWet() = scoopWet;
        s.scoopDry() = scoopDry;
    }
}

/// Processed -> limiter gain (linked across the lanes with linkLimiter),
/// saturation, and for "Pre" the scoop and the mix -> processed, ready for
/// the downsampler.
template <LimiterPosition Position, bool Scoop, bool Saturation, class Strips>
void finishRows(Strips& s, bool linkLimiter) noexcept {
    using V = typename Strips::Value;
    constexpr bool pre = Position == LimiterPosition::pre;
    constexpr bool limiting = Position != LimiterPosition::off;
    const ChannelStrip& settings = s.settings();
    const ScoopMix<V> mix(settings);
    const V clipLevel = settings.softClipper.clipLevel;
    auto scoopWet = s.scoopWet();  // used for "Pre"
    auto scoopDry = s.scoopDry();
    const std::uint32_t n = s.count();
    V* processed = s.processed();
    const V* peakGain = s.peakGains();
    const V* averageGain = s.averageGains();
    for (std::uint32_t i = 0; i < n; ++i) {
        V y = processed[i];
        if (limiting) {
            V average = averageGain[i];
            V peak = peakGain[i];
            if (linkLimiter) linkLimiterLanes(average, peak);
            // average > peak ? peak : average
            y = y * minOf(peak, average);
        }
        if (Saturation) y = softClip(y, clipLevel);
        if (pre) y = mix.template apply<Scoop>(y, s.audio(i), scoopWet, scoopDry);
        processed[i] = y;
    }
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

}  // namespace tarvo
