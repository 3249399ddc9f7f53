#include "filters/Upsampler.h"

#include "filters/Oversampling.h"

namespace tarvo {

void Upsampler::reset() noexcept {
    interpolator.reset();
    halfband.reset();
}

void Upsampler::setOversampling(int newFactor, bool newHq, double noiseLevel) noexcept {
    factor = supportedFactor(newFactor);
    stageFactor = stageFactorFor(factor, newHq);
    hq = effectiveHq(factor, newHq);
    interpolator.factor = stageFactor;
    interpolator.noiseLevel = noiseLevel;
}

void Upsampler::takeStateFrom(const Upsampler& other) noexcept {
    for (int i = 0; i < 4; ++i) interpolator.history[i] = other.interpolator.history[i];
    halfband.copyStateFrom(other.halfband);
}

}  // namespace tarvo
