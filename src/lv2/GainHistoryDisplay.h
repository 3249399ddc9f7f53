#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "lv2/InlineDisplayApi.h"

namespace tarvo::lv2 {

/// The gain reduction of the last seconds as a small picture (the inline
/// display of Lv2Plugin): the audio thread records, per slice of
/// kSliceSeconds, the most reduction it saw; the host's GUI thread draws
/// the newest slices as bars hanging from the top edge, newest on the
/// right, kRangeDb over the full height, with a grid line every
/// kGridDb. The two threads share only atomics: a ring of slice values and
/// the count of slices recorded.
class GainHistoryDisplay {
public:
    static constexpr double kSliceSeconds = 0.05;
    static constexpr std::uint32_t kSlices = 128;  ///< 6.4 s of history
    static constexpr float kRangeDb = 24.0f;
    static constexpr float kGridDb = 6.0f;
    static constexpr std::uint32_t kBackground = 0xff181818u;
    static constexpr std::uint32_t kGrid = 0xff404040u;
    static constexpr std::uint32_t kBar = 0xffe07020u;

    explicit GainHistoryDisplay(double sampleRate) noexcept;

    /// Audio thread: frames more frames whose reduction (dB, >= 0) was
    /// reductionDb. Returns whether a slice was completed (the picture
    /// changed). Allocates nothing.
    bool record(std::uint32_t frames, float reductionDb) noexcept;

    /// GUI thread: the picture width pixels wide and min(maxHeight,
    /// max(width / 3, 1)) high, or null for a width or height of 0 or when
    /// no memory can be had. The whole history spans the width: column x
    /// shows the slice (width - 1 - x) * kSlices / width slices older than
    /// the newest; a slice not yet recorded shows no reduction.
    Lv2InlineDisplayImageSurface* render(std::uint32_t width, std::uint32_t maxHeight) noexcept;

private:
    std::array<std::atomic<float>, kSlices> slices_;
    std::atomic<std::uint32_t> recorded_{0};
    std::uint32_t sliceFrames_;
    std::uint32_t framesInSlice_ = 0;
    float slicePeakDb_ = 0.0f;
    // GUI thread only.
    std::vector<std::uint32_t> pixels_;
    Lv2InlineDisplayImageSurface surface_{};
};

}  // namespace tarvo::lv2
