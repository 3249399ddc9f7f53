#pragma once

#include <cstdint>
#include <new>

#include "engine/ChannelStrip.h"
#include "engine/StripKernel.h"
#include "filters/Lanes.h"

namespace tarvo {

/// The recursive state of both strips in lanes, strip A in lane 0 and B in
/// lane 1: key filter, level detector, gain smoother, limiter sections and
/// hold, scoops, decimator sections. It stays in this form from one paired
/// frame to the next; the strips' own copies are current only after store.
struct StripPairState {
    BiquadOf<Lanes2> keyFirst;   ///< the high-pass's first section, or the shelf
    BiquadOf<Lanes2> keySecond;  ///< the high-pass's second section
    EnvelopeOf<Lanes2> level;
    EnvelopeOf<Lanes2> smoother;
    LimiterSections<Lanes2> limiter;
    ScoopChain<Lanes2> scoopWet, scoopDry;
    DecimatorSections<Lanes2> decimator;

    /// From the strips (equal settings), each strip's values in its lane.
    void load(ChannelStrip& a, ChannelStrip& b) noexcept;
    /// The state back into the strips.
    void store(ChannelStrip& a, ChannelStrip& b) const noexcept;
};

/// Holds one StripPairState 16-byte aligned inside itself, whatever the
/// alignment of the object around it: the 32-bit Windows heap hands out
/// 8-byte aligned blocks while the compiler assumes 16 for `new`, and the
/// lanes are read and written with aligned SSE2 loads and stores. Copies
/// copy the state from one aligned place to the other.
class StripPairSlot {
public:
    StripPairSlot() noexcept { new (place()) StripPairState(); }
    StripPairSlot(const StripPairSlot& other) noexcept {
        new (place()) StripPairState(other.get());
    }
    StripPairSlot& operator=(const StripPairSlot& other) noexcept {
        get() = other.get();
        return *this;
    }
    ~StripPairSlot() = default;  // StripPairState is trivially destructible

    StripPairState& get() noexcept { return *static_cast<StripPairState*>(place()); }
    const StripPairState& get() const noexcept {
        return *static_cast<const StripPairState*>(
            const_cast<StripPairSlot*>(this)->place());
    }

private:
    void* place() noexcept {
        const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(bytes_);
        return bytes_ + ((16 - (at & 15)) & 15);
    }
    unsigned char bytes_[sizeof(StripPairState) + 15];
};

/// Two non-bypassed strips with equal settings (StereoProcessor's setters
/// keep them equal) as the Strips of the kernel: the recursive state in
/// `pair`, rows 1 to 4 in lanes here, row 0 in the strips' frame buffers
/// (where the upsamplers put it), the limiter windows, gain computers and
/// resamplers in the strips, one per lane. Built on the stack for one frame,
/// so that the compiler sees the rows apart from the state.
///
/// Asleep (0 or 1) names a lane whose strip sleeps through the frame: its
/// level is zero before the link, and unless SleeperRuns (the modes in
/// which an asleep strip still compresses its cleared buffer) its limiter
/// window takes nothing and its output is not made; the caller restores its
/// lane of the state afterwards. -1: both awake.
template <int Asleep, bool SleeperRuns = false>
struct TwoStripsOf {
    using Value = Lanes2;
    StripPairState& pair;
    ChannelStrip& a;
    ChannelStrip& b;
    FrameBuffer& bufferA;
    FrameBuffer& bufferB;
    Lanes2 rows[5][8];  ///< row 0 unused; written before read, so left uninitialised

    TwoStripsOf(StripPairState& state, ChannelStrip& stripA, ChannelStrip& stripB,
              FrameBuffer& frameA, FrameBuffer& frameB) noexcept
        : pair(state), a(stripA), b(stripB), bufferA(frameA), bufferB(frameB) {}

    Lanes2 audio(std::uint32_t i) const noexcept {
        return Lanes2(bufferA.rows[FrameBuffer::audio][i], bufferB.rows[FrameBuffer::audio][i]);
    }
    Lanes2* row(int r) noexcept { return rows[r]; }
    const ChannelStrip& settings() const noexcept { return a; }
    BiquadOf<Lanes2>& keyFirst() noexcept { return pair.keyFirst; }
    BiquadOf<Lanes2>& keySecond() noexcept { return pair.keySecond; }
    EnvelopeOf<Lanes2>& levelDetector() noexcept { return pair.level; }
    EnvelopeOf<Lanes2>& gainSmoother() noexcept { return pair.smoother; }
    LimiterSections<Lanes2>& limiter() noexcept { return pair.limiter; }
    ScoopChain<Lanes2>& scoopWet() noexcept { return pair.scoopWet; }
    ScoopChain<Lanes2>& scoopDry() noexcept { return pair.scoopDry; }
    /// Per lane; with linked levels (equal in both lanes) computed once.
    Lanes2 staticGain(Lanes2 l, bool unity, bool linked) const noexcept {
        const double gA = tarvo::staticGain(a.gainComputer, unity, l.lane0());
        const double gB = linked ? gA : tarvo::staticGain(b.gainComputer, unity, l.lane1());
        return Lanes2(gA, gB);
    }
    Lanes2 limiterKey() const noexcept {
        return Lanes2(magnitude(a.newestKey()), magnitude(b.newestKey()));
    }
    Lanes2 linkLevels(Lanes2 level, LevelLink link) const noexcept {
        if (Asleep == 0) level = Lanes2(0.0, level.lane1());
        if (Asleep == 1) level = Lanes2(level.lane0(), 0.0);
        return linkLanes(level, link);
    }
    static constexpr bool runsA = SleeperRuns || Asleep != 0;
    static constexpr bool runsB = SleeperRuns || Asleep != 1;
    Lanes2 pushMagnitude(Lanes2 m) noexcept {
        return Lanes2(runsA ? a.limiterDetector.pushMagnitude(m.lane0()) : 0.0,
                      runsB ? b.limiterDetector.pushMagnitude(m.lane1()) : 0.0);
    }
    void pushZero() noexcept {
        if (runsA) a.limiterDetector.pushZero();
        if (runsB) b.limiterDetector.pushZero();
    }
};

using TwoStrips = TwoStripsOf<-1>;

/// One frame of both strips side by side, their keys already in rows 0:
/// detect (levels joined by `link`), bringAudio() (puts the audio into rows
/// 0 where it differs from the key), compress and finish (limiter gains
/// linked with linkLimiter), then the way down for both strips: the
/// decimators' sections in lanes, the dither and the HQ halfband stage per
/// strip. With link != LevelLink::none the levels are equal in both lanes,
/// so the static gain is computed once. With Asleep (0 or 1) that lane's
/// strip sleeps: its key upsampler is left alone, and unless SleeperRuns
/// also its limiter window and way down (its output is then meaningless);
/// the caller restores its lane of `pair`.
template <int Asleep = -1, bool SleeperRuns = false, typename BringAudio>
inline void runPairFrame(StripPairState& pair, ChannelStrip& a, ChannelStrip& b,
                         FrameBuffer& bufferA, FrameBuffer& bufferB, LevelLink link,
                         bool linkLimiter, BringAudio bringAudio, double& outA,
                         double& outB) noexcept {
    using Strips = TwoStripsOf<Asleep, SleeperRuns>;
    Strips strips(pair, a, b, bufferA, bufferB);
    detectRows(strips, link);
    bringAudio();
    // Two passes over the frame: the gain smoother's and limiters'
    // recursions first, then the per-sub-sample shaping.
    compressRows(strips, link != LevelLink::none);
    finishRows(strips, linkLimiter);

    IirDecimator& da = a.downsampler.decimator;
    IirDecimator& db = b.downsampler.decimator;
    const Lanes2 y = downsample(
        a.downsampler.hq, a.downsampler.stageFactor,
        strips.rows[FrameBuffer::processed],
        [&](const Lanes2* p) {
            const Lanes2 d = pair.decimator.decimate(da.factor, [p](int i) { return p[i]; });
            return Lanes2(Strips::runsA ? d.lane0() + nextNoise(da.noiseSeed, da.noiseLevel) : 0.0,
                          Strips::runsB ? d.lane1() + nextNoise(db.noiseSeed, db.noiseLevel) : 0.0);
        },
        [&](Lanes2 u0, Lanes2 u1) {
            return Lanes2(
                Strips::runsA ? a.downsampler.halfband.process(u0.lane0(), u1.lane0()) : 0.0,
                Strips::runsB ? b.downsampler.halfband.process(u0.lane1(), u1.lane1()) : 0.0);
        });
    outA = y.lane0();
    outB = y.lane1();
}

/// One frame of the pair in which strip `asleep` (0: A, 1: B) sleeps: it
/// does what an inactive strip does (its limiter window takes a zero, its
/// sections take their idle step, its buffer is cleared) and its lane of
/// `pair` is otherwise kept; the awake strip runs as in runPairFrame with
/// its key (keyA or keyB) and, given its audio upsampler, its audio (audioA
/// or audioB) through that. Returns the awake strip's output. Compiled
/// apart from the frame of two awake strips, so that it takes nothing from
/// that frame's inlining.
double runPairAsleep(int asleep, StripPairState& pair, ChannelStrip& a, ChannelStrip& b,
                     FrameBuffer& bufferA, FrameBuffer& bufferB, LevelLink link, double keyA,
                     double keyB, Upsampler* audioUpsamplerA, Upsampler* audioUpsamplerB,
                     double audioA, double audioB) noexcept;

/// One frame of the pair in which strip `asleep` (0: A, 1: B) did not hear
/// its key but still runs, as in "M/S" and in "2 Mono" with the external
/// key: its limiter takes its idle step and its buffer is cleared, its key
/// filter and level detector hold their state and its level is zero before
/// the link; then both strips compress and finish, with their audio through
/// the audio upsamplers when given (else the cleared row 0 for the asleep
/// strip). Both outputs are made.
void runPairSleeperRuns(int asleep, StripPairState& pair, ChannelStrip& a, ChannelStrip& b,
                        FrameBuffer& bufferA, FrameBuffer& bufferB, LevelLink link, double keyA,
                        double keyB, Upsampler* audioUpsamplerA, Upsampler* audioUpsamplerB,
                        double audioA, double audioB, double& outA, double& outB) noexcept;

}  // namespace tarvo
