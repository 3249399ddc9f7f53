#pragma once

#include "filters/Biquad.h"
#include "filters/Inlining.h"

namespace tarvo {

/// The mid-scoop tilt's step over a value type V (`double`, or Lanes2 for
/// two strips side by side): a low shelf and three peaking sections in
/// series, then an output gain.
template <typename V>
struct ScoopChain {
    BiquadOf<V> shelf, peak1, peak2, peak3;
    V gain = 1.0;

    TARVO_ALWAYS_INLINE V process(V x) noexcept {
        return gain * peak3.process(peak2.process(peak1.process(shelf.process(x))));
    }
    /// Clears the four sections' histories.
    void reset() noexcept {
        shelf.reset();
        peak1.reset();
        peak2.reset();
        peak3.reset();
    }

    /// Takes the coefficients and gain of a design, keeping the histories.
    void setCoefficients(const ScoopChain& design) noexcept {
        shelf.setCoefficients(design.shelf);
        peak1.setCoefficients(design.peak1);
        peak2.setCoefficients(design.peak2);
        peak3.setCoefficients(design.peak3);
        gain = design.gain;
    }
};

/// The mid-scoop tilt of one strip, at the oversampled rate.
struct ScoopEq : ScoopChain<double> {
    /// Flat: the 0 dB design (every section unity, gain 1).
    ScoopEq();

private:
    friend ScoopEq designScoop(double rate, double gainDb);
    struct Undesigned {};
    explicit ScoopEq(Undesigned) noexcept {}
};

/// The scoop curve for g dB (-12..12) at `rate` Hz (sample rate times the
/// oversampling factor). Depth m = |g / 12| scales the band levels in dB of
/// the table's column for the sign of g; see ScoopEq.cpp for the table.
ScoopEq designScoop(double rate, double gainDb);

/// One channel's share of the "MidScoop" setting, linearGain = 10^(dB/20):
/// the wet instance takes designScoop(rate, g) and the dry one
/// designScoop(rate, -g), g = 20 log10(linearGain), histories kept.
/// Returns scoopOn, true unless linearGain is exactly 1.
bool setScoop(ScoopEq& wet, ScoopEq& dry, double linearGain, double rate) noexcept;

}  // namespace tarvo
