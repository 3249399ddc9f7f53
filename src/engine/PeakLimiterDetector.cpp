#include "engine/PeakLimiterDetector.h"

#include <algorithm>
#include <new>

#include "engine/EngineControl.h"
#include "filters/Lanes.h"
#include "filters/Oversampling.h"

namespace tarvo {

namespace {
constexpr std::align_val_t kWindowAlignment{16};
constexpr std::uint32_t kInitialWindowLength = 2;
/// Slots after the window's last entry, kept at 0.0.
constexpr std::uint32_t kPaddingSlots = 2;

void zeroSlots(double* p, std::uint32_t from, std::uint32_t to) noexcept {
    for (std::uint32_t i = from; i < to; ++i) p[i] = 0.0;
}
}  // namespace

std::uint32_t PeakLimiterDetector::maximumWindowLength() noexcept {
    return limiterWindowLength(kMaximumSampleRate * kMaximumOversampling);
}

void PeakLimiterDetector::AlignedDelete::operator()(double* p) const noexcept {
    ::operator delete[](p, kWindowAlignment);
}

PeakLimiterDetector::Buffer PeakLimiterDetector::allocateStorage() {
    // Left unwritten: the slots in use are written before they are read, so
    // only the part of the storage that the rate needs is ever touched.
    const std::size_t slots = static_cast<std::size_t>(maximumWindowLength()) + kPaddingSlots;
    return Buffer(static_cast<double*>(::operator new[](slots * sizeof(double), kWindowAlignment)));
}

PeakLimiterDetector::PeakLimiterDetector() : storage_(allocateStorage()) {
    window_.data = storage_.get();
    window_.length = kInitialWindowLength;
    zeroSlots(window_.data, 0, window_.length + kPaddingSlots);
    applyDesign(LimiterFilters{designSmoothingLowPass(0.1), designSmoothingLowPass(0.1),
                               designSmoothingLowPass(0.1)});
}

PeakLimiterDetector::PeakLimiterDetector(const PeakLimiterDetector& other)
    : storage_(allocateStorage()) {
    *this = other;
}

PeakLimiterDetector& PeakLimiterDetector::operator=(const PeakLimiterDetector& other) {
    if (this == &other) return *this;
    if (!storage_) storage_ = allocateStorage();  // moved from
    limiterCeiling = other.limiterCeiling;
    window_ = other.window_;
    window_.data = storage_.get();
    std::copy_n(other.window_.data, window_.length + kPaddingSlots, window_.data);
    sections_ = other.sections_;
    return *this;
}

void PeakLimiterDetector::reset() noexcept { sections_.reset(); }

void PeakLimiterDetector::resizeWindow(std::uint32_t n) noexcept {
    n = std::clamp(n, kInitialWindowLength, maximumWindowLength());
    double* w = window_.data;
    // Oldest entry first, in place; then the kept part is cut to n entries,
    // or the new entries behind the old ones start at zero.
    std::rotate(w, w + window_.position, w + window_.length);
    if (n > window_.length) zeroSlots(w, window_.length, n);
    zeroSlots(w, n, n + kPaddingSlots);
    window_.length = n;
    window_.position = 0;
    window_.runningMax = 0.0;
    window_.maxValid = false;
}

void PeakLimiterDetector::applyDesign(const LimiterFilters& design) noexcept {
    sections_.peakFilter.setCoefficients(design.peak);
    sections_.releaseFilter.setCoefficients(design.release);
    sections_.averageFilter.setCoefficients(design.average);
}

}  // namespace tarvo
