#pragma once

namespace tarvo {

/// Host sample rates the engine is configured for, in Hz: the configuration
/// ignores rates outside this range, and the engine keeps the memory that
/// the highest of them needs at the highest factor from its construction on.
constexpr double kMinimumSampleRate = 1000.0;
constexpr double kMaximumSampleRate = 4.0e6;

/// The settings the engine configuration pass writes between audio blocks.
/// Every strip setting is written with the same value into both strips.
/// Implemented by the StereoProcessor; the configuration pass talks to the
/// engine only through this interface, so it can be tested on its own.
/// Nothing here allocates or fails: every operation changes both strips
/// completely, so the strips always carry the same settings.
class EngineControl {
public:
    virtual ~EngineControl() = default;

    /// Redesigns both strips' envelope followers, key filters and limiter
    /// detectors at their oversampled rate. Times in seconds, filterHz 0 = off.
    virtual void updateDetectorFilters(bool alphaMode, double sampleRate, double attackSeconds,
                                       double releaseSeconds, double filterHz) noexcept = 0;
    /// Designs both strips' gain computers: threshold linear, knee 0..1,
    /// ratio 1.1 .. 10.99 or 100 for "inf".
    virtual void designGainComputers(double threshold, double knee, double ratio) noexcept = 0;
    /// Soft clipper level of both strips (linear).
    virtual void setClipLevel(double clipLevel) noexcept = 0;
    /// Saturation as chosen by the user, before the channel mode is applied.
    virtual void setSaturationEnabled(bool enabled) noexcept = 0;
    /// Stores the channel mode (0..6) and sets each strip's saturationActive
    /// to saturationEnabled && mode is neither "Side" (4) nor "M/S" (5).
    virtual void setChannelMode(int mode) noexcept = 0;
    virtual int channelMode() const noexcept = 0;
    /// Linear ceiling of both strips' peak limiters.
    virtual void setLimiterCeiling(double ceiling) noexcept = 0;
    virtual void setLevels(double inputGain, double wetGain, double dryGain) noexcept = 0;
    /// Scoop equaliser from its linear gain and the host sample rate.
    virtual void setScoop(double gain, double sampleRate) noexcept = 0;
    /// Factor 1, 2, 4 or 8; hq adds the halfband stages (never at 1x).
    virtual void setOversampling(int factor, bool hq) noexcept = 0;
    virtual void setLimiterPosition(bool pre, bool post) noexcept = 0;
    virtual void setBypass(bool bypass) noexcept = 0;
    /// Noise setting n: 0 (none), 20 or 24.
    virtual void setNoiseBits(int bits) noexcept = 0;
    /// The extra audio upsamplers take over the interpolation state of the
    /// strips' own upsamplers (when the side-chain becomes the key).
    virtual void takeOverSideChainAudio() noexcept = 0;
    /// Latency in host samples: 172 while strip A's downsampler runs its
    /// halfband stage, else 2.
    virtual int latency() const noexcept = 0;
};

}  // namespace tarvo
