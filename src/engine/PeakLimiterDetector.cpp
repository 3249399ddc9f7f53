#include "engine/PeakLimiterDetector.h"

#include <new>

#include "filters/Lanes.h"

namespace tarvo {

namespace {
constexpr std::align_val_t kWindowAlignment{16};
constexpr std::uint32_t kInitialWindowLength = 2;
}  // namespace

void PeakLimiterDetector::AlignedDelete::operator()(double* p) const noexcept {
    ::operator delete[](p, kWindowAlignment);
}

PeakLimiterDetector::Buffer PeakLimiterDetector::allocate(std::uint32_t n) {
    const std::size_t slots = static_cast<std::size_t>(n) + 2;
    double* p = static_cast<double*>(::operator new[](slots * sizeof(double), kWindowAlignment));
    for (std::size_t i = 0; i < slots; ++i) p[i] = 0.0;
    return Buffer(p);
}

PeakLimiterDetector::PeakLimiterDetector()
    : window_(allocate(kInitialWindowLength)), windowLength_(kInitialWindowLength) {
    applyDesign(LimiterFilters{designSmoothingLowPass(0.1), designSmoothingLowPass(0.1),
                               designSmoothingLowPass(0.1)});
}

PeakLimiterDetector::PeakLimiterDetector(const PeakLimiterDetector& other)
    : limiterCeiling(other.limiterCeiling),
      window_(allocate(other.windowLength_)),
      windowLength_(other.windowLength_),
      writePosition_(other.writePosition_),
      runningMax_(other.runningMax_),
      maxValid_(other.maxValid_),
      sections_(other.sections_) {
    for (std::uint32_t i = 0; i < windowLength_; ++i) window_[i] = other.window_[i];
}

PeakLimiterDetector& PeakLimiterDetector::operator=(const PeakLimiterDetector& other) {
    if (this != &other) {
        PeakLimiterDetector copy(other);
        *this = std::move(copy);
    }
    return *this;
}

double PeakLimiterDetector::windowMax() const noexcept {
    const double* w = window_.get();
    const std::uint32_t n = windowLength_;
    std::uint32_t i = 0;
    // Four running maxima (two pairs of lanes) instead of one serial chain;
    // the window storage is 16-byte aligned.
    // maxOf(w, m) keeps m when w is NaN, as the scalar compare does, and max
    // is exact, so the result is the same value in any order.
    Lanes2 m0 = 0.0;
    Lanes2 m1 = 0.0;
    for (; i + 4 <= n; i += 4) {
        m0 = maxOf(Lanes2::loadAligned(w + i), m0);
        m1 = maxOf(Lanes2::loadAligned(w + i + 2), m1);
    }
    const Lanes2 pair = maxOf(m1, m0);
    double m = maxOf(pair.lane1(), pair.lane0());
    for (; i < n; ++i)
        if (w[i] > m) m = w[i];
    return m;
}

void PeakLimiterDetector::reset() noexcept {
    sections_.peakFilter.reset();
    sections_.releaseFilter.reset();
    sections_.averageFilter.reset();
    sections_.hold = 0.0;
}

void PeakLimiterDetector::resizeWindow(std::uint32_t n) {
    if (n < 2) n = 2;
    Buffer fresh = allocate(n);
    std::uint32_t from = writePosition_;  // oldest entry of the old window
    for (std::uint32_t i = 0; i < n && i < windowLength_; ++i) {
        fresh[i] = window_[from];
        if (++from == windowLength_) from = 0;
    }
    window_ = std::move(fresh);  // frees the old buffer
    windowLength_ = n;
    writePosition_ = 0;
    runningMax_ = 0.0;
    maxValid_ = false;
}

void PeakLimiterDetector::applyDesign(const LimiterFilters& design) noexcept {
    sections_.peakFilter.setCoefficients(design.peak);
    sections_.releaseFilter.setCoefficients(design.release);
    sections_.averageFilter.setCoefficients(design.average);
}

}  // namespace tarvo
