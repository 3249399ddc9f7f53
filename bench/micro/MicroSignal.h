#pragma once

#include <cstdint>
#include <vector>

namespace tarvo::bench {

/// 4096 samples of deterministic noise in [-amplitude, amplitude), read
/// cyclically by the micro-benchmarks so that no generator runs in the
/// timed loop and no branch settles on a constant input.
class MicroSignal {
public:
    static constexpr std::uint32_t kLength = 4096;

    explicit MicroSignal(double amplitude = 0.5, std::uint32_t seed = 1);
    double operator[](std::uint32_t i) const { return samples_[i & (kLength - 1)]; }

private:
    std::vector<double> samples_;
};

}  // namespace tarvo::bench
