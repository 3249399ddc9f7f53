#include "lv2/GainHistoryDisplay.h"

#include <algorithm>
#include <cmath>

namespace tarvo::lv2 {

GainHistoryDisplay::GainHistoryDisplay(double sampleRate) noexcept
    : sliceFrames_(static_cast<std::uint32_t>(std::max(1.0, std::round(kSliceSeconds * sampleRate)))) {
    for (auto& slice : slices_) slice.store(0.0f, std::memory_order_relaxed);
}

bool GainHistoryDisplay::record(std::uint32_t frames, float reductionDb) noexcept {
    slicePeakDb_ = std::max(slicePeakDb_, reductionDb);
    framesInSlice_ += std::min(frames, kSlices * sliceFrames_);
    bool completed = false;
    while (framesInSlice_ >= sliceFrames_) {
        const std::uint32_t count = recorded_.load(std::memory_order_relaxed);
        slices_[count % kSlices].store(slicePeakDb_, std::memory_order_relaxed);
        // Release: a reader that sees the count sees the slice.
        recorded_.store(count + 1, std::memory_order_release);
        framesInSlice_ -= sliceFrames_;
        // A block longer than a slice fills the following ones with its
        // own reduction.
        slicePeakDb_ = reductionDb;
        completed = true;
    }
    return completed;
}

Lv2InlineDisplayImageSurface* GainHistoryDisplay::render(std::uint32_t width,
                                                         std::uint32_t maxHeight) noexcept {
    const std::uint32_t height = std::min(maxHeight, std::max(width / 3, 1u));
    if (width == 0 || height == 0 || width > 1u << 14) return nullptr;
    try {
        pixels_.resize(static_cast<std::size_t>(width) * height);
    } catch (...) {
        return nullptr;
    }
    const std::uint32_t recorded = recorded_.load(std::memory_order_acquire);
    auto rowsFor = [height](float db) {
        return static_cast<std::uint32_t>(std::lround(std::clamp(db / kRangeDb, 0.0f, 1.0f) * height));
    };
    for (std::uint32_t y = 0; y < height; ++y) {
        bool grid = false;
        for (float db = kGridDb; db < kRangeDb; db += kGridDb) grid |= y == rowsFor(db);
        std::fill_n(pixels_.begin() + static_cast<std::ptrdiff_t>(y * width), width,
                    grid ? kGrid : kBackground);
    }
    for (std::uint32_t x = 0; x < width; ++x) {
        const std::uint32_t age = static_cast<std::uint32_t>(
            static_cast<std::uint64_t>(width - 1 - x) * kSlices / width);
        if (age >= recorded) continue;
        const float db = slices_[(recorded - 1 - age) % kSlices].load(std::memory_order_relaxed);
        const std::uint32_t rows = rowsFor(db);
        for (std::uint32_t y = 0; y < rows; ++y) pixels_[y * width + x] = kBar;
    }
    surface_.data = reinterpret_cast<unsigned char*>(pixels_.data());
    surface_.width = static_cast<int>(width);
    surface_.height = static_cast<int>(height);
    surface_.stride = static_cast<int>(width * sizeof(std::uint32_t));
    return &surface_;
}

}  // namespace tarvo::lv2
