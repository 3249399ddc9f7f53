#pragma once

#include <cstdint>

#include "filters/HalfbandFir.h"
#include "filters/Inlining.h"
#include "filters/PolyInterpolator.h"

namespace tarvo {

/// Brings one signal to the oversampled rate: `factor` outputs per input.
/// Without hq the polynomial interpolator does it all (delay 2 input
/// samples); with hq the halfband interpolator doubles the rate first and
/// the polynomial interpolator runs at stageFactor = factor / 2 on each of
/// its two outputs (delay 86 + 1 input samples).
struct Upsampler {
    int factor = 4;
    int stageFactor = 4;
    bool hq = false;
    PolyInterpolator interpolator;
    HalfbandInterpolator halfband;

    /// Writes `factor` outputs, oldest first (out holds at least 8).
    inline void process(double x, double* out) noexcept;
    /// process for each of `frames` inputs gain * in[j]: frame j's outputs
    /// at out + j * factor, and the newest value that entered the
    /// interpolator (noise included) at newest[j].
    void processRun(const double* in, double gain, std::uint32_t frames, double* out,
                    double* newest) noexcept;
    /// processRun of two upsamplers with equal settings over the same frames
    /// (a on inA, b on inB), the same bits as one after the other; with hq
    /// their halfband stages run side by side.
    static void processRunPair(Upsampler& a, Upsampler& b, const double* inA, const double* inB,
                               double gainA, double gainB, std::uint32_t frames, double* outA,
                               double* outB, double* newestA, double* newestB) noexcept;
    /// Clears the interpolator history and the halfband delay line; seed,
    /// factors and noise level are kept.
    void reset() noexcept;
    /// Factor 1, 2, 4 or 8 and the HQ choice (never in effect at 1x); the
    /// interpolator runs at the stage factor with the given noise level.
    /// Histories, the halfband delay line and the seed are kept.
    void setOversampling(int newFactor, bool newHq, double noiseLevel) noexcept;
    void setNoiseLevel(double noiseLevel) noexcept { interpolator.noiseLevel = noiseLevel; }
    /// Takes over the other upsampler's signal state (interpolator history,
    /// halfband delay line and write index) so that a signal moved from it
    /// to this one continues without a jump. Settings and seed stay.
    void takeStateFrom(const Upsampler& other) noexcept;

    /// With hq: the halfband stage's two outputs, y0 then y1, through the
    /// polynomial interpolator into the frame's `factor` outputs.
    TARVO_ALWAYS_INLINE void interpolateHalves(double y0, double y1, double* out) noexcept {
        interpolator.process(y0, out);
        interpolator.process(y1, out + stageFactor);
    }
};

TARVO_ALWAYS_INLINE void Upsampler::process(double x, double* out) noexcept {
    if (!hq) {
        interpolator.process(x, out);
        return;
    }
    double y0;
    double y1;
    halfband.process(x, y0, y1);
    interpolateHalves(y0, y1, out);
}

}  // namespace tarvo
