#pragma once

#include <cmath>
#include <cstdint>
#include <type_traits>

#include "engine/ChannelStrip.h"
#include "engine/EngineControl.h"
#include "engine/StripPair.h"
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

/// The audio engine of one instance: two channel strips and the two extra
/// audio upsamplers that the external key needs. Turns one stereo frame into
/// one stereo frame; the channel mode decides what each strip listens to,
/// what it processes and how the results return to left and right.
class StereoProcessor final : public EngineControl {
public:
    StereoProcessor();

    /// Main input as the key. Writes both outputs for a valid mode; an
    /// invalid mode leaves them untouched.
    void processFrame(double* outLeft, double* outRight, double left, double right) noexcept;
    /// Side-chain input as the key (except in "M/S", keyed by the main input).
    void processFrameExternal(double* outLeft, double* outRight, double left, double right,
                              double keyLeft, double keyRight) noexcept;

    /// A block keyed by the main input: per frame what processFrame does,
    /// with the channel mode routed once per block. Inputs are read by
    /// hostSample (null or non-finite: silence), a null output is not
    /// written, and an invalid mode gives silence. Built for float and double.
    template <typename Sample>
    void processBlock(const Sample* inLeft, const Sample* inRight, Sample* outLeft,
                      Sample* outRight, std::int32_t frames) noexcept;
    /// processBlock keyed by the side-chain inputs, per frame what
    /// processFrameExternal does.
    template <typename Sample>
    void processBlockExternal(const Sample* inLeft, const Sample* inRight, const Sample* keyLeft,
                              const Sample* keyRight, Sample* outLeft, Sample* outRight,
                              std::int32_t frames) noexcept;

    /// Whether unbypassed frames in "Stereo", "M/S" and "2 Mono" run the
    /// strips side by side in lanes (on by default): with both strips
    /// active, and in "Stereo" and "2 Mono" (main key) also with one or both
    /// asleep, the asleep lane holding its state. Off, every frame runs the
    /// strips one after the other. The output is the same to the bit either
    /// way; the switch lets tests compare them.
    void setStripPairing(bool enabled) noexcept { stripPairing_ = enabled; }
    bool stripPairing() const noexcept { return stripPairing_; }

    /// Engine reset: both strips, then both audio upsamplers.
    void reset() noexcept;

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

    /// The strips, their state current (the paired lanes written back).
    ChannelStrip& stripA() noexcept { return releasePair(), strips_[0]; }
    ChannelStrip& stripB() noexcept { return releasePair(), strips_[1]; }
    bool saturationEnabled() const noexcept { return saturationEnabled_; }
    int noiseBits() const noexcept { return noiseBits_; }

    Upsampler audioUpsamplerLeft;   ///< main left audio for strip A (external key)
    Upsampler audioUpsamplerRight;  ///< main right audio for strip B (external key)

private:
    /// value through strip B's resamplers only: the same delay as a processed
    /// signal, no processing.
    double delayThroughB(double value) noexcept;
    /// Both strips' values in a row joined by `link`, as the lanes join them:
    /// the larger (M/S) or the average (Stereo).
    void linkRows(int row, LevelLink link) noexcept;
    /// Stereo link of the limiter gains: averages averaged, peaks by minimum.
    void linkLimiterGains() noexcept;
    /// "M/S" after both detects: levels linked by maximum, both strips run
    /// when either is active, the output sums through the strips' clippers.
    /// With externalAudio the audio upsamplers bring mid and side to row 0.
    void midSideFrame(double* outLeft, double* outRight, double mid, double side, bool activeA,
                      bool activeB, bool externalAudio) noexcept;
    /// "Stereo" after both detects: levels averaged, the active strips run,
    /// limiter gains linked when both run with a limiter; an inactive side
    /// passes its input. With externalAudio the audio upsamplers bring the
    /// main signal to the active strips' row 0.
    void stereoFrame(double* outLeft, double* outRight, double left, double right, bool activeA,
                     bool activeB, bool externalAudio) noexcept;

    /// Whether a frame in mode `mode` takes the paired path: in "Stereo",
    /// "M/S" and "2 Mono", unbypassed, with pairing on. Settings change only
    /// between blocks, so a block asks once.
    bool pairs(int mode) const noexcept {
        return stripPairing_ && !strips_[0].bypass &&
               (mode == stereo || mode == midSide || mode == dualMono);
    }
    /// The paired path for "Stereo", "M/S" and "2 Mono" (and nothing for
    /// the other modes): both gates, then both strips side by side when both
    /// are active, else the strips one after the other.
    template <int Mode, bool External>
    void pairedFrame(double* outLeft, double* outRight, double left, double right,
                     double keyLeft, double keyRight) noexcept;
    /// The strips one after the other, keyed by the main input.
    template <int Mode>
    void mainFrame(double* outLeft, double* outRight, double left, double right) noexcept;
    /// The strips one after the other, keyed by the side-chain inputs.
    template <int Mode>
    void externalFrame(double* outLeft, double* outRight, double left, double right,
                       double keyLeft, double keyRight) noexcept;
    /// A chunk of a host block in double precision: main left and right,
    /// side-chain left and right (read only with the external key).
    struct HostChunk {
        static constexpr std::int32_t size = 64;
        double left[size], right[size], keyLeft[size], keyRight[size];
    };
    /// The chunk's first `frames` frames in mode Mode (keyed by the
    /// side-chain inputs when External), by the paired path when Paired
    /// (pairs(Mode) holds), else the strips one after the other.
    template <int Mode, bool External, bool Paired>
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
    /// Both strips active: keys to row 0, detectPair, the audio to row 0 when
    /// it differs from the key, compressPair, downsamplePair.
    /// The link and externalAudio are template arguments, so the block
    /// loops get their frame inline with no branches on them.
    template <LevelLink link, bool externalAudio>
    void runPair(double& outA, double& outB, double keyA, double keyB, double audioA,
                 double audioB) noexcept;

    /// A setting for both strips: the lanes' state back first, then change(strip)
    /// on each, so that the strips keep equal settings.
    template <typename Change>
    void changeStrips(Change change) {
        releasePair();
        for (ChannelStrip& strip : strips_) change(strip);
    }

    /// The lanes' state, loaded from the strips if they hold it.
    StripPairState& livePair() noexcept {
        if (!pairLive_) {
            pair_.get().load(strips_[0], strips_[1]);
            pairLive_ = true;
        }
        return pair_.get();
    }
    /// Both strips asleep in the lanes: what idle does to each.
    void idlePair() noexcept;

    /// Writes the paired lanes' state back into the strips when the lanes
    /// hold it; everything that reads or changes the strips outside the
    /// paired frames calls this first. Const, since the strips' observable
    /// state does not change (it only becomes current).
    void releasePair() noexcept {
        if (pairLive_) {
            pair_.get().store(strips_[0], strips_[1]);
            pairLive_ = false;
        }
    }

    ChannelStrip strips_[2];
    /// Both strips' recursive state in lanes, current while pairLive_.
    StripPairSlot pair_;
    bool pairLive_ = false;
    FrameBuffer buffers_[2];  ///< per-frame scratch of strip A and strip B
    int mode_ = stereo;
    bool saturationEnabled_ = true;
    bool hq_ = false;
    int noiseBits_ = 20;
    bool stripPairing_ = true;
};

}  // namespace tarvo
