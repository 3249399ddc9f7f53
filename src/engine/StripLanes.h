#pragma once

#include <cstdint>
#include <new>
#include <type_traits>

#include "engine/ChannelStrip.h"
#include "engine/StripKernel.h"
#include "filters/Lanes.h"

namespace tarvo {

/// What runs in one lane of StripLanes: every section's history (x1, x2,
/// y1, y2), both envelopes and the limiter's hold; no coefficient. A run
/// that must leave a lane as it was keeps this and puts it back, rather
/// than a copy of the whole state.
struct LaneHistory {
    static constexpr int kSections = 20;
    double sections[kSections][4];
    double levelEnvelope, smootherEnvelope, hold;
};

/// The recursive state of both strips, strip A in lane 0 and B in lane 1
/// (L: Lanes2): key filters, level
/// detector, gain smoother, limiter sections and hold, scoops, decimator
/// sections. This is the only running copy of that state; the strips' own
/// sections of the same kinds are their designs, whose coefficients the
/// lanes take after every change of settings.
template <class L>
struct StripLanes {
    BiquadOf<L> keyHighPass1, keyHighPass2;  ///< the key's high-pass pair
    BiquadOf<L> keyShelf;                    ///< the key's shelf
    EnvelopeOf<L> level;
    EnvelopeOf<L> smoother;
    LimiterSections<L> limiter;
    ScoopChain<L> scoopWet, scoopDry;
    DecimatorSections<L> decimator;

    /// Everything from the strips, designs and histories, as built.
    StripLanes(const ChannelStrip& a, const ChannelStrip& b) noexcept
        : keyHighPass1(zipLanes<L, BiquadOf>(a.sideChain.highPass.first,
                                             b.sideChain.highPass.first)),
          keyHighPass2(zipLanes<L, BiquadOf>(a.sideChain.highPass.second,
                                             b.sideChain.highPass.second)),
          keyShelf(zipLanes<L, BiquadOf>(a.sideChain.shelf, b.sideChain.shelf)),
          level(zipLanes<L, EnvelopeOf>(a.levelDetector, b.levelDetector)),
          smoother(zipLanes<L, EnvelopeOf>(a.gainSmoother, b.gainSmoother)),
          limiter(zipLanes<L, LimiterSections>(a.limiterDetector.sections(),
                                               b.limiterDetector.sections())),
          scoopWet(zipLanes<L, ScoopChain>(a.scoopWet, b.scoopWet)),
          scoopDry(zipLanes<L, ScoopChain>(a.scoopDry, b.scoopDry)),
          decimator(zipLanes<L, DecimatorSections>(a.downsampler.decimator,
                                                   b.downsampler.decimator)) {}

    /// The strips' current designs (coefficients, gains); histories, the
    /// envelopes and the hold carry on.
    void takeDesigns(const ChannelStrip& a, const ChannelStrip& b) noexcept {
        keyHighPass1.setCoefficients(
            zipLanes<L, BiquadOf>(a.sideChain.highPass.first, b.sideChain.highPass.first));
        keyHighPass2.setCoefficients(
            zipLanes<L, BiquadOf>(a.sideChain.highPass.second, b.sideChain.highPass.second));
        keyShelf.setCoefficients(zipLanes<L, BiquadOf>(a.sideChain.shelf, b.sideChain.shelf));
        level.setCoefficients(zipLanes<L, EnvelopeOf>(a.levelDetector, b.levelDetector));
        smoother.setCoefficients(zipLanes<L, EnvelopeOf>(a.gainSmoother, b.gainSmoother));
        limiter.setCoefficients(zipLanes<L, LimiterSections>(a.limiterDetector.sections(),
                                                             b.limiterDetector.sections()));
        scoopWet.setCoefficients(zipLanes<L, ScoopChain>(a.scoopWet, b.scoopWet));
        scoopDry.setCoefficients(zipLanes<L, ScoopChain>(a.scoopDry, b.scoopDry));
        decimator.setCoefficients(
            zipLanes<L, DecimatorSections>(a.downsampler.decimator, b.downsampler.decimator));
    }

    /// Lane `lane`'s running values.
    LaneHistory history(int lane) const noexcept {
        // 20 sections and 28 single values (two envelopes' 12 each: their
        // coefficients, soft curve and envelope; the hold; three gains): a
        // new member must find its place in LaneHistory if it runs.
        static_assert(sizeof(StripLanes) ==
                          LaneHistory::kSections * sizeof(BiquadOf<L>) + 28 * sizeof(L),
                      "StripLanes has a member LaneHistory does not know");
        LaneHistory kept;
        int k = 0;
        forEachSection(*this, [&](const BiquadOf<L>& s) {
            const L values[4] = {s.x1, s.x2, s.y1, s.y2};
            for (int j = 0; j < 4; ++j) kept.sections[k][j] = laneOf(values[j], lane);
            ++k;
        });
        kept.levelEnvelope = laneOf(level.envelope, lane);
        kept.smootherEnvelope = laneOf(smoother.envelope, lane);
        kept.hold = laneOf(limiter.hold, lane);
        return kept;
    }

    /// Lane `lane`'s running values put back as `kept` holds them; the
    /// other lane is left as it is.
    void restoreHistory(const LaneHistory& kept, int lane) noexcept {
        int k = 0;
        forEachSection(*this, [&](BiquadOf<L>& s) {
            L* values[4] = {&s.x1, &s.x2, &s.y1, &s.y2};
            for (int j = 0; j < 4; ++j) *values[j] = withLane(*values[j], lane, kept.sections[k][j]);
            ++k;
        });
        level.envelope = withLane(level.envelope, lane, kept.levelEnvelope);
        smoother.envelope = withLane(smoother.envelope, lane, kept.smootherEnvelope);
        limiter.hold = withLane(limiter.hold, lane, kept.hold);
    }

    /// Every history cleared: the level detector rests at 0, the gain
    /// smoother at 1 (gain 1), the limiter's hold at 0.
    void reset() noexcept {
        keyHighPass1.reset();
        keyHighPass2.reset();
        keyShelf.reset();
        level.reset(0.0);
        smoother.reset(1.0);
        limiter.reset();
        scoopWet.reset();
        scoopDry.reset();
        decimator.reset();
    }

private:
    /// f(section) for every section of `self` (const or not), in
    /// LaneHistory's order.
    template <class Self, class F>
    static void forEachSection(Self& self, F f) {
        f(self.keyHighPass1), f(self.keyHighPass2), f(self.keyShelf);
        f(self.level.inputFilter), f(self.level.outputFilter);
        f(self.smoother.inputFilter), f(self.smoother.outputFilter);
        f(self.limiter.peakFilter), f(self.limiter.releaseFilter), f(self.limiter.averageFilter);
        f(self.scoopWet.shelf), f(self.scoopWet.peak1), f(self.scoopWet.peak2);
        f(self.scoopWet.peak3);
        f(self.scoopDry.shelf), f(self.scoopDry.peak1), f(self.scoopDry.peak2);
        f(self.scoopDry.peak3);
        f(self.decimator.lowPass), f(self.decimator.correction);
    }
    static double laneOf(L v, int lane) noexcept { return lane == 0 ? v.lane0() : v.lane1(); }
    static L withLane(L v, int lane, double x) noexcept {
        return lane == 0 ? L(x, v.lane1()) : L(v.lane0(), x);
    }
};

/// Holds one T 16-byte aligned inside itself, whatever the alignment of the
/// object around it: the 32-bit Windows heap hands out 8-byte aligned
/// blocks while the compiler assumes 16 for `new`, and lanes are read and
/// written with aligned SSE2 loads and stores. T is trivially destructible.
template <class T>
class AlignedSlot {
public:
    template <typename... Args>
    explicit AlignedSlot(Args&&... args) noexcept {
        new (place()) T(static_cast<Args&&>(args)...);
    }
    AlignedSlot(const AlignedSlot& other) noexcept { new (place()) T(other.get()); }
    AlignedSlot& operator=(const AlignedSlot& other) noexcept {
        get() = other.get();
        return *this;
    }
    ~AlignedSlot() = default;

    T& get() noexcept { return *static_cast<T*>(place()); }
    const T& get() const noexcept {
        return *static_cast<const T*>(const_cast<AlignedSlot*>(this)->place());
    }

private:
    void* place() noexcept {
        const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(bytes_);
        return bytes_ + ((16 - (at & 15)) & 15);
    }
    unsigned char bytes_[sizeof(T) + 15];
};

/// Scratch rows for a run of up to maxFrames frames of both strips, every
/// row one entry per sub-sample (frame j's sub-samples from j * factor on):
/// each strip's key and, where it is not the key, its audio at the
/// oversampled rate; in lanes the levels, the processed audio and the
/// limiter's gains; per frame the limiter's key.
///
/// Each row is `padding` entries longer than it needs, so that no two rows
/// start a multiple of 4096 bytes apart: entry i of two such rows would share
/// the low 12 bits of their addresses, which the CPU takes for a possible
/// store-to-load dependency and waits on ("4K aliasing"; measured: a third
/// slower at 4x in some process layouts).
template <class L>
struct LaneRows {
    static constexpr std::uint32_t maxFrames = 64;
    static constexpr std::uint32_t capacity = maxFrames * 8;
    static constexpr std::uint32_t padding = 8;
    L level[capacity + padding];
    L processed[capacity + padding];
    L averageGain[capacity + padding];
    L peakGain[capacity + padding];
    L limiterKey[maxFrames];
    double key[2][capacity + padding];
    double audio[2][capacity + padding];
    // Per frame: what each strip hears and carries at the host rate, the
    // newest values that entered the upsamplers, the outputs in lanes. Kept
    // here rather than on the stack, whose place against these rows changes
    // from process to process.
    double frameKey[2][maxFrames + padding];
    double frameAudio[2][maxFrames + padding];
    double newest[2][maxFrames + padding];
    L output[maxFrames];

    /// One frame's key and audio of strip k cleared (an asleep strip's).
    void clearFrame(int k) noexcept {
        for (int i = 0; i < 8; ++i) key[k][i] = audio[k][i] = 0.0;
    }
};

/// Both strips' limiter windows as a loop runs them (copies, put back
/// after the loop), pushed in step, their cached maxima side by side in
/// lanes: a push takes max(m, cached) in both lanes at once unless a lane's
/// maximum just left its window or a cache was dropped, where each window
/// brings its cache up to date as LimiterWindow::push does. The window
/// maxima are exact, so they are the same values either way.
template <class L>
struct WindowPair {
    LimiterWindow a, b;  ///< their runningMax is runningMax's lane while a loop runs
    L runningMax;
    bool valid;  ///< both caches valid

    WindowPair(const LimiterWindow& windowA, const LimiterWindow& windowB) noexcept
        : a(windowA),
          b(windowB),
          runningMax(windowA.runningMax, windowB.runningMax),
          valid(windowA.maxValid && windowB.maxValid) {}

    /// Lane 0 of m enters A's window, lane 1 B's; the two maxima out.
    TARVO_ALWAYS_INLINE L push(L m) noexcept {
        const L old(a.put(m.lane0()), b.put(m.lane1()));
        if (valid && !anyOf(old == runningMax)) {
            runningMax = maxOf(m, runningMax);  // m > max ? m : max
            return runningMax;
        }
        unpack();
        runningMax = L(a.update(old.lane0(), m.lane0()), b.update(old.lane1(), m.lane1()));
        valid = true;
        return runningMax;
    }
    /// A zero enters both windows.
    void pushZero() noexcept {
        unpack();
        a.pushZero();
        b.pushZero();
        pack();
    }
    /// A zero enters the window of lane `lane` only.
    void pushZero(int lane) noexcept {
        unpack();
        (lane == 0 ? a : b).pushZero();
        pack();
    }
    void storeTo(LimiterWindow& windowA, LimiterWindow& windowB) noexcept {
        unpack();
        windowA = a;
        windowB = b;
    }

private:
    void unpack() noexcept {
        a.runningMax = runningMax.lane0();
        b.runningMax = runningMax.lane1();
    }
    void pack() noexcept {
        runningMax = L(a.runningMax, b.runningMax);
        valid = a.maxValid && b.maxValid;
    }
};

/// One strip's limiter window as a loop runs it (a copy, put back after the
/// loop), where only one strip pushes: strip A's (Lane 0) with lane 1 at 0,
/// B's (Lane 1) with lane 0 at 0, or A's with its maximum in both lanes
/// (bMirrorsA below).
template <class L, int Lane>
struct OneWindow {
    LimiterWindow window;

    OneWindow(const LimiterWindow& windowA, const LimiterWindow& windowB) noexcept
        : window(Lane == 1 ? windowB : windowA) {}
    TARVO_ALWAYS_INLINE L push(L m) noexcept {
        if (Lane == 0) return L(window.push(m.lane0()), 0.0);
        if (Lane == 1) return L(0.0, window.push(m.lane1()));
        return L(window.push(m.lane0()));
    }
    void pushZero() noexcept { window.pushZero(); }
    void storeTo(LimiterWindow& windowA, LimiterWindow& windowB) noexcept {
        (Lane == 1 ? windowB : windowA) = window;
    }
};

/// Two strips with equal settings (StereoProcessor's setters keep them
/// equal) as the Strips of the kernel, over `frames` frames of `rows`: the
/// recursive state in `lanes`, the limiter windows, gain computers and
/// resamplers in the strips, one per lane. The audio is the key unless
/// separateAudio.
///
/// Asleep (0 or 1) names a lane whose strip sleeps through the frame: its
/// level is zero before the link, and unless SleeperRuns (the modes in
/// which an asleep strip still compresses its cleared buffer) its static
/// gain is not computed, its limiter window takes nothing and its output is
/// not made; the caller restores its lane of the state afterwards. -1: both
/// awake. bMirrorsA: the one strip of "Mono-L", "R-S.chn", "Mid." and
/// "Side" in lane 0, and in lane 1 its twin (the caller copies lane 0's
/// state into lane 1 first): lane 1 takes A's key, audio, static gain and
/// limiter levels, so that it takes every branch as lane 0 does, and B's
/// window, gain computer and output are left alone.
enum : int { bMirrorsA = 2 };

template <class L, int Asleep, bool SleeperRuns = false>
struct TwoStripsOf {
    using Value = L;
    static constexpr bool mirror = Asleep == bMirrorsA;
    static constexpr bool runsA = SleeperRuns || Asleep != 0;
    static constexpr bool runsB = (SleeperRuns || Asleep != 1) && !mirror;
    /// The asleep strip runs, and takes an inactive strip's window zero and
    /// limiter idle step at the start of each frame (sleeperFrameStart).
    static constexpr bool sleeperIdles = SleeperRuns && (Asleep == 0 || Asleep == 1);
    /// The limiter windows of the strips that run, as the compress loop runs them.
    using LimiterWindows =
        std::conditional_t<runsA && runsB, WindowPair<L>,
                           OneWindow<L, mirror ? bMirrorsA : runsA ? 0 : 1>>;

    StripLanes<L>& lanes;
    ChannelStrip& a;
    ChannelStrip& b;
    LaneRows<L>& rows;
    const double* audioA;
    const double* audioB;
    std::uint32_t n;
    int frameShift;  ///< log2 of the factor: sub-sample i is in frame i >> frameShift

    TwoStripsOf(StripLanes<L>& state, ChannelStrip& stripA, ChannelStrip& stripB,
                LaneRows<L>& scratch, std::uint32_t frames, bool separateAudio) noexcept
        : lanes(state),
          a(stripA),
          b(stripB),
          rows(scratch),
          audioA(separateAudio ? scratch.audio[0] : scratch.key[0]),
          audioB(separateAudio ? scratch.audio[1] : scratch.key[1]),
          n(frames * stripA.subSampleCount),
          frameShift(stripA.subSampleCount == 8   ? 3
                     : stripA.subSampleCount == 4 ? 2
                     : stripA.subSampleCount == 2 ? 1
                                                  : 0) {}

    std::uint32_t count() const noexcept { return n; }
    L key(std::uint32_t i) const noexcept {
        if (mirror) return L(rows.key[0][i]);
        return L(rows.key[0][i], rows.key[1][i]);
    }
    L audio(std::uint32_t i) const noexcept {
        if (mirror) return L(audioA[i]);
        return L(audioA[i], audioB[i]);
    }
    L limiterKey(std::uint32_t i) const noexcept { return rows.limiterKey[i >> frameShift]; }
    L* levels() noexcept { return rows.level; }
    L* processed() noexcept { return rows.processed; }
    L* averageGains() noexcept { return rows.averageGain; }
    L* peakGains() noexcept { return rows.peakGain; }
    const ChannelStrip& settings() const noexcept { return a; }
    BiquadOf<L>& keyFirst() noexcept {
        return a.sideChain.highPassOn ? lanes.keyHighPass1 : lanes.keyShelf;
    }
    BiquadOf<L>& keySecond() noexcept { return lanes.keyHighPass2; }
    EnvelopeOf<L>& levelDetector() noexcept { return lanes.level; }
    EnvelopeOf<L>& gainSmoother() noexcept { return lanes.smoother; }
    LimiterSections<L>& limiter() noexcept { return lanes.limiter; }
    ScoopChain<L>& scoopWet() noexcept { return lanes.scoopWet; }
    ScoopChain<L>& scoopDry() noexcept { return lanes.scoopDry; }
    /// The levels row turned into the static gains, in place. With linked
    /// levels (equal in both lanes, and in the twin of a one-strip mode)
    /// computed once, from lane 0 also when strip A sleeps; else per lane,
    /// a lane that does not run getting 1. Every strip carries the same gain
    /// computer, so the SSE2 and AVX2 builds take A's for both lanes,
    /// branch-free over several levels at once (staticGainRow); the plain
    /// one calls staticGain per lane.
    void staticGains(bool unity, bool linked) noexcept {
        L* row = rows.level;
#if TARVO_LANES_SSE2  // also defined in the AVX2 build
        if constexpr (std::is_same<L, Lanes2>::value) {
            if (unity) {
                for (std::uint32_t i = 0; i < n; ++i) row[i] = 1.0;
                return;
            }
            staticGainRow(a.gainComputer, row, n, linked || mirror);
            if (linked || mirror || (runsA && runsB)) return;
            for (std::uint32_t i = 0; i < n; ++i)
                row[i] = L(runsA ? row[i].lane0() : 1.0, runsB ? row[i].lane1() : 1.0);
            return;
        }
#endif
        for (std::uint32_t i = 0; i < n; ++i) {
            const L l = row[i];
            if (linked || mirror)
                row[i] = L(tarvo::staticGain(a.gainComputer, unity, l.lane0()));
            else
                row[i] = L(runsA ? tarvo::staticGain(a.gainComputer, unity, l.lane0()) : 1.0,
                           runsB ? tarvo::staticGain(b.gainComputer, unity, l.lane1()) : 1.0);
        }
    }
    /// Whether sub-sample i is the first of its frame.
    bool frameStarts(std::uint32_t i) const noexcept {
        return (i & ((1u << frameShift) - 1u)) == 0;
    }
    /// What the asleep strip takes at the start of a frame in which it runs
    /// nonetheless: a zero in its limiter window, an idle step of its lane
    /// of the limiter sections (in `running`, as the compress loop holds them).
    template <class Running>
    void sleeperFrameStart(Running& running, LimiterWindows& windows) noexcept {
        windows.pushZero(Asleep);
        running.idleLane(Asleep);
    }
    L linkLevels(L level, LevelLink link) const noexcept {
        if (Asleep == 0) level = L(0.0, level.lane1());
        if (Asleep == 1) level = L(level.lane0(), 0.0);
        return linkLanes(level, link);
    }
    /// The windows taken for a loop, and put back after it.
    LimiterWindows limiterWindows() noexcept {
        return LimiterWindows(a.limiterDetector.window(), b.limiterDetector.window());
    }
    void keepLimiterWindows(LimiterWindows& windows) noexcept {
        windows.storeTo(a.limiterDetector.window(), b.limiterDetector.window());
    }
};

/// The strips' work between the resamplers over `frames` frames of `rows`,
/// their keys (and audio, separateAudio) already there and the limiter's
/// key of each frame in rows.limiterKey: detect (levels joined by `link`),
/// compress and finish (limiter gains linked with linkLimiter), each over
/// all the sub-samples before the next. With link != LevelLink::none the
/// levels are equal in both lanes, so the static gain is computed once.
/// Leaves the result in rows.processed for the way down.
template <int Asleep = -1, bool SleeperRuns = false, class L>
inline void runLanes(StripLanes<L>& lanes, ChannelStrip& a, ChannelStrip& b, LaneRows<L>& rows,
                     std::uint32_t frames, bool separateAudio, LevelLink link,
                     bool linkLimiter) noexcept {
    TwoStripsOf<L, Asleep, SleeperRuns> strips(lanes, a, b, rows, frames, separateAudio);
    detectRows(strips, link);
    compressRows(strips, link != LevelLink::none);
    finishRows(strips, linkLimiter);
}

/// downsampleRun at a stage factor F (the decimators' factor) and HQ
/// choice known at compile time.
template <bool RunsA, bool RunsB, int F, bool Hq, class L>
void downsampleRunAt(StripLanes<L>& lanes, ChannelStrip& a, ChannelStrip& b, const L* rows,
                     std::uint32_t frames, L* y) noexcept {
    IirDecimator& da = a.downsampler.decimator;
    IirDecimator& db = b.downsampler.decimator;
    DecimatorSections<L> sections = lanes.decimator;
    std::uint32_t seedA = da.noiseSeed;
    std::uint32_t seedB = db.noiseSeed;
    const double levelA = da.noiseLevel;
    const double levelB = db.noiseLevel;
    // F inputs from p through the decimators (factor 1 passes p[0]), dithered.
    const auto decimate = [&](const L* p) {
        L d;
        if constexpr (F == 1)
            d = p[0];
        else
            d = sections.template decimate<F>([p](int i) { return p[i]; });
        return L(RunsA ? d.lane0() + nextNoise(seedA, levelA) : 0.0,
                 RunsB ? d.lane1() + nextNoise(seedB, levelB) : 0.0);
    };
    const auto halfband = [&](L u0, L u1) {
        if constexpr (RunsA && RunsB) {
            double ya, yb;
            HalfbandDecimator::processPair(a.downsampler.halfband, b.downsampler.halfband,
                                           u0.lane0(), u1.lane0(), u0.lane1(), u1.lane1(), ya, yb);
            return L(ya, yb);
        } else {
            return L(RunsA ? a.downsampler.halfband.process(u0.lane0(), u1.lane0()) : 0.0,
                     RunsB ? b.downsampler.halfband.process(u0.lane1(), u1.lane1()) : 0.0);
        }
    };
    constexpr std::uint32_t factor = Hq ? 2 * F : F;
    for (std::uint32_t j = 0; j < frames; ++j)
        y[j] = downsample(Hq, F, rows + j * factor, decimate, halfband);
    lanes.decimator = sections;
    da.noiseSeed = seedA;
    db.noiseSeed = seedB;
}

/// The way down for both strips over `frames` frames of `rows` (frame j's
/// sub-samples from rows + j * factor, one lane per strip), frame j's
/// result in y[j]: the decimators' sections in lanes, the dither and the HQ
/// halfband stage per strip, for the lanes that run (RunsA, RunsB; another
/// lane's result is 0 and its decimator sections must be restored by the
/// caller). The factor and HQ choice are taken once for the run.
template <bool RunsA, bool RunsB, class L>
void downsampleRun(StripLanes<L>& lanes, ChannelStrip& a, ChannelStrip& b, const L* rows,
                   std::uint32_t frames, L* y) noexcept {
    const bool hq = a.downsampler.hq;
    switch (a.downsampler.decimator.factor) {
        case 2:
            if (hq) return downsampleRunAt<RunsA, RunsB, 2, true>(lanes, a, b, rows, frames, y);
            return downsampleRunAt<RunsA, RunsB, 2, false>(lanes, a, b, rows, frames, y);
        case 4:
            if (hq) return downsampleRunAt<RunsA, RunsB, 4, true>(lanes, a, b, rows, frames, y);
            return downsampleRunAt<RunsA, RunsB, 4, false>(lanes, a, b, rows, frames, y);
        case 8:  // 8x without HQ only
            return downsampleRunAt<RunsA, RunsB, 8, false>(lanes, a, b, rows, frames, y);
        default:
            if (hq) return downsampleRunAt<RunsA, RunsB, 1, true>(lanes, a, b, rows, frames, y);
            return downsampleRunAt<RunsA, RunsB, 1, false>(lanes, a, b, rows, frames, y);
    }
}

/// Calls run(std::integral_constant<int, asleep>()) for the lane of the
/// strip that sleeps (0: A, 1: B), so that a frame with one strip asleep
/// gets its lane as a template argument.
template <typename Run>
inline decltype(auto) routeAsleepLane(int asleep, Run run) {
    if (asleep == 0) return run(std::integral_constant<int, 0>());
    return run(std::integral_constant<int, 1>());
}

/// The keys of `frames` frames in which strip Asleep (0: A, 1: B) sleeps:
/// its rows cleared, the awake strip's keys (keyA or keyB) through its
/// upsampler into its row, and each frame's limiter key, the asleep strip's
/// the newest key its upsampler took before it fell asleep.
template <int Asleep, class L>
void upsampleAwakeKeys(ChannelStrip& a, ChannelStrip& b, LaneRows<L>& rows, const double* keyA,
                       const double* keyB, std::uint32_t frames) noexcept {
    constexpr int awakeLane = 1 - Asleep;
    ChannelStrip& awake = Asleep == 0 ? b : a;
    for (std::uint32_t i = 0; i < frames * a.subSampleCount; ++i)
        rows.key[Asleep][i] = rows.audio[Asleep][i] = 0.0;
    double* newest = rows.newest[awakeLane];
    awake.upsampler.processRun(Asleep == 0 ? keyB : keyA, awake.inputGain, frames,
                               rows.key[awakeLane], newest);
    const double still = magnitude((Asleep == 0 ? a : b).newestKey());
    for (std::uint32_t j = 0; j < frames; ++j)
        rows.limiterKey[j] = Asleep == 0 ? L(still, magnitude(newest[j]))
                                         : L(magnitude(newest[j]), still);
}

/// `frames` frames of the pair in which strip Asleep (0: A, 1: B) sleeps
/// throughout: it does what an inactive strip does in each (its limiter
/// window takes a zero, its sections take their idle step) and its lane of
/// `lanes` is otherwise kept; the awake strip runs with its keys (keyA or
/// keyB) and, given its audio upsampler, its audio (audioA or audioB)
/// through that, the run at once as runBoth runs it. The asleep lane's
/// idle steps depend on nothing but that lane, so they follow the run.
/// Frame j's outputs in y[j], the awake strip's in its lane. Kept out of
/// the block loops, so that it takes nothing from their inlining.
template <int Asleep, class L>
TARVO_NOINLINE void runLanesAsleep(StripLanes<L>& lanes, ChannelStrip& a, ChannelStrip& b,
                                   LaneRows<L>& rows, LevelLink link, const double* keyA,
                                   const double* keyB, Upsampler* audioUpsamplerA,
                                   Upsampler* audioUpsamplerB, const double* audioA,
                                   const double* audioB, std::uint32_t frames, L* y) noexcept {
    using Strips = TwoStripsOf<L, Asleep>;
    constexpr int awakeLane = 1 - Asleep;
    ChannelStrip& asleep = Asleep == 0 ? a : b;
    ChannelStrip& awake = Asleep == 0 ? b : a;
    Upsampler* audioUpsampler = Asleep == 0 ? audioUpsamplerB : audioUpsamplerA;
    const LaneHistory kept = lanes.history(Asleep);
    upsampleAwakeKeys<Asleep>(a, b, rows, keyA, keyB, frames);
    if (audioUpsampler)
        audioUpsampler->processRun(Asleep == 0 ? audioB : audioA, awake.inputGain, frames,
                                   rows.audio[awakeLane], rows.newest[awakeLane]);
    runLanes<Asleep>(lanes, a, b, rows, frames, audioUpsampler != nullptr, link, false);
    downsampleRun<Strips::runsA, Strips::runsB>(lanes, a, b, rows.processed, frames, y);
    // The asleep lane as it was, but for its window's zeros and its
    // sections' idle steps, one a frame.
    lanes.restoreHistory(kept, Asleep);
    for (std::uint32_t j = 0; j < frames; ++j) asleep.limiterDetector.pushZero();
    idleLimiterLane(lanes.limiter, Asleep, frames);
}

/// `frames` frames of the pair in which strip Asleep (0: A, 1: B) does not
/// hear its key but still runs, as in "M/S" and in "2 Mono" with the
/// external key, the run at once: at the start of each frame its limiter
/// takes its idle step (in the compress loop, sleeperFrameStart); its rows
/// are cleared, its key filter and level detector hold their state and its
/// level is zero before the link; both strips compress and finish, with
/// their audio through the audio upsamplers when given (both or neither;
/// else the cleared key of the asleep strip). Frame j's outputs, both lanes, in y[j].
template <int Asleep, class L>
TARVO_NOINLINE void runLanesSleeperRuns(StripLanes<L>& lanes, ChannelStrip& a,
                                        ChannelStrip& b, LaneRows<L>& rows, LevelLink link,
                                        const double* keyA, const double* keyB,
                                        Upsampler* audioUpsamplerA, Upsampler* audioUpsamplerB,
                                        const double* audioA, const double* audioB,
                                        std::uint32_t frames, L* y) noexcept {
    const BiquadOf<L> keyHighPass1 = lanes.keyHighPass1;
    const BiquadOf<L> keyHighPass2 = lanes.keyHighPass2;
    const BiquadOf<L> keyShelf = lanes.keyShelf;
    const EnvelopeOf<L> level = lanes.level;
    upsampleAwakeKeys<Asleep>(a, b, rows, keyA, keyB, frames);
    double* newest = rows.newest[1 - Asleep];  // scratch now: the limiter keys are made
    if (audioUpsamplerA)
        Upsampler::processRunPair(*audioUpsamplerA, *audioUpsamplerB, audioA, audioB,
                                  a.inputGain, b.inputGain, frames, rows.audio[0],
                                  rows.audio[1], newest, newest);
    runLanes<Asleep, true>(lanes, a, b, rows, frames, audioUpsamplerA != nullptr, link, false);
    downsampleRun<true, true>(lanes, a, b, rows.processed, frames, y);
    // The asleep strip's detection as it was.
    copyLane(lanes.keyHighPass1, keyHighPass1, Asleep);
    copyLane(lanes.keyHighPass2, keyHighPass2, Asleep);
    copyLane(lanes.keyShelf, keyShelf, Asleep);
    copyLane(lanes.level, level, Asleep);
}

}  // namespace tarvo
