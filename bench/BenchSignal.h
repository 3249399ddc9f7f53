#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarvo::bench {

constexpr double kSampleRate = 44100.0;
constexpr int kBlockSize = 512;

/// Two channels of test audio, computed in double; a run converts them to
/// the sample type of the processing call it times.
struct StereoSignal {
    std::vector<double> left;
    std::vector<double> right;

    std::size_t frames() const { return left.size(); }
    double seconds() const { return static_cast<double>(frames()) / kSampleRate; }
};

/// Deterministic white noise, uniform in [-a, a] with a chosen for an RMS of
/// -12 dBFS (a = sqrt(3) * 10^(-12/20)), independent on the two channels,
/// raised by +9 dB for 250 ms at the start of every 2 s period (from 0.5 s
/// into the period), so a compressor works on the bed and a limiter on the
/// bursts. The same seed gives the same samples on every machine.
StereoSignal makeBurstNoise(double seconds, std::uint64_t seed = 1);

/// Exact zeros.
StereoSignal makeSilence(double seconds);

/// One burst of 250 ms at the burst level of makeBurstNoise (the signal
/// that precedes the timed silence in the "zeros after a burst" case).
StereoSignal makeBurst();

/// Noise whose level decays exponentially from -120 dBFS to the smallest
/// normal number of the sample type in the first half of the signal, and
/// from there to its smallest subnormal number in the second half, so half
/// of the tail lies in the subnormal range. Pass the limits of float or
/// double (std::numeric_limits<T>::min() and denorm_min()).
StereoSignal makeDenormalTail(double seconds, double smallestNormal, double smallestSubnormal);

}  // namespace tarvo::bench
