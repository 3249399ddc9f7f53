#pragma once

#include <cstdint>

#include "engine/EnvelopeFollower.h"
#include "engine/PeakLimiterDetector.h"
#include "filters/SideChainFilter.h"

namespace tarvo {

/// The members of one channel strip that the detector update redesigns.
struct DetectorTargets {
    EnvelopeFollower& levelDetector;
    EnvelopeFollower& gainSmoother;
    SideChainFilter& sideChain;
    PeakLimiterDetector& limiter;
    double& detectorGain;
    std::uint32_t& silenceHoldSamples;
};

/// The shortest silence hold, in host samples: longer than the longest path
/// latency (172 with HQ) and the decimators' settling, so that a strip
/// falls asleep, and passes its input undelayed, only when its resamplers
/// hold nothing but silence, also at low rates with a short release.
inline constexpr std::uint32_t kShortestSilenceHold = 256;

/// Redesigns one strip's detectors for its oversampling factor F, at
/// R = sampleRate * F. Times in seconds (0 allowed), filterHz 0 = shelf.
///  1. detectorGain and the level detector's fixed timing by mode (detectorTiming);
///  2. D = 0.5 / F for F >= 2, 0.49 for F = 1 (the base rate's Nyquist);
///  3. level detector: designEnvelope(false, 1/(A R), 1/(B R), D), and its
///     input low-pass follows the factor: designLowPass(D);
///  4. side-chain filter: design(sampleRate, F, filterHz);
///  5. gain smoother: designEnvelope(alphaMode, attack, release as frequencies, D);
///  6. limiter: window resized to ceil(R * 0.63 ms) when that differs, and
///     its three smoothing sections at R;
///  7. silence hold: 2 * sampleRate * release samples, at least
///     kShortestSilenceHold.
/// Only coefficients and the window length change: envelopes, histories
/// and window contents carry on. Allocates nothing (the window has its
/// storage for every rate and factor already); call between blocks.
void updateDetectorFilters(const DetectorTargets& strip, int factor, bool alphaMode,
                           double sampleRate, double attackSeconds, double releaseSeconds,
                           double filterHz) noexcept;

}  // namespace tarvo
