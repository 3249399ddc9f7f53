#include "filters/Downsampler.h"

#include "filters/Oversampling.h"

namespace tarvo {

void Downsampler::reset() noexcept {
    decimator.reset();
    halfband.reset();
}

void Downsampler::setOversampling(int newFactor, bool newHq, int noiseBits) noexcept {
    factor = supportedFactor(newFactor);
    stageFactor = stageFactorFor(factor, newHq);
    hq = effectiveHq(factor, newHq);
    decimator.redesign(stageFactor, noiseBits);
}

void Downsampler::setNoiseBits(int noiseBits) noexcept {
    decimator.noiseLevel = decimatorNoiseLevel(noiseBits);
}

}  // namespace tarvo
