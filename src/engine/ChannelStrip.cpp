#include "engine/ChannelStrip.h"

#include "engine/DetectorUpdate.h"
#include "engine/StripKernel.h"

namespace tarvo {

ChannelStrip::ChannelStrip()
    : levelDetector(makeLevelDetector()), gainSmoother(makeGainSmoother()) {}

bool ChannelStrip::detect(double x, FrameBuffer& buffer) noexcept {
    return detectAfterGate(gate(x), x, buffer);
}

bool ChannelStrip::detectAfterGate(bool open, double x, FrameBuffer& buffer) noexcept {
    if (!open) {
        idle(buffer);
        return false;
    }
    double* audio = buffer.rows[FrameBuffer::audio];
    upsampler.process(inputGain * x, audio);
    if (bypass) return true;
    OneStrip strip{*this, buffer};
    detectRows(strip, LevelLink::none);
    return true;
}

void ChannelStrip::compress(FrameBuffer& buffer) noexcept {
    if (bypass) {
        limiterDetector.feedZero();
        return;
    }
    OneStrip strip{*this, buffer};
    compressRows(strip, false);
}

double ChannelStrip::finish(FrameBuffer& buffer, const Upsampler& audioSource) noexcept {
    const double* audio = buffer.rows[FrameBuffer::audio];
    if (bypass) {
        downsampler.process(audio);
        return delayedAudio(audioSource);
    }
    OneStrip strip{*this, buffer};
    finishRows(strip, false);
    return downsampler.process(buffer.rows[FrameBuffer::processed]);
}

double ChannelStrip::processMono(double x) noexcept {
    FrameBuffer buffer;
    if (!detect(x, buffer)) return x;
    compress(buffer);
    return finish(buffer);
}

void ChannelStrip::reset() noexcept {
    upsampler.reset();
    sideChain.reset();
    levelDetector.reset(0.0);
    gainSmoother.reset(1.0);  // resting gain 1
    limiterDetector.reset();
    scoopDry.reset();
    scoopWet.reset();
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
