#pragma once

#include <cstdint>
#include <new>

#include "engine/ChannelStrip.h"
#include "filters/Lanes.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#endif

namespace tarvo {

/// True where the two strips can run side by side in the two lanes of SSE2
/// registers (x86-64, and 32-bit x86 built with SSE2 arithmetic). Elsewhere
/// the paired steps are not built and the engine runs the strips one after
/// the other.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define TARVO_STRIP_PAIR 1
inline constexpr bool kStripPairAvailable = true;
#else
inline constexpr bool kStripPairAvailable = false;
#endif

/// How the two strips' levels are joined after detection.
enum class LevelLink {
    none,     ///< each strip keeps its own levels ("2 Mono")
    average,  ///< both take (a + b) * 0.5 ("Stereo")
    maximum,  ///< both take the larger ("M/S")
};

#if TARVO_STRIP_PAIR
namespace twoLane {

/// Lane 0 from a, lane 1 from b.
inline __m128d lanes(double a, double b) noexcept { return _mm_set_pd(b, a); }
inline __m128d both(double v) noexcept { return _mm_set1_pd(v); }
inline double laneA(__m128d v) noexcept { return _mm_cvtsd_f64(v); }
inline double laneB(__m128d v) noexcept { return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v)); }

/// A biquad section of each strip, strip A's in lane 0, B's in lane 1.
using LaneBiquad = BiquadOf<Lanes2>;

}  // namespace twoLane

/// The recursive state of both strips in lanes, with the coefficients
/// broadcast: key filter, level detector, gain smoother, limiter sections
/// and hold, scoops. It stays in this form from one paired frame to the
/// next; the strips' own copies are current only after store.
struct StripPairState {
    twoLane::LaneBiquad keyFirst;   ///< the high-pass's first section, or the shelf
    twoLane::LaneBiquad keySecond;  ///< the high-pass's second section
    EnvelopeOf<Lanes2> level;
    EnvelopeOf<Lanes2> smoother;
    LimiterSections<Lanes2> limiter;
    ScoopChain<Lanes2> scoopWet, scoopDry;
    DecimatorSections<Lanes2> decimator;

    /// From the strips (equal settings): coefficients of A, state of each.
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

/// The sub-sample work of two active, non-bypassed strips with equal
/// settings (StereoProcessor's setters keep them equal), strip A in lane 0
/// and strip B in lane 1. Every lane performs the same double operations in
/// the same order as ChannelStrip::detect, compress and finish, so the rows
/// hold the same bits; only the two strips' independent steps are
/// interleaved. The recursive state is read and written in `pair` in place
/// (not in the strips; copying it into locals per frame measured slower).
/// The limiter windows, resamplers and gates stay in the strips, one per
/// lane.

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
#endif

}  // namespace tarvo
