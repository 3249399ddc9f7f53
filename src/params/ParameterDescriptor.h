#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace tarvo {

/// Longest parameter text the host is given: 8 characters, terminator at [8].
constexpr int kParameterTextLength = 8;

/// Both scales map positions linearly; they differ in the engine value only.
enum class Scale : std::int32_t { Linear = 0, Decibel = 3 };

/// Copies at most maxLength characters of source into text, pads with zeros
/// up to maxLength and writes a terminator at text[maxLength], so exactly
/// maxLength + 1 bytes are written. A null text is left alone; a null source
/// counts as the empty text.
void copyText(char* text, const char* source, std::size_t maxLength) noexcept;

/// One parameter: its texts, range and scale, and its current value in
/// parameter units (Hz, dB, ms, option number ...). The host sees a position
/// 0..1; value = minimum + (maximum - minimum) * position, both ends clamped.
///
/// Threads: the value and the changed mark are written by the host's threads
/// and read by the audio thread's configuration pass. The value is stored
/// first, then the mark with release order; the pass takes the mark with
/// acquire order and then loads the value, so it always sees a value at
/// least as new as the mark it consumed. The range and precision of Attack
/// and Release change at run time (the "A,R Time" switch) and are atomics
/// too: readers on other threads never see a torn number, at worst a
/// display made from the old and the new range for one moment.
class ParameterDescriptor {
public:
    /// An empty label is stored as none. options, when given, has
    /// maximum - minimum + 1 entries and is not owned.
    ParameterDescriptor(const char* name, const char* label, double minimum, double maximum,
                        Scale scale, const char* minText, const char* maxText, int precision,
                        const char* const* options) noexcept;

    ParameterDescriptor(const ParameterDescriptor&) = delete;
    ParameterDescriptor& operator=(const ParameterDescriptor&) = delete;

    /// Position to value: <= 0 (and NaN) gives minimum exactly, >= 1 gives
    /// maximum exactly, otherwise minimum + (maximum - minimum) * position.
    /// No rounding, also not for choice parameters.
    double toValue(float position) const noexcept;
    /// (value - minimum) / (maximum - minimum) in double, narrowed to float.
    float toNormalized(double value) const noexcept;
    /// Decibel: 10^(value * 0.05), the amplitude ratio; Linear: the value.
    double engineValue(double value) const noexcept;
    /// floor(value - minimum + 0.5): the option a choice parameter shows.
    /// Kept inside the option list (NaN gives 0), so it is always a valid
    /// index of options.
    int optionIndex(double value) const noexcept;
    /// The display text, at most 8 characters and a terminator (text holds
    /// 9 bytes): the option name; minText at exactly minimum; maxText at
    /// exactly maximum; floor(value + 0.5) when precision is 0; else the
    /// value with precision decimals, rounded like "%.*f". Numbers are
    /// formatted without the process locale, so the point is always '.'.
    void displayText(double value, char* text) const noexcept;

    const char* name() const noexcept { return name_; }
    /// None (null) when the parameter has no unit label.
    const char* label() const noexcept { return label_; }
    Scale scale() const noexcept { return scale_; }
    const char* minText() const noexcept { return minText_; }
    const char* maxText() const noexcept { return maxText_; }
    const char* const* options() const noexcept { return options_; }

    double minimum() const noexcept { return minimum_.load(std::memory_order_relaxed); }
    double maximum() const noexcept { return maximum_.load(std::memory_order_relaxed); }
    int precision() const noexcept { return precision_.load(std::memory_order_relaxed); }
    /// New range and display precision; the value is not touched.
    void setRange(double minimum, double maximum, int precision) noexcept;

    double value() const noexcept { return value_.load(std::memory_order_acquire); }
    /// Stores the value, then raises the changed mark.
    void assign(double value) noexcept;
    /// Raises the changed mark without touching the value.
    void markChanged() noexcept { changed_.store(true, std::memory_order_release); }
    bool changed() const noexcept { return changed_.load(std::memory_order_acquire); }
    /// Clears the mark and reports whether it was raised; a value loaded
    /// after a true answer is at least as new as the assignment that
    /// raised it.
    bool consumeChange() noexcept { return changed_.exchange(false, std::memory_order_acq_rel); }

private:
    const char* name_;
    const char* label_;
    std::atomic<double> minimum_;
    std::atomic<double> maximum_;
    Scale scale_;
    const char* minText_;
    const char* maxText_;
    const char* const* options_;
    std::atomic<int> precision_;
    std::atomic<double> value_{0.0};
    std::atomic<bool> changed_{false};
};

}  // namespace tarvo
