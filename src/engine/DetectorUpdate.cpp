#include "engine/DetectorUpdate.h"

#include <algorithm>

#include "filters/DetectorDesign.h"

namespace tarvo {

void updateDetectorFilters(const DetectorTargets& strip, int factor, bool alphaMode,
                           double sampleRate, double attackSeconds, double releaseSeconds,
                           double filterHz) noexcept {
    const double rate = sampleRate * factor;

    const DetectorTiming timing = detectorTiming(alphaMode, attackSeconds);
    strip.detectorGain = timing.detectorGain;

    const double nyquist = factor >= 2 ? 0.5 / factor : 0.49;

    strip.levelDetector.applyDesign(designEnvelope(false, timeToFrequency(timing.attackSeconds, rate),
                                                   timeToFrequency(timing.releaseSeconds, rate),
                                                   nyquist));
    strip.levelDetector.inputFilter.setCoefficients(designLowPass(nyquist));

    strip.sideChain.design(sampleRate, factor, filterHz);

    strip.gainSmoother.applyDesign(designEnvelope(alphaMode, timeToFrequency(attackSeconds, rate),
                                                  timeToFrequency(releaseSeconds, rate), nyquist));

    const std::uint32_t n = limiterWindowLength(rate);
    if (n != strip.limiter.windowLength()) strip.limiter.resizeWindow(n);
    strip.limiter.applyDesign(designLimiterFilters(rate));

    strip.silenceHoldSamples =
        std::max(silenceHoldSamples(sampleRate, releaseSeconds), kShortestSilenceHold);
}

}  // namespace tarvo
