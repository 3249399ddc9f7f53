#include "lv2/Lv2EnableFade.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace tarvo::lv2 {

Lv2EnableFade::Lv2EnableFade(double sampleRate) noexcept
    : fadeFrames_(static_cast<std::uint32_t>(std::max(1.0, std::round(kFadeSeconds * sampleRate)))) {}

void Lv2EnableFade::reset() noexcept {
    for (auto& channel : line_) std::fill(std::begin(channel), std::end(channel), 0.0f);
    writeAt_ = 0;
    started_ = false;
}

bool Lv2EnableFade::steady(bool enabled) noexcept {
    if (!started_) {
        processedShare_ = enabled ? 1.0f : 0.0f;
        started_ = true;
    }
    return enabled && processedShare_ == 1.0f;
}

void Lv2EnableFade::write(const float* left, const float* right, std::uint32_t frames) noexcept {
    // Only the newest kDelayFrames frames can ever be read.
    const std::uint32_t skipped = frames > kDelayFrames ? frames - kDelayFrames : 0;
    const float* inputs[2] = {left, right};
    for (int c = 0; c < 2; ++c) {
        std::uint32_t at = writeAt_;
        for (std::uint32_t i = skipped; i < frames; ++i) {
            line_[c][at] = inputs[c] != nullptr ? inputs[c][i] : 0.0f;
            at = (at + 1) & (kDelayFrames - 1);
        }
    }
    writeAt_ = (writeAt_ + (frames - skipped)) & (kDelayFrames - 1);
}

void Lv2EnableFade::blend(float* left, float* right, std::uint32_t frames, int latency,
                          bool enabled) noexcept {
    const auto delay = static_cast<std::uint32_t>(std::clamp(latency, 0, kLongestLatency));
    const float target = enabled ? 1.0f : 0.0f;
    const float step = 1.0f / static_cast<float>(fadeFrames_);
    float* outputs[2] = {left, right};
    // Frame i was written at writeAt_ - frames + i.
    const std::uint32_t first = writeAt_ + kDelayFrames * 2 - frames - delay;
    float share = processedShare_;
    for (std::uint32_t i = 0; i < frames; ++i) {
        share = enabled ? std::min(target, share + step) : std::max(target, share - step);
        const std::uint32_t at = (first + i) & (kDelayFrames - 1);
        for (int c = 0; c < 2; ++c) {
            if (outputs[c] == nullptr) continue;
            const float passed = line_[c][at];
            float& out = outputs[c][i];
            // The ends are exact: the delayed input alone, the processed alone.
            out = share == 0.0f ? passed
                  : share == 1.0f ? out
                                  : share * out + (1.0f - share) * passed;
        }
    }
    processedShare_ = share;
}

}  // namespace tarvo::lv2
