#include "engine/StereoProcessor.h"

#include "filters/PolyInterpolator.h"

namespace tarvo {

namespace {
/// The extra audio upsamplers always add the interpolator's default noise.
const double kAudioUpsamplerNoise = interpolatorNoiseLevel(20);

constexpr bool twoStrips(int mode) { return mode == stereo || mode == midSide || mode == dualMono; }
}  // namespace

template <class L>
StereoProcessorOf<L>::StereoProcessorOf() : lanes_(strips_[0], strips_[1]) {
    for (FrameBuffer& buffer : buffers_) buffer.clear();
}

template <class L>
template <LevelLink link, bool externalAudio>
inline L StereoProcessorOf<L>::runBoth(double keyA, double keyB, double audioA,
                                       double audioB) noexcept {
    ChannelStrip& a = strips_[0];
    ChannelStrip& b = strips_[1];
    a.upsampler.process(a.inputGain * keyA, audioRow(0));
    b.upsampler.process(b.inputGain * keyB, audioRow(1));
    const bool linkLimiter = link == LevelLink::average && (a.limiterPre || a.limiterPost);
    return runLanesFrame(lanes(), a, b, buffers_[0], buffers_[1], link, linkLimiter, [&] {
        if (externalAudio) {
            audioUpsamplerLeft.process(a.inputGain * audioA, audioRow(0));
            audioUpsamplerRight.process(b.inputGain * audioB, audioRow(1));
        }
    });
}

template <class L>
double StereoProcessorOf<L>::runOneAsleep(int asleep, LevelLink link, bool externalAudio,
                                          double keyA, double keyB, double audioA,
                                          double audioB) noexcept {
    Upsampler* upA = externalAudio ? &audioUpsamplerLeft : nullptr;
    Upsampler* upB = externalAudio ? &audioUpsamplerRight : nullptr;
    if (asleep == 0)
        return runLanesAsleep<0>(lanes(), strips_[0], strips_[1], buffers_[0], buffers_[1], link,
                                 keyA, keyB, upA, upB, audioA, audioB);
    return runLanesAsleep<1>(lanes(), strips_[0], strips_[1], buffers_[0], buffers_[1], link,
                             keyA, keyB, upA, upB, audioA, audioB);
}

template <class L>
L StereoProcessorOf<L>::runSleeperRuns(int asleep, LevelLink link, bool externalAudio,
                                       double keyA, double keyB, double audioA,
                                       double audioB) noexcept {
    Upsampler* upA = externalAudio ? &audioUpsamplerLeft : nullptr;
    Upsampler* upB = externalAudio ? &audioUpsamplerRight : nullptr;
    if (asleep == 0)
        return runLanesSleeperRuns<0>(lanes(), strips_[0], strips_[1], buffers_[0], buffers_[1],
                                      link, keyA, keyB, upA, upB, audioA, audioB);
    return runLanesSleeperRuns<1>(lanes(), strips_[0], strips_[1], buffers_[0], buffers_[1],
                                  link, keyA, keyB, upA, upB, audioA, audioB);
}

template <class L>
void StereoProcessorOf<L>::idleBoth() noexcept {
    for (int k = 0; k < 2; ++k) {
        strips_[k].limiterDetector.pushZero();
        buffers_[k].clear();
    }
    lanes().limiter.idle();
}

template <class L>
void StereoProcessorOf<L>::idleLimiterLane(int k) noexcept {
    strips_[k].limiterDetector.pushZero();
    LimiterSections<L> idled = lanes().limiter;
    idled.idle();
    copyLane(lanes().limiter, idled, k);
}

template <class L>
L StereoProcessorOf<L>::downsampleRows0(bool downA, bool downB) noexcept {
    if (!downA && !downB) return 0.0;
    ChannelStrip& a = strips_[0];
    ChannelStrip& b = strips_[1];
    const double* rowA = audioRow(0);
    const double* rowB = audioRow(1);
    L rows[8];
    for (std::uint32_t i = 0; i < a.subSampleCount; ++i) rows[i] = L(rowA[i], rowB[i]);
    if (downA && downB) return downsampleLanes<true, true>(lanes(), a, b, rows);
    const DecimatorSections<L> before = lanes().decimator;
    const L y = downA ? downsampleLanes<true, false>(lanes(), a, b, rows)
                      : downsampleLanes<false, true>(lanes(), a, b, rows);
    copyLane(lanes().decimator, before, downA ? 1 : 0);
    return y;
}

template <class L>
template <int Mode, bool External>
inline void StereoProcessorOf<L>::pairFrame(double* outLeft, double* outRight, double left,
                                            double right, double keyLeft,
                                            double keyRight) noexcept {
    ChannelStrip& a = strips_[0];
    ChannelStrip& b = strips_[1];
    if (Mode == midSide) {
        // Keyed by the main signal also with an External key.
        const double m = (left + right) * 0.5;
        const double s = (left - right) * 0.5;
        const bool activeA = a.gate(m);
        const bool activeB = b.gate(s);
        double mid = m;
        double side = s;
        if (activeA && activeB) {
            const L y = runBoth<LevelLink::maximum, External>(m, s, m, s);
            mid = y.lane0();
            side = y.lane1();
        } else if (activeA || activeB) {
            // Both strips run, also the asleep one (its cleared level loses
            // the link).
            const L y = runSleeperRuns(activeA ? 1 : 0, LevelLink::maximum, External, m, s, m, s);
            mid = y.lane0();
            side = y.lane1();
        } else {
            idleBoth();
        }
        // The output sums are clipped whatever the saturation setting.
        *outLeft = a.softClipper.shape(mid + side);
        *outRight = b.softClipper.shape(mid - side);
        return;
    }
    // "Stereo" and "2 Mono". With the main input as the key, gate(k, k) is gate(k).
    constexpr LevelLink link = Mode == stereo ? LevelLink::average : LevelLink::none;
    const double kA = External ? keyLeft : left;
    const double kB = External ? keyRight : right;
    const bool activeA = a.gate(kA, left);
    const bool activeB = b.gate(kB, right);
    if (activeA && activeB) {
        const L y = runBoth<link, External>(kA, kB, left, right);
        *outLeft = y.lane0();
        *outRight = y.lane1();
    } else if (!activeA && !activeB) {
        idleBoth();
        *outLeft = left;
        *outRight = right;
    } else if (Mode == dualMono && External) {
        // Both strips run, also the asleep one.
        const L y = runSleeperRuns(activeA ? 1 : 0, link, true, kA, kB, left, right);
        *outLeft = y.lane0();
        *outRight = y.lane1();
    } else {
        // One asleep: in "Stereo" its level counts as zero in the average,
        // no limiter link; its input passes unchanged.
        const double y = runOneAsleep(activeA ? 1 : 0, link, External, kA, kB, left, right);
        *outLeft = activeA ? y : left;
        *outRight = activeB ? y : right;
    }
}

template <class L>
template <int Mode, bool External>
TARVO_NOINLINE void StereoProcessorOf<L>::pairBypassFrame(double* outLeft, double* outRight,
                                                          double left, double right,
                                                          double keyLeft,
                                                          double keyRight) noexcept {
    ChannelStrip& a = strips_[0];
    ChannelStrip& b = strips_[1];
    // What each strip hears and what it carries: "M/S" is keyed by mid and
    // side whatever the key.
    const bool ms = Mode == midSide;
    const double audioA = ms ? (left + right) * 0.5 : left;
    const double audioB = ms ? (left - right) * 0.5 : right;
    const double kA = ms || !External ? audioA : keyLeft;
    const double kB = ms || !External ? audioB : keyRight;
    const bool activeA = a.gate(kA, audioA);
    const bool activeB = b.gate(kB, audioB);
    // An asleep strip idles: its limiter takes one idle step, its row 0 is cleared.
    for (int k = 0; k < 2; ++k) {
        if (!(k == 0 ? activeA : activeB)) buffers_[k].clear();
        strips_[k].limiterDetector.pushZero();
    }
    lanes().limiter.idle();
    if (activeA) a.upsampler.process(a.inputGain * kA, audioRow(0));
    if (activeB) b.upsampler.process(b.inputGain * kB, audioRow(1));
    // In "M/S" and in "2 Mono" with the external key both strips run when
    // either is awake (an asleep one its limiter's second idle step); in
    // "Stereo" and "2 Mono" with the main key only the awake ones run.
    const bool bothRun = ms || (Mode == dualMono && External);
    const bool runA = activeA || (bothRun && activeB);
    const bool runB = activeB || (bothRun && activeA);
    if (runA && !activeA) idleLimiterLane(0);
    if (runB && !activeB) idleLimiterLane(1);
    if (External) {
        if (bothRun ? runA : activeA) audioUpsamplerLeft.process(a.inputGain * audioA, audioRow(0));
        if (bothRun ? runB : activeB)
            audioUpsamplerRight.process(b.inputGain * audioB, audioRow(1));
    }
    downsampleRows0(runA, runB);
    const double yA = runA ? a.delayedAudio(External ? audioUpsamplerLeft : a.upsampler) : audioA;
    const double yB =
        runB ? b.delayedAudio(External ? audioUpsamplerRight : b.upsampler) : audioB;
    if (ms) {
        // The output sums are clipped whatever the saturation setting.
        *outLeft = a.softClipper.shape(yA + yB);
        *outRight = b.softClipper.shape(yA - yB);
    } else {
        *outLeft = yA;
        *outRight = yB;
    }
}

template <class L>
template <int Mode, bool External, bool Bypass>
inline void StereoProcessorOf<L>::singleFrame(double* outLeft, double* outRight, double left,
                                              double right, double keyLeft,
                                              double keyRight) noexcept {
    ChannelStrip& a = strips_[0];
    ChannelStrip& b = strips_[1];
    constexpr bool halves = Mode == midOnly || Mode == sideOnly;
    const double mid = (left + right) * 0.5;
    const double side = (left - right) * 0.5;
    // What strip A compresses (audio, keyed by key), what strip B delays.
    double audio = left;
    double key = External ? keyLeft : left;
    double other = 0.0;
    if (Mode == rightKeyed) key = External ? keyRight : right;
    if (halves) {
        audio = Mode == midOnly ? mid : side;
        other = Mode == midOnly ? side : mid;
        key = !External ? audio : Mode == midOnly ? (keyLeft + keyRight) * 0.5
                                                  : (keyLeft - keyRight) * 0.5;
    }
    // With the external key "Mid." and "Side" stay awake while the key or
    // either main channel sounds: the half that is only delayed needs the
    // strip awake as well.
    const bool open = halves && External
                          ? a.gateHearing(key != 0.0 || left != 0.0 || right != 0.0)
                          : a.gate(key, audio);
    // The delayed half runs while A is awake, and always with the main key.
    const bool delays = halves && (open || !External);

    TwoStripsOf<L, bMirrorsA> strips(lanes(), a, b, buffers_[0], buffers_[1]);
    if (open) {
        a.upsampler.process(a.inputGain * key, audioRow(0));
        if (!Bypass) detectRows(strips, LevelLink::none);
        if (External)
            audioUpsamplerLeft.process(a.inputGain * audio, audioRow(0));
        else if (Mode == rightKeyed)
            // The audio replaces the key in A's row 0; row 1 keeps R's levels.
            b.upsampler.process(a.inputGain * left, audioRow(0));
        if (!Bypass) {
            compressRows(strips, false);
            finishRows(strips, false);
        } else {
            a.limiterDetector.pushZero();
            lanes().limiter.idle();
        }
    } else {
        a.limiterDetector.pushZero();
        lanes().limiter.idle();
        buffers_[0].clear();
    }
    if (delays) b.upsampler.process(a.inputGain * other, audioRow(1));

    // The way down: A's result in lane 0, B's delayed half in lane 1.
    L y = 0.0;
    if (delays || Bypass) {
        if (open && delays) {
            const double* rowB = audioRow(1);
            L* rows = strips.rows[FrameBuffer::processed];
            for (std::uint32_t i = 0; i < a.subSampleCount; ++i)
                rows[i] = L(Bypass ? audioRow(0)[i] : rows[i].lane0(), rowB[i]);
            y = downsampleLanes<true, true>(lanes(), a, b, rows);
        } else {
            y = downsampleRows0(open, delays);
        }
    } else if (open) {
        y = downsampleLanes<true, false>(lanes(), a, b, strips.rows[FrameBuffer::processed]);
    }
    const Upsampler& audioSource =
        External ? audioUpsamplerLeft : Mode == rightKeyed ? b.upsampler : a.upsampler;
    const double compressed = !open ? audio : Bypass ? a.delayedAudio(audioSource) : y.lane0();
    if (!halves) {
        *outLeft = compressed;
        *outRight = compressed;
        return;
    }
    // Bypassed, the exact delay of the path, as the other half gets it.
    const double delayed = !delays ? other : Bypass ? b.delayedAudio(b.upsampler) : y.lane1();
    const double m = Mode == midOnly ? compressed : delayed;
    const double s = Mode == midOnly ? delayed : compressed;
    *outLeft = s + m;
    *outRight = m - s;
}

template <class L>
template <int Mode, bool External, bool Bypass>
TARVO_NOINLINE void StereoProcessorOf<L>::runFrames(const HostChunk& in, HostChunk& out,
                                                    std::int32_t frames) noexcept {
    auto keyLeft = [&](std::int32_t i) { return External ? in.keyLeft[i] : in.left[i]; };
    auto keyRight = [&](std::int32_t i) { return External ? in.keyRight[i] : in.right[i]; };
    if (twoStrips(Mode)) {
        for (std::int32_t i = 0; i < frames; ++i) {
            if (Bypass)
                pairBypassFrame<Mode, External>(&out.left[i], &out.right[i], in.left[i],
                                                in.right[i], keyLeft(i), keyRight(i));
            else
                pairFrame<Mode, External>(&out.left[i], &out.right[i], in.left[i], in.right[i],
                                          keyLeft(i), keyRight(i));
        }
        return;
    }
    // Strip B's lane runs as the twin of A's through the chunk and then
    // takes B's state back: everything in it is as before the chunk, except
    // the decimator of the half "Mid." and "Side" delay through B.
    constexpr bool halves = Mode == midOnly || Mode == sideOnly;
    const StripLanes<L> held = lanes();
    copyLane0ToLane1(lanes());
    if (halves) lanes().decimator = held.decimator;
    for (std::int32_t i = 0; i < frames; ++i)
        singleFrame<Mode, External, Bypass>(&out.left[i], &out.right[i], in.left[i],
                                            in.right[i], keyLeft(i), keyRight(i));
    const DecimatorSections<L> decimator = lanes().decimator;
    copyLane(lanes(), held, 1);
    if (halves) lanes().decimator = decimator;
}

template <class L>
template <bool External>
bool StereoProcessorOf<L>::routeFrames(const HostChunk& in, HostChunk& out,
                                       std::int32_t frames) noexcept {
    return routeMode(mode_, [&](auto mode) {
        constexpr int m = decltype(mode)::value;
        if (strips_[0].bypass)
            runFrames<m, External, true>(in, out, frames);
        else
            runFrames<m, External, false>(in, out, frames);
    });
}

template <class L>
void StereoProcessorOf<L>::processFrame(double* outLeft, double* outRight, double left,
                                        double right) noexcept {
    HostChunk in;
    HostChunk out;
    in.left[0] = left;
    in.right[0] = right;
    if (!routeFrames<false>(in, out, 1)) return;
    *outLeft = out.left[0];
    *outRight = out.right[0];
}

template <class L>
void StereoProcessorOf<L>::processFrameExternal(double* outLeft, double* outRight, double left,
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

template <class L>
template <bool External, typename Sample>
void StereoProcessorOf<L>::routeBlock(const Sample* inLeft, const Sample* inRight,
                                      const Sample* keyLeft, const Sample* keyRight,
                                      Sample* outLeft, Sample* outRight,
                                      std::int32_t frames) noexcept {
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

template <class L>
template <typename Sample>
void StereoProcessorOf<L>::processKeyedByMain(const Sample* inLeft, const Sample* inRight,
                                              Sample* outLeft, Sample* outRight,
                                              std::int32_t frames) noexcept {
    routeBlock<false, Sample>(inLeft, inRight, nullptr, nullptr, outLeft, outRight, frames);
}

template <class L>
template <typename Sample>
void StereoProcessorOf<L>::processKeyedBySideChain(const Sample* inLeft, const Sample* inRight,
                                                   const Sample* keyLeft,
                                                   const Sample* keyRight, Sample* outLeft,
                                                   Sample* outRight,
                                                   std::int32_t frames) noexcept {
    routeBlock<true, Sample>(inLeft, inRight, keyLeft, keyRight, outLeft, outRight, frames);
}

template <class L>
void StereoProcessorOf<L>::reset() noexcept {
    strips_[0].reset();
    strips_[1].reset();
    lanes().reset();
    audioUpsamplerLeft.reset();
    audioUpsamplerRight.reset();
}

template <class L>
void StereoProcessorOf<L>::updateDetectorFilters(bool alphaMode, double sampleRate,
                                                 double attackSeconds, double releaseSeconds,
                                                 double filterHz) noexcept {
    redesignStrips([&](ChannelStrip& strip) {
        strip.updateDetectorFilters(alphaMode, sampleRate, attackSeconds, releaseSeconds,
                                    filterHz);
    });
}

template <class L>
void StereoProcessorOf<L>::designGainComputers(double threshold, double knee,
                                               double ratio) noexcept {
    changeStrips([&](ChannelStrip& strip) { strip.gainComputer.design(threshold, knee, ratio); });
}

template <class L>
void StereoProcessorOf<L>::setClipLevel(double clipLevel) noexcept {
    changeStrips([&](ChannelStrip& strip) { strip.softClipper.clipLevel = clipLevel; });
}

template <class L>
void StereoProcessorOf<L>::setSaturationEnabled(bool enabled) noexcept {
    saturationEnabled_ = enabled;
}

template <class L>
void StereoProcessorOf<L>::setChannelMode(int mode) noexcept {
    mode_ = mode;
    // The strips do not clip in "Side" and "M/S"; in "M/S" the output sums are clipped instead.
    const bool active = saturationEnabled_ && mode != sideOnly && mode != midSide;
    changeStrips([&](ChannelStrip& strip) { strip.saturationActive = active; });
}

template <class L>
void StereoProcessorOf<L>::setLimiterCeiling(double ceiling) noexcept {
    changeStrips([&](ChannelStrip& strip) { strip.limiterDetector.limiterCeiling = ceiling; });
}

template <class L>
void StereoProcessorOf<L>::setLevels(double inputGain, double wetGain, double dryGain) noexcept {
    changeStrips([&](ChannelStrip& strip) {
        strip.inputGain = inputGain;
        strip.wetGain = wetGain;
        strip.dryGain = dryGain;
    });
}

template <class L>
void StereoProcessorOf<L>::setScoop(double gain, double sampleRate) noexcept {
    redesignStrips([&](ChannelStrip& strip) { strip.setScoop(gain, sampleRate); });
}

template <class L>
void StereoProcessorOf<L>::setOversampling(int factor, bool hq) noexcept {
    if (factor == strips_[0].oversamplingFactor && hq == hq_) return;
    redesignStrips([&](ChannelStrip& strip) { strip.setOversampling(factor, hq, noiseBits_); });
    audioUpsamplerLeft.setOversampling(factor, hq, kAudioUpsamplerNoise);
    audioUpsamplerRight.setOversampling(factor, hq, kAudioUpsamplerNoise);
    hq_ = hq;
}

template <class L>
void StereoProcessorOf<L>::setLimiterPosition(bool pre, bool post) noexcept {
    changeStrips([&](ChannelStrip& strip) {
        strip.limiterPre = pre;
        strip.limiterPost = post;
    });
}

template <class L>
void StereoProcessorOf<L>::setBypass(bool bypass) noexcept {
    changeStrips([&](ChannelStrip& strip) { strip.bypass = bypass; });
}

template <class L>
void StereoProcessorOf<L>::setNoiseBits(int bits) noexcept {
    noiseBits_ = bits;
    changeStrips([&](ChannelStrip& strip) { strip.setNoiseBits(bits); });
}

template <class L>
void StereoProcessorOf<L>::takeOverSideChainAudio() noexcept {
    audioUpsamplerLeft.takeStateFrom(strips_[0].upsampler);
    audioUpsamplerRight.takeStateFrom(strips_[1].upsampler);
}

template <class L>
int StereoProcessorOf<L>::latency() const noexcept {
    return strips_[0].downsampler.latency();
}

#define TARVO_INSTANTIATE_ENGINE(L)                                                           \
    template class StereoProcessorOf<L>;                                                      \
    template void StereoProcessorOf<L>::processKeyedByMain<float>(                            \
        const float*, const float*, float*, float*, std::int32_t) noexcept;                   \
    template void StereoProcessorOf<L>::processKeyedByMain<double>(                           \
        const double*, const double*, double*, double*, std::int32_t) noexcept;               \
    template void StereoProcessorOf<L>::processKeyedBySideChain<float>(                       \
        const float*, const float*, const float*, const float*, float*, float*,               \
        std::int32_t) noexcept;                                                               \
    template void StereoProcessorOf<L>::processKeyedBySideChain<double>(                      \
        const double*, const double*, const double*, const double*, double*, double*,         \
        std::int32_t) noexcept;

TARVO_INSTANTIATE_ENGINE(Lanes2)
#if TARVO_LANES_SSE2
// Without SSE2, Lanes2 is PlainLanes2 and instantiated above.
TARVO_INSTANTIATE_ENGINE(PlainLanes2)
#endif

}  // namespace tarvo
