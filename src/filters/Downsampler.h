#pragma once

#include "filters/HalfbandFir.h"
#include "filters/IirDecimator.h"
#include "filters/Inlining.h"

namespace tarvo {

/// Brings the oversampled signal back to the base rate: `factor` inputs per
/// output. Without hq the IIR decimator does it all; with hq it decimates
/// each half of the block by stageFactor = factor / 2 and the halfband
/// decimator halves the rate of the resulting pair.
struct Downsampler {
    int factor = 4;
    int stageFactor = 4;
    bool hq = false;
    IirDecimator decimator;
    HalfbandDecimator halfband;

    /// Reads `factor` inputs, oldest first; returns one output.
    inline double process(const double* in) noexcept;
    /// Clears both decimators' histories; coefficients, factors and seed are kept.
    void reset() noexcept;
    /// Factor 1, 2, 4 or 8 and the HQ choice (never in effect at 1x); the
    /// IIR decimator is redesigned for the stage factor and the noise
    /// setting, keeping its filter histories and seed.
    void setOversampling(int newFactor, bool newHq, int noiseBits) noexcept;
    /// Noise setting n (0, 20 or 24): the decimator's noise is 1 / 2^(n+1), 0 for n = 0.
    void setNoiseBits(int noiseBits) noexcept;
    /// Latency in base-rate samples of a channel's resampling: the halfband
    /// stage's activeTaps (172) with hq, else 2 (the polynomial interpolator).
    int latency() const noexcept { return hq ? halfband.activeTaps() : 2; }
};

/// The way down over a value type V (`double`, or Lanes2 for two
/// downsamplers side by side with equal settings): decimate(p) turns the
/// inputs from p into one dithered value; with hq each half of the block is
/// decimated and halfband(u0, u1) halves the rate of the pair.
template <typename V, typename Decimate, typename Halfband>
TARVO_ALWAYS_INLINE V downsample(bool hq, int stageFactor, const V* in, Decimate decimate,
                                 Halfband halfband) noexcept {
    if (!hq) return decimate(in);
    const V u0 = decimate(in);
    const V u1 = decimate(in + stageFactor);
    return halfband(u0, u1);
}

inline double Downsampler::process(const double* in) noexcept {
    return downsample(
        hq, stageFactor, in, [this](const double* p) { return decimator.process(p); },
        [this](double u0, double u1) { return halfband.process(u0, u1); });
}

}  // namespace tarvo
