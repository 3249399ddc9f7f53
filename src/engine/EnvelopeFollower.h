#pragma once

#include <cmath>

#include "filters/Biquad.h"
#include "filters/DetectorDesign.h"

namespace tarvo {

/// Attack/release envelope with a soft attack, between two low-pass sections.
/// A fall is followed with the release share alone; a rise d with the
/// release share plus the attack share of u(d), where u(d) = d above the soft
/// width L = 0.025 and L * S(d/L) below it, S a degree-16 polynomial whose
/// first eight derivatives vanish at 0: small upward wobbles barely trigger
/// the fast attack.
struct EnvelopeFollower {
    Biquad inputFilter;  ///< low-pass on the magnitude, used by processRectified only
    double attackCoefficient = 0.0;
    double releaseCoefficient = 0.0;
    double envelope = 0.0;
    Biquad outputFilter;  ///< low-pass on the envelope; its output is the follower's
    double softWidth = 0.025;
    double softCurve[8] = {};  ///< q9 .. q16

    /// One envelope step towards y:
    ///   d = y - envelope; u = 0 (d < 0), d (d > L), else sum q_k d^k;
    ///   envelope += (y - envelope) * release + attack * u.
    void follow(double y) noexcept {
        const double d = y - envelope;
        double u;
        if (d < 0.0) {
            u = 0.0;
        } else if (d > softWidth) {
            u = d;
        } else {
            // d^12 (q12 + q13 d + q14 d^2 + q15 d^3 + q16 d^4) + d^8 (q9 d + q10 d^2 + q11 d^3)
            const double d2 = d * d;
            const double d3 = d2 * d;
            const double d4 = d2 * d2;
            const double d8 = d4 * d4;
            const double d12 = d8 * d4;
            u = d12 * (softCurve[3] + softCurve[4] * d + softCurve[5] * d2 + softCurve[6] * d3 +
                       softCurve[7] * d4) +
                d8 * (softCurve[0] * d + softCurve[1] * d2 + softCurve[2] * d3);
        }
        envelope = ((y - envelope) * releaseCoefficient + attackCoefficient * u) + envelope;
    }

    /// Level detector step: magnitude, input low-pass, envelope, output low-pass.
    double processRectified(double x) noexcept {
        follow(inputFilter.process(std::fabs(x)));
        return outputFilter.process(envelope);
    }

    /// Gain smoother step: envelope, output low-pass (no magnitude, no input filter).
    double process(double x) noexcept {
        follow(x);
        return outputFilter.process(envelope);
    }

    /// Takes a new design: coefficients only; envelope and histories carry on.
    void applyDesign(const EnvelopeDesign& design) noexcept;

    /// Input-filter history to 0; envelope and output-filter history
    /// (x1, x2, y1, y2) to the follower's resting value: 0 for the level
    /// detector, 1.0 for the gain smoother, whose input rests at 2 - g = 1.
    /// With the envelope at rest too, the smoother's output stays at 1 until
    /// the static gain moves (an envelope starting at 0 would pull the output
    /// down and so lift the applied gain 2 - s towards 2 after every reset).
    void reset(double rest) noexcept;
};

/// The level detector as built: input low-pass at 0.125, 1 ms attack and
/// 10 ms release at 176400 Hz, all state 0.
EnvelopeFollower makeLevelDetector();

/// The gain smoother as built: 10 ms attack and 50 ms release at 176400 Hz,
/// envelope and output-filter history at their resting value 1.0 (gain 1).
EnvelopeFollower makeGainSmoother();

}  // namespace tarvo
