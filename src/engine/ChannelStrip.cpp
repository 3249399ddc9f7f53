#include "engine/ChannelStrip.h"

#include <cmath>

#include "engine/DetectorUpdate.h"

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

    double* level = buffer.rows[FrameBuffer::level];
    const std::uint32_t n = subSampleCount;
    for (std::uint32_t i = 0; i < n; ++i)
        level[i] = levelDetector.processRectified(sideChain.process(audio[i])) * detectorGain;
    return true;
}

void ChannelStrip::compress(FrameBuffer& buffer) noexcept {
    if (bypass) {
        limiterDetector.feedZero();
        return;
    }
    const double* audio = buffer.rows[FrameBuffer::audio];
    const double* level = buffer.rows[FrameBuffer::level];
    double* processed = buffer.rows[FrameBuffer::processed];
    double* averageGain = buffer.rows[FrameBuffer::averageLimitGain];
    double* peakGain = buffer.rows[FrameBuffer::peakLimitGain];

    const bool unity = gainComputer.inverseRatio == 1.0;
    const double floorLevel = gainComputer.floorLevel;
    const double key = std::fabs(newestKey());
    const std::uint32_t n = subSampleCount;
    for (std::uint32_t i = 0; i < n; ++i) {
        double x = audio[i];
        const double l = level[i];
        const double g = (unity || l < floorLevel) ? 1.0 : gainComputer.curve(l) / l;
        // The smoother follows 2 - g, so more reduction is a rise (attack path).
        const double s = gainSmoother.process(2.0 - g);
        double y = (2.0 - s) * x;
        const double v = key * g;
        if (limiterPre) {
            limiterDetector.process(v, peakGain[i], averageGain[i]);
            processed[i] = y;
        } else {
            if (scoopOn) {
                y = scoopWet.process(y);
                if (dryGain != 0.0) x = scoopDry.process(x);
            }
            const double m = wetGain * y + dryGain * x;
            if (limiterPost)
                limiterDetector.process(v, peakGain[i], averageGain[i]);
            else
                limiterDetector.feedZero();
            processed[i] = m;
        }
    }
}

double ChannelStrip::finish(FrameBuffer& buffer, const Upsampler& audioSource) noexcept {
    const double* audio = buffer.rows[FrameBuffer::audio];
    if (bypass) {
        downsampler.process(audio);
        return delayedAudio(audioSource);
    }
    double* processed = buffer.rows[FrameBuffer::processed];
    const double* averageGain = buffer.rows[FrameBuffer::averageLimitGain];
    const double* peakGain = buffer.rows[FrameBuffer::peakLimitGain];
    const bool limiting = limiterPre || limiterPost;
    const std::uint32_t n = subSampleCount;
    for (std::uint32_t i = 0; i < n; ++i) {
        double dry = audio[i];
        double y = processed[i];
        if (limiting) y *= averageGain[i] > peakGain[i] ? peakGain[i] : averageGain[i];
        if (saturationActive) y = softClipper.shape(y);
        if (limiterPre) {
            if (scoopOn) {
                y = scoopWet.process(y);
                if (dryGain != 0.0) dry = scoopDry.process(dry);
            }
            y = wetGain * y + dryGain * dry;
        }
        processed[i] = y;
    }
    return downsampler.process(processed);
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
