#include "LevelMeter.h"

#include <ebur128.h>

#include <cmath>
#include <limits>
#include <string>

#include "ToolError.h"

namespace tarvo::render {

LevelMeter::LevelMeter(int channels, int sampleRate) : channels_(channels) {
    state_ = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate),
                          EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK);
    if (!state_)
        throw processingError("cannot measure loudness of " + std::to_string(channels) +
                              " channels at " + std::to_string(sampleRate) + " Hz");
}

LevelMeter::~LevelMeter() {
    if (state_) ebur128_destroy(&state_);
}

void LevelMeter::add(const double* interleaved, std::int64_t frames) {
    if (frames <= 0) return;
    ebur128_add_frames_double(state_, interleaved, static_cast<std::size_t>(frames));
    const std::int64_t samples = frames * channels_;
    for (std::int64_t i = 0; i < samples; ++i)
        if (std::fabs(interleaved[i]) > 1.0) ++overs_;
}

double LevelMeter::peakDbfs() const {
    double peak = 0.0;
    for (int channel = 0; channel < channels_; ++channel) {
        double channelPeak = 0.0;
        if (ebur128_sample_peak(state_, static_cast<unsigned>(channel), &channelPeak) == EBUR128_SUCCESS)
            peak = std::max(peak, channelPeak);
    }
    return peak > 0.0 ? 20.0 * std::log10(peak) : -std::numeric_limits<double>::infinity();
}

double LevelMeter::loudnessLufs() const {
    double loudness = 0.0;
    if (ebur128_loudness_global(state_, &loudness) != EBUR128_SUCCESS || !std::isfinite(loudness))
        return -std::numeric_limits<double>::infinity();
    return loudness;
}

}  // namespace tarvo::render
