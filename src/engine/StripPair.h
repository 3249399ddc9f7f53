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

/// Two active, non-bypassed strips with equal settings (StereoProcessor's
/// setters keep them equal) as the Strips of the kernel: the recursive state
/// in `pair`, the rows in the two frame buffers, the limiter windows, gain
/// computers and resamplers in the strips, one per lane.
struct TwoStrips {
    using Value = Lanes2;
    StripPairState& pair;
    ChannelStrip& a;
    ChannelStrip& b;
    FrameBuffer& bufferA;
    FrameBuffer& bufferB;

    Lanes2 load(int row, std::uint32_t i) const noexcept {
        return Lanes2(bufferA.rows[row][i], bufferB.rows[row][i]);
    }
    void store(int row, std::uint32_t i, Lanes2 v) noexcept {
        v.store(&bufferA.rows[row][i], &bufferB.rows[row][i]);
    }
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
    Lanes2 pushMagnitude(Lanes2 m) noexcept {
        return Lanes2(a.limiterDetector.pushMagnitude(m.lane0()),
                      b.limiterDetector.pushMagnitude(m.lane1()));
    }
    void pushZero() noexcept {
        a.limiterDetector.pushZero();
        b.limiterDetector.pushZero();
    }
};

/// Row 0 (key at the oversampled rate) -> key filter -> level detector ->
/// detector gain -> the link -> row 1, for both strips.
void detectPair(StripPairState& pair, ChannelStrip& a, ChannelStrip& b, FrameBuffer& bufferA,
                FrameBuffer& bufferB, LevelLink link) noexcept;

/// Rows 0 (audio) and 1 (levels) -> row 2 ready for the downsampler: what
/// compress and finish do before the way back to the host rate. With
/// linkLimiter the limiter gains are linked as "Stereo" links them
/// (averages averaged, peaks by minimum). With link != LevelLink::none the
/// levels are equal in both strips, so the static gain is computed once.
void compressPair(StripPairState& pair, ChannelStrip& a, ChannelStrip& b, FrameBuffer& bufferA,
                  FrameBuffer& bufferB, LevelLink link, bool linkLimiter) noexcept;

/// Row 2 -> Downsampler::process for both strips: the IIR decimators'
/// sections in lanes, the dither (one generator per strip) and the HQ
/// halfband stage per strip.
void downsamplePair(StripPairState& pair, ChannelStrip& a, ChannelStrip& b,
                    const FrameBuffer& bufferA, const FrameBuffer& bufferB, double& outA,
                    double& outB) noexcept;

}  // namespace tarvo
