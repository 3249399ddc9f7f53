#pragma once

#include <cstdint>

#include "engine/EnvelopeFollower.h"
#include "engine/GainComputer.h"
#include "engine/PeakLimiterDetector.h"
#include "engine/SoftClipper.h"
#include "filters/Downsampler.h"
#include "filters/ScoopEq.h"
#include "filters/SideChainFilter.h"
#include "filters/Upsampler.h"

namespace tarvo {

/// One compressor channel's settings and the parts of it that run per
/// strip: resamplers, gain computer, limiter window, silence gate. A frame
/// runs detect (key in, levels out), then compress (static gain, gain
/// smoothing, limiter detector, and for the limiter "Post" and "Off"
/// positions the scoop and the mix), then finish (limiter gain, saturation,
/// for "Pre" the scoop and the mix, and the way back to the host rate).
/// Everything between the resamplers runs at the oversampled rate in the
/// row loops of StripKernel.h, stage by stage over a run of frames, with
/// both strips' recursive state in lanes (StripLanes in StripLanes.h). The
/// key filter, envelope followers, limiter sections, scoops and decimator
/// sections held here are designs: the lanes take their coefficients, and
/// their own histories are never run.
///
/// Stage order per sub-sample:
///   "Pre":  compression -> limiter gain -> saturation -> scoop -> mix
///   "Post": compression -> scoop -> mix -> limiter gain -> saturation
///   "Off":  compression -> scoop -> mix -> saturation
struct ChannelStrip {
    ChannelStrip();

    /// The silence gate: counts frames in which key and audio are both zero
    /// (x == 0.0) while active, falls asleep after silenceHoldSamples of
    /// them, wakes on any other frame (NaN included). Returns whether the
    /// strip is active. With the key as the audio, gate(x, x) listens to x
    /// alone. An asleep strip passes its input undelayed, which is the input
    /// delayed by the path's latency only while that input and everything in
    /// the resamplers are zeros; so a silent key under playing audio keeps
    /// the strip awake.
    inline bool gate(double key, double audio) noexcept {
        return gateHearing(key != 0.0 || audio != 0.0);
    }
    /// One gate step: `heard` is false for a silent frame.
    inline bool gateHearing(bool heard) noexcept;
    /// Clears the resamplers' histories; settings, designs, the limiter
    /// window and the silence gate's state are kept.
    void reset() noexcept;

    /// Resamplers at a new factor (1, 2, 4, 8) and HQ choice; histories kept.
    void setOversampling(int factor, bool hq, int noiseBits) noexcept;
    void setNoiseBits(int noiseBits) noexcept;
    /// Wet and dry scoop designs for a linear gain at the strip's own rate.
    void setScoop(double linearGain, double sampleRate) noexcept;
    /// Envelope followers, key filter and limiter detector (window length
    /// included) for the strip's oversampled rate.
    void updateDetectorFilters(bool alphaMode, double sampleRate, double attackSeconds,
                               double releaseSeconds, double filterHz) noexcept;

    /// The most recent scaled key sample that entered the upsampler (noise
    /// included); the limiter's key runs this far ahead of the audio.
    double newestKey() const noexcept { return upsampler.interpolator.history[3]; }
    /// What `source` took in, delayed by exactly the latency of the whole
    /// resampling path (downsampler.latency(): 2 host samples, 172 with HQ):
    /// without HQ the interpolator's x[n-2] (its dither included), with HQ
    /// the halfband stage's stored input of 172 samples ago.
    double delayedAudio(const Upsampler& source) const noexcept {
        return source.hq ? source.halfband.pastInput(downsampler.latency())
                         : source.interpolator.history[1];
    }

    Upsampler upsampler;
    Downsampler downsampler;
    SideChainFilter sideChain;  ///< high-pass pair when highPassOn, else the shelf
    EnvelopeFollower levelDetector;
    EnvelopeFollower gainSmoother;
    GainComputer gainComputer;
    SoftClipper softClipper;
    PeakLimiterDetector limiterDetector;
    ScoopEq scoopWet;
    ScoopEq scoopDry;
    double detectorGain = 1.0;
    bool scoopOn = false;
    bool saturationActive = true;
    std::uint32_t silenceHoldSamples = 44100;
    std::uint32_t subSampleCount = 4;
    int oversamplingFactor = 4;
    double wetGain = 1.0;
    double dryGain = 0.0;
    double inputGain = 1.0;
    bool bypass = false;
    bool limiterPre = true;
    bool limiterPost = false;
    std::uint32_t silenceCounter = 0;
    bool active = false;
};

inline bool ChannelStrip::gateHearing(bool heard) noexcept {
    // A NaN key compares unequal to 0.0 and so counts as heard.
    if (active) {
        if (!heard) {
            if (++silenceCounter >= silenceHoldSamples) active = false;
        } else {
            silenceCounter = 0;
        }
    } else if (heard) {
        active = true;
        silenceCounter = 0;
    }
    return active;
}

}  // namespace tarvo
