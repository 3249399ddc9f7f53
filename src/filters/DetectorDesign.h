#pragma once

#include <cstdint>

#include "filters/Biquad.h"

namespace tarvo {

/// Coefficients of one envelope follower: attack and release shares, the
/// output low-pass and the soft-attack polynomial.
struct EnvelopeDesign {
    double attackCoefficient;
    double releaseCoefficient;
    Biquad outputFilter;
    double softWidth;     ///< width L of the soft-attack region, 0.025
    double softCurve[8];  ///< q9 .. q16, q_k = C_k / L^(k-1)
};

/// Envelope follower design. fa, fr, fc in cycles per sample of the
/// oversampled rate. Output low-pass at fc in alpha mode, else at
/// max(fa, fr); a cutoff at or above 0.5 (where the low-pass design folds
/// over and turns unstable) is taken as 0.49. Each coefficient is
/// 1 / (1/(2*pi*f) + 1).
EnvelopeDesign designEnvelope(bool alphaMode, double fa, double fr, double fc);

/// A time constant as a normalised frequency: 1/(t*R) for t > 0, 1/(2*pi)
/// (a follower coefficient of 0.5) for t = 0 (and for t < 0 or NaN).
double timeToFrequency(double seconds, double rate);

/// The level detector's fixed timing and make-up gain for the attack mode.
struct DetectorTiming {
    double attackSeconds;
    double releaseSeconds;
    double detectorGain;  ///< 10^w
};

/// Alpha: 0.05 ms / 1 ms, w = 0.0439. Otherwise by the user's attack time:
/// <= 9.5 ms: 1 ms / 50 ms, w = 0.02735; <= 24.5 ms: 10 ms / 50 ms,
/// w = 0.0768; above: 25 ms / 50 ms, w = 0.11185.
DetectorTiming detectorTiming(bool alphaMode, double attackSeconds);

/// Peak limiter window for the oversampled rate R: ceil(R * 0.00063)
/// samples (0.63 ms), at least 2 and at most 2^20 (a rate of 0, a negative
/// or NaN rate gives 2).
std::uint32_t limiterWindowLength(double rate);

/// The peak limiter's three smoothing sections at the oversampled rate R.
struct LimiterFilters {
    Biquad peak;     ///< 3571.43 Hz
    Biquad release;  ///< 115.66 Hz
    Biquad average;  ///< 10 Hz
};
LimiterFilters designLimiterFilters(double rate);

/// Exact-zero key samples before a strip goes silent: 2 * rate * release,
/// truncated toward zero, limited to 0 .. 2^32 - 1 (NaN gives 0).
std::uint32_t silenceHoldSamples(double sampleRate, double releaseSeconds);

}  // namespace tarvo
