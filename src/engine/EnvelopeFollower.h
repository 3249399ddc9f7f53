#pragma once

#include "filters/Biquad.h"
#include "filters/DetectorDesign.h"
#include "filters/Inlining.h"
#include "filters/Lanes.h"

namespace tarvo {

/// Attack/release envelope with a soft attack, between two low-pass sections,
/// over a value type V (`double`, or Lanes2 for two followers side by side).
/// A fall is followed with the release share alone; a rise d with the
/// release share plus the attack share of u(d), where u(d) = d above the soft
/// width L = 0.025 and L * S(d/L) below it, S a degree-16 polynomial whose
/// first eight derivatives vanish at 0: small upward wobbles barely trigger
/// the fast attack.
template <typename V>
struct EnvelopeOf {
    BiquadOf<V> inputFilter;  ///< low-pass on the magnitude, used by processRectified only
    V attackCoefficient = 0.0;
    V releaseCoefficient = 0.0;
    V envelope = 0.0;
    BiquadOf<V> outputFilter;  ///< low-pass on the envelope; its output is the follower's
    V softWidth = 0.025;
    V softCurve[8] = {};  ///< q9 .. q16

    /// One envelope step towards y:
    ///   d = y - envelope; u = 0 (d < 0), d (d > L), else sum q_k d^k;
    ///   envelope += (y - envelope) * release + attack * u.
    /// The polynomial sits on the envelope's loop-carried path, so it is
    /// computed only when a lane needs it. At d = 0 it is a signed zero, and
    /// so is (y - envelope) * release, whose sign then decides the sum: u
    /// may be taken as +0 there, which spares the polynomial for a follower
    /// at rest (a gain smoother at gain 1, a detector on silence).
    TARVO_ALWAYS_INLINE void follow(V y) noexcept {
        const V zero = 0.0;
        const V d = y - envelope;
        const auto below = d < zero;
        const auto above = d > softWidth;
        const auto flat = below | (d == zero);
        V u;
        if (allOf(flat)) {
            u = zero;
        } else if (allOf(above)) {
            u = d;
        } else if (allOf(flat | above)) {
            u = select(above, d, zero);
        } else {
            u = select(below, zero, select(above, d, softAttack(d)));
        }
        envelope = ((y - envelope) * releaseCoefficient + attackCoefficient * u) + envelope;
    }

    /// follow for a level detector: one branch, on whether a lane's rise
    /// falls in the soft band (0 < d <= L, or NaN), where the polynomial
    /// runs; the same bits. Near the host rate a detector's d changes sign
    /// from one step to the next, and follow's branch on it is mispredicted
    /// far more often than this one (measured on noise, against follow:
    /// about a fifth less time at 1x, 5 % at 4x); a gain smoother's d keeps
    /// its sign for long stretches, and follow pays there.
    TARVO_ALWAYS_INLINE void followLevel(V y) noexcept {
        const V zero = 0.0;
        const V d = y - envelope;
        const auto below = d < zero;
        const auto above = d > softWidth;
        V u;
        if (allOf(below | above | (d == zero)))
            u = select(above, d, zero);
        else
            u = select(below, zero, select(above, d, softAttack(d)));
        envelope = ((y - envelope) * releaseCoefficient + attackCoefficient * u) + envelope;
    }

    /// Level detector step: magnitude, input low-pass, envelope, output low-pass.
    TARVO_ALWAYS_INLINE V processRectified(V x) noexcept {
        followLevel(inputFilter.process(magnitude(x)));
        return outputFilter.process(envelope);
    }

    /// Gain smoother step: envelope, output low-pass (no magnitude, no input filter).
    TARVO_ALWAYS_INLINE V process(V x) noexcept {
        follow(x);
        return outputFilter.process(envelope);
    }

    /// The soft attack's polynomial sum q_k d^k (k = 9 .. 16):
    ///   d^12 (q12 + q13 d + q14 d^2 + q15 d^3 + q16 d^4) + d^8 (q9 d + q10 d^2 + q11 d^3)
    TARVO_ALWAYS_INLINE V softAttack(V d) const noexcept {
        const V* q = softCurve;
        const V d2 = d * d;
        const V d3 = d2 * d;
        const V d4 = d2 * d2;
        const V d8 = d4 * d4;
        const V d12 = d8 * d4;
        return d12 * (q[3] + q[4] * d + q[5] * d2 + q[6] * d3 + q[7] * d4) +
               d8 * (q[0] * d + q[1] * d2 + q[2] * d3);
    }

    /// Takes a new design: coefficients only; envelope and histories carry on.
    void applyDesign(const EnvelopeDesign& design) noexcept {
        attackCoefficient = design.attackCoefficient;
        releaseCoefficient = design.releaseCoefficient;
        outputFilter.setCoefficients(design.outputFilter);
        softWidth = design.softWidth;
        for (int k = 0; k < 8; ++k) softCurve[k] = design.softCurve[k];
    }

    /// Takes another follower's coefficients (both filters', attack,
    /// release, soft attack); envelope and histories carry on.
    void setCoefficients(const EnvelopeOf& design) noexcept {
        inputFilter.setCoefficients(design.inputFilter);
        attackCoefficient = design.attackCoefficient;
        releaseCoefficient = design.releaseCoefficient;
        outputFilter.setCoefficients(design.outputFilter);
        softWidth = design.softWidth;
        for (int k = 0; k < 8; ++k) softCurve[k] = design.softCurve[k];
    }

    /// Input-filter history to 0; envelope and output-filter history
    /// (x1, x2, y1, y2) to the follower's resting value: 0 for the level
    /// detector, 1.0 for the gain smoother, whose input rests at 2 - g = 1.
    /// With the envelope at rest too, the smoother's output stays at 1 until
    /// the static gain moves (an envelope starting at 0 would pull the output
    /// down and so lift the applied gain 2 - s towards 2 after every reset).
    void reset(double rest) noexcept {
        inputFilter.reset();
        envelope = rest;
        outputFilter.x1 = outputFilter.x2 = outputFilter.y1 = outputFilter.y2 = rest;
    }
};

using EnvelopeFollower = EnvelopeOf<double>;

/// The level detector as built: input low-pass at 0.125, 1 ms attack and
/// 10 ms release at 176400 Hz, all state 0.
EnvelopeFollower makeLevelDetector();

/// The gain smoother as built: 10 ms attack and 50 ms release at 176400 Hz,
/// envelope and output-filter history at their resting value 1.0 (gain 1).
EnvelopeFollower makeGainSmoother();

}  // namespace tarvo
