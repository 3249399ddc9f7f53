#pragma once

#include "engine/ChannelStrip.h"

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
/// The sub-sample work of two active, non-bypassed strips with equal
/// settings (StereoProcessor's setters keep them equal), strip A in lane 0
/// and strip B in lane 1. Every lane performs the same double operations in
/// the same order as ChannelStrip::detect, compress and finish, so the rows
/// hold the same bits; only the two strips' independent steps are
/// interleaved. State lives in locals for the frame and is written back at
/// its end. The limiter detectors stay scalar, one per lane.

/// Row 0 (key at the oversampled rate) -> key filter -> level detector ->
/// detector gain -> the link -> row 1, for both strips.
void detectPair(ChannelStrip& a, ChannelStrip& b, FrameBuffer& bufferA, FrameBuffer& bufferB,
                LevelLink link) noexcept;

/// Rows 0 (audio) and 1 (levels) -> row 2 ready for the downsampler: what
/// compress and finish do before the way back to the host rate. With
/// linkLimiter the limiter gains are linked as "Stereo" links them
/// (averages averaged, peaks by minimum). With link != LevelLink::none the
/// levels are equal in both strips, so the static gain is computed once.
void compressPair(ChannelStrip& a, ChannelStrip& b, FrameBuffer& bufferA, FrameBuffer& bufferB,
                  LevelLink link, bool linkLimiter) noexcept;
#endif

}  // namespace tarvo
