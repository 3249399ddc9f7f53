#pragma once

#include <cstdint>

namespace tarvo::lv2 {

/// The host's enabled switch (lv2:enabled). While it is off the main input
/// passes unchanged, delayed by the engine's latency (the processed path's
/// delay, so the two line up); a switch either way blends the processed
/// output and the delayed input linearly over kFadeSeconds, so the change is
/// heard neither as a step nor as a gap. The engine keeps running while off,
/// so switching back on fades into a settled compressor.
///
/// The delay line is fixed storage inside the object: nothing is allocated
/// while running. A block that blends is written and blended in stretches of
/// at most kChunkFrames, so the line never needs more than kChunkFrames plus
/// the longest latency.
class Lv2EnableFade {
public:
    static constexpr double kFadeSeconds = 0.010;
    static constexpr std::uint32_t kChunkFrames = 512;
    /// Delay-line length per channel (a power of two).
    static constexpr std::uint32_t kDelayFrames = 1024;
    /// The longest latency passed on exactly; a longer one is taken as this.
    static constexpr int kLongestLatency = static_cast<int>(kDelayFrames - kChunkFrames);

    explicit Lv2EnableFade(double sampleRate) noexcept;

    /// Frames a full fade takes: kFadeSeconds at the rate, at least 1.
    std::uint32_t fadeFrames() const noexcept { return fadeFrames_; }
    /// A silent delay line; the next run takes the switch as it finds it,
    /// without a fade (a host activating an instance with the switch off
    /// hears the input from the first frame).
    void reset() noexcept;
    /// Called at the start of every run with the switch's position: true
    /// when the output is the processed signal alone for the whole block
    /// (on, no fade under way), so the block needs no blend.
    bool steady(bool enabled) noexcept;
    /// Keeps frames of the main input (null reads as silence), taken before
    /// the engine may overwrite it in place.
    void write(const float* left, const float* right, std::uint32_t frames) noexcept;
    /// Blends frames of processed output (the frames last written, at most
    /// kChunkFrames) with the input delayed by latency frames, moving the
    /// blend a step per frame towards enabled. A null output is skipped.
    void blend(float* left, float* right, std::uint32_t frames, int latency,
               bool enabled) noexcept;

private:
    float line_[2][kDelayFrames] = {};
    std::uint32_t writeAt_ = 0;
    std::uint32_t fadeFrames_;
    /// Share of the processed signal in the output, 0 .. 1.
    float processedShare_ = 1.0f;
    bool started_ = false;
};

}  // namespace tarvo::lv2
