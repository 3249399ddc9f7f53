#include "engine/LaneEngine.h"

#include "filters/PolyInterpolator.h"

namespace tarvo {

template <class L>
LaneEngine<L>::LaneEngine() : lanes_(strips_[0], strips_[1]) {}

template <class L>
template <LevelLink link, bool externalAudio>
inline void LaneEngine<L>::runBoth(const double* keyA, const double* keyB,
                                          const double* audioA, const double* audioB,
                                          std::uint32_t frames, L* y) noexcept {
    ChannelStrip& a = strips_[0];
    ChannelStrip& b = strips_[1];
    LaneRows<L>& r = rows();
    double* newestA = r.newest[0];
    double* newestB = r.newest[1];
    Upsampler::processRunPair(a.upsampler, b.upsampler, keyA, keyB, a.inputGain, b.inputGain,
                              frames, r.key[0], r.key[1], newestA, newestB);
    for (std::uint32_t j = 0; j < frames; ++j)
        r.limiterKey[j] = L(magnitude(newestA[j]), magnitude(newestB[j]));
    if (externalAudio)
        Upsampler::processRunPair(audioUpsamplerLeft, audioUpsamplerRight, audioA, audioB,
                                  a.inputGain, b.inputGain, frames, r.audio[0], r.audio[1],
                                  newestA, newestB);
    const bool linkLimiter = link == LevelLink::average && (a.limiterPre || a.limiterPost);
    runLanes(lanes(), a, b, r, frames, externalAudio, link, linkLimiter);
    downsampleRun<true, true>(lanes(), a, b, r.processed, frames, y);
}

template <class L>
void LaneEngine<L>::idleBoth() noexcept {
    for (int k = 0; k < 2; ++k) {
        strips_[k].limiterDetector.pushZero();
        rows().clearFrame(k);
    }
    lanes().limiter.idle();
}

template <class L>
L LaneEngine<L>::downsampleRows0(bool downA, bool downB) noexcept {
    if (!downA && !downB) return 0.0;
    ChannelStrip& a = strips_[0];
    ChannelStrip& b = strips_[1];
    const double* rowA = frameSubSamples(0);
    const double* rowB = frameSubSamples(1);
    L rows[8];
    for (std::uint32_t i = 0; i < a.subSampleCount; ++i) rows[i] = L(rowA[i], rowB[i]);
    L y;
    if (downA && downB) {
        downsampleRun<true, true>(lanes(), a, b, rows, 1, &y);
        return y;
    }
    const DecimatorSections<L> before = lanes().decimator;
    if (downA)
        downsampleRun<true, false>(lanes(), a, b, rows, 1, &y);
    else
        downsampleRun<false, true>(lanes(), a, b, rows, 1, &y);
    copyLane(lanes().decimator, before, downA ? 1 : 0);
    return y;
}

template <class L>
template <int Mode, bool External>
inline void LaneEngine<L>::pairFrames(const HostChunk& in, HostChunk& out,
                                             std::int32_t frames) noexcept {
    ChannelStrip& a = strips_[0];
    ChannelStrip& b = strips_[1];
    constexpr bool ms = Mode == midSide;
    constexpr LevelLink link = ms                ? LevelLink::maximum
                               : Mode == stereo ? LevelLink::average
                                                : LevelLink::none;
    // What each strip hears and carries, and both gates, frame by frame:
    // the inputs where they are, but for "M/S", whose mid and side are made
    // here. "M/S" is keyed by mid and side also with an External key; with
    // the main input as the key, gate(k, k) is gate(k).
    LaneRows<L>& r = rows();
    const double* audioA = ms ? r.frameAudio[0] : in.left;
    const double* audioB = ms ? r.frameAudio[1] : in.right;
    const double* keyA = ms || !External ? audioA : in.keyLeft;
    const double* keyB = ms || !External ? audioB : in.keyRight;
    bool activeA[HostChunk::size], activeB[HostChunk::size];
    for (std::int32_t f = 0; f < frames; ++f) {
        if (ms) {
            r.frameAudio[0][f] = (in.left[f] + in.right[f]) * 0.5;
            r.frameAudio[1][f] = (in.left[f] - in.right[f]) * 0.5;
        }
        activeA[f] = a.gate(keyA[f], audioA[f]);
        activeB[f] = b.gate(keyB[f], audioB[f]);
    }
    std::int32_t f = 0;
    while (f < frames) {
        if (!activeA[f] && !activeB[f]) {
            idleBoth();
            out.left[f] = ms ? a.softClipper.shape(audioA[f] + audioB[f]) : audioA[f];
            out.right[f] = ms ? b.softClipper.shape(audioA[f] - audioB[f]) : audioB[f];
            ++f;
            continue;
        }
        // A run of frames in which the strips stay awake or asleep as they are.
        std::int32_t end = f + 1;
        while (end < frames && activeA[end] == activeA[f] && activeB[end] == activeB[f]) ++end;
        const auto runFrames = static_cast<std::uint32_t>(end - f);
        L* y = r.output;
        // The audio upsamplers bring the audio with the External key.
        Upsampler* upA = External ? &audioUpsamplerLeft : nullptr;
        Upsampler* upB = External ? &audioUpsamplerRight : nullptr;
        if (activeA[f] && activeB[f]) {
            runBoth<link, External>(keyA + f, keyB + f, audioA + f, audioB + f, runFrames, y);
        } else if (ms || (Mode == dualMono && External)) {
            // Both strips run, also the asleep one (in "M/S" its cleared
            // level loses the link).
            routeAsleepLane(activeA[f] ? 1 : 0, [&](auto asleep) {
                runLanesSleeperRuns<decltype(asleep)::value>(lanes(), a, b, r, link, keyA + f,
                                                             keyB + f, upA, upB, audioA + f,
                                                             audioB + f, runFrames, y);
            });
        } else {
            // In "Stereo" the asleep strip's level counts as zero in the
            // average, no limiter link; its input passes unchanged.
            routeAsleepLane(activeA[f] ? 1 : 0, [&](auto asleep) {
                runLanesAsleep<decltype(asleep)::value>(lanes(), a, b, r, link, keyA + f,
                                                        keyB + f, upA, upB, audioA + f,
                                                        audioB + f, runFrames, y);
            });
            for (std::int32_t j = 0; f + j < end; ++j)
                y[j] = activeA[f] ? L(y[j].lane0(), audioB[f + j])
                                  : L(audioA[f + j], y[j].lane1());
        }
        for (std::int32_t j = 0; f + j < end; ++j) {
            const double mid = y[j].lane0();
            const double side = y[j].lane1();
            // "M/S": the output sums are clipped whatever the saturation setting.
            out.left[f + j] = ms ? a.softClipper.shape(mid + side) : mid;
            out.right[f + j] = ms ? b.softClipper.shape(mid - side) : side;
        }
        f = end;
    }
}

template <class L>
template <int Mode, bool External>
TARVO_NOINLINE void LaneEngine<L>::pairBypassFrame(double* outLeft, double* outRight,
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
    // An asleep strip idles: its limiter takes one idle step, its rows are cleared.
    for (int k = 0; k < 2; ++k) {
        if (!(k == 0 ? activeA : activeB)) rows().clearFrame(k);
        strips_[k].limiterDetector.pushZero();
    }
    lanes().limiter.idle();
    if (activeA) a.upsampler.process(a.inputGain * kA, frameSubSamples(0));
    if (activeB) b.upsampler.process(b.inputGain * kB, frameSubSamples(1));
    // In "M/S" and in "2 Mono" with the external key both strips run when
    // either is awake (an asleep one its limiter's second idle step); in
    // "Stereo" and "2 Mono" with the main key only the awake ones run.
    const bool bothRun = ms || (Mode == dualMono && External);
    const bool runA = activeA || (bothRun && activeB);
    const bool runB = activeB || (bothRun && activeA);
    // An asleep strip that runs idles its limiter a second time.
    const bool idlesAgain[2] = {runA && !activeA, runB && !activeB};
    for (int k = 0; k < 2; ++k) {
        if (!idlesAgain[k]) continue;
        strips_[k].limiterDetector.pushZero();
        idleLimiterLane(lanes().limiter, k);
    }
    if (External) {
        if (bothRun ? runA : activeA)
            audioUpsamplerLeft.process(a.inputGain * audioA, frameSubSamples(0));
        if (bothRun ? runB : activeB)
            audioUpsamplerRight.process(b.inputGain * audioB, frameSubSamples(1));
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

namespace {

/// What strip A of a one-strip mode compresses (audio, keyed by key) and
/// what strip B only delays (other), from one frame of the inputs.
struct OneStripFrame {
    double audio, key, other;
};

template <int Mode, bool External>
OneStripFrame oneStripFrame(double left, double right, double keyLeft, double keyRight) {
    constexpr bool halves = Mode == midOnly || Mode == sideOnly;
    OneStripFrame f{left, External ? keyLeft : left, 0.0};
    if (Mode == rightKeyed) f.key = External ? keyRight : right;
    if (halves) {
        const double mid = (left + right) * 0.5;
        const double side = (left - right) * 0.5;
        f.audio = Mode == midOnly ? mid : side;
        f.other = Mode == midOnly ? side : mid;
        f.key = !External         ? f.audio
                : Mode == midOnly ? (keyLeft + keyRight) * 0.5
                                  : (keyLeft - keyRight) * 0.5;
    }
    return f;
}

/// A's gate in a one-strip mode. With the external key "Mid." and "Side"
/// stay awake while the key or either main channel sounds: the half that
/// is only delayed needs the strip awake as well.
template <int Mode, bool External>
bool oneStripGate(ChannelStrip& a, const OneStripFrame& f, double left, double right) {
    if ((Mode == midOnly || Mode == sideOnly) && External)
        return a.gateHearing(f.key != 0.0 || left != 0.0 || right != 0.0);
    return a.gate(f.key, f.audio);
}

/// The outputs of a one-strip mode from A's result and B's delayed half.
template <int Mode>
void oneStripOutputs(double compressed, double delayed, double& outLeft, double& outRight) {
    if (Mode != midOnly && Mode != sideOnly) {
        outLeft = compressed;
        outRight = compressed;
        return;
    }
    const double m = Mode == midOnly ? compressed : delayed;
    const double s = Mode == midOnly ? delayed : compressed;
    outLeft = s + m;
    outRight = m - s;
}

}  // namespace

template <class L>
template <int Mode, bool External>
inline void LaneEngine<L>::singleFrames(const HostChunk& in, HostChunk& out,
                                               std::int32_t frames) noexcept {
    ChannelStrip& a = strips_[0];
    ChannelStrip& b = strips_[1];
    LaneRows<L>& r = rows();
    constexpr bool halves = Mode == midOnly || Mode == sideOnly;
    const std::uint32_t n = a.subSampleCount;
    double* key = r.frameKey[0];
    double* audio = r.frameAudio[0];
    double* other = r.frameAudio[1];
    bool open[HostChunk::size];
    for (std::int32_t i = 0; i < frames; ++i) {
        const OneStripFrame f = oneStripFrame<Mode, External>(
            in.left[i], in.right[i], External ? in.keyLeft[i] : in.left[i],
            External ? in.keyRight[i] : in.right[i]);
        key[i] = f.key;
        audio[i] = f.audio;
        other[i] = f.other;
        open[i] = oneStripGate<Mode, External>(a, f, in.left[i], in.right[i]);
    }
    std::int32_t i = 0;
    while (i < frames) {
        if (!open[i]) {
            // A idles and passes its input; with the main key "Mid." and
            // "Side" delay the other half through B all the same.
            a.limiterDetector.pushZero();
            lanes().limiter.idle();
            double delayed = other[i];
            if (halves && !External) {
                b.upsampler.process(a.inputGain * other[i], frameSubSamples(1));
                delayed = downsampleRows0(false, true).lane1();
            }
            oneStripOutputs<Mode>(audio[i], delayed, out.left[i], out.right[i]);
            ++i;
            continue;
        }
        std::int32_t end = i + 1;
        while (end < frames && open[end]) ++end;
        const std::uint32_t count = static_cast<std::uint32_t>(end - i);
        double* newest = r.newest[0];
        double* unused = r.newest[1];
        // "Mid." and "Side": B's upsampler delays the other half, beside A's.
        if (halves)
            Upsampler::processRunPair(a.upsampler, b.upsampler, key + i, other + i, a.inputGain,
                                      a.inputGain, count, r.key[0], r.key[1], newest, unused);
        else
            a.upsampler.processRun(key + i, a.inputGain, count, r.key[0], newest);
        for (std::uint32_t j = 0; j < count; ++j) r.limiterKey[j] = L(magnitude(newest[j]));
        if (External)
            audioUpsamplerLeft.processRun(audio + i, a.inputGain, count, r.audio[0], unused);
        else if (Mode == rightKeyed)
            // The audio through B's upsampler; A's levels come from the key R.
            b.upsampler.processRun(audio + i, a.inputGain, count, r.audio[0], unused);
        runLanes<bMirrorsA>(lanes(), a, b, r, count, External || Mode == rightKeyed,
                            LevelLink::none, false);
        if (halves) {
            // Lane 1 of the way down takes B's delayed half.
            for (std::uint32_t k = 0; k < count * n; ++k)
                r.processed[k] = L(r.processed[k].lane0(), r.key[1][k]);
        }
        L* y = r.output;
        if (halves)
            downsampleRun<true, true>(lanes(), a, b, r.processed, count, y);
        else
            downsampleRun<true, false>(lanes(), a, b, r.processed, count, y);
        for (std::uint32_t j = 0; j < count; ++j)
            oneStripOutputs<Mode>(y[j].lane0(), y[j].lane1(), out.left[i + j], out.right[i + j]);
        i = end;
    }
}

template <class L>
template <int Mode, bool External>
TARVO_NOINLINE void LaneEngine<L>::singleBypassFrame(double* outLeft, double* outRight,
                                                            double left, double right,
                                                            double keyLeft,
                                                            double keyRight) noexcept {
    ChannelStrip& a = strips_[0];
    ChannelStrip& b = strips_[1];
    constexpr bool halves = Mode == midOnly || Mode == sideOnly;
    const OneStripFrame f = oneStripFrame<Mode, External>(left, right, keyLeft, keyRight);
    const bool open = oneStripGate<Mode, External>(a, f, left, right);
    // The delayed half runs while A is awake, and always with the main key.
    const bool delays = halves && (open || !External);
    if (open) {
        a.upsampler.process(a.inputGain * f.key, frameSubSamples(0));
        if (External)
            audioUpsamplerLeft.process(a.inputGain * f.audio, frameSubSamples(0));
        else if (Mode == rightKeyed)
            b.upsampler.process(a.inputGain * f.audio, frameSubSamples(0));
    } else {
        rows().clearFrame(0);
    }
    a.limiterDetector.pushZero();
    lanes().limiter.idle();
    if (delays) b.upsampler.process(a.inputGain * f.other, frameSubSamples(1));
    downsampleRows0(open, delays);
    const Upsampler& audioSource =
        External ? audioUpsamplerLeft : Mode == rightKeyed ? b.upsampler : a.upsampler;
    // The exact delay of the path for both halves.
    const double compressed = open ? a.delayedAudio(audioSource) : f.audio;
    const double delayed = delays ? b.delayedAudio(b.upsampler) : f.other;
    oneStripOutputs<Mode>(compressed, delayed, *outLeft, *outRight);
}

template <class L>
template <int Mode, bool External, bool Bypass>
TARVO_NOINLINE void LaneEngine<L>::runFrames(const HostChunk& in, HostChunk& out,
                                                    std::int32_t frames) noexcept {
    auto keyLeft = [&](std::int32_t i) { return External ? in.keyLeft[i] : in.left[i]; };
    auto keyRight = [&](std::int32_t i) { return External ? in.keyRight[i] : in.right[i]; };
    if (twoStrips(Mode)) {
        if (!Bypass) {
            pairFrames<Mode, External>(in, out, frames);
            return;
        }
        for (std::int32_t i = 0; i < frames; ++i)
            pairBypassFrame<Mode, External>(&out.left[i], &out.right[i], in.left[i],
                                            in.right[i], keyLeft(i), keyRight(i));
        return;
    }
    // Strip B's lane runs as the twin of A's through the chunk and then
    // takes B's running values back (its coefficients are A's, as the
    // setters keep the strips equal): everything in it is as before the
    // chunk, except the decimator of the half "Mid." and "Side" delay
    // through B, which runs in lane 1 all along.
    constexpr bool halves = Mode == midOnly || Mode == sideOnly;
    const LaneHistory kept = lanes().history(1);
    const DecimatorSections<L> delaying = lanes().decimator;
    copyLane0ToLane1(lanes());
    if (halves) lanes().decimator = delaying;
    if (Bypass) {
        for (std::int32_t i = 0; i < frames; ++i)
            singleBypassFrame<Mode, External>(&out.left[i], &out.right[i], in.left[i],
                                              in.right[i], keyLeft(i), keyRight(i));
    } else {
        singleFrames<Mode, External>(in, out, frames);
    }
    const DecimatorSections<L> decimator = lanes().decimator;
    lanes().restoreHistory(kept, 1);
    if (halves) lanes().decimator = decimator;
}

template <class L>
template <bool External>
bool LaneEngine<L>::routeFrames(const HostChunk& in, HostChunk& out,
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
void LaneEngine<L>::processFrame(double* outLeft, double* outRight, double left,
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
void LaneEngine<L>::processFrameExternal(double* outLeft, double* outRight, double left,
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
void LaneEngine<L>::routeBlock(const Sample* inLeft, const Sample* inRight,
                                      const Sample* keyLeft, const Sample* keyRight,
                                      Sample* outLeft, Sample* outRight,
                                      std::int32_t frames) noexcept {
    HostChunk& in = hostIn_;
    HostChunk& out = hostOut_;
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
void LaneEngine<L>::reset() noexcept {
    strips_[0].reset();
    strips_[1].reset();
    lanes().reset();
    audioUpsamplerLeft.reset();
    audioUpsamplerRight.reset();
}

template <class L>
void LaneEngine<L>::updateDetectorFilters(bool alphaMode, double sampleRate,
                                                 double attackSeconds, double releaseSeconds,
                                                 double filterHz) noexcept {
    redesignStrips([&](ChannelStrip& strip) {
        strip.updateDetectorFilters(alphaMode, sampleRate, attackSeconds, releaseSeconds,
                                    filterHz);
    });
}

template <class L>
void LaneEngine<L>::designGainComputers(double threshold, double knee,
                                               double ratio) noexcept {
    changeStrips([&](ChannelStrip& strip) { strip.gainComputer.design(threshold, knee, ratio); });
}

template <class L>
void LaneEngine<L>::setClipLevel(double clipLevel) noexcept {
    changeStrips([&](ChannelStrip& strip) { strip.softClipper.clipLevel = clipLevel; });
}

template <class L>
void LaneEngine<L>::setSaturationEnabled(bool enabled) noexcept {
    saturationEnabled_ = enabled;
}

template <class L>
void LaneEngine<L>::setChannelMode(int mode) noexcept {
    mode_ = mode;
    // The strips do not clip in "Side" and "M/S"; in "M/S" the output sums are clipped instead.
    const bool active = saturationEnabled_ && mode != sideOnly && mode != midSide;
    changeStrips([&](ChannelStrip& strip) { strip.saturationActive = active; });
}

template <class L>
void LaneEngine<L>::setLimiterCeiling(double ceiling) noexcept {
    changeStrips([&](ChannelStrip& strip) { strip.limiterDetector.limiterCeiling = ceiling; });
}

template <class L>
void LaneEngine<L>::setLevels(double inputGain, double wetGain, double dryGain) noexcept {
    changeStrips([&](ChannelStrip& strip) {
        strip.inputGain = inputGain;
        strip.wetGain = wetGain;
        strip.dryGain = dryGain;
    });
}

template <class L>
void LaneEngine<L>::setScoop(double gain, double sampleRate) noexcept {
    redesignStrips([&](ChannelStrip& strip) { strip.setScoop(gain, sampleRate); });
}

template <class L>
void LaneEngine<L>::setOversampling(int factor, bool hq) noexcept {
    if (factor == strips_[0].oversamplingFactor && hq == hq_) return;
    redesignStrips([&](ChannelStrip& strip) { strip.setOversampling(factor, hq, noiseBits_); });
    audioUpsamplerLeft.setOversampling(factor, hq, interpolatorNoiseLevel(noiseBits_));
    audioUpsamplerRight.setOversampling(factor, hq, interpolatorNoiseLevel(noiseBits_));
    hq_ = hq;
}

template <class L>
void LaneEngine<L>::setLimiterPosition(bool pre, bool post) noexcept {
    changeStrips([&](ChannelStrip& strip) {
        strip.limiterPre = pre;
        strip.limiterPost = post;
    });
}

template <class L>
void LaneEngine<L>::setBypass(bool bypass) noexcept {
    changeStrips([&](ChannelStrip& strip) { strip.bypass = bypass; });
}

template <class L>
void LaneEngine<L>::setNoiseBits(int bits) noexcept {
    noiseBits_ = bits;
    changeStrips([&](ChannelStrip& strip) { strip.setNoiseBits(bits); });
    // The audio upsamplers of the external key add the same noise as the
    // strips' own, so "Dither" "Off" leaves none: bypass is then an exact
    // delay with either key.
    audioUpsamplerLeft.setNoiseLevel(interpolatorNoiseLevel(bits));
    audioUpsamplerRight.setNoiseLevel(interpolatorNoiseLevel(bits));
}

template <class L>
void LaneEngine<L>::takeOverSideChainAudio() noexcept {
    audioUpsamplerLeft.takeStateFrom(strips_[0].upsampler);
    audioUpsamplerRight.takeStateFrom(strips_[1].upsampler);
}

template <class L>
int LaneEngine<L>::latency() const noexcept {
    return strips_[0].downsampler.latency();
}

template class LaneEngine<Lanes2>;
// The host blocks the AudioEngine overrides run, inline in the header.
template void LaneEngine<Lanes2>::routeBlock<false, float>(const float*, const float*,
                                                           const float*, const float*, float*,
                                                           float*, std::int32_t) noexcept;
template void LaneEngine<Lanes2>::routeBlock<false, double>(const double*, const double*,
                                                            const double*, const double*,
                                                            double*, double*,
                                                            std::int32_t) noexcept;
template void LaneEngine<Lanes2>::routeBlock<true, float>(const float*, const float*,
                                                          const float*, const float*, float*,
                                                          float*, std::int32_t) noexcept;
template void LaneEngine<Lanes2>::routeBlock<true, double>(const double*, const double*,
                                                           const double*, const double*,
                                                           double*, double*,
                                                           std::int32_t) noexcept;

}  // namespace tarvo
