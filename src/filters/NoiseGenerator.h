#pragma once

#include <cstdint>

namespace tarvo {

/// Hands out the seeds of the resamplers' noise generators from one
/// process-wide counter that starts at 0, so that no two generators of a
/// process run in step. The increment is atomic: instances may be built on
/// different host threads at once, and each must get a seed of its own.
std::uint32_t takeNoiseSeed() noexcept;

/// The next takeNoiseSeed() returns `next`, and the ones after it count on
/// from there: how a test builds two engines, or one engine in each kernel
/// build, that draw the same seeds and so give the same bits.
void restartNoiseSeeds(std::uint32_t next) noexcept;

/// One step of the rectangular dither: seed = seed * 214013 + 2531011
/// (mod 2^32), r = (seed >> 16) & 0x7FFF in 0..32767, and the noise is
/// (r - 16383) * level / 16383, in [-1, +1.00006] * level. `level` is 0 or a
/// power of two (the interpolators' 2^-25; the decimators' 2^-21 or 2^-25
/// for the noise settings 20 and 24), so
/// (r - 16383) * level is exact and (r - 16383) * (level * c) rounds to the
/// same double as ((r - 16383) * level) * c; written so, a loop with one
/// level multiplies once per step.
inline double nextNoise(std::uint32_t& seed, double level) noexcept {
    seed = seed * 214013u + 2531011u;
    const int r = static_cast<int>((seed >> 16) & 0x7FFFu);
    return (r - 16383) * (level * 6.103888176768602e-05);
}

}  // namespace tarvo
