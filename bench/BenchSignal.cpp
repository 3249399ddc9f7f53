#include "BenchSignal.h"

#include <cmath>

namespace tarvo::bench {

namespace {

constexpr double kNoiseRmsDb = -12.0;
constexpr double kBurstDb = 9.0;
constexpr double kBurstSeconds = 0.25;
constexpr double kBurstStartSeconds = 0.5;
constexpr double kPeriodSeconds = 2.0;

/// xorshift64*: small, fast and identical everywhere (the standard library's
/// distributions are not specified bit for bit).
class Noise {
public:
    explicit Noise(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}

    /// Uniform in [-1, 1).
    double next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        const std::uint64_t r = state_ * 0x2545F4914F6CDD1Dull;
        return static_cast<double>(r >> 11) * (2.0 / 9007199254740992.0) - 1.0;
    }

private:
    std::uint64_t state_;
};

std::size_t framesFor(double seconds) {
    return static_cast<std::size_t>(std::llround(seconds * kSampleRate));
}

/// Peak of the uniform noise for an RMS of -12 dBFS: RMS = a / sqrt 3.
double bedAmplitude() { return std::sqrt(3.0) * std::pow(10.0, kNoiseRmsDb / 20.0); }
double burstAmplitude() { return bedAmplitude() * std::pow(10.0, kBurstDb / 20.0); }

}  // namespace

StereoSignal makeBurstNoise(double seconds, std::uint64_t seed) {
    const std::size_t n = framesFor(seconds);
    const std::size_t period = framesFor(kPeriodSeconds);
    const std::size_t burstStart = framesFor(kBurstStartSeconds);
    const std::size_t burstEnd = burstStart + framesFor(kBurstSeconds);
    const double bed = bedAmplitude();
    const double burst = burstAmplitude();
    Noise noise(seed);
    StereoSignal s;
    s.left.resize(n);
    s.right.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t inPeriod = i % period;
        const double a = (inPeriod >= burstStart && inPeriod < burstEnd) ? burst : bed;
        s.left[i] = a * noise.next();
        s.right[i] = a * noise.next();
    }
    return s;
}

StereoSignal makeSilence(double seconds) {
    StereoSignal s;
    s.left.assign(framesFor(seconds), 0.0);
    s.right.assign(framesFor(seconds), 0.0);
    return s;
}

StereoSignal makeBurst() {
    const std::size_t n = framesFor(kBurstSeconds);
    const double a = burstAmplitude();
    Noise noise(7);
    StereoSignal s;
    s.left.resize(n);
    s.right.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        s.left[i] = a * noise.next();
        s.right[i] = a * noise.next();
    }
    return s;
}

StereoSignal makeDenormalTail(double seconds, double smallestNormal, double smallestSubnormal) {
    const std::size_t n = framesFor(seconds);
    const std::size_t half = n / 2;
    // Levels in natural-log units; each half falls linearly in the log.
    const double start = std::log(std::pow(10.0, -120.0 / 20.0));
    const double middle = std::log(smallestNormal);
    const double end = std::log(smallestSubnormal);
    Noise noise(3);
    StereoSignal s;
    s.left.resize(n);
    s.right.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double logLevel =
            i < half ? start + (middle - start) * static_cast<double>(i) / static_cast<double>(half)
                     : middle + (end - middle) * static_cast<double>(i - half) /
                                    static_cast<double>(n - half);
        const double level = std::exp(logLevel);
        // Noise in [0.5, 1] in magnitude with a random sign keeps the samples
        // near the envelope instead of rounding to zero early.
        const double l = noise.next();
        const double r = noise.next();
        s.left[i] = level * (l < 0.0 ? -0.5 + 0.5 * l : 0.5 + 0.5 * l);
        s.right[i] = level * (r < 0.0 ? -0.5 + 0.5 * r : 0.5 + 0.5 * r);
    }
    return s;
}

}  // namespace tarvo::bench
