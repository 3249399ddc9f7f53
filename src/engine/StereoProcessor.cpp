#include "engine/StereoProcessor.h"

#include "filters/PolyInterpolator.h"

/// Keeps a function out of its callers: each mode's block loop is a
/// function of its own, and so are the strips run one after the other, so
/// that the compiler's inlining budget goes to the paired frame in the loop.
#if defined(__GNUC__)
#define TARVO_NOINLINE __attribute__((noinline))
#elif defined(_MSC_VER)
#define TARVO_NOINLINE __declspec(noinline)
#else
#define TARVO_NOINLINE
#endif

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

void StereoProcessor::idlePair() noexcept {
    StripPairState& pair = livePair();
    for (int k = 0; k < 2; ++k) {
        strips_[k].limiterDetector.pushZero();
        buffers_[k].clear();
    }
    pair.limiter.idle();
}

template <LevelLink link, bool externalAudio>
inline void StereoProcessor::runPair(double& outA, double& outB, double keyA, double keyB,
                                     double audioA, double audioB) noexcept {
    ChannelStrip& a = strips_[0];
    ChannelStrip& b = strips_[1];
    FrameBuffer& bufferA = buffers_[0];
    FrameBuffer& bufferB = buffers_[1];
    StripPairState& pair = livePair();
    a.upsampler.process(a.inputGain * keyA, bufferA.rows[FrameBuffer::audio]);
    b.upsampler.process(b.inputGain * keyB, bufferB.rows[FrameBuffer::audio]);
    const bool linkLimiter = link == LevelLink::average && (a.limiterPre || a.limiterPost);
    runPairFrame(
        pair, a, b, bufferA, bufferB, link, linkLimiter,
        [&] {
            if (externalAudio) {
                audioUpsamplerLeft.process(a.inputGain * audioA, bufferA.rows[FrameBuffer::audio]);
                audioUpsamplerRight.process(b.inputGain * audioB,
                                            bufferB.rows[FrameBuffer::audio]);
            }
        },
        outA, outB);
}

template <int Mode, bool External>
inline void StereoProcessor::pairedFrame(double* outLeft, double* outRight, double left,
                                         double right, double keyLeft,
                                         double keyRight) noexcept {
    ChannelStrip& a = strips_[0];
    ChannelStrip& b = strips_[1];
    FrameBuffer& bufferA = buffers_[0];
    FrameBuffer& bufferB = buffers_[1];

    switch (Mode) {
        case stereo: {
            const double kA = External ? keyLeft : left;
            const double kB = External ? keyRight : right;
            // With the main input as the key, gate(k, k) is gate(k).
            const bool activeA = a.gate(kA, left);
            const bool activeB = b.gate(kB, right);
            if (activeA && activeB) {
                runPair<LevelLink::average, External>(*outLeft, *outRight, kA, kB, left, right);
            } else if (activeA || activeB) {
                // One asleep: its level counts as zero in the average, no
                // limiter link, and its input passes unchanged.
                const double y = runPairAsleep(
                    activeA ? 1 : 0, livePair(), a, b, bufferA, bufferB, LevelLink::average, kA,
                    kB, External ? &audioUpsamplerLeft : nullptr,
                    External ? &audioUpsamplerRight : nullptr, left, right);
                *outLeft = activeA ? y : left;
                *outRight = activeB ? y : right;
            } else {
                idlePair();
                *outLeft = left;
                *outRight = right;
            }
            return;
        }
        case midSide: {
            // Keyed by the main signal also with an External key.
            const double m = (left + right) * 0.5;
            const double s = (left - right) * 0.5;
            const bool activeA = a.gate(m);
            const bool activeB = b.gate(s);
            if (activeA && activeB) {
                double mid = 0.0;
                double side = 0.0;
                runPair<LevelLink::maximum, External>(mid, side, m, s, m, s);
                *outLeft = a.softClipper.shape(mid + side);
                *outRight = b.softClipper.shape(mid - side);
                return;
            }
            double mid = m;
            double side = s;
            if (activeA || activeB) {
                // Both strips run, also the asleep one (its cleared level
                // loses the link).
                runPairSleeperRuns(activeA ? 1 : 0, livePair(), a, b, bufferA, bufferB,
                                   LevelLink::maximum, m, s,
                                   External ? &audioUpsamplerLeft : nullptr,
                                   External ? &audioUpsamplerRight : nullptr, m, s, mid, side);
            } else {
                idlePair();
            }
            // The output sums are clipped whatever the saturation setting.
            *outLeft = a.softClipper.shape(mid + side);
            *outRight = b.softClipper.shape(mid - side);
            return;
        }
        case dualMono: {
            const double kA = External ? keyLeft : left;
            const double kB = External ? keyRight : right;
            // With the main input as the key, gate(k, k) is gate(k).
            const bool activeA = a.gate(kA, left);
            const bool activeB = b.gate(kB, right);
            if (activeA && activeB) {
                runPair<LevelLink::none, External>(*outLeft, *outRight, kA, kB, left, right);
                return;
            }
            if (!activeA && !activeB) {
                idlePair();
                *outLeft = left;
                *outRight = right;
                return;
            }
            if (!External) {
                // Each strip on its own; the asleep one passes its input.
                const double y = runPairAsleep(activeA ? 1 : 0, livePair(), a, b, bufferA,
                                               bufferB, LevelLink::none, kA, kB, nullptr,
                                               nullptr, left, right);
                *outLeft = activeA ? y : left;
                *outRight = activeB ? y : right;
                return;
            }
            // Both strips run, also the asleep one.
            runPairSleeperRuns(activeA ? 1 : 0, livePair(), a, b, bufferA, bufferB,
                               LevelLink::none, kA, kB, &audioUpsamplerLeft,
                               &audioUpsamplerRight, left, right, *outLeft, *outRight);
            return;
        }
        default:
            return;
    }
}

template <int Mode>
TARVO_NOINLINE void StereoProcessor::mainFrame(double* outLeft, double* outRight, double left,
                                       double right) noexcept {
    ChannelStrip& a = strips_[0];
    ChannelStrip& b = strips_[1];
    FrameBuffer& bufferA = buffers_[0];
    FrameBuffer& bufferB = buffers_[1];

    switch (Mode) {
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

template <int Mode>
TARVO_NOINLINE void StereoProcessor::externalFrame(double* outLeft, double* outRight, double left,
                                           double right, double keyLeft,
                                           double keyRight) noexcept {
    ChannelStrip& a = strips_[0];
    ChannelStrip& b = strips_[1];
    FrameBuffer& bufferA = buffers_[0];
    FrameBuffer& bufferB = buffers_[1];
    double* audioA = bufferA.rows[FrameBuffer::audio];
    double* audioB = bufferB.rows[FrameBuffer::audio];

    switch (Mode) {
        case monoLeft:
        case rightKeyed: {
            double y = left;
            const double key = Mode == monoLeft ? keyLeft : keyRight;
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

template <int Mode, bool External, bool Paired>
TARVO_NOINLINE void StereoProcessor::runFrames(const HostChunk& in, HostChunk& out,
                                               std::int32_t frames) noexcept {
    // The strips one after the other use their own state; nothing in the
    // loop puts it into the lanes again.
    if (!Paired) releasePair();
    for (std::int32_t i = 0; i < frames; ++i) {
        const double left = in.left[i];
        const double right = in.right[i];
        const double keyLeft = External ? in.keyLeft[i] : left;
        const double keyRight = External ? in.keyRight[i] : right;
        if (Paired) {
            pairedFrame<Mode, External>(&out.left[i], &out.right[i], left, right, keyLeft,
                                        keyRight);
        } else if (External) {
            externalFrame<Mode>(&out.left[i], &out.right[i], left, right, keyLeft, keyRight);
        } else {
            mainFrame<Mode>(&out.left[i], &out.right[i], left, right);
        }
    }
}

template <bool External>
bool StereoProcessor::routeFrames(const HostChunk& in, HostChunk& out,
                                  std::int32_t frames) noexcept {
    return routeMode(mode_, [&](auto mode) {
        constexpr int m = decltype(mode)::value;
        if (pairs(m))
            runFrames<m, External, true>(in, out, frames);
        else
            runFrames<m, External, false>(in, out, frames);
    });
}

void StereoProcessor::processFrame(double* outLeft, double* outRight, double left,
                                   double right) noexcept {
    HostChunk in;
    HostChunk out;
    in.left[0] = left;
    in.right[0] = right;
    if (!routeFrames<false>(in, out, 1)) return;
    *outLeft = out.left[0];
    *outRight = out.right[0];
}

void StereoProcessor::processFrameExternal(double* outLeft, double* outRight, double left,
                                           double right, double keyLeft,
                                           double keyRight) noexcept {
    HostChunk in;
    HostChunk out;
    in.left[0] = left;
    in.right[0] = right;
    in.keyLeft[0] = keyLeft;
    in.keyRight[0] = keyRight;
    if (!routeFrames<true>(in, out, 1)) return;
    *outLeft = out.left[0];
    *outRight = out.right[0];
}

template <bool External, typename Sample>
void StereoProcessor::routeBlock(const Sample* inLeft, const Sample* inRight,
                                 const Sample* keyLeft, const Sample* keyRight, Sample* outLeft,
                                 Sample* outRight, std::int32_t frames) noexcept {
    HostChunk in;
    HostChunk out;
    for (std::int32_t start = 0; start < frames; start += HostChunk::size) {
        const std::int32_t n =
            frames - start < HostChunk::size ? frames - start : HostChunk::size;
        for (std::int32_t i = 0; i < n; ++i) {
            in.left[i] = hostSample(inLeft, start + i);
            in.right[i] = hostSample(inRight, start + i);
            if (External) {
                in.keyLeft[i] = hostSample(keyLeft, start + i);
                in.keyRight[i] = hostSample(keyRight, start + i);
            }
        }
        if (!routeFrames<External>(in, out, n)) {
            // An invalid mode processes nothing: silence.
            for (std::int32_t i = 0; i < n; ++i) out.left[i] = out.right[i] = 0.0;
        }
        for (std::int32_t i = 0; i < n; ++i) {
            if (outLeft) outLeft[start + i] = static_cast<Sample>(out.left[i]);
            if (outRight) outRight[start + i] = static_cast<Sample>(out.right[i]);
        }
    }
}

template <typename Sample>
void StereoProcessor::processBlock(const Sample* inLeft, const Sample* inRight, Sample* outLeft,
                                   Sample* outRight, std::int32_t frames) noexcept {
    routeBlock<false, Sample>(inLeft, inRight, nullptr, nullptr, outLeft, outRight, frames);
}

template <typename Sample>
void StereoProcessor::processBlockExternal(const Sample* inLeft, const Sample* inRight,
                                           const Sample* keyLeft, const Sample* keyRight,
                                           Sample* outLeft, Sample* outRight,
                                           std::int32_t frames) noexcept {
    routeBlock<true, Sample>(inLeft, inRight, keyLeft, keyRight, outLeft, outRight, frames);
}

template void StereoProcessor::processBlock<float>(const float*, const float*, float*, float*,
                                                   std::int32_t) noexcept;
template void StereoProcessor::processBlock<double>(const double*, const double*, double*,
                                                    double*, std::int32_t) noexcept;
template void StereoProcessor::processBlockExternal<float>(const float*, const float*,
                                                           const float*, const float*, float*,
                                                           float*, std::int32_t) noexcept;
template void StereoProcessor::processBlockExternal<double>(const double*, const double*,
                                                            const double*, const double*,
                                                            double*, double*,
                                                            std::int32_t) noexcept;

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
