#include "engine/StereoProcessor.h"

#include "filters/PolyInterpolator.h"

namespace tarvo {

namespace {
/// The extra audio upsamplers always add the interpolator's default noise.
const double kAudioUpsamplerNoise = interpolatorNoiseLevel(20);
}  // namespace

StereoProcessor::StereoProcessor() {
    for (FrameBuffer& buffer : buffers_) buffer.clear();
}

double StereoProcessor::delayThroughB(double value) noexcept {
    ChannelStrip& b = strips_[1];
    double* row = buffers_[1].rows[FrameBuffer::audio];
    b.upsampler.process(value, row);
    const double resampled = b.downsampler.process(row);
    // Bypassed, the exact delay of the path, as the other half gets it.
    return b.bypass ? b.delayedAudio(b.upsampler) : resampled;
}

void StereoProcessor::linkRows(int row, LevelLink link) noexcept {
    double* a = buffers_[0].rows[row];
    double* b = buffers_[1].rows[row];
    const std::uint32_t n = strips_[0].subSampleCount;
    for (std::uint32_t i = 0; i < n; ++i) linkLanes(Lanes2(a[i], b[i]), link).store(a + i, b + i);
}

void StereoProcessor::linkLimiterGains() noexcept {
    double* a3 = buffers_[0].rows[FrameBuffer::averageLimitGain];
    double* b3 = buffers_[1].rows[FrameBuffer::averageLimitGain];
    double* a4 = buffers_[0].rows[FrameBuffer::peakLimitGain];
    double* b4 = buffers_[1].rows[FrameBuffer::peakLimitGain];
    const std::uint32_t n = strips_[0].subSampleCount;
    for (std::uint32_t i = 0; i < n; ++i) {
        Lanes2 average(a3[i], b3[i]);
        Lanes2 peak(a4[i], b4[i]);
        linkLimiterLanes(average, peak);
        average.store(a3 + i, b3 + i);
        peak.store(a4 + i, b4 + i);
    }
}

void StereoProcessor::midSideFrame(double* outLeft, double* outRight, double mid, double side,
                                   bool activeA, bool activeB, bool externalAudio) noexcept {
    ChannelStrip& a = strips_[0];
    ChannelStrip& b = strips_[1];
    if (activeA || activeB) {
        // Both strips run, also an inactive one (its cleared levels lose the link).
        linkRows(FrameBuffer::level, LevelLink::maximum);
        if (externalAudio) {
            audioUpsamplerLeft.process(a.inputGain * mid, buffers_[0].rows[FrameBuffer::audio]);
            audioUpsamplerRight.process(b.inputGain * side, buffers_[1].rows[FrameBuffer::audio]);
        }
        a.compress(buffers_[0]);
        mid = a.finish(buffers_[0], externalAudio ? audioUpsamplerLeft : a.upsampler);
        b.compress(buffers_[1]);
        side = b.finish(buffers_[1], externalAudio ? audioUpsamplerRight : b.upsampler);
    }
    // The output sums are clipped whatever the saturation setting.
    *outLeft = a.softClipper.shape(mid + side);
    *outRight = b.softClipper.shape(mid - side);
}

void StereoProcessor::stereoFrame(double* outLeft, double* outRight, double left, double right,
                                  bool activeA, bool activeB, bool externalAudio) noexcept {
    ChannelStrip& a = strips_[0];
    ChannelStrip& b = strips_[1];
    if (!activeA && !activeB) {
        *outLeft = left;
        *outRight = right;
        return;
    }
    linkRows(FrameBuffer::level, LevelLink::average);
    if (externalAudio) {
        if (activeA) audioUpsamplerLeft.process(a.inputGain * left, buffers_[0].rows[FrameBuffer::audio]);
        if (activeB) audioUpsamplerRight.process(b.inputGain * right, buffers_[1].rows[FrameBuffer::audio]);
    }
    if (activeA) a.compress(buffers_[0]);
    if (activeB) b.compress(buffers_[1]);
    if (activeA) {
        if (activeB && (a.limiterPre || a.limiterPost)) linkLimiterGains();
        *outLeft = a.finish(buffers_[0], externalAudio ? audioUpsamplerLeft : a.upsampler);
    } else {
        *outLeft = left;
    }
    *outRight =
        activeB ? b.finish(buffers_[1], externalAudio ? audioUpsamplerRight : b.upsampler) : right;
}

template <LevelLink link, bool externalAudio>
inline void StereoProcessor::runPair(double& outA, double& outB, double keyA, double keyB,
                                     double audioA, double audioB) noexcept {
    ChannelStrip& a = strips_[0];
    ChannelStrip& b = strips_[1];
    FrameBuffer& bufferA = buffers_[0];
    FrameBuffer& bufferB = buffers_[1];
    if (!pairLive_) {
        pair_.get().load(a, b);
        pairLive_ = true;
    }
    a.upsampler.process(a.inputGain * keyA, bufferA.rows[FrameBuffer::audio]);
    b.upsampler.process(b.inputGain * keyB, bufferB.rows[FrameBuffer::audio]);
    const bool linkLimiter = link == LevelLink::average && (a.limiterPre || a.limiterPost);
    runPairFrame(
        pair_.get(), a, b, bufferA, bufferB, link, linkLimiter,
        [&] {
            if (externalAudio) {
                audioUpsamplerLeft.process(a.inputGain * audioA, bufferA.rows[FrameBuffer::audio]);
                audioUpsamplerRight.process(b.inputGain * audioB,
                                            bufferB.rows[FrameBuffer::audio]);
            }
        },
        outA, outB);
}

bool StereoProcessor::pairedFrame(double* outLeft, double* outRight, double left, double right,
                                  double keyLeft, double keyRight, bool external) noexcept {
    ChannelStrip& a = strips_[0];
    ChannelStrip& b = strips_[1];
    if (!stripPairing_ || a.bypass) return false;
    FrameBuffer& bufferA = buffers_[0];
    FrameBuffer& bufferB = buffers_[1];

    switch (mode_) {
        case stereo: {
            const double kA = external ? keyLeft : left;
            const double kB = external ? keyRight : right;
            // With the main input as the key, gate(k, k) is gate(k).
            const bool activeA = a.gate(kA, left);
            const bool activeB = b.gate(kB, right);
            if (activeA && activeB) {
                if (external)
                    runPair<LevelLink::average, true>(*outLeft, *outRight, kA, kB, left, right);
                else
                    runPair<LevelLink::average, false>(*outLeft, *outRight, kA, kB, left, right);
                return true;
            }
            releasePair();
            if (!activeA && !activeB) {
                // Both asleep: what detect and stereoFrame do then, directly.
                a.idle(bufferA);
                b.idle(bufferB);
                *outLeft = left;
                *outRight = right;
                return true;
            }
            a.detectAfterGate(activeA, kA, bufferA);
            b.detectAfterGate(activeB, kB, bufferB);
            stereoFrame(outLeft, outRight, left, right, activeA, activeB, external);
            return true;
        }
        case midSide: {
            // Keyed by the main signal also with an external key.
            const double m = (left + right) * 0.5;
            const double s = (left - right) * 0.5;
            const bool activeA = a.gate(m);
            const bool activeB = b.gate(s);
            if (activeA && activeB) {
                double mid = 0.0;
                double side = 0.0;
                if (external)
                    runPair<LevelLink::maximum, true>(mid, side, m, s, m, s);
                else
                    runPair<LevelLink::maximum, false>(mid, side, m, s, m, s);
                *outLeft = a.softClipper.shape(mid + side);
                *outRight = b.softClipper.shape(mid - side);
                return true;
            }
            releasePair();
            a.detectAfterGate(activeA, m, bufferA);
            b.detectAfterGate(activeB, s, bufferB);
            midSideFrame(outLeft, outRight, m, s, activeA, activeB, external);
            return true;
        }
        case dualMono: {
            const double kA = external ? keyLeft : left;
            const double kB = external ? keyRight : right;
            // With the main input as the key, gate(k, k) is gate(k).
            const bool activeA = a.gate(kA, left);
            const bool activeB = b.gate(kB, right);
            if (activeA && activeB) {
                if (external)
                    runPair<LevelLink::none, true>(*outLeft, *outRight, kA, kB, left, right);
                else
                    runPair<LevelLink::none, false>(*outLeft, *outRight, kA, kB, left, right);
                return true;
            }
            releasePair();
            a.detectAfterGate(activeA, kA, bufferA);
            b.detectAfterGate(activeB, kB, bufferB);
            if (!external) {
                // Each strip on its own; an inactive one passes its input.
                if (activeA) {
                    a.compress(bufferA);
                    *outLeft = a.finish(bufferA);
                } else {
                    *outLeft = left;
                }
                if (activeB) {
                    b.compress(bufferB);
                    *outRight = b.finish(bufferB);
                } else {
                    *outRight = right;
                }
                return true;
            }
            if (!activeA && !activeB) {
                *outLeft = left;
                *outRight = right;
                return true;
            }
            // Both strips run, also the inactive one.
            audioUpsamplerLeft.process(a.inputGain * left, bufferA.rows[FrameBuffer::audio]);
            audioUpsamplerRight.process(b.inputGain * right, bufferB.rows[FrameBuffer::audio]);
            a.compress(bufferA);
            *outLeft = a.finish(bufferA, audioUpsamplerLeft);
            b.compress(bufferB);
            *outRight = b.finish(bufferB, audioUpsamplerRight);
            return true;
        }
        default:
            return false;
    }
}

void StereoProcessor::processFrame(double* outLeft, double* outRight, double left,
                                   double right) noexcept {
    // The paired path serves "Stereo", "M/S" and "2 Mono", unbypassed.
    if (stripPairing_ && !strips_[0].bypass &&
        pairedFrame(outLeft, outRight, left, right, left, right, false))
        return;
    releasePair();
    ChannelStrip& a = strips_[0];
    ChannelStrip& b = strips_[1];
    FrameBuffer& bufferA = buffers_[0];
    FrameBuffer& bufferB = buffers_[1];

    switch (mode_) {
        case monoLeft: {
            const double y = a.processMono(left);
            *outLeft = y;
            *outRight = y;
            return;
        }
        case dualMono:
            *outLeft = a.processMono(left);
            *outRight = b.processMono(right);
            return;
        case rightKeyed: {
            double y = left;
            if (a.detectAfterGate(a.gate(right, left), right, bufferA)) {
                // The audio replaces the key samples in A's row 0; row 1 keeps R's levels.
                b.upsampler.process(a.inputGain * left, bufferA.rows[FrameBuffer::audio]);
                a.compress(bufferA);
                y = a.finish(bufferA, b.upsampler);
            }
            *outLeft = y;
            *outRight = y;
            return;
        }
        case midOnly: {
            const double mid = (left + right) * 0.5;
            const double side = (left - right) * 0.5;
            const double m = a.processMono(mid);
            const double s = delayThroughB(side * a.inputGain);
            *outLeft = s + m;
            *outRight = m - s;
            return;
        }
        case sideOnly: {
            const double mid = (left + right) * 0.5;
            const double side = (left - right) * 0.5;
            const double s = a.processMono(side);
            const double m = delayThroughB(mid * a.inputGain);
            *outLeft = s + m;
            *outRight = m - s;
            return;
        }
        case midSide: {
            const double m = (left + right) * 0.5;
            const double s = (left - right) * 0.5;
            const bool activeA = a.detect(m, bufferA);
            const bool activeB = b.detect(s, bufferB);
            midSideFrame(outLeft, outRight, m, s, activeA, activeB, false);
            return;
        }
        case stereo: {
            const bool activeA = a.detect(left, bufferA);
            const bool activeB = b.detect(right, bufferB);
            stereoFrame(outLeft, outRight, left, right, activeA, activeB, false);
            return;
        }
        default:
            return;
    }
}

void StereoProcessor::processFrameExternal(double* outLeft, double* outRight, double left,
                                           double right, double keyLeft,
                                           double keyRight) noexcept {
    // The paired path serves "Stereo", "M/S" and "2 Mono", unbypassed.
    if (stripPairing_ && !strips_[0].bypass &&
        pairedFrame(outLeft, outRight, left, right, keyLeft, keyRight, true))
        return;
    releasePair();
    ChannelStrip& a = strips_[0];
    ChannelStrip& b = strips_[1];
    FrameBuffer& bufferA = buffers_[0];
    FrameBuffer& bufferB = buffers_[1];
    double* audioA = bufferA.rows[FrameBuffer::audio];
    double* audioB = bufferB.rows[FrameBuffer::audio];

    switch (mode_) {
        case monoLeft:
        case rightKeyed: {
            double y = left;
            const double key = mode_ == monoLeft ? keyLeft : keyRight;
            if (a.detectAfterGate(a.gate(key, left), key, bufferA)) {
                audioUpsamplerLeft.process(a.inputGain * left, audioA);
                a.compress(bufferA);
                y = a.finish(bufferA, audioUpsamplerLeft);
            }
            *outLeft = y;
            *outRight = y;
            return;
        }
        case dualMono: {
            const bool activeA = a.detectAfterGate(a.gate(keyLeft, left), keyLeft, bufferA);
            const bool activeB = b.detectAfterGate(b.gate(keyRight, right), keyRight, bufferB);
            if (!activeA && !activeB) {
                *outLeft = left;
                *outRight = right;
                return;
            }
            // Both strips run, also the inactive one.
            audioUpsamplerLeft.process(a.inputGain * left, audioA);
            audioUpsamplerRight.process(b.inputGain * right, audioB);
            a.compress(bufferA);
            *outLeft = a.finish(bufferA, audioUpsamplerLeft);
            b.compress(bufferB);
            *outRight = b.finish(bufferB, audioUpsamplerRight);
            return;
        }
        case midOnly: {
            double m = (left + right) * 0.5;
            double s = (left - right) * 0.5;
            // Awake while the key or either main channel sounds: the half
            // that is only delayed needs the strip awake as well.
            const double key = (keyLeft + keyRight) * 0.5;
            if (a.detectAfterGate(a.gateHearing(key != 0.0 || left != 0.0 || right != 0.0), key,
                                  bufferA)) {
                audioUpsamplerLeft.process(a.inputGain * m, audioA);
                a.compress(bufferA);
                m = a.finish(bufferA, audioUpsamplerLeft);
                s = delayThroughB(b.inputGain * s);
            }
            *outLeft = s + m;
            *outRight = m - s;
            return;
        }
        case sideOnly: {
            double m = (left + right) * 0.5;
            double s = (left - right) * 0.5;
            const double key = (keyLeft - keyRight) * 0.5;
            if (a.detectAfterGate(a.gateHearing(key != 0.0 || left != 0.0 || right != 0.0), key,
                                  bufferA)) {
                audioUpsamplerLeft.process(a.inputGain * s, audioA);
                a.compress(bufferA);
                s = a.finish(bufferA, audioUpsamplerLeft);
                m = delayThroughB(b.inputGain * m);
            }
            *outLeft = s + m;
            *outRight = m - s;
            return;
        }
        case midSide: {
            // Keyed by the main signal; the side-chain inputs are ignored.
            const double m = (left + right) * 0.5;
            const double s = (left - right) * 0.5;
            const bool activeA = a.detect(m, bufferA);
            const bool activeB = b.detect(s, bufferB);
            midSideFrame(outLeft, outRight, m, s, activeA, activeB, true);
            return;
        }
        case stereo: {
            const bool activeA = a.detectAfterGate(a.gate(keyLeft, left), keyLeft, bufferA);
            const bool activeB = b.detectAfterGate(b.gate(keyRight, right), keyRight, bufferB);
            stereoFrame(outLeft, outRight, left, right, activeA, activeB, true);
            return;
        }
        default:
            return;
    }
}

template <typename Sample>
void StereoProcessor::stereoPairedBlock(const Sample* inLeft, const Sample* inRight,
                                        Sample* outLeft, Sample* outRight,
                                        std::int32_t frames) noexcept {
    ChannelStrip& a = strips_[0];
    ChannelStrip& b = strips_[1];
    FrameBuffer& bufferA = buffers_[0];
    FrameBuffer& bufferB = buffers_[1];
    for (std::int32_t i = 0; i < frames; ++i) {
        const double left = hostSample(inLeft, i);
        const double right = hostSample(inRight, i);
        double yLeft;
        double yRight;
        const bool activeA = a.gate(left);
        const bool activeB = b.gate(right);
        if (activeA && activeB) {
            runPair<LevelLink::average, false>(yLeft, yRight, left, right, left, right);
        } else {
            releasePair();
            if (!activeA && !activeB) {
                // Both asleep: what detect and stereoFrame do then, directly.
                a.idle(bufferA);
                b.idle(bufferB);
                yLeft = left;
                yRight = right;
            } else {
                a.detectAfterGate(activeA, left, bufferA);
                b.detectAfterGate(activeB, right, bufferB);
                stereoFrame(&yLeft, &yRight, left, right, activeA, activeB, false);
            }
        }
        if (outLeft) outLeft[i] = static_cast<Sample>(yLeft);
        if (outRight) outRight[i] = static_cast<Sample>(yRight);
    }
}

template <typename Sample>
void StereoProcessor::processBlock(const Sample* inLeft, const Sample* inRight, Sample* outLeft,
                                   Sample* outRight, std::int32_t frames) noexcept {
    if (mode_ == stereo && stripPairing_ && !strips_[0].bypass) {
        stereoPairedBlock(inLeft, inRight, outLeft, outRight, frames);
        return;
    }
    for (std::int32_t i = 0; i < frames; ++i) {
        const double left = hostSample(inLeft, i);
        const double right = hostSample(inRight, i);
        double yLeft = 0.0;
        double yRight = 0.0;
        processFrame(&yLeft, &yRight, left, right);
        if (outLeft) outLeft[i] = static_cast<Sample>(yLeft);
        if (outRight) outRight[i] = static_cast<Sample>(yRight);
    }
}

template void StereoProcessor::processBlock<float>(const float*, const float*, float*, float*,
                                                   std::int32_t) noexcept;
template void StereoProcessor::processBlock<double>(const double*, const double*, double*,
                                                    double*, std::int32_t) noexcept;

void StereoProcessor::reset() noexcept {
    releasePair();
    strips_[0].reset();
    strips_[1].reset();
    audioUpsamplerLeft.reset();
    audioUpsamplerRight.reset();
}

void StereoProcessor::updateDetectorFilters(bool alphaMode, double sampleRate,
                                            double attackSeconds, double releaseSeconds,
                                            double filterHz) noexcept {
    changeStrips([&](ChannelStrip& strip) {
        strip.updateDetectorFilters(alphaMode, sampleRate, attackSeconds, releaseSeconds,
                                    filterHz);
    });
}

void StereoProcessor::designGainComputers(double threshold, double knee, double ratio) noexcept {
    changeStrips([&](ChannelStrip& strip) { strip.gainComputer.design(threshold, knee, ratio); });
}

void StereoProcessor::setClipLevel(double clipLevel) noexcept {
    changeStrips([&](ChannelStrip& strip) { strip.softClipper.clipLevel = clipLevel; });
}

void StereoProcessor::setSaturationEnabled(bool enabled) noexcept { saturationEnabled_ = enabled; }

void StereoProcessor::setChannelMode(int mode) noexcept {
    mode_ = mode;
    // The strips do not clip in "Side" and "M/S"; in "M/S" the output sums are clipped instead.
    const bool active = saturationEnabled_ && mode != sideOnly && mode != midSide;
    changeStrips([&](ChannelStrip& strip) { strip.saturationActive = active; });
}

void StereoProcessor::setLimiterCeiling(double ceiling) noexcept {
    changeStrips([&](ChannelStrip& strip) { strip.limiterDetector.limiterCeiling = ceiling; });
}

void StereoProcessor::setLevels(double inputGain, double wetGain, double dryGain) noexcept {
    changeStrips([&](ChannelStrip& strip) {
        strip.inputGain = inputGain;
        strip.wetGain = wetGain;
        strip.dryGain = dryGain;
    });
}

void StereoProcessor::setScoop(double gain, double sampleRate) noexcept {
    changeStrips([&](ChannelStrip& strip) { strip.setScoop(gain, sampleRate); });
}

void StereoProcessor::setOversampling(int factor, bool hq) noexcept {
    if (factor == strips_[0].oversamplingFactor && hq == hq_) return;
    changeStrips([&](ChannelStrip& strip) { strip.setOversampling(factor, hq, noiseBits_); });
    audioUpsamplerLeft.setOversampling(factor, hq, kAudioUpsamplerNoise);
    audioUpsamplerRight.setOversampling(factor, hq, kAudioUpsamplerNoise);
    hq_ = hq;
}

void StereoProcessor::setLimiterPosition(bool pre, bool post) noexcept {
    changeStrips([&](ChannelStrip& strip) {
        strip.limiterPre = pre;
        strip.limiterPost = post;
    });
}

void StereoProcessor::setBypass(bool bypass) noexcept {
    changeStrips([&](ChannelStrip& strip) { strip.bypass = bypass; });
}

void StereoProcessor::setNoiseBits(int bits) noexcept {
    noiseBits_ = bits;
    changeStrips([&](ChannelStrip& strip) { strip.setNoiseBits(bits); });
}

void StereoProcessor::takeOverSideChainAudio() noexcept {
    releasePair();
    audioUpsamplerLeft.takeStateFrom(strips_[0].upsampler);
    audioUpsamplerRight.takeStateFrom(strips_[1].upsampler);
}

int StereoProcessor::latency() const noexcept { return strips_[0].downsampler.latency(); }

}  // namespace tarvo
