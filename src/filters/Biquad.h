#pragma once

#include "filters/Inlining.h"

namespace tarvo {

/// 2 pi, for the designs' angular frequencies.
constexpr double kTwoPi = 6.283185307179586;

/// One second-order section, Direct Form I, over a value type V (`double`,
/// or Lanes2 for two sections side by side). Feed-forward coefficients are
/// already divided by a0; the feedback coefficients are divided by a0 and
/// negated (c1 = -a1/a0, c2 = -a2/a0) so that they are added:
///   y = b0*x + b1*x1 + b2*x2 + c1*y1 + c2*y2
/// Coefficients and state sit side by side (ten values, 80 bytes as double).
template <typename V>
struct BiquadOf {
    V b0 = 0.0, b1 = 0.0, b2 = 0.0;
    V a0 = 0.0;  ///< 1.0 after every design except designPeak (0.0); never read
    V c1 = 0.0, c2 = 0.0;
    V x1 = 0.0, x2 = 0.0;
    V y1 = 0.0, y2 = 0.0;

    TARVO_ALWAYS_INLINE V process(V x) noexcept {
        const V y = b0 * x + b1 * x1 + b2 * x2 + c1 * y1 + c2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }

    /// Clears the history, keeps the coefficients.
    void reset() noexcept { x1 = x2 = y1 = y2 = 0.0; }

    /// Takes the six coefficients of a new design, keeping this section's
    /// history, so a redesign in a running engine does not click.
    void setCoefficients(const BiquadOf& design) noexcept {
        b0 = design.b0;
        b1 = design.b1;
        b2 = design.b2;
        a0 = design.a0;
        c1 = design.c1;
        c2 = design.c2;
    }
};

using Biquad = BiquadOf<double>;

/// Two sections in cascade: first, then second.
struct BiquadPair {
    Biquad first;
    Biquad second;

    double process(double x) noexcept { return second.process(first.process(x)); }
    void reset() noexcept {
        first.reset();
        second.reset();
    }
    void setCoefficients(const BiquadPair& design) noexcept {
        first.setCoefficients(design.first);
        second.setCoefficients(design.second);
    }
};

// Designs. f is the frequency in cycles per sample of the rate at which the
// section runs (Hz / rate); w = 2*pi*f, sn = sin w, cs = cos w. Each returns
// a complete section with cleared history.

/// Butterworth low-pass (Q = 1/sqrt 2), unity gain at DC.
Biquad designLowPass(double f);
/// Cookbook high-pass with quality q: zero at DC, unity at f = 0.5.
Biquad designHighPass(double f, double q);
/// Cookbook low shelf: linear gain G at DC, 1 at f = 0.5, shelf slope S.
Biquad designLowShelf(double f, double slope, double gain);
/// The decimator's correction high shelf: the cookbook high shelf with
/// b0 = A instead of A*((A+1) + (A-1)cs + t)/a0, so its DC gain is not 1;
/// the decimator multiplies by the reciprocal of that DC gain.
Biquad designCorrectionShelf(double f, double slope, double gain);
/// Cookbook peaking section: gain G at f, bandwidth 1/n octaves. Leaves a0 at 0.
Biquad designPeak(double f, double n, double gain);
/// The detectors' smoothing low-pass: unity at DC, a double zero at Nyquist,
/// poles just short of critical damping.
Biquad designSmoothingLowPass(double f);

/// Pairs two designs with cleared state.
BiquadPair joinPair(const Biquad& first, const Biquad& second);

}  // namespace tarvo
