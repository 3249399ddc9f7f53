#include "lv2/Lv2Meters.h"

#include <algorithm>
#include <cmath>

namespace tarvo::lv2 {

namespace {

/// max(figure, reading - fall), within [low, high].
float fallBack(float reading, float figure, float fallDb, float low, float high) noexcept {
    return std::clamp(std::max(figure, reading - fallDb), low, high);
}

float levelDb(float peak) noexcept {
    return peak > 0.0f ? 20.0f * std::log10(peak) : Lv2Meters::kFloorDb;
}

}  // namespace

void Lv2Meters::reset() noexcept {
    reductionDb_ = 0.0f;
    inputDb_ = outputDb_ = kFloorDb;
}

void Lv2Meters::update(std::uint32_t frames, float inputPeak, float outputPeak,
                       double gain) noexcept {
    const auto fallDb = static_cast<float>(kFallDbPerSecond * frames / sampleRate_);
    // A gain of 0 or below cannot be shown in dB: the most reduction; NaN
    // reads as none.
    const float reduction = !(gain < 1.0) ? 0.0f
                            : gain > 0.0  ? static_cast<float>(-20.0 * std::log10(gain))
                                          : kMostReductionDb;
    reductionDb_ = fallBack(reductionDb_, reduction, fallDb, 0.0f, kMostReductionDb);
    inputDb_ = fallBack(inputDb_, levelDb(inputPeak), fallDb, kFloorDb, kHighestLevelDb);
    outputDb_ = fallBack(outputDb_, levelDb(outputPeak), fallDb, kFloorDb, kHighestLevelDb);
}

float Lv2Meters::peak(const float* left, const float* right, std::uint32_t frames) noexcept {
    float largest = 0.0f;
    for (const float* channel : {left, right}) {
        if (channel == nullptr) continue;
        for (std::uint32_t i = 0; i < frames; ++i) {
            const float magnitude = std::fabs(channel[i]);
            // NaN fails the comparison; infinity is left out on purpose.
            if (magnitude > largest && magnitude <= 3.4e38f) largest = magnitude;
        }
    }
    return largest;
}

}  // namespace tarvo::lv2
