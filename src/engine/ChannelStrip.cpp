#include "engine/ChannelStrip.h"

#include "engine/DetectorUpdate.h"

namespace tarvo {

ChannelStrip::ChannelStrip()
    : levelDetector(makeLevelDetector()), gainSmoother(makeGainSmoother()) {}

void ChannelStrip::reset() noexcept {
    upsampler.reset();
    downsampler.reset();
}

void ChannelStrip::setOversampling(int factor, bool hq, int noiseBits) noexcept {
    upsampler.setOversampling(factor, hq, interpolatorNoiseLevel(noiseBits));
    downsampler.setOversampling(factor, hq, noiseBits);
    subSampleCount = static_cast<std::uint32_t>(factor);
    oversamplingFactor = factor;
}

void ChannelStrip::setNoiseBits(int noiseBits) noexcept {
    upsampler.interpolator.noiseLevel = interpolatorNoiseLevel(noiseBits);
    downsampler.setNoiseBits(noiseBits);
}

void ChannelStrip::setScoop(double linearGain, double sampleRate) noexcept {
    scoopOn = tarvo::setScoop(scoopWet, scoopDry, linearGain, sampleRate * oversamplingFactor);
}

void ChannelStrip::updateDetectorFilters(bool alphaMode, double sampleRate, double attackSeconds,
                                         double releaseSeconds, double filterHz) noexcept {
    tarvo::updateDetectorFilters(
        DetectorTargets{levelDetector, gainSmoother, sideChain, limiterDetector, detectorGain,
                        silenceHoldSamples},
        oversamplingFactor, alphaMode, sampleRate, attackSeconds, releaseSeconds, filterHz);
}

}  // namespace tarvo
