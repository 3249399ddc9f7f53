#pragma once

#include <cmath>
#include <cstdint>
#include <memory>

#include "filters/Biquad.h"
#include "filters/DetectorDesign.h"
#include "filters/Inlining.h"
#include "filters/Lanes.h"
#include "filters/WideLanes.h"

namespace tarvo {

/// pi/2, a sine's peak-to-mean ratio: the average level's factor.
constexpr double kSinePeakToMean = 1.5707963267948966;

/// The hold with instant attack: the smoothed window maximum p where
/// p > hold, else `released`, the release section's step on p.
template <typename V>
TARVO_ALWAYS_INLINE V nextHold(V hold, V p, V released) noexcept {
    return select(p > hold, p, released);
}

/// The hold and its release from the smoothed window maximum p (nextHold):
/// where the hold takes p at once, the release section then behaves as if
/// it had passed p (its input history takes p either way), else the hold
/// follows the release section's output. Returns the new hold, the peak
/// level.
template <typename V>
TARVO_ALWAYS_INLINE V holdPeak(BiquadOf<V>& releaseFilter, V& hold, V p) noexcept {
    hold = nextHold(hold, p, releaseFilter.process(p));
    releaseFilter.y1 = hold;
    return hold;
}

/// The limiter detector's smoothing and hold over a value type V (`double`,
/// or Lanes2 for two detectors side by side): the window maximum through the
/// peak section, held with instant attack and released through the release
/// section; the magnitude through the average section, times pi/2 (a sine's
/// peak-to-mean ratio).
template <typename V>
struct LimiterSections {
    BiquadOf<V> peakFilter, releaseFilter, averageFilter;
    V hold = 0.0;

    /// One step from the window maximum and the newest magnitude a; the held
    /// peak level and the average level out.
    TARVO_ALWAYS_INLINE void process(V windowMax, V a, V& peakLevel, V& averageLevel) noexcept {
        peakLevel = holdPeak(releaseFilter, hold, peakFilter.process(windowMax));
        averageLevel = averageFilter.process(a) * kSinePeakToMean;
    }

    /// One idle step: the three sections decay on zeros; hold is kept.
    TARVO_ALWAYS_INLINE void idle() noexcept {
        peakFilter.process(0.0);
        releaseFilter.process(0.0);
        averageFilter.process(0.0);
    }

    /// Clears the three histories and hold.
    void reset() noexcept {
        peakFilter.reset();
        releaseFilter.reset();
        averageFilter.reset();
        hold = 0.0;
    }

    /// Takes the three sections' coefficients; histories and hold carry on.
    void setCoefficients(const LimiterSections& design) noexcept {
        peakFilter.setCoefficients(design.peakFilter);
        releaseFilter.setCoefficients(design.releaseFilter);
        averageFilter.setCoefficients(design.averageFilter);
    }
};

/// A limiter gain: ceiling / level where the level exceeds the ceiling, else
/// exactly 1.0 (the division only when a lane needs it).
template <typename V>
TARVO_ALWAYS_INLINE V limitGain(V level, V ceiling) noexcept {
    const auto over = level > ceiling;
    if (!anyOf(over)) return 1.0;
    return select(over, ceiling / level, V(1.0));
}

/// A sliding window of magnitudes with its maximum cached, as plain data
/// over storage owned elsewhere (PeakLimiterDetector's). A loop takes a
/// copy into locals and puts it back after, so that its cursor and cached
/// maximum stay in registers across the stores into the window; data and
/// length are the owner's and stay as they are.
///
/// The maximum is cached; a full scan happens only when the cached maximum
/// leaves the window (or after an idle step or a resize dropped it).
struct LimiterWindow {
    double* data = nullptr;  ///< length entries, then two padding slots at 0.0
    std::uint32_t length = 0;
    std::uint32_t position = 0;  ///< the slot the next entry goes into
    double runningMax = 0.0;
    bool maxValid = false;

    /// Puts a in the window; returns the entry it took the place of.
    TARVO_ALWAYS_INLINE double put(double a) noexcept {
        const double old = data[position];
        data[position] = a;
        if (++position == length) position = 0;
        return old;
    }

    /// The cached maximum after put(a) returned `old`: a new maximum is
    /// taken at once, a maximum that left drops the cache, and a dropped
    /// cache is rebuilt by a scan (which sees a). Returns the maximum.
    TARVO_ALWAYS_INLINE double update(double old, double a) noexcept {
        if (maxValid) {
            if (a > runningMax) {
                runningMax = a;
            } else if (old == runningMax) {
                // The maximum has just left the window.
                runningMax = 0.0;
                maxValid = false;
            }
        }
        if (!maxValid) {
            runningMax = scan();
            maxValid = true;
        }
        return runningMax;
    }

    /// The magnitude a enters the window; returns the window maximum, a
    /// included.
    TARVO_ALWAYS_INLINE double push(double a) noexcept { return update(put(a), a); }

    /// A zero enters the window (an idle step): the cache is dropped if the
    /// maximum left, and not rebuilt until the next push.
    TARVO_ALWAYS_INLINE void pushZero() noexcept {
        const double old = put(0.0);
        if (0.0 > runningMax) {
            runningMax = 0.0;
            maxValid = true;
        } else if (old == runningMax) {
            runningMax = 0.0;
            maxValid = false;
        }
    }

    /// Largest entry, by a full scan. Entries are magnitudes, so the scan
    /// starts from 0.0; a NaN entry is passed over and cannot stick in the
    /// cache. Inline although a scan is rare: a call in the loops that push
    /// would make them keep their state out of registers (every vector
    /// register is the caller's to save).
    TARVO_ALWAYS_INLINE double scan() const noexcept;
};

TARVO_ALWAYS_INLINE double LimiterWindow::scan() const noexcept {
    const double* w = data;
    const std::uint32_t n = length;
    std::uint32_t i = 0;
    // Four running maxima of a register's lanes each instead of one serial
    // chain, a whole register of entries into each per step (in the AVX2
    // build four doubles, else two from the 16-byte aligned storage).
    // maxOf(w, m) keeps m when w is NaN, as the scalar compare does, and max
    // is exact, so the result is the same value in any order.
#if defined(__AVX2__)
    using W = Lanes4;
    const auto load = [](const double* p) { return Lanes4(_mm256_loadu_pd(p)); };
#else
    using W = Lanes2;
    const auto load = [](const double* p) { return Lanes2::loadAligned(p); };
#endif
    constexpr std::uint32_t width = sizeof(W) / sizeof(double);
    W m0 = 0.0, m1 = 0.0, m2 = 0.0, m3 = 0.0;
    for (; i + 4 * width <= n; i += 4 * width) {
        m0 = maxOf(load(w + i), m0);
        m1 = maxOf(load(w + i + width), m1);
        m2 = maxOf(load(w + i + 2 * width), m2);
        m3 = maxOf(load(w + i + 3 * width), m3);
    }
    const W all = maxOf(maxOf(m0, m1), maxOf(m2, m3));
#if defined(__AVX2__)
    const Lanes2 pair = maxOf(all.low(), all.high());
#else
    const Lanes2 pair = all;
#endif
    double m = maxOf(pair.lane1(), pair.lane0());
    for (; i < n; ++i)
        if (w[i] > m) m = w[i];
    return m;
}

/// Limiter gains from a key: a peak gain from the maximum of a sliding window
/// of magnitudes (smoothed, held with instant attack, released through a
/// low-pass) and an average gain from the smoothed magnitude times pi/2
/// (a sine's peak-to-mean ratio). Each gain is ceiling / level when the
/// level exceeds limiterCeiling, else exactly 1.0.
///
/// The window's storage is taken once, at construction, for the longest
/// window the engine can ask for (the highest host rate at the highest
/// factor, about 20,000 entries); a resize only moves entries within it, so
/// it never allocates. Only the entries in use are ever written.
///
/// Built with a zeroed window of 2 entries, so process and feedZero are safe
/// before the first resizeWindow; all three filters at
/// designSmoothingLowPass(0.1).
class PeakLimiterDetector {
public:
    double limiterCeiling = 1.0;  ///< linear

    PeakLimiterDetector();
    PeakLimiterDetector(const PeakLimiterDetector& other);
    PeakLimiterDetector& operator=(const PeakLimiterDetector& other);
    PeakLimiterDetector(PeakLimiterDetector&&) noexcept = default;
    PeakLimiterDetector& operator=(PeakLimiterDetector&&) noexcept = default;
    ~PeakLimiterDetector() = default;

    /// One sub-sample with key value v.
    void process(double v, double& peakGain, double& averageGain) noexcept {
        const double a = std::fabs(v);
        double peakLevel, averageLevel;
        sections_.process(pushMagnitude(a), a, peakLevel, averageLevel);
        peakGain = limitGain(peakLevel, limiterCeiling);
        averageGain = limitGain(averageLevel, limiterCeiling);
    }

    /// The window part of process: the magnitude a enters the window;
    /// returns the window maximum, a included.
    TARVO_ALWAYS_INLINE double pushMagnitude(double a) noexcept { return window_.push(a); }

    /// One idle sub-sample: a zero enters the window and the three filters
    /// decay on their own (each gets 0.0); hold is kept.
    void feedZero() noexcept {
        pushZero();
        sections_.idle();
    }

    /// The window part of feedZero: a zero enters the window.
    TARVO_ALWAYS_INLINE void pushZero() noexcept { window_.pushZero(); }

    /// Largest entry of the window, by a full scan.
    double windowMax() const noexcept { return window_.scan(); }

    /// Clears the three filter histories and hold; the window, its position
    /// and the cached maximum stay.
    void reset() noexcept;

    /// New window length n, limited to 2 .. maximumWindowLength(): the
    /// entries are rearranged oldest first, followed by zeros up to n and two
    /// zero padding slots; writing restarts at slot 0. Shrinking keeps the
    /// oldest n samples. The cached maximum is dropped, as it may have been
    /// cut off. Takes time in proportion to the lengths: between blocks only.
    void resizeWindow(std::uint32_t n) noexcept;

    /// The longest window: ceil(R * 0.63 ms) at R = the highest host rate
    /// times the highest factor.
    static std::uint32_t maximumWindowLength() noexcept;

    /// Copies the three filters' coefficients; histories carry on.
    void applyDesign(const LimiterFilters& design) noexcept;

    std::uint32_t windowLength() const { return window_.length; }
    std::uint32_t writePosition() const { return window_.position; }
    /// Window slot i (0 .. windowLength - 1), in storage order.
    double windowEntry(std::uint32_t i) const { return window_.data[i]; }
    /// The window's storage (windowLength entries and two padding slots in use).
    const double* windowData() const { return window_.data; }
    /// The cached maximum (valid after every process step).
    double runningMax() const { return window_.runningMax; }
    bool maxValid() const { return window_.maxValid; }
    /// The window, for a loop that runs a copy of it and puts it back.
    LimiterWindow& window() noexcept { return window_; }
    /// The held, released peak.
    double hold() const { return sections_.hold; }

    /// The smoothing sections and the hold: the design the engine's lanes
    /// take (the engine runs both strips' sections side by side after
    /// pushMagnitude).
    LimiterSections<double>& sections() noexcept { return sections_; }
    const LimiterSections<double>& sections() const noexcept { return sections_; }

private:
    struct AlignedDelete {
        void operator()(double* p) const noexcept;
    };
    using Buffer = std::unique_ptr<double[], AlignedDelete>;
    /// Storage for maximumWindowLength() entries and the padding, unwritten.
    static Buffer allocateStorage();

    Buffer storage_;
    LimiterWindow window_;  ///< over storage_
    LimiterSections<double> sections_;
};

}  // namespace tarvo
