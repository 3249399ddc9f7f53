#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "engine/ChannelStrip.h"
#include "engine/AudioEngine.h"
#include "engine/StripLanes.h"
#include "filters/Upsampler.h"

namespace tarvo {

/// Channel modes, numbered like the options of the "Mode" parameter.
enum ChannelMode : int {
    monoLeft = 0,    ///< "Mono-L": L by strip A, on both outputs
    dualMono = 1,    ///< "2 Mono": L by A, R by B, independently
    rightKeyed = 2,  ///< "R-S.chn": L by A keyed by R, on both outputs
    midOnly = 3,     ///< "Mid.": M by A, S only delayed
    sideOnly = 4,    ///< "Side": S by A, M only delayed
    midSide = 5,     ///< "M/S": M by A, S by B, levels linked by maximum
    stereo = 6,      ///< "Stereo": L by A, R by B, levels linked by average
};

/// Whether a channel mode runs strip B as well as strip A.
constexpr bool twoStrips(int mode) noexcept { return mode == stereo || mode == midSide || mode == dualMono; }

/// The one place that turns the channel mode into code: calls
/// route(std::integral_constant<int, mode>()) for a valid mode and returns
/// true, or returns false for an invalid one.
template <typename Route>
inline bool routeMode(int mode, Route route) {
    switch (mode) {
        case monoLeft: route(std::integral_constant<int, monoLeft>()); return true;
        case dualMono: route(std::integral_constant<int, dualMono>()); return true;
        case rightKeyed: route(std::integral_constant<int, rightKeyed>()); return true;
        case midOnly: route(std::integral_constant<int, midOnly>()); return true;
        case sideOnly: route(std::integral_constant<int, sideOnly>()); return true;
        case midSide: route(std::integral_constant<int, midSide>()); return true;
        case stereo: route(std::integral_constant<int, stereo>()); return true;
        default: return false;
    }
}

/// A host sample as the engine takes it: widened to double, with a missing
/// channel (null) and a non-finite sample (NaN or an infinity, as an
/// upstream glitch may send) read as silence. No filter or envelope ever
/// takes in a non-finite value, so the audio after one carries on as if it
/// had been zero instead of turning to NaN for good.
template <typename Sample>
inline double hostSample(const Sample* channel, std::int32_t i) noexcept {
    if (!channel) return 0.0;
    const double x = static_cast<double>(channel[i]);
    return std::isfinite(x) ? x : 0.0;
}

/// The audio engine of one instance: two channel strips, their recursive
/// state side by side in lanes (L: Lanes2, two doubles in an SSE2
/// register), and the two extra audio upsamplers that the external key
/// needs. Turns one stereo frame into one stereo frame; the channel mode
/// decides what each strip listens to, what it processes and how the
/// results return to left and right. Every mode runs in lanes: "Stereo",
/// "M/S" and "2 Mono" with both strips side by side (an asleep strip's lane
/// holding its state), the one-strip modes with strip A in lane 0 and its
/// twin in lane 1, strip B's state put back after each chunk. Runs of
/// frames go through the kernel stage by stage (StripKernel.h).
///
/// This source is built once per kernel build: as tarvo::LaneEngine for
/// SSE2, and on x86-64 also as tarvo_avx2::LaneEngine for AVX2
/// (Avx2Kernel.cpp); StereoProcessor holds the one the CPU allows.
template <class L>
class LaneEngine final : public AudioEngine {
public:
    LaneEngine();

    // AudioEngine
    void processKeyedByMain(const float* inLeft, const float* inRight, float* outLeft,
                            float* outRight, std::int32_t frames) noexcept override {
        routeBlock<false, float>(inLeft, inRight, nullptr, nullptr, outLeft, outRight, frames);
    }
    void processKeyedByMain(const double* inLeft, const double* inRight, double* outLeft,
                            double* outRight, std::int32_t frames) noexcept override {
        routeBlock<false, double>(inLeft, inRight, nullptr, nullptr, outLeft, outRight, frames);
    }
    void processKeyedBySideChain(const float* inLeft, const float* inRight,
                                 const float* keyLeft, const float* keyRight, float* outLeft,
                                 float* outRight, std::int32_t frames) noexcept override {
        routeBlock<true, float>(inLeft, inRight, keyLeft, keyRight, outLeft, outRight, frames);
    }
    void processKeyedBySideChain(const double* inLeft, const double* inRight,
                                 const double* keyLeft, const double* keyRight,
                                 double* outLeft, double* outRight,
                                 std::int32_t frames) noexcept override {
        routeBlock<true, double>(inLeft, inRight, keyLeft, keyRight, outLeft, outRight, frames);
    }
    void processFrame(double* outLeft, double* outRight, double left,
                      double right) noexcept override;
    void processFrameExternal(double* outLeft, double* outRight, double left, double right,
                              double keyLeft, double keyRight) noexcept override;
    void reset() noexcept override;
    double appliedGain(int strip) const noexcept override {
        const L& smoothed = lanes_.get().smoother.outputFilter.y1;
        return 2.0 - (strip == 0 ? smoothed.lane0() : smoothed.lane1());
    }
    bool stripAwake(int strip) const noexcept override { return strips_[strip != 0].active; }
    bool bypassed() const noexcept override { return strips_[0].bypass; }

    // EngineControl
    void updateDetectorFilters(bool alphaMode, double sampleRate, double attackSeconds,
                               double releaseSeconds, double filterHz) noexcept override;
    void designGainComputers(double threshold, double knee, double ratio) noexcept override;
    void setClipLevel(double clipLevel) noexcept override;
    void setSaturationEnabled(bool enabled) noexcept override;
    void setChannelMode(int mode) noexcept override;
    int channelMode() const noexcept override { return mode_; }
    void setLimiterCeiling(double ceiling) noexcept override;
    void setLevels(double inputGain, double wetGain, double dryGain) noexcept override;
    void setScoop(double gain, double sampleRate) noexcept override;
    void setOversampling(int factor, bool hq) noexcept override;
    void setLimiterPosition(bool pre, bool post) noexcept override;
    void setBypass(bool bypass) noexcept override;
    void setNoiseBits(int bits) noexcept override;
    void takeOverSideChainAudio() noexcept override;
    int latency() const noexcept override;

    /// The strips' settings, gates and per-strip parts.
    const ChannelStrip& stripA() const noexcept { return strips_[0]; }
    const ChannelStrip& stripB() const noexcept { return strips_[1]; }
    bool saturationEnabled() const noexcept { return saturationEnabled_; }
    int noiseBits() const noexcept { return noiseBits_; }

    Upsampler audioUpsamplerLeft;   ///< main left audio for strip A (external key)
    Upsampler audioUpsamplerRight;  ///< main right audio for strip B (external key)

private:
    /// A chunk of a host block in double precision: main left and right,
    /// side-chain left and right (read only with the external key).
    struct HostChunk {
        static constexpr std::int32_t size = LaneRows<L>::maxFrames;
        double left[size], right[size], keyLeft[size], keyRight[size];
    };

    StripLanes<L>& lanes() noexcept { return lanes_.get(); }
    LaneRows<L>& rows() noexcept { return rows_.get(); }
    /// Strip k's sub-samples of one frame on the frame-by-frame paths: what
    /// an upsampler brings (the key, or the audio that then goes down) and
    /// what downsampleRows0 takes down. It is the first frame of the key row.
    double* frameSubSamples(int k) noexcept { return rows().key[k]; }

    /// A setting for both strips: change(strip) on each, so that the strips
    /// keep equal settings.
    template <typename Change>
    void changeStrips(Change change) noexcept {
        for (ChannelStrip& strip : strips_) change(strip);
    }
    /// changeStrips for a setting that redesigns sections the lanes run:
    /// the lanes then take the new designs.
    template <typename Change>
    void redesignStrips(Change change) noexcept {
        changeStrips(change);
        lanes().takeDesigns(strips_[0], strips_[1]);
    }

    /// `frames` frames with both strips awake: the keys (and, externalAudio,
    /// the audio) to the oversampled rate, runLanes, the way down; y[j] holds
    /// frame j's outputs in their lanes. The link and externalAudio are
    /// template arguments, so the loops have no branches on them.
    template <LevelLink link, bool externalAudio>
    void runBoth(const double* keyA, const double* keyB, const double* audioA,
                 const double* audioB, std::uint32_t frames, L* y) noexcept;
    /// One frame with both strips asleep: what an inactive strip does, in each lane.
    void idleBoth() noexcept;
    /// One frame of the strips' key rows (A if downA, B if downB) through
    /// the way down, a lane that does not go down kept as it was (its
    /// result 0).
    L downsampleRows0(bool downA, bool downB) noexcept;

    /// "Stereo", "M/S" and "2 Mono", unbypassed: both gates for every frame,
    /// then each run of frames in which the strips stay awake or asleep as
    /// they are in one go (an asleep strip holding its lane, or in "M/S" and
    /// "2 Mono" with the external key still running); frames with both
    /// asleep one by one.
    template <int Mode, bool External>
    void pairFrames(const HostChunk& in, HostChunk& out,
                    std::int32_t frames) noexcept;
    /// One frame of "Stereo", "M/S" and "2 Mono", bypassed: each awake strip
    /// returns its audio delayed by the latency, its limiter idles and its
    /// decimator takes its key row.
    template <int Mode, bool External>
    void pairBypassFrame(double* outLeft, double* outRight, double left, double right,
                         double keyLeft, double keyRight) noexcept;
    /// "Mono-L", "R-S.chn", "Mid." and "Side", unbypassed: A's gate for every
    /// frame, then each run of frames with A awake in one go, strip A in
    /// lane 0 and its twin in lane 1; strip B at most delays the other half
    /// of "Mid." and "Side" through its resamplers (lane 1 of the way down).
    template <int Mode, bool External>
    void singleFrames(const HostChunk& in, HostChunk& out,
                      std::int32_t frames) noexcept;
    /// One frame of "Mono-L", "R-S.chn", "Mid." and "Side", bypassed: A
    /// returns its audio delayed by the latency, B delays the other half.
    template <int Mode, bool External>
    void singleBypassFrame(double* outLeft, double* outRight, double left, double right,
                           double keyLeft, double keyRight) noexcept;

    /// The chunk's first `frames` frames in mode Mode (keyed by the
    /// side-chain inputs when External), bypassed or not.
    template <int Mode, bool External, bool Bypass>
    void runFrames(const HostChunk& in, HostChunk& out, std::int32_t frames) noexcept;
    /// runFrames in the current mode; false (nothing done) for an invalid one.
    template <bool External>
    bool routeFrames(const HostChunk& in, HostChunk& out, std::int32_t frames) noexcept;
    /// A host block in chunks: read by hostSample, routeFrames, written
    /// (silence for an invalid mode).
    template <bool External, typename Sample>
    void routeBlock(const Sample* inLeft, const Sample* inRight, const Sample* keyLeft,
                    const Sample* keyRight, Sample* outLeft, Sample* outRight,
                    std::int32_t frames) noexcept;

    ChannelStrip strips_[2];
    /// Both strips' recursive state, the only running copy.
    AlignedSlot<StripLanes<L>> lanes_;
    /// Scratch for a chunk; nothing in it is read before it is written.
    AlignedSlot<LaneRows<L>> rows_;
    /// A host block's chunk in and out, here rather than on the stack for
    /// the reason LaneRows gives.
    HostChunk hostIn_, hostOut_;
    int mode_ = stereo;
    bool saturationEnabled_ = true;
    bool hq_ = false;
    int noiseBits_ = 20;
};


}  // namespace tarvo
