#pragma once

#include <cstdint>

namespace tarvo::lv2 {

/// The three meters of the LV2 edition, read by the host from output
/// control ports after every run:
/// - gain reduction: the compressor's reduction in dB as a positive figure
///   (0 = none; a gain above unity also reads 0), the limiter not included;
/// - input and output level: the block's sample peak in dBFS.
/// Each reading rises at once to the block's figure and otherwise falls back
/// by kFallDbPerSecond (towards 0 dB of reduction, towards the floor for
/// the levels). Levels stay within [kFloorDb, kHighestLevelDb], the
/// reduction within [0, kMostReductionDb]; silence reads kFloorDb.
class Lv2Meters {
public:
    static constexpr float kFloorDb = -80.0f;
    static constexpr float kHighestLevelDb = 20.0f;
    static constexpr float kMostReductionDb = 60.0f;
    static constexpr float kFallDbPerSecond = 20.0f;

    explicit Lv2Meters(double sampleRate) noexcept : sampleRate_(sampleRate) {}

    /// All meters at rest: levels at the floor, no reduction.
    void reset() noexcept;
    /// One block of frames: the largest magnitude of the main input (taken
    /// before processing) and of the output, and the gain the compressor
    /// applies at the block's end (linear, 1 = none). Non-finite samples
    /// are skipped.
    void update(std::uint32_t frames, float inputPeak, float outputPeak, double gain) noexcept;

    float gainReductionDb() const noexcept { return reductionDb_; }
    float inputDb() const noexcept { return inputDb_; }
    float outputDb() const noexcept { return outputDb_; }

    /// The largest finite magnitude of up to two channels (null: none).
    static float peak(const float* left, const float* right, std::uint32_t frames) noexcept;

private:
    double sampleRate_;
    float reductionDb_ = 0.0f;
    float inputDb_ = kFloorDb;
    float outputDb_ = kFloorDb;
};

}  // namespace tarvo::lv2
