#include "params/ParameterDescriptor.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace tarvo {

namespace {

/// Writes the first 8 characters of [begin, end) and a terminator right
/// after them, like a bounded formatter into 9 bytes: the bytes behind the
/// terminator are not touched.
void writeCut(char* text, const char* begin, const char* end) noexcept {
    std::size_t length = static_cast<std::size_t>(end - begin);
    if (length > static_cast<std::size_t>(kParameterTextLength)) length = kParameterTextLength;
    std::memcpy(text, begin, length);
    text[length] = '\0';
}

/// "%d" of floor(value + 0.5), without the locale.
void formatRounded(double value, char* text) noexcept {
    const double rounded = std::floor(value + 0.5);
    char buffer[32];
    std::to_chars_result result;
    if (rounded >= -2147483648.0 && rounded <= 2147483647.0) {
        result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::int32_t>(rounded));
    } else {
        // Out of int range or NaN: no integer conversion; the digits of the
        // rounded number itself.
        result = std::to_chars(buffer, buffer + sizeof buffer, rounded, std::chars_format::fixed, 0);
    }
    if (result.ec != std::errc()) {
        text[0] = '\0';
        return;
    }
    writeCut(text, buffer, result.ptr);
}

/// "%.*f" of value, without the locale. The exact conversion rounds the
/// binary value to the nearest decimal, as the C formatter does.
void formatFixed(double value, int precision, char* text) noexcept {
    char buffer[400];  // room for any double in fixed notation with up to 80 decimals
    if (precision < 0) precision = 6;  // "%.*f" takes a negative precision as omitted
    const std::to_chars_result result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
    if (result.ec != std::errc()) {
        text[0] = '\0';  // only for an absurd precision: the number does not fit
        return;
    }
    writeCut(text, buffer, result.ptr);
}

}  // namespace

void copyText(char* text, const char* source, std::size_t maxLength) noexcept {
    if (text == nullptr) return;
    std::size_t i = 0;
    if (source != nullptr) {
        for (; i < maxLength && source[i] != '\0'; ++i) text[i] = source[i];
    }
    for (; i <= maxLength; ++i) text[i] = '\0';
}

ParameterDescriptor::ParameterDescriptor(const char* name, const char* label, double minimum,
                                         double maximum, Scale scale, const char* minText,
                                         const char* maxText, int precision,
                                         const char* const* options) noexcept
    : name_(name),
      label_(label != nullptr && label[0] != '\0' ? label : nullptr),
      minimum_(minimum),
      maximum_(maximum),
      scale_(scale),
      minText_(minText),
      maxText_(maxText),
      options_(options),
      precision_(precision) {}

double ParameterDescriptor::toValue(float position) const noexcept {
    const double x = position;
    const double lo = minimum();
    const double hi = maximum();
    if (!(x > 0.0)) return lo;  // also a NaN position
    if (x >= 1.0) return hi;
    return lo + (hi - lo) * x;
}

float ParameterDescriptor::toNormalized(double value) const noexcept {
    const double lo = minimum();
    return static_cast<float>((value - lo) / (maximum() - lo));
}

double ParameterDescriptor::engineValue(double value) const noexcept {
    return scale_ == Scale::Decibel ? std::pow(10.0, value * 0.05) : value;
}

int ParameterDescriptor::optionIndex(double value) const noexcept {
    const double index = std::floor(value - minimum() + 0.5);
    const double last = std::floor(maximum() - minimum() + 0.5);
    if (!(index > 0.0)) return 0;
    if (options_ != nullptr && index > last) return static_cast<int>(last);
    if (index > 2147483647.0) return 2147483647;
    return static_cast<int>(index);
}

void ParameterDescriptor::displayText(double value, char* text) const noexcept {
    if (text == nullptr) return;
    if (options_ != nullptr) {
        copyText(text, options_[optionIndex(value)], kParameterTextLength);
    } else if (minText_ != nullptr && value == minimum()) {
        copyText(text, minText_, kParameterTextLength);
    } else if (maxText_ != nullptr && value == maximum()) {
        copyText(text, maxText_, kParameterTextLength);
    } else if (precision() == 0) {
        formatRounded(value, text);
    } else {
        formatFixed(value, precision(), text);
    }
}

void ParameterDescriptor::setRange(double minimum, double maximum, int precision) noexcept {
    minimum_.store(minimum, std::memory_order_relaxed);
    maximum_.store(maximum, std::memory_order_relaxed);
    precision_.store(precision, std::memory_order_relaxed);
}

void ParameterDescriptor::assign(double value) noexcept {
    value_.store(value, std::memory_order_release);
    changed_.store(true, std::memory_order_release);
}

}  // namespace tarvo
