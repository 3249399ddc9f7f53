#pragma once

#include <cstdint>

#include <ebur128.h>

namespace tarvo::render {

/// Sample peak and integrated loudness (EBU R128, through libebur128) of a
/// stream of interleaved frames.
class LevelMeter {
public:
    /// Throws a processing ToolError if libebur128 refuses the layout.
    LevelMeter(int channels, int sampleRate);
    ~LevelMeter();
    LevelMeter(const LevelMeter&) = delete;
    LevelMeter& operator=(const LevelMeter&) = delete;

    void add(const double* interleaved, std::int64_t frames);

    /// Highest sample magnitude over all channels in dBFS (20 log10 |x|,
    /// 0 dBFS = 1.0); -infinity for silence.
    double peakDbfs() const;
    /// Integrated loudness in LUFS; -infinity when the stream is silent or
    /// shorter than one 400 ms gating block.
    double loudnessLufs() const;
    /// Samples with a magnitude above 1.0, which an integer file clips.
    std::int64_t samplesAboveFullScale() const { return overs_; }

private:
    ebur128_state* state_ = nullptr;
    int channels_;
    std::int64_t overs_ = 0;
};

}  // namespace tarvo::render
